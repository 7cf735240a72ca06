#include "flightcheck/flightcheck.hpp"

#include "core/geometry.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <istream>
#include <limits>
#include <ostream>
#include <stdexcept>

namespace amb::flightcheck {

namespace {

constexpr double kSecondsPerHour = 3600;

LatLon lf_pos(const FlownPoint& p) { return {p.latitude, p.longitude}; }
LatLon lf_pos(const Reported& r) { return {r.latitude, r.longitude}; }

// The turn from a to b in degrees, in [-180, 180].
double lf_turnDeg(double a, double b) {
  double d = std::fmod(b - a, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

// The track's point at time t, interpolated; nullopt outside the track or across a gap.
std::optional<FlownPoint> lf_at(const FlownTrack& track, double t, double maxGap) {
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
  double h = a.headingDeg + u * lf_turnDeg(a.headingDeg, b.headingDeg);
  if (h < 0) h += 360;
  if (h >= 360) h -= 360;
  out.headingDeg = static_cast<float>(h);
  return out;
}

double lf_median(std::vector<double> v) {
  if (v.empty()) return std::numeric_limits<double>::infinity();
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

// A run of intervals that meet a condition, in one track.
struct Run {
  double current = 0;
  double longest = 0;
  bool on = false;
  // Returns true when a run starts here.
  bool add(bool holds, double seconds) {
    if (!holds) {
      current = 0;
      on = false;
      return false;
    }
    const bool starts = !on;
    on = true;
    current += seconds;
    longest = std::max(longest, current);
    return starts;
  }
  void stop() { add(false, 0); }
};

std::string lf_trimUnderscore(std::string s) {
  while (!s.empty() && s.back() == '_') s.pop_back();
  return s;
}

// The tracks of each hexid.
std::map<std::uint32_t, std::vector<const FlownTrack*>> lf_tracksByHexid(const Input& input) {
  std::map<std::uint32_t, std::vector<const FlownTrack*>> out;
  for (const FlownTrack& t : input.tracks)
    if (t.hexid != 0 && !t.points.empty()) out[t.hexid].push_back(&t);
  return out;
}

// Positions dropped although the next distinct record continues from them rather than from the last
// position taken.
std::size_t lf_droppedConfirmed(const ReportedAircraft& aircraft, const Options& o) {
  const auto& r = aircraft.positions;
  std::size_t count = 0;
  const Reported* taken = nullptr;  // the last distinct position taken
  for (std::size_t i = 0; i < r.size(); ++i) {
    const Reported& p = r[i];
    const bool repeat = i > 0 && r[i - 1].latitude == p.latitude && r[i - 1].longitude == p.longitude;
    if (p.taken == Taken::Yes) {
      // A repeat keeps the time the position was first reported.
      if (taken == nullptr || taken->latitude != p.latitude || taken->longitude != p.longitude) taken = &p;
      continue;
    }
    if (p.taken != Taken::No || repeat || taken == nullptr) continue;
    if (!p.airborne && !taken->airborne) continue;
    if (gf_distanceNm(lf_pos(*taken), lf_pos(p)) < o.droppedAwayNm) continue;
    const Reported* next = nullptr;
    for (std::size_t j = i + 1; j < r.size() && r[j].t - p.t <= o.nextWithinSeconds; ++j)
      if (r[j].latitude != p.latitude || r[j].longitude != p.longitude) {
        next = &r[j];
        break;
      }
    if (next == nullptr) continue;
    const double seconds = std::max(1.0, next->t - p.t);
    const double reach = (1.5 * std::max(p.speedKt, next->speedKt) + 50) * seconds / kSecondsPerHour + 0.05;
    const double fromDropped = gf_distanceNm(lf_pos(p), lf_pos(*next));
    if (fromDropped <= reach && fromDropped < gf_distanceNm(lf_pos(*taken), lf_pos(*next))) ++count;
  }
  return count;
}

// One grid interval of a track, measured.
struct Interval {
  double start = 0, mid = 0;
  FlownPoint middle;   // the point at the middle
  bool onGround = false;  // the flown point at or before the middle stands on the ground
  bool ground = false;    // ... and both ends of the window too
  double speedKt = 0;
  double courseDeg = 0;
  double turnDegPerS = 0;
};

// Calls fn for every grid interval of the track; gap(start) for one that cannot be measured.
template <typename Fn, typename Gap>
void lf_forEachInterval(const FlownTrack& track, const Options& o, Fn&& fn, Gap&& gap) {
  if (track.points.empty()) return;
  const double h = o.gridSeconds;
  const double w = std::max(o.windowSeconds, h);
  const double t0 = track.points.front().t, t1 = track.points.back().t;
  const auto& pts = track.points;
  for (std::int64_t k = 0;; ++k) {
    Interval iv;
    iv.start = t0 + static_cast<double>(k) * h;
    if (iv.start + h > t1 + 1e-9) break;
    iv.mid = iv.start + h / 2;
    const auto A = lf_at(track, std::max(t0, iv.mid - w / 2), o.maxGapSeconds);
    const auto B = lf_at(track, std::min(t1, iv.mid + w / 2), o.maxGapSeconds);
    const auto M = lf_at(track, iv.mid, o.maxGapSeconds);
    if (!A || !B || !M || B->t <= A->t) {
      gap(iv.start);
      continue;
    }
    iv.middle = *M;
    const auto before = std::upper_bound(pts.begin(), pts.end(), iv.mid, [](double v, const FlownPoint& q) { return v < q.t; }) - 1;
    iv.onGround = before->onGround;
    iv.ground = iv.onGround && A->onGround && B->onGround;
    const double span = B->t - A->t;
    iv.speedKt = gf_distanceNm(lf_pos(*A), lf_pos(*B)) / span * kSecondsPerHour;
    iv.courseDeg = gf_bearingRad(lf_pos(*A), lf_pos(*B)) * kRadToDeg;
    iv.turnDegPerS = std::fabs(lf_turnDeg(A->headingDeg, B->headingDeg)) / span;
    fn(iv);
  }
}

struct Key {
  std::uint32_t hexid;
  std::uint32_t objectId;  // only when the hexid is unknown
  bool operator<(const Key& k) const { return hexid != k.hexid ? hexid < k.hexid : objectId < k.objectId; }
};

}  // namespace

Figures measure(const Input& input, const Options& o) {
  Figures f;
  std::map<Key, AircraftFigures> byKey;
  const double h = o.gridSeconds;
  double flownFrom = std::numeric_limits<double>::infinity(), flownTo = -flownFrom;
  // Ground rolls by hexid: times (flown clock) of the intervals rolled at rollKt or more.
  std::map<std::uint32_t, std::vector<double>> rolls;

  for (const FlownTrack& track : input.tracks) {
    if (track.points.empty()) continue;
    const Key key{track.hexid, track.hexid == 0 ? track.objectId : 0};
    AircraftFigures& a = byKey[key];
    if (a.objects++ == 0) {
      a.hexid = track.hexid;
      a.callsign = track.callsign;
      auto rep = input.reported.find(track.hexid);
      if (rep != input.reported.end() && rep->second.highestSpeedKt > 0) {
        a.highestReportedKt = rep->second.highestSpeedKt;
        a.overspeedBoundKt = o.overspeedFactor * a.highestReportedKt + o.overspeedAddKt;
      }
    }
    flownFrom = std::min(flownFrom, track.points.front().t);
    flownTo = std::max(flownTo, track.points.back().t);
    Run turnRun, overRun, reversalRun;
    const auto gap = [&](double) {
      turnRun.stop();
      overRun.stop();
      reversalRun.stop();
    };
    lf_forEachInterval(track, o, [&](const Interval& iv) {
      const double speed = iv.speedKt, turnRate = iv.turnDegPerS;
      a.seconds += h;
      if (!iv.onGround) {
        a.airborneSeconds += h;
        if (speed >= o.courseAboveKt) {
          const double off = std::fabs(lf_turnDeg(iv.courseDeg, iv.middle.headingDeg));
          if (off > o.offNoseDeg) a.offNoseSeconds += h;
          if (off > a.worstOffNoseDeg) {
            a.worstOffNoseDeg = off;
            a.worstOffNoseKt = speed;
          }
        }
      }
      if (speed > o.fastTurnAboveKt) a.fastestTurnDegPerS = std::max(a.fastestTurnDegPerS, turnRate);
      const bool fastTurn = speed > o.fastTurnAboveKt && turnRate > o.fastTurnDegPerS;
      if (fastTurn) a.fastTurnSeconds += h;
      turnRun.add(fastTurn, h);
      a.longestFastTurnSeconds = std::max(a.longestFastTurnSeconds, turnRun.longest);

      a.highestFlownKt = std::max(a.highestFlownKt, speed);
      const bool over = a.overspeedBoundKt > 0 && speed > a.overspeedBoundKt;
      if (over) a.overspeedSeconds += h;
      overRun.add(over, h);
      a.longestOverspeedSeconds = std::max(a.longestOverspeedSeconds, overRun.longest);

      if (iv.ground && speed > o.groundTurnAboveKt) a.fastestGroundTurnDegPerS = std::max(a.fastestGroundTurnDegPerS, turnRate);
      const bool reversal = iv.ground && speed > o.groundTurnAboveKt && turnRate > o.groundTurnDegPerS;
      if (reversal) a.groundReversalSeconds += h;
      if (reversalRun.add(reversal, h)) ++a.groundReversals;

      if (iv.ground && speed >= o.rollKt) {
        a.rolledOnGround = true;
        if (track.hexid != 0) rolls[track.hexid].push_back(iv.mid);
      }
    }, gap);
  }

  for (const auto& [hexid, aircraft] : input.reported) {
    const std::size_t dropped = lf_droppedConfirmed(aircraft, o);
    if (dropped == 0) continue;
    AircraftFigures& a = byKey[Key{hexid, 0}];
    if (a.hexid == 0) {
      a.hexid = hexid;
      a.callsign = aircraft.callsign;
    }
    a.droppedConfirmed = dropped;
  }

  // Take-off rolls: a ground record at rollKt or more after a slower ground record, with no airborne
  // record between them.
  for (const auto& [hexid, aircraft] : input.reported) {
    bool slowOnGround = false;
    for (const Reported& r : aircraft.positions) {
      if (r.airborne) {
        slowOnGround = false;
        continue;
      }
      if (r.speedKt < o.rollKt) {
        slowOnGround = true;
        continue;
      }
      if (!slowOnGround) continue;
      slowOnGround = false;
      const double due = r.t + input.delaySeconds;
      if (due < flownFrom + o.rollMarginSeconds || due > flownTo - o.rollMarginSeconds) continue;
      Departure d{hexid, aircraft.callsign, r.t, false, false};
      d.hasObject = std::any_of(input.tracks.begin(), input.tracks.end(),
                                [&](const FlownTrack& t) { return t.hexid == hexid && !t.points.empty(); });
      auto it = rolls.find(hexid);
      if (it != rolls.end())
        d.rolled = std::any_of(it->second.begin(), it->second.end(), [&](double t) { return t >= due - 120 && t <= due + 300; });
      if (!d.rolled) ++f.departuresNotRolled;
      f.departures.push_back(std::move(d));
    }
  }

  for (auto& [key, a] : byKey) {
    f.airborneSeconds += a.airborneSeconds;
    f.offNoseSeconds += a.offNoseSeconds;
    f.fastTurnSeconds += a.fastTurnSeconds;
    f.overspeedSeconds += a.overspeedSeconds;
    f.groundReversals += a.groundReversals;
    f.groundReversalSeconds += a.groundReversalSeconds;
    f.droppedConfirmed += a.droppedConfirmed;
    if (a.offNoseSeconds > 0) ++f.aircraftOffNose;
    if (a.offNoseSeconds > o.maxOffNoseSeconds) ++f.aircraftOffNoseOver;
    if (a.longestFastTurnSeconds >= o.maxTurnRunSeconds - 1e-9) ++f.aircraftFastTurnRun;
    if (a.longestOverspeedSeconds >= o.maxOverspeedRunSeconds - 1e-9) ++f.aircraftOverspeedRun;
    f.aircraft.push_back(std::move(a));
  }
  std::sort(f.aircraft.begin(), f.aircraft.end(), [](const AircraftFigures& x, const AircraftFigures& y) {
    return x.callsign != y.callsign ? x.callsign < y.callsign : x.hexid < y.hexid;
  });
  return f;
}

std::vector<std::string> check(const Figures& f, const Options& o) {
  std::vector<std::string> out;
  if (f.offNoseShare() > o.maxOffNoseShare)
    out.push_back(fmt::format("{:.2f} % of airborne seconds more than {:.0f} deg off the nose (at most {:.2f} %)",
                              100 * f.offNoseShare(), o.offNoseDeg, 100 * o.maxOffNoseShare));
  if (f.aircraftOffNoseOver > 0)
    out.push_back(fmt::format("{} aircraft more than {:.0f} s off the nose", f.aircraftOffNoseOver, o.maxOffNoseSeconds));
  if (f.aircraftFastTurnRun > 0)
    out.push_back(fmt::format("{} aircraft turning faster than {:.0f} deg/s for {:.0f} s or more above {:.0f} kt",
                              f.aircraftFastTurnRun, o.fastTurnDegPerS, o.maxTurnRunSeconds, o.fastTurnAboveKt));
  if (f.aircraftOverspeedRun > 0)
    out.push_back(fmt::format("{} aircraft faster than {} x its highest reported speed + {:.0f} kt for {:.0f} s or more",
                              f.aircraftOverspeedRun, o.overspeedFactor, o.overspeedAddKt, o.maxOverspeedRunSeconds));
  if (f.groundReversals > 0)
    out.push_back(fmt::format("{} reversals on the ground (faster than {:.0f} deg/s above {:.0f} kt)", f.groundReversals,
                              o.groundTurnDegPerS, o.groundTurnAboveKt));
  if (f.droppedConfirmed > 0)
    out.push_back(fmt::format("{} dropped positions that later records confirm", f.droppedConfirmed));
  if (f.departuresNotRolled > 0)
    out.push_back(fmt::format("{} of {} take-off rolls in the records not rolled", f.departuresNotRolled, f.departures.size()));
  return out;
}

namespace {

std::string lf_name(const AircraftFigures& a) {
  return a.hexid != 0 ? fmt::format("{} ({})", a.callsign.empty() ? "?" : a.callsign, a.hexid)
                      : fmt::format("{} (no hexid)", a.callsign.empty() ? "?" : a.callsign);
}

void lf_worstFive(std::ostream& out, const Figures& f, const std::string& title,
                  const std::function<double(const AircraftFigures&)>& value,
                  const std::function<std::string(const AircraftFigures&)>& detail) {
  std::vector<const AircraftFigures*> v;
  for (const AircraftFigures& a : f.aircraft)
    if (value(a) > 0) v.push_back(&a);
  std::stable_sort(v.begin(), v.end(), [&](const AircraftFigures* x, const AircraftFigures* y) { return value(*x) > value(*y); });
  out << fmt::format("worst five, {}:{}\n", title, v.empty() ? " none" : "");
  for (std::size_t i = 0; i < v.size() && i < 5; ++i) out << fmt::format("  {:<22} {}\n", lf_name(*v[i]), detail(*v[i]));
}

}  // namespace

void print(std::ostream& out, const Figures& f, const Options& o, bool perAircraft) {
  if (perAircraft) {
    out << fmt::format("{:<22} {:>3} {:>7} {:>7} {:>6} {:>6} {:>6} {:>6} {:>6} {:>6} {:>6} {:>4} {:>4}\n", "aircraft", "obj",
                       "air s", "nose s", "worst", "turn s", "run s", "fast s", "run s", "flown", "bound", "rev", "drop");
    for (const AircraftFigures& a : f.aircraft)
      out << fmt::format("{:<22} {:>3} {:>7.1f} {:>7.1f} {:>6.0f} {:>6.1f} {:>6.1f} {:>6.1f} {:>6.1f} {:>6.0f} {:>6.0f} {:>4} {:>4}\n",
                         lf_name(a), a.objects, a.airborneSeconds, a.offNoseSeconds, a.worstOffNoseDeg, a.fastTurnSeconds,
                         a.longestFastTurnSeconds, a.overspeedSeconds, a.longestOverspeedSeconds, a.highestFlownKt,
                         a.overspeedBoundKt, a.groundReversals, a.droppedConfirmed);
    out << "(air s: airborne seconds; nose s: of those more than " << o.offNoseDeg
        << " deg off the course flown, worst: the most, deg; turn s: seconds turning faster than " << o.fastTurnDegPerS
        << " deg/s above " << o.fastTurnAboveKt << " kt, run s: the longest run; fast s: seconds faster than the bound, "
        << o.overspeedFactor << " x the highest reported speed + " << o.overspeedAddKt
        << " kt, run s: the longest run; flown: the highest speed flown, kt; rev: reversals on the ground; drop: dropped "
           "positions that later records confirm)\n\n";
  }
  std::size_t aircraft = 0;
  for (const AircraftFigures& a : f.aircraft)
    if (a.seconds > 0) ++aircraft;
  out << fmt::format("aircraft flown: {}\n", aircraft);
  out << fmt::format("airborne seconds more than {:.0f} deg off the nose: {:.1f} of {:.1f} s ({:.2f} %)\n", o.offNoseDeg,
                     f.offNoseSeconds, f.airborneSeconds, 100 * f.offNoseShare());
  out << fmt::format("seconds turning faster than {:.0f} deg/s above {:.0f} kt: {:.1f} s\n", o.fastTurnDegPerS,
                     o.fastTurnAboveKt, f.fastTurnSeconds);
  out << fmt::format("seconds faster than {} x the highest reported speed + {:.0f} kt: {:.1f} s\n", o.overspeedFactor,
                     o.overspeedAddKt, f.overspeedSeconds);
  out << fmt::format("reversals on the ground (faster than {:.0f} deg/s above {:.0f} kt): {} ({:.1f} s)\n",
                     o.groundTurnDegPerS, o.groundTurnAboveKt, f.groundReversals, f.groundReversalSeconds);
  out << fmt::format("dropped positions that later records confirm: {}\n", f.droppedConfirmed);
  out << fmt::format("aircraft off the nose at all: {}, more than {:.0f} s: {}\n", f.aircraftOffNose, o.maxOffNoseSeconds,
                     f.aircraftOffNoseOver);
  out << fmt::format("aircraft turning faster than {:.0f} deg/s for {:.0f} s or more above {:.0f} kt: {}\n",
                     o.fastTurnDegPerS, o.maxTurnRunSeconds, o.fastTurnAboveKt, f.aircraftFastTurnRun);
  out << fmt::format("aircraft faster than the bound for {:.0f} s or more: {}\n", o.maxOverspeedRunSeconds,
                     f.aircraftOverspeedRun);
  out << fmt::format("take-off rolls in the records: {}, not rolled in the simulator: {}\n", f.departures.size(),
                     f.departuresNotRolled);
  for (const Departure& d : f.departures)
    if (!d.rolled)
      out << fmt::format("  {} ({}) rolls at {:.0f} s of the records: {}\n", d.callsign, d.hexid, d.rollTime,
                         d.hasObject ? "its objects never rolled then" : "no object of it was flown");
  out << "\n";
  lf_worstFive(out, f, "seconds off the nose", [](const auto& a) { return a.offNoseSeconds; },
               [](const auto& a) { return fmt::format("{:.1f} s, worst {:.0f} deg at {:.0f} kt", a.offNoseSeconds,
                                                      a.worstOffNoseDeg, a.worstOffNoseKt); });
  lf_worstFive(out, f, "seconds turning fast", [](const auto& a) { return a.fastTurnSeconds; },
               [](const auto& a) { return fmt::format("{:.1f} s, longest run {:.1f} s, fastest {:.0f} deg/s", a.fastTurnSeconds,
                                                      a.longestFastTurnSeconds, a.fastestTurnDegPerS); });
  lf_worstFive(out, f, "seconds too fast", [](const auto& a) { return a.overspeedSeconds; },
               [](const auto& a) { return fmt::format("{:.1f} s, longest run {:.1f} s, flown up to {:.0f} kt, bound {:.0f} kt",
                                                      a.overspeedSeconds, a.longestOverspeedSeconds, a.highestFlownKt,
                                                      a.overspeedBoundKt); });
  lf_worstFive(out, f, "reversals on the ground",
               [](const auto& a) { return static_cast<double>(a.groundReversals) + a.groundReversalSeconds / 1e6; },
               [](const auto& a) { return fmt::format("{} ({:.1f} s), fastest {:.0f} deg/s", a.groundReversals,
                                                      a.groundReversalSeconds, a.fastestGroundTurnDegPerS); });
  lf_worstFive(out, f, "dropped positions confirmed", [](const auto& a) { return static_cast<double>(a.droppedConfirmed); },
               [](const auto& a) { return fmt::format("{}", a.droppedConfirmed); });
}

void printTimeline(std::ostream& out, const Input& input, const Options& o, std::string_view who) {
  std::uint32_t hexid = 0;
  {
    const std::string text(who);
    char* end = nullptr;
    const unsigned long n = std::strtoul(text.c_str(), &end, 10);
    if (end != text.c_str() && *end == '\0') hexid = static_cast<std::uint32_t>(n);
  }
  const auto matches = [&](std::uint32_t h, const std::string& callsign) {
    return (hexid != 0 && h == hexid) || lf_trimUnderscore(callsign) == lf_trimUnderscore(std::string(who));
  };
  struct Row {
    double t;
    int order;
    std::string text;
  };
  std::vector<Row> rows;
  double bound = 0;
  for (const auto& [h, a] : input.reported) {
    if (!matches(h, a.callsign)) continue;
    if (a.highestSpeedKt > 0) bound = o.overspeedFactor * a.highestSpeedKt + o.overspeedAddKt;
    for (const Reported& r : a.positions) {
      const char* taken = r.taken == Taken::Yes ? "taken" : r.taken == Taken::No ? "DROPPED" : "";
      rows.push_back({r.t + input.delaySeconds, 0,
                      fmt::format("{:9.2f} report {:>10} {:11.6f} {:11.6f} {:7.0f} {:>6} {:>6.0f} {:>7} {:>4} {}",
                                  r.t + input.delaySeconds, h, r.latitude, r.longitude, r.altitude, "", r.speedKt, "",
                                  r.airborne ? "A" : "G", taken)});
    }
  }
  const int every = std::max(1, static_cast<int>(std::lround(1.0 / o.gridSeconds)));
  for (const FlownTrack& track : input.tracks) {
    if (!matches(track.hexid, track.callsign)) continue;
    std::int64_t k = 0;
    lf_forEachInterval(track, o, [&](const Interval& iv) {
      const double off = std::fabs(lf_turnDeg(iv.courseDeg, iv.middle.headingDeg));
      std::string flags;
      if (!iv.onGround && iv.speedKt >= o.courseAboveKt && off > o.offNoseDeg) flags += " NOSE";
      if (iv.speedKt > o.fastTurnAboveKt && iv.turnDegPerS > o.fastTurnDegPerS) flags += " TURN";
      if (bound > 0 && iv.speedKt > bound) flags += " FAST";
      if (iv.ground && iv.speedKt > o.groundTurnAboveKt && iv.turnDegPerS > o.groundTurnDegPerS) flags += " REVERSAL";
      if (k++ % every == 0 || !flags.empty())
        rows.push_back({iv.mid, 1,
                        fmt::format("{:9.2f} flown  {:>10} {:11.6f} {:11.6f} {:7.0f} {:6.1f} {:6.0f} {:7.1f} {:>4} course {:5.1f}{}",
                                    iv.mid, track.objectId, iv.middle.latitude, iv.middle.longitude, iv.middle.altitude,
                                    iv.middle.headingDeg, iv.speedKt, iv.turnDegPerS, iv.onGround ? "G" : "A",
                                    iv.courseDeg, flags)});
    }, [](double) {});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.t != b.t ? a.t < b.t : a.order < b.order; });
  out << fmt::format("timeline of {} (flown clock; reports at their due time; speed bound {:.0f} kt)\n", who, bound);
  out << fmt::format("{:>9} {:6} {:>10} {:>11} {:>11} {:>7} {:>6} {:>6} {:>7} {:>4}\n", "t s", "", "hexid/obj", "lat", "lon",
                     "alt ft", "hdg", "kt", "deg/s", "A/G");
  for (const Row& r : rows) out << r.text << "\n";
}

// ---- The trace ----

namespace {

// The fields of a trace row: ten plain ones, then the detail (quoted when it holds a comma).
bool lf_splitRow(const std::string& line, std::vector<std::string_view>& fields, std::string& detail) {
  fields.clear();
  std::size_t start = 0;
  for (int i = 0; i < 10; ++i) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string::npos) return false;
    fields.emplace_back(line.data() + start, comma - start);
    start = comma + 1;
  }
  detail = line.substr(start);
  if (!detail.empty() && detail.back() == '\r') detail.pop_back();
  if (detail.size() >= 2 && detail.front() == '"' && detail.back() == '"') {
    std::string plain;
    for (std::size_t i = 1; i + 1 < detail.size(); ++i) {
      plain += detail[i];
      if (detail[i] == '"' && detail[i + 1] == '"') ++i;
    }
    detail = plain;
  }
  return true;
}

double lf_number(std::string_view s) {
  const std::string text(s);
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(v)) throw std::runtime_error("not a number in the trace: " + text);
  return v;
}

}  // namespace

std::vector<FlownTrack> readTrace(std::istream& in) {
  std::string line;
  if (!std::getline(in, line) || line.rfind("time_s,object_id,what,", 0) != 0)
    throw std::runtime_error("not a simulator trace (its header is missing)");
  std::map<std::uint32_t, FlownTrack> byId;
  std::vector<std::uint32_t> order;
  std::vector<std::string_view> f;
  std::string detail;
  std::size_t row = 1;
  while (std::getline(in, line)) {
    ++row;
    if (line.empty()) continue;
    if (!lf_splitRow(line, f, detail)) throw std::runtime_error(fmt::format("trace row {} has too few fields", row));
    const auto id = static_cast<std::uint32_t>(lf_number(f[1]));
    const std::string_view what = f[2];
    if (what == "created" || what == "added") {
      FlownTrack& t = byId[id];
      if (t.points.empty() && t.callsign.empty()) order.push_back(id);
      t.objectId = id;
      const std::size_t bar = detail.rfind('|');
      t.callsign = bar == std::string::npos ? detail : detail.substr(bar + 1);
    } else if (what == "position") {
      auto it = byId.find(id);
      if (it == byId.end()) continue;  // an object created before the trace began
      FlownPoint p;
      p.t = lf_number(f[0]);
      p.latitude = lf_number(f[3]);
      p.longitude = lf_number(f[4]);
      p.altitude = static_cast<float>(lf_number(f[5]));
      double heading = std::fmod(lf_number(f[8]), 360.0);
      if (heading < 0) heading += 360;
      p.headingDeg = static_cast<float>(heading);
      p.onGround = f[9] == "1";
      auto& pts = it->second.points;
      // Rows of one object come in time order; two at the same time keep the later.
      if (!pts.empty() && p.t <= pts.back().t) {
        if (p.t == pts.back().t) pts.back() = p;
        continue;
      }
      pts.push_back(p);
    }
  }
  std::vector<FlownTrack> out;
  for (std::uint32_t id : order) {
    FlownTrack& t = byId[id];
    if (!t.callsign.empty() && t.callsign.back() == '*') continue;
    out.push_back(std::move(t));
  }
  return out;
}

void matchHexids(std::vector<FlownTrack>& tracks, const std::map<std::uint32_t, ReportedAircraft>& reported) {
  std::map<std::string, std::vector<std::uint32_t>> byCallsign;
  for (const auto& [hexid, a] : reported)
    if (!a.callsign.empty()) byCallsign[lf_trimUnderscore(a.callsign)].push_back(hexid);
  for (FlownTrack& t : tracks) {
    if (t.hexid != 0 || t.points.empty()) continue;
    auto it = byCallsign.find(lf_trimUnderscore(t.callsign));
    if (it == byCallsign.end()) continue;
    double best = std::numeric_limits<double>::infinity();
    for (std::uint32_t hexid : it->second) {
      for (const Reported& r : reported.at(hexid).positions) {
        const double d = gf_distanceNm(lf_pos(t.points.front()), lf_pos(r));
        if (d < best) {
          best = d;
          t.hexid = hexid;
        }
      }
    }
  }
}

std::optional<double> fitDelay(const Input& input, double from, double to) {
  const auto tracks = lf_tracksByHexid(input);
  struct Use {
    const Reported* r;
    const std::vector<const FlownTrack*>* tracks;
  };
  std::vector<Use> uses;
  for (const auto& [hexid, a] : input.reported) {
    auto t = tracks.find(hexid);
    if (t == tracks.end()) continue;
    for (std::size_t i = 0; i < a.positions.size(); ++i) {
      const Reported& r = a.positions[i];
      if (!r.airborne) continue;
      if (i > 0 && a.positions[i - 1].latitude == r.latitude && a.positions[i - 1].longitude == r.longitude) continue;
      uses.push_back({&r, &t->second});
    }
  }
  // Every n-th position is plenty for one number.
  const std::size_t stride = std::max<std::size_t>(1, uses.size() / 4000);
  const auto medianAt = [&](double delay) {
    std::vector<double> d;
    for (std::size_t i = 0; i < uses.size(); i += stride) {
      for (const FlownTrack* t : *uses[i].tracks) {
        const auto p = lf_at(*t, uses[i].r->t + delay, 10);
        if (!p) continue;
        d.push_back(gf_distanceNm(lf_pos(*p), lf_pos(*uses[i].r)));
        break;
      }
    }
    // A delay that meets few positions is no fit.
    if (d.size() * 4 < uses.size() / stride) return std::numeric_limits<double>::infinity();
    return lf_median(std::move(d));
  };
  double best = std::numeric_limits<double>::infinity(), bestDelay = 0;
  for (double d = from; d <= to; d += 1) {
    const double m = medianAt(d);
    if (m < best) {
      best = m;
      bestDelay = d;
    }
  }
  if (!std::isfinite(best)) return std::nullopt;
  const double coarse = bestDelay;
  for (double d = coarse - 1; d <= coarse + 1 + 1e-9; d += 0.1) {
    const double m = medianAt(d);
    if (m < best) {
      best = m;
      bestDelay = d;
    }
  }
  return bestDelay;
}

void keepDropsOfFlownAircraft(Input& input) {
  const auto tracks = lf_tracksByHexid(input);
  for (auto& [hexid, a] : input.reported) {
    auto t = tracks.find(hexid);
    for (Reported& r : a.positions) {
      if (r.taken != Taken::No) continue;
      const double due = r.t + input.delaySeconds;
      const bool flew = t != tracks.end() && std::any_of(t->second.begin(), t->second.end(), [&](const FlownTrack* track) {
                          return track->points.front().t <= due && due <= track->points.back().t;
                        });
      if (!flew) r.taken = Taken::Unknown;
    }
  }
}

void inferTaken(Input& input, const Options& o) {
  const auto tracks = lf_tracksByHexid(input);
  // A position due so late that the flown clock ends before its time to be passed is not judged.
  double end = -std::numeric_limits<double>::infinity();
  for (const FlownTrack& t : input.tracks)
    if (!t.points.empty()) end = std::max(end, t.points.back().t);
  for (auto& [hexid, a] : input.reported) {
    auto t = tracks.find(hexid);
    double lastPass = -std::numeric_limits<double>::infinity();  // when the position taken before was passed
    for (Reported& r : a.positions) {
      r.taken = Taken::Unknown;
      if (t == tracks.end()) continue;
      const double due = r.t + input.delaySeconds;
      if (due + o.passSeconds > end) continue;
      const double from = std::max(due - o.passSeconds, lastPass);
      const double to = due + std::max(o.passSeconds, o.lateSeconds);
      bool flew = false;
      double passed = std::numeric_limits<double>::infinity();
      for (const FlownTrack* track : t->second) {
        const auto& p = track->points;
        // Only an object flown at the due time can have dropped the position.
        if (p.front().t <= due && due <= p.back().t) flew = true;
        if (p.back().t < from || p.front().t > to) continue;
        auto it = std::lower_bound(p.begin(), p.end(), from, [](const FlownPoint& q, double v) { return q.t < v; });
        for (; it != p.end() && it->t <= to && it->t < passed; ++it)
          if (gf_distanceNm(lf_pos(*it), lf_pos(r)) <= o.passNm) passed = it->t;
      }
      if (!flew) continue;
      r.taken = std::isfinite(passed) ? Taken::Yes : Taken::No;
      if (std::isfinite(passed)) lastPass = passed;
    }
  }
}

}  // namespace amb::flightcheck
