// Stands in for static parking, which is not built yet: the park airport's file is loaded without a
// plan, nothing is ever parked, and leaving the park airport removes what the engine parked and
// ends the airport (its learned file is saved).

#include "airports/services.hpp"
#include "airports/park_airport.hpp"
#include "airports/park_airports.hpp"
#include "airports/stand_learning.hpp"

#include "core/log.hpp"
#include "liveries/services.hpp"
#include "sim/services.hpp"
#include "traffic/services.hpp"

namespace amb {

std::atomic<std::uint8_t> g_parkingLock{0};
std::int32_t g_maxParkCount = -1;
std::string g_reservedStandName;

namespace {

// The window paints the reserved stand: its copy is guarded.
std::mutex g_standinReservedMutex;

}  // namespace

AirportData gf_parkAirportSnapshot() {
  std::lock_guard lock(g_parkAirportMutex);
  return g_parkAirport;
}

std::string gf_reservedStandName() {
  std::lock_guard lock(g_standinReservedMutex);
  return g_reservedStandName;
}

void gf_setReservedStandName(std::string name) {
  std::lock_guard lock(g_standinReservedMutex);
  g_reservedStandName = std::move(name);
}

std::string lf_readParkedFile() {
  const AirportData park = gf_parkAirportSnapshot();
  if (!gf_loadParkAirport()) return fmt::format("{} {} could not be loaded", "lf_readParkedFile", park.code);
  g_softLearningAllowed = 1;
  if (g_userOnGroundKnown != 0) {
    gf_noteUserStandAtParkAirport(park, gf_standNameAt(g_engineUserAc.latitude, g_engineUserAc.longitude));
  }
  return {};
}

void lf_startStaticParking() { gf_takeLiveCallsigns(); }

void gf_lockParkingControls() { g_parkingLock = 1; }
void gf_unlockParkingControls() { g_parkingLock = 0; }
void gf_adjustParking() { gf_takeLiveCallsigns(); }
bool gf_staticPlanEmpty() { return true; }
std::int32_t gf_countParkedAc(bool) { return 0; }

bool gf_addParkedHalfHours(std::uint64_t& total, WeekSlot now, bool add, const Act& act) {
  if (act.state != ActState::InSim && act.state != ActState::Removing) return false;
  if (add) total += gf_weekHalfHourDiff(now, {act.weekDay, act.halfHourSlot});
  return true;
}

void gf_removeAllParkedAc() {
  gf_removeAllParkedActs();
  lf_endParkAirport();
  std::lock_guard lock(g_parkAirportMutex);
  g_parkAirport = AirportData{};
}

void lf_parkStatic() {}

void gf_removeLiveAcMaxPark(std::uint32_t hexid) {
  for (LiveAc& ac : g_liveAcs)
    if (ac.hexid == hexid && ac.state == ActState::InSim) {
      gf_logf("{:}: {:8} max park exceeded, removed", gf_standName(ac.standId), ac.callsign);
      removeAircraftFromSim(ac);
      return;
    }
}

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
  gf_resetStandLearning();
  gf_resetParkAirports();
  g_maxParkCount = -1;
  gf_clearNoMatchSet();
  std::lock_guard lock(g_standinReservedMutex);
  g_reservedStandName.clear();
}

}  // namespace amb
