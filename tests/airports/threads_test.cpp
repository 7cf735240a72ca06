// The park airport's stands and list under the threads that meet them: the simulator link's dispatch
// thread handles user-aircraft blocks and new flights, the window posts destinations and reads the
// first park airport, while the worker loads and leaves the park airport again and again. Run under
// ThreadSanitizer (make test-tsan) this shows any data race between them.

#include "parking_fixture.hpp"

#include "refdata/download.hpp"
#include "sim/link.hpp"
#include "tools/simdouble/wire.hpp"

#include <atomic>
#include <cstring>
#include <thread>

namespace amb {
namespace {

namespace fs = std::filesystem;

const AirportData kEgll{"EGLL", "LHR", 51.4706, -0.461941, 83};
const AirportData kLfpg{"LFPG", "CDG", 49.0097, 2.54778, 392};

simdouble::Bytes userBlock(const LatLon& at) {
  UserAcBlock block;
  block.latitude = at.lat;
  block.longitude = at.lon;
  simdouble::Bytes data(sizeof block);
  std::memcpy(data.data(), &block, sizeof block);
  return simdouble::msgObjectData(sc::kProtocolVersion, sc::kRecvSimObjectData, REQ_USER_AIRCRAFT, 1, 0, 0, 1, 1, 1,
                                  data);
}

class ParkThreads : public test::ParkingTest {
protected:
  void SetUp() override {
    ParkingTest::SetUp();
    airports({kEgll, kLfpg});
    fs::create_directories(path("server/P3D/archive/stock"));
    useServerUrl(gf_fileUrl(path("server"), true));
    test::writeFile(path("server/P3D/archive/stock/EGLL.xml"),
                    fmt::format("<?xml version=\"1.0\"?>\n{}<parameters><parameter name=\"publisher\" value=\"stock\" />"
                                "<parameter name=\"altitude\" value=\"83\" /></parameters>\n<parkpositions>"
                                "<parkpos id=\"A1\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"25\" />"
                                "</parkpositions>\n",
                                test::kMetaBlock, kEgll.lat, kEgll.lon));
  }
  void TearDown() override {
    lf_resetUserState();
    ParkingTest::TearDown();
  }
};

TEST_F(ParkThreads, TheLinkAndTheWindowPostWhileTheWorkerLoadsAndLeavesStands) {
  constexpr int kVisits = 12;
  std::atomic<bool> done{false};
  g_engineUserGroundSpeed = 0;
  const simdouble::Bytes atStand = userBlock({kEgll.lat, kEgll.lon});

  std::thread link([&] {
    while (!done) {
      lf_simDispatch(reinterpret_cast<const sc::RecvHeader*>(atStand.data()),
                     static_cast<std::uint32_t>(atStand.size()), nullptr);
      lf_reserveUserStand();  // a new flight
      (void)gf_userStandName();
      std::this_thread::yield();
    }
  });
  std::thread window([&] {
    bool lfpg = false;
    while (!done) {
      lfpg = !lfpg;
      gf_requestParkAirportToFront(lfpg ? "LFPG" : "EGLL", lfpg ? std::make_pair(kLfpg.lat, kLfpg.lon)
                                                               : std::make_pair(kEgll.lat, kEgll.lon));
      (void)gf_firstParkAirportPosition();
      (void)gf_reservedStandName();
      g_parkParameterChanged = 1;
      std::this_thread::yield();
    }
  });

  // The worker: on the ground at EGLL the airport is picked and loaded; 25 nm away in the air it is
  // left (and its learned file saved).
  int loads = 0;
  for (int visit = 0; visit < kVisits; ++visit) {
    user({kEgll.lat, kEgll.lon}, true);
    for (int i = 0; i < 4 && g_parkAirportLoaded == 0; ++i) {
      gf_checkForParkAirportUpdates(false);
      gf_setUserStandName(gf_standNameAt(g_engineUserAc.latitude, g_engineUserAc.longitude));
    }
    loads += g_parkAirportLoaded.load();
    user(test::eastNm({kEgll.lat, kEgll.lon}, 25), false, 5000);
    gf_checkForParkAirportUpdates(false);
    gf_setUserStandName(gf_standNameAt(g_engineUserAc.latitude, g_engineUserAc.longitude));
  }
  done = true;
  link.join();
  window.join();
  // Only the latest destination posted counts, so the worker may never have seen an LFPG one; the
  // last post makes sure it did, and the list still holds every airport once.
  gf_requestParkAirportToFront("LFPG", {kLfpg.lat, kLfpg.lon});
  gf_applyParkAirportRequests();

  EXPECT_EQ(loads, kVisits);
  EXPECT_EQ(logCount("is out of sight"), static_cast<std::size_t>(kVisits));
  EXPECT_TRUE(g_stands.empty());
  std::vector<std::string> codes;
  for (const ParkAirport& p : parkAirports()) codes.push_back(p.code);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), "LFPG"), 1);
  EXPECT_EQ(std::count(codes.begin(), codes.end(), "EGLL"), 1);
}

}  // namespace
}  // namespace amb
