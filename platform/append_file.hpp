#pragma once
// A file that grows by whole pieces at its end, for the log. Each piece goes with one write call of
// the system; a piece the system took only in part (a full disk, a size limit) is cut off again, so
// that the file never ends in a piece cut short and a piece tried again later is never there twice.
// What was written before is never touched.

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace amb::platform {

// The end of a line in the program's text files.
#ifdef _WIN32
inline constexpr std::string_view kTextLineEnd = "\r\n";
#else
inline constexpr std::string_view kTextLineEnd = "\n";
#endif

class AppendFile {
public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Creates the file, or empties it when it exists; false when it cannot be opened.
  bool openTruncated(const std::filesystem::path& path);
  bool isOpen() const { return m_handle != kClosed; }
  // Writes the piece at the end with one call; true when it went whole. Otherwise the file is cut
  // back to where the piece began (and, should that fail, at the next append).
  bool append(std::string_view piece);
  // False when the system reported a failure.
  bool close();

private:
  static constexpr std::intptr_t kClosed = -1;
  // Back to the length of the whole pieces; false (tried again at the next append) when it failed.
  bool cutBack();

  std::intptr_t m_handle = kClosed;
  std::uint64_t m_end = 0;  // the length of the whole pieces
  bool m_cutPending = false;
};

}  // namespace amb::platform
