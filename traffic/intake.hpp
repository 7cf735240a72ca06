#pragma once
// The intake of a known aircraft's records: whether a new record can follow from the last one taken
// (a plausible speed, not behind along the track, no jump of the reported speed), and what is done
// with one that cannot: held back until the next records show it a real jump (taken after all) or
// stale or foreign (dropped).
// Defined in traffic/intake.cpp; like the rest of the engine it runs on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "core/geometry.hpp"
#include "feed/services.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

// Offers a record to one live aircraft; true when this aircraft takes it (used or ignored).
bool lf_offerRecord(LiveAc& ac, TrafficRecord& record);
// The fastest a reported position may seem to move between two records of one aircraft: three
// times the faster of their reported ground speeds plus 100 kt, in knots (a speed below 0 counts 0).
double lf_plausibleSpeedKt(double speed1, double speed2);
// Whether going from one reported position to the next, `seconds` later, implies a speed above
// lf_plausibleSpeedKt of the two speeds. Without time between them (none, or a negative one) any
// move at all is too fast.
bool lf_impliesImpossibleSpeed(const LatLon& from, double fromSpeed, const LatLon& to, double toSpeed,
                               double seconds);
// Whether a reported position `to` lies behind `from` along the track there (degrees) farther than
// the faster of the two reported speeds covers in `seconds`, less what it flies turning round
// (turnRoundNm), plus 0.05 nm for the feed's rounding: an aircraft in the air cannot be there unless
// the record is stale.
bool lf_liesBehind(const LatLon& from, double trackDeg, double fromSpeed, const LatLon& to, double toSpeed,
                   double seconds, double turnRoundNm = 0);
// The nautical miles an aircraft of the category flies at a speed (knots) turning round in a half
// circle at its most bank.
double lf_turnRoundNm(int category, double speedKt);
// An aircraft not yet created whose one position is to be dropped (nothing followed from it) while a
// later record is held back: the held record becomes its only position, the one the next records are
// measured from. False when none is held.
bool lf_startFromHeldRecord(LiveAc& ac);

}  // namespace amb
