// Scaffolding: the least behaviour of the scenery scan that the publisher query and the start-up
// need. Nothing is scanned, so the start-up's scan step leaves SCAN_AIRPORTS as it is and finds no
// airports. The scenery scan replaces this file.

#include "scan/services.hpp"

#include <mutex>

namespace amb {

std::atomic<std::int32_t> g_offlineLearningCopies{0};

namespace {
std::mutex g_scanLogMutex;
std::vector<std::string> g_scanLog;
}  // namespace

void gf_scanAddOnAirports() {}

void gf_addScanLogLine(const std::string& text) {
  std::lock_guard lock(g_scanLogMutex);
  g_scanLog.push_back(text);
}

std::vector<std::string> gf_scanLogLines() {
  std::lock_guard lock(g_scanLogMutex);
  return g_scanLog;
}

void gf_resetScan() {
  std::lock_guard lock(g_scanLogMutex);
  g_scanLog.clear();
  g_offlineLearningCopies = 0;
}

}  // namespace amb
