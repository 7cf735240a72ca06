// The airport list "airports_p3d.xml" read into the list, then searched. A list that cannot be read
// is a user error, which the start-up reports; a crash, a sanitizer report, a hang or runaway memory
// is a finding.

#include "airports/services.hpp"
#include "core/startup.hpp"
#include "fuzz/fuzz_support.hpp"

#include <exception>
#include <filesystem>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::create_directories(fuzz::workFolder() / g_inputFolder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::writeInput(fuzz::workFolder() / g_inputFolder / "airports_p3d.xml", data, size);
  gf_resetAirportList();
  try {
    // One airport: the closest-airport search runs without asking for any airport file.
    if (lf_readAirports()) gf_findAirport(g_airports.front().code);
    if (g_airports.size() == 1) gf_closestAirport({g_airports.front().lat, g_airports.front().lon});
  } catch (const std::exception&) {
  }
  return 0;
}
