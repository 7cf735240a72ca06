#pragma once
// Names the calling thread for debuggers and process listings (at most 15 characters are kept on
// Linux). Failures are ignored: a name is only a help.

#include <string_view>

namespace amb::platform {

void setCurrentThreadName(std::string_view name);

}  // namespace amb::platform
