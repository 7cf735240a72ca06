#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::readLines;
using test::ScopedCwd;
using test::TempDir;
using test::writeFile;

// ---------------------------------------------------------------------------------------------
// The strict codec

struct ValidPair {
  const char* name;
  std::string utf8;
  std::u16string utf16;
};

TEST(Codec, ValidTextRoundTripsBothWays) {
  const ValidPair cases[] = {
      {"ascii", "abc", u"abc"},
      {"nul inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
      {"U+0080", "\xC2\x80", u"\u0080"},
      {"U+00E9", "\xC3\xA9", u"\u00E9"},
      {"U+07FF", "\xDF\xBF", u"\u07FF"},
      {"U+0800", "\xE0\xA0\x80", u"\u0800"},
      {"euro", "\xE2\x82\xAC", u"\u20AC"},
      {"U+D7FF", "\xED\x9F\xBF", u"\uD7FF"},
      {"U+E000", "\xEE\x80\x80", u"\uE000"},
      {"U+FFFF", "\xEF\xBF\xBF", u"\uFFFF"},
      {"U+10000", "\xF0\x90\x80\x80", std::u16string{0xD800, 0xDC00}},
      {"emoji", "\xF0\x9F\x98\x80", std::u16string{0xD83D, 0xDE00}},
      {"U+10FFFF", "\xF4\x8F\xBF\xBF", std::u16string{0xDBFF, 0xDFFF}},
      {"mixed", "Z\xC3\xBCrich \xE2\x82\xAC\xF0\x9F\x98\x80.", u"Z\u00FCrich \u20AC\U0001F600."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gf_utf8ToUtf16(c.utf8), c.utf16) << c.name;
    EXPECT_EQ(gf_utf16ToUtf8(c.utf16), c.utf8) << c.name;
  }
  EXPECT_EQ(gf_utf8ToUtf16(""), u"");
  EXPECT_EQ(gf_utf16ToUtf8(u""), "");
}

TEST(Codec, EveryInvalidUtf8FormThrows1113) {
  const std::pair<const char*, std::string> cases[] = {
      {"bad continuation", "\xC3\x28"},
      {"lone continuation", "\x80"},
      {"continuation after ascii", "a\xBF"},
      {"overlong nul", "\xC0\x80"},
      {"overlong C1", "\xC1\xBF"},
      {"overlong 3-byte", "\xE0\x80\x80"},
      {"overlong U+07FF in 3 bytes", "\xE0\x9F\xBF"},
      {"overlong 4-byte", "\xF0\x80\x80\x80"},
      {"overlong U+FFFF in 4 bytes", "\xF0\x8F\xBF\xBF"},
      {"high surrogate", "\xED\xA0\x80"},
      {"low surrogate", "\xED\xBF\xBF"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
      {"lead F5", "\xF5\x80\x80\x80"},
      {"lead FE", "\xFE"},
      {"lead FF", "\xFF"},
      {"truncated 2-byte", "ab\xC3"},
      {"truncated 3-byte", "\xE2\x82"},
      {"truncated 4-byte", "\xF0\x9F\x98"},
      {"bad third byte", "\xE2\x82\x41"},
  };
  for (const auto& [name, bytes] : cases) {
    try {
      gf_utf8ToUtf16(bytes);
      ADD_FAILURE() << name << ": no exception";
    } catch (const win32::Utf8ConversionException& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.") << name;
      EXPECT_EQ(e.errorCode(), 1113u) << name;
      EXPECT_EQ(e.direction(), 0u) << name;
    }
  }
}

TEST(Codec, EveryBrokenSurrogateThrows1113) {
  const std::pair<const char*, std::u16string> cases[] = {
      {"high at the end", std::u16string{u'a', 0xD800}},
      {"high before a letter", std::u16string{0xD800, u'A'}},
      {"lone low", std::u16string{0xDC00}},
      {"pair reversed", std::u16string{0xDC00, 0xD800}},
      {"two highs", std::u16string{0xD800, 0xD800, 0xDC00}},
  };
  for (const auto& [name, wide] : cases) {
    try {
      gf_utf16ToUtf8(wide);
      ADD_FAILURE() << name << ": no exception";
    } catch (const win32::Utf8ConversionException& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.") << name;
      EXPECT_EQ(e.errorCode(), 1113u) << name;
      EXPECT_EQ(e.direction(), 1u) << name;
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Encodings of real byte files

std::string utf16le(const std::u16string& s, bool bom = true) {
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::string utf16be(const std::u16string& s, bool bom = true) {
  std::string out = bom ? "\xFE\xFF" : "";
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c >> 8));
    out.push_back(static_cast<char>(c & 0xFF));
  }
  return out;
}

struct EncodingCase {
  const char* name;
  std::string bytes;
  int encoding;
  std::vector<std::string> lines;
};

TEST(TextFiles, EncodingsAreDetectedAndReadAsUtf8Lines) {
  TempDir dir;
  const EncodingCase cases[] = {
      {"empty", "", Ansi, {}},
      {"one byte", "x", Ansi, {"x"}},
      {"lone FF", "\xFF", Ansi, {"\xFF"}},
      {"ansi bytes kept", "caf\xE9\nb", Ansi, {"caf\xE9", "b"}},
      {"crlf folded, lone cr kept", "a\r\nb\rc\r\n\r\nd", Ansi, {"a", "b\rc", "", "d"}},
      {"utf8 without mark", "\xC3\xA9t\xC3\xA9\n", Ansi, {"\xC3\xA9t\xC3\xA9"}},
      {"utf8 with mark", "\xEF\xBB\xBFname=x\r\nnext\n", Utf8WithBom, {"name=x", "next"}},
      {"utf8 mark only", "\xEF\xBB\xBF", Utf8WithBom, {""}},
      {"EF BB without BF keeps its text", "\xEF\xBB\x41x\n", Utf8WithBom, {"\xEF\xBB\x41x"}},
      {"utf16le crlf", utf16le(u"[fltsim.0]\r\ntitle=Z\u00FCrich \u20AC\r\n"), Unicode,
       {"[fltsim.0]", "title=Z\xC3\xBCrich \xE2\x82\xAC"}},
      {"utf16le pair and empty lines", utf16le(u"a\n\n\U0001F600\r\nlast"), Unicode,
       {"a", "", "\xF0\x9F\x98\x80", "last"}},
      {"utf16le only a cr", utf16le(u"\r\nx"), Unicode, {"", "x"}},
      {"utf16be", utf16be(u"A\u00E9\r\nB\n"), UnicodeBigEndian, {"A\xC3\xA9", "B"}},
      {"utf16le inner mark stays", utf16le(u"a\uFEFFb"), Unicode, {"a\xEF\xBB\xBF" "b"}},
  };
  int n = 0;
  for (const auto& c : cases) {
    const fs::path p = dir / ("f" + std::to_string(n++) + ".txt");
    writeFile(p, c.bytes);
    EXPECT_EQ(gf_detectEncoding(p), c.encoding) << c.name;
    std::vector<std::string> lines;
    EXPECT_TRUE(gf_readTextFileLines(p, lines)) << c.name;
    EXPECT_EQ(lines, c.lines) << c.name;
  }
}

TEST(TextFiles, LinesAlreadyThereStayInFront) {
  TempDir dir;
  writeFile(dir / "a.txt", utf16le(u"two\r\nthree"));
  writeFile(dir / "b.txt", "\xEF\xBB\xBF" "four");
  std::vector<std::string> lines{"one"};
  ASSERT_TRUE(gf_readTextFileLines(dir / "a.txt", lines));
  ASSERT_TRUE(gf_readTextFileLines(dir / "b.txt", lines));
  // The mark is taken from the first line this file gave, not from the first line of the vector.
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "three", "four"}));
}

TEST(TextFiles, BrokenUtf16ShowsTheConversionErrorAndGivesFalse) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  gf_startLog();
  gf_clearError();
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> kept;
  };
  const Case cases[] = {
      {"lone high surrogate", utf16le(std::u16string{u'o', u'k', u'\n', 0xD800, u'x'}), {"ok"}},
      {"lone low surrogate big-endian", utf16be(std::u16string{0xDC00}), {}},
      {"odd trailing byte", utf16le(u"ab\n") + "c", {"ab"}},
  };
  for (const auto& c : cases) {
    gf_clearMessage();
    writeFile(dir / "bad.txt", c.bytes);
    std::vector<std::string> lines;
    EXPECT_FALSE(gf_readTextFileLines(dir / "bad.txt", lines)) << c.name;
    EXPECT_EQ(lines, c.kept) << c.name;
    EXPECT_EQ(gf_messageLineSnapshot().message, "conversion from error from utf16 to utf8, code: 1113") << c.name;
  }
  gf_closeLog("end");
  const std::string log = readFile(dir / "Log.txt");
  EXPECT_NE(log.find("\nconversion from error from utf16 to utf8, code: 1113\n"), std::string::npos);
}

TEST(TextFiles, MissingFileOrFolderIsLoggedWithTheSystemError) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  gf_startLog();
  fs::create_directory(dir / "folder");
  std::vector<std::string> lines;
  EXPECT_EQ(gf_detectEncoding(dir / "missing.txt"), NoneFound);
  EXPECT_FALSE(gf_readTextFileLines(dir / "missing.txt", lines));
  EXPECT_EQ(gf_detectEncoding(dir / "folder"), NoneFound);
  EXPECT_FALSE(gf_readTextFileLines(dir / "folder", lines));
  EXPECT_TRUE(lines.empty());
  // Read directly, without detection, the missing file is false for every encoding.
  for (int enc : {Ansi, Unicode, UnicodeBigEndian, Utf8WithBom})
    EXPECT_FALSE(gf_readExtTextFileToStringVector(enc, dir / "missing.txt", lines)) << enc;
  gf_closeLog("end");
  const auto log = readLines(dir / "Log.txt");
  const std::string missing =
      "cannot open file " + gf_pathText(dir / "missing.txt") + " for character encoding, err: 2";
  const std::string folder = "cannot open file " + gf_pathText(dir / "folder") + " for character encoding, err: 21";
  EXPECT_EQ(std::count(log.begin(), log.end(), missing), 2);
  EXPECT_EQ(std::count(log.begin(), log.end(), folder), 2);
}

// ---------------------------------------------------------------------------------------------
// Whole files

TEST(WholeFiles, WriteAndReadBack) {
  TempDir dir;
  const fs::path p = dir / "out.txt";
  ASSERT_TRUE(gf_writeStringToFile("abc", p, false));
  EXPECT_EQ(readFile(p), "abc");
  ASSERT_TRUE(gf_writeStringToFile("x", p, true));
  EXPECT_EQ(readFile(p), "x\n");  // an existing file is replaced
  ASSERT_TRUE(gf_writeLinesToFile({"one", "", "three"}, p));
  EXPECT_EQ(readFile(p), "one\n\nthree\n");
  ASSERT_TRUE(gf_writeLinesToFile({}, p));
  EXPECT_EQ(readFile(p), "");

  EXPECT_FALSE(gf_writeStringToFile("abc", dir / "no" / "such" / "folder.txt", true));
  EXPECT_FALSE(gf_writeLinesToFile({"a"}, dir / "no" / "such" / "folder.txt"));
}

TEST(WholeFiles, AFailedWriteIsNotReportedAsSuccess) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  EXPECT_FALSE(gf_writeStringToFile(std::string(1 << 16, 'x'), "/dev/full", true));
  EXPECT_FALSE(gf_writeLinesToFile(std::vector<std::string>(10000, "line"), "/dev/full"));
}

TEST(WholeFiles, ReadFileLinesGivesNullForMissingOrEmptyFiles) {
  TempDir dir;
  writeFile(dir / "empty.txt", "");
  writeFile(dir / "two.txt", "a\r\nb");
  FileLines missing{dir / "missing.txt", {}};
  FileLines empty{dir / "empty.txt", {}};
  FileLines two{dir / "two.txt", {}};
  EXPECT_EQ(gf_readFileLines(missing, 10), nullptr);
  EXPECT_EQ(gf_readFileLines(empty, 10), nullptr);
  EXPECT_EQ(gf_readFileLines(two, -1), &two.lines);
  EXPECT_EQ(two.lines, (std::vector<std::string>{"a", "b"}));
}

TEST(WholeFiles, ReadLinesIntoListsAndClearTheStream) {
  std::istringstream in("a\r\nb\n\nc");
  auto lines = gf_readLines(in);
  EXPECT_EQ(lines, (std::list<std::string>{"a", "b", "", "c"}));
  EXPECT_TRUE(in.good());

  TempDir dir;
  writeFile(dir / "f.txt", "x\ny\n");
  FileReader reader;
  ASSERT_TRUE(reader.open(dir / "f.txt"));
  std::list<std::string> list{"first"};
  gf_readLines(reader, list);
  EXPECT_EQ(list, (std::list<std::string>{"first", "x", "y"}));
  EXPECT_TRUE(reader.stream().good());

  FileReader none;
  EXPECT_FALSE(none.open(dir / "missing"));
  EXPECT_FALSE(none.open(dir.path()));  // a folder is not a file
  FileWriter writer;
  EXPECT_FALSE(writer.open(dir.path()));
  WideFileReader wide;
  EXPECT_FALSE(wide.open(dir.path()));
}

TEST(WholeFiles, RemoveFileIfExists) {
  TempDir dir;
  writeFile(dir / "f.txt", "x");
  EXPECT_EQ(gf_removeFileIfExists(dir / "f.txt"), 1);
  EXPECT_FALSE(fs::exists(dir / "f.txt"));
  EXPECT_EQ(gf_removeFileIfExists(dir / "f.txt"), 1);
  writeFile(dir / "full" / "inside.txt", "x");
  try {
    gf_removeFileIfExists(dir / "full");
    ADD_FAILURE() << "removing a folder that is not empty must throw";
  } catch (const fs::filesystem_error& e) {
    EXPECT_NE(std::string(e.what()).find("remove"), std::string::npos) << e.what();
  }
  EXPECT_TRUE(fs::exists(dir / "full" / "inside.txt"));
}

TEST(WholeFiles, RotateBackupsKeepsTwoEarlierCopies) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  writeFile("noext", "x");
  gf_rotateBackups("noext");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  gf_rotateBackups("a.b.txt");  // nothing there yet: nothing happens
  EXPECT_FALSE(fs::exists("a.b0.txt"));
  for (const char* content : {"run1", "run2", "run3"}) {
    gf_rotateBackups("a.b.txt");
    writeFile("a.b.txt", content);
  }
  EXPECT_EQ(readFile("a.b.txt"), "run3");
  EXPECT_EQ(readFile("a.b0.txt"), "run2");
  EXPECT_EQ(readFile("a.b00.txt"), "run1");
  EXPECT_FALSE(fs::exists("a0.b.txt"));

  // A backup that cannot be written throws the copy's error and leaves the file itself alone.
  fs::create_directory("c0.txt");
  writeFile("c.txt", "keep");
  EXPECT_THROW(gf_rotateBackups("c.txt"), fs::filesystem_error);
  EXPECT_EQ(readFile("c.txt"), "keep");
}

}  // namespace
}  // namespace amb
