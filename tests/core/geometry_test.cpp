#include "core/geometry.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace amb {
namespace {

TEST(Geometry, DistancesOnMeridianAndEquator) {
  struct Case {
    LatLon a, b;
    double nm;
  };
  const Case cases[] = {
      {{0, 0}, {1, 0}, 60.0},
      {{0, 0}, {0, 1}, 60.0},
      {{50, 8}, {51, 8}, 60.0},
      {{0, 179.5}, {0, -179.5}, 60.0},  // across the date line
      {{0, 0}, {0, 0}, 0.0},
      {{60, 0}, {60, 1}, 29.9997144},  // a little less than the 30 nm along the parallel
      {{0, 0}, {0, 180}, 10800.0},
      {{90, 0}, {-90, 0}, 10800.0},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(gf_distanceNm(c.a, c.b), c.nm, 1e-3) << c.a.lat << "," << c.a.lon << " " << c.b.lat << "," << c.b.lon;
    EXPECT_NEAR(gf_distanceNm(c.b, c.a), c.nm, 1e-3);
  }
}

TEST(Geometry, NearlyAntipodalPointsGiveANumber) {
  for (double eps : {0.0, 1e-12, 1e-9, 1e-6}) {
    const double d = gf_distanceNm({10.0, 20.0}, {-10.0 + eps, -160.0 - eps});
    EXPECT_FALSE(std::isnan(d)) << eps;
    EXPECT_NEAR(d, 10800.0, 1e-2) << eps;
  }
}

TEST(Geometry, CoursesToTheFourQuarters) {
  struct Case {
    LatLon to;
    double course;
  };
  const Case cases[] = {
      {{1, 0}, 0.0}, {{0, 1}, kPi / 2}, {{-1, 0}, kPi}, {{0, -1}, 3 * kPi / 2}, {{0, 0}, 0.0},
  };
  for (const auto& c : cases) EXPECT_NEAR(gf_bearingRad({0, 0}, c.to), c.course, 1e-12) << c.to.lat << "," << c.to.lon;
  // Just west of due north stays below 2*pi.
  const double nearlyNorth = gf_bearingRad({0, 0}, {1, -1e-15});
  EXPECT_GE(nearlyNorth, 0.0);
  EXPECT_LT(nearlyNorth, kTwoPi);
}

TEST(Geometry, DestinationPoints) {
  const LatLon north = gf_destinationPoint({0, 0}, 0.0, kFeetPerNm);
  EXPECT_NEAR(north.lat, 1.0 / 60.0, 1e-12);
  EXPECT_NEAR(north.lon, 0.0, 1e-12);

  const LatLon east = gf_destinationPoint({0, 179.99}, kPi / 2, 0.02 * 60 * kFeetPerNm);
  EXPECT_NEAR(east.lon, -179.99, 1e-9);
  EXPECT_NEAR(east.lat, 0.0, 1e-12);
  const LatLon west = gf_destinationPoint({0, -179.99}, 3 * kPi / 2, 0.02 * 60 * kFeetPerNm);
  EXPECT_NEAR(west.lon, 179.99, 1e-9);

  const LatLon same = gf_destinationPoint({47.5, -122.3}, 1.0, 0.0);
  EXPECT_NEAR(same.lat, 47.5, 1e-12);
  EXPECT_NEAR(same.lon, -122.3, 1e-12);

  // Over the pole: no NaN, latitude stays in range.
  const LatLon pole = gf_destinationPoint({89.99, 0}, 0.0, 2 * kFeetPerNm);
  EXPECT_FALSE(std::isnan(pole.lat));
  EXPECT_LE(pole.lat, 90.0);
}

TEST(Geometry, DestinationAgreesWithDistanceAndCourse) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<double> lat(-80, 80), lon(-180, 180), course(0, kTwoPi), nm(0.01, 500);
  for (int i = 0; i < 2000; ++i) {
    const LatLon start{lat(rng), lon(rng)};
    const double c = course(rng);
    const double d = nm(rng);
    const LatLon end = gf_destinationPoint(start, c, d * kFeetPerNm);
    ASSERT_GE(end.lon, -180.0);
    ASSERT_LE(end.lon, 180.0);
    ASSERT_NEAR(gf_distanceNm(start, end), d, 1e-6 * std::max(1.0, d)) << i;
    ASSERT_NEAR(gf_angleDiff(c, gf_bearingRad(start, end)), 0.0, 1e-6) << i;
  }
}

TEST(Geometry, AngleDifferences) {
  struct Case {
    double a, b, diff;
  };
  const Case cases[] = {
      {6.2, 0.1, 0.1 + kTwoPi - 6.2},  // about +0.183, not -6.1
      {0.1, 6.2, -(0.1 + kTwoPi - 6.2)},
      {1.0, 2.0, 1.0},
      {2.0, 1.0, -1.0},
      {1.5, 1.5, 0.0},
      {0.0, kPi, kPi},
      {kPi, 0.0, -kPi},
      {0.5, 0.5 + kPi + 1e-9, -(kPi - 1e-9)},
  };
  for (const auto& c : cases) EXPECT_NEAR(gf_angleDiff(c.a, c.b), c.diff, 1e-12) << c.a << " -> " << c.b;
  EXPECT_NEAR(gf_angleDiff(6.2, 0.1), 0.183, 1e-3);
}

}  // namespace
}  // namespace amb
