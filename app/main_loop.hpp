#pragma once
// The heart beat of a service run: a tick every 10 ms on the steady clock. While the simulation runs
// every tick is one engine cycle; every user-aircraft report (one a second) also runs the report
// step and, by the report count, the periodic steps and three checks. While it does not run, the tick
// keeps the simulator commands flowing and sends the user position once a second.

#include "airports/services.hpp"

#include <cstdint>
#include <functional>

namespace amb {

// Runs the ticks until a report finds an exit under way or the user closed the simulator, or the
// service run is told to stop. Reports its own exceptions ("mainLoop").
void mainLoop();
// The 10 ms grid: calls the tick until it returns false or the service run is told to stop; a report
// waiting at the end of a tick re-anchors the grid at that moment.
void lf_runTickGrid(const std::function<bool()>& tick);

// One tick; false ends the loop.
bool lf_workAMBT();
void lf_workSimNotRunning();
void lf_onUserReport();
void lf_updateStatusCounts();

// What a report runs, by its count n: the periodic steps at every 15th report, else the park-airport
// check at every 16th (not while a renewal is under way), the readers' watchdog at every 59th and
// the live-versus-parked check at every 61st.
struct ReportSteps {
  bool periodic = false;
  bool parkAirportCheck = false;
  bool readerWatchdog = false;
  bool liveVersusParked = false;
  bool operator==(const ReportSteps&) const = default;
};
ReportSteps lf_reportSteps(std::int32_t n, bool renewalUnderWay);

// The automatic injection range (gf_autoRange) is the airports subsystem's: airports/services.hpp.

// Back to start values (the restart's reset, tests): the countdown of ticks without the simulation.
void gf_resetMainLoop();

}  // namespace amb
