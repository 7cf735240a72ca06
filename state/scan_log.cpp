#include "state/scan_log.hpp"

#include <mutex>

namespace amb {

namespace {
std::mutex g_scanLogMutex;
std::vector<std::string> g_scanLog;
}  // namespace

void gf_addScanLogLine(const std::string& text) {
  std::lock_guard lock(g_scanLogMutex);
  g_scanLog.push_back(text);
}

std::vector<std::string> gf_scanLogLines() {
  std::lock_guard lock(g_scanLogMutex);
  return g_scanLog;
}

void gf_clearScanLog() {
  std::lock_guard lock(g_scanLogMutex);
  g_scanLog.clear();
}

}  // namespace amb
