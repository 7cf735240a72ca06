#pragma once
// What a pilot sees of the whole-recording replays, and the bounds the suites hold it to: the flight
// check's own, with the most bank of each category from the category table (never the engine's own
// table), and the airborne cross-track against the records (up to each aircraft's last new airborne
// record) no worse than the engine flies it now.

#include "airport_list.hpp"
#include "enginesim/fidelity.hpp"
#include "flightcheck/replay.hpp"
#include "traffic/engine.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iostream>
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

// Prints the four cross-track figures beside their limits and a follower's for reference, and the
// seconds past the last new airborne records, measured apart.
inline void printCrossTrack(const flightcheck::Figures& f, const CrossTrackBounds& limits,
                            const CrossTrackBounds& follower) {
  const auto& x = f.crossTrack;
  std::cout << fmt::format(
      "airborne cross-track p95 up to the last new airborne records (m): all {:.0f}, away from the records' jumps "
      "{:.0f}, low near an airport {:.0f}, above or farther {:.0f} (limits {:.0f} / {:.0f} / {:.0f} / {:.0f}; a "
      "follower {:.0f} / {:.0f} / {:.0f} / {:.0f}); past them {} s, p95 {:.0f} m\n",
      x.all.p95, x.awayFromJumps.p95, x.lowNearAirport.p95, x.aboveOrFarther.p95, limits.all, limits.away, limits.low,
      limits.high, follower.all, follower.away, follower.low, follower.high, f.crossTrackPast.n, f.crossTrackPast.p95);
}

// Every bound holds but those not yet held, whose failures are printed; those of them that hold now
// are named, to be taken off the list.
template <std::size_t N>
void holdBounds(const flightcheck::Figures& f, const flightcheck::Options& options,
                const std::array<flightcheck::Bound, N>& notYetHeld) {
  const auto failed = flightcheck::failedBounds(f, options);
  for (const flightcheck::FailedBound& b : failed) {
    if (std::find(notYetHeld.begin(), notYetHeld.end(), b.bound) != notYetHeld.end()) {
      std::cout << "not yet held (" << flightcheck::boundName(b.bound) << "): " << b.text << "\n";
      continue;
    }
    ADD_FAILURE() << b.text;
  }
  for (flightcheck::Bound bound : notYetHeld)
    if (std::none_of(failed.begin(), failed.end(), [&](const flightcheck::FailedBound& b) { return b.bound == bound; }))
      std::cout << "holds now, and may leave kNotYetHeld: " << flightcheck::boundName(bound) << "\n";
}

}  // namespace amb::test
