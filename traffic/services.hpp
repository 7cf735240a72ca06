#pragma once
// What other subsystems call of the live traffic engine. The engine's lists (live aircraft, parked
// acts, creation queues, the removal deque) belong to the worker thread; every call below holds the
// engine's lock while it walks them, so the exit sequence and the window may call them too.

#include "traffic/live_ac.hpp"

#include "core/timed_mutex.hpp"
#include "sim/services.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace amb {

// The live-aircraft limit in use: MAX_LIVE as the start-up read it, changed by static parking; -1
// sets no limit.
extern std::atomic<std::int32_t> g_maxLiveInUse;

// The engine's lock, recursive: every service below takes it; the park-airport check holds it
// while it fills or empties the stands the engine reads. The exit waits for it with a bound.
RecursiveTimedMutex& gf_engineMutex();

// Reserves the engine's tables once per process.
void gf_reserveLiveTables();
// One engine cycle: takes the simulator's results and the pending traffic records, steps every live
// aircraft and queues its position and events.
void gf_updateAI();
// Applies the simulator's results and keeps the commands flowing while the simulation does not run.
void gf_SimCommands();

// Removals.
// Every live aircraft out of the simulator (the exit sequence, and when RealTraffic is gone).
void gf_removeAllLiveAc();
// Every parked act out of the simulator, their pending creations dropped.
void gf_removeAllParkedActs();
// True when a stand waits for the aircraft on it to be removed (the user reserved it).
bool gf_standRemovalsPending();
// Removes the aircraft on the user's reserved stand.
void gf_removeAcAtStand();
// While more live aircraft are in the simulator than MAX_LIVE allows, removes the one farthest from
// the user aircraft.
void gf_applyMaxLive();
// Moves every AI object id still waiting in the removal deque into the simulator's removal queue, so
// that all of them go at once (the exit sequence).
void gf_flushRemovalDeque();
// After every aircraft was removed: waits, at most the bound, for the objects whose creation was
// already with the simulator, and removes each as soon as it exists (the exit sequence, so that no
// object is left behind). True when none is left waiting.
bool gf_awaitCreationsAndRemove(std::chrono::milliseconds bound);

// The checks of a user-aircraft report.
// A new arrival: finds the live aircraft with the hexid; when found, searches its coupled callsign
// once (airports) and removes the first parked act that stands for it (same registration, or its
// callsign less the last character). False when no live aircraft has the hexid any more.
bool gf_handleNewArrival(std::uint32_t hexid);
// The user aircraft is airborne: the first live aircraft in its way is removed.
void gf_removeFirstInUserWay();
// The user aircraft is on the ground: the first live aircraft on the ground within both half wing
// spans x 1.15 is removed; when none was and the user moved, the first parked act within x 1.1.
void gf_removeNearUserOnGround();
// Live aircraft taxiing or driving to a stand that moved since the last check hand their position to
// the static parking's collision removal (only while parked acts exist).
void gf_removeStaticCollisions();
// Removes the first live aircraft in the simulator whose callsign is the blocked one.
void gf_removeBlockedCallsign(const std::string& callsign);
// For every live aircraft on the ground in the simulator, removes the first parked act in the
// simulator that carries its callsign followed by "*" or its registration (every 61st report, while
// parked acts exist).
void gf_removeParkedTwinsOfLive();
// Queues the nav-lights event (on or off) for every parked act in the simulator and every live
// aircraft at a stand.
void gf_queueParkedNavLights(bool on);

// Status figures: live aircraft in the simulator at a stand (with the flag set, also shows their mean
// time at the stand), and live aircraft in the simulator not at a stand.
int gf_countLiveAtStands(bool updateWindow);
std::uint32_t gf_countMovingLive();
// The mean time of the live aircraft at stands, hours, as the last count with the flag found it.
float gf_meanHoursAtStands();

// Forgets the livery titles remembered by hexid.
void gf_clearHexidTitles();
// Forgets the callsign texts kept for the ghost check.
void gf_clearGhostCallsigns();

// The AI flight-plan folder ("orig_dest" in the program folder), made at start-up (true when it
// exists afterwards) and removed by the exit sequence with everything in it (true when it still
// exists).
bool gf_createFlightPlanFolder();
bool gf_removeFlightPlanFolder();

// ---- What the static parking asks of the engine ----
// The live aircraft (traffic/live_ac.hpp) and the lists below belong to the worker thread; another
// thread holds gf_engineMutex() while it touches them.

// The parked (static) acts.
extern std::vector<Act> g_parkedActs;
// Creations waiting for their turn (one every 50 cycles, live before parked).
extern std::deque<CreateRequest> g_pendingLiveCreations;
extern std::deque<CreateRequest> g_pendingParkedCreations;
// Drops every pending creation with the callsign; true when one was dropped.
bool lf_removePendingCreation(std::deque<CreateRequest>& queue, const std::string& callsign);

// The live aircraft standing at a stand, as the static-parking side reads them.
struct LiveStayer {
  std::string callsign;
  std::uint32_t standId = 0;
  std::int64_t minutes = 0;
  bool operator<(const LiveStayer& o) const;
};
extern std::vector<LiveStayer> g_liveStayers;
// Removes the live aircraft that stood too long at their stands and lists the others.
void gf_collectLiveStayers();
// Removes up to n live aircraft standing at stands, longest first.
void gf_removeLiveParked(std::uint32_t n);

// Frees the act's stand and queues the removal of its object; see the cycle's rules for acts not
// yet in the simulator.
void removeAircraftFromSim(Act& act);
// The name of a stand of the stand list: "sid==0?" for 0, "unknown" when no stand has the id.
std::string gf_standName(std::uint32_t standId);

// Every engine list, queue and counter back to its start value (the restart's reset).
void gf_resetEngine();

}  // namespace amb
