// Stands in for the parts of the airports subsystem not built yet: the user's park airports are
// empty, the park airport is the nearest airport with a file and is never left, and static parking
// never starts. Tests may fill g_parkAirport and g_stands by hand; the searches below then work on
// them, and what the engine reports to the stand learning is kept for the tests (airports/standin.hpp).

#include "airports/services.hpp"
#include "airports/park_airport.hpp"
#include "airports/apf_source.hpp"
#include "airports/standin.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "liveries/services.hpp"
#include "sim/services.hpp"
#include "traffic/services.hpp"

#include <limits>

namespace amb {

std::atomic<std::uint8_t> g_parkingLock{0};
std::int32_t g_maxParkCount = -1;

std::vector<ParkAirport> g_parkAirports;
std::mutex g_parkAirportsMutex;

namespace {

// The window paints the reserved stand: its name is guarded. The learning records belong to the
// engine's thread, like the stands.
std::mutex g_standinReservedMutex;
std::string g_standinReservedStand;
std::vector<StandinParkPosition> g_standinParkPositions;
std::vector<std::uint32_t> g_standinSoftParkPositions;

}  // namespace

void gf_standinSetReservedStand(const std::string& name) {
  std::lock_guard lock(g_standinReservedMutex);
  g_standinReservedStand = name;
}
std::vector<StandinParkPosition> gf_standinParkPositions() { return g_standinParkPositions; }
std::vector<std::uint32_t> gf_standinSoftParkPositions() { return g_standinSoftParkPositions; }

void lf_writeMyParkAirports() {}

AirportData gf_parkAirportSnapshot() {
  std::lock_guard lock(g_parkAirportMutex);
  return g_parkAirport;
}

std::string gf_reservedStandName() {
  std::lock_guard lock(g_standinReservedMutex);
  return g_standinReservedStand;
}


bool lf_readMyParkAirports() { return false; }
void gf_parkAirportToFront(const std::string&, std::pair<double, double>) {}
bool gf_checkParkAirports(bool, std::string&) { return false; }
std::optional<std::pair<double, double>> gf_firstParkAirportPosition() { return std::nullopt; }

// Until the park airports are followed, the first airport with a file found near the user aircraft
// becomes the park airport and stays it for the rest of the service run.
void gf_checkForParkAirportUpdates(bool) {
  if (!gf_parkAirportSnapshot().code.empty()) return;
  const UserAcBlock user = gf_userAcSnapshot();
  if (gf_inNullBox(user.latitude, user.longitude)) return;
  const std::optional<AirportData> airport = gf_closestAirport({user.latitude, user.longitude});
  if (!airport || !gf_hasApf(airport->code)) return;
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = *airport;
  }
  gf_loadParkAirport();
}

void gf_lockParkingControls() {}
void gf_adjustParking() {}
bool gf_staticPlanEmpty() { return true; }
std::uint64_t gf_countParkedAc(bool) { return 0; }
void gf_removeAllParkedAc() {}

std::vector<Stand>::iterator gf_findStandByName(const std::string& name) {
  for (auto it = g_stands.begin(); it != g_stands.end(); ++it)
    if (it->name == name) return it;
  return g_stands.end();
}

std::vector<Stand>::iterator gf_findStandForAct(const AcData&, double latitude, double longitude, double maxNm,
                                                bool) {
  auto best = g_stands.end();
  double bestNm = std::numeric_limits<double>::max();
  for (auto it = g_stands.begin(); it != g_stands.end(); ++it) {
    if (it->occupied != 0) continue;
    const double d = gf_distanceNm({latitude, longitude}, {it->lat, it->lon});
    if (d <= maxNm && d < bestNm) {
      best = it;
      bestNm = d;
    }
  }
  return best;
}

std::string gf_standNameAt(double latitude, double longitude) {
  const Stand* best = nullptr;
  double bestNm = 0.029697624190064796;
  for (const Stand& s : g_stands) {
    const double d = gf_distanceNm({latitude, longitude}, {s.lat, s.lon});
    if (d <= bestNm) {
      best = &s;
      bestNm = d;
    }
  }
  return best != nullptr ? best->name : std::string();
}

bool lf_addRealParkPosOption(std::uint32_t standId, const AcData& aircraft, bool live, const WeekSlot&,
                             bool fromSpawn) {
  if (gf_findStandByName(gf_standName(standId)) == g_stands.end()) return false;
  g_standinParkPositions.push_back({standId, aircraft.hexid, live, fromSpawn});
  return true;
}

void lf_learnSoftParkPos(const Act& aircraft, bool) { g_standinSoftParkPositions.push_back(aircraft.hexid); }
void lf_parkStatic() {}

void gf_removeLiveAcMaxPark(std::uint32_t hexid) {
  for (LiveAc& ac : g_liveAcs)
    if (ac.hexid == hexid && ac.state == ActState::InSim) {
      gf_logf("{:}: {:8} max park exceeded, removed", gf_standName(ac.standId), ac.callsign);
      removeAircraftFromSim(ac);
      return;
    }
}

void lf_searchForCoupledCsAroundThisTime(const WeekSlot&, AcData&) {}
void gf_removeStaticForCollision(const AcData&, double, double) {}

void gf_resetParkState() {
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = AirportData{};
  }
  g_parkAirportLoaded = 0;
  g_parkingLock = 0;
  g_stands.clear();
  gf_resetParkAirportFile();
  g_maxParkCount = -1;
  gf_standinSetReservedStand({});
  g_standinParkPositions.clear();
  g_standinSoftParkPositions.clear();
  gf_clearNoMatchSet();
}

}  // namespace amb
