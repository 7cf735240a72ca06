#pragma once
// Shared by the SimConnect client tests: private folders for the runtime sockets, the known folders
// and the registry file; an in-process simulator double; a dispatch recorder.

#include "core/exit.hpp"
#include "core/log.hpp"
#include "sim/simconnect/connection.hpp"
#include "sim/simconnect/simconnect.hpp"
#include "support/test_support.hpp"
#include "tools/simdouble/simdouble.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace amb::test {

// One received message as the dispatch procedure saw it.
struct Received { std::uint32_t id = 0; std::vector<std::uint8_t> bytes; };

class SimFixture : public ::testing::Test {
protected:
  SimFixture();
  ~SimFixture() override;

  // An in-process double listening on the given transports; frames off unless asked for.
  std::unique_ptr<simdouble::SimDouble> startDouble(bool tcp4, bool tcp6, bool pipe,
                                                    std::vector<std::string> commands = {});
  // "SimConnect.cfg" with the section's lines in a folder.
  void writeCfg(const std::filesystem::path& folder, const std::string& section, const std::string& body);
  // The cfg section that leads straight to the double's IPv4 port.
  void cfgToTcp4(std::uint16_t port, const std::string& extra = "");
  // A registry file with the HKCU ports (empty: value left out).
  void writeRegistry(const std::string& ipv4Port, const std::string& ipv6Port);

  // Dispatches until the predicate over everything received so far holds, bounded.
  bool dispatchUntil(SimHandle h, const std::function<bool(const std::vector<Received>&)>& pred,
                     std::chrono::milliseconds bound = std::chrono::seconds(10));
  std::vector<Received> received() const;
  void clearReceived();

  // Waits until the double logged n packets in all.
  bool waitPackets(const simdouble::SimDouble& d, std::size_t n);

  TempDir m_dir{"amb-sc"};
  std::filesystem::path m_cwd;
  std::filesystem::path m_documents;
  std::filesystem::path m_publicDocuments;

private:
  static void record(const sc::RecvHeader* msg, std::uint32_t size, void* context);

  std::vector<std::unique_ptr<ScopedEnv>> m_env;
  std::unique_ptr<ScopedCwd> m_scopedCwd;
  mutable std::mutex m_mutex;
  std::vector<Received> m_received;
};

}  // namespace amb::test
