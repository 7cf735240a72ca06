// How the client finds the simulator: "SimConnect.cfg" of the three folders, the registry ports and
// the order of the pipe and TCP attempts.

#include "simconnect/sim_fixture.hpp"

#include "platform/pipe.hpp"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cstring>

namespace amb::test {
namespace {

namespace fs = std::filesystem;

const std::string kDefaultPipe = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";

class Connect : public SimFixture {
protected:
  void SetUp() override {
    lf_setConnectAttemptObserver([this](const SimConnectAttempt& a) {
      std::lock_guard lock(m_attemptMutex);
      m_attempts.push_back(a);
    });
  }
  void TearDown() override {
    if (m_h) { EXPECT_EQ(SimConnect_Close(m_h), kSimOk); }
  }

  // The attempts of one open as "pipe PATH" / "tcp4 ADDRESS PORT" / "tcp6 ...", with " ok" on success.
  std::vector<std::string> open(std::uint32_t configIndex, HResult expected) {
    {
      std::lock_guard lock(m_attemptMutex);
      m_attempts.clear();
    }
    EXPECT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, configIndex), expected);
    std::vector<std::string> out;
    std::lock_guard lock(m_attemptMutex);
    for (const auto& a : m_attempts) {
      std::string s = a.kind == SimConnection::kPipe ? "pipe " + a.address
                      : a.family == platform::IpFamily::IPv6 ? "tcp6 " + a.address + " " + a.port
                                                             : "tcp4 " + a.address + " " + a.port;
      out.push_back(a.error == 0 ? s + " ok" : s);
    }
    return out;
  }

  std::mutex m_attemptMutex;
  std::vector<SimConnectAttempt> m_attempts;
  SimHandle m_h = nullptr;
};

TEST_F(Connect, WithoutCfgAndRegistryOnlyTheTwoPipeAttemptsWhichReachTheDouble) {
  EXPECT_EQ(open(0, kSimFail), (std::vector<std::string>{"pipe " + kDefaultPipe, "pipe " + kDefaultPipe}));
  EXPECT_EQ(m_h, nullptr);
  auto sim = startDouble(false, false, true);
  EXPECT_EQ(open(0, kSimOk), (std::vector<std::string>{"pipe " + kDefaultPipe + " ok"}));
  ASSERT_TRUE(waitPackets(*sim, 1));
  EXPECT_EQ(sim->packets()[0].type, sc::kOpen);
}

// Later files override earlier ones: Public Documents, then Documents, then the current folder.
TEST_F(Connect, CfgOfTheCurrentFolderOverridesDocumentsOverridesPublicDocuments) {
  AMB_SKIP_ON_WINDOWS("the shell's Documents folders are the user's own there");
  writeCfg(m_publicDocuments, "SimConnect", "Protocol=IPv4\nAddress=127.0.0.1\nPort=11\nMaxReceiveSize=50000\n");
  writeCfg(m_documents, "SimConnect", "Port=12\n");
  writeCfg(m_cwd, "simconnect", "port=13\n");  // names without regard to case
  const std::string fallback = "pipe " + kDefaultPipe;
  EXPECT_EQ(open(0, kSimFail), (std::vector<std::string>{"tcp4 127.0.0.1 13", fallback}));
  fs::remove(m_cwd / "SimConnect.cfg");
  EXPECT_EQ(open(0, kSimFail), (std::vector<std::string>{"tcp4 127.0.0.1 12", fallback}));
  fs::remove(m_documents / "SimConnect.cfg");
  EXPECT_EQ(open(0, kSimFail), (std::vector<std::string>{"tcp4 127.0.0.1 11", fallback}));

  SimConnectSettings s;
  for (const auto& f : lf_simConnectCfgFiles()) lf_readSimConnectCfg(f, 0, s);
  EXPECT_EQ(s.maxReceiveSize, 50000u);
}

TEST_F(Connect, Ipv4GoesStraightToTcp) {
  auto sim = startDouble(true, false, false);
  cfgToTcp4(sim->tcp4Port());
  EXPECT_EQ(open(0, kSimOk), (std::vector<std::string>{fmt::format("tcp4 127.0.0.1 {} ok", sim->tcp4Port())}));
}

TEST_F(Connect, APortNamesThePipe) {
  simdouble::Options o;
  o.pipeName = "\\\\.\\pipe\\MyDouble";
  o.commands = {"framerate 0"};
  simdouble::SimDouble sim(o);
  sim.open();
  sim.start();
  writeCfg(m_cwd, "SimConnect", "Protocol=Pipe\nPort=MyDouble\n");
  EXPECT_EQ(open(0, kSimOk), (std::vector<std::string>{"pipe \\\\.\\pipe\\MyDouble ok"}));
}

TEST_F(Connect, CfgValues) {
  struct Case { const char* body; std::uint32_t maxReceive; bool nagle; const char* protocol; };
  const Case cases[] = {
      {"MaxReceiveSize=1000\n", 41088, false, "Auto"},
      {"MaxReceiveSize= 99999 bytes\n", 99999, false, "Auto"},
      {"MaxReceiveSize=-5\n", 41088, false, "Auto"},
      {"DisableNagle=1\n", 41088, true, "Auto"},
      {"Protocol=ipv6\n", 41088, false, "IPv6"},
      {"Protocol=Carrier pigeon\n", 41088, false, "Auto"},
  };
  for (const auto& c : cases) {
    writeCfg(m_cwd, "SimConnect", c.body);
    SimConnectSettings s;
    ASSERT_TRUE(lf_readSimConnectCfg(m_cwd / "SimConnect.cfg", 0, s));
    EXPECT_EQ(s.maxReceiveSize, c.maxReceive) << c.body;
    EXPECT_EQ(s.disableNagle, c.nagle) << c.body;
    EXPECT_EQ(s.protocol, c.protocol) << c.body;
  }
  // A protocol of IPv4 replaces a port set by an earlier file with the registry's (none here).
  SimConnectSettings s;
  s.port = "500";
  writeCfg(m_cwd, "SimConnect", "Protocol=IPv4\n");
  ASSERT_TRUE(lf_readSimConnectCfg(m_cwd / "SimConnect.cfg", 0, s));
  EXPECT_EQ(s.port, "");
  // In the same file the port is read after the protocol.
  s.port = "500";
  writeCfg(m_cwd, "SimConnect", "Port=600\nProtocol=IPv4\n");
  ASSERT_TRUE(lf_readSimConnectCfg(m_cwd / "SimConnect.cfg", 0, s));
  EXPECT_EQ(s.port, "600");
  EXPECT_FALSE(lf_readSimConnectCfg(m_cwd / "missing.cfg", 0, s));
}

// All instances busy: a listener whose queue is full and that never accepts.
#ifndef _WIN32
TEST_F(Connect, APipeThatStaysBusyFailsTheAttempt) {
  const std::string path = platform::pipeSocketPath(kDefaultPipe).string();
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  std::vector<int> fillers;
  for (int i = 0; i < 16; ++i) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    fillers.push_back(fd);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) break;  // the queue is full
  }
  lf_setPipeBusyWait(std::chrono::milliseconds(100));
  EXPECT_EQ(open(0, kSimFail).size(), 2u);
  std::lock_guard lock(m_attemptMutex);
  for (const auto& at : m_attempts) EXPECT_EQ(at.error, platform::kErrSemTimeout);
  for (int fd : fillers) ::close(fd);
  ::close(listener);
}
#endif

TEST_F(Connect, RegistryPortsLeadToTheLoopbackAddresses) {
  AMB_SKIP_ON_WINDOWS("the ports come from the real registry there");
  auto sim = startDouble(true, false, false);
  const std::string pipe = "pipe " + kDefaultPipe;
  writeRegistry(std::to_string(sim->tcp4Port()), "");
  EXPECT_EQ(open(0, kSimOk), (std::vector<std::string>{pipe, fmt::format("tcp4 127.0.0.1 {} ok", sim->tcp4Port())}));
  ASSERT_EQ(SimConnect_Close(m_h), kSimOk);
  m_h = nullptr;
  // Without cfg, nothing listening: pipe, IPv6, IPv4, pipe.
  sim.reset();
  writeRegistry("2", "3");
  EXPECT_EQ(open(0, kSimFail), (std::vector<std::string>{pipe, "tcp6 ::1 3", "tcp4 127.0.0.1 2", pipe}));
  // A port value longer than the 20 bytes read counts as none.
  writeRegistry("1234567890", "");
  EXPECT_EQ(lf_registryPort(false), "");
}

}  // namespace
}  // namespace amb::test
