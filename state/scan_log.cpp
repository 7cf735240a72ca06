#include "state/scan_log.hpp"

#include <mutex>
#include <utility>

namespace amb {

namespace {
std::mutex g_scanLogMutex;
std::vector<std::string> g_scanLogLines;
}  // namespace

void gf_addScanLogLine(const std::string& text) {
  std::lock_guard lock(g_scanLogMutex);
  g_scanLogLines.push_back(text);
}

std::vector<std::string> gf_scanLogLines() {
  std::lock_guard lock(g_scanLogMutex);
  return g_scanLogLines;
}

std::vector<std::string> gf_takeScanLogLines() {
  std::lock_guard lock(g_scanLogMutex);
  return std::exchange(g_scanLogLines, {});
}

void gf_reserveScanLog(std::size_t lines) {
  std::lock_guard lock(g_scanLogMutex);
  if (g_scanLogLines.capacity() < lines) g_scanLogLines.reserve(lines);
}

}  // namespace amb
