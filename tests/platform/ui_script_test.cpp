// The script driver that the end-to-end tests steer the window with: its language, its refusals,
// and that it never holds up a close.

#include "platform/linux/ui_headless.hpp"
#include "platform/linux/ui_script.hpp"
#include "ui_fixture.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace amb::test {
namespace {

using namespace std::chrono_literals;
using platform::headless::HeadlessUiOptions;
using platform::headless::ScriptCommand;
using Kind = ScriptCommand::Kind;
using Events = std::vector<std::string>;

TEST(UiScript, ParsesEveryCommandAndRejectsMalformedLines) {
  auto cmd = [](Kind k, std::uint16_t id = 0, std::string text = {}, std::chrono::milliseconds d = {}) {
    return ScriptCommand{k, id, std::move(text), d};
  };
  const std::pair<std::string, std::optional<ScriptCommand>> good[] = {
      {"  # click 5", std::nullopt},
      {"  click\t32779  \r", cmd(Kind::Click, 32779)},
      {"type 32828 two  words ", cmd(Kind::Type, 32828, "two  words ")},  // kept as typed
      {"type 1 Zürich\r\n", cmd(Kind::Type, 1, "Zürich")},
      {"sleep 250", cmd(Kind::Sleep, 0, {}, 250ms)},
      {"waitlog Exiting: USER CLOSED SIM", cmd(Kind::WaitLog, 0, "Exiting: USER CLOSED SIM")}};
  for (const auto& [line, command] : good) {
    const auto parsed = platform::headless::parseScriptLine(line);
    EXPECT_EQ(parsed.command, command) << line;
    EXPECT_EQ(parsed.error, "") << line;
  }
  for (const char* bad : {"click 65536", "click -1", "click 5 6", "type abc text", "sleep 99999999999", "waitlog"})
    EXPECT_NE(platform::headless::parseScriptLine(bad).error, "") << bad;
}

// A window with a check box (100), a disabled button (101), an edit box (200) and a disabled edit
// box (201), whose close ends the loop.
struct ScriptedWindow : TestWindow {
  explicit ScriptedWindow(HeadlessUiOptions o) : TestWindow(std::move(o)) {
    ev.onEvent = [this](const std::string& e) {
      if (e == "create") {
        ui.createCheckBox(100, 5, 149, 12, 12, false);
        ui.createButton(101, "Re-read", 758, 341, 90, 20);
        ui.enable(101, false);
        ui.createEdit(200, 217, 203, 100, 16);
        ui.createEdit(201, 353, 343, 34, 16);
        ui.enable(201, false);
      }
      if (e == "enter 200") textsAtEnter.push_back(ui.getText(200));
      if (e == "close") ui.quit(0);
    };
  }
  std::vector<std::string> textsAtEnter;
};

HeadlessUiOptions scriptOptions(const std::filesystem::path& script) {
  HeadlessUiOptions o;
  o.scriptPath = script;
  return o;
}

TEST(UiScript, TheDriverRunsEveryCommandAndRefusesInputWindowsWouldNotDeliver) {
  TempDir dir("ui-script");
  writeFile(dir / "script.txt",
            "# start\n\nclick 100\nclick 101\nclick 999\ntype 200 hello  world\ntype 201 nope\nenter 200\n"
            "click 200\nenter 100\nsleep 5\nbogus stuff\nclose\n");
  ScriptedWindow w(scriptOptions(dir / "script.txt"));
  ASSERT_TRUE(w.create());
  EXPECT_EQ(runBounded(w.ui), 0);
  // A click is only a command: the program, not the box, toggles a check box.
  EXPECT_EQ(w.ev.events(), (Events{"create", "command 100", "enter 200", "enter 200", "close"}));
  EXPECT_FALSE(w.ui.isChecked(100));
  EXPECT_EQ(w.textsAtEnter, (Events{"hello  world", "hello  world"}));
  EXPECT_EQ(w.ui.getText(201), "") << "a disabled box takes no typing";
  for (const char* refusal : {"refused click 101: control 101 is disabled", "refused click 999: there is no control 999",
                              "refused type 201: control 201 is disabled",
                              "refused click 200: control 200 (edit) takes no click",
                              "refused enter 100: control 100 (checkbox) takes no typing",
                              "skipped line \"bogus stuff\": unknown command \"bogus\""})
    EXPECT_TRUE(w.diag.contains(refusal)) << refusal;
  EXPECT_TRUE(waitFor([&] { return w.ui.scriptFinished(); }));
}

// Closing the window must not hang on a driver that waits: for a writer, in a sleep, in a waitlog.
TEST(UiScript, TheDriverEndsPromptlyWhileWaiting) {
  TempDir dir("ui-stop");
  ScopedCwd cwd(dir.path());
  ASSERT_EQ(::mkfifo((dir / "empty.fifo").c_str(), 0600), 0);
  writeFile(dir / "sleep.txt", "sleep 600000\n");
  writeFile(dir / "waitlog.txt", "waitlog never\n");
  for (const char* name : {"empty.fifo", "sleep.txt", "waitlog.txt"}) {
    SCOPED_TRACE(name);
    HeadlessUiOptions o = scriptOptions(dir / name);
    o.waitLogBound = 600s;
    auto w = std::make_shared<TestWindow>(o);
    ASSERT_TRUE(w->create());
    if (std::string(name) != "empty.fifo") {
      ASSERT_TRUE(waitFor([&] { return w->diag.lines().size() == 1; }));  // the command is under way
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The closing thread owns everything it touches, so a hang fails the test without a crash.
    std::thread closer([w = std::move(w), done]() mutable {
      w.reset();
      *done = true;
    });
    const bool ended = waitFor([&] { return done->load(); }, 10s);
    EXPECT_TRUE(ended);
    ended ? closer.join() : closer.detach();
  }
}

}  // namespace
}  // namespace amb::test
