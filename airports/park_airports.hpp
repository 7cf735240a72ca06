#pragma once
// The user's park airports inside the airports subsystem: the steps of reading and writing
// "my_park_airports.txt" and of the periodic check. What other subsystems call is in
// airports/services.hpp.

#include "airports/services.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace amb {

// A park airport has been chosen and waits to be loaded at the next check.
extern std::uint8_t g_parkAirportLoadRequested;

// One read of the list: the airports in their order, the codes seen, and its faults. Each line costs
// two look-ups (the airport list by code, the codes seen), however long the file. The first
// kLoggedParkAirportFaults faults are logged, the file's text in them escaped and cut short, the
// others only counted; finish() logs how many were left out. A damaged or hostile file thus costs a
// few lines of log at every read, not its own size.
inline constexpr std::size_t kLoggedParkAirportFaults = 20;
class ParkAirportsRead {
public:
  ParkAirportsRead();  // indexes g_airports, which must not change during the read

  std::vector<ParkAirport> list;
  std::unordered_set<std::string> seen;
  bool result = true;  // false once a line named an unknown airport or the read failed

  // The airport of the list with the code, as gf_findAirport finds it; null when none.
  const AirportData* find(const std::string& code) const;
  void add(ParkAirport airport);  // unless its code was seen
  void fault(const std::string& text);
  void finish();

private:
  std::unordered_map<std::string_view, const AirportData*> m_airports;
  std::size_t m_faults = 0;
};

// One line of the file: appends its airport to the read; an unknown airport makes its result false
// (the first one is shown on the message line).
void lf_parseMyParkAirportsLine(const std::string& line, ParkAirportsRead& read);
// Appends the airports of the files in the my_thirdparty folder that the read does not hold yet.
void lf_addThirdPartyParkAirports(ParkAirportsRead& read);
bool lf_isInParkAirports(const std::string& code);
// The line of the first park airport: rewritten as "code,stand" when it is that airport's line.
bool lf_updateMyParkAirportLine(std::string& line, const ParkAirport& first);
// Makes the airport of the list the park airport; false when the airport list does not know it.
bool lf_setParkAirport(const std::string& code);
// Locks the parking controls and starts the traffic reader's collection of live callsigns.
void lf_prepareStaticParking(bool show);
void lf_pickParkAirport(const LatLon& position, bool show);
void lf_checkParkAirportInSight(const LatLon& position);
// The stand the user aircraft stood on at the start of a new flight becomes the first park
// airport's reserved stand when that is the park airport.
void gf_reserveUserStand(const LatLon& position);

// Back to start values: no park airports, nothing requested, no failed airport remembered.
void gf_resetParkAirports();

}  // namespace amb
