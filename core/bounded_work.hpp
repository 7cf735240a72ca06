#pragma once
// Work that may block in a file for as long as the file does not answer (a hung network share, a
// pipe nobody writes to), for a caller that must go on within a bound: the exit's saves.
//
// The work runs on a thread of its own (kept for later work once it ends) while the caller waits
// until the deadline. Work that has not ended by then goes on alone, with what it captured: a file
// it writes beside its target and renames into place is then either saved whole later or left as
// it was. The program's end asks gf_unfinishedBoundedWork(): while such work runs it ends without
// freeing the globals the work may still use (as it does for a worker that has not returned).

#include <chrono>
#include <functional>
#include <string>

namespace amb {

// True when the work ended by the deadline; an exception it threw is then thrown on here. False
// when it still runs.
bool gf_runBounded(const std::string& threadName, std::function<void()> work,
                   std::chrono::steady_clock::time_point deadline);

// Starts the first thread for such work ahead of need, so that an exit need not start one while
// the program's other threads end. Without effect once a thread exists.
void gf_startBoundedWorkThread();

// Works started by gf_runBounded that have not ended yet.
int gf_unfinishedBoundedWork();

}  // namespace amb
