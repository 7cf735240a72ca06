// g++ 12 at -O3 (the Windows build) reports a false overlap inside std::string's concatenation.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wrestrict"
#endif

#include "liveries/auto_folders.hpp"
#include "liveries/folder_search.hpp"
#include "liveries_scan/scan_fixture.hpp"
#include "settings/options.hpp"
#include "core/user_error.hpp"
#include "core/strings.hpp"
#include "records/aircraft.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"

#include <algorithm>
#include <array>
#include <map>
#include <random>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::LiveryScanTest;
using test::section;

const std::vector<std::string> kEntries = {"model", "texture.T", "A320.air"};

class FolderSearchTest : public LiveryScanTest {
protected:
  void lay(const fs::path& folder, const std::string& airline, int n, const std::string& prefix = "AI") {
    std::string cfg = "[General]\natc_model=A320\n";
    for (int i = 0; i < n; ++i)
      cfg += section(i, "title=" + prefix + " " + airline + " " + std::to_string(i) + "\natc_parking_codes=" +
                            airline + "\nsim=A320\nmodel=\ntexture=T");
    aircraft(folder, cfg, kEntries);
  }
  std::vector<std::string> titles() const {
    std::vector<std::string> out;
    for (const auto& l : g_liveryList) out.push_back(l.title);
    return out;
  }
};

TEST_F(FolderSearchTest, WhatTheWalkEntersAndWhichFilesCount) {
  AMB_SKIP_ON_WINDOWS("paths of 250 bytes and more need the long-path prefix there");
  lay("root/a", "BAW", 1, "Walk");
  lay("root/b/c", "KLM", 1, "Walk");
  lay("root/my airport scenery/x", "DLH", 1, "Walk");  // never entered
  aircraft("root/d", "[General]\natc_model=A320\n" + section(0, "title=Sim cfg\natc_parking_codes=AFR\n"
                                                              "sim=A320\nmodel=\ntexture=T"),
           kEntries, "Sim.CFG");
  aircraft("root/e", "[General]\natc_model=A320\n" + section(0, "title=Backup\natc_parking_codes=AFR\n"
                                                              "sim=A320\nmodel=\ntexture=T"),
           kEntries, "aircraft.cfg.bak");
  aircraft("root/f", "[General]\natc_model=A320\n" + section(0, "title=Old\natc_parking_codes=AFR\n"
                                                              "sim=A320\nmodel=\ntexture=T"),
           kEntries, "aircraft_old.cfg");
  // Folders whose path reaches 250 bytes are not entered; a file at that depth whose folder was
  // entered still counts.
  fs::path deep = "root/deep";
  while (gf_pathText(m_dir / deep).size() < 240) deep /= "dddddddddd";
  lay(deep, "BAW", 1, "Deep");
  fs::path deeper = deep / std::string(250 - gf_pathText(m_dir / deep).size(), 'e');
  lay(deeper / "f", "BAW", 1, "Deeper");

  lf_searchLiveriesInFolder(1, m_dir / "root");
  auto found = titles();
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, (std::vector<std::string>{"Deep BAW 0", "Sim cfg", "Walk BAW 0", "Walk KLM 0"}));

  // A livery folder that itself lies below an "airport" name is searched all the same.
  g_liveryList.clear();
  lay("My airports and AI/pkg/x", "KLM", 1, "Under");
  lf_searchLiveriesInFolder(1, m_dir / "My airports and AI");
  EXPECT_EQ(titles(), std::vector<std::string>{"Under KLM 0"});
  EXPECT_TRUE(lf_isAircraftCfgName("AIRCRAFT.cfg"));
  EXPECT_FALSE(lf_isAircraftCfgName("SIM.cfg.txt"));
}

TEST_F(FolderSearchTest, TheListKeepsTheWalkOrderWhateverTheJobLimit) {
  for (int i = 0; i < 24; ++i) lay(fs::path("root") / ("p" + std::to_string(i)), i % 2 ? "BAW" : "KLM", 1 + i % 5,
                                   "P" + std::to_string(i));
  std::vector<std::vector<std::string>> runs;
  for (const int jobs : {1, 4, 16}) {
    gf_resetLiveryScan();
    g_liveryList.clear();
    gf_setJobLimit(jobs);
    lf_searchLiveriesInFolder(1, m_dir / "root");
    runs.push_back(titles());
  }
  EXPECT_EQ(runs[0].size(), 70u);  // 1 to 5 liveries a folder
  EXPECT_EQ(runs[0], runs[1]);
  EXPECT_EQ(runs[0], runs[2]);
  EXPECT_EQ(g_runningJobs.load(), 0);
}

TEST_F(FolderSearchTest, ClosingStopsStartingJobs) {
  for (int i = 0; i < 5; ++i) lay(fs::path("root") / ("p" + std::to_string(i)), "BAW", 1, "P" + std::to_string(i));
  g_exitUnderWay = 1;
  lf_searchLiveriesInFolder(1, m_dir / "root");
  EXPECT_TRUE(g_liveryList.empty());
  EXPECT_EQ(g_runningJobs.load(), 0);
}

TEST(LiveryPriority, TheOnePassDropEqualsComparingWithEveryEarlierRecord) {
  std::mt19937 random(11);
  std::list<LiveryData> list;
  for (int i = 0; i < 3000; ++i) {
    LiveryData l;
    l.airline = std::string(1, static_cast<char>('A' + random() % 6));
    l.type = std::string(1, static_cast<char>('a' + random() % 5));
    l.title = std::to_string(i);
    l.priority = 1 + static_cast<int>(random() % 10);
    list.push_back(l);
  }
  // The rule as users know it: a record goes when an earlier-kept one of its airline and type comes
  // from a better-ranked folder.
  std::list<LiveryData> expected = list;
  for (auto r = expected.begin(); r != expected.end();) {
    bool better = false;
    for (const auto& s : expected)
      if (s.airline == r->airline && s.type == r->type && s.priority < r->priority) better = true;
    r = better ? expected.erase(r) : std::next(r);
  }
  lf_dropLowerPriorities(list);
  ASSERT_EQ(list.size(), expected.size());
  EXPECT_TRUE(std::equal(list.begin(), list.end(), expected.begin(),
                         [](const LiveryData& a, const LiveryData& b) { return a.title == b.title; }));
}

class ScanRunTest : public FolderSearchTest {
protected:
  void SetUp() override {
    FolderSearchTest::SetUp();
    m_appData.emplace("AMBT_APPDATA", gf_pathText(m_dir / "appdata"));
    m_programData.emplace("AMBT_PROGRAMDATA", gf_pathText(m_dir / "programdata"));
    gf_setStringOption(SIM_INSTALL_PATH, gf_pathText(m_dir / "Prepar3D v5"));
    fs::create_directories(m_dir / "output" / "info");
    SCAN_LIVERIES.value = 1;
    LIG_AUTOMATIC.value = 0;
  }
  void TearDown() override {
    for (StringOption* o : {&lfolder0, &lfolder1, &lfolder2}) gf_setStringOption(*o, "");
    gf_setStringOption(SIM_INSTALL_PATH, "");
    m_programData.reset();
    m_appData.reset();
    FolderSearchTest::TearDown();
  }
  std::optional<test::ScopedEnv> m_appData, m_programData;
};

TEST_F(ScanRunTest, AFailedScanKeepsThePreviousFileAndItsSetting) {
  test::writeFile(g_liveriesScannedPath, "previous");
  // Manual mode without folders.
  EXPECT_EQ(test::thrownText<UserErrorException>([] { lf_scanLiveries(); }),
            "48: Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
  // Manual mode, folders without liveries.
  fs::create_directories(m_dir / "empty");
  gf_setStringOption(lfolder2, gf_pathText(m_dir / "empty"));
  EXPECT_EQ(test::thrownText<UserErrorException>([] { lf_scanLiveries(); }), "53: no liveries found");
  // Automatic mode finding nothing. On Windows it reads the machine's own shell folders, where an
  // installed simulator (or the smoke run in a reused Wine prefix) has registered add-ons.
  LIG_AUTOMATIC.value = 1;
  const bool addOnsOfTheMachine = std::ranges::any_of(std::array{"5", "6"}, [](const char* v) {
    return fs::exists(lf_addOnsCfgPath(v)) || fs::exists(lf_simObjectsCfgPath(v));
  });
  if (!addOnsOfTheMachine) {
    EXPECT_EQ(test::thrownText<UserErrorException>([] { lf_scanLiveries(); }),
              "43: Automatic scan has not found any liveries, switch off automatic and set lfolder parameter(-s), "
              "Manual 5.1");
  }
  EXPECT_EQ(test::readFile(g_liveriesScannedPath), "previous");
  EXPECT_EQ(SCAN_LIVERIES.value, 1);
}

TEST_F(ScanRunTest, FoldersAreRankedAndTheScanWritesItsFileAndReports) {
  lay("first/a", "BAW", 2, "First");
  lay("second/a", "BAW", 1, "Second");
  lay("second/b", "KLM", 1, "Second");
  aircraft("second/bad", "[General]\natc_model=A32N\n" + section(0, "title=Fixed\natc_parking_codes=QQQ\n"
                                                                  "sim=A320\nmodel=\ntexture=T"),
           kEntries);
  gf_setStringOption(lfolder1, gf_pathText(m_dir / "first"));
  gf_setStringOption(lfolder2, gf_pathText(m_dir / "second"));
  LIG_PRIORITIZE.value = 1;
  bool stopped = true;
  ASSERT_TRUE(lf_scanLiveryFolders({gf_pathText(m_dir / "first"), gf_pathText(m_dir / "missing"),
                                    gf_pathText(m_dir / "second")},
                                   stopped));
  EXPECT_FALSE(stopped);
  LIG_PRIORITIZE.value = 0;
  EXPECT_TRUE(logHas("2 liveries found in " + gf_pathText(m_dir / "first")));
  EXPECT_TRUE(logHas(gf_pathText(m_dir / "missing") + " does not exist, skipped!"));
  EXPECT_TRUE(logHas("3 liveries found in " + gf_pathText(m_dir / "second")));
  EXPECT_TRUE(logHas("5 in total"));
  // The second folder's BAW livery loses to the first folder's; its KLM livery stays.
  lf_readScannedLiveries();
  std::vector<std::string> written;
  for (const auto& l : g_liveryList) written.push_back(l.airline + " " + l.title);
  // The section with an unknown airline on a small type became private.
  EXPECT_EQ(written, (std::vector<std::string>{"BAW First BAW 0", "BAW First BAW 1", "KLM Second KLM 0", "PVT Fixed"}));
  EXPECT_EQ(test::readLines(g_fixesPath),
            std::vector<std::string>{"Model fix: A32N found in " + gf_pathText(m_dir / "second" / "bad" / "aircraft.cfg") +
                                     " changed into A20N"});
  EXPECT_EQ(test::readLines(g_invalidAirlineCodesPath).size(), 1u);
  EXPECT_TRUE(logHas("Errors:"));
  EXPECT_TRUE(logHas("1 code fixes, see " + gf_pathText(g_fixesPath)));
  EXPECT_TRUE(g_scannedTitles.empty());  // the lists are emptied for the next scan
}

TEST_F(ScanRunTest, AutomaticFoldersFromTheAddOnPackagesAndSimobjects) {
  AMB_SKIP_ON_WINDOWS("AMBT_APPDATA and AMBT_PROGRAMDATA stand in for the shell folders on Linux only");
  const fs::path sim = m_dir / "appdata" / "Lockheed Martin" / "Prepar3D v5";
  test::writeFile(sim / "add-ons.cfg",
                  "[DiscoveryPath.0]\nPATH=" + gf_pathText(m_dir / "ignored") +
                      "\n\n[Package.0]\nPATH=" + gf_pathText(m_dir / "MyAI") +
                      "\nTITLE=My AI\nREQUIRED=false path=" + gf_pathText(m_dir / "nope") +
                      "\n[Package.1]\nPATH=" + gf_pathText(m_dir / "Other") + "\n");
  test::writeFile(m_dir / "MyAI" / "add-on.xml",
                  "<AddOn.Component>\n<Category>SimObjects</Category>\n<Path>SimObjects\\Airplanes</Path>\n"
                  "</AddOn.Component>\n<AddOn.Component><Category>SimObjects</Category><Path>skipped</Path>\n"
                  "<Path>D:\\Lights Reborn\\x</Path>\n<Category>Effects</Category>\n<Path>Effects</Path>\n");
  test::writeFile(m_dir / "programdata" / "Lockheed Martin" / "Prepar3D v5" / "simobjects.cfg",
                  "[Entry.0]\nTitle=Airplanes path\nPath=SimObjects\\Airplanes\n\n[Entry.1]\nPath=SimObjects\\My AI\n"
                  "[Entry.2]\nPath=/abs/AI/Planes\n[Entry.3]\nPath=/abs/SimObjects/Misc Traffic\n");
  std::vector<std::string> folders;
  lf_readP3DAddOnsAircraft(folders);
  lf_readP3DSimObjectsCfg(folders);
  EXPECT_EQ(folders, (std::vector<std::string>{
                         gf_pathText(m_dir / "MyAI" / "SimObjects" / "Airplanes"),
                         gf_pathText(m_dir / "Prepar3D v5" / "SimObjects" / "My AI"), "/abs/AI/Planes"}));
  EXPECT_TRUE(logHas("1 AI add-on package found"));
  EXPECT_TRUE(logHas("2 AI add-on packages found"));
}

// The real Eurofighter package as a user installs it: registered in "add-ons.cfg" (CR LF lines, a
// folder with blanks), found through its own add-on.xml (a byte-order mark, the component path
// "SimObjects" relative to the package), scanned by the start-up's livery step, written, turned
// into the tables and matched by registration and by airline and type.
TEST_F(ScanRunTest, TheRealEurofighterPackageFromItsRegistrationToTheMatching) {
  AMB_SKIP_ON_WINDOWS("AMBT_APPDATA stands in for the shell folders on Linux only");
  const fs::path package = m_dir / "Prepar3D v5 Add-ons" / "EF2000 Ala14";
  const fs::path cfg = test::layOutEurofighter(package);
  test::writeFile(m_dir / "appdata" / "Lockheed Martin" / "Prepar3D v5" / "add-ons.cfg",
                  "[DiscoveryPath.0]\r\nPATH=" + gf_pathText(m_dir / "Prepar3D v5 Add-ons") +
                      "\r\nTITLE=Default\r\nACTIVE=TRUE\r\n\r\n[Package.0]\r\nPATH=" + gf_pathText(package) +
                      "\r\nTITLE=ALA14_EF2000_LEAB_IA\r\nACTIVE=true\r\nREQUIRED=false\r\n");
  ASSERT_EQ(test::readFile(package / "add-on.xml").substr(0, 3), "\xEF\xBB\xBF");
  g_modelFixes["Typhoon"] = "EUFI";  // the data base knows the type under its ICAO code
  LIG_AUTOMATIC.value = 1;
  lf_scanLiveries();

  const fs::path components = package / "SimObjects";
  EXPECT_TRUE(logHas("      Simobjects found:SimObjects"));
  EXPECT_TRUE(logHas("1 AI add-on package found"));
  EXPECT_TRUE(logHas("32 liveries found in " + gf_pathText(components)));
  EXPECT_EQ(SCAN_LIVERIES.value, 0);
  EXPECT_EQ(test::readLines(g_fixesPath),
            std::vector<std::string>{"Model fix: Typhoon found in " + gf_pathText(cfg) + " changed into EUFI"});
  // Written, read back and built: 32 private Eurofighters, each with its registration.
  EXPECT_TRUE(logHas("32 liveries read from " + gf_pathText(g_liveriesScannedPath)));
  EXPECT_EQ(g_liveryTablesBuilt.load(), 1);
  EXPECT_TRUE(gf_hasAirlineModelLivery("PVT", "EUFI"));
  EXPECT_TRUE(logHas("32 registration codes"));
  AcData bySerial("", "EUFI", "", "", "AME1403", "", "", "14-03", false);
  lf_matchLivery(bySerial);
  EXPECT_EQ(bySerial.liveryTitle, "MAIW_NBAI_F2_SAF Ala14 C.16-36");
  AcData unknown("PVT", "EUFI", "", "", "AME99", "", "", "", false);
  gf_setRandomOn(false);
  lf_matchLivery(unknown);
  gf_setRandomOn(true);
  EXPECT_EQ(unknown.liveryTitle, "MAIW_NBAI_F2_SAF Ala14 C.16-31");  // the first title of the type
  EXPECT_EQ(g_matchStepCounts[0], 1);
  EXPECT_EQ(g_matchStepCounts[1], 1);
}

}  // namespace
}  // namespace amb
