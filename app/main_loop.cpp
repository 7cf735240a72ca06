#include "app/main_loop.hpp"

#include "airports/services.hpp"
#include "app/periodic.hpp"
#include "app/worker.hpp"
#include "core/exit.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/strings.hpp"
#include "feed/services.hpp"
#include "platform/timer.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace amb {

namespace {

using SteadyClock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(10);
constexpr std::int32_t kTicksPerSecond = 100;

// Ticks without the simulation until the next once-a-second work.
std::atomic<std::int32_t> g_idleCountdown{kTicksPerSecond};

void storeWeekSlot() { g_weekSlot = gf_weekSlotNow().packed(); }

void setTrafficQueueOpen(bool open) {
  std::lock_guard lock(g_trafficQueueMutex);
  g_trafficQueueOpen = open ? 1 : 0;
}

}  // namespace

ReportSteps lf_reportSteps(std::int32_t n, bool renewalUnderWay) {
  ReportSteps steps;
  if (n % 15 == 0) {
    steps.periodic = true;
    return steps;
  }
  steps.parkAirportCheck = n % 16 == 0 && !renewalUnderWay;
  steps.readerWatchdog = n % 59 == 0;
  steps.liveVersusParked = n % 61 == 0;
  return steps;
}

void mainLoop() {
  try {
    gf_checkForParkAirportUpdates(true);
    gf_checkReaderDataFlow();
    g_reportCount = 0;
    storeWeekSlot();
    setTrafficQueueOpen(true);
    // The 10 ms grid needs the system timer at 1 ms; the guard puts it back however the loop ends.
    platform::TimerResolution resolution(1);
    lf_runTickGrid(lf_workAMBT);
  } catch (...) {
    gf_reportException("mainLoop");
  }
}

void lf_runTickGrid(const std::function<bool()>& tick) {
  auto next = SteadyClock::now() + kTick;
  for (;;) {
    if (lf_workerStopRequested()) return;
    if (!tick()) return;
    const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(next - SteadyClock::now());
    if (remaining.count() > 0 && !lf_sleepUntil(next)) return;
    // A report that waits at the end of a tick re-anchors the grid now.
    if (g_newUserData != 0) next = SteadyClock::now();
    next += kTick;
  }
}

bool lf_workAMBT() {
  try {
    // What the window and the simulator link posted for the park airports.
    gf_applyParkAirportRequests();
    if (g_simRunning == 0) {
      lf_workSimNotRunning();
      return true;
    }
    gf_updateAI();
    std::uint8_t expected = 1;
    if (!g_newUserData.compare_exchange_strong(expected, 0)) return true;
    lf_onUserReport();
    if (g_exitUnderWay != 0 || g_userClosed != 0) return false;
    const ReportSteps steps = lf_reportSteps(g_reportCount, g_renewalUnderWay != 0);
    if (steps.periodic) {
      lf_every5Seconds();
      return true;
    }
    if (steps.parkAirportCheck) gf_checkForParkAirportUpdates(false);
    if (steps.readerWatchdog) gf_checkReaderDataFlow();
    if (steps.liveVersusParked) gf_removeParkedTwinsOfLive();
    return true;
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_workAMBT", e.what());
    throw;
  }
}

void lf_workSimNotRunning() {
  try {
    if (g_flightNotRunning == 0) {
      setTrafficQueueOpen(false);
      g_flightNotRunning = 1;
      g_idleCountdown = kTicksPerSecond;
      gf_clearPositionQueues();
      gf_logf("{} Flight not running", gf_timeOfDay());
    }
    gf_SimCommands();
    const std::int32_t countdown = --g_idleCountdown;
    if (countdown % kTicksPerSecond == 0) {
      lf_checkParkAirportsIdle();
      lf_sendPosition();
    }
    if (countdown < 1) {
      g_idleCountdown = kTicksPerSecond;
      lf_updateStatusCounts();
      storeWeekSlot();
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_workSimNotRunning", e.what());
    throw;
  }
}

void lf_onUserReport() {
  if (g_flightNotRunning != 0) {
    g_flightNotRunning = 0;
    gf_logf("{} Flight resumed", gf_timeOfDay());
    setTrafficQueueOpen(true);
  }
  // A status message disappears 25 reports after it was shown.
  gf_ageMessage();
  lf_updateStatusCounts();
  storeWeekSlot();
  ++g_reportCount;
  // The stands belong to this thread: the simulator link learns the user aircraft's stand from here.
  gf_setUserStandName(gf_standNameAt(g_engineUserAc.latitude, g_engineUserAc.longitude));

  // One new arrival per report. An arrival whose aircraft has gone since is dropped as well: left at
  // the front it would hold up every arrival behind it.
  if (!g_newArrivals.empty()) {
    const std::uint32_t hexid = g_newArrivals.front();
    gf_handleNewArrival(hexid);
    g_newArrivals.pop_front();
  }

  if (g_flushStaticRequest != 0) {
    gf_removeAllParkedActs();
    g_flushStaticRequest = 0;
    if (INITIAL_LOAD_ONLY.value == 0) {
      INITIAL_LOAD_ONLY.value = 1;  // not saved: the flush holds for this run only
      INITIAL_LOAD_ONLY.refresh();
    }
  }

  if (g_userOnGround == 0) {
    if (COLLISION_USER_AIR.value != 0) gf_removeFirstInUserWay();
  } else if (COLLISION_USER_GND.value != 0) {
    gf_removeNearUserOnGround();
  }
  if (COLLISION_LIVE_PARKED_GND.value != 0) gf_removeStaticCollisions();

  if (g_blockChangeRequest != 0) {
    const std::string callsign = BLOCK_CALLSIGN.value();
    if (!callsign.empty()) gf_removeBlockedCallsign(callsign);
    g_blockChangeRequest = 0;
  }
  if (g_navLightsRequest.exchange(0) != 0) gf_queueParkedNavLights(NAV_LIGHTS_WHILE_PARKED.value != 0);
  if (g_maxLiveRequest.exchange(0) != 0) gf_applyMaxLive();
}

void lf_updateStatusCounts() {
  const auto atStand = static_cast<std::uint64_t>(std::max(0, gf_countLiveAtStands(true)));
  const std::uint32_t moving = gf_countMovingLive();
  if (g_mainWindow.liveCount.exchange(moving) != moving) gf_repaintStatusArea();
  const auto parked = static_cast<std::uint64_t>(std::max(0, gf_countParkedAc(true)));
  const bool parkedChanged = g_mainWindow.parkedStaticCount.exchange(parked) != parked;
  const bool atStandChanged = g_mainWindow.parkedLiveCount.exchange(atStand) != atStand;
  if (parkedChanged || atStandChanged) gf_repaintFigureArea();
}

void gf_resetMainLoop() { g_idleCountdown = kTicksPerSecond; }

}  // namespace amb
