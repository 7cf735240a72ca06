// Real positions that the intake used to lose: a record the aircraft turned back to while it flew
// synthetic legs, the record that shows a landed aircraft elsewhere on the ground (it is created
// again there, from that record), the record that starts a respawn, a held record of an aircraft
// not yet created, and a record of the way an approach went while the aircraft flares on synthetic
// legs.

#include "engine_fixture.hpp"
#include "enginesim/parking.hpp"
#include "core/log.hpp"
#include "support/test_support.hpp"

#include "settings/options.hpp"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

constexpr double kField = 13;
constexpr double kCg = 10;
const LatLon kRunway{40.6413, -73.7781};

class KeptPositions : public EngineTest {
protected:
  // Hands one line to the harness's feed and runs a cycle.
  void send(const Line& l) {
    harness().schedule({{l.text(), l.timestamp, l.hexid}}, cycle());
    run(1);
  }
  static bool holds(const LiveAc& ac, const Line& l) {
    return std::any_of(ac.situations.begin(), ac.situations.end(), [&](const Situation& s) {
      return std::fabs(s.latitude - l.lat) < 1e-6 && std::fabs(s.longitude - l.lon) < 1e-6;
    });
  }
  // The simulator answers the removal of the aircraft's object.
  void simRemoves(const LiveAc& ac) {
    sim().push({ac.objectId, 0, 0, Removed, 0, 0});
    gf_SimCommands();
  }
};

// Flying synthetic legs east at 200 kt after the feed fell silent, the aircraft gets a record 0.12 nm
// west of its last position and 3748 m north of its track (where a half circle at its bank would
// bring it), and 5 s later the next, going on west. However long the silence, the stamps say
// nothing of how fast it turned: with its own track of 270 (86 degrees off its course from the last
// position) the record is held and taken with the next, which goes on from it; with a track of 356
// along that course it is taken at once.
TEST_F(KeptPositions, ARecordTheAircraftTurnedBackToIsTakenWhateverTheSilence) {
  std::uint32_t hexid = 11770000;
  for (const double silent : {10.0, 25.0}) {
    for (const double track : {270.0, 356.0}) {
      SCOPED_TRACE(fmt::format("{} s silent, track {}", silent, track));
      const bool atOnce = track != 270.0;
      Line line;
      line.hexid = ++hexid;
      line.callsign = fmt::format("TBK{}", hexid % 100);
      line.gs = 200;
      for (int i = 0; i < 4; ++i, line = line.after(10)) send(line), run(999);
      const Line last = line;
      send(last);

      // The feed is silent: the stream runs out and synthetic legs begin.
      run(3000 + static_cast<std::int32_t>(silent * 100));
      LiveAc* ac = lf_findLiveByHexid(line.hexid);
      ASSERT_NE(ac, nullptr);
      ASSERT_GT(ac->extensionCount, 0);
      Line back = last;
      // Round the half circle: 2 x 1874 m north of the track, and 0.12 nm back west.
      const LatLon north = gf_destinationPoint({last.lat, last.lon}, 0, 2 * 1874 / 1852.0 * kFeetPerNm);
      const LatLon west = gf_destinationPoint(north, 270 * kDegToRad, 0.12 * kFeetPerNm);
      back.lat = west.lat;
      back.lon = west.lon;
      back.track = track;
      back.timestamp = last.timestamp + silent;
      // Taken, a record is the last the aircraft took (the one it is measured from next), and in its
      // buffer.
      const auto tookLast = [&](const Line& l) {
        return std::fabs(ac->lastRecordLatitude - l.lat) < 1e-6 && std::fabs(ac->lastRecordLongitude - l.lon) < 1e-6;
      };
      send(back);
      EXPECT_EQ(tookLast(back), atOnce);
      EXPECT_EQ(holds(*ac, back), atOnce);
      run(499);
      Line next = back.after(5);
      next.track = 270;
      const LatLon on = gf_destinationPoint({back.lat, back.lon}, 270 * kDegToRad, 200 * 5 / 3600.0 * kFeetPerNm);
      next.lat = on.lat;
      next.lon = on.lon;
      send(next);
      EXPECT_TRUE(holds(*ac, back));
      EXPECT_TRUE(tookLast(next));
      // The synthetic legs are over: the aircraft turns to where the feed has it.
      EXPECT_EQ(ac->extensionCount, 0);
    }
  }
}

// An aircraft not yet created whose first position has nothing after it but a record held (6 nm aside
// of its track): when its spawn time comes it starts from the held record instead of being
// dropped, and the next record, going on from that one, is taken. The same when the queue of
// creations took its first position away.
TEST_F(KeptPositions, AnAircraftNotYetCreatedStartsFromItsHeldRecord) {
  for (const bool emptied : {false, true}) {
    SCOPED_TRACE(emptied);
    Line line;
    line.hexid = emptied ? 11770011 : 11770012;
    line.callsign = emptied ? "HLD1" : "HLD2";
    line.gs = 200;
    send(line);
    const std::int32_t first = cycle() - 1;
    Line jump = line;
    const LatLon far = gf_destinationPoint({line.lat, line.lon}, (line.track + 90) * kDegToRad, 6 * kFeetPerNm);
    jump.lat = far.lat;
    jump.lon = far.lon;
    jump.timestamp += 10;
    run(999);
    send(jump);
    LiveAc* ac = lf_findLiveByHexid(line.hexid);
    ASSERT_NE(ac, nullptr);
    ASSERT_TRUE(ac->heldRecord.has_value());
    if (emptied) ac->situations.clear();
    run(first + 2900 + 1 - cycle());
    ac = lf_findLiveByHexid(line.hexid);
    ASSERT_NE(ac, nullptr);
    EXPECT_EQ(ac->remove, 0u);
    ASSERT_EQ(ac->situations.size(), 1u);
    EXPECT_TRUE(holds(*ac, jump));
    const Line next = jump.after(10);
    send(next);
    EXPECT_TRUE(holds(*ac, next));
  }
}

// A new callsign with GUID_CHANGES on makes the aircraft respawn; the record that brought it is where
// the aircraft goes next, and stays in its buffer.
TEST_F(KeptPositions, TheRecordThatStartsARespawnIsKept) {
  const std::int32_t was = GUID_CHANGES.value;
  GUID_CHANGES.value = 1;
  LiveAc& ac = addInSim(11770021, 710, situation(40.70, -73.90, 5000, 250, cycle() + 100));
  ac.situations.push_back(situation(40.70, -73.89, 5000, 250, cycle() + 1100));
  TrafficRecord r;
  r.hexid = ac.hexid;
  r.identity.model = "A321";
  r.identity.callsign = "NEW123";
  r.situation = situation(40.70, -73.88, 5000, 250, cycle() + 3000);
  r.timestamp = 100;
  EXPECT_TRUE(lf_offerRecord(ac, r));
  GUID_CHANGES.value = was;
  EXPECT_EQ(ac.state, ActState::Respawning);
  ASSERT_FALSE(ac.situations.empty());
  EXPECT_EQ(ac.situations.back().longitude, -73.88);
}

// Landed and rolled out, the feed has the aircraft on the ground 300 m behind it (more than
// HOLDING_THRESHOLD_METERS, 250 m): the aircraft is removed, and when the simulator has removed it,
// created again from that report, which is its first position. Waiting at the end of its taxi
// stream, a report 300 m from where it stands does the same. Removing every aircraft (at the exit)
// creates none again.
TEST_F(KeptPositions, AnAircraftElsewhereOnTheGroundIsCreatedAgainFromTheReportThatShowsIt) {
  for (const char* how : {"landed", "waiting", "all removed"}) {
    SCOPED_TRACE(how);
    gf_resetEngine();
    LiveAc& ac = addInSim(11770031, 720, situation(kRunway.lat, kRunway.lon, 0, 20, cycle() + 100, false));
    sim().addObject(720, 11770031, {});
    ac.position.heading = 0;
    ac.staticCgHeight = kCg;
    ac.position.altitude = kField + kCg;
    if (std::string(how) == "waiting") {
      ac.waiting = 1;
    } else {
      ac.landed = 1;
    }
    const LatLon behind = gf_destinationPoint(kRunway, kPi, 300 / 0.3048);
    Situation report = situation(behind.lat, behind.lon, 0, 20, cycle() + 3000, false);
    decodeExisting(ac, report);
    ASSERT_EQ(ac.state, ActState::Removing);
    ASSERT_TRUE(ac.restartFrom.has_value());
    if (std::string(how) == "all removed") gf_removeAllLiveAc();
    simRemoves(ac);
    const LiveAc* again = lf_findLiveByHexid(11770031);
    if (std::string(how) == "all removed") {
      EXPECT_EQ(again, nullptr);
      continue;
    }
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->state, ActState::New);
    ASSERT_EQ(again->situations.size(), 1u);
    EXPECT_EQ(again->situations.front().latitude, behind.lat);
    EXPECT_EQ(again->situations.front().longitude, behind.lon);
    EXPECT_EQ(again->callsign, "TST1");
  }
}

// Still in the air on its approach (its buffer the synthetic leg it flies), the feed has the aircraft
// on the ground 400 m off, 89 or 91 degrees off its way: 91 degrees off, it landed and turned off
// while the feed repeated its approach, and it is created again there; 89 degrees off, the report is
// taken (the landing goes on to it). One 200 m off (not beyond HOLDING_THRESHOLD_METERS) is dropped
// by the landing's own rule, as before.
TEST_F(KeptPositions, AReportOnTheGroundFarOffTheApproachCreatesTheAircraftAgainThere) {
  struct Case {
    double metres, offDeg;
    bool restarted, taken;
  };
  for (const Case& c : std::vector<Case>{{400, 91, true, false}, {400, 89, false, true}, {200, 91, false, false}}) {
    SCOPED_TRACE(c.offDeg);
    SCOPED_TRACE(c.metres);
    gf_resetEngine();
    LiveAc& ac = addInSim(11770041, 730, situation(kRunway.lat, kRunway.lon, 300, 130, cycle() + 500));
    ac.position.heading = 0;
    ac.landingMode = 1;
    ac.heightAboveGround = 300;
    const LatLon off = gf_destinationPoint(kRunway, c.offDeg * kDegToRad, c.metres / 0.3048);
    decodeExisting(ac, situation(off.lat, off.lon, 0, 20, cycle() + 3000, false));
    EXPECT_EQ(ac.restartFrom.has_value(), c.restarted);
    EXPECT_EQ(ac.state == ActState::Removing, c.restarted);
    EXPECT_EQ(ac.situations.size(), c.taken ? 2u : 1u);
  }
}

// Flaring on a synthetic leg of its approach (the feed repeated the approach's last point), the
// aircraft gets the feed's next point of the approach, 60 degrees off its way: it is taken, after the
// synthetic leg, whose due stays as it was: the flare goes on where it goes. Without the flare, the
// landing's rule drops it (90 degrees or more off) or takes it as ever.
TEST_F(KeptPositions, ARecordOfTheApproachWhileFlaringOnSyntheticLegsIsKeptForAfterThem) {
  LiveAc& ac = addInSim(11770051, 740, situation(kRunway.lat, kRunway.lon, 40, 130, cycle() + 500));
  ac.position.heading = 0;
  ac.landingMode = 1;
  ac.flareStage = 2;
  ac.extensionCount = 3;
  ac.lastRecordLatitude = kRunway.lat;
  ac.lastRecordLongitude = kRunway.lon;
  ac.lastRecordTrack = 0;
  const std::int32_t syntheticDue = ac.situations.front().due;
  const LatLon off = gf_destinationPoint(kRunway, 100 * kDegToRad, 300 / 0.3048);
  decodeExisting(ac, situation(off.lat, off.lon, 40, 130, cycle() + 3000));
  ASSERT_EQ(ac.situations.size(), 2u);
  EXPECT_EQ(ac.situations.front().due, syntheticDue);
  EXPECT_EQ(ac.situations.back().latitude, off.lat);
  EXPECT_EQ(ac.extensionCount, 0);
}

}  // namespace
}  // namespace amb

namespace amb {
namespace {

// JFK with its stands.
class KeptPositionsAtStands : public KeptPositions {
protected:
  enginesim::HarnessOptions harnessOptions() const override {
    enginesim::HarnessOptions options;
    options.stands = enginesim::readParkingPositions(test::testData("airports/KJFK.parking.xml"));
    return options;
  }
};

// Landed, the feed has the aircraft standing still on a taxiway a kilometre from every stand: it is
// removed to be created again there, but a standing aircraft is created only at a stand, so it waits
// until the feed has it move, and the log says so, once; when the feed falls silent it goes, saying
// why.
TEST_F(KeptPositionsAtStands, AnAircraftNotCreatedAgainSaysWhy) {
  test::TempDir dir("recreatelog");
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  const LatLon runway{40.6330, -73.7675};
  LiveAc& ac = addInSim(11770032, 721, situation(runway.lat, runway.lon, 0, 20, cycle() + 100, false));
  sim().addObject(721, 11770032, {});
  ac.position.heading = 0;
  ac.staticCgHeight = kCg;
  ac.position.altitude = kField + kCg;
  ac.landed = 1;
  const LatLon taxiway{40.6301, -73.7704};
  decodeExisting(ac, situation(taxiway.lat, taxiway.lon, 0, 0, cycle() + 3000, false));
  ASSERT_TRUE(ac.restartFrom.has_value());
  simRemoves(ac);
  LiveAc* again = lf_findLiveByHexid(11770032);
  ASSERT_NE(again, nullptr);
  decodeExisting(*again, situation(taxiway.lat, taxiway.lon, 0, 0, cycle() + 4000, false));
  again = nullptr;
  run(5000);
  gf_closeLog("end");
  const std::string log = test::readFile(dir / "Log.txt");
  const auto at = log.find("not created again where the feed has it until it moves: it stands where no stand is");
  ASSERT_NE(at, std::string::npos) << log;
  EXPECT_EQ(log.find("it stands where no stand is", log.find("no stand is", at) + 1), std::string::npos) << "said once";
  // The feed falls silent: with its last position alone it goes, and says that too.
  EXPECT_EQ(lf_findLiveByHexid(11770032), nullptr);
  EXPECT_NE(log.find("not created again where the feed has it: a single position is not shown", at), std::string::npos)
      << log;
}

}  // namespace
}  // namespace amb
