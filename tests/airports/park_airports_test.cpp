// The user's park airports: "my_park_airports.txt" read and written, the my_thirdparty airports, the
// destination and the user's stand put first, and the periodic check that picks, loads and leaves
// the park airport as the user aircraft moves.

#include "parking_fixture.hpp"

#include "refdata/download.hpp"

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::eastNm;
using test::kMetaBlock;

const AirportData kEgll{"EGLL", "LHR", 51.4706, -0.461941, 83};
const AirportData kEgkk{"EGKK", "LGW", 51.1481, -0.190278, 202};
const AirportData kEddf{"EDDF", "FRA", 50.0333, 8.57056, 364};
const AirportData kLfpg{"LFPG", "CDG", 49.0097, 2.54778, 392};

class ParkAirports : public test::ParkingTest {
protected:
  void SetUp() override {
    ParkingTest::SetUp();
    airports({kEgll, kEgkk, kEddf, kLfpg});
    fs::create_directories(path("server/P3D/archive/stock"));
    useServerUrl(gf_fileUrl(path("server"), true));
  }
  void writeList(const std::string& text) { test::writeFile(path("airports/my_park_airports.txt"), text); }
  std::string list() const { return test::readFile(path("airports/my_park_airports.txt")); }
  // The server's stock file of an airport: two stands 60 m apart at its reference position.
  void serverFile(const AirportData& a) {
    const LatLon b = eastNm(LatLon{a.lat, a.lon}, 60.0 / 1852);
    test::writeFile(path("server/P3D/archive/stock/" + a.code + ".xml"),
                    fmt::format("<?xml version=\"1.0\"?>\n{}<parameters><parameter name=\"publisher\" value=\"stock\" />"
                                "<parameter name=\"altitude\" value=\"{}\" /></parameters>\n<parkpositions>"
                                "<parkpos id=\"A1\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"25\" />"
                                "<parkpos id=\"A2\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"25\" />"
                                "</parkpositions>\n",
                                kMetaBlock, a.alt, a.lat, a.lon, b.lat, b.lon));
  }
  static std::string parkCode() { return gf_parkAirportSnapshot().code; }
};

// ---- The file ----

TEST_F(ParkAirports, TheFileIsReadLineByLine) {
  writeList("EDDF,A12\nEDDF,A12,x\n\nEDDF\nXXXX\n  LFPG \t\r\n");
  EXPECT_FALSE(lf_readMyParkAirports());
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EDDF,A12", "LFPG"}));
  EXPECT_TRUE(logHas("===> my_park_airports.txt:EDDF,A12,x wrong syntax, skipped"));
  EXPECT_TRUE(logHas("===> my_park_airports.txt:EDDF double, skipped"));
  EXPECT_TRUE(logHas("airport XXXX is unknown"));
  EXPECT_TRUE(logHas("2 park airports read from \"my_park_airports.txt\""));
  const ParkAirport first = parkAirports().front();
  EXPECT_EQ(first.latitude, kEddf.lat);
  EXPECT_EQ(first.longitude, kEddf.lon);
  writeList("EDDF\n");
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_TRUE(logHas("1 park airport read from \"my_park_airports.txt\""));
}

TEST_F(ParkAirports, TheMyThirdpartyAirportsJoinTheList) {
  writeList("LFPG\n");
  for (const char* f : {"EGLL.txt", "EGLL.xml", "ZZZZ.xml", "LFPG.xml"}) test::writeFile(path("airports/my_thirdparty") / f, "");
  fs::create_directories(path("airports/my_thirdparty/EGKK"));  // a folder is no airport
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"LFPG", "EGLL"}));
  EXPECT_TRUE(logHas("1 park airport added from my_thirdparty folder(-s) "));
  // Without the folder the reading fails, keeping what it read.
  fs::remove_all(path("airports/my_thirdparty"));
  EXPECT_FALSE(lf_readMyParkAirports());
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"LFPG"}));
  EXPECT_EQ(logCount("===> lf_readMyParkAirports: "), 1u);
}

TEST_F(ParkAirports, ManyParkAirportsCostCpuTime) {
  std::vector<AirportData> many;
  std::string text;
  for (int i = 0; i < 3001; ++i) {
    many.push_back({fmt::format("Q{:03}", i), "", 10.0 + i * 0.01, 20.0, 0});
    if (i < 3000) text += many.back().code + "\n";
  }
  airports(many);
  writeList(text);
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_EQ(message(), "");
  writeList(text + "Q3000\n");
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_EQ(message(), "Warning: There are a lot of airports (3001) in my_park_airports.txt, that will cost AMBT much "
                       "cpu time, and may give stutters");
}

TEST_F(ParkAirports, ADestinationIsWrittenIntoTheFileOnce) {
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_TRUE(logHas(gf_pathText(g_myParkAirportsPath) + " not found"));
  gf_requestParkAirportToFront("EGLL", {kEgll.lat, kEgll.lon});
  EXPECT_EQ(list(), "");  // the worker's work
  gf_applyParkAirportRequests();
  EXPECT_EQ(list(), "EGLL\n");
  EXPECT_TRUE(logHas("my_park_airports.txt created with EGLL"));
  // Known already: moved to the front, the file stays.
  gf_parkAirportToFront("LFPG", {kLfpg.lat, kLfpg.lon});
  gf_parkAirportToFront("EGLL", {kEgll.lat, kEgll.lon});
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL", "LFPG"}));
  EXPECT_EQ(list(), "EGLL\nLFPG\n");
  EXPECT_EQ(gf_firstParkAirportPosition(), std::make_pair(kEgll.lat, kEgll.lon));
}

TEST_F(ParkAirports, TheFileIsRewrittenSortedWithItsOtherLinesKept) {
  writeList("LFPG\r\nEDDF,B7\nLFPG\nmy own note\n");
  ASSERT_FALSE(lf_readMyParkAirports());  // "my own note" is no airport
  gf_parkAirportToFront("EGLL", {kEgll.lat, kEgll.lon});
  EXPECT_EQ(list(), "EDDF,B7\nEGLL\nLFPG\nmy own note\n");
  EXPECT_TRUE(logHas("my_park_airports.txt:EGLL new entry"));
}

TEST_F(ParkAirports, TheStandWhereTheUserParksBecomesTheReservedStand) {
  writeList("EGLL\nLFPG\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  setPark(kEgll);
  g_stands = {test::makeStand("212", kEgll.lat, kEgll.lon, 0, 30)};
  g_stands.front().id = 1;
  gf_forgetStandNameCache();
  g_userOnGround = 1;
  gf_reserveUserStand({kEgll.lat, kEgll.lon});
  EXPECT_EQ(list(), "EGLL,212\nLFPG\n");
  EXPECT_TRUE(logHas("my_park_airports.txt:EGLL,212 updated stand"));
  // Only for the park airport at the front of the list.
  gf_parkAirportToFront("LFPG", {kLfpg.lat, kLfpg.lon});
  g_stands.front().name = "213";
  gf_forgetStandNameCache();
  gf_reserveUserStand({kEgll.lat, kEgll.lon});
  EXPECT_EQ(list(), "EGLL,212\nLFPG\n");
}

// The airport stands once in the list: at the load it moves to the front with the user's stand.
TEST_F(ParkAirports, TheLoadedAirportMovesToTheFrontOnce) {
  writeList("LFPG\nEGLL,B1\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  gf_noteUserStandAtParkAirport(kEgll, "");
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL,B1", "LFPG"}));
  gf_noteUserStandAtParkAirport(kEgll, "A5");
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL,A5", "LFPG"}));
  EXPECT_EQ(list(), "EGLL,A5\nLFPG\n");
  gf_noteUserStandAtParkAirport(kEgkk, "");
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGKK", "EGLL,A5", "LFPG"}));
  EXPECT_EQ(list(), "EGKK\nEGLL,A5\nLFPG\n");
}

TEST_F(ParkAirports, ARereadFollowsAChangedReservedStand) {
  writeList("EGLL,B2\n");
  setPark(kEgll);
  g_stands = {test::makeStand("B1", kEgll.lat, kEgll.lon, 0, 30), test::makeStand("B2", kEgll.lat + 0.001, kEgll.lon, 0, 30)};
  g_stands[0].id = 1;
  g_stands[1].id = 2;
  g_stands[0].reserved = 1;
  g_reservedStandName = "B1";
  g_userOnGroundKnown = 1;
  std::string text;
  EXPECT_TRUE(gf_checkParkAirports(true, text));
  EXPECT_EQ(text, "reserved stand changed from \"B1\" to \"B2\"");
  EXPECT_EQ(g_reservedStandName, "B2");
  EXPECT_EQ(g_stands[0].reserved, 0);
  EXPECT_EQ(g_stands[1].reserved, 1);
  text.clear();
  EXPECT_TRUE(gf_checkParkAirports(true, text));
  EXPECT_EQ(text, "park airports and stands are okay");
  writeList("EGLL,B2\nXXXX\n");
  text = "kept";
  EXPECT_FALSE(gf_checkParkAirports(true, text));
  EXPECT_EQ(text, "kept");
}

TEST_F(ParkAirports, AListFileTooLargeToReadIsKeptByteForByte) {
  const std::string refused = "my_park_airports.txt refused: it holds more than 16777216 bytes or 500000 lines, it is "
                              "kept as it is";
  const std::string notChanged = "my_park_airports.txt not changed: it holds more than 16777216 bytes or 500000 lines, "
                                 "it is kept as it is";
  std::string lines;
  for (int i = 0; i < 500001; ++i) lines += i % 2 == 0 ? "EGLL\n" : "LFPG\n";
  // Too many lines, or one line too long.
  for (const std::string& text : {lines, "EGLL\n" + std::string(17 * 1024 * 1024, 'x') + "\n"}) {
    writeList(text);
    EXPECT_FALSE(lf_readMyParkAirports());
    EXPECT_EQ(message(), refused);
    EXPECT_TRUE(parkCodes().empty());
    // The park airport is loaded, the user's stand noted: the file stays as it was.
    gf_noteUserStandAtParkAirport(kEgll, "A5");
    EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL,A5"}));
    EXPECT_EQ(message(), notChanged);
    gf_parkAirportToFront("EDDF", {kEddf.lat, kEddf.lon});
    EXPECT_TRUE(list() == text) << "the file was changed";
    // A re-read refuses it again and says so; it does not say the park airports are okay.
    gf_clearMessage();
    std::string reread;
    EXPECT_FALSE(gf_checkParkAirports(true, reread));
    EXPECT_EQ(reread, "");
    EXPECT_EQ(message(), refused);
    EXPECT_FALSE(logHas("created with"));
    EXPECT_FALSE(logHas("new entry"));
  }
}

// A hostile list costs a few lines of log at each read, however many faults it holds (its text
// escaped and cut), and the message line shows the first unknown airport only.
TEST_F(ParkAirports, AHostileListCostsAFewLinesOfLogAndOneMessage) {
  std::string text = std::string(1024 * 1024, 'Z') + "\n" + std::string("A\0B", 3) + "\nEDDF,A12,x\nEGLL\nLFPG\n";
  for (int i = 0; i < 20000; ++i) text += "EGLL\nQ" + std::to_string(i) + "\n";
  writeList(text);
  EXPECT_FALSE(lf_readMyParkAirports());
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL", "LFPG"}));
  EXPECT_LT(fs::file_size(path("Log.txt")), 10000u);
  // 2 + 1 + 20,000 + 20,000 faults, of which the first 20 are logged.
  EXPECT_EQ(logCount("===> "), 21u);
  EXPECT_TRUE(logHas("===> 39983 more faults in my_park_airports.txt not logged"));
  const std::string cut = "airport " + std::string(200, 'Z') + "... is unknown";
  EXPECT_TRUE(logHas("===> " + cut));
  EXPECT_TRUE(logHas("===> airport A\\x00B is unknown"));
  EXPECT_EQ(message(), cut);
}

// A close need not wait for the rest of a long list.
TEST_F(ParkAirports, AReadStopsWhenTheProgramCloses) {
  std::string text;
  for (int i = 0; i < 5000; ++i) text += i % 2 == 0 ? "EGLL\n" : "LFPG\n";
  writeList(text + "EDDF\n");
  g_userClosed = 1;
  EXPECT_FALSE(lf_readMyParkAirports());
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL", "LFPG"}));
  EXPECT_TRUE(logHas("my_park_airports.txt read up to line 4096: the run is ending"));
}

// The writer keeps within the limits the reader reads with: an addition that would pass them is
// refused, shown and logged, and the file stays byte for byte; one that reaches them is written.
TEST_F(ParkAirports, TheListIsNeverWrittenPastWhatItCanBeReadWith) {
  const std::string refused = "my_park_airports.txt not changed: with EGLL,A5 it would hold more than 16777216 "
                              "bytes or 500000 lines, it is kept as it is";
  std::string lines;
  for (int i = 0; i < 499999; ++i) lines += fmt::format("N{:06}\n", i);
  const std::string longLine = std::string(16777207, 'x') + "\n";
  // With "EGLL,A5\n" (8 bytes): 500,000 lines, then 500,001; 16,777,216 bytes, then 16,777,217.
  for (const auto& [text, full] : {std::pair{lines, lines + "N999999\n"}, std::pair{longLine, "x" + longLine}}) {
    gf_resetParkAirports();
    writeList(text);
    gf_noteUserStandAtParkAirport(kEgll, "A5");
    EXPECT_EQ(fs::file_size(path("airports/my_park_airports.txt")), text.size() + 8);
    gf_resetParkAirports();
    writeList(full);
    gf_noteUserStandAtParkAirport(kEgll, "A5");
    EXPECT_TRUE(list() == full) << "the file was changed";
    EXPECT_EQ(message(), refused);
    gf_endNoticeHold();
  }
  EXPECT_EQ(logCount(refused), 2u);
}

TEST_F(ParkAirports, AByteOrderMarkIsNoPartOfTheFirstCode) {
  writeList("\xEF\xBB\xBF" "EGLL,B1\r\nLFPG\r\n");
  EXPECT_TRUE(lf_readMyParkAirports());
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL,B1", "LFPG"}));
  EXPECT_FALSE(logHas("is unknown"));
  // Its line is the airport's own line when the file is written again.
  gf_noteUserStandAtParkAirport(kEgll, "A5");
  EXPECT_EQ(list(), "EGLL,A5\nLFPG\n");
  EXPECT_TRUE(logHas("my_park_airports.txt:EGLL,A5 updated stand"));
}

TEST_F(ParkAirports, AFileThatCouldNotBeWrittenIsNotLoggedAsCreated) {
  EXPECT_TRUE(lf_readMyParkAirports());
  // The temporary file's place is taken by a folder: the write fails.
  fs::create_directories(gf_atomicTempPath(path("airports/my_park_airports.txt")) / "x");
  gf_parkAirportToFront("EGLL", {kEgll.lat, kEgll.lon});
  EXPECT_TRUE(logHas("my_park_airports.txt could not be written"));
  EXPECT_FALSE(logHas("my_park_airports.txt created with"));
  EXPECT_FALSE(fs::exists(path("airports/my_park_airports.txt")));
  fs::remove_all(gf_atomicTempPath(path("airports/my_park_airports.txt")));
  gf_parkAirportToFront("LFPG", {kLfpg.lat, kLfpg.lon});
  EXPECT_EQ(list(), "LFPG\n");
  // Written, then logged.
  const std::vector<std::string> lines = logLines();
  const auto failed = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("could not be written") != std::string::npos;
  });
  const auto created = std::find_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("my_park_airports.txt created with LFPG") != std::string::npos;
  });
  ASSERT_NE(created, lines.end());
  EXPECT_LT(failed, created);
}

// ---- The periodic check ----

TEST_F(ParkAirports, InTheAirTheFirstParkAirportInRangeAndBelowTheHeightIsPicked) {
  writeList("EGLL\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  user(eastNm({kEgll.lat, kEgll.lon}, 21), false, 5000);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "");
  user(eastNm({kEgll.lat, kEgll.lon}, 19.9), false, 18001);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "");
  user(eastNm({kEgll.lat, kEgll.lon}, 19.9), false, 18000);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "EGLL");
  // Shown and logged; the lock of the parking controls that follows clears the message line.
  EXPECT_TRUE(logHas("EGLL in sight at 19.9 nm"));
  EXPECT_EQ(g_parkAirportLoadRequested, 1);
  EXPECT_EQ(g_parkingLock, 1);
  EXPECT_EQ(g_trafficReader.callsignCollection.load(), 1);
  EXPECT_TRUE(logHas("The park airport is EGLL (LHR)"));
}

TEST_F(ParkAirports, TheListIsSortedByDistanceUnlessADestinationIsSet) {
  writeList("LFPG\nEGLL\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  const LatLon overLondon = eastNm({kEgll.lat, kEgll.lon}, 40);
  user(overLondon, false, 30000);
  DESTINATION.setValue("LFPG");
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"LFPG", "EGLL"}));
  DESTINATION.setValue({});
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"LFPG", "EGLL"}));  // the position did not change
  user(eastNm(overLondon, 1), false, 30000);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCodes(), (std::vector<std::string>{"EGLL", "LFPG"}));
  EXPECT_NEAR(parkAirports().front().distanceNm, 41, 0.01);
}

// On the ground at an airport with a file: picked, loaded at the next check, its controls unlocked
// once nothing is left to park; out of sight it is left, and what was learned there is saved.
TEST_F(ParkAirports, TheParkAirportFollowsTheUserAndItsLearningIsSavedWhenLeft) {
  serverFile(kEgll);
  user({kEgll.lat, kEgll.lon}, true);
  gf_checkForParkAirportUpdates(true);
  EXPECT_EQ(parkCode(), "EGLL");
  EXPECT_EQ(message(), "Calculating static parked aircraft ...");
  EXPECT_TRUE(logHas("User aircraft on the ground at EGLL"));
  EXPECT_TRUE(g_stands.empty());
  g_trafficReader.addSeenCallsign("BAW1");
  gf_checkForParkAirportUpdates(false);
  ASSERT_EQ(g_stands.size(), 2u);
  EXPECT_EQ(g_parkAirportLoaded.load(), 1);
  EXPECT_EQ(g_liveCallsigns, (std::set<std::string>{"BAW1"}));  // taken when static parking starts
  EXPECT_EQ(g_trafficReader.callsignCollection.load(), 0);
  // The user aircraft stands at A1: it becomes the airport's reserved stand in the list.
  EXPECT_EQ(list(), "EGLL,A1\n");
  // Static parking holds the lock while it parks; the check releases it once nothing is planned.
  g_parkingLock = 1;
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(g_parkingLock, 0);

  AcData ac = test::airliner(0xC00001, "BAW12", "G-EUPA");
  ASSERT_TRUE(lf_addRealParkPosOption(2, ac, false, gf_weekSlotNow(), false));
  // On the ground nothing is left; in the air 21 nm out it is.
  user(eastNm({kEgll.lat, kEgll.lon}, 21), true);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "EGLL");
  user(eastNm({kEgll.lat, kEgll.lon}, 21), false, 3000);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "");
  EXPECT_TRUE(g_stands.empty());
  EXPECT_EQ(logCount("EGLL (LHR) is out of sight (21.0 nm), parked aircraft will be removed"), 1u);
  EXPECT_TRUE(logHas("\"" + gf_pathText(g_learnedStockFolder / "EGLL.xml") + "\" saved with 1 update "));
  EXPECT_NE(test::readFile(path("airports/learned/stock/EGLL.xml")).find("G-EUPA"), std::string::npos);
}

// A learned file that is not read whole says so, and the parking's own messages that follow within
// milliseconds leave that on the line for 10 s.
TEST_F(ParkAirports, ALearnedFileNotReadWholeStaysReadableWhileStaticParkingStarts) {
  serverFile(kEgll);
  test::writeFile(path("airports/learned/stock/EGLL.xml"), "<parameters></parameters>\n");
  const std::string notRead = "Learned airport file \"" + gf_pathText(g_learnedStockFolder / "EGLL.xml") +
                              "\" not read whole (its meta block is incomplete)";
  user({kEgll.lat, kEgll.lon}, true);
  for (int i = 0; i < 6; ++i) {
    g_parkingLock = 1;  // released by the next check, which clears the line
    gf_checkForParkAirportUpdates(true);
    EXPECT_TRUE(i == 0 || message().starts_with(notRead)) << i << ": " << message();
    m_clock->advance(std::chrono::seconds(2));
  }
  g_parkingLock = 1;
  gf_checkForParkAirportUpdates(true);
  EXPECT_EQ(message(), "");
}

TEST_F(ParkAirports, ANearerParkAirportInSightTakesOver) {
  writeList("EGKK\nEGLL\n");
  ASSERT_TRUE(lf_readMyParkAirports());
  serverFile(kEgll);
  serverFile(kEgkk);
  user({kEgll.lat, kEgll.lon}, true);
  gf_checkForParkAirportUpdates(false);
  gf_checkForParkAirportUpdates(false);
  ASSERT_EQ(parkCode(), "EGLL");
  // Airborne towards Gatwick: EGLL stays while it is the nearer one.
  const LatLon between{(kEgll.lat + kEgkk.lat) / 2 + 0.01, (kEgll.lon + kEgkk.lon) / 2};
  user(between, false, 3000);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "EGLL");
  const LatLon nearGatwick{(kEgll.lat + 3 * kEgkk.lat) / 4, (kEgll.lon + 3 * kEgkk.lon) / 4};
  user(nearGatwick, false, 3000);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "");
  EXPECT_EQ(logCount("is in sight"), 1u);
  EXPECT_EQ(logCount(fmt::format("EGKK is in sight ({:.1F} nm), parked aircraft at EGLL (LHR) will be removed first",
                                 gf_distanceNm(nearGatwick, {kEgkk.lat, kEgkk.lon}))),
            1u);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(parkCode(), "EGKK");
}

TEST_F(ParkAirports, OnTheGroundWithoutAnAirportFileNothingIsPicked) {
  user({kEgll.lat, kEgll.lon}, true);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(message(), "User aircraft on the ground at EGLL, no airport file found");
  user({0.5, 0.5}, true);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(message(), "User aircraft on the ground, no airport in sight");
  EXPECT_EQ(parkCode(), "");
  // Before the first position nothing happens at all.
  gf_clearMessage();
  user({0, 0}, true);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(message(), "");
}

// An airport whose file cannot be loaded is not tried again (and downloaded again) at every check,
// only after the user aircraft has been out of its range.
TEST_F(ParkAirports, AFailedLoadIsNotRetriedUntilTheUserLeaves) {
  test::writeFile(path("server/P3D/archive/stock/EGLL.xml"), "<parameters><oops");
  user({kEgll.lat, kEgll.lon}, true);
  for (int i = 0; i < 6; ++i) gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(logCount("User aircraft on the ground at EGLL"), 1u);
  EXPECT_EQ(parkCode(), "");
  EXPECT_EQ(g_parkingLock, 0);
  user(eastNm({kEgll.lat, kEgll.lon}, 25), false, 3000);
  gf_checkForParkAirportUpdates(false);
  user({kEgll.lat, kEgll.lon}, true);
  gf_checkForParkAirportUpdates(false);
  EXPECT_EQ(logCount("User aircraft on the ground at EGLL"), 2u);
}

}  // namespace
}  // namespace amb
