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

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace amb {

using namespace up::engine;

platform::Socket g_rtListenSocket;
platform::Socket g_rtClientSocket;
std::atomic<std::uint8_t> g_rtClientConnected{0};
std::atomic<std::uint8_t> g_rtProfessional{0};
std::atomic<std::uint8_t> g_rtLinkPending{1};
std::atomic<std::uint8_t> g_realTrafficLocal{0};

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kReplyBufferSize = 16384;
constexpr const char* kVersionRequest = "Qs999=version\r\n";

// How long the version reply may take to arrive whole.
std::atomic<long long> g_versionWaitMs{3000};

// Connections that wait for their version reply at one time; a newer one pushes out the oldest.
constexpr std::size_t kMaxCandidates = 32;
static_assert(kMaxCandidates + 1 <= platform::Socket::kMaxWaitSockets);
// Connections taken from the backlog at a time before the replies are read again.
constexpr int kAcceptsPerRound = 256;
// The longest single wait: a closed listening socket ends the wait at once where the system wakes
// it, else within this time.
constexpr int kWaitSliceMs = 250;
constexpr auto kDroppedReport = std::chrono::minutes(1);
// Winsock numbers of accept: none waiting, and a connection that ended before it was taken.
constexpr int kWouldBlock = 10035;
constexpr int kConnectionAborted = 10053;
constexpr int kConnectionReset = 10054;

std::string socketErrorText() { return gf_wsaErrorText(platform::lastSocketError()); }

// ---- Lines to RealTraffic ----
//
// No thread waits on RealTraffic to read: the engine's lines go without waiting (a line with no room
// is dropped, the next position replaces it), the exit's "exit" waits at most its bound. A line the
// system took only in part is finished before any other begins, so that RealTraffic never reads the
// start of one line run into another.

// The longest a line may wait for RealTraffic to read.
constexpr auto kLongestSendWait = std::chrono::seconds(1);
// RealTraffic reads again once lines have gone whole for this long, none dropped or cut meanwhile:
// a line or two the system still takes after a stall began (what was in flight reached RealTraffic's
// buffer) is no end of it.
constexpr auto kReadingAgainAfter = std::chrono::seconds(1);
// Slices of a wait, so that a socket closed meanwhile ends it soon where the system does not wake it.
constexpr int kSendWaitSliceMs = 100;

enum class SendOutcome : std::uint8_t { Sent, Dropped, Failed };

// What the sends know of RealTraffic's reading; guarded by g_sendMutex, which is held only for sends
// that do not wait.
std::mutex g_sendMutex;
std::string g_unsentRest;  // the end of a line begun, sent before anything else
bool g_notReading = false;
std::uint64_t g_linesDropped = 0;  // since RealTraffic stopped reading
SteadyClock::time_point g_notReadingSince{};
std::optional<SteadyClock::time_point> g_wholeSince;  // lines have gone whole since, in a stall

// Sends the rest of a line begun earlier, as much as goes now; false when the send failed.
bool sendRestLocked() {
  while (!g_unsentRest.empty()) {
    const long n = g_rtClientSocket.sendNow(g_unsentRest);
    if (n < 0) return false;
    if (n == 0) break;
    g_unsentRest.erase(0, static_cast<std::size_t>(n));
  }
  return true;
}

// One try without waiting: Sent once the line has begun (what the system did not take is kept),
// Dropped when it could not begin.
SendOutcome trySendLocked(std::string_view line, bool& begun) {
  if (!sendRestLocked()) return SendOutcome::Failed;
  if (begun) return SendOutcome::Sent;
  if (!g_unsentRest.empty()) return SendOutcome::Dropped;
  // A new line begins only when the system says there is room: where it keeps a margin (Linux: a
  // third of the buffer), a RealTraffic that does not read is not taken to read again because the
  // system squeezed a few bytes more into its buffers.
  if (g_rtClientSocket.waitWritable(0) == 0) return SendOutcome::Dropped;
  const long n = g_rtClientSocket.sendNow(line);
  if (n < 0) return SendOutcome::Failed;
  if (n == 0) return SendOutcome::Dropped;
  begun = true;
  g_unsentRest.assign(line.substr(static_cast<std::size_t>(n)));
  return sendRestLocked() ? SendOutcome::Sent : SendOutcome::Failed;
}

void forgetSendsLocked() {
  g_unsentRest.clear();
  g_notReading = false;
  g_linesDropped = 0;
  g_wholeSince.reset();
}

// Sends the line, waiting at most `wait` for RealTraffic to read. A stall and its end are logged
// once each; a failed send drops the client.
SendOutcome sendLine(std::string_view line, std::chrono::milliseconds wait) {
  auto deadline = SteadyClock::now() + std::min<std::chrono::milliseconds>(wait, kLongestSendWait);
  bool begun = false;
  SendOutcome outcome;
  std::string failure;
  bool stallBegan = false;
  std::uint64_t dropped = 0;
  long long stallSeconds = -1;
  for (;;) {
    {
      std::lock_guard lock(g_sendMutex);
      outcome = trySendLocked(line, begun);
      if (outcome == SendOutcome::Failed) {
        failure = socketErrorText();
        forgetSendsLocked();
        break;
      }
      const auto now = SteadyClock::now();
      const bool whole = outcome == SendOutcome::Sent && g_unsentRest.empty();
      if (whole || now >= deadline) {
        if (outcome == SendOutcome::Dropped) {
          ++g_linesDropped;
          if (!g_notReading) {
            g_notReading = stallBegan = true;
            g_notReadingSince = now;
          }
        }
        if (!whole) {
          g_wholeSince.reset();
        } else if (g_notReading && !g_wholeSince) {
          g_wholeSince = now;
        } else if (g_notReading && now - *g_wholeSince >= kReadingAgainAfter) {
          dropped = g_linesDropped;
          stallSeconds = std::chrono::duration_cast<std::chrono::seconds>(now - g_notReadingSince).count();
          forgetSendsLocked();
        }
        break;
      }
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    // A wait that fails (the socket closed meanwhile) leaves one more try, which tells why.
    if (g_rtClientSocket.waitWritable(static_cast<int>(std::clamp<long long>(left, 0, kSendWaitSliceMs))) < 0)
      deadline = SteadyClock::now();
  }
  if (outcome == SendOutcome::Failed) {
    gf_log(fmt::format("sendDataPacket to RealTraffic failed: {}", failure));
    g_rtClientConnected = 0;
    g_rtClientSocket.close();
    gf_log("RealTraffic client socket closed");
  } else if (stallBegan) {
    gf_showMessage(
        fmt::format("{} RealTraffic does not read: lines to it are dropped until it reads again", gf_timeOfDay()),
        true);
  } else if (stallSeconds >= 0) {
    gf_showMessage(fmt::format("{} RealTraffic reads again after {} s ({} line{} dropped)", gf_timeOfDay(),
                               stallSeconds, dropped, gf_pluralS(static_cast<std::int64_t>(dropped))),
                   true);
    gf_clearMessage();
  }
  return outcome;
}

[[noreturn]] void failStart(const std::string& what) {
  g_rtListenSocket.close();
  throw std::runtime_error(what);
}

// A version reply is one JSON value; before trying to parse, its last character must be one a
// value ends with, so that a reply that comes byte by byte is not parsed again at every byte.
bool completeReply(const std::string& reply) {
  const std::size_t last = reply.find_last_not_of(" \t\r\n");
  if (last == std::string::npos || std::string_view("}]\"0123456789el").find(reply[last]) == std::string_view::npos)
    return false;
  return nlohmann::json::accept(reply);
}

// One wait for RealTraffic on the command port. Every connection is asked for its version at once;
// the first that answers with a version reply is RealTraffic. A connection that closes, sends
// something that is no version reply or more than one can be, or stays silent past the reply's
// bound, is someone else's and is closed. All of them wait at the same time, so that no number of
// such connections (a storm of connects that close at once or stay open and silent) keeps
// RealTraffic waiting longer than its own answer takes.
class ClientSearch {
public:
  ClientSearch() : m_reported(SteadyClock::now()) {}
  ~ClientSearch() {
    while (!m_candidates.empty()) dropOldest();
    reportDropped();
  }
  ClientSearch(const ClientSearch&) = delete;
  ClientSearch& operator=(const ClientSearch&) = delete;

  // Waits for a reply, a connection or the end of the listening socket; true with the client in
  // g_rtClientSocket and its reply in `reply`, false when the listening socket is closed or fails.
  bool run(std::string& reply) {
    std::vector<platform::Socket*> watched;
    std::vector<std::uint8_t> ready;
    bool listening = true;
    for (;;) {
      watched.clear();
      watched.push_back(&g_rtListenSocket);
      for (Candidate& c : m_candidates) watched.push_back(c.socket.get());
      const auto first = watched.begin() + (listening ? 0 : 1);
      const int rc = platform::Socket::waitAnyReadable(std::span(first, watched.end()), nextWaitMs(), ready);
      if (!g_rtListenSocket.isOpen()) return false;
      if (rc < 0) {
        gf_log(fmt::format("waiting for RealTraffic failed: {}", socketErrorText()));
        return false;
      }
      if (!listening) ready.insert(ready.begin(), 0);
      if (auto winner = readReplies(ready)) return take(*winner, reply);
      listening = ready[0] == 0 || takeConnections();
      dropSilent();
      if (SteadyClock::now() - m_reported >= kDroppedReport) reportDropped();
    }
  }

private:
  struct Candidate {
    std::unique_ptr<platform::Socket> socket = std::make_unique<platform::Socket>();
    std::string reply;
    SteadyClock::time_point since{};
  };

  static SteadyClock::duration bound() { return std::chrono::milliseconds(g_versionWaitMs.load()); }

  int nextWaitMs() const {
    if (m_candidates.empty()) return kWaitSliceMs;
    const auto left = m_candidates.front().since + bound() - SteadyClock::now();
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, kWaitSliceMs));
  }

  // Reads what the candidates marked ready sent (ready[0] is the listening socket's); the index of
  // one whose reply is complete.
  std::optional<std::size_t> readReplies(const std::vector<std::uint8_t>& ready) {
    std::vector<std::size_t> gone;
    std::optional<std::size_t> winner;
    for (std::size_t i = 0; i < m_candidates.size() && !winner; ++i) {
      if (ready[i + 1] == 0) continue;
      Candidate& c = m_candidates[i];
      const long n = c.socket->receive(m_buffer.data(), kReplyBufferSize - c.reply.size());
      if (n < 0) {
        gf_logPeerf("receive: {}", socketErrorText());
        gone.push_back(i);
      } else if (n == 0) {
        gone.push_back(i);
      } else if (c.reply.append(m_buffer.data(), static_cast<std::size_t>(n)); c.reply.size() >= kReplyBufferSize) {
        gf_logPeerf("receive: buffer overrun: {}", c.reply.size());
        c.reply.clear();
        gone.push_back(i);
      } else if (completeReply(c.reply)) {
        winner = i;
      }
    }
    // From the back, so that the indexes in front stay right.
    for (auto it = gone.rbegin(); it != gone.rend(); ++it) {
      if (winner && *winner > *it) --*winner;
      drop(*it);
    }
    return winner;
  }

  bool take(std::size_t index, std::string& reply) {
    Candidate winner = std::move(m_candidates[index]);
    m_candidates.erase(m_candidates.begin() + static_cast<std::ptrdiff_t>(index));
    // The exit closes the listening socket first: no client is taken once it has begun.
    if (!g_rtListenSocket.isOpen() || !g_rtClientSocket.takeHandleOf(*winner.socket)) return false;
    reply = std::move(winner.reply);
    return true;
  }

  // Takes the connections waiting in the backlog and asks each for its version. False when the
  // listening socket failed for a reason of its own (no handles left, ...): it is left out of the
  // next wait, so that the failure does not come round again at once.
  bool takeConnections() {
    for (int i = 0; i < kAcceptsPerRound; ++i) {
      Candidate c;
      if (!g_rtListenSocket.accept(*c.socket)) {
        const int error = platform::lastSocketError();
        if (error == kConnectionAborted || error == kConnectionReset) {
          ++m_dropped;
          continue;
        }
        return error == kWouldBlock;
      }
      if (c.socket->peerGone() || !c.socket->sendAll(kVersionRequest)) {
        ++m_dropped;
        continue;
      }
      if (m_candidates.size() >= kMaxCandidates) dropOldest();
      c.since = SteadyClock::now();
      m_candidates.push_back(std::move(c));
    }
    return true;
  }

  void dropSilent() {
    const auto now = SteadyClock::now();
    while (!m_candidates.empty() && now - m_candidates.front().since >= bound()) {
      if (m_candidates.front().reply.empty() && !m_silentShown) {
        m_silentShown = true;
        lf_checkRealTrafficVersion({});
      }
      dropOldest();
    }
  }

  // A connection that is closed shows in the log what it sent, if anything.
  void drop(std::size_t index) {
    if (const std::string& sent = m_candidates[index].reply; !sent.empty())
      gf_logPeerf("no RealTraffic version reply: {}", sent);
    m_candidates[index].socket->close();
    m_candidates.erase(m_candidates.begin() + static_cast<std::ptrdiff_t>(index));
    ++m_dropped;
  }
  void dropOldest() { drop(0); }

  void reportDropped() {
    m_reported = SteadyClock::now();
    if (m_dropped == 0) return;
    gf_log(fmt::format("{} connection{} to the command port closed without a RealTraffic version reply", m_dropped,
                       gf_pluralS(static_cast<std::int64_t>(m_dropped))));
    m_dropped = 0;
  }

  std::deque<Candidate> m_candidates;
  std::array<char, kReplyBufferSize> m_buffer{};
  std::uint64_t m_dropped = 0;
  bool m_silentShown = false;
  SteadyClock::time_point m_reported;
};

}  // namespace

void lf_startServer(const std::string& port) {
  if (const int rc = platform::socketStartup(); rc != 0)
    throw std::runtime_error(fmt::format("WSAStartup failed with error {}", rc));
  platform::PassiveAddress address;
  if (const int rc = platform::resolvePassiveTcp(port, address); rc != 0)
    throw std::runtime_error(fmt::format("getaddrinfo failed with error {}", rc));
  // RealTraffic is this program's client only when it runs on this computer: no other computer
  // may take its place on the command port.
  platform::restrictToLoopback(address);
  // A server left open by an earlier run would hold the port.
  g_rtListenSocket.close();
  if (!g_rtListenSocket.openTcp()) failStart("socket failed with error " + socketErrorText());
  // The wait for RealTraffic takes every waiting connection at once, never blocking in an accept.
  if (!g_rtListenSocket.setBlocking(false)) failStart("ioctlsocket failed with error " + socketErrorText());
  if (!g_rtListenSocket.setReuseAddress()) failStart("setsockopt(SO_REUSEADDR) failed");
  if (!g_rtListenSocket.bind(address)) failStart("Bind failed at port " + port + " with error " + socketErrorText());
  if (!g_rtListenSocket.listen()) failStart("listen failed with error " + socketErrorText());
}

bool waitForClient(std::string* versionReply) {
  if (g_rtClientConnected.load() != 0) return false;
  // A client socket dropped without notice is closed before the next one is taken.
  g_rtClientSocket.close();
  std::string reply;
  {
    ClientSearch search;
    if (!search.run(reply)) return false;
  }
  if (!g_rtClientSocket.setNoDelay())
    throw std::runtime_error(fmt::format("{} setsockopt failed with error {}", gf_timeOfDay(), socketErrorText()));
  // Lines to RealTraffic never wait for it to read.
  if (!g_rtClientSocket.setBlocking(false))
    throw std::runtime_error(fmt::format("{} ioctlsocket failed with error {}", gf_timeOfDay(), socketErrorText()));
  {
    std::lock_guard lock(g_sendMutex);
    forgetSendsLocked();
  }
  g_rtClientConnected = 1;
  if (versionReply != nullptr) *versionReply = std::move(reply);
  return true;
}

bool sendDataPacket(const std::string& text) {
  return sendLine(text, std::chrono::milliseconds(0)) != SendOutcome::Failed;
}

void lf_setVersionReplyWait(std::chrono::milliseconds bound) { g_versionWaitMs = bound.count(); }

void lf_waitForRealTraffic() {
  if (g_realTrafficLocal.load() == 0) return;
  gf_showMessage(fmt::format("Waiting for RealTraffic to connect to {} ...", g_programName), true);
  gf_resetReaders();
  if (std::string reply; waitForClient(&reply)) {
    lf_checkRealTrafficVersion(reply);
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
  // The peer's values are taken only when they have the expected type: any other "level" counts as
  // the default 1, any other "version" as none.
  const auto level = version.find("level");
  const bool professional = level != version.end() && level->is_number_integer() && *level == 2;
  const auto text = version.find("version");
  g_rtProfessional = professional ? 1 : 0;
  gf_setRtEditionText(fmt::format("RT{} edition: {}", professional ? " prof" : " stnd",
                                  text != version.end() && text->is_string() ? gf_peerText(text->get<std::string>())
                                                                             : std::string{}));
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

void lf_sendPosition() { lf_sendPosition(g_engineUserAc); }

void lf_sendPosition(const UserAcBlock& user) {
  if (g_realTrafficLocal.load() == 0) return;
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
    // Blocks until RealTraffic connects again, or the exit closes the server. RealTraffic is told
    // from other connections by its version reply, which also tells its edition.
    if (std::string reply; waitForClient(&reply)) {
      lf_checkRealTrafficVersion(reply);
      g_readersWatched = 1;
      gf_repaintStatusBand();
      gf_showMessage(fmt::format("{} RealTraffic re-connected", gf_timeOfDay()), true);
      gf_clearMessage();
    }
  }
}

void lf_stopAccepting() { g_rtListenSocket.close(); }

void lf_closeServer(std::chrono::milliseconds exitLineWait) {
  if (g_rtClientConnected.load() != 0 && sendLine("exit\r\n", exitLineWait) == SendOutcome::Dropped)
    gf_log("RealTraffic does not read: \"exit\" not sent");
  g_rtListenSocket.close();
  g_rtClientSocket.close();
  // The next service run waits for RealTraffic and asks its version again.
  g_rtClientConnected = 0;
}

void gf_resetLink() {
  g_rtListenSocket.close();
  g_rtClientSocket.close();
  {
    std::lock_guard lock(g_sendMutex);
    forgetSendsLocked();
  }
  g_rtClientConnected = 0;
  g_rtProfessional = 0;
  g_rtLinkPending = 1;
  g_realTrafficLocal = 0;
}

}  // namespace amb
