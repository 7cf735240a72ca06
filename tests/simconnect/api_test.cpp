// The packets of every API call, byte for byte, as the simulator double receives them; text limits,
// send ids and the results of calls that cannot be made.

#include "records/blocks.hpp"
#include "simconnect/sim_fixture.hpp"

#include <set>
#include <thread>

namespace amb::test {
namespace {

class Api : public SimFixture {
protected:
  // A double on TCP and an open client connected to it.
  void SetUp() override {
    simdouble::Options o;
    o.tcp4Port = 0;
    o.packetLog = m_dir / "packets.log";
    o.commands = {"framerate 0"};
    m_double = std::make_unique<simdouble::SimDouble>(o);
    m_double->open();
    m_double->start();
    cfgToTcp4(m_double->tcp4Port());
    ASSERT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);
  }
  void TearDown() override {
    if (m_h) { EXPECT_EQ(SimConnect_Close(m_h), kSimOk); }
  }
  std::unique_ptr<simdouble::SimDouble> m_double;
  SimHandle m_h = nullptr;
};

TEST_F(Api, EveryCallByteForByte) {
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 201, "Sim"), kSimOk);
  ASSERT_EQ(SimConnect_AddToDataDefinition(m_h, 403, "Plane Latitude", "degree", sc::kFloat64, 0.0f, sc::kUnused), kSimOk);
  ASSERT_EQ(SimConnect_AddToDataDefinition(m_h, 407, "TITLE", nullptr, sc::kStringV, 0.0f, sc::kUnused), kSimOk);
  ASSERT_EQ(SimConnect_MapClientEventToSimEvent(m_h, 220, "GEAR_SET"), kSimOk);
  ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(m_h, 301, 208, true), kSimOk);
  ASSERT_EQ(SimConnect_SetNotificationGroupPriority(m_h, 301, 1), kSimOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(m_h, 109, 403, 0, sc::kPeriodOnce, 0, 0, 0, 0), kSimOk);
  ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(m_h, 101, 404, 18520, sc::kObjectAircraft), kSimOk);
  const AiPosBlock pos{47.5, 8.5, 0.01, -0.02, 1.5, 3500, 10, 250};
  ASSERT_EQ(SimConnect_SetDataOnSimObject(m_h, 402, 7, 0, 0, sizeof pos, &pos), kSimOk);
  const AiControlsBlock controls{10, 50, 50};
  ASSERT_EQ(SimConnect_SetDataOnSimObject(m_h, 401, 7, 0, 1, sizeof controls, &controls), kSimOk);
  ASSERT_EQ(SimConnect_TransmitClientEvent(m_h, 7, 218, 3, 301, 0), kSimOk);
  const SimInitPosition init{47.45, 8.56, 1416, 0, 0, 270, 1, 0};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Airbus A320 Lufthansa", "DLH4AB", init, 104), kSimOk);
  ASSERT_EQ(SimConnect_AIReleaseControl(m_h, 7, 103), kSimOk);
  ASSERT_EQ(SimConnect_AIRemoveObject(m_h, 7, 105), kSimOk);
  ASSERT_EQ(SimConnect_AISetAircraftFlightPlan(m_h, 7, "C:\\Users\\pilot\\Ambertrail_P3D\\DLH4AB.pln", 110), kSimOk);

  std::uint32_t last = 0;
  ASSERT_EQ(SimConnect_GetLastSentPacketID(m_h, &last), kSimOk);
  EXPECT_EQ(last, 16u);
  const auto golden = readLines(std::filesystem::path(AMB_SOURCE_DIR) / "tests/simconnect/golden/api_calls.txt");
  ASSERT_TRUE(waitPackets(*m_double, golden.size()));
  // The packet-log file, without its session field.
  std::vector<std::string> got;
  for (const auto& line : readLines(m_dir / "packets.log")) got.push_back(line.substr(line.find(' ') + 1));
  ASSERT_EQ(got.size(), golden.size());
  for (std::size_t i = 0; i < golden.size(); ++i) EXPECT_EQ(got[i], golden[i]) << "packet " << i + 1;
}

// Every argument at its own offset: distinct values, so that one written a byte off, or over its
// neighbour, shows.
TEST_F(Api, ArgumentsStandAtTheirOffsets) {
  ASSERT_EQ(SimConnect_RequestDataOnSimObject(m_h, 11, 12, 13, 14, 15, 16, 17, 18), kSimOk);
  const SimInitPosition init{47.25, 8.5, 1416.75, -2.5, 12.25, 270.5, 1, 140};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "T", "DLH4AB", init, 104), kSimOk);
  ASSERT_TRUE(waitPackets(*m_double, 3));
  const auto packets = m_double->packets();
  ASSERT_EQ(packets.size(), 3u);

  const std::vector<std::uint8_t>& request = packets[1].bytes;
  ASSERT_EQ(request.size(), 48u);
  for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(sc::getU32(request.data() + 16 + 4 * i), 11 + i) << "field " << i;

  const std::vector<std::uint8_t>& create = packets[2].bytes;
  ASSERT_EQ(create.size(), 344u);
  const double doubles[] = {47.25, 8.5, 1416.75, -2.5, 12.25, 270.5};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(sc::getF64(create.data() + 284 + 8 * i), doubles[i]) << "field " << i;
  EXPECT_EQ(sc::getU32(create.data() + 332), 1u);
  EXPECT_EQ(sc::getU32(create.data() + 336), 140u);
  EXPECT_EQ(sc::getU32(create.data() + 340), 104u);
}

// Each text field: the longest text that fits, and one character more, which fails and sends nothing.
TEST_F(Api, TextsFitUpToOneByteLessThanTheirField) {
  const SimInitPosition init{};
  struct Case {
    const char* what;
    std::size_t field;
    std::size_t offset;  // of the field in the packet
    std::function<HResult(SimHandle, const char*)> call;
  };
  const std::vector<Case> cases{
      {"event name", 256, 20, [](SimHandle h, const char* t) { return SimConnect_MapClientEventToSimEvent(h, 1, t); }},
      {"units", 256, 276,
       [](SimHandle h, const char* t) { return SimConnect_AddToDataDefinition(h, 1, "x", t, 4, 0, 0); }},
      {"tail number", 12, 272,
       [&](SimHandle h, const char* t) { return SimConnect_AICreateNonATCAircraft(h, "T", t, init, 104); }},
      {"flight plan", 260, 20,
       [](SimHandle h, const char* t) { return SimConnect_AISetAircraftFlightPlan(h, 5, t, 110); }},
  };
  std::size_t sent = 1;  // the open
  for (const auto& c : cases) {
    const std::string fits(c.field - 1, 'x');
    const std::string tooLong(c.field, 'x');
    EXPECT_EQ(c.call(m_h, fits.c_str()), kSimOk) << c.what;
    ++sent;
    EXPECT_EQ(c.call(m_h, tooLong.c_str()), kSimTextTooLong) << c.what;
  }
  // A null text is an empty field.
  EXPECT_EQ(SimConnect_MapClientEventToSimEvent(m_h, 2, nullptr), kSimOk);
  ++sent;
  ASSERT_TRUE(waitPackets(*m_double, sent));
  const auto packets = m_double->packets();
  ASSERT_EQ(packets.size(), sent);  // no failed call reached the wire
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& c = cases[i];
    const auto& bytes = packets[i + 1].bytes;
    EXPECT_EQ(bytes[c.offset], 'x') << c.what;
    EXPECT_EQ(bytes[c.offset + c.field - 2], 'x') << c.what;
    EXPECT_EQ(bytes[c.offset + c.field - 1], 0) << c.what;
  }
  EXPECT_EQ(packets.back().bytes[20], 0);
}

TEST_F(Api, SendIdsStartAtOneAndNeverYieldZero) {
  m_h->setLastSendId(0xFFFFFFFEu);
  ASSERT_EQ(SimConnect_SetNotificationGroupPriority(m_h, 301, 1), kSimOk);
  ASSERT_EQ(SimConnect_SetNotificationGroupPriority(m_h, 301, 1), kSimOk);
  std::uint32_t last = 0;
  ASSERT_EQ(SimConnect_GetLastSentPacketID(m_h, &last), kSimOk);
  EXPECT_EQ(last, 1u);
  ASSERT_TRUE(waitPackets(*m_double, 3));
  const auto p = m_double->packets();
  EXPECT_EQ(p[0].sendId, 1u);  // the open of a fresh client
  EXPECT_EQ(p[1].sendId, 0xFFFFFFFFu);
  EXPECT_EQ(p[2].sendId, 1u);
}

// Packets leave in call order with consecutive send ids while several threads call; the id a creation
// hands back names its own packet even when other threads' packets come before GetLastSentPacketID.
TEST_F(Api, ConcurrentCallersKeepCallOrderAndCreationsTheirOwnIds) {
  constexpr int kThreads = 3;
  constexpr int kCalls = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([this, t] {
      const AiPosBlock pos{};
      for (int i = 0; i < kCalls; ++i) {
        if (i % 2)
          SimConnect_SetDataOnSimObject(m_h, 402, static_cast<std::uint32_t>(t + 3), 0, 0, sizeof pos, &pos);
        else
          SimConnect_TransmitClientEvent(m_h, static_cast<std::uint32_t>(t + 3), 208, static_cast<std::uint32_t>(i), 301, 0);
      }
    });
  std::set<std::uint32_t> creationIds;
  const SimInitPosition init{};
  for (int i = 0; i < 50; ++i) {
    std::uint32_t id = 0;
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Title", "TAIL", init, 104, &id), kSimOk);
    creationIds.insert(id);
  }
  for (auto& th : threads) th.join();
  const std::size_t total = 1 + kThreads * kCalls + 50;
  ASSERT_TRUE(waitPackets(*m_double, total));
  const auto p = m_double->packets();
  ASSERT_EQ(p.size(), total);
  std::set<std::uint32_t> onWire;
  std::vector<int> lastData(kThreads, -1);
  for (std::size_t i = 0; i < p.size(); ++i) {
    ASSERT_EQ(p[i].sendId, i + 1) << "packet " << i;
    if (p[i].type == sc::kAICreateNonATCAircraft) onWire.insert(p[i].sendId);
    if (p[i].type == sc::kTransmitClientEvent) {  // each thread's own events arrive in its order
      const auto t = sc::getU32(p[i].bytes.data() + 16) - 3;
      const int data = static_cast<int>(sc::getU32(p[i].bytes.data() + 24));
      EXPECT_GT(data, lastData[t]);
      lastData[t] = data;
    }
  }
  EXPECT_EQ(onWire, creationIds);
  std::uint32_t id = 77;  // a failed creation hands back 0
  EXPECT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Title", "TWELVE_CHARS", init, 104, &id), kSimTextTooLong);
  EXPECT_EQ(id, 0u);
}

TEST_F(Api, CallsThatCannotBeMade) {
  const std::uint8_t block[64] = {};
  SimHandle h = reinterpret_cast<SimHandle>(0x1);
  // Count times unit size is computed wide: 65536 x 65536 must not wrap to a tiny packet.
  EXPECT_EQ(SimConnect_SetDataOnSimObject(m_h, 402, 3, 0, 0x10000, 0x10000, block), kSimInvalidArg);
  EXPECT_EQ(SimConnect_SetDataOnSimObject(m_h, 402, 3, 0, 1, 41088, block), kSimInvalidArg);
  EXPECT_EQ(SimConnect_SetDataOnSimObject(m_h, 402, 3, 0, 1, 64, nullptr), kSimInvalidArg);
  // An application name that does not fit fails the open and leaves no client behind.
  const std::string longName(256, 'n');
  EXPECT_EQ(SimConnect_Open(&h, longName.c_str(), nullptr, 0, nullptr, 0), kSimTextTooLong);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(lf_clientCount(), 1u);
  // Nothing of it reached the double but the first open.
  ASSERT_EQ(SimConnect_SetNotificationGroupPriority(m_h, 1, 1), kSimOk);
  ASSERT_TRUE(waitPackets(*m_double, 2));
  const auto p = m_double->packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].type, sc::kSetNotificationGroupPriority);
}

}  // namespace
}  // namespace amb::test
