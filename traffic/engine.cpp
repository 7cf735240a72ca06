// The engine cycle and the intake of traffic records: one gf_updateAI per 10 ms tick while the
// simulation runs, taking the simulator's results, stepping every live aircraft, pacing removals
// (one per 10 cycles) and creations (one per 50), and taking at most two traffic records.

#include "traffic/engine.hpp"
#include "traffic/spawn.hpp"
#include "traffic/identity.hpp"
#include "traffic/report_checks.hpp"

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

// The reference elevation of the altitude filter: the park airport's, else far below any airport.
double lf_referenceElevation() {
  const AirportData park = gf_parkAirportSnapshot();
  return park.code.empty() ? -1000.0 : park.alt;
}

// First seen close to the airport's ground without being on the ground: not taken up.
bool lf_nearReferenceGround(const Situation& s) {
  return s.altitude > 0 && s.altitude < 10000 && std::fabs(s.altitude - lf_referenceElevation()) <= 120;
}

// The unsigned difference of two headings in degrees, 0 to 180.
double lf_headingDiffDeg(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 360.0);
  return d > 180 ? 360 - d : d;
}

}  // namespace

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

std::recursive_mutex& gf_engineMutex() {
  static std::recursive_mutex m;
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

LiveAc* lf_findLiveByHexid(std::uint32_t hexid) {
  for (LiveAc& ac : g_liveAcs)
    if (ac.hexid == hexid) return &ac;
  return nullptr;
}

LiveAc* lf_findLiveByObjectId(std::uint32_t objectId) {
  for (LiveAc& ac : g_liveAcs)
    if (ac.objectId == objectId) return &ac;
  return nullptr;
}

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

void gf_updateAI() {
  std::lock_guard lock(gf_engineMutex());
  const std::int32_t cycle = g_engineCycle.load(std::memory_order_relaxed);
  SimPort& port = gf_simPort();
  try {
    try {
      gf_SimCommands();
      lf_updateAllLiveAc();

      if (cycle % 10 == 0) {
        if (!g_removalDeque.empty()) {
          port.queueRemoval(g_removalDeque.front());
          g_removalDeque.pop_front();
        }
        if (cycle % 50 == 0) {
          if (!g_pendingLiveCreations.empty()) {
            port.queueCreation(g_pendingLiveCreations.front());
            g_pendingLiveCreations.pop_front();
          } else {
            if (!g_pendingParkedCreations.empty()) {
              port.queueCreation(g_pendingParkedCreations.front());
              g_pendingParkedCreations.pop_front();
            }
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
        lf_sendPosition();
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

void lf_updateAllLiveAc() {
  bool anyRemoved = false;
  // Index loop: a step may append to nothing here, but it may look the list up by hexid.
  for (std::size_t i = 0; i < g_liveAcs.size(); ++i)
    if (updateLiveAc(g_liveAcs[i])) anyRemoved = true;
  if (anyRemoved) std::erase_if(g_liveAcs, [](const LiveAc& ac) { return ac.remove != 0; });
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
      bool taken = false;
      for (std::size_t k = 0; k < g_liveAcs.size() && !taken; ++k) taken = lf_offerRecord(g_liveAcs[k], record);
      if (taken) continue;
      const AcIdentity& id = record.identity;
      if (!id.callsign.empty() && std::any_of(g_liveAcs.begin(), g_liveAcs.end(), [&](const LiveAc& ac) {
            return ac.callsign == id.callsign && ac.model == id.model;
          }))
        continue;
      lf_newAircraft(record);
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_handleUdpMessages", e.what());
    throw;
  }
}

void lf_newAircraft(TrafficRecord& record) {
  AcIdentity& id = record.identity;
  if (id.model.empty()) id.model = gf_typeOfRegistration(id.registration);
  if (!gf_isValidModel(id.model)) {
    std::string type = gf_typeOfRegistration(id.registration);
    if (type.empty()) return;
    id.model = std::move(type);
  }
  if (!lf_categoryAllowed(gf_aircraftCategory(id.model))) return;
  if (lf_nearReferenceGround(record.situation)) return;
  id.secondCallsign = id.callsign;
  id.coupledCallsign.clear();
  id.coupledCallsignSearched = 0;
  AcData data(id);
  data.hexid = record.hexid;
  lf_setLiveValues(data);
  g_liveAcs.emplace_back(record.situation, std::move(data), record.timestamp);
}

double lf_plausibleSpeedKt(double speed1, double speed2) { return 3 * std::max({speed1, speed2, 0.0}) + 100; }

bool lf_impliesImpossibleSpeed(const LatLon& from, double fromSpeed, const LatLon& to, double toSpeed,
                               double seconds) {
  const double distanceNm = gf_distanceNm(from, to);
  if (seconds <= 0) return distanceNm > 0;
  return distanceNm > lf_plausibleSpeedKt(fromSpeed, toSpeed) * seconds / 3600.0;
}

bool lf_liesBehind(const LatLon& from, double trackDeg, double fromSpeed, const LatLon& to, double toSpeed,
                   double seconds) {
  const double distanceNm = gf_distanceNm(from, to);
  if (distanceNm <= 0) return false;
  const double behindNm = -distanceNm * std::cos(gf_bearingRad(from, to) - trackDeg * kDegToRad);
  // 0.05 nm for the feed's rounding of positions.
  return behindNm > std::max({fromSpeed, toSpeed, 0.0}) * std::max(seconds, 0.0) / 3600.0 + 0.05;
}

namespace {

// A reported position of an aircraft, as a later record is measured against it: where, since when
// (the time it was first reported), how fast, along which track, and whether in the air.
struct Reported {
  LatLon at;
  double time = 0;
  double speed = 0;
  double track = 0;  // degrees
  bool airborne = false;
  // The course (degrees) from the position reported before it, when one is known.
  std::optional<double> course;
};

Reported lf_lastTaken(const LiveAc& ac) {
  return {{ac.lastRecordLatitude, ac.lastRecordLongitude},
          ac.lastRecordTime,
          ac.lastRecordSpeed,
          ac.lastRecordTrack,
          ac.lastRecordAirborne != 0,
          ac.lastRecordCourse};
}

// A record held back, reached from the last position taken.
Reported lf_reportedOf(const LiveAc& ac, const LiveAc::HeldRecord& held) {
  const Situation& s = held.situation;
  const LatLon at{s.latitude, s.longitude};
  return {at,       held.timestamp, s.speed, s.heading, s.airborne != 0,
          gf_bearingRad({ac.lastRecordLatitude, ac.lastRecordLongitude}, at) * kRadToDeg};
}

enum class Fit { Fits, TooFast, Behind, SpeedJump, TurnedBack };

// A reported speed that jumps from the one before it: tenfold, or from standing (5 kt or less) to
// 80 kt or more, or back. Such a record is a glitch of the feed unless the next ones go on from it.
bool lf_speedJumps(double v0, double v) {
  if ((v0 > 5 && v >= 10 * v0) || (v > 5 && v0 >= 10 * v)) return true;
  if ((v0 <= 5 && v >= 80) || (v <= 5 && v0 >= 80)) return true;
  return false;
}

// Whether a record of an aircraft could follow from an earlier position: not when reaching it implies
// an impossible speed, nor when it lies behind an aircraft in the air, along its track, farther than
// its speed covers in the time (a stale position: a sender replaying old traffic with fresh times, or
// the feed repeating an old one). Two records on the ground are not compared: taxiing aircraft jump
// between the feed's sources and turn on the spot, and the ground movement has rules of its own for a
// position far from the last.
Fit lf_fit(const Reported& from, const Situation& s, double time) {
  if (s.airborne == 0 && !from.airborne) return Fit::Fits;
  const LatLon to{s.latitude, s.longitude};
  const double seconds = time - from.time;
  if (lf_impliesImpossibleSpeed(from.at, from.speed, to, s.speed, seconds)) return Fit::TooFast;
  // Behind along the reported track and along the course the positions took to it (a feed's track
  // may point the other way); without a course the way the aircraft goes is not known.
  if (from.airborne && from.course && lf_liesBehind(from.at, from.track, from.speed, to, s.speed, seconds) &&
      lf_liesBehind(from.at, *from.course, from.speed, to, s.speed, seconds))
    return Fit::Behind;
  return Fit::Fits;
}

// Where an aircraft would be at `time` had it gone on from a reported position at its speed and track.
LatLon lf_wentOn(const Reported& r, double time) {
  const double nm = std::max(r.speed, 0.0) * std::max(time - r.time, 0.0) / 3600.0;
  return gf_destinationPoint(r.at, r.track * kDegToRad, nm * kFeetPerNm);
}

// A record held back, and one that fits it: the record continues from the held one rather than from
// the last one taken when it does not fit the last one taken, or lies nearer to where the aircraft
// would be had it gone on from the held one.
bool lf_continuesFrom(const Reported& held, const Reported& last, const Situation& s, double time) {
  const LatLon to{s.latitude, s.longitude};
  return gf_distanceNm(to, lf_wentOn(held, time)) < gf_distanceNm(to, lf_wentOn(last, time));
}

void lf_logHeldBack(LiveAc& ac, const Reported& last, const Situation& s, double time, Fit fit) {
  if (ac.implausibleLogged != 0) return;
  ac.implausibleLogged = 1;
  const LatLon to{s.latitude, s.longitude};
  const double seconds = time - last.time;
  const double distanceNm = gf_distanceNm(last.at, to);
  if (fit == Fit::TooFast)
    gf_logPeerf("{} hexid:{}: position dropped as stale or foreign, {:.2f} nm in {:.1f} s, above {:.0f} kt"
                " (later ones of this aircraft are dropped without a line)",
                ac.callsign, ac.hexid, distanceNm, seconds, lf_plausibleSpeedKt(last.speed, s.speed));
  else
    gf_logPeerf("{} hexid:{}: position dropped as stale or foreign, {:.2f} nm behind its track after {:.1f} s at"
                " {:.0f} kt (later ones of this aircraft are dropped without a line)",
                ac.callsign, ac.hexid, -distanceNm * std::cos(gf_bearingRad(last.at, to) - last.track * kDegToRad),
                seconds, std::max(last.speed, s.speed));
}

// Flying synthetic legs on after the feed fell silent, the aircraft gets a record 100 degrees or more
// off the track last reported, measured from where it was reported: a stale position, or one it
// turned back to meanwhile. The synthetic legs do not take it; it waits for the next record to tell.
bool lf_turnsBackWhileExtending(const LiveAc& ac, const Situation& s) {
  if ((ac.extensionCount <= 0 && ac.waiting == 0) || ac.movesOnGround != 0) return false;
  if (s.latitude == ac.lastRecordLatitude && s.longitude == ac.lastRecordLongitude) return false;
  return lf_turnsBackFromLastRecord(ac, s);
}

// Takes a record into the aircraft: its identity, its buffer, and the last record taken (after the
// buffer, whose checks measure the record against the one before it).
void lf_takeRecord(LiveAc& ac, const AcIdentity& identity, const Situation& s, double time, bool confirmedJump) {
  if (ac.state == ActState::New && lf_nearReferenceGround(s)) return;
  // A respawn for a new identity keeps the buffer, and this record is where the aircraft goes next.
  if (!lf_updateIdentity(ac, identity) && ac.state != ActState::Respawning) return;
  ac.lastDataTime = time;
  decodeExisting(ac, s, confirmedJump);
  if (s.latitude != ac.lastRecordLatitude || s.longitude != ac.lastRecordLongitude) {
    ac.lastRecordCourse =
        gf_bearingRad({ac.lastRecordLatitude, ac.lastRecordLongitude}, {s.latitude, s.longitude}) * kRadToDeg;
    ac.lastRecordLatitude = s.latitude;
    ac.lastRecordLongitude = s.longitude;
    ac.lastRecordTime = time;
    ac.lastRecordTrack = s.heading;
  }
  ac.lastRecordSpeed = s.speed;
  ac.lastRecordAirborne = s.airborne;
}

// The record measured against the last one taken: its position, and its speed against the speed of
// the buffer's last situation (as the buffer keeps it: a standing one at 0).
Fit lf_fitLast(const LiveAc& ac, const Situation& s, double time) {
  const Fit fit = lf_fit(lf_lastTaken(ac), s, time);
  if (fit == Fit::Fits && !ac.situations.empty() && lf_speedJumps(ac.situations.back().speed, s.speed))
    return Fit::SpeedJump;
  if (fit == Fit::Fits && lf_turnsBackWhileExtending(ac, s)) return Fit::TurnedBack;
  return fit;
}

// A record that does not fit the last one taken is held back. The next record decides: one that
// continues from the held one confirms it as a real jump (the held record is taken, then this one);
// one that continues from the last one taken shows it stale or foreign (it is dropped); one that fits
// neither is held back in its place. Returns true when the record has been dealt with.
bool lf_holdOrConfirm(LiveAc& ac, const TrafficRecord& record) {
  const Situation& s = record.situation;
  const double t = record.timestamp;
  Fit fit = lf_fitLast(ac, s, t);
  if (ac.heldRecord) {
    const LiveAc::HeldRecord& held = *ac.heldRecord;
    // The feed repeating the held position adds nothing: it is no later report of the aircraft there.
    if (s.latitude == held.situation.latitude && s.longitude == held.situation.longitude) return true;
    const Reported from = lf_reportedOf(ac, held);
    if (lf_fit(from, s, t) == Fit::Fits && !lf_speedJumps(held.situation.speed, s.speed) &&
        (fit != Fit::Fits || lf_continuesFrom(from, lf_lastTaken(ac), s, t))) {
      const LiveAc::HeldRecord jump = std::move(*ac.heldRecord);
      ac.heldRecord.reset();
      if (ac.jumpLogged == 0) {
        ac.jumpLogged = 1;
        gf_logPeerf("{} hexid:{}: position taken after all, {:.2f} nm from the last one: the next records continue"
                    " from it (later ones of this aircraft without a line)",
                    ac.callsign, ac.hexid,
                    gf_distanceNm({ac.lastRecordLatitude, ac.lastRecordLongitude}, from.at));
      }
      lf_takeRecord(ac, jump.identity, jump.situation, jump.timestamp, true);
      if (ac.state == ActState::Respawning || ac.state == ActState::Removing) return true;
      fit = lf_fitLast(ac, s, t);
    } else if (fit == Fit::Fits) {
      ac.heldRecord.reset();
    }
  }
  if (fit == Fit::Fits) return false;
  if (fit == Fit::TooFast || fit == Fit::Behind) lf_logHeldBack(ac, lf_lastTaken(ac), s, t, fit);
  ac.heldRecord = LiveAc::HeldRecord{record.identity, s, t};
  return true;
}

}  // namespace

bool lf_startFromHeldRecord(LiveAc& ac) {
  if (!ac.heldRecord) return false;
  const LiveAc::HeldRecord held = std::move(*ac.heldRecord);
  ac.heldRecord.reset();
  ac.situations.clear();
  lf_takeRecord(ac, held.identity, held.situation, held.timestamp, true);
  return !ac.situations.empty();
}

bool lf_offerRecord(LiveAc& ac, TrafficRecord& record) {
  if (record.hexid != ac.hexid) return false;
  if (ac.state == ActState::Respawning || ac.state == ActState::Removing) return true;
  const Situation& s = record.situation;
  const double t = record.timestamp;
  if (!ac.situations.empty()) {
    const Situation& last = ac.situations.back();
    const double dt = t - ac.lastDataTime;
    const double v = s.speed;
    if (t == ac.lastDataTime || dt <= 1.0) return true;
    if (ac.extensionCount < 1) {
      const double headingDiff = lf_headingDiffDeg(s.heading, last.heading);
      if (s.airborne) {
        if (v > 120 && headingDiff <= 1 && dt <= 0.2429805615550756 / v * 3600.0) return true;
      } else if (v <= 30 && headingDiff <= 2) {
        const double limit = v > 0 ? std::min(15.0, 0.010799136069114472 / v * 3600.0) : 15.0;
        if (dt <= limit) return true;
      }
    }
  }
  if (lf_holdOrConfirm(ac, record)) return true;
  lf_takeRecord(ac, record.identity, s, t, false);
  return true;
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
  g_fastRange = 0;
  g_maxLiveInUse = MAX_LIVE.defaultValue;
  lf_resetReportChecks();
}

}  // namespace amb
