#pragma once
// Removals and limits of live and parked aircraft.
// Defined in traffic/removals.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

#include <cstdint>
#include <string>

namespace amb {

// removeAircraftFromSim: traffic/services.hpp.
// Engines off, parked lights.
void lf_shutDownParkedAc(Act& act);

// gf_collectLiveStayers, gf_removeLiveParked: traffic/services.hpp.
struct SameRegContext {
  const LiveAc* live = nullptr;
  std::string callsignLessLast;
  bool onGround = false;
};
bool gf_removeIfSameRegOrCallsign(const SameRegContext& context, const Act& parked);
void lf_checkMaxPark(std::uint32_t adding);
bool gf_removeIfInUserWay(int unused, LiveAc& ac);

// The steady clock in ticks of 100 ns (the stand arrival times).
std::int64_t gf_steadyTicks();

}  // namespace amb
