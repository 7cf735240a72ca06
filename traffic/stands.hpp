#pragma once
// Stands of live aircraft: claiming, driving onto, arriving at and leaving a stand.
// Defined in traffic/stands.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "core/geometry.hpp"
#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

#include <cstdint>
#include <string>

namespace amb {

// A curve from the current position that leaves along the nose and reaches `to` along the entry
// heading (its middle point is where the two lines meet); false where they do not meet ahead of both.
bool lf_startEntryCurve(LiveAc& ac, const LatLon& to, double entryHeading);

// The curve onto the stand, entering it along its heading; false where no such curve fits (the
// stand faces back the way the aircraft comes, or the aircraft is on the stand).
bool lf_startStandCurve(LiveAc& ac, const Stand& stand);

// The stand with the id; nullptr for 0 or none.
Stand* lf_standById(std::uint32_t id);

// A new aircraft with the callsign wants the stand on which `existing` may stand: clears `take`
// when the newcomer gives way, or removes `existing`.
void lf_sameStandTest(std::uint8_t& take, std::uint32_t standId, const std::string& callsign, LiveAc& existing);

// `parking` takes the stand `target`: `existing` on the adjacent stand goes when the wings could touch.
void lf_adjacentStandTest(std::uint32_t adjacentId, const LiveAc& parking, const Stand& target, LiveAc& existing);

// Claims a free stand near the last reported position and drives the aircraft onto it.
void try2Park(LiveAc& ac, bool wide);

// The drive from the last situation onto the stand: at the stand, then standing there.
void drive2Stand(LiveAc& ac, const Stand& stand);
void lf_arrivedAtStand(LiveAc& ac);
void lf_setCargoAtStand(LiveAc& ac);

// A new position of an aircraft at or driving to its stand; false drops it. The first position of
// its way out is kept and marks it as leaving.
bool lf_checkAtStand(LiveAc& ac, Situation& s);

// The aircraft starts to move away from its stand.
void lf_leaveStand(LiveAc& ac);
// Created standing at its stand and not moved off it since.
inline bool lf_createdAtStand(const LiveAc& ac) {
  return ac.phase == GroundPhase::Taxi && ac.previousPhase == GroundPhase::AtStand && ac.standId != 0;
}
void checkStandOrExcludedIsOccupiedByStaticAndRemove(LiveAc& ac, const Stand& stand);

}  // namespace amb
