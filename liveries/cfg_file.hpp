#pragma once
// The grammar of the simulator's aircraft configuration files (aircraft.cfg, sim.cfg) as the livery
// scan reads them: key lines, [fltsim.N] headers, the numbering of the sections, the file's model
// code, the scan's report lists and the maker of livery records that keeps titles unique.
//
// Everything here runs inside the scan jobs, on many threads at once: every report list and the set
// of titles have a lock of their own; the data base tables and the don't-use titles are only read.

#include "liveries/livery.hpp"

#include <filesystem>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace amb {

// ---- Report lists (one lock each; the scan report writes them to files) ----
extern std::list<std::string> g_emptyCfgFiles;             // "AircraftCfgWithNoFltsimSection.txt"
extern std::list<std::string> g_invalidCfgFiles;           // "InvalidAircraftCfgFiles.txt"
extern std::list<std::string> g_incompleteFltsimSections;  // "IncompleFltsimSections.txt"
extern std::list<std::string> g_invalidAirlineCodes;       // "InvalidAirlineCodes.txt"
extern std::list<std::string> g_invalidModelCodes;         // "InvalidAircraftCodes.txt"
extern std::vector<std::string> g_codeFixes;               // "Fixes.txt"
extern std::mutex g_emptyCfgFilesMutex;
extern std::mutex g_invalidCfgFilesMutex;
extern std::mutex g_incompleteFltsimSectionsMutex;
extern std::mutex g_invalidAirlineCodesMutex;
extern std::mutex g_invalidModelCodesMutex;
extern std::mutex g_codeFixesMutex;

// Titles that must never become liveries: filled from the registration-code files before the folder
// search, only read by the scan jobs.
extern std::vector<std::string> g_dontUseTitles;

// Every title accepted so far in the running scan.
extern std::set<std::string> g_scannedTitles;
extern std::mutex g_scannedTitlesMutex;

// ---- Key readers ----
// A key line is "key = value" as a whole line: blanks before the key, around '=' and at the end are
// allowed, the key's letter case does not matter, quotes are not special. A trailing comment ("//" or
// ';' outside double quotes) is cut off the value, which is then trimmed; a key whose value is empty
// does not count. The readers with an output set it and return true only for their key with a value;
// otherwise the output stays as it was.
std::string lf_matchCfgKey(const std::string& line, const std::string& key);
bool lf_readTitle(const std::string& line, std::string& title);
bool lf_readSim(const std::string& line, std::string& sim);
bool lf_readModel(const std::string& line, std::string& model);
bool lf_readTexture(const std::string& line, std::string& texture);
bool lf_readAtcId(const std::string& line, std::string& atcId);
bool lf_readAtcParkingTypes(const std::string& line, std::string& types);
// The first item of the comma list (untrimmed, empty items count).
bool lf_readAtcParkingCodes(const std::string& line, std::string& firstCode);
std::string lf_matchAtcModel(const std::string& line);  // "" when the line is no such key

// Case-sensitive substring tests.
bool lf_hasAtcIdKey(const std::string& line);           // contains "atc_id="
bool lf_hasAtcParkingTypesKey(const std::string& line); // contains "atc_parking_types"
bool lf_isDontUseTitle(const std::string& title);       // one of g_dontUseTitles

// The digits of a [fltsim.N] header (any letter case, blanks around it); "10000" for a line holding
// "[fltsim." or "[FLTSIM." that is no valid header; "" for other lines and for "//" comments.
std::string lf_sectionNumberText(const std::string& line);

// The numbering check of one file: the headers must number 0, 1, 2, ... in any order. A file without
// headers is listed in g_emptyCfgFiles and passes (it yields no livery); a bad numbering is listed in
// g_invalidCfgFiles (a number that cannot be read only logged) and fails.
bool lf_checkCfgSections(const std::vector<std::string>& lines, const std::filesystem::path& path);

// The file's model code from its first atc_model line: valid as it is, replaced through the data
// base's fixes (listed in g_codeFixes), or "" (missing key or unknown code, both listed).
std::string lf_readAtcModel(const std::filesystem::path& path, const std::vector<std::string>& lines);
// The decision on one model code: valid, fixed (listed in g_codeFixes) or "" (listed as invalid).
std::string lf_checkModelCode(const std::string& model, const std::filesystem::path& path);

// Adders: one line each, under the list's lock.
void lf_addInvalidCfgFile(const std::string& line);
void lf_addIncompleteSection(const std::string& line);
void lf_addCodeFix(const std::string& line);
void lf_addEmptyCfgFile(const std::string& line);
void lf_addInvalidAirlineCode(const std::string& airline, const std::filesystem::path& path,
                              const std::string& header);
void lf_addInvalidModelCode(const std::string& model, const std::filesystem::path& path);

// A record for a title not taken yet in this scan; nothing when another section took it first.
std::optional<LiveryData> lf_makeLivery(int priority, const std::string& airline,
                                        const std::string& model, int pax,
                                        const std::string& title, const std::string& atcId);

// Empties the report lists but g_codeFixes, the set of scanned titles and the don't-use titles.
void lf_clearScanReportLists();
// Empties g_codeFixes; every scan starts with it, so that a second scan in the same process does not
// report the first one's fixes again.
void lf_clearCodeFixes();

}  // namespace amb
