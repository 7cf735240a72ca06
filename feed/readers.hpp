#pragma once
// The two UDP readers of RealTraffic's streams: traffic lines on port 49005 ("Traffic Reader") and
// weather messages with the QNH on port 49004 ("QNH Reader"). Each runs on its own detached thread
// and hands every accepted datagram to its handler. Also here: the watchdog that shows whether data
// flows, and the reset of the readers' state for a new connection.

#include "platform/socket.hpp"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace amb {

inline constexpr std::uint16_t kTrafficPort = 49005;
inline constexpr std::uint16_t kQnhPort = 49004;
inline constexpr std::size_t kReceiveBufferSize = 16384;

class UdpReader {
public:
  explicit UdpReader(std::string_view displayName);
  virtual ~UdpReader();
  UdpReader(const UdpReader&) = delete;
  UdpReader& operator=(const UdpReader&) = delete;

  // Processes the current datagram (message, messageLength).
  virtual void handleMessage() = 0;
  // Called once when the receive loop ends.
  virtual void onStop() = 0;

  // From any thread: ends the receive loop (sets the stop flag, then closes the socket, which wakes
  // the blocked receive).
  void stop();

  const std::string& displayName() const { return m_displayName; }

  const char* message = nullptr;  // the current datagram, 0-terminated in the receive buffer
  std::uint64_t messageLength = 0;
  std::atomic<std::uint8_t> stopFlag{0};
  std::atomic<std::uint32_t> datagramCount{0};  // datagrams of 1 to 16383 bytes
  std::uint32_t seenCount = 0;                  // datagramCount as the watchdog saw it last
  std::array<char, kReceiveBufferSize> buffer{};
  std::string lastDatagram;  // for dropping repeats from another computer
  platform::Socket socket;

private:
  std::string m_displayName;
};

// The feed's clock: the timestamps of the traffic lines seen so far. A line far ahead of it (a time in
// the future) or far behind it is not plausible and is refused, unless several lines in a row agree
// on the new time: then the feed's clock has stepped (RealTraffic restarted or moved its replay),
// and it follows. A step back is folded into an offset, so the timestamps handed on keep rising and
// the engine's aircraft keep flying.
class FeedClock {
public:
  // Lines may run this far ahead of the clock, plus the time the program waited since the last
  // admitted line; or this far behind it (late reports).
  static constexpr double kAheadSeconds = 300;
  static constexpr double kBehindSeconds = 900;
  // Lines in a row outside the window that make a step.
  static constexpr int kStepLines = 5;
  // No traffic line is dated before 1970 or after 2100.
  static constexpr double kLatest = 4102444800.0;

  // The timestamp to hand on, on the continuous time line; empty when the line is refused.
  std::optional<double> admit(double feedTime);
  void reset();

private:
  std::mutex m_mutex;
  bool m_known = false;
  double m_clock = 0;   // the latest admitted feed time
  double m_offset = 0;  // added to every admitted time (the sum of the steps back)
  double m_stepClock = 0;  // the time the lines outside the window agree on
  int m_stepLines = 0;
  std::chrono::steady_clock::time_point m_admittedAt{};
};

class TrafficReader : public UdpReader {
public:
  TrafficReader();
  ~TrafficReader() override;

  void handleMessage() override;  // splits the line into fieldViews and calls processLine
  void onStop() override;         // status 3, repaint, "Traffic Reader has stopped"

  // Views into the receive buffer, one per comma-separated field of the current line.
  std::vector<std::string_view> fieldViews;
  // The last parsed and plausible traffic timestamp (seconds since 1970); 0 when none.
  std::atomic<double> feedTimestamp{0.0};
  FeedClock feedClock;
  // While switched on, the reader collects every callsign it sees (the static parking side switches
  // it and takes the set).
  std::atomic<std::uint8_t> callsignCollection{0};

  // The user aircraft's position, degrees, for the radius test.
  void setUserPosition(double latitude, double longitude);
  std::pair<double, double> userPosition() const;
  // The park airport's elevation in feet, when its file gave one.
  void setParkElevation(std::optional<double> feet);
  std::optional<double> parkElevation() const;

  // The landing roll of an aircraft seen in the air: its ground records away from the park airport
  // are taken for this long after its last airborne one (seconds of the records' time), so that it
  // touches down and rolls out where the records have it. noteAirborne and rollingOut are the traffic
  // reader's own (its thread, or a test's).
  static constexpr double kRollOutSeconds = 60.0;
  static constexpr double kRollOffCourseDeg = 30.0;
  static constexpr double kRollPlayNm = 0.02;
  // A record of an aircraft in the air, or of its landing roll (taken as one).
  void noteAirborne(std::uint32_t hexid, double time, double latitude, double longitude, double speedKt);
  // A ground record within kRollOutSeconds of the aircraft's last airborne one, no farther from the
  // record before it than its speed covers since that record's position was first reported (a stale
  // record in the air far off begins no roll; a position the feed sent again is no fresher), and,
  // beyond the feed's play, within kRollOffCourseDeg of the way the airborne records came down.
  // Taken, it is the roll's last record.
  bool rollingOut(std::uint32_t hexid, double time, double latitude, double longitude);

  void addSeenCallsign(std::string_view callsign);
  std::set<std::string> seenCallsigns() const;
  // Hands the collected callsigns over and empties the set.
  std::set<std::string> takeSeenCallsigns();
  void clearSeenCallsigns();

private:
  mutable std::mutex m_mutex;  // the position, the elevation and the seen callsigns
  double m_userLatitude = 0;
  double m_userLongitude = 0;
  std::optional<double> m_parkElevation;
  std::set<std::string> m_seenCallsigns;
  // The time of each aircraft's last airborne record, those of the last kRollOutSeconds (pruned as
  // it grows, so the feed's every aircraft does not stay in it).
  struct Roll {
    double airborneTime = 0;  // the last airborne record's
    double time = 0, latitude = 0, longitude = 0, speedKt = 0;  // the last record of the roll
    std::optional<double> course;  // radians: the way the records came down, once two differ
  };
  std::unordered_map<std::uint32_t, Roll> m_lastAirborne;
  double m_lastAirbornePruned = 0;
};

class WeatherReader : public UdpReader {
public:
  WeatherReader();
  void handleMessage() override;  // the QNH handler
  void onStop() override;         // "QNH Reader has stopped"; the status stays

  std::atomic<std::int32_t> lastQnh{1013};  // hPa
};

extern TrafficReader g_trafficReader;
extern WeatherReader g_weatherReader;

// Thread bodies, started detached by the service run with ports 49005 and 49004 (0 picks a free
// port; tests read it from the reader's socket).
void lf_trafficReaderThread(std::uint16_t port);
void lf_qnhReaderThread(std::uint16_t port);

// Base operations of a reader.
void lf_createSocket(UdpReader& reader);
void lf_bindSocket(UdpReader& reader, std::uint16_t port);
void lf_receiveLoop(UdpReader& reader);

void lf_logReaderConnected(std::string_view displayName);
void lf_logReaderDisconnected(std::string_view displayName);

// The watchdog: reader status 2 when no datagram came since the last call, back to 1 once one came.
void gf_checkReaderDataFlow();
// Resets the readers' state for a new connection.
void gf_resetReaders();

// Start values of everything above (tests, and the restart's reset): also reopens the stop flags,
// the counts and the user position.
void gf_resetReaderState();

}  // namespace amb
