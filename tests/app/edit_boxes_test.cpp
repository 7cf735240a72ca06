// Enter in the edit boxes: range checks, messages, saving and follow-ups.

#include "app/edit_boxes.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

class EditBoxTest : public ShellTest {
protected:
  void enter(const OptionControl& box, const std::string& text) {
    type(box, text);
    ASSERT_TRUE(lf_editBoxEnter(box.controlId));
  }
  std::string boxText(const OptionControl& box) { return ui.control(box.controlId).text; }
};

TEST_F(EditBoxTest, IntegerBoxes) {
  struct Case {
    IntOptionEdit* box;
    std::string typed;
    std::int32_t value;       // afterwards
    std::string message;      // shown afterwards
    bool logged;              // the message is in the log
    std::string storedValue;  // in the settings file; empty: not stored
  };
  const std::vector<Case> cases{
      {&MATCHING_DEPTH, "12abc", 4, "The new MATCHING_DEPTH is 4", false, "4"},
      {&MATCHING_DEPTH, " 2", 2, "The new MATCHING_DEPTH is 2", false, "2"},
      {&MATCHING_DEPTH, "2", 2, "Same MATCHING_DEPTH value 2, no changes made", true, "2"},
      {&MATCHING_DEPTH, "abc", 2, "invalid input: abc", true, "2"},
      {&AIRPORT_RANGE, "99", 30, "The new AIRPORT_RANGE is 30", false, "30"},
      {&AIRPORT_RANGE, "", 20, "The new AIRPORT_RANGE is 20", false, "20"},
      {&AIRPORT_HEIGHT, "1", 2000, "The new AIRPORT_HEIGHT is 2000", false, "2000"},
      {&MAX_LIVE, "-7", -1, "The new MAX_LIVE is -1", false, "-1"},
      {&MAX_LIVE, "-1", -1, "Same MAX_LIVE value -1, no changes made", true, "-1"},
      {&parking_percentage, "55", 55, "The new parking_percentage is 55", false, ""},
      {&parking_percentage, "", 0, "The new parking_percentage is 0", false, ""},
  };
  for (const Case& c : cases) {
    enter(*c.box, c.typed);
    EXPECT_EQ(c.box->value, c.value) << c.box->key << " " << c.typed;
    EXPECT_EQ(message(), c.message) << c.typed;
    EXPECT_EQ(logHas(c.message), c.logged) << c.message;
    EXPECT_EQ(stored(c.box->key), c.storedValue) << c.box->key;
    // The box always shows the value after the commit.
    EXPECT_EQ(boxText(*c.box), std::to_string(c.value));
  }
}

TEST_F(EditBoxTest, ANumberBeyondTheIntRangeIsLoggedAndChangesNothing) {
  enter(AIRPORT_RANGE, "99999999999");
  EXPECT_EQ(AIRPORT_RANGE.value, 20);
  EXPECT_EQ(message(), "");
  EXPECT_TRUE(logHas("===> lf_processTbInt: stoi, h=99999999999 "));
}

TEST_F(EditBoxTest, FollowUpsOfTheIntegerBoxes) {
  // The injection radius follows LATERAL_RANGE; an empty box gives back the default.
  enter(LATERAL_RANGE, "25");
  EXPECT_EQ(g_radiusNm, 25.0);
  EXPECT_EQ(g_radiusMeters, 46300u);
  EXPECT_EQ(g_parkingChanged, 1);
  enter(LATERAL_RANGE, "");
  EXPECT_EQ(g_radiusNm, 40.0);
  EXPECT_EQ(g_radiusMeters, 74080u);

  // A raised matching depth asks for a rematch; a lowered one does not.
  MATCHING_DEPTH.value = 2;
  enter(MATCHING_DEPTH, "1");
  EXPECT_EQ(g_rematchRequest, 0);
  enter(MATCHING_DEPTH, "3");
  EXPECT_EQ(g_rematchRequest, 1);

  // The live limit is handed to the worker (it walks the engine's list).
  enter(MAX_LIVE, "120");
  EXPECT_EQ(g_maxLiveInUse, 120);
  EXPECT_EQ(g_maxLiveRequest, 1);
  g_parkAirportLoaded = 1;
  enter(MAX_LIVE, "90");
  EXPECT_EQ(g_maxLiveInUse, 120);  // static parking decides with a park airport loaded
  EXPECT_EQ(g_parkingChanged, 1);
}

TEST_F(EditBoxTest, MaxFitSnapsToHalfHours) {
  enter(MAX_FIT_FL, "7.3");
  EXPECT_EQ(MAX_FIT_FL.value, 24.0f);  // nothing changes without a park airport
  EXPECT_EQ(boxText(MAX_FIT_FL), "7.3");

  g_parkAirportLoaded = 1;
  struct Case {
    std::string typed;
    std::int32_t maxFit;
    std::string shown;
  };
  for (const Case& c : std::vector<Case>{{"7.3", 14, "7.5"}, {"0.1", 0, "0.5"}, {"99", 47, "24"}, {"", 47, "24"}}) {
    enter(MAX_FIT_FL, c.typed);
    EXPECT_EQ(MAX_FIT.value, c.maxFit) << c.typed;
    EXPECT_EQ(boxText(MAX_FIT_FL), c.shown) << c.typed;
    EXPECT_EQ(stored("MAX_FIT"), std::to_string(c.maxFit));
  }
  // A committed value renews static parking at the next 5-second step.
  g_parkingRenewalRequest = 0;
  enter(MAX_FIT_FL, "7.5");
  EXPECT_EQ(message(), "Ambertrail_P3D will respond in 15 seconds ...");
  EXPECT_EQ(g_parkingRenewalRequest, 1);

  // Letters only write a log line.
  gf_clearMessage();
  enter(MAX_FIT_FL, "abc");
  EXPECT_EQ(message(), "");
  EXPECT_EQ(boxText(MAX_FIT_FL), "7.5");
  EXPECT_TRUE(logHas("lf_processTbFloat: stof, h=abc "));
}

TEST_F(EditBoxTest, BlockCallsign) {
  enter(BLOCK_CALLSIGN, "abc");
  EXPECT_EQ(message(), "callsign \"abc\" is not valid");
  EXPECT_EQ(boxText(BLOCK_CALLSIGN), "");
  enter(BLOCK_CALLSIGN, "toolongcs");
  EXPECT_EQ(message(), "callsign \"toolongcs\" is not valid");

  ui.enable(UNBLOCK_BUTTON.controlId, false);
  enter(BLOCK_CALLSIGN, "dlh4ab");
  EXPECT_EQ(BLOCK_CALLSIGN.value(), "DLH4AB");
  EXPECT_EQ(stored("BLOCK_CALLSIGN"), "DLH4AB");
  EXPECT_EQ(boxText(BLOCK_CALLSIGN), "DLH4AB");
  EXPECT_TRUE(ui.isEnabled(UNBLOCK_BUTTON.controlId));
  EXPECT_TRUE(logHas("live aircraft with callsign \"DLH4AB\" will be blocked"));
  EXPECT_EQ(g_blockChangeRequest, 1);

  g_blockChangeRequest = 0;
  enter(BLOCK_CALLSIGN, "DLH4AB");
  EXPECT_EQ(message(), "callsign \"DLH4AB\" was already set ...");
  EXPECT_EQ(g_blockChangeRequest, 0);

  // An empty box unblocks.
  enter(BLOCK_CALLSIGN, "");
  EXPECT_EQ(BLOCK_CALLSIGN.value(), "");
  EXPECT_EQ(stored("BLOCK_CALLSIGN"), "");
  EXPECT_FALSE(ui.isEnabled(UNBLOCK_BUTTON.controlId));
  EXPECT_EQ(message(), "no more blocking of live aircraft \"DLH4AB\"");
  EXPECT_EQ(g_blockChangeRequest, 1);
}

TEST_F(EditBoxTest, Destination) {
  DESTINATION.setValue("EHAM");
  gf_saveStringOption(DESTINATION);
  enter(DESTINATION, "ehm");
  EXPECT_EQ(message(), "destination \"ehm\" is not valid");
  EXPECT_EQ(boxText(DESTINATION), "EHAM");
  enter(DESTINATION, "eham");
  EXPECT_EQ(message(), "destination \"EHAM\" was already set ...");
  enter(DESTINATION, "zzzz");
  EXPECT_EQ(message(), "destination \"ZZZZ\" is unknown ...");
  EXPECT_EQ(DESTINATION.value(), "EHAM");

  // Emptied only in memory: the stored destination comes back with the next start.
  ui.enable(REREAD_BUTTON.controlId, false);
  enter(DESTINATION, "");
  EXPECT_EQ(DESTINATION.value(), "");
  EXPECT_EQ(stored("DESTINATION"), "EHAM");
  EXPECT_TRUE(ui.isEnabled(REREAD_BUTTON.controlId));
  EXPECT_EQ(message(), "destination set to empty");

  lf_setDestination("KJFK", {40.64, -73.78});
  EXPECT_EQ(stored("DESTINATION"), "KJFK");
  EXPECT_TRUE(logHas("New destination: KJFK"));
  EXPECT_FALSE(ui.isEnabled(REREAD_BUTTON.controlId));
}

TEST_F(EditBoxTest, InstallPath) {
  const std::string existing = gf_pathText(dir().path());
  gf_showError("151: No P3D install path detected, type full Install Path above, and press Enter");
  enter(ALL_INSTALL_PATH, existing + "/missing");
  EXPECT_EQ(error(), "");  // the install path box clears the error
  EXPECT_EQ(message(), "This install path does not exist: " + existing + "/missing");
  EXPECT_EQ(SIM_INSTALL_PATH.value(), "");
  EXPECT_TRUE(exits().empty());

  // A path whose existence cannot be told is not stored either.
  enter(ALL_INSTALL_PATH, std::string(5000, 'x'));
  EXPECT_EQ(SIM_INSTALL_PATH.value(), "");

  enter(ALL_INSTALL_PATH, existing);
  EXPECT_EQ(stored("SIM_INSTALL_PATH"), existing);
  EXPECT_TRUE(logHas("Install path exists, Ambertrail_P3D will restart"));
  ASSERT_TRUE(waitFor([&] { return exits().size() == 1; }));
  EXPECT_EQ(exits()[0].reason, NewSettings);
  EXPECT_EQ(exits()[0].delay, 3u);

  enter(ALL_INSTALL_PATH, "");
  EXPECT_EQ(stored("SIM_INSTALL_PATH"), "");
}

TEST_F(EditBoxTest, LongTextIsCutToTheBoxSize) {
  type(BLOCK_CALLSIGN, std::string(2000, 'a'));
  EXPECT_EQ(lf_getTextFromId(BLOCK_CALLSIGN.controlId).size(), 1023u);
  type(BLOCK_CALLSIGN, "bad \xC3\x28");
  EXPECT_EQ(lf_getTextFromId(BLOCK_CALLSIGN.controlId), "");
  EXPECT_FALSE(lf_editBoxEnter(4711));
}

}  // namespace
}  // namespace amb::test
