#pragma once
// The periodic work of a service run, driven by the report count of the main loop (one report a
// second while the simulation runs): the 5-second step at every 15th report, which always leads on to
// the 15-second step, which runs the 30-second step at every 30th report; the 30-second step carries
// the minute, 20-minute and 24-hour marks.

namespace amb {

void lf_every5Seconds();
void lf_every15Seconds();
void lf_every30Seconds();
// Takes up a "Re-read" request while no static parking is under way.
void lf_checkParkAirportsIdle();

}  // namespace amb
