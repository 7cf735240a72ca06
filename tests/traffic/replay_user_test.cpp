// The JFK recording again, with the user aircraft flying low over the airport, both user-collision
// options on and a low QNH: no aircraft is created in the user's way, and the arrivals still land.

#include "enginesim/harness.hpp"
#include "feed/qnh.hpp"
#include "settings/options.hpp"
#include "support/test_support.hpp"
#include "traffic/live_ac.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

namespace amb {
namespace {

using enginesim::EngineHarness;

constexpr std::uint32_t kArrival = 531906288;  // JBU766 A320, lands at JFK
constexpr double kUserLat = 40.6413;
constexpr double kUserLon = -73.7781;
constexpr double kUserAltitude = 813;  // feet; the airport lies at 13 ft
constexpr double kUserHeadingDeg = 220;

// Whether a new aircraft at the position lies in the way of the user aircraft above: on the ground
// within 1.5 nm and 500 ft of its heading line (the user is less than 1000 ft up), in the air within
// 6 nm and 3000 ft with at most 4000 ft along its track, or anywhere within 150 m.
bool lf_inUsersWay(double lat, double lon, double altitude, bool onGround) {
  const LatLon user{kUserLat, kUserLon};
  const double nm = gf_distanceNm(user, {lat, lon});
  const double angle = gf_angleDiff(kUserHeadingDeg * kDegToRad, gf_bearingRad(user, {lat, lon}));
  const double feet = nm * 6076.11549;
  if (nm <= 150.0 / 1852) return true;
  if (onGround) return nm <= 1.5 && std::fabs(std::sin(angle)) * feet <= 500;
  return nm <= 6 && std::fabs(altitude - kUserAltitude) < 3000 && std::fabs(std::cos(angle)) * feet <= 4000;
}

class JfkReplayUserAloft : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                            test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    s_folder = std::make_unique<test::TempDir>("engine-replay-user");
    enginesim::HarnessOptions options;
    options.programFolder = s_folder->path();
    options.userHeadingDeg = kUserHeadingDeg;
    s_harness = std::make_unique<EngineHarness>(options);
    EngineHarness& h = *s_harness;
    h.sim().userOnGroundFlag = false;
    h.sim().user.altitude = kUserAltitude;
    h.sim().user.altAboveGround = kUserAltitude - 13;
    h.sim().user.heading = kUserHeadingDeg * kDegToRad;
    s_air = COLLISION_USER_AIR.value;
    s_gnd = COLLISION_USER_GND.value;
    COLLISION_USER_AIR.value = 1;
    COLLISION_USER_GND.value = 1;
    g_engineQnh = 1005;
    h.follow(kArrival);
    h.schedule(enginesim::readRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz")));
    const std::int32_t end = h.lastLineCycle() + 3000 + 8 * 800 + 2000;
    while (h.cycle() < end) {
      h.run(100);
      for (const LiveAc& ac : g_liveAcs)
        if (ac.heldBack != 0) s_heldBack.insert(ac.hexid);
    }
  }
  static void TearDownTestSuite() {
    COLLISION_USER_AIR.value = s_air;
    COLLISION_USER_GND.value = s_gnd;
    g_engineQnh = 1013;
    s_harness.reset();
    s_folder.reset();
  }

  static inline std::unique_ptr<test::TempDir> s_folder;
  static inline std::unique_ptr<EngineHarness> s_harness;
  static inline std::set<std::uint32_t> s_heldBack;
  static inline std::uint8_t s_air = 0, s_gnd = 0;
};

TEST_F(JfkReplayUserAloft, NoAircraftIsCreatedInTheUsersWay) {
  const auto& objects = s_harness->sim().objects;
  EXPECT_GT(objects.size(), 50u);
  std::size_t inWay = 0;
  for (const auto& [id, o] : objects)
    if (lf_inUsersWay(o.initial.latitude, o.initial.longitude, o.initial.altitude, o.initial.onGround != 0)) {
      ++inWay;
      ADD_FAILURE() << o.callsign << " created in the user's way at " << o.initial.latitude << ","
                    << o.initial.longitude << ", " << o.initial.altitude << " ft";
    }
  EXPECT_EQ(inWay, 0u);
  // The rule was put to work: some aircraft waited.
  EXPECT_FALSE(s_heldBack.empty());
}

// With QNH at or below 1013 an arrival descends straight to the park airport's elevation: it reaches
// the runway and touches down.
TEST_F(JfkReplayUserAloft, ArrivalsLandWithALowQnh) {
  // The object that lands (once landed, it is removed and created again where it taxies).
  const enginesim::SimObject* o = nullptr;
  for (const auto& [id, object] : s_harness->sim().objects)
    if (object.hexid == kArrival && o == nullptr) o = &object;
  ASSERT_NE(o, nullptr);
  std::int32_t touchdown = -1;
  for (const auto& e : s_harness->sim().eventsOf(o->id))
    if (e.eventId == EVT_SPOILERS_SET && e.data == 16383 && touchdown < 0) touchdown = e.cycle;
  ASSERT_GE(touchdown, 0);
  // On its way down it never went below the runway.
  for (const auto& [cycle, block] : o->track) {
    if (cycle > touchdown) break;
    EXPECT_GE(block.altitude, 13.0 - 1.0) << "at cycle " << cycle;
  }
}

}  // namespace
}  // namespace amb
