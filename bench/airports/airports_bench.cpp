// The airport list of 44,000 airports (the generated list of real airports filled up with synthetic
// ones) read and searched; a park airport of 1,000 stands with 50 options each and its learned file
// loaded and its learned file saved.

#include "airportgen/airportgen.hpp"
#include "airports/apf_file.hpp"
#include "airports/park_airport.hpp"
#include "airports/services.hpp"
#include "core/files.hpp"
#include "core/startup.hpp"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace amb {
namespace {

namespace fs = std::filesystem;

// A working folder of its own for the whole run, with an empty download server.
const fs::path& work() {
  static const fs::path dir = [] {
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
  }();
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
  work();
  writeList();
  gf_resetAirportList();
  lf_readAirports();
  for (auto _ : state) benchmark::DoNotOptimize(gf_closestAirport({40.6413, -73.7781}));
}
BENCHMARK(BM_ClosestAirport)->Unit(benchmark::kMillisecond);

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

}  // namespace
}  // namespace amb

BENCHMARK_MAIN();
