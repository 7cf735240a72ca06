// The whole JFK recording through the real feed and engine in virtual time, against a simulator that
// answers at the engine's queue boundary: how the AI objects follow the reported tracks.

#include "airport_list.hpp"
#include "pilot_bounds.hpp"
#include "core/files.hpp"
#include "core/geometry.hpp"
#include "enginesim/fidelity.hpp"
#include "enginesim/flight_watch.hpp"
#include "enginesim/harness.hpp"
#include "enginesim/liveries.hpp"
#include "feed/traffic_line.hpp"
#include "flightcheck/replay.hpp"
#include "settings/options.hpp"
#include "support/test_support.hpp"
#include "traffic/engine.hpp"
#include "traffic/flight_plan.hpp"

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <tuple>
#include <unordered_map>

namespace amb {
namespace {

using enginesim::EngineHarness;

constexpr std::uint32_t kCruise = 531933504;      // DAL2171 A321, LGA to MIA at 12000 ft, leaves the radius
constexpr std::uint32_t kArrival = 531906288;     // JBU766 A320, descends from 13375 ft and lands at JFK
constexpr std::uint32_t kRegional = 531912503;    // EDV5367 CRJ9, arrives at JFK
constexpr std::uint32_t kEndsInside = 531920403;  // DAL1439, its stream ends at 1175 ft inside the radius
constexpr std::uint32_t kHeavy = 531911162;       // AAL2423 B763, arrives at JFK

const std::vector<std::uint32_t> kFollowed{kCruise, kArrival, kRegional, kEndsInside, kHeavy};
// The most bank of each category (Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft) as the category
// table gives it, not as the engine's own table has it.
constexpr std::array<double, 6> kMaxBankDeg = flightcheck::kCategoryBankDeg;

// The bounds of what a pilot sees that the engine does not meet yet on this recording: each is
// measured and printed all the same. Take a bound off this list once the engine holds it; from then
// on the test holds the engine to it.
constexpr std::array kNotYetHeld{
    flightcheck::Bound::TouchdownTime, flightcheck::Bound::TouchdownPlace,      flightcheck::Bound::TurnRound,
    flightcheck::Bound::SlowPace,      flightcheck::Bound::RemovedAloftLive,    flightcheck::Bound::Overspeed,
    flightcheck::Bound::RemovedNotRecreated, flightcheck::Bound::CrossTrackAll, flightcheck::Bound::CrossTrackHigh,
};

// The airborne cross-track against the records over each aircraft's seconds up to its last new
// airborne record, p95 in metres (all, away from the records' jumps, low near an airport, above or
// farther), as the engine flies them now: limits not to exceed. This suite measures 175 / 62 / 631 /
// 94 m; the independent fidelity tool, over the spans its follower flew, 171 / 64 / 643 / 91 m.
constexpr test::CrossTrackBounds kCrossTrackLimits{180, 70, 660, 100};
// What a follower reaches that flies each aircraft's records over the span its object flew them,
// banked within the category table's limits, its turns begun no earlier than the records 30 s ahead
// show them; it knows every record of a stream, which the engine cannot: printed for reference, not
// a bound. Measured on the replay's trace with scripts/fidelity-replay.sh build --follower ("bank
// cat").
constexpr test::CrossTrackBounds kFollowerReference{182, 136, 211, 174};

struct Block {
  std::int32_t cycle;
  AiPosBlock block;
};

// The field: JFK's elevation, which the simulator's flat ground has too, and the simulator's CG height.
constexpr double kField = 13.0;
constexpr double kCg = 10.0;

// Metres between two positions on a local plane, and from a point to a segment.
struct Local {
  double north, east;
};
Local lf_local(double lat0, double lon0, double lat, double lon) {
  constexpr double m = 111132.95;
  return {(lat - lat0) * m, (lon - lon0) * m * std::cos(lat0 * kDegToRad)};
}
double lf_segmentDistance(Local p, Local a, Local b) {
  const double dn = b.north - a.north, de = b.east - a.east, len2 = dn * dn + de * de;
  const double t = len2 > 0 ? std::clamp(((p.north - a.north) * dn + (p.east - a.east) * de) / len2, 0.0, 1.0) : 0;
  return std::hypot(a.north + t * dn - p.north, a.east + t * de - p.east);
}
// From a point to a triangle: 0 inside it.
double lf_triangleDistance(Local p, Local a, Local b, Local c) {
  const auto side = [&](Local u, Local v) { return (v.north - u.north) * (p.east - u.east) - (v.east - u.east) * (p.north - u.north); };
  const double s1 = side(a, b), s2 = side(b, c), s3 = side(c, a);
  if ((s1 >= 0 && s2 >= 0 && s3 >= 0) || (s1 <= 0 && s2 <= 0 && s3 <= 0)) return 0;
  return std::min({lf_segmentDistance(p, a, b), lf_segmentDistance(p, b, c), lf_segmentDistance(p, c, a)});
}

class JfkReplay : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                            test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    s_folder = std::make_unique<test::TempDir>("engine-replay");
    enginesim::HarnessOptions options;
    options.programFolder = s_folder->path();
    options.airports = flightcheck::engineAirports(test::jfkAirportList());
    s_fields = options.airports;
    s_fields.push_back(options.parkAirport);
    options.cycle = [] {
      gf_updateAI();
      s_flights.observe();
    };
    s_harness = std::make_unique<EngineHarness>(options);
    EngineHarness& h = *s_harness;
    s_flights.sim = &h.sim();
    for (std::uint32_t hexid : kFollowed) h.follow(hexid);
    std::unordered_map<std::uint32_t, int> categories;
    s_fidelity = std::make_unique<enginesim::FidelityRecorder>();
    const auto lines = enginesim::readRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    // The feed's emitter category of rotorcraft, whatever type the data base makes of them.
    for (const auto& line : lines)
      if (enginesim::lineField(line.text, 28) == "A7") s_helicopters.insert(line.hexid);
    // What a pilot would see (tools/flightcheck), from the same replay: a flown point every 10 cycles.
    flightcheck::ReplayCollector pilot(h, lines, 10, options.parkAirport.alt, options.sim.staticCg);
    h.onQueued = [&pilot](const enginesim::RecordedLine& line, const Situation& s) {
      s_fidelity->reported(line.hexid, s.due - kTrafficDelayCycles, s.latitude, s.longitude, s.airborne != 0);
      pilot.queued(line, s);
    };
    h.sim().onPosition = [&categories, &pilot](std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
      s_fidelity->flown(cycle, o.id, o.hexid, b);
      pilot.flown(cycle, o, b);
      auto known = categories.find(o.id);
      if (known == categories.end()) {
        const LiveAc* ac = lf_findLiveByObjectId(o.id);
        known = categories.emplace(o.id, ac != nullptr ? ac->category : Rotorcraft).first;
      }
      const double values[8] = {b.latitude, b.longitude, b.pitch,         b.bank,
                                b.heading,  b.altitude,  b.verticalSpeed, b.trueAirspeed};
      if (std::any_of(std::begin(values), std::end(values), [](double v) { return !std::isfinite(v); })) ++s_nonFinite;
      if (!(b.heading >= 0 && b.heading < kTwoPi)) ++s_headingOutside;
      if (std::fabs(b.bank) > kMaxBankDeg[static_cast<std::size_t>(known->second)] * kDegToRad + 1e-9) ++s_bankOver;
      // Down to 100 ft over the simulator's flat ground (the park airport's) where no field lies
      // within 3 nm: an aeroplane coming down away from any runway.
      if (known->second != Rotorcraft && !s_helicopters.contains(o.hexid) && b.altitude - kCg - kField < 100 &&
          std::none_of(s_fields.begin(), s_fields.end(), [&b](const AirportData& f) {
            return gf_distanceNm({b.latitude, b.longitude}, {f.lat, f.lon}) <= 3.0;
          }))
        s_downAway.insert(o.callsign);
      if (std::find(kFollowed.begin(), kFollowed.end(), o.hexid) != kFollowed.end())
        s_blocks[o.hexid].push_back({cycle, b});
    };
    h.schedule(lines);
    // The recording, its 30-second delay, and the extensions of the streams that end with it.
    h.run(h.lastLineCycle() + 3000 + 8 * 800 + 2000);
    s_afterExtensions = h.sim().liveObjects();
    h.sim().onPosition = nullptr;
    h.onQueued = nullptr;
    s_pilot = test::pilotFigures(pilot, options, s_fidelity->figures());
    // Aircraft whose stream ends on the ground hold there, at most MAX_HOLDING_MINUTES.
    s_allGone = h.runUntil([&] { return h.sim().liveObjects() == 0 && g_liveAcs.empty(); },
                           MAX_HOLDING_MINUTES.value * kCyclesPerMinute + 1000);
  }
  static void TearDownTestSuite() {
    s_harness.reset();
    s_folder.reset();
    s_blocks.clear();
    s_fidelity.reset();
    s_flights.flown.clear();
    s_flights.sim = nullptr;
    s_pilot = {};
  }

  // The first object created for a hexid.
  static const enginesim::SimObject& objectOf(std::uint32_t hexid) {
    for (const auto& [id, o] : s_harness->sim().objects)
      if (o.hexid == hexid) return o;
    throw std::runtime_error("no object for " + std::to_string(hexid));
  }

  static inline std::unique_ptr<test::TempDir> s_folder;
  static inline std::unique_ptr<EngineHarness> s_harness;
  static inline std::map<std::uint32_t, std::vector<Block>> s_blocks;
  static inline std::unique_ptr<enginesim::FidelityRecorder> s_fidelity;
  static inline flightcheck::Figures s_pilot;
  static inline enginesim::FlightWatch s_flights;
  static inline std::uint64_t s_nonFinite = 0, s_headingOutside = 0, s_bankOver = 0;
  static inline std::size_t s_afterExtensions = 0;
  static inline std::vector<AirportData> s_fields;
  static inline std::set<std::string> s_downAway;
  static inline std::set<std::uint32_t> s_helicopters;
  static inline bool s_allGone = false;
};

TEST_F(JfkReplay, ManyAircraftAreCreatedAndFlyAndAllGoAtTheEnd) {
  const enginesim::FakeSim& sim = s_harness->sim();
  EXPECT_GT(sim.objects.size(), 150u);
  std::size_t flown = 0;
  for (const auto& [id, o] : sim.objects) flown += o.positionCount > 100 ? 1 : 0;
  EXPECT_GT(flown, 150u);
  // Every stream ended with the recording: after their extensions only the aircraft holding on the
  // ground are left, and they go once they have held MAX_HOLDING_MINUTES.
  EXPECT_LT(s_afterExtensions, 40u);
  EXPECT_TRUE(s_allGone);
  EXPECT_EQ(sim.failedRequests, 0u);
  EXPECT_TRUE(sim.refused.empty());
  // No block carries an impossible attitude.
  EXPECT_EQ(s_nonFinite, 0u);
  EXPECT_EQ(s_headingOutside, 0u);
  EXPECT_EQ(s_bankOver, 0u);
}

TEST_F(JfkReplay, EachFollowedAircraftIsCreatedOnceAtThePositionItHasReached) {
  for (std::uint32_t hexid : kFollowed) {
    SCOPED_TRACE(hexid);
    std::vector<const enginesim::SimObject*> made;
    for (const auto& [id, o] : s_harness->sim().objects)
      if (o.hexid == hexid) made.push_back(&o);
    if (hexid == kArrival) {
      // After its landing the feed reports it in the air a while yet: it rolls out on the ground and
      // waits at the end of that stream, until the taxi report far from there removes it; it is
      // created again on the ground where it taxies.
      ASSERT_EQ(made.size(), 2u);
      EXPECT_LE(made[0]->removedCycle, made[1]->createdCycle);
      EXPECT_NE(made[1]->initial.onGround, 0);
    } else {
      ASSERT_EQ(made.size(), 1u);
    }
    const enginesim::SimObject& o = *made.front();
    const auto& lines = s_harness->linesByHexid.at(hexid);
    EXPECT_EQ(o.callsign, enginesim::lineField(lines.front().text, 9));
    // The generic livery of its type.
    EXPECT_EQ(o.title, enginesim::genericTitle(enginesim::lineField(lines.front().text, 10)));
    // Positions that fell due while the opening snapshot's creations queued up are passed over: it is
    // created at the one it has reached when its creation can go out, not far behind its stream.
    const auto& passed = s_harness->passages(hexid);
    const auto first = std::find_if(passed.begin(), passed.end(), [](const auto& p) { return p.inSim; });
    ASSERT_NE(first, passed.end());
    const auto& at = first->position;
    EXPECT_EQ(std::tuple(o.initial.latitude, o.initial.longitude, o.initial.onGround),
              std::tuple(at.latitude, at.longitude, decltype(o.initial.onGround){0}));
    EXPECT_NEAR(o.initial.altitude, at.altitude, 1e-9);
    // At most eleven creations wait, one leaving every 50 cycles.
    EXPECT_LE(o.createdCycle, at.due + 11 * 50 + 50);
    // Its nose points along the course to the next reported position.
    ASSERT_NE(first + 1, passed.end());
    const double course = gf_bearingRad({first->position.latitude, first->position.longitude},
                                        {(first + 1)->position.latitude, (first + 1)->position.longitude});
    EXPECT_NEAR(o.initial.heading, course * kRadToDeg, 1e-6);
  }
}

// In the air the blocks lie on the reported track, or round one of its corners: within 50 m of a leg
// between two reported positions, or of the corner between two legs (the triangle of the position
// and the two beside it), four blocks in five. Where the track turns tighter than the aircraft's bank
// allows it flies a wider arc back onto it (a heavy jet's 20 degrees at 250 kt turn on a radius of
// 4.6 km): none strays more than 600 m. (DAL1439's feed puts a position 1 km inside a corner its next
// positions round at 212 kt; the arc at the bank of its category passes some 550 m from it.)
TEST_F(JfkReplay, AirborneBlocksStayOnTheReportedTrackOrRoundItsCorners) {
  for (std::uint32_t hexid : kFollowed) {
    SCOPED_TRACE(hexid);
    const auto& accepted = s_harness->accepted(hexid);
    const auto& passed = s_harness->passages(hexid);
    ASSERT_GE(accepted.size(), 10u);
    ASSERT_FALSE(passed.empty());
    // Until the last reported position is reached; the extensions follow after it.
    const std::int32_t end = passed.back().cycle;
    const auto& blocks = s_blocks.at(hexid);
    double worst = 0;
    std::size_t checked = 0, off = 0;
    for (const Block& b : blocks) {
      if (b.cycle > end) break;
      // In the air: on the ground the taxi rounds its corners on curves.
      if (s_harness->offTrack(hexid, b.cycle) || b.block.altitude < 100) continue;
      const double lat0 = b.block.latitude, lon0 = b.block.longitude;
      const Local p{0, 0};
      const auto at = [&](std::size_t i) { return lf_local(lat0, lon0, accepted[i].latitude, accepted[i].longitude); };
      double onLegs = 1e12, inCorners = 1e12;
      for (std::size_t i = 0; i + 1 < accepted.size(); ++i) onLegs = std::min(onLegs, lf_segmentDistance(p, at(i), at(i + 1)));
      for (std::size_t i = 1; i + 1 < accepted.size(); ++i)
        inCorners = std::min(inCorners, lf_triangleDistance(p, at(i - 1), at(i), at(i + 1)));
      const double away = std::min(onLegs, inCorners);
      worst = std::max(worst, away);
      if (away > 50) ++off;
      ++checked;
    }
    EXPECT_GT(checked, 1000u);
    EXPECT_LT(off, checked / 5);
    EXPECT_LE(worst, 600.0);
  }
}

// The reported positions in the air are passed within ten seconds of their due time (thirty on an
// approach), unless the last position lay so far behind this one that the aircraft could not fly
// the way between them in time at 1.3 times its reported speed and 30 kt more; then it passes it
// as soon as it can at that speed.
TEST_F(JfkReplay, ReportedPositionsArePassedWithinTenSecondsOfTheirDueTimeThirtyOnApproach) {
  for (std::uint32_t hexid : kFollowed) {
    SCOPED_TRACE(hexid);
    const auto& passed = s_harness->passages(hexid);
    const auto first = std::find_if(passed.begin(), passed.end(), [](const auto& p) { return p.inSim; });
    ASSERT_NE(first, passed.end());
    // The reported speed of each reported position.
    std::map<std::pair<double, double>, double> speeds;
    for (const enginesim::RecordedLine& l : s_harness->linesByHexid.at(hexid))
      speeds[{std::stod(enginesim::lineField(l.text, 2)), std::stod(enginesim::lineField(l.text, 3))}] =
          std::stod(enginesim::lineField(l.text, 8));
    const auto speedOf = [&](const enginesim::AcceptedPosition& a) {
      const auto it = speeds.find({a.latitude, a.longitude});
      return it == speeds.end() ? 0.0 : it->second;
    };
    const auto& blocks = s_blocks.at(hexid);
    // The first legs catch up with the creation's latency.
    const std::int32_t settled = first->cycle + 1000;
    std::size_t checked = 0;
    for (auto it = first + 1; it != passed.end(); ++it) {
      // Airborne positions; the one that ends a stretch of synthetic extension legs comes late by design.
      if (it->position.due < settled || !it->position.airborne || s_harness->offTrack(hexid, it->cycle)) continue;
      // Where the aircraft was when it set off toward this position, and the soonest it could be there.
      const auto from = std::lower_bound(blocks.begin(), blocks.end(), (it - 1)->cycle,
                                         [](const Block& b, std::int32_t c) { return b.cycle < c; });
      ASSERT_NE(from, blocks.end());
      const double nm = gf_distanceNm({from->block.latitude, from->block.longitude},
                                      {it->position.latitude, it->position.longitude});
      const double fastest = 1.3 * (speedOf((it - 1)->position) + speedOf(it->position)) / 2 + 30;
      const std::int32_t soonest = from->cycle + static_cast<std::int32_t>(std::ceil(nm * 360000 / fastest));
      // The approach widens the windows to 30 seconds.
      const std::int32_t window = it->landing ? 3000 : 1000;
      EXPECT_LE(std::abs(it->cycle - it->position.due), std::max(window, soonest - it->position.due + 2))
          << "due " << it->position.due;
      ++checked;
    }
    EXPECT_GT(checked, 10u);
  }
}

// Every aircraft, not only the followed ones: the median aircraft passes a reported position at its
// due time (queued plus 3000 cycles), creation delays and the opening burst of creations included,
// and the flown tracks as a whole fit the reported ones 30 seconds later.
TEST_F(JfkReplay, AircraftPassTheReportedPositionsOnTime) {
  const enginesim::FidelityFigures f = s_fidelity->figures();
  SCOPED_TRACE(enginesim::FidelityRecorder::describe(f));
  EXPECT_GT(f.positions, 5000u);
  EXPECT_NEAR(f.medianLateSeconds, 0.0, 1.0);
  EXPECT_NEAR(f.fittedDelaySeconds, 30.0, 1.5);
}

// What a pilot sees of the traffic around them, measured from outside as tools/flightcheck does: at
// most 1 % of the airborne seconds flown with the nose more than 45 degrees off the course, and no
// aircraft more than 10 s so; no aircraft turning faster than 15 degrees a second above 60 kt for 3 s
// or more, nor faster than 1.3 times its highest reported speed and 30 kt for 5 s or more; no
// reversal on the ground; no position dropped that the aircraft's next records confirm; and every
// take-off roll of the recording (there are six) rolled in the simulator. No aeroplane below 20 kt
// more than 100 ft above the field for 3 s, nor below 60 % of its slowest reported airborne speed for
// 5 s; no turn faster than 1.2 times the rate of a coordinated turn at the category's bank + 0.5
// deg/s for 3 s; no porpoising, no vertical speed beyond 6,000 ft/min, nothing below the ground;
// every arrival the records land at an airport of the list (or end in the air above) touching down
// where they say, within 10 s of them where they descend to the ground, staying down, not slow in the
// flare, and rolling out no faster than they slow; no turn-round the records' own tracks do not make,
// nor flight slower than 60 % of the speed the positions imply; no object removed while its aircraft
// is reported and never created again, nor in the air while the feed sends new positions; the delay
// median 29.9-31 s; the airborne cross-track against the records, in all and split four ways, no worse
// than now. The bounds of kNotYetHeld are printed, not held.
TEST_F(JfkReplay, WhatAPilotSeesHoldsEveryBound) {
  const flightcheck::Figures& f = s_pilot;
  const flightcheck::Options options = test::pilotOptions(kCrossTrackLimits);
  std::ostringstream report;
  flightcheck::print(report, f, options, false);
  SCOPED_TRACE(report.str());
  EXPECT_GT(f.airborneSeconds, 90000.0);
  EXPECT_LE(f.offNoseShare(), 0.01);
  EXPECT_EQ(f.aircraftOffNoseOver, 0u);
  EXPECT_EQ(f.aircraftFastTurnRun, 0u);
  // Faster than the catch-up allows: held among the bounds below (Bound::Overspeed).
  EXPECT_EQ(f.groundReversals, 0u);
  EXPECT_GE(f.departures.size(), 6u);
  EXPECT_EQ(f.departuresNotRolled, 0u);
  // The arrivals of JFK, LaGuardia, Newark, Teterboro and the airports around whose objects flew.
  EXPECT_GE(f.arrivalsJudged, 30u);
  test::printCrossTrack(f, kCrossTrackLimits, kFollowerReference);
  test::holdBounds(f, options, kNotYetHeld);
}

TEST_F(JfkReplay, AltitudeIsTheReportedOneWhereThePerformanceAllows) {
  for (std::uint32_t hexid : kFollowed) {
    SCOPED_TRACE(hexid);
    const auto& passed = s_harness->passages(hexid);
    const auto& blocks = s_blocks.at(hexid);
    std::size_t checked = 0;
    for (std::size_t i = 1; i < passed.size(); ++i) {
      const auto& prev = passed[i - 1];
      const auto& p = passed[i];
      if (!prev.inSim || p.cycle < passed.front().cycle + 1000) continue;
      // Steeper climbs than the type allows (over the time the aircraft had between the two
      // positions), descents steeper than half as much again, the ground and the flare are not held
      // to the report.
      const double climbPerCycle = (p.position.altitude - prev.position.altitude) / std::max(1, p.cycle - prev.cycle);
      if (climbPerCycle > 0.5 || climbPerCycle < -0.75 || !p.position.airborne || !prev.position.airborne || p.position.altitude < 500) continue;
      // Back from synthetic legs; and a report that repeats the one before on the approach, which
      // the approach descends through rather than holding it.
      if (s_harness->offTrack(hexid, p.cycle) || s_harness->offTrack(hexid, prev.cycle)) continue;
      if (p.position.altitude == prev.position.altitude && p.position.altitude <= 1000) continue;
      auto at = std::lower_bound(blocks.begin(), blocks.end(), p.cycle,
                                 [](const Block& b, std::int32_t c) { return b.cycle < c; });
      if (at == blocks.end()) continue;
      EXPECT_NEAR(at->block.altitude, p.position.altitude, 50.0) << "at cycle " << p.cycle;
      ++checked;
    }
    EXPECT_GT(checked, 5u);
  }
}

using EventList = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

// The index of the first occurrence of a sequence from `from` on, or npos.
std::size_t lf_find(const EventList& events, const EventList& sequence, std::size_t from = 0) {
  const auto at = std::search(events.begin() + static_cast<std::ptrdiff_t>(std::min(from, events.size())), events.end(),
                              sequence.begin(), sequence.end());
  return at == events.end() ? std::string::npos : static_cast<std::size_t>(at - events.begin());
}

// The light events in their order, each set to its value.
EventList lf_lights(std::array<std::uint32_t, 7> on) {
  const std::uint32_t ids[7] = {EVT_NAV_LIGHTS_SET,   EVT_BEACON_LIGHTS_SET, EVT_LANDING_LIGHTS_SET, EVT_TAXI_LIGHTS_SET,
                                EVT_STROBES_SET, EVT_LOGO_LIGHTS_SET,   EVT_CABIN_LIGHTS_SET};
  EventList out;
  for (int i = 0; i < 7; ++i) out.emplace_back(ids[i], on[i]);
  return out;
}

TEST_F(JfkReplay, AnArrivalSignalsTenThousandFeetApproachAndTouchdownInOrder) {
  const enginesim::SimObject& o = objectOf(kArrival);
  EventList events;
  for (const auto& e : s_harness->sim().eventsOf(o.id)) events.emplace_back(e.eventId, e.data);
  // Created above 10000 ft: the cruise set first.
  EventList cruiseSet = lf_lights({1, 1, 0, 0, 0, 0, 1});
  cruiseSet.emplace_back(EVT_THROTTLE_SET, 11468);
  const std::size_t cruise = lf_find(events, cruiseSet);
  ASSERT_NE(cruise, std::string::npos);
  // Below 10000 ft every light comes on.
  const std::size_t below = lf_find(events, lf_lights({1, 1, 1, 1, 1, 1, 1}), cruise + 1);
  ASSERT_NE(below, std::string::npos);
  // The approach: throttle back, full flaps, gear down.
  const std::size_t approach =
      lf_find(events, {{EVT_THROTTLE_SET, 4914}, {EVT_FLAPS_SET, 16383}, {EVT_GEAR_SET, 1}}, below + 1);
  ASSERT_NE(approach, std::string::npos);
  // Touchdown: spoilers out.
  const std::size_t touchdown = lf_find(events, {{EVT_SPOILERS_SET, 16383}}, approach + 1);
  ASSERT_NE(touchdown, std::string::npos);
  // The touchdown also sets spoiler handle and throttles of the object.
  EXPECT_TRUE(std::any_of(s_harness->sim().controls.begin(), s_harness->sim().controls.end(),
                          [&](const auto& c) { return c.first == o.id && c.second.spoilers == 100; }));
  // The two light toggles of a new object, and no others.
  EXPECT_EQ(std::count(events.begin(), events.end(), std::pair<std::uint32_t, std::uint32_t>{EVT_ALL_LIGHTS_TOGGLE, 0}),
            2);
}

// DAL1439's stream ends on its approach to LaGuardia, 3 nm out at 1175 ft and coming down at
// 768 ft/min: it flies on along its track and down the approach for its eight synthetic legs, then
// goes (within half a minute of their 64 s). The feed goes on repeating its last position for
// minutes: no object is created again for those repeats.
TEST_F(JfkReplay, AStreamEndingInsideTheRadiusFliesOnThenGoes) {
  std::size_t objects = 0;
  for (const auto& [id, o] : s_harness->sim().objects) objects += o.hexid == kEndsInside ? 1 : 0;
  EXPECT_EQ(objects, 1u);
  const enginesim::SimObject& o = objectOf(kEndsInside);
  const auto& passed = s_harness->passages(kEndsInside);
  ASSERT_FALSE(passed.empty());
  const auto& last = passed.back();
  ASSERT_GE(o.removedCycle, last.cycle);
  EXPECT_LE(o.removedCycle - last.cycle, 8 * 800 + 3000);
  // Meanwhile it flies on, away from the last reported position, and comes down toward LaGuardia
  // (elevation 21 ft, 40.7772 N 73.8726 W).
  const auto& blocks = s_blocks.at(kEndsInside);
  double previous = 0;
  int away = 0;
  for (const Block& b : blocks) {
    if (b.cycle <= last.cycle || b.cycle % 400 != 0) continue;
    const double d =
        gf_distanceNm({last.position.latitude, last.position.longitude}, {b.block.latitude, b.block.longitude});
    if (d > previous) ++away;
    previous = d;
  }
  EXPECT_GE(away, 12);
  ASSERT_FALSE(blocks.empty());
  EXPECT_LT(gf_distanceNm({blocks.back().block.latitude, blocks.back().block.longitude}, {40.7772, -73.8726}), 1.5);
  EXPECT_LT(blocks.back().block.altitude, 400.0);
  EXPECT_GE(blocks.back().block.altitude, 21 + kCg);
}

TEST_F(JfkReplay, FlightPlansAreWrittenAndRemovedWithTheirObjects) {
  const enginesim::SimObject& o = objectOf(kCruise);
  EXPECT_EQ(o.flightPlan, gf_pathText(s_folder->path() / "orig_dest" / gf_flightPlanPath(o.id)));
  std::size_t plans = 0;
  for (const auto& [id, object] : s_harness->sim().objects) plans += object.flightPlan.empty() ? 0 : 1;
  EXPECT_GT(plans, 100u);
  // Every object is gone at the end, and so is every plan file.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(s_folder->path() / "orig_dest"),
                          std::filesystem::directory_iterator()),
            0);
}

// Landings stay landed: the recording's one touch-and-go is N2885A's circuit at Farmingdale (reported
// on the ground, then in the air again), so no other aircraft that landed is set to take off again,
// and each one ends on the ground. Nothing is flown below the ground, and every departure that the
// recording shows climbing through 3000 ft climbs through it in the simulator too.
// An approach that reaches a leg's end ahead of its due (the recording's RPA5929 at 1,800 ft 8 nm
// from LaGuardia, 50 s early) comes down to that record by the due, not in its steepest descent on
// down to the ground.
TEST_F(JfkReplay, NoAeroplaneComesDownAwayFromAField) {
  EXPECT_TRUE(s_downAway.empty()) << fmt::format("{}", fmt::join(s_downAway, ", "));
}

TEST_F(JfkReplay, LandingsStayOnTheGroundAndDeparturesClimb) {
  const enginesim::FlightReport report = enginesim::checkFlights(s_flights, *s_harness, kField, kCg);
  std::cout << report.summary() << "\n";
  EXPECT_GE(report.landings, 20u);
  EXPECT_EQ(report.takingOffAgain, std::vector<std::string>{"N2885A"});
  EXPECT_GE(report.departures, 5u);
  EXPECT_TRUE(report.faults.empty()) << report.faults.size() << " faults:\n"
                                     << fmt::format("{}", fmt::join(report.faults, "\n"));
}

}  // namespace
}  // namespace amb
