// The network namespace a fixed-port test runs in: the port another run holds is free inside, and
// the loopback interface works there.

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

// Binds the port on the loopback address, listens and connects to itself; the exit status of a
// small Python program, run directly or through the namespace script.
int bindAndConnect(int port, bool inNamespace) {
  const std::string program = "import socket;s=socket.socket();s.bind(('127.0.0.1'," + std::to_string(port) +
                              "));s.listen();socket.create_connection(('127.0.0.1'," + std::to_string(port) +
                              "),timeout=5).close()";
  const std::string command = (inNamespace ? std::string(AMB_SOURCE_DIR "/scripts/in-netns.sh ") : std::string()) +
                              "python3 -c \"" + program + "\" 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(NetworkNamespace, APortHeldOutsideIsFreeInsideWithLoopbackUp) {
  const int held = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(held, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(held, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(held, 1), 0);
  socklen_t length = sizeof address;
  ASSERT_EQ(::getsockname(held, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);

  EXPECT_NE(bindAndConnect(port, false), 0);  // here the port is taken
  EXPECT_EQ(bindAndConnect(port, true), 0);
  ::close(held);
}

}  // namespace
