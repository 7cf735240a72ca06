// The exit sequence with every kind of reason, run on the test's thread with its pauses recorded.

#include "airports/park_airport.hpp"
#include "app/worker.hpp"
#include "tests/app/app_fixture.hpp"

#include "airports/park_airports.hpp"
#include "app/entry.hpp"
#include "core/bounded_work.hpp"
#ifndef _WIN32
#include "platform/linux/ui_headless.hpp"
#endif

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

// ---- Files that do not answer ----
#ifndef _WIN32

// A FIFO stands in for a file on a network share that does not answer: opening it for reading
// blocks until a writer comes, for writing until a reader comes. At its end the object lets the
// work stuck in it go on and waits, bounded, for the exit's work to end.
class StuckFile {
public:
  explicit StuckFile(std::filesystem::path path) : m_path(std::move(path)) {
    std::filesystem::create_directories(m_path.parent_path());
    if (::mkfifo(m_path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
    // A writer whose reader has gone fails its write instead of ending the test program.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &m_oldPipe);
  }
  ~StuckFile() {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (gf_unfinishedBoundedWork() != 0 && std::chrono::steady_clock::now() < until)
      if (!answerReader("")) answerWriter();
    EXPECT_EQ(gf_unfinishedBoundedWork(), 0);
    ::sigaction(SIGPIPE, &m_oldPipe, nullptr);
  }
  // A reader stuck in it reads the text, then the end of the file; false when none waits.
  bool answerReader(const std::string& text) {
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
  }
  // A writer stuck in it writes everything it has; false when none came within half a second.
  bool answerWriter() {
    const int fd = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return false;
    bool got = false;
    char buffer[4096];
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      ::poll(&p, 1, 50);
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n > 0) got = true;
      if (n == 0 && got) break;  // the writer has closed it
      if (!got && std::chrono::steady_clock::now() - start > std::chrono::milliseconds(500)) break;
    }
    ::close(fd);
    return got;
  }
  bool stillAFifo() const { return std::filesystem::is_fifo(m_path); }

private:
  std::filesystem::path m_path;
  struct sigaction m_oldPipe {};
};

long long msSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// The learned file's save at the exit does not answer: the exit ends within its bound and a second,
// the file stays as it was, and the log says what was not saved.
TEST_F(ExitWithParkAirport, ALearnedFileThatDoesNotAnswerIsLeftAsItWasAndTheExitEnds) {
  writeFile(dir() / "airports/learned/stock/EGLL.xml", "<as before/>\n");
  StuckFile stuck(dir() / "airports/learned/stock/EGLL.xml.tmp");
  gf_setWorkerWaitBound(std::chrono::milliseconds(300));
  startWorker();
  const auto start = std::chrono::steady_clock::now();
  runExit(UserClosedSim, 0);
  EXPECT_LT(msSince(start), 300 + 5000);  // the bound and a few seconds
  EXPECT_EQ(logCount("===> the park airport's learned file is not saved: the writing has not ended after"), 1u);
  EXPECT_EQ(ui.posts(), std::vector<int>{2});
  EXPECT_EQ(readFile(dir() / "airports/learned/stock/EGLL.xml"), "<as before/>\n");
  EXPECT_EQ(stored("DESTINATION"), "");  // the settings are saved all the same
  EXPECT_EQ(gf_unfinishedBoundedWork(), 1);
}

// At a restart the work that does not answer still holds the park airport's state, which the reset
// would take from under it: the program ends instead.
TEST_F(ExitWithParkAirport, ARestartWhoseLearnedFileDoesNotAnswerEndsTheProgramWithoutAReset) {
  StuckFile stuck(dir() / "airports/learned/stock/EGLL.xml.tmp");
  gf_setWorkerWaitBound(std::chrono::milliseconds(300));
  g_reportCount = 77;
  startWorker();
  runExit(NewSettings, 0);
  EXPECT_EQ(logCount("Ambertrail_P3D ends instead of restarting: its files do not answer"), 1u);
  EXPECT_EQ(ui.posts(), std::vector<int>{2});
  EXPECT_EQ(g_restartPending, 0);
  EXPECT_EQ(g_reportCount, 77);  // no reset
  gf_requestExit(UserClosedSim, 0);
  EXPECT_TRUE(exits().empty());  // nor another exit, which would wait for that work
}

// The destination the window posted goes into the park-airport list at the exit; the list does not
// answer within the bound: the exit ends and says so. When it answers later, it is written whole.
TEST_F(ExitWithParkAirport, AParkAirportListThatAnswersLateIsWrittenWholeAfterTheExit) {
  StuckFile stuck(dir() / "airports/my_park_airports.txt");
  gf_setWorkerWaitBound(std::chrono::milliseconds(300));
  gf_requestParkAirportToFront("EHAM", {52.31, 4.76});
  startWorker();
  const auto start = std::chrono::steady_clock::now();
  runExit(UserClosedSim, 0);
  EXPECT_LT(msSince(start), 300 + 5000);  // the bound and a few seconds
  EXPECT_EQ(logCount("===> my_park_airports.txt and the park airport's learned file are not saved: the writing has "
                     "not ended after"),
            1u);
  EXPECT_EQ(ui.posts(), std::vector<int>{2});

  ASSERT_TRUE(stuck.answerReader("LFPG\n"));
  ASSERT_TRUE(waitFor([] { return gf_unfinishedBoundedWork() == 0; }));
  EXPECT_EQ(readFile(dir() / "airports/my_park_airports.txt"), "EHAM\nLFPG\n");
  EXPECT_TRUE(std::filesystem::exists(dir() / "airports/learned/stock/EGLL.xml"));
}
#endif

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

// A worker that re-reads the park-airport list holds the engine's lock; the list does not answer,
// for ever. The close ends the program within the exit's bound and a few seconds, with 0, and the log
// says what was not done and not saved; the list is left as it was.
void lf_workerStuckInTheParkAirportList() {
  gf_log("the worker re-reads the park airports");
  std::string message;
  gf_checkParkAirports(true, message);
}

TEST_F(ShellTest, AWorkerStuckInAFileWithTheEnginesLockLeavesTheProgramToEndWithinTheBound) {
  GTEST_FLAG_SET(death_test_style, "fast");
  StuckFile stuck(dir() / "airports/my_park_airports.txt");
  writeFile(dir() / "close.script", "waitlog the worker re-reads the park airports\nclose\n");
  const auto runAndClose = [&] {
    // Should the exit hang, the child ends all the same, with another code.
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::seconds(30));
      std::_Exit(5);
    }).detach();
    gf_setWorkerWaitBound(std::chrono::milliseconds(200));
    gf_setExitSleeper([](std::chrono::milliseconds) {});
    gf_setWorkerStartUp(lf_workerStuckInTheParkAirportList);
    gf_requestParkAirportToFront("EHAM", {52.31, 4.76});
    platform::headless::HeadlessUiOptions options;
    options.scriptPath = dir() / "close.script";
    std::exit(runApplication(*new platform::headless::HeadlessUi(options)));
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EXIT(runAndClose(), ::testing::ExitedWithCode(0), "");
  EXPECT_LT(msSince(start), 200 + 5000);
  EXPECT_EQ(logCount("===> the service run has not ended after 200 ms"), 1u);
  EXPECT_EQ(logCount("===> the AI aircraft are not removed: the engine is still busy after"), 1u);
  EXPECT_EQ(logCount("===> my_park_airports.txt is not saved with the new destination: the service run still runs"),
            1u);
  EXPECT_EQ(stored("DESTINATION"), "");
  EXPECT_TRUE(stuck.stillAFifo());
}

// The worker hangs in the settings file's write, holding its lock: the exit's saves of the settings and
// the window's save of its position do not wait for it past the bound, and say so.
void lf_workerStuckInTheSettings() {
  gf_log("the worker saves a setting");
  gf_saveBoolOption(SCAN_LIVERIES);
}

TEST_F(ShellTest, AWorkerStuckInTheSettingsFileLeavesTheProgramToEndWithinTheBound) {
  GTEST_FLAG_SET(death_test_style, "fast");
  StuckFile stuck(dir() / "parameters.xml.tmp");
  writeFile(dir() / "close.script", "waitlog the worker saves a setting\nclose\n");
  const auto runAndClose = [&] {
    std::thread([] {
      std::this_thread::sleep_for(std::chrono::seconds(30));
      std::_Exit(5);
    }).detach();
    gf_setWorkerWaitBound(std::chrono::milliseconds(200));
    gf_setExitSleeper([](std::chrono::milliseconds) {});
    gf_setWorkerStartUp(lf_workerStuckInTheSettings);
    platform::headless::HeadlessUiOptions options;
    options.scriptPath = dir() / "close.script";
    std::exit(runApplication(*new platform::headless::HeadlessUi(options)));
  };
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EXIT(runAndClose(), ::testing::ExitedWithCode(0), "");
  EXPECT_LT(msSince(start), 200 + 5000);
  EXPECT_EQ(logCount("===> DESTINATION and BLOCK_CALLSIGN are not saved in parameters.xml: the writing has not ended "
                     "after"),
            1u);
  EXPECT_EQ(logCount("===> the window's position is not saved in parameters.xml: the file does not answer"), 1u);
  EXPECT_EQ(logCount("the AI aircraft are not removed"), 0u);  // the engine's lock was free
  EXPECT_TRUE(stuck.stillAFifo());
}
#endif

}  // namespace
}  // namespace amb::test
