#pragma once
// What the traffic reader reads of the main loop on its own thread.

#include <atomic>
#include <cstdint>

namespace amb {

// The automatic range holds its 10 nm step (set by the main loop's range step).
extern std::atomic<std::uint8_t> g_autoRangeApplied;

}  // namespace amb
