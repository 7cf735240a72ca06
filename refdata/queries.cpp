// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "refdata/queries.hpp"

#include "core/log.hpp"
#include "core/strings.hpp"
#include "records/upcalls.hpp"
#include "state/scan_log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <regex>

namespace amb {

using namespace up::liveries;

std::unordered_map<std::string, std::vector<std::string>> g_similarModelsWithLivery;
std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>> g_airlineSimilarModels;

namespace {

std::vector<std::string> g_similarResult;
const std::vector<std::string> g_emptyList;

// A publisher name prepared once for matching a file name the way gf_wildcardMatch does. A name
// without any regular-expression character matches exactly where its text occurs in the file name
// ignoring ASCII case, which is far cheaper than running the expression; other names keep their
// compiled expression (null for an invalid one).
struct NamePattern {
  bool literal = false;
  std::string lower;
  std::shared_ptr<const std::regex> re;
};
std::vector<std::vector<NamePattern>> g_publisherPatterns;  // parallel to g_publishers
// Keys of g_regcodeInfos with airline "PVT" and at most four characters, sorted.
std::vector<std::string> g_privateShortKeys;

constexpr auto kPatternFlags = std::regex::ECMAScript | std::regex::icase;

std::shared_ptr<const std::regex> compileWildcard(const std::string& pattern) {
  try {
    return std::make_shared<const std::regex>(".*" + pattern + ".*", kPatternFlags);
  } catch (...) {
    return nullptr;
  }
}

bool matchCompiled(const std::string& text, const std::regex* re) {
  if (re == nullptr) return false;
  try {
    return std::regex_match(text, *re);
  } catch (...) {
    return false;
  }
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

NamePattern prepareName(const std::string& name) {
  NamePattern p;
  p.literal = name.find_first_of("\\^$.|?*+()[]{}") == std::string::npos;
  if (p.literal) {
    p.lower = name;
    for (char& c : p.lower) c = lowerAscii(c);
  } else {
    p.re = compileWildcard(name);
  }
  return p;
}

bool matchName(const std::string& text, const NamePattern& p) {
  // ".*" stops at line ends, so a text holding one is left to the expression.
  if (!p.literal || text.find_first_of("\r\n") != std::string::npos)
    return p.literal ? gf_wildcardMatch(text, p.lower) : matchCompiled(text, p.re.get());
  auto it = std::search(text.begin(), text.end(), p.lower.begin(), p.lower.end(),
                        [](char a, char b) { return lowerAscii(a) == b; });
  return it != text.end() || p.lower.empty();
}

bool holds(const std::set<std::string>& set, const std::string& key) { return set.find(key) != set.end(); }

}  // namespace

AircraftCategory gf_aircraftCategory(const std::string& model) {
  if (holds(g_largeModels, model)) return Large;
  if (holds(g_heavyModels, model)) return Heavy;
  if (holds(g_buzjetModels, model)) return Buzjets;
  if (holds(g_rotorcraftModels, model)) return Rotorcraft;
  if (holds(g_highPerfModels, model)) return HighPerf;
  return Light;
}

bool gf_isValidModel(const std::string& model) { return !model.empty() && holds(g_validModels, model); }

bool gf_isIcaoAirline(const std::string& airline) { return !airline.empty() && holds(g_icaoAirlines, airline); }

double gf_halfWingspan(const std::string& model) {
  if (auto it = g_wingspans.find(model); it != g_wingspans.end()) return it->second;
  return g_categoryHalfWingspan[static_cast<std::size_t>(gf_aircraftCategory(model))];
}

bool gf_containsChar(const std::string& text, char c) { return text.find(c) != std::string::npos; }

void gf_buildSimilarModelMaps() {
  std::vector<std::string> entries;
  for (const auto& group : g_similarGroups) {
    for (const std::string& member : group) {
      std::string entry = member;
      bool partner = false;
      for (const std::string& other : group) {
        if (&other == &member || !gf_hasModelLivery(other)) continue;
        entry += ',';
        entry += other;
        partner = true;
      }
      if (partner) entries.push_back(std::move(entry));
    }
  }
  std::sort(entries.begin(), entries.end());
  entries.erase(std::unique(entries.begin(), entries.end()), entries.end());
  for (const std::string& entry : entries) {
    std::vector<std::string> fields = gf_splitString(entry);
    std::string key = std::move(fields.front());
    fields.erase(fields.begin());
    g_similarModelsWithLivery.emplace(std::move(key), std::move(fields));
  }

  for (const std::string& airline : gf_liveryAirlineCodes()) {
    std::unordered_map<std::string, std::vector<std::string>> airlineMap;
    for (const auto& [model, similar] : g_similarModelsWithLivery) {
      if (gf_hasAirlineModelLivery(airline, model)) continue;
      std::vector<std::string> withLivery;
      for (const std::string& other : similar)
        if (gf_hasAirlineModelLivery(airline, other)) withLivery.push_back(other);
      if (!withLivery.empty()) airlineMap.emplace(model, std::move(withLivery));
    }
    if (!airlineMap.empty()) g_airlineSimilarModels.emplace(airline, std::move(airlineMap));
  }
  gf_log(fmt::format("{} similar model definitions", g_similarModelsWithLivery.size()));
}

const std::vector<std::string>& gf_similarModel(const std::string& model) {
  if (auto it = g_similarModelsWithLivery.find(model); it != g_similarModelsWithLivery.end()) {
    gf_shuffle(it->second);
    return it->second;
  }
  const std::vector<std::string>* list = nullptr;
  switch (gf_aircraftCategory(model)) {
    case Light: list = &(*g_liveryModelsByCategory)[kLiveryLight]; break;
    case Buzjets: list = &(*g_liveryModelsByCategory)[kLiveryBuzjets]; break;
    case Rotorcraft: list = &(*g_liveryModelsByCategory)[kLiveryRotorcraft]; break;
    default: return g_emptyList;
  }
  if (list->empty()) return g_emptyList;
  const auto index = static_cast<std::size_t>(gf_randomIndex(static_cast<std::int64_t>(list->size())));
  const std::string& pick = (*list)[index];
  if (pick.empty()) return g_emptyList;
  g_similarResult.clear();
  g_similarResult.push_back(pick);
  return g_similarResult;
}

const std::vector<std::string>& gf_similarModelsOfAirline(const std::pair<std::string, std::string>& airlineModel) {
  auto airline = g_airlineSimilarModels.find(airlineModel.first);
  if (airline == g_airlineSimilarModels.end()) return g_emptyList;
  auto model = airline->second.find(airlineModel.second);
  if (model == airline->second.end()) return g_emptyList;
  gf_shuffle(model->second);
  return model->second;
}

std::vector<std::string> gf_registrationVariants(const std::string& registration) {
  std::vector<std::string> forms;
  forms.reserve(3);
  if (registration.size() >= 5 && registration.front() != 'N' && registration.find('-') == std::string::npos) {
    forms.push_back(registration.substr(0, 2) + "-" + registration.substr(2));
    forms.push_back(registration.substr(0, 1) + "-" + registration.substr(1));
  }
  forms.push_back(registration);
  return forms;
}

bool gf_lookupRegcode(std::optional<RegcodeInfo>& info, const std::string& key) {
  auto it = g_regcodeInfos.find(key);
  if (it == g_regcodeInfos.end()) return false;
  if (info)
    *info = it->second;
  else
    info.emplace(it->second);
  return true;
}

std::optional<RegcodeInfo> gf_findRegcodeInfo(const std::string& registration) {
  std::optional<RegcodeInfo> info;
  if (registration.empty()) return info;
  for (const std::string& form : gf_registrationVariants(registration))
    if (gf_lookupRegcode(info, form)) break;
  return info;
}

std::string gf_airlineOfRegistration(const std::string& registration) {
  auto info = gf_findRegcodeInfo(registration);
  return info ? info->airline : std::string();
}

std::string gf_typeOfRegistration(const std::string& registration) {
  auto info = gf_findRegcodeInfo(registration);
  return info ? info->type : std::string();
}

std::string gf_operatorOfRegistration(const std::string& registration) {
  auto info = gf_findRegcodeInfo(registration);
  return info ? info->operatorCode : std::string();
}

void gf_indexPrivateRegcodes() {
  g_privateShortKeys.clear();
  for (const auto& [key, info] : g_regcodeInfos)
    if (info.airline == "PVT" && key.size() <= 4) g_privateShortKeys.push_back(key);
  std::sort(g_privateShortKeys.begin(), g_privateShortKeys.end());
}

std::string gf_privateRegcodeInText(const std::string& text) {
  for (const std::string& key : g_privateShortKeys)
    if (text.find(key) != std::string::npos) return key;
  return {};
}

bool gf_wildcardMatch(const std::string& text, const std::string& pattern) {
  try {
    const std::regex re(".*" + pattern + ".*", kPatternFlags);
    return std::regex_match(text, re);
  } catch (...) {
    return false;
  }
}

void gf_compilePublisherPatterns() {
  g_publisherPatterns.clear();
  g_publisherPatterns.reserve(g_publishers.size());
  for (const auto& group : g_publishers) {
    std::vector<NamePattern> patterns;
    patterns.reserve(group.size());
    for (const std::string& name : group) patterns.push_back(prepareName(name));
    g_publisherPatterns.push_back(std::move(patterns));
  }
}

std::string gf_publisherFromFilename(const std::string& fileName) {
  static const NamePattern orbx = prepareName("ORBX");
  if ((fileName.size() >= 4 && fileName.find("ORBX") != std::string::npos) || matchName(fileName, orbx)) {
    gf_addScanLogLine(fmt::format("from filename => publisher  {}", "simaddon"));
    return "simaddon";
  }
  const bool compiled = g_publisherPatterns.size() == g_publishers.size();
  for (std::size_t g = 0; g < g_publishers.size(); ++g) {
    const auto& group = g_publishers[g];
    const bool groupCompiled = compiled && g_publisherPatterns[g].size() == group.size();
    for (std::size_t n = 0; n < group.size(); ++n) {
      const std::string& name = group[n];
      bool match = name.empty() || (name.size() <= fileName.size() && fileName.find(name) != std::string::npos);
      if (!match)
        match = groupCompiled ? matchName(fileName, g_publisherPatterns[g][n]) : gf_wildcardMatch(fileName, name);
      if (match) return group.front();
    }
  }
  return "unknown";
}

void gf_resetQueries() {
  g_similarModelsWithLivery.clear();
  g_airlineSimilarModels.clear();
  g_similarResult.clear();
  g_publisherPatterns.clear();
  g_privateShortKeys.clear();
}

}  // namespace amb
