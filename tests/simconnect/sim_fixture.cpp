#include "simconnect/sim_fixture.hpp"

#include <thread>

namespace amb::test {

namespace fs = std::filesystem;

SimFixture::SimFixture() {
  m_cwd = m_dir / "cwd";
  m_documents = m_dir / "documents";
  m_publicDocuments = m_dir / "public";
  for (const auto& d : {m_cwd, m_documents, m_publicDocuments, m_dir / "run"}) fs::create_directories(d);
  m_env.push_back(std::make_unique<ScopedEnv>("AMBT_RUNTIME_DIR", (m_dir / "run").string()));
  m_env.push_back(std::make_unique<ScopedEnv>("AMBT_DOCUMENTS", m_documents.string()));
  m_env.push_back(std::make_unique<ScopedEnv>("AMBT_PUBLIC_DOCUMENTS", m_publicDocuments.string()));
  m_env.push_back(std::make_unique<ScopedEnv>("AMBT_REGISTRY", (m_dir / "registry.reg").string()));
  m_scopedCwd = std::make_unique<ScopedCwd>(m_cwd);
  gf_resetExitState();
  gf_resetSimConnectClient();
  gf_startLog();
}

SimFixture::~SimFixture() {
  gf_closeLog("end");
  gf_resetSimConnectClient();
  gf_resetExitState();
  m_scopedCwd.reset();
}

std::unique_ptr<simdouble::SimDouble> SimFixture::startDouble(bool tcp4, bool tcp6, bool pipe,
                                                              std::vector<std::string> commands) {
  simdouble::Options o;
  if (tcp4) o.tcp4Port = 0;
  if (tcp6) o.tcp6Port = 0;
  if (pipe) o.pipeName = simdouble::kDefaultPipeName;
  o.commands.push_back("framerate 0");
  for (auto& c : commands) o.commands.push_back(std::move(c));
  auto d = std::make_unique<simdouble::SimDouble>(o);
  d->open();
  d->start();
  return d;
}

void SimFixture::writeCfg(const fs::path& folder, const std::string& section, const std::string& body) {
  writeFile(folder / "SimConnect.cfg", "[" + section + "]\n" + body);
}

void SimFixture::cfgToTcp4(std::uint16_t port, const std::string& extra) {
  writeCfg(m_cwd, "SimConnect",
           "Protocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(port) + "\n" + extra);
}

void SimFixture::writeRegistry(const std::string& ipv4Port, const std::string& ipv6Port) {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n";
  if (!ipv4Port.empty()) text += "\"SimConnect_Port_IPv4\"=\"" + ipv4Port + "\"\r\n";
  if (!ipv6Port.empty()) text += "\"SimConnect_Port_IPv6\"=\"" + ipv6Port + "\"\r\n";
  writeFile(m_dir / "registry.reg", text);
}

void SimFixture::record(const sc::RecvHeader* msg, std::uint32_t size, void* context) {
  auto* self = static_cast<SimFixture*>(context);
  const auto* p = reinterpret_cast<const std::uint8_t*>(msg);
  std::lock_guard lock(self->m_mutex);
  self->m_received.push_back({sc::getU32(p + 8), std::vector<std::uint8_t>(p, p + size)});
}

bool SimFixture::dispatchUntil(SimHandle h, const std::function<bool(const std::vector<Received>&)>& pred,
                               std::chrono::milliseconds bound) {
  return waitFor(
      [&] {
        SimConnect_CallDispatch(h, &SimFixture::record, this);
        std::lock_guard lock(m_mutex);
        return pred(m_received);
      },
      bound);
}

std::vector<Received> SimFixture::received() const {
  std::lock_guard lock(m_mutex);
  return m_received;
}

void SimFixture::clearReceived() {
  std::lock_guard lock(m_mutex);
  m_received.clear();
}

bool SimFixture::waitPackets(const simdouble::SimDouble& d, std::size_t n) {
  return waitFor([&] { return d.packets().size() >= n; });
}

}  // namespace amb::test
