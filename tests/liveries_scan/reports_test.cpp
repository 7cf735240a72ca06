// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The scan's results as the user finds them: "LiveriesScanned.xml" and the seven report files of a
// fixture tree against goldens, the corrections from the data base, what the report block logs, and
// a failing job.

#include "liveries/cfg_section.hpp"
#include "liveries/folder_search.hpp"
#include "liveries_scan/scan_fixture.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"

#include <regex>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::LiveryScanTest;
using test::section;

const std::vector<std::string> kA320 = {"model", "texture.T", "A320.air"};
const std::string kKeys = "sim=A320\nmodel=\ntexture=T\n";

class ScanReportsTest : public LiveryScanTest {
protected:
  void SetUp() override {
    LiveryScanTest::SetUp();
    fs::create_directories(m_dir / "output" / "info");
  }
  void TearDown() override {
    g_liveryFileJob = nullptr;
    gf_setStringOption(lfolder0, "");
    LiveryScanTest::TearDown();
  }
  // A file's text with the working folder as "{root}", '/' between folders and "\n" line ends, so
  // that it reads the same on every platform and in every run.
  std::string portable(const fs::path& file) const {
    std::string text = test::readFile(file);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    const std::string root = gf_pathText(m_dir.path());
    for (std::size_t at; (at = text.find(root)) != std::string::npos;) text.replace(at, root.size(), "{root}");
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
  }
  static std::string golden(const std::string& name) {
    return test::readFile(fs::path(AMB_SOURCE_DIR) / "tests" / "liveries_scan" / "golden" / name);
  }
  std::vector<std::string> logAfter(const std::string& line) const {
    const auto lines = logLines();
    auto it = std::find(lines.begin(), lines.end(), line);
    return {it, lines.end()};
  }
};

// Every kind of finding once or twice, in a tree of eight aircraft folders.
TEST_F(ScanReportsTest, TheFixtureTreeGivesTheGoldenFiles) {
  const std::string general = "[General]\natc_model=A320\n";
  // Three liveries; D-ABYA is a DLH freighter of type B744 in the data base.
  aircraft("lib/a_good", general + section(1, "title=A320 BAW one\natc_parking_codes=BAW\natc_id=G-EUUA\n" + kKeys) +
                             section(0, "title=A320 KLM one\natc_parking_codes=KLM\natc_id=D-ABYA\n" + kKeys) +
                             section(2, "title=A320 generic\natc_parking_codes=ZZZ\natc_id=G-EUUA\n" + kKeys),
           kA320);
  // A model code the data base corrects, an airline code it does not know (private on a small type).
  aircraft("lib/b_fix", "[General]\natc_model=A32N\n" + section(0, "title=A20N odd airline\natc_parking_codes=QQQ\n" + kKeys),
           kA320);
  aircraft("lib/c_unknown", "[General]\natc_model=XYZ9\n" + section(0, "title=Unknown type\n" + kKeys), kA320);
  aircraft("lib/d_numbers", general + section(0, "title=Gap zero\n" + kKeys) + section(2, "title=Gap two\n" + kKeys),
           kA320);
  aircraft("lib/e_nomodel", section(0, "title=No model\n" + kKeys), kA320);
  aircraft("lib/f_incomplete",
           general + section(0, "title=A320 no texture\natc_parking_codes=BAW\nsim=A320\nmodel=\ntexture=MISSING") +
               section(1, "atc_parking_codes=BAW\n" + kKeys) + section(2, "title=A320 nobody\n" + kKeys) +
               section(3, "title=A320 twice\ntitle=A320 again\natc_parking_codes=BAW\n" + kKeys),
           kA320);
  aircraft("lib/g_empty", general, kA320);
  aircraft("lib/h_cargo",
           "[General]\natc_model=B744\n" +
               section(0, "title=B744 DLH freighter\natc_parking_codes=DLH\natc_parking_types=GATE,CARGO\nsim=B744\n"
                          "model=\ntexture=T"),
           {"model", "texture.T", "B744.air"});

  LIG_AUTOMATIC.value = 0;
  SCAN_LIVERIES.value = 1;
  gf_setStringOption(lfolder0, gf_pathText(m_dir / "lib"));
  lf_scanLiveries();

  std::string scanned = portable(g_liveriesScannedPath);
  scanned = std::regex_replace(scanned, std::regex(R"(name="date" value="[^"]*")"), R"(name="date" value="{date}")");
  EXPECT_EQ(scanned, golden("LiveriesScanned.xml"));
  for (const fs::path& report :
       {g_invalidAirlineCodesPath, g_invalidAircraftCodesPath, g_fixesPath, g_invalidAircraftCfgFilesPath,
        g_incompleteFltsimSectionsPath, g_outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt",
        g_outputInfoFolder / "AirlineModelConversions.txt"}) {
    SCOPED_TRACE(gf_pathText(report));
#ifdef _WIN32
    // The working folder's drive letter sorts apart from "/": the lines, not their order.
    const auto sorted = [](const std::string& text) {
      std::vector<std::string> lines;
      for (std::size_t from = 0, to; (to = text.find('\n', from)) != std::string::npos; from = to + 1)
        lines.push_back(text.substr(from, to - from));
      std::sort(lines.begin(), lines.end());
      return lines;
    };
    EXPECT_EQ(sorted(portable(report)), sorted(golden(gf_pathText(report.filename()))));
#else
    EXPECT_EQ(portable(report), golden(gf_pathText(report.filename())));
#endif
  }
  const auto see = [](const fs::path& p) { return ", see " + gf_pathText(p); };
  const auto block = logAfter("Errors:");
  ASSERT_GE(block.size(), 10u);
  EXPECT_EQ(std::vector<std::string>(block.begin(), block.begin() + 10),
            (std::vector<std::string>{"Errors:", "1 invalid airline code" + see(g_invalidAirlineCodesPath),
                                      "1 invalid model code" + see(g_invalidAircraftCodesPath),
                                      "1 code fixes" + see(g_fixesPath),
                                      "2 invalid aircraft.cfg files" + see(g_invalidAircraftCfgFilesPath),
                                      "4 incomplete [fltsim.x] sections" + see(g_incompleteFltsimSectionsPath), "",
                                      "Information:",
                                      "1 empty aircraft.cfg files" + see(g_outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt"),
                                      "3 liveries updated with real live data from dbase" +
                                          see(g_outputInfoFolder / "AirlineModelConversions.txt")}));
}

// The data base's record of a livery's registration wins over what the configuration file says, one
// line per change in the order cargo, airline, model; the title is padded to 80 characters.
TEST_F(ScanReportsTest, CodeFixesTakeTheDataBasesRecordOfTheRegistration) {
  g_regcodeInfos["EC-MXV"] = RegcodeInfo{"IBE", "A21N", "ABC", true};
  g_regcodeInfos["F-HBNA"] = RegcodeInfo{"AFR", "A320", "", false};
  LiveryData operated{"XYZ", "A320", "Iberia A321neo", "ECMXV", 1, false};  // found as its form EC-MXV
  lf_logCodeFixes(operated);
  EXPECT_EQ(std::tuple(operated.airline, operated.type, operated.cargo), std::tuple("ABC", "A21N", true));
  const std::string longTitle(90, 'T');
  LiveryData own{"AFR", "A319", longTitle, "F-HBNA", 1, false};  // no operator: the airline code counts
  lf_logCodeFixes(own);
  LiveryData same{"AFR", "A320", "Air France", "F-HBNA", 1, false};
  LiveryData unknown{"AFR", "A320", "Air France 2", "F-XXXX", 1, true};
  LiveryData none{"AFR", "A320", "Air France 3", "", 1, true};
  for (LiveryData* l : {&same, &unknown, &none}) {
    const LiveryData before = *l;
    lf_logCodeFixes(*l);
    EXPECT_TRUE(lf_sameLivery(*l, before)) << l->title;
  }
  EXPECT_EQ(g_airlineModelConversions,
            (std::vector<std::string>{"Iberia A321neo" + std::string(66, ' ') + " ECMXV cargo false => true",
                                      "Iberia A321neo" + std::string(66, ' ') + " ECMXV airl XYZ => ABC",
                                      "Iberia A321neo" + std::string(66, ' ') + " ECMXV model A320 => A21N",
                                      longTitle + " F-HBNA model A319 => A320"}));
}

// "AirlineModelConversions.txt" is written unsorted, survives the start of the next scan, and stays
// when that scan has no conversions; the other reports go. A file of the user's own in the errors
// folder keeps the folder, which the log says; a scan without findings says "No errors".
TEST_F(ScanReportsTest, PreviousFilesNoErrorsAndTheConversionsFile) {
  g_airlineModelConversions = {"z line", "a line"};
  g_codeFixes = {"fix"};
  lf_writeScanReport();
  const fs::path conversions = g_outputInfoFolder / "AirlineModelConversions.txt";
  EXPECT_EQ(test::readLines(conversions), (std::vector<std::string>{"z line", "a line"}));
  EXPECT_EQ(test::readLines(g_fixesPath), std::vector<std::string>{"fix"});

  test::writeFile(g_outputErrorsFolder / "my notes.txt", "mine");
  lf_removePreviousScanFiles();
  EXPECT_FALSE(fs::exists(g_fixesPath));
  EXPECT_TRUE(fs::exists(g_outputErrorsFolder / "my notes.txt"));
  EXPECT_TRUE(fs::exists(conversions));
  EXPECT_TRUE(logContains("problems with removing previous files: "));

  fs::remove(g_outputErrorsFolder / "my notes.txt");
  lf_removePreviousScanFiles();
  EXPECT_FALSE(fs::exists(g_outputErrorsFolder));

  gf_resetLiveryScan();
  lf_writeScanReport();
  const auto block = logAfter("No errors");
  ASSERT_GE(block.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(block.begin(), block.begin() + 3),
            (std::vector<std::string>{"No errors", "", "Information:"}));
  EXPECT_EQ(block.size(), 3u);  // no report line follows
  EXPECT_FALSE(fs::exists(g_outputErrorsFolder));
  EXPECT_EQ(test::readLines(conversions), (std::vector<std::string>{"z line", "a line"}));
}

std::list<LiveryData> lf_throwingJob(int priority, const fs::path& file) {
  if (gf_pathText(file.parent_path().filename()).front() == 'b') throw std::runtime_error("cannot read this one");
  return lf_searchLiveriesinFile(priority, file);
}

// A job that fails loses its own file's liveries only: the others are collected in walk order, with
// the job limit holding back the walk (inner) and after it (outer).
TEST_F(ScanReportsTest, AJobThatThrowsLosesOnlyItsFile) {
  for (const char* folder : {"a", "b1", "b2", "c", "d", "e"})
    aircraft(fs::path("root") / folder,
             "[General]\natc_model=A320\n" + section(0, std::string("title=Livery ") + folder + "\natc_parking_codes=BAW\n" + kKeys),
             kA320);
  g_liveryFileJob = lf_throwingJob;
  for (const int jobs : {1, 8}) {
    SCOPED_TRACE(jobs);
    gf_resetLiveryScan();
    gf_setJobLimit(jobs);
    lf_searchLiveriesInFolder(1, m_dir / "root");
    std::vector<std::string> titles;
    for (const auto& l : g_liveryList) titles.push_back(l.title);
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, (std::vector<std::string>{"Livery a", "Livery c", "Livery d", "Livery e"}));
    EXPECT_EQ(g_runningJobs.load(), 0);
  }
  // One job at a time collects a failing one during the walk (at most one of them comes last), eight
  // collect them after it.
  EXPECT_TRUE(logHas("===> liveries search aborted, futs inner, cannot read this one"));
  EXPECT_TRUE(logHas("===> liveries search aborted, futs outer, cannot read this one"));
}

}  // namespace
}  // namespace amb
