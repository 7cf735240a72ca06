// An aircraft behind its records, one whose feed has fallen silent, and a slow helicopter turning
// round: a late aeroplane heads for where its records have it now rather than for each position it is
// late for; a silence longer than the feed's longest repeat ends the stream of an aircraft flying on
// by itself, but not of an arrival; a slow helicopter yaws before it moves off.

#include "engine_fixture.hpp"

#include <algorithm>
#include <cmath>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

constexpr double kMetresPerDegree = 111132.95;
const LatLon kPark{40.639751, -73.778925};  // the harness's park airport, 13 ft
constexpr LatLon kFrom{40.70, -73.90};

double lf_metres(const LatLon& a, double lat, double lon) {
  const double north = (lat - a.lat) * kMetresPerDegree;
  const double east = (lon - a.lon) * kMetresPerDegree * std::cos(a.lat * kDegToRad);
  return std::hypot(north, east);
}

class LateAndSilent : public EngineTest {
protected:
  // An aircraft of the category in the simulator at kFrom, 5,000 ft, heading east at `speedKt`; its
  // front situation due `dueCycles` from now.
  LiveAc& flying(std::uint32_t objectId, int category, double speedKt, std::int32_t dueCycles = 0) {
    sim().addObject(objectId, 11990000 + objectId, {});
    LiveAc& ac = addInSim(11990000 + objectId, objectId, situation(kFrom.lat, kFrom.lon, 5000, speedKt, cycle() + dueCycles));
    ac.category = category;
    ac.position.heading = kPi / 2;
    ac.heightAboveGround = 5000;
    return ac;
  }
  // Appends a situation `nm` from the last one along `bearingDeg`, due `cycles` after the last one.
  static Situation& then(LiveAc& ac, double bearingDeg, double nm, std::int32_t cycles) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, bearingDeg * kDegToRad, nm * kFeetPerNm);
    ac.situations.push_back(situation(to.lat, to.lon, 5000, last.speed, last.due + cycles));
    return ac.situations.back();
  }
};

// At 120 kt (1.5 nm in 45 s) the records go 1.5 nm east to a corner, then north. The aircraft is 60 s
// late: its records have it 0.5 nm past the corner already. An aeroplane leaves the leg to the corner
// at once and heads for the track ahead of where its records have it, passing the corner well inside
// (its first aim, 4 km along the track, 1.2 km past the corner, puts its line 1.1 km from it); a
// helicopter flies to the corner first, rounding it within a few hundred metres as an aeroplane on
// time does.
TEST_F(LateAndSilent, ALateAeroplaneHeadsForWhereItsRecordsHaveItNow) {
  struct Case {
    const char* what;
    int category;
    std::int32_t lateCycles;
    bool leavesTheCorner;
    double nearestLeast, nearestMost;  // metres from the corner
  };
  const std::vector<Case> cases{
      {"a late aeroplane", Large, 6000, true, 500, 1e9},
      {"a late helicopter", Rotorcraft, 6000, false, 0, 300},
      {"an aeroplane on time", Large, 0, false, 0, 300},
  };
  std::uint32_t objectId = 750;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = flying(++objectId, c.category, 120, -c.lateCycles);
    const Situation corner = then(ac, 90, 1.5, 4500);
    then(ac, 0, 1.5, 4500);
    then(ac, 0, 1.5, 4500);
    double nearest = 1e9;
    sim().onPosition = [&](std::int32_t, const enginesim::SimObject& o, const AiPosBlock& b) {
      if (o.id == objectId) nearest = std::min(nearest, lf_metres({corner.latitude, corner.longitude}, b.latitude, b.longitude));
    };
    run(10);
    const LiveAc* flown = lf_findLiveByHexid(11990000 + objectId);
    ASSERT_NE(flown, nullptr);
    EXPECT_EQ(flown->situations.front().latitude != corner.latitude, c.leavesTheCorner);
    run(9000);
    EXPECT_GE(nearest, c.nearestLeast);
    EXPECT_LE(nearest, c.nearestMost);
  }
}

// The feed repeats a position for up to a minute before it moves on. An aircraft flying synthetic
// legs through a silence gets another only while the feed had it somewhere new no more than 6,000
// cycles ago; in landing mode, or coming in to land (descending 700 ft/min 800 ft above the ground
// 3 nm south of the park airport), it goes on down whatever the silence, while it heads for the
// field (within 90 degrees of its nose): flying away from it, it would come down miles from any
// runway, and its stream ends as any other.
TEST_F(LateAndSilent, ASilenceLongerThanTheLongestRepeatEndsTheStream) {
  struct Case {
    const char* what;
    std::int32_t sinceMoved;
    int extensionsLeft;
    bool landing, comingIn, extended;
    double headingDeg = 0;
  };
  const std::vector<Case> cases{
      {"moved on 5,999 cycles ago", 5999, 0, false, false, true},
      {"moved on 6,001 cycles ago", 6001, 0, false, false, false},
      {"5 synthetic legs left, moved on 5,999 cycles ago", 5999, 5, false, false, true},
      {"5 synthetic legs left, moved on 6,001 cycles ago", 6001, 5, false, false, false},
      {"in landing mode, moved on 6,001 cycles ago", 6001, 5, true, false, true},
      {"coming in to land, moved on 6,001 cycles ago", 6001, 5, false, true, true},
      {"in landing mode, the field 80 degrees off the nose", 6001, 5, true, false, true, 80},
      {"in landing mode, the field 100 degrees off the nose", 6001, 5, true, false, false, 100},
      {"descending low, flying away from the field", 6001, 5, false, true, false, 180},
      {"descending low, flying away from the field, moved on 5,999 cycles ago", 5999, 5, false, true, true, 180},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    Situation at = situation(kPark.lat - 0.05, kPark.lon, c.comingIn ? 813 : 5000, 200, 4000);
    at.verticalSpeed = c.comingIn ? -700 : 0;
    LiveAc& ac = addInSim(11990100, 760, at);
    ac.heightAboveGround = c.comingIn ? 800 : 5000;
    ac.landingMode = c.landing ? 1 : 0;
    ac.position.heading = c.headingDeg * kDegToRad;
    ac.extensionCount = c.extensionsLeft;
    ac.lastMoveCycle = cycle() - c.sinceMoved;
    EXPECT_EQ(lf_extendStream(ac), c.extended);
  }
}

// Through the engine: records every 10 s, the last one taken at cycle 3000 and due at 6000, then
// silence. The aircraft flies on along its last track in legs of 8 s (a little less as they slow)
// from 6000, and leaves as soon as the feed has not moved it for a minute (cycle 9000), in the middle
// of the leg it flies then, not at that leg's end, nor after the eight legs a stream may otherwise get
// (about cycle 12200). While a position the feed moved it to is held for the next record to decide
// on, the feed has moved on: the aircraft flies on to its leg's end.
TEST_F(LateAndSilent, AnAircraftFlyingOnThroughASilenceGoesAfterAMinute) {
  Line alone;
  alone.hexid = 11990200;
  alone.callsign = "SIL1";
  alone.reg = "N201SL";
  Line held = alone;  // the same stream 10 nm north; a position is held for it at cycle 9000
  held.hexid = 11990201;
  held.callsign = "SIL2";
  held.reg = "N202SL";
  held.lat += 10.0 / 60;
  for (int i = 0; i < 4; ++i) {
    feed(alone);
    feed(held);
    run(1000);
    alone = alone.after(10);
    held = held.after(10);
  }
  run(9000 - cycle());
  for (const std::uint32_t hexid : {alone.hexid, held.hexid}) {
    LiveAc* ac = lf_findLiveByHexid(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_EQ(ac->state, ActState::InSim);
    ASSERT_NE(ac->situations.front().extension, 0);
    ASSERT_GT(ac->situations.front().due, 9010);  // the leg it flies ends later
  }
  LiveAc* ac = lf_findLiveByHexid(held.hexid);
  Situation aside = ac->situations.front();
  aside.latitude += 0.05;
  ac->heldRecord = LiveAc::HeldRecord{{}, aside, 0.0, false};
  run(3);
  ac = lf_findLiveByHexid(alone.hexid);
  EXPECT_TRUE(ac == nullptr || ac->state == ActState::Removing);
  ac = lf_findLiveByHexid(held.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->state, ActState::InSim);
}

// A helicopter at 40 kt (20.6 m/s, 0.206 m a cycle) whose next position lies east: it moves at its
// speed times the cosine of the angle between its nose and the course it aims for, and not at all
// with its nose 90 degrees or more off it; its nose yaws toward the course at 30 degrees a second.
TEST_F(LateAndSilent, ASlowHelicopterYawsBeforeItMovesOff) {
  for (const double noseDeg : {90.0, 60.0, 30.0, 0.0, 300.0}) {
    SCOPED_TRACE(noseDeg);
    gf_resetEngine();
    LiveAc& ac = flying(770, Rotorcraft, 40);
    ac.position.heading = noseDeg * kDegToRad;
    then(ac, 90, 40 * 30 / 3600.0, 3000);
    run(1);
    const double off = std::min(std::fabs(noseDeg - 90), 360 - std::fabs(noseDeg - 90));
    const double expected = off >= 90 ? 0.0 : 40 * 1852.0 / 3600 / 100 * std::cos(off * kDegToRad);
    EXPECT_NEAR(lf_metres(kFrom, ac.position.latitude, ac.position.longitude), expected, 0.005);
    EXPECT_NEAR(gf_angleDiff(noseDeg * kDegToRad, ac.position.heading) * kRadToDeg, off > 0 ? 0.3 : 0.0, 0.01);
  }
}

}  // namespace
}  // namespace amb
