#pragma once
// The objects under the SimConnect API: the transport connection (SimConnection), the client that
// the API's handle points to (SimConnectClient) and the packets they pass around (SimPacket).
// Internal to the client library and its tests.

#include "platform/stream.hpp"
#include "sim/simconnect/simconnect.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace amb {

// One message or packet; owns its bytes.
struct SimPacket {
  std::unique_ptr<std::uint8_t[]> data;
  std::uint32_t size = 0;
  std::uint32_t connectionId = 0;
  std::uint32_t flag = 0;
};
using SimPacketPtr = std::unique_ptr<SimPacket>;

// Why a connection was closed; 0 is the orderly close.
enum SimCloseReason : std::uint32_t {
  kCloseOrderly = 0,
  kCloseTooLarge = 1,     // a message above the maximum receive size
  kCloseBadSize = 2,      // a message size of 1 to 3
  kCloseNoMemory = 3,     // a message could not be stored
  kCloseZeroRead = 4,     // the other end closed the stream
  kCloseDisconnected = 5, // remote disconnect, broken pipe, connection reset
  kCloseCancelled = 8,    // the I/O was cancelled
  kCloseIoFailed = 9,     // any other I/O failure, also a read that could not be started
};

// The receive buffer never grows beyond this; a larger message closes the connection as too large.
inline constexpr std::uint32_t kMaxReceiveBuffer = 1u << 20;
inline constexpr std::uint32_t kReceiveBufferStep = 2048;

class SimConnection;
class SimConnectClient;
void lf_ioCompletion(SimConnection& connection, platform::IoKind kind, std::uint32_t status, std::uint32_t osError,
                     std::size_t bytes);

class SimConnection : public platform::IoCompletionSink {
public:
  enum Kind : std::uint32_t { kSocket = 0, kPipe = 1 };
  enum State : std::uint32_t { kClosed = 0, kConnected = 2 };

  SimConnection();
  SimConnection(const SimConnection&) = delete;
  SimConnection& operator=(const SimConnection&) = delete;

  // Takes a connected stream whose completions come to this object, stores the settings, resets and
  // starts the first read. 0, or the error of the first read.
  std::uint32_t attach(std::unique_ptr<platform::AsyncStream> stream, Kind kind, std::uint32_t maxReceiveSize,
                       bool disableNagle);

  virtual void reset();
  // Closes with a reason (kCloseOrderly for an orderly close) and the status behind it. True when
  // this call closed a connected connection; false when it was closed already.
  virtual bool close(std::uint32_t reason, std::uint32_t status, std::uint32_t osError);
  virtual void onPacket(SimPacketPtr packet) = 0;
  virtual void onReceived(const std::uint8_t*, std::size_t) {}

  // Hands a composed packet to the transport: dropped when not connected, else queued; at most one
  // write is in flight and packets leave in the order they were handed over.
  void sendRequest(SimPacketPtr packet);
  // Waits until nothing is queued or being written, at most the bound; true when drained.
  bool waitSendDrained(std::chrono::milliseconds bound);

  void addRef() { m_refs.fetch_add(1, std::memory_order_relaxed); }
  void release();

  std::uint32_t state() const { return m_state.load(); }
  std::uint32_t failReason() const { return m_failReason.load(); }
  bool failed() const { return m_failReason.load() != kCloseOrderly; }
  std::uint32_t storedStatus() const { return m_status.load(); }
  std::uint32_t storedOsError() const { return m_osError.load(); }
  std::uint32_t connectionId() const { return m_connectionId.load(); }
  std::uint32_t maxReceiveSize() const { return m_maxReceiveSize; }
  std::uint32_t firstReadSize() const { return m_firstReadSize; }
  Kind kind() const { return m_kind; }
  std::uint64_t serial() const { return m_serial; }

  void onIoCompleted(platform::IoKind kind, std::uint32_t status, std::uint32_t osError, std::size_t bytes) override {
    lf_ioCompletion(*this, kind, status, osError, bytes);
  }

protected:
  virtual ~SimConnection();

  std::unique_ptr<platform::AsyncStream> m_stream;
  bool m_disableNagle = false;
  std::atomic<std::uint32_t> m_state{kClosed};

private:
  friend void lf_ioCompletion(SimConnection&, platform::IoKind, std::uint32_t, std::uint32_t, std::size_t);
  void onReadCompleted(std::uint32_t status, std::uint32_t osError, std::size_t bytes);
  void onWriteCompleted(std::uint32_t status, std::uint32_t osError);
  // Starts the next queued write unless one is in flight; called with the send lock held.
  void pumpWrites(std::unique_lock<std::mutex>& lock);
  // Starts the next read into the free part of the receive buffer; closes on failure.
  void startRead();
  // The framing of received bytes: cuts every complete message and hands it to onPacket. False when a
  // framing error closed the connection.
  bool lf_nextPacket();

  Kind m_kind = kSocket;
  std::atomic<std::uint32_t> m_osError{0};
  std::atomic<std::uint32_t> m_status{0};
  std::atomic<std::uint32_t> m_failReason{kCloseOrderly};
  std::atomic<std::uint32_t> m_connectionId{0};
  std::atomic<std::uint32_t> m_refs{1};
  std::uint32_t m_maxReceiveSize = 1024;
  std::uint32_t m_firstReadSize = 0xFFFFFFFF;
  std::uint64_t m_serial = 0;

  std::mutex m_stateMutex;  // held while the state changes and while a write starts

  std::mutex m_sendMutex;
  std::condition_variable m_sendDrained;
  std::deque<SimPacketPtr> m_sendQueue;
  SimPacketPtr m_writing;
  bool m_writeInFlight = false;

  // Touched only by the read completions (one read in flight).
  std::vector<std::uint8_t> m_recv;
  std::size_t m_readPos = 0;
  std::size_t m_writePos = 0;
};

class SimConnectClient final : public SimConnection {
public:
  SimConnectClient();

  void reset() override;
  bool close(std::uint32_t reason, std::uint32_t status, std::uint32_t osError) override;
  void onPacket(SimPacketPtr packet) override;

  // Takes the oldest received message, or null.
  SimPacketPtr takeReceived();
  std::size_t receivedCount();
  void dropReceived();

  // Composing; all under the global compose lock (composeLock()).
  static std::mutex& composeLock();
  // Reserves a packet of the size with its header and the next send id; null when it does not fit.
  std::uint8_t* lf_reservePacket(std::uint32_t type, std::uint32_t size);
  void lf_withdrawPacket(std::uint8_t* packet);
  void lf_commitPackets();
  std::uint32_t lastSendId() const { return m_sendId; }
  void setLastSendId(std::uint32_t id) { m_sendId = id; }

  // A short message of a known id is logged the first time per id.
  bool firstShortMessageOf(std::uint32_t id);

  SimConnectClient* m_prev = nullptr;  // the process-wide client list
  SimConnectClient* m_next = nullptr;

private:
  ~SimConnectClient() override = default;

  std::mutex m_clientMutex;  // guards only the received list
  std::deque<SimPacketPtr> m_received;

  std::vector<std::uint8_t> m_compose;
  std::size_t m_composePos = 0;
  std::uint32_t m_sendId = 0;
  std::atomic<std::uint64_t> m_shortLogged{0};
};

// The completion routine of every transport: reads and writes of one connection, on the I/O thread.
void lf_ioCompletion(SimConnection& connection, platform::IoKind kind, std::uint32_t status, std::uint32_t osError,
                     std::size_t bytes);
// The body of SimConnect_Close.
void lf_closeClient(SimConnectClient* client);
// The status stored for an operating-system error (Winsock or Windows numbering): the HRESULT of the
// Win32 facility, 0 for 0.
std::uint32_t lf_hresultFromWin32(std::uint32_t error);

// Process-wide: the client list and count, the live connection objects.
void lf_linkClient(SimConnectClient* client);
void lf_unlinkClient(SimConnectClient* client);
std::size_t lf_clientCount();
std::size_t lf_liveConnectionCount();
// Waits until the connection object with that serial is gone (and, when no client is left, until no
// connection object is left), at most the bound; true when that happened.
bool lf_waitConnectionsGone(std::uint64_t serial, std::chrono::milliseconds bound);

// Settings of one connection, from "SimConnect.cfg" and the registry.
struct SimConnectSettings {
  std::string protocol = "Auto";
  std::string address;
  std::string port;
  std::uint32_t maxReceiveSize = sc::kDefaultMaxReceiveSize;
  bool disableNagle = false;
};

// Results of lf_openSimConnect.
inline constexpr int kOpenOk = 0;
inline constexpr int kOpenSectionNotFound = 3;
inline constexpr int kOpenFailed = 1;

// Reads one section of one "SimConnect.cfg" into the settings; false when the file is missing.
bool lf_readSimConnectCfg(const std::filesystem::path& file, std::uint32_t configIndex, SimConnectSettings& settings);
// The registry port of a family ("IPv4" or "IPv6"), empty when there is none.
std::string lf_registryPort(bool ipv6);
// The three "SimConnect.cfg" files in the order they are read (later ones override earlier ones).
std::vector<std::filesystem::path> lf_simConnectCfgFiles();
// The connection part of SimConnect_Open.
int lf_openSimConnect(SimConnectClient*& client, std::uint32_t configIndex);
// One transport attempt on a fresh client: kind pipe (family ignored) or socket. 0 or the error.
std::uint32_t lf_connectTransport(SimConnectClient& client, SimConnection::Kind kind, platform::IpFamily family,
                                  const std::string& address, const std::string& port, std::uint32_t maxReceiveSize,
                                  bool disableNagle);

// Test seams: every transport attempt is reported; the wait for a busy pipe.
struct SimConnectAttempt {
  SimConnection::Kind kind;
  platform::IpFamily family;
  std::string address;  // the pipe path for a pipe
  std::string port;
  std::uint32_t error;  // 0 when it connected
};
void lf_setConnectAttemptObserver(std::function<void(const SimConnectAttempt&)> observer);
void lf_setPipeBusyWait(std::chrono::milliseconds wait);

}  // namespace amb
