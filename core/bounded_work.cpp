#include "core/bounded_work.hpp"

#include "platform/thread_name.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace amb {

namespace {

std::atomic<int> g_unfinished{0};

// Shared by the caller and the work's thread, which may outlive the caller's wait.
struct BoundedRun {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
  std::exception_ptr failure;
};

// A thread that runs one piece of work at a time and then waits for the next.
struct Runner {
  std::condition_variable wake;
  bool given = false;
  std::string name;
  std::function<void()> work;
  std::shared_ptr<BoundedRun> run;
};

// The threads are kept for the life of the process and reused: an exit runs several pieces of work
// in a row, and starting a thread is the step that can stall on its own (under Wine a fresh thread
// at times never begins), so a piece takes an idle thread of an earlier one. Only while every thread
// is still busy (work stuck on a file keeps its thread) is another one started. Nothing here is
// freed: a thread may still wait on it while the program ends.
struct Runners {
  std::mutex mutex;
  std::vector<Runner*> idle;
  std::vector<std::unique_ptr<Runner>> all;
  std::vector<std::thread> threads;  // never joined, never detached
};

Runners& lf_runners() {
  static Runners* runners = new Runners;
  return *runners;
}

void lf_finish(BoundedRun& run, std::exception_ptr failure) {
  {
    std::lock_guard lock(run.mutex);
    --g_unfinished;
    run.done = true;
    run.failure = failure;
  }
  run.ended.notify_all();
}

void lf_serve(Runner* self) {
  Runners& runners = lf_runners();
  std::unique_lock lock(runners.mutex);
  // A thread started ahead of need counts as idle only once it runs.
  if (!self->given) runners.idle.push_back(self);
  for (;;) {
    self->wake.wait(lock, [&] { return self->given; });
    self->given = false;
    std::function<void()> work = std::move(self->work);
    self->work = nullptr;
    const std::shared_ptr<BoundedRun> run = std::move(self->run);
    const std::string name = self->name;
    lock.unlock();

    platform::setCurrentThreadName(name);
    std::exception_ptr failure;
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    // What the work captured goes before it counts as ended, and the thread is free for the next
    // piece by the time its caller hears of the end.
    work = nullptr;
    lock.lock();
    runners.idle.push_back(self);
    lock.unlock();
    lf_finish(*run, failure);
    lock.lock();
  }
}

// A runner on a thread of its own; the caller holds the runners' lock.
Runner* lf_startRunner(Runners& runners) {
  // Room first, so that a thread once started is always kept.
  runners.all.reserve(runners.all.size() + 1);
  runners.threads.reserve(runners.threads.size() + 1);
  auto fresh = std::make_unique<Runner>();
  Runner* runner = fresh.get();
  runners.threads.emplace_back(lf_serve, runner);
  runners.all.push_back(std::move(fresh));
  return runner;
}

}  // namespace

void gf_startBoundedWorkThread() {
  Runners& runners = lf_runners();
  std::lock_guard lock(runners.mutex);
  if (runners.all.empty()) lf_startRunner(runners);
}

bool gf_runBounded(const std::string& threadName, std::function<void()> work,
                   std::chrono::steady_clock::time_point deadline) {
  auto run = std::make_shared<BoundedRun>();
  Runners& runners = lf_runners();
  {
    std::lock_guard lock(runners.mutex);
    Runner* runner = nullptr;
    if (!runners.idle.empty()) {
      runner = runners.idle.back();
      runners.idle.pop_back();
    } else {
      runner = lf_startRunner(runners);
    }
    runner->name = threadName;
    runner->work = std::move(work);
    runner->run = run;
    runner->given = true;
    ++g_unfinished;
    runner->wake.notify_one();
  }
  std::unique_lock lock(run->mutex);
  if (!run->ended.wait_until(lock, deadline, [&] { return run->done; })) return false;
  if (run->failure) std::rethrow_exception(run->failure);
  return true;
}

int gf_unfinishedBoundedWork() { return g_unfinished.load(); }

}  // namespace amb
