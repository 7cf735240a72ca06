// "LiveriesScanned.xml" as the start-up's table build reads it. A file that cannot be read or holds no
// liveries is a user error, which the start-up reports; anything else escaping, a crash, a sanitizer
// report, a hang or runaway memory is a finding.

#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "fuzz/fuzz_support.hpp"
#include "liveries/store.hpp"

#include <filesystem>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::create_directories(fuzz::workFolder() / g_liveriesScannedPath.parent_path());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::writeInput(fuzz::workFolder() / g_liveriesScannedPath, data, size);
  try {
    lf_readScannedLiveries();
  } catch (const UserErrorException&) {
  }
  g_liveryList.clear();
  return 0;
}
