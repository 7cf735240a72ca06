// Static parking upkeep: the renewal that keeps the parked picture right as time moves on (keep what
// still fits, swap to the coupled callsign when an aircraft leaves, remove what is live now or too
// much, add what is missing), single removals for collisions and the maximum park count, and the
// removal of everything when the park airport is left or the program restarts.

#include "airports/park_airport.hpp"
#include "airports/park_airports.hpp"
#include "airports/stand.hpp"
#include "airports/static_parking.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "feed/services.hpp"
#include "liveries/services.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>

namespace amb {

std::vector<StaticPlan> g_keptParked;
std::vector<ParkRemoval> g_parkRemovals;

namespace {

StaticPlan lf_keptOf(const Act& act) {
  return {act.callsign, act.secondCallsign, act.coupledCallsign, act.registration, act.airline, act.model,
          act.weekDay,  act.halfHourSlot,   act.standId,         0};
}

bool lf_live(const std::string& callsign) { return !callsign.empty() && g_liveCallsigns.count(callsign) != 0; }

// One of the stand's options of this aircraft type still covers now back over f half hours (into the
// previous weekday's option when the range reaches over midnight). Options the plan set aside count:
// they were set aside because this very aircraft stands here already.
bool lf_stillCovered(const Stand& stand, const Act& act, WeekSlot now, int f) {
  const WeekSlot yesterday{now.weekday == 1 ? 7u : now.weekday - 1, 47};
  for (const ParkPosOption& o : stand.options) {
    if (o.id == 0 || o.day != now.weekday || !gf_sameAirlineModel(o, act)) continue;
    std::uint32_t rest = 0xFFFFFFFFu;
    if (testRange(o, static_cast<int>(now.halfHour), f, rest)) return true;
    if (rest == 0xFFFFFFFFu || rest == 0) continue;
    for (const ParkPosOption& p : stand.options) {
      if (p.id == 0 || p.day != yesterday.weekday || !gf_sameAirlineModel(p, act)) continue;
      std::uint32_t unused = 0;
      if (testRange(p, 47, static_cast<int>(rest) - 1, unused)) return true;
    }
  }
  return false;
}

}  // namespace

// ---- The renewal ----

void gf_adjustParking() {
  std::lock_guard engine(gf_engineMutex());
  const WeekSlot now = lf_logTrafficTime();
  gf_takeLiveCallsigns();
  gf_lockParkingControls();
  g_mainWindow.adjusting = 0;
  g_parkRemovals.clear();
  g_keptParked.clear();
  g_liveStayers.clear();
  g_staticPlan.clear();

  // Options set aside by earlier plans take part again.
  for (Stand& s : g_stands) {
    s.taken = s.reserved = s.blocked = 0;
    std::uint32_t id = 1;
    for (ParkPosOption& o : s.options) o.id = id++;
  }
  lf_clearSetAside();
  lf_markReservedStands();

  const std::int32_t wanted = gf_staticParkCount();
  gf_collectLiveStayers();
  const auto stayers = static_cast<std::int32_t>(g_liveStayers.size());
  if (wanted > 0 && wanted < stayers) {
    gf_showMessage(fmt::format("Parking adjustments: {} more live ac than wanted", stayers - wanted), true);
    gf_removeLiveParked(static_cast<std::uint32_t>(stayers - wanted));
    g_liveStayers.clear();
    gf_collectLiveStayers();
  }

  for (const LiveStayer& s : g_liveStayers)
    if (Stand* stand = lf_standWithId(s.standId)) gf_planStand(*stand);
  for (const StaticPlan& k : g_keptParked)
    if (Stand* stand = lf_standWithId(k.standId)) gf_planStand(*stand);

  const auto have = static_cast<std::int32_t>(g_staticPlan.size() + g_keptParked.size() + g_liveStayers.size());
  if (wanted > have) {
    g_realFit = 0;
    g_softFit = -1;
    g_mainWindow.realFit = 0;
    g_mainWindow.softFit = -1;
    lf_planPositions(now, wanted, have, 1);
    if (wanted > have + static_cast<std::int32_t>(g_staticPlan.size()) &&
        (PARK_SOFT.value != 0 || PARK_FAKE.value != 0))
      lf_planPositions(now, wanted, have, 0);
  }

  lf_reviewParked(now);

  // An aircraft whose option ends now comes back under its coupled callsign at the same stand,
  // keeping its time there. It goes first among the records of its offset, so that a surplus drops
  // new aircraft before it.
  std::vector<PlanResult> swaps;
  for (const StaticPlan& k : g_keptParked) {
    if (k.leaving == 0) continue;
    swaps.push_back(PlanResult{k.standId, 0, k.airline, k.type, k.secondCallsign, k.coupledCallsign, k.registration,
                               0, WeekSlot{k.weekday, k.halfHour}});
    g_parkRemovals.push_back({k.callsign, k.standId});
  }
  g_staticPlan.insert(g_staticPlan.begin(), swaps.begin(), swaps.end());
  std::erase_if(g_keptParked, [](const StaticPlan& k) { return k.leaving != 0; });

  std::stable_sort(g_staticPlan.begin(), g_staticPlan.end(),
                   [](const PlanResult& a, const PlanResult& b) { return a.offset < b.offset; });

  // One record goes per round, so the loop ends even when nothing is left that may go.
  std::int64_t surplus = static_cast<std::int64_t>(g_staticPlan.size() + g_keptParked.size() + g_liveStayers.size()) -
                         wanted;
  for (; surplus > 0; --surplus) {
    if (!g_staticPlan.empty()) {
      g_staticPlan.pop_back();
    } else if (!g_keptParked.empty()) {
      g_parkRemovals.push_back({g_keptParked.back().callsign, g_keptParked.back().standId});
      g_keptParked.pop_back();
    } else if (INITIAL_LOAD_ONLY.value == 0 && !g_liveStayers.empty()) {
      const std::uint32_t standId = g_liveStayers.back().standId;
      for (LiveAc& ac : g_liveAcs)
        if (ac.standId == standId && ac.state == ActState::InSim) {
          removeAircraftFromSim(ac);
          break;
        }
      g_liveStayers.pop_back();
    } else {
      break;
    }
  }

  std::stable_sort(g_staticPlan.begin(), g_staticPlan.end(),
                   [](const PlanResult& a, const PlanResult& b) { return a.offset > b.offset; });
  gf_showMessage(fmt::format("Parking adjustments: {} to be removed, {} to be added\n", g_parkRemovals.size(),
                             g_staticPlan.size()),
                 true);

  while (!g_parkRemovals.empty()) {
    const ParkRemoval removal = g_parkRemovals.back();
    g_parkRemovals.pop_back();
    for (Act& act : g_parkedActs)
      if (act.standId == removal.standId && (act.state == ActState::InSim || act.state == ActState::Removing)) {
        removeAircraftFromSim(act);
        break;
      }
  }
  if (!g_staticPlan.empty()) gf_lockParkingControls();
}

void lf_reviewParked(WeekSlot now) {
  const ReviewContext context{g_staticPlan, now};
  for (const Act& act : g_parkedActs)
    if (act.state == ActState::InSim) lf_reviewParkedAc(context, act);

  std::stable_sort(g_keptParked.begin(), g_keptParked.end(), [](const StaticPlan& a, const StaticPlan& b) {
    return gf_laterInWeek({a.weekday, a.halfHour}, {b.weekday, b.halfHour});
  });
  for (StaticPlan& k : g_keptParked) {
    if (k.coupledCallsign.empty() || k.secondCallsign.empty() || k.callsign.find(k.secondCallsign) == std::string::npos)
      continue;
    const Stand* stand = lf_standWithId(k.standId);
    if (stand == nullptr) continue;
    std::string trimmed = k.callsign;
    if (!trimmed.empty() && trimmed.back() == '*') trimmed.pop_back();
    const LeavingContext leaving{k, now, trimmed, *stand};
    for (const ParkPosOption& o : stand->options)
      if (lf_markLeaving(leaving, o)) break;
  }
}

void lf_reviewParkedAc(const ReviewContext& context, const Act& act) {
  if (lf_live(act.secondCallsign) || lf_live(act.coupledCallsign)) {
    g_parkRemovals.push_back({act.callsign, act.standId});
    return;
  }
  std::vector<PlanResult>& plan = context.plan;
  auto same = std::find_if(plan.begin(), plan.end(), [&](const PlanResult& r) { return r.standId == act.standId; });
  if (same != plan.end()) {
    if (same->airline == act.airline && same->type == act.model &&
        (gf_equalsWithStar(same->callsign, act.callsign) || gf_equalsWithStar(same->coupledCallsign, act.callsign))) {
      g_keptParked.push_back(lf_keptOf(act));
      plan.erase(same);
    } else {
      lf_keepOrReplace(act, context, same);
    }
    return;
  }
  const Stand* stand = lf_standWithId(act.standId);
  if (stand != nullptr && !stand->overlapIds.empty()) {
    for (auto it = plan.begin(); it != plan.end(); ++it) {
      if (std::find(stand->overlapIds.begin(), stand->overlapIds.end(), it->standId) == stand->overlapIds.end()) continue;
      const Stand* other = lf_standWithId(it->standId);
      if (other == nullptr) continue;
      if (gf_distanceNm({act.latitude, act.longitude}, {other->lat, other->lon}) <
          act.halfWingspan + gf_halfWingspan(it->type)) {
        lf_keepOrReplace(act, context, it);
        return;
      }
    }
  }
  const int f = std::clamp(std::max(g_realFit, g_softFit), 0, 47);
  if (stand != nullptr && lf_stillCovered(*stand, act, context.now, f)) {
    g_keptParked.push_back(lf_keptOf(act));
    return;
  }
  g_parkRemovals.push_back({act.callsign, act.standId});
}

void lf_keepOrReplace(const Act& act, const ReviewContext& context, std::vector<PlanResult>::iterator result) {
  const WeekSlot start = result->standTime ? *result->standTime : gf_halfHoursBefore(context.now, result->offset);
  if (gf_laterInWeek(start, {act.weekDay, act.halfHourSlot})) {
    g_parkRemovals.push_back({act.callsign, act.standId});
  } else {
    g_keptParked.push_back(lf_keptOf(act));
    context.plan.erase(result);
  }
}

bool lf_markLeaving(const LeavingContext& c, const ParkPosOption& o) {
  if (o.id < 1 || o.day != c.now.weekday || o.cs1 != c.callsign ||
      o.airl != c.kept.airline || o.type != c.kept.type)
    return false;
  if (c.now.halfHour < 47) {
    c.kept.leaving = ((o.halfHours >> (c.now.halfHour + 1)) & 1u) == 0 ? 1 : 0;
  } else {
    const std::uint32_t next = c.now.weekday == 7 ? 1 : c.now.weekday + 1;
    const bool tomorrow = std::any_of(c.stand.options.begin(), c.stand.options.end(), [&](const ParkPosOption& p) {
      return p.id != 0 && p.day == next && p.airl == c.kept.airline && p.type == c.kept.type && (p.halfHours & 1u) != 0;
    });
    c.kept.leaving = tomorrow ? 0 : 1;
  }
  return true;
}

// ---- Removals ----

void gf_removeAllParkedAc() {
  std::lock_guard engine(gf_engineMutex());
  g_staticPlan.clear();
  gf_removeAllParkedActs();
  for (LiveAc& ac : g_liveAcs) {
    const auto phase = static_cast<std::uint32_t>(ac.phase);
    if (phase > 3 && ac.phase != GroundPhase::AtStand) continue;
    ac.latitude = ac.longitude = ac.heading = 0;
    ac.standId = 0;
    ac.cabinLightOff = 0;
    if (ac.state == ActState::InSim || ac.state == ActState::Creating) removeAircraftFromSim(ac);
  }
  std::erase_if(g_liveAcs, [](const LiveAc& ac) { return ac.eraseNow != 0; });
  lf_endParkAirport();
  if (const std::optional<std::int32_t> kept = lf_takeUserMaxLive(); kept && MAX_LIVE.value != *kept) {
    MAX_LIVE.value = *kept;
    g_maxLiveInUse = *kept;
    gf_showIntOption(MAX_LIVE);
    gf_applyMaxLive();
  }
}

std::vector<Act>::iterator gf_removeStaticForCollision(LiveAc live) {
  std::lock_guard engine(gf_engineMutex());
  for (auto it = g_parkedActs.begin(); it != g_parkedActs.end(); ++it) {
    if (it->state != ActState::InSim) continue;
    const double d = gf_distanceNm({live.position.latitude, live.position.longitude}, {it->latitude, it->longitude});
    if (d > (live.halfWingspan + it->halfWingspan) * 1.1) continue;
    if (LOG.value != 0)
      gf_logf("{:8}: {:8} removed for collision avoidance with live {}", gf_standName(it->standId), it->callsign,
              live.callsign);
    removeAircraftFromSim(*it);
    return it;
  }
  return g_parkedActs.end();
}

std::vector<LiveAc>::iterator gf_removeLiveAcMaxPark(std::uint32_t hexid) {
  std::lock_guard engine(gf_engineMutex());
  for (auto it = g_liveAcs.begin(); it != g_liveAcs.end(); ++it) {
    if (it->hexid != hexid || it->state != ActState::InSim) continue;
    gf_logf("{:}: {:8} max park exceeded, removed", gf_standName(it->standId), it->callsign);
    removeAircraftFromSim(*it);
    return it;
  }
  return g_liveAcs.end();
}

// ---- The restart's reset ----

void gf_resetParkState() {
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = AirportData{};
  }
  gf_resetParkAirports();
  gf_resetEngine();
  gf_resetStaticParking();
  gf_resetStandLearning();
  gf_clearNoMatchSet();
  g_stands.clear();
  g_parkAirportLoaded = 0;
  gf_resetParkAirportFile();
  g_shownQnh = 1013;
  gf_clearParkFigures();
}

}  // namespace amb
