#pragma once
// Inside the live traffic engine: its lists, events, cycle and intake (traffic/engine.cpp). The
// application calls the engine through traffic/services.hpp; this header and those of the engine's
// other files (air, ground, step, spawn, stands, identity, results, removals, flight_plan,
// report_checks: each declares what its .cpp defines) are for the engine itself and its tests.
//
// Threads: everything here belongs to the worker thread that runs the main loop. Another thread (the
// exit sequence, the window) reaches the lists only through the calls of traffic/services.hpp, which
// hold gf_engineMutex(), as does every engine cycle.

#include "core/geometry.hpp"
#include "core/startup.hpp"
#include "feed/services.hpp"
#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/services.hpp"
#include "traffic/live_ac.hpp"
#include "traffic/services.hpp"
#include "traffic/sim_port.hpp"
#include "traffic/intake.hpp"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace amb {

// ---- The engine's lists ----

// g_parkedActs, g_pendingLiveCreations, g_pendingParkedCreations: traffic/services.hpp.
// Object ids waiting to be removed (one every 10 cycles).
extern std::deque<std::uint32_t> g_removalDeque;
// Hexids of spawned live aircraft whose creation request is still to be built (last in, first out).
extern std::vector<std::uint32_t> g_spawnRequests;
// Objects created in the last 200 cycles, live and parked; their counter counts the cycles.
extern std::vector<SimResult> g_createdObjects;
// The livery title chosen for a hexid, kept across respawns and later appearances.
extern std::unordered_map<std::uint32_t, std::string_view> g_hexidTitles;
// Callsigns with a trailing "_" found to be ghosts of another aircraft; never spawned again.
extern std::set<std::string> g_ghostCallsigns;
// A landing aircraft needs the ground under it: the in-range request goes every 20 cycles.
extern std::uint8_t g_fastRange;

// LiveStayer, g_liveStayers and gf_engineMutex: traffic/services.hpp.

// The cycles in a second and a minute; knots to cycles: distance * kCyclesPerNmAtOneKnot / speed.
inline constexpr std::int32_t kCyclesPerSecond = 100;
inline constexpr std::int32_t kCyclesPerMinute = 6000;
inline constexpr double kCyclesPerNmAtOneKnot = 360000.0;
inline constexpr std::int32_t kMinLegCycles = 25;

// ---- Events ----

// Throttle positions by index, and flaps positions by marker.
inline constexpr std::uint32_t kThrottle[5] = {0, 4914, 8191, 11468, 16383};
inline constexpr std::uint32_t kFlaps[4] = {0, 3072, 10240, 16383};

// Queues one client event for the act's object.
void lf_queueEvent(const Act& act, std::uint32_t eventId, std::uint32_t data);
// THROTTLE_SET to the index's position when the marker differs.
void lf_setThrottle(Act& act, std::uint32_t index);
// FLAPS_SET to the marker's position when the marker differs; never for rotorcraft.
void lf_setFlaps(Act& act, std::uint32_t marker);
// GEAR_SET (1 down, 0 up); never for rotorcraft.
void lf_setGear(Act& act, std::uint32_t down);
// The seven lights in the order nav, beacon, landing, taxi, strobes, logo, cabin (1 on, 0 off).
void lf_setLights(const Act& act, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing, std::uint32_t taxi,
                  std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin);

// ---- The cycle and the intake ----

void lf_updateAllLiveAc();
void lf_handleUdpMessages();
// A record that no live aircraft took: a new live aircraft, or dropped. Returns why it was dropped;
// nullptr when the aircraft was taken up.
const char* lf_newAircraft(TrafficRecord& record);
// First seen close to the reference airport's ground (the park airport's elevation) without being on
// the ground: a new aircraft is not taken up from such a record.
bool lf_nearReferenceGround(const Situation& s);
// Whether live aircraft of the category are wanted: Light, HighPerf and Rotorcraft by their options,
// Buzjets, Large and Heavy always, any other value never (new aircraft, and their waiting extensions).
bool lf_categoryAllowed(int category);
// gf_standName: traffic/services.hpp.
// Removes the live aircraft farthest from the user, which must lie more than 0.1 nm beyond
// distanceNm; true when there was none.
bool lf_removeFarthestLive(double distanceNm);
// The radius of the in-range request: a little beyond the injection radius, so that an aircraft
// created at the edge of the radius is found (the simulator measures on an Earth of its own).
std::uint32_t gf_nearbyRadiusMeters();
// Builds the creation request of the spawned live aircraft with the hexid.
void lf_buildCreationRequest(std::uint32_t hexid);
// Gives up the live and parked acts whose creation went to the simulator 30 s or more before the
// cycle and still has no object: each is logged once and erased (called once a second).
void lf_giveUpUnansweredCreations(std::int32_t cycle);
// The distance of an aircraft's current position from the user aircraft, nm.
double lf_distanceFromUser(const LiveAc& ac);

// ---- Lookups ----

LiveAc* lf_findLiveByHexid(std::uint32_t hexid);
LiveAc* lf_findLiveByObjectId(std::uint32_t objectId);
Act* lf_findParkedByHexid(std::uint32_t hexid);

// The random choices of the engine (cabin lights, the pitch variation of new aircraft) draw on the
// worker thread's engine; tests pin them with this seed.
void gf_seedEngineRandom(std::uint32_t seed);

}  // namespace amb
