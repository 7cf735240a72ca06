#include "liveries/regcodes.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"
#include "liveries/tables.hpp"
#include "refdata/services.hpp"

#include <pugixml.hpp>

#include <cstring>

namespace amb {

std::vector<std::string> g_offlineRegcodeLines;

namespace {

constexpr const char* kAigZip = "AIG-regcodes.zip";
constexpr const char* kAigXml = "AIG-regcodes.xml";

std::filesystem::path lf_aigPath() { return g_inputFolder / kAigXml; }
std::filesystem::path lf_offlinePath() { return g_outputInfoFolder / "OfflineRegcodes.txt"; }

bool lf_startsTrue(const char* text) { return text[0] != '\0' && std::strchr("1tTyY", text[0]) != nullptr; }

std::int64_t lf_count(std::size_t n) { return static_cast<std::int64_t>(n); }

void lf_addInlineRegcode(const LiveryData& livery, std::vector<std::string>& clashes) {
  const std::string_view title = gf_findStoredTitle(livery.title);
  if (title.empty()) {
    clashes.push_back(fmt::format("==> [{:3} {:4}] {} \"{}\" not available, system error, should not happen?",
                                  livery.airline, livery.type, livery.atcid, livery.title));
    return;
  }
  auto [it, added] = g_regcodes.try_emplace(livery.atcid, title);
  if (!added && it->second != title)
    clashes.push_back(fmt::format("{} \"{}\" => already in use by \"{}\"", livery.atcid, livery.title, it->second));
}

struct ApplyCounts {
  std::int64_t added = 0;
  std::int64_t replaced = 0;
  std::int64_t special = 0;
};

void lf_addRegcode(const std::string& code, std::string_view title, ApplyCounts& counts) {
  auto [it, added] = g_regcodes.try_emplace(code, title);
  if (added) {
    ++counts.added;
  } else if (it->second != title) {
    g_offlineRegcodeLines.push_back(
        fmt::format("   regcode {} for \"{}\", instead of the same for \"{}\"", code, title, it->second));
    it->second = title;
    ++counts.replaced;
  }
}

void lf_applyRegcodeLiveries(const std::list<RegcodeLivery>& list) {
  ApplyCounts counts;
  for (const RegcodeLivery& livery : list) {
    const std::string_view title = gf_findStoredTitle(livery.title);
    if (title.empty()) continue;
    for (const std::string& code : livery.regcodes) lf_addRegcode(code, title, counts);
    if (livery.special) {
      gf_addTitleInUse(title);
      ++counts.special;
    }
  }
  std::string line = fmt::format("{} new regcode{} added", counts.added, gf_pluralS(counts.added));
  if (counts.replaced > 0) line += fmt::format(", {} regcode{} replaced", counts.replaced, gf_pluralS(counts.replaced));
  if (counts.special > 0)
    line += fmt::format(", {} regcode{} defined as special", counts.special, gf_pluralS(counts.special));
  g_offlineRegcodeLines.push_back(std::move(line));
}

void lf_processAigRegcodesFile(const std::filesystem::path& path) {
  g_offlineRegcodeLines.push_back("Processing file " + gf_pathText(path));
  std::list<RegcodeLivery> list;
  if (!lf_readAigRegcodesFile(path, list))
    g_offlineRegcodeLines.push_back(fmt::format(
        "There were errors in processing the AIG-regcode file \"{}\", see the Log.txt", gf_pathText(path)));
  lf_applyRegcodeLiveries(list);
}

void lf_processRegcodeFolder() {
  if (gf_countFilesInFolder(g_myRegcodesFolder) == 0) return;
  g_offlineRegcodeLines.push_back("Processing files in " + gf_pathText(g_myRegcodesFolder));
  std::list<RegcodeLivery> list;
  if (!lf_readRegcodeFolder(g_myRegcodesFolder, list))
    gf_showMessage(fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt",
                               gf_pathText(g_myRegcodesFolder)),
                   true);
  lf_applyRegcodeLiveries(list);
}

// Fields of a user line, split at ';' and kept exactly as written.
std::vector<std::string> lf_fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = line.find(';', start);
    fields.emplace_back(line, start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

bool lf_checkRegcodeLength(const std::string& code, RegcodeFaults& faults) {
  if (code.size() >= 3 && code.size() <= 12) return true;
  faults.log(fmt::format("wrong regcode length \"{}\" in {}", gf_peerText(code), gf_pathText(faults.file())));
  return false;
}

std::size_t lf_takeDontUseTitles(const std::list<RegcodeLivery>& list) {
  std::size_t n = 0;
  for (const RegcodeLivery& livery : list)
    if (livery.regcodes.empty()) {
      g_dontUseTitles.push_back(livery.title);
      ++n;
    }
  return n;
}

void lf_readAigDontUseTitles(const std::filesystem::path& path) {
  std::list<RegcodeLivery> list;
  if (!lf_readAigRegcodesFile(path, list))
    gf_logMarked(fmt::format("There were errors in processing the file \"{}\", see the Log.txt", gf_pathText(path)));
  const auto n = lf_count(lf_takeDontUseTitles(list));
  gf_logf("{} don't use title{} read", n, gf_pluralS(n));
}

void lf_readFolderDontUseTitles() {
  std::list<RegcodeLivery> list;
  if (!lf_readRegcodeFolder(g_myRegcodesFolder, list))
    gf_logMarked(fmt::format("There were errors in processing the regcode files in folder \"{}\", see the Log.txt",
                             gf_pathText(g_myRegcodesFolder)));
  const auto n = lf_count(lf_takeDontUseTitles(list));
  gf_logf("{} don't use title{} read from files in {}", n, gf_pluralS(n), gf_pathText(g_myRegcodesFolder));
}

// Downloads and unpacks the AIG list into "input"; the file is deleted again after use.
bool lf_fetchAigFile() { return gf_downloadAndUnzip(kAigZip, lf_aigPath()) != 0; }

}  // namespace

void lf_addInlineRegcodes() {
  std::vector<std::string> clashes;
  for (const LiveryData& livery : g_liveryList)
    if (!livery.atcid.empty()) lf_addInlineRegcode(livery, clashes);
  if (clashes.empty()) return;
  std::filesystem::create_directories(g_outputErrorsFolder);
  gf_writeLinesToFile(clashes, g_inlineRegcodesPath);
  gf_logf("{} in-line regcode clashes, see \"{}\"", clashes.size(), gf_pathText(g_inlineRegcodesPath));
}

void lf_processRegcodes() {
  g_offlineRegcodeLines.clear();
  if (lf_fetchAigFile()) {
    lf_processAigRegcodesFile(lf_aigPath());
    gf_removeFileIfExists(lf_aigPath());
  } else {
    gf_logMarked("reading AIG-regcodes failed?");
  }
  lf_processRegcodeFolder();
  gf_removeFileIfExists(lf_offlinePath());
  if (g_offlineRegcodeLines.empty()) return;
  std::filesystem::create_directories(g_outputInfoFolder);
  gf_writeLinesToFile(g_offlineRegcodeLines, lf_offlinePath());
  gf_logf("Offline regcode files processed, results can be found in \"{}\"", gf_pathText(lf_offlinePath()));
  if (!g_titlesInUse.empty()) gf_logf("{} special liveries", g_titlesInUse.size());
}

void lf_readAigRegcodes() {
  if (lf_fetchAigFile()) {
    lf_readAigDontUseTitles(lf_aigPath());
    gf_removeFileIfExists(lf_aigPath());
  } else {
    gf_logMarked(fmt::format("reading {} failed?", gf_pathText(lf_aigPath())));
  }
  if (gf_countFilesInFolder(g_myRegcodesFolder) > 0) lf_readFolderDontUseTitles();
}

bool lf_readAigRegcodesFile(const std::filesystem::path& path, std::list<RegcodeLivery>& list) {
  pugi::xml_document doc;
  if (!doc.load_file(path.c_str())) {
    gf_logMarked(fmt::format("Failed to load {}", gf_pathText(path)));
    return false;
  }
  bool ok = true;
  for (pugi::xml_node livery = doc.child("AIG-regcodes").child("livery"); livery;
       livery = livery.next_sibling("livery")) {
    RegcodeLivery entry;
    entry.title = livery.attribute("title").value();
    if (entry.title.empty()) continue;
    // One code that does not decipher loses only that livery, not the whole list.
    try {
      for (std::string& code : gf_splitToVector(livery.attribute("reg").value(), ','))
        entry.regcodes.push_back(gf_decryptKeyed(code));
    } catch (const std::exception& e) {
      gf_logPeerf(LogStyle::Marked, "regcode of \"{}\" in {} cannot be read: {}", entry.title,
                  OwnText{gf_pathText(path)}, e.what());
      ok = false;
      continue;
    }
    entry.special = lf_startsTrue(livery.attribute("special").value());
    list.push_back(std::move(entry));
  }
  const auto n = lf_count(list.size());
  gf_logf("{} liverie{} read from {}", n, gf_pluralS(n), gf_pathText(path));
  return ok;
}

void RegcodeFaults::log(const std::string& line) {
  if (++m_faults <= kLoggedRegcodeFaults) gf_logMarked(line);
}

void RegcodeFaults::finish() {
  if (m_faults <= kLoggedRegcodeFaults) return;
  const auto left = static_cast<std::int64_t>(m_faults - kLoggedRegcodeFaults);
  gf_logMarked(fmt::format("{} more fault{} in {} not logged", left, gf_pluralS(left), gf_pathText(m_file)));
  m_faults = 0;
}

bool lf_readRegcodeTextFile(const std::string& line, const std::filesystem::path& file,
                            std::list<RegcodeLivery>& list) {
  RegcodeFaults faults(file);
  const bool ok = lf_readRegcodeTextFile(line, faults, list);
  faults.finish();
  return ok;
}

bool lf_readRegcodeTextFile(const std::string& line, RegcodeFaults& faults, std::list<RegcodeLivery>& list) {
  if (line.empty()) return true;
  const std::string file = gf_pathText(faults.file());
  std::vector<std::string> fields = lf_fields(line);
  if (fields.size() == 1) {
    if (!fields[0].empty()) list.push_back({fields[0], {}, false});
    return true;
  }
  if (fields.size() > 3) {
    faults.log(fmt::format("{}: wrong format \"{}\"", file, gf_peerText(line)));
    return false;
  }
  const std::vector<std::string> codes = gf_splitToVector(fields[1], ',');
  if (codes.empty()) return true;
  if (codes.size() == 1) {
    if (fields[1].size() < 13) {
      list.push_back({fields[0], {codes[0]}, true});
      return true;
    }
    faults.log(fmt::format("wrong regcode length \"{}\" in {}", gf_peerText(fields[1]), file));
    return false;
  }
  bool ok = true;
  RegcodeLivery entry{fields[0], {}, fields.size() == 3 && fields[2] == "#"};
  for (const std::string& code : codes) {
    if (lf_checkRegcodeLength(code, faults))
      entry.regcodes.push_back(code);
    else
      ok = false;
  }
  if (entry.regcodes.empty()) {
    faults.log(fmt::format("{} ; regs empty? ", file));
    return ok;
  }
  list.push_back(std::move(entry));
  return ok;
}

bool lf_readRegcodeFolder(const std::filesystem::path& folder, std::list<RegcodeLivery>& list) {
  bool ok = true;
  try {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      if (gf_toUpper(gf_pathText(entry.path().extension())) != ".TXT") continue;
      gf_logf("Processing regcodes file \"{}\"", gf_pathText(entry.path()));
      // Encoding-aware: a byte-order mark or a UTF-16 file must not end up in the first title.
      std::vector<std::string> lines;
      gf_readTextFileLines(entry.path(), lines);
      RegcodeFaults faults(entry.path());
      for (std::string& line : lines) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!lf_readRegcodeTextFile(line, faults, list)) ok = false;
      }
      faults.finish();
    }
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("Error in reading regcode file {}, what: {}", gf_pathText(folder), e.what()));
    return false;
  }
  const auto n = lf_count(list.size());
  gf_logf("{} liverie{} read", n, gf_pluralS(n));
  return ok;
}

}  // namespace amb
