// The Win32 streams: overlapped named pipes and sockets whose completions come from the thread pool.

#include "platform/pipe.hpp"
#include "platform/socket.hpp"
#include "platform/stream.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace amb {
namespace {

using platform::IoKind;

struct Completion {
  IoKind kind;
  std::uint32_t status, osError;
  std::size_t bytes;
};

thread_local bool t_inStart = false;

// Records completions, and how many of them came inside a start call (none may).
class Recorder : public platform::IoCompletionSink {
public:
  void onIoCompleted(IoKind kind, std::uint32_t status, std::uint32_t osError, std::size_t bytes) override {
    {
      std::lock_guard lock(m_mutex);
      insideStart += t_inStart;
      m_done.push_back({kind, status, osError, bytes});
    }
    if (then) then();
  }
  std::vector<Completion> done() {
    std::lock_guard lock(m_mutex);
    return m_done;
  }
  bool waitCount(std::size_t n) {
    return test::waitFor([&] { return done().size() == n; });
  }
  std::function<void()> then;
  int insideStart = 0;

private:
  std::mutex m_mutex;
  std::vector<Completion> m_done;
};

std::string uniquePipe(const char* tag) {
  static std::atomic<int> n{0};
  return "\\\\.\\pipe\\amb-test-" + std::string(tag) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(++n);
}

// The server end: one instance of a byte pipe with blocking calls (the client connects first).
class PipeServer {
public:
  explicit PipeServer(const std::string& name)
      : m_handle(CreateNamedPipeW(std::wstring(name.begin(), name.end()).c_str(), PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr)) {}
  ~PipeServer() { CloseHandle(m_handle); }
  bool ok() const { return m_handle != INVALID_HANDLE_VALUE; }
  bool accept() { return ConnectNamedPipe(m_handle, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED; }
  std::string read(std::size_t n) {
    std::string out(n, '\0');
    std::size_t got = 0;
    for (DWORD k = 0; got < n && ReadFile(m_handle, out.data() + got, static_cast<DWORD>(n - got), &k, nullptr) && k;)
      got += k;
    return out.substr(0, got);
  }
  bool write(const std::string& s) {
    DWORD k = 0;
    return WriteFile(m_handle, s.data(), static_cast<DWORD>(s.size()), &k, nullptr) && k == s.size();
  }

private:
  HANDLE m_handle;
};

// A client stream on a fresh pipe whose server accepted it.
struct PipePair {
  std::string name = uniquePipe("t");
  std::unique_ptr<PipeServer> server = std::make_unique<PipeServer>(name);
  Recorder sink;
  std::uint32_t error = 99;
  std::unique_ptr<platform::AsyncStream> stream = platform::connectPipe(name, sink, error);
  bool ready() { return server->ok() && stream && server->accept(); }
};

TEST(Win32Streams, PipeCarriesBytesBothWaysWithCompletionsOutsideTheStartCalls) {
  PipePair p;
  ASSERT_TRUE(p.ready()) << p.error;
  // A write larger than the pipe's buffer completes once, when every byte went out.
  const std::string big(200000, 'x');
  t_inStart = true;
  ASSERT_EQ(p.stream->startWrite(big.data(), big.size()), 0u);
  t_inStart = false;
  EXPECT_EQ(p.server->read(big.size()), big);
  ASSERT_TRUE(p.sink.waitCount(1));

  char buf[64] = {};
  t_inStart = true;
  ASSERT_EQ(p.stream->startRead(buf, sizeof buf), 0u);
  EXPECT_EQ(p.stream->startRead(buf, sizeof buf), platform::kErrIoPending);  // one read at a time
  t_inStart = false;
  ASSERT_TRUE(p.server->write("world"));
  ASSERT_TRUE(p.sink.waitCount(2));
  const auto done = p.sink.done();
  EXPECT_EQ(done[0].kind, IoKind::Write);
  EXPECT_EQ(done[0].bytes, big.size());
  EXPECT_EQ(done[1].status, platform::kIoSuccess);
  EXPECT_EQ(std::string(buf, done[1].bytes), "world");
  EXPECT_EQ(p.sink.insideStart, 0);
}

TEST(Win32Streams, CloseCancelsWhatIsInFlightOnceAndRefusesNewWork) {
  PipePair p;
  ASSERT_TRUE(p.ready()) << p.error;
  char buf[16];
  ASSERT_EQ(p.stream->startRead(buf, sizeof buf), 0u);
  p.stream->close();
  p.stream->close();
  ASSERT_TRUE(p.sink.waitCount(1));
  EXPECT_EQ(p.sink.done()[0].status, platform::kIoCancelled);
  EXPECT_EQ(p.stream->startRead(buf, sizeof buf), platform::kErrInvalidHandle);
  EXPECT_EQ(p.stream->startWrite("a", 1), platform::kErrInvalidHandle);
  Sleep(50);  // nothing more arrives
  EXPECT_EQ(p.sink.done().size(), 1u);
}

TEST(Win32Streams, ALostServerFailsThePendingReadAndTheSinkMayDestroyTheStream) {
  PipePair p;
  ASSERT_TRUE(p.ready()) << p.error;
  std::atomic<bool> destroyed{false};
  p.sink.then = [&] {
    p.stream.reset();  // from inside the last completion
    destroyed = true;
  };
  char buf[16];
  ASSERT_EQ(p.stream->startRead(buf, sizeof buf), 0u);
  p.server.reset();
  ASSERT_TRUE(test::waitFor([&] { return destroyed.load(); }));
  const auto done = p.sink.done();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_TRUE(done[0].status != platform::kIoSuccess && done[0].status != platform::kIoCancelled);
  EXPECT_NE(done[0].osError, 0u);
}

TEST(Win32Streams, MissingAndBusyPipesFailWithTheirErrors) {
  Recorder sink;
  std::uint32_t error = 0;
  EXPECT_EQ(platform::connectPipe(uniquePipe("none"), sink, error), nullptr);
  EXPECT_EQ(error, platform::kErrFileNotFound);
  // The only instance is taken: the next client waits for it, bounded, and gives up.
  PipePair p;
  ASSERT_TRUE(p.ready()) << p.error;
  EXPECT_EQ(platform::connectPipe(p.name, sink, error, std::chrono::milliseconds(300)), nullptr);
  EXPECT_EQ(error, platform::kErrSemTimeout);
}

TEST(Win32Streams, TcpStreamsExchangeSeeTheOrderlyEndAndARefusal) {
  ASSERT_EQ(platform::startSockets(), 0u);
  platform::Socket listener;
  ASSERT_TRUE(listener.openTcp() && listener.bindIpv4(true, 0) && listener.listen());
  Recorder sink;
  std::uint32_t error = 0;
  auto stream =
      platform::connectTcp("127.0.0.1", std::to_string(listener.localPort()), platform::IpFamily::IPv4, sink, error);
  ASSERT_NE(stream, nullptr) << error;
  platform::Socket peer;
  ASSERT_TRUE(listener.accept(peer));
  EXPECT_TRUE(stream->setNoDelay(true));
  ASSERT_EQ(stream->startWrite("ping", 4), 0u);
  char got[8] = {};
  EXPECT_EQ(peer.receive(got, 4), 4);
  EXPECT_EQ(std::string(got, 4), "ping");
  char buf[8] = {};
  ASSERT_EQ(stream->startRead(buf, sizeof buf), 0u);
  peer.close();  // the peer's orderly end is a read of 0 bytes
  ASSERT_TRUE(sink.waitCount(2));
  EXPECT_EQ(sink.done()[1].kind, IoKind::Read);
  EXPECT_EQ(sink.done()[1].status, platform::kIoSuccess);
  EXPECT_EQ(sink.done()[1].bytes, 0u);
  const std::string port = std::to_string(listener.localPort());
  listener.close();  // nobody listens on a port that was just freed
  EXPECT_EQ(platform::connectTcp("127.0.0.1", port, platform::IpFamily::IPv4, sink, error), nullptr);
  EXPECT_EQ(error, platform::kWsaConnRefused);
}

}  // namespace
}  // namespace amb

#endif  // _WIN32
