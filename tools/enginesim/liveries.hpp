#pragma once
// The livery tables an engine run matches against: built by the livery subsystem's own table build
// from a small list of liveries, as if a scan had found them.

#include "liveries/livery.hpp"

#include <string>
#include <vector>

namespace amb::enginesim {

// The title of the generic livery of a type: "Generic <type>".
std::string genericTitle(const std::string& type);
// One generic ("ZZZ") passenger livery for every type the data base knows, so that every aircraft
// the feed passes gets a livery at the generic step of the matching.
std::vector<LiveryData> genericLiveries();
// Empties the livery tables and builds them from the liveries (in any order).
void buildLiveryTables(const std::vector<LiveryData>& liveries);

}  // namespace amb::enginesim
