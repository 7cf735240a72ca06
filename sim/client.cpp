// The "SimClient" thread: opens the connection (again every second until the simulator answers),
// registers the vocabulary, pumps the dispatch every millisecond, and closes the connection when it
// is told to stop.

#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "platform/timer.hpp"
#include "sim/link.hpp"
#include "state/detection.hpp"
#include "state/main_window.hpp"

#include <fmt/format.h>

#include <chrono>
#include <condition_variable>
#include <thread>

namespace amb {

namespace {

constexpr auto kRetry = std::chrono::seconds(1);
constexpr auto kPump = std::chrono::milliseconds(1);
constexpr auto kResetWaitBound = std::chrono::seconds(5);

std::mutex g_clientsMutex;
std::condition_variable g_clientsDone;
std::size_t g_clientsRunning = 0;

// Counts the thread as running from its start until its connection is closed.
class RunningClient {
public:
  RunningClient() {
    std::lock_guard lock(g_clientsMutex);
    ++g_clientsRunning;
  }
  ~RunningClient() {
    {
      std::lock_guard lock(g_clientsMutex);
      --g_clientsRunning;
    }
    g_clientsDone.notify_all();
  }
};

bool keepConnecting(const std::stop_token& stop) {
  return !stop.stop_requested() && g_exitUnderWay == 0 && g_userClosed == 0;
}

void closeConnection() {
  try {
    lf_reserveUserStand();
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_reserveUserStand", e.what());
  }
  g_mainWindow.simConnectOpen = 0;
  gf_repaintStatusArea();
  SimHandle h;
  {
    // Nobody may use the connection once it is being closed.
    std::lock_guard lock(g_simMutex);
    h = g_hSimConnect.exchange(nullptr);
  }
  if (!h) return;
  if (SimConnect_Close(h) == kSimOk)
    gf_log("SimConnect closed ok");
  else
    gf_logMarked("Closing SimConnect failed?!");
}

}  // namespace

void SimClient(std::stop_token stop) {
  RunningClient running;
  std::mutex waitMutex;
  std::condition_variable_any wake;
  try {
    bool first = true;
    while (keepConnecting(stop)) {
      if (first) {
        first = false;
        gf_showMessage(fmt::format("Waiting for Prepar3Dv{} ...", gf_simMajorVersion()), true);
        gf_repaintStatusArea();
      }
      SimHandle h = nullptr;
      if (SimConnect_Open(&h, g_programName, nullptr, 0, nullptr, 0) != kSimOk) {
        const auto until = std::chrono::steady_clock::now() + kRetry;
        std::unique_lock lock(waitMutex);
        wake.wait_until(lock, stop, until, [] { return false; });
        continue;
      }
      g_hSimConnect = h;
      lf_registerSimDefinitions();
      platform::TimerResolution resolution(1);
      while (!stop.stop_requested()) {
        const auto next = std::chrono::steady_clock::now() + kPump;
        SimConnect_CallDispatch(h, &lf_simDispatch, nullptr);
        std::this_thread::sleep_until(next);
      }
    }
  } catch (const UserErrorException& e) {
    gf_showError(e.what());
  } catch (const std::exception& e) {
    gf_showError(e.what());
    g_simRunning = 0;
    gf_simWasClosed();
  } catch (...) {
    gf_showError(fmt::format("Exception in {}", "SimClient"));
    g_simRunning = 0;
    gf_simWasClosed();
  }
  closeConnection();
}

std::size_t gf_simClientsRunning() {
  std::lock_guard lock(g_clientsMutex);
  return g_clientsRunning;
}

void gf_resetSimLink(std::uint32_t expectedVersion) {
  {
    std::unique_lock lock(g_clientsMutex);
    if (!g_clientsDone.wait_for(lock, kResetWaitBound, [] { return g_clientsRunning == 0; }))
      gf_logMarked("SimClient still closing its connection at the reset");
  }
  lf_resetQueues();
  lf_resetUserState();
  gf_resetSimResults();
  g_simExpectedVersion = expectedVersion;
}

}  // namespace amb
