#include "platform/file_names.hpp"
#include "platform/utf8.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <fstream>

namespace amb {
namespace {

namespace fs = std::filesystem;

TEST(ValidUtf8, ValidTextStaysAndOtherBytesAreReadAsWindows1252) {
  EXPECT_EQ(platform::toValidUtf8("A320 British Airways"), "A320 British Airways");
  EXPECT_EQ(platform::toValidUtf8("Aer\xC3\xB3" "dromo"), "Aer\xC3\xB3" "dromo");  // UTF-8 already
  // Windows-1252: é (E9), the euro sign (80), curly quotes (93 94), and an undefined byte (81).
  EXPECT_EQ(platform::toValidUtf8("Caf\xE9 \x80\x93x\x94"),
            "Caf\xC3\xA9 \xE2\x82\xAC\xE2\x80\x9Cx\xE2\x80\x9D");
  EXPECT_EQ(platform::toValidUtf8("\x81"), "\xEF\xBF\xBD");
  // One stray byte makes the whole text Windows-1252, also the bytes that looked like UTF-8.
  EXPECT_EQ(platform::toValidUtf8("\xC3\xB3\xE9"), "\xC3\x83\xC2\xB3\xC3\xA9");
  // A UTF-8 sequence cut in two is not valid.
  EXPECT_FALSE(platform::isValidUtf8("ab\xE2\x82"));
  std::string four;
  platform::appendUtf8(four, 0x1F600);
  EXPECT_EQ(four, "\xF0\x9F\x98\x80");
}

TEST(FileNames, FoundWithoutRegardToTheLetterCase) {
  test::TempDir dir;
  fs::create_directories(dir / "Model");
  std::ofstream(dir / "A320.AIR") << "x";
  EXPECT_EQ(platform::findIgnoringCase(dir.path(), "Model"), dir / "Model");
  EXPECT_EQ(platform::findIgnoringCase(dir.path(), "a320.air").value().filename(), "A320.AIR");
#ifndef _WIN32
  EXPECT_EQ(platform::findIgnoringCase(dir.path(), "MODEL").value().filename(), "Model");
#endif
  EXPECT_FALSE(platform::findIgnoringCase(dir.path(), "texture"));
  EXPECT_FALSE(platform::findIgnoringCase(dir / "missing", "model"));
}

}  // namespace
}  // namespace amb
