#include "scan/scan.hpp"

#include "platform/copy_file.hpp"
#include "airports/services.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/jobs.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "platform/copy_file.hpp"
#include "scan/airport_files.hpp"
#include "scan/bgl.hpp"
#include "scan/scenery_lists.hpp"
#include "scan/services.hpp"
#include "settings/parameters.hpp"
#include "state/detection.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <deque>
#include <fstream>
#include <future>
#include <iterator>
#include <mutex>

namespace amb {

namespace fs = std::filesystem;

std::atomic<std::int32_t> g_offlineLearningCopies{0};
std::atomic<bool> g_simaddonAirportsDone{false};

namespace {

constexpr const char* kMarker = "===> ";

ScanHooks defaultHooks() {
  return {gf_simMajorVersion, [] { return g_stockSceneryPath; }, gf_checkOfflineLearning, [] {
            gf_repaintStatusArea();
            gf_repaintOptionArea();
          }};
}

std::mutex g_hooksMutex;
ScanHooks g_hooks = defaultHooks();

ScanHooks hooks() {
  std::lock_guard lock(g_hooksMutex);
  return g_hooks;
}

void repaint(const ScanHooks& h) { h.repaint(); }

fs::path stockScenery(const ScanHooks& h) { return h.stockScenery(); }

void lf_searchAirportsInFolder(const fs::path& folder, const fs::path& stock) {
  const std::string folderText = gf_pathText(folder);
  gf_addScanLogLine(std::string("Scanning for ") + "addon airports in " + folderText);
  std::deque<std::future<void>> pending;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, ec);
  const fs::recursive_directory_iterator end;
  for (; !ec && it != end; it.increment(ec)) {
    try {
      const fs::directory_entry& entry = *it;
      if (lf_isInSimSceneryFolder(entry.path(), stock)) {
        if (entry.is_directory()) it.disable_recursion_pending();
        continue;
      }
      const std::string text = gf_pathText(entry.path());
      if (!entry.is_regular_file() || !lf_isBglExtension(gf_pathText(entry.path().extension())) ||
          text.find("statics") != std::string::npos || text.find("_heliports") != std::string::npos ||
          !lf_bglHasAirports(entry.path()))
        continue;
      if (g_exitUnderWay != 0 || g_userClosed != 0) break;
      const fs::path path = entry.path();
      pending.push_back(gf_startJob([path] { lf_toParkingPositions(path); }));
      if (pending.size() > static_cast<std::size_t>(g_maxJobs.load())) {
        std::future<void> oldest = std::move(pending.front());
        pending.pop_front();
        try {
          oldest.get();
        } catch (const std::exception& e) {
          gf_addScanLogLine(fmt::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", kMarker, e.what(),
                                        pending.size(), text));
        }
      }
    } catch (const std::exception& e) {
      gf_addScanLogLine(fmt::format("{} airports search in folder {} aborted, cause: {}", kMarker, folderText, e.what()));
    }
  }
  if (ec)
    gf_addScanLogLine(fmt::format("{} airports search in folder {} aborted because of iterator problem: {}", kMarker,
                                  folderText, ec.message()));
  // Every started job ends before the folder is done, also after an iterator problem.
  for (std::future<void>& f : pending) {
    try {
      f.get();
    } catch (const std::exception& e) {
      gf_addScanLogLine(fmt::format("{} airports search in {} aborted, futs outer error: {}", kMarker, folderText, e.what()));
    }
  }
}

void lf_scanAirportFolder(const std::string& folderText, const fs::path& stock) {
  if (folderText.empty()) return;
  const fs::path folder = gf_simFolderTextToPath(folderText);
  const fs::file_status status = fs::status(folder);  // a failure other than "not found" ends the scan
  if (!fs::exists(status)) {
    gf_showMessage(folderText + " does not exist, skipped!", true);
  } else if (fs::is_directory(status)) {
    if (!lf_isInSimSceneryFolder(folder, stock)) lf_searchAirportsInFolder(folder, stock);
  } else {
    gf_showMessage(folderText + " is not a folder name, skipped!", true);
  }
}

struct CopyCounts {
  std::size_t copied = 0;
  std::size_t unsuitable = 0;
};

// Copies the suitable generated files of one folder into the offline-learning folder; a copied
// file that also has a link file is removed from the folder (the link serves the airport).
CopyCounts lf_copyForOfflineLearning(const fs::path& folder, const std::vector<std::string>& stems, bool simaddon,
                                     const ScanHooks& h) {
  CopyCounts counts;
  fs::create_directory(g_tbloFolder);
  for (const std::string& stem : stems) {
    if (!h.offlineLearningSuitable(stem)) {
      ++counts.unsuitable;
      continue;
    }
    const fs::path source = folder / (stem + ".xml");
    const fs::path target = g_tbloFolder / (stem + ".xml");
    // A copy left by an earlier scan is replaced (not std::filesystem::copy_file: see
    // platform/copy_file.hpp).
    std::error_code copyError;
    if (!platform::copyFileReplacing(source, target, copyError)) {
      if (simaddon)
        gf_logMarked(fmt::format("failed to copy {}", gf_pathText(source)));
      else
        gf_logMarked(fmt::format("\"{}\" failed to copy \"{}\"", gf_pathText(source), gf_pathText(target)));
      continue;
    }
    gf_logf("{} copied to {}", stem, gf_pathText(target));
    ++counts.copied;
    if (fs::exists(folder / (stem + ".txt"))) fs::remove(source);
  }
  return counts;
}

// Whether every generated simaddon file was handled; the window paints the simaddon count in lime
// while it is so.
void lf_setSimaddonDone(bool done) {
  g_simaddonAirportsDone = done;
  g_mainWindow.simaddonComplete = done ? 1 : 0;
}

void lf_askForOfflineLearningFolder() {
  gf_log("");
  gf_logMarked(fmt::format("Please zip the folder {} and mail the zip file to the {} support, so that these "
                           "airports can be learned offline",
                           gf_pathText(fs::absolute(g_tbloFolder)), g_programName));
}

}  // namespace

void gf_setScanHooks(ScanHooks h) {
  std::lock_guard lock(g_hooksMutex);
  g_hooks = std::move(h);
}

void gf_resetScanHooks() { gf_setScanHooks(defaultHooks()); }

void gf_clearFolder(const fs::path& folder) {
  try {
    if (!fs::is_directory(folder)) return;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      if (!fs::exists(entry.symlink_status())) continue;
      if (fs::remove_all(entry.path()) == 0) gf_log(gf_pathText(entry.path()) + " could not be removed");
    }
  } catch (const std::exception& e) {
    throw UserErrorException(5, e.what());
  }
}

std::vector<std::string> gf_listXmlFiles(const fs::path& folder) {
  std::vector<std::string> stems;
  stems.reserve(512);
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::string ext = gf_pathText(entry.path().extension());
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::string stem = gf_pathText(entry.path().stem());
    if (ext == ".XML" && stem.size() == 4) stems.push_back(stem);
  }
  return stems;
}

void lf_checkAfolderParameters(std::span<StringOption* const> options, std::vector<std::string>& folders) {
  const fs::path stock = stockScenery(hooks());
  for (StringOption* option : options) {
    const std::string value = option->value();
    if (value.empty()) continue;
    if (lf_isInSimSceneryFolder(gf_simFolderTextToPath(value), stock))
      throw UserErrorException(
          42, fmt::format("parameter {} points to stock airports instead of add-on airports!", option->key));
    folders.push_back(value);
  }
}

void lf_toParkingPositions(const fs::path& path) {
  const std::string pathText = gf_pathText(path);
  AirportFileMaker maker(pathText);
  gf_decodeBglFile(path, pathText, maker);
}

bool lf_scanAirportFolders(const std::vector<std::string>& folders) {
  const ScanHooks h = hooks();
  try {
    gf_removeFileIfExists(g_airportsScanLogPath);
  } catch (const std::exception&) {
    gf_log("problems with removing previous files (maybe still open?)");
  }
  g_offlineLearningCopies = 0;
  gf_reserveScanLog(2048);
  const fs::path stock = stockScenery(h);
  for (const std::string& folder : folders) lf_scanAirportFolder(folder, stock);

  if (gf_writeLinesToFile(gf_takeScanLogLines(), g_airportsScanLogPath))
    gf_log(gf_pathText(g_airportsScanLogPath) + " written");
  gf_clearMessage();

  const std::vector<std::string> thirdparty = gf_listXmlFiles(g_myThirdpartyFolder);
  const std::vector<std::string> simaddon = gf_listXmlFiles(g_myOrbxFolder);
  lf_setSimaddonDone(simaddon.empty());
  repaint(h);
  if (fs::exists(g_tbloFolder)) fs::remove_all(g_tbloFolder);

  if (!simaddon.empty()) {
    const CopyCounts c = lf_copyForOfflineLearning(g_myOrbxFolder, simaddon, true, h);
    lf_setSimaddonDone(c.copied + c.unsuitable == simaddon.size());
    repaint(h);
    if (c.copied == 0) {
      gf_log("All your ORBX airports are done, no off line learning needed.");
      fs::remove_all(g_tbloFolder);
    } else {
      g_offlineLearningCopies = static_cast<std::int32_t>(c.copied);
      lf_askForOfflineLearningFolder();
    }
  }
  if (!thirdparty.empty()) {
    const CopyCounts c = lf_copyForOfflineLearning(g_myThirdpartyFolder, thirdparty, false, h);
    repaint(h);
    if (c.copied == 0) {
      gf_log("All your third party airports are done, no off line learning needed.");
      if (g_offlineLearningCopies == 0) fs::remove_all(g_tbloFolder);
    } else {
      g_offlineLearningCopies += static_cast<std::int32_t>(c.copied);
      lf_askForOfflineLearningFolder();
    }
  }
  if (g_airportsScanSuccessful) gf_log("Airports scan successful");
  return g_airportsScanSuccessful;
}

void gf_scanAddOnAirports() {
  const ScanHooks h = hooks();
  gf_showMessage("Scanning for addon airports ...", false);
  const bool automatic = AFG_AUTOMATIC.value != 0;
  gf_logf("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
          automatic ? "automatic " : "manual ");
  std::vector<std::string> folders;
  folders.reserve(10);
  if (automatic) {
    const std::string version = h.simMajorVersion();
    const SceneryConfig config{gf_simProgramDataFolder(version), gf_simFolderTextToPath(SIM_INSTALL_PATH.value()),
                               stockScenery(h)};
    lf_readSceneryCfg(config, folders);
    lf_readSceneryAddOnsXml(config, folders);
  } else {
    StringOption* const options[] = {&afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
                                     &afolder5, &afolder6, &afolder7, &afolder8, &afolder9};
    lf_checkAfolderParameters(options, folders);
    if (folders.empty())
      throw UserErrorException(49, "Set afolder parameter(-s) to your add-on airports first, see Manual 6.1");
  }
  gf_clearFolder(g_myOrbxFolder);
  gf_clearFolder(g_myThirdpartyFolder);
  if (!lf_scanAirportFolders(folders)) gf_showMessage("Warning: Scan has not found any add-on airports", true);

  SCAN_AIRPORTS.value = 0;
  gf_saveBoolOption(SCAN_AIRPORTS);
  SCAN_AIRPORTS.refresh();
  repaint(h);
  gf_log("-------------------------- airports scan ends    ----------------------------\n");
}

void gf_resetScan() {
  gf_takeScanLogLines();
  g_offlineLearningCopies = 0;
  g_simaddonAirportsDone = false;
  gf_resetAirportFiles();
  gf_resetScanHooks();
}

}  // namespace amb
