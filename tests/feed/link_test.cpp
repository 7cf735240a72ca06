// The command link, played from the worker's side against the traffic double on a free port.

#include "feed_fixture.hpp"
#include "support/log_check.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <nlohmann/json.hpp>

#include <condition_variable>
#include <future>
#include <iostream>
#include <memory>
#include <thread>

namespace amb {
namespace {

using test::waitFor;
using tools::TrafficDouble;
using tools::TrafficDoubleOptions;

// Latitude, longitude, pitch, bank, heading, altitude, height above ground, ground speed.
constexpr UserAcBlock kJfkUser{40.6413, -73.7781, -0.05, 0.1, 1.5, 35000.4, 0, 300};

constexpr const char* kJfkQs121 = "Qs121=-5000;10000;1.500000;35000400;300000;0.709324;-1.287671";

// The worker's part of the link as the service run and the main loop play it: the handshake, then
// the position at the program's cadence (once a second there, shorter here), until it is stopped.
class LinkWorker {
public:
  explicit LinkWorker(std::chrono::milliseconds every)
      : m_thread([this, every](std::stop_token stop) { run(stop, every); }) {}
  ~LinkWorker() { stop(); }
  void stop() {
    m_thread.request_stop();
    lf_stopAccepting();  // ends a wait for RealTraffic, as the exit does
    if (m_thread.joinable()) m_thread.join();
  }
  // What the worker's link calls threw (the service run would end with it).
  std::string error() const {
    std::lock_guard lock(m_mutex);
    return m_error;
  }

private:
  void run(std::stop_token stop, std::chrono::milliseconds every) {
    try {
      lf_waitForRealTraffic();
      std::mutex mutex;
      std::condition_variable_any tick;
      while (!stop.stop_requested()) {
        lf_sendPosition();
        std::unique_lock lock(mutex);
        tick.wait_for(lock, stop, every, [] { return false; });
      }
    } catch (const std::exception& e) {
      std::lock_guard lock(m_mutex);
      m_error = e.what();
    }
  }

  mutable std::mutex m_mutex;
  std::string m_error;
  std::jthread m_thread;  // last: it starts once the rest is built
};

// Connections that are not RealTraffic: every other one closes at once, the rest stay open and say
// nothing (the returned sockets hold them open).
std::vector<std::unique_ptr<platform::Socket>> connectStorm(std::uint16_t port, int count) {
  std::vector<std::unique_ptr<platform::Socket>> silent;
  for (int i = 0; i < count; ++i) {
    auto s = std::make_unique<platform::Socket>();
    if (!s->openTcp() || !s->connect("127.0.0.1", port)) {
      ADD_FAILURE() << "connect " << i << " failed: " << platform::lastSocketError();
      break;
    }
    if (i % 2 == 0)
      s->close();
    else
      silent.push_back(std::move(s));
  }
  return silent;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class Link : public test::FeedTest {
protected:
  void SetUp() override {
    FeedTest::SetUp();
    g_realTrafficLocal = 1;
    lf_startServer("0");
    m_port = g_rtListenSocket.localPort();
    ASSERT_NE(m_port, 0);
  }
  void TearDown() override {
    lf_closeServer();
    if (m_double) m_double->stop();
    FeedTest::TearDown();
  }

  // A RealTraffic that hangs once it has answered stops reading (stopReading) with a receive buffer
  // as small as the system allows.
  void startDouble(bool professional, bool stopReading = false) {
    TrafficDoubleOptions o;
    o.linkPort = m_port;
    o.professional = professional;
    o.stopReading = stopReading;
    o.receiveBuffer = stopReading ? 1 : 0;
    o.version = "9.0.100";
    o.weather = false;
    o.reconnectInterval = std::chrono::milliseconds(20);
    m_double = std::make_unique<TrafficDouble>(o);
    m_double->start();
  }

  std::vector<std::string> commands() const {
    std::vector<std::string> out;
    for (const auto& c : m_double->commands()) out.push_back(c.text);
    return out;
  }
  bool received(const std::string& text) const {
    const auto c = commands();
    return std::find(c.begin(), c.end(), text) != c.end();
  }
  // Whether the program closed the connection (after its version request) within a bound.
  static bool closedByTheProgram(platform::Socket& peer) {
    char buffer[256];
    return waitFor([&] { return peer.waitReadable(100) == 1 && peer.receive(buffer, sizeof buffer) <= 0; });
  }

  std::uint16_t m_port = 0;
  std::unique_ptr<TrafficDouble> m_double;
};

// The handshake, position and time, and one "exit" however often the link is closed. (Losing and
// regaining RealTraffic is proved end to end.)
TEST_F(Link, HandshakePositionAndTimeGoOutInTheirFormatsAndTheCloseSaysExitOnce) {
  startDouble(true);
  lf_waitForRealTraffic();
  EXPECT_EQ(g_rtProfessional.load(), 1);
  EXPECT_TRUE(logHas("RealTraffic connected"));
  g_engineUserAc = kJfkUser;
  lf_sendPosition();
  // No position while the user aircraft sits at the zero point.
  g_engineUserAc.latitude = 0.0005;
  g_engineUserAc.longitude = 0.01;
  lf_sendPosition();
  // No time before the simulator knows one.
  lf_sendQs123(0);
  lf_sendQs123(1551821400);
  lf_closeServer();
  lf_closeServer();
  ASSERT_TRUE(waitFor([&] { return received("#disconnected"); }));
  EXPECT_EQ(commands(), (std::vector<std::string>{"#connected", "Qs999=version", kJfkQs121, "Qs123=1551821400000", "exit",
                                                  "#disconnected"}));
  EXPECT_EQ(g_rtClientConnected.load(), 0);
}

// The user aircraft of the i-th position: each line differs from the others.
UserAcBlock movedUser(int i) {
  UserAcBlock user = kJfkUser;
  user.altitude = 1000 + i;
  return user;
}

// The engine's sends to a RealTraffic that stops reading: none waits, lines that find no room are
// dropped whole (RealTraffic never reads a line cut short or twice), the stall is logged once, and
// once when it reads again; it is no disconnection. (The engine's cycle itself: tests/traffic.)
TEST_F(Link, ARealTrafficThatStopsReadingLosesWholeLinesAndIsToldOnceEachWay) {
  startDouble(false, true);
  lf_waitForRealTraffic();
  ASSERT_EQ(g_rtClientConnected.load(), 1);
  ASSERT_TRUE(waitFor([&] { return m_double->notReading(); }));
  // A small send buffer on the program's side fills after some dozens of lines.
  ASSERT_TRUE(g_rtClientSocket.setBufferSizes(0, 4096));
  std::vector<std::string> sent;
  // The sends run on a thread of their own, so that a send that waits ends the test instead of
  // hanging it; 400 lines of about 60 bytes overfill every buffer between the two.
  auto sending = std::async(std::launch::async, [&] {
    for (int i = 0; i < 400; ++i) {
      sent.push_back(gf_qs121Text(movedUser(i)));
      lf_sendPosition(movedUser(i));
    }
  });
  const bool returned = sending.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
  if (!returned) {
    // Lets the send that waits go, and the waits for RealTraffic to come back after it.
    lf_stopAccepting();
    g_rtClientSocket.close();
  }
  sending.wait();
  ASSERT_TRUE(returned) << "a send waited for RealTraffic to read";
  EXPECT_EQ(g_rtClientConnected.load(), 1);
  EXPECT_EQ(logCount("RealTraffic does not read: lines to it are dropped until it reads again"), 1u);
  EXPECT_FALSE(logContains("RealTraffic gone?"));
  EXPECT_FALSE(logContains("RealTraffic reads again"));

  m_double->readAgain();
  int more = 400;
  ASSERT_TRUE(waitFor([&] {
    sent.push_back(gf_qs121Text(movedUser(more)));
    lf_sendPosition(movedUser(more++));
    return logContains("RealTraffic reads again");
  }));
  lf_closeServer();
  ASSERT_TRUE(waitFor([&] { return received("#disconnected"); }));
  EXPECT_EQ(logCount("RealTraffic does not read"), 1u);
  EXPECT_EQ(logCount("RealTraffic reads again after "), 1u);

  // What RealTraffic read: whole lines of those sent, each once and in their order, then "exit".
  auto got = commands();
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(got.back(), "#disconnected");
  EXPECT_EQ(got[got.size() - 2], "exit");
  std::size_t next = 0;
  std::size_t positions = 0;
  for (std::size_t i = 2; i + 2 < got.size(); ++i) {
    const auto at = std::find(sent.begin() + static_cast<std::ptrdiff_t>(next), sent.end(), got[i] + "\r\n");
    ASSERT_NE(at, sent.end()) << "not a whole line sent, or out of order: " << got[i];
    next = static_cast<std::size_t>(at - sent.begin()) + 1;
    ++positions;
  }
  EXPECT_LT(positions, sent.size());  // some were dropped
  EXPECT_GT(positions, 0u);
}

TEST_F(Link, Qs121WritesWholeNumbersNeverExponents) {
  struct Case { UserAcBlock user; const char* text; };
  for (const Case& c : std::vector<Case>{
           {kJfkUser, "Qs121=-5000;10000;1.500000;35000400;300000;0.709324;-1.287671\r\n"},
           {{40.6413, -73.7781, -0.00003, 0.1, 1.5, 5000, 0, 100},
            "Qs121=-3;10000;1.500000;5000000;100000;0.709324;-1.287671\r\n"},
           {{-33.95, 151.19, 0, 0, 6.283185, -12.5, 0, 0}, "Qs121=0;0;6.283185;-12500;0;-0.592539;2.638763\r\n"},
       })
    EXPECT_EQ(gf_qs121Text(c.user), c.text);
}

// A reply of 16384 bytes or more is an overrun, no reply: that connection is closed and the wait goes
// on for RealTraffic.
TEST_F(Link, AnOversizedVersionReplyIsNoReply) {
  platform::Socket client;
  ASSERT_TRUE(client.openTcp());
  ASSERT_TRUE(client.connect("127.0.0.1", m_port));
  std::string reply;
  auto wait = std::async(std::launch::async, [&] { return waitForClient(&reply); });
  ASSERT_EQ(client.waitReadable(10000), 1);  // the version request
  client.sendAll(std::string(20000, ' '));
  EXPECT_TRUE(closedByTheProgram(client));
  EXPECT_TRUE(logHas("receive: buffer overrun: 16384"));
  startDouble(false);
  ASSERT_EQ(wait.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(wait.get());
  EXPECT_EQ(reply, R"({"level":1,"version":"9.0.100"})");
}

TEST_F(Link, VersionReplies) {
  g_rtProfessional = 1;
  lf_checkRealTrafficVersion("");
  EXPECT_EQ(g_rtProfessional.load(), 0);
  EXPECT_TRUE(logHas("No RealTraffic version received?"));

  struct Case { const char* reply; int professional; const char* edition; };
  for (const Case& c : std::vector<Case>{
           {R"({"level":2,"version":"x"})", 1, "RT prof edition: x"},
           {R"({"version":"8.1.2"})", 0, "RT stnd edition: 8.1.2"},
           {R"({"level":2})", 1, "RT prof edition: "},
           {R"([2,"x"])", 0, ""},
           // Values of the wrong type or out of range are the defaults, never converted.
           {R"({"level":"2","version":"x"})", 0, "RT stnd edition: x"},
           {R"({"level":1e300,"version":"x"})", 0, "RT stnd edition: x"},
           {R"({"level":-1e300})", 0, "RT stnd edition: "},
           {R"({"level":2,"version":5})", 1, "RT prof edition: "},
       }) {
    SCOPED_TRACE(c.reply);
    gf_setRtEditionText("before");
    lf_checkRealTrafficVersion(c.reply);
    EXPECT_EQ(g_rtProfessional.load(), c.professional);
    EXPECT_EQ(gf_rtEditionText(), c.edition);
  }
  // Invalid JSON is an error of the service run.
  EXPECT_THROW(lf_checkRealTrafficVersion("{\"level\":2"), nlohmann::json::parse_error);
}

// A reply cut into two TCP segments is one reply; a peer that connects and says nothing gets "No
// RealTraffic version received?" after the bound and is closed instead of holding the start for ever.
TEST_F(Link, TheVersionReplyIsReadWholeOrGivenUpAfterItsBound) {
  platform::Socket client;
  ASSERT_TRUE(client.openTcp());
  ASSERT_TRUE(client.setNoDelay());
  ASSERT_TRUE(client.connect("127.0.0.1", m_port));
  std::string reply;
  auto wait = std::async(std::launch::async, [&] { return waitForClient(&reply); });
  ASSERT_EQ(client.waitReadable(10000), 1);  // the version request
  client.sendAll(R"({"level":2,"vers)");
  // The peer's second segment comes later.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  client.sendAll(R"(ion":"9.0.100"})");
  ASSERT_EQ(wait.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(wait.get());
  EXPECT_EQ(reply, R"({"level":2,"version":"9.0.100"})");
  client.close();

  lf_setVersionReplyWait(std::chrono::milliseconds(300));
  g_rtClientConnected = 0;
  platform::Socket silent;
  ASSERT_TRUE(silent.openTcp());
  ASSERT_TRUE(silent.connect("127.0.0.1", m_port));
  auto handshake = std::async(std::launch::async, [] { lf_waitForRealTraffic(); });
  EXPECT_TRUE(closedByTheProgram(silent));
  EXPECT_TRUE(logHas("No RealTraffic version received?"));
  EXPECT_EQ(g_rtProfessional.load(), 0);
  // RealTraffic, coming after it, is served.
  startDouble(true);
  const bool ended = handshake.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
  lf_stopAccepting();  // lets a handshake that waits for ever go
  handshake.wait();
  lf_setVersionReplyWait(std::chrono::seconds(3));
  EXPECT_TRUE(ended);
  EXPECT_TRUE(logHas("RealTraffic connected"));
  EXPECT_EQ(g_rtProfessional.load(), 1);
}

// After a burst of connects whose clients are gone, RealTraffic is served at the next position
// send or the one after (once a second in the program), not after one send per dead connection;
// and nothing off this computer can connect.
TEST_F(Link, ABurstOfDeadConnectsCostsNothingAndOnlyThisComputerIsServed) {
  for (int i = 0; i < 300; ++i) {
    platform::Socket s;
    ASSERT_TRUE(s.openTcp());
    ASSERT_TRUE(s.connect("127.0.0.1", m_port));
    s.close();
  }
  startDouble(false);
  g_engineUserAc = kJfkUser;
  int sends = 0;
  for (; sends < 1000 && !received(kJfkQs121); ++sends) {
    lf_sendPosition();
    if (g_rtClientConnected.load() != 0) waitFor([&] { return received(kJfkQs121); }, std::chrono::milliseconds(500));
  }
  EXPECT_TRUE(received(kJfkQs121));
  EXPECT_LE(sends, 5);
  EXPECT_FALSE(logContains("RealTraffic gone?"));

#ifndef _WIN32
  // Any address of this computer other than 127.0.0.1 is refused.
  platform::Socket other;
  ASSERT_TRUE(other.openTcp());
  EXPECT_FALSE(other.connect("127.0.0.2", m_port));
#endif
}

// After a storm of 1,000 connections that are not RealTraffic (half of them closed at once, half open
// and silent), RealTraffic is served within 5 s: when it first comes, and when it comes back after
// it was gone.
TEST_F(Link, AfterAStormOfDeadConnectsRealTrafficIsServedWithinFiveSeconds) {
  constexpr auto kServeBound = std::chrono::seconds(5);
  g_engineUserAc = kJfkUser;
  auto silent = connectStorm(m_port, 1000);
  LinkWorker worker(std::chrono::milliseconds(100));
  auto start = std::chrono::steady_clock::now();
  startDouble(false);
  const bool first = waitFor([&] { return received(kJfkQs121); }, kServeBound);
  std::cout << "[ figure   ] first connect after the storm served in " << secondsSince(start) << " s\n";
  EXPECT_TRUE(first);

  m_double->stop();
  m_double.reset();
  auto again = connectStorm(m_port, 1000);
  start = std::chrono::steady_clock::now();
  startDouble(false);
  const bool back = waitFor([&] { return received(kJfkQs121); }, kServeBound);
  std::cout << "[ figure   ] return after the storm served in " << secondsSince(start) << " s\n";
  EXPECT_TRUE(back);
  worker.stop();
  EXPECT_EQ(worker.error(), "");
  // The dead connections cost a few lines, not one each.
  EXPECT_LT(logLines().size(), 30u);
}

// A peer that answers the version request with bytes that are no version reply is not RealTraffic:
// the log shows what it sent, escaped, the run goes on, and RealTraffic is served after it.
TEST_F(Link, AGarbageVersionReplyIsLoggedEscapedAndRealTrafficServedAfterIt) {
  g_engineUserAc = kJfkUser;
  platform::Socket garbage;
  ASSERT_TRUE(garbage.openTcp());
  ASSERT_TRUE(garbage.connect("127.0.0.1", m_port));
  LinkWorker worker(std::chrono::milliseconds(100));
  ASSERT_EQ(garbage.waitReadable(10000), 1);  // the version request
  char request[64];
  ASSERT_GT(garbage.receive(request, sizeof request), 0);
  static constexpr char kGarbage[] = "\x1B[2J\x07\xFF\xFE{\"level\":\0\x1B]0;x\x07";
  ASSERT_TRUE(garbage.sendAll(std::string(kGarbage, sizeof kGarbage - 1)));
  startDouble(true);
  EXPECT_TRUE(waitFor([&] { return received(kJfkQs121); }, std::chrono::seconds(10)));
  worker.stop();
  EXPECT_EQ(worker.error(), "");
  EXPECT_EQ(g_rtProfessional.load(), 1);
  EXPECT_EQ(test::rawPeerBytes(test::readFile(m_dir / "Log.txt")), "");
  EXPECT_TRUE(logContains("\\x1B[2J\\x07\\xFF\\xFE{\"level\":\\x00\\x1B]0;x\\x07")) << test::readFile(m_dir / "Log.txt");
}

TEST_F(Link, ABusyPortIsNamedInTheError) {
  // Another program holds a port.
  platform::Socket holder;
  ASSERT_TRUE(holder.openTcp());
  ASSERT_TRUE(holder.bindIpv4(true, 0));
  ASSERT_TRUE(holder.listen());
  const std::string port = std::to_string(holder.localPort());
  try {
    lf_startServer(port);
    FAIL() << "no error on a busy port";
  } catch (const std::runtime_error& e) {
#ifdef _WIN32
    // Windows refuses a port that another socket holds with 10048 or, for an exclusive holder, 10013.
    const std::string what = e.what();
    EXPECT_TRUE(what == "Bind failed at port " + port + " with error 10048 Address already in use" ||
                what == "Bind failed at port " + port + " with error 10013 Permission denied")
        << what;
#else
    EXPECT_EQ(std::string(e.what()), "Bind failed at port " + port + " with error 10048 Address already in use");
#endif
  }
  EXPECT_FALSE(g_rtListenSocket.isOpen());
}

TEST_F(Link, NothingIsSentOrAwaitedWithoutLocalRealTraffic) {
  g_realTrafficLocal = 0;
  lf_waitForRealTraffic();
  g_engineUserAc = kJfkUser;
  lf_sendPosition();
  EXPECT_EQ(g_rtClientConnected.load(), 0);
  EXPECT_FALSE(logContains("Waiting for RealTraffic"));
  // Not connected: no time is sent, and nothing fails.
  g_realTrafficLocal = 1;
  lf_sendQs123(1551821400);
  EXPECT_FALSE(logContains("sendDataPacket"));
}

}  // namespace
}  // namespace amb
