#pragma once
// The livery lookup tables, built once per process from "LiveriesScanned.xml". g_airlineModels owns
// every title string; every other table (and an aircraft's livery title) holds views into it, so it
// is emptied last and never changed while the others exist.
//
// The tables belong to the worker thread: it builds them at start-up and the matching reads them in
// its main loop. Another thread never empties them; it asks for a rebuild instead
// (gf_requestLiveryTablesRebuild), which the worker's next build carries out.

#include <array>
#include <list>
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace amb {

struct LiveryData;

struct LiveryTitle {
  std::string title;
  bool cargo = false;
};

using TitleViews = std::vector<std::string_view>;
using ModelTitles = std::unordered_map<std::string, TitleViews>;

// airline -> type -> titles in title order (all kinds).
extern std::unordered_map<std::string, std::unordered_map<std::string, std::vector<LiveryTitle>>> g_airlineModels;
// [0] passenger, [1] cargo: airline -> type -> titles of that kind.
extern std::array<std::unordered_map<std::string, ModelTitles>, 2> g_airlineModelTitles;
// [0] passenger, [1] cargo: type -> titles of that kind over all airlines ("PVT" and "ZZZ" included).
extern std::array<ModelTitles, 2> g_modelTitles;
// Registration code -> title.
extern std::unordered_map<std::string, std::string_view> g_regcodes;
// The special liveries, which belong to one registration: the pick avoids them.
extern std::vector<std::string_view> g_titlesInUse;
// Types of the categories Light, Buzjets and Rotorcraft that have a livery, ascending.
extern std::vector<std::string> g_lightModelsWithLivery;
extern std::vector<std::string> g_buzjetModelsWithLivery;
extern std::vector<std::string> g_rotorcraftModelsWithLivery;
inline constexpr std::string_view g_genericAirline = "ZZZ";

// Builds every table from the file, once per process (a later call logs the skip line), and always
// empties g_liveryList. The file reader's user errors pass through.
void lf_processScannedLiveries();
// The same from the records of g_liveryList (a scan whose file could not be saved), without the file.
void lf_processScanList();

// Appends a special livery to g_titlesInUse (and to its index).
void gf_addTitleInUse(std::string_view title);
// Whether g_titlesInUse holds the title (byte-equal), by index.
bool gf_titleInUse(std::string_view title);

// Builds the tables of the sorted list without reading the file, registration codes or reports:
// for tests and benchmarks that state the liveries themselves.
// Empties the tables and forgets that they were built or asked to be rebuilt.
void gf_resetLiveryTables();

void gf_buildLiveryTablesFrom(const std::list<LiveryData>& sorted);

}  // namespace amb
