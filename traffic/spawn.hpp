#pragma once
// Per-aircraft update, new situations and spawning.
// Defined in traffic/spawn.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

bool updateLiveAc(LiveAc& ac);
void updateBufferAc(LiveAc& ac);
void spawnLiveAc(LiveAc& ac);
// A new situation of a known aircraft.
void decodeExisting(LiveAc& ac, Situation s);
bool checkNewSituation(LiveAc& ac, Situation& s);
// While synthetic legs are flown: false for the feed repeating the position it last reported (they
// go on); otherwise the synthetic legs end and the front falls due at once.
bool checkExtendingSituations(LiveAc& ac, const Situation& s);
bool checkNewPosDuringLanding(LiveAc& ac, const Situation& s);
void checkStops(LiveAc& ac, const Situation& s);
// After a touchdown the feed may report the aircraft in the air for a while yet. Until it reports
// it on the ground, or its records climb 300 ft above the field, an airborne record is flown on the
// ground (made a ground one); either of the two ends the wait. A climb is a record 300 ft above the
// field and above every airborne record held so far; records already buffered at the touchdown
// (`beforeTouchdown`) were reported before it and never count as one. False when there is nothing
// to wait for (any more).
bool lf_holdOnGroundAfterTouchdown(LiveAc& ac, Situation& s, bool beforeTouchdown = false);
// Whether a position lies behind an aircraft in the simulator that moves on the ground: more than
// 1 m from it, 90 degrees or more off its nose.
bool lf_behindOnGround(const LiveAc& ac, const Situation& s);
// Whether the course from the buffer's last situation to a position lies `limit` radians or more off
// the aircraft's nose.
bool lf_offCourse(const LiveAc& ac, const Situation& s, double limit);
// The feed has the aircraft where it cannot be flown to (on the ground far from where it landed):
// it is removed from the simulator and created again from this position (traffic/results.cpp).
void lf_restartFrom(LiveAc& ac, const Situation& s);

// The pitch for a vertical speed (feet per minute): -3 degrees less 2.2 degrees per 600 ft/min of
// climb (at most 2400), a descent (at most 3000) counting half. Radians, negative nose up.
double gf_pitchForVerticalSpeed(double feetPerMinute);

}  // namespace amb
