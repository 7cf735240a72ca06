#pragma once
// What the other subsystems use of the liveries subsystem. Only the part that the reference data's
// similar-model queries need is declared so far.

#include <array>
#include <string>
#include <vector>

namespace amb {

// The models that have a livery, by category: Light, Buzjets and Rotorcraft (in this order).
inline constexpr std::size_t kLiveryLight = 0;
inline constexpr std::size_t kLiveryBuzjets = 1;
inline constexpr std::size_t kLiveryRotorcraft = 2;
extern std::array<std::vector<std::string>, 3> g_liveryModelsByCategory;

// True when the passenger or the cargo model table holds the model; false before the tables exist.
bool gf_hasModelLivery(const std::string& model);
// True when the airline table holds the airline and, under it, the model.
bool gf_hasAirlineModelLivery(const std::string& airline, const std::string& model);
// The first three characters of every airline key of the airline table, in the table's order.
std::vector<std::string> gf_liveryAirlineCodes();

// Back to start values: no liveries.
void gf_resetLiveries();

}  // namespace amb
