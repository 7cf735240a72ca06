#include "refdata/queries.hpp"

#include "core/strings.hpp"
#include "liveries/standin.hpp"
#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

#include <thread>

namespace amb {
namespace {

using Strings = std::vector<std::string>;

class Queries : public test::RefdataTest {
protected:
  void SetUp() override {
    test::RefdataTest::SetUp();
    gf_setRandomOn(false);
    test::writeFile(path("input/temp2.xml"), dbgen::writeXml(test::smallDataBase()));
    ASSERT_TRUE(lf_readDataBaseFile(path("input/temp2.xml")));
  }
  void TearDown() override {
    gf_setRandomOn(false);
    test::RefdataTest::TearDown();
  }
};

TEST_F(Queries, CategoryTestsTheSetsInOrder) {
  EXPECT_EQ(gf_aircraftCategory("B738"), Large);
  EXPECT_EQ(gf_aircraftCategory("B77W"), Heavy);
  EXPECT_EQ(gf_aircraftCategory("GLF5"), Buzjets);
  EXPECT_EQ(gf_aircraftCategory("EC35"), Rotorcraft);
  EXPECT_EQ(gf_aircraftCategory("F18"), HighPerf);
  EXPECT_EQ(gf_aircraftCategory("C172"), Light);
  EXPECT_EQ(gf_aircraftCategory("ZZZZ"), Light);
  EXPECT_EQ(gf_aircraftCategory(""), Light);
  // A model in two sets takes the first in order: Large before Heavy before Buzjets ...
  g_heavyModels.insert("B738");
  g_largeModels.insert("GLF5");
  g_rotorcraftModels.insert("F18");
  EXPECT_EQ(gf_aircraftCategory("B738"), Large);
  EXPECT_EQ(gf_aircraftCategory("GLF5"), Large);
  EXPECT_EQ(gf_aircraftCategory("F18"), Rotorcraft);
}

TEST_F(Queries, HalfWingspanFallsBackToTheCategoryMean) {
  EXPECT_NEAR(gf_halfWingspan("B738"), 35.8 * 0.5 / 1852, 1e-12);
  // A320 has no entry: the mean of the Large entries (B738 only).
  EXPECT_EQ(gf_halfWingspan("A320"), g_categoryHalfWingspan[Large]);
  EXPECT_EQ(gf_halfWingspan("A320"), gf_halfWingspan("B738"));
  EXPECT_EQ(gf_halfWingspan("GLF5"), g_defaultCategoryHalfWingspan[Buzjets]);
}

TEST(RegistrationVariants, Forms) {
  const std::vector<std::pair<std::string, Strings>> cases = {
      {"DABCD", {"DA-BCD", "D-ABCD", "DABCD"}},
      {"N12345", {"N12345"}},
      {"G-ABCD", {"G-ABCD"}},
      {"ABCD", {"ABCD"}},
      {"", {""}},
      {"HBJZA1", {"HB-JZA1", "H-BJZA1", "HBJZA1"}},
  };
  for (const auto& [reg, forms] : cases) EXPECT_EQ(gf_registrationVariants(reg), forms) << reg;
}

TEST_F(Queries, RegistrationLookups) {
  // D-ABCD is stored with its hyphen; DABCD finds it as the second form.
  auto info = gf_findRegcodeInfo("DABCD");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->airline, "DLH");
  EXPECT_EQ(gf_typeOfRegistration("DABCD"), "A320");
  EXPECT_EQ(gf_operatorOfRegistration("DABCD"), "");
  EXPECT_EQ(gf_airlineOfRegistration("N355DN"), "DAL");
  EXPECT_EQ(gf_operatorOfRegistration("N355DN"), "DAL");
  EXPECT_FALSE(gf_findRegcodeInfo(""));
  EXPECT_TRUE(gf_containsChar("D-ABCD", '-'));
  EXPECT_FALSE(gf_containsChar("", '-'));
  EXPECT_FALSE(gf_isIcaoAirline(""));
  EXPECT_FALSE(gf_findRegcodeInfo("N999ZZ"));
  EXPECT_EQ(gf_airlineOfRegistration(""), "");
  EXPECT_EQ(gf_typeOfRegistration("N999ZZ"), "");

  // The single step assigns into an out value that already holds a record, and leaves it when the
  // key is unknown.
  std::optional<RegcodeInfo> out = RegcodeInfo{"X", "Y", "Z", true};
  EXPECT_FALSE(gf_lookupRegcode(out, "nope"));
  EXPECT_EQ(out->airline, "X");
  EXPECT_TRUE(gf_lookupRegcode(out, "N123FE"));
  EXPECT_EQ(*out, (RegcodeInfo{"FDX", "MD11", "FDX", true}));
}

TEST_F(Queries, PrivateRegistrationInText) {
  // Keys "D-E" and "G-B" are private; the first in key order wins.
  EXPECT_EQ(gf_privateRegcodeInText("Cessna 172 D-EXYZ"), "D-E");
  EXPECT_EQ(gf_privateRegcodeInText("G-BXYZ and D-EXYZ"), "D-E");
  EXPECT_EQ(gf_privateRegcodeInText("G-BXYZ"), "G-B");
  EXPECT_EQ(gf_privateRegcodeInText("N355DN"), "");  // an airline's, not private
  EXPECT_EQ(gf_privateRegcodeInText(""), "");
}

TEST(WildcardMatch, IsACaseInsensitiveSearchThatNeverThrows) {
  EXPECT_TRUE(gf_wildcardMatch("scenery/orbx_kjfk.bgl", "ORBX"));
  EXPECT_TRUE(gf_wildcardMatch("ABC_KJFK_DEF", "kjfk"));
  EXPECT_TRUE(gf_wildcardMatch("NWS_KBOS.bgl", "NWS_K.OS"));
  EXPECT_FALSE(gf_wildcardMatch("NWS_KBOS.bgl", "HLD_"));
  EXPECT_FALSE(gf_wildcardMatch("anything", "(unbalanced"));
  EXPECT_FALSE(gf_wildcardMatch("anything", "[z-a]"));
  EXPECT_TRUE(gf_wildcardMatch("anything", ""));
}

TEST_F(Queries, PublisherFromFilename) {
  EXPECT_EQ(gf_publisherFromFilename("ORBX_KJFK.bgl"), "simaddon");
  EXPECT_EQ(gf_publisherFromFilename("scenery_orbx.bgl"), "simaddon");
  EXPECT_EQ(gf_scanLogLines(), (Strings{"from filename => publisher  simaddon", "from filename => publisher  simaddon"}));
  EXPECT_EQ(gf_publisherFromFilename("NWS_KJFK_AFX.bgl"), "Northwind Scenery");
  EXPECT_EQ(gf_publisherFromFilename("hld_kbos.bgl"), "Harbour Lights Design");  // by the pattern, ignoring case
  EXPECT_EQ(gf_publisherFromFilename("AF2_KBOS.bgl"), "unknown");

  // A group holding an empty name matches every file, so no later group is reached.
  g_publishers.insert(g_publishers.begin(), Strings{"Anyone", ""});
  for (bool compiled : {false, true}) {
    if (compiled) gf_compilePublisherPatterns();
    EXPECT_EQ(gf_publisherFromFilename("AF2_KBOS.bgl"), "Anyone");
    EXPECT_EQ(gf_publisherFromFilename("NWS_KJFK.bgl"), "Anyone");
  }
}

// The prepared names answer exactly as the expression built for each call would.
TEST_F(Queries, PreparedPublisherNamesMatchLikeTheExpression) {
  const Strings names = {"NWS_", "nws_", "Ab.c", "K[JL]FK", "(bad", "", "x|y", "^AF2", "bgl$", "é"};
  const Strings files = {"NWS_KJFK.bgl", "af2_nws_.BGL", "ABXC.bgl", "abc", "KLFK", "x", "AF2_y.bgl",
                         "a.bgl", "line\nNWS_", "É.bgl", "é.bgl", ""};
  for (const auto& name : names)
    for (const auto& file : files) {
      g_publishers = {{"~publisher~", name}};
      gf_resetQueries();
      const std::string plain = gf_publisherFromFilename(file);
      gf_compilePublisherPatterns();
      EXPECT_EQ(gf_publisherFromFilename(file), plain) << name << " / " << file;
      const bool expected = name.empty() || file.find(name) != std::string::npos || gf_wildcardMatch(file, name) ||
                            file.find("ORBX") != std::string::npos || gf_wildcardMatch(file, "ORBX");
      EXPECT_EQ(plain != "unknown", expected) << name << " / " << file;
    }
}

TEST_F(Queries, PublisherFromFilenameFromManyThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&wrong, t] {
      for (int i = 0; i < 200; ++i) {
        if (gf_publisherFromFilename(fmt::format("hld_{}_{}.bgl", t, i)) != "Harbour Lights Design") ++wrong;
        if (gf_publisherFromFilename("x_orbx.bgl") != "simaddon") ++wrong;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(gf_scanLogLines().size(), 6u * 200u);
}

class SimilarModels : public Queries {
protected:
  void SetUp() override {
    Queries::SetUp();
    g_similarGroups = {{"A319", "A320", "A321"}, {"B738", "B739"}, {"A320", "A20N"}};
    gf_standinAddLivery("DAL", "A321");
    gf_standinAddLivery("DAL", "B739");
    gf_standinAddLivery("AAL", "A320");
    gf_standinAddLivery("UAL", "A319");
    gf_standinAddLivery("UAL", "A20N");
  }
};

TEST_F(SimilarModels, MapsHoldTheOtherMembersWithALivery) {
  gf_buildSimilarModelMaps();
  // A320 is in two groups; its entry from the third group sorts first ("A320,A20N" before
  // "A320,A319,A321") and wins.
  EXPECT_EQ(g_similarModelsWithLivery.at("A320"), (Strings{"A20N"}));
  EXPECT_EQ(g_similarModelsWithLivery.at("A319"), (Strings{"A320", "A321"}));
  EXPECT_EQ(g_similarModelsWithLivery.at("A321"), (Strings{"A319", "A320"}));
  EXPECT_EQ(g_similarModelsWithLivery.at("A20N"), (Strings{"A320"}));
  EXPECT_EQ(g_similarModelsWithLivery.at("B738"), (Strings{"B739"}));
  EXPECT_EQ(g_similarModelsWithLivery.count("B739"), 0u);  // no partner with a livery
  EXPECT_TRUE(logHas("5 similar model definitions"));

  // Per airline: only the models without that airline's livery, pointing at the similar models
  // with one.
  EXPECT_EQ(g_airlineSimilarModels.at("DAL").at("A319"), (Strings{"A321"}));
  EXPECT_EQ(g_airlineSimilarModels.at("DAL").at("B738"), (Strings{"B739"}));
  EXPECT_EQ(g_airlineSimilarModels.at("DAL").count("A321"), 0u);
  EXPECT_EQ(g_airlineSimilarModels.at("DAL").count("A320"), 0u);
  EXPECT_EQ(g_airlineSimilarModels.at("AAL").at("A20N"), (Strings{"A320"}));
  EXPECT_EQ(g_airlineSimilarModels.at("UAL").at("A320"), (Strings{"A20N"}));
  EXPECT_EQ(g_airlineSimilarModels.at("UAL").at("A321"), (Strings{"A319"}));

  EXPECT_EQ(gf_similarModelsOfAirline({"DAL", "B738"}), (Strings{"B739"}));
  EXPECT_TRUE(gf_similarModelsOfAirline({"DAL", "C172"}).empty());
  EXPECT_TRUE(gf_similarModelsOfAirline({"KLM", "B738"}).empty());
}

TEST_F(SimilarModels, SimilarModelByGroupOrByCategory) {
  gf_buildSimilarModelMaps();
  EXPECT_EQ(gf_similarModel("B738"), (Strings{"B739"}));
  // Heavy without an entry: nothing.
  EXPECT_TRUE(gf_similarModel("B77W").empty());
  // Light: one model of the livery subsystem's Light list (the first with RANDOM off).
  EXPECT_TRUE(gf_similarModel("C172").empty());
  g_liveryModelsByCategory[kLiveryLight] = {"PA28", "C152"};
  g_liveryModelsByCategory[kLiveryRotorcraft] = {"EC35"};
  EXPECT_EQ(gf_similarModel("C172"), (Strings{"PA28"}));
  EXPECT_EQ(gf_similarModel("B06"), (Strings{"EC35"}));
  gf_setRandomOn(true);
  for (int i = 0; i < 20; ++i) {
    const auto& pick = gf_similarModel("C172");
    ASSERT_EQ(pick.size(), 1u);
    EXPECT_TRUE(pick[0] == "PA28" || pick[0] == "C152");
    // Shuffled in place, the members stay the same.
    auto members = gf_similarModel("A319");
    std::sort(members.begin(), members.end());
    EXPECT_EQ(members, (Strings{"A320", "A321"}));
  }
}

}  // namespace
}  // namespace amb
