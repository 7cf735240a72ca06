// Clicks on the check boxes and buttons of the main window.

#include "app/window.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

class CommandTest : public ShellTest {
protected:
  void click(const OptionControl& control) { EXPECT_FALSE(lf_HandleWMCOMMAND(control.controlId)); }
};

TEST_F(CommandTest, ACheckBoxTogglesAndIsSavedAtOnce) {
  ASSERT_TRUE(ui.isChecked(LOG.controlId));
  click(LOG);
  EXPECT_FALSE(ui.isChecked(LOG.controlId));
  EXPECT_EQ(LOG.value, 0);
  EXPECT_EQ(stored("LOG"), "false");
  click(LOG);
  EXPECT_EQ(stored("LOG"), "true");
  EXPECT_TRUE(logHas("LOG=true"));
  // Every click repaints the option area, also one that matched no control.
  ui.clearCalls();
  EXPECT_TRUE(lf_HandleWMCOMMAND(1));
  EXPECT_EQ(ui.calls().back(), "invalidate 0 112 880 392");
}

TEST_F(CommandTest, FollowUpMessagesOfTheCheckBoxes) {
  struct Case {
    BoolOptionCheckBox* box;
    std::string shownAfterClick;  // empty: the message line is cleared
  };
  const std::vector<Case> cases{
      {&COLLISION_USER_GND, "Be aware, no collision avoidance with user aircraft on the ground"},
      {&COLLISION_USER_AIR, "Be aware, no collision avoidance with user aircraft in the air"},
      {&LIG_AUTOMATIC, "The liveries defined by your lfolder parameters will be scanned"},
      {&AFG_AUTOMATIC, "The airports defined by your afolder parameters will be scanned"},
      {&LIG_PRIORITIZE, "Liveries in lower lfolders that are already available will be skipped"},
      {&SUPPRESS_STUB, ""},
      {&GUID_CHANGES, "Be aware, no more livery updates: you miss correct data for Learn, LittleNavMap, etc.."},
      {&COLLISION_LIVE_PARKED_GND, ""},
      {&INITIAL_LOAD_ONLY,
       "Initial Load Only: static parked aircraft are generated once, no renewal every 20 minutes"},
  };
  for (const Case& c : cases) {
    gf_showMessage("before", false);
    click(*c.box);
    EXPECT_EQ(message(), c.shownAfterClick) << c.box->key;
  }
}

TEST_F(CommandTest, StayOnTopMovesTheWindowAndAerowinxAsksForARestart) {
  click(ALWAYS_ON_TOP);
  EXPECT_TRUE(ui.topmost());
  EXPECT_EQ(message(), "Ambertrail_P3D's window will remain visible");
  click(ALWAYS_ON_TOP);
  EXPECT_FALSE(ui.topmost());
  click(AEROWINX);
  EXPECT_TRUE(message().ends_with("please re-start Ambertrail_P3D")) << message();
}

TEST_F(CommandTest, ScanningLiveriesRestartsOnlyBeforeRealTrafficConnected) {
  SCAN_LIVERIES.value = 0;
  ui.setChecked(SCAN_LIVERIES.controlId, false);
  g_liveryTablesBuilt = 1;
  g_rtLinkPending = 0;
  click(SCAN_LIVERIES);
  EXPECT_EQ(stored("SCAN_LIVERIES"), "true");
  EXPECT_TRUE(message().starts_with("Your liveries will be scanned at the next start of Ambertrail_P3D"));
  EXPECT_TRUE(exits().empty());
  EXPECT_EQ(g_liveryTablesBuilt, 1);

  click(SCAN_LIVERIES);  // off again
  g_rtLinkPending = 1;
  click(SCAN_LIVERIES);
  EXPECT_EQ(message(), "Your liveries will be scanned");
  EXPECT_TRUE(logHas("Your liveries will be scanned"));
  EXPECT_EQ(g_liveryTablesBuilt, 0);
  ASSERT_TRUE(waitFor([&] { return exits().size() == 1; }));
  EXPECT_EQ(exits()[0].reason, NewSettings);
  EXPECT_EQ(exits()[0].delay, 2u);
}

TEST_F(CommandTest, AutoRangeOffPutsBackTheManualRangeWithoutSavingIt) {
  ASSERT_EQ(AUTO_RANGE.value, 1);
  // Switched off and on again: the manual range is remembered, the automatic one applied.
  click(AUTO_RANGE);
  EXPECT_TRUE(ui.isEnabled(LATERAL_RANGE.controlId));
  EXPECT_FALSE(ui.isEnabled(AUTO_RANGE_ABOVE_HEIGHT.controlId));
  LATERAL_RANGE.value = 25;
  click(AUTO_RANGE);
  EXPECT_EQ(g_manualRadiusNm, 25);
  EXPECT_FALSE(ui.isEnabled(LATERAL_RANGE.controlId));
  EXPECT_EQ(LATERAL_RANGE.value, 40);  // no park airport, user not on the ground: 40 nm
  EXPECT_EQ(g_radiusNm, 40.0);

  click(AUTO_RANGE);
  EXPECT_EQ(LATERAL_RANGE.value, 25);
  EXPECT_EQ(g_radiusNm, 25.0);
  EXPECT_EQ(g_radiusMeters, 46300u);
  EXPECT_EQ(g_autoRangeApplied, 0);
  EXPECT_EQ(ui.control(LATERAL_RANGE.controlId).text, "25");
  EXPECT_EQ(stored("LATERAL_RANGE"), "");  // never written by the clicks
  EXPECT_EQ(g_parkingChanged, 1);
}

TEST_F(CommandTest, ButtonsActOnEveryClick) {
  click(UNBLOCK_BUTTON);
  EXPECT_EQ(message(), "Nothing to block or unblock...");

  BLOCK_CALLSIGN.setValue("DLH123");
  click(UNBLOCK_BUTTON);
  EXPECT_EQ(BLOCK_CALLSIGN.value(), "");
  EXPECT_EQ(message(), "no more blocking of live aircraft \"DLH123\"");
  EXPECT_EQ(g_blockChangeRequest, 1);

  ui.enable(REREAD_BUTTON.controlId, true);
  click(REREAD_BUTTON);
  EXPECT_EQ(g_rereadRequest, 1);
  EXPECT_FALSE(ui.isEnabled(REREAD_BUTTON.controlId));
  EXPECT_FALSE(ui.isEnabled(DESTINATION.controlId));

  click(FLUSH_STATIC_BUTTON);
  click(FLUSH_STATIC_BUTTON);
  EXPECT_EQ(g_flushStaticRequest, 1);
  EXPECT_EQ(message(), "All static parked aircraft will be removed ...");
}

TEST_F(CommandTest, FollowUpsThatWalkTheEngineListsGoToTheWorker) {
  click(NAV_LIGHTS_WHILE_PARKED);
  EXPECT_EQ(g_navLightsRequest, 1);
  EXPECT_EQ(stored("NAV_LIGHTS_WHILE_PARKED"), "false");
}

TEST_F(CommandTest, ParkingOptionsAskForARenewalOnlyWithAParkAirport) {
  click(WEEK);
  EXPECT_EQ(g_parkingRenewalRequest, 0);
  EXPECT_EQ(g_parkingChanged, 0);

  g_parkAirportLoaded = 1;
  g_reportCount = 20;
  click(PARK_FAKE);
  EXPECT_EQ(g_parkingChanged, 1);
  EXPECT_EQ(g_parkingRenewalRequest, 1);
  EXPECT_EQ(message(), "Ambertrail_P3D will respond in 10 seconds ...");
  g_reportCount = 29;
  click(PARK_SOFT);
  EXPECT_EQ(message(), "Ambertrail_P3D will respond in 1 second ...");
}

TEST_F(CommandTest, ClosingRequestsTheUserExitAndKeepsTheWindow) {
  AppWindow window(ui);
  window.onClose();
  EXPECT_EQ(message(), "Close window button clicked, closing Ambertrail_P3D ...");
  EXPECT_FALSE(logHas("Close window button clicked, closing Ambertrail_P3D ..."));
  window.onClose();  // the second request is ignored while the first exit is under way
  ASSERT_TRUE(waitFor([&] { return exits().size() == 1; }));
  EXPECT_EQ(exits()[0].reason, UserClosedSim);
  EXPECT_EQ(exits()[0].delay, 0u);
  EXPECT_TRUE(ui.posts().empty());
}

TEST_F(CommandTest, EndingStoresTheWindowPositionButNotAMinimisedOne) {
  AppWindow window(ui);
  ui.rect = {120, 80, 1000, 556};
  window.onApp(2);
  EXPECT_EQ(stored("MAIN_WINDOW_X"), "120");
  EXPECT_EQ(stored("MAIN_WINDOW_Y"), "80");
  EXPECT_FALSE(gf_logIsOpen());
  // The last line of the log is the time.
  EXPECT_EQ(log().back().size(), std::string("Sun Dec 06 22:00:52 2026").size());

  // A minimised window lies far outside the screen: its coordinates clamp to the limit and the
  // previous position is kept.
  gf_startLog();
  ui.rect = {-32000, -32000, -31840, -31976};
  window.onApp(2);
  EXPECT_EQ(stored("MAIN_WINDOW_X"), "120");
  EXPECT_EQ(stored("MAIN_WINDOW_Y"), "80");
}

TEST_F(CommandTest, TheWindowOpensAtTheStoredPositionAndRepairsALimit) {
  writeFile(settingsFile(), "<?xml version=\"1.0\"?>\n<parameters>\n"
                            "\t<parameter name=\"MAIN_WINDOW_X\" value=\"-30000\" />\n"
                            "\t<parameter name=\"MAIN_WINDOW_Y\" value=\"250\" />\n</parameters>\n");
  class CreatingUi : public ShellUi {
  public:
    bool createMainWindow(std::string_view title, int x, int y, int w, int h, platform::UiEvents&) override {
      created = fmt::format("{} {} {} {} {}", title, x, y, w, h);
      return true;
    }
    std::string created;
  } creating;
  ASSERT_TRUE(initInstance(creating, "Ambertrail_P3D"));
  EXPECT_EQ(creating.created, "Ambertrail_P3D 400 250 880 476");
  EXPECT_EQ(stored("MAIN_WINDOW_X"), "400");
  EXPECT_FALSE(logHas("MAIN_WINDOW_Y=250"));  // read without a log line
}

}  // namespace
}  // namespace amb::test
