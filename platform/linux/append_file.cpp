#include "platform/append_file.hpp"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace amb::platform {

AppendFile::~AppendFile() { close(); }

bool AppendFile::openTruncated(const std::filesystem::path& path) {
  close();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  m_handle = fd;
  m_end = 0;
  m_cutPending = false;
  return true;
}

bool AppendFile::cutBack() {
  m_cutPending = ::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(m_end)) != 0;
  return !m_cutPending;
}

bool AppendFile::append(std::string_view piece) {
  if (!isOpen()) return false;
  if (m_cutPending && !cutBack()) return false;
  ssize_t n;
  // At the end of the whole pieces, wherever a failed write left the file's own end.
  do {
    n = ::pwrite(static_cast<int>(m_handle), piece.data(), piece.size(), static_cast<off_t>(m_end));
  } while (n < 0 && errno == EINTR);
  if (n == static_cast<ssize_t>(piece.size())) {
    m_end += piece.size();
    return true;
  }
  cutBack();
  return false;
}

bool AppendFile::close() {
  if (!isOpen()) return true;
  const bool ok = ::close(static_cast<int>(m_handle)) == 0;
  m_handle = kClosed;
  return ok;
}

}  // namespace amb::platform
