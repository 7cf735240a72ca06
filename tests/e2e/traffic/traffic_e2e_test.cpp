// The live traffic engine end to end: the real program runs headless in its own folders against the
// simulator double (the user aircraft parked at JFK) and the traffic double (RealTraffic replaying
// the recorded JFK traffic on the fixed ports). The AI aircraft must appear in the double and fly,
// and the program's exit must take every one of them out again. Every wait is bounded; the program
// is ended by its id.

#include "simdouble/simdouble.hpp"
#include "support/test_support.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace amb::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The double's trace, read as it grows: per object, what happened to it.
class TraceWatch {
public:
  explicit TraceWatch(fs::path file) : m_file(std::move(file)) {}
  struct Object {
    std::size_t positions = 0;
    std::set<std::string> events;
    bool removed = false;
    bool flightPlan = false;
    std::string created;
  };
  // Reads the rows written since the last call.
  void update() {
    std::ifstream in(m_file, std::ios::binary);
    if (!in) return;
    in.seekg(static_cast<std::streamoff>(m_offset));
    std::string line;
    while (std::getline(in, line)) {
      if (in.eof()) break;  // a row still being written
      m_offset += line.size() + 1;
      const auto fields = split(line);
      if (fields.size() < 11 || fields[0] == "time_s") continue;
      Object& o = objects[fields[1]];
      const std::string& what = fields[2];
      if (what == "created")
        o.created = fields[10];
      else if (what == "position")
        ++o.positions;
      else if (what == "event")
        o.events.insert(fields[10].substr(0, fields[10].find('=')));
      else if (what == "removed")
        o.removed = true;
      else if (what == "flightplan")
        o.flightPlan = true;
    }
  }
  std::size_t count(bool (*pred)(const Object&)) const {
    std::size_t n = 0;
    for (const auto& [id, o] : objects) n += pred(o) ? 1 : 0;
    return n;
  }
  std::map<std::string, Object> objects;

private:
  static std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> out(1);
    bool quoted = false;
    for (char c : line) {
      if (c == '"')
        quoted = !quoted;
      else if (c == ',' && !quoted)
        out.emplace_back();
      else
        out.back() += c;
    }
    return out;
  }
  fs::path m_file;
  std::size_t m_offset = 0;
};

class Program {
public:
  Program(const fs::path& work, const std::vector<std::string>& extraEnv, const fs::path& out) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e)
      if (!std::string(*e).starts_with("AMBT_")) env.emplace_back(*e);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
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
      if (::chdir(work.c_str()) != 0) ::_exit(120);
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
  std::optional<int> waitExit(std::chrono::milliseconds bound) {
    int status = 0;
    if (!waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, bound)) return std::nullopt;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

private:
  pid_t m_pid = -1;
};

// One line to the window's script driver, through its FIFO.
bool sendScript(const fs::path& fifo, const std::string& line) {
  int fd = -1;
  if (!waitFor([&] { return (fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }, 30s)) return false;
  const std::string text = line + "\n";
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

TEST(TrafficEndToEnd, RecordedTrafficAppearsFliesAndLeavesWithTheProgram) {
  TempDir root("amb-e2e-traffic");
  const fs::path work = root / "work", appData = root / "appdata", runtime = root / "runtime";
  const fs::path simFolder = root / "Prepar3D v5", fifo = root / "script.fifo";
  fs::create_directories(work / "docs");
  fs::create_directories(work / "input");
  fs::create_directories(appData / "Ambertrail_P3D");
  fs::create_directories(appData / "InsideSystems");
  fs::create_directories(runtime);
  fs::create_directories(simFolder / "Scenery");
  writeFile(appData / "InsideSystems" / "RealTraffic.jar", "");
  writeFile(appData / "Ambertrail_P3D" / "parameters.xml",
            "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"AUTO_RANGE\" value=\"false\" />\n"
            "\t<parameter name=\"LATERAL_RANGE\" value=\"40\" />\n</parameters>\n");
  writeFile(root / "registry.reg",
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
            "\"SetupPath\"=\"" +
                simFolder.string() + "\"\n");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The double's pipe lies in the runtime folder, as the program's does.
  ScopedEnv runtimeEnv("AMBT_RUNTIME_DIR", runtime.string());

  simdouble::Options simOptions;
  simOptions.pipeName = simdouble::kDefaultPipeName;
  simOptions.trace = root / "trace.csv";
  simOptions.commands = {"user 40.6441 -73.7822 13 310", "ground-alt 13", "onground 1", "model B738", "framerate 20"};
  simdouble::SimDouble sim(simOptions);
  sim.open();
  sim.start();

  Program program(work,
                  {"AMBT_APPDATA=" + appData.string(), "AMBT_REGISTRY=" + (root / "registry.reg").string(),
                   "AMBT_RUNTIME_DIR=" + runtime.string(), "AMBT_UI_DUMP=" + (root / "window.dump").string(),
                   "AMBT_UI_SCRIPT=" + fifo.string()},
                  root / "program.out");

  tools::TrafficDoubleOptions trafficOptions;
  trafficOptions.trafficFile = testData("traffic/KJFK_20190305_2130Z.rttfc.gz");
  trafficOptions.weatherMessages =
      tools::TrafficDouble::readWeatherMessages(testData("traffic/KJFK_20190305_2028Z_weather.json"));
  tools::TrafficDouble traffic(trafficOptions);
  traffic.start();

  // Thirty seconds after the first traffic the first aircraft come, two a second at most.
  TraceWatch trace(simOptions.trace);
  const auto flying = [](const TraceWatch::Object& o) { return !o.created.empty() && o.positions >= 50; };
  const bool enough = waitFor(
      [&] {
        trace.update();
        return trace.count(flying) >= 30;
      },
      150s);
  EXPECT_TRUE(enough) << trace.count(flying) << " aircraft flying\n" << readFile(work / "Log.txt");

  // Closing the window ends the program, and its exit takes every AI object out of the simulator.
  ASSERT_TRUE(sendScript(fifo, "close"));
  const std::optional<int> code = program.waitExit(60s);
  traffic.stop();
  ASSERT_TRUE(code.has_value()) << "the program did not end";
  EXPECT_EQ(*code, 0);
  EXPECT_TRUE(waitFor(
      [&] {
        trace.update();
        return trace.count([](const TraceWatch::Object& o) { return !o.created.empty() && !o.removed; }) == 0;
      },
      10s))
      << [&] {
           std::string left;
           for (const auto& [id, o] : trace.objects)
             if (!o.created.empty() && !o.removed) left += id + " (" + std::to_string(o.positions) + " positions) ";
           return left + "\n" + readFile(work / "Log.txt").substr(readFile(work / "Log.txt").find("Exiting"));
         }();
  sim.stop();

  std::size_t withPlan = 0, started = 0;
  for (const auto& [id, o] : trace.objects) {
    if (o.created.empty()) continue;
    EXPECT_EQ(o.created.rfind("Ambertrail Stand-in Livery|", 0), 0u) << o.created;
    withPlan += o.flightPlan ? 1 : 0;
    started += o.events.count("ENGINE_AUTO_START") != 0 ? 1 : 0;
  }
  EXPECT_GT(withPlan, 10u);
  EXPECT_GT(started, 10u);
  const std::string log = readFile(work / "Log.txt");
  EXPECT_NE(log.find("RealTraffic connected"), std::string::npos);
  EXPECT_EQ(log.find("creating a flight plan failed"), std::string::npos);
}

}  // namespace
}  // namespace amb::test
