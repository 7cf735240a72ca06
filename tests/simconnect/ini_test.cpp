// "SimConnect.cfg" is read with the rules of the Windows private-profile functions.

#include "platform/ini.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb::test {
namespace {

using platform::iniGetString;
using platform::iniSectionExists;

TEST(Ini, SectionsAndKeysFollowTheProfileRules) {
  TempDir dir;
  const auto f = dir / "SimConnect.cfg";
  writeFile(f,
            "; a comment before any section\r\n"
            "[SimConnect]\r\n"
            "  Protocol = IPv4  \r\n"
            "address=\"127.0.0.1\"\r\n"
            ";Port=1\r\n"
            "Port=500\r\n"
            "Port=600\r\n"
            "Empty=\r\n"
            "[Empty]\r\n"
            "; nothing but comments\r\n"
            "\r\n"
            "[ simconnect.1 ]\n"
            "Address='host one'\n"
            "[SIMCONNECT]\n"
            "Extra=from the second section of the same name\n");
  struct Case {
    const char* section;
    const char* key;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"SimConnect", "Protocol", "IPv4"},          // blanks around key and value
      {"simconnect", "PROTOCOL", "IPv4"},          // any case
      {"SimConnect", "Address", "127.0.0.1"},      // one pair of quotes taken off
      {"SimConnect", "Port", "500"},               // the first of repeated keys
      {"SimConnect", "Empty", ""},                 // present but empty
      {"SimConnect", "Missing", std::nullopt},
      {"SimConnect", "Extra", std::nullopt},       // only the first section of a name counts
      {"SimConnect.1", "Address", "host one"},
      {"Nowhere", "Port", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(iniGetString(f, c.section, c.key), c.value) << c.section << "/" << c.key;
  EXPECT_TRUE(iniSectionExists(f, "SimConnect"));
  EXPECT_TRUE(iniSectionExists(f, "SIMCONNECT.1"));
  EXPECT_FALSE(iniSectionExists(f, "Empty"));  // no entries: counts as missing
  EXPECT_FALSE(iniSectionExists(f, "Nowhere"));
  EXPECT_FALSE(iniSectionExists(dir / "missing.cfg", "SimConnect"));
  EXPECT_EQ(iniGetString(dir / "missing.cfg", "SimConnect", "Port"), std::nullopt);
}

TEST(Ini, EncodingsAndLengthLimit) {
  TempDir dir;
  // UTF-16 little-endian with its byte-order mark, as Windows editors save it.
  std::string utf16 = "\xFF\xFE";
  const std::u16string text = u"[SimConnect]\r\nAddress=h\u00e9te\r\n";
  for (char16_t u : text) {
    utf16 += static_cast<char>(u & 0xFF);
    utf16 += static_cast<char>(u >> 8);
  }
  writeFile(dir / "a.cfg", utf16);
  EXPECT_EQ(iniGetString(dir / "a.cfg", "SimConnect", "Address"), "h\xC3\xA9te");
  writeFile(dir / "b.cfg", "\xEF\xBB\xBF[SimConnect]\nPort=7\n");
  EXPECT_EQ(iniGetString(dir / "b.cfg", "SimConnect", "Port"), "7");
  // A buffer of n characters holds n - 1 of the value.
  writeFile(dir / "c.cfg", "[S]\nK=" + std::string(3000, 'a') + "\nU=\xC3\xA9\xC3\xA9\xC3\xA9\n");
  EXPECT_EQ(iniGetString(dir / "c.cfg", "S", "K")->size(), 2047u);
#ifndef _WIN32
  // Windows reads a file without byte-order mark in the ANSI code page.
  EXPECT_EQ(iniGetString(dir / "c.cfg", "S", "U", 3), "\xC3\xA9\xC3\xA9");
#endif
}

}  // namespace
}  // namespace amb::test
