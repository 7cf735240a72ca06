#pragma once
// Text files in any encoding, the strict UTF-8/UTF-16 codec and whole-file operations.
//
// The readers behave alike on every platform: a line ends at a newline, and the carriage return of
// a CR LF pair is removed as a Windows text-mode stream does. Directories never open as files.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <istream>
#include <list>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace amb {

namespace win32 {
// A failed strict conversion; code is the Windows error (1113 for an invalid sequence), direction 1
// from UTF-16 to UTF-8, 0 from UTF-8 to UTF-16.
class Utf8ConversionException : public std::runtime_error {
public:
  Utf8ConversionException(const std::string& message, std::uint32_t errorCode, std::uint32_t direction);
  std::uint32_t errorCode() const noexcept { return m_errorCode; }
  std::uint32_t direction() const noexcept { return m_direction; }

private:
  std::uint32_t m_errorCode;
  std::uint32_t m_direction;
};
}  // namespace win32

enum TextEncoding : int {
  Ansi = 0,
  Unicode = 1,           // UTF-16 little-endian
  UnicodeBigEndian = 2,  // UTF-16 big-endian
  Utf8WithBom = 3,
  Utf8WithoutBom = 4,    // never detected
  NoneFound = 5          // the file cannot be opened
};

// Strict conversions: an invalid sequence throws win32::Utf8ConversionException (code 1113), an
// input longer than 2147483647 units std::overflow_error. Empty in, empty out.
std::u16string gf_utf8ToUtf16(const std::string& text);
std::string gf_utf16ToUtf8(const std::u16string& text);

// The path's text as UTF-8, for logs and messages.
std::string gf_pathText(const std::filesystem::path& p);
// A path from UTF-8 text.
std::filesystem::path gf_pathFromUtf8(const std::string& text);
// A folder as the simulator's own files write it ("D:\AI\Planes", "SimObjects\My AI") as a path
// of this system: on Windows as it is; elsewhere its backslashes separate folders too.
std::filesystem::path gf_simFolderTextToPath(const std::string& text);

// The most a text file may hold to be read: far more than any file the program reads (scenery
// lists, aircraft.cfg, registration lists, its own lists), so that a damaged or hostile file cannot
// take the memory (a line costs its text and 32 bytes more). A larger file is refused whole, with
// one log line naming it.
inline constexpr std::uintmax_t kMaxTextFileBytes = 16 * 1024 * 1024;
inline constexpr std::size_t kMaxTextFileLines = 500'000;

class FileReader {
public:
  virtual ~FileReader();
  // True when the file is open; a missing file or a directory gives false.
  bool open(const std::filesystem::path& path);
  // Appends every line (without its line end); the stream state is cleared afterwards. A file
  // beyond the text-file limits appends nothing and gives false.
  bool readLines(std::vector<std::string>& lines);
  std::ifstream& stream() { return m_stream; }
  const std::filesystem::path& path() const { return m_path; }

private:
  std::ifstream m_stream;
  std::filesystem::path m_path;
};

class FileWriter {
public:
  virtual ~FileWriter();
  // Opens for writing, emptying an existing file.
  bool open(const std::filesystem::path& path);
  std::ofstream& stream() { return m_stream; }

private:
  std::ofstream m_stream;
};

// Reads a UTF-16 file (byte-order mark FF FE little-endian, FE FF big-endian; big-endian without
// one) as UTF-8 lines. The 16-bit units are split into lines first and each line is then converted
// strictly, so a broken surrogate throws win32::Utf8ConversionException with code 1113; the lines
// before it have been appended already. A trailing odd byte counts as a broken sequence. A file
// beyond the text-file limits appends nothing and gives false.
class WideFileReader {
public:
  virtual ~WideFileReader();
  bool open(const std::filesystem::path& path);
  bool readLines(std::vector<std::string>& lines);

private:
  std::ifstream m_stream;
  std::filesystem::path m_path;
};

// Appends the reader's remaining lines to a list (nothing beyond the text-file limits).
bool gf_readLines(FileReader& reader, std::list<std::string>& lines);
// Every remaining line of the stream (none beyond the text-file limits); its state is cleared
// afterwards.
std::list<std::string> gf_readLines(std::istream& in);

// The encoding from the first two bytes: FF FE 1, FE FF 2, EF BB 3, anything else 0; 5 (logged)
// when the file cannot be opened.
int gf_detectEncoding(const std::filesystem::path& path);
// Appends the file's lines as UTF-8; false when it cannot be opened, is beyond the text-file limits
// or a UTF-16 line does not convert (shown on the message line).
bool gf_readExtTextFileToStringVector(int encoding, const std::filesystem::path& path,
                                      std::vector<std::string>& lines);
// Detection and reading together; false when the file cannot be opened or is beyond the limits.
bool gf_readTextFileLines(const std::filesystem::path& path, std::vector<std::string>& lines);

// Replace the file's content; false when it cannot be opened or written.
bool gf_writeStringToFile(const std::string& text, const std::filesystem::path& path, bool endOfLine);
bool gf_writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);

// Writes a whole file so that it is never seen half-written: the content goes to "<name>.tmp" beside
// the file, is flushed to the disk, and is renamed over the file. When anything fails (the folder
// cannot be written, the disk is full, the writer returns false or throws) the old file stays as it
// was, the temporary file is removed and the result is false.
bool gf_writeFileAtomic(const std::filesystem::path& path,
                        const std::function<bool(std::ostream&)>& writer);
bool gf_writeFileAtomic(const std::filesystem::path& path, std::string_view content);
// The temporary name gf_writeFileAtomic writes to before the rename.
std::filesystem::path gf_atomicTempPath(const std::filesystem::path& path);

struct FileLines {
  std::filesystem::path path;
  std::vector<std::string> lines;
};
// Reads every line of record.path into record.lines; the vector when it holds a line, else null.
std::vector<std::string>* gf_readFileLines(FileLines& record, std::int32_t reserve);

// 1 when the file does not exist or was removed, 0 when it was not; a failed removal throws the
// file-system error of "remove".
int gf_removeFileIfExists(const std::filesystem::path& path);
// Copies name0.ext over name00.ext and name.ext over name0.ext.
void gf_rotateBackups(const std::filesystem::path& path);

}  // namespace amb
