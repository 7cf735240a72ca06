// Leaving a stand: the push-back's straight leg, corner and turn, the engines' start after it, the
// pull-out forward, and the stream positions the way out replaces; turning round toward a position
// behind the aircraft.

#include "engine_fixture.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kStand{40.639751, -73.778925};
constexpr double kRadiusNm = 0.02;

class LeavingStand : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    Stand stand;
    stand.id = 4;
    stand.name = "S4";
    stand.lat = kStand.lat;
    stand.lon = kStand.lon;
    stand.heading = 0;
    stand.radiusNm = kRadiusNm;
    g_stands = {stand};
  }
  void TearDown() override { g_stands.clear(); }
  // An aircraft standing on stand S4, nose north, pushed back at 4 kt, its next position `nm` away
  // on `bearingDeg`.
  LiveAc& standing(double bearingDeg, double nm = 0.2, std::uint32_t objectId = 1300) {
    LiveAc& ac = addInSim(11970000 + objectId, objectId, situation(kStand.lat, kStand.lon, 0, 0, cycle(), false));
    ac.position.heading = 0;
    ac.halfWingspan = 0.01;
    ac.pushBackSpeed() = 4;
    ac.standId = 4;
    ac.setPhase(GroundPhase::AtStand);
    const LatLon next = gf_destinationPoint(kStand, bearingDeg * kDegToRad, nm * kFeetPerNm);
    ac.situations.push_back(situation(next.lat, next.lon, 0, 10, cycle() + 9000, false));
    return ac;
  }
  static LatLon at(const Situation& s) { return {s.latitude, s.longitude}; }
  // The push-back's straight leg is flown: the aircraft is at its end, flying from it.
  static void backedOut(LiveAc& ac) {
    ac.situations.pop_front();
    ac.position.latitude = ac.situations[0].latitude;
    ac.position.longitude = ac.situations[0].longitude;
  }
};

// Straight back 2.5 stand radii at the push-back speed (0.05 nm at 4 kt: 4500 cycles), then a corner
// one radius farther and the end of the turn one radius to the side, so that the nose ends toward the
// next position (east here: the tail swings west). Taxi lights on, landing and cabin lights off.
TEST_F(LeavingStand, APushBackGoesStraightBackThenTurnsItsTailAway) {
  LiveAc& ac = standing(90);
  const std::int32_t now = cycle();
  lf_pushBack(ac);
  ASSERT_EQ(ac.situations.size(), 5u);
  EXPECT_EQ(ac.phase, GroundPhase::LeavingStand);
  EXPECT_EQ(ac.pushBackCountdown, 2);
  EXPECT_DOUBLE_EQ(ac.situations[0].speed, 4);
  const Situation& straight = ac.situations[1];
  const Situation& corner = ac.situations[2];
  const Situation& turned = ac.situations[3];
  EXPECT_NEAR(gf_distanceNm(kStand, at(straight)), 2.5 * kRadiusNm, 1e-9);
  EXPECT_NEAR(gf_bearingRad(kStand, at(straight)) * kRadToDeg, 180, 1e-6);
  EXPECT_NEAR(gf_distanceNm(kStand, at(corner)), 3.5 * kRadiusNm, 1e-9);
  EXPECT_NEAR(gf_distanceNm(at(corner), at(turned)), kRadiusNm, 1e-9);
  EXPECT_NEAR(gf_bearingRad(at(corner), at(turned)) * kRadToDeg, 270, 0.01);
  EXPECT_EQ(straight.due, now + 4500);
  EXPECT_EQ(corner.due, now + 4501);
  EXPECT_EQ(turned.due, now + 4502);
  for (const Situation* s : {&straight, &corner, &turned}) {
    EXPECT_DOUBLE_EQ(s->speed, 4);
    EXPECT_NEAR(s->heading, 0, 1e-9);
  }
  run(1);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> lights;
  for (const auto& e : sim().eventsOf(1300))
    if (e.eventId >= EVT_BEACON_LIGHTS_SET && e.eventId <= EVT_LOGO_LIGHTS_SET) lights.emplace_back(e.eventId, e.data);
  EXPECT_EQ(lights, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{EVT_NAV_LIGHTS_SET, 1},
                                                                          {EVT_BEACON_LIGHTS_SET, 1},
                                                                          {EVT_LANDING_LIGHTS_SET, 0},
                                                                          {EVT_TAXI_LIGHTS_SET, 1},
                                                                          {EVT_STROBES_SET, 0},
                                                                          {EVT_LOGO_LIGHTS_SET, 1},
                                                                          {EVT_CABIN_LIGHTS_SET, 0}}));
  // Toward a position west the tail swings east.
  gf_resetEngine();
  LiveAc& west = standing(270, 0.2, 1301);
  lf_pushBack(west);
  EXPECT_NEAR(gf_bearingRad(at(west.situations[2]), at(west.situations[3])) * kRadToDeg, 90, 0.01);
}

// At the end of the straight leg a push-back without its turn drops the turn's two situations and
// starts the engines: idle, take-off flaps, phase EnginesStarted, the push-back time 900.
TEST_F(LeavingStand, AStraightPushBackStartsTheEnginesAtItsEnd) {
  LiveAc& ac = standing(90);
  lf_pushBack(ac);
  ac.curvedPushBack = 0;
  ac.throttleMarker = 2;
  ac.flapsMarker = 0;
  const Situation next = ac.situations[4];
  backedOut(ac);
  nextPosGround(ac);  // the countdown reaches 1
  EXPECT_EQ(ac.phase, GroundPhase::EnginesStarted);
  EXPECT_EQ(ac.pushBackCountdown, 0);
  EXPECT_DOUBLE_EQ(ac.engineStartMark, 900);
  EXPECT_EQ(ac.throttleMarker, 0u);
  EXPECT_EQ(ac.flapsMarker, 1u);
  ASSERT_EQ(ac.situations.size(), 2u);
  EXPECT_EQ(at(ac.situations[1]).lat, next.latitude);
  EXPECT_EQ(at(ac.situations[1]).lon, next.longitude);
}

// A stream whose next position lies in the stand area still (reported during the push-back) loses it;
// the aircraft then stands where it is.
TEST_F(LeavingStand, PositionsOfThePushBackItselfArePassed) {
  LiveAc& ac = standing(180, 0.06);  // 0.06 nm behind the stand: within the 0.05 + 0.02 nm reached
  lf_pushBack(ac);
  ac.curvedPushBack = 0;
  backedOut(ac);
  nextPosGround(ac);
  EXPECT_EQ(ac.phase, GroundPhase::EnginesStarted);
  ASSERT_EQ(ac.situations.size(), 2u);
  EXPECT_EQ(ac.situations[1].noMovement, 1u);
  EXPECT_NEAR(gf_distanceNm(kStand, at(ac.situations[1])), 2.5 * kRadiusNm, 1e-9);
  // With a position beyond it the stream goes on there at once.
  gf_resetEngine();
  LiveAc& on = standing(180, 0.06, 1304);
  const LatLon far = gf_destinationPoint(kStand, kPi / 2, 0.3 * kFeetPerNm);
  on.situations.push_back(situation(far.lat, far.lon, 0, 10, cycle() + 12000, false));
  lf_pushBack(on);
  on.curvedPushBack = 0;
  backedOut(on);
  nextPosGround(on);
  ASSERT_EQ(on.situations.size(), 2u);
  EXPECT_EQ(on.situations[1].latitude, far.lat);
}

// A stand without a radius takes the aircraft's half span, 0.005 nm at least.
TEST_F(LeavingStand, AStandWithoutARadiusTakesTheAircraftsSize) {
  for (const auto& [halfSpan, radius] : {std::pair{0.003, 0.005}, std::pair{0.008, 0.008}}) {
    SCOPED_TRACE(halfSpan);
    gf_resetEngine();
    g_stands[0].radiusNm = 0;
    LiveAc& ac = standing(90);
    ac.halfWingspan = halfSpan;
    lf_pushBack(ac);
    ASSERT_EQ(ac.situations.size(), 5u);
    EXPECT_NEAR(gf_distanceNm(kStand, at(ac.situations[1])), 2.5 * radius, 1e-9);
  }
}

// An aircraft due to leave its stand with no position to go to stays on it.
TEST_F(LeavingStand, WithNowhereToGoItStaysOnTheStand) {
  LiveAc& ac = standing(90);
  ac.situations.pop_back();
  ac.pullOutPending = 1;
  nextPosGround(ac);
  EXPECT_EQ(ac.phase, GroundPhase::AtStand);
  EXPECT_EQ(ac.situations.size(), 1u);
}

// A stream that ends with the push-back's turn leaves nothing to fly once the straight push-back is
// done: the aircraft goes.
TEST_F(LeavingStand, AStreamEndingWithThePushBackRemovesTheAircraft) {
  LiveAc& ac = standing(90);
  lf_pushBack(ac);
  ac.curvedPushBack = 0;
  ac.situations.resize(4);  // the stream's own next position is gone
  backedOut(ac);
  nextPos(ac);
  EXPECT_EQ(ac.state, ActState::Removing);
}

// With its turn the straight leg ends in a 90-degree curve through the corner, timed by the turn
// rate: 90 degrees at 0.07 degrees a cycle, counted in hundreds, is round(90 / 0.00122173 / 100)
// = 737 cycles.
TEST_F(LeavingStand, ACurvedPushBackTurnsNinetyDegreesAtTheTurnRate) {
  LiveAc& ac = standing(90);
  lf_pushBack(ac);
  ac.curvedPushBack = 1;
  ac.turnPerCycle() = 0.07 * kDegToRad;
  const std::int32_t now = cycle();
  backedOut(ac);
  nextPosGround(ac);
  EXPECT_TRUE(ac.curve.isSet());
  EXPECT_EQ(ac.curveAngle, 90);
  EXPECT_NEAR(ac.curveStep, 1.0 / 737, 1e-15);
  ASSERT_GE(ac.situations.size(), 3u);
  EXPECT_EQ(ac.situations[1].due, now + 737);
  // The curve runs through the corner, a radius farther back, to a radius west of it.
  EXPECT_NEAR(ac.curve.middleNorth, -kRadiusNm * 1852, 0.1);
  EXPECT_NEAR(ac.curve.endNorth, -kRadiusNm * 1852, 0.1);
  EXPECT_NEAR(ac.curve.endEast, -kRadiusNm * 1852, 0.1);
  // The same with the turn's end the last position of the stream; with the corner the last, nothing
  // to turn to.
  for (const auto& [left, curve] : {std::pair{3u, true}, std::pair{2u, false}}) {
    SCOPED_TRACE(left);
    gf_resetEngine();
    LiveAc& last = standing(90);
    lf_pushBack(last);
    last.curvedPushBack = 1;
    last.turnPerCycle() = 0.07 * kDegToRad;
    backedOut(last);
    last.situations.resize(left);
    nextPosGround(last);
    EXPECT_EQ(last.curve.isSet(), curve);
    EXPECT_EQ(last.curveAngle, curve ? 90 : 0);
  }
}

// A position seen after the push-back ends the turn instead when it lies on the side the tail swings
// to, between half a radius and three radii back and aside from the end of the straight leg.
TEST_F(LeavingStand, APositionSeenAfterThePushBackMayEndTheTurn) {
  struct Case {
    double back, aside;  // radii, aside positive west
    bool replaces;
    double nextDeg = 90;  // the stream goes on east: the tail swings west
  };
  for (const Case& c : std::vector<Case>{{2, 2, true},
                                         {0.45, 2, false},
                                         {0.55, 2, true},
                                         {2, 0.45, false},
                                         {2, 0.55, true},
                                         {2.95, 2.95, true},
                                         {3.05, 2, false},
                                         {2, 3.05, false},
                                         {2, -2, false},
                                         {2, -2, true, 270},
                                         {2, 2, false, 270}}) {
    SCOPED_TRACE(fmt::format("{} back, {} aside, next {}", c.back, c.aside, c.nextDeg));
    gf_resetEngine();
    LiveAc& ac = standing(c.nextDeg);
    lf_pushBack(ac);
    ac.curvedPushBack = 1;
    ac.replaceAfterPushBack = 1;
    const LatLon straightEnd = gf_destinationPoint(kStand, kPi, 2.5 * kRadiusNm * kFeetPerNm);
    const LatLon behind = gf_destinationPoint(straightEnd, kPi, c.back * kRadiusNm * kFeetPerNm);
    const LatLon seen = gf_destinationPoint(behind, -kPi / 2, c.aside * kRadiusNm * kFeetPerNm);
    ac.savedSituation = situation(seen.lat, seen.lon, 0, 5, 0, false);
    backedOut(ac);
    nextPosGround(ac);
    ASSERT_TRUE(ac.curve.isSet());
    const double endEast = (seen.lon - kStand.lon) * 111132.95 * std::cos(kStand.lat * kDegToRad);
    EXPECT_EQ(std::fabs(ac.curve.endEast - endEast) < 0.5, c.replaces) << ac.curve.endEast << " " << endEast;
    if (c.replaces) {
      // The turn ends there, and its corner lies on the push-back line as far back as the position.
      EXPECT_NEAR(ac.curve.endNorth, -c.back * kRadiusNm * 1852, 0.5);
      EXPECT_NEAR(ac.curve.middleNorth, -c.back * kRadiusNm * 1852, 0.5);
      EXPECT_NEAR(ac.curve.middleEast, 0, 0.5);
    }
  }
}

// Pulling out forward: to two half spans ahead of the stand; stream positions within that reach of
// the stand (plus its radius) are passed, and those behind the way out not twice as far.
TEST_F(LeavingStand, APullOutPassesThePositionsInsideTheStandArea) {
  LiveAc& ac = standing(0, 0.2);
  ac.pullOutPending = 1;
  // Stream positions: 0.035 nm north (inside 0.02 + 0.02), 0.05 nm south (behind, inside twice),
  // then 0.2 nm north.
  const Situation last = ac.situations.back();
  ac.situations.pop_back();
  for (const auto& [bearing, nm] : {std::pair{0.0, 0.035}, std::pair{kPi, 0.05}, std::pair{kPi, 0.085}}) {
    const LatLon p = gf_destinationPoint(kStand, bearing, nm * kFeetPerNm);
    ac.situations.push_back(situation(p.lat, p.lon, 0, 8, cycle() + 1000, false));
  }
  ac.situations.push_back(last);
  lf_pullOut(ac);
  EXPECT_EQ(ac.phase, GroundPhase::Taxi);
  ASSERT_EQ(ac.situations.size(), 4u);
  EXPECT_NEAR(gf_distanceNm(kStand, at(ac.situations[1])), 0.02, 1e-9);
  EXPECT_EQ(ac.situations[1].due, cycle() + 1800);  // 0.02 nm at 4 kt
  EXPECT_NEAR(gf_distanceNm(kStand, at(ac.situations[2])), 0.085, 1e-9);
  // Behind the way out's end includes obliquely behind (135 degrees off).
  gf_resetEngine();
  LiveAc& oblique = standing(0, 0.2, 1303);
  oblique.pullOutPending = 1;
  const LatLon end = gf_destinationPoint(kStand, 0, 0.02 * kFeetPerNm);
  const LatLon back = gf_destinationPoint(end, 135 * kDegToRad, 0.06 * kFeetPerNm);
  oblique.situations.insert(oblique.situations.begin() + 1, situation(back.lat, back.lon, 0, 8, cycle() + 1000, false));
  lf_pullOut(oblique);
  EXPECT_EQ(oblique.situations.size(), 3u);
  // A position ahead of the way out's end, if off to the side (70 degrees), is kept.
  gf_resetEngine();
  LiveAc& aside = standing(0, 0.2, 1302);
  aside.pullOutPending = 1;
  const LatLon target = gf_destinationPoint(kStand, 0, 0.02 * kFeetPerNm);
  const LatLon p = gf_destinationPoint(target, 70 * kDegToRad, 0.045 * kFeetPerNm);
  aside.situations.insert(aside.situations.begin() + 1, situation(p.lat, p.lon, 0, 8, cycle() + 1000, false));
  lf_pullOut(aside);
  ASSERT_EQ(aside.situations.size(), 4u);
  EXPECT_NEAR(gf_distanceNm(target, at(aside.situations[2])), 0.045, 1e-9);
}

// A next position behind the aircraft: first a position out to the side of it, four half spans
// across and two ahead, at 5 kt at least, due halfway.
TEST_F(LeavingStand, TurningRoundGoesOutToTheSideFirst) {
  LiveAc& ac = standing(200, 0.1);
  ac.setPhase(GroundPhase::Taxi);
  ac.situations[0].speed = 2;
  ac.situations[1].speed = 3;
  ac.situations[0].due = 1000;
  ac.situations[1].due = 2001;
  lf_insertTurnRound(ac);
  ASSERT_EQ(ac.situations.size(), 3u);
  const Situation& out = ac.situations[1];
  const LatLon ahead = gf_destinationPoint(kStand, 0, 0.02 * kFeetPerNm);
  EXPECT_NEAR(gf_distanceNm(ahead, at(out)), 0.04, 1e-9);
  EXPECT_NEAR(gf_bearingRad(ahead, at(out)) * kRadToDeg, 270, 0.01);
  EXPECT_DOUBLE_EQ(out.speed, 5);
  EXPECT_EQ(out.due, 1500);
  EXPECT_EQ(ac.turnedRound, 1u);
}

}  // namespace
}  // namespace amb
