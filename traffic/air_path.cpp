// Flight in the air between reported positions. The reported track is a chain of straight legs
// whose course changes at once at every reported position: samples of the aircraft's real, smooth
// path, with the feed's noise. Here the aircraft flies its own path, steering every cycle for the
// track: along a leg, and round each corner on the widest arc that fits between the legs (the arcs
// of a track sampled along a steady turn join into that turn). Off the track it heads back to it at
// an angle that grows with its distance, up to 70 degrees, so that it joins the track without
// overshooting; its bank follows the turn it needs, at the category's rate of roll, and is taken
// off in time for the nose to stop on the course it wants. The speed brings it abeam the leg's end
// at the leg's due time.

#include "traffic/air_path.hpp"
#include "traffic/air.hpp"
#include "traffic/engine.hpp"

#include "core/geometry.hpp"

#include <algorithm>
#include <array>
#include <cmath>

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
// Coming in to land it flies no slower than this share of the speed last reported in the air.
constexpr double kLeastShareOfApproach = 0.9;
// How fast the speed flown in the air changes, knots a second: the legs' paces jump with the feed's
// timing, an aeroplane's speed does not.
constexpr double kMostSpeedChangeKtPerSecond = 6.0;
constexpr double kPaceGain = 1.0;
// A corner sharper than this is no arc of the track: the aircraft comes in along its leg and turns
// onto the next one after it; one gentler than the least is flown straight.
constexpr double kMostCornerDeg = 120.0;
constexpr double kLeastCornerDeg = 0.5;
// Off the track it heads back to it at up to this angle, and at half of it this many seconds' flight
// away from it.
constexpr double kMostApproachDeg = 70.0;
constexpr double kApproachSeconds = 8.0;
// The bank it takes for a course this far off the one it wants, radians of bank per radian.
constexpr double kBankPerCourseError = 1.5;
// The arcs round the corners are planned at this share of the category's most bank, and reach at
// most this share of a leg.
constexpr double kPlannedBankShare = 0.8;
constexpr double kMostCutShare = 0.95;
// Turning this far off the course it wants, it flies no faster than the leg's reported speed (to make
// up a delay, or after one): the turn would only grow wider.
constexpr double kTurningDeg = 15.0;
// A leg's end more than 120 degrees off the nose lies well behind it.
constexpr double kWellBehindCos = 0.5;
// Nearer than this two positions are one, metres.
constexpr double kSameMetres = 1.0;

struct Vec {
  double x = 0;  // metres east
  double y = 0;  // metres north
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator-(Vec a) { return {-a.x, -a.y}; }
Vec operator*(double k, Vec a) { return {k * a.x, k * a.y}; }
double lf_dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y; }
// Positive where b lies to the left of a.
double lf_cross(Vec a, Vec b) { return a.x * b.y - a.y * b.x; }
double lf_length(Vec a) { return std::hypot(a.x, a.y); }
Vec lf_unit(Vec a) {
  const double l = lf_length(a);
  return l > 0 ? (1 / l) * a : Vec{};
}
// The unit vector of a course (radians clockwise from north), and the course of a vector.
Vec lf_along(double course) { return {std::sin(course), std::cos(course)}; }
double lf_courseOf(Vec a) { return std::atan2(a.x, a.y); }

double lf_normalised(double radians) {
  double h = std::fmod(radians, kTwoPi);
  if (h < 0) h += kTwoPi;
  return h >= kTwoPi ? 0.0 : h;
}

// A position in metres east and north of the aircraft.
Vec lf_fromAircraft(const AiPosBlock& pos, double latitude, double longitude) {
  return {(longitude - pos.longitude) * kMetresPerDegree * std::cos(pos.latitude * kDegToRad),
          (latitude - pos.latitude) * kMetresPerDegree};
}

std::int32_t lf_now() { return g_engineCycle.load(std::memory_order_relaxed); }

// The arc round the corner at q between the legs p-q and q-r, tangent to both.
struct Corner {
  bool set = false;
  Vec centre;
  double radius = 0;
  double cut = 0;  // metres from the corner to where the arc meets a leg
  int side = 0;    // 1 a left turn, -1 a right one
  Vec corner;
  Vec in, out;     // the courses of the legs into and out of the corner
  Vec through;     // the course of the arc abeam the corner
};

Corner lf_corner(Vec p, Vec q, Vec r, double leastRadius) {
  Corner c;
  const double lengthIn = lf_length(q - p);
  const double lengthOut = lf_length(r - q);
  if (lengthIn <= kSameMetres || lengthOut <= kSameMetres) return c;
  const Vec in = lf_unit(q - p);
  const Vec out = lf_unit(r - q);
  const double turn = std::acos(std::clamp(lf_dot(in, out), -1.0, 1.0));
  if (turn < kLeastCornerDeg * kDegToRad || turn > kMostCornerDeg * kDegToRad) return c;
  c.set = true;
  // The widest arc that leaves half of each leg to the corners at its ends (the arcs of a track
  // sampled along a steady turn join into that turn); no tighter than the aircraft turns, as far as
  // the legs reach.
  c.cut = std::min(lengthIn, lengthOut) / 2;
  if (c.cut < leastRadius * std::tan(turn / 2))
    c.cut = std::min({leastRadius * std::tan(turn / 2), kMostCutShare * lengthIn, kMostCutShare * lengthOut});
  c.radius = c.cut / std::tan(turn / 2);
  c.side = lf_cross(in, out) > 0 ? 1 : -1;
  const Vec inward{-c.side * in.y, c.side * in.x};
  c.centre = (q - c.cut * in) + c.radius * inward;
  c.corner = q;
  c.in = in;
  c.out = out;
  c.through = lf_unit(in + out);
  return c;
}

// The aircraft is between the points where the arc meets the legs (it is at the origin).
bool lf_onArcStretch(const Corner& c) {
  return c.set && lf_dot(-c.corner, c.in) > -c.cut && lf_dot(-c.corner, c.out) < c.cut;
}

// The reported track around the aircraft, in metres from it: the position before the leg's start
// (when known), the leg's start, the leg's end (the front situation) and the positions after it that
// the buffer holds already. The aircraft steers by the segment it is on, which is the leg's, or a later
// one when it is early past the leg's end.
struct Track {
  static constexpr int kMostPoints = 6;
  std::array<Vec, kMostPoints> at{};
  int count = 0;
  int legEnd = 0;   // the leg's end
  int segment = 0;  // the aircraft is on the segment from at[segment] to at[segment + 1]
  double leastRadius = 0;

  void add(Vec v) {
    if (count < kMostPoints && (count == 0 || lf_length(v - at[count - 1]) > kSameMetres)) at[count++] = v;
  }
  Vec course(int i) const { return lf_unit(at[i + 1] - at[i]); }
  // The arc round the corner at point i, when it has one.
  Corner corner(int i) const {
    if (i <= 0 || i + 1 >= count) return {};
    return lf_corner(at[i - 1], at[i], at[i + 1], leastRadius);
  }
  // The course the track has abeam point i: along the arc round it, or along the leg into it.
  Vec through(int i) const {
    const Corner c = corner(i);
    return c.set ? c.through : course(i - 1);
  }
  // The aircraft (at the origin) is abeam point i or past it.
  bool past(int i) const { return lf_dot(-at[i], through(i)) >= 0; }
};

Track lf_track(const LiveAc& ac, double speedMps) {
  const AiPosBlock& pos = ac.position;
  const AirPath& p = ac.airPath;
  const Situation& s = ac.situations.front();
  Track t;
  // The tightest arc planned: a turn at a share of the category's bank, leaving the rest to steer.
  t.leastRadius = speedMps * speedMps / (kGravity * std::tan(kPlannedBankShare * gf_maxBank(ac.category)));
  const Vec before = lf_fromAircraft(pos, p.beforeLatitude, p.beforeLongitude);
  const Vec from = lf_fromAircraft(pos, p.fromLatitude, p.fromLongitude);
  if (p.beforeKnown != 0) t.add(before);
  t.add(from);
  Vec end = lf_fromAircraft(pos, s.latitude, s.longitude);
  // A position made up while the feed is silent lies along the nose, not on the track: the track
  // goes on as its last reported leg did.
  if (s.extension != 0 && t.count >= 2) end = from + lf_length(end - from) * t.course(t.count - 2);
  // A leg that starts where it ends runs from the aircraft.
  if (lf_length(end - from) <= kSameMetres) {
    t.count = 0;
    t.add(Vec{});
  }
  t.add(end);
  if (t.count < 2) t.add(end + lf_along(pos.heading));
  t.legEnd = t.count - 1;
  if (s.extension == 0) {
    for (std::size_t i = 1; i < ac.situations.size(); ++i) {
      const Situation& n = ac.situations[i];
      if (n.noMovement != 0 || n.extension != 0) break;
      t.add(lf_fromAircraft(pos, n.latitude, n.longitude));
    }
  }
  t.segment = t.legEnd - 1;
  while (t.segment + 2 < t.count && t.past(t.segment + 1)) ++t.segment;
  return t;
}

// The track where the aircraft is: its course, how far the aircraft is to the right of it (metres)
// and the rate it turns at (radians a second, clockwise) at a speed.
struct TrackHere {
  double course = 0;
  double offset = 0;
  double turnRate = 0;
};

TrackHere lf_onArc(const Corner& c, double speedMps) {
  const Vec fromCentre = -c.centre;
  const double distance = std::max(lf_length(fromCentre), kSameMetres);
  const Vec tangent = c.side > 0 ? Vec{-fromCentre.y, fromCentre.x} : Vec{fromCentre.y, -fromCentre.x};
  return {lf_courseOf(tangent), (distance - c.radius) * c.side, -c.side * speedMps / c.radius};
}

// Metres to the right of the line through a point along a course (the aircraft at the origin).
double lf_offsetFrom(Vec point, Vec course) { return point.y * course.x - point.x * course.y; }

TrackHere lf_trackHere(const Track& t, double speedMps) {
  const int k = t.segment;
  if (const Corner c = t.corner(k); lf_onArcStretch(c)) return lf_onArc(c, speedMps);
  if (const Corner c = t.corner(k + 1); lf_onArcStretch(c)) return lf_onArc(c, speedMps);
  return {lf_courseOf(t.course(k)), lf_offsetFrom(t.at[k], t.course(k)), 0};
}

// Metres along the track from the aircraft to the leg's end; none once it is past it.
double lf_toLegEnd(const Track& t) {
  if (t.segment >= t.legEnd) return 0;
  const int k = t.legEnd - 1;
  return std::max(lf_length(t.at[k + 1] - t.at[k]) + lf_dot(t.at[k], t.course(k)), 0.0);
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

// The course the aircraft wants: the track's, turned back toward the track the farther off it is.
double lf_wantedCourse(const TrackHere& track, double speedMps) {
  const double k = 1 / (std::max(speedMps, 1.0) * kApproachSeconds);
  return track.course - kMostApproachDeg * kDegToRad * (2 / kPi) * std::atan(k * track.offset);
}

// The pace: the speed that brings the aircraft abeam the leg's end at the time its record was stamped
// due with (the report and the engine's delay: the leg's own timing only says when it may end, and a
// leg begun late would hand its lateness on to the next), up to its
// catch-up speed, changing no faster than an aeroplane's; in the air never below its share of the
// slowest speed reported (a helicopter may slow to a hover). Rolling for take-off it keeps the legs'
// pace. Metres a second.
double lf_airPace(LiveAc& ac, const Track& t, const TrackHere& track) {
  AirPath& p = ac.airPath;
  const Situation& end = ac.situations.front();
  std::int32_t left = (end.extension != 0 ? end.due : p.stampedDue) - lf_now();
  double metres = std::hypot(lf_toLegEnd(t), track.offset);
  // Early past the leg's end it keeps to the time of the next one.
  if (t.segment >= t.legEnd && t.legEnd + 1 < t.count) {
    metres = std::max(lf_dot(t.at[t.legEnd + 1], t.course(t.legEnd)), 0.0);
    left = ac.situations[1].due - lf_now();
  }
  const double speedNow = std::max(p.speedMps, 0.0);
  double wanted = left > 0 ? metres / (left * kSecondsPerCycle) : p.fastestMps;
  // Its speed comes at an aeroplane's rate: it asks for more of a change than the time alone would,
  // so as to be on time when the change has come.
  if (p.speedMps >= 0) wanted = speedNow + kPaceGain * (wanted - speedNow);
  const bool turning =
      std::fabs(gf_angleDiff(ac.position.heading, lf_wantedCourse(track, speedNow))) > kTurningDeg * kDegToRad;
  wanted = std::min(wanted, turning ? p.legMps : p.fastestMps);
  const bool flying = lf_liftedOff(ac);
  if (flying && ac.category != Rotorcraft) {
    wanted = std::max(wanted, kLeastShareOfSlowest * ac.slowestAirborneKt * kMetresPerSecondPerKnot);
    // Coming in to land it keeps to its approach speed until it is down.
    if (ac.landingMode != 0) wanted = std::max(wanted, kLeastShareOfApproach * p.approachMps);
  }
  if (p.speedMps < 0 || !flying) {
    p.speedMps = wanted;
  } else {
    const double most = kMostSpeedChangeKtPerSecond * kMetresPerSecondPerKnot * kSecondsPerCycle;
    p.speedMps += std::clamp(wanted - p.speedMps, -most, most);
  }
  return p.speedMps;
}

// The turn: the bank for the track's own turn and for the course the aircraft wants, less what the
// nose still turns while the bank comes back to the track's (so that it stops on that course), taken
// at the category's rate of roll; the nose turns at the rate the bank gives. Radians a second,
// clockwise.
double lf_airTurn(LiveAc& ac, const TrackHere& track, double speedMps) {
  AirPath& p = ac.airPath;
  const double v = std::max(speedMps, 1.0);
  const double maxBank = gf_maxBank(ac.category);
  const double rollPerCycle = gf_rollRate(ac.category) * kSecondsPerCycle;
  const double error = gf_angleDiff(ac.position.heading, lf_wantedCourse(track, speedMps));
  const double trackBank = -std::clamp(std::atan(track.turnRate * v / kGravity), -maxBank, maxBank);
  const double toTrackBank = p.bank - trackBank;
  const double stillToTurn = kGravity / v * std::fabs(std::tan(p.bank) - std::tan(trackBank)) *
                             std::fabs(toTrackBank) / (2 * rollPerCycle * kCyclesPerSecond);
  const double ahead = toTrackBank != 0 ? error - std::copysign(stillToTurn, -toTrackBank) : error;
  const double wanted = std::clamp(trackBank - kBankPerCourseError * ahead, -maxBank, maxBank);
  p.bank += std::clamp(wanted - p.bank, -rollPerCycle, rollPerCycle);
  if (p.feedBank == 0) ac.bankStep = p.bank - ac.position.bank;
  const double most = gf_bankedTurnRate(ac.category, speedMps);
  return std::clamp(-kGravity * std::tan(p.bank) / v, -most, most);
}

// The climb's share: the leg's climb or descent ends at the leg's end altitude (the aircraft keeps to
// its record's time, so it may get there before its end); coming in to land it goes on down.
void lf_airClimb(LiveAc& ac) {
  const Situation& s = ac.situations.front();
  if (ac.flareStage != 0 || ac.landingMode != 0 || s.airborne == 0 || s.extension != 0) return;
  const double left = s.altitude - ac.position.altitude;
  if ((ac.altitudeStep > 0 && left <= 0) || (ac.altitudeStep < 0 && left >= 0)) {
    ac.altitudeStep = 0;
    ac.pitchStep = 0;
  } else if (std::fabs(ac.altitudeStep) > std::fabs(left)) {
    ac.altitudeStep = left;
  }
}

// Moves the aircraft along a course at a speed for one cycle.
void lf_move(AiPosBlock& pos, double course, double speedMps) {
  const Vec moved = (speedMps * kSecondsPerCycle) * lf_along(course);
  pos.latitude += moved.y / kMetresPerDegree;
  pos.longitude += moved.x / (kMetresPerDegree * std::cos(pos.latitude * kDegToRad));
}

}  // namespace

double gf_bankedTurnRate(int category, double speedMps) {
  const double most = kSlowYawDegPerSecond * kDegToRad;
  if (category == Rotorcraft && speedMps <= kSlowYawKt * kMetresPerSecondPerKnot) return most;
  return std::min(kGravity * std::tan(gf_maxBank(category)) / std::max(speedMps, 1.0), most);
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
  }
  p.legMps = lf_legSpeedKt(ac) * kMetresPerSecondPerKnot;
  if (f.airborne != 0 && f.speed > 0) p.approachMps = f.speed * kMetresPerSecondPerKnot;
  p.fastestMps = lf_catchUpSpeedKt(lf_legSpeedKt(ac)) * kMetresPerSecondPerKnot;
  if (p.speedMps < 0) p.bank = ac.position.bank;
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
  const Track t = lf_track(ac, std::max(ac.airPath.speedMps, 0.0));
  // Abeam its end, the leg ends at its due time (the aircraft early there flies on along the next).
  if (t.past(t.legEnd)) return due;
  // A leg's end left behind the nose (the aircraft flew on past it, or the feed put it there) is not
  // flown back to once it is due, nor when the track goes on ahead of the nose, nor when it lies
  // within the circle a turn round would fly.
  const Vec nose = lf_along(ac.position.heading);
  const Vec end = t.at[t.legEnd];
  if (lf_dot(end, nose) > 0) return false;
  if (due) return true;
  // Well behind: not merely abeam while the aircraft comes round to it.
  if (lf_dot(lf_unit(end), nose) > -kWellBehindCos) return false;
  const double speedMps = std::max(ac.airPath.speedMps, 0.0);
  const double turnRound = 2 * speedMps / gf_bankedTurnRate(ac.category, speedMps);
  const bool nextAhead = t.legEnd + 1 < t.count && lf_dot(t.at[t.legEnd + 1], nose) > 0;
  return nextAhead || lf_length(end - t.at[t.legEnd - 1]) <= turnRound || lf_length(end) <= turnRound;
}

bool lf_airStep(LiveAc& ac) {
  if (!lf_flownInTheAir(ac)) return false;
  AiPosBlock& pos = ac.position;
  double speedMps = std::max(ac.airPath.speedMps, 0.0);
  const Track t = lf_track(ac, speedMps);
  const TrackHere track = lf_trackHere(t, speedMps);
  speedMps = lf_airPace(ac, t, track);
  const bool slowRotor = ac.category == Rotorcraft && speedMps <= kSlowYawKt * kMetresPerSecondPerKnot;
  if (slowRotor || !lf_liftedOff(ac)) {
    // A slow helicopter goes where it wants and yaws its nose after it; rolling for take-off the
    // aircraft runs along the runway, nose along its course.
    const double course = lf_wantedCourse(track, speedMps);
    lf_move(pos, course, speedMps);
    const double most = slowRotor ? gf_bankedTurnRate(ac.category, speedMps) * kSecondsPerCycle : ac.turnPerCycle();
    pos.heading = lf_normalised(pos.heading + std::clamp(gf_angleDiff(pos.heading, course), -most, most));
    ac.airPath.bank = 0;
    if (ac.airPath.feedBank == 0) ac.bankStep = -pos.bank;
  } else {
    // Along the nose, turning as it goes.
    const double turned = lf_airTurn(ac, track, speedMps) * kSecondsPerCycle;
    lf_move(pos, pos.heading + turned / 2, speedMps);
    pos.heading = lf_normalised(pos.heading + turned);
  }
  lf_airClimb(ac);
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
    ac.position.heading = lf_normalised(ac.position.heading + turned);
    return;
  }
}

}  // namespace amb
