#include "platform/replace_file.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace amb::platform {

bool commitFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                         std::error_code& ec) noexcept {
  ec.clear();
  const int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    ec.assign(errno, std::generic_category());
    return false;
  }
  const bool synced = ::fsync(fd) == 0;
  const int syncErrno = errno;
  ::close(fd);
  if (!synced) {
    ec.assign(syncErrno, std::generic_category());
    return false;
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    ec.assign(errno, std::generic_category());
    return false;
  }
  return true;
}

}  // namespace amb::platform
