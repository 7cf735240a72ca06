#include "core/bounded_work.hpp"

#include "platform/thread_name.hpp"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>

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

}  // namespace

bool gf_runBounded(const std::string& threadName, std::function<void()> work,
                   std::chrono::steady_clock::time_point deadline) {
  auto run = std::make_shared<BoundedRun>();
  ++g_unfinished;
  try {
    std::thread([run, threadName, work = std::move(work)]() mutable {
      platform::setCurrentThreadName(threadName);
      std::exception_ptr failure;
      {
        // What the work captured goes before it counts as ended.
        const std::function<void()> body = std::move(work);
        try {
          body();
        } catch (...) {
          failure = std::current_exception();
        }
      }
      {
        std::lock_guard lock(run->mutex);
        --g_unfinished;
        run->done = true;
        run->failure = failure;
      }
      run->ended.notify_all();
    }).detach();
  } catch (...) {
    --g_unfinished;
    throw;
  }
  std::unique_lock lock(run->mutex);
  if (!run->ended.wait_until(lock, deadline, [&] { return run->done; })) return false;
  if (run->failure) std::rethrow_exception(run->failure);
  return true;
}

int gf_unfinishedBoundedWork() { return g_unfinished.load(); }

}  // namespace amb
