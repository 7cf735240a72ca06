#pragma once
// Great-circle geometry on a spherical Earth whose radius makes one arc-minute one nautical mile.
// Positions are latitude and longitude in degrees (north and east positive); courses are true, in
// radians. Pure functions: no state, no allocation, safe on any thread.

namespace amb {

struct LatLon {
  double lat = 0.0;
  double lon = 0.0;
};

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2.0 * kPi;
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;
inline constexpr double kEarthDiameterNm = 6875.493541569878;  // 2 * 10800 / pi
inline constexpr double kFeetPerNm = 6076.11549;
inline constexpr double kRadPerFoot = 4.787404208238998e-8;   // one foot of arc on the Earth

// Haversine distance in nautical miles.
double gf_distanceNm(const LatLon& a, const LatLon& b) noexcept;
// Initial course from one position to the other, in [0, 2*pi); 0 for identical positions.
double gf_bearingRad(const LatLon& from, const LatLon& to) noexcept;
// The position reached from start along the initial course after distanceFeet; the longitude is
// kept in [-180, 180].
LatLon gf_destinationPoint(const LatLon& start, double courseRad, double distanceFeet) noexcept;
// The signed turn from angle a to angle b (both in [0, 2*pi)), in [-pi, pi]; exactly pi is +pi
// when b > a and -pi when a > b.
double gf_angleDiff(double a, double b) noexcept;
// An angle in radians brought into [0, 2*pi).
double gf_normalisedRad(double radians) noexcept;

// The nautical miles from a position to the segment between two others, on a local flat plane
// (for distances of a few miles).
double gf_segmentDistanceNm(const LatLon& p, const LatLon& a, const LatLon& b) noexcept;

// The null box: a latitude in [0, 0.0009] with a longitude in [0, 0.05] is no real position.
bool gf_inNullBox(double latitude, double longitude) noexcept;

}  // namespace amb
