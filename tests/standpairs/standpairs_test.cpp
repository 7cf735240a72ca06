// The measure of static and live aircraft together on one stand, on handmade moments and a handmade
// trace of the simulator double: what counts as together, for how long, and what does not count.

#include "standpairs/standpairs.hpp"

#include "core/geometry.hpp"
#include "support/test_support.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace amb {
namespace {

using standpairs::Seen;

const LatLon kStand{40.64, -73.78};

// A place the metres south of the stand.
LatLon south(double metres) { return gf_destinationPoint(kStand, kPi, metres / 0.3048); }

Seen at(std::uint32_t id, const std::string& callsign, double metresSouth, bool onGround = true) {
  const LatLon p = south(metresSouth);
  return {id, callsign, p.lat, p.lon, onGround};
}

// A stand of radius 30 m with a static aircraft on it, watched for 11 s with pairs counting from 5 s:
// a live one on the ground 20 m off all the time is a pair from its first moment to its last; one
// there for 4 s, one 35 m off, one in the air above, one whose stay is broken by a gap, are none.
TEST(StandPairs, ALiveAircraftOnTheGroundWithinTheRadiusLongerThanTheBoundIsAPair) {
  standpairs::Watch watch({{"S1", kStand.lat, kStand.lon, 30}, {"S2", south(100).lat, south(100).lon, 30}}, 5);
  for (int t = 0; t <= 10; ++t) {
    std::vector<Seen> now{at(1, "BAW1*", 0), at(2, "KLM2", 20), at(4, "AFR4", 35), at(5, "EZY5", 0, false)};
    if (t <= 4) now.push_back(at(3, "DLH3", 20));
    if (t != 4) now.push_back(at(6, "SWR6", 25));
    if (t >= 6) now.push_back(at(7, "UAL7*", 100));  // another stand, nobody near it
    watch.observe(t, now);
  }
  const auto pairs = watch.pairs();
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].stand, "S1");
  EXPECT_EQ(pairs[0].staticCallsign, "BAW1*");
  EXPECT_EQ(pairs[0].liveCallsign, "KLM2");
  EXPECT_EQ(pairs[0].from, 0);
  EXPECT_EQ(pairs[0].to, 10);
}

// The double's trace, seen once a second: an object exists from its creation row to its removal row,
// a quoted detail holds the callsign after "|"; the first lines alone see only the start.
TEST(StandPairs, TheDoublesTraceIsSeenMomentByMoment) {
  test::TempDir dir("standpairs");
  const LatLon off = south(20);
  std::string trace = "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail\n";
  trace += fmt::format("0.5,10,created,{:.7f},{:.7f},0,0,0,0,1,\"Airbus A320, BAW|BAW1*\"\n", kStand.lat, kStand.lon);
  trace += fmt::format("1.0,11,created,{:.7f},{:.7f},23,0,0,0,1,B738|KLM2\n", off.lat, off.lon);
  for (int t = 2; t <= 9; ++t)
    trace += fmt::format("{},11,position,{:.7f},{:.7f},23,0,0,0,1,def 1\n", t, off.lat, off.lon);
  trace += "9.5,11,removed,0,0,0,0,0,0,0,\n";
  test::writeFile(dir / "trace.csv", trace);

  std::string error;
  standpairs::Watch whole({{"S1", kStand.lat, kStand.lon, 30}}, 5);
  ASSERT_TRUE(standpairs::watchTrace(dir / "trace.csv", whole, 1, 0, error)) << error;
  const auto pairs = whole.pairs();
  ASSERT_EQ(pairs.size(), 1u);
  EXPECT_EQ(pairs[0].liveCallsign, "KLM2");
  EXPECT_EQ(pairs[0].from, 1);
  EXPECT_EQ(pairs[0].to, 9);

  standpairs::Watch start({{"S1", kStand.lat, kStand.lon, 30}}, 5);
  ASSERT_TRUE(standpairs::watchTrace(dir / "trace.csv", start, 1, 6, error)) << error;
  EXPECT_TRUE(start.pairs().empty());

  test::writeFile(dir / "other.csv", "hexid,lat,lon\n");
  EXPECT_FALSE(standpairs::watchTrace(dir / "other.csv", start, 1, 0, error));
  EXPECT_NE(error.find("not a trace of the simulator double"), std::string::npos) << error;
}

}  // namespace
}  // namespace amb
