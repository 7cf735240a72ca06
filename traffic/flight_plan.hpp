#pragma once
// AI flight-plan files.
// Defined in traffic/flight_plan.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "feed/services.hpp"
#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

#include <cstdint>
#include <string>
#include <filesystem>

namespace amb {

void lf_createFlightPlan(LiveAc& ac);
extern std::filesystem::path g_flightPlanFolder;
std::filesystem::path gf_flightPlanPath(std::uint32_t objectId);
bool gf_writeFlightPlan(const std::filesystem::path& file, const AcData& aircraft);

// The file's text.
std::string gf_flightPlanText(const AcData& aircraft);

}  // namespace amb
