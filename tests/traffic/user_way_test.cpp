// An aircraft in the air is in the user's way when its track passes within 700 ft of the user (within
// 4 nm and 1000 ft): on either side of the track, coming toward the user or going away.

#include "engine_fixture.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kUser{40.6413, -73.7781};

class UserWay : public EngineTest {};

TEST_F(UserWay, TheTrackPassesTheUserOnEitherSide) {
  const double feet = 2 * kFeetPerNm;
  const LatLon at = gf_destinationPoint(kUser, 0, feet);  // 2 nm north of the user
  for (const double offFeet : {695.0, 705.0}) {
    const double off = std::asin(offFeet / feet);
    // Coming south past either side of the user, or going north away on either side.
    for (const double heading : {kPi + off, kPi - off, off, kTwoPi - off}) {
      SCOPED_TRACE(fmt::format("{} ft off, heading {:.2f} degrees", offFeet, heading * kRadToDeg));
      gf_resetEngine();
      g_engineUserAc.latitude = kUser.lat;
      g_engineUserAc.longitude = kUser.lon;
      g_engineUserAc.altitude = 5000;
      g_engineUserAc.altAboveGround = 3000;
      LiveAc& ac = addInSim(11770001, 460, situation(at.lat, at.lon, 5000, 250, 1 << 30));
      ac.position.heading = heading;
      EXPECT_EQ(gf_removeIfInUserWay(0, ac), offFeet < 700);
    }
  }
}

}  // namespace
}  // namespace amb
