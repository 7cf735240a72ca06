#pragma once
// What a pilot sees of the whole-recording replays, and the bounds the suites hold it to: the flight
// check's own, with the most bank of each category from the category table (never the engine's own
// table), and the airborne cross-track against the records at what a follower reaches that flies them
// banked within those limits.

#include "airport_list.hpp"
#include "enginesim/fidelity.hpp"
#include "flightcheck/replay.hpp"
#include "traffic/engine.hpp"

#include <limits>

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
  // The fidelity recorder's own cross-track figure (the distance from the track at each passage) is
  // printed; the four figures against the records, as an independent measure takes them, are the
  // bounds.
  o.maxCrossTrackP95Metres = std::numeric_limits<double>::infinity();
  return o;
}

// What a pilot sees of a replay of the JFK setting, measured once the replay ran: the collector's
// flown tracks against the airport list, with the delay median and the cross-track p95 of the
// fidelity recorder of the same replay.
inline flightcheck::Figures pilotFigures(flightcheck::ReplayCollector& pilot, const enginesim::HarnessOptions& options,
                                         const enginesim::FidelityFigures& fidelity) {
  flightcheck::Input flown = pilot.finish();
  flown.airports = jfkAirportList();
  flown.park = LatLon{options.parkAirport.lat, options.parkAirport.lon};
  flown.user = LatLon{options.userLatitude, options.userLongitude};
  flown.radiusNm = options.radiusNm;
  flightcheck::Figures f = flightcheck::measure(flown, flightcheck::categoryOptions());
  f.delayMedianSeconds = kTrafficDelayCycles / static_cast<double>(kCyclesPerSecond) + fidelity.medianLateSeconds;
  f.crossTrackP95Metres = fidelity.p95CrossTrackMetres;
  return f;
}

}  // namespace amb::test
