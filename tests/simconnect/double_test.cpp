// The simulator double, driven through our client: the answers the registration and the service run
// need, AI objects, scripted failures; and the program with its control FIFO, packet log and trace.

#include "simconnect/sim_fixture.hpp"
#include "platform/pipe.hpp"
#include "sim/blocks.hpp"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cmath>
#include <cstring>
#include <fstream>

extern char** environ;

namespace amb::test {
namespace {

namespace fs = std::filesystem;

constexpr double kPi = 3.14159265358979323846;

class Double : public SimFixture {
protected:
  void open(std::vector<std::string> commands = {}) {
    m_double = startDouble(true, false, false, std::move(commands));
    cfgToTcp4(m_double->tcp4Port());
    ASSERT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);
  }
  void TearDown() override {
    if (m_h) {
      EXPECT_EQ(SimConnect_Close(m_h), kSimOk);
    }
  }
  // The received messages of one id.
  std::vector<Received> of(std::uint32_t id) {
    std::vector<Received> out;
    for (auto& r : received())
      if (r.id == id) out.push_back(r);
    return out;
  }
  bool waitCount(std::uint32_t id, std::size_t n) {
    return dispatchUntil(m_h, [&](const auto& r) {
      std::size_t k = 0;
      for (const auto& x : r) k += x.id == id;
      return k >= n;
    });
  }
  // Runs a command in the double and waits until it ran.
  void command(const std::string& line) {
    const std::size_t done = m_double->commandsDone();
    m_double->command(line);
    ASSERT_TRUE(waitFor([&] { return m_double->commandsDone() > done; }));
  }
  void define(std::uint32_t def, const char* datum, const char* units, std::uint32_t type) {
    ASSERT_EQ(SimConnect_AddToDataDefinition(m_h, def, datum, units, type, 0, sc::kUnused), kSimOk);
  }
  void defineUserBlock() {
    for (const char* d : {"Plane Latitude", "Plane Longitude"}) define(403, d, "degree", sc::kFloat64);
    for (const char* d : {"Plane Pitch degrees", "Plane Bank degrees", "Plane Heading degrees true"})
      define(403, d, "radians", sc::kFloat64);
    define(403, "Plane Altitude", "feet", sc::kFloat64);
    define(403, "Plane Alt Above Ground", "feet", sc::kFloat64);
    define(403, "Ground Velocity", "knots", sc::kFloat64);
    define(403, "ZULU TIME", "Seconds", sc::kInt64);
    define(403, "ZULU DAY OF YEAR", "Number", sc::kInt64);
    define(403, "ZULU YEAR", "Number", sc::kInt64);
    define(403, "LIGHT STATES", "Mask", sc::kInt64);
  }

  std::unique_ptr<simdouble::SimDouble> m_double;
  SimHandle m_h = nullptr;
};

TEST_F(Double, AnswersTheOpenTheSimEventAndTheUserAircraftRequests) {
  open({"user 51.4706 -0.4619 83 270", "ground-alt 80", "speed 1.5", "onground 1", "lights 5",
        "zulu 1796495598", "title Boeing 737-800 Paint1 With A Title Longer Than Forty-Eight Characters",
        "model B738", "user-id 1", "sim-version 5 3 17 28160"});
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 201, "Sim"), kSimOk);
  defineUserBlock();
  define(407, "TITLE", nullptr, sc::kStringV);
  define(408, "ATC MODEL", nullptr, sc::kString32);
  define(409, "SIM ON GROUND", "Bool", sc::kInt64);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(m_h, 109, 403, 0, sc::kPeriodOnce, 0, 0, 0, 0), kSimOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(m_h, 106, 407, 0, sc::kPeriodOnce, 0, 0, 0, 0), kSimOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(m_h, 107, 408, 0, sc::kPeriodOnce, 0, 0, 0, 0), kSimOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(m_h, 108, 409, 0, sc::kPeriodSecond, 0, 0, 0, 0), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvSimObjectData, 4));

  const auto openMsg = sc::readRecv<sc::RecvOpenMsg>(of(sc::kRecvOpen).at(0).bytes.data(), 308);
  ASSERT_TRUE(openMsg);
  EXPECT_EQ(sc::fieldText(openMsg->applicationName, 256), "Lockheed Martin Prepar3D v5");
  EXPECT_EQ(openMsg->applicationVersionMajor, 5u);
  EXPECT_EQ(openMsg->applicationBuildMinor, 28160u);
  const auto sim = of(sc::kRecvEvent).at(0).bytes;
  EXPECT_EQ(sc::getU32(sim.data() + 16), 201u);
  EXPECT_EQ(sc::getU32(sim.data() + 20), 1u);

  std::map<std::uint32_t, std::vector<std::uint8_t>> byRequest;
  for (const auto& r : of(sc::kRecvSimObjectData)) byRequest.emplace(sc::getU32(r.bytes.data() + 12), r.bytes);
  const auto& user = byRequest.at(109);
  ASSERT_EQ(user.size(), 40u + sizeof(UserAcBlock));
  EXPECT_EQ(sc::getU32(user.data() + 16), 1u);  // the user's object id
  EXPECT_EQ(sc::getU32(user.data() + 36), 12u);
  UserAcBlock b;
  std::memcpy(&b, user.data() + 40, sizeof b);
  EXPECT_DOUBLE_EQ(b.latitude, 51.4706);
  EXPECT_DOUBLE_EQ(b.longitude, -0.4619);
  EXPECT_NEAR(b.heading, 270 * kPi / 180, 1e-12);
  EXPECT_DOUBLE_EQ(b.altitude, 83);
  EXPECT_DOUBLE_EQ(b.altAboveGround, 3);
  EXPECT_DOUBLE_EQ(b.groundSpeed, 1.5);
  EXPECT_EQ(b.zuluTime, 18 * 3600 + 33 * 60 + 18);  // Sat Dec 05 18:33:18 2026
  EXPECT_EQ(b.zuluDayOfYear, 339);
  EXPECT_EQ(b.zuluYear, 2026);
  EXPECT_EQ(b.lightStates, 5);
  const auto& title = byRequest.at(106);
  EXPECT_EQ(sc::fieldText(reinterpret_cast<const char*>(title.data() + 40), title.size() - 40),
            "Boeing 737-800 Paint1 With A Title Longer Than Forty-Eight Characters");
  EXPECT_EQ((title.size() - 40) % 4, 0u);
  const auto& model = byRequest.at(107);
  EXPECT_EQ(model.size(), 40u + 32u);
  EXPECT_EQ(sc::fieldText(reinterpret_cast<const char*>(model.data() + 40), 32), "B738");
  const auto& ground = byRequest.at(108);
  ASSERT_EQ(ground.size(), 48u);
  EXPECT_EQ(sc::getI64(ground.data() + 40), 1);
  // Period "second": the on-ground answer comes again.
  ASSERT_TRUE(waitCount(sc::kRecvSimObjectData, 5));
}

TEST_F(Double, CreatesObjectsFromIdThreeAnswersByTypeAndRemoves) {
  const auto trace = m_dir / "trace.csv";
  m_double = nullptr;
  simdouble::Options o;
  o.tcp4Port = 0;
  o.trace = trace;
  o.commands = {"framerate 0", "user 47.45 8.56 1416", "ground-alt 1416", "add-aircraft SWR12 47.46 8.57 1416 1"};
  m_double = std::make_unique<simdouble::SimDouble>(o);
  m_double->open();
  m_double->start();
  cfgToTcp4(m_double->tcp4Port());
  ASSERT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);

  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 202, "ObjectAdded"), kSimOk);
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 203, "ObjectRemoved"), kSimOk);
  define(404, "Plane Alt Above Ground", "feet", sc::kFloat64);
  define(404, "Ground Altitude", "feet", sc::kFloat64);
  define(404, "SIM ON GROUND", "Bool", sc::kInt64);
  define(404, "ATC ID", nullptr, sc::kString32);
  for (const char* d : {"Plane Latitude", "Plane Longitude"}) define(402, d, "degree", sc::kFloat64);
  for (const char* d : {"Plane Pitch degrees", "Plane Bank degrees", "Plane Heading degrees true"})
    define(402, d, "radians", sc::kFloat64);
  define(402, "Plane Altitude", "feet", sc::kFloat64);
  define(402, "Vertical Speed", "feet per second", sc::kFloat64);
  define(402, "Airspeed True", "knots", sc::kFloat64);
  ASSERT_EQ(SimConnect_MapClientEventToSimEvent(m_h, 215, "FREEZE_LATITUDE_LONGITUDE_SET"), kSimOk);

  const SimInitPosition near{47.451, 8.561, 1416, 0, 0, 90, 1, 0};
  const SimInitPosition far{48.5, 9.5, 30000, 0, 0, 90, 0, 420};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Airbus A320 Swiss", "SWR1A", near, 104), kSimOk);
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Airbus A321 Swiss", "SWR2B", far, 104), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvAssignedObjectId, 2));
  ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(m_h, 101, 404, 20000, sc::kObjectAircraft), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvSimObjectDataByType, 3));

  // The double's own aircraft took id 3; ours come after it, each announced before any answer holds it.
  std::vector<std::uint32_t> added;
  std::map<std::uint32_t, std::string> atcIds;
  bool byTypeSeen = false;
  for (const auto& r : received()) {
    if (r.id == sc::kRecvEventObjectAddRemove) {
      EXPECT_FALSE(byTypeSeen);
      EXPECT_EQ(sc::getU32(r.bytes.data() + 16), 202u);
      EXPECT_EQ(sc::getU32(r.bytes.data() + 24), 2u);
      added.push_back(sc::getU32(r.bytes.data() + 20));
    }
    if (r.id == sc::kRecvSimObjectDataByType) {
      byTypeSeen = true;
      ASSERT_EQ(r.bytes.size(), 40u + sizeof(ObjectGroundBlock));
      ObjectGroundBlock g;
      std::memcpy(&g, r.bytes.data() + 40, sizeof g);
      atcIds[sc::getU32(r.bytes.data() + 16)] = sc::fieldText(g.atcId, 32);
      EXPECT_EQ(sc::getU32(r.bytes.data() + 32), 3u);  // out of three: user, SWR12, SWR1A
    }
  }
  EXPECT_EQ(added, (std::vector<std::uint32_t>{4, 5}));
  EXPECT_EQ(atcIds, (std::map<std::uint32_t, std::string>{{1, "N12345"}, {3, "SWR12"}, {4, "SWR1A"}}));

  const AiPosBlock moved{47.452, 8.562, 0, 0, 1.0, 1416, 0, 12};
  ASSERT_EQ(SimConnect_SetDataOnSimObject(m_h, 402, 4, 0, 0, sizeof moved, &moved), kSimOk);
  ASSERT_EQ(SimConnect_TransmitClientEvent(m_h, 4, 215, 1, 301, 0), kSimOk);
  ASSERT_EQ(SimConnect_AIRemoveObject(m_h, 4, 105), kSimOk);
  ASSERT_EQ(SimConnect_AIRemoveObject(m_h, 4, 105), kSimOk);  // no more: exception 3
  ASSERT_TRUE(waitCount(sc::kRecvException, 1));
  const auto removed = of(sc::kRecvEventObjectAddRemove).back().bytes;
  EXPECT_EQ(sc::getU32(removed.data() + 16), 203u);
  EXPECT_EQ(sc::getU32(removed.data() + 20), 4u);
  EXPECT_EQ(sc::getU32(of(sc::kRecvException)[0].bytes.data() + 12), sc::kExceptionUnrecognizedId);

  m_double->stop();
  std::vector<std::string> what;
  for (const auto& line : readLines(trace)) {
    const auto fields = line.substr(line.find(',') + 1);
    what.push_back(fields.substr(0, fields.find(',', fields.find(',') + 1)));
  }
  EXPECT_EQ(what, (std::vector<std::string>{"object_id,what", "3,added", "4,created", "5,created", "4,position",
                                            "4,event", "4,removed"}));
  EXPECT_NE(readFile(trace).find("4,event,47.4520000,8.5620000,1416.0,0.00,0.00,57.30,1,FREEZE_LATITUDE_LONGITUDE_SET=1"),
            std::string::npos);
}

TEST_F(Double, ScriptedFailures) {
  open({"refuse-create next 1"});
  const SimInitPosition pos{47.45, 8.56, 1416, 0, 0, 0, 1, 0};
  std::uint32_t refused = 0, accepted = 0;
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "T", "A1", pos, 104, &refused), kSimOk);
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "T", "A2", pos, 104, &accepted), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvAssignedObjectId, 1));
  ASSERT_EQ(of(sc::kRecvException).size(), 1u);
  const auto e = sc::readRecv<sc::RecvExceptionMsg>(of(sc::kRecvException)[0].bytes.data(), 24);
  EXPECT_EQ(e->exception, sc::kExceptionCreateObjectFailed);
  EXPECT_EQ(e->sendId, refused);

  command("refuse-flightplan on");
  ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(m_h, 3, "C:\\plans\\A2.pln", 110), kSimOk);
  command("exception 11");
  ASSERT_TRUE(waitCount(sc::kRecvException, 3));
  const auto plan = sc::readRecv<sc::RecvExceptionMsg>(of(sc::kRecvException)[1].bytes.data(), 24);
  EXPECT_EQ(plan->exception, sc::kExceptionLoadFlightplanFailed);
  std::uint32_t last = 0;
  SimConnect_GetLastSentPacketID(m_h, &last);
  EXPECT_EQ(plan->sendId, last);
  EXPECT_EQ(sc::getU32(of(sc::kRecvException)[2].bytes.data() + 12), sc::kExceptionTooManyObjects);

  // The next client's open is answered with a version mismatch.
  command("open-exception 5 7");
  SimHandle second = nullptr;
  ASSERT_EQ(SimConnect_Open(&second, "Second", nullptr, 0, nullptr, 0), kSimOk);
  std::vector<std::uint8_t> reply;
  ASSERT_TRUE(waitFor([&] {
    SimConnect_CallDispatch(
        second,
        [](const sc::RecvHeader* m, std::uint32_t size, void* ctx) {
          auto* out = static_cast<std::vector<std::uint8_t>*>(ctx);
          const auto* p = reinterpret_cast<const std::uint8_t*>(m);
          out->assign(p, p + size);
        },
        &reply);
    return !reply.empty();
  }));
  const auto mismatch = sc::readRecv<sc::RecvExceptionMsg>(reply.data(), static_cast<std::uint32_t>(reply.size()));
  ASSERT_TRUE(mismatch);
  EXPECT_EQ(mismatch->h.id, sc::kRecvException);
  EXPECT_EQ(mismatch->exception, sc::kExceptionVersionMismatch);
  EXPECT_EQ(mismatch->sendId, 1u);
  EXPECT_EQ(mismatch->index, 7u);
  EXPECT_EQ(SimConnect_Close(second), kSimOk);
}

TEST_F(Double, FramesFollowTheRateAndStopWhilePaused) {
  open({"framerate 200"});
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 201, "Sim"), kSimOk);
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 204, "Frame"), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvEventFrame, 20));
  const auto frame = sc::readRecv<sc::RecvFrameMsg>(of(sc::kRecvEventFrame)[0].bytes.data(), 32);
  EXPECT_EQ(frame->e.eventId, 204u);
  EXPECT_FLOAT_EQ(frame->frameRate, 200.0f);
  EXPECT_FLOAT_EQ(frame->simSpeed, 1.0f);

  command("pause");
  ASSERT_TRUE(dispatchUntil(m_h, [](const auto& r) {
    return !r.empty() && r.back().id == sc::kRecvEvent && sc::getU32(r.back().bytes.data() + 20) == 0;
  }));
  // Everything sent after the pause: the marker only.
  command("event Sim 7");
  ASSERT_TRUE(dispatchUntil(m_h, [](const auto& r) { return sc::getU32(r.back().bytes.data() + 20) == 7; }));
  const auto r = received();
  EXPECT_EQ(r[r.size() - 2].id, sc::kRecvEvent);
  EXPECT_EQ(sc::getU32(r[r.size() - 2].bytes.data() + 20), 0u);

  command("resume");
  const std::size_t frames = countOf(sc::kRecvEventFrame);
  ASSERT_TRUE(waitCount(sc::kRecvEventFrame, frames + 5));
}

TEST_F(Double, CommandsAndArguments) {
  open();
  std::string error;
  const std::vector<std::pair<std::string, bool>> lines{
      {"user 1 2", true},          {"user x 2", false},        {"framerate 2000", false},
      {"frame 3", true},           {"refuse-create maybe", false}, {"remove 99", false},
      {"no-such-command", false},  {"# a comment", true},      {"", true},
      {"at 10 pause", true},       {"raw 0g", false},          {"sim-version 1 2 3", false},
  };
  simdouble::Options o;
  for (const auto& [line, ok] : lines) {
    o.commands = {line};
    o.tcp4Port = 0;
    simdouble::SimDouble d(o);
    if (ok)
      EXPECT_NO_THROW(d.open()) << line;
    else
      EXPECT_THROW(d.open(), std::runtime_error) << line;
  }
  struct Args {
    std::vector<std::string> argv;
    bool ok;
  };
  const std::vector<Args> args{
      {{"--tcp4", "0"}, true},
      {{"--tcp6", "65536"}, false},
      {{"--pipe"}, true},
      {{"--pipe", "\\\\.\\pipe\\X", "--set", "pause"}, true},
      {{"--packet-log"}, false},
      {{"--trace", "t.csv"}, false},  // nothing to listen on
      {{"--bogus"}, false},
  };
  for (const auto& a : args) {
    std::vector<char*> argv{const_cast<char*>("amb_simdouble")};
    for (const auto& s : a.argv) argv.push_back(const_cast<char*>(s.c_str()));
    simdouble::Options opts;
    std::string err;
    EXPECT_EQ(simdouble::parseArguments(static_cast<int>(argv.size()), argv.data(), opts, err), a.ok) << a.argv[0];
  }
}

// The program: started as a process, driven through its control FIFO (POSIX processes and FIFOs;
// the Windows build's program is run by the Windows smoke test).
#ifndef _WIN32
class DoubleProgram : public SimFixture {
protected:
  ~DoubleProgram() override {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
  }
  void start(const std::vector<std::string>& args) {
    std::vector<std::string> all{AMB_SIMDOUBLE_PROGRAM};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    ASSERT_EQ(::posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
  }
  void control(const std::string& line) {
    const int fd = ::open(m_fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    const std::string l = line + "\n";
    ASSERT_EQ(::write(fd, l.data(), l.size()), static_cast<ssize_t>(l.size()));
    ::close(fd);
  }
  // Waits for the process to end; its exit code, or -1 when it did not end in time.
  int waitExit() {
    int status = 0;
    const bool ended = waitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; });
    if (!ended) return -1;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t m_pid = -1;
  fs::path m_fifo;
};

TEST_F(DoubleProgram, ControlFifoPacketLogAndQuit) {
  m_fifo = m_dir / "control";
  const auto ports = m_dir / "ports";
  const auto log = m_dir / "packets.log";
  start({"--tcp6", "0", "--pipe", "--port-file", ports.string(), "--packet-log", log.string(), "--control",
         m_fifo.string(), "--set", "framerate 0"});
  ASSERT_TRUE(waitFor([&] { return fs::exists(ports); }));
  std::uint16_t port6 = 0;
  for (const auto& line : readLines(ports))
    if (line.rfind("tcp6 ", 0) == 0) port6 = static_cast<std::uint16_t>(std::stoi(line.substr(5)));
  ASSERT_NE(port6, 0);

  // Over the pipe (no cfg): the open, then a pause reported as "Sim" 0, then a dropped link.
  SimHandle h = nullptr;
  ASSERT_EQ(SimConnect_Open(&h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(h, 201, "Sim"), kSimOk);
  ASSERT_TRUE(dispatchUntil(h, [](const auto& r) { return r.size() >= 2; }));
  control("pause");
  ASSERT_TRUE(dispatchUntil(h, [](const auto& r) { return r.size() >= 3; }));
  EXPECT_EQ(sc::getU32(received()[2].bytes.data() + 20), 0u);
  control("drop");
  EXPECT_TRUE(waitFor([&] {
    return SimConnect_CallDispatch(h, [](const sc::RecvHeader*, std::uint32_t, void*) {}, nullptr) == kSimLinkFailed;
  }));
  EXPECT_EQ(SimConnect_Close(h), kSimOk);

  // Over IPv6 after the drop: the double still listens; then it quits and ends.
  writeCfg(m_cwd, "SimConnect", fmt::format("Protocol=IPv6\nAddress=::1\nPort={}\n", port6));
  clearReceived();
  ASSERT_EQ(SimConnect_Open(&h, "Second", nullptr, 0, nullptr, 0), kSimOk);
  ASSERT_TRUE(dispatchUntil(h, [](const auto& r) { return !r.empty(); }));
  control("quit");
  ASSERT_TRUE(dispatchUntil(h, [](const auto& r) { return r.size() >= 2; }));
  EXPECT_EQ(received()[1].id, sc::kRecvQuit);
  EXPECT_EQ(waitExit(), 0);
  EXPECT_EQ(SimConnect_Close(h), kSimOk);

  const auto lines = readLines(log);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("session=1 send=1 type=0x01 size=296 data=28010000230000000100", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("session=1 send=2 type=0x17 size=276 ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("session=2 send=1 type=0x01 ", 0), 0u) << lines[2];
  EXPECT_FALSE(fs::exists(platform::pipeSocketPath(simdouble::kDefaultPipeName)));
}

#endif  // !_WIN32

}  // namespace
}  // namespace amb::test
