// Ground movement: the legs of an aircraft that moves on the ground (taxi, roll-out, the take-off
// roll's start), the end of a stream (waiting, stand, synthetic extensions in the air and on the
// ground) and the stand an aircraft claims and drives to. Taxi legs are straight; the aircraft turns
// toward each new leg at its own rate.

#include "traffic/engine.hpp"

#include "app/run_state.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "refdata/queries.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace amb {

namespace {

constexpr std::array<double, 6> kTakeOffSpeedKt{90, 110, 140, 150, 220, 0};
constexpr double kMetresPerNm = 1852.0;

LatLon lf_at(const Situation& s) { return {s.latitude, s.longitude}; }
LatLon lf_here(const LiveAc& ac) { return {ac.position.latitude, ac.position.longitude}; }
std::int32_t lf_now() { return g_engineCycle.load(std::memory_order_relaxed); }

void lf_shrinkWindows(LiveAc& ac) {
  if (ac.earlyWindow > 1000) ac.earlyWindow = std::max(1000, ac.earlyWindow - 100);
  if (ac.lateWindow > 1000) ac.lateWindow = std::max(1000, ac.lateWindow - 100);
}

void lf_wideWindows(LiveAc& ac) {
  ac.earlyWindow = 3000;
  ac.lateWindow = ac.takeOffPending != 0 ? 5000 : 3000;
}

// Holds a recomputed due time within the windows around the stamped one while no extension runs.
std::int32_t lf_holdDue(const LiveAc& ac, std::int32_t due, std::int32_t stamped) {
  if (ac.extensionCount < 1) due = std::clamp(due, stamped - ac.earlyWindow, stamped + ac.lateWindow);
  return std::max(due, lf_now());
}

void lf_setControlsToZero(LiveAc& ac) {
  if (ac.category != Light) gf_simPort().setControls(ac.objectId, AiControlsBlock{});
}

bool lf_categoryAllowsExtensions(int category) {
  switch (category) {
    case Light:
      return LIGHT_AIRCRAFT.value != 0;
    case HighPerf:
      return HIGH_PERF_AIRCRAFT.value != 0;
    case Rotorcraft:
      return HELICOPTERS.value != 0;
    default:
      return true;
  }
}

Stand* lf_standById(std::uint32_t id) {
  if (id == 0) return nullptr;
  for (Stand& s : g_stands)
    if (s.id == id) return &s;
  return nullptr;
}

}  // namespace

double gf_takeOffSpeed(int category) {
  return category >= 0 && category <= 5 ? kTakeOffSpeedKt[static_cast<std::size_t>(category)] : 0.0;
}

void nextPosGround(LiveAc& ac) {
  try {
    if (ac.situations.empty()) {
      gf_logf("{} empty sz?", "nextPosGround");
      return;
    }
    switch (ac.phase) {
      case GroundPhase::LeavingStand:
      case GroundPhase::EnginesStarted:
        break;
      case GroundPhase::AtStand:
        lf_wideWindows(ac);
        if (ac.pullOutPending != 0) {
          // Out of the stand toward the stream's next position.
          ac.pullOutPending = 0;
          ac.extensionCount = 0;
          ac.setPhase(GroundPhase::Taxi);
          ac.bearingToNext = ac.position.heading;
        }
        break;
      default: {
        auto& buffer = ac.situations;
        if (buffer.size() >= 2 && buffer[1].noMovement == 0) {
          const double diffDeg = std::fabs(gf_angleDiff(ac.position.heading, ac.bearingToNext)) * kRadToDeg;
          ac.turning = diffDeg > 3 ? 1 : 0;
          ac.remainingTurn = ac.turning != 0 ? diffDeg : 0;
        }
        // The end of a taxi stream: a stand near its last position.
        if (buffer.back().noMovement != 0 && ac.phase == GroundPhase::Taxi && !g_stands.empty() &&
            (ac.towed != 0 || ac.previousPhase == GroundPhase::Taxi || ac.previousPhase == GroundPhase::TakeOffRoll ||
             ac.previousPhase == GroundPhase::Airborne || ac.previousPhase == GroundPhase::ToStand)) {
          if (ac.extensionCount > 0)
            try2Park(ac, ac.arrivedByLanding != 0);
          else if (buffer.size() >= 2 && buffer[1].speed <= 5 &&
                   gf_distanceNm(lf_at(buffer.back()), lf_here(ac)) <= 0.018898)
            try2Park(ac, false);
        }
        break;
      }
    }
    adjustTimeGround(ac);
  } catch (const std::exception& e) {
    gf_logf("{}: {} {}, sz:{}", "nextPosGround", e.what(), ac.description(), ac.situations.size());
  }
}

void adjustTimeGround(LiveAc& ac) {
  try {
    if (ac.situations.size() < 2) {
      gf_logf("{} empty?", "adjustTimeGround");
      return;
    }
    const Situation& f = ac.situations[0];
    Situation& s = ac.situations[1];
    if (s.noMovement != 0) {
      s.due = lf_holdDue(ac, lf_now() + std::max(kMinLegCycles, s.due - f.due), s.due);
      return;
    }
    ac.turnStep() = ac.turnPerCycle();
    const double distanceNm = gf_distanceNm(lf_here(ac), lf_at(s));
    const double speed = std::max(lf_legSpeedKt(ac), 1e-6);
    const auto cycles =
        std::max(kMinLegCycles,
                 static_cast<std::int32_t>(std::min(1e9, std::round(distanceNm * kCyclesPerNmAtOneKnot / speed))));
    const double angle = ac.curve.isSet() ? ac.curveAngle : (ac.turning != 0 ? ac.remainingTurn : 0.0);
    if (angle > 0) {
      const double ratio = cycles / std::max(1.0, std::round(angle / std::max(ac.turnPerCycle(), 1e-9) / 100.0));
      if (angle <= 45) {
        const double metres = std::max(distanceNm * kMetresPerNm, 1e-6);
        ac.turnStep() /=
            ratio >= 1.2 ? std::min({ratio, ratio * 10 / angle, ratio * 30 / metres}) : std::max(ratio, 1e-6);
      } else {
        ac.turnStep() *= std::min(ratio, std::min(90.0, angle) / 30.0);
        if (angle >= 90) {
          ac.earlyWindow = std::max(ac.earlyWindow, 2000);
          ac.lateWindow = std::max(ac.lateWindow, 2000);
        }
      }
    }
    s.due = lf_holdDue(ac, lf_now() + cycles, s.due);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "adjustTimeGround", e.what());
  }
}

void lf_planGroundLeg(LiveAc& ac, const Situation& next) {
  try {
    const bool rotor = ac.category == Rotorcraft;
    if (ac.phase == GroundPhase::AtStand || ac.phase == GroundPhase::Airborne) ac.setPhase(GroundPhase::Taxi);
    // Engines run and the aircraft moves forward: it taxies.
    if (ac.phase == GroundPhase::EnginesStarted && next.noMovement == 0) ac.setPhase(GroundPhase::Taxi);
    const Situation& f = ac.front();
    if (ac.takeOffPending == 0) {
      if (ac.landed != 0)
        lf_rollOut(ac);
      else
        lf_setThrottle(ac, rotor ? 4 : 0);
    } else if (!rotor) {
      std::uint32_t index = 4;
      if (f.speed < 25 && next.speed < 30)
        index = (f.speed >= 20 || next.speed >= 25) ? 2 : (f.speed < 15 && next.speed < 20) ? 0 : 1;
      lf_setThrottle(ac, index);
    } else {
      lf_setThrottle(ac, 4);
    }
    if (ac.landed == 0 && ac.takeOffPending == 0) lf_shrinkWindows(ac);
    if (ac.flareStage == 0 && ac.phase != GroundPhase::TakeOffRoll && ac.loweringNose == 0) {
      ac.position.pitch = ac.staticPitch;
      ac.position.bank = 0;
      ac.pitchStep = 0;
      ac.bankStep = 0;
    }
    if (ac.curve.isSet()) ac.curveStep = 1.0 / std::max(kMinLegCycles, next.due - lf_now());
    ac.targetTrueAirspeed = ac.phase == GroundPhase::LeavingStand ? -next.speed : next.speed;
    ac.targetVerticalSpeed = 0;

    if (ac.takeOffPending != 0 && ac.phase != GroundPhase::TakeOffRoll && f.speed >= 43) {
      const double takeOffSpeed = gf_takeOffSpeed(ac.category);
      bool fastAndAirborne = true;
      bool allAirborne = true;
      bool allClimbing = true;
      for (std::size_t i = 1; i < ac.situations.size(); ++i) {
        const Situation& s = ac.situations[i];
        fastAndAirborne = fastAndAirborne && s.speed >= takeOffSpeed && s.airborne != 0;
        allAirborne = allAirborne && s.airborne != 0;
        allClimbing = allClimbing && s.verticalSpeed > 256;
      }
      if (fastAndAirborne) ac.altitudeStep = ac.maxClimbPerCycle();
      if (allClimbing) {
        if (allAirborne) {
          const double diff = next.altitude - ac.position.altitude;
          ac.altitudeStep = (diff > 0.1 ? diff : 0.1) / std::max(kMinLegCycles, next.due - lf_now());
        } else {
          ac.altitudeStep = ac.maxClimbPerCycle();
        }
      }
      lf_startTakeOffRoll(ac);
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_planGroundLeg", e.what());
  }
}

void lf_rollOut(LiveAc& ac) {
  const bool rotor = ac.category == Rotorcraft;
  const double off = std::fabs(gf_angleDiff(ac.touchdownHeading, ac.position.heading)) * kRadToDeg;
  if (off < 15) {
    if (!ac.situations.empty() && ac.situations.front().speed <= 90) {
      if (!rotor) lf_queueEvent(ac, EVT_SPOILERS_SET, 0);
      lf_setControlsToZero(ac);
      lf_setFlaps(ac, 1);
    }
    return;
  }
  // Turned off the runway.
  lf_setFlaps(ac, 0);
  ac.landed = 0;
  ac.touchdownHeading = 0;
  lf_setThrottle(ac, rotor ? 4 : 0);
  if (!rotor) lf_queueEvent(ac, EVT_SPOILERS_SET, 0);
  lf_setControlsToZero(ac);
  lf_setLights(ac, 1, 1, 0, 1, 0, 1, 1);
}

void lf_takeOffConfig(LiveAc& ac) {
  if (ac.towed != 0) gf_log("towed aircraft takes-off?");
  ac.takeOffPending = 1;
  lf_setThrottle(ac, 0);
  if (ac.category != Rotorcraft) lf_queueEvent(ac, EVT_SPOILERS_SET, 0);
  lf_setFlaps(ac, 1);
  ac.landingMode = 0;
  ac.arrivedByLanding = 0;
  lf_setLights(ac, 1, 1, 1, 1, 1, 1, 0);
  ac.earlyWindow = 3000;
  ac.lateWindow = 5000;
  if (!ac.airline.empty()) lf_learnSoftParkPos(ac, true);
}

void lf_startTakeOffRoll(LiveAc& ac) {
  ac.stepCounter = static_cast<std::int32_t>(std::max<std::uint32_t>(1, ac.takeOffRollSteps));
  ac.position.bank = 0;
  ac.bankStep = 0;
  ac.pitchStep = (ac.takeOffPitch - ac.position.pitch) / ac.stepCounter;
  if (ac.takeOffPending == 0) lf_setLights(ac, 1, 1, 1, 1, 1, 1, 0);
  ac.setPhase(GroundPhase::TakeOffRoll);
  ac.headingStep = 0;
  if (ac.landed != 0) {
    ac.landed = 0;
    ac.landingMode = 0;
    ac.arrivedByLanding = 0;
    if (ac.throttleMarker != 4) {
      lf_queueEvent(ac, EVT_THROTTLE_SET, kThrottle[4]);
      ac.throttleMarker = 4;
    }
    if (ac.category != Rotorcraft) lf_queueEvent(ac, EVT_SPOILERS_SET, 16383);
    lf_setFlaps(ac, 1);
  }
}

bool lf_extendStream(LiveAc& ac) {
  if (ac.situations.empty()) return false;
  if (ac.phase == GroundPhase::ToStand) lf_arrivedAtStand(ac);
  if (ac.state != ActState::InSim) return false;

  if (ac.phase == GroundPhase::EnginesStarted ||
      (ac.phase == GroundPhase::Taxi && ac.landed == 0 && ac.takeOffPending == 0)) {
    for (const LiveAc& other : g_liveAcs) {
      if (&other == &ac || other.state != ActState::InSim || other.movesOnGround == 0) continue;
      const double spacing = (ac.halfWingspan + other.halfWingspan) * 1.2;
      if (gf_distanceNm(lf_here(ac), lf_here(other)) <= spacing) return false;
    }
    if (ac.waiting == 0) {
      ac.waiting = 1;
      ac.waitStart = static_cast<std::uint32_t>(lf_now());
    }
    if (lf_now() - static_cast<std::int32_t>(ac.waitStart) > MAX_HOLDING_MINUTES.value * kCyclesPerMinute) return false;
    Situation copy = ac.situations.front();
    copy.due += 300;
    copy.speed = 0;
    copy.noMovement = 1;
    ac.situations.push_back(copy);
    ac.extensionCount = 1;
    return true;
  }

  if (ac.extensionCount < 0) return false;
  if (ac.extensionCount == 1) {
    ac.extensionCount = -1;
    return false;
  }
  if (ac.extensionCount > 1) {
    lf_appendWaitSituations(ac, ac.extensionCount - 1);
    return true;
  }
  if (!lf_categoryAllowsExtensions(ac.category)) return false;
  int n = 0;
  if (ac.movesOnGround != 0) {
    n = ac.phase == GroundPhase::AtStand ? 1 : 10;
  } else if (!(AUTO_RANGE.value != 0 && g_radiusNm.load() == 10.0)) {
    const UserAcBlock& user = g_engineUserAc;
    const bool userUnset =
        user.latitude >= 0 && user.latitude <= 0.0009 && user.longitude >= 0 && user.longitude <= 0.05;
    if (userUnset || lf_distanceFromUser(ac) < g_radiusNm.load() - 0.5) n = 8;
  }
  if (n < 1) return false;
  lf_appendWaitSituations(ac, n);
  return true;
}

void lf_appendWaitSituations(LiveAc& ac, int n) {
  ac.extensionCount = n;
  const Situation& f = ac.situations.front();
  Situation s = f;
  const bool ground = ac.movesOnGround != 0;
  const bool atStand = ac.phase == GroundPhase::AtStand;
  if (f.noMovement != 0 || atStand) {
    s.noMovement = 1;
    s.speed = 0;
  } else if (ground && ac.landed == 0) {
    if (ac.takeOffPending == 0) {
      s.speed = 0;
      s.noMovement = 1;
    } else if (f.speed <= 30) {
    } else if (f.speed <= 60) {
      s.speed = 80;
    } else if (f.speed <= 100) {
      s.speed = 110;
    } else if (f.speed <= 140) {
      s.speed = 150;
      s.verticalSpeed = 600;
    } else if (f.speed <= 160) {
      s.speed = 170;
      s.verticalSpeed = 1200;
    } else {
      s.speed = 180;
      s.verticalSpeed = 2400;
    }
  } else if (ground) {
    s.speed = f.speed >= 140 ? 100 : f.speed >= 100 ? 80 : f.speed >= 80 ? 60 : f.speed >= 60 ? 30 : 20;
  } else {
    if (n >= 4) s.speed = f.speed * (ac.landingMode != 0 ? 0.90 : 0.95);
    s.speed = std::max(s.speed, 1.0);
  }
  const double seconds = ground ? 3 : 8;
  if (s.speed > 0) {
    const double feet = seconds * 100 * s.speed * kFeetPerNm / kCyclesPerNmAtOneKnot;
    const LatLon to = gf_destinationPoint(lf_at(f), ac.position.heading, feet);
    s.noMovement = (to.lat == f.latitude && to.lon == f.longitude) ? 1 : 0;
    s.latitude = to.lat;
    s.longitude = to.lon;
  }
  if (ac.landingMode != 0 && ac.flareStage == 0) {
    s.verticalSpeed = -667;
    s.altitude = std::max(0.0, f.altitude - 10.005 * seconds);
    s.airborne = s.altitude > 0 ? 1 : 0;
  }
  if (ac.phase == GroundPhase::TakeOffRoll) {
    s.verticalSpeed = 1500;
    s.altitude = f.altitude + 25 * seconds;
  }
  if (atStand) {
    s.due = f.due + 60480000;
    if (Stand* stand = lf_standById(ac.standId)) stand->occupied = 0;
    ac.checkedAtStand = 0;
  } else {
    s.due = f.due + (ground ? 300 : 800);
  }
  ac.situations.push_back(s);
}

// ---- Stands ----

void try2Park(LiveAc& ac, bool wide) {
  try {
    auto& buffer = ac.situations;
    if (buffer.empty()) {
      gf_logMarked(fmt::format("{} empty sz?", "try2Park"));
      return;
    }
    const Situation& last = buffer.back();
    if (last.latitude == ac.lastParkTryLatitude && last.longitude == ac.lastParkTryLongitude) return;
    ac.lastParkTryLatitude = last.latitude;
    ac.lastParkTryLongitude = last.longitude;
    const auto found = gf_findStandForAct(ac, last.latitude, last.longitude,
                                          wide ? 0.029697624190064796 : 0.010799136069114472, ac.arrivedByLanding != 0);
    if (found == g_stands.end()) return;
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
    for (std::uint32_t adjacent : stand.overlapIds) {
      const Stand* near = lf_standById(adjacent);
      if (near == nullptr || (near->latitude == 0 && near->longitude == 0)) continue;
      const double d = gf_distanceNm({stand.latitude, stand.longitude}, {near->latitude, near->longitude});
      for (LiveAc& other : g_liveAcs) {
        if (&other == &ac || other.state != ActState::InSim || other.standId != adjacent) continue;
        if (other.phase != GroundPhase::AtStand && other.phase != GroundPhase::LeavingStand) continue;
        if (1.1 * (gf_halfWingspan(other.model) + gf_halfWingspan(ac.model)) >= d) {
          if (LOG.value != 0)
            gf_logf("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}", near->name,
                    other.callsign, ac.callsign, stand.name);
          removeAircraftFromSim(other);
        }
      }
    }
    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, stand);
    ac.latitude = stand.latitude;
    ac.longitude = stand.longitude;
    ac.heading = stand.heading;
    ac.standId = stand.id;
    ac.cabinLightOff = stand.cargo;
    buffer.resize(1);
    ac.setPhase(GroundPhase::ToStand);
    // Two situations after the last: at the stand, then standing there.
    Situation at = buffer.back();
    const double d = gf_distanceNm(lf_at(at), {stand.latitude, stand.longitude});
    const bool there = at.latitude == stand.latitude && at.longitude == stand.longitude;
    at.latitude = stand.latitude;
    at.longitude = stand.longitude;
    at.speed = ac.pushBackSpeed();
    at.trueAirspeed = ac.pushBackSpeed();
    at.heading = stand.heading * kRadToDeg;
    at.verticalSpeed = 0;
    at.airborne = 0;
    at.noMovement = there ? 1 : 0;
    at.due = buffer.front().due + std::max(100, static_cast<std::int32_t>(std::round(
                                                    d * kCyclesPerNmAtOneKnot / std::max(ac.pushBackSpeed(), 1.0))));
    Situation stop = at;
    stop.speed = 0;
    stop.trueAirspeed = 0;
    stop.noMovement = 1;
    stop.due = at.due + 50;
    buffer.push_back(at);
    buffer.push_back(stop);
    ac.bearingToNext = stand.heading;
    if (ac.extensionCount > 0) {
      ac.extensionCount = 0;
      lf_wideWindows(ac);
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "try2Park", e.what());
  }
}

void lf_arrivedAtStand(LiveAc& ac) {
  try {
    Stand* stand = lf_standById(ac.standId);
    if (stand == nullptr) {
      ac.setPhase(GroundPhase::Taxi);
      return;
    }
    if (stand->occupied != 0) {
      ac.extensionCount = 1;
      removeAircraftFromSim(ac);
      return;
    }
    if (gf_distanceNm(lf_here(ac), {stand->latitude, stand->longitude}) > 0.00108) {
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
    if (ac.cargo != 0 && ac.cabinLightOff == 0 && stand->cargo == 0) {
      stand->cargo = 1;
      gf_logf("{} stand: {}, cargo attribute set to true, {} parked here", gf_parkAirportSnapshot().code, stand->name,
              ac.callsign);
    }
    lf_shutDownParkedAc(ac);
    gf_logf("{:8}: {:8} arrived at stand", stand->name, ac.callsign);
    g_newArrivals.push_back(ac.hexid);
    if (lf_addRealParkPosOption(stand->id, ac, true, slot, false)) lf_checkMaxPark(0);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_arrivedAtStand", e.what());
  }
}

bool lf_checkAtStand(LiveAc& ac, const Situation& s) {
  const Stand* stand = lf_standById(ac.standId);
  if (stand == nullptr) return true;
  ac.checkedAtStand = 1;
  const double radius = ac.previousPhase == GroundPhase::ToStand ? 2 * 0.0459 : 0.0459;
  const double d = gf_distanceNm(lf_at(s), {stand->latitude, stand->longitude});
  if (d <= radius) {
    ac.standArrivalTicks = gf_steadyTicks();
    ac.standDistance = d;
    return false;
  }
  if (ac.phase == GroundPhase::ToStand) {
    ac.setPhase(GroundPhase::Taxi);
    return true;
  }
  if (d > 0.108 && ac.state == ActState::InSim) {
    removeAircraftFromSim(ac);
    return false;
  }
  // It leaves its stand.
  ac.pullOutPending = 1;
  return true;
}

void checkStandOrExcludedIsOccupiedByStaticAndRemove(LiveAc& ac, const Stand& stand) {
  for (Act& parked : g_parkedActs) {
    if (parked.standId != stand.id) continue;
    const bool twin = parked.callsign == ac.callsign && parked.registration == ac.registration;
    if (parked.state == ActState::InSim) {
      gf_logf("{:8}: {:8} {} makes way for{} {} {}", stand.name, parked.callsign, parked.airlineModelText(),
              twin ? " the same live version" : "", ac.callsign, ac.airlineModelText());
      removeAircraftFromSim(parked);
    } else if (parked.state == ActState::Creating || parked.state == ActState::New) {
      if (lf_removePendingCreation(g_pendingParkedCreations, parked.callsign)) parked.eraseNow = 1;
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
          gf_distanceNm({other.position.latitude, other.position.longitude}, {stand.latitude, stand.longitude});
      if (d <= 1.1 * (gf_halfWingspan(other.model) + gf_halfWingspan(ac.model))) {
        gf_logf("{:8}: {:8} removed by {} parking at adjacent stand {}", gf_standName(excluded), other.callsign,
                ac.callsign, stand.name);
        removeAircraftFromSim(other);
      }
    }
  }
}

}  // namespace amb
