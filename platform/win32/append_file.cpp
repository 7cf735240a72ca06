#include "platform/append_file_backend.hpp"

#include <windows.h>

namespace amb::platform::detail {

namespace {
HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

std::intptr_t openTruncatedFile(const std::filesystem::path& path) {
  // Others may read the file while it is written, as with the runtime's own files.
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

bool writeFileAt(std::intptr_t handle, std::uint64_t offset, std::string_view bytes) {
  // On a handle without FILE_FLAG_OVERLAPPED the write starts at the structure's offset and returns
  // once done.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD written = 0;
  return WriteFile(handleOf(handle), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &at) &&
         written == bytes.size();
}

bool truncateFile(std::intptr_t handle, std::uint64_t length) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(length);
  return SetFilePointerEx(handleOf(handle), at, nullptr, FILE_BEGIN) && SetEndOfFile(handleOf(handle));
}

bool closeFile(std::intptr_t handle) { return CloseHandle(handleOf(handle)) != 0; }

}  // namespace amb::platform::detail
