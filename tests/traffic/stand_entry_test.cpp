// The way onto a stand: a curve that leaves along the nose and enters along the stand's heading, a
// straight way in, backing onto a stand just passed, and the two positions that end the stream there.

#include "engine_fixture.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kAt{40.6413, -73.7781};
constexpr double kFeetPerMetre = 1 / 0.3048;

class StandEntry : public EngineTest {
protected:
  // A taxiing aircraft at kAt, nose north, pushed at 4 kt.
  LiveAc& taxiing(std::uint32_t objectId = 1500) {
    LiveAc& ac = addInSim(11990000 + objectId, objectId, situation(kAt.lat, kAt.lon, 0, 10, cycle() + 1000, false));
    ac.position.heading = 0;
    ac.pushBackSpeed() = 4;
    ac.halfWingspan = 0.01;
    ac.setPhase(GroundPhase::Taxi);
    return ac;
  }
  // The point `north` and `east` metres from kAt.
  static LatLon metres(double north, double east) {
    const LatLon n = gf_destinationPoint(kAt, 0, north * kFeetPerMetre);
    return gf_destinationPoint(n, kPi / 2, east * kFeetPerMetre);
  }
  static Stand standAt(const LatLon& at, double headingDeg) {
    Stand s;
    s.id = 7;
    s.name = "S7";
    s.lat = at.lat;
    s.lon = at.lon;
    s.heading = headingDeg * kDegToRad;
    s.radiusNm = 0.02;
    return s;
  }
};

// The entry curve runs through the point where the nose's line meets the entry line, when that point
// lies more than a fifth of the chord from both ends; headings more than 120 degrees apart, or
// within a few hundredths of a degree of parallel, have none; nor has a chord under a metre.
TEST_F(StandEntry, AnEntryCurveMeetsTheEntryLineAlongTheNose) {
  struct Case {
    const char* what;
    double north, east, entryDeg;
    bool curve;
    double meetNorth;
  };
  const std::vector<Case> cases{
      {"a quarter turn", 70, 70, 90, true, 70},
      {"meeting 0.195 of the chord along", 19.5, 98.08, 90, false, 0},
      {"meeting 0.205 of the chord along", 20.5, 97.876, 90, true, 20.5},
      {"entering 0.195 of the chord before", 98.08, 19.5, 90, false, 0},
      {"entering 0.205 of the chord before", 97.876, 20.5, 90, true, 97.876},
      {"119 degrees", 50 + 50 * std::cos(119 * kDegToRad), 50 * std::sin(119 * kDegToRad), 119, true, 50},
      {"121 degrees", 50 + 50 * std::cos(121 * kDegToRad), 50 * std::sin(121 * kDegToRad), 121, false, 0},
      {"0.04 degrees apart", 100, 100 * std::tan(0.02 * kDegToRad), 0.04, false, 0},
      {"0.1 degrees apart", 100, 100 * std::tan(0.05 * kDegToRad), 0.1, true, 50},
      {"0.97 m", 0.6859, 0.6859, 90, false, 0},
      {"1.03 m", 0.7283, 0.7283, 90, true, 0.7283},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = taxiing();
    const bool curve = lf_startEntryCurve(ac, metres(c.north, c.east), c.entryDeg * kDegToRad);
    EXPECT_EQ(curve, c.curve);
    if (curve && c.curve) {
      EXPECT_NEAR(ac.curve.middleNorth, c.meetNorth, c.entryDeg < 1 ? 2.0 : 0.05);
      EXPECT_NEAR(ac.curve.middleEast, 0, 1e-6);
      EXPECT_NEAR(ac.curveAngle, c.entryDeg, 1e-6);
    }
  }
}

// Without an entry curve: a way in within 45 degrees of both the nose and the stand's heading is
// driven straight; one more than 10 degrees off the nose starts along the nose.
TEST_F(StandEntry, WithoutAnEntryCurveTheWayInIsStraightOrLeadsIn) {
  struct Case {
    const char* what;
    double courseDeg, standDeg;
    bool curve;
    double metres = 50;
  };
  // The stand 50 m away on the course, its heading between the nose and the course or too near the
  // course: the two lines do not meet well ahead of both ends, and no entry curve fits.
  for (const Case& c : std::vector<Case>{{"44 degrees off the nose", 44, 20, false},
                                         {"46 degrees off the nose", 46, 20, true},
                                         {"9 degrees off the nose, 50 off the stand", 9, 319, false},
                                         {"11 degrees off the nose, 50 off the stand", 11, 321, true},
                                         {"11 degrees off the nose, 1.03 m", 11, 321, true, 1.03},
                                         {"11 degrees off the nose, 0.97 m", 11, 321, false, 0.97}}) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = taxiing();
    const LatLon to = gf_destinationPoint(kAt, c.courseDeg * kDegToRad, c.metres * kFeetPerMetre);
    const Stand stand = standAt(to, c.standDeg);
    ASSERT_FALSE(lf_startEntryCurve(ac, to, stand.heading));
    EXPECT_EQ(lf_startStandCurve(ac, stand), c.curve);
  }
}

// On the leg onto the stand, where no curve fits a way in within 45 degrees of both the nose and the
// stand's heading, the nose comes round to the stand's heading on the way; otherwise it steers along
// the leg.
TEST_F(StandEntry, OnTheLegOntoTheStandTheNoseComesRoundToTheStand) {
  struct Case {
    const char* what;
    double courseDeg, metres, standDeg, bearingDeg;
  };
  for (const Case& c : std::vector<Case>{{"44 degrees off the stand", 5, 50, 321, 321},
                                         {"46 degrees off the stand", 5, 50, 319, 5},
                                         {"44 degrees off the nose", 44, 50, 20, 20},
                                         {"46 degrees off the nose, 0.8 m", 46, 0.8, 30, 46}}) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    const LatLon to = gf_destinationPoint(kAt, c.courseDeg * kDegToRad, c.metres * kFeetPerMetre);
    g_stands = {standAt(to, c.standDeg)};
    LiveAc& ac = taxiing();
    ac.situations[0].due = cycle();
    ac.standId = 7;
    ac.setPhase(GroundPhase::ToStand);
    ac.situations.push_back(situation(to.lat, to.lon, 0, 4, cycle() + 2000, false));
    nextPosGround(ac);
    EXPECT_FALSE(ac.curve.isSet());
    EXPECT_NEAR(ac.bearingToNext * kRadToDeg, c.bearingDeg, 1e-6);
  }
  g_stands.clear();
}

// A taxi stream that ends with the aircraft at most 35 m from its last position, reported at 5 kt or
// less, looks for a stand there.
TEST_F(StandEntry, AStreamEndingNearAStandLooksForIt) {
  struct Case {
    double metres, speed;
    bool parks;
  };
  for (const Case& c : std::vector<Case>{{34, 5, true}, {36, 5, false}, {34, 6, false}}) {
    SCOPED_TRACE(fmt::format("{} m, {} kt", c.metres, c.speed));
    gf_resetEngine();
    const LatLon last = metres(c.metres, 0);
    g_stands = {standAt(last, 0)};
    LiveAc& ac = taxiing();
    ac.situations[0].due = cycle();
    ac.previousPhase = GroundPhase::Taxi;
    Situation end = situation(last.lat, last.lon, 0, c.speed, cycle() + 2000, false);
    end.noMovement = 1;
    ac.situations.push_back(end);
    nextPosGround(ac);
    EXPECT_EQ(ac.phase, c.parks ? GroundPhase::ToStand : GroundPhase::Taxi);
    EXPECT_EQ(ac.standId, c.parks ? 7u : 0u);
  }
  g_stands.clear();
}

// Driving onto a stand: to it at the push-back speed (at least 100 cycles), then a stop 50 cycles
// later; the nose turns while more than 3 degrees off the stand's heading.
TEST_F(StandEntry, TheStreamEndsOnTheStandWithAStop) {
  for (const auto& [metresAway, cycles] : {std::pair{40.0, 1944}, std::pair{2.0, 100}}) {
    SCOPED_TRACE(metresAway);
    gf_resetEngine();
    LiveAc& ac = taxiing();
    const LatLon at = metres(metresAway, 0);
    drive2Stand(ac, standAt(at, 2.9));
    ASSERT_EQ(ac.situations.size(), 3u);
    const Situation& onStand = ac.situations[1];
    const Situation& stop = ac.situations[2];
    EXPECT_DOUBLE_EQ(onStand.speed, 4);
    EXPECT_EQ(onStand.due, ac.situations[0].due + cycles);
    EXPECT_EQ(stop.due, onStand.due + 50);
    EXPECT_DOUBLE_EQ(stop.speed, 0);
    EXPECT_EQ(stop.noMovement, 1u);
    EXPECT_EQ(ac.turning, 0u);
  }
  gf_resetEngine();
  LiveAc& ac = taxiing();
  drive2Stand(ac, standAt(metres(40, 0), 3.1));
  EXPECT_EQ(ac.turning, 1u);
}

// A stand just passed (behind the nose, 60 m or less, facing within 45 degrees of the nose) is backed
// onto; one farther behind, or facing otherwise, is reached by turning round beside it.
TEST_F(StandEntry, AStandJustPassedIsBackedOnto) {
  struct Case {
    double behindMetres, standDeg;
    bool backs;
  };
  for (const Case& c : std::vector<Case>{{50, 40, true}, {59, 0, true}, {61, 0, false}, {50, 50, false}}) {
    SCOPED_TRACE(fmt::format("{} m behind, facing {}", c.behindMetres, c.standDeg));
    gf_resetEngine();
    LiveAc& ac = taxiing();
    drive2Stand(ac, standAt(metres(-c.behindMetres, 0.5), c.standDeg));
    EXPECT_EQ(ac.backing, c.backs ? 1u : 0u);
    EXPECT_EQ(ac.situations.size(), c.backs ? 3u : 4u);
  }
}

// A stand off to the side ahead (70 degrees off the nose) is driven onto on a curve; one behind the
// nose is reached by turning round beside it.
TEST_F(StandEntry, AStandAheadIsCurvedOntoOneBehindTurnedRoundTo) {
  for (const auto& [offDeg, turnsRound] : {std::pair{70.0, false}, std::pair{100.0, true}}) {
    SCOPED_TRACE(offDeg);
    gf_resetEngine();
    LiveAc& ac = taxiing();
    const LatLon to = gf_destinationPoint(kAt, offDeg * kDegToRad, 80 * kFeetPerMetre);
    drive2Stand(ac, standAt(to, offDeg));
    EXPECT_EQ(ac.situations.size(), turnsRound ? 4u : 3u);
    EXPECT_TRUE(ac.curve.isSet());
  }
}

}  // namespace
}  // namespace amb
