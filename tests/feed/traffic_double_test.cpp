// The traffic double: a smoke check of its replay (present timestamps) and its weather, and of its
// generated traffic. Its command link is proved by the program's end-to-end tests.

#include "core/geometry.hpp"
#include "feed_fixture.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <set>

#ifdef __linux__
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#endif

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

#ifdef __linux__
constexpr int kNoPrivateNetwork = 77;

// In a network namespace of its own whose ephemeral ports are RealTraffic's two and two more, the
// double sends traffic and weather; then the program's readers bind RealTraffic's ports, as they do
// only once RealTraffic has connected. Run in a child process: the namespace and its port range are
// the child's alone.
int bindAfterTheDoubleSends(const std::filesystem::path& recording) {
  if (::unshare(CLONE_NEWNET) != 0) return kNoPrivateNetwork;
  const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ifreq lo{};
  std::strncpy(lo.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = false;
  if (fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &lo) == 0) {
    lo.ifr_flags |= IFF_UP;
    up = ::ioctl(fd, SIOCSIFFLAGS, &lo) == 0;
  }
  if (fd >= 0) ::close(fd);
  std::ofstream range("/proc/sys/net/ipv4/ip_local_port_range");
  range << "49004 49007\n";
  range.close();
  if (!up || !range) return kNoPrivateNetwork;

  TrafficDoubleOptions o;
  o.link = false;
  o.trafficFile = recording;
  o.loop = true;
  o.speed = 100;
  o.trafficPort = 49005;
  o.weatherPort = 49004;
  o.weatherInterval = std::chrono::milliseconds(20);
  TrafficDouble d(o);
  d.start();
  const bool sending = test::waitFor([&] { return d.linesSent() > 0 && d.weatherSent() > 0; });
  platform::Socket traffic, weather;
  const bool bound =
      traffic.openUdp() && traffic.bindIpv4(true, 49005) && weather.openUdp() && weather.bindIpv4(true, 49004);
  d.stop();
  return sending && bound ? 0 : 1;
}

// With only four ephemeral ports, two of them RealTraffic's, a sender that takes whatever the
// system picks holds one of RealTraffic's five times in six.
TEST(TrafficDouble, NeverSendsFromThePortsItSendsTo) {
  test::TempDir dir;
  test::writeFile(dir / "one.rttfc",
                  "RTTFC,100000,1,2,3,4,5,6,7,CS,B738,REG,O,D,1551821332.50,X2,,adsb_icao,0,-1,-1,-1,-1,-1,-1,-1,0,"
                  "none,A3\n");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(bindAfterTheDoubleSends(dir / "one.rttfc"));
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kNoPrivateNetwork) GTEST_SKIP() << "no network namespace of its own here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the program could not bind RealTraffic's ports, or nothing was sent";
}
#endif

// Generated aircraft are airliners that pass every check of the feed, each flying its circle: a
// second later it is its speed's distance further along its track.
class GeneratedTraffic : public test::FeedTest {};

TEST_F(GeneratedTraffic, EveryAircraftPassesTheFeedsChecksAndFliesAlongItsTrack) {
  const double lat = 40.6413, lon = -73.7781, start = 1'700'000'000;
  g_radiusNm = 30;
  g_trafficReader.setUserPosition(lat, lon);
  openQueue(true);
  const auto fields = [](const std::string& line) {
    std::vector<std::string> out;
    for (std::size_t at = 0;;) {
      const std::size_t comma = line.find(',', at);
      out.push_back(line.substr(at, comma - at));
      if (comma == std::string::npos) return out;
      at = comma + 1;
    }
  };
  for (std::uint32_t a = 0; a < 1000; ++a) {
    SCOPED_TRACE(a);
    std::string lines[2];
    for (int t = 0; t < 2; ++t) {
      lines[t] = TrafficDouble::generatedLine(a, 100 + t, start + 100 + t, lat, lon);
      gf_splitTrafficLine(g_trafficReader, lines[t]);
      ASSERT_EQ(processLineFor(g_trafficReader), LineResult::Queued) << lines[t];
    }
    const auto f0 = fields(lines[0]), f1 = fields(lines[1]);
    const LatLon p0{std::stod(f0[2]), std::stod(f0[3])}, p1{std::stod(f1[2]), std::stod(f1[3])};
    const double speedKt = std::stod(f0[8]), trackDeg = std::stod(f0[7]);
    EXPECT_NEAR(gf_distanceNm(p0, p1), speedKt / 3600, speedKt / 3600 * 0.03);
    const double bearing = gf_bearingRad(p0, p1) * 180 / 3.14159265358979323846;
    EXPECT_NEAR(std::remainder(bearing - trackDeg, 360.0), 0, 1.5);
  }
  std::set<std::uint32_t> hexids;
  std::lock_guard lock(g_trafficQueueMutex);
  for (; !g_trafficQueue.empty(); g_trafficQueue.pop_front()) hexids.insert(g_trafficQueue.front().hexid);
  EXPECT_EQ(hexids.size(), 1000u);
}

TEST(TrafficDouble, GeneratesOneLinePerAircraftPerSecondWithPresentTimestamps) {
  platform::Socket traffic;
  ASSERT_TRUE(traffic.openUdp() && traffic.bindIpv4(true, 0));
  TrafficDoubleOptions o;
  o.link = false;
  o.weather = false;
  o.trafficPort = traffic.localPort();
  o.generatedAircraft = 200;
  TrafficDouble d(o);
  const double started = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
  d.start();
  // The first second: every aircraft once, in turn.
  for (std::uint32_t a = 0; a < 200; ++a) {
    const std::string line = receiveDatagram(traffic);
    ASSERT_EQ(line.substr(0, 15), fmt::format("RTTFC,{},", 10000000 + a));
    EXPECT_NEAR(TrafficDouble::timestampOf(line), started + a / 200.0, 2);
  }
  EXPECT_EQ(receiveDatagram(traffic).substr(0, 15), "RTTFC,10000000,");
  d.stop();
}

}  // namespace
}  // namespace amb::tools
