// The main window's creation and its window procedure: the option controls, the check boxes and
// buttons, closing, and the two private messages.

#include "app/window.hpp"

#include "airports/services.hpp"
#include "app/edit_boxes.hpp"
#include "app/final_exit.hpp"
#include "app/main_loop.hpp"
#include "app/worker.hpp"
#include "core/bounded_work.hpp"
#include "core/clock.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "core/xml.hpp"
#include "feed/services.hpp"
#include "liveries/services.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <chrono>
#include <memory>
#include <thread>

namespace amb {

namespace {

platform::Ui* lf_window() { return g_mainHwnd.load(); }

// A stored coordinate at its option's limit is no real position (a window that was minimised when
// the program ended): the default takes its place, and is saved.
void repairStoredCoordinate(IntOption& option) {
  if (option.value != option.minimum && option.value != option.maximum) return;
  option.value = option.clamped(option.defaultValue);
  gf_saveIntOption(option);
}

// The follow-ups of the check boxes; "on" is the box's new state.
void clearOrShow(bool showWhenOn, bool on, const std::string& text) {
  if (on == showWhenOn)
    gf_showMessage(text, false);
  else
    gf_clearMessage();
}

void followUp(const BoolOptionCheckBox& box, bool on) {
  if (&box == &NAV_LIGHTS_WHILE_PARKED) {
    // The lights walk the engine's lists: the worker sends them at its next report.
    g_navLightsRequest = 1;
  } else if (&box == &AUTO_RANGE) {
    g_parkParameterChanged = 1;
    gf_enableControl(LATERAL_RANGE, !on);
    gf_enableControl(AUTO_RANGE_ABOVE_HEIGHT, on);
    if (on) {
      g_manualRadiusNm = LATERAL_RANGE.value.load();
      gf_autoRange();
    } else {
      g_autoRangeApplied = 0;
      LATERAL_RANGE.value = LATERAL_RANGE.clamped(g_manualRadiusNm);
      gf_setRadiusNm();
      gf_showIntOption(LATERAL_RANGE);
      gf_clearMessage();
    }
  } else if (&box == &SCAN_LIVERIES) {
    if (!on) {
      gf_clearMessage();
    } else if (g_rtLinkPending != 0) {
      gf_requestLiveryTablesRebuild();
      gf_showMessage("Your liveries will be scanned", true);
      gf_requestExit(NewSettings, 2);
    } else {
      gf_showMessage(fmt::format("Your liveries will be scanned at the next start of {}, recommended after you "
                                 "have add/removed AI aircraft models/liveries",
                                 g_programName),
                     false);
    }
  } else if (&box == &SCAN_AIRPORTS) {
    if (!on) {
      gf_clearMessage();
    } else if (g_rtLinkPending != 0) {
      gf_showMessage("Your airports will be scanned", true);
      gf_requestExit(NewSettings, 2);
    } else {
      gf_showMessage(fmt::format("Your airports will be scanned at the next start of {}, recommended after you "
                                 "have add/removed airports",
                                 g_programName),
                     false);
    }
  } else if (&box == &LIG_AUTOMATIC) {
    clearOrShow(false, on, "The liveries defined by your lfolder parameters will be scanned");
  } else if (&box == &LIG_PRIORITIZE) {
    clearOrShow(true, on, "Liveries in lower lfolders that are already available will be skipped");
  } else if (&box == &AFG_AUTOMATIC) {
    clearOrShow(false, on, "The airports defined by your afolder parameters will be scanned");
  } else if (&box == &PARK_SOFT || &box == &PARK_FAKE || &box == &WEEK) {
    lf_parkingOptionChanged();
  } else if (&box == &INITIAL_LOAD_ONLY) {
    clearOrShow(true, on,
                "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes");
    if (g_parkAirportLoaded != 0) g_parkParameterChanged = 1;
  } else if (&box == &COLLISION_LIVE_PARKED_GND) {
    clearOrShow(false, on, "Be aware, no collision avoidance with live aircraft vs parked static on the ground");
  } else if (&box == &COLLISION_USER_GND) {
    clearOrShow(false, on, "Be aware, no collision avoidance with user aircraft on the ground");
  } else if (&box == &COLLISION_USER_AIR) {
    clearOrShow(false, on, "Be aware, no collision avoidance with user aircraft in the air");
  } else if (&box == &SUPPRESS_STUB) {
    clearOrShow(true, on, "Exclude FSLTL-liveries titles ending with _STUB from scan");
  } else if (&box == &ALWAYS_ON_TOP) {
    clearOrShow(true, on, fmt::format("{}'s window will remain visible", g_programName));
    if (platform::Ui* ui = lf_window()) ui->setTopmost(on);
  } else if (&box == &AEROWINX) {
    clearOrShow(true, on,
                fmt::format("Aerowinx mode is only meant for users of the Aerowinx simulator, please re-start {}",
                            g_programName));
  } else if (&box == &LEARN_SOFT) {
    if (g_parkAirportLoaded != 0) g_parkParameterChanged = 1;
  } else if (&box == &GUID_CHANGES) {
    clearOrShow(false, on, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc..");
  }
  // LOG, LIGHT_AIRCRAFT, HELICOPTERS, HIGH_PERF_AIRCRAFT and STRAIGHT_PBS_ONLY only change their value.
}

// The check boxes in the order their ids are compared.
const std::array<BoolOptionCheckBox*, 24> kCheckBoxes{
    &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE,         &SCAN_LIVERIES,      &SCAN_AIRPORTS,
    &LIG_AUTOMATIC,           &LIG_PRIORITIZE,     &AFG_AUTOMATIC,      &PARK_SOFT,
    &PARK_FAKE,               &WEEK,               &INITIAL_LOAD_ONLY,  &COLLISION_LIVE_PARKED_GND,
    &COLLISION_USER_GND,      &COLLISION_USER_AIR, &SUPPRESS_STUB,      &LOG,
    &LIGHT_AIRCRAFT,          &HELICOPTERS,        &HIGH_PERF_AIRCRAFT, &ALWAYS_ON_TOP,
    &AEROWINX,                &STRAIGHT_PBS_ONLY,  &LEARN_SOFT,         &GUID_CHANGES};

}  // namespace

bool initInstance(platform::Ui& ui, const std::string& title) {
  // The window object is made with the program's other globals; wait for it, bounded.
  for (int i = 0; g_mainWindow.ready == 0; ++i) {
    if (i == 18) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  pugi::xml_document doc;
  if (gf_loadXmlFile(doc, gf_pathFromUtf8(g_parametersPath))) {
    gf_readIntOption(g_mainWindow.mainWindowX, doc, false);
    gf_readIntOption(g_mainWindow.mainWindowY, doc, false);
    repairStoredCoordinate(g_mainWindow.mainWindowX);
    repairStoredCoordinate(g_mainWindow.mainWindowY);
  }
  g_mainWindow.window = &ui;
  // The window procedure lives as long as the window, which lives as long as the process.
  static std::unique_ptr<AppWindow> events;
  events = std::make_unique<AppWindow>(ui);
  return ui.createMainWindow(title, g_mainWindow.mainWindowX.value, g_mainWindow.mainWindowY.value, kClientWidth,
                             kClientHeight, *events);
}

void lf_createControls(platform::Ui& ui) { gf_createOptionControls(ui); }

bool lf_HandleWMCOMMAND(std::uint16_t id) {
  platform::Ui* ui = lf_window();
  bool unmatched = true;
  try {
    if (id == UNBLOCK_BUTTON.controlId) {
      unmatched = false;
      if (!BLOCK_CALLSIGN.value().empty())
        lf_unblockCallsign();
      else
        gf_showMessage("Nothing to block or unblock...", false);
    } else if (id == REREAD_BUTTON.controlId) {
      unmatched = false;
      g_rereadRequest = 1;
      gf_enableControl(REREAD_BUTTON, false);
      gf_enableControl(DESTINATION, false);
    } else if (id == FLUSH_STATIC_BUTTON.controlId) {
      unmatched = false;
      gf_showMessage("All static parked aircraft will be removed ...", false);
      g_flushStaticRequest = 1;
      gf_enableControl(FLUSH_STATIC_BUTTON, false);
    } else {
      for (BoolOptionCheckBox* box : kCheckBoxes) {
        if (box->controlId != id) continue;
        unmatched = false;
        // The boxes do not tick themselves: the click turns the state over here.
        const bool wasChecked = ui != nullptr && ui->isChecked(id);
        if (ui != nullptr) ui->setChecked(id, !wasChecked);
        box->value = wasChecked ? 0 : 1;
        gf_saveBoolOption(*box);
        followUp(*box, !wasChecked);
        break;
      }
    }
    gf_repaintOptionArea();
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("{} exception {}", "lf_HandleWMCOMMAND", e.what()));
  }
  return unmatched;
}

void lf_checkWindowPosition(std::int32_t oldX, std::int32_t oldY) {
  for (auto [option, old] : {std::pair<IntOption*, std::int32_t>{&g_mainWindow.mainWindowX, oldX},
                             std::pair<IntOption*, std::int32_t>{&g_mainWindow.mainWindowY, oldY}}) {
    if (option->value != option->minimum && option->value != option->maximum) continue;
    option->value = option->clamped(old);
  }
}

void lf_endProgram() {
  platform::Ui* ui = g_mainWindow.window.load();
  if (ui == nullptr) return;
  const platform::Rect rect = ui->windowRect();
  const std::int32_t oldX = g_mainWindow.mainWindowX.value;
  const std::int32_t oldY = g_mainWindow.mainWindowY.value;
  g_mainWindow.mainWindowX.value = g_mainWindow.mainWindowX.clamped(rect.left);
  g_mainWindow.mainWindowY.value = g_mainWindow.mainWindowY.clamped(rect.top);
  lf_checkWindowPosition(oldX, oldY);
  // The settings file may not answer (the exit found so already, or it hangs now): the window closes
  // all the same, within a few seconds. A slow disk that flushes each write to it answers well within
  // them: both coordinates go in one write.
  const auto save = [] { gf_saveIntOptions({&g_mainWindow.mainWindowX, &g_mainWindow.mainWindowY}); };
  if (gf_settingsUnansweredAtExit() ||
      !gf_runBounded("SaveWindow", save, std::chrono::steady_clock::now() + std::chrono::seconds(4)))
    gf_logMarked("the window's position is not saved in parameters.xml: the file does not answer");
  gf_closeLog(gf_timeString(clock::unixSeconds()));
  ui->quit(0);
}

void AppWindow::seen() { g_mainHwnd = &m_ui; }

void AppWindow::onCreate() {
  seen();
  lf_createControls(m_ui);
}

void AppWindow::onPaint(platform::Surface& s) {
  seen();
  lf_paintWindow(s);
}

void AppWindow::onCommand(std::uint16_t id) {
  seen();
  gf_endNoticeHold();
  lf_HandleWMCOMMAND(id);
}

void AppWindow::onEditEnter(std::uint16_t id) {
  seen();
  gf_endNoticeHold();
  lf_editBoxEnter(id);
}

void AppWindow::onClose() {
  seen();
  // The window stays until the exit sequence has ended.
  gf_endNoticeHold();
  gf_showMessage(fmt::format("Close window button clicked, closing {} ...", g_programName), false);
  gf_requestExit(UserClosedSim, 0);
}

void AppWindow::onApp(int n) {
  seen();
  if (n == 1)
    lf_startWorker();
  else if (n == 2)
    lf_endProgram();
}

void AppWindow::onDestroy() {
  seen();
  m_ui.quit(0);
}

}  // namespace amb
