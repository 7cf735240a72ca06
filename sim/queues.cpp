// The command queues between the engine and the simulator: positions (double-buffered), client
// events, creations and removals, all under g_simMutex; the per-frame flush that sends them; the
// requests about the user aircraft; and the failed-request count that stops all sending.

#include "core/clock.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/strings.hpp"
#include "sim/link.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <new>

namespace amb {

std::atomic<SimHandle> g_hSimConnect{nullptr};
std::mutex g_simMutex;
std::atomic<std::uint8_t> g_simSendError{0};
std::atomic<std::uint32_t> g_simExpectedVersion{5};
std::vector<std::uint32_t> g_addedObjectIds;
std::vector<PendingCreation> g_pendingCreations;

namespace {

constexpr std::size_t kReserved = 256;
constexpr float kDropPositionsAtOrBelowFps = 50.0f;
// A creation the simulator has not answered in this time is given up. The engine gave up its
// aircraft long before; until then an object that turns up late is still known as the program's
// own, and the engine removes it.
constexpr auto kCreationAnswerBound = std::chrono::minutes(2);

// The engine fills one position list while the flush sends the other; the hand-over swaps them.
std::vector<PosUpdate> g_positionLists[2];
std::vector<PosUpdate>* g_positionsFill = &g_positionLists[0];
std::vector<PosUpdate>* g_positionsSend = &g_positionLists[1];
std::vector<SimEventCmd> g_simEvents;
std::vector<CreateRequest> g_simCreations;
std::vector<std::uint32_t> g_simRemovals;
std::atomic<std::uint32_t> g_failedRequests{0};

void emptySendQueues() {
  g_positionsSend->clear();
  g_simEvents.clear();
  g_simCreations.clear();
  g_simRemovals.clear();
}

void logRequestFailure(const char* what) {
  gf_logMarked(what);
  gf_simConnectRequestFailed();
}

}  // namespace

void lf_appendSimEventLocked(const SimEventCmd& event) { g_simEvents.push_back(event); }

void lf_dropUnansweredCreations(clock::SteadyTime now) {
  std::erase_if(g_pendingCreations, [&](const PendingCreation& p) {
    if (now - p.sentAt < kCreationAnswerBound) return false;
    gf_logPeerf("The simulator has not answered the creation of {} (hexid {}) in {} s, given up", p.callsign, p.hexid,
                std::chrono::duration_cast<std::chrono::seconds>(kCreationAnswerBound).count());
    return true;
  });
}

void gf_queueCreateAircraft(const CreateRequest& request) {
  std::lock_guard lock(g_simMutex);
  g_simCreations.push_back(request);
}

void gf_queueSimEvent(const SimEventCmd& event) {
  std::lock_guard lock(g_simMutex);
  g_simEvents.push_back(event);
}

void gf_queueNavLights(std::uint32_t objectId, std::uint32_t data) {
  gf_queueSimEvent({objectId, EVT_NAV_LIGHTS_SET, data});
}

void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t data) {
  gf_queueSimEvent({objectId, EVT_CABIN_LIGHTS_SET, data});
}

void gf_queueRemoval(std::uint32_t objectId) {
  std::lock_guard lock(g_simMutex);
  g_simRemovals.push_back(objectId);
}

void gf_updateAircraft(const PosUpdate& update) {
  try {
    g_positionsFill->push_back(update);
  } catch (const std::bad_alloc& e) {
    gf_logMarked(fmt::format("{}: {}", "gf_updateAircraft", e.what()));
    throw;
  }
}

bool gf_handOverPositions() {
  std::unique_lock lock(g_simMutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    if (g_simFrameRate.load() <= kDropPositionsAtOrBelowFps) {
      g_positionsFill->clear();
      return false;
    }
    lock.lock();
  }
  std::swap(g_positionsFill, g_positionsSend);
  g_positionsFill->clear();
  return true;
}

void gf_clearPositionQueues() {
  std::lock_guard lock(g_simMutex);
  g_positionLists[0].clear();
  g_positionLists[1].clear();
}

void lf_flushSimCommands() {
  if (g_simSendError != 0) {
    std::lock_guard lock(g_simMutex);
    emptySendQueues();
    return;
  }
  std::unique_lock lock(g_simMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;  // the engine has the queues; everything goes with the next frame

  const SimHandle h = g_hSimConnect;
  const std::uint32_t user = g_userObjectId;

  for (const PosUpdate& p : *g_positionsSend)
    if (p.objectId > user)
      SimConnect_SetDataOnSimObject(h, DEF_AI_POSITION, p.objectId, 0, 0, sizeof(AiPosBlock), &p.block);
  g_positionsSend->clear();

  for (const SimEventCmd& e : g_simEvents) {
    if (e.objectId <= user) continue;  // the user aircraft is never released or signalled
    if (e.eventId == EVT_FLAPS_SET) SimConnect_AIReleaseControl(h, e.objectId, REQ_RELEASE_CONTROL);
    if (SimConnect_TransmitClientEvent(h, e.objectId, e.eventId, e.data, GROUP_AI_EVENTS, 0) != kSimOk)
      gf_showMessage(fmt::format("SimConnect TransmitClientEvent: {} fails", e.eventId), true);
    else if (e.eventId == EVT_FLAPS_SET)
      SimConnect_AIReleaseControl(h, e.objectId, REQ_RELEASE_CONTROL);
  }
  g_simEvents.clear();

  for (const CreateRequest& c : g_simCreations) lf_createAircraftInSim(c);
  g_simCreations.clear();

  for (std::uint32_t id : g_simRemovals) {
    if (id <= user) {
      gf_logMarked(fmt::format("Simconnect call to remove ac with objectid {}", id));
      continue;
    }
    if (SimConnect_AIRemoveObject(h, id, REQ_REMOVE) != kSimOk) {
      gf_logMarked(fmt::format("{}!Simconnect call to remove AI ac from sim failed, id {}?",
                               gf_timeString(clock::unixSeconds()), id));
      gf_simConnectRequestFailed();
    }
  }
  g_simRemovals.clear();
}

void lf_createAircraftInSim(const CreateRequest& request) {
  const std::string title(request.title);
  std::uint32_t sendId = 0;
  // The creation hands back its own send id, so no packet of another thread can come in between.
  if (SimConnect_AICreateNonATCAircraft(g_hSimConnect, title.c_str(), request.callsign.c_str(), request.position,
                                        REQ_CREATE, &sendId) != kSimOk) {
    gf_logMarked(fmt::format("! Simcon call to create ac in sim failed, hexid:{}, liv: \"{}\", callsign: {}",
                             request.hexid, title, request.callsign));
    gf_simConnectRequestFailed();
    return;
  }
  const clock::SteadyTime now = clock::steadyNow();
  lf_dropUnansweredCreations(now);
  g_pendingCreations.push_back({sendId, request.hexid, request.callsign, now});
}

UserAcBlock gf_requestUserAcPosition() {
  if (g_simSendError == 0) {
    HResult r;
    {
      std::lock_guard lock(g_simMutex);
      r = SimConnect_RequestDataOnSimObject(g_hSimConnect, REQ_USER_AIRCRAFT, DEF_USER_AIRCRAFT, 0, sc::kPeriodOnce,
                                            0, 0, 0, 0);
    }
    if (r != kSimOk) logRequestFailure("SimConnect request user ac position fails");
  }
  return gf_userAcSnapshot();
}

void gf_requestUserAcTitleAndModel() {
  HResult title, model;
  {
    std::lock_guard lock(g_simMutex);
    const SimHandle h = g_hSimConnect;
    title = SimConnect_RequestDataOnSimObject(h, REQ_USER_TITLE, DEF_TITLE, 0, sc::kPeriodOnce, 0, 0, 0, 0);
    model = SimConnect_RequestDataOnSimObject(h, REQ_USER_MODEL, DEF_ATC_MODEL, 0, sc::kPeriodOnce, 0, 0, 0, 0);
  }
  if (title != kSimOk) logRequestFailure("SimConnect request user ac title fails");
  if (model != kSimOk) logRequestFailure("SimConnect reques user ac model fails");
}

std::int32_t gf_requestUserOnGround() {
  return SimConnect_RequestDataOnSimObject(g_hSimConnect, REQ_USER_ON_GROUND, DEF_ON_GROUND, 0, sc::kPeriodSecond,
                                           0, 0, 0, 0);
}

void gf_simConnectRequestFailed() {
  const std::uint32_t count = ++g_failedRequests;
  if (count < 3) return;
  gf_showMessage(fmt::format("SimConnect request error {}, see Log.txt", count), true);
  g_simSendError = 1;
  gf_requestExit(SimConnectError, 10);
}

std::uint32_t gf_simRequestFailures() { return g_failedRequests; }

void gf_resetSimQueues(std::uint32_t expectedVersion) {
  g_simExpectedVersion = expectedVersion;
  {
    std::lock_guard lock(g_simMutex);
    for (auto& list : g_positionLists) list.reserve(kReserved);
    g_simCreations.reserve(kReserved);
    g_simRemovals.reserve(kReserved);
  }
  g_pendingCreations.reserve(kReserved);
  g_addedObjectIds.reserve(kReserved);
  g_simSendError = 0;
}

SimQueueSizes gf_simQueueSizes() {
  std::lock_guard lock(g_simMutex);
  return {g_positionsFill->size(), g_positionsSend->size(), g_simEvents.size(), g_simCreations.size(),
          g_simRemovals.size()};
}

std::vector<SimEventCmd> gf_queuedSimEvents() {
  std::lock_guard lock(g_simMutex);
  return g_simEvents;
}

void lf_resetQueues() {
  {
    std::lock_guard lock(g_simMutex);
    g_positionLists[0].clear();
    g_positionLists[1].clear();
    g_positionsFill = &g_positionLists[0];
    g_positionsSend = &g_positionLists[1];
    g_simEvents.clear();
    g_simCreations.clear();
    g_simRemovals.clear();
    g_hSimConnect = nullptr;
  }
  g_pendingCreations.clear();
  g_addedObjectIds.clear();
  g_failedRequests = 0;
  g_simSendError = 0;
}

}  // namespace amb
