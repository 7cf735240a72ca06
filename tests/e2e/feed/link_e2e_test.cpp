// The feed end to end: the traffic double runs as its own process, connects to the command port
// 10747 as RealTraffic does, and replays the recorded JFK traffic and weather to 49005 and 49004,
// while this test plays the worker's side of the link and runs both readers.

#include "feed/feed_fixture.hpp"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <condition_variable>
#include <thread>

extern char** environ;

namespace amb {
namespace {

using test::waitFor;

// A child process, ended by its id when the object goes.
class Child {
public:
  explicit Child(std::vector<std::string> args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) m_pid = -1;
  }
  ~Child() { stop(); }
  pid_t pid() const { return m_pid; }
  // SIGTERM, then SIGKILL when it has not ended within the bound; the exit status, -1 when killed.
  int stop() {
    if (m_pid <= 0) return m_status;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; });
    if (!ended) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, &status, 0);
    }
    m_status = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    m_pid = -1;
    return m_status;
  }

private:
  pid_t m_pid = -1;
  int m_status = -1;
};

// Closes the server when a blocking call of the link has not come back within the bound.
class LinkGuard {
public:
  explicit LinkGuard(std::chrono::seconds bound)
      : m_thread([this, bound] {
          std::unique_lock lock(m_mutex);
          if (!m_cv.wait_for(lock, bound, [this] { return m_done; })) {
            m_fired = true;
            lf_closeServer();
          }
        }) {}
  ~LinkGuard() {
    {
      std::lock_guard lock(m_mutex);
      m_done = true;
    }
    m_cv.notify_all();
    m_thread.join();
  }
  bool fired() const { return m_fired; }

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_done = false;
  std::atomic<bool> m_fired{false};
  std::thread m_thread;
};

class FeedEndToEnd : public test::FeedTest {};

TEST_F(FeedEndToEnd, RecordedTrafficAndWeatherReachTheQueueAndTheCommandsReachRealTraffic) {
  g_realTrafficLocal = 1;
  g_trafficReader.setUserPosition(40.6413, -73.7781);
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = AirportData{"KJFK", "JFK", 40.6413, -73.7781, 13};
  }
  g_parkAirportLoaded = 1;
  g_trafficReader.setParkElevation(13.0);
  lf_startServer("10747");

  const auto record = m_dir / "commands.txt";
  Child traffic({AMB_TRAFFIC_DOUBLE, "--port", "10747", "--professional", "--version", "9.0.100", "--record",
                 record.string(), "--traffic", test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz").string(),
                 "--speed", "60", "--weather", test::testData("traffic/KJFK_20190305_2028Z_weather.json").string(),
                 "--weather-interval", "0.2"});
  ASSERT_GT(traffic.pid(), 0);

  {
    LinkGuard guard(std::chrono::seconds(30));
    lf_waitForRealTraffic();
    ASSERT_FALSE(guard.fired()) << "the double did not connect";
  }
  EXPECT_EQ(gf_rtEditionText(), "RT prof edition: 9.0.100");

  openQueue(true);
  std::thread qnh(lf_qnhReaderThread, kQnhPort);
  std::thread lines(lf_trafficReaderThread, kTrafficPort);
  EXPECT_TRUE(waitFor([] { return g_shownQnh.load() == 1015; }, std::chrono::seconds(30)));
  EXPECT_TRUE(waitFor([&] { return queueSize() >= 300; }, std::chrono::seconds(60)));

  g_engineUserAc.latitude = 40.6413;
  g_engineUserAc.longitude = -73.7781;
  g_engineUserAc.altitude = 13;
  for (int i = 0; i < 3; ++i) lf_sendPosition();
  lf_sendQs123(1551821400);
  lf_closeServer();

  g_weatherReader.stop();
  g_trafficReader.stop();
  qnh.join();
  lines.join();
  EXPECT_EQ(g_trafficReaderStatus.load(), ReaderStatus::Stopped);

  // The replayed lines carry the present time, and everything queued passed the checks.
  const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  EXPECT_NEAR(g_trafficReader.feedTimestamp.load(), now, 120);
  for (const TrafficRecord& r : takeQueue()) {
    EXPECT_NEAR(r.timestamp, now, 120);
    EXPECT_GT(r.hexid, 10000u);
    EXPECT_FALSE(r.identity.model.empty());
  }
  EXPECT_FALSE(logContains("exception"));
  EXPECT_FALSE(logContains("receive error"));

  EXPECT_TRUE(waitFor([&] {
    const auto l = test::readLines(record);
    return !l.empty() && l.back().ends_with("\t#disconnected");
  }));
  EXPECT_EQ(traffic.stop(), 0);
  std::vector<std::string> commands;
  for (const auto& l : test::readLines(record)) commands.push_back(l.substr(l.find('\t') + 1));
  const std::string qs121 = "Qs121=0;0;0.000000;13000;0;0.709324;-1.287671";
  EXPECT_EQ(commands, (std::vector<std::string>{"#connected", "Qs999=version", qs121, qs121, qs121,
                                                "Qs123=1551821400000", "exit", "#disconnected"}));
}

}  // namespace
}  // namespace amb
