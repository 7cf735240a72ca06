#pragma once
// The add-on airports scan: the scan folders (the simulator's scenery lists or the afolder
// options), one job per airport-bearing scenery file, the scan log file and the copies for offline
// learning.

#include "settings/options.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace amb {

// Every generated file in the simaddon folder was copied for offline learning or found unsuitable.
extern std::atomic<bool> g_simaddonAirportsDone;

// What the scan asks of the rest of the program: by default the simulator detection, the start-up's
// stock scenery folder, the offline-learning check of the airports and the main window; tests put
// in their own. Each is read when a scan starts.
struct ScanHooks {
  std::function<std::string()> simMajorVersion;           // "5" or "6"; throws user error 77
  std::function<std::filesystem::path()> stockScenery;    // the simulator's stock "Scenery" folder
  std::function<bool(const std::string&)> offlineLearningSuitable;  // the archived stock file's test
  std::function<void()> repaint;                          // the main window
};
void gf_setScanHooks(ScanHooks hooks);
void gf_resetScanHooks();

// Removes every entry directly in the folder; any failure is user error 5. A path that does not
// exist or is no folder is left alone.
void gf_clearFolder(const std::filesystem::path& folder);
// The stems of the files directly in the folder named by four characters and ".xml" in any case.
std::vector<std::string> gf_listXmlFiles(const std::filesystem::path& folder);

// The non-empty afolder values in order; a value inside the stock scenery folder is user error 42.
void lf_checkAfolderParameters(std::span<StringOption* const> options, std::vector<std::string>& folders);
// Scans the folders in order, writes the scan log and makes the offline-learning copies; the
// answer is whether any airport was linked or generated in this process.
bool lf_scanAirportFolders(const std::vector<std::string>& folders);
// The job of one scenery file: its airports are linked or generated.
void lf_toParkingPositions(const std::filesystem::path& path);

}  // namespace amb
