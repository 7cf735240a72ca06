// The tick of the main loop, its report step and the periodic steps.

#include "app/periodic.hpp"
#include "app/worker.hpp"
#include "tests/app/app_fixture.hpp"

#include <stop_token>

namespace amb::test {
namespace {

TEST(ReportSteps, CadenceByReportCount) {
  const std::tuple<std::int32_t, bool, ReportSteps> cases[] = {
      {240, false, {true, false, false, false}},  // a multiple of 15 and of 16: the periodic steps only
      {32, true, {false, false, false, false}},   // no park-airport check during a renewal
      {3599, false, {false, false, true, true}},  // 59 x 61
      {944, false, {false, true, true, false}},   // 16 x 59
  };
  for (const auto& [n, renewal, steps] : cases) EXPECT_EQ(lf_reportSteps(n, renewal), steps) << n;
}

TEST(AutoRange, RangeByHeightAndDistance) {
  const std::tuple<bool, double, double, std::int32_t> cases[] = {
      {true, 30000, 100, 10},   // on the ground
      {false, 49500, 5, 100},   // above AUTO_RANGE_ABOVE_HEIGHT
      {false, 20000, 5, 40},    // above AIRPORT_HEIGHT
      {false, 1000, 7.4, 10},   // round(7.4) + 3 nm from the first park airport
      {false, 1000, 36.6, 40},  // at most 40
  };
  for (const auto& [onGround, height, distance, range] : cases)
    EXPECT_EQ(lf_autoRangeNm(onGround, height, 49000, 18000, distance), range) << height << " " << distance;
}

class MainLoopTest : public ShellTest {
protected:
  // One tick that finds a report waiting.
  bool report() {
    g_newUserData = 1;
    return lf_workAMBT();
  }
  bool queueOpen() {
    std::lock_guard lock(g_trafficQueueMutex);
    return g_trafficQueueOpen != 0;
  }
};

TEST_F(MainLoopTest, FlightNotRunningClosesTheQueueAndAReportResumes) {
  {
    std::lock_guard lock(g_trafficQueueMutex);
    g_trafficQueueOpen = 1;
  }
  for (int i = 0; i < 250; ++i) ASSERT_TRUE(lf_workAMBT());
  EXPECT_EQ(g_flightNotRunning, 1);
  EXPECT_FALSE(queueOpen());
  EXPECT_EQ(g_reportCount, 0);

  g_simRunning = 1;
  ASSERT_TRUE(report());
  EXPECT_EQ(g_flightNotRunning, 0);
  EXPECT_EQ(g_reportCount, 1);
  EXPECT_TRUE(queueOpen());
  EXPECT_EQ(logCount(" Flight not running"), 1u);  // once, not at every tick
  ASSERT_TRUE(lf_workAMBT());  // a tick without a report counts nothing
  EXPECT_EQ(g_reportCount, 1);
}

TEST_F(MainLoopTest, AReportEndsTheLoopOnceAnExitIsUnderWay) {
  g_simRunning = 1;
  g_exitUnderWay = 1;
  EXPECT_TRUE(lf_workAMBT());  // no report waiting
  EXPECT_FALSE(report());
  g_exitUnderWay = 0;
  g_userClosed = 1;
  EXPECT_FALSE(report());
}

TEST_F(MainLoopTest, AGoneAircraftDoesNotBlockTheNewArrivals) {
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
  g_flushStaticRequest = g_blockChangeRequest = g_navLightsRequest = g_maxLiveRequest = 1;
  report();
  EXPECT_EQ(g_flushStaticRequest + g_blockChangeRequest + g_navLightsRequest + g_maxLiveRequest, 0);
  EXPECT_TRUE(ui.isChecked(INITIAL_LOAD_ONLY.controlId));  // turned on by the flush for this run, not saved
  EXPECT_EQ(stored("INITIAL_LOAD_ONLY"), "");
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

class PeriodicTest : public ShellTest {
protected:
  void stepAt(std::int32_t n) {
    g_reportCount = n;
    lf_every5Seconds();
  }
};

TEST_F(PeriodicTest, AReaderErrorEndsTheRunAtTheThirtySecondStep) {
  g_readerError = 1;
  stepAt(15);
  EXPECT_EQ(error(), "");
  stepAt(30);
  EXPECT_EQ(error(), "1001: RT error");
  EXPECT_EQ(oneExit().first, SystemError);
}

TEST_F(PeriodicTest, AParkingRenewalRunsInTwoHalves) {
  g_parkAirportLoaded = 1;
  stepAt(1200);
  EXPECT_EQ(g_parkingRenewalRequest, 1);
  stepAt(1215);
  EXPECT_EQ(g_renewalUnderWay, 1);
  EXPECT_EQ(g_trafficReader.callsignCollection, 1);
  stepAt(1230);
  EXPECT_EQ(g_renewalUnderWay + g_parkingRenewalRequest, 0);
  INITIAL_LOAD_ONLY.value = 1;  // then no renewal is asked for
  stepAt(2400);
  EXPECT_EQ(g_parkingRenewalRequest, 0);
}

}  // namespace
}  // namespace amb::test
