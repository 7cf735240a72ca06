#pragma once
// Names of files and folders as the Windows file system compares them: without regard to the letter
// case. AI packages name their model and texture folders and flight-model files in any case
// ("Model", "TEXTURE.BAW", "a320.AIR"), and the simulator finds them all.

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>

namespace amb::platform {

// The entry of the folder whose name equals name without regard to the case of ASCII letters (the
// exact name first); nothing when there is none or the folder cannot be read. Links are followed
// when the caller tests the result's status.
std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                      const std::string& name);

// The same lookup for many names in one folder: where the file system itself heeds the case, the
// folder is listed once, at the first name that is not found as written, and later names are looked
// up in that list. The list is taken once and never refreshed: for work that does not change the
// folder meanwhile (the sections of one aircraft.cfg).
class FolderNames {
public:
  explicit FolderNames(std::filesystem::path folder) : m_folder(std::move(folder)) {}
  const std::filesystem::path& folder() const { return m_folder; }
  std::optional<std::filesystem::path> find(const std::string& name);

private:
  std::filesystem::path m_folder;
  bool m_listed = false;
  bool m_readable = false;
  // Each name with its ASCII letters in lower case, to the first entry so named in listing order.
  std::unordered_map<std::string, std::filesystem::path> m_byFoldedName;
};

}  // namespace amb::platform
