#pragma once
// Calls that go up the layers. The subsystems link one way (reference data, feed, simulator link,
// engine, liveries, airports, scan, shell); where a lower one must ask a higher one — the engine asks
// the airports for stands and the liveries for titles, the reference data asks the livery tables,
// the feed and the simulator link ask for the park airport, the feed asks the engine to clear the
// sky, an aircraft record asks the reference data for its model — it calls through one of these
// pointers. Each carries the higher subsystem's own name, grouped by that subsystem, so a lower file
// brings in the groups it calls (`using namespace up::airports;` inside namespace amb) and calls them
// as it would the function itself; it never includes the higher subsystem's header (the layering
// check refuses that).
//
// The shell points every one at the real function or global at start-up (gf_installUpcalls,
// app/upcalls.hpp); test programs do the same before their first case and may point single ones at
// doubles. A pointer left null is a wiring fault and crashes at its first use.

#include "core/airport_data.hpp"
#include "core/geometry.hpp"
#include "core/startup.hpp"
#include "records/aircraft.hpp"
#include "records/parking.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <optional>
#include <string_view>
#include <vector>

namespace amb {

struct WeekSlot;
struct LiveAc;


namespace up {

// The reference data, asked by the aircraft records.
namespace refdata {
inline AircraftCategory (*gf_aircraftCategory)(const std::string& model) = nullptr;
inline double (*gf_halfWingspan)(const std::string& model) = nullptr;
}  // namespace refdata

// The engine, asked by the feed.
namespace engine {
inline void (*gf_removeAllLiveAc)() = nullptr;
}  // namespace engine

// The liveries, asked by the reference data and the engine.
namespace liveries {
inline const std::vector<std::string>& (*gf_modelsWithLivery)(int category) = nullptr;
inline bool (*gf_hasModelLivery)(const std::string& model) = nullptr;
inline bool (*gf_hasAirlineModelLivery)(const std::string& airline, const std::string& model) = nullptr;
inline std::vector<std::string> (*gf_liveryAirlineCodes)() = nullptr;
inline void (*lf_matchLivery)(AcData& aircraft) = nullptr;
inline std::vector<std::string>* g_excludedTitles = nullptr;
inline void (*gf_liveryCouldNotBeCreated)(const AcData& aircraft) = nullptr;
inline std::set<std::string>* g_noMatchSet = nullptr;
}  // namespace liveries

// The airports and static parking, asked by the feed, the simulator link and the engine.
namespace airports {
inline AirportData (*gf_parkAirportSnapshot)() = nullptr;
inline std::optional<AirportData> (*gf_airportNear)(const LatLon& position, double withinNm) = nullptr;
inline std::optional<AirportData> (*gf_airportCalled)(const std::string& code) = nullptr;
inline std::atomic<std::uint8_t>* g_parkAirportLoaded = nullptr;
inline std::string (*gf_standNameAt)(double latitude, double longitude) = nullptr;
inline std::string (*gf_reservedStandName)() = nullptr;
inline std::vector<Stand>* g_stands = nullptr;
inline std::int32_t* g_maxParkCount = nullptr;
inline std::vector<Stand>::iterator (*gf_findStandByName)(const std::string& name) = nullptr;
inline std::vector<Stand>::iterator (*gf_findStandForAct)(double latitude, double longitude,
                                                          const AcData& aircraft, double maxNm,
                                                          bool tryOptions) = nullptr;
inline bool (*lf_addRealParkPosOption)(std::uint32_t standId, const AcData& aircraft, bool useTracking,
                                       WeekSlot time, bool stopTracking) = nullptr;
inline void (*lf_learnSoftParkPos)(const LiveAc& aircraft, bool notClimbOut) = nullptr;
inline bool (*gf_addParkedHalfHours)(std::uint64_t& total, WeekSlot now, bool add, const Act& act) = nullptr;
inline void (*lf_parkStatic)() = nullptr;
inline bool (*gf_staticPlanEmpty)() = nullptr;
inline std::vector<LiveAc>::iterator (*gf_removeLiveAcMaxPark)(std::uint32_t hexid) = nullptr;
inline void (*lf_searchForCoupledCsAroundThisTime)(WeekSlot time, AcData& aircraft) = nullptr;
inline std::vector<Act>::iterator (*gf_removeStaticForCollision)(LiveAc live) = nullptr;
}  // namespace airports

}  // namespace up
}  // namespace amb
