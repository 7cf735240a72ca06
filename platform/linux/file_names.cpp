#include "platform/file_names.hpp"

#include <system_error>

namespace amb::platform {

namespace fs = std::filesystem;

namespace {
std::string foldAsciiCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}
}  // namespace

std::optional<fs::path> FolderNames::find(const std::string& name) {
  std::error_code ec;
  fs::path exact = m_folder / name;
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  if (!m_listed) {
    // One pass over the folder, however many names are asked for: a package folder may hold
    // thousands of texture folders, and its aircraft.cfg thousands of sections.
    m_listed = true;
    fs::directory_iterator it(m_folder, ec);
    m_readable = !ec;
    for (const fs::directory_iterator end; m_readable && it != end; it.increment(ec)) {
      m_byFoldedName.try_emplace(foldAsciiCase(it->path().filename().string()), it->path());
      if (ec) m_readable = false;
    }
    // A listing that broke off half-way answers nothing, as a folder that cannot be read.
    if (!m_readable) m_byFoldedName.clear();
  }
  const auto found = m_byFoldedName.find(foldAsciiCase(name));
  if (found == m_byFoldedName.end()) return std::nullopt;
  return found->second;
}

std::optional<fs::path> findIgnoringCase(const fs::path& folder, const std::string& name) {
  return FolderNames(folder).find(name);
}

}  // namespace amb::platform
