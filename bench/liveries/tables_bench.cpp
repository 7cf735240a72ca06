// The livery tables and the matching at the size of a large AI library: a generated
// "LiveriesScanned.xml" of 50,000 liveries (500 airlines, 10 types, 10 liveries of each airline and
// type, a fifth of them freighters), 20,000 of them with an in-line registration.
//
// BM_BuildTables: the start-up's table build from the file (read, tables, registration codes, the
// data base's similar-model maps, reports). Target: under 1 s.
// BM_Match: lf_matchLivery for 4,096 aircraft in turn (a quarter known by registration, the rest by
// airline and type, some of them freighters) while 4,096 special liveries are in use. Counters:
// matches/s (target at least 200,000) and the 50th and 99th percentile of one match in microseconds
// (target p99 under 50). The log is closed: only the matching is timed, not the writing of its lines.

#include "liveries/livery.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"
#include "liveries/tables.hpp"
#include "records/aircraft.hpp"
#include "refdata/database.hpp"
#include "refdata/download.hpp"
#include "core/files.hpp"
#include "core/strings.hpp"
#include "settings/options.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

namespace fs = std::filesystem;
using namespace amb;

namespace {

constexpr int kLiveries = 50000;
constexpr int kAirlines = 500;
constexpr int kTypes = 10;
constexpr int kPerPair = kLiveries / kAirlines / kTypes;
constexpr std::size_t kSpecials = 4096;
constexpr std::size_t kAircraft = 4096;

std::string airlineCode(int a) { return fmt::format("A{:02}", a % 100) + static_cast<char>('A' + a / 100); }
std::string typeCode(int t) { return fmt::format("T{:03}", t); }
std::string registration(int i) { return fmt::format("R{:06}", i); }

// A working folder of its own with "output/LiveriesScanned.xml" and an empty download server.
void prepareFolder() {
  static bool done = false;
  if (done) return;
  done = true;
  const fs::path dir = fs::temp_directory_path() / "amb-livery-tables-bench";
  fs::remove_all(dir);
  fs::create_directories(dir / "output");
  fs::create_directories(dir / "input");
  fs::create_directories(dir / "server");
  fs::current_path(dir);
  setenv("AMBT_SERVER_URL", gf_fileUrl(dir / "server", true).c_str(), 1);
  g_liveryList.clear();
  for (int i = 0; i < kLiveries; ++i) {
    const int pair = i / kPerPair;
    LiveryData l;
    l.airline = airlineCode(pair % kAirlines);
    l.type = typeCode(pair / kAirlines);
    l.title = fmt::format("Bench {} {} livery {}", l.type, l.airline, i);
    l.atcid = i % 5 < 2 ? registration(i) : std::string();
    l.cargo = i % 5 == 4;
    g_liveryList.push_back(std::move(l));
  }
  lf_writeLiveriesScanned();
  g_liveryList.clear();
  for (int t = 0; t < kTypes; ++t) g_validModels.insert(typeCode(t));
}

void buildOnce() {
  gf_resetLiveryTables();
  lf_processScannedLiveries();
}

void BM_BuildTables(benchmark::State& state) {
  prepareFolder();
  for (auto _ : state) buildOnce();
  state.counters["liveries"] = static_cast<double>(kLiveries);
  state.counters["registration codes"] = static_cast<double>(g_regcodes.size());
}
BENCHMARK(BM_BuildTables)->Unit(benchmark::kMillisecond)->Iterations(5);

std::vector<AcData> g_aircraft;

void prepareMatching() {
  prepareFolder();
  buildOnce();
  // Every twelfth title is special (its own aircraft only), 4,096 in all.
  std::vector<std::string_view> titles;
  for (const auto& [airline, types] : g_airlineModels)
    for (const auto& [type, list] : types)
      for (const LiveryTitle& t : list) titles.push_back(t.title);
  std::sort(titles.begin(), titles.end());
  for (std::size_t i = 0; i < titles.size() && g_titlesInUse.size() < kSpecials; i += 12) gf_addTitleInUse(titles[i]);
  std::mt19937 random(2024);
  g_aircraft.clear();
  for (std::size_t n = 0; n < kAircraft; ++n) {
    const int i = static_cast<int>(random() % kLiveries);
    const int pair = i / kPerPair;
    const std::string reg = n % 4 == 0 ? registration(i - i % 5) : fmt::format("X{:05}", n);
    g_aircraft.emplace_back(airlineCode(pair % kAirlines), typeCode(pair / kAirlines), "", "", fmt::format("BEN{}", n),
                            "", "", reg, n % 7 == 0);
  }
  LOG.value = 1;
  MATCHING_DEPTH.value = 4;
  gf_setRandomOn(true);
}

void BM_Match(benchmark::State& state) {
  prepareMatching();
  std::vector<double> micros;
  micros.reserve(1 << 20);
  std::size_t next = 0, matched = 0;
  for (auto _ : state) {
    AcData& ac = g_aircraft[next++ % g_aircraft.size()];
    ac.liveryTitle = {};
    const auto start = std::chrono::steady_clock::now();
    lf_matchLivery(ac);
    const auto end = std::chrono::steady_clock::now();
    matched += ac.liveryTitle.empty() ? 0 : 1;
    if (micros.size() < micros.capacity())
      micros.push_back(std::chrono::duration<double, std::micro>(end - start).count());
  }
  std::sort(micros.begin(), micros.end());
  const auto percentile = [&](double p) {
    return micros.empty() ? 0.0 : micros[static_cast<std::size_t>(p * static_cast<double>(micros.size() - 1))];
  };
  state.counters["matches/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["p50_us"] = percentile(0.50);
  state.counters["p99_us"] = percentile(0.99);
  state.counters["matched"] = static_cast<double>(matched) / static_cast<double>(std::max<std::size_t>(1, state.iterations()));
  state.counters["special"] = static_cast<double>(g_titlesInUse.size());
}
BENCHMARK(BM_Match)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
