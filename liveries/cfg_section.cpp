// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "liveries/cfg_section.hpp"

#include "liveries/cfg_file.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "platform/file_names.hpp"
#include "platform/utf8.hpp"
#include "refdata/services.hpp"

#include <fmt/format.h>

#include <regex>

namespace amb {

namespace fs = std::filesystem;

namespace {

enum class EntryKind { Folder, File };

// Whether folder/name exists as the kind asked, links followed, the name's case as Windows ignores
// it. An empty model or texture key names the folder "model" or "texture": the Windows file system
// drops the trailing dot of "model.".
bool entryExists(const fs::path& folder, std::string name, EntryKind kind) {
  if (!name.empty() && name.back() == '.') name.pop_back();
  const auto found = platform::findIgnoringCase(folder, name);
  if (!found) return false;
  std::error_code ec;
  const auto status = fs::status(*found, ec);
  if (ec) return false;
  return kind == EntryKind::Folder ? fs::is_directory(status) : fs::is_regular_file(status);
}

// Trailing empty lines and "//" lines belong to no section.
void dropTrailingLines(std::vector<std::string>& section) {
  while (section.size() > 1) {
    const std::string& last = section.back();
    if (!last.empty() && !(last.size() >= 2 && last[0] == '/' && last[1] == '/')) break;
    section.pop_back();
  }
}

std::string folderText(const fs::path& folder) { return gf_pathText(folder); }

// The three existence checks in the order given; the first failing path's report line, or "".
std::string missingEntry(const fs::path& folder, const std::string& header,
                         const std::vector<std::pair<std::string, EntryKind>>& entries) {
  for (const auto& [name, kind] : entries) {
    if (!entryExists(folder, name, kind))
      return gf_pathText(folder / gf_pathFromUtf8(name)) + " " + header + " does not exist";
  }
  return {};
}

// The items of an atc_id value, trimmed; the registration when the value has exactly one item and
// every item is good, else empty. An empty item, one of more than 12 characters (each logged by the
// caller's own line) and one with a wild card refuse the value.
template <class OnEmpty, class OnLong>
std::string settleAtcId(const std::string& value, const std::string& title, OnEmpty onEmpty, OnLong onLong) {
  std::vector<std::string> items = gf_splitComma(value);
  for (auto& item : items) item = gf_trim(item);
  for (const auto& item : items) {
    if (item.empty()) {
      onEmpty();
      return {};
    }
    if (item.size() > 12) {
      onLong(item);
      return {};
    }
    if (item.find('*') != std::string::npos) {
      gf_logMarked(fmt::format("{} {} wild cards no longer supported, atc_id skipped ", title, item));
      return {};
    }
  }
  return items.size() == 1 ? items.front() : std::string();
}

// The keys both kinds of section read alike, each key's first value.
struct SectionKeys {
  std::string title, parkingTypes, atcId, modelKey, simKey, textureKey;
  bool modelSeen = false, simSeen = false, textureSeen = false;
};

enum class KeyLine { Other, Taken, Rejected };

KeyLine readTitleLine(const std::string& line, SectionKeys& keys, const std::string& where) {
  std::string value;
  if (!lf_readTitle(line, value)) return KeyLine::Other;
  if (!keys.title.empty()) {
    lf_addIncompleteSection(where + " has more than one title key");
    return KeyLine::Rejected;
  }
  keys.title = value;
  return KeyLine::Taken;
}

// The parking types, the registration and the folder keys; atcIdOf turns an atc_id value into the
// registration (empty when it has none). A second parking-types or atc_id key rejects the section.
template <class AtcIdOf>
KeyLine readSharedKeyLine(const std::string& line, SectionKeys& keys, const std::string& where,
                          const std::string& atcIdWhere, AtcIdOf atcIdOf) {
  std::string value;
  if (keys.parkingTypes.empty() && lf_readAtcParkingTypes(line, value)) {
    gf_trimCommaList(value);
    keys.parkingTypes = gf_toUpper(value);
    return KeyLine::Taken;
  }
  if (!keys.parkingTypes.empty() && lf_hasAtcParkingTypesKey(line)) {
    lf_addIncompleteSection(where + " has more than one atc_parking_types key");
    return KeyLine::Rejected;
  }
  if (!keys.atcId.empty() && lf_hasAtcIdKey(line)) {
    lf_addIncompleteSection(atcIdWhere + " has more than one atc_id key");
    return KeyLine::Rejected;
  }
  if (keys.atcId.empty() && lf_readAtcId(line, value)) {
    keys.atcId = atcIdOf(value);
    return KeyLine::Taken;
  }
  if (!keys.modelSeen && lf_readModel(line, keys.modelKey)) {
    keys.modelSeen = true;
    return KeyLine::Taken;
  }
  if (!keys.simSeen && lf_readSim(line, keys.simKey)) {
    keys.simSeen = true;
    return KeyLine::Taken;
  }
  if (!keys.textureSeen && lf_readTexture(line, keys.textureKey)) keys.textureSeen = true;
  return KeyLine::Other;
}

// After the key lines: the folders and the flight-model file the keys name exist (checked in the
// kind's order, the first missing one reported), the title is there and may be used.
bool sectionUsable(const SectionKeys& keys, const fs::path& folder, const std::string& header,
                   const std::string& where, bool flightModelBeforeTexture) {
  std::vector<std::pair<std::string, EntryKind>> entries = {{"model." + keys.modelKey, EntryKind::Folder},
                                                            {"texture." + keys.textureKey, EntryKind::Folder},
                                                            {keys.simKey + ".air", EntryKind::File}};
  if (flightModelBeforeTexture) std::swap(entries[1], entries[2]);
  const std::string missing = missingEntry(folder, header, entries);
  if (!missing.empty()) {
    lf_addIncompleteSection(missing);
    return false;
  }
  if (keys.title.empty()) {
    lf_addIncompleteSection(where + " misses title");
    return false;
  }
  return !lf_isDontUseTitle(keys.title);
}

bool isWordChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// The three word characters right behind the model code (and optional blanks) at the start of the
// title: "A320 BAW British" gives "BAW".
std::string airlineFromIvaoTitle(const std::string& title, const std::string& model) {
  if (model.empty() || title.compare(0, model.size(), model) != 0) return {};
  std::size_t pos = model.size();
  while (pos < title.size() && (title[pos] == ' ' || title[pos] == '\t' || title[pos] == '\f' ||
                                title[pos] == '\v'))
    ++pos;
  if (title.size() - pos < 3) return {};
  for (std::size_t i = pos; i < pos + 3; ++i)
    if (!isWordChar(title[i])) return {};
  return title.substr(pos, 3);
}

// Reads the lines, checks the numbering and cuts the file into sections; process is called for every
// section in file order. An IVAO file ends a section at any '[' in a non-header line; others only at
// a '[' among the first six characters.
template <class Process>
void forEachSection(const std::vector<std::string>& lines, bool ivao, Process process) {
  std::vector<std::string> section;
  section.reserve(48);
  bool inSection = false;
  for (const auto& line : lines) {
    if (!lf_sectionNumberText(line).empty()) {
      inSection = true;
      if (!section.empty()) {
        process(section);
        section.clear();
      }
      section.push_back(line);
      continue;
    }
    const std::size_t bracket = line.find('[');
    if (bracket != std::string::npos && (ivao || bracket <= 5)) {
      if (inSection) {
        process(section);
        section.clear();
        inSection = false;
      }
      continue;
    }
    if (inSection) section.push_back(line);
  }
  if (inSection && !section.empty()) process(section);
}

std::string correctedIvaoCode(std::string code) {
  if (!code.empty() && code.back() == 'w') {
    code.pop_back();
  } else if (code == "B744F" || code == "T154M") {
    code.pop_back();
  } else if (code == "T154B2") {
    code.resize(code.size() - 2);
  } else if (code == "GLID_SH") {
    code.resize(code.size() - 3);
  } else if (code == "GLID_A13" || code == "GLID_A25" || code == "GLID_KA6" || code == "GLID_KA8" ||
             code == "GLID_L13") {
    code.resize(code.size() - 4);
  }
  return code;
}

}  // namespace

bool lf_readCfgLines(const fs::path& path, std::vector<std::string>& lines) {
  const int encoding = gf_detectEncoding(path);
  if (encoding == NoneFound) return false;
  lines.reserve(4048);
  if (!gf_readExtTextFileToStringVector(encoding, path, lines)) return false;
  // UTF-16 files arrive as UTF-8 already; 8-bit files may be either UTF-8 or Windows-1252, line by line.
  if (encoding != Unicode && encoding != UnicodeBigEndian) {
    for (auto& line : lines)
      if (!platform::isValidUtf8(line)) line = platform::windows1252ToUtf8(line);
  }
  return true;
}

std::list<LiveryData> lf_procesFltSimSection(int priority, std::vector<std::string>& section,
                                             const std::string& modelType, const fs::path& path,
                                             const fs::path& folder) {
  try {
    dropTrailingLines(section);
    const std::string& header = section.front();
    const std::string where = folderText(folder) + " " + header;
    const std::string atcIdWhere = fmt::format("{}, {},", folderText(folder), header);
    SectionKeys keys;
    const std::string& title = keys.title;
    std::string airline;
    const auto atcIdOf = [&](const std::string& value) {
      const std::string beforeSemicolon = value.substr(0, value.find(';'));
      if (gf_trim(beforeSemicolon).empty()) {
        gf_log(fmt::format("invalid atc_id={} ==> in: {}", value, title));
        return std::string();
      }
      return settleAtcId(
          beforeSemicolon, title, [&] { gf_log(fmt::format("empty regcode in {} {}", title, beforeSemicolon)); },
          [&](const std::string& item) {
            gf_log(fmt::format("regcode: {}, has more than 12 chars or contains UTF16 chars in \"{}\"?", item, title));
          });
    };
    for (std::size_t i = 1; i < section.size(); ++i) {
      const std::string& line = section[i];
      const KeyLine titleLine = readTitleLine(line, keys, where);
      if (titleLine == KeyLine::Rejected) return {};
      if (titleLine == KeyLine::Taken) continue;
      if (!airline.empty() && line.find("atc_parking_codes") != std::string::npos) {
        lf_addIncompleteSection(where + " has more than one atc_parking_codes key");
        return {};
      }
      std::string value;
      if (airline.empty() && lf_readAtcParkingCodes(line, value)) {
        gf_trimCommaList(value);
        if (value.size() == 4 && (value[3] == 'X' || value[3] == 'C')) value.resize(3);
        if (!value.empty() && g_icaoAirlines.count(value) != 0) {
          airline = value;
        } else if (value == "RFO") {
          return {};
        } else {
          lf_addInvalidAirlineCode(value, path, header);
        }
        continue;
      }
      if (readSharedKeyLine(line, keys, where, atcIdWhere, atcIdOf) == KeyLine::Rejected) return {};
    }

    if (!sectionUsable(keys, folder, header, where, false)) return {};
    std::string& atcId = keys.atcId;
    if (airline == "ZZZ") atcId.clear();
    if (airline.empty()) {
      const AircraftCategory category = gf_aircraftCategory(modelType);
      const bool big = category == AircraftCategory::Large || category == AircraftCategory::Heavy;
      if (!atcId.empty()) {
        if (const auto info = gf_findRegcodeInfo(atcId)) {
          airline = info->airline;
        } else if (big) {
          lf_addIncompleteSection(fmt::format(
              "\"{}\" \"{}\" has no airline and its regcode is not in my dbase (very old liv?)",
              folderText(folder), header));
          return {};
        } else {
          airline = "PVT";
        }
      } else if (big) {
        lf_addIncompleteSection(
            fmt::format("\"{}\" \"{}\" has no airline and no regcode info", folderText(folder), header));
        return {};
      } else {
        airline = "PVT";
        atcId = gf_privateRegcodeInText(title);
      }
    }
    const bool cargo = keys.parkingTypes.find("CARGO") != std::string::npos;
    auto livery = lf_makeLivery(priority, airline, modelType, cargo ? 0 : 1, title, atcId);
    if (!livery) {
      lf_addIncompleteSection(where + " title \"" + title + "\" already exists");
      return {};
    }
    std::list<LiveryData> result;
    result.push_back(std::move(*livery));
    return result;
  } catch (const std::exception& e) {
    gf_log(fmt::format("exception in lf_procesFltSimSection: {}, file: {}", e.what(), gf_pathText(path)));
    throw;
  }
}

std::list<LiveryData> lf_searchLiveriesinFile(int priority, const fs::path& path) {
  try {
    std::error_code ec;
    if (!fs::exists(path, ec)) return {};
    const fs::path folder = path.parent_path();
    std::vector<std::string> lines;
    if (!lf_readCfgLines(path, lines)) return {};
    if (!lf_checkCfgSections(lines, path)) return {};
    const std::string modelType = lf_readAtcModel(path, lines);
    if (modelType.empty()) return {};
    std::list<LiveryData> result;
    forEachSection(lines, false, [&](std::vector<std::string>& section) {
      result.splice(result.end(), lf_procesFltSimSection(priority, section, modelType, path, folder));
    });
    return result;
  } catch (const std::exception& e) {
    gf_log(fmt::format("exception in lf_searchLiveriesinFile {}: {}", gf_pathText(path), e.what()));
    throw;
  }
}

std::string lf_ivaoModelFromPath(const fs::path& path) {
  // The file must be an aircraft.cfg directly in "IVAO_<code>", directly in "IVAO_MTL" (any case).
  static const std::regex pattern(R"(.+[\\/]IVAO_MTL[\\/]IVAO_(\w+)[\\/]aircraft\.cfg$)",
                                  std::regex::ECMAScript | std::regex::icase);
  const std::string text = gf_pathText(path);
  std::smatch match;
  if (!std::regex_match(text, match, pattern)) {
    lf_addInvalidModelCode("  ", path);
    return {};
  }
  return lf_checkModelCode(correctedIvaoCode(match[1].str()), path);
}

std::optional<LiveryData> lf_procesIvaoFltSimSection(int priority, std::vector<std::string>& section,
                                                     const std::string& model, const fs::path& path,
                                                     const fs::path& folder) {
  dropTrailingLines(section);
  const std::string& header = section.front();
  const std::string where = folderText(folder) + " " + header;
  const std::string atcIdWhere = fmt::format("{}, {},", folderText(folder), header);
  SectionKeys keys;
  const std::string& title = keys.title;
  const auto atcIdOf = [&](const std::string& value) {
    return settleAtcId(
        value, title, [&] { gf_log(fmt::format(" empty regcode in: {}", value)); },
        [&](const std::string& item) {
          gf_log(fmt::format("regcode: {}, has more than 12 chars in title: {}", item.size(), title));
        });
  };
  for (std::size_t i = 1; i < section.size(); ++i) {
    const std::string& line = section[i];
    const KeyLine titleLine = readTitleLine(line, keys, where);
    if (titleLine == KeyLine::Rejected) return std::nullopt;
    if (titleLine == KeyLine::Taken) continue;
    if (readSharedKeyLine(line, keys, where, atcIdWhere, atcIdOf) == KeyLine::Rejected) return std::nullopt;
  }
  if (!sectionUsable(keys, folder, header, where, true)) return std::nullopt;
  std::string& atcId = keys.atcId;
  std::string airline = airlineFromIvaoTitle(title, model);
  if (!airline.empty()) {
    if (!gf_isIcaoAirline(airline)) {
      lf_addInvalidAirlineCode(airline, path, header);
      return std::nullopt;
    }
    if (airline == "ZZZ") atcId.clear();
  } else if (atcId.empty()) {
    lf_addIncompleteSection(where + " misses airlinecode in title: " + title + ", and no regcode");
    return std::nullopt;
  } else if (const auto info = gf_findRegcodeInfo(atcId)) {
    airline = info->airline;
  } else {
    lf_addIncompleteSection(where + " misses airlinecode in title: " + title + ", and regcode unknown" +
                            atcId);
    return std::nullopt;
  }
  auto livery = lf_makeLivery(priority, airline, model, 1, title, atcId);
  if (!livery) lf_addIncompleteSection(where + " title already exists: " + title);
  return livery;
}

std::list<LiveryData> lf_searchIvaoLiveriesInFile(int priority, const fs::path& path) {
  const std::string model = lf_ivaoModelFromPath(path);
  if (model.empty()) return {};
  const fs::path folder = path.parent_path();
  if (gf_detectEncoding(path) == NoneFound) {
    gf_logMarked(fmt::format("no character set found for {}", gf_pathText(path)));
    return {};
  }
  std::vector<std::string> lines;
  if (!lf_readCfgLines(path, lines) || !lf_checkCfgSections(lines, path)) return {};
  std::list<LiveryData> result;
  forEachSection(lines, true, [&](std::vector<std::string>& section) {
    if (auto livery = lf_procesIvaoFltSimSection(priority, section, model, path, folder))
      result.push_back(std::move(*livery));
  });
  return result;
}

}  // namespace amb
