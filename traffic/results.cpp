// Simulator results: what the "SimClient" thread learned about the program's AI objects (created,
// removed, refused, measured) applied to the live and parked aircraft once per engine cycle, the
// settling period of new objects with their two light toggles, and what happens to a live aircraft
// when its object exists, is in the simulator and touches down.

#include "traffic/results.hpp"
#include "traffic/air.hpp"
#include "traffic/engine.hpp"
#include "traffic/flight_plan.hpp"
#include "traffic/removals.hpp"
#include "traffic/spawn.hpp"

#include "records/upcalls.hpp"
#include "state/run_state.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "settings/options.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>

namespace amb {

using namespace up::liveries;

namespace {

constexpr std::int32_t kSettleCycles = 200;
// Touching down, the positions still to come more than this many degrees off the nose and farther
// than this many metres are not driven to.
constexpr double kRollOutOffDeg = 45.0;
constexpr double kRollOutAsideMetres = 50.0;
constexpr double kMetresPerNm = 1852.0;

// An object created for an act the engine no longer has must not stay in the simulator (ids below 3
// are none or the user aircraft's).
void lf_removeOrphanObject(std::uint32_t objectId) {
  if (objectId >= 3) g_removalDeque.push_back(objectId);
}

// An act whose creation is under way and whose object the simulator has not yet reported: the one
// act a creation result may go to.
bool lf_awaitsItsObject(const Act* act) {
  return act != nullptr && act->state == ActState::Creating && act->objectId == 0;
}

// The simulator reporting an act's object once more (an answer that came twice): nothing new.
bool lf_reportedAgain(const Act* act, const SimResult& r) {
  return act != nullptr && r.objectId != 0 && act->objectId == r.objectId;
}

// Erases the act from its list when the scope ends, whatever happens in between.
template <typename List>
class EraseOnExit {
public:
  EraseOnExit(List& list, typename List::value_type* item) : m_list(list), m_item(item) {}
  ~EraseOnExit() {
    if (m_item == nullptr) return;
    if (m_item != &m_list.back()) *m_item = std::move(m_list.back());
    m_list.pop_back();
  }
  EraseOnExit(const EraseOnExit&) = delete;
  EraseOnExit& operator=(const EraseOnExit&) = delete;

private:
  List& m_list;
  typename List::value_type* m_item;
};

void lf_removeFlightPlanFile(LiveAc& ac) {
  if (ac.hasFlightPlan == 0) return;
  ac.hasFlightPlan = 0;
  const std::filesystem::path file = g_flightPlanFolder / gf_flightPlanPath(ac.objectId);
  if (std::filesystem::exists(file)) std::filesystem::remove(file);
}

void lf_stampParkingTime(Act& act) {
  const WeekSlot slot = gf_weekSlotNow();
  act.weekDay = slot.weekday;
  act.halfHourSlot = slot.halfHour;
}

}  // namespace

void gf_SimCommands() {
  std::lock_guard lock(gf_engineMutex());
  try {
    // The batch is taken out first, so every result is applied exactly once even when one of them
    // fails; the first failure is passed on after the others were applied.
    const std::vector<SimResult> batch = gf_simPort().takeResults();
    std::exception_ptr failure;
    for (const SimResult& r : batch) {
      try {
        lf_processSimResult(r);
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
    bool done = false;
    for (SimResult& record : g_createdObjects) gf_allLightsToggle(done, record);
    if (done) std::erase_if(g_createdObjects, [](const SimResult& r) { return r.counter < 0; });
    if (failure) std::rethrow_exception(failure);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "gf_SimCommands", e.what());
    throw;
  }
}

void lf_processSimResult(const SimResult& r) {
  switch (r.kind) {
    case CreatedLive: {
      LiveAc* ac = lf_findLiveByHexid(r.secondId);
      if (lf_reportedAgain(ac, r)) return;
      if (!lf_awaitsItsObject(ac)) {
        lf_removeOrphanObject(r.objectId);
        return;
      }
      if (!lf_onLiveObjectData(*ac, r)) return;
      // Removed while its creation was under way: it goes now that its object is known, not after
      // settling, so that none is left behind when the program ends meanwhile.
      if (ac->removeWhenCreated != 0)
        removeAircraftFromSim(*ac);
      else
        g_createdObjects.push_back(r);
      return;
    }
    case CreatedParked: {
      Act* act = lf_findParkedByHexid(r.secondId);
      if (lf_reportedAgain(act, r)) return;
      if (!lf_awaitsItsObject(act)) {
        lf_removeOrphanObject(r.objectId);
        return;
      }
      // Its object is known from now on, so that a removal while it settles finds it.
      act->objectId = r.objectId;
      if (act->removeWhenCreated != 0)
        removeAircraftFromSim(*act);
      else
        g_createdObjects.push_back(r);
      return;
    }
    case Removed: {
      if (r.objectId == 0) return;
      if (LiveAc* ac = lf_findLiveByObjectId(r.objectId)) {
        lf_removeFlightPlanFile(*ac);
        if (ac->state == ActState::Respawning) {
          ac->state = ActState::New;
          ac->throttleMarker = 5;
          ac->flapsMarker = 4;
          ac->objectId = 0;
        } else {
          // Removed to be created again where the feed has it: from that report, as a new aircraft.
          std::optional<TrafficRecord> again;
          if (ac->restartFrom) {
            again = TrafficRecord{static_cast<const AcIdentity&>(*ac), ac->restartFrom->situation,
                                  ac->restartFrom->timestamp, ac->hexid};
            again->identity.airline.clear();
          }
          const std::string name = ac->description();
          lf_eraseLiveAcUnordered(*ac);
          if (again) {
            if (const char* why = lf_newAircraft(*again))
              gf_logf("{}: not created again where the feed has it: {}", name, why);
            else
              g_liveAcs.back().recreated = 1;
          }
        }
        return;
      }
      for (Act& act : g_parkedActs)
        if (act.objectId == r.objectId) {
          if (&act != &g_parkedActs.back()) act = std::move(g_parkedActs.back());
          g_parkedActs.pop_back();
          return;
        }
      return;
    }
    case OtherAircraft: {
      if (r.objectId == 0) return;
      LiveAc* ac = lf_findLiveByObjectId(r.objectId);
      if (ac == nullptr) return;
      ac->groundElevation = r.first;
      if (r.secondId != 0 && ac->movesOnGround == 0 && ac->stepCounter <= 1) lf_onTouchdown(*ac);
      ac->heightAboveGround = r.second;
      if (ac->movesOnGround != 0 || ac->stepCounter > 1) ac->position.altitude = ac->staticCgHeight + r.first;
      return;
    }
    case StaticCg: {
      if (r.objectId == 0) return;
      LiveAc* ac = lf_findLiveByObjectId(r.objectId);
      if (ac == nullptr) return;
      if (r.first >= 1.0 && r.first <= 35.0)
        ac->staticCgHeight = r.first;
      else if (LOG.value != 0)
        gf_logMarked(fmt::format("{}: static CG {:.1F}ft wrong?", ac->description(), r.first));
      ac->staticPitch = (r.second <= -1.0 * kDegToRad || r.second > 2.5 * kDegToRad) ? 0.7 * kDegToRad : r.second;
      return;
    }
    case CreateFailed: {
      // The refused act goes whatever the livery side says (even when it raises its error).
      if (r.secondId <= 10000) {
        Act* act = lf_findParkedByHexid(r.secondId);
        if (act == nullptr) return;
        EraseOnExit erase(g_parkedActs, act);
        gf_liveryCouldNotBeCreated(*act);
      } else {
        LiveAc* ac = lf_findLiveByHexid(r.secondId);
        if (ac == nullptr) return;
        EraseOnExit erase(g_liveAcs, ac);
        gf_liveryCouldNotBeCreated(*ac);
      }
      return;
    }
    case CreateLost: {
      // Not made (the simulator holds too many objects): the act goes, and its livery is not to
      // blame. Its next records bring a live aircraft back.
      const auto lost = [&](const Act& act) {
        if (act.hexid != r.secondId || !lf_awaitsItsObject(&act)) return false;
        gf_logPeerf("{}: not created, the simulator holds too many objects", act.description());
        return true;
      };
      std::erase_if(g_liveAcs, lost);
      std::erase_if(g_parkedActs, lost);
      return;
    }
    default:
      return;
  }
}

void gf_allLightsToggle(bool& done, SimResult& record) {
  if (record.counter < 0) return;
  if (record.counter < kSettleCycles) {
    ++record.counter;
    if (record.kind == CreatedLive && (record.counter == 50 || record.counter == 100) &&
        !gf_simPort().toggleAllLights(record.objectId))
      gf_logMarked("SimConnect gf_allLightsToggle fails");
  }
  if (record.counter < kSettleCycles) return;
  record.counter = -1;
  done = true;
  if (record.kind == CreatedLive) {
    LiveAc* ac = lf_findLiveByHexid(record.secondId);
    // Only an act still settling comes into the simulator; one removed meanwhile stays removed.
    if (ac == nullptr || ac->state != ActState::Creating) return;
    lf_onLiveCreated(*ac);
    if (ac->removeWhenCreated != 0) removeAircraftFromSim(*ac);
  } else {
    Act* act = lf_findParkedByHexid(record.secondId);
    if (act == nullptr || act->state != ActState::Creating) return;
    act->state = ActState::InSim;
    act->objectId = record.objectId;
    lf_shutDownParkedAc(*act);
    if (LOG.value != 0) gf_logf("{:8}: {:8} parked", gf_standName(act->standId), act->callsign);
    if (act->removeWhenCreated != 0) removeAircraftFromSim(*act);
  }
}

bool lf_onLiveObjectData(LiveAc& ac, const SimResult& r) {
  try {
    if (r.objectId < 3) return false;
    ac.objectId = r.objectId;
    ac.heightAboveGround = r.second;
    if (!ac.situations.empty() && ac.situations.front().airborne == 0) {
      ac.movesOnGround = 1;
      ac.altitudeStep = 0;
    }
    if (ac.phase != GroundPhase::AtStand) {
      ac.stepCounter = 1;
    } else {
      lf_stampParkingTime(ac);
      gf_logf("{:8}: {:8} parks", gf_standName(ac.standId), ac.callsign);
    }
    // The object exists: its static data and its flight plan can be asked for now.
    SimPort& port = gf_simPort();
    if (!port.sendingStopped() && !port.requestStaticCg(ac.objectId)) {
      gf_logMarked("SimConnect request static CG fails");
      port.requestFailed();
    }
    lf_createFlightPlan(ac);
    return true;
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_onLiveObjectData", e.what());
    // Nothing throws before the object's id (3 or more) is stored: the object is the aircraft's.
    return true;
  }
}

void lf_onLiveCreated(LiveAc& ac) {
  try {
    const bool rotor = ac.category == Rotorcraft;
    const bool airborne = !ac.situations.empty() && ac.situations.front().airborne != 0;
    if (airborne) {
      lf_queueEvent(ac, EVT_ENGINE_AUTO_START, 0);
      if (!rotor) lf_queueEvent(ac, EVT_SPOILERS_SET, 0);
      const std::uint32_t low = ac.position.altitude <= 10000 ? 1 : 0;
      lf_setLights(ac, 1, 1, low, 0, 1, low, ac.heightAboveGround >= 2000 ? 1 : 0);
    } else {
      const bool atStand = ac.phase == GroundPhase::AtStand;
      const bool taxi = ac.phase == GroundPhase::Taxi;
      if (!rotor) lf_queueEvent(ac, EVT_SPOILERS_SET, 0);
      if (atStand) {
        lf_queueEvent(ac, EVT_ENGINE_AUTO_SHUTDOWN, 0);
      } else {
        lf_queueEvent(ac, EVT_ENGINE_AUTO_START, 0);
      }
      lf_setLights(ac, atStand ? (NAV_LIGHTS_WHILE_PARKED.value != 0 ? 1 : 0) : 1, atStand ? 0 : 1, 0, taxi ? 1 : 0, 0,
                   1, 1);
      lf_setThrottle(ac, rotor ? 4 : 0);
      lf_setFlaps(ac, taxi ? 1 : 0);
    }
    ac.state = ActState::InSim;
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_onLiveCreated", e.what());
  }
}

void lf_onTouchdown(LiveAc& ac) {
  try {
    if (ac.state == ActState::Removing || ac.phase == GroundPhase::TakeOffRoll) return;
    // An aeroplane that comes down from flight has landed, whether or not it was on its approach
    // (created low on a final, it may not have been): it rolls out as a landing does, slowing with
    // its records, rather than running on at the speed it flew.
    const bool cameDownFlying =
        ac.phase == GroundPhase::Airborne && ac.category != Rotorcraft && ac.takeOffPending == 0;
    if (ac.flareStage > 0 || ac.landingMode != 0 || cameDownFlying) {
      ac.loweringNose = 1;
      ac.landed = 1;
      g_fastRange = 0;
      ac.touchdownHeading = ac.position.heading;
      ac.touchdownCycle = g_engineCycle.load(std::memory_order_relaxed);
      ac.touchdownKt = gf_flownSpeedKt(ac);
      ac.landingMode = 0;
      ac.arrivedByLanding = 1;
      if (ac.category != Rotorcraft) lf_queueEvent(ac, EVT_SPOILERS_SET, 16383);
      if (ac.category != Light) {
        const double throttle = ac.fsltlTitle != 0 ? -100.0 : 100.0;
        gf_simPort().setControls(ac.objectId, AiControlsBlock{100.0, throttle, throttle});
      }
      const double steps = ac.landingSteps;
      if (steps <= 0) {
        gf_logf("{} ! onGround slots {:.1F}", ac.callsign, steps);
      } else {
        ac.pitchStep = (ac.staticPitch - ac.position.pitch) / steps;
        ac.bankStep = -ac.position.bank / steps;
      }
      g_newArrivals.push_back(ac.hexid);
      // The situations still to fly were reported before the feed knew of the touchdown: those in
      // the air up to its first ground report are flown on the ground.
      ac.touchdownField = ac.groundElevation.value_or(ac.position.altitude - ac.staticCgHeight);
      ac.touchdownCeiling = 0;
      for (std::size_t i = 0; i < ac.situations.size(); ++i)
        if (!lf_holdOnGroundAfterTouchdown(ac, ac.situations[i], true)) break;
      // Down away from where its records roll out (late, or beside their line), it rolls out along its
      // nose: the positions still to come that lie well off it are not driven to at landing speed,
      // and the one it was flying to, where nothing follows, lies ahead of it along its nose.
      const LatLon here{ac.position.latitude, ac.position.longitude};
      const auto wellOff = [&](const Situation& s) {
        const LatLon to{s.latitude, s.longitude};
        return gf_distanceNm(here, to) * kMetresPerNm > kRollOutAsideMetres &&
               std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(here, to))) > kRollOutOffDeg * kDegToRad;
      };
      while (ac.situations.size() >= 2 && wellOff(ac.situations[1])) ac.situations.erase(ac.situations.begin() + 1);
      if (ac.situations.size() == 1 && wellOff(ac.situations.front())) {
        Situation& s = ac.situations.front();
        const double feet = std::max(gf_distanceNm(here, {s.latitude, s.longitude}) * kFeetPerNm,
                                     kRollOutAsideMetres / kMetresPerNm * kFeetPerNm);
        const LatLon ahead = gf_destinationPoint(here, ac.position.heading, feet);
        s.latitude = ahead.lat;
        s.longitude = ahead.lon;
      }
    }
    ac.movesOnGround = 1;
    ac.altitudeStep = 0;
    ac.stepCounter = 1;
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_onTouchdown", e.what());
  }
}

}  // namespace amb
