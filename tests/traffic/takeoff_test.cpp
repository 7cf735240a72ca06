// The start of the take-off roll by the kind of aircraft, the climb it starts with, and the roll-out
// after a landing.

#include "engine_fixture.hpp"

namespace amb {
namespace {

using test::EngineTest;

const LatLon kRunway{40.6413, -73.7781};

class TakeOff : public EngineTest {
protected:
  // An aircraft rolling at `speed` kt with its take-off pending, heading north; its front is not due.
  LiveAc& rolling(double speed, int category, std::uint32_t objectId) {
    LiveAc& ac =
        addInSim(11960000 + objectId, objectId, situation(kRunway.lat, kRunway.lon, 0, speed, cycle() + 100000, false));
    ac.category = category;
    ac.takeOffPending = 1;
    ac.position.heading = 0;
    ac.altitudeStep = -7;  // a mark: no climb set
    return ac;
  }
  Situation& then(LiveAc& ac, double feet, double altitude, double speed, std::int32_t cycles, bool airborne) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, 0, feet);
    ac.situations.push_back(situation(to.lat, to.lon, altitude, speed, cycle() + cycles, airborne));
    return ac.situations.back();
  }
};

// Rolling at 43 kt with every later position airborne at the take-off speed of the aircraft's kind
// (Light 90, Buzjets 110, Large 140, Heavy 150, HighPerf 220 kt, helicopters any), it climbs from the
// start at its greatest rate; a knot slower, it does not.
TEST_F(TakeOff, EachKindLiftsOffAtItsOwnSpeed) {
  std::uint32_t objectId = 1200;
  for (const auto& [category, speed] :
       {std::pair{Light, 90.0}, std::pair{Buzjets, 110.0}, std::pair{Large, 140.0}, std::pair{Heavy, 150.0},
        std::pair{HighPerf, 220.0}, std::pair{Rotorcraft, 1.0}}) {
    for (const double less : {0.0, 1.0}) {
      SCOPED_TRACE(fmt::format("category {} at {} kt", category, speed - less));
      gf_resetEngine();
      LiveAc& ac = rolling(43, category, ++objectId);
      then(ac, 2000, 200, speed - less, 1000, true);
      then(ac, 4000, 400, speed - less, 2000, true);
      lf_planGroundLeg(ac, ac.second());
      EXPECT_EQ(ac.phase, GroundPhase::TakeOffRoll);
      if (less == 0 || category == Rotorcraft) {
        EXPECT_DOUBLE_EQ(ac.altitudeStep, ac.maxClimbPerCycle());
      } else {
        EXPECT_DOUBLE_EQ(ac.altitudeStep, -7);
      }
    }
  }
  EXPECT_DOUBLE_EQ(gf_takeOffSpeed(6), 0);
  EXPECT_DOUBLE_EQ(gf_takeOffSpeed(-1), 0);
}

// With every later position climbing faster than 256 ft/min and airborne, the roll climbs toward the
// next position's altitude by its due time, by 0.1 ft at least.
TEST_F(TakeOff, AClimbingDepartureClimbsTowardItsNextAltitude) {
  for (const auto& [above, step] : {std::pair{50.0, 50.0 / 1000}, std::pair{0.0, 0.1 / 1000}}) {
    SCOPED_TRACE(above);
    gf_resetEngine();
    LiveAc& ac = rolling(60, Large, 1220);
    ac.position.altitude = 13;
    then(ac, 2000, 13 + above, 100, 1000, true).verticalSpeed = 300;
    then(ac, 4000, 500, 150, 2000, true).verticalSpeed = 300;
    lf_planGroundLeg(ac, ac.second());
    EXPECT_NEAR(ac.altitudeStep, step, 1e-12);
  }
}

// Rolling out on the runway (less than 15 degrees off the touchdown heading) at 90 kt or less:
// spoilers in and take-off flaps; faster nothing changes. Turned off the runway: flaps up, idle, the
// taxi lights, and the landing is over.
TEST_F(TakeOff, TheRollOutCleansUpAt90KnotsAndOffTheRunway) {
  struct Case {
    double speed, offDeg;
    std::uint32_t flaps;
    bool landed;
  };
  std::uint32_t objectId = 1230;
  for (const Case& c : std::vector<Case>{{90, 14.9, 1, true}, {91, 14.9, 3, true}, {91, 15.1, 0, false}}) {
    SCOPED_TRACE(fmt::format("{} kt, {} degrees off", c.speed, c.offDeg));
    gf_resetEngine();
    LiveAc& ac = rolling(c.speed, Large, ++objectId);
    ac.takeOffPending = 0;
    ac.landed = 1;
    ac.flapsMarker = 3;
    ac.throttleMarker = 4;
    ac.touchdownHeading = 0;
    ac.position.heading = c.offDeg * kDegToRad;
    lf_rollOut(ac);
    EXPECT_EQ(ac.flapsMarker, c.flaps);
    EXPECT_EQ(ac.landed, c.landed ? 1u : 0u);
    if (!c.landed) {
      EXPECT_EQ(ac.throttleMarker, 0u);
    }
    run(1);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> spoilers;
    for (const auto& e : sim().eventsOf(objectId))
      if (e.eventId == EVT_SPOILERS_SET || e.eventId == EVT_TAXI_LIGHTS_SET) spoilers.emplace_back(e.eventId, e.data);
    if (c.flaps == 3) {
      EXPECT_TRUE(spoilers.empty());
    } else if (c.landed) {
      EXPECT_EQ(spoilers, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{EVT_SPOILERS_SET, 0}}));
    } else {
      EXPECT_EQ(spoilers, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{EVT_SPOILERS_SET, 0},
                                                                                {EVT_TAXI_LIGHTS_SET, 1}}));
    }
  }
}

// The recording's AAL53: lined up on the runway, the feed reports it standing (0 kt) for 40 s, then 10 s
// later 0.33 nm down the runway at 95 kt and climbing away after that. The jump from standing to
// 95 kt is no glitch of the feed, as the records after it go on from it: the aircraft rolls, once,
// in one object. A single record at 150 kt between standing ones is a glitch: never taken.
TEST_F(TakeOff, ADepartureThatStoodLinedUpRollsWhenItsRecordsRoll) {
  test::Line l;
  l.hexid = 11960100;
  l.callsign = "AAL53";
  l.lat = 40.6500;
  l.lon = -73.7637;
  l.alt = 0;
  l.gs = 0;
  l.track = 208;
  l = feedTrack(l, 5);
  const auto next = [&](double lat, double lon, double alt, double gs) {
    l.lat = lat;
    l.lon = lon;
    l.alt = alt;
    l.gs = gs;
    l.track = 210;
    l.vs = alt > 0 ? 2500 : 0;
    l.timestamp += 10;
    return l;
  };
  feedTrack(next(40.6450, -73.7676, 0, 95), 1);
  feedTrack(next(40.6420, -73.7700, 300, 123), 1);
  feedTrack(next(40.6348, -73.7756, 700, 161), 1);
  feedTrack(next(40.6289, -73.7804, 1200, 162), 1);
  feedTrack(next(40.6218, -73.7862, 1700, 155), 1);
  bool rolled = false;
  for (int i = 0; i < 9000 && !rolled; ++i) {
    run(1);
    const LiveAc* ac = lf_findLiveByHexid(l.hexid);
    rolled = ac != nullptr && ac->phase == GroundPhase::TakeOffRoll;
  }
  EXPECT_TRUE(rolled);
  std::size_t objects = 0;
  for (const auto& [id, o] : sim().objects) objects += o.hexid == l.hexid ? 1 : 0;
  EXPECT_EQ(objects, 1u);

  test::Line g;
  g.hexid = 11960101;
  g.callsign = "AAL54";
  g.lat = 40.6500;
  g.lon = -73.7637;
  g.alt = 0;
  g.gs = 0;
  g = feedTrack(g, 3);
  test::Line glitch = g;
  glitch.lat += 0.0003;
  glitch.gs = 150;
  glitch.timestamp += 10;
  g.timestamp += 20;
  feed(glitch);
  run(1000);
  feed(g);
  run(1);
  const LiveAc* ac = lf_findLiveByHexid(g.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_TRUE(std::none_of(ac->situations.begin(), ac->situations.end(),
                           [&](const Situation& s) { return s.latitude == glitch.lat; }));
  EXPECT_DOUBLE_EQ(ac->lastDataTime, g.timestamp);
}

// A helicopter on the ground keeps its rotor at 16383, taxiing or lifting off.
TEST_F(TakeOff, AHelicopterOnTheGroundKeepsItsRotorTurning) {
  for (const bool pending : {false, true}) {
    SCOPED_TRACE(pending);
    gf_resetEngine();
    LiveAc& ac = rolling(10, Rotorcraft, pending ? 1241 : 1240);
    ac.takeOffPending = pending ? 1 : 0;
    ac.throttleMarker = 0;
    then(ac, 300, 0, 10, 1000, false);
    lf_planGroundLeg(ac, ac.second());
    EXPECT_EQ(ac.throttleMarker, 4u);
  }
  // Off the runway after landing, too.
  gf_resetEngine();
  LiveAc& ac = rolling(10, Rotorcraft, 1242);
  ac.takeOffPending = 0;
  ac.landed = 1;
  ac.throttleMarker = 0;
  ac.touchdownHeading = 0;
  ac.position.heading = 20 * kDegToRad;
  lf_rollOut(ac);
  EXPECT_EQ(ac.landed, 0u);
  EXPECT_EQ(ac.throttleMarker, 4u);
}

}  // namespace
}  // namespace amb
