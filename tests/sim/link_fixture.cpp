#include "sim/link_fixture.hpp"

#include "core/exit.hpp"
#include "core/message_line.hpp"
#include "sim/simconnect/simconnect.hpp"

#include <cstring>
#include <mutex>

namespace amb::test {

namespace {

// Exit requests arrive on detached threads that may outlive a test: kept for the whole process.
std::mutex g_exitMutex;
std::vector<ExitRequest> g_exits;

constexpr std::size_t kRegistrationPackets = 74;

}  // namespace

LinkFixture::LinkFixture() {
  gf_resetSimLink(5);
  gf_clearError();
  gf_clearMessage();
  {
    std::lock_guard lock(g_exitMutex);
    g_exits.clear();
  }
  gf_setExitHandler([](int reason, std::uint32_t delay) {
    std::lock_guard lock(g_exitMutex);
    g_exits.push_back({reason, delay});
  });
}

LinkFixture::~LinkFixture() {
  stopClient();
  stopDouble();
  gf_setExitHandler(nullptr);
  gf_resetSimLink(5);
  gf_clearError();
}

simdouble::SimDouble& LinkFixture::startDouble(std::vector<std::string> commands) {
  simdouble::Options o;
  o.tcp4Port = 0;
  o.packetLog = m_dir / "packets.log";
  o.trace = m_dir / "trace.csv";
  o.commands.push_back("framerate 0");
  for (auto& c : commands) o.commands.push_back(std::move(c));
  m_double = std::make_unique<simdouble::SimDouble>(o);
  m_double->open();
  m_double->start();
  cfgToTcp4(m_double->tcp4Port());
  return *m_double;
}

void LinkFixture::stopClient() {
  if (!m_client) return;
  m_client->request_stop();
  m_client->join();
  m_client.reset();
}

void LinkFixture::connect(std::vector<std::string> commands) {
  startDouble(std::move(commands));
  startClient();
  ASSERT_TRUE(waitPacketCount(kRegistrationPackets));
  ASSERT_TRUE(waitFor([] { return g_simRunning.load() == 1; }));
}

void LinkFixture::command(const std::string& line) {
  const std::size_t before = m_double->commandsDone();
  m_double->command(line);
  ASSERT_TRUE(waitFor([&] { return m_double->commandsDone() > before; })) << line;
}

std::vector<simdouble::LoggedPacket> LinkFixture::packetsOfType(std::uint32_t type) const {
  std::vector<simdouble::LoggedPacket> out;
  const auto all = m_double->packets();
  for (std::size_t i = std::min(all.size(), kRegistrationPackets); i < all.size(); ++i)
    if (all[i].type == type) out.push_back(all[i]);
  return out;
}

std::size_t LinkFixture::logCount(const std::string& text) const {
  std::size_t n = 0;
  for (const auto& l : readLines(gf_logPath())) n += l.find(text) != std::string::npos;
  return n;
}

std::vector<ExitRequest> LinkFixture::exitRequests() {
  std::lock_guard lock(g_exitMutex);
  return g_exits;
}

bool LinkFixture::waitExit(int reason) {
  return waitFor([&] {
    for (const auto& e : exitRequests())
      if (e.reason == reason) return true;
    return false;
  });
}

std::vector<SimResult> LinkFixture::results() {
  for (const auto& r : gf_takeSimResults()) m_results.push_back(r);
  return m_results;
}

bool LinkFixture::waitResult(SimResultKind kind) {
  return waitFor([&] {
    for (const auto& r : results())
      if (r.kind == kind) return true;
    return false;
  });
}

void LinkFixture::dispatch(const simdouble::Bytes& message) {
  lf_simDispatch(reinterpret_cast<const sc::RecvHeader*>(message.data()), static_cast<std::uint32_t>(message.size()),
                 nullptr);
}

simdouble::Bytes objectDataMessage(std::uint32_t messageId, std::uint32_t requestId, std::uint32_t objectId,
                                   const simdouble::Bytes& data) {
  return simdouble::msgObjectData(sc::kProtocolVersion, messageId, requestId, objectId, 0, 0, 1, 1, 1, data);
}

simdouble::Bytes userBlockMessage(std::uint32_t objectId, const UserAcBlock& block, std::size_t dataBytes) {
  simdouble::Bytes data(sizeof block);
  std::memcpy(data.data(), &block, sizeof block);
  data.resize(dataBytes);
  return objectDataMessage(sc::kRecvSimObjectData, REQ_USER_AIRCRAFT, objectId, data);
}

simdouble::Bytes groundMessage(std::uint32_t objectId, double altAboveGround, double groundAlt, std::int64_t onGround,
                               const std::string& atcId) {
  simdouble::Bytes data;
  simdouble::appendF64(data, altAboveGround);
  simdouble::appendF64(data, groundAlt);
  simdouble::appendI64(data, onGround);
  simdouble::appendText(data, atcId, 32);
  return objectDataMessage(sc::kRecvSimObjectDataByType, REQ_AI_NEARBY, objectId, data);
}

}  // namespace amb::test
