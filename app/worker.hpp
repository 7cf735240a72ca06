#pragma once
// The worker thread: one per WM_APP+1. It checks where the program runs, prepares the run
// (settings, folders, update check, data base, simulator path, RealTraffic, controls, airport list),
// runs the scans the options ask for, reads the user's park airports and then runs one service run on
// the same thread.
//
// Only one worker runs at a time: every worker has a stop, which the exit sequence requests before
// it waits (bounded) for the worker to return and only then starts the next one. The waits of the
// service run and the main loop end when the stop is requested.

#include <chrono>
#include <stop_token>

namespace amb {

void lf_startUpAMBT();
void lf_prepareStartUp();
void lf_createFolders();
void lf_checkStockScenery();

// WM_APP+1: starts a new worker thread (detached; its stop is kept).
void lf_startWorker();
// Asks the running worker to stop.
void gf_requestWorkerStop();
// Waits until no worker runs; false when one still runs after the bound.
bool gf_waitForWorkerEnd(std::chrono::milliseconds bound);
int gf_runningWorkers();

// On a worker thread: its stop was requested. False on any other thread.
bool lf_workerStopRequested();
// The run is ending: an exit is under way, the user closed the simulator, or this worker's stop was
// requested.
bool lf_runEnding();
// Sleeps until the time or until this worker is told to stop; false when it was told to stop.
bool lf_sleepUntil(std::chrono::steady_clock::time_point until);
bool lf_sleepFor(std::chrono::steady_clock::duration d);

// Runs a function as a worker would, with the given stop (tests).
void gf_runAsWorker(std::stop_token stop, void (*body)());
// What the next workers run in place of the start-up and the service run (tests); null: the real one.
void gf_setWorkerStartUp(void (*startUp)());

}  // namespace amb
