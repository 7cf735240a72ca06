#pragma once
// Scaffolding until the livery scan exists: tests that need liveries without a scanned file state
// them here. Deleted together with standin.cpp.

#include <string>
#include <vector>

namespace amb {

// Adds a passenger livery of the model for the airline to the livery tables (rebuilt at once).
void gf_standinAddLivery(const std::string& airline, const std::string& model);

// While no livery tables exist, the matching hands out these titles: every aircraft gets the first
// one that is not excluded. One fixed title at start; an empty list matches nothing.
void gf_standinSetLiveryTitles(const std::vector<std::string>& titles);
inline constexpr const char* kStandinLiveryTitle = "Ambertrail Stand-in Livery";
// The stand-in's choice for an aircraft when no livery tables exist; false when tables exist.
struct AcData;
bool gf_standinMatch(AcData& aircraft);
void gf_standinReset();

}  // namespace amb
