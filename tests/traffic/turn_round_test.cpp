// An aircraft whose way turns faster than its nose can follow: where its reported track turns back
// on itself it turns round before it sets off back, in a corner too sharp for its speed it slows,
// and what it falls behind it makes up at no more than its catch-up speed, its next leg waiting
// until it is at the end of the one it flies.

#include "engine_fixture.hpp"

#include "traffic/air_path.hpp"

#include <algorithm>
#include <cmath>

namespace amb {
namespace {

using test::EngineTest;

constexpr double kMetresPerDegree = 111132.95;
constexpr double kKnotsPerMetrePerCycle = 100 * 3600.0 / 1852.0;

struct Flown {
  std::int32_t cycle;
  AiPosBlock block;
};

struct Offset {
  double north, east;
};
Offset lf_offset(const AiPosBlock& from, const AiPosBlock& to) {
  return {(to.latitude - from.latitude) * kMetresPerDegree,
          (to.longitude - from.longitude) * kMetresPerDegree * std::cos(from.latitude * kDegToRad)};
}
double lf_metres(const AiPosBlock& b, const Situation& s) {
  AiPosBlock at;
  at.latitude = s.latitude;
  at.longitude = s.longitude;
  const Offset o = lf_offset(b, at);
  return std::hypot(o.north, o.east);
}

// What one cycle to the next shows: the speed flown, the course flown, the nose's turn.
struct Cycle {
  double knots = 0;
  double courseOffNoseDeg = 0;  // 0 while it stands
  double noseTurnDeg = 0;
};
Cycle lf_between(const Flown& a, const Flown& b) {
  Cycle c;
  const Offset d = lf_offset(a.block, b.block);
  const double metres = std::hypot(d.north, d.east);
  c.knots = metres * kKnotsPerMetrePerCycle;
  if (metres > 1e-6) {
    double course = std::atan2(d.east, d.north);
    if (course < 0) course += kTwoPi;
    c.courseOffNoseDeg = std::fabs(gf_angleDiff(b.block.heading, course)) * kRadToDeg;
  }
  c.noseTurnDeg = std::fabs(gf_angleDiff(a.block.heading, b.block.heading)) * kRadToDeg;
  return c;
}

class TurnRound : public EngineTest {
protected:
  static constexpr LatLon kFrom{40.70, -73.90};

  // An A321 (10 degrees a second) in the simulator heading east at 180 kt, its front due now.
  LiveAc& flying() {
    sim().addObject(700, 11760001, {});
    LiveAc& ac = addInSim(11760001, 700, situation(kFrom.lat, kFrom.lon, 5000, 180, cycle()));
    ac.position.heading = kPi / 2;
    ac.heightAboveGround = 5000;
    return ac;
  }
  // Appends a situation `nm` from the last one on `bearingDeg`, due `cycles` after the last one.
  Situation& then(LiveAc& ac, double bearingDeg, double nm, std::int32_t cycles, double altitude = 5000) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, bearingDeg * kDegToRad, nm * kFeetPerNm);
    ac.situations.push_back(situation(to.lat, to.lon, altitude, 180, last.due + cycles));
    return ac.situations.back();
  }
  std::vector<Flown> runTo(std::int32_t until) {
    std::vector<Flown> track;
    sim().onPosition = [&](std::int32_t c, const enginesim::SimObject&, const AiPosBlock& b) { track.push_back({c, b}); };
    run(until - cycle());
    sim().onPosition = nullptr;
    return track;
  }
};

// The track goes 1.5 nm east, then straight back west 1.5 nm (both legs 30 s at 180 kt), then on
// west. No curve turns a course round: at the corner the A321 stops and turns its nose at its
// 10 degrees a second until the course back lies within 30 degrees of it (and the tenth of a degree
// it turns in a cycle), 149.9 degrees, 1499 cycles; only then it sets off, at 180 kt and what it is
// behind, at no more than 0.99 x (1.3 x 180 + 30) = 261.36 kt. The leg back ends when it reaches its
// end (1.5 nm at 261.36 kt: 2067 cycles after it set off, 566 after the leg's due time), where the
// next leg begins. Its descent of 1000 ft on the way back has ended with the leg's time: it comes to
// the corner at 4000 ft, not below.
TEST_F(TurnRound, ATrackThatTurnsBackOnItselfIsFlownBackAfterTheAircraftTurnsRound) {
  LiveAc& ac = flying();
  const Situation corner = then(ac, 90, 1.5, 3000);
  const Situation back = then(ac, 270, 1.5, 3000, 4000);
  then(ac, 270, 2.0, 4000, 4000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 3000 + 4000);
  ASSERT_GT(track.size(), 6000u);

  std::size_t standing = 0;
  std::int32_t setOff = -1;
  double worstOffNose = 0, fastestTurn = 0, fastest = 0, lowest = 1e9;
  std::int32_t atBack = -1;
  for (std::size_t i = 1; i < track.size(); ++i) {
    const Cycle c = lf_between(track[i - 1], track[i]);
    const std::int32_t at = track[i].cycle;
    fastestTurn = std::max(fastestTurn, c.noseTurnDeg);
    fastest = std::max(fastest, c.knots);
    if (c.knots > 1e-6) worstOffNose = std::max(worstOffNose, c.courseOffNoseDeg);
    if (at > start + 3000 && c.knots < 1e-6) {
      ++standing;
      EXPECT_LT(lf_metres(track[i].block, corner), 0.5) << "standing at " << at;
    }
    if (at > start + 3000 && setOff < 0 && c.knots > 1e-6) setOff = at;
    if (setOff > 0) lowest = std::min(lowest, track[i].block.altitude);
    if (atBack < 0 && lf_metres(track[i].block, back) < 0.5) atBack = at;
  }
  EXPECT_NEAR(static_cast<double>(standing), 1499, 2);
  EXPECT_LE(worstOffNose, 30.1 + 1e-6);
  EXPECT_LE(fastestTurn, 0.1 + 1e-9);
  EXPECT_NEAR(fastest, 261.36, 0.05);
  // It passes the end of the leg back, late by what it lost turning round.
  ASSERT_GT(atBack, 0);
  EXPECT_NEAR(atBack - setOff, 2067, 3);
  EXPECT_GE(lowest, 4000 - 1e-6);
  EXPECT_LT(lowest, 4000 + 1);
}

// A corner of 150 degrees at 180 kt whose next leg is 0.2 nm long: its curve, cut to half of that
// leg, turns faster than the A321's nose could follow. The aircraft slows along it, its course never
// more than 30 degrees (and a cycle's turn) off its nose, and never flies faster than its catch-up
// speed to make up the time.
TEST_F(TurnRound, ACornerTooSharpForTheSpeedIsFlownSlowerWithTheNoseOnTheWay) {
  LiveAc& ac = flying();
  then(ac, 90, 1.5, 3000);
  then(ac, 90 + 150, 0.2, 400);
  then(ac, 90 + 150, 2.0, 4000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 3000 + 6000);
  double worstOffNose = 0, fastest = 0, slowest = 1e9;
  for (std::size_t i = 1; i < track.size(); ++i) {
    const Cycle c = lf_between(track[i - 1], track[i]);
    if (c.knots > 1e-6) worstOffNose = std::max(worstOffNose, c.courseOffNoseDeg);
    fastest = std::max(fastest, c.knots);
    if (track[i].cycle > start + 2000 && track[i].cycle < start + 3400) slowest = std::min(slowest, c.knots);
  }
  EXPECT_LE(worstOffNose, 30.1 + 1e-6);
  EXPECT_LT(slowest, 170.0);
  EXPECT_LE(fastest, 261.36 + 0.05);
}

// Until it is at the end of the leg it flies, the aircraft keeps its front situation: the next leg
// does not begin at the front's due time.
TEST_F(TurnRound, TheNextLegWaitsUntilTheAircraftIsAtTheEndOfItsLeg) {
  LiveAc& ac = flying();
  then(ac, 90, 1.5, 3000);
  const Situation back = then(ac, 270, 1.5, 3000);
  then(ac, 270, 2.0, 4000);
  const std::int32_t start = cycle();
  run(3000 + 3000 + 100);
  const LiveAc& now = *lf_findLiveByObjectId(700);
  ASSERT_FALSE(now.situations.empty());
  // 100 cycles after its due time the leg back is not over: its end is still the front.
  EXPECT_EQ(now.situations.front().latitude, back.latitude);
  EXPECT_EQ(now.situations.front().longitude, back.longitude);
  EXPECT_TRUE(lf_stillOnAirPath(now));
  EXPECT_EQ(cycle(), start + 6100);
}

// Taking off or flaring the aircraft is not held back: it rolls, lifts off and lands on its way.
TEST_F(TurnRound, NothingIsHeldInTheFlare) {
  LiveAc& ac = flying();
  ac.position.heading = 0;  // north, the leg east
  ac.flareStage = 1;
  ac.landingMode = 1;
  ac.heightAboveGround = 20;
  then(ac, 90, 0.5, 1000, 4990);
  run(2);
  EXPECT_GT(lf_findLiveByObjectId(700)->position.longitude, kFrom.lon);
}

// A respawned aircraft is created afresh: nothing of the path its old object flew is left.
TEST_F(TurnRound, ASpawnStartsWithoutAPathInTheAir) {
  LiveAc& ac = addLive(11760002, "A321", situation(kFrom.lat, kFrom.lon, 5000, 180, cycle()));
  ac.situations.push_back(situation(kFrom.lat, kFrom.lon + 0.01, 5000, 180, cycle() + 1000));
  ac.airPath.count = 1;
  ac.airPath.behindMetres = 500;
  spawnLiveAc(ac);
  EXPECT_EQ(ac.state, ActState::Creating);
  EXPECT_EQ(ac.airPath.count, 0);
  EXPECT_EQ(ac.airPath.behindMetres, 0.0);
  EXPECT_FALSE(lf_stillOnAirPath(ac));
}

}  // namespace
}  // namespace amb
