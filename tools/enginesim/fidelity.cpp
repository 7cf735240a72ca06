#include "enginesim/fidelity.hpp"

#include "core/geometry.hpp"
#include "traffic/engine.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace amb::enginesim {

namespace {

constexpr double kMetresPerDegree = 111132.95;
constexpr double kAirborneAboveFt = 100;
// The delays tried for the best fit, in cycles.
constexpr std::int32_t kFitFrom = 1500, kFitTo = 6000, kFitStep = 25;
// A flown point is measured against the reported legs due within this many cycles of it, and only
// between two reported positions no farther apart than a gap: across a longer silence of the feed
// the object flies synthetic legs, no reported track.
constexpr std::int32_t kCrossTrackReach = 12000;
constexpr std::int32_t kCrossTrackGap = 6000;

// Metres north and east of a reference position on a local plane.
struct Local {
  double north, east;
};
Local lf_local(double lat0, double lon0, double lat, double lon) {
  return {(lat - lat0) * kMetresPerDegree, (lon - lon0) * kMetresPerDegree * std::cos(lat0 * kDegToRad)};
}

// The distance from p to the segment a-b, and where along it (0 to 1) the nearest point lies.
double lf_segmentDistance(Local p, Local a, Local b, double& along) {
  const double dn = b.north - a.north, de = b.east - a.east, len2 = dn * dn + de * de;
  along = len2 > 0 ? std::clamp(((p.north - a.north) * dn + (p.east - a.east) * de) / len2, 0.0, 1.0) : 0;
  return std::hypot(a.north + along * dn - p.north, a.east + along * de - p.east);
}

double lf_median(std::vector<double> v) {
  if (v.empty()) return std::numeric_limits<double>::quiet_NaN();
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  if (v.size() % 2 != 0) return *mid;
  return (*mid + *std::max_element(v.begin(), mid)) / 2;
}

double lf_percentile(std::vector<double> v, double q) {
  if (v.empty()) return std::numeric_limits<double>::quiet_NaN();
  const auto at = v.begin() + static_cast<std::ptrdiff_t>(std::floor(q * static_cast<double>(v.size() - 1)));
  std::nth_element(v.begin(), at, v.end());
  return *at;
}

}  // namespace

FidelityRecorder::FidelityRecorder(FidelityOptions options) : m_options(options) {}

void FidelityRecorder::reported(std::uint32_t hexid, std::int32_t queued, double latitude, double longitude,
                                bool airborne) {
  m_reported[hexid].push_back({queued, latitude, longitude, airborne});
}

void FidelityRecorder::flown(std::int32_t cycle, std::uint32_t objectId, std::uint32_t hexid, const AiPosBlock& block) {
  auto [it, created] = m_tracks.try_emplace(objectId);
  Track& t = it->second;
  if (created) {
    t.hexid = hexid;
    m_objectsOfHexid[hexid].push_back(objectId);
  }
  if (!t.points.empty() && (cycle % m_options.sampleEvery != 0 || cycle <= t.points.back().cycle)) return;
  t.points.push_back({cycle, block.latitude, block.longitude, static_cast<float>(block.altitude)});
}

const FidelityRecorder::Track* FidelityRecorder::trackAt(std::uint32_t hexid, std::int32_t cycle) const {
  auto objects = m_objectsOfHexid.find(hexid);
  if (objects == m_objectsOfHexid.end()) return nullptr;
  for (std::uint32_t id : objects->second) {
    const Track& t = m_tracks.at(id);
    if (t.points.front().cycle <= cycle && cycle <= t.points.back().cycle) return &t;
  }
  return nullptr;
}

bool FidelityRecorder::positionAt(const Track& t, std::int32_t cycle, double& latitude, double& longitude) {
  const auto after = std::lower_bound(t.points.begin(), t.points.end(), cycle,
                                      [](const Point& p, std::int32_t c) { return p.cycle < c; });
  if (after == t.points.end()) return false;
  if (after->cycle == cycle || after == t.points.begin()) {
    if (after->cycle != cycle) return false;
    latitude = after->latitude;
    longitude = after->longitude;
    return true;
  }
  const Point& a = *(after - 1);
  const double u = static_cast<double>(cycle - a.cycle) / (after->cycle - a.cycle);
  latitude = a.latitude + u * (after->latitude - a.latitude);
  longitude = a.longitude + u * (after->longitude - a.longitude);
  return true;
}

bool FidelityRecorder::closestApproach(const Track& t, std::int32_t from, std::int32_t to, double latitude,
                                       double longitude, double& cycle, double& metres) {
  auto it = std::lower_bound(t.points.begin(), t.points.end(), from,
                             [](const Point& p, std::int32_t c) { return p.cycle < c; });
  if (it != t.points.begin()) --it;
  metres = std::numeric_limits<double>::infinity();
  const Local p{0, 0};
  for (; it + 1 != t.points.end() && it->cycle <= to; ++it) {
    const Point& a = *it;
    const Point& b = *(it + 1);
    double along = 0;
    const double d = lf_segmentDistance(p, lf_local(latitude, longitude, a.latitude, a.longitude),
                                        lf_local(latitude, longitude, b.latitude, b.longitude), along);
    if (d < metres) {
      metres = d;
      cycle = a.cycle + along * (b.cycle - a.cycle);
    }
  }
  return std::isfinite(metres);
}

FidelityFigures FidelityRecorder::figures() const {
  FidelityFigures f;
  const std::int32_t delay = m_options.delayCycles;
  struct Use {
    const Track* track;
    const Reported* position;
  };
  std::vector<Use> uses;  // airborne positions whose object flew around their due cycle
  std::vector<double> late;
  for (const auto& [hexid, positions] : m_reported) {
    for (std::size_t i = 0; i < positions.size(); ++i) {
      const Reported& r = positions[i];
      // A repeat of the position before it is no news of where the aircraft is.
      if (!r.airborne) continue;
      if (i > 0 && positions[i - 1].latitude == r.latitude && positions[i - 1].longitude == r.longitude) continue;
      const std::int32_t due = r.queued + delay;
      const Track* t = trackAt(hexid, due);
      if (t == nullptr) continue;
      uses.push_back({t, &r});
      double cycle = 0, metres = 0;
      if (!closestApproach(*t, due - m_options.searchCycles, due + m_options.searchCycles, r.latitude, r.longitude,
                           cycle, metres) ||
          metres > m_options.nearMetres)
        continue;
      late.push_back((cycle - due) / static_cast<double>(kCyclesPerSecond));
    }
  }
  f.positions = late.size();
  f.medianLateSeconds = lf_median(late);
  f.meanLateSeconds = late.empty() ? 0 : std::accumulate(late.begin(), late.end(), 0.0) / static_cast<double>(late.size());

  // The distance between each position and the object a given delay after the position was queued.
  const auto distancesAt = [&](std::int32_t d) {
    std::vector<double> out;
    out.reserve(uses.size());
    for (const Use& u : uses) {
      double lat = 0, lon = 0;
      if (!positionAt(*u.track, u.position->queued + d, lat, lon)) continue;
      const Local l = lf_local(u.position->latitude, u.position->longitude, lat, lon);
      out.push_back(std::hypot(l.north, l.east));
    }
    return out;
  };
  double best = std::numeric_limits<double>::infinity();
  for (std::int32_t d = kFitFrom; d <= kFitTo; d += kFitStep) {
    const double m = lf_median(distancesAt(d));
    if (m < best) {
      best = m;
      f.fittedDelaySeconds = d / static_cast<double>(kCyclesPerSecond);
    }
  }
  const std::vector<double> atDue = distancesAt(delay);
  f.atDue = atDue.size();
  f.medianDistanceAtDueMetres = lf_median(atDue);
  f.p95DistanceAtDueMetres = lf_percentile(atDue, 0.95);

  // Cross-track: every fifth kept point in the air, between the first and the last reported
  // position the object flew (not the synthetic legs after its stream).
  std::vector<double> cross;
  for (const auto& [id, t] : m_tracks) {
    auto reported = m_reported.find(t.hexid);
    if (reported == m_reported.end()) continue;
    // The distinct positions: a position the feed repeats tells nothing new, and a run of repeats
    // is a silence of the feed.
    std::vector<const Reported*> legs;
    for (const Reported& r : reported->second)
      if (r.airborne && r.queued + delay >= t.points.front().cycle && r.queued + delay <= t.points.back().cycle &&
          (legs.empty() || legs.back()->latitude != r.latitude || legs.back()->longitude != r.longitude))
        legs.push_back(&r);
    if (legs.size() < 2) continue;
    for (std::size_t k = 0; k < t.points.size(); k += 5) {
      const Point& p = t.points[k];
      if (p.cycle < legs.front()->queued + delay || p.cycle > legs.back()->queued + delay) continue;
      if (p.altitude < m_options.groundElevationFt + kAirborneAboveFt) continue;
      const auto after = std::upper_bound(legs.begin(), legs.end(), p.cycle - delay,
                                          [](std::int32_t c, const Reported* r) { return c < r->queued; });
      if (after != legs.begin() && after != legs.end() && (*after)->queued - (*(after - 1))->queued > kCrossTrackGap)
        continue;
      double nearest = std::numeric_limits<double>::infinity();
      for (std::size_t i = 0; i + 1 < legs.size(); ++i) {
        const Reported& a = *legs[i];
        const Reported& b = *legs[i + 1];
        if (b.queued + delay < p.cycle - kCrossTrackReach || a.queued + delay > p.cycle + kCrossTrackReach) continue;
        double along = 0;
        nearest = std::min(nearest, lf_segmentDistance({0, 0}, lf_local(p.latitude, p.longitude, a.latitude, a.longitude),
                                                       lf_local(p.latitude, p.longitude, b.latitude, b.longitude), along));
      }
      if (std::isfinite(nearest)) cross.push_back(nearest);
    }
  }
  f.crossTrackPoints = cross.size();
  f.medianCrossTrackMetres = lf_median(cross);
  f.p95CrossTrackMetres = lf_percentile(cross, 0.95);
  return f;
}

std::string FidelityRecorder::describe(const FidelityFigures& f) {
  return fmt::format(
      "airborne positions passed: {}\n"
      "late at the closest approach, median: {:.2f} s (mean {:.2f} s)\n"
      "fitted delay behind the reported positions: {:.2f} s\n"
      "distance at the due time ({} positions): median {:.0f} m, p95 {:.0f} m\n"
      "airborne cross-track ({} points): median {:.1f} m, p95 {:.1f} m\n",
      f.positions, f.medianLateSeconds, f.meanLateSeconds, f.fittedDelaySeconds, f.atDue, f.medianDistanceAtDueMetres,
      f.p95DistanceAtDueMetres, f.crossTrackPoints, f.medianCrossTrackMetres, f.p95CrossTrackMetres);
}

}  // namespace amb::enginesim
