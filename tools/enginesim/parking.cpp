#include "enginesim/parking.hpp"

#include "core/geometry.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace amb::enginesim {

namespace {

void linkOverlaps(std::vector<Stand>& stands) {
  for (Stand& s : stands) s.overlapIds.clear();
  for (std::size_t i = 0; i < stands.size(); ++i)
    for (std::size_t k = i + 1; k < stands.size(); ++k) {
      Stand& a = stands[i];
      Stand& b = stands[k];
      if (gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}) < a.radiusNm + b.radiusNm) {
        a.overlapIds.push_back(b.id);
        b.overlapIds.push_back(a.id);
      }
    }
}

}  // namespace

std::vector<Stand> readParkingPositions(const std::filesystem::path& file) {
  pugi::xml_document doc;
  if (!doc.load_file(file.c_str())) throw std::runtime_error("cannot read the parking positions of " + file.string());
  std::vector<Stand> stands;
  for (pugi::xml_node p : doc.child("groundnet").child("parkingList").children("Parking")) {
    Stand s;
    s.id = p.attribute("index").as_uint() + 1;
    s.name = std::string(p.attribute("name").as_string()) + p.attribute("number").as_string();
    if (!parseGroundnetAngle(p.attribute("lat").as_string(), s.lat) ||
        !parseGroundnetAngle(p.attribute("lon").as_string(), s.lon))
      continue;
    s.heading = std::fmod(p.attribute("heading").as_double() + 360.0, 360.0) * kDegToRad;
    s.radiusNm = p.attribute("radius").as_double() / 1852.0;
    s.cargo = std::string(p.attribute("type").as_string()) == "cargo" ? 1 : 0;
    stands.push_back(std::move(s));
  }
  linkOverlaps(stands);
  return stands;
}

std::vector<Stand> standsNear(const std::vector<Stand>& stands, double latitude, double longitude, double nm) {
  std::vector<Stand> out;
  for (const Stand& s : stands)
    if (gf_distanceNm({latitude, longitude}, {s.lat, s.lon}) <= nm) out.push_back(s);
  for (Stand& s : out)
    std::erase_if(s.overlapIds, [&](std::uint32_t id) {
      return std::none_of(out.begin(), out.end(), [&](const Stand& o) { return o.id == id; });
    });
  return out;
}

}  // namespace amb::enginesim
