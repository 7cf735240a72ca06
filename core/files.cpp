#include "core/files.hpp"

#include "core/log.hpp"
#include "core/message_line.hpp"
#include "platform/copy_file.hpp"
#include "platform/replace_file.hpp"
#include "platform/utf8.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <iterator>

namespace amb {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Paths

std::string gf_pathText(const fs::path& p) {
  const auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

fs::path gf_pathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

fs::path gf_simFolderTextToPath(const std::string& text) {
#ifdef _WIN32
  return gf_pathFromUtf8(text);
#else
  std::string slashes = text;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  return gf_pathFromUtf8(slashes);
#endif
}

namespace {

// The standard existence test, reporting failures under the operation names the program's log
// and messages use.
bool lf_exists(const fs::path& p) {
  std::error_code ec;
  const bool found = fs::exists(p, ec);
  if (ec) throw fs::filesystem_error("exists", p, ec);
  return found;
}

void lf_copyOver(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  // Not std::filesystem::copy_file: see platform/copy_file.hpp.
  platform::copyFileReplacing(from, to, ec);
  if (ec) throw fs::filesystem_error("copy_file", from, to, ec);
}

bool lf_isDirectory(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

// A directory is not a file to read, even where the system would open it.
int lf_directoryErrno() {
#ifdef _WIN32
  return EACCES;
#else
  return EISDIR;
#endif
}

}  // namespace

void gf_rotateBackups(const fs::path& path) {
  const std::string text = gf_pathText(path);
  const auto dot = text.rfind('.');
  if (text.empty() || dot == std::string::npos) return;
  const fs::path first = gf_pathFromUtf8(text.substr(0, dot) + "0" + text.substr(dot));
  const fs::path second = gf_pathFromUtf8(text.substr(0, dot) + "00" + text.substr(dot));
  if (lf_exists(first)) lf_copyOver(first, second);
  if (lf_exists(path)) lf_copyOver(path, first);
}

int gf_removeFileIfExists(const fs::path& path) {
  if (!lf_exists(path)) return 1;
  std::error_code ec;
  const bool removed = fs::remove(path, ec);
  if (ec) throw fs::filesystem_error("remove", path, ec);
  return removed ? 1 : 0;
}

// ---------------------------------------------------------------------------------------------
// The strict codec

namespace win32 {
Utf8ConversionException::Utf8ConversionException(const std::string& message, std::uint32_t errorCode,
                                                 std::uint32_t direction)
    : std::runtime_error(message), m_errorCode(errorCode), m_direction(direction) {}
}  // namespace win32

namespace {
constexpr std::uint32_t kNoUnicodeTranslation = 1113;
constexpr std::size_t kMaxInt = 2147483647u;

[[noreturn]] void throwTooLong() {
  throw std::overflow_error("Input string too long: size_t-length doesn't fit into int.");
}

[[noreturn]] void throwInvalidUtf16() {
  throw win32::Utf8ConversionException("Invalid UTF-16 sequence found in input string.", kNoUnicodeTranslation, 1);
}
}  // namespace

std::u16string gf_utf8ToUtf16(const std::string& text) {
  if (text.empty()) return {};
  if (text.size() > kMaxInt) throwTooLong();
  if (auto wide = platform::utf8ToUtf16(text)) return std::move(*wide);
  throw win32::Utf8ConversionException("Invalid UTF-8 sequence found in input string.", kNoUnicodeTranslation, 0);
}

std::string gf_utf16ToUtf8(const std::u16string& text) {
  if (text.empty()) return {};
  if (text.size() > kMaxInt) throwTooLong();
  std::string out;
  out.reserve(text.size() * 3 / 2 + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= text.size()) throwInvalidUtf16();
      const char32_t lo = text[i + 1];
      if (lo < 0xDC00 || lo > 0xDFFF) throwInvalidUtf16();
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      throwInvalidUtf16();
    }
    platform::appendUtf8(out, cp);
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// File classes

namespace {

template <typename Stream>
void lf_closeQuietly(Stream& stream) {
  try {
    if (stream.is_open()) stream.close();
  } catch (...) {
  }
}

// A text file beyond the limits: one log line, nothing read.
void lf_refuseTextFile(const std::string& name) {
  gf_logMarked(fmt::format("{} refused: a text file of more than {} bytes or {} lines is not one the program reads",
                           name, kMaxTextFileBytes, kMaxTextFileLines));
}

// The file's size is far beyond the limits: no need to read it to know.
bool lf_tooLarge(const fs::path& path) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  return !ec && size > kMaxTextFileBytes;
}

// Reads the stream's lines in chunks, so that neither a huge line nor a flood of empty ones is held
// beyond the limits: a line ends at a newline, and the CR of a CR LF pair goes as in a Windows
// text-mode stream (a last line without a newline keeps its CR). Beyond the limits, the lines of
// this read are taken out again and the answer is false. The stream state is cleared afterwards.
template <typename Lines>
bool lf_readLinesBounded(std::istream& in, const std::string& name, Lines& lines) {
  const std::size_t first = lines.size();
  std::string buffer(64 * 1024, '\0');
  std::string line;
  std::uintmax_t bytes = 0;
  bool within = true;
  const auto emit = [&](bool ended) {
    if (ended && !line.empty() && line.back() == '\r') line.pop_back();
    if (lines.size() - first >= kMaxTextFileLines) return false;
    lines.push_back(std::move(line));
    line.clear();
    return true;
  };
  while (within) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    if (n == 0) break;
    bytes += n;
    if (bytes > kMaxTextFileBytes) {
      within = false;
      break;
    }
    std::string_view chunk(buffer.data(), n);
    for (std::size_t end = chunk.find('\n'); within && end != std::string_view::npos; end = chunk.find('\n')) {
      line.append(chunk.substr(0, end));
      chunk.remove_prefix(end + 1);
      within = emit(true);
    }
    line.append(chunk);
  }
  if (within && !line.empty()) within = emit(false);
  in.clear();
  if (within) return true;
  lines.erase(std::next(lines.begin(), static_cast<std::ptrdiff_t>(first)), lines.end());
  lf_refuseTextFile(name);
  return false;
}

}  // namespace

FileReader::~FileReader() { lf_closeQuietly(m_stream); }

bool FileReader::open(const fs::path& path) {
  if (lf_isDirectory(path)) return false;
  m_path = path;
  // Binary: the line reader removes the CR of a CR LF pair itself, and a Windows text-mode stream
  // would also end the file at its first Ctrl-Z byte, dropping everything after it.
  m_stream.open(path, std::ios::in | std::ios::binary);
  if (m_stream.is_open()) return true;
  m_stream.clear();
  return false;
}

bool FileReader::readLines(std::vector<std::string>& lines) {
  if (lf_tooLarge(m_path)) {
    lf_refuseTextFile(gf_pathText(m_path));
    return false;
  }
  return lf_readLinesBounded(m_stream, gf_pathText(m_path), lines);
}

bool gf_readLines(FileReader& reader, std::list<std::string>& lines) {
  if (lf_tooLarge(reader.path())) {
    lf_refuseTextFile(gf_pathText(reader.path()));
    return false;
  }
  return lf_readLinesBounded(reader.stream(), gf_pathText(reader.path()), lines);
}

std::list<std::string> gf_readLines(std::istream& in) {
  std::list<std::string> lines;
  lf_readLinesBounded(in, "a text stream", lines);
  return lines;
}

FileWriter::~FileWriter() {
  try {
    if (m_stream.is_open()) {
      m_stream.flush();
      m_stream.close();
    }
  } catch (...) {
  }
}

bool FileWriter::open(const fs::path& path) {
  m_stream.open(path, std::ios::out | std::ios::trunc);
  if (m_stream.is_open()) return true;
  m_stream.clear();
  return false;
}

WideFileReader::~WideFileReader() { lf_closeQuietly(m_stream); }

bool WideFileReader::open(const fs::path& path) {
  if (lf_isDirectory(path)) return false;
  m_path = path;
  m_stream.open(path, std::ios::in | std::ios::binary);
  if (m_stream.is_open()) return true;
  m_stream.clear();
  return false;
}

bool WideFileReader::readLines(std::vector<std::string>& lines) {
  // The whole file, in chunks up to just beyond the limit.
  std::string bytes;
  const bool tooLarge = lf_tooLarge(m_path);
  for (char chunk[64 * 1024]; !tooLarge && bytes.size() <= kMaxTextFileBytes;) {
    m_stream.read(chunk, sizeof chunk);
    if (m_stream.gcount() == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(m_stream.gcount()));
  }
  m_stream.clear();
  if (tooLarge || bytes.size() > kMaxTextFileBytes) {
    lf_refuseTextFile(gf_pathText(m_path));
    return false;
  }
  const auto byteAt = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };

  std::size_t pos = 0;
  bool littleEndian = false;  // without a byte-order mark the text is big-endian
  if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
    littleEndian = true;
    pos = 2;
  } else if (bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
    pos = 2;
  }

  const std::size_t first = lines.size();
  const auto emit = [&lines, first](const std::u16string& wide) {
    if (lines.size() - first >= kMaxTextFileLines) return false;
    std::string line = wide.empty() ? std::string() : gf_utf16ToUtf8(wide);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    return true;
  };

  std::u16string current;
  bool within = true;
  for (; within && pos + 1 < bytes.size(); pos += 2) {
    const char16_t unit = littleEndian ? static_cast<char16_t>(byteAt(pos) | (byteAt(pos + 1) << 8))
                                       : static_cast<char16_t>((byteAt(pos) << 8) | byteAt(pos + 1));
    if (unit == u'\n') {
      within = emit(current);
      current.clear();
    } else {
      current.push_back(unit);
    }
  }
  if (within && !current.empty()) within = emit(current);
  if (!within) {
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end());
    lf_refuseTextFile(gf_pathText(m_path));
    return false;
  }
  if (pos < bytes.size()) throwInvalidUtf16();  // half a unit at the end
  return true;
}

// ---------------------------------------------------------------------------------------------
// Encodings

int gf_detectEncoding(const fs::path& path) {
  int err = 0;
  std::ifstream in;
  if (lf_isDirectory(path)) {
    err = lf_directoryErrno();
  } else {
    errno = 0;
    in.open(path, std::ios::in | std::ios::binary);
    if (!in.is_open()) err = errno;
  }
  if (!in.is_open()) {
    gf_log(fmt::format("cannot open file {} for character encoding, err: {}", gf_pathText(path), err));
    return NoneFound;
  }
  unsigned char head[2] = {0, 0};
  in.read(reinterpret_cast<char*>(head), 2);
  const bool twoBytes = in.gcount() == 2;
  in.close();
  if (!twoBytes) return Ansi;
  if (head[0] == 0xFF && head[1] == 0xFE) return Unicode;
  if (head[0] == 0xFE && head[1] == 0xFF) return UnicodeBigEndian;
  if (head[0] == 0xEF && head[1] == 0xBB) return Utf8WithBom;
  return Ansi;
}

bool gf_readExtTextFileToStringVector(int encoding, const fs::path& path, std::vector<std::string>& lines) {
  if (encoding == Unicode || encoding == UnicodeBigEndian) {
    WideFileReader reader;
    if (!reader.open(path)) return false;
    try {
      if (!reader.readLines(lines)) return false;
    } catch (const win32::Utf8ConversionException& e) {
      gf_showMessage(fmt::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()), true);
      return false;
    } catch (const std::runtime_error& e) {
      gf_showMessage(std::string("conversion from error from utf16 to utf8: ") + e.what(), true);
      return false;
    }
    return true;
  }
  FileReader reader;
  if (!reader.open(path)) return false;
  const std::size_t first = lines.size();
  if (!reader.readLines(lines)) return false;
  // The first two bytes decided the encoding; the mark is removed only when it is complete, so a
  // file that merely begins with EF BB keeps its text.
  if (encoding == Utf8WithBom && lines.size() > first && lines[first].compare(0, 3, "\xEF\xBB\xBF") == 0)
    lines[first].erase(0, 3);
  return true;
}

bool gf_readTextFileLines(const fs::path& path, std::vector<std::string>& lines) {
  try {
    const int encoding = gf_detectEncoding(path);
    if (encoding == NoneFound) return false;
    return gf_readExtTextFileToStringVector(encoding, path, lines);
  } catch (const std::exception& e) {
    gf_log(fmt::format("gf_readExtTextFileToStringVector {}", e.what()));
    return true;
  }
}

// ---------------------------------------------------------------------------------------------
// Whole files

bool gf_writeStringToFile(const std::string& text, const fs::path& path, bool endOfLine) {
  FileWriter writer;
  if (!writer.open(path)) return false;
  auto& out = writer.stream();
  out << text;
  if (endOfLine) out << '\n';
  out.flush();
  return out.good();
}

bool gf_writeLinesToFile(const std::vector<std::string>& lines, const fs::path& path) {
  FileWriter writer;
  if (!writer.open(path)) return false;
  auto& out = writer.stream();
  for (const auto& line : lines) out << line << '\n';
  out.flush();
  return out.good();
}

fs::path gf_atomicTempPath(const fs::path& path) {
  fs::path temp = path;
  temp += ".tmp";
  return temp;
}

bool gf_writeFileAtomic(const fs::path& path, const std::function<bool(std::ostream&)>& writer) {
  const fs::path temp = gf_atomicTempPath(path);
  bool ok = false;
  try {
    std::ofstream out(temp, std::ios::out | std::ios::binary | std::ios::trunc);
    if (out.is_open()) {
      ok = writer(out);
      out.flush();
      ok = ok && out.good();
      out.close();
      ok = ok && !out.fail();
    }
  } catch (...) {
    ok = false;
  }
  std::error_code ec;
  if (ok) ok = platform::commitFileReplacing(temp, path, ec);
  if (!ok) fs::remove(temp, ec);
  return ok;
}

bool gf_writeFileAtomic(const fs::path& path, std::string_view content) {
  return gf_writeFileAtomic(path, [content](std::ostream& out) {
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return out.good();
  });
}

std::vector<std::string>* gf_readFileLines(FileLines& record, std::int32_t reserve) {
  FileReader reader;
  if (!reader.open(record.path)) return nullptr;
  if (reserve > 0) record.lines.reserve(static_cast<std::size_t>(reserve));
  reader.readLines(record.lines);
  return record.lines.empty() ? nullptr : &record.lines;
}

}  // namespace amb
