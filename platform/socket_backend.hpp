#pragma once
// Inside the socket backends only: what both share (socket_common.cpp) and the few hooks each
// backend gives it (linux/socket.cpp, win32/socket.cpp).

#include "platform/socket.hpp"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#endif

#include <cstdint>
#include <mutex>
#include <string>

namespace amb::platform {

namespace detail {

// The Winsock numbers the shared part reports itself.
inline constexpr int kInvalidArgument = 10022;
inline constexpr int kNotASocket = 10038;
inline constexpr int kHostNotFound = 11001;
inline constexpr int kNoData = 11004;

void setLastSocketError(int number);

// Backend: the Winsock number of a getaddrinfo result.
int lookupErrorNumber(int gaiError);
// Backend: closes a handle that never became a Socket's.
void closeRefusedHandle(std::intptr_t handle);
// Backend: the last call on a socket that another thread closed has returned.
void releaseClosedHandle(std::intptr_t handle);

sockaddr_in ipv4(std::uint32_t hostOrderAddress, std::uint16_t port);
// A numeric address or a host name; false with the lookup's error number.
bool resolveIpv4(const std::string& host, std::uint16_t port, sockaddr_in& out);
// Makes a fresh handle the socket's; refused (and closed) when the socket already has one.
bool adopt(std::mutex& mutex, std::intptr_t& handle, std::intptr_t fresh);

}  // namespace detail

// Keeps the handle from being released while a call on it runs.
class Socket::Use {
public:
  explicit Use(const Socket& s);
  ~Use();
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;

  // The handle, or -1 with "not a socket" as the error when the socket is closed.
  std::intptr_t handle() const;
  // True when another thread closed the socket while this call used it.
  bool closedMeanwhile() const;

private:
  const Socket& m_socket;
  std::intptr_t m_handle = -1;
};

}  // namespace amb::platform
