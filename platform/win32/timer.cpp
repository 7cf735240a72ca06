#include "platform/timer.hpp"

#include <windows.h>
#include <timeapi.h>

namespace amb::platform {

TimerResolution::TimerResolution(unsigned ms) : m_ms(ms) {
  m_active = timeBeginPeriod(m_ms) == TIMERR_NOERROR;
}

TimerResolution::~TimerResolution() {
  // Only a period that was granted may be ended; the calls must pair up.
  if (m_active) timeEndPeriod(m_ms);
}

}  // namespace amb::platform
