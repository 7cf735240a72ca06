#pragma once
// The feed's real habits laid on a recording's lines, for the engine's tests: RealTraffic stamps each
// line when it sends it, not when the position was seen, and repeats a position with fresh stamps for
// 10-60 s before it moves on, often by kilometres. A recording made of clean snapshots shows neither;
// this transform gives chosen streams both, deterministically for a seed:
// - freezes: from a random line on, the stream's lines for 20-60 s repeat the last line before them
//   (position, altitude, speed, track, everything) with their own fresh stamps, at the stream's
//   cadence; after the freeze the stream goes on where the aircraft really is. A stream is frozen
//   again after a random stretch of its own lines;
// - stamps shifted by a random amount within +-jitterSeconds each, the stream's lines kept in their
//   order (each keeps a stamp within the bound of its own).
// Streams not chosen stay as they are. The result is in stamp order, as a recording is.

#include "enginesim/harness.hpp"

#include <cstdint>
#include <set>
#include <vector>

namespace amb::enginesim {

struct HabitOptions {
  std::uint32_t seed = 1;
  // The streams given the habits: these hexids, and besides them a share (0 to 1) of all streams,
  // chosen by the seed.
  std::set<std::uint32_t> hexids;
  double share = 0;
  bool freezes = true;
  double freezeMinSeconds = 20;
  double freezeMaxSeconds = 60;
  // The stretch of the stream's own lines between two freezes (and before the first).
  double betweenMinSeconds = 30;
  double betweenMaxSeconds = 150;
  // 0: no shifted stamps.
  double jitterSeconds = 10;
};

// What the transform did, for a test to say.
struct HabitSummary {
  std::set<std::uint32_t> streams;  // the hexids given the habits
  std::size_t freezes = 0;
  std::size_t frozenLines = 0;      // lines that repeat an earlier one's position
  double longestFreezeSeconds = 0;  // from the last line before a freeze to the first after it
  double largestShiftSeconds = 0;
};

std::vector<RecordedLine> applyHabits(const std::vector<RecordedLine>& lines, const HabitOptions& options,
                                      HabitSummary* summary = nullptr);

// The line with its stamp (field 14) replaced.
RecordedLine restamped(const RecordedLine& line, double timestamp);

}  // namespace amb::enginesim
