// Ground movement: the legs of an aircraft that moves on the ground. Taxi legs that turn follow
// timed quadratic curves through their corners; the aircraft leaves its stand by a push-back (straight
// back, then a 90-degree turn unless only straight push-backs are wanted) or a pull-out, starts its
// engines, taxis, rolls and lifts off, or lands, rolls out, taxis to a stand found near the end of its
// stream and parks. A taxi stream that ends away from any stand holds for a while.

#include "traffic/engine.hpp"
#include "traffic/air.hpp"
#include "traffic/air_path.hpp"
#include "traffic/ground.hpp"
#include "traffic/step.hpp"
#include "traffic/stands.hpp"

#include "state/run_state.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "records/upcalls.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace amb {

using namespace up::airports;

namespace {

// The synthetic legs of an arrival: their vertical speed down the approach and the steepest they take
// from the records (feet a minute), and the feet they lose a second down the approach.
constexpr double kApproachSyntheticFpm = -667.0;
constexpr double kSteepestSyntheticFpm = -1000.0;
constexpr double kApproachSyntheticFeetPerSecond = 10.005;
constexpr double kSecondsPerMinute = 60.0;
// The longest the feed repeats a position before it moves on.
constexpr std::int32_t kLongestRepeatCycles = 6000;

// Within 5 nm of the park airport, where the feed reports aircraft on the ground.
bool lf_atParkAirport(const LiveAc& ac) {
  const AirportData park = up::airports::gf_parkAirportSnapshot();
  return !park.code.empty() &&
         gf_distanceNm({ac.position.latitude, ac.position.longitude}, {park.lat, park.lon}) <= 5.0;
}

constexpr std::array<double, 6> kTakeOffSpeedKt{90, 110, 140, 150, 220, 0};
constexpr double kMetresPerNm = 1852.0;

LatLon lf_at(const Situation& s) { return {s.latitude, s.longitude}; }
LatLon lf_here(const LiveAc& ac) { return {ac.position.latitude, ac.position.longitude}; }
std::int32_t lf_now() { return g_engineCycle.load(std::memory_order_relaxed); }

// Holds a recomputed due time within the windows around the stamped one while no extension runs.
std::int32_t lf_holdDue(const LiveAc& ac, std::int32_t due, std::int32_t stamped) {
  if (ac.extensionCount < 1) due = std::clamp(due, stamped - ac.earlyWindow, stamped + ac.lateWindow);
  return std::max(due, lf_now());
}

// Cycles to cover a distance at a speed, at least the shortest leg.
std::int32_t lf_cyclesFor(double distanceNm, double speedKt) {
  const double cycles = std::round(distanceNm * kCyclesPerNmAtOneKnot / std::max(speedKt, 1e-6));
  return std::max(kMinLegCycles, static_cast<std::int32_t>(std::min(1e9, cycles)));
}

void lf_setControlsToZero(LiveAc& ac) {
  if (ac.category != Light) gf_simPort().setControls(ac.objectId, AiControlsBlock{});
}

// The stand an aircraft stands at or leaves: from the stand list, else the stand position the act
// keeps, else where the aircraft is.
struct StandPlace {
  LatLon at;
  double heading = 0;   // radians
  double radiusNm = 0;
};

StandPlace lf_standPlace(const LiveAc& ac) {
  StandPlace place;
  const Stand* stand = lf_standById(ac.standId);
  if (stand != nullptr) {
    place.at = {stand->lat, stand->lon};
    place.heading = stand->heading;
    place.radiusNm = stand->radiusNm;
  } else if (ac.standId != 0) {
    place.at = {ac.latitude, ac.longitude};
    place.heading = ac.heading;
  } else {
    place.at = lf_here(ac);
    place.heading = ac.position.heading;
  }
  // A stand without a radius takes one of the aircraft's size.
  if (!(place.radiusNm > 0)) place.radiusNm = std::max(ac.halfWingspan, 0.005);
  return place;
}

// A situation of the way out of a stand: on the ground, moving at the given speed, nose as given.
Situation lf_wayOut(const Situation& from, const LatLon& at, double speedKt, double headingRad, std::int32_t due) {
  Situation s = from;
  s.latitude = at.lat;
  s.longitude = at.lon;
  s.speed = speedKt;
  s.trueAirspeed = speedKt;
  s.heading = headingRad * kRadToDeg;
  s.verticalSpeed = 0;
  s.airborne = 0;
  s.noMovement = 0;
  s.feedBankGiven = 0;
  s.feedTrackGiven = 0;
  s.feedAttitudeUsable = 0;
  s.due = due;
  return s;
}

// Drops, from index `first` on, the stream's positions that a synthetic way out of the stand has
// replaced: those near the stand (within `reach` of it) and those behind `from` (against `heading`)
// not much farther. Returns the latest due time of the dropped ones, -1 when none went.
std::int32_t lf_dropPassedPositions(LiveAc& ac, std::size_t first, const LatLon& standAt, const LatLon& from,
                                    double heading, double reach) {
  auto& buffer = ac.situations;
  std::int32_t lastDue = -1;
  while (buffer.size() > first) {
    const Situation& s = buffer[first];
    const double fromStand = gf_distanceNm(standAt, lf_at(s));
    const bool behind = gf_distanceNm(from, lf_at(s)) > 0 &&
                        std::fabs(gf_angleDiff(heading, gf_bearingRad(from, lf_at(s)))) >= kPi / 2;
    if (fromStand > reach && !(behind && fromStand <= 2 * reach)) break;
    lastDue = std::max(lastDue, s.due);
    buffer.erase(buffer.begin() + static_cast<std::ptrdiff_t>(first));
  }
  return lastDue;
}

// After a push-back: the stream's positions of the push-back itself go. When nothing is left, the
// aircraft stands where it is until the last dropped one was due.
void lf_dropWayOutPositions(LiveAc& ac) {
  auto& buffer = ac.situations;
  if (buffer.size() < 2 || ac.standId == 0) return;
  const StandPlace place = lf_standPlace(ac);
  const LatLon here = lf_here(ac);
  const double reach = gf_distanceNm(place.at, here) + place.radiusNm;
  const std::int32_t lastDue = lf_dropPassedPositions(ac, 1, place.at, here, ac.position.heading, reach);
  if (buffer.size() < 2 && lastDue >= 0) {
    Situation stand = buffer.front();
    stand.latitude = here.lat;
    stand.longitude = here.lon;
    stand.speed = 0;
    stand.trueAirspeed = 0;
    stand.noMovement = 1;
    stand.due = std::max(lastDue, lf_now() + kMinLegCycles);
    buffer.push_back(stand);
  }
}

void lf_planTaxiLeg(LiveAc& ac);

// The push-back is over: engines on, the aircraft waits for its stream to move forward.
void lf_startEngines(LiveAc& ac) {
  ac.bearingToNext = ac.position.heading;
  // A towed aircraft has no engines running.
  if (ac.towed == 0) lf_queueEvent(ac, EVT_ENGINE_AUTO_START, 0);
  lf_setThrottle(ac, 0);
  if (ac.flapsMarker != 1) lf_setFlaps(ac, 1);
  ac.setPhase(GroundPhase::EnginesStarted);
  ac.pushBackCountdown = 0;
  ac.engineStartMark = 900;
  ac.extensionCount = 0;
  ac.pullOutPending = 0;
  ac.turning = 0;
  lf_dropWayOutPositions(ac);
}

// The straight part of the push-back is done: the tug turns the aircraft 90 degrees, its tail toward
// the side of the way out, on a curve through the corner behind it. The curve ends where the
// aircraft was seen after its push-back when that place suits a 90-degree turn.
void lf_turnOutOfStand(LiveAc& ac) {
  auto& buffer = ac.situations;
  if (buffer.size() < 3) return;
  const StandPlace place = lf_standPlace(ac);
  const double back = place.heading + kPi;
  const LatLon from = lf_here(ac);
  const double r = place.radiusNm;
  if (ac.replaceAfterPushBack != 0) {
    const LatLon seen = lf_at(ac.savedSituation);
    const double d = gf_distanceNm(from, seen);
    const double off = gf_angleDiff(back, gf_bearingRad(from, seen));
    const double along = d * std::cos(off);
    const double side = d * std::sin(off);
    // The planned end of the turn tells the side the tail swings to; a seen position on that side
    // may end the turn instead.
    const double plannedSide = gf_angleDiff(back, gf_bearingRad(from, lf_at(buffer[2])));
    if (along >= 0.5 * r && along <= 3 * r && std::fabs(side) >= 0.5 * r && std::fabs(side) <= 3 * r &&
        (side < 0) == (plannedSide < 0)) {
      const LatLon corner = gf_destinationPoint(from, back, along * kFeetPerNm);
      buffer[1].latitude = corner.lat;
      buffer[1].longitude = corner.lon;
      buffer[2].latitude = seen.lat;
      buffer[2].longitude = seen.lon;
    }
  }
  lf_startCurve(ac);
  const double turnCycles = std::max(1.0, std::round(90.0 / std::max(ac.turnPerCycle(), 1e-9) / 100.0));
  ac.curveStep = 1.0 / turnCycles;
  ac.curveAngle = 90;
  ac.turning = 0;
  buffer[1].due = lf_now() + static_cast<std::int32_t>(turnCycles);
}

// The side of the push-back line toward which the tail swings: away from where the aircraft goes
// next (the position it was seen at on its way out, else the farthest buffered moving position), so
// that its nose ends pointing that way; +1 right of the backward course, -1 left.
double lf_tailSide(const LiveAc& ac, const LatLon& standAt, double back) {
  const auto sideOf = [&](const LatLon& p) {
    return gf_distanceNm(standAt, p) * std::sin(gf_angleDiff(back, gf_bearingRad(standAt, p)));
  };
  double side = ac.pullOutPending != 0 ? sideOf(lf_at(ac.savedSituation)) : 0.0;
  if (std::fabs(side) * kMetresPerNm < 1)
    for (auto it = ac.situations.rbegin(); it != ac.situations.rend(); ++it)
      if (it->noMovement == 0) {
        side = sideOf(lf_at(*it));
        break;
      }
  return side < 0 ? 1.0 : -1.0;
}

}  // namespace

void lf_shrinkWindows(LiveAc& ac) {
  if (ac.earlyWindow > 1000) ac.earlyWindow = std::max(1000, ac.earlyWindow - 100);
  if (ac.lateWindow > 1000) ac.lateWindow = std::max(1000, ac.lateWindow - 100);
}

void lf_wideWindows(LiveAc& ac) {
  ac.earlyWindow = 3000;
  ac.lateWindow = ac.takeOffPending != 0 ? 5000 : 3000;
}

double gf_takeOffSpeed(int category) {
  return category >= 0 && category <= 5 ? kTakeOffSpeedKt[static_cast<std::size_t>(category)] : 0.0;
}

void lf_pushBack(LiveAc& ac) {
  auto& buffer = ac.situations;
  if (buffer.empty()) return;
  const StandPlace place = lf_standPlace(ac);
  const double back = place.heading + kPi;
  const double speed = std::max(ac.pushBackSpeed(), 1.0);
  const double tailSide = lf_tailSide(ac, place.at, back);
  ac.extensionCount = 0;
  Situation& front = buffer.front();
  front.speed = speed;
  front.noMovement = 0;
  // Straight back 2.5 stand radii, nose toward the stand; then the corner and the end of the turn
  // (the turn's radius is the stand's), used when the push-back turns.
  const LatLon here = lf_here(ac);
  const double straightNm = 2.5 * place.radiusNm;
  const LatLon end = gf_destinationPoint(here, back, straightNm * kFeetPerNm);
  const LatLon corner = gf_destinationPoint(end, back, place.radiusNm * kFeetPerNm);
  const LatLon turned = gf_destinationPoint(corner, back + tailSide * kPi / 2, place.radiusNm * kFeetPerNm);
  const std::int32_t due = lf_now() + lf_cyclesFor(straightNm, speed);
  const Situation straight = lf_wayOut(front, end, speed, place.heading, due);
  const Situation cornerAt = lf_wayOut(front, corner, speed, place.heading, due + 1);
  const Situation turnedAt = lf_wayOut(front, turned, speed, place.heading, due + 2);
  buffer.insert(buffer.begin() + 1, {straight, cornerAt, turnedAt});
  ac.curve.clear();
  ac.turning = 0;
  ac.bearingToNext = ac.position.heading;
  lf_setLights(ac, 1, 1, 0, 1, 0, 1, 0);
  ac.setPhase(GroundPhase::LeavingStand);
  ac.pushBackCountdown = 2;
}

void lf_pullOut(LiveAc& ac) {
  auto& buffer = ac.situations;
  if (buffer.empty()) return;
  gf_logf("{:8}: {:8} pulling out", gf_standName(ac.standId), ac.callsign);
  const StandPlace place = lf_standPlace(ac);
  const double speed = std::max(ac.pushBackSpeed(), 1.0);
  ac.pullOutPending = 0;
  ac.extensionCount = 0;
  const LatLon target = gf_destinationPoint(place.at, place.heading, 2 * ac.halfWingspan * kFeetPerNm);
  Situation& front = buffer.front();
  front.speed = speed;
  front.noMovement = 0;
  const std::int32_t due = lf_now() + lf_cyclesFor(gf_distanceNm(lf_here(ac), target), speed);
  buffer.insert(buffer.begin() + 1, lf_wayOut(front, target, speed, place.heading, due));
  // The stream goes on from the pull-out's end; what it reported inside the stand area is passed.
  lf_dropPassedPositions(ac, 2, place.at, target, place.heading,
                         gf_distanceNm(place.at, target) + place.radiusNm);
  ac.curve.clear();
  ac.turning = 0;
  ac.setPhase(GroundPhase::Taxi);
  ac.bearingToNext = ac.position.heading;
  // Engines on for the taxi (a towed aircraft keeps them off).
  if (ac.towed == 0) lf_queueEvent(ac, EVT_ENGINE_AUTO_START, 0);
  lf_setLights(ac, 1, 1, 0, 1, 0, 1, 0);
}

namespace {

constexpr double kLeadInDeg = 10;
constexpr double kReverseDeg = 150;
constexpr double kBackUpDeg = 160;
constexpr double kBackUpNm = 0.0324;  // 60 m
constexpr double kLeadInReach = 0.25;
constexpr double kTurnRoundKt = 20;
// Turned this far off its stand's heading while pushed, the nose shows the side it turns to; turned
// farther than the most, the report is the push's own course rather than the nose (a push-back turns
// the nose a quarter round, the push runs half round from it).
constexpr double kNoseTurnedDeg = 10;
constexpr double kMostNoseTurnDeg = 135;


}  // namespace

// The next position lies behind the aircraft: a situation out to its side (two wing spans across and
// one ahead, toward the side of the next position) goes first, so that the aircraft turns round on
// two curves instead of on the spot.
void lf_insertTurnRound(LiveAc& ac) {
  auto& buffer = ac.situations;
  const LatLon here = lf_here(ac);
  const double side = gf_angleDiff(ac.position.heading, gf_bearingRad(here, lf_at(buffer[1]))) < 0 ? -1.0 : 1.0;
  const double span = std::max(4 * ac.halfWingspan, 0.01);
  const LatLon ahead = gf_destinationPoint(here, ac.position.heading, span / 2 * kFeetPerNm);
  const LatLon out = gf_destinationPoint(ahead, ac.position.heading + side * kPi / 2, span * kFeetPerNm);
  Situation turn = buffer[1];
  turn.latitude = out.lat;
  turn.longitude = out.lon;
  turn.noMovement = 0;
  turn.speed = std::max({buffer[0].speed, buffer[1].speed, 5.0});
  turn.trueAirspeed = turn.speed;
  turn.due = static_cast<std::int32_t>((static_cast<std::int64_t>(buffer[0].due) + buffer[1].due) / 2);
  buffer.insert(buffer.begin() + 1, turn);
  ac.bearingToNext = gf_bearingRad(here, out);
  ac.turnedRound = 1;
}

bool lf_startLeadInCurve(LiveAc& ac, const LatLon& end) {
  const LatLon here = lf_here(ac);
  const double chordNm = gf_distanceNm(here, end);
  if (chordNm * kMetresPerNm < 1) return false;
  // The middle point a quarter of the chord ahead of the nose: the curve arrives within about 14
  // degrees of the chord's course, so that a heading error shrinks from leg to leg.
  const LatLon middle = gf_destinationPoint(here, ac.position.heading, kLeadInReach * chordNm * kFeetPerNm);
  lf_setCurveThrough(ac, middle, end);
  ac.curveAngle = std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(middle, end))) * kRadToDeg;
  return true;
}

namespace {

// The synthetic legs a stream on the ground is extended by, one every 3 s.
constexpr int kGroundExtensions = 10;
// At this speed or faster a landed aircraft is still on its landing roll, knots: none taxis or
// turns off the runway so fast.
constexpr double kLandingRollKt = 60.0;

// Rolling faster than an aircraft turns round, a position behind its wings, or one that turns the
// way back at the next corner, is the feed's scatter between its sources: it is passed over rather
// than looped back to, and where nothing follows a position behind, the aircraft stops where it is.
// A landed aircraft on its landing roll does not stop dead on the runway: it rolls on along it from
// where it is, slowing as the roll-out of a stream that ends in its landing roll does.
void lf_passOverScatter(LiveAc& ac) {
  auto& buffer = ac.situations;
  const auto fast = [&] {
    return std::max({buffer[0].speed, buffer[1].speed, ac.targetTrueAirspeed}) > kTurnRoundKt;
  };
  while (buffer.size() >= 2 && buffer[1].noMovement == 0 && fast()) {
    const double course = gf_bearingRad(lf_here(ac), lf_at(buffer[1]));
    if (std::fabs(gf_angleDiff(ac.position.heading, course)) >= kPi / 2) {
      if (buffer.size() >= 3) {
        buffer.erase(buffer.begin() + 1);
        continue;
      }
      if (ac.landed != 0 && ac.extensionCount >= 0 && ac.targetTrueAirspeed >= kLandingRollKt) {
        buffer.erase(buffer.begin() + 1);
        buffer.front().latitude = ac.position.latitude;
        buffer.front().longitude = ac.position.longitude;
        lf_appendWaitSituations(ac, kGroundExtensions);
        break;
      }
      Situation& stop = buffer[1];
      stop.latitude = ac.position.latitude;
      stop.longitude = ac.position.longitude;
      stop.speed = 0;
      stop.trueAirspeed = 0;
      stop.noMovement = 1;
      break;
    }
    if (buffer.size() >= 4 && buffer[2].noMovement == 0 &&
        std::fabs(gf_angleDiff(course, gf_bearingRad(lf_at(buffer[1]), lf_at(buffer[2])))) >= kPi / 2) {
      buffer.erase(buffer.begin() + 2);
      continue;
    }
    break;
  }
}

// A taxi leg: a turn at the next situation is flown as a curve; a straight leg may be split where
// the speed changes much; the end of a taxi stream looks for a stand.
void lf_planTaxiLeg(LiveAc& ac) {
  auto& buffer = ac.situations;
  bool curved = false;
  ac.backing = 0;
  // One turn-round per position: one that still lies behind after it is reached the straight way.
  const bool turnedRound = ac.turnedRound != 0;
  ac.turnedRound = 0;
  lf_passOverScatter(ac);
  if (buffer.size() >= 2 && buffer[1].noMovement == 0) {
    if (buffer.size() >= 3 && buffer[2].noMovement == 0) {
      const double turnDeg = std::fabs(lf_turnToNextLeg(ac)) * kRadToDeg;
      if (turnDeg > 3 && turnDeg <= 160) {
        const Situation& f = buffer[0];
        const Situation& s = buffer[1];
        const bool longSlow = turnDeg > 45 && gf_distanceNm(lf_at(f), lf_at(s)) > 0.027 && f.speed <= 43 &&
                              s.due - f.due >= 600;
        // A corner curve leaves toward the corner; with the nose well off that line, the leg first
        // curves onto the corner along the nose instead (below), and the corner is rounded next.
        const bool noseOnLeg =
            std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(lf_here(ac), lf_at(s)))) * kRadToDeg <=
            kLeadInDeg;
        if (longSlow) {
          // The corner is rounded from halfway along the leg, not from its start: straight there first.
          lf_insertMidSituation(ac);
        } else if (noseOnLeg && !(f.latitude == buffer[2].latitude && f.longitude == buffer[2].longitude)) {
          lf_startCurve(ac);
          ac.curveAngle = turnDeg;
          curved = true;
        }
      } else {
        lf_checkSpeedChange(ac);
      }
    }
    bool straightIn = false;
    if (!curved && ac.phase == GroundPhase::ToStand) {
      // The leg onto the stand enters it along its heading.
      if (const Stand* stand = lf_standById(ac.standId);
          stand != nullptr && buffer[1].latitude == stand->lat && buffer[1].longitude == stand->lon) {
        ac.bearingToNext = stand->heading;
        curved = lf_startStandCurve(ac, *stand);
        // Where no curve fits, a straight way in whose course lies near both the nose and the
        // stand's heading: the nose comes round to the stand's heading on the way.
        const double course = gf_bearingRad(lf_here(ac), lf_at(buffer[1]));
        straightIn = !curved && std::fabs(gf_angleDiff(course, stand->heading)) <= (45 * kDegToRad) &&
                     std::fabs(gf_angleDiff(course, ac.position.heading)) <= (45 * kDegToRad);
      }
    }
    if (straightIn) {
      ac.bearingToNext = lf_standById(ac.standId)->heading;
    } else if (!curved) {
      ac.bearingToNext = gf_bearingRad(lf_here(ac), lf_at(buffer[1]));
      const double offDeg = std::fabs(gf_angleDiff(ac.position.heading, ac.bearingToNext)) * kRadToDeg;
      if (offDeg >= kReverseDeg) {
        if (offDeg >= kBackUpDeg && gf_distanceNm(lf_here(ac), lf_at(buffer[1])) <= kBackUpNm &&
            std::max(buffer[0].speed, buffer[1].speed) <= 15) {
          // A short way straight back at taxi pace: backed, nose kept.
          ac.backing = 1;
        } else if (!turnedRound) {
          // Turning round: first out to the side toward which the next position lies.
          lf_insertTurnRound(ac);
        }
      }
      // A nose well off the leg would slide sideways along a straight line: the leg starts along the
      // nose and curves onto the next position instead.
      // It reaches the next position along the leg after it, so that the error does not swing over
      // to the other side.
      if (ac.backing == 0 &&
          std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(lf_here(ac), lf_at(buffer[1])))) * kRadToDeg >
              kLeadInDeg) {
        const double entry = buffer.size() >= 3 && buffer[2].noMovement == 0
                                 ? gf_bearingRad(lf_at(buffer[1]), lf_at(buffer[2]))
                                 : gf_bearingRad(lf_here(ac), lf_at(buffer[1]));
        curved = lf_startEntryCurve(ac, lf_at(buffer[1]), entry) || lf_startLeadInCurve(ac, lf_at(buffer[1]));
      }
    }
    if (curved || ac.backing != 0) {
      ac.turning = 0;
      ac.remainingTurn = 0;
    } else {
      const double diffDeg = std::fabs(gf_angleDiff(ac.position.heading, ac.bearingToNext)) * kRadToDeg;
      ac.turning = diffDeg > 3 ? 1 : 0;
      ac.remainingTurn = ac.turning != 0 ? diffDeg : 0;
    }
  } else {
    // Standing: the nose stays where it is.
    ac.turning = 0;
    ac.remainingTurn = 0;
  }
  // The end of a taxi stream: a stand near its last position.
  if (buffer.back().noMovement != 0 && ac.phase == GroundPhase::Taxi && !g_stands->empty() &&
      (ac.towed != 0 || ac.previousPhase == GroundPhase::Taxi || ac.previousPhase == GroundPhase::TakeOffRoll ||
       ac.previousPhase == GroundPhase::Airborne || ac.previousPhase == GroundPhase::ToStand)) {
    if (ac.extensionCount > 0)
      try2Park(ac, ac.arrivedByLanding != 0);
    else if (buffer.size() >= 2 && buffer[1].speed <= 5 &&
             gf_distanceNm(lf_at(buffer.back()), lf_here(ac)) <= 0.018898)
      try2Park(ac, false);
  }
}

// The way out of a stand lies behind it, for a push-back, when its course turns 90 degrees or more
// (in whole degrees) from the stand's heading; else the aircraft pulls out forward.
bool lf_wayOutBehind(const LatLon& standAt, double standHeading, const LatLon& next) {
  const double turnDeg = std::round(std::fabs(gf_angleDiff(standHeading, gf_bearingRad(standAt, next))) * kRadToDeg);
  return turnDeg >= 90;
}

// An aircraft created standing at its stand leaves it as a parked one does when its way out lies
// behind its nose: pushed back. Driven forward, it would turn round through the stands beside it.
// Only while it still stands on the stand's point, so that a later position behind it is taxied to.
bool lf_leavesSpawnStandBackwards(const LiveAc& ac) {
  const auto& buffer = ac.situations;
  if (ac.phase != GroundPhase::Taxi || ac.previousPhase != GroundPhase::AtStand || buffer.size() < 2 ||
      buffer[1].noMovement != 0)
    return false;
  const LatLon standAt{ac.latitude, ac.longitude};
  return gf_distanceNm(lf_here(ac), standAt) * kMetresPerNm <= 1 &&
         lf_wayOutBehind(standAt, ac.heading, lf_at(buffer[1]));
}

// Pushed back from the stand it was created at. The tail swings away from the side the nose turns
// to: while an aircraft is pushed, the feed reports where its nose points, and the stream's latest
// position of the way out with the nose turned off the stand's heading shows the side. Without
// such a report the farthest position the stream has it go to decides, as for a parked aircraft.
void lf_pushBackFromSpawnStand(LiveAc& ac) {
  // The stand it left (given up when the stream first moved it) shapes the push-back and takes the
  // way out's own positions, as a parked aircraft's does; it stays free for others.
  for (const Stand& stand : *g_stands)
    if (stand.lat == ac.latitude && stand.lon == ac.longitude) {
      ac.standId = stand.id;
      break;
    }
  ac.pullOutPending = 0;
  ac.replaceAfterPushBack = 0;
  ac.curvedPushBack = STRAIGHT_PBS_ONLY.value != 0 ? 0 : 1;
  const auto& buffer = ac.situations;
  const auto last = std::find_if(buffer.rbegin(), buffer.rend(), [](const Situation& s) { return s.noMovement == 0; });
  if (last != buffer.rend()) {
    // In whole degrees, as the feed gives them.
    const double turnedDeg = std::round(gf_angleDiff(ac.heading, last->heading * kDegToRad) * kRadToDeg);
    if (std::fabs(turnedDeg) >= kNoseTurnedDeg && std::fabs(turnedDeg) <= kMostNoseTurnDeg) {
      const LatLon toward = gf_destinationPoint(
          {ac.latitude, ac.longitude}, ac.heading + (turnedDeg > 0 ? kPi / 2 : -kPi / 2), ac.halfWingspan * kFeetPerNm);
      ac.savedSituation = *last;
      ac.savedSituation.latitude = toward.lat;
      ac.savedSituation.longitude = toward.lon;
      ac.savedSituation.noMovement = 0;
      ac.pullOutPending = 1;
    }
  }
  lf_pushBack(ac);
}

}  // namespace

void nextPosGround(LiveAc& ac) {
  try {
    if (ac.situations.empty()) {
      gf_logf("{} empty sz?", "nextPosGround");
      return;
    }
    switch (ac.phase) {
      case GroundPhase::LeavingStand:
        if (ac.pushBackCountdown > 0) --ac.pushBackCountdown;
        if (ac.pushBackCountdown == 1) {
          if (ac.curvedPushBack != 0) {
            // The turn keeps its own time, 90 degrees at the aircraft's turn rate.
            lf_turnOutOfStand(ac);
            return;
          } else {
            // Straight only: the turn's two situations go, and the engines start here.
            auto& b = ac.situations;
            b.erase(b.begin() + 1, b.begin() + std::min<std::ptrdiff_t>(3, static_cast<std::ptrdiff_t>(b.size())));
            lf_startEngines(ac);
          }
        } else if (ac.pushBackCountdown < 1) {
          lf_startEngines(ac);
        }
        // Once the engines run, the next leg is a taxi leg like any other.
        if (ac.phase == GroundPhase::EnginesStarted) lf_planTaxiLeg(ac);
        break;
      case GroundPhase::EnginesStarted:
        lf_dropWayOutPositions(ac);
        lf_planTaxiLeg(ac);
        break;
      case GroundPhase::AtStand: {
        lf_wideWindows(ac);
        auto& buffer = ac.situations;
        if (ac.pullOutPending != 0 && buffer.size() >= 2) {
          const StandPlace place = lf_standPlace(ac);
          if (lf_wayOutBehind(place.at, place.heading, lf_at(buffer[1])))
            lf_pushBack(ac);
          else
            lf_pullOut(ac);
        }
        break;
      }
      default:
        if (lf_leavesSpawnStandBackwards(ac))
          lf_pushBackFromSpawnStand(ac);
        else
          lf_planTaxiLeg(ac);
        break;
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
    // Held to the stream's time, but never faster than twice the leg's speed: an aircraft far behind
    // its stream catches up where it stands, not by leaping along the taxiway.
    s.due = std::max(lf_holdDue(ac, lf_now() + cycles, s.due), lf_now() + lf_cyclesFor(distanceNm, 2 * speed));
    // Never slower than the leg needs to finish its turn, or the nose falls behind the path.
    if (angle > 0)
      ac.turnStep() = std::max(ac.turnStep(), 1.5 * angle * kDegToRad / std::max(kMinLegCycles, s.due - lf_now()));
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
    if (ac.phase == GroundPhase::LeavingStand || ac.backing != 0)
      ac.targetTrueAirspeed = -std::max(next.speed, 1.0);  // backwards
    else
      ac.targetTrueAirspeed = next.speed;
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
  lf_wideWindows(ac);  // 5000 late: the take-off is pending
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
  ac.belowHeldAltitude = 0;
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

// The feed repeats a position for up to a minute before it moves on; a stream that has not moved
// on for longer is over, and an aircraft flying on through the silence is not flown on farther
// (unless it comes in to land, where it goes on down to the field). Asked every cycle of a silence:
// the time comes first, the field search of lf_comingIn only once the minute is up.
bool lf_streamOverInAir(const LiveAc& ac) {
  return ac.movesOnGround == 0 && lf_now() - ac.lastMoveCycle > kLongestRepeatCycles && !lf_comingIn(ac);
}

bool lf_extendStream(LiveAc& ac) {
  if (ac.situations.empty()) return false;
  if (ac.phase == GroundPhase::ToStand) lf_arrivedAtStand(ac);
  if (ac.state != ActState::InSim) return false;

  // A landed aircraft whose roll-out has run its course waits where it stopped, as a taxiing one
  // does, for the feed to report it on the ground; away from the park airport the feed reports no
  // more than the landing roll, and its stream ends there. So too once it has turned off the runway
  // and the feed has not moved it on for longer than it repeats a position: no stand awaits it there,
  // and waiting on, it would stand in the way of the next aircraft of its callsign.
  const bool rolledOut = ac.landed != 0 && (ac.waiting != 0 || ac.extensionCount == 1);
  const bool turnedOff = ac.landed == 0 && ac.arrivedByLanding != 0 && ac.phase == GroundPhase::Taxi &&
                         lf_now() - ac.lastMoveCycle > kLongestRepeatCycles;
  if ((rolledOut || turnedOff) && ac.movesOnGround != 0 && !lf_atParkAirport(ac)) return false;
  if (ac.phase == GroundPhase::EnginesStarted ||
      (ac.phase == GroundPhase::Taxi && (ac.landed == 0 || rolledOut) && ac.takeOffPending == 0)) {
    for (const LiveAc& other : g_liveAcs) {
      // Aircraft standing at their stands do not taxi.
      if (&other == &ac || other.state != ActState::InSim || other.movesOnGround == 0 ||
          other.phase == GroundPhase::AtStand)
        continue;
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
  if (lf_streamOverInAir(ac)) return false;
  if (ac.extensionCount > 1) {
    lf_appendWaitSituations(ac, ac.extensionCount - 1);
    return true;
  }
  if (!lf_categoryAllowed(ac.category)) return false;
  int n = 0;
  if (ac.movesOnGround != 0) {
    n = ac.phase == GroundPhase::AtStand ? 1 : kGroundExtensions;
  } else if (!(AUTO_RANGE.value != 0 && g_radiusNm.load() == 10.0)) {
    const UserAcBlock& user = g_engineUserAc;
    if (gf_inNullBox(user.latitude, user.longitude) || lf_distanceFromUser(ac) < g_radiusNm.load() - 0.5) n = 8;
  }
  if (n < 1) return false;
  lf_appendWaitSituations(ac, n);
  return true;
}

void lf_appendWaitSituations(LiveAc& ac, int n) {
  ac.extensionCount = n;
  const Situation& f = ac.situations.front();
  Situation s = f;
  s.extension = 1;
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
    // Coming in to land the aircraft flies no slower than its approach allows: the legs lie where
    // it flies, or it would pass their ends early and run out of them before it is down.
    if (ac.landingMode != 0) s.speed = std::max(s.speed, lf_leastApproachKt(ac));
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
  if (lf_comingIn(ac) && ac.flareStage == 0) {
    // Down the approach at its least rate, or as steeply as the records last came down (within a
    // light aircraft's approach): an arrival the feed falls silent on lands rather than being
    // left, and removed, in the air.
    s.verticalSpeed = std::clamp(f.verticalSpeed, kSteepestSyntheticFpm, kApproachSyntheticFpm);
    double feetPerSecond = f.verticalSpeed < kApproachSyntheticFpm ? -s.verticalSpeed / kSecondsPerMinute
                                                                    : kApproachSyntheticFeetPerSecond;
    // Near the ground no steeper than a glide path: it would come down short of the field.
    const double recordsVs = s.verticalSpeed;
    s.verticalSpeed = lf_noSteeperThanGlidePath(ac, s.verticalSpeed, s.speed);
    feetPerSecond = std::min(feetPerSecond, -s.verticalSpeed / kSecondsPerMinute);
    // Steeper than that where the glide path would carry it past the middle of the field.
    if (s.verticalSpeed < recordsVs) feetPerSecond = -s.verticalSpeed / kSecondsPerMinute;
    s.altitude = std::max(0.0, f.altitude - feetPerSecond * seconds);
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

}  // namespace amb
