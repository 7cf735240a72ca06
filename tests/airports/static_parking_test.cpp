// Static parking: the plan for a weekday and half hour, the settings that change it, parking it one
// aircraft per step, the renewal (keep, swap to the coupled callsign, remove what is live or too
// much) and the removals. The expected plans are worked out by hand from the rules: the search goes
// half hour by half hour back from now, real options before soft ones, stands in their order.

#include "airports/park_airport.hpp"
#include "airports/stand.hpp"
#include "airports/static_parking.hpp"
#include "airports_fixture.hpp"
#include "core/startup.hpp"
#include "feed/services.hpp"
#include "liveries/livery.hpp"
#include "liveries/scan_run.hpp"
#include "liveries/services.hpp"
#include "liveries/store.hpp"
#include "refdata/database.hpp"
#include "settings/recording_ui.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <map>

#include <pugixml.hpp>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::makeOption;
using test::makeStand;

constexpr std::uint64_t bits(std::initializer_list<int> hh) {
  std::uint64_t b = 0;
  for (int h : hh) b |= std::uint64_t{1} << h;
  return b;
}

class StaticParking : public test::AirportsTest {
protected:
  void SetUp() override {
    test::AirportsTest::SetUp();
    resetAll();
    fs::create_directories(path("output"));
    g_largeModels = {"A319", "A320", "A321", "B738"};
    g_wingspans = {{"A320", 17.9 / 1852}, {"A319", 17.9 / 1852}, {"A321", 17.9 / 1852}, {"B738", 17.9 / 1852}};
    g_liveryList.clear();
    for (const char* airline : {"BAW", "KLM", "AFR", "SWR", "EZY", "DLH"}) {
      g_liveryList.push_back({airline, "A320", std::string(airline) + " A320", "", 1, false});
      g_liveryList.push_back({airline, "A319", std::string(airline) + " A319", "", 1, false});
    }
    g_liveryList.push_back({"UAL", "B738", "UAL B738", "", 1, false});
    lf_writeLiveriesScanned();
    lf_processScannedLiveries();
    // Seven stands 100 m apart on a line, none overlapping another.
    for (int i = 0; i < 7; ++i) {
      const LatLon at = gf_destinationPoint({40.64, -73.78}, kPi / 2, i * 100.0 / 1852 * kFeetPerNm);
      g_stands.push_back(makeStand("A" + std::to_string(i + 1), at.lat, at.lon, 1.0, 20));
      g_stands.back().id = static_cast<std::uint32_t>(i + 1);
    }
    setPark("KJFK");
    now(2, 20);
  }
  void TearDown() override {
    resetAll();
    test::AirportsTest::TearDown();
  }
  static void resetAll() {
    gf_resetParkState();
    gf_resetLiveries();
    g_liveryList.clear();
    gf_resetSettings();
    g_trafficReader.takeSeenCallsigns();
    gf_setRandomOn(false);
    RANDOM.value = 0;
    parking_percentage.value = 50;
    g_weekSlot = 0;
  }
  static void setPark(const std::string& code) {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {code, "", 40.64, -73.78, 13};
  }
  static void now(std::uint32_t day, std::uint32_t halfHour) { g_weekSlot = WeekSlot{day, halfHour}.packed(); }
  static Stand& stand(int n) { return g_stands[static_cast<std::size_t>(n - 1)]; }
  static void option(int n, const std::string& airline, const std::string& type, std::uint32_t day, std::uint64_t hh,
                     const std::string& cs1, const std::string& cs2 = "", std::uint32_t kind = 1,
                     const std::string& reg = "") {
    auto& options = stand(n).options;
    options.push_back(makeOption(airline, type, reg.empty() ? "N-" + cs1 : reg, day, hh,
                                 static_cast<std::uint32_t>(options.size() + 1), kind, cs1, cs2));
  }
  // The plan as "stand:callsign" in the order it is parked, every record parked.
  static std::vector<std::string> parkAll() {
    std::vector<std::string> out;
    while (!g_staticPlan.empty()) {
      const std::size_t before = g_pendingParkedCreations.size();
      lf_parkStatic();
      if (g_pendingParkedCreations.size() == before) continue;
      const Act& act = g_parkedActs.back();
      out.push_back(stand(static_cast<int>(act.standId)).name + ":" + g_pendingParkedCreations.back().callsign);
    }
    return out;
  }
  static std::vector<std::string> planAndPark() {
    lf_startStaticParking();
    return parkAll();
  }
  // Puts the parked acts of the creations into the simulator (the engine does it once their objects
  // exist).
  static void createdAll() {
    std::uint32_t objectId = 500;
    for (Act& act : g_parkedActs)
      if (act.state == ActState::Creating) {
        act.state = ActState::InSim;
        act.objectId = ++objectId;
      }
    g_pendingParkedCreations.clear();
  }
  // A parked act already in the simulator.
  static void parked(int n, const std::string& airline, const std::string& type, const std::string& callsign,
                     const std::string& second, const std::string& coupled, WeekSlot at) {
    AcData data(airline, type, "", "", callsign, second, coupled, "N-" + second, false);
    data.hexid = static_cast<std::uint32_t>(g_parkedActs.size() + 1);
    Act act(std::move(data), stand(n).id, {stand(n).lat, stand(n).lon, stand(n).heading}, 0);
    act.state = ActState::InSim;
    act.objectId = 300 + data.hexid;
    act.weekDay = at.weekday;
    act.halfHourSlot = at.halfHour;
    g_parkedActs.push_back(std::move(act));
  }
  static std::vector<std::string> inSim() {
    std::vector<std::string> out;
    for (const Act& a : g_parkedActs)
      if (a.state == ActState::InSim || a.state == ActState::Creating)
        out.push_back(stand(static_cast<int>(a.standId)).name + ":" + a.callsign);
    std::sort(out.begin(), out.end());
    return out;
  }
  // The day used by most cases: Tuesday, 10:00 to 10:30 (half hour 20).
  void tuesdayOptions() {
    option(1, "BAW", "A320", 2, bits({20}), "BAW1");                // now
    option(2, "DLH", "A319", 2, bits({18}), "DLH2", "DLH3");        // an hour ago, gone by now: coupled
    option(3, "KLM", "A320", 2, bits({20, 21}), "KLM3", "KLM4");   // now and next: arrival callsign
    option(4, "BAW", "A320", 1, bits({20}), "BAW4");                // Monday
    option(5, "AFR", "A320", 2, bits({20}), "AFR5", "", 0);         // soft
    option(6, "SWR", "A320", 2, bits({10}), "SWR6");                // five hours ago
  }
};

TEST_F(StaticParking, NumberOfStandsToFill) {
  const auto count = [](std::size_t stands, int percentage) {
    g_stands.resize(stands);
    parking_percentage.value = percentage;
    return gf_staticParkCount();
  };
  EXPECT_EQ(count(3, 30), 1);
  EXPECT_EQ(count(4, 10), 0);
  EXPECT_EQ(count(2, 50), 1);
  EXPECT_EQ(count(2, 40), 1);  // two or three stands below half: one all the same
  EXPECT_EQ(count(0, 30), 1);
  EXPECT_EQ(count(10, 25), 3);  // 2.5 rounds away from zero
  EXPECT_EQ(count(200, 30), 60);
  EXPECT_EQ(g_mainWindow.maxParkPercentage.load(), 30);
  CUSTOM_PARKING_PERCENTAGE.value = 10;  // 0 or more takes the place of parking_percentage
  EXPECT_EQ(count(200, 30), 20);
  CUSTOM_MAX_PARK.value = 15;
  EXPECT_EQ(count(200, 30), 15);
  EXPECT_EQ(g_mainWindow.maxParkPercentage.load(), 8);  // 7.5 % shown rounded
  EXPECT_EQ(g_mainWindow.maxParkCount.load(), 15);
  EXPECT_EQ(g_maxParkCount, 15);
  CUSTOM_MAX_PARK.value = 0;
  EXPECT_EQ(count(200, 30), 0);
  EXPECT_EQ(g_mainWindow.maxParkPercentage.load(), 0);
  EXPECT_EQ(count(0, 30), 0);
  // Any number a learned file holds: never more than the stands, never below none.
  CUSTOM_MAX_PARK.value = -1;
  CUSTOM_PARKING_PERCENTAGE.value = -1;
  EXPECT_EQ(count(200, 2147483647), 200);
  EXPECT_EQ(g_mainWindow.maxParkPercentage.load(), 100);
  EXPECT_EQ(count(200, -2147483647), 0);
  EXPECT_EQ(count(200, 150), 200);
}

TEST_F(StaticParking, PlanForTuesdayTenHundredRealFirstBestFitParkedFirst) {
  tuesdayOptions();
  // Wanted: 50 % of 7 stands, 3.5 -> 4. Offset 0 (half hour 20) finds A1 and A3, offset 2 A2 and
  // offset 10 A6: four real ones, so the soft option of A5 is not needed. Offset 0 is parked first
  // (from the back of the plan); A2 has no half hour after now and comes under its coupled callsign.
  EXPECT_EQ(planAndPark(), (std::vector<std::string>{"A3:KLM3*", "A1:BAW1*", "A2:DLH3*", "A6:SWR6*"}));
  EXPECT_EQ(g_realFit, 10);
  EXPECT_EQ(g_softFit, -1);
  EXPECT_EQ(g_mainWindow.realFit.load(), 10);
  EXPECT_TRUE(logHas("real 4 positions found, Max fit=24 hours, day 2, hh:20 or 10.5 hrs fit: 5.5 hour"));
  EXPECT_TRUE(logHas("4 positions (57% vs wanted 50%, with Max fit=24 hours)"));
  EXPECT_EQ(g_parkingLock.load(), 1);  // locked while the plan is parked
  // Their time at the stand is now less the offset at which each was found.
  std::map<std::string, WeekSlot> at;
  for (const Act& a : g_parkedActs) at[a.callsign] = {a.weekDay, a.halfHourSlot};
  EXPECT_EQ(at["KLM3*"], (WeekSlot{2, 20}));
  EXPECT_EQ(at["DLH3*"], (WeekSlot{2, 18}));
  EXPECT_EQ(at["SWR6*"], (WeekSlot{2, 10}));
  // Each with its livery, a hexid of its own below 10000, standing at its stand.
  std::set<std::uint32_t> hexids;
  for (const CreateRequest& r : g_pendingParkedCreations) {
    EXPECT_FALSE(r.title.empty());
    EXPECT_EQ(r.position.onGround, 1u);
    EXPECT_NEAR(r.position.heading, 57.29577951308232, 1e-9);
    EXPECT_GT(r.hexid, 0u);
    EXPECT_LT(r.hexid, 10000u);
    hexids.insert(r.hexid);
  }
  EXPECT_EQ(hexids.size(), 4u);
  EXPECT_EQ(g_pendingParkedCreations.front().title, "KLM A320");
}

TEST_F(StaticParking, EachSettingChangesThePlanAsItShould) {
  tuesdayOptions();
  const auto plan = [&] {
    gf_resetEngine();
    return planAndPark();
  };
  // Three wanted: the third comes at offset 2.
  parking_percentage.value = 40;
  EXPECT_EQ(plan(), (std::vector<std::string>{"A3:KLM3*", "A1:BAW1*", "A2:DLH3*"}));
  // WEEK: options of any weekday; Monday's A4 is there now, the three are found at offset 0.
  WEEK.value = 1;
  EXPECT_EQ(plan(), (std::vector<std::string>{"A4:BAW4*", "A3:KLM3*", "A1:BAW1*"}));
  EXPECT_TRUE(logHas("real 3 positions found, Max fit=24 hours, week, hh:20 or 10.5 hrs fit: 0.5 hour"));
  WEEK.value = 0;
  // MAX_FIT 1 (one hour): A2 at offset 2 is out of reach; the soft option fills the third stand.
  MAX_FIT.value = 1;
  EXPECT_EQ(plan(), (std::vector<std::string>{"A5:AFR5*", "A3:KLM3*", "A1:BAW1*"}));
  EXPECT_EQ(g_softFit, 0);
  // Without PARK_SOFT and PARK_FAKE no soft option is used; PARK_FAKE alone also allows them.
  PARK_SOFT.value = 0;
  EXPECT_EQ(plan(), (std::vector<std::string>{"A3:KLM3*", "A1:BAW1*"}));
  PARK_FAKE.value = 1;
  EXPECT_EQ(plan(), (std::vector<std::string>{"A5:AFR5*", "A3:KLM3*", "A1:BAW1*"}));
  PARK_FAKE.value = 0;
  PARK_SOFT.value = 1;
  MAX_FIT.value = 47;
  // CUSTOM_PARKING_PERCENTAGE 15 of 7 stands: one; both offset-0 finds come in one step, the last
  // one is dropped.
  CUSTOM_PARKING_PERCENTAGE.value = 15;
  EXPECT_EQ(plan(), (std::vector<std::string>{"A1:BAW1*"}));
  CUSTOM_PARKING_PERCENTAGE.value = -1;
  // CUSTOM_MAX_PARK caps the count.
  CUSTOM_MAX_PARK.value = 2;
  EXPECT_EQ(plan(), (std::vector<std::string>{"A3:KLM3*", "A1:BAW1*"}));
  CUSTOM_MAX_PARK.value = 0;
  EXPECT_TRUE(plan().empty());
  EXPECT_TRUE(logHas("no parking positions found"));
  EXPECT_EQ(g_parkingLock.load(), 0);
}

TEST_F(StaticParking, WhatIsLiveParkedOrPlannedAlreadyIsSetAside) {
  tuesdayOptions();
  parking_percentage.value = 40;
  // KLM3 flies in the feed (with the ghost mark): A3's option is set aside; A2 and then A6 follow.
  g_trafficReader.addSeenCallsign("KLM3_");
  EXPECT_EQ(planAndPark(), (std::vector<std::string>{"A1:BAW1*", "A2:DLH3*", "A6:SWR6*"}));
  EXPECT_TRUE(gf_optionSetAside(3, 1));
  gf_resetEngine();
  lf_clearSetAside();
  // A registration planned elsewhere in the same step is not planned twice.
  stand(3).options[0].reg = "N-BAW1";
  EXPECT_EQ(planAndPark(), (std::vector<std::string>{"A1:BAW1*", "A2:DLH3*", "A6:SWR6*"}));
  gf_resetEngine();
  lf_clearSetAside();
  stand(3).options[0].reg = "N-KLM3";
  // Options without registration or callsign stand for no aircraft: they never set each other aside.
  for (int n : {1, 3}) stand(n).options[0].reg.clear();
  stand(3).options[0].cs2.clear();
  parked(7, "EZY", "A320", "EZY7*", "", "", {2, 20});
  EXPECT_EQ(planAndPark(), (std::vector<std::string>{"A3:KLM3*", "A1:BAW1*", "A2:DLH3*"}));
}

TEST_F(StaticParking, AStaticAircraftReachingOverANeighbourStandKeepsItFree) {
  option(2, "KLM", "A320", 2, bits({20}), "KLM2");
  stand(1).overlapIds = {2};
  stand(2).overlapIds = {1};
  parked(1, "DLH", "A319", "DLH9*", "DLH9", "", {2, 19});
  // Both half spans are 17.9 m: an A320 on A2 would touch the A319 on A1 closer than 35.8 m.
  const auto planAt = [&](double metres) {
    const LatLon at = gf_destinationPoint({stand(1).lat, stand(1).lon}, 0, metres / 1852 * kFeetPerNm);
    stand(2).lat = at.lat;
    stand(2).lon = at.lon;
    lf_startStaticParking();
    return g_staticPlan.size();
  };
  EXPECT_EQ(planAt(35.0), 0u);
  EXPECT_TRUE(logHas("no parking positions found"));
  EXPECT_EQ(planAt(36.5), 1u);
}

TEST_F(StaticParking, TheCallsignOfAStaticAircraft) {
  PlanResult r;
  r.callsign = "BAW12_";
  r.coupledCallsign = "BAW13";
  r.staying = 1;
  EXPECT_EQ(lf_detcs(r), "BAW12*");
  r.staying = 0;
  EXPECT_EQ(lf_detcs(r), "BAW13*");
  r.coupledCallsign.clear();
  EXPECT_EQ(lf_detcs(r), "BAW12*");  // the other one when the first choice is empty
  r.callsign = "BAW7*";
  EXPECT_EQ(lf_detcs(r), "BAW7*");
  r.callsign = "__";
  EXPECT_EQ(lf_detcs(r), "*");
  r.callsign.clear();
  EXPECT_EQ(lf_detcs(r), "");
  EXPECT_TRUE(logHas("lf_detcs callsign is empty.."));
  // An option without callsign parks under a made-up one of its airline and the serial.
  option(1, "BAW", "A320", 2, bits({20}), "");
  g_staticSerial = 41;
  EXPECT_EQ(planAndPark(), (std::vector<std::string>{"A1:BAW*42"}));
  EXPECT_EQ(g_pendingParkedCreations.back().hexid, 42u);
}

TEST_F(StaticParking, ParkingSkipsStandsTakenMeanwhileAndSerialsInUse) {
  option(1, "BAW", "A320", 2, bits({20}), "BAW1");
  option(2, "KLM", "A320", 2, bits({20}), "KLM2");
  option(3, "AFR", "A320", 2, bits({20}), "AFR3");
  option(4, "XXX", "B777", 2, bits({20}), "XXX4");  // no livery for it
  parking_percentage.value = 60;
  lf_startStaticParking();
  ASSERT_EQ(g_staticPlan.size(), 4u);
  // A live aircraft drives onto A2 while the plan waits; a parked act with serial 1 exists.
  LiveAc live(Situation{}, AcData("DLH", "A320", "", "", "DLH5", "DLH5", "", "D-AAAA", false), 0);
  live.hexid = 0x400000;
  live.standId = 2;
  live.phase = GroundPhase::ToStand;
  g_liveAcs.push_back(live);
  g_staticSerial = 0;
  LOG.value = 1;
  EXPECT_EQ(parkAll(), (std::vector<std::string>{"A3:AFR3*", "A1:BAW1*"}));
  EXPECT_TRUE(logHas("A2      : no static parking for KLM2, live aircraft DLH5 standing here"));
  EXPECT_EQ(g_parkedActs.size(), 2u);  // the one without livery is dropped
  EXPECT_NE(g_parkedActs[0].hexid, g_parkedActs[1].hexid);
  // The serial wraps below 10000 and skips the hexids in use.
  g_staticSerial = 9999;
  g_parkedActs[0].hexid = 1;
  option(5, "SWR", "A320", 2, bits({20}), "SWR5");
  g_staticPlan.push_back({5, 0, "SWR", "A320", "SWR5", "", "N-SWR5", 1, std::nullopt});
  lf_parkStatic();
  EXPECT_EQ(g_parkedActs.back().hexid, 2u);
}

// A static aircraft is never created where a live aircraft stands (stands 100 m apart, radius 20 m;
// A3 listed as A2's neighbour): one bound for, at or leaving the stand or a neighbour; and any on
// the ground within the radius of the stand or of a neighbour, whatever its phase and whichever stand
// it holds: one created there (phase Taxi after AtStand), also while its own creation is under way.
// One 25 m off, one in the air above the stand, one that pulled out of it long ago, do not.
TEST_F(StaticParking, NoStaticAircraftIsCreatedWhereALiveOneStands) {
  struct Case {
    std::string what;
    GroundPhase before, phase;
    std::uint32_t standId;
    int standOff;  // metres south of this stand (1 to 7)
    double metres;
    ActState state;
    bool onGround;
    std::string line;  // empty: the static aircraft is created
  };
  const std::string here = ": no static parking for KLM2, live aircraft ";
  const std::vector<Case> cases{
      {"leaving A2, 30 m off", GroundPhase::AtStand, GroundPhase::LeavingStand, 2, 2, 30, ActState::InSim, true,
       "A2      " + here + "L1 standing here"},
      {"created at A2, being created", GroundPhase::AtStand, GroundPhase::Taxi, 2, 2, 0, ActState::Creating, true,
       "A2      " + here + "L2 standing here"},
      {"taxiing 15 m off A2, no stand", GroundPhase::Taxi, GroundPhase::Taxi, 0, 2, 15, ActState::InSim, true,
       "A2      " + here + "L3 standing here"},
      {"15 m off the neighbour A3", GroundPhase::Taxi, GroundPhase::Taxi, 0, 3, 15, ActState::InSim, true,
       "A2      " + here + "L4 is adjacent at A3, possibly colliding"},
      {"taxiing 25 m off A2", GroundPhase::Taxi, GroundPhase::Taxi, 0, 2, 25, ActState::InSim, true, ""},
      {"in the air above A2", GroundPhase::New, GroundPhase::Airborne, 0, 2, 0, ActState::InSim, false, ""},
      {"pulled out of A2, taxiing 300 m off", GroundPhase::AtStand, GroundPhase::Taxi, 2, 2, 300, ActState::InSim, true,
       ""},
  };
  stand(2).overlapIds = {3};
  LOG.value = 1;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string callsign = "L" + std::to_string(++n);
    g_liveAcs.clear();
    g_parkedActs.clear();
    g_pendingParkedCreations.clear();
    Situation front;
    front.airborne = c.onGround ? 0 : 1;
    LiveAc live(front, AcData("DLH", "A320", "", "", callsign, callsign, "", "D-" + callsign, false), 0);
    live.hexid = 0x400000;
    live.state = c.state;
    live.movesOnGround = c.onGround && c.state == ActState::InSim ? 1 : 0;
    live.phase = c.before;
    live.setPhase(c.phase);
    live.standId = c.standId;
    const Stand& s = stand(c.standOff);
    const LatLon at = gf_destinationPoint({s.lat, s.lon}, kPi, c.metres / 1852 * kFeetPerNm);
    live.position.latitude = at.lat;
    live.position.longitude = at.lon;
    g_liveAcs.push_back(live);
    g_staticPlan = {{2, 0, "KLM", "A320", "KLM2", "", "N-KLM2", 1, std::nullopt}};
    lf_parkStatic();
    EXPECT_EQ(g_parkedActs.size(), c.line.empty() ? 1u : 0u);
    EXPECT_TRUE(c.line.empty() || logHas(c.line)) << c.line;
  }
}

TEST_F(StaticParking, CountsAndMeanTimeAtTheStand) {
  parked(1, "BAW", "A320", "BAW1*", "BAW1", "", {7, 40});
  parked(2, "KLM", "A320", "KLM2*", "KLM2", "", {1, 0});
  parked(3, "AFR", "A320", "AFR3*", "AFR3", "", {1, 2});
  g_parkedActs[2].state = ActState::Creating;  // not yet in the simulator: not counted
  now(1, 2);
  std::uint64_t total = 0;
  EXPECT_TRUE(gf_addParkedHalfHours(total, {1, 2}, true, g_parkedActs[0]));
  EXPECT_EQ(total, 10u);  // Sunday 20:00 to Monday 01:00
  EXPECT_FALSE(gf_addParkedHalfHours(total, {1, 2}, true, g_parkedActs[2]));
  EXPECT_TRUE(gf_addParkedHalfHours(total, {7, 39}, true, g_parkedActs[0]));  // now earlier: nothing
  EXPECT_EQ(total, 10u);
  EXPECT_EQ(gf_countParkedAc(true), 2);
  // (10 + 2) half hours over two aircraft: 3 hours, plus half an hour.
  EXPECT_FLOAT_EQ(g_mainWindow.staticAverageFit.load(), 3.5f);
  WEEK.value = 1;
  g_mainWindow.staticAverageFit = -1.0f;
  EXPECT_EQ(gf_countParkedAc(true), 2);
  EXPECT_FLOAT_EQ(g_mainWindow.staticAverageFit.load(), -1.0f);
}

TEST_F(StaticParking, TheLockDisablesTheNineParkingControls) {
  test::RecordingUi ui;
  g_mainHwnd = &ui;
  const std::vector<const OptionControl*> nine{&parking_percentage, &CUSTOM_MAX_PARK,     &MAX_FIT_FL,
                                               &INITIAL_LOAD_ONLY,  &PARK_FAKE,           &PARK_SOFT,
                                               &WEEK,               &FLUSH_STATIC_BUTTON, &REREAD_BUTTON};
  for (const OptionControl* c : nine) ui.enable(c->controlId, true);
  ui.enable(LOG.controlId, true);
  gf_showMessage("a message", false);
  gf_lockParkingControls();
  EXPECT_EQ(g_parkingLock.load(), 1);
  for (const OptionControl* c : nine) EXPECT_FALSE(ui.isEnabled(c->controlId)) << c->controlId;
  EXPECT_TRUE(ui.isEnabled(LOG.controlId));
  EXPECT_TRUE(gf_messageLineSnapshot().message.empty());
  g_renewalMinutes = 3;
  gf_unlockParkingControls();
  EXPECT_EQ(g_parkingLock.load(), 0);
  EXPECT_EQ(g_renewalMinutes.load(), 19u);
  for (const OptionControl* c : nine) EXPECT_TRUE(ui.isEnabled(c->controlId)) << c->controlId;
  g_mainHwnd = nullptr;
}

// ---- Loading the park airport for static parking ----

// An airport file of n stands 100 m apart in my_thirdparty, with the parameters given.
void writeAirport(const fs::path& folder, const std::string& code, int n, const std::string& parameters) {
  std::string text = std::string("<?xml version=\"1.0\"?>\n") + test::kMetaBlock + "<parameters>" +
                     "<parameter name=\"publisher\" value=\"P\" /><parameter name=\"altitude\" value=\"13\" />" +
                     parameters + "</parameters>\n<parkpositions>";
  for (int i = 0; i < n; ++i) {
    const LatLon at = gf_destinationPoint({40.64, -73.78}, kPi / 2, i * 100.0 / 1852 * kFeetPerNm);
    text += fmt::format("<parkpos id=\"S{}\" latitude=\"{:.7f}\" longitude=\"{:.7f}\" radius=\"20\" />", i + 1, at.lat,
                        at.lon);
  }
  fs::create_directories(folder);
  test::writeFile(folder / (code + ".xml"), text + "</parkpositions>\n");
}

TEST_F(StaticParking, AGoodAirportFileOfTwentyStandsOrMoreLearnsNoSoftOptions) {
  g_stands.clear();
  LEARN_SOFT.value = 1;
  writeAirport(path("airports/my_thirdparty"), "KJFK", 20, "<parameter name=\"Qf_real\" value=\"45\" />");
  EXPECT_EQ(lf_readParkedFile(), "");
  EXPECT_EQ(g_stands.size(), 20u);
  EXPECT_EQ(g_softLearningAllowed, 0);
  EXPECT_EQ(LEARN_SOFT.value.load(), 0);
  EXPECT_EQ(g_parkParameterChanged.load(), 1);  // so that the learned file keeps the change
  EXPECT_EQ(g_mainWindow.text(StatusText::ParkingText1), "P");
  EXPECT_EQ(g_mainWindow.text(StatusText::ParkingText2), "KJFK.xml");
  EXPECT_EQ(g_mainWindow.parkDataShown.load(), 1);
  // 19 stands, or a factor below 45: soft learning goes on.
  for (const auto& [stands, qf] : {std::pair{19, 45}, std::pair{20, 44}}) {
    LEARN_SOFT.value = 1;
    g_parkParameterChanged = 0;
    writeAirport(path("airports/my_thirdparty"), "KJFK", stands,
                 fmt::format("<parameter name=\"Qf_real\" value=\"{}\" />", qf));
    EXPECT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(g_softLearningAllowed, 1) << stands << " " << qf;
    EXPECT_EQ(LEARN_SOFT.value.load(), 1);
    EXPECT_EQ(g_parkParameterChanged.load(), 0);
  }
}

TEST_F(StaticParking, SetAsideOptionsKeepTheirNumbersAndAreSavedWhenTheAirportIsLeft) {
  g_stands.clear();
  writeAirport(path("airports/my_thirdparty"), "KJFK", 3, "");
  ASSERT_EQ(lf_readParkedFile(), "");
  option(1, "BAW", "A321", 2, bits({19}), "BAW0");
  option(1, "BAW", "A320", 2, bits({20}), "BAW1");
  g_trafficReader.addSeenCallsign("BAW1");
  lf_startStaticParking();
  // The option of now is set aside (BAW1 is live); the stand takes the one of an hour before.
  ASSERT_EQ(g_staticPlan.size(), 1u);
  EXPECT_EQ(g_staticPlan[0].callsign, "BAW0");
  EXPECT_TRUE(gf_optionSetAside(1, 2));
  EXPECT_FALSE(gf_optionSetAside(1, 1));
  // What the stand learns meanwhile is numbered after them.
  const std::string klm = "KLM", a320 = "A320";
  EXPECT_EQ(gf_addParkPosOption(stand(1).options, {klm, a320}, 1, {2, 21}, "KLM7", "PH-AAA"), 3u);
  g_standUpdates = 1;
  lf_endParkAirport();
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(path("airports/learned/thirdparty/P/KJFK.xml").c_str()));
  std::vector<std::string> saved;
  for (pugi::xml_node o : doc.child("parkpositions").child("parkpos").children("opt"))
    saved.push_back(o.attribute("cs").as_string());
  EXPECT_EQ(saved, (std::vector<std::string>{"BAW0", "BAW1", "KLM7"}));
}

TEST_F(StaticParking, LeavingTheAirportPutsTheUsersLiveLimitBack) {
  g_stands.clear();
  writeAirport(path("airports/my_thirdparty"), "KJFK", 3, "");
  fs::create_directories(path("airports/learned/thirdparty/P"));
  test::writeFile(path("airports/learned/thirdparty/P/KJFK.xml"),
                  std::string("<?xml version=\"1.0\"?>\n") + test::kMetaBlock +
                      "<parameters><parameter name=\"MAX_LIVE\" value=\"5\" /></parameters>\n<parkpositions />\n");
  MAX_LIVE.value = 40;
  g_maxLiveInUse = 40;
  ASSERT_EQ(lf_readParkedFile(), "");
  EXPECT_EQ(MAX_LIVE.value.load(), 5);  // the airport's own
  gf_removeAllParkedAc();
  EXPECT_EQ(MAX_LIVE.value.load(), 40);
  EXPECT_EQ(g_maxLiveInUse.load(), 40);
}

// ---- The renewal ----

class ParkingRenewal : public StaticParking {
protected:
  void SetUp() override {
    StaticParking::SetUp();
    // Tuesday 10:30 to 11:00 (half hour 21).
    now(2, 21);
    option(1, "BAW", "A320", 2, bits({19, 20, 21}), "BAW1");
    option(2, "DLH", "A319", 2, bits({20, 21}), "DLH2", "DLH3");
    option(3, "KLM", "A320", 2, bits({20, 21}), "KLM3", "KLM4");  // ends with this half hour
    option(4, "SWR", "A320", 2, bits({21}), "SWR4");
    option(5, "AFR", "A320", 2, bits({21}), "AFR5");
    option(6, "UAL", "B738", 2, bits({15}), "UAL6");
    option(7, "EZY", "A320", 2, bits({21}), "EZY7");
    parking_percentage.value = 40;  // 2.8 -> 3 wanted
    parked(1, "BAW", "A320", "BAW1*", "BAW1", "", {2, 19});
    parked(3, "KLM", "A320", "KLM3*", "KLM3", "KLM4", {2, 20});
    parked(2, "DLH", "A319", "DLH2*", "DLH2", "DLH3", {2, 20});
    parked(6, "UAL", "B738", "UAL6*", "UAL6", "", {2, 15});
  }
};

TEST_F(ParkingRenewal, KeepsSwapsToTheCoupledCallsignAndRemovesLiveAndSurplus) {
  g_trafficReader.addSeenCallsign("DLH3");  // DLH2's coupled callsign flies: its real aircraft is live
  gf_adjustParking();
  // The search finds A4, A5 and A7 now (the parked aircraft's own options are set aside). Kept: A1
  // (its option covers now) and A3, which leaves after this half hour and comes back as KLM4 at
  // the same stand. Removed: A2 (live) and A6 (its option ended long ago). One kept plus the swap
  // plus three new is two too many: the last new ones go.
  EXPECT_TRUE(logHas("Parking adjustments: 3 to be removed, 2 to be added"));
  ASSERT_EQ(g_staticPlan.size(), 2u);
  EXPECT_TRUE(g_staticPlan.front().standTime.has_value());  // the swap, first among equal offsets
  std::vector<std::string> removing;
  for (const Act& a : g_parkedActs)
    if (a.state == ActState::Removing) removing.push_back(a.callsign);
  std::sort(removing.begin(), removing.end());
  EXPECT_EQ(removing, (std::vector<std::string>{"DLH2*", "KLM3*", "UAL6*"}));
  EXPECT_EQ(g_parkingLock.load(), 1);

  // The old KLM3* is on its way out: its stand does not keep the swap from parking.
  EXPECT_EQ(parkAll(), (std::vector<std::string>{"A4:SWR4*", "A3:KLM4*"}));
  // The swapped aircraft keeps the time at the stand of the one it replaces.
  EXPECT_EQ(g_parkedActs.back().callsign, "KLM4*");
  EXPECT_EQ(g_parkedActs.back().weekDay, 2u);
  EXPECT_EQ(g_parkedActs.back().halfHourSlot, 20u);
  std::erase_if(g_parkedActs, [](const Act& a) { return a.state == ActState::Removing; });
  createdAll();
  EXPECT_EQ(inSim(), (std::vector<std::string>{"A1:BAW1*", "A3:KLM4*", "A4:SWR4*"}));
  // The maximum holds: three parked for three wanted.
  EXPECT_EQ(gf_countParkedAc(false), g_maxParkCount);
}

TEST_F(ParkingRenewal, ASmallerCountDropsAdditionsAndSwapsThenTheEarliestKept) {
  CUSTOM_MAX_PARK.value = 1;
  gf_adjustParking();
  // One wanted: A4 is planned (A5 and A7 of the same step dropped); kept are A1 (since half hour
  // 19), A3 and A2 (since 20), the last two leaving after this half hour. Three too many: A4 and
  // both swaps go, A1 stays.
  EXPECT_TRUE(g_staticPlan.empty());
  EXPECT_EQ(inSim(), (std::vector<std::string>{"A1:BAW1*"}));
  // Options that go on: nobody leaves, and the kept aircraft parked earliest go first.
  gf_resetEngine();
  for (int n : {2, 3}) stand(n).options[0].halfHours |= bits({22});
  parked(1, "BAW", "A320", "BAW1*", "BAW1", "", {2, 19});
  parked(3, "KLM", "A320", "KLM3*", "KLM3", "KLM4", {2, 20});
  parked(2, "DLH", "A319", "DLH2*", "DLH2", "DLH3", {2, 20});
  gf_adjustParking();
  EXPECT_TRUE(g_staticPlan.empty());
  EXPECT_EQ(inSim(), (std::vector<std::string>{"A3:KLM3*"}));
}

TEST_F(ParkingRenewal, SurplusLiveAircraftAtStandsGoFirstUnlessInitialLoadOnly) {
  g_parkedActs.clear();
  for (int n = 1; n <= 5; ++n) {
    LiveAc live(Situation{}, AcData("DLH", "A320", "", "", "DLH" + std::to_string(n), "", "", "", false), 0);
    live.hexid = 0x400000 + static_cast<std::uint32_t>(n);
    live.standId = static_cast<std::uint32_t>(n);
    live.phase = GroundPhase::AtStand;
    live.state = ActState::InSim;
    live.objectId = 900 + static_cast<std::uint32_t>(n);
    live.checkedAtStand = 1;
    g_liveAcs.push_back(live);
  }
  gf_adjustParking();
  EXPECT_TRUE(logHas("Parking adjustments: 2 more live ac than wanted"));
  EXPECT_EQ(std::count_if(g_liveAcs.begin(), g_liveAcs.end(),
                          [](const LiveAc& ac) { return ac.state == ActState::Removing; }),
            2);
  EXPECT_TRUE(g_staticPlan.empty());
}

TEST_F(ParkingRenewal, TheSurplusLoopEndsWhenNothingMayGo) {
  g_parkedActs.clear();
  INITIAL_LOAD_ONLY.value = 1;
  CUSTOM_MAX_PARK.value = 0;  // none wanted: the surplus live aircraft stay with INITIAL_LOAD_ONLY
  for (int n = 1; n <= 2; ++n) {
    LiveAc live(Situation{}, AcData("DLH", "A320", "", "", "DLH" + std::to_string(n), "", "", "", false), 0);
    live.hexid = 0x400000 + static_cast<std::uint32_t>(n);
    live.standId = static_cast<std::uint32_t>(n);
    live.phase = GroundPhase::AtStand;
    live.state = ActState::InSim;
    live.objectId = 900 + static_cast<std::uint32_t>(n);
    g_liveAcs.push_back(live);
  }
  gf_adjustParking();  // returns
  EXPECT_TRUE(std::all_of(g_liveAcs.begin(), g_liveAcs.end(), [](const LiveAc& ac) { return ac.state == ActState::InSim; }));
  EXPECT_TRUE(logHas("Parking adjustments: 0 to be removed, 0 to be added"));
}

// ---- Removals ----

TEST_F(StaticParking, CollisionRemovalAtOnePointOneTimesBothHalfSpans) {
  parked(1, "BAW", "A320", "BAW1*", "BAW1", "", {2, 20});
  LOG.value = 1;
  LiveAc live(Situation{}, AcData("KLM", "A320", "", "", "KLM9", "", "", "", false), 0);
  const double reach = (live.halfWingspan + g_parkedActs[0].halfWingspan) * 1.1;
  const auto at = [&](double nm) {
    const LatLon p = gf_destinationPoint({stand(1).lat, stand(1).lon}, 1.0, nm * kFeetPerNm);
    live.position.latitude = p.lat;
    live.position.longitude = p.lon;
  };
  at(reach * 1.01);
  EXPECT_TRUE(gf_removeStaticForCollision(live) == g_parkedActs.end());
  at(reach * 0.99);
  auto it = gf_removeStaticForCollision(live);
  ASSERT_TRUE(it != g_parkedActs.end());
  EXPECT_EQ(it->callsign, "BAW1*");
  EXPECT_EQ(it->state, ActState::Removing);
  EXPECT_TRUE(logHas("A1      : BAW1*    removed for collision avoidance with live KLM9"));
  EXPECT_TRUE(gf_removeStaticForCollision(live) == g_parkedActs.end());  // removing already
}

TEST_F(StaticParking, MaxParkRemovalOfALiveAircraft) {
  LiveAc live(Situation{}, AcData("KLM", "A320", "", "", "KLM9", "", "", "", false), 0);
  live.hexid = 0x4CA123;
  live.standId = 2;
  live.objectId = 77;
  g_liveAcs.push_back(live);
  EXPECT_TRUE(gf_removeLiveAcMaxPark(0x4CA123) == g_liveAcs.end());  // not in the simulator yet
  g_liveAcs[0].state = ActState::InSim;
  auto it = gf_removeLiveAcMaxPark(0x4CA123);
  ASSERT_TRUE(it != g_liveAcs.end());
  EXPECT_EQ(it->state, ActState::Removing);
  EXPECT_TRUE(logHas("A2: KLM9     max park exceeded, removed"));
}

TEST_F(StaticParking, RemovingEverythingEndsTheParkAirport) {
  option(1, "BAW", "A320", 2, bits({20}), "BAW1");
  g_parkAirportLoaded = 1;
  parked(2, "KLM", "A320", "KLM2*", "KLM2", "", {2, 20});
  g_staticPlan.push_back({1, 0, "BAW", "A320", "BAW1", "", "N-BAW1", 1, std::nullopt});
  LiveAc atStand(Situation{}, AcData("DLH", "A320", "", "", "DLH5", "", "", "", false), 0);
  atStand.hexid = 0x400001;
  atStand.standId = 3;
  atStand.phase = GroundPhase::AtStand;
  atStand.state = ActState::InSim;
  atStand.objectId = 91;
  LiveAc flying = atStand;
  flying.hexid = 0x400002;
  flying.standId = 0;
  flying.phase = GroundPhase::Airborne;
  flying.objectId = 92;
  g_liveAcs = {atStand, flying};
  g_mainWindow.parkDataShown = 1;
  gf_removeAllParkedAc();
  EXPECT_TRUE(g_staticPlan.empty());
  EXPECT_EQ(g_parkedActs[0].state, ActState::Removing);
  EXPECT_EQ(g_liveAcs[0].state, ActState::Removing);
  EXPECT_EQ(g_liveAcs[0].standId, 0u);
  EXPECT_EQ(g_liveAcs[1].state, ActState::InSim);  // in the air: stays
  EXPECT_TRUE(g_stands.empty());
  EXPECT_TRUE(gf_parkAirportSnapshot().code.empty());
  EXPECT_EQ(g_parkAirportLoaded.load(), 0);
  EXPECT_EQ(g_mainWindow.parkDataShown.load(), 0);
}

TEST_F(StaticParking, TheResetLeavesNothingBehind) {
  tuesdayOptions();
  lf_startStaticParking();
  lf_parkStatic();
  g_shownQnh = 998;
  gf_resetParkState();
  EXPECT_TRUE(g_staticPlan.empty());
  EXPECT_TRUE(g_parkedActs.empty());
  EXPECT_TRUE(g_pendingParkedCreations.empty());
  EXPECT_TRUE(g_stands.empty());
  EXPECT_EQ(g_parkingLock.load(), 0);
  EXPECT_EQ(g_shownQnh.load(), 1013);
  EXPECT_EQ(g_softLearningAllowed, 0);
  EXPECT_TRUE(gf_parkAirportSnapshot().code.empty());
}

}  // namespace
}  // namespace amb
