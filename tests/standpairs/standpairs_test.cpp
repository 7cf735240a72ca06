// The count of static and live aircraft together on one stand, on a handmade trace of the simulator
// double (stand S1 of radius 30 m, a static aircraft on it, pairs counted from 5 s).

#include "standpairs/standpairs.hpp"

#include "core/geometry.hpp"
#include "support/test_support.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace amb {
namespace {

const LatLon kStand{40.64, -73.78};

// A live aircraft on the ground 20 m off from its creation to its removal is a pair from its first
// moment seen to its last; one there for 4 s, one 35 m off, one in the air above the stand, one
// whose stay is broken by a removal are none; the first lines alone see only the start.
TEST(StandPairs, ALiveAircraftOnTheGroundWithinTheRadiusLongerThanABoundIsAPair) {
  test::TempDir dir("standpairs");
  const auto row = [](double t, int id, const char* what, double metres, int ground, const char* detail = "def 1") {
    const LatLon p = gf_destinationPoint(kStand, kPi, metres / 0.3048);
    return fmt::format("{},{},{},{:.7f},{:.7f},23,0,0,0,{},{}\n", t, id, what, p.lat, p.lon, ground, detail);
  };
  std::string trace = "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail\n";
  trace += row(0.5, 10, "created", 0, 1, "\"Airbus A320, BAW|BAW1*\"");
  trace += row(1, 11, "created", 20, 1, "B738|KLM2") + row(1, 12, "created", 20, 1, "B738|DLH3") +
           row(1, 13, "created", 35, 1, "B738|AFR4") + row(1, 14, "created", 0, 0, "B738|EZY5") +
           row(1, 15, "created", 25, 1, "B738|SWR6");
  for (int t = 2; t <= 9; ++t) {
    trace += row(t, 11, "position", 20, 1);
    if (t == 4) trace += row(4.5, 12, "removed", 0, 0) + row(4.5, 15, "removed", 0, 0);
    if (t == 5) trace += row(5.5, 15, "created", 25, 1, "B738|SWR6");
  }
  trace += row(9.5, 11, "removed", 0, 0);
  test::writeFile(dir / "trace.csv", trace);

  std::string error;
  standpairs::Watch whole({{"S1", kStand.lat, kStand.lon, 30}}, 5);
  ASSERT_TRUE(standpairs::watchTrace(dir / "trace.csv", whole, 1, 0, error)) << error;
  const auto pairs = whole.pairs();
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].stand + " " + pairs[0].staticCallsign + " " + pairs[0].liveCallsign, "S1 BAW1* KLM2");
  EXPECT_EQ(pairs[0].from, 1);
  EXPECT_EQ(pairs[0].to, 9);

  standpairs::Watch start({{"S1", kStand.lat, kStand.lon, 30}}, 5);
  ASSERT_TRUE(standpairs::watchTrace(dir / "trace.csv", start, 1, 12, error)) << error;
  EXPECT_TRUE(start.pairs().empty());
  test::writeFile(dir / "other.csv", "hexid,lat,lon\n");
  EXPECT_FALSE(standpairs::watchTrace(dir / "other.csv", start, 1, 0, error));
  EXPECT_NE(error.find("not a trace of the simulator double"), std::string::npos) << error;
}

}  // namespace
}  // namespace amb
