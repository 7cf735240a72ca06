#include "platform/copy_file.hpp"

namespace amb::platform {

namespace fs = std::filesystem;

bool copyFileReplacing(const fs::path& from, const fs::path& to, std::error_code& ec) noexcept {
  ec.clear();
  return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
}

void copyFileReplacing(const fs::path& from, const fs::path& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

}  // namespace amb::platform
