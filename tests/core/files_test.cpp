#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(Codec, ValidTextRoundTripsAndEveryInvalidFormThrows1113) {
  const std::pair<std::string, std::u16string> valid[] = {
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3)}, {"\xC2\x80", u"\u0080"}, {"\xED\x9F\xBF", u"\uD7FF"},
      {"\xF4\x8F\xBF\xBF", {0xDBFF, 0xDFFF}}, {"Z\xC3\xBC \xE2\x82\xAC\xF0\x9F\x98\x80", u"Z\u00FC \u20AC\U0001F600"}};
  for (const auto& [utf8, utf16] : valid) {
    EXPECT_EQ(gf_utf8ToUtf16(utf8), utf16) << utf8;
    EXPECT_EQ(gf_utf16ToUtf8(utf16), utf8) << utf8;
  }
  // Bad continuations, overlong forms, surrogates, beyond U+10FFFF, bad leads, truncations.
  for (const char* bytes : {"\xC3\x28", "a\xBF", "\xC0\x80", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80",
                            "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xFF", "ab\xC3", "\xF0\x9F\x98"}) {
    try {
      gf_utf8ToUtf16(bytes);
      ADD_FAILURE() << "accepted " << bytes;
    } catch (const win32::Utf8ConversionException& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.");
      EXPECT_EQ(e.errorCode() * 10 + e.direction(), 11130u) << bytes;
    }
  }
  // Lone high (at the end or before a letter), lone low, a reversed pair.
  for (const std::u16string& wide : {std::u16string{u'a', 0xD800}, {0xD800, u'A'}, {0xDC00}, {0xDC00, 0xD800}}) {
    try {
      gf_utf16ToUtf8(wide);
      ADD_FAILURE() << "accepted a broken surrogate";
    } catch (const win32::Utf8ConversionException& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.");
      EXPECT_EQ(e.errorCode() * 10 + e.direction(), 11131u);
    }
  }
}

std::string utf16(const std::u16string& s, bool little = true) {
  std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t c : s) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += little ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}

TEST(TextFiles, EncodingsAreDetectedAndReadAsUtf8Lines) {
  TempDir dir;
  const std::tuple<std::string, int, std::vector<std::string>> cases[] = {
      {"", Ansi, {}},
      {"caf\xE9\r\nb\rc\r\n\r\nd", Ansi, {"caf\xE9", "b\rc", "", "d"}},  // CR LF folds, a lone CR stays
      {"\xEF\xBB\xBFname=x\r\nnext\n", Utf8WithBom, {"name=x", "next"}},
      {"\xEF\xBB\x41x\n", Utf8WithBom, {"\xEF\xBB\x41x"}},  // no complete mark: nothing is cut
      // A Ctrl-Z byte is text like any other, on every platform: nothing after it is lost.
      {"a\x1A" "b\r\nc\x1A\r\n\x1A", Ansi, {"a\x1A" "b", "c\x1A", "\x1A"}},
      {"\xEF\xBB\xBFx\x1Ay\nz", Utf8WithBom, {"x\x1Ay", "z"}},
      {utf16(u"title=Z\u00FCrich\r\n\n\U0001F600\r\nlast"), Unicode, {"title=Z\xC3\xBCrich", "", "\xF0\x9F\x98\x80", "last"}},
      {utf16(u"A\u00E9\r\nB\n", false), UnicodeBigEndian, {"A\xC3\xA9", "B"}},
  };
  for (const auto& [bytes, encoding, expected] : cases) {
    writeFile(dir / "f.txt", bytes);
    EXPECT_EQ(gf_detectEncoding(dir / "f.txt"), encoding) << bytes;
    std::vector<std::string> lines{"kept"};
    EXPECT_TRUE(gf_readTextFileLines(dir / "f.txt", lines)) << bytes;
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), expected) << bytes;
  }
}

TEST(TextFiles, BrokenOrUnreadableFilesAreShownOrLoggedAndGiveFalse) {
  TempDir dir;
  test::ScopedCwd cwd(dir.path());
  gf_startLog();
  gf_clearError();  // an error shown would hide the messages
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {utf16({u'o', u'k', u'\n', 0xD800, u'x'}), {"ok"}},  // the lines before the fault stay
      {utf16(u"ab\n") + "c", {"ab"}}};                     // half a unit at the end
  for (const auto& [bytes, kept] : cases) {
    gf_clearMessage();
    writeFile(dir / "bad.txt", bytes);
    std::vector<std::string> lines;
    EXPECT_FALSE(gf_readTextFileLines(dir / "bad.txt", lines));
    EXPECT_EQ(lines, kept);
    EXPECT_EQ(gf_messageLineSnapshot().message, "conversion from error from utf16 to utf8, code: 1113");
  }
  fs::create_directory(dir / "folder");
  std::vector<std::string> lines;
  EXPECT_FALSE(gf_readTextFileLines(dir / "missing.txt", lines));
  EXPECT_EQ(gf_detectEncoding(dir / "folder"), NoneFound);
  for (int enc : {Ansi, Unicode, Utf8WithBom}) EXPECT_FALSE(gf_readExtTextFileToStringVector(enc, dir / "folder", lines));
  EXPECT_TRUE(lines.empty());
  gf_closeLog("end");
  const auto log = test::readLines(dir / "Log.txt");
  EXPECT_EQ(std::ranges::count(log, "cannot open file " + gf_pathText(dir / "missing.txt") + " for character encoding, err: 2"), 1);
  const std::string folder = "cannot open file " + gf_pathText(dir / "folder") + " for character encoding, err: ";
  EXPECT_TRUE(std::ranges::any_of(log, [&](const std::string& l) { return l.starts_with(folder); }));
}

TEST(WholeFiles, WriteReadRemoveAndRotate) {
  TempDir dir;
  test::ScopedCwd cwd(dir.path());
  ASSERT_TRUE(gf_writeLinesToFile({"one", "", "three"}, "out.txt"));
#ifdef _WIN32
  EXPECT_EQ(readFile("out.txt"), "one\r\n\r\nthree\r\n");  // text mode, as Windows programs write lines
#else
  EXPECT_EQ(readFile("out.txt"), "one\n\nthree\n");
#endif
  if (fs::exists("/dev/full")) {  // a full disk is a failure, not a success
    EXPECT_FALSE(gf_writeStringToFile(std::string(1 << 16, 'x'), "/dev/full", true));
  }
  FileLines missing{"missing.txt", {}}, three{"out.txt", {}};
  EXPECT_EQ(gf_readFileLines(missing, 10), nullptr);
  EXPECT_EQ(gf_readFileLines(three, -1), &three.lines);
  EXPECT_EQ(three.lines.size(), 3u);
  std::istringstream in("a\r\nb\n\nc");
  EXPECT_EQ(gf_readLines(in), (std::list<std::string>{"a", "b", "", "c"}));

  EXPECT_EQ(gf_removeFileIfExists("out.txt") + gf_removeFileIfExists("out.txt"), 2);
  writeFile(fs::path("full") / "inside.txt", "x");
  EXPECT_THROW(gf_removeFileIfExists("full"), fs::filesystem_error);
  for (const char* content : {"run1", "run2", "run3"}) {
    gf_rotateBackups("a.b.txt");
    writeFile("a.b.txt", content);
  }
  EXPECT_EQ(readFile("a.b0.txt") + readFile("a.b00.txt"), "run2run1");
}

TEST(WholeFiles, AnAtomicWriteThatFailsKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  test::ScopedCwd cwd(dir.path());
  ASSERT_TRUE(gf_writeFileAtomic("learned.xml", std::string_view("old content")));
  EXPECT_EQ(readFile("learned.xml"), "old content");

  // A writer that fails half-way (a full disk) or throws leaves the old file whole.
  EXPECT_FALSE(gf_writeFileAtomic("learned.xml", [](std::ostream& out) {
    out << "half a new";
    return false;
  }));
  EXPECT_FALSE(gf_writeFileAtomic("learned.xml", [](std::ostream& out) -> bool {
    out << "half a new";
    throw std::runtime_error("disk gone");
  }));
  EXPECT_EQ(readFile("learned.xml"), "old content");
  EXPECT_FALSE(fs::exists(gf_atomicTempPath("learned.xml")));

  // A folder that does not exist cannot be written: false, nothing created.
  EXPECT_FALSE(gf_writeFileAtomic(fs::path("nowhere") / "x.xml", std::string_view("x")));
  EXPECT_FALSE(fs::exists("nowhere"));

  ASSERT_TRUE(gf_writeFileAtomic("learned.xml", std::string_view("new content")));
  EXPECT_EQ(readFile("learned.xml"), "new content");
  EXPECT_FALSE(fs::exists(gf_atomicTempPath("learned.xml")));
}

}  // namespace
}  // namespace amb
