#include "feed/inputs.hpp"

namespace amb {

std::atomic<std::uint8_t> g_autoRangeApplied{0};

}  // namespace amb
