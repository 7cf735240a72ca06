// The Windows side of the SimConnect client's transport. Sockets are started once per process. The
// overlapped pipe and socket streams are still to come: until then every connection attempt fails
// as it does while Prepar3D is not running, so the program waits for the simulator and retries every
// second.

#include "platform/pipe.hpp"
#include "platform/socket.hpp"
#include "platform/stream.hpp"

namespace amb::platform {

std::uint32_t startSockets() { return static_cast<std::uint32_t>(socketStartup()); }

std::unique_ptr<AsyncStream> connectTcp(const std::string&, const std::string&, IpFamily, IoCompletionSink&,
                                        std::uint32_t& error) {
  error = kWsaConnRefused;
  return nullptr;
}

std::unique_ptr<AsyncStream> connectPipe(const std::string&, IoCompletionSink&, std::uint32_t& error,
                                         std::chrono::milliseconds) {
  error = kErrFileNotFound;
  return nullptr;
}

}  // namespace amb::platform
