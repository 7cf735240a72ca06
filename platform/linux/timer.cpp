#include "platform/timer.hpp"

namespace amb::platform {

// Linux timers already have fine resolution; nothing to raise.
TimerResolution::TimerResolution(unsigned ms) : m_ms(ms) {}
TimerResolution::~TimerResolution() = default;

}  // namespace amb::platform
