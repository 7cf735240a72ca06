// The dispatch of received messages, one message at a time as the client hands them over, without
// a connection: running state, objects added and removed, exceptions, frames, the user aircraft's
// block, title and model, the open reply, and the by-type answers that match creations.

#include "core/clock.hpp"
#include "core/exit.hpp"
#include "core/message_line.hpp"
#include "core/user_error.hpp"
#include "feed/link.hpp"
#include "refdata/database.hpp"
#include "settings/options.hpp"
#include "sim/link.hpp"
#include "sim/link_fixture.hpp"
#include "state/main_window.hpp"
#include "support/log_check.hpp"

#include <array>
#include <cmath>
#include <iostream>
#include <limits>

namespace amb::test {
namespace {

using namespace simdouble;
constexpr std::uint32_t V = sc::kProtocolVersion;

class DispatchTest : public LinkFixture {
protected:
  ~DispatchTest() override {
    gf_resetDataBase();
    SIM_INSTALL_PATH.setValue("");
    g_rtProfessional = 0;
  }

  static UserAcBlock at(double lat, double lon) { return {lat, lon}; }

  static Bytes openMessage(const std::string& name) {
    return msgOpen(V, name, {5, 3, 17, 28160}, {5, 3, 0, 0});
  }

  static Bytes titleMessage(const std::string& title) {
    Bytes data;
    appendText(data, title, title.size() + 1);
    return objectDataMessage(sc::kRecvSimObjectData, REQ_USER_TITLE, 1, data);
  }

  static Bytes modelMessage(const std::string& model) {
    Bytes data;
    appendText(data, model, 32);
    return objectDataMessage(sc::kRecvSimObjectData, REQ_USER_MODEL, 1, data);
  }

  static std::string userErrorOf(const Bytes& message) {
    try {
      dispatch(message);
    } catch (const UserErrorException& e) {
      return e.what();
    }
    return "";
  }
};

TEST_F(DispatchTest, AddedAircraftAboveTheUserAreRememberedAndRemovalsBecomeResults) {
  dispatch(msgObjectAddRemove(V, EVT_OBJECT_ADDED, 2, sc::kObjectAircraft));  // the user's id (2 at start)
  dispatch(msgObjectAddRemove(V, EVT_OBJECT_ADDED, 7, sc::kObjectAll));      // not an aircraft
  dispatch(msgObjectAddRemove(V, EVT_OBJECT_ADDED, 3, sc::kObjectAircraft));
  dispatch(msgObjectAddRemove(V, EVT_OBJECT_ADDED, 4, sc::kObjectAircraft));
  EXPECT_EQ(g_addedObjectIds, (std::vector<std::uint32_t>{3, 4}));

  dispatch(msgObjectAddRemove(V, EVT_OBJECT_REMOVED, 4, sc::kObjectAircraft));
  dispatch(msgObjectAddRemove(V, EVT_OBJECT_REMOVED, 1, sc::kObjectAircraft));  // any aircraft id
  dispatch(msgObjectAddRemove(V, EVT_OBJECT_REMOVED, 9, sc::kObjectAll));
  const auto r = results();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(r[0].kind == Removed && r[0].objectId == 4u && r[1].objectId == 1u);
  // A removed object never shows up in a by-type answer: it is forgotten at once.
  EXPECT_EQ(g_addedObjectIds, (std::vector<std::uint32_t>{3}));
}

TEST_F(DispatchTest, RefusedCreationFreesItsPendingEntryAndReportsTheHexid) {
  g_pendingCreations = {{7, 4000001, "DLH4AB"}, {8, 0, "GHOST"}, {9, 1234, "PARK*"}};
  dispatch(msgException(V, sc::kExceptionCreateObjectFailed, 42, 0));  // no such creation
  EXPECT_TRUE(results().empty());
  EXPECT_EQ(g_pendingCreations.size(), 3u);

  dispatch(msgException(V, sc::kExceptionCreateObjectFailed, 7, 0));
  dispatch(msgException(V, sc::kExceptionCreateObjectFailed, 8, 0));  // freed, but no hexid to report
  const auto r = results();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(r[0].kind == CreateFailed && r[0].secondId == 4000001u && r[0].objectId == 0u);
  ASSERT_EQ(g_pendingCreations.size(), 1u);
  EXPECT_EQ(g_pendingCreations[0].callsign, "PARK*");
}

// A creation the simulator does not make for too many objects is no refusal of its livery: its
// entry goes and the engine learns the aircraft is lost.
TEST_F(DispatchTest, TooManyObjectsFreesItsPendingEntryAndReportsTheCreationLost) {
  g_pendingCreations = {{7, 4000001, "DLH4AB"}, {9, 1234, "PARK*"}};
  dispatch(msgException(V, sc::kExceptionTooManyObjects, 42, 0));  // no such creation
  EXPECT_TRUE(results().empty());
  EXPECT_EQ(g_pendingCreations.size(), 2u);
  EXPECT_EQ(gf_messageLineSnapshot().message, "SimConnect: too many objects (max 1000)");

  dispatch(msgException(V, sc::kExceptionTooManyObjects, 9, 0));
  const auto r = results();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(r[0].kind == CreateLost && r[0].secondId == 1234u && r[0].objectId == 0u);
  ASSERT_EQ(g_pendingCreations.size(), 1u);
  EXPECT_EQ(g_pendingCreations[0].callsign, "DLH4AB");
}

// A creation the simulator never answers is forgotten two minutes after it was sent, with one line;
// a younger one waits on.
TEST_F(DispatchTest, AnUnansweredCreationIsForgottenAfterTwoMinutes) {
  const clock::SteadyTime now = clock::steadyNow();
  using std::chrono::seconds;
  g_pendingCreations = {{7, 4000001, "DLH4AB", now - seconds(120)}, {8, 1234, "PARK*", now - seconds(119)}};
  lf_dropUnansweredCreations(now);
  ASSERT_EQ(g_pendingCreations.size(), 1u);
  EXPECT_EQ(g_pendingCreations[0].callsign, "PARK*");
  EXPECT_EQ(logCount("The simulator has not answered the creation of DLH4AB (hexid 4000001) in 120 s, given up"), 1u);
  lf_dropUnansweredCreations(now + seconds(1));
  EXPECT_TRUE(g_pendingCreations.empty());
  EXPECT_EQ(logCount("has not answered the creation of"), 2u);
}

TEST_F(DispatchTest, ExceptionsAreLoggedShownOrThrownByNumber) {
  // Unrecognised ids are not worth a line while there is no user position yet.
  dispatch(msgException(V, sc::kExceptionUnrecognizedId, 1, 0));
  EXPECT_EQ(logCount("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), 0u);
  dispatch(userBlockMessage(1, at(40.6413, -73.7781)));
  for (std::uint32_t number : std::initializer_list<std::uint32_t>{sc::kExceptionUnrecognizedId, 19, 23, 42, sc::kExceptionTooManyObjects})
    dispatch(msgException(V, number, 1, 0));
  for (const char* line : {"===> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID", "SIMCON EXCEP 19",
                           "===> Simconnect exception: load flight plan failed", "===> SIMCON EXCEP 42"})
    EXPECT_EQ(logCount(line), 1u) << line;
  EXPECT_EQ(gf_messageLineSnapshot().message, "SimConnect: too many objects (max 1000)");

  EXPECT_EQ(userErrorOf(msgException(V, sc::kExceptionVersionMismatch, 1, 4)),
            "95: Simconnect Version Mismatch, dwindex: 4 ");
  EXPECT_TRUE(exitRequests().empty());
}

// A new flight keeps the position where the user aircraft stands for the worker, which reserves the
// stand there, but only while the engine's own copy of the user aircraft shows it standing (2 kt at
// most); the worker takes it once.
TEST_F(DispatchTest, TheReservedStandFollowsTheEnginesCopyOfTheUser) {
  UserAcBlock user = at(40.6413, -73.7781);
  user.groundSpeed = 0;
  dispatch(userBlockMessage(1, user));
  g_userOnGroundKnown = 1;
  g_engineUserGroundSpeed = 2.5;
  lf_reserveUserStand();
  EXPECT_FALSE(gf_takeUserStandRequest());
  g_engineUserGroundSpeed = 2.05;  // just above the bound
  lf_reserveUserStand();
  EXPECT_FALSE(gf_takeUserStandRequest());
  // The simulator's latest block says it is moving; the engine saw it standing.
  user.groundSpeed = 30;
  dispatch(userBlockMessage(1, user));
  g_engineUserGroundSpeed = 2.0;
  lf_reserveUserStand();
  const std::optional<LatLon> request = gf_takeUserStandRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->lat, 40.6413);
  EXPECT_EQ(request->lon, -73.7781);
  EXPECT_FALSE(gf_takeUserStandRequest());
}

TEST_F(DispatchTest, FrameRateIsSampledAtEvery30thFrame) {
  for (std::uint32_t i = 1; i <= 61; ++i) {
    dispatch(msgFrame(V, EVT_FRAME, i, static_cast<float>(i), 1.0f));
    EXPECT_EQ(g_simFrameRate.load(), i < 30 ? 0.0f : i < 60 ? 30.0f : 60.0f) << i;
  }
}

TEST_F(DispatchTest, AJumpOfMoreThanTenMilesBetweenUserBlocksIsANewFlight) {
  const LatLon a{50.0, 8.0};
  LatLon tenNm{a.lat + 10.0 / 60.0, a.lon};
  while (gf_distanceNm(a, tenNm) > 10.0) tenNm.lat = std::nextafter(tenNm.lat, a.lat);
  LatLon moreThanTen{a.lat + 10.01 / 60.0, a.lon};

  // The first block after the start never counts: the previous position is 0, 0.
  for (const LatLon& p : {a, tenNm, a}) dispatch(userBlockMessage(1, at(p.lat, p.lon)));
  EXPECT_EQ(logCount("Teleport"), 0u);
  dispatch(userBlockMessage(1, at(moreThanTen.lat, moreThanTen.lon)));
  ASSERT_TRUE(waitExit(NewFlight));
  EXPECT_EQ(exitRequests()[0].delay, 30u);
}

TEST_F(DispatchTest, UserBlockIsStoredWithItsObjectIdAndTimeOfTheProfessionalEdition) {
  // 2024-02-29 (day 60) 01:00 UTC, 12 ft below sea level.
  const UserAcBlock b{40.6413, -73.7781, 0, 0, 0, -12, 0, 3, 3600, 60, 2024};
  dispatch(userBlockMessage(5, b));
  EXPECT_EQ(gf_userAcSnapshot().latitude, 40.6413);
  EXPECT_EQ(gf_userAcSnapshot().altitude, 0.0);  // below sea level is stored as 0
  EXPECT_EQ(g_userObjectId.load(), 5u);
  EXPECT_EQ(g_simUnixTime.load(), 0);  // only kept for the professional edition

  g_rtProfessional = 1;
  dispatch(userBlockMessage(5, b));
  EXPECT_EQ(g_simUnixTime.load(), 1709168400);  // 2024-02-29 01:00:00 UTC
}

TEST_F(DispatchTest, OnGroundAnswersCountReportsAndSetTheGroundStateOnlyWithAPosition) {
  const Bytes onGround = objectDataMessage(sc::kRecvSimObjectData, REQ_USER_ON_GROUND, 1, {1, 0, 0, 0, 0, 0, 0, 0});
  dispatch(onGround);
  EXPECT_EQ(g_newUserData.load(), 1);
  EXPECT_EQ(g_userOnGroundKnown.load(), 0);  // no real position yet

  g_newUserData = 0;
  dispatch(userBlockMessage(1, at(40.6413, -73.7781)));
  dispatch(onGround);
  EXPECT_EQ(g_newUserData.load(), 1);
  EXPECT_EQ(g_userOnGroundKnown.load(), 1);
  EXPECT_EQ(g_userOnGround.load(), 1);
  dispatch(objectDataMessage(sc::kRecvSimObjectData, REQ_USER_ON_GROUND, 1, Bytes(8, 0)));
  EXPECT_EQ(g_userOnGround.load(), 0);
}

TEST_F(DispatchTest, MessagesShorterThanTheirDataAreIgnoredAndLoggedOnce) {
  dispatch(userBlockMessage(1, at(40.6413, -73.7781)));
  dispatch(userBlockMessage(9, at(51.0, 7.0), 95));
  dispatch(userBlockMessage(9, at(51.0, 7.0), 95));
  EXPECT_EQ(gf_userAcSnapshot().latitude, 40.6413);
  EXPECT_EQ(g_userObjectId.load(), 1u);
  EXPECT_EQ(logCount("for request 109 holds 95 bytes of data, 96 needed, ignored"), 1u);

  g_addedObjectIds = {3};
  Bytes ground = groundMessage(3, 0, 13, 1, "DLH4AB");
  ground.resize(ground.size() - 1);
  sc::putU32(ground.data(), static_cast<std::uint32_t>(ground.size()));
  dispatch(ground);
  EXPECT_TRUE(results().empty());
  EXPECT_EQ(g_addedObjectIds.size(), 1u);
}

TEST_F(DispatchTest, TitleIsCutTo48CharactersAndShownOnceChanged) {
  const std::string sixty(60, 'T');
  dispatch(titleMessage(sixty));
  EXPECT_EQ(gf_userTitle(), std::string(48, 'T'));
  EXPECT_EQ(g_mainWindow.text(StatusText::UserTitle), std::string(48, 'T'));
  dispatch(titleMessage(sixty.substr(0, 50)));  // the same first 48: nothing changes
  EXPECT_EQ(logCount("SimConnect: User aircraft title: "), 1u);

  // The simulator's 8-bit texts are in its code page; the window gets UTF-8.
  dispatch(titleMessage("Caf\xE9 Airliner"));
  EXPECT_EQ(gf_userTitle(), "Caf\xC3\xA9 Airliner");
  dispatch(titleMessage(""));
  EXPECT_EQ(logCount("! title of your ac is empty?"), 1u);
  EXPECT_EQ(gf_userTitle(), "Caf\xC3\xA9 Airliner");
}

TEST_F(DispatchTest, ModelGivesWingSpanAndCategoryOrTheMaximumWithAWarning) {
  g_wingspans = {{"B738", 0.0097}, {"A320", 0.0092}, {"E190", 0.0078}};
  g_maxHalfWingspan = 0.0215;
  g_largeModels = {"B738", "A320", "E190"};

  const struct {
    const char* title;
    const char* model;
    double span;
    bool known;
    int category;
    const char* report;
  } cases[] = {
      {"Any", "B738", 0.0097, true, Large, "SimConnect: User aircraft model: B738, half wing span: 18.0 meter, category: Large"},
      // Five or more characters are never looked up by themselves.
      {"Any", "B738X", 0.0215, false, Light, "SimConnect: User aircraft model: B738X, category: Light"},
      {"Aerosoft A320 IAE", "AIRBUS", 0.0092, true, Large,
       "SimConnect: User aircraft model deduced from title: A320, half wing span: 17.0 meter, category: Large"},
      {"Aerosoft A330", "AIRBUS", 0.0215, false, Light, "SimConnect: User aircraft model: AIRBUS, category: Light"},
      {"Any", "camerapod", 0.0078, true, Light, nullptr},
  };
  for (const auto& c : cases) {
    lf_resetUserState();
    g_mainWindow.userModelKnown = 1;
    gf_clearMessage();
    dispatch(titleMessage(c.title));
    dispatch(modelMessage(c.model));
    SCOPED_TRACE(c.model);
    EXPECT_EQ(g_userHalfWingspan.load(), c.span);
    EXPECT_EQ(g_userHalfWingspanSet.load(), 1);
    EXPECT_EQ(g_mainWindow.userModelKnown.load(), c.known ? 1 : 0);
    EXPECT_EQ(g_userCategory.load(), c.category);
    EXPECT_EQ(gf_messageLineSnapshot().message,
              c.known ? "" : "User aircraft wing span unknown, max is taken instead, please report in my Forum!");
    if (c.report) {
      EXPECT_EQ(logCount(c.report), 1u) << c.report;
    }
  }
  EXPECT_EQ(userErrorOf(modelMessage("")),
            "71: atc_model= in [General] section of your aircraft.cfg is empty or missing");
}

// A simulator that keeps sending new texts for the user aircraft cannot fill the log: its texts are
// escaped, and a line whose text keeps changing is written at most once a second, with a count of
// the lines left out; nothing is lost from the count.
TEST_F(DispatchTest, TextsThatKeepChangingAreLoggedEscapedAndAtMostOnceASecond) {
  g_wingspans = {{"B738", 0.0097}};
  g_maxHalfWingspan = 0.0215;
  clock::ManualClock clk(1551821400);
  constexpr int kMessages = 3000;  // one of each every 10 ms: 30 s
  for (int i = 0; i < kMessages; ++i) {
    dispatch(titleMessage(fmt::format("Title\x1B[31m{}\x07", i)));
    dispatch(modelMessage(fmt::format("B\x1B[2J{}", i)));
    clk.advance(std::chrono::milliseconds(10));
  }
  gf_closeLog("end");
  const auto lines = readLines(gf_logPath());
  const std::string log = readFile(gf_logPath());
  std::cout << "[ figure   ] " << kMessages << " titles and models in 30 s: " << lines.size() << " lines, " << log.size()
            << " bytes of log\n";
  EXPECT_EQ(rawPeerBytes(log), "");
  // Four kinds of line (title, model, model report, wing span warning) in 30 s.
  EXPECT_LT(lines.size(), 300u) << lines.size() << " lines";
  std::size_t written = 0;
  std::size_t leftOut = 0;
  for (const std::string& line : lines) {
    if (line.find("model raw: B\\x1B[2J") == std::string::npos) continue;
    if (const auto n = line.find(" similar line"); n != std::string::npos)
      leftOut += std::stoul(line.substr(0, n));
    else
      ++written;
  }
  EXPECT_EQ(written + leftOut, static_cast<std::size_t>(kMessages));
  EXPECT_LE(written, 40u);
}

TEST_F(DispatchTest, OpenReplyIsAcceptedOnlyFromTheExpectedSimulatorVersion) {
  const struct {
    const char* name;
    const char* installPath;
    std::uint32_t expected;
    const char* error;  // empty: accepted
  } cases[] = {
      {"Lockheed Martin\xAE Prepar3D\xAE v5", "", 5, ""},
      {"Lockheed Martin Prepar3D v6", "D:\\P3D v6", 5, ""},
      {"Lockheed Martin Prepar3D v6", "", 6, ""},
      {"Lockheed Martin Prepar3D v6", "", 5, "78: wrong P3D version \"Lockheed Martin Prepar3D v6 (5.3.17.28160)\" connects ... ?"},
      {"Lockheed Martin Prepar3D V5", "", 5, "78: wrong P3D version \"Lockheed Martin Prepar3D V5 (5.3.17.28160)\" connects ... ?"},
      {"Sun-Rise!", "", 5, "78: SunRise, (MSFS) not being P3D connects ... ?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_mainWindow.simConnectOpen = 0;
    SIM_INSTALL_PATH.setValue(c.installPath);
    g_simExpectedVersion = c.expected;
    gf_showMessage("Waiting for Prepar3Dv5 ...", false);
    EXPECT_EQ(userErrorOf(openMessage(c.name)), c.error);
    EXPECT_EQ(g_mainWindow.simConnectOpen.load(), 1);
    if (std::string(c.error).empty()) {
      EXPECT_EQ(gf_messageLineSnapshot().message, "");
    }
  }
  EXPECT_EQ(g_mainWindow.text(StatusText::SimText), "Lockheed Martin Prepar3D V5 (5.3.17.28160)");
  EXPECT_EQ(logCount("Lockheed Martin Prepar3D v5 (5.3.17.28160) connected"), 1u);

  g_mainWindow.simConnectOpen = 0;
  dispatch(openMessage(""));
  EXPECT_EQ(g_mainWindow.simConnectOpen.load(), 0);
  EXPECT_EQ(logCount("! Simulator name empty?"), 1u);
}

TEST_F(DispatchTest, ByTypeAnswersMatchNewObjectsToTheirCreations) {
  dispatch(userBlockMessage(1, at(40.6413, -73.7781)));
  g_pendingCreations = {{11, 4000001, "DLH4AB"}, {12, 10000, "PARK1*"}};
  g_addedObjectIds = {3, 4, 5};

  dispatch(groundMessage(3, 120.5, 13, 0, "DLH4AB"));
  dispatch(groundMessage(4, 0, 13, 1, "PARK1*"));
  dispatch(groundMessage(5, 0, 13, 1, "N999XX"));  // added, but not by this program
  auto r = results();
  ASSERT_EQ(r.size(), 2u);
  EXPECT_TRUE(r[0].kind == CreatedLive && r[0].objectId == 3u && r[0].secondId == 4000001u && r[0].second == 120.5);
  EXPECT_TRUE(r[1].kind == CreatedParked && r[1].objectId == 4u && r[1].secondId == 10000u && r[1].second == 0.0);
  EXPECT_TRUE(g_pendingCreations.empty());
  EXPECT_TRUE(g_addedObjectIds.empty());
  EXPECT_EQ(logCount("just spawned, but not by Ambertrail_P3D, oid: 5, callsign \"N999XX\", altaboveGnd:0 ft, "
                     "onground:1, gnd_alt:13 ft "),
            1u);
  // Each own object is frozen on the next frame.
  const auto events = gf_queuedSimEvents();
  ASSERT_EQ(events.size(), 6u);
  for (std::size_t i = 0; i < 6; ++i)
    EXPECT_TRUE(events[i].objectId == (i < 3 ? 3u : 4u) && events[i].eventId == EVT_FREEZE_LATITUDE_LONGITUDE_SET + i % 3 &&
                events[i].data == 1u) << i;

  // Aircraft not just added: ground data of what is near, low enough and with a usable ATC id.
  m_results.clear();
  dispatch(groundMessage(6, 2500, 13, 0, "AAL1"));
  dispatch(groundMessage(7, 2500.5, 13, 0, "AAL2"));
  dispatch(groundMessage(8, 0, 13, 1, "PARK2*"));
  dispatch(groundMessage(9, 0, 13, 1, ""));
  dispatch(groundMessage(1, 0, 13, 1, "N12345"));  // the user aircraft
  r = results();
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(r[0].kind == OtherAircraft && r[0].objectId == 6u && r[0].first == 13.0 && r[0].second == 2500.0);
}

TEST(SimTexts, SimulatorTextsBecomeUtf8AndZuluTimesUnixSeconds) {
  EXPECT_EQ(gf_simTextToUtf8("Plain"), "Plain");
  EXPECT_EQ(gf_simTextToUtf8("M\xC3\xBCnchen"), "M\xC3\xBCnchen");                  // valid UTF-8 kept
  EXPECT_EQ(gf_simTextToUtf8("M\xFCnchen \x80"), "M\xC3\xBCnchen \xE2\x82\xAC");  // Windows-1252
  EXPECT_EQ(gf_simTextToUtf8("\x81"), "\xEF\xBF\xBD");
  EXPECT_EQ(gf_simTextToUtf8("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9");  // whole characters only

  EXPECT_EQ(gf_zuluToUnix(1970, 1, 0), 0);
  EXPECT_EQ(gf_zuluToUnix(2000, 366, 86399), 978307199);  // leap year, last second
  EXPECT_EQ(gf_zuluToUnix(2100, 60, 0), 4107542400);      // 2100 is no leap year: 1 March
  // Hostile simulator values are no time, never an overflow.
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  for (const auto& [y, d, s] : std::vector<std::array<std::int64_t, 3>>{
           {2019, kMax, 0}, {2019, 64, kMax}, {2019, kMin, kMin}, {kMax, 1, 0}, {0, 1, 0}, {2019, 0, 0}, {2019, 367, 0},
           {2019, 64, -1}, {2019, 64, 86401}})
    EXPECT_EQ(gf_zuluToUnix(y, d, s), 0) << y << " " << d << " " << s;
}

}  // namespace
}  // namespace amb::test
