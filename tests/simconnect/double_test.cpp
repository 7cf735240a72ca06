// The simulator double, driven through our client: AI objects announced before any by-type answer
// holds them, answered by type, moved, removed and traced. (The end-to-end tests run the program.)

#include "records/blocks.hpp"
#include "simconnect/sim_fixture.hpp"
#include "tools/simdouble/world.hpp"

#include <cstring>
#include <tuple>

namespace amb::test {
namespace {

class Double : public SimFixture {
protected:
  void TearDown() override {
    if (m_h) { EXPECT_EQ(SimConnect_Close(m_h), kSimOk); }
  }
  bool waitCount(std::uint32_t id, std::size_t n) {
    return dispatchUntil(m_h, [&](const auto& r) {
      return static_cast<std::size_t>(std::count_if(r.begin(), r.end(), [&](const auto& x) { return x.id == id; })) >= n;
    });
  }
  void define(std::uint32_t def, const char* datum, const char* units, std::uint32_t type) {
    ASSERT_EQ(SimConnect_AddToDataDefinition(m_h, def, datum, units, type, 0, sc::kUnused), kSimOk);
  }
  std::unique_ptr<simdouble::SimDouble> m_double;
  SimHandle m_h = nullptr;
};

TEST_F(Double, CreatesObjectsFromIdThreeAnswersByTypeAndRemoves) {
  const auto trace = m_dir / "trace.csv";
  simdouble::Options o;
  o.tcp4Port = 0;
  o.trace = trace;
  o.commands = {"framerate 0", "user 47.45 8.56 1416", "ground-alt 1416", "add-aircraft SWR12 47.46 8.57 1416 1"};
  m_double = std::make_unique<simdouble::SimDouble>(o);
  m_double->open();
  m_double->start();
  cfgToTcp4(m_double->tcp4Port());
  ASSERT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);

  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 202, "ObjectAdded"), kSimOk);
  ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_h, 203, "ObjectRemoved"), kSimOk);
  define(404, "Plane Alt Above Ground", "feet", sc::kFloat64);
  define(404, "Ground Altitude", "feet", sc::kFloat64);
  define(404, "SIM ON GROUND", "Bool", sc::kInt64);
  define(404, "ATC ID", nullptr, sc::kString32);
  ASSERT_EQ(SimConnect_MapClientEventToSimEvent(m_h, 215, "FREEZE_LATITUDE_LONGITUDE_SET"), kSimOk);

  const SimInitPosition near{47.451, 8.561, 1416, 0, 0, 90, 1, 0};
  const SimInitPosition far{48.5, 9.5, 30000, 0, 0, 90, 0, 420};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Airbus A320 Swiss", "SWR1A", near, 104), kSimOk);
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Airbus A321 Swiss", "SWR2B", far, 104), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvAssignedObjectId, 2));
  ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(m_h, 101, 404, 20000, sc::kObjectAircraft), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvSimObjectDataByType, 3));

  // The double's own aircraft took id 3; ours come after it, each announced before any answer holds it.
  std::vector<std::uint32_t> added;
  std::map<std::uint32_t, std::string> atcIds;
  bool byTypeSeen = false;
  for (const auto& r : received()) {
    if (r.id == sc::kRecvEventObjectAddRemove) {
      EXPECT_FALSE(byTypeSeen);
      added.push_back(sc::getU32(r.bytes.data() + 20));
    }
    if (r.id == sc::kRecvSimObjectDataByType) {
      byTypeSeen = true;
      ASSERT_EQ(r.bytes.size(), 40u + sizeof(ObjectGroundBlock));
      ObjectGroundBlock g;
      std::memcpy(&g, r.bytes.data() + 40, sizeof g);
      atcIds[sc::getU32(r.bytes.data() + 16)] = sc::fieldText(g.atcId, 32);
    }
  }
  EXPECT_EQ(added, (std::vector<std::uint32_t>{4, 5}));
  EXPECT_EQ(atcIds, (std::map<std::uint32_t, std::string>{{1, "N12345"}, {3, "SWR12"}, {4, "SWR1A"}}));

  ASSERT_EQ(SimConnect_TransmitClientEvent(m_h, 4, 215, 1, 301, 0), kSimOk);
  ASSERT_EQ(SimConnect_AIRemoveObject(m_h, 4, 105), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvEventObjectAddRemove, 3));
  const auto r = received();
  const auto removed = std::find_if(r.rbegin(), r.rend(), [](const auto& x) { return x.id == sc::kRecvEventObjectAddRemove; });
  EXPECT_EQ(sc::getU32(removed->bytes.data() + 16), 203u);

  m_double->stop();
  const std::string text = readFile(trace);
  for (const char* row : {",4,removed,", ",4,event,47.4510000,8.5610000,1416.0,0.00,0.00,90.00,1,FREEZE_LATITUDE_LONGITUDE_SET=1"})
    EXPECT_NE(text.find(row), std::string::npos) << row;
}
// An AI object stands on the ground when the altitude set on it is no more than half a foot above
// the ground (1416 ft here) plus its CG height (6.5 ft), whatever it was created as: one created on the
// ground lifts off, one created in the air touches down.
TEST_F(Double, AnObjectIsOnTheGroundByItsAltitude) {
  simdouble::Options o;
  o.tcp4Port = 0;
  o.commands = {"framerate 0", "user 47.45 8.56 1416", "ground-alt 1416"};
  m_double = std::make_unique<simdouble::SimDouble>(o);
  m_double->open();
  m_double->start();
  cfgToTcp4(m_double->tcp4Port());
  ASSERT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);
  define(402, "Plane Altitude", "feet", sc::kFloat64);
  define(404, "Plane Alt Above Ground", "feet", sc::kFloat64);
  define(404, "Ground Altitude", "feet", sc::kFloat64);
  define(404, "SIM ON GROUND", "Bool", sc::kInt64);
  define(404, "ATC ID", nullptr, sc::kString32);
  const SimInitPosition onGround{47.451, 8.561, 1416, 0, 0, 90, 1, 0};
  const SimInitPosition aloft{47.452, 8.562, 5000, 0, 0, 90, 0, 250};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Airbus A320 Swiss", "SWR1A", onGround, 104), kSimOk);
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Airbus A321 Swiss", "SWR2B", aloft, 104), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvAssignedObjectId, 2));

  // Object 3 (created on the ground) and 4 (in the air): the on-ground flag of each, by type.
  const auto flags = [&]() {
    clearReceived();
    std::map<std::string, std::int64_t> out;
    if (SimConnect_RequestDataOnSimObjectType(m_h, 101, 404, 20000, sc::kObjectAircraft) != kSimOk) return out;
    if (!waitCount(sc::kRecvSimObjectDataByType, 3)) return out;
    for (const auto& r : received()) {
      if (r.id != sc::kRecvSimObjectDataByType || r.bytes.size() != 40u + sizeof(ObjectGroundBlock)) continue;
      ObjectGroundBlock g;
      std::memcpy(&g, r.bytes.data() + 40, sizeof g);
      out[sc::fieldText(g.atcId, 32)] = g.onGround;
    }
    return out;
  };
  const auto setAltitude = [&](std::uint32_t id, double feet) {
    return SimConnect_SetDataOnSimObject(m_h, 402, id, 0, 0, sizeof feet, &feet);
  };
  using Flags = std::map<std::string, std::int64_t>;
  EXPECT_EQ(flags(), (Flags{{"N12345", 1}, {"SWR1A", 1}, {"SWR2B", 0}}));
  // The departure climbs away; the arrival comes down to its CG height above the ground.
  ASSERT_EQ(setAltitude(3, 1416 + 6.5 + 0.6), kSimOk);
  ASSERT_EQ(setAltitude(4, 1416 + 6.5 + 0.5), kSimOk);
  EXPECT_EQ(flags(), (Flags{{"N12345", 1}, {"SWR1A", 0}, {"SWR2B", 1}}));
  // Below the ground is on it too.
  ASSERT_EQ(setAltitude(3, 1000), kSimOk);
  ASSERT_EQ(setAltitude(4, 3000), kSimOk);
  EXPECT_EQ(flags(), (Flags{{"N12345", 1}, {"SWR1A", 1}, {"SWR2B", 0}}));
}

// The world is flat at the user's ground altitude but for the fields of the airports it is given: an
// object moved from JFK's field (13 ft) to White Plains' (439 ft) stands on 439 ft there, and between
// them, out of both fields, its ground is the user's again.
TEST_F(Double, AnObjectStandsOnTheFieldOfTheAirportItIsOver) {
  const auto trace = m_dir / "trace.csv";
  simdouble::Options o;
  o.tcp4Port = 0;
  o.trace = trace;
  o.commands = {"framerate 0", "user 40.6413 -73.7781 13", "ground-alt 13", "field 40.639447 -73.779317 13",
                "field 41.067001 -73.707603 439 3"};
  m_double = std::make_unique<simdouble::SimDouble>(o);
  m_double->open();
  m_double->start();
  cfgToTcp4(m_double->tcp4Port());
  ASSERT_EQ(SimConnect_Open(&m_h, "Ambertrail_P3D", nullptr, 0, nullptr, 0), kSimOk);
  for (const char* datum : {"Plane Latitude", "Plane Longitude", "Plane Altitude"})
    define(402, datum, datum[6] == 'A' ? "feet" : "degrees", sc::kFloat64);
  define(404, "Plane Alt Above Ground", "feet", sc::kFloat64);
  define(404, "Ground Altitude", "feet", sc::kFloat64);
  define(404, "SIM ON GROUND", "Bool", sc::kInt64);
  define(404, "ATC ID", nullptr, sc::kString32);
  const SimInitPosition atJfk{40.6405, -73.7790, 13 + 6.5, 0, 0, 40, 1, 0};
  ASSERT_EQ(SimConnect_AICreateNonATCAircraft(m_h, "Gulfstream G280", "GALX", atJfk, 104), kSimOk);
  ASSERT_TRUE(waitCount(sc::kRecvAssignedObjectId, 1));

  // The object's ground block, by type within 60 km of the user.
  const auto ground = [&]() {
    clearReceived();
    ObjectGroundBlock g;
    if (SimConnect_RequestDataOnSimObjectType(m_h, 101, 404, 60000, sc::kObjectAircraft) != kSimOk) return g;
    if (!waitCount(sc::kRecvSimObjectDataByType, 2)) return g;
    for (const auto& r : received())
      if (r.id == sc::kRecvSimObjectDataByType && r.bytes.size() == 40u + sizeof(ObjectGroundBlock) &&
          sc::getU32(r.bytes.data() + 16) == 3)
        std::memcpy(&g, r.bytes.data() + 40, sizeof g);
    return g;
  };
  const auto moveTo = [&](double lat, double lon, double feet) {
    const double block[3] = {lat, lon, feet};
    return SimConnect_SetDataOnSimObject(m_h, 402, 3, 0, 0, sizeof block, block);
  };
  ObjectGroundBlock g = ground();
  EXPECT_EQ(std::tuple(g.groundAltitude, g.altAboveGround, g.onGround), std::tuple(13.0, 6.5, std::int64_t{1}));
  // Between the two fields, 445.5 ft above the user's ground.
  ASSERT_EQ(moveTo(40.85, -73.74, 439 + 6.5), kSimOk);
  g = ground();
  EXPECT_EQ(std::tuple(g.groundAltitude, g.altAboveGround, g.onGround), std::tuple(13.0, 432.5, std::int64_t{0}));
  // On White Plains' runway 16, a mile from the field's reference point.
  ASSERT_EQ(moveTo(41.0830, -73.7130, 439 + 6.5), kSimOk);
  g = ground();
  EXPECT_EQ(std::tuple(g.groundAltitude, g.altAboveGround, g.onGround), std::tuple(439.0, 6.5, std::int64_t{1}));
  m_double->stop();
  const std::string text = readFile(trace);
  EXPECT_NE(text.find(",3,position,41.0830000,-73.7130000,445.5,0.00,0.00,40.00,1,def 402"), std::string::npos) << text;
  EXPECT_NE(text.find(",3,position,40.8500000,-73.7400000,445.5,0.00,0.00,40.00,0,def 402"), std::string::npos) << text;
}

// Where fields meet, the nearest one's; a field's radius bounds it; the user's ground elsewhere.
TEST(DoubleWorld, TheGroundIsTheNearestFieldWithinItsRadius) {
  simdouble::World w;
  w.user.groundAltitude = 13;
  EXPECT_EQ(w.groundAt(41.0, -73.7), 13.0);
  w.fields.push_back({41.0, -73.70, 400, 3});
  w.fields.push_back({41.0, -73.64, 200, 3});  // 2.7 nm east of the first
  EXPECT_EQ(w.groundAt(41.0, -73.69), 400.0);
  EXPECT_EQ(w.groundAt(41.0, -73.66), 200.0);
  EXPECT_EQ(w.groundAt(41.04, -73.70), 400.0);  // 2.4 nm north
  EXPECT_EQ(w.groundAt(41.06, -73.70), 13.0);   // 3.6 nm north
  EXPECT_EQ(w.groundAt(-41.0, -73.70), 13.0);
  w.user.groundAltitude = 20;
  EXPECT_EQ(w.groundAt(41.5, -73.7), 20.0);
}

}  // namespace
}  // namespace amb::test
