#include "state/run_state.hpp"

namespace amb {

std::atomic<std::int32_t> g_reportCount{0};
std::atomic<std::uint64_t> g_weekSlot{0};
std::deque<std::uint32_t> g_newArrivals;
std::atomic<std::uint8_t> g_renewalUnderWay{0};
std::atomic<std::uint8_t> g_flightNotRunning{0};
std::atomic<std::uint8_t> g_flushStaticRequest{0};
std::atomic<std::uint8_t> g_rereadRequest{0};
std::atomic<std::uint8_t> g_rematchRequest{0};
std::atomic<std::uint8_t> g_parkingRenewalRequest{0};
std::atomic<std::uint8_t> g_blockChangeRequest{0};
std::atomic<std::uint8_t> g_navLightsRequest{0};
std::atomic<std::uint8_t> g_maxLiveRequest{0};
std::atomic<std::int32_t> g_manualRadiusNm{40};
std::atomic<std::uint32_t> g_hardwareConcurrency{1};
std::filesystem::path g_stockSceneryPath;
std::atomic<std::int32_t> g_engineCycle{0};
std::uint8_t g_trafficQueueOpen = 0;
UserAcBlock g_engineUserAc;

void gf_resetRunState() {
  g_reportCount = 0;
  g_weekSlot = 0;
  g_newArrivals.clear();
  g_renewalUnderWay = 0;
  g_flightNotRunning = 0;
  g_flushStaticRequest = 0;
  g_rereadRequest = 0;
  g_rematchRequest = 0;
  g_parkingRenewalRequest = 0;
  g_blockChangeRequest = 0;
  g_navLightsRequest = 0;
  g_maxLiveRequest = 0;
  g_manualRadiusNm = 40;
  g_stockSceneryPath.clear();
}

}  // namespace amb
