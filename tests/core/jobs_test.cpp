#include "core/jobs.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace amb {
namespace {

using test::waitFor;

// Jobs that hold their slot until the test lets one of them go.
class Gate {
public:
  void enter() {
    std::unique_lock lock(m_mutex);
    ++m_active;
    m_peak = std::max(m_peak, m_active);
    m_cv.wait(lock, [this] { return m_permits > 0; });
    --m_permits;
    --m_active;  // before the job returns and frees its slot
  }
  void release(int n) {
    {
      std::lock_guard lock(m_mutex);
      m_permits += n;
    }
    m_cv.notify_all();
  }
  int active() {
    std::lock_guard lock(m_mutex);
    return m_active;
  }
  int peak() {
    std::lock_guard lock(m_mutex);
    return m_peak;
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  int m_active = 0;
  int m_peak = 0;
  int m_permits = 0;
};

TEST(Jobs, NeverMoreThanTheLimitRun) {
  gf_resetJobs();
  gf_setJobLimit(4);
  constexpr int kJobs = 100;
  Gate gate;
  std::vector<std::future<void>> futures;
  std::thread scan([&] {
    for (int i = 0; i < kJobs; ++i) futures.push_back(gf_startJob([&gate] { gate.enter(); }));
  });
  // Each time the limit is reached, one job may finish; the scan then starts the next one.
  for (int i = 0; i < kJobs - 4; ++i) {
    if (!waitFor([&] { return gate.active() == 4; })) {
      ADD_FAILURE() << "job " << i << ": " << gate.active() << " jobs running";
      break;
    }
    gate.release(1);
  }
  gate.release(kJobs);
  scan.join();
  for (auto& f : futures) ASSERT_EQ(f.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(gate.peak(), 4);
  EXPECT_TRUE(waitFor([] { return g_runningJobs.load() == 0; }));
}

TEST(Jobs, AThrowingJobStillFreesItsSlot) {
  gf_resetJobs();
  gf_setJobLimit(1);
  auto failed = gf_startJob([] { throw std::runtime_error("bad file"); });
  ASSERT_EQ(failed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_THROW(failed.get(), std::runtime_error);
  EXPECT_TRUE(waitFor([] { return g_runningJobs.load() == 0; }));
  // The next job of the scan gets the one slot.
  std::atomic<bool> ran{false};
  auto next = gf_startJob([&ran] { ran = true; });
  ASSERT_EQ(next.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(ran);
}

TEST(Jobs, LimitsBelowOneCountAsOne) {
  gf_resetJobs();
  for (std::int64_t limit : {0LL, -5LL}) {
    gf_setJobLimit(limit);
    EXPECT_EQ(g_maxJobs.load(), 1) << limit;
    gf_waitForFreeWorker();  // returns: one job may run
  }
  gf_setJobLimit(std::int64_t{1} << 40);
  EXPECT_EQ(g_maxJobs.load(), 2147483647);
  gf_resetJobs();
  EXPECT_GE(g_maxJobs.load(), 1);
  EXPECT_EQ(g_runningJobs.load(), 0);
}

TEST(Jobs, WaitingEndsWhenAJobIsDone) {
  gf_resetJobs();
  gf_setJobLimit(2);
  g_runningJobs = 2;  // two jobs of the hand-made pattern are running
  std::atomic<bool> free{false};
  std::thread waiter([&] {
    gf_waitForFreeWorker();
    free = true;
  });
  gf_workerDone();
  EXPECT_TRUE(waitFor([&] { return free.load(); }));
  waiter.join();
  EXPECT_EQ(g_runningJobs.load(), 1);
  gf_resetJobs();
}

}  // namespace
}  // namespace amb
