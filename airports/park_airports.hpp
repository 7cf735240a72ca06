#pragma once
// The user's park airports inside the airports subsystem: the steps of reading and writing
// "my_park_airports.txt" and of the periodic check. What other subsystems call is in
// airports/services.hpp.

#include "airports/services.hpp"

#include <cstdint>
#include <string>

namespace amb {

// A park airport has been chosen and waits to be loaded at the next check.
extern std::uint8_t g_parkAirportLoadRequested;

// One line of the file: appends its airport to g_parkAirports; an unknown airport makes result false.
void lf_parseMyParkAirportsLine(const std::string& line, bool& result);
// Appends the airports of the files in the my_thirdparty folder that the list does not hold yet.
void lf_addThirdPartyParkAirports();
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
