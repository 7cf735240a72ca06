#include "core/jobs.hpp"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>

namespace amb {

namespace {
std::int32_t lf_limitOf(std::int64_t limit) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(limit, 1, std::numeric_limits<std::int32_t>::max()));
}
}  // namespace

std::atomic<std::int32_t> g_runningJobs{0};
std::atomic<std::int32_t> g_maxJobs{lf_limitOf(std::thread::hardware_concurrency())};

void gf_setJobLimit(std::int64_t limit) { g_maxJobs = lf_limitOf(limit); }

void gf_resetJobs() {
  g_runningJobs = 0;
  gf_setJobLimit(std::thread::hardware_concurrency());
}

void gf_waitForFreeWorker() {
  while (g_runningJobs.load() >= g_maxJobs.load(std::memory_order_relaxed))
    std::this_thread::sleep_until(std::chrono::steady_clock::now() + std::chrono::microseconds(10));
}

void gf_workerDone() { g_runningJobs.fetch_sub(1); }

std::future<void> gf_startJob(std::function<void()> job) {
  gf_waitForFreeWorker();
  g_runningJobs.fetch_add(1);
  std::packaged_task<void()> task([job = std::move(job)] {
    struct Done {
      ~Done() { gf_workerDone(); }
    } done;
    job();
  });
  std::future<void> result = task.get_future();
  try {
    std::thread(std::move(task)).detach();
  } catch (...) {
    gf_workerDone();
    throw;
  }
  return result;
}

}  // namespace amb
