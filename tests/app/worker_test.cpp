// The worker's start-up: the simulator detection and the preparation of a run (the wait for the
// simulator is shown end to end).

#include "airports/park_airport.hpp"
#include "app/edit_boxes.hpp"
#include "app/session.hpp"
#include "app/window.hpp"
#include "app/worker.hpp"
#include "core/registry.hpp"
#include "core/user_error.hpp"
#include "refdata/download.hpp"
#include "state/detection.hpp"
#include "tests/app/app_fixture.hpp"

#include <pugixml.hpp>

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

// With the automatic range on, the start-up sets the range from the distance to the first park
// airport; a destination set in the window goes to the front of them first. The user aircraft is
// not known yet (at 0, 0): the destination lies 12 nm from it, the first park airport of the file far.
TEST_F(StartUpTest, TheStartUpsAutomaticRangeMeasuresFromTheDestination) {
  ScopedEnv runtime("AMBT_RUNTIME_DIR", gf_pathText(dir().path()));  // no simulator to find
  writeFile(dir() / "input" / "airports_p3d.xml",
            "<airports>\n\t<airport code=\"AAAA\" iata=\"AAA\" lat=\"10.0\" lon=\"10.0\" alt=\"10\" />\n"
            "\t<airport code=\"BBBB\" iata=\"BBB\" lat=\"0.2\" lon=\"0.0\" alt=\"10\" />\n</airports>\n");
  gf_resetAirportList();  // the list is read once per process
  fs::create_directories(dir() / "airports");
  writeFile(dir() / "airports" / "my_park_airports.txt", "AAAA\nBBBB\n");
  AUTO_RANGE.value = 1;
  gf_saveBoolOption(AUTO_RANGE);
  DESTINATION.setValue("BBBB");
  gf_saveStringOption(DESTINATION);
  ui.clearCalls();
  lf_startWorker();
  // With the automatic range set, the start-up disables the range's box and begins the service run.
  const std::string rangeSet = fmt::format("enable {} 0", LATERAL_RANGE.controlId);
  const bool begun = waitFor([&] { return std::ranges::count(ui.calls(), rangeSet) > 0; });
  gf_requestWorkerStop();
  ASSERT_TRUE(gf_waitForWorkerEnd(std::chrono::seconds(10)));
  gf_stopSimClient(std::chrono::seconds(5));
  ASSERT_TRUE(begun) << error();
  EXPECT_EQ(gf_firstParkAirportPosition(), (std::pair<double, double>{0.2, 0.0}));
  EXPECT_EQ(LATERAL_RANGE.value, 15);  // round(12) + 3
  EXPECT_EQ(g_radiusNm, 15.0);
  gf_resetAirportList();
}

// JFK's learned settings (parameters only), as a save writes them.
void writeLearnedJfk(const fs::path& dir, int range, bool autoRange) {
  fs::create_directories(dir / "airports" / "learned" / "stock");
  writeFile(dir / "airports" / "learned" / "stock" / "KJFK.xml",
            fmt::format("<?xml version=\"1.0\"?>\n<meta>\n\t<info name=\"author\" value=\"Ambertrail_P3D\" />\n"
                        "\t<info name=\"version\" value=\"10.10.4\" />\n\t<info name=\"date\" value=\"Mar 05, 2019\" />\n"
                        "\t<info name=\"copyright\" value=\"Copyright (c) Ambertrail_P3D developers\" />\n</meta>\n"
                        "<parameters>\n\t<parameter name=\"LATERAL_RANGE\" value=\"{}\" />\n"
                        "\t<parameter name=\"AUTO_RANGE\" value=\"{}\" />\n</parameters>\n<parkpositions />\n",
                        range, autoRange ? "true" : "false"));
}

// The range the learned file's save writes.
std::string savedRange(const fs::path& dir) {
  pugi::xml_document doc;
  if (!doc.load_file((dir / "airports" / "learned" / "stock" / "KJFK.xml").c_str())) return "unreadable";
  for (pugi::xml_node p : doc.child("parameters").children("parameter"))
    if (std::string(p.attribute("name").value()) == "LATERAL_RANGE") return p.attribute("value").value();
  return "none";
}

// The user's range is one value: a park airport whose learned settings have the automatic range off
// puts it back, in the window, in the engine and in the next save; one that has it on keeps it for
// when the user switches the automatic range off.
TEST_F(StartUpTest, TheUsersRangeStaysThroughTheParkAirportsLearnedSettings) {
  AUTO_RANGE.value = 0;
  gf_saveBoolOption(AUTO_RANGE);
  LATERAL_RANGE.value = 20;
  gf_saveIntOption(LATERAL_RANGE);
  LATERAL_RANGE.value = 40;  // the start-up reads the user's range from the settings
  lf_prepareStartUp();
  ASSERT_EQ(LATERAL_RANGE.value, 20);
  const auto loadJfk = [] {
    {
      std::lock_guard lock(g_parkAirportMutex);
      g_parkAirport = {"KJFK", "JFK", 40.6398, -73.7789, 13};
    }
    return lf_readParkedFile();
  };
  const auto leaveJfk = [] {
    g_parkParameterChanged = 1;
    lf_endParkAirport();
  };
  const auto range = [&] {
    return fmt::format("{} {} {} {}", LATERAL_RANGE.value.load(), ui.control(LATERAL_RANGE.controlId).text,
                       g_radiusNm.load(), g_radiusMeters.load());
  };

  writeLearnedJfk(dir().path(), 20, false);
  ASSERT_EQ(loadJfk(), "");
  EXPECT_EQ(range(), "20 20 20 37040");
  leaveJfk();
  EXPECT_EQ(savedRange(dir().path()), "20");

  // A range the user types is the one that comes back.
  ui.setText(LATERAL_RANGE.controlId, "25");
  ASSERT_TRUE(lf_editBoxEnter(LATERAL_RANGE.controlId));
  ASSERT_EQ(loadJfk(), "");
  EXPECT_EQ(range(), "25 25 25 46300");
  leaveJfk();
  EXPECT_EQ(savedRange(dir().path()), "25");

  // Saved with the automatic range on (10 nm on the ground): the user's 25 is kept meanwhile.
  writeLearnedJfk(dir().path(), 10, true);
  ASSERT_EQ(loadJfk(), "");
  EXPECT_EQ(AUTO_RANGE.value, 1);
  EXPECT_FALSE(lf_HandleWMCOMMAND(AUTO_RANGE.controlId));  // off
  EXPECT_EQ(range(), "25 25 25 46300");
}

}  // namespace
}  // namespace amb::test
