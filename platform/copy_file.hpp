#pragma once
// Copying a file over an existing one.
//
// std::filesystem::copy_file and std::filesystem::copy with overwrite_existing must not be used: in
// the Windows build (libstdc++ of GCC 12) they take any two files of one drive for the same file
// and fail with "File exists". The Win32 backend calls CopyFileW instead.

#include <filesystem>
#include <system_error>

namespace amb::platform {

// Copies from onto to, replacing to when it exists; false with ec set on failure.
bool copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                       std::error_code& ec) noexcept;
// The same, throwing std::filesystem::filesystem_error on failure.
void copyFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace amb::platform
