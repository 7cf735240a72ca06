#include "traffic/sim_port.hpp"

#include <mutex>

namespace amb {

namespace {

// The simulator link's own queues and calls. The direct calls hold g_simMutex around the use of the
// connection, as every thread but the "SimClient" thread does.
class SimLinkPort final : public SimPort {
public:
  void queueEvent(const SimEventCmd& event) override { gf_queueSimEvent(event); }
  void queueCreation(const CreateRequest& request) override { gf_queueCreateAircraft(request); }
  void queueRemoval(std::uint32_t objectId) override { gf_queueRemoval(objectId); }
  void updateAircraft(const PosUpdate& update) override { gf_updateAircraft(update); }
  void handOverPositions() override { gf_handOverPositions(); }
  std::vector<SimResult> takeResults() override { return gf_takeSimResults(); }

  bool requestAiNearby(std::uint32_t radiusMeters) override {
    std::lock_guard lock(g_simMutex);
    return SimConnect_RequestDataOnSimObjectType(g_hSimConnect, REQ_AI_NEARBY, DEF_OBJECT_GROUND, radiusMeters,
                                                 sc::kObjectAircraft) == kSimOk;
  }
  bool requestStaticCg(std::uint32_t objectId) override {
    std::lock_guard lock(g_simMutex);
    return SimConnect_RequestDataOnSimObject(g_hSimConnect, REQ_STATIC_CG, DEF_STATIC_CG, objectId, sc::kPeriodOnce, 0,
                                             0, 0, 0) == kSimOk;
  }
  bool toggleAllLights(std::uint32_t objectId) override {
    std::lock_guard lock(g_simMutex);
    return SimConnect_TransmitClientEvent(g_hSimConnect, objectId, EVT_ALL_LIGHTS_TOGGLE, 0, GROUP_AI_EVENTS, 0) ==
           kSimOk;
  }
  bool setFlightPlan(std::uint32_t objectId, const std::string& path) override {
    std::lock_guard lock(g_simMutex);
    return SimConnect_AISetAircraftFlightPlan(g_hSimConnect, objectId, path.c_str(), REQ_FLIGHT_PLAN) == kSimOk;
  }
  bool setControls(std::uint32_t objectId, const AiControlsBlock& controls) override {
    return SimConnect_SetDataOnSimObject(g_hSimConnect, DEF_AI_CONTROLS, objectId, 0, 0, sizeof controls, &controls) ==
           kSimOk;
  }
  UserAcBlock requestUserAircraft() override { return gf_requestUserAcPosition(); }
  void requestFailed() override { gf_simConnectRequestFailed(); }
  bool sendingStopped() const override { return g_simSendError != 0; }
  bool userOnGround() const override { return g_userOnGround != 0; }
};

SimLinkPort g_linkPort;
SimPort* g_port = &g_linkPort;

}  // namespace

SimPort& gf_simPort() { return *g_port; }

void gf_setSimPort(SimPort* port) { g_port = port != nullptr ? port : &g_linkPort; }

}  // namespace amb
