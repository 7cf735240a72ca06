#pragma once
// Shared set-up of the feed tests: a private working folder with its own Log.txt, and all of the
// feed, engine and airport state back at its start values.

#include "airports/services.hpp"
#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "feed/inputs.hpp"
#include "feed/link.hpp"
#include "feed/qnh.hpp"
#include "feed/readers.hpp"
#include "feed/status.hpp"
#include "feed/traffic_line.hpp"
#include "settings/settings.hpp"
#include "support/test_support.hpp"
#include "traffic/live_ac.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace amb::test {

inline void resetFeed() {
  gf_resetReaderState();
  gf_resetTrafficQueue();
  gf_resetLiveAcs();
  gf_resetLink();
  gf_resetFeedStatus();
  gf_resetQnh();
  gf_resetParkState();
  gf_resetExitState();
  gf_clearMessage();
  gf_clearError();
  g_radiusNm = 40.0;
  g_autoRangeApplied = 0;
}

class FeedTest : public ::testing::Test {
protected:
  void SetUp() override {
    resetFeed();
    gf_startLog();
  }
  void TearDown() override {
    gf_closeLog("end");
    resetFeed();
  }

  // The log's lines after its header.
  std::vector<std::string> logLines() const {
    auto lines = readLines(m_dir / "Log.txt");
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }
  bool logHas(const std::string& line) const {
    const auto lines = logLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool logContains(const std::string& part) const { return logCount(part) > 0; }
  // The log lines that hold the text.
  std::size_t logCount(const std::string& part) const {
    const auto lines = logLines();
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
  }

  std::vector<TrafficRecord> takeQueue() {
    std::lock_guard lock(g_trafficQueueMutex);
    std::vector<TrafficRecord> out;
    for (; !g_trafficQueue.empty(); g_trafficQueue.pop_front()) out.push_back(std::move(g_trafficQueue.front()));
    return out;
  }
  std::size_t queueSize() {
    std::lock_guard lock(g_trafficQueueMutex);
    return g_trafficQueue.size();
  }
  static void openQueue(bool open) {
    std::lock_guard lock(g_trafficQueueMutex);
    g_trafficQueueOpen = open ? 1 : 0;
  }

  TempDir m_dir{"ambfeed"};
  ScopedCwd m_cwd{m_dir.path()};
};

}  // namespace amb::test
