#include "liveries/cfg_file.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "refdata/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>

namespace amb {

namespace fs = std::filesystem;

std::list<std::string> g_emptyCfgFiles;
std::list<std::string> g_invalidCfgFiles;
std::list<std::string> g_incompleteFltsimSections;
std::list<std::string> g_invalidAirlineCodes;
std::list<std::string> g_invalidModelCodes;
std::vector<std::string> g_codeFixes;
std::mutex g_emptyCfgFilesMutex;
std::mutex g_invalidCfgFilesMutex;
std::mutex g_incompleteFltsimSectionsMutex;
std::mutex g_invalidAirlineCodesMutex;
std::mutex g_invalidModelCodesMutex;
std::mutex g_codeFixesMutex;
std::vector<std::string> g_dontUseTitles;
std::set<std::string> g_scannedTitles;
std::mutex g_scannedTitlesMutex;

namespace {

// The blanks of a regular expression's \s that can stand in one line.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Matches "prefix" case-insensitively at pos; the prefix is lower case.
bool matchesAt(const std::string& line, std::size_t pos, std::string_view prefix) {
  if (line.size() - pos < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (lower(line[pos + i]) != prefix[i]) return false;
  return true;
}

std::size_t skipBlanks(const std::string& line, std::size_t pos) {
  while (pos < line.size() && isBlank(line[pos])) ++pos;
  return pos;
}

// Cuts a trailing comment ("//" or ';' outside double quotes) and the blanks before it.
std::string cutComment(std::string value) {
  bool quoted = false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    if (c == ';' || (c == '/' && i + 1 < value.size() && value[i + 1] == '/')) {
      value.resize(i);
      break;
    }
  }
  while (!value.empty() && isBlank(value.back())) value.pop_back();
  return value;
}

template <class List>
void addLocked(std::mutex& mutex, List& list, std::string line) {
  std::lock_guard<std::mutex> lock(mutex);
  list.push_back(std::move(line));
}

}  // namespace

std::string lf_matchCfgKey(const std::string& line, const std::string& key) {
  // The whole line must read: blanks, the key (any case), blanks, '=', blanks, a value, blanks.
  std::size_t pos = skipBlanks(line, 0);
  if (!matchesAt(line, pos, key)) return {};
  pos = skipBlanks(line, pos + key.size());
  if (pos >= line.size() || line[pos] != '=') return {};
  pos = skipBlanks(line, pos + 1);
  std::size_t end = line.size();
  while (end > pos && isBlank(line[end - 1])) --end;
  if (end <= pos) return {};
  std::string value = line.substr(pos, end - pos);
  // A line break inside the value makes the line no key line (it cannot be one line of the file).
  if (value.find_first_of("\r\n") != std::string::npos) return {};
  return cutComment(std::move(value));
}

namespace {
bool readKey(const std::string& line, const char* key, std::string& out) {
  std::string value = lf_matchCfgKey(line, key);
  if (value.empty()) return false;
  out = std::move(value);
  return true;
}
}  // namespace

bool lf_readTitle(const std::string& line, std::string& title) { return readKey(line, "title", title); }
bool lf_readSim(const std::string& line, std::string& sim) { return readKey(line, "sim", sim); }
bool lf_readModel(const std::string& line, std::string& model) { return readKey(line, "model", model); }
bool lf_readTexture(const std::string& line, std::string& texture) {
  return readKey(line, "texture", texture);
}
bool lf_readAtcId(const std::string& line, std::string& atcId) { return readKey(line, "atc_id", atcId); }
bool lf_readAtcParkingTypes(const std::string& line, std::string& types) {
  return readKey(line, "atc_parking_types", types);
}
bool lf_readAtcParkingCodes(const std::string& line, std::string& firstCode) {
  std::string value = lf_matchCfgKey(line, "atc_parking_codes");
  if (value.empty()) return false;
  firstCode = value.substr(0, value.find(','));
  return true;
}
std::string lf_matchAtcModel(const std::string& line) { return lf_matchCfgKey(line, "atc_model"); }

bool lf_hasAtcIdKey(const std::string& line) { return line.find("atc_id=") != std::string::npos; }
bool lf_hasAtcParkingTypesKey(const std::string& line) {
  return line.find("atc_parking_types") != std::string::npos;
}
bool lf_isDontUseTitle(const std::string& title) {
  return std::find(g_dontUseTitles.begin(), g_dontUseTitles.end(), title) != g_dontUseTitles.end();
}

std::string lf_sectionNumberText(const std::string& line) {
  if (line.size() >= 2 && line[0] == '/' && line[1] == '/') return {};
  std::size_t pos = skipBlanks(line, 0);
  if (matchesAt(line, pos, "[fltsim.")) {
    const std::size_t digits = pos + 8;
    std::size_t end = digits;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
    if (end > digits && end < line.size() && line[end] == ']' &&
        skipBlanks(line, end + 1) == line.size())
      return line.substr(digits, end - digits);
  }
  if (line.find("[fltsim.") != std::string::npos || line.find("[FLTSIM.") != std::string::npos)
    return "10000";
  return {};
}

bool lf_checkCfgSections(const std::vector<std::string>& lines, const fs::path& path) {
  std::vector<std::int32_t> numbers;
  for (const auto& line : lines) {
    const std::string text = lf_sectionNumberText(line);
    if (text.empty()) continue;
    std::int32_t number = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || end != text.data() + text.size()) {
      gf_logMarked(fmt::format("fltsim num {} incorrect", line));
      return false;
    }
    numbers.push_back(number);
  }
  if (numbers.empty()) {
    lf_addEmptyCfgFile(gf_pathText(path));
    return true;
  }
  std::sort(numbers.begin(), numbers.end());
  std::int32_t expected = 0;
  for (const std::int32_t number : numbers) {
    if (number == expected) {
      ++expected;
      continue;
    }
    const std::string message = number == 10000
                                    ? std::string("a [fltsim.] section without a number")
                                    : fmt::format("non-consecutive [fltsim.x] numbers at .x={}", number);
    lf_addInvalidCfgFile(gf_pathText(path) + " contains " + message);
    return false;
  }
  return true;
}

std::string lf_readAtcModel(const fs::path& path, const std::vector<std::string>& lines) {
  std::string model;
  for (const auto& line : lines) {
    model = lf_matchAtcModel(line);
    if (!model.empty()) break;
  }
  if (model.empty()) {
    lf_addInvalidCfgFile("Line atc_model= is missing in [General] section of " + gf_pathText(path));
    return {};
  }
  return lf_checkModelCode(model, path);
}

std::string lf_checkModelCode(const std::string& model, const fs::path& path) {
  if (g_validModels.count(model) != 0) return model;
  if (const auto fix = g_modelFixes.find(model); fix != g_modelFixes.end()) {
    lf_addCodeFix(fmt::format("Model fix: {} found in {} changed into {}", model, gf_pathText(path),
                              fix->second));
    return fix->second;
  }
  lf_addInvalidModelCode(model, path);
  return {};
}

void lf_addInvalidCfgFile(const std::string& line) {
  addLocked(g_invalidCfgFilesMutex, g_invalidCfgFiles, line);
}
void lf_addIncompleteSection(const std::string& line) {
  addLocked(g_incompleteFltsimSectionsMutex, g_incompleteFltsimSections, line);
}
void lf_addCodeFix(const std::string& line) { addLocked(g_codeFixesMutex, g_codeFixes, line); }
void lf_addEmptyCfgFile(const std::string& line) {
  addLocked(g_emptyCfgFilesMutex, g_emptyCfgFiles, line);
}
void lf_addInvalidAirlineCode(const std::string& airline, const fs::path& path,
                              const std::string& header) {
  addLocked(g_invalidAirlineCodesMutex, g_invalidAirlineCodes,
            fmt::format("{:12} in {} ", airline, gf_pathText(path)) + header);
}
void lf_addInvalidModelCode(const std::string& model, const fs::path& path) {
  addLocked(g_invalidModelCodesMutex, g_invalidModelCodes,
            fmt::format("{:16} in {}", model, gf_pathText(path)));
}

void lf_clearCodeFixes() {
  std::lock_guard<std::mutex> lock(g_codeFixesMutex);
  g_codeFixes.clear();
}

std::optional<LiveryData> lf_makeLivery(int priority, const std::string& airline,
                                        const std::string& model, int pax,
                                        const std::string& title, const std::string& atcId) {
  {
    std::lock_guard<std::mutex> lock(g_scannedTitlesMutex);
    if (!g_scannedTitles.insert(title).second) return std::nullopt;
  }
  LiveryData livery;
  livery.airline = airline;
  livery.type = model;
  livery.title = title;
  livery.atcid = atcId;
  livery.priority = priority;
  livery.cargo = pax == 0;
  return livery;
}

void lf_clearScanReportLists() {
  {
    std::lock_guard<std::mutex> lock(g_emptyCfgFilesMutex);
    g_emptyCfgFiles.clear();
  }
  {
    std::lock_guard<std::mutex> lock(g_invalidCfgFilesMutex);
    g_invalidCfgFiles.clear();
  }
  {
    std::lock_guard<std::mutex> lock(g_incompleteFltsimSectionsMutex);
    g_incompleteFltsimSections.clear();
  }
  {
    std::lock_guard<std::mutex> lock(g_invalidAirlineCodesMutex);
    g_invalidAirlineCodes.clear();
  }
  {
    std::lock_guard<std::mutex> lock(g_invalidModelCodesMutex);
    g_invalidModelCodes.clear();
  }
  {
    std::lock_guard<std::mutex> lock(g_scannedTitlesMutex);
    g_scannedTitles.clear();
  }
  g_dontUseTitles.clear();
}

}  // namespace amb
