// An aircraft in the air is in the user's way when its track passes within 700 ft of the user (within
// 4 nm and 1000 ft): on either side of the track, coming toward the user or going away. On the ground
// one taxiing within 1.15 times the two half spans of the user goes, and a parked one within 1.1.

#include "engine_fixture.hpp"

#include "sim/services.hpp"
#include "traffic/services.hpp"

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

TEST_F(UserWay, AircraftOnTheGroundTooCloseToTheUserGo) {
  const double halfSpans = 0.01 + 0.012;
  g_userHalfWingspan = 0.01;
  struct Case {
    double factor;
    bool parked, removed;
  };
  double east = 0;
  for (const Case& c :
       std::vector<Case>{{1.14, false, true}, {1.16, false, false}, {1.09, true, true}, {1.11, true, false}}) {
    SCOPED_TRACE(fmt::format("{} {}", c.parked ? "parked" : "taxiing", c.factor));
    gf_resetEngine();
    // The user stands somewhere new each time: parked aircraft are checked when the user has moved.
    const LatLon user = gf_destinationPoint(kUser, kPi / 2, (east += 100));
    g_engineUserAc.latitude = user.lat;
    g_engineUserAc.longitude = user.lon;
    const LatLon at = gf_destinationPoint(user, 0, c.factor * halfSpans * kFeetPerNm);
    if (c.parked) {
      AcIdentity id;
      id.model = "B738";
      id.callsign = "PARK2";
      g_parkedActs.emplace_back(AcData(id), 0, ActPosition{at.lat, at.lon, 0}, 0);
      Act& parked = g_parkedActs.back();
      parked.hexid = 500;
      parked.state = ActState::InSim;
      parked.objectId = 470;
      parked.halfWingspan = 0.012;
      gf_removeNearUserOnGround();
      EXPECT_EQ(parked.state == ActState::Removing, c.removed);
    } else {
      LiveAc& ac = addInSim(11770002, 471, situation(at.lat, at.lon, 0, 10, 1 << 30, false));
      ac.halfWingspan = 0.012;
      gf_removeNearUserOnGround();
      EXPECT_EQ(ac.state == ActState::Removing, c.removed);
    }
  }
  g_userHalfWingspan = 0;
}

}  // namespace
}  // namespace amb
