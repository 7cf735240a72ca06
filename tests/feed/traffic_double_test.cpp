// The traffic double itself: its replay pace and timestamps, its weather messages, and how it
// records and answers on the command link.

#include "support/test_support.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cmath>

namespace amb::tools {
namespace {

using test::waitFor;

std::string receiveDatagram(platform::Socket& s) {
  std::string buffer(20000, '\0');
  const platform::DatagramResult r = s.receiveDatagram(buffer.data(), buffer.size());
  EXPECT_EQ(r.kind, platform::DatagramResult::Data);
  buffer.resize(r.size);
  return buffer;
}

double nowSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

TEST(TrafficDouble, ReadsTheRecordingsAndRewritesTimestamps) {
  const auto lines = TrafficDouble::readLines(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
  ASSERT_EQ(lines.size(), 39083u);
  EXPECT_EQ(lines.front().substr(0, 32), "RTTFC,531933504,40.7969,-74.0818");
  EXPECT_DOUBLE_EQ(TrafficDouble::timestampOf(lines.front()), 1551821332.89);
  EXPECT_GT(TrafficDouble::timestampOf(lines.back()), 1551821332.89 + 20 * 60);

  const auto weather = TrafficDouble::readWeatherMessages(test::testData("traffic/KJFK_20190305_2028Z_weather.json"));
  ASSERT_EQ(weather.size(), 4u);
  EXPECT_EQ(nlohmann::json::parse(weather[0])["QNH"], 2996);

  EXPECT_EQ(TrafficDouble::withTimestamp("a,b,c,d,e,f,g,h,i,j,k,l,m,n,1.5,p,q", 1700000000.256),
            "a,b,c,d,e,f,g,h,i,j,k,l,m,n,1700000000.26,p,q");
  EXPECT_EQ(TrafficDouble::withTimestamp("a,b,c,d,e,f,g,h,i,j,k,l,m,n,1.5", 2), "a,b,c,d,e,f,g,h,i,j,k,l,m,n,2.00");
  EXPECT_EQ(TrafficDouble::withTimestamp("too,short", 2), "too,short");
  EXPECT_EQ(TrafficDouble::timestampOf("a,b,c,d,e,f,g,h,i,j,k,l,m,n,x,p"), 0);
}

TEST(TrafficDouble, ReplaysFasterWithPresentTimestampsAndSendsWeather) {
  test::TempDir dir;
  const std::string tail = ",X2,,adsb_icao,0,-1,-1,-1,-1,-1,-1,-1,0,none,A3";
  std::string recording;
  const double offsets[] = {0, 1, 1, 4, 10};
  for (std::size_t i = 0; i < 5; ++i)
    recording += fmt::format("RTTFC,{},1,2,3,4,5,6,7,CS,B738,REG,O,D,{:.2f}{}\n", 100000 + i,
                             1551821332.5 + offsets[i], tail);
  test::writeFile(dir / "short.rttfc", recording);

  platform::Socket traffic, weather;
  ASSERT_TRUE(traffic.openUdp());
  ASSERT_TRUE(traffic.bindIpv4(true, 0));
  ASSERT_TRUE(weather.openUdp());
  ASSERT_TRUE(weather.bindIpv4(true, 0));

  TrafficDoubleOptions o;
  o.link = false;
  o.trafficFile = dir / "short.rttfc";
  o.trafficPort = traffic.localPort();
  o.speed = 100;
  o.weatherPort = weather.localPort();
  o.weatherMessages = {R"({"QNH": 1009})", R"({"QNH": 1010})"};
  o.weatherInterval = std::chrono::milliseconds(20);
  TrafficDouble d(o);
  const double started = nowSeconds();
  d.start();
  std::vector<double> stamps;
  for (std::size_t i = 0; i < 5; ++i) {
    const std::string line = receiveDatagram(traffic);
    EXPECT_EQ(line.substr(0, 12), fmt::format("RTTFC,{}", 100000 + i));
    EXPECT_EQ(line.substr(line.size() - tail.size()), tail);
    stamps.push_back(TrafficDouble::timestampOf(line));
  }
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_NEAR(stamps[i] - stamps[0], offsets[i] / 100, 0.011) << i;
    EXPECT_NEAR(stamps[i], started, 5);
  }
  EXPECT_TRUE(waitFor([&] { return d.trafficDone(); }));
  EXPECT_EQ(d.linesSent(), 5u);
  EXPECT_EQ(receiveDatagram(weather), R"({"QNH": 1009})");
  EXPECT_EQ(receiveDatagram(weather), R"({"QNH": 1010})");
  EXPECT_EQ(receiveDatagram(weather), R"({"QNH": 1009})");
  d.stop();
  // The pace held: the replay of 10 s at 100 times took about 0.1 s, not less.
  EXPECT_GE(stamps[4] - stamps[0], 0.09);
}

TEST(TrafficDouble, RecordsCommandsAnswersTheVersionAndComesBackAfterExit) {
  test::TempDir dir;
  platform::Socket server;
  platform::PassiveAddress any;
  ASSERT_EQ(platform::resolvePassiveTcp("0", any), 0);
  ASSERT_TRUE(server.openTcp());
  ASSERT_TRUE(server.setReuseAddress());
  ASSERT_TRUE(server.bind(any));
  ASSERT_TRUE(server.listen());

  TrafficDoubleOptions o;
  o.linkPort = server.localPort();
  o.professional = true;
  o.version = "9.1";
  o.weather = false;
  o.recordFile = dir / "commands.txt";
  o.reconnectInterval = std::chrono::milliseconds(10);
  TrafficDouble d(o);
  d.start();

  platform::Socket link;
  ASSERT_TRUE(server.accept(link));
  // Commands may come in any pieces.
  ASSERT_TRUE(link.sendAll("Qs999=ver"));
  ASSERT_TRUE(waitFor([&] { return d.commands().size() == 1; }));  // "#connected" only so far
  ASSERT_TRUE(link.sendAll("sion\r\nQs121=1;2;3;4;5;6;7\r\nQs1"));
  char reply[256];
  const long n = link.receive(reply, sizeof reply);
  ASSERT_GT(n, 0);
  EXPECT_EQ(std::string(reply, static_cast<std::size_t>(n)), R"({"level":2,"version":"9.1"})");
  ASSERT_TRUE(link.sendAll("23=1551821400000\r\nexit\r\n"));
  EXPECT_TRUE(waitFor([&] { return d.commands().size() >= 6; }));
  platform::Socket again;
  ASSERT_TRUE(server.accept(again));
  EXPECT_TRUE(waitFor([&] { return d.connections() == 2; }));
  d.stop();

  std::vector<std::string> texts;
  for (const auto& c : d.commands()) {
    texts.push_back(c.text);
    EXPECT_NEAR(c.time, nowSeconds(), 60);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"#connected", "Qs999=version", "Qs121=1;2;3;4;5;6;7",
                                             "Qs123=1551821400000", "exit", "#disconnected", "#connected",
                                             "#disconnected"}));
  const auto lines = test::readLines(dir / "commands.txt");
  ASSERT_EQ(lines.size(), texts.size());
  EXPECT_EQ(lines[1].substr(lines[1].find('\t')), "\tQs999=version");
}

}  // namespace
}  // namespace amb::tools
