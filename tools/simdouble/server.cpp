// The double's loop: listeners, client sockets, the control channel and the timers, all on one thread.

#include "platform/pipe.hpp"
#include "tools/simdouble/core.hpp"
#include "tools/tracemap/tracemap.hpp"

#ifndef _WIN32
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace amb::simdouble {

// The loop over POSIX sockets; the Windows build has its own in server_win32.cpp.
#ifndef _WIN32
namespace {

[[noreturn]] void fail(const std::string& what) { throw std::runtime_error(fmt::format("{}: {}", what, std::strerror(errno))); }

void setNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

int listenTcp(bool v6, std::uint16_t port, std::uint16_t& bound) {
  const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) fail("socket");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  int rc;
  if (v6) {
    ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    a.sin6_port = htons(port);
    rc = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  } else {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    rc = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  if (rc != 0 || ::listen(fd, 16) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    fail(fmt::format("cannot listen on TCP{} port {}", v6 ? "v6" : "v4", port));
  }
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len);
  bound = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port : reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
  setNonBlocking(fd);
  return fd;
}

int listenUnix(const std::filesystem::path& path) {
  sockaddr_un a{};
  const std::string p = path.string();
  if (p.size() >= sizeof a.sun_path) throw std::runtime_error("pipe socket path too long: " + p);
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, p.c_str(), p.size() + 1);
  ::unlink(p.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) fail("socket");
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    fail("cannot listen on " + p);
  }
  setNonBlocking(fd);
  return fd;
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

}  // namespace

// ---- the loop ----

void SimDouble::Core::openListeners() {
  if (options.tcp4Port) listen4 = listenTcp(false, *options.tcp4Port, port4);
  if (options.tcp6Port) listen6 = listenTcp(true, *options.tcp6Port, port6);
  if (options.pipeName) {
    pipePath = platform::pipeSocketPath(*options.pipeName);
    listenPipe = listenUnix(pipePath);
  }
  int p[2];
  if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0) fail("pipe");
  wakeRead = p[0];
  wakeWrite = p[1];
  if (!options.controlFifo.empty()) {
    const std::string f = options.controlFifo.string();
    if (::mkfifo(f.c_str(), 0600) != 0 && errno != EEXIST) fail("mkfifo " + f);
    controlFd = ::open(f.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (controlFd < 0) fail("open " + f);
    controlWriter = ::open(f.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  }
  stdinOpen = options.controlStdin;
}

void SimDouble::Core::wake() {
  const char c = 1;
  [[maybe_unused]] auto n = ::write(wakeWrite, &c, 1);
}

void SimDouble::Core::closeSession(Session& s) {
  if (s.dead) return;
  s.dead = true;
  ::shutdown(s.fd, SHUT_RDWR);
  closeFd(s.fd);
  --connected;
}

void SimDouble::Core::closeAll() {
  for (auto& s : sessions) closeSession(*s);
  sessions.clear();
  closeFd(listen4);
  closeFd(listen6);
  if (listenPipe >= 0) {
    closeFd(listenPipe);
    ::unlink(pipePath.c_str());
  }
  closeFd(controlFd);
  closeFd(controlWriter);
}

namespace {

void acceptAll(SimDouble::Core& c, int listener, const char* via) {
  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    auto s = std::make_unique<Session>();
    s->fd = fd;
    s->number = ++c.sessionNumbers;
    s->via = via;
    c.sessions.push_back(std::move(s));
    ++c.connected;
    ++c.seen;
  }
}

void readSession(SimDouble::Core& c, Session& s) {
  std::uint8_t buf[65536];
  bool ended = false;
  for (;;) {
    const ssize_t n = ::recv(s.fd, buf, sizeof buf, 0);
    if (n > 0) {
      s.in.insert(s.in.end(), buf, buf + n);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0 && errno == EINTR) continue;
    ended = true;  // the client closed or failed; what it sent before still counts
    break;
  }
  c.takePackets(s, ended);
}

}  // namespace

void SimDouble::Core::writeSession(Session& s) {
  while (!s.dead && s.outPos < s.out.size()) {
    const ssize_t n = ::send(s.fd, s.out.data() + s.outPos, s.out.size() - s.outPos, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      s.outPos += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    closeSession(s);
    return;
  }
  if (s.outPos == s.out.size()) {
    s.out.clear();
    s.outPos = 0;
    if (s.closeWhenWritten) closeSession(s);
  } else if (s.out.size() - s.outPos > kMaxPendingOutput) {
    closeSession(s);  // the client stopped reading
  }
}

namespace {


// Reads lines from a descriptor into buf and runs every complete one; false at end of file.
bool readCommands(SimDouble::Core& c, int fd, std::string& buf) {
  char chunk[4096];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n > 0) {
      buf.append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    const bool open = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    std::size_t nl;
    while ((nl = buf.find('\n')) != std::string::npos) {
      std::string line = buf.substr(0, nl);
      buf.erase(0, nl + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      c.runAndReport(line);
    }
    return open;
  }
}

}  // namespace

void SimDouble::Core::loop() {
  nextFrame = Clock::now();
  while (!stopLoop && !signalled) {
    const auto until = runRound();
    if (stopLoop) break;

    // Sleep until the next frame, periodic answer or scheduled command, or until something arrives.
    const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    std::vector<pollfd> fds;
    fds.push_back({wakeRead, POLLIN, 0});
    if (listen4 >= 0) fds.push_back({listen4, POLLIN, 0});
    if (listen6 >= 0) fds.push_back({listen6, POLLIN, 0});
    if (listenPipe >= 0) fds.push_back({listenPipe, POLLIN, 0});
    if (controlFd >= 0) fds.push_back({controlFd, POLLIN, 0});
    if (stdinOpen) fds.push_back({0, POLLIN, 0});
    const std::size_t firstSession = fds.size();
    for (auto& s : sessions)
      fds.push_back({s->fd, static_cast<short>(POLLIN | (s->outPos < s->out.size() ? POLLOUT : 0)), 0});
    const int n = ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, waitMs)));
    if (n <= 0) continue;

    for (std::size_t i = 0; i < firstSession; ++i) {
      if (fds[i].revents == 0) continue;
      const int fd = fds[i].fd;
      if (fd == wakeRead) {
        char buf[256];
        while (::read(wakeRead, buf, sizeof buf) > 0) {
        }
      } else if (fd == listen4) {
        acceptAll(*this, listen4, "tcp4");
      } else if (fd == listen6) {
        acceptAll(*this, listen6, "tcp6");
      } else if (fd == listenPipe) {
        acceptAll(*this, listenPipe, "pipe");
      } else if (fd == controlFd) {
        readCommands(*this, controlFd, controlBuffer);
      } else if (fd == 0) {
        stdinOpen = readCommands(*this, 0, stdinBuffer);
      }
    }
    for (std::size_t i = firstSession; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      Session* s = nullptr;
      for (auto& x : sessions)
        if (x->fd == fds[i].fd && !x->dead) s = x.get();
      if (!s) continue;
      if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) readSession(*this, *s);
      if (!s->dead && (fds[i].revents & POLLOUT)) writeSession(*s);
    }
  }
  // Whatever the clients were told last (a quit message) goes out before the connections close.
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  for (auto& s : sessions) {
    while (!s->dead && s->outPos < s->out.size() && Clock::now() < deadline) {
      writeSession(*s);
      if (!s->dead && s->outPos < s->out.size()) {
        pollfd p{s->fd, POLLOUT, 0};
        ::poll(&p, 1, 50);
      }
    }
  }
  endLoop();
}

void SimDouble::Core::releaseWake() {
  closeFd(wakeRead);
  closeFd(wakeWrite);
}
#endif  // !_WIN32

// ---- shared by both loops ----

void SimDouble::Core::takePackets(Session& s, bool ended) {
  std::size_t at = 0;
  while (s.in.size() - at >= 4 && !s.dead) {
    const std::uint32_t size = sc::getU32(s.in.data() + at);
    if (size < sc::kSendHeaderSize || size > kMaxClientPacket) {
      if (packetLog.is_open()) packetLog << fmt::format("session={} protocol error: packet size {}\n", s.number, size);
      closeSession(s);
      return;
    }
    if (s.in.size() - at < size) break;
    onPacket(s, s.in.data() + at, size);
    at += size;
  }
  s.in.erase(s.in.begin(), s.in.begin() + static_cast<std::ptrdiff_t>(at));
  if (ended) closeSession(s);
}

Clock::time_point SimDouble::Core::runRound() {
  // Commands handed in from other threads.
  std::deque<std::string> todo;
  {
    std::lock_guard lock(mutex);
    todo.swap(queued);
  }
  for (const auto& line : todo) runAndReport(line);

  const auto now = Clock::now();
  // Scheduled commands in the order they fall due.
  std::stable_sort(scheduled.begin(), scheduled.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  while (!scheduled.empty() && scheduled.front().first <= now) {
    const std::string line = scheduled.front().second;
    scheduled.erase(scheduled.begin());
    runAndReport(line);
  }
  const bool frames = scenario.running && scenario.frameRate > 0;
  const auto framePeriod = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(frames ? 1.0 / scenario.frameRate : 1.0));
  bool frameTick = false;
  if (frames && now >= nextFrame) {
    sendFrames(1);
    frameTick = true;
    nextFrame += framePeriod;
    if (nextFrame <= now) nextFrame = now + framePeriod;  // never a burst of late frames
  }
  sendPeriodic(now, frameTick);

  for (auto& s : sessions) writeSession(*s);
  std::erase_if(sessions, [](const std::unique_ptr<Session>& s) { return s->dead; });

  // The next frame, periodic answer or scheduled command.
  auto until = now + std::chrono::seconds(1);
  if (frames) until = std::min(until, nextFrame);
  if (!scheduled.empty()) until = std::min(until, scheduled.front().first);
  for (auto& s : sessions)
    for (auto& r : s->periodic)
      if (r.period == sc::kPeriodSecond && scenario.running) until = std::min(until, r.next);
  return until;
}

void SimDouble::Core::endLoop() {
  closeAll();
  if (!options.svg.empty()) {
    std::string error;
    if (!writeMap(options.svg, options.reported, error)) std::cerr << "amb_simdouble: " << error << std::endl;
  }
  finished = true;
}

bool SimDouble::Core::writeMap(const std::filesystem::path& svg, const std::filesystem::path& reported,
                               std::string& error) {
  if (options.trace.empty()) {
    error = "a map needs the trace (--trace)";
    return false;
  }
  return tracemap::writeSvg(options.trace, reported, svg, error);
}


// ---- SimDouble ----

SimDouble::SimDouble(Options options) : m_core(std::make_unique<Core>()) { m_core->options = std::move(options); }

SimDouble::~SimDouble() {
  stop();
  m_core->releaseWake();
}

void SimDouble::open() {
  Core& c = *m_core;
  c.openListeners();
  if (!c.options.packetLog.empty()) {
    c.packetLog.open(c.options.packetLog, std::ios::trunc);
    if (!c.packetLog) throw std::runtime_error("cannot write the packet log " + c.options.packetLog.string());
  }
  if (!c.options.trace.empty() && !c.trace.open(c.options.trace))
    throw std::runtime_error("cannot write the trace " + c.options.trace.string());
  for (const auto& line : c.options.commands) {
    std::string error;
    if (!c.runCommand(line, error)) throw std::runtime_error(line + ": " + error);
    ++c.commandsDone;
  }
  if (!c.options.portFile.empty()) {
    const auto tmp = c.options.portFile.string() + ".tmp";
    {
      std::ofstream out(tmp, std::ios::trunc);
      if (c.listen4 >= 0) out << "tcp4 " << c.port4 << '\n';
      if (c.listen6 >= 0) out << "tcp6 " << c.port6 << '\n';
      if (c.listenPipe >= 0) out << "pipe " << c.pipePath.string() << '\n';
    }
    std::filesystem::rename(tmp, c.options.portFile);
  }
}

void SimDouble::start() {
  m_core->thread = std::thread([this] { m_core->loop(); });
}

int SimDouble::run() {
  m_core->loop();
  return m_core->exitCode;
}

void SimDouble::stop() {
  Core& c = *m_core;
  if (c.thread.joinable()) {
    command("exit");
    c.thread.join();
  } else if (!c.finished) {
    c.closeAll();
  }
}

void SimDouble::command(const std::string& line) {
  {
    std::lock_guard lock(m_core->mutex);
    m_core->queued.push_back(line);
  }
  if (m_core->wakeWrite >= 0) m_core->wake();
}

void SimDouble::stopFromSignal() {
  m_core->signalled = true;
  if (m_core->wakeWrite >= 0) m_core->wake();
}

std::uint16_t SimDouble::tcp4Port() const { return m_core->port4; }
std::uint16_t SimDouble::tcp6Port() const { return m_core->port6; }
std::filesystem::path SimDouble::pipeSocket() const { return m_core->pipePath; }

std::vector<LoggedPacket> SimDouble::packets() const {
  std::lock_guard lock(m_core->mutex);
  return m_core->packets;
}

std::size_t SimDouble::connectedClients() const { return m_core->connected.load(); }
std::size_t SimDouble::clientsSeen() const { return m_core->seen.load(); }
std::size_t SimDouble::commandsDone() const { return m_core->commandsDone.load(); }
bool SimDouble::finished() const { return m_core->finished.load(); }

// ---- the program's arguments ----

std::string usageText() {
  return "usage: amb_simdouble [options]\n"
         "  --tcp4 PORT         listen on 127.0.0.1:PORT (0: any free port)\n"
         "  --tcp6 PORT         listen on [::1]:PORT (0: any free port)\n"
         "  --pipe [NAME]       listen on the named pipe (default the simulator's)\n"
         "  --packet-log FILE   one line per received packet\n"
         "  --trace FILE        CSV of the AI objects' positions and events\n"
         "  --svg FILE          at the end, an SVG map of the trace (needs --trace)\n"
         "  --reported CSV      positions a traffic source reported, drawn on the map\n"
         "  --script FILE       commands, one per line, run at start ('#' starts a comment)\n"
         "  --set COMMAND       one command run at start (repeatable)\n"
         "  --control FIFO      commands while running (created when missing)\n"
         "  --stdin             commands from standard input while running\n"
         "  --port-file FILE    written when listening: tcp4 N / tcp6 N / pipe PATH\n"
         "commands:\n" +
         commandHelp();
}

bool parseArguments(int argc, char** argv, Options& o, std::string& error) {
  auto port = [&](const std::string& s, std::optional<std::uint16_t>& out) {
    char* end = nullptr;
    const long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end != '\0' || v < 0 || v > 65535) {
      error = "bad port: " + s;
      return false;
    }
    out = static_cast<std::uint16_t>(v);
    return true;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = a + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--tcp4" || a == "--tcp6") {
      if (!next(v) || !port(v, a == "--tcp4" ? o.tcp4Port : o.tcp6Port)) return false;
    } else if (a == "--pipe") {
      o.pipeName = kDefaultPipeName;
      if (i + 1 < argc && argv[i + 1][0] != '-') o.pipeName = argv[++i];
    } else if (a == "--packet-log") {
      if (!next(v)) return false;
      o.packetLog = v;
    } else if (a == "--trace") {
      if (!next(v)) return false;
      o.trace = v;
    } else if (a == "--svg") {
      if (!next(v)) return false;
      o.svg = v;
    } else if (a == "--reported") {
      if (!next(v)) return false;
      o.reported = v;
    } else if (a == "--control") {
      if (!next(v)) return false;
      o.controlFifo = v;
    } else if (a == "--stdin") {
      o.controlStdin = true;
    } else if (a == "--port-file") {
      if (!next(v)) return false;
      o.portFile = v;
    } else if (a == "--set") {
      if (!next(v)) return false;
      o.commands.push_back(v);
    } else if (a == "--script") {
      if (!next(v)) return false;
      std::ifstream in(v);
      if (!in) {
        error = "cannot read " + v;
        return false;
      }
      for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        o.commands.push_back(line);
      }
    } else {
      error = "unknown argument: " + a;
      return false;
    }
  }
  if (!o.tcp4Port && !o.tcp6Port && !o.pipeName) error = "nothing to listen on: give --tcp4, --tcp6 or --pipe";
  return error.empty();
}

}  // namespace amb::simdouble
