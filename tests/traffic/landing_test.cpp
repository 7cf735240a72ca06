// After the touchdown: an A321 that the simulator reports on the ground at JFK (13 ft) while the
// feed still has it in the air. It stays on the ground until the feed reports it there, or its
// records climb 300 ft above the field (313 ft); a ground report followed by airborne ones is a
// touch-and-go. The climb-out after lift-off never descends.

#include "engine_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

namespace amb {
namespace {

using test::EngineTest;

constexpr double kField = 13;  // the simulator's ground
constexpr double kCg = 10;     // the A321's static CG height in the simulator
constexpr std::uint32_t kObject = 700;
const LatLon kRunway{40.6413, -73.7781};

class Landing : public EngineTest {
protected:
  // An A321 in the simulator on short final, heading north, flaring over the runway; its buffer: the
  // situation it flies from and `ahead` more, 200 m apart to the north at `altitude`, due every 10 s.
  LiveAc& onShortFinal(int ahead, double altitude) {
    LiveAc& ac = addInSim(11900002, kObject, situation(kRunway.lat, kRunway.lon, 50, 130, cycle()));
    ac.position.heading = 0;
    ac.position.altitude = kField + kCg + 1;
    ac.staticCgHeight = kCg;
    ac.landingMode = 1;
    ac.flareStage = 4;
    for (int i = 0; i < ahead; ++i) append(ac, altitude, 125, true);
    return ac;
  }
  // The next situation 200 m north of the last one, 10 s later.
  Situation next(const LiveAc& ac, double altitude, double speed, bool airborne) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, 0, 200 / 0.3048);
    return situation(to.lat, to.lon, airborne ? altitude : 0, speed, last.due + 1000, airborne);
  }
  void append(LiveAc& ac, double altitude, double speed, bool airborne) {
    ac.situations.push_back(next(ac, altitude, speed, airborne));
  }
  // A new record of the feed, taken in as the intake does.
  void report(LiveAc& ac, double altitude, double speed, bool airborne) {
    decodeExisting(ac, next(ac, altitude, speed, airborne));
  }
  // The simulator reports the object on the ground (or not) over ground at the field's elevation.
  void simReports(const LiveAc& ac, bool onGround) {
    sim().push({ac.objectId, onGround ? 1u : 0u, 0, OtherAircraft, kField,
                std::max(0.0, ac.position.altitude - kField - kCg)});
    gf_SimCommands();
  }
  static bool anyAirborne(const LiveAc& ac) {
    return std::any_of(ac.situations.begin(), ac.situations.end(), [](const Situation& s) { return s.airborne != 0; });
  }
};

// The feed still reports the landed aircraft at 100 ft and 125 kt: those records, and those already
// buffered, are flown on the ground, and nothing sets it to take off, through the roll-out and after
// it turned off the runway, until a record 300 ft above the field (313 ft) has it in the air again.
TEST_F(Landing, AirborneRecordsBeforeAnyGroundReportAreFlownOnTheGround) {
  LiveAc& ac = onShortFinal(2, 100);
  simReports(ac, true);
  ASSERT_EQ(ac.landed, 1u);
  ASSERT_EQ(ac.movesOnGround, 1u);
  EXPECT_FALSE(anyAirborne(ac));
  for (double altitude : {100.0, 100.0, 312.0, 150.0}) {
    SCOPED_TRACE(altitude);
    report(ac, altitude, 125, true);
    const Situation& last = ac.situations.back();
    EXPECT_EQ(std::tuple(last.airborne, last.altitude, last.verticalSpeed), std::tuple(std::uint8_t{0}, 0.0, 0.0));
    EXPECT_EQ(ac.takeOffPending, 0u);
    EXPECT_NE(ac.phase, GroundPhase::TakeOffRoll);
  }
  // Turned off the runway it taxies, and the feed's stale records still do not make it take off.
  ac.landed = 0;
  ac.setPhase(GroundPhase::Taxi);
  report(ac, 100, 125, true);
  report(ac, 100, 125, true);
  EXPECT_EQ(ac.takeOffPending, 0u);
  EXPECT_FALSE(anyAirborne(ac));
  report(ac, 313, 150, true);
  EXPECT_EQ(ac.situations.back().airborne, 1u);
  EXPECT_EQ(ac.takeOffPending, 1u);
}

// Once the feed has it on the ground, rolling out at 110 and 90 kt (not a take-off run), a record in
// the air again followed by another is a touch-and-go.
TEST_F(Landing, AGroundReportFollowedByAirborneOnesIsATouchAndGo) {
  LiveAc& ac = onShortFinal(1, 100);
  simReports(ac, true);
  ASSERT_EQ(ac.landed, 1u);
  report(ac, 0, 110, false);
  report(ac, 0, 90, false);
  EXPECT_EQ(ac.takeOffPending, 0u);
  report(ac, 150, 130, true);
  EXPECT_EQ(ac.situations.back().airborne, 1u);
  EXPECT_EQ(ac.takeOffPending, 0u);  // one airborne record is not yet "again"
  report(ac, 300, 140, true);
  EXPECT_EQ(ac.takeOffPending, 1u);
  EXPECT_EQ(ac.phase, GroundPhase::Taxi);
  EXPECT_EQ(ac.landingMode, 0u);
}

// A ground report already buffered at the touchdown counts: the airborne situations before it are
// flown on the ground, those after it stay in the air.
TEST_F(Landing, TheBufferIsFlownOnTheGroundUpToItsFirstGroundReport) {
  LiveAc& ac = onShortFinal(2, 100);
  append(ac, 0, 90, false);
  append(ac, 200, 130, true);
  simReports(ac, true);
  std::vector<std::uint8_t> airborne;
  for (const Situation& s : ac.situations) airborne.push_back(s.airborne);
  EXPECT_EQ(airborne, (std::vector<std::uint8_t>{0, 0, 0, 0, 1}));
  report(ac, 350, 140, true);
  EXPECT_EQ(ac.takeOffPending, 1u);
}

// The feed repeats its last airborne position, 450 ft, for a while after the touchdown: higher than
// 313 ft but no climb, so it stays on the ground; a record above it is a climb.
TEST_F(Landing, TheFeedsRepeatedLastAirbornePositionIsNoClimb) {
  LiveAc& ac = onShortFinal(1, 450);
  simReports(ac, true);
  EXPECT_FALSE(anyAirborne(ac));
  report(ac, 450, 140, true);
  report(ac, 450, 140, true);
  EXPECT_FALSE(anyAirborne(ac));
  EXPECT_EQ(ac.takeOffPending, 0u);
  report(ac, 600, 150, true);
  report(ac, 800, 150, true);
  EXPECT_EQ(ac.situations.back().airborne, 1u);
  EXPECT_EQ(ac.takeOffPending, 1u);
}

// The recording's ETD11B: landed and rolled past its last airborne records, the feed repeats one of them,
// 300 m behind it. That record is dropped, never driven back to, as is one just behind its wings; one
// just ahead of them is taken. A ground report 100 m behind it is taken; one 300 m behind it (beyond
// HOLDING_THRESHOLD_METERS, 250 m) means the feed has it where it turned off elsewhere: it is removed,
// to be created again there.
TEST_F(Landing, ALandedAircraftNeverGoesBackToARecordBehindIt) {
  struct Case {
    const char* what;
    double metres, bearingDeg;  // from the aircraft, heading north
    bool airborne, taken, removed;
  };
  for (const Case& c : std::vector<Case>{{"an airborne record 300 m behind", 300, 180, true, false, false},
                                         {"an airborne record 95 degrees off the nose", 300, 95, true, false, false},
                                         {"an airborne record 85 degrees off the nose", 300, 85, true, true, false},
                                         {"a ground report 100 m behind", 100, 180, false, true, false},
                                         {"a ground report 300 m behind", 300, 180, false, false, true}}) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = onShortFinal(1, 100);
    simReports(ac, true);
    ASSERT_EQ(ac.landed, 1u);
    const LatLon ahead = gf_destinationPoint(kRunway, 0, 600 / 0.3048);
    ac.position.latitude = ahead.lat;
    ac.position.longitude = ahead.lon;
    const std::size_t before = ac.situations.size();
    const LatLon behind = gf_destinationPoint(ahead, c.bearingDeg * kDegToRad, c.metres / 0.3048);
    decodeExisting(ac, situation(behind.lat, behind.lon, c.airborne ? 100 : 0, c.airborne ? 125 : 20,
                                 ac.situations.back().due + 1000, c.airborne));
    EXPECT_EQ(std::any_of(ac.situations.begin(), ac.situations.end(),
                          [&](const Situation& s) { return s.latitude == behind.lat && s.longitude == behind.lon; }),
              c.taken);
    EXPECT_EQ(ac.state == ActState::Removing, c.removed);
    if (!c.taken && !c.removed) {
      EXPECT_EQ(ac.situations.size(), before);
    }
  }
}

// Rolled out to a stop with its synthetic roll-out used up, a landed aircraft waits where it stands
// for the feed to report it on the ground, as a taxiing one does, instead of ending its stream.
TEST_F(Landing, ARolledOutAircraftWaitsForTheFeed) {
  LiveAc& ac = addInSim(11900004, kObject, situation(kRunway.lat, kRunway.lon, 0, 0, cycle(), false));
  ac.setPhase(GroundPhase::Taxi);
  ac.landed = 1;
  ac.extensionCount = 1;
  EXPECT_TRUE(lf_extendStream(ac));
  EXPECT_EQ(ac.waiting, 1u);
  ASSERT_EQ(ac.situations.size(), 2u);
  EXPECT_EQ(ac.situations.back().noMovement, 1u);
}

// The feed goes on reporting the landed A321 in the air at its approach's 130 kt, 670 m apart every
// 10 s, for a minute, the last four 50 degrees to the right (off the runway, as such records often
// lie): flown on the ground, they do not keep it at 130 kt, neither on the runway nor once it has
// turned off it. From its touchdown at 130 kt it slows by 3 kt a second down to 30 kt (reached 33.3 s
// after it) and rolls on no faster: over the eleventh second 100 to 97 kt, 98.5 kt on average; from
// the thirty-fifth on, 30 kt.
TEST_F(Landing, ALandingRollsOutSlowingFromItsTouchdownSpeed) {
  sim().addObject(kObject, 11900002, {});
  LiveAc& ac = onShortFinal(0, 100);
  ac.airPath.speedMps = 130 * 1852.0 / 3600;
  for (int i = 0; i < 6; ++i) {
    const Situation& last = ac.situations.back();
    const double bearing = i < 2 ? 0.0 : 50 * kDegToRad;
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, bearing, 670 / 0.3048);
    ac.situations.push_back(situation(to.lat, to.lon, kField + 100, 130, last.due + 1000, true));
  }
  std::vector<std::pair<std::int32_t, LatLon>> flown;
  sim().onPosition = [&](std::int32_t at, const enginesim::SimObject& o, const AiPosBlock& b) {
    if (o.id == kObject) flown.emplace_back(at, LatLon{b.latitude, b.longitude});
  };
  const std::int32_t touchdown = cycle();
  simReports(ac, true);
  ASSERT_EQ(ac.landed, 1u);
  run(6000);
  // The average speed over each second after the touchdown, knots.
  std::vector<double> perSecond;
  for (std::size_t i = 0, j = 0; i < flown.size(); i = j) {
    while (j < flown.size() && flown[j].first < flown[i].first + kCyclesPerSecond) ++j;
    if (j == flown.size()) break;
    const double seconds = static_cast<double>(flown[j].first - flown[i].first) / kCyclesPerSecond;
    const double second = static_cast<double>(flown[i].first - touchdown) / kCyclesPerSecond;
    if (second < 0 || std::fabs(second - std::round(second)) > 0.05) continue;
    perSecond.resize(static_cast<std::size_t>(std::round(second)) + 1, -1);
    perSecond.back() = gf_distanceNm(flown[i].second, flown[j].second) * 3600 / seconds;
  }
  ASSERT_GE(perSecond.size(), 50u);
  for (std::size_t t = 0; t < perSecond.size(); ++t) {
    if (perSecond[t] < 0) continue;
    SCOPED_TRACE(t);
    EXPECT_LE(perSecond[t], std::max(30.0, 130.0 - 3.0 * static_cast<double>(t)) + 0.5);
    if (t >= 35) {
      EXPECT_NEAR(perSecond[t], 30, 0.5);
    }
  }
  ASSERT_GE(perSecond[10], 0);
  EXPECT_NEAR(perSecond[10], 98.5, 1.0);
  EXPECT_EQ(ac.landed, 0u);  // it turned off
}

// Touched down at 130 kt, the landed A321 rolls north to a ground report 400 m on, due in 6 s; the
// feed's last record (in the air, flown on the ground) lies 400 m from that one at 170 degrees, so
// that once the report's leg ends it lies behind the aircraft's right wing. Reported at 63 kt there,
// the aircraft is still on its landing roll (60 kt or faster) and does not stop dead: it rolls on
// north along the runway, slowing as the roll-out of a stream that ends in its landing roll does
// (legs at 30, then 20 kt), never toward the record behind. Over each of the first twelve seconds it
// makes 20 kt or more, no faster than over the second before, along its heading. Reported at 57 kt,
// it taxis, and stops where the report's leg ends.
TEST_F(Landing, ALandedAircraftWithOnlyAPositionBehindRollsOnRatherThanStoppingDead) {
  for (const double reportedKt : {63.0, 57.0}) {
    SCOPED_TRACE(reportedKt);
    gf_resetEngine();
    sim().addObject(kObject, 11900002, {});
    LiveAc& ac = onShortFinal(0, 100);
    ac.airPath.speedMps = 130 * 1852.0 / 3600;
    const LatLon on = gf_destinationPoint(kRunway, 0, 400 / 0.3048);
    ac.situations.push_back(situation(on.lat, on.lon, 0, reportedKt, ac.situations.back().due + 600, false));
    const LatLon behind = gf_destinationPoint(on, 170 * kDegToRad, 400 / 0.3048);
    ac.situations.push_back(
        situation(behind.lat, behind.lon, kField + 100, 125, ac.situations.back().due + 1000, true));
    std::vector<std::pair<std::int32_t, LatLon>> flown;
    sim().onPosition = [&](std::int32_t at, const enginesim::SimObject& o, const AiPosBlock& b) {
      if (o.id == kObject) flown.emplace_back(at, LatLon{b.latitude, b.longitude});
    };
    const std::int32_t touchdown = cycle();
    simReports(ac, true);
    ASSERT_EQ(ac.landed, 1u);
    run(1300);
    sim().onPosition = nullptr;
    ASSERT_FALSE(flown.empty());
    // The position flown first at or after a cycle.
    const auto at = [&](std::int32_t c) {
      auto it =
          std::lower_bound(flown.begin(), flown.end(), c, [](const auto& f, std::int32_t x) { return f.first < x; });
      return it == flown.end() ? flown.back() : *it;
    };
    double before = 130, slowest = 130;
    for (int second = 0; second < 12; ++second) {
      SCOPED_TRACE(second);
      const auto [c0, p0] = at(touchdown + second * kCyclesPerSecond);
      const auto [c1, p1] = at(touchdown + (second + 1) * kCyclesPerSecond);
      const double knots =
          c1 > c0 ? gf_distanceNm(p0, p1) * 3600 * kCyclesPerSecond / static_cast<double>(c1 - c0) : 0.0;
      slowest = std::min(slowest, knots);
      if (reportedKt < 60) continue;
      EXPECT_GE(knots, 20 - 0.5);
      EXPECT_LE(knots, before + 0.5);
      EXPECT_LT(std::fabs(gf_angleDiff(0, gf_bearingRad(p0, p1))) * kRadToDeg, 5);
      before = knots;
    }
    if (reportedKt < 60) {
      EXPECT_LT(slowest, 1);
    }
  }
}

// An A321 created low on a final and never set on its approach (not in landing mode, no flare) comes
// down from flight at 130 kt; the feed, lagging, reports it on the ground 450 m on every 10 s at 68,
// 43 and 26 kt. It has landed: it rolls out no faster than its records by 15 kt (between one record's
// speed and the next by their dues, 68 -> 43 kt over the second ten seconds) and than its touchdown
// speed less 3 kt a second, never at the 87 kt its legs' lengths would take it to catch up: over the
// 11th second at most 83 - 2.5 = 80.5 kt, over the 19th 63 - 2.5 = 60.5 kt. A helicopter setting down
// is no landing roll.
TEST_F(Landing, AnAeroplaneDownFromFlightOffItsApproachRollsOutWithItsRecords) {
  for (const int category : {Large, Rotorcraft}) {
    SCOPED_TRACE(category);
    gf_resetEngine();
    sim().addObject(kObject, 11900002, {});
    LiveAc& ac = onShortFinal(0, 100);
    ac.landingMode = 0;
    ac.flareStage = 0;
    ac.category = category;
    ac.airPath.speedMps = 130 * 1852.0 / 3600;
    for (const double kt : {68.0, 43.0, 26.0}) {
      const Situation& last = ac.situations.back();
      const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, 0, 450 / 0.3048);
      ac.situations.push_back(situation(to.lat, to.lon, 0, kt, last.due + 1000, false));
    }
    std::vector<std::pair<std::int32_t, LatLon>> flown;
    sim().onPosition = [&](std::int32_t at, const enginesim::SimObject& o, const AiPosBlock& b) {
      if (o.id == kObject) flown.emplace_back(at, LatLon{b.latitude, b.longitude});
    };
    const std::int32_t touchdown = cycle();
    simReports(ac, true);
    if (category == Rotorcraft) {
      EXPECT_EQ(ac.landed, 0u);
      continue;
    }
    ASSERT_EQ(ac.landed, 1u);
    run(2000);
    sim().onPosition = nullptr;
    ASSERT_FALSE(flown.empty());
    const auto at = [&](std::int32_t c) {
      auto it =
          std::lower_bound(flown.begin(), flown.end(), c, [](const auto& f, std::int32_t x) { return f.first < x; });
      return it == flown.end() ? flown.back() : *it;
    };
    for (int second = 10; second < 19; ++second) {
      SCOPED_TRACE(second);
      const auto [c0, p0] = at(touchdown + second * kCyclesPerSecond);
      const auto [c1, p1] = at(touchdown + (second + 1) * kCyclesPerSecond);
      ASSERT_GT(c1, c0);
      const double knots = gf_distanceNm(p0, p1) * 3600 * kCyclesPerSecond / static_cast<double>(c1 - c0);
      // The most at the second's start: the records' 68 kt less 2.5 kt a second past the tenth, + 15.
      EXPECT_LE(knots, 68 - 2.5 * (second - 10) + 15 + 0.5);
    }
  }
}

// On the ground above 30 kt a nose that turns toward its path turns no faster than the ground allows:
// a landed aircraft at its category's turn rate (0.07 degrees a cycle for the A321), anything else 0.25
// degrees a cycle; slower, or with the nose far off the way it moves, the planned 2 degrees a cycle.
TEST_F(Landing, TheNoseOnTheGroundTurnsNoFasterThanTheGroundAllows) {
  struct Case {
    bool landed;
    double speed, noseOffDeg, turnedDeg;
  };
  for (const Case& c : std::vector<Case>{{true, 100, 0, 0.07},
                                         {false, 60, 0, 0.25},
                                         {false, 30.5, 0, 0.25},
                                         {false, 29.5, 0, 2},
                                         {true, 29.5, 0, 2},
                                         {false, 60, 44, 0.25},
                                         {false, 60, 46, 2}}) {
    SCOPED_TRACE(fmt::format("landed {}, {} kt, nose {} degrees off", c.landed, c.speed, c.noseOffDeg));
    gf_resetEngine();
    LiveAc& ac = addInSim(11900005, kObject, situation(kRunway.lat, kRunway.lon, 0, c.speed, cycle() + 1000, false));
    ac.setPhase(GroundPhase::Taxi);
    ac.landed = c.landed ? 1 : 0;
    ac.turnPerCycle() = 0.07 * kDegToRad;
    ac.turnStep() = 2 * kDegToRad;
    ac.turning = 1;
    ac.position.heading = c.noseOffDeg * kDegToRad;
    ac.bearingToNext = (c.noseOffDeg + 40) * kDegToRad;
    // A cycle's way north at the speed.
    ac.latitudeStep = c.speed / kCyclesPerNmAtOneKnot / 60;
    lf_curveStep(ac);
    EXPECT_NEAR(ac.position.heading * kRadToDeg - c.noseOffDeg, c.turnedDeg, 1e-9);
  }
}

// The recording's DAL407 on short final: the feed's altitude sticks at 300 ft while its vertical
// speed stays at -768 ft/min and its positions go on down the runway. Flown below that (the
// synthetic legs of a silence took it down), the aircraft goes on down at its approach rate rather
// than climbing back to 300 ft; a record above it whose vertical speed climbs (a go-around) is
// climbed to.
TEST_F(Landing, ALaggingAltitudeOnShortFinalIsNoClimb) {
  for (const auto& [vs, climbs] : {std::pair{-768.0, false}, std::pair{1500.0, true}}) {
    SCOPED_TRACE(vs);
    gf_resetEngine();
    LiveAc& ac = addInSim(11900004, kObject, situation(kRunway.lat, kRunway.lon, 220, 122, cycle()));
    ac.position.heading = 0;
    ac.position.altitude = 282;
    ac.heightAboveGround = 269;
    ac.landingMode = 1;
    ac.setPhase(GroundPhase::Airborne);
    ac.movesOnGround = 0;
    ac.situations.front().verticalSpeed = -667;
    append(ac, 300, 122, true);
    ac.situations.back().verticalSpeed = vs;
    lf_planAirLeg(ac);
    if (climbs)
      EXPECT_GT(ac.altitudeStep, 0);
    else
      EXPECT_LE(ac.altitudeStep, -600.0 / 6000);
  }
}

// The recording's DAL9936 with the feed's habits laid on it: its altitude held at 600 ft at -576 ft/min,
// its positions frozen for most of a minute, it flew on through the silence down its glide path to
// 290 ft, and the feed's next record still says 600 ft. 310 ft below it is more than the records'
// own descent over the feed's half-minute lag (288 ft), yet it goes on down its glide path: its height
// through the silence was its own, not the records'. The same 310 ft below a record after a leg the records
// gave is too low, and climbed back from.
TEST_F(Landing, AfterASilenceAHeldAltitudeFarAboveIsNoClimb) {
  for (const bool afterSilence : {true, false}) {
    SCOPED_TRACE(afterSilence ? "after a silence" : "after a record");
    gf_resetEngine();
    LiveAc& ac = addInSim(11900005, kObject, situation(kRunway.lat, kRunway.lon, 290, 103, cycle()));
    ac.position.heading = 0;
    ac.position.altitude = 290;
    ac.heightAboveGround = 277;
    ac.landingMode = 1;
    ac.setPhase(GroundPhase::Airborne);
    ac.movesOnGround = 0;
    ac.situations.front().verticalSpeed = -492;
    ac.situations.front().extension = afterSilence ? 1 : 0;
    append(ac, 600, 103, true);
    ac.situations.back().verticalSpeed = -576;
    lf_planAirLeg(ac);
    // Down a 3 degree glide path at 103 kt: tan 3 x 6076 ft x 103 / 60 = 547 ft/min, 0.091 ft a cycle.
    if (afterSilence)
      EXPECT_NEAR(ac.altitudeStep, -std::tan(3 * kDegToRad) * 6076.12 * 103 / 60 / 6000, 1e-3);
    else
      EXPECT_GT(ac.altitudeStep, 0);
  }
}

// The feed reports a landing on the ground at its first report after the touchdown, here two reports
// late: an A321 at 124 kt whose records come every 10 s down to 30 ft above JFK's 13 ft, repeat that
// last airborne position once, and have it on the ground at 94 kt 1,200 m on. It touches down no
// farther before that first ground position than it rolls in one report interval, slowing from 124
// to 94 kt: 10 s x 109 kt x 0.5144 = 560.7 m, where its flare from the records' 30 ft would have had
// it down some 500 m after their last airborne position, 700 m before it. It floats on at its approach
// speed meanwhile: its flare is not slow. With the ground report six intervals after the last airborne
// one (the feed silent for a minute), the records say nothing of where it touched down: nothing holds
// it.
TEST_F(Landing, ALandingTouchesDownNoEarlierThanItsLateGroundReportAllows) {
  constexpr double kHeldBeforeM = 10 * (124 + 94) / 2.0 * 1852 / 3600;
  for (const auto& [ground, held] : {std::pair{2, true}, std::pair{6, false}}) {
    SCOPED_TRACE(ground);
    // Each landing on its own runway, 2 km apart, the one after the other.
    const std::uint32_t hex = 11900010 + static_cast<std::uint32_t>(ground);
    const LatLon firstOnGround = gf_destinationPoint(kRunway, kPi / 2, (ground - 2) * 1000 / 0.3048);
    const LatLon lastAirborne = gf_destinationPoint(firstOnGround, kPi, 1200 / 0.3048);
    std::optional<AiPosBlock> down;
    double slowestKt = 1e9;
    sim().onPosition = [&](std::int32_t, const enginesim::SimObject& o, const AiPosBlock& b) {
      if (o.hexid != hex || down) return;
      if (sim().standsOnGround(b))
        down = b;
      else if (b.altitude - kField - kCg < 50)
        slowestKt = std::min(slowestKt, b.trueAirspeed);
    };
    test::Line line;
    line.hexid = hex;
    line.callsign = fmt::format("LND{}", ground);
    line.timestamp += cycle() / 100.0;
    line.track = 0;
    line.gs = 124;
    line.vs = -700;
    for (int i = 6; i >= 1; --i, line.timestamp += 10) {
      const LatLon at = gf_destinationPoint(lastAirborne, kPi, (i - 1) * 124 * 10 / 3600.0 * kFeetPerNm);
      line.lat = at.lat;
      line.lon = at.lon;
      line.alt = kField + 30 + (i - 1) * 700 / 6.0;
      ASSERT_TRUE(feed(line));
      run(1000);
    }
    for (int i = 1; i < ground; ++i, line.timestamp += 10) {
      feed(line);  // the last airborne position again
      run(1000);
    }
    line.lat = firstOnGround.lat;
    line.lon = firstOnGround.lon;
    line.alt = 0;
    line.vs = 0;
    line.gs = 94;
    feed(line);
    run(1000);
    line = line.after(10);
    line.gs = 78;
    feed(line);
    run(6000);
    ASSERT_TRUE(down.has_value());
    // Metres short of the first ground position, along the way in (north).
    const LatLon at{down->latitude, down->longitude};
    const double beforeM = -gf_distanceNm(firstOnGround, at) * 1852 * std::cos(gf_bearingRad(firstOnGround, at));
    if (held) {
      // The simulator has it down with the wheels half a foot up, the last 0.2 s of its settling.
      EXPECT_LE(beforeM, kHeldBeforeM + 0.2 * 124 * 1852 / 3600);
      EXPECT_GT(beforeM, kHeldBeforeM - 150);
      EXPECT_GE(slowestKt, 0.8 * 124);
    } else {
      EXPECT_GT(beforeM, kHeldBeforeM + 100);
    }
  }
}

// The hold of a late ground report lasts while the aircraft comes in to that position: an A321 flying
// north from its last airborne record (124 kt, due 10 s ago; the feed's interval 10 s) to one on the
// ground at 94 kt 20 s later is held 1,200 m short of it; 700 m behind it (flown past it, the records
// have it farther back), where the way alone would still hold it, nothing holds it.
TEST_F(Landing, TheHoldOfALateGroundReportEndsOnceTheAircraftIsPastIt) {
  for (const double metres : {1200.0, -700.0}) {
    SCOPED_TRACE(metres);
    gf_resetEngine();
    LiveAc& ac = addInSim(11900011, kObject, situation(kRunway.lat, kRunway.lon, kField + 50, 124, cycle()));
    ac.landingMode = 1;
    ac.legFromKt = 124;
    ac.legFromDue = cycle() - 1000;
    ac.legFromAirborne = 1;
    ac.recentPositions = {{{kRunway.lat - 0.01, kRunway.lon}, 1000.0}, {{kRunway.lat - 0.005, kRunway.lon}, 1010.0}};
    ac.recentNext = ac.recentCount = 2;
    const LatLon at = gf_destinationPoint(kRunway, 0, metres / 0.3048);
    ac.situations = {situation(at.lat, at.lon, 0, 94, cycle() + 1000, false)};
    EXPECT_EQ(lf_holdsOffTheTouchdown(ac), metres > 0);
  }
}

// Away from the park airport the feed reports no more of a landing than its roll: an arrival that has
// turned off the runway at Teterboro, 10 nm from JFK, and whose feed has not moved it on for longer
// than it repeats a position (a minute, 6,000 cycles) leaves; within the minute, or at the park
// airport (within 5 nm), it waits for the feed.
TEST_F(Landing, AnArrivalTurnedOffAwayFromTheParkAirportLeavesOnceItsFeedStops) {
  const LatLon kTeterboro{40.8501, -74.0608};
  struct Case {
    LatLon at;
    std::int32_t stillCycles;
    bool extended;
  };
  for (const Case& c : {Case{kTeterboro, 6001, false}, Case{kTeterboro, 5900, true}, Case{kRunway, 6001, true}}) {
    SCOPED_TRACE(c.stillCycles);
    gf_resetEngine();
    run(7000);
    LiveAc& ac = addInSim(11900008, kObject, situation(c.at.lat, c.at.lon, 0, 0, cycle(), false));
    ac.setPhase(GroundPhase::Taxi);
    ac.arrivedByLanding = 1;
    ac.landed = 0;
    ac.lastMoveCycle = cycle() - c.stillCycles;
    EXPECT_EQ(lf_extendStream(ac), c.extended);
  }
}

// Lifted off, with the feed still reporting the aircraft on the ground: it climbs out at 601 ft/min
// at least, not down an approach, and an altitude step downward leaves it where it is.
TEST_F(Landing, TheClimbOutNeverDescends) {
  LiveAc& ac = addInSim(11900003, kObject, situation(kRunway.lat, kRunway.lon, 0, 150, cycle(), false));
  ac.position.heading = 0;
  ac.position.altitude = kField + kCg + 20;
  ac.heightAboveGround = 20;
  ac.setPhase(GroundPhase::TakeOffRoll);
  ac.movesOnGround = 0;
  ac.stepCounter = 0;
  append(ac, 0, 155, false);
  append(ac, 0, 160, false);
  lf_planAirLeg(ac);
  EXPECT_GE(ac.altitudeStep, 601.0 / 6000);
  EXPECT_GE(ac.situations[1].verticalSpeed, 601.0);

  ac.altitudeStep = -0.1;
  const double before = ac.position.altitude;
  for (int i = 0; i < 500; ++i) lf_climbOut(ac);
  EXPECT_DOUBLE_EQ(ac.position.altitude, before);
}

}  // namespace
}  // namespace amb
