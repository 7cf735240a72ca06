// The traffic double: a smoke check of its replay (present timestamps) and its weather.
// Its command link is proved by the program's end-to-end tests.

#include "support/test_support.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <chrono>

namespace amb::tools {
namespace {

std::string receiveDatagram(platform::Socket& s) {
  std::string buffer(20000, '\0');
  const platform::DatagramResult r = s.receiveDatagram(buffer.data(), buffer.size());
  EXPECT_EQ(r.kind, platform::DatagramResult::Data);
  buffer.resize(r.size);
  return buffer;
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
  ASSERT_TRUE(traffic.openUdp() && traffic.bindIpv4(true, 0));
  ASSERT_TRUE(weather.openUdp() && weather.bindIpv4(true, 0));

  TrafficDoubleOptions o;
  o.link = false;
  o.trafficFile = dir / "short.rttfc";
  o.trafficPort = traffic.localPort();
  o.speed = 100;
  o.weatherPort = weather.localPort();
  o.weatherMessages = {R"({"QNH": 1009})", R"({"QNH": 1010})"};
  o.weatherInterval = std::chrono::milliseconds(20);
  TrafficDouble d(o);
  const double started = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  d.start();
  for (std::size_t i = 0; i < 5; ++i) {
    const std::string line = receiveDatagram(traffic);
    EXPECT_EQ(line.substr(0, 12), fmt::format("RTTFC,{}", 100000 + i));
    EXPECT_NEAR(TrafficDouble::timestampOf(line), started, 5);
  }
  EXPECT_TRUE(test::waitFor([&] { return d.trafficDone(); }));
  for (const char* qnh : {R"({"QNH": 1009})", R"({"QNH": 1010})", R"({"QNH": 1009})"})
    EXPECT_EQ(receiveDatagram(weather), qnh);
  d.stop();
}

}  // namespace
}  // namespace amb::tools
