#pragma once
// IPv4 sockets for the RealTraffic link: a TCP server with one client, blocking UDP receivers, and
// the client side the traffic double uses.
//
// Errors are reported as Winsock numbers (10061 for a refused connection, ...) on every backend, so
// that gf_wsaErrorText gives the same texts everywhere. A failing call returns false (or a negative
// count) and leaves its number in lastSocketError() of the calling thread.
//
// Any thread may close a Socket while another thread is blocked in it: close() wakes the blocked call
// (it then fails or returns 0) and the handle is released once the last call on it has returned, so
// a number reused by the system never reaches a late call.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace amb::platform {

// Starts the socket library once per process (WSAStartup 2.2 on Windows, nothing elsewhere); later
// calls return the first result. 0 on success, else the error number.
int socketStartup();

// The Winsock number of the last failing socket call on this thread.
int lastSocketError();

// A resolved local address for a passive (listening) IPv4 TCP socket.
struct PassiveAddress {
  unsigned char bytes[16] = {};  // sockaddr_in
  std::uint32_t length = 0;
};

// getaddrinfo(NULL, port, AI_PASSIVE, AF_INET, SOCK_STREAM, IPPROTO_TCP): 0, or the lookup's error
// number (11001 unknown host, 10109 unknown service, ...).
int resolvePassiveTcp(const std::string& port, PassiveAddress& out);
// Narrows a resolved passive address to the loopback address 127.0.0.1 (same port).
void restrictToLoopback(PassiveAddress& address);

// The result of one datagram receive.
struct DatagramResult {
  enum Kind { Data, Truncated, Error } kind = Error;
  // Data: bytes received (0 for an empty datagram, and after the socket was closed by another thread).
  // Truncated: the datagram's real length where the system tells it, else the buffer size.
  std::size_t size = 0;
};

class Socket {
public:
  Socket() = default;
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool isOpen() const;

  // Creation; false when a socket is already open here or the system refuses.
  bool openTcp();
  bool openUdp();

  bool setBlocking(bool blocking);
  bool setReuseAddress();
  bool setNoDelay();
  bool bind(const PassiveAddress& address);
  // Binds to 127.0.0.1 or to every interface.
  bool bindIpv4(bool loopbackOnly, std::uint16_t port);
  bool listen();
  // Blocks until a client connects (a non-blocking socket fails at once with 10035 when none is
  // waiting); the client socket goes into `client`, which must be closed. The client socket blocks,
  // whatever this socket does.
  bool accept(Socket& client);
  bool connect(const std::string& host, std::uint16_t port);

  // Sends every byte (one call where the system takes it whole).
  bool sendAll(std::string_view data);
  // One send that never waits: the count of bytes the system took (0 when its buffer has no room
  // for any), or -1 when the send failed. On Windows the socket must be non-blocking
  // (setBlocking(false)); elsewhere the call does not wait whatever the socket's mode.
  long sendNow(std::string_view data);
  // Waits at most timeoutMs until a send can take bytes again (or the connection failed, which the
  // send then reports): 1 ready, 0 not within the time, -1 failed or closed.
  int waitWritable(int timeoutMs);
  // The system's receive and send buffers in bytes; 0 leaves one as it is. A receive buffer set
  // before connect bounds the window the peer may fill.
  bool setBufferSizes(int receiveBytes, int sendBytes);
  // One receive: the count (0 when the peer closed), or -1.
  long receive(char* buffer, std::size_t capacity);
  // Waits at most timeoutMs for the socket to become readable (data, the peer's close, or an error
  // to collect): 1 readable, 0 not within the time, -1 failed or closed.
  int waitReadable(int timeoutMs);
  // Without waiting: true when the peer has closed or reset the connection and sent nothing left
  // to read (a connection that only the backlog held, its client long gone).
  bool peerGone();
  // Waits at most timeoutMs until one of the sockets is readable (as waitReadable); ready[i] tells
  // which. The count of readable sockets, 0 when none within the time, -1 when the wait failed. A
  // socket that is closed, or closed by another thread meanwhile, counts as readable. At most 64
  // sockets (the most one wait takes on Windows).
  static int waitAnyReadable(std::span<Socket* const> sockets, int timeoutMs, std::vector<std::uint8_t>& ready);
  static constexpr std::size_t kMaxWaitSockets = 64;
  // Moves the open handle of `from` here (both are the caller's, no call runs on `from`); false when
  // this socket is open or `from` is not.
  bool takeHandleOf(Socket& from);
  // One datagram into the buffer.
  DatagramResult receiveDatagram(char* buffer, std::size_t capacity);
  bool sendTo(const std::string& host, std::uint16_t port, std::string_view data);

  // Local port after bind (0 when unknown).
  std::uint16_t localPort() const;

  // From any thread; safe to call again.
  void close();

private:
  // Holds the handle for the length of one call; invalid when closed or closing.
  class Use;
  // waitReadable and waitWritable.
  int waitReady(bool writable, int timeoutMs);

  // Mutable: a call on a const socket (localPort) still counts as a use, and the last use may
  // release a handle that another thread closed meanwhile.
  mutable std::mutex m_mutex;
  mutable std::intptr_t m_handle = -1;
  mutable int m_users = 0;
  mutable bool m_closing = false;
};

}  // namespace amb::platform
