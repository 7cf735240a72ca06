// The checks of the live aircraft that the main loop runs once per user-aircraft report: new
// arrivals and their parked twins, aircraft in the user's way, blocked callsigns, collisions with
// static parked aircraft, and the nav lights of the aircraft at stands.

#include "traffic/engine.hpp"
#include "traffic/removals.hpp"
#include "traffic/report_checks.hpp"

#include "core/geometry.hpp"
#include "core/strings.hpp"
#include "records/upcalls.hpp"
#include "sim/services.hpp"
#include "state/run_state.hpp"

#include <atomic>

namespace amb {

using namespace up::airports;

namespace {

LatLon lf_here(const LiveAc& ac) { return {ac.position.latitude, ac.position.longitude}; }
LatLon lf_userPosition() { return {g_engineUserAc.latitude, g_engineUserAc.longitude}; }

bool lf_onGroundInSim(const LiveAc& ac) { return ac.state == ActState::InSim && ac.movesOnGround != 0; }

LatLon g_lastUserCheckPosition;

}  // namespace

bool gf_standRemovalsPending() {
  std::lock_guard lock(gf_engineMutex());
  const auto stand = gf_findStandByName(gf_reservedStandName());
  if (stand == g_stands->end()) return false;
  for (const Act& act : g_parkedActs)
    if (act.standId == stand->id && act.state == ActState::InSim) return true;
  for (const LiveAc& ac : g_liveAcs)
    if (ac.standId == stand->id && ac.state == ActState::InSim && ac.phase == GroundPhase::AtStand) return true;
  return false;
}

bool gf_handleNewArrival(std::uint32_t hexid) {
  std::lock_guard lock(gf_engineMutex());
  LiveAc* ac = lf_findLiveByHexid(hexid);
  if (ac == nullptr) return false;
  if (ac->coupledCallsignSearched == 0) {
    lf_searchForCoupledCsAroundThisTime(WeekSlot::fromPacked(g_weekSlot.load()), *ac);
    ac->coupledCallsignSearched = 1;
  }
  if (ac->callsign.empty()) return true;
  const SameRegContext context{ac, ac->callsign.substr(0, ac->callsign.size() - 1), ac->movesOnGround != 0};
  for (Act& parked : g_parkedActs)
    if (gf_removeIfSameRegOrCallsign(context, parked)) {
      removeAircraftFromSim(parked);
      break;
    }
  return true;
}

void gf_removeFirstInUserWay() {
  std::lock_guard lock(gf_engineMutex());
  for (LiveAc& ac : g_liveAcs)
    if (gf_removeIfInUserWay(0, ac)) return;
}

void gf_removeNearUserOnGround() {
  std::lock_guard lock(gf_engineMutex());
  const double userHalf = g_userHalfWingspan.load();
  const LatLon user = lf_userPosition();
  for (LiveAc& ac : g_liveAcs)
    if (lf_onGroundInSim(ac) && gf_distanceNm(user, lf_here(ac)) <= (userHalf + ac.halfWingspan) * 1.15) {
      removeAircraftFromSim(ac);
      return;
    }
  if (user.lat == g_lastUserCheckPosition.lat && user.lon == g_lastUserCheckPosition.lon) return;
  g_lastUserCheckPosition = user;
  for (Act& parked : g_parkedActs)
    if (parked.state == ActState::InSim &&
        gf_distanceNm(user, {parked.latitude, parked.longitude}) <= (userHalf + parked.halfWingspan) * 1.1) {
      removeAircraftFromSim(parked);
      return;
    }
}

void gf_removeStaticCollisions() {
  std::lock_guard lock(gf_engineMutex());
  if (g_parkedActs.empty()) return;
  for (LiveAc& ac : g_liveAcs) {
    if (!lf_onGroundInSim(ac) || (ac.phase != GroundPhase::Taxi && ac.phase != GroundPhase::ToStand)) continue;
    if (ac.waiting != 0 || ac.heldBack != 0) continue;
    if (ac.position.latitude == ac.collisionCheckLatitude && ac.position.longitude == ac.collisionCheckLongitude)
      continue;
    ac.collisionCheckLatitude = ac.position.latitude;
    ac.collisionCheckLongitude = ac.position.longitude;
    gf_removeStaticForCollision(ac);
  }
}

void gf_removeBlockedCallsign(const std::string& callsign) {
  std::lock_guard lock(gf_engineMutex());
  for (LiveAc& ac : g_liveAcs)
    if (ac.state == ActState::InSim && ac.callsign == callsign) {
      removeAircraftFromSim(ac);
      return;
    }
}

void gf_removeParkedTwinsOfLive() {
  std::lock_guard lock(gf_engineMutex());
  if (g_parkedActs.empty()) return;
  for (const LiveAc& ac : g_liveAcs) {
    if (!lf_onGroundInSim(ac)) continue;
    for (Act& parked : g_parkedActs) {
      const bool twin =
          parked.callsign == ac.callsign + "*" || (!ac.registration.empty() && parked.registration == ac.registration);
      if (twin && parked.state == ActState::InSim) {
        removeAircraftFromSim(parked);
        break;
      }
    }
  }
}

void gf_queueParkedNavLights(bool on) {
  std::lock_guard lock(gf_engineMutex());
  for (const Act& parked : g_parkedActs)
    if (parked.state == ActState::InSim) lf_queueEvent(parked, EVT_NAV_LIGHTS_SET, on ? 1 : 0);
  for (const LiveAc& ac : g_liveAcs)
    if (ac.state == ActState::InSim && ac.phase == GroundPhase::AtStand)
      lf_queueEvent(ac, EVT_NAV_LIGHTS_SET, on ? 1 : 0);
}

void lf_resetReportChecks() { g_lastUserCheckPosition = {}; }

}  // namespace amb
