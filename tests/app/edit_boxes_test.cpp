// Enter in the edit boxes: range checks, messages, saving and follow-ups.

#include "airports/park_airport.hpp"
#include "app/edit_boxes.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

class EditBoxTest : public ShellTest {
protected:
  void enter(const OptionControl& box, const std::string& text) {
    ui.setText(box.controlId, text);
    ASSERT_TRUE(lf_editBoxEnter(box.controlId));
  }
  std::string boxText(const OptionControl& box) { return ui.control(box.controlId).text; }
};

TEST_F(EditBoxTest, IntegerBoxesCheckTheirRangeAndSave) {
  struct Case {
    IntOptionEdit* box;
    std::string typed;
    std::int32_t value;       // afterwards
    std::string message;      // shown afterwards
    std::string storedValue;  // in the settings file; empty: not stored
  };
  const Case cases[] = {
      {&MATCHING_DEPTH, " 2", 2, "The new MATCHING_DEPTH is 2", "2"},
      {&MATCHING_DEPTH, "2", 2, "Same MATCHING_DEPTH value 2, no changes made", "2"},
      {&AIRPORT_RANGE, "", 20, "The new AIRPORT_RANGE is 20", "20"},
      {&MAX_LIVE, "-7", -1, "The new MAX_LIVE is -1", "-1"},
      {&parking_percentage, "55", 55, "The new parking_percentage is 55", ""},
  };
  for (const Case& c : cases) {
    enter(*c.box, c.typed);
    EXPECT_EQ(c.box->value, c.value) << c.box->key << " " << c.typed;
    EXPECT_EQ(message(), c.message) << c.typed;
    EXPECT_EQ(stored(c.box->key), c.storedValue) << c.box->key;
    EXPECT_EQ(boxText(*c.box), std::to_string(c.value));
  }
  // Beyond the int range: logged, nothing changes.
  enter(AIRPORT_RANGE, "99999999999");
  EXPECT_EQ(AIRPORT_RANGE.value, 20);
  EXPECT_TRUE(logHas("===> lf_processTbInt: stoi, h=99999999999 "));
}

// A learned file not read whole is kept as it is: a range typed at this visit is not kept for the
// airport, and the line says so, readably (the user's own setting is saved all the same).
TEST_F(EditBoxTest, ARangeTypedWhileTheLearnedFileIsKeptIsSaidNotToBeKeptForThisAirport) {
  g_parkAirportLoaded = 1;
  lf_setKeptLearnedFile({"airports/learned/stock/EGLL.xml", "its meta block is incomplete"});
  enter(LATERAL_RANGE, "37");
  gf_showMessage("Calculating static parked aircraft ...", false);
  EXPECT_EQ(message(), "The new LATERAL_RANGE is 37, not kept for this airport: its learned file was not read whole");
  EXPECT_EQ(stored("LATERAL_RANGE"), "37");
}

TEST_F(EditBoxTest, FollowUpsOfTheIntegerBoxes) {
  enter(LATERAL_RANGE, "25");
  EXPECT_EQ(g_radiusMeters, 46300u);
  enter(LATERAL_RANGE, "");  // the default
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
}

TEST_F(EditBoxTest, MaxFitSnapsToHalfHoursWithAParkAirport) {
  enter(MAX_FIT_FL, "7.3");
  EXPECT_EQ(MAX_FIT_FL.value, 24.0f);  // nothing changes without a park airport
  g_parkAirportLoaded = 1;
  for (const auto& [typed, maxFit, shown] : {std::tuple<std::string, std::int32_t, std::string>{"7.3", 14, "7.5"},
                                             {"0.1", 0, "0.5"}, {"99", 47, "24"}}) {
    enter(MAX_FIT_FL, typed);
    EXPECT_EQ(stored("MAX_FIT") + " " + boxText(MAX_FIT_FL), std::to_string(maxFit) + " " + shown) << typed;
  }
  EXPECT_EQ(g_parkingRenewalRequest, 1);
  enter(MAX_FIT_FL, "abc");  // letters only write a log line
  EXPECT_TRUE(logHas("lf_processTbFloat: stof, h=abc "));
}

TEST_F(EditBoxTest, BlockCallsign) {
  enter(BLOCK_CALLSIGN, "dlh4ab");
  EXPECT_EQ(stored("BLOCK_CALLSIGN"), "DLH4AB");
  EXPECT_TRUE(ui.isEnabled(UNBLOCK_BUTTON.controlId));
  EXPECT_EQ(g_blockChangeRequest, 1);
  enter(BLOCK_CALLSIGN, "DLH4AB");
  EXPECT_EQ(message(), "callsign \"DLH4AB\" was already set ...");

  enter(BLOCK_CALLSIGN, "");  // unblocks
  EXPECT_EQ(stored("BLOCK_CALLSIGN"), "");
  EXPECT_FALSE(ui.isEnabled(UNBLOCK_BUTTON.controlId));
  EXPECT_EQ(message(), "no more blocking of live aircraft \"DLH4AB\"");
}

TEST_F(EditBoxTest, Destination) {
  DESTINATION.setValue("EHAM");
  gf_saveStringOption(DESTINATION);
  enter(DESTINATION, "zzzz");
  EXPECT_EQ(message(), "destination \"ZZZZ\" is unknown ...");
  EXPECT_EQ(DESTINATION.value(), "EHAM");
  // Emptied only in memory: the stored destination comes back with the next start.
  enter(DESTINATION, "");
  EXPECT_EQ(DESTINATION.value(), "");
  EXPECT_EQ(stored("DESTINATION"), "EHAM");
  lf_setDestination("KJFK", {40.64, -73.78});
  EXPECT_EQ(stored("DESTINATION"), "KJFK");
}

// An existing path restarts (the end-to-end tests show it); one that is missing or cannot be told
// changes nothing.
TEST_F(EditBoxTest, AMissingInstallPathIsRefused) {
  const std::string existing = gf_pathText(dir().path());
  gf_showError("151: No P3D install path detected, type full Install Path above, and press Enter");
  enter(ALL_INSTALL_PATH, existing + "/missing");
  EXPECT_EQ(error(), "");
  EXPECT_EQ(message(), "This install path does not exist: " + existing + "/missing");
  // A path whose existence cannot be told is not stored either.
  enter(ALL_INSTALL_PATH, std::string(5000, 'x'));
  EXPECT_EQ(SIM_INSTALL_PATH.value(), "");
  EXPECT_TRUE(exits().empty());
}

TEST_F(EditBoxTest, LongOrBrokenTextIsCutOrRefused) {
  ui.setText(BLOCK_CALLSIGN.controlId, std::string(2000, 'a'));
  EXPECT_EQ(lf_getTextFromId(BLOCK_CALLSIGN.controlId).size(), 1023u);
  ui.setText(BLOCK_CALLSIGN.controlId, "bad \xC3\x28");
  EXPECT_EQ(lf_getTextFromId(BLOCK_CALLSIGN.controlId), "");
  EXPECT_FALSE(lf_editBoxEnter(4711));
}

}  // namespace
}  // namespace amb::test
