#pragma once
// Air movement: the legs in the air, the approach, the flare and the climb-out.
// Defined in traffic/air.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

#include <optional>

namespace amb {

void nextPosMain(LiveAc& ac);
// The aircraft's stream has ended: it leaves the simulator (what it shows of a stand is learned first).
void lf_leaveAtStreamEnd(LiveAc& ac);
// Flying on past the feed's last position, an aircraft whose stream is over leaves then, not at the
// end of the leg it flies on: each second farther on takes it farther from where it was last seen.
// True when it left.
bool lf_leavesFlyingOn(LiveAc& ac);
void nextPos(LiveAc& ac);
void nextPosAir(LiveAc& ac);
void lf_planAirLeg(LiveAc& ac);
double lf_legSpeedKt(const LiveAc& ac);
// The fastest a late aircraft flies to catch up, knots: 1.3 times the leg's speed and 30 kt more. In
// the air the speed its positions imply counts where it is faster: a feed's reported speed may freeze
// far below it.
double lf_catchUpSpeedKt(const LiveAc& ac, double speedKt);
// The steepest an aircraft descends in the air, feet a cycle (negative): half as steep again as it
// climbs, and never beyond 5,400 ft/min.
double lf_steepestDescentPerCycle(const LiveAc& ac);
// A descent step on the approach: on short final it goes on at an approach's least rate (600 ft/min,
// or the glide path's where that is shallower), for the feed holds the last altitudes of a landing
// for a while.
double lf_approachStep(const LiveAc& ac, double step);
// A climb or descent step (feet a cycle) toward the altitude of a record `left` feet away: many
// transponders give the altitude in steps of 100 ft, and a level aircraft's records hop between two
// of them, so toward a record no more than one such step away the aircraft goes no faster than the
// record's own vertical speed says, nor than a level aircraft drifts. An aeroplane coming in to land
// keeps to the approach's own rules instead; a helicopter comes down as its records do.
double lf_withinCodeStep(const LiveAc& ac, const Situation& record, double left, double step);
// A landing's descent step (feet a cycle) held back so that its flare begins no earlier than its
// records allow the touchdown: the feed reports a landing on the ground late, and the touchdown lies no
// farther before the first position it reports there than the aircraft rolls in one of its report
// intervals. The aircraft reaches the flare's height where the flare then brings it down there, and
// goes no lower before. `from`: the buffer's first situation ahead of the aircraft (1 while a leg is
// planned, 0 while it is flown).
double lf_notBeforeTouchdown(const LiveAc& ac, double step, std::size_t from);
// True while a landing's flare, or its touchdown, is held off so; and while, down to the flare's
// height, it floats on over the runway before its touchdown.
bool lf_holdsOffTheFlare(const LiveAc& ac);
bool lf_holdsOffTheTouchdown(const LiveAc& ac);
bool lf_floatsBeforeTouchdown(const LiveAc& ac);
// The ground speed the aircraft flies now, knots: its air path's, else its front situation's.
double gf_flownSpeedKt(const LiveAc& ac);
double lf_turnToNextLeg(const LiveAc& ac);
void lf_setBankStep(LiveAc& ac, double turn, int steps);
double lf_approachVs(const LiveAc& ac);
// Coming in to land: in landing mode, or descending (its records at 250 ft/min or steeper) within
// 1,000 ft of the ground near a field: a light aircraft's approach configuration begins lower than
// the feed may hold its last altitude.
bool lf_comingIn(const LiveAc& ac);
void lf_climbOut(LiveAc& ac);
void lf_flare(LiveAc& ac);

// The most an aircraft banks now, radians: its category's, but low over the ground no more than
// 15 degrees below 500 ft (easing down to it from 800 ft), its wings levelling below 150 ft to
// 2 degrees at 50 ft, and level in the flare.
double gf_bankLimit(const LiveAc& ac);
// The vertical speed of a 3-degree glide path at a ground speed, feet a minute (negative).
double gf_glidePathFpm(double speedKt);
// A descent (feet a minute) of an approach that no record gives: below 1,500 ft above the ground
// no steeper than the glide path at the speed, unless that would carry it past the middle of the
// field it flies straight at on a final: then steep enough to be down by then, up to two glide paths.
double lf_noSteeperThanGlidePath(const LiveAc& ac, double fpm, double speedKt);
// The lowest an aircraft in the air may be, feet, when it is far from where it comes down (its records'
// first report on the ground, else its field): 150 ft above the ground, so that it never touches
// down short of the field or away from it. None on the ground, for a helicopter, or near the field.
std::optional<double> gf_lowestInTheAir(LiveAc& ac);
// Per-category limits, radians (per cycle for the changes); std::out_of_range ("invalid
// unordered_map<K, T> key") for a category without one.
double gf_maxBank(int category);
double gf_maxBankChange(int category);
double gf_maxPitchChange(int category);
// How fast the category rolls in the air, radians a second.
double gf_rollRate(int category);

}  // namespace amb
