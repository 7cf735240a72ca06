#include "feed/link.hpp"

#include "core/exit.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "feed/readers.hpp"
#include "feed/status.hpp"
#include "records/blocks.hpp"
#include "records/upcalls.hpp"
#include "state/run_state.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <array>
#include <stdexcept>

namespace amb {

using namespace up::engine;

platform::Socket g_rtListenSocket;
platform::Socket g_rtClientSocket;
std::atomic<std::uint8_t> g_rtClientConnected{0};
std::atomic<std::uint8_t> g_rtProfessional{0};
std::atomic<std::uint8_t> g_rtLinkPending{1};
std::atomic<std::uint8_t> g_realTrafficLocal{0};

namespace {

constexpr std::size_t kReplyBufferSize = 16384;

std::string socketErrorText() { return gf_wsaErrorText(platform::lastSocketError()); }

[[noreturn]] void failStart(const std::string& what) {
  g_rtListenSocket.close();
  throw std::runtime_error(what);
}

}  // namespace

void lf_startServer(const std::string& port) {
  if (const int rc = platform::socketStartup(); rc != 0)
    throw std::runtime_error(fmt::format("WSAStartup failed with error {}", rc));
  platform::PassiveAddress address;
  if (const int rc = platform::resolvePassiveTcp(port, address); rc != 0)
    throw std::runtime_error(fmt::format("getaddrinfo failed with error {}", rc));
  // A server left open by an earlier run would hold the port.
  g_rtListenSocket.close();
  if (!g_rtListenSocket.openTcp()) failStart("socket failed with error " + socketErrorText());
  if (!g_rtListenSocket.setBlocking(true)) failStart("ioctlsocket failed with error " + socketErrorText());
  if (!g_rtListenSocket.setReuseAddress()) failStart("setsockopt(SO_REUSEADDR) failed");
  if (!g_rtListenSocket.bind(address)) failStart("Bind failed at port " + port + " with error " + socketErrorText());
  if (!g_rtListenSocket.listen()) failStart("listen failed with error " + socketErrorText());
}

bool waitForClient() {
  if (g_rtClientConnected.load() != 0) return false;
  // A client socket dropped without notice is closed before the next one is taken.
  g_rtClientSocket.close();
  if (!g_rtListenSocket.accept(g_rtClientSocket)) return false;
  if (!g_rtClientSocket.setNoDelay())
    throw std::runtime_error(fmt::format("{} setsockopt failed with error {}", gf_timeOfDay(), socketErrorText()));
  g_rtClientConnected = 1;
  return true;
}

bool sendDataPacket(const std::string& text) {
  if (g_rtClientSocket.sendAll(text)) return true;
  gf_log(fmt::format("sendDataPacket to RealTraffic failed: {}", socketErrorText()));
  g_rtClientConnected = 0;
  g_rtClientSocket.close();
  gf_log("RealTraffic client socket closed");
  return false;
}

std::string receive() {
  std::array<char, kReplyBufferSize> buffer{};
  const long n = g_rtClientSocket.receive(buffer.data(), buffer.size());
  if (n < 0) {
    gf_log(fmt::format("receive: {}", socketErrorText()));
    return {};
  }
  if (n == 0) return {};
  if (static_cast<std::size_t>(n) >= kReplyBufferSize) {
    gf_log(fmt::format("receive: buffer overrun: {}", n));
    return {};
  }
  return std::string(buffer.data(), static_cast<std::size_t>(n));
}

void lf_waitForRealTraffic() {
  if (g_realTrafficLocal.load() == 0) return;
  gf_showMessage(fmt::format("Waiting for RealTraffic to connect to {} ...", g_programName), true);
  gf_resetReaders();
  if (waitForClient()) {
    sendDataPacket("Qs999=version\r\n");
    lf_checkRealTrafficVersion(receive());
    g_readersWatched = 1;
    gf_repaintStatusBand();
    g_rtLinkPending = 0;
    gf_log("RealTraffic connected");
  }
  gf_clearMessage();
}

void lf_checkRealTrafficVersion(const std::string& reply) {
  if (reply.empty()) {
    gf_showMessage("No RealTraffic version received?", true);
    g_rtProfessional = 0;
    return;
  }
  // Invalid JSON throws; the service run reports it and ends.
  const nlohmann::json version = nlohmann::json::parse(reply);
  if (!version.is_object()) {
    g_rtProfessional = 0;
    gf_setRtEditionText({});
    gf_repaintStatusBand();
    return;
  }
  const bool professional = version.value("level", 1) == 2;
  g_rtProfessional = professional ? 1 : 0;
  gf_setRtEditionText(
      fmt::format("RT{} edition: {}", professional ? " prof" : " stnd", version.value("version", std::string{})));
  gf_repaintStatusBand();
}

void lf_sendQs123(std::int64_t unixSeconds) {
  if (g_rtClientConnected.load() != 0 && unixSeconds >= 1) sendDataPacket(fmt::format("Qs123={}\r\n", unixSeconds * 1000));
}

std::string gf_qs121Text(const UserAcBlock& user) {
  // Pitch, bank, altitude and ground speed go as whole numbers in RealTraffic's scaled units.
  return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{:.0f};{:.6f};{:.6f}\r\n", user.pitch * 100000,
                     user.bank * 100000, user.heading, user.altitude * 1000, user.groundSpeed * 1000,
                     user.latitude * kDegToRad, user.longitude * kDegToRad);
}

void lf_sendPosition() {
  if (g_realTrafficLocal.load() == 0) return;
  const UserAcBlock user = g_engineUserAc;
  if (gf_inNullBox(user.latitude, user.longitude)) return;
  if (g_rtClientConnected.load() != 0) {
    if (!sendDataPacket(gf_qs121Text(user))) {
      g_readersWatched = 0;
      gf_repaintStatusBand();
      gf_removeAllLiveAc();
      gf_resetReaders();
      gf_showMessage(fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_timeOfDay()), true);
    }
  } else if (g_exitReason.load() == 0) {
    // Blocks until RealTraffic connects again, or the exit closes the server.
    if (waitForClient()) {
      g_readersWatched = 1;
      gf_repaintStatusBand();
      gf_showMessage(fmt::format("{} RealTraffic re-connected", gf_timeOfDay()), true);
      gf_clearMessage();
    }
  }
}

void lf_closeServer() {
  if (g_rtClientConnected.load() != 0) sendDataPacket("exit\r\n");
  g_rtListenSocket.close();
  g_rtClientSocket.close();
  // The next service run waits for RealTraffic and asks its version again.
  g_rtClientConnected = 0;
}

void gf_resetLink() {
  g_rtListenSocket.close();
  g_rtClientSocket.close();
  g_rtClientConnected = 0;
  g_rtProfessional = 0;
  g_rtLinkPending = 1;
  g_realTrafficLocal = 0;
}

}  // namespace amb
