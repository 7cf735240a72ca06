// Arrivals the records land at an airport of the list or end in the air above, and how their
// objects touch down against them; objects removed while the feed goes on reporting their aircraft,
// or in the air while it sends new positions.

#include "flightcheck/sampling.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace amb::flightcheck::detail {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kMetresPerDegree = 111132.95;
constexpr double kMetresPerNm = 1852;
// Shorter runways are a heliport's pads.
constexpr double kShortestRunwayM = 300;
// The course at touchdown is the one flown over the seconds before it; the records' over a longer
// stretch, as they come ten seconds apart.
constexpr double kCourseSeconds = 3;
constexpr double kRecordedCourseSeconds = 20;

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

// Metres from p to the segment from a to b, and to a line of such segments (a point when it has one).
double lf_segmentM(const Local& p, const Local& a, const Local& b) {
  const double dn = b.north - a.north, de = b.east - a.east, length2 = dn * dn + de * de;
  const double u =
      length2 > 0 ? std::clamp(((p.north - a.north) * dn + (p.east - a.east) * de) / length2, 0.0, 1.0) : 0.0;
  return std::hypot(a.north + u * dn - p.north, a.east + u * de - p.east);
}

double lf_toLineM(const Local& p, const std::vector<Local>& line) {
  if (line.size() == 1) return std::hypot(p.north - line[0].north, p.east - line[0].east);
  double least = std::numeric_limits<double>::infinity();
  for (std::size_t k = 0; k + 1 < line.size(); ++k) least = std::min(least, lf_segmentM(p, line[k], line[k + 1]));
  return least;
}

Local lf_unit(double courseDeg) { return {std::cos(courseDeg * kDegToRad), std::sin(courseDeg * kDegToRad)}; }

// A leg shorter than this gives no direction.
constexpr double kLeastLegM = 20;
// The last positions' line carried on ahead along their last track this far: the field bounds it.
constexpr double kAheadM = 100000;

class ArrivalJudge {
public:
  ArrivalJudge(const Input& input, const Options& o, const Fields& fields, std::vector<const FlownTrack*> tracks)
      : m_in(input), m_o(o), m_fields(fields), m_tracks(std::move(tracks)) {}

  // Judges the arrival whose records turn to the ground at records[i]; the index of the next record
  // in the air after it (records.size() when none).
  std::size_t judge(const ReportedAircraft& aircraft, std::size_t i, const Airport& airport, Arrival& a) const;
  // Judges the end of a stream in the air (its last record airborne): false when no object of it
  // touched down after it.
  bool judgeEnd(const ReportedAircraft& aircraft, Arrival& a) const;

private:
  bool down(const FlownPoint& p) const { return m_fields.down(p, m_fields.at(p.latitude, p.longitude)); }
  bool airborne(const Recorded& r) const { return !recordOnGround(r, m_fields.at(r.latitude, r.longitude)); }
  // The first point on the ground after one in the air within [from, to] of the aircraft's objects;
  // nullptr when none. An object in the air by `flownBy` marks the arrival flown.
  const FlownTrack* touchdown(double from, double to, double flownBy, Arrival& a, std::size_t& at) const;
  // The slowest airborne record of the approach that ends before records[end]; NaN when none is
  // low enough.
  double approachKt(const std::vector<Recorded>& records, std::size_t end, double airborneAt) const;
  // The touchdown's time, runway, whether it goes up again before upAgainAt, its flare.
  void landed(const FlownTrack& track, std::size_t at, double upAgainAt, Arrival& a) const;
  // Where it touched down against the line of the first ground records from records[i]; against the
  // line of the last airborne records up to records[last] carried on along their last track, on the
  // field, behind the last of them known in the air by no more than the bound: records[level], where
  // their last altitude was first reported (the feed may hold it while the positions move on).
  void againstGroundLine(const std::vector<Recorded>& records, std::size_t i, const LatLon& touch, Arrival& a) const;
  void againstLastLine(const std::vector<Recorded>& records, std::size_t level, std::size_t last, const LatLon& touch,
                       const Airport* field, Arrival& a) const;
  // The first of the airborne records up to records[last] that hold its altitude.
  std::size_t levelOf(const std::vector<Recorded>& records, std::size_t last) const;
  const Input& m_in;
  const Options& m_o;
  const Fields& m_fields;
  std::vector<const FlownTrack*> m_tracks;
};

const FlownTrack* ArrivalJudge::touchdown(double from, double to, double flownBy, Arrival& a, std::size_t& at) const {
  const FlownTrack* track = nullptr;
  for (const FlownTrack* t : m_tracks) {
    const auto& p = t->points;
    auto it = std::lower_bound(p.begin(), p.end(), from, [](const FlownPoint& q, double v) { return q.t < v; });
    for (; it != p.end() && it->t <= to; ++it) {
      const bool isDown = down(*it);
      if (!isDown && it->t <= flownBy) a.flown = true;
      if (!isDown || it == p.begin() || down(*(it - 1)) || (it - 1)->t < from) continue;
      if (track == nullptr || it->t < track->points[at].t) {
        track = t;
        at = static_cast<std::size_t>(it - p.begin());
      }
      break;
    }
  }
  return track;
}

double ArrivalJudge::approachKt(const std::vector<Recorded>& records, std::size_t end, double airborneAt) const {
  double approach = std::numeric_limits<double>::infinity();
  for (std::size_t k = end; k-- > 0 && records[k].t >= airborneAt - m_o.approachSeconds;) {
    const Recorded& r = records[k];
    if (airborne(r) && r.altitude - m_fields.at(r.latitude, r.longitude) <= m_o.approachAboveFt)
      approach = std::min(approach, r.speedKt);
  }
  return std::isfinite(approach) ? approach : kNaN;
}

void ArrivalJudge::landed(const FlownTrack& track, std::size_t at, double upAgainAt, Arrival& a) const {
  const FlownPoint& touch = track.points[at];
  a.touchedDown = true;
  a.touchdownAt = touch.t;
  a.lateSeconds = touch.t - (a.recordedTouchdownAt + m_in.delaySeconds);
  a.inTime = std::fabs(a.lateSeconds) <= m_o.touchdownWithinSeconds;

  const auto before = pointAt(track, std::max(track.points.front().t, touch.t - kCourseSeconds), m_o.maxGapSeconds);
  const double course =
      before ? gf_bearingRad(posOf(*before), posOf(touch)) * kRadToDeg : static_cast<double>(touch.headingDeg);
  // The runway of any airport near it: a field the records end above may lie beside another.
  OnRunway on;
  for (const Airport& airport : m_in.airports) {
    if (gf_distanceNm(airport.at, posOf(touch)) > m_o.arrivalNearNm) continue;
    const OnRunway here = lf_runwayAt(airport, posOf(touch), course, m_o.runwaySlackM);
    if (here.runway != nullptr && (on.runway == nullptr || here.lateralM < on.lateralM)) on = here;
  }
  if (on.runway != nullptr) {
    a.runway = on.runway->ends[static_cast<std::size_t>(on.from)];
    a.alongM = on.alongM;
    a.lateralM = on.lateralM;
    a.runwayLengthM = on.lengthM;
  }

  const auto& p = track.points;
  for (std::size_t k = at + 1; k < p.size() && p[k].t < upAgainAt; ++k)
    if (!down(p[k])) {
      a.airborneAgainAt = p[k].t;
      break;
    }

  // Intervals whose window ends by the touchdown: one across it would take in the roll-out's speed.
  double flare = std::numeric_limits<double>::infinity();
  const double h = m_o.gridSeconds, window = std::max(m_o.windowSeconds, h);
  for (int k = static_cast<int>(std::lround(m_o.flareSeconds / h)); k > 0; --k) {
    const double mid = touch.t - (k - 0.5) * h;
    if (mid + window / 2 > touch.t + 1e-9) break;
    const auto iv = intervalAt(track, mid, m_o, m_fields);
    if (iv && !iv->onGround && iv->heightFt <= m_o.flareAboveFt) flare = std::min(flare, iv->speedKt);
  }
  if (std::isfinite(flare)) {
    a.flareKt = flare;
    a.slowFlare = flare < m_o.flareShare * a.approachKt;
  }
}

void ArrivalJudge::againstGroundLine(const std::vector<Recorded>& records, std::size_t i, const LatLon& touch,
                                     Arrival& a) const {
  const Recorded& first = records[i];
  const LatLon origin = posOf(first);
  // The first ground positions, those within groundLineSeconds of the first or groundLineLengthM
  // along them.
  std::vector<Local> line{{0, 0}};
  double along = 0;
  LatLon last = origin;
  for (std::size_t k = i + 1; k < records.size(); ++k) {
    const Recorded& r = records[k];
    if (airborne(r)) break;
    if (r.latitude == last.lat && r.longitude == last.lon) continue;
    const double further = along + gf_distanceNm(last, posOf(r)) * kMetresPerNm;
    if (r.t - first.t > m_o.groundLineSeconds && further > m_o.groundLineLengthM) break;
    along = further;
    last = posOf(r);
    line.push_back(lf_local(origin, last));
  }
  // The line's direction at its first point, the way the records came to it: from the last
  // airborne position, else along its first leg (the roll may have turned off the runway since),
  // else the first ground record's own track.
  std::optional<Local> direction;
  for (std::size_t k = i; !direction && k-- > 0;) {
    const Local q = lf_local(origin, posOf(records[k]));
    const double length = std::hypot(q.north, q.east);
    if (length >= kLeastLegM) direction = Local{-q.north / length, -q.east / length};
  }
  for (const Local& q : line)
    if (!direction && std::hypot(q.north, q.east) >= kLeastLegM) {
      const double length = std::hypot(q.north, q.east);
      direction = Local{q.north / length, q.east / length};
    }
  if (!direction && first.trackDeg != 0) direction = lf_unit(first.trackDeg);
  const Local p = lf_local(origin, touch);
  if (direction) {
    line.insert(line.begin(), {-m_o.beforeGroundM * direction->north, -m_o.beforeGroundM * direction->east});
    a.alongLineM = p.north * direction->north + p.east * direction->east;
  }
  a.offLineM = lf_toLineM(p, line);
  a.placeHolds = a.offLineM <= m_o.groundLineM && !(a.alongLineM < -m_o.beforeGroundM);
}

std::size_t ArrivalJudge::levelOf(const std::vector<Recorded>& records, std::size_t last) const {
  std::size_t level = last;
  while (level > 0 && records[level - 1].altitude == records[last].altitude && airborne(records[level - 1])) --level;
  return level;
}

void ArrivalJudge::againstLastLine(const std::vector<Recorded>& records, std::size_t level, std::size_t last,
                                   const LatLon& touch, const Airport* field, Arrival& a) const {
  const Recorded& end = records[last];
  const LatLon origin = posOf(end);
  // The distinct airborne positions, each at the time it was first reported, from lastLineSeconds
  // before the last altitude was first reported; the oldest first.
  std::vector<Local> line;
  for (std::size_t k = last + 1; k-- > 0;) {
    const Recorded& r = records[k];
    if (!airborne(r)) break;
    const bool repeat = k > 0 && records[k - 1].latitude == r.latitude && records[k - 1].longitude == r.longitude;
    if (repeat) continue;
    if (r.t < records[level].t - m_o.lastLineSeconds) break;
    line.insert(line.begin(), lf_local(origin, posOf(r)));
  }
  if (line.empty()) line.push_back({0, 0});
  std::optional<Local> direction;
  if (end.trackDeg != 0) {
    direction = lf_unit(end.trackDeg);
  } else if (std::hypot(line.front().north, line.front().east) >= kLeastLegM) {
    const double length = std::hypot(line.front().north, line.front().east);
    direction = Local{-line.front().north / length, -line.front().east / length};
  }
  const Local p = lf_local(origin, touch);
  if (direction) {
    line.push_back({kAheadM * direction->north, kAheadM * direction->east});
    const Local held = lf_local(origin, posOf(records[level]));
    a.alongLineM = (p.north - held.north) * direction->north + (p.east - held.east) * direction->east;
  }
  a.offLineM = lf_toLineM(p, line);
  a.field = field != nullptr ? field->code : std::string();
  a.onField = field != nullptr && gf_distanceNm(field->at, touch) <= m_o.arrivalNearNm;
  a.placeHolds = a.onField && a.offLineM <= m_o.lastLineM && !(a.alongLineM < -m_o.lastLineM);
}

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
  const std::size_t level = levelOf(records, i - 1);
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
  while (upAgain < records.size() && !airborne(records[upAgain])) ++upAgain;
  const double upAgainAt =
      upAgain < records.size() ? records[upAgain].t + delay : std::numeric_limits<double>::infinity();
  a.approachKt = approachKt(records, i, a.airborneAt);
  if (std::isnan(a.approachKt)) a.approachKt = records[i - 1].speedKt;

  // Where the records touch down on a runway, by their own course to it, as information.
  const LatLon recordedAt = lf_recordedAt(records, a.recordedTouchdownAt);
  const double recordedCourse =
      gf_bearingRad(lf_recordedAt(records, a.recordedTouchdownAt - kRecordedCourseSeconds), recordedAt) * kRadToDeg;
  const OnRunway recorded = lf_runwayAt(airport, recordedAt, recordedCourse, m_o.runwaySlackM);
  if (recorded.runway != nullptr) a.recordedAlongM = recorded.alongM;

  const double from = a.airborneAt + delay - m_o.touchdownBeforeSeconds;
  const double to = a.groundAt + delay + m_o.touchdownAfterSeconds;
  std::size_t at = 0;
  const FlownTrack* track = touchdown(from, to, a.airborneAt + delay, a, at);
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
  landed(*track, at, upAgainAt, a);
  const LatLon touch = posOf(track->points[at]);
  if (a.feedStopped)
    againstLastLine(records, level, i - 1, touch, &airport, a);
  else
    againstGroundLine(records, i, touch, a);
  return upAgain;
}

bool ArrivalJudge::judgeEnd(const ReportedAircraft& aircraft, Arrival& a) const {
  const auto& records = aircraft.records;
  const double delay = m_in.delaySeconds;
  const std::size_t last = records.size() - 1;
  std::size_t first = last;
  while (first > 0 && records[first - 1].latitude == records[last].latitude &&
         records[first - 1].longitude == records[last].longitude)
    --first;
  a.endedInAir = true;
  a.airborneAt = records[first].t;
  a.groundAt = a.recordedTouchdownAt = records[last].t;
  // Not a touchdown the records' last ground report stands for.
  double from = a.airborneAt + delay - m_o.touchdownBeforeSeconds;
  for (std::size_t k = first; k-- > 0;)
    if (!airborne(records[k])) {
      from = std::max(from, records[k].t + delay);
      break;
    }
  std::size_t at = 0;
  const FlownTrack* track =
      touchdown(from, a.groundAt + delay + m_o.touchdownAfterSeconds, a.airborneAt + delay, a, at);
  if (track == nullptr) return false;
  const LatLon touch = posOf(track->points[at]);
  const Airport* field = lf_airportNear(m_in.airports, posOf(records[last]), m_o.arrivalNearNm);
  if (field == nullptr) field = lf_airportNear(m_in.airports, touch, m_o.arrivalNearNm);
  a.airport = field != nullptr ? field->code : std::string();
  // Records that end higher say nothing of the approach: the flare is not judged then.
  a.approachKt = approachKt(records, last + 1, a.airborneAt);
  landed(*track, at, std::numeric_limits<double>::infinity(), a);
  againstLastLine(records, levelOf(records, last), last, touch, field, a);
  return true;
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
  const auto count = [&](const Arrival& a) {
    if (!a.flown) return;
    ++f.arrivalsJudged;
    if (!a.inTime && !(a.touchedDown && (a.feedStopped || a.endedInAir))) ++f.arrivalsLate;
    if (a.touchedDown && !a.placeHolds) ++f.arrivalsLong;
    if (a.touchedDown && !std::isnan(a.airborneAgainAt)) ++f.arrivalsUpAgain;
    if (a.slowFlare) ++f.arrivalsSlowFlare;
  };
  for (const auto& [hexid, aircraft] : input.reported) {
    auto tracks = byHexid.find(hexid);
    if (tracks == byHexid.end()) continue;
    int category = aircraft.category;
    for (const FlownTrack* t : tracks->second)
      if (t->category >= 0) category = t->category;
    if (category == kRotorcraft) continue;
    const ArrivalJudge judge(input, o, fields, tracks->second);
    const auto& records = aircraft.records;
    const auto onGround = [&](const Recorded& r) { return recordOnGround(r, fields.at(r.latitude, r.longitude)); };
    for (std::size_t i = 1; i < records.size();) {
      const Recorded& r = records[i];
      const Recorded& before = records[i - 1];
      if (onGround(before) || !onGround(r)) {
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
      count(a);
      f.arrivals.push_back(std::move(a));
    }
    // A stream that ends in the air: where an object of it touches down after, it lands where the
    // records were heading.
    if (records.empty() || onGround(records.back())) continue;
    Arrival a;
    a.hexid = hexid;
    a.callsign = aircraft.callsign;
    if (!judge.judgeEnd(aircraft, a)) continue;
    count(a);
    f.arrivals.push_back(std::move(a));
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

void measureLiveRemovals(const Input& input, const Options& o, const Fields& fields, Figures& f) {
  double flownTo = -std::numeric_limits<double>::infinity();
  for (const FlownTrack& t : input.tracks)
    if (!t.points.empty()) flownTo = std::max(flownTo, t.points.back().t);
  // A removal this close to the end of the flown clock is the run's own end.
  constexpr double kRunEndSeconds = 1;
  for (const FlownTrack& t : input.tracks) {
    if (!std::isfinite(t.removedAt) || t.hexid == 0 || t.points.empty() || t.removedAt >= flownTo - kRunEndSeconds)
      continue;
    const FlownPoint& last = t.points.back();
    if (fields.down(last, fields.at(last.latitude, last.longitude)) || fields.height(last) <= o.liveAboveFt) continue;
    if (input.user && gf_distanceNm(*input.user, posOf(last)) > input.radiusNm - o.leavingEdgeNm) continue;
    auto reported = input.reported.find(t.hexid);
    if (reported == input.reported.end()) continue;
    std::set<std::pair<double, double>> seen;
    double received = -std::numeric_limits<double>::infinity();
    for (const Reported& r : reported->second.positions) {
      if (!seen.emplace(r.latitude, r.longitude).second) continue;
      const double at = r.t + input.delaySeconds - o.displayDelaySeconds;
      if (at <= t.removedAt && at >= t.removedAt - o.liveSeconds) received = std::max(received, at);
    }
    if (!std::isfinite(received)) continue;
    LiveRemoval removal{t.hexid, t.objectId, t.callsign, t.removedAt, fields.height(last), received};
    for (const FlownTrack& other : input.tracks) {
      const double created = std::isfinite(other.createdAt) ? other.createdAt
                             : other.points.empty()         ? kNaN
                                                            : other.points.front().t;
      if (other.hexid == t.hexid && created >= t.removedAt && !(created >= removal.createdAgainAt))
        removal.createdAgainAt = created;
    }
    f.removedAloftLive.push_back(std::move(removal));
  }
  std::sort(f.removedAloftLive.begin(), f.removedAloftLive.end(),
            [](const LiveRemoval& x, const LiveRemoval& y) { return x.removedAt < y.removedAt; });
}

}  // namespace amb::flightcheck::detail
