// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "ailibgen/ailibgen.hpp"

#include "dbgen/dbgen.hpp"
#include "tracemap/tracemap.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>

namespace amb::ailibgen {

namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

bool isTypeCode(const std::string& s) {
  static const std::regex code("^[A-Z][A-Z0-9]{1,3}$");
  return std::regex_match(s, code);
}

// The texture folder's key of a livery: its title without the common part.
std::string textureKey(const std::string& type, const Livery& livery) {
  return liveryTitle(type, livery).substr(std::string("Ambertrail AI ").size() + type.size() + 1);
}

}  // namespace

std::string liveryTitle(const std::string& type, const Livery& livery) {
  const std::string base = "Ambertrail AI " + type + " ";
  if (livery.airline.empty()) return base + "private";
  if (livery.special) return base + livery.airline + " " + livery.fleet.front();
  if (livery.retired) return base + livery.airline + " retired";
  return base + livery.airline + (livery.cargo ? " cargo" : "");
}

Library fromRecording(const fs::path& recording, const std::set<std::string>& cargoAirlines) {
  static const std::regex airlineCallsign("^[A-Z]{3}[0-9][0-9A-Z]*$");
  // type -> airline -> registrations in the order first seen
  std::map<std::string, std::map<std::string, std::vector<std::string>>> seen;
  for (const auto& line : dbgen::readTextLines(recording)) {
    const auto f = tracemap::splitCsvLine(line);
    if (f.size() < 29 || f[0] != "RTTFC" || !isTypeCode(f[10])) continue;
    const std::string airline = std::regex_match(f[9], airlineCallsign) ? f[9].substr(0, 3) : std::string();
    auto& fleet = seen[f[10]][airline];
    // Registrations the data base can hold, as many as the registration-code files take.
    const std::string& reg = f[11];
    if (reg.size() >= 3 && reg.size() <= 12 && dbgen::isKeyedPlain(reg) &&
        std::find(fleet.begin(), fleet.end(), reg) == fleet.end())
      fleet.push_back(reg);
  }
  Library library;
  for (const auto& [type, airlines] : seen) {
    auto& liveries = library[type];
    for (const auto& [airline, fleet] : airlines) {
      if (airline.empty()) continue;
      liveries.push_back({airline, fleet.empty() ? std::string() : fleet.front(), false, false, false, fleet});
      if (cargoAirlines.count(airline) != 0) liveries.push_back({airline, "", true, false, false, {}});
      if (fleet.size() >= 2) liveries.push_back({airline, "", false, true, false, {fleet[1]}});
      if (fleet.size() >= 3) liveries.push_back({airline, "", false, false, true, {}});
    }
    liveries.push_back({"", "", false, false, false, {}});
  }
  return library;
}

RegcodeFiles regcodeFiles(const Library& library) {
  std::set<std::string> airlines;
  for (const auto& [type, liveries] : library)
    for (const auto& livery : liveries)
      if (!livery.airline.empty()) airlines.insert(livery.airline);
  const auto downloaded = [&airlines](const std::string& airline) {
    return std::distance(airlines.begin(), airlines.find(airline)) % 2 == 0;
  };
  RegcodeFiles files;
  for (const auto& [type, liveries] : library)
    for (const auto& livery : liveries) {
      if (livery.airline.empty() || livery.cargo) continue;
      const std::string title = liveryTitle(type, livery);
      // Ordinary liveries: the fleet beyond the in-line registration and the special livery's one.
      std::vector<std::string> codes = livery.special ? livery.fleet : std::vector<std::string>{};
      if (!livery.special && !livery.retired && livery.fleet.size() > 2)
        codes.assign(livery.fleet.begin() + 2, livery.fleet.end());
      if (!livery.special && !livery.retired && codes.empty()) continue;
      if (downloaded(livery.airline)) {
        files.download.push_back({title, codes, livery.special});
        continue;
      }
      // One code in a user's line makes the livery special: an ordinary livery needs two or more.
      if (!livery.special && codes.size() == 1) continue;
      std::string line = title;
      for (std::size_t i = 0; i < codes.size(); ++i) line += (i == 0 ? ";" : ",") + codes[i];
      files.userLines.push_back(std::move(line));
    }
  return files;
}

std::size_t writePackage(const Library& library, const fs::path& package) {
  std::size_t count = 0;
  write(package / "add-on.xml",
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<SimBase.Document Type=\"AddOnXml\" version=\"4,0\" id=\"AddOnXml\">\n"
        "  <AddOn.Name>Ambertrail AI</AddOn.Name>\n"
        "  <AddOn.Component>\n"
        "    <Category>SimObjects</Category>\n"
        "    <Path>SimObjects</Path>\n"
        "  </AddOn.Component>\n"
        "</SimBase.Document>\n");
  for (const auto& [type, liveries] : library) {
    const fs::path folder = package / "SimObjects" / ("Ambertrail_" + type);
    fs::create_directories(folder / "model");
    write(folder / (type + ".air"), "");
    std::string cfg = "// Generated AI aircraft for the Ambertrail tests and main job\n\n";
    int n = 0;
    for (const auto& livery : liveries) {
      const std::string texture = textureKey(type, livery);
      fs::create_directories(folder / ("texture." + texture));
      cfg += fmt::format("[fltsim.{}]\ntitle={}\nsim={}\nmodel=\ntexture={}\n", n++, liveryTitle(type, livery), type,
                         texture);
      if (!livery.airline.empty()) cfg += "atc_parking_codes=" + livery.airline + "\n";
      cfg += std::string("atc_parking_types=") + (livery.cargo ? "CARGO" : "GATE") + "\n";
      if (!livery.registration.empty()) cfg += "atc_id=" + livery.registration + "\n";
      cfg += "\n";
      ++count;
    }
    cfg += "[General]\natc_type=AMBERTRAIL\natc_model=" + type + "\n";
    write(folder / "aircraft.cfg", cfg);
  }
  return count;
}

void registerPackage(const fs::path& appData, const std::string& simMajorVersion, const fs::path& package) {
  write(appData / "Lockheed Martin" / ("Prepar3D v" + simMajorVersion) / "add-ons.cfg",
        "[Package.0]\nPATH=" + package.string() + "\nTITLE=Ambertrail AI\nACTIVE=true\nREQUIRED=false\n");
}

}  // namespace amb::ailibgen
