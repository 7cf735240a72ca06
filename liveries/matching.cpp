// The matching ladder that gives every AI aircraft an installed livery, and its reports.

#include "records/parking.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/strings.hpp"
#include "core/user_error.hpp"
#include "liveries/services.hpp"
#include "liveries/tables.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "records/aircraft.hpp"

#include <algorithm>
#include <list>

namespace amb {

std::array<std::int32_t, 6> g_matchStepCounts{};
std::vector<std::string> g_excludedTitles;
std::set<std::string> g_noMatchSet;

namespace {

std::list<std::string> g_notCreatedList;
bool g_tooManyReported = false;
constexpr std::size_t kMaxExcludedTitles = 20;
constexpr const char* kSimName = "P3D";

bool lf_isExcluded(std::string_view title) {
  return std::find(g_excludedTitles.begin(), g_excludedTitles.end(), title) != g_excludedTitles.end();
}

std::size_t lf_draw(std::size_t n) {
  if (!gf_randomOn() || n < 2) return 0;
  return gf_randomEngine()() % n;
}

void lf_pickLivery(AcData& ac, const TitleViews& candidates) {
  if (candidates.empty()) return;
  std::string_view title = candidates[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int64_t>(candidates.size())))];
  for (int round = 0; round < 5; ++round) {
    if (g_titlesInUse.empty() || !gf_titleInUse(title)) {
      ac.liveryTitle = title;
      return;
    }
    title = candidates[lf_draw(candidates.size())];
  }
  TitleViews free;
  for (std::string_view c : candidates)
    if (!gf_titleInUse(c)) free.push_back(c);
  ac.liveryTitle = free.empty() ? std::string_view{}
                                : free[static_cast<std::size_t>(gf_randomIndex(static_cast<std::int64_t>(free.size())))];
}

void lf_matchAirlineModel(AcData& ac, const std::string& airline, const std::string& type, std::size_t k) {
  const auto& table = g_airlineModelTitles.at(k);
  auto a = table.find(airline);
  if (a == table.end()) return;
  auto t = a->second.find(type);
  if (t != a->second.end()) lf_pickLivery(ac, t->second);
}

// Cargo first for a freighter, which may fall back to passenger liveries; never the reverse.
bool lf_kindFirst(AcData& ac, const std::string& airline, const std::string& type) {
  lf_matchAirlineModel(ac, airline, type, ac.cargo != 0 ? 1 : 0);
  if (ac.liveryTitle.empty() && ac.cargo != 0) lf_matchAirlineModel(ac, airline, type, 0);
  return !ac.liveryTitle.empty();
}

const std::string& lf_generic() {
  static const std::string generic(g_genericAirline);
  return generic;
}

bool lf_matchByModel(AcData& ac, const std::string& type) {
  const ModelTitles& table = g_modelTitles[ac.cargo != 0 ? 1 : 0];
  if (auto it = table.find(type); it != table.end()) lf_pickLivery(ac, it->second);
  return !ac.liveryTitle.empty();
}

bool lf_matchByRegistration(AcData& ac) {
  if (ac.registration.empty()) return false;
  for (const std::string& form : gf_registrationVariants(ac.registration)) {
    if (auto it = g_regcodes.find(form); it != g_regcodes.end()) {
      ac.liveryTitle = it->second;
      return true;
    }
  }
  return false;
}

void lf_matchGeneric(AcData& ac, int depth, int& step) {
  if (depth == 4 && lf_kindFirst(ac, lf_generic(), ac.model)) {
    step = 4;
    return;
  }
  if (ac.category != Light && ac.category != Buzjets && ac.category != Rotorcraft) return;
  if (depth == 3 && ac.airline != "PVT" && lf_kindFirst(ac, lf_generic(), ac.model)) {
    step = 4;
    return;
  }
  if (lf_matchByModel(ac, ac.model)) {
    step = 5;
    return;
  }
  // A copy: the data base hands out a list that its next call replaces.
  const std::vector<std::string> similar = gf_similarModel(ac.model);
  for (const std::string& type : similar)
    if (lf_matchByModel(ac, type)) {
      step = 6;
      return;
    }
}

// Steps 2 and 3 of both entries; the similar-type walk takes only types of the aircraft's category
// when sameCategory is set.
void lf_matchAirline(AcData& ac, int depth, int& step, const std::string& regOperator, bool sameCategory) {
  const auto regAirline = [&] { return gf_airlineOfRegistration(ac.registration); };
  if (lf_kindFirst(ac, ac.airline, ac.model) || (!regOperator.empty() && lf_kindFirst(ac, regAirline(), ac.model))) {
    step = 2;
    return;
  }
  if (depth == 2) return;
  const std::vector<std::string> similar = gf_similarModelsOfAirline({ac.airline, ac.model});
  const auto walk = [&](const std::string& airline) {
    for (const std::string& type : similar) {
      if (sameCategory && gf_aircraftCategory(type) != ac.category) continue;
      if (lf_kindFirst(ac, airline, type)) return true;
    }
    return false;
  };
  if (walk(ac.airline) || (!regOperator.empty() && walk(regAirline()))) step = 3;
}

void lf_logMatch(const AcData& ac, const std::string& step, std::string_view title) {
  if (LOG.value != 0) gf_logIndented(fmt::format("{} ={}= {}", ac.description(), step, title));
}

}  // namespace

void lf_matchLivery(AcData& ac) {
  int step = 0;
  const int depth = MATCHING_DEPTH.value;
  if (lf_matchByRegistration(ac)) step = 1;
  if (ac.liveryTitle.empty() && depth != 1) {
    if (ac.airline == "PVT" && lf_kindFirst(ac, lf_generic(), ac.model)) step = 4;
    if (ac.liveryTitle.empty()) {
      const std::string regOperator = gf_operatorOfRegistration(ac.registration);
      if (!ac.airline.empty()) lf_matchAirline(ac, depth, step, regOperator, true);
      if (ac.liveryTitle.empty() && (depth == 3 || depth == 4))
        lf_matchGeneric(ac, depth, step);
    }
  }
  if (ac.liveryTitle.empty()) return;
  if (lf_isExcluded(ac.liveryTitle)) {
    ac.liveryTitle = {};
    return;
  }
  ++g_matchStepCounts.at(static_cast<std::size_t>(step - 1));
  lf_logMatch(ac, std::to_string(step), ac.liveryTitle);
  ac.fsltlTitle = ac.liveryTitle.find("FSLTL_") != std::string_view::npos ? 1 : 0;
}

bool lf_matchParkedLivery(AcData& ac, const Stand& stand) {
  if (!ac.liveryTitle.empty()) {
    lf_logMatch(ac, "s", ac.liveryTitle);
    return true;
  }
  int step = 0;
  const int depth = MATCHING_DEPTH.value;
  if (lf_matchByRegistration(ac)) {
    step = 1;
  } else {
    ac.cargo = stand.cargo;
    if (depth != 1) {
      if (ac.airline == "PVT" && lf_kindFirst(ac, lf_generic(), ac.model)) step = 4;
      if (ac.liveryTitle.empty())
        lf_matchAirline(ac, depth, step, gf_operatorOfRegistration(ac.registration), false);
      if (ac.liveryTitle.empty() && (depth == 3 || depth == 4)) lf_matchGeneric(ac, depth, step);
    }
  }
  if (ac.liveryTitle.empty()) {
    if (LOG.value != 0) gf_logf("{:8}: {} no livery match ...", stand.name, ac.callsignRegModel());
    return false;
  }
  if (lf_isExcluded(ac.liveryTitle)) {
    ac.liveryTitle = {};
    return false;
  }
  lf_logMatch(ac, std::to_string(step), ac.liveryTitle);
  return true;
}

void gf_liveryCouldNotBeCreated(const AcData& ac) {
  if (g_exitUnderWay != 0 || g_userClosed != 0) return;
  gf_showMessage(fmt::format("{} \"{}\" could not be created by your Sim!", ac.callsign, ac.liveryTitle), true);
  g_excludedTitles.emplace_back(ac.liveryTitle);
  g_notCreatedList.push_front(ac.model + " " + ac.airline);
  // Raised once: the caller erases the refused aircraft either way, and a repeated error would only
  // stop the engine again for every later refusal.
  if (g_excludedTitles.size() < kMaxExcludedTitles || g_tooManyReported) return;
  g_tooManyReported = true;
  const std::string message = fmt::format("there are too many liveries that could not be created by {}!", kSimName);
  gf_log(fmt::format("\n===> Error 81, {}\n", message));
  throw UserErrorException(81, message + ", see Log.txt");
}

std::vector<std::string> gf_notCreatedLiveries() {
  g_notCreatedList.sort();
  g_notCreatedList.unique();
  std::vector<std::string> texts;
  for (const std::string& text : g_notCreatedList) texts.push_back("  " + text);
  return texts;
}

void gf_logMatchingSummary() {
  std::vector<std::string> lines;
  lines.push_back(gf_bannerLine(32, 32, true, false, "live traffic livery matching summary"));
  lines.push_back("Matches at step: ");
  for (std::size_t n = 0; n < 6; ++n) lines.push_back(fmt::format("  {}: {}", n + 1, g_matchStepCounts[n]));
  std::vector<std::string> notCreated = gf_notCreatedLiveries();
  if (!notCreated.empty()) {
    lines.push_back(fmt::format("\nCould not be created by {}:", kSimName));
    lines.insert(lines.end(), notCreated.begin(), notCreated.end());
  }
  lines.push_back(std::string(100, '*') + "\n");
  for (const std::string& line : lines) gf_log(line);
}

void gf_logNoMatches() {
  if (g_noMatchSet.empty() || LOG.value == 0) return;
  gf_log("\nNo match found for: ");
  for (const std::string& entry : g_noMatchSet) gf_log(entry);
  gf_log("");
}

void gf_clearNoMatchSet() { g_noMatchSet.clear(); }

void gf_resetLiveries() {
  gf_resetLiveryTables();
  g_matchStepCounts.fill(0);
  g_excludedTitles.clear();
  g_noMatchSet.clear();
  g_notCreatedList.clear();
  g_tooManyReported = false;
}

}  // namespace amb
