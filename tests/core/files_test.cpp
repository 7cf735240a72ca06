#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::readLines;
using test::ScopedCwd;
using test::TempDir;
using test::writeFile;

TEST(Codec, ValidTextRoundTripsBothWays) {
  const std::pair<std::string, std::u16string> cases[] = {
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)}, {"\xC2\x80", u"\u0080"}, {"\xDF\xBF", u"\u07FF"},
      {"\xE0\xA0\x80", u"\u0800"}, {"\xED\x9F\xBF", u"\uD7FF"}, {"\xEE\x80\x80", u"\uE000"},
      {"\xEF\xBF\xBF", u"\uFFFF"}, {"\xF0\x90\x80\x80", {0xD800, 0xDC00}}, {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}},
      {"Z\xC3\xBC \xE2\x82\xAC\xF0\x9F\x98\x80", u"Z\u00FC \u20AC\U0001F600"}, {"", u""}};
  for (const auto& [utf8, utf16] : cases) {
    EXPECT_EQ(gf_utf8ToUtf16(utf8), utf16) << utf8;
    EXPECT_EQ(gf_utf16ToUtf8(utf16), utf8) << utf8;
  }
}

TEST(Codec, EveryInvalidFormThrows1113) {
  // Bad continuations, overlong forms, surrogates, beyond U+10FFFF, bad leads, truncations.
  for (const char* bytes : {"\xC3\x28", "\x80", "a\xBF", "\xC0\x80", "\xC1\xBF", "\xE0\x80\x80", "\xE0\x9F\xBF",
                                  "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80", "\xED\xBF\xBF",
                                  "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFE", "\xFF", "ab\xC3", "\xE2\x82",
                                  "\xF0\x9F\x98", "\xE2\x82\x41"}) {
    try {
      gf_utf8ToUtf16(bytes);
      ADD_FAILURE() << "accepted " << bytes;
    } catch (const win32::Utf8ConversionException& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.");
      EXPECT_EQ(e.errorCode() * 10 + e.direction(), 11130u) << bytes;
    }
  }
  // Lone high (at the end or before a letter), lone low, a reversed pair, two highs.
  for (const std::u16string& wide : {std::u16string{u'a', 0xD800}, {0xD800, u'A'}, {0xDC00}, {0xDC00, 0xD800},
                                    {0xD800, 0xD800, 0xDC00}}) {
    try {
      gf_utf16ToUtf8(wide);
      ADD_FAILURE() << "accepted a broken surrogate";
    } catch (const win32::Utf8ConversionException& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.");
      EXPECT_EQ(e.errorCode() * 10 + e.direction(), 11131u);
    }
  }
}

std::string utf16(const std::u16string& s, bool little, const char* mark) {
  std::string out = mark;
  for (char16_t c : s) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += little ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}
std::string le(const std::u16string& s) { return utf16(s, true, "\xFF\xFE"); }
std::string be(const std::u16string& s) { return utf16(s, false, "\xFE\xFF"); }

TEST(TextFiles, EncodingsAreDetectedAndReadAsUtf8Lines) {
  TempDir dir;
  struct Case {
    std::string bytes;
    int encoding;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", Ansi, {}},
      {"\xFF", Ansi, {"\xFF"}},
      {"caf\xE9\r\nb\rc\r\n\r\nd", Ansi, {"caf\xE9", "b\rc", "", "d"}},  // CR LF folds, a lone CR stays
      {"\xEF\xBB\xBFname=x\r\nnext\n", Utf8WithBom, {"name=x", "next"}},
      {"\xEF\xBB\x41x\n", Utf8WithBom, {"\xEF\xBB\x41x"}},  // no complete mark: nothing is cut
      {le(u"[fltsim.0]\r\ntitle=Z\u00FCrich \u20AC\r\n"), Unicode, {"[fltsim.0]", "title=Z\xC3\xBCrich \xE2\x82\xAC"}},
      {le(u"a\n\n\U0001F600\r\n\r\nlast"), Unicode, {"a", "", "\xF0\x9F\x98\x80", "", "last"}},
      {be(u"A\u00E9\r\nB\n"), UnicodeBigEndian, {"A\xC3\xA9", "B"}},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const fs::path p = dir / (std::to_string(i) + ".txt");
    writeFile(p, cases[i].bytes);
    EXPECT_EQ(gf_detectEncoding(p), cases[i].encoding) << i;
    std::vector<std::string> lines{"kept"};
    EXPECT_TRUE(gf_readTextFileLines(p, lines)) << i;
    EXPECT_EQ(lines.front(), "kept");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), cases[i].lines) << i;
  }
}

TEST(TextFiles, BrokenUtf16IsShownAndGivesFalse) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  gf_startLog();
  gf_clearError();
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {le({u'o', u'k', u'\n', 0xD800, u'x'}), {"ok"}},  // the lines before the fault stay
      {be({0xDC00}), {}},
      {le(u"ab\n") + "c", {"ab"}},  // half a unit at the end
  };
  for (const auto& [bytes, kept] : cases) {
    gf_clearMessage();
    writeFile(dir / "bad.txt", bytes);
    std::vector<std::string> lines;
    EXPECT_FALSE(gf_readTextFileLines(dir / "bad.txt", lines));
    EXPECT_EQ(lines, kept);
    EXPECT_EQ(gf_messageLineSnapshot().message, "conversion from error from utf16 to utf8, code: 1113");
  }
  // A missing file and a folder: the system's error is logged and nothing is read.
  fs::create_directory(dir / "folder");
  std::vector<std::string> lines;
  EXPECT_FALSE(gf_readTextFileLines(dir / "missing.txt", lines));
  EXPECT_EQ(gf_detectEncoding(dir / "folder"), NoneFound);
  for (int enc : {Ansi, Unicode, Utf8WithBom})
    EXPECT_FALSE(gf_readExtTextFileToStringVector(enc, dir / "folder", lines)) << enc;
  EXPECT_TRUE(lines.empty());
  gf_closeLog("end");
  const auto log = readLines(dir / "Log.txt");
  const auto has = [&log](const std::string& line) { return std::find(log.begin(), log.end(), line) != log.end(); };
  EXPECT_TRUE(has("conversion from error from utf16 to utf8, code: 1113"));
  EXPECT_TRUE(has("cannot open file " + gf_pathText(dir / "missing.txt") + " for character encoding, err: 2"));
#ifdef _WIN32
  const std::string folderErr = "13";  // EACCES: Windows refuses to open a folder as a file
#else
  const std::string folderErr = "21";  // EISDIR
#endif
  EXPECT_TRUE(has("cannot open file " + gf_pathText(dir / "folder") + " for character encoding, err: " + folderErr));
}

TEST(WholeFiles, WriteReadAndFailures) {
  TempDir dir;
  const fs::path p = dir / "out.txt";
  ASSERT_TRUE(gf_writeStringToFile("abc", p, false));
  EXPECT_EQ(readFile(p), "abc");
  ASSERT_TRUE(gf_writeLinesToFile({"one", "", "three"}, p));
#ifdef _WIN32
  EXPECT_EQ(readFile(p), "one\r\n\r\nthree\r\n");  // text mode, as Windows programs write lines
#else
  EXPECT_EQ(readFile(p), "one\n\nthree\n");
#endif
  EXPECT_FALSE(gf_writeStringToFile("abc", dir / "no" / "f.txt", true));
  if (fs::exists("/dev/full")) {  // a full disk is a failure, not a success
    EXPECT_FALSE(gf_writeStringToFile(std::string(1 << 16, 'x'), "/dev/full", true));
    EXPECT_FALSE(gf_writeLinesToFile(std::vector<std::string>(10000, "line"), "/dev/full"));
  }

  writeFile(dir / "empty.txt", "");
  FileLines missing{dir / "missing.txt", {}}, empty{dir / "empty.txt", {}}, two{p, {}};
  EXPECT_EQ(gf_readFileLines(missing, 10), nullptr);
  EXPECT_EQ(gf_readFileLines(empty, 10), nullptr);
  EXPECT_EQ(gf_readFileLines(two, -1), &two.lines);
  EXPECT_EQ(two.lines.size(), 3u);

  std::istringstream in("a\r\nb\n\nc");
  EXPECT_EQ(gf_readLines(in), (std::list<std::string>{"a", "b", "", "c"}));
  EXPECT_TRUE(in.good());
}

TEST(WholeFiles, RemoveAndRotate) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  writeFile("f.txt", "x");
  EXPECT_EQ(gf_removeFileIfExists("f.txt"), 1);
  EXPECT_EQ(gf_removeFileIfExists("f.txt"), 1);
  writeFile(fs::path("full") / "inside.txt", "x");
  EXPECT_THROW(gf_removeFileIfExists("full"), fs::filesystem_error);

  writeFile("noext", "x");
  gf_rotateBackups("noext");
  EXPECT_FALSE(fs::exists("noext0"));
  for (const char* content : {"run1", "run2", "run3"}) {
    gf_rotateBackups("a.b.txt");
    writeFile("a.b.txt", content);
  }
  EXPECT_EQ(readFile("a.b0.txt"), "run2");
  EXPECT_EQ(readFile("a.b00.txt"), "run1");
  EXPECT_EQ(readFile("a.b.txt"), "run3");
}

}  // namespace
}  // namespace amb
