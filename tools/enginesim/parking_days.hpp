#pragma once
// Days at airports in virtual time: the program's main loop tick (engine cycle, user reports and the
// periodic steps of the shell) runs against the simulator of the engine harness, with the PC clock
// a manual one that moves 10 ms per cycle. The user aircraft arrives at an airport, stands there
// while recorded traffic replays, and flies away again; the program picks the park airport, learns
// its stands, plans, parks and renews static parking, and writes the learned file when it leaves,
// as it does in the simulator. Each visit starts the program's state afresh (a program start);
// what lasts from one visit to the next is what the program keeps in its folder.
//
// The current folder is the program's folder ("input/airports_p3d.xml", "airports"); the caller
// points the download server (AMBT_SERVER_URL) at the airport files.

#include "core/clock.hpp"
#include "core/geometry.hpp"
#include "enginesim/harness.hpp"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace amb::enginesim {

class ParkingDays {
public:
  // The clock starts at `start` (UTC).
  explicit ParkingDays(clock::SystemTime start, std::uint32_t seed = 20190305);
  ~ParkingDays();
  ParkingDays(const ParkingDays&) = delete;
  ParkingDays& operator=(const ParkingDays&) = delete;

  // A visit begins: the clock jumps to `at`, the program starts afresh and the user aircraft stands
  // on the ground at the position.
  void arrive(clock::SystemTime at, const LatLon& user = {40.6413, -73.7781}, double headingDeg = 31);
  // The recorded lines replay from now on (their timestamps give their spacing).
  void replay(const std::vector<RecordedLine>& lines);
  // Runs the program for the simulated time.
  void run(std::chrono::milliseconds time);
  // Runs until the condition holds, at most for the time; true when it held.
  bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound);
  // The user aircraft takes off and flies away (60 nm north at 20000 ft); runs until the program has
  // left the park airport (at most two minutes). True when it left.
  bool leave();

  // A renewal of static parking is asked for (as the shell does every 20 minutes); its two halves
  // run at the next two 15-second steps.
  void requestRenewal();

  EngineHarness& engine() { return *m_engine; }
  FakeSim& sim() { return m_engine->sim(); }
  clock::ManualClock& time() { return m_clock; }
  std::int32_t reports() const;

private:
  void tick();

  clock::ManualClock m_clock;
  std::uint32_t m_seed;
  std::unique_ptr<EngineHarness> m_engine;
};

}  // namespace amb::enginesim
