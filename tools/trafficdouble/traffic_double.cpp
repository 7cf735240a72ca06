#include "trafficdouble/traffic_double.hpp"

#include <fmt/format.h>
#include <zlib.h>

#include <charconv>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <utility>

namespace amb::tools {

namespace {

constexpr std::size_t kTimestampField = 14;

// A weather message as RealTraffic sends it: the QNH in hundredths of inches of mercury.
const char* const kDefaultWeather =
    R"({"ICAO": "KJFK","QNH": 2996, "METAR": "KJFK 052051Z 25016KT 10SM FEW050 FEW250 00/M09 A2996 RMK AO2 SLP144 T00001094 56025", "NAME": "John F Kennedy International Airport", "IATA": "JFK","DISTNM": 0.1})";

// A socket to send datagrams from. The system picks its port among the ephemeral ones, a range that
// on Linux (and under Wine) holds RealTraffic's fixed ports: a sender that took one before the
// program binds it would keep the program's reader out. Such a port stays held while another is
// taken, so the next pick cannot be the same.
bool openSender(platform::Socket& udp, std::uint16_t trafficPort, std::uint16_t weatherPort) {
  platform::Socket held[2];
  for (platform::Socket& h : held) {
    if (!udp.openUdp() || !udp.bindIpv4(false, 0)) return false;
    const std::uint16_t port = udp.localPort();
    if (port != trafficPort && port != weatherPort) return true;
    h.takeHandleOf(udp);
  }
  return udp.openUdp() && udp.bindIpv4(false, 0);
}

double wallSeconds() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

// The start and end of field n of a comma-separated line; npos when the line has fewer fields.
std::pair<std::size_t, std::size_t> fieldBounds(const std::string& line, std::size_t n) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string::npos) return {std::string::npos, std::string::npos};
    start = comma + 1;
  }
  std::size_t end = line.find(',', start);
  if (end == std::string::npos) end = line.size();
  return {start, end};
}

}  // namespace

TrafficDouble::TrafficDouble(TrafficDoubleOptions options) : m_options(std::move(options)) {
  if (m_options.speed <= 0) m_options.speed = 1.0;
  if (m_options.weatherMessages.empty()) m_options.weatherMessages.emplace_back(kDefaultWeather);
}

TrafficDouble::~TrafficDouble() { stop(); }

std::vector<std::string> TrafficDouble::readLines(const std::filesystem::path& file) {
#ifdef _WIN32
  gzFile in = gzopen_w(file.c_str(), "rb");  // Windows paths are wide
#else
  gzFile in = gzopen(file.c_str(), "rb");
#endif
  if (in == nullptr) throw std::runtime_error(fmt::format("cannot open {}", file.string()));
  std::vector<std::string> lines;
  std::string line;
  char chunk[8192];
  for (;;) {
    const int n = gzread(in, chunk, sizeof chunk);
    if (n < 0) {
      gzclose(in);
      throw std::runtime_error(fmt::format("cannot read {}", file.string()));
    }
    if (n == 0) break;
    for (int i = 0; i < n; ++i) {
      const char c = chunk[i];
      if (c == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(std::move(line));
        line.clear();
      } else {
        line.push_back(c);
      }
    }
  }
  if (!line.empty()) lines.push_back(std::move(line));
  gzclose(in);
  return lines;
}

std::vector<std::string> TrafficDouble::readWeatherMessages(const std::filesystem::path& file) {
  std::vector<std::string> messages;
  for (const std::string& line : readLines(file)) {
    const std::size_t brace = line.find('{');
    if (brace != std::string::npos) messages.push_back(line.substr(brace));
  }
  return messages;
}

double TrafficDouble::timestampOf(const std::string& line) {
  const auto [start, end] = fieldBounds(line, kTimestampField);
  if (start == std::string::npos) return 0;
  double value = 0;
  const auto [ptr, ec] = std::from_chars(line.data() + start, line.data() + end, value);
  return ec == std::errc{} && ptr != line.data() + start && std::isfinite(value) ? value : 0;
}

std::string TrafficDouble::withTimestamp(const std::string& line, double timestamp) {
  const auto [start, end] = fieldBounds(line, kTimestampField);
  if (start == std::string::npos) return line;
  return line.substr(0, start) + fmt::format("{:.2f}", timestamp) + line.substr(end);
}

std::string TrafficDouble::generatedLine(std::uint32_t aircraft, double seconds, double timestamp,
                                         double centreLatitude, double centreLongitude) {
  struct Kind {
    const char* airline;
    const char* type;
  };
  // Airlines and types of the recorded JFK traffic, which the data base of the tests knows.
  static constexpr Kind kKinds[] = {{"JBU", "A320"}, {"DAL", "A321"}, {"AAL", "B738"}, {"UAL", "B739"},
                                    {"RPA", "E75L"}, {"JBU", "E190"}, {"DAL", "A319"}, {"UAL", "B752"}};
  constexpr double kPi = 3.14159265358979323846;
  const std::uint64_t i = aircraft;
  const Kind& kind = kKinds[i % std::size(kKinds)];
  const double radiusNm = 3.0 + (i * 7919 % 2500) / 100.0;
  const double speedKt = 180.0 + (i * 31 % 121);
  const double altitudeFt = 4000.0 + (i * 104729 % 331) * 100.0;
  const double turn = i % 2 == 0 ? 1.0 : -1.0;  // clockwise or not
  // The bearing from the centre, in radians clockwise from north: the aircraft flies its circle at
  // its speed, so the bearing changes by speed / radius radians an hour.
  const double bearing = (static_cast<double>(i) * 137.508) * kPi / 180.0 + turn * speedKt / radiusNm * seconds / 3600.0;
  const double latitude = centreLatitude + radiusNm / 60.0 * std::cos(bearing);
  const double longitude =
      centreLongitude + radiusNm / 60.0 * std::sin(bearing) / std::cos(centreLatitude * kPi / 180.0);
  double track = std::fmod((bearing * 180.0 / kPi) + turn * 90.0, 360.0);
  if (track <= 0) track += 360.0;
  return fmt::format("RTTFC,{},{:.5f},{:.5f},{:.0f},0,0,{:.0f},{:.0f},{}{},{},N{}GN,JFK,BOS,{:.2f},X2,,adsb_icao,"
                     "{:.0f},-1,-1,-1,-1,-1,-1,{:.1f},0,none,A3,-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,",
                     10000000 + i, latitude, longitude, altitudeFt, track, speedKt, kind.airline, 1000 + i, kind.type,
                     10000 + i, timestamp, altitudeFt, track);
}

void TrafficDouble::start() {
  if (!m_threads.empty()) return;
  m_stop = false;
  if (!m_options.trafficFile.empty()) m_lines = readLines(m_options.trafficFile);
  if (!m_options.recordFile.empty()) {
    m_recordStream.open(m_options.recordFile, std::ios::app);
    if (!m_recordStream) throw std::runtime_error(fmt::format("cannot write {}", m_options.recordFile.string()));
  }
  if (m_options.link) m_threads.emplace_back([this] { linkThread(); });
  if (!m_options.trafficFile.empty()) m_threads.emplace_back([this] { trafficThread(); });
  if (m_options.generatedAircraft > 0) m_threads.emplace_back([this] { generatorThread(); });
  if (m_options.weather) m_threads.emplace_back([this] { weatherThread(); });
}

void TrafficDouble::stop() {
  {
    std::lock_guard lock(m_waitMutex);
    m_stop = true;
  }
  m_wake.notify_all();
  m_linkSocket.close();
  for (std::thread& t : m_threads)
    if (t.joinable()) t.join();
  m_threads.clear();
}

std::vector<ReceivedCommand> TrafficDouble::commands() const {
  std::lock_guard lock(m_recordMutex);
  return m_commands;
}

void TrafficDouble::dropLink() { m_linkSocket.close(); }

void TrafficDouble::readAgain() {
  {
    std::lock_guard lock(m_waitMutex);
    m_readAgain = true;
  }
  m_wake.notify_all();
}

void TrafficDouble::record(std::string text) {
  std::lock_guard lock(m_recordMutex);
  const double now = wallSeconds();
  if (m_recordStream.is_open()) m_recordStream << fmt::format("{:.3f}\t{}\n", now, text) << std::flush;
  m_commands.push_back(ReceivedCommand{now, std::move(text)});
}

bool TrafficDouble::stallUntilReadAgain() {
  std::unique_lock lock(m_waitMutex);
  m_notReading = true;
  const auto ended = [this] { return m_stop.load() || m_readAgain; };
  if (m_options.readAgainAfter.count() > 0)
    m_wake.wait_for(lock, m_options.readAgainAfter, ended);
  else
    m_wake.wait(lock, ended);
  m_notReading = false;
  m_readAgain = false;
  return !m_stop.load();
}

bool TrafficDouble::waitUntil(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_waitMutex);
  return !m_wake.wait_until(lock, deadline, [this] { return m_stop.load(); });
}

void TrafficDouble::linkThread() {
  const std::string reply = fmt::format(R"({{"level":{},"version":"{}"}})", m_options.professional ? 2 : 1,
                                        m_options.version);
  for (;;) {
    {
      // Opened under the wait lock, so that stop() either sees this socket or this thread sees stop.
      std::lock_guard lock(m_waitMutex);
      if (m_stop) return;
      m_linkSocket.openTcp();
    }
    if (m_options.receiveBuffer > 0) m_linkSocket.setBufferSizes(m_options.receiveBuffer, 0);
    if (m_linkSocket.connect(m_options.host, m_options.linkPort)) {
      ++m_connections;
      record("#connected");
      std::string pending;
      char chunk[4096];
      bool saidExit = false;
      bool answered = false;
      bool stalled = false;
      while (!saidExit) {
        const long n = m_linkSocket.receive(chunk, sizeof chunk);
        if (n <= 0) break;
        pending.append(chunk, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find("\r\n")) != std::string::npos;) {
          std::string command = pending.substr(0, end);
          pending.erase(0, end + 2);
          const bool version = command == "Qs999=version";
          saidExit = command == "exit";
          record(std::move(command));
          // The reply goes in one write: the program reads it with a single receive.
          if (version) answered = m_linkSocket.sendAll(reply);
          if (saidExit) break;
        }
        // RealTraffic hung once it has answered: it reads no more until told or its time has passed.
        if (m_options.stopReading && answered && !stalled && !saidExit) {
          stalled = true;
          if (!stallUntilReadAgain()) break;
        }
      }
      record("#disconnected");
    }
    m_linkSocket.close();
    if (!waitUntil(std::chrono::steady_clock::now() + m_options.reconnectInterval)) return;
  }
}

void TrafficDouble::trafficThread() {
  platform::Socket udp;
  if (!openSender(udp, m_options.trafficPort, m_options.weatherPort)) return;
  do {
    double first = 0;
    for (const std::string& line : m_lines)
      if ((first = timestampOf(line)) > 0) break;
    const auto start = std::chrono::steady_clock::now();
    const double wallStart = wallSeconds();
    for (const std::string& line : m_lines) {
      const double stamp = timestampOf(line);
      double offset = 0;
      if (stamp > 0) {
        offset = std::max(0.0, (stamp - first) / m_options.speed);
        const auto deadline = start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                          std::chrono::duration<double>(offset));
        if (!waitUntil(deadline)) return;
      } else if (m_stop) {
        return;
      }
      udp.sendTo(m_options.host, m_options.trafficPort, stamp > 0 ? withTimestamp(line, wallStart + offset) : line);
      ++m_linesSent;
    }
  } while (m_options.loop && !m_stop);
  m_trafficDone = true;
}

void TrafficDouble::generatorThread() {
  platform::Socket udp;
  if (!openSender(udp, m_options.trafficPort, m_options.weatherPort)) return;
  const std::uint32_t n = m_options.generatedAircraft;
  const auto start = std::chrono::steady_clock::now();
  const double wallStart = wallSeconds();
  // Every 10 ms the lines that have come due: aircraft i is reported at i/n of every second.
  const auto tick = std::chrono::milliseconds(10);
  std::uint64_t sent = 0;  // lines since the start, in the order they come due
  for (auto next = start + tick;; next += tick) {
    if (!waitUntil(next)) return;
    const double elapsed = std::chrono::duration<double>(next - start).count();
    const auto due = static_cast<std::uint64_t>(elapsed * n);
    for (; sent < due; ++sent) {
      const auto aircraft = static_cast<std::uint32_t>(sent % n);
      const double at = static_cast<double>(sent / n) + static_cast<double>(aircraft) / n;
      udp.sendTo(m_options.host, m_options.trafficPort,
                 generatedLine(aircraft, at, wallStart + at, m_options.centreLatitude, m_options.centreLongitude));
      ++m_linesSent;
    }
  }
}

void TrafficDouble::weatherThread() {
  platform::Socket udp;
  if (!openSender(udp, m_options.trafficPort, m_options.weatherPort)) return;
  auto next = std::chrono::steady_clock::now();
  for (std::size_t i = 0;; ++i) {
    const std::string& message = m_options.weatherMessages[i % m_options.weatherMessages.size()];
    udp.sendTo(m_options.host, m_options.weatherPort, message);
    ++m_weatherSent;
    next += m_options.weatherInterval;
    if (!waitUntil(next)) return;
  }
}

}  // namespace amb::tools
