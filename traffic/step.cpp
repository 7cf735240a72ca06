// The per-cycle step of every live aircraft in the simulator: position along its straight leg or
// ground curve, heading, pitch, bank and altitude, with the flare and the climb-out.

#include "traffic/engine.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"

#include <algorithm>
#include <cmath>

namespace amb {

namespace {

constexpr double kMetresPerDegree = 111132.95;
constexpr double kHalfDegree = 0.5 * kDegToRad;
constexpr double kLastCurveParameter = 0.999999;

double lf_normalised(double radians) {
  double h = std::fmod(radians, kTwoPi);
  if (h < 0) h += kTwoPi;
  return h >= kTwoPi ? 0.0 : h;
}

}  // namespace

bool gf_curvePosition(const GroundCurve& c, double t, CurvePoint& out, double& heading) {
  if (std::isnan(c.middleEast) || std::isnan(c.middleNorth)) return false;
  if (!(t >= c.startTime && t <= c.endTime)) return false;
  const double u = (t - c.startTime) / (c.endTime - c.startTime);
  if (!(u >= 0 && u <= 1)) return false;
  const double north = 2 * (1 - u) * u * c.middleNorth + u * u * c.endNorth;
  const double east = 2 * (1 - u) * u * c.middleEast + u * u * c.endEast;
  const double tangentNorth = 2 * (1 - u) * c.middleNorth + 2 * u * (c.endNorth - c.middleNorth);
  const double tangentEast = 2 * (1 - u) * c.middleEast + 2 * u * (c.endEast - c.middleEast);
  heading = lf_normalised(std::atan2(tangentEast, tangentNorth));
  out.latitude = c.originLatitude + north / kMetresPerDegree;
  out.longitude = c.originLongitude + east / (std::cos(c.originLatitude * kDegToRad) * kMetresPerDegree);
  return true;
}

void lf_turnToward(LiveAc& ac, double target) {
  const double diff = gf_angleDiff(ac.position.heading, lf_normalised(target));
  if (std::fabs(diff) <= kHalfDegree) return;
  const double turn = std::min(std::fabs(diff), ac.turnStep());
  ac.position.heading = lf_normalised(ac.position.heading + (diff > 0 ? turn : -turn));
}

void lf_curveStep(LiveAc& ac) {
  AiPosBlock& p = ac.position;
  const bool onCurve = ac.curve.isSet();
  if (onCurve) {
    ac.curveParameter = std::min(ac.curveParameter + ac.curveStep, kLastCurveParameter);
    CurvePoint at;
    double tangent = 0;
    if (gf_curvePosition(ac.curve, ac.curveParameter, at, tangent)) {
      p.latitude = at.latitude;
      p.longitude = at.longitude;
      lf_turnToward(ac, ac.phase == GroundPhase::LeavingStand ? tangent + kPi : tangent);
    } else {
      gf_logf("{} error in curve at index: {:.2F}", ac.callsign, ac.curveParameter);
    }
  }

  switch (ac.phase) {
    case GroundPhase::TakeOffRoll:
    case GroundPhase::Airborne:
    case GroundPhase::AtStand:
    case GroundPhase::New:
      p.heading = lf_normalised(p.heading + ac.headingStep);
      break;
    case GroundPhase::LeavingStand:
    case GroundPhase::EnginesStarted:
    case GroundPhase::Taxi:
    case GroundPhase::ToStand:
      if (ac.phase == GroundPhase::ToStand || ac.turning != 0) lf_turnToward(ac, ac.bearingToNext);
      break;
  }

  // On a curve the curve alone places the aircraft.
  if (!onCurve) {
    p.latitude += ac.latitudeStep;
    p.longitude += ac.longitudeStep;
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

  const double maxBank = gf_maxBank(ac.category);
  p.bank = std::clamp(p.bank, -maxBank, maxBank);
  if (p.longitude > 180) p.longitude -= 360;
  if (p.longitude < -180) p.longitude += 360;
}

}  // namespace amb
