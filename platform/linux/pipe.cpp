// Named pipes as AF_UNIX stream sockets in the runtime folder.

#include "platform/linux/io_stream.hpp"
#include "platform/pipe.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace amb::platform {

namespace fs = std::filesystem;

fs::path runtimeFolder() {
  fs::path dir;
  if (const char* v = std::getenv("AMBT_RUNTIME_DIR"); v && *v)
    dir = v;
  else if (const char* x = std::getenv("XDG_RUNTIME_DIR"); x && *x)
    dir = x;
  else
    dir = fs::temp_directory_path();
  std::error_code ec;
  fs::create_directories(dir, ec);
  return dir;
}

fs::path pipeSocketPath(const std::string& pipePath) {
  // Windows compares pipe names without regard to case; one file name, no separators.
  std::string name;
  name.reserve(pipePath.size());
  for (unsigned char c : pipePath) {
    if (c >= 'A' && c <= 'Z')
      name += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-')
      name += static_cast<char>(c);
    else
      name += '_';
  }
  if (name.empty() || name == "." || name == "..") name = "pipe" + name;
  return runtimeFolder() / name;
}

std::unique_ptr<AsyncStream> connectPipe(const std::string& pipePath, IoCompletionSink& sink, std::uint32_t& error,
                                         std::chrono::milliseconds busyWait) {
  error = 0;
  const std::string path = pipeSocketPath(pipePath).string();
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) {
    error = kErrFilenameTooLong;
    return nullptr;
  }
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);

  // A full listen queue stands for "all pipe instances are busy": wait for a free one as
  // WaitNamedPipe does, checking again every few milliseconds, at most busyWait.
  std::chrono::steady_clock::time_point busyUntil{};
  bool waiting = false;
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error = posix_io::wsaFromErrno(errno);
      return nullptr;
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
      return posix_io::makeStream(fd, false, sink);
    const int e = errno;
    ::close(fd);
    if (e == EINTR) continue;
    if (e == EAGAIN || e == EWOULDBLOCK) {
      const auto now = std::chrono::steady_clock::now();
      if (!waiting) {
        waiting = true;
        busyUntil = now + busyWait;
      }
      if (now >= busyUntil) {
        error = kErrSemTimeout;
        return nullptr;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    error = (e == ENOENT || e == ECONNREFUSED || e == ENOTDIR) ? kErrFileNotFound : posix_io::wsaFromErrno(e);
    return nullptr;
  }
}

}  // namespace amb::platform
