#include "core/files.hpp"

namespace amb {

namespace fs = std::filesystem;

std::string gf_pathText(const fs::path& p) {
  const auto u8 = p.u8string();
  return std::string(u8.begin(), u8.end());
}

fs::path gf_pathFromUtf8(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

void gf_rotateBackups(const fs::path& path) {
  const std::string text = gf_pathText(path);
  const auto dot = text.rfind('.');
  if (text.empty() || dot == std::string::npos) return;
  const fs::path first = gf_pathFromUtf8(text.substr(0, dot) + "0" + text.substr(dot));
  const fs::path second = gf_pathFromUtf8(text.substr(0, dot) + "00" + text.substr(dot));
  if (fs::exists(first)) fs::copy_file(first, second, fs::copy_options::overwrite_existing);
  if (fs::exists(path)) fs::copy_file(path, first, fs::copy_options::overwrite_existing);
}

}  // namespace amb

namespace amb {

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
}  // namespace

std::u16string gf_utf8ToUtf16(const std::string& text) {
  if (text.empty()) return {};
  if (text.size() > kMaxInt) throwTooLong();
  std::u16string out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t n = text.size();
  auto fail = [] {
    throw win32::Utf8ConversionException("Invalid UTF-8 sequence found in input string.", kNoUnicodeTranslation, 0);
  };
  for (std::size_t i = 0; i < n;) {
    const unsigned char c = s[i];
    char32_t cp = 0;
    std::size_t len = 0;
    if (c < 0x80) {
      cp = c;
      len = 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
      cp = c & 0x1F;
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      cp = c & 0x0F;
      len = 3;
    } else if (c >= 0xF0 && c <= 0xF4) {
      cp = c & 0x07;
      len = 4;
    } else {
      fail();
    }
    if (i + len > n) fail();
    for (std::size_t k = 1; k < len; ++k) {
      const unsigned char cc = s[i + k];
      if ((cc & 0xC0) != 0x80) fail();
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are invalid.
    if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
      fail();
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

std::string gf_utf16ToUtf8(const std::u16string& text) {
  if (text.empty()) return {};
  if (text.size() > kMaxInt) throwTooLong();
  std::string out;
  out.reserve(text.size() * 3 / 2 + 1);
  auto fail = [] {
    throw win32::Utf8ConversionException("Invalid UTF-16 sequence found in input string.", kNoUnicodeTranslation, 1);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      if (i + 1 >= text.size()) fail();
      const char32_t lo = text[i + 1];
      if (lo < 0xDC00 || lo > 0xDFFF) fail();
      cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      fail();
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace amb
