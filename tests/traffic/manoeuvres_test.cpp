// Manoeuvres at the edges of their rules: an A321 (a Large aircraft) that must turn, bank, climb,
// configure for the approach, flare, lift off, taxi on its throttle, leave its stand, wait or fly on
// after its stream ends. Expected values are the aircraft's: 30 degrees of bank at 0.02 degrees a
// cycle, 0.0075 degrees of pitch a cycle, 0.07 degrees of turn a cycle, 0.6 ft of climb a cycle,
// 4 kt toward and away from its stand, 140 kt to lift off.

#include "engine_fixture.hpp"

#include "feed/qnh.hpp"
#include "settings/options.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <vector>

namespace amb {
namespace {

using test::EngineTest;

constexpr double kFeetPerMetre = 1 / 0.3048;
const LatLon kPark{40.639751, -73.778925};  // the harness's park airport, 13 ft

LatLon lf_toward(const LatLon& from, double bearingDeg, double feet) {
  return gf_destinationPoint(from, bearingDeg * kDegToRad, feet);
}

class Manoeuvres : public EngineTest {
protected:
  void TearDown() override {
    g_engineQnh = 1013;
    g_stands.clear();
  }
  // An A321 in the simulator at `at`, heading north, its front situation due far ahead.
  LiveAc& a321(const LatLon& at, double altitude, double speed = 150, std::uint32_t objectId = 600) {
    const bool airborne = altitude > 0;
    LiveAc& ac = addInSim(11900001, objectId, situation(at.lat, at.lon, altitude, speed, cycle() + 100000, airborne));
    ac.position.heading = 0;
    return ac;
  }
  // Appends a situation `feet` north of the last one, due `cycles` after now.
  Situation& then(LiveAc& ac, double feet, double altitude, double speed, std::int32_t cycles, bool airborne) {
    const Situation& last = ac.situations.back();
    const LatLon to = lf_toward({last.latitude, last.longitude}, 0, feet);
    ac.situations.push_back(situation(to.lat, to.lon, altitude, speed, cycle() + cycles, airborne));
    return ac.situations.back();
  }
  std::size_t eventCount(std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data) {
    std::size_t n = 0;
    for (const auto& e : sim().eventsOf(objectId))
      if (e.eventId == eventId && e.data == data) ++n;
    return n;
  }
};

// ---- In the air ----

TEST_F(Manoeuvres, BankAndPitchChangeAtTheAircraftsRates) {
  LiveAc& ac = a321(kPark, 5000);
  // A turn beyond the limit banks to 30 degrees, at most 0.02 degrees a cycle.
  ac.position.bank = 0;
  lf_setBankStep(ac, 1.0, 1);
  EXPECT_NEAR(ac.bankStep * kRadToDeg, -0.02, 1e-12);
  ac.position.bank = -29.99 * kDegToRad;
  lf_setBankStep(ac, 1.0, 1);
  EXPECT_NEAR(ac.bankStep * kRadToDeg, -0.01, 1e-9);
  ac.position.bank = 29.99 * kDegToRad;
  lf_setBankStep(ac, -1.0, 1);
  EXPECT_NEAR(ac.bankStep * kRadToDeg, 0.01, 1e-9);
  // A steep climb ahead: the nose comes up by at most 0.0075 degrees a cycle.
  ac.position.pitch = 0;
  then(ac, 20000, 9000, 150, 1000, true).verticalSpeed = 2400;
  ac.situations.front().due = cycle();
  lf_planAirLeg(ac);
  EXPECT_NEAR(ac.pitchStep * kRadToDeg, -0.0075, 1e-12);
}

TEST_F(Manoeuvres, ClimbsKeepToTheAircraftsLimits) {
  // Lifting off toward a point 1000 ft up in 100 cycles: at most 0.6 ft a cycle.
  LiveAc& ac = a321(kPark, 0);
  then(ac, 3000, 1000, 150, 100, true);
  lf_planAirLeg(ac);
  EXPECT_NEAR(ac.altitudeStep, 0.6, 1e-12);
  // Low over the ground a slow climb goes on at 0.2 ft a cycle at least.
  gf_resetEngine();
  LiveAc& low = a321(kPark, 500);
  low.heightAboveGround = 500;
  then(low, 30000, 510, 150, 1000, true);
  lf_planAirLeg(low);
  EXPECT_NEAR(low.altitudeStep, 0.2, 1e-12);
  // Rolling on the ground with no climb reported ahead: it climbs away at 601 ft/min.
  gf_resetEngine();
  LiveAc& rolling = a321(kPark, 0);
  then(rolling, 3000, 0, 150, 1000, false).verticalSpeed = 200;
  lf_planAirLeg(rolling);
  EXPECT_DOUBLE_EQ(rolling.situations[1].verticalSpeed, 601);
  EXPECT_NEAR(rolling.altitudeStep, 601.0 / 6000, 1e-12);
}

// Many transponders give the altitude in steps of 100 ft: toward a record no more than one step away
// an aircraft climbs or descends no faster than the record's own vertical speed, and no faster than
// 300 ft/min where that says level; farther off (101 ft), it follows the record. An aeroplane coming in to
// land keeps to the approach's rules; a helicopter coming in does not. Due in 1000 cycles: 100 ft at
// 128 ft/min is held to 300 / 6000 ft a cycle (not 100 / 1000); 100 ft down at -900 ft/min is flown
// in time (0.1, under 0.15); 100 ft in 500 cycles at 600 ft/min is held to 0.1 (not 0.2).
TEST_F(Manoeuvres, AnAltitudeOneCodeStepAwayIsFlownToNoFasterThanTheRecordSays) {
  struct Case {
    const char* what;
    double aboveFt, vs;
    std::int32_t dueCycles;
    int category;
    bool landing;
    double step;
  };
  for (const Case& c : std::vector<Case>{
           {"100 ft up, level", 100, 128, 1000, Large, false, 0.05},
           {"100 ft down at -900 ft/min", -100, -900, 1000, Large, false, -0.1},
           {"100 ft up at 600 ft/min in 5 s", 100, 600, 500, Large, false, 0.1},
           {"just over a step up, level", 101, 0, 1000, Large, false, 0.101},
           {"a helicopter coming in, 100 ft down, level", -100, 0, 1000, Rotorcraft, true, -0.05},
           {"an aeroplane coming in, 100 ft down, level", -100, 0, 1000, Large, true, -0.1},
       }) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = a321(kPark, 3000);
    ac.category = c.category;
    ac.heightAboveGround = 3000;
    ac.landingMode = c.landing ? 1 : 0;
    ac.situations.front().verticalSpeed = 0;
    then(ac, 6000, 3000 + c.aboveFt, 150, c.dueCycles, true).verticalSpeed = c.vs;
    lf_planAirLeg(ac);
    EXPECT_NEAR(ac.altitudeStep, c.step, 1e-9);
  }
}

// A helicopter and a light aeroplane flying level, whose records hop between 1,500 and 1,600 ft every
// 10 s (their own vertical speeds within 128 ft/min): what the simulator shows never climbs or
// descends faster than 300 ft/min (over each second), so the aircraft does not bob up and down.
TEST_F(Manoeuvres, RecordsHoppingBetweenTwoAltitudeStepsAreNotFlownAsPorpoising) {
  std::map<std::uint32_t, std::vector<AiPosBlock>> flown;
  sim().onPosition = [&](std::int32_t, const enginesim::SimObject& o, const AiPosBlock& b) {
    flown[o.id].push_back(b);
  };
  for (const auto& [type, category, callsign] :
       {std::tuple{"B407", "A7", "N77NY"}, std::tuple{"C172", "A1", "N2409E"}}) {
    SCOPED_TRACE(type);
    std::map<std::uint32_t, std::vector<AiPosBlock>> before;
    before.swap(flown);
    test::Line line;
    line.hexid += static_cast<std::uint32_t>(callsign[1]);
    line.type = type;
    line.category = category;
    line.callsign = callsign;
    line.reg = callsign;
    line.lat = 40.75;
    line.lon = -73.60;
    line.track = 270;
    line.gs = 90;
    std::vector<enginesim::RecordedLine> lines;
    for (int i = 0; i < 18; ++i, line = line.after(10)) {
      line.alt = (i / 2) % 2 == 0 ? 1500 : 1600;
      line.vs = i % 3 == 0 ? 128 : -64;
      lines.push_back({line.text(), line.timestamp, line.hexid});
    }
    harness().schedule(lines, cycle());
    run(3000 + 16000);
    // The one object created for this aircraft (the helicopter's may still be in the simulator).
    const auto mine =
        std::find_if(flown.begin(), flown.end(), [&](const auto& o) { return before.count(o.first) == 0; });
    ASSERT_NE(mine, flown.end());
    const std::vector<AiPosBlock>& blocks = mine->second;
    ASSERT_GT(blocks.size(), 10000u);
    double steepest = 0;
    for (std::size_t i = 100; i < blocks.size(); i += 100)
      steepest = std::max(steepest, std::fabs(blocks[i].altitude - blocks[i - 100].altitude) * 60);
    EXPECT_GT(steepest, 0.0);
    EXPECT_LE(steepest, 300.0 + 1e-6);
  }
}

// The approach descent: -600 ft/min in the last 100 ft; above, the mean of the two vertical speeds
// less 6 ft/min per hPa of QNH above 1013, and at least 601 ft/min down.
TEST_F(Manoeuvres, TheApproachDescentFollowsTheQnh) {
  LiveAc& ac = a321(kPark, 1000);
  then(ac, 6000, 900, 140, 1000, true);
  ac.situations[0].verticalSpeed = -700;
  ac.situations[1].verticalSpeed = -700;
  struct Case {
    double aboveGround;
    std::int32_t qnh;
    double vs;
  };
  for (const Case& c : std::vector<Case>{{100, 1030, -600},
                                         {105, 1020, -742},
                                         {105, 1005, -652},
                                         {105, 1013, -700}}) {
    SCOPED_TRACE(fmt::format("{} ft, QNH {}", c.aboveGround, c.qnh));
    ac.heightAboveGround = c.aboveGround;
    g_engineQnh = c.qnh;
    EXPECT_DOUBLE_EQ(lf_approachVs(ac), c.vs);
  }
  ac.situations[0].verticalSpeed = -300;
  ac.situations[1].verticalSpeed = -300;
  g_engineQnh = 1013;
  EXPECT_DOUBLE_EQ(lf_approachVs(ac), -601);
}

// The last leg down to the runway: straight to the park airport's elevation, by the time of the
// runway's report or sooner where the records' descent (700 ft/min) reaches it sooner, less the
// flare's 300 cycles; never steeper than the A321 descends (1.5 times its climb of 0.6 ft a cycle).
// A higher QNH changes nothing: at the approach rate alone (706 ft/min) the demo's arrivals under
// 1015 hPa floated half a minute down the runway. Without a field near, at the approach rate.
// 1013 ft above the airport's 13 ft with the runway due in 500 cycles: late for it, the aircraft
// comes down where the runway's report is as soon as it flies there, 6000 ft (0.98747 nm) at its
// 150 kt in 2369 cycles, less the flare's 300: -1000 / 2069 ft a cycle, not the dive to -0.9 the
// report's time alone would ask for; 300 ft above with it due in 6000: the records' descent comes
// down in 300 / 700 min = 2571 cycles.
TEST_F(Manoeuvres, TheLegDownToTheRunwayKeepsToTheRecordsWhateverTheQnh) {
  struct Case {
    std::int32_t qnh;
    bool park;
    double above;  // ft
    std::int32_t runwayDue;
    double step;  // ft per cycle
  };
  for (const Case& c : std::vector<Case>{{1013, true, 1000, 500, -1000.0 / 2069},
                                        {1013, true, 300, 6000, -300.0 / (2571 - 300)},
                                        {1015, true, 1000, 500, -1000.0 / 2069},
                                        {1013, false, 1000, 500, -601.0 / 6000}}) {
    SCOPED_TRACE(fmt::format("QNH {}, park airport {}", c.qnh, c.park));
    gf_resetEngine();
    if (!c.park) {
      std::lock_guard lock(g_parkAirportMutex);
      g_parkAirport.code.clear();
    }
    g_engineQnh = c.qnh;
    LiveAc& ac = a321(kPark, 13 + c.above);
    ac.heightAboveGround = c.above;
    ac.landingMode = 1;
    ac.situations[0].verticalSpeed = -700;
    ac.situations[0].due = cycle();
    then(ac, 6000, 0, 140, c.runwayDue, false).verticalSpeed = -700;
    lf_planAirLeg(ac);
    EXPECT_NEAR(ac.altitudeStep, c.step, 1e-4);
  }
}

// Below 2050 ft above ground a descending A321 within 10 nm of the park airport goes onto its
// approach; climbing faster than 600 ft/min it goes around; above, gear and flaps follow the height.
TEST_F(Manoeuvres, TheApproachConfigurationStartsAtItsHeightAndDistance) {
  struct Case {
    const char* what;
    double parkNm;
    double aboveGround;
    double vs;
    bool landing;
    bool goAround;
  };
  const std::vector<Case> cases{
      {"2045 ft, descending at 300 ft/min", 5, 2045, -300, true, false},
      {"2055 ft, descending at 300 ft/min", 5, 2055, -300, false, false},
      {"9.95 nm out", 9.95, 1500, -300, true, false},
      {"10.05 nm out", 10.05, 1500, -300, false, false},
      {"descending at 250 ft/min", 5, 1500, -250, true, false},
      {"descending at 245 ft/min", 5, 1500, -245, false, false},
      {"climbing at 605 ft/min", 20, 1500, 605, false, true},
      {"climbing at 595 ft/min", 20, 1500, 595, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = a321(lf_toward(kPark, 180, c.parkNm * kFeetPerNm), 3000);
    ac.heightAboveGround = c.aboveGround;
    ac.situations[0].due = cycle();
    then(ac, 6000, 3000, 150, 1000, true).verticalSpeed = c.vs;
    lf_planAirLeg(ac);
    EXPECT_EQ(ac.landingMode, c.landing ? 1u : 0u);
    EXPECT_EQ(ac.goAroundMark, c.goAround ? 1u : 0u);
  }
  // Gear up from 2400 ft above ground; above 10000 ft the cruise lights.
  for (const auto& [aboveGround, gearUp] : {std::pair{2405.0, true}, std::pair{2395.0, false}}) {
    SCOPED_TRACE(aboveGround);
    gf_resetEngine();
    const std::uint32_t objectId = gearUp ? 610 : 611;
    LiveAc& ac = a321(lf_toward(kPark, 180, 20 * kFeetPerNm), 3000, 150, objectId);
    ac.heightAboveGround = aboveGround;
    then(ac, 6000, 3000, 150, 1000, true);
    lf_planAirLeg(ac);
    run(1);
    EXPECT_EQ(eventCount(objectId, EVT_GEAR_SET, 0), gearUp ? 1u : 0u);
  }
  for (const auto& [altitude, cruise] : {std::pair{10005.0, true}, std::pair{9995.0, false}}) {
    SCOPED_TRACE(altitude);
    gf_resetEngine();
    LiveAc& ac = a321(lf_toward(kPark, 180, 40 * kFeetPerNm), altitude);
    ac.heightAboveGround = altitude;
    then(ac, 6000, altitude, 250, 1000, true);
    lf_planAirLeg(ac);
    EXPECT_EQ(ac.lightsAbove10000Set, cruise ? 1u : 0u);
  }
}

// The flare begins 30 ft above the static CG height and goes on at 20, 10 and 3 ft.
TEST_F(Manoeuvres, TheFlareFollowsTheHeightAboveTheStaticCg) {
  LiveAc& ac = a321(kPark, 60);
  ac.landingMode = 1;
  ac.staticCgHeight = 10;
  ac.flareSteps = 100;
  ac.position.pitch = 0;
  struct Step {
    double above;  // ft above ground
    std::uint32_t stage;
    double frontVs;
  };
  for (const Step& s : std::vector<Step>{{40.5, 0, 0},
                                         {40, 1, -601},
                                         {30.5, 1, -601},
                                         {30, 2, -450},
                                         {20.5, 2, -450},
                                         {20, 3, -300},
                                         {13.5, 3, -300},
                                         {13, 4, -150}}) {
    SCOPED_TRACE(s.above);
    ac.heightAboveGround = s.above;
    lf_flare(ac);
    EXPECT_EQ(ac.flareStage, s.stage);
    EXPECT_DOUBLE_EQ(ac.situations.front().verticalSpeed, s.frontVs);
    if (s.stage == 1) {
      EXPECT_NEAR(ac.pitchStep * kRadToDeg, -0.04, 1e-12);  // to 4 degrees nose up in 100 steps
      EXPECT_DOUBLE_EQ(ac.altitudeStep, -0.1);
    }
    if (s.stage == 3) {
      EXPECT_DOUBLE_EQ(ac.altitudeStep, -0.05);
    }
    if (s.stage == 4) {
      EXPECT_DOUBLE_EQ(ac.altitudeStep, -0.025);
    }
  }
}

// After lift-off the climb comes in at a tenth, a fifth and a half for 100 cycles each, then whole;
// at 800 ft above ground the aircraft is airborne.
TEST_F(Manoeuvres, TheClimbOutComesInByStages) {
  LiveAc& ac = a321(kPark, 13);
  ac.setPhase(GroundPhase::TakeOffRoll);
  ac.stepCounter = 1;
  ac.altitudeStep = 1.0;
  ac.heightAboveGround = 100;
  std::vector<double> climbs;
  for (int i = 0; i < 302; ++i) {
    const double before = ac.position.altitude;
    lf_climbOut(ac);
    climbs.push_back(ac.position.altitude - before);
  }
  for (const auto& [from, to, share] : {std::tuple{0, 99, 0.1}, std::tuple{100, 199, 0.2}, std::tuple{200, 299, 0.5},
                                        std::tuple{300, 301, 1.0}}) {
    EXPECT_NEAR(climbs[static_cast<std::size_t>(from)], share, 1e-9) << from;
    EXPECT_NEAR(climbs[static_cast<std::size_t>(to)], share, 1e-9) << to;
  }
  ac.heightAboveGround = 795;
  lf_climbOut(ac);
  EXPECT_EQ(ac.phase, GroundPhase::TakeOffRoll);
  ac.heightAboveGround = 800;
  lf_climbOut(ac);
  EXPECT_EQ(ac.phase, GroundPhase::Airborne);
}

// ---- Curves and turns ----

TEST_F(Manoeuvres, CurvesAreLaidOutInMetres) {
  GroundCurve c;
  c.originLatitude = 40;
  c.originLongitude = -73;
  c.startTime = 0;
  c.endTime = 1;
  c.middleNorth = 100;
  c.middleEast = 0;
  c.endNorth = 100;
  c.endEast = 100;
  CurvePoint p;
  double heading = 0;
  ASSERT_TRUE(gf_curvePosition(c, 0.5, p, heading));
  EXPECT_NEAR(p.latitude, 40 + 75 / 111132.95, 1e-12);
  EXPECT_NEAR(p.longitude, -73 + 25 / (111132.95 * std::cos(40 * kDegToRad)), 1e-12);
  EXPECT_NEAR(heading * kRadToDeg, 45, 1e-9);
  c.originLatitude = 60;
  c.middleNorth = 0;
  c.middleEast = 111132.95;
  c.endNorth = 0;
  c.endEast = 111132.95;
  ASSERT_TRUE(gf_curvePosition(c, 1, p, heading));
  EXPECT_NEAR(p.longitude, -71, 1e-9);
  // The curve parameter stops short of the end.
  LiveAc& ac = a321(kPark, 0, 10);
  ac.curve = c;
  ac.curve.originLatitude = kPark.lat;
  ac.curveStep = 0.3;
  for (int i = 0; i < 50; ++i) lf_curveStep(ac);
  EXPECT_EQ(ac.curveParameter, 0.999999);
}

TEST_F(Manoeuvres, ATaxiingAircraftTurnsAtItsOwnRate) {
  LiveAc& ac = a321(kPark, 0, 10);
  ac.turning = 1;
  ac.bearingToNext = 90 * kDegToRad;
  ac.latitudeStep = 1e-7;  // moving: standing, the nose stays
  for (int i = 0; i < 100; ++i) lf_curveStep(ac);
  EXPECT_NEAR(ac.position.heading * kRadToDeg, 7.0, 1e-9);
  // Half a degree off is straight enough.
  for (const auto& [offDeg, turns] : {std::pair{0.45, false}, std::pair{0.55, true}}) {
    ac.position.heading = 0;
    ac.bearingToNext = offDeg * kDegToRad;
    lf_curveStep(ac);
    EXPECT_EQ(ac.position.heading > 0, turns) << offDeg;
  }
}

TEST_F(Manoeuvres, AStraightLegChangingSpeedGetsAMidpoint) {
  struct Case {
    double metres;
    double from;
    double to;
    bool split;
  };
  for (const Case& c : std::vector<Case>{{150, 10, 15, false}, {150, 10, 15.5, true}, {98, 10, 20, false}, {102, 10, 20, true}}) {
    SCOPED_TRACE(fmt::format("{} m from {} to {} kt", c.metres, c.from, c.to));
    gf_resetEngine();
    LiveAc& ac = a321(kPark, 0, c.from);
    then(ac, c.metres * kFeetPerMetre, 0, c.to, 1000, false);
    EXPECT_EQ(lf_checkSpeedChange(ac), c.split);
    EXPECT_EQ(ac.situations.size(), c.split ? 3u : 2u);
  }
}

// ---- On the ground ----

// A turn of more than 3 and at most 160 degrees at the next position is flown as a curve.
TEST_F(Manoeuvres, ATaxiingAircraftCurvesThroughTurnsOfThreeTo160Degrees) {
  for (const auto& [turnDeg, curved] : {std::pair{2.95, false}, std::pair{3.05, true}, std::pair{159.5, true},
                                        std::pair{160.5, false}}) {
    SCOPED_TRACE(turnDeg);
    gf_resetEngine();
    LiveAc& ac = a321(kPark, 0, 10);
    ac.situations[0].due = cycle();
    const Situation& corner = then(ac, 40 * kFeetPerMetre, 0, 10, 300, false);
    const LatLon end = lf_toward({corner.latitude, corner.longitude}, turnDeg, 40 * kFeetPerMetre);
    ac.situations.push_back(situation(end.lat, end.lon, 0, 10, cycle() + 600, false));
    nextPosGround(ac);
    EXPECT_EQ(ac.curve.isSet(), curved);
  }
}

// With its take-off pending the throttle follows the ground speed of the leg.
TEST_F(Manoeuvres, TheTaxiThrottleFollowsTheSpeed) {
  struct Case {
    double front;
    double next;
    std::uint32_t index;
  };
  for (const Case& c : std::vector<Case>{{18, 22, 1},
                                         {22, 28, 2},
                                         {26, 26, 4},
                                         {24.5, 29.5, 2},
                                         {25.5, 20, 4},
                                         {19.5, 24.5, 1},
                                         {20.5, 20, 2},
                                         {14.5, 19.5, 0},
                                         {15.5, 19, 1},
                                         {10, 20.5, 1}}) {
    SCOPED_TRACE(fmt::format("{} kt then {} kt", c.front, c.next));
    gf_resetEngine();
    LiveAc& ac = a321(kPark, 0, c.front);
    ac.takeOffPending = 1;
    const Situation& next = then(ac, 300, 0, c.next, 1000, false);
    lf_planGroundLeg(ac, next);
    EXPECT_EQ(ac.throttleMarker, c.index);
  }
}

// The roll begins at 43 kt; it lifts off at once when everything ahead is airborne at 140 kt, or
// climbs toward the next altitude when everything ahead climbs faster than 256 ft/min.
TEST_F(Manoeuvres, TheTakeOffRollStartsAtFortyThreeKnots) {
  struct Case {
    const char* what;
    double front;
    double ahead;  // kt
    double vs;     // ft/min ahead
    bool roll;
    double step;
  };
  const std::vector<Case> cases{
      {"43 kt", 43, 100, 0, true, 0},
      {"42.5 kt", 42.5, 100, 0, false, 0},
      {"140 kt ahead", 43, 140, 0, true, 0.6},
      {"139.5 kt ahead", 43, 139.5, 0, true, 0},
      {"climbing at 257 ft/min ahead", 43, 100, 257, true, 0.1},
      {"climbing at 255 ft/min ahead", 43, 100, 255, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = a321(kPark, 0, c.front);
    ac.takeOffPending = 1;
    Situation& next = then(ac, 3000, 100, c.ahead, 1000, true);
    next.verticalSpeed = c.vs;
    then(ac, 3000, 200, c.ahead, 2000, true).verticalSpeed = c.vs;
    lf_planGroundLeg(ac, next);
    EXPECT_EQ(ac.phase, c.roll ? GroundPhase::TakeOffRoll : GroundPhase::Taxi);
    EXPECT_NEAR(ac.altitudeStep, c.step, 1e-12);
  }
}

// Leaving its stand: less than 90 degrees off the stand's heading it pulls forward out of it, two
// half spans; otherwise it is pushed back 2.5 stand radii first.
TEST_F(Manoeuvres, LeavingAStandPullsOutOrPushesBack) {
  for (const auto& [offDeg, pushed] : {std::pair{89.0, false}, std::pair{90.0, true}}) {
    SCOPED_TRACE(offDeg);
    gf_resetEngine();
    Stand stand;
    stand.id = 4;
    stand.name = "S4";
    stand.lat = kPark.lat;
    stand.lon = kPark.lon;
    stand.heading = 0;
    stand.radiusNm = 0.02;
    g_stands = {stand};
    LiveAc& ac = a321(kPark, 0, 0);
    ac.halfWingspan = 0.01;
    ac.standId = 4;
    ac.setPhase(GroundPhase::AtStand);
    ac.pullOutPending = 1;
    ac.situations[0].due = cycle();
    const LatLon away = lf_toward(kPark, offDeg, 400);
    ac.situations.push_back(situation(away.lat, away.lon, 0, 8, cycle() + 3000, false));
    nextPosGround(ac);
    ASSERT_GE(ac.situations.size(), 2u);
    const Situation& first = ac.situations[1];
    if (pushed) {
      EXPECT_EQ(ac.phase, GroundPhase::LeavingStand);
      EXPECT_NEAR(gf_distanceNm(kPark, {first.latitude, first.longitude}), 0.05, 1e-6);
    } else {
      EXPECT_EQ(ac.phase, GroundPhase::Taxi);
      EXPECT_NEAR(gf_distanceNm(kPark, {first.latitude, first.longitude}), 0.02, 1e-6);
    }
  }
}

// A taxi stream that ends waits in steps of 3 seconds, unless another taxiing aircraft comes within
// 1.2 times their half spans.
TEST_F(Manoeuvres, AnAircraftAtTheEndOfItsTaxiStreamWaitsUnlessAnotherIsClose) {
  for (const auto& [factor, waits] : {std::pair{1.15, false}, std::pair{1.25, true}}) {
    SCOPED_TRACE(factor);
    gf_resetEngine();
    LiveAc& other = addInSim(11900002, 601, situation(kPark.lat, kPark.lon, 0, 10, 1 << 30, false));
    other.halfWingspan = 0.01;
    const LatLon at = lf_toward(kPark, 90, factor * 0.02 * kFeetPerNm);
    LiveAc& ac = a321(at, 0, 0);
    ac.halfWingspan = 0.01;
    ac.position.latitude = at.lat;
    ac.position.longitude = at.lon;
    ac.situations[0].due = 4000;
    EXPECT_EQ(lf_extendStream(ac), waits);
    if (waits) {
      ASSERT_EQ(ac.situations.size(), 2u);
      EXPECT_EQ(ac.situations[1].due, 4300);
      EXPECT_EQ(ac.situations[1].noMovement, 1u);
    }
  }
}

// After its stream ends an aircraft goes on by itself: ten situations on the ground, eight in the
// air, each 3 s (ground) or 8 s (air) on at the speed it slows to, due 300 or 800 cycles later.
TEST_F(Manoeuvres, AStreamThatEndsGoesOnAtTheSpeedsItSlowsTo) {
  struct Case {
    double front;
    double next;
  };
  for (const Case& c : std::vector<Case>{{140, 100}, {139, 80}, {100, 80}, {99, 60}, {80, 60}, {79, 30}, {60, 30}, {59, 20}}) {
    SCOPED_TRACE(c.front);
    gf_resetEngine();
    LiveAc& ac = a321(kPark, 0, c.front);
    ac.landed = 1;
    ac.situations[0].due = 4000;
    ASSERT_TRUE(lf_extendStream(ac));
    EXPECT_EQ(ac.extensionCount, 10);
    ASSERT_EQ(ac.situations.size(), 2u);
    const Situation& s = ac.situations[1];
    EXPECT_DOUBLE_EQ(s.speed, c.next);
    EXPECT_EQ(s.due, 4300);
    EXPECT_NEAR(gf_distanceNm(kPark, {s.latitude, s.longitude}), c.next * 3 / 3600, 1e-9);
  }
  struct AirCase {
    int count;
    bool landing;
    double next;
  };
  for (const AirCase& c : std::vector<AirCase>{{8, false, 190}, {8, true, 180}, {3, false, 200}}) {
    SCOPED_TRACE(fmt::format("{} left, landing {}", c.count, c.landing));
    gf_resetEngine();
    LiveAc& ac = a321(kPark, 5000, 200);
    ac.landingMode = c.landing ? 1 : 0;
    ac.flareStage = 1;  // the descent of the landing mode is not the matter here
    ac.situations[0].due = 4000;
    lf_appendWaitSituations(ac, c.count);
    const Situation& s = ac.situations[1];
    EXPECT_NEAR(s.speed, c.next, 1e-9);
    EXPECT_EQ(s.due, 4800);
    EXPECT_NEAR(gf_distanceNm(kPark, {s.latitude, s.longitude}), c.next * 8 / 3600, 1e-9);
  }
  // In the air, with the user's position not yet known: eight.
  gf_resetEngine();
  LiveAc& air = a321(kPark, 5000, 200);
  air.situations[0].due = 4000;
  ASSERT_TRUE(lf_extendStream(air));
  EXPECT_EQ(air.extensionCount, 8);
}

}  // namespace
}  // namespace amb
