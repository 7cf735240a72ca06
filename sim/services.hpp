#pragma once
// What the shell and the engine use of the simulator interface: the running and user-aircraft state
// that the "SimClient" thread keeps from the simulator's messages, the requests about the user
// aircraft, the command queues with their lock, the results handed back to the engine, and the
// thread body itself.
//
// Threads: the "SimClient" thread opens the connection, dispatches every received message and sends
// the queued commands on each simulator frame; the worker thread (engine, main loop) fills the
// queues and takes the results; the window and exit threads queue lights and removals.
// Lock order: the result lock, then g_simMutex, then the client's own locks.

#include "core/clock.hpp"
#include "core/geometry.hpp"
#include "records/blocks.hpp"
#include "sim/results.hpp"
#include "sim/simconnect/simconnect.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace amb {

// ---- The vocabulary registered on every connection ----

enum SimDefinition : std::uint32_t {
  DEF_AI_CONTROLS = 401,
  DEF_AI_POSITION = 402,
  DEF_USER_AIRCRAFT = 403,
  DEF_OBJECT_GROUND = 404,
  DEF_STATIC_CG = 405,
  DEF_LIGHT_STATES = 406,
  DEF_TITLE = 407,
  DEF_ATC_MODEL = 408,
  DEF_ON_GROUND = 409,
};

enum SimRequest : std::uint32_t {
  REQ_AI_NEARBY = 101,
  REQ_STATIC_CG = 102,
  REQ_RELEASE_CONTROL = 103,
  REQ_CREATE = 104,
  REQ_REMOVE = 105,
  REQ_USER_TITLE = 106,
  REQ_USER_MODEL = 107,
  REQ_USER_ON_GROUND = 108,
  REQ_USER_AIRCRAFT = 109,
  REQ_FLIGHT_PLAN = 110,
};

enum SimSystemEvent : std::uint32_t {
  EVT_SIM = 201,
  EVT_OBJECT_ADDED = 202,
  EVT_OBJECT_REMOVED = 203,
  EVT_FRAME = 204,
  EVT_POSITION_CHANGED = 205,
  EVT_FLIGHT_LOADED = 206,
};

enum SimClientEvent : std::uint32_t {
  EVT_BEACON_LIGHTS_SET = 207,
  EVT_NAV_LIGHTS_SET = 208,
  EVT_TAXI_LIGHTS_SET = 209,
  EVT_STROBES_SET = 210,
  EVT_LANDING_LIGHTS_SET = 211,
  EVT_CABIN_LIGHTS_SET = 212,
  EVT_LOGO_LIGHTS_SET = 213,
  EVT_ALL_LIGHTS_TOGGLE = 214,
  EVT_FREEZE_LATITUDE_LONGITUDE_SET = 215,
  EVT_FREEZE_ALTITUDE_SET = 216,
  EVT_FREEZE_ATTITUDE_SET = 217,
  EVT_FLAPS_SET = 218,
  EVT_SPOILERS_SET = 219,
  EVT_GEAR_SET = 220,
  EVT_ENGINE_AUTO_START = 221,
  EVT_ENGINE_AUTO_SHUTDOWN = 222,
  EVT_THROTTLE_SET = 223,
};

inline constexpr std::uint32_t GROUP_AI_EVENTS = 301;

// ---- The connection and the simulator's state ----

// The connection of the "SimClient" thread; null while there is none. Other threads call the API on
// it under g_simMutex; the thread clears it under the same lock before it closes the connection.
extern std::atomic<SimHandle> g_hSimConnect;

// Guards the command queues and every use of the connection outside the "SimClient" thread.
extern std::mutex g_simMutex;

// The simulation runs (the simulator's "Sim" event).
extern std::atomic<std::uint8_t> g_simRunning;
// Set by every answer to the user aircraft's on-ground request (one a second); the main loop takes
// it with a compare-exchange from 1 to 0 and counts one report.
extern std::atomic<std::uint8_t> g_newUserData;
// An on-ground answer has arrived, and what it said.
extern std::atomic<std::uint8_t> g_userOnGroundKnown;
extern std::atomic<std::uint8_t> g_userOnGround;
// The user aircraft's ground speed (knots) in the block the engine cycle last copied; the reserved
// stand is taken only while the engine saw the user standing.
extern std::atomic<double> g_engineUserGroundSpeed;
// The simulator's zulu date and time in Unix seconds (kept while RealTraffic's professional
// edition is known).
extern std::atomic<std::int64_t> g_simUnixTime;
// The simulator's frame rate, sampled every 30 frames.
extern std::atomic<float> g_simFrameRate;
// Object id of the user aircraft (2 until the simulator tells); ids at or below it are never moved,
// released or removed.
extern std::atomic<std::uint32_t> g_userObjectId;
// Half wing span of the user aircraft in nautical miles, with its flag; and its category.
extern std::atomic<double> g_userHalfWingspan;
extern std::atomic<std::uint8_t> g_userHalfWingspanSet;
extern std::atomic<int> g_userCategory;
// Sending has stopped after the third failed request, until the next service run.
extern std::atomic<std::uint8_t> g_simSendError;

// A copy of the last user-aircraft block the simulator sent (zeroed until one came).
UserAcBlock gf_userAcSnapshot();
// The user aircraft's title (at most 48 characters) and the stand it stands at (empty when none).
std::string gf_userTitle();
std::string gf_userStandName();
// The worker, which owns the park airport's stands, tells the stand the user aircraft stands at
// (empty when none); a changed name goes to the window.
void gf_setUserStandName(const std::string& stand);
// The position at which the user aircraft stood still on the ground when a new flight began or the
// connection ended; taken once by the worker, which makes the stand there the reserved stand.
std::optional<LatLon> gf_takeUserStandRequest();

// ---- Requests ----

// Asks the simulator once for the user aircraft's block (unless sending has stopped after errors)
// and returns a copy of the current one; the answer arrives later.
UserAcBlock gf_requestUserAcPosition();
// Asks the simulator once for the user aircraft's title and model.
void gf_requestUserAcTitleAndModel();
// Asks the simulator for the user aircraft's on-ground state every second; each answer is one
// report of the main loop. The caller holds g_simMutex. The simulator's result: 0 success, negative
// failure.
std::int32_t gf_requestUserOnGround();
// Counts a failed request; from the third on, sending stops and exit reason 5 is requested.
void gf_simConnectRequestFailed();
// Failed requests since the start or the last restart.
std::uint32_t gf_simRequestFailures();

// ---- Command queues ----

// One position command: the block of definition 402 and the object it moves.
struct PosUpdate {
  AiPosBlock block;
  std::uint32_t objectId = 0;
};

// One client event for an AI object, sent with group 301 and flags 0.
struct SimEventCmd {
  std::uint32_t objectId = 0;
  std::uint32_t eventId = 0;  // 207 to 223
  std::uint32_t data = 0;
};

// One creation. The title is a view of a text owned by the livery tables, which must stay alive
// until the next frame has sent the creation.
struct CreateRequest {
  SimInitPosition position;
  std::string callsign;  // sent as the tail number
  std::string_view title;
  std::uint32_t hexid = 0;
};

// A creation that was sent and waits for its object (or its refusal).
struct PendingCreation {
  std::uint32_t sendId = 0;
  std::uint32_t hexid = 0;
  std::string callsign;
  clock::SteadyTime sentAt{};  // when it was sent
};

// Appends under g_simMutex.
void gf_queueCreateAircraft(const CreateRequest& request);
void gf_queueSimEvent(const SimEventCmd& event);
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t data);
void gf_queueCabinLights(std::uint32_t objectId, std::uint32_t data);
void gf_queueRemoval(std::uint32_t objectId);
// Appends to the position list being filled; the engine's thread only, without a lock. A failed
// allocation is logged marked and thrown on.
void gf_updateAircraft(const PosUpdate& update);
// Hands the positions filled in this engine cycle to the sending side: under g_simMutex the two
// lists are swapped and the new fill list emptied. When the lock is busy and the simulator runs at
// 50 frames a second or less, this cycle's positions are dropped instead; above 50 the call waits.
// True when the positions were handed over.
bool gf_handOverPositions();
// Empties both position lists under g_simMutex (the simulation stopped). Takes the lock itself.
void gf_clearPositionQueues();

// Makes the command queues ready for a service run that expects the simulator's major version (5
// or 6).
void gf_resetSimQueues(std::uint32_t expectedVersion);

// The "SimClient" thread: connects to the simulator, retrying every second, and pumps its messages
// every millisecond until the stop is requested, an exit is under way or the user closed the
// simulator.
void SimClient(std::stop_token stop);

// The restart's reset of the simulator interface: queues, results, counters, flags and the user
// aircraft's data back to their start values, and the expected major version set again. Waits,
// bounded, for a "SimClient" thread that is still closing its connection.
void gf_resetSimLink(std::uint32_t expectedVersion);

}  // namespace amb
