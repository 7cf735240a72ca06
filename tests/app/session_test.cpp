// The service run's start of the two RealTraffic readers, on ports the system picks.

#include "app/session.hpp"
#include "app/worker.hpp"
#include "tests/app/app_fixture.hpp"

#include <thread>

namespace amb::test {
namespace {

std::atomic<bool> g_started{false};

class ReaderStartTest : public ShellTest {
protected:
  void SetUp() override {
    ShellTest::SetUp();
    AMB_SKIP_ON_WINDOWS("the readers' sockets are tested in the Linux build");
  }
  void TearDown() override {
    // A started reader's thread touches the reader objects until it has logged its end.
    g_weatherReader.stop();
    g_trafficReader.stop();
    EXPECT_TRUE(waitFor([&] { return logCount("QNH Reader connected") == logCount("QNH Reader has stopped"); }));
    EXPECT_TRUE(waitFor([&] { return logCount("Traffic Reader connected") == logCount("Traffic Reader has stopped"); }));
    ShellTest::TearDown();
  }
  // Runs the start on a worker thread; `during` runs once the QNH reader is connected.
  bool startWithWorker(std::stop_source& stop, const std::function<void()>& during) {
    g_started = false;
    const std::size_t connected = logCount("QNH Reader connected") + 1;
    std::thread worker([&] { gf_runAsWorker(stop.get_token(), [] { g_started = lf_startReaders(0, 0); }); });
    EXPECT_TRUE(waitFor([&] { return logCount("QNH Reader connected") == connected; }));
    during();
    worker.join();
    return g_started;
  }
};

TEST_F(ReaderStartTest, TheTrafficReaderFollowsTheQnhReaderTwoSecondsLater) {
  std::stop_source stop;
  const auto before = std::chrono::steady_clock::now();
  ASSERT_TRUE(startWithWorker(stop, [] {}));
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  ASSERT_TRUE(waitFor([&] { return logCount("Traffic Reader connected") == 1; }));
  EXPECT_EQ(g_trafficReaderStatus.load(), ReaderStatus::Receiving);
  EXPECT_EQ(g_qnhReaderStatus.load(), ReaderStatus::Receiving);
}

// However the run ends, before the start or while the traffic reader waits for its turn, the traffic
// reader is not started.
TEST_F(ReaderStartTest, ARunThatEndsStartsNoTrafficReader) {
  g_exitUnderWay = 1;
  std::stop_source before;
  gf_runAsWorker(before.get_token(), [] { g_started = lf_startReaders(0, 0); });
  EXPECT_FALSE(g_started);
  EXPECT_EQ(logCount("Reader connected"), 0u);

  const std::pair<const char*, std::function<void(std::stop_source&)>> endings[] = {
      {"exit", [](std::stop_source&) { g_exitUnderWay = 1; }},
      {"user closed", [](std::stop_source&) { g_userClosed = 1; }},
      {"worker stop", [](std::stop_source& stop) { stop.request_stop(); }},
  };
  std::size_t runs = 0;
  for (const auto& [name, end] : endings) {
    SCOPED_TRACE(name);
    std::stop_source stop;
    g_exitUnderWay = 0;
    g_userClosed = 0;
    EXPECT_FALSE(startWithWorker(stop, [&] {
      end(stop);
      g_weatherReader.stop();  // as the exit sequence does at once
    }));
    ++runs;
    ASSERT_TRUE(waitFor([&] { return logCount("QNH Reader has stopped") == runs; }));
    EXPECT_EQ(logCount("Traffic Reader connected"), 0u);
    gf_resetReaders();  // as the restart leaves them
  }
  g_exitUnderWay = 0;
  g_userClosed = 0;
}

}  // namespace
}  // namespace amb::test
