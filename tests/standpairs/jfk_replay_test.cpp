// Static parking at JFK with the demo's learned week while the recorded traffic replays, whole, in
// virtual time: no static aircraft stays on its stand while a live aircraft on the ground stands
// within the stand's radius, longer than a make-way takes.

#include "standpairs/standpairs.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "enginesim/parking_days.hpp"
#include "learnedgen/learnedgen.hpp"
#include "refdata/download.hpp"
#include "state/main_window.hpp"
#include "support/test_support.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr long long kMonday = 1551657600;  // 4 March 2019, 00:00 UTC
constexpr double kMakeWaySeconds = 5;

clock::SystemTime at(long long unixSeconds) { return clock::SystemTime(std::chrono::seconds(unixSeconds)); }

class StandPairsAtJfk : public ::testing::Test {
protected:
  void SetUp() override {
    AMB_SKIP_ON_WINDOWS("the cross build lays out no airport data when it cannot run its generator");
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"), recordingFile());
    m_cwd.emplace(m_dir.path());
    m_env.emplace("AMBT_SERVER_URL", gf_fileUrl(fs::path(AMB_BINARY_DIR) / "app" / "server", true));
    fs::create_directories(m_dir / "input");
    fs::copy_file(fs::path(AMB_BINARY_DIR) / "app" / "input" / "airports_p3d.xml", m_dir / "input/airports_p3d.xml");
    gf_startLog();
    gf_resetAirportList();
    m_days = std::make_unique<enginesim::ParkingDays>(at(kMonday));
  }
  void TearDown() override {
    m_days.reset();
    gf_resetAirportList();
    gf_resetDownloads();
    g_mainWindow.reset();
    gf_clearMessage();
    gf_closeLog("end");
    m_env.reset();
    m_cwd.reset();
  }
  static fs::path recordingFile() { return test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"); }

  // What the simulator holds now, as the watch sees it.
  std::vector<standpairs::Seen> seen() {
    std::vector<standpairs::Seen> out;
    for (const auto& [id, o] : m_days->sim().objects)
      if (o.removedCycle < 0)
        out.push_back({id, o.callsign, o.position.latitude, o.position.longitude,
                       o.position.altitude - 13.0 - 10.0 <= 0.5});  // the fake simulator's field and CG
    return out;
  }

  test::TempDir m_dir{"amb-standpairs"};
  std::optional<test::ScopedCwd> m_cwd;
  std::optional<test::ScopedEnv> m_env;
  std::unique_ptr<enginesim::ParkingDays> m_days;
};

TEST_F(StandPairsAtJfk, NoStaticAircraftStaysOnAStandWhereALiveOneStands) {
  const auto recording = enginesim::readRecording(recordingFile());
  learnedgen::learnWeek(*m_days, at(kMonday), {40.6413, -73.7781}, "KJFK", test::testData("airports/KJFK.parking.xml"),
                        recording, ailibgen::fromRecording(recordingFile(), ailibgen::kCargoAirlines), 20190305);
  // The recording's own evening (Tuesday 21:28 UTC), then a Friday afternoon, a Sunday just before
  // midnight and a Wednesday night. Besides the shell's renewal after 20 minutes, two more (a setting
  // changed) park static aircraft while live ones stand at stands.
  for (const long long start : {kMonday + 86400 + 21 * 3600 + 28 * 60, kMonday + 4 * 86400 + 15 * 3600 + 20 * 60,
                                kMonday + 6 * 86400 + 23 * 3600 + 50 * 60, kMonday + 2 * 86400 + 4 * 3600 + 10 * 60}) {
    m_days->arrive(at(start));
    ASSERT_TRUE(m_days->runUntil([] { return !g_stands.empty(); }, 30s));
    std::vector<standpairs::StandCircle> stands;
    for (const Stand& s : g_stands) stands.push_back({s.name, s.lat, s.lon, s.radiusNm * 1852.0});
    standpairs::Watch watch(stands, kMakeWaySeconds);
    m_days->replay(recording);
    std::size_t parked = 0;
    for (int second = 0; !m_days->engine().allLinesSent() || second % 60 != 0; ++second) {
      m_days->run(1s);
      watch.observe(second, seen());
      if (second == 120) parked = g_parkedActs.size();
      if (second == 180 || second == 420) m_days->requestRenewal();
    }
    // Static parking did its work: half the wanted aircraft stood after two minutes.
    EXPECT_GE(parked * 2, static_cast<std::size_t>(g_maxParkCount)) << "from " << start;
    std::string found;
    for (const standpairs::Pair& p : watch.pairs())
      found += fmt::format("\n{} {} with live {} from {} s to {} s", p.stand, p.staticCallsign, p.liveCallsign, p.from,
                           p.to);
    EXPECT_TRUE(found.empty()) << "from " << start << ": " << watch.pairs().size() << " pairs" << found;
    ASSERT_TRUE(m_days->leave());
  }
}

}  // namespace
}  // namespace amb
