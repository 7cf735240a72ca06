// A taxi leg: how its turn is flown (a curve, a lead-in along the nose, turning round, backing up a
// few metres) and how its time and turn rate fit the turn.

#include "engine_fixture.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kAt{40.6413, -73.7781};
const double kTurnPerCycle = 0.07 * kDegToRad;

class Taxi : public EngineTest {
protected:
  // A taxiing aircraft at kAt, nose north, at `speed` kt, its front due now.
  LiveAc& taxiing(double speed = 10, std::uint32_t objectId = 1400) {
    LiveAc& ac = addInSim(11980000 + objectId, objectId, situation(kAt.lat, kAt.lon, 0, speed, cycle(), false));
    ac.position.heading = 0;
    ac.turnPerCycle() = kTurnPerCycle;
    ac.setPhase(GroundPhase::Taxi);
    ac.earlyWindow = ac.lateWindow = 1000;
    return ac;
  }
  // Appends a position `nm` from the last one (or from `from`) on `bearingDeg`, due `cycles` from now.
  Situation& then(LiveAc& ac, double bearingDeg, double nm, double speed, std::int32_t cycles) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, bearingDeg * kDegToRad, nm * kFeetPerNm);
    ac.situations.push_back(situation(to.lat, to.lon, 0, speed, cycle() + cycles, false));
    return ac.situations.back();
  }
};

// The leg's turn rate fits its time: 0.1 nm at 10 kt take 3600 cycles. A turn of 45 degrees or less
// is slowed by the least of the ratio of the leg's cycles to the turn's (in hundreds), ten times it
// over the angle and thirty times it over the leg's metres (by the ratio alone when below 1.2); a
// larger turn is sped up by the ratio, at most a thirtieth of the angle (90 at most). The rate never
// falls below what turns 1.5 times the angle in the leg's time, and a turn of 90 degrees or more
// opens both windows to 2000 cycles.
TEST_F(Taxi, TheTurnRateFitsTheLeg) {
  struct Case {
    double angle, nm;
    double turnStep;  // radians a cycle
    std::int32_t window;
  };
  // 0.07 degrees a cycle is 0.00122173 rad: a 30-degree turn takes round(30 / 0.00122173 / 100) = 246
  // hundreds, 44 degrees 360, 60 degrees 491, 90 degrees 737, 10 degrees 82.
  const std::vector<Case> cases{
      {30, 0.1, kTurnPerCycle / ((3600.0 / 246) * 30 / 185.2), 1000},
      {30, 0.01, kTurnPerCycle / ((360.0 / 246) * 10 / 30), 1000},
      {30, 303.0 / 36000, kTurnPerCycle / ((303.0 / 246) * 10 / 30), 1000},  // a ratio of 1.23
      {30, 288.0 / 36000, 1.5 * 30 * kDegToRad / 288, 1000},                 // 1.17: by the ratio alone
      {44, 0.1, kTurnPerCycle / ((3600.0 / 360) * 30 / 185.2), 1000},
      {46, 0.1, kTurnPerCycle * 46 / 30, 1000},
      {60, 0.1, kTurnPerCycle * 2, 1000},
      {60, 0.025, kTurnPerCycle * (900.0 / 491), 1000},
      {88, 0.1, kTurnPerCycle * 88 / 30, 1000},
      {90, 0.1, kTurnPerCycle * 3, 2000},
      {10, 0.002, 1.5 * 10 * kDegToRad / 72, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(fmt::format("{} degrees over {} nm", c.angle, c.nm));
    gf_resetEngine();
    LiveAc& ac = taxiing();
    const std::int32_t cycles = static_cast<std::int32_t>(std::round(c.nm * 360000 / 10));
    then(ac, 0, c.nm, 10, cycles);
    ac.turning = 1;
    ac.remainingTurn = c.angle;
    adjustTimeGround(ac);
    EXPECT_EQ(ac.second().due, cycle() + std::max(25, cycles));
    EXPECT_NEAR(ac.turnStep(), c.turnStep, 1e-12);
    EXPECT_EQ(ac.earlyWindow, c.window);
    EXPECT_EQ(ac.lateWindow, c.window);
  }
  // An aircraft far behind its stream catches up no faster than twice the leg's speed: the windows
  // would hold it to 1001 cycles, 0.1 nm at 20 kt take 1800.
  gf_resetEngine();
  LiveAc& late = taxiing();
  then(late, 0, 0.1, 10, 1);
  adjustTimeGround(late);
  EXPECT_EQ(late.second().due, cycle() + 1800);
}

// Beyond 3 degrees of turn at the next position and up to 160, a curve; on a long slow leg (more than
// 50 m, at most 43 kt, 600 cycles or more) with a turn beyond 45 degrees, first a midpoint. The nose
// more than 10 degrees off the leg: a lead-in along the nose.
TEST_F(Taxi, CornersAreCurvedOrApproachedStraightFirst) {
  struct Case {
    const char* what;
    double noseDeg, nm, speed, turnDeg;
    std::int32_t cycles;
    bool curve, midpoint;
  };
  const std::vector<Case> cases{
      {"a 40-degree corner", 0, 0.02, 10, 40, 500, true, false},
      {"a 50-degree corner on a long slow leg", 0, 0.03, 10, 50, 600, false, true},
      {"44 kt", 0, 0.03, 44, 50, 600, true, false},
      {"599 cycles", 0, 0.03, 10, 50, 599, true, false},
      {"0.026 nm", 0, 0.026, 10, 50, 600, true, false},
      {"a 44-degree corner", 0, 0.03, 10, 44, 600, true, false},
      {"a 46-degree corner", 0, 0.03, 10, 46, 600, false, true},
      {"43 kt", 0, 0.03, 43, 50, 600, false, true},
      {"0.0265 nm", 0, 0.0265, 10, 50, 600, true, false},
      {"0.0275 nm", 0, 0.0275, 10, 50, 600, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = taxiing(c.speed);
    ac.position.heading = c.noseDeg * kDegToRad;
    then(ac, 0, c.nm, c.speed, c.cycles);
    then(ac, c.turnDeg, 0.05, c.speed, c.cycles + 1000);
    nextPosGround(ac);
    EXPECT_EQ(ac.curve.isSet(), c.curve);
    EXPECT_EQ(ac.situations.size(), c.midpoint ? 4u : c.curve ? 2u : 3u);
  }
}

// A taxiing aircraft with nothing ahead stands: no turn, no curve.
TEST_F(Taxi, NothingAheadNothingToTurnTo) {
  LiveAc& ac = taxiing();
  ac.turning = 1;
  ac.remainingTurn = 30;
  nextPosGround(ac);
  EXPECT_EQ(ac.situations.size(), 1u);
  EXPECT_EQ(ac.turning, 0u);
  EXPECT_EQ(ac.remainingTurn, 0);
  EXPECT_FALSE(ac.curve.isSet());
}

// A stream that comes back to the front's own position after the corner has no corner to round.
TEST_F(Taxi, AStreamBackToWhereItWasHasNoCorner) {
  LiveAc& ac = taxiing();
  const LatLon here = gf_destinationPoint(kAt, kPi / 2, 0.02 * kFeetPerNm);
  ac.position.latitude = here.lat;
  ac.position.longitude = here.lon;
  const Situation& corner = then(ac, 0, 0.02, 10, 500);
  ac.position.heading = gf_bearingRad(here, {corner.latitude, corner.longitude});
  ac.situations.push_back(ac.situations.front());
  ac.situations.back().due = cycle() + 2000;
  ASSERT_LE(std::fabs(lf_turnToNextLeg(ac)) * kRadToDeg, 160);
  nextPosGround(ac);
  EXPECT_FALSE(ac.curve.isSet());
}

// A next position behind: from 150 degrees off the nose the aircraft turns round, out to the side
// first; from 160 degrees, within 60 m and at 15 kt or less, it backs up straight instead.
TEST_F(Taxi, APositionBehindIsReachedByTurningRoundOrBackingUp) {
  struct Case {
    double offDeg, nm, speed;
    bool backs, turnsRound;
  };
  for (const Case& c : std::vector<Case>{{161, 0.03, 10, true, false},
                                         {159, 0.03, 10, false, true},
                                         {161, 0.0335, 10, false, true},
                                         {161, 0.0315, 10, true, false},
                                         {161, 0.03, 16, false, true},
                                         {161, 0.03, 15, true, false},
                                         {151, 0.1, 10, false, true},
                                         {149, 0.1, 10, false, false}}) {
    SCOPED_TRACE(fmt::format("{} degrees, {} nm, {} kt", c.offDeg, c.nm, c.speed));
    gf_resetEngine();
    LiveAc& ac = taxiing(c.speed);
    then(ac, c.offDeg, c.nm, c.speed, 5000);
    nextPosGround(ac);
    EXPECT_EQ(ac.backing, c.backs ? 1u : 0u);
    EXPECT_EQ(ac.situations.size(), c.turnsRound ? 3u : 2u);
  }
}

// Rolling faster than 20 kt, a position behind the wings with more to come is the feed's scatter: it
// is passed over, and so is one that turns back at the next corner; with nothing after it, the
// aircraft stops where it is. At 20 kt it still turns round (the recording's AAL95 looped at 30-40 kt
// between the feed's sources).
TEST_F(Taxi, RollingFastAPositionBehindIsPassedOver) {
  struct Case {
    const char* what;
    double speed, firstDeg, firstNm, secondDeg;
    int more;  // positions after the first
    int passedOver;  // 1: the first position, 2: the second, 0: none
    bool turnsRound, stops;
  };
  for (const Case& c : std::vector<Case>{{"21 kt, 91 degrees off", 21, 91, 0.03, 0, 2, 1, false, false},
                                         {"21 kt, 91 degrees off, one after it", 21, 91, 0.03, 0, 1, 1, false, false},
                                         {"21 kt, 89 degrees off", 21, 89, 0.03, 0, 2, 0, false, false},
                                         {"20 kt, 161 degrees off", 20, 161, 0.03, 0, 2, 0, true, false},
                                         {"21 kt, the next corner 91 degrees off", 21, 0, 0.1, 91, 2, 2, false, false},
                                         {"21 kt, the last corner 91 degrees off", 21, 0, 0.1, 91, 1, 0, false, false},
                                         {"21 kt, the next corner 89 degrees off", 21, 0, 0.1, 89, 2, 0, false, false},
                                         {"21 kt, behind and nothing after it", 21, 161, 0.03, 0, 0, 0, false, true}}) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = taxiing(c.speed);
    std::vector<LatLon> given{{then(ac, c.firstDeg, c.firstNm, c.speed, 3000).latitude, ac.situations.back().longitude}};
    if (c.more >= 1) {
      then(ac, c.secondDeg, 0.1, c.speed, 4000);
      given.push_back({ac.situations.back().latitude, ac.situations.back().longitude});
    }
    if (c.more >= 2) then(ac, 0, 0.1, c.speed, 5000);
    nextPosGround(ac);
    for (std::size_t k = 0; k < given.size(); ++k) {
      const bool kept = std::any_of(ac.situations.begin(), ac.situations.end(), [&](const Situation& s) {
        return s.latitude == given[k].lat && s.longitude == given[k].lon;
      });
      EXPECT_EQ(kept, c.passedOver != static_cast<int>(k) + 1 && !c.stops) << k;
    }
    EXPECT_EQ(ac.turnedRound, c.turnsRound ? 1u : 0u);
    EXPECT_EQ(ac.situations[1].noMovement, c.stops ? 1u : 0u);
    if (c.stops) {
      EXPECT_EQ(ac.situations[1].latitude, kAt.lat);
      EXPECT_EQ(ac.situations[1].longitude, kAt.lon);
    }
  }
}

// With the nose within 10 degrees of the leg the aircraft turns toward it on the way (more than 3
// degrees off); beyond, the leg starts along the nose on a curve whose middle point lies a quarter
// of the way ahead.
TEST_F(Taxi, ANoseOffTheLegLeadsIn) {
  struct Case {
    double offDeg;
    bool curve, turning;
  };
  for (const Case& c :
       std::vector<Case>{{2.9, false, false}, {3.1, false, true}, {9.9, false, true}, {10.1, true, false}}) {
    SCOPED_TRACE(c.offDeg);
    gf_resetEngine();
    LiveAc& ac = taxiing();
    then(ac, c.offDeg, 0.1, 10, 3600);
    nextPosGround(ac);
    EXPECT_EQ(ac.curve.isSet(), c.curve);
    EXPECT_EQ(ac.turning, c.turning ? 1u : 0u);
    if (c.turning) {
      EXPECT_NEAR(ac.remainingTurn, c.offDeg, 1e-6);
    }
  }
  gf_resetEngine();
  LiveAc& ac = taxiing();
  const LatLon end = gf_destinationPoint(kAt, 30 * kDegToRad, 0.1 * kFeetPerNm);
  ASSERT_TRUE(lf_startLeadInCurve(ac, end));
  EXPECT_NEAR(ac.curve.middleNorth, 0.025 * 1852, 0.01);
  EXPECT_NEAR(ac.curve.middleEast, 0, 1e-6);
  // Less than a metre away there is no curve to fly.
  const LatLon close = gf_destinationPoint(kAt, 30 * kDegToRad, 0.9 / 0.3048);
  EXPECT_FALSE(lf_startLeadInCurve(ac, close));
}

// With the nose off the leg, the curve leaves along the nose and reaches the next position along the
// leg after it, where that leg exists: here the lines meet 43.3 m ahead.
TEST_F(Taxi, ALeadInReachesTheNextPositionAlongTheLegAfterIt) {
  for (const bool legAfter : {true, false}) {
    SCOPED_TRACE(legAfter);
    gf_resetEngine();
    LiveAc& ac = taxiing();
    then(ac, 30, 50 / 1852.0, 10, 1000);
    if (legAfter) then(ac, 90, 0.05, 10, 3000);
    nextPosGround(ac);
    ASSERT_TRUE(ac.curve.isSet());
    EXPECT_NEAR(ac.curve.middleEast, 0, 1e-6);
    EXPECT_NEAR(ac.curve.middleNorth, legAfter ? 43.30 : 12.5, 0.01);
    if (legAfter) {
      EXPECT_NEAR(ac.curveAngle, 90, 1e-6);
    }
  }
}

}  // namespace
}  // namespace amb
