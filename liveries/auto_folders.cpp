#include "liveries/auto_folders.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "core/xml.hpp"
#include "platform/folders.hpp"
#include "settings/options.hpp"
#include "state/detection.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>

namespace amb {

namespace fs = std::filesystem;

namespace {

bool contains(const std::string& line, const char* text) { return line.find(text) != std::string::npos; }

bool hasPathKey(const std::string& line) {
  return (contains(line, "Path") || contains(line, "PATH") || contains(line, "path")) && contains(line, "=");
}

// The raw text after the first '=' of a line that hasPathKey accepted.
std::string valueAfterEquals(const std::string& line) { return line.substr(line.find('=') + 1); }

fs::path simFolder(const std::string& majorVersion) {
  return fs::path("Lockheed Martin") / ("Prepar3D v" + majorVersion);
}

// The section rule both files share: a start line hands the collected lines of the section before it
// to finish; lines before the first start are ignored, and the last section is finished at the end.
template <class IsStart, class Collect, class Finish>
void readSections(const std::vector<std::string>& lines, IsStart isStart, Collect collect, Finish finish) {
  bool inside = false;
  std::vector<std::string> collected;
  for (const auto& line : lines) {
    if (isStart(line)) {
      inside = true;
      for (const auto& c : collected) finish(c);
      collected.clear();
    } else if (inside && collect(line)) {
      collected.push_back(line);
    }
  }
  if (inside)
    for (const auto& c : collected) finish(c);
}

}  // namespace

fs::path lf_addOnsCfgPath(const std::string& majorVersion) {
  return gf_appDataFolder() / simFolder(majorVersion) / "add-ons.cfg";
}

fs::path lf_simObjectsCfgPath(const std::string& majorVersion) {
  const auto programData = platform::knownFolder(platform::KnownFolder::ProgramData);
  return programData.value_or(fs::path()) / simFolder(majorVersion) / "simobjects.cfg";
}

void lf_readAddOnXml(std::vector<std::string>& folders, const fs::path& packageFolder) {
  const fs::path file = packageFolder / "add-on.xml";
  std::error_code ec;
  if (!fs::exists(file, ec)) return;
  gf_log(fmt::format("   exploring {}", gf_pathText(file)));
  std::vector<std::string> lines;
  lines.reserve(4048);
  if (!gf_readTextFileLines(file, lines)) {
    gf_log(gf_pathText(file) + " not found!");
    return;
  }
  // The component's path stands on the line after the one naming the SimObjects category.
  bool nextIsPath = false;
  for (const auto& line : lines) {
    if (!nextIsPath) {
      nextIsPath = contains(line, "SimObjects") || contains(line, "SIMOBJECTS") ||
                   contains(line, "Simobjects") || contains(line, "simobjects");
      continue;
    }
    nextIsPath = false;
    const std::string path = gf_extractPath(line);
    if (path.empty() || contains(path, "Lights Reborn") || contains(path, "Aerosoft Geneva Professional"))
      continue;
    gf_log("      Simobjects found:" + path);
    // Packages name their components relative to their own folder ("<Path>SimObjects</Path>").
    const fs::path component = gf_simFolderTextToPath(path);
    folders.push_back(component.is_absolute() ? path : gf_pathText(packageFolder / component));
  }
}

void lf_readP3DAddOnsAircraft(std::vector<std::string>& folders) {
  const std::size_t before = folders.size();
  try {
    const fs::path file = lf_addOnsCfgPath(gf_simMajorVersion());
    gf_log(fmt::format("\nReading {} for AI add-on packages...", gf_pathText(file)));
    std::vector<std::string> lines;
    lines.reserve(4048);
    if (!gf_readTextFileLines(file, lines)) {
      gf_log(gf_pathText(file) + " not found!");
    } else {
      std::vector<std::string> packages;
      readSections(
          lines, [](const std::string& l) { return contains(l, "Package") || contains(l, "PACKAGE"); },
          [](const std::string& l) { return !contains(l, "Required") && !contains(l, "REQUIRED"); },
          [&](const std::string& l) {
            if (!hasPathKey(l)) return;
            const std::string raw = valueAfterEquals(l);
            gf_log("path found:" + raw);
            packages.push_back(gf_trim(raw));
          });
      for (const auto& package : packages) lf_readAddOnXml(folders, gf_simFolderTextToPath(package));
    }
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("sys error exception {} in {}, no AI add-on packages found", e.what(),
                             "lf_readP3DAddOnsAircraft"));
  }
  const auto found = static_cast<std::int64_t>(folders.size() - before);
  gf_log(fmt::format("{} AI add-on package{} found", found, gf_pluralS(found)));
}

void lf_readP3DSimObjectsCfg(std::vector<std::string>& folders) {
  const fs::path file = lf_simObjectsCfgPath(gf_simMajorVersion());
  if (!fs::exists(file)) return;
  gf_log(fmt::format("\nReading {} for AI add-on packages...", gf_pathText(file)));
  const std::size_t before = folders.size();
  std::vector<std::string> lines;
  lines.reserve(4048);
  if (!gf_readTextFileLines(file, lines)) {
    gf_log(gf_pathText(file) + " not found!");
  } else {
    static constexpr std::array<const char*, 10> kStockCategories = {
        "Airplanes", "Avatars", "Rotorcraft", "GroundVehicles", "Boats",
        "Animals",   "Misc",    "Submersible", "Weapons",       "Countermeasures"};
    readSections(
        lines, [](const std::string& l) { return contains(l, "Entry") || contains(l, "ENTRY"); },
        [](const std::string& l) { return !contains(l, "Title") && !contains(l, "Required"); },
        [&](const std::string& l) {
          if (!hasPathKey(l)) return;
          const std::string value = gf_trim(valueAfterEquals(l));
          if (!contains(l, "SimObjects")) {
            folders.push_back(value);
            return;
          }
          for (const char* stock : kStockCategories)
            if (contains(l, stock)) return;
          folders.push_back(gf_pathText(gf_simFolderTextToPath(SIM_INSTALL_PATH.value()) / gf_simFolderTextToPath(value)));
        });
  }
  gf_log(fmt::format("{} AI add-on packages found", folders.size() - before));
}

}  // namespace amb
