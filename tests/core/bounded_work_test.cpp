#include "core/bounded_work.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

namespace amb {
namespace {

using test::waitFor;
using Clock = std::chrono::steady_clock;

Clock::time_point inSeconds(int seconds) { return Clock::now() + std::chrono::seconds(seconds); }

TEST(BoundedWork, WorkThatEndsLeavesItsThreadToTheNextAndFailuresComeBack) {
  std::thread::id first;
  std::thread::id second;
  ASSERT_TRUE(gf_runBounded("First", [&] { first = std::this_thread::get_id(); }, inSeconds(10)));
  ASSERT_TRUE(waitFor([] { return gf_unfinishedBoundedWork() == 0; }));
  EXPECT_THROW(gf_runBounded("Fails", [] { throw std::runtime_error("disk full"); }, inSeconds(10)),
               std::runtime_error);
  ASSERT_TRUE(gf_runBounded("Second", [&] { second = std::this_thread::get_id(); }, inSeconds(10)));
  EXPECT_NE(first, std::thread::id{});
  EXPECT_NE(first, std::this_thread::get_id());
  EXPECT_EQ(second, first);  // no new thread while one is idle
  EXPECT_EQ(gf_unfinishedBoundedWork(), 0);
}

TEST(BoundedWork, WorkStuckPastItsBoundDoesNotHoldUpTheNext) {
  std::atomic<bool> release{false};
  std::atomic<bool> stuckEnded{false};
  std::thread::id stuckThread;
  const bool ended = gf_runBounded(
      "Stuck",
      [&] {
        stuckThread = std::this_thread::get_id();
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        stuckEnded = true;
      },
      Clock::now() + std::chrono::milliseconds(50));
  EXPECT_FALSE(ended);
  EXPECT_EQ(gf_unfinishedBoundedWork(), 1);

  std::thread::id nextThread;
  EXPECT_TRUE(gf_runBounded("Next", [&] { nextThread = std::this_thread::get_id(); }, inSeconds(10)));
  EXPECT_FALSE(stuckEnded);
  EXPECT_EQ(gf_unfinishedBoundedWork(), 1);

  release = true;
  ASSERT_TRUE(waitFor([] { return gf_unfinishedBoundedWork() == 0; }));
  EXPECT_TRUE(stuckEnded);
  EXPECT_NE(nextThread, stuckThread);
  // Both threads are idle again; the next piece takes one of them.
  std::thread::id third;
  ASSERT_TRUE(gf_runBounded("Third", [&] { third = std::this_thread::get_id(); }, inSeconds(10)));
  EXPECT_TRUE(third == stuckThread || third == nextThread);
}

TEST(BoundedWork, AThreadStartedAheadServesLikeAnyOther) {
  gf_startBoundedWorkThread();
  gf_startBoundedWorkThread();
  int ran = 0;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(gf_runBounded("Ahead", [&] { ++ran; }, inSeconds(10)));
  EXPECT_EQ(ran, 3);
  EXPECT_EQ(gf_unfinishedBoundedWork(), 0);
}

}  // namespace
}  // namespace amb
