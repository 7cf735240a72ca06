// The engine's cycle beside the RealTraffic link: the position goes once a second after the engine's
// lock is released, so that a RealTraffic that stops reading, or has gone, holds up neither the cycle
// nor a thread that needs the lock (the window, the exit).

#include "engine_fixture.hpp"

#include "core/log.hpp"
#include "feed/link.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <future>

namespace amb {
namespace {

using test::Line;
using test::waitFor;

class EngineAndLink : public test::EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    m_cwd = std::make_unique<test::ScopedCwd>(m_folder->path());
    gf_startLog();
    gf_resetLink();
    g_realTrafficLocal = 1;
    lf_startServer("0");
    m_port = g_rtListenSocket.localPort();
    ASSERT_NE(m_port, 0);
  }
  void TearDown() override {
    gf_resetLink();
    if (m_double) m_double->stop();
    gf_closeLog("end");
    m_cwd.reset();
  }

  // Runs the engine's work on a thread of its own; true when it was done within the bound. A cycle
  // that still waits then is let go (the link closed), so that the test ends either way.
  bool doneWithin(const std::function<void()>& work, std::chrono::seconds bound) {
    auto running = std::async(std::launch::async, work);
    const bool done = running.wait_for(bound) == std::future_status::ready;
    if (!done) {
      lf_stopAccepting();
      g_rtClientSocket.close();
    }
    running.get();
    return done;
  }
  std::size_t logCount(const std::string& part) const {
    const auto lines = test::readLines(m_folder->path() / "Log.txt");
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; }));
  }

  std::uint16_t m_port = 0;
  std::unique_ptr<test::ScopedCwd> m_cwd;
  std::unique_ptr<tools::TrafficDouble> m_double;
};

// RealTraffic answers, then stops reading with its buffer as small as the system allows: the cycles go
// on at once, the live aircraft moves on every one and stays (a stall is no disconnection), the stall is
// logged once, and the exit's "exit" waits only its bound. (What RealTraffic reads: tests/feed.)
TEST_F(EngineAndLink, TheCycleGoesOnWhileRealTrafficDoesNotRead) {
  tools::TrafficDoubleOptions o;
  o.linkPort = m_port;
  o.weather = false;
  o.stopReading = true;
  o.receiveBuffer = 1;
  m_double = std::make_unique<tools::TrafficDouble>(o);
  m_double->start();
  lf_waitForRealTraffic();
  ASSERT_EQ(g_rtClientConnected.load(), 1);
  ASSERT_TRUE(waitFor([&] { return m_double->notReading(); }));
  // A small send buffer on the program's side fills within a minute of positions.
  ASSERT_TRUE(g_rtClientSocket.setBufferSizes(0, 4096));

  const Line line;
  std::uint32_t before = 0;
  std::uint32_t after = 0;
  // Positions while the aircraft comes into the simulator, then 300 more (five minutes) while its
  // records go on.
  ASSERT_TRUE(doneWithin(
      [&] {
        const Line last = feedTrack(line, 4);
        ASSERT_TRUE(harness().runUntil([&] { return sim().objectOfHexid(line.hexid) != nullptr; }, 3000));
        before = sim().objectOfHexid(line.hexid)->positionCount;
        feedTrack(last.after(10), 30);
        after = sim().objectOfHexid(line.hexid)->positionCount;
      },
      std::chrono::seconds(60)))
      << "a cycle waited for RealTraffic to read";
  EXPECT_EQ(after - before, 30000u);
  const LiveAc* ac = lf_findLiveByHexid(line.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->state, ActState::InSim);
  EXPECT_EQ(g_rtClientConnected.load(), 1);
  EXPECT_EQ(logCount("RealTraffic does not read: lines"), 1u);
  EXPECT_EQ(logCount("RealTraffic gone?"), 0u);

  // Until what was in flight has reached RealTraffic's buffer: the buffers stay full.
  ASSERT_TRUE(waitFor([&] {
    run(100);
    return g_rtClientSocket.waitWritable(200) == 0;
  }));
  auto closing = std::async(std::launch::async, [] { lf_closeServer(std::chrono::milliseconds(300)); });
  const bool closed = closing.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!closed) g_rtClientSocket.close();  // lets the send that waits go
  closing.get();
  EXPECT_TRUE(closed) << "the exit line waited past its bound";
  EXPECT_EQ(logCount("RealTraffic does not read: \"exit\" not sent"), 1u);
  EXPECT_EQ(g_rtClientConnected.load(), 0);
}

// While RealTraffic is gone the cycle's position send waits for it to come back, as the link does;
// the engine's lock is free meanwhile, and the cycle returns once RealTraffic has answered.
TEST_F(EngineAndLink, TheEnginesLockIsFreeWhileTheCycleWaitsForRealTrafficToComeBack) {
  // The second position (the first is of the user aircraft not yet reported) waits.
  auto cycles = std::async(std::launch::async, [&] { run(101); });
  platform::Socket realTraffic;
  ASSERT_TRUE(realTraffic.openTcp());
  ASSERT_TRUE(realTraffic.connect("127.0.0.1", m_port));
  // Asked for its version: the cycle now waits for the answer.
  const bool asked = realTraffic.waitReadable(10000) == 1;
  std::unique_lock lock(gf_engineMutex(), std::defer_lock);
  const bool locked = lock.try_lock_for(std::chrono::seconds(2));
  if (locked) lock.unlock();
  realTraffic.sendAll(R"({"level":1,"version":"9.0.100"})");
  const bool returned = cycles.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!returned) lf_stopAccepting();
  cycles.get();
  EXPECT_TRUE(asked);
  EXPECT_TRUE(locked) << "the cycle held the engine's lock while it waited for RealTraffic";
  EXPECT_TRUE(returned);
  EXPECT_EQ(g_rtClientConnected.load(), 1);
  EXPECT_EQ(logCount("RealTraffic re-connected"), 1u);
}

}  // namespace
}  // namespace amb
