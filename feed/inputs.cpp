#include "feed/inputs.hpp"

namespace amb {

std::atomic<double> g_radiusNm{40.0};
std::atomic<std::uint8_t> g_autoRangeApplied{0};

}  // namespace amb
