// The last of an approach: the line of the final an aircraft holds low over the ground whatever
// other senders report aside of it, and the roll-out after a touchdown away from where the records
// roll out.

#include "engine_fixture.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

namespace amb {
namespace {

using test::EngineTest;

constexpr double kMetresPerDegree = 111132.95;
const LatLon kPark{40.639751, -73.778925};  // the harness's park airport, 13 ft
constexpr double kGround = 13;
constexpr double kCg = 10;

LatLon lf_toward(const LatLon& from, double bearingDeg, double metres) {
  return gf_destinationPoint(from, bearingDeg * kDegToRad, metres / 0.3048);
}
// Metres a position lies to the right of the line through `on` along `courseDeg` (left: negative).
double lf_aside(const LatLon& on, double courseDeg, double lat, double lon) {
  const double north = (lat - on.lat) * kMetresPerDegree;
  const double east = (lon - on.lon) * kMetresPerDegree * std::cos(on.lat * kDegToRad);
  const double c = courseDeg * kDegToRad;
  return east * std::cos(c) - north * std::sin(c);
}

class FinalLine : public EngineTest {
protected:
  static constexpr std::uint32_t kHexid = 11970001;
  // An A321 in the simulator 1.5 nm south of the park airport, heading north at 140 kt, `heightFt`
  // above the ground and coming in to land; its records every 650 m (9 s), the first `straight`
  // north, the rest `turnDeg` to the right of that, at the heights given (0: on the ground).
  LiveAc& final(std::uint32_t objectId, double heightFt, const std::vector<double>& heights, int straight = 99,
                double turnDeg = 0) {
    m_start = lf_toward(kPark, 180, 1.5 * 1852);
    sim().addObject(objectId, kHexid, {});
    Situation first = situation(m_start.lat, m_start.lon, kGround + heightFt, 140, cycle());
    first.verticalSpeed = -700;
    LiveAc& ac = addInSim(kHexid, objectId, first);
    ac.position.heading = 0;
    ac.position.altitude = kGround + kCg + heightFt;
    ac.heightAboveGround = heightFt;
    ac.groundElevation = kGround;
    ac.staticCgHeight = kCg;
    ac.landingMode = 1;
    for (std::size_t i = 0; i < heights.size(); ++i) {
      const Situation& last = ac.situations.back();
      const double course = static_cast<int>(i) < straight ? 0 : turnDeg;
      const LatLon to = lf_toward({last.latitude, last.longitude}, course, 650);
      const bool airborne = heights[i] > 0;
      Situation s = situation(to.lat, to.lon, airborne ? kGround + heights[i] : 0, 140, last.due + 902, airborne);
      s.verticalSpeed = airborne ? -700 : 0;
      s.heading = course;
      ac.situations.push_back(s);
    }
    sim().onPosition = [this, objectId](std::int32_t, const enginesim::SimObject& o, const AiPosBlock& b) {
      if (o.id == objectId) m_blocks.push_back(b);
    };
    return ac;
  }
  // The block at which the object first stands on the ground.
  std::optional<AiPosBlock> touchdown() {
    for (const AiPosBlock& b : m_blocks)
      if (sim().standsOnGround(b)) return b;
    return std::nullopt;
  }

  LatLon m_start;
  std::vector<AiPosBlock> m_blocks;
};

// A straight final from 480 ft whose record at 160 ft is another sender's, 1 km east of the line:
// established on the line below 500 ft, the aircraft flies on along it and touches down on it, never
// farther off it than about its wingspan (35 m), instead of turning toward that record.
TEST_F(FinalLine, AJunkRecordAsideOnShortFinalIsFlownOnTheLine) {
  LiveAc& ac = final(700, 480, {400, 320, 240, 160, 80, 0, 0});
  Situation& junk = ac.situations[4];
  const LatLon aside = lf_toward({junk.latitude, junk.longitude}, 90, 1000);
  junk.latitude = aside.lat;
  junk.longitude = aside.lon;
  run(9000);
  double widest = 0;
  for (const AiPosBlock& b : m_blocks) widest = std::max(widest, std::fabs(lf_aside(m_start, 0, b.latitude, b.longitude)));
  EXPECT_LT(widest, 35.0);
  const std::optional<AiPosBlock> down = touchdown();
  ASSERT_TRUE(down.has_value());
  EXPECT_LT(std::fabs(lf_aside(m_start, 0, down->latitude, down->longitude)), 35.0);
}

// A final whose records turn 25 degrees to the right after the first 650 m is no straight final
// there: the aircraft is not held to the line of that first stretch (which would put the records
// after the turn, 275 m and more aside of it, back on it), follows the records round and touches
// down on their line.
TEST_F(FinalLine, AFinalThatTurnsIsNotHeldToItsFirstStretch) {
  LiveAc& ac = final(701, 480, {400, 320, 240, 160, 80, 0, 0}, 1, 25);
  const Situation corner = ac.situations[1];
  std::vector<double> heldCourses;
  for (int i = 0; i < 9000; ++i) {
    run(1);
    const LiveAc* now = lf_findLiveByHexid(kHexid);
    if (now != nullptr && now->finalLine) heldCourses.push_back(now->finalLine->course * kRadToDeg);
  }
  // Straight again after the turn, the line it holds is the turned one.
  EXPECT_FALSE(heldCourses.empty());
  for (const double course : heldCourses) EXPECT_NEAR(course, 25.0, 10.0);
  const std::optional<AiPosBlock> down = touchdown();
  ASSERT_TRUE(down.has_value());
  EXPECT_LT(std::fabs(lf_aside({corner.latitude, corner.longitude}, 25, down->latitude, down->longitude)), 35.0);
}

// Records 720 m apart (10 s at 140 kt) curving round from 300 to 340 degrees (20 degrees a leg, no
// straight final) down to 460 ft, 5 km short of the park airport, then nothing for 35 s, then
// records along 350 degrees from where the aircraft had got to down to the airport. Flying on through
// the silence the aircraft goes on along 340 by itself: a stretch made up that way is straight by
// making and no final to hold, so when the records are back it follows them round (a line held along
// 340 would put the later records, 200 m and more aside of it, back on it) and touches down on their
// line.
TEST_F(FinalLine, AStretchFlownOnThroughASilenceIsNoFinal) {
  constexpr std::uint32_t kHex = 11970100;
  const double legMetres = 140 * 1852.0 / 3600 * 10;
  const LatLon b0 = lf_toward(kPark, 170, 4 * legMetres);
  const LatLon a3 = lf_toward(b0, 170, 3.5 * legMetres);
  std::vector<LatLon> curve{a3};
  for (const double back : {160.0, 140.0, 120.0}) curve.insert(curve.begin(), lf_toward(curve.front(), back, legMetres));
  std::vector<AiPosBlock> blocks;
  sim().onPosition = [&](std::int32_t, const enginesim::SimObject& o, const AiPosBlock& b) {
    if (o.hexid == kHex) blocks.push_back(b);
  };
  std::vector<double> heldCourses;
  const auto runWatching = [&](std::int32_t cycles) {
    for (std::int32_t i = 0; i < cycles; ++i) {
      run(1);
      const LiveAc* ac = lf_findLiveByHexid(kHex);
      if (ac != nullptr && ac->finalLine) heldCourses.push_back(ac->finalLine->course * kRadToDeg);
    }
  };
  test::Line line;
  line.hexid = kHex;
  line.callsign = "FIN1";
  line.gs = 140;
  line.vs = -600;
  line.alt = 760;
  for (int i = 0; i < 4; ++i, line.alt -= 100, line.timestamp += 10) {
    line.track = 300 + 20 * i;
    line.lat = curve[static_cast<std::size_t>(i)].lat;
    line.lon = curve[static_cast<std::size_t>(i)].lon;
    feed(line);
    runWatching(1000);
  }
  line.alt += 100;
  line.timestamp -= 10;
  runWatching(2500);
  line.track = 350;
  line.lat = b0.lat;
  line.lon = b0.lon;
  line.alt = 400;
  line.timestamp += 25;
  for (int i = 0; i < 8; ++i, line = line.after(10)) {
    if (i == 4) {
      line.alt = 0;
      line.vs = 0;
      line.gs = 100;
    }
    feed(line);
    runWatching(1000);
  }
  runWatching(4000);
  for (const double course : heldCourses) EXPECT_NEAR(std::remainder(course - 350, 360), 0.0, 5.0);
  std::optional<AiPosBlock> down;
  for (const AiPosBlock& b : blocks)
    if (!down && sim().standsOnGround(b)) down = b;
  ASSERT_TRUE(down.has_value());
  EXPECT_LT(std::fabs(lf_aside(b0, 350, down->latitude, down->longitude)), 35.0);
}

// When the line is held: in landing mode, an aeroplane, 500 ft or lower, on a straight final toward
// its field (ahead of it, no more than 3 km across the line); a go-around or a climb above 500 ft
// lets it go.
TEST_F(FinalLine, TheLineIsHeldOnlyLowOnAStraightFinalTowardTheField) {
  struct Case {
    const char* what;
    double heightFt;
    int category = Large;
    std::optional<LatLon> field;  // its landing field, when known
    bool held = true;
  };
  const LatLon ahead = kPark;
  const std::vector<Case> cases{
      {"straight toward the park airport", 480, Large, std::nullopt},
      {"its field 2.5 km across the line", 480, Large, lf_toward(ahead, 90, 2500)},
      {"its field 3.5 km across the line", 480, Large, lf_toward(ahead, 90, 3500), false},
      {"its field behind", 480, Large, lf_toward(ahead, 180, 5 * 1852), false},
      {"above 500 ft", 900, Large, ahead, false},
      {"a helicopter", 480, Rotorcraft, ahead, false},
  };
  std::uint32_t objectId = 710;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    const double h = c.heightFt;
    LiveAc& ac = final(++objectId, h, {h - 60, h - 120, h - 180, h - 240});
    ac.category = c.category;
    if (c.field) ac.landingField = AirportData{"FLD", "FLD", c.field->lat, c.field->lon, kGround};
    // On its second leg, straight on from the first.
    run(1300);
    const LiveAc* flying = lf_findLiveByHexid(kHexid);
    ASSERT_NE(flying, nullptr);
    EXPECT_EQ(flying->finalLine.has_value(), c.held);
  }
  for (const auto& [what, letGo] : std::vector<std::pair<const char*, void (*)(LiveAc&)>>{
           {"a go-around", [](LiveAc& a) { a.landingMode = 0; }},
           {"above 500 ft", [](LiveAc& a) { a.heightAboveGround = 510; }}}) {
    SCOPED_TRACE(what);
    gf_resetEngine();
    final(++objectId, 480, {420, 360, 300, 240});
    // Between two of the simulator's reports of the height.
    run(1350);
    LiveAc* held = lf_findLiveByHexid(kHexid);
    ASSERT_TRUE(held != nullptr && held->finalLine.has_value());
    letGo(*held);
    run(1);
    EXPECT_FALSE(lf_findLiveByHexid(kHexid)->finalLine.has_value());
  }
}

class RollOut : public EngineTest {
protected:
  static constexpr std::uint32_t kObject = 720;
  // An A321 in the simulator flaring over the runway at the park airport, heading north; its buffer
  // the positions given, in metres and degrees from it, the first the one it flies to.
  LiveAc& flaring(const std::vector<std::pair<double, double>>& positions) {
    sim().addObject(kObject, 11970100, {});
    LiveAc& ac = addInSim(11970100, kObject, situation(kPark.lat, kPark.lon, 50, 130, cycle()));
    ac.situations.clear();
    for (std::size_t i = 0; i < positions.size(); ++i) {
      const LatLon at = lf_toward(kPark, positions[i].second, positions[i].first);
      ac.situations.push_back(situation(at.lat, at.lon, 40, 100, cycle() + 200 + 1000 * static_cast<int>(i)));
    }
    ac.position.heading = 0;
    ac.position.altitude = kGround + kCg + 1;
    ac.staticCgHeight = kCg;
    ac.groundElevation = kGround;
    ac.heightAboveGround = 1;
    ac.landingMode = 1;
    ac.flareStage = 4;
    return ac;
  }
  // The simulator reports the object on the ground.
  void touchesDown(const LiveAc& ac) {
    sim().push({ac.objectId, 1u, 0, OtherAircraft, kGround, 0});
    gf_SimCommands();
  }
  // Metres and degrees from the aircraft of each position left.
  static std::vector<std::pair<double, double>> left(const LiveAc& ac) {
    std::vector<std::pair<double, double>> out;
    const LatLon here{ac.position.latitude, ac.position.longitude};
    for (const Situation& s : ac.situations) {
      double bearing = gf_bearingRad(here, {s.latitude, s.longitude}) * kRadToDeg;
      if (bearing > 180) bearing -= 360;
      out.emplace_back(std::round(gf_distanceNm(here, {s.latitude, s.longitude}) * 1852), std::round(bearing));
    }
    return out;
  }
};

// Touching down, the positions after the first that lie more than 45 degrees off the nose and more
// than 50 m away are not driven to; the one it flies to, when nothing else is left and it lies well
// off the nose, is moved ahead along it, as far away. Positions as (metres, degrees off the nose).
TEST_F(RollOut, TouchingDownItRollsOutAlongItsNose) {
  using Positions = std::vector<std::pair<double, double>>;
  struct Case {
    const char* what;
    Positions before, after;
  };
  const std::vector<Case> cases{
      {"one behind, then one ahead", {{100, 0}, {300, 180}, {500, 0}}, {{100, 0}, {500, 0}}},
      {"one across, then one ahead", {{100, 0}, {200, 90}, {600, 10}}, {{100, 0}, {600, 10}}},
      {"40 m across", {{100, 0}, {40, 90}, {600, 0}}, {{100, 0}, {40, 90}, {600, 0}}},
      {"60 m across", {{100, 0}, {60, 90}, {600, 0}}, {{100, 0}, {600, 0}}},
      {"40 degrees off", {{100, 0}, {300, 40}}, {{100, 0}, {300, 40}}},
      {"50 degrees off", {{100, 0}, {300, -50}, {600, 0}}, {{100, 0}, {600, 0}}},
      {"the one it flies to behind, and nothing after", {{300, 180}}, {{300, 0}}},
      {"the one it flies to behind, the rest across", {{300, 180}, {300, 90}, {500, -100}}, {{300, 0}}},
      {"the one it flies to 20 m across", {{20, 90}}, {{20, 90}}},
      {"the one it flies to ahead", {{300, 20}}, {{300, 20}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = flaring(c.before);
    touchesDown(ac);
    ASSERT_EQ(ac.landed, 1u);
    EXPECT_EQ(left(ac), c.after);
  }
}

}  // namespace
}  // namespace amb
