// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "liveries/cfg_file.hpp"
#include "liveries/cfg_section.hpp"
#include "liveries_scan/scan_fixture.hpp"
#include "platform/utf8.hpp"
#include "refdata/queries.hpp"

#include <map>

#include <random>
#include <regex>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::LiveryScanTest;
using test::section;

TEST(CfgGrammar, KeyLinesAreWholeLinesInAnyCaseAndCommentsAreNoValues) {
  struct Row {
    const char* line;
    const char* title;  // nullptr: not a title line
  };
  const Row rows[] = {
      {"title=AIG A320 BAW", "AIG A320 BAW"},
      {"  Title =  AIG A320 BAW  ", "AIG A320 BAW"},
      {"TITLE=X", "X"},
      {"\ttitle\t=\tX\t", "X"},
      {"title=", nullptr},
      {"title=    ", nullptr},
      {"//title=Y", nullptr},
      {"xtitle=A", nullptr},
      {"title x=A", nullptr},
      {"title=\"quoted\"", "\"quoted\""},
      {"title=A320 //old name", "A320"},
      {"title=A320 ; old name", "A320"},
      {"title=\"a;b //c\" ; note", "\"a;b //c\""},
      {"title= // only a comment", nullptr},
  };
  for (const Row& row : rows) {
    std::string title = "unchanged";
    EXPECT_EQ(lf_readTitle(row.line, title), row.title != nullptr) << row.line;
    EXPECT_EQ(title, row.title ? row.title : "unchanged") << row.line;
  }
  std::string code = "unchanged";
  EXPECT_TRUE(lf_readAtcParkingCodes("atc_parking_codes= BAW ,KLM", code));
  EXPECT_EQ(code, "BAW ");  // first item, untrimmed
  EXPECT_TRUE(lf_readAtcParkingCodes("atc_parking_codes=,BAW", code));
  EXPECT_EQ(code, "");
  std::string model;
  EXPECT_TRUE(lf_readModel("model=long //clean,long", model));
  EXPECT_EQ(model, "long");
  EXPECT_EQ(lf_matchAtcModel("atc_model=A320"), "A320");
  EXPECT_EQ(lf_matchAtcModel("atc_modelx=A320"), "");
  EXPECT_TRUE(lf_hasAtcIdKey("//atc_id=X"));
  EXPECT_FALSE(lf_hasAtcIdKey("ATC_ID=X"));
}

// The key matcher against the regular expression it stands for, on lines without comment marks.
TEST(CfgGrammar, KeyMatcherAgreesWithTheRegularExpression) {
  const std::regex reference(R"(\s*(title)\s*=\s*(.*\S)\s*)", std::regex::ECMAScript | std::regex::icase);
  const std::string alphabet = " \t=tiTLEelx\"abc";
  std::mt19937 random(7);
  int matched = 0;
  for (int i = 0; i < 20000; ++i) {
    std::string line;
    const int length = static_cast<int>(random() % 14);
    if (random() % 2) line = std::string(random() % 3, ' ') + (random() % 2 ? "title" : "TiTlE");
    for (int k = 0; k < length; ++k) line += alphabet[random() % alphabet.size()];
    std::smatch match;
    const std::string expected = std::regex_match(line, match, reference) ? match[2].str() : "";
    matched += expected.empty() ? 0 : 1;
    ASSERT_EQ(lf_matchCfgKey(line, "title"), expected) << '"' << line << '"';
  }
  EXPECT_GT(matched, 300);  // the corpus reaches both outcomes
}

TEST(CfgGrammar, SectionHeaders) {
  EXPECT_EQ(lf_sectionNumberText("[fltsim.0]"), "0");
  EXPECT_EQ(lf_sectionNumberText("  [FltSim.12]  "), "12");
  EXPECT_EQ(lf_sectionNumberText("[FLTSIM.3]"), "3");
  EXPECT_EQ(lf_sectionNumberText("//[fltsim.1]"), "");
  EXPECT_EQ(lf_sectionNumberText(";[fltsim.1]"), "10000");
  EXPECT_EQ(lf_sectionNumberText("[fltsim.0] ; x"), "10000");
  EXPECT_EQ(lf_sectionNumberText("[fltsim.]"), "10000");
  EXPECT_EQ(lf_sectionNumberText("[fltsim. 1]"), "10000");
  EXPECT_EQ(lf_sectionNumberText("[Fltsim.x]"), "");  // neither header nor one of the two spellings
  EXPECT_EQ(lf_sectionNumberText("[General]"), "");
}

TEST_F(LiveryScanTest, SectionNumberingMustRunFromZeroWithoutGaps) {
  const fs::path p = "x/aircraft.cfg";
  const std::string where = gf_pathText(p) + " contains ";
  EXPECT_TRUE(lf_checkCfgSections({"[fltsim.1]", "[FLTSIM.0]", "[fltsim.2]"}, p));
  EXPECT_FALSE(lf_checkCfgSections({"[fltsim.0]", "[fltsim.2]"}, p));
  EXPECT_FALSE(lf_checkCfgSections({"[fltsim.0]", "[fltsim.0]"}, p));
  EXPECT_FALSE(lf_checkCfgSections({"[fltsim.1]", "[fltsim.2]"}, p));
  EXPECT_FALSE(lf_checkCfgSections({"[fltsim.0]", ";[fltsim.1]"}, p));
  EXPECT_EQ(lines(g_invalidCfgFiles),
            (std::vector<std::string>{where + "non-consecutive [fltsim.x] numbers at .x=2",
                                      where + "non-consecutive [fltsim.x] numbers at .x=0",
                                      where + "non-consecutive [fltsim.x] numbers at .x=1",
                                      where + "a [fltsim.] section without a number"}));
  // A number beyond 32 bits: only a marked log line, no report line.
  EXPECT_FALSE(lf_checkCfgSections({"[fltsim.0]", "[fltsim.99999999999]"}, p));
  EXPECT_EQ(g_invalidCfgFiles.size(), 4u);
  EXPECT_TRUE(logHas("===> fltsim num [fltsim.99999999999] incorrect"));
  // No header at all: listed as empty, and the file passes.
  EXPECT_TRUE(lf_checkCfgSections({"[General]", "atc_model=A320"}, p));
  EXPECT_EQ(lines(g_emptyCfgFiles), std::vector<std::string>{gf_pathText(p)});
}

TEST_F(LiveryScanTest, TheFilesModelCodeIsValidFixedOrReported) {
  const fs::path p = "pkg/aircraft.cfg";
  EXPECT_EQ(lf_readAtcModel(p, {"[General]", "atc_model=A320"}), "A320");
  EXPECT_EQ(lf_readAtcModel(p, {"atc_model=", "atc_model = A32N"}), "A20N");
  EXPECT_EQ(lf_readAtcModel(p, {"atc_model=XYZ"}), "");
  EXPECT_EQ(lf_readAtcModel(p, {"[General]"}), "");
  EXPECT_EQ(lines(g_codeFixes),
            std::vector<std::string>{"Model fix: A32N found in " + gf_pathText(p) + " changed into A20N"});
  EXPECT_EQ(lines(g_invalidModelCodes), std::vector<std::string>{"XYZ" + std::string(13, ' ') + " in " +
                                                                  gf_pathText(p)});
  EXPECT_EQ(lines(g_invalidCfgFiles),
            std::vector<std::string>{"Line atc_model= is missing in [General] section of " + gf_pathText(p)});
}

// Everything a good section names, for the fixtures below.
const std::vector<std::string> kEntries = {"model", "texture.BAW", "A320.air"};
const std::string kKeys = "sim=A320\nmodel=\ntexture=BAW";

TEST_F(LiveryScanTest, AGoodSectionGivesOneLiveryWithTheFilesModelCode) {
  const auto cfg = aircraft("pkg", "// header comment\n" +
                                       section(1, "title=Second\natc_parking_codes=KLM\nsim=A320\n"
                                                  "model=\ntexture=BAW\natc_parking_types=GATE,CARGO") +
                                       "\n[General]\natc_model=A320\n" +
                                       section(0, "Title = First \natc_parking_codes=BAWX\natc_id=G-EUUA ; old\n"
                                                  "model=Other\nsim=A320\ntexture=BAW\nmodel=ignored"),
                            {"model", "model.Other", "texture.BAW", "A320.air"});
  const auto result = lf_searchLiveriesinFile(3, cfg);
  ASSERT_EQ(result.size(), 2u);
  const LiveryData& second = result.front();  // file order: [fltsim.1] comes first
  EXPECT_EQ(second.title, "Second");
  EXPECT_EQ(second.airline, "KLM");
  EXPECT_EQ(second.type, "A320");  // from atc_model, not from model=
  EXPECT_TRUE(second.cargo);
  EXPECT_EQ(second.priority, 3);
  const LiveryData& first = result.back();
  EXPECT_EQ(first.title, "First");
  EXPECT_EQ(first.airline, "BAW");  // BAWX cut to three letters
  EXPECT_EQ(first.atcid, "G-EUUA");
  EXPECT_FALSE(first.cargo);
  EXPECT_TRUE(g_incompleteFltsimSections.empty());
}

TEST_F(LiveryScanTest, AirlineSettlement) {
  std::string cfg = "[General]\natc_model=A320\n";
  const std::pair<std::string, std::string> sections[] = {
      {"title=T0\natc_parking_codes=BAWC", "BAW"},                  // C cut off
      {"title=T1\natc_parking_codes=RFO", ""},                      // silently nothing
      {"title=T2\natc_parking_codes=ZZZ\natc_id=G-EUUA", "ZZZ"},    // generic airline: no registration
      {"title=T3\natc_id=G-EUUA", "BAW"},                           // airline of the registration
      {"title=T4\natc_id=N12345", ""},                              // large type, unknown registration
      {"title=T5", ""},                                             // large type, nothing at all
      {"title=T6\natc_parking_codes=BAWZ\natc_parking_codes=DLH", "DLH"},  // a refused code is read again
      {"title=T7\natc_parking_codes=BAW\natc_parking_codes=DLH", ""},      // two good codes: refused
  };
  int n = 0;
  for (const auto& [keys, airline] : sections) cfg += section(n++, keys + "\n" + kKeys);
  const auto path = aircraft("pkg", cfg, kEntries);
  std::map<std::string, LiveryData> byTitle;
  for (auto& l : lf_searchLiveriesinFile(1, path)) byTitle[l.title] = l;
  std::map<std::string, std::string> airlines;
  for (auto& [title, l] : byTitle) airlines[title] = l.airline;
  EXPECT_EQ(airlines, (std::map<std::string, std::string>{{"T0", "BAW"}, {"T2", "ZZZ"}, {"T3", "BAW"}, {"T6", "DLH"}}));
  EXPECT_EQ(byTitle["T2"].atcid, "");
  const std::string folder = gf_pathText(path.parent_path());
  EXPECT_EQ(lines(g_incompleteFltsimSections),
            (std::vector<std::string>{
                "\"" + folder + "\" \"[fltsim.4]\" has no airline and its regcode is not in my dbase (very old liv?)",
                "\"" + folder + "\" \"[fltsim.5]\" has no airline and no regcode info",
                folder + " [fltsim.7] has more than one atc_parking_codes key"}));
  EXPECT_EQ(lines(g_invalidAirlineCodes),
            std::vector<std::string>{"BAWZ         in " + gf_pathText(path) + " [fltsim.6]"});

  // A light type without airline is private, its registration taken from the title.
  g_regcodeInfos["N172"] = RegcodeInfo{"PVT", "C172", "", false};
  gf_indexPrivateRegcodes();
  const auto light = aircraft("light", section(0, "title=Cessna N172SP\n" + std::string("sim=A320\nmodel=\ntexture=BAW")) +
                                           "[General]\natc_model=C172\n",
                              kEntries);
  const auto pvt = lf_searchLiveriesinFile(1, light);
  ASSERT_EQ(pvt.size(), 1u);
  EXPECT_EQ(pvt.front().airline, "PVT");
  EXPECT_EQ(pvt.front().atcid, "N172");
}

TEST_F(LiveryScanTest, RegistrationsAndRepeatedKeys) {
  std::string cfg = "[General]\natc_model=A320\n";
  const std::pair<std::string, std::string> sections[] = {
      {"atc_id=A,B", ""},                           // several registrations: none kept
      {"atc_id=ABC*", ""},                          // wild card: none kept
      {"atc_id=G-ABCDEFGHIJKL", ""},                // 13 characters
      {"atc_id=G-EUUA\n//atc_id=OLD", "G-EUUA"},    // a trailing comment line is dropped first
      {"atc_id=G-EUUA\n//atc_id=OLD\nsim=A320", "x"},  // the same line in the middle: two atc ids
      {"atc_parking_types=GATE\natc_parking_types=CARGO", "x"},
      {"title=Again", "x"},
  };
  int n = 0;
  for (const auto& [keys, unused] : sections) {
    cfg += section(n, "title=R" + std::to_string(n) + "\natc_parking_codes=BAW\n" + kKeys + "\n" + keys);
    ++n;
  }
  const auto path = aircraft("pkg", cfg, kEntries);
  std::map<std::string, std::string> ids;
  for (auto& l : lf_searchLiveriesinFile(1, path)) ids[l.title] = l.atcid;
  EXPECT_EQ(ids, (std::map<std::string, std::string>{{"R0", ""}, {"R1", ""}, {"R2", ""}, {"R3", "G-EUUA"}}));
  const std::string folder = gf_pathText(path.parent_path());
  EXPECT_EQ(lines(g_incompleteFltsimSections),
            (std::vector<std::string>{folder + ", [fltsim.4], has more than one atc_id key",
                                      folder + " [fltsim.5] has more than one atc_parking_types key",
                                      folder + " [fltsim.6] has more than one title key"}));
  EXPECT_TRUE(logHas("===> R1 ABC* wild cards no longer supported, atc_id skipped "));
  EXPECT_TRUE(logHas("regcode: G-ABCDEFGHIJKL, has more than 12 chars or contains UTF16 chars in \"R2\"?"));
}

TEST_F(LiveryScanTest, MissingFilesTitlesAndRepeatedTitlesAreReported) {
  const auto path = aircraft(
      "pkg",
      "[General]\natc_model=A320\n" + section(0, "title=A\natc_parking_codes=BAW\nsim=A320\nmodel=\ntexture=KLM") +
          section(1, "title=B\natc_parking_codes=BAW\nsim=B744\nmodel=\ntexture=BAW") +
          section(2, "atc_parking_codes=BAW\n" + kKeys) + section(3, "title=C\natc_parking_codes=BAW\n" + kKeys) +
          section(4, "title=C\natc_parking_codes=BAW\n" + kKeys) +
          // Folder names in another case are found, as the simulator finds them.
          section(5, "title=D\natc_parking_codes=BAW\nsim=a320\nmodel=\ntexture=baw"),
      {"Model", "TEXTURE.BAW", "A320.AIR"});
  const auto result = lf_searchLiveriesinFile(1, path);
  ASSERT_EQ(result.size(), 2u);
  const fs::path folder = path.parent_path();
  EXPECT_EQ(lines(g_incompleteFltsimSections),
            (std::vector<std::string>{gf_pathText(folder / "texture.KLM") + " [fltsim.0] does not exist",
                                      gf_pathText(folder / "B744.air") + " [fltsim.1] does not exist",
                                      gf_pathText(folder) + " [fltsim.2] misses title",
                                      gf_pathText(folder) + " [fltsim.4] title \"C\" already exists"}));
}

TEST_F(LiveryScanTest, TextInAnyEncodingBecomesValidUtf8) {
  const std::string keys = "atc_parking_codes=BAW\n" + kKeys;
  aircraft("ansi", "[General]\natc_model=A320\n[fltsim.0]\ntitle=Caf\xE9 A320\n" + keys + "\n", kEntries);
  aircraft("utf8", "\xEF\xBB\xBF[General]\natc_model=A320\n[fltsim.0]\ntitle=A320 \xC3\xA9t\xC3\xA9\n" + keys + "\n",
           kEntries);
  // UTF-16 little-endian with its mark.
  const std::string text = "[fltsim.0]\r\ntitle=A320 \xC3\xBC\r\n" + keys + "\r\n[General]\r\natc_model=A320\r\n";
  std::string wide = "\xFF\xFE";
  const std::u16string units = platform::utf8ToUtf16(text).value();
  for (const char16_t c : units) {
    wide += static_cast<char>(c & 0xFF);
    wide += static_cast<char>(c >> 8);
  }
  aircraft("utf16", wide, kEntries);
  std::vector<std::string> titles;
  for (const char* dir : {"ansi", "utf8", "utf16"})
    for (auto& l : lf_searchLiveriesinFile(1, m_dir / dir / "aircraft.cfg")) titles.push_back(l.title);
  EXPECT_EQ(titles, (std::vector<std::string>{"Caf\xC3\xA9 A320", "A320 \xC3\xA9t\xC3\xA9", "A320 \xC3\xBC"}));
}

TEST_F(LiveryScanTest, IvaoModelSetsTakeTheTypeFromTheFolderAndTheAirlineFromTheTitle) {
  const std::string keys = "sim=A320\nmodel=\ntexture=BAW";
  const auto path = aircraft(fs::path("IVAO_MTL") / "IVAO_A320w",
                             section(0, "title=A320 BAW British\n" + keys) + section(1, "title=A320BAW\n" + keys) +
                                 section(2, "title=Airbus A320 BAW\natc_id=D-ABYA\n" + keys) +
                                 section(3, "title=A320 QQQ\natc_id=G-EUUA\n" + keys) +
                                 section(4, "title=Airbus A320\n" + keys) +
                                 section(5, "title=A320 KLM [new]\n" + keys),
                             kEntries);
  EXPECT_EQ(lf_ivaoModelFromPath(path), "A320");
  std::map<std::string, std::string> airlines;
  for (auto& l : lf_searchIvaoLiveriesInFile(1, path)) {
    airlines[l.title] = l.airline;
    EXPECT_FALSE(l.cargo);
    EXPECT_EQ(l.type, "A320");
  }
  EXPECT_EQ(airlines, (std::map<std::string, std::string>{
                          {"A320 BAW British", "BAW"}, {"A320BAW", "BAW"}, {"Airbus A320 BAW", "DLH"}}));
  EXPECT_EQ(lines(g_invalidAirlineCodes), std::vector<std::string>{"QQQ          in " + gf_pathText(path) + " [fltsim.3]"});
  EXPECT_EQ(lines(g_incompleteFltsimSections),
            (std::vector<std::string>{
                gf_pathText(path.parent_path()) + " [fltsim.4] misses airlinecode in title: Airbus A320, and no regcode",
                // A '[' anywhere ends an IVAO section: [fltsim.5] is its header alone.
                gf_pathText(path.parent_path() / ".air") + " [fltsim.5] does not exist"}));

  EXPECT_EQ(lf_ivaoModelFromPath(m_dir / "x" / "IVAO_MTL" / "IVAO_B744F" / "aircraft.cfg"), "B744");
  EXPECT_EQ(lf_ivaoModelFromPath(m_dir / "x" / "IVAO_MTL" / "IVAO_T154B2" / "aircraft.cfg"), "T154");
  const auto sim = m_dir / "x" / "IVAO_MTL" / "IVAO_A320" / "sim.cfg";
  EXPECT_EQ(lf_ivaoModelFromPath(sim), "");
  EXPECT_EQ(g_invalidModelCodes.back(), "  " + std::string(14, ' ') + " in " + gf_pathText(sim));
}

// The glider codes lose their variant; a title's airline is three word characters, not fewer.
TEST_F(LiveryScanTest, IvaoGliderCodesAndTitlesWithoutThreeWordCharacters) {
  g_validModels.insert("GLID");
  EXPECT_EQ(lf_ivaoModelFromPath(m_dir / "x" / "IVAO_MTL" / "IVAO_GLID_A13" / "aircraft.cfg"), "GLID");
  EXPECT_EQ(lf_ivaoModelFromPath(m_dir / "x" / "IVAO_MTL" / "IVAO_GLID_SH" / "aircraft.cfg"), "GLID");

  const std::string keys = "sim=A320\nmodel=\ntexture=BAW";
  const auto path =
      aircraft(fs::path("IVAO_MTL") / "IVAO_A320", section(0, "title=A320 BA-British\n" + keys), kEntries);
  EXPECT_TRUE(lf_searchIvaoLiveriesInFile(1, path).empty());
  EXPECT_EQ(lines(g_incompleteFltsimSections),
            std::vector<std::string>{gf_pathText(path.parent_path()) +
                                     " [fltsim.0] misses airlinecode in title: A320 BA-British, and no regcode"});
}

// A real AI package: a type code the data base does not know, parking codes that are no airlines,
// values followed by comments.
TEST_F(LiveryScanTest, TheRealEurofighterPackage) {
  const fs::path package = m_dir / "EF2000";
  fs::copy(test::testData("aircraft/EF2000_Ala14"), package, fs::copy_options::recursive);
  const fs::path folder = package / "SimObjects" / "TQL_NBAI_Eurofighter_EF2000_Spain_Ala_14";
  const fs::path cfg = folder / "Aircraft.cfg";
  // The package ships without its model and texture folders: lay out the ones its sections name.
  std::string key;
  for (const auto& line : test::readLines(cfg)) {
    if (lf_readTexture(line, key)) fs::create_directories(folder / ("texture." + key));
    if (lf_readModel(line, key)) fs::create_directories(folder / ("model." + key));
  }
  test::writeFile(folder / "NBAI_Typhoon_F2_AI_ONLY.air", "");

  EXPECT_TRUE(lf_searchLiveriesinFile(1, cfg).empty());
  EXPECT_EQ(lines(g_invalidModelCodes), std::vector<std::string>{"Typhoon          in " + gf_pathText(cfg)});

  gf_resetLiveryScan();
  g_modelFixes["Typhoon"] = "EUFI";
  const auto liveries = lf_searchLiveriesinFile(1, cfg);
  ASSERT_EQ(liveries.size(), 32u);
  EXPECT_EQ(liveries.front().title, "MAIW_NBAI_F2_SAF Ala14 C.16-31");
  EXPECT_EQ(liveries.front().atcid, "14-01");
  for (const auto& l : liveries) {
    EXPECT_EQ(l.type, "EUFI");
    EXPECT_EQ(l.airline, "PVT");  // "141F" is no airline, the registration unknown, the type not large
  }
  EXPECT_EQ(lines(g_codeFixes),
            std::vector<std::string>{"Model fix: Typhoon found in " + gf_pathText(cfg) + " changed into EUFI"});
  EXPECT_EQ(g_invalidAirlineCodes.size(), 32u);
  EXPECT_EQ(g_invalidAirlineCodes.front().substr(0, 16), "141F         in ");
}

}  // namespace
}  // namespace amb
