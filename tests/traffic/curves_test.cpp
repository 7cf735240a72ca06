// The per-cycle step on and off a ground curve: the pace along the curve, the corner's place taken by
// the curve, the midpoint of a leg that changes speed, the flare's height, the longitude's wrap.

#include "engine_fixture.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kAt{40.639751, -73.778925};

class Curves : public EngineTest {
protected:
  LiveAc& taxiing(const LatLon& at = kAt, std::uint32_t objectId = 1000) {
    LiveAc& ac = addInSim(11950000 + objectId, objectId, situation(at.lat, at.lon, 0, 10, cycle() + 100000, false));
    ac.position.heading = 0;
    return ac;
  }
  // A curve from the aircraft's position straight north: its middle point `middle` m and its end
  // `end` m north.
  static GroundCurve northward(const LatLon& at, double middle, double end) {
    GroundCurve c;
    c.originLatitude = at.lat;
    c.originLongitude = at.lon;
    c.startTime = 0;
    c.endTime = 1;
    c.middleNorth = middle;
    c.middleEast = 0;
    c.endNorth = end;
    c.endEast = 0;
    return c;
  }
};

// Along a curve the parameter advances by the curve step times the curve's length over its speed
// where the aircraft is (at most four times), so that the aircraft keeps an even pace. On a straight
// curve 100 m long (north or east) whose middle point lies 30 m out, the speed at the start is 60 m
// per unit of the parameter: a step of 0.01 advances it by 0.01 * 100 / 60. With the middle point 5 m
// out the pace would be ten times: it is held to four.
TEST_F(Curves, TheParameterAdvancesAtAnEvenPace) {
  for (const bool east : {false, true}) {
    for (const auto& [middle, advance] :
         {std::pair{50.0, 0.01}, std::pair{30.0, 0.01 * 100 / 60}, std::pair{5.0, 0.04}}) {
      SCOPED_TRACE(fmt::format("{} {}", east ? "east" : "north", middle));
      gf_resetEngine();
      LiveAc& ac = taxiing();
      ac.curve = northward(kAt, middle, 100);
      if (east) {
        std::swap(ac.curve.middleNorth, ac.curve.middleEast);
        std::swap(ac.curve.endNorth, ac.curve.endEast);
      }
      ac.curveStep = 0.01;
      lf_curveStep(ac);
      EXPECT_NEAR(ac.curveParameter, advance, 1e-12);
    }
  }
}

// A curve set after another is paced by its own length: a straight one 100 m north whose middle
// point lies 30 m out advances by 0.01 * 100 / 60 at its start, whatever curve came before it (a
// 400 m one would have it advance four times as far).
TEST_F(Curves, ANewCurveIsPacedByItsOwnLength) {
  LiveAc& ac = taxiing();
  const auto north = [&](double metres) { return LatLon{kAt.lat + metres / 111132.95, kAt.lon}; };
  lf_setCurveThrough(ac, north(200), north(400));
  ac.curveStep = 0.01;
  lf_curveStep(ac);
  EXPECT_NEAR(ac.curveParameter, 0.01, 1e-9);
  ac.position.latitude = kAt.lat;
  ac.position.longitude = kAt.lon;
  lf_setCurveThrough(ac, north(30), north(100));
  lf_curveStep(ac);
  EXPECT_NEAR(ac.curveParameter, 0.01 * 100 / 60, 1e-9);
  ac.curve.clear();
  EXPECT_TRUE(std::isnan(ac.curve.lengthMetres));
}

// Where the curve bends faster than the aircraft turns, the nose catches up with the path by 1.2
// times the bend of the step (at taxi pace: 0.11 m a cycle is 21 kt).
TEST_F(Curves, TheNoseCatchesUpWithATightCurve) {
  LiveAc& ac = taxiing();
  GroundCurve c = northward(kAt, 3, 3);
  c.endEast = 3;  // a quarter turn to the right within 3 m
  ac.curve = c;
  ac.curveStep = 0.03;
  ac.turnStep() = 1e-6;                   // far slower than the curve bends
  ac.position.heading = 350 * kDegToRad;  // 10 degrees behind the path
  lf_curveStep(ac);
  CurvePoint p;
  double before = 0, after = 0;
  ASSERT_TRUE(gf_curvePosition(c, 0, p, before));
  ASSERT_TRUE(gf_curvePosition(c, ac.curveParameter, p, after));
  ASSERT_GT(after - before, 0.02);
  EXPECT_NEAR(ac.position.heading, 350 * kDegToRad + 1.2 * (after - before), 1e-9);
}

// A corner becomes a curve from the aircraft through the corner to the next point, in metres north
// and east; the corner situation goes, and a next point without speed takes the mean of the two
// before it.
TEST_F(Curves, ACurveTakesTheCornersPlace) {
  LiveAc& ac = taxiing();
  ac.situations[0].speed = 12;
  const LatLon corner = gf_destinationPoint(kAt, 0, 60 * 3.28083989501);
  const LatLon end = gf_destinationPoint(corner, kPi / 2, 60 * 3.28083989501);
  ac.situations.push_back(situation(corner.lat, corner.lon, 0, 8, cycle() + 1000, false));
  ac.situations.push_back(situation(end.lat, end.lon, 0, 0, cycle() + 2000, false));
  ASSERT_TRUE(lf_startCurve(ac));
  EXPECT_EQ(ac.situations.size(), 2u);
  EXPECT_DOUBLE_EQ(ac.situations[1].speed, 10);
  EXPECT_NEAR(ac.curve.middleNorth, 60, 0.5);
  EXPECT_NEAR(ac.curve.middleEast, 0, 1e-6);
  EXPECT_NEAR(ac.curve.endNorth, 60, 0.5);
  EXPECT_NEAR(ac.curve.endEast, 60, 0.5);
  EXPECT_NEAR(ac.curve.middleNorth, (corner.lat - kAt.lat) * 111132.95, 1e-9);
  EXPECT_NEAR(ac.curve.endEast, (end.lon - kAt.lon) * 111132.95 * std::cos(kAt.lat * kDegToRad), 1e-9);
}

// The midpoint of a leg that changes speed lies halfway in place, speed, altitude and time.
TEST_F(Curves, TheMidpointIsHalfwayInEverything) {
  LiveAc& ac = taxiing();
  Situation& f = ac.situations[0];
  f.latitude = 40.6;
  f.longitude = -73.8;
  f.speed = 10;
  f.trueAirspeed = 12;
  f.altitude = 100;
  f.due = 1001;
  ac.situations.push_back(situation(40.7, -73.6, 300, 30, 2000, false));
  ac.situations[1].trueAirspeed = 40;
  ac.situations[1].noMovement = 1;
  lf_insertMidSituation(ac);
  ASSERT_EQ(ac.situations.size(), 3u);
  const Situation& mid = ac.situations[1];
  EXPECT_DOUBLE_EQ(mid.latitude, 40.65);
  EXPECT_DOUBLE_EQ(mid.longitude, -73.7);
  EXPECT_DOUBLE_EQ(mid.speed, 20);
  EXPECT_DOUBLE_EQ(mid.trueAirspeed, 26);
  EXPECT_DOUBLE_EQ(mid.altitude, 200);
  EXPECT_EQ(mid.due, 1500);
  EXPECT_EQ(mid.noMovement, 0);
}

// Too few situations: no curve without a third, no midpoint without a second.
TEST_F(Curves, ShortBuffersAreLeftAlone) {
  LiveAc& ac = taxiing();
  EXPECT_FALSE(lf_checkSpeedChange(ac));
  lf_insertMidSituation(ac);
  EXPECT_EQ(ac.situations.size(), 1u);
  ac.situations.push_back(situation(kAt.lat + 0.001, kAt.lon, 0, 30, cycle() + 1000, false));
  EXPECT_FALSE(lf_startCurve(ac));
  EXPECT_EQ(ac.situations.size(), 2u);
  EXPECT_FALSE(ac.curve.isSet());
}

// The flare runs from 400 ft above ground on an approach; in it the nose comes up to 4 degrees at most.
TEST_F(Curves, TheFlareRunsFrom400FeetAndPitchesUpToFourDegrees) {
  for (const auto& [aboveGround, flares] : {std::pair{400.0, true}, std::pair{401.0, false}}) {
    SCOPED_TRACE(aboveGround);
    gf_resetEngine();
    LiveAc& ac = addInSim(11950100, 1010, situation(kAt.lat, kAt.lon, aboveGround, 140, cycle() + 100000));
    ac.landingMode = 1;
    ac.heightAboveGround = aboveGround;
    ac.heightAboveTarget = -1;
    lf_curveStep(ac);
    EXPECT_EQ(ac.heightAboveTarget, flares ? aboveGround : -1);
  }
  gf_resetEngine();
  LiveAc& ac = addInSim(11950101, 1011, situation(kAt.lat, kAt.lon, 30, 140, cycle() + 100000));
  ac.landingMode = 1;
  ac.flareStage = 1;
  ac.heightAboveGround = 30;
  ac.staticCgHeight = 5;
  ac.position.pitch = -3.99 * kDegToRad;
  ac.pitchStep = -0.1 * kDegToRad;
  lf_curveStep(ac);
  EXPECT_NEAR(ac.position.pitch * kRadToDeg, -4, 1e-12);
}

// Crossing the date line the longitude wraps into [-180, 180].
TEST_F(Curves, TheLongitudeWrapsAtTheDateLine) {
  for (const auto& [from, step, to] :
       {std::tuple{179.9999, 0.0002, -179.9999}, std::tuple{-179.9999, -0.0002, 179.9999},
        std::tuple{179.9997, 0.0002, 179.9999}}) {
    SCOPED_TRACE(from);
    gf_resetEngine();
    LiveAc& ac = addInSim(11950200, 1020, situation(-16.5, from, 5000, 250, cycle() + 100000));
    ac.longitudeStep = step;
    ac.position.heading = step > 0 ? kPi / 2 : 3 * kPi / 2;  // its nose along its way
    lf_curveStep(ac);
    EXPECT_NEAR(ac.position.longitude, to, 1e-9);
  }
}

}  // namespace
}  // namespace amb
