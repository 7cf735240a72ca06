#pragma once
// Identity, respawns and ghosts.
// Defined in traffic/identity.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

#include <string>

namespace amb {

bool lf_updateIdentity(LiveAc& ac, const AcIdentity& identity);
void liveryRespawn(LiveAc& ac);
void lf_copyRoute(LiveAc& ac, const AcIdentity& identity);
void lf_copyIdentity(LiveAc& ac, const AcIdentity& identity);
int lf_routeChanged(LiveAc& ac, const AcIdentity& identity);
void lf_checkGhost(const std::string& callsign);
bool lf_hasCoupledCallsign(const std::string& callsign);

}  // namespace amb
