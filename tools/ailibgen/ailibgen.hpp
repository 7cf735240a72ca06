#pragma once
// An AI aircraft library as users install it: an add-on package ("add-on.xml" naming its SimObjects
// folder) with one folder per aircraft type, each holding an aircraft.cfg with one [fltsim.N]
// section per livery and the model and texture folders and the flight-model file that the sections
// name. Made from the airlines and types of recorded traffic, for the main job and the tests.

#include <cstddef>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace amb::ailibgen {

struct Livery {
  std::string airline;       // ICAO airline code; empty for a private aircraft
  std::string registration;  // written as atc_id when not empty
  bool cargo = false;
};

// Liveries by ICAO type.
using Library = std::map<std::string, std::vector<Livery>>;

// The airlines and types of a recording (traffic lines, gzip-compressed or not): one livery per
// airline and type with the first registration seen, a freighter livery too for the cargo airlines,
// and a private livery per type.
Library fromRecording(const std::filesystem::path& recording, const std::set<std::string>& cargoAirlines);

// Writes the package; returns the number of liveries. Titles are "Ambertrail AI <type> <airline>"
// ("... cargo" for freighters, "... private" without airline).
std::size_t writePackage(const Library& library, const std::filesystem::path& package);

// Registers the package in the simulator's "add-ons.cfg" below the roaming application-data folder,
// as the simulator's add-on manager does (replacing the file).
void registerPackage(const std::filesystem::path& appData, const std::string& simMajorVersion,
                     const std::filesystem::path& package);

}  // namespace amb::ailibgen
