// Scaffolding: the least behaviour of the livery tables that the reference-data queries and the
// shell need. Tests state which liveries exist (liveries/standin.hpp); nothing is scanned, so the
// start-up's liveries step leaves SCAN_LIVERIES as it is and builds no tables. The livery scan and
// matching replace this file.

#include "liveries/services.hpp"
#include "liveries/standin.hpp"

#include <map>
#include <set>

namespace amb {

std::array<std::vector<std::string>, 3> g_liveryModelsByCategory;
std::atomic<std::uint8_t> g_liveryTablesBuilt{0};

namespace {
std::map<std::string, std::set<std::string>> g_airlineModels;  // airline key -> models
std::set<std::string> g_models;
}  // namespace

void gf_standinAddLivery(const std::string& airline, const std::string& model) {
  g_airlineModels[airline].insert(model);
  g_models.insert(model);
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

void lf_scanLiveries() {}

void gf_clearLiveryTables() {
  for (auto& models : g_liveryModelsByCategory) models.clear();
  g_airlineModels.clear();
  g_models.clear();
}

void gf_reserveLiveryUseLists() {}
void gf_logMatchingSummary() {}
void gf_logNoMatches() {}
void gf_clearNoMatchSet() {}

void gf_resetLiveries() {
  gf_clearLiveryTables();
  g_liveryTablesBuilt = 0;
}

}  // namespace amb
