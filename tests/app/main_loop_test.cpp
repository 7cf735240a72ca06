// The tick of the main loop, its report step and the periodic steps.

#include "app/periodic.hpp"
#include "app/worker.hpp"
#include "feed/traffic_line.hpp"
#include "tests/app/app_fixture.hpp"

#include <stop_token>

namespace amb::test {
namespace {

TEST(ReportSteps, CadenceByReportCount) {
  struct Case {
    std::int32_t n;
    bool renewal;
    ReportSteps steps;
  };
  const std::vector<Case> cases{
      {15, false, {true, false, false, false}},    // the periodic steps only
      {30, false, {true, false, false, false}},
      {240, false, {true, false, false, false}},   // a multiple of 15 and of 16
      {16, false, {false, true, false, false}},
      {32, true, {false, false, false, false}},    // no park-airport check during a renewal
      {59, false, {false, false, true, false}},
      {61, false, {false, false, false, true}},
      {3599, false, {false, false, true, true}},   // 59 x 61
      {944, false, {false, true, true, false}},    // 16 x 59
      {1, false, {false, false, false, false}},
  };
  for (const Case& c : cases) EXPECT_EQ(lf_reportSteps(c.n, c.renewal), c.steps) << c.n;
}

TEST(AutoRange, RangeByHeightAndDistance) {
  struct Case {
    bool onGround;
    double height;
    double distance;
    std::int32_t range;
  };
  const std::vector<Case> cases{
      {true, 30000, 100, 10},   // on the ground
      {false, 49500, 5, 100},   // above AUTO_RANGE_ABOVE_HEIGHT
      {false, 20000, 5, 40},    // above AIRPORT_HEIGHT
      {false, 1000, 20, 23},    // 20 nm from the first park airport
      {false, 1000, 7, 10},
      {false, 1000, 7.4, 10},   // round(7.4) + 3
      {false, 1000, 36.6, 40},
      {false, 1000, 37, 40},
      {false, 1000, 10000, 40}, // no park airport
  };
  for (const Case& c : cases)
    EXPECT_EQ(lf_autoRangeNm(c.onGround, c.height, 49000, 18000, c.distance), c.range) << c.height << " " << c.distance;
}

class MainLoopTest : public ShellTest {
protected:
  // One tick that finds a report waiting.
  bool report() {
    g_newUserData = 1;
    return lf_workAMBT();
  }
};

TEST_F(MainLoopTest, TheAutomaticRangeSetsTheRadiusAndShowsIt) {
  g_userOnGround = 1;
  gf_autoRange();
  EXPECT_EQ(LATERAL_RANGE.value, 10);
  EXPECT_EQ(g_radiusNm, 10.0);
  EXPECT_EQ(g_radiusMeters, 18520u);
  EXPECT_EQ(g_autoRangeApplied, 1);
  EXPECT_EQ(ui.control(LATERAL_RANGE.controlId).text, "10");
  AUTO_RANGE.value = 0;
  gf_autoRange();
  EXPECT_EQ(g_autoRangeApplied, 0);
}

TEST_F(MainLoopTest, FlightNotRunningAndResumed) {
  {
    std::lock_guard lock(g_trafficQueueMutex);
    g_trafficQueueOpen = 1;
  }
  for (int i = 0; i < 250; ++i) ASSERT_TRUE(lf_workAMBT());
  EXPECT_EQ(g_flightNotRunning, 1);
  {
    std::lock_guard lock(g_trafficQueueMutex);
    EXPECT_EQ(g_trafficQueueOpen, 0);
  }
  EXPECT_EQ(g_reportCount, 0);  // no reports without the simulation

  g_simRunning = 1;
  ASSERT_TRUE(report());
  EXPECT_EQ(g_flightNotRunning, 0);
  EXPECT_EQ(g_reportCount, 1);
  EXPECT_EQ(g_newUserData, 0);
  {
    std::lock_guard lock(g_trafficQueueMutex);
    EXPECT_EQ(g_trafficQueueOpen, 1);
  }
  const auto lines = log();
  auto count = [&](const std::string& tail) {
    return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.ends_with(tail); });
  };
  EXPECT_EQ(count(" Flight not running"), 1);
  EXPECT_EQ(count(" Flight resumed"), 1);

  // A tick without a report counts nothing.
  ASSERT_TRUE(lf_workAMBT());
  EXPECT_EQ(g_reportCount, 1);
}

TEST_F(MainLoopTest, AStatusMessageDisappearsAfter25Reports) {
  g_simRunning = 1;
  gf_showMessage("shown at counter 0", false);
  for (int i = 0; i < 25; ++i) report();
  EXPECT_EQ(message(), "shown at counter 0");
  report();
  EXPECT_EQ(message(), "");
  // An error is never aged.
  gf_showError("stays");
  for (int i = 0; i < 30; ++i) report();
  EXPECT_EQ(error(), "stays");
}

TEST_F(MainLoopTest, AReportEndsTheLoopOnceAnExitIsUnderWay) {
  g_simRunning = 1;
  EXPECT_TRUE(report());
  g_exitUnderWay = 1;
  EXPECT_TRUE(lf_workAMBT());  // no report waiting
  EXPECT_FALSE(report());
  g_exitUnderWay = 0;
  g_userClosed = 1;
  EXPECT_FALSE(report());
}

TEST_F(MainLoopTest, NewArrivalsGoOnePerReportAndAGoneAircraftDoesNotBlockTheRest) {
  g_simRunning = 1;
  g_newArrivals = {0xAAAAAA, 0xBBBBBB, 0xCCCCCC};  // none of them is a live aircraft (any more)
  report();
  EXPECT_EQ(g_newArrivals.size(), 2u);
  report();
  report();
  EXPECT_TRUE(g_newArrivals.empty());
}

TEST_F(MainLoopTest, RequestsOfTheWindowAreTakenUpAtTheNextReport) {
  g_simRunning = 1;
  g_flushStaticRequest = 1;
  g_blockChangeRequest = 1;
  g_navLightsRequest = 1;
  g_maxLiveRequest = 1;
  BLOCK_CALLSIGN.setValue("DLH4AB");
  report();
  EXPECT_EQ(g_flushStaticRequest, 0);
  EXPECT_EQ(INITIAL_LOAD_ONLY.value, 1);  // turned on for this run, not saved
  EXPECT_TRUE(ui.isChecked(INITIAL_LOAD_ONLY.controlId));
  EXPECT_EQ(stored("INITIAL_LOAD_ONLY"), "");
  EXPECT_EQ(g_blockChangeRequest, 0);
  EXPECT_EQ(g_navLightsRequest, 0);
  EXPECT_EQ(g_maxLiveRequest, 0);
}

TEST_F(MainLoopTest, TheGridStopsWhenTheWorkersStopIsRequested) {
  std::stop_source stop;
  static std::stop_source* s_stop;
  static int s_ticks;
  s_stop = &stop;
  s_ticks = 0;
  gf_runAsWorker(stop.get_token(), [] {
    lf_runTickGrid([] {
      if (++s_ticks == 3) s_stop->request_stop();
      return true;
    });
  });
  EXPECT_EQ(s_ticks, 3);
}

TEST_F(MainLoopTest, TheGridKeepsItsPeriodAndEndsWithTheTick) {
  std::vector<std::chrono::steady_clock::time_point> times;
  lf_runTickGrid([&] {
    times.push_back(std::chrono::steady_clock::now());
    return times.size() < 6;
  });
  ASSERT_EQ(times.size(), 6u);
  // Five periods of 10 ms: never shorter than the grid allows.
  EXPECT_GE(times.back() - times.front(), std::chrono::milliseconds(45));
}

class PeriodicTest : public ShellTest {
protected:
  void stepAt(std::int32_t n) {
    g_reportCount = n;
    lf_every5Seconds();
  }
};

TEST_F(PeriodicTest, ThirtySecondStep) {
  g_rematchRequest = 1;
  stepAt(15);
  EXPECT_EQ(g_rematchRequest, 1);  // 15: no 30-second step
  stepAt(30);
  EXPECT_EQ(g_rematchRequest, 0);

  stepAt(60);
  EXPECT_EQ(g_renewalMinutes, 19u);
  stepAt(1200);
  EXPECT_EQ(g_renewalMinutes, 20u);
  stepAt(1140);
  EXPECT_EQ(g_renewalMinutes, 1u);

  stepAt(86400);
  EXPECT_EQ(g_reportCount, 0);
}

TEST_F(PeriodicTest, AReaderErrorEndsTheRun) {
  g_readerError = 1;
  stepAt(15);
  EXPECT_EQ(error(), "");
  stepAt(30);
  EXPECT_EQ(error(), "1001: RT error");
  ASSERT_TRUE(waitFor([&] { return exits().size() == 1; }));
  EXPECT_EQ(exits()[0].reason, SystemError);
}

TEST_F(PeriodicTest, AParkingRenewalRunsInTwoHalves) {
  g_parkAirportLoaded = 1;
  stepAt(1200);
  EXPECT_EQ(g_parkingRenewalRequest, 1);
  stepAt(1215);
  EXPECT_EQ(g_renewalUnderWay, 1);
  EXPECT_EQ(g_trafficReader.callsignCollection, 1);
  EXPECT_FALSE(lf_reportSteps(1216, g_renewalUnderWay != 0).parkAirportCheck);
  gf_showError("stale");
  stepAt(1230);
  EXPECT_EQ(g_renewalUnderWay, 0);
  EXPECT_EQ(g_parkingRenewalRequest, 0);
  EXPECT_EQ(error(), "");

  // With INITIAL_LOAD_ONLY no renewal is asked for.
  INITIAL_LOAD_ONLY.value = 1;
  stepAt(2400);
  EXPECT_EQ(g_parkingRenewalRequest, 0);
}

TEST_F(PeriodicTest, ReReadWaitsForTheParkingLock) {
  g_rereadRequest = 1;
  g_parkingLock = 1;
  lf_checkParkAirportsIdle();
  EXPECT_EQ(g_rereadRequest, 1);
  g_parkingLock = 0;
  lf_checkParkAirportsIdle();
  EXPECT_EQ(g_rereadRequest, 0);
  EXPECT_TRUE(ui.isEnabled(REREAD_BUTTON.controlId));
  EXPECT_TRUE(ui.isEnabled(DESTINATION.controlId));
}

}  // namespace
}  // namespace amb::test
