// The double's loop in the Windows build: Winsock listeners and a real named pipe server. Helper
// threads accept clients and read what they send; the loop thread owns the sessions, answers and
// writes, as on POSIX systems, and sleeps on one event between its timers.

#ifdef _WIN32

#include "tools/simdouble/core.hpp"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <fmt/format.h>

#include <algorithm>
#include <iostream>
#include <stdexcept>

#include "platform/pipe.hpp"
#include "platform/socket.hpp"

namespace amb::simdouble {

namespace {

// A client that takes nothing for this long is dropped, as one that stops reading.
constexpr DWORD kWriteBoundMs = 10000;
// While a pipe client is connected (a pipe signals no arrival without a read in flight) or output
// waits, the loop looks again at least this often.
constexpr long long kPollMs = 5;

std::wstring wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

[[noreturn]] void failWsa(const std::string& what) {
  throw std::runtime_error(fmt::format("{}: Winsock error {}", what, WSAGetLastError()));
}

}  // namespace

// One client: a socket (non-blocking, its arrivals signalled by an event) or a pipe instance. The loop
// thread reads what has arrived at the top of every round, so that a packet a client sent before a
// command was handed in is taken before that command runs, as on POSIX systems.
struct NativeSession {
  bool pipe = false;
  SOCKET socket = INVALID_SOCKET;
  HANDLE handle = INVALID_HANDLE_VALUE;
  WSAEVENT arrived = WSA_INVALID_EVENT;  // sockets: data, end or room to write
  HANDLE ioEvent = nullptr;              // pipes: the overlapped reads and writes

  ~NativeSession() {
    if (arrived != WSA_INVALID_EVENT) WSACloseEvent(arrived);
    if (ioEvent) CloseHandle(ioEvent);
  }
};

struct NativeCore {
  HANDLE wake = nullptr;  // auto reset: something arrived for the loop
  HANDLE stop = nullptr;  // manual reset: the helper threads end
  SOCKET listen4 = INVALID_SOCKET;
  SOCKET listen6 = INVALID_SOCKET;
  HANDLE firstPipe = INVALID_HANDLE_VALUE;  // made before the port file is written
  std::wstring pipeName;
  std::vector<std::thread> acceptors;
  std::mutex m;  // incoming
  std::vector<std::unique_ptr<Session>> incoming;
};

namespace {

std::unique_ptr<Session> makeSession(bool pipe, SOCKET sock, HANDLE h, const char* via) {
  auto session = std::make_unique<Session>();
  auto ns = std::make_shared<NativeSession>();
  ns->pipe = pipe;
  ns->socket = sock;
  ns->handle = h;
  if (pipe) {
    ns->ioEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  } else {
    // Also makes the socket non-blocking.
    ns->arrived = WSACreateEvent();
    WSAEventSelect(sock, ns->arrived, FD_READ | FD_CLOSE | FD_WRITE);
  }
  session->via = via;
  session->native = ns;
  return session;
}

void hand(SimDouble::Core& c, std::unique_ptr<Session> s) {
  {
    std::lock_guard lock(c.native->m);
    c.native->incoming.push_back(std::move(s));
  }
  SetEvent(c.native->wake);
}

SOCKET listenTcp(bool v6, std::uint16_t port, std::uint16_t& bound) {
  const SOCKET s = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) failWsa("socket");
  int rc;
  if (v6) {
    const DWORD one = 1;
    setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, reinterpret_cast<const char*>(&one), sizeof one);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    a.sin6_port = htons(port);
    rc = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    rc = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  if (rc != 0 || ::listen(s, 16) != 0) {
    const int e = WSAGetLastError();
    closesocket(s);
    WSASetLastError(e);
    failWsa(fmt::format("cannot listen on TCP{} port {}", v6 ? "v6" : "v4", port));
  }
  sockaddr_storage ss{};
  int len = sizeof ss;
  getsockname(s, reinterpret_cast<sockaddr*>(&ss), &len);
  bound = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  return s;
}

void acceptTcp(SimDouble::Core& c, SOCKET listener, const char* via) {
  NativeCore& core = *c.native;
  const HANDLE ready = WSACreateEvent();
  WSAEventSelect(listener, ready, FD_ACCEPT);
  for (;;) {
    HANDLE waits[2] = {ready, core.stop};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) break;
    WSAResetEvent(ready);
    for (;;) {
      const SOCKET client = ::accept(listener, nullptr, nullptr);
      if (client == INVALID_SOCKET) break;
      // Accepted sockets inherit the listener's event selection; the session selects its own.
      WSAEventSelect(client, nullptr, 0);
      const BOOL on = TRUE;
      setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
      hand(c, makeSession(false, client, INVALID_HANDLE_VALUE, via));
    }
  }
  WSACloseEvent(ready);
}

HANDLE newPipeInstance(const std::wstring& name) {
  return CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 65536, 65536, 0,
                          nullptr);
}

void acceptPipe(SimDouble::Core& c) {
  NativeCore& core = *c.native;
  const HANDLE connected = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE h = core.firstPipe;
  core.firstPipe = INVALID_HANDLE_VALUE;
  while (h != INVALID_HANDLE_VALUE) {
    OVERLAPPED ov{};
    ov.hEvent = connected;
    ResetEvent(connected);
    bool ok = ConnectNamedPipe(h, &ov) != FALSE;
    if (!ok) {
      const DWORD e = GetLastError();
      if (e == ERROR_PIPE_CONNECTED) {
        ok = true;
      } else if (e == ERROR_IO_PENDING) {
        HANDLE waits[2] = {connected, core.stop};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) CancelIoEx(h, &ov);
        DWORD n = 0;
        ok = GetOverlappedResult(h, &ov, &n, TRUE) != FALSE;
      }
    }
    if (WaitForSingleObject(core.stop, 0) == WAIT_OBJECT_0) {
      CloseHandle(h);
      break;
    }
    if (ok) {
      hand(c, makeSession(true, INVALID_SOCKET, h, "pipe"));
    } else {
      CloseHandle(h);
    }
    h = newPipeInstance(core.pipeName);
  }
  CloseHandle(connected);
}

// Standard input as a control channel; the thread ends with the input (or with the process).
void readStdin(SimDouble::Core& c) {
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  std::string buf;
  char chunk[4096];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(in, chunk, sizeof chunk, &n, nullptr) || n == 0) return;
    buf.append(chunk, n);
    std::size_t nl;
    while ((nl = buf.find('\n')) != std::string::npos) {
      std::string line = buf.substr(0, nl);
      buf.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      {
        std::lock_guard lock(c.mutex);
        c.queued.push_back(line);
      }
      SetEvent(c.native->wake);
    }
  }
}

// Reads what has arrived so far, without waiting, and runs every complete packet.
void takeInput(SimDouble::Core& c, Session& s) {
  NativeSession& ns = *s.native;
  std::uint8_t buf[65536];
  bool ended = false;
  for (;;) {
    if (ns.pipe) {
      DWORD avail = 0;
      if (!PeekNamedPipe(ns.handle, nullptr, 0, nullptr, &avail, nullptr)) {
        ended = true;  // the client closed the pipe
        break;
      }
      if (avail == 0) break;
      OVERLAPPED ov{};
      ov.hEvent = ns.ioEvent;
      DWORD n = 0;
      const DWORD want = std::min<DWORD>(avail, sizeof buf);
      if ((!ReadFile(ns.handle, buf, want, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) ||
          !GetOverlappedResult(ns.handle, &ov, &n, TRUE) || n == 0) {
        ended = true;
        break;
      }
      s.in.insert(s.in.end(), buf, buf + n);
    } else {
      const int r = recv(ns.socket, reinterpret_cast<char*>(buf), sizeof buf, 0);
      if (r > 0) {
        s.in.insert(s.in.end(), buf, buf + r);
        continue;
      }
      if (r < 0 && WSAGetLastError() == WSAEWOULDBLOCK) break;
      ended = true;  // the client closed or failed; what it sent before still counts
      break;
    }
  }
  c.takePackets(s, ended);
}

}  // namespace

// Writes everything pending; a client that takes nothing for a while is dropped.
void SimDouble::Core::writeSession(Session& s) {
  NativeSession& ns = *s.native;
  while (!s.dead && s.outPos < s.out.size()) {
    const std::size_t left = s.out.size() - s.outPos;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 20));
    DWORD n = 0;
    bool ok;
    if (ns.pipe) {
      OVERLAPPED ov{};
      ov.hEvent = ns.ioEvent;
      ok = WriteFile(ns.handle, s.out.data() + s.outPos, chunk, nullptr, &ov) || GetLastError() == ERROR_IO_PENDING;
      if (ok) {
        if (WaitForSingleObject(ns.ioEvent, kWriteBoundMs) != WAIT_OBJECT_0) CancelIoEx(ns.handle, &ov);
        ok = GetOverlappedResult(ns.handle, &ov, &n, TRUE) && n > 0;
      }
    } else {
      const int r = send(ns.socket, reinterpret_cast<const char*>(s.out.data() + s.outPos), static_cast<int>(chunk), 0);
      if (r < 0 && WSAGetLastError() == WSAEWOULDBLOCK) {
        // The rest goes when the client has read; one that stops reading for good is dropped.
        if (s.out.size() - s.outPos > kMaxPendingOutput) closeSession(s);
        return;
      }
      ok = r > 0;
      n = ok ? static_cast<DWORD>(r) : 0;
    }
    if (!ok) {
      closeSession(s);
      return;
    }
    s.outPos += n;
  }
  if (!s.dead && s.outPos == s.out.size()) {
    s.out.clear();
    s.outPos = 0;
    if (s.closeWhenWritten) closeSession(s);
  }
}

void SimDouble::Core::openListeners() {
  if (!options.controlFifo.empty())
    throw std::runtime_error("--control needs a FIFO, which Windows lacks: use --stdin or --script");
  if (platform::socketStartup() != 0) throw std::runtime_error("Winsock cannot be started");
  native = std::make_shared<NativeCore>();
  native->wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  native->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  wakeWrite = 0;  // the wake event exists
  if (options.tcp4Port) {
    native->listen4 = listenTcp(false, *options.tcp4Port, port4);
    listen4 = 0;
  }
  if (options.tcp6Port) {
    native->listen6 = listenTcp(true, *options.tcp6Port, port6);
    listen6 = 0;
  }
  if (options.pipeName) {
    pipePath = platform::pipeSocketPath(*options.pipeName);
    native->pipeName = wide(*options.pipeName);
    native->firstPipe = newPipeInstance(native->pipeName);
    if (native->firstPipe == INVALID_HANDLE_VALUE)
      throw std::runtime_error(fmt::format("cannot make the pipe {}: error {}", *options.pipeName, GetLastError()));
    listenPipe = 0;
  }
  if (native->listen4 != INVALID_SOCKET)
    native->acceptors.emplace_back([this] { acceptTcp(*this, native->listen4, "tcp4"); });
  if (native->listen6 != INVALID_SOCKET)
    native->acceptors.emplace_back([this] { acceptTcp(*this, native->listen6, "tcp6"); });
  if (native->firstPipe != INVALID_HANDLE_VALUE) native->acceptors.emplace_back([this] { acceptPipe(*this); });
  stdinOpen = options.controlStdin;
  if (stdinOpen) std::thread([this] { readStdin(*this); }).detach();
}

void SimDouble::Core::wake() {
  if (native && native->wake) SetEvent(native->wake);
}

void SimDouble::Core::closeSession(Session& s) {
  if (s.dead) return;
  s.dead = true;
  NativeSession& ns = *s.native;
  if (ns.pipe) {
    FlushFileBuffers(ns.handle);
    DisconnectNamedPipe(ns.handle);
    CloseHandle(ns.handle);
    ns.handle = INVALID_HANDLE_VALUE;
  } else {
    shutdown(ns.socket, SD_BOTH);
    closesocket(ns.socket);
    ns.socket = INVALID_SOCKET;
  }
  --connected;
}

void SimDouble::Core::closeAll() {
  for (auto& s : sessions) closeSession(*s);
  sessions.clear();
  if (!native) return;
  SetEvent(native->stop);
  for (auto& t : native->acceptors)
    if (t.joinable()) t.join();
  native->acceptors.clear();
  {
    std::lock_guard lock(native->m);
    for (auto& s : native->incoming) {
      ++connected;  // counted down again by the close
      closeSession(*s);
    }
    native->incoming.clear();
  }
  for (SOCKET* l : {&native->listen4, &native->listen6}) {
    if (*l != INVALID_SOCKET) closesocket(*l);
    *l = INVALID_SOCKET;
  }
  if (native->firstPipe != INVALID_HANDLE_VALUE) CloseHandle(native->firstPipe);
  native->firstPipe = INVALID_HANDLE_VALUE;
  listen4 = listen6 = listenPipe = -1;
}

void SimDouble::Core::releaseWake() {
  if (!native) return;
  wakeWrite = -1;
  for (HANDLE* h : {&native->wake, &native->stop}) {
    if (*h) CloseHandle(*h);
    *h = nullptr;
  }
}

void SimDouble::Core::loop() {
  nextFrame = Clock::now();
  while (!stopLoop && !signalled) {
    // New clients, in the order they came.
    {
      std::vector<std::unique_ptr<Session>> fresh;
      {
        std::lock_guard lock(native->m);
        fresh.swap(native->incoming);
      }
      for (auto& s : fresh) {
        s->number = ++sessionNumbers;
        ++connected;
        ++seen;
        sessions.push_back(std::move(s));
      }
    }
    // What the clients sent, then the commands handed in from other threads.
    for (auto& s : sessions)
      if (!s->dead) takeInput(*this, *s);
    const auto until = runRound();
    if (stopLoop) break;

    auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    std::vector<HANDLE> waits{native->wake};
    for (auto& s : sessions) {
      if (s->native->pipe || s->outPos < s->out.size())
        waitMs = std::min(waitMs, kPollMs);
      else if (waits.size() < MAXIMUM_WAIT_OBJECTS)
        waits.push_back(s->native->arrived);
      else
        waitMs = std::min(waitMs, kPollMs);
    }
    const DWORD r = WaitForMultipleObjects(static_cast<DWORD>(waits.size()), waits.data(), FALSE,
                                           static_cast<DWORD>(std::max<long long>(0, waitMs)));
    if (r > WAIT_OBJECT_0 && r < WAIT_OBJECT_0 + waits.size()) WSAResetEvent(waits[r - WAIT_OBJECT_0]);
  }
  // Whatever the clients were told last (a quit message) goes out before the connections close.
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  for (auto& s : sessions) {
    writeSession(*s);
    while (!s->dead && s->outPos < s->out.size() && Clock::now() < deadline) {
      Sleep(10);
      writeSession(*s);
    }
  }
  endLoop();
}

}  // namespace amb::simdouble

#endif  // _WIN32
