#pragma once
// A handler that keeps what a BGL decode hands on, and small builders of synthetic airports.

#include "bglgen/bglgen.hpp"
#include "scan/bgl.hpp"
#include "state/scan_log.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace amb::test {

struct Collected : BglAirportHandler {
  bool whole = true;  // the walk reached the end of the file
  std::vector<std::string> found;
  std::vector<BglAirport> airports;
  void airportFound(const std::string& ident) override { found.push_back(ident); }
  void airportDecoded(BglAirport& airport) override { airports.push_back(airport); }
};

// Decodes the bytes; the scan log starts empty.
inline Collected decode(const std::vector<std::uint8_t>& bytes, const std::string& path = "x.bgl") {
  gf_takeScanLogLines();
  Collected c;
  gf_decodeBgl(bytes, path, c);
  const std::vector<std::string> lines = gf_scanLogLines();
  c.whole = std::none_of(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.starts_with("===> " + path + " is damaged, read no further: ");
  });
  return c;
}

inline Collected decode(const bglgen::Airport& airport) { return decode(bglgen::build(airport)); }

inline bglgen::Parking spot(std::uint8_t code, std::uint16_t number, float radius, double lat = 51.47,
                            double lon = -0.45, std::uint8_t type = 8) {
  bglgen::Parking p;
  p.nameCode = code;
  p.number = number;
  p.radiusM = radius;
  p.latitude = lat;
  p.longitude = lon;
  p.type = type;
  return p;
}

}  // namespace amb::test
