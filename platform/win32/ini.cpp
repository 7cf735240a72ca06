// Reading INI files ("SimConnect.cfg") with the private-profile functions themselves.

#include "platform/ini.hpp"

#include <windows.h>

#include <vector>

namespace amb::platform {

namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string narrow(const wchar_t* text, std::size_t length) {
  if (length == 0) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
}

// One read of a key with a given default: what GetPrivateProfileStringW hands back.
std::wstring profileString(const std::filesystem::path& file, const std::wstring& section, const std::wstring& key,
                           const wchar_t* fallback, std::size_t maxChars) {
  std::vector<wchar_t> buffer(maxChars == 0 ? 1 : maxChars);
  const DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), fallback, buffer.data(),
                                           static_cast<DWORD>(buffer.size()), file.c_str());
  return std::wstring(buffer.data(), n);
}

}  // namespace

bool iniSectionExists(const std::filesystem::path& file, const std::string& section) {
  wchar_t buffer[4];
  // A section without entries reads as nothing, like a missing one.
  return GetPrivateProfileSectionW(wide(section).c_str(), buffer, 4, file.c_str()) > 0;
}

std::optional<std::string> iniGetString(const std::filesystem::path& file, const std::string& section,
                                        const std::string& key, std::size_t maxChars) {
  const std::wstring s = wide(section), k = wide(key);
  // The functions hand back the default for a missing key: two different defaults tell it apart
  // from a key whose value equals one of them.
  const std::wstring first = profileString(file, s, k, L"\x1", maxChars);
  const std::wstring second = profileString(file, s, k, L"\x2", maxChars);
  if (first != second) return std::nullopt;
  return narrow(first.data(), first.size());
}

}  // namespace amb::platform
