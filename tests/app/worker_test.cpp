// The worker's start-up: the simulator detection and the preparation of a run (the wait for the
// simulator is shown end to end).

#include "app/worker.hpp"
#include "core/registry.hpp"
#include "core/user_error.hpp"
#include "refdata/download.hpp"
#include "state/detection.hpp"
#include "tests/app/app_fixture.hpp"

#include <list>

namespace amb::test {
namespace {

namespace fs = std::filesystem;

// The user error a call throws, as the reporter shows it.
std::string userErrorOf(const std::function<void()>& f) { return thrownText<UserErrorException>(f); }

using DetectionTest = ShellTest;

TEST_F(DetectionTest, InstalledVersions) {
  AMB_SKIP_ON_WINDOWS("the registry file stands in for the registry on Linux only");
  ScopedEnv file("AMBT_REGISTRY", gf_pathText(dir() / "registry.reg"));
  // Keys of the registry file: version -> SetupPath (empty: the key without the value).
  const auto registry = [&](const std::vector<std::pair<int, std::string>>& keys) {
    std::string text = "Windows Registry Editor Version 5.00\n\n";
    for (const auto& [version, path] : keys) {
      text += fmt::format("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v{}]\n", version);
      if (!path.empty()) text += fmt::format("\"SetupPath\"=\"{}\"\n", path);
    }
    writeFile(dir() / "registry.reg", text);
    g_simKeyV5 = gf_simKeyExists(5);
    g_simKeyV6 = gf_simKeyExists(6);
  };
  registry({{5, "D:\\\\P3Dv5"}, {6, "D:\\\\P3Dv6"}});
  EXPECT_EQ(userErrorOf(lf_detectSimulator),
            "153: More than one P3D version detected, type full Install Path to wanted version above and press "
            "Enter");
  const std::string noPath = "151: No P3D install path detected, type full Install Path above, and press Enter";
  registry({});
  EXPECT_EQ(userErrorOf(lf_detectSimulator), noPath);
  EXPECT_TRUE(logHas("P3D not detected?"));
  lfolder3.setValue("D:\\AI");  // folder settings let the scans work without an install path
  EXPECT_EQ(userErrorOf(lf_detectSimulator), "no exception");
  lfolder3.setValue({});

  registry({{6, ""}});
  EXPECT_EQ(userErrorOf(lf_detectSimulator), noPath);
  EXPECT_TRUE(logHas("P3Dv6detected"));
  registry({{6, "D:\\\\Sims\\\\P3Dv6"}});
  EXPECT_EQ(userErrorOf(lf_detectSimulator), "no exception");
  EXPECT_EQ(stored("SIM_INSTALL_PATH"), "D:\\Sims\\P3Dv6");
  EXPECT_EQ(ui.control(ALL_INSTALL_PATH.controlId).text, "D:\\Sims\\P3Dv6");
  g_simKeyV5 = g_simKeyV6 = false;
}

TEST_F(DetectionTest, MajorVersion) {
  const std::tuple<std::string, std::int32_t, std::string> cases[] = {
      {"D:\\P3Dv6", 5, "6"}, {"D:\\v6\\v5", 5, "5"}, {"D:\\Prepar3D", 6, "6"}, {"", 5, "5"}};
  for (const auto& [path, p3dVersion, version] : cases) {
    SIM_INSTALL_PATH.setValue(path);
    P3D_VERSION.value = p3dVersion;
    EXPECT_EQ(gf_simMajorVersion(), version) << path;
  }
  SIM_INSTALL_PATH.setValue("D:\\Prepar3D");
  P3D_VERSION.value = 4;
  EXPECT_EQ(userErrorOf([] { gf_simMajorVersion(); }),
            "77: P3D install path does not contain v5 or v6? Use hidden parameter P3D_VERSION, set it at 5 or 6");
}

class StartUpTest : public ShellTest {
protected:
  void SetUp() override {
    ShellTest::SetUp();
    AMB_SKIP_ON_WINDOWS("AMBT_APPDATA and the file server stand in for the user's folders on Linux only");
    // The packaged download server of the build: no newer version, and the data base to read.
    m_env.emplace_back("AMBT_SERVER_URL", gf_fileUrl(fs::path(AMB_BINARY_DIR) / "app" / "server", true));
    m_env.emplace_back("AMBT_APPDATA", gf_pathText(dir() / "appdata"));
    fs::create_directories(dir() / "docs");
    fs::create_directories(dir() / "input");
    writeFile(dir() / "input" / "airports_p3d.xml", "<airports />\n");
    fs::create_directories(dir() / "Prepar3D v5" / "Scenery");
    SIM_INSTALL_PATH.setValue(gf_pathText(dir() / "Prepar3D v5"));
    gf_saveStringOption(SIM_INSTALL_PATH);
    installAiPackage(dir() / "appdata");
  }
  void TearDown() override {
    m_env.clear();
    ShellTest::TearDown();
  }

private:
  std::list<ScopedEnv> m_env;
};

TEST_F(StartUpTest, PreparationMakesTheFoldersAndFailsWithoutTheInputFolder) {
  parking_percentage.value = 70;
  lf_prepareStartUp();
  for (const char* folder : {"output/info", "airports/learned/stock", "input/my_regcodes"})
    EXPECT_TRUE(fs::is_directory(dir() / folder)) << folder;
  EXPECT_EQ(stored("PROGRAM_VERSION"), "10.10.4");
  EXPECT_EQ(parking_percentage.value, 30);
  fs::remove_all(dir() / "input");
  EXPECT_THROW(lf_createFolders(), fs::filesystem_error);
}

TEST_F(StartUpTest, AMissingScannedLiveriesFileAsksForARescan) {
  SCAN_LIVERIES.value = 0;
  gf_saveBoolOption(SCAN_LIVERIES);
  std::stop_source stop;
  stop.request_stop();  // the worker ends before its service run
  gf_runAsWorker(stop.get_token(), lf_startUpAMBT);
  EXPECT_EQ(error(), "");
  EXPECT_TRUE(logHas(fmt::format("File {} is gone, rescan liveries", gf_pathText(g_liveriesScannedPath))));
  // The rescan found the installed package's liveries: the file is back and the setting off again.
  EXPECT_TRUE(fs::exists(g_liveriesScannedPath));
  EXPECT_EQ(stored("SCAN_LIVERIES"), "false");
  EXPECT_TRUE(exits().empty());  // a stopped worker requests no exit
}

}  // namespace
}  // namespace amb::test
