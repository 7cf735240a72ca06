#pragma once
// A recursive mutex whose lock can wait with a deadline, for a thread that must not wait for ever on
// a lock another thread may hold for ever (the exit, while the worker hangs in a file that does not
// answer with the engine's lock held).
//
// std::recursive_timed_mutex would do, but with libstdc++ it waits on the monotonic clock through
// pthread_mutex_clocklock, which ThreadSanitizer does not see: it would report every access under
// the lock as a race. This one is a plain mutex and a condition variable, which it sees.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace amb {

class RecursiveTimedMutex {
public:
  void lock();
  bool try_lock();
  // False when another thread still holds it at the deadline.
  bool try_lock_until(std::chrono::steady_clock::time_point deadline);
  template <class Rep, class Period>
  bool try_lock_for(const std::chrono::duration<Rep, Period>& d) {
    return try_lock_until(std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(d));
  }
  void unlock();

private:
  bool freeForMe() const { return m_depth == 0 || m_owner == std::this_thread::get_id(); }
  void take() {
    m_owner = std::this_thread::get_id();
    ++m_depth;
  }

  std::mutex m_mutex;
  std::condition_variable m_released;
  std::thread::id m_owner;
  std::uint32_t m_depth = 0;
};

}  // namespace amb
