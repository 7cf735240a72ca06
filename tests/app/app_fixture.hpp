#pragma once
// Each shell test runs in its own folder with its own log and settings file, a recording window with
// every option control, and every subsystem's state at its start values. Exit requests are recorded
// instead of starting the exit sequence.

#include "airports/services.hpp"
#include "app/final_exit.hpp"
#include "app/main_loop.hpp"
#include "app/main_window.hpp"
#include "app/run_state.hpp"
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
#include "support/test_support.hpp"
#include "traffic/services.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace amb::test {

// The recording window, also recording posts to it and its topmost state.
class ShellUi : public RecordingUi {
public:
  void post(int appMsg) override {
    std::lock_guard lock(m_mutex);
    m_posts.push_back(appMsg);
  }
  void setTopmost(bool on) override { m_topmost = on; }
  std::vector<int> posts() {
    std::lock_guard lock(m_mutex);
    return m_posts;
  }
  bool topmost() const { return m_topmost; }
  platform::Rect rect{400, 20, 1280, 496};
  platform::Rect windowRect() override { return rect; }

private:
  std::mutex m_mutex;
  std::vector<int> m_posts;
  std::atomic<bool> m_topmost{false};
};

// What a drawing call drew.
struct Drawn {
  enum Kind { Fill, Line, Text } kind = Text;
  int x = 0, y = 0, x2 = 0, y2 = 0;
  platform::Color color = 0;
  std::string text;
};

class RecordingSurface : public platform::Surface {
public:
  void fill(platform::Rect r, platform::Color c) override {
    drawn.push_back({Drawn::Fill, r.left, r.top, r.right, r.bottom, c, {}});
  }
  void line(int x1, int y1, int x2, int y2, platform::Color c) override {
    drawn.push_back({Drawn::Line, x1, y1, x2, y2, c, {}});
  }
  void text(int x, int y, std::string_view utf8, platform::Color c) override {
    drawn.push_back({Drawn::Text, x, y, 0, 0, c, std::string(utf8)});
  }
  // The texts drawn at (x, y), in order.
  const Drawn* textAt(int x, int y) const {
    for (const Drawn& d : drawn)
      if (d.kind == Drawn::Text && d.x == x && d.y == y) return &d;
    return nullptr;
  }
  const Drawn* findText(const std::string& text) const {
    for (const Drawn& d : drawn)
      if (d.kind == Drawn::Text && d.text == text) return &d;
    return nullptr;
  }
  // The colour of the last fill of exactly this rectangle; -1 when there is none.
  long long fillOf(platform::Rect r) const {
    long long c = -1;
    for (const Drawn& d : drawn)
      if (d.kind == Drawn::Fill && d.x == r.left && d.y == r.top && d.x2 == r.right && d.y2 == r.bottom) c = d.color;
    return c;
  }
  std::vector<Drawn> drawn;
};

struct ExitRequest {
  int reason = 0;
  std::uint32_t delay = 0;
};

// Puts every part of the program the shell touches back to its start values.
inline void resetShellState() {
  gf_resetSettings();
  gf_resetMainWindow();
  gf_resetRunState();
  gf_resetMainLoop();
  gf_resetExitState();
  gf_clearError();
  gf_clearMessage();
  gf_resetMessageCounter();
  gf_resetFeedStatus();
  gf_resetReaderState();
  gf_resetLink();
  gf_resetSimLink(5);
  g_newUserData = 0;
  gf_resetParkState();
  gf_resetLiveries();
  gf_resetScan();
  gf_resetEngine();
  g_engineUserAc = UserAcBlock{};
}

class ShellTest : public ::testing::Test {
protected:
  void SetUp() override {
    m_cwd = std::make_unique<ScopedCwd>(m_dir.path());
    resetShellState();
    g_parametersPath = gf_pathText(settingsFile());
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
    resetShellState();
    m_cwd.reset();
  }

  std::filesystem::path settingsFile() const { return m_dir / "parameters.xml"; }
  std::string settingsText() const { return readFile(settingsFile()); }
  // The value stored for the key in the settings file; empty when it has no entry.
  std::string stored(const std::string& key) const {
    const std::string text = settingsText();
    const std::string head = "name=\"" + key + "\" value=\"";
    const auto at = text.find(head);
    if (at == std::string::npos) return {};
    const auto start = at + head.size();
    return text.substr(start, text.find('"', start) - start);
  }
  std::vector<std::string> log() const { return readLines(m_dir / "Log.txt"); }
  bool logHas(const std::string& line) const {
    const auto lines = log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::size_t logCount(const std::string& line) const {
    const auto lines = log();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
  }
  std::string message() const { return gf_messageLineSnapshot().message; }
  std::string error() const { return gf_messageLineSnapshot().error; }
  std::vector<ExitRequest> exits() {
    std::lock_guard lock(m_exitMutex);
    return m_exits;
  }
  // Types into an edit box as the user would.
  void type(const OptionControl& box, const std::string& text) { ui.setText(box.controlId, text); }
  const TempDir& dir() const { return m_dir; }

  ShellUi ui;

private:
  TempDir m_dir{"amb-app"};
  std::unique_ptr<ScopedCwd> m_cwd;
  std::mutex m_exitMutex;
  std::vector<ExitRequest> m_exits;
};

}  // namespace amb::test
