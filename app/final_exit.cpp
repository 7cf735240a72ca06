#include "app/final_exit.hpp"

#include "airports/services.hpp"
#include "app/main_loop.hpp"
#include "app/session.hpp"
#include "app/worker.hpp"
#include "core/bounded_work.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "feed/services.hpp"
#include "liveries/services.hpp"
#include "platform/thread_name.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace amb {

namespace {

using std::chrono::milliseconds;
using SteadyTime = std::chrono::steady_clock::time_point;

std::mutex g_sleeperMutex;
std::function<void(milliseconds)> g_sleeper;
std::atomic<long long> g_workerWaitMs{20000};

void pause(milliseconds d) {
  std::function<void(milliseconds)> sleeper;
  {
    std::lock_guard lock(g_sleeperMutex);
    sleeper = g_sleeper;
  }
  if (sleeper)
    sleeper(d);
  else
    std::this_thread::sleep_for(d);
}

void postToWindow(int appMessage) {
  // The window object keeps its handle; g_mainHwnd may have been cleared by the reset.
  if (platform::Ui* ui = g_mainWindow.window.load()) ui->post(appMessage);
}

milliseconds workerWaitBound() { return milliseconds(g_workerWaitMs.load()); }

milliseconds msSince(SteadyTime start) {
  return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start);
}

// The exit's bound: what it waits for (the worker, the engine's lock, a file that does not answer)
// it waits for until this deadline, so that the program ends within the bound and a few seconds.
// A wait that begins after the deadline still gets a moment: a lock another thread holds for an
// instant is still had, a small file still written.
class ExitBound {
public:
  explicit ExitBound(milliseconds bound) : m_start(std::chrono::steady_clock::now()), m_deadline(m_start + bound) {}

  SteadyTime deadline() const { return std::max(m_deadline, std::chrono::steady_clock::now() + kLateGrace); }
  // What is left of the bound, at most `most`.
  milliseconds left(milliseconds most) const {
    const auto d = std::chrono::duration_cast<milliseconds>(deadline() - std::chrono::steady_clock::now());
    return std::min(d, most);
  }
  milliseconds elapsed() const { return msSince(m_start); }

  // Runs f under the engine's lock, waited for until the deadline; false when it was not had. Once
  // it was not had (a worker hangs with it), later steps do without it at once.
  template <class F>
  bool withEngine(F&& f) {
    if (m_engineUnreachable) return false;
    std::unique_lock engine(gf_engineMutex(), deadline());
    if (!engine.owns_lock()) {
      m_engineUnreachable = true;
      return false;
    }
    f();
    return true;
  }

private:
  static constexpr milliseconds kLateGrace{1000};
  SteadyTime m_start;
  SteadyTime m_deadline;
  bool m_engineUnreachable = false;
};

// Waits for the worker of the ending run, which was asked to stop, to return: so that never two
// workers run, nothing is created after the removals, and the run state is never reset under a
// running worker. True when it returned. A worker that did not return still uses the program's
// globals: once the window has closed, the program ends at once without freeing them (app/entry.cpp).
bool waitForWorker(const ExitBound& bound) {
  if (gf_waitForWorkerEnd(bound.left(workerWaitBound()))) return true;
  gf_logMarked(fmt::format("the service run has not ended after {} ms: {} saves what it can and ends at once, "
                           "without it",
                           workerWaitBound().count(), g_programName));
  return false;
}

// Runs the exit's file work with the bound; when it has not ended by then, logs what is not saved
// and goes on without it.
bool boundedFileWork(const ExitBound& bound, const std::function<void()>& work,
                     const std::function<std::string()>& notSaved) {
  if (gf_runBounded("ExitSave", work, bound.deadline())) return true;
  gf_logMarked(fmt::format("{}: the writing has not ended after {} ms", notSaved(), bound.elapsed().count()));
  return false;
}

// The park airport's state belongs to the worker: once it has returned, what the window and the
// simulator link posted last (a destination, the user's stand at a new flight) is taken, and the
// parked aircraft and the park airport go (its learned file is saved). A worker that did not return
// keeps them: taking them from under it would corrupt what it is saving. The files may not answer
// (a hung network share): that work has the exit's bound, and what it has not saved by then stays
// as it was. False when that work still runs: it then holds the park airport's state, and the program
// ends without touching it.
bool endParkAirport(bool workerEnded, const ExitBound& bound) {
  if (!workerEnded) {
    if (gf_parkAirportRequestPending())
      gf_logMarked(fmt::format("{} is not saved with the new destination: the service run still runs",
                               "my_park_airports.txt"));
    if (g_parkAirportLoaded != 0) gf_logMarked("the park airport's learned file is not saved: the service run still runs");
    return true;
  }
  // Which file the work is at, for the log when it does not answer.
  auto leaving = std::make_shared<std::atomic<bool>>(false);
  const bool loaded = g_parkAirportLoaded != 0;
  return boundedFileWork(
      bound,
      [leaving] {
        gf_applyParkAirportRequests();
        leaving->store(true);
        if (g_parkAirportLoaded != 0) gf_removeAllParkedAc();
      },
      [leaving, loaded]() -> std::string {
        if (leaving->load()) return "the park airport's learned file is not saved";
        return loaded ? "my_park_airports.txt and the park airport's learned file are not saved"
                      : "my_park_airports.txt is not saved";
      });
}

// Saves of the settings at the exit that have not ended yet. One that outlasted the bound on a slow
// disk and has ended since leaves the file free for the window's save; one still under way (the file
// does not answer) keeps the window's end from waiting for the file again.
std::atomic<int> g_settingsSavesRunning{0};

// The settings' saves at the exit, with the bound: the worker may hang in the settings file too.
void saveSettings(const ExitBound& bound, const std::function<void()>& save, const char* what) {
  auto started = std::make_shared<std::atomic<bool>>(false);
  ++g_settingsSavesRunning;
  try {
    boundedFileWork(
        bound,
        [save, started] {
          started->store(true);
          struct Ended {
            ~Ended() { --g_settingsSavesRunning; }
          } ended;
          save();
        },
        [what] { return fmt::format("{} not saved in parameters.xml", what); });
  } catch (...) {
    if (!started->load()) --g_settingsSavesRunning;
    throw;
  }
}

void saveEmpty(StringOption& option) {
  option.setValue({});
  gf_saveStringOption(option);
}

void saveOff(BoolOptionCheckBox& option) {
  option.value = 0;
  gf_saveBoolOption(option);
}

}  // namespace

void gf_setWorkerWaitBound(milliseconds bound) { g_workerWaitMs = bound.count(); }

bool gf_settingsUnansweredAtExit() { return g_settingsSavesRunning.load() > 0; }

void gf_forgetExitSaves() { g_settingsSavesRunning = 0; }

void gf_setExitSleeper(std::function<void(milliseconds)> sleeper) {
  std::lock_guard lock(g_sleeperMutex);
  g_sleeper = std::move(sleeper);
}

void gf_installExitHandler() { gf_setExitHandler(FinalExit); }

void lf_restartCountdown(std::int32_t seconds) {
  if (seconds <= 0) return;
  gf_log(fmt::format("Restarting after {} seconds\n\n\n\n\n", seconds));
  for (std::int32_t i = 0; i < seconds; ++i) {
    if (g_exitUnderWay != 0 || g_userClosed != 0) break;
    const std::int32_t left = seconds - i;
    gf_showMessage(fmt::format("Restarting after {} second{}", left, gf_pluralS(left)), false);
    pause(std::chrono::seconds(1));
  }
}

void lf_resetRunState() {
  gf_resetSimLink(static_cast<std::uint32_t>(P3D_VERSION.value.load()));
  gf_resetParkState();

  gf_clearError();
  gf_endNoticeHold();
  gf_clearMessage();
  gf_resetMessageCounter();
  g_mainWindow.reset();
  g_startingUp = 1;
  g_myOrbxCount = 0;
  g_myThirdpartyCount = 0;
  g_renewalMinutes = 0;
  gf_resetFeedStatus();
  g_mainHwnd = nullptr;

  g_exitReason = 0;
  g_newUserData = 0;
  g_readerError = 0;
  g_flightNotRunning = 0;
  g_engineUserAc = UserAcBlock{};
  g_rtProfessional = 0;
  g_parkingRenewalRequest = 0;
  g_reportCount = 0;
  g_renewalUnderWay = 0;
  g_blockChangeRequest = 0;
  g_navLightsRequest = 0;
  g_maxLiveRequest = 0;
  g_rtLinkPending = 1;
  g_stockSceneryPath.clear();
  gf_setRadiusNm();

  // Every engine list goes as well: a new run starts without aircraft.
  gf_resetEngine();
  gf_resetTrafficQueue();
  g_newArrivals.clear();
  gf_resetMainLoop();
}

void FinalExit(int reason, std::uint32_t delaySeconds) {
  platform::setCurrentThreadName("FinalExit");
  // g_exitUnderWay belongs to this sequence until a restart clears it for its countdown.
  bool ownsExit = true;
  try {
    gf_log("Exiting: " + gf_exitReasonName(reason));
    bool restart = gf_exitReasonRestarts(reason);
    g_restartPending = restart ? 1 : 0;
    if (restart) gf_showMessage("Prepare for a restart ...", true);

    g_weatherReader.stop();
    g_trafficReader.stop();
    // While RealTraffic is gone the worker waits in the command port's accept after its engine
    // cycle; the wait for the worker's end below needs that accept ended first.
    lf_stopAccepting();
    // Until the worker returns, its engine cycle goes on creating aircraft (static parking, one every
    // half second): it is stopped before the removals, so that they find every object it made.
    gf_requestWorkerStop();
    pause(milliseconds(500));
    ExitBound bound(workerWaitBound());
    const bool workerEnded = waitForWorker(bound);
    // A restart resets the state the worker uses; under a worker that still runs that would corrupt
    // it, so the program ends instead and the user starts it again.
    if (restart && !workerEnded) {
      gf_logMarked(fmt::format("{} ends instead of restarting: its service run has not ended", g_programName));
      restart = false;
      g_restartPending = 0;
    }
    // A worker that has not returned may hold the engine's lock for ever (in a file that does not
    // answer): the AI objects are then left for the simulator, which removes a client's objects when
    // the client closes.
    const bool removed = bound.withEngine([&] {
      gf_removeAllLiveAc();
      gf_removeAllParkedActs();
      // All waiting removals at once, not one per 10 engine cycles; the simulator link sends them
      // during the pause.
      gf_flushRemovalDeque();
      // Objects whose creation was already with the simulator are removed as soon as they exist.
      gf_awaitCreationsAndRemove(bound.left(std::chrono::seconds(3)));
    });
    if (!removed)
      gf_logMarked(fmt::format("the AI aircraft are not removed: the engine is still busy after {} ms",
                               bound.elapsed().count()));
    if (restart && !removed) {
      gf_logMarked(fmt::format("{} ends instead of restarting: its engine is still busy", g_programName));
      restart = false;
      g_restartPending = 0;
    }
    pause(std::chrono::seconds(1));
    // A RealTraffic that does not read holds the "exit" line for a second at most.
    lf_closeServer(bound.left(std::chrono::seconds(1)));
    if (reason == SystemError) {
      pause(std::chrono::seconds(5));
    } else if (reason == UserClosedSim) {
      gf_log(fmt::format("User closed {}", g_programName));
      g_userClosed = 1;
    }
    gf_requestSimClientStop();
    bound.withEngine(gf_clearHexidTitles);
    boundedFileWork(bound, gf_removeFlightPlanFolder, [] { return std::string("the flight-plan folder is not removed"); });
    // The restart's point of no return. A close of the window until here ends the program, as the
    // window said it would; from here on a close starts an exit of its own, which waits for this one.
    if (restart) {
      if (gf_commitRestart()) {
        ownsExit = false;
      } else {
        gf_log(fmt::format("User closed {}", g_programName));
        g_userClosed = 1;
        restart = false;
        g_restartPending = 0;
      }
    }
    if (!restart) {
      saveSettings(
          bound,
          [] {
            saveEmpty(DESTINATION);
            saveEmpty(BLOCK_CALLSIGN);
          },
          "DESTINATION and BLOCK_CALLSIGN are");
      gf_logMatchingSummary();
      gf_logNoMatches();
    }

    if (restart) {
      gf_clearError();
      gf_endNoticeHold();
      gf_clearMessage();
      gf_resetReaders();
      if (reason != NewSettings) {
        saveSettings(
            bound,
            [] {
              saveOff(SCAN_LIVERIES);
              saveOff(SCAN_AIRPORTS);
            },
            "SCAN_LIVERIES and SCAN_AIRPORTS are");
      }
      g_userClosed = 0;
      lf_restartCountdown(static_cast<std::int32_t>(delaySeconds));
      // A newer exit took over during the countdown: it waits for this thread, then for the worker,
      // and ends (or restarts) the program itself; the reset here would race with it.
      if (g_exitUnderWay != 0 || g_userClosed != 0) return;
      // The countdown is no part of the bound: the files get it whole.
      if (!endParkAirport(true, ExitBound(workerWaitBound()))) {
        // Their work still holds the park airport's state, which the reset would take from under it.
        gf_logMarked(fmt::format("{} ends instead of restarting: its files do not answer", g_programName));
        g_restartPending = 0;
        // No other exit starts now: it would wait for the engine that work holds.
        g_exitUnderWay = 1;
        gf_stopAndJoinReaders();
        postToWindow(2);
        return;
      }
      gf_stopAndJoinReaders();
      lf_resetRunState();
      postToWindow(1);
      return;
    }

    bound.withEngine(gf_clearGhostCallsigns);
    if (reason == NewFlight) {
      gf_showMessage(fmt::format("New flight detected, {} will close, please restart manually ...", g_programName),
                     true);
      pause(std::chrono::seconds(10));
    }
    endParkAirport(workerEnded, bound);
    gf_stopAndJoinReaders();
    g_exitUnderWay = 0;
    postToWindow(2);
  } catch (...) {
    gf_reportException("FinalExit");
    // The program must stay closable: an exit that failed half-way still ends it.
    if (ownsExit) {
      g_exitUnderWay = 0;
      postToWindow(2);
    }
  }
}

}  // namespace amb
