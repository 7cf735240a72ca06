#include "refdata/database.hpp"

#include "core/user_error.hpp"
#include "refdata/cipher.hpp"
#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;

constexpr double kNmPerMetre = 1.0 / 1852.0;

class DataBaseFile : public test::RefdataTest {
protected:
  fs::path temp2() const { return path("input/temp2.xml"); }

  // The data base with the named sections left out, followed by raw XML.
  void writeTemp2(const std::set<std::string>& omit = {}, const std::string& extra = {},
                  const dbgen::PlainDataBase& db = test::smallDataBase()) {
    dbgen::WriteOptions options;
    options.omitSections = omit;
    test::writeFile(temp2(), dbgen::writeXml(db, options) + extra);
  }
  std::string code(const std::string& plain) { return dbgen::encryptCode(plain, m_fillers); }
  // The user error of a read that must fail.
  std::string userError() {
    return test::thrownText<UserErrorException>([this] { lf_readDataBaseFile(temp2()); });
  }

  dbgen::Fillers m_fillers{99};
};

TEST_F(DataBaseFile, ReadsEveryTableAndRemovesTheFile) {
  writeTemp2();
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_FALSE(fs::exists(temp2()));
  EXPECT_EQ(g_heavyModels, (std::set<std::string>{"A388", "B77W", "MD11"}));
  // Groups come sorted whatever their order in the file.
  EXPECT_EQ(g_similarGroups, (std::vector<std::vector<std::string>>{{"A320", "A321"}, {"B738", "B77W"}}));
  EXPECT_EQ(g_icaoAirlines, (std::set<std::string>{"AAL", "DAL", "FDX", "UAL"}));
  ASSERT_EQ(g_thirdParties.size(), 1u);
  EXPECT_EQ(g_thirdParties[0].airports, (std::vector<std::string>{"KJFK231", "KLGA96"}));
  ASSERT_EQ(g_regcodeInfos.size(), 5u);
  EXPECT_EQ(g_regcodeInfos.at("N123FE"), (RegcodeInfo{"FDX", "MD11", "FDX", true}));
}

TEST_F(DataBaseFile, AnEmptyRequiredListIsUserError61AndKeepsTheFile) {
  const std::tuple<const char*, const char*, const char*> required[] = {
      {"aircrafts", "aircraft", "types"}, {"rotorcraft", "rot", "types"}, {"cargo_operators", "ICAO", "codes"},
      {"simaddonsP3D", "simaddonP3D", "arpts"}};
  for (const auto& [section, item, attribute] : required) {
    for (bool present : {false, true}) {
      gf_resetDataBase();
      // Missing, or present with an item whose attribute is missing.
      writeTemp2({section}, present ? fmt::format("<{0}><{1} other=\"x\"/></{0}>", section, item) : "");
      EXPECT_EQ(userError(), fmt::format("61: In an xml file section {} {} {} is empty ", section, item, attribute));
      EXPECT_TRUE(fs::exists(temp2()));
    }
  }
}

TEST_F(DataBaseFile, OptionalSectionsMayBeMissing) {
  writeTemp2({"similar_types", "publishers", "wingspans", "fixes", "thirdpartiesP3D", "dbase"});
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_TRUE(g_similarGroups.empty() && g_publishers.empty() && g_thirdParties.empty() && g_regcodeInfos.empty());
  EXPECT_EQ(g_categoryHalfWingspan[Large], 0.0);  // without wing spans no mean
}

TEST_F(DataBaseFile, WingSpansKeepTheFirstValueAndGiveTheCategoryMeans) {
  auto db = test::smallDataBase();
  db.wingspanMetres.clear();
  std::string spans = "<wingspans>";
  for (const auto& [type, metres] : std::vector<std::pair<std::string, std::string>>{
           {"B738", "35.8"}, {"B738", "60"}, {"XYZ9", "80"}, {"A320", "34.1 m"}})
    spans += "<wingspan type=\"" + code(type) + "\" meters=\"" + metres + "\"/>";
  writeTemp2({"wingspans"}, spans + "</wingspans>", db);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_NEAR(g_wingspans.at("B738"), 35.8 * 0.5 * kNmPerMetre, 1e-8);  // the first value
  EXPECT_NEAR(g_maxHalfWingspan, 30.0 * kNmPerMetre, 1e-12);             // the largest of all
  EXPECT_TRUE(logHas("===> wingspan model XYZ9 is no valid model, skipped"));
  // A320's "34.1 m" reads as 34.1; a Large model without a span gets the mean of the Large spans.
  EXPECT_NEAR(gf_halfWingspan("A321"), (35.8 + 34.1) * 0.25 * kNmPerMetre, 1e-8);
  // A category without any entry gets its default span.
  EXPECT_EQ(gf_halfWingspan("B77W"), g_defaultCategoryHalfWingspan[Heavy]);
}

TEST_F(DataBaseFile, RegistrationsFixesAndPublishers) {
  auto db = test::smallDataBase();
  db.fixes = {{"B737-800", "B738"}, {"B737-800", "A320"}, {"A380", "A380X"}};
  db.publishers = {{"Zephyr", "ZPH_"}, {"Aurora", "AUR_"}, {"Zephyr", "ZPH_"}};
  const std::tuple<std::string, std::string, std::string> records[] = {
      {"N0", "DAL", "cargo=\"True\""}, {"N1", "DAL", "cargo=\"1\""}, {"N2", "DAL", "cargo=\"no\""},
      {"N3", "DAL", ""}, {"N0", "AAL", ""}};
  std::string dbase = "<dbase>";
  for (const auto& [reg, airline, cargo] : records)
    dbase += fmt::format("<db reg=\"{}\" airl=\"{}\" {}/>", dbgen::encryptKeyed(reg),
                         dbgen::encryptAirl(airline, m_fillers), cargo);
  writeTemp2({"dbase"}, dbase + "</dbase>", db);
  ASSERT_TRUE(lf_readDataBaseFile(temp2()));
  EXPECT_EQ(g_regcodeInfos.at("N0").airline, "DAL");  // the first record stays
  EXPECT_TRUE(logHas("regcode N0 already exists"));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(g_regcodeInfos.at(fmt::format("N{}", i)).cargo, i < 2) << i;
  EXPECT_EQ(g_regcodeInfos.at("N0").type, "");  // missing fields read as empty
  EXPECT_EQ(g_modelFixes, (std::unordered_map<std::string, std::string>{{"B737-800", "B738"}}));
  EXPECT_TRUE(logHas("wrong fix A380->A380X, the latter is not a valid model"));
  EXPECT_EQ(g_publishers, (std::vector<std::vector<std::string>>{{"Aurora", "AUR_"}, {"Zephyr", "ZPH_"}}));
}

TEST_F(DataBaseFile, BrokenOrUnreadableFilesEndTheReadWithAClearError) {
  writeTemp2({"dbase"}, "<dbase><db reg=\"" + dbgen::encryptKeyed("N1") + "\" airl=\"ABCDE\"/></dbase>");
  EXPECT_EQ(test::thrownText<std::runtime_error>([this] { lf_readDataBaseFile(temp2()); }),
            "decrypt airl \"ABCDE\" error");
  gf_resetDataBase();
  writeTemp2({"dbase"}, "<dbase><db reg=\"" + std::string(25, 'Z') + "\"/></dbase>");
  EXPECT_THROW(lf_readDataBaseFile(temp2()), std::out_of_range);

  fs::remove(temp2());
  EXPECT_EQ(userError(), "60: \"" + gf_pathText(temp2()) + "\" not read because of File was not found");
  test::writeFile(temp2(), "<aircrafts><aircraft types=\"x\"></aircrafts>");
  EXPECT_EQ(userError(), "60: \"" + gf_pathText(temp2()) + "\" not read because of Start-end tags mismatch");
}

TEST(DataBaseHelpers, SplitStringRule) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}}, {",", {"", ""}}, {" A , B\t,\r\nC\n", {"A", "B", "C"}}, {"A, ,B", {"A", "", "B"}},
      {"  ", {""}}, {"A B,C", {"A B", "C"}}};
  for (const auto& [text, fields] : cases) EXPECT_EQ(gf_splitString(text), fields) << '"' << text << '"';
}

}  // namespace
}  // namespace amb
