#include "platform/linux/ui_headless.hpp"
#include "ui_fixture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace amb::test {
namespace {

using platform::Rect;
using platform::headless::HeadlessUiOptions;
using Events = std::vector<std::string>;

TEST(HeadlessUi, PostedMessagesComeBeforeQuitInTheOrderPosted) {
  TestWindow w;
  ASSERT_TRUE(w.create());
  w.ui.post(1);
  w.ui.quit(7);
  w.ui.post(2);  // still delivered: the loop ends only once nothing posted is left
  EXPECT_EQ(runBounded(w.ui), 7);
  // The quit was taken: the loop runs again until the next one.
  w.ev.onEvent = [&](const std::string& e) {
    if (e == "app 3") w.ui.quit(-1);
  };
  w.ui.post(3);
  w.ui.post(4);
  EXPECT_EQ(runBounded(w.ui), -1);
  EXPECT_EQ(w.ev.events(), (Events{"create", "app 1", "app 2", "app 3", "app 4"}));
}

TEST(HeadlessUi, DestroyFromAnyThreadTellsTheProgramThenTheWindowAndItsControlsAreGone) {
  for (const bool fromOtherThread : {false, true}) {
    SCOPED_TRACE(fromOtherThread);
    TestWindow w;
    bool controlDuringDestroy = false;
    w.ev.onEvent = [&](const std::string& e) {
      if (e == "create") w.ui.createButton(9, "Go", 0, 0, 50, 20);
      if (e == "app 1") fromOtherThread ? std::thread([&] { w.ui.destroyWindow(); }).join() : w.ui.destroyWindow();
      if (e == "destroy") {
        controlDuringDestroy = w.ui.hasControl(9);
        w.ui.quit(0);
      }
    };
    ASSERT_TRUE(w.create());
    w.ui.post(1);
    EXPECT_EQ(runBounded(w.ui), 0);
    EXPECT_TRUE(controlDuringDestroy);
    EXPECT_FALSE(w.ui.windowExists() || w.ui.hasControl(9));
    w.ui.post(2);  // dropped: there is no window to receive it
    w.ui.quit(3);
    EXPECT_EQ(runBounded(w.ui), 3);
    EXPECT_EQ(w.ev.events(), (Events{"create", "app 1", "destroy"}));
  }
}

TEST(HeadlessUi, WindowAndControlsBehaveLikeTheirWindowsCounterparts) {
  TestWindow w;
  w.ui.createCheckBox(1, 0, 0, 12, 12, true);  // before the window: nothing to put it on
  EXPECT_FALSE(w.ui.hasControl(1));
  w.ev.onEvent = [&](const std::string& e) {
    if (e == "create") w.ui.createButton(2, "Unblock", 323, 257, 70, 20);
  };
  EXPECT_FALSE(w.ui.createMainWindow("T", 0, 0, 0, 516, w.ev)) << "a window without a size";
  ASSERT_TRUE(w.create(400, 20));
  EXPECT_EQ(w.ev.paints(), 1) << "painted before createMainWindow returns";
  EXPECT_EQ(w.ui.windowRect(), (Rect{400, 20, 1280, 536}));
  EXPECT_FALSE(w.create()) << "one main window";
  w.ui.setChecked(2, true);  // a push button keeps no checked state
  w.ui.setText(77, "x");     // an id without a control: writes change nothing
  EXPECT_FALSE(w.ui.isChecked(2) || w.ui.hasControl(77));
}

TEST(HeadlessUi, InvalidateDuringAPaintAsksForAnother) {
  TestWindow w;
  w.ev.onPaintHook = [&](platform::Surface& s) {
    s.text(0, 0, std::to_string(w.ev.paints()), 0);
    w.ev.paints() < 3 ? w.ui.invalidate(std::nullopt) : w.ui.quit(0);
  };
  ASSERT_TRUE(w.create());
  EXPECT_EQ(runBounded(w.ui), 0);
  EXPECT_EQ(w.ev.paints(), 3);
  const auto pic = w.ui.picture();
  ASSERT_EQ(pic.ops.size(), 1u) << "only the last paint is kept";
  EXPECT_EQ(pic.ops[0].text, "3");
}

// invalidate is called by threads that hold the program's own locks, which the painter takes too
// (the message line works so). Nothing may wait for the main thread there.
TEST(HeadlessUi, ManyThreadsInvalidateAndPostWhilePaintingWithoutBlockingOrLosingAnything) {
  TempDir dir("ui-stress");
  HeadlessUiOptions o;
  o.dumpPath = dir / "dump.txt";
  TestWindow w(o);
  std::mutex programLock;
  w.ev.onPaintHook = [&](platform::Surface& s) {
    std::lock_guard lk(programLock);
    s.fill(Rect{0, 0, 880, 516}, 0);
    s.text(3, 455, w.ui.getText(1), 0x00FFFF);
    if (w.ui.paintCount() % 7 == 0) w.ui.invalidate(std::nullopt);
  };
  constexpr int kThreads = 8, kRounds = 3000;
  std::vector<int> nextPost(kThreads, 0);
  bool postsInOrder = true;
  w.ev.onEvent = [&](const std::string& e) {
    if (e == "create") {
      w.ui.createEdit(1, 0, 0, 100, 16);
      w.ui.createCheckBox(2, 0, 20, 12, 12, false);
    } else if (e == "app -1") {
      w.ui.quit(0);
    } else if (e.starts_with("app ")) {
      const int n = std::stoi(e.substr(4));
      postsInOrder = postsInOrder && n % 10000 == nextPost[n / 10000];
      nextPost[n / 10000] += 100;
    }
  };
  ASSERT_TRUE(w.create());
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        std::unique_lock lk(programLock);
        w.ui.setText(1, "t" + std::to_string(t) + " " + std::to_string(i));
        w.ui.invalidate(std::optional<Rect>(Rect{0, 448, 880, 476}));
        lk.unlock();
        w.ui.enable(2, i % 2 == 0);
        w.ui.setChecked(2, i % 3 == 0);
        if (i % 100 == 0) w.ui.post(t * 10000 + i);
      }
    });
  std::thread last([&] {
    for (auto& th : threads) th.join();
    std::unique_lock lk(programLock);
    w.ui.setText(1, "final");
    w.ui.invalidate(std::nullopt);
    lk.unlock();
    // The last change must reach a paint and the dump.
    waitFor([&] { return readFile(dir / "dump.txt").find("\"final\"") != std::string::npos; });
    w.ui.post(-1);
  });
  EXPECT_EQ(runBounded(w.ui, std::chrono::seconds(60)), 0);
  last.join();
  EXPECT_TRUE(postsInOrder);
  EXPECT_EQ(nextPost, std::vector<int>(kThreads, kRounds)) << "every post arrived once";
  EXPECT_NE(readFile(dir / "dump.txt").find("text 3 455 0x00FFFF \"final\""), std::string::npos);
}

TEST(HeadlessUi, TheDumpHoldsTheLastPaintTheControlsAndTopmost) {
  TempDir dir("ui-dump");
  HeadlessUiOptions o;
  o.dumpPath = dir / "window.txt";
  o.svgPath = dir / "window.svg";
  TestWindow w(o);
  w.ev.onEvent = [&](const std::string& e) {
    if (e == "app 1") w.ui.quit(0);
    if (e != "create") return;
    w.ui.createCheckBox(32797, 5, 149, 12, 12, true);
    w.ui.createEdit(32808, 217, 203, 24, 16);
    w.ui.enable(32808, false);
    w.ui.setText(32808, "4");
    w.ui.setTopmost(true);
  };
  w.ev.onPaintHook = [&](platform::Surface& s) {
    s.fill(Rect{0, 112, 880, 392}, 0xFFCC99);
    s.line(0, 28, 880, 28, 0xFFFFFF);
    s.text(5, 91, "say \"hi\" \\ <&>", 0x0000FF);
  };
  ASSERT_TRUE(w.ui.createMainWindow("Ambertrail_P3D", 400, 20, 880, 516, w.ev));
  // The first paint happens inside createMainWindow, and the files are there when it returns.
  EXPECT_EQ(readLines(dir / "window.txt"),
            (Events{"window 400 20 880 516 title=\"Ambertrail_P3D\"", "paints 1", "fill 0 112 880 392 0xFFCC99",
                    "line 0 28 880 28 0xFFFFFF", "text 5 91 0x0000FF \"say \\\"hi\\\" \\\\ <&>\"",
                    "control 32797 checkbox 5 149 12 12 enabled=1 checked=1 text=\"\"",
                    "control 32808 edit 217 203 24 16 enabled=0 checked=0 text=\"4\"", "topmost=1"}));

  // A control that changes later rewrites the dump without asking the program to paint.
  std::thread worker([&] {
    w.ui.setTopmost(false);
    waitFor([&] { return readFile(dir / "window.txt").find("topmost=0") != std::string::npos; });
    w.ui.post(1);
  });
  EXPECT_EQ(runBounded(w.ui), 0);
  worker.join();
  EXPECT_NE(readFile(dir / "window.txt").find("line 0 28 880 28 0xFFFFFF"), std::string::npos) << "paint kept";
  EXPECT_EQ(w.ev.paints(), 1);
  // Written by rename: no temporary file is left beside them.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

TEST(HeadlessUi, AFolderThatCannotBeWrittenIsReportedOnceAndTheWindowGoesOn) {
  TempDir dir("ui-dump-fail");
  HeadlessUiOptions o;
  o.dumpPath = dir / "missing-folder" / "window.txt";
  o.minPaintInterval = std::chrono::milliseconds(0);
  TestWindow w(o);
  w.ev.onPaintHook = [&](platform::Surface&) { w.ev.paints() < 4 ? w.ui.invalidate(std::nullopt) : w.ui.quit(0); };
  ASSERT_TRUE(w.create());
  EXPECT_EQ(runBounded(w.ui), 0);
  EXPECT_EQ(w.diag.lines().size(), 1u);
  EXPECT_TRUE(w.diag.contains("missing-folder"));
}

}  // namespace
}  // namespace amb::test
