// The vocabulary registered after an open, byte for byte against the double's packet log, on a
// first and on a second connection of the same process.

#include "sim/link_fixture.hpp"

namespace amb::test {
namespace {

using RegistrationTest = LinkFixture;

// The packet-log lines of one session, without their session number.
std::vector<std::string> sessionLines(const std::filesystem::path& log, unsigned session) {
  std::vector<std::string> out;
  const std::string prefix = "session=" + std::to_string(session) + " ";
  for (const auto& line : readLines(log))
    if (line.rfind(prefix, 0) == 0) out.push_back(line.substr(prefix.size()));
  return out;
}

TEST_F(RegistrationTest, EveryConnectionSendsTheOpenAndThe73RegistrationCallsInTheirFixedOrder) {
  const auto golden = readLines(std::filesystem::path(AMB_SOURCE_DIR) / "tests/sim/golden/registration.txt");
  ASSERT_EQ(golden.size(), 74u);

  // The user block's fields are shown end to end in the position sent to RealTraffic.
  connect({"user 40.6413 -73.7781 13 90"});
  gf_requestUserAcPosition();
  ASSERT_TRUE(waitFor([] { return gf_userAcSnapshot().latitude == 40.6413; }));
  // A second connection in the same process, as after a restart: a new client object whose send
  // ids start at 1 again, and the same registration.
  stopClient();
  gf_resetSimLink(5);
  startClient();
  ASSERT_TRUE(waitPacketCount(2 * golden.size()));
  ASSERT_TRUE(waitFor([] { return g_simRunning.load() == 1; }));
  stopClient();

  for (unsigned session : {1u, 2u}) {
    auto lines = sessionLines(m_dir / "packets.log", session);
    ASSERT_GE(lines.size(), golden.size()) << "session " << session;
    lines.resize(golden.size());
    for (std::size_t i = 0; i < golden.size(); ++i)
      EXPECT_EQ(lines[i], golden[i]) << "session " << session << ", packet " << i + 1;
  }
  // Nothing but the registration and the one request of this test.
  EXPECT_EQ(packetCount(), 2 * golden.size() + 1);
}

}  // namespace
}  // namespace amb::test
