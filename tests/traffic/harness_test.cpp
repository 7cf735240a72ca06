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

}  // namespace
}  // namespace amb
