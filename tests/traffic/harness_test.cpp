// The test harness's own judgement of which reported positions an aircraft's buffer took: the
// measures of the flown tracks (tools/flightcheck) count a position not taken as dropped.

#include "engine_fixture.hpp"

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class HarnessTaken : public EngineTest {
protected:
  // Hands one line to the harness's feed at the next cycle.
  void send(const Line& l) {
    harness().schedule({{l.text(), l.timestamp, l.hexid}}, cycle());
    run(1);
  }
};

// A line that arrives late goes to the feed when it arrives, after a line stamped later that came on
// time; its due is stamped on its arrival.
TEST_F(HarnessTaken, LinesGoToTheFeedWhenTheyArrive) {
  Line late;
  Line other;
  other.hexid = 11000002;
  other.lat = 40.75;
  other.timestamp = late.timestamp + 1;
  std::vector<std::uint32_t> order;
  harness().onQueued = [&](const enginesim::RecordedLine& line, const Situation&) { order.push_back(line.hexid); };
  const std::int32_t start = cycle();
  harness().schedule(
      {{late.text(), late.timestamp, late.hexid, late.timestamp + 3}, {other.text(), other.timestamp, other.hexid}},
      start);
  run(150);
  EXPECT_EQ(order, std::vector<std::uint32_t>{other.hexid});
  run(200);
  EXPECT_EQ(order, (std::vector<std::uint32_t>{other.hexid, late.hexid}));
  harness().onQueued = nullptr;
  ASSERT_EQ(harness().queuedByHexid.at(late.hexid).size(), 1u);
  EXPECT_EQ(harness().queuedByHexid.at(late.hexid)[0].due, start + 300 + kTrafficDelayCycles);
}

// The intake keeps the dues of a buffer rising: a record whose due (stamped on arrival, 3000 cycles
// on) is not after the buffer's last one's goes in one cycle after it, later than stamped. It is
// taken all the same, and so is the next one, stamped after it.
TEST_F(HarnessTaken, ARecordWhoseDueTheIntakeMovedLaterIsTaken) {
  Line line;
  line.gs = 200;
  harness().follow(line.hexid);
  send(line);
  LiveAc* ac = lf_findLiveByHexid(line.hexid);
  ASSERT_NE(ac, nullptr);
  ac->situations.back().due = cycle() + 5000;
  const Line moved = line.after(10);
  send(moved);
  ASSERT_EQ(ac->situations.size(), 2u);
  EXPECT_EQ(ac->situations.back().due, ac->situations.front().due + 1);
  const Line next = moved.after(10);
  run(2400);
  send(next);
  const auto& accepted = harness().accepted(line.hexid);
  ASSERT_EQ(accepted.size(), 3u);
  EXPECT_NEAR(accepted[1].latitude, moved.lat, 1e-6);
  EXPECT_NEAR(accepted[1].longitude, moved.lon, 1e-6);
  EXPECT_NEAR(accepted[2].latitude, next.lat, 1e-6);
}

// The intake holding a record back, neither taken nor dropped, past a later record at another
// position is seen from outside: at the end of each cycle the harness reads the aircraft's held
// record against the records the feed's queue has handed over since. A held record with nothing
// after it, or only its own repeats, is no such hold.
TEST_F(HarnessTaken, ARecordHeldPastTheNextNewPositionIsSeen) {
  Line line;
  line.gs = 200;
  harness().follow(line.hexid);
  const Line second = line.after(10), third = second.after(10);
  send(line);
  send(second);
  send(third);
  LiveAc* ac = lf_findLiveByHexid(line.hexid);
  ASSERT_NE(ac, nullptr);
  // As the intake holds a record: its situation as the feed queued it.
  const auto hold = [&](std::size_t queued) {
    const enginesim::AcceptedPosition& p = harness().queuedByHexid.at(line.hexid).at(queued);
    Situation s;
    s.latitude = p.latitude;
    s.longitude = p.longitude;
    s.airborne = 1;
    ac->heldRecord = LiveAc::HeldRecord{{}, s, 0};
  };
  hold(2);
  run(1);
  EXPECT_TRUE(harness().heldPastNext(line.hexid).empty());
  Line again = third;
  again.timestamp += 10;
  send(again);
  hold(2);
  run(1);
  EXPECT_TRUE(harness().heldPastNext(line.hexid).empty());
  hold(1);
  run(1);
  EXPECT_EQ(harness().heldPastNext(line.hexid), std::vector<std::size_t>{1});
}

}  // namespace
}  // namespace amb
