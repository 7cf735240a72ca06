// The airport list of 44,000 airports (the generated list of real airports filled up with synthetic
// ones) read and searched by code and by position; a park airport of 1,000 stands with 50 options
// each and its learned file loaded and its learned file saved; an airport file whose stands all lie
// on one spot (each overlaps every other) loaded and saved.

#include "airportgen/airportgen.hpp"
#include "airports/apf_file.hpp"
#include "airports/park_airport.hpp"
#include "airports/services.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace amb {
namespace {

namespace fs = std::filesystem;

// A working folder of its own for the whole run, with an empty download server. Its path outlives
// the statics, so that the removal at the exit still knows it.
const fs::path& work() {
  static const fs::path& dir = *new fs::path([] {
    fs::path d = fs::temp_directory_path() / ("amb-airports-bench-" + std::to_string(::getpid()));
    fs::create_directories(d / "input");
    fs::create_directories(d / "server" / "P3D");
    fs::current_path(d);
    ::setenv("AMBT_SERVER_URL", ("file://" + (d / "server").string() + "/").c_str(), 1);
    std::atexit([] {
      std::error_code ec;
      fs::current_path(fs::temp_directory_path(), ec);
      fs::remove_all(work(), ec);
    });
    return d;
  }());
  return dir;
}

void writeList() {
  static bool written = false;
  if (written) return;
  const fs::path ref = fs::path(AMB_TESTDATA_DIR) / "reference";
  auto airports = airportgen::readOurAirports(ref / "ourairports-airports-medium-large.csv.gz",
                                              ref / "ourairports-runways.csv.gz");
  const auto extra = airportgen::syntheticAirports(44000 - airports.size(), 11);
  airports.insert(airports.end(), extra.begin(), extra.end());
  gf_writeFileAtomic(work() / "input" / "airports_p3d.xml", airportgen::airportListXml(airports));
  written = true;
}

// The list written and read afresh, for the searches.
void readList() {
  work();
  writeList();
  gf_resetAirportList();
  lf_readAirports();
}

void BM_ReadAirportList(benchmark::State& state) {
  work();
  writeList();
  for (auto _ : state) {
    gf_resetAirportList();
    benchmark::DoNotOptimize(lf_readAirports());
  }
  state.counters["airports"] = static_cast<double>(g_airports.size());
}
BENCHMARK(BM_ReadAirportList)->Unit(benchmark::kMillisecond);

void BM_ClosestAirport(benchmark::State& state) {
  readList();
  for (auto _ : state) benchmark::DoNotOptimize(gf_closestAirport({40.6413, -73.7781}));
}
BENCHMARK(BM_ClosestAirport)->Unit(benchmark::kMillisecond);

// The engine's search for the field near an aircraft coming in to land (within 10 nm), asked several
// times a second in a busy sky. Target for it and the next: a small share of the engine cycle's 250
// microseconds.
void BM_AirportNear(benchmark::State& state) {
  readList();
  for (auto _ : state) benchmark::DoNotOptimize(gf_airportNear({40.6413, -73.7781}, 10.0));
}
BENCHMARK(BM_AirportNear)->Unit(benchmark::kMicrosecond);

// The engine's search for the airport an aircraft is bound for, by the IATA code the feed gives.
void BM_AirportCalled(benchmark::State& state) {
  readList();
  for (auto _ : state) benchmark::DoNotOptimize(gf_airportCalled("JFK"));
}
BENCHMARK(BM_AirportCalled)->Unit(benchmark::kMicrosecond);

// "my_park_airports.txt" of 499,999 lines, within the limits a list is read with: the first 11,291
// airports of the list once each, then the last of them repeated (Arg 0); 499,999 unknown codes
// (Arg 1); 15 codes of 1 MiB each (Arg 2). Targets: under 2 s a read, under 100 KB of log.
void BM_ReadParkAirportList(benchmark::State& state) {
  readList();
  std::string text;
  if (state.range(0) == 0) {
    for (std::size_t i = 0; i < 11291; ++i) text += g_airports[i].code + "\n";
    for (std::size_t i = 11291; i < 499999; ++i) text += g_airports[11290].code + "\n";
  } else if (state.range(0) == 1) {
    for (int i = 0; i < 499999; ++i) text += "Q" + std::to_string(i) + "\n";
  } else {
    for (int i = 0; i < 15; ++i) text += std::string(1024 * 1024, static_cast<char>('A' + i)) + "\n";
  }
  fs::create_directories(work() / g_myThirdpartyFolder);
  gf_writeFileAtomic(work() / g_myParkAirportsPath, text);
  if (!gf_logIsOpen()) gf_startLog();
  std::uintmax_t logged = 0;
  for (auto _ : state) {
    const std::uintmax_t before = fs::file_size(gf_logPath());
    benchmark::DoNotOptimize(lf_readMyParkAirports());
    logged = fs::file_size(gf_logPath()) - before;
  }
  state.counters["log_bytes"] = static_cast<double>(logged);
  state.counters["file_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ReadParkAirportList)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The stock file of 1,000 stands with 50 options each and a learned file with 50 more per stand.
void writePark() {
  static bool written = false;
  if (written) return;
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {"ZBEN", "", 40.0, -73.0, 10};
  }
  ApfRecord stock;
  stock.publisher = "stock";
  stock.altitude = 10;
  stock.handmade = true;  // every stand with its position and options
  stock.stands = airportgen::syntheticStands(1000, 50, 40.0, -73.0, 5);
  fs::create_directories(work() / g_myThirdpartyFolder);
  gf_saveApf(stock, work() / g_myThirdpartyFolder / "ZBEN.xml", 0);
  ApfRecord learned;
  learned.publisher = "stock";
  learned.stands = airportgen::syntheticStands(1000, 50, 40.0, -73.0, 6);
  fs::create_directories(work() / g_learnedThirdpartyFolder / "stock");
  gf_saveApf(learned, work() / g_learnedThirdpartyFolder / "stock" / "ZBEN.xml", 0);
  written = true;
}

void loadPark() {
  std::string result;
  g_stands.clear();
  g_parkApfInfo = {};
  gf_readApf(result, gf_pathText(g_myThirdpartyFolder / "ZBEN.xml"), g_parkApfInfo, g_parkQf, g_stands);
}

void BM_LoadParkAirport(benchmark::State& state) {
  work();
  writePark();
  g_parkApfSource = gf_pathText(g_myThirdpartyFolder / "ZBEN.xml");
  for (auto _ : state) loadPark();
  std::size_t options = 0;
  for (const Stand& s : g_stands) options += s.options.size();
  state.counters["stands"] = static_cast<double>(g_stands.size());
  state.counters["options"] = static_cast<double>(options);
}
BENCHMARK(BM_LoadParkAirport)->Unit(benchmark::kMillisecond);

void BM_SaveLearnedFile(benchmark::State& state) {
  work();
  writePark();
  g_parkApfSource = gf_pathText(g_myThirdpartyFolder / "ZBEN.xml");
  loadPark();
  for (auto _ : state) gf_saveLearnedApf();
  std::size_t options = 0;
  for (const Stand& s : g_stands) options += s.options.size();
  state.counters["options"] = static_cast<double>(options);
}
BENCHMARK(BM_SaveLearnedFile)->Unit(benchmark::kMillisecond);

// A third-party airport file of state.range(0) stands on one spot, with one option each. Their overlap
// lists are bounded, so loading and saving grows with the stands, not with their square.
void BM_StandsOnOneSpot(benchmark::State& state) {
  work();
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::string code = "ZSP" + std::to_string(count % 10);
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {code, "", 41.0, -74.0, 10};
  }
  ApfRecord stock;
  stock.publisher = "stock";
  stock.altitude = 10;
  stock.handmade = true;
  stock.stands = airportgen::syntheticStands(count, 1, 41.0, -74.0, 7);
  for (Stand& s : stock.stands) {
    s.lat = 41.0;
    s.lon = -74.0;
  }
  const fs::path file = g_myThirdpartyFolder / (code + ".xml");
  fs::create_directories(work() / g_myThirdpartyFolder);
  gf_saveApf(stock, work() / file, 0);
  g_parkApfSource = gf_pathText(file);
  std::size_t longest = 0;
  for (auto _ : state) {
    std::string result;
    g_stands.clear();
    g_parkApfInfo = {};
    gf_readApf(result, gf_pathText(file), g_parkApfInfo, g_parkQf, g_stands);
    gf_saveLearnedApf();
  }
  for (const Stand& s : g_stands) longest = std::max(longest, s.overlapIds.size());
  state.counters["stands"] = static_cast<double>(g_stands.size());
  state.counters["longest_overlap_list"] = static_cast<double>(longest);
}
BENCHMARK(BM_StandsOnOneSpot)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace amb

BENCHMARK_MAIN();
