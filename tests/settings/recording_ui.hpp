#pragma once
// A window that only records what the program asks of it, for the settings and shell tests.

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
    bool enabled = true, checked = false;
    std::string text;
  };

  // Called outside the recorder's lock at every setChecked and setText.
  std::function<void()> onControlTouched;

  bool registerWindowClass(std::string_view) override { return true; }
  bool createMainWindow(std::string_view, int, int, int, int, platform::UiEvents&) override { return true; }
  int run() override { return 0; }
  void post(int) override {}
  void quit(int) override {}
  void destroyWindow() override {}
  platform::Rect windowRect() override { return {}; }
  void setTopmost(bool) override {}
  void invalidate(std::optional<platform::Rect> r) override {
    record(r ? fmt::format("invalidate {} {} {} {}", r->left, r->top, r->right, r->bottom) : "invalidate all");
  }
  void createCheckBox(std::uint16_t id, int x, int y, int w, int h, bool checked) override {
    record(fmt::format("checkbox {} {} {} {} {} {}", id, x, y, w, h, checked ? 1 : 0), id,
           [&](Control& c) { c.checked = checked; });
  }
  void createButton(std::uint16_t id, std::string_view caption, int x, int y, int w, int h) override {
    record(fmt::format("button {} \"{}\" {} {} {} {}", id, caption, x, y, w, h), id, [](Control&) {});
  }
  void createEdit(std::uint16_t id, int x, int y, int w, int h) override {
    record(fmt::format("edit {} {} {} {} {}", id, x, y, w, h), id, [](Control&) {});
  }
  bool hasControl(std::uint16_t id) override {
    std::lock_guard lock(m_mutex);
    return m_controls.count(id) != 0;
  }
  void setChecked(std::uint16_t id, bool checked) override {
    if (onControlTouched) onControlTouched();
    record(fmt::format("setChecked {} {}", id, checked ? 1 : 0), id, [&](Control& c) { c.checked = checked; });
  }
  void enable(std::uint16_t id, bool on) override {
    record(fmt::format("enable {} {}", id, on ? 1 : 0), id, [&](Control& c) { c.enabled = on; });
  }
  void setText(std::uint16_t id, std::string_view utf8) override {
    if (onControlTouched) onControlTouched();
    record(fmt::format("setText {} \"{}\"", id, utf8), id, [&](Control& c) { c.text = utf8; });
  }
  bool isChecked(std::uint16_t id) override { return control(id).checked; }
  bool isEnabled(std::uint16_t id) override { return control(id).enabled; }
  std::string getText(std::uint16_t id) override { return control(id).text; }

  Control control(std::uint16_t id) {
    std::lock_guard lock(m_mutex);
    return m_controls.at(id);
  }
  std::vector<std::string> calls() {
    std::lock_guard lock(m_mutex);
    return m_calls;
  }
  void clearCalls() {
    std::lock_guard lock(m_mutex);
    m_calls.clear();
  }

private:
  void record(std::string call, std::uint16_t id = 0, const std::function<void(Control&)>& change = nullptr) {
    std::lock_guard lock(m_mutex);
    m_calls.push_back(std::move(call));
    if (change) change(m_controls[id]);
  }

  std::mutex m_mutex;
  std::map<std::uint16_t, Control> m_controls;
  std::vector<std::string> m_calls;
};

// Installs the window as the process's current one for the lifetime of the object.
struct ScopedCurrentUi {
  explicit ScopedCurrentUi(platform::Ui& ui) { platform::setCurrentUi(&ui); }
  ~ScopedCurrentUi() { platform::setCurrentUi(nullptr); }
};

}  // namespace amb::test
