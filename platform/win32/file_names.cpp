#include "platform/file_names.hpp"

#include <system_error>

namespace amb::platform {

namespace fs = std::filesystem;

// The Windows file system ignores the case by itself: nothing is listed.
std::optional<fs::path> FolderNames::find(const std::string& name) {
  std::error_code ec;
  fs::path exact =
      m_folder / fs::path(std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()));
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  return std::nullopt;
}

std::optional<fs::path> findIgnoringCase(const fs::path& folder, const std::string& name) {
  return FolderNames(folder).find(name);
}

}  // namespace amb::platform
