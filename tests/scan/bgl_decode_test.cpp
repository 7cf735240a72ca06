// Decoding synthetic scenery files: what becomes of each field, and which spots and helipads are
// refused with which scan-log line.

#include "scan_support.hpp"

#include <cmath>
#include <limits>
#include <map>
#include <tuple>
#include <numbers>

namespace amb::test {
namespace {

using bglgen::Airport;
using bglgen::Helipad;
using Lines = std::vector<std::string>;

std::vector<std::string> names(const BglAirport& a) {
  std::vector<std::string> out;
  for (const BglStand& s : a.stands) out.push_back(s.name);
  return out;
}

TEST(BglDecode, IdentsThatAreNotFourCharactersWithoutBlanksAreSkippedSilently) {
  bool valid = false;
  EXPECT_EQ(lf_decodeIdentifierOrRegionCode(bglgen::packIdent("EGLL"), valid), "EGLL");
  EXPECT_TRUE(valid);
  EXPECT_EQ(lf_decodeIdentifierOrRegionCode(0x01B9D120, valid), "EGLL");
  EXPECT_EQ(lf_decodeIdentifierOrRegionCode(bglgen::packIdent("K9Z1") | 0x1F, valid), "K9Z1");
  EXPECT_TRUE(valid);
  lf_decodeIdentifierOrRegionCode(bglgen::packIdent("KJF"), valid);
  EXPECT_FALSE(valid);
  EXPECT_EQ(lf_decodeIdentifierOrRegionCode(37u << 5, valid), "");
  EXPECT_FALSE(valid);
  // A zero digit inside is a blank.
  EXPECT_EQ(lf_decodeIdentifierOrRegionCode(((23u * 38 + 0) * 38 * 38 + 12) << 5, valid), "L  A");
  EXPECT_FALSE(valid);

  bglgen::File f;
  for (const std::uint32_t value : {0u, bglgen::packIdent("ABC"), bglgen::packIdent("ABCDE"), bglgen::packIdent("EDDF")}) {
    Airport a;
    a.identValue = value;
    a.parkings.push_back(spot(10, 1, 20));
    f.sections[0].airports.push_back(a);
  }
  const Collected c = decode(bglgen::build(f));
  EXPECT_EQ(c.found, Lines{"EDDF"});
  ASSERT_EQ(c.airports.size(), 1u);
  EXPECT_TRUE(gf_scanLogLines().empty());
}

TEST(BglDecode, AltitudeKeptInThePlausibleRangeElseZero) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {
      {-5000, -16}, {3048000, 10000}, {3048400, 10001}, {4053840, 13300},  // a real airport above 10000 ft
      {-457200, -1500}, {-457500, 0},  {4876800, 16000}, {4877100, 0}};
  for (const auto& [mm, feet] : cases) {
    Airport a;
    a.altitudeMm = mm;
    const Collected c = decode(a);
    ASSERT_EQ(c.airports.size(), 1u);
    EXPECT_EQ(c.airports[0].altitudeFt, feet) << mm;
  }
}

TEST(BglDecode, ParkingSpotFields) {
  Airport a;
  a.parkings = {spot(10, 12, 20, 51.4775, -0.461389, 8),  // gate g12
                spot(12, 3, 20, 51.48, -0.46, 5),         // "A3", cargo ramp
                spot(11, 7, 20, 51.49, -0.46, 11),        // digits only, not a ramp
                spot(1, 4, 20, 51.50, -0.46, 1),          // "r4", ramp
                spot(2, 9, 20, 51.51, -0.46, 12),         // type 12 and 0: not stands, no line
                spot(2, 9, 20, 51.51, -0.46, 0)};
  a.parkings[0].headingDeg = 0;
  a.parkings[1].headingDeg = 90;
  const Collected c = decode(a);
  ASSERT_EQ(c.airports.size(), 1u);
  const auto& s = c.airports[0].stands;
  EXPECT_EQ(names(c.airports[0]), (Lines{"g12", "A3", "7", "r4"}));
  EXPECT_NEAR(s[0].latitude, 51.4775, 1e-6);
  EXPECT_NEAR(s[0].longitude, -0.461389, 1e-6);
  EXPECT_DOUBLE_EQ(s[0].heading, 2 * std::numbers::pi);
  EXPECT_NEAR(s[1].heading, std::numbers::pi / 2, 1e-9);
  EXPECT_EQ(std::tuple(s[0].cargo, s[0].ramp), std::tuple(false, false));
  EXPECT_EQ(std::tuple(s[1].cargo, s[1].ramp), std::tuple(true, true));
  EXPECT_EQ(std::tuple(s[2].cargo, s[2].ramp), std::tuple(false, false));
  EXPECT_EQ(std::tuple(s[3].cargo, s[3].ramp), std::tuple(false, true));
  EXPECT_TRUE(gf_scanLogLines().empty());
}

TEST(BglDecode, RadiusBoundsAndBadPositionsAreSkippedWithTheirLines) {
  Airport a;
  a.parkings = {spot(10, 1, 1.0f),   spot(10, 2, 1.1f),     spot(10, 3, 199.9f), spot(10, 4, 200.0f),
                spot(10, 5, std::numeric_limits<float>::quiet_NaN()), spot(10, 6, std::numeric_limits<float>::infinity()),
                spot(10, 7, 20, 0.0005, 0.01), spot(10, 8, 20, 0.0, 0.0)};
  const Collected c = decode(bglgen::build(a), "D:/Scenery/EGLL.bgl");
  ASSERT_EQ(c.airports.size(), 1u);
  EXPECT_EQ(names(c.airports[0]), (Lines{"g2", "g3"}));
  EXPECT_EQ(gf_scanLogLines(), (Lines{"skipped position with radius 1.0 meters, in D:/Scenery/EGLL.bgl",
                                      "skipped position with radius 200.0 meters, in D:/Scenery/EGLL.bgl",
                                      "skipped position with radius NAN meters, in D:/Scenery/EGLL.bgl",
                                      "skipped position with radius INF meters, in D:/Scenery/EGLL.bgl",
                                      "lat/lon: 0.000500,0.010000, incorrect (skipped) ",
                                      "lat/lon: 0.000000,0.000000, incorrect (skipped) "}));
}

TEST(BglDecode, DuplicateNamesAreLetteredLargestFirstAndAnEighthIsDropped) {
  Airport a;
  for (int r = 10; r <= 80; r += 10) a.parkings.push_back(spot(2, 5, static_cast<float>(r)));
  a.parkings.push_back(spot(10, 1, 30));
  a.parkings.push_back(spot(10, 1, 50));  // a second group, found in the other order
  const Collected c = decode(bglgen::build(a), "x.bgl");
  ASSERT_EQ(c.airports.size(), 1u);
  std::map<std::string, double> radius;
  for (const BglStand& s : c.airports[0].stands) {
    radius[s.name] = s.radiusM;
    EXPECT_FALSE(s.nameClash) << s.name;
  }
  EXPECT_EQ(radius, (std::map<std::string, double>{{"p5", 70}, {"p5a", 60}, {"p5b", 50}, {"p5c", 40}, {"p5d", 30},
                                                   {"p5e", 20}, {"p5f", 10}, {"g1", 50}, {"g1a", 30}}));
  EXPECT_EQ(gf_scanLogLines(), Lines{"===> Warning more then 6 the same ids p5, in x.bgl"});
}

TEST(BglDecode, HelipadsAreNumberedPerAirportAndTheSecondAtOnePlaceIsSkipped) {
  Airport a;
  a.names = {"Heli Field"};
  a.helipads = {Helipad{51.1, 1.1, 30, 45}, Helipad{51.2, 1.2, 16, 0}, Helipad{51.1, 1.1, 30, 45},
                Helipad{0.0, 0.0, 30, 0}};
  a.parkings = {spot(10, 1, 20)};
  a.helipadsAfterParking = {Helipad{51.3, 1.3, 20, 0}};  // after the parking list: not read
  Airport b = a;
  b.ident = "EGKK";
  bglgen::File f;
  f.sections[0].airports = {a, b};
  const Collected c = decode(bglgen::build(f));
  ASSERT_EQ(c.airports.size(), 2u);
  for (const BglAirport& airport : c.airports) {
    EXPECT_EQ(names(airport), (Lines{"helipad1", "helipad2", "g1"}));
    EXPECT_EQ(airport.helipadCount, 2);
    const BglStand& h = airport.stands[0];
    EXPECT_TRUE(h.helipad);
    EXPECT_FALSE(h.ramp || h.cargo);
    EXPECT_DOUBLE_EQ(h.radiusM, 15);
    EXPECT_NEAR(h.heading, std::numbers::pi / 4, 1e-9);
    EXPECT_DOUBLE_EQ(airport.stands[1].heading, 2 * std::numbers::pi);
  }
  const std::string twice[] = {"double helipad Heli Field (skipped) 51.100000,1.100000",
                               "lat/lon helipad incorrect (skipped): 0.000000,0.000000"};
  EXPECT_EQ(gf_scanLogLines(), (Lines{twice[0], twice[1], twice[0], twice[1]}));
}

TEST(BglDecode, NamesAreValidUtf8AndTheLastDifferentNameWins) {
  const auto nameOf = [](std::vector<std::string> raw) {
    Airport a;
    a.names = std::move(raw);
    const Collected c = decode(a);
    return c.airports.at(0).name;
  };
  EXPECT_EQ(nameOf({"Los Llanos", "Los Llanos"}), "Los Llanos");
  EXPECT_EQ(nameOf({"One", "Two"}), "");
  EXPECT_EQ(nameOf({"One", "Two", "Three"}), "Three");
  // Bytes that are not UTF-8 are Windows-1252 text.
  EXPECT_EQ(nameOf({"Z\xFCrich \x80 \x9F"}), "Z\xC3\xBCrich \xE2\x82\xAC \xC5\xB8");
  EXPECT_EQ(nameOf({"M\xC3\xBCnchen"}), "M\xC3\xBCnchen");
  // Longer names keep their first 44 bytes; a character cut there goes whole.
  const std::string ascii(60, 'x');
  EXPECT_EQ(nameOf({ascii}), std::string(44, 'x'));
  EXPECT_EQ(nameOf({std::string(43, 'y') + "\xC3\xA9zz"}), std::string(43, 'y'));
  EXPECT_EQ(nameOf({std::string(42, 'y') + "\xC3\xA9zz"}), std::string(42, 'y') + "\xC3\xA9");
}

TEST(BglDecode, LayoutsAndTheirParkingListIds) {
  Airport b;
  b.layoutB = true;
  b.names = {"Newer"};
  b.parkings = {spot(10, 1, 20), spot(10, 2, 25)};
  b.parkings[0].airlines = {"BAW", "EZY", "RYR"};  // the next spot starts after the codes
  const Collected newer = decode(b);
  ASSERT_EQ(newer.airports.size(), 1u);
  EXPECT_EQ(newer.airports[0].name, "Newer");
  EXPECT_EQ(names(newer.airports[0]), (Lines{"g1", "g2"}));
  EXPECT_DOUBLE_EQ(newer.airports[0].stands[1].radiusM, 25);

  for (const bool layoutB : {false, true}) {
    Airport other;
    other.layoutB = layoutB;
    other.otherLayoutParkingId = true;
    other.parkings = {spot(10, 1, 20)};
    other.helipadsAfterParking = {Helipad{51.3, 1.3, 20, 0}};  // read: the list was not a parking list
    const Collected c = decode(other);
    ASSERT_EQ(c.airports.size(), 1u);
    EXPECT_EQ(names(c.airports[0]), Lines{"helipad1"}) << layoutB;
  }
}

}  // namespace
}  // namespace amb::test
