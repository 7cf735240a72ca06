// A replay written as the simulator double's trace: what the simulator of the replay did to its
// objects, row by row as the double writes them, read back by the flight check's own trace reader.

#include "enginesim/fake_sim.hpp"
#include "flightcheck/replay.hpp"
#include "tools/tracemap/tracemap.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace amb {
namespace {

// White Plains' field in a world flat at JFK's elevation elsewhere.
constexpr double kHpnLat = 41.067, kHpnLon = -73.7076, kHpnFt = 439;

std::vector<std::vector<std::string>> lf_rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) rows.push_back(tracemap::splitCsvLine(line));
  return rows;
}

// An arrival created at 3000 ft, coming down to White Plains' field and standing on it, and a second
// object that is still there when the trace ends.
TEST(ReplayTrace, WritesTheObjectsAsTheDoubleDoesOnTheEnginesClock) {
  enginesim::FakeSimOptions options;
  options.groundElevation = 13;
  options.fields.push_back({kHpnLat, kHpnLon, kHpnFt, 3});
  options.staticCg = 6.5;
  options.removalDelay = 2;
  enginesim::FakeSim sim(options);
  std::ostringstream out;
  flightcheck::TraceWriter trace(out, sim, 10);
  sim.onCreated = [&](std::int32_t c, const enginesim::SimObject& o) { trace.created(c, o); };
  sim.onPosition = [&](std::int32_t c, const enginesim::SimObject& o, const AiPosBlock& b) { trace.flown(c, o, b); };
  sim.onRemoved = [&](std::int32_t c, const enginesim::SimObject& o) { trace.removed(c, o); };

  CreateRequest arrival;
  arrival.position = {kHpnLat - 0.05, kHpnLon, 3000, -2, 0, 180, 0, 140};
  arrival.callsign = "GALX";
  arrival.title = "Generic GALX, the \"Gulfstream\"";
  arrival.hexid = 531930391;
  sim.queueCreation(arrival);
  CreateRequest other = arrival;
  other.callsign = "N1,X";
  other.title = "Generic C172";
  other.hexid = 531930392;
  sim.queueCreation(other);
  std::int32_t cycle = 200;
  sim.frame(cycle);
  ASSERT_EQ(sim.objects.size(), 2u);
  const std::uint32_t id = sim.objects.begin()->first;
  // Down to the field in 0.3 s steps of the engine, one block a cycle; then it stands there.
  for (int k = 1; k <= 40; ++k) {
    AiPosBlock b{};
    b.latitude = kHpnLat - 0.05 + 0.05 * std::min(k, 30) / 30;
    b.longitude = kHpnLon;
    b.altitude = std::max(kHpnFt + 6.5, 3000.0 - 100.0 * k);
    b.heading = kPi;
    b.bank = k <= 10 ? -5 * kDegToRad : 0;
    sim.updateAircraft({b, id});
    sim.handOverPositions();
    sim.frame(++cycle);
  }
  sim.queueRemoval(id);
  for (int k = 0; k < 3; ++k) sim.frame(++cycle);
  trace.exit(cycle);
  sim.queueRemoval(id + 1);
  for (int k = 0; k < 3; ++k) sim.frame(++cycle);

  const auto rows = lf_rows(out.str());
  ASSERT_GE(rows.size(), 8u);
  EXPECT_EQ(out.str().substr(0, out.str().find('\n')), tracemap::kTraceHeader);
  // Created at 2.00 s with the creation's own position and flag; the detail quoted where it must be.
  EXPECT_EQ(rows[1],
            (std::vector<std::string>{"2.000", std::to_string(id), "created", "41.0170000", "-73.7076000", "3000.0",
                                      "-2.00", "0.00", "180.00", "0", "Generic GALX, the \"Gulfstream\"|GALX"}));
  EXPECT_EQ(rows[2][10], "Generic C172|N1,X");
  // A position row every 10 cycles (0.1 s), in degrees, the bank as the block gives it.
  std::vector<std::vector<std::string>> positions;
  for (const auto& r : rows)
    if (r.size() > 2 && r[2] == "position") positions.push_back(r);
  ASSERT_EQ(positions.size(), 4u);
  EXPECT_EQ(positions[0][0], "2.100");
  EXPECT_EQ(positions[0][7], "-5.00");
  EXPECT_EQ(positions[0][10], "def 402");
  // On the ground where it stands at White Plains' 439 ft plus its CG, not at the 13 ft elsewhere.
  EXPECT_EQ(positions[2][0], "2.300");
  EXPECT_EQ(positions[2][5], "445.5");
  EXPECT_EQ(positions[2][9], "1");
  EXPECT_EQ(positions[1][9], "0");
  // Removed when the simulator's removal is done; the other at the trace's end, and nothing after it.
  EXPECT_EQ(rows[rows.size() - 2][2], "removed");
  EXPECT_EQ(rows[rows.size() - 2][0], "2.430");
  EXPECT_EQ(rows.back()[2], "removed");
  EXPECT_EQ(rows.back()[1], std::to_string(id + 1));
  EXPECT_EQ(rows.back()[0], "2.430");

  // The flight check's reader of a run's trace reads it whole.
  std::istringstream in(out.str());
  const auto tracks = flightcheck::readTrace(in);
  ASSERT_EQ(tracks.size(), 2u);
  EXPECT_EQ(tracks[0].callsign, "GALX");
  EXPECT_EQ(tracks[1].callsign, "N1,X");
  EXPECT_EQ(tracks[0].points.size(), 4u);
  EXPECT_DOUBLE_EQ(tracks[0].removedAt, 2.43);
  EXPECT_TRUE(tracks[0].points.back().onGround);
}

}  // namespace
}  // namespace amb
