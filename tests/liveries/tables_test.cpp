// The livery tables built from the scanned file: what they hold, the build's log block and the
// category reports.

#include "liveries_fixture.hpp"
#include "liveries/regcodes.hpp"
#include "settings/parameters.hpp"

namespace amb::test {
namespace {

class Tables : public LiveriesTest {};

TEST_F(Tables, TheReferenceBuildLogsItsBlockAndWritesTheRegcodeResults) {
  referenceDataBase();
  writeScanned(referenceLiveries());
  writeUserFile("mine.txt", "A320 KLM 1 special;PH-AAA\n");
  lf_processScannedLiveries();

  const std::string file = gf_pathText(g_liveriesScannedPath);
  const std::string folder = gf_pathText(g_myRegcodesFolder);
  const std::string offline = gf_pathText(g_outputInfoFolder / "OfflineRegcodes.txt");
  const std::vector<std::string> block{
      "12 liveries read from " + file,
      "===> downloading AIG-regcodes.zip failed?",
      "===> reading AIG-regcodes failed?",
      "Processing regcodes file \"" + gf_pathText(g_myRegcodesFolder / "mine.txt") + "\"",
      "1 liverie read",
      "Offline regcode files processed, results can be found in \"" + offline + "\"",
      "1 special liveries",
      "2 registration codes",
      "6 airlines, 6 pax aircraft models and 2 cargo aircraft models",
      "6 similar model definitions",
      "2 models have a generic livery",
      "  A320,B744",
      "Category Light: 2 pax liveries",
      "  C172,C182",
      "Category Buzjets: No livery found",
      "Category Large: 7 pax liveries",
      "  A319,A320,A321",
      "Category Heavy: 1 pax liverie and 2 cargo liveries",
      "  B744,B77L",
      "Category HighPerf: No livery found",
      "HIGH_PERF_AIRCRAFT temporary switched off because you do not have High Perf aircraft installed",
      "Category Rotorcraft: No livery found",
      "HELICOPTERS temporary switched off because you do not have Helicopters installed",
  };
  std::vector<std::string> got;
  for (const std::string& line : logFrom("12 liveries read from "))
    // The settings file's own lines are not the build's.
    if (line.find("parameters.xml") == std::string::npos && line.find("_AIRCRAFT=") == std::string::npos &&
        line.find("HELICOPTERS=") == std::string::npos)
      got.push_back(line);
  got.resize(std::min(got.size(), block.size()));
  EXPECT_EQ(got, block);
  EXPECT_EQ(linesOf(path("output/info/OfflineRegcodes.txt")),
            "Processing files in " + folder + "\n1 new regcode added, 1 regcode defined as special\n");
  EXPECT_FALSE(std::filesystem::exists(path("output/errors/InlineRegcodes.txt")));
  EXPECT_EQ(g_lightModelsWithLivery, (std::vector<std::string>{"C172", "C182"}));
  EXPECT_TRUE(g_rotorcraftModelsWithLivery.empty());
  EXPECT_EQ(HELICOPTERS.value, 0);
  EXPECT_EQ(LIGHT_AIRCRAFT.value, 1);
  EXPECT_TRUE(g_liveryList.empty());
  EXPECT_EQ(g_liveryTablesBuilt, 1);

  // A second build in the same process only says so.
  writeScanned({{"AAL", "B738", "other", "", 1, false}});
  lf_processScannedLiveries();
  EXPECT_EQ(logFrom("1 liveries in "),
            (std::vector<std::string>{"1 liveries in " + file,
                                      "Processing scanned liveries skipped; already done in previous start-up"}));
  EXPECT_TRUE(gf_hasModelLivery("C172"));
  EXPECT_FALSE(gf_hasModelLivery("B738"));
}

TEST_F(Tables, KindsModelsAndAirlineCodes) {
  std::list<LiveryData> list{{"GECX", "B77L", "freighter", "", 0, true},
                             {"BAW", "A320", "b", "", 0, false},
                             {"BAW", "A320", "a", "", 0, true},
                             {"BAW", "A320", "c", "", 0, false}};
  gf_sortLiveries(list);
  gf_buildLiveryTablesFrom(list);
  EXPECT_EQ(g_modelTitles[0].count("B77L"), 0u);
  EXPECT_EQ(g_modelTitles[1].at("B77L"), (TitleViews{"freighter"}));
  EXPECT_TRUE(gf_hasModelLivery("B77L"));
  EXPECT_TRUE(gf_hasAirlineModelLivery("GECX", "B77L"));
  EXPECT_FALSE(gf_hasAirlineModelLivery("GEC", "B77L"));
  EXPECT_EQ(g_airlineModelTitles[0].at("BAW").at("A320"), (TitleViews{"b", "c"}));
  EXPECT_EQ(g_airlineModelTitles[1].at("BAW").at("A320"), (TitleViews{"a"}));
  EXPECT_EQ(g_airlineModelTitles[0].count("GECX"), 0u);
  auto codes = gf_liveryAirlineCodes();
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<std::string>{"BAW", "GEC"}));
  // The stored title, not the caller's text.
  const std::string text = "freighter";
  EXPECT_EQ(gf_findStoredTitle(text).data(), g_airlineModels.at("GECX").at("B77L")[0].title.data());
  EXPECT_TRUE(gf_findStoredTitle("missing").empty());
}

TEST_F(Tables, GenericTypesAreLoggedTwentyToALineAndNoneIsSaid) {
  std::vector<LiveryData> liveries;
  for (int i = 0; i < 45; ++i) liveries.push_back({"ZZZ", fmt::format("T{:02}", i), fmt::format("g{}", i), "", 1, false});
  writeScanned(liveries);
  lf_processScannedLiveries();
  std::string line1 = "  ", line2 = "  ", line3 = "  T40,T41,T42,T43,T44";
  for (int i = 0; i < 20; ++i) line1 += fmt::format("{}T{:02}", i ? "," : "", i);
  for (int i = 20; i < 40; ++i) line2 += fmt::format("{}T{:02}", i > 20 ? "," : "", i);
  const auto lines = logFrom("45 models have a generic livery");
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 4),
            (std::vector<std::string>{line1, line2, line3}));

  gf_resetLiveries();
  writeScanned({{"BAW", "A320", "t", "", 1, false}});
  lf_processScannedLiveries();
  EXPECT_TRUE(logHas("No generic liveries"));
}

TEST_F(Tables, ACategoryOptionAlreadyOffIsNotSavedAgain) {
  HELICOPTERS.value = 0;
  referenceDataBase();
  writeScanned({{"BAW", "A320", "t", "", 1, false}});
  lf_processScannedLiveries();
  EXPECT_FALSE(logHas("HELICOPTERS temporary switched off because you do not have Helicopters installed"));
  EXPECT_TRUE(logHas("LIGHT_AIRCRAFT temporary switched off because you do not have light aircraft installed"));
}

TEST_F(Tables, AFailedReadBuildsNothingAndAllowsTheNextBuild) {
  EXPECT_EQ(thrownText([] { lf_processScannedLiveries(); }),
            "51: File " + gf_pathText(g_liveriesScannedPath) + " not found");
  EXPECT_EQ(g_liveryTablesBuilt, 0);
  writeScanned({{"BAW", "A320", "t", "", 1, false}});
  lf_processScannedLiveries();
  EXPECT_TRUE(gf_hasModelLivery("A320"));
}

}  // namespace
}  // namespace amb::test
