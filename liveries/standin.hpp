#pragma once
// Scaffolding: until the livery tables are built by their own subsystem, tests state which liveries
// exist with this call. Deleted together with standin.cpp.

#include <string>
#include <vector>

namespace amb {

// Records a livery of the model for the airline (an airline key of at least three characters).
void gf_standinAddLivery(const std::string& airline, const std::string& model);

// The titles the matching hands out, in order of preference: every aircraft gets the first one
// that is not excluded. One fixed title at start; an empty list matches nothing.
void gf_standinSetLiveryTitles(const std::vector<std::string>& titles);
inline constexpr const char* kStandinLiveryTitle = "Ambertrail Stand-in Livery";

}  // namespace amb
