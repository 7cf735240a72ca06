#pragma once
// Each shell test runs in its own folder with its own log and settings file, a recording window with
// every option control, and every subsystem's state at its start values. Exit requests are recorded
// instead of starting the exit sequence.

#include "airports/services.hpp"
#include "app/final_exit.hpp"
#include "app/main_loop.hpp"
#include "app/resets.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "feed/inputs.hpp"
#include "feed/link.hpp"
#include "feed/readers.hpp"
#include "feed/status.hpp"
#include "feed/traffic_line.hpp"
#include "liveries/services.hpp"
#include "scan/services.hpp"
#include "settings/parameters.hpp"
#include "settings/recording_ui.hpp"
#include "settings/settings.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "support/test_support.hpp"
#include "traffic/services.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace amb::test {

// The recording window, also recording posts to it and its topmost state.
class ShellUi : public RecordingUi {
public:
  void post(int appMsg) override {
    std::lock_guard lock(m_mutex);
    m_posts.push_back(appMsg);
  }
  void setTopmost(bool on) override { topmost = on; }
  std::vector<int> posts() {
    std::lock_guard lock(m_mutex);
    return m_posts;
  }
  platform::Rect windowRect() override { return rect; }
  platform::Rect rect{400, 20, 1280, 496};
  std::atomic<bool> topmost{false};

private:
  std::mutex m_mutex;
  std::vector<int> m_posts;
};

struct ExitRequest {
  int reason = 0;
  std::uint32_t delay = 0;
};

class ShellTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_cwd = std::make_unique<ScopedCwd>(m_dir.path());
    resetState();
    g_parametersPath = gf_pathText(m_dir / "parameters.xml");
    gf_startLog();
    platform::setCurrentUi(&ui);
    g_mainWindow.window = &ui;
    g_mainHwnd = &ui;
    gf_createOptionControls(ui);
    gf_setExitHandler([this](int reason, std::uint32_t delay) {
      std::lock_guard lock(m_exitMutex);
      m_exits.push_back({reason, delay});
    });
  }
  void TearDown() override {
    gf_setExitHandler(nullptr);
    gf_setExitSleeper(nullptr);
    gf_setWorkerWaitBound(std::chrono::seconds(20));
    platform::setCurrentUi(nullptr);
    g_mainWindow.window = nullptr;
    g_mainHwnd = nullptr;
    gf_closeLog("");
    resetState();
    m_cwd.reset();
  }
  // Every part of the program the shell touches back at its start values.
  static void resetState() { gf_resetForTests(); }

  // The value stored for the key in the settings file; empty when it has no entry.
  std::string stored(const std::string& key) const {
    const std::string text = readFile(m_dir / "parameters.xml"), head = "name=\"" + key + "\" value=\"";
    const auto at = text.find(head), start = at + head.size();
    return at == std::string::npos ? std::string() : text.substr(start, text.find('"', start) - start);
  }
  std::vector<std::string> log() const { return readLines(m_dir / "Log.txt"); }
  bool logHas(const std::string& line) const { return std::ranges::count(log(), line) > 0; }
  // Log lines that hold the text.
  std::size_t logCount(const std::string& text) const {
    return std::ranges::count_if(log(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }
  std::string message() const { return gf_messageLineSnapshot().message; }
  std::string error() const { return gf_messageLineSnapshot().error; }
  std::vector<ExitRequest> exits() {
    std::lock_guard lock(m_exitMutex);
    return m_exits;
  }
  // The single exit request, waited for: its reason and delay.
  std::pair<int, std::uint32_t> oneExit() {
    EXPECT_TRUE(waitFor([&] { return !exits().empty(); }));
    const auto all = exits();
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? std::pair<int, std::uint32_t>{-1, 0} : std::pair{all[0].reason, all[0].delay};
  }
  const TempDir& dir() const { return m_dir; }

  ShellUi ui;

private:
  TempDir m_dir{"amb-app"};
  std::unique_ptr<ScopedCwd> m_cwd;
  std::mutex m_exitMutex;
  std::vector<ExitRequest> m_exits;
};

}  // namespace amb::test
