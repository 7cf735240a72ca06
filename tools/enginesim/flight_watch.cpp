#include "enginesim/flight_watch.hpp"

#include "traffic/live_ac.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>

#include <algorithm>

namespace amb::enginesim {

void FlightWatch::observe() {
  const std::int32_t cycle = g_engineCycle.load();
  for (const LiveAc& ac : g_liveAcs) {
    if (ac.objectId < 3 || ac.state != ActState::InSim) continue;
    Flown& f = flown[ac.objectId];
    if (f.hexid == 0) {
      f.hexid = ac.hexid;
      f.callsign = ac.callsign;
    }
    const double altitude = ac.position.altitude;
    f.lowest = std::min(f.lowest, altitude);
    f.highest = std::max(f.highest, altitude);
    f.last = altitude;
    if (sim != nullptr) {
      const double above = altitude - sim->groundAt(ac.position.latitude, ac.position.longitude);
      f.lowestAboveGround = std::min(f.lowestAboveGround, above);
      f.lastAboveGround = above;
    }
    if (ac.landed != 0 && f.landed < 0) f.landed = cycle;
    if (f.landed >= 0 && f.takeOffAfterLanding < 0 &&
        (ac.takeOffPending != 0 || ac.phase == GroundPhase::TakeOffRoll))
      f.takeOffAfterLanding = cycle;
  }
}

namespace {

// Whether the reported track goes back into the air after it was first reported on the ground.
bool lf_reportedTouchAndGo(const std::vector<AcceptedPosition>& queued) {
  const auto onGround = std::find_if(queued.begin(), queued.end(), [](const auto& p) { return !p.airborne; });
  return std::any_of(onGround, queued.end(), [](const auto& p) { return p.airborne; });
}

}  // namespace

FlightReport checkFlights(const FlightWatch& watch, const EngineHarness& harness, double field, double cg) {
  FlightReport r;
  std::map<std::uint32_t, double> highest;  // by hexid, over its objects
  for (const auto& [id, f] : watch.flown) {
    if (f.lowest < r.lowest) {
      r.lowest = f.lowest;
      r.lowestCallsign = f.callsign;
    }
    const bool grounded = watch.sim != nullptr;
    const double lowest = grounded ? f.lowestAboveGround : f.lowest - field;
    const double last = grounded ? f.lastAboveGround : f.last - field;
    if (lowest < 0) r.faults.push_back(fmt::format("{} flown down to {:.1f} ft above the ground", f.callsign, lowest));
    highest[f.hexid] = std::max(highest.count(f.hexid) != 0 ? highest[f.hexid] : -1e9, f.highest);
    if (f.landed < 0) continue;
    ++r.landings;
    const auto queued = harness.queuedByHexid.find(f.hexid);
    const bool touchAndGo = queued != harness.queuedByHexid.end() && lf_reportedTouchAndGo(queued->second);
    if (f.takeOffAfterLanding >= 0) {
      ++r.takeOffsAfterLanding;
      r.takingOffAgain.push_back(f.callsign);
      if (!touchAndGo)
        r.faults.push_back(
            fmt::format("{} landed at cycle {}, set to take off at {}", f.callsign, f.landed, f.takeOffAfterLanding));
    } else if (last - cg > 0.5) {
      r.faults.push_back(fmt::format("{} landed, last flown {:.1f} ft above the ground", f.callsign, last - cg));
    }
  }
  for (const auto& [hexid, queued] : harness.queuedByHexid) {
    const bool climbs = std::any_of(queued.begin(), queued.end(), [](const auto& p) { return p.altitude >= 3000; });
    if (queued.empty() || queued.front().airborne || !climbs || highest.count(hexid) == 0) continue;
    ++r.departures;
    if (highest[hexid] >= 3000) continue;
    ++r.departuresBelow;
    r.faults.push_back(fmt::format("{} reported through 3000 ft, flown up to {:.0f} ft", hexid, highest[hexid]));
  }
  return r;
}

std::string FlightReport::summary() const {
  return fmt::format("{} landings, {} set to take off again{}; {} departures through 3000 ft, {} below it; lowest "
                     "{:.1f} ft ({})",
                     landings, takeOffsAfterLanding,
                     takingOffAgain.empty() ? "" : fmt::format(" ({})", fmt::join(takingOffAgain, ", ")), departures,
                     departuresBelow, lowest, lowestCallsign);
}

}  // namespace amb::enginesim
