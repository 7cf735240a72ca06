#include "core/timed_mutex.hpp"

namespace amb {

void RecursiveTimedMutex::lock() {
  std::unique_lock lock(m_mutex);
  m_released.wait(lock, [this] { return freeForMe(); });
  take();
}

bool RecursiveTimedMutex::try_lock() {
  std::lock_guard lock(m_mutex);
  if (!freeForMe()) return false;
  take();
  return true;
}

bool RecursiveTimedMutex::try_lock_until(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_mutex);
  if (!m_released.wait_until(lock, deadline, [this] { return freeForMe(); })) return false;
  take();
  return true;
}

void RecursiveTimedMutex::unlock() {
  {
    std::lock_guard lock(m_mutex);
    if (--m_depth != 0) return;
    m_owner = std::thread::id();
  }
  m_released.notify_one();
}

}  // namespace amb
