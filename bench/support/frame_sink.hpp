#pragma once
// Shared by the benchmarks of one simulator frame of position blocks: a server that only reads and
// counts, reached over TCP or over the pipe (on Linux its AF_UNIX socket), and a client connected to
// it through "SimConnect.cfg" in a private working folder. A frame is timed until its last byte has
// reached the server.

#include "platform/pipe.hpp"
#include "sim/simconnect/simconnect.hpp"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace amb::bench {

inline constexpr int kBlocksPerFrame = 500;
inline constexpr std::uint64_t kPacketSize = 100;  // one SetDataOnSimObject of a position block
inline constexpr std::uint64_t kOpenPacketSize = 296;

// Accepts one client and counts what it sends.
class Sink {
public:
  explicit Sink(bool pipe) {
    if (pipe) {
      const std::string path = platform::pipeSocketPath("\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect").string();
      ::unlink(path.c_str());
      m_listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un a{};
      a.sun_family = AF_UNIX;
      std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
      if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind");
    } else {
      m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind");
      socklen_t len = sizeof a;
      ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &len);
      m_port = ntohs(a.sin_port);
    }
    ::listen(m_listener, 4);
    m_thread = std::thread([this] {
      const int fd = ::accept(m_listener, nullptr, nullptr);
      if (fd < 0) return;
      char buf[1 << 16];
      for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        m_bytes.fetch_add(static_cast<std::uint64_t>(n), std::memory_order_release);
      }
      ::close(fd);
    });
  }
  ~Sink() {
    ::shutdown(m_listener, SHUT_RDWR);
    ::close(m_listener);
    m_thread.join();
  }
  Sink(const Sink&) = delete;
  Sink& operator=(const Sink&) = delete;
  std::uint16_t port() const { return m_port; }
  std::uint64_t bytes() const { return m_bytes.load(std::memory_order_acquire); }

private:
  int m_listener = -1;
  std::uint16_t m_port = 0;
  std::thread m_thread;
  std::atomic<std::uint64_t> m_bytes{0};
};

// Private folders for the cfg and the pipe socket, for the whole run.
inline std::filesystem::path workFolder() {
  static const std::filesystem::path dir = [] {
    const auto d = std::filesystem::temp_directory_path() / ("amb-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    ::setenv("AMBT_RUNTIME_DIR", d.c_str(), 1);
    ::setenv("AMBT_DOCUMENTS", (d / "none").c_str(), 1);
    ::setenv("AMBT_PUBLIC_DOCUMENTS", (d / "none").c_str(), 1);
    std::filesystem::current_path(d);
    return d;
  }();
  return dir;
}

// A client connected to a sink, and the frames sent to it.
class FrameRun {
public:
  FrameRun(benchmark::State& state, bool pipe) : m_state(state) {
    const auto dir = workFolder();
    std::filesystem::remove(dir / "SimConnect.cfg");
    m_sink.emplace(pipe);
    if (!pipe)
      std::ofstream(dir / "SimConnect.cfg") << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << m_sink->port()
                                            << "\n";
    if (SimConnect_Open(&m_handle, "Ambertrail_P3D", nullptr, 0, nullptr, 0) != kSimOk) {
      m_handle = nullptr;
      state.SkipWithError("cannot connect to the sink");
    }
  }
  ~FrameRun() {
    if (m_handle) SimConnect_Close(m_handle);
  }
  FrameRun(const FrameRun&) = delete;
  FrameRun& operator=(const FrameRun&) = delete;

  SimHandle handle() const { return m_handle; }
  // Waits until the sink has every byte of the frames so far.
  void waitForFrame() {
    m_expected += kBlocksPerFrame * kPacketSize;
    while (m_sink->bytes() < m_expected) std::this_thread::yield();
  }
  // Bytes and blocks per second, and the microseconds per frame the caller was held.
  void report(const char* counter, double heldSeconds) {
    const auto frames = static_cast<std::int64_t>(m_state.iterations());
    m_state.counters[counter] = heldSeconds * 1e6 / static_cast<double>(std::max<std::int64_t>(1, frames));
    m_state.SetBytesProcessed(frames * kBlocksPerFrame * static_cast<std::int64_t>(kPacketSize));
    m_state.SetItemsProcessed(frames * kBlocksPerFrame);
    m_state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  }

private:
  benchmark::State& m_state;
  std::optional<Sink> m_sink;
  SimHandle m_handle = nullptr;
  std::uint64_t m_expected = kOpenPacketSize;
};

}  // namespace amb::bench
