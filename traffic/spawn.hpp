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
void decodeExisting(LiveAc& ac, Situation s);
bool checkNewSituation(LiveAc& ac, Situation& s);
bool checkExtendingSituations(LiveAc& ac, const Situation& s);
bool checkNewPosDuringLanding(LiveAc& ac, const Situation& s);
void checkStops(LiveAc& ac, const Situation& s);

// The pitch for a vertical speed (feet per minute): -3 degrees less 2.2 degrees per 600 ft/min of
// climb (at most 2400), a descent (at most 3000) counting half. Radians, negative nose up.
double gf_pitchForVerticalSpeed(double feetPerMinute);

}  // namespace amb
