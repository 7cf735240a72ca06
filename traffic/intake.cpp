// The intake of a known aircraft's records: a record is offered to each live aircraft in turn; the
// one whose hexid it carries measures it against the last record it took and takes it into its
// buffer, holds it back, or drops it.

#include "traffic/intake.hpp"
#include "traffic/engine.hpp"
#include "traffic/identity.hpp"
#include "traffic/spawn.hpp"
#include "traffic/air.hpp"
#include "traffic/air_path.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace amb {

namespace {

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;
constexpr double kMetresPerNm = 1852.0;
constexpr double kGravity = 9.80665;

// The positions a track takes before its course tells where the aircraft could turn to.
constexpr std::uint8_t kLeastTrackPositions = 3;
// A record held back this near the last one taken (nm) still says where the aircraft was.
constexpr double kHeldNearNm = 1.0;
// The play of the feed's reported tracks, degrees.
constexpr double kTrackPlayDeg = 30.0;
// Real aircraft bank more steeply than the simulator shows their category: a turn the feed reports
// is flyable up to a standard rate turn (degrees a second), or the category's bank where that is
// faster.
constexpr double kStandardRateDegPerS = 3.0;
// Nearer than this to the track just reported, a record repeats it (the feed's positions of one
// aircraft from two senders differ by a few hundred metres).
constexpr double kRepeatedTrackNm = 0.3;

// The unsigned difference of two headings in degrees, 0 to 180.
double lf_headingDiffDeg(double a, double b) {
  double d = std::fmod(std::fabs(a - b), 360.0);
  return d > 180 ? 360 - d : d;
}

}  // namespace

double lf_plausibleSpeedKt(double speed1, double speed2) { return 3 * std::max({speed1, speed2, 0.0}) + 100; }

bool lf_impliesImpossibleSpeed(const LatLon& from, double fromSpeed, const LatLon& to, double toSpeed,
                               double seconds) {
  const double distanceNm = gf_distanceNm(from, to);
  if (seconds <= 0) return distanceNm > 0;
  return distanceNm > lf_plausibleSpeedKt(fromSpeed, toSpeed) * seconds / 3600.0;
}

bool lf_liesBehind(const LatLon& from, double trackDeg, double fromSpeed, const LatLon& to, double toSpeed,
                   double seconds, double turnRoundNm) {
  const double distanceNm = gf_distanceNm(from, to);
  if (distanceNm <= 0) return false;
  const double behindNm = -distanceNm * std::cos(gf_bearingRad(from, to) - trackDeg * kDegToRad);
  const double flownNm = std::max({fromSpeed, toSpeed, 0.0}) * std::max(seconds, 0.0) / 3600.0;
  // 0.05 nm for the feed's rounding of positions.
  return behindNm > std::max(flownNm - std::max(turnRoundNm, 0.0), 0.0) + 0.05;
}

double lf_turnRoundNm(int category, double speedKt) {
  const double mps = std::max(speedKt, 0.0) * kMetresPerSecondPerKnot;
  return kPi * mps * mps / (kGravity * std::tan(gf_maxBank(category))) / kMetresPerNm;
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
Fit lf_fit(const Reported& from, const Situation& s, double time, int category) {
  if (s.airborne == 0 && !from.airborne) return Fit::Fits;
  const LatLon to{s.latitude, s.longitude};
  const double seconds = time - from.time;
  if (lf_impliesImpossibleSpeed(from.at, from.speed, to, s.speed, seconds)) return Fit::TooFast;
  // Behind along the reported track and along the course the positions took to it (a feed's track
  // may point the other way); without a course the way the aircraft goes is not known. In the air
  // the aircraft must turn round before it can fly back: a half circle at its category's bank.
  const double turnRound = s.airborne != 0 ? lf_turnRoundNm(category, std::max(from.speed, s.speed)) : 0.0;
  if (from.airborne && from.course && lf_liesBehind(from.at, from.track, from.speed, to, s.speed, seconds, turnRound) &&
      lf_liesBehind(from.at, *from.course, from.speed, to, s.speed, seconds, turnRound))
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

// Whether a position lies on the track the feed has just reported for the aircraft: the feed sending
// a stretch of its track again (a second sender lagging behind, a replayed snapshot), not the
// aircraft going on.
bool lf_repeatsRecentTrack(const LiveAc& ac, const Situation& s) {
  const LatLon at{s.latitude, s.longitude};
  for (std::size_t i = 0; i + 1 < ac.recentCount; ++i)
    if (gf_segmentDistanceNm(at, ac.recentPositions[i], ac.recentPositions[i + 1]) <= kRepeatedTrackNm) return true;
  return false;
}

// A record moves on from a held one in the air: it lies ahead of it along the track it reports, and
// not on the track just reported. The feed repeating the held record's stretch of track (forward or
// backward) confirms nothing.
bool lf_movesOnFrom(const LiveAc& ac, const LiveAc::HeldRecord& held, const Situation& s) {
  if (held.situation.airborne == 0 || s.airborne == 0) return true;
  const LatLon from{held.situation.latitude, held.situation.longitude};
  const LatLon to{s.latitude, s.longitude};
  const double course = gf_bearingRad(from, to);
  if (std::fabs(gf_angleDiff(course, s.heading * kDegToRad)) >= kPi / 2) return false;
  return !lf_repeatsRecentTrack(ac, s);
}

// Whether the aircraft could have turned from the track last taken onto a record's track in the
// time between them, at a standard rate or its category's bank (with some play for the feed's
// tracks): a record whose track turns back faster than that belongs to another sender's stale or
// foreign stream, however its own next records go on from it.
bool lf_turnCouldBeFlown(const LiveAc& ac, const Situation& s, double time) {
  if (s.airborne == 0 || ac.lastRecordAirborne == 0) return true;
  // A track of a position or two says little: the first one seen may itself be the stale one. A
  // track of 0 may be none reported.
  if (ac.recentCount < kLeastTrackPositions || s.heading == 0 || ac.lastRecordTrack == 0) return true;
  const double speedMps = std::max(ac.lastRecordSpeed, s.speed) * kMetresPerSecondPerKnot;
  const double seconds = std::max(time - ac.lastRecordTime, 0.0);
  const double turn = std::fabs(gf_angleDiff(ac.lastRecordTrack * kDegToRad, s.heading * kDegToRad));
  const double rate = std::max(gf_bankedTurnRate(ac.category, speedMps), kStandardRateDegPerS * kDegToRad);
  return turn <= rate * seconds + kTrackPlayDeg * kDegToRad;
}

// Keeps a position taken as the newest of the recent track.
void lf_addRecentPosition(LiveAc& ac, const LatLon& at) {
  if (ac.recentCount == LiveAc::kRecentPositions) {
    std::copy(ac.recentPositions.begin() + 1, ac.recentPositions.end(), ac.recentPositions.begin());
    --ac.recentCount;
  }
  ac.recentPositions[ac.recentCount++] = at;
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
    if (ac.recentCount == 0) lf_addRecentPosition(ac, {ac.lastRecordLatitude, ac.lastRecordLongitude});
    lf_addRecentPosition(ac, {s.latitude, s.longitude});
    ac.lastRecordCourse =
        gf_bearingRad({ac.lastRecordLatitude, ac.lastRecordLongitude}, {s.latitude, s.longitude}) * kRadToDeg;
    ac.lastRecordLatitude = s.latitude;
    ac.lastRecordLongitude = s.longitude;
    ac.lastRecordTime = time;
    ac.lastRecordTrack = s.heading;
  }
  ac.lastRecordSpeed = s.speed;
  ac.lastRecordAirborne = s.airborne;
  if (s.airborne != 0 && s.speed > 0 && (ac.slowestAirborneKt <= 0 || s.speed < ac.slowestAirborneKt))
    ac.slowestAirborneKt = s.speed;
}

// The record measured against the last one taken: its position, and its speed against the speed of
// the buffer's last situation (as the buffer keeps it: a standing one at 0).
Fit lf_fitLast(const LiveAc& ac, const Situation& s, double time) {
  const Fit fit = lf_fit(lf_lastTaken(ac), s, time, ac.category);
  if (fit == Fit::Fits && !ac.situations.empty() && lf_speedJumps(ac.situations.back().speed, s.speed))
    return Fit::SpeedJump;
  if (fit == Fit::Fits && lf_turnsBackWhileExtending(ac, s)) return Fit::TurnedBack;
  // A track that turned faster than the aircraft can is another sender's: held, never taken after
  // all (unless the track it turned from was itself the stale one).
  if (fit == Fit::Fits && !lf_turnCouldBeFlown(ac, s, time)) return Fit::TurnedBack;
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
    const Fit fromHeld = lf_fit(from, s, t, ac.category);
    // A record held back near the last one taken (the feed's zigzag) is a later report of the aircraft
    // there: a record that could follow from neither, however long ago the last one taken was, is
    // stale or foreign.
    if (fit == Fit::Fits && (fromHeld == Fit::TooFast || fromHeld == Fit::Behind) && held.situation.airborne != 0 &&
        s.airborne != 0 && gf_distanceNm(from.at, lf_lastTaken(ac).at) <= kHeldNearNm)
      return true;
    if (fromHeld == Fit::Fits && !lf_speedJumps(held.situation.speed, s.speed) &&
        (fit != Fit::Fits || lf_continuesFrom(from, lf_lastTaken(ac), s, t)) && lf_movesOnFrom(ac, held, s) &&
        lf_turnCouldBeFlown(ac, held.situation, held.timestamp)) {
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

}  // namespace amb
