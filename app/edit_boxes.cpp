#include "app/edit_boxes.hpp"

#include "airports/services.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <stdexcept>

namespace amb {

namespace {

constexpr std::size_t kMaxBoxUnits = 1023;

platform::Ui* lf_window() { return g_mainHwnd.load(); }

// The int boxes, each with its option.
const std::array<IntOptionEdit*, 8> kIntBoxes{&MATCHING_DEPTH,   &LATERAL_RANGE, &AUTO_RANGE_ABOVE_HEIGHT,
                                              &CUSTOM_MAX_PARK,  &MAX_LIVE,      &AIRPORT_RANGE,
                                              &AIRPORT_HEIGHT,   &parking_percentage};
const std::array<StringOptionEdit*, 3> kStringBoxes{&ALL_INSTALL_PATH, &BLOCK_CALLSIGN, &DESTINATION};

}  // namespace

std::string lf_getTextFromId(std::uint16_t controlId) {
  platform::Ui* ui = lf_window();
  if (ui == nullptr) return {};
  try {
    std::u16string units = gf_utf8ToUtf16(ui->getText(controlId));
    if (units.empty()) return {};
    // The box is read into a buffer of 1024 units, the last one for the terminating zero.
    if (units.size() > kMaxBoxUnits) units.resize(kMaxBoxUnits);
    return gf_utf16ToUtf8(units);
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("{} {}", "lf_getTextFromId", e.what()));
    return {};
  }
}

void lf_clearControlText(std::uint16_t controlId) {
  if (platform::Ui* ui = lf_window()) ui->setText(controlId, {});
}

bool lf_processTbInt(IntOptionEdit& option) {
  const std::string text = lf_getTextFromId(option.controlId);
  const bool inMemoryOnly = &option == &parking_percentage;
  bool result = false;
  try {
    if (!text.empty()) {
      // Leading blanks are skipped and whatever follows the number is ignored.
      const int number = std::stoi(text);
      if (number == option.value) {
        gf_showMessage(fmt::format("Same {} value {}, no changes made", option.key, option.value.load()), true);
      } else {
        option.value = option.clamped(number);
        if (!inMemoryOnly) gf_saveIntOption(option);
        result = true;
      }
    } else {
      if (inMemoryOnly) {
        option.value = 0;
      } else {
        option.value = option.clamped(option.defaultValue);
        gf_saveIntOption(option);
      }
      result = true;
    }
    if (result) gf_showMessage(fmt::format("The new {} is {}", option.key, option.value.load()), false);
  } catch (const std::invalid_argument&) {
    gf_showMessage(fmt::format("invalid input: {}", text), true);
    result = false;
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("{}: {}, h={} ", "lf_processTbInt", e.what(), text));
    result = false;
  }
  gf_showIntOption(option);
  return result;
}

bool lf_processTbFloat(FloatOptionEdit& option) {
  const std::string text = lf_getTextFromId(option.controlId);
  bool result = false;
  try {
    if (!text.empty()) {
      const float number = std::stof(text);
      if (std::isnan(number)) throw std::invalid_argument("stof");
      if (number == option.value) {
        gf_showMessage(fmt::format("Same {} value {}, no changes made", option.key, option.value.load()), true);
      } else {
        // MAX_FIT counts half hours: the box shows MAX_FIT * 0.5 + 0.5 hours, so the typed value snaps to
        // a multiple of 0.5.
        option.value = option.clamped(number);
        MAX_FIT.value = MAX_FIT.clamped(static_cast<std::int32_t>(std::lround(2.0 * option.value)) - 1);
        gf_saveIntOption(MAX_FIT);
        option.value = option.clamped(static_cast<float>(MAX_FIT.value) * 0.5f + 0.5f);
        result = true;
      }
    } else {
      option.value = option.clamped(option.defaultValue);
      MAX_FIT.value = MAX_FIT.clamped(MAX_FIT.defaultValue);
      gf_saveIntOption(MAX_FIT);
      result = true;
    }
    if (result) gf_showMessage(fmt::format("The new {} is {:.1F}", option.key, option.value.load()), false);
  } catch (const std::exception& e) {
    gf_log(fmt::format("{}: {}, h={} ", "lf_processTbFloat", e.what(), text));
    result = false;
  }
  gf_showFloatOption(option);
  return result;
}

void lf_parkingOptionChanged() {
  if (g_parkAirportLoaded == 0) return;
  g_parkParameterChanged = 1;
  if (INITIAL_LOAD_ONLY.value == 0) {
    // The renewal starts at the next 5-second step, which runs at every 15th report.
    const std::int32_t n = g_reportCount;
    const std::int32_t s = (n / 15 + 1) * 15 - n;
    gf_showMessage(fmt::format("{} will respond in {} second{} ...", g_programName, s, gf_pluralS(s)), false);
    g_parkingRenewalRequest = 1;
  } else {
    gf_clearMessage();
  }
}

namespace {

// The park airport keeps its own value of the option in its learned file; a file that was not read
// whole is kept as it is, so the value the user just set will not be there at the next visit.
void lf_notKeptForThisAirport(const IntOptionEdit& option) {
  if (g_parkAirportLoaded == 0 || !gf_learnedFileKept()) return;
  gf_showNotice(fmt::format("The new {} is {}, not kept for this airport: its learned file was not read whole",
                            option.key, option.value.load()));
}

}  // namespace

void lf_intEditProc(IntOptionEdit& option) {
  gf_clearMessage();
  const std::int32_t before = option.value;
  if (!lf_processTbInt(option)) return;
  if (&option == &CUSTOM_MAX_PARK || &option == &parking_percentage) {
    lf_parkingOptionChanged();
  } else if (&option == &LATERAL_RANGE) {
    g_parkParameterChanged = 1;
    gf_setRadiusNm();
    // The range the user sets is the one kept for the manual range.
    if (AUTO_RANGE.value == 0) g_manualRadiusNm = LATERAL_RANGE.value.load();
    lf_notKeptForThisAirport(option);
  } else if (&option == &MAX_LIVE) {
    if (g_parkAirportLoaded != 0)
      g_parkParameterChanged = 1;
    else
      g_maxLiveInUse = MAX_LIVE.value;
    // The live limit walks the engine's list: the worker applies it at its next report.
    g_maxLiveRequest = 1;
    lf_notKeptForThisAirport(option);
  } else if (&option == &MATCHING_DEPTH) {
    if (option.value > before) g_rematchRequest = 1;
  }
}

void lf_floatEditProc() {
  gf_clearMessage();
  // Without a park airport the typed text stays in the box and nothing changes.
  if (g_parkAirportLoaded == 0) return;
  if (lf_processTbFloat(MAX_FIT_FL)) lf_parkingOptionChanged();
}

void lf_stringEditProc(StringOptionEdit& option) {
  gf_clearMessage();
  if (&option == &BLOCK_CALLSIGN)
    lf_processBlockCallsign();
  else if (&option == &DESTINATION)
    lf_processDestination();
  else if (&option == &ALL_INSTALL_PATH)
    lf_processInstallPath(lf_getTextFromId(option.controlId));
}

void lf_processInstallPath(const std::string& text) {
  gf_clearError();
  gf_clearMessage();
  if (text.empty()) {
    if (!SIM_INSTALL_PATH.value().empty()) gf_setStringOption(SIM_INSTALL_PATH, {});
    return;
  }
  // A path whose existence cannot be told (unreadable, invalid) counts as missing: nothing is stored.
  std::error_code ec;
  const bool exists = std::filesystem::exists(gf_pathFromUtf8(text), ec) && !ec;
  if (exists) {
    gf_setStringOption(SIM_INSTALL_PATH, text);
    gf_showMessage(fmt::format("Install path exists, {} will restart", g_programName), true);
    gf_requestExit(NewSettings, 3);
  } else {
    gf_showMessage(fmt::format("This install path does not exist: {}", text), true);
  }
}

void lf_unblockCallsign() {
  const std::string old = BLOCK_CALLSIGN.value();
  if (old.empty()) return;
  BLOCK_CALLSIGN.setValue({});
  gf_saveStringOption(BLOCK_CALLSIGN);
  gf_showStringOption(BLOCK_CALLSIGN);
  gf_enableControl(UNBLOCK_BUTTON, false);
  gf_showMessage(fmt::format("no more blocking of live aircraft \"{}\"", old), true);
  g_blockChangeRequest = 1;
}

void lf_processBlockCallsign() {
  gf_clearMessage();
  const std::string text = lf_getTextFromId(BLOCK_CALLSIGN.controlId);
  if (text.empty()) {
    if (!BLOCK_CALLSIGN.value().empty()) lf_unblockCallsign();
    return;
  }
  if (text.size() < 4 || text.size() > 8) {
    gf_showMessage(fmt::format("callsign \"{}\" is not valid", text), true);
    gf_showStringOption(BLOCK_CALLSIGN);
    return;
  }
  const std::string callsign = gf_toUpper(text);
  if (callsign == BLOCK_CALLSIGN.value()) {
    gf_showMessage(fmt::format("callsign \"{}\" was already set ...", callsign), true);
    gf_showStringOption(BLOCK_CALLSIGN);
    return;
  }
  BLOCK_CALLSIGN.setValue(callsign);
  gf_saveStringOption(BLOCK_CALLSIGN);
  gf_showStringOption(BLOCK_CALLSIGN);
  gf_enableControl(UNBLOCK_BUTTON, true);
  gf_showMessage(fmt::format("live aircraft with callsign \"{}\" will be blocked", callsign), true);
  g_blockChangeRequest = 1;
}

void lf_setDestination(const std::string& code, std::pair<double, double> position) {
  DESTINATION.setValue(code);
  gf_saveStringOption(DESTINATION);
  gf_showStringOption(DESTINATION);
  gf_showMessage(fmt::format("New destination: {}", code), true);
  gf_requestParkAirportToFront(code, position);
  gf_enableControl(REREAD_BUTTON, false);
}

void lf_processDestination() {
  gf_clearMessage();
  const std::string text = lf_getTextFromId(DESTINATION.controlId);
  if (text.empty()) {
    // Only in memory: the saved destination comes back with the next start.
    DESTINATION.setValue({});
    gf_enableControl(REREAD_BUTTON, true);
    gf_showMessage("destination set to empty", true);
    return;
  }
  if (text.size() != 4) {
    gf_showMessage(fmt::format("destination \"{}\" is not valid", text), true);
    gf_showStringOption(DESTINATION);
    return;
  }
  const std::string code = gf_toUpper(text);
  if (code == DESTINATION.value()) {
    gf_showMessage(fmt::format("destination \"{}\" was already set ...", code), true);
    gf_showStringOption(DESTINATION);
    return;
  }
  if (const std::optional<AirportData> airport = gf_findAirport(code)) {
    lf_setDestination(code, {airport->lat, airport->lon});
  } else {
    gf_showMessage(fmt::format("destination \"{}\" is unknown ...", code), true);
    gf_showStringOption(DESTINATION);
  }
}

bool lf_editBoxEnter(std::uint16_t controlId) {
  for (IntOptionEdit* option : kIntBoxes) {
    if (option->controlId == controlId) {
      lf_intEditProc(*option);
      return true;
    }
  }
  if (MAX_FIT_FL.controlId == controlId) {
    lf_floatEditProc();
    return true;
  }
  for (StringOptionEdit* option : kStringBoxes) {
    if (option->controlId == controlId) {
      lf_stringEditProc(*option);
      return true;
    }
  }
  return false;
}

}  // namespace amb
