// The UDP readers on real sockets (free loopback ports): what they take, what they skip and log,
// how they stop, and the data-flow watchdog.

#include "core/clock.hpp"
#include "core/strings.hpp"
#include "feed_fixture.hpp"

#include <thread>

namespace amb {
namespace {

using test::waitFor;

const std::string kLine =
    "RTTFC,531933504,40.7969,-74.0818,11925,256,0,200,266,DAL2171,A321,N355DN,LGA,MIA,1551821332.89,X2,,"
    "adsb_icao,11925,-1,-1,-1,-1,-1,-1,-1,256,none,A3,-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,";

class Readers : public test::FeedTest {
protected:
  void SetUp() override {
    FeedTest::SetUp();
    g_realTrafficLocal = 1;
    g_trafficReader.setUserPosition(40.6413, -73.7781);
    openQueue(true);
    ASSERT_TRUE(m_sender.openUdp());
  }
  void TearDown() override {
    stopReaders();
    FeedTest::TearDown();
  }

  // Starts a reader thread on a free port and waits until it receives.
  std::uint16_t startReader(bool traffic) {
    UdpReader& reader = traffic ? static_cast<UdpReader&>(g_trafficReader) : g_weatherReader;
    auto& status = traffic ? g_trafficReaderStatus : g_qnhReaderStatus;
    status = ReaderStatus::Stopped;
    m_threads.emplace_back(traffic ? lf_trafficReaderThread : lf_qnhReaderThread, std::uint16_t{0});
    EXPECT_TRUE(waitFor([&] { return status.load() == ReaderStatus::Receiving; }));
    return reader.socket.localPort();
  }
  void stopReaders() {
    g_weatherReader.stop();
    g_trafficReader.stop();
    for (auto& t : m_threads) t.join();
    m_threads.clear();
  }
  void send(std::uint16_t port, const std::string& datagram) {
    ASSERT_TRUE(m_sender.sendTo("127.0.0.1", port, datagram));
  }

  platform::Socket m_sender;
  std::vector<std::thread> m_threads;
};

TEST_F(Readers, OversizedAndGarbageDatagramsAreSkippedAndTheReaderGoesOn) {
  const std::uint16_t port = startReader(true);
  EXPECT_TRUE(logHas("          Traffic Reader connected"));
  // The largest datagram that fits the buffer with its closing 0 is taken.
  send(port, std::string(16383, 'x'));
  EXPECT_TRUE(waitFor([] { return g_trafficReader.datagramCount.load() == 1; }));
  send(port, std::string(16384, 'x'));
  send(port, std::string(20000, ','));
  EXPECT_TRUE(waitFor([&] { return logHas("buffer overrun: 20000 bytes"); }));
  EXPECT_TRUE(logHas("buffer overrun: 16384 bytes"));
  // Bytes of every kind, lines of only commas, numbers that are no numbers.
  std::string binary;
  for (int i = 0; i < 1000; ++i) binary.push_back(static_cast<char>((i * 37) & 0xff));
  send(port, binary);
  send(port, std::string(40, ','));
  send(port, "RTTFC,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,nan,"
             "nan,nan,nan,nan,nan");
  send(port, "");
  send(port, kLine);
  EXPECT_TRUE(waitFor([&] { return queueSize() == 1; }));
  EXPECT_EQ(g_trafficReader.datagramCount.load(), 5u);  // the oversized and the empty ones not counted
  EXPECT_EQ(g_trafficReaderStatus.load(), ReaderStatus::Receiving);
  EXPECT_FALSE(logContains("exception"));
}

TEST_F(Readers, RepeatsAreDroppedOnlyFromAnotherComputer) {
  for (bool local : {true, false}) {
    SCOPED_TRACE(local ? "local" : "remote");
    g_realTrafficLocal = local ? 1 : 0;
    const std::uint16_t port = startReader(true);
    const std::string other = "RTTFC,531917901" + kLine.substr(kLine.find(",40.7969"));
    send(port, kLine);
    send(port, kLine);
    send(port, other);
    EXPECT_TRUE(waitFor([] { return g_trafficReader.datagramCount.load() == 3; }));
    // A datagram is counted before its line is handled: the last one may still be on its way.
    EXPECT_TRUE(waitFor([&] { return queueSize() == (local ? 3u : 2u); }));
    const auto records = takeQueue();
    ASSERT_EQ(records.size(), local ? 3u : 2u);
    EXPECT_EQ(records.back().hexid, 531917901u);
    stopReaders();
    g_trafficReader.stopFlag = 0;
    g_trafficReader.datagramCount = 0;
    g_trafficReader.lastDatagram.clear();
  }
}

TEST_F(Readers, StoppingEndsTheLoopsWithTheirLines) {
  startReader(false);
  startReader(true);
  g_trafficReader.stop();
  EXPECT_TRUE(waitFor([] { return g_trafficReaderStatus.load() == ReaderStatus::Stopped; }));
  EXPECT_TRUE(waitFor([&] { return logHas("Traffic Reader has stopped"); }));
  g_weatherReader.stop();
  EXPECT_TRUE(waitFor([&] { return logHas("QNH Reader has stopped"); }));
  // The QNH status is left as it was.
  EXPECT_EQ(g_qnhReaderStatus.load(), ReaderStatus::Receiving);
  for (auto& t : m_threads) t.join();
  m_threads.clear();
  EXPECT_EQ(g_readerError.load(), 0);
}

TEST_F(Readers, TrafficTimeFollowsTheFeedForTheProfessionalEdition) {
  const std::uint16_t port = startReader(true);
  send(port, kLine);
  EXPECT_TRUE(waitFor([&] { return queueSize() == 1; }));
  const long long now = clock::unixSeconds();
  EXPECT_NEAR(static_cast<double>(gf_trafficTime()), static_cast<double>(now), 5);
  g_rtProfessional = 1;
  EXPECT_EQ(gf_trafficTime(), 1551821332);
}

TEST_F(Readers, BindFailureStopsTheReaderWithAnError) {
  platform::Socket holder;
  ASSERT_TRUE(holder.openUdp());
  ASSERT_TRUE(holder.bindIpv4(true, 0));
  lf_qnhReaderThread(holder.localPort());
  EXPECT_TRUE(logHas("          QNH Reader disconnected"));
  EXPECT_EQ(g_readerError.load(), 1);
  EXPECT_EQ(gf_messageLineSnapshot().message,
            "The WeatherReader has stopped with an error: bind to stream socket failed with error: 10048 Address "
            "already in use");
  EXPECT_FALSE(g_weatherReader.socket.isOpen());
}

TEST_F(Readers, WatchdogShowsWhetherDataFlows) {
  using enum ReaderStatus;
  g_trafficReaderStatus = Receiving;
  g_qnhReaderStatus = Receiving;
  gf_checkReaderDataFlow();  // not watched: nothing changes
  EXPECT_EQ(g_trafficReaderStatus.load(), Receiving);
  g_readersWatched = 1;
  gf_checkReaderDataFlow();
  EXPECT_TRUE(g_trafficReaderStatus.load() == NoData && g_qnhReaderStatus.load() == NoData);
  ++g_trafficReader.datagramCount;
  gf_checkReaderDataFlow();
  EXPECT_TRUE(g_trafficReaderStatus.load() == Receiving && g_qnhReaderStatus.load() == NoData);
  // With data flowing the status is set once; something else may change it meanwhile.
  g_trafficReaderStatus = Stopped;
  ++g_trafficReader.datagramCount;
  gf_checkReaderDataFlow();
  EXPECT_EQ(g_trafficReaderStatus.load(), Stopped);
  gf_checkReaderDataFlow();
  EXPECT_EQ(g_trafficReaderStatus.load(), NoData);
}

}  // namespace
}  // namespace amb
