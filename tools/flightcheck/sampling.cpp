#include "flightcheck/sampling.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace amb::flightcheck::detail {

double turnDeg(double a, double b) {
  double d = std::fmod(b - a, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

bool recordOnGround(const Recorded& r, double field) {
  if (r.altitude <= 0) return true;
  if (r.altitude < 14000) {
    const double d = r.altitude - field, ad = std::fabs(d);
    if (d <= 0 || (ad <= 45 && r.speedKt <= 120) || (ad <= 90 && r.speedKt <= 80) || (ad <= 120 && r.speedKt <= 43))
      return true;
  }
  return r.speedKt <= 35;
}

std::optional<FlownPoint> pointAt(const FlownTrack& track, double t, double maxGap) {
  const auto& p = track.points;
  if (p.empty() || t < p.front().t || t > p.back().t) return std::nullopt;
  auto after = std::lower_bound(p.begin(), p.end(), t, [](const FlownPoint& q, double v) { return q.t < v; });
  if (after->t == t) return *after;
  const FlownPoint& a = *(after - 1);
  const FlownPoint& b = *after;
  if (b.t - a.t > maxGap) return std::nullopt;
  const double u = (t - a.t) / (b.t - a.t);
  FlownPoint out = a;
  out.t = t;
  out.latitude = a.latitude + u * (b.latitude - a.latitude);
  out.longitude = a.longitude + u * (b.longitude - a.longitude);
  out.altitude = static_cast<float>(a.altitude + u * (b.altitude - a.altitude));
  double h = a.headingDeg + u * turnDeg(a.headingDeg, b.headingDeg);
  if (h < 0) h += 360;
  if (h >= 360) h -= 360;
  out.headingDeg = static_cast<float>(h);
  return out;
}

Fields::Fields(const Input& input) : m_airports(input.airports), m_park(input.parkElevationFt), m_cg(input.cgFt) {}

const Airport* Fields::nearest(double latitude, double longitude) const {
  // On a local plane: near enough to tell the nearest of the airports around a recording apart.
  const double c = std::cos(latitude * kDegToRad);
  const Airport* best = nullptr;
  double least = std::numeric_limits<double>::infinity();
  for (const Airport& a : m_airports) {
    const double dn = a.at.lat - latitude, de = (a.at.lon - longitude) * c;
    const double d = dn * dn + de * de;
    if (d < least) {
      least = d;
      best = &a;
    }
  }
  return best;
}

double Fields::at(double latitude, double longitude) const {
  const Airport* a = nearest(latitude, longitude);
  return a != nullptr ? a->elevationFt : m_park;
}

double Fields::groundAt(double latitude, double longitude) const {
  const Airport* a = nearest(latitude, longitude);
  return a != nullptr && gf_distanceNm({latitude, longitude}, a->at) <= kGroundFieldNm ? a->elevationFt : m_park;
}

std::optional<Interval> intervalAt(const FlownTrack& track, double mid, const Options& o, const Fields& fields) {
  const auto& pts = track.points;
  if (pts.empty()) return std::nullopt;
  const double w = std::max(o.windowSeconds, o.gridSeconds);
  const double t0 = pts.front().t, t1 = pts.back().t;
  const auto A = pointAt(track, std::max(t0, mid - w / 2), o.maxGapSeconds);
  const auto B = pointAt(track, std::min(t1, mid + w / 2), o.maxGapSeconds);
  const auto M = pointAt(track, mid, o.maxGapSeconds);
  if (!A || !B || !M || B->t <= A->t) return std::nullopt;
  Interval iv;
  iv.start = mid - o.gridSeconds / 2;
  iv.mid = mid;
  iv.middle = *M;
  const double field = fields.at(M->latitude, M->longitude);
  const auto before =
      std::upper_bound(pts.begin(), pts.end(), mid, [](double v, const FlownPoint& q) { return v < q.t; }) - 1;
  iv.onGround = fields.down(*before, field);
  iv.ground = iv.onGround && fields.down(*A, field) && fields.down(*B, field);
  const double span = B->t - A->t;
  iv.speedKt = gf_distanceNm(posOf(*A), posOf(*B)) / span * kSecondsPerHour;
  iv.courseDeg = gf_bearingRad(posOf(*A), posOf(*B)) * kRadToDeg;
  iv.turnDegPerS = std::fabs(turnDeg(A->headingDeg, B->headingDeg)) / span;
  iv.heightFt = M->altitude - fields.cg() - field;
  iv.aboveGroundFt = M->altitude - fields.cg() - fields.groundAt(M->latitude, M->longitude);
  const double vw = o.vsWindowSeconds;
  if (vw > 0) {
    const auto below = pointAt(track, mid - vw / 2, o.maxGapSeconds);
    const auto above = pointAt(track, mid + vw / 2, o.maxGapSeconds);
    if (below && above) iv.vsFtMin = (above->altitude - below->altitude) / vw * 60;
  }
  return iv;
}

}  // namespace amb::flightcheck::detail
