// The parts of the sockets that are the same on every backend: the last error, addresses, and the
// bookkeeping that lets one thread close a socket another thread is blocked in.

#include "platform/socket_backend.hpp"

#include <cstring>

namespace amb::platform {

namespace {
thread_local int t_lastError = 0;
}  // namespace

int lastSocketError() { return t_lastError; }

void detail::setLastSocketError(int number) { t_lastError = number; }

sockaddr_in detail::ipv4(std::uint32_t hostOrderAddress, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  a.sin_addr.s_addr = htonl(hostOrderAddress);
  return a;
}

bool detail::resolveIpv4(const std::string& host, std::uint16_t port, sockaddr_in& out) {
  out = ipv4(0, port);
  if (inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    t_lastError = rc != 0 ? lookupErrorNumber(rc) : kHostNotFound;
    return false;
  }
  out.sin_addr = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr;
  freeaddrinfo(result);
  return true;
}

int resolvePassiveTcp(const std::string& port, PassiveAddress& out) {
  if (const int rc = socketStartup(); rc != 0) return rc;
  addrinfo hints{};
  hints.ai_flags = AI_PASSIVE;
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* result = nullptr;
  const int rc = getaddrinfo(nullptr, port.c_str(), &hints, &result);
  if (rc != 0) return detail::lookupErrorNumber(rc);
  if (result == nullptr || result->ai_addrlen > sizeof(out.bytes)) {
    if (result) freeaddrinfo(result);
    return detail::kNoData;
  }
  std::memcpy(out.bytes, result->ai_addr, result->ai_addrlen);
  out.length = static_cast<std::uint32_t>(result->ai_addrlen);
  freeaddrinfo(result);
  return 0;
}

void restrictToLoopback(PassiveAddress& address) {
  sockaddr_in a{};
  if (address.length != sizeof a) return;
  std::memcpy(&a, address.bytes, sizeof a);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::memcpy(address.bytes, &a, sizeof a);
}

bool detail::adopt(std::mutex& mutex, std::intptr_t& handle, std::intptr_t fresh) {
  std::lock_guard lock(mutex);
  if (handle != -1) {
    closeRefusedHandle(fresh);
    t_lastError = kInvalidArgument;
    return false;
  }
  handle = fresh;
  return true;
}

Socket::Use::Use(const Socket& s) : m_socket(s) {
  std::lock_guard lock(s.m_mutex);
  if (s.m_handle != -1 && !s.m_closing) {
    m_handle = s.m_handle;
    ++s.m_users;
  }
}

Socket::Use::~Use() {
  if (m_handle == -1) return;
  const Socket& s = m_socket;
  std::lock_guard lock(s.m_mutex);
  if (--s.m_users == 0 && s.m_closing) {
    detail::releaseClosedHandle(m_handle);
    s.m_handle = -1;
    s.m_closing = false;
  }
}

std::intptr_t Socket::Use::handle() const {
  if (m_handle == -1) t_lastError = detail::kNotASocket;
  return m_handle;
}

bool Socket::Use::closedMeanwhile() const {
  std::lock_guard lock(m_socket.m_mutex);
  return m_socket.m_closing || m_socket.m_handle == -1;
}

Socket::~Socket() { close(); }

bool Socket::takeHandleOf(Socket& from) {
  if (&from == this) return false;
  std::scoped_lock lock(m_mutex, from.m_mutex);
  if (m_handle != -1 || from.m_handle == -1 || from.m_closing || from.m_users != 0) {
    t_lastError = detail::kInvalidArgument;
    return false;
  }
  m_handle = from.m_handle;
  from.m_handle = -1;
  return true;
}

bool Socket::isOpen() const {
  std::lock_guard lock(m_mutex);
  return m_handle != -1 && !m_closing;
}

}  // namespace amb::platform
