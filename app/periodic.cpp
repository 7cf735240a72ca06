#include "app/periodic.hpp"

#include "airports/services.hpp"
#include "app/main_loop.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "feed/services.hpp"
#include "liveries/services.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

namespace amb {

namespace {

bool noData(ReaderStatus status) { return status == ReaderStatus::NoData; }

}  // namespace

void lf_every5Seconds() {
  try {
    g_trafficReader.setUserPosition(g_engineUserAc.latitude, g_engineUserAc.longitude);
    if (g_rtProfessional != 0) lf_sendQs123(g_simUnixTime);
    if (gf_standRemovalsPending()) gf_removeAcAtStand();
    lf_checkParkAirportsIdle();
    lf_every15Seconds();
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_every5Seconds", e.what());
    throw;
  }
}

void lf_every15Seconds() {
  try {
    // A static-parking renewal runs in two halves, fifteen reports apart.
    if (g_parkingRenewalRequest != 0) {
      if (g_renewalUnderWay == 0) {
        g_renewalUnderWay = 1;
        gf_lockParkingControls();
        g_trafficReader.clearSeenCallsigns();
        g_trafficReader.callsignCollection = 1;
      } else {
        g_renewalUnderWay = 0;
        gf_clearError();
        gf_clearMessage();
        if (g_parkAirportLoaded != 0 && !g_stands.empty()) gf_adjustParking();
        g_parkingRenewalRequest = 0;
      }
    }
    if (noData(g_trafficReaderStatus) || noData(g_qnhReaderStatus)) gf_checkReaderDataFlow();
    if (g_reportCount % 30 == 0) lf_every30Seconds();
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_every15Seconds", e.what());
    throw;
  }
}

void lf_every30Seconds() {
  try {
    if (g_rematchRequest != 0) {
      gf_clearNoMatchSet();
      g_rematchRequest = 0;
    }
    if (AUTO_RANGE.value != 0) gf_autoRange();
    if (g_readerError != 0) {
      gf_showError("1001: RT error");
      gf_requestExit(SystemError, 0);
    }
    const std::int32_t n = g_reportCount;
    if (n % 60 != 0) return;
    const std::int32_t m = n / 60;
    g_renewalMinutes = static_cast<std::uint32_t>((m / 20 + 1) * 20 - m);
    gf_repaintOptionArea();
    if (n % 1200 != 0) return;
    gf_logNoMatches();
    if (g_parkAirportLoaded != 0 && INITIAL_LOAD_ONLY.value == 0 && g_parkingRenewalRequest == 0)
      g_parkingRenewalRequest = 1;
    if (n % 86400 == 0) {
      g_reportCount = 0;
      gf_logMatchingSummary();
      gf_clearHexidTitles();
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_every30Seconds", e.what());
    throw;
  }
}

void lf_checkParkAirportsIdle() {
  if (g_rereadRequest == 0 || g_parkingLock != 0) return;
  std::string message;
  if (gf_checkParkAirports(true, message)) gf_showMessage(message, true);
  gf_enableControl(REREAD_BUTTON, true);
  gf_enableControl(DESTINATION, true);
  g_rereadRequest = 0;
}

}  // namespace amb
