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
//
// A hostile feed (applyHostile), as one of many sources behaves, on other chosen streams:
// - each line reaches the program 0-lateMaxSeconds after its stamp (RecordedLine::arrival), so
//   that the lines of different streams, and a stream's with the copies below, arrive out of their
//   stamps' order;
// - every copyMinSeconds-copyMaxSeconds a copy of the stream's line whose stamp is staleSeconds back
//   (the latest no later) is sent again among the fresh ones, by turns with its old stamp and
//   stamped when sent (a second source that restamps what it passes on), late as the others;
// - one address is given a second sender: the lines of another stream in the air at the same time,
//   relabelled with the address's hexid and callsign, interleaved with its own by time.
// Deterministic for a seed; the result is in the order the lines arrive.

#include "enginesim/harness.hpp"

#include <cstdint>
#include <set>
#include <string>
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

struct HostileOptions {
  std::uint32_t seed = 1;
  // The streams whose lines arrive late, with stale copies among them.
  std::set<std::uint32_t> hexids;
  double lateMaxSeconds = 4;
  double staleSeconds = 20;
  double copyMinSeconds = 10;
  double copyMaxSeconds = 30;
  // The address given a second sender, and the stream whose lines that sender sends (0: none).
  std::uint32_t address = 0;
  std::uint32_t secondSender = 0;
};

struct HostileSummary {
  std::set<std::uint32_t> streams;  // given late lines and copies
  std::size_t lateLines = 0;        // arriving after their stamp (or, a copy, after it was sent)
  double latestSeconds = 0;         // the most a line of the stream's own arrives after its stamp
  std::size_t outOfOrder = 0;       // arriving after a line stamped later
  std::size_t outOfOrderInStream = 0;  // ... of the same stream
  std::size_t copies = 0;
  std::size_t restampedCopies = 0;
  std::size_t relabelled = 0;  // lines of the second sender
};

std::vector<RecordedLine> applyHostile(const std::vector<RecordedLine>& lines, const HostileOptions& options,
                                       HostileSummary* summary = nullptr);

// The line with its stamp (field 14) replaced.
RecordedLine restamped(const RecordedLine& line, double timestamp);
// The line with its hexid (field 1) and callsign (field 9) another aircraft's.
RecordedLine relabelled(const RecordedLine& line, std::uint32_t hexid, const std::string& callsign);

}  // namespace amb::enginesim
