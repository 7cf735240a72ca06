#pragma once
// Watching live aircraft on the ground in virtual time: every position block the simulator takes,
// with the aircraft's phase at the time; the checks every consecutive pair of ground blocks must
// pass (no jump beyond the speed, no turn on the spot, no sliding sideways); and a map of the flown
// tracks over the stands and the reported positions, written as SVG into the build folder.

#include "airports/services.hpp"
#include "enginesim/fake_sim.hpp"
#include "enginesim/harness.hpp"
#include "traffic/live_ac.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace amb::enginesim {

struct WatchedBlock {
  std::int32_t cycle = 0;
  AiPosBlock block;
  GroundPhase phase = GroundPhase::New;
  bool onGround = false;  // moves on the ground, or rolls for take-off before lift-off
  double turnPerCycle = 0;  // the category's turn rate, radians
  std::uint32_t standId = 0;
  bool landed = false;  // arrived by landing
  // The speed of the leg flown: the most of the reported speeds at both its ends, the speed their
  // positions and due times imply, and the true airspeed.
  double legSpeedKt = 0;
  // Every buffered position is reported at 0 kt: the leg's pace is whatever its distance and time
  // give (an aircraft drawn toward positions that scatter around where it stands).
  bool reportedStanding = false;
};

class GroundWatch {
public:
  // Follows every block the simulator takes from now on (it replaces the simulator's position hook).
  void attach(FakeSim& sim);
  // Blocks by object id, in order.
  std::map<std::uint32_t, std::vector<WatchedBlock>> blocks;
  std::map<std::uint32_t, std::string> callsigns;  // by object id

private:
  struct Front {
    std::int32_t due = -1;
    double speed = 0;
    double latitude = 0, longitude = 0;
    double legStartSpeed = 0;
    double legImpliedSpeed = 0;
  };
  std::map<std::uint32_t, Front> m_fronts;
};

// What the pair checks found: a pair's description for each fault (empty when none), and the
// numbers the checks looked at.
struct PairReport {
  std::vector<std::string> faults;
  std::size_t pairs = 0;         // consecutive ground pairs checked
  std::size_t movingPairs = 0;   // ... of which the aircraft moved
  double worstSpeedRatio = 0;    // distance against what the speed allows
  double worstSlideDeg = 0;      // direction of motion against the nose (tail when backing)
};

// Every consecutive pair of ground blocks of every watched object:
// - the distance stays within what the leg's speed covers in the cycles between them (the reported
//   speeds at both ends of the leg, the speed their positions and due times imply, and the true
//   airspeed, whichever is most), with room for catching up with a late stream (speedFactor) and 1 cm;
// - no block jumps away from both its neighbours: its distance from the one before is at most
//   speedFactor times that of the pairs before and after it, and 5 cm;
// - standing still (less than 1 mm), the heading does not change;
// - moving at walking pace or more, the direction of motion lies within maxSlideDeg of the nose (of
//   the tail while backing, a negative true airspeed).
PairReport checkGroundPairs(const GroundWatch& watch, double speedFactor = 3.0, double maxSlideDeg = 45.0);

// The map (the main job's map tool): flown ground tracks of the watched objects (every `every`-th
// block; push-backs in their own colour), the reported ground positions of the lines dashed, the
// stands as circles with their names, the runways of OurAirports' runway file (plain or gzip) when
// one is given; only what
// lies within `radiusNm` of the centre. Written to <folder>/<name>.svg; returns the path.
struct MapArea {
  double latitude = 40.639751;  // JFK
  double longitude = -73.778925;
  double radiusNm = 3;
};
std::filesystem::path writeGroundMap(const std::filesystem::path& folder, const std::string& name, const GroundWatch& watch,
                                     const std::map<std::uint32_t, std::vector<RecordedLine>>& lines,
                                     const std::vector<Stand>& stands, int every = 10, const MapArea& area = {},
                                     const std::filesystem::path& runways = {});

}  // namespace amb::enginesim
