// The engine cycle: intake of traffic records, the cadences of removals and creations, the
// simulator's results, removals and live limits.

#include "engine_fixture.hpp"

#include "core/message_line.hpp"
#include "core/user_error.hpp"
#include "liveries/services.hpp"
#include "enginesim/liveries.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"

#include <atomic>
#include <thread>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class EngineCycle : public EngineTest {
protected:
  // Taxiing at 10 kt at the user's airport.
  const Line ground = [] {
    Line l;
    l.lat = 40.6413;
    l.lon = -73.7781;
    l.alt = 0;
    l.gs = 10;
    return l;
  }();
};

TEST_F(EngineCycle, RemovalsLeaveOnePerTenCyclesCreationsOnePerFiftyLiveFirst) {
  for (std::uint32_t id : {301u, 302u, 303u}) g_removalDeque.push_back(id);
  g_pendingParkedCreations.push_back({.position = {}, .callsign = "PARK1", .title = {}, .hexid = 5});
  g_pendingLiveCreations.push_back({.position = {}, .callsign = "LIVE1", .title = {}, .hexid = 11000001});
  std::vector<std::int32_t> created, removed;
  for (std::int32_t c = 0; c <= 120; ++c) {
    const auto creations = sim().creationsSent;
    const auto removals = sim().removalsSent;
    run(1);
    if (sim().creationsSent != creations) created.push_back(c);
    if (sim().removalsSent != removals) removed.push_back(c);
  }
  // (A fourth removal follows: no live aircraft waits for the object created for LIVE1.)
  ASSERT_GE(removed.size(), 3u);
  EXPECT_EQ(std::vector<std::int32_t>(removed.begin(), removed.begin() + 3), (std::vector<std::int32_t>{0, 10, 20}));
  EXPECT_EQ(created, (std::vector<std::int32_t>{0, 50}));
  ASSERT_EQ(sim().objects.size(), 2u);
  EXPECT_EQ(sim().objects.begin()->second.callsign, "LIVE1");
}

// Which records of a known aircraft are taken: one table of (what changes, taken?).
TEST_F(EngineCycle, RecordsOfAKnownAircraftFollowTheDropRules) {
  struct Case {
    const char* what;
    Line first;
    Line next;
    bool taken;
  };
  Line air;  // 250 kt at 5000 ft
  const auto later = [](Line l, double s) { return l.after(s); };
  const auto faster = [](Line l, double s, double gs) { l = l.after(s); l.gs = gs; return l; };
  const auto turned = [](Line l, double s, double track) { l = l.after(s); l.track = track; return l; };
  std::vector<Case> cases{
      {"same timestamp", air, later(air, 0), false},
      {"one second later", air, later(air, 1), false},
      {"ten seconds later", air, later(air, 10), true},
      {"ten times faster", ground, faster(ground, 10, 100), false},
      {"from 5 kt to 80 kt", faster(ground, 0, 5), faster(ground, 10, 80), false},
      {"fast, straight, 450 m not yet flown", faster(air, 0, 300), faster(air, 2, 300), false},
      {"fast, straight, 450 m flown", faster(air, 0, 300), faster(air, 6, 300), true},
      {"fast but turning", faster(air, 0, 300), turned(faster(air, 0, 300), 2, 95), true},
      // A track past 360 degrees (the feed does not bound it) is measured round the circle: 366 is
      // 6 degrees on from north, 361 one.
      {"fast, from north to a track of 366", turned(faster(air, 0, 300), 0, 0), turned(turned(faster(air, 0, 300), 0, 0), 2, 366), true},
      {"fast, from north to a track of 361", turned(faster(air, 0, 300), 0, 0), turned(turned(faster(air, 0, 300), 0, 0), 2, 361), false},
      {"taxiing straight, 20 m not yet covered", ground, later(ground, 2), false},
      {"taxiing straight, 20 m covered", ground, later(ground, 5), true},
  };
  std::uint32_t hexid = 11100000;
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.first.hexid = c.next.hexid = ++hexid;
    c.first.callsign = c.next.callsign = fmt::format("T{}", hexid % 1000);
    ASSERT_TRUE(feed(c.first));
    run(1);
    const LiveAc* ac = lf_findLiveByHexid(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_TRUE(feed(c.next));
    run(1);
    EXPECT_EQ(ac->situations.size(), c.taken ? 2u : 1u);
  }
}

TEST_F(EngineCycle, NewAircraftPassTheCategoryAndAltitudeFilters) {
  struct Case {
    const char* what;
    Line line;
    bool taken;
  };
  Line cessna;
  cessna.type = "C172";
  cessna.gs = 100;
  Line low;  // 450 ft at 150 kt near a park airport at 400 ft
  low.alt = 450;
  low.gs = 150;
  Line onGround = ground;
  onGround.gs = 5;
  const std::vector<std::pair<Case, bool>> cases{{{"light, LIGHT_AIRCRAFT off", cessna, false}, false},
                                                  {{"light, LIGHT_AIRCRAFT on", cessna, true}, true},
                                                  {{"large always", Line{}, true}, false},
                                                  {{"airborne near the airport's ground", low, false}, false},
                                                  {{"on the ground", onGround, true}, false}};
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport.alt = 400;
  }
  std::uint32_t hexid = 11200000;
  for (auto [c, lightOn] : cases) {
    SCOPED_TRACE(c.what);
    LIGHT_AIRCRAFT.value = lightOn ? 1 : 0;
    c.line.hexid = ++hexid;
    c.line.callsign = fmt::format("U{}", hexid % 1000);
    feed(c.line);
    run(1);
    EXPECT_EQ(lf_findLiveByHexid(hexid) != nullptr, c.taken);
  }
}

TEST_F(EngineCycle, MaxLiveRemovesTheFarthest) {
  for (std::uint32_t i = 0; i < 13; ++i)
    addInSim(11300000 + i, 200 + i, situation(40.6413 + 0.01 * (i + 1), -73.7781, 3000, 200, 1 << 30));
  g_maxLiveInUse = 10;
  gf_applyMaxLive();
  std::vector<std::uint32_t> removing;
  for (const LiveAc& ac : g_liveAcs)
    if (ac.state == ActState::Removing) removing.push_back(ac.hexid);
  EXPECT_EQ(removing, (std::vector<std::uint32_t>{11300010, 11300011, 11300012}));
  EXPECT_EQ(g_removalDeque.size(), 3u);
}

// An aircraft created just inside the injection radius must be found by the in-range request, which
// tells the engine its object id.
TEST_F(EngineCycle, AnAircraftCreatedAtTheEdgeOfTheRadiusIsFound) {
  Line line;
  line.lat = 40.6413 + 39.98 / 60;  // 39.98 nm north of the user; the radius is 40 nm
  line.lon = -73.7781;
  line.track = 180;
  feedTrack(line, 3);
  ASSERT_TRUE(harness().runUntil([&] { return sim().creationsSent == 1; }, 3000));
  EXPECT_TRUE(harness().runUntil(
      [&] {
        const LiveAc* ac = lf_findLiveByHexid(line.hexid);
        return ac != nullptr && ac->objectId != 0;
      },
      300));
}

TEST_F(EngineCycle, RestartResetClearsEveryEngineList) {
  feedTrack(Line{}, 4);
  run(3000);
  ASSERT_FALSE(g_liveAcs.empty());
  g_removalDeque.push_back(5);
  g_pendingParkedCreations.push_back({});
  g_newArrivals.push_back(1);
  gf_resetEngine();
  EXPECT_TRUE(g_liveAcs.empty());
  EXPECT_TRUE(g_parkedActs.empty());
  EXPECT_TRUE(g_pendingLiveCreations.empty());
  EXPECT_TRUE(g_pendingParkedCreations.empty());
  EXPECT_TRUE(g_removalDeque.empty());
  EXPECT_TRUE(g_spawnRequests.empty());
  EXPECT_TRUE(g_createdObjects.empty());
  EXPECT_TRUE(g_newArrivals.empty());
  EXPECT_EQ(g_engineCycle.load(), 0);
}

// The lookups by hexid and by object id stay right while the list changes within one cycle and
// across cycles: an aircraft erased (the last one takes its place), an object handed out, one taken
// back, and the cycle count set back by a restart.
TEST_F(EngineCycle, LookupsFollowTheListThroughItsChanges) {
  for (std::uint32_t i = 0; i < 5; ++i)
    addLive(11500000 + i, "A321", situation(40.7, -73.9, 5000, 250, 0), "TST1").objectId = i == 4 ? 0 : 700 + i;
  for (std::uint32_t i = 0; i < 4; ++i) {
    ASSERT_NE(lf_findLiveByObjectId(700 + i), nullptr);
    EXPECT_EQ(lf_findLiveByObjectId(700 + i)->hexid, 11500000 + i);
  }
  lf_eraseLiveAcUnordered(*lf_findLiveByHexid(11500001));
  lf_findLiveByHexid(11500004)->objectId = 704;
  lf_findLiveByObjectId(702)->objectId = 0;
  const auto check = [] {
    EXPECT_EQ(lf_findLiveByObjectId(701), nullptr);
    EXPECT_EQ(lf_findLiveByObjectId(702), nullptr);
    EXPECT_EQ(lf_findLiveByHexid(11500001), nullptr);
    ASSERT_NE(lf_findLiveByObjectId(704), nullptr);
    EXPECT_EQ(lf_findLiveByObjectId(704)->hexid, 11500004u);
    ASSERT_NE(lf_findLiveByObjectId(703), nullptr);
    EXPECT_EQ(lf_findLiveByObjectId(703)->hexid, 11500003u);
    ASSERT_NE(lf_findLiveByHexid(11500002), nullptr);
    EXPECT_EQ(lf_findLiveByHexid(11500002)->objectId, 0u);
  };
  check();
  g_engineCycle.store(g_engineCycle.load() + 1);
  check();
  // A restart empties the list and counts cycles from nothing again.
  const std::int32_t cycle = g_engineCycle.load();
  gf_resetEngine();
  g_engineCycle.store(cycle);
  addLive(11500009, "A321", situation(40.7, -73.9, 5000, 250, 0), "TST1").objectId = 703;
  ASSERT_NE(lf_findLiveByObjectId(703), nullptr);
  EXPECT_EQ(lf_findLiveByObjectId(703)->hexid, 11500009u);
  EXPECT_EQ(lf_findLiveByHexid(11500003), nullptr);
}

// ---- Results ----

class SimResults : public EngineTest {
protected:
  // A live aircraft whose creation has gone to the simulator.
  LiveAc& creating(std::uint32_t hexid, const std::string& callsign = "TST1") {
    LiveAc& ac = addLive(hexid, "A321", situation(40.7, -73.9, 5000, 250, 0), callsign);
    ac.situations.push_back(situation(40.71, -73.9, 5000, 250, 1000));
    ac.state = ActState::Creating;
    ac.liveryTitle = gf_findStoredTitle(enginesim::genericTitle("A321"));
    return ac;
  }
  Act& parkedCreating(std::uint32_t hexid, ActPosition at) {
    AcIdentity id;
    id.model = "B738";
    id.callsign = "PARK1";
    g_parkedActs.emplace_back(AcData(id), 0, at, 0);
    g_parkedActs.back().hexid = hexid;
    g_parkedActs.back().state = ActState::Creating;
    return g_parkedActs.back();
  }
};

TEST_F(SimResults, ANewLiveObjectTogglesItsLightsTwiceThenIsInTheSimulator) {
  creating(11400001);
  sim().push({120, 11400001, 0, CreatedLive, 0, 3000});
  const std::int32_t start = cycle();
  run(199);
  EXPECT_EQ(g_liveAcs[0].state, ActState::Creating);
  EXPECT_EQ(g_liveAcs[0].objectId, 120u);
  run(1);
  EXPECT_EQ(g_liveAcs[0].state, ActState::InSim);
  std::vector<std::int32_t> toggles;
  for (const auto& e : sim().eventsOf(120))
    if (e.eventId == EVT_ALL_LIGHTS_TOGGLE) toggles.push_back(e.cycle - start);
  EXPECT_EQ(toggles, (std::vector<std::int32_t>{49, 99}));
  EXPECT_TRUE(g_createdObjects.empty());
}

TEST_F(SimResults, AParkedActIsShutDownTwoHundredCyclesAfterItsCreation) {
  parkedCreating(17, ActPosition{40.64, -73.78, 1.0});
  sim().push({130, 17, 0, CreatedParked, 0, 0});
  run(199);
  EXPECT_EQ(g_parkedActs[0].state, ActState::Creating);
  run(1);
  EXPECT_EQ(g_parkedActs[0].state, ActState::InSim);
  EXPECT_EQ(g_parkedActs[0].objectId, 130u);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
  for (const auto& e : sim().eventsOf(130)) events.emplace_back(e.eventId, e.data);
  EXPECT_EQ(events, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                        {EVT_THROTTLE_SET, 0}, {EVT_FLAPS_SET, 0}, {EVT_ENGINE_AUTO_SHUTDOWN, 0},
                        {EVT_NAV_LIGHTS_SET, NAV_LIGHTS_WHILE_PARKED.value}, {EVT_BEACON_LIGHTS_SET, 0},
                        {EVT_LANDING_LIGHTS_SET, 0}, {EVT_TAXI_LIGHTS_SET, 0}, {EVT_STROBES_SET, 0},
                        {EVT_LOGO_LIGHTS_SET, 1}, {EVT_CABIN_LIGHTS_SET, 1}}));
}

TEST_F(SimResults, ARemovedRespawningAircraftComesBackNew) {
  LiveAc& ac = addInSim(11400200, 150, situation(40.7, -73.9, 5000, 250, 1 << 30));
  ac.throttleMarker = 2;
  ac.flapsMarker = 1;
  liveryRespawn(ac);
  EXPECT_EQ(ac.state, ActState::Respawning);
  sim().push({150, 0, 0, Removed, 0, 0});
  run(1);
  // Back to New, and spawned again at once from the position it had.
  ASSERT_EQ(g_liveAcs.size(), 1u);
  EXPECT_EQ(g_liveAcs[0].state, ActState::Creating);
  EXPECT_EQ(g_spawnRequests.size() + g_pendingLiveCreations.size(), 1u);
  EXPECT_EQ(g_liveAcs[0].objectId, 0u);
  EXPECT_EQ(g_liveAcs[0].throttleMarker, 5u);
  EXPECT_EQ(g_liveAcs[0].flapsMarker, 4u);
  // Any other removed aircraft goes from the list.
  addInSim(11400201, 151, situation(40.7, -73.9, 5000, 250, 1 << 30));
  sim().push({151, 0, 0, Removed, 0, 0});
  run(1);
  EXPECT_EQ(lf_findLiveByHexid(11400201), nullptr);
}

// A refused title is never handed out again: the aircraft coming back finds it first, so it gets no
// livery and waits, with its airline and type, in the list of aircraft without a match.
TEST_F(SimResults, ARefusedTitleIsNeverHandedOutAgain) {
  enginesim::buildLiveryTables({{"DAL", "A321", "Refused Title", "", 1, false}, {"DAL", "A321", "Second Title", "", 1, false}});
  sim().refusedTitles.insert("Refused Title");
  Line line;
  line.hexid = 11400300;
  feedTrack(line, 4);
  run(1000);
  ASSERT_EQ(sim().refused.size(), 1u);
  EXPECT_EQ(g_excludedTitles, (std::vector<std::string>{"Refused Title"}));
  EXPECT_TRUE(g_noMatchSet.empty());
  // The hexid comes back with new data.
  feedTrack(line.after(100), 4);
  run(1000);
  EXPECT_EQ(sim().objectOfHexid(11400300), nullptr);
  EXPECT_EQ(sim().refused.size(), 1u);
  EXPECT_EQ(g_noMatchSet, (std::set<std::string>{"DAL A321"}));
}

TEST_F(SimResults, RefusalsEraseParkedActsUpToHexid10000AndLiveAircraftAbove) {
  parkedCreating(10000, ActPosition{});
  creating(10001);
  sim().push({0, 10000, 0, CreateFailed, 0, 0});
  sim().push({0, 10001, 0, CreateFailed, 0, 0});
  run(1);
  EXPECT_TRUE(g_parkedActs.empty());
  EXPECT_TRUE(g_liveAcs.empty());
}

TEST_F(SimResults, TheTwentiethRefusedTitleIsReportedOnceAndTheEngineGoesOn) {
  // One livery per airline, so that every aircraft finds a title of its own.
  std::vector<std::string> titles;
  std::vector<LiveryData> liveries;
  for (int i = 0; i < 25; ++i) {
    titles.push_back(fmt::format("Title {}", i));
    liveries.push_back({fmt::format("T{:02}", i), "A321", titles.back(), "", 1, false});
  }
  enginesim::buildLiveryTables(liveries);
  int errors = 0;
  for (std::uint32_t i = 0; i < 22; ++i) {
    // Each aircraft gets the first title not yet refused, and the simulator refuses it.
    LiveAc& ac = creating(11400400 + i, fmt::format("R{}", i));
    ac.liveryTitle = {};
    ac.airline = fmt::format("T{:02}", i);
    lf_matchLivery(ac);
    ASSERT_EQ(ac.liveryTitle, titles[i]);
    sim().push({0, 11400400 + i, 0, CreateFailed, 0, 0});
    const std::int32_t before = cycle();
    run(1);
    EXPECT_EQ(cycle(), before + 1);
    EXPECT_EQ(lf_findLiveByHexid(11400400 + i), nullptr);
    if (gf_messageLineSnapshot().error.find("81: ") == 0) {
      ++errors;
      EXPECT_EQ(i, 19u);
      gf_clearError();
    }
  }
  EXPECT_EQ(errors, 1);
}

TEST_F(SimResults, AnObjectCreatedForAGoneAircraftIsRemoved) {
  sim().push({160, 11400500, 0, CreatedLive, 0, 100});
  run(1);
  EXPECT_EQ(sim().removalsSent, 1u);
  EXPECT_TRUE(g_removalDeque.empty());
}

}  // namespace
}  // namespace amb
