// The AI package and registration-code files the main job is given (tools/ailibgen, tools/dbgen),
// from a small recording: scanned, built and matched as the program does at its first start.

#include "ailibgen/ailibgen.hpp"
#include "liveries/scan_run.hpp"
#include "liveries_fixture.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"

#include <map>
#include <tuple>

namespace amb::test {
namespace {

namespace fs = std::filesystem;

// A traffic line with the fields the generator reads: callsign, type, registration.
std::string trafficLine(const std::string& callsign, const std::string& type, const std::string& reg) {
  std::string line = "RTTFC,1,40.6,-73.7,0,0,0,0,0," + callsign + "," + type + "," + reg + ",JFK,LHR,1551821332.89";
  for (int i = 15; i < 30; ++i) line += ",x";
  return line;
}

class GeneratedPackage : public LiveriesTest {
protected:
  void TearDown() override {
    gf_setStringOption(lfolder0, "");
    LiveriesTest::TearDown();
  }
};

TEST_F(GeneratedPackage, ItsRegistrationCodesNameItsSpecialAndRetiredLiveries) {
  std::string recording;
  for (const auto& [callsign, type, reg] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"DAL1", "A321", "N1AA"}, {"DAL2", "A321", "N2AA"}, {"DAL3", "A321", "N3AA"}, {"DAL4", "A321", "N4AA"},
           {"DAL5", "A321", "N1AA"}, {"UAL1", "A321", "N5AA"}, {"UAL2", "A321", "N6AA"}, {"FDX1", "B763", "N7AA"},
           {"FDX2", "B763", "N8AB"}, {"FDX3", "B763", "N9AC"}, {"FDX4", "B763", "N0AD"}, {"N12CS", "C172", "N12CS"}})
    recording += trafficLine(callsign, type, reg) + "\n";
  writeFile(path("traffic.rttfc"), recording);
  const auto library = ailibgen::fromRecording(path("traffic.rttfc"), ailibgen::kCargoAirlines);
  ailibgen::writePackage(library, path("ailib"));
  const auto files = ailibgen::regcodeFiles(library);
  // Airlines in code order take turns: DAL and UAL in the downloaded list, FDX in the user's file.
  std::vector<std::string> download;
  for (const auto& l : files.download) download.push_back(l.title + (l.special ? " (special)" : ""));
  EXPECT_EQ(download, (std::vector<std::string>{"Ambertrail AI A321 DAL", "Ambertrail AI A321 DAL N2AA (special)",
                                                "Ambertrail AI A321 DAL retired",
                                                "Ambertrail AI A321 UAL N6AA (special)"}));
  EXPECT_EQ(files.userLines, (std::vector<std::string>{"Ambertrail AI B763 FDX;N9AC,N0AD",
                                                       "Ambertrail AI B763 FDX N8AB;N8AB",
                                                       "Ambertrail AI B763 FDX retired"}));
  dbgen::writeZip(path("server/AIG-regcodes.zip"), {{"AIG-regcodes.xml", dbgen::writeAigRegcodes(files.download)}});
  std::string user;
  for (const auto& line : files.userLines) user += line + "\r\n";
  writeUserFile("ambertrail.txt", user);

  g_validModels = {"A321", "B763", "C172"};
  g_icaoAirlines = {"DAL", "UAL", "FDX"};
  g_largeModels = {"A321"};
  g_heavyModels = {"B763"};
  SCAN_LIVERIES.value = 1;
  LIG_AUTOMATIC.value = 0;
  gf_setStringOption(lfolder0, gf_pathText(path("ailib") / "SimObjects"));
  lf_scanLiveries();

  // The retired liveries were skipped; the package's private A321 and B763 have neither airline nor
  // registration and are not taken on types that large.
  EXPECT_TRUE(logHas("1 don't use title read"));
  EXPECT_TRUE(logHas("1 don't use title read from files in " + gf_pathText(g_myRegcodesFolder)));
  EXPECT_EQ(gf_findStoredTitle("Ambertrail AI A321 DAL retired"), "");
  EXPECT_EQ(gf_findStoredTitle("Ambertrail AI B763 FDX retired"), "");
  EXPECT_NE(gf_findStoredTitle("Ambertrail AI C172 private"), "");
  const std::map<std::string, std::string> expected{
      {"N1AA", "Ambertrail AI A321 DAL"},      {"N2AA", "Ambertrail AI A321 DAL N2AA"},
      {"N3AA", "Ambertrail AI A321 DAL"},      {"N4AA", "Ambertrail AI A321 DAL"},
      {"N5AA", "Ambertrail AI A321 UAL"},      {"N6AA", "Ambertrail AI A321 UAL N6AA"},
      {"N7AA", "Ambertrail AI B763 FDX"},      {"N8AB", "Ambertrail AI B763 FDX N8AB"},
      {"N9AC", "Ambertrail AI B763 FDX"},      {"N0AD", "Ambertrail AI B763 FDX"}};
  std::map<std::string, std::string> codes;
  for (const auto& [code, title] : g_regcodes) codes.emplace(code, std::string(title));
  EXPECT_EQ(codes, expected);
  std::vector<std::string> special(g_titlesInUse.begin(), g_titlesInUse.end());
  std::sort(special.begin(), special.end());
  EXPECT_EQ(special, (std::vector<std::string>{"Ambertrail AI A321 DAL N2AA", "Ambertrail AI A321 UAL N6AA",
                                               "Ambertrail AI B763 FDX N8AB"}));
  for (const auto& line : log()) EXPECT_EQ(line.rfind("===> ", 0), std::string::npos) << line;

  // The special livery flies for its own aircraft only.
  AcData own = aircraft("DAL", "A321", "N2AA");
  lf_matchLivery(own);
  EXPECT_EQ(own.liveryTitle, "Ambertrail AI A321 DAL N2AA");
  AcData other = aircraft("DAL", "A321", "N999DL");
  lf_matchLivery(other);
  EXPECT_EQ(other.liveryTitle, "Ambertrail AI A321 DAL");
  EXPECT_EQ(g_matchStepCounts[0], 1);
  EXPECT_EQ(g_matchStepCounts[1], 1);
}

}  // namespace
}  // namespace amb::test
