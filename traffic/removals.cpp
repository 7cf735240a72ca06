// Removals and live limits: every way an act leaves the simulator goes through removeAircraftFromSim,
// which frees its stand and queues its object's removal (handed to the simulator one per 10 cycles).

#include "traffic/engine.hpp"
#include "traffic/results.hpp"
#include "traffic/removals.hpp"

#include "core/clock.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "feed/services.hpp"
#include "records/upcalls.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <tuple>

namespace amb {

using namespace up::airports;

namespace {

std::atomic<float> g_meanHoursAtStandsFigure{0.0f};

constexpr std::int64_t kTicksPerSecond = 10'000'000;  // steady-clock ticks of 100 ns

std::int64_t lf_steadyTicksNow() {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(clock::steadyNow().time_since_epoch()).count();
  return ns / (1'000'000'000 / kTicksPerSecond);
}

bool lf_isLive(const Act& act) { return act.hexid > 10000; }

bool lf_atStandInSim(const LiveAc& ac) { return ac.state == ActState::InSim && ac.phase == GroundPhase::AtStand; }

std::string lf_lessLast(const std::string& s) { return s.empty() ? s : s.substr(0, s.size() - 1); }

}  // namespace

std::int64_t gf_steadyTicks() { return lf_steadyTicksNow(); }

void removeAircraftFromSim(Act& act) {
  switch (act.state) {
    case ActState::New:
      act.remove = 1;
      return;
    case ActState::Creating: {
      // Its object exists and is settling: it goes like one in the simulator.
      if (act.objectId != 0) break;
      // No object yet. A creation still waiting in the engine's queues is taken back and the act
      // goes at once; one already with the simulator is removed as soon as its object exists.
      bool taken =
          lf_removePendingCreation(lf_isLive(act) ? g_pendingLiveCreations : g_pendingParkedCreations, act.callsign);
      if (lf_isLive(act)) {
        auto it = std::find(g_spawnRequests.begin(), g_spawnRequests.end(), act.hexid);
        if (it != g_spawnRequests.end()) {
          g_spawnRequests.erase(it);
          taken = true;
        }
      }
      if (taken) {
        act.eraseNow = 1;
        act.remove = 1;
      } else {
        act.removeWhenCreated = 1;
      }
      return;
    }
    case ActState::Removing:
      return;  // its removal is queued already
    case ActState::Respawning:
      // The removal is queued already; when it is confirmed the act goes instead of coming back.
      act.state = ActState::Removing;
      return;
    case ActState::InSim:
      break;
  }
  if (act.standId != 0)
    for (Stand& s : *g_stands)
      if (s.id == act.standId) {
        s.occupied = 0;
        break;
      }
  act.state = ActState::Removing;
  if (act.objectId != 0) {
    g_removalDeque.push_back(act.objectId);
  } else {
    gf_logMarked(fmt::format("{} removing act {} with objectid=0 ?", "removeAircraftFromSim", act.description()));
    // There is no object whose removal could be confirmed: the act goes at once.
    act.remove = 1;
    act.eraseNow = 1;
  }
}

void lf_shutDownParkedAc(Act& act) {
  if (act.throttleMarker != 0) {
    lf_queueEvent(act, EVT_THROTTLE_SET, 0);
    act.throttleMarker = 0;
  }
  if (act.flapsMarker != 0 && act.category != Rotorcraft) {
    lf_queueEvent(act, EVT_FLAPS_SET, 0);
    act.flapsMarker = 0;
  }
  lf_queueEvent(act, EVT_ENGINE_AUTO_SHUTDOWN, 0);
  std::uint32_t cabin = act.cabinLightOff != 0 ? 0 : 1;
  if (cabin == 1 && gf_randomOn() && gf_randomEngine()() % 10 == 9) cabin = 0;
  lf_setLights(act, NAV_LIGHTS_WHILE_PARKED.value != 0 ? 1 : 0, 0, 0, 0, 0, 1, cabin);
}

bool lf_removePendingCreation(std::deque<CreateRequest>& queue, const std::string& callsign) {
  if (callsign.empty()) return false;
  const auto before = queue.size();
  std::erase_if(queue, [&](const CreateRequest& r) { return r.callsign == callsign; });
  return queue.size() != before;
}

void gf_removeAllLiveAc() {
  std::lock_guard lock(gf_engineMutex());
  for (LiveAc& ac : g_liveAcs) {
    // Everything goes: nothing removed now is created again.
    ac.restartFrom.reset();
    if (ac.state == ActState::InSim || ac.state == ActState::Creating) removeAircraftFromSim(ac);
  }
  std::erase_if(g_liveAcs, [](const LiveAc& ac) { return ac.eraseNow != 0; });
}

void gf_removeAllParkedActs() {
  std::lock_guard lock(gf_engineMutex());
  for (Act& act : g_parkedActs)
    if (act.state == ActState::InSim || act.state == ActState::Creating) removeAircraftFromSim(act);
  std::erase_if(g_parkedActs, [](const Act& act) { return act.eraseNow != 0; });
}

bool gf_awaitCreationsAndRemove(std::chrono::milliseconds bound) {
  const auto deadline = clock::steadyNow() + bound;
  const auto waiting = [] {
    const auto inCreation = [](const Act& a) { return a.state == ActState::Creating && a.removeWhenCreated != 0; };
    return std::any_of(g_liveAcs.begin(), g_liveAcs.end(), inCreation) ||
           std::any_of(g_parkedActs.begin(), g_parkedActs.end(), inCreation);
  };
  for (;;) {
    {
      std::lock_guard lock(gf_engineMutex());
      gf_flushRemovalDeque();
      if (!waiting()) return true;
      if (clock::steadyNow() >= deadline) return false;
      // The link learns of new objects from the answer to the in-range request; the engine's cycle,
      // which asks for it, may have stopped already.
      SimPort& port = gf_simPort();
      if (!port.sendingStopped()) port.requestAiNearby(gf_nearbyRadiusMeters());
      // Only what decides about objects: new, removed, refused and lost ones. Ground and static data
      // would start movements (a touchdown, an arrival) that have no place in an exit.
      for (const SimResult& r : port.takeResults())
        if (r.kind == CreatedLive || r.kind == CreatedParked || r.kind == Removed || r.kind == CreateFailed ||
            r.kind == CreateLost) {
          try {
            lf_processSimResult(r);
          } catch (const std::exception& e) {
            gf_logf("{}: {}", "gf_awaitCreationsAndRemove", e.what());
          }
        }
      gf_flushRemovalDeque();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void gf_removeAcAtStand() {
  std::lock_guard lock(gf_engineMutex());
  // An unknown name removes nothing: stand id 0 would pick an unrelated aircraft without a stand.
  const auto stand = gf_findStandByName(gf_reservedStandName());
  if (stand == g_stands->end()) return;
  const std::uint32_t id = stand->id;
  for (Act& act : g_parkedActs)
    if (act.standId == id && act.state == ActState::InSim) {
      removeAircraftFromSim(act);
      return;
    }
  for (LiveAc& ac : g_liveAcs)
    if (ac.standId == id && lf_atStandInSim(ac)) {
      removeAircraftFromSim(ac);
      return;
    }
}

int gf_countLiveAtStands(bool updateWindow) {
  std::lock_guard lock(gf_engineMutex());
  int count = 0;
  std::int64_t halfHours = 0;
  const WeekSlot now = updateWindow ? gf_weekSlotNow() : WeekSlot{};
  for (const LiveAc& ac : g_liveAcs) {
    if (!lf_atStandInSim(ac)) continue;
    ++count;
    if (updateWindow) {
      // Half hours since the stand was taken, across any number of day boundaries of the week.
      const std::int64_t then = std::int64_t{ac.weekDay} * 48 + ac.halfHourSlot;
      const std::int64_t at = std::int64_t{now.weekday} * 48 + now.halfHour;
      halfHours += ((at - then) % 336 + 336) % 336;
    }
  }
  if (updateWindow) {
    const float figure = count != 0 ? static_cast<float>(static_cast<double>(halfHours) / (2.0 * count) + 0.5) : 0.0f;
    if (g_meanHoursAtStandsFigure.exchange(figure) != figure) gf_repaintWindow();
  }
  return count;
}

float gf_meanHoursAtStands() { return g_meanHoursAtStandsFigure.load(); }

std::uint32_t gf_countMovingLive() {
  std::lock_guard lock(gf_engineMutex());
  return static_cast<std::uint32_t>(std::count_if(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& ac) {
    return ac.state == ActState::InSim && ac.phase != GroundPhase::AtStand;
  }));
}

void gf_collectLiveStayers() {
  std::lock_guard lock(gf_engineMutex());
  g_liveStayers.clear();
  const std::int64_t now = lf_steadyTicksNow();
  for (LiveAc& ac : g_liveAcs) {
    if (!lf_atStandInSim(ac)) continue;
    if (ac.checkedAtStand != 0) {
      g_liveStayers.push_back({ac.callsign, ac.standId, 0});
      continue;
    }
    const std::int64_t minutes = (now - ac.standArrivalTicks) / (kTicksPerSecond * 60);
    const std::int64_t limit = ac.category == Heavy ? 180 : 90;
    if (INITIAL_LOAD_ONLY.value == 0 && minutes > limit)
      removeAircraftFromSim(ac);
    else
      g_liveStayers.push_back({ac.callsign, ac.standId, minutes});
  }
  std::sort(g_liveStayers.begin(), g_liveStayers.end());
}

void gf_removeLiveParked(std::uint32_t n) {
  std::lock_guard lock(gf_engineMutex());
  std::vector<std::pair<std::uint32_t, std::int64_t>> times;
  times.reserve(128);
  const std::int64_t now = lf_steadyTicksNow();
  for (const LiveAc& ac : g_liveAcs)
    if (lf_atStandInSim(ac)) times.emplace_back(ac.hexid, (now - ac.standArrivalTicks) / kTicksPerSecond);
  std::stable_sort(times.begin(), times.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  if (times.size() > n) times.resize(n);
  for (LiveAc& ac : g_liveAcs) {
    if (std::none_of(times.begin(), times.end(), [&](const auto& t) { return t.first == ac.hexid; })) continue;
    gf_logf("live parked {} at {} removed", ac.description(), gf_standName(ac.standId));
    removeAircraftFromSim(ac);
  }
}

bool gf_removeIfSameRegOrCallsign(const SameRegContext& context, const Act& parked) {
  if (parked.state != ActState::InSim || context.live == nullptr) return false;
  const LiveAc& live = *context.live;
  const char* stateWord = context.onGround ? "on ground" : "airborne";
  if (!live.registration.empty() && live.registration == parked.registration) {
    if (LOG.value != 0)
      gf_logf("{:8}: {:8} {} removed, new {} {} has same regcode {}", gf_standName(parked.standId), parked.callsign,
              parked.registration, stateWord, live.callsign, live.registration);
    return true;
  }
  const auto isParkedName = [&](const std::string& cs) {
    return !cs.empty() && (cs == parked.secondCallsign || cs == parked.coupledCallsign);
  };
  const bool ghost = !live.callsign.empty() && live.callsign.back() == '_' && isParkedName(lf_lessLast(live.callsign));
  const bool match = isParkedName(live.callsign) || isParkedName(live.coupledCallsign) || ghost;
  if (match && LOG.value != 0)
    gf_logf("{:8}: {:8} \"{} {}\" removed, new {} {} \"{} {}\" has {} callsign", gf_standName(parked.standId),
            parked.callsign, parked.model, parked.airline, stateWord, live.callsign, live.model, live.airline,
            parked.secondCallsign == live.callsign ? "same" : "coupled");
  return match;
}

void lf_checkMaxPark(std::uint32_t adding) {
  const std::int32_t m = *g_maxParkCount;
  const auto live = static_cast<std::uint32_t>(std::count_if(g_liveAcs.begin(), g_liveAcs.end(), lf_atStandInSim));
  if (INITIAL_LOAD_ONLY.value == 0 && m > 0 && static_cast<std::uint32_t>(m) < live + adding) {
    const LiveAc* longest = nullptr;
    for (const LiveAc& ac : g_liveAcs)
      if (lf_atStandInSim(ac) && (longest == nullptr || ac.standArrivalTicks < longest->standArrivalTicks))
        longest = &ac;
    if (longest != nullptr) gf_removeLiveAcMaxPark(longest->hexid);
  }
  std::uint64_t halfHours = 0;
  const WeekSlot now = WeekSlot::fromPacked(g_weekSlot.load());
  const auto parked = static_cast<std::uint32_t>(std::count_if(
      g_parkedActs.begin(), g_parkedActs.end(), [&](const Act& a) { return gf_addParkedHalfHours(halfHours, now, false, a); }));
  if (parked == 0) return;
  if (static_cast<std::uint32_t>(m) < parked + live + adding) {
    // The parked act that took its stand last gives way.
    Act* last = nullptr;
    for (Act& a : g_parkedActs)
      if (last == nullptr || std::tie(a.weekDay, a.halfHourSlot) >= std::tie(last->weekDay, last->halfHourSlot))
        last = &a;
    if (last != nullptr && last->state == ActState::InSim) removeAircraftFromSim(*last);
  }
}

bool gf_removeIfInUserWay(int, LiveAc& ac) {
  if (ac.state != ActState::InSim) return false;
  const UserAcBlock& user = g_engineUserAc;
  const LatLon u{user.latitude, user.longitude};
  const LatLon a{ac.position.latitude, ac.position.longitude};
  const double d = gf_distanceNm(u, a);
  const double bearing = gf_bearingRad(u, a);
  bool inWay = false;
  if (ac.movesOnGround != 0) {
    if (user.altAboveGround < 500 && d <= 1.0) {
      const double angle = std::fabs(gf_angleDiff(user.heading, bearing));
      inWay = std::sin(angle) * d * kFeetPerNm <= 50;
    }
  } else if (d <= 4.0 && std::fabs(ac.position.altitude - user.altitude) < 1000) {
    const double b = gf_angleDiff(ac.position.heading, bearing) * kRadToDeg;
    const double x = b >= 0 ? std::fabs(90 - b) : (b < -90 ? 90 - (b + 180) : b + 90);
    inWay = std::cos(x * kDegToRad) * d * kFeetPerNm <= 700;
  }
  if (inWay) removeAircraftFromSim(ac);
  return inWay;
}

}  // namespace amb
