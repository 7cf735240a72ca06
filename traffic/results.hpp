#pragma once
// Simulator results: creations, object data, touchdowns.
// Defined in traffic/results.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "sim/services.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

void lf_processSimResult(const SimResult& result);
void gf_allLightsToggle(bool& done, SimResult& record);
void lf_onLiveCreated(LiveAc& ac);
bool lf_onLiveObjectData(LiveAc& ac, const SimResult& result);
void lf_onTouchdown(LiveAc& ac);

}  // namespace amb
