// The program against the simulator double, end to end (the harness is in e2e/harness.hpp).

#include "e2e/harness.hpp"
#include "tools/simdouble/wire.hpp"

namespace amb::test {
namespace {

using namespace e2e;

TEST(SimEndToEnd, TheLampTurnsLimeWithTheSimulatorAndTheTitleAndFollowsPauseAndResume) {
  Connected c;
  ASSERT_GT(c.sim.port(), 0);
  ASSERT_TRUE(c.layout.waitDump(lampFill(kLime)));
  EXPECT_TRUE(c.layout.waitDump(text(5, 35, kLime, kSimText)));
  EXPECT_TRUE(c.layout.waitDump(text(5, 63, kLime, kTitle)));
  EXPECT_EQ(c.layout.logCount(std::string(kSimText) + " connected"), 1u);
  EXPECT_EQ(c.layout.logCount(std::string("SimConnect: User aircraft title: ") + kTitle), 1u);
  EXPECT_EQ(c.sim.requestsOf(108), 1u);  // the on-ground state, once a second from now on

  sendTrafficLine(c.layout);
  ASSERT_TRUE(c.sim.command("pause"));
  EXPECT_TRUE(c.layout.waitLog(" Flight not running"));
  EXPECT_TRUE(c.layout.waitDump(lampFill(kYellow)));
  ASSERT_TRUE(c.sim.command("resume"));
  EXPECT_TRUE(c.layout.waitLog(" Flight resumed"));
  EXPECT_TRUE(c.layout.waitDump(lampFill(kLime)));

  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Exiting: USER CLOSED SIM"), 1u);
  EXPECT_EQ(c.layout.logCount("SimConnect closed ok"), 1u);
  EXPECT_EQ(c.layout.logCount("Flight Simulator no longer connected"), 0u);
}

TEST(SimEndToEnd, OneReportASecondAgesTheMessageAfter25Reports) {
  // A model the data base cannot give a span: the maximum is taken and the user is told.
  Connected c(jfkUser("ZZZZZ"));
  const std::string warning = "User aircraft wing span unknown, max is taken instead, please report in my Forum!";
  ASSERT_TRUE(c.layout.waitDump(text(3, 455, kYellow, warning)));
  EXPECT_TRUE(c.layout.waitDump(text(5, 63, kYellow, kTitle)));  // the title in yellow: span unknown
  sendTrafficLine(c.layout);
  // The main loop counts one report per on-ground answer; the message goes 25 reports later.
  EXPECT_TRUE(waitFor([&] { return c.layout.dumpHas("fill 0 448 880 476 0x32CD32") &&
                                   readFile(c.layout.dump).find(warning) == std::string::npos; },
                      60s));
  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
}

TEST(SimEndToEnd, TheThirdFailedRequestRestartsTheServiceRunAfterTenSeconds) {
  // The user aircraft has no position yet, so the service run keeps asking for it; then the
  // simulator reports a version mismatch, which ends the connection and every request fails.
  Connected c({"user 0 0", std::string("title ") + kTitle, "model B738"});
  ASSERT_TRUE(waitFor([&] { return c.sim.requestsOf(109) >= 2; }, kBound));
  ASSERT_TRUE(c.sim.command("exception 5"));
  EXPECT_TRUE(c.layout.waitLog("Error 95: Simconnect Version Mismatch, dwindex: 0 "));
  // Each failed request is logged; the third asks for the restart (the error stays on the line).
  EXPECT_TRUE(c.layout.waitLog("===> SimConnect request user ac position fails", 3));
  EXPECT_TRUE(c.layout.waitLog("Exiting: SIMCONNECT ERROR"));
  EXPECT_TRUE(c.layout.waitLog("Restarting after 10 seconds"));
  EXPECT_EQ(c.sim.sessions(), 1u);

  // The new service run connects again and, with a position, goes on.
  ASSERT_TRUE(c.sim.command("user 40.6413 -73.7781 13"));
  EXPECT_TRUE(waitFor([&] { return c.sim.sessions() == 2; }, kBound));
  EXPECT_TRUE(c.layout.waitLog(std::string(kSimText) + " connected", 2));
  EXPECT_TRUE(c.layout.waitDump(text(5, 63, kLime, kTitle)));

  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
}

class LostSimulator : public ::testing::TestWithParam<const char*> {};

TEST_P(LostSimulator, EndsTheProgramWithSimWasClosed) {
  Connected c;
  ASSERT_TRUE(c.layout.waitLog(std::string("SimConnect: User aircraft title: ") + kTitle));
  ASSERT_TRUE(c.sim.command(GetParam()));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Flight Simulator no longer connected, Ambertrail_P3D will stop ..."), 1u);
  EXPECT_EQ(c.layout.logCount("Exiting: SIM WAS CLOSED"), 1u);
  if (std::string(GetParam()) == "quit") {
    EXPECT_EQ(c.sim.waitExit(), 0);  // the simulator ends too
  }
}

INSTANTIATE_TEST_SUITE_P(QuitOrDrop, LostSimulator, ::testing::Values("quit", "drop"));

TEST(SimEndToEnd, AJumpOfTheUserAircraftIsANewFlightThatEndsTheProgram) {
  Connected c;
  ASSERT_TRUE(c.layout.waitLog(std::string("SimConnect: User aircraft title: ") + kTitle));
  // The simulator sends the user block 15.5 nm further north.
  simdouble::Bytes block;
  for (double v : {40.9, -73.7781, 0.0, 0.0, 0.0, 13.0, 0.0, 0.0}) simdouble::appendF64(block, v);
  for (std::int64_t v : {36000, 64, 2019, 0}) simdouble::appendI64(block, v);
  const auto message = simdouble::msgObjectData(35, 8, 109, 1, 403, 0, 1, 1, 12, block);
  ASSERT_TRUE(c.sim.command("raw " + simdouble::toHex(message.data(), message.size())));
  EXPECT_TRUE(c.layout.waitLog("Teleport"));
  EXPECT_TRUE(c.layout.waitLog("Exiting: NEW FLIGHT"));
  EXPECT_TRUE(c.layout.waitLog("New flight detected, Ambertrail_P3D will close, please restart manually ..."));
  EXPECT_EQ(c.program->waitExit(), 0);
}

}  // namespace
}  // namespace amb::test
