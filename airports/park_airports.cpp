// The user's park airports: the list from "my_park_airports.txt" and the my_thirdparty folder, the
// destination and the airport where the user parks put at its front, and the periodic check that
// picks the park airport near the user aircraft, has it loaded and leaves it when it is out of sight.
//
// The list and the file belong to the worker. Other threads post what they want of them: the window
// a new destination, the simulator link the user aircraft's stand at a new flight
// (gf_applyParkAirportRequests). The window's automatic range reads the first entry; every access
// to the list holds g_parkAirportsMutex.

#include "airports/park_airports.hpp"

#include "airports/park_airport.hpp"
#include "airports/apf_source.hpp"
#include "airports/stand_learning.hpp"
#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "feed/services.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>
#include <optional>

namespace amb {

namespace fs = std::filesystem;

std::vector<ParkAirport> g_parkAirports;
std::mutex g_parkAirportsMutex;
std::uint8_t g_parkAirportLoadRequested = 0;

namespace {

constexpr const char* kFileName = "my_park_airports.txt";
constexpr std::size_t kManyParkAirports = 3000;

// A destination posted from another thread for the front of the list.
struct FrontRequest {
  std::string code;
  std::pair<double, double> position;
};
std::mutex g_requestMutex;
std::optional<FrontRequest> g_frontRequest;
std::atomic<std::uint8_t> g_frontRequested{0};

// The user aircraft's position at the previous check.
std::optional<LatLon> g_lastCheckPosition;
// The airport whose load failed: not picked again until the user aircraft has been out of its range,
// so that a broken file or a stalled server is not tried again at every check.
AirportData g_failedParkAirport;

std::vector<std::string> lf_fields(const std::string& line) {
  std::vector<std::string> fields;
  if (gf_trim(line).empty()) return fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(gf_trim(line.substr(start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return fields;
}

// Text editors may begin a UTF-8 file with a byte-order mark; it belongs to no airport code.
void lf_dropByteOrderMark(std::vector<std::string>& lines) {
  if (!lines.empty() && lines.front().starts_with("\xEF\xBB\xBF")) lines.front().erase(0, 3);
}

// Why the file is left as it is when it was refused for its size.
std::string lf_tooLargeText() {
  return fmt::format("it holds more than {} bytes or {} lines, it is kept as it is", kMaxTextFileBytes,
                     kMaxTextFileLines);
}

std::string lf_newLine(const ParkAirport& first) {
  return first.reservedStand.empty() ? first.code : fmt::format("{}{}", first.code, fmt::format(",{}", first.reservedStand));
}

// The entry of the code; the list's end when none. The caller holds g_parkAirportsMutex.
std::vector<ParkAirport>::iterator lf_entryOf(const std::string& code) {
  return std::find_if(g_parkAirports.begin(), g_parkAirports.end(), [&](const ParkAirport& p) { return p.code == code; });
}

std::optional<ParkAirport> lf_firstParkAirport() {
  std::lock_guard lock(g_parkAirportsMutex);
  if (g_parkAirports.empty()) return std::nullopt;
  return g_parkAirports.front();
}

bool lf_inSight(double distanceNm) {
  return distanceNm <= AIRPORT_RANGE.value && g_engineUserAc.altAboveGround <= AIRPORT_HEIGHT.value;
}

// The airport whose load failed is forgotten once the user aircraft is out of its range.
void lf_forgetFailedLoadFarAway(const LatLon& position) {
  if (!g_failedParkAirport.code.empty() &&
      gf_distanceNm(position, {g_failedParkAirport.lat, g_failedParkAirport.lon}) > AIRPORT_RANGE.value)
    g_failedParkAirport = AirportData{};
}

bool lf_loadFailed(const std::string& code) { return !code.empty() && g_failedParkAirport.code == code; }

void lf_setParkAirportData(const AirportData& airport) {
  std::lock_guard lock(g_parkAirportMutex);
  g_parkAirport = airport;
}

// The load of the requested park airport, and the start of its static parking.
void lf_loadRequestedParkAirport() {
  gf_clearMessage();
  g_parkAirportLoadRequested = 0;
  const AirportData park = gf_parkAirportSnapshot();
  const std::string message = lf_readParkedFile();
  if (message.empty()) {
    lf_startStaticParking();
  } else {
    gf_showNotice(message);
    g_failedParkAirport = park;
    lf_endParkAirport();
    lf_setParkAirportData(AirportData{});
  }
  gf_enableControl(DESTINATION, true);
}

}  // namespace

bool lf_isInParkAirports(const std::string& code) {
  std::lock_guard lock(g_parkAirportsMutex);
  return lf_entryOf(code) != g_parkAirports.end();
}

ParkAirportsRead::ParkAirportsRead() {
  m_airports.reserve(g_airports.size());
  // The first of a code, as the search in order finds it.
  for (const AirportData& a : g_airports) m_airports.emplace(a.code, &a);
}

const AirportData* ParkAirportsRead::find(const std::string& code) const {
  const auto at = m_airports.find(code);
  return at == m_airports.end() ? nullptr : at->second;
}

void ParkAirportsRead::fault(const std::string& text) {
  if (++m_faults <= kLoggedParkAirportFaults) gf_logMarked(text);
}

void ParkAirportsRead::finish() {
  if (m_faults > kLoggedParkAirportFaults) {
    const auto left = static_cast<std::int64_t>(m_faults - kLoggedParkAirportFaults);
    gf_logMarked(fmt::format("{} more fault{} in {} not logged", left, gf_pluralS(left), kFileName));
  }
  m_faults = 0;
}

void ParkAirportsRead::add(ParkAirport airport) {
  if (seen.insert(airport.code).second) list.push_back(std::move(airport));
}

void lf_parseMyParkAirportsLine(const std::string& line, ParkAirportsRead& read) {
  const std::vector<std::string> fields = lf_fields(line);
  if (fields.empty()) return;
  if (fields.size() >= 3) {
    read.fault(fmt::format("{}:{} wrong syntax, skipped", kFileName, gf_peerText(line)));
    return;
  }
  const AirportData* airport = read.find(fields[0]);
  if (airport == nullptr) {
    const std::string text = fmt::format("airport {} is unknown", gf_peerText(fields[0]));
    read.fault(text);
    // The line shows the first; the others are in the log (within its bound).
    if (read.result) gf_showMessage(text, false);
    read.result = false;
    return;
  }
  if (read.seen.contains(airport->code)) {
    read.fault(fmt::format("{}:{} double, skipped", kFileName, gf_peerText(airport->code)));
    return;
  }
  read.add({airport->code, fields.size() > 1 ? fields[1] : std::string(), airport->lat, airport->lon, 0});
}

void lf_addThirdPartyParkAirports(ParkAirportsRead& read) {
  std::vector<std::string> codes;
  for (const fs::directory_entry& e : fs::directory_iterator(g_myThirdpartyFolder))
    if (e.is_regular_file()) codes.push_back(gf_pathText(e.path().stem()));
  std::sort(codes.begin(), codes.end());
  const std::size_t before = read.list.size();
  for (const std::string& code : codes) {
    if (read.seen.contains(code)) continue;
    if (const AirportData* airport = read.find(code)) read.add({code, {}, airport->lat, airport->lon, 0});
  }
  const std::uint64_t added = read.list.size() - before;
  if (added > 0) gf_logf("{} park airport{} added from my_thirdparty folder(-s) ", added, gf_plural(added));
}

namespace {

// Appends what was read to the list, which the window's thread may read meanwhile.
void lf_publish(ParkAirportsRead& read) {
  std::lock_guard lock(g_parkAirportsMutex);
  g_parkAirports.insert(g_parkAirports.end(), std::make_move_iterator(read.list.begin()),
                        std::make_move_iterator(read.list.end()));
  read.list.clear();
}

// How often a long read looks whether the program is closing.
constexpr std::size_t kClosingCheckLines = 4096;

}  // namespace

bool lf_readMyParkAirports() {
  ParkAirportsRead read;
  try {
    {
      std::lock_guard lock(g_parkAirportsMutex);
      g_parkAirports.clear();
    }
    FileReader reader;
    if (!reader.open(g_myParkAirportsPath)) {
      gf_log(gf_pathText(g_myParkAirportsPath) + " not found");
    } else {
      std::vector<std::string> lines;
      if (!reader.readLines(lines)) {
        // Not read, so not to be rewritten either: the writer refuses it in the same way.
        gf_showNotice(fmt::format("{} refused: {}", kFileName, lf_tooLargeText()));
        read.result = false;
      }
      lf_dropByteOrderMark(lines);
      for (std::size_t i = 0; i < lines.size(); ++i) {
        // A close or restart need not wait for the rest of a long list.
        if (i % kClosingCheckLines == 0 && i > 0 && gf_runClosing()) {
          gf_logf("{} read up to line {}: the run is ending", kFileName, i);
          read.result = false;
          break;
        }
        lf_parseMyParkAirportsLine(lines[i], read);
      }
    }
    read.finish();
    const std::size_t count = read.list.size();
    lf_publish(read);
    if (count > 0) {
      gf_logf("{} park airport{} read from \"{}\"", count, gf_plural(count), kFileName);
      if (count > kManyParkAirports)
        gf_showMessage(fmt::format("Warning: There are a lot of airports ({}) in {}, that will cost AMBT much cpu "
                                   "time, and may give stutters",
                                   count, kFileName),
                       true);
    }
    lf_addThirdPartyParkAirports(read);
    lf_publish(read);
  } catch (const std::exception& e) {
    read.finish();
    lf_publish(read);
    gf_logMarked(fmt::format("{}: {}", "lf_readMyParkAirports", e.what()));
    read.result = false;
  }
  return read.result;
}

bool lf_updateMyParkAirportLine(std::string& line, const ParkAirport& first) {
  const std::vector<std::string> fields = lf_fields(line);
  if (fields.empty() || fields[0] != first.code) return false;
  line = fmt::format("{},{}", first.code, first.reservedStand);
  return true;
}

void lf_writeMyParkAirports() {
  const std::optional<ParkAirport> first = lf_firstParkAirport();
  if (!first) return;
  const std::string newLine = lf_newLine(*first);
  std::vector<std::string> lines;
  // The reader is closed before the file is replaced: Windows refuses to rename over an open file.
  bool found = false;
  bool whole = true;
  {
    FileReader reader;
    found = reader.open(g_myParkAirportsPath);
    if (found) whole = reader.readLines(lines);
  }
  // A file that is there but was not read whole would be replaced by the few lines of this list.
  std::error_code ec;
  const fs::file_status status = fs::status(g_myParkAirportsPath, ec);
  if (!found && (fs::exists(status) || (ec && ec != std::errc::no_such_file_or_directory))) {
    gf_showNotice(fmt::format("{} not changed: it cannot be read, it is kept as it is", kFileName));
    return;
  }
  if (!whole) {
    gf_showNotice(fmt::format("{} not changed: {}", kFileName, lf_tooLargeText()));
    return;
  }
  // Logged once the file holds it.
  std::string done;
  if (!found) {
    lines.push_back(newLine);
    done = fmt::format("{} created with {}", kFileName, newLine);
  } else {
    lf_dropByteOrderMark(lines);
    for (std::string& l : lines)
      while (!l.empty() && (l.back() == '\r' || l.back() == '\n')) l.pop_back();
    const auto updated = std::find_if(lines.begin(), lines.end(), [&](std::string& l) {
      return lf_updateMyParkAirportLine(l, *first);
    });
    if (updated != lines.end()) {
      done = fmt::format("{}:{},{} updated stand", kFileName, first->code, first->reservedStand);
    } else {
      lines.push_back(newLine);
      done = fmt::format("{}:{} new entry", kFileName, newLine);
    }
  }
  std::sort(lines.begin(), lines.end());
  lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  // A file the reader would refuse loses every park airport at the next start.
  if (text.size() > kMaxTextFileBytes || lines.size() > kMaxTextFileLines) {
    gf_showNotice(fmt::format("{} not changed: with {} it would hold more than {} bytes or {} lines, it is kept as it is",
                              kFileName, gf_peerText(newLine), kMaxTextFileBytes, kMaxTextFileLines));
    return;
  }
  if (gf_writeFileAtomic(g_myParkAirportsPath, text))
    gf_log(done);
  else
    gf_logMarked(fmt::format("{} could not be written", gf_pathText(g_myParkAirportsPath)));
}

void gf_parkAirportToFront(const std::string& code, std::pair<double, double> position) {
  {
    std::lock_guard lock(g_parkAirportsMutex);
    const auto entry = lf_entryOf(code);
    if (entry != g_parkAirports.end()) {
      std::rotate(g_parkAirports.begin(), entry, entry + 1);
      return;
    }
    g_parkAirports.insert(g_parkAirports.begin(), {code, {}, position.first, position.second, 0});
  }
  lf_writeMyParkAirports();
}

void gf_requestParkAirportToFront(const std::string& code, std::pair<double, double> position) {
  {
    std::lock_guard lock(g_requestMutex);
    g_frontRequest = FrontRequest{code, position};
  }
  g_frontRequested = 1;
}

void gf_reserveUserStand(const LatLon& position) {
  const std::string stand = gf_standNameAt(position.lat, position.lon);
  if (stand.empty()) return;
  const std::string parkCode = gf_parkAirportSnapshot().code;
  {
    std::lock_guard lock(g_parkAirportsMutex);
    if (g_parkAirports.empty() || g_parkAirports.front().code != parkCode ||
        g_parkAirports.front().reservedStand == stand)
      return;
    g_parkAirports.front().reservedStand = stand;
  }
  lf_writeMyParkAirports();
}

bool gf_parkAirportRequestPending() { return g_frontRequested.load() != 0; }

void gf_applyParkAirportRequests() {
  if (g_frontRequested.exchange(0) != 0) {
    std::optional<FrontRequest> request;
    {
      std::lock_guard lock(g_requestMutex);
      request.swap(g_frontRequest);
    }
    if (request) gf_parkAirportToFront(request->code, request->position);
  }
  if (const std::optional<LatLon> at = gf_takeUserStandRequest()) gf_reserveUserStand(*at);
}

void gf_noteUserStandAtParkAirport(const AirportData& airport, const std::string& standName) {
  bool changed = false;
  {
    std::lock_guard lock(g_parkAirportsMutex);
    const auto entry = lf_entryOf(airport.code);
    if (entry == g_parkAirports.begin() && entry != g_parkAirports.end()) {
      if (!standName.empty() && standName != entry->reservedStand) {
        entry->reservedStand = standName;
        changed = true;
      }
    } else if (entry != g_parkAirports.end()) {
      // The airport stands once in the list: its entry moves to the front, keeping its reserved
      // stand unless the user aircraft stands at another one.
      if (!standName.empty()) entry->reservedStand = standName;
      std::rotate(g_parkAirports.begin(), entry, entry + 1);
      changed = true;
    } else {
        g_parkAirports.insert(g_parkAirports.begin(), {airport.code, standName, airport.lat, airport.lon, 0});
      changed = true;
    }
  }
  if (changed) lf_writeMyParkAirports();
}

std::optional<std::pair<double, double>> gf_firstParkAirportPosition() {
  const std::optional<ParkAirport> first = lf_firstParkAirport();
  if (!first) return std::nullopt;
  return std::make_pair(first->latitude, first->longitude);
}

bool lf_setParkAirport(const std::string& code) {
  const std::optional<AirportData> airport = gf_findAirport(code);
  if (!airport) return false;
  lf_setParkAirportData(*airport);
  gf_logf("The park airport is {}", gf_airportLabel(*airport));
  return true;
}

void lf_prepareStaticParking(bool show) {
  gf_lockParkingControls();
  g_trafficReader.clearSeenCallsigns();
  g_trafficReader.callsignCollection = 1;
  if (show) gf_showMessage("Calculating static parked aircraft ...", false);
}

void lf_pickParkAirport(const LatLon& position, bool show) {
  if (g_userOnGround != 0) {
    const std::optional<AirportData> airport = gf_closestAirport(position);
    if (!airport) {
      gf_showMessage("User aircraft on the ground, no airport in sight", true);
      return;
    }
    if (lf_loadFailed(airport->code)) return;
    if (!gf_hasApf(airport->code)) {
      gf_showMessage(fmt::format("User aircraft on the ground at {}", airport->code) + ", no airport file found", true);
      return;
    }
    gf_logf("User aircraft on the ground at {}", airport->code);
    lf_setParkAirport(airport->code);
    g_parkAirportLoadRequested = 1;
    lf_prepareStaticParking(show);
    return;
  }
  gf_enableControl(DESTINATION, true);
  const std::optional<ParkAirport> first = lf_firstParkAirport();
  if (!first) return;
  const double d = gf_distanceNm(position, {first->latitude, first->longitude});
  if (!lf_inSight(d) || lf_loadFailed(first->code) || !lf_setParkAirport(first->code)) return;
  gf_showMessage(fmt::format("{} in sight at {:.1F} nm", first->code, d), true);
  g_parkAirportLoadRequested = 1;
  lf_prepareStaticParking(false);
}

void lf_checkParkAirportInSight(const LatLon& position) {
  if (g_userOnGround != 0) return;
  const AirportData park = gf_parkAirportSnapshot();
  const double dC = gf_distanceNm(position, {park.lat, park.lon});
  if (!lf_inSight(dC)) {
    gf_log(fmt::format("\n{} {} is out of sight ({:.1F} nm), parked aircraft will be removed", gf_trafficTimeOfDay(),
                       gf_airportLabel(park), dC));
    gf_removeAllParkedAc();
    return;
  }
  const std::optional<ParkAirport> first = lf_firstParkAirport();
  if (!first || first->code == park.code) return;
  const double dF = gf_distanceNm(position, {first->latitude, first->longitude});
  if (lf_inSight(dF) && dC >= dF) {
    gf_log(fmt::format("\n{} {} is in sight ({:.1F} nm), parked aircraft at {} will be removed first",
                       gf_trafficTimeOfDay(), first->code, dF, gf_airportLabel(park)));
    gf_removeAllParkedAc();
  }
}

void gf_checkForParkAirportUpdates(bool showCalculating) {
  // The stands are filled and emptied here; the exit thread's engine services mark stands free
  // under the engine's lock.
  std::lock_guard engine(gf_engineMutex());
  try {
    gf_applyParkAirportRequests();
    if (g_parkingLock != 0 && gf_staticPlanEmpty()) {
      gf_unlockParkingControls();
      gf_clearMessage();
      gf_countParkedAc(true);
      gf_countLiveAtStands(true);
    }
    const LatLon position{g_engineUserAc.latitude, g_engineUserAc.longitude};
    if (g_parkAirportLoadRequested != 0) {
      lf_loadRequestedParkAirport();
      gf_forgetStandNameCache();
      return;
    }
    if (gf_inNullBox(position.lat, position.lon)) return;
    lf_forgetFailedLoadFarAway(position);
    const bool destinationSet = !DESTINATION.value().empty();
    {
      std::lock_guard lock(g_parkAirportsMutex);
      if (!g_parkAirports.empty()) {
        if (g_lastCheckPosition && g_lastCheckPosition->lat == position.lat && g_lastCheckPosition->lon == position.lon) {
          ParkAirport& first = g_parkAirports.front();
          first.distanceNm = gf_distanceNm({first.latitude, first.longitude}, position);
        } else {
          g_lastCheckPosition = position;
          if (!destinationSet) {
            for (ParkAirport& p : g_parkAirports) p.distanceNm = gf_distanceNm({p.latitude, p.longitude}, position);
            std::stable_sort(g_parkAirports.begin(), g_parkAirports.end(),
                             [](const ParkAirport& a, const ParkAirport& b) { return a.distanceNm < b.distanceNm; });
          }
        }
      }
    }
    if (gf_parkAirportSnapshot().code.empty()) {
      lf_pickParkAirport(position, showCalculating);
    } else {
      lf_checkParkAirportInSight(position);
      if (gf_parkAirportSnapshot().code.empty()) gf_forgetStandNameCache();
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "gf_checkForParkAirportUpdates", e.what());
    throw;
  }
}

bool gf_checkParkAirports(bool checkStand, std::string& message) {
  std::lock_guard engine(gf_engineMutex());
  if (!lf_readMyParkAirports()) return false;
  const std::optional<ParkAirport> first = lf_firstParkAirport();
  if (checkStand && g_userOnGroundKnown != 0 && g_parkingLock == 0 && first &&
      first->code == gf_parkAirportSnapshot().code && gf_userStandName().empty() && !first->reservedStand.empty() &&
      first->reservedStand != g_reservedStandName) {
    message = fmt::format("reserved stand changed from \"{}\" to \"{}\"", g_reservedStandName, first->reservedStand);
    if (!g_reservedStandName.empty()) {
      const auto old = gf_findStandByName(g_reservedStandName);
      if (old != g_stands.end()) old->reserved = 0;
    }
    gf_setReservedStandName(first->reservedStand);
    gf_removeAcAtStand();
    const auto now = gf_findStandByName(g_reservedStandName);
    if (now != g_stands.end()) now->reserved = 1;
    g_mainWindow.invalidate(std::nullopt);
  }
  if (message.empty()) message = "park airports and stands are okay";
  return true;
}

void gf_resetParkAirports() {
  {
    std::lock_guard lock(g_parkAirportsMutex);
    g_parkAirports.clear();
  }
  {
    std::lock_guard lock(g_requestMutex);
    g_frontRequest.reset();
  }
  g_frontRequested = 0;
  g_parkAirportLoadRequested = 0;
  g_lastCheckPosition.reset();
  g_failedParkAirport = AirportData{};
}

}  // namespace amb
