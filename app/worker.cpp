#include "app/worker.hpp"

#include "airports/services.hpp"
#include "app/edit_boxes.hpp"
#include "app/main_loop.hpp"
#include "app/session.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/jobs.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "core/user_error.hpp"
#include "feed/services.hpp"
#include "liveries/services.hpp"
#include "platform/thread_name.hpp"
#include "refdata/services.hpp"
#include "scan/services.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"
#include "state/detection.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace amb {

namespace fs = std::filesystem;

namespace {

std::mutex g_workerMutex;
std::condition_variable g_workerEnded;
int g_workersRunning = 0;
std::stop_source g_workerStop{std::nostopstate};

// The thread object of the current worker; it is detached at once, so it holds no thread between two
// starts.
std::jthread g_workerThread;

thread_local bool t_isWorker = false;
// The worker's stop token, which lives on the worker's own stack. A plain pointer: a thread-local with
// a destructor is torn down at the thread's exit by the runtime (from the loader's thread-detach
// callbacks under MinGW's emulated thread-locals), which a worker that outlives an exit must not need.
thread_local const std::stop_token* t_stop = nullptr;

// The data base is read once per process; restarts keep it.
std::atomic<bool> g_dataBaseRead{false};

platform::Ui* lf_window() { return g_mainHwnd.load(); }

void checkBox(const BoolOptionCheckBox& box) { box.refresh(); }

// The status of a path; an error other than "not found" throws the file-system error of operation.
fs::file_status statusOf(const fs::path& p, const char* operation) {
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error(operation, p, ec);
  return st;
}

void createFolder(const fs::path& p, bool whenNotDirectory) {
  const fs::file_status st = statusOf(p, whenNotDirectory ? "status" : "exists");
  const bool present = whenNotDirectory ? fs::is_directory(st) : fs::exists(st);
  if (present) return;
  std::error_code ec;
  fs::create_directory(p, ec);
  if (ec) throw fs::filesystem_error("create_directory", p, ec);
}

void lf_controlStatesBeforeDataBase() {
  gf_enableControl(CUSTOM_MAX_PARK, true);
  parking_percentage.value = 30;
  gf_showIntOption(parking_percentage);
  gf_enableControl(AUTO_RANGE, true);
  const bool autoRange = AUTO_RANGE.value != 0;
  if (!autoRange) gf_enableControl(LATERAL_RANGE, true);
  gf_enableControl(COLLISION_USER_AIR, true);
  gf_enableControl(COLLISION_LIVE_PARKED_GND, true);
  gf_enableControl(GUID_CHANGES, true);
  gf_enableControl(LEARN_SOFT, false);
  gf_enableControl(BLOCK_CALLSIGN, true);
  if (autoRange) gf_enableControl(AUTO_RANGE_ABOVE_HEIGHT, true);
  gf_enableControl(MAX_LIVE, true);
  if (!BLOCK_CALLSIGN.value().empty()) gf_enableControl(UNBLOCK_BUTTON, true);
}

void lf_controlStatesAfterDetection() {
  gf_enableControl(LIG_PRIORITIZE, true);
  gf_enableControl(parking_percentage, false);
  lf_clearControlText(parking_percentage.controlId);
  MAX_FIT_FL.value = static_cast<float>(MAX_FIT.value) * 0.5f + 0.5f;
  gf_enableControl(MAX_FIT_FL, false);
  lf_clearControlText(MAX_FIT_FL.controlId);
  for (const BoolOptionCheckBox* c : {&SCAN_LIVERIES, &LIG_AUTOMATIC, &SCAN_AIRPORTS, &AFG_AUTOMATIC, &LIGHT_AIRCRAFT,
                                      &HELICOPTERS, &HIGH_PERF_AIRCRAFT})
    gf_enableControl(*c, true);
  gf_enableControl(DESTINATION, false);
  gf_enableControl(AIRPORT_RANGE, true);
  gf_enableControl(AIRPORT_HEIGHT, true);
  g_manualRadiusNm = LATERAL_RANGE.value.load();
  for (const BoolOptionCheckBox* c : {&INITIAL_LOAD_ONLY, &PARK_SOFT, &STRAIGHT_PBS_ONLY, &PARK_FAKE, &WEEK})
    gf_enableControl(*c, true);
  gf_enableControl(FLUSH_STATIC_BUTTON, false);
  gf_enableControl(NAV_LIGHTS_WHILE_PARKED, true);
  gf_enableControl(MATCHING_DEPTH, true);
  gf_enableControl(COLLISION_USER_GND, true);
}

std::atomic<void (*)()> g_workerStartUp{nullptr};

void workerBody(std::stop_token stop) {
  platform::setCurrentThreadName("Worker");
  t_isWorker = true;
  t_stop = &stop;
  void (*const startUp)() = g_workerStartUp.load();
  (startUp != nullptr ? startUp : lf_startUpAMBT)();
  t_stop = nullptr;
  t_isWorker = false;
  {
    std::lock_guard lock(g_workerMutex);
    --g_workersRunning;
  }
  g_workerEnded.notify_all();
}

}  // namespace

void lf_createFolders() {
  const fs::path learnedRoot = g_airportsFolder / "learned";
  for (const fs::path& p : {g_outputFolder, g_outputInfoFolder, g_outputErrorsFolder, g_airportsFolder, learnedRoot,
                            g_learnedStockFolder, g_learnedSimaddonFolder, g_learnedThirdpartyFolder})
    createFolder(p, false);
  createFolder(g_myOrbxFolder, true);
  createFolder(g_myThirdpartyFolder, true);
  createFolder(g_myRegcodesFolder, false);
}

void lf_checkStockScenery() {
  g_stockSceneryPath = gf_pathFromUtf8(SIM_INSTALL_PATH.value()) / "Scenery";
  std::error_code ec;
  if (!fs::exists(g_stockSceneryPath, ec))
    gf_showMessage(fmt::format("Stock airports path does not exist: {}", gf_pathText(g_stockSceneryPath)), true);
}

void lf_prepareStartUp() {
  gf_loadOptions();
  gf_repaintStatusArea();
  lf_createFolders();
  g_maxLiveInUse = MAX_LIVE.value.load();
  if (g_restartPending == 0) gf_checkForProgramUpdate();
  lf_controlStatesBeforeDataBase();

  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec) throw fs::filesystem_error("current_path()", ec);
  gf_setStringOption(PROGRAM_INSTALL_PATH, gf_pathText(cwd));

  g_weekSlot = gf_weekSlotNow().packed();
  if (!g_dataBaseRead) {
    lf_readDataBase();
    g_dataBaseRead = true;
  }

  ALL_INSTALL_PATH.setValue(SIM_INSTALL_PATH.value());
  gf_enableControl(ALL_INSTALL_PATH, true);
  gf_showStringOption(ALL_INSTALL_PATH);
  if (ALL_INSTALL_PATH.value().empty()) lf_detectSimulator();
  gf_repaintOptionArea();

  const fs::path appData = gf_appDataFolder();
  g_realTrafficLocal =
      !appData.empty() && fs::exists(appData / g_realTrafficFolderName / "RealTraffic.jar", ec) ? 1 : 0;
  gf_showMessage(fmt::format("RealTraffic {}detected at this PC", g_realTrafficLocal != 0 ? "" : "not "), true);

  lf_controlStatesAfterDetection();
  lf_readAirports();
}

void lf_startUpAMBT() {
  try {
    // The program must run from its own folder, which holds "docs".
    if (!fs::is_directory(statusOf(g_docsFolder, "status")))
      throw UserErrorException(41, fmt::format("{} must be run from the {} folder!", g_programName, g_programName));

    lf_prepareStartUp();
    lf_checkStockScenery();
    g_hardwareConcurrency = std::thread::hardware_concurrency();
    gf_setJobLimit(g_hardwareConcurrency);
    g_runningJobs.exchange(0);

    std::error_code ec;
    if (!fs::exists(g_liveriesScannedPath, ec) && SCAN_LIVERIES.value == 0) {
      gf_showMessage(fmt::format("File {} is gone, rescan liveries", gf_pathText(g_liveriesScannedPath)), true);
      SCAN_LIVERIES.value = 1;
      gf_saveBoolOption(SCAN_LIVERIES);
      checkBox(SCAN_LIVERIES);
      gf_repaintOptionArea();
    }
    lf_scanLiveries();
    if (lf_runEnding()) return;

    if (SCAN_AIRPORTS.value != 0) {
      g_myOrbxCount = 0;
      g_myThirdpartyCount = 0;
      gf_repaintStatusArea();
      gf_scanAddOnAirports();
    }
    g_myThirdpartyCount = static_cast<std::uint64_t>(gf_countFilesInFolder(g_myThirdpartyFolder));
    g_myOrbxCount = static_cast<std::uint64_t>(gf_countFilesInFolder(g_myOrbxFolder));
    gf_repaintStatusArea();
    if (g_exitUnderWay != 0 || g_userClosed != 0) {
      gf_requestExit(UserClosedSim, 1);
      return;
    }
    if (lf_workerStopRequested()) return;

    gf_createFlightPlanFolder();
    if (lf_readMyParkAirports()) gf_showMessage("park airports and stands are okay", false);
    gf_enableControl(REREAD_BUTTON, true);
    const std::string destination = DESTINATION.value();
    if (!destination.empty()) {
      if (const std::optional<AirportData> airport = gf_findAirport(destination))
        lf_setDestination(destination, {airport->lat, airport->lon});
    }
    // The destination goes to the front of the park airports now, not at the main loop's first tick:
    // the automatic range below measures from the first of them.
    gf_applyParkAirportRequests();
    if (platform::Ui* ui = lf_window()) ui->setTopmost(ALWAYS_ON_TOP.value != 0);
    if (AUTO_RANGE.value != 0) {
      gf_autoRange();
      gf_enableControl(LATERAL_RANGE, false);
    }
    lf_runSession();
  } catch (...) {
    gf_reportException("lf_startUpAMBT");
  }
}

void lf_startWorker() {
  {
    std::lock_guard lock(g_workerMutex);
    ++g_workersRunning;
  }
  try {
    std::jthread worker(workerBody);
    {
      std::lock_guard lock(g_workerMutex);
      g_workerStop = worker.get_stop_source();
    }
    g_workerThread = std::move(worker);
    g_workerThread.detach();
  } catch (...) {
    {
      std::lock_guard lock(g_workerMutex);
      --g_workersRunning;
    }
    g_workerEnded.notify_all();
    throw;
  }
}

void gf_requestWorkerStop() {
  std::lock_guard lock(g_workerMutex);
  g_workerStop.request_stop();
}

bool gf_waitForWorkerEnd(std::chrono::milliseconds bound) {
  std::unique_lock lock(g_workerMutex);
  return g_workerEnded.wait_for(lock, bound, [] { return g_workersRunning == 0; });
}

int gf_runningWorkers() {
  std::lock_guard lock(g_workerMutex);
  return g_workersRunning;
}

bool lf_workerStopRequested() { return t_isWorker && t_stop != nullptr && t_stop->stop_requested(); }

bool lf_runEnding() { return g_exitUnderWay != 0 || g_userClosed != 0 || lf_workerStopRequested(); }

bool lf_sleepUntil(std::chrono::steady_clock::time_point until) {
  if (!t_isWorker || t_stop == nullptr) {
    std::this_thread::sleep_until(until);
    return true;
  }
  std::mutex m;
  std::condition_variable_any cv;
  std::unique_lock lock(m);
  cv.wait_until(lock, *t_stop, until, [] { return false; });
  return !t_stop->stop_requested();
}

bool lf_sleepFor(std::chrono::steady_clock::duration d) { return lf_sleepUntil(std::chrono::steady_clock::now() + d); }

void gf_setWorkerStartUp(void (*startUp)()) { g_workerStartUp = startUp; }

void gf_runAsWorker(std::stop_token stop, void (*body)()) {
  t_isWorker = true;
  t_stop = &stop;
  body();
  t_stop = nullptr;
  t_isWorker = false;
}

}  // namespace amb
