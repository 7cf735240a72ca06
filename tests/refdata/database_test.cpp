#include "refdata/database.hpp"

#include "core/user_error.hpp"
#include "refdata/cipher.hpp"
#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace amb {
namespace {

namespace fs = std::filesystem;
using dbgen::Fillers;
using dbgen::WriteOptions;

constexpr double kNmPerMetre = 1.0 / 1852.0;

class DataBaseFile : public test::RefdataTest {
protected:
  fs::path temp2() const { return path("input/temp2.xml"); }

  // The small data base with the named sections left out, followed by raw XML.
  void writeTemp2(const std::set<std::string>& omit = {}, const std::string& extra = {},
                  const dbgen::PlainDataBase& db = test::smallDataBase()) {
    WriteOptions options;
    options.omitSections = omit;
    test::writeFile(temp2(), dbgen::writeXml(db, options) + extra);
  }

  std::string code(const std::string& plain) { return dbgen::encryptCode(plain, m_fillers); }
  std::string airl(const std::string& plain) { return dbgen::encryptAirl(plain, m_fillers); }

  Fillers m_fillers{99};
};

TEST_F(DataBaseFile, ReadsEveryTableAndRemovesTheFile) {
  writeTemp2();
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_FALSE(fs::exists(temp2()));

  EXPECT_EQ(g_validModels.size(), 14u);
  EXPECT_EQ(g_highPerfModels, (std::set<std::string>{"F18"}));
  EXPECT_EQ(g_heavyModels, (std::set<std::string>{"A388", "B77W", "MD11"}));
  EXPECT_EQ(g_largeModels, (std::set<std::string>{"A320", "A321", "B738"}));
  EXPECT_EQ(g_buzjetModels, (std::set<std::string>{"C25B", "GLF5"}));
  EXPECT_EQ(g_rotorcraftModels, (std::set<std::string>{"B06", "EC35"}));
  EXPECT_EQ(g_cargoModels, (std::set<std::string>{"MD11"}));
  // Groups come sorted whatever their order in the file.
  EXPECT_EQ(g_similarGroups, (std::vector<std::vector<std::string>>{{"A320", "A321"}, {"B738", "B77W"}}));
  EXPECT_EQ(g_icaoAirlines, (std::set<std::string>{"AAL", "DAL", "FDX", "UAL"}));
  EXPECT_EQ(g_cargoOperators, (std::set<std::string>{"FDX"}));
  EXPECT_EQ(g_publishers.size(), 2u);
  EXPECT_EQ(g_modelFixes.at("B737-800"), "B738");
  EXPECT_EQ(g_simaddonAirports, (std::set<std::string>{"KJFK", "KLGA"}));
  ASSERT_EQ(g_thirdParties.size(), 1u);
  EXPECT_EQ(g_thirdParties[0].airports, (std::vector<std::string>{"KJFK231", "KLGA96"}));
  ASSERT_EQ(g_regcodeInfos.size(), 5u);
  EXPECT_EQ(g_regcodeInfos.at("N355DN"), (RegcodeInfo{"DAL", "A321", "DAL", false}));
  EXPECT_EQ(g_regcodeInfos.at("D-ABCD"), (RegcodeInfo{"DLH", "A320", "", false}));
  EXPECT_EQ(g_regcodeInfos.at("N123FE"), (RegcodeInfo{"FDX", "MD11", "FDX", true}));
  EXPECT_EQ(g_regcodeInfos.at("D-E").airline, "PVT");
}

TEST_F(DataBaseFile, RealSourcesGiveARealisticDataBase) {
  const auto db = dbgen::buildFromSources(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                                          test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
  writeTemp2({}, {}, db);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_GT(g_validModels.size(), 1000u);
  EXPECT_GT(g_icaoAirlines.size(), 20u);
  EXPECT_GT(g_regcodeInfos.size(), 300u);
  const std::vector<std::pair<std::string, AircraftCategory>> expected = {
      {"C172", Light},  {"P28A", Light},   {"GLF5", Buzjets},    {"C25B", Buzjets}, {"B738", Large},
      {"A321", Large},  {"DH8D", Large},   {"B77W", Heavy},      {"A388", Heavy},   {"B744", Heavy},
      {"F18", HighPerf}, {"EC35", Rotorcraft}, {"B06", Rotorcraft}, {"AS50", Rotorcraft}};
  for (const auto& [model, category] : expected) {
    EXPECT_TRUE(gf_isValidModel(model)) << model;
    EXPECT_EQ(gf_aircraftCategory(model), category) << model;
  }
  // The first line of the recording: DAL2171, an A321 registered N355DN.
  const auto info = gf_findRegcodeInfo("N355DN");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->airline, "DAL");
  EXPECT_EQ(info->type, "A321");
  EXPECT_TRUE(gf_isIcaoAirline("DAL"));
  // The widest B737-800 (with winglets) is 117.83 ft.
  EXPECT_NEAR(gf_halfWingspan("B738"), 117.83 * 0.3048 * 0.5 * kNmPerMetre, 1e-4);
  EXPECT_GT(g_maxHalfWingspan, gf_halfWingspan("B738"));
  EXPECT_EQ(gf_privateRegcodeInText("Cessna 172 D-EABC"), "D-E");
  EXPECT_FALSE(g_similarGroups.empty());
}

struct Required {
  const char* section;
  const char* item;
  const char* attribute;
};

TEST_F(DataBaseFile, AnEmptyRequiredListIsUserError61) {
  const std::vector<Required> required = {
      {"aircrafts", "aircraft", "types"},        {"high_performance", "hpf", "types"},
      {"heavy", "hvy", "types"},                 {"large", "lar", "types"},
      {"buzjet", "bzj", "types"},                {"rotorcraft", "rot", "types"},
      {"cargo_types", "cargo_type", "types"},    {"ICAO_airlines", "ICAO", "codes"},
      {"cargo_operators", "ICAO", "codes"},      {"simaddonsP3D", "simaddonP3D", "arpts"}};
  for (const auto& r : required) {
    for (bool present : {false, true}) {
      gf_resetDataBase();
      // Missing, or present with an item whose attribute is missing.
      writeTemp2({r.section}, present ? fmt::format("<{0}><{1} other=\"x\"/></{0}>", r.section, r.item) : "");
      try {
        lf_readDataBaseFile(temp2());
        ADD_FAILURE() << r.section;
      } catch (const UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()),
                  fmt::format("61: In an xml file section {} {} {} is empty ", r.section, r.item, r.attribute));
      }
      // Nothing is removed after an incomplete read.
      EXPECT_TRUE(fs::exists(temp2()));
    }
  }
  // The tables read before the failure keep what they read.
  EXPECT_EQ(g_validModels.size(), 14u);
}

TEST_F(DataBaseFile, OptionalSectionsMayBeMissing) {
  writeTemp2({"similar_types", "publishers", "wingspans", "fixes", "thirdpartiesP3D", "dbase"});
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_TRUE(g_similarGroups.empty());
  EXPECT_TRUE(g_publishers.empty());
  EXPECT_TRUE(g_wingspans.empty());
  EXPECT_TRUE(g_modelFixes.empty());
  EXPECT_TRUE(g_thirdParties.empty());
  EXPECT_TRUE(g_regcodeInfos.empty());
  // Without wing spans no mean is computed.
  for (double mean : g_categoryHalfWingspan) EXPECT_EQ(mean, 0.0);
  EXPECT_EQ(g_maxHalfWingspan, 0.0);
  EXPECT_FALSE(fs::exists(temp2()));
}

TEST_F(DataBaseFile, CommaListsAreTrimmedAndKeepEmptyFields) {
  const std::string list =
      code("B738") + ", " + code("A320") + " ,," + code("C172") + "," + code("F18") + ",";
  writeTemp2({"aircrafts"}, "<aircrafts><aircraft types=\"" + list + "\"/></aircrafts>");
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_EQ(g_validModels, (std::set<std::string>{"", "A320", "B738", "C172", "F18"}));
}

TEST_F(DataBaseFile, WingSpansKeepTheFirstValueAndTheLargestMaximum) {
  auto db = test::smallDataBase();
  db.wingspanMetres.clear();
  const std::string spans = "<wingspans>"
                            "<wingspan type=\"" + code("B738") + "\" meters=\"35.8\"/>"
                            "<wingspan type=\"" + code("B738") + "\" meters=\"60\"/>"
                            "<wingspan type=\"" + code("XYZ9") + "\" meters=\"80\"/>"
                            "<wingspan type=\"" + code("A320") + "\" meters=\"34.1 m\"/>"
                            "<wingspan type=\"" + code("C172") + "\"/>"
                            "</wingspans>";
  writeTemp2({"wingspans"}, spans, db);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_NEAR(g_wingspans.at("B738"), 0.00966523, 1e-8);
  EXPECT_NEAR(g_maxHalfWingspan, 30.0 * kNmPerMetre, 1e-12);
  EXPECT_NEAR(g_wingspans.at("A320"), 34.1 * 0.5 * kNmPerMetre, 1e-12);  // conversion stops at " m"
  EXPECT_EQ(g_wingspans.at("C172"), 0.0);
  EXPECT_EQ(g_wingspans.count("XYZ9"), 0u);
  EXPECT_TRUE(logHas("===> wingspan model XYZ9 is no valid model, skipped"));
  // Category means: Large from its two models, Light from C172's 0; a category without any
  // entry gets its default span.
  EXPECT_NEAR(g_categoryHalfWingspan[Large], (0.00966523 + 34.1 * 0.5 * kNmPerMetre) / 2, 1e-8);
  EXPECT_EQ(g_categoryHalfWingspan[Light], 0.0);
  EXPECT_EQ(g_categoryHalfWingspan[Heavy], g_defaultCategoryHalfWingspan[Heavy]);
  EXPECT_EQ(gf_halfWingspan("B77W"), g_defaultCategoryHalfWingspan[Heavy]);
  EXPECT_NEAR(gf_halfWingspan("A321"), g_categoryHalfWingspan[Large], 1e-15);
}

TEST_F(DataBaseFile, CargoFlagFollowsTheBooleanRule) {
  const std::vector<std::pair<std::string, bool>> cases = {{"cargo=\"yes\"", true}, {"cargo=\"True\"", true},
                                                           {"cargo=\"1\"", true},   {"cargo=\"no\"", false},
                                                           {"cargo=\"0\"", false},  {"cargo=\"\"", false},
                                                           {"", false}};
  std::string dbase = "<dbase>";
  for (std::size_t i = 0; i < cases.size(); ++i)
    dbase += fmt::format("<db reg=\"{}\" airl=\"{}\" {}/>", dbgen::encryptKeyed(fmt::format("N{}", i)), airl("DAL"),
                         cases[i].first);
  dbase += "</dbase>";
  writeTemp2({"dbase"}, dbase);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  for (std::size_t i = 0; i < cases.size(); ++i)
    EXPECT_EQ(g_regcodeInfos.at(fmt::format("N{}", i)).cargo, cases[i].second) << cases[i].first;
  // Missing fields read as empty.
  EXPECT_EQ(g_regcodeInfos.at("N0").type, "");
  EXPECT_EQ(g_regcodeInfos.at("N0").operatorCode, "");
}

TEST_F(DataBaseFile, PublishersAreDistinctTextsInAscendingOrder) {
  auto db = test::smallDataBase();
  db.publishers = {{"Zephyr", "ZPH_"}, {"Aurora", "AUR_"}, {"Zephyr", "ZPH_"}, {}};
  writeTemp2({}, {}, db);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_EQ(g_publishers,
            (std::vector<std::vector<std::string>>{{}, {"Aurora", "AUR_"}, {"Zephyr", "ZPH_"}}));
}

TEST_F(DataBaseFile, FixesNeedAValidCorrectModelAndKeepTheFirst) {
  auto db = test::smallDataBase();
  db.fixes = {{"B737-800", "B738"}, {"B737-800", "A320"}, {"A380", "A380X"}, {"EMPTY", ""}};
  writeTemp2({}, {}, db);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_EQ(g_modelFixes.size(), 1u);
  EXPECT_EQ(g_modelFixes.at("B737-800"), "B738");
  EXPECT_TRUE(logHas("===> wrong part of fix: \"B737-800\", already exists, skipped"));
  EXPECT_TRUE(logHas("wrong fix A380->A380X, the latter is not a valid model"));
  EXPECT_TRUE(logHas("wrong fix EMPTY->, the latter is not a valid model"));
}

TEST_F(DataBaseFile, DuplicateRegistrationKeepsTheFirstRecord) {
  auto db = test::smallDataBase();
  db.registrations.push_back({"N355DN", "AAL", "B738", "", true});
  writeTemp2({}, {}, db);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_EQ(g_regcodeInfos.at("N355DN").airline, "DAL");
  EXPECT_TRUE(logHas("regcode N355DN already exists"));
}

TEST_F(DataBaseFile, BrokenRegistrationFieldsEndTheRead) {
  writeTemp2({"dbase"}, "<dbase><db reg=\"" + dbgen::encryptKeyed("N1") + "\" airl=\"ABCDE\"/></dbase>");
  try {
    lf_readDataBaseFile(temp2());
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "decrypt airl \"ABCDE\" error");
  }
  gf_resetDataBase();
  writeTemp2({"dbase"}, "<dbase><db reg=\"" + std::string(25, 'Z') + "\"/></dbase>");
  EXPECT_THROW(lf_readDataBaseFile(temp2()), std::out_of_range);
}

TEST_F(DataBaseFile, UnreadableFileIsUserError60) {
  try {
    lf_readDataBaseFile(temp2());
    FAIL();
  } catch (const UserErrorException& e) {
    EXPECT_EQ(std::string(e.what()), "60: \"" + gf_pathText(temp2()) + "\" not read because of File was not found");
  }
  test::writeFile(temp2(), "<aircrafts><aircraft types=\"x\"></aircrafts>");
  try {
    lf_readDataBaseFile(temp2());
    FAIL();
  } catch (const UserErrorException& e) {
    EXPECT_EQ(std::string(e.what()),
              "60: \"" + gf_pathText(temp2()) + "\" not read because of Start-end tags mismatch");
  }
}

TEST(DataBaseHelpers, SplitStringRule) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"", {}},
      {"A", {"A"}},
      {",", {"", ""}},
      {"A,", {"A", ""}},
      {" A , B\t,\r\nC\n", {"A", "B", "C"}},
      {"A, ,B", {"A", "", "B"}},
      {"  ", {""}},
      {"A B,C", {"A B", "C"}},
  };
  for (const auto& [text, fields] : cases) EXPECT_EQ(gf_splitString(text), fields) << '"' << text << '"';
}

}  // namespace
}  // namespace amb
