#pragma once
// A stand-in for RealTraffic. It connects to the program's TCP command port as RealTraffic does,
// answers "Qs999=version" with a version JSON, records every command it receives with its time, and
// connects again after "exit" or a lost link. It sends traffic lines from a recording (plain or
// gzip) to the traffic port at the recorded pace or faster, with the timestamps moved to the
// present, or generated traffic of any size (one line per aircraft per second), and a weather
// message to the weather port at a fixed interval.

#include "platform/socket.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace amb::tools {

struct TrafficDoubleOptions {
  std::string host = "127.0.0.1";

  bool link = true;  // connect to the command port
  std::uint16_t linkPort = 10747;
  bool professional = false;        // answer level 2 instead of 1
  std::string version = "9.0.100";  // the "version" of the reply
  std::chrono::milliseconds reconnectInterval{200};
  // RealTraffic hung: after its version reply the double reads nothing more on the link until
  // readAgain(), or until this time has passed (0: not before readAgain()).
  bool stopReading = false;
  std::chrono::milliseconds readAgainAfter{0};
  // The link's receive buffer in bytes (0: the system's); a small one fills after a few lines.
  int receiveBuffer = 0;
  std::filesystem::path recordFile;  // every received command is appended here too (optional)

  std::filesystem::path trafficFile;  // a recording of traffic lines; none: no traffic
  std::uint16_t trafficPort = 49005;
  double speed = 1.0;  // 2.0 replays twice as fast
  bool loop = false;   // start the recording again at its end

  // Generated traffic instead of a recording: this many aircraft circle the centre, each reported
  // once a second (the lines of one second spread evenly over it); 0: none.
  std::uint32_t generatedAircraft = 0;
  double centreLatitude = 40.6413;  // JFK
  double centreLongitude = -73.7781;

  bool weather = true;
  std::uint16_t weatherPort = 49004;
  std::vector<std::string> weatherMessages;  // sent in turn; empty: one built-in message
  std::chrono::milliseconds weatherInterval{10000};
};

struct ReceivedCommand {
  double time = 0;   // seconds since 1970 at receipt
  std::string text;  // without the closing "\r\n"; "#connected" and "#disconnected" mark the link
};

class TrafficDouble {
public:
  explicit TrafficDouble(TrafficDoubleOptions options);
  ~TrafficDouble();
  TrafficDouble(const TrafficDouble&) = delete;
  TrafficDouble& operator=(const TrafficDouble&) = delete;

  // Starts the link, traffic and weather threads; throws std::runtime_error when the recording
  // cannot be read.
  void start();
  // Ends every thread (also a link blocked in a receive) and waits for them.
  void stop();

  std::vector<ReceivedCommand> commands() const;
  std::size_t connections() const { return m_connections.load(); }
  std::size_t linesSent() const { return m_linesSent.load(); }
  std::size_t weatherSent() const { return m_weatherSent.load(); }
  // The traffic replay has sent the whole recording (never with loop).
  bool trafficDone() const { return m_trafficDone.load(); }
  // Drops the current link as a crashed RealTraffic would; the double connects again.
  void dropLink();
  // Ends a stop of reading (stopReading), or the next one when none is under way.
  void readAgain();
  // The double has stopped reading and not yet read again.
  bool notReading() const { return m_notReading.load(); }

  // The recording's lines (read through zlib, which also reads plain files).
  static std::vector<std::string> readLines(const std::filesystem::path& file);
  // The JSON messages of a recorded weather file ("<time> : {json}" per line, or bare JSON lines).
  static std::vector<std::string> readWeatherMessages(const std::filesystem::path& file);
  // The line with its timestamp field (14) replaced; unchanged when it has no such field.
  static std::string withTimestamp(const std::string& line, double timestamp);
  // Field 14 of a line; 0 when missing or not a number.
  static double timestampOf(const std::string& line);
  // The line of generated aircraft `aircraft` (0, 1, ...) `seconds` after the generation began,
  // stamped `timestamp`. Airborne aircraft between 3 and 28 nm from the centre fly circles round it
  // at 180 to 300 kt and 4,000 to 37,000 ft, clockwise or not, with the tracks and types and
  // callsigns of airliners; every line passes the program's checks within 30 nm of the centre.
  static std::string generatedLine(std::uint32_t aircraft, double seconds, double timestamp,
                                   double centreLatitude, double centreLongitude);

private:
  void linkThread();
  void trafficThread();
  void generatorThread();
  void weatherThread();
  void record(std::string text);
  // Waits until the deadline or stop; false on stop.
  bool waitUntil(std::chrono::steady_clock::time_point deadline);
  // The hang of stopReading; false on stop.
  bool stallUntilReadAgain();

  TrafficDoubleOptions m_options;
  std::vector<std::string> m_lines;
  std::atomic<bool> m_stop{false};
  std::mutex m_waitMutex;
  std::condition_variable m_wake;
  mutable std::mutex m_recordMutex;
  std::vector<ReceivedCommand> m_commands;
  std::ofstream m_recordStream;
  platform::Socket m_linkSocket;
  std::atomic<std::size_t> m_connections{0};
  std::atomic<std::size_t> m_linesSent{0};
  std::atomic<std::size_t> m_weatherSent{0};
  std::atomic<bool> m_trafficDone{false};
  std::atomic<bool> m_notReading{false};
  bool m_readAgain = false;  // guarded by m_waitMutex
  std::vector<std::thread> m_threads;
};

}  // namespace amb::tools
