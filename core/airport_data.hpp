#pragma once
// One airport of the airport list; the same type holds the current park airport.

#include <string>

namespace amb {

struct AirportData {
  std::string code;  // ICAO code, the key of the list
  std::string iata;  // empty when none
  double lat = 0.0;  // degrees, north positive
  double lon = 0.0;  // degrees, east positive
  double alt = 0.0;  // feet
};

}  // namespace amb
