// Ground scenarios in virtual time, with JFK's real stands: the recording's arrivals and departures,
// and crafted tracks for the push-back, the pull-out and the hold. Every consecutive pair of ground
// blocks of every scenario is checked, and each scenario's flown tracks are drawn into the build
// folder (tests/traffic/ground-*.svg).

#include "engine_fixture.hpp"
#include "enginesim/flight_watch.hpp"
#include "enginesim/ground_watch.hpp"
#include "enginesim/parking.hpp"
#include "refdata/database.hpp"
#include "refdata/queries.hpp"
#include "airport_list.hpp"
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
    options.airports = flightcheck::engineAirports(test::jfkAirportList());
    options.cycle = [] {
      gf_updateAI();
      s_flights.observe();
    };
    s_harness = std::make_unique<enginesim::EngineHarness>(options);
    s_watch.attach(s_harness->sim());
    s_flights.sim = &s_harness->sim();
    s_harness->schedule(enginesim::readRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz")));
    s_harness->run(s_harness->lastLineCycle() + 3000 + 8 * 800 + 2000);
    s_harness->sim().onPosition = nullptr;
  }
  static void TearDownTestSuite() {
    s_harness.reset();
    s_folder.reset();
    s_flights.flown.clear();
    s_flights.sim = nullptr;
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

// Where the watched objects are, cycle by cycle: the block of an object at a cycle (none before its
// first block and once removed), and whether another object stands on a stand then.
class Whereabouts {
public:
  explicit Whereabouts(const GroundWatch& watch, const enginesim::FakeSim& sim) : m_watch(watch), m_sim(sim) {}
  const WatchedBlock* at(std::uint32_t objectId, std::int32_t cycle) const {
    const auto& blocks = m_watch.blocks.at(objectId);
    const std::int32_t removed = m_sim.objects.at(objectId).removedCycle;
    if (removed >= 0 && removed <= cycle) return nullptr;
    const auto after = std::upper_bound(blocks.begin(), blocks.end(), cycle,
                                        [](std::int32_t c, const WatchedBlock& b) { return c < b.cycle; });
    return after == blocks.begin() ? nullptr : &*std::prev(after);
  }
  // Another object than `self` stands within 2 m of the stand at the cycle.
  bool taken(const Stand& stand, std::uint32_t self, std::int32_t cycle) const {
    for (const auto& [id, blocks] : m_watch.blocks) {
      if (id == self) continue;
      const WatchedBlock* b = at(id, cycle);
      if (b != nullptr && metres({b->block.latitude, b->block.longitude}, stand) <= 2.0) return true;
    }
    return false;
  }
  static double metres(const LatLon& at, const Stand& s) { return gf_distanceNm(at, {s.lat, s.lon}) * 1852.0; }

private:
  const GroundWatch& m_watch;
  const enginesim::FakeSim& m_sim;
};

// Every aircraft whose stream ends standing (on the ground at 2 kt or less) within 55 m of a stand
// that fits it (its half span at most 1.8 m above the stand's radius; within 20 m any stand, which
// the program enlarges) and that no other aircraft held when it took a stand stands on such a stand
// at its end: the nearest free one to its last reported position, or one no farther than a step of
// the feed's rounding beyond it. Of all aircraft standing still at JFK at their end (when removed, or
// when the run stops), the share standing within 5 m of a stand's point is given.
TEST_F(JfkGround, AircraftWhoseStreamsEndStandingNearAFreeStandStandOnIt) {
  const std::vector<Stand>& stands = lf_jfkStands();
  const enginesim::FakeSim& sim = s_harness->sim();
  const Whereabouts where(s_watch, sim);
  // The first line enters at cycle 0; a line's position comes due 3000 cycles after it enters.
  double earliest = s_harness->linesByHexid.begin()->second.front().timestamp;
  for (const auto& [hexid, lines] : s_harness->linesByHexid) earliest = std::min(earliest, lines.front().timestamp);
  std::size_t checked = 0, onStands = 0;
  for (const auto& [hexid, lines] : s_harness->linesByHexid) {
    const std::string& last = lines.back().text;
    const bool onGround = enginesim::lineField(last, 6) == "1" || std::stod(enginesim::lineField(last, 4)) <= 0;
    // Without a callsign the program shows no aircraft.
    if (!onGround || std::stod(enginesim::lineField(last, 8)) > 2 || enginesim::lineField(last, 9).empty()) continue;
    const LatLon reported{std::stod(enginesim::lineField(last, 2)), std::stod(enginesim::lineField(last, 3))};
    const double span = gf_halfWingspan(enginesim::lineField(last, 10));
    std::vector<const Stand*> near;
    for (const Stand& s : stands)
      if (const double d = Whereabouts::metres(reported, s);
          d <= 55.0 && (span - s.radiusNm <= 0.0009719222462203025 || d <= 20.0))
        near.push_back(&s);
    if (near.empty()) continue;
    std::sort(near.begin(), near.end(), [&](const Stand* a, const Stand* b) {
      return Whereabouts::metres(reported, *a) < Whereabouts::metres(reported, *b);
    });
    SCOPED_TRACE(enginesim::lineField(last, 9) + " " + std::to_string(hexid));
    // Its last object and where that stands at its end; since when it stands there.
    const enginesim::SimObject* object = nullptr;
    for (const auto& [id, o] : sim.objects)
      if (o.hexid == hexid && (object == nullptr || o.createdCycle > object->createdCycle)) object = &o;
    std::int32_t since = static_cast<std::int32_t>(std::lround((lines.back().timestamp - earliest) * 100)) + 3000;
    const Stand* standing = nullptr;
    if (object != nullptr) {
      const auto& blocks = s_watch.blocks.at(object->id);
      const LatLon end{blocks.back().block.latitude, blocks.back().block.longitude};
      for (const Stand& s : stands)
        if (Whereabouts::metres(end, s) <= 2.0) standing = &s;
      since = blocks.back().cycle;
      for (auto b = blocks.rbegin();
           b != blocks.rend() && gf_distanceNm({b->block.latitude, b->block.longitude}, end) * 1852 <= 2.0; ++b)
        since = b->cycle;
    }
    const auto free = std::find_if(near.begin(), near.end(), [&](const Stand* s) {
      return !where.taken(*s, object != nullptr ? object->id : 0, since);
    });
    if (free == near.end()) continue;
    ++checked;
    EXPECT_NE(object, nullptr) << "not shown, though " << (*free)->name << " was free";
    // The stand was chosen at a position reported earlier, which may lie one step of the feed's
    // rounding (0.0001 degrees, some 11 m) away from the last one.
    const bool onIt =
        standing != nullptr && Whereabouts::metres(reported, *standing) <= Whereabouts::metres(reported, **free) + 11.0;
    EXPECT_TRUE(onIt) << "at " << (standing != nullptr ? standing->name : "no stand") << " though " << (*free)->name
                      << " was free";
    onStands += onIt ? 1 : 0;
  }
  EXPECT_GE(checked, 15u);

  // At JFK: within 5 nm of its reference point (aircraft also land at the airports around it).
  const AirportData park = enginesim::HarnessOptions{}.parkAirport;
  std::size_t still = 0, atStands = 0;
  for (const auto& [id, blocks] : s_watch.blocks) {
    const WatchedBlock& end = blocks.back();
    const WatchedBlock* before = where.at(id, end.cycle - 1000);
    const LatLon at{end.block.latitude, end.block.longitude};
    if (!end.onGround || before == nullptr || gf_distanceNm(at, {park.lat, park.lon}) > 5.0 ||
        gf_distanceNm({before->block.latitude, before->block.longitude}, {end.block.latitude, end.block.longitude}) *
                1852 >
            0.5)
      continue;
    ++still;
    if (std::any_of(stands.begin(), stands.end(), [&](const Stand& s) { return Whereabouts::metres(at, s) <= 5.0; }))
      ++atStands;
  }
  ASSERT_GT(still, 0u);
  const double share = static_cast<double>(atStands) / static_cast<double>(still);
  std::cout << "[          ] " << onStands << " of " << checked
            << " streams ending standing near a free stand stand on it; " << atStands << " of " << still
            << " aircraft standing still at their end stand within 5 m of a stand (" << std::lround(share * 100)
            << " %)\n";
  // The others hold on taxiways, farther than 55 m from any stand, when the recording ends.
  EXPECT_GE(share, 0.4);
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
    // Down 60 ft every 5 s (720 ft/min) to the runway, then rolling out on it.
    l = go(l, 60, 140, 20, -60);
    l.alt = 0;
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

// Created standing at its stand (a ground start there) and then moved off it by its stream. A way out
// behind the nose (90 degrees or more off the stand's heading) is a push-back, as for an aircraft
// that parked there: it never drives forward and round through the stands beside it. The tail
// swings away from the side the feed's heading turns to while it moves (10 to 135 degrees off the
// stand's, whole degrees); with no such turn, away from the farthest position of the way out.
struct SpawnStandDeparture {
  const char* name;
  double wayOutDeg;    // course of the way out from the stand, off the stand's heading
  double noseDeg;      // the feed's heading while it moves, off the stand's heading
  double driftMetres;  // the way out's positions this far right of their course
  bool pushBack;
  double noseEndsDeg;  // the heading at the end of the push-back's turn, off the stand's heading
};

void PrintTo(const SpawnStandDeparture& d, std::ostream* os) { *os << d.name; }

class SpawnStandDepartures : public GroundScenario, public ::testing::WithParamInterface<SpawnStandDeparture> {};

TEST_P(SpawnStandDepartures, AWayOutBehindIsAPushBackThatTurnsTheNoseToTheFeedsSide) {
  const SpawnStandDeparture& d = GetParam();
  const double h = stand().heading;
  const LatLon standAt{stand().lat, stand().lon};
  test::Line l = atStand();
  play(0);
  const LiveAc* created = lf_findLiveByHexid(kHexid);
  ASSERT_NE(created, nullptr);
  ASSERT_EQ(created->phase, GroundPhase::Taxi);
  ASSERT_EQ(created->previousPhase, GroundPhase::AtStand);
  ASSERT_EQ(created->standId, stand().id);
  m_lines.clear();
  // 20 m further every 5 s along the way out, the drift reached over the first three reports.
  const double course = h + d.wayOutDeg * kDegToRad;
  for (int i = 1; i <= 12; ++i) {
    const LatLon along = gf_destinationPoint(standAt, course, 20.0 * i / 1852 * kFeetPerNm);
    const LatLon at =
        gf_destinationPoint(along, course + kPi / 2, d.driftMetres * std::min(i, 3) / 3 / 1852 * kFeetPerNm);
    l = l.after(5);
    l.lat = at.lat;
    l.lon = at.lon;
    l.gs = 8;
    l.track = std::fmod(h * kRadToDeg + d.noseDeg + 360, 360);
    add(l);
  }
  play(3000);

  const auto& bs = blocks();
  const auto metres = [&](const WatchedBlock& b) {
    return gf_distanceNm(standAt, {b.block.latitude, b.block.longitude}) * 1852;
  };
  const auto leaving =
      std::find_if(bs.begin(), bs.end(), [](const WatchedBlock& b) { return b.phase == GroundPhase::LeavingStand; });
  ASSERT_EQ(leaving != bs.end(), d.pushBack);
  if (!d.pushBack) {
    EXPECT_TRUE(std::none_of(bs.begin(), bs.end(), [](const WatchedBlock& b) { return b.block.trueAirspeed < 0; }));
    return;
  }
  // On the stand until the push-back, then tail first, never ahead of the stand's point.
  EXPECT_TRUE(std::all_of(bs.begin(), leaving, [&](const WatchedBlock& b) { return metres(b) <= 1.0; }));
  auto end = leaving;
  for (; end != bs.end() && end->phase == GroundPhase::LeavingStand; ++end) {
    EXPECT_LT(end->block.trueAirspeed, 0);
    const double ahead =
        metres(*end) * std::cos(gf_angleDiff(h, gf_bearingRad(standAt, {end->block.latitude, end->block.longitude})));
    EXPECT_LE(ahead, 1.0);
  }
  const WatchedBlock& turned = *std::prev(end);
  EXPECT_NEAR(gf_angleDiff(h, turned.block.heading) * kRadToDeg, d.noseEndsDeg, 10.0);
  const enginesim::PairReport report = enginesim::checkGroundPairs(m_watch);
  EXPECT_TRUE(report.faults.empty()) << report.faults.size() << " faults, first: " << report.faults.front();
}

// Drift to the right of a way out straight back lies to the stand's left: with no turn of the nose
// reported, the nose ends pointing there (-90).
INSTANTIATE_TEST_SUITE_P(Ground, SpawnStandDepartures,
                         ::testing::Values(SpawnStandDeparture{"NoseTurnsRight", 180, 90, 4, true, 90},
                                           SpawnStandDeparture{"NoseTurnsLeft", 180, -90, -4, true, -90},
                                           SpawnStandDeparture{"NoseTurnedTen", 180, 10, 4, true, 90},
                                           SpawnStandDeparture{"NoseTurnedNine", 180, 9, 4, true, -90},
                                           SpawnStandDeparture{"NoseTurned135", 180, 135, 4, true, 90},
                                           SpawnStandDeparture{"NoseTurned136", 180, 136, 4, true, -90},
                                           SpawnStandDeparture{"WayOutSquareToTheSide", 90, 0, 0, true, 90},
                                           SpawnStandDeparture{"WayOutJustAhead", 89, 0, 0, false, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Reported standing 12 m behind the stand's point, once 24 m farther out at 10 kt (the feed's
// rounding and noise, as seen at JFK), then pushed back steadily: created on the stand, it stays there through the
// stray report and leaves with the push-back; the stand is free again.
TEST_F(GroundScenario, AnAircraftCreatedAtItsStandStaysThroughAStrayReportAndLeavesWhenItMoves) {
  test::Line l;
  l.hexid = kHexid;
  l.alt = 0;
  l.gs = 0;
  l.track = stand().heading * kRadToDeg;
  const LatLon standing =
      gf_destinationPoint({stand().lat, stand().lon}, stand().heading + kPi, 12.0 / 1852 * kFeetPerNm);
  const LatLon stray = gf_destinationPoint({stand().lat, stand().lon}, stand().heading + kPi, 36.0 / 1852 * kFeetPerNm);
  for (int i = 0; i < 12; ++i) {
    l.lat = i == 8 ? stray.lat : standing.lat;
    l.lon = i == 8 ? stray.lon : standing.lon;
    l.gs = i == 8 ? 10 : 0;
    add(l);
    l = l.after(5);
  }
  // The push-back: tail first, 4 kt, for a minute.
  l.lat = standing.lat;
  l.lon = standing.lon;
  for (int i = 0; i < 12; ++i) {
    const LatLon back = gf_destinationPoint({l.lat, l.lon}, stand().heading + kPi, 4.0 * 5 / 3600 * kFeetPerNm);
    l = l.after(5);
    l.lat = back.lat;
    l.lon = back.lon;
    l.gs = 4;
    add(l);
  }
  const std::int32_t start = cycle();
  play(3000);
  ASSERT_FALSE(m_watch.blocks.empty());
  const auto& bs = blocks();
  const auto metres = [&](const WatchedBlock& b) {
    return gf_distanceNm({b.block.latitude, b.block.longitude}, {stand().lat, stand().lon}) * 1852;
  };
  EXPECT_LE(metres(bs.front()), 2.0);
  // On the stand until the push-back's positions come due (the stray one came after its creation).
  const auto away = std::find_if(bs.begin(), bs.end(), [&](const WatchedBlock& b) { return metres(b) > 5.0; });
  ASSERT_NE(away, bs.end());
  EXPECT_GE(away->cycle, start + 12 * 500 + 3000);
  EXPECT_GE(metres(bs.back()), 40.0);
  const Stand* s = lf_standById(stand().id);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->occupied, 0);
  expectSmoothAndDraw("ground-stray");
}

// The aircraft standing at the stand as one flight turns up as the next under a new address and
// callsign: the new one takes the stand over, the old one goes.
TEST_F(GroundScenario, TheSameAirframeUnderANewFlightTakesItsStandOver) {
  test::Line first = atStand();
  test::Line next = first.after(5);
  next.hexid = kHexid + 1;
  next.callsign = "DAL43";
  const LatLon off = gf_destinationPoint({stand().lat, stand().lon}, stand().heading + kPi, 8.0 / 1852 * kFeetPerNm);
  next.lat = off.lat;
  next.lon = off.lon;
  for (int i = 0; i < 12; ++i) {
    add(next);
    next = next.after(5);
  }
  play(1000);
  const enginesim::SimObject* old = nullptr;
  const enginesim::SimObject* fresh = nullptr;
  for (const auto& [id, o] : sim().objects) (o.hexid == kHexid ? old : fresh) = &o;
  ASSERT_NE(old, nullptr);
  ASSERT_NE(fresh, nullptr);
  EXPECT_GE(old->removedCycle, 0);
  EXPECT_EQ(fresh->removedCycle, -1);
  EXPECT_EQ(fresh->callsign, "DAL43");
  const WatchedBlock& end = m_watch.blocks.at(fresh->id).back();
  EXPECT_LE(gf_distanceNm({end.block.latitude, end.block.longitude}, {stand().lat, stand().lon}) * 1852, 2.0);
}

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
