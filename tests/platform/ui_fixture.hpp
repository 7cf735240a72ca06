#pragma once
// A program stand-in for window tests: records every event it gets and lets a test hook them.

#include "platform/linux/ui_headless.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace amb::test {

class RecordingEvents : public platform::UiEvents {
public:
  std::function<void(const std::string&)> onEvent;  // after every event but the paints
  std::function<void(platform::Surface&)> onPaintHook;

  void onCreate() override { add("create"); }
  void onPaint(platform::Surface& s) override {
    m_paints.fetch_add(1);
    if (onPaintHook) onPaintHook(s);
  }
  void onCommand(std::uint16_t id) override { add("command " + std::to_string(id)); }
  void onEditEnter(std::uint16_t id) override { add("enter " + std::to_string(id)); }
  void onClose() override { add("close"); }
  void onApp(int n) override { add("app " + std::to_string(n)); }
  void onDestroy() override { add("destroy"); }

  std::vector<std::string> events() const {
    std::lock_guard lk(m_mutex);
    return m_events;
  }
  int paints() const { return m_paints.load(); }

private:
  void add(const std::string& e) {
    {
      std::lock_guard lk(m_mutex);
      m_events.push_back(e);
    }
    if (onEvent) onEvent(e);
  }
  mutable std::mutex m_mutex;
  std::vector<std::string> m_events;
  std::atomic<int> m_paints{0};
};

// Collects the report lines of a window and its script driver.
class DiagLines {
public:
  platform::headless::DiagSink sink() {
    return [this](std::string_view line) {
      std::lock_guard lk(m_mutex);
      m_lines.emplace_back(line);
    };
  }
  std::vector<std::string> lines() const {
    std::lock_guard lk(m_mutex);
    return m_lines;
  }
  bool contains(const std::string& part) const {
    return std::ranges::any_of(lines(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }

private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_lines;
};

// A headless window reporting into its own lines, with a recording program.
struct TestWindow {
  explicit TestWindow(platform::headless::HeadlessUiOptions o = {}) : ui((o.diag = diag.sink(), o)) {}
  bool create(int x = 0, int y = 0) { return ui.createMainWindow("T", x, y, 880, 516, ev); }
  DiagLines diag;
  RecordingEvents ev;
  platform::headless::HeadlessUi ui;
};

constexpr int kRunTimedOut = -12345;

// Runs the message loop; a guard ends it with kRunTimedOut when the test's own quit does not come
// within the bound, so a broken case fails instead of hanging.
inline int runBounded(platform::Ui& ui, std::chrono::milliseconds bound = std::chrono::seconds(20)) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::thread guard([&] {
    std::unique_lock lk(m);
    if (!cv.wait_for(lk, bound, [&] { return done; })) ui.quit(kRunTimedOut);
  });
  const int code = ui.run();
  {
    std::lock_guard lk(m);
    done = true;
  }
  cv.notify_one();
  guard.join();
  return code;
}

}  // namespace amb::test
