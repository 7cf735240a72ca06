// Records of a known aircraft that the intake drops: a speed jump from or to a crawl, and a straight
// run too short to show, where "straight" measures the heading change across north; the event
// helpers that ignore a setting they do not know.

#include "engine_fixture.hpp"

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class Intake : public EngineTest {
protected:
  // Offers the aircraft a record of the situation with its own track, `seconds` after its last data.
  static bool offer(LiveAc& ac, Situation s, double trackDeg, double seconds) {
    s.heading = trackDeg;
    s.feedTrackGiven = 1;
    TrafficRecord record;
    record.hexid = ac.hexid;
    record.situation = s;
    record.timestamp = ac.lastDataTime + seconds;
    record.identity.callsign = ac.callsign;
    record.identity.model = ac.model;
    record.identity.airline = ac.airline;
    record.identity.registration = ac.registration;
    return lf_offerRecord(ac, record);
  }
};

TEST_F(Intake, DropRulesMeasureSpeedJumpsAndHeadingsAcrossNorth) {
  Line air;  // 5000 ft
  Line ground;
  ground.lat = 40.6413;
  ground.lon = -73.7781;
  ground.alt = 0;
  const auto at = [](Line l, double gs, double track) {
    l.gs = gs;
    l.track = track;
    return l;
  };
  const auto later = [](Line l, double seconds, double gs, double track) {
    l = l.after(seconds);
    l.gs = gs;
    l.track = track;
    return l;
  };
  struct Case {
    const char* what;
    Line first;
    Line next;
    bool taken;
  };
  const std::vector<Case> cases{
      // A speed ten times that of a record above 5 kt, or 80 kt from 5 kt or less, is a jump.
      {"from 6 kt to 60 kt", at(ground, 6, 90), later(at(ground, 6, 90), 10, 60, 90), false},
      {"from 5 kt to 50 kt", at(ground, 5, 90), later(at(ground, 5, 90), 10, 50, 90), true},
      {"from 60 kt to 6 kt", at(ground, 60, 90), later(at(ground, 60, 90), 10, 6, 90), false},
      {"from 50 kt to 5 kt", at(ground, 50, 90), later(at(ground, 50, 90), 10, 5, 90), true},
      {"from 5 kt to 80 kt", at(ground, 5, 90), later(at(ground, 5, 90), 10, 80, 90), false},
      // From 9 kt, 85 kt is neither tenfold nor from standing.
      {"from 9 kt to 85 kt", at(ground, 9, 90), later(at(ground, 9, 90), 10, 85, 90), true},
      // 121 kt in the air: a heading change of a degree at most counts as straight (the feed gives
      // whole degrees).
      {"359 to 0 degrees, 121 kt, 3 s", at(air, 121, 359), later(at(air, 121, 359), 3, 121, 0), false},
      {"358 to 0 degrees, 121 kt, 3 s", at(air, 121, 358), later(at(air, 121, 358), 3, 121, 0), true},
      {"0 to 359 degrees, 121 kt, 3 s", at(air, 121, 0), later(at(air, 121, 0), 3, 121, 359), false},
      // 10 kt taxiing: two degrees at most.
      {"358 to 0 degrees, 10 kt, 3.8 s", at(ground, 10, 358), later(at(ground, 10, 358), 3.8, 10, 0), false},
      {"357 to 0 degrees, 10 kt, 3.8 s", at(ground, 10, 357), later(at(ground, 10, 357), 3.8, 10, 0), true},
  };
  std::uint32_t hexid = 11730000;
  for (Case c : cases) {
    SCOPED_TRACE(c.what);
    c.first.hexid = c.next.hexid = ++hexid;
    c.first.callsign = c.next.callsign = fmt::format("J{}", hexid % 1000);
    ASSERT_TRUE(feed(c.first));
    run(1);
    const LiveAc* ac = lf_findLiveByHexid(hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_TRUE(feed(c.next));
    run(1);
    EXPECT_EQ(ac->situations.size(), c.taken ? 2u : 1u);
  }
}

// A record of an aircraft flying synthetic legs ends them: the windows open again (3000 early, 3000 or,
// with its take-off pending, 5000 late) and the front falls due at once. In the air the record is
// judged by its own track: 101 degrees off the nose along its course from the last position, the
// aircraft turned to it and it is taken; with a track still north it is held and the synthetic
// legs go on.
TEST_F(Intake, ARecordEndsTheSyntheticLegs) {
  const LatLon from{40.70, -73.90};
  for (const auto& [pending, late] : {std::pair{false, 3000}, std::pair{true, 5000}}) {
    SCOPED_TRACE(pending);
    gf_resetEngine();
    LiveAc& ac = addInSim(11730200, 1110, situation(from.lat, from.lon, 5000, 250, cycle() + 500));
    ac.position.heading = 0;
    ac.extensionCount = 3;
    ac.takeOffPending = pending ? 1 : 0;
    ac.earlyWindow = ac.lateWindow = 1000;
    const LatLon ahead = gf_destinationPoint(from, 0, 0.5 * kFeetPerNm);
    decodeExisting(ac, situation(ahead.lat, ahead.lon, 5000, 250, cycle() + 3000));
    EXPECT_EQ(ac.extensionCount, 0);
    EXPECT_EQ(ac.earlyWindow, 3000);
    EXPECT_EQ(ac.lateWindow, late);
    EXPECT_EQ(ac.situations.front().due, cycle() + 1);
  }
  for (const auto& [trackDeg, taken] : {std::pair{101.0, true}, std::pair{0.0, false}}) {
    SCOPED_TRACE(trackDeg);
    gf_resetEngine();
    LiveAc& ac = addInSim(11730201, 1111, situation(from.lat, from.lon, 5000, 250, cycle() + 500));
    ac.position.heading = 0;
    ac.extensionCount = 3;
    const LatLon off = gf_destinationPoint(from, 101 * kDegToRad, 0.5 * kFeetPerNm);
    offer(ac, situation(off.lat, off.lon, 5000, 250, cycle() + 3000), trackDeg, 20);
    EXPECT_EQ(ac.situations.size(), taken ? 2u : 1u);
    EXPECT_EQ(ac.extensionCount, taken ? 0 : 3);
  }
}

// The recording's ASQ3997: the feed repeated its position while it turned, so it flies synthetic legs on
// along its nose (west, 270 degrees), 2 nm past the last position reported (track 267). Its next
// record, 1.4 nm north-west of that position with a track of 300, lies far behind the synthetic
// legs, but it is where the aircraft turned to: it goes on from the last position reported, is taken
// and ends the synthetic legs. One 1.4 nm east-south-east of it with its track still 267 is held.
TEST_F(Intake, ARecordAfterATurnEndsTheSyntheticLegs) {
  const LatLon reported{40.6377, -74.1998};
  for (const auto& [bearing, track, taken] : {std::tuple{305.0, 300.0, true}, std::tuple{120.0, 267.0, false}}) {
    SCOPED_TRACE(bearing);
    gf_resetEngine();
    LiveAc& ac = addInSim(11730202, 1112, situation(reported.lat, reported.lon, 2675, 197, cycle() + 500));
    ac.lastRecordTrack = 267;
    ac.position.heading = 270 * kDegToRad;
    const LatLon past = gf_destinationPoint(reported, 270 * kDegToRad, 2 * kFeetPerNm);
    ac.situations.push_back(situation(past.lat, past.lon, 2675, 187, cycle() + 1300));
    ac.extensionCount = 6;
    const LatLon next = gf_destinationPoint(reported, bearing * kDegToRad, 1.4 * kFeetPerNm);
    offer(ac, situation(next.lat, next.lon, 4050, 206, cycle() + 3000), track, 30);
    EXPECT_EQ(ac.situations.size(), taken ? 3u : 2u);
    EXPECT_EQ(ac.extensionCount, taken ? 0 : 6);
    EXPECT_EQ(ac.heldRecord.has_value(), !taken);
  }
}


// On the ground a position within 0.00015 degrees of the last is the same place: the aircraft stands
// there. Rolling for take-off (the last position at 30 kt or more where it repeats exactly, 50 kt or
// more where it moved a little) such a position is dropped instead.
TEST_F(Intake, ARollingDepartureIgnoresARepeatedPosition) {
  struct Case {
    double lastSpeed, offDeg;
    bool dropped;
  };
  for (const Case& c : std::vector<Case>{{30, 0, true}, {29, 0, false}, {50, 0.0001, true}, {49, 0.0001, false}}) {
    SCOPED_TRACE(fmt::format("{} kt, {} degrees on", c.lastSpeed, c.offDeg));
    gf_resetEngine();
    LiveAc& ac = addInSim(11730300, 1120, situation(40.6413, -73.7781, 0, c.lastSpeed, cycle() + 500, false));
    ac.takeOffPending = 1;
    Situation s = situation(40.6413 + c.offDeg, -73.7781, 0, 10, cycle() + 3000, false);
    EXPECT_EQ(checkNewSituation(ac, s), !c.dropped);
    if (!c.dropped) {
      EXPECT_EQ(s.noMovement, 1u);
      EXPECT_DOUBLE_EQ(s.speed, 0);
      EXPECT_EQ(s.latitude, 40.6413);
    }
  }
}

// A helicopter may hover: the feed repeating its position while it was reported at 60 kt or slower
// is a hover, and taken as one. Reported faster (the recording's N132TD at 104 kt), the repeat is the
// feed falling silent, dropped as for an aeroplane; stopping dead in it from 160 kt would be no hover.
TEST_F(Intake, AHelicopterHoversOnlyWhereItWasReportedSlow) {
  for (const auto& [speed, taken] : {std::pair{60.0, true}, std::pair{104.0, false}}) {
    SCOPED_TRACE(speed);
    gf_resetEngine();
    LiveAc& ac = addInSim(11730310, 1121, situation(40.6801, -74.0716, 1525, speed, cycle() + 500), "B407");
    ac.category = Rotorcraft;
    Situation s = situation(40.6801, -74.0716, 1525, speed, cycle() + 1500);
    EXPECT_EQ(checkNewSituation(ac, s), taken);
    if (taken) {
      EXPECT_EQ(s.noMovement, 1u);
    }
  }
}

// On an approach or after the touchdown, records behind the aircraft's nose say the stream went back:
// buffered positions they put behind (90 degrees or more off the nose, seen from the last position)
// go; with one situation left, an approach drops such a record, and a landed aircraft whose record
// lies 150 degrees or more off the nose starts again from where it is.
TEST_F(Intake, DuringALandingRecordsBehindTheNoseAreNotFlownBack) {
  const LatLon from{40.6413, -73.7781};
  // The point `metres` on `bearingDeg` from the point `north` metres north of the front.
  const auto at = [&](double north, double bearingDeg, double metres) {
    const LatLon n = gf_destinationPoint(from, 0, north / 0.3048);
    const LatLon p = gf_destinationPoint(n, bearingDeg * kDegToRad, metres / 0.3048);
    return situation(p.lat, p.lon, 0, 60, cycle() + 2000, false);
  };
  struct Case {
    const char* what;
    std::vector<double> buffered;      // metres north of the front
    double north, bearingDeg, metres;  // the record
    bool landing;
    bool taken;
    std::size_t left;
    bool restarted;
  };
  const std::vector<Case> cases{
      {"one ahead, the record 89 degrees off from it", {200}, 200, 89, 100, false, true, 2, false},
      {"one ahead, the record 91 degrees off from it", {200}, 200, 91, 100, false, true, 1, false},
      {"two ahead, the record behind both", {100, 200}, 50, 0, 0, false, true, 1, false},
      {"two ahead, behind the last, 89 degrees off the first", {100, 200}, 100, 89, 30, false, true, 2, false},
      {"two ahead, behind the last, 91 degrees off the first", {100, 200}, 100, 91, 30, false, true, 1, false},
      {"approach, 89 degrees off", {}, 0, 89, 100, true, true, 1, false},
      {"approach, 91 degrees off", {}, 0, 91, 100, true, false, 1, false},
      {"landed, 149 degrees off", {}, 0, 149, 100, false, true, 1, false},
      {"landed, 151 degrees off", {}, 0, 151, 100, false, true, 1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    gf_resetEngine();
    LiveAc& ac = addInSim(11730400, 1130, situation(from.lat, from.lon, 0, 60, cycle() + 500, false));
    ac.position.heading = 0;
    ac.landingMode = c.landing ? 1 : 0;
    ac.landed = c.landing ? 0 : 1;
    for (const double m : c.buffered) ac.situations.push_back(at(m, 0, 0));
    EXPECT_EQ(checkNewPosDuringLanding(ac, at(c.north, c.bearingDeg, c.metres)), c.taken);
    EXPECT_EQ(ac.situations.size(), c.left);
    EXPECT_EQ(ac.situations.front().due == cycle() + 1, c.restarted);
  }
  // The same position again is no news.
  gf_resetEngine();
  LiveAc& ac = addInSim(11730401, 1131, situation(from.lat, from.lon, 0, 60, cycle() + 500, false));
  ac.landingMode = 1;
  EXPECT_FALSE(checkNewPosDuringLanding(ac, ac.situations.back()));
}

// Throttle positions 0 to 4 and flaps settings 0 to 3 exist; others are ignored, as is a setting
// already made.
TEST_F(Intake, EventHelpersIgnoreSettingsTheyDoNotKnow) {
  LiveAc& ac = addInSim(11730100, 1100, situation(40.7, -73.9, 5000, 250, 1 << 30));
  ac.throttleMarker = 2;
  ac.flapsMarker = 1;
  lf_setThrottle(ac, 5);
  lf_setFlaps(ac, 4);
  lf_setThrottle(ac, 2);
  lf_setFlaps(ac, 1);
  EXPECT_EQ(ac.throttleMarker, 2u);
  EXPECT_EQ(ac.flapsMarker, 1u);
  lf_setThrottle(ac, 4);
  lf_setFlaps(ac, 3);
  run(1);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> events;
  for (const auto& e : sim().eventsOf(1100)) events.emplace_back(e.eventId, e.data);
  EXPECT_EQ(events,
            (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{EVT_THROTTLE_SET, 16383}, {EVT_FLAPS_SET, 16383}}));
}

}  // namespace
}  // namespace amb
