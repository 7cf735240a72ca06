// The engine cycle: one gf_updateAI per 10 ms tick while the simulation runs, taking the simulator's
// results, stepping every live aircraft, pacing removals (one per 10 cycles) and creations (one per
// 50), and taking at most two traffic records (offered to the live aircraft by traffic/intake.cpp;
// one that none takes is a new aircraft).

#include "traffic/engine.hpp"
#include "traffic/spawn.hpp"
#include "traffic/identity.hpp"
#include "traffic/report_checks.hpp"
#include "traffic/intake.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/strings.hpp"
#include "core/user_error.hpp"
#include "feed/services.hpp"
#include "records/upcalls.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"
#include "sim/services.hpp"
#include "state/run_state.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <optional>

namespace amb {

using namespace up::airports;

std::atomic<std::int32_t> g_maxLiveInUse{-1};
std::vector<Act> g_parkedActs;
std::deque<CreateRequest> g_pendingLiveCreations;
std::deque<CreateRequest> g_pendingParkedCreations;
std::deque<std::uint32_t> g_removalDeque;
std::vector<std::uint32_t> g_spawnRequests;
std::vector<SimResult> g_createdObjects;
std::unordered_map<std::uint32_t, std::string_view> g_hexidTitles;
std::set<std::string> g_ghostCallsigns;
std::uint8_t g_fastRange = 0;
std::vector<LiveStayer> g_liveStayers;

namespace {

bool g_tablesReserved = false;

// The last position reported in the air of each aircraft whose stream ended (its object removed),
// for a while: the feed goes on repeating a vanished aircraft's last position, and such a repeat
// brings back no aircraft.
struct EndedStream {
  double latitude = 0, longitude = 0;
  std::int32_t cycle = 0;
};
std::unordered_map<std::uint32_t, EndedStream> g_endedStreams;
constexpr std::int32_t kEndedStreamCycles = 15 * kCyclesPerMinute;

void lf_noteEndedStream(const LiveAc& ac) {
  const std::int32_t now = g_engineCycle.load();
  std::erase_if(g_endedStreams, [&](const auto& e) { return now - e.second.cycle > kEndedStreamCycles; });
  if (ac.lastRecordAirborne != 0) g_endedStreams[ac.hexid] = {ac.lastRecordLatitude, ac.lastRecordLongitude, now};
}

bool lf_repeatsEndedStream(const TrafficRecord& record) {
  const auto it = g_endedStreams.find(record.hexid);
  return it != g_endedStreams.end() && record.situation.airborne != 0 &&
         record.situation.latitude == it->second.latitude && record.situation.longitude == it->second.longitude;
}

// The reference elevation of the altitude filter: the ground of the field the position lies near
// (the park airport's near it), else the park airport's, else far below any airport.
double lf_referenceElevation(const Situation& s) {
  const AirportData park = gf_parkAirportSnapshot();
  return gf_groundReferenceFt({s.latitude, s.longitude}, park.code.empty() ? std::nullopt : std::optional(park.alt));
}

}  // namespace

bool lf_nearReferenceGround(const Situation& s) {
  return s.altitude > 0 && s.altitude < 10000 && std::fabs(s.altitude - lf_referenceElevation(s)) <= 120;
}

bool lf_categoryAllowed(int category) {
  switch (category) {
    case Light:
      return LIGHT_AIRCRAFT.value != 0;
    case HighPerf:
      return HIGH_PERF_AIRCRAFT.value != 0;
    case Rotorcraft:
      return HELICOPTERS.value != 0;
    case Buzjets:
    case Large:
    case Heavy:
      return true;
    default:
      return false;
  }
}

bool LiveStayer::operator<(const LiveStayer& o) const {
  if (minutes != o.minutes) return minutes > o.minutes;
  if (standId != o.standId) return standId < o.standId;
  return callsign < o.callsign;
}

RecursiveTimedMutex& gf_engineMutex() {
  static RecursiveTimedMutex m;
  return m;
}

void gf_seedEngineRandom(std::uint32_t seed) { gf_randomEngine().seed(seed); }

// ---- Events ----

void lf_queueEvent(const Act& act, std::uint32_t eventId, std::uint32_t data) {
  gf_simPort().queueEvent({act.objectId, eventId, data});
}

void lf_setThrottle(Act& act, std::uint32_t index) {
  if (index > 4 || act.throttleMarker == index) return;
  lf_queueEvent(act, EVT_THROTTLE_SET, kThrottle[index]);
  act.throttleMarker = index;
}

void lf_setFlaps(Act& act, std::uint32_t marker) {
  if (marker > 3 || act.category == Rotorcraft || act.flapsMarker == marker) return;
  lf_queueEvent(act, EVT_FLAPS_SET, kFlaps[marker]);
  act.flapsMarker = marker;
}

void lf_setGear(Act& act, std::uint32_t down) {
  if (act.category == Rotorcraft) return;
  lf_queueEvent(act, EVT_GEAR_SET, down);
}

void lf_setLights(const Act& act, std::uint32_t nav, std::uint32_t beacon, std::uint32_t landing, std::uint32_t taxi,
                  std::uint32_t strobes, std::uint32_t logo, std::uint32_t cabin) {
  lf_queueEvent(act, EVT_NAV_LIGHTS_SET, nav);
  lf_queueEvent(act, EVT_BEACON_LIGHTS_SET, beacon);
  lf_queueEvent(act, EVT_LANDING_LIGHTS_SET, landing);
  lf_queueEvent(act, EVT_TAXI_LIGHTS_SET, taxi);
  lf_queueEvent(act, EVT_STROBES_SET, strobes);
  lf_queueEvent(act, EVT_LOGO_LIGHTS_SET, logo);
  lf_queueEvent(act, EVT_CABIN_LIGHTS_SET, cabin);
}

// ---- Lookups ----

namespace {

// Where each live aircraft sat in g_liveAcs when the list was last read, by one of its keys. The
// simulator's in-range answer names every object near the user in one cycle, and every record looks
// its aircraft up: a search through a thousand aircraft for each would take a million comparisons in
// that cycle. An entry is only a hint, trusted once the aircraft there is seen to hold the key still;
// the list is read again at most once a cycle, and a key the hints miss is searched for as before.
template <auto Key>
class LiveIndex {
public:
  LiveAc* find(std::uint32_t key) {
    if (LiveAc* ac = hinted(key)) return ac;
    const std::int32_t cycle = g_engineCycle.load(std::memory_order_relaxed);
    if (m_readInCycle != cycle) {
      read();
      m_readInCycle = cycle;
      if (LiveAc* ac = hinted(key)) return ac;
    }
    for (LiveAc& ac : g_liveAcs)
      if (ac.*Key == key) return &ac;
    return nullptr;
  }

private:
  void read() {
    m_places.clear();
    m_places.reserve(g_liveAcs.size());
    for (std::size_t i = 0; i < g_liveAcs.size(); ++i)
      if (g_liveAcs[i].*Key != 0) m_places.emplace_back(g_liveAcs[i].*Key, i);
    std::sort(m_places.begin(), m_places.end());
  }

  LiveAc* hinted(std::uint32_t key) {
    const auto it = std::lower_bound(m_places.begin(), m_places.end(), std::pair<std::uint32_t, std::size_t>(key, 0));
    if (it == m_places.end() || it->first != key || it->second >= g_liveAcs.size()) return nullptr;
    LiveAc& ac = g_liveAcs[it->second];
    return ac.*Key == key ? &ac : nullptr;
  }

  std::vector<std::pair<std::uint32_t, std::size_t>> m_places;
  std::int32_t m_readInCycle = -1;
};

LiveIndex<&Act::hexid> g_liveByHexid;
LiveIndex<&Act::objectId> g_liveByObjectId;

}  // namespace

LiveAc* lf_findLiveByHexid(std::uint32_t hexid) { return g_liveByHexid.find(hexid); }

LiveAc* lf_findLiveByObjectId(std::uint32_t objectId) { return g_liveByObjectId.find(objectId); }

Act* lf_findParkedByHexid(std::uint32_t hexid) {
  for (Act& act : g_parkedActs)
    if (act.hexid == hexid) return &act;
  return nullptr;
}

std::string gf_standName(std::uint32_t standId) {
  if (standId == 0) return "sid==0?";
  for (const Stand& s : *g_stands)
    if (s.id == standId) return s.name;
  return "unknown";
}

double lf_distanceFromUser(const LiveAc& ac) {
  return gf_distanceNm({g_engineUserAc.latitude, g_engineUserAc.longitude},
                       {ac.position.latitude, ac.position.longitude});
}

// ---- The cycle ----

namespace {

// A creation the simulator leaves unanswered this long is given up: the answer comes with the next
// in-range answer, within a second or two, unless the simulator lost the creation.
constexpr std::int32_t kCreationAnswerCycles = 30 * kCyclesPerSecond;

// Hands the queue's front creation to the simulator; its act (found by the hexid) counts the time
// to the answer from now.
template <typename Find>
void lf_handOverCreation(std::deque<CreateRequest>& queue, std::int32_t cycle, Find find) {
  const CreateRequest& request = queue.front();
  if (Act* act = find(request.hexid)) act->creationCycle = cycle;
  gf_simPort().queueCreation(request);
  queue.pop_front();
}

}  // namespace

void lf_giveUpUnansweredCreations(std::int32_t cycle) {
  // An act waits for its object only while its creation is with the simulator: lost there (or its
  // answer lost), it would wait for ever, shown never, and holding its hexid.
  const auto givenUp = [cycle](const Act& act) {
    if (act.state != ActState::Creating || act.objectId != 0 || act.creationCycle < 0 ||
        cycle - act.creationCycle < kCreationAnswerCycles)
      return false;
    gf_logPeerf("{}: the simulator has not answered its creation in {} s, given up", act.description(),
                kCreationAnswerCycles / kCyclesPerSecond);
    return true;
  };
  std::erase_if(g_liveAcs, givenUp);
  std::erase_if(g_parkedActs, givenUp);
}

namespace {

// The cycle under the engine's lock; once a second it hands out the user aircraft as RealTraffic is
// to get it.
void lf_runCycle(std::optional<UserAcBlock>& position) {
  std::lock_guard lock(gf_engineMutex());
  const std::int32_t cycle = g_engineCycle.load(std::memory_order_relaxed);
  SimPort& port = gf_simPort();
  try {
    try {
      gf_SimCommands();
      if (cycle % kCyclesPerSecond == 0) lf_giveUpUnansweredCreations(cycle);
      lf_updateAllLiveAc();

      if (cycle % 10 == 0) {
        if (!g_removalDeque.empty()) {
          port.queueRemoval(g_removalDeque.front());
          g_removalDeque.pop_front();
        }
        if (cycle % 50 == 0) {
          if (!g_pendingLiveCreations.empty()) {
            lf_handOverCreation(g_pendingLiveCreations, cycle, lf_findLiveByHexid);
          } else {
            if (!g_pendingParkedCreations.empty())
              lf_handOverCreation(g_pendingParkedCreations, cycle, lf_findParkedByHexid);
            if (!gf_staticPlanEmpty()) lf_parkStatic();
          }
        }
      }

      lf_handleUdpMessages();

      if (!g_spawnRequests.empty()) {
        const std::uint32_t hexid = g_spawnRequests.back();
        g_spawnRequests.pop_back();
        lf_buildCreationRequest(hexid);
      }

      // The flag stays up only while an aircraft still flares: one that was removed or went around
      // must not keep the requests at the fast pace.
      if (g_fastRange != 0 && cycle % 20 == 0 && std::none_of(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& ac) {
            return ac.state == ActState::InSim && ac.flareStage > 0 && ac.movesOnGround == 0;
          }))
        g_fastRange = 0;
      if (cycle % (g_fastRange != 0 ? 20 : 100) == 0 && !port.sendingStopped()) {
        if (!port.requestAiNearby(gf_nearbyRadiusMeters())) {
          gf_logMarked("SimConnect request ac within range fails");
          port.requestFailed();
        }
      }

      if (cycle % 100 == 0) {
        position = g_engineUserAc;
        g_engineUserAc = port.requestUserAircraft();
        g_engineUserGroundSpeed = g_engineUserAc.groundSpeed;
      }
    } catch (const std::exception& e) {
      gf_logf("{}: {}", "gf_updateAI", e.what());
      throw;
    }
  } catch (const UserErrorException& e) {
    // A user error (too many refused liveries) is shown; the rest of this cycle is skipped and the
    // engine goes on with the next one.
    gf_showError(e.what());
  }
  g_engineCycle.store(cycle + 1, std::memory_order_relaxed);
}

}  // namespace

void gf_updateAI() {
  // The user aircraft as RealTraffic gets it this cycle, sent once the lock is released.
  std::optional<UserAcBlock> position;
  lf_runCycle(position);
  if (!position) return;
  try {
    lf_sendPosition(*position);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "gf_updateAI", e.what());
    throw;
  }
}

void lf_updateAllLiveAc() {
  bool anyRemoved = false;
  // Index loop: a step may append to nothing here, but it may look the list up by hexid.
  for (std::size_t i = 0; i < g_liveAcs.size(); ++i)
    if (updateLiveAc(g_liveAcs[i])) anyRemoved = true;
  if (anyRemoved)
    std::erase_if(g_liveAcs, [](const LiveAc& ac) {
      if (ac.remove != 0) lf_noteEndedStream(ac);
      return ac.remove != 0;
    });
  gf_simPort().handOverPositions();
}

// ---- Intake ----

void lf_handleUdpMessages() {
  TrafficRecord records[2];
  int n = 0;
  {
    std::lock_guard lock(g_trafficQueueMutex);
    while (n < 2 && !g_trafficQueue.empty()) {
      records[n++] = std::move(g_trafficQueue.front());
      g_trafficQueue.pop_front();
    }
  }
  try {
    for (int i = 0; i < n; ++i) {
      TrafficRecord& record = records[i];
      // Only the aircraft with the record's address takes it (and there is one at most).
      if (LiveAc* ac = lf_findLiveByHexid(record.hexid); ac != nullptr && lf_offerRecord(*ac, record)) continue;
      const AcIdentity& id = record.identity;
      if (!id.callsign.empty() && std::any_of(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& ac) {
            return ac.callsign == id.callsign && ac.model == id.model;
          }))
        continue;
      if (lf_repeatsEndedStream(record)) continue;
      lf_newAircraft(record);
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_handleUdpMessages", e.what());
    throw;
  }
}

const char* lf_newAircraft(TrafficRecord& record) {
  AcIdentity& id = record.identity;
  if (id.model.empty()) id.model = gf_typeOfRegistration(id.registration);
  if (!gf_isValidModel(id.model)) {
    std::string type = gf_typeOfRegistration(id.registration);
    if (type.empty()) return "no aircraft type known";
    id.model = std::move(type);
  }
  if (!lf_categoryAllowed(gf_aircraftCategory(id.model))) return "its category is not shown";
  if (lf_nearReferenceGround(record.situation)) return "its position lies at the height of the ground";
  id.secondCallsign = id.callsign;
  id.coupledCallsign.clear();
  id.coupledCallsignSearched = 0;
  AcData data(id);
  data.hexid = record.hexid;
  lf_setLiveValues(data);
  g_liveAcs.emplace_back(record.situation, std::move(data), record.timestamp);
  return nullptr;
}

std::uint32_t gf_nearbyRadiusMeters() { return g_radiusMeters.load(std::memory_order_relaxed) + 3704; }

// ---- Creations ----

void lf_buildCreationRequest(std::uint32_t hexid) {
  LiveAc* ac = lf_findLiveByHexid(hexid);
  if (ac == nullptr || ac->state != ActState::Creating) return;
  if (ac->callsign.empty()) {
    gf_logf("{} {} objectid = 0?", "operator ()", ac->description());
    // Nothing can be created for it, so it must not wait in Creating for ever.
    ac->remove = 1;
    return;
  }
  CreateRequest request;
  request.position.latitude = ac->position.latitude;
  request.position.longitude = ac->position.longitude;
  request.position.altitude = ac->position.altitude;
  request.position.pitch = ac->position.pitch * kRadToDeg;
  request.position.bank = ac->position.bank * kRadToDeg;
  request.position.heading = ac->position.heading * kRadToDeg;
  request.position.onGround = (!ac->situations.empty() && ac->situations.front().airborne == 0) ? 1 : 0;
  request.position.airspeed = 0;
  request.callsign = ac->callsign;
  request.title = ac->liveryTitle;
  request.hexid = ac->hexid;
  g_pendingLiveCreations.push_back(std::move(request));
}

// ---- Live limits ----

bool lf_removeFarthestLive(double distanceNm) {
  LiveAc* farthest = nullptr;
  double best = distanceNm;
  for (LiveAc& ac : g_liveAcs) {
    if (ac.state != ActState::InSim) continue;
    const double d = lf_distanceFromUser(ac);
    if (d > best + 0.1) {
      farthest = &ac;
      best = d;
    }
  }
  if (farthest == nullptr) return true;
  removeAircraftFromSim(*farthest);
  return false;
}

void gf_applyMaxLive() {
  std::lock_guard lock(gf_engineMutex());
  const std::int32_t limit = g_maxLiveInUse.load();
  if (limit == MAX_LIVE.defaultValue) return;
  const auto inSim =
      std::count_if(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& ac) { return ac.state == ActState::InSim; });
  for (auto excess = inSim - limit; excess > 0; --excess) lf_removeFarthestLive(-1.0);
}

void gf_reserveLiveTables() {
  std::lock_guard lock(gf_engineMutex());
  if (g_tablesReserved) return;
  g_tablesReserved = true;
  g_liveStayers.reserve(64);
  g_liveAcs.reserve(512);
  g_parkedActs.reserve(256);
  g_stands->reserve(512);
  g_createdObjects.reserve(128);
  g_spawnRequests.reserve(64);
}

void gf_flushRemovalDeque() {
  std::lock_guard lock(gf_engineMutex());
  while (!g_removalDeque.empty()) {
    gf_simPort().queueRemoval(g_removalDeque.front());
    g_removalDeque.pop_front();
  }
}

void gf_clearHexidTitles() {
  std::lock_guard lock(gf_engineMutex());
  g_hexidTitles.clear();
}

void gf_clearGhostCallsigns() {
  std::lock_guard lock(gf_engineMutex());
  g_ghostCallsigns.clear();
}

void gf_resetEngine() {
  std::lock_guard lock(gf_engineMutex());
  gf_resetLiveAcs();
  g_parkedActs.clear();
  g_pendingLiveCreations.clear();
  g_pendingParkedCreations.clear();
  g_removalDeque.clear();
  g_spawnRequests.clear();
  g_createdObjects.clear();
  g_newArrivals.clear();
  g_liveStayers.clear();
  g_endedStreams.clear();
  g_fastRange = 0;
  g_maxLiveInUse = MAX_LIVE.defaultValue;
  lf_resetReportChecks();
}

}  // namespace amb
