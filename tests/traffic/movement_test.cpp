// Air movement: leg timing and its windows, finite steps, streams that end at the radius.

#include "engine_fixture.hpp"

#include "settings/options.hpp"

#include <algorithm>
#include <cmath>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class AirMovement : public EngineTest {
protected:
  // An aircraft in the simulator at (lat, lon), its front due now, flying on to `to`.
  LiveAc& flying(const Situation& to, double altitude = 5000, double speed = 120) {
    Situation from = situation(40.70, -73.90, altitude, speed, cycle());
    LiveAc& ac = addInSim(11600001, 300, from);
    ac.position.heading = gf_bearingRad({from.latitude, from.longitude}, {to.latitude, to.longitude});
    ac.situations.push_back(to);
    return ac;
  }
};

TEST_F(AirMovement, LegsTakeTheirDistanceAtTheirSpeedWithinTheWindows) {
  struct Case {
    const char* what;
    double nm;
    double speed;
    std::int32_t stamped;  // the second's due stamped on arrival, cycles from now
    std::int32_t expected;
  };
  const std::vector<Case> cases{
      {"1 nm at 120 kt", 1.0, 120, 3000, 3000},
      {"a very short leg", 0.001, 120, 10, 25},
      {"1500 cycles after the stamp: held to the late window", 1.0, 120, 1500, 2500},
      {"1500 cycles before the stamp: held to the early window", 1.0, 120, 4500, 3500},
      // 1 nm in 1500 cycles would be 240 kt: held to 1.3 * 120 + 30 = 186 kt, 1935.5 cycles.
      {"2500 cycles after the stamp: no faster than 186 kt", 1.0, 120, 500, 1936},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    const LatLon to = gf_destinationPoint({40.70, -73.90}, kPi / 2, c.nm * kFeetPerNm);
    LiveAc& ac = flying(situation(to.lat, to.lon, 5000, c.speed, c.stamped), 5000, c.speed);
    nextPosAir(ac);
    EXPECT_EQ(ac.second().due - cycle(), c.expected);
  }
}

// The aircraft sets off late from its front only when it has just come into the simulator; it is at
// the second by the stamped due, unless that would take more than 1.3 times its speed and 30 kt.
TEST_F(AirMovement, AnAircraftThatSetsOffLateMakesUpTheDelayOnItsLeg) {
  struct Case {
    const char* what;
    std::int32_t late;     // cycles the front fell due before now
    std::int32_t stamped;  // the second's due stamped on arrival, cycles from now
    std::int32_t expected;
  };
  // 1 nm at 120 kt: 3000 cycles.
  const std::vector<Case> cases{
      {"300 cycles late: at the second by its stamped due", 300, 2700, 2700},
      {"the stamp lies beyond the flying time: at its own speed, not slower", 300, 3500, 3000},
      {"800 cycles late with the stamp 1000 cycles ahead: 186 kt at most", 800, 1000, 1936},
      {"on time: the flying time within the windows, as every leg", 0, 2700, 3000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    g_engineCycle.store(10000);
    const LatLon to = gf_destinationPoint({40.70, -73.90}, kPi / 2, kFeetPerNm);
    LiveAc& ac = flying(situation(to.lat, to.lon, 5000, 120, cycle() + c.stamped), 5000, 120);
    ac.front().due = cycle() - c.late;
    nextPosAir(ac);
    EXPECT_EQ(ac.second().due - cycle(), c.expected);
  }
}

// Fed as the feed sends it, a new aircraft stands a few seconds while the simulator creates it, makes
// up the delay at its catch-up speed, then passes every reported position at its due time, 30 s after
// the feed queued it.
TEST_F(AirMovement, ANewAircraftPassesItsReportedPositionsAtTheirDueTimes) {
  struct Case {
    double every;  // seconds between the feed's reports
    double speed;  // knots
    int catchUpLegs;
  };
  for (const Case& c : std::vector<Case>{{10, 240, 1}, {2, 100, 3}}) {
    SCOPED_TRACE(fmt::format("a report every {} s at {} kt", c.every, c.speed));
    m_harness.reset();
    gf_resetEngine();
    m_harness = std::make_unique<enginesim::EngineHarness>(harnessOptions());
    Line line;
    line.lat = 40.80;
    line.lon = -73.95;
    line.track = 120;
    line.gs = c.speed;
    const int count = static_cast<int>(100 / c.every);
    std::vector<enginesim::RecordedLine> lines;
    for (int i = 0; i < count; ++i, line = line.after(c.every)) lines.push_back({line.text(), line.timestamp, line.hexid});
    harness().follow(line.hexid);
    harness().schedule(lines, cycle());
    run(10000 + 3000);
    const auto& passed = harness().passages(line.hexid);
    const auto first = std::find_if(passed.begin(), passed.end(), [](const auto& p) { return p.inSim; });
    ASSERT_NE(first, passed.end());
    // Created after its first position fell due: it sets off from there late.
    EXPECT_GT(first->cycle, first->position.due + 100);
    ASSERT_GT(passed.end() - first, c.catchUpLegs + 5);
    // Its speed changes at 3 kt a second: 60 s on it has caught up, and passes each position within
    // a fifth of a second of its due time.
    for (auto p = first + 1 + c.catchUpLegs; p != passed.end(); ++p)
      if (p->cycle > first->cycle + 6000) {
        EXPECT_LE(std::abs(p->cycle - p->position.due), 20) << "due " << p->position.due;
      }
  }
}

// A leg whose second situation is due right now still gets finite steps.
TEST_F(AirMovement, ALegDueAtOnceStaysFinite) {
  Situation to = situation(40.71, -73.90, 5000, 250, cycle());
  to.feedBankGiven = 1;
  to.feedBank = 0.2;
  LiveAc& ac = flying(to, 5000, 250);
  ac.extensionCount = 1;  // no windows: the due stays now
  ac.situations.push_back(situation(40.72, -73.89, 5000, 250, cycle() + 1000));
  run(3);
  const LiveAc& after = *lf_findLiveByObjectId(300);
  for (double v : {after.position.bank, after.position.pitch, after.position.heading, after.bankStep, after.pitchStep,
                   after.headingStep, after.position.latitude})
    EXPECT_TRUE(std::isfinite(v));
  EXPECT_LE(std::fabs(after.position.bank), 30 * kDegToRad);  // a Large aircraft banks 30 degrees at most
}

TEST_F(AirMovement, AStreamThatEndsAtTheEdgeOfTheRadiusGoesAtOnce) {
  Line line;
  line.lat = 40.6413 + 39.95 / 60;  // 39.95 nm north of the user, the radius being 40 nm
  line.lon = -73.7781;
  line.track = 270;
  line.gs = 200;
  feedTrack(line, 3, 10);
  const std::int32_t lastDue = cycle() - 1000 + 3000;
  // No synthetic legs: it goes as soon as it has reached its last reported position.
  std::int32_t mostExtensions = 0;
  EXPECT_TRUE(harness().runUntil(
      [&] {
        const LiveAc* ac = lf_findLiveByHexid(line.hexid);
        if (ac != nullptr) mostExtensions = std::max(mostExtensions, ac->extensionCount);
        return ac != nullptr && ac->state == ActState::Removing;
      },
      4000));
  EXPECT_EQ(mostExtensions, 0);
  EXPECT_LE(std::abs(cycle() - lastDue), 1000);
}

}  // namespace
}  // namespace amb
