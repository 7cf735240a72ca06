// Traffic lines into records: real lines with their exact records, and every drop rule on lines made
// from a real one with single fields changed.

#include "core/clock.hpp"
#include "feed_fixture.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <fmt/format.h>

#include <cmath>
#include <map>
#include <numbers>

namespace amb {
namespace {

using test::FeedTest;

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180;

// New York JFK, where the recording was made.
constexpr double kJfkLat = 40.6413;
constexpr double kJfkLon = -73.7781;

// The first line of the KJFK recording: a Delta A321 climbing out of La Guardia.
const std::string kDeltaLine =
    "RTTFC,531933504,40.7969,-74.0818,11925,256,0,200,266,DAL2171,A321,N355DN,LGA,MIA,1551821332.89,X2,,"
    "adsb_icao,11925,-1,-1,-1,-1,-1,-1,-1,256,none,A3,-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,";
// Its second line: a Citation standing at Teterboro, callsign in place of a registration.
const std::string kCitationLine =
    "RTTFC,531934590,40.8510,-74.0682,0,0,0,68,0,C25B,C25B,,,,1551821332.89,X2,,adsb_icao,0,-1,-1,-1,-1,-1,-1,-1,"
    "0,none,A2,-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,";
// The example line of RealTraffic's documentation, near Sydney.
const std::string kSydneyLine =
    "RTTFC,8023405,-33.9500,151.1900,2500,-640,0,166.0,180.0,QFA123,B738,VH-VXA,SYD,MEL,1700000000.25,X,QF123,"
    "adsb_icao,2600,170,200,0.31,0.0,-1,160.0,166.5,-600,none,A3";

// The line with the given fields replaced.
std::string withFields(const std::string& line, const std::map<std::size_t, std::string>& changes) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (const auto& [index, value] : changes) fields.at(index) = value;
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
  return out;
}

class TrafficLine : public FeedTest {
protected:
  void SetUp() override {
    FeedTest::SetUp();
    g_trafficReader.setUserPosition(kJfkLat, kJfkLon);
    g_engineCycle = 500;
    openQueue(true);
  }

  LineResult run(const std::string& line) {
    m_line = line;
    gf_splitTrafficLine(g_trafficReader, m_line);
    return processLineFor(g_trafficReader);
  }

  static void setParkAirport(const AirportData& airport) {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = airport;
  }

  std::string m_line;  // the field views point into it
};

// Every field of a record on one line, angles in degrees; compared whole, a difference shows at once.
std::string text(const TrafficRecord& r) {
  const AcIdentity& a = r.identity;
  const Situation& s = r.situation;
  return fmt::format(
      "{} {:.2f} [{}|{}|{}|{}|{}|{}|{}|{}|{}] {:.4f},{:.4f} alt {} air {} gs {} hdg {:.4f} vs {} tas {} due {} "
      "bank {:.4f}/{} track {:.4f}/{} att {} still {}",
      r.hexid, r.timestamp, a.airline, a.model, a.origin, a.destination, a.callsign, a.secondCallsign,
      a.coupledCallsign, a.registration, a.coupledCallsignSearched, s.latitude, s.longitude, s.altitude, s.airborne,
      s.speed, s.heading, s.verticalSpeed, s.trueAirspeed, s.due, s.feedBank / kDeg, s.feedBankGiven,
      s.feedTrack / kDeg, s.feedTrackGiven, s.feedAttitudeUsable, s.noMovement);
}

TEST_F(TrafficLine, RealLinesGiveTheirExactRecords) {
  struct Case {
    const char* name;
    const std::string& line;
    double userLat, userLon;
    std::optional<AirportData> park;
    const char* record;
  };
  const std::vector<Case> cases{
      // A roll of -1 is "none", stored negated all the same; no airspeed: the default for its height.
      {"recorded, climbing", kDeltaLine, kJfkLat, kJfkLon, std::nullopt,
       "531933504 1551821332.89 [|A321|LGA|MIA|DAL2171|||N355DN|0] 40.7969,-74.0818 alt 11925 air 1 gs 266 "
       "hdg 200.0000 vs 256 tas 350 due 3500 bank 1.0000/0 track 0.0000/0 att 0 still 0"},
      // Standing at Teterboro, the park airport about 0.4 nm away; a callsign but no registration.
      {"recorded, standing", kCitationLine, kJfkLat, kJfkLon, AirportData{"KTEB", "", 40.8501, -74.0608, 9},
       "531934590 1551821332.89 [|C25B|||C25B||||0] 40.8510,-74.0682 alt 0 air 0 gs 0 hdg 68.0000 vs 0 tas 180 "
       "due 3500 bank 0.0000/0 track 0.0000/0 att 0 still 0"},
      {"documentation example", kSydneyLine, -33.95, 151.19, std::nullopt,
       "8023405 1700000000.25 [|B738|SYD|MEL|QFA123|||VH-VXA|0] -33.9500,151.1900 alt 2500 air 1 gs 180 "
       "hdg 166.0000 vs -640 tas 200 due 3500 bank 1.0000/0 track 166.5000/1 att 1 still 0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    g_trafficReader.feedClock.reset();  // each line comes from a feed of its own time
    g_trafficReader.setUserPosition(c.userLat, c.userLon);
    setParkAirport(c.park ? *c.park : AirportData{});
    g_trafficReader.setParkElevation(c.park ? std::optional<double>(c.park->alt) : std::nullopt);
    ASSERT_EQ(run(c.line), LineResult::Queued);
    const auto q = takeQueue();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_EQ(text(q[0]), c.record);
  }
}

TEST_F(TrafficLine, StandingAircraftAreKeptOnlyNearTheParkAirport) {
  EXPECT_EQ(run(kCitationLine), LineResult::GroundAwayFromPark);
  setParkAirport({"KLGA", "", 40.7769, -73.8740, 21});  // more than 5 nm from Teterboro
  EXPECT_EQ(run(kCitationLine), LineResult::GroundAwayFromPark);
}

struct DropCase { const char* name; std::map<std::size_t, std::string> changes; LineResult result; };

TEST_F(TrafficLine, EachCheckDropsForItsReason) {
  const std::vector<DropCase> cases{
      {"unparsable timestamp", {{14, "x1551821332"}}, LineResult::BadTimestamp},
      {"no registration with flag F", {{11, "null"}, {15, "F"}}, LineResult::NoRegistration},
      {"registration of 13 characters with flag F", {{11, "N123456789012"}, {15, "F"}}, LineResult::NoRegistration},
      {"garbage latitude", {{2, "north"}}, LineResult::BadPosition},
      {"longitude below -180", {{3, "-180.01"}}, LineResult::BadPosition},
      {"latitude nan", {{2, "nan"}}, LineResult::BadPosition},
      {"longitude inf", {{3, "inf"}}, LineResult::BadPosition},
      {"latitude 1e999", {{2, "1e999"}}, LineResult::BadPosition},
      {"zero point", {{2, "0.0005"}, {3, "0.01"}}, LineResult::NullIsland},
      {"beyond the radius", {{2, "41.5"}}, LineResult::OutOfRadius},
      {"no category", {{28, ""}}, LineResult::NoCategory},
      {"category B1", {{28, "B1"}}, LineResult::ExcludedCategory},
      {"type null", {{10, "null"}}, LineResult::ExcludedModel},
      {"type of five letters", {{10, "A321N"}}, LineResult::ExcludedModel},
      {"ground vehicle", {{10, "GRND"}}, LineResult::ExcludedModel},
      {"true heading above 360", {{25, "360.5"}}, LineResult::BadTrack},
      {"hexid 10000", {{1, "10000"}}, LineResult::BadHexid},
      {"hexid not a digit", {{1, "x531933504"}}, LineResult::BadHexid},
      {"hexid over 32 bits", {{1, "4294967296"}}, LineResult::BadHexid},
      {"ground speed garbage", {{8, "fast"}}, LineResult::BadSpeed},
      {"altitude empty", {{4, ""}}, LineResult::BadAltitude},
      {"altitude -inf", {{4, "-inf"}}, LineResult::BadAltitude},
      {"blocked callsign", {{9, "ERARMTR0"}}, LineResult::BlockedCallsign},
      {"neither registration nor callsign", {{9, "null"}, {11, "null"}}, LineResult::Anonymous},
      {"no registration, callsign with @", {{9, "DAL@2171"}, {11, "null"}}, LineResult::Anonymous},
      {"track garbage", {{7, "west"}}, LineResult::BadHeading},
      {"vertical speed garbage", {{5, "up"}}, LineResult::BadVerticalSpeed},
      {"roll garbage in the air", {{23, "left"}}, LineResult::BadBank},
      {"true airspeed garbage", {{20, "slow"}}, LineResult::BadAirspeed},
      {"true airspeed inf", {{20, "inf"}}, LineResult::BadAirspeed},
      // No aircraft flies there or that fast, and no feed dates a line so.
      {"altitude 1e308", {{4, "1e308"}}, LineResult::BadAltitude},
      {"altitude above 60000", {{4, "60000.5"}}, LineResult::BadAltitude},
      {"altitude below -1500", {{4, "-1501"}}, LineResult::BadAltitude},
      {"ground speed above 1000 kt", {{8, "1000.5"}}, LineResult::BadSpeed},
      {"ground speed negative", {{8, "-3"}}, LineResult::BadSpeed},
      {"timestamp 1e308", {{14, "1e308"}}, LineResult::ImplausibleTime},
      {"timestamp before 1970", {{14, "-5"}}, LineResult::ImplausibleTime},
  };
  for (const DropCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(run(withFields(kDeltaLine, c.changes)), c.result);
  }
  EXPECT_EQ(queueSize(), 0u);
}

TEST_F(TrafficLine, LinesThatPassTheirCheck) {
  const std::vector<std::pair<const char*, std::map<std::size_t, std::string>>> cases{
      {"hexid 10001", {{1, "10001"}}},
      {"registration 12 characters", {{11, "N12345678901"}, {15, "F"}}},
      {"no registration, flag not F, callsign given", {{11, "null"}}},
      {"callsign with @ keeps the registration", {{9, "@@@@@@@@"}}},
      {"roll given on the ground is not read", {{4, "0"}, {23, "left"}}},
      {"true heading negative: no feed track", {{25, "-5"}}},
      {"source other than adsb_icao: heading not read", {{17, "mlat"}, {25, "north"}}},
      {"empty track", {{7, ""}}},
      {"altitude 60000", {{4, "60000"}}},
      {"altitude -1500", {{4, "-1500"}}},
      {"ground speed 1000 kt", {{8, "1000"}}},
  };
  // The ground case needs its park airport.
  setParkAirport({"KEWR", "", 40.6925, -74.1687, 18});
  for (const auto& [name, changes] : cases) {
    SCOPED_TRACE(name);
    std::string line = withFields(kDeltaLine, changes);
    if (changes.count(4) && std::stod(changes.at(4)) <= 0) line = withFields(line, {{2, "40.6925"}, {3, "-74.1687"}});
    EXPECT_EQ(run(line), LineResult::Queued);
  }
  EXPECT_EQ(takeQueue().size(), cases.size());
}

// One line dated far ahead or behind the feed's clock is refused; when the clock itself steps back,
// it is followed after a few lines and the records' times go on rising, so that the engine, which
// drops a record older than the last of its aircraft, keeps every aircraft flying.
TEST_F(TrafficLine, TheFeedClockRefusesStrayTimesAndFollowsASteppedClock) {
  clock::ManualClock clk(1796495598);
  const double t0 = 1551821332.89;
  const auto at = [&](double t) { return run(withFields(kDeltaLine, {{14, fmt::format("{:.2f}", t)}})); };
  ASSERT_EQ(at(t0), LineResult::Queued);
  EXPECT_EQ(at(t0 + 86400.0 * 365), LineResult::ImplausibleTime);
  EXPECT_DOUBLE_EQ(g_trafficReader.feedTimestamp.load(), t0);
  EXPECT_EQ(at(t0 + 5), LineResult::Queued);
  EXPECT_EQ(at(t0 - 300), LineResult::Queued);  // a late report
  EXPECT_EQ(at(t0 + 3600), LineResult::ImplausibleTime);

  // RealTraffic restarted its replay an hour earlier.
  for (int i = 0; i + 1 < FeedClock::kStepLines; ++i) EXPECT_EQ(at(t0 - 3600 + i), LineResult::ImplausibleTime);
  EXPECT_EQ(at(t0 - 3600 + 4), LineResult::Queued);
  EXPECT_EQ(at(t0 - 3600 + 10), LineResult::Queued);
  EXPECT_DOUBLE_EQ(g_trafficReader.feedTimestamp.load(), t0 - 3600 + 10);

  // After the feed paused for an hour, its time an hour on is plausible at once.
  clk.advance(std::chrono::hours(1));
  EXPECT_EQ(at(t0 + 10), LineResult::Queued);

  const auto q = takeQueue();
  ASSERT_EQ(q.size(), 6u);
  EXPECT_DOUBLE_EQ(q[0].timestamp, t0);
  EXPECT_DOUBLE_EQ(q[1].timestamp, t0 + 5);
  EXPECT_DOUBLE_EQ(q[2].timestamp, t0 - 300);
  EXPECT_GT(q[3].timestamp, q[1].timestamp);
  EXPECT_NEAR(q[4].timestamp - q[3].timestamp, 6, 1e-6);
  EXPECT_NEAR(q[5].timestamp - q[4].timestamp, 3600, 1e-6);

  // A new connection starts a new clock.
  gf_resetReaders();
  EXPECT_EQ(at(t0 + 86400.0 * 365), LineResult::Queued);
}

TEST_F(TrafficLine, ZeroPointBoxTakesOnlyItsOwnQuarter) {
  g_trafficReader.setUserPosition(0, 0);
  EXPECT_EQ(run(withFields(kDeltaLine, {{2, "0.0005"}, {3, "0.01"}})), LineResult::NullIsland);
  EXPECT_EQ(run(withFields(kDeltaLine, {{2, "-0.0005"}, {3, "0.01"}})), LineResult::Queued);
  EXPECT_EQ(run(withFields(kDeltaLine, {{2, "0.0005"}, {3, "-0.01"}})), LineResult::Queued);
  EXPECT_EQ(run(withFields(kDeltaLine, {{2, "0.0010"}, {3, "0.01"}})), LineResult::Queued);
}

// The true heading gives the feed track and fills a zero track; the roll is used only when given.
TEST_F(TrafficLine, TrueHeadingAndRollOfTheFeed) {
  struct Case {
    const char* trueHeading;
    const char* track;
    const char* roll;
    double feedTrack;
    bool trackGiven;
    double heading;
    double bank;
    bool bankGiven;
  };
  const std::vector<Case> cases{
      {"0", "0", "15", 2 * kPi, true, 360, -15 * kDeg, true},  // north is 2 pi, and fills the empty track as 360
      {"0", "200", "-20.5", 2 * kPi, true, 200, 20.5 * kDeg, true},  // a track of its own stays
      {"360", "0", "-1", 2 * kPi, true, 360, kDeg, false},
      {"-1", "0", "0", 0, false, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trueHeading);
    ASSERT_EQ(run(withFields(kDeltaLine, {{25, c.trueHeading}, {7, c.track}, {23, c.roll}})), LineResult::Queued);
    const Situation s = takeQueue().at(0).situation;
    EXPECT_NEAR(s.feedTrack, c.feedTrack, 1e-12);
    EXPECT_EQ(s.feedTrackGiven, c.trackGiven);
    EXPECT_EQ(s.feedAttitudeUsable, c.trackGiven);
    EXPECT_NEAR(s.heading, c.heading, 1e-9);
    EXPECT_NEAR(s.feedBank, c.bank, 1e-12);
    EXPECT_EQ(s.feedBankGiven, c.bankGiven);
  }
}

TEST_F(TrafficLine, GroundRulesAndTrueAirspeedDefaults) {
  // Everything on the ground is kept near Newark, where the test line is moved.
  setParkAirport({"KEWR", "", 40.6925, -74.1687, 18});
  struct Case {
    const char* altitude;
    const char* speed;
    std::optional<double> parkElevation;
    double wantAltitude;
    double wantTas;  // of the default by altitude
  };
  const std::vector<Case> cases{
      {"-50", "10", std::nullopt, 0, 180},
      {"300", "30", std::nullopt, 0, 180},       // slow: on the ground whatever the height
      {"100", "100", std::nullopt, 100, 180},    // d = 1100 without an elevation: airborne
      {"50", "100", 18.0, 0, 180},               // 32 ft above the airport at 100 kt
      {"70", "100", 18.0, 70, 180},              // 52 ft at 100 kt: airborne
      {"100", "70", 18.0, 0, 180},               // 82 ft at 70 kt
      {"130", "40", 18.0, 0, 180},               // 112 ft at 40 kt
      {"140", "40", 18.0, 140, 180},             // 122 ft: airborne
      {"10", "200", 18.0, 0, 180},               // below the airport
      {"2000", "200", std::nullopt, 2000, 180},
      {"2001", "200", std::nullopt, 2001, 220},
      {"5000", "200", std::nullopt, 5000, 220},
      {"5001", "200", std::nullopt, 5001, 250},
      {"10000", "200", std::nullopt, 10000, 250},
      {"10001", "200", std::nullopt, 10001, 350},
      {"15000", "200", std::nullopt, 15000, 350},
      {"20000", "200", std::nullopt, 20000, 350},
      {"20001", "200", std::nullopt, 20001, 430},
      {"14000", "36", std::nullopt, 14000, 350},  // 14000 ft and up: only the speed rule
      {"14000", "35", std::nullopt, 0, 180},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.altitude) + " ft " + c.speed + " kt");
    g_trafficReader.setParkElevation(c.parkElevation);
    ASSERT_EQ(run(withFields(kDeltaLine, {{4, c.altitude}, {8, c.speed}, {2, "40.70"}, {3, "-74.17"}})),
              LineResult::Queued);
    const auto q = takeQueue();
    ASSERT_EQ(q.size(), 1u);
    EXPECT_DOUBLE_EQ(q[0].situation.altitude, c.wantAltitude);
    EXPECT_EQ(q[0].situation.airborne, c.wantAltitude != 0 ? 1 : 0);
    EXPECT_DOUBLE_EQ(q[0].situation.trueAirspeed, c.wantTas);
  }
}

// The on-ground bands at each of their edges, a foot or a knot either side. Landings hang on them:
// the first record on the ground ends the approach. Newark lies at 18 ft, so d = altitude - 18.
TEST_F(TrafficLine, OnGroundBandsHoldToTheirEdges) {
  setParkAirport({"KEWR", "", 40.6925, -74.1687, 18});
  g_trafficReader.setParkElevation(18.0);
  struct Case {
    const char* altitude;
    const char* speed;
    bool ground;
  };
  const std::vector<Case> cases{
      {"18", "200", true},    // d = 0: at the field's height, however fast
      {"19", "200", false},   // d = 1 above every band's speed
      {"63", "120", true},    // d = 45 at 120 kt: the first band
      {"64", "120", false},   // d = 46
      {"63", "121", false},   // 121 kt
      {"108", "80", true},    // d = 90 at 80 kt: the second band
      {"109", "80", false},   // d = 91
      {"108", "81", false},   // 81 kt
      {"138", "43", true},    // d = 120 at 43 kt: the third band
      {"139", "43", false},   // d = 121
      {"138", "44", false},   // 44 kt
      {"138", "65", false},   // well past the third band's speed
      {"1000", "36", false},  // slow, but not slow enough for the speed rule
      {"1000", "35", true},   // 35 kt: on the ground at any height
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.altitude) + " ft " + c.speed + " kt");
    ASSERT_EQ(run(withFields(kDeltaLine, {{4, c.altitude}, {8, c.speed}, {2, "40.70"}, {3, "-74.17"}})),
              LineResult::Queued);
    const Situation s = takeQueue().at(0).situation;
    EXPECT_EQ(s.airborne, c.ground ? 0 : 1);
    EXPECT_DOUBLE_EQ(s.altitude, c.ground ? 0 : std::stod(c.altitude));
  }
}

// The bands apply below 14000 ft only. At a field higher than that (the highest lie near 14,500 ft)
// a report at 13,999 ft is below the field and so on the ground; one at 14,000 ft keeps its height.
TEST_F(TrafficLine, OnGroundBandsEndAt14000Feet) {
  const AirportData high{"ZUDC", "", 29.3231, 100.0533, 14472};
  setParkAirport(high);
  g_trafficReader.setParkElevation(14472.0);
  g_trafficReader.setUserPosition(high.lat, high.lon);
  const auto at = [&](const char* altitude) {
    EXPECT_EQ(run(withFields(kDeltaLine, {{4, altitude}, {8, "200"}, {2, "29.3231"}, {3, "100.0533"}})),
              LineResult::Queued);
    return takeQueue().at(0).situation;
  };
  const Situation below = at("13999");
  EXPECT_EQ(below.airborne, 0);
  EXPECT_DOUBLE_EQ(below.altitude, 0);
  const Situation level = at("14000");
  EXPECT_EQ(level.airborne, 1);
  EXPECT_DOUBLE_EQ(level.altitude, 14000);
}

// Positions on the poles and on the antimeridian are aircraft's; a hundredth of a degree beyond is
// none. The user stands 3 nm away, so that what passes the bound is queued.
TEST_F(TrafficLine, PositionsUpToThePolesAndTheAntimeridian) {
  struct Case {
    double userLat, userLon;
    const char* lat;
    const char* lon;
    LineResult result;
  };
  const std::vector<Case> cases{
      {89.95, 0, "90", "0", LineResult::Queued},
      {89.95, 0, "90.01", "0", LineResult::BadPosition},
      {-89.95, 0, "-90", "0", LineResult::Queued},
      {-89.95, 0, "-90.01", "0", LineResult::BadPosition},
      {-16.5, 179.95, "-16.5", "180", LineResult::Queued},
      {-16.5, 179.95, "-16.5", "180.01", LineResult::BadPosition},
      {-16.5, -179.95, "-16.5", "-180", LineResult::Queued},
      {-16.5, -179.95, "-16.5", "-180.01", LineResult::BadPosition},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.lat) + " " + c.lon);
    g_trafficReader.setUserPosition(c.userLat, c.userLon);
    EXPECT_EQ(run(withFields(kDeltaLine, {{2, c.lat}, {3, c.lon}})), c.result);
  }
  EXPECT_EQ(takeQueue().size(), 4u);
}

// A record on the ground is kept up to 5 nm from the park airport. One minute of latitude is one
// nautical mile.
TEST_F(TrafficLine, GroundRecordsUpToFiveMilesFromTheParkAirport) {
  setParkAirport({"KJFK", "", kJfkLat, kJfkLon, 13});
  g_trafficReader.setParkElevation(13.0);
  const auto standingAt = [&](double nm) {
    return run(withFields(kDeltaLine, {{4, "0"}, {8, "0"}, {2, fmt::format("{:.6f}", kJfkLat + nm / 60)}, {3, "-73.7781"}}));
  };
  EXPECT_EQ(standingAt(4.95), LineResult::Queued);
  EXPECT_EQ(standingAt(5.05), LineResult::GroundAwayFromPark);
}

// Near another field of the airport list a reported altitude is judged against that field's ground,
// near the park airport against the park airport's. White Plains lies at 439 ft, JFK at 13 ft; a
// heliport of the list at 200 ft lies 1 nm north of Newark (18 ft). A record judged on the ground
// away from the park airport (no approach seen before it) is dropped as such.
TEST_F(TrafficLine, AnAltitudeNearAnotherFieldIsJudgedAgainstThatFieldsGround) {
  const AirportData jfk{"KJFK", "JFK", kJfkLat, kJfkLon, 13}, hpn{"KHPN", "HPN", 41.0670, -73.7076, 439};
  const AirportData ewr{"KEWR", "EWR", 40.6925, -74.1687, 18}, pad{"XPAD", "", ewr.lat + 1.0 / 60, ewr.lon, 200};
  gf_setAirportList({ewr, hpn, jfk, pad});
  struct AirportListBack {
    ~AirportListBack() { gf_resetAirportList(); }
  } back;
  g_radiusNm = 60.0;
  const auto at = [&](const LatLon& p, const char* altitude, const char* speed) {
    const LineResult r = run(withFields(kDeltaLine, {{1, "531999100"},
                                                     {2, fmt::format("{:.5f}", p.lat)},
                                                     {3, fmt::format("{:.5f}", p.lon)},
                                                     {4, altitude},
                                                     {8, speed}}));
    const auto q = takeQueue();
    return std::pair{r, q.empty() ? -1.0 : q[0].situation.altitude};
  };
  const auto from = [](const AirportData& a, double nm) {
    return gf_destinationPoint({a.lat, a.lon}, 0, nm * kFeetPerNm);
  };

  // Parked at White Plains: 1 nm from JFK at 300 ft an approach is 287 ft above its field, not 139 ft
  // below the park airport's.
  setParkAirport(hpn);
  g_trafficReader.setParkElevation(439.0);
  EXPECT_EQ(at(from(jfk, 1.0), "300", "140"), std::pair(LineResult::Queued, 300.0));
  // Parked at JFK: 470 ft at 100 kt is 31 ft above White Plains up to 5 nm from it, down; farther
  // out it is 457 ft above JFK, in the air.
  setParkAirport(jfk);
  g_trafficReader.setParkElevation(13.0);
  EXPECT_EQ(at(from(hpn, 0.2), "470", "100").first, LineResult::GroundAwayFromPark);
  EXPECT_EQ(at(from(hpn, 4.95), "470", "100").first, LineResult::GroundAwayFromPark);
  EXPECT_EQ(at(from(hpn, 5.05), "470", "100"), std::pair(LineResult::Queued, 470.0));
  // Parked at Newark: its own ground holds within 5 nm of it, though the heliport lies nearer.
  setParkAirport(ewr);
  g_trafficReader.setParkElevation(18.0);
  EXPECT_EQ(at(from(ewr, 0.8), "50", "100"), std::pair(LineResult::Queued, 0.0));     // 32 ft above Newark
  EXPECT_EQ(at(from(ewr, 0.8), "210", "100"), std::pair(LineResult::Queued, 210.0));  // 10 ft above the pad
}

TEST_F(TrafficLine, AutomaticRangeAtTenMilesDropsWhatFliesHighAboveTheParkAirport) {
  setParkAirport({"KJFK", "", kJfkLat, kJfkLon, 13});
  const std::string high = withFields(kDeltaLine, {{4, "3014"}});
  const std::string low = withFields(kDeltaLine, {{4, "3013"}});
  EXPECT_EQ(run(high), LineResult::Queued);  // the automatic range is not at 10 nm
  g_autoRangeApplied = 1;
  EXPECT_EQ(run(high), LineResult::Queued);  // the park airport's file is not loaded
  g_parkAirportLoaded = 1;
  EXPECT_EQ(run(high), LineResult::AboveParkAirport);
  EXPECT_EQ(run(low), LineResult::Queued);
}

// Short lines are rejected before any field is read; a dropped line's timestamp is kept.
TEST_F(TrafficLine, ShortLinesAreRejectedWholeAndTheTimestampOfOthersIsKept) {
  const std::string line = kDeltaLine.substr(0, kDeltaLine.find(",none,A3"));  // 27 fields
  for (const std::string& l : {line, std::string(), std::string(28, ',')})  // a trailing comma adds no field
    EXPECT_EQ(run(l), LineResult::TooFewFields) << l;
  EXPECT_DOUBLE_EQ(g_trafficReader.feedTimestamp.load(), 0);
  run(withFields(kDeltaLine, {{14, "1551821400.5"}, {28, "C1"}}));
  EXPECT_DOUBLE_EQ(g_trafficReader.feedTimestamp.load(), 1551821400.5);
  run(withFields(kDeltaLine, {{14, "nan"}}));
  EXPECT_DOUBLE_EQ(g_trafficReader.feedTimestamp.load(), 1551821400.5);
}

TEST_F(TrafficLine, VehicleLinesAreIgnoredWholeByTheHandler) {
  const std::string line = withFields(kDeltaLine, {{9, "FOLLOW VEH"}});
  std::copy(line.begin(), line.end(), g_trafficReader.buffer.begin());
  g_trafficReader.message = g_trafficReader.buffer.data();
  g_trafficReader.messageLength = line.size();
  g_trafficReader.handleMessage();
  EXPECT_EQ(queueSize(), 0u);
  EXPECT_DOUBLE_EQ(g_trafficReader.feedTimestamp.load(), 0);
}

TEST_F(TrafficLine, ClosedQueueDiscards) {
  openQueue(false);
  EXPECT_EQ(run(kDeltaLine), LineResult::QueueClosed);
  EXPECT_EQ(queueSize(), 0u);
}

TEST_F(TrafficLine, CallsignsAreCollectedOnlyWhileSwitchedOn) {
  run(kDeltaLine);
  EXPECT_TRUE(g_trafficReader.seenCallsigns().empty());
  g_trafficReader.callsignCollection = 1;
  run(kDeltaLine);
  run(withFields(kDeltaLine, {{9, "null"}}));
  run(withFields(kDeltaLine, {{9, "AB@CD"}}));
  run(withFields(kDeltaLine, {{9, "JBU1155"}, {28, "C2"}}));  // collected before the category drops it
  run(withFields(kDeltaLine, {{9, "UAL1"}, {2, "45"}}));      // beyond the radius: not seen
  EXPECT_EQ(g_trafficReader.takeSeenCallsigns(), (std::set<std::string>{"DAL2171", "JBU1155"}));
  EXPECT_TRUE(g_trafficReader.seenCallsigns().empty());
}

// A landing roll away from the park airport is measured from where the aircraft was last seen in the
// air, at the time that position was first reported: the feed holds a position on short final for
// tens of seconds with fresh stamps while the aircraft flies on. An approach at 120 kt along 220
// degrees, its last position sent again 10, 20 and 30 s on; the first ground record comes 38 s after
// that position was first reported: 1.5 x 120 kt x 38 s + 0.1 nm = 2.0 nm of reach from it. Measured
// from the last repeat it would be 8 s, 0.5 nm.
TEST_F(TrafficLine, ALandingRollIsMeasuredFromWhenItsLastAirbornePositionWasFirstReported) {
  constexpr std::uint32_t kHexid = 531999001;
  const LatLon before{40.7900, -73.8600};
  const LatLon last = gf_destinationPoint(before, 220 * kDegToRad, 0.5 * kFeetPerNm);
  g_trafficReader.noteAirborne(kHexid, 1000, before.lat, before.lon, 120);
  g_trafficReader.noteAirborne(kHexid, 1015, last.lat, last.lon, 120);
  for (double repeat : {10.0, 20.0, 30.0}) g_trafficReader.noteAirborne(kHexid, 1015 + repeat, last.lat, last.lon, 120);
  const LatLon beyond = gf_destinationPoint(last, 220 * kDegToRad, 2.1 * kFeetPerNm);
  EXPECT_FALSE(g_trafficReader.rollingOut(kHexid, 1053, beyond.lat, beyond.lon));
  const LatLon down = gf_destinationPoint(last, 220 * kDegToRad, 1.9 * kFeetPerNm);
  EXPECT_TRUE(g_trafficReader.rollingOut(kHexid, 1053, down.lat, down.lon));
}

TEST_F(TrafficLine, WholeRecordingGivesSoundRecords) {
  const auto lines = tools::TrafficDouble::readLines(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
  ASSERT_EQ(lines.size(), 39083u);
  setParkAirport({"KJFK", "", kJfkLat, kJfkLon, 13});
  g_trafficReader.setParkElevation(13.0);
  std::map<LineResult, int> results;
  std::map<std::uint32_t, double> lastAirborne;
  std::size_t rolls = 0;
  for (const std::string& line : lines) {
    ++results[run(line)];
    for (const TrafficRecord& r : takeQueue()) {
      const Situation& s = r.situation;
      ASSERT_TRUE(std::isfinite(s.latitude) && std::isfinite(s.longitude) && std::isfinite(s.heading));
      ASSERT_EQ(s.airborne, s.altitude > 0 ? 1 : 0);
      ASSERT_FALSE(r.identity.callsign.empty() && r.identity.registration.empty());
      if (s.airborne) {
        lastAirborne[r.hexid] = r.timestamp;
      } else if (std::hypot(s.latitude - kJfkLat, (s.longitude - kJfkLon) * 0.76) > 5.01 / 60) {
        // On the ground away from JFK only the landing roll, within a minute of the air.
        const auto air = lastAirborne.find(r.hexid);
        ASSERT_NE(air, lastAirborne.end());
        ASSERT_LE(r.timestamp - air->second, TrafficReader::kRollOutSeconds);
        ++rolls;
      }
    }
  }
  EXPECT_GT(rolls, 0u);
  // Real traffic passes in bulk; the rest is beyond the radius, standing at other airports, or of
  // types without a usable code. Nothing in it fails to parse.
  EXPECT_GT(results[LineResult::Queued], 10000);
  EXPECT_GT(results[LineResult::OutOfRadius], 0);
  EXPECT_GT(results[LineResult::GroundAwayFromPark], 0);
  EXPECT_GT(results[LineResult::ExcludedModel], 0);
  EXPECT_EQ(results.size(), 4u);
}

}  // namespace
}  // namespace amb
