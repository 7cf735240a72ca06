#pragma once
// Landings and departures of the live aircraft in virtual time: every cycle, which aircraft have
// landed, which of those were set to take off again, and how low and high each one flew; then the
// checks a replay must pass against what the feed reported.

#include "enginesim/harness.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace amb::enginesim {

struct Flown {
  std::uint32_t hexid = 0;
  std::string callsign;
  std::int32_t landed = -1;               // the cycle it was first seen landed; -1: never
  std::int32_t takeOffAfterLanding = -1;  // the first cycle it was set to take off after that
  double lowest = 1e9;                    // altitude, feet
  double highest = -1e9;
  double last = 0;                        // the altitude it was last flown at
  // Above the simulator's ground under it (when the watch knows the simulator): the least, and last.
  double lowestAboveGround = 1e9;
  double lastAboveGround = 0;
};

class FlightWatch {
public:
  // Looks once at every live aircraft in the simulator; called after every engine cycle.
  void observe();
  std::map<std::uint32_t, Flown> flown;  // by object id
  // The simulator whose ground lies under the aircraft (its airports' fields); without it the ground
  // is the checks' field everywhere.
  const FakeSim* sim = nullptr;
};

struct FlightReport {
  std::size_t landings = 0;
  std::size_t takeOffsAfterLanding = 0;  // of those landings, the ones set to take off again
  std::vector<std::string> takingOffAgain;  // their callsigns
  std::size_t departures = 0;            // reported on the ground first, then through 3000 ft
  std::size_t departuresBelow = 0;       // ... that stayed below 3000 ft in the simulator
  double lowest = 1e9;                   // the lowest altitude any aircraft was flown at
  std::string lowestCallsign;
  std::vector<std::string> faults;       // one line each
  std::string summary() const;
};

// The checks over a whole replay, with the simulator's ground at `field` (or, when the watch knows the
// simulator, the ground under each aircraft) and its CG height `cg`:
// - no aircraft flown below the ground;
// - an aircraft that landed is never set to take off again unless the feed reported it in the air
//   again after it had reported it on the ground (a touch-and-go), and is last seen on the ground
//   (no more than half a foot above its CG height);
// - every hexid first reported on the ground whose reported track climbs through 3000 ft does so in
//   the simulator too (over all its objects).
FlightReport checkFlights(const FlightWatch& watch, const EngineHarness& harness, double field, double cg);

}  // namespace amb::enginesim
