#include "platform/app_resources.hpp"

namespace amb::platform {

std::optional<std::string> appTitle() { return std::string("Ambertrail_P3D"); }

}  // namespace amb::platform
