#include "sim/simconnect/connection.hpp"

#include "core/exit.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <unordered_set>

namespace amb {

namespace {

std::atomic<std::uint32_t> g_connectionIdCounter{0};

std::mutex g_liveMutex;
std::condition_variable g_liveChanged;
std::unordered_set<std::uint64_t> g_liveConnections;
std::uint64_t g_nextSerial = 1;

std::mutex g_clientListMutex;
SimConnectClient* g_clientHead = nullptr;
SimConnectClient* g_clientTail = nullptr;
std::atomic<std::size_t> g_clientCount{0};

// The close reason of a failed read or write.
std::uint32_t reasonForStatus(std::uint32_t status) {
  switch (status) {
    case platform::kIoCancelled: return kCloseCancelled;
    case platform::kIoRemoteDisconnect:
    case platform::kIoPipeBroken:
    case platform::kIoConnectionReset: return kCloseDisconnected;
    default: return kCloseIoFailed;
  }
}

}  // namespace

std::uint32_t lf_hresultFromWin32(std::uint32_t error) {
  return error == 0 ? 0 : (0x80070000u | (error & 0xFFFFu));
}

// ---- SimConnection ----

SimConnection::SimConnection() {
  std::lock_guard lock(g_liveMutex);
  m_serial = g_nextSerial++;
  g_liveConnections.insert(m_serial);
}

SimConnection::~SimConnection() {
  m_stream.reset();  // closes what is still open; no completion is pending any more
  std::lock_guard lock(g_liveMutex);
  g_liveConnections.erase(m_serial);
  g_liveChanged.notify_all();
}

void SimConnection::release() {
  if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

std::uint32_t SimConnection::attach(std::unique_ptr<platform::AsyncStream> stream, Kind kind,
                                    std::uint32_t maxReceiveSize, bool disableNagle) {
  m_stream = std::move(stream);
  m_kind = kind;
  m_maxReceiveSize = maxReceiveSize;
  m_disableNagle = disableNagle;
  m_recv.assign(kReceiveBufferStep, 0);
  m_readPos = m_writePos = 0;
  reset();
  addRef();
  const std::uint32_t err = m_stream->startRead(m_recv.data(), m_recv.size());
  if (err != 0) {
    m_refs.fetch_sub(1, std::memory_order_acq_rel);  // the owner's reference remains
    std::lock_guard lock(m_stateMutex);
    m_state = kClosed;
    m_connectionId = 0;
    m_stream->close();
  }
  return err;
}

void SimConnection::reset() {
  std::uint32_t id = g_connectionIdCounter.fetch_add(1) + 1;
  if (id == 0) id = g_connectionIdCounter.fetch_add(1) + 1;
  m_connectionId = id;
}

bool SimConnection::close(std::uint32_t reason, std::uint32_t status, std::uint32_t osError) {
  {
    std::lock_guard lock(m_stateMutex);
    if (m_state == kClosed) return false;
    m_state = kClosed;
    m_connectionId = 0;
    if (reason != kCloseOrderly) {
      m_osError = osError;
      m_status = status;
    }
    m_failReason = reason;
    if (m_stream) m_stream->close();
  }
  std::lock_guard lock(m_sendMutex);
  m_sendQueue.clear();
  if (!m_writeInFlight) m_sendDrained.notify_all();
  return true;
}

void SimConnection::sendRequest(SimPacketPtr packet) {
  std::lock_guard stateLock(m_stateMutex);
  if (m_state != kConnected) return;  // the transport drops it
  std::unique_lock lock(m_sendMutex);
  m_sendQueue.push_back(std::move(packet));
  pumpWrites(lock);
}

void SimConnection::pumpWrites(std::unique_lock<std::mutex>& lock) {
  while (!m_writeInFlight && !m_sendQueue.empty()) {
    m_writing = std::move(m_sendQueue.front());
    m_sendQueue.pop_front();
    m_writeInFlight = true;
    const std::uint8_t* data = m_writing->data.get();
    const std::uint32_t size = m_writing->size;
    addRef();
    // The mark keeps every other write out; the queue stays open to callers meanwhile.
    lock.unlock();
    const std::uint32_t err = m_stream->startWrite(data, size);
    lock.lock();
    if (err == 0) return;
    // The write could not start: that packet is dropped and the next one tried, so that the queue
    // never stalls. The caller holds a reference, so this is never the last one.
    m_refs.fetch_sub(1, std::memory_order_acq_rel);
    m_writing.reset();
    m_writeInFlight = false;
  }
  if (!m_writeInFlight) m_sendDrained.notify_all();
}

bool SimConnection::waitSendDrained(std::chrono::milliseconds bound) {
  std::unique_lock lock(m_sendMutex);
  return m_sendDrained.wait_for(lock, bound, [this] { return m_sendQueue.empty() && !m_writeInFlight; });
}

void lf_ioCompletion(SimConnection& c, platform::IoKind kind, std::uint32_t status, std::uint32_t osError,
                     std::size_t bytes) {
  if (kind == platform::IoKind::Read)
    c.onReadCompleted(status, osError, bytes);
  else
    c.onWriteCompleted(status, osError);
}

void SimConnection::onWriteCompleted(std::uint32_t status, std::uint32_t osError) {
  {
    std::unique_lock lock(m_sendMutex);
    m_writing.reset();
    m_writeInFlight = false;
    if (status == platform::kIoSuccess && m_state == kConnected) {
      pumpWrites(lock);
    } else {
      m_sendQueue.clear();
      m_sendDrained.notify_all();
    }
  }
  if (status != platform::kIoSuccess) close(reasonForStatus(status), status, osError);
  release();
}

void SimConnection::onReadCompleted(std::uint32_t status, std::uint32_t osError, std::size_t bytes) {
  std::uint32_t reason = kCloseOrderly;
  if (status == platform::kIoBufferOverflow) {
    if (m_kind == kSocket) reason = kCloseIoFailed;  // on a pipe: a partial message, read on
  } else if (status != platform::kIoSuccess) {
    reason = reasonForStatus(status);
  } else if (bytes == 0) {
    reason = kCloseZeroRead;
    status = platform::kIoLinkFailed;
  }
  if (reason != kCloseOrderly) {
    close(reason, status, osError);
    release();
    return;
  }
  if (m_firstReadSize == 0xFFFFFFFF) m_firstReadSize = static_cast<std::uint32_t>(bytes);
  onReceived(m_recv.data() + m_writePos, bytes);
  m_writePos += bytes;
  if (lf_nextPacket() && m_state == kConnected) startRead();
  release();
}

void SimConnection::startRead() {
  addRef();
  const std::uint32_t err = m_stream->startRead(m_recv.data() + m_writePos, m_recv.size() - m_writePos);
  if (err == 0) return;
  m_refs.fetch_sub(1, std::memory_order_acq_rel);  // the completing read still holds one
  close(kCloseIoFailed, lf_hresultFromWin32(err), err);
}

bool SimConnection::lf_nextPacket() {
  for (;;) {
    bool progressed = false;
    const std::size_t avail = m_writePos - m_readPos;
    if (avail >= 4) {
      const std::uint32_t size = sc::getU32(m_recv.data() + m_readPos);
      if (size > m_maxReceiveSize || size > kMaxReceiveBuffer) {
        close(kCloseTooLarge, static_cast<std::uint32_t>(kSimAbort), 0);
        return false;
      }
      if (size == 0) {
        // Zero bytes between messages: skipped one by one up to the next non-zero byte.
        while (m_readPos < m_writePos && m_recv[m_readPos] == 0) ++m_readPos;
        progressed = true;
      } else if (size < 4) {
        close(kCloseBadSize, static_cast<std::uint32_t>(kSimAbort), 0);
        return false;
      } else if (avail >= size) {
        SimPacketPtr packet;
        try {
          packet = std::make_unique<SimPacket>();
          packet->data.reset(new std::uint8_t[size]);
        } catch (const std::bad_alloc&) {
          close(kCloseNoMemory, static_cast<std::uint32_t>(kSimOutOfMemory), 0);
          return false;
        }
        std::memcpy(packet->data.get(), m_recv.data() + m_readPos, size);
        packet->size = size;
        packet->connectionId = m_connectionId;
        m_readPos += size;
        onPacket(std::move(packet));
        progressed = true;
      }
    }
    if (m_readPos == m_writePos) m_readPos = m_writePos = 0;
    if (m_writePos == m_recv.size()) {
      if (m_readPos == 0) {
        if (m_recv.size() < kMaxReceiveBuffer) {
          try {
            m_recv.resize(std::min<std::size_t>(m_recv.size() + kReceiveBufferStep, kMaxReceiveBuffer));
          } catch (const std::bad_alloc&) {
            close(kCloseNoMemory, static_cast<std::uint32_t>(kSimOutOfMemory), 0);
            return false;
          }
        }
      } else {
        std::memmove(m_recv.data(), m_recv.data() + m_readPos, m_writePos - m_readPos);
        m_writePos -= m_readPos;
        m_readPos = 0;
      }
    }
    if (!progressed) return true;
  }
}

// ---- SimConnectClient ----

SimConnectClient::SimConnectClient() : m_compose(sc::kComposeBufferSize, 0) {}

std::mutex& SimConnectClient::composeLock() {
  static std::mutex m;
  return m;
}

void SimConnectClient::reset() {
  SimConnection::reset();
  if (m_disableNagle && kind() == kSocket && m_stream) m_stream->setNoDelay(true);
  m_state = kConnected;
}

bool SimConnectClient::close(std::uint32_t reason, std::uint32_t status, std::uint32_t osError) {
  const bool closed = SimConnection::close(reason, status, osError);
  // A simulator that went away: reported once, for the failure that closed a connected link; never
  // for the orderly close or what completes after it.
  if (closed && reason != kCloseOrderly && reason != kCloseCancelled) gf_simWasClosed();
  return closed;
}

void SimConnectClient::onPacket(SimPacketPtr packet) {
  // An empty message carries nothing for the dispatch.
  if (packet->size == 0) return;
  std::lock_guard lock(m_clientMutex);
  m_received.push_back(std::move(packet));
}

SimPacketPtr SimConnectClient::takeReceived() {
  std::lock_guard lock(m_clientMutex);
  if (m_received.empty()) return nullptr;
  SimPacketPtr p = std::move(m_received.front());
  m_received.pop_front();
  return p;
}

std::size_t SimConnectClient::receivedCount() {
  std::lock_guard lock(m_clientMutex);
  return m_received.size();
}

void SimConnectClient::dropReceived() {
  std::deque<SimPacketPtr> old;
  {
    std::lock_guard lock(m_clientMutex);
    old.swap(m_received);
  }
}

std::uint8_t* SimConnectClient::lf_reservePacket(std::uint32_t type, std::uint32_t size) {
  if (size < sc::kSendHeaderSize || size > m_compose.size() - m_composePos) return nullptr;
  std::uint8_t* p = m_compose.data() + m_composePos;
  m_sendId = m_sendId == 0xFFFFFFFFu ? 1u : m_sendId + 1u;
  sc::putU32(p, size);
  sc::putU32(p + 4, sc::kProtocolVersion);
  sc::putU32(p + 8, sc::kPacketIdFlag | type);
  sc::putU32(p + 12, m_sendId);
  m_composePos += size;
  return p;
}

void SimConnectClient::lf_withdrawPacket(std::uint8_t* packet) {
  const auto start = static_cast<std::size_t>(packet - m_compose.data());
  std::memset(packet, 0, m_composePos - start);
  m_composePos = start;
}

void SimConnectClient::lf_commitPackets() {
  if (m_composePos == 0) return;
  auto packet = std::make_unique<SimPacket>();
  packet->data.reset(new std::uint8_t[m_composePos]);
  std::memcpy(packet->data.get(), m_compose.data(), m_composePos);
  packet->size = static_cast<std::uint32_t>(m_composePos);
  packet->connectionId = connectionId();
  std::memset(m_compose.data(), 0, m_composePos);
  m_composePos = 0;
  sendRequest(std::move(packet));
}

bool SimConnectClient::firstShortMessageOf(std::uint32_t id) {
  const std::uint64_t bit = std::uint64_t{1} << (id < 63 ? id : 63);
  return (m_shortLogged.fetch_or(bit) & bit) == 0;
}

// ---- process-wide lists ----

void lf_linkClient(SimConnectClient* client) {
  std::lock_guard lock(g_clientListMutex);
  client->m_prev = g_clientTail;
  client->m_next = nullptr;
  if (g_clientTail)
    g_clientTail->m_next = client;
  else
    g_clientHead = client;
  g_clientTail = client;
  ++g_clientCount;
}

void lf_unlinkClient(SimConnectClient* client) {
  std::lock_guard lock(g_clientListMutex);
  if (client->m_prev)
    client->m_prev->m_next = client->m_next;
  else if (g_clientHead == client)
    g_clientHead = client->m_next;
  else
    return;  // not in the list
  if (client->m_next)
    client->m_next->m_prev = client->m_prev;
  else
    g_clientTail = client->m_prev;
  client->m_prev = client->m_next = nullptr;
  --g_clientCount;
}

std::size_t lf_clientCount() { return g_clientCount.load(); }

std::size_t lf_liveConnectionCount() {
  std::lock_guard lock(g_liveMutex);
  return g_liveConnections.size();
}

bool lf_waitConnectionsGone(std::uint64_t serial, std::chrono::milliseconds bound) {
  std::unique_lock lock(g_liveMutex);
  return g_liveChanged.wait_for(lock, bound, [serial] {
    if (g_liveConnections.count(serial) != 0) return false;
    return g_clientCount.load() != 0 || g_liveConnections.empty();
  });
}

}  // namespace amb
