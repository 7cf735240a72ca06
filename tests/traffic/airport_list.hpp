#pragma once
// The airport list the program makes from OurAirports' tables around the JFK setting, read once for
// the whole-recording tests: the airports the engine lands arrivals at, and that the flight check
// judges the touchdowns by.

#include "enginesim/harness.hpp"
#include "flightcheck/replay.hpp"
#include "support/test_support.hpp"

#include <vector>

namespace amb::test {

inline const std::vector<flightcheck::Airport>& jfkAirportList() {
  static const std::vector<flightcheck::Airport> airports = [] {
    const enginesim::HarnessOptions options;
    return flightcheck::readAirportList(testData("reference/ourairports-airports-medium-large.csv.gz"),
                                        testData("reference/ourairports-runways.csv.gz"),
                                        {options.userLatitude, options.userLongitude}, options.radiusNm + 10.0);
  }();
  return airports;
}

}  // namespace amb::test
