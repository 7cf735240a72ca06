#pragma once
// How an aircraft flies in the air between its reported positions: as an aeroplane does. It goes
// forward along its nose, never stands still (a helicopter may hover), and turns no faster than a
// coordinated turn at its category's bank allows at its speed, showing that bank. It steers for the
// reported track a few seconds ahead of it, rounding the corners and smoothing out the feed's
// zigzags; where the track turns tighter than it can, it flies the wider arc and comes back onto the
// track further on. Its speed brings it to the reported positions at their due times, within its
// catch-up speed and never much below the slowest speed the feed reported for it in the air.
// Defined in traffic/air_path.cpp; like the rest of the engine it runs on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "traffic/live_ac.hpp"

namespace amb {

// The leg just planned (the front is the situation reached, the second the one flown to): in the air
// it is flown this way from now on. Called after the steps of the leg are set, with at least two
// situations.
void lf_planAirPath(LiveAc& ac);

// Whether the leg flown ends now, so that the next one is planned: on the ground and on legs not
// flown this way at the front's due time; in the air once the aircraft is abeam the leg's end and the
// leg is due (late, once it is abeam), or when that end lies behind its nose (off the track) and is
// due, or the track goes on ahead, or it lies within the circle a turn round would fly.
bool lf_legEnds(const LiveAc& ac);

// One cycle in the air: speed, turn and bank, the position along the nose, and the climb's share of
// the leg. False when the aircraft is not flown this way (on the ground, on a ground curve, before
// its first leg in the air).
bool lf_airStep(LiveAc& ac);

// One cycle of an aircraft standing in the air (a hovering helicopter): it turns on the spot toward
// the course of its next move, once that is known.
void lf_hoverTurn(LiveAc& ac);

// The fastest a coordinated turn at the category's most bank turns at a ground speed (metres a
// second), radians a second; nothing turns faster than 30 degrees a second, and a helicopter at
// 60 kt or slower turns that fast.
double gf_bankedTurnRate(int category, double speedMps);
// The slowest an aircraft coming in to land flies until it is down, knots: its share of the speed
// the feed last reported for it in the air (0 while none was; all of it while it floats over the
// runway before its records allow the touchdown), and no more than an approach's final stretch is
// flown at.
double lf_leastApproachKt(const LiveAc& ac);

}  // namespace amb
