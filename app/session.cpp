#include "app/session.hpp"

#include "app/main_loop.hpp"
#include "app/worker.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/strings.hpp"
#include "feed/services.hpp"
#include "liveries/services.hpp"
#include "platform/thread_name.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace amb {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The "SimClient" thread with a flag that tells when its body has returned, so that the end of the
// program can wait for it with a bound.
std::mutex g_simClientMutex;
std::condition_variable g_simClientEnded;
bool g_simClientDone = true;
std::jthread g_simClientThread;

void lf_startSimClient() {
  // The previous run's thread was asked to stop by the exit sequence; it is joined before the new one
  // starts, so that two never talk to the simulator at once.
  std::jthread previous;
  {
    std::lock_guard lock(g_simClientMutex);
    previous = std::move(g_simClientThread);
  }
  if (previous.joinable()) {
    previous.request_stop();
    previous.join();
  }
  std::lock_guard lock(g_simClientMutex);
  g_simClientDone = false;
  g_simClientThread = std::jthread([](std::stop_token stop) {
    platform::setCurrentThreadName("SimClient");
    SimClient(stop);
    {
      std::lock_guard doneLock(g_simClientMutex);
      g_simClientDone = true;
    }
    g_simClientEnded.notify_all();
  });
}

void setTrafficQueueOpen(bool open) {
  std::lock_guard lock(g_trafficQueueMutex);
  g_trafficQueueOpen = open ? 1 : 0;
}

bool userInNullBox() { return gf_inNullBox(g_engineUserAc.latitude, g_engineUserAc.longitude); }

}  // namespace

void gf_requestSimClientStop() {
  std::lock_guard lock(g_simClientMutex);
  g_simClientThread.request_stop();
}

bool gf_stopSimClient(std::chrono::milliseconds bound) {
  std::unique_lock lock(g_simClientMutex);
  if (!g_simClientThread.joinable()) return true;
  g_simClientThread.request_stop();
  if (!g_simClientEnded.wait_for(lock, bound, [] { return g_simClientDone; })) {
    g_simClientThread.detach();
    return false;
  }
  g_simClientThread.join();
  return true;
}

bool lf_waitForSimulator() {
  while (g_simRunning == 0) {
    if (!lf_sleepFor(std::chrono::milliseconds(100)) || lf_runEnding()) break;
  }
  if (lf_runEnding()) return false;

  std::int32_t result = 0;
  {
    std::lock_guard lock(g_simMutex);
    result = gf_requestUserOnGround();
  }
  if (result < 0) {
    gf_logMarked("SimConnect request ac gnd/air fails");
    gf_simConnectRequestFailed();
  }

  while (!(g_userOnGroundKnown != 0 && !userInNullBox())) {
    g_engineUserAc = gf_requestUserAcPosition();
    if (!lf_sleepFor(std::chrono::milliseconds(500)) || lf_runEnding()) break;
  }
  if (lf_runEnding()) return false;

  gf_requestUserAcTitleAndModel();
  while (userInNullBox()) {
    g_engineUserAc = gf_requestUserAcPosition();
    if (!lf_sleepFor(std::chrono::milliseconds(200)) || lf_runEnding()) break;
  }
  return !lf_runEnding();
}

void lf_waitForFirstTraffic() {
  for (int waits = 0; static_cast<long long>(g_trafficReader.feedTimestamp.load()) == 0 && waits < 150; ++waits) {
    if (!lf_sleepUntil(SteadyClock::now() + std::chrono::milliseconds(100))) return;
  }
  if (static_cast<long long>(g_trafficReader.feedTimestamp.load()) == 0) gf_log("No traffic in this region?");
}

bool lf_startReaders(std::uint16_t qnhPort, std::uint16_t trafficPort) {
  // The exit sequence stops the readers first thing; a reader started after that would outlive it
  // (a restart clears the stop flags) beside the next run's own.
  if (lf_runEnding()) return false;
  std::thread(lf_qnhReaderThread, qnhPort).detach();
  const auto trafficStart = SteadyClock::now() + std::chrono::seconds(2);
  while (SteadyClock::now() < trafficStart) {
    if (!lf_sleepUntil(std::min(trafficStart, SteadyClock::now() + std::chrono::milliseconds(100))) || lf_runEnding())
      return false;
  }
  std::thread(lf_trafficReaderThread, trafficPort).detach();
  return true;
}

void lf_runSession() {
  try {
    g_readersWatched = 0;
    gf_repaintStatusArea();
    gf_repaintStatusArea();
    gf_reserveLiveTables();
    gf_reserveLiveryUseLists();
    gf_resetSimQueues(static_cast<std::uint32_t>(P3D_VERSION.value.load()));
    lf_startSimClient();
    if (!lf_waitForSimulator()) return;

    if (g_realTrafficLocal != 0 && AEROWINX.value == 0) {
      lf_startServer(PORT_NUMBER.value());
    } else {
      g_readersWatched = 1;
      gf_repaintStatusArea();
    }
    if (lf_runEnding()) return;
    g_startingUp = 0;
    gf_repaintStatusArea();

    if (AEROWINX.value != 0) {
      g_rtProfessional = 0;
    } else {
      lf_waitForRealTraffic();
      if (g_rtProfessional != 0) lf_sendQs123(g_simUnixTime);
    }
    if (lf_runEnding()) return;

    setTrafficQueueOpen(false);
    if (!lf_startReaders(kQnhPort, kTrafficPort)) return;
    lf_sendPosition();
    g_trafficReader.setUserPosition(g_engineUserAc.latitude, g_engineUserAc.longitude);
    if (g_readerError != 0) {
      gf_showError("Reader error");
      gf_requestExit(SystemError, 0);
    }
    lf_waitForFirstTraffic();
    g_weekSlot = gf_weekSlotNow().packed();
    mainLoop();
  } catch (const std::exception& e) {
    gf_showMessage(e.what(), true);
    if (g_rtClientConnected != 0) {
      lf_closeServer();
      g_readersWatched = 0;
      gf_repaintStatusArea();
    }
    gf_requestExit(SystemError, 0);
  }
}

}  // namespace amb
