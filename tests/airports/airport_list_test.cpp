// The airport list: reading it once, its errors, the code search and the closest airport with its
// neighbour.

#include "airports/apf_source.hpp"
#include "airports_fixture.hpp"
#include "core/geometry.hpp"
#include "core/user_error.hpp"

#include <cmath>
#include <limits>
#include <random>

namespace amb {
namespace {

class AirportList : public test::AirportsTest {
protected:
  void SetUp() override {
    test::AirportsTest::SetUp();
    gf_resetAirportList();
    gf_forgetServerProbes();
    std::filesystem::create_directories(path("server/P3D"));
    useServerUrl(gf_fileUrl(path("server"), true));
  }
  void TearDown() override {
    gf_resetAirportList();
    gf_forgetServerProbes();
    test::AirportsTest::TearDown();
  }
  void writeList(const std::string& airports) {
    test::writeFile(path("input/airports_p3d.xml"), "<?xml version=\"1.0\"?>\n<airports>\n" + airports + "</airports>\n");
  }
  static std::string airport(const std::string& code, LatLon at, const std::string& extra = "") {
    return fmt::format("<airport code=\"{}\" lat=\"{:.8f}\" lon=\"{:.8f}\" alt=\"10\" {} />\n", code, at.lat, at.lon, extra);
  }
  std::string readError() {
    try {
      lf_readAirports();
    } catch (const UserErrorException& e) {
      return e.what();
    }
    return "no error";
  }
  // A generated airport file in my_thirdparty with one stand at the position.
  void standFile(const std::string& code, LatLon at) {
    ApfRecord r;
    r.publisher = "Pub";
    r.stands.push_back(test::makeStand(code + "-1", at.lat, at.lon, 0, 20));
    std::filesystem::create_directories(path("airports/my_thirdparty"));
    ASSERT_TRUE(gf_saveApf(r, path("airports/my_thirdparty") / gf_xmlFileName(code), 1));
  }
  const LatLon here{40.0, -73.0};
  LatLon at(double nm, double bearingDeg) const { return gf_destinationPoint(here, bearingDeg * kDegToRad, nm * kFeetPerNm); }
};

TEST_F(AirportList, ReadOnceSortedByCodeAndSearchedExactly) {
  writeList(airport("KJFK", {40.64, -73.78}, "iata=\"JFK\"") + airport("EGLL", {51.47, -0.46}, "iata=\"LHR\"") +
            "<runway code=\"X\" />\n" + airport("kjfk", {1, 1}));
  EXPECT_TRUE(lf_readAirports());
  ASSERT_EQ(g_airports.size(), 3u);
  EXPECT_EQ(g_airports[0].code, "EGLL");
  EXPECT_EQ(g_airports[1].code, "KJFK");
  EXPECT_EQ(g_airports[2].code, "kjfk");
  EXPECT_EQ(g_airports[2].iata, "");
  EXPECT_EQ(gf_findAirport("KJFK")->iata, "JFK");
  EXPECT_DOUBLE_EQ(gf_findAirport("KJFK")->lat, 40.64);
  EXPECT_FALSE(gf_findAirport("egll"));
  EXPECT_TRUE(logHas("3 airports read from \"" + gf_pathText(std::filesystem::path("input") / "airports_p3d.xml") + "\""));
  // A second call reads nothing.
  writeList("");
  EXPECT_TRUE(lf_readAirports());
  EXPECT_EQ(g_airports.size(), 3u);
}

TEST_F(AirportList, BadNumbersAndMissingFilesAreUserError88AndARetryStartsAfresh) {
  EXPECT_EQ(readError(), "88: " + gf_pathText(std::filesystem::path("input") / "airports_p3d.xml") +
                             " not loaded File was not found");
  test::writeFile(path("input/airports_p3d.xml"), "<list />");
  EXPECT_EQ(readError(), "88: " + gf_pathText(std::filesystem::path("input") / "airports_p3d.xml") + " not found");
  writeList(airport("AAAA", {1, 1}) + "<airport code=\"BBBB\" lat=\"1\" lon=\"2\" />\n");
  EXPECT_EQ(readError(), "88: invalid stod argument");
  writeList(airport("AAAA", {1, 1}) + "<airport code=\"BBBB\" lat=\"x1\" lon=\"2\" alt=\"3\" />\n");
  EXPECT_EQ(readError(), "88: invalid stod argument");
  writeList("<airport code=\"BBBB\" lat=\"1\" lon=\"1e999\" alt=\"3\" />\n");
  EXPECT_EQ(readError(), "88: stod argument out of range");
  EXPECT_EQ(g_airportsRead, 0);
  // After a failure half-way the list is read again whole, without the airports of the failed read.
  writeList(airport("AAAA", {1, 1}) + airport("BBBB", {2, 2}));
  EXPECT_TRUE(lf_readAirports());
  EXPECT_EQ(g_airports.size(), 2u);
  gf_resetAirportList();
  writeList("");
  EXPECT_FALSE(lf_readAirports());
  EXPECT_EQ(g_airportsRead, 1);
}

TEST_F(AirportList, NumbersReadLikeTheStandardConversion) {
  EXPECT_DOUBLE_EQ(gf_stod("  12.5x"), 12.5);
  EXPECT_DOUBLE_EQ(gf_stod("-3e2"), -300.0);
  EXPECT_EQ(test::thrownText<std::invalid_argument>([] { gf_stod(""); }), "invalid stod argument");
  EXPECT_EQ(test::thrownText<std::out_of_range>([] { gf_stod("-1e400"); }), "stod argument out of range");
}

TEST_F(AirportList, ClosestAirportWithinFiveMiles) {
  writeList(airport("FAR6", at(6, 0)) + airport("NEAR", at(4, 90)));
  ASSERT_TRUE(lf_readAirports());
  EXPECT_EQ(gf_closestAirport(here)->code, "NEAR");
  EXPECT_FALSE(logHas("neighbour"));
  EXPECT_FALSE(gf_closestAirport(at(10, 270)));
  // Airports on the far side of the globe at the same latitude are not near.
  EXPECT_FALSE(gf_closestAirport({40.0, 107.0}));
}

TEST_F(AirportList, ANearerAirportMetLaterMakesTheEarlierItsNeighbour) {
  writeList(airport("AAAA", at(3, 0)) + airport("BBBB", at(2, 180)));
  ASSERT_TRUE(lf_readAirports());
  // Neither has a file: the closest stays.
  EXPECT_EQ(gf_closestAirport(here)->code, "BBBB");
  EXPECT_TRUE(logHas("Airport BBBB is closest, neighbour is AAAA"));
  // The neighbour's stand nearer than the closest's nearest stand: the neighbour.
  standFile("AAAA", at(0.5, 0));
  standFile("BBBB", at(1.0, 180));
  EXPECT_EQ(gf_closestAirport(here)->code, "AAAA");
  EXPECT_TRUE(logHas("Airport BBBB is closest, but stand AAAA-1 at neighbouring airport AAAA is closest at 926 meters ..."));
  // Stands at the same distance: the closest airport.
  standFile("AAAA", at(1.0, 0));
  EXPECT_EQ(gf_closestAirport(here)->code, "BBBB");
}

TEST_F(AirportList, AnEarlierNearerAirportHasNoNeighbour) {
  // ZZZ2 lies farther and comes later: never a neighbour, whatever its stands.
  writeList(airport("ZZZ1", at(2, 180)) + airport("ZZZ2", at(3, 0)));
  ASSERT_TRUE(lf_readAirports());
  standFile("ZZZ2", here);
  EXPECT_EQ(gf_closestAirport(here)->code, "ZZZ1");
  EXPECT_FALSE(logHas("neighbour is ZZZ2"));
}

// The searches through the list's index find what a look at every airport finds: by position, the
// last of equally near ones for the engine's search and the first for the closest airport (in the
// list's order), an airport without a finite latitude never; by code, the first in the list's order
// with that ICAO code, or with that IATA or ICAO code.
TEST_F(AirportList, SearchesFindWhatALookAtEveryAirportFinds) {
  std::mt19937 random(20190305);
  std::uniform_real_distribution<double> offset(-0.5, 0.5);
  std::vector<AirportData> list;
  for (int i = 0; i < 3000; ++i) {
    const LatLon p{here.lat + offset(random), here.lon + offset(random)};
    // IATA codes shared by several, some of them another airport's ICAO code; some none.
    const std::string iata = i % 7 == 0 ? "" : fmt::format("{}{:03}", i % 3 == 0 ? "A" : "I", i % 400);
    list.push_back({fmt::format("A{:03}", i % 2500), iata, p.lat, p.lon, 10});
    // Every tenth twice, under another code: equally near.
    if (i % 10 == 0) list.push_back({fmt::format("B{:04}", i), "", p.lat, p.lon, 10});
  }
  list.push_back({"FARS", "", here.lat, here.lon + 180, 10});  // the same latitude, the far side
  list.push_back({"NANL", "", std::nan(""), here.lon, 10});
  list.push_back({"INFL", "", std::numeric_limits<double>::infinity(), here.lon, 10});
  gf_setAirportList(list);

  const auto lookAtAll = [&](const LatLon& q, double withinNm, bool lastOfEquals) {
    std::string found;
    double best = withinNm;
    for (const AirportData& a : list) {
      const double d = gf_distanceNm(q, {a.lat, a.lon});
      if (lastOfEquals ? d <= best : d < best) {
        best = d;
        found = a.code;
      }
    }
    return found;
  };
  for (int i = 0; i < 400; ++i) {
    const LatLon q{here.lat + 1.2 * offset(random), here.lon + 1.2 * offset(random)};
    for (const double withinNm : {0.5, 2.0, 10.0}) {
      const std::optional<AirportData> near = gf_airportNear(q, withinNm);
      EXPECT_EQ(near ? near->code : "", lookAtAll(q, withinNm, true)) << q.lat << " " << q.lon << " " << withinNm;
    }
    if (i % 10 == 0) {
      const std::optional<AirportData> closest = gf_closestAirport(q);
      EXPECT_EQ(closest ? closest->code : "", lookAtAll(q, 5.0, false)) << q.lat << " " << q.lon;
    }
  }
  EXPECT_EQ(gf_airportNear(here, std::numeric_limits<double>::infinity())->code,
            lookAtAll(here, std::numeric_limits<double>::infinity(), true));
  EXPECT_FALSE(gf_airportNear(here, std::nan("")));
  EXPECT_FALSE(gf_airportNear(here, -1.0));
  EXPECT_FALSE(gf_airportNear({std::nan(""), here.lon}, 10.0));

  const auto firstCalled = [&](const std::string& code, bool byIata) {
    for (const AirportData& a : list)
      if ((byIata && a.iata == code) || a.code == code) return fmt::format("{} {} {}", a.code, a.iata, a.lat);
    return std::string();
  };
  const auto text = [](const std::optional<AirportData>& a) {
    return a ? fmt::format("{} {} {}", a->code, a->iata, a->lat) : std::string();
  };
  for (const std::string code : {"A000", "A001", "A123", "A399", "I001", "I398", "B0010", "B2990", "A2499", "Z999"}) {
    EXPECT_EQ(text(gf_airportCalled(code)), firstCalled(code, true)) << code;
    EXPECT_EQ(text(gf_findAirport(code)), firstCalled(code, false)) << code;
  }
  EXPECT_FALSE(gf_airportCalled(""));
}

// A list changed without its index being built again is searched whole, not by a stale index.
TEST_F(AirportList, AListChangedBehindItsIndexIsSearchedWhole) {
  gf_setAirportList({{"FARA", "", at(8, 0).lat, at(8, 0).lon, 10}});
  g_airports.push_back({"NEAR", "NRR", at(1, 90).lat, at(1, 90).lon, 10});
  EXPECT_EQ(gf_airportNear(here, 10.0)->code, "NEAR");
  EXPECT_EQ(gf_closestAirport(here)->code, "NEAR");
  EXPECT_EQ(gf_airportCalled("NRR")->code, "NEAR");
  EXPECT_EQ(gf_findAirport("NEAR")->code, "NEAR");
}

}  // namespace
}  // namespace amb
