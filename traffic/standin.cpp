// Scaffolding until the engine is built: there are no live aircraft, no parked acts and nothing
// queued, so every check finds nothing and every removal has nothing to remove. The engine's own
// files replace this one.

#include "traffic/services.hpp"

#include "feed/link.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

std::atomic<std::int32_t> g_maxLiveInUse{-1};

void gf_reserveLiveTables() {}
// Of a cycle only its once-a-second step: the user's position goes to RealTraffic, and the user
// aircraft is asked for anew.
void gf_updateAI() {
  if (g_engineCycle.fetch_add(1) % 100 != 0) return;
  lf_sendPosition();
  g_engineUserAc = gf_requestUserAcPosition();
}
void gf_SimCommands() {}

void gf_removeAllLiveAc() {}
void gf_removeAllParkedActs() {}
bool gf_standRemovalsPending() { return false; }
void gf_removeAcAtStand() {}
void gf_applyMaxLive() {}
void gf_flushRemovalDeque() {}

bool gf_handleNewArrival(std::uint32_t) { return false; }
void gf_removeFirstInUserWay() {}
void gf_removeNearUserOnGround() {}
void gf_removeStaticCollisions() {}
void gf_removeBlockedCallsign(const std::string&) {}
void gf_removeParkedTwinsOfLive() {}
void gf_queueParkedNavLights(bool) {}

int gf_countLiveAtStands(bool) { return 0; }
std::uint32_t gf_countMovingLive() { return 0; }

void gf_clearHexidTitles() {}
void gf_clearGhostCallsigns() {}

void gf_createFlightPlanFolder() {}
void gf_removeFlightPlanFolder() {}

void gf_resetEngine() {
  gf_resetLiveAcs();
  g_maxLiveInUse = MAX_LIVE.defaultValue;
}

}  // namespace amb
