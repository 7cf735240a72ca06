// A record that does not go on from the last one taken is held, and the next record at a new
// position decides whether the aircraft went on from it; a line stamped within a second of the last
// one, or fast along the same track, repeats it only when it has the aircraft no more than 450 m on.

#include "engine_fixture.hpp"

#include <algorithm>
#include <cmath>

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class HeldRecords : public EngineTest {
protected:
  // A line of the aircraft `north` and `east` nautical miles from the first one, with its own track,
  // `seconds` after it.
  static Line at(double north, double east, double track, double seconds) {
    Line l;
    l.hexid = 11980001;
    l.lat += north / 60;
    l.lon += east / (60 * std::cos(l.lat * kDegToRad));
    l.track = track;
    l.timestamp += seconds;
    return l;
  }
  static bool holds(const LiveAc& ac, const Line& l) {
    return std::any_of(ac.situations.begin(), ac.situations.end(), [&](const Situation& s) {
      return std::fabs(s.latitude - l.lat) < 1e-6 && std::fabs(s.longitude - l.lon) < 1e-6;
    });
  }
  const LiveAc& offer(const Line& l) {
    EXPECT_TRUE(feed(l));
    run(1);
    const LiveAc* ac = lf_findLiveByHexid(l.hexid);
    if (ac == nullptr) throw std::runtime_error("no aircraft");
    return *ac;
  }
};

// The last record taken is at (0, 0) flying east at 250 kt; the next one lies off its own track from
// there and is held; the one after it decides. The held one was the aircraft's only when the new one
// goes on from it along its own track and not from the last one taken, and the records allow the way
// from (0, 0) to the held one: within a right angle of the new one's track, or with the tracks
// reported turning by a right angle or more in all (they say the aircraft turned round): the held one
// is taken first, then it. Otherwise the held one is dropped, and the new one is taken
// when it goes on from the last one taken, else held in its turn. A step aside that the stream comes
// back from, and a record nearer the held one that goes on from neither, are no longer flown to. The
// feed repeating the held position decides nothing. Positions are (nm north, nm east, own track); the
// feed's line gives no track as 0, so none is due north.
TEST_F(HeldRecords, TheNextNewPositionDecidesWhetherTheHeldOneWasTheAircrafts) {
  struct Case {
    const char* what;
    Line held, next;
    bool heldTaken, nextTaken;
    bool repeatHeld = false;
  };
  const std::vector<Case> cases{
      // 4 nm north of (0, 0) and going on south-south-east from there: the way north is a turn round
      // from east that no track shows (east, then 150, 60 degrees in all).
      {"goes on from the held one only, the way to it against the tracks", at(4, 0, 150, 10), at(1, 0.5, 150, 20),
       false, false},
      {"the same after the feed repeated the held position", at(4, 0, 150, 10), at(1, 0.5, 150, 30), false, false,
       true},
      // The same going on south-south-west: east, then 210, the tracks turn 120 degrees: it turned round.
      {"goes on from the held one only, the tracks turning round", at(4, 0, 210, 10), at(1, -0.5, 210, 20), true,
       true},
      // East-north-east of (0, 0) heading 5, then on that way: the way there, 67 degrees off 5, is a
      // turn the tracks show.
      {"goes on from the held one only, the way to it along the tracks", at(0.5, 1.5, 5, 10), at(1, 1.5, 5, 20), true,
       true},
      {"goes on from both, nearer the held one: a step aside", at(1, 0, 90, 10), at(1, 3, 90, 20), false, true},
      {"goes on from both, nearer the last one", at(2, -1, 90, 10), at(0.3, 3, 90, 20), false, true},
      {"goes on from neither, nearer the held one", at(3, 0, 90, 10), at(3.5, 0.2, 270, 20), false, false},
      {"goes on from neither, nearer the last one", at(3, 0, 90, 10), at(0.2, -0.5, 5, 20), false, false},
      {"goes on from the last one only, nearer the held one", at(1, 0, 90, 10), at(1.2, 0.5, 10, 20), false, true},
  };
  std::uint32_t hexid = 11980000;
  for (Case c : cases) {
    SCOPED_TRACE(c.what);
    Line first = at(0, 0, 90, 0);
    first.hexid = c.held.hexid = c.next.hexid = ++hexid;
    first.callsign = c.held.callsign = c.next.callsign = fmt::format("H{}", hexid % 1000);
    offer(first);
    const LiveAc& ac = offer(c.held);
    ASSERT_TRUE(ac.heldRecord.has_value());
    ASSERT_FALSE(holds(ac, c.held));
    if (c.repeatHeld) {
      Line again = c.held;
      again.timestamp += 10;
      offer(again);
      ASSERT_TRUE(ac.heldRecord.has_value());
      ASSERT_FALSE(holds(ac, c.held));
    }
    offer(c.next);
    EXPECT_EQ(holds(ac, c.held), c.heldTaken);
    EXPECT_EQ(holds(ac, c.next), c.nextTaken);
    EXPECT_EQ(ac.heldRecord.has_value(), !c.nextTaken);
  }
}

// The feed sends an old snapshot again: a record in the air back at a position the aircraft took
// before the last one, its track still east. It is no news and never taken, not even held; the next
// position is taken as usual. A record off the track at a position the aircraft never took is held.
TEST_F(HeldRecords, AnOldPositionSentAgainIsNeverTaken) {
  for (const bool replayed : {true, false}) {
    SCOPED_TRACE(replayed ? "an old position" : "a new position");
    const std::uint32_t hexid = replayed ? 11982001 : 11982002;
    const auto line = [&](double north, double east, double seconds) {
      Line l = at(north, east, 90, seconds);
      l.hexid = hexid;
      l.callsign = fmt::format("S{}", hexid % 1000);
      return l;
    };
    offer(line(0, 0, 0));
    offer(line(0, 0.7, 10));
    offer(line(0, 1.4, 20));
    const LiveAc& ac = offer(line(0, 2.1, 30));
    ASSERT_EQ(ac.situations.size(), 4u);
    const Line sent = replayed ? line(0, 0.7, 40) : line(0, 0.5, 40);
    offer(sent);
    EXPECT_EQ(ac.heldRecord.has_value(), !replayed);
    EXPECT_EQ(ac.situations.size(), 4u);
    const Line next = line(0, 2.8, 50);
    offer(next);
    EXPECT_TRUE(holds(ac, next));
    EXPECT_FALSE(ac.heldRecord.has_value());
    EXPECT_EQ(ac.situations.size(), 5u);
  }
}

// A line stamped before the last one taken (it came late, or is a copy sent again) is no news,
// wherever it has the aircraft: neither taken nor held.
TEST_F(HeldRecords, ALineStampedBeforeTheLastOneTakenIsNoNews) {
  const auto line = [&](double north, double east, double seconds) {
    Line l = at(north, east, 90, seconds);
    l.hexid = 11982003;
    l.callsign = "S003";
    return l;
  };
  offer(line(0, 0, 0));
  const LiveAc& ac = offer(line(0, 0.7, 10));
  offer(line(0, 1.0, 9));
  offer(line(1, 0.3, 5));
  EXPECT_EQ(ac.situations.size(), 2u);
  EXPECT_FALSE(ac.heldRecord.has_value());
  EXPECT_DOUBLE_EQ(ac.lastDataTime, line(0, 0.7, 10).timestamp);
}

// A stream that has moved elsewhere for good: after (0, 0) east, three records 2 nm north-west of
// it, each going on from the one before along its own track (east) and none from (0, 0), each
// refused for the way back to it. The third has the second taken after all, then itself: three
// records that agree with one another are where the aircraft is. Two are not enough; nor three when
// the feed repeats (0, 0) between them: that stream still sends, and the others are another sender's.
TEST_F(HeldRecords, AStreamThatKeepsGoingOnFromHeldRecordsIsTakenAtTheThird) {
  for (const bool lastRepeated : {false, true}) {
    SCOPED_TRACE(lastRepeated ? "the last position repeated between them" : "nothing between them");
    const std::uint32_t hexid = lastRepeated ? 11982005 : 11982004;
    const auto line = [&](double north, double east, double seconds) {
      Line l = at(north, east, 90, seconds);
      l.hexid = hexid;
      l.callsign = fmt::format("S{}", hexid % 1000);
      return l;
    };
    offer(line(0, 0, 0));
    const Line first = line(1.5, -1.5, 10), second = line(1.5, -1.0, 20), third = line(1.5, -0.5, 30);
    const LiveAc& ac = offer(first);
    offer(second);
    EXPECT_FALSE(holds(ac, first));
    EXPECT_FALSE(holds(ac, second));
    ASSERT_TRUE(ac.heldRecord.has_value());
    if (lastRepeated) offer(line(0, 0, 25));
    offer(third);
    EXPECT_FALSE(holds(ac, first));
    EXPECT_EQ(holds(ac, second), !lastRepeated);
    EXPECT_EQ(holds(ac, third), !lastRepeated);
    EXPECT_EQ(ac.heldRecord.has_value(), lastRepeated);
  }
}

// Another sender's stale stream behind the aircraft: it flies east at 250 kt, taken at 0, 0.7, 1.4
// and 2.1 nm east; a record 2.6 nm back at -0.5, its track still east, is held, and the next one goes
// on east from it to 0.2, back on the track already taken. An aeroplane does not fly out to a
// position and straight back along its way (a turn of 180 degrees there): the held one is dropped and
// the next one held in its turn, to be dropped when the stream goes on from 2.1 nm again. Nor where
// the next record lies 0.7 nm north of the track taken, going north-east: its track has the aircraft
// fly nowhere near west, the way back to the held one. A helicopter may turn round: there the held
// one is taken as before.
TEST_F(HeldRecords, AStaleStreamBehindAlongTheTrackTakenIsDropped) {
  struct Case {
    const char* what;
    double nextNorth;
    bool helicopter, taken;
  };
  const std::vector<Case> cases{
      {"back onto the track taken", 0, false, false},
      {"0.7 nm off the track taken", 0.7, false, false},
      {"a helicopter", 0, true, true},
  };
  std::uint32_t hexid = 11983000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ++hexid;
    const auto line = [&](double north, double east, double track, double seconds) {
      Line l = at(north, east, track, seconds);
      l.hexid = hexid;
      l.callsign = fmt::format("B{}", hexid % 1000);
      if (c.helicopter) {
        l.type = "B407";
        l.category = "A7";
      }
      return l;
    };
    for (int k = 0; k < 4; ++k) offer(line(0, 0.7 * k, 90, 10.0 * k));
    const Line stale = line(0, -0.5, 90, 40);
    const LiveAc& ac = offer(stale);
    ASSERT_TRUE(ac.heldRecord.has_value());
    const Line next = line(c.nextNorth, 0.2, c.nextNorth == 0 ? 90 : 45, 50);
    offer(next);
    EXPECT_EQ(holds(ac, stale), c.taken);
    EXPECT_EQ(holds(ac, next), c.taken);
    EXPECT_EQ(ac.heldRecord.has_value(), !c.taken);
    if (c.taken) continue;
    const Line on = line(0, 2.8, 90, 60);
    offer(on);
    EXPECT_TRUE(holds(ac, on));
    EXPECT_FALSE(holds(ac, next));
    EXPECT_FALSE(ac.heldRecord.has_value());
  }
}

// Two senders on one address: the one followed flies east at 250 kt, taken at 0, 0.7, 1.4 and 2.1 nm
// east (0-30 s), then sends nothing more; the other's records, from 0.1 nm east and going on east
// from one another at 100 kt (0.28 nm every 10 s), lie back along the track taken, each dropped as a
// stale stream. Once the followed one has sent nothing for longer than the feed repeats a position
// (60 s: the record of 100 s, not that of 90 s), the other is the feed's live stream: the aircraft is
// shown afresh at its newest record, 1.78 nm east, rather than flown on away from it or turned round
// to fly back to it.
TEST_F(HeldRecords, AnotherStreamLiveAfterTheFollowedOneEndedHasTheAircraftShownAfreshThere) {
  constexpr std::uint32_t kHexid = 11984001, kObject = 984;
  const auto line = [](double east, double gs, double seconds) {
    Line l = at(0, east, 90, seconds);
    l.hexid = kHexid;
    l.callsign = "T984";
    l.gs = gs;
    return l;
  };
  for (int k = 0; k < 4; ++k) offer(line(0.7 * k, 250, 10.0 * k));
  {
    // In the simulator, where its last record has it.
    LiveAc& ac = *lf_findLiveByHexid(kHexid);
    sim().addObject(kObject, kHexid, {});
    ac.state = ActState::InSim;
    ac.objectId = kObject;
    ac.position.latitude = ac.situations.back().latitude;
    ac.position.longitude = ac.situations.back().longitude;
    ac.position.altitude = ac.situations.back().altitude;
    ac.position.heading = kPi / 2;
  }
  for (int k = 0; k < 6; ++k) {
    SCOPED_TRACE(40 + 10 * k);
    const LiveAc& ac = offer(line(0.1 + 0.28 * k, 100, 40.0 + 10 * k));
    EXPECT_EQ(ac.state, ActState::InSim);
    EXPECT_FALSE(ac.restartFrom.has_value());
  }
  const Line newest = line(1.78, 100, 100);
  ASSERT_TRUE(feed(newest));
  run(100);
  const LiveAc* again = lf_findLiveByHexid(kHexid);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->recreated, 1u);
  ASSERT_FALSE(again->situations.empty());
  EXPECT_NEAR(again->situations.front().latitude, newest.lat, 1e-6);
  EXPECT_NEAR(again->situations.front().longitude, newest.lon, 1e-6);
}

// A line stamped no more than a second after the last one taken repeats it only while it has the
// aircraft no more than 450 m (0.243 nm) on; in the air above 120 kt along the same track, a line
// within the time 450 m take at the speed repeats it only when it has the aircraft no more than
// 450 m on too. The aircraft flies east at 250 kt, or 300 kt (450 m in 2.92 s).
TEST_F(HeldRecords, ALineRepeatsTheLastOneOnlyWithin450Metres) {
  struct Case {
    const char* what;
    double gs, seconds, nm;
    bool taken;
  };
  const std::vector<Case> cases{
      {"1 s later, 0.23 nm on", 250, 1, 0.23, false},
      {"1 s later, 0.26 nm on", 250, 1, 0.26, true},
      {"the same time, 0.26 nm on", 250, 0, 0.26, true},
      {"300 kt, 2.5 s later, 0.23 nm on", 300, 2.5, 0.23, false},
      {"300 kt, 2.5 s later, 0.26 nm on", 300, 2.5, 0.26, true},
      {"300 kt, 5 s later, 0.1 nm on", 300, 5, 0.1, true},
  };
  std::uint32_t hexid = 11981000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Line first = at(0, 0, 90, 0);
    first.gs = c.gs;
    first.hexid = ++hexid;
    first.callsign = fmt::format("R{}", hexid % 1000);
    Line next = at(0, c.nm, 90, c.seconds);
    next.gs = c.gs;
    next.hexid = first.hexid;
    next.callsign = first.callsign;
    offer(first);
    const LiveAc& ac = offer(next);
    EXPECT_EQ(ac.situations.size(), c.taken ? 2u : 1u);
  }
}

}  // namespace
}  // namespace amb
