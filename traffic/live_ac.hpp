#pragma once
// Live aircraft: an Act with everything that moving it needs, above all its buffer of timed
// positions (Situation) still to be flown. The feed produces the situations; the engine flies them.
//
// Time in the engine is counted in engine cycles (g_engineCycle): one per call of the engine's update
// step, once per 10 ms tick while the simulator runs. 100 cycles are a second.

#include "core/airport_data.hpp"
#include "core/geometry.hpp"
#include "records/aircraft.hpp"
#include "records/blocks.hpp"
#include "records/situation.hpp"
#include "state/run_state.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <vector>

namespace amb {

enum class GroundPhase : std::uint32_t {
  LeavingStand = 0,
  EnginesStarted = 1,
  Taxi = 2,
  TakeOffRoll = 3,
  Airborne = 4,
  ToStand = 5,
  AtStand = 6,
  New = 7,
};

// A timed quadratic curve on the ground, in metres around its origin. Not set while its times or
// middle point are NaN.
struct GroundCurve {
  static constexpr double kUnset = std::numeric_limits<double>::quiet_NaN();
  double originLatitude = 0;
  double originLongitude = 0;
  double startTime = kUnset;
  double endNorth = kUnset;
  double endEast = kUnset;
  double endTime = kUnset;
  double middleEast = kUnset;
  double middleNorth = kUnset;
  // Its length in metres, measured once where it is set (unset: measured when asked).
  double lengthMetres = kUnset;

  bool isSet() const;
  void clear();
};

// How the aircraft flies a leg in the air: as an aeroplane does, forward along its nose at a ground
// speed of its own, turning at the rate its bank gives, back onto the reported track and along it
// (see traffic/air_path.hpp). The speed and the bank carry on from leg to leg.
struct AirPath {
  std::uint8_t guided = 0;      // the leg is flown this way (it was planned in the air)
  std::uint8_t feedBank = 0;    // the feed gives the bank shown on this leg
  std::uint8_t beforeKnown = 0;  // the reported position before the leg's start is known
  // The reported position the leg set off from, and the one before it: the track comes into the
  // leg's start from there.
  double fromLatitude = 0, fromLongitude = 0;
  double beforeLatitude = 0, beforeLongitude = 0;
  std::int32_t fromDue = 0, beforeDue = 0;  // when the records had the aircraft there
  double speedMps = -1;     // the ground speed flown, metres a second; negative before it flies
  double legMps = 0;        // the leg's speed as reported
  double approachMps = 0;   // the speed last reported for it in the air
  double fastestMps = 0;    // the leg's catch-up speed: the fastest it flies to make up a delay
  // The speed the positions flown over the last minute imply, whatever speed the feed reports with
  // them (a feed's speed may freeze while its positions move on); 0 where they do not tell. Worked
  // out again every few seconds (the cycle it was).
  double positionsMps = 0;
  std::int32_t positionsCycle = -1;
  double bank = 0;          // the bank it turns by, radians (the feed's, where given, is shown)
  // The due the feed's record stamped on the leg's end (its report plus the engine's delay), before
  // the leg's own timing moved it: the aircraft keeps to it.
  std::int32_t stampedDue = 0;
};

struct LiveAc : Act {
  AiPosBlock position;              // sent to the simulator every cycle
  std::deque<Situation> situations;  // front: flying from; second: flying to
  double lastDataTime = 0;           // time of the last record taken
  // The last record taken, as the feed reported it: the next record is measured from here (the
  // buffer's own copy may have been moved, stopped or dropped since).
  double lastRecordLatitude = 0;
  double lastRecordLongitude = 0;
  double lastRecordSpeed = 0;  // knots
  double lastRecordTrack = 0;  // degrees, the track reported with the position
  std::int32_t lastMoveCycle = 0;  // the engine cycle at which the feed last had it somewhere new
  std::uint8_t lastRecordAirborne = 0;
  std::uint8_t implausibleLogged = 0;  // a record dropped as stale or foreign has been logged
  std::uint8_t jumpLogged = 0;         // a record first held back and then confirmed has been logged
  // A record that did not go on from the last one taken, held until the next record that moves on
  // tells whether the aircraft went on from it (taken after all) or not (stale or foreign, dropped).
  // Meanwhile an aircraft in the air that has flown to the end of its known track turns toward it.
  struct HeldRecord {
    AcIdentity identity;
    Situation situation;
    double timestamp = 0;
    // Back at a position taken before the last one: an old snapshot the feed sends again, far more
    // often than the aircraft come back there. Not turned toward while the feed decides.
    bool takenBefore = false;
    // How many held records before it, each going on from the one before and refused only for the
    // way to it from the last position taken, this one goes on from.
    std::uint8_t chain = 0;
  };
  std::optional<HeldRecord> heldRecord;
  // The positions taken before the last one, the newest first.
  static constexpr std::size_t kEarlierPositions = 8;
  std::array<LatLon, kEarlierPositions> earlierPositions{};
  std::uint8_t earlierCount = 0;
  // The distinct positions taken lately, each with the time it was first reported, in a ring (the
  // newest at recentNext - 1): the speed they imply over the last minute, whatever speed the feed
  // reports, and the stale copies of them the feed sends again. At the feed's fastest, one line a
  // second, it holds the last half minute.
  struct TimedPosition {
    LatLon at;
    double time = 0;     // the feed's time it was first reported
    std::int32_t due = 0;  // the cycle the aircraft is due there
    double speedKt = 0;  // as reported with it
    // The step from the position before it: nautical miles, and knots over the time between the two
    // first arrivals (0 where that time is none).
    double stepNm = 0;
    double stepKt = 0;
  };
  // Kept apart from the aircraft's own record, which every cycle goes through: the ring is read only
  // when a record comes and every few seconds.
  static constexpr std::size_t kRecentPositions = 32;
  std::vector<TimedPosition> recentPositions;
  std::uint8_t recentNext = 0;
  std::uint8_t recentCount = 0;
  // The report that has the aircraft on the ground far from where it landed: the aircraft is removed
  // and created again from it (the time is the record's).
  struct RestartRecord {
    Situation situation;
    double timestamp = 0;
  };
  std::optional<RestartRecord> restartFrom;
  std::int64_t standArrivalTicks = 0;  // steady clock, 100 ns units, at arrival at the stand
  std::int32_t extensionCount = 0;     // synthetic situations still allowed; negative: none
  // Taken up again after its object was removed to be created again (1; 2 once it has said it waits).
  std::uint8_t recreated = 0;
  std::uint32_t waitStart = 0;         // cycle at which waiting at the end of a taxi stream began
  GroundPhase phase = GroundPhase::New;
  GroundPhase previousPhase = GroundPhase::New;
  std::uint8_t checkedAtStand = 0;
  std::uint8_t movesOnGround = 0;  // the ground planner steps this aircraft
  std::uint8_t heldBack = 0;       // not spawned while in the user's way
  std::uint8_t waiting = 0;
  double latitudeStep = 0;   // degrees per cycle
  double longitudeStep = 0;
  double pitchStep = 0;      // radians per cycle
  double bankStep = 0;
  double headingStep = 0;
  double altitudeStep = 0;   // feet per cycle
  double targetVerticalSpeed = 0;  // feet per minute
  double targetTrueAirspeed = 0;   // knots
  GroundCurve curve;
  double curveParameter = 0;  // 0 to 0.999999
  double curveStep = 0;
  double curveAngle = 0;      // degrees of turn the curve covers
  Situation savedSituation;   // a stand or pull-out position kept for the push-back
  std::int32_t earlyWindow = 1000;  // cycles a recomputed due may come before the stamped one
  std::int32_t lateWindow = 1000;   // ... and after it
  // Take-off roll steps while positive; after lift-off it counts on below 0, so -n is the n-th cycle
  // of the climb-out. Signed, so that the count below 1 keeps its order.
  std::int32_t stepCounter = 1;
  std::uint32_t pushBackCountdown = 0;
  std::uint32_t standMoves = 0;
  // Created at its stand: the last position reported lay away from it (one more makes it leave).
  std::uint8_t standAwayOnce = 0;
  double bearingToNext = 0;          // radians
  double heightAboveGround = 2500;   // feet, as last reported by the simulator
  // The ground elevation under the aircraft (feet) as the simulator last reported it; unset before.
  std::optional<double> groundElevation;
  // The elevation of the field it touched down on (feet), kept until the feed reports it on the
  // ground or climbing away; unset otherwise.
  std::optional<double> touchdownField;
  // The highest of the airborne records flown on the ground since the touchdown (feet): the feed
  // repeats its last airborne position for a while, so only a record above it is a climb.
  double touchdownCeiling = 0;
  double heightAboveTarget = 0;      // feet above the landing surface during the flare
  double touchdownHeading = 0;
  // The cycle of the last touchdown (-1 before one) and the speed it touched down at (knots): the
  // roll-out slows from it.
  std::int32_t touchdownCycle = -1;
  double touchdownKt = 0;
  // The last reported (not made-up) situation a leg set off from: its speed (knots), due and whether it
  // had the aircraft in the air. A roll-out slows as its records do, from this one to the next.
  double legFromKt = 0;
  std::int32_t legFromDue = 0;
  std::uint8_t legFromAirborne = 0;
  double engineStartMark = 0;
  double standDistance = 0;          // nm, the last counted distance from the stand
  double standStartDistance = -1;    // nm, the first distance counted at the stand; -1 before it
  double remainingTurn = 0;          // degrees
  std::optional<double> respawnHeading;
  std::uint8_t replaceAfterPushBack = 0;
  std::uint8_t curvedPushBack = 0;
  std::optional<double> landingSurfaceAltitude;
  // The airport it comes in to land at: the park airport, or the airport of the list nearest its
  // approach (unset out of an approach).
  std::optional<AirportData> landingField;
  // Low in the air, the airport nearest it within 10 nm, looked up again every second at most (the
  // airport list holds every airport of the simulator) and the cycle it was looked up at.
  std::optional<AirportData> nearField;
  std::int32_t nearFieldCycle = -1;
  // Established on its final approach low over the ground, the aircraft holds the line of it to the
  // runway: a point of the line and its course (radians).
  struct FinalLine {
    LatLon at;
    double course = 0;
  };
  std::optional<FinalLine> finalLine;
  std::uint32_t flareStage = 0;
  std::uint8_t landingMode = 0;
  std::uint8_t belowHeldAltitude = 0;  // its leg goes on down below the altitude the feed holds
  std::uint8_t arrivedByLanding = 0;
  std::uint8_t towed = 0;
  std::uint8_t goAroundMark = 0;
  std::uint8_t takeOffPending = 0;
  std::uint8_t lightsAbove10000Set = 0;
  std::uint8_t lightsBelow10000Set = 0;
  std::uint8_t loweringNose = 0;
  std::uint8_t landed = 0;
  std::uint8_t pullOutPending = 0;
  std::uint8_t turning = 0;
  std::uint8_t backing = 0;
  std::uint8_t turnedRound = 0;  // the leg flown runs out to the side to turn round  // the ground leg runs backwards, nose kept (a short way back at taxi pace)
  std::uint8_t hasFlightPlan = 0;  // the simulator accepted its AI flight plan
  std::uint8_t catchingUp = 0;     // it set off behind its stream: its air legs make up the delay
  AirPath airPath;                 // the leg flown in the air
  // The slowest ground speed the feed reported for it in the air (knots; 0 before any): it never
  // flies much slower than that.
  double slowestAirborneKt = 0;
  double lastParkTryLatitude = 0;   // the last position a stand was searched from
  double lastParkTryLongitude = 0;
  double collisionCheckLatitude = 0;  // the position the parked-collision check saw last
  double collisionCheckLongitude = 0;

  // A new live aircraft in state New with the first situation as its only one.
  LiveAc(const Situation& first, AcData&& data, double time);
  LiveAc(const LiveAc&) = default;
  LiveAc(LiveAc&&) = default;
  LiveAc& operator=(const LiveAc&) = default;
  LiveAc& operator=(LiveAc&&) = default;

  // Every change keeps the old phase as the previous one.
  void setPhase(GroundPhase next);

  // The situation flown from and the one flown to; std::out_of_range when the buffer is too short.
  Situation& front();
  Situation& second();
};

// The engine's live aircraft.
extern std::vector<LiveAc> g_liveAcs;

// Removes one aircraft from g_liveAcs without keeping the order: the last one takes its place.
void lf_eraseLiveAcUnordered(LiveAc& ac);

// Back to start values: no live aircraft, cycle 0, queue closed, user block zeroed.
void gf_resetLiveAcs();

}  // namespace amb
