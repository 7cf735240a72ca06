// The speed an aircraft's positions imply, whatever speed its feed reports: what it is worked out
// from, the catch-up and the least speed in the air it sets, and an aeroplane flown on past its
// records that does not turn round to meet them.

#include "engine_fixture.hpp"

#include "traffic/air.hpp"
#include "traffic/intake.hpp"

#include <cmath>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class PositionsSpeed : public EngineTest {
protected:
  // Offers the aircraft a record `east` nm east of 40.7 N 73.9 W, reported `seconds` after the first,
  // due `dueSeconds` after the start of the run, at the reported speed.
  static void offer(LiveAc& ac, double east, double seconds, std::int32_t due, double reportedKt) {
    const LatLon at = gf_destinationPoint({40.7, -73.9}, kPi / 2, east * kFeetPerNm);
    TrafficRecord record;
    record.hexid = ac.hexid;
    record.situation = situation(at.lat, at.lon, 5000, reportedKt, due);
    record.situation.heading = 90;
    record.situation.feedTrackGiven = 1;
    record.timestamp = 1000 + seconds;
    record.identity.callsign = ac.callsign;
    record.identity.model = ac.model;
    record.identity.airline = ac.airline;
    lf_offerRecord(ac, record);
  }
};

// Positions 1 nm apart every 10 s imply 360 kt, whatever the feed reports (here 120 kt). A step of
// 5 nm in 10 s (1,800 kt) is more than three times 120 kt and 100 kt more: no way flown, it counts for
// nothing. Only the positions due within the minute before count. The catch-up in the air takes the
// positions' speed where it is the faster: 1.3 x 360 + 30 = 498 kt.
TEST_F(PositionsSpeed, IsWorkedOutFromThePositionsFlownOverTheLastMinute) {
  LiveAc& ac = addInSim(11990001, 1190, situation(40.7, -73.9, 5000, 120, 0));
  ac.lastDataTime = 1000;
  ac.recentPositions[0].time = 1000;
  for (int i = 1; i <= 4; ++i) offer(ac, i, 10.0 * i, 1000 * i, 120);
  EXPECT_NEAR(gf_positionsSpeedKt(ac, 4000), 360, 0.5);
  // Before the second position is due there is no step to tell the speed by.
  EXPECT_DOUBLE_EQ(gf_positionsSpeedKt(ac, 999), 0.0);
  g_engineCycle.store(4000);
  EXPECT_NEAR(lf_catchUpSpeedKt(ac, 120), 498, 0.7);
  // The jump of 5 nm, then on at 1 nm in 10 s again.
  offer(ac, 9, 50, 5000, 120);
  offer(ac, 10, 60, 6000, 120);
  EXPECT_NEAR(gf_positionsSpeedKt(ac, 6000), 360, 0.5);
  // A minute on from the last of them, nothing is left to tell it.
  EXPECT_DOUBLE_EQ(gf_positionsSpeedKt(ac, 13000), 0.0);
}

// The feed's reported speed freezes at 43 kt while the positions move on 0.5 nm every 10 s (180 kt):
// once the aircraft flies them, it flies no slower than 60 % of 180 kt = 108 kt, and no faster than
// its catch-up, 1.3 x 180 + 30 = 264 kt.
TEST_F(PositionsSpeed, AnAeroplaneIsNeverMuchSlowerThanItsPositionsGo) {
  Line line;
  line.hexid = 11990002;
  line.callsign = "FRZ2";
  line.gs = 43;
  line.alt = 4000;
  const LatLon start{line.lat, line.lon};
  const std::int32_t from = cycle();
  for (int i = 0; i < 18; ++i) {
    const LatLon at = gf_destinationPoint(start, kPi / 2, 0.5 * i * kFeetPerNm);
    Line l = line;
    l.lat = at.lat;
    l.lon = at.lon;
    l.timestamp = line.timestamp + 10 * i;
    feed(l);
    run(1000);
  }
  LiveAc* ac = lf_findLiveByHexid(line.hexid);
  ASSERT_NE(ac, nullptr);
  ASSERT_EQ(ac->state, ActState::InSim);
  ASSERT_GT(cycle() - from, 17000);
  const double flownKt = gf_flownSpeedKt(*ac);
  EXPECT_GE(flownKt, 108);
  EXPECT_LE(flownKt, 264);
}

// Flying east at 250 kt, the feed repeats the last position for 40 s and the aircraft flies on; then
// the positions go on east from where the feed held it at 150 kt, a few kilometres behind the
// aircraft, their track east as before. Their tracks do not turn round, so neither does it: its
// nose stays within a right angle of east while it lets them catch up.
TEST_F(PositionsSpeed, AnAeroplaneAheadOfItsRecordsDoesNotTurnRoundToMeetThem) {
  Line line;
  line.hexid = 11990003;
  line.callsign = "AHD3";
  line.gs = 250;
  line = feedTrack(line, 8);
  for (int i = 1; i <= 4; ++i) {
    Line repeat = line;
    repeat.timestamp += 10 * i;
    feed(repeat);
    run(1000);
  }
  Line slow = line;
  slow.gs = 150;
  slow.timestamp += 40;
  double worstOff = 0;
  std::size_t watched = 0;
  const auto watch = [&](int seconds) {
    for (int k = 0; k < seconds; ++k) {
      run(100);
      const LiveAc* ac = lf_findLiveByHexid(line.hexid);
      if (ac == nullptr || ac->state != ActState::InSim) continue;
      worstOff = std::max(worstOff, std::fabs(gf_angleDiff(ac->position.heading, kPi / 2)));
      ++watched;
    }
  };
  for (int i = 0; i < 10; ++i, slow = slow.after(10)) {
    feed(slow);
    watch(10);
  }
  // The records fed last are flown 30 s later.
  watch(40);
  EXPECT_GT(watched, 120u);
  EXPECT_LT(worstOff * kRadToDeg, 90.0);
}

}  // namespace
}  // namespace amb
