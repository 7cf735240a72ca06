#pragma once
// Inside the live traffic engine: its lists, queues and steps. The application calls the engine
// through traffic/services.hpp; this header is for the engine's own files, the neighbouring stand-ins
// and the engine's tests.
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

// ---- Records (acts) ----

// removeAircraftFromSim: traffic/services.hpp.
// Engines off, parked lights.
void lf_shutDownParkedAc(Act& act);
// lf_removePendingCreation: traffic/services.hpp.

// ---- The cycle and the intake ----

void lf_updateAllLiveAc();
void lf_handleUdpMessages();
// Offers a record to one live aircraft; true when this aircraft takes it (used or ignored).
bool lf_offerRecord(LiveAc& ac, TrafficRecord& record);
// A record that no live aircraft took: a new live aircraft, or dropped.
void lf_newAircraft(TrafficRecord& record);
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
// The distance of an aircraft's current position from the user aircraft, nm.
double lf_distanceFromUser(const LiveAc& ac);

// ---- Simulator results ----

void lf_processSimResult(const SimResult& result);
void gf_allLightsToggle(bool& done, SimResult& record);

// ---- Removals and limits ----

// gf_collectLiveStayers, gf_removeLiveParked: traffic/services.hpp.
struct SameRegContext {
  const LiveAc* live = nullptr;
  std::string callsignLessLast;
  bool onGround = false;
};
bool gf_removeIfSameRegOrCallsign(const SameRegContext& context, const Act& parked);
void lf_checkMaxPark(std::uint32_t adding);
bool gf_removeIfInUserWay(int unused, LiveAc& ac);

// ---- Per-aircraft update and spawning ----

bool updateLiveAc(LiveAc& ac);
void updateBufferAc(LiveAc& ac);
void spawnLiveAc(LiveAc& ac);
void decodeExisting(LiveAc& ac, Situation s);
bool checkNewSituation(LiveAc& ac, Situation& s);
bool checkExtendingSituations(LiveAc& ac, const Situation& s);
bool checkNewPosDuringLanding(LiveAc& ac, const Situation& s);
void checkStops(LiveAc& ac, const Situation& s);
// The pitch for a vertical speed (feet per minute): -3 degrees less 2.2 degrees per 600 ft/min of
// climb (at most 2400), a descent (at most 3000) counting half. Radians, negative nose up.
double gf_pitchForVerticalSpeed(double feetPerMinute);

// ---- Air movement ----

void nextPosMain(LiveAc& ac);
void nextPos(LiveAc& ac);
void nextPosAir(LiveAc& ac);
void lf_planAirLeg(LiveAc& ac);
double lf_legSpeedKt(const LiveAc& ac);
double lf_turnToNextLeg(const LiveAc& ac);
void lf_setBankStep(LiveAc& ac, double turn, int steps);
double lf_approachVs(const LiveAc& ac);
void lf_climbOut(LiveAc& ac);
void lf_flare(LiveAc& ac);
// Per-category limits, radians (per cycle for the changes).
double gf_maxBank(int category);
double gf_maxBankChange(int category);
double gf_maxPitchChange(int category);

// ---- The per-cycle step and ground curves ----

struct CurvePoint {
  double latitude = 0;
  double longitude = 0;
};
bool gf_curvePosition(const GroundCurve& curve, double t, CurvePoint& out, double& heading);
// Sets a curve from the current position through the second situation toward the third, which the
// aircraft now runs to (the second is erased); false with fewer than three situations.
bool lf_startCurve(LiveAc& ac);
// Sets a curve from the current position through the middle point to the end point.
void lf_setCurveThrough(LiveAc& ac, const LatLon& middle, const LatLon& end);
// A curve from the current position to the end whose start runs along the nose (its middle point lies
// a quarter of the way ahead); false when the end is too near to steer toward.
bool lf_startLeadInCurve(LiveAc& ac, const LatLon& end);
// The next position lies behind the aircraft: a situation out to its side goes first, so that the
// aircraft turns round on two curves.
void lf_insertTurnRound(LiveAc& ac);
// A curve from the current position that leaves along the nose and reaches `to` along the entry
// heading (its middle point is where the two lines meet); false where they do not meet ahead of both.
bool lf_startEntryCurve(LiveAc& ac, const LatLon& to, double entryHeading);
// The curve onto the stand, entering it along its heading; false where no such curve fits (the
// stand faces back the way the aircraft comes, or the aircraft is on the stand).
bool lf_startStandCurve(LiveAc& ac, const Stand& stand);
// Puts the midpoint of the front and the second situation between them.
void lf_insertMidSituation(LiveAc& ac);
// A straight leg whose speed changes by more than 5 kt over 100 m or more gets a midpoint; true then.
bool lf_checkSpeedChange(LiveAc& ac);
void lf_curveStep(LiveAc& ac);
// Turns the heading toward the target by at most the turn per cycle, the shorter way round, when
// they differ by more than 0.5 degrees.
void lf_turnToward(LiveAc& ac, double target);

// ---- Ground movement ----

void nextPosGround(LiveAc& ac);
void lf_planGroundLeg(LiveAc& ac, const Situation& next);
void adjustTimeGround(LiveAc& ac);
bool lf_extendStream(LiveAc& ac);
void lf_appendWaitSituations(LiveAc& ac, int n);
void lf_takeOffConfig(LiveAc& ac);
void lf_startTakeOffRoll(LiveAc& ac);
void lf_rollOut(LiveAc& ac);
// Backs out of the stand 2.5 stand radii (then turns 90 degrees unless only straight push-backs are
// wanted), or pulls forward out of it; the next leg of the stream follows.
void lf_pushBack(LiveAc& ac);
void lf_pullOut(LiveAc& ac);
double gf_takeOffSpeed(int category);
// The windows a leg's due time is held in around its stamped one: both shrink by 100 cycles toward
// 1000; or they open to 3000 early and 3000 late (5000 with a take-off pending).
void lf_shrinkWindows(LiveAc& ac);
void lf_wideWindows(LiveAc& ac);

// ---- Stands of live aircraft ----

// The stand with the id; nullptr for 0 or none.
Stand* lf_standById(std::uint32_t id);
// A new aircraft with the callsign wants the stand on which `existing` may stand: clears `take`
// when the newcomer gives way, or removes `existing`.
void lf_sameStandTest(std::uint8_t& take, std::uint32_t standId, const std::string& callsign, LiveAc& existing);
// `parking` takes the stand `target`: `existing` on the adjacent stand goes when the wings could touch.
void lf_adjacentStandTest(std::uint32_t adjacentId, const LiveAc& parking, const Stand& target, LiveAc& existing);
// Claims a free stand near the last reported position and drives the aircraft onto it.
void try2Park(LiveAc& ac, bool wide);
// The drive from the last situation onto the stand: at the stand, then standing there.
void drive2Stand(LiveAc& ac, const Stand& stand);
void lf_arrivedAtStand(LiveAc& ac);
void lf_setCargoAtStand(LiveAc& ac);
// A new position of an aircraft at or driving to its stand; false drops it. The first position of
// its way out is kept and marks it as leaving.
bool lf_checkAtStand(LiveAc& ac, Situation& s);
// The aircraft starts to move away from its stand.
void lf_leaveStand(LiveAc& ac);
void checkStandOrExcludedIsOccupiedByStaticAndRemove(LiveAc& ac, const Stand& stand);

// ---- Identity, respawns and creation results ----

bool lf_updateIdentity(LiveAc& ac, const AcIdentity& identity);
void liveryRespawn(LiveAc& ac);
void lf_copyRoute(LiveAc& ac, const AcIdentity& identity);
void lf_copyIdentity(LiveAc& ac, const AcIdentity& identity);
int lf_routeChanged(LiveAc& ac, const AcIdentity& identity);
void lf_onLiveCreated(LiveAc& ac);
bool lf_onLiveObjectData(LiveAc& ac, const SimResult& result);
void lf_onTouchdown(LiveAc& ac);
void lf_checkGhost(const std::string& callsign);
bool lf_hasCoupledCallsign(const std::string& callsign);
void lf_createFlightPlan(LiveAc& ac);

// ---- AI flight-plan files ----

extern std::filesystem::path g_flightPlanFolder;
std::filesystem::path gf_flightPlanPath(std::uint32_t objectId);
bool gf_writeFlightPlan(const std::filesystem::path& file, const AcData& aircraft);
// The file's text.
std::string gf_flightPlanText(const AcData& aircraft);

// The report checks' memory of the user's position back to its start value.
void lf_resetReportChecks();

// ---- Lookups ----

LiveAc* lf_findLiveByHexid(std::uint32_t hexid);
LiveAc* lf_findLiveByObjectId(std::uint32_t objectId);
Act* lf_findParkedByHexid(std::uint32_t hexid);

// The steady clock in ticks of 100 ns (the stand arrival times).
std::int64_t gf_steadyTicks();

// The random choices of the engine (cabin lights, the pitch variation of new aircraft) draw on the
// worker thread's engine; tests pin them with this seed.
void gf_seedEngineRandom(std::uint32_t seed);

}  // namespace amb
