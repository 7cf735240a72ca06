// Static parking at a park airport of 1,000 stands with 50 learned options each, with 200 parked
// aircraft and 100 live ones (50 of them at stands): the plan of lf_startStaticParking and the
// renewal of gf_adjustParking. Both run inside one 10 ms tick of the main loop.
//
// Cases: 30 % of the stands wanted (the default), and 100 % (every stand wanted: the search walks
// all 48 half hours back, for real and then soft options, the worst case).

#include "airportgen/airportgen.hpp"
#include "airports/services.hpp"
#include "airports/static_parking.hpp"
#include "core/strings.hpp"
#include "feed/readers.hpp"
#include "refdata/database.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <benchmark/benchmark.h>

namespace amb {
namespace {

constexpr std::size_t kStands = 1000;
constexpr std::size_t kOptions = 50;
constexpr std::size_t kParked = 200;
constexpr std::size_t kLive = 100;

void setUp(int percentage) {
  gf_resetParkState();
  gf_resetSettings();
  gf_setRandomOn(false);
  RANDOM.value = 0;
  parking_percentage.value = percentage;
  g_wingspans = {{"B738", 0.0096}, {"A320", 0.0097}, {"B77W", 0.017}, {"A321", 0.0097}, {"E190", 0.0077},
                 {"B763", 0.0129}, {"A333", 0.0163}, {"B739", 0.0096}, {"CRJ9", 0.0067}, {"MD11", 0.0140}};
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {"ZBEN", "", 40.0, -73.0, 10};
  }
  g_stands = airportgen::syntheticStands(kStands, kOptions, 40.0, -73.0, 5);
  for (std::size_t i = 0; i < g_stands.size(); ++i) {
    Stand& s = g_stands[i];
    s.id = static_cast<std::uint32_t>(i + 1);
    // Every stand shares its row neighbours' space: the neighbour checks have work to do.
    if (i % 40 != 0) s.overlapIds.push_back(s.id - 1);
    if (i % 40 != 39 && i + 1 < g_stands.size()) s.overlapIds.push_back(s.id + 1);
  }
  g_weekSlot = WeekSlot{3, 30}.packed();
  // Parked aircraft on every fifth stand, from an option of the stand.
  for (std::size_t k = 0; k < kParked; ++k) {
    Stand& s = g_stands[k * 5];
    const ParkPosOption& o = s.options.front();
    AcData data(o.airl, o.type, "", "", o.cs1 + "*", o.cs1, "", "", false);
    data.hexid = static_cast<std::uint32_t>(k + 1);
    Act act(std::move(data), s.id, {s.lat, s.lon, s.heading}, 0);
    act.state = ActState::InSim;
    act.objectId = static_cast<std::uint32_t>(1000 + k);
    act.weekDay = 3;
    act.halfHourSlot = 29;
    g_parkedActs.push_back(std::move(act));
  }
  // Live aircraft: half at stands of their own, half taxiing.
  for (std::size_t k = 0; k < kLive; ++k) {
    LiveAc ac(Situation{}, AcData("DAL", "B738", "", "", "DAL" + std::to_string(5000 + k), "", "", "", false), 0);
    ac.hexid = static_cast<std::uint32_t>(0x400000 + k);
    ac.objectId = static_cast<std::uint32_t>(5000 + k);
    ac.state = ActState::InSim;
    if (k < kLive / 2) {
      ac.standId = static_cast<std::uint32_t>(k * 5 + 3);
      ac.phase = GroundPhase::AtStand;
      ac.checkedAtStand = 1;
    } else {
      ac.phase = GroundPhase::Taxi;
    }
    g_liveAcs.push_back(std::move(ac));
  }
}

// Back to the picture before the renewal: every aircraft in the simulator again, no removal queued.
void restore() {
  for (Act& a : g_parkedActs) a.state = ActState::InSim;
  for (LiveAc& ac : g_liveAcs) ac.state = ActState::InSim;
  g_staticPlan.clear();
  lf_clearSetAside();
}

void BM_PlanStaticParking(benchmark::State& state) {
  setUp(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    restore();
    state.ResumeTiming();
    lf_startStaticParking();
  }
  state.counters["planned"] = static_cast<double>(g_staticPlan.size());
  state.counters["stands"] = static_cast<double>(g_stands.size());
}
BENCHMARK(BM_PlanStaticParking)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_AdjustParking(benchmark::State& state) {
  setUp(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    restore();
    state.ResumeTiming();
    gf_adjustParking();
  }
  state.counters["planned"] = static_cast<double>(g_staticPlan.size());
  state.counters["kept"] = static_cast<double>(g_keptParked.size());
}
BENCHMARK(BM_AdjustParking)->Arg(30)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace amb

BENCHMARK_MAIN();
