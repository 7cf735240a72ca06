// Ground scenarios in virtual time, with JFK's real stands: the recording's arrivals and departures,
// and crafted tracks for the push-back, the pull-out and the hold. Every consecutive pair of ground
// blocks of every scenario is checked, and each scenario's flown tracks are drawn into the build
// folder (tests/traffic/ground-*.svg).

#include "enginesim/flight_watch.hpp"
#include "enginesim/ground_watch.hpp"
#include "enginesim/parking.hpp"
#include "engine_fixture.hpp"
#include "refdata/database.hpp"
#include "settings/options.hpp"

#include <fmt/ranges.h>

#include <algorithm>
#include <iostream>
#include <memory>

namespace amb {
namespace {

using enginesim::GroundWatch;
using enginesim::WatchedBlock;

std::filesystem::path lf_mapFolder() { return std::filesystem::path(AMB_BINARY_DIR) / "tests" / "traffic"; }

const std::vector<Stand>& lf_jfkStands() {
  static const std::vector<Stand> stands = enginesim::readParkingPositions(test::testData("airports/KJFK.parking.xml"));
  return stands;
}

// No pair of consecutive ground blocks jumps, turns on the spot or slides; the map is drawn.
void lf_expectSmoothAndDraw(const GroundWatch& watch, const std::string& name,
                            const std::map<std::uint32_t, std::vector<enginesim::RecordedLine>>& lines,
                            const std::vector<Stand>& stands, const enginesim::MapArea& area, int every) {
  const enginesim::PairReport report = enginesim::checkGroundPairs(watch);
  EXPECT_GT(report.movingPairs, 500u);
  EXPECT_TRUE(report.faults.empty()) << report.faults.size() << " faults, first: " << report.faults.front();
  EXPECT_TRUE(std::filesystem::exists(enginesim::writeGroundMap(lf_mapFolder(), name, watch, lines, stands, every, area,
                                                                test::testData("reference/ourairports-runways.csv.gz"))));
}

// Whether the object's events from a cycle on hold the sequence.
bool lf_eventsInOrder(const enginesim::FakeSim& sim, std::uint32_t objectId, std::int32_t cycle,
                      const std::vector<std::uint32_t>& part) {
  std::vector<std::uint32_t> ids;
  for (const enginesim::SimEvent& e : sim.eventsOf(objectId))
    if (e.cycle >= cycle) ids.push_back(e.eventId);
  return std::search(ids.begin(), ids.end(), part.begin(), part.end()) != ids.end();
}

const std::vector<std::uint32_t> kShutDown{EVT_ENGINE_AUTO_SHUTDOWN, EVT_NAV_LIGHTS_SET,  EVT_BEACON_LIGHTS_SET,
                                           EVT_LANDING_LIGHTS_SET,   EVT_TAXI_LIGHTS_SET, EVT_STROBES_SET,
                                           EVT_LOGO_LIGHTS_SET,      EVT_CABIN_LIGHTS_SET};

// ---- The recording ----

class JfkGround : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                            test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    s_folder = std::make_unique<test::TempDir>("engine-ground");
    enginesim::HarnessOptions options;
    options.programFolder = s_folder->path();
    options.stands = lf_jfkStands();
    options.cycle = [] {
      gf_updateAI();
      s_flights.observe();
    };
    s_harness = std::make_unique<enginesim::EngineHarness>(options);
    s_watch.attach(s_harness->sim());
    s_harness->schedule(enginesim::readRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz")));
    s_harness->run(s_harness->lastLineCycle() + 3000 + 8 * 800 + 2000);
    s_harness->sim().onPosition = nullptr;
  }
  static void TearDownTestSuite() {
    s_harness.reset();
    s_folder.reset();
    s_flights.flown.clear();
  }
  static inline std::unique_ptr<test::TempDir> s_folder;
  static inline std::unique_ptr<enginesim::EngineHarness> s_harness;
  static inline GroundWatch s_watch;
  static inline enginesim::FlightWatch s_flights;
};

TEST_F(JfkGround, EveryGroundBlockFollowsFromTheOneBefore) {
  lf_expectSmoothAndDraw(s_watch, "ground-jfk", s_harness->linesByHexid, lf_jfkStands(), {}, 10);
}

// The departures leave their stands and climb away as reported (GTI8886 through 3975 ft, JBU105
// through 5550 ft among them); no landing becomes a take-off; nothing goes below the field.
TEST_F(JfkGround, DeparturesFromStandsClimbAndLandingsStayDown) {
  const enginesim::FlightReport report = enginesim::checkFlights(s_flights, *s_harness, 13.0, 10.0);
  std::cout << report.summary() << "\n";
  EXPECT_GE(report.departures, 5u);
  EXPECT_GE(report.landings, 15u);
  EXPECT_TRUE(report.faults.empty()) << report.faults.size() << " faults:\n"
                                     << fmt::format("{}", fmt::join(report.faults, "\n"));
  for (const char* callsign : {"GTI8886", "JBU105"}) {
    const auto it = std::find_if(s_flights.flown.begin(), s_flights.flown.end(),
                                 [&](const auto& f) { return f.second.callsign == callsign; });
    ASSERT_NE(it, s_flights.flown.end()) << callsign;
    EXPECT_NE(s_harness->sim().objects.at(it->first).initial.onGround, 0) << callsign;
    EXPECT_GE(it->second.highest, 3000.0) << callsign;
  }
}

// An aircraft that came to its stand: within 2 m of it, near its heading, shut down, phase AtStand,
// its park position learned by the stand (a real option of its registration; an aircraft without
// one teaches nothing).
void lf_expectParked(const enginesim::FakeSim& sim, std::uint32_t objectId, const std::vector<WatchedBlock>& blocks,
                     const std::string& registration) {
  const auto at = std::find_if(blocks.begin(), blocks.end(),
                               [](const WatchedBlock& b) { return b.phase == GroundPhase::AtStand; });
  ASSERT_NE(at, blocks.end());
  const Stand* stand = lf_standById(at->standId);
  ASSERT_NE(stand, nullptr);
  const WatchedBlock& last = blocks.back();
  EXPECT_EQ(last.phase, GroundPhase::AtStand);
  EXPECT_LE(gf_distanceNm({last.block.latitude, last.block.longitude}, {stand->lat, stand->lon}) * 1852, 2.0);
  EXPECT_LE(std::fabs(gf_angleDiff(last.block.heading, stand->heading)) * kRadToDeg, 10.0);
  EXPECT_TRUE(lf_eventsInOrder(sim, objectId, at->cycle - 1, kShutDown));
  if (registration.empty()) return;
  EXPECT_TRUE(std::any_of(stand->options.begin(), stand->options.end(), [&](const ParkPosOption& o) {
    return o.kind == 1 && o.reg == registration && o.id != 0 && o.halfHours != 0;
  })) << registration << " at " << stand->name;
}

TEST_F(JfkGround, TaxiStreamsEndingAtAStandParkOnIt) {
  std::size_t parked = 0;
  for (const auto& [id, blocks] : s_watch.blocks) {
    const auto toStand = std::find_if(blocks.begin(), blocks.end(),
                                      [](const WatchedBlock& b) { return b.phase == GroundPhase::ToStand; });
    if (toStand == blocks.end() || blocks.back().phase != GroundPhase::AtStand) continue;
    SCOPED_TRACE(s_watch.callsigns.at(id));
    ++parked;
    const std::uint32_t hexid = s_harness->sim().objects.at(id).hexid;
    std::string registration = enginesim::lineField(s_harness->linesByHexid.at(hexid).front().text, 11);
    if (registration == "null") registration.clear();
    lf_expectParked(s_harness->sim(), id, blocks, registration);
  }
  EXPECT_GE(parked, 3u);
}

// ---- Crafted tracks at stand T4-62 (radius 33 m, heading 330) ----

constexpr std::uint32_t kHexid = 11000042;

class GroundScenario : public test::EngineTest {
protected:
  enginesim::HarnessOptions harnessOptions() const override {
    enginesim::HarnessOptions options;
    options.stands = enginesim::standsNear(lf_jfkStands(), stand().lat, stand().lon, 0.3);
    return options;
  }
  static const Stand& stand() {
    static const Stand s = *std::find_if(lf_jfkStands().begin(), lf_jfkStands().end(),
                                         [](const Stand& x) { return x.name == "T4-62"; });
    return s;
  }
  // A standing aircraft at the stand, reported every 5 seconds for a minute.
  test::Line atStand() {
    test::Line l;
    l.hexid = kHexid;
    l.lat = stand().lat;
    l.lon = stand().lon;
    l.alt = 0;
    l.gs = 0;
    l.track = stand().heading * kRadToDeg;
    l.callsign = "DAL42";
    l.type = "B738";
    l.reg = "N42DL";
    for (int i = 0; i < 12; ++i) {
      add(l);
      l = l.after(5);
    }
    return m_lines.back();
  }
  // Moves the line `n` times by 5 seconds along the track at the speed.
  test::Line go(test::Line l, double trackDeg, double gs, int n, double climbFeetPerStep = 0) {
    l.track = trackDeg;
    l.gs = gs;
    for (int i = 0; i < n; ++i) {
      l.vs = climbFeetPerStep * 12;
      l = l.after(5);
      add(l);
    }
    return l;
  }
  void add(const test::Line& l) { m_lines.push_back(l); }
  // Replays the lines from now, watching every block, and runs until they end plus `after` cycles.
  void play(std::int32_t after) {
    std::vector<enginesim::RecordedLine> lines;
    for (const test::Line& l : m_lines) lines.push_back({l.text(), l.timestamp, l.hexid});
    m_watch.attach(sim());
    harness().schedule(lines, cycle());
    run(harness().lastLineCycle() - cycle() + 3000 + after);
  }
  const std::vector<WatchedBlock>& blocks() { return m_watch.blocks.begin()->second; }
  std::uint32_t objectId() { return m_watch.blocks.begin()->first; }
  void expectSmoothAndDraw(const std::string& name) {
    lf_expectSmoothAndDraw(m_watch, name, harness().linesByHexid, harnessOptions().stands,
                           {stand().lat, stand().lon, 1.2}, 5);
  }

  std::vector<test::Line> m_lines;
  GroundWatch m_watch;
};

TEST_F(GroundScenario, AnArrivalLandsRollsOutTaxiesAndParksOnItsStand) {
  // Approach, touchdown, roll-out, a left turn off the runway, taxi straight at the stand, stop
  // 15 m short of it; placed so that the stop lies there.
  const auto build = [&](const LatLon& start) {
    m_lines.clear();
    test::Line l;
    l.hexid = kHexid;
    l.lat = start.lat;
    l.lon = start.lon;
    l.alt = 1200;
    l.callsign = "DAL42";
    l.type = "B738";
    l.reg = "N42DL";
    add(l);
    l.vs = -720;
    l = go(l, 60, 140, 20);
    l.vs = 0;
    for (double gs : {120.0, 100.0, 80.0, 60.0, 45.0, 30.0, 20.0, 15.0}) l = go(l, 60, gs, 1);
    l = go(l, 330, 15, 8);
    return go(l, 330, 0, 4);
  };
  const LatLon stop = gf_destinationPoint({stand().lat, stand().lon}, stand().heading + kPi, 15.0 / 1852 * kFeetPerNm);
  const test::Line first = build(stop);
  build({2 * stop.lat - first.lat, 2 * stop.lon - first.lon});
  play(6000);
  ASSERT_FALSE(m_watch.blocks.empty());
  const auto& bs = blocks();
  EXPECT_TRUE(std::any_of(bs.begin(), bs.end(), [](const WatchedBlock& b) { return b.phase == GroundPhase::Airborne; }));
  EXPECT_TRUE(bs.back().landed);
  lf_expectParked(sim(), objectId(), bs, "N42DL");
  expectSmoothAndDraw("ground-arrival");
}

// Who gives way at a stand: the one standing there (E) against a newcomer wanting it.
TEST_F(GroundScenario, StandClaimsFollowTheCallsignAndWingRules) {
  struct Case {
    const char* standing;
    const char* newcomer;
    bool checkedAtStand;
    bool newcomerTakes;
    bool standingRemoved;
  };
  for (const Case& c : std::vector<Case>{{"DAL1", "DAL1", false, true, true},
                                         {"DAL1", "DAL1_", false, false, false},
                                         {"DAL1_", "DAL1", false, true, true},
                                         {"UAL2", "DAL1_", false, false, false},
                                         {"UAL2", "DAL1", true, false, false},
                                         {"UAL2", "DAL1", false, true, true}}) {
    SCOPED_TRACE(std::string(c.standing) + " / " + c.newcomer);
    gf_resetEngine();
    LiveAc& e = addInSim(11000100, 500, situation(stand().lat, stand().lon, 0, 0, 1 << 30, false), "B738",
                         c.standing);
    e.setPhase(GroundPhase::AtStand);
    e.standId = stand().id;
    e.checkedAtStand = c.checkedAtStand ? 1 : 0;
    std::uint8_t take = 1;
    lf_sameStandTest(take, stand().id, c.newcomer, e);
    EXPECT_EQ(take != 0, c.newcomerTakes);
    EXPECT_EQ(e.state == ActState::Removing, c.standingRemoved);
  }
  // Wings of 0.01 nm each way: 1.1 times their sum reaches a stand 0.021 nm away, not one 0.023 nm away.
  g_wingspans["ZZW1"] = 0.01;
  for (const auto& [apartNm, removed] : std::vector<std::pair<double, bool>>{{0.021, true}, {0.023, false}}) {
    gf_resetEngine();
    Stand target = stand(), adjacent = stand();
    adjacent.id = 999;
    const LatLon at = gf_destinationPoint({target.lat, target.lon}, 0, apartNm * kFeetPerNm);
    adjacent.lat = at.lat;
    adjacent.lon = at.lon;
    g_stands.push_back(adjacent);
    LiveAc& e = addInSim(11000101, 501, situation(at.lat, at.lon, 0, 0, 1 << 30, false), "ZZW1", "UAL2");
    e.setPhase(GroundPhase::AtStand);
    e.standId = adjacent.id;
    LiveAc parking = addLive(11000102, "ZZW1", situation(target.lat, target.lon, 0, 0, 0, false), "DAL1");
    lf_adjacentStandTest(adjacent.id, parking, target, g_liveAcs.front());
    EXPECT_EQ(g_liveAcs.front().state == ActState::Removing, removed) << apartNm;
    g_stands.pop_back();
  }
  g_wingspans.erase("ZZW1");
}

// Leaving the stand: the first moving position's course against the stand heading decides.
struct Departure {
  const char* name;
  double courseOffDeg;  // the way out, off the stand heading
  int straightOnly;
  bool pushBack;
};

class Departures : public GroundScenario, public ::testing::WithParamInterface<Departure> {};

TEST_P(Departures, PushBackOrPullOutThenTaxiAndTakeOff) {
  const Departure& d = GetParam();
  STRAIGHT_PBS_ONLY.value = d.straightOnly;
  const double h = stand().heading * kRadToDeg;
  // Parked at the stand, as after an arrival: a ground start there is created ready to taxi.
  test::Line l = atStand();
  play(0);
  LiveAc* parked = lf_findLiveByHexid(kHexid);
  ASSERT_NE(parked, nullptr);
  ASSERT_EQ(parked->standId, stand().id);
  ASSERT_EQ(parked->previousPhase, GroundPhase::AtStand);
  lf_standById(stand().id)->occupied = 0;
  parked->waiting = 0;
  parked->extensionCount = 0;
  parked->setPhase(GroundPhase::ToStand);
  lf_arrivedAtStand(*parked);
  ASSERT_EQ(parked->phase, GroundPhase::AtStand);
  m_lines.clear();
  l = go(l, h + d.courseOffDeg, 4, 10);                // out of the stand
  l = go(l, h + d.courseOffDeg + 90, 15, 14);          // taxi
  for (double gs : {30.0, 50.0}) l = go(l, h + d.courseOffDeg + 90, gs, 1);
  l.alt = 13;
  l = go(l, h + d.courseOffDeg + 90, 160, 10, 250);   // off the ground and climbing
  play(3000);
  STRAIGHT_PBS_ONLY.value = 0;

  const auto& bs = blocks();
  const auto phaseAt = [&](GroundPhase p) {
    return std::find_if(bs.begin(), bs.end(), [p](const WatchedBlock& b) { return b.phase == p; });
  };
  const auto leaving = phaseAt(GroundPhase::LeavingStand);
  ASSERT_EQ(leaving != bs.end(), d.pushBack);
  const LatLon standAt{stand().lat, stand().lon};
  if (d.pushBack) {
    // Straight back 2.5 stand radii, nose toward the stand, true airspeed negative.
    double straight = 0;
    std::int32_t turnCycles = 0;
    for (auto it = leaving; it != bs.end() && it->phase == GroundPhase::LeavingStand; ++it) {
      EXPECT_LT(it->block.trueAirspeed, 0);
      if (std::fabs(gf_angleDiff(it->block.heading, stand().heading)) < 0.5 * kDegToRad)
        straight = gf_distanceNm(standAt, {it->block.latitude, it->block.longitude});
      else
        ++turnCycles;
    }
    EXPECT_NEAR(straight * 1852, 2.5 * stand().radiusNm * 1852, 2.0);
    // The turn takes round(90 / turn per cycle / 100) cycles, 90 in degrees and the rate in radians
    // (its first cycles hardly turn the nose).
    if (d.straightOnly == 0) {
      EXPECT_NEAR(turnCycles, std::round(90 / leaving->turnPerCycle / 100), 25);
    }
    // Then the engines start.
    const auto started = std::find_if(leaving, bs.end(), [](const WatchedBlock& b) { return b.phase != GroundPhase::LeavingStand; });
    ASSERT_NE(started, bs.end());
    EXPECT_TRUE(lf_eventsInOrder(sim(), objectId(), started->cycle - 1, {EVT_ENGINE_AUTO_START, EVT_FLAPS_SET}));
  } else {
    EXPECT_TRUE(std::none_of(bs.begin(), bs.end(), [](const WatchedBlock& b) { return b.block.trueAirspeed < 0; }));
  }
  // Taxi, the take-off roll from 43 kt, gear up 300 cycles after lift-off.
  ASSERT_NE(phaseAt(GroundPhase::Taxi), bs.end());
  const auto roll = phaseAt(GroundPhase::TakeOffRoll);
  ASSERT_NE(roll, bs.end());
  const auto liftOff = std::find_if(roll, bs.end(), [](const WatchedBlock& b) { return !b.onGround; });
  ASSERT_NE(liftOff, bs.end());
  EXPECT_GE(roll->block.trueAirspeed, 43);
  std::int32_t gearUp = -1;
  for (const enginesim::SimEvent& e : sim().eventsOf(objectId()))
    if (e.eventId == EVT_GEAR_SET && e.data == 0 && gearUp < 0) gearUp = e.cycle;
  EXPECT_NEAR(gearUp - liftOff->cycle, 300, 2);
  expectSmoothAndDraw(std::string("ground-") + d.name);
}

INSTANTIATE_TEST_SUITE_P(Ground, Departures,
                         ::testing::Values(Departure{"pushback-curved", 180, 0, true},
                                           Departure{"pushback-straight", 120, 1, true},
                                           Departure{"pullout", 30, 0, false}),
                         [](const auto& info) { return std::string(info.param.straightOnly ? "StraightOnly" : "") +
                                                       (info.param.pushBack ? "PushBack" : "PullOut"); });

TEST_F(GroundScenario, ATaxiStreamEndingAwayFromStandsHoldsThenGoes) {
  MAX_HOLDING_MINUTES.value = 2;
  // A kilometre south of the stands, taxiing, then standing.
  test::Line l;
  l.hexid = kHexid;
  l.alt = 0;
  l.gs = 15;
  l.track = 90;
  const LatLon start = gf_destinationPoint({stand().lat, stand().lon}, kPi, 0.4 * kFeetPerNm);
  l.lat = start.lat;
  l.lon = start.lon;
  add(l);
  l = go(l, 90, 15, 12);
  l = go(l, 180, 15, 6);
  play(0);
  ASSERT_TRUE(harness().runUntil([&] { return g_liveAcs.empty(); }, 3 * kCyclesPerMinute + 1000));
  const enginesim::SimObject& o = sim().objects.at(objectId());
  // It held from the end of its stream for MAX_HOLDING_MINUTES, give or take a wait step and a removal.
  const auto lastMove = std::find_if(blocks().rbegin(), blocks().rend(), [&](const WatchedBlock& b) {
    return &b != &blocks().front() && b.block.latitude != (&b - 1)->block.latitude;
  });
  ASSERT_NE(lastMove, blocks().rend());
  EXPECT_NEAR(o.removedCycle - lastMove->cycle, 2 * kCyclesPerMinute, 400);
  expectSmoothAndDraw("ground-hold");
}

}  // namespace
}  // namespace amb
