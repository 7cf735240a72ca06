#pragma once
// The livery scan as a whole: the folders to search (settings or automatic), the search, the data
// base's corrections, the priority drop, "LiveriesScanned.xml" and the report files.

#include "liveries/livery.hpp"

#include <cstdint>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

namespace amb {

// Builds the livery tables from "LiveriesScanned.xml"; reads the titles the scan must not take.
void lf_processScannedLiveries();
void lf_readAigRegcodes();

// Changes the scan made to liveries from the data base's record of their registration (one line
// per change: cargo, airline, model); written to "AirlineModelConversions.txt".
extern std::vector<std::string> g_airlineModelConversions;

// The start-up's livery step: scans when SCAN_LIVERIES is on (user errors 48, 53, 43), then builds
// the livery tables. A failed scan leaves the previous "LiveriesScanned.xml" in place; a scan cut short
// by the closing program leaves SCAN_LIVERIES on and builds nothing; a scan whose file could not be
// saved leaves SCAN_LIVERIES on and the previous file in place, says so on the message line, and
// builds this run's tables from the scan. A damaged file (kept beside) makes a new scan.
void lf_scanLiveries();
// Searches the folders in priority order; false when no livery was found. Sets stopped when the
// program began to close during the search (nothing is written then), and saved to whether
// "LiveriesScanned.xml" was written (when it was not, the scan's liveries stay in g_liveryList).
bool lf_scanLiveryFolders(const std::vector<std::string>& folders, bool& stopped, bool* saved = nullptr);

// The counters one scan shares between its folders.
struct LiveryScanCounters {
  int rank = 0;
  std::uint64_t total = 0;
  std::uint64_t previousSize = 0;
};
void lf_scanLiveryFolder(LiveryScanCounters& counters, const std::string& folder);

// Keeps, of every airline and type, only the liveries of the best-ranked folder that has them (the
// order of the rest unchanged).
void lf_dropLowerPriorities(std::list<LiveryData>& liveries);

// The report steps: the previous scan's files go (not "LiveriesScanned.xml": it is replaced only by
// a successful scan), the data base corrects a livery, the report block and files are written.
void lf_removePreviousScanFiles();
void lf_logCodeFixes(LiveryData& livery);
void lf_writeScanReport();

// Start values: no report lines, no code fixes, no titles (tests and the restart).
void gf_resetLiveryScan();

// The list form of the line writer: each string and a line end; false when it cannot be opened.
bool gf_writeLinesToFile(const std::list<std::string>& lines, const std::filesystem::path& path);

}  // namespace amb
