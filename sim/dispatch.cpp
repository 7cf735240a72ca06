// The dispatch procedure of the "SimClient" thread: every message the simulator sends becomes
// program state (running, the user aircraft, its title, model, span, stand and time), a result for
// the engine, or a request for an exit when the user starts a new flight.

#include "core/exit.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "feed/services.hpp"
#include "records/aircraft.hpp"
#include "platform/utf8.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "sim/link.hpp"
#include "state/main_window.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <set>
#include <utility>

namespace amb {

std::atomic<std::uint8_t> g_simRunning{0};
std::atomic<std::uint8_t> g_newUserData{0};
std::atomic<std::uint8_t> g_userOnGroundKnown{0};
std::atomic<double> g_engineUserGroundSpeed{0.0};
std::atomic<std::uint8_t> g_userOnGround{0};
std::atomic<std::int64_t> g_simUnixTime{0};
std::atomic<float> g_simFrameRate{0.0f};
std::atomic<std::uint32_t> g_userObjectId{2};
std::atomic<double> g_userHalfWingspan{0.0};
std::atomic<std::uint8_t> g_userHalfWingspanSet{0};
std::atomic<int> g_userCategory{Light};

LatLon g_lastUserPosition{};
std::uint32_t g_simFrameCounter = 0;

namespace {

// The user aircraft's block and texts: written on the "SimClient" thread, copied out by others.
std::mutex g_userMutex;
UserAcBlock g_userAc;
std::string g_userTitle;
std::string g_userStandName;
// The user aircraft's position at a new flight, for the worker to reserve the stand there.
std::optional<LatLon> g_userStandRequest;
std::atomic<std::uint8_t> g_userStandRequested{0};

// Which short messages were logged already (by message id and request id).
std::mutex g_shortLoggedMutex;
std::set<std::pair<std::uint32_t, std::uint32_t>> g_shortLogged;

constexpr double kTeleportNm = 10.0;
constexpr std::uint32_t kLiveHexidAbove = 10000;
constexpr double kOtherAircraftMaxHeight = 2500.0;
constexpr std::size_t kTitleChars = 48;

// True when the data after the fixed fields hold at least `need` bytes; else logs once and false.
bool dataFits(std::uint32_t messageId, std::uint32_t requestId, std::uint32_t size, std::uint32_t need) {
  if (size >= sizeof(sc::RecvObjectDataMsg) + need) return true;
  bool first;
  {
    std::lock_guard lock(g_shortLoggedMutex);
    first = g_shortLogged.emplace(messageId, requestId).second;
  }
  if (first)
    gf_logf("SimConnect: message id {} for request {} holds {} bytes of data, {} needed, ignored", messageId,
            requestId, size - static_cast<std::uint32_t>(sizeof(sc::RecvObjectDataMsg)), need);
  return false;
}

const std::uint8_t* dataOf(const sc::RecvHeader* message) {
  return reinterpret_cast<const std::uint8_t*>(message) + sizeof(sc::RecvObjectDataMsg);
}

// A text datum: up to its first NUL, never past the message.
std::string textDatum(const std::uint8_t* data, std::size_t available, std::size_t field) {
  return sc::fieldText(reinterpret_cast<const char*>(data), std::min(available, field));
}

bool isLetterDigitOrSpace(unsigned char c) { return c < 0x80 && (std::isalnum(c) || std::isspace(c)); }

std::string keepLettersDigitsSpaces(const std::string& name) {
  std::string kept;
  for (char c : name)
    if (isLetterDigitOrSpace(static_cast<unsigned char>(c))) kept += c;
  return kept;
}

bool containsAny(const std::string& text, std::initializer_list<const char*> parts) {
  for (const char* p : parts)
    if (text.find(p) != std::string::npos) return true;
  return false;
}

void setUserStandText(const std::string& stand) {
  std::string previous;
  {
    std::lock_guard lock(g_userMutex);
    previous = g_userStandName;
    g_userStandName = stand;
  }
  if ((!stand.empty() && stand != previous) || (stand.empty() && !previous.empty())) {
    g_mainWindow.setText(StatusText::UserStand, stand);
    gf_repaintStatusArea();
  }
}

void onUserBlock(std::uint32_t objectId, const std::uint8_t* data) {
  UserAcBlock block;
  std::memcpy(&block, data, sizeof block);
  if (block.altitude < 0) block.altitude = 0;
  {
    std::lock_guard lock(g_userMutex);
    g_userAc = block;
  }
  const LatLon now{block.latitude, block.longitude};
  if (!gf_inNullBox(g_lastUserPosition.lat, g_lastUserPosition.lon) &&
      gf_distanceNm(g_lastUserPosition, now) > kTeleportNm) {
    gf_log("Teleport");
    gf_requestExit(NewFlight, 30);
  }
  g_lastUserPosition = now;
  if (g_rtProfessional != 0) g_simUnixTime = gf_zuluToUnix(block.zuluYear, block.zuluDayOfYear, block.zuluTime);
  g_userObjectId = objectId;
}

void setWingspanKnown(bool known) {
  g_mainWindow.userModelKnown = known ? 1 : 0;
  gf_repaintStatusArea();
}

void storeHalfWingspan(double span) {
  g_userHalfWingspan = span;
  g_userHalfWingspanSet = 1;
}

}  // namespace

UserAcBlock gf_userAcSnapshot() {
  std::lock_guard lock(g_userMutex);
  return g_userAc;
}

std::string gf_userTitle() {
  std::lock_guard lock(g_userMutex);
  return g_userTitle;
}

std::string gf_userStandName() {
  std::lock_guard lock(g_userMutex);
  return g_userStandName;
}

std::string gf_simTextToUtf8(const std::string& raw, std::size_t maxChars) {
  std::string out = platform::toValidUtf8(raw);
  // Cut after maxChars characters: a character starts at every byte that is no continuation byte.
  std::size_t chars = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if ((static_cast<unsigned char>(out[i]) & 0xC0) == 0x80) continue;
    if (chars++ == maxChars) {
      out.resize(i);
      break;
    }
  }
  return out;
}

std::int64_t gf_zuluToUnix(std::int64_t year, std::int64_t dayOfYear, std::int64_t secondOfDay) {
  using namespace std::chrono;
  // The values come from the simulator (or whatever add-on answers in its place): a date outside
  // these bounds is no time at all, and no hostile value reaches the arithmetic below.
  if (year < 1 || year > 9999 || dayOfYear < 1 || dayOfYear > 366 || secondOfDay < 0 || secondOfDay > 86400) return 0;
  const int y = static_cast<int>(year);
  const sys_days first = sys_days{std::chrono::year{y} / January / 1};
  return (first.time_since_epoch().count() + dayOfYear - 1) * 86400 + secondOfDay;
}

void lf_simDispatch(const sc::RecvHeader* message, std::uint32_t size, void*) {
  if (!message) return;
  switch (message->id) {
    case sc::kRecvException: lf_onSimException(message, size); break;
    case sc::kRecvOpen: lf_onSimOpen(message, size); break;
    case sc::kRecvQuit: g_simRunning = 0; break;
    case sc::kRecvEvent: lf_onSimEvent(message, size); break;
    case sc::kRecvEventObjectAddRemove: {
      const auto m = sc::readRecv<sc::RecvObjectAddRemoveMsg>(message, size);
      if (!m || m->objectType != sc::kObjectAircraft) break;
      const std::uint32_t id = m->e.data;
      if (m->e.eventId == EVT_OBJECT_ADDED) {
        if (id > g_userObjectId) g_addedObjectIds.push_back(id);
      } else if (m->e.eventId == EVT_OBJECT_REMOVED) {
        // An id removed before any by-type answer showed it would otherwise stay for good.
        std::erase(g_addedObjectIds, id);
        gf_pushSimResult({id, 0, 0, Removed, 0, 0});
      }
      break;
    }
    case sc::kRecvEventFilename:
      gf_logMarked("SimConnect: New file event");
      lf_reserveUserStand();
      gf_requestExit(NewFlight, 30);
      break;
    case sc::kRecvEventFrame: {
      lf_flushSimCommands();
      const auto m = sc::readRecv<sc::RecvFrameMsg>(message, size);
      if (m && ++g_simFrameCounter >= 30) {
        g_simFrameCounter = 0;
        g_simFrameRate = m->frameRate;
      }
      break;
    }
    case sc::kRecvSimObjectData: lf_onSimObjectData(message, size); break;
    case sc::kRecvSimObjectDataByType: lf_onSimObjectDataByType(message, size); break;
    case sc::kRecvAssignedObjectId:
    case sc::kRecvClientData: break;
    default: gf_logPeerf("! Unknown Dispatch dwID {}", message->id); break;
  }
}

namespace {

// The creation of the send id, when one waits for its object, is answered with the result kind and
// forgotten.
void lf_answerPendingCreation(std::uint32_t sendId, SimResultKind kind) {
  auto it = std::find_if(g_pendingCreations.begin(), g_pendingCreations.end(),
                         [&](const PendingCreation& p) { return p.sendId == sendId; });
  if (it == g_pendingCreations.end()) return;
  const std::uint32_t hexid = it->hexid;
  *it = std::move(g_pendingCreations.back());
  g_pendingCreations.pop_back();
  if (hexid != 0) gf_pushSimResult({0, hexid, 0, kind, 0, 0});
}

}  // namespace

void lf_onSimException(const sc::RecvHeader* message, std::uint32_t size) {
  const auto m = sc::readRecv<sc::RecvExceptionMsg>(message, size);
  if (!m) return;
  switch (m->exception) {
    case sc::kExceptionUnrecognizedId: {
      const UserAcBlock user = gf_userAcSnapshot();
      if (gf_inNullBox(user.latitude, user.longitude) || g_exitUnderWay != 0 || g_userClosed != 0) return;
      gf_logMarked("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID");
      return;
    }
    case sc::kExceptionVersionMismatch:
      throw UserErrorException(95, fmt::format("Simconnect Version Mismatch, dwindex: {} ", m->index));
    case sc::kExceptionTooManyObjects:
      gf_showMessage("SimConnect: too many objects (max 1000)", true);
      // The creation will not be made: its aircraft goes, and its livery is not to blame.
      lf_answerPendingCreation(m->sendId, CreateLost);
      return;
    case sc::kExceptionInvalidDataSize: gf_log("SIMCON EXCEP 19"); return;
    case sc::kExceptionCreateObjectFailed:
      lf_answerPendingCreation(m->sendId, CreateFailed);
      return;
    case sc::kExceptionLoadFlightplanFailed: gf_logMarked("Simconnect exception: load flight plan failed"); return;
    case sc::kExceptionOperationInvalidForObjectType: gf_log("SIMCON EXCEP 24"); return;
    default: gf_logPeerf(LogStyle::Marked, "SIMCON EXCEP {}", m->exception); return;
  }
}

void lf_onSimOpen(const sc::RecvHeader* message, std::uint32_t size) {
  const auto m = sc::readRecv<sc::RecvOpenMsg>(message, size, sc::recvFixedSize(sc::kRecvOpen));
  if (!m) return;
  const std::string name = sc::fieldText(m->applicationName, sizeof m->applicationName);
  if (name.empty()) {
    gf_log("! Simulator name empty?");
    return;
  }
  g_mainWindow.simConnectOpen = 1;
  gf_repaintStatusArea();
  // White space is kept: a line end in the name must not start a line of the log of its own.
  const std::string kept = gf_peerText(keepLettersDigitsSpaces(name));
  if (kept == "KittyHawk" || kept == "SunRise")
    throw UserErrorException(78, kept + ", (MSFS) not being P3D connects ... ?");
  const std::string sim = fmt::format("{} ({}.{}.{}.{})", kept, m->applicationVersionMajor,
                                      m->applicationVersionMinor, m->applicationBuildMajor,
                                      m->applicationBuildMinor);
  gf_logf("{} connected", sim);
  g_mainWindow.setText(StatusText::SimText, sim);
  gf_repaintStatusArea();

  const std::string path = SIM_INSTALL_PATH.value();
  const std::uint32_t expected = g_simExpectedVersion;
  const bool accepted = (sim.find("v5") != std::string::npos && (containsAny(path, {"v5", "V5"}) || expected == 5)) ||
                        (sim.find("v6") != std::string::npos && (containsAny(path, {"v6", "V6"}) || expected == 6));
  if (accepted) {
    gf_clearMessage();
    return;
  }
  if (platform::Ui* ui = ALL_INSTALL_PATH.window.load()) ui->enable(ALL_INSTALL_PATH.controlId, true);
  throw UserErrorException(78, fmt::format("wrong P3D version \"{}\" connects ... ?", sim));
}

void lf_onSimEvent(const sc::RecvHeader* message, std::uint32_t size) {
  const auto m = sc::readRecv<sc::RecvEventMsg>(message, size);
  if (!m) return;
  switch (m->eventId) {
    case EVT_SIM: {
      const std::uint8_t running = m->data == 1 ? 1 : 0;
      g_simRunning = running;
      g_mainWindow.simRunning = running;
      gf_repaintStatusArea();
      break;
    }
    case EVT_POSITION_CHANGED:
      gf_logMarked("User ac position changed");
      gf_requestExit(NewFlight, 30);
      break;
    case EVT_FLIGHT_LOADED:
      gf_log("Simconnect: flight loaded event");
      lf_reserveUserStand();
      gf_requestExit(NewFlight, 30);
      break;
    default: break;
  }
}

void lf_onSimObjectData(const sc::RecvHeader* message, std::uint32_t size) {
  const auto m = sc::readRecv<sc::RecvObjectDataMsg>(message, size);
  if (!m) return;
  const std::uint8_t* data = dataOf(message);
  const std::size_t available = size - sizeof(sc::RecvObjectDataMsg);
  switch (m->requestId) {
    case REQ_STATIC_CG:
      if (!dataFits(message->id, m->requestId, size, sizeof(StaticCgBlock))) return;
      gf_pushSimResult({m->objectId, 0, 0, StaticCg, sc::getF64(data), sc::getF64(data + 8)});
      break;
    case REQ_USER_TITLE:
      if (!dataFits(message->id, m->requestId, size, 1)) return;
      lf_onUserAcTitle(textDatum(data, available, available));
      break;
    case REQ_USER_MODEL:
      if (!dataFits(message->id, m->requestId, size, 32)) return;
      lf_onUserAcModel(textDatum(data, available, 32));
      break;
    case REQ_USER_ON_GROUND: {
      if (!dataFits(message->id, m->requestId, size, 8)) return;
      const UserAcBlock user = gf_userAcSnapshot();
      if (!gf_inNullBox(user.latitude, user.longitude)) {
        g_userOnGround = sc::getI64(data) != 0 ? 1 : 0;
        g_userOnGroundKnown = 1;
      }
      g_newUserData = 1;
      break;
    }
    case REQ_USER_AIRCRAFT:
      if (!dataFits(message->id, m->requestId, size, sizeof(UserAcBlock))) return;
      onUserBlock(m->objectId, data);
      break;
    default: break;
  }
}

void lf_onUserAcTitle(const std::string& rawTitle) {
  const std::string title = gf_simTextToUtf8(rawTitle, kTitleChars);
  if (title.empty()) {
    gf_log("! title of your ac is empty?");
    return;
  }
  {
    std::lock_guard lock(g_userMutex);
    if (title == g_userTitle) return;
    g_userTitle = title;
  }
  g_mainWindow.setText(StatusText::UserTitle, title);
  gf_repaintStatusArea();
  gf_logPeerf(LogStyle::Indented, "SimConnect: User aircraft title: {}", title);
}

void lf_onUserAcModel(std::string model) {
  try {
    model = gf_simTextToUtf8(model);
    if (model.empty())
      throw UserErrorException(71, "atc_model= in [General] section of your aircraft.cfg is empty or missing");
    gf_logPeerf(LogStyle::Indented, "model raw: {} ", model);
    // What the line "SimConnect: User aircraft model..." tells after its first words.
    std::string report = ": " + model;
    if (containsAny(model, {"camerapod", "Crew Vessel"})) {
      setWingspanKnown(true);
      storeHalfWingspan(gf_halfWingspan("E190"));
      g_userCategory = Light;
      return;
    }
    double span = g_maxHalfWingspan;
    if (model.size() <= 4) span = gf_halfWingspan(model);
    storeHalfWingspan(span);
    auto reportSpan = [&](double s) {
      setWingspanKnown(true);
      report += fmt::format(", half wing span: {:.1F} meter", s * 1852);
    };
    if (span != g_maxHalfWingspan) {
      reportSpan(span);
    } else {
      const std::string title = gf_userTitle();
      std::string deduced;
      if (!title.empty()) {
        for (const char* candidate : {"A319", "A320", "A321"}) {
          if (title.compare(0, 13, std::string("Aerosoft ") + candidate) == 0) {
            deduced = candidate;
            break;
          }
        }
      }
      double deducedSpan = 0.0;
      if (!deduced.empty()) {
        model = deduced;
        report = " deduced from title: " + model;
        deducedSpan = gf_halfWingspan(model);
      }
      if (deducedSpan != 0.0) {
        storeHalfWingspan(deducedSpan);
        reportSpan(deducedSpan);
      } else {
        storeHalfWingspan(g_maxHalfWingspan);
        setWingspanKnown(false);
        // Logged as a simulator's line: a simulator that sends model after model would repeat it.
        constexpr const char* kUnknownSpan =
            "User aircraft wing span unknown, max is taken instead, please report in my Forum!";
        gf_showMessage(kUnknownSpan, false);
        gf_logPeerf(kUnknownSpan);
      }
    }
    const AircraftCategory category = gf_aircraftCategory(model);
    g_userCategory = category;
    report += fmt::format(", category: {}", gf_categoryName(category));
    gf_logPeerf(LogStyle::Indented, "SimConnect: User aircraft model{}", report);
  } catch (const UserErrorException&) {
    throw;
  } catch (...) {
    throw UserErrorException(73, "It looks like you have not selected an aircraft as user vehicle");
  }
}

void lf_onSimObjectDataByType(const sc::RecvHeader* message, std::uint32_t size) {
  const auto m = sc::readRecv<sc::RecvObjectDataMsg>(message, size);
  if (!m || m->requestId != REQ_AI_NEARBY) return;
  if (!dataFits(message->id, m->requestId, size, sizeof(ObjectGroundBlock))) return;
  const std::uint32_t id = m->objectId;
  if (id <= g_userObjectId) return;
  ObjectGroundBlock block;
  std::memcpy(&block, dataOf(message), sizeof block);
  const std::string atcId = sc::fieldText(block.atcId, sizeof block.atcId);

  auto added = std::find(g_addedObjectIds.begin(), g_addedObjectIds.end(), id);
  if (added == g_addedObjectIds.end()) {
    if (block.altAboveGround <= kOtherAircraftMaxHeight && !atcId.empty() && atcId.back() != '*')
      gf_pushSimResult({id, static_cast<std::uint32_t>(block.onGround), 0, OtherAircraft, block.groundAltitude,
                        block.altAboveGround});
    return;
  }
  g_addedObjectIds.erase(added);

  std::uint32_t hexid = 0;
  if (!atcId.empty()) {
    auto it = std::find_if(g_pendingCreations.begin(), g_pendingCreations.end(),
                           [&](const PendingCreation& p) { return p.callsign == atcId; });
    if (it != g_pendingCreations.end()) {
      hexid = it->hexid;
      *it = std::move(g_pendingCreations.back());
      g_pendingCreations.pop_back();
    }
  }
  if (hexid == 0) {
    gf_logPeerf("just spawned, but not by {}, oid: {}, callsign \"{}\", altaboveGnd:{:.0f} ft, onground:{}, gnd_alt:{:.0f} ft ",
                g_programName, id, gf_simTextToUtf8(atcId), block.altAboveGround, block.onGround, block.groundAltitude);
    return;
  }
  {
    // Released to the program and frozen: the program moves it from now on. The freeze events go
    // straight into the queue under the lock already held, and the result is pushed only after the
    // lock is released (the engine takes the result lock before g_simMutex).
    std::lock_guard lock(g_simMutex);
    SimConnect_AIReleaseControl(g_hSimConnect, id, REQ_RELEASE_CONTROL);
    lf_appendSimEventLocked({id, EVT_FREEZE_LATITUDE_LONGITUDE_SET, 1});
    lf_appendSimEventLocked({id, EVT_FREEZE_ALTITUDE_SET, 1});
    lf_appendSimEventLocked({id, EVT_FREEZE_ATTITUDE_SET, 1});
  }
  if (hexid > kLiveHexidAbove)
    gf_pushSimResult({id, hexid, 0, CreatedLive, 0, block.altAboveGround});
  else
    gf_pushSimResult({id, hexid, 0, CreatedParked, 0, 0});
}

void lf_reserveUserStand() {
  if (g_userOnGroundKnown == 0) return;
  if (g_engineUserGroundSpeed.load() > 2.0) return;
  const UserAcBlock user = gf_userAcSnapshot();
  {
    std::lock_guard lock(g_userMutex);
    g_userStandRequest = LatLon{user.latitude, user.longitude};
  }
  g_userStandRequested = 1;
}

std::optional<LatLon> gf_takeUserStandRequest() {
  if (g_userStandRequested.exchange(0) == 0) return std::nullopt;
  std::lock_guard lock(g_userMutex);
  return std::exchange(g_userStandRequest, std::nullopt);
}

void gf_setUserStandName(const std::string& stand) { setUserStandText(stand); }

void lf_resetUserState() {
  {
    std::lock_guard lock(g_userMutex);
    g_userAc = UserAcBlock{};
    g_userTitle.clear();
    g_userStandName.clear();
    g_userStandRequest.reset();
  }
  g_userStandRequested = 0;
  {
    std::lock_guard lock(g_shortLoggedMutex);
    g_shortLogged.clear();
  }
  g_simRunning = 0;
  g_newUserData = 0;
  g_userOnGroundKnown = 0;
  g_userOnGround = 0;
  g_engineUserGroundSpeed = 0.0;
  g_simUnixTime = 0;
  g_simFrameRate = 0.0f;
  g_userObjectId = 2;
  g_userHalfWingspan = 0.0;
  g_userHalfWingspanSet = 0;
  g_userCategory = Light;
  g_lastUserPosition = LatLon{};
  g_simFrameCounter = 0;
}

}  // namespace amb
