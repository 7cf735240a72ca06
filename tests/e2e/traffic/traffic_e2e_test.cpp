// The live traffic engine end to end: the real program runs headless in its own folders against the
// simulator double (the user aircraft parked at JFK) and the traffic double (RealTraffic replaying
// the recorded JFK traffic on the fixed ports). The AI aircraft must appear in the double and fly,
// and the program's exit must take every one of them out again. Every wait is bounded; the program
// is ended by its id (tests/e2e/harness.hpp).

#include "e2e/harness.hpp"
#include "simdouble/simdouble.hpp"
#include "tools/tracemap/tracemap.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace amb::test::e2e {
namespace {

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
      const auto fields = tracemap::splitCsvLine(line);
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
  fs::path m_file;
  std::size_t m_offset = 0;
};

TEST(TrafficEndToEnd, RecordedTrafficAppearsFliesAndLeavesWithTheProgram) {
  Layout layout;
  layout.installRealTraffic();
  layout.settings({{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "40"}});
  ASSERT_TRUE(waitForFixedPorts()) << "another program holds RealTraffic's ports 10747, 49004 or 49005";

  // The simulator double in this process: its trace tells what became of every AI object.
  simdouble::Options simOptions;
  simOptions.tcp4Port = 0;
  simOptions.trace = layout.doubleDir / "trace.csv";
  simOptions.commands = {"user 40.6441 -73.7822 13 310", "ground-alt 13", "onground 1", "model B738", "framerate 20"};
  simdouble::SimDouble sim(simOptions);
  sim.open();
  sim.start();
  writeFile(layout.work / "SimConnect.cfg",
            "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(sim.tcp4Port()) + "\n");

  Process program({AMB_PROGRAM}, layout.environment(), layout.work, layout.root / "program.out");

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
  EXPECT_TRUE(enough) << trace.count(flying) << " aircraft flying\n" << readFile(layout.work / "Log.txt");

  // Closing the window ends the program, and its exit takes every AI object out of the simulator.
  ASSERT_TRUE(writeFifo(layout.script, "close"));
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
           const std::string log = readFile(layout.work / "Log.txt");
    return left + "\n" + log.substr(log.find("Exiting") == std::string::npos ? 0 : log.find("Exiting"));
         }();
  sim.stop();

  std::size_t withPlan = 0, started = 0;
  for (const auto& [id, o] : trace.objects) {
    if (o.created.empty()) continue;
    // A title of the installed AI package, chosen by the matching.
    EXPECT_GT(o.created.find('|'), 0u) << o.created;
    EXPECT_NE(o.created.rfind("Ambertrail Stand-in Livery|", 0), 0u) << o.created;
    withPlan += o.flightPlan ? 1 : 0;
    started += o.events.count("ENGINE_AUTO_START") != 0 ? 1 : 0;
  }
  EXPECT_GT(withPlan, 10u);
  EXPECT_GT(started, 10u);
  const std::string log = readFile(layout.work / "Log.txt");
  EXPECT_NE(log.find("RealTraffic connected"), std::string::npos);
  EXPECT_EQ(log.find("creating a flight plan failed"), std::string::npos);
}

}  // namespace
}  // namespace amb::test::e2e
