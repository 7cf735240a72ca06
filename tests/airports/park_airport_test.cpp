// The park airport's file: where it comes from, what a load makes of it, and its learned file
// merged at the load and saved when the airport is left.

#include "airports/apf_source.hpp"
#include "airports/park_airport.hpp"
#include "airports/stand.hpp"
#include "airports/static_parking.hpp"
#include "airports_fixture.hpp"
#include "state/main_window.hpp"
#include "core/geometry.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "feed/readers.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"
#include "traffic/services.hpp"

#include "support/memory_limit.hpp"

#include <pugixml.hpp>

#include <map>
#include <random>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::kMetaBlock;

class ParkAirportFile : public test::AirportsTest {
protected:
  void SetUp() override {
    test::AirportsTest::SetUp();
    resetAll();
    fs::create_directories(path("server/P3D/archive/stock"));
    useServerUrl(gf_fileUrl(path("server"), true));
    setPark("EGLL");
  }
  void TearDown() override {
    resetAll();
    test::AirportsTest::TearDown();
  }
  static void resetAll() {
    gf_resetParkState();
    g_mainWindow.reset();
    for (IntOption* o : {static_cast<IntOption*>(&MAX_LIVE), static_cast<IntOption*>(&parking_percentage),
                         static_cast<IntOption*>(&MAX_FIT), static_cast<IntOption*>(&LATERAL_RANGE)})
      o->value = o->defaultValue;
    for (BoolOption* o : {static_cast<BoolOption*>(&LEARN_SOFT), static_cast<BoolOption*>(&AUTO_RANGE),
                          static_cast<BoolOption*>(&WEEK), static_cast<BoolOption*>(&PARK_FAKE),
                          static_cast<BoolOption*>(&PARK_SOFT), static_cast<BoolOption*>(&INITIAL_LOAD_ONLY)})
      o->value = o->defaultValue;
    MAX_FIT_FL.value = MAX_FIT_FL.defaultValue;
    g_maxLiveInUse = -1;
    g_trafficReader.setParkElevation(std::nullopt);
  }
  static void setPark(const std::string& code) {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {code, "", 51.47, -0.46, 0};
  }
  // An airport file: the meta block (unless left out), the parameters and the parkpos elements.
  void writeApf(const std::string& rel, const std::string& parameters, const std::string& parkpos,
                const char* meta = kMetaBlock) {
    fs::create_directories(path(rel).parent_path());
    test::writeFile(path(rel), std::string("<?xml version=\"1.0\"?>\n") + meta + "<parameters>" + parameters +
                                   "</parameters>\n<parkpositions>" + parkpos + "</parkpositions>\n");
  }
  static std::string param(const std::string& name, const std::string& value) {
    return "<parameter name=\"" + name + "\" value=\"" + value + "\" />";
  }
  // The stock parameters of a small airport and two stands 20 m apart with radii of 15 m and one
  // 40 m from the second.
  static std::string stockParams() {
    return param("airport_name", "Heathrow") + param("publisher", "stock") + param("altitude", "83") +
           param("RT_traffic_week", "12") + param("Qf_real", "40") + param("Qf_soft", "7");
  }
  static std::string threeStands() {
    const LatLon a{51.47, -0.46};
    const LatLon b = gf_destinationPoint(a, kPi / 2, 20.0 / 1852.0 * kFeetPerNm);
    const LatLon c = gf_destinationPoint(b, kPi / 2, 40.0 / 1852.0 * kFeetPerNm);
    return fmt::format("<parkpos id=\"A1\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"15\">"
                       "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"10,11\" cs=\"BAW1\" /></parkpos>"
                       "<parkpos id=\"A2\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"15\" />"
                       "<parkpos id=\"A3\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"15\" cargo=\"true\" />",
                       a.lat, a.lon, b.lat, b.lon, c.lat, c.lon);
  }
  std::string load(const std::string& source) {
    std::string result = "unset";
    g_stands.clear();
    g_parkApfInfo = {};
    g_parkApfSource = source;
    gf_readApf(result, source, g_parkApfInfo, g_parkQf, g_stands);
    return result;
  }
  std::string userErrorOfLoad(const std::string& source) {
    try {
      load(source);
    } catch (const UserErrorException& e) {
      return e.what();
    }
    return "no error";
  }
  static std::string src(const fs::path& p) { return gf_pathText(p); }
  static std::string message() { return gf_messageLineSnapshot().message; }
  std::size_t logCount(const std::string& text) const {
    const auto lines = logLines();
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }
  static const Stand& stand(const std::string& name) {
    return *std::find_if(g_stands.begin(), g_stands.end(), [&](const Stand& s) { return s.name == name; });
  }
};

TEST_F(ParkAirportFile, SourcesInTheirOrderLinkBeforeGeneratedThirdpartyBeforeOrbx) {
  EXPECT_EQ(gf_findApfSource("EGLL"), "");
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  gf_forgetServerProbes();
  EXPECT_EQ(gf_findApfSource("EGLL"), "archive/stock/EGLL.xml");
  EXPECT_FALSE(fs::exists(path("EGLL.xml")));  // the probe's download is removed
  writeApf("airports/my_ORBX/EGLL.xml", stockParams(), "");
  EXPECT_EQ(gf_findApfSource("EGLL"), src(g_myOrbxFolder / "EGLL.xml"));
  test::writeFile(path("airports/my_ORBX/EGLL.txt"), "archive/simaddon/EGLL.xml  \r\n");
  EXPECT_EQ(gf_findApfSource("EGLL"), "archive/simaddon/EGLL.xml");
  writeApf("airports/my_thirdparty/EGLL.xml", stockParams(), "");
  EXPECT_EQ(gf_findApfSource("EGLL"), src(g_myThirdpartyFolder / "EGLL.xml"));
  test::writeFile(path("airports/my_thirdparty/EGLL.txt"), "archive/thirdparty/Pub/EGLL.xml\n");
  EXPECT_EQ(gf_findApfSource("EGLL"), "archive/thirdparty/Pub/EGLL.xml");
  test::writeFile(path("airports/my_thirdparty/EGLL.txt"), "");  // an empty link counts as none
  EXPECT_EQ(gf_findApfSource("EGLL"), src(g_myThirdpartyFolder / "EGLL.xml"));
  EXPECT_TRUE(gf_hasApf("EGLL"));
}

TEST_F(ParkAirportFile, TheServerIsAskedOncePerAirport) {
  EXPECT_FALSE(gf_hasApf("EGLL"));
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  EXPECT_FALSE(gf_downloadStockApf("EGLL"));  // the answer of this service run stands
  gf_forgetServerProbes();
  EXPECT_TRUE(gf_hasApf("EGLL"));
}

TEST_F(ParkAirportFile, AStockFileLoadsWithIdsOverlapsFiguresAndLogLines) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  parking_percentage.value = 70;
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_TRUE(fs::exists(path("airports/park_airport.xml")));
  ASSERT_EQ(g_stands.size(), 3u);
  EXPECT_EQ(g_stands[0].id, 1u);
  EXPECT_EQ(g_stands[2].id, 3u);
  EXPECT_EQ(g_stands[0].overlapIds, (std::vector<std::uint32_t>{2}));
  EXPECT_EQ(g_stands[1].overlapIds, (std::vector<std::uint32_t>{1}));
  EXPECT_TRUE(g_stands[2].overlapIds.empty());
  EXPECT_EQ(g_stands[0].options[0].readMark, 1u);
  EXPECT_EQ(g_parkQf, (QualityFactor{40, 7}));  // the file's own, no learned file
  EXPECT_EQ(g_parkApfInfo.airportName, "Heathrow");
  EXPECT_EQ(g_parkApfInfo.altitude, 83);
  EXPECT_EQ(gf_parkAirportSnapshot().alt, 83.0);
  EXPECT_EQ(g_trafficReader.parkElevation(), 83.0);
  EXPECT_EQ(g_rtTrafficWeek, 12);
  EXPECT_EQ(parking_percentage.value, 30);
  EXPECT_EQ(g_parkAirportLoaded.load(), 1);
  EXPECT_EQ(g_mainWindow.standCount.load(), 3u);
  EXPECT_EQ(g_mainWindow.text(StatusText::QualityText), "40/ 7");
  for (const char* line : {"Airport file read from \"archive/stock/EGLL.xml\" for EGLL", "parking_percentage      : 30%",
                           "publisher               : stock", "altitude                : 83 ft",
                           "num_parkpos             : 3", "quality factor          : 40/ 7",
                           "RT traffic week         : 12"})
    EXPECT_TRUE(logHas(line)) << line;
}

TEST_F(ParkAirportFile, RefusalsLeaveNoStands) {
  EXPECT_EQ(load(""), "gf_readApf xml is empty...");
  writeApf("airports/my_ORBX/EGLL.xml", stockParams(), threeStands(),
           "<meta><info name=\"author\" value=\"a\" /><info name=\"date\" value=\"d\" /></meta>\n");
  const std::string orbx = src(g_myOrbxFolder / "EGLL.xml");
  EXPECT_EQ(load(orbx), orbx + " but refused to load, copyright problem");
  EXPECT_TRUE(g_stands.empty());
  test::writeFile(path("airports/my_ORBX/EGLL.xml"), "<meta>");
  EXPECT_EQ(load(orbx).rfind(orbx + " could not be loaded: ", 0), 0u);
  EXPECT_EQ(load("archive/stock/NONE.xml"),
            "failed to download: \"" + gf_serverP3dUrl() + "archive/stock/NONE.xml\"");
  writeApf("airports/my_ORBX/EGLL.xml", stockParams(), "");
  EXPECT_EQ(load(orbx), "no stands found");
  EXPECT_EQ(g_parkAirportLoaded.load(), 1);
  EXPECT_EQ(g_parkQf, (QualityFactor{40, 7}));
  setPark("");
  EXPECT_EQ(load(orbx), "gf_readApf no park airport set");
}

TEST_F(ParkAirportFile, AFileThatStopsHalfWayIsNotUsedAndNotRetried) {
  writeApf("airports/my_thirdparty/EGLL.xml", param("publisher", "P"), threeStands());
  EXPECT_EQ(userErrorOfLoad(src(g_myThirdpartyFolder / "EGLL.xml")), "65: Parameter altitude not found");
  writeApf("airports/my_thirdparty/EGLL.xml", stockParams(), threeStands() + "<parkpos id=\"A2\" latitude=\"1\" longitude=\"1\" />");
  EXPECT_EQ(userErrorOfLoad(src(g_myThirdpartyFolder / "EGLL.xml")), "94: Parking position A2 appears more than once?");
  EXPECT_EQ(lf_readParkedFile(), "94: Parking position A2 appears more than once?");
  EXPECT_TRUE(g_stands.empty());
  EXPECT_EQ(g_parkAirportLoaded.load(), 0);
  EXPECT_TRUE(logHas("===> EGLL: 94: Parking position A2 appears more than once?"));
  // Mended on disk, it loads whole.
  writeApf("airports/my_thirdparty/EGLL.xml", stockParams(), threeStands());
  EXPECT_EQ(lf_readParkedFile(), "");
  EXPECT_EQ(g_stands.size(), 3u);
}

TEST_F(ParkAirportFile, QualityFactorOfTheOptions) {
  EXPECT_EQ(gf_qualityFactor(), (QualityFactor{-1, -1}));
  g_stands.push_back(test::makeStand("A", 1, 1, 0, 20));
  EXPECT_EQ(gf_qualityFactor(), (QualityFactor{-1, -1}));
  g_stands[0].options.push_back(test::makeOption("A", "T", "", 1, 1, 1));
  EXPECT_EQ(gf_qualityFactor(), (QualityFactor{63, 0}));
  g_stands.push_back(test::makeStand("B", 1, 1, 0, 20));
  EXPECT_EQ(gf_qualityFactor(), (QualityFactor{32, 0}));
  // 200 options of one kind on every day with all half hours: the most a stand scores.
  g_stands.pop_back();
  for (std::uint32_t i = 0; i < 200; ++i)
    g_stands[0].options.push_back(test::makeOption("A", "T", "", 1 + i % 7, (std::uint64_t{1} << 48) - 1, i + 2, 0));
  g_stands[0].options.push_back(test::makeOption("A", "T", "", 1, 1, 0, 0));  // id 0 counts for nothing
  EXPECT_EQ(gf_qualityFactor(), (QualityFactor{63, 99}));
}

// ---- Learned files ----

TEST_F(ParkAirportFile, LearnedPathsFromTheSource) {
  const fs::path learned = g_learnedFolder;
  EXPECT_EQ(lf_learnedApfPath("", "P"), fs::path());
  EXPECT_EQ(lf_learnedApfPath("archive/stock/EGLL.xml", "stock"), learned / "stock" / "EGLL.xml");
  EXPECT_EQ(lf_learnedApfPath("archive/thirdparty/Some%20Pub/EGLL.xml", "Some Pub"),
            learned / "thirdparty" / "Some Pub" / "EGLL.xml");
  EXPECT_EQ(lf_learnedApfPath(src(g_myThirdpartyFolder / "EGLL.xml"), "Pub"), learned / "thirdparty" / "Pub" / "EGLL.xml");
  EXPECT_EQ(lf_learnedApfPath(src(g_myOrbxFolder / "EGLL.xml"), "simaddon"), learned / "simaddon" / "EGLL.xml");
  // Texts from files never leave the learned folder.
  EXPECT_EQ(lf_learnedApfPath(src(g_myThirdpartyFolder / "EGLL.xml"), "../../x"), learned / "thirdparty" / "x" / "EGLL.xml");
  EXPECT_EQ(lf_learnedApfPath("archive/../../etc/EGLL.xml", "P"), learned / "etc" / "EGLL.xml");
}

TEST_F(ParkAirportFile, LearnedOptionsChangesManualStandsAndSettingsAreMerged) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  writeApf("airports/learned/stock/EGLL.xml",
           param("airport_name", "London") + param("MAX_LIVE", "500") + param("MAX_FIT", "47") +
               param("parking_percentage", "150") + param("WEEK", "true"),
           "<parkpos id=\"A1\">"
           "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"11,12\" cs=\"BAW9\" />"  // overlaps the file's
           "<opt reg=\"\" airl=\"BAW\" type=\"A320\" soft=\"true\" day=\"1\" hh=\"11\" cs=\"BAW9\" />"
           "<opt reg=\"G-ABCD\" airl=\"BAW\" type=\"A320\" day=\"2\" hh=\"1\" cs=\"BAW2:SHT2\" /></parkpos>"
           "<parkpos id=\"A2\" radius_change=\"true\" radius=\"30\" cargo_change=\"true\" cargo=\"true\" />"
           "<parkpos id=\"GONE\"><opt day=\"1\" hh=\"1\" /></parkpos>"
           "<parkpos id=\"A3\" manual=\"true\" latitude=\"51.0\" longitude=\"0.1\" radius=\"20\" />"
           "<parkpos id=\"M1\" manual=\"true\" latitude=\"0.0001\" longitude=\"0.01\" radius=\"20\" />"
           "<parkpos id=\"M2\" manual=\"true\" latitude=\"51.0\" longitude=\"0.1\" />"
           "<parkpos id=\"M3\" manual=\"true\" latitude=\"51.0\" longitude=\"0.2\" radius=\"25\" heading=\"90\" />");
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  ASSERT_EQ(g_stands.size(), 4u);
  const Stand& a1 = stand("A1");
  ASSERT_EQ(a1.options.size(), 3u);
  EXPECT_EQ(a1.options[1].kind, 0u);
  EXPECT_EQ(a1.options[1].id, 2u);
  EXPECT_EQ(a1.options[1].readMark, 0u);
  EXPECT_EQ(a1.options[2].cs2, "SHT2");
  EXPECT_NEAR(stand("A2").radiusNm, 0.0162, 0.00001);
  EXPECT_EQ(stand("A2").radiusChanged, 1);
  EXPECT_EQ(stand("A2").cargo, 1);
  EXPECT_EQ(stand("A2").cargoChanged, 1);
  EXPECT_EQ(stand("M3").manual, 1);
  EXPECT_EQ(stand("M3").id, 4u);
  EXPECT_EQ(g_parkQf, gf_qualityFactor());
  const std::string file = src(g_learnedStockFolder / "EGLL.xml");
  for (const std::string& line : std::vector<std::string>{"Read from learned airport file: \"" + file + "\"",
        "Warning: learned file airport name: \"London\" differs from archived file airport name: \"Heathrow\"",
        "learned stand GONE in " + file + " not found?", "===> manually created standid A3 already exists in " + file,
        "===> manually created standid M1 misses correct attributes in " + file,
        "===> manually created standid M2 misses correct attributes in " + file, "MAX_LIVE                : 500",
        "MAX_FIT                 : 47 (max number of half hours, is 24 hrs decimal)", "WEEK                    : true"})
    EXPECT_TRUE(logHas(line)) << line;
  EXPECT_EQ(MAX_LIVE.value, 300);
  EXPECT_EQ(g_maxLiveInUse.load(), 300);  // what the engine's limits read
  EXPECT_EQ(MAX_FIT_FL.value, 24.0f);
  EXPECT_EQ(parking_percentage.value, 150);  // taken as it is
  EXPECT_EQ(WEEK.value, 1);
  EXPECT_FALSE(logHas("parking_percentage      : 30%"));
}

TEST_F(ParkAirportFile, SettingsAbsentFromTheLearnedFile) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  writeApf("airports/learned/stock/EGLL.xml", param("airport_name", "Heathrow") + param("LATERAL_RANGE", "500"), "");
  MAX_LIVE.value = 20;
  g_maxLiveInUse = 20;
  parking_percentage.value = 70;
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(MAX_LIVE.value, -1);
  EXPECT_EQ(g_maxLiveInUse.load(), -1);
  EXPECT_EQ(parking_percentage.value, 30);
  EXPECT_EQ(LATERAL_RANGE.value, 100);
  EXPECT_EQ(g_radiusNm.load(), 100.0);
  EXPECT_TRUE(logHas("LATERAL_RANGE           : 500"));
}

TEST_F(ParkAirportFile, AHandmadeLearnedFileReplacesTheStands) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  writeApf("airports/learned/stock/EGLL.xml", param("airport_name", "Heathrow") + param("handmade", "false"),
           "<parkpos id=\"H1\" latitude=\"51.0\" longitude=\"0.1\" radius=\"20\">"
           "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"3\" hh=\"4\" cs=\"BAW4\" /></parkpos>"
           "<parkpos id=\"H2\" latitude=\"51.1\" longitude=\"0.1\" radius=\"20\" />");
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(g_apfHandmade, 1);
  ASSERT_EQ(g_stands.size(), 2u);
  EXPECT_EQ(g_stands[0].options[0].readMark, 1u);
  EXPECT_TRUE(logHas("A handmade airport file overruled the archived file!"));
  EXPECT_TRUE(logHas("handmade                : false"));
  EXPECT_TRUE(logHas("Airport file read from \"" + src(g_learnedStockFolder / "EGLL.xml") + "\" for EGLL"));
  // A repeated stand stops the reading; what came before stays.
  writeApf("airports/learned/stock/EGLL.xml", param("handmade", "true"),
           "<parkpos id=\"H1\" latitude=\"51.0\" longitude=\"0.1\" /><parkpos id=\"H1\" latitude=\"51.0\" longitude=\"0.2\" />");
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(g_stands.size(), 1u);
  EXPECT_TRUE(logHas("lf_readLearned: 94: Parking position H1 appears more than once?"));
}

TEST_F(ParkAirportFile, AnUnreadableLearnedFileIsKeptAsItsZeroCopy) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  fs::create_directories(path("airports/learned/stock"));
  test::writeFile(path("airports/learned/stock/EGLL.xml"), "<parameters><oops");
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(test::readFile(path("airports/learned/stock/EGLL0.xml")), "<parameters><oops");
  EXPECT_TRUE(logHas(src(g_learnedStockFolder / "EGLL.xml") + " found, but could not be loaded, saved as *.0.xml: "));
  EXPECT_EQ(g_stands.size(), 3u);
  EXPECT_EQ(g_parkQf, gf_qualityFactor());  // a learned file was there: recomputed all the same
}

TEST_F(ParkAirportFile, ADamagedLearnedFileReplacesAnOlderZeroCopy) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  fs::create_directories(path("airports/learned/stock"));
  test::writeFile(path("airports/learned/stock/EGLL0.xml"), "an older damaged file");
  test::writeFile(path("airports/learned/stock/EGLL.xml"), "<parameters><oops");
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(test::readFile(path("airports/learned/stock/EGLL0.xml")), "<parameters><oops");
  EXPECT_TRUE(logHas(src(g_learnedStockFolder / "EGLL.xml") + " found, but could not be loaded, saved as *.0.xml: "));
  // The copy is kept, so what is learned at this visit may be saved.
  EXPECT_EQ(g_keptLearnedFile.reason, "");
}

TEST_F(ParkAirportFile, SavedLearnedOptionsComeBackAtTheNextLoad) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  Stand& a2 = g_stands[1];
  const std::string baw = "BAW", a320 = "A320";
  ASSERT_EQ(gf_addParkPosOption(a2.options, {baw, a320}, 1, {5, 30}, "BAW77", "G-EUPT"), 1u);
  gf_addOptionCallsign(a2.options, 1, "SHT7");
  a2.radiusNm = 0.02;
  a2.radiusChanged = 1;
  g_standUpdates = 1;
  lf_endParkAirport();
  setPark("EGLL");  // leaving empties the park airport
  EXPECT_TRUE(logHas(" \"" + src(g_learnedStockFolder / "EGLL.xml") + "\" saved with 1 update "));
  EXPECT_TRUE(g_stands.empty());

  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  ASSERT_EQ(g_stands[0].options.size(), 1u);  // the airport file's own option is not learned twice
  const Stand& back = stand("A2");
  ASSERT_EQ(back.options.size(), 1u);
  const ParkPosOption& o = back.options[0];
  EXPECT_EQ(o.airl + o.type + o.reg + o.cs1 + ":" + o.cs2, "BAWA320G-EUPTBAW77:SHT7");
  EXPECT_EQ(o.day, 5u);
  EXPECT_EQ(o.halfHours, std::uint64_t{1} << 30);
  EXPECT_EQ(o.readMark, 0u);
  EXPECT_NEAR(back.radiusNm * 1852, 37.0, 0.05);
  EXPECT_EQ(back.radiusChanged, 1);
}

TEST_F(ParkAirportFile, AParameterChangeAloneWritesAFileWithoutStands) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  lf_endParkAirport();
  setPark("EGLL");  // leaving empties the park airport
  EXPECT_FALSE(fs::exists(path("airports/learned/stock/EGLL.xml")));  // nothing changed, nothing saved
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  g_parkParameterChanged = 1;
  g_standUpdates = 3;
  lf_endParkAirport();
  EXPECT_TRUE(logHas("saved with 3 updates and one or more parameter changes"));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(path("airports/learned/stock/EGLL.xml").c_str()));
  EXPECT_FALSE(doc.child("parkpositions").child("parkpos"));
  EXPECT_EQ(g_standUpdates, 0);
  EXPECT_EQ(g_parkParameterChanged, 0);
}

TEST_F(ParkAirportFile, ALearnedFileThatCannotBeWrittenKeepsTheOldOne) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  writeApf("airports/learned/stock/EGLL.xml", param("airport_name", "Heathrow"),
           "<parkpos id=\"A2\"><opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"1\" cs=\"OLD1\" /></parkpos>");
  const std::string before = test::readFile(path("airports/learned/stock/EGLL.xml"));
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  // The temporary file's place is taken by a folder: the write fails.
  fs::create_directories(gf_atomicTempPath(path("airports/learned/stock/EGLL.xml")) / "x");
  g_standUpdates = 1;
  lf_endParkAirport();
  EXPECT_TRUE(logHas(" saving \"" + src(g_learnedStockFolder / "EGLL.xml") + "\" did not succeed"));
  EXPECT_EQ(test::readFile(path("airports/learned/stock/EGLL.xml")), before);
}

TEST_F(ParkAirportFile, HandmadeAirportsAreSavedWholeAndReadBackWhole) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  writeApf("airports/learned/stock/EGLL.xml", param("handmade", "true"),
           "<parkpos id=\"H1\" latitude=\"51.0\" longitude=\"0.1\" radius=\"20\" />"
           "<parkpos id=\"H2\" latitude=\"51.1\" longitude=\"0.1\" radius=\"20\" />");
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  // Learning enlarges a stand of a handmade airport: it must keep its position in the file.
  g_stands[1].radiusNm = 0.03;
  g_stands[1].radiusChanged = 1;
  g_standUpdates = 1;
  lf_endParkAirport();
  setPark("EGLL");  // leaving empties the park airport
  EXPECT_TRUE(logHas(" handmade \"" + src(g_learnedStockFolder / "EGLL.xml") + "\" saved with 1 update "));
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  ASSERT_EQ(g_stands.size(), 2u);
  EXPECT_NEAR(stand("H2").radiusNm * 1852, 55.6, 0.05);
  EXPECT_NEAR(stand("H2").lat, 51.1, 1e-6);
}

// ---- The destination stand and the offline-learning check ----

TEST_F(ParkAirportFile, NearestStandOfAnAirportsFile) {
  std::string name = "kept";
  EXPECT_EQ(gf_readDestApfForClosestStand("EGLL", {51.47, -0.46}, name), 100.0);
  EXPECT_EQ(name, "kept");
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(),
           "<parkpos id=\"FAR\" latitude=\"10\" longitude=\"10\" />"
           "<parkpos id=\"E1\" latitude=\"51.48\" longitude=\"-0.46\" /><parkpos id=\"E2\" latitude=\"51.46\" longitude=\"-0.46\" />");
  gf_forgetServerProbes();
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGLL", {51.47, -0.46}, name), 0.6, 1e-9);
  EXPECT_EQ(name, "E1");  // the first of two at the same distance
  EXPECT_TRUE(fs::exists(path("airport.xml")));
  name = "kept";
  EXPECT_EQ(gf_readDestApfForClosestStand("EGLL", {-40, 100}, name), 100.0);
  EXPECT_EQ(name, "kept");
  // The stands are read once per service run: no new download at the next check.
  fs::remove(path("server/P3D/archive/stock/EGLL.xml"));
  EXPECT_NEAR(gf_readDestApfForClosestStand("EGLL", {51.47, -0.46}, name), 0.6, 1e-9);
  EXPECT_EQ(name, "E1");
  gf_forgetServerProbes();
  EXPECT_EQ(gf_readDestApfForClosestStand("EGLL", {51.47, -0.46}, name), 100.0);
}

TEST_F(ParkAirportFile, OfflineLearningNeedsAQualityFactorAndTwentyWeeks) {
  const auto check = [&](const std::string& params) {
    writeApf("server/P3D/archive/stock/EGLL.xml", param("altitude", "1") + params, "");
    return gf_checkOfflineLearning("EGLL");
  };
  EXPECT_TRUE(check(param("Qf_real", "0") + param("WEEK", "20")));
  EXPECT_FALSE(check(param("Qf_real", "0") + param("WEEK", "19")));
  EXPECT_FALSE(check(param("Qf_real", "0")));
  EXPECT_FALSE(check(param("Qf_real", "-1") + param("Qf_soft", "-3") + param("WEEK", "40")));
  EXPECT_FALSE(check(param("WEEK", "40")));
  EXPECT_TRUE(check("<parameter name=\"Qf_soft\" />" + param("WEEK", "25")));
  EXPECT_FALSE(fs::exists(path("EGLL.xml")));
  EXPECT_FALSE(logHas("Not suitable"));
  EXPECT_FALSE(gf_checkOfflineLearning("NONE"));
  EXPECT_TRUE(logHas("===> NONE Not suitable for offline learning"));
}

// ---- Files built to cost as much as possible ----

constexpr std::uint64_t kMiB = 1024 * 1024;

std::string parkposAt(const std::string& id, const LatLon& at, const std::string& radius, const std::string& more = {}) {
  return fmt::format("<parkpos id=\"{}\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"{}\"{} />", id, at.lat, at.lon,
                     radius, more);
}

TEST_F(ParkAirportFile, StandsWithValuesNoRealStandHasAreSkippedWithALine) {
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport.alt = 83;  // the airport list's altitude
  }
  std::string stands = parkposAt("A1", {51.47, -0.46}, "15");
  // Each with one value that is no real one.
  const std::pair<const char*, const char*> bad[] = {
      {"latitude", "nan"}, {"latitude", "91"},  {"longitude", "-inf"}, {"longitude", "180.5"}, {"radius", "inf"},
      {"radius", "nan"},   {"radius", "-5"},    {"radius", "250"},     {"radius", "1e999"},    {"heading", "inf"}};
  std::vector<std::string> expected;
  const std::string source = src(g_myThirdpartyFolder / "EGLL.xml");
  for (std::size_t k = 0; k < std::size(bad); ++k) {
    std::map<std::string, std::string> v{{"latitude", "51.47"}, {"longitude", "-0.46"}, {"radius", "10"}, {"heading", "0"}};
    v[bad[k].first] = bad[k].second;
    stands += fmt::format("<parkpos id=\"B{}\" latitude=\"{}\" longitude=\"{}\" radius=\"{}\" heading=\"{}\" />", k,
                          v["latitude"], v["longitude"], v["radius"], v["heading"]);
    expected.push_back(
        fmt::format("stand B{} of {} skipped: its {} \"{}\" is no real one", k, source, bad[k].first, bad[k].second));
  }
  for (int k = 0; k < 5; ++k) stands += parkposAt(fmt::format("C{}", k), {51.47, -0.46}, "nan");
  stands += parkposAt("A2", {51.4701, -0.46}, "200");  // the largest radius a stand may have
  writeApf("airports/my_thirdparty/EGLL.xml",
           param("publisher", "P") + param("altitude", "2147483647") + param("airport_name", "Heathrow"), stands);
  // A learned file whose change and manual stand are no real ones either.
  writeApf(gf_pathText(lf_learnedApfPath(source, "P")), param("airport_name", "Heathrow"),
           "<parkpos id=\"A1\" radius_change=\"true\" radius=\"inf\"><opt airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"1\" /></parkpos>"
           "<parkpos id=\"M1\" manual=\"true\" latitude=\"51.47\" longitude=\"nan\" radius=\"10\" />");

  EXPECT_EQ(load(source), "");
  ASSERT_EQ(g_stands.size(), 2u);
  EXPECT_EQ(g_stands[0].name, "A1");
  EXPECT_EQ(g_stands[1].name, "A2");
  EXPECT_EQ(g_stands[0].radiusChanged, 0);
  EXPECT_NEAR(g_stands[0].radiusNm * 1852, 15.0, 1e-9);  // the airport file's own
  EXPECT_EQ(g_stands[0].options.size(), 1u);              // the learned option stays
  EXPECT_EQ(g_parkApfInfo.altitude, 83);
  EXPECT_EQ(gf_parkAirportSnapshot().alt, 83.0);
  EXPECT_EQ(g_trafficReader.parkElevation(), 83.0);
  const std::string learned = gf_pathText(lf_learnedApfPath(source, "P"));
  expected.insert(expected.end(),
                  {"altitude 2147483647 ft of " + source + " is no real airport's, 83 ft of the airport list kept",
                   "5 more stands of " + source + " skipped or changed for values no real stand has",
                   "stand A1 of " + learned + ": its changed radius \"inf\" is no real one, its radius of 15.0 m kept",
                   "stand M1 of " + learned + " skipped: its longitude \"nan\" is no real one"});
  for (const std::string& line : expected) EXPECT_TRUE(logHas(line)) << line;
  EXPECT_FALSE(logHas("stand C0 of"));
}

TEST_F(ParkAirportFile, TwentyThousandStandsOfInfiniteRadiusLoadWithinABound) {
  std::string stands = parkposAt("A1", {51.47, -0.46}, "15");
  for (int k = 0; k < 20000; ++k) stands += parkposAt(fmt::format("S{}", k), {51.47, -0.46}, "inf");
  writeApf("airports/my_thirdparty/EGLL.xml", stockParams(), stands);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(256 * kMiB, [&] {
    return load(src(g_myThirdpartyFolder / "EGLL.xml")) == "" && g_stands.size() == 1 && g_stands[0].overlapIds.empty();
  }));
}

TEST_F(ParkAirportFile, ThirtyThousandStandsOnOneLineLoadWithinABound) {
  // 25 m apart along one parallel, 15 m radius: each overlaps its two neighbours only.
  std::string stands;
  LatLon at{51.47, -0.7};
  for (int k = 0; k < 30000; ++k) {
    stands += parkposAt(fmt::format("S{}", k), at, "15");
    at = gf_destinationPoint(at, kPi / 2, 25.0 / 1852.0 * kFeetPerNm);
  }
  writeApf("airports/my_thirdparty/EGLL.xml", stockParams(), stands);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      256 * kMiB,
      [&] {
        if (load(src(g_myThirdpartyFolder / "EGLL.xml")) != "" || g_stands.size() != 30000) return false;
        for (std::uint32_t k = 0; k < 30000; ++k) {
          std::vector<std::uint32_t> expected;
          if (k > 0) expected.push_back(k);
          if (k + 1 < 30000) expected.push_back(k + 2);
          if (g_stands[k].overlapIds != expected) return false;
        }
        return true;
      },
      std::chrono::seconds(60)));
}

TEST_F(ParkAirportFile, OverlapsAreThoseOfEveryPairComparedAlsoAtThePoleAndTheDateLine) {
  // Clusters of stands with radii from 0 to 60 m, one at an ordinary airport, one on the date line,
  // one a few metres from the pole; the expected pairs come from comparing every pair.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> course(0, 2 * kPi), metres(0, 300), radius(0, 60);
  std::vector<std::pair<LatLon, double>> placed;
  for (const LatLon centre : {LatLon{51.47, -0.46}, LatLon{-16.9, 179.9995}, LatLon{89.9995, 20.0}})
    for (int k = 0; k < 150; ++k)
      placed.push_back({gf_destinationPoint(centre, course(random), metres(random) / 1852.0 * kFeetPerNm), radius(random)});
  std::string stands;
  for (std::size_t i = 0; i < placed.size(); ++i)
    stands += fmt::format("<parkpos id=\"S{}\" latitude=\"{:.9f}\" longitude=\"{:.9f}\" radius=\"{:.3f}\" />", i,
                          placed[i].first.lat, placed[i].first.lon, placed[i].second);
  writeApf("airports/my_thirdparty/EGLL.xml", stockParams(), stands);
  ASSERT_EQ(load(src(g_myThirdpartyFolder / "EGLL.xml")), "");
  ASSERT_EQ(g_stands.size(), placed.size());
  std::size_t pairs = 0;
  for (std::size_t i = 0; i < g_stands.size(); ++i) {
    std::vector<std::uint32_t> expected;
    for (std::size_t k = 0; k < g_stands.size(); ++k) {
      const Stand& a = g_stands[i];
      const Stand& b = g_stands[k];
      if (k != i && gf_distanceNm({a.lat, a.lon}, {b.lat, b.lon}) * 1.1 < a.radiusNm + b.radiusNm)
        expected.push_back(b.id);
    }
    pairs += expected.size();
    EXPECT_EQ(g_stands[i].overlapIds, expected) << g_stands[i].name;
  }
  EXPECT_GT(pairs, 100u);  // the clusters are dense enough to overlap
}

TEST_F(ParkAirportFile, TwoHundredThousandLearnedOptionsOnOneStandMergeWithinABound) {
  writeApf("airports/my_thirdparty/EGLL.xml", param("publisher", "P") + param("altitude", "83"), threeStands());
  const std::string source = src(g_myThirdpartyFolder / "EGLL.xml");
  // Half on one element, half as elements of their own naming the same stand; every tenth repeats
  // an earlier use in one of its half hours and is dropped.
  std::string one = "<parkpos id=\"A2\">";
  std::string many;
  for (int k = 0; k < 200000; ++k) {
    const int reg = k % 10 == 9 ? k - 9 : k;
    const std::string opt = fmt::format("<opt reg=\"N{}\" airl=\"DAL\" type=\"B738\" day=\"3\" hh=\"{}\" />", reg,
                                        k % 10 == 9 ? "5,40" : "5");
    if (k < 100000)
      one += opt;
    else
      many += "<parkpos id=\"A2\">" + opt + "</parkpos>";
  }
  writeApf(gf_pathText(lf_learnedApfPath(source, "P")), param("airport_name", ""), one + "</parkpos>" + many);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      512 * kMiB,
      [&] {
        if (load(source) != "" || g_stands.size() != 3) return false;
        const Stand& a2 = stand("A2");
        return a2.options.size() == 180000 && a2.options.back().id == 180000 && a2.options.front().reg == "N0";
      },
      std::chrono::seconds(60)));
}

// ---- What the user taught is kept ----

// A handmade file of 201 stands whose 22nd repeats the first one's name.
std::string handmadeWithARepeat() {
  std::string stands;
  for (int k = 0; k < 201; ++k)
    stands += fmt::format("<parkpos id=\"H{}\" latitude=\"{:.6f}\" longitude=\"0.1\" radius=\"20\">"
                          "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"3\" hh=\"4\" cs=\"BAW4\" /></parkpos>",
                          k == 21 ? 0 : k, 51.0 + k * 0.001);
  return stands;
}

TEST_F(ParkAirportFile, AHandmadeFileStoppedAtARepeatedStandIsNotCutDownByTheSave) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  const std::string rel = "airports/learned/stock/EGLL.xml";
  writeApf(rel, param("handmade", "true"), handmadeWithARepeat());
  const std::string before = test::readFile(path(rel));
  const std::string file = src(g_learnedStockFolder / "EGLL.xml");
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(g_stands.size(), 21u);  // what was read before the repeat works for this visit
  const std::string kept = "Learned airport file \"" + file +
                           "\" not read whole (94: Parking position H0 appears more than once?): it is kept as it "
                           "is, and what is learned at this visit is not saved";
  EXPECT_EQ(message(), kept);
  EXPECT_TRUE(logHas(kept));
  g_standUpdates = 1;
  g_parkParameterChanged = 1;
  lf_endParkAirport();
  setPark("EGLL");
  EXPECT_TRUE(test::readFile(path(rel)) == before) << "the file was changed";  // all 201 stands kept
  EXPECT_NE(message().find(" \"" + file + "\" not saved: it was not read whole (94: Parking position H0 appears "
                           "more than once?), it is kept as it is"),
            std::string::npos)
      << message();
  EXPECT_EQ(g_standUpdates, 0);
  // Mended by hand, it is read and saved whole again.
  std::string mended = handmadeWithARepeat();
  const std::string repeat = "<parkpos id=\"H0\" latitude=\"51.021000\"";
  ASSERT_NE(mended.find(repeat), std::string::npos);
  mended.replace(mended.find(repeat), repeat.size(), "<parkpos id=\"H21\" latitude=\"51.021000\"");
  writeApf(rel, param("handmade", "true"), mended);
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(g_stands.size(), 201u);
  g_standUpdates = 1;
  lf_endParkAirport();
  setPark("EGLL");
  EXPECT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(g_stands.size(), 201u);
}

TEST_F(ParkAirportFile, LearnedFilesNotReadWholeAreKeptAsTheyAre) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  const std::string rel = "airports/learned/stock/EGLL.xml";
  const std::string file = src(g_learnedStockFolder / "EGLL.xml");
  const auto keptAfterAVisit = [&](const std::string& reason) {
    const std::string before = test::readFile(path(rel));
    if (load("archive/stock/EGLL.xml") != "") return false;
    const bool told = message().find("\"" + file + "\" not read whole (" + reason + ")") != std::string::npos;
    g_standUpdates = 1;
    lf_endParkAirport();
    setPark("EGLL");
    return told && test::readFile(path(rel)) == before && logHas("not saved: it was not read whole (" + reason + ")");
  };
  // A meta block without its version: nothing of it is read.
  writeApf(rel, param("airport_name", "Heathrow"),
           "<parkpos id=\"A2\"><opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"1\" /></parkpos>",
           "<meta><info name=\"author\" value=\"a\" /><info name=\"date\" value=\"d\" /></meta>\n");
  EXPECT_TRUE(keptAfterAVisit("its meta block is incomplete"));
  // A stand made by hand at a position no real stand has: it cannot be used, nor dropped.
  writeApf(rel, param("airport_name", "Heathrow"),
           "<parkpos id=\"M1\" manual=\"true\" latitude=\"95\" longitude=\"0.1\" radius=\"20\" />"
           "<parkpos id=\"A2\"><opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"1\" /></parkpos>");
  EXPECT_TRUE(keptAfterAVisit("1 stand with values no real stand has"));
  // A damaged file is kept as its "0" copy, said on the message line; the save writes anew.
  test::writeFile(path(rel), "<parameters><oops");
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(message().rfind(file + " found, but could not be loaded, saved as *.0.xml: ", 0), 0u) << message();
  g_standUpdates = 1;
  lf_endParkAirport();
  EXPECT_EQ(test::readFile(path("airports/learned/stock/EGLL0.xml")), "<parameters><oops");
  EXPECT_TRUE(logHas(" \"" + file + "\" saved with 1 update "));
}

TEST_F(ParkAirportFile, AChangedRadiusNoRealStandHasKeepsTheStandsOptions) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  const std::string rel = "airports/learned/stock/EGLL.xml";
  const auto threeOptions = [](const std::string& airline) {
    std::string opts;
    for (int day = 1; day <= 3; ++day)
      opts += fmt::format("<opt reg=\"\" airl=\"{}\" type=\"A320\" day=\"{}\" hh=\"20\" cs=\"{}{}\" />", airline, day,
                          airline, day);
    return opts;
  };
  writeApf(rel, param("airport_name", "Heathrow"),
           "<parkpos id=\"A1\" radius_change=\"true\" radius=\"250\">" + threeOptions("DLH") + "</parkpos>"
           "<parkpos id=\"A2\" radius_change=\"true\" radius=\"-5\">" + threeOptions("AFR") + "</parkpos>"
           "<parkpos id=\"A3\" radius_change=\"true\" radius=\"nan\" cargo_change=\"true\" cargo=\"false\">" +
               threeOptions("KLM") + "</parkpos>");
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  const std::string file = src(g_learnedStockFolder / "EGLL.xml");
  for (const char* name : {"A1", "A2", "A3"}) {
    EXPECT_NEAR(stand(name).radiusNm * 1852, 15.0, 1e-9) << name;  // the airport file's own
    EXPECT_EQ(stand(name).radiusChanged, 0) << name;
  }
  EXPECT_EQ(stand("A1").options.size(), 4u);  // the file's own and the three learned
  EXPECT_EQ(stand("A2").options.size(), 3u);
  EXPECT_EQ(stand("A3").options.size(), 3u);
  EXPECT_EQ(stand("A3").cargoChanged, 1);  // what is real of the element is taken
  for (const char* line : {"stand A1 of {}: its changed radius \"250\" is no real one, its radius of 15.0 m kept",
                           "stand A2 of {}: its changed radius \"-5\" is no real one, its radius of 15.0 m kept",
                           "stand A3 of {}: its changed radius \"nan\" is no real one, its radius of 15.0 m kept"})
    EXPECT_TRUE(logHas(fmt::format(fmt::runtime(line), file))) << line;
  EXPECT_EQ(message().find("not read whole"), std::string::npos);  // the file was read whole
  g_standUpdates = 1;
  lf_endParkAirport();
  setPark("EGLL");
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(path(rel).c_str()));
  std::size_t options = 0;
  for (pugi::xml_node p : doc.child("parkpositions").children("parkpos")) {
    EXPECT_FALSE(p.attribute("radius_change")) << p.attribute("id").value();
    for (pugi::xml_node o : p.children("opt")) ++options, static_cast<void>(o);
  }
  EXPECT_EQ(options, 9u);
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_EQ(stand("A2").options.size(), 3u);
}

TEST_F(ParkAirportFile, UnreadableHoursAreLoggedWithinABoundPerFile) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  // 100 options each with a bad hour and one whose hours are 2,000 commas.
  std::string opts;
  for (int k = 0; k < 100; ++k)
    opts += fmt::format("<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"1\" hh=\"{},x{}\" cs=\"B{}\" />", k % 48, k, k);
  opts += "<opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"2\" hh=\"" + std::string(2000, ',') + "\" />";
  writeApf("airports/learned/stock/EGLL.xml", param("airport_name", "Heathrow"), "<parkpos id=\"A2\">" + opts + "</parkpos>");
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  // The readable hours stay: one option per half hour (the repeats are the same use), and the one
  // without any.
  EXPECT_EQ(stand("A2").options.size(), 49u);
  const std::string file = src(g_learnedStockFolder / "EGLL.xml");
  EXPECT_EQ(logCount("gf_hours2bitset invalid hour "), 20u);
  EXPECT_TRUE(logHas("gf_hours2bitset invalid hour \"x0\" in 0,x0"));
  EXPECT_TRUE(logHas("gf_hours2bitset 2081 more invalid hours in " + file + " not logged"));
  EXPECT_LT(fs::file_size(path("Log.txt")), 64u * 1024);
}

TEST_F(ParkAirportFile, OneOptionsHoursOfTwoHundredThousandCommasLogAFewLines) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  writeApf("airports/learned/stock/EGLL.xml", param("airport_name", "Heathrow"),
           "<parkpos id=\"A2\"><opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"2\" hh=\"" + std::string(200000, ',') +
               "\" /></parkpos>");
  // In a child whose files may not grow beyond 64 MiB: a reader that logged the whole text with
  // every piece would fill the disk.
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      256 * kMiB,
      [&] {
        test::limitFileSize(64 * kMiB);
        return load("archive/stock/EGLL.xml") == "";
      },
      std::chrono::seconds(60)));
  const std::uintmax_t logBytes = fs::file_size(path("Log.txt"));
  std::printf("    log: %ju bytes\n", logBytes);
  EXPECT_LT(logBytes, 10 * kMiB);
  EXPECT_TRUE(logHas("gf_hours2bitset 199981 more invalid hours in " + src(g_learnedStockFolder / "EGLL.xml") +
                     " not logged"));
}

TEST_F(ParkAirportFile, AParkingPercentageOfAnyNumberIsLoggedAndParksAtMostEveryStand) {
  writeApf("server/P3D/archive/stock/EGLL.xml", stockParams(), threeStands());
  writeApf("airports/learned/stock/EGLL.xml", param("airport_name", "Heathrow") + param("parking_percentage", "-2147483647"), "");
  ASSERT_EQ(load("archive/stock/EGLL.xml"), "");
  EXPECT_TRUE(logHas("parking_percentage -2147483647 is no percentage: static parking takes 0%"));
  EXPECT_EQ(parking_percentage.value, -2147483647);  // kept for the file as it was
}

TEST_F(ParkAirportFile, StandsOnOneSpotListABoundedNumberOfOverlaps) {
  std::string stands;
  for (int k = 0; k < 100; ++k) stands += parkposAt(fmt::format("S{}", k), {51.47, -0.46}, "15");
  stands += parkposAt("FAR", {51.48, -0.46}, "15");
  writeApf("airports/my_thirdparty/EGLL.xml", stockParams(), stands);
  ASSERT_EQ(load(src(g_myThirdpartyFolder / "EGLL.xml")), "");
  ASSERT_EQ(g_stands.size(), 101u);
  std::size_t pairs = 0;
  for (const Stand& a : g_stands) {
    EXPECT_LE(a.overlapIds.size(), 64u) << a.name;
    for (const std::uint32_t id : a.overlapIds) {
      const Stand& b = g_stands[id - 1];
      EXPECT_NE(b.name, "FAR");
      // Listed both ways.
      EXPECT_TRUE(std::binary_search(b.overlapIds.begin(), b.overlapIds.end(), a.id)) << a.name << " " << b.name;
      ++pairs;
    }
  }
  EXPECT_GE(pairs, 100u * 32);  // the lists fill up towards their bound
  EXPECT_TRUE(stand("FAR").overlapIds.empty());
  EXPECT_TRUE(logHas(" of 101 stands lie among too many others: at most 64 overlaps of a stand are listed"));
}

}  // namespace
}  // namespace amb
