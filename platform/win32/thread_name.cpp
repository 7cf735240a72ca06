#include "platform/thread_name.hpp"

namespace amb::platform {

// Thread descriptions need Windows 10; the name is only a help, so the Windows build does without.
void setCurrentThreadName(std::string_view) {}

}  // namespace amb::platform
