// The whole JFK recording through the real feed and engine in virtual time with the feed's real habits
// laid on some of its streams: RealTraffic stamps a line when it sends it and repeats a position with
// fresh stamps for 10-60 s before it moves on, often by kilometres (tools/enginesim/habits). What a
// pilot sees is measured with the flight check, as the plain replay's suite measures it.

#include "airport_list.hpp"
#include "enginesim/fidelity.hpp"
#include "enginesim/habits.hpp"
#include "enginesim/harness.hpp"
#include "flightcheck/replay.hpp"
#include "pilot_bounds.hpp"
#include "support/test_support.hpp"
#include "traffic/engine.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <memory>
#include <sstream>

namespace amb {
namespace {

// The streams given the habits, where a frozen position and a late stamp cost most: turns, where a
// freeze hides a turn and the stream moves on kilometres to the side; arrivals, where it hides part
// of the descent and the approach; cruises, where it holds a fast aircraft back and then sends it a
// few kilometres on.
constexpr std::array<std::uint32_t, 10> kStreams{
    531917797,  // UAL2033 B737: a downwind and base to Newark, its records turning some 900 degrees
    531930002,  // SKV7638 E75S: vectored round to LaGuardia
    531921758,  // CNS227 PC12 (Light): circling at 1,000-5,000 ft
    531934447,  // F2TH: a business jet whose records hop 3.7 km sideways on its approach to LaGuardia
    531906288,  // JBU766 A320: down from 13,375 ft to JFK
    531911162,  // AAL2423 B763 (Heavy): down from 13,775 ft to JFK
    531917901,  // DAL9936 BCS1: to LaGuardia, its feed frozen at 600 ft on the final
    531912503,  // EDV5367 CRJ9: down from 20,250 ft to JFK
    531933504,  // DAL2171 A321: climbing out of LaGuardia through 34,000 ft
    531929748,  // JBU1155 E190: cruising at 26,000 ft across the radius
};
constexpr std::uint32_t kSeed = 20190305;

// The bounds of what a pilot sees that the engine does not meet yet with these habits: measured and
// printed all the same. Take a bound off this list once the engine holds it.
constexpr std::array kNotYetHeld{
    flightcheck::Bound::Porpoising,    flightcheck::Bound::TouchdownTime, flightcheck::Bound::TouchdownPlace,
    flightcheck::Bound::CrossTrackAll, flightcheck::Bound::CrossTrackLow,
};

// What a follower reaches that flies the records as these habits make them, over the spans the objects
// flew them, banked within the category table's limits, its turns begun no earlier than the records
// 30 s ahead show them (airborne cross-track p95, metres: all, away from the records' jumps, low near
// an airport, above or farther). Measured on the replay's trace and the lines it replayed:
//   HABITS=531917797,531930002,531921758,531934447,531906288,531911162,531917901,531912503,531933504,
//   531929748 HABITS_SEED=20190305 scripts/fidelity-replay.sh build --follower  ("bank cat")
constexpr test::CrossTrackBounds kFollowerCrossTrack{194, 142, 268, 180};

class JfkReplayHabits : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    const auto recording = test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz");
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"), recording);
    test::TempDir folder("engine-habits");
    enginesim::HarnessOptions options;
    options.programFolder = folder.path();
    options.airports = flightcheck::engineAirports(test::jfkAirportList());
    enginesim::EngineHarness h(options);

    enginesim::HabitOptions habits;
    habits.seed = kSeed;
    habits.hexids.insert(kStreams.begin(), kStreams.end());
    const auto lines = enginesim::applyHabits(enginesim::readRecording(recording), habits, &s_habits);

    flightcheck::ReplayCollector pilot(h, lines, 10, options.parkAirport.alt, options.sim.staticCg);
    enginesim::FidelityRecorder fidelity;
    h.onQueued = [&](const enginesim::RecordedLine& line, const Situation& s) {
      fidelity.reported(line.hexid, s.due - kTrafficDelayCycles, s.latitude, s.longitude, s.airborne != 0);
      pilot.queued(line, s);
    };
    h.sim().onPosition = [&](std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
      fidelity.flown(cycle, o.id, o.hexid, b);
      pilot.flown(cycle, o, b);
    };
    h.schedule(lines);
    h.run(h.lastLineCycle() + kTrafficDelayCycles + 8 * 800 + 2000);
    h.sim().onPosition = nullptr;
    h.onQueued = nullptr;
    s_pilot = test::pilotFigures(pilot, options, fidelity.figures());
  }
  static void TearDownTestSuite() { s_pilot = {}; }

  static inline enginesim::HabitSummary s_habits;
  static inline flightcheck::Figures s_pilot;
};

// Every chosen stream freezes and its stamps move, and each chosen aircraft is flown in the air for two
// minutes or more. What a pilot sees holds the bounds of the plain replay's suite, and the airborne
// cross-track against the records as the feed sent them is no worse than the follower's; the bounds of
// kNotYetHeld are printed, not held. The chosen streams' own cross-track is printed too. (One case:
// each case of a suite replays the recording in a process of its own.)
TEST_F(JfkReplayHabits, WhatAPilotSeesHoldsEveryBound) {
  EXPECT_EQ(s_habits.streams, std::set<std::uint32_t>(kStreams.begin(), kStreams.end()));
  EXPECT_GE(s_habits.freezes, 3 * kStreams.size());
  EXPECT_GE(s_habits.frozenLines, 10 * kStreams.size());
  EXPECT_GT(s_habits.longestFreezeSeconds, 50.0);
  EXPECT_GT(s_habits.largestShiftSeconds, 9.0);
  for (std::uint32_t hexid : kStreams) {
    const auto a = std::find_if(s_pilot.aircraft.begin(), s_pilot.aircraft.end(),
                                [&](const flightcheck::AircraftFigures& x) { return x.hexid == hexid; });
    ASSERT_NE(a, s_pilot.aircraft.end()) << hexid;
    EXPECT_GT(a->airborneSeconds, 120.0) << hexid;
  }
  const flightcheck::Figures& f = s_pilot;
  const flightcheck::Options options = test::pilotOptions(kFollowerCrossTrack);
  std::ostringstream report;
  flightcheck::print(report, f, options, false);
  SCOPED_TRACE(report.str());
  EXPECT_GT(f.airborneSeconds, 90000.0);
  EXPECT_GE(f.departures.size(), 6u);
  EXPECT_GE(f.arrivalsJudged, 30u);
  const auto& x = f.crossTrack;
  std::cout << fmt::format(
      "airborne cross-track p95 with the habits (m): all {:.0f}, away from the records' jumps {:.0f}, low near an "
      "airport {:.0f}, above or farther {:.0f}\n",
      x.all.p95, x.awayFromJumps.p95, x.lowNearAirport.p95, x.aboveOrFarther.p95);
  for (const flightcheck::AircraftFigures& a : f.aircraft)
    if (std::find(kStreams.begin(), kStreams.end(), a.hexid) != kStreams.end())
      std::cout << fmt::format("  {} ({}): p95 {:.0f} m over {} s, the farthest {:.0f} m at {:.1f} s\n", a.callsign,
                               a.hexid, a.crossTrackP95Metres, a.crossTrackSeconds, a.crossTrackMaxMetres,
                               a.crossTrackMaxAt);
  const auto failed = flightcheck::failedBounds(f, options);
  for (const flightcheck::FailedBound& b : failed) {
    if (std::find(kNotYetHeld.begin(), kNotYetHeld.end(), b.bound) != kNotYetHeld.end()) {
      std::cout << "not yet held (" << flightcheck::boundName(b.bound) << "): " << b.text << "\n";
      continue;
    }
    ADD_FAILURE() << b.text;
  }
  for (flightcheck::Bound bound : kNotYetHeld)
    if (std::none_of(failed.begin(), failed.end(), [&](const flightcheck::FailedBound& b) { return b.bound == bound; }))
      std::cout << "holds now, and may leave kNotYetHeld: " << flightcheck::boundName(bound) << "\n";
}

}  // namespace
}  // namespace amb
