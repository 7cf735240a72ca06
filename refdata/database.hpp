#pragma once
// The aircraft data base: "dbase.zip" from the download server, unpacked into "temp2.xml" in the
// input folder, read once per process into the tables below, and removed again. After the read the
// tables are only read (queries.hpp), so they need no lock.

#include "core/startup.hpp"

#include <pugixml.hpp>

#include <array>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace amb {

struct RegcodeInfo {
  std::string airline;       // ICAO airline code; "PVT" for private aircraft
  std::string type;          // aircraft model code
  std::string operatorCode;  // code of the operating airline
  bool cargo = false;
  bool operator==(const RegcodeInfo&) const = default;
};

struct ThirdPartyData {
  std::string publisher;
  std::vector<std::string> airports;  // ICAO code followed by the park-position count, e.g. "EHAM123"
};

extern std::set<std::string> g_validModels;
extern std::set<std::string> g_highPerfModels;
extern std::set<std::string> g_heavyModels;
extern std::set<std::string> g_largeModels;
extern std::set<std::string> g_buzjetModels;
extern std::set<std::string> g_rotorcraftModels;
extern std::set<std::string> g_cargoModels;
extern std::vector<std::vector<std::string>> g_similarGroups;  // each group sorted
extern std::set<std::string> g_icaoAirlines;
extern std::set<std::string> g_cargoOperators;
extern std::vector<std::vector<std::string>> g_publishers;  // first name of a group: the publisher
extern std::map<std::string, double> g_wingspans;           // model -> half wing span in nm
extern double g_maxHalfWingspan;
extern std::array<double, 6> g_categoryHalfWingspan;  // by AircraftCategory
extern std::unordered_map<std::string, std::string> g_modelFixes;  // wrong -> correct model
extern std::set<std::string> g_simaddonAirports;
extern std::vector<ThirdPartyData> g_thirdParties;
extern std::unordered_map<std::string, RegcodeInfo> g_regcodeInfos;

// The half wing span given to a category that has no wing-span entry while others have one, in nm:
// spans of 11 m (Light), 20 m (Buzjets), 34 m (Large), 60 m (Heavy), 12 m (HighPerf) and 11 m
// (Rotorcraft), halved.
extern const std::array<double, 6> g_defaultCategoryHalfWingspan;

// Downloads "dbase.zip", reads "temp2.xml" into the tables and removes it; true when every section
// was read. Throws std::runtime_error when the download fails, amb::UserErrorException 60 when the
// file cannot be parsed and 61 when a required list is empty. An item whose model is not valid is
// logged and skipped, a repeated key keeps its first entry (logged), and the unpacked file is removed
// once every section has been read.
bool lf_readDataBase();

// Reads a data base that is already unpacked (the second half of lf_readDataBase); removes the
// file after a complete read.
bool lf_readDataBaseFile(const std::filesystem::path& path);

void lf_readXmlList(const pugi::xml_document& doc, const char* section, std::set<std::string>& table,
                    const char* item, const char* attribute);
void lf_readModelSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& table,
                     const char* item);
void lf_readAirlineSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& table);
void lf_readThirdParties(const pugi::xml_document& doc);

double gf_attributeDouble(const pugi::xml_node& node, const char* name);
// Split at every ',', each field trimmed of " \t\r\n"; empty fields kept; the empty text gives none.
std::vector<std::string> gf_splitString(const std::string& text);

// Empties every table (tests; the data base is read once per process, a restart keeps it).
void gf_resetDataBase();

}  // namespace amb
