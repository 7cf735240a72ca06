#pragma once
// What the flight check measures, collected from a virtual-time replay of a recording through the
// feed and the engine (tools/enginesim): every position the feed queued, which of them the engine's
// buffers took, and every simulator object's flown track. A harness's replay may feed other
// observers too: its owner calls queued() and flown() from its own callbacks.

#include "core/airport_data.hpp"
#include "enginesim/harness.hpp"
#include "flightcheck/flightcheck.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
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
  // no object of its aircraft flew at its due time, see keepDropsOfFlownAircraft), each track with
  // the category of its live aircraft and when its object was created and removed; the field where
  // the airport list is empty is the ground the collector was given.
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

// Writes a replay's objects as the simulator double writes its trace, so that what reads a demo's
// trace reads a replay too: a "created" row when the simulator makes an object (its initial position,
// "TITLE|CALLSIGN"), a "position" row every `every` cycles of the blocks it flies, a "removed" row when
// its removal is done. The time is the engine's clock (cycles / 100); an object stands on the ground
// as the simulator judges it (no higher than its ground, the field under it, plus its static CG and
// half a foot). exit() ends the trace as the program's exit ends a run: every object still there is
// removed, and nothing is written after it.
class TraceWriter {
public:
  TraceWriter(std::ostream& out, const enginesim::FakeSim& sim, std::int32_t every);
  // The simulator's onCreated, onPosition and onRemoved.
  void created(std::int32_t cycle, const enginesim::SimObject& o);
  void flown(std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b);
  void removed(std::int32_t cycle, const enginesim::SimObject& o);
  void exit(std::int32_t cycle);

private:
  void write(std::int32_t cycle, const enginesim::SimObject& o, const char* what, const AiPosBlock& b,
             bool onGround, const std::string& detail);
  std::ostream& m_out;
  const enginesim::FakeSim& m_sim;
  std::int32_t m_every;
  bool m_ended = false;
};

// Every recorded line's callsign, highest ground speed and the line itself (on the clock of the
// first line; each aircraft's in the order of their stamps), by hexid; the category its type gives
// (the aircraft data base must be loaded).
void recordedIdentities(const std::vector<enginesim::RecordedLine>& lines, std::map<std::uint32_t, ReportedAircraft>& out);

// The airports of the program's airport list (made from OurAirports' airport and runway tables, as
// the build makes it) within withinNm of a position, each with its open runways.
std::vector<Airport> readAirportList(const std::filesystem::path& airportsCsv, const std::filesystem::path& runwaysCsv,
                                     const LatLon& centre, double withinNm);

// The airports of such a list as the engine's airport list holds them (code, position, elevation).
std::vector<AirportData> engineAirports(const std::vector<Airport>& airports);

// A position the feed queued, on the reported clock `t`.
Reported reportedOf(double t, const Situation& s);

}  // namespace amb::flightcheck
