#include "flightcheck/replay.hpp"

#include "feed/traffic_line.hpp"
#include "traffic/engine.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace amb::flightcheck {

void recordedIdentities(const std::vector<enginesim::RecordedLine>& lines, std::map<std::uint32_t, ReportedAircraft>& out) {
  for (const enginesim::RecordedLine& line : lines) {
    ReportedAircraft& a = out[line.hexid];
    const std::string callsign = enginesim::lineField(line.text, 9);
    if (!callsign.empty() && callsign != "null") a.callsign = callsign;
    const std::string speed = enginesim::lineField(line.text, 8);
    char* end = nullptr;
    const double v = std::strtod(speed.c_str(), &end);
    if (end != speed.c_str() && std::isfinite(v) && v >= 0 && v <= kFastestGroundSpeedKt)
      a.highestSpeedKt = std::max(a.highestSpeedKt, v);
  }
}

Reported reportedOf(double t, const Situation& s) {
  Reported r;
  r.t = t;
  r.latitude = s.latitude;
  r.longitude = s.longitude;
  r.altitude = s.altitude;
  r.speedKt = s.speed;
  r.airborne = s.airborne != 0;
  return r;
}

ReplayCollector::ReplayCollector(enginesim::EngineHarness& harness, const std::vector<enginesim::RecordedLine>& lines,
                                 std::int32_t every, double groundFt, double cgFt)
    : m_harness(harness), m_every(every), m_groundFt(groundFt), m_cgFt(cgFt) {
  m_input.delaySeconds = kTrafficDelayCycles / static_cast<double>(kCyclesPerSecond);
  recordedIdentities(lines, m_input.reported);
}

void ReplayCollector::queued(const enginesim::RecordedLine& line, const Situation& s) {
  m_harness.follow(line.hexid);
  const std::int32_t queuedAt = s.due - kTrafficDelayCycles;
  auto& positions = m_input.reported[line.hexid].positions;
  m_dues[line.hexid].push_back({s.due, positions.size()});
  positions.push_back(reportedOf(queuedAt / static_cast<double>(kCyclesPerSecond), s));
}

void ReplayCollector::flown(std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
  if (cycle % m_every != 0) return;
  FlownTrack& t = m_tracks[o.id];
  if (t.points.empty()) {
    t.objectId = o.id;
    t.hexid = o.hexid;
    t.callsign = o.callsign;
  }
  FlownPoint p;
  p.t = cycle / static_cast<double>(kCyclesPerSecond);
  p.latitude = b.latitude;
  p.longitude = b.longitude;
  p.altitude = static_cast<float>(b.altitude);
  p.headingDeg = static_cast<float>(b.heading * kRadToDeg);
  p.onGround = b.altitude - m_groundFt - m_cgFt <= 0.5;
  t.points.push_back(p);
}

Input ReplayCollector::finish() {
  // What the buffers took; everything else queued was dropped.
  for (auto& [hexid, list] : m_dues) {
    const auto& accepted = m_harness.accepted(hexid);
    auto& positions = m_input.reported[hexid].positions;
    for (const Due& d : list) {
      Reported& r = positions[d.index];
      const bool taken = std::any_of(accepted.begin(), accepted.end(), [&](const enginesim::AcceptedPosition& a) {
        return a.latitude == r.latitude && a.longitude == r.longitude && std::abs(a.due - d.due) <= 5;
      });
      r.taken = taken ? Taken::Yes : Taken::No;
    }
  }
  for (auto& [id, t] : m_tracks) m_input.tracks.push_back(std::move(t));
  m_tracks.clear();
  keepDropsOfFlownAircraft(m_input);
  return std::move(m_input);
}

}  // namespace amb::flightcheck
