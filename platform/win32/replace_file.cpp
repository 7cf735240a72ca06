#include "platform/replace_file.hpp"

#include <windows.h>

namespace amb::platform {

bool commitFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                         std::error_code& ec) noexcept {
  ec.clear();
  // MOVEFILE_WRITE_THROUGH returns only once the data and the rename are on the disk.
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  ec.assign(static_cast<int>(GetLastError()), std::system_category());
  return false;
}

}  // namespace amb::platform
