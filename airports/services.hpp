#pragma once
// What other subsystems use of the airports and static parking subsystem.

#include "core/airport_data.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace amb {

// The current park airport (empty code when none). Written by the airports subsystem, read by the
// traffic reader and the engine on their own threads: both sides hold g_parkAirportMutex.
extern AirportData g_parkAirport;
extern std::mutex g_parkAirportMutex;
// Set once the current park airport's file has been read.
extern std::atomic<std::uint8_t> g_parkAirportLoaded;

// A copy of the park airport taken under its lock.
AirportData gf_parkAirportSnapshot();

// Back to no park airport.
void gf_resetParkState();

}  // namespace amb
