// Air movement: when the front situation of a live aircraft falls due, the next leg toward the
// second one is planned: its duration from distance and speed, the per-cycle steps of position,
// altitude, pitch, bank and heading, and the configuration events by altitude (lights, gear, flaps,
// throttle). The climb-out after lift-off and the flare before touchdown run every cycle.

#include "traffic/engine.hpp"
#include "traffic/air.hpp"
#include "traffic/air_path.hpp"
#include "traffic/ground.hpp"
#include "traffic/intake.hpp"
#include "traffic/spawn.hpp"

#include "records/upcalls.hpp"
#include "state/run_state.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "feed/services.hpp"
#include "settings/options.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace amb {

using namespace up::airports;

namespace {

constexpr std::array<double, 6> kMaxBankDeg{40, 35, 30, 20, 90, 75};
constexpr std::array<double, 6> kMaxBankChangeDeg{0.035, 0.0275, 0.02, 0.015, 0.1, 0.06};
constexpr std::array<double, 6> kMaxPitchChangeDeg{0.01, 0.0085, 0.0075, 0.005, 0.03, 0.03};
// How fast each category rolls into and out of a turn in the air, degrees a second: an airliner's
// brisk but comfortable roll, a light aircraft's and a helicopter's quicker one.
constexpr std::array<double, 6> kRollRateDegPerSecond{10, 8, 6, 4.5, 20, 15};

// An aircraft this near an airport (nm) descending in its low configuration comes in to land there;
// records on the ground this near one have it landed there.
constexpr double kApproachNm = 10.0;
// The steepest descent of a category: this many times its climb, and never beyond 5,400 ft/min.
constexpr double kDescentPerClimb = 1.5;
constexpr double kMostDescentPerCycle = 0.9;
// Coming in to land, the least descent taken from the records (feet a minute), and the cycles the
// flare takes.
constexpr double kLeastLandingDescentFpm = 600.0;
constexpr std::int32_t kFlareCycles = 300;
// Below this height above the ground an aircraft coming in to land is on short final, feet.
constexpr double kShortFinalFt = 500.0;
// Descending this low (feet above the ground) near a field, an aircraft comes in to land there
// whatever its configuration shows yet.
constexpr double kComingInFt = 1000.0;
constexpr double kTouchdownFieldNm = 5.0;
// The feed's altitude lags a descent by up to this many minutes' worth of it, and by this many feet
// at least.
constexpr double kLagMinutes = 0.5;
constexpr double kLeastLagFt = 150.0;
// Many transponders report the altitude in steps of this many feet, and a level aircraft's records
// hop between two of them; toward the next step it drifts at no more than this many feet a minute
// (or as fast as the record's own vertical speed says).
constexpr double kAltitudeCodeStepFt = 100.0;
constexpr double kLevelDriftFpm = 300.0;
// Low over the ground an aircraft banks gently: no more than this below kLowBankFt above the ground,
// easing from its category's bank over the feet above; coming down to the flare it levels its wings
// (kLevelBankDeg at kLevelFromFt) and touches down with them level.
constexpr double kLowBankDeg = 15.0;
constexpr double kLowBankFt = 500.0;
constexpr double kLowBankEaseFt = 300.0;
constexpr double kLevelBankDeg = 2.0;
constexpr double kLevelFromFt = 50.0;
constexpr double kLevellingFt = 150.0;
// An aircraft comes down to the ground only within this many nautical miles of where its records have
// it on the ground, else of its field's reference point (a large airport's runway ends lie up to two
// miles from it); farther off it stays this many feet above the ground.
constexpr double kGroundRecordNearNm = 1.5;
constexpr double kFieldNearNm = 2.5;
constexpr double kLowestAwayFt = 150.0;
// A field within this many degrees either side of an aircraft's heading lies ahead of it.
constexpr double kFieldAheadDeg = 90.0;
// Without the records' altitudes the approach descends no steeper than a glide path of this many
// degrees below this height above the field.
constexpr double kGlidePathDeg = 3.0;
constexpr double kGlidePathBelowFt = 1500.0;
// Nearer than this (nm) along its way to abeam its field's reference point an aircraft is over the
// field: it lands as the glide path has it.
constexpr double kLeastAlongToFieldNm = 0.2;
// A field's runways lie within this many nm of its reference point; an aircraft banked more than
// this many degrees is turning.
constexpr double kFieldAsideNm = 1.0;
constexpr double kStraightBankDeg = 5.0;
// A final is flown at this many knots at most, and no steeper than this many glide paths (6 degrees,
// the steepest approaches).
constexpr double kFastestFinalKt = 160.0;
constexpr double kSteepestFinalGlidePaths = 2.0;
constexpr double kMinutesPerHour = 60.0;
constexpr double kMetresPerNm = 1852.0;
constexpr double kMetresPerSecondPerKnot = kMetresPerNm / 3600.0;
// The flare: it begins this many feet above the height the simulator reports an aircraft standing
// at (its static CG), and comes down by these steps (feet a cycle) to each of these heights in turn.
constexpr double kFlareFromFt = 30.0;
constexpr double kFlareSecondFt = 20.0;
constexpr double kFlareThirdFt = 10.0;
constexpr double kFlareLastFt = 3.0;
constexpr double kFlareStep = 0.1;
constexpr double kFlareSlowStep = 0.05;
constexpr double kFlareLastStep = 0.025;
// A flare held off the ground floats on with its wheels this many feet above it.
constexpr double kFloatFt = 5.0;
// The feed reports a landing on the ground at its first report after the touchdown, or a report or
// two later where it repeats its last airborne one meanwhile; a record on the ground longer after the
// last one in the air says nothing of where the aircraft touched down.
constexpr double kLateGroundReports = 3.0;
// The feed's report interval is the shortest of its intervals between new positions over this many
// seconds.
constexpr double kReportIntervalSeconds = 60.0;

std::size_t lf_categoryIndex(int category) {
  if (category < 0 || category > 5) throw std::out_of_range("invalid unordered_map<K, T> key");
  return static_cast<std::size_t>(category);
}

LatLon lf_at(const Situation& s) { return {s.latitude, s.longitude}; }
LatLon lf_here(const LiveAc& ac) { return {ac.position.latitude, ac.position.longitude}; }

std::int32_t lf_now() { return g_engineCycle.load(std::memory_order_relaxed); }

// Cycles left to a situation's due time, never fewer than the shortest leg.
std::int32_t lf_cyclesTo(const Situation& s) { return std::max(kMinLegCycles, s.due - lf_now()); }

// The due cycle of the second situation from the distance still to fly and the leg speed, held to
// the windows around the stamped due. An aircraft that catches up is at the second by its stamped due
// when its speed would bring it there later, but never flies faster than its catch-up speed: what
// is left of the delay, the next legs make up.
std::int32_t lf_legDue(const LiveAc& ac, const Situation& second, double speedKt, bool catchUp = false) {
  const double d = gf_distanceNm(lf_here(ac), lf_at(second));
  const auto cycles = static_cast<std::int32_t>(std::min(std::round(d * kCyclesPerNmAtOneKnot / speedKt), 1e9));
  // In the air a leg ends once the aircraft is abeam its end, a little after its due time where the
  // aircraft came late: the next leg is timed from that due time, so that the lateness is made up
  // rather than handed on from leg to leg.
  const bool fromDue = ac.movesOnGround == 0 && ac.airPath.guided != 0 && !ac.situations.empty() &&
                       ac.catchingUp == 0 && ac.situations.front().due < lf_now();
  std::int32_t due = (fromDue ? ac.situations.front().due : lf_now()) + std::max(kMinLegCycles, cycles);
  if (ac.extensionCount < 1) due = std::clamp(due, second.due - ac.earlyWindow, second.due + ac.lateWindow);
  if (catchUp) due = std::min(due, second.due);
  // Neither the catch-up nor the window makes the leg faster than the catch-up speed.
  const auto fastest =
      static_cast<std::int32_t>(std::min(std::ceil(d * kCyclesPerNmAtOneKnot / lf_catchUpSpeedKt(ac, speedKt)), 1e9));
  due = std::max(due, lf_now() + std::max(kMinLegCycles, fastest));
  return std::max(due, lf_now());
}

void lf_highConfiguration(LiveAc& ac, double vs) {
  const bool rotor = ac.category == Rotorcraft;
  lf_shrinkWindows(ac);
  lf_queueEvent(ac, EVT_CABIN_LIGHTS_SET, 1);
  ac.landingMode = 0;
  ac.takeOffPending = 0;
  if (vs <= -250 && ac.throttleMarker == 3) lf_setThrottle(ac, rotor ? 4 : 2);
  if (vs > 400 && ac.throttleMarker == 4) lf_setThrottle(ac, 3);
  const double agl = ac.heightAboveGround;
  if (agl >= 2400) {
    lf_setGear(ac, 0);
    lf_setFlaps(ac, 0);
  } else if (vs <= 100) {
    if (agl >= 2000) {
      if (ac.flapsMarker == 0) lf_setFlaps(ac, 1);
    } else if (ac.flapsMarker == 0) {
      lf_setFlaps(ac, 1);
    } else if (ac.flapsMarker == 1) {
      lf_setFlaps(ac, 2);
    }
  }
}

// The nearest airport to a position within `withinNm`, the park airport among them.
std::optional<AirportData> lf_nearestField(const LatLon& at, double withinNm) {
  std::optional<AirportData> nearest = gf_airportNear != nullptr ? gf_airportNear(at, withinNm) : std::nullopt;
  const AirportData park = gf_parkAirportSnapshot();
  if (!park.code.empty() && gf_distanceNm(at, {park.lat, park.lon}) <= withinNm &&
      (!nearest || gf_distanceNm(at, {park.lat, park.lon}) < gf_distanceNm(at, {nearest->lat, nearest->lon})))
    nearest = park;
  return nearest;
}

// The airport the feed gives as the aircraft's destination, when it lies within `withinNm`.
std::optional<AirportData> lf_destinationNear(const LiveAc& ac, const LatLon& at, double withinNm) {
  if (gf_airportCalled == nullptr || ac.destination.empty()) return std::nullopt;
  std::optional<AirportData> bound = gf_airportCalled(ac.destination);
  if (!bound || gf_distanceNm(at, {bound->lat, bound->lon}) > withinNm) return std::nullopt;
  return bound;
}

// The airport within `withinNm` of a position that an aircraft there comes in to land at: the park
// airport, else the nearest of the airport list.
std::optional<AirportData> lf_fieldNear(const LatLon& at, double withinNm) {
  const AirportData park = gf_parkAirportSnapshot();
  if (!park.code.empty() && gf_distanceNm(at, {park.lat, park.lon}) <= withinNm) return park;
  if (gf_airportNear != nullptr) return gf_airportNear(at, withinNm);
  return std::nullopt;
}

// Where the field's reference point lies from the aircraft: ahead along its heading (negative
// behind it) and to the side, nautical miles.
std::pair<double, double> lf_toField(const LiveAc& ac, const AirportData& field) {
  const LatLon here = lf_here(ac);
  const LatLon at{field.lat, field.lon};
  const double off = gf_angleDiff(ac.position.heading, gf_bearingRad(here, at));
  const double distance = gf_distanceNm(here, at);
  return {distance * std::cos(off), distance * std::fabs(std::sin(off))};
}

// The field an approach comes down at: the airport the feed gives as the aircraft's destination
// when it lies within 10 nm, else the one its approach began at. The approach's field is the nearest
// airport where it began (a seaplane base or a small field on the way, as often as not): coming down
// by that one, an airliner held up by the feed's altitude came down beyond the runway it was landing
// on.
std::optional<AirportData> lf_comingDownAt(const LiveAc& ac) {
  if (std::optional<AirportData> bound = lf_destinationNear(ac, lf_here(ac), kApproachNm)) return bound;
  return ac.landingField;
}

// In landing mode, lined up with the field it comes down at, at or above the glide path down to the
// field's reference point (any height once past it).
bool lf_notBelowGlidePath(const LiveAc& ac) {
  if (ac.landingMode == 0) return false;
  const std::optional<AirportData> field = lf_comingDownAt(ac);
  if (!field) return false;
  const auto [along, across] = lf_toField(ac, *field);
  return across <= kFieldAsideNm &&
         ac.heightAboveGround >= std::max(along, 0.0) * std::tan(kGlidePathDeg * kDegToRad) * kFeetPerNm;
}

void lf_lowConfiguration(LiveAc& ac, double vs) {
  const bool rotor = ac.category == Rotorcraft;
  lf_queueEvent(ac, EVT_CABIN_LIGHTS_SET, 0);
  // The field it comes in to: the one its approach began at, or the one it is near.
  const LatLon here = lf_here(ac);
  const auto within = [&](const AirportData& field) {
    return gf_distanceNm(here, {field.lat, field.lon}) <= kApproachNm;
  };
  if (ac.landingMode == 0 || !ac.landingField) {
    ac.landingField = lf_fieldNear(here, kApproachNm);
  } else if (!within(*ac.landingField)) {
    // Far from the field its approach began at, it comes in to the one it is near now (on short
    // final, the one beneath it): an approach that began near one airport, passing it on the way,
    // ends at another, and levelling off on the way is no go-around.
    if (std::optional<AirportData> near =
            ac.heightAboveGround < kShortFinalFt ? lf_nearestField(here, kApproachNm) : lf_fieldNear(here, kApproachNm))
      ac.landingField = near;
  }
  const bool nearField = ac.landingField && within(*ac.landingField);
  if (vs <= -250 && ac.landingMode == 0 && nearField) {
    // Approach.
    lf_setThrottle(ac, rotor ? 4 : 1);
    lf_setFlaps(ac, 3);
    lf_setGear(ac, 1);
    g_newArrivals.push_back(ac.hexid);
    ac.landingMode = 1;
    ac.goAroundMark = 0;
    ac.latitude = ac.longitude = ac.heading = 0;
    ac.standId = 0;
    ac.cabinLightOff = 0;
    lf_wideWindows(ac);
    ac.stepCounter = 1;
  } else if (ac.goAroundMark == 0 && (vs > 600 || (ac.landingMode != 0 && vs > -250 && !nearField))) {
    // Go-around (or the climb-out near the ground), once until the next approach.
    lf_shrinkWindows(ac);
    if (ac.throttleMarker != 4) {
      lf_queueEvent(ac, EVT_THROTTLE_SET, kThrottle[4]);
      ac.throttleMarker = 4;
    }
    lf_setGear(ac, 0);
    ac.goAroundMark = 1;
    ac.landingMode = 0;
    lf_setFlaps(ac, 0);
    ac.flareStage = 0;
  }
}

// The cycles the landing takes to the field: to the first report on the ground, or sooner where the
// records' descent reaches the field sooner (the feed reports the ground late, and repeats its last
// airborne position meanwhile), less the flare's time.
std::int32_t lf_cyclesToField(const LiveAc& ac, const Situation& f, const Situation& s, double fieldFt) {
  const double descent = std::max(-f.verticalSpeed, kLeastLandingDescentFpm);
  const double height = std::max(ac.position.altitude - fieldFt, 0.0);
  const auto bySink = static_cast<std::int32_t>(height / descent * kCyclesPerMinute) - kFlareCycles;
  // Late for its records, the aircraft comes down where they do, as soon as it can fly there.
  const double speedKt = std::max(gf_flownSpeedKt(ac), 1.0);
  const auto byWay = static_cast<std::int32_t>(
      std::min(gf_distanceNm(lf_here(ac), lf_at(s)) * kCyclesPerNmAtOneKnot / speedKt, 1e9));
  return std::max(kMinLegCycles, std::min(std::max(lf_cyclesTo(s), byWay - kFlareCycles), bySink));
}

// The feed's report interval for an aircraft, seconds: the shortest between the first reports of its
// new positions over the last minute (a feed that repeats a position sends it again at that interval,
// and moves on after one or more of them); 0 where they do not tell.
double lf_reportIntervalSeconds(const LiveAc& ac) {
  const auto recent = [&](std::size_t i) -> const LiveAc::TimedPosition& { return gf_recentPosition(ac, i); };
  double shortest = 0;
  for (std::size_t i = 1; i < ac.recentCount; ++i) {
    const double interval = recent(i - 1).time - recent(i).time;
    if (interval > 0 && (shortest == 0 || interval < shortest)) shortest = interval;
    if (recent(0).time - recent(i).time >= kReportIntervalSeconds) break;
  }
  return shortest;
}

// Cycles the flare takes from its start to the touchdown.
double lf_flareCycles(const LiveAc& ac) {
  return (kFlareFromFt - kFlareThirdFt) / kFlareStep + (kFlareThirdFt - kFlareLastFt) / kFlareSlowStep +
         (ac.staticCgHeight + kFlareLastFt) / kFlareLastStep;
}

// The altitude the flare begins at over the ground beneath the aircraft, feet.
double lf_flareFromAltitude(const LiveAc& ac) {
  const double ground = ac.groundElevation ? *ac.groundElevation
                        : ac.landingField  ? ac.landingField->alt
                                           : ac.position.altitude - ac.heightAboveGround - ac.staticCgHeight;
  return ground + 2 * ac.staticCgHeight + kFlareFromFt;
}

// The way a landing aircraft has still to fly before it may touch down, metres along its records'
// positions from the buffer's situation `from` on; unset where nothing holds it off. The feed reports a
// landing on the ground only at its first report after the touchdown, and where it repeats its last
// airborne position meanwhile, a report or two later: the records' descent may reach the field a
// kilometre before the first position they have on the ground. The touchdown lies no farther before
// that position than the aircraft rolls in one of the feed's report intervals, slowing from the speed
// last reported in the air to the one reported there.
std::optional<double> lf_wayToTouchdownM(const LiveAc& ac, std::size_t from) {
  if (ac.landingMode == 0 || ac.movesOnGround != 0 || ac.landed != 0 || ac.category == Rotorcraft) return std::nullopt;
  const auto& buffer = ac.situations;
  // The first record on the ground, after one in the air (the leg's start while the leg is flown): asked
  // every cycle of a landing, it is looked for before any way is measured.
  std::size_t ground = from;
  while (ground < buffer.size() && buffer[ground].airborne != 0 && buffer[ground].extension == 0) ++ground;
  if (ground == buffer.size() || buffer[ground].extension != 0 || buffer[ground].noMovement != 0) return std::nullopt;
  const bool leg = ground == 0;
  if (leg ? ac.legFromAirborne == 0 : buffer[ground - 1].airborne == 0) return std::nullopt;
  const Situation& down = buffer[ground];
  const double airKt = leg ? ac.legFromKt : buffer[ground - 1].speed;
  const std::int32_t airDue = leg ? ac.legFromDue : buffer[ground - 1].due;
  const double interval = lf_reportIntervalSeconds(ac);
  if (interval <= 0 || down.due - airDue > kLateGroundReports * interval * kCyclesPerSecond) return std::nullopt;
  // Flown past the position it flies to (its records have it farther back), it is past their hold.
  LatLon at = lf_here(ac);
  if (from < buffer.size() &&
      std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(at, lf_at(buffer[from])))) > kPi / 2)
    return std::nullopt;
  double metres = 0;
  for (std::size_t i = from; i <= ground; ++i) {
    metres += gf_distanceNm(at, lf_at(buffer[i])) * kMetresPerNm;
    at = lf_at(buffer[i]);
  }
  const double way = metres - interval * (airKt + down.speed) / 2 * kMetresPerSecondPerKnot;
  if (way <= 0) return std::nullopt;
  return way;
}

// The way left before the flare may begin, metres: the way to the earliest touchdown less the flare's
// at the speed flown (the flare floats on to that point where it comes down sooner); unset where
// nothing holds the flare off.
std::optional<double> lf_wayToFlareM(const LiveAc& ac, std::size_t from) {
  const std::optional<double> way = lf_wayToTouchdownM(ac, from);
  if (!way) return std::nullopt;
  const double left =
      *way - std::max(gf_flownSpeedKt(ac), 1.0) * kMetresPerSecondPerKnot * lf_flareCycles(ac) / kCyclesPerSecond;
  if (left <= 0) return std::nullopt;
  return left;
}

// The approach vertical speed written into the second situation and the target; the altitude follows
// it per cycle.
void lf_descendAt(LiveAc& ac, Situation& second, double vs) {
  second.verticalSpeed = vs;
  ac.targetVerticalSpeed = vs;
  ac.altitudeStep = vs / kCyclesPerMinute;
}

void lf_planAltitudeStep(LiveAc& ac) {
  auto& buffer = ac.situations;
  Situation& f = buffer[0];
  Situation& s = buffer[1];
  const double agl = ac.heightAboveGround;
  const double maxClimb = ac.maxClimbPerCycle();
  ac.belowHeldAltitude = 0;
  if (f.airborne == 0 && s.airborne == 0) {
    double vsSum = 0;
    for (const Situation& b : buffer) vsSum += b.verticalSpeed;
    std::size_t airborneAt = 0;
    for (std::size_t i = 2; i < std::min<std::size_t>(buffer.size(), 10); ++i)
      if (buffer[i].airborne != 0) {
        airborneAt = i;
        break;
      }
    // Rolling for take-off or lifting off, the feed may still report the aircraft on the ground: it
    // climbs out rather than coming in to land.
    const bool climbingOut = ac.phase == GroundPhase::TakeOffRoll && ac.landingMode == 0;
    if (ac.landingMode != 0 || (vsSum <= 100 && !climbingOut)) {
      lf_descendAt(ac, s, lf_approachVs(ac));
    } else if (airborneAt != 0) {
      buffer.erase(buffer.begin() + 1, buffer.begin() + static_cast<std::ptrdiff_t>(airborneAt));
      Situation& next = buffer[1];
      next.due = lf_legDue(ac, next, std::max(1.0, lf_legSpeedKt(ac)));
      ac.altitudeStep = next.altitude > ac.position.altitude
                            ? std::min((next.altitude - ac.position.altitude) / lf_cyclesTo(next), maxClimb)
                            : 0.0;
    } else {
      s.verticalSpeed = std::max(s.verticalSpeed, 601.0);
      ac.altitudeStep = s.verticalSpeed / kCyclesPerMinute;
    }
    lf_setGear(ac, 1);
  } else if (f.airborne == 0) {
    ac.altitudeStep = s.altitude > ac.position.altitude
                          ? std::min((s.altitude - ac.position.altitude) / lf_cyclesTo(s), maxClimb)
                          : 0.0;
  } else if (s.airborne != 0) {
    // Coming in low, a record at the altitude of the one before it, or above the aircraft while
    // its own vertical speed says it descends, is the feed's altitude lagging: the aircraft goes on
    // down rather than levelling off or climbing back to it. Not by more than the records' own
    // descent over the feed's lag, though: an aircraft that far below its records is too low. Unless
    // it comes out of a silence it flew on its own: it came down by its glide path then, and the
    // feed's first record after it may carry the altitude held before it, however far above. Nor is
    // an aircraft lined up with its field, on or above the glide path to it, too low: its records
    // trail it (they may lag its position as well as its altitude), and climbing back up to them on
    // a final carried it over the runway too high to land on it.
    const double above = s.altitude - ac.position.altitude;
    const bool lagging = (s.altitude == f.altitude && f.verticalSpeed + s.verticalSpeed <= 100) ||
                         (above > 0 && s.verticalSpeed < 0 &&
                          (f.extension != 0 || above <= std::max(-s.verticalSpeed * kLagMinutes, kLeastLagFt) ||
                           lf_notBelowGlidePath(ac)));
    if (lf_comingIn(ac) && agl <= 1000 && lagging) {
      lf_descendAt(ac, s, lf_noSteeperThanGlidePath(ac, lf_approachVs(ac), gf_flownSpeedKt(ac)));
      ac.belowHeldAltitude = 1;
    } else {
      double step = lf_withinCodeStep(ac, s, above, above / lf_cyclesTo(s));
      // The category's climb limit; climbing out near the ground (the records climb) a climb goes on
      // at a least rate. An aircraft whose records descend only follows them.
      const bool climbingOut = s.altitude > f.altitude;
      if (ac.landingMode == 0 && step > 0)
        step = agl > 1000 || !climbingOut ? std::min(step, maxClimb) : std::clamp(step, 0.2, maxClimb);
      if (ac.landingMode != 0 && s.altitude <= f.altitude) step = lf_approachStep(ac, step);
      ac.altitudeStep = step;
    }
  } else {
    // The landing: down to the field the records reach the ground at, by the time they reach it
    // whatever the QNH (under a high one the approach's rate alone left arrivals floating half a
    // minute down the runway). Still in the air below the field's elevation (the simulator's ground
    // lies lower there), it goes on down, never back up to it.
    const std::optional<AirportData> field = lf_fieldNear(lf_at(s), kTouchdownFieldNm);
    if (field) ac.landingField = field;
    const std::int32_t qnh = g_engineQnh.load();
    if (field && ac.position.altitude > field->alt)
      ac.altitudeStep = (field->alt - ac.position.altitude) / lf_cyclesToField(ac, f, s, field->alt);
    else
      lf_descendAt(ac, s, qnh <= 1013 ? -601.0 : lf_approachVs(ac));
    lf_setGear(ac, 1);
  }
}

// The altitude step of the leg, never steeper down than the category descends nor up than it climbs
// (a short leg to a low or high record would have it plunge or shoot up).
void lf_planAltitude(LiveAc& ac) {
  lf_planAltitudeStep(ac);
  ac.altitudeStep = std::clamp(ac.altitudeStep, lf_steepestDescentPerCycle(ac), ac.maxClimbPerCycle());
  const double held = lf_notBeforeTouchdown(ac, ac.altitudeStep, 1);
  if (held != ac.altitudeStep) {
    ac.altitudeStep = held;
    ac.targetVerticalSpeed = held * kCyclesPerMinute;
    if (ac.situations[1].airborne != 0) ac.situations[1].verticalSpeed = ac.targetVerticalSpeed;
  }
}

}  // namespace

double lf_notBeforeTouchdown(const LiveAc& ac, double step, std::size_t from) {
  if (step >= 0) return step;
  const std::optional<double> left = lf_wayToFlareM(ac, from);
  if (!left) return step;
  const double above = ac.position.altitude - lf_flareFromAltitude(ac);
  if (above <= 0) return 0.0;
  const double cycles = *left / (std::max(gf_flownSpeedKt(ac), 1.0) * kMetresPerSecondPerKnot) * kCyclesPerSecond;
  return std::max(step, -above / std::max(cycles, 1.0));
}

bool lf_holdsOffTheFlare(const LiveAc& ac) { return lf_wayToFlareM(ac, 0).has_value(); }

bool lf_holdsOffTheTouchdown(const LiveAc& ac) { return lf_wayToTouchdownM(ac, 0).has_value(); }

bool lf_floatsBeforeTouchdown(const LiveAc& ac) {
  return ac.position.altitude <= lf_flareFromAltitude(ac) && lf_holdsOffTheTouchdown(ac);
}

double lf_catchUpSpeedKt(const LiveAc& ac, double speedKt) {
  const double positionsKt = ac.movesOnGround == 0 ? gf_positionsSpeedKt(ac, lf_now()) : 0.0;
  return 1.3 * std::max(speedKt, positionsKt) + 30;
}

double lf_withinCodeStep(const LiveAc& ac, const Situation& record, double left, double step) {
  if (std::fabs(left) > kAltitudeCodeStepFt || (ac.landingMode != 0 && ac.category != Rotorcraft)) return step;
  const double most = std::max(std::fabs(record.verticalSpeed), kLevelDriftFpm) / kCyclesPerMinute;
  return std::clamp(step, -most, most);
}

double lf_approachStep(const LiveAc& ac, double step) {
  // A helicopter comes down as its records do: it may hover low on its way.
  if (ac.heightAboveGround > kShortFinalFt || ac.category == Rotorcraft) return step;
  const double least = std::min(kLeastLandingDescentFpm, -gf_glidePathFpm(gf_flownSpeedKt(ac)));
  return std::min(step, -least / kCyclesPerMinute);
}

double gf_flownSpeedKt(const LiveAc& ac) {
  constexpr double kKnotsPerMetreASecond = 3600.0 / 1852.0;
  if (ac.airPath.speedMps > 0) return ac.airPath.speedMps * kKnotsPerMetreASecond;
  return ac.situations.empty() ? 0.0 : std::max(ac.situations.front().speed, 0.0);
}

double gf_glidePathFpm(double speedKt) {
  return -std::tan(kGlidePathDeg * kDegToRad) * kFeetPerNm * std::max(speedKt, 0.0) / kMinutesPerHour;
}

double lf_noSteeperThanGlidePath(const LiveAc& ac, double fpm, double speedKt) {
  if (ac.heightAboveGround > kGlidePathBelowFt) return fpm;
  const double glided = std::max(fpm, gf_glidePathFpm(speedKt));
  // The feed holds a landing's altitude while the aircraft goes on down: from the held height the
  // glide path can carry it past the middle of the field, onto a runway's far end or beyond it. It
  // comes down more steeply then, to be down by the point abeam the field's reference point (which
  // lies about the middle of its runways), never short of the field, and no steeper than the
  // steepest approaches are flown. Only on a final: flying straight at the field at a final's speed
  // (turning, it is not lined up with any runway yet; faster, it is not landing yet).
  if (speedKt <= 0 || speedKt > kFastestFinalKt || std::fabs(ac.position.bank) > kStraightBankDeg * kDegToRad)
    return glided;
  std::optional<AirportData> landingField = lf_comingDownAt(ac);
  if (!landingField) landingField = lf_fieldNear(lf_here(ac), kApproachNm);
  if (!landingField) return glided;
  const auto [along, across] = lf_toField(ac, *landingField);
  if (along < kLeastAlongToFieldNm || across > kFieldAsideNm) return glided;
  const double minutes = along / speedKt * kMinutesPerHour;
  return std::min(glided, std::max(-ac.heightAboveGround / minutes, kSteepestFinalGlidePaths * gf_glidePathFpm(speedKt)));
}

double gf_bankLimit(const LiveAc& ac) {
  const double most = gf_maxBank(ac.category);
  if (ac.movesOnGround != 0) return most;
  if (ac.flareStage != 0) return 0.0;
  const double agl = ac.heightAboveGround;
  const double low = kLowBankDeg * kDegToRad;
  if (agl >= kLowBankFt + kLowBankEaseFt) return most;
  if (agl >= kLowBankFt) return std::min(most, low + (most - low) * (agl - kLowBankFt) / kLowBankEaseFt);
  const double level = kLevelBankDeg * kDegToRad;
  if (agl <= kLevelFromFt) return std::min(most, level);
  if (agl <= kLevellingFt) return std::min(most, level + (low - level) * (agl - kLevelFromFt) / (kLevellingFt - kLevelFromFt));
  return std::min(most, low);
}

double lf_steepestDescentPerCycle(const LiveAc& ac) {
  return std::max(-kDescentPerClimb * ac.maxClimbPerCycle(), -kMostDescentPerCycle);
}

std::optional<double> gf_lowestInTheAir(LiveAc& ac) {
  if (ac.movesOnGround != 0 || ac.landed != 0 || ac.category == Rotorcraft || ac.phase != GroundPhase::Airborne ||
      ac.heightAboveGround > 2 * kLowestAwayFt)
    return std::nullopt;
  const LatLon here = lf_here(ac);
  // Where it comes down: where its records have it on the ground, else at the field it comes in to.
  std::optional<LatLon> down;
  double within = kGroundRecordNearNm;
  for (const Situation& s : ac.situations)
    if (s.airborne == 0 && s.extension == 0) {
      down = lf_at(s);
      break;
    }
  // Asked every cycle while the aircraft is low: the list is searched again once a second at most.
  const std::int32_t now = lf_now();
  if (ac.nearFieldCycle < 0 || now < ac.nearFieldCycle || now - ac.nearFieldCycle >= kCyclesPerSecond) {
    ac.nearField = lf_nearestField(here, kApproachNm);
    ac.nearFieldCycle = now;
  }
  const std::optional<AirportData>& field = ac.nearField;
  if (!down && field) {
    down = LatLon{field->lat, field->lon};
    within = kFieldNearNm;
  }
  // Nor down through the flare's height before its records allow the touchdown; lower already (they
  // put the touchdown farther on only now), it holds the height it had before this cycle's step.
  const std::optional<double> flare =
      ac.flareStage == 0 && lf_holdsOffTheFlare(ac)
          ? std::optional<double>(
                std::min(lf_flareFromAltitude(ac), ac.position.altitude - std::min(ac.altitudeStep, 0.0)))
          : std::nullopt;
  if (!down || gf_distanceNm(here, *down) <= within) return flare;
  const double ground = ac.groundElevation ? *ac.groundElevation : field ? field->alt : ac.position.altitude - ac.heightAboveGround;
  return std::max(ground + kLowestAwayFt, flare.value_or(ground));
}

double gf_maxBank(int category) { return kMaxBankDeg[lf_categoryIndex(category)] * kDegToRad; }
double gf_maxBankChange(int category) { return kMaxBankChangeDeg[lf_categoryIndex(category)] * kDegToRad; }
double gf_maxPitchChange(int category) { return kMaxPitchChangeDeg[lf_categoryIndex(category)] * kDegToRad; }
double gf_rollRate(int category) { return kRollRateDegPerSecond[lf_categoryIndex(category)] * kDegToRad; }

void lf_leaveAtStreamEnd(LiveAc& ac) {
  if (ac.phase != GroundPhase::AtStand) lf_learnSoftParkPos(ac, ac.phase != GroundPhase::Airborne);
  removeAircraftFromSim(ac);
}

bool lf_leavesFlyingOn(LiveAc& ac) {
  // A position held for the next record to decide on is the feed moving on: the aircraft may yet turn
  // to it.
  if (ac.situations.empty() || ac.situations.front().extension == 0 || ac.heldRecord || !lf_streamOverInAir(ac))
    return false;
  lf_leaveAtStreamEnd(ac);
  return true;
}

void nextPosMain(LiveAc& ac) {
  try {
    // Each pass either plans a leg, drops one situation or adds one; the bound only guards against a
    // stream that keeps adding and dropping.
    for (int pass = 0; pass < 64; ++pass) {
      auto& buffer = ac.situations;
      if (buffer.size() >= 2) {
        if (ac.movesOnGround == 0 && buffer[1].noMovement != 0 && ac.category != Rotorcraft) {
          buffer.erase(buffer.begin() + 1);
          continue;
        }
        nextPos(ac);
        return;
      }
      if (lf_extendStream(ac)) continue;
      lf_leaveAtStreamEnd(ac);
      return;
    }
    gf_logf("{}: {} {}, sz:{}", "nextPosMain", "no leg after 64 passes", ac.description(), ac.situations.size());
    removeAircraftFromSim(ac);
  } catch (const std::exception& e) {
    gf_logf("{}: {} {}, sz:{}", "nextPosMain", e.what(), ac.description(), ac.situations.size());
  }
}

void nextPos(LiveAc& ac) {
  try {
    ac.curve.clear();
    ac.curveParameter = 0;
    {
      Situation& f = ac.front();
      Situation& s = ac.second();
      if (s.noMovement == 0 && s.latitude == f.latitude && s.longitude == f.longitude) s.noMovement = 1;
      if (s.noMovement == 0) ac.bearingToNext = gf_bearingRad(lf_at(f), lf_at(s));
    }
    if (ac.movesOnGround != 0)
      nextPosGround(ac);
    else
      nextPosAir(ac);
    if (ac.situations.size() >= 2) {
      const Situation& next = ac.second();
      if (next.noMovement != 0) {
        ac.latitudeStep = ac.longitudeStep = 0;
        if (ac.landed == 0 && ac.takeOffPending == 0) lf_shrinkWindows(ac);
      } else {
        const double n = lf_cyclesTo(next);
        ac.latitudeStep = (next.latitude - ac.position.latitude) / n;
        ac.longitudeStep = (next.longitude - ac.position.longitude) / n;
        if (ac.movesOnGround != 0)
          lf_planGroundLeg(ac, next);
        else
          lf_planAirLeg(ac);
      }
      lf_planAirPath(ac);
    }
    if (const Situation& from = ac.situations.front(); from.extension == 0) {
      ac.legFromKt = from.speed;
      ac.legFromDue = from.due;
      ac.legFromAirborne = from.airborne;
    }
    ac.situations.pop_front();
    if (ac.situations.empty()) {
      removeAircraftFromSim(ac);
      throw std::runtime_error(fmt::format("{} {} stream at the end is empty?", "nextPos", ac.description()));
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {} {}, sz:{}", "nextPos", e.what(), ac.description(), ac.situations.size());
  }
}

void nextPosAir(LiveAc& ac) {
  try {
    Situation& f = ac.front();
    Situation& s = ac.second();
    if (s.noMovement != 0) {
      if (ac.category == Rotorcraft) adjustTimeGround(ac);
      return;
    }
    double speed = lf_legSpeedKt(ac);
    if (ac.landingMode != 0 && s.airborne == 0) speed = f.speed > 0 ? f.speed : 100.0;
    // A leg begins when its front falls due. Only an aircraft that has just come into the simulator
    // (its creation takes a few seconds) sets off later; counting its legs from then would keep the
    // whole flight that much behind the reported positions, so its legs make up the delay until one
    // ends by its stamped due.
    if (lf_now() > f.due) ac.catchingUp = 1;
    const std::int32_t stamped = s.due;
    s.due = lf_legDue(ac, s, std::max(speed, 1e-6), ac.catchingUp != 0);
    ac.airPath.stampedDue = stamped;
    if (s.due <= stamped) ac.catchingUp = 0;
  } catch (const std::exception& e) {
    gf_logf("{}: {} {}, sz:{}", "nextPosAir", e.what(), ac.description(), ac.situations.size());
  }
}

double lf_legSpeedKt(const LiveAc& ac) {
  const Situation& f = ac.situations.at(0);
  const Situation& s = ac.situations.at(1);
  if (f.speed == 0 && s.speed == 0) {
    const double d = gf_distanceNm(lf_at(f), lf_at(s));
    return std::max(1.0, d * kCyclesPerNmAtOneKnot / std::max(kMinLegCycles, s.due - f.due));
  }
  return (f.speed + s.speed) / 2;
}

double lf_turnToNextLeg(const LiveAc& ac) {
  if (ac.situations.size() < 3) return 0.0;
  const double course = gf_bearingRad(lf_at(ac.situations[1]), lf_at(ac.situations[2]));
  return gf_angleDiff(ac.position.heading, course);
}

void lf_setBankStep(LiveAc& ac, double turn, int steps) {
  const double maxBank = gf_bankLimit(ac);
  const double maxChange = gf_maxBankChange(ac.category);
  const double target = -std::clamp(turn, -maxBank, maxBank);
  ac.bankStep = std::clamp((target - ac.position.bank) / std::max(steps, 1), -maxChange, maxChange);
}

bool lf_comingIn(const LiveAc& ac) {
  if (ac.situations.empty() || ac.movesOnGround != 0) return ac.landingMode != 0;
  if (ac.landingMode == 0) {
    const Situation& f = ac.situations.front();
    if (f.airborne == 0 || f.verticalSpeed > -250 || ac.heightAboveGround > kComingInFt) return false;
  }
  // Flying away from the fields it descends near, an aircraft is not coming in to one (yet): it is
  // neither taken down through the feed's held altitudes nor flown on through a silence towards
  // ground it would never reach. Over a field, whose reference point may lie behind a landing, it is.
  const LatLon here = lf_here(ac);
  const auto ahead = [&](const std::optional<AirportData>& field) {
    if (!field) return false;
    const LatLon at{field->lat, field->lon};
    return gf_distanceNm(here, at) <= kGroundRecordNearNm ||
           std::fabs(gf_angleDiff(ac.position.heading, gf_bearingRad(here, at))) <= kFieldAheadDeg * kDegToRad;
  };
  const std::optional<AirportData> nearest = lf_nearestField(here, kApproachNm);
  if (ac.landingMode != 0) return (!nearest && !ac.landingField) || ahead(ac.landingField) || ahead(nearest);
  return ahead(nearest);
}

double lf_approachVs(const LiveAc& ac) {
  if (ac.heightAboveGround <= 100) return -600.0;
  const double mean = (ac.situations.at(0).verticalSpeed + ac.situations.at(1).verticalSpeed) / 2;
  return std::min(-601.0, mean - (g_engineQnh.load() - 1013) * 6.0);
}

void lf_planAirLeg(LiveAc& ac) {
  if (ac.phase != GroundPhase::TakeOffRoll && ac.phase != GroundPhase::Airborne) ac.setPhase(GroundPhase::Airborne);
  {
    const Situation& s = ac.second();
    ac.targetVerticalSpeed = s.verticalSpeed;
    ac.targetTrueAirspeed = s.trueAirspeed;
  }
  if (ac.flareStage == 0) lf_planAltitude(ac);

  const Situation& f = ac.front();
  const Situation& s = ac.second();
  const std::int32_t n = lf_cyclesTo(s);

  if (ac.phase != GroundPhase::TakeOffRoll) {
    const double target = gf_pitchForVerticalSpeed(s.verticalSpeed);
    const double maxChange = gf_maxPitchChange(ac.category);
    ac.pitchStep = std::clamp((target - ac.position.pitch) / n, -maxChange, maxChange);
  }

  const double agl = ac.heightAboveGround;
  const bool feedSteers = s.feedAttitudeUsable != 0 && s.feedTrackGiven != 0 && s.feedBankGiven != 0 &&
                          agl < (ac.landingMode != 0 ? 2000 : 1000);
  const double turn = feedSteers ? gf_angleDiff(ac.position.heading, s.feedTrack) : lf_turnToNextLeg(ac);
  ac.headingStep = turn / n;
  if (s.feedBankGiven != 0) {
    const double maxBank = gf_bankLimit(ac);
    ac.bankStep = (std::clamp(s.feedBank, -maxBank, maxBank) - ac.position.bank) / n;
  } else {
    lf_setBankStep(ac, turn, n);
  }

  const bool rotor = ac.category == Rotorcraft;
  if (f.altitude >= 10000) {
    if (ac.lightsAbove10000Set == 0) {
      ac.lightsAbove10000Set = 1;
      ac.lightsBelow10000Set = 0;
      lf_setLights(ac, 1, 1, 0, 0, 0, 0, 1);
      lf_setThrottle(ac, rotor ? 4 : 3);
      lf_setGear(ac, 0);
      lf_setFlaps(ac, 0);
    }
  } else {
    if (ac.lightsBelow10000Set == 0) {
      ac.lightsBelow10000Set = 1;
      ac.lightsAbove10000Set = 0;
      lf_setLights(ac, 1, 1, 1, 1, 1, 1, 1);
    }
    const bool mid = ac.category >= Buzjets && ac.category <= Heavy;
    if (agl > (mid ? 2050 : 625))
      lf_highConfiguration(ac, s.verticalSpeed);
    else
      lf_lowConfiguration(ac, s.verticalSpeed);
  }
}

void lf_flare(LiveAc& ac) {
  const double cg = ac.staticCgHeight;
  const double agl = ac.heightAboveGround;
  switch (ac.flareStage) {
    case 0: {
      ac.heightAboveTarget = ac.landingSurfaceAltitude ? ac.position.altitude - *ac.landingSurfaceAltitude : agl;
      if (std::min(agl, ac.heightAboveTarget) <= cg + kFlareFromFt && !lf_holdsOffTheFlare(ac)) {
        ac.pitchStep = (-4.0 * kDegToRad - ac.position.pitch) / std::max<std::uint32_t>(1, ac.flareSteps);
        ac.altitudeStep = -kFlareStep;
        if (!ac.situations.empty()) ac.situations.front().verticalSpeed = -601;
        g_fastRange = 1;
        ac.flareStage = 1;
      }
      break;
    }
    case 1:
      if (agl <= cg + kFlareSecondFt) {
        if (ac.landingField) ac.landingSurfaceAltitude = ac.landingField->alt;
        if (!ac.situations.empty()) ac.situations.front().verticalSpeed = -450;
        ac.flareStage = 2;
      }
      break;
    case 2:
      if (agl <= cg + kFlareThirdFt) {
        lf_setThrottle(ac, 0);
        ac.altitudeStep = -kFlareSlowStep;
        if (!ac.situations.empty()) ac.situations.front().verticalSpeed = -300;
        ac.flareStage = 3;
      }
      break;
    case 3:
      if (agl <= cg + kFlareLastFt) {
        ac.altitudeStep = -kFlareLastStep;
        if (!ac.situations.empty()) ac.situations.front().verticalSpeed = -150;
        ac.flareStage = 4;
      }
      break;
    default:
      break;
  }
  // Down to its last feet before its records allow the touchdown, the flare floats on just above the
  // ground, and settles onto it where they do; no farther than a flare's way (one begun before the
  // records put the touchdown farther on does not float that far).
  if (ac.flareStage == 0 || !ac.groundElevation) return;
  const double wheels = ac.position.altitude - *ac.groundElevation - cg;
  if (wheels > kFloatFt) return;
  const std::optional<double> way = lf_wayToTouchdownM(ac, 0);
  const double mps = gf_flownSpeedKt(ac) * kMetresPerSecondPerKnot;
  const double settleM = std::max(wheels, 0.0) / kFlareLastStep / kCyclesPerSecond * mps;
  if (way && *way > settleM && *way <= settleM + mps * lf_flareCycles(ac) / kCyclesPerSecond)
    ac.altitudeStep = 0.0;
  else if (ac.altitudeStep == 0.0)
    ac.altitudeStep = -kFlareLastStep;
}

void lf_climbOut(LiveAc& ac) {
  // The first cycle of the roll ends the ground movement; the air planner takes the next leg.
  ac.movesOnGround = 0;
  --ac.stepCounter;
  AiPosBlock& p = ac.position;
  if (ac.stepCounter > 0) {
    if (p.pitch > ac.takeOffPitch) p.pitch = std::max(p.pitch + ac.pitchStep, ac.takeOffPitch);
    return;
  }
  p.bank += ac.bankStep;
  if (p.pitch > ac.climbPitch) {
    const double rotate = (ac.climbPitch - ac.takeOffPitch) / std::max<std::uint32_t>(1, ac.climbOutSteps);
    p.pitch = std::max(p.pitch + rotate, ac.climbPitch);
  } else {
    ac.pitchStep = 0;
  }
  const std::int32_t sinceLiftOff = -ac.stepCounter;
  const double share = sinceLiftOff < 100 ? 0.1 : sinceLiftOff < 200 ? 0.2 : sinceLiftOff < 300 ? 0.5 : 1.0;
  if (sinceLiftOff == 300) lf_setGear(ac, 0);
  // Climbing out, never down.
  p.altitude += std::max(0.0, ac.altitudeStep) * share;
  if (ac.heightAboveGround >= 800) {
    lf_setThrottle(ac, ac.category == Rotorcraft ? 4 : 3);
    ac.setPhase(GroundPhase::Airborne);
    ac.stepCounter = 1;
  }
}

}  // namespace amb
