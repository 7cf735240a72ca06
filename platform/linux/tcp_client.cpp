// TCP client streams over IPv4 and IPv6.

#include "platform/linux/io_stream.hpp"
#include "platform/stream.hpp"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>

namespace amb::platform {

namespace {

// A connect to an address that never answers gives up after this long, as Windows does after its
// SYN retries, so that the caller is never held for minutes.
constexpr int kConnectTimeoutMs = 20000;

std::uint32_t fromGaiError(int rc) {
  switch (rc) {
    case EAI_AGAIN: return 11002;   // WSATRY_AGAIN
    case EAI_FAIL: return 11003;    // WSANO_RECOVERY
    case EAI_FAMILY: return 10047;  // WSAEAFNOSUPPORT
    case EAI_MEMORY: return 8;      // WSA_NOT_ENOUGH_MEMORY
    case EAI_SERVICE: return 10109; // WSATYPE_NOT_FOUND
    case EAI_SYSTEM: return posix_io::wsaFromErrno(errno);
    default: return kWsaHostNotFound;
  }
}

// Connects the socket, waiting at most the timeout; 0 or errno.
int connectBounded(int fd, const sockaddr* addr, socklen_t len) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  if (::connect(fd, addr, len) == 0) return 0;
  if (errno != EINPROGRESS) return errno;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return ETIMEDOUT;
    pollfd p{fd, POLLOUT, 0};
    const int n = ::poll(&p, 1, static_cast<int>(left.count()));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ETIMEDOUT;
    int err = 0;
    socklen_t errLen = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) != 0) return errno;
    return err;
  }
}

}  // namespace

std::uint32_t startSockets() { return 0; }  // nothing to start on POSIX systems

std::unique_ptr<AsyncStream> connectTcp(const std::string& address, const std::string& port, IpFamily family,
                                        IoCompletionSink& sink, std::uint32_t& error) {
  error = 0;
  addrinfo hints{};
  hints.ai_family = family == IpFamily::IPv4 ? AF_INET : family == IpFamily::IPv6 ? AF_INET6 : AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* res = nullptr;
  const int rc = ::getaddrinfo(address.empty() ? nullptr : address.c_str(), port.empty() ? nullptr : port.c_str(),
                               &hints, &res);
  if (rc != 0 || !res) {
    error = fromGaiError(rc);
    return nullptr;
  }
  // Only the first result is tried.
  const int fd = ::socket(res->ai_family, res->ai_socktype | SOCK_CLOEXEC, res->ai_protocol);
  if (fd < 0) {
    error = posix_io::wsaFromErrno(errno);
    ::freeaddrinfo(res);
    return nullptr;
  }
  const int e = connectBounded(fd, res->ai_addr, res->ai_addrlen);
  ::freeaddrinfo(res);
  if (e != 0) {
    error = posix_io::wsaFromErrno(e);
    ::close(fd);
    return nullptr;
  }
  return posix_io::makeStream(fd, true, sink);
}

}  // namespace amb::platform
