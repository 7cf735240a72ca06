// The exit sequence with every kind of reason, run on the test's thread with its pauses recorded.

#include "airports/park_airport.hpp"
#include "app/worker.hpp"
#include "tests/app/app_fixture.hpp"

#include "airports/park_airports.hpp"
#include "app/entry.hpp"
#ifndef _WIN32
#include "platform/linux/ui_headless.hpp"
#endif

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

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

// A park airport with one stand and one learned option, as the worker left it.
void lf_loadedParkAirport() {
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {"EGLL", "LHR", 51.47, -0.46, 83};
  }
  g_parkApfSource = "archive/stock/EGLL.xml";
  g_parkApfInfo.publisher = "stock";
  Stand stand("A1", {}, {51.47, -0.46, 0}, 30, 1, 1, 1);
  stand.id = 1;
  stand.options.push_back({"BAW", "A320", "G-EUPT", "BAW12", "", std::uint64_t{1} << 20, 1, 1, 0, 1});
  g_stands = {stand};
  g_standUpdates = 1;
  g_parkAirportLoaded = 1;
}

std::atomic<bool> s_workerStarted{false};
std::atomic<bool> s_workerRelease{false};
std::atomic<int> s_standsAtWorkerEnd{-1};

// A worker that, once asked to stop, still finishes its tick with the stands (or, unreleased, hangs).
void lf_lastTickWorker() {
  s_workerStarted = true;
  while (!lf_workerStopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (int i = 0; i < 50 || !s_workerRelease; ++i) {
    s_standsAtWorkerEnd = static_cast<int>(g_stands.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class ExitWithParkAirport : public ExitTest {
protected:
  void SetUp() override {
    ExitTest::SetUp();
    s_workerStarted = false;
    s_workerRelease = true;
    s_standsAtWorkerEnd = -1;
    lf_loadedParkAirport();
    gf_setWorkerStartUp(lf_lastTickWorker);
  }
  void TearDown() override {
    s_workerRelease = true;
    EXPECT_TRUE(gf_waitForWorkerEnd(std::chrono::seconds(10)));
    gf_setWorkerStartUp(nullptr);
    ExitTest::TearDown();
  }
  void startWorker() {
    lf_startWorker();
    ASSERT_TRUE(waitFor([] { return s_workerStarted.load(); }));
  }
};

// The stands belong to the worker: the exit leaves the park airport (and saves what was learned
// there) only once the worker has returned.
TEST_F(ExitWithParkAirport, TheParkAirportIsLeftAfterTheWorkerHasReturned) {
  startWorker();
  runExit(UserClosedSim, 0);
  EXPECT_EQ(s_standsAtWorkerEnd, 1);
  EXPECT_TRUE(g_stands.empty());
  EXPECT_EQ(g_parkAirportLoaded, 0);
  EXPECT_TRUE(std::filesystem::exists("airports/learned/stock/EGLL.xml"));
  EXPECT_EQ(logCount("saved with 1 update"), 1u);
}

TEST_F(ExitWithParkAirport, AWorkerThatDoesNotReturnKeepsTheParkAirport) {
  s_workerRelease = false;
  gf_setWorkerWaitBound(std::chrono::milliseconds(100));
  startWorker();
  runExit(UserClosedSim, 0);
  EXPECT_EQ(logCount("the park airport's learned file is not saved: the service run still runs"), 1u);
  s_workerRelease = true;
  ASSERT_TRUE(gf_waitForWorkerEnd(std::chrono::seconds(10)));
  EXPECT_EQ(s_standsAtWorkerEnd, 1);
}

// A restart resets the state the worker uses (the stands among it): with a worker that has not
// returned within the bound the program ends instead, and the worker keeps its state to the end.
TEST_F(ExitWithParkAirport, ARestartWhoseWorkerDoesNotReturnEndsTheProgramWithoutAReset) {
  s_workerRelease = false;
  gf_setWorkerWaitBound(std::chrono::milliseconds(100));
  g_reportCount = 77;
  startWorker();
  runExit(NewSettings, 1);
  EXPECT_EQ(logCount("Ambertrail_P3D ends instead of restarting: its service run has not ended"), 1u);
  EXPECT_EQ(ui.posts(), std::vector<int>{2});
  EXPECT_EQ(g_restartPending, 0);
  EXPECT_EQ(g_reportCount, 77);  // no reset
  EXPECT_EQ(g_parkAirportLoaded, 1);
  s_workerRelease = true;
  ASSERT_TRUE(gf_waitForWorkerEnd(std::chrono::seconds(10)));
  EXPECT_EQ(s_standsAtWorkerEnd, 1);
}

std::atomic<int> s_parkedByWorker{0};

// A worker whose engine parks an aircraft every millisecond until it is asked to stop.
void lf_parkingWorker() {
  s_workerStarted = true;
  while (!lf_workerStopRequested()) {
    {
      std::lock_guard lock(gf_engineMutex());
      AcIdentity id;
      id.model = "A319";
      id.callsign = fmt::format("AAL{}*", 2000 + s_parkedByWorker);
      g_parkedActs.emplace_back(AcData(id), 1, ActPosition{51.47, -0.46, 0}, 0);
      g_parkedActs.back().state = ActState::InSim;
      g_parkedActs.back().objectId = static_cast<std::uint32_t>(100 + s_parkedByWorker++);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The exit removes the aircraft only once the worker's engine, which parks them, has returned: none
// is created after the removals, while the simulator link still sends them (the pause of 1 s).
TEST_F(ExitWithParkAirport, TheAircraftAreRemovedAfterTheWorkerHasStoppedParking) {
  s_parkedByWorker = 0;
  gf_setWorkerStartUp(lf_parkingWorker);
  startWorker();
  ASSERT_TRUE(waitFor([] { return s_parkedByWorker.load() >= 5; }));
  int runningAtRemovals = -1;
  std::size_t inSimAtRemovals = 0;
  onPause = [&] {
    if (pauses.back() != 1000) return;
    runningAtRemovals = gf_runningWorkers();
    std::lock_guard lock(gf_engineMutex());
    inSimAtRemovals = static_cast<std::size_t>(std::ranges::count_if(
        g_parkedActs, [](const Act& a) { return a.state != ActState::Removing; }));
  };
  runExit(UserClosedSim, 0);
  EXPECT_EQ(runningAtRemovals, 0);
  EXPECT_EQ(inSimAtRemovals, 0u) << "of " << s_parkedByWorker << " parked";
}

// A restart leaves it too, after the countdown and the worker's end, before the run state is reset.
TEST_F(ExitWithParkAirport, ARestartSavesTheLearnedFileBeforeTheReset) {
  startWorker();
  runExit(NewSettings, 1);
  EXPECT_EQ(s_standsAtWorkerEnd, 1);
  EXPECT_TRUE(std::filesystem::exists("airports/learned/stock/EGLL.xml"));
  EXPECT_EQ(ui.posts(), std::vector<int>{1});
}

// ---- A worker that never returns ----
#ifndef _WIN32
std::atomic<bool> s_stuckWorkerRuns{false};
std::atomic<bool> s_staticsGone{false};

// The return from main destroys the program's globals, and this object with them: once that has
// begun under the worker below, the worker ends the process with code 3 (before it meets freed
// memory by chance).
struct StaticsWatch {
  ~StaticsWatch() {
    if (!s_stuckWorkerRuns) return;
    s_staticsGone = true;
    for (int i = 0; i < 5000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
} s_staticsWatch;

// A worker that never returns, reading the park airports as a long read of their list does.
void lf_workerThatNeverReturns() {
  s_stuckWorkerRuns = true;
  gf_log("the worker runs");
  for (;;) {
    if (s_staticsGone) std::_Exit(3);
    lf_isInParkAirports("LFPG");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The program as its entry runs it, in a child process, closed while its worker never returns: the
// exit saves what it can, and the process ends with 0 without freeing what the worker uses.
TEST_F(ShellTest, AWorkerThatNeverReturnsLeavesTheProgramToEndAtOnce) {
  GTEST_FLAG_SET(death_test_style, "fast");
  DESTINATION.setValue("EHAM");
  gf_saveStringOption(DESTINATION);
  writeFile(dir() / "close.script", "waitlog the worker runs\nclose\n");
  const auto runAndClose = [&] {
    gf_setWorkerWaitBound(std::chrono::milliseconds(200));
    gf_setExitSleeper([](std::chrono::milliseconds) {});
    gf_setWorkerStartUp(lf_workerThatNeverReturns);
    g_parkAirports = {{"EGLL", "", 51.47, -0.46, 0}, {"LFPG", "", 49.01, 2.55, 0}};
    platform::headless::HeadlessUiOptions options;
    options.scriptPath = dir() / "close.script";
    std::exit(runApplication(*new platform::headless::HeadlessUi(options)));
  };
  EXPECT_EXIT(runAndClose(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(logCount("===> the service run has not ended after 200 ms: Ambertrail_P3D saves what it can and ends "
                     "at once, without it"),
            1u);
  EXPECT_EQ(stored("DESTINATION"), "");  // saved on the way out
}
#endif

}  // namespace
}  // namespace amb::test
