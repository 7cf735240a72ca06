#pragma once
// QNH messages: RealTraffic's weather JSON on UDP 49004. Each accepted QNH goes to the engine (ground
// and landing logic) and to the main window.

#include <atomic>
#include <cstdint>

namespace amb {

class WeatherReader;

// The QNH the engine flies with, hPa; 1013 at start.
extern std::atomic<std::int32_t> g_engineQnh;

// The weather reader's handler: reads "QNH" of the current datagram, checks it and stores it.
void lf_handleQnhMessage(WeatherReader& reader);

// g_engineQnh back to 1013.
void gf_resetQnh();

}  // namespace amb
