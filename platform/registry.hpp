#pragma once
// Read-only access to the registry. Errors are Windows error codes (0 = success, 2 = not found), so
// that the callers report them as Windows would. The Linux backend reads a text file in the .reg
// export format named by AMBT_REGISTRY; without that file there are no keys.

#include <cstdint>
#include <string>

namespace amb::platform {

enum class RegRoot : std::uintptr_t { LocalMachine = 1, CurrentUser = 2 };

using RegHandle = std::uintptr_t;  // 0 = none

constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorMoreData = 234;
constexpr long kErrorUnsupportedType = 1630;

// RegOpenKeyExW with KEY_READ.
long regOpenKey(RegRoot root, const std::u16string& subkey, RegHandle& out);
// RegGetValueW restricted to REG_SZ: the text without its terminating zero.
long regGetString(RegHandle key, const std::u16string& valueName, std::u16string& out);
// RegGetValueW restricted to REG_DWORD.
long regGetDword(RegHandle key, const std::u16string& valueName, std::uint32_t& out);
void regCloseKey(RegHandle key);

}  // namespace amb::platform
