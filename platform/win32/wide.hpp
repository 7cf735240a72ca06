#pragma once
// UTF-8 and UTF-16 at the boundary of the Windows calls.

#include <windows.h>

#include <string>
#include <string_view>

namespace amb::platform::win32 {

// Strict conversions: false (and out unchanged) when the input is not valid UTF-8 or UTF-16.
inline bool toWide(std::string_view utf8, std::wstring& out) {
  if (utf8.empty()) {
    out.clear();
    return true;
  }
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                    nullptr, 0);
  if (n <= 0) return false;
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  out = std::move(w);
  return true;
}

inline bool toUtf8(std::wstring_view wide, std::string& out) {
  if (wide.empty()) {
    out.clear();
    return true;
  }
  const int n = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), static_cast<int>(wide.size()), s.data(), n,
                      nullptr, nullptr);
  out = std::move(s);
  return true;
}

// Lenient forms for texts that must get through (invalid sequences become U+FFFD).
inline std::wstring wideOf(std::string_view utf8) {
  std::wstring w;
  if (toWide(utf8, w)) return w;
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  w.assign(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

inline std::string utf8Of(std::wstring_view wide) {
  std::string s;
  if (toUtf8(wide, s)) return s;
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                    nullptr);
  if (n <= 0) return {};
  s.assign(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), s.data(), n, nullptr, nullptr);
  return s;
}

}  // namespace amb::platform::win32
