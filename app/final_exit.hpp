#pragma once
// The exit sequence. The first exit request of a run starts it on a thread of its own: it stops the
// readers, removes the program's AI objects, closes the RealTraffic link and stops the simulator link;
// then it either restarts the service run in the same process (reasons 3, 5 and 6: a countdown, a
// reset of the run state and a new worker) or ends the program.

#include <chrono>
#include <cstdint>
#include <functional>

namespace amb {

// The exit thread's body, installed as the exit handler of core/exit.hpp.
void FinalExit(int reason, std::uint32_t delaySeconds);
// Shows "Restarting after {} second{}" once a second, stopping early when a new exit is under way or
// the user closed the simulator.
void lf_restartCountdown(std::int32_t seconds);
// The reset of the run state before a restart.
void lf_resetRunState();

// Makes FinalExit the handler of every exit request.
void gf_installExitHandler();

// True while a save of the settings that the exit began has not ended (the settings file does not
// answer): the program's end does not wait for that file again.
bool gf_settingsUnansweredAtExit();
// Between tests: a save an earlier case's exit left unstarted (Wine at times never starts a thread
// it has created) is no part of the next case's exit.
void gf_forgetExitSaves();

// How long the exit sequence waits for the worker to return (tests shorten it).
void gf_setWorkerWaitBound(std::chrono::milliseconds bound);
// The exit sequence's pauses go through this (tests record them instead of waiting); an empty function
// restores real sleeping.
void gf_setExitSleeper(std::function<void(std::chrono::milliseconds)> sleeper);

}  // namespace amb
