#pragma once
// What the flight check measures, collected from a virtual-time replay of a recording through the
// feed and the engine (tools/enginesim): every position the feed queued, which of them the engine's
// buffers took, and every simulator object's flown track. A harness's replay may feed other
// observers too: its owner calls queued() and flown() from its own callbacks.

#include "enginesim/harness.hpp"
#include "flightcheck/flightcheck.hpp"

#include <cstdint>
#include <map>
#include <vector>

namespace amb::flightcheck {

class ReplayCollector {
public:
  // A flown point every `every` cycles; a point at `groundFt` + `cgFt` + 0.5 ft or lower stands on
  // the ground. The lines give each aircraft its callsign and highest reported ground speed.
  ReplayCollector(enginesim::EngineHarness& harness, const std::vector<enginesim::RecordedLine>& lines,
                  std::int32_t every, double groundFt, double cgFt);

  // The harness's onQueued: the position is the aircraft's reported one (its buffer is followed).
  void queued(const enginesim::RecordedLine& line, const Situation& s);
  // The simulator's onPosition.
  void flown(std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b);
  // After the replay: the input of measure(), each position marked taken or dropped (unknown where
  // no object of its aircraft flew at its due time, see keepDropsOfFlownAircraft).
  Input finish();

private:
  struct Due {
    std::int32_t due;
    std::size_t index;
  };
  enginesim::EngineHarness& m_harness;
  std::int32_t m_every;
  double m_groundFt;
  double m_cgFt;
  Input m_input;
  std::map<std::uint32_t, FlownTrack> m_tracks;
  std::map<std::uint32_t, std::vector<Due>> m_dues;
};

// Every recorded line's callsign and highest ground speed, by hexid.
void recordedIdentities(const std::vector<enginesim::RecordedLine>& lines, std::map<std::uint32_t, ReportedAircraft>& out);

// A position the feed queued, on the reported clock `t`.
Reported reportedOf(double t, const Situation& s);

}  // namespace amb::flightcheck
