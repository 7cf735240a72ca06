// Identity changes of live aircraft, respawns and ghosts; the AI flight-plan files.

#include "engine_fixture.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "settings/options.hpp"
#include "support/log_check.hpp"

#include <pugixml.hpp>

#include <filesystem>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::EngineTest;
using test::Line;

class Identity : public EngineTest {
protected:
  // Feeds the line's track until its aircraft is in the simulator; the last line fed.
  Line inSimulator(Line line) {
    line = feedTrack(line, 4);
    EXPECT_TRUE(harness().runUntil(
        [&] {
          const LiveAc* ac = lf_findLiveByHexid(line.hexid);
          return ac != nullptr && ac->state == ActState::InSim;
        },
        3000));
    return line;
  }
};

class CallsignChange : public Identity, public ::testing::WithParamInterface<bool> {};

TEST_P(CallsignChange, RespawnsOnlyWithGuidChanges) {
  const bool guidChanges = GetParam();
  GUID_CHANGES.value = guidChanges ? 1 : 0;
  Line line = inSimulator(Line{});
  ASSERT_EQ(sim().objects.size(), 1u);
  const std::uint32_t firstId = sim().objects.begin()->first;
  line = line.after(10);
  line.callsign = "DAL999";
  feed(line);
  run(1);
  const LiveAc* ac = lf_findLiveByHexid(line.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->callsign, "DAL999");
  if (!guidChanges) {
    EXPECT_EQ(ac->state, ActState::InSim);
    run(500);
    EXPECT_EQ(sim().objects.size(), 1u);
    return;
  }
  EXPECT_EQ(ac->state, ActState::Respawning);
  const AiPosBlock where = ac->position;
  // The old object goes, a new one comes at the same place with the same heading.
  ASSERT_TRUE(harness().runUntil([&] { return sim().objects.size() == 2; }, 200));
  const enginesim::SimObject& again = sim().objects.rbegin()->second;
  EXPECT_GE(sim().objects.at(firstId).removedCycle, 0);
  EXPECT_EQ(again.callsign, "DAL999");
  EXPECT_NEAR(again.initial.latitude, where.latitude, 1e-9);
  EXPECT_NEAR(again.initial.longitude, where.longitude, 1e-9);
  EXPECT_NEAR(again.initial.heading, where.heading * kRadToDeg, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(GuidChanges, CallsignChange, ::testing::Bool());

// The feed's texts reach the respawn line escaped: no escape sequence, NUL or broken UTF-8 from a
// traffic line gets into the log.
TEST_F(Identity, TheRespawnLineCarriesTheFeedsTextsEscaped) {
  test::TempDir dir("identitylog");
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  GUID_CHANGES.value = 1;
  LOG.value = 1;
  Line line = inSimulator(Line{});
  line = line.after(10);
  line.callsign = std::string("DA\x1B[2J\0\xFF", 8);
  line.destination = "\x1B]0;MIA\x07";
  feed(line);
  run(1);
  LOG.value = 0;
  gf_closeLog("end");
  const std::string log = test::readFile(dir / "Log.txt");
  EXPECT_EQ(test::rawPeerBytes(log), "");
  EXPECT_NE(log.find("DA\\x1B[2J\\x00\\xFF"), std::string::npos) << log;
  EXPECT_NE(log.find(" respawns"), std::string::npos) << log;
}

TEST_F(Identity, TheCallsignWithoutTheUnderscoreRemovesItsGhostNeverTheOtherWayRound) {
  addInSim(11700101, 401, situation(40.7, -73.9, 5000, 250, 1 << 30), "A321", "ABC123_");
  addInSim(11700102, 402, situation(40.8, -73.9, 5000, 250, 1 << 30), "A321", "ABC123");
  const LiveAc& ghost = *lf_findLiveByHexid(11700101);
  const LiveAc& real = *lf_findLiveByHexid(11700102);
  lf_checkGhost("ABC123_");
  EXPECT_EQ(ghost.state, ActState::InSim);
  EXPECT_EQ(real.state, ActState::InSim);
  EXPECT_TRUE(lf_hasCoupledCallsign("ABC123_"));
  EXPECT_FALSE(lf_hasCoupledCallsign("ABC123"));
  lf_checkGhost("ABC123");
  EXPECT_EQ(ghost.state, ActState::Removing);
  EXPECT_EQ(real.state, ActState::InSim);
  EXPECT_EQ(g_ghostCallsigns.count("ABC123_"), 1u);
  // The ghost's callsign is not spawned again.
  Line again;
  again.hexid = 11700103;
  again.callsign = "ABC123_";
  feedTrack(again, 3);
  run(2000);
  EXPECT_EQ(lf_findLiveByHexid(11700103), nullptr);
}

// ---- Flight plans ----

class FlightPlans : public Identity {};

TEST_F(FlightPlans, TheFileNamesTheRouteAndTheRules) {
  struct Case {
    const char* model;
    const char* rules;
  };
  for (const Case& c :
       std::vector<Case>{{"B77W", "IFR"}, {"C25B", "IFR"}, {"C172", "VFR"}, {"EC35", "VFR"}, {"F18", "VFR"}}) {
    AcIdentity id;
    id.model = c.model;
    id.origin = "EHAM";
    id.destination = "KJFK";
    const fs::path file = m_folder->path() / "plan.pln";
    ASSERT_TRUE(gf_writeFlightPlan(file, AcData(id)));
    EXPECT_EQ(
        test::readLines(file),
        (std::vector<std::string>{
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "<SimBase.Document Type=\"AceXML\" version=\"4,3\">",
            "<FlightPlan.FlightPlan>", fmt::format("<FPType>{}</FPType>", c.rules), "<DepartureID>EHAM</DepartureID>",
            "<DestinationID>KJFK</DestinationID>", "</FlightPlan.FlightPlan>", "</SimBase.Document>"}))
        << c.model;
  }
  EXPECT_EQ(gf_flightPlanPath(1234), fs::path("1234.pln"));
}

TEST_F(FlightPlans, TextsFromTheNetworkAreEscaped) {
  AcIdentity id;
  id.model = "A321";
  id.origin = "<a>&\"'";
  id.destination = "</DestinationID><x>";
  const fs::path file = m_folder->path() / "escaped.pln";
  ASSERT_TRUE(gf_writeFlightPlan(file, AcData(id)));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(file.c_str()));
  const pugi::xml_node plan = doc.child("SimBase.Document").child("FlightPlan.FlightPlan");
  EXPECT_STREQ(plan.child_value("DepartureID"), "<a>&\"'");
  EXPECT_STREQ(plan.child_value("DestinationID"), "</DestinationID><x>");
  EXPECT_EQ(std::distance(plan.begin(), plan.end()), 3);
}

// (The replay shows plans written and removed with their objects.)
TEST_F(FlightPlans, NoPlanWithoutARouteNorAfterARefusal) {
  const fs::path folder = m_folder->path() / "orig_dest";
  Line unrouted;
  unrouted.hexid = 11700202;
  unrouted.callsign = "N123AB";
  unrouted.destination = "";
  unrouted.lat = 40.8;
  inSimulator(unrouted);
  const enginesim::SimObject* without = sim().objectOfHexid(unrouted.hexid);
  ASSERT_NE(without, nullptr);
  EXPECT_TRUE(without->flightPlan.empty());
  EXPECT_FALSE(fs::exists(folder / gf_flightPlanPath(without->id)));
  // A plan the simulator refuses leaves no file behind.
  sim().refuseFlightPlans = true;
  Line refused;
  refused.hexid = 11700203;
  refused.callsign = "DAL300";
  refused.lat = 40.9;
  inSimulator(refused);
  const LiveAc* ac = lf_findLiveByHexid(refused.hexid);
  ASSERT_NE(ac, nullptr);
  EXPECT_EQ(ac->hasFlightPlan, 0u);
  EXPECT_FALSE(fs::exists(folder / gf_flightPlanPath(ac->objectId)));
}

TEST_F(FlightPlans, TheFolderIsMadeAndRemovedWithEverythingInIt) {
  const fs::path folder = m_folder->path() / "orig_dest";
  ASSERT_TRUE(gf_createFlightPlanFolder());
  EXPECT_EQ(g_flightPlanFolder, folder);
  test::writeFile(folder / "77.pln", "x");
  EXPECT_FALSE(gf_removeFlightPlanFolder());
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(gf_removeFlightPlanFolder());
}

}  // namespace
}  // namespace amb
