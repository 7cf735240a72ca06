// Traffic lines per second through the traffic reader's handler (split into fields, check, convert,
// queue) on the recorded JFK traffic. Target: at least 1,000,000 lines a second on one core.

#include "feed/inputs.hpp"
#include "feed/readers.hpp"
#include "feed/traffic_line.hpp"
#include "settings/settings.hpp"
#include "airports/services.hpp"
#include "traffic/live_ac.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace {

using namespace amb;

const std::vector<std::string>& recordedLines() {
  static const std::vector<std::string> lines = tools::TrafficDouble::readLines(
      std::filesystem::path(AMB_TESTDATA_DIR) / "traffic" / "KJFK_20190305_2130Z.rttfc.gz");
  return lines;
}

void prepare() {
  g_radiusNm = 40.0;
  g_trafficReader.setUserPosition(40.6413, -73.7781);
  g_trafficReader.setParkElevation(13.0);
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = AirportData{"KJFK", "JFK", 40.6413, -73.7781, 13};
  }
  std::lock_guard lock(g_trafficQueueMutex);
  g_trafficQueue.clear();
  g_trafficQueueOpen = 1;
}

// The lines as the reader gets them, one per datagram.
void run(benchmark::State& state, const std::vector<std::string>& lines) {
  prepare();
  std::size_t i = 0;
  std::size_t queued = 0;
  for (auto _ : state) {
    const std::string& line = lines[i];
    if (++i == lines.size()) i = 0;
    gf_splitTrafficLine(g_trafficReader, line);
    processLine(g_trafficReader);
    // The engine empties the queue as it goes; here every few thousand lines.
    if (++queued == 4096) {
      queued = 0;
      std::lock_guard lock(g_trafficQueueMutex);
      g_trafficQueue.clear();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// Every recorded line: about a third is queued, the rest dropped at one check or another.
void BM_RecordedLines(benchmark::State& state) { run(state, recordedLines()); }

// Only the lines that pass every check and are queued.
void BM_QueuedLines(benchmark::State& state) {
  static const std::vector<std::string> queued = [] {
    prepare();
    std::vector<std::string> out;
    for (const std::string& line : recordedLines()) {
      gf_splitTrafficLine(g_trafficReader, line);
      if (processLineFor(g_trafficReader) == LineResult::Queued) out.push_back(line);
    }
    return out;
  }();
  run(state, queued);
}

BENCHMARK(BM_RecordedLines);
BENCHMARK(BM_QueuedLines);

}  // namespace

BENCHMARK_MAIN();
