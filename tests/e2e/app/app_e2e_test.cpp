// The program end to end without a simulator: the real binary runs headless in its own folders (the
// harness in e2e/harness.hpp); the tests drive its window through the script FIFO and read Log.txt,
// "parameters.xml" and the window dump.

#include "e2e/harness.hpp"

#include <pugixml.hpp>

namespace amb::test {
namespace {

using namespace e2e;

constexpr const char* kWaiting = "Waiting for Prepar3Dv5 ...";

// The stored value of a key; empty when it has no entry.
std::string stored(const Layout& layout, const std::string& key) {
  pugi::xml_document doc;
  if (!doc.load_file(layout.settingsFile().c_str())) return {};
  for (pugi::xml_node p : doc.child("parameters").children("parameter"))
    if (key == p.attribute("name").value()) return p.attribute("value").value();
  return {};
}

bool waitStored(const Layout& layout, const std::string& key, const std::string& value) {
  return waitFor([&] { return stored(layout, key) == value; }, kBound);
}

// How many of the process's threads carry the name.
int threadsNamed(const Process& p, const std::string& name) {
  int n = 0;
  std::error_code ec;
  for (const auto& task : fs::directory_iterator(fs::path("/proc") / std::to_string(p.pid()) / "task", ec)) {
    const auto comm = readLines(task.path() / "comm");
    n += !comm.empty() && comm[0] == name;
  }
  return n;
}

// The program in the layout's folders, waiting for the simulator.
struct AppRun : ProgramRun {
  explicit AppRun(bool withDocs = true, const std::vector<std::pair<std::string, std::string>>& settings = {})
      : ProgramRun(withDocs) {
    if (!settings.empty()) layout.settings(settings);
    start();
  }
  // Types an existing install path into its box: the service run restarts after 3 seconds.
  void restart() {
    ASSERT_TRUE(layout.waitLog(kWaiting));
    ASSERT_TRUE(window("type 32788 " + layout.simFolder.string()));
    ASSERT_TRUE(layout.waitLog("Install path exists, Ambertrail_P3D will restart"));
    ASSERT_TRUE(layout.waitLog("Restarting after 3 seconds"));
  }
};

TEST(AppEndToEnd, StartsWaitsForTheSimulatorAndClosesCleanly) {
  AppRun run(true, {{"DESTINATION", "EHAM"}, {"BLOCK_CALLSIGN", "DLH4AB"}, {"MAIN_WINDOW_X", "250"}});
  const Layout& layout = run.layout;
  ASSERT_TRUE(layout.waitDump(text(3, 455, kYellow, kWaiting)));
  // The header, the labels of the option table at their rows, the lamps and the window's place.
  for (const char* line : {"window 250 20 880 476 title=\"Ambertrail_P3D\"", "text 3 7 0x32CD32 \"Version 10.10.4\"",
                           "fill 397 30 425 112 0x0000FF", "text 5 119 0x000000 \"Install path:\"",
                           "text 672 147 0x000000 \"Log\"", "text 5 203 0x000000 \"Max aircraft matching depth\"",
                           "text 5 231 0x000000 \"Traffic injection\"", "text 5 287 0x000000 \"Collision avoidance\"",
                           "text 139 343 0x000000 \"destination:\"", "text 506 371 0x000000 \"Max fit:\""})
    EXPECT_TRUE(layout.dumpHas(line)) << line;
  pugi::xml_document svg;
  ASSERT_TRUE(svg.load_file((layout.dump.string() + ".svg").c_str()));
  EXPECT_STREQ(svg.document_element().name(), "svg");

  // A second close while the exit is under way is ignored.
  ASSERT_TRUE(run.window("close"));
  ASSERT_TRUE(run.window("close"));
  EXPECT_EQ(run.program->waitExit(), 0);
  EXPECT_EQ(layout.logCount("Exiting: "), 1u);
  EXPECT_EQ(layout.logCount("Exiting: USER CLOSED SIM"), 1u);
  EXPECT_EQ(layout.logCount("User closed Ambertrail_P3D"), 1u);
  EXPECT_EQ(stored(layout, "DESTINATION"), "");
  EXPECT_EQ(stored(layout, "BLOCK_CALLSIGN"), "");
  EXPECT_EQ(stored(layout, "MAIN_WINDOW_X"), "250");
  EXPECT_EQ(stored(layout, "MAIN_WINDOW_Y"), "20");
}

TEST(AppEndToEnd, ASecondStartEndsAtOnceAndLeavesTheFirstAlone) {
  AppRun run;
  ASSERT_TRUE(run.layout.waitLog(kWaiting));
  const std::string logBefore = run.layout.logText();
  Process second({AMB_PROGRAM}, run.layout.environment(), run.layout.work, run.layout.root / "second.out");
  EXPECT_EQ(second.waitExit(10s), 255);
  EXPECT_EQ(run.layout.logText(), logBefore);
  EXPECT_FALSE(fs::exists(run.layout.work / "Log0.txt"));
  ASSERT_TRUE(run.window("close"));
  EXPECT_EQ(run.program->waitExit(), 0);
}

TEST(AppEndToEnd, ALogThatCannotBeWrittenEndsTheProgramBeforeAnyWindow) {
  Layout layout;
  fs::create_directories(layout.work / "Log.txt");
  Process program({AMB_PROGRAM}, layout.environment(), layout.work, layout.root / "run.out");
  EXPECT_EQ(program.waitExit(), 2);
  EXPECT_NE(readFile(layout.root / "run.out").find("cannot start the log"), std::string::npos);
  EXPECT_FALSE(fs::exists(layout.dump));
}

TEST(AppEndToEnd, OutsideItsFolderTheProgramOnlyShowsError41) {
  AppRun run(false);
  const std::string error = "41: Ambertrail_P3D must be run from the Ambertrail_P3D folder!";
  ASSERT_TRUE(run.layout.waitLog("Error " + error));
  ASSERT_TRUE(run.layout.waitDump(text(3, 455, kYellow, error)));
  EXPECT_TRUE(run.layout.dumpHas("fill 0 448 880 476 0x0000FF"));
  EXPECT_FALSE(fs::exists(run.layout.work / "output"));
  EXPECT_EQ(run.layout.logCount(kWaiting), 0u);
  ASSERT_TRUE(run.window("close"));
  EXPECT_EQ(run.program->waitExit(), 0);
}

TEST(AppEndToEnd, ControlsCommitAndSaveAtOnce) {
  AppRun run;
  const Layout& layout = run.layout;
  ASSERT_TRUE(layout.waitLog(kWaiting));
  ASSERT_TRUE(run.window("click 32779"));  // LOG
  EXPECT_TRUE(waitStored(layout, "LOG", "false"));
  ASSERT_TRUE(run.window("type 32841 12abc"));  // AIRPORT_RANGE: 12, the letters ignored
  EXPECT_TRUE(waitStored(layout, "AIRPORT_RANGE", "12"));
  ASSERT_TRUE(run.window("type 32841 abc"));
  EXPECT_TRUE(layout.waitLog("invalid input: abc"));
  EXPECT_TRUE(layout.waitDump("control 32841 edit 353 343 34 16 enabled=1 checked=0 text=\"12\""));
  EXPECT_EQ(stored(layout, "AIRPORT_RANGE"), "12");
  // The range box takes typing only while the automatic range is off.
  ASSERT_TRUE(run.window("click 32819"));
  ASSERT_TRUE(run.window("type 32818 25"));
  EXPECT_TRUE(waitStored(layout, "LATERAL_RANGE", "25"));
  ASSERT_TRUE(run.window("type 32828 abc"));
  EXPECT_TRUE(layout.waitLog("callsign \"abc\" is not valid"));
  EXPECT_EQ(stored(layout, "BLOCK_CALLSIGN"), "");
  ASSERT_TRUE(run.window("close"));
  EXPECT_EQ(run.program->waitExit(), 0);
}

TEST(AppEndToEnd, ARestartRunsExactlyOneNewWorker) {
  AppRun run;
  ASSERT_TRUE(run.layout.waitLog(kWaiting));
  EXPECT_EQ(threadsNamed(*run.program, "Worker"), 1);
  run.restart();
  ASSERT_TRUE(run.layout.waitLog(kWaiting, 2));
  EXPECT_EQ(run.layout.logCount("Exiting: NEW SETTINGS"), 1u);
  EXPECT_EQ(run.layout.logCount("Prepare for a restart ..."), 1u);
  EXPECT_EQ(run.layout.logCount(" parameters "), 2u);  // the new worker loaded the settings again
  EXPECT_EQ(threadsNamed(*run.program, "Worker"), 1);
  EXPECT_EQ(threadsNamed(*run.program, "SimClient"), 1);
  EXPECT_EQ(stored(run.layout, "SIM_INSTALL_PATH"), run.layout.simFolder.string());
  ASSERT_TRUE(run.window("close"));
  EXPECT_EQ(run.program->waitExit(), 0);
}

TEST(AppEndToEnd, ASecondCloseIsIgnoredAndAnExitDuringTheCountdownEndsTheProgram) {
  AppRun run;
  run.restart();
  // The countdown cleared the first exit; closing now runs an exit of its own, which ends the program.
  ASSERT_TRUE(run.window("close"));
  ASSERT_TRUE(run.window("close"));
  EXPECT_EQ(run.program->waitExit(), 0);
  EXPECT_EQ(run.layout.logCount("Exiting: USER CLOSED SIM"), 1u);
  EXPECT_EQ(run.layout.logCount(kWaiting), 1u);  // no new worker started
  EXPECT_EQ(run.layout.logCount(" parameters "), 1u);
}

// The window says "closing" at once: a close while the restart's exit takes the run down, before its
// countdown, ends the program instead of starting a new run.
TEST(AppEndToEnd, ACloseDuringARestartsExitEndsTheProgram) {
  AppRun run;
  ASSERT_TRUE(run.layout.waitLog(kWaiting));
  ASSERT_TRUE(run.window("type 32788 " + run.layout.simFolder.string()));
  ASSERT_TRUE(run.layout.waitLog("Exiting: NEW SETTINGS"));
  ASSERT_TRUE(run.window("close"));
  EXPECT_EQ(run.program->waitExit(20s), 0);
  EXPECT_EQ(run.layout.logCount("Restarting after"), 0u);
  EXPECT_EQ(run.layout.logCount(kWaiting), 1u);  // no new run
}

TEST(AppEndToEnd, ClosingDuringALongLiveryScanEndsTheProgramWithinSeconds) {
  // Five livery folders (the same package five times), each an aircraft.cfg of 40,000 sections naming
  // texture folders that do not exist, in a folder of 20,000 entries: seconds of scanning, and once
  // four minutes a file when every missing name listed the whole folder.
  ProgramRun run;
  const fs::path package = run.layout.root / "liveries" / "pkg";
  fs::create_directories(package / "model");
  writeFile(package / "A320.air", "");
  for (int i = 0; i < 20000; ++i) writeFile(package / ("texture.Other" + std::to_string(i)), "");
  // The first section says when a job has begun with the sections: its registration is logged as
  // faulty.
  std::string cfg = "[General]\natc_model=A320\n[fltsim.0]\ntitle=First\natc_id=,AB\n";
  for (int i = 1; i < 40000; ++i) {
    const std::string n = std::to_string(i);
    cfg += "[fltsim." + n + "]\ntitle=Missing " + n + "\natc_parking_codes=BAW\nsim=A320\nmodel=\ntexture=Gone" + n + "\n";
  }
  writeFile(package / "aircraft.cfg", cfg);
  std::vector<std::pair<std::string, std::string>> settings{{"LIG_AUTOMATIC", "false"}};
  for (int i = 0; i < 5; ++i) settings.emplace_back("lfolder" + std::to_string(i), (run.layout.root / "liveries").string());
  run.layout.settings(settings);
  run.start();
  ASSERT_TRUE(run.layout.waitLog("empty regcode in First ,AB"));
  ASSERT_TRUE(run.window("close"));
  const auto closed = std::chrono::steady_clock::now();
  // Bounded generously: the exit sequence's own pauses take about two seconds.
  const std::optional<int> code = run.program->waitExit(60s);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - closed).count();
  std::printf("the program ended %.1f s after the close during the livery scan\n", seconds);
  ASSERT_EQ(code, 0) << "still running " << seconds << " s after the close";
  EXPECT_LT(seconds, 30.0);
  EXPECT_EQ(run.layout.logCount("the service run has not ended"), 0u);
  // The scan was cut short: nothing of it was written, and the next start scans again.
  EXPECT_EQ(run.layout.logCount("liveries scan ends"), 0u);
  EXPECT_EQ(stored(run.layout, "SCAN_LIVERIES"), "true");
}

}  // namespace
}  // namespace amb::test
