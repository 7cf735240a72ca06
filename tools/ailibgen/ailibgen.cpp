// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "ailibgen/ailibgen.hpp"

#include "dbgen/dbgen.hpp"
#include "tracemap/tracemap.hpp"

#include <fmt/format.h>

#include <fstream>
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

std::string title(const std::string& type, const Livery& livery) {
  if (livery.airline.empty()) return "Ambertrail AI " + type + " private";
  return "Ambertrail AI " + type + " " + livery.airline + (livery.cargo ? " cargo" : "");
}

}  // namespace

Library fromRecording(const fs::path& recording, const std::set<std::string>& cargoAirlines) {
  static const std::regex airlineCallsign("^[A-Z]{3}[0-9][0-9A-Z]*$");
  std::map<std::string, std::map<std::string, std::string>> seen;  // type -> airline -> registration
  for (const auto& line : dbgen::readTextLines(recording)) {
    const auto f = tracemap::splitCsvLine(line);
    if (f.size() < 29 || f[0] != "RTTFC" || !isTypeCode(f[10])) continue;
    const std::string airline = std::regex_match(f[9], airlineCallsign) ? f[9].substr(0, 3) : std::string();
    auto& registration = seen[f[10]][airline];
    if (registration.empty()) registration = f[11];
  }
  Library library;
  for (const auto& [type, airlines] : seen) {
    auto& liveries = library[type];
    for (const auto& [airline, registration] : airlines) {
      if (airline.empty()) continue;
      liveries.push_back({airline, registration, false});
      if (cargoAirlines.count(airline) != 0) liveries.push_back({airline, "", true});
    }
    liveries.push_back({"", "", false});
  }
  return library;
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
      const std::string texture = livery.airline.empty() ? "PVT" : livery.airline + (livery.cargo ? "_cargo" : "");
      fs::create_directories(folder / ("texture." + texture));
      cfg += fmt::format("[fltsim.{}]\ntitle={}\nsim={}\nmodel=\ntexture={}\n", n++, title(type, livery), type,
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
