// What the double does with each packet a client sends.

#include "tools/simdouble/core.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

namespace amb::simdouble {

namespace {

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The size each packet type must have at least.
std::uint32_t expectedSize(std::uint32_t type) {
  switch (type) {
    case sc::kOpen: return sc::kOpenSize;
    case sc::kMapClientEventToSimEvent: return sc::kMapClientEventSize;
    case sc::kTransmitClientEvent: return sc::kTransmitClientEventSize;
    case sc::kAddClientEventToNotificationGroup: return sc::kAddToGroupSize;
    case sc::kSetNotificationGroupPriority: return sc::kGroupPrioritySize;
    case sc::kAddToDataDefinition: return sc::kAddToDataDefinitionSize;
    case sc::kRequestDataOnSimObject: return sc::kRequestDataSize;
    case sc::kRequestDataOnSimObjectType: return sc::kRequestDataByTypeSize;
    case sc::kSetDataOnSimObject: return sc::kSetDataHeaderSize;
    case sc::kSubscribeToSystemEvent: return sc::kSubscribeSize;
    case sc::kAICreateNonATCAircraft: return sc::kCreateAircraftSize;
    case sc::kAIReleaseControl: return sc::kReleaseControlSize;
    case sc::kAIRemoveObject: return sc::kRemoveObjectSize;
    case sc::kAISetAircraftFlightPlan: return sc::kFlightPlanSize;
    default: return sc::kSendHeaderSize;
  }
}

}  // namespace

void Session::send(const Bytes& message) { out.insert(out.end(), message.begin(), message.end()); }

bool Session::subscribed(const std::string& systemEvent, std::uint32_t& eventId) const {
  auto it = systemEvents.find(upper(systemEvent));
  if (it == systemEvents.end()) return false;
  eventId = it->second;
  return true;
}

std::string packetLogLine(const LoggedPacket& p) {
  return fmt::format("session={} send={} type=0x{:02x} size={} data={}", p.session, p.sendId, p.type, p.size,
                     toHex(p.bytes.data(), p.bytes.size()));
}

void SimDouble::Core::onPacket(Session& s, const std::uint8_t* p, std::uint32_t size) {
  LoggedPacket lp;
  lp.session = s.number;
  lp.size = size;
  lp.version = sc::getU32(p + 4);
  lp.type = sc::getU32(p + 8) & ~sc::kPacketIdFlag;
  lp.sendId = sc::getU32(p + 12);
  lp.bytes.assign(p, p + size);
  if (packetLog.is_open()) {
    packetLog << packetLogLine(lp) << '\n';
    packetLog.flush();
  }
  {
    std::lock_guard lock(mutex);
    packets.push_back(lp);
  }
  s.version = lp.version;
  s.lastSendId = lp.sendId;
  const std::uint32_t sendId = lp.sendId;
  auto u32 = [&](std::uint32_t off) { return sc::getU32(p + off); };
  auto f64 = [&](std::uint32_t off) { return sc::getF64(p + off); };
  auto text = [&](std::uint32_t off, std::uint32_t n) { return sc::fieldText(reinterpret_cast<const char*>(p + off), n); };
  auto exception = [&](std::uint32_t number, std::uint32_t index) {
    s.send(msgException(s.version, number, sendId, index));
  };

  if (size < expectedSize(lp.type)) {
    exception(sc::kExceptionSizeMismatch, 0);
    return;
  }

  switch (lp.type) {
    case sc::kOpen:
      s.appName = text(16, 256);
      s.opened = true;
      if (scenario.openException)
        exception(scenario.openExceptionNumber, scenario.openExceptionIndex);
      else
        s.send(msgOpen(s.version, scenario.simName, scenario.appVersion, scenario.simConnectVersion));
      break;

    case sc::kSubscribeToSystemEvent: {
      const std::string name = upper(text(20, 256));
      s.systemEvents[name] = u32(16);
      // The simulator answers "Sim" at once with its current state.
      if (name == "SIM") s.send(msgEvent(s.version, sc::kUnused, u32(16), scenario.running ? 1 : 0));
      break;
    }

    case sc::kAddToDataDefinition:
      s.definitions[u32(16)].push_back({text(20, 256), text(276, 256), u32(532)});
      break;

    case sc::kMapClientEventToSimEvent:
      s.mappedEvents[u32(16)] = text(20, 256);
      break;

    case sc::kAddClientEventToNotificationGroup:
    case sc::kSetNotificationGroupPriority:
      break;

    case sc::kRequestDataOnSimObject: {
      DataRequest r{u32(16), u32(20), u32(24), u32(28), sendId, Clock::now() + std::chrono::seconds(1)};
      if (s.definitions.count(r.defineId) == 0) {
        exception(sc::kExceptionUnrecognizedId, 2);
        break;
      }
      if (!world.find(r.objectId)) {
        exception(sc::kExceptionUnrecognizedId, 3);
        break;
      }
      std::erase_if(s.periodic, [&](const DataRequest& q) { return q.requestId == r.requestId; });
      if (r.period == sc::kPeriodNever) break;
      if (r.period == sc::kPeriodOnce || scenario.running) answerRequest(s, r);
      if (r.period != sc::kPeriodOnce) s.periodic.push_back(r);
      break;
    }

    case sc::kRequestDataOnSimObjectType: {
      const std::uint32_t requestId = u32(16), defineId = u32(20), radius = u32(24), type = u32(28);
      auto def = s.definitions.find(defineId);
      if (def == s.definitions.end()) {
        exception(sc::kExceptionUnrecognizedId, 2);
        break;
      }
      std::vector<const Aircraft*> found;
      if (type == sc::kObjectUser || type == sc::kObjectAll || type == sc::kObjectAircraft) found.push_back(&world.user);
      if (type == sc::kObjectAll || type == sc::kObjectAircraft) {
        for (const auto& [id, a] : world.objects)
          if (World::distanceMeters(world.user.latitude, world.user.longitude, a.latitude, a.longitude) <= radius)
            found.push_back(&a);
      }
      const auto n = static_cast<std::uint32_t>(found.size());
      for (std::uint32_t i = 0; i < n; ++i) {
        Bytes data;
        for (const auto& d : def->second) world.encodeDatum(*found[i], d, data);
        s.send(msgObjectData(s.version, sc::kRecvSimObjectDataByType, requestId, found[i]->id, defineId, 0, i + 1, n,
                             static_cast<std::uint32_t>(def->second.size()), data));
      }
      break;
    }

    case sc::kSetDataOnSimObject: {
      const std::uint32_t defineId = u32(16), objectId = u32(20), count = u32(28), unit = u32(32);
      Aircraft* a = world.find(objectId);
      auto def = s.definitions.find(defineId);
      if (!a || def == s.definitions.end()) {
        exception(sc::kExceptionUnrecognizedId, a ? 1 : 2);
        break;
      }
      const std::uint64_t bytes = std::uint64_t{count} * unit;
      if (sc::kSetDataHeaderSize + bytes > size) {
        exception(sc::kExceptionSizeMismatch, 5);
        break;
      }
      const std::uint8_t* data = p + sc::kSetDataHeaderSize;
      std::size_t left = static_cast<std::size_t>(bytes);
      const double latitude = a->latitude, longitude = a->longitude;
      for (const auto& d : def->second) {
        const std::size_t used = world.decodeDatum(*a, d, data, left);
        if (used == 0) break;
        data += used;
        left -= used;
      }
      if (a != &world.user) {
        // The ground under an object that moved is the field it is over now; as a simulator does,
        // it stands on the ground when it is no higher than its CG above it.
        if (!world.fields.empty() && (a->latitude != latitude || a->longitude != longitude))
          a->groundAltitude = world.groundAt(a->latitude, a->longitude);
        a->onGround = World::standsOnGround(*a);
        trace.write(*a, "position", fmt::format("def {}", defineId));
      }
      break;
    }

    case sc::kTransmitClientEvent: {
      const std::uint32_t objectId = u32(16), eventId = u32(20), data = u32(24);
      Aircraft* a = world.find(objectId);
      if (!a) {
        exception(sc::kExceptionUnrecognizedId, 1);
        break;
      }
      auto it = s.mappedEvents.find(eventId);
      const std::string name = it == s.mappedEvents.end() ? fmt::format("event {}", eventId) : it->second;
      if (a != &world.user) trace.write(*a, "event", fmt::format("{}={}", name, data));
      break;
    }

    case sc::kAICreateNonATCAircraft: {
      Aircraft a;
      a.title = text(16, 256);
      a.atcId = text(272, 12);
      a.latitude = f64(284);
      a.longitude = f64(292);
      a.altitude = f64(300);
      a.pitch = f64(308);
      a.bank = f64(316);
      a.heading = f64(324);
      a.onGround = u32(332) != 0;
      a.trueAirspeed = u32(336);
      // The world is flat at the user aircraft's ground altitude but for the fields of airports.
      a.groundAltitude = world.groundAt(a.latitude, a.longitude);
      a.createdByClient = true;
      a.ownerSession = s.number;
      const std::uint32_t requestId = u32(340);
      if (scenario.refuseCreate || scenario.refuseNextCreates > 0) {
        if (scenario.refuseNextCreates > 0) --scenario.refuseNextCreates;
        trace.write(a, "refused", a.title + "|" + a.atcId);
        exception(sc::kExceptionCreateObjectFailed, 0);
        break;
      }
      if (world.objects.size() >= scenario.maxObjects) {
        trace.write(a, "refused", "too many objects");
        exception(sc::kExceptionTooManyObjects, 0);
        break;
      }
      a.id = world.allocateId();
      const std::uint32_t id = a.id;
      world.objects[id] = a;
      trace.write(world.objects[id], "created", a.title + "|" + a.atcId);
      if (scenario.assignedIdMessage) s.send(msgAssignedObjectId(s.version, requestId, id));
      sendObjectAddRemove("ObjectAdded", id);
      break;
    }

    case sc::kAIReleaseControl: {
      Aircraft* a = world.find(u32(16));
      if (!a || a == &world.user) {
        exception(sc::kExceptionUnrecognizedId, 1);
        break;
      }
      trace.write(*a, "release", fmt::format("request {}", u32(20)));
      break;
    }

    case sc::kAIRemoveObject: {
      const std::uint32_t id = u32(16);
      if (world.objects.count(id) == 0) {
        exception(sc::kExceptionUnrecognizedId, 1);
        break;
      }
      removeObject(id, "removed");
      break;
    }

    case sc::kAISetAircraftFlightPlan: {
      Aircraft* a = world.find(u32(16));
      if (!a || a == &world.user) {
        exception(sc::kExceptionUnrecognizedId, 1);
        break;
      }
      const std::string path = text(20, 260);
      if (scenario.refuseFlightPlan) {
        trace.write(*a, "flightplan-refused", path);
        exception(sc::kExceptionLoadFlightplanFailed, 2);
        break;
      }
      trace.write(*a, "flightplan", path);
      break;
    }

    default:
      exception(sc::kExceptionError, 0);
      break;
  }
}

void SimDouble::Core::answerRequest(Session& s, const DataRequest& r) {
  const Aircraft* a = world.find(r.objectId);
  auto def = s.definitions.find(r.defineId);
  if (!a || def == s.definitions.end()) return;
  Bytes data;
  for (const auto& d : def->second) world.encodeDatum(*a, d, data);
  s.send(msgObjectData(s.version, sc::kRecvSimObjectData, r.requestId, a->id, r.defineId, 0, 1, 1,
                       static_cast<std::uint32_t>(def->second.size()), data));
}

void SimDouble::Core::sendFrames(int count) {
  for (int i = 0; i < count; ++i) {
    ++frameCount;
    for (auto& s : sessions) {
      std::uint32_t eventId;
      if (!s->dead && s->subscribed("Frame", eventId))
        s->send(msgFrame(s->version, eventId, frameCount, static_cast<float>(scenario.frameRate), 1.0f));
    }
  }
}

void SimDouble::Core::sendPeriodic(Clock::time_point now, bool frameTick) {
  if (!scenario.running) return;
  for (auto& s : sessions) {
    if (s->dead) continue;
    std::erase_if(s->periodic, [&](const DataRequest& r) { return world.find(r.objectId) == nullptr; });
    for (auto& r : s->periodic) {
      if (r.period == sc::kPeriodSecond) {
        if (now < r.next) continue;
        r.next += std::chrono::seconds(1);
        if (r.next <= now) r.next = now + std::chrono::seconds(1);
        answerRequest(*s, r);
      } else if (frameTick && (r.period == sc::kPeriodVisualFrame || r.period == sc::kPeriodSimFrame)) {
        answerRequest(*s, r);
      }
    }
  }
}

void SimDouble::Core::sendSystemEvent(const std::string& name, std::uint32_t data) {
  for (auto& s : sessions) {
    std::uint32_t eventId;
    if (!s->dead && s->subscribed(name, eventId)) s->send(msgEvent(s->version, sc::kUnused, eventId, data));
  }
}

void SimDouble::Core::sendObjectAddRemove(const char* systemEvent, std::uint32_t objectId) {
  for (auto& s : sessions) {
    std::uint32_t eventId;
    if (!s->dead && s->subscribed(systemEvent, eventId))
      s->send(msgObjectAddRemove(s->version, eventId, objectId, sc::kObjectAircraft));
  }
}

void SimDouble::Core::removeObject(std::uint32_t objectId, const char* why) {
  auto it = world.objects.find(objectId);
  if (it == world.objects.end()) return;
  trace.write(it->second, why, "");
  world.objects.erase(it);
  sendObjectAddRemove("ObjectRemoved", objectId);
}

}  // namespace amb::simdouble
