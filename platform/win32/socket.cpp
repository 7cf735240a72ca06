#include "platform/socket_backend.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace amb::platform {

using detail::adopt;
using detail::ipv4;
using detail::resolveIpv4;

namespace {

bool fail() {
  detail::setLastSocketError(WSAGetLastError());
  return false;
}

SOCKET handleOf(std::intptr_t h) { return static_cast<SOCKET>(h); }

}  // namespace

// getaddrinfo gives Winsock numbers itself.
int detail::lookupErrorNumber(int gaiError) { return gaiError; }

void detail::closeRefusedHandle(std::intptr_t handle) { closesocket(handleOf(handle)); }

// The close has already released the handle; the late call only forgets it.
void detail::releaseClosedHandle(std::intptr_t) {}

int socketStartup() {
  // Once per process: every part of the program shares this start-up, and none cleans up before
  // the process ends, so one part cannot take Winsock away from another.
  static const int result = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

bool Socket::openTcp() {
  if (const int rc = socketStartup(); rc != 0) {
    detail::setLastSocketError(rc);
    return false;
  }
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return fail();
  return adopt(m_mutex, m_handle, static_cast<std::intptr_t>(s));
}

bool Socket::openUdp() {
  if (const int rc = socketStartup(); rc != 0) {
    detail::setLastSocketError(rc);
    return false;
  }
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return fail();
  return adopt(m_mutex, m_handle, static_cast<std::intptr_t>(s));
}

bool Socket::setBlocking(bool blocking) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  u_long mode = blocking ? 0 : 1;
  if (ioctlsocket(s, FIONBIO, &mode) == SOCKET_ERROR) return fail();
  return true;
}

bool Socket::setReuseAddress() {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  const BOOL on = TRUE;
  if (setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof on) == SOCKET_ERROR)
    return fail();
  return true;
}

bool Socket::setNoDelay() {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  const char on = 1;
  if (setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == SOCKET_ERROR) return fail();
  return true;
}

bool Socket::bind(const PassiveAddress& address) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  if (::bind(s, reinterpret_cast<const sockaddr*>(address.bytes), static_cast<int>(address.length)) == SOCKET_ERROR)
    return fail();
  return true;
}

bool Socket::bindIpv4(bool loopbackOnly, std::uint16_t port) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  const sockaddr_in a = ipv4(loopbackOnly ? INADDR_LOOPBACK : INADDR_ANY, port);
  if (::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == SOCKET_ERROR) return fail();
  return true;
}

bool Socket::listen() {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  if (::listen(s, SOMAXCONN) == SOCKET_ERROR) return fail();
  return true;
}

bool Socket::accept(Socket& client) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  const SOCKET c = ::accept(s, nullptr, nullptr);
  if (c == INVALID_SOCKET) return fail();
  // Winsock gives the accepted socket the listening socket's mode; it blocks here, as on Linux.
  u_long blocking = 0;
  if (ioctlsocket(c, FIONBIO, &blocking) == SOCKET_ERROR) {
    fail();
    closesocket(c);
    return false;
  }
  return adopt(client.m_mutex, client.m_handle, static_cast<std::intptr_t>(c));
}

bool Socket::connect(const std::string& host, std::uint16_t port) {
  sockaddr_in a{};
  if (!resolveIpv4(host, port, a)) return false;
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  if (::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == SOCKET_ERROR) return fail();
  return true;
}

bool Socket::sendAll(std::string_view data) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  std::size_t done = 0;
  while (done < data.size()) {
    const int n = ::send(s, data.data() + done, static_cast<int>(data.size() - done), 0);
    if (n == SOCKET_ERROR) return fail();
    done += static_cast<std::size_t>(n);
  }
  return true;
}

long Socket::sendNow(std::string_view data) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return -1;
  // Winsock has no flag for a single send that does not wait: the socket is non-blocking, and a
  // send with no room fails with WSAEWOULDBLOCK.
  const int n = ::send(s, data.data(), static_cast<int>(data.size()), 0);
  if (n == SOCKET_ERROR) {
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return 0;
    detail::setLastSocketError(error);
    return -1;
  }
  return n;
}

bool Socket::setBufferSizes(int receiveBytes, int sendBytes) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  if (receiveBytes > 0 && setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBytes),
                                     sizeof receiveBytes) == SOCKET_ERROR)
    return fail();
  if (sendBytes > 0 &&
      setsockopt(s, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&sendBytes), sizeof sendBytes) == SOCKET_ERROR)
    return fail();
  return true;
}

long Socket::receive(char* buffer, std::size_t capacity) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return -1;
  const int n = ::recv(s, buffer, static_cast<int>(capacity), 0);
  if (n == SOCKET_ERROR) {
    if (use.closedMeanwhile()) return 0;
    fail();
    return -1;
  }
  return n;
}

int Socket::waitReadable(int timeoutMs) { return waitReady(false, timeoutMs); }

// A failed connection shows in the exception set: ready, so that the send reports it.
int Socket::waitWritable(int timeoutMs) { return waitReady(true, timeoutMs); }

int Socket::waitReady(bool writable, int timeoutMs) {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return -1;
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(s, &ready);
  FD_SET(s, &failed);
  const int ms = timeoutMs < 0 ? 0 : timeoutMs;
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int rc = writable ? ::select(0, nullptr, &ready, &failed, &tv) : ::select(0, &ready, nullptr, nullptr, &tv);
  if (rc == SOCKET_ERROR) {
    fail();
    return -1;
  }
  if (use.closedMeanwhile()) return -1;
  return rc > 0 ? 1 : 0;
}

bool Socket::peerGone() {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return true;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval tv{0, 0};
  if (::select(0, &readable, nullptr, nullptr, &tv) <= 0) return false;
  char byte;
  const int n = ::recv(s, &byte, 1, MSG_PEEK);
  return n == 0 || (n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK);
}

int Socket::waitAnyReadable(std::span<Socket* const> sockets, int timeoutMs, std::vector<std::uint8_t>& ready) {
  ready.assign(sockets.size(), 0);
  static_assert(kMaxWaitSockets <= FD_SETSIZE);
  if (sockets.size() > kMaxWaitSockets) {
    detail::setLastSocketError(detail::kInvalidArgument);
    return -1;
  }
  std::vector<std::unique_ptr<Use>> uses;
  fd_set readable;
  FD_ZERO(&readable);
  int closed = 0;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    uses.push_back(std::make_unique<Use>(*sockets[i]));
    const SOCKET s = handleOf(uses.back()->handle());
    if (s == INVALID_SOCKET) {
      ready[i] = 1;
      ++closed;
    } else {
      FD_SET(s, &readable);
    }
  }
  const int ms = closed > 0 || timeoutMs < 0 ? 0 : timeoutMs;
  if (closed == static_cast<int>(sockets.size())) {
    // select refuses empty sets; a wait on nothing is a sleep, as poll makes it.
    if (sockets.empty()) Sleep(static_cast<DWORD>(ms));
    return closed;
  }
  timeval tv{ms / 1000, (ms % 1000) * 1000};
  const int rc = ::select(0, &readable, nullptr, nullptr, &tv);
  int count = 0;
  for (std::size_t i = 0; i < sockets.size(); ++i) {
    const SOCKET s = handleOf(uses[i]->handle());
    if (uses[i]->closedMeanwhile() || (rc != SOCKET_ERROR && s != INVALID_SOCKET && FD_ISSET(s, &readable)))
      ready[i] = 1;
    count += ready[i];
  }
  if (rc == SOCKET_ERROR && count == 0) {
    fail();
    return -1;
  }
  return count;
}

DatagramResult Socket::receiveDatagram(char* buffer, std::size_t capacity) {
  DatagramResult r;
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return r;
  // Winsock drops the rest of a datagram that does not fit and does not tell its length; received
  // into a buffer that holds the largest datagram, its length is known.
  thread_local std::vector<char> whole(65536);
  const bool direct = capacity >= whole.size();
  char* into = direct ? buffer : whole.data();
  const int room = static_cast<int>(direct ? capacity : whole.size());
  const int n = ::recvfrom(s, into, room, 0, nullptr, nullptr);
  if (n == SOCKET_ERROR) {
    if (use.closedMeanwhile()) {
      r.kind = DatagramResult::Data;
      r.size = 0;
      return r;
    }
    if (WSAGetLastError() == WSAEMSGSIZE) {
      r.kind = DatagramResult::Truncated;
      r.size = static_cast<std::size_t>(room);
      return r;
    }
    fail();
    return r;
  }
  const std::size_t got = static_cast<std::size_t>(n);
  if (!direct) std::memcpy(buffer, whole.data(), std::min(got, capacity));
  r.kind = got > capacity ? DatagramResult::Truncated : DatagramResult::Data;
  r.size = got;
  return r;
}

bool Socket::sendTo(const std::string& host, std::uint16_t port, std::string_view data) {
  sockaddr_in a{};
  if (!resolveIpv4(host, port, a)) return false;
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return false;
  if (::sendto(s, data.data(), static_cast<int>(data.size()), 0, reinterpret_cast<const sockaddr*>(&a), sizeof a) ==
      SOCKET_ERROR)
    return fail();
  return true;
}

std::uint16_t Socket::localPort() const {
  Use use(*this);
  const SOCKET s = handleOf(use.handle());
  if (s == INVALID_SOCKET) return 0;
  sockaddr_in a{};
  int len = sizeof a;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == SOCKET_ERROR) return 0;
  return ntohs(a.sin_port);
}

void Socket::close() {
  std::lock_guard lock(m_mutex);
  if (m_handle == -1 || m_closing) return;
  // closesocket ends a call blocked on the socket in another thread (it returns WSAEINTR or
  // WSAENOTSOCK); that call's Use then only forgets the handle.
  closesocket(handleOf(m_handle));
  if (m_users == 0) {
    m_handle = -1;
  } else {
    m_closing = true;
  }
}

}  // namespace amb::platform
