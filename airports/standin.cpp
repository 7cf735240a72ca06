// Stands in for the airports subsystem until its own parts are built: the airport list and the park
// airports are empty, so no park airport is ever loaded and static parking never starts; no stands are known.

#include "airports/services.hpp"

namespace amb {

AirportData g_parkAirport;
std::mutex g_parkAirportMutex;
std::atomic<std::uint8_t> g_parkAirportLoaded{0};
std::atomic<std::uint8_t> g_parkingLock{0};

std::vector<ParkAirport> g_parkAirports;
std::mutex g_parkAirportsMutex;

void lf_writeMyParkAirports() {}

std::string gf_standNameAt(double, double) { return {}; }

AirportData gf_parkAirportSnapshot() {
  std::lock_guard lock(g_parkAirportMutex);
  return g_parkAirport;
}

std::string gf_reservedStandName() { return {}; }

void lf_readAirports() {}
std::optional<AirportData> gf_findAirport(const std::string&) { return std::nullopt; }

bool lf_readMyParkAirports() { return false; }
void gf_parkAirportToFront(const std::string&, std::pair<double, double>) {}
bool gf_checkParkAirports(bool, std::string&) { return false; }
std::optional<std::pair<double, double>> gf_firstParkAirportPosition() { return std::nullopt; }

void gf_checkForParkAirportUpdates(bool) {}

void gf_lockParkingControls() {}
void gf_adjustParking() {}
bool gf_staticPlanEmpty() { return true; }
std::uint64_t gf_countParkedAc(bool) { return 0; }
void gf_removeAllParkedAc() {}

void gf_resetParkState() {
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = AirportData{};
  }
  g_parkAirportLoaded = 0;
  g_parkingLock = 0;
}

}  // namespace amb
