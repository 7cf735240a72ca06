// The airport list "airports_p3d.xml" of the input folder: read once into g_airports, sorted by code.

#include "airports/services.hpp"

#include "core/geometry.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

namespace amb {

std::vector<AirportData> g_airports;
std::uint8_t g_airportsRead = 0;

namespace {

// The list's airports by latitude and by code, as their places in g_airports. A search by position
// looks only at the band of latitude its distance allows, a search by code only at that code: the
// whole list (some 44,000 airports) took a tenth of a millisecond, and the engine asks for the field
// near an aircraft coming in to land, and for the one it is bound for, several times a second. An
// airport without a finite latitude is near nothing and is left out, as one without an IATA code is
// from that order. Equals keep the list's order. Built whenever the list is read or set; a list
// changed behind it (another size or another buffer) is searched whole.
std::vector<std::uint32_t> g_byLatitude;
std::vector<std::uint32_t> g_byCode;
std::vector<std::uint32_t> g_byIata;
const AirportData* g_indexedData = nullptr;
std::size_t g_indexedSize = 0;

void lf_forgetIndex() {
  g_byLatitude.clear();
  g_byCode.clear();
  g_byIata.clear();
  g_indexedData = nullptr;
  g_indexedSize = 0;
}

bool lf_indexed() { return g_indexedData == g_airports.data() && g_indexedSize == g_airports.size(); }

// The first place in the list whose `field` is this code, through its order; the list's size when none.
std::size_t lf_firstWith(const std::vector<std::uint32_t>& order, std::string AirportData::*field,
                         const std::string& code) {
  const auto it = std::lower_bound(order.begin(), order.end(), code,
                                   [&](std::uint32_t i, const std::string& c) { return g_airports[i].*field < c; });
  return it != order.end() && g_airports[*it].*field == code ? *it : g_airports.size();
}

// Calls `visit` with each airport of the list within `minutes` of latitude of `lat` (arc-minutes,
// one a nautical mile), in the order of the list: the searches keep the first or the last of equals,
// and the neighbour an airport met earlier.
template <typename Visit>
void lf_withinLatitude(double lat, double minutes, Visit&& visit) {
  const auto away = [&](const AirportData& a) { return std::fabs(a.lat - lat) * 60.0 > minutes; };
  if (!lf_indexed() || !std::isfinite(lat) || !std::isfinite(minutes)) {
    for (const AirportData& a : g_airports)
      if (!away(a)) visit(a);
    return;
  }
  // A little wider than the band: the test above decides, rounded as it rounds.
  constexpr double kSlackDeg = 1e-9;
  const double from = lat - minutes / 60.0 - kSlackDeg;
  const double to = lat + minutes / 60.0 + kSlackDeg;
  const auto first = std::lower_bound(g_byLatitude.begin(), g_byLatitude.end(), from,
                                      [](std::uint32_t i, double v) { return g_airports[i].lat < v; });
  const auto last =
      std::upper_bound(first, g_byLatitude.end(), to, [](double v, std::uint32_t i) { return v < g_airports[i].lat; });
  thread_local std::vector<std::uint32_t> band;
  band.assign(first, last);
  std::sort(band.begin(), band.end());
  for (const std::uint32_t i : band)
    if (!away(g_airports[i])) visit(g_airports[i]);
}

void lf_indexAirportList() {
  lf_forgetIndex();
  if (g_airports.size() > std::numeric_limits<std::uint32_t>::max()) return;
  g_byLatitude.reserve(g_airports.size());
  g_byCode.reserve(g_airports.size());
  for (std::uint32_t i = 0; i < g_airports.size(); ++i) {
    if (std::isfinite(g_airports[i].lat)) g_byLatitude.push_back(i);
    g_byCode.push_back(i);
    if (!g_airports[i].iata.empty()) g_byIata.push_back(i);
  }
  std::stable_sort(g_byLatitude.begin(), g_byLatitude.end(),
                   [](std::uint32_t x, std::uint32_t y) { return g_airports[x].lat < g_airports[y].lat; });
  std::stable_sort(g_byCode.begin(), g_byCode.end(),
                   [](std::uint32_t x, std::uint32_t y) { return g_airports[x].code < g_airports[y].code; });
  std::stable_sort(g_byIata.begin(), g_byIata.end(),
                   [](std::uint32_t x, std::uint32_t y) { return g_airports[x].iata < g_airports[y].iata; });
  g_indexedData = g_airports.data();
  g_indexedSize = g_airports.size();
}

}  // namespace

void gf_setAirportList(std::vector<AirportData> airports) {
  g_airports = std::move(airports);
  lf_indexAirportList();
}

double gf_stod(const std::string& text) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const double v = std::strtod(begin, &end);
  if (end == begin) throw std::invalid_argument("invalid stod argument");
  if (errno == ERANGE && (v == HUGE_VAL || v == -HUGE_VAL || v == 0.0)) throw std::out_of_range("stod argument out of range");
  return v;
}

void lf_readAirportNode(const pugi::xml_node& airport, const std::string& code) {
  const double alt = gf_stod(airport.attribute("alt").as_string());
  const double lat = gf_stod(airport.attribute("lat").as_string());
  const double lon = gf_stod(airport.attribute("lon").as_string());
  g_airports.push_back({code, airport.attribute("iata").as_string(), lat, lon, alt});
}

bool lf_readAirports() {
  if (g_airportsRead != 0) return !g_airports.empty();
  // A list that failed half-way is read again from its start, never appended to.
  lf_forgetIndex();
  g_airports.clear();
  if (g_airports.capacity() < 44000) g_airports.reserve(44000);
  const std::filesystem::path file = g_inputFolder / "airports_p3d.xml";
  try {
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(file.c_str());
    if (!result) throw std::runtime_error(fmt::format("{} not loaded {}", gf_pathText(file), result.description()));
    const pugi::xml_node root = doc.child("airports");
    if (!root) throw std::runtime_error(gf_pathText(file) + " not found");
    for (pugi::xml_node a : root.children("airport")) lf_readAirportNode(a, a.attribute("code").as_string());
    std::sort(g_airports.begin(), g_airports.end(),
              [](const AirportData& x, const AirportData& y) { return x.code < y.code; });
    gf_logf("{} airports read from \"{}\"", g_airports.size(), gf_pathText(file));
  } catch (const pugi::xpath_exception& e) {
    throw UserErrorException(87, e.what());
  } catch (const UserErrorException&) {
    throw;
  } catch (const std::exception& e) {
    throw UserErrorException(88, e.what());
  }
  g_airports.shrink_to_fit();
  lf_indexAirportList();
  g_airportsRead = 1;
  return !g_airports.empty();
}

std::optional<AirportData> gf_findAirport(const std::string& code) {
  if (lf_indexed()) {
    const std::size_t first = lf_firstWith(g_byCode, &AirportData::code, code);
    if (first == g_airports.size()) return std::nullopt;
    return g_airports[first];
  }
  for (const AirportData& a : g_airports)
    if (a.code == code) return a;
  return std::nullopt;
}

std::optional<AirportData> gf_airportNear(const LatLon& position, double withinNm) {
  const AirportData* nearest = nullptr;
  double best = withinNm;
  // One arc-minute of latitude is one nautical mile.
  lf_withinLatitude(position.lat, withinNm, [&](const AirportData& a) {
    const double d = gf_distanceNm(position, {a.lat, a.lon});
    if (d <= best) {
      best = d;
      nearest = &a;
    }
  });
  if (nearest == nullptr) return std::nullopt;
  return *nearest;
}

std::optional<AirportData> gf_airportCalled(const std::string& code) {
  if (code.empty()) return std::nullopt;
  if (!lf_indexed()) {
    for (const AirportData& a : g_airports)
      if (a.iata == code || a.code == code) return a;
    return std::nullopt;
  }
  const std::size_t first =
      std::min(lf_firstWith(g_byIata, &AirportData::iata, code), lf_firstWith(g_byCode, &AirportData::code, code));
  if (first == g_airports.size()) return std::nullopt;
  return g_airports[first];
}

std::optional<AirportData> gf_closestAirport(const LatLon& position) {
  const AirportData* closest = nullptr;
  const AirportData* neighbour = nullptr;
  double best = 100.0;
  // One arc-minute is one nautical mile: an airport more than 5 minutes of latitude away is out of
  // reach, whatever its longitude.
  lf_withinLatitude(position.lat, 5.000001, [&](const AirportData& a) {
    const double d = gf_distanceNm(position, {a.lat, a.lon});
    if (d <= 5.0 && d < best) {
      best = d;
      if (closest != nullptr) neighbour = closest;
      closest = &a;
    }
  });
  if (closest == nullptr) return std::nullopt;
  if (neighbour == nullptr) return *closest;
  gf_logf("Airport {} is closest, neighbour is {}", closest->code, neighbour->code);
  std::string closestStand, neighbourStand;
  const double closestNm = gf_readDestApfForClosestStand(closest->code, position, closestStand);
  const double neighbourNm = gf_readDestApfForClosestStand(neighbour->code, position, neighbourStand);
  if (neighbourNm >= closestNm) return *closest;
  gf_logf("Airport {} is closest, but stand {} at neighbouring airport {} is closest at {:.0F} meters ...",
          closest->code, neighbourStand, neighbour->code, neighbourNm * 1852.0);
  return *neighbour;
}

void gf_resetAirportList() {
  lf_forgetIndex();
  g_airports.clear();
  g_airports.shrink_to_fit();
  g_airportsRead = 0;
}

}  // namespace amb
