// The livery record's order and duplicate test, and "LiveriesScanned.xml" written and read back.

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "liveries/store.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <optional>

namespace amb::test {
namespace {

class LiveryStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    g_liveryList.clear();
    std::filesystem::create_directories(m_dir / "output");
    gf_startLog();
  }
  void TearDown() override {
    gf_closeLog("end");
    g_liveryList.clear();
  }
  std::string file() const { return readFile(m_dir / g_liveriesScannedPath); }
  void writeFile(const std::string& body) { test::writeFile(m_dir / g_liveriesScannedPath, body); }
  std::string readError() {
    return thrownText([] { lf_readScannedLiveries(); });
  }
  bool logHas(const std::string& line) const {
    const auto lines = readLines(m_dir / "Log.txt");
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  TempDir m_dir{"amb-liveries"};
  ScopedCwd m_cwd{m_dir.path()};
};

constexpr const char* kMeta =
    "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/>"
    "<info name=\"date\" value=\"d\"/></meta>\n";

TEST(LiveryRecord, OrderIsBytewiseOnAirlineTypeTitleAndStable) {
  std::list<LiveryData> list{{"BAW", "A320", "b", "1", 3, false},  {"BAW", "A320", "B", "", 0, false},
                             {"BAW", "A32", "z", "", 0, false},    {"AAL", "\xc3\xa9", "x", "", 0, false},
                             {"AAL", "Z", "x", "", 0, false},      {"BAW", "A320", "b", "2", 1, true}};
  gf_sortLiveries(list);
  std::vector<std::string> order;
  for (const auto& l : list) order.push_back(l.airline + "/" + l.type + "/" + l.title + "/" + l.atcid);
  // Upper case before lower case, a prefix before its extensions, UTF-8 bytes after ASCII.
  EXPECT_EQ(order, (std::vector<std::string>{"AAL/Z/x/", "AAL/\xc3\xa9/x/", "BAW/A32/z/", "BAW/A320/B/",
                                             "BAW/A320/b/1", "BAW/A320/b/2"}));
}

TEST(LiveryRecord, DuplicateTestIgnoresOnlyThePriority) {
  const LiveryData a{"BAW", "A320", "T", "G-EUUB", 1, false};
  LiveryData b = a;
  b.priority = 7;
  EXPECT_TRUE(lf_sameLivery(a, b));
  for (auto change : {+[](LiveryData& l) { l.title += "x"; }, +[](LiveryData& l) { l.airline = "EZY"; },
                      +[](LiveryData& l) { l.type = "A319"; }, +[](LiveryData& l) { l.atcid.clear(); },
                      +[](LiveryData& l) { l.cargo = true; }}) {
    LiveryData c = a;
    change(c);
    EXPECT_FALSE(lf_sameLivery(a, c));
  }
}

TEST_F(LiveryStoreTest, WritesMetaThenLiveriesWithOptionalAttributesOnlyWhenSet) {
  g_liveryList = {{"BAW", "A320", "A320 BAW \"1\" & <x>", "", 2, false},
                  {"GEC", "B77L", "B77L GEC 1", "D-ALCB", 1, true}};
  lf_writeLiveriesScanned();
  const std::string text = file();
  EXPECT_LT(text.find("<meta>"), text.find("<liveries>"));
  EXPECT_NE(text.find("<liv airl=\"BAW\" type=\"A320\" title=\"A320 BAW &quot;1&quot; &amp; &lt;x>\" />"),
            std::string::npos);
  EXPECT_NE(text.find("<liv airl=\"GEC\" type=\"B77L\" cargo=\"true\" title=\"B77L GEC 1\" atcid=\"D-ALCB\" />"),
            std::string::npos);
  EXPECT_EQ(text.find("priority"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(gf_atomicTempPath(m_dir / g_liveriesScannedPath)));
  EXPECT_TRUE(logHas("2 liveries in " + gf_pathText(g_liveriesScannedPath)));

  const auto written = g_liveryList;
  lf_readScannedLiveries();
  ASSERT_EQ(g_liveryList.size(), 2u);
  auto it = g_liveryList.begin();
  for (const auto& w : written) {
    EXPECT_TRUE(lf_sameLivery(*it, w));
    EXPECT_EQ(it->priority, 0);
    ++it;
  }
  EXPECT_TRUE(logHas("2 liveries read from " + gf_pathText(g_liveriesScannedPath)));
}

TEST_F(LiveryStoreTest, AnEmptyListLeavesTheOldFileAlone) {
  writeFile("old");
  lf_writeLiveriesScanned();
  EXPECT_EQ(file(), "old");
}

TEST_F(LiveryStoreTest, ReadingTakesCargoFromTheFirstCharacterAndKeepsDuplicatesInFileOrder) {
  writeFile(std::string(kMeta) +
            "<liveries>"
            "<liv airl='B' type='A320' title='t' atcid='2' cargo='yes'/>"
            "<other airl='A' type='A320' title='t'/>"
            "<liv airl='A' type='A320' title='t' cargo='1'/><liv airl='A' type='A320' title='t' cargo='True'/>"
            "<liv airl='A' type='A320' title='t' cargo='false'/><liv airl='A' type='A320' title='t' cargo='0'/>"
            "<liv airl='A' type='A320' title='t' cargo=''/><liv airl='A' type='A320' title='t' atcid='x'/>"
            "<liv airl='A' type='A320' title='t' atcid='x'/><liv AIRL='Q'/>"
            "</liveries>");
  lf_readScannedLiveries();
  std::vector<std::string> got;
  for (const auto& l : g_liveryList) got.push_back(l.airline + l.atcid + (l.cargo ? "C" : "-"));
  // The element with upper-case attribute names gives a record without a type, which is skipped.
  EXPECT_EQ(got, (std::vector<std::string>{"AC", "AC", "A-", "A-", "A-", "Ax-", "Ax-", "B2C"}));
}

TEST_F(LiveryStoreTest, ReadErrorsCarryTheirCodesAndThePath) {
  const std::string p = gf_pathText(g_liveriesScannedPath);
  EXPECT_EQ(readError(), "51: File " + p + " not found");
  writeFile("<liveries><liv airl='A'");
  EXPECT_EQ(readError().rfind("51: File " + p + " is unreadable (", 0), 0u);
  writeFile(std::string(kMeta) + "<Liveries><liv airl='A' type='T' title='t'/></Liveries>");
  EXPECT_EQ(readError(), "52: " + p + " does not contain a <liveries> section");
  writeFile(std::string(kMeta) + "<liveries><Liv airl='A' type='T' title='t'/><x/></liveries>");
  EXPECT_EQ(readError(), "533: " + p + " does not contain liveries");
  EXPECT_TRUE(g_liveryList.empty());
}

TEST_F(LiveryStoreTest, AMissingMetaBlockOnlyWarns) {
  writeFile("<liveries><liv airl='A' type='A320' title='t'/></liveries>");
  lf_readScannedLiveries();
  EXPECT_EQ(g_liveryList.size(), 1u);
  EXPECT_TRUE(logHas("===> meta data incorrect?"));
}

}  // namespace
}  // namespace amb::test
