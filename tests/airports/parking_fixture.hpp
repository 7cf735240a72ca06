#pragma once
// Shared by the stand-learning and park-airport tests: the park state back at its start, an airport
// list to pick from, positions a given distance from another, and aircraft to learn from.

#include "airports/park_airport.hpp"
#include "airports/park_airports.hpp"
#include "airports/stand_learning.hpp"
#include "airports_fixture.hpp"
#include "core/clock.hpp"
#include "core/geometry.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "feed/services.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <algorithm>
#include <memory>

namespace amb::test {

// Monday 1 January 2024, 00:00:00 UTC.
inline constexpr long long kMonday = 1704067200;
// The unix time of a weekday (1 Monday) and half hour of that week, ten minutes into the half hour.
inline long long timeOf(std::uint32_t weekday, std::uint32_t halfHour) {
  return kMonday + (weekday - 1) * 86400LL + halfHour * 1800LL + 600;
}

// The position the given metres north of another (one arc-minute of latitude is one nm).
inline LatLon north(const LatLon& from, double metres) { return {from.lat + metres / 1852.0 / 60.0, from.lon}; }
inline LatLon eastNm(const LatLon& from, double nm) { return gf_destinationPoint(from, kPi / 2, nm * kFeetPerNm); }

class ParkingTest : public AirportsTest {
protected:
  void SetUp() override {
    AirportsTest::SetUp();
    resetAll();
    std::filesystem::create_directories(path("airports/my_thirdparty"));
    std::filesystem::create_directories(path("airports/my_ORBX"));
    m_clock = std::make_unique<clock::ManualClock>(timeOf(1, 20));
  }
  void TearDown() override {
    m_clock.reset();
    resetAll();
    AirportsTest::TearDown();
  }
  static void resetAll() {
    gf_resetParkState();
    gf_resetAirportList();
    g_mainWindow.reset();
    g_engineUserAc = UserAcBlock{};
    g_userOnGround = 0;
    g_userOnGroundKnown = 0;
    g_trafficReader.callsignCollection = 0;
    g_trafficReader.clearSeenCallsigns();
    for (BoolOption* o : {static_cast<BoolOption*>(&LEARN_SOFT), static_cast<BoolOption*>(&WEEK)})
      o->value = o->defaultValue;
    for (IntOption* o : {static_cast<IntOption*>(&AIRPORT_RANGE), static_cast<IntOption*>(&AIRPORT_HEIGHT),
                         static_cast<IntOption*>(&parking_percentage)})
      o->value = o->defaultValue;
    DESTINATION.setValue({});
    gf_setRandomOn(false);
  }
  // The airport list, sorted by code as its reader leaves it.
  static void airports(std::vector<AirportData> list) {
    std::sort(list.begin(), list.end(), [](const AirportData& a, const AirportData& b) { return a.code < b.code; });
    gf_setAirportList(std::move(list));
    g_airportsRead = 1;
  }
  static void setPark(const AirportData& airport) {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = airport;
  }
  static std::vector<ParkAirport> parkAirports() {
    std::lock_guard lock(g_parkAirportsMutex);
    return g_parkAirports;
  }
  static std::vector<std::string> parkCodes() {
    std::vector<std::string> codes;
    for (const ParkAirport& p : parkAirports()) codes.push_back(p.code + (p.reservedStand.empty() ? "" : "," + p.reservedStand));
    return codes;
  }
  // The user aircraft as the engine cycle copied it.
  static void user(const LatLon& at, bool onGround, double aboveGroundFt = 0) {
    g_engineUserAc.latitude = at.lat;
    g_engineUserAc.longitude = at.lon;
    g_engineUserAc.altAboveGround = aboveGroundFt;
    g_userOnGround = onGround ? 1 : 0;
    g_userOnGroundKnown = 1;
  }
  static std::string message() { return gf_messageLineSnapshot().message; }
  std::size_t logCount(const std::string& text) const {
    const auto lines = logLines();
    return static_cast<std::size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }
  void at(std::uint32_t weekday, std::uint32_t halfHour) { m_clock->set(clock::SystemTime(std::chrono::seconds(timeOf(weekday, halfHour)))); }

  std::unique_ptr<clock::ManualClock> m_clock;
};

// An airliner of the given half wing span (nm).
inline AcData airliner(std::uint32_t hexid, const std::string& callsign, const std::string& registration,
                       double halfSpanNm = 0.01) {
  AcData ac;
  ac.airline = "DAL";
  ac.model = "B738";
  ac.callsign = callsign;
  ac.registration = registration;
  ac.hexid = hexid;
  ac.category = Large;
  ac.halfWingspan = halfSpanNm;
  return ac;
}

}  // namespace amb::test
