// Scaffolding: the least behaviour of the scenery scan that the publisher query and the start-up
// need. Nothing is scanned, so the start-up's scan step leaves SCAN_AIRPORTS as it is and finds no
// airports. The scenery scan replaces this file.

#include "scan/services.hpp"

namespace amb {

std::atomic<std::int32_t> g_offlineLearningCopies{0};

void gf_scanAddOnAirports() {}

void gf_resetScan() {
  gf_clearScanLog();
  g_offlineLearningCopies = 0;
}

}  // namespace amb
