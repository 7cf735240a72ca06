#include "core/geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace amb {
namespace {

TEST(Geometry, DistancesCoursesAndAngleDifferences) {
  const std::tuple<LatLon, LatLon, double> distances[] = {
      {{0, 0}, {1, 0}, 60.0}, {{0, 179.5}, {0, -179.5}, 60.0}, {{60, 0}, {60, 1}, 29.9997144},
      {{10, 20}, {-10, -160 - 1e-9}, 10800.0}};
  for (const auto& [a, b, nm] : distances) {
    EXPECT_NEAR(gf_distanceNm(a, b), nm, 1e-3) << b.lat << "," << b.lon;  // never NaN, also nearly antipodal
    EXPECT_NEAR(gf_distanceNm(b, a), nm, 1e-3);
  }
  const std::pair<LatLon, double> courses[] = {{{1, 0}, 0.0}, {{0, 1}, kPi / 2}, {{0, -1}, 3 * kPi / 2}, {{0, 0}, 0.0}};
  for (const auto& [to, course] : courses) EXPECT_NEAR(gf_bearingRad({0, 0}, to), course, 1e-12);
  EXPECT_LT(gf_bearingRad({0, 0}, {1, -1e-15}), kTwoPi);
  const std::tuple<double, double, double> diffs[] = {
      {6.2, 0.1, 0.1 + kTwoPi - 6.2}, {0.1, 6.2, 6.2 - kTwoPi - 0.1}, {2.0, 1.0, -1.0}, {0.0, kPi, kPi}, {kPi, 0.0, -kPi}};
  for (const auto& [a, b, diff] : diffs) EXPECT_NEAR(gf_angleDiff(a, b), diff, 1e-12) << a << " -> " << b;
  // Into [0, 2 pi): kept as it is inside, wrapped either side, never 2 pi itself (a remainder a hair
  // below 0 would round up to it).
  const std::pair<double, double> normalised[] = {{0.0, 0.0},           {1.5, 1.5},          {kTwoPi, 0.0},
                                                  {-0.5, kTwoPi - 0.5}, {7.0, 7.0 - kTwoPi}, {-1e-18, 0.0}};
  for (const auto& [in, out] : normalised) {
    EXPECT_NEAR(gf_normalisedRad(in), out, 1e-12) << in;
    EXPECT_LT(gf_normalisedRad(in), kTwoPi) << in;
  }

  EXPECT_TRUE(gf_inNullBox(0, 0) && gf_inNullBox(0.0009, 0.05));
  EXPECT_FALSE(gf_inNullBox(0.00091, 0.01) || gf_inNullBox(0.0005, 0.0501) || gf_inNullBox(-0.0001, 0.01));
}

TEST(Geometry, DestinationPoints) {
  EXPECT_NEAR(gf_destinationPoint({0, 0}, 0.0, kFeetPerNm).lat, 1.0 / 60.0, 1e-12);
  EXPECT_NEAR(gf_destinationPoint({0, 179.99}, kPi / 2, 1.2 * kFeetPerNm).lon, -179.99, 1e-9);
  EXPECT_LE(gf_destinationPoint({89.99, 0}, 0.0, 2 * kFeetPerNm).lat, 90.0);
  // Going d nm along a course, then measuring, gives d and the course back.
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> lat(-80, 80), lon(-180, 180), course(0, kTwoPi), nm(0.01, 500);
  for (int i = 0; i < 2000; ++i) {
    const LatLon start{lat(rng), lon(rng)};
    const double c = course(rng), d = nm(rng);
    const LatLon end = gf_destinationPoint(start, c, d * kFeetPerNm);
    ASSERT_LE(std::fabs(end.lon), 180.0);
    ASSERT_NEAR(gf_distanceNm(start, end), d, 1e-6 * std::max(1.0, d)) << i;
    ASSERT_NEAR(gf_angleDiff(c, gf_bearingRad(start, end)), 0.0, 1e-6) << i;
  }
}

// From a point to a segment at 40N: abeam it the distance across, beyond its ends the distance to the
// nearer end, and a segment of no length is its point.
TEST(Geometry, SegmentDistances) {
  const LatLon a{40.0, -73.0};
  const LatLon b = gf_destinationPoint(a, kPi / 2, 2 * kFeetPerNm);
  const LatLon mid = gf_destinationPoint(a, kPi / 2, kFeetPerNm);
  EXPECT_NEAR(gf_segmentDistanceNm(gf_destinationPoint(mid, 0, 0.5 * kFeetPerNm), a, b), 0.5, 1e-3);
  EXPECT_NEAR(gf_segmentDistanceNm(gf_destinationPoint(b, kPi / 2, 0.3 * kFeetPerNm), a, b), 0.3, 1e-3);
  EXPECT_NEAR(gf_segmentDistanceNm(gf_destinationPoint(a, kPi, 0.7 * kFeetPerNm), a, a), 0.7, 1e-3);
  EXPECT_NEAR(gf_segmentDistanceNm(mid, a, b), 0.0, 1e-3);
}

}  // namespace
}  // namespace amb
