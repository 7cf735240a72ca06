// Static parking: loading the park airport for it, the number of stands to fill, the plan for this
// weekday and half hour (real options first, soft ones when allowed, half hour by half hour back
// from now), and parking the plan one aircraft per engine step.

#include "airports/static_parking.hpp"

#include "airports/apf_file.hpp"
#include "airports/apf_source.hpp"
#include "airports/park_airport.hpp"
#include "airports/stand.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/strings.hpp"
#include "core/user_error.hpp"
#include "liveries/services.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace amb {

std::atomic<std::uint8_t> g_parkingLock{0};
std::int32_t g_maxParkCount = -1;
std::vector<PlanResult> g_staticPlan;
std::uint32_t g_staticSerial = 0;
std::int32_t g_realFit = 0;
std::int32_t g_softFit = -1;

std::string g_reservedStandName;

namespace {

// The window reads the reserved stand's name while the worker changes it.
std::mutex g_reservedStandMutex;

// The options set aside by the plans since the last adjustment: stand id in the high half, option
// id in the low half.
std::unordered_set<std::uint64_t> g_setAside;

// MAX_LIVE as it stood before the park airport's learned file set its own; put back when the airport
// is left.
std::optional<std::int32_t> g_userMaxLive;

constexpr std::array<const OptionControl*, 9> kParkingControls{
    &parking_percentage, &CUSTOM_MAX_PARK, &MAX_FIT_FL,          &INITIAL_LOAD_ONLY, &PARK_FAKE,
    &PARK_SOFT,          &WEEK,            &FLUSH_STATIC_BUTTON, &REREAD_BUTTON};

std::uint64_t lf_optionKey(std::uint32_t standId, std::uint32_t optionId) {
  return (std::uint64_t{standId} << 32) | optionId;
}

// The half hour after t (47 goes to 0 of the next weekday, 7 to 1).
WeekSlot lf_nextHalfHour(WeekSlot t) {
  if (t.halfHour < 47) return {t.weekday, t.halfHour + 1};
  return {t.weekday == 7 ? 1u : t.weekday + 1, 0};
}

bool lf_hasBit(std::uint64_t set, std::uint32_t bit) { return bit < 48 && ((set >> bit) & 1u) != 0; }

double lf_maxFitHours() { return MAX_FIT.value * 0.5 + 0.5; }

std::int64_t lf_countTaken() {
  return std::count_if(g_stands.begin(), g_stands.end(), [](const Stand& s) { return s.taken != 0; });
}

// Everything a search step compares an option with, gathered once per search: the aircraft of the
// plan, the parked acts and the live stayers, and per stand the half hours any of its options covers.
struct SearchIndex {
  std::unordered_set<std::string> plannedRegistrations;
  std::unordered_set<std::string> plannedCallsigns;
  std::unordered_set<std::string> parkedSecondCallsigns;
  std::unordered_set<std::string> parkedRegistrations;
  std::unordered_set<std::string> stayerCallsigns;
  std::unordered_map<std::uint32_t, std::vector<const Act*>> staticActsAtStand;  // in the simulator
  std::unordered_map<std::uint32_t, std::vector<const Act*>> parkedActsAtStand;  // any state
  // Per stand (by position in g_stands), per kind and weekday (index 0: any weekday), the union of
  // the options' half hours.
  std::vector<std::array<std::array<std::uint64_t, 8>, 2>> masks;

  void build() {
    *this = SearchIndex{};
    for (const PlanResult& r : g_staticPlan) addPlanned(r);
    for (const Act& a : g_parkedActs) {
      if (!a.secondCallsign.empty()) parkedSecondCallsigns.insert(a.secondCallsign);
      if (!a.registration.empty()) parkedRegistrations.insert(a.registration);
      parkedActsAtStand[a.standId].push_back(&a);
      if (a.state == ActState::InSim) staticActsAtStand[a.standId].push_back(&a);
    }
    for (const LiveStayer& s : g_liveStayers)
      if (!s.callsign.empty()) stayerCallsigns.insert(s.callsign);
    masks.assign(g_stands.size(), {});
    for (std::size_t i = 0; i < g_stands.size(); ++i)
      for (const ParkPosOption& o : g_stands[i].options) {
        if (o.id == 0 || o.kind > 1) continue;
        auto& m = masks[i][o.kind];
        m[0] |= o.halfHours;
        if (o.day >= 1 && o.day <= 7) m[o.day] |= o.halfHours;
      }
  }
  void addPlanned(const PlanResult& r) {
    if (!r.registration.empty()) plannedRegistrations.insert(r.registration);
    if (!r.callsign.empty()) plannedCallsigns.insert(r.callsign);
  }
};

// Built by lf_searchParkPositions for its steps; a step called on its own builds its own.
SearchIndex g_searchIndex;
bool g_searchIndexBuilt = false;

bool lf_isLiveCallsign(const std::string& cs) {
  if (cs.empty()) return false;
  return g_liveCallsigns.count(cs) != 0 || g_liveCallsigns.count(cs + "_") != 0;
}

// Why the option may not be parked now: the aircraft is live, parked or planned already. Empty texts
// name no aircraft and match nothing.
bool lf_mustSetAside(const ParkPosOption& o, const SearchIndex& index) {
  const auto in = [](const std::unordered_set<std::string>& set, const std::string& s) {
    return !s.empty() && set.count(s) != 0;
  };
  if (in(index.plannedRegistrations, o.reg)) return true;
  if (lf_isLiveCallsign(o.cs1) || lf_isLiveCallsign(o.cs2)) return true;
  if (in(index.parkedSecondCallsigns, o.cs1) || in(index.parkedSecondCallsigns, o.cs2) ||
      in(index.parkedRegistrations, o.reg))
    return true;
  if (in(index.plannedCallsigns, o.cs1) || in(index.plannedCallsigns, o.cs2)) return true;
  return in(index.stayerCallsigns, o.cs1) || in(index.stayerCallsigns, o.cs2);
}

// A static aircraft at an overlapping stand reaches over this one for an aircraft of the type.
bool lf_neighbourTooClose(const Stand& stand, const std::string& type, const SearchIndex& index) {
  if (stand.overlapIds.empty() || index.staticActsAtStand.empty()) return false;
  double typeSpan = -1;
  for (std::uint32_t n : stand.overlapIds) {
    auto it = index.staticActsAtStand.find(n);
    if (it == index.staticActsAtStand.end()) continue;
    if (typeSpan < 0) typeSpan = gf_halfWingspan(type);
    for (const Act* a : it->second)
      if (gf_distanceNm({a->latitude, a->longitude}, {stand.lat, stand.lon}) < a->halfWingspan + typeSpan) return true;
  }
  return false;
}

// Whether the aircraft of the option still stands there in the half hour after now.
bool lf_staying(const Stand& stand, const ParkPosOption& o, WeekSlot now) {
  if (o.cs2.empty()) return true;
  const WeekSlot next = lf_nextHalfHour(now);
  if (next.weekday == now.weekday) return lf_hasBit(o.halfHours, next.halfHour);
  return std::any_of(stand.options.begin(), stand.options.end(), [&](const ParkPosOption& p) {
    return p.id != 0 && !gf_optionSetAside(stand.id, p.id) && p.day == next.weekday && gf_sameAirlineModel(p, o) &&
           lf_hasBit(p.halfHours, 0);
  });
}

void lf_setFits(std::int32_t real, std::int32_t soft) {
  g_realFit = real;
  g_softFit = soft;
  g_mainWindow.realFit = real;
  g_mainWindow.softFit = soft;
}

// The hexid of the next parked act: the next serial that no parked act carries (0 is none).
std::uint32_t lf_nextSerial() {
  for (int tries = 0; tries < 10000; ++tries) {
    g_staticSerial = (g_staticSerial + 1) % 10000;
    if (g_staticSerial == 0) continue;
    const bool used = std::any_of(g_parkedActs.begin(), g_parkedActs.end(),
                                  [](const Act& a) { return a.hexid == g_staticSerial; });
    if (!used) return g_staticSerial;
  }
  return g_staticSerial;
}

void lf_showReservedStand(const AirportData& park) {
  std::string reserved;
  {
    std::lock_guard lock(g_parkAirportsMutex);
    if (!g_parkAirports.empty() && g_parkAirports.front().code == park.code)
      reserved = g_parkAirports.front().reservedStand;
  }
  const bool valid = !reserved.empty() && gf_findStandByName(reserved) != g_stands.end();
  gf_setReservedStandName(valid ? reserved : std::string());
  g_mainWindow.reservedStandValid = valid ? 1 : 0;
}

// The text the window shows for the loaded file: the file's name.
std::string lf_fileText(const std::string& source) {
  const std::size_t cut = source.find_last_of("/\\");
  return cut == std::string::npos ? source : source.substr(cut + 1);
}

}  // namespace

// ---- Small services ----

std::string gf_reservedStandName() {
  std::lock_guard lock(g_reservedStandMutex);
  return g_reservedStandName;
}

void gf_setReservedStandName(std::string name) {
  std::lock_guard lock(g_reservedStandMutex);
  g_reservedStandName = std::move(name);
}

bool gf_optionSetAside(std::uint32_t standId, std::uint32_t optionId) {
  return !g_setAside.empty() && g_setAside.count(lf_optionKey(standId, optionId)) != 0;
}

bool gf_staticPlanEmpty() { return g_staticPlan.empty(); }

void gf_lockParkingControls() {
  g_parkingLock.exchange(1);
  for (const OptionControl* c : kParkingControls) gf_enableControl(*c, false);
  gf_clearMessage();
  g_mainWindow.invalidate(std::nullopt);
}

void gf_unlockParkingControls() {
  g_parkingLock.exchange(0);
  g_renewalMinutes = 19;
  for (const OptionControl* c : kParkingControls) gf_enableControl(*c, true);
  gf_clearMessage();
  g_mainWindow.invalidate(std::nullopt);
}

WeekSlot gf_halfHoursBefore(WeekSlot now, std::uint32_t n) {
  const std::int64_t h = static_cast<std::int64_t>(now.halfHour) - std::min<std::uint32_t>(n, 47);
  if (h >= 0) return {now.weekday, static_cast<std::uint32_t>(h)};
  return {now.weekday == 1 ? 7u : now.weekday - 1, static_cast<std::uint32_t>(h + 48)};
}

bool gf_laterInWeek(WeekSlot a, WeekSlot b) {
  if (a.weekday == 1 && b.weekday == 7) return true;
  if (a.weekday == 7 && b.weekday == 1) return false;
  return a.weekday > b.weekday || (a.weekday == b.weekday && a.halfHour > b.halfHour);
}

bool gf_addParkedHalfHours(std::uint64_t& total, WeekSlot now, bool add, const Act& act) {
  if (act.state != ActState::InSim && act.state != ActState::Removing) return false;
  const WeekSlot at{act.weekDay, act.halfHourSlot};
  if (add && !gf_laterInWeek(at, now)) total += gf_weekHalfHourDiff(now, at);
  return true;
}

std::int32_t gf_countParkedAc(bool showMean) {
  std::lock_guard lock(gf_engineMutex());
  const WeekSlot now = WeekSlot::fromPacked(g_weekSlot.load());
  std::uint64_t total = 0;
  std::int32_t count = 0;
  for (const Act& act : g_parkedActs)
    if (gf_addParkedHalfHours(total, now, showMean, act)) ++count;
  if (showMean && WEEK.value == 0) {
    const float mean = count != 0 ? static_cast<float>(static_cast<double>(total) / (2.0 * count) + 0.5) : 0.0f;
    if (g_mainWindow.staticAverageFit.exchange(mean) != mean) gf_repaintFigureArea();
  }
  return count;
}

void gf_planStand(Stand& stand) {
  stand.taken = 1;
  for (std::uint32_t id : stand.overlapIds)
    if (Stand* n = lf_standWithId(id)) n->blocked = 1;
}

// ---- Loading ----

std::string lf_readParkedFile() {
  std::lock_guard engine(gf_engineMutex());
  const AirportData park = gf_parkAirportSnapshot();
  g_stands.clear();
  g_setAside.clear();
  g_standUpdates = 0;
  g_mainWindow.parkingUpdates = 0;
  if (!g_userMaxLive) g_userMaxLive = MAX_LIVE.value.load();
  std::string message;
  std::string source;
  bool loaded = false;
  try {
    source = gf_findApfSource(park.code);
    if (source.empty()) {
      message = fmt::format("{} {} not found", "lf_readParkedFile", park.code);
    } else if (source.size() >= 7 && source.find("unknown") != std::string::npos) {
      message = fmt::format("{} {} has publisher:{}, {}", "lf_readParkedFile", park.code, "unknown", source);
    } else {
      g_parkApfInfo = ParkApfInfo{};
      g_parkApfSource = source;
      gf_readApf(message, source, g_parkApfInfo, g_parkQf, g_stands);
      loaded = g_parkAirportLoaded.load() != 0;
      if (loaded) {
        if (g_parkQf.real >= 45 && g_stands.size() >= 20) {
          g_softLearningAllowed = 0;
          if (LEARN_SOFT.value != 0) {
            LEARN_SOFT.value = 0;
            LEARN_SOFT.refresh();
            g_parkParameterChanged = 1;
          }
          gf_enableControl(LEARN_SOFT, false);
        } else {
          g_softLearningAllowed = 1;
          gf_enableControl(LEARN_SOFT, true);
        }
        if (g_userOnGroundKnown != 0)
          gf_noteUserStandAtParkAirport(park, gf_standNameAt(g_engineUserAc.latitude, g_engineUserAc.longitude));
      }
    }
  } catch (const UserErrorException& e) {
    // A file that stops half-way is not used at all: no stand learning on half an airport (the
    // park-airport check does not try the airport again while the user stays near it).
    message = e.what();
    gf_logMarked(fmt::format("{}: {}", park.code, message));
    g_stands.clear();
    g_parkAirportLoaded.store(0);
    loaded = false;
  } catch (const std::exception& e) {
    message = fmt::format("{}: {}", "lf_readParkedFile", e.what());
  }
  g_stands.shrink_to_fit();
  lf_showReservedStand(park);
  g_mainWindow.parkDataShown = loaded ? 1 : 0;
  g_mainWindow.setText(StatusText::ParkingText2, loaded ? lf_fileText(source) : std::string());
  g_standUpdates = 0;
  g_mainWindow.invalidate(std::nullopt);
  return message;
}

std::int32_t gf_staticParkCount() {
  // A learned file may carry any number here: a percentage beyond 0 to 100 would only overflow the
  // count (or ask for more aircraft than stands).
  const std::int32_t p = std::clamp(CUSTOM_PARKING_PERCENTAGE.value >= 0 ? CUSTOM_PARKING_PERCENTAGE.value.load()
                                                                         : parking_percentage.value.load(),
                                    0, 100);
  const auto n = static_cast<std::int64_t>(g_stands.size());
  std::int32_t count = 1;
  if (n > 1 && (n > 3 || p >= 50)) count = static_cast<std::int32_t>(std::round(p * static_cast<double>(n) / 100.0));
  std::int32_t shown = p;
  if (CUSTOM_MAX_PARK.value != -1) {
    count = std::min(count, CUSTOM_MAX_PARK.value.load());
    shown = n < 1 ? 0 : static_cast<std::int32_t>(std::round(count * 100.0 / static_cast<double>(n)));
  }
  g_maxParkCount = count;
  g_mainWindow.maxParkCount = count;
  g_mainWindow.maxParkPercentage = shown;
  gf_repaintFigureArea();
  return count;
}

WeekSlot lf_logTrafficTime() {
  WeekSlot now = WeekSlot::fromPacked(g_weekSlot.load());
  if (now.weekday < 1 || now.weekday > 7 || now.halfHour > 47) now = gf_weekSlotNow();
  gf_logf("\n{} (utc) It is day {} ({}), {} hours", gf_trafficTimeOfDay(), now.weekday,
          gf_dayName(static_cast<int>(now.weekday)), now.halfHour * 0.5 + 0.5);
  return now;
}

void lf_markReservedStands() {
  const std::string reserved = gf_reservedStandName();
  auto named = reserved.empty() ? g_stands.end() : gf_findStandByName(reserved);
  if (named != g_stands.end()) named->reserved = 1;
  const std::string under = gf_standNameAt(g_engineUserAc.latitude, g_engineUserAc.longitude);
  if (!under.empty() && under != reserved) {
    auto it = gf_findStandByName(under);
    if (it != g_stands.end()) it->reserved = 1;
  }
}

// ---- Planning ----

void lf_startStaticParking() {
  std::lock_guard engine(gf_engineMutex());
  const WeekSlot now = lf_logTrafficTime();
  gf_showMessage("Making changes to airport parking parameters is disabled while static parking takes place ...",
                 false);
  g_staticPlan.clear();
  g_keptParked.clear();
  g_liveStayers.clear();
  g_mainWindow.staticAverageFit = -1.0f;
  g_mainWindow.liveAverageFit = -1.0f;
  g_mainWindow.adjusting = 0;
  g_mainWindow.invalidate(std::nullopt);
  gf_takeLiveCallsigns();

  for (Stand& s : g_stands) s.taken = s.reserved = s.blocked = 0;
  lf_markReservedStands();

  const std::int32_t wanted = gf_staticParkCount();
  if (wanted > static_cast<std::int32_t>(g_staticPlan.size()))
    lf_planRealThenSoft(now, wanted, static_cast<std::int32_t>(g_staticPlan.size()));

  std::stable_sort(g_staticPlan.begin(), g_staticPlan.end(),
                   [](const PlanResult& a, const PlanResult& b) { return a.offset < b.offset; });
  if (wanted >= 0 && g_staticPlan.size() > static_cast<std::size_t>(wanted))
    g_staticPlan.resize(static_cast<std::size_t>(wanted));

  if (!g_staticPlan.empty()) {
    const auto size = static_cast<double>(g_staticPlan.size());
    const auto stands = static_cast<double>(std::max<std::size_t>(g_stands.size(), 1));
    gf_logf("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", g_staticPlan.size(),
            static_cast<std::int64_t>(std::round(size * 100.0 / stands)), parking_percentage.value.load(),
            lf_maxFitHours());
    std::stable_sort(g_staticPlan.begin(), g_staticPlan.end(),
                     [](const PlanResult& a, const PlanResult& b) { return a.offset > b.offset; });
    gf_lockParkingControls();
  } else {
    gf_log("no parking positions found");
    gf_unlockParkingControls();
  }
}

void lf_planRealThenSoft(WeekSlot now, std::int32_t wanted, std::int32_t planned) {
  lf_setFits(0, -1);
  lf_planPositions(now, wanted, planned, 1);
  if (wanted > planned + static_cast<std::int32_t>(g_staticPlan.size()) && (PARK_SOFT.value != 0 || PARK_FAKE.value != 0))
    lf_planPositions(now, wanted, planned, 0);
}

void lf_planPositions(WeekSlot now, std::int32_t wanted, std::int32_t planned, std::uint32_t kind) {
  std::vector<PlanResult> work;
  work.reserve(512);
  if (lf_searchParkPositions(now, kind, wanted, work) == 1) {
    const std::int64_t surplus =
        static_cast<std::int64_t>(g_staticPlan.size()) + static_cast<std::int64_t>(work.size()) - wanted;
    if (surplus >= 1 && !work.empty()) lf_shuffleAndTrim(work, surplus);
  }
  g_staticPlan.insert(g_staticPlan.end(), std::make_move_iterator(work.begin()), std::make_move_iterator(work.end()));
  const std::int64_t room = std::max<std::int64_t>(0, static_cast<std::int64_t>(wanted) - planned);
  if (static_cast<std::int64_t>(g_staticPlan.size()) > room) g_staticPlan.resize(static_cast<std::size_t>(room));
}

void lf_shuffleAndTrim(std::vector<PlanResult>& work, std::int64_t surplus) {
  if (gf_randomOn() && work.size() > 1) std::shuffle(work.begin(), work.end(), gf_randomEngine());
  if (surplus >= 0 && static_cast<std::uint64_t>(surplus) <= work.size())
    work.resize(work.size() - static_cast<std::size_t>(surplus));
}

std::int32_t lf_searchParkPositions(WeekSlot now, std::uint32_t kind, std::int32_t wanted,
                                    std::vector<PlanResult>& work) {
  const std::int64_t before = lf_countTaken();
  g_searchIndex.build();
  g_searchIndexBuilt = true;
  std::int32_t result = 0;
  std::uint32_t last = 0;
  const auto maxFit = static_cast<std::uint32_t>(std::clamp(MAX_FIT.value.load(), 0, 47));
  for (std::uint32_t offset = 0; offset <= maxFit; ++offset) {
    last = offset;
    lf_searchStands(now, kind, offset, work);
    if (lf_countTaken() >= wanted) {
      result = 1;
      break;
    }
    g_staticPlan.insert(g_staticPlan.end(), std::make_move_iterator(work.begin()), std::make_move_iterator(work.end()));
    work.clear();
  }
  g_searchIndexBuilt = false;
  if (kind == 1)
    lf_setFits(static_cast<std::int32_t>(last), -1);
  else
    lf_setFits(g_realFit, static_cast<std::int32_t>(last));
  const std::int64_t found = lf_countTaken() - before;
  if (found > 0)
    gf_logf("{} {} position{} found, Max fit={} hours{}{}", kind == 1 ? "real" : "soft", found, gf_pluralS(found),
            lf_maxFitHours(), WEEK.value != 0 ? std::string(", week") : fmt::format(", day {}", now.weekday),
            fmt::format(", hh:{} or {} hrs", now.halfHour, now.halfHour * 0.5 + 0.5) +
                fmt::format(" fit: {} hour", last * 0.5 + 0.5));
  return result;
}

void lf_searchStands(WeekSlot now, std::uint32_t kind, std::uint32_t offset, std::vector<PlanResult>& work) {
  const WeekSlot searched = gf_halfHoursBefore(now, offset);
  SearchIndex local;
  if (!g_searchIndexBuilt) local.build();
  SearchIndex& index = g_searchIndexBuilt ? g_searchIndex : local;
  const std::uint64_t bit = std::uint64_t{1} << searched.halfHour;
  const bool week = WEEK.value != 0;
  std::vector<std::uint32_t> candidates;
  for (std::size_t i = 0; i < g_stands.size(); ++i) {
    Stand& stand = g_stands[i];
    if (stand.reserved != 0 || stand.taken != 0 || stand.blocked != 0) continue;
    if (stand.heli != 0 && HELICOPTERS.value == 0) continue;
    if (i < index.masks.size() && kind <= 1 && (index.masks[i][kind][week ? 0 : searched.weekday] & bit) == 0) continue;
    try {
      candidates.clear();
      for (const ParkPosOption& o : stand.options) {
        if (o.id == 0 || o.kind != kind || (!week && o.day != searched.weekday) || (o.halfHours & bit) == 0) continue;
        if (gf_optionSetAside(stand.id, o.id)) continue;
        if (lf_neighbourTooClose(stand, o.type, index)) continue;
        candidates.push_back(o.id);
      }
      if (candidates.empty()) continue;
      if (candidates.size() >= 2 && gf_randomOn()) {
        // The aircraft parked here already keeps its stand when one of the options is its own.
        std::uint32_t own = 0;
        auto parked = index.parkedActsAtStand.find(stand.id);
        if (parked != index.parkedActsAtStand.end())
          for (const Act* a : parked->second) {
            for (const ParkPosOption& o : stand.options)
              if (o.id != 0 && gf_sameAirlineModel(o, *a) &&
                  (gf_equalsWithStar(o.cs1, a->callsign) || gf_equalsWithStar(o.cs2, a->callsign))) {
                own = o.id;
                break;
              }
            if (own != 0) break;
          }
        if (own != 0)
          candidates.front() = own;
        else
          std::shuffle(candidates.begin(), candidates.end(), gf_randomEngine());
      }
      auto chosen = std::find_if(stand.options.begin(), stand.options.end(),
                                 [&](const ParkPosOption& o) { return o.id == candidates.front(); });
      if (chosen == stand.options.end()) continue;
      const ParkPosOption& o = *chosen;
      if (lf_mustSetAside(o, index)) {
        g_setAside.insert(lf_optionKey(stand.id, o.id));
        continue;
      }
      PlanResult r{stand.id, offset, o.airl, o.type, o.cs1, o.cs2, o.reg, lf_staying(stand, o, now) ? std::uint8_t{1} : std::uint8_t{0}, std::nullopt};
      index.addPlanned(r);
      work.push_back(std::move(r));
      gf_planStand(stand);
    } catch (const std::exception& e) {
      gf_logMarked(fmt::format("{}: day: {}, offset {}: {}", "lf_searchStands", searched.weekday, offset, e.what()));
    }
  }
}

// ---- Parking ----

std::string lf_staticCallsign(std::string callsign) {
  while (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
  if (callsign.empty() || callsign.back() != '*') callsign += '*';
  return callsign;
}

std::string lf_detcs(const PlanResult& r) {
  std::string first = r.staying != 0 ? r.callsign : r.coupledCallsign;
  if (first.empty()) first = r.staying != 0 ? r.coupledCallsign : r.callsign;
  if (first.empty()) {
    gf_logMarked(fmt::format("{} callsign is empty..", "lf_detcs"));
    return {};
  }
  return lf_staticCallsign(std::move(first));
}

namespace {

// The stand with the id, or one of its neighbours.
bool lf_standOrNeighbour(std::uint32_t id, std::uint32_t standId, const Stand* stand) {
  return id == standId || (stand != nullptr && std::find(stand->overlapIds.begin(), stand->overlapIds.end(), id) !=
                                                   stand->overlapIds.end());
}

bool lf_onGroundWithin(const LiveAc& ac, const Stand& stand) {
  if (ac.state == ActState::New || ac.state == ActState::Removing) return false;
  const bool onGround = ac.movesOnGround != 0 || (ac.state == ActState::Creating && !ac.situations.empty() &&
                                                  ac.situations.front().airborne == 0);
  return onGround &&
         gf_distanceNm({ac.position.latitude, ac.position.longitude}, {stand.lat, stand.lon}) <= stand.radiusNm;
}

// The stand, of the one with the id and its neighbours, at which the live aircraft stands or which
// it holds; 0 when none.
std::uint32_t lf_liveStandAmong(const LiveAc& ac, std::uint32_t standId, const Stand* stand) {
  // Bound for its stand, standing at it, or pushing back and starting its engines beside it.
  const bool holds = ac.phase == GroundPhase::ToStand || ac.phase == GroundPhase::AtStand ||
                     ac.phase == GroundPhase::LeavingStand || ac.phase == GroundPhase::EnginesStarted;
  if (holds && ac.standId != 0 && lf_standOrNeighbour(ac.standId, standId, stand)) return ac.standId;
  // Whatever its phase and whichever stand it holds (one created at its stand taxis from there,
  // holding it until it moves), an aircraft on the ground within a stand's radius stands there.
  if (stand == nullptr) return 0;
  if (lf_onGroundWithin(ac, *stand)) return standId;
  for (std::uint32_t id : stand->overlapIds)
    if (const Stand* neighbour = lf_standWithId(id); neighbour != nullptr && lf_onGroundWithin(ac, *neighbour))
      return id;
  return 0;
}

}  // namespace

void lf_parkStatic() {
  std::lock_guard engine(gf_engineMutex());
  if (g_staticPlan.empty() || g_stands.empty()) return;
  const PlanResult r = std::move(g_staticPlan.back());
  g_staticPlan.pop_back();
  const Stand* stand = lf_standWithId(r.standId);
  for (const LiveAc& ac : g_liveAcs) {
    const std::uint32_t at = lf_liveStandAmong(ac, r.standId, stand);
    if (at == 0) continue;
    if (LOG.value != 0) {
      if (at == r.standId)
        gf_logf("{:8}: no static parking for {}, live aircraft {} standing here", gf_standName(r.standId), r.callsign,
                ac.callsign);
      else
        gf_logf("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly colliding",
                gf_standName(r.standId), r.callsign, ac.callsign, gf_standName(at));
    }
    return;
  }
  for (const Act& act : g_parkedActs) {
    // One on its way out (its removal queued) leaves the stand free.
    if (act.state == ActState::Removing || act.standId == 0 || !lf_standOrNeighbour(act.standId, r.standId, stand))
      continue;
    if (LOG.value != 0)
      gf_logf("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly colliding",
              gf_standName(r.standId), r.callsign, act.callsign, gf_standName(act.standId));
    return;
  }
  if (stand == nullptr) {
    gf_logMarked(fmt::format("stand with id {} not found", r.standId));
    return;
  }
  const std::uint32_t serial = lf_nextSerial();
  const std::string callsign = r.callsign.empty() ? fmt::format("{}{}{}", r.airline, "*", serial) : lf_detcs(r);
  AcData data(r.airline, r.type, "", "", callsign, r.callsign, r.coupledCallsign, r.registration, stand->cargo != 0);
  data.hexid = serial;
  Act act(std::move(data), r.standId, {stand->lat, stand->lon, stand->heading}, stand->cargo);
  if (!lf_matchParkedLivery(act, *stand) || act.liveryTitle.empty()) return;
  const WeekSlot now = WeekSlot::fromPacked(g_weekSlot.load());
  const WeekSlot at = r.standTime ? *r.standTime : gf_halfHoursBefore(now, std::min<std::uint32_t>(r.offset, 47));
  act.weekDay = at.weekday;
  act.halfHourSlot = at.halfHour;
  act.state = ActState::Creating;
  CreateRequest request;
  request.position.latitude = stand->lat;
  request.position.longitude = stand->lon;
  request.position.altitude = 0;
  request.position.pitch = 0;
  request.position.bank = 0;
  request.position.heading = stand->heading * 57.29577951308232;
  request.position.onGround = 1;
  request.position.airspeed = 0;
  request.callsign = act.callsign;
  request.title = act.liveryTitle;
  request.hexid = act.hexid;
  g_parkedActs.push_back(std::move(act));
  g_pendingParkedCreations.push_back(std::move(request));
}

// ---- Set-aside marks and the learned-file hooks of the other files ----

void lf_clearSetAside() { g_setAside.clear(); }

std::optional<std::int32_t> lf_takeUserMaxLive() {
  std::optional<std::int32_t> v = g_userMaxLive;
  g_userMaxLive.reset();
  return v;
}

void gf_resetStaticParking() {
  g_staticPlan.clear();
  g_staticPlan.shrink_to_fit();
  g_staticPlan.reserve(512);
  g_keptParked.clear();
  g_parkRemovals.clear();
  g_setAside.clear();
  g_staticSerial = 0;
  g_realFit = 0;
  g_softFit = -1;
  g_parkingLock = 0;
  g_maxParkCount = -1;
  g_softLearningAllowed = 0;
  g_userMaxLive.reset();
  gf_setReservedStandName({});
}

}  // namespace amb
