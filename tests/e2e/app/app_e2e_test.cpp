// The program end to end: the real Ambertrail_P3D binary runs headless in its own temporary working
// folder, application-data folder, registry file and runtime folder; a FIFO feeds its window's script
// driver, and the tests read Log.txt, "parameters.xml" and the window dump. Every wait is bounded and
// every process started here is ended by its id.

#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace amb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kBound = 30s;

// The folders of one run and the environment that points the program at them.
class Layout {
public:
  explicit Layout(bool withDocs = true) {
    fs::create_directories(work / "input");
    if (withDocs) fs::create_directories(work / "docs");
    fs::create_directories(appData / "Ambertrail_P3D");
    fs::create_directories(runtime);
    fs::create_directories(simFolder / "Scenery");
    writeFile(registry, "Windows Registry Editor Version 5.00\n\n"
                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                        "\"SetupPath\"=\"" + simFolder.string() + "\"\n");
    if (::mkfifo(script.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  }
  // Seeds "parameters.xml" with these entries before the start.
  void settings(const std::map<std::string, std::string>& entries) const {
    std::string text = "<?xml version=\"1.0\"?>\n<parameters>\n";
    for (const auto& [key, value] : entries)
      text += "\t<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
    writeFile(settingsFile(), text + "</parameters>\n");
  }
  std::vector<std::string> environment() const {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      if (!entry.starts_with("AMBT_")) env.push_back(entry);
    }
    env.push_back("AMBT_APPDATA=" + appData.string());
    env.push_back("AMBT_REGISTRY=" + registry.string());
    env.push_back("AMBT_RUNTIME_DIR=" + runtime.string());
    env.push_back("AMBT_UI_DUMP=" + dump.string());
    env.push_back("AMBT_UI_SCRIPT=" + script.string());
    return env;
  }
  fs::path settingsFile() const { return appData / "Ambertrail_P3D" / "parameters.xml"; }
  std::string logText() const { return readFile(work / "Log.txt"); }
  std::size_t logCount(const std::string& text) const {
    const std::string log = logText();
    std::size_t n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++n;
    return n;
  }
  bool logHasLine(const std::string& line) const {
    const auto lines = readLines(work / "Log.txt");
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // The stored value of a key; empty when it has no entry.
  std::string stored(const std::string& key) const {
    pugi::xml_document doc;
    if (!doc.load_file(settingsFile().c_str())) return {};
    for (pugi::xml_node p : doc.child("parameters").children("parameter"))
      if (key == p.attribute("name").value()) return p.attribute("value").value();
    return {};
  }
  bool dumpHas(const std::string& line) const {
    const auto lines = readLines(dump);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TempDir root{"amb-e2e-app"};
  fs::path work = root / "work";
  fs::path appData = root / "appdata";
  fs::path runtime = root / "runtime";
  fs::path registry = root / "registry.reg";
  fs::path dump = root / "window.dump";
  fs::path script = root / "script.fifo";
  fs::path simFolder = root / "Prepar3D v5";
};

// One run of the program, ended by its id when the object goes.
class Program {
public:
  explicit Program(const Layout& layout, const std::string& tag = "run") : m_layout(layout) {
    const std::string out = (layout.root / (tag + ".out")).string();
    std::vector<std::string> env = layout.environment();
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program = AMB_PROGRAM;
    char* argv[] = {program.data(), nullptr};
    m_pid = ::fork();
    if (m_pid == 0) {
      const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
      }
      if (::chdir(layout.work.c_str()) != 0) ::_exit(120);
      ::execve(argv[0], argv, envp.data());
      ::_exit(121);
    }
  }
  ~Program() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  pid_t pid() const { return m_pid; }

  // Hands one line to the window's script driver.
  void command(const std::string& line) {
    int fd = -1;
    // The driver has the FIFO open for reading once the window exists; until then a writer cannot
    // open it.
    ASSERT_TRUE(waitFor([&] {
      fd = ::open(m_layout.script.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      return fd >= 0;
    }, kBound)) << "the script driver does not read " << line;
    const std::string text = line + "\n";
    ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    ::close(fd);
  }
  // The exit code once the program has ended within the bound; empty when it still runs.
  std::optional<int> waitExit(std::chrono::milliseconds bound = kBound) {
    int status = 0;
    if (!waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, bound)) return std::nullopt;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // How many of the program's threads carry the name.
  int threadsNamed(const std::string& name) const {
    int n = 0;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator(fs::path("/proc") / std::to_string(m_pid) / "task", ec)) {
      std::string comm = readFile(task.path() / "comm");
      while (!comm.empty() && comm.back() == '\n') comm.pop_back();
      n += comm == name;
    }
    return n;
  }

private:
  const Layout& m_layout;
  pid_t m_pid = -1;
};

bool waitForLog(const Layout& layout, const std::string& text, std::size_t times = 1) {
  return waitFor([&] { return layout.logCount(text) >= times; }, kBound);
}

constexpr const char* kWaiting = "Waiting for Prepar3Dv5 ...";

TEST(AppEndToEnd, StartsWaitsForTheSimulatorAndClosesCleanly) {
  Layout layout;
  layout.settings({{"DESTINATION", "EHAM"}, {"BLOCK_CALLSIGN", "DLH4AB"}, {"MAIN_WINDOW_X", "250"}});
  Program program(layout);
  ASSERT_TRUE(waitForLog(layout, kWaiting));
  ASSERT_TRUE(waitFor([&] { return layout.dumpHas("text 3 455 0x00FFFF \"Waiting for Prepar3Dv5 ...\""); }, kBound));

  // The header, the labels of the option table at their rows, the lamps and the window's place.
  for (const char* line : {"window 250 20 880 476 title=\"Ambertrail_P3D\"",
                           "text 3 7 0x32CD32 \"Version 10.10.4\"",
                           "fill 397 30 425 112 0x0000FF",
                           "text 5 119 0x000000 \"Install path:\"",
                           "text 672 147 0x000000 \"Log\"",
                           "text 5 203 0x000000 \"Max aircraft matching depth\"",
                           "text 5 231 0x000000 \"Traffic injection\"",
                           "text 5 287 0x000000 \"Collision avoidance\"",
                           "text 139 343 0x000000 \"destination:\"",
                           "text 506 371 0x000000 \"Max fit:\""})
    EXPECT_TRUE(layout.dumpHas(line)) << line;
  // The picture of the window can be looked at.
  pugi::xml_document svg;
  ASSERT_TRUE(svg.load_file((layout.dump.string() + ".svg").c_str()));
  EXPECT_STREQ(svg.document_element().name(), "svg");

  // A second close while the exit is under way is ignored.
  program.command("close");
  program.command("close");
  EXPECT_EQ(program.waitExit(), 0);
  EXPECT_EQ(layout.logCount("Exiting: "), 1u);
  EXPECT_TRUE(layout.logHasLine("Exiting: USER CLOSED SIM"));
  EXPECT_TRUE(layout.logHasLine("User closed Ambertrail_P3D"));
  EXPECT_EQ(layout.stored("DESTINATION"), "");
  EXPECT_EQ(layout.stored("BLOCK_CALLSIGN"), "");
  EXPECT_EQ(layout.stored("MAIN_WINDOW_X"), "250");
  EXPECT_EQ(layout.stored("MAIN_WINDOW_Y"), "20");
}

TEST(AppEndToEnd, ASecondStartEndsAtOnceAndLeavesTheFirstAlone) {
  Layout layout;
  Program first(layout, "first");
  ASSERT_TRUE(waitForLog(layout, kWaiting));
  const std::string logBefore = layout.logText();

  Program second(layout, "second");
  EXPECT_EQ(second.waitExit(10s), 255);
  EXPECT_EQ(layout.logText(), logBefore);
  EXPECT_FALSE(fs::exists(layout.work / "Log0.txt"));

  first.command("close");
  EXPECT_EQ(first.waitExit(), 0);
}

TEST(AppEndToEnd, ALogThatCannotBeWrittenEndsTheProgramBeforeAnyWindow) {
  Layout layout;
  fs::create_directories(layout.work / "Log.txt");
  Program program(layout);
  EXPECT_EQ(program.waitExit(), 2);
  EXPECT_NE(readFile(layout.root / "run.out").find("cannot start the log"), std::string::npos);
  EXPECT_FALSE(fs::exists(layout.dump));
}

TEST(AppEndToEnd, OutsideItsFolderTheProgramOnlyShowsError41) {
  Layout layout(false);
  Program program(layout);
  const std::string text = "41: Ambertrail_P3D must be run from the Ambertrail_P3D folder!";
  ASSERT_TRUE(waitForLog(layout, "Error " + text));
  ASSERT_TRUE(waitFor([&] { return layout.dumpHas("text 3 455 0x00FFFF \"" + text + "\""); }, kBound));
  EXPECT_TRUE(layout.dumpHas("fill 0 448 880 476 0x0000FF"));
  EXPECT_FALSE(fs::exists(layout.work / "output"));
  EXPECT_EQ(layout.logCount(kWaiting), 0u);

  program.command("close");
  EXPECT_EQ(program.waitExit(), 0);
}

TEST(AppEndToEnd, ControlsCommitAndSaveAtOnce) {
  Layout layout;
  Program program(layout);
  ASSERT_TRUE(waitForLog(layout, kWaiting));

  program.command("click 32779");  // LOG
  EXPECT_TRUE(waitFor([&] { return layout.stored("LOG") == "false"; }, kBound));

  program.command("type 32841 12abc");  // AIRPORT_RANGE: 12, the letters ignored
  EXPECT_TRUE(waitFor([&] { return layout.stored("AIRPORT_RANGE") == "12"; }, kBound));
  program.command("type 32841 abc");
  EXPECT_TRUE(waitForLog(layout, "invalid input: abc"));
  EXPECT_TRUE(waitFor([&] { return layout.dumpHas("control 32841 edit 353 343 34 16 enabled=1 checked=0 text=\"12\""); },
                      kBound));
  EXPECT_EQ(layout.stored("AIRPORT_RANGE"), "12");

  // The range box takes typing only while the automatic range is off.
  program.command("click 32819");
  program.command("type 32818 25");
  EXPECT_TRUE(waitFor([&] { return layout.stored("LATERAL_RANGE") == "25"; }, kBound));

  program.command("type 32828 abc");
  EXPECT_TRUE(waitForLog(layout, "callsign \"abc\" is not valid"));
  EXPECT_EQ(layout.stored("BLOCK_CALLSIGN"), "");

  program.command("close");
  EXPECT_EQ(program.waitExit(), 0);
}

TEST(AppEndToEnd, ARestartRunsExactlyOneNewWorker) {
  Layout layout;
  Program program(layout);
  ASSERT_TRUE(waitForLog(layout, kWaiting));
  EXPECT_EQ(program.threadsNamed("Worker"), 1);

  // An existing install path typed into its box restarts the service run after 3 seconds.
  program.command("type 32788 " + layout.simFolder.string());
  ASSERT_TRUE(waitForLog(layout, "Install path exists, Ambertrail_P3D will restart"));
  ASSERT_TRUE(waitForLog(layout, "Exiting: NEW SETTINGS"));
  ASSERT_TRUE(waitForLog(layout, "Prepare for a restart ..."));
  ASSERT_TRUE(waitForLog(layout, "Restarting after 3 seconds"));
  ASSERT_TRUE(waitForLog(layout, kWaiting, 2));
  EXPECT_EQ(layout.logCount(" parameters "), 2u);  // the new worker loaded the settings again
  EXPECT_EQ(program.threadsNamed("Worker"), 1);
  EXPECT_EQ(program.threadsNamed("SimClient"), 1);
  EXPECT_EQ(layout.stored("SIM_INSTALL_PATH"), layout.simFolder.string());

  program.command("close");
  EXPECT_EQ(program.waitExit(), 0);
}

TEST(AppEndToEnd, ASecondCloseIsIgnoredAndAnExitDuringTheCountdownEndsTheProgram) {
  Layout layout;
  Program program(layout);
  ASSERT_TRUE(waitForLog(layout, kWaiting));
  program.command("type 32788 " + layout.simFolder.string());
  ASSERT_TRUE(waitForLog(layout, "Restarting after 3 seconds"));
  // The countdown cleared the first exit; closing now runs an exit of its own, which ends the program.
  program.command("close");
  program.command("close");
  EXPECT_EQ(program.waitExit(), 0);
  EXPECT_EQ(layout.logCount("Exiting: USER CLOSED SIM"), 1u);
  EXPECT_EQ(layout.logCount(kWaiting), 1u);  // no new worker started
  EXPECT_EQ(layout.logCount(" parameters "), 1u);
}

}  // namespace
}  // namespace amb::test
