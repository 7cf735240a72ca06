#pragma once
// Traffic lines: one RealTraffic datagram of comma-separated fields becomes one TrafficRecord in the
// queue of pending records, which the engine takes from once per cycle. Everything that fails a
// check is dropped here without a log line.

#include "core/geometry.hpp"
#include "feed/traffic_queue.hpp"

#include <cstdint>
#include <mutex>
#include <optional>

namespace amb {

class TrafficReader;

extern TrafficQueue g_trafficQueue;
extern std::mutex g_trafficQueueMutex;

// A record's situation is due this many engine cycles after it was queued (30 s).
inline constexpr std::int32_t kTrafficDelayCycles = 3000;

// Why a line was not queued. processLine itself reports nothing; tests and the benchmark ask
// processLineFor.
enum class LineResult {
  Queued,
  QueueClosed,   // every check passed, but the main loop does not take records now
  TooFewFields,
  BadTimestamp,
  ImplausibleTime,  // far from the feed's clock (see FeedClock)
  NoRegistration,  // no registration and the flag field is "F"
  BadPosition,
  NullIsland,
  OutOfRadius,
  NoCategory,
  ExcludedCategory,
  ExcludedModel,
  BadTrack,
  BadHexid,
  BadSpeed,
  BadAltitude,
  AboveParkAirport,
  BlockedCallsign,
  Anonymous,  // neither registration nor callsign
  GroundAwayFromPark,
  BadHeading,
  BadVerticalSpeed,
  BadBank,
  BadAirspeed,
  Failed,  // an unexpected exception, logged
};

// Plausibility limits: altitudes outside these feet and ground speeds outside these knots are no
// aircraft's (broken or hostile senders).
inline constexpr double kLowestAltitudeFt = -1500;
inline constexpr double kHighestAltitudeFt = 60000;
inline constexpr double kFastestGroundSpeedKt = 1000;

// The elevation in feet a reported altitude at this position is judged against, where it is near
// the ground: the park airport's (parkFt, when known) near the park airport and away from every
// airport of the list; near another airport of the list, that airport's. -1000 where neither is
// known.
double gf_groundReferenceFt(const LatLon& at, std::optional<double> parkFt);

// Checks and converts the fields in reader.fieldViews; queues the record when every check passes.
void processLine(TrafficReader& reader);
LineResult processLineFor(TrafficReader& reader);

// Parses one traffic line as the reader's datagram handler would (without the " VEH" test) into the
// reader's field views. For tests and benchmarks.
void gf_splitTrafficLine(TrafficReader& reader, std::string_view line);

// Empties the queue.
void gf_resetTrafficQueue();

}  // namespace amb
