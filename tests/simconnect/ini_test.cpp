// "SimConnect.cfg" is read with the rules of the Windows private-profile functions: what the common
// cases of the platform tests leave out (quotes, repeats, byte-order marks, the ANSI code page).

#include "platform/ini.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb::test {
namespace {

using platform::iniGetString;

TEST(Ini, QuotesRepeatsAndEncodings) {
  TempDir dir;
  writeFile(dir / "a.cfg", "; a comment before any section\r\n[SimConnect]\r\naddress=\"127.0.0.1\"\r\n;Port=1\r\n"
                           "Port=500\r\nPort=600\r\n[ simconnect.1 ]\nAddress='host one'\n[SIMCONNECT]\nExtra=x\n");
  EXPECT_EQ(iniGetString(dir / "a.cfg", "SimConnect", "Address"), "127.0.0.1");  // one pair of quotes taken off
  EXPECT_EQ(iniGetString(dir / "a.cfg", "SimConnect", "Port"), "500");           // the first of repeated keys
  EXPECT_EQ(iniGetString(dir / "a.cfg", "SimConnect", "Extra"), std::nullopt);   // only the first section of a name
  EXPECT_EQ(iniGetString(dir / "a.cfg", "SimConnect.1", "Address"), "host one");
  // UTF-16 little-endian with its byte-order mark, as Windows editors save it.
  std::string utf16 = "\xFF\xFE";
  for (char16_t u : std::u16string(u"[SimConnect]\r\nAddress=h\u00e9te\r\n")) {
    utf16 += static_cast<char>(u & 0xFF);
    utf16 += static_cast<char>(u >> 8);
  }
  writeFile(dir / "b.cfg", utf16);
  EXPECT_EQ(iniGetString(dir / "b.cfg", "SimConnect", "Address"), "h\xC3\xA9te");
  writeFile(dir / "c.cfg", "\xEF\xBB\xBF[SimConnect]\nPort=7\n");
  EXPECT_EQ(iniGetString(dir / "c.cfg", "SimConnect", "Port"), "7");
#ifndef _WIN32
  // Windows reads a file without byte-order mark in the ANSI code page; a buffer of n holds n - 1.
  writeFile(dir / "d.cfg", "[S]\nU=\xC3\xA9\xC3\xA9\xC3\xA9\n");
  EXPECT_EQ(iniGetString(dir / "d.cfg", "S", "U", 3), "\xC3\xA9\xC3\xA9");
#endif
}

}  // namespace
}  // namespace amb::test
