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
  std::vector<std::string> created;
  for (const auto& call : ui.calls())
    if (call.rfind("enable", 0) != 0 && call.rfind("invalidate", 0) != 0) created.push_back(call);
  // Check boxes sit 2 pixels below their row; the last control is the bottom-right button.
  ASSERT_EQ(created.size(), 39u);
  EXPECT_EQ(created.front(), "edit 32788 111 119 1200 16");
  EXPECT_EQ(created[1], "checkbox 32797 5 149 12 12 1");
  EXPECT_EQ(created.back(), "button 32858 \"Flush static\" 758 369 90 20");
  EXPECT_EQ(ui.calls().back(), "invalidate 0 112 880 392");
  // Check boxes start enabled, edit boxes and buttons disabled; MAX_FIT has no control.
  EXPECT_TRUE(ui.control(SCAN_LIVERIES.controlId).enabled);
  EXPECT_FALSE(ui.control(LATERAL_RANGE.controlId).enabled || ui.control(FLUSH_STATIC_BUTTON.controlId).enabled);
  EXPECT_EQ(MAX_FIT.window, nullptr);
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
  EXPECT_EQ(fmt::format("{} {} {}", MAX_LIVE.value, MAX_FIT_FL.value, PORT_NUMBER.value()), "-1 24 10747");
  EXPECT_EQ(LOG.window, nullptr);
  // Every option object is listed once, with a distinct key.
  const auto all = gf_allOptions();
  std::set<std::string> keys;
  for (const Option* o : all) keys.insert(o->key);
  EXPECT_EQ(keys.size(), all.size());
}

}  // namespace
}  // namespace amb
