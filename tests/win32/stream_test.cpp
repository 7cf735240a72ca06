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
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace amb {
namespace {

using platform::IoKind;

struct Completion {
  IoKind kind;
  std::uint32_t status;
  std::uint32_t osError;
  std::size_t bytes;
};

thread_local bool t_inStart = false;

class Recorder : public platform::IoCompletionSink {
public:
  void onIoCompleted(IoKind kind, std::uint32_t status, std::uint32_t osError, std::size_t bytes) override {
    std::lock_guard lock(m_mutex);
    if (t_inStart) ++m_insideStart;
    m_done.push_back({kind, status, osError, bytes});
    if (m_onCompletion) m_onCompletion();
  }
  std::vector<Completion> done() {
    std::lock_guard lock(m_mutex);
    return m_done;
  }
  std::size_t count() { return done().size(); }
  int insideStart() {
    std::lock_guard lock(m_mutex);
    return m_insideStart;
  }
  std::function<void()> m_onCompletion;

private:
  std::mutex m_mutex;
  std::vector<Completion> m_done;
  int m_insideStart = 0;
};

std::string uniquePipe(const char* tag) {
  static std::atomic<int> n{0};
  return "\\\\.\\pipe\\amb-test-" + std::string(tag) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(++n);
}

// The server end: one instance of an overlapped byte pipe.
class PipeServer {
public:
  explicit PipeServer(const std::string& name, DWORD instances = 1) {
    const std::wstring w(name.begin(), name.end());
    m_handle = CreateNamedPipeW(w.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, instances, 65536, 65536, 0, nullptr);
    m_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~PipeServer() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    CloseHandle(m_event);
  }
  bool ok() const { return m_handle != INVALID_HANDLE_VALUE; }
  bool accept() {
    OVERLAPPED ov{};
    ov.hEvent = m_event;
    if (ConnectNamedPipe(m_handle, &ov)) return true;
    const DWORD e = GetLastError();
    if (e == ERROR_PIPE_CONNECTED) return true;
    if (e != ERROR_IO_PENDING) return false;
    DWORD n = 0;
    if (WaitForSingleObject(m_event, 10000) != WAIT_OBJECT_0) {
      CancelIoEx(m_handle, &ov);
      GetOverlappedResult(m_handle, &ov, &n, TRUE);
      return false;
    }
    return GetOverlappedResult(m_handle, &ov, &n, FALSE) != FALSE;
  }
  std::string read(std::size_t n) {
    std::string out(n, '\0');
    std::size_t got = 0;
    while (got < n) {
      OVERLAPPED ov{};
      ov.hEvent = m_event;
      DWORD k = 0;
      if (!ReadFile(m_handle, out.data() + got, static_cast<DWORD>(n - got), nullptr, &ov) &&
          GetLastError() != ERROR_IO_PENDING)
        break;
      if (!GetOverlappedResult(m_handle, &ov, &k, TRUE) || k == 0) break;
      got += k;
    }
    out.resize(got);
    return out;
  }
  bool write(const std::string& s) {
    OVERLAPPED ov{};
    ov.hEvent = m_event;
    DWORD k = 0;
    if (!WriteFile(m_handle, s.data(), static_cast<DWORD>(s.size()), nullptr, &ov) && GetLastError() != ERROR_IO_PENDING)
      return false;
    return GetOverlappedResult(m_handle, &ov, &k, TRUE) && k == s.size();
  }
  void disconnect() { DisconnectNamedPipe(m_handle); }

private:
  HANDLE m_handle = INVALID_HANDLE_VALUE;
  HANDLE m_event = nullptr;
};

TEST(Win32Streams, PipeCarriesBytesBothWaysWithCompletionsOutsideTheStartCalls) {
  const std::string name = uniquePipe("trip");
  PipeServer server(name);
  ASSERT_TRUE(server.ok());
  Recorder sink;
  std::uint32_t error = 99;
  auto stream = platform::connectPipe(name, sink, error);
  ASSERT_NE(stream, nullptr) << error;
  EXPECT_EQ(error, 0u);
  ASSERT_TRUE(server.accept());

  // A write larger than the pipe's buffer completes once, when every byte went out.
  const std::string big(200000, 'x');
  t_inStart = true;
  ASSERT_EQ(stream->startWrite(big.data(), big.size()), 0u);
  t_inStart = false;
  EXPECT_EQ(server.read(big.size()), big);
  ASSERT_TRUE(test::waitFor([&] { return sink.count() == 1; }));

  char buf[64] = {};
  t_inStart = true;
  ASSERT_EQ(stream->startRead(buf, sizeof buf), 0u);
  EXPECT_EQ(stream->startRead(buf, sizeof buf), platform::kErrIoPending);  // one read at a time
  t_inStart = false;
  ASSERT_TRUE(server.write("world"));
  ASSERT_TRUE(test::waitFor([&] { return sink.count() == 2; }));
  const auto done = sink.done();
  EXPECT_EQ(done[0].kind, IoKind::Write);
  EXPECT_EQ(done[0].status, platform::kIoSuccess);
  EXPECT_EQ(done[0].bytes, big.size());
  EXPECT_EQ(done[1].kind, IoKind::Read);
  EXPECT_EQ(done[1].status, platform::kIoSuccess);
  EXPECT_EQ(std::string(buf, done[1].bytes), "world");
  EXPECT_EQ(sink.insideStart(), 0);
  EXPECT_FALSE(stream->setNoDelay(true));  // no socket
}

TEST(Win32Streams, CloseCancelsWhatIsInFlightOnceAndRefusesNewWork) {
  const std::string name = uniquePipe("close");
  PipeServer server(name);
  ASSERT_TRUE(server.ok());
  Recorder sink;
  std::uint32_t error = 0;
  auto stream = platform::connectPipe(name, sink, error);
  ASSERT_NE(stream, nullptr) << error;
  ASSERT_TRUE(server.accept());
  char buf[16];
  ASSERT_EQ(stream->startRead(buf, sizeof buf), 0u);
  stream->close();
  stream->close();
  ASSERT_TRUE(test::waitFor([&] { return sink.count() == 1; }));
  const auto done = sink.done();
  EXPECT_EQ(done[0].status, platform::kIoCancelled);
  EXPECT_EQ(done[0].bytes, 0u);
  EXPECT_EQ(stream->startRead(buf, sizeof buf), platform::kErrInvalidHandle);
  EXPECT_EQ(stream->startWrite("a", 1), platform::kErrInvalidHandle);
  // Nothing more arrives.
  Sleep(50);
  EXPECT_EQ(sink.count(), 1u);
}

TEST(Win32Streams, ALostServerFailsThePendingReadAndTheSinkMayDestroyTheStream) {
  const std::string name = uniquePipe("lost");
  auto server = std::make_unique<PipeServer>(name);
  ASSERT_TRUE(server->ok());
  Recorder sink;
  std::uint32_t error = 0;
  std::unique_ptr<platform::AsyncStream> stream = platform::connectPipe(name, sink, error);
  ASSERT_NE(stream, nullptr) << error;
  ASSERT_TRUE(server->accept());
  std::atomic<bool> destroyed{false};
  sink.m_onCompletion = [&] {
    stream.reset();  // from inside the last completion
    destroyed = true;
  };
  char buf[16];
  ASSERT_EQ(stream->startRead(buf, sizeof buf), 0u);
  server.reset();
  ASSERT_TRUE(test::waitFor([&] { return destroyed.load(); }));
  const auto done = sink.done();
  ASSERT_EQ(done.size(), 1u);
  EXPECT_NE(done[0].status, platform::kIoSuccess);
  EXPECT_NE(done[0].status, platform::kIoCancelled);
  EXPECT_NE(done[0].osError, 0u);
}

TEST(Win32Streams, MissingAndBusyPipesFailWithTheirErrors) {
  Recorder sink;
  std::uint32_t error = 0;
  EXPECT_EQ(platform::connectPipe(uniquePipe("none"), sink, error), nullptr);
  EXPECT_EQ(error, platform::kErrFileNotFound);

  // The only instance is taken: the next client waits for it, bounded, and gives up.
  const std::string name = uniquePipe("busy");
  PipeServer server(name);
  ASSERT_TRUE(server.ok());
  auto first = platform::connectPipe(name, sink, error);
  ASSERT_NE(first, nullptr) << error;
  ASSERT_TRUE(server.accept());
  const auto before = GetTickCount64();
  EXPECT_EQ(platform::connectPipe(name, sink, error, std::chrono::milliseconds(300)), nullptr);
  EXPECT_EQ(error, platform::kErrSemTimeout);
  EXPECT_LT(GetTickCount64() - before, 10000u);
  EXPECT_EQ(platform::pipeSocketPath(name).wstring(), std::wstring(name.begin(), name.end()));
}

TEST(Win32Streams, TcpStreamsConnectExchangeAndReportRefusal) {
  ASSERT_EQ(platform::startSockets(), 0u);
  platform::Socket listener;
  ASSERT_TRUE(listener.openTcp());
  ASSERT_TRUE(listener.bindIpv4(true, 0));
  ASSERT_TRUE(listener.listen());
  const std::string port = std::to_string(listener.localPort());

  Recorder sink;
  std::uint32_t error = 0;
  auto stream = platform::connectTcp("127.0.0.1", port, platform::IpFamily::IPv4, sink, error);
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
  // The peer's orderly end is a read of 0 bytes.
  peer.close();
  ASSERT_TRUE(test::waitFor([&] { return sink.count() == 2; }));
  const auto done = sink.done();
  EXPECT_EQ(done[1].kind, IoKind::Read);
  EXPECT_EQ(done[1].status, platform::kIoSuccess);
  EXPECT_EQ(done[1].bytes, 0u);

  // Nobody listens on a port that was just freed.
  const std::string freed = port;
  listener.close();
  EXPECT_EQ(platform::connectTcp("127.0.0.1", freed, platform::IpFamily::IPv4, sink, error), nullptr);
  EXPECT_EQ(error, platform::kWsaConnRefused);
}

}  // namespace
}  // namespace amb

#endif  // _WIN32
