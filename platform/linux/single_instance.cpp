#include "platform/single_instance.hpp"

#include <fmt/format.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace amb::platform {

namespace fs = std::filesystem;

namespace {

fs::path runtimeFolder() {
  for (const char* name : {"AMBT_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
    const char* v = std::getenv(name);
    if (v && *v) return fs::path(v);
  }
  std::error_code ec;
  fs::path temp = fs::temp_directory_path(ec);
  return ec ? fs::path("/tmp") : temp;
}

}  // namespace

fs::path singleInstanceLockPath(std::string_view name) {
  // Letters, digits, '.', '-' and '_' are kept, everything else becomes '_'. The hash of the whole
  // name keeps two names apart that differ only in replaced characters.
  std::string safe;
  for (char c : name.substr(0, 80)) {
    const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                      c == '-' || c == '_';
    safe += keep ? c : '_';
  }
  if (safe.empty() || safe.front() == '.') safe.insert(0, "instance");
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return runtimeFolder() / fmt::format("{}-{:08x}.lock", safe, hash);
}

bool acquireSingleInstance(std::string_view name) {
  const fs::path path = singleInstanceLockPath(name);
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  // Not inherited by child processes: a helper started by the program must not keep the claim
  // after the program ends.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    std::fprintf(stderr, "single instance: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return true;
  }
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  if (r == 0) return true;  // the descriptor stays open, and the lock with it, until the process ends
  const int err = errno;
  ::close(fd);
  if (err == EWOULDBLOCK) return false;
  std::fprintf(stderr, "single instance: cannot lock %s: %s\n", path.c_str(), std::strerror(err));
  return true;
}

}  // namespace amb::platform
