// The add-on airports scan over a fixture tree of synthetic and real scenery files: which link and
// generated files, scan-log lines and offline-learning copies it leaves, and how it treats the
// settings, the folder options and the job limit.

#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/jobs.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "refdata/database.hpp"
#include "refdata/queries.hpp"
#include "scan/airport_files.hpp"
#include "scan/scan.hpp"
#include "scan/services.hpp"
#include "scan_support.hpp"
#include "settings/settings.hpp"
#include "state/main_window.hpp"
#include "support/test_support.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <optional>
#include <set>
#include <thread>

namespace amb::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

Lines sorted(Lines v) {
  std::sort(v.begin(), v.end());
  return v;
}

std::set<std::string> filesIn(const fs::path& folder) {
  std::set<std::string> names;
  if (!fs::exists(folder)) return names;
  for (const auto& e : fs::directory_iterator(folder)) names.insert(gf_pathText(e.path().filename()));
  return names;
}

bglgen::Airport airport(const std::string& ident, int spots, int helipads = 0, bool layoutB = false) {
  bglgen::Airport a;
  a.ident = ident;
  a.layoutB = layoutB;
  a.names = {ident + " field"};
  for (int h = 0; h < helipads; ++h) a.helipads.push_back({50.0 + h * 0.001, 8.0, 20, 90});
  for (int k = 1; k <= spots; ++k) a.parkings.push_back(spot(10, static_cast<std::uint16_t>(k), 20, 50.01 + k * 1e-4, 8.5));
  return a;
}

class ScanRun : public ::testing::Test {
protected:
  void SetUp() override {
    reset();
    m_cwd.emplace(m_dir.path());
    g_parametersPath = gf_pathText(m_dir / "parameters.xml");
    gf_startLog();
    fs::create_directories(g_myOrbxFolder);
    fs::create_directories(g_myThirdpartyFolder);
    fs::create_directories(m_stock);
    g_simaddonAirports = {"EGLL"};
    g_thirdParties = {{"North Sky", {"EDDF2", "EDDM"}}};
    g_publishers = {{"North Sky", "NSKY_"}};
    gf_compilePublisherPatterns();
    gf_setScanHooks({[] { return std::string("5"); }, [this] { return m_stock; },
                     [this](const std::string& code) { return m_suitable.contains(code); }, [] {}});
    gf_setJobLimit(2);
  }
  void TearDown() override {
    gf_closeLog("end");
    m_env.reset();
    m_cwd.reset();
    reset();
  }
  static void reset() {
    gf_resetScan();
    gf_resetSettings();
    gf_resetDataBase();
    gf_resetQueries();
    gf_resetExitState();
    gf_resetJobs();
    gf_clearMessage();
    gf_clearError();
    gf_resetMainWindow();
  }
  fs::path addons(const std::string& rel = {}) const { return rel.empty() ? m_dir / "Addons" : m_dir / "Addons" / rel; }
  void bgl(const std::string& rel, const std::vector<std::uint8_t>& bytes) const { bglgen::write(addons(rel), bytes); }
  bool logHas(const std::string& line) const {
    const auto lines = readLines(m_dir / "Log.txt");
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  std::string text(const std::string& rel) const { return readFile(m_dir / rel); }

  // The fixture tree: simaddon, third-party and unknown publishers, files the walk must leave
  // alone, the real files, one ident in two files and two broken files.
  void writeTree() {
    bgl("ORBX_EGLL/scenery/EGLL.bgl", bglgen::build(airport("EGLL", 3)));
    bgl("ORBX_EGKK/scenery/EGKK.BGL", bglgen::build(airport("EGKK", 2, 1)));
    bgl("ORBX_EGKK2/EGKK.bgl", bglgen::build(airport("EGKK", 2, 1, true)));
    bgl("NSKY_EDDF/scenery/EDDF.bgl", bglgen::build(airport("EDDF", 3, 0, true)));
    bgl("NSKY_EDDM/EDDM.bgl", bglgen::build(airport("EDDM", 2)));
    bglgen::Airport lfpg = airport("LFPG", 1);
    lfpg.parkings.push_back(spot(10, 9, 250));
    bgl("Other/LFPG.bgl", bglgen::build(lfpg));
    bgl("Other/statics/LFPO.bgl", bglgen::build(airport("LFPO", 1)));
    bgl("Other/my_heliports_x/EHAM.bgl", bglgen::build(airport("EHAM", 1)));
    bgl("Other/LFPB.Bgl", bglgen::build(airport("LFPB", 1)));
    bglgen::File none;
    none.sections[0].type = 0x2B;
    bgl("Other/terrain.bgl", bglgen::build(none));
    std::vector<std::uint8_t> cut = bglgen::build(airport("LFOB", 4));
    cut.resize(cut.size() - 30);
    bgl("Other/cut.bgl", cut);
    bglgen::Airport lying = airport("LFMN", 3);
    lying.statedParkingCount = 40;
    bgl("Other/lying.bgl", bglgen::build(lying));
    for (const char* real : {"LEAR_ADEX_ARV187_GA.bgl", "LEAB_ADEP5_ARV187_ALT.bgl", "TerminalLEAB.bgl"})
      fs::copy_file(testData("bgl") / real, addons("Real") / real, fs::copy_options::overwrite_existing);
    bglgen::write(m_stock / "World" / "KJFK.bgl", bglgen::build(airport("KJFK", 1)));
  }

  TempDir m_dir{"amb-scanrun"};
  std::optional<ScopedCwd> m_cwd;
  std::optional<ScopedEnv> m_env;
  fs::path m_stock = m_dir / "P3D" / "Scenery";
  std::set<std::string> m_suitable{"EGKK", "LFPG", "EDDF"};
};

TEST_F(ScanRun, FixtureTreeGivesExactlyTheExpectedFilesLinesAndCopies) {
  AMB_SKIP_ON_WINDOWS("the fixture's scenery.cfg names Linux folders");
  fs::create_directories(addons("Real"));
  writeTree();
  // The scenery configuration lists the tree, a stock folder, the simulator's folder (whose stock
  // part the walk leaves out) and a folder that is not there.
  const fs::path programData = m_dir / "ProgramData" / "Lockheed Martin" / "Prepar3D v5";
  writeFile(programData / "scenery.cfg", "[Area.001]\nTitle=Addons\nLocal=" + gf_pathText(addons()) +
                                             "\nActive=TRUE\n[Area.002]\nLocal=" + gf_pathText(m_stock / "World") +
                                             "\nActive=TRUE\n[Area.003]\nLocal=" + gf_pathText(m_dir / "P3D") +
                                             "\nActive=TRUE\n");
  writeFile(programData / "scenery_add-ons.xml", "<Path>" + gf_pathText(m_dir / "Gone") + "</Path>\n");
  m_env.emplace("AMBT_PROGRAMDATA", gf_pathText(m_dir / "ProgramData"));
  // Leftovers of an earlier scan go.
  writeFile(g_myThirdpartyFolder / "OLD1.xml", "old");
  writeFile(g_tbloFolder / "OLD2.xml", "old");
  SCAN_AIRPORTS.value = 1;
  AFG_AUTOMATIC.value = 1;

  std::atomic<bool> done{false};
  std::atomic<int> most{0};
  std::thread watch([&] {
    while (!done) {
      most = std::max(most.load(), g_runningJobs.load());
      std::this_thread::yield();
    }
  });
  gf_scanAddOnAirports();
  done = true;
  watch.join();

  EXPECT_LE(most.load(), 2);
  EXPECT_EQ(g_runningJobs.load(), 0);
  EXPECT_EQ(filesIn(g_myOrbxFolder), (std::set<std::string>{"EGLL.txt", "EGKK.xml"}));
  EXPECT_EQ(filesIn(g_myThirdpartyFolder),
            (std::set<std::string>{"EDDF.txt", "EDDM.txt", "EDDM.xml", "LFPG.xml", "LEAV.xml"}));
  EXPECT_EQ(filesIn(g_tbloFolder), (std::set<std::string>{"EGKK.xml", "LFPG.xml", "EDDF.xml"}));
  EXPECT_EQ(text("airports/my_ORBX/EGLL.txt"), "archive/simaddon/EGLL.xml\n");
  EXPECT_EQ(text("airports/my_thirdparty/EDDF.txt"), "archive/thirdparty/North%20Sky/EDDF.xml\n");
  EXPECT_EQ(text("airports/my_thirdparty/EDDM.txt"), "archive/thirdparty/North%20Sky/EDDM.xml\n");
  // Generated files are whole airport files with the scenery's stands sorted by name.
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((m_dir / "TBLO" / "EGKK.xml").c_str()));
  Lines ids;
  for (const auto& p : doc.select_nodes("//parkpos")) ids.push_back(p.node().attribute("id").value());
  EXPECT_EQ(ids, (Lines{"g1", "g2", "helipad1"}));

  const std::string lfpg = gf_pathText(addons("Other/LFPG.bgl"));
  const Lines expected = {
      "Scanning for addon airports in " + gf_pathText(addons()),
      "Scanning for addon airports in " + gf_pathText(m_dir / "P3D"),
      "from filename => publisher  simaddon", "simaddon airport EGLL linked to archive/simaddon/EGLL.xml",
      "from filename => publisher  simaddon", "EGKK does not exist as simaddon",
      "Generated EGKK.xml: 3 positions, of which 1 helipad",
      "from filename => publisher  simaddon", "EGKK does not exist as simaddon",
      "Generated EGKK.xml: 3 positions, of which 1 helipad",
      "thirdparty airport EDDF linked to archive/thirdparty/North%20Sky/EDDF.xml",
      "===> EDDF has 3 parkpos while archived one has 2", "Generated EDDF.xml: 3 positions",
      "thirdparty airport EDDM linked to archive/thirdparty/North%20Sky/EDDM.xml",
      "===> EDDM has 2 parkpos while archived one has 0", "Generated EDDM.xml: 2 positions",
      "skipped position with radius 250.0 meters, in " + lfpg,
      "===> LFPG has 1 parkpos while archived one has 0", "Generated LFPG.xml: 1 position",
      "===> LEAV has 7 parkpos while archived one has 0", "Generated LEAV.xml: 7 positions"};
  Lines log = readLines(m_dir / "AirportsScanLog.txt");
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.front(), expected.front());
  // Each expected line once per time expected; what is left are the lines of the two broken files,
  // whose walks end where they break.
  Lines rest = log;
  for (const std::string& line : expected) {
    const auto at = std::find(rest.begin(), rest.end(), line);
    EXPECT_NE(at, rest.end()) << line;
    if (at != rest.end()) rest.erase(at);
  }
  ASSERT_EQ(rest.size(), 2u) << ::testing::PrintToString(rest);
  for (const char* file : {"Other/cut.bgl", "Other/lying.bgl"})
    EXPECT_EQ(std::count_if(rest.begin(), rest.end(),
                            [&](const std::string& l) {
                              return l.starts_with("===> " + gf_pathText(addons(file)) + " is damaged, read no further: ");
                            }),
              1)
        << file;
  EXPECT_TRUE(logHas("===> Exception in lf_toParkingPositions: " + gf_pathText(addons("Other/cut.bgl"))));
  EXPECT_TRUE(logHas("===> Exception in lf_toParkingPositions: " + gf_pathText(addons("Other/lying.bgl"))));
  EXPECT_TRUE(logHas("===> North Sky EDDM EDDM invalid stoi argument"));
  EXPECT_TRUE(logHas(gf_pathText(m_dir / "Gone") + " does not exist, skipped!"));
  EXPECT_TRUE(logHas("Airports scan successful"));

  EXPECT_EQ(g_offlineLearningCopies.load(), 3);
  EXPECT_TRUE(g_simaddonAirportsDone.load());
  EXPECT_EQ(g_mainWindow.simaddonComplete.load(), 1);  // the count is painted in lime
  EXPECT_EQ(SCAN_AIRPORTS.value, 0);
  EXPECT_NE(readFile(m_dir / "parameters.xml").find("name=\"SCAN_AIRPORTS\" value=\"false\""), std::string::npos);
}

TEST_F(ScanRun, ManualFoldersAndTheirUserErrors) {
  AFG_AUTOMATIC.value = 0;
  SCAN_AIRPORTS.value = 1;
  try {
    gf_scanAddOnAirports();
    ADD_FAILURE() << "no user error";
  } catch (const UserErrorException& e) {
    EXPECT_STREQ(e.what(), "49: Set afolder parameter(-s) to your add-on airports first, see Manual 6.1");
  }
  EXPECT_EQ(SCAN_AIRPORTS.value, 1);

  afolder3.setValue(gf_pathText(m_stock / "Addon Airports"));
  EXPECT_EQ(thrownText<UserErrorException>([] { gf_scanAddOnAirports(); }),
            "42: parameter afolder3 points to stock airports instead of add-on airports!");
  EXPECT_EQ(SCAN_AIRPORTS.value, 1);

  // A folder beside the stock one whose name begins the same is an add-on folder.
  afolder3.setValue(gf_pathText(m_dir / "P3D" / "Scenery2"));
  fs::create_directories(m_dir / "P3D" / "Scenery2");
  afolder7.setValue(gf_pathText(m_dir / "file.txt"));
  writeFile(m_dir / "file.txt", "x");
  gf_scanAddOnAirports();
  EXPECT_TRUE(logHas(gf_pathText(m_dir / "file.txt") + " is not a folder name, skipped!"));
  EXPECT_TRUE(logHas("Warning: Scan has not found any add-on airports"));
  EXPECT_EQ(readLines(m_dir / "AirportsScanLog.txt"),
            Lines{"Scanning for addon airports in " + gf_pathText(m_dir / "P3D" / "Scenery2")});
  EXPECT_EQ(SCAN_AIRPORTS.value, 0);
}

TEST_F(ScanRun, ALinkFileThatCannotBeWrittenIsNotALink) {
  bgl("ORBX_EGLL/EGLL.bgl", bglgen::build(airport("EGLL", 2)));
  fs::create_directories(g_myOrbxFolder / "EGLL.txt");  // a folder where the link file should go
  EXPECT_TRUE(lf_scanAirportFolders({gf_pathText(addons())}));
  EXPECT_TRUE(fs::exists(g_myOrbxFolder / "EGLL.xml"));
  const Lines log = readLines(m_dir / "AirportsScanLog.txt");
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "===> link file " + gf_pathText(g_myOrbxFolder / "EGLL.txt") + " could not be written"),
            log.end());
  EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.find("linked to") != std::string::npos; }), 0);
}

TEST_F(ScanRun, NothingFoundOrAnExitLeavesAnEmptyResultAndTheLog) {
  bgl("Other/LFPG.bgl", bglgen::build(airport("LFPG", 1)));
  g_exitUnderWay = 1;  // no job starts
  EXPECT_FALSE(lf_scanAirportFolders({gf_pathText(addons()), "", gf_pathText(m_dir / "none")}));
  EXPECT_TRUE(filesIn(g_myThirdpartyFolder).empty());
  EXPECT_EQ(readLines(m_dir / "AirportsScanLog.txt"), Lines{"Scanning for addon airports in " + gf_pathText(addons())});
  EXPECT_FALSE(fs::exists(g_tbloFolder));
  EXPECT_EQ(g_offlineLearningCopies.load(), 0);
}

TEST_F(ScanRun, AFileThatNamesOneAirportAgainAndAgainIsScannedOnceAndTheScanEnds) {
  // 392 KB: 20,000 subsection headers naming one airport of 2,000 stands, and a damaged file
  // beside it; the scan ends, clears its setting, and writes the airport once.
  bglgen::File f;
  f.sections[0].airports = {airport("LFPG", 2000)};
  f.sections[0].subsectionHeaders = 20000;
  bgl("Other/LFPG.bgl", bglgen::build(f));
  std::vector<std::uint8_t> cut = bglgen::build(airport("LFOB", 4));
  cut.resize(cut.size() - 30);
  bgl("Other/cut.bgl", cut);
  afolder0.setValue(gf_pathText(addons()));
  AFG_AUTOMATIC.value = 0;
  SCAN_AIRPORTS.value = 1;

  const auto start = std::chrono::steady_clock::now();
  std::future<void> scan = std::async(std::launch::async, [] { gf_scanAddOnAirports(); });
  const bool ended = scan.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("    the scan took %.2f s\n", seconds);
  RecordProperty("scan_seconds", std::to_string(seconds));
  ASSERT_TRUE(ended) << "the scan has not ended after 60 s";
  scan.get();

  EXPECT_EQ(SCAN_AIRPORTS.value, 0);
  const Lines log = readLines(m_dir / "AirportsScanLog.txt");
  EXPECT_EQ(std::count(log.begin(), log.end(), "Generated LFPG.xml: 2000 positions"), 1);
  EXPECT_EQ(std::count(log.begin(), log.end(),
                       "===> " + gf_pathText(addons("Other") / "LFPG.bgl") +
                           " names bytes it holds more than once: 19999 repeated parts and 0 repeated airports skipped"),
            1);
  EXPECT_TRUE(logHas("===> Exception in lf_toParkingPositions: " + gf_pathText(addons("Other") / "cut.bgl")));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((g_myThirdpartyFolder / "LFPG.xml").c_str()));
  EXPECT_EQ(doc.select_nodes("//parkpos").size(), 2000u);
}

TEST_F(ScanRun, OfflineLearningListAndUnsuitableFilesStay) {
  for (const char* name : {"abc.xml", "EGLL2.xml", "EGLL.XML", "EDDF.xml", "LFPG.txt"})
    writeFile(g_myThirdpartyFolder / name, "x");
  fs::create_directories(g_myThirdpartyFolder / "KJFK.xml");
  EXPECT_EQ(sorted(gf_listXmlFiles(g_myThirdpartyFolder)), (Lines{"EDDF", "EGLL"}));

  m_suitable = {};
  EXPECT_FALSE(lf_scanAirportFolders({}));
  EXPECT_FALSE(fs::exists(g_tbloFolder));
  EXPECT_TRUE(fs::exists(g_myThirdpartyFolder / "EDDF.xml"));
  EXPECT_TRUE(logHas("All your third party airports are done, no off line learning needed."));
  EXPECT_TRUE(g_simaddonAirportsDone.load());

  gf_clearFolder(g_myThirdpartyFolder);
  EXPECT_TRUE(filesIn(g_myThirdpartyFolder).empty());
  gf_clearFolder(m_dir / "missing");
}

// The window's simaddon count turns lime once every generated simaddon file was copied for offline
// learning or found unsuitable, also when the window showed it yellow before.
TEST_F(ScanRun, EverySimaddonFileHandledShowsTheCountComplete) {
  for (const char* name : {"EGKK.xml", "EGLL.xml", "LFPG.xml"}) writeFile(g_myOrbxFolder / name, "x");
  m_suitable = {"EGKK", "LFPG"};
  g_mainWindow.simaddonComplete = 0;
  lf_scanAirportFolders({});
  EXPECT_EQ(g_offlineLearningCopies.load(), 2);
  EXPECT_TRUE(fs::exists(g_tbloFolder / "EGKK.xml"));
  EXPECT_FALSE(fs::exists(g_tbloFolder / "EGLL.xml"));
  EXPECT_TRUE(g_simaddonAirportsDone.load());
  EXPECT_EQ(g_mainWindow.simaddonComplete.load(), 1);
}

// A scan after an earlier one copies over the copies that one left for offline learning.
TEST_F(ScanRun, ASecondScanReplacesTheOfflineLearningCopies) {
  fs::create_directories(g_tbloFolder);
  writeFile(g_tbloFolder / "EGKK.xml", "from the scan before");
  writeFile(g_myOrbxFolder / "EGKK.xml", "x");
  m_suitable = {"EGKK"};
  lf_scanAirportFolders({});
  EXPECT_EQ(g_offlineLearningCopies.load(), 1);
  EXPECT_EQ(readFile(g_tbloFolder / "EGKK.xml"), "x");
  EXPECT_FALSE(logHas("failed to copy " + gf_pathText(g_myOrbxFolder / "EGKK.xml")));
}

}  // namespace
}  // namespace amb::test
