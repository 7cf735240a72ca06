// The exit requests: one sequence at a time, every one of them joined.

#include "core/exit.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace amb {
namespace {

using test::waitFor;

TEST(Exit, ANewerExitWaitsForTheOlderAndJoiningWaitsForBoth) {
  gf_resetExitState();
  std::mutex mutex;
  std::condition_variable cv;
  bool released = false;
  std::vector<std::string> events;
  const auto note = [&](const std::string& e) {
    std::lock_guard lock(mutex);
    events.push_back(e);
  };
  const auto noted = [&](const std::string& e) {
    std::lock_guard lock(mutex);
    return std::find(events.begin(), events.end(), e) != events.end();
  };
  gf_setExitHandler([&](int reason, std::uint32_t) {
    note("start " + gf_exitReasonName(reason));
    if (reason != NewSettings) return;
    g_exitUnderWay = 0;  // as a restart's countdown does: a new request may come now
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return released; });
    events.push_back("end NEW SETTINGS");
  });
  gf_requestExit(NewSettings, 3);
  ASSERT_TRUE(waitFor([&] { return noted("start NEW SETTINGS") && g_exitUnderWay == 0; }));
  gf_requestExit(UserClosedSim, 1);
  // The newer sequence does not start while the older one runs.
  EXPECT_FALSE(waitFor([&] { return noted("start USER CLOSED SIM"); }, std::chrono::milliseconds(300)));
  {
    std::lock_guard lock(mutex);
    released = true;
  }
  cv.notify_all();
  gf_joinExitThread();
  EXPECT_EQ(events, (std::vector<std::string>{"start NEW SETTINGS", "end NEW SETTINGS", "start USER CLOSED SIM"}));
  gf_setExitHandler(nullptr);
  gf_resetExitState();
}

}  // namespace
}  // namespace amb
