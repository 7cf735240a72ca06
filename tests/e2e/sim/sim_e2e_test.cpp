// The program against the simulator double, end to end: the real Ambertrail_P3D binary runs
// headless in its own temporary folders and finds the double (amb_simdouble, its own process)
// through "SimConnect.cfg" in its working folder. The tests steer the double through its control
// FIFO and the window through its script FIFO, and read Log.txt, the window dump and the double's
// packet log. Every wait is bounded and every process started here is ended by its id.

#include "support/test_support.hpp"
#include "tools/simdouble/wire.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace amb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kBound = 30s;
constexpr const char* kSimText = "Lockheed Martin Prepar3D v5 (5.3.17.28160)";
constexpr const char* kTitle = "Boeing 737-800 Paint1";
constexpr const char* kLime = "0x32CD32";
constexpr const char* kYellow = "0x00FFFF";

// A process with its output in a file, ended by its id when the object goes: SIGTERM, then SIGKILL
// when it has not ended within a bound.
class Process {
public:
  Process(std::vector<std::string> args, std::vector<std::string> env, const fs::path& cwd, const fs::path& out) {
    for (char** e = environ; *e != nullptr; ++e)
      if (!std::string_view(*e).starts_with("AMBT_")) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid == 0) {
      const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd >= 0) ::dup2(fd, 1), ::dup2(fd, 2);
      if (::chdir(cwd.c_str()) != 0) ::_exit(120);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(121);
    }
  }
  ~Process() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    if (!waitExit(10s)) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  // The exit code once the process has ended within the bound; empty when it still runs.
  std::optional<int> waitExit(std::chrono::milliseconds bound = kBound) {
    int status = 0;
    if (m_pid <= 0 || !waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, bound)) return std::nullopt;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

private:
  pid_t m_pid = -1;
};

// Writes one line into a FIFO once its reader has it open.
bool writeFifo(const fs::path& fifo, const std::string& line) {
  int fd = -1;
  if (!waitFor([&] { return (fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, kBound))
    return false;
  const std::string text = line + "\n";
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

std::vector<std::string> with(std::vector<std::string> args, const std::vector<std::string>& commands) {
  for (const auto& c : commands) args.insert(args.end(), {"--set", c});
  return args;
}

// The simulator double, its own process, steered through its control FIFO.
class SimDoubleProcess : public Process {
public:
  SimDoubleProcess(const fs::path& dir, const std::vector<std::string>& commands)
      : Process(with({AMB_SIMDOUBLE_PROGRAM, "--tcp4", "0", "--port-file", (dir / "ports.txt").string(), "--packet-log",
                      (dir / "packets.log").string(), "--control", (dir / "control.fifo").string()},
                     commands),
                {}, dir, dir / "double.out"),
        m_dir(dir) {
    if (waitFor([&] { return fs::exists(dir / "ports.txt"); }, kBound)) {
      const std::string ports = readFile(dir / "ports.txt");
      if (ports.rfind("tcp4 ", 0) == 0) m_port = std::stoi(ports.substr(5));
    }
  }
  int port() const { return m_port; }
  bool command(const std::string& line) { return writeFifo(m_dir / "control.fifo", line); }
  // Data requests with this request id received so far (the id's first byte stands at offset 16).
  std::size_t requestsOf(std::uint8_t requestId) const { return packetsWith(" type=0x0e ", 16, requestId); }
  std::size_t sessions() const { return packetsWith(" type=0x01 ", 0, 0x28); }

private:
  std::size_t packetsWith(const std::string& type, std::size_t offset, std::uint8_t byte) const {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", byte);
    std::size_t n = 0;
    for (const auto& line : readLines(m_dir / "packets.log")) {
      const auto data = line.find(" data=");
      n += line.find(type) != std::string::npos && data != std::string::npos &&
           line.compare(data + 6 + 2 * offset, 2, hex) == 0;
    }
    return n;
  }
  fs::path m_dir;
  int m_port = 0;
};

// The program's folders; "SimConnect.cfg" in its working folder leads to the double.
struct Layout {
  Layout() {
    for (const auto& d : {work / "docs", work / "input", appData, runtime, root / "documents", root / "public",
                          simFolder / "Scenery", doubleDir})
      fs::create_directories(d);
    writeFile(root / "registry.reg", "Windows Registry Editor Version 5.00\n\n"
                                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                                     "\"SetupPath\"=\"" + simFolder.string() + "\"\n");
    if (::mkfifo(script.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  }
  std::vector<std::string> environment() const {
    return {"AMBT_APPDATA=" + appData.string(),
            "AMBT_DOCUMENTS=" + (root / "documents").string(),
            "AMBT_PUBLIC_DOCUMENTS=" + (root / "public").string(),
            "AMBT_REGISTRY=" + (root / "registry.reg").string(),
            "AMBT_RUNTIME_DIR=" + runtime.string(),
            "AMBT_UI_DUMP=" + dump.string(),
            "AMBT_UI_SCRIPT=" + script.string()};
  }
  std::size_t logCount(const std::string& text) const {
    const std::string log = readFile(work / "Log.txt");
    std::size_t n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++n;
    return n;
  }
  bool waitLog(const std::string& text, std::size_t times = 1) const {
    return waitFor([&] { return logCount(text) >= times; }, kBound);
  }
  bool dumpHas(const std::string& line) const {
    const auto lines = readLines(dump);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  bool waitDump(const std::string& line) const {
    return waitFor([&] { return dumpHas(line); }, kBound);
  }

  TempDir root{"amb-e2e-sim"};
  fs::path work = root / "work";
  fs::path appData = root / "appdata";
  fs::path runtime = root / "runtime";
  fs::path dump = root / "window.dump";
  fs::path script = root / "script.fifo";
  fs::path simFolder = root / "Prepar3D v5";
  fs::path doubleDir = root / "double";
};

std::string lampFill(const char* colour) { return std::string("fill 397 30 425 112 ") + colour; }
std::string text(int x, int y, const char* colour, const std::string& s) {
  return "text " + std::to_string(x) + " " + std::to_string(y) + " " + colour + " \"" + s + "\"";
}

// Once the readers listen, one traffic line lets the service run go on at once to its main loop
// instead of waiting 15 seconds for traffic.
void sendTrafficLine(const Layout& layout) {
  ASSERT_TRUE(layout.waitLog("Traffic Reader connected"));
  const std::string line =
      "RTTFC,531933504,40.7969,-74.0818,11925,256,0,200,266,DAL2171,A321,N355DN,LGA,MIA,1551821332.89,X2,,"
      "adsb_icao,11925,-1,-1,-1,-1,-1,-1,-1,256,none,A3,-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,";
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(49005);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::sendto(fd, line.data(), line.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ::close(fd);
}

std::vector<std::string> jfkUser(const char* model = "B738") {
  return {"user 40.6413 -73.7781 13", "ground-alt 13", "onground 1", std::string("title ") + kTitle,
          std::string("model ") + model};
}

// The double and the program, which finds it through "SimConnect.cfg" in its working folder.
struct Connected {
  explicit Connected(std::vector<std::string> commands = jfkUser()) : sim(layout.doubleDir, commands) {
    writeFile(layout.work / "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(sim.port()) + "\n");
    program.emplace(std::vector<std::string>{AMB_PROGRAM}, layout.environment(), layout.work,
                    layout.root / "program.out");
  }
  bool window(const std::string& line) const { return writeFifo(layout.script, line); }
  Layout layout;
  SimDoubleProcess sim;
  std::optional<Process> program;
};

TEST(SimEndToEnd, TheLampTurnsLimeWithTheSimulatorAndTheTitleAndFollowsPauseAndResume) {
  Connected c;
  ASSERT_GT(c.sim.port(), 0);
  ASSERT_TRUE(c.layout.waitDump(lampFill(kLime)));
  EXPECT_TRUE(c.layout.waitDump(text(5, 35, kLime, kSimText)));
  EXPECT_TRUE(c.layout.waitDump(text(5, 63, kLime, kTitle)));
  EXPECT_EQ(c.layout.logCount(std::string(kSimText) + " connected"), 1u);
  EXPECT_EQ(c.layout.logCount(std::string("SimConnect: User aircraft title: ") + kTitle), 1u);
  EXPECT_EQ(c.sim.requestsOf(108), 1u);  // the on-ground state, once a second from now on

  sendTrafficLine(c.layout);
  ASSERT_TRUE(c.sim.command("pause"));
  EXPECT_TRUE(c.layout.waitLog(" Flight not running"));
  EXPECT_TRUE(c.layout.waitDump(lampFill(kYellow)));
  ASSERT_TRUE(c.sim.command("resume"));
  EXPECT_TRUE(c.layout.waitLog(" Flight resumed"));
  EXPECT_TRUE(c.layout.waitDump(lampFill(kLime)));

  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Exiting: USER CLOSED SIM"), 1u);
  EXPECT_EQ(c.layout.logCount("SimConnect closed ok"), 1u);
  EXPECT_EQ(c.layout.logCount("Flight Simulator no longer connected"), 0u);
}

TEST(SimEndToEnd, OneReportASecondAgesTheMessageAfter25Reports) {
  // A model the data base cannot give a span: the maximum is taken and the user is told.
  Connected c(jfkUser("ZZZZZ"));
  const std::string warning = "User aircraft wing span unknown, max is taken instead, please report in my Forum!";
  ASSERT_TRUE(c.layout.waitDump(text(3, 455, kYellow, warning)));
  EXPECT_TRUE(c.layout.waitDump(text(5, 63, kYellow, kTitle)));  // the title in yellow: span unknown
  sendTrafficLine(c.layout);
  // The main loop counts one report per on-ground answer; the message goes 25 reports later.
  EXPECT_TRUE(waitFor([&] { return c.layout.dumpHas("fill 0 448 880 476 0x32CD32") &&
                                   readFile(c.layout.dump).find(warning) == std::string::npos; },
                      60s));
  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
}

TEST(SimEndToEnd, TheThirdFailedRequestRestartsTheServiceRunAfterTenSeconds) {
  // The user aircraft has no position yet, so the service run keeps asking for it; then the
  // simulator reports a version mismatch, which ends the connection and every request fails.
  Connected c({"user 0 0", std::string("title ") + kTitle, "model B738"});
  ASSERT_TRUE(waitFor([&] { return c.sim.requestsOf(109) >= 2; }, kBound));
  ASSERT_TRUE(c.sim.command("exception 5"));
  EXPECT_TRUE(c.layout.waitLog("Error 95: Simconnect Version Mismatch, dwindex: 0 "));
  // Each failed request is logged; the third asks for the restart (the error stays on the line).
  EXPECT_TRUE(c.layout.waitLog("===> SimConnect request user ac position fails", 3));
  EXPECT_TRUE(c.layout.waitLog("Exiting: SIMCONNECT ERROR"));
  EXPECT_TRUE(c.layout.waitLog("Restarting after 10 seconds"));
  EXPECT_EQ(c.sim.sessions(), 1u);

  // The new service run connects again and, with a position, goes on.
  ASSERT_TRUE(c.sim.command("user 40.6413 -73.7781 13"));
  EXPECT_TRUE(waitFor([&] { return c.sim.sessions() == 2; }, kBound));
  EXPECT_TRUE(c.layout.waitLog(std::string(kSimText) + " connected", 2));
  EXPECT_TRUE(c.layout.waitDump(text(5, 63, kLime, kTitle)));

  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
}

class LostSimulator : public ::testing::TestWithParam<const char*> {};

TEST_P(LostSimulator, EndsTheProgramWithSimWasClosed) {
  Connected c;
  ASSERT_TRUE(c.layout.waitLog(std::string("SimConnect: User aircraft title: ") + kTitle));
  ASSERT_TRUE(c.sim.command(GetParam()));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Flight Simulator no longer connected, Ambertrail_P3D will stop ..."), 1u);
  EXPECT_EQ(c.layout.logCount("Exiting: SIM WAS CLOSED"), 1u);
  if (std::string(GetParam()) == "quit") {
    EXPECT_EQ(c.sim.waitExit(), 0);  // the simulator ends too
  }
}

INSTANTIATE_TEST_SUITE_P(QuitOrDrop, LostSimulator, ::testing::Values("quit", "drop"));

TEST(SimEndToEnd, AJumpOfTheUserAircraftIsANewFlightThatEndsTheProgram) {
  Connected c;
  ASSERT_TRUE(c.layout.waitLog(std::string("SimConnect: User aircraft title: ") + kTitle));
  // The simulator sends the user block 15.5 nm further north.
  simdouble::Bytes block;
  for (double v : {40.9, -73.7781, 0.0, 0.0, 0.0, 13.0, 0.0, 0.0}) simdouble::appendF64(block, v);
  for (std::int64_t v : {36000, 64, 2019, 0}) simdouble::appendI64(block, v);
  const auto message = simdouble::msgObjectData(35, 8, 109, 1, 403, 0, 1, 1, 12, block);
  ASSERT_TRUE(c.sim.command("raw " + simdouble::toHex(message.data(), message.size())));
  EXPECT_TRUE(c.layout.waitLog("Teleport"));
  EXPECT_TRUE(c.layout.waitLog("Exiting: NEW FLIGHT"));
  EXPECT_TRUE(c.layout.waitLog("New flight detected, Ambertrail_P3D will close, please restart manually ..."));
  EXPECT_EQ(c.program->waitExit(), 0);
}

}  // namespace
}  // namespace amb::test
