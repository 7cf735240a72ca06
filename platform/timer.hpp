#pragma once
// Raises the system timer resolution to 1 ms while an object lives (timeBeginPeriod/timeEndPeriod on
// Windows; nothing to do on Linux).

namespace amb::platform {

class TimerResolution {
public:
  explicit TimerResolution(unsigned ms = 1);
  ~TimerResolution();
  TimerResolution(const TimerResolution&) = delete;
  TimerResolution& operator=(const TimerResolution&) = delete;

private:
  unsigned m_ms;
  bool m_active = false;
};

}  // namespace amb::platform
