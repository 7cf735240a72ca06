// Turns in the air: the nose along the course flown, the corners of the reported track rounded by
// curves through them at the aircraft's turn rate, the position still at each corner at its due time,
// and a late aircraft that catches up no faster than 1.3 times its speed and 30 kt.

#include "engine_fixture.hpp"

#include "traffic/air_path.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

constexpr double kMetresPerDegree = 111132.95;
constexpr double kMetresPerSecondPerKnot = 1852.0 / 3600.0;

struct Flown {
  std::int32_t cycle;
  AiPosBlock block;
};

// Metres north and east of a point.
struct Offset {
  double north, east;
};
Offset lf_offset(const LatLon& from, double lat, double lon) {
  return {(lat - from.lat) * kMetresPerDegree, (lon - from.lon) * kMetresPerDegree * std::cos(from.lat * kDegToRad)};
}
double lf_metres(const LatLon& from, double lat, double lon) {
  const Offset o = lf_offset(from, lat, lon);
  return std::hypot(o.north, o.east);
}
double lf_turnDeg(double fromRad, double toRad) { return gf_angleDiff(fromRad, toRad) * kRadToDeg; }

// What a pilot sees along a track: the course flown over the half second before each block and
// the speed then; the worst angle between nose and course above `aboveKt`, the fastest turn of the
// nose (degrees a second, over one cycle) and the fastest ground speed.
struct Seen {
  double worstOffNoseDeg = 0;
  double fastestTurnDegPerS = 0;
  double fastestKt = 0;
};
Seen lf_seen(const std::vector<Flown>& track, double aboveKt, std::int32_t from = 0) {
  Seen s;
  constexpr std::size_t kSpan = 50;  // cycles
  for (std::size_t i = kSpan; i < track.size(); ++i) {
    const Flown& a = track[i - kSpan];
    const Flown& b = track[i];
    if (a.cycle < from || b.cycle - a.cycle != static_cast<std::int32_t>(kSpan)) continue;
    const Offset d = lf_offset({a.block.latitude, a.block.longitude}, b.block.latitude, b.block.longitude);
    const double kt = std::hypot(d.north, d.east) * 2 / kMetresPerSecondPerKnot;
    s.fastestKt = std::max(s.fastestKt, kt);
    const Flown& before = track[i - 1];
    s.fastestTurnDegPerS =
        std::max(s.fastestTurnDegPerS, std::fabs(lf_turnDeg(before.block.heading, b.block.heading)) * 100);
    if (kt <= aboveKt) continue;
    const double course = std::atan2(d.east, d.north);
    s.worstOffNoseDeg = std::max(s.worstOffNoseDeg, std::fabs(lf_turnDeg(b.block.heading, course < 0 ? course + kTwoPi : course)));
  }
  return s;
}


class AirTurns : public EngineTest {
protected:
  void SetUp() override {
    EngineTest::SetUp();
    sim().onPosition = [this](std::int32_t c, const enginesim::SimObject& o, const AiPosBlock& b) {
      m_flown[o.id].push_back({c, b});
    };
  }

  // The flown blocks of the one object the engine created.
  const std::vector<Flown>& flownTrack() {
    EXPECT_EQ(m_flown.size(), 1u);
    return m_flown.begin()->second;
  }

  std::map<std::uint32_t, std::vector<Flown>> m_flown;
};

// An A321 (10 degrees a second) at 180 kt reported every 10 s, whose feed then holds its last position
// for 20 s and reports it next 25 s on, 90 degrees to the left: the leg into the corner is planned
// with nothing known beyond it, the turn only when the next position arrives 5 s before the corner.
// The nose stays with the course flown and never turns faster than the aircraft can.
TEST_F(AirTurns, AHeldPositionThenATurnKeepsTheNoseOnTheCourseFlown) {
  Line line;
  line.lat = 40.80;
  line.lon = -73.95;
  line.track = 90;
  line.gs = 180;
  std::vector<enginesim::RecordedLine> lines;
  const auto add = [&](const Line& l) { lines.push_back({l.text(), l.timestamp, l.hexid}); };
  for (int i = 0; i < 8; ++i, line = line.after(10)) add(line);
  const Line corner = line;  // reported at 80 s, then held
  add(corner);
  for (double held : {10.0, 20.0}) {
    Line repeat = corner;
    repeat.timestamp += held;
    add(repeat);
  }
  line = corner;
  line.track = 0;
  line = line.after(25);
  for (int i = 0; i < 8; ++i, line = line.after(10)) add(line);
  const std::int32_t start = cycle();
  harness().schedule(lines, start);
  run(3000 + 17000);

  const std::vector<Flown>& track = flownTrack();
  ASSERT_GT(track.size(), 10000u);
  const Seen s = lf_seen(track, 60);
  EXPECT_LE(s.worstOffNoseDeg, 45.0);
  EXPECT_LE(s.fastestTurnDegPerS, 10.0 + 1e-6);
  // Past the corner the nose is back on the course within a few degrees.
  const std::int32_t cornerDue = start + 3000 + 8000;
  EXPECT_LE(lf_seen(track, 60, cornerDue + 1000).worstOffNoseDeg, 3.0);
}

class AirCorners : public EngineTest {
protected:
  // An A321 in the simulator at 40.70 N 73.90 W heading east at 180 kt, its front due now.
  LiveAc& flying() {
    LiveAc& ac = addInSim(11750001, 700, situation(kFrom.lat, kFrom.lon, 5000, 180, cycle()));
    ac.position.heading = kPi / 2;
    ac.heightAboveGround = 5000;
    return ac;
  }
  // Appends a situation `nm` from the last one on `bearingDeg`, due `cycles` after the last one.
  Situation& then(LiveAc& ac, double bearingDeg, double nm, std::int32_t cycles) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, bearingDeg * kDegToRad, nm * kFeetPerNm);
    ac.situations.push_back(situation(to.lat, to.lon, 5000, 180, last.due + cycles));
    return ac.situations.back();
  }
  // Runs the engine to cycle `until`, keeping the object's blocks.
  std::vector<Flown> runTo(std::int32_t until) {
    std::vector<Flown> track;
    sim().onPosition = [&](std::int32_t c, const enginesim::SimObject&, const AiPosBlock& b) { track.push_back({c, b}); };
    run(until - cycle());
    sim().onPosition = nullptr;
    return track;
  }
  static const Flown& at(const std::vector<Flown>& track, std::int32_t cycle) {
    const auto it = std::find_if(track.begin(), track.end(), [&](const Flown& f) { return f.cycle == cycle; });
    if (it == track.end()) throw std::runtime_error("no block at that cycle");
    return *it;
  }

  static constexpr LatLon kFrom{40.70, -73.90};
};

// A corner known a whole leg ahead: 1.5 nm east in 30 s, then 20 degrees left. At 180 kt (92.6 m/s)
// and 10 degrees a second the corner needs a curve from d = 92.6 * sin 10 / (0.1745 * cos^2 10) =
// 95.0 m before it to 95.0 m after it; the aircraft passes it at the curve's middle, 0.5 * d * sin 10
// = 8.25 m inside it, at its due time, with the nose on the bisector (80 degrees), and flies on 70
// degrees from 95 m on. The course never changes at once, nor faster than the aircraft turns: the
// nose keeps up with it.
TEST_F(AirCorners, ACornerKnownAheadIsFlownAsACurveThroughIt) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  const Situation corner = then(ac, 90, 1.5, 3000);
  then(ac, 70, 2.0, 4000);
  then(ac, 70, 2.0, 4000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 3000 + 3000);
  ASSERT_FALSE(track.empty());

  // The last block of the leg.
  const Flown& passing = at(track, start + 2999);
  EXPECT_NEAR(lf_metres({corner.latitude, corner.longitude}, passing.block.latitude, passing.block.longitude), 8.25, 0.1);
  EXPECT_NEAR(passing.block.heading * kRadToDeg, 80.0, 0.5);
  // Until the curve begins (about a second before the corner) the nose points east; a second after
  // the corner it is on the next leg's course.
  EXPECT_NEAR(at(track, start + 3000 - 150).block.heading * kRadToDeg, 90.0, 0.05);
  EXPECT_GT(lf_turnDeg(at(track, start + 3000 - 50).block.heading, kPi / 2), 2.0);
  EXPECT_NEAR(at(track, start + 3000 + 150).block.heading * kRadToDeg, 70.0, 0.1);

  double worstOff = 0, fastestTurn = 0, fastestCourseChange = 0;
  double bankLeft = 0;
  for (std::size_t i = 2; i < track.size(); ++i) {
    const Offset d0 = lf_offset({track[i - 2].block.latitude, track[i - 2].block.longitude}, track[i - 1].block.latitude,
                                track[i - 1].block.longitude);
    const Offset d1 = lf_offset({track[i - 1].block.latitude, track[i - 1].block.longitude}, track[i].block.latitude,
                                track[i].block.longitude);
    const double course0 = std::atan2(d0.east, d0.north), course1 = std::atan2(d1.east, d1.north);
    const double course = course1 < 0 ? course1 + kTwoPi : course1;
    fastestCourseChange = std::max(fastestCourseChange, std::fabs(lf_turnDeg(course0 < 0 ? course0 + kTwoPi : course0, course)));
    worstOff = std::max(worstOff, std::fabs(lf_turnDeg(track[i].block.heading, course)));
    fastestTurn = std::max(fastestTurn, std::fabs(lf_turnDeg(track[i - 1].block.heading, track[i].block.heading)));
    bankLeft = std::max(bankLeft, track[i].block.bank);
  }
  // The path turns at most 10 degrees a second (0.1 a cycle), the nose as fast and no faster. (A leg's
  // due time comes from its straight distance, so the half of the curve flown at the start of the next
  // leg may be flown a little faster than the leg before it.)
  EXPECT_LE(fastestCourseChange, 0.1 * 1.02);
  EXPECT_LE(fastestTurn, 0.1 + 1e-9);
  EXPECT_LE(worstOff, 0.5);
  // A left turn banks left (a positive bank), and no more than an A321 banks.
  EXPECT_GT(bankLeft, 0.5 * kDegToRad);
  EXPECT_LE(bankLeft, 30.0 * kDegToRad + 1e-9);
}

// A corner too sharp to round at the aircraft's rate without leaving the reported track: 90 degrees
// at 180 kt would take a curve from 750 m before it, cutting 190 m inside. It is cut 20 m inside at
// most, unless the nose would then lag the course by more than 30 degrees: along the curve
// (1 - u) * in + u * on the course turns at 92.6 * sin 90 / (2d |w|^3), faster than the nose's 10
// degrees a second where |w| < k = (92.6 / (2d * 0.1745))^(1/3); the lag is the course's turn between
// those points less the nose's, 30 degrees for d = 352.7 m. The aircraft passes 0.5 * d * sin 45 =
// 124.7 m from the corner.
TEST_F(AirCorners, ASharpCornerIsCutNoWiderThanTheNoseNeeds) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  const Situation corner = then(ac, 90, 1.5, 3000);
  then(ac, 0, 2.0, 4000);
  then(ac, 0, 2.0, 4000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 3000 + 3000);
  ASSERT_FALSE(track.empty());
  const Flown& passing = at(track, start + 2999);
  EXPECT_NEAR(lf_metres({corner.latitude, corner.longitude}, passing.block.latitude, passing.block.longitude), 124.7, 0.3);
  const Seen s = lf_seen(track, 60);
  EXPECT_LE(s.worstOffNoseDeg, 30.5);
  EXPECT_GT(s.worstOffNoseDeg, 20.0);
  EXPECT_LE(s.fastestTurnDegPerS, 10.0 + 1e-6);
}

// A corner of 3 degrees or less is flown straight, as is one beyond 160 degrees (which no curve could
// turn); a corner between them is curved, from d = 92.6 * sin(t / 2) / (0.1745 * cos^2(t / 2)) metres
// before it (3.1 degrees: 14.36 m) at 180 kt and 10 degrees a second, or less where that would cut the
// corner by more than 20 m, but no less than the nose needs. A short leg after the corner leaves half
// of itself to the curve: 0.2 nm (370 m) after the corner, the curve ends 185 m after it.
TEST_F(AirCorners, OnlyCornersOfMoreThanThreeAndUpTo160DegreesAreCurved) {
  struct Case {
    double turnDeg;
    double afterNm;
    double curveMetres;  // 0: no curve
  };
  // d = 92.6 * sin(t / 2) / (0.1745 * cos^2(t / 2)) metres.
  for (const Case& c : std::vector<Case>{{2.9, 2, 0},
                                        {3.1, 2, 14.36},
                                        {20, 2, 95.0},
                                        // Cut 20 m inside: d = 4 * 20 / sin 40.
                                        {40, 2, 124.46},
                                        // Wider, for the nose (as in the sharp corner above).
                                        {60, 2, 152.3},
                                        {90, 2, 352.7},
                                        {90, 0.2, 185.2},
                                        {159.9, 0.2, 185.2},
                                        {160.1, 2, 0}}) {
    SCOPED_TRACE(c.turnDeg);
    gf_resetEngine();
    sim().addObject(700, 11750001, {});
    LiveAc& ac = flying();
    const Situation corner = then(ac, 90, 1.5, 3000);
    then(ac, 90 - c.turnDeg, c.afterNm, 4000);
    nextPosMain(ac);
    const AirPath& p = lf_findLiveByObjectId(700)->airPath;
    if (c.curveMetres == 0) {
      EXPECT_EQ(p.count, 0);
      continue;
    }
    ASSERT_EQ(p.count, 2);
    // The straight stretch ends where the curve begins.
    const double north = p.pieces[1].north0, east = p.pieces[1].east0;
    const Offset toCorner = lf_offset({p.originLatitude, p.originLongitude}, corner.latitude, corner.longitude);
    EXPECT_NEAR(std::hypot(toCorner.north - north, toCorner.east - east), c.curveMetres, 0.5);
  }
}

// The turn after a corner goes on in the next leg, from the middle of the curve, and ends on the
// next leg's line; a next leg that no longer starts where the curve was laid out begins straight.
TEST_F(AirCorners, TheRestOfTheCurveIsFlownAtTheStartOfTheNextLeg) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  then(ac, 90, 1.5, 3000);
  const Situation after = then(ac, 0, 2.0, 4000);
  then(ac, 0, 2.0, 4000);
  const std::int32_t start = cycle();
  run(3001);
  const LiveAc& next = *lf_findLiveByObjectId(700);
  ASSERT_GE(next.airPath.count, 2);
  EXPECT_EQ(next.airPath.entered, 1);
  // The first piece ends 352.7 m north of the corner (as in the sharp corner above), on the leg's line.
  const AirPath::Piece& rest = next.airPath.pieces[0];
  const Offset toAfter = lf_offset({next.airPath.originLatitude, next.airPath.originLongitude}, after.latitude, after.longitude);
  EXPECT_NEAR(std::hypot(toAfter.north - rest.north2, toAfter.east - rest.east2), 2.0 * 1852 - 352.7, 1.0);
  EXPECT_NEAR(std::atan2(toAfter.east - rest.east2, toAfter.north - rest.north2) * kRadToDeg, 0.0, 0.1);
  EXPECT_EQ(cycle() - start, 3001);
}

// Each category turns its nose at its own rate toward the course it flies, here 90 degrees off it:
// Light 12 degrees a second, Buzjets 10, Large 10, Heavy 8, HighPerf 12, Rotorcraft 12.
TEST_F(AirCorners, EachCategoryTurnsItsNoseAtItsOwnRate) {
  const std::array<double, 6> degreesPerSecond{12, 10, 10, 8, 12, 12};
  for (int category = Light; category <= Rotorcraft; ++category) {
    SCOPED_TRACE(category);
    gf_resetEngine();
    LiveAc& ac = flying();
    ac.category = category;
    ac.position.heading = 0;  // north, flying east
    then(ac, 90, 1.5, 3000);
    run(2);
    const double turned = lf_findLiveByObjectId(700)->position.heading * kRadToDeg;
    EXPECT_NEAR(turned, 2 * degreesPerSecond[static_cast<std::size_t>(category)] / 100, 1e-9);
    EXPECT_NEAR(gf_airTurnRate(category) * kRadToDeg, degreesPerSecond[static_cast<std::size_t>(category)], 1e-12);
  }
  for (int category : {-1, 6}) {
    try {
      gf_airTurnRate(category);
      ADD_FAILURE() << category;
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
  }
}

// Slower than 20 kt the course flown says little (a helicopter edging along): the nose keeps the
// leg's planned heading step (here none); from 20 kt it turns toward the course. A helicopter at 60 kt
// or slower yaws round at 30 degrees a second, faster at its 12.
TEST_F(AirCorners, TheNoseOfASlowHelicopter) {
  struct Case {
    double knots;
    double degreesIn2Cycles;
  };
  for (const Case& c : std::vector<Case>{{19.5, 0}, {20.5, 0.6}, {59.5, 0.6}, {60.5, 0.24}}) {
    SCOPED_TRACE(c.knots);
    gf_resetEngine();
    LiveAc& ac = flying();
    ac.category = Rotorcraft;
    ac.situations.front().speed = c.knots;
    ac.position.heading = 0;
    then(ac, 90, c.knots * 30 / 3600, 3000).speed = c.knots;  // 30 s at that speed
    run(2);
    EXPECT_NEAR(lf_findLiveByObjectId(700)->position.heading * kRadToDeg, c.degreesIn2Cycles, 1e-9);
  }
}

// The bank is that of a level turn at the rate the nose turns: at 200 kt (102.9 m/s) turning half a
// degree a second, atan(0.008727 * 102.9 / 9.80665) = 5.232 degrees, toward the turn (a right turn
// banks right, a negative bank). The bank comes at most 0.02 degrees a cycle (a Large aircraft):
// 0.01 degrees short of it, it gets there in one cycle.
TEST_F(AirCorners, TheBankIsThatOfALevelTurnAtTheNosesRate) {
  LiveAc& ac = flying();
  ac.situations.front().speed = 200;
  // Due north, along a meridian: the course is exactly 0.
  then(ac, 0, 200.0 * 30 / 3600, 3000).speed = 200;
  ac.position.heading = kTwoPi - 0.005 * kDegToRad;
  ac.position.bank = (-5.232 + 0.01) * kDegToRad;
  run(1);
  const LiveAc& after = *lf_findLiveByObjectId(700);
  EXPECT_NEAR(after.bankStep * kRadToDeg, -0.01, 0.002);
}

// A hovering helicopter turns on the spot toward its next move (at 30 degrees a second); it sets off
// with its nose on the course, which it would otherwise reach only after turning 150 degrees in
// flight.
TEST_F(AirTurns, AHoveringHelicopterTurnsOnTheSpotTowardItsNextMove) {
  Line line;
  line.type = "B407";
  line.category = "A7";
  line.callsign = "N77NY";
  line.reg = "N77NY";
  line.lat = 40.75;
  line.lon = -73.95;
  line.track = 0;
  line.gs = 60;
  line.alt = 1000;
  std::vector<enginesim::RecordedLine> lines;
  const auto add = [&](const Line& l) { lines.push_back({l.text(), l.timestamp, l.hexid}); };
  for (int i = 0; i < 4; ++i, line = line.after(10)) add(line);
  // Standing in the air for 30 s: the feed repeats the position (with the speed it had).
  Line hover = line;
  for (int i = 0; i < 4; ++i) {
    add(hover);
    hover.timestamp += 10;
  }
  line = hover;
  line.track = 150;
  line = line.after(10);
  for (int i = 0; i < 6; ++i, line = line.after(10)) add(line);
  harness().schedule(lines, cycle());
  run(3000 + 15000);
  const Seen s = lf_seen(flownTrack(), 20);
  EXPECT_LE(s.worstOffNoseDeg, 5.0);
  EXPECT_LE(s.fastestTurnDegPerS, 30.0 + 1e-6);
}

// Created a few seconds after its first position fell due, an aircraft catches up over its next legs
// at no more than 1.3 times the leg's speed and 30 kt more: at 100 kt, 160 kt.
TEST_F(AirTurns, ALateAircraftCatchesUpNoFasterThanItsCatchUpSpeed) {
  Line line;
  line.lat = 40.80;
  line.lon = -73.95;
  line.track = 120;
  line.gs = 100;
  std::vector<enginesim::RecordedLine> lines;
  for (int i = 0; i < 50; ++i, line = line.after(2)) lines.push_back({line.text(), line.timestamp, line.hexid});
  harness().follow(line.hexid);
  harness().schedule(lines, cycle());
  run(3000 + 11000);
  const Seen s = lf_seen(flownTrack(), 0);
  EXPECT_GT(s.fastestKt, 120.0);  // it did catch up
  EXPECT_LE(s.fastestKt, 160.0 + 0.5);
  // ... and is on time from then on.
  const auto& passed = harness().passages(line.hexid);
  ASSERT_GT(passed.size(), 20u);
  for (auto p = passed.end() - 10; p != passed.end(); ++p) EXPECT_LE(std::abs(p->cycle - p->position.due), 2);
}

}  // namespace
}  // namespace amb
