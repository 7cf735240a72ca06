// Flight in the air between reported positions. The reported track is a chain of straight legs
// whose course changes at once at every reported position: samples of the aircraft's real, smooth
// path, with the feed's noise. Here the aircraft flies its own path: every cycle it steers for the
// point of the track some seconds' flight ahead of it, banking for the arc that brings it there, at
// the category's rate of roll and no steeper than its bank. Corners are rounded and the feed's
// zigzags smoothed out over that stretch; off the track the aircraft comes back onto it further on.
// Its speed brings it to the reported positions at their due times.

#include "traffic/air_path.hpp"
#include "traffic/air.hpp"
#include "traffic/engine.hpp"

#include "core/geometry.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace amb {

namespace {

constexpr double kMetresPerDegree = 111132.95;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
constexpr double kGravity = 9.80665;  // metres per second squared
constexpr double kSecondsPerCycle = 1.0 / kCyclesPerSecond;
// A helicopter at this speed or slower yaws at this rate, degrees a second; nothing turns faster.
constexpr double kSlowYawKt = 60.0;
constexpr double kSlowYawDegPerSecond = 30.0;
// An aeroplane in the air never flies slower than this share of the slowest speed the feed reported
// for it in the air: it would stall, and it would seem to stand still.
constexpr double kLeastShareOfSlowest = 0.65;
// Nor slower than this share of the speed its positions imply: the feed's reported speed may freeze
// while the positions move on at several times it.
constexpr double kLeastShareOfPositions = 0.65;
// How far ahead the least speed looks at the positions to come, cycles: the time an aeroplane takes
// to speed up to the least that they imply.
constexpr std::int32_t kSpeedUpCycles = 2000;
// How often that speed is worked out again, cycles.
constexpr std::int32_t kPositionsEveryCycles = 200;
// Coming in to land it flies no slower than this share of the speed last reported in the air.
constexpr double kLeastShareOfApproach = 0.9;
// Coming in to land, it flies no faster than records that roll out already by more than this, knots.
constexpr double kAboveRolloutRecordsKt = 15.0;
// An approach is flown no faster than this on its final stretch, knots (air traffic control's usual
// speed to the final fix): a faster last report is the speed the approach began at.
constexpr double kFastestFinalKt = 160.0;
// How fast the speed flown in the air changes, knots a second: the legs' paces jump with the feed's
// timing, an aeroplane's speed does not.
constexpr double kMostSpeedChangeKtPerSecond = 3.0;
constexpr double kBelowLeastSpeedChangeKtPerSecond = 9.0;
// A corner sharper than this (the cosine of the angle the track turns there) is the track turning
// back: abeam it means abeam the leg into it.
constexpr double kMostCornerCos = -0.5;
// The aircraft steers for the point of the track this many seconds' flight ahead of it, and never
// nearer than this many metres.
constexpr double kAimSeconds = 10.0;
constexpr double kLeastAimMetres = 300.0;
// Later than this behind its records, the aircraft aims that much farther ahead.
constexpr double kLateSlackSeconds = 5.0;
// Turning this far off the course it aims for, it flies no faster than the leg's reported speed (to make
// up a delay, or after one): the turn would only grow wider.
constexpr double kTurningDeg = 15.0;
// Banked at this share of its most bank or more, an aircraft turns as tightly as it may.
constexpr double kFullBankShare = 0.99;
// The share of a leg at most that the arc rounding the corner at either end of it takes.
constexpr double kArcShareOfLeg = 0.5;
// A leg's end more than 120 degrees off the nose lies well behind it.
constexpr double kWellBehindCos = 0.5;
// Below this height above the ground an aircraft on its final holds the line of it; the final is
// straight within this many degrees, the aircraft no farther aside of it than this many metres and
// its field's reference point no farther across it (a large airport's runways lie that far apart).
constexpr double kFinalHeightFt = 500.0;
constexpr double kFinalStraightDeg = 10.0;
constexpr double kFinalAsideMetres = 150.0;
constexpr double kFinalSegmentMetres = 300.0;
// A position no farther than this many metres aside of the line through a later stretch of the final
// lies on it.
constexpr double kFinalStraightMetres = 30.0;
constexpr double kFieldAcrossMetres = 3000.0;
// Nearer than this two positions are one, metres.
constexpr double kSameMetres = 1.0;
// Shorter than this, metres, a segment is a rounding error (metres some kilometres from the aircraft
// round at about a billionth of a metre): a millionth of the least distance between two positions.
constexpr double kNoLengthMetres = 1e-6;
// Legs shorter than this, metres, are the feed's play, no spike.
constexpr double kSpikeLegMetres = 30.0;
// A turn is led as if banked at least this much (radians): levelling its wings in the flare, an
// aircraft has no turn left to lead.
constexpr double kLeastLeadBank = 5.0 * kDegToRad;

struct Vec {
  double x = 0;  // metres east
  double y = 0;  // metres north
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator-(Vec a) { return {-a.x, -a.y}; }
Vec operator*(double k, Vec a) { return {k * a.x, k * a.y}; }
double lf_dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
// Metres on the local plane are far from overflow: the plain root is enough, and much cheaper.
double lf_length(Vec a) { return std::sqrt(a.x * a.x + a.y * a.y); }
Vec lf_unit(Vec a) {
  const double l = lf_length(a);
  return l > 0 ? (1 / l) * a : Vec{};
}
// The unit vector of a course (radians clockwise from north), and the course of a vector.
Vec lf_along(double course) { return {std::sin(course), std::cos(course)}; }
double lf_courseOf(Vec a) { return std::atan2(a.x, a.y); }

// Positions in metres east and north of the aircraft.
struct AroundAircraft {
  double latitude = 0, longitude = 0, eastPerDegree = 0;
  AroundAircraft() = default;
  explicit AroundAircraft(const AiPosBlock& pos)
      : latitude(pos.latitude),
        longitude(pos.longitude),
        eastPerDegree(kMetresPerDegree * std::cos(pos.latitude * kDegToRad)) {}
  Vec at(double lat, double lon) const { return {(lon - longitude) * eastPerDegree, (lat - latitude) * kMetresPerDegree}; }
  LatLon latLon(Vec v) const { return {latitude + v.y / kMetresPerDegree, longitude + v.x / eastPerDegree}; }
};

std::int32_t lf_now() { return g_engineCycle.load(std::memory_order_relaxed); }

// The reported track around the aircraft, in metres from it: the position before the leg's start
// (when known), the leg's start, the leg's end (the front situation) and the positions after it that
// the buffer holds already. The aircraft is on the segment from at[segment] to at[segment + 1]: the
// leg's, or a later one when it is early past the leg's end.
struct Track {
  static constexpr int kMostPoints = 6;
  std::array<Vec, kMostPoints> at{};
  std::array<std::int32_t, kMostPoints> due{};  // the cycle the records have the aircraft there
  std::array<bool, kMostPoints> aside{};         // far aside of a final line, put on it
  std::array<bool, kMostPoints> landed{};        // reported on the ground
  // Each segment's course (a unit vector) and length in metres, once the points are in place.
  std::array<Vec, kMostPoints> dir{};
  std::array<double, kMostPoints> len{};
  int count = 0;
  int legEnd = 0;   // the leg's end
  int segment = 0;
  // Around the aircraft, and along its nose: asked for by every step in the air, worked out with
  // the track.
  AroundAircraft frame;
  Vec nose{};

  // A segment the spike's or the final line's projection left a rounding error long has no course:
  // its direction would be that error's.
  void measure() {
    for (int k = 0; k + 1 < count; ++k) {
      const Vec d = at[k + 1] - at[k];
      const double l = lf_length(d);
      len[static_cast<std::size_t>(k)] = l;
      dir[static_cast<std::size_t>(k)] = l > kNoLengthMetres ? (1 / l) * d : Vec{};
    }
  }
  double length(int k) const { return len[static_cast<std::size_t>(k)]; }

  void add(Vec v, std::int32_t when, bool onGround = false) {
    if (count < kMostPoints && (count == 0 || lf_length(v - at[count - 1]) > kSameMetres)) {
      at[count] = v;
      landed[static_cast<std::size_t>(count)] = onGround;
      due[count++] = when;
    }
  }
  Vec course(int i) const { return dir[static_cast<std::size_t>(i)]; }
  // The course the track has abeam point i: halfway between the legs into and out of it, unless it
  // turns back there.
  Vec through(int i) const {
    if (i <= 0) return course(0);
    if (i + 1 >= count) return course(i - 1);
    const Vec in = course(i - 1), out = course(i);
    return lf_dot(in, out) > kMostCornerCos ? lf_unit(in + out) : in;
  }
  // The aircraft (at the origin) is abeam point i or past it.
  bool past(int i) const { return lf_dot(-at[i], through(i)) >= 0; }
  // The segment the aircraft is on: the leg's, or a later one when it is early past the leg's end.
  void findSegment() {
    segment = legEnd - 1;
    while (segment + 2 < count && past(segment + 1)) ++segment;
  }
  // Metres along segment k from its start to the point abeam the aircraft, within the segment.
  double alongSegment(int k) const { return std::clamp(lf_dot(-at[k], course(k)), 0.0, length(k)); }
  // The point abeam the aircraft on its segment; its distance is the aircraft's from the track.
  Vec abeam() const { return at[segment] + alongSegment(segment) * course(segment); }
  // Metres along the track from abeam the aircraft to point i (none when i is behind).
  double toPoint(int i) const {
    if (i <= segment) return 0;
    double metres = length(segment) - alongSegment(segment);
    for (int k = segment + 1; k < i; ++k) metres += length(k);
    return metres;
  }
  // Metres along the track from abeam the aircraft to where its records have it now: how far it is
  // behind them (0 when it is not).
  double lateMetres(std::int32_t now) const {
    double start = -alongSegment(segment);  // metres from abeam the aircraft to segment k's start
    for (int k = segment; k + 1 < count; ++k) {
      if (due[k + 1] >= now) {
        const double span = due[k + 1] - due[k];
        const double share = span > 0 ? std::clamp((now - due[k]) / span, 0.0, 1.0) : 1.0;
        return std::max(0.0, start + share * length(k));
      }
      start += length(k);
    }
    return std::max(0.0, start);
  }
  // The point a distance ahead along the track from abeam the aircraft; past the last one the track
  // goes on along its last segment.
  Vec ahead(double metres) const {
    Vec p = abeam();
    for (int k = segment;; ++k) {
      const double rest = lf_length(at[k + 1] - p);
      if (k + 2 >= count || rest >= metres) return p + metres * course(k);
      metres -= rest;
      p = at[k + 1];
    }
  }
};

void lf_buildTrack(const LiveAc& ac, Track& t) {
  const AiPosBlock& pos = ac.position;
  const AirPath& p = ac.airPath;
  const Situation& s = ac.situations.front();
  t.count = 0;
  t.aside.fill(false);
  t.frame = AroundAircraft(pos);
  const AroundAircraft& around = t.frame;
  t.nose = lf_along(pos.heading);
  const Vec before = around.at(p.beforeLatitude, p.beforeLongitude);
  const Vec from = around.at(p.fromLatitude, p.fromLongitude);
  if (p.beforeKnown != 0) t.add(before, p.beforeDue);
  t.add(from, p.fromDue);
  Vec end = around.at(s.latitude, s.longitude);
  // A position made up while the feed is silent lies along the nose, not on the track: the track
  // goes on as its last reported leg did.
  if (s.extension != 0 && t.count >= 2) end = from + lf_length(end - from) * lf_unit(t.at[t.count - 1] - t.at[t.count - 2]);
  // A leg that starts where it ends runs from the aircraft.
  if (lf_length(end - from) <= kSameMetres) {
    t.count = 0;
    t.add(Vec{}, lf_now());
  }
  const std::int32_t endDue = s.extension != 0 ? s.due : p.stampedDue;
  t.add(end, endDue, s.airborne == 0);
  if (t.count < 2) t.add(end + t.nose, endDue + 1);
  t.legEnd = t.count - 1;
  if (s.extension == 0) {
    for (std::size_t i = 1; i < ac.situations.size() && t.count < Track::kMostPoints; ++i) {
      const Situation& n = ac.situations[i];
      if (n.noMovement != 0 || n.extension != 0) break;
      t.add(around.at(n.latitude, n.longitude), n.due, n.airborne == 0);
    }
  }
  t.measure();
  // A position ahead that the track goes out to and straight back from, while the positions either
  // side of it go on the way the aircraft flies, is a spike of the feed's: no aeroplane flies out and
  // back on one line. The track runs past it on the line between its neighbours, the position kept
  // abeam where the aircraft passes it. (A track that turns back and goes on back is flown round.)
  bool moved = false;
  for (int i = std::max(t.legEnd, 1); i + 1 < t.count; ++i) {
    if (lf_dot(t.course(i - 1), t.course(i)) >= kMostCornerCos || t.landed[static_cast<std::size_t>(i)] ||
        t.length(i - 1) <= kSpikeLegMetres || t.length(i) <= kSpikeLegMetres)
      continue;
    const Vec chord = t.at[i + 1] - t.at[i - 1];
    const Vec way = i >= 2 ? t.at[i - 1] - t.at[i - 2] : t.nose;
    if (lf_dot(chord, way) <= 0) continue;
    const Vec along = lf_unit(chord);
    t.at[i] = t.at[i - 1] + std::clamp(lf_dot(t.at[i] - t.at[i - 1], along), 0.0, lf_length(chord)) * along;
    moved = true;
  }
  if (moved) t.measure();
  // On its final the aircraft follows the positions along it; one in the air far aside is put on
  // the line. Where the records have it on the ground it landed: it goes there.
  if (ac.finalLine) {
    const Vec at = around.at(ac.finalLine->at.lat, ac.finalLine->at.lon);
    const Vec course = lf_along(ac.finalLine->course);
    for (int i = 0; i < t.count; ++i) {
      if (t.landed[static_cast<std::size_t>(i)]) continue;
      const Vec onLine = at + lf_dot(t.at[i] - at, course) * course;
      t.aside[static_cast<std::size_t>(i)] = lf_length(t.at[i] - onLine) > kFinalAsideMetres;
      if (t.aside[static_cast<std::size_t>(i)]) t.at[i] = onLine;
    }
    t.measure();
  }
  t.findSegment();
}

// The track of an aircraft where it is now: asked for twice a cycle (whether the leg ends, then the
// step), it is built once in a cycle while the aircraft and its buffer stay as they were.
const Track& lf_track(const LiveAc& ac) {
  struct Built {
    std::int32_t cycle = -1;
    const LiveAc* ac = nullptr;
    double latitude = 0, longitude = 0, heading = 0, fromLatitude = 0, fromLongitude = 0;
    std::int32_t frontDue = 0, lastDue = 0;
    std::size_t size = 0;
    Track track;
  };
  thread_local Built built;
  const Situation& front = ac.situations.front();
  const bool same = built.cycle == lf_now() && built.ac == &ac && built.latitude == ac.position.latitude &&
                    built.longitude == ac.position.longitude && built.heading == ac.position.heading &&
                    built.fromLatitude == ac.airPath.fromLatitude && built.fromLongitude == ac.airPath.fromLongitude &&
                    built.frontDue == front.due && built.lastDue == ac.situations.back().due &&
                    built.size == ac.situations.size();
  if (!same) {
    built.cycle = lf_now();
    built.ac = &ac;
    built.latitude = ac.position.latitude;
    built.longitude = ac.position.longitude;
    built.heading = ac.position.heading;
    built.fromLatitude = ac.airPath.fromLatitude;
    built.fromLongitude = ac.airPath.fromLongitude;
    built.frontDue = front.due;
    built.lastDue = ac.situations.back().due;
    built.size = ac.situations.size();
    lf_buildTrack(ac, built.track);
  }
  return built.track;
}

// Flown in the air this cycle: a leg planned in the air, not on the ground nor on a ground curve, in
// the air or rolling for take-off, toward a position of its own.
bool lf_flownInTheAir(const LiveAc& ac) {
  if (ac.airPath.guided == 0 || ac.movesOnGround != 0 || ac.curve.isSet() || ac.situations.empty()) return false;
  if (ac.phase != GroundPhase::Airborne && ac.phase != GroundPhase::TakeOffRoll) return false;
  return ac.situations.front().noMovement == 0;
}

// Lifted off: the take-off roll is over once its steps have counted down.
bool lf_liftedOff(const LiveAc& ac) { return ac.phase == GroundPhase::Airborne || ac.stepCounter <= 0; }

// The radius of the tightest turn the aircraft flies at a speed, metres: at the bank it may show where
// it is (`bank`, gf_bankLimit's: low over the ground less than its category's), never tighter than
// its category turns.
double lf_turnRadius(const LiveAc& ac, double speedMps, double bank) {
  const double v = std::max(speedMps, 1.0);
  const double rate = gf_bankedTurnRate(ac.category, v);
  // Allowed its category's bank where it is (most of the time), the rate says it all.
  if (ac.category < 0 || ac.category >= 6 || bank >= gf_maxBank(ac.category)) return v / rate;
  return v / std::min(rate, kGravity * std::tan(std::max(bank, kLeastLeadBank)) / v);
}

// The way to a point from the aircraft, a unit vector; due north where it is there already (the
// course of a null vector).
Vec lf_wayTo(Vec to) {
  const Vec way = lf_unit(to);
  return way.x == 0 && way.y == 0 ? Vec{0, 1} : way;
}

// The course the aircraft steers for, as the unit vector along it: toward the point of the track
// some seconds' flight ahead of it. The track's corners and its noise are smoothed out over that
// stretch, and off the track the aircraft heads back onto it further on rather than straight at it.
Vec lf_aimCourse(const LiveAc& ac, const Track& t, double speedMps, double bankLimit) {
  // A helicopter goes to every position, hovering where its records do.
  const double late = ac.category == Rotorcraft ? 0.0 : t.lateMetres(lf_now()) - speedMps * kLateSlackSeconds;
  double reach = std::max(speedMps * kAimSeconds, kLeastAimMetres) + std::max(late, 0.0);
  // A corner ahead wants its turn begun where an arc at the steepest bank, tangent to both legs,
  // begins: from there the aircraft aims no nearer than where that arc ends on the leg out of it. A
  // fast aircraft's arc begins farther back than its seconds of aim reach, and begun late the turn
  // sweeps wide past the corner. A turn beyond a right angle is led as a right angle (the turn round
  // is flown as a turn), and no arc takes more than its share of either leg: the corners at their
  // other ends need the rest.
  const double radius = lf_turnRadius(ac, speedMps, bankLimit);
  for (int i = t.segment + 1; i + 1 < t.count; ++i) {
    const double to = t.toPoint(i);
    if (to > radius) break;  // no lead is longer than the radius
    // The tangent of half the corner's angle, from its cosine.
    const double cosine = std::max(lf_dot(t.course(i - 1), t.course(i)), 0.0);
    const double lead = std::min({radius * std::sqrt((1 - cosine) / (1 + cosine)), kArcShareOfLeg * t.length(i - 1),
                                  kArcShareOfLeg * t.length(i)});
    if (to <= lead) reach = std::max(reach, to + lead);
  }
  // A record held until the next one shows whether it was the aircraft's is, far more often than
  // not, where the aircraft went. Flown to the end of the positions it knows, the aircraft turns
  // toward the held one rather than flying on past the turn while the feed decides (a dropped one
  // leaves it to turn back to the track its next position draws). Not while coming in to land: low
  // near a field a position aside of the approach is as often another sender's, and the approach
  // keeps to its own line. Nor on the runway before it lifts off. Nor toward an old position the feed
  // sends again.
  // Nor toward one behind it, or one its own reported track has it flying away from or across the
  // nose's way: to get there and on the aeroplane would turn round, which the records it took do not
  // show.
  if (ac.heldRecord && ac.heldRecord->situation.airborne != 0 && !ac.heldRecord->takenBefore &&
      ac.category != Rotorcraft && ac.landingMode == 0 && lf_liftedOff(ac) &&
      (ac.situations.front().extension != 0 || t.toPoint(t.count - 1) < reach)) {
    const Situation& held = ac.heldRecord->situation;
    const Vec to = t.frame.at(held.latitude, held.longitude);
    const Vec track = lf_along(held.heading * kDegToRad);
    const bool ownTrackAgrees = (held.heading == 0 && held.feedTrackGiven == 0) ||
                                (lf_dot(lf_unit(to), track) > 0 && lf_dot(track, t.nose) > 0);
    if (lf_length(to - t.at[t.count - 1]) > kSameMetres && lf_dot(to, t.nose) > 0 && ownTrackAgrees)
      return lf_wayTo(to);
  }
  const Vec aim = lf_wayTo(t.ahead(reach));
  // An aeroplane turns round only where its records do. Flown on past them (through a silence, or
  // ahead of a feed that lags), or with a position put behind it, the track ahead lies behind its
  // nose; unless the tracks its records report turn round too, it turns no farther than onto their
  // course and lets them catch up with it.
  // A reported track counts where the positions bear it out: one against the way its record's position
  // lies from the one before (a feed's frozen track, another sender's position) says nothing of where
  // the aircraft heads.
  // Late (its records have it farther on, round the turn), it goes where they are; and so does one
  // coming in to land, whose field lies where its records go.
  if (ac.category == Rotorcraft || !lf_liftedOff(ac) || lf_dot(aim, t.nose) >= 0 || late > 0 || ac.landingMode != 0)
    return aim;
  std::optional<Vec> course;
  Vec through{};
  Vec before = t.frame.at(ac.airPath.fromLatitude, ac.airPath.fromLongitude);
  for (std::size_t i = 0; i < ac.situations.size(); ++i) {
    const Situation& s = ac.situations[i];
    if (s.extension != 0 || s.noMovement != 0) break;
    const Vec at = t.frame.at(s.latitude, s.longitude);
    const Vec way = at - before;
    before = at;
    if (s.heading == 0 && s.feedTrackGiven == 0) continue;
    const Vec reported = lf_along(s.heading * kDegToRad);
    if (lf_length(way) > kLeastAimMetres && lf_dot(way, reported) < 0) return aim;
    if (lf_dot(reported, t.nose) < 0) return aim;
    course = reported;
    through = at;
  }
  if (!course) {
    // No track reported: the course of the track's last stretch, unless that turns round too.
    const Vec last = t.count >= 2 ? t.course(t.count - 2) : t.nose;
    if (lf_dot(last, t.nose) < 0 || lf_length(last) <= 0) return aim;
    course = last;
    through = t.at[t.count - 1];
  }
  // Aside of the line they draw, it joins it at an angle rather than turning round onto it: it aims
  // for the point of the line ahead of it twice as far on as it is from the line.
  const Vec foot = through + lf_dot(-through, *course) * *course;
  return lf_wayTo(foot + std::max(reach, 2 * lf_length(foot)) * *course);
}

// The pace: the speed that brings the aircraft to the farthest reported position the buffer holds at
// the time its record was stamped due with (the report and the engine's delay: the legs' own timing
// only says when they may end, and the feed's positions jitter along the track, which a span of
// several legs evens out), up to its catch-up speed, changing no faster than an aeroplane's; in the
// air never below its share of the slowest speed reported (a helicopter may slow to a hover). Rolling
// for take-off it keeps the legs' pace. Metres a second.
double lf_airPace(LiveAc& ac, const Track& t, Vec aim, double bankLimit) {
  AirPath& p = ac.airPath;
  const Situation& end = ac.situations.front();
  const int last = t.count - 1;
  double metres = 0;
  std::int32_t left = 0;
  if (last > t.legEnd) {
    metres = t.toPoint(last);
    left = ac.situations[static_cast<std::size_t>(last - t.legEnd)].due - lf_now();
  } else {
    metres = t.toPoint(t.legEnd);
    left = (end.extension != 0 ? end.due : p.stampedDue) - lf_now();
  }
  metres = lf_length({metres, lf_length(t.abeam())});
  const double speedNow = std::max(p.speedMps, 0.0);
  double wanted = left > 0 ? metres / (left * kSecondsPerCycle) : p.fastestMps;
  // Turning hard, it flies no faster than the leg's reported speed: the turn would only grow wider.
  // So too while banked as steeply as it may, however near the course it aims for: catching up along
  // a curving track faster than reported, it would fly a wider arc than the track turns.
  static const double turningCos = std::cos(kTurningDeg * kDegToRad);
  const bool turning = lf_dot(t.nose, aim) < turningCos || std::fabs(p.bank) >= kFullBankShare * bankLimit;
  wanted = std::min(wanted, turning ? p.legMps : p.fastestMps);
  const bool flying = lf_liftedOff(ac);
  double least = 0;
  if (flying && ac.category != Rotorcraft) {
    // Abeam or past every position it knows (the feed's positions lag the aircraft, or stall while
    // it flies on), it has nothing to make up: it slows to the least it flies. Hurrying to cover its
    // distance from the track instead, it flew wide of the track where that turns back.
    if (t.toPoint(last) <= 0 && t.past(last)) wanted = 0;
    // The speed its positions imply over the minute flown up to now, or over the minute to come where
    // that is faster: it takes an aeroplane some seconds to speed up, and it is never to be that slow.
    if (p.positionsCycle < 0 || lf_now() - p.positionsCycle >= kPositionsEveryCycles) {
      p.positionsMps = std::max(gf_positionsSpeedKt(ac, lf_now()), gf_positionsSpeedKt(ac, lf_now() + kSpeedUpCycles)) *
                       kMetresPerSecondPerKnot;
      p.positionsCycle = lf_now();
    }
    // Coming in to land it keeps to its approach's speed instead: a jump of its records there would
    // have it race down to the field, its turns too wide to line up.
    least = std::max(kLeastShareOfSlowest * ac.slowestAirborneKt * kMetresPerSecondPerKnot,
                     ac.landingMode != 0 ? 0.0 : kLeastShareOfPositions * p.positionsMps);
    wanted = std::max(wanted, least);
    // Coming in to land it keeps to its approach speed until it is down, unless its records roll out
    // already (the feed may never report the ground): then it slows as they do. Not while they hold
    // off its touchdown: it has not landed yet.
    if (ac.landingMode != 0) {
      double leastKt = lf_leastApproachKt(ac);
      if (end.extension == 0 && end.speed > 0 && !lf_holdsOffTheTouchdown(ac))
        leastKt = std::min(leastKt, end.speed + kAboveRolloutRecordsKt);
      wanted = std::max(wanted, leastKt * kMetresPerSecondPerKnot);
    }
  }
  if (p.speedMps < 0 || !flying) {
    p.speedMps = wanted;
  } else {
    // Below the least it flies (its positions were found to move on faster), it speeds up harder.
    const double rate = speedNow < least ? kBelowLeastSpeedChangeKtPerSecond : kMostSpeedChangeKtPerSecond;
    const double most = rate * kMetresPerSecondPerKnot * kSecondsPerCycle;
    p.speedMps += std::clamp(wanted - speedNow, -most, most);
  }
  return p.speedMps;
}

// The turn: the bank that curves the aircraft onto the course it aims for within those seconds
// (the arc through the point aimed at; beyond a right angle off the nose, the steepest), taken at
// the category's rate of roll; the nose turns at the rate the bank gives. Radians a second,
// clockwise.
double lf_airTurn(LiveAc& ac, Vec nose, Vec aim, double speedMps, double maxBank) {
  AirPath& p = ac.airPath;
  const double v = std::max(speedMps, 1.0);
  const double rollPerCycle = gf_rollRate(ac.category) * kSecondsPerCycle;
  // The sine of the angle from the nose to the aim, clockwise; beyond a right angle, the full turn.
  const double sine = aim.x * nose.y - aim.y * nose.x;
  const double rate = (lf_dot(nose, aim) <= 0 ? (sine >= 0 ? 1.0 : -1.0) : sine) * 2 / kAimSeconds;
  const double slope = rate * v * (1 / kGravity);  // the tangent of the bank wanted, left wing down positive
  const double level = std::atan(slope);
  const double wanted = -std::clamp(level, -maxBank, maxBank);
  // Reached within this cycle's roll, the bank is the one wanted, whose tangent is known already.
  double tangent = 0;
  if (std::fabs(wanted - p.bank) <= rollPerCycle && wanted == -level) {
    p.bank = wanted;
    tangent = -slope;
  } else {
    p.bank += std::clamp(wanted - p.bank, -rollPerCycle, rollPerCycle);
    tangent = std::tan(p.bank);
  }
  if (p.feedBank == 0) ac.bankStep = p.bank - ac.position.bank;
  const double most = gf_bankedTurnRate(ac.category, speedMps);
  return std::clamp(-kGravity * tangent / v, -most, most);
}

// The climb's share: the leg's climb or descent ends at the leg's end altitude where the aircraft
// reaches the leg's end. The leg is planned to its due time, but the aircraft keeps to its record's
// time and may get there sooner: the climb steepens to what is left over the way still to fly,
// within the category's climb and descent; once at that altitude it levels off. Coming in to land
// along records that descend, the descent follows them along the way, steeper or shallower, down to
// the approach's least rate on short final.
void lf_airClimb(LiveAc& ac, const Track& t, double speedMps) {
  const Situation& s = ac.situations.front();
  if (ac.flareStage != 0 || s.airborne == 0 || s.extension != 0) return;
  const double left = s.altitude - ac.position.altitude;
  // Past the leg's end ahead of its due (it may wait there for its next record), the way left is nil:
  // the leg end's altitude is then reached by the due, not at once in the steepest dive.
  const double wayCycles = t.toPoint(t.legEnd) / std::max(speedMps, 1.0) * kCyclesPerSecond;
  const double cycles = std::max(wayCycles > 0 ? wayCycles : static_cast<double>(s.due - lf_now()), 1.0);
  if (ac.landingMode != 0) {
    if (ac.altitudeStep < 0 && left < 0)
      ac.altitudeStep =
          std::max(lf_approachStep(ac, lf_withinCodeStep(ac, s, left, left / cycles)), lf_steepestDescentPerCycle(ac));
    // Never down to the flare before the records allow the touchdown.
    ac.altitudeStep = lf_notBeforeTouchdown(ac, ac.altitudeStep, 0);
    return;
  }
  // Going on down below the altitude the feed holds, it does not level off at that altitude (it comes
  // into its landing configuration on the way down).
  if (ac.belowHeldAltitude != 0) return;
  if ((ac.altitudeStep > 0 && left <= 0) || (ac.altitudeStep < 0 && left >= 0)) {
    ac.altitudeStep = 0;
    ac.pitchStep = 0;
    return;
  }
  if (ac.altitudeStep == 0) return;
  const double wanted = lf_withinCodeStep(ac, s, left, left / cycles);
  if (std::fabs(wanted) > std::fabs(ac.altitudeStep))
    ac.altitudeStep = std::clamp(wanted, lf_steepestDescentPerCycle(ac), ac.maxClimbPerCycle());
  if (std::fabs(ac.altitudeStep) > std::fabs(left)) ac.altitudeStep = left;
}

// Coming in to land below kFinalHeightFt, an aircraft established on its final (flying along the
// track, which has run straight for the segment it is on and the one before, toward the field) holds
// that line down to the runway: the records' positions on short final are often another sender's,
// hundreds of metres to kilometres aside at a made-up altitude, and a turn toward them there would
// put it down beside the runway. A go-around or the touchdown ends it.
void lf_holdFinal(LiveAc& ac, const Track& t) {
  if (ac.landingMode == 0 || ac.landed != 0 || ac.category == Rotorcraft || ac.heightAboveGround > kFinalHeightFt) {
    ac.finalLine.reset();
    return;
  }
  const AroundAircraft& around = t.frame;
  const double straightCos = std::cos(kFinalStraightDeg * kDegToRad);
  if (ac.finalLine) {
    // The line is drawn anew along the latest stretch of the final that runs straight, back from its
    // latest position along it as far as the positions before lie on it: the longer the stretch, the
    // truer its course, but a curve onto the final is no part of it.
    int last = t.count - 1;
    while (last >= 0 && t.aside[static_cast<std::size_t>(last)]) --last;
    int before = last - 1;
    while (before >= 0 && (t.aside[static_cast<std::size_t>(before)] ||
                           lf_length(t.at[last] - t.at[before]) < 2 * kFinalSegmentMetres))
      --before;
    if (before < 0) return;
    Vec anchor = t.at[before];
    const Vec along = lf_unit(t.at[last] - anchor);
    const auto onIt = [&](Vec v) {
      const Vec d = v - t.at[last];
      return std::fabs(d.x * along.y - d.y * along.x) <= kFinalStraightMetres;
    };
    for (int i = before - 1; i >= 0 && !t.aside[static_cast<std::size_t>(i)] && onIt(t.at[i]); --i) anchor = t.at[i];
    const Vec kept = around.at(ac.finalLine->at.lat, ac.finalLine->at.lon);
    if (onIt(kept) && lf_dot(kept - anchor, along) < 0) anchor = kept;
    const Vec course = lf_unit(t.at[last] - anchor);
    if (lf_dot(course, lf_along(ac.finalLine->course)) < straightCos) return;
    ac.finalLine = LiveAc::FinalLine{around.latLon(anchor), lf_courseOf(course)};
    return;
  }
  const int k = t.segment;
  if (k < 1 || k + 1 >= t.count) return;
  // A position made up while the feed is silent goes on along the leg before it: straight by making,
  // it says nothing of the final.
  if (ac.situations.front().extension != 0) return;
  // Two straight segments, the one the aircraft is on and the one before it, with the aircraft
  // along them.
  if (lf_length(t.at[k] - t.at[k - 1]) < kFinalSegmentMetres || lf_length(t.at[k + 1] - t.at[k]) < kFinalSegmentMetres ||
      lf_dot(t.course(k - 1), t.course(k)) < straightCos)
    return;
  const Vec course = lf_unit(t.at[k + 1] - t.at[k - 1]);
  if (lf_dot(course, t.nose) < straightCos) return;
  const auto aside = [&](Vec v) {
    const Vec d = v - t.at[k - 1];
    return std::fabs(d.x * course.y - d.y * course.x);
  };
  if (aside(Vec{}) > kFinalAsideMetres || aside(t.at[k]) > kFinalAsideMetres) return;
  if (ac.landingField) {
    const Vec field = around.at(ac.landingField->lat, ac.landingField->lon) - t.at[k - 1];
    if (lf_dot(field, course) < 0 || aside(field + t.at[k - 1]) > kFieldAcrossMetres) return;
  }
  ac.finalLine = LiveAc::FinalLine{around.latLon(t.at[k - 1]), lf_courseOf(course)};
}

// Moves the aircraft along a course (a unit vector) at a speed for one cycle; eastPerDegree is
// where it was: a cycle's move changes it by a ten-millionth.
void lf_move(AiPosBlock& pos, Vec course, double speedMps, double eastPerDegree) {
  const Vec moved = (speedMps * kSecondsPerCycle) * course;
  pos.latitude += moved.y * (1 / kMetresPerDegree);
  pos.longitude += moved.x / eastPerDegree;
}

// A unit vector turned clockwise by a small angle: a cycle's turn is a fraction of a degree, where
// the series' first terms are exact to the last bit (beyond, the library's sine and cosine).
Vec lf_turned(Vec v, double radians) {
  double s = 0, c = 0;
  if (std::fabs(radians) <= 0.01) {
    const double r2 = radians * radians;
    s = radians + radians * r2 * (-1.0 / 6 + r2 * (1.0 / 120 - r2 * (1.0 / 5040)));
    c = 1 + r2 * (-1.0 / 2 + r2 * (1.0 / 24 + r2 * (-1.0 / 720 + r2 * (1.0 / 40320))));
  } else {
    s = std::sin(radians);
    c = std::cos(radians);
  }
  return {v.x * c + v.y * s, v.y * c - v.x * s};
}

}  // namespace

double gf_bankedTurnRate(int category, double speedMps) {
  const double most = kSlowYawDegPerSecond * kDegToRad;
  if (category == Rotorcraft && speedMps <= kSlowYawKt * kMetresPerSecondPerKnot) return most;
  // The tangent of each category's bank, worked out once: this is asked for every cycle.
  static const std::array<double, 6> tangents = [] {
    std::array<double, 6> t{};
    for (int c = 0; c < 6; ++c) t[static_cast<std::size_t>(c)] = std::tan(gf_maxBank(c));
    return t;
  }();
  if (category < 0 || category >= 6) gf_maxBank(category);  // throws for a category without a bank
  return std::min(kGravity * tangents[static_cast<std::size_t>(category)] / std::max(speedMps, 1.0), most);
}

void lf_planAirPath(LiveAc& ac) {
  AirPath& p = ac.airPath;
  const bool wasGuided = p.guided != 0;
  p.guided = 0;
  const Situation& f = ac.situations[0];
  const Situation& s = ac.situations[1];
  if (ac.movesOnGround != 0 || s.noMovement != 0) return;
  p.guided = 1;
  p.feedBank = s.feedBankGiven;
  // The track is made of reported positions: one made up while the feed was silent starts no leg
  // of it.
  if (!wasGuided || f.extension == 0) {
    // The last leg's start came before this one's, when that leg was flown this way.
    p.beforeKnown = wasGuided && (p.fromLatitude != f.latitude || p.fromLongitude != f.longitude) ? 1 : 0;
    p.beforeLatitude = p.fromLatitude;
    p.beforeLongitude = p.fromLongitude;
    p.fromLatitude = f.latitude;
    p.fromLongitude = f.longitude;
    p.beforeDue = p.fromDue;
    p.fromDue = f.due;
  }
  p.legMps = lf_legSpeedKt(ac) * kMetresPerSecondPerKnot;
  // The approach speed is the feed's: the synthetic legs of a silence slow down by their own rule.
  if (f.airborne != 0 && f.speed > 0 && f.extension == 0) p.approachMps = f.speed * kMetresPerSecondPerKnot;
  p.fastestMps = lf_catchUpSpeedKt(ac, lf_legSpeedKt(ac)) * kMetresPerSecondPerKnot;
  if (p.speedMps < 0) p.bank = ac.position.bank;
}

double lf_leastApproachKt(const LiveAc& ac) {
  // Floating over the runway before its records allow the touchdown, it has not begun to slow for its
  // landing: it floats on at the approach's speed.
  const double share = lf_floatsBeforeTouchdown(ac) ? 1.0 : kLeastShareOfApproach;
  return std::min(share * ac.airPath.approachMps / kMetresPerSecondPerKnot, kFastestFinalKt);
}

bool lf_legEnds(const LiveAc& ac) {
  if (ac.situations.empty()) return false;
  const Situation& front = ac.situations.front();
  if (!lf_flownInTheAir(ac)) return lf_now() >= front.due;
  // In the air the leg's end is due by the leg's own timing, or by its record's, whichever comes
  // first: the aircraft keeps to its record's.
  const bool due = lf_now() >= std::min(front.due, front.extension != 0 ? front.due : ac.airPath.stampedDue);
  // A position made up to fly on while the feed was silent is given up once due: the feed's next
  // record is where the aircraft goes.
  if (front.extension != 0 && due) return true;
  // Ahead of its stream, it flies on along the leg until the next record is known or the leg is due:
  // the stream is extended only once the feed is late.
  if (ac.situations.size() < 2 && !due) return false;
  const Track& t = lf_track(ac);
  // Abeam its end, the leg ends at its due time (the aircraft early there flies on along the next).
  if (t.past(t.legEnd)) return due;
  // Late, the aircraft heads for where its records have it now rather than for every position it
  // is late for: the leg ends once they have it past the leg's end.
  if (due && ac.category != Rotorcraft && t.lateMetres(lf_now()) > t.toPoint(t.legEnd) + std::max(ac.airPath.speedMps, 0.0) * kLateSlackSeconds)
    return true;
  // A leg's end left behind the nose (the aircraft flew on past it, or the feed put it there) is not
  // flown back to once it is due, nor when the track goes on ahead of the nose, nor when it lies
  // within the circle a turn round would fly.
  const Vec nose = t.nose;
  const Vec end = t.at[t.legEnd];
  if (lf_dot(end, nose) > 0) return false;
  if (due) return true;
  // Well behind: not merely abeam while the aircraft comes round to it.
  if (lf_dot(lf_unit(end), nose) > -kWellBehindCos) return false;
  const double speedMps = std::max(ac.airPath.speedMps, 0.0);
  const double turnRound = 2 * lf_turnRadius(ac, speedMps, gf_bankLimit(ac));
  const bool nextAhead = t.legEnd + 1 < t.count && lf_dot(t.at[t.legEnd + 1], nose) > 0;
  return nextAhead || lf_length(end - t.at[t.legEnd - 1]) <= turnRound || lf_length(end) <= turnRound;
}

bool lf_airStep(LiveAc& ac) {
  if (!lf_flownInTheAir(ac)) return false;
  AiPosBlock& pos = ac.position;
  const Track& t = lf_track(ac);
  lf_holdFinal(ac, t);
  // The bank it may show where it is: what its turns are led by, paced by and flown at.
  const double bankLimit = gf_bankLimit(ac);
  const Vec aim = lf_aimCourse(ac, t, std::max(ac.airPath.speedMps, 0.0), bankLimit);
  const double speedMps = lf_airPace(ac, t, aim, bankLimit);
  const bool slowRotor = ac.category == Rotorcraft && speedMps <= kSlowYawKt * kMetresPerSecondPerKnot;
  if (slowRotor || !lf_liftedOff(ac)) {
    // A slow helicopter goes where it aims and yaws its nose after it; rolling for take-off the
    // aircraft runs along the runway, nose along its course.
    // A helicopter turning round yaws before it moves off: it never flies backwards.
    const double course = lf_courseOf(aim);
    lf_move(pos, aim, slowRotor ? speedMps * std::max(lf_dot(t.nose, aim), 0.0) : speedMps, t.frame.eastPerDegree);
    const double most = slowRotor ? gf_bankedTurnRate(ac.category, speedMps) * kSecondsPerCycle : ac.turnPerCycle();
    pos.heading = gf_normalisedRad(pos.heading + std::clamp(gf_angleDiff(pos.heading, course), -most, most));
    ac.airPath.bank = 0;
    if (ac.airPath.feedBank == 0) ac.bankStep = -pos.bank;
  } else {
    // Along the nose, turning as it goes.
    const double turned = lf_airTurn(ac, t.nose, aim, speedMps, bankLimit) * kSecondsPerCycle;
    lf_move(pos, lf_turned(t.nose, turned / 2), speedMps, t.frame.eastPerDegree);
    pos.heading = gf_normalisedRad(pos.heading + turned);
  }
  lf_airClimb(ac, t, speedMps);
  return true;
}

void lf_hoverTurn(LiveAc& ac) {
  if (ac.movesOnGround != 0 || ac.phase != GroundPhase::Airborne) return;
  for (const Situation& next : ac.situations) {
    if (next.noMovement != 0) continue;
    const LatLon here{ac.position.latitude, ac.position.longitude};
    const LatLon to{next.latitude, next.longitude};
    if (to.lat == here.lat && to.lon == here.lon) return;
    const double most = gf_bankedTurnRate(ac.category, 0) * kSecondsPerCycle;
    const double turned = std::clamp(gf_angleDiff(ac.position.heading, gf_bearingRad(here, to)), -most, most);
    ac.position.heading = gf_normalisedRad(ac.position.heading + turned);
    return;
  }
}

}  // namespace amb
