// Scaffolding until the simulator interface is built: the simulator never reports running. The
// "SimClient" thread announces that it waits for the simulator and keeps waiting until it is told to
// stop; no request is ever sent, so none can fail. The simulator interface replaces this file.

#include "sim/services.hpp"

#include "app/detection.hpp"
#include "app/main_window.hpp"
#include "core/exit.hpp"
#include "core/message_line.hpp"
#include "core/user_error.hpp"

#include <fmt/format.h>

#include <chrono>
#include <condition_variable>

namespace amb {

std::mutex g_simMutex;
std::atomic<std::uint8_t> g_simRunning{0};
std::atomic<std::uint8_t> g_newUserData{0};
std::atomic<std::uint8_t> g_userOnGroundKnown{0};
std::atomic<std::uint8_t> g_userOnGround{0};
std::atomic<std::int64_t> g_simUnixTime{0};

namespace {
std::mutex g_userAcMutex;
UserAcBlock g_userAc;
std::atomic<std::uint32_t> g_simExpectedVersion{5};
}  // namespace

UserAcBlock gf_userAcSnapshot() {
  std::lock_guard lock(g_userAcMutex);
  return g_userAc;
}

bool gf_inNullBox(double latitude, double longitude) {
  return latitude >= 0 && latitude <= 0.0009 && longitude >= 0 && longitude <= 0.05;
}

UserAcBlock gf_requestUserAcPosition() { return gf_userAcSnapshot(); }

void gf_requestUserAcTitleAndModel() {}

std::int32_t gf_requestUserOnGround() { return 0; }

void gf_simConnectRequestFailed() {}

void gf_resetSimQueues(std::uint32_t expectedVersion) { g_simExpectedVersion = expectedVersion; }

void gf_clearPositionQueues() {}

void gf_queueNavLights(std::uint32_t, std::uint32_t) {}

void SimClient(std::stop_token stop) {
  std::mutex waitMutex;
  std::condition_variable_any wake;
  try {
    bool first = true;
    while (!stop.stop_requested() && g_exitUnderWay == 0 && g_userClosed == 0) {
      if (first) {
        gf_showMessage(fmt::format("Waiting for Prepar3Dv{} ...", gf_simMajorVersion()), true);
        gf_repaintStatusArea();
        first = false;
      }
      // No simulator to connect to: try again a second later.
      std::unique_lock lock(waitMutex);
      wake.wait_for(lock, stop, std::chrono::seconds(1), [] { return false; });
    }
  } catch (const UserErrorException& e) {
    gf_showError(e.what());
  } catch (const std::exception& e) {
    gf_showError(e.what());
    g_simRunning = 0;
    gf_simWasClosed();
  } catch (...) {
    gf_showError("Exception in SimClient");
    g_simRunning = 0;
    gf_simWasClosed();
  }
  g_mainWindow.simConnectOpen = 0;
  gf_repaintStatusArea();
}

void gf_resetSimLink(std::uint32_t expectedVersion) {
  g_simExpectedVersion = expectedVersion;
  g_simRunning = 0;
  g_userOnGroundKnown = 0;
  g_userOnGround = 0;
  g_simUnixTime = 0;
  std::lock_guard lock(g_userAcMutex);
  g_userAc = UserAcBlock{};
}

}  // namespace amb
