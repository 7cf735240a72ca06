#include "core/geometry.hpp"

#include <algorithm>
#include <cmath>

namespace amb {

double gf_distanceNm(const LatLon& a, const LatLon& b) noexcept {
  const double phiA = a.lat * kDegToRad;
  const double phiB = b.lat * kDegToRad;
  const double sinHalfPhi = std::sin((phiB - phiA) / 2.0);
  const double sinHalfLambda = std::sin((b.lon - a.lon) * kDegToRad / 2.0);
  double h = sinHalfPhi * sinHalfPhi + std::cos(phiA) * std::cos(phiB) * sinHalfLambda * sinHalfLambda;
  // Rounding can push h a hair past 1 for nearly antipodal points; the root of 1 - h must stay real.
  h = std::clamp(h, 0.0, 1.0);
  return kEarthDiameterNm * std::atan2(std::sqrt(h), std::sqrt(1.0 - h));
}

double gf_bearingRad(const LatLon& from, const LatLon& to) noexcept {
  const double phi1 = from.lat * kDegToRad;
  const double phi2 = to.lat * kDegToRad;
  const double dLambda = (to.lon - from.lon) * kDegToRad;
  double theta = std::atan2(std::sin(dLambda) * std::cos(phi2),
                            std::cos(phi1) * std::sin(phi2) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda));
  if (theta < 0.0) theta += kTwoPi;
  // A tiny negative course rounds up to exactly 2*pi, which is north again.
  if (theta >= kTwoPi) theta = 0.0;
  return theta;
}

LatLon gf_destinationPoint(const LatLon& start, double courseRad, double distanceFeet) noexcept {
  const double phi1 = start.lat * kDegToRad;
  const double delta = distanceFeet * kRadPerFoot;
  const double sinPhi1 = std::sin(phi1);
  const double cosPhi1 = std::cos(phi1);
  const double sinDelta = std::sin(delta);
  const double cosDelta = std::cos(delta);
  const double sinPhi2 = std::clamp(sinPhi1 * cosDelta + cosPhi1 * sinDelta * std::cos(courseRad), -1.0, 1.0);
  const double phi2 = std::asin(sinPhi2);
  const double lambda2 =
      std::remainder(start.lon * kDegToRad +
                         std::atan2(std::sin(courseRad) * sinDelta * cosPhi1, cosDelta - sinPhi1 * sinPhi2),
                     kTwoPi);
  return {phi2 * kRadToDeg, lambda2 * kRadToDeg};
}

double gf_normalisedRad(double radians) noexcept {
  if (radians >= 0 && radians < kTwoPi) return radians;  // as the remainder would give it, at far less cost
  double h = std::fmod(radians, kTwoPi);
  if (h < 0) h += kTwoPi;
  return h >= kTwoPi ? 0.0 : h;
}

double gf_angleDiff(double a, double b) noexcept {
  if (b > a) {
    const double d = b - a;
    return d > kPi ? d - kTwoPi : d;
  }
  if (a > b) {
    const double d = a - b;
    return -(d > kPi ? d - kTwoPi : d);
  }
  return 0.0;
}

double gf_segmentDistanceNm(const LatLon& p, const LatLon& a, const LatLon& b) noexcept {
  const double east = std::cos(p.lat * kDegToRad);
  const double ax = (a.lon - p.lon) * east, ay = a.lat - p.lat;
  const double bx = (b.lon - p.lon) * east, by = b.lat - p.lat;
  const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
  const double u = length2 > 0 ? std::clamp(-(ax * dx + ay * dy) / length2, 0.0, 1.0) : 0.0;
  return std::hypot(ax + u * dx, ay + u * dy) * 60.0;
}

bool gf_inNullBox(double latitude, double longitude) noexcept {
  return latitude >= 0 && latitude <= 0.0009 && longitude >= 0 && longitude <= 0.05;
}

}  // namespace amb
