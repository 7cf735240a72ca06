// INI reading with the Windows private-profile functions.

#include "platform/ini.hpp"

#include "platform/win32/wide.hpp"

#include <windows.h>

#include <vector>

namespace amb::platform {

namespace {

// Large enough for any real section; a section that fills it still counts as present.
constexpr DWORD kSectionBufferChars = 32767;

// A default no key of a real file holds, so that a missing key and an empty value can be told apart.
constexpr const wchar_t* kMissing = L"\x1F" L"amb-missing" L"\x1F";

}  // namespace

bool iniSectionExists(const std::filesystem::path& file, const std::string& section) {
  std::wstring wsection;
  if (!win32::toWide(section, wsection)) return false;
  std::vector<wchar_t> buf(kSectionBufferChars, L'\0');
  const DWORD n = ::GetPrivateProfileSectionW(wsection.c_str(), buf.data(), kSectionBufferChars, file.c_str());
  return n > 0;
}

std::optional<std::string> iniGetString(const std::filesystem::path& file, const std::string& section,
                                        const std::string& key, std::size_t maxChars) {
  std::wstring wsection, wkey;
  if (!win32::toWide(section, wsection) || !win32::toWide(key, wkey)) return std::nullopt;
  if (::GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  // The sentinel must fit into the buffer to be recognised; a smaller buffer reads the key twice.
  const std::size_t probe = std::max<std::size_t>(maxChars, 64);
  std::vector<wchar_t> buf(probe, L'\0');
  const DWORD n = ::GetPrivateProfileStringW(wsection.c_str(), wkey.c_str(), kMissing, buf.data(),
                                             static_cast<DWORD>(probe), file.c_str());
  const std::wstring value(buf.data(), n);
  if (value == kMissing) return std::nullopt;
  if (maxChars == 0) return std::string();
  if (maxChars >= probe) return win32::utf8Of(value);
  std::vector<wchar_t> small(maxChars, L'\0');
  const DWORD m = ::GetPrivateProfileStringW(wsection.c_str(), wkey.c_str(), L"", small.data(),
                                             static_cast<DWORD>(maxChars), file.c_str());
  return win32::utf8Of(std::wstring_view(small.data(), m));
}

}  // namespace amb::platform
