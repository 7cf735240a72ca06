#include "enginesim/parking_days.hpp"

#include "airports/services.hpp"
#include "app/main_loop.hpp"
#include "app/worker.hpp"
#include "core/geometry.hpp"
#include "feed/readers.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

namespace amb::enginesim {

namespace {

constexpr auto kCycle = std::chrono::milliseconds(10);
constexpr std::int32_t kCyclesPerReport = 100;  // one user-aircraft report a second

}  // namespace

ParkingDays::ParkingDays(clock::SystemTime start, std::uint32_t seed) : m_clock(start), m_seed(seed) {}

ParkingDays::~ParkingDays() {
  m_engine.reset();
  g_simRunning = 0;
  g_userOnGround = 0;
  g_userOnGroundKnown = 0;
  gf_resetRunState();
}

std::int32_t ParkingDays::reports() const { return g_reportCount.load(); }

void ParkingDays::arrive(clock::SystemTime at, const LatLon& user, double headingDeg) {
  m_engine.reset();
  m_clock.set(at);
  HarnessOptions options;
  options.parkAirport = AirportData{};  // the program picks it
  options.userLatitude = user.lat;
  options.userLongitude = user.lon;
  options.userHeadingDeg = headingDeg;
  options.seed = m_seed;
  options.programReader = true;
  options.cycle = [this] { tick(); };
  m_engine = std::make_unique<EngineHarness>(options);
  // The collision rules of a plain start: live aircraft make static ones at their stands give way.
  COLLISION_LIVE_PARKED_GND.value = 1;

  // The start-up of a service run as far as the park airports go.
  gf_resetRunState();
  g_trafficReader.clearSeenCallsigns();
  g_trafficReader.callsignCollection = 0;
  lf_createFolders();
  lf_readAirports();
  lf_readMyParkAirports();
  g_simRunning = 1;
  g_userOnGroundKnown = 1;
  g_userOnGround = 1;
  sim().user.altitude = 13;
  sim().user.altAboveGround = 0;
  g_engineUserAc = sim().user;
  g_weekSlot = gf_weekSlotNow().packed();
  gf_checkForParkAirportUpdates(true);
}

void ParkingDays::replay(const std::vector<RecordedLine>& lines) { m_engine->schedule(lines, m_engine->cycle() + 1); }

void ParkingDays::tick() {
  // The link's data handler marks every simulator second's user-aircraft block as new.
  if (g_engineCycle.load() % kCyclesPerReport == 0) g_newUserData = 1;
  lf_workAMBT();
  m_clock.advance(kCycle);
}

void ParkingDays::run(std::chrono::milliseconds time) {
  m_engine->run(static_cast<std::int32_t>(time / kCycle));
}

bool ParkingDays::runUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
  return m_engine->runUntil(condition, static_cast<std::int32_t>(bound / kCycle));
}

bool ParkingDays::leave() {
  g_userOnGround = 0;
  UserAcBlock& user = sim().user;
  const LatLon away = gf_destinationPoint({user.latitude, user.longitude}, 0, 60 * kFeetPerNm);
  user.latitude = away.lat;
  user.longitude = away.lon;
  user.altitude = 20000;
  user.altAboveGround = 20000;
  user.groundSpeed = 300;
  return runUntil([] { return gf_parkAirportSnapshot().code.empty(); }, std::chrono::minutes(2));
}

void ParkingDays::requestRenewal() { g_parkingRenewalRequest = 1; }

}  // namespace amb::enginesim
