// Cutting the received byte stream into messages: the size limits, zero padding, messages split over
// reads, short messages, and how a failed or closed link is reported.

#include "simconnect/sim_fixture.hpp"
#include "tools/simdouble/wire.hpp"

namespace amb::test {
namespace {

using simdouble::Bytes;

class Framing : public SimFixture {
protected:
  void open(const std::string& cfgExtra = "") {
    clearReceived();
    m_double = startDouble(true, false, false);
    cfgToTcp4(m_double->tcp4Port(), cfgExtra);
    ASSERT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);
    ASSERT_TRUE(dispatchUntil(m_h, [](const auto& r) { return !r.empty(); }));  // the open reply
    ASSERT_EQ(received()[0].id, sc::kRecvOpen);
  }
  void TearDown() override {
    if (m_h) { EXPECT_EQ(SimConnect_Close(m_h), kSimOk); }
  }
  void sendRaw(const Bytes& b) {
    const std::size_t done = m_double->commandsDone();
    m_double->command("raw " + simdouble::toHex(b.data(), b.size()));
    ASSERT_TRUE(waitFor([&] { return m_double->commandsDone() > done; }));
  }
  // A message of the given size: header with id 16 (not read by the program), then a pattern.
  static Bytes sized(std::uint32_t size) {
    Bytes body(size - sc::kRecvHeaderSize);
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return simdouble::message(35, sc::kRecvClientData, body);
  }
  // Waits until the link failed; the status CallDispatch then returns.
  HResult waitForFailure() {
    waitFor([&] {
      m_lastResult = SimConnect_CallDispatch(m_h, [](const sc::RecvHeader*, std::uint32_t, void*) {}, nullptr);
      return m_lastResult != kSimOk;
    });
    return m_lastResult;
  }

  std::unique_ptr<simdouble::SimDouble> m_double;
  SimHandle m_h = nullptr;
  HResult m_lastResult = kSimOk;
};

// The maximum receive size: 41088 unless "SimConnect.cfg" raises it.
TEST_F(Framing, MessageOfTheMaximumSizeIsAcceptedOneByteMoreClosesTheLink) {
  struct Case { std::string cfg; std::uint32_t accepted; };
  for (const Case& c : {Case{"", 41088}, Case{"MaxReceiveSize=100000\n", 100000}}) {
    SCOPED_TRACE(c.accepted);
    open(c.cfg);
    const Bytes big = sized(c.accepted);
    sendRaw(big);
    ASSERT_TRUE(dispatchUntil(m_h, [&](const auto& r) { return r.size() >= 2; }));
    EXPECT_EQ(received()[1].bytes, big);
    EXPECT_EQ(g_exitReason.load(), NotYetSet);

    sendRaw(sized(c.accepted + 1));
    EXPECT_EQ(waitForFailure(), kSimAbort);
    EXPECT_EQ(m_h->failReason(), kCloseTooLarge);
    EXPECT_TRUE(waitFor([] { return g_exitReason.load() == SimWasClosed; }));
    // Every later call returns the stored status and sends nothing.
    EXPECT_EQ(SimConnect_SetNotificationGroupPriority(m_h, 1, 1), kSimAbort);
    EXPECT_EQ(SimConnect_CallDispatch(m_h, [](const sc::RecvHeader*, std::uint32_t, void*) {}, nullptr), kSimAbort);
    EXPECT_EQ(m_double->packets().size(), 1u);
    EXPECT_EQ(SimConnect_Close(m_h), kSimOk);
    m_h = nullptr;
    gf_resetExitState();
  }
}

TEST_F(Framing, SizesOfOneToThreeCloseTheLink) {
  for (std::uint8_t size = 1; size <= 3; ++size) {
    SCOPED_TRACE(static_cast<int>(size));
    open();
    sendRaw(Bytes{size, 0, 0, 0, 35, 0, 0, 0});
    EXPECT_EQ(waitForFailure(), kSimAbort);
    EXPECT_EQ(m_h->failReason(), kCloseBadSize);
    EXPECT_EQ(SimConnect_Close(m_h), kSimOk);
    m_h = nullptr;
  }
}

// Pieces of messages over several reads, zero bytes between messages, and a message larger than the
// first receive buffer.
TEST_F(Framing, MessagesArriveWholeWhateverTheReadsCut) {
  open();
  Bytes stream;
  std::vector<Bytes> sent;
  for (std::uint32_t size : {24u, 5000u, 12u, 41088u, 300u}) {
    sent.push_back(sized(size));
    stream.insert(stream.end(), sent.back().begin(), sent.back().end());
    stream.insert(stream.end(), size % 8, 0);  // padding of 0, 0, 4, 0 and 4 bytes
  }
  // In pieces of 1, 3 and 2047 bytes, each a write of its own.
  std::size_t at = 0;
  for (std::size_t piece : {1u, 3u, 2047u, 1u}) {
    sendRaw(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.begin() + static_cast<std::ptrdiff_t>(at + piece)));
    at += piece;
  }
  sendRaw(Bytes(stream.begin() + static_cast<std::ptrdiff_t>(at), stream.end()));
  ASSERT_TRUE(dispatchUntil(m_h, [&](const auto& r) { return r.size() >= 1 + sent.size(); }));
  const auto r = received();
  ASSERT_EQ(r.size(), 1 + sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(r[i + 1].bytes, sent[i]) << "message " << i;
}

// A message shorter than the fixed fields of its id is never handed on; the first of each id is
// logged. Messages of 11 bytes or less are skipped as well.
TEST_F(Framing, ShortMessagesAreLoggedOnceAndIgnored) {
  open();
  Bytes b;
  auto add = [&](const Bytes& m) { b.insert(b.end(), m.begin(), m.end()); };
  Bytes shortEvent = simdouble::msgEvent(35, 1, 201, 1);
  shortEvent.resize(20);
  sc::putU32(shortEvent.data(), 20);
  Bytes shortFrame = simdouble::msgFrame(35, 204, 1, 60, 1);
  shortFrame.resize(28);
  sc::putU32(shortFrame.data(), 28);
  Bytes shortData = simdouble::msgObjectData(35, sc::kRecvSimObjectData, 109, 1, 403, 0, 1, 1, 1, {});
  shortData.resize(36);
  sc::putU32(shortData.data(), 36);
  add(shortEvent);
  add(shortEvent);
  add(shortFrame);
  add(shortData);
  add(Bytes{8, 0, 0, 0, 35, 0, 0, 0});        // 8 bytes: no message id at all
  add(simdouble::message(35, 99, {}));          // an unknown id with its header only: handed on
  add(simdouble::msgEvent(35, 1, 201, 1));      // whole
  sendRaw(b);
  ASSERT_TRUE(dispatchUntil(m_h, [](const auto& r) { return r.size() >= 3; }));
  waitFor([&] { return SimConnect_CallDispatch(m_h, [](const sc::RecvHeader*, std::uint32_t, void*) {}, nullptr) == kSimOk; });
  const auto r = received();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[1].id, 99u);
  EXPECT_EQ(r[2].id, sc::kRecvEvent);
  EXPECT_EQ(r[2].bytes.size(), 24u);
  gf_closeLog("end");
  const std::string log = readFile(m_cwd / "Log.txt");
  for (const std::string what : {"message id 4 of 20 bytes", "message id 7 of 28 bytes", "message id 8 of 36 bytes"}) {
    const auto first = log.find(what);
    EXPECT_TRUE(first != std::string::npos && log.find(what, first + 1) == std::string::npos) << what;
  }
  gf_startLog();
}

// The simulator closing the link (a read of 0 bytes) is a lost simulator: reported once, and every
// later call returns the stored status.
// A read that cannot be started stores the operating-system error as an HRESULT of the Win32
// facility: its low 16 bits under 0x8007.
TEST(FailureStatus, AnOperatingSystemErrorBecomesItsWin32Hresult) {
  EXPECT_EQ(lf_hresultFromWin32(0), 0u);
  EXPECT_EQ(lf_hresultFromWin32(10053), 0x80072745u);  // connection aborted
  EXPECT_EQ(lf_hresultFromWin32(10054), 0x80072746u);  // connection reset
  EXPECT_EQ(lf_hresultFromWin32(0x12345), 0x80072345u);
}

TEST_F(Framing, ALinkClosedByTheSimulatorReportsTheLossOnce) {
  open();
  m_double->command("drop");
  EXPECT_EQ(waitForFailure(), kSimLinkFailed);
  EXPECT_EQ(m_h->failReason(), kCloseZeroRead);
  EXPECT_TRUE(waitFor([] { return g_exitReason.load() == SimWasClosed; }));
  gf_resetExitState();
  EXPECT_EQ(SimConnect_RequestDataOnSimObject(m_h, 109, 403, 0, 1, 0, 0, 0, 0), kSimLinkFailed);
  std::uint32_t sendId = 0;
  EXPECT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "T", "X", SimInitPosition{}, 104, &sendId), kSimLinkFailed);
  EXPECT_EQ(sendId, 0u);
  EXPECT_EQ(SimConnect_Close(m_h), kSimOk);
  m_h = nullptr;
  // Neither the later calls nor the close of the failed link report it again.
  EXPECT_EQ(g_exitReason.load(), NotYetSet);
  EXPECT_EQ(g_exitUnderWay.load(), 0);
}

TEST_F(Framing, AnOrderlyCloseReportsNothing) {
  open();
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 201, "Sim"), kSimOk);
  const std::size_t before = lf_liveConnectionCount();
  EXPECT_EQ(SimConnect_Close(m_h), kSimOk);
  m_h = nullptr;
  // The close has waited for the connection object: it is gone, and the double saw the end.
  EXPECT_EQ(lf_liveConnectionCount(), before - 1);
  EXPECT_TRUE(waitFor([&] { return m_double->connectedClients() == 0; }));
  EXPECT_EQ(m_double->packets().size(), 2u);  // the packet composed before the close went out
  EXPECT_EQ(g_exitUnderWay.load(), 0);
  EXPECT_EQ(g_exitReason.load(), NotYetSet);
}

}  // namespace
}  // namespace amb::test
