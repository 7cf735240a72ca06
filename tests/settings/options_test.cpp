// Option objects, their clamping, and the controls they make in the window.

#include "recording_ui.hpp"
#include "settings/options.hpp"
#include "settings_fixture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace amb {
namespace {

using test::RecordingUi;
using OptionsTest = test::SettingsTest;

TEST(Options, ClampingAndWholeStringsUnderConcurrentWrites) {
  IntOption o("I", 0, -1, 300);
  const int cases[][2] = {{-5, -1}, {301, 300}, {300, 300}, {INT32_MIN, -1}, {INT32_MAX, 300}};
  for (const auto& c : cases) EXPECT_EQ(o.clamped(c[0]), c[1]) << c[0];
  EXPECT_EQ(MAX_FIT_FL.clamped(0.1f), 0.5f);

  const std::string a(200, 'a'), b(3, 'b');
  StringOption s("S", b);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) s.setValue(i % 2 ? a : b);
    stop = true;
  });
  int torn = 0;
  while (!stop) {
    const std::string v = s.value();
    torn += v != a && v != b;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
}

TEST_F(OptionsTest, WindowCreatesAllControlsInItsOrder) {
  RecordingUi ui;
  gf_createOptionControls(ui);
  // id, kind, x, y, w, h of every control in creation order (check boxes sit 2 pixels below their row).
  const char* expected[] = {
      "edit 32788 111 119 1200 16", "checkbox 32797 5 149 12 12 1",   "checkbox 32798 217 149 12 12 1",
      "checkbox 32799 430 149 12 12 0", "checkbox 32801 536 149 12 12 1", "checkbox 32779 652 149 12 12 1",
      "checkbox 32771 748 149 12 12 0", "checkbox 32802 5 177 12 12 1",   "checkbox 32803 217 177 12 12 1",
      "checkbox 32778 652 177 12 12 1", "checkbox 32777 748 177 12 12 1", "edit 32808 217 203 24 16",
      "checkbox 32809 323 205 12 12 1", "checkbox 32810 430 205 12 12 1", "checkbox 32811 536 205 12 12 1",
      "checkbox 32775 652 205 12 12 0", "checkbox 32773 748 205 12 12 1", "edit 32818 217 231 34 16",
      "checkbox 32819 323 233 12 12 1", "edit 32820 455 231 50 16",       "checkbox 32834 217 289 12 12 1",
      "checkbox 32833 323 289 12 12 1", "checkbox 32835 430 289 12 12 0", "edit 32828 217 259 100 16",
      "button 32829 \"Unblock\" 323 257 70 20", "edit 32865 353 315 34 16", "edit 32821 601 315 34 16",
      "edit 32840 217 343 50 16",       "edit 32841 353 343 34 16",       "edit 32842 566 343 50 16",
      "checkbox 32856 652 317 12 12 0", "checkbox 32852 5 373 12 12 0",   "checkbox 32854 71 373 12 12 0",
      "checkbox 32851 151 373 12 12 1", "edit 32848 323 371 34 16",       "checkbox 32850 430 373 12 12 0",
      "edit 32855 566 371 34 16",       "button 32838 \"Re-read\" 758 341 90 20",
      "button 32858 \"Flush static\" 758 369 90 20"};
  std::vector<std::string> created;
  for (const auto& call : ui.calls())
    if (call.rfind("enable", 0) != 0 && call.rfind("invalidate", 0) != 0) created.push_back(call);
  EXPECT_EQ(created, std::vector<std::string>(std::begin(expected), std::end(expected)));
  EXPECT_EQ(ui.calls().back(), "invalidate 0 112 880 392");
  // Check boxes start enabled, edit boxes and buttons disabled; MAX_FIT has no control.
  EXPECT_TRUE(ui.control(SCAN_LIVERIES.controlId).enabled);
  EXPECT_FALSE(ui.control(LATERAL_RANGE.controlId).enabled);
  EXPECT_FALSE(ui.control(FLUSH_STATIC_BUTTON.controlId).enabled);
  EXPECT_EQ(MAX_FIT.window, nullptr);
  EXPECT_EQ(LOG.window, &ui);
}

TEST_F(OptionsTest, ShowingValuesWritesTheBoxesOfTheCurrentWindow) {
  gf_showIntOption(LATERAL_RANGE);  // without a window nothing happens
  RecordingUi ui;
  test::ScopedCurrentUi current(ui);
  gf_showIntOption(LATERAL_RANGE);  // nor before the controls exist
  gf_createOptionControls(ui);
  MAX_LIVE.value = -1;
  gf_showIntOption(MAX_LIVE);
  MAX_FIT_FL.value = 3.5f;
  gf_showFloatOption(MAX_FIT_FL);
  BLOCK_CALLSIGN.setValue("DLH4AB");
  BLOCK_CALLSIGN.refresh();
  EXPECT_EQ(ui.control(MAX_LIVE.controlId).text + "|" + ui.control(MAX_FIT_FL.controlId).text + "|" +
                ui.control(BLOCK_CALLSIGN.controlId).text,
            "-1|3.5|DLH4AB");
  EXPECT_EQ(ui.calls().back(), "invalidate 0 112 880 392");
  // Text that is no valid UTF-8 leaves the box as it was and logs why.
  DESTINATION.setValue("\xC3\x28");
  gf_showStringOption(DESTINATION);
  EXPECT_EQ(ui.control(DESTINATION.controlId).text, "");
  EXPECT_TRUE(logHas("Invalid UTF-8 sequence found in input string."));
}

TEST_F(OptionsTest, ResetPutsBackEveryOptionAndItsWindow) {
  RecordingUi ui;
  gf_createOptionControls(ui);
  MAX_LIVE.value = 12;
  MAX_FIT_FL.value = 1.0f;
  PORT_NUMBER.setValue("10748");
  gf_resetSettings();
  EXPECT_EQ(MAX_LIVE.value, -1);
  EXPECT_EQ(MAX_FIT_FL.value, 24.0f);
  EXPECT_EQ(PORT_NUMBER.value(), "10747");
  EXPECT_EQ(LOG.window, nullptr);
  // Every option object is listed once, with a distinct key.
  const auto all = gf_allOptions();
  std::set<std::string> keys;
  for (const Option* o : all) keys.insert(o->key);
  EXPECT_EQ(keys.size(), all.size());
  EXPECT_EQ(all.size(), 76u);
}

}  // namespace
}  // namespace amb
