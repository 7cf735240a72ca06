// The airborne cross-track against the records: how far, once a flown second, a fixed-wing aircraft
// in the air is from the path its records draw around the time it is due there, in all and split by
// what lies around (the records' own jumps and reversals, the ground near an airport); up to the
// aircraft's last new airborne record, and past it apart.

#include "flightcheck/sampling.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <tuple>
#include <vector>

namespace amb::flightcheck {

DistanceFigures distanceFigures(std::vector<double> metres) {
  DistanceFigures out;
  out.n = metres.size();
  if (metres.empty()) return out;
  std::sort(metres.begin(), metres.end());
  // Between the two nearest ranks, so that a percentile of few samples moves smoothly.
  const auto at = [&](double q) {
    const double rank = q * static_cast<double>(metres.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, metres.size() - 1);
    return metres[below] + (rank - static_cast<double>(below)) * (metres[above] - metres[below]);
  };
  out.p50 = at(0.5);
  out.p95 = at(0.95);
  out.max = metres.back();
  return out;
}

namespace detail {

namespace {

constexpr double kMetresPerNm = 1852;

using Records = std::vector<Recorded>;

// The records with times from `from` to `to` and the one just outside either end.
std::pair<std::size_t, std::size_t> lf_span(const Records& r, double from, double to) {
  const auto first = std::lower_bound(r.begin(), r.end(), from, [](const Recorded& x, double t) { return x.t < t; });
  const auto last = std::upper_bound(r.begin(), r.end(), to, [](double t, const Recorded& x) { return t < x.t; });
  std::size_t i = static_cast<std::size_t>(first - r.begin()), j = static_cast<std::size_t>(last - r.begin());
  if (i > 0) --i;
  if (j < r.size()) ++j;
  return {i, j};
}

// Metres from a point to the polyline of records i to j (exclusive).
double lf_toPolyline(const LatLon& p, const Records& r, std::size_t i, std::size_t j) {
  if (j - i == 1) return gf_distanceNm(p, posOf(r[i])) * kMetresPerNm;
  double least = std::numeric_limits<double>::infinity();
  for (std::size_t k = i; k + 1 < j; ++k)
    least = std::min(least, gf_segmentDistanceNm(p, posOf(r[k]), posOf(r[k + 1])) * kMetresPerNm);
  return least;
}

// Whether the records around `t` (reported clock) jump or reverse (Options::jumpWindowSeconds).
bool lf_nearJump(const Records& r, double t, const Options& o) {
  auto [i, j] = lf_span(r, t - o.jumpWindowSeconds, t + o.jumpWindowSeconds);
  // The distinct positions, each at the time it was first reported: a repeat is nothing new.
  while (i > 0 && r[i - 1].latitude == r[i].latitude && r[i - 1].longitude == r[i].longitude) --i;
  std::vector<const Recorded*> moves;
  for (std::size_t k = i; k < j; ++k)
    if (moves.empty() || moves.back()->latitude != r[k].latitude || moves.back()->longitude != r[k].longitude)
      moves.push_back(&r[k]);
  double lastLeg = std::numeric_limits<double>::quiet_NaN();  // the course of the last leg long enough
  for (std::size_t k = 0; k + 1 < moves.size(); ++k) {
    const Recorded& a = *moves[k];
    const Recorded& b = *moves[k + 1];
    const double metres = gf_distanceNm(posOf(a), posOf(b)) * kMetresPerNm;
    const double seconds = std::max(b.t - a.t, 0.1);
    const double speed = std::max({a.speedKt, b.speedKt, o.jumpLeastKt}) * kMetresPerKnot;
    if (metres > o.jumpLeastM && metres / seconds > o.jumpSpeedFactor * speed) return true;
    if (metres < o.reversalLegM) continue;
    const double course = gf_bearingRad(posOf(a), posOf(b)) * kRadToDeg;
    if (!std::isnan(lastLeg) && std::fabs(turnDeg(lastLeg, course)) > o.reversalDeg) return true;
    lastLeg = course;
  }
  return false;
}

// The nearest airport known by more than its runways.
const Airport* lf_nearestAirport(const std::vector<Airport>& airports, const LatLon& p) {
  const Airport* best = nullptr;
  double least = std::numeric_limits<double>::infinity();
  for (const Airport& a : airports) {
    if (a.runwaysOnly) continue;
    const double nm = gf_distanceNm(p, a.at);
    if (nm < least) {
      least = nm;
      best = &a;
    }
  }
  return best;
}

// When the last position not recorded before was first recorded with the aircraft in the air
// (reported clock); -infinity when none.
double lf_lastNewAirborne(const Records& r, const Fields& fields) {
  std::set<std::pair<double, double>> seen;
  double last = -std::numeric_limits<double>::infinity();
  for (const Recorded& x : r)
    if (seen.emplace(x.latitude, x.longitude).second && !recordOnGround(x, fields.at(x.latitude, x.longitude)))
      last = x.t;
  return last;
}

}  // namespace

void measureCrossTrack(const Input& input, const Options& o, const Fields& fields, Figures& f) {
  std::vector<double> all, away, low, high, past;
  std::map<std::uint32_t, std::vector<double>> byHexid;
  std::map<std::uint32_t, std::size_t> pastByHexid;
  std::map<std::uint32_t, std::pair<double, double>> farthest;  // metres, when
  // Past the recording's last line nothing tells where any aircraft is.
  double recordsEnd = -std::numeric_limits<double>::infinity();
  for (const auto& [hexid, a] : input.reported)
    if (!a.records.empty()) recordsEnd = std::max(recordsEnd, a.records.back().t);
  for (const FlownTrack& track : input.tracks) {
    auto rep = input.reported.find(track.hexid);
    if (track.points.size() < 2 || track.hexid == 0 || rep == input.reported.end()) continue;
    const Records& records = rep->second.records;
    if (records.empty()) continue;
    const int category = track.category >= 0 ? track.category : rep->second.category;
    if (category == kRotorcraft) continue;
    const double lastNew = lf_lastNewAirborne(records, fields);
    const double from = track.points.front().t + o.crossTrackEdgeSeconds;
    const double to = track.points.back().t - o.crossTrackEdgeSeconds;
    for (double t = from; t <= to + 1e-9; t += 1) {
      const auto p = pointAt(track, t, o.maxGapSeconds);
      if (!p) continue;
      const double field = fields.at(p->latitude, p->longitude);
      if (fields.down(*p, field)) continue;
      const double due = t - input.delaySeconds;
      if (due > recordsEnd) break;
      const auto [i, j] = lf_span(records, due - o.crossTrackWindowSeconds, due + o.crossTrackWindowSeconds);
      if (i >= j) continue;
      const double d = lf_toPolyline(posOf(*p), records, i, j);
      if (due > lastNew) {
        past.push_back(d);
        ++pastByHexid[track.hexid];
        continue;
      }
      all.push_back(d);
      byHexid[track.hexid].push_back(d);
      auto& worst = farthest[track.hexid];
      if (d > worst.first) worst = {d, t};
      if (!lf_nearJump(records, due, o)) away.push_back(d);
      const Airport* a = lf_nearestAirport(input.airports, posOf(*p));
      const bool isLow = a != nullptr && p->altitude - fields.cg() - a->elevationFt < o.lowAboveFt &&
                         gf_distanceNm(posOf(*p), a->at) <= o.lowWithinNm;
      (isLow ? low : high).push_back(d);
    }
  }
  f.crossTrack.all = distanceFigures(std::move(all));
  f.crossTrack.awayFromJumps = distanceFigures(std::move(away));
  f.crossTrack.lowNearAirport = distanceFigures(std::move(low));
  f.crossTrack.aboveOrFarther = distanceFigures(std::move(high));
  f.crossTrackPast = distanceFigures(std::move(past));
  for (AircraftFigures& a : f.aircraft) {
    a.crossTrackPastSeconds = a.hexid != 0 && pastByHexid.count(a.hexid) != 0 ? pastByHexid[a.hexid] : 0;
    auto it = byHexid.find(a.hexid);
    if (a.hexid == 0 || it == byHexid.end()) continue;
    a.crossTrackSeconds = it->second.size();
    a.crossTrackP95Metres = distanceFigures(std::move(it->second)).p95;
    std::tie(a.crossTrackMaxMetres, a.crossTrackMaxAt) = farthest[a.hexid];
  }
}

}  // namespace detail
}  // namespace amb::flightcheck
