#include "platform/file_names.hpp"

#include <system_error>

namespace amb::platform {

namespace fs = std::filesystem;

namespace {
bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}
}  // namespace

std::optional<fs::path> findIgnoringCase(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  fs::path exact = folder / name;
  if (fs::exists(fs::symlink_status(exact, ec))) return exact;
  fs::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) return std::nullopt;
    if (equalIgnoringAsciiCase(it->path().filename().string(), name)) return it->path();
  }
  return std::nullopt;
}

}  // namespace amb::platform
