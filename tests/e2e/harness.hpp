#pragma once
// The harness of the end-to-end tests: the real Ambertrail_P3D binary runs headless in its own
// temporary folders and finds the simulator double (amb_simdouble, its own process) through
// "SimConnect.cfg" in its working folder; the traffic double (trafficdouble, its own process) plays
// RealTraffic on the fixed ports. The tests steer the simulator double through its control FIFO and
// the window through its script FIFO, and read Log.txt, the window dump, the simulator double's
// packet log and the traffic double's record. Every wait is bounded and every process started here
// is ended by its id.
//
// A test program that includes this defines AMB_PROGRAM, and AMB_SIMDOUBLE_PROGRAM or
// AMB_TRAFFICDOUBLE_PROGRAM for the doubles it runs, as the paths of the built programs.

#include "support/test_support.hpp"

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
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace amb::test::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

inline constexpr auto kBound = 30s;
inline constexpr const char* kSimText = "Lockheed Martin Prepar3D v5 (5.3.17.28160)";
inline constexpr const char* kTitle = "Boeing 737-800 Paint1";
inline constexpr const char* kLime = "0x32CD32";
inline constexpr const char* kYellow = "0x00FFFF";
inline constexpr const char* kRed = "0x0000FF";

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
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return m_pid; }
  // The exit code once the process has ended within the bound; empty when it still runs.
  std::optional<int> waitExit(std::chrono::milliseconds bound = kBound) {
    int status = 0;
    if (m_pid <= 0 || !waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, bound)) return std::nullopt;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // Ends the process at once, as a crash would; true once it has gone.
  bool kill() {
    if (m_pid <= 0) return false;
    ::kill(m_pid, SIGKILL);
    return waitExit().has_value();
  }

private:
  pid_t m_pid = -1;
};

// Writes one line into a FIFO once its reader has it open.
inline bool writeFifo(const fs::path& fifo, const std::string& line) {
  int fd = -1;
  if (!waitFor([&] { return (fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, kBound))
    return false;
  const std::string text = line + "\n";
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// One UDP datagram to a port of this computer, as RealTraffic sends its traffic and weather.
inline bool sendDatagram(std::uint16_t port, const std::string& data) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const ssize_t n = ::sendto(fd, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  ::close(fd);
  return n == static_cast<ssize_t>(data.size());
}

// True when a socket of the type could be bound to the port on every interface now.
inline bool portFree(int type, std::uint16_t port) {
  const int fd = ::socket(AF_INET, type, 0);
  if (fd < 0) return false;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(port);
  at.sin_addr.s_addr = htonl(INADDR_ANY);
  const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
  ::close(fd);
  return free;
}

// RealTraffic's fixed ports are free: no other program of this computer (another test run) holds
// them. Waits for that, bounded.
inline bool waitForFixedPorts(std::chrono::milliseconds bound = 120s) {
  return waitFor([] { return portFree(SOCK_STREAM, 10747) && portFree(SOCK_DGRAM, 49004) && portFree(SOCK_DGRAM, 49005); },
                 bound);
}

// The simulator double, its own process, steered through its control FIFO.
#ifdef AMB_SIMDOUBLE_PROGRAM
class SimDoubleProcess : public Process {
public:
  SimDoubleProcess(const fs::path& dir, const std::vector<std::string>& commands)
      : Process(arguments(dir, commands), {}, dir, dir / "double.out"), m_dir(dir) {
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
  static std::vector<std::string> arguments(const fs::path& dir, const std::vector<std::string>& commands) {
    std::vector<std::string> args{AMB_SIMDOUBLE_PROGRAM, "--tcp4", "0", "--port-file", (dir / "ports.txt").string(),
                                  "--packet-log", (dir / "packets.log").string(), "--control",
                                  (dir / "control.fifo").string()};
    for (const auto& c : commands) args.insert(args.end(), {"--set", c});
    return args;
  }
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
#endif

// The program's folders: without "docs" the program finds itself outside its folder.
struct Layout {
  explicit Layout(bool withDocs = true) {
    for (const auto& d : {work / "input", appData / "Ambertrail_P3D", runtime, root / "documents", root / "public",
                          simFolder / "Scenery", doubleDir})
      fs::create_directories(d);
    if (withDocs) fs::create_directories(work / "docs");
    installAiPackage(appData);
    // An airport list without airports: no park airport is ever chosen.
    writeFile(work / "input" / "airports_p3d.xml", "<airports />\n");
    writeFile(root / "registry.reg", "Windows Registry Editor Version 5.00\n\n"
                                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                                     "\"SetupPath\"=\"" + simFolder.string() + "\"\n");
    if (::mkfifo(script.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
  }
  std::vector<std::string> environment() const {
    return {"AMBT_APPDATA=" + appData.string(),
            "AMBT_DOCUMENTS=" + (root / "documents").string(),
            "AMBT_PUBLIC_DOCUMENTS=" + (root / "public").string(),
            "AMBT_PROGRAMDATA=" + (root / "programdata").string(),
            "AMBT_REGISTRY=" + (root / "registry.reg").string(),
            "AMBT_RUNTIME_DIR=" + runtime.string(),
            "AMBT_UI_DUMP=" + dump.string(),
            "AMBT_UI_SCRIPT=" + script.string()};
  }
  // Seeds "parameters.xml" with these entries before the start.
  void settings(const std::vector<std::pair<std::string, std::string>>& entries) const {
    std::string text = "<?xml version=\"1.0\"?>\n<parameters>\n";
    for (const auto& [key, value] : entries) text += "\t<parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
    writeFile(settingsFile(), text + "</parameters>\n");
  }
  fs::path settingsFile() const { return appData / "Ambertrail_P3D" / "parameters.xml"; }
  std::string logText() const { return readFile(work / "Log.txt"); }
  // RealTraffic counts as installed on this computer when its jar is in the application data.
  void installRealTraffic() const {
    fs::create_directories(appData / "InsideSystems");
    writeFile(appData / "InsideSystems" / "RealTraffic.jar", "");
  }
  std::size_t logCount(const std::string& text) const {
    const std::string log = logText();
    std::size_t n = 0;
    for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + text.size())) ++n;
    return n;
  }
  bool waitLog(const std::string& text, std::size_t times = 1, std::chrono::milliseconds bound = kBound) const {
    return waitFor([&] { return logCount(text) >= times; }, bound);
  }
  bool dumpHas(const std::string& line) const {
    const auto lines = readLines(dump);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // Some line of the dump holds the text.
  bool dumpContains(const std::string& part) const { return readFile(dump).find(part) != std::string::npos; }
  bool waitDump(const std::string& line, std::chrono::milliseconds bound = kBound) const {
    return waitFor([&] { return dumpHas(line); }, bound);
  }
  // Waits until one picture of the window holds every line of `present` and none of `absent`.
  bool waitPicture(const std::vector<std::string>& present, const std::vector<std::string>& absent,
                   std::chrono::milliseconds bound = kBound) const {
    return waitFor(
        [&] {
          const auto lines = readLines(dump);
          const auto has = [&](const std::string& l) { return std::find(lines.begin(), lines.end(), l) != lines.end(); };
          return std::all_of(present.begin(), present.end(), has) && std::none_of(absent.begin(), absent.end(), has);
        },
        bound);
  }

  TempDir root{"amb-e2e"};
  fs::path work = root / "work";
  fs::path appData = root / "appdata";
  fs::path runtime = root / "runtime";
  fs::path dump = root / "window.dump";
  fs::path script = root / "script.fifo";
  fs::path simFolder = root / "Prepar3D v5";
  fs::path doubleDir = root / "double";
};

// Lines of the window dump.
inline std::string lampFill(const char* colour) { return std::string("fill 397 30 425 112 ") + colour; }
inline std::string rtLampFill(const char* colour) { return std::string("fill 425 30 453 112 ") + colour; }
inline std::string text(int x, int y, const char* colour, const std::string& s) {
  return "text " + std::to_string(x) + " " + std::to_string(y) + " " + colour + " \"" + s + "\"";
}

// A traffic line of the JFK recording that passes the reader's checks.
inline const std::string kTrafficLine =
    "RTTFC,531933504,40.7969,-74.0818,11925,256,0,200,266,DAL2171,A321,N355DN,LGA,MIA,1551821332.89,X2,,"
    "adsb_icao,11925,-1,-1,-1,-1,-1,-1,-1,256,none,A3,-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,";

// Once the readers listen, one traffic line lets the service run go on at once to its main loop
// instead of waiting 15 seconds for traffic.
inline void sendTrafficLine(const Layout& layout) {
  ASSERT_TRUE(layout.waitLog("Traffic Reader connected"));
  sendDatagram(49005, kTrafficLine);
}

inline std::vector<std::string> jfkUser(const char* model = "B738") {
  return {"user 40.6413 -73.7781 13", "ground-alt 13", "onground 1", std::string("title ") + kTitle,
          std::string("model ") + model};
}

// The program in the layout's folders, started by start(). A failed test shows what it logged and
// the last picture of its window.
struct ProgramRun {
  explicit ProgramRun(bool withDocs = true) : layout(withDocs) {}
  ~ProgramRun() {
    if (!::testing::Test::HasFailure()) return;
    std::fprintf(stderr, "---- Log.txt\n%s---- window\n", layout.logText().c_str());
    for (const auto& line : readLines(layout.dump))
      if (line.starts_with("fill") || line.starts_with("text")) std::fprintf(stderr, "%s\n", line.c_str());
  }
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;
  void start() {
    program.emplace(std::vector<std::string>{AMB_PROGRAM}, layout.environment(), layout.work, layout.root / "program.out");
  }
  bool window(const std::string& line) const { return writeFifo(layout.script, line); }
  Layout layout;
  std::optional<Process> program;
};

#ifdef AMB_SIMDOUBLE_PROGRAM
// The double and the program, which finds it through "SimConnect.cfg" in its working folder. With
// RealTraffic installed, the program opens its command port once the simulation runs.
struct Connected : ProgramRun {
  explicit Connected(std::vector<std::string> commands = jfkUser(), bool realTraffic = false)
      : sim(layout.doubleDir, commands) {
    if (realTraffic) layout.installRealTraffic();
    EXPECT_TRUE(waitForFixedPorts()) << "another program holds RealTraffic's ports 10747, 49004 or 49005";
    writeFile(layout.work / "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(sim.port()) + "\n");
    start();
  }
  ~Connected() { program.reset(); }  // the program ends before its simulator
  SimDoubleProcess sim;
};
#endif

#ifdef AMB_TRAFFICDOUBLE_PROGRAM
// The traffic double, its own process in a folder of its own: it connects to the program's command
// port as RealTraffic does and appends every command it receives to its record, "<time>\t<text>"
// per line ("#connected" and "#disconnected" mark the link).
class TrafficDoubleProcess : public Process {
public:
  struct Command {
    double time = 0;  // seconds since 1970
    std::string text;
  };

  TrafficDoubleProcess(const fs::path& dir, const std::vector<std::string>& options)
      : Process(arguments(dir, options), {}, dir, dir / "double.out"),
        m_record(dir / "record.txt") {}

  std::vector<Command> record() const {
    std::vector<Command> out;
    for (const auto& line : readLines(m_record)) {
      const auto tab = line.find('\t');
      if (tab == std::string::npos) continue;
      out.push_back({std::stod(line.substr(0, tab)), line.substr(tab + 1)});
    }
    return out;
  }
  std::vector<Command> commandsStartingWith(std::string_view prefix) const {
    std::vector<Command> out;
    for (auto& c : record())
      if (c.text.starts_with(prefix)) out.push_back(std::move(c));
    return out;
  }
  bool waitCommands(std::string_view prefix, std::size_t count, std::chrono::milliseconds bound = kBound) const {
    return waitFor([&] { return commandsStartingWith(prefix).size() >= count; }, bound);
  }

private:
  static std::vector<std::string> arguments(const fs::path& dir, const std::vector<std::string>& options) {
    fs::create_directories(dir);
    std::vector<std::string> args{AMB_TRAFFICDOUBLE_PROGRAM, "--record", (dir / "record.txt").string()};
    args.insert(args.end(), options.begin(), options.end());
    return args;
  }
  fs::path m_record;
};
#endif

}  // namespace amb::test::e2e
