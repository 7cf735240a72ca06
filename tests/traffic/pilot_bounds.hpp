#pragma once
// The bounds the whole-recording suites hold what a pilot sees to: the flight check's own, with the
// most bank of each category from the category table (never the engine's own table), and the
// airborne cross-track against the records at what a follower reaches that flies them banked within
// those limits.

#include "flightcheck/flightcheck.hpp"

namespace amb::test {

// Airborne cross-track p95, metres: in all, away from the records' jumps, low near an airport, above
// or farther.
struct CrossTrackBounds {
  double all, away, low, high;
};

inline flightcheck::Options pilotOptions(const CrossTrackBounds& crossTrack) {
  flightcheck::Options o = flightcheck::categoryOptions();
  o.maxCrossTrackAllP95Metres = crossTrack.all;
  o.maxCrossTrackAwayP95Metres = crossTrack.away;
  o.maxCrossTrackLowP95Metres = crossTrack.low;
  o.maxCrossTrackHighP95Metres = crossTrack.high;
  return o;
}

}  // namespace amb::test
