// Scaffolding: the least behaviour of the livery tables that the reference-data queries, the shell
// and the live engine need. Tests state which liveries exist (liveries/standin.hpp); nothing is
// scanned, so the start-up's liveries step leaves SCAN_LIVERIES as it is and builds no tables. The
// matching hands out one fixed title (or the titles a test sets) to every aircraft. The livery scan
// and matching replace this file.

#include "liveries/services.hpp"
#include "liveries/standin.hpp"

#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/user_error.hpp"
#include "records/aircraft.hpp"
#include "settings/options.hpp"

#include <algorithm>
#include <deque>
#include <map>

namespace amb {

std::array<std::vector<std::string>, 3> g_liveryModelsByCategory;
std::atomic<std::uint8_t> g_liveryTablesBuilt{0};
std::vector<std::string_view> g_excludedTitles;
std::set<std::string> g_noMatchSet;

namespace {
std::map<std::string, std::set<std::string>> g_airlineModels;  // airline key -> models
std::set<std::string> g_models;
// Stable storage: the engine keeps views of these titles.
std::deque<std::string> g_titles{kStandinLiveryTitle};
bool g_tooManyReported = false;
constexpr std::size_t kMaxExcludedTitles = 20;
}  // namespace

void gf_standinAddLivery(const std::string& airline, const std::string& model) {
  g_airlineModels[airline].insert(model);
  g_models.insert(model);
}

void gf_standinSetLiveryTitles(const std::vector<std::string>& titles) {
  g_excludedTitles.clear();
  g_titles.assign(titles.begin(), titles.end());
}

bool gf_hasModelLivery(const std::string& model) { return g_models.count(model) != 0; }

bool gf_hasAirlineModelLivery(const std::string& airline, const std::string& model) {
  auto it = g_airlineModels.find(airline);
  return it != g_airlineModels.end() && it->second.count(model) != 0;
}

std::vector<std::string> gf_liveryAirlineCodes() {
  std::vector<std::string> codes;
  for (const auto& entry : g_airlineModels) codes.push_back(entry.first.substr(0, 3));
  return codes;
}

// Until the table build exists: the scan writes its file, nothing reads it yet.
void lf_processScannedLiveries() {}
void lf_readAigRegcodes() {}

void gf_clearLiveryTables() {
  for (auto& models : g_liveryModelsByCategory) models.clear();
  g_airlineModels.clear();
  g_models.clear();
}

void gf_reserveLiveryUseLists() {}
void gf_logMatchingSummary() {}

void gf_logNoMatches() {
  if (g_noMatchSet.empty() || LOG.value == 0) return;
  std::string text = "\nNo match found for: ";
  for (const std::string& entry : g_noMatchSet) text += "\n" + entry;
  gf_log(text);
}

void gf_clearNoMatchSet() { g_noMatchSet.clear(); }

void lf_matchLivery(AcData& aircraft) {
  aircraft.liveryTitle = {};
  for (const std::string& title : g_titles) {
    if (std::find(g_excludedTitles.begin(), g_excludedTitles.end(), title) != g_excludedTitles.end()) continue;
    aircraft.liveryTitle = title;
    aircraft.fsltlTitle = title.find("FSLTL_") != std::string::npos ? 1 : 0;
    return;
  }
}

void gf_liveryCouldNotBeCreated(const Act& act) {
  if (g_exitUnderWay != 0) return;
  gf_showMessage(fmt::format("{} \"{}\" could not be created by your Sim!", act.airlineModelText(), act.liveryTitle),
                 true);
  if (!act.liveryTitle.empty() &&
      std::find(g_excludedTitles.begin(), g_excludedTitles.end(), act.liveryTitle) == g_excludedTitles.end())
    g_excludedTitles.push_back(act.liveryTitle);
  if (g_excludedTitles.size() >= kMaxExcludedTitles && !g_tooManyReported) {
    g_tooManyReported = true;
    gf_log("\n===> Error 81, too many liveries could not be created\n");
    throw UserErrorException(81, "there are too many liveries that could not be created by P3D!, see Log.txt");
  }
}

void gf_resetLiveries() {
  gf_clearLiveryTables();
  g_liveryTablesBuilt = 0;
  g_excludedTitles.clear();
  g_noMatchSet.clear();
  g_titles.assign(1, kStandinLiveryTitle);
  g_tooManyReported = false;
}

}  // namespace amb
