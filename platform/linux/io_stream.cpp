#include "platform/linux/io_stream.hpp"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace amb::platform::posix_io {

std::uint32_t wsaFromErrno(int e) {
  switch (e) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE: return 10024;
    case EWOULDBLOCK: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EMSGSIZE: return 10040;
    case EPROTONOSUPPORT: return 10043;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case EPIPE: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return static_cast<std::uint32_t>(e);
  }
}

std::uint32_t statusFromErrno(int e) {
  switch (e) {
    case ECONNRESET: return kIoConnectionReset;
    case EPIPE: return kIoPipeBroken;
    case ENOTCONN:
    case ESHUTDOWN: return kIoRemoteDisconnect;
    default: return kIoUnsuccessful;
  }
}

namespace {

thread_local bool t_onIoThread = false;

struct Channel;

struct Completion {
  std::shared_ptr<Channel> channel;
  IoKind kind;
  std::uint32_t status;
  std::uint32_t osError;
  std::size_t bytes;
};

// Everything a stream shares with the I/O thread. Every use of the descriptor happens under m.
struct Channel {
  std::mutex m;
  int fd = -1;
  bool tcp = false;
  std::uint64_t id = 0;
  IoCompletionSink* sink = nullptr;
  bool closed = false;

  bool readPending = false;
  std::uint8_t* readBuf = nullptr;
  std::size_t readSize = 0;

  bool writePending = false;
  const std::uint8_t* writeBuf = nullptr;
  std::size_t writeSize = 0;
  std::size_t writeDone = 0;
};

class Reactor {
public:
  static Reactor& instance() {
    static Reactor r;
    return r;
  }

  std::uint64_t add(const std::shared_ptr<Channel>& ch) {
    std::lock_guard lock(m_mutex);
    const std::uint64_t id = m_nextId++;
    m_channels.emplace(id, ch);
    return id;
  }

  void watch(int fd, std::uint64_t id) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;
    ev.data.u64 = id;
    ::epoll_ctl(m_ep, EPOLL_CTL_ADD, fd, &ev);
  }

  void unwatch(int fd) { ::epoll_ctl(m_ep, EPOLL_CTL_DEL, fd, nullptr); }

  void remove(std::uint64_t id) {
    std::lock_guard lock(m_mutex);
    m_channels.erase(id);
  }

  void post(std::vector<Completion>& done) {
    if (done.empty()) return;
    bool wake;
    {
      std::lock_guard lock(m_mutex);
      for (auto& c : done) m_posted.push_back(std::move(c));
      // Only a sleeping I/O thread needs the wake-up; an awake one takes the queue before it sleeps.
      wake = m_sleeping;
      m_sleeping = false;
    }
    done.clear();
    if (wake && !t_onIoThread) {
      const std::uint64_t one = 1;
      [[maybe_unused]] auto n = ::write(m_wake, &one, sizeof one);
    }
  }

private:
  Reactor() {
    m_ep = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = 0;
    ::epoll_ctl(m_ep, EPOLL_CTL_ADD, m_wake, &ev);
    m_thread = std::thread([this] {
      t_onIoThread = true;
      loop();
    });
  }

  ~Reactor() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(m_wake, &one, sizeof one);
    if (m_thread.joinable()) m_thread.join();
    ::close(m_wake);
    ::close(m_ep);
  }

  void deliverPosted() {
    for (;;) {
      Completion c;
      {
        std::lock_guard lock(m_mutex);
        if (m_posted.empty()) return;
        c = std::move(m_posted.front());
        m_posted.pop_front();
      }
      IoCompletionSink* sink;
      {
        std::lock_guard lock(c.channel->m);
        sink = c.channel->sink;
      }
      if (sink) sink->onIoCompleted(c.kind, c.status, c.osError, c.bytes);
    }
  }

  void loop();

  int m_ep = -1;
  int m_wake = -1;
  std::mutex m_mutex;
  std::unordered_map<std::uint64_t, std::weak_ptr<Channel>> m_channels;
  std::deque<Completion> m_posted;
  std::uint64_t m_nextId = 1;
  std::atomic<bool> m_stop{false};
  bool m_sleeping = false;  // guarded by m_mutex
  std::thread m_thread;
};

// Both try* run with ch.m held and append what completed.
void tryRead(const std::shared_ptr<Channel>& ch, std::vector<Completion>& out) {
  Channel& c = *ch;
  for (;;) {
    const ssize_t n = ::recv(c.fd, c.readBuf, c.readSize, MSG_DONTWAIT);
    if (n >= 0) {
      c.readPending = false;
      out.push_back({ch, IoKind::Read, kIoSuccess, 0, static_cast<std::size_t>(n)});
      return;
    }
    const int e = errno;
    if (e == EINTR) continue;
    if (e == EAGAIN || e == EWOULDBLOCK) return;
    c.readPending = false;
    out.push_back({ch, IoKind::Read, statusFromErrno(e), wsaFromErrno(e), 0});
    return;
  }
}

void tryWrite(const std::shared_ptr<Channel>& ch, std::vector<Completion>& out) {
  Channel& c = *ch;
  while (c.writeDone < c.writeSize) {
    const ssize_t n = ::send(c.fd, c.writeBuf + c.writeDone, c.writeSize - c.writeDone, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
      c.writeDone += static_cast<std::size_t>(n);
      continue;
    }
    const int e = errno;
    if (e == EINTR) continue;
    if (e == EAGAIN || e == EWOULDBLOCK) return;
    c.writePending = false;
    out.push_back({ch, IoKind::Write, statusFromErrno(e), wsaFromErrno(e), c.writeDone});
    return;
  }
  c.writePending = false;
  out.push_back({ch, IoKind::Write, kIoSuccess, 0, c.writeSize});
}

void Reactor::loop() {
  std::vector<epoll_event> events(64);
  std::vector<Completion> done;
  while (!m_stop) {
    deliverPosted();
    {
      std::lock_guard lock(m_mutex);
      if (!m_posted.empty()) continue;
      m_sleeping = true;
    }
    const int n = ::epoll_wait(m_ep, events.data(), static_cast<int>(events.size()), -1);
    {
      std::lock_guard lock(m_mutex);
      m_sleeping = false;
    }
    if (n < 0) continue;  // EINTR
    for (int i = 0; i < n; ++i) {
      const std::uint64_t id = events[static_cast<std::size_t>(i)].data.u64;
      if (id == 0) {
        std::uint64_t v;
        [[maybe_unused]] auto r = ::read(m_wake, &v, sizeof v);
        continue;
      }
      std::shared_ptr<Channel> ch;
      {
        std::lock_guard lock(m_mutex);
        auto it = m_channels.find(id);
        if (it != m_channels.end()) ch = it->second.lock();
      }
      if (!ch) continue;
      {
        std::lock_guard lock(ch->m);
        if (ch->closed) continue;
        if (ch->readPending) tryRead(ch, done);
        if (ch->writePending) tryWrite(ch, done);
      }
      post(done);
    }
  }
}

class PosixStream final : public AsyncStream {
public:
  PosixStream(int fd, bool tcp, IoCompletionSink& sink) : m_ch(std::make_shared<Channel>()) {
    m_ch->fd = fd;
    m_ch->tcp = tcp;
    m_ch->sink = &sink;
    m_ch->id = Reactor::instance().add(m_ch);
    Reactor::instance().watch(fd, m_ch->id);
  }

  ~PosixStream() override {
    close();
    {
      std::lock_guard lock(m_ch->m);
      m_ch->sink = nullptr;
    }
    Reactor::instance().remove(m_ch->id);
  }

  std::uint32_t startRead(void* buffer, std::size_t size) override {
    std::vector<Completion> done;
    {
      std::lock_guard lock(m_ch->m);
      if (m_ch->closed) return kErrInvalidHandle;
      if (m_ch->readPending) return kErrIoPending;
      m_ch->readPending = true;
      m_ch->readBuf = static_cast<std::uint8_t*>(buffer);
      m_ch->readSize = size;
      tryRead(m_ch, done);
    }
    Reactor::instance().post(done);
    return 0;
  }

  std::uint32_t startWrite(const void* buffer, std::size_t size) override {
    std::vector<Completion> done;
    {
      std::lock_guard lock(m_ch->m);
      if (m_ch->closed) return kErrInvalidHandle;
      if (m_ch->writePending) return kErrIoPending;
      m_ch->writePending = true;
      m_ch->writeBuf = static_cast<const std::uint8_t*>(buffer);
      m_ch->writeSize = size;
      m_ch->writeDone = 0;
      tryWrite(m_ch, done);
    }
    Reactor::instance().post(done);
    return 0;
  }

  void close() override {
    std::vector<Completion> done;
    {
      std::lock_guard lock(m_ch->m);
      if (m_ch->closed) return;
      m_ch->closed = true;
      Reactor::instance().unwatch(m_ch->fd);
      ::shutdown(m_ch->fd, SHUT_RDWR);
      ::close(m_ch->fd);
      m_ch->fd = -1;
      if (m_ch->readPending) {
        m_ch->readPending = false;
        done.push_back({m_ch, IoKind::Read, kIoCancelled, 995, 0});
      }
      if (m_ch->writePending) {
        m_ch->writePending = false;
        done.push_back({m_ch, IoKind::Write, kIoCancelled, 995, m_ch->writeDone});
      }
    }
    Reactor::instance().post(done);
  }

  bool setNoDelay(bool on) override {
    std::lock_guard lock(m_ch->m);
    if (!m_ch->tcp || m_ch->closed) return false;
    const int v = on ? 1 : 0;
    return ::setsockopt(m_ch->fd, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v) == 0;
  }

private:
  std::shared_ptr<Channel> m_ch;
};

}  // namespace

std::unique_ptr<AsyncStream> makeStream(int fd, bool tcp, IoCompletionSink& sink) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  return std::make_unique<PosixStream>(fd, tcp, sink);
}

}  // namespace amb::platform::posix_io
