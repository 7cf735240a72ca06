#pragma once
// What the other subsystems use of the liveries subsystem.

#include "records/upcalls.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace amb {

// The models that have a livery, by category (kLiveryLight, ... in records/upcalls.hpp).
extern std::array<std::vector<std::string>, 3> g_liveryModelsByCategory;

// True when the passenger or the cargo model table holds the model; false before the tables exist.
bool gf_hasModelLivery(const std::string& model);
// True when the airline table holds the airline and, under it, the model.
bool gf_hasAirlineModelLivery(const std::string& airline, const std::string& model);
// The first three characters of every airline key of the airline table, in the table's order.
std::vector<std::string> gf_liveryAirlineCodes();

// The liveries step of the start-up: scans the livery folders when SCAN_LIVERIES is on (then
// switches it off, saved and unticked), and builds the livery tables from the scanned list unless
// an earlier start-up of this process built them already. A missing folder setting throws
// amb::UserErrorException. Stops early when an exit is under way or the user closed the simulator.
void lf_scanLiveries();
// Set once the scanned liveries have been turned into the lookup tables in this process.
extern std::atomic<std::uint8_t> g_liveryTablesBuilt;
// Empties every livery lookup table, so that the next start-up builds them anew.
void gf_clearLiveryTables();
// Reserves the in-use title list and the matching's work lists (every service run).
void gf_reserveLiveryUseLists();
// Log lines: the matching summary (when the program ends, and every 24 hours of reports), and the
// aircraft without a matching livery (every 20 minutes of reports, and when the program ends).
void gf_logMatchingSummary();
void gf_logNoMatches();
// Empties the list of aircraft without a livery match, so that they are matched again.
void gf_clearNoMatchSet();

// ---- What the live engine asks ----

struct AcData;
struct Act;

// Chooses a livery title for the aircraft (its title view and, for an "FSLTL_" title, its FSLTL
// byte); leaves the title empty when nothing fits. Never chooses an excluded title.
void lf_matchLivery(AcData& aircraft);
// The titles the simulator refused to create.
extern std::vector<std::string_view> g_excludedTitles;
// The simulator refused to create the act: unless the program is stopping, shows it and excludes
// its title. The 20th excluded title raises amb::UserErrorException 81, once. The caller erases
// the act.
void gf_liveryCouldNotBeCreated(const Act& act);
// The airline/model texts of aircraft without a livery match (worker thread).
extern std::set<std::string> g_noMatchSet;

// Back to start values: no liveries.
void gf_resetLiveries();

}  // namespace amb
