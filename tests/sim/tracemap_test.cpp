// The SVG map of the double's trace: a smoke check of the tool.

#include "support/test_support.hpp"
#include "tools/tracemap/tracemap.hpp"

#include <gtest/gtest.h>

namespace amb::test {
namespace {

TEST(TraceMap, FlownTracksAndReportedPositionsBecomePolylines) {
  TempDir dir("amb-map");
  writeFile(dir / "trace.csv",
            "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail\n"
            "0.100,3,created,40.6413000,-73.7781000,13.0,0.00,0.00,90.00,1,\"Airbus A320, \"\"Lufthansa\"\"|DLH4AB\"\n"
            "0.200,3,position,40.6420000,-73.7770000,13.0,0.00,0.00,90.00,1,def 402\n"
            "0.500,4,added,40.6500000,-73.7900000,500.0,0.00,0.00,0.00,0,Other Aircraft|AAL1\n"
            "garbage line\n");
  writeFile(dir / "reported.csv", "hexid,callsign,lat,lon\n4000001,DLH4AB,40.6412,-73.7782\n4000001,DLH4AB,nan,-73.7\n");
  std::string error;
  ASSERT_TRUE(tracemap::writeSvg(dir / "trace.csv", dir / "reported.csv", dir / "map.svg", error)) << error;
  const std::string svg = readFile(dir / "map.svg");
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_NE(svg.find("3 Airbus A320, &quot;Lufthansa&quot;|DLH4AB"), std::string::npos);
  EXPECT_NE(svg.find("2 flown tracks, 1 reported (dashed)"), std::string::npos);
  writeFile(dir / "other.csv", "a,b,c\n1,2,3\n");
  EXPECT_FALSE(tracemap::writeSvg(dir / "other.csv", {}, dir / "map.svg", error));
  EXPECT_NE(error.find("is not a trace"), std::string::npos);
}

}  // namespace
}  // namespace amb::test
