// amb_winctl: finds a top-level window by its class name and acts on it as a user would, for tests of
// the Windows build that drive the real program from outside.
//
//   amb_winctl wait CLASS MS          waits (bounded) until the window exists and is visible; prints
//                                     "window L T R B client X Y W H" (screen rectangle, client origin
//                                     on the screen and client size)
//   amb_winctl gone CLASS MS          waits (bounded) until no such window exists
//   amb_winctl close CLASS            posts WM_CLOSE (the close button of the caption)
//   amb_winctl move CLASS X Y         moves the window's top left corner to X, Y (as a drag would)
//   amb_winctl minimize CLASS         minimises the window (as the task bar would)
//   amb_winctl click CLASS ID         posts the click of check box or button ID
//   amb_winctl type CLASS ID TEXT     sets the text of edit box ID and presses Enter in it
//   amb_winctl text CLASS ID          prints the text of control ID
//   amb_winctl state CLASS ID         prints "enabled E checked C" of control ID
//
// Input into a disabled control is refused, as the window would refuse it. Exit code 0 on success,
// 1 when the window or control is missing or the wait ran out, 2 on bad arguments.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring wide(const char* utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring w(n > 0 ? static_cast<std::size_t>(n) : 1u, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, w.data(), n);
  w.resize(w.size() - 1);
  return w;
}

std::string utf8(const std::wstring& w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string s(n > 0 ? static_cast<std::size_t>(n) : 1u, '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, s.data(), n, nullptr, nullptr);
  s.resize(s.size() - 1);
  return s;
}

HWND find(const std::wstring& cls) { return FindWindowW(cls.c_str(), nullptr); }

int usage() {
  std::fprintf(stderr,
               "usage: amb_winctl wait|gone CLASS MS | close CLASS | move CLASS X Y | minimize CLASS | click CLASS ID | type CLASS ID TEXT |"
               " text CLASS ID | state CLASS ID\n");
  return 2;
}

bool number(const char* s, long& out) {
  char* end = nullptr;
  out = std::strtol(s, &end, 10);
  return *s != '\0' && *end == '\0';
}

// Polls every 20 ms until the condition holds or the bound passes.
template <typename F>
bool waitUntil(long ms, F cond) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ms < 0 ? 0 : ms);
  for (;;) {
    if (cond()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(20);
  }
}

HWND controlOf(HWND main, const char* idText, long& id) {
  if (!number(idText, id) || id < 0 || id > 0xFFFF) return nullptr;
  return GetDlgItem(main, static_cast<int>(id));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return usage();
  const std::string cmd = argv[1];
  const std::wstring cls = wide(argv[2]);

  if (cmd == "wait" || cmd == "gone") {
    long ms = 0;
    if (argc != 4 || !number(argv[3], ms)) return usage();
    if (cmd == "gone") {
      if (waitUntil(ms, [&] { return find(cls) == nullptr; })) return 0;
      std::fprintf(stderr, "amb_winctl: the window %s is still there after %ld ms\n", argv[2], ms);
      return 1;
    }
    HWND h = nullptr;
    if (!waitUntil(ms, [&] { return (h = find(cls)) != nullptr && IsWindowVisible(h); })) {
      std::fprintf(stderr, "amb_winctl: no visible window %s within %ld ms\n", argv[2], ms);
      return 1;
    }
    RECT r{}, c{};
    GetWindowRect(h, &r);
    GetClientRect(h, &c);
    POINT origin{0, 0};
    ClientToScreen(h, &origin);
    std::printf("window %ld %ld %ld %ld client %ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom, origin.x,
                origin.y, c.right - c.left, c.bottom - c.top);
    return 0;
  }

  const HWND main = find(cls);
  if (!main) {
    std::fprintf(stderr, "amb_winctl: no window %s\n", argv[2]);
    return 1;
  }
  if (cmd == "close") {
    if (argc != 3) return usage();
    return PostMessageW(main, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (cmd == "minimize") {
    if (argc != 3) return usage();
    ShowWindow(main, SW_MINIMIZE);
    return IsIconic(main) ? 0 : 1;
  }
  if (cmd == "move") {
    long x = 0, y = 0;
    if (argc != 5 || !number(argv[3], x) || !number(argv[4], y)) return usage();
    return SetWindowPos(main, nullptr, static_cast<int>(x), static_cast<int>(y), 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
  }
  if (argc < 4) return usage();
  long id = 0;
  const HWND control = controlOf(main, argv[3], id);
  if (!control) {
    std::fprintf(stderr, "amb_winctl: no control %s in %s\n", argv[3], argv[2]);
    return 1;
  }
  if (cmd == "text" || cmd == "state") {
    if (argc != 4) return usage();
    if (cmd == "state") {
      std::printf("enabled %d checked %d\n", IsWindowEnabled(control) ? 1 : 0,
                  IsDlgButtonChecked(main, static_cast<int>(id)) == BST_CHECKED ? 1 : 0);
    } else {
      wchar_t buf[1024] = {};
      GetWindowTextW(control, buf, 1024);
      std::printf("%s\n", utf8(buf).c_str());
    }
    return 0;
  }
  if (!IsWindowEnabled(control)) {
    std::fprintf(stderr, "amb_winctl: control %ld is disabled\n", id);
    return 1;
  }
  if (cmd == "click") {
    if (argc != 4) return usage();
    return PostMessageW(main, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                        reinterpret_cast<LPARAM>(control))
               ? 0
               : 1;
  }
  if (cmd == "type") {
    if (argc != 5) return usage();
    const std::wstring text = wide(argv[4]);
    SendMessageW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return PostMessageW(control, WM_CHAR, VK_RETURN, 0) ? 0 : 1;
  }
  return usage();
}
