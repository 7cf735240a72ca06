#pragma once
// The per-cycle step and the ground curves.
// Defined in traffic/step.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "core/geometry.hpp"
#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

struct CurvePoint {
  double latitude = 0;
  double longitude = 0;
};
bool gf_curvePosition(const GroundCurve& curve, double t, CurvePoint& out, double& heading);

// Sets a curve from the current position through the second situation toward the third, which the
// aircraft now runs to (the second is erased); false with fewer than three situations.
bool lf_startCurve(LiveAc& ac);

// Sets a curve from the current position through the middle point to the end point.
void lf_setCurveThrough(LiveAc& ac, const LatLon& middle, const LatLon& end);

// Puts the midpoint of the front and the second situation between them.
void lf_insertMidSituation(LiveAc& ac);

// A straight leg whose speed changes by more than 5 kt over 100 m or more gets a midpoint; true then.
bool lf_checkSpeedChange(LiveAc& ac);
void lf_curveStep(LiveAc& ac);

// Turns the heading toward the target by at most the turn per cycle, the shorter way round, when
// they differ by more than 0.5 degrees.
void lf_turnToward(LiveAc& ac, double target);

}  // namespace amb
