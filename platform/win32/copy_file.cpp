#include "platform/copy_file.hpp"

#include <windows.h>

namespace amb::platform {

namespace fs = std::filesystem;

bool copyFileReplacing(const fs::path& from, const fs::path& to, std::error_code& ec) noexcept {
  ec.clear();
  if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
  ec.assign(static_cast<int>(GetLastError()), std::system_category());
  return false;
}

void copyFileReplacing(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!copyFileReplacing(from, to, ec)) throw fs::filesystem_error("cannot copy file", from, to, ec);
}

}  // namespace amb::platform
