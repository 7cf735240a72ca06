#pragma once
// Live aircraft: an Act with everything that moving it needs, above all its buffer of timed
// positions (Situation) still to be flown. The feed produces the situations; the engine flies them.
//
// Time in the engine is counted in engine cycles (g_engineCycle): one per call of the engine's update
// step, once per 10 ms tick while the simulator runs. 100 cycles are a second.

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

  bool isSet() const;
  void clear();
};

// The path of a leg in the air that turns through its ends: up to three quadratic pieces in metres
// north and east of an origin (a straight stretch is a piece whose middle point halves it), flown at
// an even pace so that the aircraft is at the path's end when the leg ends. No pieces: the leg is the
// straight line of the latitude and longitude steps.
struct AirPath {
  struct Piece {
    double north0 = 0, east0 = 0;  // start
    double north1 = 0, east1 = 0;  // middle (control) point
    double north2 = 0, east2 = 0;  // end
  };
  double originLatitude = 0;
  double originLongitude = 0;
  std::array<Piece, 3> pieces{};
  std::uint8_t count = 0;     // pieces in use
  std::uint8_t index = 0;     // the piece flown now
  std::uint8_t entered = 0;   // the first piece goes on with the turn through the leg's start
  std::uint8_t endDecided = 0;  // the turn through the leg's end is planned (or none is wanted)
  std::uint8_t feedBank = 0;  // the feed gives the bank of this leg
  double u = 0;               // parameter along the piece flown, 0 to 1
  double metresPerCycle = 0;
  // The most the aircraft flies in a cycle to make up what it is behind the leg's pace (its
  // catch-up speed), and how far behind it is: it slows where its course would outrun its nose.
  double fastestPerCycle = 0;
  double behindMetres = 0;
  std::int32_t endCycle = 0;  // the cycle at which the leg's steps bring the aircraft to its end
  // The turn through the leg's end goes on in the next leg: the corner, where the aircraft is when
  // the leg ends, and the rest of the curve (its middle point and its end on the next leg), degrees.
  std::uint8_t turnGoesOn = 0;
  double cornerLatitude = 0, cornerLongitude = 0;
  double atEndLatitude = 0, atEndLongitude = 0;
  double restMiddleLatitude = 0, restMiddleLongitude = 0;
  double restEndLatitude = 0, restEndLongitude = 0;
};

struct LiveAc : Act {
  AiPosBlock position;              // sent to the simulator every cycle
  std::deque<Situation> situations;  // front: flying from; second: flying to
  double lastDataTime = 0;           // time of the last record taken
  // The last record taken, as the feed reported it: the next record's implied speed is measured
  // from here (the buffer's own copy may have been moved, stopped or dropped since), and from the
  // time its position was first reported: a feed that repeats a position with fresh times has not
  // seen the aircraft there any later.
  double lastRecordLatitude = 0;
  double lastRecordLongitude = 0;
  double lastRecordTime = 0;
  double lastRecordSpeed = 0;  // knots
  double lastRecordTrack = 0;  // degrees, the track reported with the position
  std::optional<double> lastRecordCourse;  // degrees, from the distinct position taken before it
  std::uint8_t lastRecordAirborne = 0;
  std::uint8_t implausibleLogged = 0;  // a record dropped as stale or foreign has been logged
  std::uint8_t jumpLogged = 0;         // a record first held back and then confirmed has been logged
  // A record that the aircraft could not have reached from the last one taken, held back until the
  // next records tell whether they continue from it (a real jump, taken after all) or not (stale or
  // foreign, dropped).
  struct HeldRecord {
    AcIdentity identity;
    Situation situation;
    double timestamp = 0;
  };
  std::optional<HeldRecord> heldRecord;
  // The report that has the aircraft on the ground far from where it landed: the aircraft is removed
  // and created again from it (the time is the record's).
  struct RestartRecord {
    Situation situation;
    double timestamp = 0;
  };
  std::optional<RestartRecord> restartFrom;
  std::int64_t standArrivalTicks = 0;  // steady clock, 100 ns units, at arrival at the stand
  std::int32_t extensionCount = 0;     // synthetic situations still allowed; negative: none
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
  double engineStartMark = 0;
  double standDistance = 0;          // nm, the last counted distance from the stand
  double standStartDistance = -1;    // nm, the first distance counted at the stand; -1 before it
  double remainingTurn = 0;          // degrees
  std::optional<double> respawnHeading;
  std::uint8_t replaceAfterPushBack = 0;
  std::uint8_t curvedPushBack = 0;
  std::optional<double> landingSurfaceAltitude;
  std::uint32_t flareStage = 0;
  std::uint8_t landingMode = 0;
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
  AirPath airPath;                 // the turns of the leg flown in the air
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
