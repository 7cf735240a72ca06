#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::ScopedEnv;

TEST(Startup, ProgramFolderAndSimulatorFlags) {
  AMB_SKIP_ON_WINDOWS("needs the Linux backend's AMBT_APPDATA and registry file");
  test::TempDir dir;
  test::ScopedCwd cwd(dir.path());
  test::writeFile(dir / "reg.reg", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\n");
  {
    ScopedEnv appData("AMBT_APPDATA", gf_pathText(dir / "Roaming"));
    ScopedEnv registry("AMBT_REGISTRY", gf_pathText(dir / "reg.reg"));
    gf_initStartupValues();
  }
  EXPECT_EQ(g_parametersPath, gf_pathText(dir / "Roaming" / "Ambertrail_P3D" / "parameters.xml"));
  EXPECT_FALSE(g_simKeyV5);
  EXPECT_TRUE(g_simKeyV6);

  // Without an application-data folder the settings lie below the working folder.
  gf_startLog();
  {
    ScopedEnv a("AMBT_APPDATA", ""), x("XDG_CONFIG_HOME", ""), h("HOME", ""), r("AMBT_REGISTRY", "");
    gf_initStartupValues();
  }
  gf_closeLog("end");
  EXPECT_EQ(g_parametersPath, gf_pathText(fs::path("Ambertrail_P3D") / "parameters.xml"));
  EXPECT_FALSE(g_simKeyV6);
  EXPECT_EQ(test::readLines(dir / "Log.txt").at(1), "===> Could not find the AppData path");
}

}  // namespace
}  // namespace amb
