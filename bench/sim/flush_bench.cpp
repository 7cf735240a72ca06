// One simulator frame of the "SimClient" thread with 500 live aircraft: the engine appends 500
// position blocks and hands them over, the flush sends them (500 SetDataOnSimObject packets of 100
// bytes). Timed until the last byte has reached the server, over TCP and over the pipe (on Linux its
// AF_UNIX socket); the server only reads and counts. Also reported: how long the flush itself holds
// the SimClient thread and the command lock.

#include "platform/pipe.hpp"
#include "sim/link.hpp"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

constexpr int kBlocksPerFrame = 500;
constexpr std::uint64_t kPacketSize = 100;

// Accepts one client and counts what it sends.
class Sink {
public:
  explicit Sink(bool pipe) {
    if (pipe) {
      const std::string path =
          amb::platform::pipeSocketPath("\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect").string();
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
  std::uint16_t port() const { return m_port; }
  std::uint64_t bytes() const { return m_bytes.load(std::memory_order_acquire); }

private:
  int m_listener = -1;
  std::uint16_t m_port = 0;
  std::thread m_thread;
  std::atomic<std::uint64_t> m_bytes{0};
};

// Private folders for the cfg and the pipe socket, for the whole run.
fs::path workFolder() {
  static const fs::path dir = [] {
    const fs::path d = fs::temp_directory_path() / ("amb-simbench-" + std::to_string(::getpid()));
    fs::create_directories(d);
    ::setenv("AMBT_RUNTIME_DIR", d.c_str(), 1);
    ::setenv("AMBT_DOCUMENTS", (d / "none").c_str(), 1);
    ::setenv("AMBT_PUBLIC_DOCUMENTS", (d / "none").c_str(), 1);
    fs::current_path(d);
    return d;
  }();
  return dir;
}

void frameOf500Positions(benchmark::State& state, bool pipe) {
  const fs::path dir = workFolder();
  fs::remove(dir / "SimConnect.cfg");
  Sink sink(pipe);
  if (!pipe)
    std::ofstream(dir / "SimConnect.cfg") << "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" << sink.port() << "\n";
  amb::gf_resetSimLink(5);
  amb::gf_resetSimQueues(5);
  amb::SimHandle h = nullptr;
  if (amb::SimConnect_Open(&h, "Ambertrail_P3D", nullptr, 0, nullptr, 0) != amb::kSimOk) {
    state.SkipWithError("cannot connect to the sink");
    return;
  }
  amb::g_hSimConnect = h;
  amb::g_userObjectId = 1;
  amb::g_simFrameRate = 60.0f;

  std::uint64_t expected = 296;  // the open packet
  amb::PosUpdate update;
  update.block = {40.6413, -73.7781, 0.01, 0.0, 1.2, 13, 0, 0};
  double flushSeconds = 0;
  for (auto _ : state) {
    // The engine's side of one cycle.
    for (int i = 0; i < kBlocksPerFrame; ++i) {
      update.block.latitude += 1e-7;
      update.objectId = static_cast<std::uint32_t>(3 + i);
      amb::gf_updateAircraft(update);
    }
    amb::gf_handOverPositions();
    // The SimClient thread's side of one frame.
    const auto start = std::chrono::steady_clock::now();
    amb::lf_flushSimCommands();
    flushSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    expected += kBlocksPerFrame * kPacketSize;
    while (sink.bytes() < expected) std::this_thread::yield();
  }
  const double frames = static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
  state.counters["flush_us_per_frame"] = flushSeconds * 1e6 / frames;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBlocksPerFrame * kPacketSize);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kBlocksPerFrame);
  amb::g_hSimConnect = nullptr;
  amb::SimConnect_Close(h);
  amb::gf_resetSimLink(5);
}

void BM_SimClientFlushOf500PositionsTcp(benchmark::State& state) { frameOf500Positions(state, false); }
void BM_SimClientFlushOf500PositionsPipe(benchmark::State& state) { frameOf500Positions(state, true); }

BENCHMARK(BM_SimClientFlushOf500PositionsTcp)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SimClientFlushOf500PositionsPipe)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
