// A learned airport file as the park airport's load merges it into the stands of the airport's own
// file, then the save that leaving the airport makes: settings, learned options, changed and manual
// stands, a handmade airport. Errors the reader reports are let pass; a crash, a sanitizer report, a
// hang or runaway memory is a finding, and so is a saved file the next load does not read whole:
// what the program writes it must take back.

#include "airports/park_airport.hpp"
#include "airports/services.hpp"
#include "core/files.hpp"
#include "core/startup.hpp"
#include "fuzz/fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>

using namespace amb;

namespace {

namespace fs = std::filesystem;

// The airport's own file: three stands, two of them overlapping, with an option of its own.
const char* kAirportFile =
    "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"a\" /><info name=\"version\" value=\"1\" />"
    "<info name=\"date\" value=\"d\" /></meta>\n<parameters><parameter name=\"airport_name\" value=\"Heathrow\" />"
    "<parameter name=\"publisher\" value=\"P\" /><parameter name=\"altitude\" value=\"83\" /></parameters>\n"
    "<parkpositions><parkpos id=\"A1\" latitude=\"51.470000\" longitude=\"-0.460000\" radius=\"15\">"
    "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"10,11\" cs=\"BAW1\" /></parkpos>"
    "<parkpos id=\"A2\" latitude=\"51.470000\" longitude=\"-0.459700\" radius=\"15\" />"
    "<parkpos id=\"A3\" latitude=\"51.471000\" longitude=\"-0.459000\" radius=\"15\" cargo=\"true\" />"
    "</parkpositions>\n";

std::string g_source;
fs::path g_learned;

void lf_setPark() {
  std::lock_guard lock(g_parkAirportMutex);
  g_parkAirport = {"EGLL", "LHR", 51.47, -0.46, 83};
}

bool lf_load() {
  lf_setPark();
  g_stands.clear();
  g_parkApfInfo = {};
  g_parkApfSource = g_source;
  std::string result = "unset";
  gf_readApf(result, g_source, g_parkApfInfo, g_parkQf, g_stands);
  return result.empty();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fs::create_directories(fuzz::workFolder() / g_myThirdpartyFolder);
  const fs::path airport = fuzz::workFolder() / g_myThirdpartyFolder / "EGLL.xml";
  fuzz::writeInput(airport, reinterpret_cast<const std::uint8_t*>(kAirportFile), std::char_traits<char>::length(kAirportFile));
  g_source = gf_pathText(g_myThirdpartyFolder / "EGLL.xml");
  g_learned = lf_learnedApfPath(g_source, "P");
  fs::create_directories(fuzz::workFolder() / g_learned.parent_path());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  gf_resetParkState();
  fuzz::writeInput(fuzz::workFolder() / g_learned, data, size);
  try {
    if (!lf_load()) return 0;
    const bool whole = g_keptLearnedFile.reason.empty();
    g_standUpdates = 1;
    lf_endParkAirport();
    if (whole && lf_load() && !g_keptLearnedFile.reason.empty()) {
      std::fprintf(stderr, "the saved learned file is not read whole: %s\n", g_keptLearnedFile.reason.c_str());
      std::abort();
    }
    lf_endParkAirport();
  } catch (const std::exception&) {
  }
  return 0;
}
