#include "platform/linux/ui_headless.hpp"
#include "platform/ui.hpp"
#include "support/test_support.hpp"
#include "ui_fixture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace amb::test {
namespace {

using platform::Rect;
using platform::headless::HeadlessUi;
using platform::headless::HeadlessUiOptions;

HeadlessUiOptions quietOptions(DiagLines& diag) {
  HeadlessUiOptions o;
  o.diag = diag.sink();
  return o;
}

// ---- The queue: posted messages, quit, destroy -------------------------------------------------

TEST(HeadlessUiQueue, PostedMessagesComeBeforeQuitInTheOrderPosted) {
  DiagLines diag;
  HeadlessUi ui(quietOptions(diag));
  RecordingEvents ev;
  ASSERT_TRUE(ui.createMainWindow("T", 400, 20, 880, 516, ev));
  ui.post(1);
  ui.post(2);
  ui.quit(7);
  ui.post(3);  // still delivered: the loop ends only once nothing posted is left
  EXPECT_EQ(runBounded(ui), 7);
  EXPECT_EQ(ev.events(), (std::vector<std::string>{"create", "app 1", "app 2", "app 3"}));

  // The quit was taken: the loop runs again until the next one.
  ev.onAppHook = [&](int n) {
    if (n == 4) ui.quit(-1);
  };
  ui.post(4);
  ui.post(5);
  EXPECT_EQ(runBounded(ui), -1);
  EXPECT_EQ(ev.events().back(), "app 5");
}

TEST(HeadlessUiQueue, DestroyTellsTheProgramThenTheWindowAndItsControlsAreGone) {
  for (const bool fromOtherThread : {false, true}) {
    SCOPED_TRACE(fromOtherThread ? "from another thread" : "on the main thread");
    DiagLines diag;
    HeadlessUi ui(quietOptions(diag));
    RecordingEvents ev;
    bool controlDuringDestroy = false;
    ev.onCreateHook = [&] { ui.createButton(9, "Go", 0, 0, 50, 20); };
    ev.onDestroyHook = [&] {
      controlDuringDestroy = ui.hasControl(9);
      ui.quit(0);
    };
    ev.onAppHook = [&](int) {
      if (fromOtherThread)
        std::thread([&] { ui.destroyWindow(); }).join();
      else
        ui.destroyWindow();
    };
    ASSERT_TRUE(ui.createMainWindow("T", 0, 0, 880, 516, ev));
    ui.post(1);
    EXPECT_EQ(runBounded(ui), 0);
    EXPECT_TRUE(controlDuringDestroy);
    EXPECT_FALSE(ui.windowExists());
    EXPECT_FALSE(ui.hasControl(9));
    ui.post(2);  // dropped: there is no window to receive it
    ui.invalidate(std::nullopt);
    ui.quit(3);
    EXPECT_EQ(runBounded(ui), 3);
    EXPECT_EQ(ev.events(), (std::vector<std::string>{"create", "app 1", "destroy"}));
  }
}

// ---- The window and its controls -------------------------------------------------------------

TEST(HeadlessUiControls, WindowAndControlsBehaveLikeTheirWindowsCounterparts) {
  DiagLines diag;
  HeadlessUi ui(quietOptions(diag));
  RecordingEvents ev;
  ui.createCheckBox(1, 0, 0, 12, 12, true);  // before the window: nothing to put it on
  EXPECT_FALSE(ui.hasControl(1));
  int paintsAtCreate = -1;
  ev.onCreateHook = [&] {
    paintsAtCreate = ev.paints();
    ui.createCheckBox(1, 5, 149, 12, 12, false);
    ui.createButton(2, "Unblock", 323, 257, 70, 20);
    ui.createEdit(3, 217, 203, 24, 16);
  };
  EXPECT_FALSE(ui.createMainWindow("T", 0, 0, 0, 516, ev)) << "a window without a size";
  ASSERT_TRUE(ui.createMainWindow("Ambertrail_P3D", 400, 20, 880, 516, ev));
  EXPECT_EQ(paintsAtCreate, 0);
  EXPECT_EQ(ev.paints(), 1) << "painted before createMainWindow returns";
  EXPECT_EQ(ui.windowRect(), (Rect{400, 20, 1280, 536}));
  EXPECT_FALSE(ui.createMainWindow("T", 0, 0, 880, 516, ev)) << "one main window";

  // New controls are enabled; the program disables what it wants disabled.
  for (std::uint16_t id : {1, 2, 3}) EXPECT_TRUE(ui.isEnabled(id)) << id;
  EXPECT_EQ(ui.getText(2), "Unblock");
  ui.setChecked(1, true);
  ui.setChecked(2, true);  // a push button keeps no checked state
  EXPECT_TRUE(ui.isChecked(1));
  EXPECT_FALSE(ui.isChecked(2));
  ui.enable(3, false);
  EXPECT_FALSE(ui.isEnabled(3));
  ui.setText(3, "Zürich \"x\"");
  EXPECT_EQ(ui.getText(3), "Zürich \"x\"");

  // An id without a control: reads give nothing, writes change nothing.
  ui.setText(77, "x");
  ui.enable(77, true);
  ui.setChecked(77, true);
  EXPECT_FALSE(ui.hasControl(77) || ui.isEnabled(77) || ui.isChecked(77));
  EXPECT_EQ(ui.getText(77), "");
}

// ---- Painting -----------------------------------------------------------------------------------

TEST(HeadlessUiPaint, ABurstOfInvalidatesGivesOnePaint) {
  DiagLines diag;
  HeadlessUi ui(quietOptions(diag));
  RecordingEvents ev;
  ev.onAppHook = [&](int) {
    for (int i = 0; i < 1000; ++i) ui.invalidate(i % 2 ? std::optional<Rect>(Rect{0, 112, 880, 392}) : std::nullopt);
  };
  ev.onPaintHook = [&](platform::Surface&) {
    if (ev.paints() == 2) ui.quit(0);
  };
  ASSERT_TRUE(ui.createMainWindow("T", 0, 0, 880, 516, ev));
  ui.post(1);
  EXPECT_EQ(runBounded(ui), 0);
  EXPECT_EQ(ev.paints(), 2);  // the one at creation and one for the whole burst
  EXPECT_EQ(ui.paintCount(), 2u);
}

TEST(HeadlessUiPaint, InvalidateDuringAPaintAsksForAnother) {
  DiagLines diag;
  HeadlessUi ui(quietOptions(diag));
  RecordingEvents ev;
  ev.onPaintHook = [&](platform::Surface& s) {
    s.text(0, 0, std::to_string(ev.paints()), 0);
    if (ev.paints() < 3)
      ui.invalidate(std::nullopt);
    else
      ui.quit(0);
  };
  ASSERT_TRUE(ui.createMainWindow("T", 0, 0, 880, 516, ev));
  EXPECT_EQ(runBounded(ui), 0);
  EXPECT_EQ(ev.paints(), 3);
  const auto pic = ui.picture();
  ASSERT_EQ(pic.ops.size(), 1u) << "only the last paint is kept";
  EXPECT_EQ(pic.ops[0].text, "3");
}

// invalidate is called by threads that hold the program's own locks, which the painter takes too
// (the message line works so). Nothing may wait for the main thread there.
TEST(HeadlessUiPaint, ManyThreadsInvalidateAndPostWhilePaintingWithoutBlockingOrLosingAnything) {
  DiagLines diag;
  HeadlessUiOptions o = quietOptions(diag);
  TempDir dir("ui-stress");
  o.dumpPath = dir / "dump.txt";
  HeadlessUi ui(o);
  RecordingEvents ev;
  std::mutex programLock;
  std::atomic<int> lastWritten{-1};
  ev.onCreateHook = [&] {
    ui.createEdit(1, 0, 0, 100, 16);
    ui.createCheckBox(2, 0, 20, 12, 12, false);
  };
  ev.onPaintHook = [&](platform::Surface& s) {
    std::lock_guard lk(programLock);
    s.fill(Rect{0, 0, 880, 516}, 0);
    s.text(3, 455, ui.getText(1), 0x00FFFF);
    if (ui.isEnabled(2)) s.text(0, 20, "enabled", 0);
    if (ui.paintCount() % 7 == 0) ui.invalidate(std::nullopt);
  };
  constexpr int kThreads = 8, kRounds = 3000;
  std::vector<int> nextPost(kThreads, 0);
  bool postsInOrder = true;
  ev.onAppHook = [&](int n) {
    if (n < 0) return ui.quit(0);
    postsInOrder = postsInOrder && n % 10000 == nextPost[n / 10000];
    nextPost[n / 10000] += 100;
  };
  ASSERT_TRUE(ui.createMainWindow("T", 0, 0, 880, 516, ev));

  std::atomic<int> finished{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        {
          std::lock_guard lk(programLock);
          ui.setText(1, "t" + std::to_string(t) + " " + std::to_string(i));
          ui.invalidate(std::optional<Rect>(Rect{0, 448, 880, 476}));
        }
        ui.enable(2, i % 2 == 0);
        ui.setChecked(2, i % 3 == 0);
        if (i % 100 == 0) ui.post(t * 10000 + i);
      }
      ++finished;
    });
  std::thread last([&] {
    for (auto& th : threads) th.join();
    {
      std::lock_guard lk(programLock);
      ui.setText(1, "final");
      lastWritten = 1;
      ui.invalidate(std::nullopt);
    }
    // The last change must reach a paint and the dump.
    waitFor([&] { return readFile(dir / "dump.txt").find("\"final\"") != std::string::npos; });
    ui.post(-1);
  });
  EXPECT_EQ(runBounded(ui, std::chrono::seconds(60)), 0);
  last.join();
  EXPECT_EQ(finished.load(), kThreads);
  EXPECT_TRUE(postsInOrder);
  EXPECT_EQ(nextPost, std::vector<int>(kThreads, kRounds)) << "every post arrived once";
  const auto pic = ui.picture();
  ASSERT_FALSE(pic.ops.empty());
  EXPECT_EQ(pic.ops[1].text, "final");
  EXPECT_NE(readFile(dir / "dump.txt").find("text 3 455 0x00FFFF \"final\""), std::string::npos);
}

// ---- The dump and the SVG picture ---------------------------------------------------------------

TEST(HeadlessUiDump, HoldsTheWholeLastPaintTheControlsAndTopmost) {
  DiagLines diag;
  TempDir dir("ui-dump");
  HeadlessUiOptions o = quietOptions(diag);
  o.dumpPath = dir / "window.txt";
  o.svgPath = dir / "window.svg";
  HeadlessUi ui(o);
  RecordingEvents ev;
  ev.onCreateHook = [&] {
    ui.createCheckBox(32797, 5, 149, 12, 12, true);
    ui.createButton(32829, "Unblock", 323, 257, 70, 20);
    ui.enable(32829, false);
    ui.createEdit(32808, 217, 203, 24, 16);
    ui.setText(32808, "4");
    ui.setTopmost(true);
  };
  ev.onPaintHook = [&](platform::Surface& s) {
    s.fill(Rect{0, 0, 880, 28}, 0x000000);
    s.fill(Rect{0, 112, 880, 392}, 0xFFCC99);
    s.line(0, 28, 880, 28, 0xFFFFFF);
    s.text(3, 7, "Version 10.10.4", 0x32CD32);
    s.text(5, 91, "say \"hi\" \\ <&>", 0x0000FF);
  };
  ASSERT_TRUE(ui.createMainWindow("Ambertrail_P3D", 400, 20, 880, 516, ev));

  // The first paint happens inside createMainWindow, and the files are there when it returns.
  const std::vector<std::string> expected = {
      "window 400 20 880 516 title=\"Ambertrail_P3D\"",
      "paints 1",
      "fill 0 0 880 28 0x000000",
      "fill 0 112 880 392 0xFFCC99",
      "line 0 28 880 28 0xFFFFFF",
      "text 3 7 0x32CD32 \"Version 10.10.4\"",
      "text 5 91 0x0000FF \"say \\\"hi\\\" \\\\ <&>\"",
      "control 32797 checkbox 5 149 12 12 enabled=1 checked=1 text=\"\"",
      "control 32829 button 323 257 70 20 enabled=0 checked=0 text=\"Unblock\"",
      "control 32808 edit 217 203 24 16 enabled=1 checked=0 text=\"4\"",
      "topmost=1",
  };
  EXPECT_EQ(readLines(dir / "window.txt"), expected);

  // A control that changes later rewrites the dump without asking the program to paint.
  ev.onAppHook = [&](int) { ui.quit(0); };
  std::thread worker([&] {
    ui.setChecked(32797, false);
    ui.setTopmost(false);
    waitFor([&] { return readFile(dir / "window.txt").find("topmost=0") != std::string::npos; });
    ui.post(1);
  });
  EXPECT_EQ(runBounded(ui), 0);
  worker.join();
  const std::string dump = readFile(dir / "window.txt");
  EXPECT_NE(dump.find("control 32797 checkbox 5 149 12 12 enabled=1 checked=0"), std::string::npos);
  EXPECT_NE(dump.find("text 3 7 0x32CD32 \"Version 10.10.4\""), std::string::npos) << "paint kept";
  EXPECT_EQ(ev.paints(), 1);

  // Written by rename: no temporary file is left beside them.
  const auto files = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  EXPECT_EQ(files, 2);
}

TEST(HeadlessUiDump, AFolderThatCannotBeWrittenIsReportedOnceAndTheWindowGoesOn) {
  DiagLines diag;
  TempDir dir("ui-dump-fail");
  HeadlessUiOptions o = quietOptions(diag);
  o.dumpPath = dir / "missing-folder" / "window.txt";
  o.minPaintInterval = std::chrono::milliseconds(0);
  HeadlessUi ui(o);
  RecordingEvents ev;
  ev.onPaintHook = [&](platform::Surface&) {
    if (ev.paints() < 4)
      ui.invalidate(std::nullopt);
    else
      ui.quit(0);
  };
  ASSERT_TRUE(ui.createMainWindow("T", 0, 0, 880, 516, ev));
  EXPECT_EQ(runBounded(ui), 0);
  EXPECT_EQ(ev.paints(), 4);
  EXPECT_EQ(diag.lines().size(), 1u);
  EXPECT_TRUE(diag.contains("missing-folder"));
}

TEST(HeadlessUiFactory, MakeUiTakesItsFilesFromTheEnvironment) {
  TempDir dir("ui-env");
  ScopedEnv dump("AMBT_UI_DUMP", (dir / "d.txt").string());
  ScopedEnv svg("AMBT_UI_SVG", "");
  ScopedEnv script("AMBT_UI_SCRIPT", "");
  ScopedEnv wait("AMBT_UI_WAIT_MS", "250");
  const auto o = HeadlessUiOptions::fromEnvironment();
  EXPECT_EQ(o.waitLogBound, std::chrono::milliseconds(250));
  EXPECT_FALSE(o.scriptPath);
  auto ui = platform::makeUi();
  RecordingEvents ev;
  ASSERT_TRUE(ui->createMainWindow("T", 1, 2, 880, 516, ev));
  EXPECT_EQ(readLines(dir / "d.txt").at(0), "window 1 2 880 516 title=\"T\"");
  EXPECT_TRUE(std::filesystem::exists(dir / "d.txt.svg")) << "the picture goes beside the dump";
  ScopedEnv svg2("AMBT_UI_SVG", (dir / "p.svg").string());
  EXPECT_EQ(*HeadlessUiOptions::fromEnvironment().svgPath, dir / "p.svg");
}

}  // namespace
}  // namespace amb::test
