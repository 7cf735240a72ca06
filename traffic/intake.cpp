// The intake of a known aircraft's records: a record is offered to each live aircraft in turn; the
// one whose hexid it carries takes it into its buffer, holds it, or drops it.

#include "traffic/intake.hpp"
#include "traffic/engine.hpp"
#include "traffic/identity.hpp"
#include "traffic/spawn.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"

#include <algorithm>
#include <array>
#include <cmath>

namespace amb {

namespace {

// The unsigned difference of two headings in degrees, 0 to 180.
double lf_headingDiffDeg(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 360.0);
  return d > 180 ? 360 - d : d;
}

// A record that has the aircraft no more than 450 m on may repeat the last one (nautical miles).
constexpr double kRepeatWithinNm = 0.2429805615550756;
// The turn at a position beyond which the way out to it and the way on from it are one line flown
// out and back (degrees).
constexpr double kOutAndBackDeg = 100.0;
// A record within this of the track taken so far repeats a stretch of it (nautical miles).
constexpr double kTrackTakenWithinNm = 0.3;
// A step between two positions faster than this many times the higher of their reported speeds and
// this many knots more is no way an aircraft flew.
constexpr double kImplausibleFactor = 3.0;
constexpr double kImplausibleAddKt = 100.0;
// Held records refused for the way to them, each going on from the one before, after which the
// next one that goes on from them has the last of them taken: three records that agree with one
// another.
constexpr std::uint8_t kChainTaken = 1;
// The longest the feed repeats a position before it moves on (seconds): the stream of the last
// position taken that has sent nothing for longer has ended.
constexpr double kStreamSilentSeconds = 60.0;

LatLon lf_at(const Situation& s) { return {s.latitude, s.longitude}; }
bool lf_same(const LatLon& a, const LatLon& b) { return a.lat == b.lat && a.lon == b.lon; }



// Takes a record into the aircraft: its identity, its buffer, and the last record taken (after the
// buffer, whose rules measure the record against the one before it).
void lf_takeRecord(LiveAc& ac, const AcIdentity& identity, const Situation& s, double time) {
  if (ac.state == ActState::New && lf_nearReferenceGround(s)) return;
  // A respawn for a new identity keeps the buffer, and this record is where the aircraft goes next.
  if (!lf_updateIdentity(ac, identity) && ac.state != ActState::Respawning) return;
  ac.lastDataTime = std::max(ac.lastDataTime, time);
  decodeExisting(ac, s);
  if (s.latitude != ac.lastRecordLatitude || s.longitude != ac.lastRecordLongitude) {
    ac.lastMoveCycle = g_engineCycle.load(std::memory_order_relaxed);
    if (ac.lastRecordLatitude != 0 || ac.lastRecordLongitude != 0) {
      std::copy_backward(ac.earlierPositions.begin(), ac.earlierPositions.end() - 1, ac.earlierPositions.end());
      ac.earlierPositions.front() = {ac.lastRecordLatitude, ac.lastRecordLongitude};
      ac.earlierCount = static_cast<std::uint8_t>(std::min<std::size_t>(ac.earlierCount + 1u, LiveAc::kEarlierPositions));
    }
    LiveAc::TimedPosition p{lf_at(s), time, s.due, s.speed};
    if (ac.recentCount > 0) {
      const LiveAc::TimedPosition& before = gf_recentPosition(ac, 0);
      p.stepNm = gf_distanceNm(before.at, p.at);
      // Over the time between the two arrivals (their dues): a line's stamp may lie seconds off it.
      if (s.due > before.due) p.stepKt = p.stepNm / (static_cast<double>(s.due - before.due) / kCyclesPerSecond) * 3600.0;
    }
    if (ac.recentPositions.size() < LiveAc::kRecentPositions)
      ac.recentPositions.push_back(p);
    else
      ac.recentPositions[ac.recentNext] = p;
    ac.recentNext = static_cast<std::uint8_t>((ac.recentNext + 1) % LiveAc::kRecentPositions);
    ac.recentCount = static_cast<std::uint8_t>(std::min<std::size_t>(ac.recentCount + 1u, LiveAc::kRecentPositions));
  }
  ac.lastRecordLatitude = s.latitude;
  ac.lastRecordLongitude = s.longitude;
  ac.lastRecordTrack = s.heading;
  ac.lastRecordSpeed = s.speed;
  ac.lastRecordAirborne = s.airborne;
  if (s.airborne != 0 && s.speed > 0 && (ac.slowestAirborneKt <= 0 || s.speed < ac.slowestAirborneKt))
    ac.slowestAirborneKt = s.speed;
}

// The speed a record is measured against: the buffer's last situation's, as the buffer keeps it (a
// standing one at 0), else the last record's.
double lf_lastSpeed(const LiveAc& ac) {
  return ac.situations.empty() ? ac.lastRecordSpeed : ac.situations.back().speed;
}

// A copy of a position taken lately, other than the last one, that the feed sends again: another
// sender's stale snapshot, or a line that comes round again. An aeroplane in the air does not come back
// to the very spot within half a minute; a helicopter may hover back to it, and on the ground aircraft
// stand and shuffle.
bool lf_staleCopy(const LiveAc& ac, const Situation& s) {
  if (ac.category == Rotorcraft || s.airborne == 0 || ac.lastRecordAirborne == 0) return false;
  const LatLon at = lf_at(s);
  for (std::size_t i = 1; i < ac.recentCount; ++i)
    if (lf_same(gf_recentPosition(ac, i).at, at)) return true;
  return false;
}

void lf_logDropped(LiveAc& ac, const LiveAc::HeldRecord& held, bool outAndBack) {
  if (ac.implausibleLogged != 0) return;
  ac.implausibleLogged = 1;
  const LatLon last{ac.lastRecordLatitude, ac.lastRecordLongitude};
  const LatLon at = lf_at(held.situation);
  gf_logPeerf(
      "{} hexid:{}: position dropped as stale or foreign, {:.2f} nm from the last one taken along {:.0f} deg"
      " against its track of {:.0f} deg, and the next record {} (later ones of this"
      " aircraft are dropped without a line)",
      ac.callsign, ac.hexid, gf_distanceNm(last, at), gf_bearingRad(last, at) * kRadToDeg, held.situation.heading,
      outAndBack ? "turns back from it onto the track already taken" : "goes on from the last one");
}

// Back at a position taken before the last one, other than the last one itself.
bool lf_takenBefore(const LiveAc& ac, const LatLon& at) {
  const auto end = ac.earlierPositions.begin() + ac.earlierCount;
  return std::any_of(ac.earlierPositions.begin(), end, [&](const LatLon& p) { return lf_same(p, at); });
}

// Within kTrackTakenWithinNm of the track taken up to the last position: the way between the
// positions taken before it and it.
bool lf_onTrackTaken(const LiveAc& ac, const LatLon& at) {
  LatLon to{ac.lastRecordLatitude, ac.lastRecordLongitude};
  for (std::size_t i = 0; i < ac.earlierCount; ++i) {
    const LatLon& from = ac.earlierPositions[i];
    if (gf_segmentDistanceNm(at, from, to) <= kTrackTakenWithinNm) return true;
    to = from;
  }
  return false;
}

bool lf_tracksTurnRound(const LiveAc& ac, const Situation& held, const Situation& next);

// An aeroplane does not fly out to a position and straight back along the way it came: a held
// position that the next record turns back from, by more than a right angle and then some, onto the
// track already taken, was another sender's stale position (its own stream goes on from it along the
// way the aircraft already flew), however well that record goes on from it. A helicopter may, and so
// does an aeroplane whose reported tracks turn round with it (a tight circle).
bool lf_outAndBack(const LiveAc& ac, const Situation& heldRecord, const Situation& nextRecord) {
  const LatLon last{ac.lastRecordLatitude, ac.lastRecordLongitude};
  const LatLon held = lf_at(heldRecord), next = lf_at(nextRecord);
  if (ac.category == Rotorcraft || gf_distanceNm(last, held) <= kTooNearForCourseNm ||
      gf_distanceNm(held, next) <= kTooNearForCourseNm || lf_tracksTurnRound(ac, heldRecord, nextRecord))
    return false;
  return std::fabs(gf_angleDiff(gf_bearingRad(last, held), gf_bearingRad(held, next))) > kOutAndBackDeg * kDegToRad &&
         lf_onTrackTaken(ac, next);
}

void lf_logTakenAfterAll(LiveAc& ac, const LiveAc::HeldRecord& held) {
  if (ac.jumpLogged != 0) return;
  ac.jumpLogged = 1;
  gf_logPeerf("{} hexid:{}: position taken after all, {:.2f} nm from the last one: the next records continue"
              " from it (later ones of this aircraft without a line)",
              ac.callsign, ac.hexid,
              gf_distanceNm({ac.lastRecordLatitude, ac.lastRecordLongitude}, lf_at(held.situation)));
}

// Held in the air for its own reported track, which disagrees with its course from the last position
// taken (not merely for a speed that jumps).
bool lf_heldForItsTrack(const LiveAc& ac, const Situation& held) {
  // A helicopter may turn round on the spot: where it went, it went.
  if (ac.category == Rotorcraft || (held.airborne == 0 && ac.lastRecordAirborne == 0)) return false;
  const LatLon last{ac.lastRecordLatitude, ac.lastRecordLongitude};
  return !lf_goesOnFrom(last, ac.lastRecordAirborne != 0, held.speed, held);
}

bool lf_trackGiven(const Situation& s) { return s.heading != 0 || s.feedTrackGiven != 0; }

// The records allow the way from the last position taken to a held one: the next record's track lies
// within a right angle of it, or the tracks reported from the last one through the held one to the
// next turn by a right angle or more in all (the aircraft turned round, and they say so). Otherwise it
// would have turned round to fly that way, which its tracks say it did not. No track, or the two
// positions too near to tell, allows it.
// The tracks reported from the last record taken through a held one to the next turn by a right angle
// or more in all: the records say the aircraft turned round.
bool lf_tracksTurnRound(const LiveAc& ac, const Situation& held, const Situation& next) {
  if (!lf_trackGiven(held) || !lf_trackGiven(next)) return false;
  const double turned = std::fabs(gf_angleDiff(ac.lastRecordTrack * kDegToRad, held.heading * kDegToRad)) +
                        std::fabs(gf_angleDiff(held.heading * kDegToRad, next.heading * kDegToRad));
  return turned >= kPi / 2;
}

bool lf_tracksAllowWayTo(const LiveAc& ac, const Situation& held, const Situation& next, const LatLon& to) {
  const LatLon from{ac.lastRecordLatitude, ac.lastRecordLongitude};
  if (!lf_trackGiven(next) || gf_distanceNm(from, to) <= kTooNearForCourseNm) return true;
  if (std::fabs(gf_angleDiff(gf_bearingRad(from, to), next.heading * kDegToRad)) <= kPi / 2) return true;
  return lf_tracksTurnRound(ac, held, next);
}

// Why a record is taken, held or dropped. A record that goes on from the last position taken is
// taken. One that does not is held, and the next record that moves on decides: when it goes on from
// the held one rather than from the last one taken (nearer to it where it could go on from both),
// the held one was the aircraft's and is taken first, unless the way on from it turns straight back
// onto the track already taken; otherwise it was another sender's stale or foreign position, and is
// dropped. So nothing is held past the next new position. True when the record is not to be taken
// now (held, or nothing new).
bool lf_holdsRecord(LiveAc& ac, const TrafficRecord& record) {
  const Situation& s = record.situation;
  const LatLon at = lf_at(s);
  const LatLon last{ac.lastRecordLatitude, ac.lastRecordLongitude};
  // The feed repeating the last position taken tells nothing new: the buffer's rules deal with it. A
  // chain of held records that goes on from one another elsewhere meanwhile is another sender's: the
  // stream of the last position is still sending.
  if (lf_same(at, last)) {
    if (ac.heldRecord) ac.heldRecord->chain = 0;
    return false;
  }
  const bool fromLast = lf_goesOnFrom(last, ac.lastRecordAirborne != 0, lf_lastSpeed(ac), s);
  // Records each going on from the one before, none from the last one taken, but each refused for
  // the way to it: a stream that moved elsewhere for good.
  std::uint8_t chain = 0;
  if (ac.heldRecord) {
    const LiveAc::HeldRecord held = *ac.heldRecord;
    const LatLon heldAt = lf_at(held.situation);
    // Nor does the feed repeating the held position.
    if (lf_same(at, heldAt)) return true;
    ac.heldRecord.reset();
    const bool goesOnFromHeld = lf_goesOnFrom(heldAt, held.situation.airborne != 0, held.situation.speed, s);
    bool continues = false;
    if (lf_heldForItsTrack(ac, held.situation)) {
      // Held in the air because its own track disagreed with its course from the last position: the
      // aircraft went there only when the next record goes on from it and not from the last one, along
      // its own track, and that track does not have the aircraft turn round to get there. Another
      // sender's position, a stale one or a step aside is never flown to; a stream that keeps going
      // on from such positions, none from the last one taken, is where the aircraft went after all.
      const bool goesOnFromItOnly = goesOnFromHeld && !fromLast;
      // The stream of the last position taken has ended, and these records, going on from one another,
      // are the feed's live one: a second sender on the address, or a source that had the aircraft
      // elsewhere. The aircraft is where they have it; it is shown afresh there rather than turned
      // round to fly back along its way, or flown on away from every record the feed still sends.
      if (goesOnFromItOnly && ac.state == ActState::InSim && record.timestamp - ac.lastDataTime > kStreamSilentSeconds) {
        lf_logTakenAfterAll(ac, held);
        ac.restartFrom = LiveAc::RestartRecord{s, record.timestamp};
        removeAircraftFromSim(ac);
        return true;
      }
      continues = goesOnFromItOnly && (lf_tracksAllowWayTo(ac, held.situation, s, heldAt) || held.chain >= kChainTaken);
      if (goesOnFromItOnly && !continues) chain = static_cast<std::uint8_t>(held.chain + 1);
    } else {
      // Held for a speed that jumps: the position itself is where the aircraft went when the next
      // record goes on from it rather than from the last one taken (nearer to it, where it goes on from
      // both), or lies nearer to it and does not go on from the last one taken either.
      const bool nearerHeld = gf_distanceNm(at, heldAt) < gf_distanceNm(at, last);
      continues = nearerHeld ? goesOnFromHeld || !fromLast : goesOnFromHeld && !fromLast;
    }
    const bool outAndBack = continues && lf_outAndBack(ac, held.situation, s);
    if (continues && !outAndBack) {
      lf_logTakenAfterAll(ac, held);
      lf_takeRecord(ac, held.identity, held.situation, held.timestamp);
      return ac.state == ActState::Respawning || ac.state == ActState::Removing;
    }
    lf_logDropped(ac, held, outAndBack);
  }
  if (fromLast) return false;
  ac.heldRecord = LiveAc::HeldRecord{record.identity, s, record.timestamp, lf_takenBefore(ac, at), chain};
  // The feed has the aircraft somewhere new, whether or not it was there: the stream is live.
  ac.lastMoveCycle = g_engineCycle.load(std::memory_order_relaxed);
  return true;
}

}  // namespace

bool lf_speedJumps(double v0, double v) {
  if ((v0 > 5 && v >= 10 * v0) || (v > 5 && v0 >= 10 * v)) return true;
  return (v0 <= 5 && v >= 80) || (v <= 5 && v0 >= 80);
}

bool lf_goesOnFrom(const LatLon& from, bool fromAirborne, double fromSpeed, const Situation& s) {
  if (lf_speedJumps(fromSpeed, s.speed)) return false;
  if (s.airborne == 0 && !fromAirborne) return true;
  const LatLon to = lf_at(s);
  if (gf_distanceNm(from, to) <= kTooNearForCourseNm) return true;
  if (s.heading == 0 && s.feedTrackGiven == 0) return true;
  return std::fabs(gf_angleDiff(gf_bearingRad(from, to), s.heading * kDegToRad)) <= kTrackAgreesDeg * kDegToRad;
}

double gf_positionsSpeedKt(const LiveAc& ac, std::int32_t until) {
  constexpr std::int32_t kMinuteCycles = 6000;
  // The way along the positions over the time between their first arrivals, and the speed most of
  // that time was flown at (the middle of the steps' speeds, each weighing its time). The feed's jumps
  // (a position repeated with fresh stamps for a while, then one kilometres on) make single steps far
  // faster or slower than the aircraft flew: the lower of the two. A step faster than no aircraft
  // flies between reports of those speeds (a second sender's position, a stale one taken after all)
  // is no way flown, and counts for nothing.
  std::array<std::pair<double, double>, LiveAc::kRecentPositions> steps{};
  std::size_t n = 0;
  double nm = 0;
  double seconds = 0;
  std::size_t i = 0;
  while (i < ac.recentCount && gf_recentPosition(ac, i).due > until) ++i;
  for (; i + 1 < ac.recentCount; ++i) {
    const LiveAc::TimedPosition& to = gf_recentPosition(ac, i);
    const LiveAc::TimedPosition& from = gf_recentPosition(ac, i + 1);
    if (until - from.due > kMinuteCycles) break;
    if (to.stepKt > 0 &&
        to.stepKt <= kImplausibleFactor * std::max(from.speedKt, to.speedKt) + kImplausibleAddKt) {
      const double dt = static_cast<double>(to.due - from.due) / kCyclesPerSecond;
      steps[n++] = {to.stepKt, dt};
      nm += to.stepNm;
      seconds += dt;
    }
  }
  if (n == 0 || seconds < kLeastPositionsSpanSeconds) return 0.0;
  std::sort(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(n));
  double middle = steps[n - 1].first;
  double weight = 0;
  for (std::size_t k = 0; k < n; ++k)
    if ((weight += steps[k].second) >= seconds / 2) {
      middle = steps[k].first;
      break;
    }
  return std::min(middle, nm / seconds * 3600.0);
}

const LiveAc::TimedPosition& gf_recentPosition(const LiveAc& ac, std::size_t i) {
  // The ring fills from its start: until it is full, recentNext is its size.
  constexpr std::size_t n = LiveAc::kRecentPositions;
  return ac.recentPositions[(ac.recentNext + n - 1 - i) % n];
}

bool lf_startFromHeldRecord(LiveAc& ac) {
  if (!ac.heldRecord) return false;
  const LiveAc::HeldRecord held = std::move(*ac.heldRecord);
  ac.heldRecord.reset();
  ac.situations.clear();
  lf_takeRecord(ac, held.identity, held.situation, held.timestamp);
  return !ac.situations.empty();
}

bool lf_offerRecord(LiveAc& ac, TrafficRecord& record) {
  if (record.hexid != ac.hexid) return false;
  if (ac.state == ActState::Respawning || ac.state == ActState::Removing) return true;
  const Situation& s = record.situation;
  const double t = record.timestamp;
  // A copy of a position taken lately is no news. A line stamped before the last one taken comes late:
  // the aircraft has been farther on since, but the feed has it somewhere new, so the stream is live.
  if (lf_staleCopy(ac, s)) return true;
  if (t < ac.lastDataTime) {
    if (s.latitude != ac.lastRecordLatitude || s.longitude != ac.lastRecordLongitude)
      ac.lastMoveCycle = g_engineCycle.load(std::memory_order_relaxed);
    return true;
  }
  if (!ac.situations.empty()) {
    const Situation& last = ac.situations.back();
    const double dt = t - ac.lastDataTime;
    const double v = s.speed;
    // The feed stamps a line when it sends it, not when it saw the aircraft there: a line stamped no
    // later than a second after the last one taken repeats it, unless it has the aircraft more than
    // 450 m on.
    const double movedNm = gf_distanceNm({ac.lastRecordLatitude, ac.lastRecordLongitude}, {s.latitude, s.longitude});
    if ((t == ac.lastDataTime || dt <= 1.0) && movedNm <= kRepeatWithinNm) return true;
    if (ac.extensionCount < 1) {
      const double headingDiff = lf_headingDiffDeg(s.heading, last.heading);
      if (s.airborne) {
        // Not yet 450 m on along the same track, by the stamps and along the way: a line stamped late
        // that has the aircraft farther on is no repeat.
        if (v > 120 && headingDiff <= 1 && dt <= kRepeatWithinNm / v * 3600.0 && movedNm <= kRepeatWithinNm) return true;
      } else if (v <= 30 && headingDiff <= 2) {
        const double limit = v > 0 ? std::min(15.0, 0.010799136069114472 / v * 3600.0) : 15.0;
        if (dt <= limit) return true;
      }
    }
  }
  if (lf_holdsRecord(ac, record)) return true;
  lf_takeRecord(ac, record.identity, s, t);
  return true;
}

}  // namespace amb
