#pragma once
// The process entry: one copy of the program per user session, the log, and the application run,
// which creates the main window, the settings folder and the first worker, and runs the window's
// message loop until the program quits.

namespace amb::platform {
class Ui;
}

namespace amb {

// The name of the single-instance claim.
inline constexpr const char* kSingleInstanceName = "Local\\$Ambertrail_P3D$";

// The whole program; its result is the process's exit code: -1 when another copy runs, 2 when the
// log cannot be started, else the code of the message loop's end (0).
int gf_runProgram();

// Creates the window and runs the message loop; the loop's end code. 0 also when the window's title,
// its class, the window or the settings folder cannot be made (logged).
int runApplication();
// The same on a window made already (tests).
int runApplication(platform::Ui& window);

}  // namespace amb
