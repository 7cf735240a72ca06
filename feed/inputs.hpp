#pragma once
// Values of the settings and the main loop that the traffic reader reads on its own thread.

#include <atomic>
#include <cstdint>

namespace amb {

// The injection radius in nautical miles. Stands in for the settings' own until they are built.
extern std::atomic<double> g_radiusNm;
// The automatic range holds its 10 nm step (set by the main loop's range step).
extern std::atomic<std::uint8_t> g_autoRangeApplied;

}  // namespace amb
