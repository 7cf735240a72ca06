#pragma once
// Stands for the engine's tests from a real airport's parking positions: the <Parking> entries of a
// FlightGear ground network file (latitude and longitude as "N40 39.240", heading in degrees, radius
// in metres). Stands whose circles overlap exclude each other.

#include "airports/services.hpp"
#include "tracemap/tracemap.hpp"

#include <filesystem>
#include <string>
#include <vector>

namespace amb::enginesim {

// "N40 39.240" or "W73 48.747" to signed degrees (the map tool reads the same files).
using tracemap::parseGroundnetAngle;

// Every parking position of the file as a stand: id index + 1, name and number joined ("T5-" and "05"
// give "T5-05"), heading in radians, radius in nautical miles, cargo for type "cargo", and as
// neighbours the stands whose circles overlap its own. Throws std::runtime_error when the file
// cannot be read.
std::vector<Stand> readParkingPositions(const std::filesystem::path& file);

// The stands of the list within the distance (nm) of a position, neighbours kept among them.
std::vector<Stand> standsNear(const std::vector<Stand>& stands, double latitude, double longitude, double nm);

}  // namespace amb::enginesim
