#pragma once
// Values of the settings and the main loop that the traffic reader reads on its own thread.

#include <atomic>
#include <cstdint>

namespace amb {

// The injection radius in nautical miles.
extern double g_radiusNm;
// The automatic range holds its 10 nm step.
extern std::atomic<std::uint8_t> g_autoRangeApplied;

}  // namespace amb
