// The exit sequence with every kind of reason, run on the test's thread with its pauses recorded.

#include "airports/park_airport.hpp"
#include "app/worker.hpp"
#include "tests/app/app_fixture.hpp"

#include "app/entry.hpp"
#include "app/window.hpp"
#include "airports/park_airports.hpp"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <optional>
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

// The window says "closing" at once: a close while a restart's exit is under way, before its
// countdown, ends the program as a close does. Other requests meanwhile still count for nothing.
TEST_F(ExitTest, ACloseDuringARestartsExitEndsTheProgram) {
  for (const std::size_t atPause : {1u, 2u}) {  // during the first pause, and after the removals
    onPause = [&, atPause] {
      if (pauses.size() == atPause) gf_requestExit(UserClosedSim, 0);
    };
    pauses.clear();
    runExit(NewSettings, 3);
    EXPECT_EQ(ui.posts(), std::vector<int>{2}) << atPause;
    EXPECT_EQ(g_userClosed, 1);
    EXPECT_EQ(g_restartPending, 0);
    EXPECT_EQ(g_exitUnderWay, 0);
    EXPECT_EQ(pauses, (Pauses{500, 1000}));  // no countdown
    EXPECT_EQ(logCount("Restarting after"), 0u);
    EXPECT_EQ(logCount("User closed Ambertrail_P3D"), atPause);
    EXPECT_EQ(stored("DESTINATION") + stored("BLOCK_CALLSIGN"), "");  // as a close leaves them
    EXPECT_TRUE(exits().empty());  // no second exit
    ui.clearPosts();
    DESTINATION.setValue("EHAM");
    gf_saveStringOption(DESTINATION);
    g_userClosed = 0;
  }

  onPause = [&] {
    if (pauses.size() == 1) gf_requestExit(SimWasClosed, 0);
  };
  pauses.clear();
  runExit(NewSettings, 1);
  EXPECT_EQ(ui.posts(), std::vector<int>{1});
  EXPECT_EQ(g_restartPending, 1);
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

std::atomic<bool> s_stuckWorkerRuns{false};
std::atomic<bool> s_staticsGone{false};

// The program's globals are destroyed by the return from main. The worker below ends the process
// with code 3 as soon as that has begun under it (this object goes with the others), before it could
// meet freed memory by chance.
struct StaticsWatch {
  ~StaticsWatch() {
    if (!s_stuckWorkerRuns) return;
    s_staticsGone = true;
    for (int i = 0; i < 5000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
} s_staticsWatch;

// A worker that never returns, reading the park airports as a long read of the list does.
void lf_workerThatNeverReturns() {
  s_stuckWorkerRuns = true;
  for (;;) {
    if (s_staticsGone) std::_Exit(3);
    lf_isInParkAirports("EGLL");
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// A window with a message loop, as the program's: WM_APP+1 starts the worker; once it runs, the user
// closes the window.
class LoopUi : public ShellUi {
public:
  bool createMainWindow(std::string_view, int, int, int, int, platform::UiEvents& events) override {
    m_events = &events;
    events.onCreate();
    return true;
  }
  void post(int appMsg) override {
    ShellUi::post(appMsg);
    std::lock_guard lock(m_queueMutex);
    m_queue.push_back(appMsg);
    m_wake.notify_all();
  }
  void quit(int code) override {
    std::lock_guard lock(m_queueMutex);
    m_quit = code;
    m_wake.notify_all();
  }
  int run() override {
    for (;;) {
      int message = 0;
      {
        std::unique_lock lock(m_queueMutex);
        if (!m_wake.wait_for(lock, std::chrono::seconds(60), [&] { return !m_queue.empty() || m_quit; })) return 99;
        if (m_queue.empty()) return *m_quit;
        message = m_queue.front();
        m_queue.erase(m_queue.begin());
      }
      m_events->onApp(message);
      if (message == 1 && waitFor([] { return s_stuckWorkerRuns.load(); })) m_events->onClose();
    }
  }

private:
  platform::UiEvents* m_events = nullptr;
  std::mutex m_queueMutex;
  std::condition_variable m_wake;
  std::vector<int> m_queue;
  std::optional<int> m_quit;
};

// The whole program as its entry runs it, in a child process, closed while its worker never returns:
// the exit saves what it can and the process ends with 0, freeing nothing the worker still uses.
void lf_runAndCloseUnderAStuckWorker() {
  gf_setWorkerWaitBound(std::chrono::milliseconds(200));
  gf_setExitSleeper([](std::chrono::milliseconds) {});
  gf_setWorkerStartUp(lf_workerThatNeverReturns);
  {
    std::lock_guard lock(g_parkAirportsMutex);
    g_parkAirports = {{"EGLL", "", 51.47, -0.46, 0}, {"LFPG", "", 49.01, 2.55, 0}};
  }
  static LoopUi window;
  std::exit(runApplication(window));
}

using ExitUnderAStuckWorker = ShellTest;

TEST_F(ExitUnderAStuckWorker, TheProgramEndsAtOnceWithoutFreeingWhatTheWorkerUses) {
#ifdef _WIN32
  GTEST_SKIP() << "the child of a death test is a fork of this process only where fork exists";
#else
  GTEST_FLAG_SET(death_test_style, "fast");
  DESTINATION.setValue("EHAM");
  gf_saveStringOption(DESTINATION);
  EXPECT_EXIT(lf_runAndCloseUnderAStuckWorker(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(logCount("===> the service run has not ended after 200 ms: Ambertrail_P3D saves what it can and ends "
                     "at once, without it"),
            1u);
  EXPECT_EQ(logCount("User closed Ambertrail_P3D"), 1u);
  EXPECT_EQ(stored("DESTINATION"), "");  // saved on the way out
  EXPECT_EQ(stored("MAIN_WINDOW_X"), "400");
#endif
}

}  // namespace
}  // namespace amb::test
