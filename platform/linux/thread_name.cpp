#include "platform/thread_name.hpp"

#include <pthread.h>

#include <string>

namespace amb::platform {

void setCurrentThreadName(std::string_view name) {
  const std::string shortName(name.substr(0, 15));
  pthread_setname_np(pthread_self(), shortName.c_str());
}

}  // namespace amb::platform
