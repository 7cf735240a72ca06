#include "enginesim/fake_sim.hpp"

#include "core/geometry.hpp"
#include "traffic/live_ac.hpp"

#include <algorithm>
#include <cmath>

namespace amb::enginesim {

FakeSim::FakeSim(FakeSimOptions options) : m_options(options), m_nextId(options.firstObjectId) {}

void FakeSim::queueEvent(const SimEventCmd& event) { m_events.push_back(event); }
void FakeSim::queueCreation(const CreateRequest& request) { m_creations.push_back(request); }
void FakeSim::queueRemoval(std::uint32_t objectId) { m_removals.push_back(objectId); }
void FakeSim::updateAircraft(const PosUpdate& update) { m_fill.push_back(update); }

void FakeSim::handOverPositions() {
  std::swap(m_fill, m_send);
  m_fill.clear();
}

std::vector<SimResult> FakeSim::takeResults() {
  std::vector<SimResult> out;
  out.swap(m_results);
  return out;
}

bool FakeSim::requestAiNearby(std::uint32_t radiusMeters) {
  ++nearbyRequests;
  nearbyRadius = radiusMeters;
  m_nearbyAsked = true;
  return true;
}

bool FakeSim::requestStaticCg(std::uint32_t objectId) {
  m_staticCg.push_back(objectId);
  return true;
}

bool FakeSim::toggleAllLights(std::uint32_t objectId) {
  // Sent at once, in the engine's cycle.
  events.push_back({g_engineCycle.load(), objectId, EVT_ALL_LIGHTS_TOGGLE, 0});
  return true;
}

bool FakeSim::setFlightPlan(std::uint32_t objectId, const std::string& path) {
  if (refuseFlightPlans) return false;
  auto it = objects.find(objectId);
  if (it == objects.end()) return false;
  it->second.flightPlan = path;
  return true;
}

bool FakeSim::setControls(std::uint32_t objectId, const AiControlsBlock& block) {
  controls.emplace_back(objectId, block);
  return true;
}

double FakeSim::aboveRadius(const AiPosBlock& p) const {
  // The simulator measures on an Earth of its own (here the mean radius of 6371008.8 m), not on the
  // sphere of the program's nautical miles.
  const double p1 = user.latitude * kDegToRad, p2 = p.latitude * kDegToRad;
  const double dp = p2 - p1, dl = (p.longitude - user.longitude) * kDegToRad;
  const double h =
      std::sin(dp / 2) * std::sin(dp / 2) + std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
  return 2 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(h))) - nearbyRadius;
}

double FakeSim::groundAt(double latitude, double longitude) const {
  for (const FakeField& f : m_options.fields)
    if (gf_distanceNm({latitude, longitude}, {f.latitude, f.longitude}) <= f.radiusNm) return f.elevationFt;
  return m_options.groundElevation;
}

double FakeSim::aboveGround(const AiPosBlock& p) const {
  return std::max(0.0, p.altitude - groundAt(p.latitude, p.longitude) - m_options.staticCg);
}

void FakeSim::addObject(std::uint32_t id, std::uint32_t hexid, const AiPosBlock& position) {
  SimObject o;
  o.id = id;
  o.hexid = hexid;
  o.position = position;
  o.positioned = true;
  o.createdCycle = m_cycle;
  objects[id] = std::move(o);
}

void FakeSim::frame(std::int32_t cycle) {
  m_cycle = cycle;
  for (const PosUpdate& p : m_send) {
    auto it = objects.find(p.objectId);
    if (it == objects.end() || it->second.removedCycle >= 0) continue;
    SimObject& o = it->second;
    o.position = p.block;
    o.positioned = true;
    ++o.positionCount;
    ++positionBlocks;
    if (m_options.trackEvery > 0 && cycle % m_options.trackEvery == 0) o.track.emplace_back(cycle, p.block);
    if (onPosition) onPosition(cycle, o, p.block);
  }
  m_send.clear();

  for (const SimEventCmd& e : m_events) events.push_back({cycle, e.objectId, e.eventId, e.data});
  m_events.clear();

  for (const CreateRequest& c : m_creations) {
    ++creationsSent;
    CreationAnswer answer = answerCreation ? answerCreation(c) : CreationAnswer::Created;
    if (refusedTitles.count(std::string(c.title)) != 0) answer = CreationAnswer::Refused;
    if (answer == CreationAnswer::Lost) {
      lost.push_back(c);
      continue;
    }
    if (answer == CreationAnswer::Refused || answer == CreationAnswer::TooManyObjects) {
      refused.push_back(c);
      m_results.push_back({0, c.hexid, 0, answer == CreationAnswer::Refused ? CreateFailed : CreateLost, 0, 0});
      continue;
    }
    SimObject o;
    o.id = m_nextId++;
    o.hexid = c.hexid;
    o.callsign = c.callsign;
    o.title = std::string(c.title);
    o.initial = c.position;
    o.position = {c.position.latitude,
                  c.position.longitude,
                  c.position.pitch * kDegToRad,
                  c.position.bank * kDegToRad,
                  c.position.heading * kDegToRad,
                  c.position.altitude,
                  0,
                  0};
    o.createdCycle = cycle;
    m_added.push_back({o.id, cycle + answerDelayFrames, answer == CreationAnswer::ShownTwice ? 2 : 1});
    const std::uint32_t id = o.id;
    objects[id] = std::move(o);
    if (onCreated) onCreated(cycle, objects[id]);
  }
  m_creations.clear();

  for (std::uint32_t id : m_removals) {
    ++removalsSent;
    auto it = objects.find(id);
    if (it != objects.end() && it->second.removedCycle < 0) m_removing.emplace_back(cycle + m_options.removalDelay, id);
  }
  m_removals.clear();
  for (auto it = m_removing.begin(); it != m_removing.end();) {
    if (it->first > cycle) {
      ++it;
      continue;
    }
    SimObject& o = objects[it->second];
    if (o.removedCycle < 0) {
      o.removedCycle = cycle;
      std::erase_if(m_added, [&](const Added& a) { return a.id == o.id; });
      m_results.push_back({o.id, 0, 0, Removed, 0, 0});
      if (onRemoved) onRemoved(cycle, o);
    }
    it = m_removing.erase(it);
  }

  if (m_nearbyAsked) {
    m_nearbyAsked = false;
    for (auto& [id, o] : objects) {
      // Only the objects within the radius asked for, measured from the user aircraft.
      if (o.removedCycle >= 0 || aboveRadius(o.position) > 0) continue;
      const double agl = aboveGround(o.position);
      const auto added = std::find_if(m_added.begin(), m_added.end(), [&](const Added& a) { return a.id == id; });
      if (added != m_added.end()) {
        if (added->shownFrom > cycle) continue;
        if (o.hexid > 10000)
          m_results.push_back({id, o.hexid, 0, CreatedLive, 0, agl});
        else
          m_results.push_back({id, o.hexid, 0, CreatedParked, 0, 0});
        if (--added->times == 0) m_added.erase(added);
        continue;
      }
      if (agl <= 2500)
        m_results.push_back({id, standsOnGround(o.position) ? 1u : 0u, 0, OtherAircraft,
                             groundAt(o.position.latitude, o.position.longitude), agl});
    }
  }

  for (std::uint32_t id : m_staticCg)
    m_results.push_back({id, 0, 0, StaticCg, m_options.staticCg, m_options.staticPitch});
  m_staticCg.clear();
}

std::size_t FakeSim::liveObjects() const {
  return static_cast<std::size_t>(
      std::count_if(objects.begin(), objects.end(), [](const auto& kv) { return kv.second.removedCycle < 0; }));
}

std::vector<SimEvent> FakeSim::eventsOf(std::uint32_t objectId) const {
  std::vector<SimEvent> out;
  for (const SimEvent& e : events)
    if (e.objectId == objectId) out.push_back(e);
  return out;
}

const SimObject* FakeSim::objectOfHexid(std::uint32_t hexid) const {
  const SimObject* found = nullptr;
  for (const auto& [id, o] : objects)
    if (o.hexid == hexid) found = &o;
  return found;
}

}  // namespace amb::enginesim
