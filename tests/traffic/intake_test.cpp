// Records of a known aircraft that the intake drops: a speed jump from or to a crawl, and a straight
// run too short to show, where "straight" measures the heading change across north; the event
// helpers that ignore a setting they do not know.

#include "engine_fixture.hpp"

namespace amb {
namespace {

using test::EngineTest;
using test::Line;

class Intake : public EngineTest {};

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
  EXPECT_EQ(events, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{EVT_THROTTLE_SET, 16383}, {EVT_FLAPS_SET, 16383}}));
}

}  // namespace
}  // namespace amb
