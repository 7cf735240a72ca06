#include "platform/append_file.hpp"

#include "platform/append_file_backend.hpp"

namespace amb::platform {

AppendFile::~AppendFile() { close(); }

bool AppendFile::openTruncated(const std::filesystem::path& path) {
  close();
  m_handle = detail::openTruncatedFile(path);
  m_end = 0;
  m_cutPending = false;
  return isOpen();
}

bool AppendFile::cutBack() {
  m_cutPending = !detail::truncateFile(m_handle, m_end);
  return !m_cutPending;
}

bool AppendFile::append(std::string_view piece) {
  if (!isOpen()) return false;
  if (m_cutPending && !cutBack()) return false;
  // At the end of the whole pieces, wherever a failed write left the file's own end.
  if (detail::writeFileAt(m_handle, m_end, piece)) {
    m_end += piece.size();
    return true;
  }
  cutBack();
  return false;
}

bool AppendFile::close() {
  if (!isOpen()) return true;
  const bool ok = detail::closeFile(m_handle);
  m_handle = kClosed;
  return ok;
}

}  // namespace amb::platform
