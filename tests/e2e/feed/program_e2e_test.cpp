// The program with RealTraffic end to end: the real program runs headless against the simulator
// double (the user aircraft at JFK) and the traffic double, which connects to the command port
// 10747 as RealTraffic does and sends traffic and weather to 49005 and 49004. The traffic double's
// record shows what went over the command link; the window dump shows the RealTraffic lamp and the
// reader statuses.

#include "e2e/harness.hpp"

namespace amb::test {
namespace {

using namespace e2e;

const std::string kRecording = testData("traffic/KJFK_20190305_2130Z.rttfc.gz").string();
const std::string kWeatherFile = testData("traffic/KJFK_20190305_2028Z_weather.json").string();

// The user aircraft at JFK with every figure of the position command set: 2.5 degrees nose up,
// 10 degrees left bank, heading 31, 13.4567 ft, 12.3456 kt; the simulator's clock stands at
// 2019-03-05 21:30 UTC.
std::vector<std::string> jfkUserWithAttitude() {
  return {"user 40.6413 -73.7781 13.4567 31", "ground-alt 13", "onground 1", "speed 12.3456", "attitude 2.5 -10",
          "zulu 1551821400", std::string("title ") + kTitle, "model B738"};
}
// Pitch, bank, altitude and speed as whole numbers in RealTraffic's units (radians x 100000, feet and
// knots x 1000); heading, latitude and longitude in radians.
const std::string kPosition = "Qs121=4363;-17453;0.541052;13457;12346;0.709324;-1.287671";

// The first weather message of the recording: 2996 hundredths of inHg, 1015 hPa.
std::string recordedWeather() {
  const std::string line = readLines(kWeatherFile).at(0);
  return line.substr(line.find('{'));
}

std::size_t countBetween(const std::vector<TrafficDoubleProcess::Command>& commands, const std::string& text,
                         double from, double to) {
  return static_cast<std::size_t>(std::count_if(commands.begin(), commands.end(), [&](const auto& c) {
    return c.text == text && c.time > from && c.time < to;
  }));
}

TEST(RealTrafficEndToEnd, TheLinkCarriesVersionPositionAndTimeAndSaysExitAtTheClose) {
  Connected c(jfkUserWithAttitude(), true);
  ASSERT_GT(c.sim.port(), 0);
  TrafficDoubleProcess rt(c.layout.root / "realtraffic", {"--professional", "--version", "9.0.100", "--traffic",
                                                          kRecording, "--weather", kWeatherFile,
                                                          "--weather-interval", "1"});

  EXPECT_TRUE(c.layout.waitPicture({rtLampFill(kLime), text(458, 35, kLime, "RT prof edition: 9.0.100"),
                                    text(458, 63, kLime, "Weather"), text(458, 91, kLime, "Traffic"),
                                    text(642, 63, kLime, "qnh: 1015")},
                                   {}));
  // The simulator time goes every 15th report; two of them give the cadence.
  ASSERT_TRUE(rt.waitCommands("Qs123=", 2, 60s));
  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
  ASSERT_TRUE(waitFor([&] {
    const auto r = rt.record();
    return !r.empty() && r.back().text == "#disconnected";
  }));

  const auto record = rt.record();
  ASSERT_GE(record.size(), 5u);
  EXPECT_EQ(record[0].text, "#connected");
  EXPECT_EQ(record[1].text, "Qs999=version");
  EXPECT_EQ(record[record.size() - 2].text, "exit");
  std::vector<double> times;
  for (std::size_t i = 2; i + 2 < record.size(); ++i) {
    if (record[i].text == "Qs123=1551821400000")
      times.push_back(record[i].time);
    else
      EXPECT_EQ(record[i].text, kPosition);
  }
  ASSERT_GE(times.size(), 2u);
  EXPECT_NEAR(times[1] - times[0], 15.0, 1.5);
  // The position goes once a second.
  const std::size_t positions = countBetween(record, kPosition, times[0], times[1]);
  EXPECT_GE(positions, 12u);
  EXPECT_LE(positions, 18u);
  EXPECT_EQ(c.layout.logCount("RealTraffic connected"), 1u);
}

TEST(RealTrafficEndToEnd, ALostRealTrafficIsShownAndItsReturnTakenUp) {
  Connected c(jfkUser(), true);
  ASSERT_GT(c.sim.port(), 0);
  const std::vector<std::string> options{"--traffic", kRecording, "--weather-interval", "1"};
  std::optional<TrafficDoubleProcess> rt(std::in_place, c.layout.root / "realtraffic1", options);
  ASSERT_TRUE(c.layout.waitPicture({rtLampFill(kLime), text(458, 91, kLime, "Traffic")}, {}));
  ASSERT_TRUE(rt->waitCommands("Qs121=", 2));

  ASSERT_TRUE(rt->kill());
  const std::string gone = "RealTraffic gone? Wait for RealTraffic to re-connect ...";
  EXPECT_TRUE(waitFor([&] { return c.layout.dumpContains(gone); }, kBound));
  // The readers are no longer watched: the lamp is red and their texts are gone.
  EXPECT_TRUE(c.layout.waitPicture({rtLampFill(kRed)}, {text(458, 91, kLime, "Traffic"), text(458, 63, kLime, "Weather")}));
  EXPECT_EQ(c.layout.logCount(gone), 1u);
  EXPECT_EQ(c.layout.logCount("RealTraffic client socket closed"), 1u);

  rt.emplace(c.layout.root / "realtraffic2", options);
  EXPECT_TRUE(c.layout.waitLog("RealTraffic re-connected"));
  EXPECT_TRUE(c.layout.waitPicture({rtLampFill(kLime), text(458, 91, kLime, "Traffic")}, {}));
  EXPECT_TRUE(waitFor([&] { return !c.layout.dumpContains(gone); }, kBound));
  ASSERT_TRUE(rt->waitCommands("Qs121=", 2));

  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_TRUE(rt->waitCommands("exit", 1));
  // The returning RealTraffic is asked its version too: its answer tells it from other connections.
  EXPECT_EQ(rt->commandsStartingWith("Qs999").size(), 1u);
  EXPECT_EQ(c.layout.logCount("RealTraffic connected"), 1u);
}

TEST(RealTrafficEndToEnd, TheWindowShowsWhetherTrafficAndWeatherFlow) {
  Connected c(jfkUser(), true);
  ASSERT_GT(c.sim.port(), 0);
  // RealTraffic connects but sends nothing yet.
  TrafficDoubleProcess rt(c.layout.root / "realtraffic", {"--no-weather"});

  // With no traffic for 15 s the main loop starts anyway; its first look finds neither reader
  // receiving: the lamp and both texts turn yellow, and there is no QNH to show.
  EXPECT_TRUE(c.layout.waitLog("No traffic in this region?", 1, 45s));
  EXPECT_TRUE(c.layout.waitPicture(
      {rtLampFill(kYellow), text(458, 63, kYellow, "Weather"), text(458, 91, kYellow, "Traffic")}, {}));
  EXPECT_FALSE(c.layout.dumpContains("\"qnh:"));

  // Garbage is logged, and the weather reader goes on.
  ASSERT_TRUE(sendDatagram(49004, "\x01\x02 no weather"));
  EXPECT_TRUE(c.layout.waitLog("Exception "));
  ASSERT_TRUE(sendDatagram(49004, recordedWeather()));
  EXPECT_TRUE(c.layout.waitPicture({text(458, 63, kLime, "Weather"), text(642, 63, kLime, "qnh: 1015")}, {}));
  // The traffic status is looked at again at the next 15-second step.
  ASSERT_TRUE(sendDatagram(49005, kTrafficLine));
  EXPECT_TRUE(c.layout.waitPicture({rtLampFill(kLime), text(458, 91, kLime, "Traffic")}, {}));

  // Closing stops the readers: the traffic reader's text goes and the lamp turns yellow while the
  // window is still open; the weather text stays.
  ASSERT_TRUE(c.window("close"));
  EXPECT_TRUE(c.layout.waitPicture({rtLampFill(kYellow), text(458, 63, kLime, "Weather")},
                                   {text(458, 91, kLime, "Traffic"), text(458, 91, kYellow, "Traffic")}));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Traffic Reader has stopped"), 1u);
  EXPECT_EQ(c.layout.logCount("QNH Reader has stopped"), 1u);
}

// Every way the program ends, in the states where RealTraffic is not there, ends within the exit's
// own bounded waits: while RealTraffic is gone the engine waits in the command port's accept, which
// the exit must end before it can remove the aircraft.
struct RealTrafficGone : Connected {
  RealTrafficGone() : Connected(jfkUser(), true) {
    EXPECT_GT(sim.port(), 0);
    TrafficDoubleProcess rt(layout.root / "realtraffic", {"--traffic", kRecording});
    // The position goes once the main loop runs, after up to 15 s without traffic.
    EXPECT_TRUE(rt.waitCommands("Qs121=", 1, 90s));
    EXPECT_TRUE(rt.kill());
    EXPECT_TRUE(layout.waitLog("RealTraffic gone? Wait for RealTraffic to re-connect ...", 1, 60s));
  }
};

TEST(RealTrafficEndToEnd, ClosingWhileRealTrafficIsGoneEnds) {
  RealTrafficGone c;
  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Exiting: USER CLOSED SIM"), 1u);
}

TEST(RealTrafficEndToEnd, ASimulatorLostWhileRealTrafficIsGoneEndsTheProgram) {
  RealTrafficGone c;
  ASSERT_TRUE(c.sim.command("quit"));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Exiting: SIM WAS CLOSED"), 1u);
}

TEST(RealTrafficEndToEnd, ARestartAndACloseDuringItsCountdownWhileRealTrafficIsGoneEnd) {
  RealTrafficGone c;
  ASSERT_TRUE(c.window("type 32788 " + c.layout.simFolder.string()));
  ASSERT_TRUE(c.layout.waitLog("Restarting after 3 seconds"));
  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
  EXPECT_EQ(c.layout.logCount("Exiting: NEW SETTINGS"), 1u);
  EXPECT_EQ(c.layout.logCount("Exiting: USER CLOSED SIM"), 1u);
}

TEST(RealTrafficEndToEnd, ClosingWhileWaitingForRealTrafficsFirstConnectEnds) {
  Connected c(jfkUser(), true);
  ASSERT_GT(c.sim.port(), 0);
  ASSERT_TRUE(c.layout.waitLog("Waiting for RealTraffic to connect to Ambertrail_P3D ..."));
  ASSERT_TRUE(c.window("close"));
  EXPECT_EQ(c.program->waitExit(), 0);
}

}  // namespace
}  // namespace amb::test
