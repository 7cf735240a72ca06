#include "core/jobs.hpp"

#include <algorithm>
#include <condition_variable>
#include <limits>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace amb {

namespace {
std::int32_t lf_limitOf(std::int64_t limit) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(limit, 1, std::numeric_limits<std::int32_t>::max()));
}

// The semaphore: the count lives in g_runningJobs, changed only under this mutex.
std::mutex g_slotMutex;
std::condition_variable g_slotFreed;

// The threads of gf_startJob, each with a flag set as its last act.
struct JobThread {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> ended;
};
std::mutex g_threadsMutex;
// Jobs still listed when the process ends (a program that never joined them) end before it does.
struct JobThreads : std::list<JobThread> {
  ~JobThreads() {
    for (JobThread& t : *this)
      if (t.thread.joinable()) t.thread.join();
  }
};
JobThreads g_jobThreads;

// Takes the threads whose job has ended out of the list, so the caller can join them unlocked.
std::list<JobThread> takeEnded() {
  std::list<JobThread> ended;
  std::lock_guard lock(g_threadsMutex);
  for (auto it = g_jobThreads.begin(); it != g_jobThreads.end();) {
    auto next = std::next(it);
    if (it->ended->load()) ended.splice(ended.end(), g_jobThreads, it);
    it = next;
  }
  return ended;
}

void joinAll(std::list<JobThread>& threads) {
  for (JobThread& t : threads)
    if (t.thread.joinable()) t.thread.join();
}
}  // namespace

std::atomic<std::int32_t> g_runningJobs{0};
std::atomic<std::int32_t> g_maxJobs{lf_limitOf(std::thread::hardware_concurrency())};

void gf_setJobLimit(std::int64_t limit) {
  {
    std::lock_guard lock(g_slotMutex);
    g_maxJobs = lf_limitOf(limit);
  }
  g_slotFreed.notify_all();
}

void gf_resetJobs() {
  gf_joinJobs();
  {
    std::lock_guard lock(g_slotMutex);
    g_runningJobs = 0;
  }
  gf_setJobLimit(std::thread::hardware_concurrency());
}

void gf_waitForFreeWorker() {
  std::unique_lock lock(g_slotMutex);
  g_slotFreed.wait(lock, [] { return g_runningJobs.load() < g_maxJobs.load(); });
  g_runningJobs.fetch_add(1);
}

void gf_workerDone() {
  {
    std::lock_guard lock(g_slotMutex);
    g_runningJobs.fetch_sub(1);
  }
  g_slotFreed.notify_one();
}

std::future<void> gf_startJob(std::function<void()> job) {
  std::list<JobThread> ended = takeEnded();
  joinAll(ended);
  gf_waitForFreeWorker();
  auto flag = std::make_shared<std::atomic<bool>>(false);
  std::packaged_task<void()> task([job = std::move(job), flag] {
    struct Done {
      std::atomic<bool>& ended;
      ~Done() {
        gf_workerDone();
        ended = true;
      }
    } done{*flag};
    job();
  });
  std::future<void> result = task.get_future();
  std::lock_guard lock(g_threadsMutex);
  try {
    g_jobThreads.push_back({std::thread(), flag});
    g_jobThreads.back().thread = std::thread(std::move(task));
  } catch (...) {
    if (!g_jobThreads.empty() && !g_jobThreads.back().thread.joinable()) g_jobThreads.pop_back();
    gf_workerDone();
    throw;
  }
  return result;
}

void gf_joinJobs() {
  std::list<JobThread> all;
  {
    std::lock_guard lock(g_threadsMutex);
    all.swap(g_jobThreads);
  }
  joinAll(all);
}

}  // namespace amb
