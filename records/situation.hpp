#pragma once
// A timed position of a live aircraft: the feed makes them from traffic records, the engine flies
// them. Due times are engine cycles (state/run_state.hpp: g_engineCycle).

#include <cstdint>

namespace amb {

// One timed position.
struct Situation {
  double latitude = 0;   // degrees
  double longitude = 0;  // degrees
  double feedBank = 0;   // radians, from the feed
  std::uint8_t feedBankGiven = 0;
  double feedTrack = 0;  // radians, from the feed
  std::uint8_t feedTrackGiven = 0;
  double altitude = 0;       // feet above mean sea level
  double speed = 0;          // ground speed, knots; 0 for a standing aircraft
  double heading = 0;        // degrees, 0 to 360
  double verticalSpeed = 0;  // feet per minute
  double trueAirspeed = 0;   // knots
  std::int32_t due = 0;      // the engine cycle at which the aircraft is to be here
  std::uint8_t airborne = 0;
  std::uint8_t noMovement = 0;          // same position as the one before: the aircraft stands
  std::uint8_t feedAttitudeUsable = 0;  // the feed's track and bank may steer the turn
  std::uint8_t extension = 0;           // made by the engine to fly on while the feed is silent
  std::uint8_t heldOnGround = 0;        // reported in the air, flown on the ground after the touchdown
};

}  // namespace amb
