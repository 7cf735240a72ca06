// The registry file of the Linux build (the .reg export format), read for every key and value the
// program asks: the simulator's install keys and SimConnect's ports.

#include "core/registry.hpp"
#include "fuzz/fuzz_support.hpp"
#include "sim/simconnect/connection.hpp"

#include <cstdlib>
#include <string>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader reads the file again when its path changes: two names in turn, so each input is read
  // even when it has the size and time of the one before.
  static unsigned runs = 0;
  const auto file = fuzz::workFolder() / ("registry" + std::to_string(++runs % 2) + ".reg");
  fuzz::writeInput(file, data, size);
  ::setenv("AMBT_REGISTRY", file.c_str(), 1);
  for (int version : {5, 6}) {
    gf_simKeyExists(version);
    gf_getSimInstallPath(version);
  }
  lf_registryPort(false);
  lf_registryPort(true);
  try {
    RegKey key;
    key.open(platform::RegRoot::CurrentUser, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5");
    key.getDwordValue(u"SimConnect_Port_IPv4");
  } catch (const winreg::RegException&) {
  }
  return 0;
}
