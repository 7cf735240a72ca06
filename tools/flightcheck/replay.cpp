#include "flightcheck/replay.hpp"

#include "airportgen/airportgen.hpp"
#include "dbgen/dbgen.hpp"
#include "feed/traffic_line.hpp"
#include "refdata/queries.hpp"
#include "sim/services.hpp"
#include "tracemap/tracemap.hpp"
#include "traffic/engine.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>

namespace amb::flightcheck {

namespace {

bool lf_number(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return end != text.c_str() && std::isfinite(out);
}

}  // namespace

void recordedIdentities(const std::vector<enginesim::RecordedLine>& lines, std::map<std::uint32_t, ReportedAircraft>& out) {
  const double t0 = lines.empty() ? 0 : lines.front().timestamp;
  for (const enginesim::RecordedLine& line : lines) {
    ReportedAircraft& a = out[line.hexid];
    const std::string callsign = enginesim::lineField(line.text, 9);
    if (!callsign.empty() && callsign != "null") a.callsign = callsign;
    const std::string type = enginesim::lineField(line.text, 10);
    if (a.category < 0 && !type.empty() && type != "null" && type != "0" && type != "ZZZZ")
      a.category = gf_aircraftCategory(type);
    double v = 0;
    const bool speedRead = lf_number(enginesim::lineField(line.text, 8), v) && v >= 0 && v <= kFastestGroundSpeedKt;
    if (speedRead) a.highestSpeedKt = std::max(a.highestSpeedKt, v);
    Recorded r;
    r.t = line.timestamp - t0;
    r.speedKt = v;
    if (!lf_number(enginesim::lineField(line.text, 7), r.trackDeg)) r.trackDeg = 0;
    if (speedRead && lf_number(enginesim::lineField(line.text, 2), r.latitude) &&
        lf_number(enginesim::lineField(line.text, 3), r.longitude) &&
        lf_number(enginesim::lineField(line.text, 4), r.altitude))
      a.records.push_back(r);
  }
  // Lines that arrive late come out of their stamps' order.
  for (auto& [hexid, a] : out)
    std::stable_sort(a.records.begin(), a.records.end(),
                     [](const Recorded& x, const Recorded& y) { return x.t < y.t; });
}

std::vector<Airport> readAirportList(const std::filesystem::path& airportsCsv, const std::filesystem::path& runwaysCsv,
                                     const LatLon& centre, double withinNm) {
  // The codes of the airports table's rows (as the list takes them: the GPS code, else the ident);
  // the list's other airports are known only by their runways.
  std::set<std::string> tabled;
  {
    const std::vector<std::string> rows = dbgen::readTextLines(airportsCsv);
    const std::vector<std::string> head = rows.empty() ? std::vector<std::string>{} : tracemap::splitCsvLine(rows[0]);
    const auto column = [&](const char* name) {
      return static_cast<std::size_t>(std::find(head.begin(), head.end(), name) - head.begin());
    };
    const std::size_t ident = column("ident"), gps = column("gps_code");
    for (std::size_t i = 1; i < rows.size(); ++i) {
      const std::vector<std::string> f = tracemap::splitCsvLine(rows[i]);
      if (gps < f.size() && !f[gps].empty())
        tabled.insert(f[gps]);
      else if (ident < f.size())
        tabled.insert(f[ident]);
    }
  }
  std::vector<Airport> out;
  std::map<std::string, std::size_t> byCode;
  for (const AirportData& a : airportgen::readOurAirports(airportsCsv, runwaysCsv)) {
    if (gf_distanceNm(centre, {a.lat, a.lon}) > withinNm) continue;
    byCode[a.code] = out.size();
    out.push_back({a.code, {a.lat, a.lon}, a.alt, {}, tabled.count(a.code) == 0, a.iata});
  }
  tracemap::Tracks tracks;
  std::string error;
  if (!tracemap::readRunways(runwaysCsv, tracks, error)) throw std::runtime_error(error);
  constexpr double kMetresPerFoot = 0.3048;
  for (const tracemap::Runway& r : tracks.runways) {
    auto it = byCode.find(r.airport);
    if (it == byCode.end()) continue;
    Runway runway;
    runway.ends = {r.ends[0], r.ends[1]};
    runway.at = {LatLon{r.a.lat, r.a.lon}, LatLon{r.b.lat, r.b.lon}};
    runway.lengthM = r.lengthFt * kMetresPerFoot;
    runway.widthM = r.widthFt * kMetresPerFoot;
    out[it->second].runways.push_back(std::move(runway));
  }
  return out;
}

Reported reportedOf(double t, const Situation& s) {
  Reported r;
  r.t = t;
  r.latitude = s.latitude;
  r.longitude = s.longitude;
  r.altitude = s.altitude;
  r.speedKt = s.speed;
  r.airborne = s.airborne != 0;
  r.trackDeg = s.heading;
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
  positions.back().stamp = line.timestamp;
}

void ReplayCollector::flown(std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
  if (cycle % m_every != 0) return;
  FlownTrack& t = m_tracks[o.id];
  if (t.points.empty()) {
    t.objectId = o.id;
    t.hexid = o.hexid;
    t.callsign = o.callsign;
    if (const LiveAc* ac = lf_findLiveByObjectId(o.id); ac != nullptr) t.category = ac->category;
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
    // The harness follows every aircraft from its first record: its records in the order queued.
    for (std::size_t i : m_harness.heldPastNext(hexid))
      if (i < positions.size()) positions[i].heldPast = true;
  }
  m_input.holdsKnown = true;
  for (auto& [id, t] : m_tracks) {
    const auto o = m_harness.sim().objects.find(id);
    if (o != m_harness.sim().objects.end()) {
      t.createdAt = o->second.createdCycle / static_cast<double>(kCyclesPerSecond);
      if (o->second.removedCycle >= 0) t.removedAt = o->second.removedCycle / static_cast<double>(kCyclesPerSecond);
    }
    m_input.tracks.push_back(std::move(t));
  }
  m_input.parkElevationFt = m_groundFt;
  m_input.cgFt = m_cgFt;
  m_tracks.clear();
  keepDropsOfFlownAircraft(m_input);
  return std::move(m_input);
}

TraceWriter::TraceWriter(std::ostream& out, const enginesim::FakeSim& sim, std::int32_t every)
    : m_out(out), m_sim(sim), m_every(every) {
  m_out << tracemap::kTraceHeader << "\n";
}

void TraceWriter::write(std::int32_t cycle, const enginesim::SimObject& o, const char* what, const AiPosBlock& b,
                        bool onGround, const std::string& detail) {
  if (m_ended) return;
  m_out << tracemap::traceRow({cycle / static_cast<double>(kCyclesPerSecond), o.id, what, b.latitude, b.longitude,
                               b.altitude, b.pitch * kRadToDeg, b.bank * kRadToDeg, b.heading * kRadToDeg, onGround,
                               detail});
}

void TraceWriter::created(std::int32_t cycle, const enginesim::SimObject& o) {
  // The creation's own position, in degrees, with the on-ground flag it was created with.
  const SimInitPosition& p = o.initial;
  AiPosBlock b{};
  b.latitude = p.latitude;
  b.longitude = p.longitude;
  b.altitude = p.altitude;
  b.pitch = p.pitch * kDegToRad;
  b.bank = p.bank * kDegToRad;
  b.heading = p.heading * kDegToRad;
  write(cycle, o, "created", b, p.onGround != 0, o.title + "|" + o.callsign);
}

void TraceWriter::flown(std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
  if (cycle % m_every != 0) return;
  write(cycle, o, "position", b, m_sim.standsOnGround(b), fmt::format("def {}", static_cast<int>(DEF_AI_POSITION)));
}

void TraceWriter::removed(std::int32_t cycle, const enginesim::SimObject& o) {
  write(cycle, o, "removed", o.position, m_sim.standsOnGround(o.position), "");
}

void TraceWriter::exit(std::int32_t cycle) {
  for (const auto& [id, o] : m_sim.objects)
    if (o.removedCycle < 0) removed(cycle, o);
  m_ended = true;
}

std::vector<AirportData> engineAirports(const std::vector<Airport>& airports) {
  std::vector<AirportData> out;
  out.reserve(airports.size());
  for (const Airport& a : airports) out.push_back({a.code, a.iata, a.at.lat, a.at.lon, a.elevationFt});
  return out;
}

}  // namespace amb::flightcheck
