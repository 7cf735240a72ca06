// What the engine's cycle asks of the simulator and when: the objects around it within the radius and
// 2 nm more, the user aircraft once a second, the fast pace of those requests only while a flare runs.

#include "engine_fixture.hpp"

#include "settings/settings.hpp"
#include "sim/services.hpp"

namespace amb {
namespace {

using test::EngineTest;

class Cycle : public EngineTest {};

TEST_F(Cycle, TheObjectsAroundAreAskedForWithinTheRadiusAndTwoMilesMore) {
  run(1);
  ASSERT_GE(sim().nearbyRequests, 1u);
  EXPECT_EQ(sim().nearbyRadius, g_radiusMeters.load() + 3704);
  EXPECT_EQ(gf_nearbyRadiusMeters(), g_radiusMeters.load() + 3704);
}

// The user aircraft is asked for on every hundredth cycle.
TEST_F(Cycle, TheUserAircraftIsAskedForOnceASecond) {
  run(1);
  sim().user.groundSpeed = 7;
  run(98);  // cycles 1 to 98
  EXPECT_NE(g_engineUserGroundSpeed.load(), 7);
  run(1);  // cycle 99
  EXPECT_NE(g_engineUserGroundSpeed.load(), 7);
  run(1);  // cycle 100
  EXPECT_EQ(g_engineUserGroundSpeed.load(), 7);
}

// The fast pace ends on the next twentieth cycle once no aircraft flares.
TEST_F(Cycle, TheFastPaceEndsOnTheTwentiethCycleAfterTheLastFlare) {
  run(1);
  g_fastRange = 1;
  run(19);  // cycles 1 to 19
  EXPECT_EQ(g_fastRange, 1);
  run(1);  // cycle 20
  EXPECT_EQ(g_fastRange, 0);
}

}  // namespace
}  // namespace amb
