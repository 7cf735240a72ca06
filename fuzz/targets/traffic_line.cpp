// One RealTraffic traffic datagram through the traffic reader's handler, as the receive loop hands
// it over: split into fields, checked, converted and queued. Nothing may escape the handler.

#include "airports/services.hpp"
#include "feed/readers.hpp"
#include "feed/traffic_line.hpp"
#include "fuzz/datagram.hpp"
#include "fuzz/fuzz_support.hpp"
#include "settings/settings.hpp"
#include "state/run_state.hpp"

#include <mutex>

using namespace amb;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::workFolder();
  // Around JFK with a park airport, so lines get past the radius check and reach every later one.
  g_radiusNm = 40.0;
  g_trafficReader.setUserPosition(40.6413, -73.7781);
  g_trafficReader.setParkElevation(13.0);
  std::lock_guard lock(g_parkAirportMutex);
  g_parkAirport = AirportData{"KJFK", "JFK", 40.6413, -73.7781, 13};
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::receiveDatagram(g_trafficReader, data, size)) return -1;
  {
    std::lock_guard lock(g_trafficQueueMutex);
    g_trafficQueueOpen = 1;
    if (g_trafficQueue.size() > 4096) g_trafficQueue.clear();
  }
  g_trafficReader.handleMessage();
  return 0;
}
