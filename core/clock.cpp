#include "core/clock.hpp"

#include <atomic>
#include <memory>
#include <mutex>

namespace amb::clock {

namespace {
std::mutex g_overrideMutex;
std::shared_ptr<std::function<SystemTime()>> g_systemOverride;
std::shared_ptr<std::function<SteadyTime()>> g_steadyOverride;
std::atomic<bool> g_anyOverride{false};

void updateFlag() { g_anyOverride = g_systemOverride != nullptr || g_steadyOverride != nullptr; }
}  // namespace

SystemTime systemNow() {
  if (g_anyOverride.load(std::memory_order_acquire)) {
    std::shared_ptr<std::function<SystemTime()>> fn;
    {
      std::lock_guard lock(g_overrideMutex);
      fn = g_systemOverride;
    }
    if (fn) return (*fn)();
  }
  return std::chrono::system_clock::now();
}

SteadyTime steadyNow() {
  if (g_anyOverride.load(std::memory_order_acquire)) {
    std::shared_ptr<std::function<SteadyTime()>> fn;
    {
      std::lock_guard lock(g_overrideMutex);
      fn = g_steadyOverride;
    }
    if (fn) return (*fn)();
  }
  return std::chrono::steady_clock::now();
}

long long unixSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(systemNow().time_since_epoch()).count();
}

void setSystemOverride(std::function<SystemTime()> fn) {
  std::lock_guard lock(g_overrideMutex);
  g_systemOverride = fn ? std::make_shared<std::function<SystemTime()>>(std::move(fn)) : nullptr;
  updateFlag();
}

void setSteadyOverride(std::function<SteadyTime()> fn) {
  std::lock_guard lock(g_overrideMutex);
  g_steadyOverride = fn ? std::make_shared<std::function<SteadyTime()>>(std::move(fn)) : nullptr;
  updateFlag();
}

struct ManualClock::State {
  mutable std::mutex mutex;
  SystemTime system;
  SteadyTime steady;
};

ManualClock::ManualClock(SystemTime start) : m_state(new State) {
  m_state->system = start;
  m_state->steady = SteadyTime{} + std::chrono::hours(1);
  setSystemOverride([this] { return system(); });
  setSteadyOverride([this] { return steady(); });
}

ManualClock::ManualClock(long long unixSecs)
    : ManualClock(SystemTime{} + std::chrono::seconds(unixSecs)) {}

ManualClock::~ManualClock() {
  setSystemOverride(nullptr);
  setSteadyOverride(nullptr);
  delete m_state;
}

void ManualClock::set(SystemTime t) {
  std::lock_guard lock(m_state->mutex);
  auto d = t - m_state->system;
  m_state->system = t;
  if (d.count() > 0) m_state->steady += std::chrono::duration_cast<std::chrono::steady_clock::duration>(d);
}

void ManualClock::advance(std::chrono::nanoseconds d) {
  std::lock_guard lock(m_state->mutex);
  m_state->system += std::chrono::duration_cast<std::chrono::system_clock::duration>(d);
  m_state->steady += std::chrono::duration_cast<std::chrono::steady_clock::duration>(d);
}

SystemTime ManualClock::system() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->system;
}

SteadyTime ManualClock::steady() const {
  std::lock_guard lock(m_state->mutex);
  return m_state->steady;
}

}  // namespace amb::clock
