#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::readLines;
using test::ScopedCwd;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

TEST(Startup, ProgramFolderBelowAppDataAndSimulatorFlags) {
  TempDir dir;
  ScopedEnv appData("AMBT_APPDATA", gf_pathText(dir / "Roaming"));
  writeFile(dir / "reg.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n");
  ScopedEnv registry("AMBT_REGISTRY", gf_pathText(dir / "reg.reg"));
  gf_initStartupValues();
  EXPECT_EQ(g_programFolder, dir / "Roaming" / "Ambertrail_P3D");
  EXPECT_EQ(g_parametersPath, gf_pathText(dir / "Roaming" / "Ambertrail_P3D" / "parameters.xml"));
  EXPECT_FALSE(g_simKeyV5);
  EXPECT_TRUE(g_simKeyV6);
}

TEST(Startup, WithoutAppDataTheSettingsLieBelowTheWorkingFolder) {
  TempDir dir;
  ScopedCwd cwd(dir.path());
  gf_startLog();
  {
    ScopedEnv a("AMBT_APPDATA", ""), x("XDG_CONFIG_HOME", ""), h("HOME", ""), r("AMBT_REGISTRY", "");
    EXPECT_FALSE(gf_appDataPath().has_value());
    gf_initStartupValues();
  }
  gf_closeLog("end");
  EXPECT_EQ(g_programFolder, fs::path("Ambertrail_P3D"));
  EXPECT_EQ(g_parametersPath, std::string("Ambertrail_P3D") + static_cast<char>(fs::path::preferred_separator) +
                                  "parameters.xml");
  EXPECT_FALSE(g_simKeyV5);
  EXPECT_FALSE(g_simKeyV6);
  const auto log = readLines(dir / "Log.txt");
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1], "===> Could not find the AppData path");
}

TEST(Startup, RelativeFoldersUseThePlatformSeparator) {
  const std::string sep(1, static_cast<char>(fs::path::preferred_separator));
  EXPECT_TRUE(g_learnedStockFolder.is_relative());
  EXPECT_EQ(gf_pathText(g_learnedStockFolder), "airports" + sep + "learned" + sep + "stock");
  EXPECT_EQ(gf_pathText(g_incompleteFltsimSectionsPath), "output" + sep + "errors" + sep + "IncompleFltsimSections.txt");
  EXPECT_EQ(gf_pathText(g_myParkAirportsPath), "airports" + sep + "my_park_airports.txt");
  EXPECT_EQ(gf_versionText(g_programVersion), "10.10.4");
}

}  // namespace
}  // namespace amb
