#pragma once
// The intake of a known aircraft's records. RealTraffic stamps a line when it sends it and repeats
// a position with fresh stamps for 10-60 s before it moves on, often by kilometres: the time between
// two stamps says little about how fast an aircraft flew or turned. So a record is judged by what it
// says of itself: a record that moves on from the last position taken along the track it reports is
// where the aircraft is, and is taken at once. One that does not (another sender's stale or foreign
// position, a reported speed that jumps) is held until the next record that moves on tells: the
// aircraft went on from it (it is taken after all) or from the last one taken (it is dropped).
// Defined in traffic/intake.cpp; like the rest of the engine it runs on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "core/geometry.hpp"
#include "feed/services.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

// A reported track agrees with a course this near it, degrees.
inline constexpr double kTrackAgreesDeg = 45.0;
// Nearer than this (nm) to the position before it, a record's course says nothing: the feed rounds
// its positions.
inline constexpr double kTooNearForCourseNm = 0.05;

// Offers a record to one live aircraft; true when this aircraft takes it (used or ignored).
bool lf_offerRecord(LiveAc& ac, TrafficRecord& record);
// Whether a record says it went on from a reported position: on the ground both (taxiing aircraft
// jump between the feed's sources and turn on the spot, and the ground movement has rules of its
// own), or its own reported track within kTrackAgreesDeg of its course from there (a track given as
// none, or a position too near to tell, agrees), and its reported speed no jump from `fromSpeed`.
bool lf_goesOnFrom(const LatLon& from, bool fromAirborne, double fromSpeed, const Situation& s);
// A reported ground speed that jumps from the one before it: tenfold, or from standing (5 kt or less)
// to 80 kt or more, or back.
bool lf_speedJumps(double before, double now);
// The speed the distinct positions taken imply over the minute up to a cycle (knots), those due within
// it: the lower of the way along them over the time between their first arrivals and the middle of the
// steps' speeds, each weighing its time; steps faster than no aircraft flies between reports of their
// speeds left out. 0 where what counts spans less than kLeastPositionsSpanSeconds.
double gf_positionsSpeedKt(const LiveAc& ac, std::int32_t until);
inline constexpr double kLeastPositionsSpanSeconds = 10.0;
// The distinct positions taken lately, the newest first: i from 0 to recentCount - 1.
const LiveAc::TimedPosition& gf_recentPosition(const LiveAc& ac, std::size_t i);
// An aircraft not yet created whose one position is to be dropped (nothing followed from it) while a
// later record is held: the held record becomes its only position, the one the next records are
// measured from. False when none is held.
bool lf_startFromHeldRecord(LiveAc& ac);

}  // namespace amb
