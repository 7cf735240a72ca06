// The SimConnect API calls: composing each packet, opening, closing and dispatching.

#include "core/log.hpp"
#include "sim/simconnect/connection.hpp"
#include "sim/simconnect/simconnect.hpp"

#include <cstring>
#include <new>

namespace amb {

namespace {

using namespace std::chrono_literals;

// Copies a text into a fixed field: it must leave room for the terminating zero; a null text leaves
// the field empty.
HResult putText(std::uint8_t* field, std::size_t fieldSize, const char* text) {
  if (!text) return kSimOk;
  const std::size_t n = std::strlen(text);
  if (n >= fieldSize) return kSimTextTooLong;
  std::memcpy(field, text, n);
  return kSimOk;
}

// Reserves, fills and sends one packet under the global compose lock. fill returns kSimOk or the
// failure for which the packet is withdrawn unsent.
template <typename Fill>
HResult composeAndSend(SimHandle h, std::uint32_t type, std::uint64_t size, Fill&& fill,
                       std::uint32_t* stampedId = nullptr) {
  if (stampedId) *stampedId = 0;
  if (!h) return kSimFail;
  try {
    std::lock_guard lock(SimConnectClient::composeLock());
    if (h->failed()) return static_cast<HResult>(h->storedStatus());
    if (size > sc::kComposeBufferSize) return kSimInvalidArg;
    std::uint8_t* p = h->lf_reservePacket(type, static_cast<std::uint32_t>(size));
    if (!p) return kSimFail;
    if (const HResult r = fill(p); r != kSimOk) {
      h->lf_withdrawPacket(p);
      return r;
    }
    const std::uint32_t id = sc::getU32(p + 12);
    h->lf_commitPackets();
    if (stampedId) *stampedId = id;
    return kSimOk;
  } catch (const std::bad_alloc&) {
    return kSimOutOfMemory;
  } catch (...) {
    return kSimFail;
  }
}

}  // namespace

HResult SimConnect_Open(SimHandle* handle, const char* name, void* /*window*/, std::uint32_t /*userMessage*/,
                        void* /*eventHandle*/, std::uint32_t configIndex) {
  // The program passes no window, message or event to be told of arrivals; it polls the dispatch.
  if (!handle || !name) return kSimInvalidArg;
  *handle = nullptr;
  SimConnectClient* client = nullptr;
  int rc;
  try {
    rc = lf_openSimConnect(client, configIndex);
  } catch (...) {
    rc = kOpenFailed;
  }
  if (rc == kOpenSectionNotFound) return kSimInvalidArg;
  if (rc != kOpenOk || !client) return kSimFail;

  HResult r = composeAndSend(client, sc::kOpen, sc::kOpenSize, [&](std::uint8_t* p) {
    if (const HResult t = putText(p + 16, 256, name); t != kSimOk) return t;
    sc::putU32(p + 272, 0);
    sc::putU32(p + 276, sc::kOpenMagic);
    sc::putU32(p + 280, sc::kOpenVersionA);
    sc::putU32(p + 284, sc::kOpenVersionB);
    sc::putU32(p + 288, 0);
    sc::putU32(p + 292, 0);
    return kSimOk;
  });
  if (r == kSimOk && client->state() != SimConnection::kConnected)
    r = client->failed() ? static_cast<HResult>(client->storedStatus()) : kSimFail;
  if (r != kSimOk) {
    client->close(kCloseOrderly, 0, 0);
    client->release();
    return r;
  }
  lf_linkClient(client);
  *handle = client;
  return kSimOk;
}

void lf_closeClient(SimConnectClient* h) {
  try {
    std::lock_guard lock(SimConnectClient::composeLock());
    h->lf_commitPackets();
  } catch (...) {
    // what could not be copied out is lost with the connection
  }
  // What was handed over leaves before the link goes down.
  h->waitSendDrained(100ms);
  h->dropReceived();
  lf_unlinkClient(h);
  h->close(kCloseOrderly, 0, 0);
  const std::uint64_t serial = h->serial();
  h->release();
  // The cancelled read completes on the I/O thread and frees the object; wait for it, bounded.
  lf_waitConnectionsGone(serial, 250ms + 20 * 250ms);
}

HResult SimConnect_Close(SimHandle h) {
  if (!h) return kSimFail;
  lf_closeClient(h);
  return kSimOk;
}

HResult SimConnect_CallDispatch(SimHandle h, SimDispatchProc proc, void* context) {
  if (!h || !proc) return kSimFail;
  while (SimPacketPtr packet = h->takeReceived()) {
    if (packet->size <= 11 || !packet->data) continue;
    const std::uint32_t id = sc::getU32(packet->data.get() + 8);
    const std::uint32_t fixed = sc::recvFixedSize(id);
    if (packet->size < fixed) {
      if (h->firstShortMessageOf(id))
        gf_logf("SimConnect: message id {} of {} bytes is shorter than its {} bytes of fields, ignored", id,
                packet->size, fixed);
      continue;
    }
    proc(reinterpret_cast<const sc::RecvHeader*>(packet->data.get()), packet->size, context);
  }
  return h->failed() ? static_cast<HResult>(h->storedStatus()) : kSimOk;
}

HResult SimConnect_GetLastSentPacketID(SimHandle h, std::uint32_t* sendId) {
  if (!h || !sendId) return kSimFail;
  std::lock_guard lock(SimConnectClient::composeLock());
  *sendId = h->lastSendId();
  return kSimOk;
}

HResult SimConnect_MapClientEventToSimEvent(SimHandle h, std::uint32_t eventId, const char* eventName) {
  return composeAndSend(h, sc::kMapClientEventToSimEvent, sc::kMapClientEventSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, eventId);
    return putText(p + 20, 256, eventName);
  });
}

HResult SimConnect_TransmitClientEvent(SimHandle h, std::uint32_t objectId, std::uint32_t eventId, std::uint32_t data,
                                       std::uint32_t groupId, std::uint32_t flags) {
  return composeAndSend(h, sc::kTransmitClientEvent, sc::kTransmitClientEventSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, objectId);
    sc::putU32(p + 20, eventId);
    sc::putU32(p + 24, data);
    sc::putU32(p + 28, groupId);
    sc::putU32(p + 32, flags);
    return kSimOk;
  });
}

HResult SimConnect_AddClientEventToNotificationGroup(SimHandle h, std::uint32_t groupId, std::uint32_t eventId,
                                                     bool maskable) {
  return composeAndSend(h, sc::kAddClientEventToNotificationGroup, sc::kAddToGroupSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, groupId);
    sc::putU32(p + 20, eventId);
    sc::putU32(p + 24, maskable ? 1 : 0);
    return kSimOk;
  });
}

HResult SimConnect_SetNotificationGroupPriority(SimHandle h, std::uint32_t groupId, std::uint32_t priority) {
  return composeAndSend(h, sc::kSetNotificationGroupPriority, sc::kGroupPrioritySize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, groupId);
    sc::putU32(p + 20, priority);
    return kSimOk;
  });
}

HResult SimConnect_AddToDataDefinition(SimHandle h, std::uint32_t defineId, const char* datumName,
                                       const char* unitsName, std::uint32_t dataType, float epsilon,
                                       std::uint32_t datumId) {
  return composeAndSend(h, sc::kAddToDataDefinition, sc::kAddToDataDefinitionSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, defineId);
    if (const HResult r = putText(p + 20, 256, datumName); r != kSimOk) return r;
    if (const HResult r = putText(p + 276, 256, unitsName); r != kSimOk) return r;
    sc::putU32(p + 532, dataType);
    sc::putF32(p + 536, epsilon);
    sc::putU32(p + 540, datumId);
    return kSimOk;
  });
}

HResult SimConnect_RequestDataOnSimObject(SimHandle h, std::uint32_t requestId, std::uint32_t defineId,
                                          std::uint32_t objectId, std::uint32_t period, std::uint32_t flags,
                                          std::uint32_t origin, std::uint32_t interval, std::uint32_t limit) {
  return composeAndSend(h, sc::kRequestDataOnSimObject, sc::kRequestDataSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, requestId);
    sc::putU32(p + 20, defineId);
    sc::putU32(p + 24, objectId);
    sc::putU32(p + 28, period);
    sc::putU32(p + 32, flags);
    sc::putU32(p + 36, origin);
    sc::putU32(p + 40, interval);
    sc::putU32(p + 44, limit);
    return kSimOk;
  });
}

HResult SimConnect_RequestDataOnSimObjectType(SimHandle h, std::uint32_t requestId, std::uint32_t defineId,
                                              std::uint32_t radiusMeters, std::uint32_t objectType) {
  return composeAndSend(h, sc::kRequestDataOnSimObjectType, sc::kRequestDataByTypeSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, requestId);
    sc::putU32(p + 20, defineId);
    sc::putU32(p + 24, radiusMeters);
    sc::putU32(p + 28, objectType);
    return kSimOk;
  });
}

HResult SimConnect_SetDataOnSimObject(SimHandle h, std::uint32_t defineId, std::uint32_t objectId,
                                      std::uint32_t flags, std::uint32_t arrayCount, std::uint32_t unitSize,
                                      const void* data) {
  const std::uint32_t count = arrayCount == 0 ? 1 : arrayCount;
  // Computed wide: count x unit size must not wrap into a small packet.
  const std::uint64_t dataBytes = std::uint64_t{count} * unitSize;
  if (dataBytes != 0 && !data) return h ? kSimInvalidArg : kSimFail;
  return composeAndSend(h, sc::kSetDataOnSimObject, sc::kSetDataHeaderSize + dataBytes, [&](std::uint8_t* p) {
    sc::putU32(p + 16, defineId);
    sc::putU32(p + 20, objectId);
    sc::putU32(p + 24, flags);
    sc::putU32(p + 28, count);
    sc::putU32(p + 32, unitSize);
    if (dataBytes != 0) std::memcpy(p + 36, data, static_cast<std::size_t>(dataBytes));
    return kSimOk;
  });
}

HResult SimConnect_SubscribeToSystemEvent(SimHandle h, std::uint32_t eventId, const char* systemEventName) {
  return composeAndSend(h, sc::kSubscribeToSystemEvent, sc::kSubscribeSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, eventId);
    return putText(p + 20, 256, systemEventName);
  });
}

HResult SimConnect_AICreateNonATCAircraft(SimHandle h, const char* containerTitle, const char* tailNumber,
                                          const SimInitPosition& position, std::uint32_t requestId,
                                          std::uint32_t* sendId) {
  return composeAndSend(
      h, sc::kAICreateNonATCAircraft, sc::kCreateAircraftSize,
      [&](std::uint8_t* p) {
        if (const HResult r = putText(p + 16, 256, containerTitle); r != kSimOk) return r;
        if (const HResult r = putText(p + 272, 12, tailNumber); r != kSimOk) return r;
        sc::putF64(p + 284, position.latitude);
        sc::putF64(p + 292, position.longitude);
        sc::putF64(p + 300, position.altitude);
        sc::putF64(p + 308, position.pitch);
        sc::putF64(p + 316, position.bank);
        sc::putF64(p + 324, position.heading);
        sc::putU32(p + 332, position.onGround);
        sc::putU32(p + 336, position.airspeed);
        sc::putU32(p + 340, requestId);
        return kSimOk;
      },
      sendId);
}

HResult SimConnect_AICreateNonATCAircraft(SimHandle h, const char* containerTitle, const char* tailNumber,
                                          const SimInitPosition& position, std::uint32_t requestId) {
  return SimConnect_AICreateNonATCAircraft(h, containerTitle, tailNumber, position, requestId, nullptr);
}

HResult SimConnect_AIReleaseControl(SimHandle h, std::uint32_t objectId, std::uint32_t requestId) {
  return composeAndSend(h, sc::kAIReleaseControl, sc::kReleaseControlSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, objectId);
    sc::putU32(p + 20, requestId);
    return kSimOk;
  });
}

HResult SimConnect_AIRemoveObject(SimHandle h, std::uint32_t objectId, std::uint32_t requestId) {
  return composeAndSend(h, sc::kAIRemoveObject, sc::kRemoveObjectSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, objectId);
    sc::putU32(p + 20, requestId);
    return kSimOk;
  });
}

HResult SimConnect_AISetAircraftFlightPlan(SimHandle h, std::uint32_t objectId, const char* flightPlanPath,
                                           std::uint32_t requestId) {
  return composeAndSend(h, sc::kAISetAircraftFlightPlan, sc::kFlightPlanSize, [&](std::uint8_t* p) {
    sc::putU32(p + 16, objectId);
    if (const HResult r = putText(p + 20, 260, flightPlanPath); r != kSimOk) return r;
    sc::putU32(p + 280, requestId);
    return kSimOk;
  });
}

}  // namespace amb
