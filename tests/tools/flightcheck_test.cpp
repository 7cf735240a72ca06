// The flight check's measures on handmade tracks whose answers are worked out by hand: a point every
// 0.1 s, measured on the 0.1-s grid without a wider window, so each interval between two points
// counts 0.1 s.

#include "core/geometry.hpp"
#include "flightcheck/flightcheck.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <tuple>

namespace amb::flightcheck {
namespace {

constexpr double kDt = 0.1;

// Builds a track point by point: each step moves along a course at a speed for 0.1 s.
struct Builder {
  FlownTrack track;
  LatLon at{40.0, -73.0};
  double t = 0;
  bool onGround = false;
  double altitude = NAN;  // 13 ft on the ground, 3000 ft in the air when not set

  Builder(std::uint32_t id, std::uint32_t hexid, bool ground = false) : onGround(ground) {
    track.objectId = id;
    track.hexid = hexid;
    track.callsign = "T" + std::to_string(id);
  }
  void point(double heading) {
    const double alt = !std::isnan(altitude) ? altitude : onGround ? 13 : 3000;
    track.points.push_back({t, at.lat, at.lon, static_cast<float>(alt), static_cast<float>(heading), onGround});
  }
  // Steps of 0.1 s along `course` at `kt`, the nose at `heading` (the course when NaN) at each point.
  void fly(int steps, double course, double kt, double heading = NAN) {
    for (int i = 0; i < steps; ++i) {
      at = gf_destinationPoint(at, course * kDegToRad, kt * kDt / 3600 * kFeetPerNm);
      t = std::round((t + kDt) * 10) / 10;
      point(std::isnan(heading) ? course : heading);
    }
  }
};

Options lf_options() {
  Options o;
  o.gridSeconds = kDt;
  o.windowSeconds = 0;
  return o;
}

const AircraftFigures& lf_of(const Figures& f, std::uint32_t id) {
  for (const AircraftFigures& a : f.aircraft)
    if (a.callsign == "T" + std::to_string(id)) return a;
  throw std::runtime_error("no aircraft T" + std::to_string(id));
}

TEST(FlightCheck, NoseNinetyDegreesOffForTwelveSecondsOfAMinute) {
  // 60 s north at 150 kt; from 20 s to 32 s the nose points east. Points at 19.99 s and 32.01 s with
  // the nose north make the change sharp: exactly the 120 intervals from 20.0 s to 32.0 s are off.
  Builder b(1, 0);
  b.point(0);
  b.fly(199, 0, 150);  // to 19.9 s
  FlownPoint edge = b.track.points.back();
  edge.t = 19.99;
  b.track.points.push_back(edge);
  b.fly(1, 0, 150, 90);    // 20.0 s
  b.fly(120, 0, 150, 90);  // to 32.0 s
  edge = b.track.points.back();
  edge.headingDeg = 0;
  b.fly(1, 0, 150);  // 32.1 s
  b.track.points.insert(b.track.points.end() - 1, {32.01, edge.latitude, edge.longitude, edge.altitude, 0, false});
  b.fly(279, 0, 150);  // to 60.0 s
  Input in;
  in.tracks.push_back(b.track);
  const Options o = lf_options();
  const Figures f = measure(in, o);
  const AircraftFigures& a = lf_of(f, 1);
  EXPECT_NEAR(a.airborneSeconds, 60.0, 1e-6);
  EXPECT_NEAR(a.offNoseSeconds, 12.0, 1e-6);
  EXPECT_NEAR(a.worstOffNoseDeg, 90.0, 0.01);
  EXPECT_NEAR(f.offNoseShare(), 0.2, 1e-6);
  EXPECT_EQ(f.aircraftOffNoseOver, 1u);
  // The nose swings 90 deg between two points 0.1 s apart, twice: 0.2 s of turning at 900 deg/s.
  EXPECT_NEAR(a.fastTurnSeconds, 0.2, 1e-6);
  EXPECT_NEAR(a.longestFastTurnSeconds, 0.1, 1e-6);
  const auto failed = check(f, o);
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_NE(failed[0].find("20.00 % of airborne seconds"), std::string::npos) << failed[0];
  EXPECT_NE(failed[1].find("1 aircraft more than 10 s off the nose"), std::string::npos) << failed[1];
}

TEST(FlightCheck, NoseOffForTenSecondsIsWithinTheAircraftBoundButCountsInTheShare) {
  Builder b(1, 0);
  b.point(60);
  b.fly(100, 0, 150, 60);  // 10 s, the nose 60 deg right of the path
  b.fly(900, 0, 150);      // 90 s on the path
  Input in;
  in.tracks.push_back(b.track);
  const Figures f = measure(in, lf_options());
  EXPECT_NEAR(f.offNoseSeconds, 10.0, 1e-6);
  EXPECT_NEAR(f.airborneSeconds, 100.0, 1e-6);
  EXPECT_EQ(f.aircraftOffNoseOver, 0u);  // not more than 10 s
  const auto failed = check(f, lf_options());
  ASSERT_EQ(failed.size(), 1u);  // 10 % of airborne seconds is above 1 %
  EXPECT_NE(failed[0].find("10.00 %"), std::string::npos) << failed[0];
}

TEST(FlightCheck, TurnOfTwentyDegreesASecondAtHundredKnots) {
  // 10 s straight east, 4 s turning right at 20 deg/s (the nose along the arc), 10 s straight south-east;
  // another aircraft turns the same way for 2 s only, and a third at 20 deg/s but at 50 kt.
  const auto turning = [](std::uint32_t id, int turnSteps, double kt) {
    Builder b(id, 0);
    b.point(90);
    b.fly(100, 90, kt);
    double heading = 90;
    for (int i = 0; i < turnSteps; ++i) {
      // Each 0.1-s chord runs along the heading at its middle; the nose turns 2 deg per step.
      b.fly(1, heading + 1, kt, heading + 2);
      heading += 2;
    }
    b.fly(100, heading, kt);
    return b.track;
  };
  Input in;
  in.tracks.push_back(turning(1, 40, 100));
  in.tracks.push_back(turning(2, 20, 100));
  in.tracks.push_back(turning(3, 40, 50));
  const Options o = lf_options();
  const Figures f = measure(in, o);
  EXPECT_NEAR(lf_of(f, 1).fastTurnSeconds, 4.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 1).longestFastTurnSeconds, 4.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 1).fastestTurnDegPerS, 20.0, 1e-3);
  EXPECT_NEAR(lf_of(f, 2).fastTurnSeconds, 2.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 3).fastTurnSeconds, 0.0, 1e-6);
  EXPECT_NEAR(f.fastTurnSeconds, 6.0, 1e-6);
  EXPECT_EQ(f.aircraftFastTurnRun, 1u);  // only the 4-s turn lasts 3 s or more
  // The nose stays on the path all through the turn.
  EXPECT_NEAR(f.offNoseSeconds, 0.0, 1e-6);
  EXPECT_LT(lf_of(f, 1).worstOffNoseDeg, 0.01);
  // No aeroplane banks for it either (no category bank given: 35 deg): at 100 kt a coordinated turn
  // is 9.80665 * tan 35 / 51.44 m/s = 7.65 deg/s, bound 1.2 * 7.65 + 0.5 = 9.68 deg/s; at 50 kt 18.85.
  EXPECT_NEAR(lf_of(f, 1).bankTurnSeconds, 4.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 2).bankTurnSeconds, 0.0, 1e-6);  // 2 s: shorter than a spell
  EXPECT_NEAR(lf_of(f, 3).bankTurnSeconds, 4.0, 1e-6);
  EXPECT_EQ(f.aircraftBankTurn, 2u);
  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0].bound, Bound::FastTurn);
  EXPECT_NE(failed[0].text.find("1 aircraft turning faster than 15 deg/s for 3 s or more"), std::string::npos)
      << failed[0].text;
  EXPECT_EQ(failed[1].bound, Bound::BankTurn);
  EXPECT_NE(failed[1].text.find("2 aircraft turning faster than 1.2 x the rate of a turn"), std::string::npos)
      << failed[1].text;
}

TEST(FlightCheck, GroundReversalAtSpeedCountsOnceAndATaxiTurnNot) {
  // Rolling east at 117 kt, the nose swings round to west in 0.5 s (360 deg/s), then drives back
  // west at 117 kt. Another aircraft turns 90 deg at 30 deg/s... at 20 kt while taxiing.
  Builder r(1, 0, true);
  r.point(90);
  r.fly(100, 90, 117);
  for (int i = 1; i <= 5; ++i) r.fly(1, 90, 117, 90 + 36 * i);
  r.fly(100, 270, 117);
  Builder taxi(2, 0, true);
  taxi.point(0);
  taxi.fly(50, 0, 20);
  for (int i = 1; i <= 30; ++i) taxi.fly(1, 3 * i - 1.5, 20, 3 * i);
  taxi.fly(50, 90, 20);
  Input in;
  in.tracks = {r.track, taxi.track};
  const Options o = lf_options();
  const Figures f = measure(in, o);
  EXPECT_EQ(lf_of(f, 1).groundReversals, 1u);
  EXPECT_NEAR(lf_of(f, 1).groundReversalSeconds, 0.5, 1e-6);
  EXPECT_NEAR(lf_of(f, 1).fastestGroundTurnDegPerS, 360.0, 1e-3);
  EXPECT_EQ(lf_of(f, 2).groundReversals, 0u);
  EXPECT_EQ(f.groundReversals, 1u);
  // On the ground the nose is not measured against the path, and nothing is airborne.
  EXPECT_NEAR(f.airborneSeconds, 0.0, 1e-9);
  const auto failed = check(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("1 reversals on the ground"), std::string::npos) << failed[0];
}

TEST(FlightCheck, OverspeedAgainstTheHighestReportedSpeed) {
  // Reported at most 200 kt: the bound is 1.3 * 200 + 30 = 290 kt. One aircraft flies 320 kt for 6 s,
  // another for 4 s, a third 285 kt for 30 s (under the bound).
  const auto flight = [](std::uint32_t id, std::uint32_t hexid, int fastSteps, double fastKt) {
    Builder b(id, hexid);
    b.point(0);
    b.fly(200, 0, 250);
    b.fly(fastSteps, 0, fastKt);
    b.fly(200, 0, 250);
    return b.track;
  };
  Input in;
  in.tracks = {flight(1, 101, 60, 320), flight(2, 102, 40, 320), flight(3, 103, 300, 285)};
  for (std::uint32_t hexid : {101u, 102u, 103u}) in.reported[hexid].highestSpeedKt = 200;
  const Options o = lf_options();
  const Figures f = measure(in, o);
  EXPECT_NEAR(lf_of(f, 1).overspeedBoundKt, 290.0, 1e-9);
  EXPECT_NEAR(lf_of(f, 1).overspeedSeconds, 6.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 1).longestOverspeedSeconds, 6.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 1).highestFlownKt, 320.0, 0.5);
  EXPECT_NEAR(lf_of(f, 2).overspeedSeconds, 4.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 3).overspeedSeconds, 0.0, 1e-9);
  EXPECT_NEAR(f.overspeedSeconds, 10.0, 1e-6);
  EXPECT_EQ(f.aircraftOverspeedRun, 1u);
  const auto failed = check(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("1 aircraft faster than 1.3 x its highest reported speed + 30 kt for 5 s"), std::string::npos)
      << failed[0];
}

// A reported airborne position `nm` east of 40N 73W at time t, at 300 kt.
Reported lf_east(double t, double nm, Taken taken) {
  const LatLon p = gf_destinationPoint({40.0, -73.0}, kPi / 2, nm * kFeetPerNm);
  return {t, p.lat, p.lon, 5000, 300, true, taken};
}

TEST(FlightCheck, DroppedPositionsThatTheNextRecordsConfirm) {
  Input in;
  // A stale repeat for 30 s, then the real positions (300 kt: 5/12 nm in 5 s) ahead of it: the first
  // two are dropped and each is continued by the next record; the stream is taken again after them.
  auto& confirmed = in.reported[201].positions;
  confirmed.push_back(lf_east(0, 0, Taken::Yes));
  for (int t = 5; t <= 30; t += 5) confirmed.push_back(lf_east(t, 0, Taken::Yes));
  confirmed.push_back(lf_east(40, 40 / 12.0, Taken::No));
  confirmed.push_back(lf_east(45, 45 / 12.0, Taken::No));
  confirmed.push_back(lf_east(50, 50 / 12.0, Taken::Yes));
  confirmed.push_back(lf_east(55, 55 / 12.0, Taken::Yes));
  // A stale position behind the aircraft, dropped: the next record goes on from the taken track, 1.67
  // nm ahead of the stale one after 5 s (more than 500 kt covers), so nothing confirms it.
  auto& stale = in.reported[202].positions;
  stale.push_back(lf_east(0, 0, Taken::Yes));
  stale.push_back(lf_east(10, 10 / 12.0, Taken::Yes));
  stale.push_back(lf_east(15, 0, Taken::No));
  stale.push_back(lf_east(20, 20 / 12.0, Taken::Yes));
  // A near-duplicate dropped 0.1 nm from the last position taken: no news.
  auto& near = in.reported[203].positions;
  near.push_back(lf_east(0, 0, Taken::Yes));
  near.push_back(lf_east(1, 0.1, Taken::No));
  near.push_back(lf_east(6, 0.5, Taken::Yes));
  // The same jump as the first, on the ground (taxiing aircraft jump between sources): not counted.
  auto& ground = in.reported[204].positions;
  for (const Reported& r : confirmed) {
    ground.push_back(r);
    ground.back().airborne = false;
  }
  for (auto& [hexid, a] : in.reported) a.callsign = "C" + std::to_string(hexid);
  const Options o = lf_options();
  const Figures f = measure(in, o);
  EXPECT_EQ(f.droppedConfirmed, 2u);
  ASSERT_EQ(f.aircraft.size(), 1u);  // only the aircraft with a confirmed drop is listed
  EXPECT_EQ(f.aircraft[0].hexid, 201u);
  EXPECT_EQ(f.aircraft[0].droppedConfirmed, 2u);
  const auto failed = check(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("2 dropped positions that later records confirm"), std::string::npos) << failed[0];
}

// A record that moves on along its own track is the aircraft's position: dropping it counts, whatever
// the stamps imply. B's track (100) agrees with its course from the last one taken (90) and counts,
// once although the feed repeats it; C reports a track the course does not bear out (200 deg), D has
// hardly moved (0.05 nm: its course says nothing), E has no track, F is on the ground: none counts.
// Records held past the next new position count where the holds are known.
TEST(FlightCheck, RecordsDroppedWhoseOwnTrackAgreesAndRecordsHeldPastTheNext) {
  Input in;
  const auto east = [](double t, double nm, Taken taken, double track) {
    Reported r = lf_east(t, nm, taken);
    r.trackDeg = track;
    return r;
  };
  auto& a = in.reported[301].positions;
  a.push_back(east(0, 0, Taken::Yes, 90));
  a.push_back(east(10, 10 / 12.0, Taken::Yes, 90));
  a.push_back(east(20, 20 / 12.0, Taken::No, 100));  // B
  a.push_back(east(25, 20 / 12.0, Taken::No, 100));  // B repeated
  a.push_back(east(30, 30 / 12.0, Taken::No, 200));  // C
  a.push_back(east(35, 10 / 12.0 + 0.05, Taken::No, 90));  // D
  a.push_back(east(40, 40 / 12.0, Taken::No, 0));    // E
  a.push_back(east(50, 50 / 12.0, Taken::Yes, 90));
  a.push_back(east(60, 60 / 12.0, Taken::No, 90));   // F
  a.back().airborne = false;
  a[7].heldPast = true;
  in.reported[301].callsign = "HELD";
  Options o = lf_options();
  Figures f = measure(in, o);
  EXPECT_EQ(f.droppedAgreeing, 1u);
  EXPECT_FALSE(f.heldPastNext);  // a trace's holds are not known
  ASSERT_EQ(f.aircraft.size(), 1u);
  EXPECT_EQ(f.aircraft[0].droppedAgreeing, 1u);
  // (C, continued by E, is a dropped position confirmed besides: another bound.)
  const auto failedOfTheTwo = [&]() {
    std::vector<Bound> out;
    for (const FailedBound& b : failedBounds(f, o))
      if (b.bound == Bound::DroppedAgreeing || b.bound == Bound::HeldPastNext) out.push_back(b.bound);
    return out;
  };
  EXPECT_EQ(failedOfTheTwo(), std::vector<Bound>{Bound::DroppedAgreeing});
  // Within 45 deg: a track of 135 deg agrees; beyond the angle nothing does.
  a[2].trackDeg = 135;
  EXPECT_EQ(measure(in, o).droppedAgreeing, 1u);
  a[2].trackDeg = 136;
  EXPECT_EQ(measure(in, o).droppedAgreeing, 0u);

  in.holdsKnown = true;
  f = measure(in, o);
  ASSERT_TRUE(f.heldPastNext);
  EXPECT_EQ(*f.heldPastNext, 1u);
  EXPECT_EQ(f.aircraft[0].heldPastNext, 1u);
  EXPECT_EQ(failedOfTheTwo(), std::vector<Bound>{Bound::HeldPastNext});
  std::ostringstream timeline;
  printTimeline(timeline, in, o, "HELD");
  EXPECT_NE(timeline.str().find("taken HELD PAST THE NEXT"), std::string::npos) << timeline.str();
}

TEST(FlightCheck, EveryTakeOffRollInTheRecordsMustBeRolled) {
  // Each departure is reported on the ground at 10, 30 and 50 kt, at 80 kt 25 s in (the roll), then
  // in the air. Starting at 40 s, its roll is due 30 s later, at 95 s of the flown clock, which runs
  // from 0 to 200 s.
  const auto departure = [](double t0) {
    ReportedAircraft a;
    const double speeds[] = {10, 30, 50, 80, 130};
    for (int i = 0; i < 5; ++i) a.positions.push_back({t0 + (i < 3 ? 10.0 * i : 25.0 + 5 * (i - 3)), 40, -73, 0, speeds[i], false, Taken::Yes});
    a.positions.push_back({t0 + 40, 40, -73, 500, 160, true, Taken::Yes});
    a.highestSpeedKt = 160;
    return a;
  };
  Input in;
  in.reported[301] = departure(40);  // rolls in the simulator
  in.reported[302] = departure(40);  // its object stands still
  in.reported[303] = departure(40);  // no object at all
  in.reported[304] = departure(0);   // due at 55 s: too near the start of the flown clock to check
  // A landing: fast then slow on the ground is no take-off.
  in.reported[305].positions = {{0, 40, -73, 500, 140, true, Taken::Yes}, {5, 40, -73, 0, 120, false, Taken::Yes},
                                {10, 40, -73, 0, 70, false, Taken::Yes}, {15, 40, -73, 0, 20, false, Taken::Yes}};
  for (auto& [hexid, a] : in.reported) a.callsign = "D" + std::to_string(hexid);
  Builder rolls(1, 301, true);
  rolls.point(90);
  rolls.fly(900, 90, 0);
  rolls.fly(100, 90, 100);  // 90 s to 100 s: 100 kt on the ground
  rolls.onGround = false;
  rolls.fly(1000, 90, 160);
  Builder stands(2, 302, true);
  stands.point(90);
  stands.fly(2000, 90, 0);
  Input measured = in;
  measured.tracks = {rolls.track, stands.track};
  const Figures f = measure(measured, lf_options());
  ASSERT_EQ(f.departures.size(), 3u);
  EXPECT_EQ(f.departuresNotRolled, 2u);
  for (const Departure& d : f.departures) {
    EXPECT_DOUBLE_EQ(d.rollTime, 65.0);
    EXPECT_EQ(d.rolled, d.hexid == 301u) << d.hexid;
    EXPECT_EQ(d.hasObject, d.hexid != 303u) << d.hexid;
  }
  // (The made-up lift-off jumps from 13 ft to 3000 ft in 0.1 s: a plunge upward as well.)
  const auto failed = failedBounds(f, lf_options());
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0].bound, Bound::TakeOffRoll);
  EXPECT_NE(failed[0].text.find("2 of 3 take-off rolls in the records not rolled"), std::string::npos)
      << failed[0].text;
  EXPECT_EQ(failed[1].bound, Bound::VerticalSpeed);
}

TEST(FlightCheck, CleanFlightsPassEveryBound) {
  Builder b(1, 401);
  b.point(0);
  b.fly(600, 0, 250);
  double heading = 0;
  for (int i = 0; i < 300; ++i) {  // a standard-rate turn: 3 deg/s
    b.fly(1, heading + 0.15, 250, heading + 0.3);
    heading += 0.3;
  }
  b.fly(600, heading, 250);
  Input in;
  in.tracks.push_back(b.track);
  in.reported[401].highestSpeedKt = 250;
  const Figures f = measure(in, lf_options());
  EXPECT_TRUE(check(f, lf_options()).empty());
  EXPECT_NEAR(f.airborneSeconds, 150.0, 1e-6);
  std::ostringstream out;
  print(out, f, lf_options());
  EXPECT_NE(out.str().find("airborne seconds more than 45 deg off the nose: 0.0 of 150.0 s (0.00 %)"), std::string::npos)
      << out.str();
}

TEST(FlightCheck, ReadsTheDoublesTrace) {
  std::istringstream trace(
      "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail\n"
      "1.000,3,created,40.6,-73.7,13.0,0.00,0.00,90.00,1,\"Airbus A320, Paint 2|JBU1\"\n"
      "1.100,4,created,40.6,-73.8,13.0,0.00,0.00,10.00,1,Boeing 737-800|N123*\n"
      "1.200,3,position,40.6000000,-73.7000000,13.0,0.00,0.00,-10.00,1,def 400\n"
      "1.250,4,position,40.6000000,-73.8000000,13.0,0.00,0.00,10.00,1,def 400\n"
      "1.300,3,position,40.6001000,-73.7000000,200.0,0.00,0.00,370.00,0,def 400\n"
      "1.300,3,position,40.6002000,-73.7000000,210.0,0.00,0.00,10.00,0,def 400\n"
      "1.400,9,position,40.6,-73.7,13.0,0.00,0.00,0.00,1,def 400\n"
      "1.500,3,removed,40.6002,-73.7,210.0,0.00,0.00,10.00,0,\n");
  const auto tracks = readTrace(trace);
  ASSERT_EQ(tracks.size(), 1u);  // the static aircraft ("*") and the unknown object 9 are left out
  EXPECT_EQ(tracks[0].objectId, 3u);
  EXPECT_EQ(tracks[0].callsign, "JBU1");
  ASSERT_EQ(tracks[0].points.size(), 2u);  // of two rows at one time the later stays
  EXPECT_FLOAT_EQ(tracks[0].points[0].headingDeg, 350.f);
  EXPECT_TRUE(tracks[0].points[0].onGround);
  EXPECT_DOUBLE_EQ(tracks[0].points[1].latitude, 40.6002);
  EXPECT_FALSE(tracks[0].points[1].onGround);
  // When its object was created and removed.
  EXPECT_DOUBLE_EQ(tracks[0].createdAt, 1.0);
  EXPECT_DOUBLE_EQ(tracks[0].removedAt, 1.5);

  std::istringstream notATrace("hexid,lat,lon\n1,2,3\n");
  EXPECT_THROW(readTrace(notATrace), std::runtime_error);
}

TEST(FlightCheck, FitsTheDelayOfARunShorterThanTheRecording) {
  // Reported every 5 s for 200 s flying east at 300 kt; the run shows the object only from 137 s to
  // 167 s of its clock, 37 s behind: it meets the 7 positions reported from 100 s to 130 s of 41.
  Input in;
  auto& a = in.reported[502];
  a.callsign = "UAL2";
  for (int i = 0; i <= 40; ++i) a.positions.push_back(lf_east(5.0 * i, 5.0 * i / 12, Taken::Unknown));
  FlownTrack t;
  t.objectId = 1;
  t.hexid = 502;
  for (int i = 1000; i <= 1300; ++i) {
    const Reported r = lf_east(i * kDt, i * kDt / 12, Taken::Unknown);
    t.points.push_back({37 + i * kDt, r.latitude, r.longitude, 5000, 90, false});
  }
  in.tracks.push_back(t);
  const auto delay = fitDelay(in, 0, 120);
  ASSERT_TRUE(delay.has_value());
  EXPECT_NEAR(*delay, 37.0, 0.15);
}

TEST(FlightCheck, FitsTheDelayAndFindsThePositionsTheTrackNeverPassed) {
  // Reported every 5 s for 200 s flying east at 300 kt; the object flies the same line 37 s later, on
  // to 297 s of its clock. One record lies 2 nm north of the line (foreign): the track never passes it.
  Input in;
  auto& a = in.reported[501];
  a.callsign = "UAL1";
  for (int i = 0; i <= 40; ++i) a.positions.push_back(lf_east(5.0 * i, 5.0 * i / 12, Taken::Unknown));
  const LatLon off = gf_destinationPoint({a.positions[20].latitude, a.positions[20].longitude}, 0, 2 * kFeetPerNm);
  a.positions[20].latitude = off.lat;
  a.positions[20].longitude = off.lon;
  FlownTrack t;
  t.objectId = 1;
  t.callsign = "UAL1_";
  for (int i = 0; i <= 2600; ++i) {
    const Reported r = lf_east(i * kDt, i * kDt / 12, Taken::Unknown);
    t.points.push_back({37 + i * kDt, r.latitude, r.longitude, 5000, 90, false});
  }
  in.tracks.push_back(t);
  matchHexids(in.tracks, in.reported);
  EXPECT_EQ(in.tracks[0].hexid, 501u);
  const auto delay = fitDelay(in, 0, 120);
  ASSERT_TRUE(delay.has_value());
  EXPECT_NEAR(*delay, 37.0, 0.15);
  in.delaySeconds = *delay;
  inferTaken(in, lf_options());
  for (std::size_t i = 0; i < a.positions.size(); ++i)
    EXPECT_EQ(a.positions[i].taken, i == 20 ? Taken::No : Taken::Yes) << i;
  // The foreign record is dropped, rightly: the next record continues from the line.
  EXPECT_EQ(measure(in, lf_options()).droppedConfirmed, 0u);
  // Had the flown clock ended at 257 s, the positions due less than a minute before (reported after
  // 160 s) would not be judged.
  in.tracks[0].points.resize(2201);
  inferTaken(in, lf_options());
  for (std::size_t i = 0; i < a.positions.size(); ++i)
    EXPECT_EQ(a.positions[i].taken, i > 32 ? Taken::Unknown : i == 20 ? Taken::No : Taken::Yes) << i;
}

}  // namespace
}  // namespace amb::flightcheck

namespace amb::flightcheck {
namespace {

// In a replay the engine's buffers tell what was taken; a position it did not take is dropped only
// where an object of its aircraft flew at the position's due time (delay 30 s). The aircraft flies
// from 30 s to 60 s of the flown clock: the position reported at 10 s (due at 40 s) is dropped and
// its next record confirms it; the ones reported at 40 s and 45 s (due at 70 s and 75 s, when the
// aircraft is no longer shown) are unknown, as a trace judges them, and confirm nothing.
TEST(FlightCheck, APositionOfAnAircraftNotFlownThenIsNoDrop) {
  Input in;
  auto& a = in.reported[601];
  a.callsign = "N601";
  a.positions.push_back(lf_east(0, 0, Taken::Yes));
  a.positions.push_back(lf_east(10, 10 / 12.0, Taken::No));
  a.positions.push_back(lf_east(15, 15 / 12.0, Taken::Yes));
  a.positions.push_back(lf_east(25, 25 / 12.0, Taken::Yes));
  a.positions.push_back(lf_east(40, 40 / 12.0, Taken::No));
  a.positions.push_back(lf_east(45, 45 / 12.0, Taken::No));
  FlownTrack t;
  t.objectId = 1;
  t.hexid = 601;
  t.callsign = "N601";
  for (int i = 0; i <= 300; ++i) {
    const Reported r = lf_east(i * kDt, i * kDt / 12, Taken::Unknown);
    t.points.push_back({30 + i * kDt, r.latitude, r.longitude, 5000, 90, false});
  }
  in.tracks.push_back(t);
  keepDropsOfFlownAircraft(in);
  const std::vector<Taken> expected{Taken::Yes, Taken::No, Taken::Yes, Taken::Yes, Taken::Unknown, Taken::Unknown};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(a.positions[i].taken, expected[i]) << i;
  EXPECT_EQ(measure(in, lf_options()).droppedConfirmed, 1u);
}

}  // namespace
}  // namespace amb::flightcheck

namespace amb::flightcheck {
namespace {

// A trace whose object runs 90 s behind its stream (delay 30 s, flown 120 s after each report)
// passes its positions late but in their order: each is taken. A record repeating the place of one
// passed earlier (a stale one, behind the aircraft) is dropped: the object was there before it
// passed the positions reported before the stale one. One 2 nm off the line is dropped too.
TEST(FlightCheck, ALateObjectPassesItsPositionsInTheirOrder) {
  Input in;
  in.delaySeconds = 30;
  auto& a = in.reported[701];
  a.callsign = "N701";
  for (int i = 0; i <= 20; ++i) a.positions.push_back(lf_east(5.0 * i, 5.0 * i / 12, Taken::Unknown));
  a.positions[12].latitude = a.positions[4].latitude;
  a.positions[12].longitude = a.positions[4].longitude;
  const LatLon off = gf_destinationPoint({a.positions[16].latitude, a.positions[16].longitude}, 0, 2 * kFeetPerNm);
  a.positions[16].latitude = off.lat;
  a.positions[16].longitude = off.lon;
  FlownTrack t;
  t.objectId = 1;
  t.hexid = 701;
  t.callsign = "N701";
  // At 300 kt along the line from 30 s on (7.5 nm short of the first report), where the reports were
  // 120 s before.
  for (int i = 0; i <= 3500; ++i) {
    const double at = 30 + i * kDt;
    const Reported r = lf_east(at, (at - 120) / 12, Taken::Unknown);
    t.points.push_back({at, r.latitude, r.longitude, 5000, 90, false});
  }
  in.tracks.push_back(t);
  inferTaken(in, lf_options());
  for (std::size_t i = 0; i < a.positions.size(); ++i)
    EXPECT_EQ(a.positions[i].taken, i == 12 || i == 16 ? Taken::No : Taken::Yes) << i;
  // Allowed no lateness beyond the minute after the due time, every position is dropped but the stale
  // one, whose place the object passes within that minute (nothing taken before it to come after).
  Options strict = lf_options();
  strict.lateSeconds = 0;
  inferTaken(in, strict);
  for (std::size_t i = 0; i < a.positions.size(); ++i)
    EXPECT_EQ(a.positions[i].taken, i == 12 ? Taken::Yes : Taken::No) << i;
}

}  // namespace
}  // namespace amb::flightcheck

// ---- The flight profile ----

namespace amb::flightcheck {
namespace {

// A turn of `degPerS` for 10 s at `kt`, between 5 s straight before and after, the nose along the arc.
FlownTrack lf_turn(std::uint32_t id, double kt, double degPerS) {
  Builder b(id, id);
  b.point(0);
  b.fly(50, 0, kt);
  const double step = degPerS * kDt;
  double heading = 0;
  for (int i = 0; i < 100; ++i) {
    b.fly(1, heading + step / 2, kt, heading + step);
    heading += step;
  }
  b.fly(50, heading, kt);
  return b.track;
}

TEST(FlightProfile, TurnsAgainstTheRateTheCategorysBankAllows) {
  // 250 kt = 128.61 m/s. At 30 deg of bank (Large) a coordinated turn is 9.80665 * tan 30 / 128.61 =
  // 0.04402 rad/s = 2.52 deg/s: the bound is 1.2 * 2.52 + 0.5 = 3.53 deg/s. At 20 deg (Heavy) 1.59
  // deg/s, bound 2.41; at 35 deg 3.06 deg/s, bound 4.17.
  Input in;
  in.tracks = {lf_turn(1, 250, 3), lf_turn(2, 250, 5), lf_turn(3, 250, 3), lf_turn(4, 50, 20)};
  in.tracks[0].category = 2;  // Large at 3 deg/s: within
  in.tracks[1].category = 2;  // Large at 5 deg/s: beyond both banks
  in.tracks[2].category = 3;  // Heavy at 3 deg/s: beyond its own bank, within 35 deg
  in.tracks[3].category = 5;  // a helicopter slower than 60 kt may turn as it likes
  const Options o = categoryOptions(lf_options());
  const Figures f = measure(in, o);
  EXPECT_NEAR(lf_of(f, 1).bankTurnSeconds, 0.0, 1e-9);
  EXPECT_NEAR(lf_of(f, 2).bankTurnSeconds, 10.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 2).longestBankTurnSeconds, 10.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 2).worstBankTurnDegPerS, 5.0, 1e-3);
  EXPECT_NEAR(lf_of(f, 2).worstBankTurnBoundDegPerS, 3.527, 0.01);
  EXPECT_NEAR(lf_of(f, 2).fixedBankTurnSeconds, 10.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 3).bankTurnSeconds, 10.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 3).worstBankTurnBoundDegPerS, 2.408, 0.01);
  EXPECT_NEAR(lf_of(f, 3).fixedBankTurnSeconds, 0.0, 1e-9);
  EXPECT_NEAR(lf_of(f, 4).bankTurnSeconds, 0.0, 1e-9);
  EXPECT_EQ(f.aircraftBankTurn, 2u);
  EXPECT_EQ(f.aircraftFixedBankTurn, 1u);
  // The heavy's spell ends a bound; its nose stays on the path, so nothing else fails.
  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].bound, Bound::BankTurn);
}

// Flies `steps` of 0.1 s at `kt` (0: standing) with the nose turning `degPerStep` a step.
void lf_hold(Builder& b, int steps, double kt, double degPerStep = 0) {
  double heading = b.track.points.back().headingDeg;
  for (int i = 0; i < steps; ++i) {
    heading += degPerStep;
    b.fly(1, 90, kt, heading);
  }
}

TEST(FlightProfile, StandingStillAloftSlowFlightAndCrawling) {
  Input in;
  in.parkElevationFt = 13;  // no airport list: the field is the park airport's
  // An aeroplane at 3000 ft flies east at 250 kt and stands still twice, 4 s pivoting 1 deg a step,
  // then 2 s; a helicopter hovers 10 s; an aeroplane 50 ft above the field stands still 10 s.
  Builder still(1, 101);
  still.point(90);
  lf_hold(still, 300, 250);
  lf_hold(still, 40, 0, 1);
  lf_hold(still, 10, 250);
  lf_hold(still, 20, 0);
  lf_hold(still, 300, 250);
  Builder hover(2, 102);
  hover.point(90);
  lf_hold(hover, 100, 0);
  hover.track.category = 5;
  Builder low(3, 103);
  low.altitude = 63;
  low.point(90);
  lf_hold(low, 100, 0);
  // Reported every 10 s, 250 kt apart (0.694 nm), at 250 and 200 kt: the slowest airborne report
  // gives the slow-flight bound, 0.6 * 200 = 120 kt.
  for (std::uint32_t hexid : {101u, 104u, 105u}) {
    for (int i = 0; i <= 10; ++i)
      in.reported[hexid].positions.push_back({10.0 * i - 30, 40.0, -73.0 + i * 0.694 / 60 / std::cos(40 * kDegToRad),
                                              3000, i == 5 ? 200.0 : 250.0, true, Taken::Yes});
  }
  // Slow: 100 kt for its first 4 s (its first seconds are not judged), for 6 s and for 4 s later on;
  // another 100 kt for 10 s at 40 ft above the field (the flare).
  Builder slow(4, 104);
  slow.point(90);
  lf_hold(slow, 40, 100);
  lf_hold(slow, 300, 250);
  lf_hold(slow, 60, 100);
  lf_hold(slow, 100, 250);
  lf_hold(slow, 40, 100);
  lf_hold(slow, 100, 250);
  Builder flare(5, 105);
  flare.altitude = 53;
  flare.point(90);
  lf_hold(flare, 100, 250);
  lf_hold(flare, 100, 100);
  lf_hold(flare, 100, 250);
  in.tracks = {still.track, hover.track, low.track, slow.track, flare.track};
  const Options o = lf_options();
  const Figures f = measure(in, o);

  const AircraftFigures& s = lf_of(f, 1);
  EXPECT_NEAR(s.stillSeconds, 4.0, 1e-6);  // the 2-s stop is no spell
  EXPECT_EQ(s.stillSpells, 1u);
  EXPECT_NEAR(s.longestStillSeconds, 4.0, 1e-6);
  EXPECT_NEAR(s.stillAt, 30.0, 1e-6);
  EXPECT_NEAR(s.stillAltitudeFt, 3000.0, 1e-6);
  // The middles of the first and last interval of the pivot.
  EXPECT_NEAR(s.stillFromDeg, 90.5, 1e-3);
  EXPECT_NEAR(s.stillToDeg, 129.5, 1e-3);
  // Standing is slow flight too, but neither stop lasts 5 s.
  EXPECT_NEAR(s.slowBoundKt, 120.0, 1e-9);
  EXPECT_NEAR(s.slowSeconds, 0.0, 1e-9);
  EXPECT_NEAR(s.longestSlowSeconds, 4.0, 1e-6);
  // Both stops crawl while the reported legs go 250 kt.
  EXPECT_NEAR(s.crawlSeconds, 6.0, 1e-6);
  EXPECT_NEAR(lf_of(f, 2).stillSeconds, 0.0, 1e-9);
  EXPECT_NEAR(lf_of(f, 3).stillSeconds, 0.0, 1e-9);
  EXPECT_EQ(f.aircraftStill, 1u);

  const AircraftFigures& sl = lf_of(f, 4);
  EXPECT_NEAR(sl.slowSeconds, 6.0, 1e-6);
  EXPECT_NEAR(sl.longestSlowSeconds, 6.0, 1e-6);
  EXPECT_NEAR(sl.slowestFlownKt, 100.0, 0.5);
  EXPECT_NEAR(sl.stillSeconds, 0.0, 1e-9);
  EXPECT_NEAR(lf_of(f, 5).slowSeconds, 0.0, 1e-9);
  EXPECT_EQ(f.aircraftSlow, 1u);
  // Its positions go 250 kt: the 6-s spell at 100 kt is below 0.6 * 250 = 150 kt too.
  EXPECT_NEAR(sl.slowPaceSeconds, 6.0, 1e-6);
  EXPECT_EQ(f.aircraftSlowPace, 1u);

  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 3u);
  EXPECT_EQ(failed[0].bound, Bound::StandingStill);
  EXPECT_NE(failed[0].text.find("1 aeroplanes below 20 kt more than 100 ft above the field for 3 s"), std::string::npos)
      << failed[0].text;
  EXPECT_EQ(failed[1].bound, Bound::SlowFlight);
  EXPECT_EQ(failed[2].bound, Bound::SlowPace);
}

// An aeroplane flying east at 150 kt whose altitude follows `altitudeAt` (flown clock).
template <typename Altitude>
FlownTrack lf_profile(std::uint32_t id, double seconds, Altitude altitudeAt) {
  Builder b(id, id);
  b.altitude = altitudeAt(0.0);
  b.point(90);
  for (int i = 1; i <= static_cast<int>(std::lround(seconds / kDt)); ++i) {
    b.altitude = altitudeAt(i * kDt);
    b.fly(1, 90, 150);
  }
  return b.track;
}

// Up and down between 1000 and 1200 ft at 1200 ft/min: the peaks at 10 and 30 s, the trough at 20 s.
double lf_zigzag(double t) {
  const double phase = std::clamp(t, 0.0, 40.0);
  const double inLeg = std::fmod(phase, 20.0);
  return 1000 + 20 * (inLeg <= 10 ? inLeg : 20 - inLeg);
}

TEST(FlightProfile, PorpoisingWhereTheRecordsFlyLevelAndPlunges) {
  Input in;
  in.tracks.push_back(lf_profile(1, 60, lf_zigzag));  // the records fly level
  in.tracks.push_back(lf_profile(2, 60, lf_zigzag));  // the records zigzag the same way
  in.tracks.push_back(lf_profile(3, 60, [](double t) { return lf_zigzag(std::min(t, 20.0)); }));  // one reversal
  // 12,000 ft/min down for 6 s: over a 3-s window the vertical speed is beyond 6,000 ft/min exactly
  // while the window lies more than half in the dive, as long as the dive itself.
  in.tracks.push_back(lf_profile(4, 30, [](double t) { return 5000 - 200 * std::clamp(t - 10, 0.0, 6.0); }));
  in.tracks.push_back(lf_profile(5, 60, lf_zigzag));  // a helicopter bobbing where its records fly level
  in.tracks.back().category = 5;
  for (int i = 0; i <= 6; ++i) {
    const double t = 10.0 * i - 30;  // due 10 s apart from 0 s
    in.reported[1].positions.push_back({t, 40, -73, 1100, 150, true, Taken::Yes});
    in.reported[5].positions.push_back({t, 40, -73, 1100, 150, true, Taken::Yes});
    in.reported[2].positions.push_back({t, 40, -73, lf_zigzag(10.0 * i), 150, true, Taken::Yes});
  }
  const Options o = lf_options();
  const Figures f = measure(in, o);
  const AircraftFigures& p = lf_of(f, 1);
  EXPECT_EQ(p.porpoiseSpells, 1u);
  // The 3-s vertical speed passes -400 ft/min half a second after each peak, +400 after the trough.
  EXPECT_NEAR(p.porpoiseAt, 10.5, 0.11);
  EXPECT_NEAR(p.porpoiseUpFtMin, 1200.0, 1.0);
  EXPECT_NEAR(p.porpoiseDownFtMin, -1200.0, 1.0);
  EXPECT_EQ(lf_of(f, 2).porpoiseSpells, 0u);
  EXPECT_EQ(lf_of(f, 3).porpoiseSpells, 0u);
  EXPECT_EQ(lf_of(f, 5).porpoiseSpells, 1u);
  EXPECT_EQ(f.aircraftPorpoising, 2u);
  EXPECT_NEAR(lf_of(f, 4).steepSeconds, 6.0, 0.1 + 1e-6);
  EXPECT_NEAR(lf_of(f, 4).steepestFtMin, -12000.0, 1.0);
  EXPECT_EQ(f.aircraftSteep, 1u);
  EXPECT_NEAR(lf_of(f, 1).steepSeconds, 0.0, 1e-9);
  // The records' own profile: the zigzag at 1200 ft/min.
  EXPECT_NEAR(std::fabs(f.recordsSteepestFtMin), 1200.0, 1.0);
  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0].bound, Bound::Porpoising);
  EXPECT_EQ(failed[1].bound, Bound::VerticalSpeed);
}

TEST(FlightProfile, BelowTheFieldOfTheNearestAirport) {
  // Two airports, 13 ft and 400 ft, 10 nm apart; objects stand 10 ft (their CG) above the ground.
  Input in;
  in.cgFt = 10;
  in.parkElevationFt = 13;
  in.airports = {{"LOW", {40.0, -73.0}, 13, {}}, {"HIGH", {40.0, -72.8}, 400, {}}};
  const auto standing = [](std::uint32_t id, double lon, double altitude) {
    Builder b(id, 0, true);
    b.at = {40.0, lon};
    b.altitude = altitude;
    b.point(0);
    lf_hold(b, 100, 0);
    return b.track;
  };
  in.tracks = {standing(1, -73.0, 15), standing(2, -73.0, 20), standing(3, -72.8, 403), standing(4, -72.8, 410)};
  const Figures f = measure(in, lf_options());
  EXPECT_NEAR(lf_of(f, 1).belowGroundSeconds, 10.0, 1e-6);  // 8 ft below the low field
  EXPECT_NEAR(lf_of(f, 1).deepestBelowFt, 8.0, 1e-4);
  EXPECT_NEAR(lf_of(f, 2).belowGroundSeconds, 0.0, 1e-9);   // 3 ft: within a few feet
  EXPECT_NEAR(lf_of(f, 3).belowGroundSeconds, 10.0, 1e-6);  // 7 ft below the high one
  EXPECT_NEAR(lf_of(f, 4).belowGroundSeconds, 0.0, 1e-9);
  EXPECT_EQ(f.aircraftBelowGround, 2u);
  ASSERT_EQ(check(f, lf_options()).size(), 1u);
}

}  // namespace
}  // namespace amb::flightcheck

// ---- Touchdowns and removals ----

namespace amb::flightcheck {
namespace {

// A runway due east from 40N 73W, 2400 m long; x metres along it.
LatLon lf_along(double x) { return {40.0, -73.0 + x / (111132.95 * std::cos(40 * kDegToRad))}; }

FlownTrack lf_track(std::uint32_t id, std::uint32_t hexid, std::string callsign) {
  FlownTrack t;
  t.objectId = id;
  t.hexid = hexid;
  t.callsign = std::move(callsign);
  return t;
}

// A flown point x metres along the runway's line at altitude alt.
FlownPoint lf_on(double t, double x, double alt, bool ground) {
  const LatLon p = lf_along(x);
  return {t, p.lat, p.lon, static_cast<float>(alt), 90, ground};
}

TEST(FlightCheck, TouchdownsAgainstWhereAndWhenTheRecordsTouchDown) {
  Input in;
  in.parkElevationFt = 13;
  Airport airport{"KTST", {40.0, -72.99}, 13, {}};
  airport.runways.push_back({{"09", "27"}, {lf_along(0), lf_along(2400)}, 2400, 45});
  in.airports.push_back(airport);
  // The records descend at 12 ft/s from 20 s to 40 s, then repeat 120 ft (at 40 s and 50 s) and
  // report the ground at 60 s. From 120 ft at 40 s at 12 ft/s they reach the field (13 ft) at
  // 40 + 107 / 12 = 48.92 s, due at 78.92 s; they fly 66.88 m/s along the runway's line, 300 m along
  // it then. Their slowest airborne speed, the approach speed, is 130 kt. Their one ground record
  // lies 300 + 66.88 * 11.083 = 1041.2 m along the runway's line: the line of their ground positions
  // is that point, reaching back 600 m the way they came.
  const double alts[] = {600, 480, 360, 240, 120, 120, 0};
  const double speeds[] = {140, 140, 135, 130, 130, 130, 40};
  for (std::uint32_t hexid : {201u, 202u, 203u}) {
    ReportedAircraft& a = in.reported[hexid];
    a.callsign = "A" + std::to_string(hexid);
    for (int i = 0; i < 7; ++i) {
      const double t = 10.0 * (i == 5 ? 4 : i);
      const LatLon p = lf_along(300 + 66.88 * (t - 48.9167));
      a.records.push_back({10.0 * i, p.lat, p.lon, alts[i], speeds[i]});
    }
  }
  // 201 flies 140 kt (72.02 m/s) down at 12 ft/s and touches down at 80 s, 500 m along the runway.
  // 202 floats at 60 kt (30.87 m/s) to touch down at 100 s 1500 m along, and bounces at 105 s.
  // 203 flies level 200 ft above the field and is removed in the air at 90 s.
  FlownTrack a = lf_track(1, 201, "A201"), b = lf_track(2, 202, "A202"), c = lf_track(3, 203, "A203");
  c.removedAt = 90;
  for (int i = 400; i <= 1200; ++i) {
    const double t = i * kDt;
    a.points.push_back(t < 80 ? lf_on(t, 500 - 72.02 * (80 - t), 13 + 12 * (80 - t), false)
                              : lf_on(t, 500 + 72.02 * (t - 80), 13, true));
    const bool bounce = t >= 105 && t < 106;
    b.points.push_back(t < 100 ? lf_on(t, 1500 - 30.87 * (100 - t), 13 + 6 * (100 - t), false)
                               : lf_on(t, 1500 + 30.87 * (t - 100), bounce ? 33 : 13, !bounce));
    if (t <= 90) c.points.push_back(lf_on(t, 72.02 * (t - 40), 213, false));
  }
  in.tracks = {a, b, c};
  const Options o = lf_options();
  const Figures f = measure(in, o);
  ASSERT_EQ(f.arrivals.size(), 3u);
  for (const Arrival& x : f.arrivals) {
    SCOPED_TRACE(x.hexid);
    EXPECT_EQ(x.airport, "KTST");
    EXPECT_DOUBLE_EQ(x.airborneAt, 40.0);  // the repeat keeps the time it was first reported
    EXPECT_DOUBLE_EQ(x.groundAt, 60.0);
    EXPECT_NEAR(x.recordedTouchdownAt, 48.917, 0.001);
    EXPECT_NEAR(x.approachKt, 130.0, 1e-9);
    EXPECT_TRUE(x.flown);
    EXPECT_FALSE(x.feedStopped);
    EXPECT_FALSE(x.endedInAir);
    EXPECT_NEAR(x.recordedAlongM, 300.0, 1.0);
  }
  const Arrival& on = f.arrivals[0];
  EXPECT_TRUE(on.touchedDown);
  EXPECT_NEAR(on.touchdownAt, 80.0, 1e-6);
  EXPECT_NEAR(on.lateSeconds, 1.083, 0.001);
  EXPECT_TRUE(on.inTime);
  EXPECT_EQ(on.runway, "09");
  EXPECT_NEAR(on.alongM, 500.0, 1.0);
  EXPECT_NEAR(on.runwayLengthM, 2400.0, 1.0);
  EXPECT_NEAR(on.lateralM, 0.0, 1.0);
  // On the line reaching back from the ground record, 541 m before it: within 600 m.
  EXPECT_NEAR(on.offLineM, 0.0, 1.0);
  EXPECT_NEAR(on.alongLineM, -541.2, 1.0);
  EXPECT_TRUE(on.placeHolds);
  EXPECT_TRUE(std::isnan(on.airborneAgainAt));
  EXPECT_NEAR(on.flareKt, 140.0, 0.5);
  EXPECT_FALSE(on.slowFlare);

  const Arrival& floats = f.arrivals[1];
  EXPECT_NEAR(floats.lateSeconds, 21.083, 0.001);
  EXPECT_FALSE(floats.inTime);
  EXPECT_NEAR(floats.alongM, 1500.0, 1.0);
  // 1500 m along: 458.8 m past the records' ground position, farther than 150 m from their line.
  EXPECT_NEAR(floats.offLineM, 458.8, 1.0);
  EXPECT_NEAR(floats.alongLineM, 458.8, 1.0);
  EXPECT_FALSE(floats.placeHolds);
  EXPECT_NEAR(floats.airborneAgainAt, 105.0, 1e-6);
  EXPECT_NEAR(floats.flareKt, 60.0, 0.5);
  EXPECT_TRUE(floats.slowFlare);  // below 0.8 * 130 = 104 kt

  const Arrival& never = f.arrivals[2];
  EXPECT_FALSE(never.touchedDown);
  EXPECT_FALSE(never.inTime);
  EXPECT_EQ(never.why, "its object removed in the air at 90.0 s, 200 ft above the field");

  EXPECT_EQ(f.arrivalsJudged, 3u);
  EXPECT_EQ(f.arrivalsLate, 2u);
  EXPECT_EQ(f.arrivalsLong, 1u);
  EXPECT_EQ(f.arrivalsUpAgain, 1u);
  EXPECT_EQ(f.arrivalsSlowFlare, 1u);
  std::vector<Bound> failed;
  for (const FailedBound& x : failedBounds(f, o)) failed.push_back(x.bound);
  EXPECT_EQ(failed, (std::vector<Bound>{Bound::TouchdownTime, Bound::TouchdownPlace, Bound::StaysDown, Bound::Flare}));
  std::ostringstream out;
  print(out, f, o, false);
  EXPECT_NE(out.str().find("A203 (203)"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("NEVER TOUCHED DOWN: its object removed in the air at 90.0 s"), std::string::npos)
      << out.str();
}

// The feed stops above the field: the records descend at 12 ft/s from 20 s to 40 s, then hold 400 ft
// from 40 s to 90 s while their positions go on, and report the ground at 100 s. Their descent would
// reach the field (13 ft) at 40 + 387 / 12 = 72.25 s, 27.75 s before the ground record: more than 20 s,
// so the records do not say when the aircraft came down, and the touchdown's place is judged instead
// of its time, against their last airborne positions (from -1800 m at 20 s to 2400 m at 90 s along
// the runway's line, flown east): on the field, within 600 m of their line carried on east, and not
// more than 600 m behind where they began to hold 400 ft (-600 m). The runway is told, not judged.
TEST(FlightCheck, WhereTheFeedStopsAboveTheFieldThePlaceIsJudgedNotTheTime) {
  Input in;
  in.parkElevationFt = 13;
  Airport airport{"KTST", {40.0, -72.99}, 13, {}};
  airport.runways.push_back({{"09", "27"}, {lf_along(0), lf_along(2400)}, 2400, 45});
  in.airports.push_back(airport);
  const double alts[] = {640, 400, 400, 400, 400, 400, 400, 400, 0};
  const double times[] = {20, 40, 50, 60, 70, 80, 90, 90, 100};
  // 301 touches down 1000 m along, 302 1500 m along, 303 40 m short of the threshold, 304 1400 m
  // short of it (800 m behind -600 m), and 305 1000 m along but 700 m north of the line, all at 130 s
  // when the ground record is due (30 s after it): 130 - (72.25 + 30) = 27.75 s late on the records'
  // descent, but in time is not asked of them.
  const std::tuple<std::uint32_t, double, double> touchdowns[] = {
      {301u, 1000, 0}, {302u, 1500, 0}, {303u, -40, 0}, {304u, -1400, 0}, {305u, 1000, 700}};
  for (const auto& [hexid, x, north] : touchdowns) {
    ReportedAircraft& a = in.reported[hexid];
    a.callsign = "B" + std::to_string(hexid);
    for (int i = 0; i < 9; ++i) {
      const LatLon p = lf_along(-3000 + 60 * times[i]);
      a.records.push_back({times[i], p.lat, p.lon, alts[i], 120});
    }
  }
  std::vector<FlownTrack> tracks;
  for (const auto& [hexid, x, north] : touchdowns) {
    FlownTrack t = lf_track(hexid, hexid, "B" + std::to_string(hexid));
    for (int i = 700; i <= 1700; ++i) {
      const double s = i * kDt;
      t.points.push_back(s < 130 ? lf_on(s, x - 60 * (130 - s), 13 + 8 * (130 - s), false)
                                 : lf_on(s, x + 60 * (s - 130), 13, true));
      t.points.back().latitude += north / 111132.95;
    }
    tracks.push_back(t);
  }
  in.tracks = tracks;
  const Options o = lf_options();
  const Figures f = measure(in, o);
  ASSERT_EQ(f.arrivals.size(), 5u);
  for (const Arrival& x : f.arrivals) {
    SCOPED_TRACE(x.hexid);
    EXPECT_NEAR(x.recordedTouchdownAt, 72.25, 0.001);
    EXPECT_TRUE(x.feedStopped);
    EXPECT_TRUE(x.touchedDown);
    EXPECT_NEAR(x.lateSeconds, 27.75, 0.001);
    EXPECT_FALSE(x.inTime);
    EXPECT_EQ(x.field, "KTST");
    EXPECT_TRUE(x.onField);
  }
  // Along the line from where the records began to hold 400 ft (-600 m), and off it.
  const double along[] = {1600, 2100, 560, -800, 1600};
  const double off[] = {0, 0, 0, 0, 700};
  for (std::size_t k = 0; k < 5; ++k) {
    EXPECT_NEAR(f.arrivals[k].alongLineM, along[k], 1.0) << k;
    EXPECT_NEAR(f.arrivals[k].offLineM, off[k], 1.0) << k;
    EXPECT_EQ(f.arrivals[k].placeHolds, k < 3) << k;
  }
  EXPECT_EQ(f.arrivalsLate, 0u);
  EXPECT_EQ(f.arrivalsLong, 2u);
  std::vector<Bound> failed;
  for (const FailedBound& x : failedBounds(f, o)) failed.push_back(x.bound);
  EXPECT_EQ(failed, (std::vector<Bound>{Bound::TouchdownPlace}));
  std::ostringstream out;
  print(out, f, o, false);
  EXPECT_NE(out.str().find("(+27.8 s, the feed stopped above the field), 0 m off the line of the records' last "
                           "positions, +1600 m along it, on KTST, 09 1000 m past the threshold of 2400, 0 m off the "
                           "centre line (the records 1335 m)"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("-800 m along it, on KTST AWAY FROM THE RECORDS, off the runways"), std::string::npos)
      << out.str();
}

TEST(FlightCheck, AnObjectRemovedWhileItsAircraftIsReportedAndNeverCreatedAgain) {
  Input in;
  const auto track = [](std::uint32_t id, std::uint32_t hexid, std::string callsign, double to, double removedAt) {
    FlownTrack t = lf_track(id, hexid, std::move(callsign));
    t.removedAt = removedAt;
    for (int i = 0; i <= static_cast<int>(std::lround(to / kDt)); ++i) {
      const Reported r = lf_east(i * kDt, i * kDt / 12, Taken::Unknown);
      t.points.push_back({i * kDt, r.latitude, r.longitude, 5000, 90, false});
    }
    return t;
  };
  // 301 is removed at 50 s; its records bring a new position due at 60 s and repeat it until 80 s.
  // 302 is removed at 60 s; its records only repeat a position due at 50 s, until 95 s: nothing new.
  // 303 is removed at 40 s while reported to 90 s, and an object of its callsign is created at 45 s.
  in.tracks = {track(1, 301, "N301", 50, 50), track(2, 302, "N302", 100, 60), track(3, 303, "N303", 40, 40)};
  FlownTrack again = track(4, 0, "N303_", 0, NAN);
  again.createdAt = 45;
  in.tracks.push_back(again);
  for (int t = -30; t <= 50; t += 10) {
    in.reported[301].positions.push_back(lf_east(t, std::min(t, 30) / 12.0, Taken::Yes));
    in.reported[302].positions.push_back(lf_east(t + 5, std::min(t + 5, 20) / 12.0, Taken::Yes));
    in.reported[303].positions.push_back(lf_east(t + 10, (t + 10) / 12.0, Taken::Yes));
  }
  const Figures f = measure(in, lf_options());
  ASSERT_EQ(f.removedNotRecreated.size(), 1u);
  const Removal& r = f.removedNotRecreated[0];
  EXPECT_EQ(r.hexid, 301u);
  EXPECT_EQ(r.objectId, 1u);
  EXPECT_DOUBLE_EQ(r.removedAt, 50.0);
  EXPECT_DOUBLE_EQ(r.reportedUntil, 80.0);
  EXPECT_FALSE(r.onGround);
  // Each vanished at 5000 ft while the feed sent new positions (received on the flown clock as
  // reported: the delay is the display delay), the one created again too.
  ASSERT_EQ(f.removedAloftLive.size(), 3u);
  EXPECT_EQ(f.removedAloftLive[0].hexid, 303u);
  EXPECT_DOUBLE_EQ(f.removedAloftLive[0].receivedAt, 40.0);
  EXPECT_EQ(f.removedAloftLive[1].hexid, 301u);
  EXPECT_DOUBLE_EQ(f.removedAloftLive[1].receivedAt, 30.0);
  EXPECT_EQ(f.removedAloftLive[2].hexid, 302u);
  EXPECT_DOUBLE_EQ(f.removedAloftLive[2].receivedAt, 25.0);
  const auto failed = failedBounds(f, lf_options());
  ASSERT_EQ(failed.size(), 2u);
  EXPECT_EQ(failed[0].bound, Bound::RemovedNotRecreated);
  EXPECT_EQ(failed[1].bound, Bound::RemovedAloftLive);
}

}  // namespace
}  // namespace amb::flightcheck

// ---- The airborne cross-track against the records ----

namespace amb::flightcheck {
namespace {

// x metres east and y metres north of 40N 73W.
LatLon lf_xy(double x, double y) {
  constexpr double m = 111132.95;
  return {40.0 + y / m, -73.0 + x / (m * std::cos(40 * kDegToRad))};
}

constexpr double kMps = 128.6;  // 250 kt

// Records every 10 s from 0 to 300 s at `feet`, where `path` puts them at a reported time.
ReportedAircraft lf_records(int category, double feet, const std::function<LatLon(double)>& path) {
  ReportedAircraft a;
  a.category = category;
  for (int t = 0; t <= 300; t += 10) {
    const LatLon p = path(t);
    a.records.push_back({static_cast<double>(t), p.lat, p.lon, feet, 250});
  }
  return a;
}

// An object flying `path` of the due time 30 s late, a point every 0.5 s from 30.5 s to 340.5 s.
FlownTrack lf_flown(std::uint32_t hexid, int category, double feet, const std::function<LatLon(double)>& path) {
  FlownTrack t;
  t.objectId = hexid;
  t.hexid = hexid;
  t.callsign = "X" + std::to_string(hexid);
  t.category = category;
  for (double s = 30.5; s <= 340.5 + 1e-9; s += 0.5) {
    const LatLon p = path(s - 30);
    t.points.push_back({s, p.lat, p.lon, static_cast<float>(feet), 90, false});
  }
  return t;
}

// Once a flown second from 2 s after an object's first point to 2 s before its last, while the
// recording lasts (due at most 300 s): 298 seconds an aircraft. A flies 200 m beside its straight
// records for a minute, starting over an airport (low within 10 nm of it for 142 s; the nearer
// field of runways only is no airport here); B's records jump 3 km sideways between 100 and 110 s
// and C's turn back at 100 s (the seconds due within 30 s of a leg of either are near them: 70 and
// 60); a helicopter is not measured.
TEST(CrossTrack, AgainstTheRecordsPolylineInAllAndSplit) {
  Input in;
  in.delaySeconds = 30;
  in.airports = {{"KLOW", lf_xy(0, 0), 0, {}}, {"X1", lf_xy(30000, 0), 0, {}, true}};
  const auto line = [](double y) { return [y](double t) { return lf_xy(kMps * t, y); }; };
  const auto beside = [](double t) { return lf_xy(kMps * t, t >= 100 && t < 160 ? 200 : 0); };
  const auto jump = [](double t) { return lf_xy(kMps * t, t < 105 ? 0 : 3000); };
  const auto back = [](double t) { return lf_xy(kMps * (t <= 100 ? t : 200 - t), 0); };
  in.reported[1] = lf_records(2, 2000, line(0));
  in.tracks.push_back(lf_flown(1, 2, 2000, beside));
  in.reported[2] = lf_records(2, 4000, jump);
  in.tracks.push_back(lf_flown(2, 2, 4000, jump));
  in.reported[3] = lf_records(2, 4000, back);
  in.tracks.push_back(lf_flown(3, 2, 4000, back));
  in.reported[4] = lf_records(5, 1000, line(0));
  in.tracks.push_back(lf_flown(4, 5, 1000, line(500)));
  Options o;
  const Figures f = measure(in, o);
  const CrossTrackFigures& x = f.crossTrack;
  EXPECT_EQ(x.all.n, 3u * 298);
  EXPECT_EQ(x.awayFromJumps.n, 3u * 298 - 70 - 60);
  EXPECT_EQ(x.lowNearAirport.n, 142u);
  EXPECT_EQ(x.aboveOrFarther.n, 3u * 298 - 142);
  EXPECT_NEAR(x.awayFromJumps.p95, 200, 1);
  EXPECT_NEAR(x.awayFromJumps.p50, 0, 1);
  EXPECT_NEAR(x.lowNearAirport.p95, 200, 1);
  EXPECT_NEAR(x.aboveOrFarther.p95, 0, 1);
  // B's jump is flown as a jump: within the 10 s between its two records it is off the path.
  EXPECT_GT(x.all.max, 300);
  const auto of = [&](std::uint32_t hexid) {
    return *std::find_if(f.aircraft.begin(), f.aircraft.end(), [&](const auto& a) { return a.hexid == hexid; });
  };
  EXPECT_EQ(of(1).crossTrackSeconds, 298u);
  EXPECT_NEAR(of(1).crossTrackP95Metres, 200, 1);
  EXPECT_NEAR(of(1).crossTrackMaxMetres, 200, 1);
  EXPECT_EQ(of(4).crossTrackSeconds, 0u);

  // Bounds only where given; each of the four fails by itself. (C's nose stays east as it flies back
  // west, which is none of these.)
  const auto crossTrackFailed = [&]() {
    std::vector<FailedBound> out;
    for (FailedBound& b : failedBounds(f, o))
      if (b.bound >= Bound::CrossTrackAll && b.bound <= Bound::CrossTrackHigh) out.push_back(std::move(b));
    return out;
  };
  EXPECT_TRUE(crossTrackFailed().empty());
  o.maxCrossTrackAwayP95Metres = 150;
  o.maxCrossTrackLowP95Metres = 250;
  const auto failed = crossTrackFailed();
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].bound, Bound::CrossTrackAway);
  EXPECT_NE(failed[0].text.find("away from the records' jumps: p95 200 m (at most 150 m)"), std::string::npos)
      << failed[0].text;
}

}  // namespace
}  // namespace amb::flightcheck

// ---- Against the records: turn-rounds, the positions' pace, removals while the feed is live,
// roll-outs, touchdowns on the records' lines, porpoising where the records swing ----

namespace amb::flightcheck {
namespace {

// A reported airborne position `nm` east of 40N 73W at reported time t, with a track and a speed.
Reported lf_report(double t, double nm, double trackDeg, double kt) {
  return {t, 40.0, -73.0 + nm / 60 / std::cos(40 * kDegToRad), 3000, kt, true, Taken::Unknown, trackDeg};
}

// East at 150 kt for 20 s, then the nose turning right 0.5 deg every 0.1 s (5 deg/s, each step's
// chord along the heading at its middle) for `turnSteps` steps, then straight on for 30 s.
FlownTrack lf_turning(std::uint32_t id, int turnSteps) {
  Builder b(id, id);
  b.point(90);
  b.fly(200, 90, 150);
  double heading = 90;
  for (int i = 0; i < turnSteps; ++i) {
    b.fly(1, heading + 0.25, 150, heading + 0.5);
    heading += 0.5;
  }
  b.fly(300, heading, 150);
  return b.track;
}

// 1 turns 200 deg while its records report 90 deg all along; 2 flies the same while its records'
// tracks turn with it (140 deg due at 30 s, 290 deg from 60 s); 3 turns 170 deg only; 4 is a
// helicopter. The heading at the intervals' middles has turned 0.5 k + 0.25 deg by 20.05 + 0.1 k s:
// past 180 deg first at 56.05 s (180.25), counted from 19.95 s, the last middle before the turn.
// The records due from 19.95 s to 56.05 s, and the one before and after, report 90 deg: one
// turn-round; 2's report 90 to 290 deg, 160 apart: the records turn round too.
TEST(AgainstRecords, TurnRoundsWhereTheRecordsTracksDoNotTurn) {
  Input in;
  in.tracks = {lf_turning(1, 400), lf_turning(2, 400), lf_turning(3, 340), lf_turning(4, 400)};
  in.tracks[3].category = 5;
  for (std::uint32_t hexid : {1u, 2u, 3u, 4u})
    for (int due = 0; due <= 100; due += 10) {
      const double track = hexid == 2 ? 90 + 5 * std::clamp(due - 20, 0, 40) : 90;
      in.reported[hexid].positions.push_back(lf_report(due - 30, due * 150 / 3600.0, track, 150));
    }
  const Options o = lf_options();
  const Figures f = measure(in, o);
  const AircraftFigures& a = lf_of(f, 1);
  EXPECT_EQ(a.turnRounds, 1u);
  EXPECT_NEAR(a.turnRoundFrom, 19.95, 1e-6);
  EXPECT_NEAR(a.turnRoundTo, 56.05, 1e-6);
  EXPECT_NEAR(a.turnRoundDeg, 180.25, 1e-3);
  EXPECT_NEAR(a.turnRoundRecordsDeg, 0, 1e-9);
  EXPECT_EQ(lf_of(f, 2).turnRounds, 0u);
  EXPECT_EQ(lf_of(f, 2).turnRoundsWithRecords, 1u);
  EXPECT_EQ(lf_of(f, 3).turnRounds + lf_of(f, 3).turnRoundsWithRecords, 0u);
  EXPECT_EQ(lf_of(f, 4).turnRounds + lf_of(f, 4).turnRoundsWithRecords, 0u);
  EXPECT_EQ(f.turnRounds, 1u);
  EXPECT_EQ(f.aircraftTurnRound, 1u);
  EXPECT_EQ(f.turnRoundsWithRecords, 1u);
  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].bound, Bound::TurnRound);
  EXPECT_NE(failed[0].text.find("1 turn-rounds of 1 aeroplanes"), std::string::npos) << failed[0].text;
  std::ostringstream timeline;
  printTimeline(timeline, in, o, "T1");
  EXPECT_NE(timeline.str().find("56.05 flown"), std::string::npos) << timeline.str();
  EXPECT_NE(timeline.str().find(" TURNROUND\n"), std::string::npos) << timeline.str();
}

// An A321 climbing out whose reported speed froze at 43 kt while its positions move on at 200 kt
// (0.5556 nm every 10 s): flying 86 kt from 40 s to 70 s is 30 s below 0.6 * 200 = 120 kt, which
// the slowest reported speed (0.6 * 43 = 25.8 kt) never shows. Another flies 200 kt along positions
// of which the one due at 30 s lies 3 km north and back: 4 legs of 1029 m and 2 of 3172 m make 338.8
// kt over the minute, the legs' median 200 kt: the records' jump is no pace of the aircraft.
TEST(AgainstRecords, SlowAgainstTheSpeedThePositionsImply) {
  Input in;
  Builder slow(1, 11);
  slow.point(90);
  slow.fly(400, 90, 200);
  slow.fly(300, 90, 86);
  slow.fly(500, 90, 200);
  Builder steady(2, 12);
  steady.point(90);
  steady.fly(1200, 90, 200);
  in.tracks = {slow.track, steady.track};
  for (int due = 0; due <= 120; due += 10) {
    in.reported[11].positions.push_back(lf_report(due - 30, due * 200 / 3600.0, 90, 43));
    Reported r = lf_report(due - 30, due * 200 / 3600.0, 90, 200);
    if (due == 30) r.latitude += 3000 / 111132.95;
    in.reported[12].positions.push_back(r);
  }
  const Options o = lf_options();
  const Figures f = measure(in, o);
  const AircraftFigures& a = lf_of(f, 1);
  EXPECT_NEAR(a.slowSeconds, 0.0, 1e-9);
  EXPECT_NEAR(a.slowPaceSeconds, 30.0, 1e-6);
  EXPECT_NEAR(a.longestSlowPaceSeconds, 30.0, 1e-6);
  EXPECT_NEAR(a.slowPaceAt, 40.0, 1e-6);
  EXPECT_NEAR(a.slowPaceFlownKt, 86.0, 0.5);
  EXPECT_NEAR(a.slowPacePositionsKt, 200.0, 0.5);
  EXPECT_NEAR(lf_of(f, 2).slowPaceSeconds, 0.0, 1e-9);
  EXPECT_EQ(f.aircraftSlowPace, 1u);
  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].bound, Bound::SlowPace);
}

// Delay 31 s, as a trace fits it: a position is received 1 s after its reported time on the flown
// clock. 601, removed at 100 s at 5000 ft, had a new position received at 51 s (then only its
// repeats): 49 s before. 602's last new position came at 31 s, 69 s before; 603 was 80 ft above the
// field; 604 is removed as the flown clock ends, 9 s after a new position.
TEST(AgainstRecords, RemovedInTheAirWhileTheFeedSendsNewPositions) {
  Input in;
  in.delaySeconds = 31;
  const auto track = [](std::uint32_t hexid, double to, float altitude) {
    FlownTrack t = lf_track(hexid, hexid, "R" + std::to_string(hexid));
    for (int i = 0; i <= static_cast<int>(std::lround(to / kDt)); ++i) {
      const Reported r = lf_east(i * kDt, i * kDt / 12, Taken::Unknown);
      t.points.push_back({i * kDt, r.latitude, r.longitude, altitude, 90, false});
    }
    t.removedAt = to;
    return t;
  };
  in.tracks = {track(601, 100, 5000), track(602, 100, 5000), track(603, 100, 80), track(604, 200, 5000)};
  const std::pair<std::uint32_t, int> lastNew[] = {{601u, 50}, {602u, 30}, {603u, 50}, {604u, 190}};
  for (const auto& [hexid, until] : lastNew)
    for (int t = 0; t <= 190; t += 10)
      in.reported[hexid].positions.push_back(lf_east(t, std::min(t, until) / 12.0, Taken::Unknown));
  const Options o = lf_options();
  const Figures f = measure(in, o);
  ASSERT_EQ(f.removedAloftLive.size(), 1u);
  const LiveRemoval& r = f.removedAloftLive[0];
  EXPECT_EQ(r.hexid, 601u);
  EXPECT_DOUBLE_EQ(r.removedAt, 100.0);
  EXPECT_DOUBLE_EQ(r.receivedAt, 51.0);
  EXPECT_NEAR(r.heightFt, 5000.0, 1e-9);
  EXPECT_TRUE(std::isnan(r.createdAgainAt));
  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].bound, Bound::RemovedAloftLive);
  std::ostringstream out;
  print(out, f, o, false);
  EXPECT_NE(out.str().find("R601 (601) object 601 removed at 100.0 s 5000 ft above the field, a new position "
                           "received at 51.0 s\n"),
            std::string::npos)
      << out.str();
}

// A business jet (Buzjets) comes down at 600 ft/min and touches down at 30 s; its records, every one
// airborne, report 130 kt due at 10 and 20 s, then 88, 48 and 39 kt due at 30, 40 and 50 s. 701
// rolls on at 126 kt until 90 s: above max(the records' speed, 30) + 20 kt from its touchdown to
// 90 s, when it slows below 30 kt: 60 s, the most (67 kt) from 50.05 s where the records' last says
// 39 kt. 702 touches down at 100 kt and slows 4 kt a second: 8 kt under the bound, then more, until
// 30 kt at 47.5 s.
TEST(AgainstRecords, RollOutsFasterThanTheRecordsSlow) {
  Input in;
  in.parkElevationFt = 13;
  const auto landing = [](std::uint32_t hexid, const std::function<double(double)>& rollKt) {
    Builder b(hexid, hexid);
    b.altitude = 313;
    b.point(90);
    for (int i = 1; i <= 300; ++i) {
      b.altitude = 13 + 10 * (30 - i * kDt);
      b.fly(1, 90, 130);
    }
    b.onGround = true;
    b.altitude = 13;
    for (int i = 0; i < 700; ++i) b.fly(1, 90, rollKt(30 + i * kDt));
    b.track.category = 1;
    return b.track;
  };
  in.tracks = {landing(701, [](double t) { return t < 90 ? 126.0 : 20.0; }),
               landing(702, [](double t) { return std::max(100 - 4 * (t - 30), 20.0); })};
  const double dues[] = {10, 20, 30, 40, 50}, speeds[] = {130, 130, 88, 48, 39};
  for (std::uint32_t hexid : {701u, 702u})
    for (int k = 0; k < 5; ++k) in.reported[hexid].positions.push_back(lf_report(dues[k] - 30, k * 0.4, 90, speeds[k]));
  const Options o = lf_options();
  const Figures f = measure(in, o);
  const AircraftFigures& a = lf_of(f, 701);
  EXPECT_EQ(a.fastRollOuts, 1u);
  EXPECT_NEAR(a.fastRollOutSeconds, 60.0, 1e-6);
  EXPECT_NEAR(a.longestFastRollOutSeconds, 60.0, 1e-6);
  EXPECT_NEAR(a.fastRollOutAt, 30.0, 1e-6);
  EXPECT_NEAR(a.fastRollOutKt, 126.0, 0.5);
  EXPECT_NEAR(a.fastRollOutRecordsKt, 39.0, 1e-9);
  EXPECT_EQ(lf_of(f, 702).fastRollOuts, 0u);
  EXPECT_NEAR(lf_of(f, 702).longestFastRollOutSeconds, 0.0, 1e-9);
  EXPECT_EQ(f.aircraftFastRollOut, 1u);
  const auto failed = failedBounds(f, o);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].bound, Bound::FastRollOut);
}

// A runway due east from 40N 73W, 2400 m; the field KTST at 1200 m along it, 13 ft.
Input lf_field() {
  Input in;
  in.parkElevationFt = 13;
  Airport airport{"KTST", lf_xy(1200, 0), 13, {}};
  airport.runways.push_back({{"09", "27"}, {lf_xy(0, 0), lf_xy(2400, 0)}, 2400, 45});
  in.airports.push_back(airport);
  return in;
}

// An object flying east at 130 kt (66.88 m/s) down at 600 ft/min to touch down at (x, y) at time
// `at`, then rolling 30 m/s for 20 s; in the air for 40 s before.
FlownTrack lf_landing(std::uint32_t hexid, double x, double y, double at) {
  FlownTrack t = lf_track(hexid, hexid, "L" + std::to_string(hexid));
  for (int i = -400; i <= 200; ++i) {
    const double s = at + i * kDt;
    const bool down = i >= 0;
    const LatLon p = lf_xy(down ? x + 30 * (s - at) : x - 66.88 * (at - s), y);
    t.points.push_back({s, p.lat, p.lon, static_cast<float>(down ? 13 : 13 + 10 * (at - s)), 90, down});
  }
  return t;
}

// Records that report the ground: in the air at -2000, -1000 and 0 m along the runway's line (600,
// 300 and 100 ft, 10 s apart), on the ground at 1000, 1500 and 1700 m (30-50 s). Their descent from
// 600 ft at 25 ft/s reaches the field at 20 + 87 / 25 = 23.48 s, due at 53.48 s; their ground line
// reaches back 600 m from 1000 m the way they came (east). Touching down at 53.5 s: 211 100 m north
// of 800 m and 213 on 450 m lie on it (200 and 550 m before the first ground record); 212 200 m north
// of 800 m lies 200 m off it, 214 on 350 m 650 m before the first.
// Records that end in the air: at -3000, -2300 and -1600 m at 1000, 800 and 600 ft, track 90, 2800
// m (1.5 nm) from KTST; their line carried on east from -1600 m. Touching down at 80 s: 221 300 m
// north of 500 m (2100 m along, 762 m from KTST) holds; 222 700 m north of it lies 700 m off the line;
// 223 on -2400 m lies 800 m behind the last position; 224 on 9000 m, 7800 m (4.2 nm) from KTST, is
// off the field. Their time is not judged.
TEST(FlightCheck, TouchdownsAgainstTheLinesOfTheRecords) {
  Input in = lf_field();
  const double groundX[] = {-2000, -1000, 0, 1000, 1500, 1700}, groundAlt[] = {600, 300, 100, 0, 0, 0};
  const double groundKt[] = {140, 130, 130, 60, 30, 15};
  const std::tuple<std::uint32_t, double, double> ground[] = {
      {211u, 800, 100}, {212u, 800, 200}, {213u, 450, 0}, {214u, 350, 0}};
  for (const auto& [hexid, x, y] : ground) {
    for (int k = 0; k < 6; ++k) {
      const LatLon p = lf_xy(groundX[k], 0);
      in.reported[hexid].records.push_back({10.0 * k, p.lat, p.lon, groundAlt[k], groundKt[k], 90});
    }
    in.tracks.push_back(lf_landing(hexid, x, y, 53.5));
  }
  const std::tuple<std::uint32_t, double, double> ended[] = {
      {221u, 500, 300}, {222u, 500, 700}, {223u, -2400, 0}, {224u, 9000, 0}};
  for (const auto& [hexid, x, y] : ended) {
    for (int k = 0; k < 3; ++k) {
      const LatLon p = lf_xy(-3000 + 700 * k, 0);
      in.reported[hexid].records.push_back({10.0 * k, p.lat, p.lon, 1000 - 200.0 * k, 140, 90});
    }
    in.tracks.push_back(lf_landing(hexid, x, y, 80));
  }
  const Options o = lf_options();
  const Figures f = measure(in, o);
  ASSERT_EQ(f.arrivals.size(), 8u);
  const auto of = [&](std::uint32_t hexid) {
    return *std::find_if(f.arrivals.begin(), f.arrivals.end(), [&](const Arrival& a) { return a.hexid == hexid; });
  };
  // hexid, metres along the line, off it, holds.
  const std::tuple<std::uint32_t, double, double, bool> expected[] = {
      {211u, -200, 100, true}, {212u, -200, 200, false}, {213u, -550, 0, true},  {214u, -650, 50, false},
      {221u, 2100, 300, true}, {222u, 2100, 700, false}, {223u, -800, 0, false}, {224u, 10600, 0, false}};
  for (const auto& [hexid, along, off, holds] : expected) {
    SCOPED_TRACE(hexid);
    const Arrival a = of(hexid);
    EXPECT_TRUE(a.flown);
    EXPECT_TRUE(a.touchedDown);
    EXPECT_EQ(a.endedInAir, hexid > 220);
    EXPECT_NEAR(a.alongLineM, along, 1.0);
    EXPECT_NEAR(a.offLineM, off, 1.0);
    EXPECT_EQ(a.placeHolds, holds);
  }
  EXPECT_NEAR(of(211).recordedTouchdownAt, 23.48, 1e-9);
  EXPECT_TRUE(of(211).inTime);
  // The runway is told: 213 on it 450 m past the threshold, 211 100 m beside it off it.
  EXPECT_EQ(of(213).runway, "09");
  EXPECT_NEAR(of(213).alongM, 450, 1.0);
  EXPECT_NEAR(of(213).lateralM, 0, 1.0);
  EXPECT_EQ(of(211).runway, "");
  // The flare at the approach's 130 kt: intervals that end by the touchdown, not the slower roll.
  EXPECT_NEAR(of(211).flareKt, 130, 0.5);
  EXPECT_EQ(of(221).field, "KTST");
  EXPECT_TRUE(of(223).onField);
  EXPECT_FALSE(of(224).onField);
  EXPECT_EQ(f.arrivalsJudged, 8u);
  EXPECT_EQ(f.arrivalsLate, 0u);
  EXPECT_EQ(f.arrivalsLong, 5u);
  std::vector<Bound> failed;
  for (const FailedBound& x : failedBounds(f, o)) failed.push_back(x.bound);
  std::ostringstream out;
  print(out, f, o, false);
  EXPECT_EQ(failed, std::vector<Bound>{Bound::TouchdownPlace}) << out.str();
  EXPECT_NE(out.str().find("the stream ends in the air   20.0: down at 80.0 s (+30.0 s), 0 m off the line of the "
                           "records' last positions, +10600 m along it, OFF KTST AWAY FROM THE RECORDS"),
            std::string::npos)
      << out.str();
}

// Flown up and down between 1000 and 1200 ft as before (its vertical speed reversing at 10.5, 20.5
// and 30.5 s), against records whose own altitudes swing 150 ft twice in the minute before (from
// -40 s: 1000, 1150, 1000, 1150): they may. Swinging 80 ft, swinging twice more than a minute
// before the spell (before -49.5 s), or once only, they do not, and the spell counts.
TEST(FlightProfile, PorpoisingOnlyWhereTheRecordsAltitudesDoNotSwing) {
  Input in;
  const std::map<std::uint32_t, std::vector<std::pair<int, double>>> swings{
      {1, {{-40, 1000}, {-30, 1150}, {-20, 1000}, {-10, 1150}}},
      {2, {{-40, 1000}, {-30, 1080}, {-20, 1000}, {-10, 1080}}},
      {3, {{-80, 1000}, {-70, 1150}, {-60, 1000}, {-55, 1150}}},
      {4, {{-30, 1000}, {-20, 1150}, {-10, 1000}}}};
  for (const auto& [hexid, altitudes] : swings) {
    in.tracks.push_back(lf_profile(hexid, 60, lf_zigzag));
    for (const auto& [due, feet] : altitudes)
      in.reported[hexid].positions.push_back({due - 30.0, 40, -73, feet, 150, true, Taken::Yes});
    // Then level at the last altitude to the end of the flight.
    for (int due = altitudes.back().first + 10; due <= 60; due += 10)
      in.reported[hexid].positions.push_back({due - 30.0, 40, -73, altitudes.back().second, 150, true, Taken::Yes});
  }
  const Figures f = measure(in, lf_options());
  EXPECT_EQ(lf_of(f, 1).porpoiseSpells, 0u);
  EXPECT_EQ(lf_of(f, 2).porpoiseSpells, 1u);
  EXPECT_EQ(lf_of(f, 3).porpoiseSpells, 1u);
  EXPECT_EQ(lf_of(f, 4).porpoiseSpells, 1u);
  EXPECT_EQ(f.aircraftPorpoising, 3u);
}

// Records moving east at 250 kt to 100 s, then repeating that position to 300 s (a stream that
// vanished in the air); the object flies on east. The 98 seconds due to 100 s (2.5 to 99.5 s) are
// on the records' line; the 200 past it (100.5 to 299.5 s) are counted apart, 128.6 m farther each
// second: p95 between ranks 189 and 190 of 0-199, 128.6 * (0.5 + 189.05) = 24376 m, p50 12860 m.
TEST(CrossTrack, SecondsPastTheLastNewAirborneRecordCountApart) {
  Input in;
  in.reported[1] = lf_records(2, 4000, [](double t) { return lf_xy(kMps * std::min(t, 100.0), 0); });
  in.tracks.push_back(lf_flown(1, 2, 4000, [](double t) { return lf_xy(kMps * t, 0); }));
  const Figures f = measure(in, Options{});
  EXPECT_EQ(f.crossTrack.all.n, 98u);
  EXPECT_NEAR(f.crossTrack.all.p95, 0, 1);
  EXPECT_EQ(f.crossTrackPast.n, 200u);
  EXPECT_NEAR(f.crossTrackPast.p50, 12860, 20);
  EXPECT_NEAR(f.crossTrackPast.p95, 24376, 50);
  ASSERT_EQ(f.aircraft.size(), 1u);
  EXPECT_EQ(f.aircraft[0].crossTrackSeconds, 98u);
  EXPECT_EQ(f.aircraft[0].crossTrackPastSeconds, 200u);
  std::ostringstream out;
  print(out, f, Options{}, false);
  EXPECT_NE(out.str().find("past each aircraft's last new airborne record, apart: n=   200"), std::string::npos)
      << out.str();
}

}  // namespace
}  // namespace amb::flightcheck
