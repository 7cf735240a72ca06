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

using test::RecordingUi;
using test::ScopedCurrentUi;
using LoadTest = test::SettingsTest;

TEST_F(LoadTest, RadiusFollowsTheStoredRange) {
  EXPECT_EQ(g_radiusNm + g_radiusMeters, 40.0 + 74080);  // before any load
  gf_loadOptions();  // a first start
  EXPECT_EQ(LATERAL_RANGE.value, 40);
  EXPECT_EQ(g_radiusNm + g_radiusMeters, 40.0 + 74080);
  EXPECT_EQ(PROGRAM_VERSION.value(), "10.10.4");
  EXPECT_FALSE(logMentions("This is a version update"));
  const struct {
    const char* stored;
    int nm;
    std::uint32_t metres;
  } cases[] = {{"150", 100, 185200}, {"1", 2, 3704}, {"abc", 2, 3704}, {"25", 25, 46300}};
  for (const auto& c : cases) {
    writeParameters(entry("LATERAL_RANGE", c.stored));
    gf_loadOptions();
    EXPECT_EQ(LATERAL_RANGE.value, c.nm) << c.stored;
    EXPECT_EQ(g_radiusNm, static_cast<double>(c.nm)) << c.stored;
    EXPECT_EQ(g_radiusMeters, c.metres) << c.stored;
  }
  // Setting the radius changes the range in memory only.
  const std::string before = fileText();
  gf_setRadiusNm(25);
  EXPECT_EQ(g_radiusNm + g_radiusMeters, 25.0 + 46300);
  EXPECT_EQ(LATERAL_RANGE.value, 25);
  LATERAL_RANGE.value = 500;
  gf_setRadiusNm();
  EXPECT_EQ(LATERAL_RANGE.value, 100);
  EXPECT_EQ(g_radiusNm + g_radiusMeters, 100.0 + 185200);
  EXPECT_EQ(fileText(), before);
}

TEST_F(LoadTest, RandomOptionReachesTheRandomChoices) {
  for (const bool on : {false, true}) {
    writeParameters(entry("RANDOM", on ? "true" : "false"));
    gf_loadOptions();
    EXPECT_EQ(gf_randomOn(), on);
  }
}

TEST_F(LoadTest, StoredVersionDecidesWhetherToRescan) {
  const struct {
    const char* stored;
    bool update;
    bool rewritten;
  } cases[] = {
      {"10.9.7", true, true}, {"10.10.4", false, false}, {"11.0.0", false, true}, {"garbage", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    RecordingUi ui;
    ScopedCurrentUi current(ui);
    gf_createOptionControls(ui);
    test::writeFile(dir() / "install_new_version.exe", "old installer");
    writeParameters(entry("PROGRAM_VERSION", c.stored) + entry("SCAN_LIVERIES", "false") +
                    entry("SCAN_AIRPORTS", "false"));
    gf_loadOptions();
    EXPECT_EQ(PROGRAM_VERSION.value(), c.rewritten ? "10.10.4" : c.stored);
    EXPECT_NE(fileText().find(entry("PROGRAM_VERSION", c.rewritten ? "10.10.4" : c.stored)), std::string::npos);
    for (BoolOptionCheckBox* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
      EXPECT_EQ(scan->value, c.update ? 1 : 0);
      EXPECT_NE(fileText().find(entry(scan->key, c.update ? "true" : "false")), std::string::npos);
      EXPECT_EQ(ui.control(scan->controlId).checked, c.update);
    }
    EXPECT_EQ(std::filesystem::exists(dir() / "install_new_version.exe"), !c.update);
  }
  EXPECT_TRUE(logHas("This is a version update from 10.9.7 -> 10.10.4"));
  EXPECT_TRUE(logHas("This is a version update from 0.0.0 -> 10.10.4"));
}

TEST(ParseVersion, TextsAndJsonObjects) {
  const struct {
    const char* text;
    Version v;
  } cases[] = {
      {"10.10.4", {10, 10, 4}},   {"10-10-4", {10, 10, 4}}, {"abc", {0, 0, 0}}, {"", {0, 0, 0}},
      {"{\"major\": 10, \"minor\": 10, \"patch\": 4}", {10, 10, 4}},
      {"{\"major\": 10, \"minor\": 11}", {10, 11, 0}},
      {"{\"major\": true, \"minor\": 2.9, \"patch\": 3}", {1, 2, 3}},
      {"{\"major\": 1, \"minor\": \"x\", \"patch\": 3}", {1, 0, 0}},
      {"{\"major\": 1, \"minor\": 1e20, \"patch\": 3}", {1, 0, 0}},
      {"{\"major\": 5000000000, \"minor\": 1, \"patch\": 3}", {0, 0, 0}},
      {"[1, 2, 3]", {0, 0, 0}},   {"12345678901.1.1", {0, 0, 0}}, {"1.2.99999999999", {1, 2, 0}},
      {"10.10", {0, 0, 0}},       {" 10.10.4", {0, 0, 0}},
  };
  for (const auto& c : cases) {
    const Version v = gf_parseVersion(c.text);
    EXPECT_EQ(gf_versionText(v), gf_versionText(c.v)) << c.text;
  }
  EXPECT_LT((Version{-1, 0, 0}), (Version{0, 0, 0}));
  EXPECT_LT((Version{10, 9, 99}), (Version{10, 10, 0}));
}

}  // namespace
}  // namespace amb
