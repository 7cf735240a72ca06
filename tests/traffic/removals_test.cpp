// Removals: every way an aircraft leaves the simulator, and what must not get stuck on the way.

#include "engine_fixture.hpp"

#include "core/clock.hpp"
#include "core/strings.hpp"
#include "settings/options.hpp"

#include <atomic>
#include <chrono>
#include <thread>
#include <tuple>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class Removals : public EngineTest {};

TEST_F(Removals, RemovingAllLiveAircraftTakesBackWhatHasNotGoneToTheSimulator) {
  addInSim(11500001, 201, situation(40.7, -73.9, 5000, 250, 1 << 30));
  LiveAc& waiting = addLive(11500002, "A321", situation(40.7, -73.8, 5000, 250, 0), "WAIT1");
  waiting.state = ActState::Creating;
  g_pendingLiveCreations.push_back({.position = {}, .callsign = "WAIT1", .title = {}, .hexid = 11500002});
  LiveAc& sent = addLive(11500003, "A321", situation(40.7, -73.7, 5000, 250, 0), "SENT1");
  sent.state = ActState::Creating;
  addLive(11500004, "A321", situation(40.7, -73.6, 5000, 250, 0), "NEW1");

  gf_removeAllLiveAc();
  ASSERT_EQ(g_liveAcs.size(), 3u);
  EXPECT_EQ(lf_findLiveByHexid(11500001)->state, ActState::Removing);
  EXPECT_EQ(lf_findLiveByHexid(11500002), nullptr);
  EXPECT_TRUE(g_pendingLiveCreations.empty());
  EXPECT_EQ(lf_findLiveByHexid(11500003)->removeWhenCreated, 1u);
  EXPECT_EQ(lf_findLiveByHexid(11500004)->state, ActState::New);
  // The one sent is removed once its object exists and has settled.
  sim().push({202, 11500003, 0, CreatedLive, 0, 3000});
  run(200);
  EXPECT_EQ(lf_findLiveByHexid(11500003)->state, ActState::Removing);
  run(10);
  EXPECT_EQ(sim().removalsSent, 2u);
  // It stays removed: its settling does not bring it into the simulator again.
  run(250);
  const LiveAc* gone = lf_findLiveByHexid(11500003);
  EXPECT_TRUE(gone == nullptr || gone->state != ActState::InSim);
}

// An act not yet created is taken back from its queue: hexids up to 10000 are parked aircraft, above
// live ones.
TEST_F(Removals, ACreationIsTakenBackFromItsOwnQueue) {
  AcIdentity id;
  id.model = "B738";
  id.callsign = "PARK3";
  g_parkedActs.emplace_back(AcData(id), 0, ActPosition{40.64, -73.78, 0}, 0);
  Act& parked = g_parkedActs.back();
  parked.hexid = 10000;
  parked.state = ActState::Creating;
  LiveAc& live = addLive(10001, "A321", situation(40.7, -73.8, 5000, 250, 0), "LIVE3");
  live.state = ActState::Creating;
  for (auto* queue : {&g_pendingParkedCreations, &g_pendingLiveCreations}) {
    queue->push_back({.position = {}, .callsign = "PARK3", .title = {}, .hexid = 10000});
    queue->push_back({.position = {}, .callsign = "LIVE3", .title = {}, .hexid = 10001});
  }
  removeAircraftFromSim(parked);
  removeAircraftFromSim(live);
  ASSERT_EQ(g_pendingParkedCreations.size(), 1u);
  EXPECT_EQ(g_pendingParkedCreations[0].callsign, "LIVE3");
  ASSERT_EQ(g_pendingLiveCreations.size(), 1u);
  EXPECT_EQ(g_pendingLiveCreations[0].callsign, "PARK3");
  g_pendingParkedCreations.clear();
  g_pendingLiveCreations.clear();
}

// Shut down at its stand a parked aircraft keeps its cabin lights on, but one in ten (by the random
// choices, when they are on) goes dark.
TEST_F(Removals, OneParkedAircraftInTenHasItsCabinDark) {
  const bool randomBefore = gf_randomOn();
  gf_setRandomOn(true);
  gf_randomEngine().seed(20190305);
  AcIdentity id;
  id.model = "B738";
  g_parkedActs.emplace_back(AcData(id), 0, ActPosition{40.64, -73.78, 0}, 0);
  Act& act = g_parkedActs.back();
  act.objectId = 480;
  constexpr int kShutDowns = 50000;
  for (int i = 0; i < kShutDowns; ++i) lf_shutDownParkedAc(act);
  run(1);
  gf_setRandomOn(randomBefore);
  long dark = 0, cabin = 0;
  for (const auto& e : sim().eventsOf(480))
    if (e.eventId == EVT_CABIN_LIGHTS_SET) {
      ++cabin;
      dark += e.data == 0 ? 1 : 0;
    }
  ASSERT_EQ(cabin, kShutDowns);
  // A tenth, 5000, give or take three and a half standard deviations (67 each): the engine is seeded,
  // so the count is the same on every run.
  EXPECT_NEAR(dark, kShutDowns / 10, 235);
}

// The exit sequence runs when the engine's cycles may have stopped: it asks the simulator itself.
TEST_F(Removals, TheExitWaitsBoundedForObjectsStillBeingCreated) {
  LiveAc& sent = addLive(11500901, "A321", situation(40.7, -73.7, 5000, 250, 0), "SENT9");
  sent.state = ActState::Creating;
  gf_removeAllLiveAc();
  EXPECT_FALSE(gf_awaitCreationsAndRemove(std::chrono::milliseconds(200)));
  EXPECT_GE(sim().nearbyRequests, 1u);
  sim().push({203, 11500901, 0, CreatedLive, 0, 3000});
  EXPECT_TRUE(gf_awaitCreationsAndRemove(std::chrono::seconds(5)));
  EXPECT_EQ(lf_findLiveByHexid(11500901)->state, ActState::Removing);
  // The removal went straight to the simulator's queue.
  EXPECT_TRUE(g_removalDeque.empty());
}

// A parked aircraft settles for a while after its object exists; an exit during that time (the
// engine's cycles have stopped, so it would never settle) removes its object all the same, and an
// object made for a parked act the engine no longer has goes as well.
TEST_F(Removals, TheExitRemovesParkedObjectsThatAreStillSettling) {
  AcIdentity id;
  id.model = "A319";
  for (std::uint32_t hexid : {41u, 42u}) {
    id.callsign = "AAL" + std::to_string(2200 + hexid) + "*";
    g_parkedActs.emplace_back(AcData(id), 0, ActPosition{40.64, -73.78, 0}, 0);
    g_parkedActs.back().hexid = hexid;
    g_parkedActs.back().state = ActState::Creating;
  }
  for (std::uint32_t object : {301u, 302u, 303u}) sim().addObject(object, 0, AiPosBlock{});
  sim().push({301, 41, 0, CreatedParked, 0, 0});  // taken by the engine: settling
  sim().push({302, 77, 0, CreatedParked, 0, 0});  // no act of that hexid
  run(10);
  gf_removeAllParkedActs();
  // The second's creation is with the simulator: its object is removed as soon as it exists.
  sim().push({303, 42, 0, CreatedParked, 0, 0});
  EXPECT_TRUE(gf_awaitCreationsAndRemove(std::chrono::seconds(5)));
  for (const Act& act : g_parkedActs) EXPECT_EQ(act.state, ActState::Removing) << act.callsign;
  run(50);
  EXPECT_EQ(sim().removalsSent, 3u);
  EXPECT_EQ(sim().liveObjects(), 0u);
}

// An act must never wait for ever for a creation or a removal that cannot come.
TEST_F(Removals, NothingIsLeftWaitingForAnObjectThatWillNotCome) {
  // Spawned, its creation request not yet built.
  LiveAc& spawned = addLive(11500101, "A321", situation(40.7, -73.9, 5000, 250, 0), "SPWN1");
  spawned.state = ActState::Creating;
  g_spawnRequests.push_back(11500101);
  removeAircraftFromSim(spawned);
  EXPECT_TRUE(g_spawnRequests.empty());
  EXPECT_EQ(spawned.remove, 1u);
  // In the simulator without an object id: nothing to remove, so it goes at once.
  LiveAc& noObject = addInSim(11500102, 0, situation(40.7, -73.9, 5000, 250, 1 << 30));
  removeAircraftFromSim(noObject);
  EXPECT_EQ(noObject.remove, 1u);
  EXPECT_TRUE(g_removalDeque.empty());
  // Spawned without a callsign: no request can be built.
  LiveAc& anonymous = addLive(11500103, "A321", situation(40.7, -73.9, 5000, 250, 0), "");
  anonymous.state = ActState::Creating;
  lf_buildCreationRequest(11500103);
  EXPECT_EQ(anonymous.remove, 1u);
  run(1);
  EXPECT_TRUE(g_liveAcs.empty());
  // A removal already queued is not queued twice.
  LiveAc& inSim = addInSim(11500104, 210, situation(40.7, -73.9, 5000, 250, 1 << 30));
  removeAircraftFromSim(inSim);
  removeAircraftFromSim(inSim);
  EXPECT_EQ(g_removalDeque.size(), 1u);
}

TEST_F(Removals, TheMeanTimeAtStandsCountsOverDayBoundaries) {
  // Monday 2019-03-04 00:10 UTC: day 1, slot 0.
  clock::ManualClock clock(1551658200LL);
  ASSERT_EQ(gf_weekSlotNow(), (WeekSlot{1, 0}));
  LiveAc& a = addInSim(11500701, 261, situation(40.64, -73.78, 0, 0, 1 << 30, false));
  a.setPhase(GroundPhase::AtStand);
  a.standId = 1;
  a.standArrivalTicks = gf_steadyTicks();
  // Taken on Saturday at 23:30 (day 6, slot 47): four half hours across the week's end.
  a.weekDay = 6;
  a.halfHourSlot = 47;
  EXPECT_EQ(gf_countLiveAtStands(true), 1);
  EXPECT_FLOAT_EQ(gf_meanHoursAtStands(), 49 / 2.0f + 0.5f);
  // Sunday 23:30 to Monday 00:00 is one half hour.
  a.weekDay = 7;
  EXPECT_EQ(gf_countLiveAtStands(true), 1);
  EXPECT_FLOAT_EQ(gf_meanHoursAtStands(), 1 / 2.0f + 0.5f);
}

// The exit sequence removes every aircraft from its own thread while the worker's cycles run.
TEST_F(Removals, RemovalsFromAnotherThreadDoNotRaceTheEngine) {
  feedTrack(Line{}, 5);
  Line other;
  other.hexid = 11500801;
  other.callsign = "OTH1";
  other.lat = 40.8;
  feedTrack(other, 5);
  std::atomic<bool> stop{false};
  std::thread exitThread([&] {
    while (!stop) {
      gf_removeAllLiveAc();
      gf_removeAllParkedActs();
      gf_flushRemovalDeque();
      std::this_thread::yield();
    }
  });
  for (int i = 0; i < 50; ++i) {
    feedTrack(other.after(50 + 10 * i), 1, 0.5);
    run(50);
  }
  stop = true;
  exitThread.join();
  // Whatever came into the simulator meanwhile goes with the last removal.
  EXPECT_GT(sim().objects.size(), 0u);
  gf_removeAllLiveAc();
  EXPECT_TRUE(harness().runUntil([&] { return sim().liveObjects() == 0; }, 2000));
}

TEST_F(Removals, ANewLiveAircraftReplacesItsParkedTwin) {
  AcIdentity id;
  id.model = "B738";
  id.callsign = "X";
  id.secondCallsign = "X";
  Act parked(AcData(id), 4, ActPosition{}, 0);
  parked.state = ActState::InSim;
  parked.registration = "N1";
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"X_", "", true}, {"X", "", true}, {"Y", "", false}, {"Y_", "", false}, {"Z", "N1", true}};
  for (const auto& [callsign, registration, match] : cases) {
    LiveAc& live = addLive(11500400, "B738", situation(40.7, -73.9, 0, 10, 0, false), callsign);
    live.registration = registration;
    EXPECT_EQ(gf_removeIfSameRegOrCallsign({&live, live.callsign.substr(0, live.callsign.size() - 1), true}, parked), match)
        << callsign;
    g_liveAcs.clear();
  }
}

}  // namespace
}  // namespace amb
