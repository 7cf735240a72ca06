#include "core/exit.hpp"

#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "core/user_error.hpp"

#include <fmt/format.h>

#include <array>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

namespace amb {

std::atomic<std::uint8_t> g_exitUnderWay{0};
std::atomic<std::int32_t> g_exitReason{0};
std::atomic<std::uint8_t> g_restartPending{0};
std::atomic<std::uint8_t> g_userClosed{0};
std::atomic<std::uint8_t> g_readerError{0};

namespace {
std::mutex g_handlerMutex;
ExitHandler g_handler;
// The thread of the latest exit sequence; each one joins the one before it first, so joining the
// latest joins them all.
// Left to end with the process when nobody joined it (the program joins it before it returns).
struct ExitThread {
  std::thread thread;
  ~ExitThread() {
    if (thread.joinable()) thread.detach();
  }
};
ExitThread g_exit;
}  // namespace

const std::string& gf_exitReasonName(int reason) {
  static const std::array<std::string, 8> names{"NOT YET SET",     "SIM WAS CLOSED",   "NEW FLIGHT",
                                                "NEW SETTINGS",    "USER CLOSED SIM",  "SIMCONNECT ERROR",
                                                "READER ERROR",    "SYSTEM ERROR"};
  if (reason < 0 || reason >= static_cast<int>(names.size())) throw std::out_of_range("invalid map<K, T> key");
  return names[static_cast<std::size_t>(reason)];
}

bool gf_exitReasonRestarts(int reason) { return reason == 3 || reason == 5 || reason == 6; }

void gf_setExitHandler(ExitHandler handler) {
  std::lock_guard lock(g_handlerMutex);
  g_handler = std::move(handler);
}

void gf_requestExit(int reason, std::uint32_t delaySeconds) {
  std::uint8_t none = 0;
  if (!g_exitUnderWay.compare_exchange_strong(none, 1)) {
    // The window says it is closing: an exit on its way to a restart must end the program instead.
    std::uint8_t underWay = 1;
    if (reason == UserClosedSim) g_exitUnderWay.compare_exchange_strong(underWay, kCloseDuringExit);
    return;
  }
  g_exitReason = reason;
  std::lock_guard lock(g_handlerMutex);
  if (!g_handler) return;
  // A restart's countdown lets a newer exit start while the older one still runs: the newer waits
  // for the older to return, so two sequences never work at once.
  g_exit.thread = std::thread([handler = g_handler, previous = std::move(g_exit.thread), reason, delaySeconds]() mutable {
    if (previous.joinable()) previous.join();
    handler(reason, delaySeconds);
  });
}

bool gf_commitRestart() {
  std::uint8_t underWay = 1;
  return g_exitUnderWay.compare_exchange_strong(underWay, 0);
}

void gf_joinExitThread() {
  std::thread latest;
  {
    std::lock_guard lock(g_handlerMutex);
    if (g_exit.thread.get_id() == std::this_thread::get_id()) return;
    latest = std::move(g_exit.thread);
  }
  if (latest.joinable()) latest.join();
}

void gf_simWasClosed() {
  if (g_exitUnderWay.load() != 0) return;
  gf_log(fmt::format("{} Flight Simulator no longer connected, {} will stop ...", gf_timeOfDay(), g_programName));
  gf_requestExit(SimWasClosed, 0);
}

void lf_readerStopped(bool traffic, const std::string& what) {
  gf_showMessage(fmt::format("The {} has stopped with an error: {}", traffic ? "TrafficReader " : "WeatherReader",
                             what),
                 true);
  g_readerError = 1;
}

void gf_reportException(std::string_view functionName) {
  try {
    throw;
  } catch (const UserErrorException& e) {
    gf_showError(e.what());
  } catch (const fmt::format_error& e) {
    gf_showError(std::string("std::format error: ") + e.what());
  } catch (const std::bad_alloc& e) {
    gf_showError(fmt::format("{}: {}", functionName, e.what()));
    gf_requestExit(SystemError, 0);
  } catch (const std::out_of_range& e) {
    gf_showError(fmt::format("{}: {}", functionName, e.what()));
    gf_requestExit(SystemError, 0);
  } catch (const std::runtime_error& e) {
    gf_showError(fmt::format("{}: {}", functionName, e.what()));
    gf_requestExit(SystemError, 0);
  } catch (const std::exception& e) {
    gf_showError(fmt::format("{}: {}", functionName, e.what()));
    gf_requestExit(SystemError, 0);
  } catch (...) {
    gf_showError("Unknown exception");
  }
}

void gf_resetExitState() {
  gf_joinExitThread();
  g_exitUnderWay = 0;
  g_exitReason = 0;
  g_restartPending = 0;
  g_userClosed = 0;
  g_readerError = 0;
}

}  // namespace amb
