#pragma once
// Ending a service run. Any thread asks for an exit with a reason and a delay; the first request
// wins and hands over to the exit sequence that the application installs (it stops the readers,
// removes the AI objects, then restarts the service run or ends the program).

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace amb {

enum ExitReason : int {
  NotYetSet = 0,
  SimWasClosed = 1,
  NewFlight = 2,
  NewSettings = 3,
  UserClosedSim = 4,
  SimConnectError = 5,
  ReaderError = 6,
  SystemError = 7,
};

// "NOT YET SET", "SIM WAS CLOSED", ...; throws std::out_of_range outside 0..7.
const std::string& gf_exitReasonName(int reason);
bool gf_exitReasonRestarts(int reason);  // 3, 5 and 6

// 0: no exit; 1: an exit is under way; kCloseDuringExit: ... and the user closed the window meanwhile.
extern std::atomic<std::uint8_t> g_exitUnderWay;
inline constexpr std::uint8_t kCloseDuringExit = 2;
extern std::atomic<std::int32_t> g_exitReason;
extern std::atomic<std::uint8_t> g_restartPending;
extern std::atomic<std::uint8_t> g_userClosed;
extern std::atomic<std::uint8_t> g_readerError;

// An exit is under way or the user closed the program: long work (the scans and their jobs) stops
// at its next file or section.
inline bool gf_runClosing() { return g_exitUnderWay != 0 || g_userClosed != 0; }

// Only the first request counts while an exit is under way; a close of the window (reason 4) during
// it is noted, so that an exit that would restart ends the program instead (gf_commitRestart).
void gf_requestExit(int reason, std::uint32_t delaySeconds);
// The exit under way is about to restart the service run: true when it may, and then no exit is under
// way any more (a request during the countdown starts an exit of its own); false when the user closed
// the window meanwhile: the exit stays under way and ends the program.
bool gf_commitRestart();
// The simulator connection was lost.
void gf_simWasClosed();
// A reader thread's receive loop failed: shown, and turned into an exit by the periodic steps.
void lf_readerStopped(bool traffic, const std::string& what);

// Waits for the exit sequences started so far to return (not from inside one of them).
void gf_joinExitThread();

// The exit sequence: called on a new thread by the first request. Without a handler (tests
// of single subsystems) a request only records the reason.
using ExitHandler = std::function<void(int reason, std::uint32_t delaySeconds)>;
void gf_setExitHandler(ExitHandler handler);

// Reports the exception being handled by its type on the message line; the standard exception types
// also request exit reason 7. Call only inside a catch block.
void gf_reportException(std::string_view functionName);

// Back to start values (tests, and the restart's reset of the exit state); joins the exit threads.
void gf_resetExitState();

}  // namespace amb
