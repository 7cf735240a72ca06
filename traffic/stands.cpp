// Live aircraft and their stands: which aircraft gives way when two want one stand (the same
// flight seen twice, a ghost, aircraft at adjacent stands whose wings could touch), the claim of a
// stand at the end of a taxi stream and the drive onto it, the arrival there, and the new positions
// of an aircraft at its stand that tell it stays or leaves.

#include "traffic/engine.hpp"
#include "traffic/ground.hpp"
#include "traffic/step.hpp"
#include "traffic/stands.hpp"
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

namespace {

constexpr double kStandCheckNm = 0.0459;      // 85 m: positions this near belong to the stand
constexpr double kStandRemoveNm = 0.108;      // 200 m: a jump this far from the stand is another aircraft
constexpr double kStandMoveNm = 0.00162;      // 3 m: a position counts as a move away from or toward it
constexpr double kArrivedNm = 0.00108;        // 2 m: the aircraft is on its stand
constexpr std::int64_t kTicksPerCycle = 100000;  // the stand arrival ticks count 100 ns
constexpr double kHairpinRad = 120 * kDegToRad;
constexpr double kStraightInRad = 45 * kDegToRad;  // a straight way onto the stand keeps nose and path this close   // a stand facing back this much is entered after turning round

LatLon lf_at(const Situation& s) { return {s.latitude, s.longitude}; }
LatLon lf_here(const LiveAc& ac) { return {ac.position.latitude, ac.position.longitude}; }
std::int32_t lf_now() { return g_engineCycle.load(std::memory_order_relaxed); }

std::string lf_lessLast(const std::string& s) { return s.empty() ? s : s.substr(0, s.size() - 1); }
bool lf_endsWithUnderscore(const std::string& s) { return !s.empty() && s.back() == '_'; }

// The shortest stay after a landing below which leaving the stand is a tow, in engine cycles.
std::int64_t lf_towedBelowCycles(int category) {
  switch (category) {
    case Heavy:
      return 360000;
    case Large:
      return 150000;
    case Buzjets:
      return 90000;
    default:
      return 0;
  }
}

}  // namespace

Stand* lf_standById(std::uint32_t id) {
  if (id == 0) return nullptr;
  for (Stand& s : *g_stands)
    if (s.id == id) return &s;
  return nullptr;
}

// ---- Who gives way ----

void lf_sameStandTest(std::uint8_t& take, std::uint32_t standId, const std::string& callsign, LiveAc& existing) {
  if (existing.standId != standId || existing.state != ActState::InSim) return;
  if (existing.phase != GroundPhase::AtStand && existing.phase != GroundPhase::LeavingStand &&
      existing.phase != GroundPhase::EnginesStarted)
    return;
  const std::string standName = gf_standName(standId);
  if (existing.callsign == callsign) {
    // The same flight seen under a new address: the old one goes.
    if (LOG.value != 0)
      gf_logf("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", standName, existing.callsign,
              callsign);
    removeAircraftFromSim(existing);
    return;
  }
  if (lf_lessLast(callsign) == existing.callsign) {
    take = 0;  // the newcomer is the ghost of the one standing there
  } else if (lf_lessLast(existing.callsign) == callsign) {
    if (LOG.value != 0) gf_logf("{:8}: {:8} ghost, replace by {}", standName, existing.callsign, callsign);
    removeAircraftFromSim(existing);
  } else if (!lf_endsWithUnderscore(existing.callsign) && lf_endsWithUnderscore(callsign)) {
    take = 0;
  } else if (existing.checkedAtStand != 0) {
    take = 0;  // the feed still reports it there
  } else {
    if (LOG.value != 0)
      gf_logf("{:8}: {:8} removed because another live {} wants the stand ...", standName, existing.callsign,
              callsign);
    removeAircraftFromSim(existing);
  }
}

void lf_adjacentStandTest(std::uint32_t adjacentId, const LiveAc& parking, const Stand& target, LiveAc& existing) {
  if (existing.standId != adjacentId || existing.state != ActState::InSim) return;
  if (existing.phase != GroundPhase::AtStand && existing.phase != GroundPhase::LeavingStand) return;
  const Stand* adjacent = lf_standById(adjacentId);
  if (adjacent == nullptr || (adjacent->lat == 0 && adjacent->lon == 0)) return;
  const double d = gf_distanceNm({target.lat, target.lon}, {adjacent->lat, adjacent->lon});
  if (1.1 * (gf_halfWingspan(existing.model) + gf_halfWingspan(parking.model)) < d) return;
  if (LOG.value != 0)
    gf_logf("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}", adjacent->name,
            existing.callsign, parking.callsign, target.name);
  removeAircraftFromSim(existing);
}

void checkStandOrExcludedIsOccupiedByStaticAndRemove(LiveAc& ac, const Stand& stand) {
  for (Act& parked : g_parkedActs) {
    // One on its way out already leaves the stand; the next one parked there decides.
    if (parked.standId != stand.id || parked.state == ActState::Removing) continue;
    const bool twin = parked.callsign == ac.callsign && parked.registration == ac.registration;
    if (parked.state == ActState::InSim) {
      gf_logf("{:8}: {:8} {} makes way for{} {} {}", stand.name, parked.callsign, parked.airlineModelText(),
              twin ? " the same live version" : "", ac.callsign, ac.airlineModelText());
      removeAircraftFromSim(parked);
    } else if (parked.state == ActState::Creating || parked.state == ActState::New) {
      // A creation already with the simulator cannot be taken back: that one goes as soon as its
      // object exists.
      if (parked.state == ActState::Creating)
        removeAircraftFromSim(parked);
      else if (lf_removePendingCreation(g_pendingParkedCreations, parked.callsign))
        parked.eraseNow = 1;
      gf_logf("queued {:8}: {:8} {} makes way for{} {} {}", stand.name, parked.callsign, parked.airlineModelText(),
              twin ? " the same live version" : "", ac.callsign, ac.airlineModelText());
    }
    break;
  }
  std::erase_if(g_parkedActs, [](const Act& a) { return a.eraseNow != 0; });
  for (std::uint32_t excluded : stand.overlapIds) {
    for (LiveAc& other : g_liveAcs) {
      if (&other == &ac || other.state != ActState::InSim || other.standId != excluded ||
          other.phase != GroundPhase::AtStand)
        continue;
      const double d =
          gf_distanceNm({other.position.latitude, other.position.longitude}, {stand.lat, stand.lon});
      if (d <= 1.1 * (gf_halfWingspan(other.model) + gf_halfWingspan(ac.model))) {
        gf_logf("{:8}: {:8} removed by {} parking at adjacent stand {}", gf_standName(excluded), other.callsign,
                ac.callsign, stand.name);
        removeAircraftFromSim(other);
      }
    }
  }
}

// ---- The claim at the end of a taxi stream ----

void try2Park(LiveAc& ac, bool wide) {
  try {
    auto& buffer = ac.situations;
    if (buffer.empty()) {
      gf_logMarked(fmt::format("{} empty sz?", "try2Park"));
      return;
    }
    const Situation& last = buffer.back();
    // Each position is tried once.
    if (last.latitude == ac.lastParkTryLatitude && last.longitude == ac.lastParkTryLongitude) return;
    ac.lastParkTryLatitude = last.latitude;
    ac.lastParkTryLongitude = last.longitude;
    const auto found = gf_findStandForAct(last.latitude, last.longitude, ac,
                                          wide ? 0.029697624190064796 : 0.010799136069114472, wide);
    if (found == g_stands->end()) return;
    const Stand stand = *found;
    if (stand.name == gf_reservedStandName() ||
        stand.name == gf_standNameAt(g_engineUserAc.latitude, g_engineUserAc.longitude))
      return;
    for (LiveAc& other : g_liveAcs)
      if (&other != &ac && other.state == ActState::InSim && other.phase == GroundPhase::AtStand &&
          other.standId == stand.id) {
        if (LOG.value != 0)
          gf_logf("{:8}: {:8} removed, {} wants to park there", stand.name, other.callsign, ac.callsign);
        removeAircraftFromSim(other);
        break;
      }
    for (std::uint32_t adjacent : stand.overlapIds)
      for (LiveAc& other : g_liveAcs)
        if (&other != &ac) lf_adjacentStandTest(adjacent, ac, stand, other);
    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, stand);
    ac.latitude = stand.lat;
    ac.longitude = stand.lon;
    ac.heading = stand.heading;
    ac.standId = stand.id;
    ac.cabinLightOff = stand.cargo;
    buffer.resize(1);
    ac.setPhase(GroundPhase::ToStand);
    drive2Stand(ac, stand);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "try2Park", e.what());
  }
}

bool lf_startEntryCurve(LiveAc& ac, const LatLon& to, double entryHeading) {
  const LatLon here = lf_here(ac);
  const double chord = gf_distanceNm(here, to);
  if (chord * 1852.0 < 1) return false;
  const double h0 = ac.position.heading;
  const double hs = entryHeading;
  if (std::fabs(gf_angleDiff(h0, hs)) > kHairpinRad) return false;
  // Metres north and east of the current position.
  const double course = gf_bearingRad(here, to);
  const double n2 = chord * std::cos(course), e2 = chord * std::sin(course);
  const double det = std::cos(h0) * std::sin(hs) - std::sin(h0) * std::cos(hs);
  if (std::fabs(det) <= 1e-3) return false;
  const double t = (n2 * std::sin(hs) - e2 * std::cos(hs)) / det;
  const double s = (std::cos(h0) * e2 - std::sin(h0) * n2) / det;
  if (!(t > 0.2 * chord && s > 0.2 * chord && t < 3 * chord && s < 3 * chord)) return false;
  lf_setCurveThrough(ac, gf_destinationPoint(here, h0, t * kFeetPerNm), to);
  ac.curveAngle = std::fabs(gf_angleDiff(h0, hs)) * kRadToDeg;
  return true;
}

bool lf_startStandCurve(LiveAc& ac, const Stand& stand) {
  const LatLon to{stand.lat, stand.lon};
  if (lf_startEntryCurve(ac, to, stand.heading)) return true;
  if (std::fabs(gf_angleDiff(ac.position.heading, stand.heading)) > kHairpinRad) return false;
  // A way in near both the nose and the stand's heading is driven straight, the nose coming round.
  const double course = gf_bearingRad(lf_here(ac), to);
  if (std::fabs(gf_angleDiff(course, stand.heading)) <= kStraightInRad &&
      std::fabs(gf_angleDiff(course, ac.position.heading)) <= kStraightInRad)
    return false;
  if (gf_distanceNm(lf_here(ac), to) * 1852.0 < 1 ||
      std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(lf_here(ac), to))) * kRadToDeg <= 10)
    return false;
  return lf_startLeadInCurve(ac, to);
}

void drive2Stand(LiveAc& ac, const Stand& stand) {
  try {
    auto& buffer = ac.situations;
    if (buffer.empty()) {
      gf_logf("{} empty sz?", "drive2Stand");
      return;
    }
    const double speed = std::max(ac.pushBackSpeed(), 1.0);
    Situation at = buffer.back();
    const double d = gf_distanceNm(lf_at(at), {stand.lat, stand.lon});
    at.noMovement = (at.latitude == stand.lat && at.longitude == stand.lon) ? 1 : 0;
    at.latitude = stand.lat;
    at.longitude = stand.lon;
    at.feedBank = ac.position.bank;
    at.feedBankGiven = 1;
    at.altitude = ac.position.altitude;
    at.speed = speed;
    at.trueAirspeed = speed;
    at.heading = stand.heading * kRadToDeg;
    at.verticalSpeed = 0;
    at.airborne = 0;
    at.due = buffer.front().due +
             std::max(100, static_cast<std::int32_t>(std::round(d * kCyclesPerNmAtOneKnot / speed)));
    Situation stop = at;
    stop.speed = 0;
    stop.trueAirspeed = 0;
    stop.noMovement = 1;
    stop.due = at.due + 50;
    buffer.push_back(at);
    buffer.push_back(stop);
    ac.bearingToNext = stand.heading;
    // The nose comes round to the stand's heading on the way there: on a curve that leaves along the
    // nose and enters the stand along its heading where the two lines meet, else along the nose.
    ac.curve.clear();
    ac.remainingTurn = std::fabs(gf_angleDiff(ac.position.heading, stand.heading)) * kRadToDeg;
    ac.turning = ac.remainingTurn > 3 ? 1 : 0;
    const LatLon standAt{stand.lat, stand.lon};
    const double offNose = std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(lf_here(ac), standAt)));
    const double metres = gf_distanceNm(lf_here(ac), standAt) * 1852.0;
    if (at.noMovement == 0 && buffer.size() == 3 && metres > 1) {
      if (offNose >= kPi / 2 && metres <= 60 && std::fabs(gf_angleDiff(ac.position.heading, stand.heading)) <= kPi / 4) {
        // It stopped a little past the stand, facing its way: it backs onto it, the nose coming round
        // to the stand's heading on the way.
        ac.backing = 1;
      } else if (offNose >= kPi / 2 || std::fabs(gf_angleDiff(ac.position.heading, stand.heading)) > kHairpinRad) {
        // The stand lies behind it, or faces back the way it comes: it turns round beside it first.
        lf_insertTurnRound(ac);
        if (lf_startLeadInCurve(ac, lf_at(buffer[1]))) {
          ac.turning = 0;
          ac.remainingTurn = 0;
        }
      } else if (lf_startStandCurve(ac, stand)) {
        ac.turning = 0;
        ac.remainingTurn = 0;
      }
    }
    if (ac.extensionCount > 0) {
      ac.extensionCount = 0;
      lf_wideWindows(ac);
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "drive2Stand", e.what());
  }
}

void lf_setCargoAtStand(LiveAc& ac) {
  Stand* stand = lf_standById(ac.standId);
  if (stand == nullptr || ac.cargo == 0 || stand->cargo != 0) return;
  stand->cargo = 1;
  ac.cabinLightOff = 1;
  gf_logf("{} stand: {}, cargo attribute set to true, {} parked here", gf_parkAirportSnapshot().code, stand->name,
          ac.callsign);
}

void lf_arrivedAtStand(LiveAc& ac) {
  try {
    Stand* stand = lf_standById(ac.standId);
    if (stand == nullptr) {
      ac.setPhase(GroundPhase::Taxi);
      return;
    }
    if (stand->occupied != 0) {
      // Another aircraft took it first.
      ac.extensionCount = 1;
      removeAircraftFromSim(ac);
      return;
    }
    if (gf_distanceNm(lf_here(ac), {stand->lat, stand->lon}) > kArrivedNm) {
      ac.setPhase(GroundPhase::Taxi);
      return;
    }
    ac.setPhase(GroundPhase::AtStand);
    stand->occupied = 1;
    const WeekSlot slot = gf_weekSlotNow();
    ac.weekDay = slot.weekday;
    ac.halfHourSlot = slot.halfHour;
    if (ac.towed != 0) gf_logf("          towed aircraft {} parks", ac.callsign);
    if (!ac.situations.empty()) ac.situations.front().noMovement = 1;
    ac.standArrivalTicks = gf_steadyTicks();
    ac.standStartDistance = -1;
    ac.standMoves = 0;
    ac.pullOutPending = 0;
    lf_setCargoAtStand(ac);
    lf_shutDownParkedAc(ac);
    gf_logf("{:8}: {:8} arrived at stand", stand->name, ac.callsign);
    g_newArrivals.push_back(ac.hexid);
    if (lf_addRealParkPosOption(stand->id, ac, false, slot, false)) lf_checkMaxPark(0);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_arrivedAtStand", e.what());
  }
}

// ---- New positions of an aircraft at its stand ----

void lf_leaveStand(LiveAc& ac) {
  Stand* stand = lf_standById(ac.standId);
  if (ac.extensionCount > 0 && ac.arrivedByLanding != 0 && ac.standArrivalTicks != 0) {
    // It landed, parked and its stream ended there; moving again so soon is a tow, not a departure.
    const std::int64_t stayed = (gf_steadyTicks() - ac.standArrivalTicks) / kTicksPerCycle;
    if (stayed < lf_towedBelowCycles(ac.category)) ac.towed = 1;
  }
  if (!ac.situations.empty()) ac.situations.front().due = lf_now() + 1;
  ac.extensionCount = 0;
  lf_wideWindows(ac);
  if (stand != nullptr) {
    lf_addRealParkPosOption(stand->id, ac, false, gf_weekSlotNow(), false);
    stand->occupied = 0;
  }
}

bool lf_checkAtStand(LiveAc& ac, Situation& s) {
  const Stand* stand = lf_standById(ac.standId);
  if (stand == nullptr) return true;
  ac.checkedAtStand = 1;
  const LatLon standAt{stand->lat, stand->lon};
  const double radius = ac.previousPhase == GroundPhase::ToStand ? 2 * kStandCheckNm : kStandCheckNm;
  const double d = gf_distanceNm(lf_at(s), standAt);
  bool away = true;
  if (d <= radius) {
    ac.standArrivalTicks = gf_steadyTicks();
    if (ac.standStartDistance < 0) {
      ac.standStartDistance = ac.standDistance = d;
      return false;
    }
    away = false;
    if (d >= ac.standDistance + kStandMoveNm) {
      ++ac.standMoves;
      ac.standDistance = d;
      const double moved = d - ac.standStartDistance;
      away = moved > ac.halfWingspan || (ac.standMoves >= 3 && moved >= ac.halfWingspan / 2);
    } else if (d <= ac.standDistance - kStandMoveNm) {
      ac.standMoves = 0;
    }
    if (!away) return false;
  }
  if (ac.phase == GroundPhase::ToStand) {
    // The stream goes on elsewhere: it taxis there instead.
    ac.setPhase(GroundPhase::Taxi);
    return true;
  }
  if (d > kStandRemoveNm && ac.state == ActState::InSim) {
    removeAircraftFromSim(ac);
    return false;
  }
  if (ac.phase != GroundPhase::AtStand || ac.pullOutPending != 0) return true;
  // The first position of its way out is kept: the stand is left, and the next leg plans the pull-out
  // or the push-back; the position is also kept for the push-back's end.
  // The stay's synthetic wait, due days ahead, ends here: the stream goes on from the stand.
  if (ac.extensionCount > 0 && !ac.situations.empty()) {
    ac.situations.resize(1);
    ac.situations.front().due = std::min(ac.situations.front().due, lf_now() + 1);
  }
  ac.savedSituation = s;
  ac.savedSituation.noMovement = 0;
  ac.pullOutPending = 1;
  ac.curvedPushBack = STRAIGHT_PBS_ONLY.value != 0 ? 0 : 1;
  const double turn = std::fabs(gf_angleDiff(stand->heading, gf_bearingRad(standAt, lf_at(s))));
  ac.replaceAfterPushBack = turn >= kPi / 2 ? 1 : 0;
  lf_leaveStand(ac);
  return true;
}

}  // namespace amb
