#include "liveries/tables.hpp"

#include "state/main_window.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"
#include "platform/ui.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"
#include "records/aircraft.hpp"

#include <algorithm>
#include <tuple>

namespace amb {

std::unordered_map<std::string, std::unordered_map<std::string, std::vector<LiveryTitle>>> g_airlineModels;
std::array<std::unordered_map<std::string, ModelTitles>, 2> g_airlineModelTitles;
std::array<ModelTitles, 2> g_modelTitles;
std::unordered_map<std::string, std::string_view> g_regcodes;
std::vector<std::string_view> g_titlesInUse;
std::vector<std::string> g_lightModelsWithLivery;
std::vector<std::string> g_buzjetModelsWithLivery;
std::vector<std::string> g_rotorcraftModelsWithLivery;
std::atomic<std::uint8_t> g_liveryTablesBuilt{0};

namespace {

std::atomic<std::uint8_t> g_liveryRebuildRequested{0};
std::uint8_t g_liveryUseListsReserved = 0;
// Indexes that answer what a linear search of the tables would answer: every stored title (the first
// in the table's iteration order wins), and the special liveries.
std::unordered_set<std::string_view> g_storedTitles;
std::unordered_set<std::string_view> g_titlesInUseIndex;

void lf_buildAirlineModels(const std::list<LiveryData>& sorted) {
  std::string currentType;
  std::string currentAirline;
  std::vector<LiveryTitle> group;
  group.reserve(4048);
  std::unordered_map<std::string, std::vector<LiveryTitle>> airlineMap;
  const auto flushGroup = [&] {
    if (group.empty()) return;
    airlineMap.try_emplace(currentType, std::vector<LiveryTitle>(std::make_move_iterator(group.begin()),
                                                                 std::make_move_iterator(group.end())));
    group.clear();
  };
  const auto flushAirline = [&] {
    if (!airlineMap.empty()) g_airlineModels.try_emplace(currentAirline, std::move(airlineMap));
    airlineMap = {};
  };
  for (const LiveryData& livery : sorted) {
    if (livery.type != currentType) {
      flushGroup();
      currentType = livery.type;
    }
    if (livery.airline != currentAirline) {
      flushGroup();
      flushAirline();
      currentAirline = livery.airline;
    }
    group.push_back({livery.title, livery.cargo});
  }
  flushGroup();
  flushAirline();
}

void lf_indexStoredTitles() {
  g_storedTitles.clear();
  for (const auto& [airline, types] : g_airlineModels)
    for (const auto& [type, titles] : types)
      for (const LiveryTitle& t : titles) g_storedTitles.insert(t.title);
}

void lf_buildPaxCargoAirlineMaps() {
  for (const auto& [airline, types] : g_airlineModels) {
    std::array<ModelTitles, 2> kinds;
    for (const auto& [type, titles] : types) {
      std::array<TitleViews, 2> split;
      for (const LiveryTitle& t : titles) split[t.cargo ? 1 : 0].push_back(t.title);
      for (std::size_t k = 0; k < 2; ++k)
        if (!split[k].empty()) {
          split[k].shrink_to_fit();
          kinds[k].emplace(type, std::move(split[k]));
        }
    }
    for (std::size_t k : {1u, 0u})
      if (!kinds[k].empty()) g_airlineModelTitles[k].emplace(airline, std::move(kinds[k]));
  }
}

void lf_buildModelMaps() {
  struct Item {
    const std::string* type;
    std::string_view title;
    bool cargo;
  };
  std::vector<Item> items;
  for (const auto& [airline, types] : g_airlineModels)
    for (const auto& [type, titles] : types)
      for (const LiveryTitle& t : titles) items.push_back({&type, t.title, t.cargo});
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return *a.type < *b.type; });
  std::array<TitleViews, 2> kinds;
  const std::string* current = nullptr;
  const auto flush = [&] {
    for (std::size_t k : {1u, 0u})
      if (!kinds[k].empty()) {
        g_modelTitles[k].emplace(*current, TitleViews(kinds[k].begin(), kinds[k].end()));
        kinds[k].clear();
      }
  };
  for (const Item& item : items) {
    if (current == nullptr || *item.type != *current) {
      if (current != nullptr) flush();
      current = item.type;
    }
    kinds[item.cargo ? 1 : 0].push_back(item.title);
  }
  if (current != nullptr) flush();
}

// Logs the codes 20 to a line, each line starting with two blanks, and files them into the
// category list the flags name.
void lf_logModelLines(bool light, bool buzjets, bool rotorcraft, const std::vector<std::string>& codes) {
  std::string line = "  ";
  int count = 0;
  for (const std::string& code : codes) {
    if (light)
      g_lightModelsWithLivery.push_back(code);
    else if (buzjets)
      g_buzjetModelsWithLivery.push_back(code);
    else if (rotorcraft)
      g_rotorcraftModelsWithLivery.push_back(code);
    line += code;
    line += ',';
    if (++count == 20) {
      line.pop_back();
      gf_log(line);
      count = 0;
      line = "  ";
    }
  }
  line.pop_back();
  gf_log(line);
}

void lf_reportGenericLiveries() {
  auto generic = g_airlineModels.find(std::string(g_genericAirline));
  if (generic == g_airlineModels.end()) {
    gf_log("No generic liveries");
    return;
  }
  std::vector<std::string> codes;
  for (const auto& [type, titles] : generic->second) codes.push_back(type);
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  gf_logf("{} model{} have a generic livery", codes.size(), gf_pluralS(static_cast<std::int64_t>(codes.size())));
  lf_logModelLines(false, false, false, codes);
}

BoolOptionCheckBox* lf_categoryOption(int category) {
  switch (category) {
    case Light: return &LIGHT_AIRCRAFT;
    case HighPerf: return &HIGH_PERF_AIRCRAFT;
    case Rotorcraft: return &HELICOPTERS;
    default: return nullptr;
  }
}

void lf_enableBox(const BoolOptionCheckBox& box, bool on) {
  if (platform::Ui* ui = g_mainHwnd.load()) ui->enable(box.controlId, on);
}

void lf_reportLiveryCategories(int category) {
  std::array<std::vector<std::string_view>, 2> types;  // one entry per title
  std::size_t typeCount = 0;
  for (std::size_t k = 0; k < 2; ++k)
    for (const auto& [type, titles] : g_modelTitles[k]) {
      if (gf_aircraftCategory(type) != category) continue;
      ++typeCount;
      types[k].insert(types[k].end(), titles.size(), type);
    }
  const std::string& name = gf_categoryName(category);
  BoolOptionCheckBox* option = lf_categoryOption(category);
  if (types[0].empty() && types[1].empty()) {
    gf_logf("Category {}: No livery found", name);
    if (option == nullptr) return;
    if (option->value != 0) {
      option->value = 0;
      gf_saveBoolOption(*option);
      option->refresh();
      static constexpr const char* kWhat[] = {"light aircraft", "", "", "", "High Perf aircraft", "Helicopters"};
      gf_logf("{} temporary switched off because you do not have {} installed", option->key, kWhat[category]);
    }
    lf_enableBox(*option, false);
    return;
  }
  const auto pax = static_cast<std::int64_t>(types[0].size());
  const auto cargo = static_cast<std::int64_t>(types[1].size());
  std::string cargoPart = cargo == 0 ? "" : fmt::format(" and {} cargo liverie{}", cargo, gf_pluralS(cargo));
  gf_logf("Category {}: {} pax liverie{}{}", name, pax, gf_pluralS(pax), cargoPart);
  if (typeCount > 0) {
    std::vector<std::string> codes;
    for (const auto& kind : types) codes.insert(codes.end(), kind.begin(), kind.end());
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    lf_logModelLines(category == Light, category == Buzjets, category == Rotorcraft, codes);
  }
  if (option != nullptr) lf_enableBox(*option, true);
}

void lf_buildTables(const std::list<LiveryData>& sorted) {
  lf_buildAirlineModels(sorted);
  lf_indexStoredTitles();
  lf_buildPaxCargoAirlineMaps();
}

}  // namespace

void gf_buildLiveryTablesFrom(const std::list<LiveryData>& sorted) {
  gf_clearLiveryTables();
  lf_buildTables(sorted);
  lf_buildModelMaps();
}

namespace {
void lf_buildLiveryTables(bool fromScanList) {
  // A rebuild asked for by another thread: the worker empties the tables here, where nothing reads them.
  if (g_liveryRebuildRequested.exchange(0) != 0) g_liveryTablesBuilt = 0;
  if (g_liveryTablesBuilt != 0) {
    gf_log("Processing scanned liveries skipped; already done in previous start-up");
    g_liveryList.clear();
    return;
  }
  gf_clearLiveryTables();
  if (fromScanList)
    lf_dropUnusableLiveries(g_liveryList, "the scan");
  else
    lf_readScannedLiveries();
  g_mainWindow.liveryCount = g_liveryList.size();
  gf_repaintStatusArea();
  lf_buildTables(g_liveryList);
  lf_addInlineRegcodes();
  lf_processRegcodes();
  gf_logf("{} registration codes", g_regcodes.size());
  lf_buildModelMaps();
  gf_logf("{} airlines, {} pax aircraft models and {} cargo aircraft models", g_airlineModels.size(),
          g_modelTitles[0].size(), g_modelTitles[1].size());
  // The data base's maps only ever add; stale entries of an earlier build must go first.
  g_similarModelsWithLivery.clear();
  g_airlineSimilarModels.clear();
  gf_buildSimilarModelMaps();
  lf_reportGenericLiveries();
  for (int category = 0; category <= 5; ++category) lf_reportLiveryCategories(category);
  g_liveryTablesBuilt = 1;
  gf_repaintStatusArea();
  g_liveryList.clear();
}
}  // namespace

void lf_processScannedLiveries() { lf_buildLiveryTables(false); }

void lf_processScanList() { lf_buildLiveryTables(true); }

bool gf_hasAirlineModelLivery(const std::string& airline, const std::string& model) {
  auto it = g_airlineModels.find(airline);
  return it != g_airlineModels.end() && it->second.count(model) != 0;
}

bool gf_hasModelLivery(const std::string& model) {
  return g_modelTitles[0].count(model) != 0 || g_modelTitles[1].count(model) != 0;
}

std::vector<std::string> gf_liveryAirlineCodes() {
  std::vector<std::string> codes;
  codes.reserve(g_airlineModels.size());
  for (const auto& entry : g_airlineModels) codes.push_back(entry.first.substr(0, 3));
  return codes;
}

const std::vector<std::string>& gf_modelsWithLivery(int category) {
  static const std::vector<std::string> none;
  switch (category) {
    case Light: return g_lightModelsWithLivery;
    case Buzjets: return g_buzjetModelsWithLivery;
    case Rotorcraft: return g_rotorcraftModelsWithLivery;
    default: return none;
  }
}

std::string_view gf_findStoredTitle(std::string_view title) {
  auto it = g_storedTitles.find(title);
  return it == g_storedTitles.end() ? std::string_view{} : *it;
}

void gf_addTitleInUse(std::string_view title) {
  g_titlesInUse.push_back(title);
  g_titlesInUseIndex.insert(title);
}

bool gf_titleInUse(std::string_view title) { return g_titlesInUseIndex.count(title) != 0; }

void gf_clearLiveryTables() {
  g_lightModelsWithLivery.clear();
  g_buzjetModelsWithLivery.clear();
  g_rotorcraftModelsWithLivery.clear();
  g_titlesInUse.clear();
  g_titlesInUseIndex.clear();
  g_regcodes.clear();
  for (auto& t : g_modelTitles) t.clear();
  for (auto& t : g_airlineModelTitles) t.clear();
  g_storedTitles.clear();
  g_airlineModels.clear();
}

void gf_requestLiveryTablesRebuild() {
  g_liveryRebuildRequested = 1;
  g_liveryTablesBuilt = 0;
}

void gf_reserveLiveryUseLists() {
  if (g_liveryUseListsReserved != 0) return;
  g_titlesInUse.reserve(4096);
  g_lightModelsWithLivery.reserve(64);
  g_buzjetModelsWithLivery.reserve(128);
  g_rotorcraftModelsWithLivery.reserve(32);
  g_liveryUseListsReserved = 1;
}

void gf_resetLiveryTables() {
  gf_clearLiveryTables();
  g_liveryTablesBuilt = 0;
  g_liveryRebuildRequested = 0;
}

}  // namespace amb
