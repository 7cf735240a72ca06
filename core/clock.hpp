#pragma once
// The program's clocks. Everything that asks for the time goes through here, so tests can run the
// week slots, time texts, timeouts and the engine in virtual time.

#include <chrono>
#include <functional>

namespace amb::clock {

using SystemTime = std::chrono::system_clock::time_point;
using SteadyTime = std::chrono::steady_clock::time_point;

// The PC clock (UTC) and the monotonic clock, or the overrides when set.
SystemTime systemNow();
SteadyTime steadyNow();

// Seconds since 1970 of systemNow().
long long unixSeconds();

// Test overrides; an empty function restores the real clock. Not meant to be changed while other
// threads read the clock.
void setSystemOverride(std::function<SystemTime()> fn);
void setSteadyOverride(std::function<SteadyTime()> fn);

// A settable clock for tests: systemNow() and steadyNow() both follow it while it lives.
class ManualClock {
public:
  explicit ManualClock(SystemTime start);
  explicit ManualClock(long long unixSeconds);
  ~ManualClock();
  ManualClock(const ManualClock&) = delete;
  ManualClock& operator=(const ManualClock&) = delete;

  void set(SystemTime t);
  void advance(std::chrono::nanoseconds d);
  SystemTime system() const;
  SteadyTime steady() const;

private:
  struct State;
  State* m_state;
};

}  // namespace amb::clock
