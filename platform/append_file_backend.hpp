#pragma once
// Inside AppendFile only: the few calls each backend gives it (linux/append_file.cpp,
// win32/append_file.cpp); the bookkeeping of whole pieces is the same everywhere (append_file.cpp).

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace amb::platform::detail {

// Creates or empties the file for writing; the handle, or -1.
std::intptr_t openTruncatedFile(const std::filesystem::path& path);
// One write of the bytes at the offset; true when all of them went.
bool writeFileAt(std::intptr_t handle, std::uint64_t offset, std::string_view bytes);
// Cuts the file to the length.
bool truncateFile(std::intptr_t handle, std::uint64_t length);
bool closeFile(std::intptr_t handle);

}  // namespace amb::platform::detail
