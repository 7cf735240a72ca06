#pragma once
// A window that only records what the program asks of it, for the settings tests.

#include "platform/ui.hpp"

#include <fmt/format.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace amb::test {

class RecordingUi : public platform::Ui {
public:
  struct Control {
    platform::ControlKind kind = platform::ControlKind::Edit;
    int x = 0, y = 0, w = 0, h = 0;
    bool enabled = true;
    bool checked = false;
    std::string text;
  };

  // Called (outside the recorder's lock) at every setChecked and setText, to see what the program
  // holds while it touches a control.
  std::function<void()> onControlTouched;

  bool createMainWindow(std::string_view, int, int, int, int, platform::UiEvents&) override { return true; }
  int run() override { return 0; }
  void post(int) override {}
  void quit(int) override {}
  void destroyWindow() override {}
  void invalidate(std::optional<platform::Rect> r) override {
    std::lock_guard lock(m_mutex);
    if (r)
      m_calls.push_back(fmt::format("invalidate {} {} {} {}", r->left, r->top, r->right, r->bottom));
    else
      m_calls.push_back("invalidate all");
  }
  platform::Rect windowRect() override { return {}; }
  void setTopmost(bool) override {}

  void createCheckBox(std::uint16_t id, int x, int y, int w, int h, bool checked) override {
    std::lock_guard lock(m_mutex);
    m_controls[id] = Control{platform::ControlKind::CheckBox, x, y, w, h, true, checked, {}};
    m_calls.push_back(fmt::format("checkbox {} {} {} {} {} {}", id, x, y, w, h, checked ? 1 : 0));
  }
  void createButton(std::uint16_t id, std::string_view caption, int x, int y, int w, int h) override {
    std::lock_guard lock(m_mutex);
    m_controls[id] = Control{platform::ControlKind::Button, x, y, w, h, true, false, std::string(caption)};
    m_calls.push_back(fmt::format("button {} \"{}\" {} {} {} {}", id, caption, x, y, w, h));
  }
  void createEdit(std::uint16_t id, int x, int y, int w, int h) override {
    std::lock_guard lock(m_mutex);
    m_controls[id] = Control{platform::ControlKind::Edit, x, y, w, h, true, false, {}};
    m_calls.push_back(fmt::format("edit {} {} {} {} {}", id, x, y, w, h));
  }
  bool hasControl(std::uint16_t id) override {
    std::lock_guard lock(m_mutex);
    return m_controls.count(id) != 0;
  }
  void setChecked(std::uint16_t id, bool checked) override {
    touched();
    std::lock_guard lock(m_mutex);
    m_controls[id].checked = checked;
    m_calls.push_back(fmt::format("setChecked {} {}", id, checked ? 1 : 0));
  }
  bool isChecked(std::uint16_t id) override {
    std::lock_guard lock(m_mutex);
    return m_controls[id].checked;
  }
  void enable(std::uint16_t id, bool on) override {
    std::lock_guard lock(m_mutex);
    m_controls[id].enabled = on;
    m_calls.push_back(fmt::format("enable {} {}", id, on ? 1 : 0));
  }
  bool isEnabled(std::uint16_t id) override {
    std::lock_guard lock(m_mutex);
    return m_controls[id].enabled;
  }
  void setText(std::uint16_t id, std::string_view utf8) override {
    touched();
    std::lock_guard lock(m_mutex);
    m_controls[id].text = std::string(utf8);
    m_calls.push_back(fmt::format("setText {} \"{}\"", id, utf8));
  }
  std::string getText(std::uint16_t id) override {
    std::lock_guard lock(m_mutex);
    return m_controls[id].text;
  }

  std::vector<std::string> calls() {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  void clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
  }
  Control control(std::uint16_t id) {
    std::lock_guard lock(m_mutex);
    return m_controls.at(id);
  }
  std::size_t controlCount() {
    std::lock_guard lock(m_mutex);
    return m_controls.size();
  }

private:
  void touched() {
    if (onControlTouched) onControlTouched();
  }

  std::mutex m_mutex;
  std::map<std::uint16_t, Control> m_controls;
  std::vector<std::string> m_calls;
};

// Installs the window as the process's current one for the lifetime of the object.
class ScopedCurrentUi {
public:
  explicit ScopedCurrentUi(platform::Ui& ui) { platform::setCurrentUi(&ui); }
  ~ScopedCurrentUi() { platform::setCurrentUi(nullptr); }
};

}  // namespace amb::test
