#pragma once
// The engine's door to the simulator link: every command the engine queues for the simulator, every
// direct request it makes, and the results it takes back go through one SimPort. The program uses
// the link's own queues and calls (gf_simLinkPort); the engine's tests put a simulator of their own
// behind it and run the engine in virtual time.

#include "records/blocks.hpp"
#include "sim/services.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace amb {

class SimPort {
public:
  virtual ~SimPort() = default;

  // Command queues (taken by the "SimClient" thread on the next simulator frame).
  virtual void queueEvent(const SimEventCmd& event) = 0;
  virtual void queueCreation(const CreateRequest& request) = 0;
  virtual void queueRemoval(std::uint32_t objectId) = 0;
  // This cycle's position of one AI object, and the hand-over of all of them at the cycle's end.
  virtual void updateAircraft(const PosUpdate& update) = 0;
  virtual void handOverPositions() = 0;

  // Every result not yet taken, in the order the simulator reported them.
  virtual std::vector<SimResult> takeResults() = 0;

  // Direct requests; false when the simulator link refused the call.
  virtual bool requestAiNearby(std::uint32_t radiusMeters) = 0;                     // request 101
  virtual bool requestStaticCg(std::uint32_t objectId) = 0;                         // request 102
  virtual bool toggleAllLights(std::uint32_t objectId) = 0;                         // ALL_LIGHTS_TOGGLE, sent at once
  virtual bool setFlightPlan(std::uint32_t objectId, const std::string& path) = 0;  // request 110
  virtual bool setControls(std::uint32_t objectId, const AiControlsBlock& controls) = 0;  // definition 401
  // Asks for the user aircraft's block again and hands back the last one received.
  virtual UserAcBlock requestUserAircraft() = 0;
  // Counts a failed request towards the link's send stop.
  virtual void requestFailed() = 0;

  // The link's state.
  virtual bool sendingStopped() const = 0;  // after the third failed request
  virtual bool userOnGround() const = 0;
};

// The port in use; the link's own unless a test set another.
SimPort& gf_simPort();
// nullptr puts the link's own port back.
void gf_setSimPort(SimPort* port);

}  // namespace amb
