// The socket layer: closing from another thread wakes blocked calls, and failures carry the Winsock
// numbers. (Oversized datagrams are proved through the readers.)

#include "core/strings.hpp"
#include "platform/socket.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <atomic>
#include <fstream>
#include <string>
#include <thread>

namespace amb::platform {
namespace {

using test::waitFor;

#ifdef _WIN32
using ThreadId = DWORD;
ThreadId currentThreadId() { return GetCurrentThreadId(); }
// Windows shows no thread's state this simply; the close may then come before a call blocks, which
// ends it just the same.
bool sleeping(ThreadId) { return true; }
#else
using ThreadId = pid_t;
ThreadId currentThreadId() { return static_cast<pid_t>(::syscall(SYS_gettid)); }
// True once the thread (by its kernel id) sleeps, that is, waits inside a blocking call.
bool sleeping(pid_t tid) {
  std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
  std::string line;
  std::getline(stat, line);
  const std::size_t paren = line.rfind(')');
  return paren != std::string::npos && paren + 2 < line.size() && line[paren + 2] == 'S';
}
#endif

// A listening TCP socket on a free loopback port.
std::uint16_t listenOnFreePort(Socket& server) {
  PassiveAddress any;
  EXPECT_EQ(resolvePassiveTcp("0", any), 0);
  EXPECT_TRUE(server.openTcp());
  EXPECT_TRUE(server.setReuseAddress());
  EXPECT_TRUE(server.bind(any));
  EXPECT_TRUE(server.listen());
  return server.localPort();
}

TEST(Socket, CloseFromAnotherThreadWakesEveryBlockedCall) {
  Socket server;
  const std::uint16_t port = listenOnFreePort(server);
  Socket udp;
  ASSERT_TRUE(udp.openUdp());
  ASSERT_TRUE(udp.bindIpv4(true, 0));
  Socket client, accepted, peer;
  ASSERT_TRUE(client.openTcp());
  ASSERT_TRUE(client.connect("127.0.0.1", port));
  ASSERT_TRUE(server.accept(accepted));

  std::atomic<int> woken{0};
  std::atomic<ThreadId> tids[3] = {0, 0, 0};
  std::thread acceptor([&] {
    tids[0] = currentThreadId();
    EXPECT_FALSE(server.accept(peer));
    ++woken;
  });
  std::thread receiver([&] {
    tids[1] = currentThreadId();
    char buffer[64];
    const DatagramResult r = udp.receiveDatagram(buffer, sizeof buffer);
    EXPECT_TRUE(r.kind == DatagramResult::Error || r.size == 0);
    ++woken;
  });
  std::thread reader([&] {
    tids[2] = currentThreadId();
    char buffer[64];
    EXPECT_LE(accepted.receive(buffer, sizeof buffer), 0);
    ++woken;
  });
  // Close only once all three wait inside their calls.
  EXPECT_TRUE(waitFor([&] {
    for (auto& t : tids)
      if (t.load() == 0 || !sleeping(t.load())) return false;
    return true;
  }));
  server.close();
  udp.close();
  accepted.close();
  EXPECT_TRUE(waitFor([&] { return woken.load() == 3; }));
  acceptor.join();
  receiver.join();
  reader.join();
  EXPECT_FALSE(server.isOpen());
  EXPECT_FALSE(udp.isOpen());
  // A closed socket refuses further calls as "not a socket".
  char b[4];
  EXPECT_EQ(accepted.receive(b, sizeof b), -1);
  EXPECT_EQ(lastSocketError(), 10038);
}

TEST(Socket, FailuresCarryWinsockNumbers) {
  // Nobody listens on a port that was just released.
  std::uint16_t freePort;
  {
    Socket s;
    freePort = listenOnFreePort(s);
  }
  Socket refused;
  ASSERT_TRUE(refused.openTcp());
  EXPECT_FALSE(refused.connect("127.0.0.1", freePort));
  EXPECT_EQ(lastSocketError(), 10061);
  EXPECT_EQ(gf_wsaErrorText(lastSocketError()), "10061 Connection refused");
}

}  // namespace
}  // namespace amb::platform
