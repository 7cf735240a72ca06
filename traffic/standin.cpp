// Scaffolding until the engine is built: there are no live aircraft, no parked acts and nothing
// queued, so every check finds nothing and every removal has nothing to remove. The engine's own
// files replace this one.

#include "traffic/services.hpp"

#include "settings/options.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

std::atomic<std::int32_t> g_maxLiveInUse{-1};

void gf_reserveLiveTables() {}
void gf_updateAI() {}
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
