// The per-cycle step of every live aircraft in the simulator: position along its straight leg or
// ground curve, heading, pitch, bank and altitude, with the flare and the climb-out.

#include "traffic/air.hpp"
#include "traffic/air_path.hpp"
#include "traffic/engine.hpp"
#include "traffic/step.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace amb {

namespace {

constexpr double kMetresPerDegree = 111132.95;
constexpr double kHalfDegree = 0.5 * kDegToRad;
constexpr double kLastCurveParameter = 0.999999;
constexpr double kMetresPerNm = 1852.0;
constexpr double kFastOnGroundKt = 30;
constexpr double kFastGroundTurnPerCycle = 0.25 * kDegToRad;  // 25 degrees a second
// A landing rolls out slowing by this many knots a second from its touchdown speed down to this
// many knots.
constexpr double kRollOutSlowingKtPerSecond = 3.0;
constexpr double kRollOutEndKt = 30.0;
// A roll-out runs no faster than its records report by more than this, knots.
constexpr double kRollOutAboveRecordsKt = 15.0;

}  // namespace

namespace {

// The curve at t, in metres from its origin: the point and the tangent.
struct CurveSample {
  double north = 0, east = 0, tangentNorth = 0, tangentEast = 0;
};

// False outside the curve.
bool lf_curveSample(const GroundCurve& c, double t, CurveSample& out) {
  if (std::isnan(c.middleEast) || std::isnan(c.middleNorth)) return false;
  if (!(t >= c.startTime && t <= c.endTime)) return false;
  const double u = (t - c.startTime) / (c.endTime - c.startTime);
  if (!(u >= 0 && u <= 1)) return false;
  out.north = 2 * (1 - u) * u * c.middleNorth + u * u * c.endNorth;
  out.east = 2 * (1 - u) * u * c.middleEast + u * u * c.endEast;
  out.tangentNorth = 2 * (1 - u) * c.middleNorth + 2 * u * (c.endNorth - c.middleNorth);
  out.tangentEast = 2 * (1 - u) * c.middleEast + 2 * u * (c.endEast - c.middleEast);
  return true;
}

// The point and tangent of the curve at t; false outside it. The tangent's length tells whether its
// direction means anything (it vanishes where the curve starts on its own middle point). `sample`,
// when given, takes the curve at t in metres.
bool lf_curveAt(const GroundCurve& c, double t, CurvePoint& out, double& heading, double& tangentMetres,
                CurveSample* sample = nullptr) {
  CurveSample local;
  CurveSample& at = sample != nullptr ? *sample : local;
  if (!lf_curveSample(c, t, at)) return false;
  heading = gf_normalisedRad(std::atan2(at.tangentEast, at.tangentNorth));
  tangentMetres = std::hypot(at.tangentNorth, at.tangentEast);
  out.latitude = c.originLatitude + at.north / kMetresPerDegree;
  out.longitude = c.originLongitude + at.east / (std::cos(c.originLatitude * kDegToRad) * kMetresPerDegree);
  return true;
}

// The curve's length in metres (five-point Gauss-Legendre over the tangent's length).
double lf_curveLength(const GroundCurve& c) {
  static constexpr double kNodes[5] = {-0.9061798459386640, -0.5384693101056831, 0.0, 0.5384693101056831,
                                       0.9061798459386640};
  static constexpr double kWeights[5] = {0.2369268850561891, 0.4786286704993665, 0.5688888888888889,
                                         0.4786286704993665, 0.2369268850561891};
  double length = 0;
  for (int i = 0; i < 5; ++i) {
    const double u = (kNodes[i] + 1) / 2;
    const double n = 2 * (1 - u) * c.middleNorth + 2 * u * (c.endNorth - c.middleNorth);
    const double e = 2 * (1 - u) * c.middleEast + 2 * u * (c.endEast - c.middleEast);
    length += kWeights[i] * std::hypot(n, e) / 2;
  }
  return length;
}

// Metres north and east of the origin.
void lf_toLocal(double originLatitude, double originLongitude, const Situation& s, double& north, double& east) {
  north = (s.latitude - originLatitude) * kMetresPerDegree;
  east = (s.longitude - originLongitude) * kMetresPerDegree * std::cos(originLatitude * kDegToRad);
}

}  // namespace

bool gf_curvePosition(const GroundCurve& c, double t, CurvePoint& out, double& heading) {
  double tangent = 0;
  return lf_curveAt(c, t, out, heading, tangent);
}

bool lf_startCurve(LiveAc& ac) {
  auto& buffer = ac.situations;
  if (buffer.size() < 3) return false;
  Situation& third = buffer[2];
  if (third.speed == 0) third.speed = (buffer[0].speed + buffer[1].speed) / 2;
  GroundCurve& c = ac.curve;
  c.originLatitude = ac.position.latitude;
  c.originLongitude = ac.position.longitude;
  c.startTime = 0;
  c.endTime = 1;
  lf_toLocal(c.originLatitude, c.originLongitude, buffer[1], c.middleNorth, c.middleEast);
  lf_toLocal(c.originLatitude, c.originLongitude, third, c.endNorth, c.endEast);
  c.lengthMetres = lf_curveLength(c);
  ac.curveParameter = 0;
  // The curve takes the corner's place: the aircraft now runs toward the third situation.
  buffer.erase(buffer.begin() + 1);
  return true;
}

void lf_setCurveThrough(LiveAc& ac, const LatLon& middle, const LatLon& end) {
  GroundCurve& c = ac.curve;
  c.originLatitude = ac.position.latitude;
  c.originLongitude = ac.position.longitude;
  c.startTime = 0;
  c.endTime = 1;
  const double east = kMetresPerDegree * std::cos(c.originLatitude * kDegToRad);
  c.middleNorth = (middle.lat - c.originLatitude) * kMetresPerDegree;
  c.middleEast = (middle.lon - c.originLongitude) * east;
  c.endNorth = (end.lat - c.originLatitude) * kMetresPerDegree;
  c.endEast = (end.lon - c.originLongitude) * east;
  c.lengthMetres = lf_curveLength(c);
  ac.curveParameter = 0;
}

void lf_insertMidSituation(LiveAc& ac) {
  auto& buffer = ac.situations;
  if (buffer.size() < 2) return;
  const Situation& f = buffer[0];
  const Situation& s = buffer[1];
  Situation mid = f;
  mid.latitude = (f.latitude + s.latitude) / 2;
  mid.longitude = (f.longitude + s.longitude) / 2;
  mid.speed = (f.speed + s.speed) / 2;
  mid.trueAirspeed = (f.trueAirspeed + s.trueAirspeed) / 2;
  mid.altitude = (f.altitude + s.altitude) / 2;
  mid.due = static_cast<std::int32_t>((static_cast<std::int64_t>(f.due) + s.due) / 2);
  mid.noMovement = 0;
  buffer.insert(buffer.begin() + 1, mid);
}

bool lf_checkSpeedChange(LiveAc& ac) {
  auto& buffer = ac.situations;
  if (buffer.size() < 2) return false;
  const Situation& f = buffer[0];
  const Situation& s = buffer[1];
  if (f.noMovement != 0 && s.noMovement != 0) return false;
  if (std::fabs(f.speed - s.speed) <= 5) return false;
  if (gf_distanceNm({f.latitude, f.longitude}, {s.latitude, s.longitude}) * kMetresPerNm < 100) return false;
  lf_insertMidSituation(ac);
  return true;
}

namespace {

void lf_turnTowardBy(LiveAc& ac, double target, double most) {
  const double diff = gf_angleDiff(ac.position.heading, gf_normalisedRad(target));
  if (std::fabs(diff) <= kHalfDegree) return;
  const double turn = std::min(std::fabs(diff), most);
  ac.position.heading = gf_normalisedRad(ac.position.heading + (diff > 0 ? turn : -turn));
}

}  // namespace

void lf_turnToward(LiveAc& ac, double target) {
  const double diff = gf_angleDiff(ac.position.heading, gf_normalisedRad(target));
  if (std::fabs(diff) <= kHalfDegree) return;
  const double turn = std::min(std::fabs(diff), ac.turnStep());
  ac.position.heading = gf_normalisedRad(ac.position.heading + (diff > 0 ? turn : -turn));
}

namespace {

// On the ground above 30 kt a nose along the path turns no faster than the aircraft can: a landed
// aircraft rolling out on the runway at the category's turn rate, anything else at 25 degrees a second
// at most (where its path bends faster, a kink between two legs, the nose follows over the next
// cycles). A nose far off the path (come down onto the ground that way) is not held to it: it would
// slide sideways along the runway.
void lf_holdGroundTurn(LiveAc& ac, double headingBefore, const LatLon& before) {
  AiPosBlock& p = ac.position;
  // A nose that turned no more than that needs no look at the speed or the path (most cycles).
  const double most = ac.landed != 0 ? std::min(kFastGroundTurnPerCycle, ac.turnPerCycle()) : kFastGroundTurnPerCycle;
  const double turned = gf_angleDiff(headingBefore, p.heading);
  if (std::fabs(turned) <= most) return;
  const LatLon here{p.latitude, p.longitude};
  const double speedKt = gf_distanceNm(before, here) * kCyclesPerNmAtOneKnot;
  if (speedKt <= kFastOnGroundKt) return;
  double course = gf_bearingRad(before, here);
  if (ac.targetTrueAirspeed < 0) course += kPi;  // backing
  if (std::fabs(gf_angleDiff(headingBefore, course)) > kPi / 4) return;
  p.heading = gf_normalisedRad(headingBefore + (turned > 0 ? most : -most));
}

// What the records report of the roll-out now, knots: between the speeds of the record the leg set off
// from and the one it rolls to, by their dues. Once they have stopped (the legs are made up) it slows
// on from the last one as a roll-out does, down to taxiing.
double lf_recordsRollOutKt(const LiveAc& ac, std::int32_t now) {
  const Situation& to = ac.situations.front();
  if (to.extension != 0)
    return ac.legFromKt - kRollOutSlowingKtPerSecond * static_cast<double>(now - ac.legFromDue) / kCyclesPerSecond;
  if (to.due <= ac.legFromDue) return std::max(ac.legFromKt, to.speed);
  const double share = std::clamp(static_cast<double>(now - ac.legFromDue) / (to.due - ac.legFromDue), 0.0, 1.0);
  return ac.legFromKt + (to.speed - ac.legFromKt) * share;
}

// The fastest a landed aeroplane rolls out now, knots; unset where nothing holds it. The feed goes
// on reporting a landing in the air for a while, at the approach's speed and often beside the
// runway: flown on the ground, those positions would have it race on past the runway's end.
std::optional<double> lf_rollOutKt(const LiveAc& ac) {
  if (ac.movesOnGround == 0 || ac.touchdownCycle < 0 || ac.category == Rotorcraft || ac.takeOffPending != 0 ||
      ac.phase == GroundPhase::TakeOffRoll || ac.situations.empty())
    return std::nullopt;
  if (ac.landed == 0 && ac.situations.front().heldOnGround == 0) return std::nullopt;
  const std::int32_t now = g_engineCycle.load(std::memory_order_relaxed);
  const double seconds = static_cast<double>(now - ac.touchdownCycle) / kCyclesPerSecond;
  const double slowing = ac.touchdownKt - kRollOutSlowingKtPerSecond * std::max(seconds, 0.0);
  return std::max(kRollOutEndKt, std::min(slowing, lf_recordsRollOutKt(ac, now) + kRollOutAboveRecordsKt));
}

}  // namespace

void lf_curveStep(LiveAc& ac) {
  AiPosBlock& p = ac.position;
  const double headingBefore = p.heading;
  const LatLon before{p.latitude, p.longitude};
  const bool onCurve = ac.curve.isSet();
  const double parameterBefore = ac.curveParameter;
  if (onCurve) {
    CurvePoint at;
    CurveSample was;
    double tangentMetres = 0;
    if (lf_curveSample(ac.curve, ac.curveParameter, was)) tangentMetres = std::hypot(was.tangentNorth, was.tangentEast);
    const bool hadTangent = tangentMetres > 1e-6;
    // Even pace along the curve: the parameter advances by the curve step scaled by the curve's
    // mean speed over its speed here, so that the aircraft does not crawl into a tight corner and
    // race out of it.
    const double length = std::isnan(ac.curve.lengthMetres) ? lf_curveLength(ac.curve) : ac.curve.lengthMetres;
    const double pace = tangentMetres > 1e-6 ? length / tangentMetres : 1.0;
    ac.curveParameter =
        std::min(ac.curveParameter + ac.curveStep * std::clamp(pace, 0.25, 4.0), kLastCurveParameter);
    double tangent = 0;
    CurveSample now;
    if (lf_curveAt(ac.curve, ac.curveParameter, at, tangent, tangentMetres, &now)) {
      p.latitude = at.latitude;
      p.longitude = at.longitude;
      // A vanishing tangent has no direction: the nose stays as it is. Where the curve bends faster
      // than the aircraft's turn rate (near the apex of a tight turn), the nose keeps up with it
      // rather than sliding sideways along the path. (The bend matters only where the nose is
      // farther off than a turn step.)
      if (tangentMetres > 1e-6) {
        const double target = ac.phase == GroundPhase::LeavingStand ? tangent + kPi : tangent;
        double most = ac.turnStep();
        if (hadTangent && std::fabs(gf_angleDiff(p.heading, gf_normalisedRad(target))) > most) {
          const double cross = was.tangentNorth * now.tangentEast - was.tangentEast * now.tangentNorth;
          const double dot = was.tangentNorth * now.tangentNorth + was.tangentEast * now.tangentEast;
          most = std::max(most, 1.2 * std::atan2(std::fabs(cross), dot));
        }
        lf_turnTowardBy(ac, target, most);
      }
    } else {
      gf_logf("{} error in curve at index: {:.2F}", ac.callsign, ac.curveParameter);
    }
  }

  // In the air the leg's path places the aircraft and the course flown turns its nose.
  if (onCurve || !lf_airStep(ac)) {
    switch (ac.phase) {
      case GroundPhase::TakeOffRoll:
      case GroundPhase::Airborne:
      case GroundPhase::AtStand:
      case GroundPhase::New:
        p.heading = gf_normalisedRad(p.heading + ac.headingStep);
        break;
      case GroundPhase::LeavingStand:
      case GroundPhase::EnginesStarted:
      case GroundPhase::Taxi:
      case GroundPhase::ToStand:
        // On a curve its tangent steers; standing, the nose stays.
        if ((ac.phase == GroundPhase::ToStand || ac.turning != 0) && !onCurve &&
            (ac.latitudeStep != 0 || ac.longitudeStep != 0))
          lf_turnToward(ac, ac.bearingToNext);
        break;
    }

    // On a curve the curve alone places the aircraft. Down on the runway on a leg planned in the air,
    // it rolls on along its nose at the leg's pace, whichever way the leg's end lies.
    if (!onCurve && ac.phase == GroundPhase::Airborne && ac.movesOnGround != 0) {
      const double east = std::cos(p.latitude * kDegToRad);
      const double step = std::hypot(ac.latitudeStep, ac.longitudeStep * east);
      p.latitude += step * std::cos(p.heading);
      p.longitude += step * std::sin(p.heading) / east;
    } else if (!onCurve) {
      p.latitude += ac.latitudeStep;
      p.longitude += ac.longitudeStep;
    }
  }

  if (ac.phase != GroundPhase::TakeOffRoll) {
    if (ac.landingMode != 0 && ac.movesOnGround == 0 && ac.heightAboveGround <= 400) lf_flare(ac);
    if (ac.loweringNose != 0) {
      p.pitch += ac.pitchStep;
      const bool passed = ac.pitchStep >= 0 ? p.pitch >= ac.staticPitch : p.pitch <= ac.staticPitch;
      if (passed) {
        p.pitch = ac.staticPitch;
        p.bank = 0;
        ac.pitchStep = 0;
        ac.bankStep = 0;
        ac.flareStage = 0;
        ac.loweringNose = 0;
      }
      p.bank += ac.bankStep;
    } else if (ac.flareStage == 0) {
      if (ac.movesOnGround != 0) {
        p.pitch = ac.staticPitch;
        p.bank = 0;
      } else {
        p.pitch += ac.pitchStep;
      }
    } else {
      p.pitch = std::max(p.pitch + ac.pitchStep, -4.0 * kDegToRad);
    }
    if (ac.movesOnGround == 0 && ac.loweringNose == 0) {
      p.bank += ac.bankStep;
      p.altitude += ac.altitudeStep;
    }
  } else {
    lf_climbOut(ac);
  }
  if (const std::optional<double> most = lf_rollOutKt(ac)) {
    const double moved = gf_distanceNm(before, {p.latitude, p.longitude}) * kCyclesPerNmAtOneKnot;
    if (moved > *most) {
      const double share = *most / moved;
      p.latitude = before.lat + (p.latitude - before.lat) * share;
      p.longitude = before.lon + (p.longitude - before.lon) * share;
      if (onCurve) ac.curveParameter = parameterBefore + (ac.curveParameter - parameterBefore) * share;
    }
  }
  if (ac.movesOnGround != 0) lf_holdGroundTurn(ac, headingBefore, before);
  // Nothing sinks into the ground: the lowest the simulator's ground lets the aircraft stand. Nor
  // does it come down far from where it lands.
  if (ac.groundElevation) p.altitude = std::max(p.altitude, *ac.groundElevation + ac.staticCgHeight);
  if (const std::optional<double> lowest = gf_lowestInTheAir(ac); lowest && p.altitude < *lowest) {
    p.altitude = *lowest;
    ac.altitudeStep = std::max(ac.altitudeStep, 0.0);
  }

  // Never banked beyond what the aircraft may show where it is: low over the ground, a bank the feed
  // reports is held to it too.
  const double maxBank = ac.movesOnGround != 0 ? gf_maxBank(ac.category) : gf_bankLimit(ac);
  p.bank = std::clamp(p.bank, -maxBank, maxBank);
  if (p.longitude > 180) p.longitude -= 360;
  if (p.longitude < -180) p.longitude += 360;
}

}  // namespace amb
