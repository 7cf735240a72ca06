// Records of a known aircraft that do or do not go on from its last position along their own track:
// the rule at its edges, and what the intake takes at once, holds, takes after all, drops and logs.

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

// A record goes on from a position when its own track lies within 45 degrees of its course from
// there; the feed's rounding makes a course over less than 0.05 nm none; a track given as none
// agrees; two records on the ground are never compared, and a reported speed that jumps tenfold,
// or from standing to 80 kt, never goes on.
TEST(GoesOn, TheTrackAgreesWithTheCourseWithin45Degrees) {
  const LatLon from = lf_east(0);
  const auto to = [&](double bearingDeg, double nm, double track, double speed = 250, bool airborne = true) {
    Situation s;
    const LatLon at = gf_destinationPoint(from, bearingDeg * kDegToRad, nm * kFeetPerNm);
    s.latitude = at.lat;
    s.longitude = at.lon;
    s.heading = track;
    s.feedTrackGiven = 1;
    s.speed = speed;
    s.airborne = airborne ? 1 : 0;
    return s;
  };
  struct Case {
    const char* what;
    Situation s;
    bool fromAirborne;
    double fromSpeed;
    bool goesOn;
  };
  Situation noTrack = to(180, 2, 0);
  noTrack.feedTrackGiven = 0;
  Situation northTrack = to(180, 2, 0);  // a track of 0 given: north
  const std::vector<Case> cases{
      {"straight on, 20 nm", to(90, 20, 90), true, 250, true},
      {"44 degrees off its track", to(90, 2, 134), true, 250, true},
      {"46 degrees off its track", to(90, 2, 136), true, 250, false},
      {"across north: course 10, track 325", to(10, 2, 325), true, 250, true},
      {"straight back", to(270, 2, 90), true, 250, false},
      {"0.04 nm straight back: too near to tell", to(270, 0.04, 90), true, 250, true},
      {"0.06 nm straight back", to(270, 0.06, 90), true, 250, false},
      {"south with no track given", noTrack, true, 250, true},
      {"south with a track of 0 given", northTrack, true, 250, false},
      {"back, both on the ground", to(270, 2, 90, 20, false), false, 20, true},
      {"back, from the ground into the air", to(270, 2, 90), false, 250, false},
      {"straight on from 20 kt at 250 kt", to(90, 2, 90), true, 20, false},
      {"straight on from 30 kt at 250 kt", to(90, 2, 90), true, 30, true},
      {"straight on from 5 kt at 80 kt", to(90, 2, 90, 80), true, 5, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(lf_goesOnFrom(from, c.fromAirborne, c.fromSpeed, c.s), c.goesOn);
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

// Whatever speed or turn the stamps imply, a record that goes on along its own track is taken at
// once; one that lies behind along a track that still points on, or aside across its own track, is
// held.
TEST_F(ImplausibleRecords, ARecordAlongItsOwnTrackIsTakenWhateverItsStampsImply) {
  struct Case {
    const char* what;
    Line first;
    Line next;
    bool taken;
  };
  Line air;  // 250 kt at 5000 ft
  Line ground;  // taxiing at 30 kt at the park airport (the feed takes ground records within 5 nm of it)
  ground.lat = 40.6413;
  ground.lon = -73.7781;
  ground.alt = 0;
  ground.gs = 30;
  Line lowFromGround = air;  // 150 kt at 3000 ft over the airport
  lowFromGround.alt = 3000;
  lowFromGround.gs = 150;
  lowFromGround.lat = ground.lat;
  lowFromGround.lon = ground.lon;
  const auto turned = [](Line l, double track) {
    l.track = track;
    return l;
  };
  const auto aside = [](const Line& l, double seconds, double bearingDeg, double nm) {
    Line out = l;
    const LatLon to = gf_destinationPoint({l.lat, l.lon}, bearingDeg * kDegToRad, nm * kFeetPerNm);
    out.lat = to.lat;
    out.lon = to.lon;
    out.timestamp = l.timestamp + seconds;
    return out;
  };
  const std::vector<Case> cases{
      {"2.40 nm in 10 s at 250 kt", air, moved(air, 10, 2.40), true},
      {"8 nm in 10 s at 250 kt", air, moved(air, 10, 8), true},
      {"30 nm after two minutes' silence", air, moved(air, 120, 30), true},
      // The downwind that turns north in one record: its track 11, its course from the last one 16.
      {"turned 79 degrees in 10 s", air, turned(aside(air, 10, 16, 1.2), 11), true},
      {"the snapshot of four minutes ago, 16 nm back", air, moved(air, 10, -16), false},
      {"2 nm aside, its track still 90", air, aside(air, 10, 0, 2), false},
      // A record in the air measured from one on the ground, and back.
      {"from the ground into the air, 4 nm on along its track", ground, moved(lowFromGround, 10, 4), true},
      {"from the ground into the air, 4 nm back", ground, moved(lowFromGround, 10, -4), false},
      {"from the air onto the ground, 4 nm back", lowFromGround, moved(ground, 10, -4), false},
      // On the ground the jumps are left to the ground movement.
      {"on the ground, 4 nm back in 10 s", ground, moved(ground, 10, -4), true},
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
    EXPECT_EQ(ac->heldRecord.has_value(), !c.taken);
  }
}

// A position that really jumps (a corrected one, 4 nm aside of the old stream, its track still the
// stream's) is held while it does not go on from the last one taken, and taken with the next record,
// which goes on from it.
TEST_F(ImplausibleRecords, AStreamThatReallyJumpsIsTakenWithTheRecordThatGoesOnFromIt) {
  Line line;
  line.hexid = 11310002;
  line = feedTrack(line, 2);
  Line jumped = line;
  const LatLon aside = gf_destinationPoint({line.lat, line.lon}, kPi, 4 * kFeetPerNm);
  jumped.lat = aside.lat;
  jumped.lon = aside.lon;
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

// The recording's UAL687: first seen at a stale position, then 4.39 nm away along 194 degrees 9.8 s
// later with a track of 246 (52 degrees off), and from there on at 230 kt. The jump is held, then
// taken in its place before the record that confirms it, and logged as such.
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
// fresh time, 3.9 nm behind the aircraft, its track still 51. It is held, the next record goes on
// from the last position taken, so it is dropped, and the aircraft in the simulator never goes back
// along its track.
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
  EXPECT_FALSE(ac->heldRecord.has_value());
  feedTrack(line.after(10), 6);
  ASSERT_TRUE(progress.has_value());
  EXPECT_GT(least, -1.0);
}

// An aircraft circling at 200 kt, 3 degrees a second, a record every 10 s and the feed repeating one
// position for 40 s halfway: each record's course from the one before lies 15 degrees off its track,
// so every position is taken, the one after the repeats too.
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

// A feed that repeats a position with fresh times has not seen the aircraft there any later: the
// next position, 6 nm on along the track only 10 s after the last repeat, is the aircraft's.
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

// One line per aircraft however many of its records are dropped, with the feed's callsign escaped:
// each stale record 16 nm behind is held, and dropped when the aircraft's next record goes on from
// the last one taken.
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
    feed(moved(a, 5, -16 - i));
    feed(moved(b, 5, -20 - i));
    run(500);
    a = a.after(10);
    b = b.after(10);
    feed(a);
    feed(b);
    run(500);
  }
  const LiveAc* aircraft = lf_findLiveByHexid(a.hexid);
  ASSERT_NE(aircraft, nullptr);
  EXPECT_TRUE(tookLast(*aircraft, a));
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
  EXPECT_EQ(count("DA\\x1B[2J hexid:11310003: position dropped as stale or foreign, 17.00 nm from the last one taken"
                  " along 270 deg against its track of 90 deg"),
            1u)
      << log;
  EXPECT_EQ(count("JBU1290 hexid:11310004: position dropped as stale or foreign"), 1u) << log;
}

}  // namespace
}  // namespace amb
