// Turns in the air. The reported track is a chain of straight legs whose course changes at once at
// every reported position, by up to 90 degrees where the feed repeated a position for half a minute
// while the aircraft turned. Flown as it is, the path turns on the spot and the nose, turning at the
// aircraft's rate, lags it by a leg. Here a corner becomes a quadratic curve from a point on the leg
// before it to a point on the leg after it, pulled toward the corner (as the taxi's curves are): the
// aircraft passes nearest the corner at the corner's due time, half of the curve flown at the end of
// one leg and the other half at the start of the next. The curve is as tight as the aircraft's turn
// rate allows, and tighter where that would cut far inside the corner (the reported track is itself
// the chords of the aircraft's arc), as long as the nose keeps up with the course within 30
// degrees. The nose follows the course flown, at the aircraft's turn rate; the bank is the one a
// level turn at that rate needs.

#include "traffic/air_path.hpp"
#include "traffic/air.hpp"
#include "traffic/engine.hpp"

#include "core/geometry.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace amb {

namespace {

constexpr double kMetresPerDegree = 111132.95;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
constexpr double kGravity = 9.80665;  // metres per second squared
// The most a curve cuts inside a corner (a reported track that turns is itself the chords of the
// aircraft's arc), metres, and the most the nose may lag the course where the corner is too sharp
// for that, degrees.
constexpr double kMostCornerCutMetres = 20.0;
constexpr double kMostNoseLagDeg = 30.0;
// Halvings of the search for the curve that keeps the nose within that lag.
constexpr int kSearchSteps = 24;
// A helicopter at this speed or slower yaws at this rate, degrees a second.
constexpr double kSlowYawKt = 60.0;
constexpr double kSlowYawDegPerSecond = 30.0;
// Course changes up to this are flown straight (the nose turns by them at once); beyond the largest,
// a curve would only turn the aircraft round on the spot.
constexpr double kLeastCurveTurnDeg = 3.0;
constexpr double kMostCurveTurnDeg = 160.0;
// Slower than this the course flown means little (a hovering helicopter): the nose keeps the leg's
// planned heading step instead.
constexpr double kLeastCourseSpeedKt = 20.0;
// Where the path turns faster than the nose can follow, the aircraft goes no farther in a cycle than
// keeps its course within kMostNoseLagDeg of the nose (halvings of the search for that distance);
// what it falls behind it makes up at a little below its catch-up speed (the local frame's metres
// differ from the great circle's by a fraction of a percent).
constexpr int kHoldSearchSteps = 12;
constexpr double kBelowCatchUp = 0.99;
// The rest of a curve carries on into the next leg only from where the last one left the aircraft.
constexpr double kSameEndMetres = 1.0;
constexpr double kSameCourseRad = 0.1 * kDegToRad;

struct Local {
  double north = 0;
  double east = 0;
};

Local operator+(Local a, Local b) { return {a.north + b.north, a.east + b.east}; }
Local operator-(Local a, Local b) { return {a.north - b.north, a.east - b.east}; }
Local operator*(double k, Local a) { return {k * a.north, k * a.east}; }
double lf_length(Local a) { return std::hypot(a.north, a.east); }

double lf_metresPerDegreeEast(double originLatitude) { return kMetresPerDegree * std::cos(originLatitude * kDegToRad); }

Local lf_toLocal(const AirPath& p, double latitude, double longitude) {
  return {(latitude - p.originLatitude) * kMetresPerDegree,
          (longitude - p.originLongitude) * lf_metresPerDegreeEast(p.originLatitude)};
}

LatLon lf_toLatLon(const AirPath& p, Local at) {
  return {p.originLatitude + at.north / kMetresPerDegree,
          p.originLongitude + at.east / lf_metresPerDegreeEast(p.originLatitude)};
}

Local lf_start(const AirPath::Piece& c) { return {c.north0, c.east0}; }
Local lf_middle(const AirPath::Piece& c) { return {c.north1, c.east1}; }
Local lf_end(const AirPath::Piece& c) { return {c.north2, c.east2}; }

AirPath::Piece lf_piece(Local a, Local middle, Local b) {
  return {a.north, a.east, middle.north, middle.east, b.north, b.east};
}
AirPath::Piece lf_straight(Local a, Local b) { return lf_piece(a, 0.5 * (a + b), b); }

Local lf_pointAt(const AirPath::Piece& c, double u) {
  return (1 - u) * (1 - u) * lf_start(c) + 2 * (1 - u) * u * lf_middle(c) + u * u * lf_end(c);
}

Local lf_tangentAt(const AirPath::Piece& c, double u) {
  return 2 * (1 - u) * (lf_middle(c) - lf_start(c)) + 2 * u * (lf_end(c) - lf_middle(c));
}

// Metres along the piece from parameter a to b (five-point Gauss-Legendre over the tangent's length).
double lf_lengthAlong(const AirPath::Piece& c, double a, double b) {
  static constexpr double kNodes[5] = {-0.9061798459386640, -0.5384693101056831, 0.0, 0.5384693101056831,
                                       0.9061798459386640};
  static constexpr double kWeights[5] = {0.2369268850561891, 0.4786286704993665, 0.5688888888888889,
                                         0.4786286704993665, 0.2369268850561891};
  const double half = (b - a) / 2;
  double length = 0;
  for (int i = 0; i < 5; ++i) length += kWeights[i] * lf_length(lf_tangentAt(c, a + half * (kNodes[i] + 1)));
  return length * half;
}

// The parameter `metres` on along the piece from u (Newton's method on the length; the pieces are
// gentle curves, so a few steps land within a fraction of a millimetre).
double lf_parameterAfter(const AirPath::Piece& c, double u, double metres) {
  double v = u;
  for (int i = 0; i < 4; ++i) {
    const double speed = lf_length(lf_tangentAt(c, v));
    if (speed <= 0) break;
    v = std::clamp(v - (lf_lengthAlong(c, u, v) - metres) / speed, u, 1.0);
  }
  return v;
}

double lf_courseOf(Local d) {
  double course = std::atan2(d.east, d.north);
  if (course < 0) course += kTwoPi;
  return course >= kTwoPi ? 0.0 : course;
}

double lf_pathLength(const AirPath& p) {
  double length = 0;
  for (std::size_t i = p.index; i < p.count; ++i) length += lf_lengthAlong(p.pieces[i], i == p.index ? p.u : 0.0, 1.0);
  return length;
}

// The curve through a corner: its first half (flown before the corner's due time) and the rest of
// it, in the path's metres.
struct CornerTurn {
  AirPath::Piece firstHalf;
  Local restMiddle;
  Local restEnd;
};

// The most the nose lags the course along the curve through a corner that turns by `turn`, from d
// before it to d after it, flown at a speed (metres a second) by a nose that turns at `rate` (radians
// a second). Along the curve w(u) = (1 - u) * in + u * on gives the direction, the course turns at
// speed * sin(turn) / (2d |w|^3), fastest at the middle; the nose falls behind from where that
// exceeds its rate (|w| = k) to where it falls below again, by the course's turn between those
// points less what the nose turns meanwhile.
double lf_noseLag(double turn, double d, double speedMps, double rate) {
  const double k = std::cbrt(speedMps * std::sin(turn) / (2 * d * rate));
  // |w(u)|^2 = 1 - 2u(1 - u)(1 - cos(turn)) = k^2 at u and 1 - u; where k is below the least |w|,
  // cos(turn / 2), the course never outruns the nose and u comes out as 1/2.
  const double product = k >= 1 ? 0.0 : (1 - k * k) / (2 * (1 - std::cos(turn)));
  const double u = (1 - std::sqrt(std::max(0.0, 1 - 4 * product))) / 2;
  const double courseAtU = std::atan2(u * std::sin(turn), (1 - u) + u * std::cos(turn));
  const AirPath::Piece curve = lf_piece({-d, 0}, {0, 0}, {d * std::cos(turn), d * std::sin(turn)});
  const double seconds = lf_lengthAlong(curve, u, 1 - u) / speedMps;
  return std::max(0.0, turn - 2 * courseAtU - rate * seconds);
}

// The turn through corner s, coming from a along a straight stretch and going on toward t, at a
// ground speed (metres a second). False when the course changes too little or too much.
bool lf_cornerTurn(int category, double speedMps, Local a, Local s, Local t, CornerTurn& out) {
  const double before = lf_length(s - a);
  const double after = lf_length(t - s);
  if (before <= kSameEndMetres || after <= kSameEndMetres) return false;
  const Local in = (1 / before) * (s - a);
  const Local on = (1 / after) * (t - s);
  const double turn = std::fabs(gf_angleDiff(lf_courseOf(in), lf_courseOf(on)));
  if (turn <= kLeastCurveTurnDeg * kDegToRad || turn > kMostCurveTurnDeg * kDegToRad) return false;
  // A quadratic curve with its middle point at the corner and its ends d before and after it turns
  // fastest at its middle, at speed * sin(turn / 2) / (d * cos^2(turn / 2)): as tight as the aircraft
  // turns ...
  const double rate = gf_airTurnRate(category);
  const double half = turn / 2;
  const double forRate = speedMps * std::sin(half) / (rate * std::cos(half) * std::cos(half));
  // ... but cutting no more than kMostCornerCutMetres inside the corner (d * sin(turn) / 4), unless
  // the course then turned so much faster than the nose that the nose fell more than kMostNoseLagDeg
  // behind it; then no tighter than that.
  double d = std::min(forRate, 4 * kMostCornerCutMetres / std::sin(turn));
  if (lf_noseLag(turn, d, speedMps, rate) > kMostNoseLagDeg * kDegToRad) {
    double tight = d, wide = forRate;
    for (int i = 0; i < kSearchSteps; ++i) {
      const double mid = (tight + wide) / 2;
      (lf_noseLag(turn, mid, speedMps, rate) > kMostNoseLagDeg * kDegToRad ? tight : wide) = mid;
    }
    d = wide;
  }
  // Half of the next leg is left for the turn at its end.
  d = std::min({d, before, after / 2});
  const Local q1 = s - d * in;
  const Local q2 = s + d * on;
  const Local nearest = 0.25 * (q1 + 2 * s + q2);
  out.firstHalf = lf_piece(q1, 0.5 * (q1 + s), nearest);
  out.restMiddle = 0.5 * (s + q2);
  out.restEnd = q2;
  return true;
}

// Puts the straight stretch from a to the turn (or to s without one) and the turn on the path.
void lf_addStraightAndTurn(AirPath& p, Local a, Local s, const CornerTurn* turn, const Situation& corner) {
  const Local straightEnd = turn != nullptr ? lf_start(turn->firstHalf) : s;
  if (lf_length(straightEnd - a) > 0) p.pieces[p.count++] = lf_straight(a, straightEnd);
  if (turn == nullptr) return;
  p.pieces[p.count++] = turn->firstHalf;
  p.turnGoesOn = 1;
  p.cornerLatitude = corner.latitude;
  p.cornerLongitude = corner.longitude;
  const LatLon atEnd = lf_toLatLon(p, lf_end(turn->firstHalf));
  const LatLon restMiddle = lf_toLatLon(p, turn->restMiddle);
  const LatLon restEnd = lf_toLatLon(p, turn->restEnd);
  p.atEndLatitude = atEnd.lat;
  p.atEndLongitude = atEnd.lon;
  p.restMiddleLatitude = restMiddle.lat;
  p.restMiddleLongitude = restMiddle.lon;
  p.restEndLatitude = restEnd.lat;
  p.restEndLongitude = restEnd.lon;
}

// The corner at s wants a turn: s and t both in the air, t a position of its own.
bool lf_turnsInTheAir(const Situation& s, const Situation& t) {
  return s.airborne != 0 && t.airborne != 0 && t.noMovement == 0 &&
         (t.latitude != s.latitude || t.longitude != s.longitude);
}

std::int32_t lf_now() { return g_engineCycle.load(std::memory_order_relaxed); }

// How fast the nose turns at a ground speed (metres a second): a helicopter slow enough yaws
// round briskly, as it does when it sets off from a hover in a new direction.
double lf_noseRate(int category, double speedMps) {
  if (category == Rotorcraft && speedMps <= kSlowYawKt * kMetresPerSecondPerKnot) return kSlowYawDegPerSecond * kDegToRad;
  return gf_airTurnRate(category);
}

void lf_startPath(AirPath& p, const LiveAc& ac) {
  p.originLatitude = ac.position.latitude;
  p.originLongitude = ac.position.longitude;
}

}  // namespace

bool lf_roundingCorner(const LiveAc& ac) {
  const AirPath& p = ac.airPath;
  if (p.turnGoesOn == 0 || ac.situations.empty()) return false;
  const Situation& f = ac.situations.front();
  return p.cornerLatitude == f.latitude && p.cornerLongitude == f.longitude &&
         lf_length(lf_toLocal(p, ac.position.latitude, ac.position.longitude) -
                   lf_toLocal(p, p.atEndLatitude, p.atEndLongitude)) <= kSameEndMetres;
}

void lf_planAirPath(LiveAc& ac) {
  const bool rounding = lf_roundingCorner(ac);
  const AirPath last = ac.airPath;
  AirPath& p = ac.airPath;
  p = AirPath{};
  const auto& buffer = ac.situations;
  if (ac.movesOnGround != 0) return;
  const Situation& f = buffer[0];
  const Situation& s = buffer[1];
  if (s.noMovement != 0) return;
  const std::int32_t cycles = std::max(kMinLegCycles, s.due - lf_now());
  p.endCycle = lf_now() + cycles;
  p.feedBank = s.feedBankGiven;
  p.fastestPerCycle =
      kBelowCatchUp * lf_catchUpSpeedKt(lf_legSpeedKt(ac)) * kMetresPerSecondPerKnot / kCyclesPerSecond;
  lf_startPath(p, ac);
  const Local here{0, 0};
  const Local corner = lf_toLocal(p, s.latitude, s.longitude);
  Local a = here;
  // The rest of the turn through the front, when the aircraft is where the last leg's path ended and
  // the rest still lies on this leg.
  if (rounding) {
    const Local from = lf_toLocal(p, f.latitude, f.longitude);
    const Local restMiddle = lf_toLocal(p, last.restMiddleLatitude, last.restMiddleLongitude);
    const Local restEnd = lf_toLocal(p, last.restEndLatitude, last.restEndLongitude);
    const bool onThisLeg = std::fabs(gf_angleDiff(lf_courseOf(restEnd - from), lf_courseOf(corner - from))) <= kSameCourseRad &&
                           lf_length(restEnd - from) < lf_length(corner - from);
    if (onThisLeg) {
      p.pieces[p.count++] = lf_piece(here, restMiddle, restEnd);
      p.entered = 1;
      a = restEnd;
    }
  }
  const double speedMps = lf_length(corner - here) * kCyclesPerSecond / cycles;
  CornerTurn turn;
  bool turns = false;
  if (buffer.size() >= 3) {
    p.endDecided = 1;
    const Situation& t = buffer[2];
    turns = lf_turnsInTheAir(s, t) && lf_cornerTurn(ac.category, speedMps, a, corner, lf_toLocal(p, t.latitude, t.longitude), turn);
  }
  if (p.count == 0 && !turns) {
    // A straight leg: its steps fly it, at this pace.
    p.metresPerCycle = lf_length(corner) / cycles;
    return;
  }
  lf_addStraightAndTurn(p, a, corner, turns ? &turn : nullptr, s);
  p.metresPerCycle = lf_pathLength(p) / cycles;
}

void lf_planTurnAhead(LiveAc& ac) {
  AirPath& p = ac.airPath;
  const auto& buffer = ac.situations;
  if (p.endDecided != 0 || ac.movesOnGround != 0 || buffer.size() < 2) return;
  const Situation& s = buffer[0];
  const Situation& t = buffer[1];
  if (s.noMovement != 0) return;
  // Still on the rest of the turn through the leg's start: the straight stretch comes next.
  if (p.count > 0 && p.entered != 0 && p.index == 0) return;
  p.endDecided = 1;
  const std::int32_t cycles = p.endCycle - lf_now();
  if (cycles < kMinLegCycles || !lf_turnsInTheAir(s, t)) return;
  AirPath next = p;
  next.count = 0;
  next.index = 0;
  next.u = 0;
  next.entered = 0;
  lf_startPath(next, ac);
  const Local corner = lf_toLocal(next, s.latitude, s.longitude);
  const double speedMps = lf_length(corner) * kCyclesPerSecond / cycles;
  CornerTurn turn;
  if (!lf_cornerTurn(ac.category, speedMps, {0, 0}, corner, lf_toLocal(next, t.latitude, t.longitude), turn)) return;
  lf_addStraightAndTurn(next, {0, 0}, corner, &turn, s);
  // The rest of the leg is spread over the cycles left, no faster than it was planned where the
  // aircraft is behind on it: what it is behind it makes up as before.
  const double length = lf_pathLength(next);
  next.metresPerCycle = length / cycles;
  if (p.behindMetres > 0) {
    next.metresPerCycle = std::min(next.metresPerCycle, p.metresPerCycle);
    next.behindMetres = std::max(0.0, length - next.metresPerCycle * cycles);
  }
  p = next;
}

void lf_hoverTurn(LiveAc& ac) {
  if (ac.movesOnGround != 0 || ac.phase != GroundPhase::Airborne) return;
  for (const Situation& next : ac.situations) {
    if (next.noMovement != 0) continue;
    const LatLon here{ac.position.latitude, ac.position.longitude};
    const LatLon to{next.latitude, next.longitude};
    if (to.lat == here.lat && to.lon == here.lon) return;
    const double most = lf_noseRate(ac.category, 0) / kCyclesPerSecond;
    const double turned = std::clamp(gf_angleDiff(ac.position.heading, gf_bearingRad(here, to)), -most, most);
    ac.position.heading = std::fmod(ac.position.heading + turned + kTwoPi, kTwoPi);
    return;
  }
}

bool lf_stillOnAirPath(const LiveAc& ac) {
  return ac.movesOnGround == 0 && ac.airPath.behindMetres > kSameEndMetres;
}

bool lf_airStep(LiveAc& ac) {
  if (ac.movesOnGround != 0 || ac.curve.isSet()) return false;
  if (ac.phase != GroundPhase::Airborne && ac.phase != GroundPhase::TakeOffRoll) return false;
  lf_planTurnAhead(ac);
  AiPosBlock& pos = ac.position;
  AirPath& p = ac.airPath;
  // The leg's pace: along its path, or its straight steps.
  const Local step{ac.latitudeStep * kMetresPerDegree, ac.longitudeStep * lf_metresPerDegreeEast(pos.latitude)};
  const double legPace = p.count > 0 ? p.metresPerCycle : lf_length(step);
  const bool flying = std::max(legPace, std::min(p.fastestPerCycle, p.behindMetres)) * kCyclesPerSecond >=
                      kLeastCourseSpeedKt * kMetresPerSecondPerKnot;
  // Behind past the leg's end time, only what it is behind is left to fly; its climb or descent, and
  // its pitch, have come to the leg's end.
  const bool overtime = p.behindMetres > 0 && lf_now() >= p.endCycle;
  const double pace = overtime ? 0.0 : legPace;
  if (overtime && ac.flareStage == 0) {
    ac.altitudeStep = 0;
    ac.pitchStep = 0;
  }
  // Where the path would take the aircraft `metres` on, and the course there.
  struct Spot {
    std::uint8_t index = 0;
    double u = 0;
  };
  const auto spotAfter = [&](double metres) {
    Spot at{p.index, p.u};
    double left = metres;
    while (at.index < p.count) {
      const AirPath::Piece& c = p.pieces[at.index];
      const double rest = lf_lengthAlong(c, at.u, 1.0);
      if (left < rest) {
        at.u = lf_parameterAfter(c, at.u, left);
        return at;
      }
      left -= rest;
      if (at.index + 1 == p.count) {
        at.u = 1;
        return at;
      }
      ++at.index;
      at.u = 0;
    }
    return at;
  };
  const auto courseAt = [&](const Spot& at) {
    return p.count == 0 ? lf_courseOf(step) : lf_courseOf(lf_tangentAt(p.pieces[at.index], at.u));
  };
  // Its pace and, to make up what it is behind, up to its catch-up speed; no farther than keeps its
  // course within reach of its nose (in a turn too tight for its speed it slows, and where its track
  // turns back on itself it turns round before it sets off back). Not while it lifts off or flares.
  // The spot the search settles on is where the aircraft goes: the path is not walked again for it.
  double metres = pace + std::clamp(p.fastestPerCycle - pace, 0.0, p.behindMetres);
  std::optional<Spot> landing;
  if (flying && ac.phase == GroundPhase::Airborne && ac.flareStage == 0) {
    const double reach = kMostNoseLagDeg * kDegToRad + lf_noseRate(ac.category, legPace * kCyclesPerSecond) / kCyclesPerSecond;
    const auto keepsUp = [&](const Spot& at) { return std::fabs(gf_angleDiff(pos.heading, courseAt(at))) <= reach; };
    landing = spotAfter(metres);
    if (!keepsUp(*landing)) {
      double near = 0, far = metres;
      landing = spotAfter(0);
      if (keepsUp(*landing)) {
        for (int i = 0; i < kHoldSearchSteps; ++i) {
          const double mid = (near + far) / 2;
          const Spot at = spotAfter(mid);
          if (keepsUp(at)) {
            near = mid;
            landing = at;
          } else {
            far = mid;
          }
        }
      }
      metres = near;
    }
  }
  p.behindMetres = std::max(0.0, p.behindMetres + pace - metres);

  double course = 0;
  if (p.count > 0) {
    const Spot reached = landing ? *landing : spotAfter(metres);
    p.index = reached.index;
    p.u = reached.u;
    const AirPath::Piece& c = p.pieces[p.index];
    const LatLon at = lf_toLatLon(p, lf_pointAt(c, p.u));
    pos.latitude = at.lat;
    pos.longitude = at.lon;
    course = lf_courseOf(lf_tangentAt(c, p.u));
  } else {
    const double share = legPace > 0 ? metres / legPace : 0.0;
    pos.latitude += share * ac.latitudeStep;
    pos.longitude += share * ac.longitudeStep;
    course = lf_courseOf(step);
  }

  const double speedMps = metres * kCyclesPerSecond;
  double turned = 0;
  if (flying) {
    const double most = lf_noseRate(ac.category, legPace * kCyclesPerSecond) / kCyclesPerSecond;
    const double diff = gf_angleDiff(pos.heading, course);
    turned = std::clamp(diff, -most, most);
  } else {
    turned = ac.headingStep;
  }
  pos.heading = std::fmod(pos.heading + turned + kTwoPi, kTwoPi);
  if (pos.heading >= kTwoPi) pos.heading = 0;

  // The bank of a level turn at the rate the nose turns, reached at the aircraft's bank rate; the
  // feed's own bank, where it gives one, is steered by the leg.
  if (p.feedBank == 0 && flying) {
    const double maxBank = gf_maxBank(ac.category);
    const double rate = turned * kCyclesPerSecond;
    const double target = -std::clamp(std::atan(rate * speedMps / kGravity), -maxBank, maxBank);
    const double maxChange = gf_maxBankChange(ac.category);
    ac.bankStep = std::clamp(target - pos.bank, -maxChange, maxChange);
  }
  return true;
}

}  // namespace amb
