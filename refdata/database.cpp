#include "refdata/database.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/user_error.hpp"
#include "refdata/cipher.hpp"
#include "refdata/download.hpp"
#include "refdata/queries.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace amb {

namespace fs = std::filesystem;

std::set<std::string> g_validModels;
std::set<std::string> g_highPerfModels;
std::set<std::string> g_heavyModels;
std::set<std::string> g_largeModels;
std::set<std::string> g_buzjetModels;
std::set<std::string> g_rotorcraftModels;
std::set<std::string> g_cargoModels;
std::vector<std::vector<std::string>> g_similarGroups;
std::set<std::string> g_icaoAirlines;
std::set<std::string> g_cargoOperators;
std::vector<std::vector<std::string>> g_publishers;
std::map<std::string, double> g_wingspans;
double g_maxHalfWingspan = 0.0;
std::array<double, 6> g_categoryHalfWingspan{};
std::unordered_map<std::string, std::string> g_modelFixes;
std::set<std::string> g_simaddonAirports;
std::vector<ThirdPartyData> g_thirdParties;
std::unordered_map<std::string, RegcodeInfo> g_regcodeInfos;

namespace {
constexpr double kMetresToNm = 0.0005399568034557236;
}

const std::array<double, 6> g_defaultCategoryHalfWingspan{
    11.0 * 0.5 * kMetresToNm, 20.0 * 0.5 * kMetresToNm, 34.0 * 0.5 * kMetresToNm,
    60.0 * 0.5 * kMetresToNm, 12.0 * 0.5 * kMetresToNm, 11.0 * 0.5 * kMetresToNm};

namespace {

pugi::xml_node findSection(const pugi::xml_document& doc, const char* section) { return doc.child(section); }

std::string attributeText(const pugi::xml_node& node, const char* name) {
  return node.attribute(name).as_string("");
}

void readSimilarGroups(const pugi::xml_document& doc) {
  g_similarGroups.reserve(64);
  for (pugi::xml_node item : findSection(doc, "similar_types").children("similar")) {
    std::vector<std::string> group = gf_splitString(attributeText(item, "types"));
    for (std::string& member : group) member = gf_decryptCode(member);
    std::sort(group.begin(), group.end());
    g_similarGroups.push_back(std::move(group));
  }
  g_similarGroups.shrink_to_fit();
}

void readPublishers(const pugi::xml_document& doc) {
  g_publishers.reserve(640);
  std::vector<std::string> texts;
  for (pugi::xml_node item : findSection(doc, "publishers").children("pub"))
    texts.push_back(attributeText(item, "names"));
  std::sort(texts.begin(), texts.end());
  texts.erase(std::unique(texts.begin(), texts.end()), texts.end());
  for (const std::string& text : texts) {
    std::vector<std::string> group = gf_splitString(text);
    group.shrink_to_fit();
    g_publishers.push_back(std::move(group));
  }
  g_publishers.shrink_to_fit();
}

void readWingspans(const pugi::xml_document& doc) {
  bool anyValid = false;
  for (pugi::xml_node item : findSection(doc, "wingspans").children("wingspan")) {
    const std::string model = gf_decryptCode(attributeText(item, "type"));
    if (!gf_isValidModel(model)) {
      gf_logPeerf(LogStyle::Marked, "wingspan model {} is no valid model, skipped", model);
      continue;
    }
    anyValid = true;
    const double half = gf_attributeDouble(item, "meters") * 0.5 * kMetresToNm;
    g_wingspans.emplace(model, half);
    g_maxHalfWingspan = std::max(g_maxHalfWingspan, half);
  }
  if (!anyValid) return;
  std::array<double, 6> sum{};
  std::array<int, 6> count{};
  for (const auto& [model, half] : g_wingspans) {
    const auto category = static_cast<std::size_t>(gf_aircraftCategory(model));
    sum[category] += half;
    ++count[category];
  }
  for (std::size_t c = 0; c < sum.size(); ++c)
    g_categoryHalfWingspan[c] = count[c] > 0 ? sum[c] / count[c] : g_defaultCategoryHalfWingspan[c];
}

void readFixes(const pugi::xml_document& doc) {
  for (pugi::xml_node item : findSection(doc, "fixes").children("fx")) {
    const std::string wrong = attributeText(item, "wro");
    const std::string correct = attributeText(item, "cor");
    if (!correct.empty() && g_validModels.count(correct) != 0) {
      if (!g_modelFixes.emplace(wrong, correct).second)
        gf_logPeerf(LogStyle::Marked, "wrong part of fix: \"{}\", already exists, skipped", wrong);
    } else {
      gf_logPeerf("wrong fix {}->{}, the latter is not a valid model", wrong, correct);
    }
  }
}

void readRegistrations(const pugi::xml_document& doc) {
  g_regcodeInfos.clear();
  for (pugi::xml_node item : findSection(doc, "dbase").children("db")) {
    std::string key = gf_decryptKeyed(attributeText(item, "reg"));
    RegcodeInfo info;
    const std::string airl = attributeText(item, "airl");
    const std::string type = attributeText(item, "type");
    const std::string opr = attributeText(item, "opr");
    if (!airl.empty()) info.airline = gf_decryptAirl(airl);
    if (!type.empty()) info.type = gf_decryptCode(type);
    if (!opr.empty()) info.operatorCode = gf_decryptAirl(opr);
    info.cargo = item.attribute("cargo").as_bool(false);
    auto [it, inserted] = g_regcodeInfos.emplace(std::move(key), std::move(info));
    if (!inserted) gf_logPeerf("regcode {} already exists", it->first);
  }
}

}  // namespace

std::vector<std::string> gf_splitString(const std::string& text) {
  std::vector<std::string> fields;
  if (text.empty()) return fields;
  static constexpr const char* kBlanks = " \t\r\n";
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::size_t end = comma == std::string::npos ? text.size() : comma;
    std::size_t first = text.find_first_not_of(kBlanks, start);
    if (first == std::string::npos || first >= end) {
      fields.emplace_back();
    } else {
      const std::size_t last = text.find_last_not_of(kBlanks, end - 1);
      fields.emplace_back(text, first, last - first + 1);
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

double gf_attributeDouble(const pugi::xml_node& node, const char* name) {
  if (!node) return 0.0;
  pugi::xml_attribute attr = node.attribute(name);
  if (!attr) return 0.0;
  const char* value = attr.value();
  if (value == nullptr || *value == '\0') return 0.0;
  return std::strtod(value, nullptr);
}

void lf_readXmlList(const pugi::xml_document& doc, const char* section, std::set<std::string>& table,
                    const char* item, const char* attribute) {
  if (pugi::xml_node node = findSection(doc, section)) {
    for (pugi::xml_node child : node.children(item))
      for (std::string& field : gf_splitString(attributeText(child, attribute))) table.insert(std::move(field));
  }
  if (table.empty())
    throw UserErrorException(61, fmt::format("In an xml file section {} {} {} is empty ", section, item, attribute));
}

void lf_readModelSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& table,
                     const char* item) {
  std::set<std::string> enciphered;
  lf_readXmlList(doc, section, enciphered, item, "types");
  for (const std::string& code : enciphered) table.insert(gf_decryptCode(code));
}

void lf_readAirlineSet(const pugi::xml_document& doc, const char* section, std::set<std::string>& table) {
  std::set<std::string> enciphered;
  lf_readXmlList(doc, section, enciphered, "ICAO", "codes");
  for (const std::string& code : enciphered) table.insert(gf_decryptAirl(code));
}

void lf_readThirdParties(const pugi::xml_document& doc) {
  for (pugi::xml_node item : findSection(doc, "thirdpartiesP3D").children("thirdpartieP3D"))
    g_thirdParties.push_back(ThirdPartyData{attributeText(item, "pub"), gf_splitString(attributeText(item, "arpts"))});
}

bool lf_readDataBase() {
  const fs::path destination = g_inputFolder / "temp2.xml";
  if (gf_downloadDbase(destination) == 0) throw std::runtime_error("data base could not be read from on-line?");
  return lf_readDataBaseFile(destination);
}

bool lf_readDataBaseFile(const fs::path& destination) {
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed = doc.load_file(destination.c_str());
  if (!parsed)
    throw UserErrorException(60, fmt::format("\"{}\" not read because of {}", gf_pathText(destination),
                                             parsed.description()));

  lf_readModelSet(doc, "aircrafts", g_validModels, "aircraft");
  lf_readModelSet(doc, "high_performance", g_highPerfModels, "hpf");
  lf_readModelSet(doc, "heavy", g_heavyModels, "hvy");
  lf_readModelSet(doc, "large", g_largeModels, "lar");
  lf_readModelSet(doc, "buzjet", g_buzjetModels, "bzj");
  lf_readModelSet(doc, "rotorcraft", g_rotorcraftModels, "rot");
  lf_readModelSet(doc, "cargo_types", g_cargoModels, "cargo_type");

  readSimilarGroups(doc);

  lf_readAirlineSet(doc, "ICAO_airlines", g_icaoAirlines);
  lf_readAirlineSet(doc, "cargo_operators", g_cargoOperators);

  try {
    readPublishers(doc);
  } catch (const std::exception& e) {
    throw std::runtime_error(
        fmt::format("exception {} in reading publishers from \"{}\"", e.what(), gf_pathText(destination)));
  }
  gf_compilePublisherPatterns();

  try {
    readWingspans(doc);
  } catch (const std::exception& e) {
    throw std::runtime_error(
        fmt::format("exception {} in reading wingspans from \"{}\"", e.what(), gf_pathText(destination)));
  }

  readFixes(doc);

  lf_readXmlList(doc, "simaddonsP3D", g_simaddonAirports, "simaddonP3D", "arpts");

  if (g_thirdParties.capacity() < 200) g_thirdParties.reserve(200);
  lf_readThirdParties(doc);

  readRegistrations(doc);
  gf_indexPrivateRegcodes();

  // One line of what was read, so a user can see at a glance that the reference data arrived.
  gf_log(fmt::format("data base read: {} models ({} heavy, {} large, {} business jets, {} high performance, "
                     "{} rotorcraft, {} cargo), {} similar groups, {} airlines, {} cargo operators, "
                     "{} publishers, {} wing spans, {} fixes, {} add-on airports, {} third parties, "
                     "{} registrations",
                     g_validModels.size(), g_heavyModels.size(), g_largeModels.size(), g_buzjetModels.size(),
                     g_highPerfModels.size(), g_rotorcraftModels.size(), g_cargoModels.size(),
                     g_similarGroups.size(), g_icaoAirlines.size(), g_cargoOperators.size(), g_publishers.size(),
                     g_wingspans.size(), g_modelFixes.size(), g_simaddonAirports.size(), g_thirdParties.size(),
                     g_regcodeInfos.size()));

  if (fs::exists(destination)) fs::remove(destination);
  return true;
}

void gf_resetDataBase() {
  g_validModels.clear();
  g_highPerfModels.clear();
  g_heavyModels.clear();
  g_largeModels.clear();
  g_buzjetModels.clear();
  g_rotorcraftModels.clear();
  g_cargoModels.clear();
  g_similarGroups = {};
  g_icaoAirlines.clear();
  g_cargoOperators.clear();
  g_publishers = {};
  g_wingspans.clear();
  g_maxHalfWingspan = 0.0;
  g_categoryHalfWingspan = {};
  g_modelFixes.clear();
  g_simaddonAirports.clear();
  g_thirdParties = {};
  g_regcodeInfos.clear();
  gf_resetQueries();
}

}  // namespace amb
