// What is left of the stand-in of the airports subsystem: the copy of the park airport.

#include "airports/services.hpp"

namespace amb {

AirportData gf_parkAirportSnapshot() {
  std::lock_guard lock(g_parkAirportMutex);
  return g_parkAirport;
}

}  // namespace amb
