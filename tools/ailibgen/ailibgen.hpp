#pragma once
// An AI aircraft library as users install it: an add-on package ("add-on.xml" naming its SimObjects
// folder) with one folder per aircraft type, each holding an aircraft.cfg with one [fltsim.N]
// section per livery and the model and texture folders and the flight-model file that the sections
// name. Made from the airlines and types of recorded traffic, for the main job and the tests.

#include "dbgen/dbgen.hpp"

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
  // Painted for the one aircraft of fleet: the registration-code files name it as special.
  bool special = false;
  // A livery the registration-code files list without codes: the scan must not take it.
  bool retired = false;
  // The registrations recorded for the airline and type, in the order they were first seen (the
  // special livery's own one only).
  std::vector<std::string> fleet;
};

// Liveries by ICAO type.
using Library = std::map<std::string, std::vector<Livery>>;

// The freighter airlines of the recorded traffic.
inline const std::set<std::string> kCargoAirlines{"FDX", "UPS", "GTI", "ABX", "CKS", "ATN", "CLX", "CAO"};

// The airlines and types of a recording (traffic lines, gzip-compressed or not): one livery per
// airline and type with the first registration seen, a freighter livery too for the cargo airlines,
// a special livery for the second registration of an airline and type flown by two aircraft or
// more, a retired livery for one flown by three or more, and a private livery per type.
Library fromRecording(const std::filesystem::path& recording, const std::set<std::string>& cargoAirlines);

// The livery's title: "Ambertrail AI <type> <airline>", "... cargo" for freighters, "... <registration>"
// for a special livery, "... retired", and "Ambertrail AI <type> private" without airline.
std::string liveryTitle(const std::string& type, const Livery& livery);

// Writes the package; returns the number of liveries.
std::size_t writePackage(const Library& library, const std::filesystem::path& package);

// The registration-code files that go with the package, split between the two sources by airline
// (in code order, every other airline to each): the downloaded list names the special and retired
// liveries of its airlines and gives their ordinary liveries the registrations of the fleet beyond
// the first two; the user's file does the same for the other airlines as lines "title;code" (one
// code: special), "title;codes" and "title".
struct RegcodeFiles {
  std::vector<dbgen::AigLivery> download;
  std::vector<std::string> userLines;
};
RegcodeFiles regcodeFiles(const Library& library);

// Registers the package in the simulator's "add-ons.cfg" below the roaming application-data folder,
// as the simulator's add-on manager does (replacing the file).
void registerPackage(const std::filesystem::path& appData, const std::string& simMajorVersion,
                     const std::filesystem::path& package);

}  // namespace amb::ailibgen
