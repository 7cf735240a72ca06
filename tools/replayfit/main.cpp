// amb_replayfit: replays a traffic recording through the feed and the engine in virtual time and prints
// how closely the AI objects follow the reported positions: how late they pass them, the delay at
// which flown and reported tracks fit best, the distance at the due time and the cross-track distance.

#include "enginesim/fidelity.hpp"
#include "enginesim/harness.hpp"
#include "feed/traffic_line.hpp"
#include "traffic/engine.hpp"

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: amb_replayfit --recording FILE.rttfc[.gz] [--faa FAA.csv[.gz]]\n"
    "                     [--airport CODE,LAT,LON,ELEV_FT] [--user LAT,LON] [--radius NM]\n"
    "  Without --airport and --user the JFK recording's setting is used.\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace amb;
  std::filesystem::path recording, faa = AMB_REPLAYFIT_FAA;
  enginesim::HarnessOptions options;
  enginesim::SettingArguments setting;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (a == "--recording") {
      recording = value;
    } else if (a == "--faa") {
      faa = value;
    } else if (bool valid = true; setting.take(a, value, options, valid)) {
      if (!valid) return usage();
    } else if (a == "--radius") {
      options.radiusNm = std::stoi(value);
    } else {
      return usage();
    }
  }
  if (recording.empty()) return usage();
  setting.finish(options);
  try {
    enginesim::loadDataBase(faa, recording);
    enginesim::FidelityOptions fidelityOptions;
    fidelityOptions.groundElevationFt = options.parkAirport.alt;
    options.sim.groundElevation = options.parkAirport.alt;
    options.sim.trackEvery = 0;
    enginesim::FidelityRecorder recorder(fidelityOptions);
    enginesim::EngineHarness h(options);
    h.onQueued = [&](const enginesim::RecordedLine& line, const Situation& s) {
      recorder.reported(line.hexid, s.due - kTrafficDelayCycles, s.latitude, s.longitude, s.airborne != 0);
    };
    h.sim().onPosition = [&](std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
      recorder.flown(cycle, o.id, o.hexid, b);
    };
    h.schedule(enginesim::readRecording(recording));
    h.run(h.lastLineCycle() + 3000 + 8 * 800 + 2000);
    std::cout << enginesim::FidelityRecorder::describe(recorder.figures());
  } catch (const std::exception& e) {
    std::cerr << "amb_replayfit: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
