// Air movement: leg timing, altitude, pitch and bank steps, the approach and the flare, the stream's
// extensions; and the per-cycle step on a ground curve.

#include "engine_fixture.hpp"

#include "feed/qnh.hpp"
#include "settings/options.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class AirMovement : public EngineTest {
protected:
  // An aircraft in the simulator at (lat, lon), its front due now, flying on to `to`.
  LiveAc& flying(const Situation& to, double altitude = 5000, double speed = 120) {
    Situation from = situation(40.70, -73.90, altitude, speed, cycle());
    LiveAc& ac = addInSim(11600001, 300, from);
    ac.position.heading = gf_bearingRad({from.latitude, from.longitude}, {to.latitude, to.longitude});
    ac.situations.push_back(to);
    return ac;
  }
};

TEST_F(AirMovement, LegsTakeTheirDistanceAtTheirSpeedWithinTheWindows) {
  struct Case {
    const char* what;
    double nm;
    double speed;
    std::int32_t stamped;  // the second's due stamped on arrival, cycles from now
    std::int32_t expected;
  };
  const std::vector<Case> cases{
      {"1 nm at 120 kt", 1.0, 120, 3000, 3000},
      {"a very short leg", 0.001, 120, 10, 25},
      {"1500 cycles after the stamp: held to the late window", 1.0, 120, 1500, 2500},
      {"1500 cycles before the stamp: held to the early window", 1.0, 120, 4500, 3500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    const LatLon to = gf_destinationPoint({40.70, -73.90}, kPi / 2, c.nm * kFeetPerNm);
    LiveAc& ac = flying(situation(to.lat, to.lon, 5000, c.speed, c.stamped), 5000, c.speed);
    nextPosAir(ac);
    EXPECT_EQ(ac.second().due - cycle(), c.expected);
  }
}

TEST_F(AirMovement, AStandingSecondPositionIsDroppedInTheAirButKeptByAHelicopter) {
  for (const auto& [model, kept] : std::vector<std::pair<std::string, bool>>{{"A321", false}, {"EC35", true}}) {
    gf_resetEngine();
    HELICOPTERS.value = 1;
    LiveAc& ac = addInSim(11600101, 301, situation(40.70, -73.90, 1000, 0, 0), model);
    Situation hover = situation(40.70, -73.90, 1000, 0, 500);
    hover.noMovement = 1;
    ac.situations.push_back(hover);
    ac.situations.push_back(situation(40.71, -73.90, 1000, 60, 1500));
    nextPosMain(ac);
    ASSERT_FALSE(ac.situations.empty());
    EXPECT_EQ(ac.situations.front().noMovement != 0, kept) << model;
  }
}

TEST_F(AirMovement, AnArrivalWithLowQnhDescendsStraightToTheAirport) {
  g_engineQnh = 1005;
  // 4 nm out at 2000 ft, on the ground at the airport's position 120 seconds later.
  const AirportData park = gf_parkAirportSnapshot();
  const LatLon start = gf_destinationPoint({park.lat, park.lon}, 0.0, 4 * kFeetPerNm);
  Situation from = situation(start.lat, start.lon, 2000, 120, cycle());
  from.verticalSpeed = -800;
  LiveAc& ac = addInSim(11600201, 302, from);
  ac.landingMode = 1;
  ac.heightAboveGround = 1980;
  ac.situations.push_back(situation(park.lat, park.lon, 0, 120, cycle() + 12000, false));
  run(1);
  const std::int32_t due = lf_findLiveByObjectId(302)->situations.front().due;
  run(due - cycle() - 1);
  const LiveAc& at = *lf_findLiveByObjectId(302);
  EXPECT_NEAR(at.position.altitude, park.alt, 1.0);
  EXPECT_NEAR(gf_distanceNm({at.position.latitude, at.position.longitude}, {park.lat, park.lon}), 0, 0.001);
}

// A leg whose second situation is due right now still gets finite steps.
TEST_F(AirMovement, ALegDueAtOnceStaysFinite) {
  Situation to = situation(40.71, -73.90, 5000, 250, cycle());
  to.feedBankGiven = 1;
  to.feedBank = 0.2;
  LiveAc& ac = flying(to, 5000, 250);
  ac.extensionCount = 1;  // no windows: the due stays now
  ac.situations.push_back(situation(40.72, -73.89, 5000, 250, cycle() + 1000));
  run(3);
  const LiveAc& after = *lf_findLiveByObjectId(300);
  for (double v : {after.position.bank, after.position.pitch, after.position.heading, after.bankStep, after.pitchStep,
                   after.headingStep, after.position.latitude})
    EXPECT_TRUE(std::isfinite(v));
  EXPECT_LE(std::fabs(after.position.bank), gf_maxBank(Large));
}

TEST_F(AirMovement, TheFlareStepsDownToTouchdown) {
  LiveAc& ac = addInSim(11600301, 303, situation(40.64, -73.78, 60, 130, 1 << 30));
  ac.landingMode = 1;
  ac.staticCgHeight = 10;
  ac.altitudeStep = -1;
  struct Step {
    double agl;
    std::uint32_t stage;
    double altitudeStep;
  };
  for (const Step& s :
       std::vector<Step>{{45, 0, -1}, {40, 1, -0.1}, {35, 1, -0.1}, {30, 2, -0.1}, {20, 3, -0.05}, {13, 4, -0.025}}) {
    ac.heightAboveGround = s.agl;
    lf_flare(ac);
    EXPECT_EQ(ac.flareStage, s.stage) << s.agl;
    EXPECT_DOUBLE_EQ(ac.altitudeStep, s.altitudeStep) << s.agl;
  }
  EXPECT_EQ(ac.throttleMarker, 0u);
  ASSERT_TRUE(ac.landingSurfaceAltitude.has_value());
  EXPECT_DOUBLE_EQ(*ac.landingSurfaceAltitude, gf_parkAirportSnapshot().alt);
  // The engine asks for the ground under it more often meanwhile.
  EXPECT_EQ(g_fastRange, 1u);
}

TEST_F(AirMovement, AStreamThatEndsAtTheEdgeOfTheRadiusGoesAtOnce) {
  Line line;
  line.lat = 40.6413 + 39.95 / 60;  // 39.95 nm north of the user, the radius being 40 nm
  line.lon = -73.7781;
  line.track = 270;
  line.gs = 200;
  feedTrack(line, 3, 10);
  const std::int32_t lastDue = cycle() - 1000 + 3000;
  // No synthetic legs: it goes as soon as it has reached its last reported position.
  std::int32_t mostExtensions = 0;
  EXPECT_TRUE(harness().runUntil(
      [&] {
        const LiveAc* ac = lf_findLiveByHexid(line.hexid);
        if (ac != nullptr) mostExtensions = std::max(mostExtensions, ac->extensionCount);
        return ac != nullptr && ac->state == ActState::Removing;
      },
      4000));
  EXPECT_EQ(mostExtensions, 0);
  EXPECT_LE(std::abs(cycle() - lastDue), 1000);
}

TEST(GroundCurve, PositionAndHeadingAlongTheCurve) {
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
  EXPECT_NEAR((p.latitude - 40) * 111132.95, 75, 1e-6);
  EXPECT_NEAR((p.longitude + 73) * 111132.95 * std::cos(40 * kDegToRad), 25, 1e-6);
  EXPECT_NEAR(heading, kPi / 4, 1e-12);
  EXPECT_FALSE(gf_curvePosition(c, 1.01, p, heading));
  c.middleEast = GroundCurve::kUnset;
  EXPECT_FALSE(gf_curvePosition(c, 0.5, p, heading));
  // At 60 degrees of latitude a metre east is twice the longitude of one at the equator.
  GroundCurve north = c;
  north.originLatitude = 60;
  north.middleEast = 0;
  north.middleNorth = 0;
  north.endNorth = 0;
  north.endEast = 111132.95;
  ASSERT_TRUE(gf_curvePosition(north, 1.0, p, heading));
  EXPECT_NEAR(p.longitude - north.originLongitude, 2.0, 1e-9);
}

class GroundStep : public EngineTest {};

TEST_F(GroundStep, TheCurveParameterNeverReachesOneAndBackingUpShowsTheNoseOpposite) {
  LiveAc& ac = addInSim(11600401, 304, situation(40.64, -73.78, 0, 4, 1 << 30, false));
  ac.curve.originLatitude = 40.64;
  ac.curve.originLongitude = -73.78;
  ac.curve.startTime = 0;
  ac.curve.endTime = 1;
  ac.curve.middleNorth = -50;
  ac.curve.middleEast = 0;
  ac.curve.endNorth = -100;
  ac.curve.endEast = 0;
  ac.curveStep = 0.3;
  ac.setPhase(GroundPhase::LeavingStand);
  ac.position.heading = 0;  // nose north, moving south
  for (int i = 0; i < 5; ++i) lf_curveStep(ac);
  EXPECT_DOUBLE_EQ(ac.curveParameter, 0.999999);
  EXPECT_LT(ac.position.latitude, 40.64);
  EXPECT_LT(std::fabs(gf_angleDiff(ac.position.heading, 0.0)), 1e-9);
}

}  // namespace
}  // namespace amb
