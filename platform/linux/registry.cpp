#include "platform/registry.hpp"
#include "platform/utf8.hpp"

// The Linux registry: a text file in the Windows .reg export format, named by AMBT_REGISTRY.
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Lockheed Martin\Prepar3D v5]
//   "SetupPath"="D:\\P3Dv5\\"
//   "SimConnect_Port_IPv4"=dword:0000275b
//   @="the key's default value"
//
// The file is UTF-8 (with or without a byte-order mark) or UTF-16LE with a byte-order mark, as
// regedit writes it. Key and value names are case-insensitive as on Windows. A key exists when its
// section exists, and so do the keys above it. Lines that do not parse are skipped and the rest of
// the file still counts; values after a section head that does not parse belong to no key. The file
// is read again whenever its path, modification time or size changes.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

namespace amb::platform {

namespace fs = std::filesystem;

namespace {

constexpr long kErrorKeyDeleted = 1018;

struct Value {
  bool isDword = false;
  std::u16string text;
  std::uint32_t dword = 0;
};

// Keys are stored under their folded full name: a root tag, then "\" and the folded subkey.
struct Hive {
  std::map<std::u16string, std::map<std::u16string, Value>> keys;  // key -> folded value name -> value
  std::set<std::u16string> implied;                                // keys above a section
};

struct Cache {
  std::string path;
  fs::file_time_type mtime{};
  std::uintmax_t size = 0;
  bool present = false;
  Hive hive;
};

std::mutex g_mutex;
Cache g_cache;
std::map<RegHandle, std::u16string> g_handles;
RegHandle g_nextHandle = 0x100;

// Case folding of key and value names: ASCII and the Latin-1 letters, which covers every name the
// program asks for.
char16_t lf_fold(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

std::u16string lf_fold(std::u16string s) {
  for (auto& c : s) c = lf_fold(c);
  return s;
}

std::u16string lf_rootTag(RegRoot root) { return root == RegRoot::LocalMachine ? u"HKLM" : u"HKCU"; }

// The folded full name of a subkey below a root; components are joined by single backslashes.
std::optional<std::u16string> lf_keyName(const std::u16string& rootTag, const std::u16string& subkey,
                                         bool strict) {
  std::u16string name = rootTag;
  std::size_t start = 0;
  while (start <= subkey.size()) {
    std::size_t end = subkey.find(u'\\', start);
    if (end == std::u16string::npos) end = subkey.size();
    if (end == start) {
      if (strict && !subkey.empty()) return std::nullopt;  // an empty component in a section head
    } else {
      name += u'\\';
      name += lf_fold(subkey.substr(start, end - start));
    }
    start = end + 1;
  }
  return name;
}

// The file's lines as UTF-16, without line ends; a line that is not valid UTF-8 is nullopt.
std::vector<std::optional<std::u16string>> lf_fileLines(const std::string& bytes) {
  std::vector<std::optional<std::u16string>> lines;
  const auto byteAt = [&bytes](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
    std::u16string line;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const auto unit = static_cast<char16_t>(byteAt(i) | (byteAt(i + 1) << 8));
      if (unit == u'\n') {
        lines.emplace_back(std::move(line));
        line.clear();
      } else {
        line.push_back(unit);
      }
    }
    lines.emplace_back(std::move(line));
  } else {
    std::size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start <= bytes.size()) {
      std::size_t end = bytes.find('\n', start);
      if (end == std::string::npos) end = bytes.size();
      lines.push_back(utf8ToUtf16(std::string_view(bytes).substr(start, end - start)));
      start = end + 1;
    }
  }
  for (auto& line : lines)
    if (line && !line->empty() && line->back() == u'\r') line->pop_back();
  return lines;
}

std::u16string lf_trim(const std::u16string& s) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  std::size_t b = 0, e = s.size();
  while (b < e && blank(s[b])) ++b;
  while (e > b && blank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool lf_startsWithFolded(const std::u16string& s, std::size_t pos, const std::u16string& upperPrefix) {
  if (s.size() - pos < upperPrefix.size()) return false;
  for (std::size_t i = 0; i < upperPrefix.size(); ++i)
    if (lf_fold(s[pos + i]) != upperPrefix[i]) return false;
  return true;
}

// A quoted text from pos (at the opening quote); only \\ and \" are escapes. Moves pos past the
// closing quote.
std::optional<std::u16string> lf_quoted(const std::u16string& s, std::size_t& pos) {
  if (pos >= s.size() || s[pos] != u'"') return std::nullopt;
  std::u16string out;
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] == u'\\') {
      if (i + 1 >= s.size() || (s[i + 1] != u'\\' && s[i + 1] != u'"')) return std::nullopt;
      out.push_back(s[++i]);
    } else if (s[i] == u'"') {
      pos = i + 1;
      return out;
    } else {
      out.push_back(s[i]);
    }
  }
  return std::nullopt;
}

std::optional<std::u16string> lf_sectionKey(const std::u16string& line) {
  if (line.size() < 2 || line.back() != u']') return std::nullopt;
  const std::u16string inner = line.substr(1, line.size() - 2);
  const std::size_t slash = inner.find(u'\\');
  const std::u16string root = lf_fold(inner.substr(0, slash));
  const std::u16string rest = slash == std::u16string::npos ? std::u16string() : inner.substr(slash + 1);
  std::u16string tag;
  if (root == u"HKEY_LOCAL_MACHINE" || root == u"HKLM")
    tag = u"HKLM";
  else if (root == u"HKEY_CURRENT_USER" || root == u"HKCU")
    tag = u"HKCU";
  else
    return std::nullopt;  // another root, or a key deletion ("[-HKEY_...]")
  if (slash != std::u16string::npos && rest.empty()) return std::nullopt;
  return lf_keyName(tag, rest, true);
}

// A value line applied to the current key; false when it does not parse.
bool lf_applyValue(const std::u16string& line, std::map<std::u16string, Value>& values) {
  std::size_t pos = 0;
  std::u16string name;
  if (line[0] == u'@') {
    pos = 1;
  } else {
    auto quoted = lf_quoted(line, pos);
    if (!quoted) return false;
    name = std::move(*quoted);
  }
  while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t')) ++pos;
  if (pos >= line.size() || line[pos] != u'=') return false;
  ++pos;
  while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t')) ++pos;
  const std::u16string key = lf_fold(name);
  if (pos < line.size() && line[pos] == u'"') {
    auto text = lf_quoted(line, pos);
    if (!text || pos != line.size()) return false;
    values[key] = Value{false, std::move(*text), 0};
    return true;
  }
  if (lf_startsWithFolded(line, pos, u"DWORD:")) {
    const std::u16string digits = line.substr(pos + 6);
    if (digits.empty() || digits.size() > 8) return false;
    std::uint32_t v = 0;
    for (char16_t c : digits) {
      const char16_t u = lf_fold(c);
      std::uint32_t d = 0;
      if (u >= u'0' && u <= u'9')
        d = u - u'0';
      else if (u >= u'A' && u <= u'F')
        d = u - u'A' + 10;
      else
        return false;
      v = (v << 4) | d;
    }
    values[key] = Value{true, {}, v};
    return true;
  }
  if (line.substr(pos) == u"-") {  // the value is deleted
    values.erase(key);
    return true;
  }
  return false;  // binary, expandable and multi-string values are not read
}

Hive lf_parse(const std::string& bytes) {
  Hive hive;
  std::map<std::u16string, Value>* current = nullptr;
  for (const auto& raw : lf_fileLines(bytes)) {
    if (!raw) continue;  // not valid UTF-8
    const std::u16string line = lf_trim(*raw);
    if (line.empty() || line[0] == u';') continue;
    if (line == u"Windows Registry Editor Version 5.00" || line == u"REGEDIT4") continue;
    if (line[0] == u'[') {
      current = nullptr;
      const auto key = lf_sectionKey(line);
      if (!key) continue;
      current = &hive.keys[*key];
      for (std::size_t cut = key->rfind(u'\\'); cut != std::u16string::npos; cut = key->rfind(u'\\', cut - 1)) {
        hive.implied.insert(key->substr(0, cut));
        if (cut == 0) break;
      }
      continue;
    }
    if ((line[0] == u'"' || line[0] == u'@') && current) lf_applyValue(line, *current);
  }
  return hive;
}

// Brings the cache up to date with the file. Called with g_mutex held.
void lf_refresh() {
  const char* env = std::getenv("AMBT_REGISTRY");
  const std::string path = env ? env : "";
  std::error_code ec;
  fs::file_time_type mtime{};
  std::uintmax_t size = 0;
  bool present = !path.empty() && fs::is_regular_file(path, ec);
  if (present) {
    mtime = fs::last_write_time(path, ec);
    if (!ec) size = fs::file_size(path, ec);
    if (ec) present = false;
  }
  if (path == g_cache.path && present == g_cache.present && mtime == g_cache.mtime && size == g_cache.size) return;
  g_cache.path = path;
  g_cache.present = present;
  g_cache.mtime = mtime;
  g_cache.size = size;
  g_cache.hive = Hive{};
  if (!present) return;
  std::ifstream in(path, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  g_cache.hive = lf_parse(bytes);
}

bool lf_keyExists(const std::u16string& name) {
  return name.find(u'\\') == std::u16string::npos  // a root
         || g_cache.hive.keys.count(name) != 0 || g_cache.hive.implied.count(name) != 0;
}

// The value of an open key, or the error to report.
long lf_findValue(RegHandle key, const std::u16string& valueName, const Value*& out) {
  lf_refresh();
  const auto handle = g_handles.find(key);
  if (handle == g_handles.end()) return kErrorInvalidHandle;
  if (!lf_keyExists(handle->second)) return kErrorKeyDeleted;
  const auto values = g_cache.hive.keys.find(handle->second);
  if (values == g_cache.hive.keys.end()) return kErrorFileNotFound;
  const auto value = values->second.find(lf_fold(valueName));
  if (value == values->second.end()) return kErrorFileNotFound;
  out = &value->second;
  return kErrorSuccess;
}

}  // namespace

long regOpenKey(RegRoot root, const std::u16string& subkey, RegHandle& out) {
  std::lock_guard lock(g_mutex);
  out = 0;
  lf_refresh();
  const std::u16string name = *lf_keyName(lf_rootTag(root), subkey, false);
  if (!lf_keyExists(name)) return kErrorFileNotFound;
  out = g_nextHandle++;
  g_handles[out] = name;
  return kErrorSuccess;
}

long regGetString(RegHandle key, const std::u16string& valueName, std::u16string& out) {
  std::lock_guard lock(g_mutex);
  const Value* value = nullptr;
  const long rc = lf_findValue(key, valueName, value);
  if (rc != kErrorSuccess) return rc;
  if (value->isDword) return kErrorUnsupportedType;
  out = value->text;
  return kErrorSuccess;
}

long regGetDword(RegHandle key, const std::u16string& valueName, std::uint32_t& out) {
  std::lock_guard lock(g_mutex);
  const Value* value = nullptr;
  const long rc = lf_findValue(key, valueName, value);
  if (rc != kErrorSuccess) return rc;
  if (!value->isDword) return kErrorUnsupportedType;
  out = value->dword;
  return kErrorSuccess;
}

void regCloseKey(RegHandle key) {
  std::lock_guard lock(g_mutex);
  g_handles.erase(key);
}

}  // namespace amb::platform
