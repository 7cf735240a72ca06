#include "airportgen/airportgen.hpp"

#include "enginesim/parking.hpp"
#include "tracemap/tracemap.hpp"

#include <pugixml.hpp>
#include <zlib.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <stdexcept>

namespace amb::airportgen {

using tracemap::splitCsvLine;

std::vector<std::string> readGzipLines(const std::filesystem::path& file) {
  gzFile gz = gzopen(file.string().c_str(), "rb");
  if (gz == nullptr) throw std::runtime_error("cannot read " + file.string());
  std::string text;
  char buffer[1 << 16];
  int n = 0;
  while ((n = gzread(gz, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  const bool failed = n < 0;
  gzclose(gz);
  if (failed) throw std::runtime_error("cannot read " + file.string());
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

namespace {

// Column indices of the header's names.
std::map<std::string, std::size_t> columns(const std::string& header) {
  std::map<std::string, std::size_t> out;
  const auto names = splitCsvLine(header);
  for (std::size_t i = 0; i < names.size(); ++i) out[names[i]] = i;
  return out;
}

std::string field(const std::vector<std::string>& f, const std::map<std::string, std::size_t>& c, const char* name) {
  const auto it = c.find(name);
  if (it == c.end()) throw std::runtime_error(std::string("no column ") + name);
  return it->second < f.size() ? f[it->second] : std::string();
}

bool number(const std::string& text, double& out) {
  if (text.empty()) return false;
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return *end == '\0' && std::isfinite(out);
}

}  // namespace

std::vector<AirportData> readOurAirports(const std::filesystem::path& airportsCsv, const std::filesystem::path& runwaysCsv) {
  std::vector<AirportData> out;
  std::set<std::string> codes;
  const auto airportLines = readGzipLines(airportsCsv);
  if (airportLines.empty()) throw std::runtime_error("empty " + airportsCsv.string());
  const auto ac = columns(airportLines.front());
  std::set<std::string> idents;
  for (std::size_t i = 1; i < airportLines.size(); ++i) {
    if (airportLines[i].empty()) continue;
    const auto f = splitCsvLine(airportLines[i]);
    AirportData a;
    const std::string ident = field(f, ac, "ident");
    a.code = field(f, ac, "gps_code").empty() ? ident : field(f, ac, "gps_code");
    a.iata = field(f, ac, "iata_code");
    if (!number(field(f, ac, "latitude_deg"), a.lat) || !number(field(f, ac, "longitude_deg"), a.lon)) continue;
    if (!number(field(f, ac, "elevation_ft"), a.alt)) a.alt = 0;
    idents.insert(ident);
    if (a.code.empty() || !codes.insert(a.code).second) continue;
    out.push_back(std::move(a));
  }

  // The other airports by the ends of their runways.
  struct Sum {
    double lat = 0, lon = 0, alt = 0;
    int points = 0, alts = 0;
  };
  std::map<std::string, Sum> sums;
  std::vector<std::string> order;
  const auto runwayLines = readGzipLines(runwaysCsv);
  if (runwayLines.empty()) throw std::runtime_error("empty " + runwaysCsv.string());
  const auto rc = columns(runwayLines.front());
  for (std::size_t i = 1; i < runwayLines.size(); ++i) {
    if (runwayLines[i].empty()) continue;
    const auto f = splitCsvLine(runwayLines[i]);
    const std::string ident = field(f, rc, "airport_ident");
    if (ident.empty() || idents.count(ident) != 0 || codes.count(ident) != 0) continue;
    auto [it, added] = sums.try_emplace(ident);
    if (added) order.push_back(ident);
    for (const char* end : {"le", "he"}) {
      double lat = 0, lon = 0, alt = 0;
      if (number(field(f, rc, (std::string(end) + "_latitude_deg").c_str()), lat) &&
          number(field(f, rc, (std::string(end) + "_longitude_deg").c_str()), lon)) {
        it->second.lat += lat;
        it->second.lon += lon;
        ++it->second.points;
      }
      if (number(field(f, rc, (std::string(end) + "_elevation_ft").c_str()), alt)) {
        it->second.alt += alt;
        ++it->second.alts;
      }
    }
  }
  for (const std::string& ident : order) {
    const Sum& s = sums[ident];
    if (s.points == 0) continue;
    out.push_back({ident, "", s.lat / s.points, s.lon / s.points, s.alts > 0 ? std::round(s.alt / s.alts) : 0.0});
  }
  return out;
}

std::string airportListXml(const std::vector<AirportData>& airports) {
  pugi::xml_document doc;
  pugi::xml_node root = doc.append_child("airports");
  char text[32];
  for (const AirportData& a : airports) {
    pugi::xml_node n = root.append_child("airport");
    n.append_attribute("code") = a.code.c_str();
    n.append_attribute("iata") = a.iata.c_str();
    std::snprintf(text, sizeof text, "%.6f", a.lat);
    n.append_attribute("lat") = text;
    std::snprintf(text, sizeof text, "%.6f", a.lon);
    n.append_attribute("lon") = text;
    std::snprintf(text, sizeof text, "%.0f", a.alt);
    n.append_attribute("alt") = text;
  }
  std::ostringstream out;
  doc.save(out);
  return out.str();
}

std::vector<AirportData> syntheticAirports(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> lat(-80.0, 80.0), lon(-180.0, 180.0), alt(-50.0, 9000.0);
  std::vector<AirportData> out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) out.push_back({"Z" + std::to_string(100000 + i), "", lat(rng), lon(rng), std::round(alt(rng))});
  return out;
}

std::vector<Stand> syntheticStands(std::size_t n, std::size_t options, double lat, double lon, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> radius(20.0, 40.0);
  std::uniform_int_distribution<int> day(1, 7), half(0, 47), airline(0, 9);
  static const char* const airlines[] = {"DAL", "AAL", "UAL", "JBU", "BAW", "DLH", "AFR", "KLM", "SWA", "FDX"};
  static const char* const types[] = {"B738", "A320", "B77W", "A321", "E190", "B763", "A333", "B739", "CRJ9", "MD11"};
  std::vector<Stand> out;
  out.reserve(n);
  const std::size_t perRow = 40;
  for (std::size_t i = 0; i < n; ++i) {
    // 100 m apart along a row, rows 150 m apart.
    const double dLat = static_cast<double>(i / perRow) * 150.0 / 1852.0 / 60.0;
    const double dLon = static_cast<double>(i % perRow) * 100.0 / 1852.0 / 60.0 / std::cos(lat * 0.017453292519943295);
    std::vector<ParkPosOption> opts;
    for (std::size_t k = 0; k < options; ++k) {
      const int a = airline(rng);
      const std::uint64_t bits = (std::uint64_t{1} << half(rng)) | (std::uint64_t{1} << half(rng));
      opts.push_back({airlines[a], types[a], "", std::string(airlines[a]) + std::to_string(100 + k), "", bits,
                      static_cast<std::uint32_t>(k + 1), static_cast<std::uint32_t>(day(rng)), 0,
                      static_cast<std::uint32_t>(k % 5 == 4 ? 0 : 1)});
    }
    out.emplace_back("S" + std::to_string(i + 1), std::move(opts), StandPosition{lat + dLat, lon + dLon, 1.0},
                     radius(rng), 1, 1, 1);
  }
  return out;
}

std::vector<Stand> groundnetStands(const std::filesystem::path& file) {
  std::vector<Stand> out;
  std::set<std::string> names;
  for (const Stand& s : enginesim::readParkingPositions(file)) {
    // A name an earlier stand already has gets the first free letter: an airport file names each
    // stand once.
    std::string name = s.name;
    for (char letter = 'a'; names.count(name) != 0 && letter <= 'z'; ++letter) name = s.name + letter;
    names.insert(name);
    out.emplace_back(name, std::vector<ParkPosOption>{}, StandPosition{s.lat, s.lon, s.heading}, s.radiusNm * 1852.0,
                     s.cargo != 0 ? 0 : 1, 1, 1);
  }
  return out;
}

}  // namespace amb::airportgen
