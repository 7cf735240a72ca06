#pragma once
// The way an aircraft in the air goes round the corners of its reported track, and where its nose
// points: a course change of more than a few degrees between two legs is flown as a curve through the
// corner, as tight as the aircraft's turn rate allows (and its legs leave room for), and the nose
// turns toward the course actually flown, at a rate the aircraft can turn.
// Defined in traffic/air_path.cpp; like the rest of the engine it runs on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "traffic/live_ac.hpp"

namespace amb {

// The aircraft is rounding the front situation on the curve the last leg laid out through it: for
// the timing of the next leg it is there.
bool lf_roundingCorner(const LiveAc& ac);

// The path of the leg just planned in the air (the front is the situation reached, the second the one
// flown to, a third the one after it): the rest of the turn through the front, and the turn through
// the second when the third is known. Called after the steps of the leg are set, with at least two
// situations.
void lf_planAirPath(LiveAc& ac);

// During a leg (the front is the situation flown to): once the situation after it is known, the turn
// through the front is planned on what is left of the leg.
void lf_planTurnAhead(LiveAc& ac);

// The aircraft in the air is still behind on the leg it flies (it slowed for a turn): the next leg
// begins when it has caught up with the leg's end, not at the leg's due time.
bool lf_stillOnAirPath(const LiveAc& ac);

// One cycle in the air: the position along the leg's path (or its straight steps), the heading
// toward the course flown and the bank of the turn. False when the aircraft is not flown this way
// (on the ground, on a ground curve).
bool lf_airStep(LiveAc& ac);

// One cycle of an aircraft standing in the air (a hovering helicopter): it turns on the spot toward
// the course of its next move, once that is known.
void lf_hoverTurn(LiveAc& ac);

}  // namespace amb
