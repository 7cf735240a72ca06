#include "platform/app_resources.hpp"

#include <windows.h>

namespace amb::platform {

std::optional<std::string> appTitle() {
  wchar_t title[100] = {};
  const int n = LoadStringW(GetModuleHandleW(nullptr), 101, title, 100);
  if (n <= 0) return std::nullopt;
  const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, title, n, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, title, n, out.data(), bytes, nullptr, nullptr);
  return out;
}

}  // namespace amb::platform
