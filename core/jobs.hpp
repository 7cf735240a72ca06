#pragma once
// Worker jobs of the scans: every file of a scan runs as one job on a thread of its own, and one
// process-wide count of running jobs keeps them at or below the job limit (the number of hardware
// threads). Starting a job: gf_waitForFreeWorker, increment g_runningJobs, run the job on a
// detached thread; the job calls gf_workerDone when it ends, normally or by an exception.
// gf_startJob does all of this.

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>

namespace amb {

extern std::atomic<std::int32_t> g_runningJobs;
// Written at start-up before any job exists, only read afterwards.
extern std::atomic<std::int32_t> g_maxJobs;

// Sets the limit; a limit below 1 (a system that reports no hardware threads) counts as 1, so that
// jobs can run at all.
void gf_setJobLimit(std::int64_t limit);
// Returns when fewer jobs than the limit run; polls every 10 microseconds without locking. The test
// and the caller's increment are two steps, so two scans starting jobs at once may briefly overshoot.
void gf_waitForFreeWorker();
void gf_workerDone();

// Waits for a free worker, counts the job and runs it on a detached thread; the count goes down
// when the job returns or throws (the job must not call gf_workerDone itself). The future holds the
// job's exception, if any.
std::future<void> gf_startJob(std::function<void()> job);

// Start values: no job running, the limit the hardware thread count.
void gf_resetJobs();

}  // namespace amb
