// Stands in for the parts of the airports subsystem not built yet: the user's park airports are
// empty, the park airport is the nearest airport with a file and is never left, and static parking
// never starts. Tests may fill g_parkAirport and g_stands by hand; the searches below then work on
// them, and what the engine reports to the stand learning is kept for the tests (airports/standin.hpp).

#include "airports/services.hpp"
#include "airports/park_airport.hpp"
#include "airports/apf_source.hpp"
#include "airports/standin.hpp"
#include "airports/static_parking.hpp"

#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/strings.hpp"
#include "sim/services.hpp"
#include "traffic/services.hpp"

#include <limits>

namespace amb {

std::uint8_t g_softLearningAllowed = 0;

std::vector<ParkAirport> g_parkAirports;
std::mutex g_parkAirportsMutex;

namespace {

// The learning records belong to the engine's thread, like the stands.
std::vector<StandinParkPosition> g_standinParkPositions;
std::vector<std::uint32_t> g_standinSoftParkPositions;

}  // namespace

void gf_standinSetReservedStand(const std::string& name) { gf_setReservedStandName(name); }
std::vector<StandinParkPosition> gf_standinParkPositions() { return g_standinParkPositions; }
std::vector<std::uint32_t> gf_standinSoftParkPositions() { return g_standinSoftParkPositions; }

void lf_writeMyParkAirports() {}

AirportData gf_parkAirportSnapshot() {
  std::lock_guard lock(g_parkAirportMutex);
  return g_parkAirport;
}


bool lf_readMyParkAirports() { return false; }
void gf_parkAirportToFront(const std::string&, std::pair<double, double>) {}
bool gf_checkParkAirports(bool, std::string&) { return false; }
std::optional<std::pair<double, double>> gf_firstParkAirportPosition() { return std::nullopt; }

// Until the park airports are followed, the first airport with a file found near the user aircraft
// becomes the park airport and stays it for the rest of the service run.
void gf_checkForParkAirportUpdates(bool) {
  if (g_parkingLock != 0 && g_staticPlan.empty()) {
    gf_unlockParkingControls();
    gf_clearMessage();
    gf_countParkedAc(true);
    gf_countLiveAtStands(true);
  }
  if (!gf_parkAirportSnapshot().code.empty()) return;
  const UserAcBlock user = gf_userAcSnapshot();
  if (gf_inNullBox(user.latitude, user.longitude)) return;
  const std::optional<AirportData> airport = gf_closestAirport({user.latitude, user.longitude});
  if (!airport || !gf_hasApf(airport->code)) return;
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = *airport;
  }
  const std::string message = lf_readParkedFile();
  if (message.empty()) {
    lf_startStaticParking();
  } else {
    gf_showMessage(message, true);
  }
}

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

void lf_searchForCoupledCsAroundThisTime(const WeekSlot&, AcData&) {}
void gf_resetStandLearning() {
  g_standinParkPositions.clear();
  g_standinSoftParkPositions.clear();
}

}  // namespace amb
