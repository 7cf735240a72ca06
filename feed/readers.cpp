#include "feed/readers.hpp"

#include "core/clock.hpp"
#include "core/exit.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "feed/link.hpp"
#include "feed/qnh.hpp"
#include "feed/status.hpp"
#include "feed/traffic_line.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <exception>
#include <stdexcept>

namespace amb {

TrafficReader g_trafficReader;
WeatherReader g_weatherReader;

namespace {

// Set when status 1 was shown since the last status 2.
std::atomic<std::uint8_t> g_trafficLatch{1};
std::atomic<std::uint8_t> g_qnhLatch{1};

double trafficTimestamp() { return g_trafficReader.feedTimestamp.load(std::memory_order_relaxed); }
bool rtProfessional() { return g_rtProfessional.load(std::memory_order_relaxed) != 0; }

void readerThread(UdpReader& reader, std::uint16_t port, bool traffic) {
  try {
    lf_createSocket(reader);
    lf_bindSocket(reader, port);
    if (traffic) g_trafficReaderStatus = ReaderStatus::Receiving;
    g_qnhReaderStatus = ReaderStatus::Receiving;
    gf_repaintWindow();
    lf_logReaderConnected(reader.displayName());
    lf_receiveLoop(reader);
    reader.socket.close();
  } catch (const std::exception& e) {
    reader.socket.close();
    lf_logReaderDisconnected(reader.displayName());
    lf_readerStopped(traffic, e.what());
  }
}

}  // namespace

UdpReader::UdpReader(std::string_view displayName) : m_displayName(displayName) {}
UdpReader::~UdpReader() = default;

void UdpReader::stop() {
  stopFlag = 1;
  socket.close();
}

TrafficReader::TrafficReader() : UdpReader("Traffic Reader") { fieldViews.reserve(64); }
TrafficReader::~TrafficReader() = default;

void TrafficReader::handleMessage() {
  const std::string_view line(message, static_cast<std::size_t>(messageLength));
  if (line.find(" VEH") != std::string_view::npos) return;
  gf_splitTrafficLine(*this, line);
  processLine(*this);
}

void TrafficReader::onStop() {
  g_trafficReaderStatus = ReaderStatus::Stopped;
  gf_repaintWindow();
  gf_log("Traffic Reader has stopped");
}

void TrafficReader::setUserPosition(double latitude, double longitude) {
  std::lock_guard lock(m_mutex);
  m_userLatitude = latitude;
  m_userLongitude = longitude;
}

std::pair<double, double> TrafficReader::userPosition() const {
  std::lock_guard lock(m_mutex);
  return {m_userLatitude, m_userLongitude};
}

void TrafficReader::setParkElevation(std::optional<double> feet) {
  std::lock_guard lock(m_mutex);
  m_parkElevation = feet;
}

std::optional<double> TrafficReader::parkElevation() const {
  std::lock_guard lock(m_mutex);
  return m_parkElevation;
}

void TrafficReader::noteAirborne(std::uint32_t hexid, double time, double latitude, double longitude, double speedKt) {
  Roll& roll = m_lastAirborne[hexid];
  std::optional<double> course = roll.course;
  if (roll.airborneTime > 0 && time - roll.airborneTime <= kRollOutSeconds &&
      (roll.latitude != latitude || roll.longitude != longitude))
    course = gf_bearingRad({roll.latitude, roll.longitude}, {latitude, longitude});
  // A repeated position keeps the time it was first reported at: the feed sends the same position
  // again with fresh stamps while the aircraft flies on.
  const bool repeat = roll.airborneTime > 0 && roll.latitude == latitude && roll.longitude == longitude;
  roll = {time, repeat ? roll.time : time, latitude, longitude, speedKt, course};
  // Now and then, the aircraft no longer rolling out go.
  if (time - m_lastAirbornePruned > kRollOutSeconds) {
    std::erase_if(m_lastAirborne, [&](const auto& entry) { return time - entry.second.airborneTime > kRollOutSeconds; });
    m_lastAirbornePruned = time;
  }
}

bool TrafficReader::rollingOut(std::uint32_t hexid, double time, double latitude, double longitude) {
  const auto it = m_lastAirborne.find(hexid);
  if (it == m_lastAirborne.end() || time - it->second.airborneTime > kRollOutSeconds) return false;
  Roll& roll = it->second;
  // What the speed covers in the time, half as much again, and a tenth of a mile for the feed's play.
  const double reach = 1.5 * roll.speedKt * std::max(time - roll.time, 0.0) / 3600.0 + 0.1;
  const double nm = gf_distanceNm({roll.latitude, roll.longitude}, {latitude, longitude});
  if (nm > reach) return false;
  // It rolls on the way it came down: a record off to the side is the turn off the runway, or no
  // part of the roll at all.
  if (roll.course && nm > kRollPlayNm &&
      std::fabs(gf_angleDiff(*roll.course, gf_bearingRad({roll.latitude, roll.longitude}, {latitude, longitude}))) >
          kRollOffCourseDeg * kDegToRad)
    return false;
  roll.time = time;
  roll.latitude = latitude;
  roll.longitude = longitude;
  return true;
}

void TrafficReader::addSeenCallsign(std::string_view callsign) {
  // Escaped as the traffic record's callsign is.
  std::string text = gf_isPlainText(callsign) ? std::string(callsign) : gf_peerText(callsign, std::string::npos);
  std::lock_guard lock(m_mutex);
  m_seenCallsigns.emplace(std::move(text));
}

std::set<std::string> TrafficReader::seenCallsigns() const {
  std::lock_guard lock(m_mutex);
  return m_seenCallsigns;
}

std::set<std::string> TrafficReader::takeSeenCallsigns() {
  std::lock_guard lock(m_mutex);
  return std::exchange(m_seenCallsigns, {});
}

void TrafficReader::clearSeenCallsigns() {
  std::lock_guard lock(m_mutex);
  m_seenCallsigns.clear();
}

WeatherReader::WeatherReader() : UdpReader("QNH Reader") {}

void WeatherReader::handleMessage() { lf_handleQnhMessage(*this); }

void WeatherReader::onStop() { gf_log("QNH Reader has stopped"); }

void lf_createSocket(UdpReader& reader) {
  if (const int rc = platform::socketStartup(); rc != 0) throw std::runtime_error(fmt::format("WSA startup error: {}", rc));
  if (!reader.socket.openUdp())
    throw std::runtime_error(
        fmt::format("failed to create the socket with error: {}", gf_wsaErrorText(platform::lastSocketError())));
}

void lf_bindSocket(UdpReader& reader, std::uint16_t port) {
  if (!reader.socket.bindIpv4(g_realTrafficLocal.load() != 0, port))
    throw std::runtime_error(
        fmt::format("bind to stream socket failed with error: {}", gf_wsaErrorText(platform::lastSocketError())));
}

void lf_receiveLoop(UdpReader& reader) {
  const bool local = g_realTrafficLocal.load() != 0;
  while (reader.stopFlag.load() == 0) {
    const platform::DatagramResult r = reader.socket.receiveDatagram(reader.buffer.data(), reader.buffer.size());
    if (r.kind == platform::DatagramResult::Error) {
      gf_log(fmt::format("receive error: {}", gf_wsaErrorText(platform::lastSocketError())));
      break;
    }
    if (r.kind == platform::DatagramResult::Truncated || r.size >= kReceiveBufferSize) {
      // Too big for the buffer (and its closing 0): skipped, the reader goes on.
      gf_logPeerf("buffer overrun: {} bytes", r.size);
    } else if (r.size > 0) {
      reader.buffer[r.size] = 0;
      reader.message = reader.buffer.data();
      reader.messageLength = r.size;
      reader.datagramCount.fetch_add(1);
      if (local) {
        reader.handleMessage();
      } else {
        // From another computer a repeated datagram is the same broadcast again.
        const std::string_view text(reader.message, r.size);
        if (text != reader.lastDatagram) {
          reader.lastDatagram.assign(text);
          reader.handleMessage();
        }
      }
    } else if (!reader.socket.isOpen()) {
      // Woken by a close without the stop flag: nothing more will come.
      break;
    }
  }
  reader.socket.close();
  reader.onStop();
}

void lf_trafficReaderThread(std::uint16_t port) {
  gf_setTrafficTimeSource(&trafficTimestamp, &rtProfessional);
  readerThread(g_trafficReader, port, true);
}

void lf_qnhReaderThread(std::uint16_t port) { readerThread(g_weatherReader, port, false); }

void lf_logReaderConnected(std::string_view displayName) { gf_logIndented(fmt::format("{} connected", displayName)); }

void lf_logReaderDisconnected(std::string_view displayName) {
  gf_logIndented(fmt::format("{} disconnected", displayName));
}

void gf_checkReaderDataFlow() {
  if (g_readersWatched.load() == 0) return;
  const auto check = [](UdpReader& reader, std::atomic<ReaderStatus>& status, std::atomic<std::uint8_t>& latch) {
    const std::uint32_t count = reader.datagramCount.load();
    const bool changed = count != reader.seenCount;
    reader.seenCount = count;
    if (!changed) {
      status = ReaderStatus::NoData;
      gf_repaintWindow();
      latch = 0;
    } else if (latch.load() == 0) {
      latch = 1;
      status = ReaderStatus::Receiving;
      gf_repaintWindow();
    }
  };
  check(g_weatherReader, g_qnhReaderStatus, g_qnhLatch);
  check(g_trafficReader, g_trafficReaderStatus, g_trafficLatch);
}

std::optional<double> FeedClock::admit(double feedTime) {
  if (!(feedTime >= 0 && feedTime <= kLatest)) return std::nullopt;
  const auto now = clock::steadyNow();
  std::lock_guard lock(m_mutex);
  if (!m_known) {
    m_known = true;
    m_clock = feedTime;
    m_admittedAt = now;
    return feedTime + m_offset;
  }
  const double waited = std::chrono::duration<double>(now - m_admittedAt).count();
  if (feedTime <= m_clock + kAheadSeconds + std::max(0.0, waited) && feedTime >= m_clock - kBehindSeconds) {
    m_stepLines = 0;
    if (feedTime > m_clock) {
      m_clock = feedTime;
      m_admittedAt = now;
    }
    return feedTime + m_offset;
  }
  // Outside the window: one line proves nothing, several agreeing lines are the feed's new time.
  if (m_stepLines > 0 && std::fabs(feedTime - m_stepClock) <= kAheadSeconds) {
    ++m_stepLines;
    m_stepClock = std::max(m_stepClock, feedTime);
  } else {
    m_stepLines = 1;
    m_stepClock = feedTime;
  }
  if (m_stepLines < kStepLines) return std::nullopt;
  // A step back continues the time line a second after the last admitted time.
  if (m_stepClock < m_clock) m_offset += m_clock - m_stepClock + 1;
  m_clock = m_stepClock;
  m_admittedAt = now;
  m_stepLines = 0;
  return feedTime + m_offset;
}

void FeedClock::reset() {
  std::lock_guard lock(m_mutex);
  m_known = false;
  m_clock = 0;
  m_offset = 0;
  m_stepClock = 0;
  m_stepLines = 0;
}

void gf_resetReaders() {
  g_trafficReader.feedTimestamp = 0.0;
  g_trafficReader.feedClock.reset();
  g_trafficReader.clearSeenCallsigns();
  g_trafficReader.stopFlag = 0;
  g_weatherReader.stopFlag = 0;
  g_weatherReader.datagramCount = 0;
  g_weatherReader.seenCount = 0;
  g_trafficLatch = 1;
  g_qnhLatch = 1;
  g_weatherReader.lastQnh = 1013;
}

void gf_resetReaderState() {
  for (UdpReader* r : {static_cast<UdpReader*>(&g_trafficReader), static_cast<UdpReader*>(&g_weatherReader)}) {
    r->stop();
    r->stopFlag = 0;
    r->datagramCount = 0;
    r->seenCount = 0;
    r->message = nullptr;
    r->messageLength = 0;
    r->lastDatagram.clear();
  }
  g_trafficReader.fieldViews.clear();
  g_trafficReader.callsignCollection = 0;
  g_trafficReader.setUserPosition(0, 0);
  g_trafficReader.setParkElevation(std::nullopt);
  gf_resetReaders();
}

}  // namespace amb
