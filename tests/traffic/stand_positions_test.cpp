// New positions of an aircraft at its stand: when they mean it is moving away, which way it will
// leave, and when leaving soon after landing is a tow.

#include "engine_fixture.hpp"

#include "core/clock.hpp"
#include "core/log.hpp"
#include "refdata/database.hpp"
#include "settings/options.hpp"

#include <chrono>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kStand{40.6440, -73.7850};
constexpr double kFeetPerMetre = 1 / 0.3048;

class StandPositions : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    Stand s;
    s.id = 3;
    s.name = "S3";
    s.lat = kStand.lat;
    s.lon = kStand.lon;
    s.heading = 0;
    s.radiusNm = 0.02;
    g_stands = {s};
  }
  void TearDown() override { g_stands.clear(); }
  LiveAc& atStand(std::uint32_t objectId = 490) {
    LiveAc& ac = addInSim(11790100 + objectId, objectId, situation(kStand.lat, kStand.lon, 0, 0, 1 << 30, false));
    ac.standId = 3;
    ac.setPhase(GroundPhase::AtStand);
    ac.halfWingspan = 0.01;  // 18.5 m
    return ac;
  }
  static Situation metresOff(double metres, double bearingDeg = 180) {
    const LatLon at = gf_destinationPoint(kStand, bearingDeg * kDegToRad, metres * kFeetPerMetre);
    return EngineTest::situation(at.lat, at.lon, 0, 3, 2000, false);
  }
};

// Reported near the stand, an aircraft leaves it once it has moved more than its half span from where
// it was first reported, or after three moves of 3 m or more away of half that in all.
TEST_F(StandPositions, SmallMovesAwayCountTowardLeaving) {
  struct Case {
    const char* what;
    std::vector<double> metres;  // the positions reported after the first, 10 m off
    bool leaves;
  };
  const std::vector<Case> cases{
      {"one move of 18 m", {28}, false},
      {"one move of 19 m", {29}, true},
      {"three moves of 3.1 m: 9.3 m", {13.1, 16.2, 19.3}, true},
      {"three moves, 9 m in all", {13.05, 16.1, 19.0}, false},
      {"three moves, the second 2.9 m", {13.1, 16.0, 19.3}, false},
      {"two moves of 5 m", {15, 20}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = atStand();
    Situation first = metresOff(10);
    ASSERT_FALSE(lf_checkAtStand(ac, first));
    bool left = false;
    for (const double m : c.metres) {
      Situation s = metresOff(m);
      left = lf_checkAtStand(ac, s);
    }
    EXPECT_EQ(left, c.leaves);
    EXPECT_EQ(ac.pullOutPending, c.leaves ? 1u : 0u);
  }
}

// Just after arriving (the phase before was the way to the stand) positions count as the stand's
// within twice the usual 85 m.
TEST_F(StandPositions, RightAfterArrivingTheStandReachesTwiceAsFar) {
  struct Case {
    GroundPhase previous;
    double metres;
    bool kept;
  };
  for (const Case& c : std::vector<Case>{
           {GroundPhase::ToStand, 160, false}, {GroundPhase::ToStand, 180, true}, {GroundPhase::Taxi, 160, true}}) {
    SCOPED_TRACE(fmt::format("{} m after {}", c.metres, static_cast<int>(c.previous)));
    gf_resetEngine();
    LiveAc& ac = atStand();
    ac.previousPhase = c.previous;
    Situation s = metresOff(c.metres);
    EXPECT_EQ(lf_checkAtStand(ac, s), c.kept);
  }
}

// The way out begins where the first position away lies: 90 degrees or more off the stand's heading,
// the push-back's end is replaced by it.
TEST_F(StandPositions, AFirstPositionBesideTheStandEndsThePushBack) {
  for (const auto& [bearing, replaced] : {std::pair{91.0, true}, std::pair{89.0, false}, std::pair{269.0, true}}) {
    SCOPED_TRACE(bearing);
    gf_resetEngine();
    LiveAc& ac = atStand();
    ac.standStartDistance = ac.standDistance = 0;
    Situation s = metresOff(120, bearing);
    ASSERT_TRUE(lf_checkAtStand(ac, s));
    EXPECT_EQ(ac.replaceAfterPushBack, replaced ? 1u : 0u);
  }
}

// An aircraft that landed and leaves its stand within an hour (Heavy), 25 minutes (Large) or 15
// minutes (Buzjets) is towed; a Light one never.
TEST_F(StandPositions, LeavingSoonAfterLandingIsATow) {
  struct Case {
    int category;
    double minutes;
    bool towed;
  };
  std::uint32_t objectId = 495;
  for (const Case& c : std::vector<Case>{{Heavy, 59, true},
                                         {Heavy, 61, false},
                                         {Large, 24.7, true},
                                         {Large, 25.3, false},
                                         {Buzjets, 14.8, true},
                                         {Buzjets, 15.2, false},
                                         {Light, 1, false}}) {
    SCOPED_TRACE(fmt::format("category {}, {} minutes", c.category, c.minutes));
    gf_resetEngine();
    LiveAc& ac = atStand(++objectId);
    ac.category = c.category;
    ac.extensionCount = 1;
    ac.arrivedByLanding = 1;
    ac.standArrivalTicks = gf_steadyTicks() - static_cast<std::int64_t>(c.minutes * 60 * 10'000'000);
    lf_leaveStand(ac);
    EXPECT_EQ(ac.towed, c.towed ? 1u : 0u);
  }
}

// A live aircraft taking a stand removes one standing at a stand next to it (listed as too close)
// when the two are within 1.1 times their half spans of each other.
TEST_F(StandPositions, ParkingNextToAnotherMakesItGoWhenTheWingsMeet) {
  g_wingspans["ZZW2"] = 0.01;
  for (const auto& [nm, removed] : {std::pair{0.0215, true}, std::pair{0.0225, false}}) {
    SCOPED_TRACE(nm);
    gf_resetEngine();
    Stand next;
    next.id = 4;
    next.name = "S4";
    const LatLon beside = gf_destinationPoint(kStand, kPi / 2, nm * kFeetPerNm);
    next.lat = beside.lat;
    next.lon = beside.lon;
    g_stands[0].overlapIds = {4};
    g_stands.push_back(next);
    LiveAc& other = addInSim(11790300, 497, situation(beside.lat, beside.lon, 0, 0, 1 << 30, false), "ZZW2", "NEXT1");
    other.standId = 4;
    other.setPhase(GroundPhase::AtStand);
    LiveAc& ac = addInSim(11790301, 498, situation(kStand.lat, kStand.lon, 0, 5, 1 << 30, false), "ZZW2", "PARK1");
    checkStandOrExcludedIsOccupiedByStaticAndRemove(ac, g_stands[0]);
    EXPECT_EQ(lf_findLiveByObjectId(497)->state == ActState::Removing, removed);
    g_stands.resize(1);
    g_stands[0].overlapIds.clear();
  }
  g_wingspans.erase("ZZW2");
}

// A live aircraft taking a stand makes the static aircraft there give way, also one whose creation
// is already with the simulator: that one goes as soon as its object exists and never comes into the
// simulator. A static aircraft already on its way out does not hide the one parked after it.
TEST_F(StandPositions, AStaticAircraftOnTheStandMakesWayAlsoWhileItIsBeingCreated) {
  test::TempDir dir("makeway");
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  LOG.value = 1;
  const auto parked = [](std::uint32_t hexid, const std::string& callsign, ActState state) {
    Act& act = g_parkedActs.emplace_back(AcData("JBU", "A320", "", "", callsign, "", "", "", false), 3,
                                         ActPosition{kStand.lat, kStand.lon, 0}, 0);
    act.hexid = hexid;
    act.state = state;
    act.objectId = state == ActState::InSim ? 300 + hexid : 0;
  };
  // Its creation was handed to the simulator: nothing waits in the queue any more.
  parked(41, "JBU3603*", ActState::Creating);
  LiveAc& first = addInSim(11790500, 500, situation(kStand.lat, kStand.lon, 0, 0, 1 << 30, false), "E190", "JBU485");
  checkStandOrExcludedIsOccupiedByStaticAndRemove(first, g_stands[0]);
  sim().addObject(341, 41, AiPosBlock{kStand.lat, kStand.lon});
  sim().push({341, 41, 0, CreatedParked, 0, 0});
  run(300);  // past its settling
  EXPECT_GE(sim().objects[341].removedCycle, 0);
  EXPECT_EQ(lf_findParkedByHexid(41), nullptr);

  // One on its way out, and the one parked there after it.
  gf_resetEngine();
  parked(42, "JBU5157*", ActState::Removing);
  parked(43, "JBU6990*", ActState::InSim);
  LiveAc& second = addInSim(11790501, 501, situation(kStand.lat, kStand.lon, 0, 0, 1 << 30, false), "E190", "JBU477");
  checkStandOrExcludedIsOccupiedByStaticAndRemove(second, g_stands[0]);
  EXPECT_EQ(lf_findParkedByHexid(43)->state, ActState::Removing);
  LOG.value = 0;
  gf_closeLog("end");
  const std::string log = test::readFile(dir / "Log.txt");
  EXPECT_EQ(log.find("JBU3603* parked"), std::string::npos) << log;
  EXPECT_NE(log.find("queued S3      : JBU3603* JBU A320 makes way for JBU485"), std::string::npos) << log;
  EXPECT_NE(log.find("S3      : JBU6990* JBU A320 makes way for JBU477"), std::string::npos) << log;
}

}  // namespace
}  // namespace amb
