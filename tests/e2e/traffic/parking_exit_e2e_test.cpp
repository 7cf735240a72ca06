// Static parking and the end of a run, end to end: the real program parks static aircraft at JFK in
// the simulator double (in this process, its trace read as it grows) while the test closes the
// window or restarts the service run. Whatever the program created must be gone from the simulator
// when it ends, and no aircraft of one run may still stand in the simulator when the next one
// starts parking. Every wait is bounded; the program is ended by its id (tests/e2e/harness.hpp).

#include "e2e/harness.hpp"
#include "tools/simdouble/simdouble.hpp"
#include "tools/tracemap/tracemap.hpp"

#include <pugixml.hpp>

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace amb::test::e2e {
namespace {

const fs::path kServer = fs::path(AMB_BINARY_DIR) / "app" / "server";

// The double's trace, read as it grows: which objects were created and which removed.
class ObjectWatch {
public:
  explicit ObjectWatch(fs::path file) : m_file(std::move(file)) {}
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
      if (fields[2] == "created") m_objects[fields[1]] = fields[10].substr(fields[10].rfind('|') + 1);
      if (fields[2] == "removed") m_objects.erase(fields[1]);
      if (fields[2] == "created") ++created;
    }
  }
  // The objects in the simulator now, as "id callsign".
  std::vector<std::string> present() {
    update();
    std::vector<std::string> out;
    for (const auto& [id, callsign] : m_objects) out.push_back(id + " " + callsign);
    return out;
  }
  std::size_t createdSoFar() {
    update();
    return created;
  }
  std::size_t created = 0;

private:
  fs::path m_file;
  std::size_t m_offset = 0;
  std::map<std::string, std::string> m_objects;
};

std::string joined(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += s + "; ";
  return out;
}

// JFK's learned file: one option on every stand of the packaged airport file, an AAL A319 (a livery
// of the installed AI package) at every half-hour of every weekday, so that all of them are current
// whatever the clock says, and a parking percentage of 100.
void writeLearnedJfk(const fs::path& work) {
  pugi::xml_document apf;
  ASSERT_TRUE(apf.load_file((kServer / "P3D" / "archive" / "stock" / "KJFK.xml").c_str()));
  std::string hours;
  for (int h = 0; h < 48; ++h) hours += (h == 0 ? "" : ",") + std::to_string(h);
  std::string text = "<?xml version=\"1.0\"?>\n<meta>\n"
                     "\t<info name=\"author\" value=\"Ambertrail_P3D\" />\n"
                     "\t<info name=\"version\" value=\"10.10.4\" />\n"
                     "\t<info name=\"date\" value=\"Mar 05, 2019\" />\n"
                     "\t<info name=\"copyright\" value=\"Copyright (c) Ambertrail_P3D developers\" />\n</meta>\n"
                     "<parameters>\n"
                     "\t<parameter name=\"airport_name\" value=\"John F Kennedy International Airport\" />\n"
                     "\t<parameter name=\"parking_percentage\" value=\"100\" />\n"
                     "\t<parameter name=\"WEEK\" value=\"true\" />\n</parameters>\n<parkpositions>\n";
  int n = 0;
  for (pugi::xml_node p : apf.child("parkpositions").children("parkpos"))
    text += std::string("\t<parkpos id=\"") + p.attribute("id").value() + "\"><opt reg=\"\" airl=\"AAL\" type=\"A319\" day=\"2\" hh=\"" +
            hours + "\" cs=\"AAL" + std::to_string(2000 + ++n) + "\" /></parkpos>\n";
  ASSERT_EQ(n, 231);
  fs::create_directories(work / "airports" / "learned" / "stock");
  writeFile(work / "airports" / "learned" / "stock" / "KJFK.xml", text + "</parkpositions>\n");
}

struct ParkingAtJfk {
  ParkingAtJfk() {
    layout.settings({{"AUTO_RANGE", "false"}, {"LATERAL_RANGE", "40"}});
    fs::copy_file(fs::path(AMB_BINARY_DIR) / "app" / "input" / "airports_p3d.xml",
                  layout.work / "input" / "airports_p3d.xml", fs::copy_options::overwrite_existing);
    writeLearnedJfk(layout.work);
    EXPECT_TRUE(waitForFixedPorts()) << "another program holds RealTraffic's ports 10747, 49004 or 49005";
    simOptions.tcp4Port = 0;
    simOptions.trace = layout.doubleDir / "trace.csv";
    simOptions.commands = {"user 40.6413 -73.7781 13 31", "ground-alt 13", "onground 1", "model B738",
                           "framerate 20"};
    sim = std::make_unique<simdouble::SimDouble>(simOptions);
    sim->open();
    sim->start();
    writeFile(layout.work / "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(sim->tcp4Port()) + "\n");
    std::vector<std::string> env = layout.environment();
    env.push_back("AMBT_SERVER_URL=file://" + kServer.string() + "/");
    program.emplace(std::vector<std::string>{AMB_PROGRAM}, env, layout.work, layout.root / "program.out");
  }
  ~ParkingAtJfk() {
    if (::testing::Test::HasFailure()) {
      const std::string log = layout.logText();
      std::fprintf(stderr, "---- Log.txt (from the first exit)\n%s\n",
                   log.substr(log.find("Exiting") == std::string::npos ? 0 : log.find("Exiting")).c_str());
    }
    program.reset();  // the program ends before its simulator
    sim->stop();
  }
  // The run's main loop starts at once on one traffic line; then waits until `count` more objects
  // were created in the simulator.
  void parkMore(std::size_t runs, std::size_t count) {
    ASSERT_TRUE(layout.waitLog("Traffic Reader connected", runs));
    sendDatagram(49005, kTrafficLine);
    const std::size_t target = objects.createdSoFar() + count;
    ASSERT_TRUE(waitFor([&] { return objects.createdSoFar() >= target; }, 120s))
        << objects.createdSoFar() << " objects created, waiting for " << target;
  }
  bool window(const std::string& line) const { return writeFifo(layout.script, line); }

  Layout layout;
  simdouble::Options simOptions;
  std::unique_ptr<simdouble::SimDouble> sim;
  std::optional<Process> program;
  ObjectWatch objects{layout.doubleDir / "trace.csv"};
};

// Restarts and the close while static aircraft are still being parked (one a half second): every
// object is removed before the next run starts and when the program ends, also those whose
// creation the exit met on its way.
TEST(ParkingExitEndToEnd, RestartsAndACloseWhileParkingLeaveNoAircraftInTheSimulator) {
  ParkingAtJfk run;
  const std::size_t restarts = 1;
  for (std::size_t r = 1; r <= restarts; ++r) {
    run.parkMore(r, 10);
    // A new install path restarts the service run after 3 seconds.
    ASSERT_TRUE(run.window("type 32788 " + run.layout.simFolder.string()));
    ASSERT_TRUE(run.layout.waitLog("Exiting: NEW SETTINGS", r));
    // The next run has begun: it waits for the simulator, before any parking of its own.
    ASSERT_TRUE(run.layout.waitLog("Waiting for Prepar3Dv5 ...", r + 1, 60s));
    EXPECT_EQ(joined(run.objects.present()), "") << "left in the simulator by run " << r;
  }
  run.parkMore(restarts + 1, 20);
  ASSERT_TRUE(run.window("close"));
  const std::optional<int> code = run.program->waitExit(60s);
  ASSERT_TRUE(code.has_value()) << "the program did not end";
  EXPECT_EQ(*code, 0);
  const std::size_t created = run.objects.createdSoFar();
  const std::vector<std::string> left = run.objects.present();
  std::printf("%zu objects created in %zu runs, %zu left in the simulator after the close\n", created, restarts + 1,
              left.size());
  EXPECT_EQ(joined(left), "");
  EXPECT_GE(created, 30u);
}

// A close while the restart's exit takes the parked aircraft away, before its countdown: the window
// said it is closing, so the program ends (no new run), with every object gone from the simulator.
TEST(ParkingExitEndToEnd, ACloseDuringARestartsExitEndsTheProgramWithNoAircraftLeft) {
  ParkingAtJfk run;
  run.parkMore(1, 10);
  ASSERT_TRUE(run.window("type 32788 " + run.layout.simFolder.string()));
  ASSERT_TRUE(run.layout.waitLog("Exiting: NEW SETTINGS"));
  ASSERT_TRUE(run.window("close"));
  const std::optional<int> code = run.program->waitExit(60s);
  ASSERT_TRUE(code.has_value()) << "the program did not end";
  EXPECT_EQ(*code, 0);
  EXPECT_EQ(run.layout.logCount("Restarting after"), 0u);
  EXPECT_EQ(run.layout.logCount("Waiting for Prepar3Dv5 ..."), 1u);
  EXPECT_EQ(joined(run.objects.present()), "");
}

}  // namespace
}  // namespace amb::test::e2e
