// The limits each kind of aircraft flies by, and the configuration an aircraft takes as it climbs and
// descends below 10000 ft: throttle, flaps and the time windows of its legs.

#include "engine_fixture.hpp"
#include "records/upcalls.hpp"

#include <cmath>
#include <optional>
#include <stdexcept>

namespace amb {
namespace {

using test::EngineTest;

const LatLon kPark{40.639751, -73.778925};  // the harness's park airport

class Configuration : public EngineTest {
protected:
  // An aircraft in the simulator 20 nm south of the park airport, heading north, `aboveGround` ft up,
  // with a leg ahead 6000 ft north at the same altitude, due in 1000 cycles (its front is not due).
  LiveAc& aloft(double aboveGround, double vs, int category = Large, std::uint32_t objectId = 700) {
    const LatLon at = gf_destinationPoint(kPark, kPi, 20 * kFeetPerNm);
    LiveAc& ac = addInSim(11900100 + objectId, objectId, situation(at.lat, at.lon, aboveGround, 200, cycle() + 100000));
    ac.category = category;
    ac.position.heading = 0;
    ac.heightAboveGround = aboveGround;
    ac.lightsBelow10000Set = 1;
    const LatLon to = gf_destinationPoint(at, 0, 6000);
    ac.situations.push_back(situation(to.lat, to.lon, aboveGround, 200, cycle() + 1000));
    ac.situations.back().verticalSpeed = vs;
    return ac;
  }
};

// Bank, bank change and pitch change per cycle, by category (degrees): Light 40/0.035/0.01,
// Buzjets 35/0.0275/0.0085, Large 30/0.02/0.0075, Heavy 20/0.015/0.005, HighPerf 90/0.1/0.03,
// Rotorcraft 75/0.06/0.03.
TEST_F(Configuration, EachCategoryBanksAndPitchesWithinItsOwnLimits) {
  struct Limits {
    int category;
    double bank, bankChange, pitchChange;
  };
  for (const Limits& l : std::vector<Limits>{{Light, 40, 0.035, 0.01},
                                             {Buzjets, 35, 0.0275, 0.0085},
                                             {Large, 30, 0.02, 0.0075},
                                             {Heavy, 20, 0.015, 0.005},
                                             {HighPerf, 90, 0.1, 0.03},
                                             {Rotorcraft, 75, 0.06, 0.03}}) {
    SCOPED_TRACE(l.category);
    gf_resetEngine();
    LiveAc& ac = aloft(5000, 0, l.category);
    // From wings level a hard turn banks at the greatest rate.
    ac.position.bank = 0;
    lf_setBankStep(ac, 2.0, 1);
    EXPECT_NEAR(ac.bankStep * kRadToDeg, -l.bankChange, 1e-12);
    // A hundredth of a degree short of the greatest bank, the turn takes just that.
    ac.position.bank = -(l.bank - 0.01) * kDegToRad;
    lf_setBankStep(ac, 2.0, 1);
    EXPECT_NEAR(ac.bankStep * kRadToDeg, -0.01, 1e-9);
    ac.position.bank = (l.bank - 0.01) * kDegToRad;
    lf_setBankStep(ac, -2.0, 1);
    EXPECT_NEAR(ac.bankStep * kRadToDeg, 0.01, 1e-9);
    // A steep climb ahead raises the nose at the greatest rate (pitch is negative nose up).
    ac.position.pitch = 0;
    ac.situations[1].verticalSpeed = 2400;
    ac.situations[1].altitude = 9000;
    ac.situations[1].due = cycle() + 100;
    lf_planAirLeg(ac);
    EXPECT_NEAR(ac.pitchStep * kRadToDeg, -l.pitchChange, 1e-12);
  }
  EXPECT_THROW(gf_maxBank(6), std::out_of_range);
  EXPECT_THROW(gf_maxBankChange(-1), std::out_of_range);
  EXPECT_THROW(gf_maxPitchChange(6), std::out_of_range);
}

// Above the approach heights the windows of a leg shrink by 100 cycles a leg, down to 1000.
TEST_F(Configuration, WindowsNarrowByAHundredDownToAThousand) {
  struct Case {
    std::int32_t early, late;
    std::int32_t earlyAfter, lateAfter;
  };
  for (const Case& c :
       std::vector<Case>{{3000, 5000, 2900, 4900}, {1050, 1100, 1000, 1000}, {1000, 1001, 1000, 1000}}) {
    SCOPED_TRACE(fmt::format("{} {}", c.early, c.late));
    gf_resetEngine();
    LiveAc& ac = aloft(3000, 0);
    ac.earlyWindow = c.early;
    ac.lateWindow = c.late;
    lf_planAirLeg(ac);
    EXPECT_EQ(ac.earlyWindow, c.earlyAfter);
    EXPECT_EQ(ac.lateWindow, c.lateAfter);
  }
}

// Above the approach heights: descending at 250 ft/min or more from climb power the throttle comes
// back to 8191; climbing faster than 400 ft/min from full power it comes back to 11468.
TEST_F(Configuration, TheThrottleFollowsTheClimbAndDescentAboveTheApproach) {
  struct Case {
    double vs;
    std::uint32_t marker, markerAfter;
  };
  std::uint32_t objectId = 710;
  for (const Case& c : std::vector<Case>{{-250, 3, 2},
                                         {-249, 3, 3},
                                         {-250, 4, 4},
                                         {-250, 2, 2},
                                         {401, 4, 3},
                                         {400, 4, 4},
                                         {401, 3, 3},
                                         {401, 5, 5}}) {
    SCOPED_TRACE(fmt::format("{} ft/min from {}", c.vs, c.marker));
    gf_resetEngine();
    LiveAc& ac = aloft(3000, c.vs, Large, ++objectId);
    ac.throttleMarker = c.marker;
    lf_planAirLeg(ac);
    EXPECT_EQ(ac.throttleMarker, c.markerAfter);
    run(1);
    const auto events = sim().eventsOf(objectId);
    const bool sent =
        std::any_of(events.begin(), events.end(), [](const auto& e) { return e.eventId == EVT_THROTTLE_SET; });
    EXPECT_EQ(sent, c.marker != c.markerAfter);
    if (c.markerAfter == 2 && c.marker == 3) {
      EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                              [](const auto& e) { return e.eventId == EVT_THROTTLE_SET && e.data == 8191; }));
    }
    if (c.markerAfter == 3 && c.marker == 4) {
      EXPECT_TRUE(std::any_of(events.begin(), events.end(),
                              [](const auto& e) { return e.eventId == EVT_THROTTLE_SET && e.data == 11468; }));
    }
  }
  // A helicopter descending keeps its single power setting.
  gf_resetEngine();
  LiveAc& heli = aloft(3000, -300, Rotorcraft);
  heli.throttleMarker = 3;
  lf_planAirLeg(heli);
  EXPECT_EQ(heli.throttleMarker, 4u);
}

// Flaps above the approach heights: from 2400 ft up they go up with the gear; from 2000 ft a descent
// (100 ft/min of climb at most) sets take-off flaps when they are up; lower, a descent sets take-off
// flaps and then approach flaps. Light aircraft fly this down to 625 ft.
TEST_F(Configuration, FlapsComeOutStepByStepDescendingBelowTwoThousandFeet) {
  struct Case {
    double aboveGround, vs;
    std::uint32_t flaps, flapsAfter;
  };
  for (const Case& c : std::vector<Case>{{2400, -300, 2, 0},
                                         {2390, -300, 0, 1},
                                         {2390, -300, 1, 1},
                                         {2100, 100, 0, 1},
                                         {2100, 101, 0, 0},
                                         {2000, -300, 1, 1},
                                         {1990, -300, 1, 2},
                                         {1990, -300, 0, 1},
                                         {1990, 100, 1, 2},
                                         {1990, 101, 1, 1},
                                         {700, -300, 2, 2}}) {
    SCOPED_TRACE(fmt::format("{} ft, {} ft/min, flaps {}", c.aboveGround, c.vs, c.flaps));
    gf_resetEngine();
    LiveAc& ac = aloft(c.aboveGround, c.vs, Light);
    ac.flapsMarker = c.flaps;
    lf_planAirLeg(ac);
    EXPECT_EQ(ac.flapsMarker, c.flapsAfter);
  }
}

// Descending at 250 ft/min or more within 10 nm of the park airport below the approach height: the
// approach configuration (throttle 4914, full flaps, gear down), windows of 3000 cycles (5000 late
// with a take-off pending). Climbing faster than 600 ft/min instead: the go-around (full throttle,
// gear and flaps up, windows narrowing).
TEST_F(Configuration, TheApproachAndTheGoAroundSetTheirPowerAndWindows) {
  struct Case {
    int category;
    bool takeOffPending;
    std::uint32_t throttle;
    std::int32_t late;
  };
  std::uint32_t objectId = 730;
  for (const Case& c :
       std::vector<Case>{{Large, false, 1, 3000}, {Large, true, 1, 5000}, {Rotorcraft, false, 4, 3000}}) {
    SCOPED_TRACE(fmt::format("category {}{}", c.category, c.takeOffPending ? ", take-off pending" : ""));
    gf_resetEngine();
    LiveAc& ac = aloft(600, -300, c.category, ++objectId);
    const LatLon near = gf_destinationPoint(kPark, kPi, 5 * kFeetPerNm);
    ac.position.latitude = near.lat;
    ac.position.longitude = near.lon;
    ac.takeOffPending = c.takeOffPending ? 1 : 0;
    ac.earlyWindow = ac.lateWindow = 1200;
    ac.stepCounter = 7;
    lf_planAirLeg(ac);
    ASSERT_EQ(ac.landingMode, 1u);
    EXPECT_EQ(ac.throttleMarker, c.throttle);
    EXPECT_EQ(ac.earlyWindow, 3000);
    EXPECT_EQ(ac.lateWindow, c.late);
    EXPECT_EQ(ac.stepCounter, 1);
    if (c.category != Rotorcraft) {
      EXPECT_EQ(ac.flapsMarker, 3u);
    }
    run(1);
    const auto events = sim().eventsOf(objectId);
    const auto sent = [&](std::uint32_t id, std::uint32_t data) {
      return std::any_of(events.begin(), events.end(),
                         [&](const auto& e) { return e.eventId == id && e.data == data; });
    };
    EXPECT_TRUE(sent(EVT_THROTTLE_SET, c.category == Rotorcraft ? 16383 : 4914));
    EXPECT_EQ(sent(EVT_FLAPS_SET, 16383), c.category != Rotorcraft);
    EXPECT_EQ(sent(EVT_GEAR_SET, 1), c.category != Rotorcraft);
  }
  // The go-around, climbing away or no longer descending on the approach far from the airport; full
  // power is sent unless it is set already.
  struct GoAround {
    double vs;
    std::uint32_t landingMode, throttle;
    bool goesAround;
  };
  for (const GoAround& g : std::vector<GoAround>{{601, 0, 1, true},
                                                 {600, 0, 1, false},
                                                 {601, 0, 3, true},
                                                 {601, 0, 4, true},
                                                 {-249, 1, 1, true},
                                                 {-250, 1, 1, false}}) {
    SCOPED_TRACE(fmt::format("{} ft/min, landing mode {}, throttle {}", g.vs, g.landingMode, g.throttle));
    gf_resetEngine();
    LiveAc& ac = aloft(600, g.vs, Large, ++objectId);
    ac.landingMode = g.landingMode;
    ac.earlyWindow = 3000;
    ac.lateWindow = 1050;
    ac.throttleMarker = g.throttle;
    ac.flapsMarker = 3;
    ac.flareStage = 2;
    lf_planAirLeg(ac);
    run(1);
    const auto events = sim().eventsOf(objectId);
    const auto count = [&](std::uint32_t id, std::uint32_t data) {
      return std::count_if(events.begin(), events.end(),
                           [&](const auto& e) { return e.eventId == id && e.data == data; });
    };
    EXPECT_EQ(ac.goAroundMark, g.goesAround ? 1u : 0u);
    if (!g.goesAround) {
      EXPECT_EQ(ac.earlyWindow, 3000);
      EXPECT_EQ(count(EVT_GEAR_SET, 0), 0);
      continue;
    }
    EXPECT_EQ(ac.landingMode, 0u);
    EXPECT_EQ(ac.throttleMarker, 4u);
    EXPECT_EQ(ac.flapsMarker, 0u);
    EXPECT_EQ(ac.flareStage, 0u);
    EXPECT_EQ(ac.earlyWindow, 2900);
    EXPECT_EQ(ac.lateWindow, 1000);
    EXPECT_EQ(count(EVT_THROTTLE_SET, 16383), g.throttle == 4 ? 0 : 1);
    EXPECT_EQ(count(EVT_GEAR_SET, 0), 1);
    EXPECT_EQ(count(EVT_FLAPS_SET, 0), 1);
  }
}

// An approach begun at an airport it has since left 10 nm behind, level (its records hold their
// altitude): over another airport it comes in to that one, gear down, no go-around, on short final
// (400 ft) and on its way down (1,500 ft) alike. Within 10 nm of the airport it began at, it keeps
// that one whatever lies beneath. With no airport within 10 nm it is the go-around, gear up.
TEST_F(Configuration, AnApproachFarFromTheAirportItBeganAtComesInToTheOneItIsNear) {
  static std::optional<AirportData> beneath;
  const auto saved = up::airports::gf_airportNear;
  up::airports::gf_airportNear = [](const LatLon&, double) { return beneath; };
  struct Case {
    double aboveGround;
    double beganNm;  // how far the airport it began at lies
    bool airportBeneath, goesAround;
    const char* field;
  };
  std::uint32_t objectId = 760;
  for (const Case& c : std::vector<Case>{{400, 20, true, false, "KOTH"},
                                         {1500, 20, true, false, "KOTH"},
                                         {1500, 8, true, false, "KBGN"},
                                         {400, 20, false, true, ""},
                                         {1500, 20, false, true, ""}}) {
    SCOPED_TRACE(fmt::format("{} ft, began {} nm off, {}", c.aboveGround, c.beganNm,
                             c.airportBeneath ? "an airport beneath" : "none"));
    gf_resetEngine();
    LiveAc& ac = aloft(c.aboveGround, 0, Large, ++objectId);
    beneath.reset();
    if (c.airportBeneath) beneath = AirportData{"KOTH", "", ac.position.latitude, ac.position.longitude, 0};
    const LatLon began =
        gf_destinationPoint({ac.position.latitude, ac.position.longitude}, kPi, c.beganNm * kFeetPerNm);
    ac.landingMode = 1;
    ac.landingField = AirportData{"KBGN", "", began.lat, began.lon, 13};
    ac.earlyWindow = 3000;
    ac.lateWindow = 1050;
    ac.throttleMarker = 1;
    ac.flapsMarker = 3;
    ac.flareStage = 2;
    lf_planAirLeg(ac);
    run(1);
    const auto events = sim().eventsOf(objectId);
    const bool gearUp = std::any_of(events.begin(), events.end(),
                                    [](const auto& e) { return e.eventId == EVT_GEAR_SET && e.data == 0; });
    EXPECT_EQ(ac.goAroundMark, c.goesAround ? 1u : 0u);
    EXPECT_EQ(ac.landingMode, c.goesAround ? 0u : 1u);
    EXPECT_EQ(gearUp, c.goesAround);
    if (!c.goesAround) {
      ASSERT_TRUE(ac.landingField.has_value());
      EXPECT_EQ(ac.landingField->code, c.field);
    }
  }
  up::airports::gf_airportNear = saved;
}

}  // namespace
}  // namespace amb
