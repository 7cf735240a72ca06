#pragma once
// Putting a freshly written file in place of another in one step, so that readers (and the next start
// after a crash or a full disk) see either the old file whole or the new one whole, never a mix.

#include <filesystem>
#include <system_error>

namespace amb::platform {

// Flushes from to the disk, then renames it onto to, replacing to when it exists. On failure from is
// left as it is (the caller removes it) and to is untouched; false with ec set.
bool commitFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                         std::error_code& ec) noexcept;

}  // namespace amb::platform
