// Identity changes of live aircraft: a registration, callsign or route that arrives after the
// position; a new callsign or route makes the aircraft respawn (removed and created again at its
// current position) when GUID_CHANGES is on. Also the ghost rule for callsigns with a trailing "_".

#include "traffic/engine.hpp"
#include "traffic/identity.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "settings/options.hpp"

#include <fmt/format.h>

namespace amb {

namespace {

bool lf_endsWithUnderscore(const std::string& s) { return !s.empty() && s.back() == '_'; }

}  // namespace

void lf_copyRoute(LiveAc& ac, const AcIdentity& id) {
  if (!id.origin.empty()) ac.origin = id.origin;
  if (!id.destination.empty()) ac.destination = id.destination;
}

void lf_copyIdentity(LiveAc& ac, const AcIdentity& id) {
  if (!id.airline.empty()) ac.airline = id.airline;
  if (!id.model.empty()) ac.model = id.model;
  if (!id.registration.empty()) ac.registration = id.registration;
  if (!id.callsign.empty() && id.callsign != ac.callsign) {
    ac.callsign = id.callsign;
    ac.secondCallsign = id.callsign;
  }
}

int lf_routeChanged(LiveAc& ac, const AcIdentity& id) {
  int changed = 0;
  if (!id.origin.empty() && id.origin != ac.origin) {
    ac.origin = id.origin;
    changed = 1;
  }
  if (!id.destination.empty() && id.destination != ac.destination) {
    ac.destination = id.destination;
    changed = 1;
  }
  return changed;
}

bool lf_updateIdentity(LiveAc& ac, const AcIdentity& id) {
  try {
    if (ac.landingMode != 0 || ac.takeOffPending != 0) return true;
    if (ac.state == ActState::New) {
      lf_copyRoute(ac, id);
      lf_copyIdentity(ac, id);
      return true;
    }
    if (ac.state != ActState::InSim || ac.phase == GroundPhase::LeavingStand || ac.extensionCount >= 1) return true;
    const bool routeSame = lf_routeChanged(ac, id) == 0;
    if (!routeSame && ac.movesOnGround != 0 && ac.phase != GroundPhase::ToStand && ac.phase != GroundPhase::AtStand) {
      ac.setPhase(GroundPhase::Taxi);
      ac.bearingToNext = ac.position.heading;
    }
    if (ac.registration.empty() && !id.registration.empty()) ac.registration = id.registration;
    if (!id.callsign.empty() && id.callsign != ac.callsign && id.callsign != ac.registration) {
      ac.callsign = id.callsign;
      ac.secondCallsign = id.callsign;
      ac.coupledCallsign.clear();
      if (lf_endsWithUnderscore(ac.callsign)) {
        if (lf_hasCoupledCallsign(ac.callsign)) return false;
      } else {
        lf_checkGhost(ac.callsign);
      }
    } else if (routeSame) {
      return true;
    }
    if (GUID_CHANGES.value == 0) return true;
    if (LOG.value != 0) gf_logPeerf("          {} respawns", ac.description());
    liveryRespawn(ac);
    return false;
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_updateIdentity", e.what());
    return true;
  }
}

void liveryRespawn(LiveAc& ac) {
  try {
    auto& buffer = ac.situations;
    if (ac.phase == GroundPhase::AtStand) {
      buffer.resize(1);
      buffer.front().noMovement = 1;
      buffer.front().heading = ac.position.heading * kRadToDeg;
    } else {
      Situation here = buffer.empty() ? Situation{} : buffer.front();
      here.latitude = ac.position.latitude;
      here.longitude = ac.position.longitude;
      here.altitude = ac.position.altitude;
      here.heading = ac.position.heading * kRadToDeg;
      here.airborne = ac.movesOnGround == 0 ? 1 : 0;
      here.noMovement =
          (!buffer.empty() && buffer.front().latitude == here.latitude && buffer.front().longitude == here.longitude)
              ? 1
              : 0;
      buffer.push_front(here);
    }
    buffer.front().due = g_engineCycle.load(std::memory_order_relaxed) + 1;
    ac.state = ActState::Respawning;
    ac.respawnHeading = ac.position.heading;
    if (ac.objectId != 0)
      g_removalDeque.push_back(ac.objectId);
    else
      gf_logPeerf("{} removing act {} with objectid=0 ?", "liveryRespawn", ac.description());
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "liveryRespawn", e.what());
  }
}

void lf_checkGhost(const std::string& callsign) {
  try {
    if (callsign.empty()) return;
    const std::string ghost = callsign + "_";
    for (LiveAc& ac : g_liveAcs) {
      if (ac.state == ActState::Removing || ac.callsign != ghost) continue;
      g_ghostCallsigns.insert(ghost);
      if (ac.phase == GroundPhase::AtStand)
        gf_logPeerf("          {:8} is a ghost and will be removed, continue with {}", ac.callsign, callsign);
      else
        gf_logPeerf("{:8}: {:8} is a ghost and will be removed, continue with {}", gf_standName(ac.standId),
                    ac.callsign, callsign);
      removeAircraftFromSim(ac);
      return;
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_checkGhost", e.what());
  }
}

bool lf_hasCoupledCallsign(const std::string& callsign) {
  if (!lf_endsWithUnderscore(callsign)) return false;
  const std::string partner = callsign.substr(0, callsign.size() - 1);
  for (const LiveAc& ac : g_liveAcs)
    if (ac.state != ActState::Removing && ac.callsign == partner) return true;
  return false;
}

}  // namespace amb
