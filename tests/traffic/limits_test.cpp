// The engine's limits at their edges: each scenario puts an aircraft just inside and just outside a
// limit of the intake, the simulator's results, the removals, the stand claims and spawning, so that
// a limit moved a little either way changes what happens.

#include "engine_fixture.hpp"

#include "core/clock.hpp"
#include "enginesim/liveries.hpp"
#include "liveries/services.hpp"
#include "refdata/database.hpp"
#include "settings/options.hpp"

#include <chrono>
#include <map>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

constexpr double kFeetPerMetre = 1 / 0.3048;
const LatLon kUser{40.6413, -73.7781};

// The point `feet` from `from` on the bearing (degrees).
LatLon lf_toward(const LatLon& from, double bearingDeg, double feet) {
  return gf_destinationPoint(from, bearingDeg * kDegToRad, feet);
}

class Limits : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_maxLiveInUse = -1;
  }
  void TearDown() override {
    COLLISION_USER_AIR.value = m_air;
    COLLISION_USER_GND.value = m_gnd;
    g_stands.clear();
  }
  // A live aircraft not yet spawned, with a livery and two situations from `at`; the second moves on
  // northward unless `standing`.
  LiveAc& waiting(std::uint32_t hexid, const LatLon& at, double altitude, double speed, bool standing = false) {
    const bool airborne = altitude > 0;
    LiveAc& ac = addLive(hexid, "A321", situation(at.lat, at.lon, altitude, speed, 5000, airborne),
                         fmt::format("W{}", hexid % 10000));
    const LatLon on = standing ? at : lf_toward(at, 0, 600);
    Situation second = situation(on.lat, on.lon, altitude, standing ? 0 : speed, 6000, airborne);
    second.noMovement = standing ? 1 : 0;
    ac.situations.push_back(second);
    ac.liveryTitle = gf_findStoredTitle(enginesim::genericTitle("A321"));
    return ac;
  }
  void setUser(const LatLon& at, double altitude, double aboveGround, double headingDeg = 0) {
    g_engineUserAc.latitude = at.lat;
    g_engineUserAc.longitude = at.lon;
    g_engineUserAc.altitude = altitude;
    g_engineUserAc.altAboveGround = aboveGround;
    g_engineUserAc.heading = headingDeg * kDegToRad;
  }
  void setParkElevation(double feet) {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport.alt = feet;
  }
  static Stand standAt(std::uint32_t id, const LatLon& at, double headingDeg = 0) {
    Stand s;
    s.id = id;
    s.name = fmt::format("S{}", id);
    s.lat = at.lat;
    s.lon = at.lon;
    s.heading = headingDeg * kDegToRad;
    s.radiusNm = 0.02;
    return s;
  }
  const std::uint8_t m_air = COLLISION_USER_AIR.value;
  const std::uint8_t m_gnd = COLLISION_USER_GND.value;
};

// ---- Intake ----

TEST_F(Limits, TheIntakeTakesTwoRecordsACycle) {
  for (std::uint32_t i = 0; i < 10; ++i) {
    Line l;
    l.hexid = 11700000 + i;
    l.callsign = fmt::format("Q{}", i);
    l.lat += 0.01 * i;
    ASSERT_TRUE(feed(l));
  }
  std::vector<std::size_t> counts;
  for (int i = 0; i < 6; ++i) {
    run(1);
    counts.push_back(g_liveAcs.size());
  }
  EXPECT_EQ(counts, (std::vector<std::size_t>{2, 4, 6, 8, 10, 10}));
}

// The objects around the user are asked for every second, every fifth of a second while an aircraft
// flares.
TEST_F(Limits, TheObjectsAroundAreAskedForEverySecondOrFifthWhileFlaring) {
  const auto requestCycles = [&](std::int32_t cycles) {
    std::vector<std::int32_t> at;
    for (std::int32_t i = 0; i < cycles; ++i) {
      const auto before = sim().nearbyRequests;
      const std::int32_t c = cycle();
      run(1);
      if (sim().nearbyRequests != before) at.push_back(c);
    }
    return at;
  };
  EXPECT_EQ(requestCycles(250), (std::vector<std::int32_t>{0, 100, 200}));
  LiveAc& flaring = addInSim(11700101, 401, situation(40.7, -73.9, 30, 130, 1 << 30));
  flaring.flareStage = 1;
  g_fastRange = 1;
  run(50);  // to cycle 300
  EXPECT_EQ(requestCycles(61), (std::vector<std::int32_t>{300, 320, 340, 360}));
}

// A first record close above the airport's ground is not taken up: within 120 ft of its elevation,
// below 10000 ft.
TEST_F(Limits, NewAircraftCloseAboveTheAirportAreNotTaken) {
  struct Case {
    double elevation;
    double altitude;
    bool taken;
  };
  std::uint32_t hexid = 11710000;
  for (const Case& c : std::vector<Case>{{400, 520, false},
                                         {400, 521, true},
                                         {400, 280, false},
                                         {400, 279, true},
                                         {9900, 9990, false},
                                         {10000, 10050, true}}) {
    SCOPED_TRACE(fmt::format("{} ft at an airport of {} ft", c.altitude, c.elevation));
    setParkElevation(c.elevation);
    Line l;
    l.hexid = ++hexid;
    l.callsign = fmt::format("E{}", hexid % 1000);
    l.alt = c.altitude;
    feed(l);
    run(1);
    EXPECT_EQ(lf_findLiveByHexid(hexid) != nullptr, c.taken);
  }
}

// Near another field the first record is held against that field's ground: parked at White Plains
// (439 ft), 500 ft over JFK (13 ft) is no height of its ground, 500 ft over White Plains is.
TEST_F(Limits, NewAircraftCloseAboveAnotherFieldAreJudgedByItsGround) {
  const AirportData jfk{"KJFK", "JFK", kUser.lat, kUser.lon, 13}, hpn{"KHPN", "HPN", 41.0670, -73.7076, 439};
  const std::vector<AirportData> saved = g_airports;
  gf_setAirportList({hpn, jfk});
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = hpn;
  }
  EXPECT_FALSE(lf_nearReferenceGround(situation(kUser.lat + 1.0 / 60, kUser.lon, 500, 140, 0)));
  EXPECT_TRUE(lf_nearReferenceGround(situation(hpn.lat + 1.0 / 60, hpn.lon, 500, 140, 0)));
  gf_setAirportList(saved);
}

// Which later records of a known aircraft are taken, at the edges of the drop rules.
TEST_F(Limits, RecordsOfAKnownAircraftAtTheEdgesOfTheDropRules) {
  Line air;  // 250 kt at 5000 ft
  Line ground;
  ground.lat = kUser.lat;
  ground.lon = kUser.lon;
  ground.alt = 0;
  ground.gs = 10;
  const auto at = [](Line l, double gs) {
    l.gs = gs;
    return l;
  };
  const auto later = [](Line l, double seconds, double gs, double track) {
    l = l.after(seconds);
    l.gs = gs;
    l.track = track;
    return l;
  };
  struct Case {
    const char* what;
    Line first;
    Line next;
    bool taken;
  };
  const std::vector<Case> cases{
      {"turning, 1 s later", air, later(air, 1.0, 250, 95), false},
      {"turning, 1.05 s later", air, later(air, 1.05, 250, 95), true},
      {"from 10 kt to 90 kt", ground, later(ground, 10, 90, 90), true},
      {"from 5 kt to 79 kt", at(ground, 5), later(ground, 10, 79, 90), true},
      {"121 kt straight, 450 m not flown", at(air, 121), later(air, 3, 121, 90), false},
      {"120 kt straight", at(air, 120), later(air, 3, 120, 90), true},
      {"300 kt straight, 2.88 s (450 m take 2.92 s)", at(air, 300), later(air, 2.88, 300, 90), false},
      {"300 kt straight, 2.95 s", at(air, 300), later(air, 2.95, 300, 90), true},
      {"30 kt taxiing straight, 1.2 s (20 m take 1.3 s)", at(ground, 30), later(ground, 1.2, 30, 90), false},
      {"31 kt taxiing straight, 1.2 s", at(ground, 31), later(ground, 1.2, 31, 90), true},
      {"10 kt taxiing straight, 3.8 s (20 m take 3.9 s)", ground, later(ground, 3.8, 10, 90), false},
      {"10 kt taxiing straight, 4.0 s", ground, later(ground, 4.0, 10, 90), true},
      {"1 kt taxiing straight, 14.9 s (at most 15 s)", at(ground, 1), later(ground, 14.9, 1, 90), false},
      {"1 kt taxiing straight, 15.5 s", at(ground, 1), later(ground, 15.5, 1, 90), true},
  };
  std::uint32_t hexid = 11720000;
  for (Case c : cases) {
    SCOPED_TRACE(c.what);
    c.first.hexid = c.next.hexid = ++hexid;
    c.first.callsign = c.next.callsign = fmt::format("K{}", hexid % 1000);
    ASSERT_TRUE(feed(c.first));
    run(1);
    const LiveAc* ac = lf_findLiveByHexid(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_TRUE(feed(c.next));
    run(1);
    EXPECT_EQ(ac->situations.size(), c.taken ? 2u : 1u);
  }
}

// Room is made by the farthest aircraft only when it lies more than 0.1 nm beyond the distance given.
TEST_F(Limits, TheFarthestGoesOnlyWhenClearlyFarther) {
  setUser(kUser, 0, 0);
  for (const auto& [nm, removed] : {std::pair{5.105, true}, std::pair{5.095, false}}) {
    SCOPED_TRACE(nm);
    gf_resetEngine();
    setUser(kUser, 0, 0);
    const LatLon at = lf_toward(kUser, 0, nm * kFeetPerNm);
    addInSim(11730001, 400, situation(at.lat, at.lon, 3000, 200, 1 << 30));
    EXPECT_EQ(lf_removeFarthestLive(5.0), !removed);
    EXPECT_EQ(g_liveAcs[0].state == ActState::Removing, removed);
  }
}

// ---- Simulator results ----

TEST_F(Limits, StaticDataOutsideItsRangesIsNotTaken) {
  LiveAc& ac = addInSim(11740001, 410, situation(40.7, -73.9, 5000, 250, 1 << 30));
  struct Case {
    double cg;
    double expectedCg;
    double pitchDeg;
    double expectedPitchDeg;
  };
  for (const Case& c : std::vector<Case>{{1.0, 1.0, -0.95, -0.95},
                                         {0.95, 1.0, -1.0, 0.7},
                                         {35.0, 35.0, 2.5, 2.5},
                                         {35.05, 35.0, 2.55, 0.7},
                                         {12.0, 12.0, 3.0, 0.7}}) {
    SCOPED_TRACE(fmt::format("cg {} pitch {}", c.cg, c.pitchDeg));
    lf_processSimResult({410, 0, 0, StaticCg, c.cg, c.pitchDeg * kDegToRad});
    EXPECT_DOUBLE_EQ(ac.staticCgHeight, c.expectedCg);
    EXPECT_NEAR(ac.staticPitch * kRadToDeg, c.expectedPitchDeg, 1e-9);
  }
  // Object ids below 3 are no objects of this program.
  LiveAc& fresh = addLive(11740002, "A321", situation(40.7, -73.9, 5000, 250, 0));
  EXPECT_FALSE(lf_onLiveObjectData(fresh, {2, 11740002, 0, CreatedLive, 0, 3000}));
  EXPECT_EQ(fresh.objectId, 0u);
  EXPECT_TRUE(lf_onLiveObjectData(fresh, {3, 11740002, 0, CreatedLive, 0, 3000}));
  EXPECT_EQ(fresh.objectId, 3u);
}

// An aircraft removed while its creation was under way goes as soon as its object exists.
TEST_F(Limits, ARemovalDuringCreationGoesWithTheObject) {
  LiveAc& ac = addLive(11740101, "A321", situation(40.7, -73.9, 5000, 250, 0), "SETL1");
  ac.situations.push_back(situation(40.71, -73.9, 5000, 250, 1000));
  ac.state = ActState::Creating;
  removeAircraftFromSim(ac);
  ASSERT_EQ(ac.removeWhenCreated, 1u);
  sim().push({420, 11740101, 0, CreatedLive, 0, 3000});
  run(1);
  EXPECT_EQ(lf_findLiveByHexid(11740101)->state, ActState::Removing);
  run(10);
  EXPECT_EQ(sim().removalsSent, 1u);
  // It does not come into the simulator after the settling either.
  run(250);
  EXPECT_NE(lf_findLiveByHexid(11740101)->state, ActState::InSim);
}

// ---- Removals ----

class StandTimes : public Limits {
protected:
  LiveAc& standing(std::uint32_t hexid, std::uint32_t standId, int category = Large) {
    LiveAc& ac = addInSim(hexid, 430 + (hexid % 100), situation(40.64, -73.78, 0, 0, 1 << 30, false));
    ac.setPhase(GroundPhase::AtStand);
    ac.standId = standId;
    ac.category = category;
    ac.standArrivalTicks = gf_steadyTicks();
    return ac;
  }
  clock::ManualClock m_clock{1551821332LL};
};

TEST_F(StandTimes, LiveAircraftStandNinetyMinutesHeavyOnesThreeHours) {
  LiveAc& large = standing(11750001, 1);
  LiveAc& heavy = standing(11750002, 2, Heavy);
  m_clock.advance(std::chrono::minutes(90) + std::chrono::seconds(50));
  gf_collectLiveStayers();
  EXPECT_EQ(large.state, ActState::InSim);
  ASSERT_EQ(g_liveStayers.size(), 2u);
  EXPECT_EQ(g_liveStayers[0].minutes, 90);
  m_clock.advance(std::chrono::seconds(20));
  gf_collectLiveStayers();
  EXPECT_EQ(large.state, ActState::Removing);
  m_clock.advance(std::chrono::minutes(89));
  gf_collectLiveStayers();
  EXPECT_EQ(heavy.state, ActState::InSim);
  m_clock.advance(std::chrono::minutes(1));
  gf_collectLiveStayers();
  EXPECT_EQ(heavy.state, ActState::Removing);
  // Still reported at the stand by the feed: it stays, listed with no time.
  LiveAc& reported = standing(11750003, 3);
  reported.checkedAtStand = 1;
  m_clock.advance(std::chrono::hours(5));
  gf_collectLiveStayers();
  EXPECT_EQ(reported.state, ActState::InSim);
  ASSERT_EQ(g_liveStayers.size(), 1u);
  EXPECT_EQ(g_liveStayers[0].minutes, 0);
  // With the initial load only, nothing is removed for its time.
  LiveAc& old = standing(11750004, 4);
  m_clock.advance(std::chrono::hours(5));
  INITIAL_LOAD_ONLY.value = 1;
  gf_collectLiveStayers();
  INITIAL_LOAD_ONLY.value = 0;
  EXPECT_EQ(old.state, ActState::InSim);
}

TEST_F(StandTimes, StandsAreFreedLongestStayFirst) {
  standing(11750101, 1);
  m_clock.advance(std::chrono::minutes(10));
  standing(11750102, 2);
  m_clock.advance(std::chrono::minutes(10));
  standing(11750103, 3);
  m_clock.advance(std::chrono::minutes(10));
  gf_removeLiveParked(2);
  EXPECT_EQ(lf_findLiveByHexid(11750101)->state, ActState::Removing);
  EXPECT_EQ(lf_findLiveByHexid(11750102)->state, ActState::Removing);
  EXPECT_EQ(lf_findLiveByHexid(11750103)->state, ActState::InSim);
  // The maximum number of parked aircraft: a third one arriving sends the longest stay away first.
  gf_resetEngine();
  standing(11750201, 1);
  m_clock.advance(std::chrono::minutes(1));
  standing(11750202, 2);
  g_maxParkCount = 2;
  lf_checkMaxPark(0);
  EXPECT_EQ(lf_findLiveByHexid(11750201)->state, ActState::InSim);
  lf_checkMaxPark(1);
  EXPECT_EQ(lf_findLiveByHexid(11750201)->state, ActState::Removing);
  EXPECT_EQ(lf_findLiveByHexid(11750202)->state, ActState::InSim);
  // A parked (static) act gives way when live and parked together would exceed it.
  gf_resetEngine();
  standing(11750301, 1);
  AcIdentity id;
  id.model = "B738";
  id.callsign = "PRK1";
  g_parkedActs.emplace_back(AcData(id), 5, ActPosition{40.64, -73.78, 0}, 0);
  g_parkedActs.back().hexid = 7;
  g_parkedActs.back().objectId = 440;
  g_parkedActs.back().state = ActState::InSim;
  g_maxParkCount = 3;
  lf_checkMaxPark(1);
  EXPECT_EQ(g_parkedActs.back().state, ActState::InSim);
  g_maxParkCount = 2;
  lf_checkMaxPark(1);
  EXPECT_EQ(g_parkedActs.back().state, ActState::Removing);
  EXPECT_EQ(lf_findLiveByHexid(11750301)->state, ActState::InSim);
  g_maxParkCount = -1;
}

// The user aircraft taxiing or flying: a live aircraft right in its way goes.
TEST_F(Limits, AircraftInTheUsersWayAreRemoved) {
  struct Case {
    const char* what;
    bool onGround;
    double nm;           // from the user
    double offLineFeet;  // from the user's heading line (ground) or of the user from the aircraft's track (air)
    double userAboveGround;
    double altitudeDiff;  // feet, aircraft above the user
    bool removed;
  };
  const std::vector<Case> cases{
      {"ground, 0.5 nm ahead, 48 ft off the line", true, 0.5, 48, 100, 0, true},
      {"ground, 0.5 nm ahead, 52 ft off the line", true, 0.5, 52, 100, 0, false},
      {"ground, the user 499 ft above ground", true, 0.5, 20, 499, 0, true},
      {"ground, the user 501 ft above ground", true, 0.5, 20, 501, 0, false},
      {"ground, 0.98 nm ahead", true, 0.98, 0, 100, 0, true},
      {"ground, 1.02 nm ahead", true, 1.02, 0, 100, 0, false},
      {"air, 2 nm away, the user 695 ft off its track", false, 2, 695, 3000, 0, true},
      {"air, 2 nm away, the user 705 ft off its track", false, 2, 705, 3000, 0, false},
      {"air, 3.95 nm away", false, 3.95, 0, 3000, 0, true},
      {"air, 4.05 nm away", false, 4.05, 0, 3000, 0, false},
      {"air, 995 ft above", false, 2, 0, 3000, 995, true},
      {"air, 1005 ft above", false, 2, 0, 3000, 1005, false},
      {"air, 995 ft below", false, 2, 0, 3000, -995, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    setUser(kUser, 5000, c.userAboveGround);
    const double feet = c.nm * kFeetPerNm;
    LiveAc* ac = nullptr;
    if (c.onGround) {
      // The user heads north; the aircraft lies ahead, off the heading line by the distance.
      const LatLon at = lf_toward(kUser, std::asin(c.offLineFeet / feet) * kRadToDeg, feet);
      ac = &addInSim(11760001, 450, situation(at.lat, at.lon, 0, 10, 1 << 30, false));
    } else {
      // North of the user, coming south on a track that passes the user at the distance.
      const LatLon at = lf_toward(kUser, 0, feet);
      ac = &addInSim(11760001, 450, situation(at.lat, at.lon, 5000 + c.altitudeDiff, 250, 1 << 30));
      ac->position.heading = kPi + std::asin(c.offLineFeet / feet);
    }
    EXPECT_EQ(gf_removeIfInUserWay(0, *ac), c.removed);
    EXPECT_EQ(ac->state == ActState::Removing, c.removed);
  }
}

// ---- Stand claims ----

TEST_F(Limits, AStandIsClaimedWithinTwentyMetresOrFiftyFiveWhenWide) {
  const LatLon stop{40.6440, -73.7850};
  struct Case {
    double metres;
    bool wide;
    bool claimed;
  };
  for (const Case& c : std::vector<Case>{{19, false, true}, {21, false, false}, {54, true, true}, {57, true, false}}) {
    SCOPED_TRACE(fmt::format("{} m, wide {}", c.metres, c.wide));
    gf_resetEngine();
    g_stands = {standAt(7, lf_toward(stop, 90, c.metres * kFeetPerMetre))};
    LiveAc& ac = addInSim(11770001, 460, situation(stop.lat, stop.lon, 0, 0, 1 << 30, false));
    try2Park(ac, c.wide);
    EXPECT_EQ(ac.standId, c.claimed ? 7u : 0u);
    EXPECT_EQ(ac.phase, c.claimed ? GroundPhase::ToStand : GroundPhase::Taxi);
    if (c.claimed) {
      // It drives there at 4 kt, then stands.
      ASSERT_EQ(ac.situations.size(), 3u);
      const double nm = c.metres / 1852;
      EXPECT_NEAR(ac.situations[1].due - ac.situations[0].due, std::round(nm * 360000 / 4), 1);
      EXPECT_EQ(ac.situations[2].due - ac.situations[1].due, 50);
    }
  }
  // Each position is tried once: a wide search from where a narrow one found nothing does nothing.
  gf_resetEngine();
  g_stands = {standAt(7, lf_toward(stop, 90, 30 * kFeetPerMetre))};
  LiveAc& ac = addInSim(11770002, 461, situation(stop.lat, stop.lon, 0, 0, 1 << 30, false));
  try2Park(ac, false);
  try2Park(ac, true);
  EXPECT_EQ(ac.standId, 0u);
  // From a new position it is tried again.
  const LatLon on = lf_toward(stop, 0, 3 * kFeetPerMetre);
  ac.situations.back().latitude = on.lat;
  ac.situations.back().longitude = on.lon;
  try2Park(ac, true);
  EXPECT_EQ(ac.standId, 7u);
  g_stands.clear();
}

TEST_F(Limits, WingsOfNeighboursCountWithATenthToSpare) {
  g_wingspans["ZZW1"] = 0.01;
  const LatLon target{40.6440, -73.7850};
  for (const auto& [nm, removed] : {std::pair{0.0215, true}, std::pair{0.0225, false}}) {
    SCOPED_TRACE(nm);
    gf_resetEngine();
    const Stand t = standAt(1, target);
    g_stands = {t, standAt(2, lf_toward(target, 90, nm * kFeetPerNm))};
    LiveAc& parking = addInSim(11780001, 470, situation(target.lat, target.lon, 0, 5, 1 << 30, false), "ZZW1", "P1");
    LiveAc& neighbour = addInSim(11780002, 471, situation(g_stands[1].lat, g_stands[1].lon, 0, 0, 1 << 30, false),
                                 "ZZW1", "N1");
    neighbour.setPhase(GroundPhase::AtStand);
    neighbour.standId = 2;
    lf_adjacentStandTest(2, parking, t, neighbour);
    EXPECT_EQ(neighbour.state == ActState::Removing, removed);
  }
  g_wingspans.erase("ZZW1");
  g_stands.clear();
}

// Arrival within 2 m of the stand; a stand's neighbourhood of 85 m, and 200 m beyond which a
// position belongs to another aircraft.
TEST_F(Limits, PositionsAtAStandCountWithinEightyFiveMetres) {
  const LatLon standPos{40.6440, -73.7850};
  for (const auto& [metres, atStand] : {std::pair{1.8, true}, std::pair{2.2, false}}) {
    SCOPED_TRACE(metres);
    gf_resetEngine();
    g_stands = {standAt(3, standPos)};
    const LatLon here = lf_toward(standPos, 180, metres * kFeetPerMetre);
    LiveAc& ac = addInSim(11790001, 480, situation(here.lat, here.lon, 0, 0, 1 << 30, false));
    ac.position.latitude = here.lat;
    ac.position.longitude = here.lon;
    ac.standId = 3;
    ac.setPhase(GroundPhase::ToStand);
    lf_arrivedAtStand(ac);
    EXPECT_EQ(ac.phase, atStand ? GroundPhase::AtStand : GroundPhase::Taxi);
    EXPECT_EQ(g_stands[0].occupied, atStand ? 1u : 0u);
  }
  struct Case {
    double metres;
    bool kept;
    bool removed;
  };
  for (const Case& c : std::vector<Case>{{83, false, false}, {87, true, false}, {195, true, false}, {205, false, true}}) {
    SCOPED_TRACE(c.metres);
    gf_resetEngine();
    g_stands = {standAt(3, standPos)};
    LiveAc& ac = addInSim(11790002, 481, situation(standPos.lat, standPos.lon, 0, 0, 1 << 30, false));
    ac.standId = 3;
    ac.setPhase(GroundPhase::AtStand);
    // Reported 80 m from the stand so far, standing.
    ac.standStartDistance = ac.standDistance = 80 / 1852.0;
    ac.halfWingspan = 0.01;
    const LatLon at = lf_toward(standPos, 0, c.metres * kFeetPerMetre);
    Situation s = situation(at.lat, at.lon, 0, 3, 2000, false);
    EXPECT_EQ(lf_checkAtStand(ac, s), c.kept);
    EXPECT_EQ(ac.state == ActState::Removing, c.removed);
    // A kept position is the first of the way out.
    EXPECT_EQ(ac.pullOutPending, c.kept ? 1u : 0u);
  }
  g_stands.clear();
}

// ---- Spawning ----

TEST_F(Limits, SpawningLooksAheadOneSecondInTheAirThreeTaxiing) {
  struct Case {
    double altitude;
    double speed;
    std::int32_t from;
  };
  for (const Case& c : std::vector<Case>{{5000, 250, 4900}, {0, 10, 4700}, {0, 0, 4900}}) {
    SCOPED_TRACE(fmt::format("{} ft, {} kt", c.altitude, c.speed));
    gf_resetEngine();
    LiveAc& ac = waiting(11800001, {40.75, -73.95}, c.altitude, c.speed);
    g_engineCycle.store(c.from - 1);
    updateBufferAc(ac);
    EXPECT_EQ(ac.state, ActState::New);
    g_engineCycle.store(c.from);
    updateBufferAc(ac);
    EXPECT_EQ(ac.state, ActState::Creating);
  }
  // By then a single position is dropped.
  gf_resetEngine();
  LiveAc& single = addLive(11800002, "A321", situation(40.75, -73.95, 5000, 250, 5000));
  g_engineCycle.store(4900);
  updateBufferAc(single);
  EXPECT_EQ(single.remove, 1u);
}

TEST_F(Limits, EleventhWaitingCreationHoldsNewAircraftBack) {
  struct Case {
    int pending;   // creation requests built and queued
    int requests;  // spawned, the request not yet built
    bool spawned;
  };
  for (const Case& c : std::vector<Case>{{10, 0, true}, {11, 0, false}, {10, 1, false}, {0, 11, false}, {5, 5, true}}) {
    SCOPED_TRACE(fmt::format("{} queued, {} to build", c.pending, c.requests));
    const bool spawned = c.spawned;
    gf_resetEngine();
    for (int i = 0; i < c.pending; ++i) g_pendingLiveCreations.push_back({});
    for (int i = 0; i < c.requests; ++i) g_spawnRequests.push_back(11810100 + static_cast<std::uint32_t>(i));
    LiveAc& ac = waiting(11810001, {40.75, -73.95}, 5000, 250);
    ac.situations.push_back(situation(40.76, -73.95, 5000, 250, 7000));
    g_engineCycle.store(5000);
    updateBufferAc(ac);
    EXPECT_EQ(ac.state == ActState::Creating, spawned);
    EXPECT_EQ(ac.situations.size(), spawned ? 3u : 2u);
  }
}

// A snapshot of the feed brings twenty new aircraft at once; they all fall due in the same cycle. The
// creations go out one per 50 cycles; no more than eleven ever wait, and the aircraft held back pass
// over the positions that fell due meanwhile, so each is created at one it reached shortly before.
TEST_F(Limits, ABurstOfNewAircraftIsCreatedCloseToItsStream) {
  std::vector<Line> lines;
  for (std::uint32_t i = 0; i < 20; ++i) {
    Line l;
    l.hexid = 11820001 + i;
    l.callsign = fmt::format("BRS{}", i);
    l.reg = fmt::format("N{}BR", 100 + i);
    l.lat = 40.50 + 0.02 * i;
    l.lon = -74.10;
    l.track = 90;
    lines.push_back(l);
  }
  std::map<std::pair<double, double>, std::int32_t> dueAt;  // reported position -> its due cycle
  std::size_t mostWaiting = 0;
  for (int snapshot = 0; snapshot < 12; ++snapshot) {
    for (Line& l : lines) {
      ASSERT_TRUE(feed(l));
      const Situation& s = g_trafficQueue.back().situation;
      dueAt[{s.latitude, s.longitude}] = s.due;
      l = l.after(10);
    }
    for (int i = 0; i < 1000; ++i) {
      run(1);
      mostWaiting = std::max(mostWaiting, g_spawnRequests.size() + g_pendingLiveCreations.size());
    }
  }
  EXPECT_LE(mostWaiting, 11u);
  ASSERT_EQ(sim().objects.size(), 20u);
  for (const auto& [id, o] : sim().objects) {
    SCOPED_TRACE(o.callsign);
    const auto due = dueAt.find({o.initial.latitude, o.initial.longitude});
    ASSERT_NE(due, dueAt.end());
    // Spawned 100 cycles ahead of the due time, then at most eleven creations of 50 cycles before it.
    EXPECT_LE(o.createdCycle, due->second - 100 + 11 * 50 + 50);
  }
}

// With COLLISION_USER_AIR on and the user off the ground, aircraft in the user's way are held back.
TEST_F(Limits, AircraftInTheUsersWayAreHeldBackAtSpawn) {
  struct Case {
    const char* what;
    double bearingDeg;  // from the user, who heads north
    double nm;
    double altitude;  // of the aircraft; 0 on the ground
    double userAboveGround;
    bool held;
  };
  const double alongDeg = [] { return std::acos(3980 / (3 * kFeetPerNm)) * kRadToDeg; }();
  const double alongFarDeg = [] { return std::acos(4020 / (3 * kFeetPerNm)) * kRadToDeg; }();
  const double crossDeg = [] { return std::asin(495 / kFeetPerNm) * kRadToDeg; }();
  const double crossFarDeg = [] { return std::asin(505 / kFeetPerNm) * kRadToDeg; }();
  const std::vector<Case> cases{
      {"ground, 1.48 nm ahead", 0, 1.48, 0, 900, true},
      {"ground, 1.52 nm ahead", 0, 1.52, 0, 900, false},
      {"ground, the user 995 ft above ground", 0, 1, 0, 995, true},
      {"ground, the user 1005 ft above ground", 0, 1, 0, 1005, false},
      {"ground, 495 ft off the heading line", crossDeg, 1, 0, 900, true},
      {"ground, 505 ft off the heading line", crossFarDeg, 1, 0, 900, false},
      {"air, abeam 5.95 nm", 90, 5.95, 5000, 3000, true},
      {"air, abeam 6.05 nm", 90, 6.05, 5000, 3000, false},
      {"air, abeam, 2995 ft above", 90, 3, 7995, 3000, true},
      {"air, abeam, 3005 ft above", 90, 3, 8005, 3000, false},
      {"air, 3980 ft along the track", alongDeg, 3, 5000, 3000, true},
      {"air, 4020 ft along the track", alongFarDeg, 3, 5000, 3000, false},
  };
  COLLISION_USER_AIR.value = 1;
  sim().userOnGroundFlag = false;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    setUser(kUser, 5000, c.userAboveGround);
    LiveAc& ac = waiting(11820001, lf_toward(kUser, c.bearingDeg, c.nm * kFeetPerNm), c.altitude,
                         c.altitude > 0 ? 250 : 10);
    g_engineCycle.store(5000);
    updateBufferAc(ac);
    EXPECT_EQ(ac.heldBack, c.held ? 1u : 0u);
    EXPECT_EQ(ac.state, c.held ? ActState::New : ActState::Creating);
  }
  COLLISION_USER_AIR.value = 0;
}

// A held-back aircraft comes free beside the user (out of the way) once more than 500 m away and
// either of the two moves faster than 8 kt.
TEST_F(Limits, AHeldBackAircraftComesFreeAwayFromTheUserWhenOneMoves) {
  struct Case {
    double metres, speed, userSpeed;
    bool released;
  };
  COLLISION_USER_AIR.value = 1;
  sim().userOnGroundFlag = false;
  for (const Case& c : std::vector<Case>{{499, 10, 0, false},
                                         {501, 10, 0, true},
                                         {600, 8, 0, false},
                                         {600, 9, 0, true},
                                         {600, 8, 8, false},
                                         {600, 8, 9, true}}) {
    SCOPED_TRACE(fmt::format("{} m, {} kt, the user at {} kt", c.metres, c.speed, c.userSpeed));
    gf_resetEngine();
    setUser(kUser, 100, 900);
    g_engineUserAc.groundSpeed = c.userSpeed;
    LiveAc& ac = waiting(11820101, lf_toward(kUser, 90, c.metres * kFeetPerMetre), 0, c.speed);
    ac.heldBack = 1;
    g_engineCycle.store(5000);
    updateBufferAc(ac);
    EXPECT_EQ(ac.heldBack, c.released ? 0u : 1u);
  }
  COLLISION_USER_AIR.value = 0;
}

// An aircraft created standing (its next position no movement) stands: its first positions lose
// their speeds. One with a single position is not created.
TEST_F(Limits, AnAircraftCreatedStandingStands) {
  for (const bool thirdStands : {true, false}) {
    SCOPED_TRACE(thirdStands);
    gf_resetEngine();
    LiveAc& ac = waiting(11820201, kUser, 3000, 120, true);
    ac.situations[0].speed = 120;
    ac.situations[1].speed = 3;
    Situation third = ac.situations[1];
    third.speed = 4;
    third.noMovement = thirdStands ? 1 : 0;
    ac.situations.push_back(third);
    ac.situations[0].verticalSpeed = 1200;
    ac.situations[0].heading = 90;
    spawnLiveAc(ac);
    EXPECT_EQ(ac.state, ActState::Creating);
    // The simulator gets feet per second; standing, the nose is the reported heading.
    EXPECT_DOUBLE_EQ(ac.position.verticalSpeed, 20);
    EXPECT_NEAR(ac.position.heading, kPi / 2, 1e-12);
    EXPECT_EQ(ac.situations[0].noMovement, 1u);
    EXPECT_DOUBLE_EQ(ac.situations[0].speed, 0);
    EXPECT_DOUBLE_EQ(ac.situations[1].speed, 0);
    EXPECT_DOUBLE_EQ(ac.situations[2].speed, thirdStands ? 0 : 4);
  }
  gf_resetEngine();
  LiveAc& moving = waiting(11820202, kUser, 3000, 120);
  moving.situations[0].noMovement = 1;
  moving.situations[0].heading = 90;
  spawnLiveAc(moving);
  EXPECT_EQ(moving.situations[0].noMovement, 0u);
  // Moving, the nose points at the next position, due north.
  EXPECT_NEAR(moving.position.heading, 0, 1e-9);
  gf_resetEngine();
  LiveAc& single = waiting(11820203, kUser, 3000, 120);
  single.situations.pop_back();
  spawnLiveAc(single);
  EXPECT_EQ(single.state, ActState::New);
  // Coming back after a respawn, one position is enough: it goes on as it was.
  single.respawnHeading = 1.0;
  spawnLiveAc(single);
  EXPECT_EQ(single.state, ActState::Creating);
  EXPECT_DOUBLE_EQ(single.situations[0].speed, 120);
  EXPECT_EQ(single.situations[0].noMovement, 0u);
  EXPECT_NEAR(single.position.heading, 1.0, 1e-12);
}

// COLLISION_USER_GND keeps new aircraft 150 m from the user while the user is off the ground.
TEST_F(Limits, NoAircraftIsCreatedRightAtTheAirborneUser) {
  struct Case {
    double nm;
    bool userOnGround;
    bool spawned;
  };
  COLLISION_USER_AIR.value = 1;
  COLLISION_USER_GND.value = 1;
  for (const Case& c : std::vector<Case>{{0.0795, false, false}, {0.0825, false, true}, {0.0795, true, true}}) {
    SCOPED_TRACE(fmt::format("{} nm, user on the ground {}", c.nm, c.userOnGround));
    gf_resetEngine();
    sim().userOnGroundFlag = c.userOnGround;
    // Above 1000 ft over the ground the taxiing aircraft is in nobody's way.
    setUser(kUser, 2000, 2000);
    LiveAc& ac = waiting(11830001, lf_toward(kUser, 180, c.nm * kFeetPerNm), 0, 10);
    g_engineCycle.store(5000);
    updateBufferAc(ac);
    EXPECT_EQ(ac.state == ActState::Creating, c.spawned);
  }
  COLLISION_USER_AIR.value = 0;
  COLLISION_USER_GND.value = 0;
}

// A ground start takes a free stand within 55 m when it is within 5 nm of the park airport. It is
// created there ready to taxi; standing where no stand is, it waits for its stream to move.
TEST_F(Limits, AGroundStartTakesAStandNearThePark) {
  const LatLon park{40.639751, -73.778925};
  struct Case {
    const char* what;
    double parkNm;
    double standMetres;
    bool standing;
    bool atStand;
    bool spawned;
  };
  const std::vector<Case> cases{
      {"4.95 nm out, on the stand", 4.95, 0, true, true, true},
      {"5.05 nm out, on the stand", 5.05, 0, true, false, true},
      {"54 m from the stand", 1, 54, true, true, true},
      {"57 m from the stand, standing", 1, 57, true, false, false},
      {"57 m from the stand, moving", 1, 57, false, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    const LatLon at = lf_toward(park, 45, c.parkNm * kFeetPerNm);
    g_stands = {standAt(9, lf_toward(at, 270, c.standMetres * kFeetPerMetre), 200)};
    LiveAc& ac = waiting(11840001, at, 0, c.standing ? 0 : 8, c.standing);
    g_engineCycle.store(5000);
    updateBufferAc(ac);
    EXPECT_EQ(ac.state == ActState::Creating, c.spawned);
    EXPECT_EQ(ac.standId, c.atStand ? 9u : 0u);
    if (c.atStand) {
      EXPECT_EQ(ac.phase, GroundPhase::Taxi);
      EXPECT_EQ(ac.previousPhase, GroundPhase::AtStand);
      EXPECT_EQ(g_stands[0].occupied, 1u);
      ASSERT_EQ(ac.situations.size(), 1u);
      EXPECT_EQ(ac.situations[0].latitude, g_stands[0].lat);
      EXPECT_NEAR(ac.position.heading * kRadToDeg, 200, 1e-9);
    } else if (!c.spawned) {
      // The standing front is dropped; it waits for positions that move.
      EXPECT_EQ(ac.situations.size(), 1u);
      EXPECT_EQ(ac.phase, GroundPhase::New);
    }
  }
  g_stands.clear();
}

// A ground start whose stream comes to a stop (the next position at 5 kt or less) within 35 m looks
// for its stand where the stream stops.
TEST_F(Limits, AGroundStartComingToAStopLooksForTheStandWhereItStops) {
  const LatLon at = lf_toward(kUser, 45, 1 * kFeetPerNm);
  struct Case {
    double stopMetres, speed;
    bool atStand;
  };
  for (const Case& c : std::vector<Case>{{34, 5, true}, {36, 5, false}, {34, 6, false}}) {
    SCOPED_TRACE(fmt::format("stops {} m on, next at {} kt", c.stopMetres, c.speed));
    gf_resetEngine();
    const LatLon stop = lf_toward(at, 0, c.stopMetres * kFeetPerMetre);
    // The stand 30 m beyond the stop: 64 m or more from the first position.
    g_stands = {standAt(9, lf_toward(stop, 0, 30 * kFeetPerMetre), 0)};
    LiveAc& ac = waiting(11840101, at, 0, 8);
    ac.situations[1].latitude = stop.lat;
    ac.situations[1].longitude = stop.lon;
    ac.situations[1].speed = c.speed;
    g_engineCycle.store(5000);
    updateBufferAc(ac);
    EXPECT_EQ(ac.standId, c.atStand ? 9u : 0u);
  }
  g_stands.clear();
}

// The same airframe starting a new flight within 55 m of the stand its last flight stands on takes
// that stand over: the aircraft standing there goes.
TEST_F(Limits, TheSameAirframeTakesItsStandOverWithin55Metres) {
  const LatLon at = lf_toward(kUser, 45, 1 * kFeetPerNm);
  for (const auto& [metres, takesOver] : {std::pair{54.0, true}, std::pair{57.0, false}}) {
    SCOPED_TRACE(metres);
    gf_resetEngine();
    const LatLon standPos = lf_toward(at, 90, metres * kFeetPerMetre);
    g_stands = {standAt(9, standPos, 0)};
    LiveAc& old = addInSim(11840201, 490, situation(standPos.lat, standPos.lon, 0, 0, 1 << 30, false));
    old.registration = "N123AB";
    old.standId = 9;
    old.setPhase(GroundPhase::AtStand);
    g_stands[0].occupied = 1;
    LiveAc& fresh = waiting(11840202, at, 0, 0, true);
    fresh.registration = "N123AB";
    g_engineCycle.store(5000);
    updateBufferAc(fresh);
    EXPECT_EQ(lf_findLiveByHexid(11840201)->state == ActState::Removing, takesOver);
  }
  g_stands.clear();
}

// The pitch a new aircraft is created with: 0.6 degrees nose down on the ground; in the air -3 degrees
// less 2.2 per 600 ft/min of climb (at most 2400), a descent (at most 3000) counting half.
TEST_F(Limits, NewAircraftArePitchedForTheirClimb) {
  struct Case {
    double altitude;
    double verticalSpeed;
    double pitchDeg;  // nose up positive
  };
  for (const Case& c : std::vector<Case>{{0, 0, -0.6},
                                         {5000, 0, 3.0},
                                         {5000, 1200, 7.4},
                                         {5000, 3000, 11.8},
                                         {5000, -1200, 0.8},
                                         {5000, -5000, -2.5}}) {
    SCOPED_TRACE(fmt::format("{} ft at {} ft/min", c.altitude, c.verticalSpeed));
    gf_resetEngine();
    LiveAc& ac = waiting(11850001, {40.8, -74.2}, c.altitude, c.altitude > 0 ? 250 : 10);
    ac.situations.front().verticalSpeed = c.verticalSpeed;
    g_engineCycle.store(5000);
    updateBufferAc(ac);
    ASSERT_EQ(ac.state, ActState::Creating);
    EXPECT_NEAR(-ac.position.pitch * kRadToDeg, c.pitchDeg, 1e-9);
  }
}

// ---- New data of a known aircraft ----

class NewData : public Limits {
protected:
  LiveAc& flyingNorth(double altitude = 5000) {
    LiveAc& ac = addInSim(11860001, 490, situation(40.75, -73.95, altitude, 250, cycle() + 1000, altitude > 0));
    ac.position.latitude = 40.75;
    ac.position.longitude = -73.95;
    ac.position.heading = 0;
    return ac;
  }
  Situation next(const LiveAc& ac, double bearingDeg, double feet, double speed = 250) {
    const Situation& last = ac.situations.back();
    const LatLon to = lf_toward({last.latitude, last.longitude}, bearingDeg, feet);
    return situation(to.lat, to.lon, last.altitude, speed, last.due + 500, last.airborne != 0);
  }
};

TEST_F(NewData, AStreamOfMoreThanTwoHundredPositionsEnds) {
  for (const auto& [size, removed] : {std::pair{200, false}, std::pair{201, true}}) {
    SCOPED_TRACE(size);
    gf_resetEngine();
    LiveAc& ac = flyingNorth();
    while (static_cast<int>(ac.situations.size()) < size) ac.situations.push_back(next(ac, 0, 3000));
    decodeExisting(ac, next(ac, 0, 3000));
    EXPECT_EQ(ac.state == ActState::Removing, removed);
  }
}

TEST_F(NewData, PositionsWithinFifteenHundredthsOfAMilliDegreeAreTheSamePlace) {
  for (const auto& [offset, taken] : {std::pair{0.000145, false}, std::pair{0.000155, true}}) {
    SCOPED_TRACE(offset);
    gf_resetEngine();
    LiveAc& ac = flyingNorth();
    Situation s = ac.situations.back();
    s.latitude += offset;
    s.due += 500;
    decodeExisting(ac, s);
    EXPECT_EQ(ac.situations.size(), taken ? 2u : 1u);
  }
}

// While it flies synthetic positions, a new position ends them whichever way it lies off its nose
// (the intake has judged it already); the feed repeating the position it last reported does not.
TEST_F(NewData, ExtendedFlightEndsWithANewPosition) {
  for (const auto& [course, taken] : {std::pair{98.0, true}, std::pair{102.0, true}, std::pair{180.0, true}}) {
    SCOPED_TRACE(course);
    gf_resetEngine();
    LiveAc& ac = flyingNorth();
    ac.extensionCount = 3;
    decodeExisting(ac, next(ac, course, 3000));
    EXPECT_EQ(ac.situations.size(), taken ? 2u : 1u);
    EXPECT_EQ(ac.extensionCount, taken ? 0 : 3);
  }
  gf_resetEngine();
  LiveAc& ac = flyingNorth();
  ac.extensionCount = 3;
  ac.situations.push_back(next(ac, 0, 800));
  Situation repeat = ac.situations.front();
  repeat.due += 3000;
  decodeExisting(ac, repeat);
  EXPECT_EQ(ac.situations.size(), 2u);
  EXPECT_EQ(ac.extensionCount, 3);
}

// After a landing a position 150 degrees or more behind makes the aircraft go on from where it is.
TEST_F(NewData, ALandedAircraftRestartsFromWhereItIsOnAPositionBehindIt) {
  for (const auto& [course, restarted] : {std::pair{148.0, false}, std::pair{152.0, true}}) {
    SCOPED_TRACE(course);
    gf_resetEngine();
    LiveAc& ac = flyingNorth(0);
    ac.movesOnGround = 1;
    ac.landed = 1;
    const LatLon here = lf_toward({40.75, -73.95}, 0, 100);
    ac.position.latitude = here.lat;
    ac.position.longitude = here.lon;
    decodeExisting(ac, next(ac, course, 300, 20));
    ASSERT_EQ(ac.situations.size(), 2u);
    EXPECT_EQ(ac.situations.front().latitude == here.lat, restarted);
  }
}

TEST_F(NewData, ATaxiingAircraftAt43KnotsTwiceIsTakingOff) {
  for (const auto& [speed, takingOff] : {std::pair{43.0, true}, std::pair{42.5, false}}) {
    SCOPED_TRACE(speed);
    gf_resetEngine();
    LiveAc& ac = flyingNorth(0);
    ac.movesOnGround = 1;
    ac.situations.back().speed = speed;
    decodeExisting(ac, next(ac, 0, 300, speed));
    EXPECT_EQ(ac.takeOffPending, takingOff ? 1u : 0u);
  }
}

// A stop of less than 15 seconds, or one ended within 22 m of where it began, is no stop.
TEST_F(NewData, ShortStopsAreSmoothedAway) {
  struct Case {
    std::int32_t lastedCycles;
    double resumeMetres;  // from where the stop began
    bool kept;
  };
  for (const Case& c : std::vector<Case>{{1490, 60, false}, {1510, 60, true}, {2000, 21, false}, {2000, 22.5, true}}) {
    SCOPED_TRACE(fmt::format("{} cycles, {} m", c.lastedCycles, c.resumeMetres));
    gf_resetEngine();
    LiveAc& ac = flyingNorth(0);
    ac.movesOnGround = 1;
    Situation stop = next(ac, 0, 300, 0);
    stop.noMovement = 1;
    ac.situations.push_back(stop);
    Situation still = stop;
    still.due = stop.due + c.lastedCycles / 2;
    ac.situations.push_back(still);
    still.due = stop.due + c.lastedCycles;
    ac.situations.push_back(still);
    const LatLon on = lf_toward({stop.latitude, stop.longitude}, 0, c.resumeMetres * kFeetPerMetre);
    decodeExisting(ac, situation(on.lat, on.lon, 0, 10, still.due + 500, false));
    EXPECT_EQ(ac.situations.size(), c.kept ? 5u : 3u);
  }
  // A stop of two to six standing positions is smoothed; one alone or seven are left as they are.
  for (const auto& [standing, smoothed] : {std::pair{1, false}, std::pair{2, true}, std::pair{6, true}, std::pair{7, false}}) {
    SCOPED_TRACE(standing);
    gf_resetEngine();
    LiveAc& ac = flyingNorth(0);
    ac.movesOnGround = 1;
    Situation stop = next(ac, 0, 300, 0);
    stop.noMovement = 1;
    for (int i = 0; i < standing; ++i) {
      ac.situations.push_back(stop);
      stop.due += 100;
    }
    const std::size_t before = ac.situations.size();
    const LatLon on = lf_toward({stop.latitude, stop.longitude}, 0, 60 * kFeetPerMetre);
    decodeExisting(ac, situation(on.lat, on.lon, 0, 10, stop.due + 500, false));
    EXPECT_EQ(ac.situations.size(), smoothed ? before - static_cast<std::size_t>(standing) + 2 : before + 1);
  }
}

}  // namespace
}  // namespace amb
