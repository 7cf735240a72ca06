#include "platform/append_file.hpp"

#include <windows.h>

namespace amb::platform {

namespace {
HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

AppendFile::~AppendFile() { close(); }

bool AppendFile::openTruncated(const std::filesystem::path& path) {
  close();
  // Others may read the log while it is written, as with the runtime's own files.
  const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  m_handle = reinterpret_cast<std::intptr_t>(h);
  m_end = 0;
  m_cutPending = false;
  return true;
}

bool AppendFile::cutBack() {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(m_end);
  m_cutPending = !SetFilePointerEx(handleOf(m_handle), at, nullptr, FILE_BEGIN) || !SetEndOfFile(handleOf(m_handle));
  return !m_cutPending;
}

bool AppendFile::append(std::string_view piece) {
  if (!isOpen()) return false;
  if (m_cutPending && !cutBack()) return false;
  // At the end of the whole pieces, wherever a failed write left the file's own end.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(m_end & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(m_end >> 32);
  DWORD written = 0;
  const BOOL ok = WriteFile(handleOf(m_handle), piece.data(), static_cast<DWORD>(piece.size()), &written, &at);
  if (ok && written == piece.size()) {
    m_end += piece.size();
    return true;
  }
  cutBack();
  return false;
}

bool AppendFile::close() {
  if (!isOpen()) return true;
  const bool ok = CloseHandle(handleOf(m_handle)) != 0;
  m_handle = kClosed;
  return ok;
}

}  // namespace amb::platform
