// The events a live aircraft's object gets from the simulator link when it comes into the simulator
// and when it touches down: engines, lights, throttle, flaps, spoilers and the controls block.

#include "engine_fixture.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace amb {
namespace {

using test::EngineTest;

using Events = std::vector<std::pair<std::uint32_t, std::uint32_t>>;

class ObjectEvents : public EngineTest {
protected:
  LiveAc& inSim(std::uint32_t objectId, double altitude, double aboveGround, int category = Large) {
    LiveAc& ac = addInSim(11800000 + objectId, objectId,
                          situation(40.7, -73.9, altitude, altitude > 0 ? 250 : 10, cycle() + 100000, altitude > 0));
    ac.category = category;
    ac.heightAboveGround = aboveGround;
    ac.position.altitude = altitude;
    return ac;
  }
  Events events(std::uint32_t objectId, std::uint32_t only = 0) {
    run(1);
    Events out;
    for (const auto& e : sim().eventsOf(objectId))
      if (only == 0 || e.eventId == only) out.emplace_back(e.eventId, e.data);
    return out;
  }
};

// In the air: engines running, spoilers in; nav, beacon and strobes on; landing and logo lights at
// 10000 ft and below; cabin lights from 2000 ft above ground.
TEST_F(ObjectEvents, AnAircraftCreatedInTheAirHasItsLightsForItsHeight) {
  struct Case {
    double altitude, aboveGround;
    std::uint32_t low, cabin;
  };
  std::uint32_t objectId = 900;
  for (const Case& c : std::vector<Case>{{10000, 1999, 1, 0}, {10001, 9990, 0, 1}, {5000, 2000, 1, 1}}) {
    SCOPED_TRACE(c.altitude);
    LiveAc& ac = inSim(++objectId, c.altitude, c.aboveGround);
    lf_onLiveCreated(ac);
    EXPECT_EQ(ac.state, ActState::InSim);
    EXPECT_EQ(events(objectId), (Events{{EVT_ENGINE_AUTO_START, 0},
                                        {EVT_SPOILERS_SET, 0},
                                        {EVT_NAV_LIGHTS_SET, 1},
                                        {EVT_BEACON_LIGHTS_SET, 1},
                                        {EVT_LANDING_LIGHTS_SET, c.low},
                                        {EVT_TAXI_LIGHTS_SET, 0},
                                        {EVT_STROBES_SET, 1},
                                        {EVT_LOGO_LIGHTS_SET, c.low},
                                        {EVT_CABIN_LIGHTS_SET, c.cabin}}));
  }
}

// On the ground, taxiing: engines running, idle throttle, take-off flaps; a helicopter runs its
// rotor at 16383 and has no flaps.
TEST_F(ObjectEvents, AnAircraftCreatedTaxiingHasIdlePowerAndTakeOffFlaps) {
  for (const int category : {Large, Rotorcraft}) {
    SCOPED_TRACE(category);
    const std::uint32_t objectId = category == Large ? 910 : 911;
    LiveAc& ac = inSim(objectId, 0, 0, category);
    ac.setPhase(GroundPhase::Taxi);
    lf_onLiveCreated(ac);
    EXPECT_EQ(ac.throttleMarker, category == Large ? 0u : 4u);
    EXPECT_EQ(events(objectId, EVT_THROTTLE_SET), (Events{{EVT_THROTTLE_SET, category == Large ? 0u : 16383u}}));
    EXPECT_EQ(events(objectId, EVT_FLAPS_SET), category == Large ? (Events{{EVT_FLAPS_SET, 3072}}) : Events{});
  }
}

// At touchdown from the flare: spoilers out (16383), the spoiler handle and throttle levers of the
// controls block at 100 (reverse, -100, for the aircraft whose title asks for it; none for Light
// aircraft), and the nose comes down to the static pitch over the landing steps.
TEST_F(ObjectEvents, ATouchdownDeploysSpoilersAndReversers) {
  struct Case {
    int category;
    bool reverse;
  };
  std::uint32_t objectId = 920;
  for (const Case& c : std::vector<Case>{{Large, false}, {Large, true}, {Light, false}, {Rotorcraft, false}}) {
    SCOPED_TRACE(fmt::format("category {}{}", c.category, c.reverse ? " reversing" : ""));
    LiveAc& ac = inSim(++objectId, 13, 0, c.category);
    ac.landingMode = 1;
    ac.flareStage = 4;
    ac.fsltlTitle = c.reverse ? 1 : 0;
    ac.landingSteps = 200;
    ac.staticPitch = -2 * kDegToRad;
    ac.position.pitch = -6 * kDegToRad;
    ac.position.bank = 1 * kDegToRad;
    const std::size_t controlsBefore = sim().controls.size();
    lf_onTouchdown(ac);
    EXPECT_EQ(ac.landed, 1u);
    EXPECT_NEAR(ac.pitchStep * kRadToDeg, 4.0 / 200, 1e-12);
    EXPECT_NEAR(ac.bankStep * kRadToDeg, -1.0 / 200, 1e-12);
    EXPECT_EQ(events(objectId, EVT_SPOILERS_SET),
              c.category == Rotorcraft ? Events{} : (Events{{EVT_SPOILERS_SET, 16383}}));
    if (c.category == Light) {
      EXPECT_EQ(sim().controls.size(), controlsBefore);
      continue;
    }
    ASSERT_EQ(sim().controls.size(), controlsBefore + 1);
    const auto& [id, controls] = sim().controls.back();
    EXPECT_EQ(id, objectId);
    const double lever = c.reverse ? -100 : 100;
    EXPECT_EQ(std::vector<double>({controls.spoilers, controls.throttle1, controls.throttle2}),
              std::vector<double>({100, lever, lever}));
  }
}

// Rolling again after a landing (a touch-and-go): full power, spoilers 16383 and take-off flaps; the
// pitch comes to the take-off pitch over the roll's steps.
TEST_F(ObjectEvents, ATouchAndGoRollSetsFullPowerAndTakeOffFlaps) {
  for (const int category : {Large, Rotorcraft}) {
    SCOPED_TRACE(category);
    const std::uint32_t objectId = category == Large ? 940 : 941;
    LiveAc& ac = inSim(objectId, 13, 0, category);
    ac.landed = 1;
    ac.landingMode = 1;
    ac.takeOffPending = 1;
    ac.throttleMarker = 3;
    ac.flapsMarker = 2;
    ac.takeOffRollSteps = 100;
    ac.takeOffPitch = -8 * kDegToRad;
    ac.position.pitch = -2 * kDegToRad;
    lf_startTakeOffRoll(ac);
    EXPECT_EQ(ac.phase, GroundPhase::TakeOffRoll);
    EXPECT_EQ(ac.stepCounter, 100);
    EXPECT_NEAR(ac.pitchStep * kRadToDeg, -0.06, 1e-12);
    EXPECT_EQ(ac.landed, 0u);
    EXPECT_EQ(ac.throttleMarker, 4u);
    EXPECT_EQ(events(objectId),
              category == Large ? (Events{{EVT_THROTTLE_SET, 16383}, {EVT_SPOILERS_SET, 16383}, {EVT_FLAPS_SET, 3072}})
                                : (Events{{EVT_THROTTLE_SET, 16383}}));
  }
  // Full power already set: no throttle event.
  LiveAc& ac = inSim(942, 13, 0);
  ac.landed = 1;
  ac.takeOffPending = 1;
  ac.throttleMarker = 4;
  ac.flapsMarker = 1;
  lf_startTakeOffRoll(ac);
  EXPECT_EQ(events(942), (Events{{EVT_SPOILERS_SET, 16383}}));
}

// Landed, then reported on the ground and twice in the air again: a touch-and-go, off at climb power
// with spoilers 16383, take-off flaps and every light but the cabin's, the windows 3000 and 5000.
TEST_F(ObjectEvents, ATouchAndGoGoesOffAtClimbPower) {
  constexpr double kField = 13;
  LiveAc& ac = inSim(945, 50, 40);
  ac.situations[0].due = cycle();
  ac.position.heading = 0;
  ac.position.altitude = kField + 11;
  ac.staticCgHeight = 10;
  ac.landingMode = 1;
  ac.flareStage = 4;
  const auto next = [&](double altitude, double speed) {
    const Situation& last = ac.situations.back();
    const LatLon to = gf_destinationPoint({last.latitude, last.longitude}, 0, 200 / 0.3048);
    return situation(to.lat, to.lon, altitude, speed, last.due + 1000, altitude > 0);
  };
  ac.situations.push_back(next(100, 125));
  // The simulator has it on the ground.
  sim().push({945, 1, 0, OtherAircraft, kField, 0.5});
  gf_SimCommands();
  ASSERT_EQ(ac.landed, 1u);
  run(1);
  const std::size_t before = sim().eventsOf(945).size();
  decodeExisting(ac, next(0, 110));
  decodeExisting(ac, next(150, 130));
  decodeExisting(ac, next(300, 140));
  ASSERT_EQ(ac.takeOffPending, 1u);
  EXPECT_EQ(ac.earlyWindow, 3000);
  EXPECT_EQ(ac.lateWindow, 5000);
  const Events all = events(945);
  EXPECT_EQ(Events(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()), (Events{{EVT_THROTTLE_SET, 11468},
                                                                                          {EVT_SPOILERS_SET, 16383},
                                                                                          {EVT_FLAPS_SET, 3072},
                                                                                          {EVT_NAV_LIGHTS_SET, 1},
                                                                                          {EVT_BEACON_LIGHTS_SET, 1},
                                                                                          {EVT_LANDING_LIGHTS_SET, 1},
                                                                                          {EVT_TAXI_LIGHTS_SET, 1},
                                                                                          {EVT_STROBES_SET, 1},
                                                                                          {EVT_LOGO_LIGHTS_SET, 1},
                                                                                          {EVT_CABIN_LIGHTS_SET, 0}}));
}

// Lining up for take-off: idle, spoilers in, take-off flaps, every light but the cabin's, and windows
// of 3000 cycles early and 5000 late.
TEST_F(ObjectEvents, TheTakeOffConfigurationSetsLightsFlapsAndWindows) {
  LiveAc& ac = inSim(950, 0, 0);
  ac.throttleMarker = 2;
  ac.flapsMarker = 0;
  ac.earlyWindow = ac.lateWindow = 1000;
  lf_takeOffConfig(ac);
  EXPECT_EQ(ac.takeOffPending, 1u);
  EXPECT_EQ(ac.earlyWindow, 3000);
  EXPECT_EQ(ac.lateWindow, 5000);
  EXPECT_EQ(events(950), (Events{{EVT_THROTTLE_SET, 0},
                                 {EVT_SPOILERS_SET, 0},
                                 {EVT_FLAPS_SET, 3072},
                                 {EVT_NAV_LIGHTS_SET, 1},
                                 {EVT_BEACON_LIGHTS_SET, 1},
                                 {EVT_LANDING_LIGHTS_SET, 1},
                                 {EVT_TAXI_LIGHTS_SET, 1},
                                 {EVT_STROBES_SET, 1},
                                 {EVT_LOGO_LIGHTS_SET, 1},
                                 {EVT_CABIN_LIGHTS_SET, 0}}));
}

// An object created for an aircraft the engine no longer has is removed; ids below 3 are no AI
// objects (the user aircraft has id 1) and are left alone.
TEST_F(ObjectEvents, OnlyRealObjectsOfGoneAircraftAreRemoved) {
  for (const auto& [objectId, removed] : {std::pair{2u, 0u}, std::pair{3u, 1u}}) {
    SCOPED_TRACE(objectId);
    const std::size_t before = sim().removalsSent;
    sim().push({objectId, 11800900, 0, CreatedLive, 0, 100});
    run(10);  // removals go every tenth cycle
    EXPECT_EQ(sim().removalsSent - before, removed);
  }
}

}  // namespace
}  // namespace amb

namespace amb {
namespace {

// The simulator's port, but the static-data request fails with an exception.
class ThrowingCgPort final : public SimPort {
public:
  explicit ThrowingCgPort(SimPort& inner) : m_inner(inner) {}
  void queueEvent(const SimEventCmd& event) override { m_inner.queueEvent(event); }
  void queueCreation(const CreateRequest& request) override { m_inner.queueCreation(request); }
  void queueRemoval(std::uint32_t objectId) override { m_inner.queueRemoval(objectId); }
  void updateAircraft(const PosUpdate& update) override { m_inner.updateAircraft(update); }
  void handOverPositions() override { m_inner.handOverPositions(); }
  std::vector<SimResult> takeResults() override { return m_inner.takeResults(); }
  bool requestAiNearby(std::uint32_t radiusMeters) override { return m_inner.requestAiNearby(radiusMeters); }
  bool requestStaticCg(std::uint32_t) override { throw std::runtime_error("the link is gone"); }
  bool toggleAllLights(std::uint32_t objectId) override { return m_inner.toggleAllLights(objectId); }
  bool setFlightPlan(std::uint32_t objectId, const std::string& path) override {
    return m_inner.setFlightPlan(objectId, path);
  }
  bool setControls(std::uint32_t objectId, const AiControlsBlock& controls) override {
    return m_inner.setControls(objectId, controls);
  }
  UserAcBlock requestUserAircraft() override { return m_inner.requestUserAircraft(); }
  void requestFailed() override { m_inner.requestFailed(); }
  bool sendingStopped() const override { return m_inner.sendingStopped(); }
  bool userOnGround() const override { return m_inner.userOnGround(); }

private:
  SimPort& m_inner;
};

class CreatedObjects : public test::EngineTest {};

// The object of an aircraft being created is known once the simulator reports it (3 is the lowest id
// of an AI object); a request for its static data that fails with an exception after that does not
// lose it: it settles and is in the simulator 200 cycles later.
TEST_F(CreatedObjects, AnObjectWhoseStaticDataRequestFailsIsStillCreated) {
  ThrowingCgPort port(sim());
  gf_setSimPort(&port);
  LiveAc& ac = addLive(11800950, "A321", situation(40.70, -73.90, 5000, 250, cycle() + 1000));
  ac.situations.push_back(situation(40.70, -73.89, 5000, 250, cycle() + 2000));
  ac.state = ActState::Creating;
  sim().push({3, 11800950, 0, CreatedLive, 0, 5000});
  run(210);
  gf_setSimPort(&sim());
  const LiveAc* created = lf_findLiveByHexid(11800950);
  ASSERT_NE(created, nullptr);
  EXPECT_EQ(created->objectId, 3u);
  EXPECT_EQ(created->state, ActState::InSim);
}

}  // namespace
}  // namespace amb
