#pragma once
// Airport data for the program, its tests and benchmarks: the airport list "airports_p3d.xml" made
// from the OurAirports tables, synthetic lists and airport files, and an airport file made from a
// ground network's parking positions.

#include "core/airport_data.hpp"
#include "records/parking.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace amb::airportgen {

// The lines of a gzip-compressed (or plain) text file. Throws std::runtime_error when it cannot be read.
std::vector<std::string> readGzipLines(const std::filesystem::path& file);

// The airports of the medium and large table (code: its GPS code when it has one, else its ident),
// then every other airport of the runway table that has a position (the middle of its runway ends;
// the elevation their mean, 0 when none is known), in that order; a code stands once.
std::vector<AirportData> readOurAirports(const std::filesystem::path& airportsCsv, const std::filesystem::path& runwaysCsv);
// The list file's text: <airports> with one <airport code iata lat lon alt /> per airport.
std::string airportListXml(const std::vector<AirportData>& airports);
// n airports with codes "Z" + a number, spread over the globe, from the seed.
std::vector<AirportData> syntheticAirports(std::size_t n, std::uint32_t seed);

// A synthetic airport of n stands in rows around a position (radius 20 to 40 m, names "S1" ...),
// each with options options of learned use.
std::vector<Stand> syntheticStands(std::size_t n, std::size_t options, double lat, double lon, std::uint32_t seed);

// The stands of a FlightGear ground network's parking list: name and number joined, heading in
// radians, radius in metres, cargo for type "cargo", every other type a gate; a name met before gets
// the first free letter "a", "b", ... appended.
std::vector<Stand> groundnetStands(const std::filesystem::path& file);

}  // namespace amb::airportgen
