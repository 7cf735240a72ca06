#include "platform/append_file_backend.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace amb::platform::detail {

std::intptr_t openTruncatedFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? -1 : fd;
}

bool writeFileAt(std::intptr_t handle, std::uint64_t offset, std::string_view bytes) {
  ssize_t n;
  do {
    n = ::pwrite(static_cast<int>(handle), bytes.data(), bytes.size(), static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(bytes.size());
}

bool truncateFile(std::intptr_t handle, std::uint64_t length) {
  return ::ftruncate(static_cast<int>(handle), static_cast<off_t>(length)) == 0;
}

bool closeFile(std::intptr_t handle) { return ::close(static_cast<int>(handle)) == 0; }

}  // namespace amb::platform::detail
