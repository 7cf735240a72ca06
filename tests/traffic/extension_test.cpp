// Synthetic situations appended when a stream ends: a take-off run that goes on, a landing that goes
// on down, a roll that climbs, an aircraft that stays on its stand; how many an aircraft gets.

#include "engine_fixture.hpp"

#include "airports/services.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"

namespace amb {
namespace {

using test::EngineTest;

const LatLon kAt{40.6413, -73.7781};

class Extension : public EngineTest {
protected:
  LiveAc& at(double altitude, double speed, bool ground) {
    LiveAc& ac = addInSim(11990500, 1600, situation(kAt.lat, kAt.lon, altitude, speed, 4000, !ground));
    ac.movesOnGround = ground ? 1 : 0;
    ac.position.heading = 0;
    return ac;
  }
};

// A take-off run goes on faster: up to 30 kt as it is, to 60 kt at 80, to 100 at 110, to 140 at 150
// climbing 600 ft/min, to 160 at 170 climbing 1200, beyond at 180 climbing 2400.
TEST_F(Extension, ATakeOffRunGoesOnFaster) {
  struct Case {
    double from, to, vs;
  };
  for (const Case& c : std::vector<Case>{{30, 30, 0},
                                         {31, 80, 0},
                                         {60, 80, 0},
                                         {61, 110, 0},
                                         {100, 110, 0},
                                         {101, 150, 600},
                                         {140, 150, 600},
                                         {141, 170, 1200},
                                         {160, 170, 1200},
                                         {161, 180, 2400}}) {
    SCOPED_TRACE(c.from);
    gf_resetEngine();
    LiveAc& ac = at(0, c.from, true);
    ac.setPhase(GroundPhase::Taxi);
    ac.takeOffPending = 1;
    lf_appendWaitSituations(ac, 10);
    ASSERT_EQ(ac.situations.size(), 2u);
    const Situation& s = ac.situations[1];
    EXPECT_DOUBLE_EQ(s.speed, c.to);
    EXPECT_DOUBLE_EQ(s.verticalSpeed, c.vs);
    EXPECT_EQ(s.due, 4300);
    EXPECT_NEAR(gf_distanceNm(kAt, {s.latitude, s.longitude}), c.to * 3 / 3600, 1e-9);
  }
}

// On an approach without a flare yet, the stream goes on down at 667 ft/min (10.005 ft a second for
// 8 seconds), no lower than the ground; in the take-off roll it climbs 1500 ft/min (25 ft a second).
TEST_F(Extension, ALandingGoesOnDownAndARollGoesOnUp) {
  for (const auto& [altitude, after] : {std::pair{100.0, 100 - 80.04}, std::pair{50.0, 0.0}}) {
    SCOPED_TRACE(altitude);
    gf_resetEngine();
    LiveAc& ac = at(altitude, 140, false);
    ac.landingMode = 1;
    lf_appendWaitSituations(ac, 3);
    const Situation& s = ac.situations[1];
    EXPECT_DOUBLE_EQ(s.verticalSpeed, -667);
    EXPECT_NEAR(s.altitude, after, 1e-9);
    EXPECT_EQ(s.airborne, after > 0 ? 1 : 0);
    EXPECT_DOUBLE_EQ(s.speed, 140);  // fewer than four left: the speed holds
  }
  // With four left the speed still comes down: by a tenth on the approach.
  gf_resetEngine();
  LiveAc& four = at(100, 140, false);
  four.landingMode = 1;
  lf_appendWaitSituations(four, 4);
  EXPECT_DOUBLE_EQ(four.situations[1].speed, 126);
  gf_resetEngine();
  LiveAc& ac = at(13, 150, true);
  ac.setPhase(GroundPhase::TakeOffRoll);
  ac.landed = 1;
  lf_appendWaitSituations(ac, 10);
  const Situation& s = ac.situations[1];
  EXPECT_DOUBLE_EQ(s.verticalSpeed, 1500);
  EXPECT_DOUBLE_EQ(s.altitude, 13 + 75);
}

// The recording's CL35 coming in to Teterboro (9 ft): the feed holds its last airborne position,
// 675 ft at -832 ft/min, for minutes. Not yet in its landing configuration (a light aircraft's begins
// at 625 ft), it goes on down to land before its stream ends in the air, but below 1,500 ft above
// the ground no steeper than a 3-degree glide path at the legs' 121.6 kt (128 kt less a twentieth):
// 318.4 ft a nautical mile, 645.3 ft/min, 86.0 ft a leg of 8 s, both from -832 ft/min and -1,500
// ft/min, where that brings it down before it is abeam the field's reference point. From 666 ft
// above the ground 1.026 nm before that point (0.0171 degrees of latitude north of it, heading south,
// 0.118 nm aside) it would need 666 ft in 0.506 min, 1,316 ft/min, to be down there: it comes down
// at the steepest approach instead, two glide paths (6 degrees, 1,290.7 ft/min, 172.1 ft a leg).
// Banked more than 5 degrees it is turning, not lined up with a runway: the glide path holds. At
// 190 kt it is not on a final: its records' 832 ft/min holds, shallower than the glide path at that
// speed (1,008.4 ft/min), 110.9 ft a leg. Nor at 166.25 kt (175 kt less a twentieth; the glide path
// 882.3 ft/min there); at 156.75 kt it is, and comes down at two glide paths of that speed (1,663.8
// ft/min). From 200 ft 0.22 nm before abeam the reference point it needs 1,842 ft/min and takes 6
// degrees; 0.17 nm before it, it is over the field and the glide path holds. Higher up in its
// landing configuration it descends as its records came, 110.9 ft a leg, and steeper records are
// taken at 1,000 ft/min at most. Far from the field, or with records that level off, it flies on
// level.
TEST_F(Extension, AnArrivalTheFeedFallsSilentOnGoesOnDown) {
  const std::vector<AirportData> saved = g_airports;
  gf_setAirportList({AirportData{"KTEB", "TEB", 40.8501, -74.0608, 9}});
  struct Case {
    double lat, vs, heightFt, after, bankDeg = 0, speedKt = 128;
  };
  const double glideFpm = std::tan(3 * kDegToRad) * kFeetPerNm * 121.6 / 60;
  const double glide = 675 - glideFpm * 8 / 60;
  const double steepest = 675 - 2 * glideFpm * 8 / 60;
  for (const Case& c : std::vector<Case>{{40.8672, -832, 200, glide},
                                         {40.8672, -832, 666, steepest},
                                         {40.8672, -1500, 666, steepest},
                                         {40.8672, -832, 666, steepest, 4.5},
                                         {40.8672, -832, 666, glide, 5.5},
                                         {40.8672, -832, 666, 675 - 832.0 / 60 * 8, 0, 200},
                                         {40.8672, -832, 666, 675 - 2 * glideFpm * 156.75 / 121.6 * 8 / 60, 0, 165},
                                         {40.8672, -832, 666, 675 - 832.0 / 60 * 8, 0, 175},
                                         {40.8501 + 0.22 / 60, -832, 200, steepest},
                                         {40.8501 + 0.17 / 60, -832, 200, glide},
                                         {40.8672, -832, 1600, 675 - 832.0 / 60 * 8},
                                         {40.8672, -1500, 1600, 675 - 1000.0 / 60 * 8},
                                         {40.8672, -100, 666, 675},
                                         {41.2000, -832, 666, 675}}) {
    SCOPED_TRACE(fmt::format("{} {} {} {} {}", c.lat, c.vs, c.heightFt, c.bankDeg, c.speedKt));
    gf_resetEngine();
    Situation last = situation(c.lat, -74.0582, 675, c.speedKt, 4000);
    last.verticalSpeed = c.vs;
    LiveAc& ac = addInSim(11990510, 1601, last, "C750");
    ac.category = Light;
    ac.position.heading = kPi;
    ac.position.bank = c.bankDeg * kDegToRad;
    ac.heightAboveGround = c.heightFt;
    ac.landingMode = c.heightFt > 1000 ? 1 : 0;
    lf_appendWaitSituations(ac, 8);
    ASSERT_EQ(ac.situations.size(), 2u);
    EXPECT_NEAR(ac.situations[1].altitude, c.after, 0.1);
    EXPECT_EQ(ac.situations[1].airborne, 1);
  }
  gf_setAirportList(saved);
}

// Coming in to land the synthetic legs slow by a tenth each, but no slower than the aircraft flies
// until it is down (nine tenths of the speed last reported in the air, 160 kt at most: DAL1439's
// 212 kt is its approach's start): slower legs would lie behind it, and it would run out of them in
// the air.
TEST_F(Extension, AnApproachsLegsAreNoSlowerThanItsApproach) {
  for (const auto& [reported, least] : {std::pair{170.0, 153.0}, std::pair{212.0, 160.0}}) {
    SCOPED_TRACE(reported);
    gf_resetEngine();
    LiveAc& ac = at(1800, 112, false);
    ac.landingMode = 1;
    ac.airPath.approachMps = reported * 1852.0 / 3600;
    lf_appendWaitSituations(ac, 4);
    EXPECT_NEAR(ac.situations[1].speed, least, 1e-9);
  }
}

// At its stand an aircraft gets one synthetic situation, a week later, and its stand counts as free
// for others meanwhile.
TEST_F(Extension, AnAircraftOnItsStandStaysAWeek) {
  Stand stand;
  stand.id = 9;
  stand.name = "S9";
  stand.lat = kAt.lat;
  stand.lon = kAt.lon;
  stand.occupied = 1;
  g_stands = {stand};
  LiveAc& ac = at(0, 0, true);
  ac.setPhase(GroundPhase::AtStand);
  ac.standId = 9;
  ASSERT_TRUE(lf_extendStream(ac));
  EXPECT_EQ(ac.extensionCount, 1);
  ASSERT_EQ(ac.situations.size(), 2u);
  EXPECT_EQ(ac.situations[1].due, 4000 + 7 * 24 * 3600 * 100);
  EXPECT_EQ(ac.situations[1].noMovement, 1u);
  EXPECT_EQ(g_stands[0].occupied, 0u);
  g_stands.clear();
}

// In the air with the range held at 10 nm by the automatic range, a stream that ends is not
// extended; at 11 nm it is.
TEST_F(Extension, TheAutomaticRangeAtTenMilesExtendsNothing) {
  const std::uint8_t autoRange = AUTO_RANGE.value;
  const double radiusBefore = g_radiusNm.load();
  AUTO_RANGE.value = 1;
  for (const auto& [radius, extended] : {std::pair{10, false}, std::pair{11, true}}) {
    SCOPED_TRACE(radius);
    gf_resetEngine();
    g_radiusNm = static_cast<double>(radius);
    LiveAc& ac = at(5000, 250, false);
    EXPECT_EQ(lf_extendStream(ac), extended);
  }
  AUTO_RANGE.value = autoRange;
  g_radiusNm = radiusBefore;
}

// In the air, an aircraft whose stream ends more than half a mile inside the radius flies on.
TEST_F(Extension, InTheAirOnlyAircraftWellInsideTheRadiusFlyOn) {
  for (const auto& [nm, extended] : {std::pair{39.48, true}, std::pair{39.52, false}}) {
    SCOPED_TRACE(nm);
    gf_resetEngine();
    g_engineUserAc.latitude = kAt.lat;
    g_engineUserAc.longitude = kAt.lon;
    LiveAc& ac = at(5000, 250, false);
    const LatLon far = gf_destinationPoint(kAt, 0, nm * kFeetPerNm);
    ac.position.latitude = ac.situations[0].latitude = far.lat;
    ac.position.longitude = ac.situations[0].longitude = far.lon;
    ASSERT_DOUBLE_EQ(g_radiusNm.load(), 40);
    EXPECT_EQ(lf_extendStream(ac), extended);
  }
}

}  // namespace
}  // namespace amb
