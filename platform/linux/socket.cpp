#include "platform/socket_backend.hpp"

#include <fcntl.h>
#include <poll.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace amb::platform {

using detail::adopt;
using detail::ipv4;
using detail::resolveIpv4;

namespace {

// errno as the Winsock number of the same condition.
int winsockNumber(int err) {
  switch (err) {
    case EINTR: return 10004;
    // Every handle here is a socket; Winsock reports a stale one as "not a socket".
    case EBADF: return 10038;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: case ENFILE: return 10024;
    case EWOULDBLOCK: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    // A send to a peer that has gone: Winsock calls it a reset connection.
    case ECONNRESET: case EPIPE: return 10054;
    case ENOBUFS: case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    case EUSERS: return 10068;
    case EDQUOT: return 10069;
    case ESTALE: return 10070;
    case EREMOTE: return 10071;
    default: return err;
  }
}

bool fail() {
  detail::setLastSocketError(winsockNumber(errno));
  return false;
}

}  // namespace

int detail::lookupErrorNumber(int gaiError) {
  switch (gaiError) {
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
    case EAI_NODATA: return 11004;
    case EAI_SERVICE: return 10109;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_BADFLAGS: return 10022;
    case EAI_MEMORY: return 8;
    case EAI_SYSTEM: return winsockNumber(errno);
    default: return 11003;
  }
}

void detail::closeRefusedHandle(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

void detail::releaseClosedHandle(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

int socketStartup() { return 0; }

bool Socket::openTcp() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return fail();
  return adopt(m_mutex, m_handle, fd);
}

bool Socket::openUdp() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) return fail();
  return adopt(m_mutex, m_handle, fd);
}

bool Socket::setBlocking(bool blocking) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  const int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) return fail();
  const int wanted = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  if (::fcntl(fd, F_SETFL, wanted) < 0) return fail();
  return true;
}

bool Socket::setReuseAddress() {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  const int on = 1;
  if (::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) return fail();
  return true;
}

bool Socket::setNoDelay() {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  // Linux wants an int here; a one-byte value is refused.
  const int on = 1;
  if (::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) < 0) return fail();
  return true;
}

bool Socket::bind(const PassiveAddress& address) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(address.bytes), address.length) < 0) return fail();
  return true;
}

bool Socket::bindIpv4(bool loopbackOnly, std::uint16_t port) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  const sockaddr_in a = ipv4(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY, port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) < 0) return fail();
  return true;
}

bool Socket::listen() {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  if (::listen(fd, SOMAXCONN) < 0) return fail();
  return true;
}

bool Socket::accept(Socket& client) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  int c;
  do {
    c = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
  } while (c < 0 && errno == EINTR);
  if (c < 0) return fail();
  return adopt(client.m_mutex, client.m_handle, c);
}

bool Socket::connect(const std::string& host, std::uint16_t port) {
  sockaddr_in a{};
  if (!resolveIpv4(host, port, a)) return false;
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return fail();
  return true;
}

bool Socket::sendAll(std::string_view data) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail();
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

long Socket::sendNow(std::string_view data) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return -1;
  ssize_t n;
  do {
    n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
    fail();
    return -1;
  }
  return static_cast<long>(n);
}

bool Socket::setBufferSizes(int receiveBytes, int sendBytes) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  if (receiveBytes > 0 && ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBytes, sizeof receiveBytes) < 0)
    return fail();
  if (sendBytes > 0 && ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBytes, sizeof sendBytes) < 0) return fail();
  return true;
}

long Socket::receive(char* buffer, std::size_t capacity) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return -1;
  ssize_t n;
  do {
    n = ::recv(fd, buffer, capacity, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    fail();
    return -1;
  }
  return static_cast<long>(n);
}

int Socket::waitReadable(int timeoutMs) { return waitReady(false, timeoutMs); }

// A failed or reset connection shows as POLLERR or POLLHUP: ready, so that the send reports it.
int Socket::waitWritable(int timeoutMs) { return waitReady(true, timeoutMs); }

int Socket::waitReady(bool writable, int timeoutMs) {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return -1;
  pollfd p{fd, static_cast<short>(writable ? POLLOUT : POLLIN), 0};
  int rc;
  do {
    rc = ::poll(&p, 1, timeoutMs < 0 ? 0 : timeoutMs);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    fail();
    return -1;
  }
  if (use.closedMeanwhile()) return -1;
  return rc > 0 ? 1 : 0;
}

bool Socket::peerGone() {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return true;
  pollfd p{fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0) return false;
  if ((p.revents & (POLLERR | POLLHUP)) != 0) return true;
  char byte;
  const ssize_t n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

int Socket::waitAnyReadable(std::span<Socket* const> sockets, int timeoutMs, std::vector<std::uint8_t>& ready) {
  ready.assign(sockets.size(), 0);
  if (sockets.size() > kMaxWaitSockets) {
    detail::setLastSocketError(detail::kInvalidArgument);
    return -1;
  }
  std::vector<std::unique_ptr<Use>> uses;
  std::vector<pollfd> polled;
  int closed = 0;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    uses.push_back(std::make_unique<Use>(*sockets[i]));
    const int fd = static_cast<int>(uses.back()->handle());
    if (fd < 0) {
      ready[i] = 1;
      ++closed;
    }
    // A closed socket keeps its place with a handle poll skips.
    polled.push_back(pollfd{fd, POLLIN, 0});
  }
  int rc;
  do {
    rc = ::poll(polled.data(), polled.size(), closed > 0 || timeoutMs < 0 ? 0 : timeoutMs);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) {
    fail();
    return -1;
  }
  int count = 0;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    if (polled[i].revents != 0 || uses[i]->closedMeanwhile()) ready[i] = 1;
    count += ready[i];
  }
  return count;
}

DatagramResult Socket::receiveDatagram(char* buffer, std::size_t capacity) {
  DatagramResult r;
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return r;
  ssize_t n;
  do {
    // MSG_TRUNC makes the call return the datagram's real length when it did not fit.
    n = ::recvfrom(fd, buffer, capacity, MSG_TRUNC, nullptr, nullptr);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    fail();
    return r;
  }
  r.size = static_cast<std::size_t>(n);
  r.kind = r.size > capacity ? DatagramResult::Truncated : DatagramResult::Data;
  return r;
}

bool Socket::sendTo(const std::string& host, std::uint16_t port, std::string_view data) {
  sockaddr_in a{};
  if (!resolveIpv4(host, port, a)) return false;
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return false;
  ssize_t n;
  do {
    n = ::sendto(fd, data.data(), data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return fail();
  return true;
}

std::uint16_t Socket::localPort() const {
  Use use(*this);
  const int fd = static_cast<int>(use.handle());
  if (fd < 0) return 0;
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) < 0) return 0;
  return ntohs(a.sin_port);
}

void Socket::close() {
  std::lock_guard lock(m_mutex);
  if (m_handle < 0 || m_closing) return;
  // Wakes a call blocked on this socket in another thread; close alone would leave it waiting.
  ::shutdown(static_cast<int>(m_handle), SHUT_RDWR);
  if (m_users == 0) {
    ::close(static_cast<int>(m_handle));
    m_handle = -1;
  } else {
    m_closing = true;
  }
}

}  // namespace amb::platform
