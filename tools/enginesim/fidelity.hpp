#pragma once
// How closely, in space and in time, the AI objects of a replay follow the positions the feed
// reported. It keeps every reported position as the feed queued it (with the cycle it was queued)
// and the flown track of every object (one point in `sampleEvery` cycles, interpolated between), and
// reduces them to a handful of figures:
// - lateness: for every airborne reported position, when the object passed closest to it, less its
//   due cycle (queued plus the engine's delay); the median, in seconds;
// - the fitted delay: the delay behind the reported positions at which the flown track lies
//   closest to them (the median distance is least);
// - the distance between the object at a position's due cycle and that position (median, 95th
//   percentile);
// - the airborne cross-track distance: from the flown track to the polyline of reported positions
//   (95th percentile), while the object flies its reported stream (not across a silence of the feed
//   of more than a minute, nor a minute of its repeats of one position, when it flies synthetic
//   legs).

#include "records/blocks.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace amb::enginesim {

struct FidelityOptions {
  std::int32_t delayCycles = 3000;   // the engine's delay: a position is due this long after it was queued
  std::int32_t sampleEvery = 10;     // cycles between the kept points of a flown track
  std::int32_t searchCycles = 4000;  // the closest approach is looked for this far either side of the due cycle
  double nearMetres = 500;           // a closest approach farther than this does not count as passing
  double groundElevationFt = 13;     // blocks less than 100 ft above it count as on the ground
};

struct FidelityFigures {
  std::size_t positions = 0;  // airborne reported positions passed within nearMetres
  double medianLateSeconds = 0;
  double meanLateSeconds = 0;
  double fittedDelaySeconds = 0;
  std::size_t atDue = 0;  // airborne reported positions the objects flew at their due cycle
  double medianDistanceAtDueMetres = 0;
  double p95DistanceAtDueMetres = 0;
  std::size_t crossTrackPoints = 0;
  double medianCrossTrackMetres = 0;
  double p95CrossTrackMetres = 0;
};

class FidelityRecorder {
public:
  explicit FidelityRecorder(FidelityOptions options = {});

  // A position the feed queued for an aircraft in cycle `queued`.
  void reported(std::uint32_t hexid, std::int32_t queued, double latitude, double longitude, bool airborne);
  // A position block that reached an object in `cycle`.
  void flown(std::int32_t cycle, std::uint32_t objectId, std::uint32_t hexid, const AiPosBlock& block);

  FidelityFigures figures() const;
  // The figures as lines of text, for a person.
  static std::string describe(const FidelityFigures& f);

private:
  struct Reported {
    std::int32_t queued;
    double latitude, longitude;
    bool airborne;
  };
  struct Point {
    std::int32_t cycle;
    double latitude, longitude;
    float altitude;
  };
  struct Track {
    std::uint32_t hexid = 0;
    std::vector<Point> points;
  };
  // The object of a hexid that flew in cycle c, with its points; nullptr when none.
  const Track* trackAt(std::uint32_t hexid, std::int32_t cycle) const;
  // The object's position at cycle c, interpolated; false outside its track.
  static bool positionAt(const Track& t, std::int32_t cycle, double& latitude, double& longitude);
  // The cycle (with its fraction) at which the track passes closest to a point within [from, to], and
  // the distance then.
  static bool closestApproach(const Track& t, std::int32_t from, std::int32_t to, double latitude, double longitude,
                              double& cycle, double& metres);

  FidelityOptions m_options;
  std::map<std::uint32_t, std::vector<Reported>> m_reported;
  std::map<std::uint32_t, Track> m_tracks;                            // by object id
  std::map<std::uint32_t, std::vector<std::uint32_t>> m_objectsOfHexid;  // in order of creation
};

}  // namespace amb::enginesim
