// Records whose position the aircraft could not have reached since its last record: the speed
// bound itself at its edges, and what the intake takes, drops and logs.

#include "engine_fixture.hpp"

#include "core/log.hpp"
#include "support/log_check.hpp"
#include "settings/options.hpp"

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

// A position that really jumps (a corrected one, 4 nm ahead of the old stream) is taken once the
// time since the last record taken allows the jump. At 250 kt (850 kt allowed), with a record every
// 10 s: after 10 s the record lies 4.69 nm away against 2.36 allowed, after 20 s 5.39 against
// 4.72, after 30 s 6.08 against 7.08.
TEST_F(ImplausibleRecords, AStreamThatReallyJumpsIsTakenAgainOnceTheJumpFitsTheTime) {
  Line line;
  line.hexid = 11310002;
  line = feedTrack(line, 2);
  const Line jumped = moved(line, 0, 4);
  std::vector<bool> taken;
  for (int i = 1; i <= 4; ++i) {
    const Line next = jumped.after(10.0 * i);
    feed(next);
    run(1000);
    const LiveAc* ac = lf_findLiveByHexid(line.hexid);
    ASSERT_NE(ac, nullptr);
    taken.push_back(tookLast(*ac, next));
  }
  EXPECT_EQ(taken, (std::vector<bool>{false, false, true, true}));
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
