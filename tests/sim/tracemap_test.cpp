// The SVG map of the double's trace, with and without reported positions.

#include "support/test_support.hpp"
#include "tools/tracemap/tracemap.hpp"

#include <gtest/gtest.h>

namespace amb::test {
namespace {

using namespace tracemap;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(TraceMap, FlownTracksAndReportedPositionsBecomePolylines) {
  TempDir dir("amb-map");
  writeFile(dir / "trace.csv",
            "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail\n"
            "0.100,3,created,40.6413000,-73.7781000,13.0,0.00,0.00,90.00,1,\"Airbus A320, \"\"Lufthansa\"\"|DLH4AB\"\n"
            "0.200,3,position,40.6420000,-73.7770000,13.0,0.00,0.00,90.00,1,def 402\n"
            "0.300,3,event,40.6420000,-73.7770000,13.0,0.00,0.00,90.00,1,NAV_LIGHTS_SET=1\n"
            "0.400,3,position,40.6430000,-73.7760000,13.0,0.00,0.00,90.00,1,def 402\n"
            "0.500,4,added,40.6500000,-73.7900000,500.0,0.00,0.00,0.00,0,Other Aircraft|AAL1\n"
            "0.600,3,removed,40.6430000,-73.7760000,13.0,0.00,0.00,90.00,1,\n"
            "garbage line\n");
  writeFile(dir / "reported.csv", "hexid,callsign,lat,lon\n4000001,DLH4AB,40.6412,-73.7782\n4000001,DLH4AB,40.6431,-73.7759\n"
                                  "4000001,DLH4AB,nan,-73.7\n");
  std::string error;
  ASSERT_TRUE(writeSvg(dir / "trace.csv", dir / "reported.csv", dir / "map.svg", error)) << error;
  const std::string svg = readFile(dir / "map.svg");
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_EQ(count(svg, "<g class=\"flown\""), 2u);
  EXPECT_EQ(count(svg, "<g class=\"reported\""), 1u);
  EXPECT_EQ(count(svg, "stroke-dasharray"), 1u);
  EXPECT_NE(svg.find("3 Airbus A320, &quot;Lufthansa&quot;|DLH4AB"), std::string::npos);
  EXPECT_NE(svg.find("2 flown tracks, 1 reported (dashed)"), std::string::npos);

  Tracks t;
  ASSERT_TRUE(readTrace(dir / "trace.csv", t, error));
  EXPECT_EQ(t.flown["3"].points.size(), 4u);  // created, two positions, removed
  EXPECT_EQ(t.flown["3"].events.size(), 1u);
  EXPECT_TRUE(t.flown["3"].removed);
  ASSERT_TRUE(readReported(dir / "reported.csv", t, error));
  EXPECT_EQ(t.reported["4000001"].points.size(), 2u);  // the row without a number is skipped
}

TEST(TraceMap, FilesThatAreNoTraceOrHaveNoPositionColumnsAreRefused) {
  TempDir dir("amb-map");
  writeFile(dir / "other.csv", "a,b,c\n1,2,3\n");
  std::string error;
  EXPECT_FALSE(writeSvg(dir / "other.csv", {}, dir / "map.svg", error));
  EXPECT_NE(error.find("is not a trace"), std::string::npos);
  Tracks t;
  EXPECT_FALSE(readReported(dir / "other.csv", t, error));
  EXPECT_NE(error.find("needs an id, a lat and a lon column"), std::string::npos);
  EXPECT_FALSE(readTrace(dir / "missing.csv", t, error));
  EXPECT_EQ(splitCsvLine("a,\"b,c\",\"d\"\"e\","), (std::vector<std::string>{"a", "b,c", "d\"e", ""}));
}

}  // namespace
}  // namespace amb::test
