#include "refdata/queries.hpp"

#include "core/strings.hpp"
#include "liveries/livery.hpp"
#include "liveries/tables.hpp"
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

TEST_F(Queries, CategoryTestsTheSetsInOrderAndWingspanFallsBackToTheCategory) {
  EXPECT_EQ(gf_aircraftCategory("ZZZZ"), Light);
  // A model in two sets takes the first in order: Large before Heavy before Buzjets ...
  g_heavyModels.insert("B738");
  g_rotorcraftModels.insert("F18");
  EXPECT_EQ(gf_aircraftCategory("B738"), Large);
  EXPECT_EQ(gf_aircraftCategory("F18"), Rotorcraft);

  EXPECT_NEAR(gf_halfWingspan("B738"), 35.8 * 0.5 / 1852, 1e-12);
  EXPECT_EQ(gf_halfWingspan("A320"), gf_halfWingspan("B738"));  // the mean of the Large entries
  EXPECT_EQ(gf_halfWingspan("GLF5"), g_defaultCategoryHalfWingspan[Buzjets]);
}

TEST_F(Queries, RegistrationLookups) {
  EXPECT_EQ(gf_registrationVariants("DABCD"), (Strings{"DA-BCD", "D-ABCD", "DABCD"}));
  EXPECT_EQ(gf_registrationVariants("G-ABCD"), (Strings{"G-ABCD"}));
  // D-ABCD is stored with its hyphen; DABCD finds it as the second form.
  EXPECT_EQ(gf_typeOfRegistration("DABCD"), "A320");
  EXPECT_EQ(gf_airlineOfRegistration("N999ZZ"), "");
  // The single step assigns into an out value that already holds a record, and leaves it when the
  // key is unknown.
  std::optional<RegcodeInfo> out = RegcodeInfo{"X", "Y", "Z", true};
  EXPECT_FALSE(gf_lookupRegcode(out, "nope"));
  EXPECT_EQ(out->airline, "X");
  EXPECT_TRUE(gf_lookupRegcode(out, "N123FE"));
  EXPECT_EQ(*out, (RegcodeInfo{"FDX", "MD11", "FDX", true}));
  // Keys "D-E" and "G-B" are private; the first in key order wins.
  EXPECT_EQ(gf_privateRegcodeInText("G-BXYZ and D-EXYZ"), "D-E");
  EXPECT_EQ(gf_privateRegcodeInText("N355DN"), "");  // an airline's, not private
}

TEST(WildcardMatch, IsACaseInsensitiveSearchThatNeverThrows) {
  EXPECT_TRUE(gf_wildcardMatch("ABC_KJFK_DEF", "kjfk") && gf_wildcardMatch("NWS_KBOS.bgl", "NWS_K.OS"));
  EXPECT_FALSE(gf_wildcardMatch("NWS_KBOS.bgl", "HLD_") || gf_wildcardMatch("anything", "(unbalanced"));
}

TEST_F(Queries, PublisherFromFilename) {
  EXPECT_EQ(gf_publisherFromFilename("scenery_orbx.bgl"), "simaddon");
  EXPECT_EQ(gf_scanLogLines(), (Strings{"from filename => publisher  simaddon"}));
  EXPECT_EQ(gf_publisherFromFilename("hld_kbos.bgl"), "Harbour Lights Design");  // by the pattern, ignoring case
  EXPECT_EQ(gf_publisherFromFilename("AF2_KBOS.bgl"), "unknown");
  // A group holding an empty name matches every file, so no later group is reached.
  g_publishers.insert(g_publishers.begin(), Strings{"Anyone", ""});
  gf_compilePublisherPatterns();
  EXPECT_EQ(gf_publisherFromFilename("NWS_KJFK.bgl"), "Anyone");
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
    }
}

TEST_F(Queries, PublisherFromFilenameFromManyThreads) {
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 6; ++t)
    threads.emplace_back([&wrong, t] {
      for (int i = 0; i < 200; ++i) {
        wrong += gf_publisherFromFilename(fmt::format("hld_{}_{}.bgl", t, i)) != "Harbour Lights Design";
        wrong += gf_publisherFromFilename("x_orbx.bgl") != "simaddon";
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(gf_scanLogLines().size(), 6u * 200u);
}

TEST_F(Queries, SimilarModelsWithALiveryByGroupOrByCategory) {
  g_similarGroups = {{"A319", "A320", "A321"}, {"B738", "B739"}, {"A320", "A20N"}};
  std::list<LiveryData> liveries;
  for (const auto& [airline, model] : std::vector<std::pair<std::string, std::string>>{
           {"DAL", "A321"}, {"DAL", "B739"}, {"AAL", "A320"}, {"UAL", "A319"}, {"UAL", "A20N"}})
    liveries.push_back({airline, model, airline + " " + model, "", 1, false});
  gf_sortLiveries(liveries);
  gf_buildLiveryTablesFrom(liveries);
  gf_buildSimilarModelMaps();
  // A320 is in two groups; its entry from the third group sorts first and wins.
  EXPECT_EQ(g_similarModelsWithLivery.at("A320"), (Strings{"A20N"}));
  EXPECT_EQ(g_similarModelsWithLivery.at("A319"), (Strings{"A320", "A321"}));
  EXPECT_EQ(g_similarModelsWithLivery.count("B739"), 0u);  // no partner with a livery
  // Per airline: only the models without that airline's livery, pointing at the ones with one.
  EXPECT_EQ(g_airlineSimilarModels.at("DAL").at("A319"), (Strings{"A321"}));
  EXPECT_EQ(g_airlineSimilarModels.at("DAL").count("A321"), 0u);
  EXPECT_TRUE(gf_similarModelsOfAirline({"KLM", "B738"}).empty());

  EXPECT_EQ(gf_similarModel("B738"), (Strings{"B739"}));
  EXPECT_TRUE(gf_similarModel("B77W").empty());  // Heavy without an entry
  // Light and rotorcraft: one model of the livery subsystem's list (the first with RANDOM off).
  g_lightModelsWithLivery = {"PA28", "C152"};
  EXPECT_EQ(gf_similarModel("C172"), (Strings{"PA28"}));
  gf_setRandomOn(true);
  for (int i = 0; i < 20; ++i) {
    auto members = gf_similarModel("A319");  // shuffled in place, the members stay the same
    std::sort(members.begin(), members.end());
    ASSERT_EQ(members, (Strings{"A320", "A321"}));
  }
}

}  // namespace
}  // namespace amb
