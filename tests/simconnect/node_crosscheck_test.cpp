// An independent client, node-simconnect 4.2.0, against the double over TCP: it must understand the
// double's framing and answers, and its packets must equal ours byte for byte after the header's
// protocol version and send id. Skipped when node or npm is missing or the package cannot be had.

#include "simconnect/sim_fixture.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <optional>

extern char** environ;

namespace amb::test {
namespace {

namespace fs = std::filesystem;

std::optional<fs::path> onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (!path) return std::nullopt;
  const std::string all = path;
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find(':', start);
    if (end == std::string::npos) end = all.size();
    const fs::path p = fs::path(all.substr(start, end - start)) / program;
    if (end > start && ::access(p.c_str(), X_OK) == 0) return p;
    start = end + 1;
  }
  return std::nullopt;
}

// Runs a program to its end with its standard output in a file; the exit code, or -1 when it did not
// end within the bound (it is then killed).
int runProgram(const std::vector<std::string>& args, const fs::path& output, const std::vector<std::string>& env,
               std::chrono::seconds bound) {
  std::vector<std::string> all = args;
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> envCopy = env;
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  for (auto& e : envCopy) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  if (!waitFor([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, bound)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class NodeCrossCheck : public SimFixture {};

TEST_F(NodeCrossCheck, IndependentClientAgreesWithOurFramingAndPackets) {
  const auto node = onPath("node");
  const auto npm = onPath("npm");
  if (!node || !npm) GTEST_SKIP() << "node or npm is not installed";
  const fs::path cache = AMB_NODE_CACHE_DIR;
  if (!fs::exists(cache / "node_modules" / "node-simconnect" / "package.json")) {
    fs::create_directories(cache);
    fs::copy_file(fs::path(AMB_SOURCE_DIR) / "tools/simdouble/node/package.json", cache / "package.json",
                  fs::copy_options::overwrite_existing);
    const int rc = runProgram({npm->string(), "install", "--no-audit", "--no-fund", "--prefix", cache.string()},
                              m_dir / "npm.txt", {}, std::chrono::seconds(180));
    if (rc != 0) GTEST_SKIP() << "node-simconnect 4.2.0 could not be installed";
  }

  auto sim = startDouble(true, false, false, {"user 47.45 8.56", "title Node Check Title"});
  const auto out = m_dir / "node.txt";
  const int rc = runProgram({node->string(), (fs::path(AMB_SOURCE_DIR) / "tools/simdouble/node/crosscheck.js").string(),
                             std::to_string(sim->tcp4Port())},
                            out, {"NODE_PATH=" + (cache / "node_modules").string()}, std::chrono::seconds(60));
  std::multimap<std::string, std::string> got;
  for (const auto& line : readLines(out)) got.emplace(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
  ASSERT_EQ(rc, 0) << readFile(out);
  auto one = [&](const std::string& k) { return got.count(k) == 1 ? got.find(k)->second : std::string("?"); };
  EXPECT_EQ(one("open.name"), "Lockheed Martin Prepar3D v5");
  EXPECT_EQ(one("open.version"), "5.3.17.28160");
  EXPECT_EQ(one("event"), "201:1");
  EXPECT_EQ(one("user"), "1:47.45:8.56");
  EXPECT_EQ(one("title"), "Node Check Title");
  EXPECT_EQ(one("assigned"), "104:3");
  EXPECT_EQ(one("added"), "202:3:2");
  EXPECT_EQ(got.count("bytype"), 2u);
  // The four calls on the unknown object 77 are refused with the send ids node gave them.
  EXPECT_EQ(one("exceptions"), "3@14,3@15,3@16,3@17");

  // Our client, the same calls.
  cfgToTcp4(sim->tcp4Port());
  SimHandle h = nullptr;
  ASSERT_EQ(SimConnect_Open(&h, "NodeCheck", nullptr, 0, nullptr, 0), kSimOk);
  SimConnect_SubscribeToSystemEvent(h, 201, "Sim");
  SimConnect_SubscribeToSystemEvent(h, 202, "ObjectAdded");
  SimConnect_MapClientEventToSimEvent(h, 220, "GEAR_SET");
  SimConnect_AddClientEventToNotificationGroup(h, 301, 220, true);
  SimConnect_SetNotificationGroupPriority(h, 301, 1);
  SimConnect_AddToDataDefinition(h, 403, "Plane Latitude", "degree", sc::kFloat64, 0, sc::kUnused);
  SimConnect_AddToDataDefinition(h, 403, "Plane Longitude", "degree", sc::kFloat64, 0, sc::kUnused);
  SimConnect_AddToDataDefinition(h, 407, "TITLE", nullptr, sc::kStringV, 0, sc::kUnused);
  SimConnect_RequestDataOnSimObject(h, 109, 403, 0, sc::kPeriodOnce, 0, 0, 0, 0);
  SimConnect_RequestDataOnSimObject(h, 106, 407, 0, sc::kPeriodOnce, 0, 0, 0, 0);
  SimConnect_AICreateNonATCAircraft(h, "Airbus A320 Node", "NODE1", SimInitPosition{47.451, 8.561, 1416, 0, 0, 90, 1, 0}, 104);
  SimConnect_RequestDataOnSimObjectType(h, 101, 403, 10000, sc::kObjectAircraft);
  SimConnect_TransmitClientEvent(h, 0, 220, 1, 301, 0);
  const double block[2] = {47.5, 8.5};
  SimConnect_SetDataOnSimObject(h, 403, 77, 0, 0, sizeof block, block);
  SimConnect_AIReleaseControl(h, 77, 103);
  SimConnect_AIRemoveObject(h, 77, 105);
  ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(h, 77, "C:\\plans\\NODE1.pln", 110), kSimOk);
  ASSERT_TRUE(waitPackets(*sim, 36));
  EXPECT_EQ(SimConnect_Close(h), kSimOk);

  std::vector<simdouble::LoggedPacket> theirs, ours;
  for (const auto& p : sim->packets()) (p.session == 1 ? theirs : ours).push_back(p);
  ASSERT_EQ(theirs.size(), 18u);
  ASSERT_EQ(ours.size(), 18u);
  for (std::size_t i = 1; i < ours.size(); ++i) {  // the open packets differ by design
    SCOPED_TRACE(i);
    EXPECT_EQ(theirs[i].size, ours[i].size);
    EXPECT_EQ(theirs[i].type, ours[i].type);
    const std::vector<std::uint8_t> a(theirs[i].bytes.begin() + 16, theirs[i].bytes.end());
    const std::vector<std::uint8_t> b(ours[i].bytes.begin() + 16, ours[i].bytes.end());
    EXPECT_EQ(a, b);
  }
}

}  // namespace
}  // namespace amb::test
