#include "platform/registry.hpp"

#include <windows.h>

#include <vector>

namespace amb::platform {

namespace {

HKEY toHkey(RegHandle h) { return reinterpret_cast<HKEY>(h); }
RegHandle fromHkey(HKEY h) { return reinterpret_cast<RegHandle>(h); }

HKEY rootKey(RegRoot root) {
  return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Handles the system owns: opening an empty subkey hands the root itself back, and it must never be
// closed.
bool isPredefined(HKEY h) {
  static const HKEY roots[] = {HKEY_CLASSES_ROOT,     HKEY_CURRENT_USER,        HKEY_LOCAL_MACHINE,
                               HKEY_USERS,            HKEY_PERFORMANCE_DATA,    HKEY_CURRENT_CONFIG,
                               HKEY_DYN_DATA,         HKEY_CURRENT_USER_LOCAL_SETTINGS,
                               HKEY_PERFORMANCE_TEXT, HKEY_PERFORMANCE_NLSTEXT};
  for (HKEY r : roots)
    if (h == r) return true;
  return false;
}

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");

const wchar_t* wide(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

}  // namespace

long regOpenKey(RegRoot root, const std::u16string& subkey, RegHandle& out) {
  out = 0;
  HKEY h = nullptr;
  const LSTATUS rc = RegOpenKeyExW(rootKey(root), wide(subkey), 0, KEY_READ, &h);
  if (rc == ERROR_SUCCESS) out = fromHkey(h);
  return rc;
}

long regGetString(RegHandle key, const std::u16string& valueName, std::u16string& out) {
  if (key == 0) return kErrorInvalidHandle;
  // First the size, then the text. The value may grow between the two calls; then ask again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD bytes = 0;
    LSTATUS rc = RegGetValueW(toHkey(key), nullptr, wide(valueName), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
    if (rc != ERROR_SUCCESS) return rc;
    std::vector<wchar_t> buf(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(buf.size() * sizeof(wchar_t));
    rc = RegGetValueW(toHkey(key), nullptr, wide(valueName), RRF_RT_REG_SZ, nullptr, buf.data(), &bytes);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return rc;
    // The stored text may carry its own zeros at the end; the text ends at the first one.
    std::size_t n = 0;
    const std::size_t limit = bytes / sizeof(wchar_t);
    while (n < limit && buf[n] != L'\0') ++n;
    out.assign(reinterpret_cast<const char16_t*>(buf.data()), n);
    return ERROR_SUCCESS;
  }
  return ERROR_MORE_DATA;
}

long regGetDword(RegHandle key, const std::u16string& valueName, std::uint32_t& out) {
  if (key == 0) return kErrorInvalidHandle;
  DWORD value = 0;
  DWORD bytes = sizeof(value);
  const LSTATUS rc = RegGetValueW(toHkey(key), nullptr, wide(valueName), RRF_RT_REG_DWORD, nullptr, &value, &bytes);
  if (rc == ERROR_SUCCESS) out = value;
  return rc;
}

void regCloseKey(RegHandle key) {
  if (key == 0 || isPredefined(toHkey(key))) return;
  RegCloseKey(toHkey(key));
}

}  // namespace amb::platform
