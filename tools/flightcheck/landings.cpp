// Arrivals the records land at an airport of the list, and how their objects touch down; objects
// removed while the feed goes on reporting their aircraft.

#include "flightcheck/sampling.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace amb::flightcheck::detail {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMetresPerDegree = 111132.95;
// Shorter runways are a heliport's pads.
constexpr double kShortestRunwayM = 300;
// The course at touchdown is the one flown over the seconds before it; the records' over a longer
// stretch, as they come ten seconds apart.
constexpr double kCourseSeconds = 3;
constexpr double kRecordedCourseSeconds = 20;

// The feed's own judgement of a record on the ground, against the field under it.
bool lf_recordOnGround(const Recorded& r, double field) {
  if (r.altitude <= 0) return true;
  if (r.altitude < 14000) {
    const double d = r.altitude - field, ad = std::fabs(d);
    if (d <= 0 || (ad <= 45 && r.speedKt <= 120) || (ad <= 90 && r.speedKt <= 80) || (ad <= 120 && r.speedKt <= 43))
      return true;
  }
  return r.speedKt <= 35;
}

struct Local {
  double north, east;
};
Local lf_local(const LatLon& origin, const LatLon& p) {
  return {(p.lat - origin.lat) * kMetresPerDegree,
          (p.lon - origin.lon) * kMetresPerDegree * std::cos(origin.lat * kDegToRad)};
}

// Where on a runway a point lies: the end it is landed over (by the course), metres from that end
// and from the centre line.
struct OnRunway {
  const Runway* runway = nullptr;
  int from = 0;  // the end it lands over
  double alongM = 0;
  double lateralM = 0;
  double lengthM = 0;
};

OnRunway lf_placeOn(const Runway& r, const LatLon& p, double courseDeg) {
  const Local u = lf_local(r.at[0], r.at[1]);
  const Local q = lf_local(r.at[0], p);
  const double length = std::hypot(u.north, u.east);
  OnRunway out;
  out.runway = &r;
  out.lengthM = length;
  if (length <= 0) return out;
  const double un = u.north / length, ue = u.east / length;
  const double along = q.north * un + q.east * ue;
  out.lateralM = std::fabs(q.north * ue - q.east * un);
  const double cn = std::cos(courseDeg * kDegToRad), ce = std::sin(courseDeg * kDegToRad);
  out.from = cn * un + ce * ue >= 0 ? 0 : 1;
  out.alongM = out.from == 0 ? along : length - along;
  return out;
}

// The runway of the airport a point lies on (the nearest centre line within its half width and the
// slack, and along it within the slack); runway nullptr when none.
OnRunway lf_runwayAt(const Airport& airport, const LatLon& p, double courseDeg, double slackM) {
  OnRunway best;
  for (const Runway& r : airport.runways) {
    if (r.lengthM < kShortestRunwayM) continue;
    const OnRunway on = lf_placeOn(r, p, courseDeg);
    if (on.lateralM > r.widthM / 2 + slackM || on.alongM < -slackM || on.alongM > on.lengthM + slackM) continue;
    if (best.runway == nullptr || on.lateralM < best.lateralM) best = on;
  }
  return best;
}

// The nearest airport with a runway within nm of a point; nullptr when none.
const Airport* lf_airportNear(const std::vector<Airport>& airports, const LatLon& p, double nm) {
  const Airport* best = nullptr;
  double nearest = nm;
  for (const Airport& a : airports) {
    if (std::none_of(a.runways.begin(), a.runways.end(), [](const Runway& r) { return r.lengthM >= kShortestRunwayM; }))
      continue;
    const double d = gf_distanceNm(a.at, p);
    if (d <= nearest) {
      nearest = d;
      best = &a;
    }
  }
  return best;
}

// Where the records are at time t: between the first reports of the positions before and after it
// (a repeated position tells nothing of where the aircraft has gone since).
LatLon lf_recordedAt(const std::vector<Recorded>& records, double t) {
  const Recorded* before = nullptr;
  for (const Recorded& r : records) {
    if (before != nullptr && r.latitude == before->latitude && r.longitude == before->longitude) continue;
    if (r.t <= t || before == nullptr) {
      before = &r;
      continue;
    }
    const double u = (t - before->t) / (r.t - before->t);
    return {before->latitude + u * (r.latitude - before->latitude),
            before->longitude + u * (r.longitude - before->longitude)};
  }
  return before != nullptr ? posOf(*before) : LatLon{};
}

std::string lf_trimUnderscore(std::string s) {
  while (!s.empty() && s.back() == '_') s.pop_back();
  return s;
}

class ArrivalJudge {
public:
  ArrivalJudge(const Input& input, const Options& o, const Fields& fields, std::vector<const FlownTrack*> tracks)
      : m_in(input), m_o(o), m_fields(fields), m_tracks(std::move(tracks)) {}

  // Judges the arrival whose records turn to the ground at records[i]; the index of the next record
  // in the air after it (records.size() when none).
  std::size_t judge(const ReportedAircraft& aircraft, std::size_t i, const Airport& airport, Arrival& a) const;

private:
  bool down(const FlownPoint& p) const { return m_fields.down(p, m_fields.at(p.latitude, p.longitude)); }
  const Input& m_in;
  const Options& m_o;
  const Fields& m_fields;
  std::vector<const FlownTrack*> m_tracks;
};

std::size_t ArrivalJudge::judge(const ReportedAircraft& aircraft, std::size_t i, const Airport& airport,
                                Arrival& a) const {
  const auto& records = aircraft.records;
  const double delay = m_in.delaySeconds;
  const Recorded& ground = records[i];
  // A repeated position keeps the time it was first reported: the records may hold the last
  // airborne point for most of a minute.
  std::size_t first = i - 1;
  while (first > 0 && records[first - 1].latitude == records[i - 1].latitude &&
         records[first - 1].longitude == records[i - 1].longitude)
    --first;
  a.airport = airport.code;
  a.airborneAt = records[first].t;
  a.groundAt = ground.t;
  // The last airborne altitude, from its first report: the records may hold a stale altitude while
  // the positions move on down the runway.
  std::size_t level = i - 1;
  const auto airborne = [&](const Recorded& r) { return !lf_recordOnGround(r, m_fields.at(r.latitude, r.longitude)); };
  while (level > 0 && records[level - 1].altitude == records[i - 1].altitude && airborne(records[level - 1])) --level;
  const Recorded& last = records[level];
  a.recordedTouchdownAt = ground.t;
  for (std::size_t k = level; k-- > 0;) {
    const Recorded& r = records[k];
    if (!airborne(r)) break;
    if (last.t - r.t < m_o.descentBaselineSeconds) continue;
    const double rate = (r.altitude - last.altitude) / (last.t - r.t);
    if (rate > 0) {
      const double reach = last.t + (last.altitude - m_fields.at(ground.latitude, ground.longitude)) / rate;
      a.recordedTouchdownAt = std::clamp(reach, last.t, ground.t);
    }
    break;
  }
  a.feedStopped = ground.t - a.recordedTouchdownAt > m_o.stoppedAfterSeconds;
  std::size_t upAgain = i + 1;
  while (upAgain < records.size() &&
         lf_recordOnGround(records[upAgain], m_fields.at(records[upAgain].latitude, records[upAgain].longitude)))
    ++upAgain;
  const double upAgainAt =
      upAgain < records.size() ? records[upAgain].t + delay : std::numeric_limits<double>::infinity();

  double approach = std::numeric_limits<double>::infinity();
  for (std::size_t k = i; k-- > 0 && records[k].t >= a.airborneAt - m_o.approachSeconds;) {
    const Recorded& r = records[k];
    const double field = m_fields.at(r.latitude, r.longitude);
    if (!lf_recordOnGround(r, field) && r.altitude - field <= m_o.approachAboveFt)
      approach = std::min(approach, r.speedKt);
  }
  a.approachKt = std::isfinite(approach) ? approach : records[i - 1].speedKt;

  // The records' touchdown on a runway, by their own course to it.
  const LatLon recordedAt = lf_recordedAt(records, a.recordedTouchdownAt);
  const double recordedCourse =
      gf_bearingRad(lf_recordedAt(records, a.recordedTouchdownAt - kRecordedCourseSeconds), recordedAt) * kRadToDeg;
  const OnRunway recorded = lf_runwayAt(airport, recordedAt, recordedCourse, m_o.runwaySlackM);
  a.placeJudged = recorded.runway != nullptr || a.feedStopped;
  if (recorded.runway != nullptr) a.recordedAlongM = recorded.alongM;

  const double from = a.airborneAt + delay - m_o.touchdownBeforeSeconds;
  const double to = a.groundAt + delay + m_o.touchdownAfterSeconds;
  const FlownTrack* track = nullptr;
  std::size_t at = 0;
  for (const FlownTrack* t : m_tracks) {
    const auto& p = t->points;
    auto it = std::lower_bound(p.begin(), p.end(), from, [](const FlownPoint& q, double v) { return q.t < v; });
    for (; it != p.end() && it->t <= to; ++it) {
      const bool isDown = down(*it);
      if (!isDown && it->t <= a.airborneAt + delay) a.flown = true;
      if (!isDown || it == p.begin() || down(*(it - 1)) || (it - 1)->t < from) continue;
      if (track == nullptr || it->t < track->points[at].t) {
        track = t;
        at = static_cast<std::size_t>(it - p.begin());
      }
      break;
    }
  }
  if (track == nullptr) {
    for (const FlownTrack* t : m_tracks) {
      const auto& p = t->points;
      if (p.back().t < from || p.front().t > to) continue;
      if (!a.why.empty()) a.why += "; ";
      if (p.front().t >= from && down(p.front()))
        a.why += fmt::format("an object created on the ground at {:.1f} s", p.front().t);
      else if (std::isfinite(t->removedAt) && t->removedAt <= to && !down(p.back()))
        a.why += fmt::format("its object removed in the air at {:.1f} s, {:.0f} ft above the field", t->removedAt,
                             m_fields.height(p.back()));
      else
        a.why += fmt::format("its object in the air until {:.1f} s", std::min(p.back().t, to));
    }
    return upAgain;
  }
  const FlownPoint& touch = track->points[at];
  a.touchedDown = true;
  a.touchdownAt = touch.t;
  a.lateSeconds = touch.t - (a.recordedTouchdownAt + delay);
  a.inTime = std::fabs(a.lateSeconds) <= m_o.touchdownWithinSeconds;

  const auto before = pointAt(*track, std::max(track->points.front().t, touch.t - kCourseSeconds), m_o.maxGapSeconds);
  const double course =
      before ? gf_bearingRad(posOf(*before), posOf(touch)) * kRadToDeg : static_cast<double>(touch.headingDeg);
  const OnRunway on = lf_runwayAt(airport, posOf(touch), course, m_o.runwaySlackM);
  if (on.runway != nullptr) {
    a.runway = on.runway->ends[static_cast<std::size_t>(on.from)];
    a.alongM = on.alongM;
    a.runwayLengthM = on.lengthM;
    // Past the threshold, within the runway's first part or no farther down it than the records
    // touch down; where the feed stopped above the field, within the share of it a landing from the
    // approach's own line takes.
    const bool sameRunway = recorded.runway == on.runway && recorded.from == on.from;
    const bool firstPart = a.feedStopped ? on.alongM <= m_o.stoppedRunwayShare * on.lengthM
                                         : on.alongM <= m_o.runwayShare * on.lengthM ||
                                               (sameRunway && on.alongM <= recorded.alongM + m_o.beyondRecordedM);
    a.inFirstPart = on.alongM >= 0 && firstPart;
  }

  const auto& p = track->points;
  for (std::size_t k = at + 1; k < p.size() && p[k].t < upAgainAt; ++k)
    if (!down(p[k])) {
      a.airborneAgainAt = p[k].t;
      break;
    }

  double flare = std::numeric_limits<double>::infinity();
  for (double mid = touch.t - m_o.flareSeconds; mid < touch.t; mid += m_o.gridSeconds) {
    const auto iv = intervalAt(*track, mid, m_o, m_fields);
    if (iv && !iv->onGround && iv->heightFt <= m_o.flareAboveFt) flare = std::min(flare, iv->speedKt);
  }
  if (std::isfinite(flare)) {
    a.flareKt = flare;
    a.slowFlare = flare < m_o.flareShare * a.approachKt;
  }
  return upAgain;
}

}  // namespace

void measureArrivals(const Input& input, const Options& o, const Fields& fields, Figures& f) {
  std::map<std::uint32_t, std::vector<const FlownTrack*>> byHexid;
  double flownTo = -std::numeric_limits<double>::infinity();
  for (const FlownTrack& t : input.tracks) {
    if (t.points.empty()) continue;
    flownTo = std::max(flownTo, t.points.back().t);
    if (t.hexid != 0) byHexid[t.hexid].push_back(&t);
  }
  for (const auto& [hexid, aircraft] : input.reported) {
    auto tracks = byHexid.find(hexid);
    if (tracks == byHexid.end()) continue;
    int category = aircraft.category;
    for (const FlownTrack* t : tracks->second)
      if (t->category >= 0) category = t->category;
    if (category == kRotorcraft) continue;
    const ArrivalJudge judge(input, o, fields, tracks->second);
    const auto& records = aircraft.records;
    for (std::size_t i = 1; i < records.size();) {
      const Recorded& r = records[i];
      const Recorded& before = records[i - 1];
      if (lf_recordOnGround(before, fields.at(before.latitude, before.longitude)) ||
          !lf_recordOnGround(r, fields.at(r.latitude, r.longitude))) {
        ++i;
        continue;
      }
      const Airport* airport = lf_airportNear(input.airports, posOf(r), o.arrivalNearNm);
      // Only a touchdown whose time the flown clock covers is judged.
      if (airport == nullptr || r.t + input.delaySeconds + o.touchdownWithinSeconds > flownTo) {
        ++i;
        continue;
      }
      Arrival a;
      a.hexid = hexid;
      a.callsign = aircraft.callsign;
      i = std::max(i + 1, judge.judge(aircraft, i, *airport, a));
      if (a.flown) {
        ++f.arrivalsJudged;
        if (!a.inTime && !(a.touchedDown && a.feedStopped)) ++f.arrivalsLate;
        if (a.touchedDown && a.placeJudged && !a.inFirstPart) ++f.arrivalsLong;
        if (a.touchedDown && !std::isnan(a.airborneAgainAt)) ++f.arrivalsUpAgain;
        if (a.slowFlare) ++f.arrivalsSlowFlare;
      }
      f.arrivals.push_back(std::move(a));
    }
  }
  std::stable_sort(f.arrivals.begin(), f.arrivals.end(),
                   [](const Arrival& x, const Arrival& y) { return x.groundAt < y.groundAt; });
}

void measureRemovals(const Input& input, const Options& o, Figures& f) {
  double flownTo = -std::numeric_limits<double>::infinity();
  for (const FlownTrack& t : input.tracks)
    if (!t.points.empty()) flownTo = std::max(flownTo, t.points.back().t);
  const auto createdAt = [](const FlownTrack& t) {
    return std::isfinite(t.createdAt) ? t.createdAt : t.points.empty() ? kNaN : t.points.front().t;
  };
  for (const FlownTrack& t : input.tracks) {
    if (!std::isfinite(t.removedAt) || t.hexid == 0) continue;
    auto reported = input.reported.find(t.hexid);
    if (reported == input.reported.end()) continue;
    double until = kNaN;
    const Reported* first = nullptr;  // the first report of the position of r
    for (const Reported& r : reported->second.positions) {
      if (first == nullptr || first->latitude != r.latitude || first->longitude != r.longitude) first = &r;
      // Reports the program creates no aircraft for: beyond the radius, and on the ground away from
      // the park airport (the landing roll of an aircraft that landed there, which ends with it).
      if (input.user && gf_distanceNm(*input.user, posOf(r)) > input.radiusNm - o.radiusEdgeNm) continue;
      if (!r.airborne && (!input.park || gf_distanceNm(*input.park, posOf(r)) > o.parkGroundNm)) continue;
      const double due = r.t + input.delaySeconds;
      if (due > t.removedAt + o.reportedAfterSeconds && due <= flownTo && first->t + input.delaySeconds > t.removedAt)
        until = due;
    }
    if (std::isnan(until)) continue;
    const std::string callsign = lf_trimUnderscore(t.callsign);
    const bool again = std::any_of(input.tracks.begin(), input.tracks.end(), [&](const FlownTrack& other) {
      if (&other == &t || !(createdAt(other) >= t.removedAt)) return false;
      return other.hexid == t.hexid || (!callsign.empty() && lf_trimUnderscore(other.callsign) == callsign);
    });
    if (again) continue;
    Removal r;
    r.hexid = t.hexid;
    r.objectId = t.objectId;
    r.callsign = t.callsign;
    r.removedAt = t.removedAt;
    r.reportedUntil = until;
    if (!t.points.empty()) {
      r.altitude = t.points.back().altitude;
      r.onGround = t.points.back().onGround;
    }
    f.removedNotRecreated.push_back(std::move(r));
  }
  std::sort(f.removedNotRecreated.begin(), f.removedNotRecreated.end(),
            [](const Removal& x, const Removal& y) { return x.removedAt < y.removedAt; });
}

}  // namespace amb::flightcheck::detail
