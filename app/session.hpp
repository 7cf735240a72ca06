#pragma once
// One service run: starts the simulator link, waits for the simulation, opens the RealTraffic command
// link when RealTraffic runs on this computer, starts the two UDP readers, waits for the first traffic
// and then runs the main loop on the worker thread until it ends.

#include <chrono>

namespace amb {

void lf_runSession();
// False when the run ended first (exit, the user closed the simulator, or the worker's stop).
bool lf_waitForSimulator();
void lf_waitForFirstTraffic();

// The "SimClient" thread of the current run: asked to stop by the exit sequence; the next service
// run joins it when it starts its own.
void gf_requestSimClientStop();
// Asks it to stop and waits for it, bounded; false when it still runs after the bound (it is then
// left to end with the process).
bool gf_stopSimClient(std::chrono::milliseconds bound);

}  // namespace amb
