// What the build lays out for the program: the airport list in the input folder and JFK's airport
// file in the packaged server, read as the program reads them.

#include "airports/apf_source.hpp"
#include "airports/park_airport.hpp"
#include "airports/static_parking.hpp"
#include "airports_fixture.hpp"
#include "state/main_window.hpp"
#include "core/user_error.hpp"

namespace amb {
namespace {

namespace fs = std::filesystem;

class PackagedAirports : public test::AirportsTest {
protected:
  void SetUp() override {
    test::AirportsTest::SetUp();
    AMB_SKIP_ON_WINDOWS("the cross build lays out no airport data when it cannot run its generator");
    gf_resetParkState();
    gf_resetAirportList();
    useServerUrl(gf_fileUrl(fs::path(AMB_BINARY_DIR) / "app" / "server", true));
    fs::copy_file(fs::path(AMB_BINARY_DIR) / "app" / "input" / "airports_p3d.xml", path("input/airports_p3d.xml"));
  }
  void TearDown() override {
    gf_resetParkState();
    gf_resetAirportList();
    g_mainWindow.reset();
    test::AirportsTest::TearDown();
  }
};

TEST_F(PackagedAirports, TheUserAtJfkGetsJfkWithItsRealStands) {
  ASSERT_TRUE(lf_readAirports());
  EXPECT_GT(g_airports.size(), 12000u);
  EXPECT_TRUE(std::is_sorted(g_airports.begin(), g_airports.end(),
                             [](const AirportData& a, const AirportData& b) { return a.code < b.code; }));
  const std::optional<AirportData> jfk = gf_closestAirport({40.6413, -73.7781});
  ASSERT_TRUE(jfk);
  EXPECT_EQ(jfk->code, "KJFK");
  EXPECT_EQ(jfk->iata, "JFK");
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = *jfk;
  }
  EXPECT_EQ(gf_findApfSource("KJFK"), "archive/stock/KJFK.xml");
  ASSERT_EQ(lf_readParkedFile(), "") << test::readFile(path("Log.txt"));
  EXPECT_EQ(gf_findStandByName("T5-20a")->name, "T5-20a");  // a name the ground network gives twice
  EXPECT_EQ(g_stands.size(), 231u);
  EXPECT_EQ(g_mainWindow.standCount.load(), 231u);
  EXPECT_EQ(std::count_if(g_stands.begin(), g_stands.end(), [](const Stand& s) { return s.cargo != 0; }), 42);
  EXPECT_EQ(gf_parkAirportSnapshot().alt, 13.0);
  // Every stand lies at the airport, and stands close together exclude each other.
  for (const Stand& s : g_stands) EXPECT_LT(gf_distanceNm({s.lat, s.lon}, {jfk->lat, jfk->lon}), 3.0) << s.name;
  EXPECT_TRUE(std::any_of(g_stands.begin(), g_stands.end(), [](const Stand& s) { return !s.overlapIds.empty(); }));
  EXPECT_TRUE(logHas("Airport file read from \"archive/stock/KJFK.xml\" for KJFK"));
  EXPECT_TRUE(logHas("num_parkpos             : 231"));
}

}  // namespace
}  // namespace amb
