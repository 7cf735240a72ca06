#include "traffic/live_ac.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

namespace amb {

std::vector<LiveAc> g_liveAcs;

bool GroundCurve::isSet() const {
  return !std::isnan(startTime) && !std::isnan(endTime) && !std::isnan(middleEast) && !std::isnan(middleNorth);
}

void GroundCurve::clear() {
  startTime = endNorth = endEast = endTime = middleEast = middleNorth = lengthMetres = kUnset;
}

LiveAc::LiveAc(const Situation& first, AcData&& data, double time)
    : Act(std::move(data), 0, ActPosition{}, 0),
      lastDataTime(time),
      lastRecordLatitude(first.latitude),
      lastRecordLongitude(first.longitude),
      lastRecordSpeed(first.speed),
      lastRecordTrack(first.heading),
      lastMoveCycle(g_engineCycle.load(std::memory_order_relaxed)),
      lastRecordAirborne(first.airborne),
      slowestAirborneKt(first.airborne != 0 ? std::max(first.speed, 0.0) : 0.0) {
  situations.push_back(first);
  recentPositions.push_back({{first.latitude, first.longitude}, time, first.due, first.speed});
  recentNext = 1;
  recentCount = 1;
}

void LiveAc::setPhase(GroundPhase next) {
  previousPhase = phase;
  phase = next;
}

Situation& LiveAc::front() { return situations.at(0); }
Situation& LiveAc::second() { return situations.at(1); }

void lf_eraseLiveAcUnordered(LiveAc& ac) {
  if (&ac != &g_liveAcs.back()) ac = std::move(g_liveAcs.back());
  g_liveAcs.pop_back();
}

void gf_resetLiveAcs() {
  g_liveAcs.clear();
  g_engineCycle = 0;
  g_trafficQueueOpen = 0;
  g_engineUserAc = UserAcBlock{};
}

}  // namespace amb
