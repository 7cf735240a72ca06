#pragma once
// The program's own SimConnect client: the API calls it makes, with the simulator's documented names
// and arguments. Every call returns an HRESULT (0 success, negative failure) and never throws.
// Calls are safe from any thread: composing and sending are serialised under one process-wide lock,
// so packets leave in the order of the calls.
//
// Received messages are kept in arrival order until SimConnect_CallDispatch hands them, one at a
// time, to the dispatch procedure on the calling thread. Messages of 11 bytes or less are never
// handed on, nor is a message of a known id that is shorter than the fixed fields of that id
// (sc::recvFixedSize); such a message is logged, once per id and connection, and dropped. The data
// after the fixed fields of ids 8 and 9 are the caller's to check against the message size.

#include "sim/simconnect/protocol.hpp"

#include <cstdint>

namespace amb {

using HResult = std::int32_t;

inline constexpr HResult kSimOk = 0;
inline constexpr HResult kSimAbort = static_cast<HResult>(0x80004004);        // E_ABORT
inline constexpr HResult kSimFail = static_cast<HResult>(0x80004005);         // E_FAIL
inline constexpr HResult kSimOutOfMemory = static_cast<HResult>(0x8007000E);  // E_OUTOFMEMORY
inline constexpr HResult kSimInvalidArg = static_cast<HResult>(0x80070057);   // E_INVALIDARG
inline constexpr HResult kSimTextTooLong = static_cast<HResult>(0x8007007A);  // a text does not fit its field
inline constexpr HResult kSimLinkFailed = static_cast<HResult>(0xC000013E);   // the simulator closed the link

class SimConnectClient;
using SimHandle = SimConnectClient*;

using SimDispatchProc = void (*)(const sc::RecvHeader* message, std::uint32_t size, void* context);

// The initial position of a created aircraft (56 bytes on the wire).
struct SimInitPosition {
  double latitude = 0;   // degrees
  double longitude = 0;  // degrees
  double altitude = 0;   // feet
  double pitch = 0;      // degrees
  double bank = 0;       // degrees
  double heading = 0;    // degrees
  std::uint32_t onGround = 0;
  std::uint32_t airspeed = 0;  // knots
};
static_assert(sizeof(SimInitPosition) == 56);

// Connects ("SimConnect.cfg", registry ports, pipe and TCP attempts) and sends the open packet.
// A null handle pointer or name, or a configuration index whose section no "SimConnect.cfg" has,
// give kSimInvalidArg; any other connection failure kSimFail. *handle is null after a failure.
HResult SimConnect_Open(SimHandle* handle, const char* name, void* window, std::uint32_t userMessage,
                        void* eventHandle, std::uint32_t configIndex);
// Sends what is still composed and closes; kSimFail for a null handle. The handle is gone afterwards.
HResult SimConnect_Close(SimHandle handle);
// Hands every waiting message to the procedure; then 0, or the stored failure status of a failed
// connection. kSimFail for a null handle or procedure. An exception of the procedure leaves the call
// at once; the messages after the one being handled wait for the next call.
HResult SimConnect_CallDispatch(SimHandle handle, SimDispatchProc proc, void* context);
// The send id of the packet composed last.
HResult SimConnect_GetLastSentPacketID(SimHandle handle, std::uint32_t* sendId);

HResult SimConnect_MapClientEventToSimEvent(SimHandle handle, std::uint32_t eventId, const char* eventName);
HResult SimConnect_TransmitClientEvent(SimHandle handle, std::uint32_t objectId, std::uint32_t eventId,
                                       std::uint32_t data, std::uint32_t groupId, std::uint32_t flags);
HResult SimConnect_AddClientEventToNotificationGroup(SimHandle handle, std::uint32_t groupId, std::uint32_t eventId,
                                                     bool maskable);
HResult SimConnect_SetNotificationGroupPriority(SimHandle handle, std::uint32_t groupId, std::uint32_t priority);
// A null units name is sent as an empty field.
HResult SimConnect_AddToDataDefinition(SimHandle handle, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, std::uint32_t dataType, float epsilon,
                                       std::uint32_t datumId);
HResult SimConnect_RequestDataOnSimObject(SimHandle handle, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                          std::uint32_t origin, std::uint32_t interval, std::uint32_t limit);
HResult SimConnect_RequestDataOnSimObjectType(SimHandle handle, std::uint32_t requestId, std::uint32_t defineId,
                                              std::uint32_t radiusMeters, std::uint32_t objectType);
// An array count of 0 is sent as 1. A packet that cannot fit the compose buffer gives kSimInvalidArg.
HResult SimConnect_SetDataOnSimObject(SimHandle handle, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                      const void* data);
HResult SimConnect_SubscribeToSystemEvent(SimHandle handle, std::uint32_t eventId, const char* systemEventName);
HResult SimConnect_AICreateNonATCAircraft(SimHandle handle, const char* containerTitle, const char* tailNumber,
                                          const SimInitPosition& position, std::uint32_t requestId);
// The same call, handing back the send id stamped into this very packet (0 when the call failed),
// so that no packet of another thread can come between the creation and the reading of its id.
HResult SimConnect_AICreateNonATCAircraft(SimHandle handle, const char* containerTitle, const char* tailNumber,
                                          const SimInitPosition& position, std::uint32_t requestId,
                                          std::uint32_t* sendId);
HResult SimConnect_AIReleaseControl(SimHandle handle, std::uint32_t objectId, std::uint32_t requestId);
HResult SimConnect_AIRemoveObject(SimHandle handle, std::uint32_t objectId, std::uint32_t requestId);
HResult SimConnect_AISetAircraftFlightPlan(SimHandle handle, std::uint32_t objectId, const char* flightPlanPath,
                                           std::uint32_t requestId);

// Back to start values of the process-wide client state that tests may change (the attempt
// observer, the busy-pipe wait). Call only while no client is open.
void gf_resetSimConnectClient();

}  // namespace amb
