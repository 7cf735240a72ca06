#pragma once
// Shared by the simulator interface tests: the SimConnect client tests' folders and state, every
// piece of link state back at its start, a recorder of exit requests, an in-process simulator double
// reached through "SimConnect.cfg", and the "SimClient" thread.

#include "sim/link.hpp"
#include "simconnect/sim_fixture.hpp"
#include "tools/simdouble/simdouble.hpp"
#include "tools/simdouble/wire.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace amb::test {

struct ExitRequest { int reason = 0; std::uint32_t delay = 0; };

class LinkFixture : public SimFixture {
protected:
  LinkFixture();
  ~LinkFixture() override;

  // A double on IPv4 with its packet log and trace in the test folder; frames only when asked for
  // ("frame"). The working folder's "SimConnect.cfg" leads to it.
  simdouble::SimDouble& startDouble(std::vector<std::string> commands = {});
  void stopDouble() {
    if (m_double) m_double->stop();
  }
  // The "SimClient" thread; started once the double runs, it connects at its first attempt.
  void startClient() { m_client.emplace(SimClient); }
  // Asks the thread to stop and waits for it.
  void stopClient();
  // Starts both and waits until the simulator runs and the registration has reached the double.
  void connect(std::vector<std::string> commands = {});

  // Runs a command in the double and waits until it has run.
  void command(const std::string& line);
  // The double's packets of the given type (without the flag), after the registration.
  std::vector<simdouble::LoggedPacket> packetsOfType(std::uint32_t type) const;
  std::size_t packetCount() const { return m_double->packets().size(); }
  bool waitPacketCount(std::size_t n) {
    return waitFor([&] { return packetCount() >= n; });
  }

  // Log.txt lines so far; waiting for a line that contains a text.
  std::size_t logCount(const std::string& text) const;
  bool waitLog(const std::string& text, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    return waitFor([&] { return logCount(text) > 0; }, bound);
  }

  // Exit requests seen since the test began.
  static std::vector<ExitRequest> exitRequests();
  static bool waitExit(int reason);

  // Results pushed so far (taken out and kept).
  std::vector<SimResult> results();
  bool waitResult(SimResultKind kind);

  // Hands one message to the dispatch procedure as the client would.
  static void dispatch(const simdouble::Bytes& message);

  std::unique_ptr<simdouble::SimDouble> m_double;
  std::optional<std::jthread> m_client;
  std::vector<SimResult> m_results;
};

// Messages as the simulator sends them (version 35 in the header).
simdouble::Bytes userBlockMessage(std::uint32_t objectId, const UserAcBlock& block, std::size_t dataBytes = 96);
simdouble::Bytes objectDataMessage(std::uint32_t messageId, std::uint32_t requestId, std::uint32_t objectId,
                                   const simdouble::Bytes& data);
simdouble::Bytes groundMessage(std::uint32_t objectId, double altAboveGround, double groundAlt, std::int64_t onGround,
                               const std::string& atcId);

}  // namespace amb::test
