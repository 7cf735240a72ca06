#include "scan/scenery_lists.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "core/xml.hpp"
#include "platform/folders.hpp"
#include "scan/bgl.hpp"

#include <algorithm>
#include <cctype>

namespace amb {

namespace fs = std::filesystem;

namespace {

bool containsAny(const std::string& text, std::initializer_list<const char*> words) {
  return std::any_of(words.begin(), words.end(), [&](const char* w) { return text.find(w) != std::string::npos; });
}

// A block starts at a line whose trimmed text begins with "[Area", in any letter case. (A path
// that merely holds the letters "area" does not start one.)
bool isAreaStart(const std::string& line) {
  const std::string t = gf_trim(line);
  static constexpr std::string_view kStart = "[area";
  if (t.size() < kStart.size()) return false;
  for (std::size_t i = 0; i < kStart.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(t[i])) != kStart[i]) return false;
  return true;
}

struct AreaReader {
  const SceneryConfig& config;
  std::vector<std::string>& folders;
  std::vector<std::string> block;
  bool areaSeen = false;

  void lf_collectSceneryCfgLine(const std::string& line) {
    if (isAreaStart(line)) {
      areaSeen = true;
      if (!block.empty()) lf_handleSceneryArea();
      block.clear();
      return;
    }
    if (!areaSeen) return;
    if (containsAny(line, {"Required", "REQUIRED", "Title", "TITLE", "Layer", "LAYER"})) return;
    block.push_back(gf_trim(line));
  }

  static bool lf_checkAreaActive(const std::string& line) {
    return containsAny(line, {"Active", "ACTIVE", "active"}) && containsAny(line, {"True", "TRUE", "true"});
  }

  void lf_addAreaLocalFolder(const std::string& line) {
    if (!containsAny(line, {"Local", "LOCAL", "local"}) || lf_isStockScenery(line)) return;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return;
    const std::string text = gf_trim(line.substr(eq + 1));
    if (text.empty()) return;
    fs::path folder = gf_simFolderTextToPath(text);
    if (text.find(":\\") == std::string::npos && !folder.is_absolute()) folder = config.installPath / folder;
    if (lf_isInSimSceneryFolder(folder, config.stockScenery)) return;
    const std::string folderText = gf_pathText(folder);
    gf_log("      found:" + folderText);
    folders.push_back(folderText);
  }

  void lf_handleSceneryArea() {
    if (!std::any_of(block.begin(), block.end(), lf_checkAreaActive)) return;
    for (const std::string& line : block) lf_addAreaLocalFolder(line);
  }
};

}  // namespace

fs::path gf_simProgramDataFolder(const std::string& majorVersion) {
  const std::optional<fs::path> programData = platform::knownFolder(platform::KnownFolder::ProgramData);
  if (!programData) return {};
  return *programData / "Lockheed Martin" / ("Prepar3D v" + majorVersion);
}

void lf_readSceneryCfg(const SceneryConfig& config, std::vector<std::string>& folders) {
  const fs::path file = config.programData / "scenery.cfg";
  gf_log("\nReading: " + gf_pathText(file) + " for airport add-ons ...");
  const std::size_t before = folders.size();
  std::vector<std::string> lines;
  lines.reserve(4048);
  if (!gf_readTextFileLines(file, lines)) {
    gf_log(gf_pathText(file) + " not found!");
  } else {
    AreaReader reader{config, folders, {}, false};
    for (const std::string& line : lines) reader.lf_collectSceneryCfgLine(line);
    if (reader.areaSeen && !reader.block.empty()) reader.lf_handleSceneryArea();
  }
  gf_logf("{} scenery add-on paths found\n", folders.size() - before);
}

void lf_readSceneryAddOnsXml(const SceneryConfig& config, std::vector<std::string>& folders) {
  const fs::path file = config.programData / "scenery_add-ons.xml";
  gf_log("\nReading " + gf_pathText(file) + " for add-on airport ...");
  const std::size_t before = folders.size();
  std::vector<std::string> lines;
  lines.reserve(4048);
  if (!gf_readTextFileLines(file, lines)) {
    gf_log(gf_pathText(file) + " not found!");
  } else {
    for (const std::string& line : lines) {
      const std::string path = gf_extractPath(line);
      if (path.empty()) continue;
      gf_log("found path:" + path);
      folders.push_back(path);
    }
  }
  gf_logf("{} scenery add-on paths found\n", folders.size() - before);
}

}  // namespace amb
