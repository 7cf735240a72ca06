// The user's "my_park_airports.txt" as the start-up and "Re-read" read it, then written again as the
// park-airport check does when the user parks at an airport of the list and when a new destination
// is entered. Bad lines are logged and skipped; a crash, a sanitizer report, a hang or runaway
// memory is a finding.

#include "airports/park_airports.hpp"
#include "airports/services.hpp"
#include "core/startup.hpp"
#include "fuzz/fuzz_support.hpp"

#include <algorithm>
#include <exception>
#include <filesystem>

using namespace amb;

namespace {
const AirportData kEgll{"EGLL", "LHR", 51.4706, -0.461941, 83};
const AirportData kLfpg{"LFPG", "CDG", 49.0097, 2.54778, 392};
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::filesystem::create_directories(fuzz::workFolder() / g_myThirdpartyFolder);
  gf_setAirportList({{"EDDF", "FRA", 50.0333, 8.57056, 364},
                     kEgll,
                     {"EGKK", "LGW", 51.1481, -0.190278, 202},
                     {"KJFK", "JFK", 40.6398, -73.7789, 13},
                     kLfpg});
  g_airportsRead = 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::writeInput(fuzz::workFolder() / g_myParkAirportsPath, data, size);
  gf_resetParkAirports();
  try {
    lf_readMyParkAirports();
    // The user parks at a stand of EGLL, then enters LFPG as the destination.
    gf_noteUserStandAtParkAirport(kEgll, "A5");
    gf_parkAirportToFront(kLfpg.code, {kLfpg.lat, kLfpg.lon});
    lf_readMyParkAirports();
  } catch (const std::exception&) {
  }
  return 0;
}
