// The exit sequence with every kind of reason, run on the test's thread with its pauses recorded.

#include "app/worker.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

using std::chrono::milliseconds;

class ExitTest : public ShellTest {
protected:
  void SetUp() override {
    ShellTest::SetUp();
    gf_setExitSleeper([this](milliseconds d) {
      std::lock_guard lock(m_pauseMutex);
      m_pauses.push_back(d.count());
      if (onPause) onPause();
    });
    DESTINATION.setValue("EHAM");
    gf_saveStringOption(DESTINATION);
    BLOCK_CALLSIGN.setValue("DLH4AB");
    gf_saveStringOption(BLOCK_CALLSIGN);
    gf_saveBoolOption(SCAN_LIVERIES);
    gf_saveBoolOption(SCAN_AIRPORTS);
  }
  // Runs the sequence as the first request would, on this thread.
  void runExit(int reason, std::uint32_t delay) {
    g_exitUnderWay = 1;
    g_exitReason = reason;
    FinalExit(reason, delay);
  }
  std::vector<long long> pauses() {
    std::lock_guard lock(m_pauseMutex);
    return m_pauses;
  }
  std::function<void()> onPause;

private:
  std::mutex m_pauseMutex;
  std::vector<long long> m_pauses;
};

TEST_F(ExitTest, UserClosedEndsTheProgram) {
  runExit(UserClosedSim, 0);
  EXPECT_TRUE(logHas("Exiting: USER CLOSED SIM"));
  EXPECT_TRUE(logHas("User closed Ambertrail_P3D"));
  EXPECT_EQ(g_userClosed, 1);
  EXPECT_EQ(g_restartPending, 0);
  EXPECT_EQ(pauses(), (std::vector<long long>{500, 1000}));
  // Destination and blocked callsign do not outlive the program.
  EXPECT_EQ(stored("DESTINATION"), "");
  EXPECT_EQ(stored("BLOCK_CALLSIGN"), "");
  EXPECT_EQ(g_exitUnderWay, 0);
  EXPECT_EQ(ui.posts(), std::vector<int>{2});
}

TEST_F(ExitTest, SystemErrorWaitsFiveSecondsAndNewFlightTen) {
  runExit(SystemError, 0);
  EXPECT_EQ(pauses(), (std::vector<long long>{500, 1000, 5000}));
  EXPECT_FALSE(logHas("User closed Ambertrail_P3D"));
  EXPECT_EQ(ui.posts(), std::vector<int>{2});

  runExit(NewFlight, 30);
  EXPECT_EQ(pauses(), (std::vector<long long>{500, 1000, 5000, 500, 1000, 10000}));
  EXPECT_TRUE(logHas("New flight detected, Ambertrail_P3D will close, please restart manually ..."));
  EXPECT_EQ(ui.posts(), (std::vector<int>{2, 2}));
}

TEST_F(ExitTest, NewSettingsRestartAfterACountdownAndKeepTheScanOptions) {
  g_reportCount = 77;
  g_rtLinkPending = 0;
  onPause = [] { gf_showError("an error of the ending run"); };
  runExit(NewSettings, 2);
  EXPECT_TRUE(logHas("Exiting: NEW SETTINGS"));
  EXPECT_TRUE(logHas("Prepare for a restart ..."));
  EXPECT_TRUE(logHas("Restarting after 2 seconds"));
  EXPECT_EQ(pauses(), (std::vector<long long>{500, 1000, 1000, 1000}));
  EXPECT_EQ(g_restartPending, 1);
  EXPECT_EQ(g_exitUnderWay, 0);
  EXPECT_EQ(g_userClosed, 0);
  // Kept: the scan options, the destination and the blocked callsign.
  EXPECT_EQ(stored("SCAN_LIVERIES"), "true");
  EXPECT_EQ(stored("SCAN_AIRPORTS"), "true");
  EXPECT_EQ(stored("DESTINATION"), "EHAM");
  // The run state starts again.
  EXPECT_EQ(error(), "");
  EXPECT_EQ(g_reportCount, 0);
  EXPECT_EQ(g_rtLinkPending, 1);
  EXPECT_EQ(g_startingUp, 1);
  EXPECT_EQ(g_mainHwnd, nullptr);
  EXPECT_EQ(ui.posts(), std::vector<int>{1});
}

TEST_F(ExitTest, TheCountdownShowsEverySecond) {
  std::vector<std::string> shown;
  onPause = [&] { shown.push_back(message()); };
  runExit(SimConnectError, 3);
  EXPECT_EQ(shown, (std::vector<std::string>{"Prepare for a restart ...", "Prepare for a restart ...",
                                             "Restarting after 3 seconds", "Restarting after 2 seconds",
                                             "Restarting after 1 second"}));
  EXPECT_FALSE(logHas("Restarting after 1 second"));  // shown only
  // A restart after an error switches the scans off.
  EXPECT_EQ(stored("SCAN_LIVERIES"), "false");
  EXPECT_EQ(stored("SCAN_AIRPORTS"), "false");
}

TEST_F(ExitTest, AnExitRequestedDuringTheCountdownTakesOver) {
  // The user closes the window at the first second of the countdown.
  int countdownPauses = 0;
  onPause = [&] {
    if (message().starts_with("Restarting after") && ++countdownPauses == 1) gf_requestExit(UserClosedSim, 0);
  };
  runExit(NewSettings, 5);
  EXPECT_EQ(countdownPauses, 1);  // the countdown stopped
  ASSERT_TRUE(waitFor([&] { return exits().size() == 1; }));
  EXPECT_EQ(exits()[0].reason, UserClosedSim);
  // The newer exit ends the program; this one starts no new worker.
  EXPECT_TRUE(ui.posts().empty());
  EXPECT_EQ(g_exitUnderWay, 1);
}

TEST_F(ExitTest, OnlyTheFirstRequestCounts) {
  gf_requestExit(NewSettings, 2);
  gf_requestExit(UserClosedSim, 0);
  ASSERT_TRUE(waitFor([&] { return exits().size() == 1; }));
  EXPECT_EQ(exits()[0].reason, NewSettings);
  EXPECT_EQ(exits()[0].delay, 2u);
  EXPECT_EQ(g_exitReason, NewSettings);
}

TEST_F(ExitTest, AFailingExitStillEndsTheProgram) {
  // A reason outside the table fails at once; the program must stay closable.
  runExit(42, 0);
  EXPECT_EQ(error(), "FinalExit: invalid map<K, T> key");
  EXPECT_EQ(g_exitUnderWay, 0);
  EXPECT_EQ(ui.posts(), std::vector<int>{2});
  // The reporter's own exit request found this exit under way and was dropped.
  EXPECT_TRUE(exits().empty());
}

TEST_F(ExitTest, TheExitWaitsForTheWorkerToReturn) {
  // A worker started in a folder without "docs" ends with error 41 and leaves the window open.
  lf_startWorker();
  ASSERT_TRUE(gf_waitForWorkerEnd(std::chrono::seconds(10)));
  EXPECT_EQ(gf_runningWorkers(), 0);
  EXPECT_EQ(error(), "41: Ambertrail_P3D must be run from the Ambertrail_P3D folder!");
  EXPECT_FALSE(std::filesystem::exists(dir() / "output"));
  EXPECT_TRUE(exits().empty());
}

}  // namespace
}  // namespace amb::test
