// The start-up load: version handling, the injection radius and the RANDOM switch.

#include "core/strings.hpp"
#include "recording_ui.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"
#include "settings/version_update.hpp"
#include "settings_fixture.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

using LoadTest = test::SettingsTest;

TEST_F(LoadTest, RadiusFollowsTheStoredRangeAndRandomTheStoredSwitch) {
  gf_loadOptions();  // a first start
  EXPECT_EQ(g_radiusNm + g_radiusMeters, 40.0 + 74080);
  const std::tuple<const char*, int, std::uint32_t> cases[] = {{"150", 100, 185200}, {"abc", 2, 3704}, {"25", 25, 46300}};
  for (const auto& [stored, nm, metres] : cases) {
    writeParameters(entry("LATERAL_RANGE", stored) + entry("RANDOM", nm == 25 ? "false" : "true"));
    gf_loadOptions();
    EXPECT_EQ(g_radiusNm, static_cast<double>(nm)) << stored;
    EXPECT_EQ(g_radiusMeters, metres) << stored;
    EXPECT_EQ(gf_randomOn(), nm != 25);
  }
  // Setting the radius changes the range in memory only.
  const std::string before = fileText();
  LATERAL_RANGE.value = 500;
  gf_setRadiusNm();
  EXPECT_EQ(LATERAL_RANGE.value, 100);
  EXPECT_EQ(g_radiusMeters, 185200u);
  EXPECT_EQ(fileText(), before);
}

TEST_F(LoadTest, StoredVersionDecidesWhetherToRescan) {
  const std::tuple<const char*, bool, bool> cases[] = {
      {"10.9.7", true, true}, {"10.10.4", false, false}, {"11.0.0", false, true}, {"garbage", true, true}};
  for (const auto& [stored, update, rewritten] : cases) {
    SCOPED_TRACE(stored);
    test::RecordingUi ui;
    test::ScopedCurrentUi current(ui);
    gf_createOptionControls(ui);
    test::writeFile(dir() / "install_new_version.exe", "old installer");
    writeParameters(entry("PROGRAM_VERSION", stored) + entry("SCAN_LIVERIES", "false") + entry("SCAN_AIRPORTS", "false"));
    gf_loadOptions();
    EXPECT_NE(fileText().find(entry("PROGRAM_VERSION", rewritten ? "10.10.4" : stored)), std::string::npos);
    for (BoolOptionCheckBox* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
      EXPECT_NE(fileText().find(entry(scan->key, update ? "true" : "false")), std::string::npos);
      EXPECT_EQ(ui.control(scan->controlId).checked, update);
    }
    EXPECT_EQ(std::filesystem::exists(dir() / "install_new_version.exe"), !update);
  }
  EXPECT_TRUE(logHas("This is a version update from 0.0.0 -> 10.10.4"));  // "garbage"
}

TEST(ParseVersion, TextsAndJsonObjects) {
  const std::pair<const char*, Version> cases[] = {
      {"10-10-4", {10, 10, 4}}, {"{\"major\": 10, \"minor\": 11}", {10, 11, 0}},
      {"{\"major\": true, \"minor\": 2.9, \"patch\": 3}", {1, 2, 3}},
      {"{\"major\": 1, \"minor\": 1e20, \"patch\": 3}", {1, 0, 0}},
      {"1.2.99999999999", {1, 2, 0}}, {"10.10", {0, 0, 0}}};
  for (const auto& [text, v] : cases) EXPECT_EQ(gf_versionText(gf_parseVersion(text)), gf_versionText(v)) << text;
  EXPECT_LT((Version{10, 9, 99}), (Version{10, 10, 0}));
}

}  // namespace
}  // namespace amb
