// Scaffolding: the start-up's scan step until the scan driver lands. Nothing is scanned, so the
// start-up's scan step leaves SCAN_AIRPORTS as it is and finds no airports.

#include "scan/services.hpp"

namespace amb {

std::atomic<std::int32_t> g_offlineLearningCopies{0};

void gf_scanAddOnAirports() {}

void gf_resetScan() {
  gf_takeScanLogLines();
  g_offlineLearningCopies = 0;
}

}  // namespace amb
