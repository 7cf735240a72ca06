#pragma once
// A quiet engine in virtual time for the engine's unit tests: the real data base of the recorded
// traffic, a simulator behind the engine's port, traffic lines built to order.

#include "core/geometry.hpp"
#include "enginesim/harness.hpp"
#include "feed/readers.hpp"
#include "feed/traffic_line.hpp"
#include "state/run_state.hpp"
#include "support/test_support.hpp"
#include "traffic/engine.hpp"
#include "traffic/air.hpp"
#include "traffic/ground.hpp"
#include "traffic/step.hpp"
#include "traffic/spawn.hpp"
#include "traffic/stands.hpp"
#include "traffic/identity.hpp"
#include "traffic/results.hpp"
#include "traffic/removals.hpp"
#include "traffic/flight_plan.hpp"
#include "traffic/report_checks.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace amb::test {

// One traffic line as RealTraffic sends it.
struct Line {
  std::uint32_t hexid = 11000001;
  double lat = 40.70;
  double lon = -73.90;
  double alt = 5000;  // feet; 0 on the ground
  double vs = 0;      // feet per minute
  double track = 90;  // degrees
  double gs = 250;    // knots
  std::string callsign = "DAL100";
  std::string type = "A321";
  std::string reg = "N100DN";
  std::string origin = "LGA";
  std::string destination = "MIA";
  double timestamp = 1551821332.0;
  std::string category = "A3";

  std::string text() const {
    std::string t = fmt::format(
        "RTTFC,{},{:.6f},{:.6f},{:.0f},{:.0f},{},{:.0f},{:.0f},{},{},{},{},{},{:.2f},X2,,adsb_icao,", hexid, lat, lon,
        alt, vs, alt == 0 ? 1 : 0, track, gs, callsign, type, reg, origin, destination, timestamp);
    t +=
        fmt::format("{:.0f},-1,-1,-1,-1,-1,-1,-1,{:.0f},none,{},-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,", alt, vs, category);
    return t;
  }
  // The same aircraft d seconds later, moved along its track at its ground speed.
  Line after(double seconds) const {
    Line l = *this;
    const LatLon to = gf_destinationPoint({lat, lon}, track * kDegToRad, gs * seconds / 3600.0 * kFeetPerNm);
    l.lat = to.lat;
    l.lon = to.lon;
    l.alt = alt == 0 ? 0 : std::max(0.0, alt + vs * seconds / 60.0);
    l.timestamp = timestamp + seconds;
    return l;
  }
};

class EngineTest : public ::testing::Test {
protected:
  void SetUp() override {
    enginesim::loadDataBase(testData("reference/faa-aircraft-characteristics.csv.gz"),
                            testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    m_folder = std::make_unique<TempDir>("engine");
    enginesim::HarnessOptions options = harnessOptions();
    options.programFolder = m_folder->path();
    m_harness = std::make_unique<enginesim::EngineHarness>(options);
  }
  virtual enginesim::HarnessOptions harnessOptions() const { return {}; }

  enginesim::EngineHarness& harness() { return *m_harness; }
  enginesim::FakeSim& sim() { return m_harness->sim(); }
  void run(std::int32_t cycles) { m_harness->run(cycles); }
  std::int32_t cycle() const { return g_engineCycle.load(); }

  // Hands the line to the feed now; true when the feed queued it.
  bool feed(const Line& line) {
    m_text = line.text();  // the reader's fields are views into it
    gf_splitTrafficLine(m_reader, m_text);
    m_reader.setUserPosition(40.6413, -73.7781);
    return processLineFor(m_reader) == LineResult::Queued;
  }
  // Feeds a line every `every` seconds for `count` lines, running the engine in between.
  Line feedTrack(Line line, int count, double every = 10) {
    for (int i = 0; i < count; ++i) {
      feed(line);
      run(static_cast<std::int32_t>(every * 100));
      if (i + 1 < count) line = line.after(every);
    }
    return line;
  }

  // A live aircraft made by hand, not yet in the simulator.
  LiveAc& addLive(std::uint32_t hexid, const std::string& model, const Situation& first,
                  const std::string& callsign = "TST1") {
    AcIdentity id;
    id.model = model;
    id.callsign = callsign;
    id.secondCallsign = callsign;
    id.airline = "TST";
    AcData data(id);
    data.hexid = hexid;
    lf_setLiveValues(data);
    g_liveAcs.emplace_back(first, std::move(data), 0.0);
    return g_liveAcs.back();
  }
  // ... and one in the simulator with the object id, flying from the situation.
  LiveAc& addInSim(std::uint32_t hexid, std::uint32_t objectId, const Situation& at, const std::string& model = "A321",
                   const std::string& callsign = "TST1") {
    LiveAc& ac = addLive(hexid, model, at, callsign);
    ac.state = ActState::InSim;
    ac.objectId = objectId;
    ac.position.latitude = at.latitude;
    ac.position.longitude = at.longitude;
    ac.position.altitude = at.altitude;
    ac.setPhase(at.airborne != 0 ? GroundPhase::Airborne : GroundPhase::Taxi);
    ac.movesOnGround = at.airborne != 0 ? 0 : 1;
    return ac;
  }
  static Situation situation(double lat, double lon, double alt, double speed, std::int32_t due, bool airborne = true) {
    return {.latitude = lat, .longitude = lon, .altitude = alt, .speed = speed, .trueAirspeed = speed, .due = due,
            .airborne = static_cast<std::uint8_t>(airborne ? 1 : 0)};
  }

  TrafficReader m_reader;
  std::string m_text;
  std::unique_ptr<TempDir> m_folder;  // outlives the harness
  std::unique_ptr<enginesim::EngineHarness> m_harness;
};

}  // namespace amb::test
