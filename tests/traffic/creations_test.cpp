// Creations in flight: live aircraft are created one per 50 cycles while static aircraft are being
// parked, and no act waits for good on an answer of the simulator that is lost, late, repeated or a
// refusal for too many objects.

#include "engine_fixture.hpp"

#include "airports/static_parking.hpp"
#include "core/log.hpp"
#include "enginesim/parking.hpp"
#include "liveries/services.hpp"
#include "settings/options.hpp"
#include "support/test_support.hpp"

#include <algorithm>

namespace amb {
namespace {

using enginesim::CreationAnswer;
using test::EngineTest;
using test::Line;

std::vector<std::string> linesWith(const std::string& text, const std::string& part) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string line = text.substr(start, end - start);
    if (line.find(part) != std::string::npos) out.push_back(line);
    start = end + 1;
  }
  return out;
}

class Creations : public EngineTest {
protected:
  enginesim::HarnessOptions harnessOptions() const override {
    enginesim::HarnessOptions options;
    options.stands = enginesim::readParkingPositions(test::testData("airports/KJFK.parking.xml"));
    return options;
  }
  void SetUp() override {
    EngineTest::SetUp();
    sim().onCreated = [this](std::int32_t c, const enginesim::SimObject& o) {
      (o.hexid > 10000 ? m_liveCreated : m_staticCreated).push_back(c);
    };
  }

  // An aircraft in the air 10 nm north-east of the user, on a track of its own.
  static Line aloft(std::uint32_t i) {
    Line l;
    l.hexid = 11600000 + i;
    l.callsign = fmt::format("DAL{}", 100 + i);
    l.reg = fmt::format("N{}DN", 100 + i);
    const LatLon at = gf_destinationPoint({40.6413, -73.7781}, (20.0 + 7 * i) * kDegToRad, 10 * kFeetPerNm);
    l.lat = at.lat;
    l.lon = at.lon;
    l.alt = 6000 + 100 * i;
    l.track = std::fmod(90.0 + 13 * i, 360.0);
    return l;
  }
  // A plan of static aircraft on stands none of which is another's neighbour, parked from its back.
  static void planStatic(std::size_t count) {
    std::vector<std::uint32_t> taken;
    for (const Stand& s : g_stands) {
      if (taken.size() == count) break;
      const bool near = std::any_of(taken.begin(), taken.end(), [&](std::uint32_t id) {
        return id == s.id || std::find(s.overlapIds.begin(), s.overlapIds.end(), id) != s.overlapIds.end();
      });
      if (near) continue;
      taken.push_back(s.id);
      PlanResult r;
      r.standId = s.id;
      r.airline = "AAL";
      r.type = "B738";
      r.callsign = fmt::format("AAL{}", 2000 + taken.size());
      r.staying = 1;
      g_staticPlan.push_back(std::move(r));
    }
    ASSERT_EQ(taken.size(), count);
  }
  // The records of these aircraft that fall due at the cycle: aircraft i is reported first at cycle
  // firstCycle(i) and every five seconds after, until the cycle `until`.
  void feedDue(const std::vector<Line>& lines, const std::function<std::int32_t(std::size_t)>& firstCycle,
               std::int32_t until) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::int32_t since = cycle() - firstCycle(i);
      if (since >= 0 && cycle() < until && since % 500 == 0) feed(lines[i].after(since / 100.0));
    }
  }

  std::vector<std::int32_t> m_liveCreated, m_staticCreated;
};

// A stream of new aircraft falls due while a plan of static aircraft is being parked: one new aircraft
// every 50 cycles, each reported first at 50 * i and every five seconds after, so due at 3000 + 50 * i
// and taken up 100 cycles before. Its request is built in the cycle it is spawned, after that cycle's
// hand-over, so it goes at the next one: live i at 2950 + 50 * i. The static aircraft go one per 50
// cycles from cycle 50 while no live creation waits, pause while the live ones go, and go on after.
TEST_F(Creations, LiveCreationsGoOnAtTheirPaceWhileStaticAircraftAreParked) {
  planStatic(80);
  std::vector<Line> lines;
  for (std::uint32_t i = 0; i < 40; ++i) lines.push_back(aloft(i));
  const auto firstCycle = [](std::size_t i) { return static_cast<std::int32_t>(50 * i); };
  while (cycle() < 6500) {
    feedDue(lines, firstCycle, 6000);
    run(1);
  }
  std::vector<std::int32_t> expectedLive;
  for (std::int32_t i = 0; i < 40; ++i) expectedLive.push_back(2950 + 50 * i);
  EXPECT_EQ(m_liveCreated, expectedLive);
  // Static aircraft before the first live one and after the last, never in a live one's turn.
  ASSERT_GE(m_staticCreated.size(), 60u);
  for (std::size_t k = 0; k < 58; ++k) EXPECT_EQ(m_staticCreated[k], static_cast<std::int32_t>(50 * (k + 1))) << k;
  EXPECT_EQ(m_staticCreated[58], 4950);
  EXPECT_EQ(m_staticCreated[59], 5000);
  EXPECT_EQ(sim().refused.size() + sim().lost.size(), 0u);
}

// The simulator never answers the first creation of an aircraft, nor that of a static one: each waits
// 30 s from its hand-over, is then given up with one log line at the first whole second, and the
// aircraft comes back with its next records, while the other creations go on meanwhile.
TEST_F(Creations, ACreationNeverAnsweredIsGivenUpAfterThirtySecondsAndCreationsGoOn) {
  test::TempDir dir("creations");
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  planStatic(2);
  const Line lost = aloft(0);
  std::int32_t lostAt = -1, staticLostAt = -1;
  sim().answerCreation = [&](const CreateRequest& request) {
    std::int32_t& at = request.hexid == lost.hexid ? lostAt : staticLostAt;
    if ((request.hexid == lost.hexid || request.hexid <= 10000) && at < 0) {
      at = cycle() - 1;  // the frame follows the engine's cycle
      return CreationAnswer::Lost;
    }
    return CreationAnswer::Created;
  };
  // The lost aircraft is reported from cycle 0, a second one from cycle 500, every five seconds.
  const std::vector<Line> lines{lost, aloft(1)};
  const auto firstCycle = [](std::size_t i) { return static_cast<std::int32_t>(500 * i); };
  const auto step = [&](std::int32_t until) {
    while (cycle() < until) {
      feedDue(lines, firstCycle, 12000);
      run(1);
    }
  };
  // The plan's first static aircraft goes at 50 and is lost, the second at 100.
  step(3099);
  EXPECT_EQ(staticLostAt, 50);
  EXPECT_EQ(m_staticCreated, (std::vector<std::int32_t>{100}));
  EXPECT_EQ(g_parkedActs.size(), 2u);
  step(3101);
  EXPECT_EQ(g_parkedActs.size(), 1u);
  // The live one goes at 2950 (due at 3000) and waits up to 30 s: at 2950 + 2999 it still does.
  step(2950 + 2999);
  EXPECT_EQ(lostAt, 2950);
  const LiveAc* waiting = lf_findLiveByHexid(lost.hexid);
  ASSERT_NE(waiting, nullptr);
  EXPECT_EQ(waiting->state, ActState::Creating);
  // The other aircraft was created in its turn meanwhile (due at 3500).
  EXPECT_EQ(m_liveCreated, (std::vector<std::int32_t>{3450}));
  // Given up at 6000; its record of that cycle makes it new, due at 9000 and created at 8950.
  step(6001);
  const LiveAc* back = lf_findLiveByHexid(lost.hexid);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->state, ActState::New);
  step(9300);
  EXPECT_EQ(m_liveCreated, (std::vector<std::int32_t>{3450, 8950}));
  EXPECT_EQ(lf_findLiveByHexid(lost.hexid)->state, ActState::InSim);
  gf_closeLog("end");
  const std::string log = test::readFile(dir / "Log.txt");
  const std::vector<std::string> givenUp =
      linesWith(log, "the simulator has not answered its creation in 30 s, given up");
  ASSERT_EQ(givenUp.size(), 2u) << log;
  EXPECT_NE(givenUp[0].find("AAL2002*"), std::string::npos) << givenUp[0];
  EXPECT_NE(givenUp[1].find("DAL100"), std::string::npos) << givenUp[1];
}

class CreationAnswers : public Creations {
protected:
  // One aircraft reported four times, five seconds apart, then no more: it is due at 3000, its
  // creation goes at 2950.
  void createOnce(CreationAnswer answer, std::int32_t delayFrames = 0) {
    sim().answerCreation = [answer](const CreateRequest&) { return answer; };
    sim().answerDelayFrames = delayFrames;
    feedTrack(aloft(3), 4, 5);
  }
  static bool noneWaiting() {
    return std::none_of(g_liveAcs.begin(), g_liveAcs.end(),
                        [](const LiveAc& a) { return a.state == ActState::Creating; });
  }
};

// The answer repeated by the next in-range answer: one object, which stays the aircraft's.
TEST_F(CreationAnswers, TwiceKeepsTheOneObject) {
  createOnce(CreationAnswer::ShownTwice);
  run(3400 - cycle());
  ASSERT_EQ(g_liveAcs.size(), 1u);
  EXPECT_EQ(g_liveAcs[0].state, ActState::InSim);
  EXPECT_EQ(sim().objects.size(), 1u);
  EXPECT_EQ(g_liveAcs[0].objectId, sim().objects.begin()->first);
  EXPECT_EQ(sim().removalsSent, 0u);
  EXPECT_EQ(g_createdObjects.size(), 0u);
}

// Shown 40 s after the creation: the aircraft was given up at 30 s, so the object is nobody's and goes.
TEST_F(CreationAnswers, TooLateIsGivenUpAndItsObjectRemoved) {
  createOnce(CreationAnswer::Created, 4000);
  run(6000 - cycle());
  ASSERT_EQ(g_liveAcs.size(), 1u);
  EXPECT_TRUE(g_liveAcs[0].state == ActState::Creating && g_liveAcs[0].objectId == 0);
  run(1);
  EXPECT_TRUE(g_liveAcs.empty());
  run(7200 - cycle());
  EXPECT_EQ(sim().objects.size(), 1u);
  EXPECT_EQ(sim().liveObjects(), 0u);
  EXPECT_TRUE(noneWaiting());
}

// Not made for too many objects: the aircraft goes at once, and its livery is not to blame.
TEST_F(CreationAnswers, TooManyObjectsLetsTheAircraftGoAndKeepsItsLivery) {
  createOnce(CreationAnswer::TooManyObjects);
  run(2951 - cycle());
  ASSERT_EQ(sim().refused.size(), 1u);
  EXPECT_EQ(g_liveAcs.size(), 1u);
  run(1);
  EXPECT_TRUE(g_liveAcs.empty());
  EXPECT_TRUE(g_excludedTitles.empty());
  EXPECT_TRUE(g_noMatchSet.empty());
}

// Removed while its creation is with the simulator, an aircraft waits for its object to remove it; an
// object that never comes leaves it waiting 30 s, not for good.
TEST_F(CreationAnswers, RemovedMeanwhileAndNeverAnsweredIsGivenUp) {
  createOnce(CreationAnswer::Lost);
  run(2951 - cycle());
  ASSERT_EQ(g_liveAcs.size(), 1u);
  ASSERT_EQ(g_liveAcs[0].creationCycle, 2950);
  removeAircraftFromSim(g_liveAcs[0]);
  EXPECT_EQ(g_liveAcs[0].removeWhenCreated, 1);
  run(5950 - cycle());
  EXPECT_EQ(g_liveAcs.size(), 1u);
  run(6001 - cycle());
  EXPECT_TRUE(g_liveAcs.empty());
}

}  // namespace
}  // namespace amb
