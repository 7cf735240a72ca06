#include "platform/registry.hpp"

// Placeholder until the file-backed registry lands: no keys at all.
namespace amb::platform {
long regOpenKey(RegRoot, const std::u16string&, RegHandle& out) {
  out = 0;
  return kErrorFileNotFound;
}
long regGetString(RegHandle, const std::u16string&, std::u16string&) { return kErrorInvalidHandle; }
long regGetDword(RegHandle, const std::u16string&, std::uint32_t&) { return kErrorInvalidHandle; }
void regCloseKey(RegHandle) {}
}  // namespace amb::platform
