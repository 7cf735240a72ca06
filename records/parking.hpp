#pragma once
// The parking records that the airports subsystem owns and the engine, the feed and the simulator
// link read: a stand of the park airport, and one of the user's park airports.

#include <cstdint>
#include <string>
#include <vector>

namespace amb {

// A stand of the park airport.
struct Stand {
  std::uint32_t id = 0;
  std::string name;
  double latitude = 0;   // degrees
  double longitude = 0;  // degrees
  double heading = 0;    // radians
  double radius = 0;     // nautical miles
  std::uint8_t cargo = 0;     // cargo stand: a live aircraft parked here keeps its cabin light off
  std::uint8_t occupied = 0;
  std::vector<std::uint32_t> overlapIds;  // neighbour stands excluded while this one is taken
};

// One of the user's park airports; the first of the list is the current choice.
struct ParkAirport {
  std::string code;
  std::string reservedStand;  // the user's reserved stand there; empty when none
  double latitude = 0;        // degrees
  double longitude = 0;       // degrees
  double distanceNm = 0;      // to the user aircraft
};

}  // namespace amb
