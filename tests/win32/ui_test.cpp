// The Win32 main window: creation, controls, the message loop, subclassed edit boxes and GDI
// painting. These need a display; under Wine the test run provides a virtual one
// (AMBT_REQUIRE_WINDOW=1). Without it they are skipped.

#include "platform/ui.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#ifdef _WIN32
#include "platform/win32/ui_window.hpp"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace amb {
namespace {

using platform::Rect;

constexpr std::uint16_t kBox = 101, kButton = 102, kEdit = 103;

class Events : public platform::UiEvents {
public:
  explicit Events(platform::Ui& ui) : m_ui(ui) {}
  void onCreate() override {
    add("create");
    m_ui.createCheckBox(kBox, 10, 40, 12, 12, true);
    m_ui.createButton(kButton, "Go", 30, 40, 60, 20);
    m_ui.createEdit(kEdit, 100, 40, 80, 16);
  }
  void onPaint(platform::Surface& s) override {
    add("paint");
    s.fill(Rect{0, 0, 50, 30}, 0x0000FF);
    s.text(2, 2, "Z\xC3\xBCrich", 0x00FFFF);
    s.text(2, 12, "\xFF\xFE broken", 0x00FFFF);  // no UTF-8: left out
  }
  void onCommand(std::uint16_t id) override { add("command " + std::to_string(id)); }
  void onEditEnter(std::uint16_t id) override { add("enter " + std::to_string(id) + " " + m_ui.getText(id)); }
  void onClose() override { add("close"); }
  void onApp(int n) override { add("app " + std::to_string(n)); }
  void onDestroy() override { add("destroy"); }

  std::vector<std::string> seen() {
    std::lock_guard lock(m_mutex);
    return m_seen;
  }
  int count(const std::string& e) {
    const auto all = seen();
    return static_cast<int>(std::count(all.begin(), all.end(), e));
  }

private:
  void add(std::string e) {
    std::lock_guard lock(m_mutex);
    m_seen.push_back(std::move(e));
  }
  platform::Ui& m_ui;
  std::mutex m_mutex;
  std::vector<std::string> m_seen;
};

class Win32Window : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string title = "amb-ui-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    if (!m_ui->createMainWindow(title, 40, 30, 300, 120, m_events)) {
      const char* required = std::getenv("AMBT_REQUIRE_WINDOW");
      if (required && std::string(required) == "1") FAIL() << "the window could not be made";
      GTEST_SKIP() << "no display for windows";
    }
    m_hwnd = static_cast<platform::win32::Win32Ui&>(*m_ui).handle();
  }
  void TearDown() override {
    if (m_hwnd && IsWindow(m_hwnd)) DestroyWindow(m_hwnd);
  }
  // Runs the message loop on this thread while `actions` runs on another; the loop's end code.
  int runWith(const std::function<void()>& actions) {
    std::thread t([&] {
      actions();
      m_ui->quit(7);
    });
    const int code = m_ui->run();
    t.join();
    return code;
  }

  std::unique_ptr<platform::Ui> m_ui = platform::makeUi();
  Events m_events{*m_ui};
  HWND m_hwnd = nullptr;
};

TEST_F(Win32Window, CreationMakesControlsPaintsAndPlacesTheClientArea) {
  const auto seen = m_events.seen();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[1], "paint");  // shown and painted before createMainWindow returns
  EXPECT_EQ(m_ui->windowRect().left, 40);
  EXPECT_EQ(m_ui->windowRect().top, 30);
  RECT client{};
  GetClientRect(m_hwnd, &client);
  EXPECT_EQ(client.right * 1000 + client.bottom, 300120);
  EXPECT_EQ(GetWindowLongW(m_hwnd, GWL_STYLE) & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX),
            WS_CAPTION | WS_SYSMENU);
  // The painted colours are checked on the program's screenshot in the Windows smoke test.

  EXPECT_TRUE(m_ui->isChecked(kBox));
  m_ui->setChecked(kBox, false);
  EXPECT_FALSE(m_ui->isChecked(kBox) || m_ui->isChecked(kButton) || m_ui->hasControl(999));
  m_ui->setText(kEdit, "Z\xC3\xBCrich \xE2\x82\xAC");
  EXPECT_EQ(m_ui->getText(kEdit), "Z\xC3\xBCrich \xE2\x82\xAC");
}

TEST_F(Win32Window, MessagesFromOtherThreadsAndInputReachTheProgram) {
  const HWND edit = GetDlgItem(m_hwnd, kEdit);
  const int code = runWith([&] {
    m_ui->post(1);
    // A click of the check box (it does not tick itself), then the edit box's own notifications,
    // which are no command.
    PostMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(kBox, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(m_hwnd, kBox)));
    PostMessageW(m_hwnd, WM_COMMAND, MAKEWPARAM(kEdit, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
    m_ui->setText(kEdit, "42");
    PostMessageW(edit, WM_CHAR, 'x', 0);  // an ordinary key goes to the box (the caret stands first)
    PostMessageW(edit, WM_CHAR, VK_RETURN, 0);
    PostMessageW(m_hwnd, WM_CLOSE, 0, 0);
    test::waitFor([&] { return m_events.count("close") == 1; });
    m_ui->enable(kEdit, false);  // a disabled box takes no Enter
    PostMessageW(edit, WM_CHAR, VK_RETURN, 0);
    const int paints = m_events.count("paint");
    m_ui->invalidate(Rect{0, 0, 10, 10});
    test::waitFor([&] { return m_events.count("paint") > paints; });
  });
  EXPECT_EQ(code, 7);
  std::vector<std::string> inputs;
  for (const auto& s : m_events.seen())
    if (s != "paint" && s != "create") inputs.push_back(s);
  EXPECT_EQ(inputs, (std::vector<std::string>{"app 1", "command 101", "enter 103 x42", "close"}));
  EXPECT_GE(m_events.count("paint"), 2);
  EXPECT_TRUE(IsWindow(m_hwnd));  // closing is the program's decision
}

TEST_F(Win32Window, DestroyFromAnotherThreadRunsOnTheWindowThread) {
  EXPECT_EQ(runWith([&] {
              m_ui->destroyWindow();
              test::waitFor([&] { return m_events.count("destroy") == 1; });
            }),
            7);
  EXPECT_EQ(m_events.count("destroy"), 1);
  EXPECT_FALSE(IsWindow(m_hwnd));
  m_ui->post(1);  // gone: the calls do nothing
  m_ui->invalidate(std::nullopt);
  EXPECT_FALSE(m_ui->hasControl(kBox));
  m_hwnd = nullptr;
}

}  // namespace
}  // namespace amb

#endif  // _WIN32
