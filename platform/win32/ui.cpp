// The main window of the Windows build: a window class, the message loop, child controls (check
// boxes, push buttons, subclassed edit boxes that commit on Enter) and GDI painting.

#include "platform/ui.hpp"

#include "platform/win32/ui_window.hpp"
#include "platform/win32/wide.hpp"

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>

namespace amb::platform {

namespace win32 {

namespace {

// Posted to the window to destroy it on its own thread.
constexpr UINT kDestroyMessage = WM_USER + 0x0101;
constexpr const wchar_t* kOldProcProperty = L"amb.editproc";

HINSTANCE instance() { return ::GetModuleHandleW(nullptr); }

// Brushes and pens are made once per colour and kept for the life of the process, as the window keeps
// its own five brushes and two pens.
class GdiCache {
public:
  HBRUSH brush(Color c) {
    std::lock_guard lock(m_mutex);
    auto [it, added] = m_brushes.try_emplace(c, nullptr);
    if (added) it->second = ::CreateSolidBrush(c);
    return it->second;
  }
  HPEN pen(Color c) {
    std::lock_guard lock(m_mutex);
    auto [it, added] = m_pens.try_emplace(c, nullptr);
    if (added) it->second = ::CreatePen(PS_SOLID, 1, c);
    return it->second;
  }

private:
  std::mutex m_mutex;
  std::map<Color, HBRUSH> m_brushes;
  std::map<Color, HPEN> m_pens;
};

GdiCache& gdi() {
  static GdiCache cache;
  return cache;
}

class GdiSurface final : public Surface {
public:
  explicit GdiSurface(HDC dc) : m_dc(dc) { m_oldPen = ::SelectObject(m_dc, ::GetStockObject(BLACK_PEN)); }
  ~GdiSurface() override { ::SelectObject(m_dc, m_oldPen); }

  void fill(Rect r, Color c) override {
    const RECT rc{r.left, r.top, r.right, r.bottom};
    ::FillRect(m_dc, &rc, gdi().brush(c));
  }
  void line(int x1, int y1, int x2, int y2, Color c) override {
    ::SelectObject(m_dc, gdi().pen(c));
    ::MoveToEx(m_dc, x1, y1, nullptr);
    ::LineTo(m_dc, x2, y2);
  }
  void text(int x, int y, std::string_view utf8, Color c) override {
    std::wstring w;
    // Text that is no valid UTF-8 is not drawn (the painter has logged it).
    if (!toWide(utf8, w) || w.empty()) return;
    ::SetBkMode(m_dc, TRANSPARENT);
    ::SetTextColor(m_dc, c);
    ::TextOutW(m_dc, x, y, w.c_str(), static_cast<int>(w.size()));
  }

private:
  HDC m_dc;
  HGDIOBJ m_oldPen = nullptr;
};

LRESULT CALLBACK editProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const auto old = reinterpret_cast<WNDPROC>(::GetPropW(hwnd, kOldProcProperty));
  if (msg == WM_CHAR && wParam == VK_RETURN) {
    // Enter commits the box; it is not passed on (a single-line box would only beep). A disabled box
    // takes no input.
    if (::IsWindowEnabled(hwnd)) {
      if (auto* ui = Win32Ui::fromWindow(::GetParent(hwnd)))
        ui->editEnter(static_cast<std::uint16_t>(::GetDlgCtrlID(hwnd)));
    }
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    ::RemovePropW(hwnd, kOldProcProperty);
    ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
  }
  return old ? ::CallWindowProcW(old, hwnd, msg, wParam, lParam) : ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

Win32Ui* Win32Ui::fromWindow(HWND hwnd) {
  if (!hwnd) return nullptr;
  return reinterpret_cast<Win32Ui*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

Win32Ui::~Win32Ui() {
  // A window that outlives its object would call into it: it goes first, without telling the
  // program, whose handlers may be gone already.
  const HWND h = m_hwnd.load();
  m_events = nullptr;
  if (h && ::GetCurrentThreadId() == m_mainThread) ::DestroyWindow(h);
}

LRESULT CALLBACK Win32Ui::windowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<Win32Ui*>(cs->lpCreateParams);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    // Known from the first message on, so that the controls made on WM_CREATE find their parent.
    self->m_hwnd.store(hwnd);
  }
  Win32Ui* self = fromWindow(hwnd);
  if (!self || !self->m_events) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  UiEvents& events = *self->m_events;

  switch (msg) {
    case WM_COMMAND:
      // A click (BN_CLICKED) of a check box or button; the edit boxes' notifications are no command.
      if (HIWORD(wParam) == BN_CLICKED) events.onCommand(LOWORD(wParam));
      return 0;
    case WM_CREATE:
      events.onCreate();
      return 0;
    case WM_DESTROY:
      events.onDestroy();
      return 0;
    case WM_NCDESTROY:
      self->m_hwnd.store(nullptr);
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_PAINT: {
      PAINTSTRUCT ps;
      const HDC dc = ::BeginPaint(hwnd, &ps);
      if (dc) {
        GdiSurface surface(dc);
        events.onPaint(surface);
      }
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      // The window stays; the program decides when it ends.
      events.onClose();
      return 0;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC: {
      const HDC dc = reinterpret_cast<HDC>(wParam);
      ::SetBkMode(dc, OPAQUE);
      ::SetBkColor(dc, 0xFFCC99);
      return reinterpret_cast<LRESULT>(::GetStockObject(DC_BRUSH));
    }
    case kDestroyMessage:
      ::DestroyWindow(hwnd);
      return 0;
    default:
      if (msg > WM_APP && msg <= WM_APP + 0xFF) {
        events.onApp(static_cast<int>(msg - WM_APP));
        return 0;
      }
      return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  }
}

void Win32Ui::editEnter(std::uint16_t id) {
  if (m_events) m_events->onEditEnter(id);
}

bool Win32Ui::registerWindowClass(std::string_view title) {
  std::wstring wtitle;
  if (!toWide(title, wtitle) || wtitle.empty()) return false;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = &Win32Ui::windowProc;
  wc.hInstance = instance();
  wc.hIcon = ::LoadIconW(instance(), MAKEINTRESOURCEW(100));
  wc.hIconSm = ::LoadIconW(instance(), MAKEINTRESOURCEW(100));
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = ::CreateSolidBrush(0);
  wc.lpszClassName = wtitle.c_str();
  if (!::RegisterClassExW(&wc)) {
    // The brush belongs to the class only when this registration made it.
    const DWORD error = ::GetLastError();
    ::DeleteObject(wc.hbrBackground);
    if (error != ERROR_CLASS_ALREADY_EXISTS) return false;
  }
  m_className = std::move(wtitle);
  return true;
}

bool Win32Ui::createMainWindow(std::string_view title, int x, int y, int width, int height, UiEvents& events) {
  if (m_hwnd.load() || width <= 0 || height <= 0) return false;
  std::wstring wtitle;
  if (!toWide(title, wtitle) || wtitle.empty()) return false;
  if (m_className != wtitle && !registerWindowClass(title)) return false;
  m_mainThread = ::GetCurrentThreadId();
  m_events = &events;

  // The program paints a client area of the given size; the frame and caption come on top of it.
  constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU;
  RECT outer{0, 0, width, height};
  ::AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  const HWND hwnd = ::CreateWindowExW(0, wtitle.c_str(), wtitle.c_str(), kStyle, x, y, outer.right - outer.left,
                                      outer.bottom - outer.top, nullptr, nullptr, instance(), this);
  if (!hwnd) {
    m_hwnd.store(nullptr);
    m_events = nullptr;
    return false;
  }
  ::ShowWindow(hwnd, SW_SHOW);
  return ::UpdateWindow(hwnd) != FALSE;
}

int Win32Ui::run() {
  MSG msg;
  for (;;) {
    const BOOL r = ::GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0) break;
    if (r == -1) return 0;
    // No accelerator table: nothing is ever translated here, the keys go on as usual.
    if (!::TranslateAcceleratorW(msg.hwnd, nullptr, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  return static_cast<int>(msg.wParam);
}

void Win32Ui::post(int appMsg) {
  if (const HWND h = m_hwnd.load()) ::PostMessageW(h, WM_APP + static_cast<UINT>(appMsg), 0, 0);
}

void Win32Ui::quit(int code) {
  if (::GetCurrentThreadId() == m_mainThread || m_mainThread == 0)
    ::PostQuitMessage(code);
  else
    ::PostThreadMessageW(m_mainThread, WM_QUIT, static_cast<WPARAM>(code), 0);
}

void Win32Ui::destroyWindow() {
  const HWND h = m_hwnd.load();
  if (!h) return;
  if (::GetCurrentThreadId() == m_mainThread)
    ::DestroyWindow(h);
  else
    ::PostMessageW(h, kDestroyMessage, 0, 0);
}

void Win32Ui::invalidate(std::optional<Rect> r) {
  const HWND h = m_hwnd.load();
  if (!h) return;
  if (r) {
    const RECT rc{r->left, r->top, r->right, r->bottom};
    ::InvalidateRect(h, &rc, TRUE);
  } else {
    ::InvalidateRect(h, nullptr, TRUE);
  }
}

Rect Win32Ui::windowRect() {
  RECT rc{};
  if (const HWND h = m_hwnd.load()) ::GetWindowRect(h, &rc);
  return Rect{rc.left, rc.top, rc.right, rc.bottom};
}

void Win32Ui::setTopmost(bool on) {
  if (const HWND h = m_hwnd.load())
    ::SetWindowPos(h, on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE);
}

HWND Win32Ui::control(std::uint16_t id) const {
  const HWND h = m_hwnd.load();
  return h ? ::GetDlgItem(h, id) : nullptr;
}

void Win32Ui::createCheckBox(std::uint16_t id, int x, int y, int w, int h, bool checked) {
  const HWND parent = m_hwnd.load();
  if (!parent) return;
  ::CreateWindowExW(0, L"button", L"", WS_CHILD | WS_VISIBLE | BS_CHECKBOX, x, y, w, h, parent,
                    reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance(), nullptr);
  if (checked) ::CheckDlgButton(parent, id, BST_CHECKED);
}

void Win32Ui::createButton(std::uint16_t id, std::string_view caption, int x, int y, int w, int h) {
  const HWND parent = m_hwnd.load();
  if (!parent) return;
  ::CreateWindowExW(0, L"button", wideOf(caption).c_str(), WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, x, y, w, h,
                    parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance(), nullptr);
}

void Win32Ui::createEdit(std::uint16_t id, int x, int y, int w, int h) {
  const HWND parent = m_hwnd.load();
  if (!parent) return;
  const HWND edit = ::CreateWindowExW(0, L"Edit", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, x, y, w, h, parent,
                                      reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), instance(), nullptr);
  if (!edit) return;
  // Subclassed: Enter commits the box, everything else goes to the box's own procedure.
  const LONG_PTR old = ::GetWindowLongPtrW(edit, GWLP_WNDPROC);
  ::SetPropW(edit, kOldProcProperty, reinterpret_cast<HANDLE>(old));
  ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&editProc));
}

bool Win32Ui::hasControl(std::uint16_t id) { return control(id) != nullptr; }

void Win32Ui::setChecked(std::uint16_t id, bool checked) {
  if (const HWND parent = m_hwnd.load()) ::CheckDlgButton(parent, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32Ui::isChecked(std::uint16_t id) {
  const HWND parent = m_hwnd.load();
  return parent && ::IsDlgButtonChecked(parent, id) == BST_CHECKED;
}

void Win32Ui::enable(std::uint16_t id, bool on) {
  if (const HWND c = control(id)) ::EnableWindow(c, on ? TRUE : FALSE);
}

bool Win32Ui::isEnabled(std::uint16_t id) {
  const HWND c = control(id);
  return c && ::IsWindowEnabled(c);
}

void Win32Ui::setText(std::uint16_t id, std::string_view utf8) {
  if (const HWND c = control(id)) ::SetWindowTextW(c, wideOf(utf8).c_str());
}

std::string Win32Ui::getText(std::uint16_t id) {
  const HWND c = control(id);
  if (!c) return {};
  wchar_t buf[1024] = {};
  const int n = ::GetWindowTextW(c, buf, 1024);
  if (n < 1) return {};
  std::string out;
  // Text that is no valid UTF-16 (a lone surrogate) reads as empty, as a failed conversion does.
  if (!toUtf8(std::wstring_view(buf, static_cast<std::size_t>(n)), out)) return {};
  return out;
}

}  // namespace win32

std::unique_ptr<Ui> makeUi() { return std::make_unique<win32::Win32Ui>(); }

}  // namespace amb::platform
