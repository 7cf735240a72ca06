// Low over the ground: the most an aircraft banks by its height, the glide path an approach keeps to
// where no record gives its descent, the least descent on short final, the lowest an aircraft flies
// far from where it comes down, and a landing's lagging altitude.

#include "engine_fixture.hpp"
#include "records/upcalls.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace amb {
namespace {

using test::EngineTest;

constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600;
const LatLon kPark{40.639751, -73.778925};  // the harness's park airport, 13 ft
constexpr double kGround = 13;               // the simulator's ground, feet
constexpr double kCg = 10;                   // the static CG height the simulator answers, feet

LatLon lf_toward(const LatLon& from, double bearingDeg, double nm) {
  return gf_destinationPoint(from, bearingDeg * kDegToRad, nm * kFeetPerNm);
}

class LowFlight : public EngineTest {
protected:
  void TearDown() override { gf_setAirportList(m_savedAirports); }

  // An A321 in the simulator at `at`, `heightFt` above the ground, heading `headingDeg`; its front
  // situation is where it is, due now.
  LiveAc& a321(std::uint32_t objectId, const LatLon& at, double heightFt, double headingDeg = 0, double speedKt = 140) {
    sim().addObject(objectId, 11950000 + objectId, {});
    LiveAc& ac = addInSim(11950000 + objectId, objectId, situation(at.lat, at.lon, kGround + heightFt, speedKt, cycle()));
    ac.position.heading = headingDeg * kDegToRad;
    ac.position.altitude = kGround + kCg + heightFt;
    ac.heightAboveGround = heightFt;
    ac.groundElevation = kGround;
    ac.staticCgHeight = kCg;
    return ac;
  }
  // Appends a record `nm` from the last one along `bearingDeg`, `heightFt` above the ground (0: on
  // it), due when the last one's speed brings the aircraft there.
  static Situation& then(LiveAc& ac, double bearingDeg, double nm, double heightFt, double vs = -700) {
    const Situation& last = ac.situations.back();
    const LatLon to = lf_toward({last.latitude, last.longitude}, bearingDeg, nm);
    const auto cycles = static_cast<std::int32_t>(nm / last.speed * 360000);
    const bool airborne = heightFt > 0;
    Situation s = situation(to.lat, to.lon, airborne ? kGround + heightFt : 0, last.speed, last.due + cycles, airborne);
    s.verticalSpeed = airborne ? vs : 0;
    s.heading = bearingDeg;
    ac.situations.push_back(s);
    return ac.situations.back();
  }
  // The blocks the simulator gets for an object, from now on.
  std::vector<AiPosBlock>& track(std::uint32_t objectId) {
    sim().onPosition = [this, objectId](std::int32_t, const enginesim::SimObject& o, const AiPosBlock& b) {
      if (o.id == objectId) m_blocks.push_back(b);
    };
    return m_blocks;
  }

  std::vector<AiPosBlock> m_blocks;
  std::vector<AirportData> m_savedAirports = g_airports;
};

// The most bank by the height above the ground: the category's from 800 ft up, easing to 15 degrees
// at 500 ft, 15 degrees down to 150 ft, easing to 2 degrees at 50 ft and below; none in the flare,
// the category's on the ground. Worked out by hand: a Large at 650 ft, halfway down the easing,
// 15 + 15 / 2 = 22.5; a Light at 700 ft, 15 + 25 x 2/3; a Large at 100 ft, 2 + 13 / 2 = 8.5.
TEST_F(LowFlight, TheMostBankEasesWithTheHeightAboveTheGround) {
  struct Case {
    int category;
    double heightFt;
    double deg;
    std::uint32_t flareStage = 0;
    bool onGround = false;
  };
  const std::vector<Case> cases{
      {Large, 2000, 30},       {Large, 800, 30},        {Large, 650, 22.5},         {Large, 500, 15},
      {Large, 300, 15},        {Large, 150, 15},        {Large, 100, 8.5},          {Large, 50, 2},
      {Large, 10, 2},          {Light, 700, 15 + 25 * 2.0 / 3},                     {Buzjets, 575, 20},
      {Heavy, 900, 20},        {Heavy, 650, 17.5},      {HighPerf, 800, 90},        {HighPerf, 650, 52.5},
      {Rotorcraft, 650, 45},   {Rotorcraft, 120, 11.1}, {Large, 30, 0, 1},          {Heavy, 1000, 0, 3},
      {Large, 0, 30, 0, true}, {Heavy, 0, 20, 0, true},
  };
  LiveAc& ac = addLive(11950001, "A321", situation(kPark.lat, kPark.lon, 1000, 140, 0));
  for (const Case& c : cases) {
    SCOPED_TRACE(fmt::format("category {} at {} ft, flare {}, on the ground {}", c.category, c.heightFt, c.flareStage,
                             c.onGround));
    ac.category = c.category;
    ac.heightAboveGround = c.heightFt;
    ac.flareStage = c.flareStage;
    ac.movesOnGround = c.onGround ? 1 : 0;
    EXPECT_NEAR(gf_bankLimit(ac) * kRadToDeg, c.deg, 1e-9);
  }
}

// An A321 below 500 ft whose records turn 30 degrees to the right ahead of it, then reach the ground:
// through the turn it never shows more than 15 degrees of bank, and it touches down with its wings
// within 3 degrees of level.
TEST_F(LowFlight, TurningLowItBanksGentlyAndTouchesDownWingsLevel) {
  LiveAc& ac = a321(701, lf_toward(kPark, 180, 1.3), 450);
  ac.landingMode = 1;
  ac.situations.front().verticalSpeed = -700;
  for (const auto& [nm, height] : {std::pair{0.45, 300.0}, std::pair{0.45, 150.0}, std::pair{0.45, 0.0},
                                   std::pair{0.3, 0.0}})
    then(ac, 30, nm, height);
  const std::vector<AiPosBlock>& blocks = track(701);
  run(6000);
  double steepest = 0;
  std::optional<double> touchdownBank;
  for (const AiPosBlock& b : blocks) {
    if (sim().standsOnGround(b)) {
      touchdownBank = b.bank * kRadToDeg;
      break;
    }
    steepest = std::max(steepest, std::fabs(b.bank) * kRadToDeg);
  }
  EXPECT_GT(steepest, 10.0);  // it did turn
  EXPECT_LE(steepest, 15.0 + 1e-9);
  ASSERT_TRUE(touchdownBank.has_value());
  EXPECT_LE(std::fabs(*touchdownBank), 3.0);
}

// A bank the feed reports is held to the most bank at the height every cycle, not only when a leg is
// planned: an A321 on a straight final whose records report 10 degrees of roll shows no more than
// 5.9 degrees below 65 ft, the most at 80 ft (the simulator reports the height once a second).
TEST_F(LowFlight, ABankTheFeedReportsIsHeldToTheMostBankAtTheHeight) {
  LiveAc& ac = a321(702, lf_toward(kPark, 180, 1.0), 300);
  ac.landingMode = 1;
  ac.situations.front().verticalSpeed = -700;
  for (const double height : {220.0, 140.0, 60.0, 0.0, 0.0}) {
    Situation& s = then(ac, 0, 0.2, height);
    if (height > 0) {
      s.feedBank = -10 * kDegToRad;
      s.feedBankGiven = 1;
    }
  }
  const std::vector<AiPosBlock>& blocks = track(702);
  run(4000);
  double steepest = 0;
  for (const AiPosBlock& b : blocks)
    if (!sim().standsOnGround(b) && b.altitude - kGround - kCg < 65) steepest = std::max(steepest, std::fabs(b.bank) * kRadToDeg);
  EXPECT_LE(steepest, 5.9);
}

// The 3-degree glide path: tan 3 x 6076.1 ft a nautical mile, 318.4 ft a mile; at 140 kt 743.0 ft/min,
// at 100 kt 530.7 (0.0885 ft a cycle). A descent no record gives is held to it below 1,500 ft above the
// ground. On short final (500 ft and below) an aeroplane comes down at least at 600 ft/min, or at the
// glide path's rate at the speed it flies (before it flies one, its front record's) where that is
// shallower; a helicopter comes down as its records do.
TEST_F(LowFlight, TheGlidePathWithoutRecordsAndTheLeastDescentOnShortFinal) {
  EXPECT_NEAR(gf_glidePathFpm(140), -743.02, 0.01);
  EXPECT_NEAR(gf_glidePathFpm(100), -530.73, 0.01);
  LiveAc& ac = addLive(11950002, "A321", situation(kPark.lat, kPark.lon, 1000, 100, 0));
  for (const auto& [heightFt, fpm, kt, expected] : std::vector<std::array<double, 4>>{
           {1600, -1200, 140, -1200}, {1500, -1200, 140, -743.02}, {1000, -500, 140, -500}, {300, -1200, 100, -530.73}}) {
    ac.heightAboveGround = heightFt;
    EXPECT_NEAR(lf_noSteeperThanGlidePath(ac, fpm, kt), expected, 0.01) << heightFt << " ft, " << fpm << " ft/min";
  }
  struct Case {
    const char* what;
    int category;
    double heightFt, flownKt, step, expected;
  };
  const std::vector<Case> cases{
      {"above short final", Large, 510, 140, -0.01, -0.01},
      {"at 500 ft, 140 kt", Large, 500, 140, -0.01, -0.1},
      {"at 300 ft, 100 kt", Large, 300, 100, -0.01, -530.73 / 6000},
      {"a steeper step", Large, 300, 140, -0.3, -0.3},
      {"not yet flying its own speed, 100 kt reported", Large, 300, -1, -0.01, -530.73 / 6000},
      {"a helicopter", Rotorcraft, 300, 60, -0.01, -0.01},
  };
  for (const Case& c : cases) {
    ac.category = c.category;
    ac.heightAboveGround = c.heightFt;
    ac.airPath.speedMps = c.flownKt < 0 ? -1 : c.flownKt * kMetresPerSecondPerKnot;
    EXPECT_NEAR(lf_approachStep(ac, c.step), c.expected, 1e-6) << c.what;
  }
}

// The recording's DAL9936: its feed freezes 600 ft above the ground 1.6 nm before the runway while it
// comes down at 1,100 ft/min. At the 1,000 ft/min the synthetic legs take from such records it would
// be down 1.3 nm on (0.6 min at 126 kt), short of the runway; no steeper than the glide path it
// needs 1.9 nm from 600 ft, and touches down beyond the threshold.
TEST_F(LowFlight, AnApproachTheFeedFreezesOnTouchesDownBeyondTheThreshold) {
  const LatLon frozen = lf_toward(kPark, 180, 1.6);
  LiveAc& ac = a321(720, lf_toward(frozen, 180, 0.3), 700);
  ac.landingMode = 1;
  ac.situations.front().verticalSpeed = -1100;
  Situation& last = then(ac, 0, 0.3, 600, -1100);
  ASSERT_NEAR(gf_distanceNm(frozen, {last.latitude, last.longitude}), 0, 1e-6);
  const std::vector<AiPosBlock>& blocks = track(720);
  run(9000);
  const auto down = std::find_if(blocks.begin(), blocks.end(), [&](const AiPosBlock& b) { return sim().standsOnGround(b); });
  ASSERT_NE(down, blocks.end());
  EXPECT_GE(gf_distanceNm(frozen, {down->latitude, down->longitude}), 1.6);
}

// A light aircraft comes into its landing configuration only below 625 ft. Above it, 650 ft up and
// 2.5 nm short of the park airport at 130 kt, records that hold its altitude while their own vertical
// speed says -832 ft/min are the feed's altitude lagging: it goes on down at the glide path's
// 690 ft/min (tan 3 deg x 6,076 ft x 130 kt / 60; flying straight at the field, the 563 ft/min that
// bring it down by the field are shallower), 115 ft in 10 s, and never back up. Flying away from the
// field it is not coming in: it comes down no lower than the records' altitude.
TEST_F(LowFlight, ALightAircraftAboveItsLandingConfigurationGoesOnDownThroughAHeldAltitude) {
  for (const double headingDeg : {0.0, 180.0}) {
    SCOPED_TRACE(headingDeg);
    gf_resetEngine();
    LiveAc& ac = a321(750, lf_toward(kPark, 180, 2.5), 650, headingDeg, 130);
    ac.category = Light;
    ac.situations.front().verticalSpeed = -832;
    ac.situations.front().heading = headingDeg;
    then(ac, headingDeg, 0.6, 650, -832);
    m_blocks.clear();
    const std::vector<AiPosBlock>& blocks = track(750);
    run(1000);
    ASSERT_GE(blocks.size(), 900u);
    double highest = 0;
    for (std::size_t i = 1; i < blocks.size(); ++i)
      highest = std::max(highest, blocks[i].altitude - blocks[i - 1].altitude);
    EXPECT_LE(highest, 1e-9);
    const double descended = blocks.front().altitude - blocks.back().altitude;
    if (headingDeg == 0.0) {
      EXPECT_GT(descended, 90);
      EXPECT_LT(descended, 130);
    } else {
      EXPECT_GE(blocks.back().altitude, kGround + 650 - 1e-6);
    }
  }
}

// Far from where it comes down (1.5 nm from its first record on the ground, else 2.5 nm from the
// nearest field within 10 nm, the park airport's or the list's), an aeroplane at 300 ft or lower
// stays 150 ft above the ground (163 ft here); near it, with no field near, higher up, on the ground,
// landed, rolling for take-off or a helicopter, nothing holds it up.
TEST_F(LowFlight, FarFromWhereItComesDownAnAeroplaneStays150FeetUp) {
  const AirportData lga{"KLGA", "LGA", 40.7772, -73.8726, 21};  // 9.28 nm from the park airport
  gf_setAirportList({lga});
  const LatLon towardLga = lf_toward({lga.lat, lga.lon}, gf_bearingRad({lga.lat, lga.lon}, kPark) * kRadToDeg, 2);
  const LatLon beyondLga = lf_toward({lga.lat, lga.lon}, gf_bearingRad(kPark, {lga.lat, lga.lon}) * kRadToDeg, 3);
  struct Case {
    const char* what;
    LatLon at;
    double heightFt = 250;
    std::optional<double> groundRecordNm;  // a record on the ground this far north of it
    std::optional<double> lowest;
    int category = Large;
    bool landed = false, onGround = false;
    GroundPhase phase = GroundPhase::Airborne;
  };
  const std::optional<double> none;
  const std::vector<Case> cases{
      {"2.6 nm from the park airport", lf_toward(kPark, 180, 2.6), 250, none, 163},
      {"2.4 nm from the park airport", lf_toward(kPark, 180, 2.4), 250, none, none},
      {"at 300 ft", lf_toward(kPark, 180, 3), 300, none, 163},
      {"at 310 ft", lf_toward(kPark, 180, 3), 310, none, none},
      {"1.6 nm from its ground record", lf_toward(kPark, 180, 3), 250, 1.6, 163},
      {"1.4 nm from its ground record", lf_toward(kPark, 180, 3), 250, 1.4, none},
      {"2 nm from its ground record, 1 nm from the field", lf_toward(kPark, 180, 1), 250, 2.0, 163},
      {"12 nm from any field", lf_toward(kPark, 180, 12), 250, none, none},
      {"2 nm from a field of the list, 7.3 nm from the park airport", towardLga, 250, none, none},
      {"3 nm from a field of the list, 12.3 nm from the park airport", beyondLga, 250, none, 163},
      {"a helicopter", lf_toward(kPark, 180, 3), 250, none, none, Rotorcraft},
      {"landed", lf_toward(kPark, 180, 3), 250, none, none, Large, true},
      {"on the ground", lf_toward(kPark, 180, 3), 250, none, none, Large, false, true},
      {"rolling for take-off", lf_toward(kPark, 180, 3), 250, none, none, Large, false, false, GroundPhase::TakeOffRoll},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = a321(730, c.at, c.heightFt);
    if (c.groundRecordNm) then(ac, 0, *c.groundRecordNm, 0);
    ac.category = c.category;
    ac.landed = c.landed ? 1 : 0;
    ac.movesOnGround = c.onGround ? 1 : 0;
    ac.setPhase(c.phase);
    const std::optional<double> lowest = gf_lowestInTheAir(ac);
    ASSERT_EQ(lowest.has_value(), c.lowest.has_value());
    if (c.lowest) {
      EXPECT_NEAR(*lowest, *c.lowest, 1e-9);
    }
  }
  // The step holds it there: far off it stops at 163 ft and no longer descends; near the field it
  // goes on down.
  for (const auto& [nm, after] : {std::pair{3.0, 163.0}, std::pair{1.0, 160.0}}) {
    SCOPED_TRACE(nm);
    gf_resetEngine();
    LiveAc& ac = a321(731, lf_toward(kPark, 180, nm), 142);
    ac.altitudeStep = -5;
    lf_curveStep(ac);
    EXPECT_NEAR(ac.position.altitude, after, 1e-9);
    EXPECT_EQ(ac.altitudeStep >= 0, nm > 2);
  }
}

// The airport list holds every airport of the simulator: an aircraft low in the air, asked every
// cycle how low it may fly, searches it once a second, not every cycle.
TEST_F(LowFlight, LowInTheAirTheAirportListIsSearchedOnceASecond) {
  static int searches = 0;
  searches = 0;
  const auto saved = up::airports::gf_airportNear;
  up::airports::gf_airportNear = [](const LatLon&, double) -> std::optional<AirportData> {
    ++searches;
    return std::nullopt;
  };
  LiveAc& ac = a321(760, lf_toward(kPark, 180, 3), 250);
  for (int i = 0; i < 250; ++i) {
    gf_lowestInTheAir(ac);
    run(1);
  }
  up::airports::gf_airportNear = saved;
  EXPECT_GE(searches, 2);
  EXPECT_LE(searches, 4);
}

// On an approach (1,000 ft or lower above the ground) a record above the aircraft whose own vertical
// speed descends is the feed's altitude lagging while it lies no more than half a minute of that
// descent above, and never less than 150 ft: the aircraft goes on down. Farther above, it climbs back
// to it, at no more than the A321's 0.6 ft a cycle. Above 1,000 ft it climbs to any record above, and
// no leg descends steeper than the A321's 0.9 ft a cycle.
TEST_F(LowFlight, ALandingsLaggingAltitudeIsNoClimbOnlyWithinHalfAMinutesDescent) {
  struct Case {
    const char* what;
    double aboveFt, vs, heightFt;
    std::int32_t dueCycles;
    double least, most;  // the altitude step, feet a cycle
  };
  const std::vector<Case> cases{
      {"380 ft above at -768 ft/min", 380, -768, 269, 1000, -0.9, -1e-9},
      {"390 ft above at -768 ft/min", 390, -768, 269, 1000, 0.39, 0.39},
      {"145 ft above at -200 ft/min", 145, -200, 269, 1000, -0.9, -1e-9},
      {"160 ft above at -200 ft/min", 160, -200, 269, 1000, 0.16, 0.16},
      {"390 ft above at -768 ft/min, due in 3 s", 390, -768, 269, 300, 0.6, 0.6},
      {"100 ft above at -768 ft/min, 1,100 ft up", 100, -768, 1100, 1000, 0.1, 0.1},
      {"300 ft below, due in a second", -300, -768, 269, 100, -0.9, -0.9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = a321(740, kPark, c.heightFt);
    ac.landingMode = 1;
    Situation& front = ac.situations.front();
    front.altitude = ac.position.altitude - 60;
    front.verticalSpeed = -667;
    ac.situations.push_back(situation(kPark.lat + 0.01, kPark.lon, ac.position.altitude + c.aboveFt, 140, cycle() + c.dueCycles));
    ac.situations.back().verticalSpeed = c.vs;
    ASSERT_NEAR(ac.maxClimbPerCycle(), 0.6, 1e-12);
    lf_planAirLeg(ac);
    EXPECT_GE(ac.altitudeStep, c.least - 1e-9);
    EXPECT_LE(ac.altitudeStep, c.most + 1e-9);
  }
}

// Lined up with the field it comes down at (within 1 nm to the side), on or above the glide path down
// to the field's reference point (318.4 ft a nautical mile: 477.6 ft at 1.5 nm; any height once past
// it), an aircraft in landing mode whose records descend goes on down though they lie 500 ft above
// it, more than half a minute of their 768 ft/min: they trail it. Below the glide path, with the field
// off to the side or out of landing mode it climbs back to them, 500 ft over 1000 cycles. The field it
// comes down at is the airport the feed gives as its destination (by IATA or ICAO code) when that
// lies within 10 nm, else the one its approach began at.
TEST_F(LowFlight, LinedUpOnOrAboveTheGlidePathItIsNotTooLowForItsRecords) {
  struct Case {
    const char* what;
    double fieldBearingDeg, fieldNm, heightFt;
    bool landing;
    const char* destination;
    double destinationNm;  // straight ahead
    bool climbs;
  };
  const std::vector<Case> cases{
      {"1.5 nm out, 500 ft", 0, 1.5, 500, true, "", 0, false},
      {"1.5 nm out, 460 ft", 0, 1.5, 460, true, "", 0, true},
      {"0.3 nm past the field's middle, 200 ft", 180, 0.3, 200, true, "", 0, false},
      {"2 nm off, 40 degrees to the right (1.29 nm aside), 600 ft", 40, 2, 600, true, "", 0, true},
      {"1.5 nm out, 500 ft, not in landing mode", 0, 1.5, 500, false, "", 0, true},
      {"the field aside, bound for an airport 1.5 nm ahead, 500 ft", 40, 2, 500, true, "LGA", 1.5, false},
      {"the same, its destination given by its ICAO code", 40, 2, 500, true, "KLGA", 1.5, false},
      {"the field aside, the destination 12 nm ahead", 40, 2, 500, true, "LGA", 12, true},
      {"the field aside, bound for an airport not in the list", 40, 2, 500, true, "ORD", 1.5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    const LatLon at = lf_toward(kPark, 180, 5);
    LiveAc& ac = a321(745, at, c.heightFt);
    const LatLon field = lf_toward(at, c.fieldBearingDeg, c.fieldNm);
    const LatLon bound = lf_toward(at, 0, c.destinationNm);
    gf_setAirportList({AirportData{"KLGA", "LGA", bound.lat, bound.lon, kGround}});
    ac.destination = c.destination;
    ac.landingMode = c.landing ? 1 : 0;
    ac.landingField = AirportData{"KFLD", "", field.lat, field.lon, kGround};
    Situation& front = ac.situations.front();
    front.altitude = ac.position.altitude - 60;
    front.verticalSpeed = -667;
    const LatLon next = lf_toward(at, 0, 0.6);
    ac.situations.push_back(situation(next.lat, next.lon, ac.position.altitude + 500, 140, cycle() + 1000));
    ac.situations.back().verticalSpeed = -768;
    lf_planAirLeg(ac);
    if (c.climbs)
      EXPECT_NEAR(ac.altitudeStep, 0.5, 1e-9);
    else
      EXPECT_LT(ac.altitudeStep, 0);
  }
}

}  // namespace
}  // namespace amb
