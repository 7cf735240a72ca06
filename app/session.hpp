#pragma once
// One service run: starts the simulator link, waits for the simulation, opens the RealTraffic command
// link when RealTraffic runs on this computer, starts the two UDP readers, waits for the first traffic
// and then runs the main loop on the worker thread until it ends.

#include <chrono>
#include <cstdint>

namespace amb {

void lf_runSession();
// False when the run ended first (exit, the user closed the simulator, or the worker's stop).
bool lf_waitForSimulator();
void lf_waitForFirstTraffic();
// Starts the QNH reader and, 2 s later, the traffic reader on their ports (0: any free port), each on
// a thread of its own. Starts none, or only the first, when the run ends first (an exit under way, the
// user closed the simulator, or the worker's stop); false then.
bool lf_startReaders(std::uint16_t qnhPort, std::uint16_t trafficPort);
// Stops both readers, waits for their threads to end and opens their stop flags for the next run.
// The exit sequence calls it once the worker, which starts them, has returned.
void gf_stopAndJoinReaders();

// The "SimClient" thread of the current run: asked to stop by the exit sequence; the next service
// run joins it when it starts its own.
void gf_requestSimClientStop();
// Asks it to stop and waits for it, bounded; false when it still runs after the bound (it is then
// left to end with the process).
bool gf_stopSimClient(std::chrono::milliseconds bound);

}  // namespace amb
