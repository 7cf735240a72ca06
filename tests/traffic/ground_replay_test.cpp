// The JFK recording through the feed and the engine in virtual time with JFK's real stands: arrivals
// taxi to their stands and park, departures leave their stands, every ground block is checked
// against the one before.

#include "airports/standin.hpp"
#include "enginesim/harness.hpp"
#include "enginesim/parking.hpp"
#include "ground_watch.hpp"
#include "settings/options.hpp"
#include "support/test_support.hpp"
#include "traffic/engine.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>
#include <cstdlib>
#include "core/geometry.hpp"
#include "core/log.hpp"
#include <iostream>
#include <memory>

namespace amb {
namespace {

using enginesim::EngineHarness;

class JfkGround : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                            test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    s_folder = std::make_unique<test::TempDir>("engine-ground");
    s_stands = enginesim::readParkingPositions(test::testData("airports/KJFK.parking.xml"));
    enginesim::HarnessOptions options;
    options.programFolder = s_folder->path();
    options.stands = s_stands;
    s_harness = std::make_unique<EngineHarness>(options);
    EngineHarness& h = *s_harness;
    if (std::getenv("AMB_DUMP") != nullptr) { gf_startLog(); LOG.value = 1; }
    s_watch.attach(h.sim());
    h.schedule(enginesim::readRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz")));
    h.run(h.lastLineCycle() + 3000 + 8 * 800 + 2000);
    h.sim().onPosition = nullptr;
  }
  static void TearDownTestSuite() {
    s_harness.reset();
    s_folder.reset();
  }
  static inline std::unique_ptr<test::TempDir> s_folder;
  static inline std::unique_ptr<EngineHarness> s_harness;
  static inline std::vector<Stand> s_stands;
  static inline test::GroundWatch s_watch;
};

TEST_F(JfkGround, Explore) {
  const auto report = test::checkGroundPairs(s_watch);
  std::cout << "pairs " << report.pairs << " moving " << report.movingPairs << " worst speed ratio "
            << report.worstSpeedRatio << " worst slide " << report.worstSlideDeg << " faults "
            << report.faults.size() << "\n";
  { std::ofstream f("/tmp/e2/faults.txt"); for (const auto& x : report.faults) f << x << "\n"; }
  std::cout << test::writeGroundMap("ground-jfk", s_watch, s_harness->linesByHexid, s_stands, 10) << "\n";
  if (const char* who = std::getenv("AMB_DUMP")) {
    std::ofstream f("/tmp/e2/dump.txt");
    for (const auto& [id, list] : s_watch.blocks) {
      if (s_watch.callsigns.at(id) != who) continue;
      for (std::size_t i = 0; i < list.size(); ++i) {
        const auto& b = list[i];
        double d = i > 0 ? gf_distanceNm({list[i-1].block.latitude, list[i-1].block.longitude}, {b.block.latitude, b.block.longitude}) * 1852 : 0;
        f << b.cycle << " ph" << static_cast<int>(b.phase) << " g" << b.onGround << " " << std::fixed << std::setprecision(6) << b.block.latitude << " " << b.block.longitude << std::setprecision(1) << " hdg " << b.block.heading * kRadToDeg << " tas " << b.block.trueAirspeed << " alt " << b.block.altitude << " d " << std::setprecision(3) << d << "\n";
      }
    }
  }
  if (const char* who = std::getenv("AMB_DUMP")) {
    test::GroundWatch one;
    std::map<std::uint32_t, std::vector<enginesim::RecordedLine>> lines;
    double lat = 0, lon = 0;
    for (const auto& [id, list] : s_watch.blocks)
      if (s_watch.callsigns.at(id) == who) {
        one.blocks[id] = list;
        one.callsigns[id] = who;
        for (const auto& b : list) if (b.onGround) { lat = b.block.latitude; lon = b.block.longitude; }
        const LiveAc* dummy = nullptr; (void)dummy;
      }
    for (const auto& [hexid, l] : s_harness->linesByHexid)
      if (!l.empty() && enginesim::lineField(l.front().text, 9) == who) lines[hexid] = l;
    test::writeGroundMap(std::string("dbg-") + who, one, lines, enginesim::standsNear(s_stands, lat, lon, 0.4), 1);
  }
  for (const auto& p : gf_standinParkPositions()) std::cout << "park " << p.standId << " " << p.hexid << " " << p.fromSpawn << "\n";
}

}  // namespace
}  // namespace amb
