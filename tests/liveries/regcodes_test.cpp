// Registration codes from the scanned liveries, the downloaded list and the user's files.

#include "liveries/regcodes.hpp"
#include "liveries_fixture.hpp"

namespace amb::test {
namespace {

class Regcodes : public LiveriesTest {
protected:
  void build(std::vector<LiveryData> liveries) {
    writeScanned(liveries);
    lf_processScannedLiveries();
  }
  std::string titleOf(const std::string& code) const {
    auto it = g_regcodes.find(code);
    return it == g_regcodes.end() ? "-" : std::string(it->second);
  }
  std::string offline() const { return linesOf(path("output/info/OfflineRegcodes.txt")); }
  std::list<RegcodeLivery> readLine(const std::string& line, bool ok = true) {
    std::list<RegcodeLivery> list;
    EXPECT_EQ(lf_readRegcodeTextFile(line, "f.txt", list), ok) << line;
    return list;
  }
};

TEST_F(Regcodes, LaterSourcesReplaceEarlierOnesWithALineEach) {
  serveAig({{"B", {"G-ABCD", "G-XXXX"}, ""}, {"not installed", {"G-NONE"}, "yes"}, {"C", {"G-XXXX"}, ""}});
  writeUserFile("a.TXT", "C;G-ABCD\n");
  build({{"AAA", "A320", "A", "G-ABCD", 1, false}, {"AAA", "A320", "B", "", 1, false},
         {"AAA", "A320", "C", "", 1, false}});
  EXPECT_EQ(titleOf("G-ABCD"), "C");
  EXPECT_EQ(titleOf("G-NONE"), "-");
  EXPECT_EQ(g_titlesInUse, (std::vector<std::string_view>{"C"}));  // one code in a user file: special
  const std::string aig = gf_pathText(g_inputFolder / "AIG-regcodes.xml");
  EXPECT_EQ(offline(), "Processing file " + aig + "\n"
                       "   regcode G-ABCD for \"B\", instead of the same for \"A\"\n"
                       "   regcode G-XXXX for \"C\", instead of the same for \"B\"\n"
                       "1 new regcode added, 2 regcodes replaced\n"
                       "Processing files in " + gf_pathText(g_myRegcodesFolder) + "\n"
                       "   regcode G-ABCD for \"C\", instead of the same for \"B\"\n"
                       "0 new regcodes added, 1 regcode replaced, 1 regcode defined as special\n");
  EXPECT_FALSE(std::filesystem::exists(path("input/AIG-regcodes.xml")));
  EXPECT_TRUE(logHas("3 liveries read from " + aig));
}

TEST_F(Regcodes, InlineClashesKeepTheFirstLivery) {
  build({{"AAA", "A320", "A", "G-ABCD", 1, false}, {"AAA", "A320", "B", "G-ABCD", 1, false},
         {"AAA", "A321", "C", "G-ABCD", 1, false}, {"AAA", "A321", "D", "G-EFGH", 1, false},
         {"AAA", "A321", "D", "G-EFGH", 1, false}});
  EXPECT_EQ(titleOf("G-ABCD"), "A");
  EXPECT_EQ(linesOf(path("output/errors/InlineRegcodes.txt")),
            "G-ABCD \"B\" => already in use by \"A\"\nG-ABCD \"C\" => already in use by \"A\"\n");
  EXPECT_TRUE(logHas("2 in-line regcode clashes, see \"" + gf_pathText(g_inlineRegcodesPath) + "\""));
}

TEST_F(Regcodes, AFailingDownloadWithoutUserFilesLeavesTheInlineCodesOnly) {
  writeFile(path("output/info/OfflineRegcodes.txt"), "old");
  build({{"AAA", "A320", "A", "G-ABCD", 1, false}});
  EXPECT_EQ(g_regcodes.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(path("output/info/OfflineRegcodes.txt")));
  EXPECT_TRUE(logHas("===> reading AIG-regcodes failed?"));
}

TEST_F(Regcodes, TheDownloadedListsSpecialFlagAndItsBrokenParts) {
  serveAigText("<AIG-regcodes>"
               "<livery title='yes' reg='" + dbgen::encryptKeyed("G-AAAA") + "' special='yes'/>"
               "<livery title='True' reg='" + dbgen::encryptKeyed("G-BBBB") + "' special='True'/>"
               "<livery title='zero' reg='" + dbgen::encryptKeyed("G-CCCC") + "' special='0'/>"
               "<livery title='no' reg='" + dbgen::encryptKeyed("G-DDDD") + "' special='no'/>"
               "<livery title='none' reg='" + dbgen::encryptKeyed("G-EEEE") + "'/>"
               "<livery title='' reg='" + dbgen::encryptKeyed("G-FFFF") + "'/>"
               "<livery title='too long' reg='" + std::string(30, 'Z') + "' special='yes'/>"
               "<other title='no'/></AIG-regcodes>");
  std::vector<LiveryData> liveries;
  for (const char* t : {"yes", "True", "zero", "no", "none", "too long"}) liveries.push_back({"AAA", "A320", t, "", 1, false});
  build(liveries);
  EXPECT_EQ(titleOf("G-AAAA"), "yes");
  EXPECT_EQ(titleOf("G-FFFF"), "-");
  std::vector<std::string_view> special = g_titlesInUse;
  std::sort(special.begin(), special.end());
  EXPECT_EQ(special, (std::vector<std::string_view>{"True", "yes"}));
  // A code that cannot be deciphered loses its livery only; the rest of the list is applied.
  EXPECT_NE(offline().find("There were errors in processing the AIG-regcode file"), std::string::npos);
  EXPECT_NE(offline().find("5 new regcodes added, 2 regcodes defined as special"), std::string::npos);
}

TEST_F(Regcodes, UserLineGrammar) {
  EXPECT_TRUE(readLine("").empty());
  auto dontUse = readLine("#Old title");
  ASSERT_EQ(dontUse.size(), 1u);
  EXPECT_EQ(dontUse.front().title, "#Old title");
  EXPECT_TRUE(dontUse.front().regcodes.empty());

  auto two = readLine("T;AB");
  ASSERT_EQ(two.size(), 1u);
  EXPECT_EQ(two.front().regcodes, (std::vector<std::string>{"AB"}));
  EXPECT_TRUE(two.front().special);

  auto kept = readLine("T ;AB,CDEF", false);
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept.front().title, "T ");  // fields are kept as written
  EXPECT_EQ(kept.front().regcodes, (std::vector<std::string>{"CDEF"}));
  EXPECT_FALSE(kept.front().special);

  EXPECT_TRUE(readLine("T;ABC,DEF;#").front().special);
  EXPECT_FALSE(readLine("T;ABC,DEF;# ").front().special);
  EXPECT_FALSE(readLine("T;ABC,DEF;x").front().special);
  EXPECT_TRUE(readLine("T;ABCDEFGHIJKLM", false).empty());
  EXPECT_TRUE(logHas("===> wrong regcode length \"ABCDEFGHIJKLM\" in f.txt"));
  EXPECT_TRUE(readLine("T;A;B;C", false).empty());
  EXPECT_TRUE(logHas("===> f.txt: wrong format \"T;A;B;C\""));
  EXPECT_TRUE(readLine("T;A,B", false).empty());
  EXPECT_TRUE(logHas("===> f.txt ; regs empty? "));
  EXPECT_TRUE(readLine("T;").empty());
}

TEST_F(Regcodes, UserFilesInAnyEncodingAndDontUseTitlesAtScanStart) {
  writeUserFile("bom.txt", "\xEF\xBB\xBF" "First;G-AAAA\r\nSecond\r\n");
  writeUserFile("wide.txt", std::string("\xFF\xFE" "T\0;\0G\0-\0B\0B\0B\0B\0\n\0", 20));
  writeUserFile("skip.csv", "Third\n");
  serveAig({{"Aig old", {}, ""}, {"Aig new", {"G-CCCC"}, ""}});
  lf_readAigRegcodes();
  std::vector<std::string> titles = g_dontUseTitles;
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"Aig old", "Second"}));
  EXPECT_TRUE(logHas("1 don't use title read"));
  EXPECT_TRUE(logHas("1 don't use title read from files in " + gf_pathText(g_myRegcodesFolder)));

  build({{"AAA", "A320", "First", "", 1, false}, {"AAA", "A320", "T", "", 1, false}});
  EXPECT_EQ(titleOf("G-AAAA"), "First");
  EXPECT_EQ(titleOf("G-BBBB"), "T");
}

}  // namespace
}  // namespace amb::test
