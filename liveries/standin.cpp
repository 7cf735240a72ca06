// Scaffolding: without livery tables (no scan has found a livery yet), every aircraft gets a fixed
// stand-in title (or the titles a test sets), so that the engine's tests and a program without
// installed AI aircraft still show their traffic. Tests may also state single liveries here.

#include "liveries/standin.hpp"

#include "core/files.hpp"
#include "core/startup.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"
#include "liveries/tables.hpp"
#include "records/aircraft.hpp"

#include <algorithm>
#include <deque>
#include <filesystem>

namespace amb {

namespace {
std::list<LiveryData> g_standinLiveries;
// Stable storage: the engine keeps views of these titles.
std::deque<std::string> g_titles{kStandinLiveryTitle};
}  // namespace

void gf_standinAddLivery(const std::string& airline, const std::string& model) {
  g_standinLiveries.push_back({airline, model, airline + " " + model + " " + std::to_string(g_standinLiveries.size()), "", 0, false});
  std::list<LiveryData> sorted = g_standinLiveries;
  gf_sortLiveries(sorted);
  gf_buildLiveryTablesFrom(sorted);
}

void gf_standinSetLiveryTitles(const std::vector<std::string>& titles) { g_titles.assign(titles.begin(), titles.end()); }

bool gf_standinMatch(AcData& aircraft) {
  if (!g_airlineModels.empty()) return false;
  aircraft.liveryTitle = {};
  for (const std::string& title : g_titles) {
    if (std::find(g_excludedTitles.begin(), g_excludedTitles.end(), title) != g_excludedTitles.end()) continue;
    aircraft.liveryTitle = title;
    aircraft.fsltlTitle = title.find("FSLTL_") != std::string::npos ? 1 : 0;
    break;
  }
  return true;
}

void gf_standinReset() {
  g_standinLiveries.clear();
  g_titles.assign(1, kStandinLiveryTitle);
}

}  // namespace amb
