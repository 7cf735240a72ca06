#pragma once
// Ground movement: ground legs, take-off roll, roll-out, push-back and pull-out.
// Defined in traffic/ground.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "core/geometry.hpp"
#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

// A curve from the current position to the end whose start runs along the nose (its middle point lies
// a quarter of the way ahead); false when the end is too near to steer toward.
bool lf_startLeadInCurve(LiveAc& ac, const LatLon& end);

// The next position lies behind the aircraft: a situation out to its side goes first, so that the
// aircraft turns round on two curves.
void lf_insertTurnRound(LiveAc& ac);
void nextPosGround(LiveAc& ac);
void lf_planGroundLeg(LiveAc& ac, const Situation& next);
void adjustTimeGround(LiveAc& ac);
bool lf_extendStream(LiveAc& ac);
// True when an aircraft in the air flies on past the feed's last position for longer than the feed
// repeats a position before moving on: its stream is over.
bool lf_streamOverInAir(const LiveAc& ac);
void lf_appendWaitSituations(LiveAc& ac, int n);
void lf_takeOffConfig(LiveAc& ac);
void lf_startTakeOffRoll(LiveAc& ac);
void lf_rollOut(LiveAc& ac);

// Backs out of the stand 2.5 stand radii (then turns 90 degrees unless only straight push-backs are
// wanted), or pulls forward out of it; the next leg of the stream follows.
void lf_pushBack(LiveAc& ac);
void lf_pullOut(LiveAc& ac);
double gf_takeOffSpeed(int category);
// The windows a leg's due time is held in around its stamped one: both shrink by 100 cycles toward
// 1000; or they open to 3000 early and 3000 late (5000 with a take-off pending).
void lf_shrinkWindows(LiveAc& ac);
void lf_wideWindows(LiveAc& ac);

}  // namespace amb
