#pragma once
// Worker jobs of the scans: every file of a scan runs as one job on a thread of its own, and one
// process-wide count of running jobs keeps them at or below the job limit (the number of hardware
// threads).
//
// The count is a counting semaphore: gf_waitForFreeWorker blocks (without polling) until a slot is
// free and takes it, counting the job in g_runningJobs; gf_workerDone gives the slot back. Taking and
// counting are one step, so any number of scans starting jobs at once never run more than
// g_maxJobs. A caller that runs its own thread: gf_waitForFreeWorker, start the thread, and call
// gf_workerDone exactly once when it ends, normally or by an exception; never change g_runningJobs
// directly. gf_startJob does all of this, keeps the thread joinable, and is the way to prefer.

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>

namespace amb {

// Read freely; written only by the functions below.
extern std::atomic<std::int32_t> g_runningJobs;
// Written at start-up before any job exists, only read afterwards.
extern std::atomic<std::int32_t> g_maxJobs;

// Sets the limit; a limit below 1 (a system that reports no hardware threads) counts as 1, so that
// jobs can run at all.
void gf_setJobLimit(std::int64_t limit);
// Blocks until fewer jobs than the limit run, then counts one more job (takes a slot).
void gf_waitForFreeWorker();
// Gives a slot back and wakes one waiting caller.
void gf_workerDone();

// Takes a slot and runs the job on a thread of its own; the slot is given back when the job returns
// or throws (the job must not call gf_workerDone itself). The future holds the job's exception, if
// any. The thread stays joinable: gf_joinJobs (or a later gf_startJob, once the job has ended) joins
// it.
std::future<void> gf_startJob(std::function<void()> job);
// Waits for every job started by gf_startJob to end and joins its thread.
void gf_joinJobs();

// Start values: every job joined, none running, the limit the hardware thread count.
void gf_resetJobs();

}  // namespace amb
