// Turns in the air: the nose along the course flown, the corners of the reported track
// rounded inside them, no turn faster than the bank allows, abeam each corner at its due time, a
// held record turned toward while the feed decides, and a late aircraft that catches up no faster
// than 1.3 times its speed and 30 kt.

#include "engine_fixture.hpp"

#include "traffic/air_path.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

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

// An A321 at 180 kt reported every 10 s, whose feed then holds its last position for 20 s and reports
// it next 25 s on, 90 degrees to the left: the leg into the corner is planned with nothing known
// beyond it, the turn only when the next position arrives 5 s before the corner. The nose stays with
// the course flown and never turns faster than 30 degrees of bank allow at the speed flown (at least
// 0.65 x 180 kt: 5.4 degrees a second).
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
  EXPECT_LE(s.worstOffNoseDeg, 3.0);
  EXPECT_LE(s.fastestTurnDegPerS, 9.80665 * std::tan(30 * kDegToRad) / (0.65 * 180 * kMetresPerSecondPerKnot) * kRadToDeg);
}

// An A321 at 180 kt reported every 10 s heading east; at 80 s a position 2 nm north of where it would
// be, its own track still east (76 degrees off its course from the last position: held), repeated at
// 90 and 100 s; at 110 s the next position decides. The aircraft learns of the held position 30 s
// before it is due there, so it can turn toward it before it reaches the last position taken. Had it
// flown on past that position until the next record decided, 10 s at no less than 0.65 x 180 kt, it
// would be 0.65 x 926 x cos 14 = 584 m off the line to the held position before it even began to
// turn, and farther through the turn: it stays nearer the records' track than that. When the next
// position goes on from the last one taken instead, the held one is dropped, and the aircraft comes
// back onto the track that position draws.
TEST_F(AirTurns, AHeldPositionIsTurnedTowardWhileTheFeedDecides) {
  for (const bool confirmed : {true, false}) {
    SCOPED_TRACE(confirmed ? "confirmed" : "dropped");
    Line line;
    line.hexid = confirmed ? 11000011 : 11000012;
    line.lat = 40.80;
    line.lon = -73.95;
    line.track = 90;
    line.gs = 180;
    std::vector<enginesim::RecordedLine> lines;
    const auto add = [&](const Line& l) { lines.push_back({l.text(), l.timestamp, l.hexid}); };
    for (int i = 0; i < 8; ++i, line = line.after(10)) add(line);
    const Line last = line.after(-10);  // reported at 70 s
    Line held = line;                    // at 80 s
    const LatLon north = gf_destinationPoint({line.lat, line.lon}, 0, 2 * kFeetPerNm);
    held.lat = north.lat;
    held.lon = north.lon;
    for (double t : {0.0, 10.0, 20.0}) {
      Line repeat = held;
      repeat.timestamp += t;
      add(repeat);
    }
    Line next = confirmed ? held.after(30) : last.after(40);  // at 110 s
    for (int i = 0; i < 10; ++i, next = next.after(10)) add(next);
    const Line end = next.after(-10);
    const std::int32_t from = cycle();
    harness().schedule(lines, from);
    run(3000 + 20000);

    // The object created for this aircraft (the first run's may still be in the simulator).
    const auto mine = std::find_if(m_flown.begin(), m_flown.end(), [&](const auto& o) { return o.second.front().cycle >= from; });
    ASSERT_NE(mine, m_flown.end());
    const std::vector<Flown>& track = mine->second;
    ASSERT_GT(track.size(), 10000u);
    // Metres from the segment a-b, on the plane around a.
    const auto offLine = [](const Line& a, const Line& b, const AiPosBlock& p) {
      const Offset ab = lf_offset({a.lat, a.lon}, b.lat, b.lon);
      const Offset ap = lf_offset({a.lat, a.lon}, p.latitude, p.longitude);
      const double len2 = ab.north * ab.north + ab.east * ab.east;
      const double u = std::clamp((ap.north * ab.north + ap.east * ab.east) / len2, 0.0, 1.0);
      return std::hypot(ap.north - u * ab.north, ap.east - u * ab.east);
    };
    if (confirmed) {
      // From passing the last position's longitude until 10 s after the held one's due time: off
      // the records' track.
      double worst = 0;
      for (const Flown& f : track) {
        const Offset o = lf_offset({last.lat, last.lon}, f.block.latitude, f.block.longitude);
        if (o.east < 0 || f.cycle > from + 3000 + 9000) continue;
        worst = std::max(worst, std::min(offLine(last, held, f.block), offLine(held, end, f.block)));
      }
      EXPECT_GT(worst, 0.0);
      EXPECT_LT(worst, 584.0);
    } else {
      // Back on the track east by the time the records have it 60 s past the dropped position.
      const Flown& at = track.back();
      EXPECT_LT(offLine(last, end, at.block), 50.0);
    }
  }
}

// The same A321 east at 180 kt; at 80 s the feed sends its position of 40 s again (it replays an old
// snapshot), repeated at 90 and 100 s, its track still east: held, as any record off its track. At
// 110 s the next position goes on east from the last one taken, and the old one is dropped. The
// aircraft, at the end of the positions it knows meanwhile, does not turn back toward the old one: it
// flies on east and never strays from the records' line by more than its own wobble (50 m). Turned
// toward a point 1.5 nm behind it, it would turn round on a circle of 1.5 km radius (180 kt at 30
// degrees of bank), up to 3 km off the line.
TEST_F(AirTurns, AnOldPositionSentAgainIsNotTurnedToward) {
  Line line;
  line.hexid = 11000013;
  line.lat = 40.80;
  line.lon = -73.95;
  line.track = 90;
  line.gs = 180;
  std::vector<enginesim::RecordedLine> lines;
  const auto add = [&](const Line& l) { lines.push_back({l.text(), l.timestamp, l.hexid}); };
  std::vector<Line> sent;
  for (int i = 0; i < 8; ++i, line = line.after(10)) {
    add(line);
    sent.push_back(line);
  }
  const Line first = sent.front();
  const Line last = sent.back();  // reported at 70 s
  for (double t : {80.0, 90.0, 100.0}) {
    Line old = sent[4];  // the position of 40 s
    old.timestamp = first.timestamp + t;
    add(old);
  }
  Line next = last.after(40);  // at 110 s
  for (int i = 0; i < 10; ++i, next = next.after(10)) add(next);
  const Line end = next.after(-10);
  const std::int32_t from = cycle();
  harness().schedule(lines, from);
  run(3000 + 20000);

  const auto mine =
      std::find_if(m_flown.begin(), m_flown.end(), [&](const auto& o) { return o.second.front().cycle >= from; });
  ASSERT_NE(mine, m_flown.end());
  ASSERT_GT(mine->second.size(), 10000u);
  double worst = 0;
  for (const Flown& f : mine->second) {
    const Offset o = lf_offset({first.lat, first.lon}, f.block.latitude, f.block.longitude);
    worst = std::max(worst, std::fabs(o.north));
  }
  EXPECT_LT(worst, 50.0);
  const Offset atEnd =
      lf_offset({end.lat, end.lon}, mine->second.back().block.latitude, mine->second.back().block.longitude);
  EXPECT_LT(std::fabs(atEnd.north), 50.0);
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

// A corner known a whole leg ahead: 1.5 nm east in 30 s, then 20 degrees left for 2 nm, at 180 kt
// (92.6 m/s). The aircraft steers for the track 10 s (926 m) ahead of it, so it starts its turn at
// most that far before the corner and is back on the next leg at most that far after it: it passes
// inside the corner, nearer than the middle of the chord between those two points,
// 926 * sin 10 = 160.8 m, and turns its 20 degrees over 10 s or more (2 degrees a second at most,
// a left bank of atan(92.6 * 0.0349 / 9.80665) = 18.2 degrees). The nose stays on the course flown,
// and the aircraft is abeam the corner at its due time.
TEST_F(AirCorners, ACornerIsRoundedInsideIt) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  const Situation corner = then(ac, 90, 1.5, 3000);
  then(ac, 70, 2.0, 4000);
  then(ac, 70, 2.0, 4000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 3000 + 3000);
  ASSERT_FALSE(track.empty());

  double nearest = 1e9;
  std::int32_t nearestAt = 0;
  for (const Flown& f : track) {
    const double m = lf_metres({corner.latitude, corner.longitude}, f.block.latitude, f.block.longitude);
    if (m < nearest) {
      nearest = m;
      nearestAt = f.cycle;
    }
  }
  EXPECT_GT(nearest, 10.0);
  EXPECT_LT(nearest, 160.8);
  EXPECT_NEAR(nearestAt, start + 3000, 150);
  EXPECT_GT(at(track, nearestAt).block.bank * kRadToDeg, 0.0);
  EXPECT_LE(at(track, nearestAt).block.bank * kRadToDeg, 18.2);
  // Before the turn the nose points east, after it along the next leg.
  EXPECT_NEAR(at(track, start + 1000).block.heading * kRadToDeg, 90.0, 0.5);
  EXPECT_NEAR(at(track, start + 5500).block.heading * kRadToDeg, 70.0, 1.0);
  const Seen s = lf_seen(track, 60);
  EXPECT_LE(s.worstOffNoseDeg, 1.0);
  EXPECT_LE(s.fastestTurnDegPerS, 2.0);
}

// A spike in the records: 1.5 nm east, then a position 1 nm off to the north-east, then one 0.74 nm
// back from it on 196 degrees, half a mile east of the position before the spike (the track turns
// back there by 151 degrees), then on east. No aeroplane flies out and back to such a point; the
// aircraft flies on along the line east, passing the spike where it is abeam it, as it does a
// corner: its nose turns no more than the play of the feed's positions, and it strays no farther
// north of the line than the feed's play (the spike's return lies within a metre of the line).
// A sharp turn that does not come back, 100 degrees, is still flown round.
TEST_F(AirCorners, ASpikeInTheRecordsIsFlownPastOnTheLine) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  then(ac, 90, 1.5, 3000);
  then(ac, 45, 1.0, 1000);
  then(ac, 196.3, 0.737, 1000);
  then(ac, 90, 1.5, 3000);
  then(ac, 90, 1.5, 3000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 11000);
  ASSERT_FALSE(track.empty());
  double mostNorth = 0;
  for (const Flown& f : track) mostNorth = std::max(mostNorth, lf_offset(kFrom, f.block.latitude, f.block.longitude).north);
  EXPECT_LT(mostNorth, 30.0);
  double mostOffEast = 0;
  for (const Flown& f : track) mostOffEast = std::max(mostOffEast, std::fabs(lf_turnDeg(kPi / 2, f.block.heading)));
  EXPECT_LT(mostOffEast, 3.0);

  // The same track, its third position turning 100 degrees right and on (south-south-east).
  sim().addObject(701, 11750002, {});
  LiveAc& turning = addInSim(11750002, 701, situation(kFrom.lat, kFrom.lon, 5000, 180, cycle()));
  turning.position.heading = kPi / 2;
  turning.heightAboveGround = 5000;
  then(turning, 90, 1.5, 3000);
  then(turning, 190, 1.5, 3000);
  then(turning, 190, 1.5, 3000);
  const std::int32_t from = cycle();
  const std::vector<Flown> turned = runTo(from + 9000);
  double south = 0;
  for (const Flown& f : turned) south = std::min(south, lf_offset(kFrom, f.block.latitude, f.block.longitude).north);
  EXPECT_LT(south, -2000.0);
}

// A right angle known a leg ahead, 2 nm east in 40 s, then south, at 180 kt: an A321's steepest turn
// (30 degrees of bank) is an arc of 92.6^2 / (9.80665 tan 30) = 1514 m radius, which must begin
// 1514 m before the corner to end on the leg south. The aircraft's 10 s of aim reach only 926 m:
// begun there, the same arc would end 1514 - 926 = 588 m east of the leg south. Begun where the arc
// begins, it strays east of that leg by no more than its roll into the bank shifts the arc: 5 s at
// 6 degrees a second, half of them at 92.6 m/s, 231 m.
TEST_F(AirCorners, AFastTurnIsBegunWhereItsArcBegins) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  const Situation corner = then(ac, 90, 2.0, 4000);
  then(ac, 180, 2.0, 4000);
  then(ac, 180, 2.0, 4000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 4000 + 4000);
  ASSERT_FALSE(track.empty());
  const LatLon at{corner.latitude, corner.longitude};
  double east = -1e9, turnStart = -1e9;
  for (const Flown& f : track) {
    const Offset o = lf_offset(at, f.block.latitude, f.block.longitude);
    east = std::max(east, o.east);
    if (std::fabs(f.block.bank) > 1 * kDegToRad) turnStart = std::max(turnStart, -o.east);
  }
  EXPECT_GT(turnStart, 1400.0);
  EXPECT_LT(turnStart, 1514.0);
  EXPECT_LT(east, 231.0);
}

// Late along a track that curves 20 degrees every half mile (an arc of about 926 / 0.349 = 2653 m
// radius) due every 7 s, an A321 would catch up at up to 1.3 x 180 + 30 = 264 kt. That fast its
// steepest bank (30 degrees) turns it no tighter than 135.8^2 / (9.80665 tan 30) = 3257 m, though the
// track ahead lies well within 15 degrees of its nose. Banked as steeply as it may, it slows toward
// the reported 180 kt: from one cycle to the next while so banked it never flies faster.
TEST_F(AirCorners, BankedAsSteeplyAsItMayItFliesNoFasterThanReported) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  double bearing = 90;
  for (int i = 0; i < 14; ++i, bearing += 20) then(ac, bearing, 0.5, i == 0 ? 350 : 700);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 14 * 700);
  ASSERT_GT(track.size(), 2u);
  int bankedCycles = 0;
  double speededUp = 0;
  double before = -1;
  for (std::size_t i = 1; i < track.size(); ++i) {
    const Flown& a = track[i - 1];
    const Flown& b = track[i];
    const double metres = lf_metres({a.block.latitude, a.block.longitude}, b.block.latitude, b.block.longitude);
    const bool banked = std::fabs(a.block.bank) >= 29.7 * kDegToRad && std::fabs(b.block.bank) >= 29.7 * kDegToRad;
    if (banked && before >= 0) {
      ++bankedCycles;
      speededUp = std::max(speededUp, (metres - before) * 100 / kMetresPerSecondPerKnot);
    }
    before = banked ? metres : -1;
  }
  EXPECT_GT(bankedCycles, 1000);
  EXPECT_LT(speededUp, 0.01);  // knots from one cycle to the next
}

// In the air the nose turns at the rate a coordinated turn at the bank shown gives, g tan(bank) / v:
// cycle by cycle through a corner of 60 degrees, taken as tightly as an A321's 30 degrees of bank
// allow at 180 kt (3.5 degrees a second).
TEST_F(AirCorners, TheNoseTurnsAtTheRateOfTheBankShown) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  then(ac, 90, 1.5, 3000);
  then(ac, 30, 0.5, 1000);
  then(ac, 30, 2.0, 4000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 3000 + 3000);
  double turned = 0;
  for (std::size_t i = 1; i < track.size(); ++i) {
    const Flown& a = track[i - 1];
    const Flown& b = track[i];
    const double mps = lf_metres({a.block.latitude, a.block.longitude}, b.block.latitude, b.block.longitude) * 100;
    const double rate = gf_angleDiff(a.block.heading, b.block.heading) * 100;  // radians a second
    const double banked = -9.80665 * std::tan(b.block.bank) / mps;
    EXPECT_NEAR(rate, banked, 1e-3 + 0.01 * std::fabs(banked)) << "at " << b.cycle;
    EXPECT_LE(std::fabs(rate), 9.80665 * std::tan(30 * kDegToRad) / mps * 1.01) << "at " << b.cycle;
    turned += std::fabs(rate) / 100;
  }
  EXPECT_GT(turned * kRadToDeg, 55.0);
}

// Along a straight track the aircraft flies straight along its nose, wings level: on a course of 45
// degrees at 180 kt (92.6 m/s) it moves 65.5 m north and 65.5 m east a second, each cycle on the
// line, its nose on 45 degrees. (Moved by the degrees of latitude alone, the step east would be 0.76
// of the step north, the cosine of 40.7 degrees.)
TEST_F(AirCorners, AlongAStraightTrackItFliesStraightAlongItsNose) {
  sim().addObject(700, 11750001, {});
  LiveAc& ac = flying();
  ac.position.heading = kPi / 4;
  for (int leg = 0; leg < 4; ++leg) then(ac, 45, 0.5, 1000);
  const std::int32_t start = cycle();
  const std::vector<Flown> track = runTo(start + 300);
  const Flown& first = at(track, start + 100);
  const Flown& second = at(track, start + 200);
  const Offset moved =
      lf_offset({first.block.latitude, first.block.longitude}, second.block.latitude, second.block.longitude);
  EXPECT_NEAR(moved.north, 65.5, 1.5);
  EXPECT_NEAR(moved.east, moved.north, 0.05);
  for (const Flown& f : track) {
    if (f.cycle < start + 100) continue;
    const Offset o = lf_offset(kFrom, f.block.latitude, f.block.longitude);
    EXPECT_NEAR(o.east, o.north, 0.5) << "at " << f.cycle;
    EXPECT_NEAR(f.block.heading, kPi / 4, 1e-3) << "at " << f.cycle;
    EXPECT_NEAR(f.block.bank, 0.0, 1e-3) << "at " << f.cycle;
  }
}

// The fastest turn of each category at a speed: a coordinated turn at its most bank (Light 40,
// Buzjets 35, Large 30, Heavy 20, HighPerf 90, Rotorcraft 75 degrees), g tan(bank) / v, never beyond
// 30 degrees a second, which a helicopter at 60 kt or slower turns at. At 180 kt (92.6 m/s): Light
// 5.09, Large 3.50, Heavy 2.21 degrees a second; a helicopter 22.6.
TEST_F(AirCorners, EachCategoryTurnsAtMostAtTheRateOfItsBank) {
  const double v = 180 * kMetresPerSecondPerKnot;
  EXPECT_NEAR(gf_bankedTurnRate(Light, v) * kRadToDeg, 5.09, 0.01);
  EXPECT_NEAR(gf_bankedTurnRate(Large, v) * kRadToDeg, 3.50, 0.01);
  EXPECT_NEAR(gf_bankedTurnRate(Heavy, v) * kRadToDeg, 2.21, 0.01);
  EXPECT_NEAR(gf_bankedTurnRate(Rotorcraft, v) * kRadToDeg, 22.6, 0.1);
  EXPECT_NEAR(gf_bankedTurnRate(Rotorcraft, 59 * kMetresPerSecondPerKnot) * kRadToDeg, 30.0, 1e-9);
  EXPECT_NEAR(gf_bankedTurnRate(HighPerf, v) * kRadToDeg, 30.0, 1e-9);
  for (int category : {-1, 6}) {
    try {
      gf_bankedTurnRate(category, v);
      ADD_FAILURE() << category;
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
  }
}

// A helicopter at 60 kt or slower goes where it wants and yaws its nose after it at 30 degrees a
// second (0.6 degrees in two cycles, here toward the east from north); faster it banks into the turn
// first, its nose turning only as the bank comes.
TEST_F(AirCorners, TheNoseOfASlowHelicopter) {
  struct Case {
    double knots;
    double most;
    double least;
  };
  for (const Case& c : std::vector<Case>{{19.5, 0.6, 0.6}, {59.5, 0.6, 0.6}, {60.5, 0.05, 0.0}}) {
    SCOPED_TRACE(c.knots);
    gf_resetEngine();
    LiveAc& ac = flying();
    ac.category = Rotorcraft;
    ac.situations.front().speed = c.knots;
    ac.position.heading = 0;
    then(ac, 90, c.knots * 30 / 3600, 3000).speed = c.knots;  // 30 s at that speed
    run(2);
    const double heading = lf_findLiveByObjectId(700)->position.heading * kRadToDeg;
    EXPECT_LE(heading, c.most + 1e-6);
    EXPECT_GE(heading, c.least - 1e-6);
  }
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
  // ... and is on time from then on: abeam each position within a few tenths of a second of its due
  // time.
  const auto& passed = harness().passages(line.hexid);
  ASSERT_GT(passed.size(), 20u);
  for (auto p = passed.end() - 10; p != passed.end(); ++p) EXPECT_LE(std::abs(p->cycle - p->position.due), 50);
}

// An A321 at 180 kt (the slowest it was reported at) on its leg from A to B, 1 nm east, B due in 20 s;
// the aircraft is 2 km north of the track and 300 m past B, heading east. Past every position it
// knows, it has nothing to make up: it slows to the least it flies, 0.65 x 180 = 117 kt, at 3 kt a
// second (180 - 30 kt after 10 s), never faster than it was. Hurrying to cover its 2 km from the
// track in the 20 s left, it flew on at the leg's 180 kt and swung wide of the track.
TEST_F(AirTurns, PastEveryPositionItKnowsItSlowsToTheLeastItFlies) {
  const LatLon a{40.80, -73.95};
  const LatLon b = gf_destinationPoint(a, kPi / 2, kFeetPerNm);
  const LatLon at = gf_destinationPoint(gf_destinationPoint(b, kPi / 2, 300 / 0.3048), 0, 2000 / 0.3048);
  constexpr std::uint32_t kObject = 790;
  sim().addObject(kObject, 11000790, {});
  LiveAc& ac = addInSim(11000790, kObject, situation(a.lat, a.lon, 5000, 180, cycle() - 100));
  ac.situations.push_back(situation(b.lat, b.lon, 5000, 180, cycle() + 2000));
  ac.phase = GroundPhase::Airborne;
  ac.position.latitude = at.lat;
  ac.position.longitude = at.lon;
  ac.position.altitude = 5000;
  ac.position.heading = kPi / 2;
  ac.heightAboveGround = 5000;
  ac.slowestAirborneKt = 180;
  ac.airPath.speedMps = 180 * kMetresPerSecondPerKnot;
  std::vector<double> kt;
  for (int i = 0; i < 2500; ++i) {
    run(1);
    kt.push_back(ac.airPath.speedMps / kMetresPerSecondPerKnot);
  }
  EXPECT_LE(*std::max_element(kt.begin(), kt.end()), 180 + 1e-6);
  EXPECT_NEAR(kt[999], 150, 0.5);
  EXPECT_NEAR(kt.back(), 117, 0.5);
}

}  // namespace
}  // namespace amb
