// Clicks on the check boxes and buttons of the main window.

#include "app/entry.hpp"
#include "app/window.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

class CommandTest : public ShellTest {
protected:
  void click(const OptionControl& control) { EXPECT_FALSE(lf_HandleWMCOMMAND(control.controlId)); }
};

// A click saves the box at once (shown end to end) and shows its follow-up.
TEST_F(CommandTest, ACheckBoxShowsItsFollowUp) {
  click(LOG);
  EXPECT_FALSE(ui.isChecked(LOG.controlId));
  // Every click repaints the option area, also one that matched no control.
  ui.clearCalls();
  EXPECT_TRUE(lf_HandleWMCOMMAND(1));
  EXPECT_EQ(ui.calls().back(), "invalidate 0 112 880 392");

  const std::pair<BoolOptionCheckBox*, std::string> cases[] = {
      {&COLLISION_USER_GND, "Be aware, no collision avoidance with user aircraft on the ground"},
      {&SUPPRESS_STUB, ""},  // the message line is cleared
      {&ALWAYS_ON_TOP, "Ambertrail_P3D's window will remain visible"}};
  for (const auto& [box, shown] : cases) {
    gf_showMessage("before", false);
    click(*box);
    EXPECT_EQ(message(), shown) << box->key;
  }
  EXPECT_TRUE(ui.topmost);
}

TEST_F(CommandTest, ScanningLiveriesRestartsOnlyOnceRealTrafficIsAwaited) {
  SCAN_LIVERIES.value = 0;
  ui.setChecked(SCAN_LIVERIES.controlId, false);
  g_liveryTablesBuilt = 1;
  g_rtLinkPending = 0;
  click(SCAN_LIVERIES);
  EXPECT_EQ(stored("SCAN_LIVERIES"), "true");
  EXPECT_TRUE(message().starts_with("Your liveries will be scanned at the next start of Ambertrail_P3D"));
  EXPECT_TRUE(exits().empty());

  click(SCAN_LIVERIES);  // off again
  g_rtLinkPending = 1;
  click(SCAN_LIVERIES);
  EXPECT_EQ(g_liveryTablesBuilt, 0);
  EXPECT_EQ(oneExit(), (std::pair<int, std::uint32_t>{NewSettings, 2}));
}

TEST_F(CommandTest, AutoRangeOffPutsBackTheManualRangeWithoutSavingIt) {
  click(AUTO_RANGE);  // off
  EXPECT_TRUE(ui.isEnabled(LATERAL_RANGE.controlId));
  LATERAL_RANGE.value = 25;
  click(AUTO_RANGE);  // on: no park airport, user not on the ground, 40 nm
  EXPECT_EQ(g_radiusNm, 40.0);
  EXPECT_FALSE(ui.isEnabled(LATERAL_RANGE.controlId));
  click(AUTO_RANGE);  // off: the remembered manual range
  EXPECT_EQ(g_radiusMeters, 46300u);
  EXPECT_EQ(ui.control(LATERAL_RANGE.controlId).text, "25");
  EXPECT_EQ(stored("LATERAL_RANGE"), "");
}

TEST_F(CommandTest, ButtonsAndFollowUpsOfTheEngineListsBecomeRequestsToTheWorker) {
  BLOCK_CALLSIGN.setValue("DLH123");
  click(UNBLOCK_BUTTON);
  EXPECT_EQ(message(), "no more blocking of live aircraft \"DLH123\"");
  EXPECT_EQ(g_blockChangeRequest, 1);

  ui.enable(REREAD_BUTTON.controlId, true);
  click(REREAD_BUTTON);
  EXPECT_EQ(g_rereadRequest, 1);
  EXPECT_FALSE(ui.isEnabled(REREAD_BUTTON.controlId));
  // The window thread never walks the engine's lists itself.
  click(FLUSH_STATIC_BUTTON);
  click(NAV_LIGHTS_WHILE_PARKED);
  EXPECT_EQ(g_flushStaticRequest + g_navLightsRequest, 2);

  click(WEEK);  // without a park airport: no renewal
  EXPECT_EQ(g_parkingRenewalRequest, 0);
  g_parkAirportLoaded = 1;
  g_reportCount = 20;
  click(PARK_FAKE);
  EXPECT_EQ(g_parkingRenewalRequest, 1);
  EXPECT_EQ(message(), "Ambertrail_P3D will respond in 10 seconds ...");
}

// One exit for two closes and the stored position are shown end to end.
TEST_F(CommandTest, EndingStoresTheWindowPositionUnlessMinimised) {
  AppWindow window(ui);
  ui.rect = {120, 80, 1000, 556};
  window.onApp(2);
  EXPECT_EQ(stored("MAIN_WINDOW_X") + "," + stored("MAIN_WINDOW_Y"), "120,80");
  EXPECT_FALSE(gf_logIsOpen());
  // A minimised window lies far outside the screen: the previous position is kept.
  gf_startLog();
  ui.rect = {-32000, -32000, -31840, -31976};
  window.onApp(2);
  EXPECT_EQ(stored("MAIN_WINDOW_X") + "," + stored("MAIN_WINDOW_Y"), "120,80");
}

TEST_F(CommandTest, TheWindowOpensAtTheStoredPositionAndRepairsALimit) {
  writeFile(dir() / "parameters.xml", "<?xml version=\"1.0\"?>\n<parameters>\n"
                                      "\t<parameter name=\"MAIN_WINDOW_X\" value=\"-30000\" />\n"
                                      "\t<parameter name=\"MAIN_WINDOW_Y\" value=\"250\" />\n</parameters>\n");
  struct CreatingUi : ShellUi {
    bool createMainWindow(std::string_view title, int x, int y, int w, int h, platform::UiEvents&) override {
      created = fmt::format("{} {} {} {} {}", title, x, y, w, h);
      return true;
    }
    std::string created;
  } creating;
  ASSERT_TRUE(initInstance(creating, "Ambertrail_P3D"));
  EXPECT_EQ(creating.created, "Ambertrail_P3D 400 250 880 476");
  EXPECT_EQ(stored("MAIN_WINDOW_X"), "400");
}

// A window whose class or whose creation the platform refuses ends the run at once, each with its
// own log line, before any worker starts.
TEST_F(CommandTest, ARefusedWindowClassOrWindowEndsTheRunWithItsLine) {
  struct RefusingUi : ShellUi {
    bool registerWindowClass(std::string_view title) override {
      registered = std::string(title);
      return classAccepted;
    }
    bool createMainWindow(std::string_view, int, int, int, int, platform::UiEvents&) override { return false; }
    bool classAccepted = false;
    std::string registered;
  } refusing;
  EXPECT_EQ(runApplication(refusing), 0);
  EXPECT_EQ(refusing.registered, "Ambertrail_P3D");
  EXPECT_TRUE(logHas("Failed to register window class"));
  EXPECT_FALSE(logHas("initInstance failed"));
  refusing.classAccepted = true;
  EXPECT_EQ(runApplication(refusing), 0);
  EXPECT_TRUE(logHas("initInstance failed"));
  EXPECT_EQ(logCount("Failed to register window class"), 1u);
  EXPECT_TRUE(refusing.posts().empty());
}

}  // namespace
}  // namespace amb::test
