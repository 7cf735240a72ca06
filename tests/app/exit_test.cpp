// The exit sequence with every kind of reason, run on the test's thread with its pauses recorded.

#include "app/worker.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

using Pauses = std::vector<long long>;

class ExitTest : public ShellTest {
protected:
  void SetUp() override {
    ShellTest::SetUp();
    gf_setExitSleeper([this](std::chrono::milliseconds d) {
      pauses.push_back(d.count());
      if (onPause) onPause();
    });
    DESTINATION.setValue("EHAM");
    gf_saveStringOption(DESTINATION);
    BLOCK_CALLSIGN.setValue("DLH4AB");
    gf_saveStringOption(BLOCK_CALLSIGN);
    gf_saveBoolOption(SCAN_LIVERIES);
  }
  // Runs the sequence as the first request would, on this thread.
  void runExit(int reason, std::uint32_t delay) {
    g_exitUnderWay = 1;
    g_exitReason = reason;
    FinalExit(reason, delay);
  }
  Pauses pauses;  // the sleeper runs on this thread
  std::function<void()> onPause;
};

TEST_F(ExitTest, UserClosedEndsTheProgramAndForgetsDestinationAndBlock) {
  runExit(UserClosedSim, 0);
  EXPECT_EQ(g_userClosed, 1);
  EXPECT_EQ(pauses, (Pauses{500, 1000}));
  EXPECT_EQ(stored("DESTINATION") + stored("BLOCK_CALLSIGN"), "");
  EXPECT_EQ(ui.posts(), std::vector<int>{2});

  runExit(NewFlight, 30);
  EXPECT_EQ(pauses, (Pauses{500, 1000, 500, 1000, 10000}));
  EXPECT_TRUE(logHas("New flight detected, Ambertrail_P3D will close, please restart manually ..."));
}

TEST_F(ExitTest, NewSettingsRestartAfterACountdownWithAFreshRunState) {
  g_reportCount = 77;
  std::vector<std::string> shown;
  onPause = [&] {
    shown.push_back(message());
    if (shown.back() == "Restarting after 1 second") gf_showError("an error of the ending run");
  };
  runExit(NewSettings, 2);
  EXPECT_EQ(shown, (std::vector<std::string>{"Prepare for a restart ...", "Prepare for a restart ...",
                                             "Restarting after 2 seconds", "Restarting after 1 second"}));
  EXPECT_EQ(g_restartPending, 1);
  EXPECT_EQ(g_exitUnderWay, 0);  // a later request may start another exit
  EXPECT_EQ(stored("SCAN_LIVERIES"), "true");  // kept, as are destination and block
  EXPECT_EQ(stored("DESTINATION"), "EHAM");
  EXPECT_EQ(error(), "");
  EXPECT_EQ(g_reportCount, 0);
  EXPECT_EQ(g_startingUp, 1);
  EXPECT_EQ(ui.posts(), std::vector<int>{1});

  runExit(SimConnectError, 1);  // a restart after an error switches the scans off
  EXPECT_EQ(stored("SCAN_LIVERIES"), "false");
}

// Liveries the user installed before the restart (a rescan) are found for the aircraft that had none.
TEST_F(ExitTest, ARestartMatchesTheAircraftWithoutALiveryAgain) {
  g_noMatchSet = {"DAL A321 N355DN", "UAL B739 N12345"};
  runExit(NewSettings, 0);
  EXPECT_EQ(g_restartPending, 1);
  EXPECT_TRUE(g_noMatchSet.empty());
}

// A newer exit started during the countdown takes over: the older one returns at once, without
// resetting the run state under the newer one and without restarting.
TEST_F(ExitTest, AnExitSupersededDuringTheCountdownLeavesEverythingToTheNewerOne) {
  g_reportCount = 77;
  onPause = [&] {
    if (message() == "Restarting after 2 seconds") g_exitUnderWay = 1;
  };
  runExit(NewSettings, 3);
  EXPECT_EQ(g_reportCount, 77);
  EXPECT_TRUE(ui.posts().empty());
}

TEST_F(ExitTest, AFailingExitStillEndsTheProgram) {
  runExit(42, 0);  // a reason outside the table fails at once
  EXPECT_EQ(error(), "FinalExit: invalid map<K, T> key");
  EXPECT_EQ(g_exitUnderWay, 0);
  EXPECT_EQ(ui.posts(), std::vector<int>{2});
  EXPECT_TRUE(exits().empty());  // the reporter's own request found this exit under way
}

}  // namespace
}  // namespace amb::test
