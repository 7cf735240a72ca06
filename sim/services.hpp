#pragma once
// What the shell and the engine use of the simulator interface: the running and user-aircraft state
// that the "SimClient" thread keeps from the simulator's messages, the requests about the user
// aircraft, the command queues' lock, and the thread body itself.

#include "sim/blocks.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stop_token>

namespace amb {

// Guards the simulator command queues and every use of the connection outside the "SimClient"
// thread.
extern std::mutex g_simMutex;

// The simulation runs (the simulator's "Sim" event).
extern std::atomic<std::uint8_t> g_simRunning;
// Set by every answer to the user aircraft's on-ground request (one a second); the main loop takes
// it with a compare-exchange from 1 to 0 and counts one report.
extern std::atomic<std::uint8_t> g_newUserData;
// An on-ground answer has arrived, and what it said.
extern std::atomic<std::uint8_t> g_userOnGroundKnown;
extern std::atomic<std::uint8_t> g_userOnGround;
// The simulator's time, Unix seconds.
extern std::atomic<std::int64_t> g_simUnixTime;

// A copy of the last user-aircraft block the simulator sent (zeroed until one came).
UserAcBlock gf_userAcSnapshot();

// The null box: a latitude in [0, 0.0009] with a longitude in [0, 0.05] is no real position.
bool gf_inNullBox(double latitude, double longitude);

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

// Makes the command queues ready for a service run that expects the simulator's major version (5
// or 6).
void gf_resetSimQueues(std::uint32_t expectedVersion);
// Empties both position lists under g_simMutex (the simulation stopped). Takes the lock itself.
void gf_clearPositionQueues();
// Queues the nav-lights event for an AI object.
void gf_queueNavLights(std::uint32_t objectId, std::uint32_t data);

// The "SimClient" thread: connects to the simulator, retrying every second, and pumps its messages
// until the stop is requested, an exit is under way or the user closed the simulator.
void SimClient(std::stop_token stop);

// The restart's reset of the simulator interface: queues emptied, counters, flags and the user
// aircraft's data back to their start values, and the expected major version set again.
void gf_resetSimLink(std::uint32_t expectedVersion);

}  // namespace amb
