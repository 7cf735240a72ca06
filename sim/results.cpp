#include "sim/results.hpp"

namespace amb {

std::mutex g_simResultMutex;
std::vector<SimResult> g_simResults;

void gf_pushSimResult(const SimResult& result) {
  std::lock_guard lock(g_simResultMutex);
  g_simResults.push_back(result);
}

std::vector<SimResult> gf_takeSimResults() {
  std::vector<SimResult> taken;
  taken.reserve(256);
  std::lock_guard lock(g_simResultMutex);
  taken.swap(g_simResults);
  return taken;
}

void gf_resetSimResults() {
  std::lock_guard lock(g_simResultMutex);
  g_simResults.clear();
  g_simResults.reserve(256);
}

}  // namespace amb
