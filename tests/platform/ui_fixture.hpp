#pragma once
// A program stand-in for window tests: records every event it gets and lets a test hook some.

#include "platform/linux/ui_headless.hpp"

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
  std::function<void()> onCreateHook, onCloseHook, onDestroyHook;
  std::function<void(platform::Surface&)> onPaintHook;
  std::function<void(std::uint16_t)> onEditEnterHook;
  std::function<void(int)> onAppHook;

  void onCreate() override { add("create", onCreateHook); }
  void onPaint(platform::Surface& s) override { add("paint", [&] { if (onPaintHook) onPaintHook(s); }); }
  void onCommand(std::uint16_t id) override { add("command " + std::to_string(id), nullptr); }
  void onEditEnter(std::uint16_t id) override {
    add("enter " + std::to_string(id), [&] { if (onEditEnterHook) onEditEnterHook(id); });
  }
  void onClose() override { add("close", onCloseHook); }
  void onApp(int n) override { add("app " + std::to_string(n), [&] { if (onAppHook) onAppHook(n); }); }
  void onDestroy() override { add("destroy", onDestroyHook); }

  // Every event but the paints, in order.
  std::vector<std::string> events() const {
    std::lock_guard lk(m_mutex);
    return m_events;
  }
  int paints() const {
    std::lock_guard lk(m_mutex);
    return m_paints;
  }

private:
  void add(std::string e, const std::function<void()>& hook) {
    {
      std::lock_guard lk(m_mutex);
      if (e == "paint")
        ++m_paints;
      else
        m_events.push_back(std::move(e));
    }
    if (hook) hook();
  }
  mutable std::mutex m_mutex;
  std::vector<std::string> m_events;
  int m_paints = 0;
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
    for (const auto& l : lines())
      if (l.find(part) != std::string::npos) return true;
    return false;
  }

private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_lines;
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
