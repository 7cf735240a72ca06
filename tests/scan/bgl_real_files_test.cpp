// The real scenery files of the test data, decoded and checked against what their bytes hold as the
// format describes them (values worked out from the files' hex dumps, not from the reader).

#include "scan_support.hpp"
#include "support/test_support.hpp"

#include <fstream>
#include <iterator>
#include <numbers>

namespace amb::test {
namespace {

std::vector<std::uint8_t> realFile(const std::string& name) {
  std::ifstream in(testData("bgl") / name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(BglRealFiles, GeneralAviationAirportGivesEveryParkingSpotAsCompiled) {
  const Collected c = decode(realFile("LEAR_ADEX_ARV187_GA.bgl"), "LEAR_ADEX_ARV187_GA.bgl");
  ASSERT_EQ(c.airports.size(), 1u);
  const BglAirport& a = c.airports[0];
  EXPECT_EQ(c.found, std::vector<std::string>{"LEAV"});
  EXPECT_EQ(a.ident, "LEAV");  // packed 0x0273C221 at byte 40 of the record
  EXPECT_EQ(a.name, "Pista de aviaci\xC3\xB3n general de Argavirtual");
  EXPECT_EQ(a.altitudeFt, 2461);  // 750051 mm
  EXPECT_EQ(a.helipadCount, 0);
  // Eight spots: seven ramps of name code 1 ("r") numbered 21 to 27, then one of type 13
  // (vehicles) that is not a stand. All headings are 0, kept as a full turn.
  struct Expected {
    const char* name;
    double lat, lon;
    float radius;
  };
  const Expected expected[] = {{"r21", 40.2584100, -3.4144387, 7.3f}, {"r22", 40.2585455, -3.4139022, 14.0f},
                               {"r23", 40.2586937, -3.4133685, 7.3f}, {"r24", 40.2588278, -3.4128128, 14.0f},
                               {"r25", 40.2589776, -3.4122853, 7.3f}, {"r26", 40.2591091, -3.4118843, 14.0f},
                               {"r27", 40.2592019, -3.4115039, 7.3f}};
  ASSERT_EQ(a.stands.size(), std::size(expected));
  for (std::size_t i = 0; i < a.stands.size(); ++i) {
    const BglStand& s = a.stands[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(s.name, expected[i].name);
    EXPECT_NEAR(s.latitude, expected[i].lat, 1e-6);
    EXPECT_NEAR(s.longitude, expected[i].lon, 1e-6);
    EXPECT_DOUBLE_EQ(s.radiusM, expected[i].radius);
    EXPECT_DOUBLE_EQ(s.heading, 2 * std::numbers::pi);
    EXPECT_TRUE(s.ramp);
    EXPECT_FALSE(s.cargo);
    EXPECT_FALSE(s.helipad);
  }
  EXPECT_TRUE(gf_scanLogLines().empty());
}

TEST(BglRealFiles, NewerLayoutAirportWithoutParkingAndFileWithoutAirports) {
  const Collected v5 = decode(realFile("LEAB_ADEP5_ARV187_ALT.bgl"));
  ASSERT_EQ(v5.airports.size(), 1u);
  EXPECT_EQ(v5.airports[0].ident, "LEAB");
  EXPECT_EQ(v5.airports[0].name, "Los Llanos");
  EXPECT_EQ(v5.airports[0].altitudeFt, 2301);  // 701344 mm
  EXPECT_TRUE(v5.airports[0].stands.empty());

  EXPECT_TRUE(decode(realFile("TerminalLEAB.bgl")).airports.empty());
  EXPECT_FALSE(lf_bglHasAirports(testData("bgl") / "TerminalLEAB.bgl"));
  EXPECT_TRUE(lf_bglHasAirports(testData("bgl") / "LEAB_ADEP5_ARV187_ALT.bgl"));
  EXPECT_TRUE(lf_bglHasAirports(testData("bgl") / "LEAR_ADEX_ARV187_GA.bgl"));
}

TEST(BglRealFiles, EveryCutOfARealFileDecodesOrFailsInsideTheFile) {
  // The airport's subsection ends at byte 2048 (records at 0xC8, 1848 bytes); the sections after it
  // hold no airport.
  const std::vector<std::uint8_t> whole = realFile("LEAR_ADEX_ARV187_GA.bgl");
  for (std::size_t n = 0; n < whole.size(); ++n) {
    const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    const Collected c = decode(cut);
    EXPECT_EQ(c.airports.size(), n < 2048 ? 0u : 1u) << n;
    if (!c.whole) {
      EXPECT_LT(n, 2048u);
    }
  }
}

}  // namespace
}  // namespace amb::test
