// The per-aircraft update: when a live aircraft not yet in the simulator is spawned (with its
// livery and, on the ground, its stand), how one in the simulator is stepped and its position block
// queued, and how new data of a known aircraft enter its buffer.

#include "traffic/engine.hpp"
#include "traffic/air.hpp"
#include "traffic/air_path.hpp"
#include "traffic/ground.hpp"
#include "traffic/step.hpp"
#include "traffic/spawn.hpp"
#include "traffic/stands.hpp"
#include "traffic/identity.hpp"
#include "traffic/removals.hpp"

#include "records/upcalls.hpp"
#include "state/run_state.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace amb {

using namespace up::airports;
using namespace up::liveries;

namespace {

constexpr double kGroundPitch = 0.010471975511965976;  // 0.6 degrees, nose slightly down
constexpr double kMetresPerNm = 1852.0;
// The feet above the field a landed aircraft's records must climb to count as airborne again.
constexpr double kAirborneAgainFt = 300.0;
// A helicopter reported at this speed or slower may hover where the feed repeats its position (knots);
// reported faster, the repeat is the feed falling silent, as for an aeroplane.
constexpr double kHoverRepeatKt = 60.0;

bool lf_endsWithUnderscore(const std::string& s) { return !s.empty() && s.back() == '_'; }

// Drops an aircraft before its object is created; one removed to be created again where the feed
// has it says why it is not.
void lf_dropBeforeCreation(LiveAc& ac, const char* why) {
  ac.remove = 1;
  if (ac.recreated != 0) gf_logf("{}: not created again where the feed has it: {}", ac.description(), why);
}

LatLon lf_at(const Situation& s) { return {s.latitude, s.longitude}; }

void lf_logStreamEmpty(const char* function, const LiveAc& ac) {
  gf_logf("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}", function, ac.description(),
          ac.hexid, ac.objectId, ac.position.altitude,
          fmt::format("{:.6f},{:.6f}", ac.position.latitude, ac.position.longitude), ac.position.trueAirspeed);
}

// The user aircraft's way: an aircraft spawned there would appear right in front of the user.
bool lf_inUserWayAtSpawn(const LiveAc& ac) {
  const UserAcBlock& user = g_engineUserAc;
  const Situation& f = ac.situations.front();
  const LatLon u{user.latitude, user.longitude};
  const double d = gf_distanceNm(u, lf_at(f));
  const double angle = gf_angleDiff(user.heading, gf_bearingRad(u, lf_at(f)));
  const double feet = d * kFeetPerNm;
  if (f.airborne == 0) return d <= 1.5 && user.altAboveGround < 1000 && std::fabs(std::sin(angle)) * feet <= 500;
  return d <= 6 && std::fabs(f.altitude - user.altitude) < 3000 && std::fabs(std::cos(angle)) * feet <= 4000;
}

// A held-back aircraft comes free once it no longer lies in the user's way, is more than 500 m away,
// and one of the two moves (a standing pair stays as it is).
bool lf_heldBackReleased(const LiveAc& ac) {
  const UserAcBlock& user = g_engineUserAc;
  const Situation& f = ac.situations.front();
  const double metres = gf_distanceNm({user.latitude, user.longitude}, lf_at(f)) * kMetresPerNm;
  return !lf_inUserWayAtSpawn(ac) && metres > 500 && (user.groundSpeed > 8 || f.speed > 8);
}

// The airline, model and cargo flag of a new aircraft from the registration data base, asked by its
// registration (or its callsign when it has none); an airline callsign gives the airline when the
// data base has none; else a private aircraft.
void lf_identifyAirline(LiveAc& ac) {
  const std::string& code = ac.registration.empty() ? ac.callsign : ac.registration;
  if (const auto info = gf_findRegcodeInfo(code)) {
    ac.airline = info->airline;
    if (!info->type.empty()) ac.model = info->type;
    ac.cargo = info->cargo ? 1 : 0;
  }
  if (!ac.airline.empty()) return;
  const auto fromCallsign = gf_airlineFromCallsign(ac.callsign);
  ac.airline = (fromCallsign && gf_isIcaoAirline(*fromCallsign)) ? *fromCallsign : "PVT";
}

bool lf_takeStandAtSpawn(LiveAc& ac);

}  // namespace

double gf_pitchForVerticalSpeed(double v) {
  const double counted = v > 0 ? std::min(v, 2400.0) : std::max(-3000.0, v) * 0.5;
  return (-3.0 - counted / 600.0 * 2.2) * kDegToRad;
}

bool updateLiveAc(LiveAc& ac) {
  try {
    if (ac.state == ActState::New) {
      updateBufferAc(ac);
      return ac.remove != 0;
    }
    if (ac.state != ActState::InSim) return ac.remove != 0;
    if (lf_legEnds(ac)) {
      nextPosMain(ac);
      ac.position.verticalSpeed = ac.targetVerticalSpeed / 60.0;
      ac.position.trueAirspeed =
          (!ac.situations.empty() && ac.situations.front().noMovement != 0) ? 0.0 : ac.targetTrueAirspeed;
    }
    if (ac.state != ActState::InSim) return ac.remove != 0;
    if (lf_leavesFlyingOn(ac)) return ac.remove != 0;
    if (!ac.situations.empty() && ac.situations.front().noMovement == 0)
      lf_curveStep(ac);
    else
      lf_hoverTurn(ac);
    if (ac.objectId != 0) {
      gf_simPort().updateAircraft({ac.position, ac.objectId});
    } else {
      gf_logf("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc", ac.hexid, ac.callsign,
              ac.registration, ac.airlineModelText(), ac.situations.size());
      removeAircraftFromSim(ac);
    }
    if (ac.situations.empty()) {
      lf_logStreamEmpty("updateLiveAc", ac);
      removeAircraftFromSim(ac);
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {} {}, sz:{}", "updateLiveAc", e.what(), ac.description(), ac.situations.size());
  }
  return ac.remove != 0;
}

void updateBufferAc(LiveAc& ac) {
  try {
    if (ac.situations.empty()) {
      if (!lf_startFromHeldRecord(ac)) lf_dropBeforeCreation(ac, "no position left to create it at");
      return;
    }
    const Situation& f = ac.situations.front();
    const std::int32_t lead = (f.airborne == 0 && f.speed != 0) ? 300 : 100;
    if (g_engineCycle.load(std::memory_order_relaxed) < f.due - lead) return;
    // A single position is never shown; an aircraft coming back after a respawn has its own. One whose
    // later record waits to be confirmed starts again from that record.
    if (ac.situations.size() == 1 && !ac.respawnHeading) {
      if (!lf_startFromHeldRecord(ac)) lf_dropBeforeCreation(ac, "a single position is not shown");
      return;
    }
    if (lf_endsWithUnderscore(ac.callsign) && g_ghostCallsigns.count(ac.callsign) != 0) {
      lf_dropBeforeCreation(ac, "a ghost callsign");
      return;
    }
    if (!gf_simPort().userOnGround() && COLLISION_USER_AIR.value != 0) {
      if (ac.heldBack != 0 && lf_heldBackReleased(ac)) ac.heldBack = 0;
      if (ac.heldBack == 0 && lf_inUserWayAtSpawn(ac)) ac.heldBack = 1;
      if (ac.heldBack != 0) return;
      if (COLLISION_USER_GND.value != 0 &&
          gf_distanceNm({g_engineUserAc.latitude, g_engineUserAc.longitude}, lf_at(f)) <= 0.081)
        return;
    }
    // Every aircraft new in one feed snapshot falls due in the same cycle: the requests not yet built
    // wait as much as the built ones, or a burst would queue creations for most of a minute and put
    // aircraft into the simulator far behind their stream.
    if (g_spawnRequests.size() + g_pendingLiveCreations.size() >= 11 && ac.phase == GroundPhase::New) {
      ac.situations.pop_front();
      return;
    }
    const std::int32_t limit = g_maxLiveInUse.load();
    if (limit != -1) {
      const auto inSim =
          std::count_if(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& a) { return a.state == ActState::InSim; });
      if (static_cast<std::int64_t>(inSim + g_spawnRequests.size() + g_pendingLiveCreations.size()) >= limit &&
          lf_removeFarthestLive(gf_distanceNm({g_engineUserAc.latitude, g_engineUserAc.longitude}, lf_at(f)))) {
        lf_dropBeforeCreation(ac, "the limit of live aircraft");
        return;
      }
    }
    const std::string blocked = BLOCK_CALLSIGN.value();
    if (!blocked.empty() && ac.callsign == blocked) {
      lf_dropBeforeCreation(ac, "a blocked callsign");
      return;
    }
    if (ac.airline.empty()) lf_identifyAirline(ac);
    if (g_noMatchSet->count(ac.airlineModelText()) != 0) {
      lf_dropBeforeCreation(ac, "no livery of its airline and type");
      return;
    }
    if (lf_endsWithUnderscore(ac.callsign) && lf_hasCoupledCallsign(ac.callsign)) {
      lf_dropBeforeCreation(ac, "its callsign is coupled to another");
      return;
    }
    spawnLiveAc(ac);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "updateBufferAc", e.what());
  }
}

void spawnLiveAc(LiveAc& ac) {
  try {
    auto& buffer = ac.situations;
    if (buffer.size() < 2 && !ac.respawnHeading) {
      gf_logf("{} sz:{}", "spawnLiveAc", buffer.size());
      return;
    }
    if (buffer.size() >= 2) {
      if (buffer[1].noMovement != 0) {
        buffer[0].noMovement = 1;
        buffer[0].speed = 0;
        buffer[1].speed = 0;
        if (buffer.size() >= 3 && buffer[2].noMovement != 0) buffer[2].speed = 0;
      } else {
        buffer[0].noMovement = 0;
      }
    }
    if (ac.phase == GroundPhase::New && ac.liveryTitle.empty()) {
      auto known = g_hexidTitles.find(ac.hexid);
      if (known != g_hexidTitles.end() &&
          std::find(g_excludedTitles->begin(), g_excludedTitles->end(), known->second) != g_excludedTitles->end()) {
        g_hexidTitles.erase(known);
        known = g_hexidTitles.end();
      }
      if (known != g_hexidTitles.end()) {
        ac.liveryTitle = known->second;
      } else {
        lf_matchLivery(ac);
        if (!ac.liveryTitle.empty()) g_hexidTitles[ac.hexid] = ac.liveryTitle;
      }
      if (ac.liveryTitle.empty()) {
        g_noMatchSet->insert(ac.airlineModelText());
        lf_dropBeforeCreation(ac, "no livery of its airline and type");
        return;
      }
    }
    const Situation& f0 = buffer.front();
    if (f0.airborne != 0) {
      ac.setPhase(GroundPhase::Airborne);
    } else if (ac.phase == GroundPhase::New) {
      if (!lf_takeStandAtSpawn(ac)) {
        // Standing where no stand is: it waits until the feed has it move.
        if (ac.recreated == 1) {
          ac.recreated = 2;
          gf_logf("{}: not created again where the feed has it until it moves: it stands where no stand is",
                  ac.description());
        }
        return;
      }
      if (ac.remove != 0) return;             // no room at the stand
      if (ac.phase == GroundPhase::New) {
        if (buffer.size() < 2) return;
        // First seen taxiing: it counts as taxiing before, so that it may park at the end.
        ac.setPhase(GroundPhase::Taxi);
        ac.previousPhase = GroundPhase::Taxi;
      }
    }

    const Situation& f = buffer.front();
    AiPosBlock& p = ac.position;
    p.latitude = f.latitude;
    p.longitude = f.longitude;
    p.altitude = f.altitude;
    p.verticalSpeed = f.verticalSpeed / 60.0;
    p.trueAirspeed = f.trueAirspeed;
    const double maxBank = gf_maxBank(ac.category);
    p.bank = f.feedBankGiven != 0 ? std::clamp(f.feedBank, -maxBank, maxBank) : 0.0;
    p.pitch = f.airborne != 0 ? gf_pitchForVerticalSpeed(f.verticalSpeed) : kGroundPitch;
    double heading;
    if (ac.respawnHeading) {
      heading = *ac.respawnHeading;
    } else if (ac.previousPhase == GroundPhase::AtStand && ac.standId != 0) {
      heading = ac.heading;
    } else if (buffer.size() >= 2 && buffer[1].noMovement == 0) {
      heading = gf_bearingRad(lf_at(f), lf_at(buffer[1]));
    } else {
      heading = f.heading * kDegToRad;
    }
    p.heading = gf_normalisedRad(heading);
    ac.headingStep = 0;
    // A path in the air belongs to the object it was flown by (a respawn creates a new one).
    ac.airPath = AirPath{};
    if (f.airborne == 0) ac.bearingToNext = p.heading;

    ac.state = ActState::Creating;
    ac.heldBack = 0;
    g_spawnRequests.push_back(ac.hexid);
    g_newArrivals.push_back(ac.hexid);
    if (!lf_endsWithUnderscore(ac.callsign)) lf_checkGhost(ac.callsign);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "spawnLiveAc", e.what());
  }
}

namespace {

// The same airframe reported under a new address and callsign, standing where it stood as its last
// flight: the aircraft of that flight stands on a stand within 55 m of the place and gives it up
// (a stand holds one aircraft, and the newer report is the one that goes on).
void lf_sameAirframeGivesWay(const LiveAc& ac, const LatLon& place) {
  if (ac.registration.empty()) return;
  for (LiveAc& other : g_liveAcs) {
    if (&other == &ac || other.registration != ac.registration || other.state != ActState::InSim ||
        (other.phase != GroundPhase::AtStand && !lf_createdAtStand(other)))
      continue;
    Stand* held = lf_standById(other.standId);
    if (held == nullptr || gf_distanceNm(place, {held->lat, held->lon}) > 0.029697624190064796) continue;
    if (LOG.value != 0)
      gf_logf("{:8}: {:8} ac with same registration {} as {} wants it, remove existing ...", held->name, other.callsign,
              ac.registration, ac.callsign);
    removeAircraftFromSim(other);
    held->occupied = 0;
    other.standId = 0;
  }
}

// A ground start near the park airport takes a free stand under it; false when its stream shows it
// standing where no stand is (the front is dropped and it waits for the stream to move). One found
// at its stand is created there, ready to taxi off it.
bool lf_takeStandAtSpawn(LiveAc& ac) {
  if (g_stands->empty()) return true;
  const AirportData park = gf_parkAirportSnapshot();
  auto& buffer = ac.situations;
  if (park.code.empty() || gf_distanceNm(lf_at(buffer.front()), {park.lat, park.lon}) > 5) return true;
  LatLon place = lf_at(buffer.front());
  if (buffer.front().noMovement == 0 && buffer.size() >= 2 && buffer[1].speed <= 5 &&
      gf_distanceNm(lf_at(buffer.back()), place) <= 0.018898)
    place = lf_at(buffer.back());
  lf_sameAirframeGivesWay(ac, place);
  const auto found = gf_findStandForAct(place.lat, place.lon, ac, 0.029697624190064796, true);
  if (found == g_stands->end()) {
    if (buffer.size() < 2 || buffer[1].noMovement == 0) return true;
    buffer.pop_front();
    return false;
  }
  const Stand stand = *found;
  // An aircraft already there, or its ghost, may keep the stand; then this one is not shown.
  std::uint8_t take = 1;
  for (std::size_t i = 0; i < g_liveAcs.size(); ++i)
    if (&g_liveAcs[i] != &ac) lf_sameStandTest(take, stand.id, ac.callsign, g_liveAcs[i]);
  for (const LiveAc& other : g_liveAcs) {
    if (&other == &ac || other.state == ActState::Removing || other.callsign == ac.callsign) continue;
    const bool onNeighbour =
        std::find(stand.overlapIds.begin(), stand.overlapIds.end(), other.standId) != stand.overlapIds.end() &&
        (other.phase == GroundPhase::AtStand || other.phase == GroundPhase::LeavingStand);
    if (onNeighbour) take = 0;
  }
  if (take == 0) {
    ac.remove = 1;
    return true;
  }
  checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, stand);
  Stand* taken = lf_standById(stand.id);
  if (taken == nullptr) return true;
  ac.latitude = taken->lat;
  ac.longitude = taken->lon;
  ac.heading = taken->heading;
  ac.standId = taken->id;
  ac.cabinLightOff = taken->cargo;
  ac.setPhase(GroundPhase::AtStand);
  taken->occupied = 1;
  ac.standArrivalTicks = gf_steadyTicks();
  ac.standStartDistance = -1;
  ac.standMoves = 0;
  buffer.resize(1);
  buffer.front().latitude = taken->lat;
  buffer.front().longitude = taken->lon;
  buffer.front().heading = taken->heading * kRadToDeg;
  buffer.front().noMovement = 1;
  buffer.front().speed = 0;
  const WeekSlot slot = gf_weekSlotNow();
  lf_addRealParkPosOption(taken->id, ac, true, slot, true);
  lf_checkMaxPark(1);
  ac.setPhase(GroundPhase::Taxi);
  return true;
}

}  // namespace

// ---- New data of a known aircraft ----

void decodeExisting(LiveAc& ac, Situation s) {
  try {
    auto& buffer = ac.situations;
    if (buffer.size() > 200) {
      removeAircraftFromSim(ac);
      return;
    }
    if (ac.waiting != 0 && !buffer.empty() &&
        gf_distanceNm(lf_at(s), lf_at(buffer.front())) * kMetresPerNm > HOLDING_THRESHOLD_METERS.value) {
      // It ends the wait where the aircraft stands, and starts its next life where the feed has it.
      ac.waiting = 0;
      lf_restartFrom(ac, s);
      return;
    }
    if ((ac.phase == GroundPhase::ToStand || ac.phase == GroundPhase::AtStand) && !lf_checkAtStand(ac, s)) return;
    if (lf_createdAtStand(ac)) {
      // Created at its stand: it stands there still while reported near it and not moving away. A
      // standing aircraft's reported position lies some metres off the stand's point and jumps by
      // the feed's rounding, so one report away is not yet a departure: the next must be away too.
      const bool away = lf_checkAtStand(ac, s);
      if (ac.state == ActState::Removing) return;
      const Stand* stand = lf_standById(ac.standId);
      if (stand != nullptr && (!away || ac.standAwayOnce == 0)) {
        ac.standAwayOnce = away ? 1 : 0;
        s.latitude = stand->lat;
        s.longitude = stand->lon;
        s.speed = 0;
        s.noMovement = 1;
      }
    }
    if (buffer.empty()) {
      buffer.push_back(s);
      return;
    }
    if (!checkNewSituation(ac, s)) return;
    const bool reportedAirborne = s.airborne != 0;
    lf_holdOnGroundAfterTouchdown(ac, s);
    const bool farOff = gf_distanceNm({ac.position.latitude, ac.position.longitude}, lf_at(s)) * kMetresPerNm >
                        HOLDING_THRESHOLD_METERS.value;
    if ((ac.landed != 0 || ac.touchdownField) && lf_behindOnGround(ac, s)) {
      // A landed aircraft is never driven back up the runway to an airborne record behind it: the
      // feed is only late with the landing the aircraft has flown.
      if (reportedAirborne) return;
      // The feed has it on the ground far behind where it rolled out (it touched down or turned off
      // elsewhere): it is created again there rather than driven back along the runway.
      if (farOff) {
        lf_restartFrom(ac, s);
        return;
      }
    }
    // Still coming in to land while the feed already has it on the ground far off its way (it
    // landed and turned off while the feed repeated its last point in the air): created again there.
    if (ac.landingMode != 0 && ac.landed == 0 && ac.movesOnGround == 0 && ac.state == ActState::InSim &&
        !reportedAirborne && farOff && lf_offCourse(ac, s, kPi / 2)) {
      lf_restartFrom(ac, s);
      return;
    }
    // Flaring on synthetic legs (the feed repeated the approach's last point), the aircraft touches
    // down where they take it; a report of the way the approach really went follows that landing
    // rather than turning the flare aside, or being lost.
    const bool flaringOnSynthetic = ac.flareStage != 0 && ac.landingMode != 0 && ac.landed == 0 &&
                                    ac.extensionCount > 0 && buffer.size() == 1;
    const std::int32_t syntheticDue = buffer.front().due;
    if ((ac.extensionCount > 0 || ac.waiting != 0) && !checkExtendingSituations(ac, s)) return;
    if (flaringOnSynthetic) {
      buffer.front().due = syntheticDue;
    } else if ((ac.landingMode != 0 || ac.landed != 0) && !checkNewPosDuringLanding(ac, s)) {
      return;
    }
    if (buffer.empty()) {
      buffer.push_back(s);
      return;
    }
    checkStops(ac, s);
    if (s.due <= buffer.back().due) s.due = buffer.back().due + 1;
    // Take-off: not while a landed aircraft waits for the feed to have it on the ground.
    if (ac.state == ActState::InSim && ac.movesOnGround != 0 && ac.takeOffPending == 0 && !ac.touchdownField) {
      const Situation& last = buffer.back();
      if (ac.landed != 0 && last.airborne != 0 && s.airborne != 0) {
        // A touch-and-go: in the air again after the feed had it on the ground (or climbing away).
        ac.setPhase(GroundPhase::Taxi);
        ac.takeOffPending = 1;
        ac.landingMode = 0;
        ac.arrivedByLanding = 0;
        ac.goAroundMark = 0;
        lf_setThrottle(ac, 3);
        if (ac.category != Rotorcraft) lf_queueEvent(ac, EVT_SPOILERS_SET, 16383);
        lf_setFlaps(ac, 1);
        lf_setLights(ac, 1, 1, 1, 1, 1, 1, 0);
        lf_wideWindows(ac);  // 5000 late: the take-off is pending
      } else if (ac.phase == GroundPhase::Taxi && ac.landed == 0 &&
                 (s.airborne != 0 || (s.speed >= 43 && last.speed >= 43))) {
        // Taxiing, not rolling out: a landed aircraft takes off again only by a touch-and-go.
        lf_takeOffConfig(ac);
      }
    }
    if (s.noMovement == 0 && lf_createdAtStand(ac)) {
      // Created at its stand and now moving off it: the stand is free for others, and a later
      // removal of this aircraft must not free it under the next one.
      if (Stand* stand = lf_standById(ac.standId)) stand->occupied = 0;
      ac.standId = 0;
    }
    buffer.push_back(s);
  } catch (const std::exception& e) {
    gf_logf("{} exception {}", "decodeExisting", e.what());
  }
}

bool lf_offCourse(const LiveAc& ac, const Situation& s, double limit) {
  const LatLon from = lf_at(ac.situations.back());
  return std::fabs(gf_angleDiff(gf_bearingRad(from, lf_at(s)), ac.position.heading)) >= limit;
}

void lf_restartFrom(LiveAc& ac, const Situation& s) {
  ac.restartFrom = LiveAc::RestartRecord{s, ac.lastDataTime};
  removeAircraftFromSim(ac);
}

bool lf_behindOnGround(const LiveAc& ac, const Situation& s) {
  if (ac.state != ActState::InSim || ac.movesOnGround == 0) return false;
  const LatLon here{ac.position.latitude, ac.position.longitude};
  return gf_distanceNm(here, lf_at(s)) * kMetresPerNm > 1 &&
         std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(here, lf_at(s)))) >= kPi / 2;
}

bool lf_holdOnGroundAfterTouchdown(LiveAc& ac, Situation& s, bool beforeTouchdown) {
  if (!ac.touchdownField) return false;
  const bool climbs =
      !beforeTouchdown && s.altitude >= *ac.touchdownField + kAirborneAgainFt && s.altitude > ac.touchdownCeiling;
  if (s.airborne == 0 || climbs) {
    ac.touchdownField.reset();
    return false;
  }
  ac.touchdownCeiling = std::max(ac.touchdownCeiling, s.altitude);
  s.heldOnGround = 1;
  s.airborne = 0;
  s.altitude = 0;
  s.verticalSpeed = 0;
  return true;
}

bool checkNewSituation(LiveAc& ac, Situation& s) {
  const Situation& last = ac.situations.back();
  const bool exact = s.latitude == last.latitude && s.longitude == last.longitude;
  if (exact) s.noMovement = 1;
  if (ac.category == Rotorcraft && (!exact || s.speed <= kHoverRepeatKt)) return true;
  const bool offGround = s.airborne != 0 || (ac.state == ActState::InSim && ac.movesOnGround == 0);
  if (std::fabs(s.latitude - last.latitude) > 0.00015 || std::fabs(s.longitude - last.longitude) > 0.00015)
    return true;
  if (offGround) return false;
  if (ac.takeOffPending != 0 && s.speed > 0 && last.speed >= (exact ? 30 : 50)) return false;
  if (!exact) {
    s.latitude = last.latitude;
    s.longitude = last.longitude;
    s.noMovement = 1;
  }
  s.speed = 0;
  return true;
}

bool checkExtendingSituations(LiveAc& ac, const Situation& s) {
  // The feed repeating the position it last reported tells nothing new: the synthetic legs go on.
  // Any other record the intake took is where the aircraft is: it turns to it at once.
  if (ac.movesOnGround == 0 && s.latitude == ac.lastRecordLatitude && s.longitude == ac.lastRecordLongitude)
    return false;
  ac.extensionCount = 0;
  lf_wideWindows(ac);
  ac.situations.front().due = g_engineCycle.load(std::memory_order_relaxed) + 1;
  ac.waiting = 0;
  return true;
}

bool checkNewPosDuringLanding(LiveAc& ac, const Situation& s) {
  auto& buffer = ac.situations;
  const auto offCourse = [&](double limitDeg) {
    const double course = gf_bearingRad(lf_at(buffer.back()), lf_at(s));
    return std::fabs(gf_angleDiff(course, ac.position.heading)) >= limitDeg * kDegToRad;
  };
  if (s.latitude == buffer.back().latitude && s.longitude == buffer.back().longitude) return false;
  // Still in the air, a record the intake took is where the aircraft went: coming in to land it may
  // turn onto base or final well off its nose, or the feed may have it elsewhere after a silence the
  // aircraft flew on through. The air path turns to it, and never back to a point it has passed.
  if (ac.landed == 0 && s.airborne != 0) return true;
  if (buffer.size() >= 2) {
    if (offCourse(90)) {
      buffer.pop_back();
      if (buffer.size() >= 2 && offCourse(90)) buffer.pop_back();
    }
    return true;
  }
  if (ac.landingMode != 0) return !offCourse(90);
  if (offCourse(150) && ac.extensionCount < 1) {
    Situation here = buffer.front();
    here.latitude = ac.position.latitude;
    here.longitude = ac.position.longitude;
    here.due = g_engineCycle.load(std::memory_order_relaxed) + 1;
    buffer.assign(1, here);
  }
  return true;
}

void checkStops(LiveAc& ac, const Situation& s) {
  try {
    auto& buffer = ac.situations;
    if (s.noMovement != 0 || buffer.back().noMovement == 0) return;
    std::size_t run = 0;
    while (run < buffer.size() && buffer[buffer.size() - 1 - run].noMovement != 0) ++run;
    if (run < 2 || run > 6) return;
    const std::size_t first = buffer.size() - run;
    const std::int32_t lasted = buffer.back().due - buffer[first].due;
    if (lasted < 15 * kCyclesPerSecond || gf_distanceNm(lf_at(s), lf_at(buffer[first])) <= 0.011879)
      buffer.erase(buffer.begin() + static_cast<std::ptrdiff_t>(first + 1), buffer.end());
  } catch (const std::exception& e) {
    gf_logf("{}: num:{} {}", "checkStops", ac.situations.size(), e.what());
  }
}

}  // namespace amb
