// Planning a leg in the air: its speed and duration, the turn toward the leg after it, the climb
// from the ground, and the climb-out after lift-off.

#include "engine_fixture.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kFrom{40.70, -73.90};

class Legs : public EngineTest {
protected:
  // An aircraft in the simulator at kFrom heading east, `altitude` ft up; its front is not due.
  LiveAc& at(double altitude, double speed, std::uint32_t objectId = 800) {
    LiveAc& ac = addInSim(11700000 + objectId, objectId,
                          situation(kFrom.lat, kFrom.lon, altitude, speed, cycle() + 100000, altitude > 0));
    ac.position.heading = kPi / 2;
    ac.heightAboveGround = altitude;
    return ac;
  }
  // Appends a situation `nm` from the last one on `bearingDeg`, due `cycles` from now.
  Situation& then(LiveAc& ac, double bearingDeg, double nm, double altitude, double speed, std::int32_t cycles,
                  bool airborne = true) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, bearingDeg * kDegToRad, nm * kFeetPerNm);
    ac.situations.push_back(situation(to.lat, to.lon, altitude, speed, cycle() + cycles, airborne));
    return ac.situations.back();
  }
};

// The leg speed is the mean of the two situations' speeds; with both standing, the speed the stamped
// times imply (distance over at least 25 cycles), at least 1 kt. Landing onto a ground situation it is
// the front's speed, or 100 kt when the front gives none.
TEST_F(Legs, TheLegSpeedIsTheMeanOrWhatTheTimesImply) {
  LiveAc& ac = at(5000, 100);
  then(ac, 90, 1, 5000, 140, 3000);
  EXPECT_DOUBLE_EQ(lf_legSpeedKt(ac), 120);
  ac.situations[0].speed = 0;
  ac.situations[1].speed = 0;
  ac.situations[1].due = ac.situations[0].due + 3600;  // 1 nm in 3600 cycles: 100 kt
  EXPECT_NEAR(lf_legSpeedKt(ac), 100, 1e-6);
  ac.situations[1].due = ac.situations[0].due + 10;  // at least 25 cycles: 14400 kt
  EXPECT_NEAR(lf_legSpeedKt(ac), 14400, 1e-3);
  ac.situations[1].due = ac.situations[0].due + 10000000;  // 0.036 kt: 1 kt
  EXPECT_DOUBLE_EQ(lf_legSpeedKt(ac), 1);

  for (const auto& [frontSpeed, cycles] : {std::pair{150.0, 2400}, std::pair{0.0, 3600}}) {
    SCOPED_TRACE(frontSpeed);
    gf_resetEngine();
    LiveAc& landing = at(500, frontSpeed);
    landing.landingMode = 1;
    landing.extensionCount = 1;  // no windows
    then(landing, 90, 1, 0, 60, 1, false);
    nextPosAir(landing);
    EXPECT_NEAR(landing.second().due - cycle(), cycles, 1);
  }
}

// The turn to the next leg is the course from the second situation to the third less the heading;
// without a third situation there is none.
TEST_F(Legs, TheTurnAheadIsTheCourseOfTheLegAfter) {
  LiveAc& ac = at(5000, 200);
  then(ac, 90, 2, 5000, 200, 3000);
  EXPECT_DOUBLE_EQ(lf_turnToNextLeg(ac), 0);
  then(ac, 135, 2, 5000, 200, 6000);
  EXPECT_NEAR(lf_turnToNextLeg(ac) * kRadToDeg, 45, 0.1);
  then(ac, 0, 2, 5000, 200, 9000);
  EXPECT_NEAR(lf_turnToNextLeg(ac) * kRadToDeg, 45, 0.1);  // still the leg from the second to the third
}

// The feed's own track steers the turn below 1000 ft above ground, 2000 ft on an approach; higher up
// the course of the legs does.
TEST_F(Legs, TheFeedsTrackSteersOnlyNearTheGround) {
  struct Case {
    double aboveGround;
    bool landing;
    bool feedSteers;
  };
  for (const Case& c :
       std::vector<Case>{{999, false, true}, {1000, false, false}, {1999, true, true}, {2000, true, false}}) {
    SCOPED_TRACE(fmt::format("{} ft{}", c.aboveGround, c.landing ? " landing" : ""));
    gf_resetEngine();
    LiveAc& ac = at(c.aboveGround, 200);
    ac.landingMode = c.landing ? 1 : 0;
    Situation& s = then(ac, 90, 2, c.aboveGround, 200, 1000);
    s.feedAttitudeUsable = s.feedTrackGiven = s.feedBankGiven = 1;
    s.feedTrack = kPi / 2 + 0.1;  // 0.1 rad right of the heading
    s.feedBank = 0;
    then(ac, 0, 2, c.aboveGround, 200, 2000);  // the legs turn 90 degrees left
    lf_planAirLeg(ac);
    EXPECT_NEAR(ac.headingStep * 1000, c.feedSteers ? 0.1 : lf_turnToNextLeg(ac), 1e-3);
  }
}

// Rolling with the next situation on the ground too: the approach rate when in landing mode or when
// the buffered vertical speeds add up to 100 ft/min or less; else the run goes on to the first airborne
// situation among the next eight (the 3rd to the 10th), dropping the ground ones before it; with none
// it climbs at 601 ft/min at least.
TEST_F(Legs, ARollWithAnAirborneSituationAheadGoesStraightToIt) {
  for (const std::size_t airborneAt : {2, 9, 10}) {
    SCOPED_TRACE(airborneAt);
    gf_resetEngine();
    LiveAc& ac = at(0, 140);
    ac.extensionCount = 1;
    then(ac, 90, 0.2, 0, 140, 300, false).verticalSpeed = 60;
    for (std::size_t i = 2; i <= 10; ++i)
      then(ac, 90, 0.2, i == airborneAt ? 600 : 0, 150, 300 * static_cast<std::int32_t>(i), i == airborneAt)
          .verticalSpeed = 60;
    const std::size_t before = ac.situations.size();
    lf_planAirLeg(ac);
    if (airborneAt <= 9) {
      EXPECT_EQ(ac.situations.size(), before - (airborneAt - 1));
      EXPECT_EQ(ac.second().airborne, 1);
      EXPECT_GT(ac.altitudeStep, 0);
    } else {
      EXPECT_EQ(ac.situations.size(), before);
      EXPECT_DOUBLE_EQ(ac.second().verticalSpeed, 601);
      EXPECT_NEAR(ac.altitudeStep, 601.0 / 6000, 1e-12);
    }
  }
  // Vertical speeds adding up to 100 ft/min: the approach rate, -600 ft/min this near the ground; to
  // 101 ft/min, the run goes on to the airborne situation.
  for (const double third : {50.0, 51.0}) {
    SCOPED_TRACE(third);
    gf_resetEngine();
    LiveAc& ac = at(0, 140);
    then(ac, 90, 0.2, 0, 140, 300, false).verticalSpeed = 50;
    then(ac, 90, 0.2, 600, 150, 600, true).verticalSpeed = third;
    lf_planAirLeg(ac);
    if (third == 50) {
      EXPECT_DOUBLE_EQ(ac.second().verticalSpeed, -600);
      EXPECT_NEAR(ac.altitudeStep, -0.1, 1e-12);
    } else {
      EXPECT_EQ(ac.second().airborne, 1);
      EXPECT_GT(ac.altitudeStep, 0);
    }
  }
}

// On an approach that reports level flight (same altitudes, at most 1000 ft up, vertical speeds
// adding up to 100 ft/min or less) the aircraft descends at the approach rate; otherwise it flies the
// reported altitudes.
TEST_F(Legs, ALevelReportOnTheApproachStillDescends) {
  struct Case {
    double aboveGround, vs;
    bool descends;
  };
  for (const Case& c : std::vector<Case>{{1000, 50, true}, {1001, 50, false}, {900, 51, false}}) {
    SCOPED_TRACE(fmt::format("{} ft, {} ft/min", c.aboveGround, c.vs));
    gf_resetEngine();
    LiveAc& ac = at(c.aboveGround, 140);
    ac.landingMode = 1;
    ac.situations[0].verticalSpeed = 50;
    then(ac, 90, 1, c.aboveGround, 140, 2000).verticalSpeed = c.vs;
    lf_planAirLeg(ac);
    if (c.descends) {
      EXPECT_LE(ac.second().verticalSpeed, -601);
    } else {
      EXPECT_DOUBLE_EQ(ac.altitudeStep, 0);
    }
  }
  // Out of landing mode a climb is capped at the category's rate above 1000 ft and at least 0.2 ft a
  // cycle at or below.
  for (const auto& [aboveGround, step] : {std::pair{1000.0, 0.2}, std::pair{1001.0, 0.01}}) {
    SCOPED_TRACE(aboveGround);
    gf_resetEngine();
    LiveAc& ac = at(aboveGround, 140);
    then(ac, 90, 1, aboveGround + 20, 140, 2000);
    lf_planAirLeg(ac);
    EXPECT_NEAR(ac.altitudeStep, step, 1e-12);
  }
}

// After lift-off the gear comes up at the 300th cycle; at 800 ft the throttle comes back to 11468
// (a helicopter keeps 16383).
TEST_F(Legs, TheClimbOutRaisesTheGearAndSetsClimbPower) {
  for (const int category : {Large, Rotorcraft}) {
    SCOPED_TRACE(category);
    gf_resetEngine();
    const std::uint32_t objectId = category == Large ? 820 : 821;
    LiveAc& ac = at(13, 150, objectId);
    ac.category = category;
    ac.setPhase(GroundPhase::TakeOffRoll);
    ac.stepCounter = 1;
    ac.altitudeStep = 0.5;
    ac.heightAboveGround = 100;
    ac.throttleMarker = 4;
    // Each cycle of the engine runs the climb-out once.
    for (int i = 0; i < 299; ++i) lf_climbOut(ac);
    run(1);
    const auto gearUps = [&] {
      const auto events = sim().eventsOf(objectId);
      return std::count_if(events.begin(), events.end(),
                           [](const auto& e) { return e.eventId == EVT_GEAR_SET && e.data == 0; });
    };
    EXPECT_EQ(gearUps(), 0);
    run(1);  // the 300th cycle after lift-off
    EXPECT_EQ(gearUps(), category == Rotorcraft ? 0 : 1);
    ac.heightAboveGround = 800;
    lf_climbOut(ac);
    EXPECT_EQ(ac.phase, GroundPhase::Airborne);
    EXPECT_EQ(ac.throttleMarker, category == Rotorcraft ? 4u : 3u);
  }
}

// The simulator is given the vertical speed in feet per second: 600 ft/min is 10.
TEST_F(Legs, TheVerticalSpeedGoesToTheSimulatorPerSecond) {
  LiveAc& ac = at(5000, 200);
  ac.situations[0].due = cycle();
  then(ac, 90, 2, 6000, 200, 3000).verticalSpeed = 600;
  updateLiveAc(ac);
  EXPECT_DOUBLE_EQ(ac.targetVerticalSpeed, 600);
  EXPECT_DOUBLE_EQ(ac.position.verticalSpeed, 10);
}

}  // namespace
}  // namespace amb
