// The matching ladder on the reference library, the refusals and the reports.

#include "records/parking.hpp"
#include "core/user_error.hpp"
#include "liveries_fixture.hpp"

#include <atomic>
#include <thread>

namespace amb::test {
namespace {

class Matching : public LiveriesTest {
protected:
  void SetUp() override {
    LiveriesTest::SetUp();
    referenceDataBase();
    writeScanned(referenceLiveries());
    writeUserFile("mine.txt", "A320 KLM 1 special;PH-AAA\n");
    lf_processScannedLiveries();
  }
  std::int32_t counted() const {
    std::int32_t n = 0;
    for (std::int32_t c : g_matchStepCounts) n += c;
    return n;
  }
};

struct Row {
  const char* name;
  const char* airline;
  const char* type;
  const char* reg;
  bool cargo;
  int depth;
  const char* title;  // "" when none
  int step;           // 0 when none
};

const Row kRows[] = {
    {"registration", "BAW", "A320", "G-EUUB", false, 4, "A320 BAW 2 G-EUUB", 1},
    {"registration's second form", "BAW", "A320", "GEUUB", false, 4, "A320 BAW 2 G-EUUB", 1},
    {"airline and type, title order", "BAW", "A320", "", false, 4, "A320 BAW 1", 2},
    {"special skipped", "KLM", "A320", "", false, 4, "A320 KLM 2", 2},
    {"special for its registration", "KLM", "A320", "PH-AAA", false, 4, "A320 KLM 1 special", 1},
    {"similar type, special skipped", "KLM", "A321", "", false, 4, "A320 KLM 2", 3},
    {"depth 2 stops before similar types", "KLM", "A321", "", false, 2, "", 0},
    {"similar type of the airline", "DLH", "A320", "", false, 4, "A319 DLH 1", 3},
    {"operator set: second lookup by the record's airline", "SHT", "A320", "G-EUYA", false, 4, "A320 BAW 1", 2},
    {"no operator: no second lookup, generic", "SHT", "A320", "G-EUUC", false, 4, "A320 ZZZ generic", 4},
    {"second lookup keyed by airline, heavy gets no type-only", "DLH", "B77L", "D-ALCA", true, 4, "", 0},
    {"cargo livery", "GEC", "B77L", "", true, 4, "B77L GEC 1", 2},
    {"cargo of the airline", "DLH", "B744", "", true, 4, "B744 DLH cargo", 2},
    {"passenger never gets cargo", "DLH", "B744", "", false, 4, "B744 ZZZ generic", 4},
    {"heavy at depth 3", "DLH", "B744", "", false, 3, "", 0},
    {"freighter falls back to passenger", "BAW", "A320", "", true, 4, "A320 BAW 1", 2},
    {"private: generic first, then its own", "PVT", "C172", "N12345", false, 4, "C172 PVT 1", 2},
    {"private generic at depth 2", "PVT", "A320", "", false, 2, "A320 ZZZ generic", 4},
    {"similar type alone", "", "PA28", "", false, 3, "C172 PVT 1", 6},
    {"type alone", "", "C182", "", false, 3, "C182 FSLTL_PVT", 5},
    {"freighter at steps 5 and 6: cargo only", "", "C172", "", true, 3, "", 0},
    {"no livery of the type", "", "B77W", "", false, 4, "", 0},
    {"depth 1: registration only", "BAW", "A320", "", false, 1, "", 0},
};

TEST_F(Matching, EveryReferenceRowGivesItsTitleAtItsStep) {
  for (const Row& row : kRows) {
    SCOPED_TRACE(row.name);
    MATCHING_DEPTH.value = row.depth;
    AcData ac = aircraft(row.airline, row.type, row.reg, row.cargo);
    const auto before = g_matchStepCounts;
    lf_matchLivery(ac);
    EXPECT_EQ(ac.liveryTitle, row.title);
    for (int s = 1; s <= 6; ++s)
      EXPECT_EQ(g_matchStepCounts[s - 1] - before[s - 1], s == row.step ? 1 : 0) << "step " << s;
    EXPECT_EQ(ac.fsltlTitle, std::string_view(row.title).find("FSLTL_") != std::string_view::npos ? 1 : 0);
  }
  EXPECT_TRUE(logHas("          " + aircraft("", "C182").description() + " =5= C182 FSLTL_PVT"));
}

// With depth 3 a light aircraft of an airline without a livery of its own takes the generic livery
// of its type (step 4) before any livery of its type.
class MatchingWithLightGeneric : public LiveriesTest {
protected:
  void SetUp() override {
    LiveriesTest::SetUp();
    referenceDataBase();
    std::vector<LiveryData> liveries = referenceLiveries();
    liveries.push_back({"ZZZ", "C182", "C182 ZZZ generic", "", 1, false});
    writeScanned(liveries);
    lf_processScannedLiveries();
  }
};

TEST_F(MatchingWithLightGeneric, ALightAircraftTakesTheGenericLiveryAtDepthThree) {
  MATCHING_DEPTH.value = 3;
  AcData ac = aircraft("SHT", "C182");
  const auto before = g_matchStepCounts;
  lf_matchLivery(ac);
  EXPECT_EQ(ac.liveryTitle, "C182 ZZZ generic");
  EXPECT_EQ(g_matchStepCounts[3] - before[3], 1);
}

TEST_F(Matching, AnExcludedTitleEndsTheLadderUncounted) {
  g_excludedTitles.push_back("A320 BAW 1");
  AcData ac = aircraft("BAW", "A320");
  lf_matchLivery(ac);
  EXPECT_TRUE(ac.liveryTitle.empty());
  EXPECT_EQ(counted(), 0);
  // From the registration too, although later steps would find another title.
  g_excludedTitles.push_back("A320 BAW 2 G-EUUB");
  AcData byReg = aircraft("BAW", "A320", "G-EUUB");
  lf_matchLivery(byReg);
  EXPECT_TRUE(byReg.liveryTitle.empty());
}

TEST_F(Matching, ParkedAircraftTakeTheStandsKindAndCountNothing) {
  Stand pax;
  pax.name = "A12";
  Stand cargo = pax;
  cargo.cargo = 1;
  AcData a321 = aircraft("BAW", "A321");
  EXPECT_TRUE(lf_matchParkedLivery(a321, pax));
  EXPECT_EQ(a321.liveryTitle, "A321 BAW 1");
  AcData freighter = aircraft("DLH", "B744");
  EXPECT_TRUE(lf_matchParkedLivery(freighter, cargo));
  EXPECT_EQ(freighter.liveryTitle, "B744 DLH cargo");
  AcData b744 = aircraft("DLH", "B744");
  EXPECT_TRUE(lf_matchParkedLivery(b744, pax));
  EXPECT_EQ(b744.liveryTitle, "B744 ZZZ generic");
  EXPECT_EQ(b744.fsltlTitle, 0);

  // A title already set is kept, excluded or not, with only the "=s=" line.
  g_excludedTitles.push_back("B744 ZZZ generic");
  EXPECT_TRUE(lf_matchParkedLivery(b744, pax));
  EXPECT_TRUE(logHas("          " + b744.description() + " =s= B744 ZZZ generic"));

  MATCHING_DEPTH.value = 3;
  AcData b77w = aircraft("DLH", "B77W");
  EXPECT_FALSE(lf_matchParkedLivery(b77w, pax));
  EXPECT_TRUE(logHas(fmt::format("{:8}: {} no livery match ...", "A12", b77w.callsignRegModel())));
  EXPECT_EQ(counted(), 0);
}

TEST_F(Matching, WithRandomOnSpecialTitlesAreNeverPickedWhileAFreeOneExists) {
  gf_setRandomOn(true);
  gf_randomEngine().seed(12345);
  for (int i = 0; i < 200; ++i) {
    AcData ac = aircraft("KLM", "A320");
    lf_matchLivery(ac);
    ASSERT_EQ(ac.liveryTitle, "A320 KLM 2");
  }
  // Only special candidates: none at this step, the generic one at the next.
  gf_addTitleInUse(gf_findStoredTitle("A320 KLM 2"));
  AcData ac = aircraft("KLM", "A320");
  lf_matchLivery(ac);
  EXPECT_EQ(ac.liveryTitle, "A320 ZZZ generic");
}

class Refusals : public Matching {
protected:
  // A refusal of a title of the library; returns the error text it raised, if any.
  std::string refuse(const std::string& title, const std::string& airline = "BAW", const std::string& type = "A320") {
    AcData ac = aircraft(airline, type);
    ac.liveryTitle = gf_findStoredTitle(title);
    return thrownText<UserErrorException>([&] { gf_liveryCouldNotBeCreated(ac); });
  }
};

TEST_F(Refusals, TheTwentiethRaisesError81OnceAfterTheExclusion) {
  for (int i = 0; i < 19; ++i) EXPECT_EQ(refuse("A320 BAW 1"), "no exception");
  EXPECT_EQ(g_excludedTitles.size(), 19u);
  EXPECT_TRUE(logHas("CSA320 \"A320 BAW 1\" could not be created by your Sim!"));
  EXPECT_EQ(refuse("A320 KLM 2", "KLM"),
            "81: there are too many liveries that could not be created by P3D!, see Log.txt");
  EXPECT_EQ(g_excludedTitles.back(), "A320 KLM 2");
  EXPECT_TRUE(logHas("===> Error 81, there are too many liveries that could not be created by P3D!"));
  EXPECT_EQ(refuse("A321 BAW 1", "BAW", "A321"), "no exception");
  EXPECT_EQ(g_excludedTitles.size(), 21u);
  // Nothing is counted while the program stops.
  g_exitUnderWay = 1;
  refuse("A319 DLH 1");
  EXPECT_EQ(g_excludedTitles.size(), 21u);
}

TEST_F(Refusals, TheSummaryListsEachRefusedTypeAndAirlineOnce) {
  AcData ac = aircraft("BAW", "A320");
  lf_matchLivery(ac);
  refuse("A320 BAW 1");
  refuse("A320 BAW 1");
  refuse("B744 DLH cargo", "DLH", "B744");
  gf_logMatchingSummary();
  const std::string stars(31, '*');
  EXPECT_EQ(logFrom(stars), (std::vector<std::string>{
                                stars + " live traffic livery matching summary " + stars, "Matches at step: ",
                                "  1: 0", "  2: 1", "  3: 0", "  4: 0", "  5: 0", "  6: 0", "",
                                "Could not be created by P3D:", "  A320 BAW", "  B744 DLH", std::string(100, '*'),
                                ""}));
}

TEST_F(Matching, TheSummaryWithoutRefusalsAndTheNoMatchList) {
  gf_logMatchingSummary();
  const auto lines = logFrom(std::string(31, '*'));
  ASSERT_GE(lines.size(), 9u);
  EXPECT_EQ(lines[0].size(), 100u);
  EXPECT_EQ(lines[8], std::string(100, '*'));

  g_noMatchSet = {"SHT A320", "BAW B77W"};
  LOG.value = 0;
  gf_logNoMatches();
  EXPECT_FALSE(logHas("No match found for: "));
  LOG.value = 1;
  gf_logNoMatches();
  EXPECT_EQ(logFrom("No match found for: "),
            (std::vector<std::string>{"No match found for: ", "BAW B77W", "SHT A320", ""}));
}

TEST_F(Matching, ARescanRebuildsWhileTheEngineKeepsMatchingOnItsThread) {
  // The window thread asks for the rescan while the worker matches; the worker rebuilds at its next
  // start-up, when its matching has stopped.
  std::atomic<bool> stop{false};
  std::atomic<int> matched{0};
  std::thread worker([&] {
    while (!stop) {
      AcData ac = aircraft("BAW", "A320");
      lf_matchLivery(ac);
      if (ac.liveryTitle == "A320 BAW 1") ++matched;
    }
  });
  std::thread window([] { gf_requestLiveryTablesRebuild(); });
  window.join();
  ASSERT_TRUE(waitFor([&] { return matched > 100; }));
  stop = true;
  worker.join();
  EXPECT_EQ(g_liveryTablesBuilt, 0);
  std::vector<LiveryData> changed = referenceLiveries();
  changed[0].title = "A320 BAW renamed";
  writeScanned(changed);
  lf_processScannedLiveries();
  AcData ac = aircraft("BAW", "A320");
  lf_matchLivery(ac);
  EXPECT_EQ(ac.liveryTitle, "A320 BAW 2 G-EUUB");  // "A320 BAW renamed" sorts after it
  EXPECT_EQ(gf_findStoredTitle("A320 BAW 1"), "");
}

TEST_F(Matching, RefusedTitlesStayBannedAcrossARebuild) {
  AcData refused = aircraft("BAW", "A320");
  refused.liveryTitle = gf_findStoredTitle("A320 BAW 1");
  gf_liveryCouldNotBeCreated(refused);
  gf_requestLiveryTablesRebuild();
  lf_processScannedLiveries();  // the old title strings are gone
  AcData ac = aircraft("BAW", "A320");
  lf_matchLivery(ac);
  EXPECT_TRUE(ac.liveryTitle.empty());
  EXPECT_EQ(g_excludedTitles, (std::vector<std::string>{"A320 BAW 1"}));
}

}  // namespace
}  // namespace amb::test
