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
struct Gate {
  std::mutex mutex;
  std::condition_variable cv;
  int active = 0, peak = 0, permits = 0;
  void enter() {
    std::unique_lock lock(mutex);
    peak = std::max(peak, ++active);
    cv.wait(lock, [this] { return permits > 0; });
    --permits;
    --active;  // before the job returns and frees its slot
  }
  void release(int n) {
    std::lock_guard lock(mutex);
    permits += n;
    cv.notify_all();
  }
  int running() {
    std::lock_guard lock(mutex);
    return active;
  }
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
    if (!waitFor([&] { return gate.running() == 4; })) {
      ADD_FAILURE() << "job " << i << ": " << gate.running() << " jobs running";
      break;
    }
    gate.release(1);
  }
  gate.release(kJobs);
  scan.join();
  for (auto& f : futures) ASSERT_EQ(f.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(gate.peak, 4);
  EXPECT_TRUE(waitFor([] { return g_runningJobs.load() == 0; }));
}

TEST(Jobs, FailingJobsAndLimitsBelowOne) {
  gf_resetJobs();
  for (std::int64_t limit : {0LL, -5LL}) {
    gf_setJobLimit(limit);  // a limit below 1 still lets one job run
    EXPECT_EQ(g_maxJobs.load(), 1);
  }
  auto failed = gf_startJob([] { throw std::runtime_error("bad file"); });
  ASSERT_EQ(failed.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_THROW(failed.get(), std::runtime_error);
  // The job that threw gave its slot back, so the scan goes on.
  std::atomic<bool> ran{false};
  auto next = gf_startJob([&ran] { ran = true; });
  ASSERT_EQ(next.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(waitFor([] { return g_runningJobs.load() == 0; }));
}

// Several scans start jobs at once: taking a slot and counting the job are one step, so even then no
// more than the limit run, and every job's thread is joined.
TEST(Jobs, ScansStartingAtOnceStayWithinTheLimit) {
  gf_resetJobs();
  gf_setJobLimit(2);
  std::mutex mutex;
  int active = 0, peak = 0;
  std::atomic<int> ran{0};
  const auto job = [&] {
    {
      std::lock_guard lock(mutex);
      peak = std::max(peak, ++active);
    }
    std::this_thread::yield();
    {
      std::lock_guard lock(mutex);
      --active;
    }
    ++ran;
  };
  std::vector<std::thread> scans;
  for (int s = 0; s < 6; ++s)
    scans.emplace_back([&] {
      for (int i = 0; i < 50; ++i) gf_startJob(job);
    });
  // A scan that runs its own threads by the contract of the header.
  scans.emplace_back([&] {
    for (int i = 0; i < 50; ++i) {
      gf_waitForFreeWorker();
      std::thread([&] {
        job();
        gf_workerDone();
      }).join();
    }
  });
  for (auto& t : scans) t.join();
  gf_joinJobs();
  EXPECT_EQ(ran.load(), 350);
  EXPECT_LE(peak, 2);
  EXPECT_EQ(g_runningJobs.load(), 0);
}

}  // namespace
}  // namespace amb
