// What the livery files do when the disk does not hold what the program wrote: a save that fails, a
// "LiveriesScanned.xml" that is damaged or holds entries no AI object can be made from, and
// registration-code files full of faults.

#include "core/xml.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/scan_run.hpp"
#include "liveries_fixture.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"
#include "platform/utf8.hpp"
#include "state/main_window.hpp"

#include <pugixml.hpp>

#include <random>

namespace amb::test {
namespace {

namespace fs = std::filesystem;

class LiveryFileFaults : public LiveriesTest {
protected:
  void SetUp() override {
    LiveriesTest::SetUp();
    referenceDataBase();
    g_validModels = {"A320", "C172"};
    g_icaoAirlines = {"BAW", "KLM"};
    // One package with one livery, "New BAW".
    const fs::path pkg = path("liveries/pkg");
    for (const char* folder : {"model", "texture.BAW"}) fs::create_directories(pkg / folder);
    writeFile(pkg / "A320.air", "");
    writeFile(pkg / "aircraft.cfg", "[General]\natc_model=A320\n[fltsim.0]\ntitle=New BAW\natc_parking_codes=BAW\n"
                                    "sim=A320\nmodel=\ntexture=BAW\n");
    LIG_AUTOMATIC.value = 0;
    gf_setStringOption(lfolder0, gf_pathText(path("liveries")));
  }
  void TearDown() override {
    gf_resetSettings();
    LiveriesTest::TearDown();
  }
  std::string stored(const std::string& key) const {
    pugi::xml_document doc;
    doc.load_file(path("parameters.xml").c_str());
    for (pugi::xml_node p : doc.child("parameters").children("parameter"))
      if (key == p.attribute("name").value()) return p.attribute("value").value();
    return {};
  }
  std::size_t logCount(const std::string& part) const {
    std::size_t n = 0;
    for (const auto& line : log()) n += line.find(part) != std::string::npos;
    return n;
  }
  const std::string m_file = gf_pathText(g_liveriesScannedPath);
};

TEST_F(LiveryFileFaults, AFailedSaveKeepsTheOldFileAndTheScanSettingAndSaysSo) {
  writeScanned({{"KLM", "A320", "Old KLM", "", 1, false}});
  const std::string old = readFile(path("output/LiveriesScanned.xml"));
  // Nothing can be written where the new file is first written: the save fails as on a full disk.
  fs::create_directories(path("output/LiveriesScanned.xml.tmp/x"));
  SCAN_LIVERIES.value = 1;
  gf_saveBoolOption(SCAN_LIVERIES);
  const std::size_t successes = logCount(" liveries in " + m_file);  // the old file's
  lf_scanLiveries();

  EXPECT_EQ(readFile(path("output/LiveriesScanned.xml")), old);
  EXPECT_TRUE(logHas("could not save to \"" + m_file + "\""));
  EXPECT_EQ(logCount(" liveries in " + m_file), successes) << "no success after a failed save";
  EXPECT_EQ(SCAN_LIVERIES.value, 1);
  EXPECT_EQ(stored("SCAN_LIVERIES"), "true");
  const std::string message = "Could not save " + m_file + ", your liveries will be scanned again at the next start";
  EXPECT_EQ(gf_messageLineSnapshot().message, message);
  EXPECT_TRUE(logHas(message));
  // This run uses the new scan, not the old list.
  EXPECT_FALSE(gf_findStoredTitle("New BAW").empty());
  EXPECT_TRUE(gf_findStoredTitle("Old KLM").empty());
  EXPECT_EQ(g_mainWindow.liveryCount, 1u);

  // Once the disk takes it again, the next scan saves and the setting goes off.
  fs::remove_all(path("output/LiveriesScanned.xml.tmp"));
  gf_resetLiveryTables();
  lf_scanLiveries();
  EXPECT_EQ(stored("SCAN_LIVERIES"), "false");
  EXPECT_NE(readFile(path("output/LiveriesScanned.xml")).find("title=\"New BAW\""), std::string::npos);
}

TEST_F(LiveryFileFaults, ADamagedFileIsKeptBesideAndTheLiveriesAreScannedAgain) {
  std::mt19937 random(7);
  std::string binary(4096, '\0');
  for (char& c : binary) c = static_cast<char>(random());
  writeScanned({{"KLM", "A320", "Old KLM", "", 1, false}});
  const std::string whole = readFile(path("output/LiveriesScanned.xml"));
  const std::vector<std::pair<std::string, std::string>> shapes{
      {"cut short", whole.substr(0, whole.size() / 2)}, {"binary", binary}, {"a folder", ""}};
  std::size_t damaged = 0;
  for (const auto& [shape, content] : shapes) {
    SCOPED_TRACE(shape);
    gf_resetLiveryTables();
    fs::remove_all(path("output/LiveriesScanned.xml.bad"));
    fs::remove_all(path("output/LiveriesScanned.xml"));
    if (shape == "a folder")
      fs::create_directories(path("output/LiveriesScanned.xml/inside"));
    else
      writeFile(path("output/LiveriesScanned.xml"), content);
    SCAN_LIVERIES.value = 0;
    lf_scanLiveries();

    // Kept for the user, said in the log, and a new scan took its place.
    if (shape == "a folder")
      EXPECT_TRUE(fs::is_directory(path("output/LiveriesScanned.xml.bad/inside")));
    else
      EXPECT_EQ(readFile(path("output/LiveriesScanned.xml.bad")), content);
    const auto lines = log();
    EXPECT_EQ(static_cast<std::size_t>(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& l) {
                              return l.starts_with("===> " + m_file + " unreadable (") &&
                                     l.ends_with("), kept as " + m_file + ".bad");
                            })),
              ++damaged);
    EXPECT_EQ(logCount("File " + m_file + " is damaged, rescan liveries"), damaged);
    EXPECT_FALSE(gf_findStoredTitle("New BAW").empty());
    EXPECT_EQ(stored("SCAN_LIVERIES"), "false");
    EXPECT_NE(readFile(path("output/LiveriesScanned.xml")).find("title=\"New BAW\""), std::string::npos);
  }
  EXPECT_EQ(logCount("not found"), 0u);
}

TEST_F(LiveryFileFaults, EntriesNoAircraftCanBeMadeFromAreSkippedWithOneCountingLine) {
  writeFile(path("output/LiveriesScanned.xml"),
            "<meta><info name=\"author\" value=\"a\"/><info name=\"version\" value=\"1\"/>"
            "<info name=\"date\" value=\"d\"/></meta>\n<liveries>"
            "<liv airl=\"BAW\" type=\"A320\" title=\"Good &amp; whole\"/>"
            "<liv airl=\"BAW\" type=\"A320\" title=\"Cut&#0;here\"/>"
            "<liv airl=\"BAW\" type=\"A320\" title=\"Cut&#x0;here too\"/>"
            "<liv airl=\"PVT\" type=\"\" title=\"No type\"/>"
            "<liv airl=\"PVT\" type=\"B\" title=\"One letter\"/>"
            "<liv airl=\"PVT\" type=\"" + std::string(100000, 'Y') + "\" title=\"Long type\"/>"
            "<liv airl=\"PVT\" type=\"c172\" title=\"Small letters\"/>"
            "<liv airl=\"PVT\" type=\"C172\" title=\"Small plane\"/>"
            "</liveries>\n");
  lf_processScannedLiveries();
  EXPECT_FALSE(gf_findStoredTitle("Good & whole").empty());
  EXPECT_FALSE(gf_findStoredTitle("Small plane").empty());
  EXPECT_EQ(g_mainWindow.liveryCount, 2u);
  EXPECT_TRUE(gf_findStoredTitle("Cut").empty());
  EXPECT_EQ(gf_modelsWithLivery(Light), std::vector<std::string>{"C172"});
  EXPECT_EQ(logCount("skipped"), 1u);
  EXPECT_TRUE(logHas("===> 6 liveries of " + m_file +
                     " skipped: 2 with a NUL character in a text, 4 with a type that is no ICAO type designator"));
}

// The file is parsed without the library's decoding of references, which is done for each text
// instead; the texts must come out as the library gives them.
TEST_F(LiveryFileFaults, TextsReadAsTheXmlLibraryDecodesThem) {
  const std::vector<std::string> titles{
      "plain", "A &amp; B &lt;C&gt; &quot;q&quot; &apos;s&apos;", "&#233;t&#xE9; &#x1F600; &#65;&#x42;",
      "&unknown; &#; &#x; &#xZZ; &#12 &amp", "tab\tand&#10;line", "&#x10FFFF;&#X41;"};
  std::string body = "<liveries>";
  for (const auto& t : titles) body += "<liv airl=\"BAW\" type=\"A320\" title=\"" + t + "\"/>";
  body += "</liveries>";
  writeFile(path("output/LiveriesScanned.xml"), body);
  lf_readScannedLiveries();
  pugi::xml_document oracle;
  ASSERT_TRUE(oracle.load_string(body.c_str()));
  std::vector<std::string> expected;
  for (pugi::xml_node liv : oracle.child("liveries").children("liv")) expected.push_back(liv.attribute("title").value());
  std::vector<std::string> got;
  for (const auto& l : g_liveryList) got.push_back(l.title);
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(got, expected);

  // Beyond Unicode and surrogates the library writes bytes that are no UTF-8; here they are U+FFFD.
  writeFile(path("output/LiveriesScanned.xml"),
            "<liveries><liv airl=\"BAW\" type=\"A320\" title=\"&#1114112;&#xD800;&#99999999999;\"/></liveries>");
  lf_readScannedLiveries();
  ASSERT_EQ(g_liveryList.size(), 1u);
  EXPECT_EQ(g_liveryList.front().title, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(LiveryFileFaults, ARegcodeFileFullOfFaultsLogsAFewEscapedLines) {
  // 300,000 bad lines wrote 20.9 MB of log at every start.
  std::string lines;
  for (int i = 0; i < 300000; ++i) lines += "T" + std::to_string(i) + ";A;B;C\n";
  writeUserFile("bad.txt", lines);
  // Binary: control characters and bytes that are no UTF-8 (each line ends up a format error).
  std::mt19937 random(3);
  std::string binary = "Title;A;B;C\n";  // no byte-order mark by chance
  for (int i = 0; i < 2 * 1024 * 1024; ++i) {
    const char c = static_cast<char>(random());
    binary += c == '\n' ? ';' : c;
    if (i % 97 == 0) binary += ";;;\x1b[2J\n";
  }
  writeUserFile("binary.txt", binary);
  const auto before = fs::file_size(path("Log.txt"));
  std::list<RegcodeLivery> list;
  EXPECT_FALSE(lf_readRegcodeFolder(g_myRegcodesFolder, list));
  const auto logged = fs::file_size(path("Log.txt")) - before;
  std::printf("300,000 faulty lines and 2 MB of binary in my_regcodes: %ju bytes of log\n",
              static_cast<std::uintmax_t>(logged));
  EXPECT_LT(logged, 64u * 1024u);
  EXPECT_EQ(logCount(": wrong format \""), 2 * kLoggedRegcodeFaults);
  EXPECT_TRUE(logHas("===> 299980 more faults in " + gf_pathText(g_myRegcodesFolder / "bad.txt") + " not logged"));
  EXPECT_EQ(logCount(" more faults in " + gf_pathText(g_myRegcodesFolder / "binary.txt") + " not logged"), 1u);
  // No byte of the file reaches the log raw: no escape sequence, no broken UTF-8.
  const std::string text = readFile(path("Log.txt"));
  EXPECT_EQ(text.find('\x1b'), std::string::npos);
  for (const auto& line : log()) {
    EXPECT_TRUE(platform::isValidUtf8(line));
    EXPECT_TRUE(std::all_of(line.begin(), line.end(), [](char c) { return c == '\t' || static_cast<unsigned char>(c) >= 0x20; }));
  }
}

}  // namespace
}  // namespace amb::test
