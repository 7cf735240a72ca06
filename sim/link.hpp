#pragma once
// Inside the simulator interface: the registration, the dispatch procedure and its handlers, the
// per-frame flush, and the state only the "SimClient" thread touches. Used by the interface's own
// files and its tests.

#include "core/geometry.hpp"
#include "sim/services.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace amb {

// The simulator major version the service run expects (5 or 6), set by gf_resetSimQueues.
extern std::atomic<std::uint32_t> g_simExpectedVersion;

// Touched only on the "SimClient" thread (and by the resets while no such thread runs).
extern std::vector<std::uint32_t> g_addedObjectIds;       // "ObjectAdded" ids not yet seen by type
extern std::vector<PendingCreation> g_pendingCreations;   // creations sent, waiting for their object
extern LatLon g_lastUserPosition;                         // of the previous user block; 0, 0 at start
extern std::uint32_t g_simFrameCounter;                   // frames towards the next frame-rate sample

// Registers the definitions, events, group and priority on g_hSimConnect, in their fixed order;
// results are not looked at.
void lf_registerSimDefinitions();
void lf_addToAiEventGroup(std::uint32_t eventId);

// The dispatch procedure and its handlers. Handlers read only what the message holds: a message
// whose data are shorter than the layout they read is logged once and ignored.
void lf_simDispatch(const sc::RecvHeader* message, std::uint32_t size, void* context);
void lf_onSimException(const sc::RecvHeader* message, std::uint32_t size);
void lf_onSimOpen(const sc::RecvHeader* message, std::uint32_t size);
void lf_onSimEvent(const sc::RecvHeader* message, std::uint32_t size);
void lf_onSimObjectData(const sc::RecvHeader* message, std::uint32_t size);
void lf_onSimObjectDataByType(const sc::RecvHeader* message, std::uint32_t size);
void lf_onUserAcTitle(const std::string& title);
void lf_onUserAcModel(std::string model);
// On a new flight and when the thread ends: the stand where the user aircraft stopped becomes the
// reserved stand of the first park airport. Only the position is kept here, while the user
// aircraft stands (2 kt at most as the engine saw it); the worker takes it (gf_takeUserStandRequest).
void lf_reserveUserStand();

// Sends what the queues hold; called on every Frame event.
void lf_flushSimCommands();
void lf_createAircraftInSim(const CreateRequest& request);
// Forgets the creations sent two minutes or more before `now`, the simulator's answer to them lost,
// each with one log line; called before a creation is remembered, so the list never grows with them.
void lf_dropUnansweredCreations(clock::SteadyTime now);
// Appends to the event queue; the caller holds g_simMutex.
void lf_appendSimEventLocked(const SimEventCmd& event);

// A simulator text (8-bit, in the simulator's code page) as UTF-8: kept when it is valid UTF-8,
// else read as Windows-1252; at most maxChars characters.
std::string gf_simTextToUtf8(const std::string& raw, std::size_t maxChars = std::string::npos);

// Seconds since 1970-01-01 00:00 UTC of a zulu year, day of year (1 January = 1) and second of day;
// 0 (no time) unless the year lies in 1 to 9999, the day in 1 to 366 and the second in 0 to 86400.
std::int64_t gf_zuluToUnix(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondOfDay);

// What the queues hold (tests and the benchmark).
struct SimQueueSizes {
  std::size_t positionsFilled = 0;
  std::size_t positionsToSend = 0;
  std::size_t events = 0;
  std::size_t creations = 0;
  std::size_t removals = 0;
};
SimQueueSizes gf_simQueueSizes();
std::vector<SimEventCmd> gf_queuedSimEvents();

// The user state and the queues back to start values (parts of gf_resetSimLink).
void lf_resetUserState();
void lf_resetQueues();

// "SimClient" threads that have not finished closing their connection.
std::size_t gf_simClientsRunning();

}  // namespace amb
