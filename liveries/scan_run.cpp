#include "liveries/scan_run.hpp"

#include "liveries/auto_folders.hpp"
#include "liveries/cfg_file.hpp"
#include "liveries/folder_search.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"

#include "state/main_window.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "core/user_error.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"

#include <fmt/format.h>

#include <map>
#include <utility>

namespace amb {

namespace fs = std::filesystem;

std::vector<std::string> g_airlineModelConversions;

namespace {

bool stopping() { return g_exitUnderWay != 0 || g_userClosed != 0; }

void writeReportFile(std::list<std::string> lines, const fs::path& path, bool sorted) {
  if (sorted) lines.sort();
  gf_writeLinesToFile(lines, path);
}

}  // namespace

bool gf_writeLinesToFile(const std::list<std::string>& lines, const fs::path& path) {
  return gf_writeFileAtomic(path, [&lines](std::ostream& out) {
    for (const auto& line : lines) out << line << '\n';
    return out.good();
  });
}

void gf_resetLiveryScan() {
  g_liveryList.clear();
  lf_clearScanReportLists();
  lf_clearCodeFixes();
  g_airlineModelConversions.clear();
}

void lf_removePreviousScanFiles() {
  try {
    // "LiveriesScanned.xml" stays until a scan has a new one: a scan that fails keeps the old liveries.
    for (const fs::path& path :
         {g_outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt",
          g_outputInfoFolder / "LiveriesSkippedOnPriority.txt", g_outputErrorsFolder / "InlineRegcodes.txt",
          g_invalidAirlineCodesPath, g_invalidAircraftCodesPath, g_fixesPath, g_invalidAircraftCfgFilesPath,
          g_incompleteFltsimSectionsPath}) {
      if (fs::exists(path)) fs::remove(path);
    }
    if (fs::exists(g_outputErrorsFolder)) fs::remove(g_outputErrorsFolder);
  } catch (const std::exception& e) {
    gf_log(fmt::format("problems with removing previous files: {}", e.what()));
  }
}

void lf_logCodeFixes(LiveryData& livery) {
  if (livery.atcid.empty()) return;
  const auto info = gf_findRegcodeInfo(livery.atcid);
  if (!info) return;
  const auto note = [&](const char* what, const std::string& from, const std::string& to) {
    g_airlineModelConversions.push_back(
        fmt::format("{:80} {} {} {} => {}", livery.title, livery.atcid, what, from, to));
  };
  if (livery.cargo != info->cargo) {
    note("cargo", livery.cargo ? "true" : "false", info->cargo ? "true" : "false");
    livery.cargo = info->cargo;
  }
  const std::string& airline = info->operatorCode.empty() ? info->airline : info->operatorCode;
  if (livery.airline != airline) {
    note("airl", livery.airline, airline);
    livery.airline = airline;
  }
  if (livery.type != info->type) {
    note("model", livery.type, info->type);
    livery.type = info->type;
  }
}

void lf_writeScanReport() {
  try {
    const bool errors = !g_invalidAirlineCodes.empty() || !g_invalidModelCodes.empty() ||
                        !g_codeFixes.empty() || !g_invalidCfgFiles.empty() ||
                        !g_incompleteFltsimSections.empty();
    gf_log(errors ? "\nErrors:" : "\nNo errors");
    const auto errorFile = [](const std::list<std::string>& list, const fs::path& path, bool sorted,
                              const std::string& line) {
      if (list.empty()) return;
      fs::create_directories(g_outputErrorsFolder);
      writeReportFile(list, path, sorted);
      gf_log(line);
    };
    const auto count = [](const auto& list) { return static_cast<std::int64_t>(list.size()); };
    errorFile(g_invalidAirlineCodes, g_invalidAirlineCodesPath, true,
              fmt::format("{} invalid airline code{}, see {}", count(g_invalidAirlineCodes),
                          gf_pluralS(count(g_invalidAirlineCodes)), gf_pathText(g_invalidAirlineCodesPath)));
    errorFile(g_invalidModelCodes, g_invalidAircraftCodesPath, true,
              fmt::format("{} invalid model code{}, see {}", count(g_invalidModelCodes),
                          gf_pluralS(count(g_invalidModelCodes)), gf_pathText(g_invalidAircraftCodesPath)));
    errorFile({g_codeFixes.begin(), g_codeFixes.end()}, g_fixesPath, false,
              fmt::format("{} code fixes, see {}", g_codeFixes.size(), gf_pathText(g_fixesPath)));
    errorFile(g_invalidCfgFiles, g_invalidAircraftCfgFilesPath, true,
              fmt::format("{} invalid aircraft.cfg files, see {}", g_invalidCfgFiles.size(),
                          gf_pathText(g_invalidAircraftCfgFilesPath)));
    errorFile(g_incompleteFltsimSections, g_incompleteFltsimSectionsPath, true,
              fmt::format("{} incomplete [fltsim.x] sections, see {}", g_incompleteFltsimSections.size(),
                          gf_pathText(g_incompleteFltsimSectionsPath)));
    gf_log("\nInformation:");
    if (!g_emptyCfgFiles.empty()) {
      const fs::path path = g_outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt";
      writeReportFile(g_emptyCfgFiles, path, true);
      gf_log(fmt::format("{} empty aircraft.cfg files, see {}", g_emptyCfgFiles.size(), gf_pathText(path)));
    }
    if (!g_airlineModelConversions.empty()) {
      const fs::path path = g_outputInfoFolder / "AirlineModelConversions.txt";
      writeReportFile({g_airlineModelConversions.begin(), g_airlineModelConversions.end()}, path, false);
      gf_log(fmt::format("{} liveries updated with real live data from dbase, see {}",
                         g_airlineModelConversions.size(), gf_pathText(path)));
    }
  } catch (...) {
    // The files written so far stay; the report simply ends.
  }
}

void lf_dropLowerPriorities(std::list<LiveryData>& liveries) {
  // One pass for the best rank of every airline and type, one to drop the rest: the same result as
  // comparing every record with all before it.
  std::map<std::pair<std::string, std::string>, int> best;
  for (const auto& livery : liveries) {
    auto [it, inserted] = best.try_emplace({livery.airline, livery.type}, livery.priority);
    if (!inserted && livery.priority < it->second) it->second = livery.priority;
  }
  liveries.remove_if(
      [&](const LiveryData& livery) { return livery.priority > best.at({livery.airline, livery.type}); });
}

void lf_scanLiveryFolder(LiveryScanCounters& counters, const std::string& folder) {
  if (folder.empty()) return;
  const fs::path path = gf_simFolderTextToPath(folder);
  if (!fs::exists(path)) {
    gf_log(folder + " does not exist, skipped!");
    return;
  }
  if (!fs::is_directory(path)) {
    gf_log(folder + " is not a folder name, skipped!");
    return;
  }
  const std::string place = "found in " + folder;
  if (counters.rank < 10) ++counters.rank;
  if (stopping()) return;
  lf_searchLiveriesInFolder(counters.rank, path);
  const std::uint64_t n = g_liveryList.size();
  if (n > 0) {
    const auto added = static_cast<std::int64_t>(n - counters.previousSize);
    gf_log(fmt::format("{} liverie{} {}", added, gf_pluralS(added), place));
    counters.total += static_cast<std::uint64_t>(added);
    counters.previousSize = n;
  } else {
    gf_log("No liveries " + place);
  }
}

bool lf_scanLiveryFolders(const std::vector<std::string>& folders, bool& stopped) {
  stopped = false;
  g_liveryList.clear();
  lf_clearCodeFixes();
  g_airlineModelConversions.clear();
  lf_removePreviousScanFiles();
  lf_readAigRegcodes();
  LiveryScanCounters counters;
  for (const auto& folder : folders) lf_scanLiveryFolder(counters, folder);
  if (stopping()) {
    stopped = true;
    g_liveryList.clear();
    lf_clearScanReportLists();
    return true;
  }
  if (g_liveryList.empty()) {
    g_mainWindow.liveryCount = 0;
    gf_repaintStatusArea();
    lf_clearScanReportLists();
    g_airlineModelConversions.clear();
    gf_clearMessage();
    return false;
  }
  if (folders.size() >= 2) gf_log(fmt::format("{} in total", counters.total));
  for (auto& livery : g_liveryList) lf_logCodeFixes(livery);
  if (LIG_PRIORITIZE.value != 0) lf_dropLowerPriorities(g_liveryList);
  gf_sortLiveries(g_liveryList);
  g_liveryList.unique(lf_sameLivery);
  lf_writeLiveriesScanned();
  g_liveryList.clear();
  lf_writeScanReport();
  lf_clearScanReportLists();
  g_airlineModelConversions.clear();
  gf_clearMessage();
  return true;
}

void lf_scanLiveries() {
  if (SCAN_LIVERIES.value == 0) {
    lf_processScannedLiveries();
    return;
  }
  const bool automatic = LIG_AUTOMATIC.value != 0;
  gf_showMessage(fmt::format("Scanning {} for liveries ...",
                             LIG_PRIORITIZE.value != 0 && !automatic ? "prioritized " : ""),
                 false);
  gf_log(fmt::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                     automatic ? "automatic" : "manual"));
  std::vector<std::string> folders;
  folders.reserve(10);
  if (automatic) {
    lf_readP3DAddOnsAircraft(folders);
    lf_readP3DSimObjectsCfg(folders);
  } else {
    for (const StringOption* option :
         {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5, &lfolder6, &lfolder7, &lfolder8,
          &lfolder9}) {
      const std::string value = option->value();
      if (!value.empty()) folders.push_back(value);
    }
    if (folders.empty())
      throw UserErrorException(
          48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
  }
  bool stopped = false;
  if (!lf_scanLiveryFolders(folders, stopped)) {
    if (automatic)
      throw UserErrorException(43, "Automatic scan has not found any liveries, switch off automatic and set "
                                   "lfolder parameter(-s), Manual 5.1");
    throw UserErrorException(53, "no liveries found");
  }
  // A scan cut short by the closing program is no scan: the next start scans again.
  if (stopped) return;
  SCAN_LIVERIES.value = 0;
  gf_saveBoolOption(SCAN_LIVERIES);
  SCAN_LIVERIES.refresh();
  gf_repaintStatusArea();
  gf_log("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
  lf_processScannedLiveries();
}

}  // namespace amb
