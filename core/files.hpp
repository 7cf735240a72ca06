#pragma once
// Text files in any encoding, the strict UTF-8/UTF-16 codec and whole-file operations.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <list>
#include <stdexcept>
#include <string>
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

std::u16string gf_utf8ToUtf16(const std::string& text);
std::string gf_utf16ToUtf8(const std::u16string& text);

// The path's text as UTF-8, for logs and messages.
std::string gf_pathText(const std::filesystem::path& p);
// A path from UTF-8 text.
std::filesystem::path gf_pathFromUtf8(const std::string& text);

class FileReader {
public:
  virtual ~FileReader();
  bool open(const std::filesystem::path& path);
  void readLines(std::vector<std::string>& lines);
  std::ifstream& stream() { return m_stream; }

private:
  std::ifstream m_stream;
};

class FileWriter {
public:
  virtual ~FileWriter();
  bool open(const std::filesystem::path& path);
  std::ofstream& stream() { return m_stream; }

private:
  std::ofstream m_stream;
};

// Reads a UTF-16 file (byte-order mark FF FE or FE FF; big-endian without one) as UTF-8 lines.
class WideFileReader {
public:
  virtual ~WideFileReader();
  bool open(const std::filesystem::path& path);
  void readLines(std::vector<std::string>& lines);

private:
  std::ifstream m_stream;
};

void gf_readLines(FileReader& reader, std::list<std::string>& lines);

int gf_detectEncoding(const std::filesystem::path& path);
bool gf_readExtTextFileToStringVector(int encoding, const std::filesystem::path& path,
                                      std::vector<std::string>& lines);
bool gf_readTextFileLines(const std::filesystem::path& path, std::vector<std::string>& lines);

bool gf_writeStringToFile(const std::string& text, const std::filesystem::path& path, bool endOfLine);
bool gf_writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);

struct FileLines {
  std::filesystem::path path;
  std::vector<std::string> lines;
};
// Reads every line of record.path into record.lines; the vector when it holds a line, else null.
std::vector<std::string>* gf_readFileLines(FileLines& record, std::int32_t reserve);

int gf_removeFileIfExists(const std::filesystem::path& path);
// Copies name0.ext over name00.ext and name.ext over name0.ext.
void gf_rotateBackups(const std::filesystem::path& path);

}  // namespace amb
