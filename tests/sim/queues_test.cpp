// The command queues and the "SimClient" thread against the simulator double in this process: what
// a frame sends and in which order, creations accepted and refused, the failed-request stop and the
// open's failures. (A lost simulator and pause and resume are proved end to end.)

#include "core/exit.hpp"
#include "core/message_line.hpp"
#include "sim/link_fixture.hpp"
#include "sim/simconnect/connection.hpp"
#include "state/main_window.hpp"

#include <atomic>
#include <future>

namespace amb::test {
namespace {

using QueuesTest = LinkFixture;
using simdouble::LoggedPacket;

std::uint32_t u32At(const LoggedPacket& p, std::size_t offset) { return sc::getU32(p.bytes.data() + offset); }

CreateRequest creation(const std::string& callsign, std::uint32_t hexid) {
  return {{40.6413, -73.7781, 13, 0, 0, 90, 1, 0}, callsign, "Airbus A320 Lufthansa", hexid};
}

// Positions go through the engine's hand-over before a frame can send them.
void queuePositions(std::initializer_list<std::uint32_t> objectIds) {
  for (std::uint32_t id : objectIds) gf_updateAircraft({{40.64, -73.77}, id});
  ASSERT_TRUE(gf_handOverPositions());
}

std::vector<LoggedPacket> sentSince(const simdouble::SimDouble& d, std::size_t before) {
  const auto all = d.packets();
  return {all.begin() + static_cast<std::ptrdiff_t>(std::min(before, all.size())), all.end()};
}

TEST_F(QueuesTest, AFrameSendsPositionsEventsCreationsAndRemovalsInThatOrder) {
  connect();
  // The user's id is 2 until the simulator tells otherwise; ids at or below it are left alone.
  queuePositions({2, 5});
  gf_queueRemoval(2);
  gf_queueRemoval(5);
  gf_queueCreateAircraft(creation("DLH4AB", 4000001));
  gf_queueSimEvent({2, EVT_FLAPS_SET, 1});
  gf_queueSimEvent({5, EVT_FLAPS_SET, 3});
  gf_queueNavLights(5, 1);
  gf_queueCabinLights(6, 0);
  const std::size_t before = packetCount();
  command("frame");
  ASSERT_TRUE(waitPacketCount(before + 8));
  ASSERT_TRUE(waitLog("===> Simconnect call to remove ac with objectid 2"));

  const auto sent = sentSince(*m_double, before);
  ASSERT_EQ(sent.size(), 8u);
  const std::uint32_t types[] = {sc::kSetDataOnSimObject,   sc::kAIReleaseControl,      sc::kTransmitClientEvent,
                                 sc::kAIReleaseControl,     sc::kTransmitClientEvent,   sc::kTransmitClientEvent,
                                 sc::kAICreateNonATCAircraft, sc::kAIRemoveObject};
  for (std::size_t i = 0; i < std::size(types); ++i) EXPECT_EQ(sent[i].type, types[i]) << "packet " << i;
  EXPECT_EQ(sent[0].size, 100u);
  EXPECT_EQ(u32At(sent[0], 20), 5u);
  EXPECT_EQ(sc::getF64(sent[0].bytes.data() + 36), 40.64);
  // FLAPS_SET between two releases of the object; the fields as (offset, value).
  const std::vector<std::vector<std::pair<std::size_t, std::uint32_t>>> fields{
      {{16, DEF_AI_POSITION}, {32, 64}}, {{16, 5}, {20, REQ_RELEASE_CONTROL}},
      {{20, EVT_FLAPS_SET}, {24, 3}, {28, GROUP_AI_EVENTS}}, {{16, 5}}, {{20, EVT_NAV_LIGHTS_SET}},
      {{16, 6}, {20, EVT_CABIN_LIGHTS_SET}}, {{340, REQ_CREATE}}, {{16, 5}, {20, REQ_REMOVE}}};
  for (std::size_t i = 0; i < fields.size(); ++i)
    for (const auto& [offset, value] : fields[i]) EXPECT_EQ(u32At(sent[i], offset), value) << i << "@" << offset;
  EXPECT_EQ(sc::fieldText(reinterpret_cast<const char*>(sent[6].bytes.data() + 272), 12), "DLH4AB");

  const auto sizes = gf_simQueueSizes();
  EXPECT_EQ(sizes.positionsToSend + sizes.events + sizes.creations + sizes.removals, 0u);
}

TEST_F(QueuesTest, AFrameWhileTheEngineHoldsTheLockSendsNothingAndTheNextSendsAll) {
  connect();
  queuePositions({5});
  gf_queueNavLights(5, 1);
  const std::size_t before = packetCount();
  {
    std::lock_guard lock(g_simMutex);
    command("frame");
    command("exception 19");  // behind the frame: once it is logged, the frame was handled
    ASSERT_TRUE(waitLog("SIMCON EXCEP 19"));
  }
  EXPECT_EQ(packetCount(), before);
  command("frame");
  ASSERT_TRUE(waitPacketCount(before + 2));
  const auto sent = sentSince(*m_double, before);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].type, sc::kSetDataOnSimObject);
  EXPECT_EQ(sent[1].type, sc::kTransmitClientEvent);
}

TEST_F(QueuesTest, AnAcceptedCreationIsReleasedFrozenAndReportedCreatedLive) {
  connect({"user 40.6413 -73.7781"});
  gf_queueCreateAircraft(creation("DLH4AB", 4000001));
  command("frame");
  ASSERT_TRUE(waitFor([&] { return !packetsOfType(sc::kAICreateNonATCAircraft).empty(); }));
  {
    // The engine's in-range request; the double announced the object before it answers.
    std::lock_guard lock(g_simMutex);
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(g_hSimConnect, REQ_AI_NEARBY, DEF_OBJECT_GROUND, 20000,
                                                    sc::kObjectAircraft),
              kSimOk);
  }
  ASSERT_TRUE(waitResult(CreatedLive));
  const SimResult created = results().back();
  EXPECT_EQ(created.objectId, 3u);
  EXPECT_EQ(created.secondId, 4000001u);
  // The release leaves with the result; the double may log it a moment later.
  ASSERT_TRUE(waitFor([&] { return !packetsOfType(sc::kAIReleaseControl).empty(); }));
  const auto releases = packetsOfType(sc::kAIReleaseControl);
  ASSERT_EQ(releases.size(), 1u);
  EXPECT_EQ(u32At(releases[0], 16), 3u);

  command("frame");
  ASSERT_TRUE(waitFor([&] { return packetsOfType(sc::kTransmitClientEvent).size() == 3; }));
  const auto freezes = packetsOfType(sc::kTransmitClientEvent);
  for (std::uint32_t i = 0; i < 3; ++i)
    EXPECT_TRUE(u32At(freezes[i], 16) == 3u && u32At(freezes[i], 20) == EVT_FREEZE_LATITUDE_LONGITUDE_SET + i &&
                u32At(freezes[i], 24) == 1u) << i;
}

TEST_F(QueuesTest, ARefusedCreationIsReportedCreateFailed) {
  connect({"refuse-create next 1"});
  gf_queueCreateAircraft(creation("DLH4AB", 4000001));
  command("frame");
  ASSERT_TRUE(waitResult(CreateFailed));
  EXPECT_EQ(results().back().secondId, 4000001u);
  EXPECT_TRUE(exitRequests().empty());
}

TEST_F(QueuesTest, ACreationNotMadeForTooManyObjectsIsReportedLost) {
  connect({"max-objects 0"});
  gf_queueCreateAircraft(creation("DLH4AB", 4000001));
  command("frame");
  ASSERT_TRUE(waitResult(CreateLost));
  EXPECT_EQ(results().back().secondId, 4000001u);
  EXPECT_TRUE(g_pendingCreations.empty());
  EXPECT_TRUE(exitRequests().empty());
}

TEST_F(QueuesTest, TheThirdFailedRequestStopsAllSendingAndAsksForARestart) {
  connect();
  // A tail number of 12 characters does not fit: each creation fails before it is sent.
  for (std::uint32_t hexid : {4000001u, 4000002u, 4000003u}) gf_queueCreateAircraft(creation("ABCDEFGHIJKL", hexid));
  command("frame");
  // The exit is asked for in the middle of the frame's flush, which still holds the queues; the
  // exception behind the frame is logged once the flush has ended.
  command("exception 19");
  ASSERT_TRUE(waitExit(SimConnectError));
  ASSERT_TRUE(waitLog("SIMCON EXCEP 19"));
  EXPECT_EQ(exitRequests()[0].delay, 10u);
  EXPECT_EQ(gf_simRequestFailures(), 3u);
  EXPECT_EQ(g_simSendError.load(), 1);
  EXPECT_EQ(logCount("===> ! Simcon call to create ac in sim failed, hexid:4000002, liv: \"Airbus A320 Lufthansa\", "
                     "callsign: ABCDEFGHIJKL"),
            1u);
  EXPECT_EQ(gf_messageLineSnapshot().message, "SimConnect request error 3, see Log.txt");
  EXPECT_TRUE(packetsOfType(sc::kAICreateNonATCAircraft).empty());

  // From now on the queues are emptied unsent, and the user block is no longer asked for.
  const std::size_t before = packetCount();
  queuePositions({5});
  gf_queueNavLights(5, 1);
  gf_queueRemoval(5);
  gf_requestUserAcPosition();
  command("frame");
  command("exception 19");
  ASSERT_TRUE(waitFor([&] { return logCount("SIMCON EXCEP 19") == 2; }));
  EXPECT_EQ(packetCount(), before);
  const auto sizes = gf_simQueueSizes();
  EXPECT_EQ(sizes.positionsToSend + sizes.events + sizes.removals, 0u);
}

TEST_F(QueuesTest, AFailedOpenShowsTheUserErrorAndEndsTheConnectionWithoutAnExit) {
  const struct { const char* command; const char* error; } cases[] = {
      {"open-exception 5 7", "95: Simconnect Version Mismatch, dwindex: 7 "},
      {"sim-name Lockheed Martin Prepar3D v6",
       "78: wrong P3D version \"Lockheed Martin Prepar3D v6 (5.3.17.28160)\" connects ... ?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    const std::size_t closedBefore = logCount("SimConnect closed ok");
    startDouble({c.command});
    startClient();
    // The thread ends by itself; its connection is closed.
    ASSERT_TRUE(waitFor([&] { return logCount("SimConnect closed ok") > closedBefore; }));
    ASSERT_TRUE(waitFor([] { return gf_simClientsRunning() == 0; }));
    EXPECT_EQ(gf_messageLineSnapshot().error, c.error);
    EXPECT_EQ(g_mainWindow.simConnectOpen.load(), 0);
    EXPECT_EQ(g_hSimConnect.load(), nullptr);
    stopClient();
    stopDouble();
    gf_clearError();
  }
  EXPECT_TRUE(exitRequests().empty());
}

TEST_F(QueuesTest, WithoutASimulatorItWaitsAndRetriesEverySecondUntilStopped) {
  writeFile(m_cwd / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=1\n");
  std::atomic<int> attempts{0};
  lf_setConnectAttemptObserver([&](const SimConnectAttempt&) { ++attempts; });
  startClient();
  ASSERT_TRUE(waitFor([&] { return attempts >= 3; }));
  stopClient();
  const int seen = attempts;
  EXPECT_EQ(logCount("Waiting for Prepar3Dv5 ..."), 1u);
  EXPECT_EQ(gf_simClientsRunning(), 0u);
  EXPECT_EQ(attempts, seen);  // none after the stop
  EXPECT_TRUE(exitRequests().empty());
}

TEST(PositionHandOver, ABusyLockDropsTheCycleAtLowFrameRatesAndIsWaitedForAtHighOnes) {
  gf_resetSimLink(5);
  for (const float fps : {30.0f, 50.0f, 60.0f}) {
    SCOPED_TRACE(fps);
    gf_clearPositionQueues();
    g_simFrameRate = fps;
    gf_updateAircraft({{}, 7});
    std::promise<void> locked, release;
    std::thread engineOfAnotherKind([&] {
      std::lock_guard lock(g_simMutex);
      locked.set_value();
      release.get_future().wait();
    });
    locked.get_future().wait();
    auto handedOver = std::async(std::launch::async, [] { return gf_handOverPositions(); });
    if (fps <= 50.0f) {
      EXPECT_FALSE(handedOver.get());
    }
    release.set_value();
    engineOfAnotherKind.join();
    if (fps > 50.0f) {
      EXPECT_TRUE(handedOver.get());
    }
    const auto sizes = gf_simQueueSizes();
    EXPECT_EQ(sizes.positionsFilled, 0u);
    EXPECT_EQ(sizes.positionsToSend, fps > 50.0f ? 1u : 0u);
  }
  gf_resetSimLink(5);
}

}  // namespace
}  // namespace amb::test
