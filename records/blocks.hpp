#pragma once
// Data blocks exchanged with the simulator, laid out exactly as the registered data definitions
// deliver and accept them (packed doubles and 64-bit integers, no padding).

#include <cstdint>

namespace amb {

// Definition 403: the user aircraft.
struct UserAcBlock {
  double latitude = 0;        // degrees
  double longitude = 0;       // degrees
  double pitch = 0;           // radians
  double bank = 0;            // radians
  double heading = 0;         // true, radians
  double altitude = 0;        // feet
  double altAboveGround = 0;  // feet
  double groundSpeed = 0;     // knots
  std::int64_t zuluTime = 0;  // seconds of the day
  std::int64_t zuluDayOfYear = 0;
  std::int64_t zuluYear = 0;
  std::int64_t lightStates = 0;  // mask
};
static_assert(sizeof(UserAcBlock) == 96);

// Definition 402: the position of an AI object.
struct AiPosBlock {
  double latitude = 0;       // degrees
  double longitude = 0;      // degrees
  double pitch = 0;          // radians
  double bank = 0;           // radians
  double heading = 0;        // true, radians
  double altitude = 0;       // feet
  double verticalSpeed = 0;  // feet per second
  double trueAirspeed = 0;   // knots
};
static_assert(sizeof(AiPosBlock) == 64);

// Definition 401: spoilers and two throttles, percent.
struct AiControlsBlock {
  double spoilers = 0;
  double throttle1 = 0;
  double throttle2 = 0;
};
static_assert(sizeof(AiControlsBlock) == 24);

// Definition 404: an object's height above ground, the ground altitude, on-ground flag and ATC id.
struct ObjectGroundBlock {
  double altAboveGround = 0;  // feet
  double groundAltitude = 0;  // feet
  std::int64_t onGround = 0;
  char atcId[32] = {};
};
static_assert(sizeof(ObjectGroundBlock) == 56);

// Definition 405: static CG height and static pitch.
struct StaticCgBlock {
  double cgToGround = 0;  // feet
  double staticPitch = 0; // radians
};
static_assert(sizeof(StaticCgBlock) == 16);

}  // namespace amb
