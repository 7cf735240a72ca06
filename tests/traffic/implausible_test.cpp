// Records whose position the aircraft could not have reached since its last record: the speed
// bound itself at its edges, and what the intake takes, drops and logs.

#include "engine_fixture.hpp"

#include "core/log.hpp"
#include "support/log_check.hpp"
#include "settings/options.hpp"

#include <optional>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

// A position `nm` nautical miles east of (40.5, -73.5).
LatLon lf_east(double nm) { return gf_destinationPoint({40.5, -73.5}, kPi / 2, nm * kFeetPerNm); }

TEST(ImpliedSpeed, AMoveIsTooFastJustBeyondWhatTheBoundCoversInTheTime) {
  struct Case {
    const char* what;
    double fromSpeed, toSpeed, seconds, nm;
    bool tooFast;
  };
  const LatLon from = lf_east(0);
  // Half a knot's worth either side of the edge, where it can be: 0.005 nm in 36 s.
  const std::vector<Case> cases{
      // 700 kt for 36 s: 7 nm.
      {"200 kt both, 6.995 nm in 36 s", 200, 200, 36, 6.995, false},
      {"200 kt both, 7.005 nm in 36 s", 200, 200, 36, 7.005, true},
      // 1000 kt for 18 s: 5 nm, whichever record is the faster one.
      {"100 then 300 kt, 4.995 nm in 18 s", 100, 300, 18, 4.995, false},
      {"300 then 100 kt, 5.005 nm in 18 s", 300, 100, 18, 5.005, true},
      // Standing records (or a speed below 0) still allow 100 kt: 1 nm in 36 s.
      {"-50 kt and 0 kt, 0.995 nm in 36 s", -50, 0, 36, 0.995, false},
      {"0 kt both, 0.995 nm in 36 s", 0, 0, 36, 0.995, false},
      {"0 kt both, 1.005 nm in 36 s", 0, 0, 36, 1.005, true},
      // Five minutes at 850 kt: 70.8 nm.
      {"250 kt both, 70 nm in 5 minutes", 250, 250, 300, 70, false},
      {"250 kt both, 71 nm in 5 minutes", 250, 250, 300, 71, true},
      // No time between the records: only the same position.
      {"same time, same position", 250, 250, 0, 0, false},
      {"same time, 0.01 nm apart", 250, 250, 0, 0.01, true},
      {"an earlier time, 0.01 nm apart", 250, 250, -5, 0.01, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(lf_impliesImpossibleSpeed(from, c.fromSpeed, lf_east(c.nm), c.toSpeed, c.seconds), c.tooFast);
  }
}

class ImplausibleRecords : public EngineTest {
protected:
  // `seconds` after the line, `nm` along its track from where the line is, at the line's speed.
  static Line moved(const Line& l, double seconds, double nm) {
    Line out = l;
    const LatLon to = gf_destinationPoint({l.lat, l.lon}, l.track * kDegToRad, nm * kFeetPerNm);
    out.lat = to.lat;
    out.lon = to.lon;
    out.timestamp = l.timestamp + seconds;
    return out;
  }
  // Whether the aircraft took the line as its last record.
  static bool tookLast(const LiveAc& ac, const Line& line) { return std::fabs(ac.lastDataTime - line.timestamp) < 1e-6; }
};

TEST_F(ImplausibleRecords, ARecordIsDroppedWhenItsPositionCannotBeReachedInTheTime) {
  struct Case {
    const char* what;
    Line first;
    Line next;
    bool taken;
  };
  Line air;  // 250 kt at 5000 ft: 850 kt allowed, 2.36 nm in 10 s
  Line ground;  // taxiing at 30 kt at the park airport (the feed takes ground records within 5 nm of it)
  ground.lat = 40.6413;
  ground.lon = -73.7781;
  ground.alt = 0;
  ground.gs = 30;
  Line lowFromGround = air;  // 150 kt at 3000 ft over the airport: 550 kt allowed, 1.53 nm in 10 s
  lowFromGround.alt = 3000;
  lowFromGround.gs = 150;
  lowFromGround.lat = ground.lat;
  lowFromGround.lon = ground.lon;
  const auto faster = [](Line l, double gs) {
    l.gs = gs;
    return l;
  };
  const std::vector<Case> cases{
      {"the snapshot of four minutes ago, 16 nm back", air, moved(air, 10, -16), false},
      {"2.30 nm in 10 s at 250 kt", air, moved(air, 10, 2.30), true},
      {"2.40 nm in 10 s at 250 kt", air, moved(air, 10, 2.40), false},
      // The faster record sets the bound: 300 kt allows 1000 kt, 2.78 nm in 10 s.
      {"2.70 nm in 10 s, now at 300 kt", air, faster(moved(air, 10, 2.70), 300), true},
      {"2.85 nm in 10 s, now at 300 kt", air, faster(moved(air, 10, 2.85), 300), false},
      // The bound grows with the time since the last record: 28.3 nm in two minutes.
      {"27 nm after two minutes' silence", air, moved(air, 120, 27), true},
      {"30 nm after two minutes' silence", air, moved(air, 120, 30), false},
      // Either record in the air is enough.
      {"from the ground into the air, 4 nm in 10 s", ground, moved(lowFromGround, 10, 4), false},
      {"from the air onto the ground, 4 nm in 10 s", lowFromGround, moved(ground, 10, 4), false},
      // On the ground the jumps are left to the ground movement.
      {"on the ground, 4 nm in 10 s", ground, moved(ground, 10, 4), true},
  };
  std::uint32_t hexid = 11300000;
  for (Case c : cases) {
    SCOPED_TRACE(c.what);
    c.first.hexid = c.next.hexid = ++hexid;
    c.first.callsign = c.next.callsign = fmt::format("S{}", hexid % 1000);
    ASSERT_TRUE(feed(c.first));
    run(1);
    const LiveAc* ac = lf_findLiveByHexid(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_TRUE(feed(c.next));
    run(1);
    EXPECT_EQ(tookLast(*ac, c.next), c.taken);
    EXPECT_EQ(ac->situations.size(), c.taken ? 2u : 1u);
  }
}

// A position that really jumps (a corrected one, 4 nm ahead of the old stream) is held back while
// it does not fit the time since the last record taken, and taken with the next record, which goes
// on from it. At 250 kt (850 kt allowed), with a record every 10 s: after 10 s the record lies
// 4.69 nm away against 2.36 allowed; the one after it lies 0.69 nm from it.
TEST_F(ImplausibleRecords, AStreamThatReallyJumpsIsTakenWithTheRecordThatGoesOnFromIt) {
  Line line;
  line.hexid = 11310002;
  line = feedTrack(line, 2);
  const Line jumped = moved(line, 0, 4);
  std::vector<bool> taken;
  for (int i = 1; i <= 3; ++i) {
    const Line next = jumped.after(10.0 * i);
    feed(next);
    run(1000);
    const LiveAc* ac = lf_findLiveByHexid(line.hexid);
    ASSERT_NE(ac, nullptr);
    taken.push_back(tookLast(*ac, next));
  }
  EXPECT_EQ(taken, (std::vector<bool>{false, true, true}));
}

// The recording's UAL687: first seen at a stale position, then 4.39 nm away 9.8 s later (a speed of
// 1613 kt against 790 allowed at 230 kt), and from there on at 230 kt. The jump is taken, in its
// place before the record that confirms it, and logged as such.
TEST_F(ImplausibleRecords, AJumpTheNextRecordsGoOnFromIsTakenInItsPlace) {
  test::TempDir dir("jumplog");
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  LOG.value = 1;
  Line stale;
  stale.hexid = 11310006;
  stale.callsign = "UAL687";
  stale.alt = 800;
  stale.track = 312;
  stale.gs = 164;
  feed(stale);
  run(980);
  Line jump = moved(stale, 9.8, 0);
  const LatLon at = gf_destinationPoint({stale.lat, stale.lon}, 194 * kDegToRad, 4.39 * kFeetPerNm);
  jump.lat = at.lat;
  jump.lon = at.lon;
  jump.alt = 3600;
  jump.track = 246;
  jump.gs = 230;
  feed(jump);
  run(980);
  const LiveAc* ac = lf_findLiveByHexid(stale.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_FALSE(tookLast(*ac, jump));
  const Line next = jump.after(9.8);
  feed(next);
  run(1);
  ASSERT_TRUE(tookLast(*ac, next));
  ASSERT_GE(ac->situations.size(), 2u);
  const Situation& before = ac->situations[ac->situations.size() - 2];
  EXPECT_NEAR(before.latitude, jump.lat, 1e-6);
  EXPECT_NEAR(before.longitude, jump.lon, 1e-6);
  LOG.value = 0;
  gf_closeLog("end");
  const std::string log = test::readFile(dir / "Log.txt");
  EXPECT_NE(log.find("UAL687 hexid:11310006: position taken after all, 4.39 nm from the last one"), std::string::npos)
      << log;
}

// The recording's AAL689: at 470 kt along 51 degrees, the feed repeats the position of 30 s ago with a
// fresh time, 3.9 nm behind the aircraft: within the speed bound (4.2 nm in 10 s) but behind it by far
// more than 470 kt cover in the 10 s since (1.3 nm). It is dropped, the next record is measured from
// the last position taken and taken, and the aircraft in the simulator never goes back along its
// track.
TEST_F(ImplausibleRecords, AStaleRepeatBehindAMovingAircraftIsNeverFlownBackTo) {
  Line line;
  line.hexid = 11310007;
  line.callsign = "AAL689";
  line.alt = 23000;
  line.track = 51;
  line.gs = 470;
  const Line first = line;
  const LatLon origin{first.lat, first.lon};
  double least = 1e9;  // the least progress along the track since the last block, metres
  std::optional<double> progress;
  sim().onPosition = [&](std::int32_t, const enginesim::SimObject& o, const AiPosBlock& b) {
    if (o.hexid != line.hexid) return;
    const LatLon at{b.latitude, b.longitude};
    const double along = gf_distanceNm(origin, at) * 1852 * std::cos(gf_bearingRad(origin, at) - 51 * kDegToRad);
    if (progress) least = std::min(least, along - *progress);
    progress = along;
  };
  line = feedTrack(line, 8);
  Line stale = line.after(-30);
  stale.timestamp = line.timestamp + 10;
  feed(stale);
  run(1);
  const LiveAc* ac = lf_findLiveByHexid(line.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_FALSE(tookLast(*ac, stale));
  run(999);
  line = line.after(20);
  feed(line);
  run(1);
  EXPECT_TRUE(tookLast(*ac, line));
  feedTrack(line.after(10), 6);
  ASSERT_TRUE(progress.has_value());
  EXPECT_GT(least, -1.0);
}

// A record behind the last one only by what the speed covers in the time since is no stale one: an
// aircraft that turns round within it, here one circling at 200 kt, 3 degrees a second, a record every
// 10 s and the feed repeating one position for 40 s halfway, keeps every position.
TEST_F(ImplausibleRecords, AnAircraftTurningRoundKeepsItsPositions) {
  Line line;
  line.hexid = 11310008;
  line.gs = 200;
  const double radiusNm = 200.0 / 3600 / (3 * kDegToRad);
  const LatLon centre = gf_destinationPoint({line.lat, line.lon}, kPi / 2, radiusNm * kFeetPerNm);
  const double t0 = line.timestamp;
  int taken = 0, positions = 0;
  for (int i = 0; i <= 14; ++i) {
    const int at = i < 6 ? i : i < 10 ? 6 : i - 3;  // positions 6 to 9 repeat the sixth
    const double turned = 30.0 * at;
    Line l = line;
    const LatLon p = gf_destinationPoint(centre, (270 + turned) * kDegToRad, radiusNm * kFeetPerNm);
    l.lat = p.lat;
    l.lon = p.lon;
    l.track = std::fmod(turned, 360);
    l.timestamp = t0 + 10.0 * i;
    feed(l);
    run(1);
    if (const LiveAc* ac = lf_findLiveByHexid(line.hexid); ac != nullptr && (i < 6 || i >= 10)) {
      ++positions;
      taken += tookLast(*ac, l) ? 1 : 0;
    }
    run(999);
  }
  EXPECT_EQ(taken, positions);
}

// The edges of "behind": 250 kt for 10 s cover 0.694 nm, with 0.05 nm for the feed's rounding 0.744 nm
// along a track of 90 degrees; only the part along the track counts.
TEST(BehindAlongTheTrack, AStalePositionLiesBehindByMoreThanTheSpeedCovers) {
  const LatLon from = lf_east(0);
  const auto at = [&](double bearingDeg, double nm) { return gf_destinationPoint(from, bearingDeg * kDegToRad, nm * kFeetPerNm); };
  struct Case {
    const char* what;
    LatLon to;
    double seconds;
    bool behind;
  };
  const std::vector<Case> cases{
      {"0.74 nm straight back", at(270, 0.74), 10, false},
      {"0.75 nm straight back", at(270, 0.75), 10, true},
      {"0.76 nm ahead", at(90, 0.76), 10, false},
      {"1.4 nm back at 60 degrees off the tail: 0.70 nm along", at(210, 1.4), 10, false},
      {"1.6 nm back at 60 degrees off the tail: 0.80 nm along", at(210, 1.6), 10, true},
      {"the same place", from, 10, false},
      {"no time: 0.06 nm back", at(270, 0.06), 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(lf_liesBehind(from, 90, 250, c.to, 200, c.seconds), c.behind);
  }
}

// A feed that repeats a position with fresh times has not seen the aircraft there any later: the
// next position is measured from the first report of the repeated one. At 250 kt (850 kt allowed),
// 6 nm 30 s after that first report is taken (7.08 nm allowed), though only 10 s after the last
// repeat (2.36 nm allowed).
TEST_F(ImplausibleRecords, ARepeatedPositionCountsFromItsFirstReport) {
  Line line;
  line.hexid = 11310005;
  feed(line);
  run(1);
  for (double s : {10.0, 20.0}) {
    Line repeat = line;
    repeat.timestamp = line.timestamp + s;
    feed(repeat);
    run(1);
  }
  const Line next = moved(line, 30, 6);
  feed(next);
  run(1);
  const LiveAc* ac = lf_findLiveByHexid(line.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_TRUE(tookLast(*ac, next));
}

// One line per aircraft however many of its records are dropped, with the feed's callsign escaped.
TEST_F(ImplausibleRecords, DroppedRecordsAreLoggedOncePerAircraftWithTheCallsignEscaped) {
  test::TempDir dir("implausiblelog");
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  LOG.value = 1;
  Line a;
  a.hexid = 11310003;
  a.callsign = std::string("DA\x1B[2J", 6);
  Line b;
  b.hexid = 11310004;
  b.callsign = "JBU1290";
  b.lat = 40.9;
  a = feedTrack(a, 2);
  b = feedTrack(b, 2);
  for (int i = 1; i <= 3; ++i) {
    // Five seconds and more: a record sooner than 450 m at 250 kt is ignored before this test.
    feed(moved(a, 2.0 * i + 3, -16));
    feed(moved(b, 2.0 * i + 3, 20));
    run(300);
  }
  LOG.value = 0;
  gf_closeLog("end");
  const std::string log = test::readFile(dir / "Log.txt");
  EXPECT_EQ(test::rawPeerBytes(log), "");
  const auto count = [&](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("dropped as stale or foreign"), 2u) << log;
  EXPECT_EQ(count("DA\\x1B[2J hexid:11310003: position dropped as stale or foreign, 16.00 nm in 5.0 s"), 1u) << log;
  EXPECT_EQ(count("JBU1290 hexid:11310004: position dropped as stale or foreign"), 1u) << log;
}

}  // namespace
}  // namespace amb
