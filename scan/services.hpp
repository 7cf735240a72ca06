#pragma once
// What the other subsystems use of the scenery airport scan.

#include "state/scan_log.hpp"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace amb {

// The add-on airports scan of the start-up, run when SCAN_AIRPORTS is on; at its end it switches
// SCAN_AIRPORTS off (saved and unticked) and says in the window whether it handled every entry it
// counted.
void gf_scanAddOnAirports();

// The add-on airports the scan found, shown as "{} airport{} in {} folder" when above 0.
extern std::atomic<std::int32_t> g_offlineLearningCopies;

// Back to start values: an empty log list, no airports found.
void gf_resetScan();

}  // namespace amb
