#pragma once
// A simulator for the live traffic engine in virtual time. It stands behind the engine's SimPort in
// place of the simulator link: it takes the queued creations, positions, events and removals once a
// frame, keeps the AI objects they make, and answers as the link would (created, removed, refused,
// ground data of the objects in range, static CG), over flat terrain at one elevation but for the
// fields of the airports it is given, each flat at its own.

#include "traffic/sim_port.hpp"

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace amb::enginesim {

struct SimEvent {
  std::int32_t cycle = 0;
  std::uint32_t objectId = 0;
  std::uint32_t eventId = 0;
  std::uint32_t data = 0;
};

struct SimObject {
  std::uint32_t id = 0;
  std::uint32_t hexid = 0;
  std::string callsign;
  std::string title;
  SimInitPosition initial;
  AiPosBlock position;      // the last position set
  bool positioned = false;  // a position block has arrived
  std::int32_t createdCycle = 0;
  std::int32_t removedCycle = -1;  // -1 while it exists
  std::uint32_t positionCount = 0;
  std::string flightPlan;                                  // the path of its flight plan, when one was set
  std::vector<std::pair<std::int32_t, AiPosBlock>> track;  // every trackEvery-th position
};

// An airport's field: within its radius the ground lies at its elevation.
struct FakeField {
  double latitude = 0;
  double longitude = 0;
  double elevationFt = 0;
  double radiusNm = 3;
};

// How the simulator answers one creation (FakeSim::answerCreation).
enum class CreationAnswer {
  Created,         // the object is made, and an in-range answer shows it as new (see answerDelayFrames)
  ShownTwice,      // the same, and the next in-range answer shows it as new once more
  Lost,            // no object and no answer: the creation is lost on its way
  Refused,         // the simulator refuses it (its exception 22): CreateFailed
  TooManyObjects,  // the simulator holds too many objects (its exception 11): CreateLost
};

struct FakeSimOptions {
  double groundElevation = 13.0;  // feet, where no field lies
  std::vector<FakeField> fields;  // the ground of the airports around
  double staticCg = 10.0;         // feet, the answer to every static-CG request
  double staticPitch = 0.01;      // radians
  std::int32_t removalDelay = 2;  // frames from a removal to its confirmation
  std::uint32_t firstObjectId = 100;
  std::int32_t trackEvery = 100;  // cycles between kept track points; 0 keeps none
};

class FakeSim final : public SimPort {
public:
  explicit FakeSim(FakeSimOptions options = {});

  // ---- SimPort ----
  void queueEvent(const SimEventCmd& event) override;
  void queueCreation(const CreateRequest& request) override;
  void queueRemoval(std::uint32_t objectId) override;
  void updateAircraft(const PosUpdate& update) override;
  void handOverPositions() override;
  std::vector<SimResult> takeResults() override;
  bool requestAiNearby(std::uint32_t radiusMeters) override;
  bool requestStaticCg(std::uint32_t objectId) override;
  bool toggleAllLights(std::uint32_t objectId) override;
  bool setFlightPlan(std::uint32_t objectId, const std::string& path) override;
  bool setControls(std::uint32_t objectId, const AiControlsBlock& controls) override;
  UserAcBlock requestUserAircraft() override { return user; }
  void requestFailed() override { ++failedRequests; }
  bool sendingStopped() const override { return false; }
  bool userOnGround() const override { return userOnGroundFlag; }

  // One simulator frame after engine cycle `cycle`: sends what the queues hold and answers.
  void frame(std::int32_t cycle);
  // An object that exists already (an aircraft a test or benchmark put into the simulator by hand).
  void addObject(std::uint32_t id, std::uint32_t hexid, const AiPosBlock& position);
  // A result of the test's own, taken by the engine's next cycle.
  void push(const SimResult& result) { m_results.push_back(result); }

  // Refuses the creation of these titles (exception 22 of the simulator).
  std::set<std::string> refusedTitles;
  // The answer to each creation of a title not refused; unset, every one is created.
  std::function<CreationAnswer(const CreateRequest&)> answerCreation;
  // Frames from a creation until an in-range answer may show its object (a busy simulator); the
  // answers before it leave the object out.
  std::int32_t answerDelayFrames = 0;
  // Refuses every flight plan.
  bool refuseFlightPlans = false;
  // Called for every position block that reaches an object.
  std::function<void(std::int32_t cycle, const SimObject& object, const AiPosBlock& block)> onPosition;
  // Called when an object is made (at its initial position) and when its removal is done.
  std::function<void(std::int32_t cycle, const SimObject& object)> onCreated;
  std::function<void(std::int32_t cycle, const SimObject& object)> onRemoved;

  UserAcBlock user;
  bool userOnGroundFlag = true;
  std::uint32_t failedRequests = 0;

  // What happened.
  std::map<std::uint32_t, SimObject> objects;  // every object ever created, by id
  std::vector<SimEvent> events;                // client events (ALL_LIGHTS_TOGGLE included), in order
  std::vector<std::pair<std::uint32_t, AiControlsBlock>> controls;
  std::vector<CreateRequest> refused;  // refused or not made for too many objects
  std::vector<CreateRequest> lost;
  std::uint32_t creationsSent = 0;
  std::uint32_t removalsSent = 0;
  std::uint32_t nearbyRequests = 0;
  std::uint32_t nearbyRadius = 0;  // metres, of the last in-range request
  std::uint32_t positionBlocks = 0;

  // Objects that exist now.
  std::size_t liveObjects() const;
  // The events of one object, in order.
  std::vector<SimEvent> eventsOf(std::uint32_t objectId) const;
  // The object created for a hexid last; nullptr when none.
  const SimObject* objectOfHexid(std::uint32_t hexid) const;

  // The ground's elevation under a position, feet.
  double groundAt(double latitude, double longitude) const;
  // The static CG height every object answers, feet: an object stands on the ground at most half a
  // foot above the ground plus this.
  double staticCg() const { return m_options.staticCg; }
  bool standsOnGround(const AiPosBlock& p) const { return aboveGround(p) <= 0.5; }

private:
  double aboveGround(const AiPosBlock& p) const;

  FakeSimOptions m_options;
  std::int32_t m_cycle = 0;
  std::uint32_t m_nextId;
  std::vector<PosUpdate> m_fill, m_send;
  std::vector<SimEventCmd> m_events;
  std::vector<CreateRequest> m_creations;
  std::vector<std::uint32_t> m_removals;
  std::vector<std::pair<std::int32_t, std::uint32_t>> m_removing;  // confirmation frame, object
  // A created object not yet shown (as often as `times` says) by an in-range answer.
  struct Added {
    std::uint32_t id = 0;
    std::int32_t shownFrom = 0;  // the first cycle whose in-range answer may show it
    int times = 1;
  };
  std::vector<Added> m_added;
  std::vector<std::uint32_t> m_staticCg;                           // static-CG requests to answer
  bool m_nearbyAsked = false;
  double aboveRadius(const AiPosBlock& p) const;
  std::vector<SimResult> m_results;
};

}  // namespace amb::enginesim
