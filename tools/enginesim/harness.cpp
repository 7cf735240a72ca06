#include "enginesim/harness.hpp"

#include <cstdio>

#include "airports/services.hpp"
#include "core/geometry.hpp"
#include "core/strings.hpp"
#include "dbgen/dbgen.hpp"
#include "enginesim/liveries.hpp"
#include "feed/qnh.hpp"
#include "feed/readers.hpp"
#include "feed/traffic_line.hpp"
#include "liveries/services.hpp"
#include "refdata/database.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"
#include "traffic/engine.hpp"
#include "traffic/flight_plan.hpp"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <stdexcept>

namespace amb::enginesim {

namespace fs = std::filesystem;

struct EngineHarness::Reader {
  TrafficReader reader;
};

std::string lineField(const std::string& line, std::size_t index) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < index; ++i) {
    start = line.find(',', start);
    if (start == std::string::npos) return {};
    ++start;
  }
  const std::size_t end = line.find(',', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<RecordedLine> readRecording(const fs::path& file) {
  std::vector<RecordedLine> out;
  for (std::string& text : dbgen::readTextLines(file)) {
    if (text.empty()) continue;
    RecordedLine line;
    line.timestamp = std::strtod(lineField(text, 14).c_str(), nullptr);
    line.hexid = static_cast<std::uint32_t>(std::strtoul(lineField(text, 1).c_str(), nullptr, 10));
    line.text = std::move(text);
    out.push_back(std::move(line));
  }
  return out;
}

bool SettingArguments::take(const std::string& name, const std::string& value, HarnessOptions& options,
                            bool& valid) {
  valid = true;
  if (name == "--airport") {
    char code[16] = {};
    double lat = 0, lon = 0, elev = 0;
    valid = std::sscanf(value.c_str(), "%15[^,],%lf,%lf,%lf", code, &lat, &lon, &elev) == 4;
    if (valid) {
      options.parkAirport = AirportData{code, code, lat, lon, elev};
      airportGiven = true;
    }
    return true;
  }
  if (name == "--user") {
    valid = std::sscanf(value.c_str(), "%lf,%lf", &options.userLatitude, &options.userLongitude) == 2;
    userGiven = userGiven || valid;
    return true;
  }
  return false;
}

void SettingArguments::finish(HarnessOptions& options) const {
  if (airportGiven && !userGiven) {
    options.userLatitude = options.parkAirport.lat;
    options.userLongitude = options.parkAirport.lon;
  }
}

void loadDataBase(const fs::path& faaCsv, const fs::path& traffic) {
  // Generated once; read again whenever another part of the program emptied the tables.
  static const std::string xml = dbgen::writeXml(dbgen::buildFromSources(faaCsv, traffic));
  static std::size_t models = 0;
  if (models != 0 && g_validModels.size() == models) return;
  const fs::path scratch = fs::temp_directory_path() / ("amb-enginesim-db-" + std::to_string(std::random_device{}()));
  fs::create_directories(scratch);
  const fs::path temp2 = scratch / "temp2.xml";
  {
    std::ofstream out(temp2, std::ios::binary);
    out << xml;
  }
  gf_resetDataBase();
  const bool ok = lf_readDataBaseFile(temp2);
  std::error_code ec;
  fs::remove_all(scratch, ec);
  if (!ok) throw std::runtime_error("the generated data base could not be read");
  models = g_validModels.size();
}

namespace {

// The simulator's ground: each airport of the list around the user flat at its elevation.
FakeSimOptions lf_withFields(const HarnessOptions& options) {
  FakeSimOptions sim = options.sim;
  for (const AirportData& a : options.airports)
    if (gf_distanceNm({options.userLatitude, options.userLongitude}, {a.lat, a.lon}) <= options.radiusNm + 10.0)
      sim.fields.push_back({a.lat, a.lon, a.alt, 3});
  return sim;
}

}  // namespace

EngineHarness::EngineHarness(HarnessOptions options)
    : m_options(std::move(options)), m_sim(lf_withFields(m_options)), m_reader(std::make_unique<Reader>()) {
  m_lineReader = m_options.programReader ? &g_trafficReader : &m_reader->reader;
  gf_resetEngine();
  gf_reserveLiveTables();
  gf_resetTrafficQueue();
  gf_resetLiveries();
  buildLiveryTables(m_options.liveries ? *m_options.liveries : genericLiveries());
  gf_resetParkState();
  gf_resetSettings();
  gf_clearHexidTitles();
  gf_clearGhostCallsigns();
  // A quiet, repeatable run: no random choices, no user in the way, a fixed radius.
  gf_setRandomOn(false);
  RANDOM.value = 0;
  COLLISION_USER_AIR.value = 0;
  COLLISION_USER_GND.value = 0;
  COLLISION_LIVE_PARKED_GND.value = 0;
  AUTO_RANGE.value = 0;
  gf_setRadiusNm(m_options.radiusNm);
  gf_seedEngineRandom(m_options.seed);
  g_engineQnh = 1013;
  g_stands = m_options.stands;
  gf_resetAirportList();
  if (!m_options.airports.empty()) {
    gf_setAirportList(m_options.airports);
    g_airportsRead = 1;
  }
  if (!m_options.parkAirport.code.empty()) {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = m_options.parkAirport;
    g_parkAirportLoaded = 1;
  }
  UserAcBlock user;
  user.latitude = m_options.userLatitude;
  user.longitude = m_options.userLongitude;
  user.heading = m_options.userHeadingDeg * kDegToRad;
  user.altitude = m_options.parkAirport.alt;
  m_sim.user = user;
  m_sim.userOnGroundFlag = true;
  g_engineUserAc = user;
  m_lineReader->setUserPosition(user.latitude, user.longitude);
  if (!m_options.parkAirport.code.empty()) m_lineReader->setParkElevation(m_options.parkAirport.alt);
  gf_setSimPort(&m_sim);
  if (!m_options.programFolder.empty()) {
    g_programFolder = m_options.programFolder;
    gf_createFlightPlanFolder();
  } else {
    g_flightPlanFolder.clear();
  }
  std::lock_guard lock(g_trafficQueueMutex);
  g_trafficQueueOpen = 1;
}

EngineHarness::~EngineHarness() {
  gf_setSimPort(nullptr);
  gf_resetAirportList();
  gf_resetEngine();
  gf_resetTrafficQueue();
  gf_resetParkState();
  gf_resetLiveries();
  gf_resetSettings();
  g_flightPlanFolder.clear();
}

std::int32_t EngineHarness::cycle() const { return g_engineCycle.load(); }

void EngineHarness::schedule(const std::vector<RecordedLine>& lines, std::int32_t startCycle) {
  if (lines.empty()) return;
  const double t0 = lines.front().timestamp;
  for (const RecordedLine& line : lines) {
    const double at = std::isnan(line.arrival) ? line.timestamp : line.arrival;
    m_lines.push_back({startCycle + static_cast<std::int32_t>(std::lround((at - t0) * 100)), line});
  }
  std::stable_sort(m_lines.begin() + static_cast<std::ptrdiff_t>(m_next), m_lines.end(),
                   [](const Scheduled& a, const Scheduled& b) { return a.cycle < b.cycle; });
}

std::int32_t EngineHarness::lastLineCycle() const { return m_lines.empty() ? 0 : m_lines.back().cycle; }

void EngineHarness::follow(std::uint32_t hexid) { m_followed[hexid]; }

const std::vector<AcceptedPosition>& EngineHarness::accepted(std::uint32_t hexid) const {
  static const std::vector<AcceptedPosition> none;
  auto it = m_followed.find(hexid);
  return it == m_followed.end() ? none : it->second.accepted;
}

const std::vector<EngineHarness::Passage>& EngineHarness::passages(std::uint32_t hexid) const {
  static const std::vector<Passage> none;
  auto it = m_followed.find(hexid);
  return it == m_followed.end() ? none : it->second.passages;
}

void EngineHarness::feedDueLines() {
  TrafficReader& reader = *m_lineReader;
  while (m_next < m_lines.size() && m_lines[m_next].cycle <= cycle()) {
    const RecordedLine& line = m_lines[m_next++].line;
    gf_splitTrafficLine(reader, line.text);
    if (processLineFor(reader) != LineResult::Queued) continue;
    linesByHexid[line.hexid].push_back(line);
    AcceptedPosition queued;
    {
      std::lock_guard lock(g_trafficQueueMutex);
      const Situation& s = g_trafficQueue.back().situation;
      queued = {s.latitude, s.longitude, s.altitude, s.due, s.airborne != 0, g_trafficQueue.back().timestamp};
      if (onQueued) onQueued(line, s);
    }
    queuedByHexid[line.hexid].push_back(queued);
    auto followed = m_followed.find(line.hexid);
    if (followed != m_followed.end()) followed->second.injected.push_back(queued);
  }
}

void EngineHarness::collectHeld(Followed& f, const LiveAc& ac, std::uint32_t hexid) {
  if (!ac.heldRecord) return;
  const Situation& held = ac.heldRecord->situation;
  // The queue hands records over in their order: those of the aircraft still in it are its latest.
  std::size_t queued = 0;
  {
    std::lock_guard lock(g_trafficQueueMutex);
    queued = g_trafficQueue.countOf(hexid);
  }
  const std::size_t handed = f.injected.size() - std::min(queued, f.injected.size());
  f.injectedHeldPast.resize(f.injected.size(), false);
  // The held record: the latest handed over at its position.
  std::size_t i = handed;
  while (i > 0 && (f.injected[i - 1].latitude != held.latitude || f.injected[i - 1].longitude != held.longitude)) --i;
  if (i == 0) return;
  const AcceptedPosition& at = f.injected[--i];
  // A later record at a new position decides it; one stamped before it (it came late) or one at a
  // position the stream had before (a copy sent again) is no news.
  const auto seenBefore = [&](const AcceptedPosition& p, std::size_t until) {
    for (std::size_t k = 0; k < until; ++k)
      if (f.injected[k].latitude == p.latitude && f.injected[k].longitude == p.longitude) return true;
    return false;
  };
  for (std::size_t j = i + 1; j < handed; ++j) {
    const AcceptedPosition& p = f.injected[j];
    if ((p.latitude == at.latitude && p.longitude == at.longitude) || p.timestamp < at.timestamp || seenBefore(p, j))
      continue;
    f.injectedHeldPast[i] = true;
    return;
  }
}

std::vector<std::size_t> EngineHarness::heldPastNext(std::uint32_t hexid) const {
  std::vector<std::size_t> out;
  auto it = m_followed.find(hexid);
  if (it == m_followed.end()) return out;
  for (std::size_t i = 0; i < it->second.injectedHeldPast.size(); ++i)
    if (it->second.injectedHeldPast[i]) out.push_back(i);
  return out;
}

void EngineHarness::collectAccepted() {
  for (auto& [hexid, f] : m_followed) {
    const LiveAc* ac = lf_findLiveByHexid(hexid);
    if (ac != nullptr) collectHeld(f, *ac, hexid);
    if (ac == nullptr || ac->situations.empty() || f.injected.empty()) {
      f.lastBuffer.clear();
      f.lastAircraft = ac;
      continue;
    }
    f.injectedTaken.resize(f.injected.size(), false);
    // A reported position enters a buffer at its back (or as its first) with the due time stamped on
    // arrival, or later where the intake keeps the dues rising; it is the earliest queued record of
    // that position not yet taken. Situations the buffer held at the end of the last cycle are known
    // (the front's due changes as its leg is planned: a front whose position the buffer held is known).
    const bool newBuffer = f.lastAircraft != ac;
    std::vector<std::tuple<double, double, std::int32_t>> now;
    now.reserve(ac->situations.size());
    for (std::size_t k = 0; k < ac->situations.size(); ++k) {
      const Situation& s = ac->situations[k];
      now.emplace_back(s.latitude, s.longitude, s.due);
      const auto known = [&](const std::tuple<double, double, std::int32_t>& b) {
        return k == 0 ? std::get<0>(b) == s.latitude && std::get<1>(b) == s.longitude : b == now.back();
      };
      if (!newBuffer && std::any_of(f.lastBuffer.begin(), f.lastBuffer.end(), known)) continue;
      for (std::size_t i = 0; i < f.injected.size(); ++i) {
        const AcceptedPosition& p = f.injected[i];
        if (f.injectedTaken[i] || p.latitude != s.latitude || p.longitude != s.longitude || p.due - 5 > s.due) continue;
        f.injectedTaken[i] = true;
        f.accepted.push_back(p);
        break;
      }
    }
    f.lastBuffer = std::move(now);
    f.lastAircraft = ac;
    // Flying synthetic situations (the stream's extensions, waiting) leaves the reported track until
    // the next reported position is reached.
    const bool synthetic = ac->extensionCount > 0 || ac->waiting != 0;
    if (synthetic && !f.offTrack) {
      f.offTrack = true;
      f.offTrackIntervals.push_back({cycle() - 1, std::numeric_limits<std::int32_t>::max()});
    }
    // The aircraft flies toward its front situation: when the front changes, it is at the old one.
    const Situation& front = ac->situations.front();
    if (front.latitude != f.frontLatitude || front.longitude != f.frontLongitude || front.due != f.frontDue) {
      if (f.frontMatched) {
        f.passages.push_back({cycle() - 1, f.frontPosition,
                              ac->state != ActState::New && ac->state != ActState::Creating,
                              ac->landingMode != 0 || ac->landed != 0 ||
                                  (ac->arrivedByLanding != 0 && ac->movesOnGround != 0)});
        if (f.offTrack && !synthetic) {
          f.offTrack = false;
          f.offTrackIntervals.back().second = cycle() - 1;
        }
      }
      f.frontLatitude = front.latitude;
      f.frontLongitude = front.longitude;
      f.frontDue = front.due;
      f.frontMatched = false;
      for (std::size_t k = f.nextToPass; k < f.accepted.size(); ++k)
        if (f.accepted[k].latitude == front.latitude && f.accepted[k].longitude == front.longitude) {
          f.frontMatched = true;
          f.frontPosition = f.accepted[k];
          f.nextToPass = k + 1;
          break;
        }
    }
  }
}

bool EngineHarness::offTrack(std::uint32_t hexid, std::int32_t cycle) const {
  auto it = m_followed.find(hexid);
  if (it == m_followed.end()) return false;
  for (const auto& [from, to] : it->second.offTrackIntervals)
    if (cycle >= from && cycle <= to) return true;
  return false;
}

void EngineHarness::run(std::int32_t cycles) {
  for (std::int32_t i = 0; i < cycles; ++i) {
    feedDueLines();
    const std::int32_t c = cycle();
    if (m_options.cycle)
      m_options.cycle();
    else
      gf_updateAI();
    {
      // The frame takes the queues as the link does under its lock; other threads of a test reach
      // the queues only through the engine's services, which hold this one.
      std::lock_guard lock(gf_engineMutex());
      m_sim.frame(c);
    }
    if (!m_followed.empty()) collectAccepted();
  }
}

bool EngineHarness::runUntil(const std::function<bool()>& condition, std::int32_t maxCycles) {
  for (std::int32_t i = 0; i < maxCycles; ++i) {
    if (condition()) return true;
    run(1);
  }
  return condition();
}

}  // namespace amb::enginesim
