// Stands in for the airports subsystem until its own parts are built: no park airport is ever
// loaded.

#include "airports/services.hpp"

namespace amb {

AirportData g_parkAirport;
std::mutex g_parkAirportMutex;
std::atomic<std::uint8_t> g_parkAirportLoaded{0};

AirportData gf_parkAirportSnapshot() {
  std::lock_guard lock(g_parkAirportMutex);
  return g_parkAirport;
}

void gf_resetParkState() {
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = AirportData{};
  }
  g_parkAirportLoaded = 0;
}

}  // namespace amb
