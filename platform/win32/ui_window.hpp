#pragma once
// The Win32 window behind platform::Ui (see platform/ui.hpp for the contract).

#include "platform/ui.hpp"

#include <windows.h>

#include <atomic>
#include <string>

namespace amb::platform::win32 {

class Win32Ui final : public Ui {
public:
  Win32Ui() = default;
  ~Win32Ui() override;
  Win32Ui(const Win32Ui&) = delete;
  Win32Ui& operator=(const Win32Ui&) = delete;

  bool registerWindowClass(std::string_view title) override;
  bool createMainWindow(std::string_view title, int x, int y, int width, int height, UiEvents& events) override;
  int run() override;
  void post(int appMsg) override;
  void quit(int code) override;
  void destroyWindow() override;
  void invalidate(std::optional<Rect> r) override;
  Rect windowRect() override;
  void setTopmost(bool on) override;

  void createCheckBox(std::uint16_t id, int x, int y, int w, int h, bool checked) override;
  void createButton(std::uint16_t id, std::string_view caption, int x, int y, int w, int h) override;
  void createEdit(std::uint16_t id, int x, int y, int w, int h) override;
  bool hasControl(std::uint16_t id) override;
  void setChecked(std::uint16_t id, bool checked) override;
  bool isChecked(std::uint16_t id) override;
  void enable(std::uint16_t id, bool on) override;
  bool isEnabled(std::uint16_t id) override;
  void setText(std::uint16_t id, std::string_view utf8) override;
  std::string getText(std::uint16_t id) override;

  // The window's handle (null before creation and after destruction).
  HWND handle() const { return m_hwnd.load(); }

  // The object behind a main window of this class, or null.
  static Win32Ui* fromWindow(HWND hwnd);
  // Enter in an edit box (from the box's subclassed procedure).
  void editEnter(std::uint16_t id);

private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  HWND control(std::uint16_t id) const;

  std::atomic<HWND> m_hwnd{nullptr};
  UiEvents* m_events = nullptr;
  DWORD m_mainThread = 0;
  std::wstring m_className;  // the class registered, empty before
};

}  // namespace amb::platform::win32
