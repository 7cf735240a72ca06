// Reading "SimConnect.cfg": both backends (the Windows private-profile functions, and their stand-in
// on Linux) answer alike for the cases the SimConnect client relies on.
#include "platform/ini.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

TEST(IniFile, SectionsAndKeysAsThePrivateProfileFunctionsReadThem) {
  test::TempDir dir("amb-ini");
  const auto cfg = dir / "SimConnect.cfg";
  test::writeFile(cfg, "[SimConnect]\r\nprotocol=IPv4\r\nPort=\r\nAddress = 127.0.0.1 \r\n\r\n[SimConnect.1]\r\n"
                       "[SimConnect.2]\r\nMaxReceiveSize=123456789\r\n");
  EXPECT_TRUE(platform::iniSectionExists(cfg, "simconnect"));
  EXPECT_FALSE(platform::iniSectionExists(cfg, "SimConnect.1"));  // no entries: as if missing
  EXPECT_TRUE(platform::iniSectionExists(cfg, "SimConnect.2"));
  EXPECT_FALSE(platform::iniSectionExists(cfg, "SimConnect.3"));
  EXPECT_FALSE(platform::iniSectionExists(dir / "none.cfg", "SimConnect"));

  EXPECT_EQ(platform::iniGetString(cfg, "SimConnect", "Protocol"), "IPv4");
  EXPECT_EQ(platform::iniGetString(cfg, "SimConnect", "Address"), "127.0.0.1");
  EXPECT_EQ(platform::iniGetString(cfg, "SimConnect", "Port"), "");  // present, empty
  EXPECT_EQ(platform::iniGetString(cfg, "SimConnect", "DisableNagle"), std::nullopt);
  EXPECT_EQ(platform::iniGetString(cfg, "SimConnect.3", "Port"), std::nullopt);
  EXPECT_EQ(platform::iniGetString(dir / "none.cfg", "SimConnect", "Port"), std::nullopt);
  EXPECT_EQ(platform::iniGetString(cfg, "SimConnect.2", "MaxReceiveSize", 5), "1234");
}

}  // namespace
}  // namespace amb
