// Stand finding and stand learning at a park airport of 1,000 stands with 50 learned options each:
// the stand for a live aircraft, the stand at the user aircraft's position (never from the cache),
// and learning one aircraft (a real option at its stand, a soft option at the end of its stream).

#include "airportgen/airportgen.hpp"
#include "airports/services.hpp"
#include "airports/stand_learning.hpp"
#include "core/geometry.hpp"
#include "core/startup.hpp"
#include "sim/services.hpp"
#include "traffic/live_ac.hpp"

#include <benchmark/benchmark.h>

#include <map>
#include <random>
#include <vector>

namespace amb {
namespace {

constexpr double kLat = 40.0;
constexpr double kLon = -73.0;
constexpr std::size_t kPositions = 256;

// The stands afresh (1,000, numbered, 40 to a row 100 m apart, rows 150 m apart, 50 options each
// unless told).
void freshStands(std::size_t options = 50) {
  static std::map<std::size_t, std::vector<Stand>> made;
  std::vector<Stand>& stands = made[options];
  if (stands.empty()) {
    stands = airportgen::syntheticStands(1000, options, kLat, kLon, 5);
    std::uint32_t id = 1;
    for (Stand& s : stands) s.id = id++;
  }
  g_stands = stands;
  g_softSeen.clear();
}

// The park airport, the stands afresh, and positions spread over them.
const std::vector<LatLon>& setUp(std::size_t options = 50) {
  freshStands(options);
  static const std::vector<LatLon> positions = [] {
    {
      std::lock_guard lock(g_parkAirportMutex);
      g_parkAirport = {"KBEN", "", kLat + 0.01, kLon + 0.02, 10};
    }
    g_userOnGround = 1;
    g_softLearningAllowed = 1;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> dLat(0, 0.034), dLon(0, 0.047);
    std::vector<LatLon> out;
    for (std::size_t i = 0; i < kPositions; ++i) out.push_back({kLat + dLat(rng), kLon + dLon(rng)});
    return out;
  }();
  return positions;
}

AcData aircraft(std::uint32_t hexid) {
  AcData ac;
  ac.airline = "DAL";
  ac.model = "B738";
  ac.callsign = "DAL" + std::to_string(100 + hexid % 50);
  ac.registration = "N" + std::to_string(hexid);
  ac.hexid = hexid;
  ac.category = Large;
  ac.halfWingspan = 0.0095;
  return ac;
}

void BM_FindStandForAct(benchmark::State& state) {
  const std::vector<LatLon>& at = setUp();
  const AcData ac = aircraft(1);
  std::size_t i = 0;
  for (auto _ : state) {
    const LatLon& p = at[i++ % kPositions];
    benchmark::DoNotOptimize(gf_findStandForAct(p.lat, p.lon, ac, 0.029697624190064796, true));
  }
}
BENCHMARK(BM_FindStandForAct)->Unit(benchmark::kMicrosecond);

void BM_StandNameAt(benchmark::State& state) {
  const std::vector<LatLon>& at = setUp();
  std::size_t i = 0;
  for (auto _ : state) {
    const LatLon& p = at[i++ % kPositions];
    benchmark::DoNotOptimize(gf_standNameAt(p.lat, p.lon));
  }
}
BENCHMARK(BM_StandNameAt)->Unit(benchmark::kMicrosecond);

// One aircraft at its stand in the current half hour: a new option of its registration. The stands
// go back to 50 options each every 1,000 aircraft.
void BM_LearnRealOption(benchmark::State& state) {
  setUp();
  std::uint32_t hexid = 0x100000;
  const WeekSlot now = gf_weekSlotNow();
  for (auto _ : state) {
    if (hexid % 1000 == 0) {
      state.PauseTiming();
      freshStands();
      state.ResumeTiming();
    }
    const AcData ac = aircraft(++hexid);
    benchmark::DoNotOptimize(lf_addRealParkPosOption(1 + hexid % 1000, ac, true, now, false));
  }
}
BENCHMARK(BM_LearnRealOption)->Unit(benchmark::kMicrosecond);

// One stream ending near the park airport without a stand: the search of the real options around
// now, the soft stand choice and the new soft option.
void BM_LearnSoftOption(benchmark::State& state) {
  const auto options = static_cast<std::size_t>(state.range(0));
  const std::vector<LatLon>& at = setUp(options);
  std::uint32_t hexid = 0x200000;
  std::size_t i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (i % 1000 == 999) freshStands(options);
    Situation s;
    s.latitude = at[i % kPositions].lat;
    s.longitude = at[i++ % kPositions].lon;
    LiveAc ac(s, aircraft(++hexid), 0);
    ac.position.latitude = s.latitude;
    ac.position.longitude = s.longitude;
    state.ResumeTiming();
    lf_learnSoftParkPos(ac, true);
  }
  std::size_t total = 0;
  for (const Stand& s : g_stands) total += s.options.size();
  state.counters["options"] = static_cast<double>(total);
}
BENCHMARK(BM_LearnSoftOption)->Arg(50)->Arg(20)->Unit(benchmark::kMicrosecond);

// The first stream ending after the park airport was loaded: the options are grouped by weekday
// for the first time on the way.
void BM_LearnSoftOptionAfterLoad(benchmark::State& state) {
  const std::vector<LatLon>& at = setUp();
  std::uint32_t hexid = 0x300000;
  std::size_t i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    freshStands();
    Situation s;
    s.latitude = at[i % kPositions].lat;
    s.longitude = at[i++ % kPositions].lon;
    LiveAc ac(s, aircraft(++hexid), 0);
    ac.position.latitude = s.latitude;
    ac.position.longitude = s.longitude;
    state.ResumeTiming();
    lf_learnSoftParkPos(ac, true);
  }
}
BENCHMARK(BM_LearnSoftOptionAfterLoad)->Unit(benchmark::kMicrosecond);

// A full walk over every option, reading its weekday: what one search over all options costs.
void BM_WalkAllOptions(benchmark::State& state) {
  setUp();
  for (auto _ : state) {
    std::uint32_t days = 0;
    for (const Stand& s : g_stands)
      for (const ParkPosOption& o : s.options) days += o.day;
    benchmark::DoNotOptimize(days);
  }
}
BENCHMARK(BM_WalkAllOptions)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace amb

BENCHMARK_MAIN();
