#pragma once
// What the other subsystems use of the liveries subsystem.

#include <array>
#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace amb {

// ---- The livery tables (built once per process from "LiveriesScanned.xml") ----

// True when the passenger or the cargo model table holds the model; false before the tables exist.
bool gf_hasModelLivery(const std::string& model);
// True when the airline table holds the airline and, under it, the model.
bool gf_hasAirlineModelLivery(const std::string& airline, const std::string& model);
// The first three characters of every airline key of the airline table, in the table's order.
std::vector<std::string> gf_liveryAirlineCodes();
// The models of the category (Light, Buzjets or Rotorcraft) that have a livery, ascending; empty
// for the other categories.
const std::vector<std::string>& gf_modelsWithLivery(int category);
// The stored title equal to the text, as a view that lives as long as the tables; empty when none.
std::string_view gf_findStoredTitle(std::string_view title);

// The liveries step of the start-up: scans the livery folders when SCAN_LIVERIES is on (then
// switches it off, saved and unticked), and builds the livery tables from the scanned list unless
// an earlier start-up of this process built them already. A missing folder setting throws
// amb::UserErrorException. Stops early when an exit is under way or the user closed the simulator.
void lf_scanLiveries();
// Set once the scanned liveries have been turned into the lookup tables in this process.
extern std::atomic<std::uint8_t> g_liveryTablesBuilt;
// Empties every livery lookup table (worker thread, or with no matching running).
void gf_clearLiveryTables();
// From any thread: the next start-up empties the tables and builds them anew. Nothing is emptied
// here, so the matching of a running engine is never disturbed.
void gf_requestLiveryTablesRebuild();
// Reserves the in-use title list and the category lists (first service run of the process).
void gf_reserveLiveryUseLists();
// Log lines: the matching summary (when the program ends, and every 24 hours of reports), and the
// aircraft without a matching livery (every 20 minutes of reports, and when the program ends).
void gf_logMatchingSummary();
void gf_logNoMatches();
// Empties the list of aircraft without a livery match, so that they are matched again: at every
// restart of the service run (with the run's park state) and after the user raised MATCHING_DEPTH.
void gf_clearNoMatchSet();

// ---- What the live engine and static parking ask ----

struct AcData;
struct Stand;

// Chooses a livery title for a new live aircraft whose title is empty (its title view and, for an
// "FSLTL_" title, its FSLTL byte); leaves the title empty when nothing fits. Never hands out an
// excluded title. Counts the step of each match for the summary.
void lf_matchLivery(AcData& aircraft);
// The same ladder for a static aircraft parked at the stand (the stand's cargo flag decides the
// kind); true when the aircraft has a title afterwards. Counts nothing.
bool lf_matchParkedLivery(AcData& aircraft, const Stand& stand);
// The titles the simulator refused, owned: they stay banned across a rebuild of the tables.
extern std::vector<std::string> g_excludedTitles;
// Matches per step 1..6 of the live matching.
extern std::array<std::int32_t, 6> g_matchStepCounts;
// The simulator refused to create the aircraft: unless the program is stopping, shows it and
// excludes its title. When the 20th title is excluded, throws amb::UserErrorException 81, once per
// process. The caller erases the aircraft.
void gf_liveryCouldNotBeCreated(const AcData& aircraft);
// The refused liveries, "type airline", sorted, each once, indented by two blanks.
std::vector<std::string> gf_notCreatedLiveries();
// The airline/model texts of aircraft without a livery match (worker thread): the engine puts them
// in and skips new aircraft whose text is in it.
extern std::set<std::string> g_noMatchSet;

// Back to start values: no liveries, no counts, no exclusions.
void gf_resetLiveries();

}  // namespace amb
