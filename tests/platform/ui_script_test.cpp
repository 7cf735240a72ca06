#include "platform/linux/ui_headless.hpp"
#include "platform/linux/ui_script.hpp"
#include "support/test_support.hpp"
#include "ui_fixture.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace amb::test {
namespace {

using namespace std::chrono_literals;
using platform::ControlKind;
using platform::headless::HeadlessUi;
using platform::headless::HeadlessUiOptions;
using platform::headless::LogWatcher;
using platform::headless::parseScriptLine;
using platform::headless::ScriptCommand;
using Kind = ScriptCommand::Kind;

TEST(UiScriptParse, ReadsEveryCommandAndRejectsMalformedLines) {
  auto cmd = [](Kind k, std::uint16_t id = 0, std::string text = {}, std::chrono::milliseconds d = {}) {
    ScriptCommand c;
    c.kind = k;
    c.id = id;
    c.text = std::move(text);
    c.duration = d;
    return c;
  };
  const struct {
    std::string line;
    std::optional<ScriptCommand> command;
    bool error;
  } cases[] = {
      {"", std::nullopt, false},
      {"   \t", std::nullopt, false},
      {"# click 5", std::nullopt, false},
      {"  # indented comment", std::nullopt, false},
      {"click 32779", cmd(Kind::Click, 32779), false},
      {"  click\t32779  \r", cmd(Kind::Click, 32779), false},
      {"enter 32808", cmd(Kind::Enter, 32808), false},
      {"type 32808 12abc", cmd(Kind::Type, 32808, "12abc"), false},
      {"type 32828 two  words ", cmd(Kind::Type, 32828, "two  words "), false},  // kept as typed
      {"type 32808 ", cmd(Kind::Type, 32808, ""), false},                      // an emptied box
      {"type 32808", cmd(Kind::Type, 32808, ""), false},
      {"type 1 Zürich\r\n", cmd(Kind::Type, 1, "Zürich"), false},
      {"close", cmd(Kind::Close), false},
      {"sleep 250", cmd(Kind::Sleep, 0, {}, 250ms), false},
      {"waitlog Exiting: USER CLOSED SIM", cmd(Kind::WaitLog, 0, "Exiting: USER CLOSED SIM"), false},
      {"click 65535", cmd(Kind::Click, 65535), false},
      {"click 65536", std::nullopt, true},
      {"click -1", std::nullopt, true},
      {"click 0x10", std::nullopt, true},
      {"click", std::nullopt, true},
      {"click 5 6", std::nullopt, true},
      {"type abc text", std::nullopt, true},
      {"close now", std::nullopt, true},
      {"sleep", std::nullopt, true},
      {"sleep 1.5", std::nullopt, true},
      {"sleep 99999999999", std::nullopt, true},
      {"waitlog", std::nullopt, true},
      {"CLICK 5", std::nullopt, true},
      {"press 5", std::nullopt, true},
  };
  for (const auto& c : cases) {
    const auto parsed = parseScriptLine(c.line);
    EXPECT_EQ(parsed.command, c.command) << c.line;
    EXPECT_EQ(!parsed.error.empty(), c.error) << c.line << ": " << parsed.error;
  }
}

TEST(UiScriptLogWatcher, FindsTextAcrossReadsAndInARewrittenFile) {
  TempDir dir("ui-logwatch");
  const auto log = dir / "Log.txt";
  LogWatcher watcher(log, "NEEDLE");
  EXPECT_FALSE(watcher.found()) << "no file yet";

  writeFile(log, std::string(70000, 'a'));
  EXPECT_FALSE(watcher.found());
  { std::ofstream(log, std::ios::app) << "xNEED"; }
  EXPECT_FALSE(watcher.found());
  { std::ofstream(log, std::ios::app) << "LEx"; }  // the text is split between two looks
  EXPECT_TRUE(watcher.found());

  // Across the boundary of one read.
  LogWatcher big(log, "boundary");
  writeFile(log, std::string(65536 - 4, 'b') + "boundary");
  EXPECT_TRUE(big.found());

  // A log started again (shorter than what was read) is read from its start.
  LogWatcher again(log, "fresh");
  writeFile(log, std::string(100, 'c'));
  EXPECT_FALSE(again.found());
  writeFile(log, "fresh");
  EXPECT_TRUE(again.found());
}

// A window with a check box (100), a disabled button (101), an edit box (200) and a disabled edit
// box (201), whose close ends the loop.
struct ScriptedWindow {
  DiagLines diag;
  RecordingEvents ev;
  std::unique_ptr<HeadlessUi> ui;
  std::vector<std::string> textsAtEnter;

  explicit ScriptedWindow(HeadlessUiOptions o) {
    o.diag = diag.sink();
    ui = std::make_unique<HeadlessUi>(std::move(o));
    ev.onCreateHook = [this] {
      ui->createCheckBox(100, 5, 149, 12, 12, false);
      ui->createButton(101, "Re-read", 758, 341, 90, 20);
      ui->enable(101, false);
      ui->createEdit(200, 217, 203, 100, 16);
      ui->createEdit(201, 353, 343, 34, 16);
      ui->enable(201, false);
    };
    ev.onEditEnterHook = [this](std::uint16_t id) { textsAtEnter.push_back(ui->getText(id)); };
    ev.onCloseHook = [this] { ui->quit(0); };
  }
  bool create() { return ui->createMainWindow("T", 0, 0, 880, 516, ev); }
};

TEST(UiScriptDriver, RunsEveryCommandAndRefusesInputWindowsWouldNotDeliver) {
  TempDir dir("ui-script");
  writeFile(dir / "script.txt",
            "# start\n"
            "\n"
            "click 100\n"
            "click 101\n"
            "click 999\n"
            "type 200 hello  world\n"
            "type 201 nope\n"
            "enter 200\n"
            "click 200\n"
            "enter 100\n"
            "sleep 5\n"
            "bogus stuff\n"
            "close\n");
  HeadlessUiOptions o;
  o.scriptPath = dir / "script.txt";
  ScriptedWindow w(o);
  ASSERT_TRUE(w.create());
  EXPECT_EQ(runBounded(*w.ui), 0);

  // A click is only a command: the program, not the box, toggles a check box.
  EXPECT_EQ(w.ev.events(),
            (std::vector<std::string>{"create", "command 100", "enter 200", "enter 200", "close"}));
  EXPECT_FALSE(w.ui->isChecked(100));
  EXPECT_EQ(w.textsAtEnter, (std::vector<std::string>{"hello  world", "hello  world"}));
  EXPECT_EQ(w.ui->getText(201), "") << "a disabled box takes no typing";

  for (const char* refusal : {"refused click 101: control 101 is disabled", "refused click 999: there is no control 999",
                              "refused type 201: control 201 is disabled",
                              "refused click 200: control 200 (edit) takes no click",
                              "refused enter 100: control 100 (checkbox) takes no typing",
                              "skipped line \"bogus stuff\": unknown command \"bogus\""})
    EXPECT_TRUE(w.diag.contains(refusal)) << refusal;

  // Every command is echoed with the time; comments and blank lines are not.
  auto isEcho = [](const std::string& l) {
    const std::string stamp = l.substr(std::min<std::size_t>(l.size(), 10), 12);  // "HH:MM:SS.mmm"
    const bool stamped = stamp.size() == 12 && stamp[2] == ':' && stamp[5] == ':' && stamp[8] == '.' &&
                         std::count_if(stamp.begin(), stamp.end(), ::isdigit) == 9;
    std::string_view rest = std::string_view(l).substr(std::min<std::size_t>(l.size(), 23));
    return l.rfind("ui-script ", 0) == 0 && stamped &&
           (rest.starts_with("click ") || rest.starts_with("type ") || rest.starts_with("enter ") ||
            rest.starts_with("sleep ") || rest == "close");
  };
  const auto lines = w.diag.lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), isEcho), 10);
  EXPECT_FALSE(w.diag.contains("# start"));
  EXPECT_TRUE(waitFor([&] { return w.ui->scriptFinished(); }));
}

TEST(UiScriptDriver, WaitLogHoldsTheScriptUntilTheLogHasTheText) {
  TempDir dir("ui-waitlog");
  ScopedCwd cwd(dir.path());  // the driver watches Log.txt in the current folder
  writeFile(dir / "script.txt", "waitlog READY now\nclick 100\nclose\n");
  HeadlessUiOptions o;
  o.scriptPath = dir / "script.txt";
  o.waitLogBound = 20s;
  ScriptedWindow w(o);
  std::atomic<bool> commandBeforeLog{true};
  std::thread logger([&] {
    ASSERT_TRUE(waitFor([&] { return w.diag.contains("waitlog READY now"); }));
    writeFile(dir / "Log.txt", "first line\n");
    commandBeforeLog = w.ev.events().size() > 1;
    std::ofstream(dir / "Log.txt", std::ios::app) << "READY now\n";
  });
  ASSERT_TRUE(w.create());
  EXPECT_EQ(runBounded(*w.ui), 0);
  logger.join();
  EXPECT_FALSE(commandBeforeLog.load());
  EXPECT_EQ(w.ev.events(), (std::vector<std::string>{"create", "command 100", "close"}));
  EXPECT_FALSE(w.diag.contains("timed out"));
}

TEST(UiScriptDriver, WaitLogThatTimesOutIsReportedAndTheScriptGoesOn) {
  TempDir dir("ui-waitlog-timeout");
  ScopedCwd cwd(dir.path());
  ScopedEnv wait("AMBT_UI_WAIT_MS", "50");
  ScopedEnv script("AMBT_UI_SCRIPT", (dir / "script.txt").string());
  ScopedEnv dump("AMBT_UI_DUMP", "");
  writeFile(dir / "Log.txt", "something else\n");
  writeFile(dir / "script.txt", "waitlog never written\nclick 100\nclose\n");
  ScriptedWindow w(HeadlessUiOptions::fromEnvironment());
  ASSERT_TRUE(w.create());
  EXPECT_EQ(runBounded(*w.ui), 0);
  EXPECT_TRUE(w.diag.contains("waitlog timed out after 50 ms: never written"));
  EXPECT_EQ(w.ev.events(), (std::vector<std::string>{"create", "command 100", "close"}));
}

TEST(UiScriptDriver, AFifoTakesOneWriterAfterAnother) {
  TempDir dir("ui-fifo");
  const auto fifo = dir / "script.fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  HeadlessUiOptions o;
  o.scriptPath = fifo;
  ScriptedWindow w(o);
  auto writeOnce = [&](const std::string& text) {
    const int fd = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // waits for the driver's reader
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  };
  std::thread writer([&] {
    writeOnce("click 100\n");
    ASSERT_TRUE(waitFor([&] { return w.ev.events().size() == 2; }));
    writeOnce("type 200 abc\n");
    writeOnce("close");  // a last line without a newline still counts
  });
  ASSERT_TRUE(w.create());
  EXPECT_EQ(runBounded(*w.ui), 0);
  writer.join();
  EXPECT_EQ(w.ev.events(), (std::vector<std::string>{"create", "command 100", "enter 200", "close"}));
  EXPECT_FALSE(w.ui->scriptFinished()) << "a FIFO waits for the next writer";
}

// Closing the window must not hang on a driver that waits: for a writer, in a sleep, in a waitlog.
TEST(UiScriptDriver, EndsPromptlyWhileWaiting) {
  TempDir dir("ui-stop");
  ScopedCwd cwd(dir.path());
  ASSERT_EQ(::mkfifo((dir / "empty.fifo").c_str(), 0600), 0);
  writeFile(dir / "sleep.txt", "sleep 600000\n");
  writeFile(dir / "waitlog.txt", "waitlog never\n");
  for (const char* name : {"empty.fifo", "sleep.txt", "waitlog.txt"}) {
    SCOPED_TRACE(name);
    auto diag = std::make_shared<DiagLines>();
    auto ev = std::make_shared<RecordingEvents>();
    HeadlessUiOptions o;
    o.scriptPath = dir / name;
    o.waitLogBound = 600s;
    o.diag = diag->sink();
    auto ui = std::make_shared<HeadlessUi>(o);
    ASSERT_TRUE(ui->createMainWindow("T", 0, 0, 880, 516, *ev));
    if (std::string(name) != "empty.fifo") {
      ASSERT_TRUE(waitFor([&] { return diag->lines().size() == 1; }));  // the command is under way
    }
    auto done = std::make_shared<std::atomic<bool>>(false);
    // The closing thread owns everything it touches, so a hang fails the test without a crash.
    std::thread closer([ui = std::move(ui), ev, diag, done]() mutable {
      ui.reset();
      *done = true;
    });
    const bool ended = waitFor([&] { return done->load(); }, 10s);
    EXPECT_TRUE(ended);
    if (ended)
      closer.join();
    else
      closer.detach();
  }
}

}  // namespace
}  // namespace amb::test
