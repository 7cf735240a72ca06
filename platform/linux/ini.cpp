// INI reading with the rules of the Windows private-profile functions.

#include "platform/ini.hpp"

#include "platform/utf8.hpp"

#include <fstream>
#include <iterator>
#include <vector>

namespace amb::platform {

namespace {

// UTF-16 text (after its byte-order mark) as UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::string& bytes, std::size_t from, bool bigEndian) {
  std::string out;
  auto unit = [&](std::size_t i) -> char16_t {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    return static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
  };
  for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
    const char16_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
      const char16_t l = unit(i + 2);
      if (l >= 0xDC00 && l <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (l - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? char32_t{0xFFFD} : char32_t{u});
  }
  return out;
}

std::optional<std::string> readText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto starts = [&](const char* bom, std::size_t n) { return bytes.size() >= n && bytes.compare(0, n, bom, n) == 0; };
  if (starts("\xEF\xBB\xBF", 3)) return bytes.substr(3);
  if (starts("\xFF\xFE", 2)) return utf16ToUtf8(bytes, 2, false);
  if (starts("\xFE\xFF", 2)) return utf16ToUtf8(bytes, 2, true);
  return bytes;
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool equalsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

struct Entry {
  std::string key;
  std::string value;
};

// The entries of the first section with that name; nothing when the file or the section is missing.
std::optional<std::vector<Entry>> sectionEntries(const std::filesystem::path& file, const std::string& section) {
  auto text = readText(file);
  if (!text) return std::nullopt;
  std::optional<std::vector<Entry>> found;
  bool inSection = false;
  std::size_t pos = 0;
  while (pos <= text->size()) {
    auto nl = text->find('\n', pos);
    if (nl == std::string::npos) nl = text->size();
    const std::string line = trim(text->substr(pos, nl - pos));
    pos = nl + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (found) break;  // the first matching section is complete
      const auto close = line.find(']');
      const std::string name = trim(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      inSection = equalsNoCase(name, section);
      if (inSection) found.emplace();
      continue;
    }
    if (!inSection) continue;
    const auto eq = line.find('=');
    Entry e;
    e.key = trim(line.substr(0, eq));
    if (eq != std::string::npos) {
      e.value = trim(line.substr(eq + 1));
      if (e.value.size() >= 2 && (e.value.front() == '"' || e.value.front() == '\'') &&
          e.value.back() == e.value.front())
        e.value = e.value.substr(1, e.value.size() - 2);
    }
    found->push_back(std::move(e));
  }
  return found;
}

// The first n code points of a UTF-8 text.
std::string firstCodePoints(const std::string& s, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (count == n) return s.substr(0, i);
      ++count;
    }
  }
  return s;
}

}  // namespace

bool iniSectionExists(const std::filesystem::path& file, const std::string& section) {
  auto entries = sectionEntries(file, section);
  return entries && !entries->empty();
}

std::optional<std::string> iniGetString(const std::filesystem::path& file, const std::string& section,
                                        const std::string& key, std::size_t maxChars) {
  auto entries = sectionEntries(file, section);
  if (!entries) return std::nullopt;
  for (const auto& e : *entries)
    if (equalsNoCase(e.key, key)) return maxChars == 0 ? std::string() : firstCodePoints(e.value, maxChars - 1);
  return std::nullopt;
}

}  // namespace amb::platform
