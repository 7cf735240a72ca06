// Stand learning from live traffic: which stand lies at a position, which stand a live aircraft takes,
// and what the stands learn from every live aircraft that stands at one (a real option) or whose
// stream ends near the park airport without one (a soft option), by weekday and half hour.
//
// Everything here runs on the worker thread, which owns g_stands.

#include "airports/stand_learning.hpp"

#include "airports/park_airport.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "settings/options.hpp"
#include "sim/services.hpp"
#include "state/main_window.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>

namespace amb {

std::vector<SoftSeen> g_softSeen;
std::uint8_t g_softLearningAllowed = 0;

namespace {

constexpr double kStandNameNm = 0.029697624190064796;        // 55 m
constexpr double kTooSmallNm = 0.0009719222462203025;         // 1.8 m
constexpr double kTooSmallNearNm = 0.010799136069114472;      // 20 m
constexpr double kOptionStandNm = 0.0458963282937365;         // 85 m
constexpr double kOneMetreNm = 0.0005399568034557236;
constexpr double kNoDistance = 900.0;
constexpr double kSoftAirportNm = 5.0;
constexpr double kClimbOutBelowFeet = 2500.0;
constexpr double kSmallSpanNm = 0.009611230689557531;         // 17.8 m half span
constexpr double kSmallStepNm = 0.00755939524838013;          // 14 m
constexpr double kLargeStepNm = 0.011339092872570195;         // 21 m
constexpr std::size_t kRetryStands = 10;

// The answer of gf_standNameAt for its last position, and the stand list it was found in.
struct StandNameCache {
  double lat = 0;
  double lon = 0;
  const Stand* stands = nullptr;
  std::size_t count = 0;
  bool valid = false;
  std::string name;
};
StandNameCache g_standNameCache;

// One arc-minute of latitude is one nautical mile on this sphere, so a stand farther than the reach
// in latitude alone is farther in distance too; the margin covers the rounding of the haversine.
bool lf_outOfReach(const LatLon& at, const Stand& s, double reachNm) {
  return std::fabs(s.lat - at.lat) * 60.0 > reachNm * 1.000001 + 1e-12;
}

bool lf_tooSmall(double sizeNm, const Stand& s) { return sizeNm - s.radiusNm > kTooSmallNm; }

bool lf_bitSet(std::uint64_t halfHours, std::uint32_t halfHour) {
  return halfHour < 48 && (halfHours >> halfHour & 1u) != 0;
}

WeekSlot lf_nextHalfHour(WeekSlot t) {
  if (t.halfHour < 47) return {t.weekday, t.halfHour + 1};
  return {t.weekday >= 7 ? 1u : t.weekday + 1, 0};
}

std::uint32_t lf_nextWeekday(std::uint32_t day) { return day >= 7 ? 1 : day + 1; }

// A real option of the aircraft among the stand's options (by callsign, else by airline and type).
bool lf_standFits(const Stand& s, const AcData& aircraft) {
  if (aircraft.callsign.empty()) return false;
  const AirlineModel am = gf_airlineModelOf(aircraft);
  return std::any_of(s.options.begin(), s.options.end(), [&](const ParkPosOption& o) {
    return lf_optionInSearch(o) && gf_isRealOptionOf(aircraft.callsign, am, o);
  });
}

// The first option of the kind for the weekday and registration that takes part in searches.
ParkPosOption* lf_optionOf(Stand& s, std::uint32_t weekday, const std::string& registration, std::uint32_t kind) {
  for (ParkPosOption& o : s.options)
    if (lf_optionInSearch(o) && o.day == weekday && o.kind == kind && o.reg == registration) return &o;
  return nullptr;
}

bool lf_sameTime(const StandVisit& v, WeekSlot t) { return v.weekday == t.weekday && v.halfHour == t.halfHour; }

void lf_checkHalfHour(WeekSlot time) {
  if (time.halfHour >= 48) throw std::out_of_range(kInvalidBitsetPosition);
}

// Which stands are in use, per stand in g_stands' order: bit 0 at the time, bit 1 in the next half
// hour. A stand is in use when one of its options of that weekday holds the half hour.
using BusyStands = std::vector<std::uint8_t>;
constexpr std::uint8_t kBusyNow = 1;
constexpr std::uint8_t kBusyNext = 2;

std::uint32_t lf_registrationDigest(const std::string& registration) {
  return static_cast<std::uint32_t>(std::hash<std::string>{}(registration));
}

// The stand's options by weekday, built again when its options were added to, removed or moved.
const OptionsByDay& lf_optionsByDay(Stand& s) {
  OptionsByDay& t = s.byDay;
  if (t.builtFor == s.options.data() && t.builtCount == s.options.size()) return t;
  const auto bucket = [](std::uint32_t day) { return day >= 1 && day <= 7 ? day : 0u; };
  std::uint32_t count[8] = {};
  for (const ParkPosOption& o : s.options) ++count[bucket(o.day)];
  t.start[0] = 0;
  for (std::size_t d = 0; d < 8; ++d) t.start[d + 1] = t.start[d] + count[d];
  std::uint32_t next[8];
  std::copy(t.start, t.start + 8, next);
  t.entries.resize(s.options.size());
  for (std::size_t k = 0; k < s.options.size(); ++k) {
    const ParkPosOption& o = s.options[k];
    t.entries[next[bucket(o.day)]++] = {lf_registrationDigest(o.reg), static_cast<std::uint32_t>(k), o.kind};
  }
  t.builtFor = s.options.data();
  t.builtCount = s.options.size();
  return t;
}

// The entries of the options of a weekday; none for a weekday outside 1 to 7.
std::pair<const OptionsByDay::Entry*, const OptionsByDay::Entry*> lf_entriesOf(const OptionsByDay& t,
                                                                               std::uint32_t weekday) {
  if (weekday < 1 || weekday > 7) return {nullptr, nullptr};
  return {t.entries.data() + t.start[weekday], t.entries.data() + t.start[weekday + 1]};
}

// One of the stand's options of that weekday takes part in searches and holds the half hour.
bool lf_inUse(Stand& s, WeekSlot t) {
  const auto [from, to] = lf_entriesOf(lf_optionsByDay(s), t.weekday);
  for (auto e = from; e != to; ++e) {
    const ParkPosOption& o = s.options[e->option];
    if (lf_optionInSearch(o) && lf_bitSet(o.halfHours, t.halfHour)) return true;
  }
  return false;
}

BusyStands lf_busyStands(WeekSlot now) {
  const WeekSlot next = lf_nextHalfHour(now);
  BusyStands busy(g_stands.size(), 0);
  for (std::size_t i = 0; i < g_stands.size(); ++i)
    busy[i] = static_cast<std::uint8_t>((lf_inUse(g_stands[i], now) ? kBusyNow : 0) |
                                        (lf_inUse(g_stands[i], next) ? kBusyNext : 0));
  return busy;
}

// The two collectors of the soft-stand search over the stands the filter lets through that are not
// in use. Each pass keeps only stands whose size steps do not exceed the best found so far. Whether a
// candidate fits the aircraft is left for the choice to ask.
template <typename Filter>
void lf_collectFitting(std::vector<StandCandidate>& out, const BusyStands& busy, std::uint8_t inUse,
                       const AcData& ac, double stepNm, Filter filter) {
  std::int32_t best = 100;
  const double size = ac.halfWingspan;
  for (std::size_t i = 0; i < g_stands.size(); ++i) {
    const Stand& s = g_stands[i];
    if (!filter(s) || lf_tooSmall(size, s)) continue;
    const auto steps = static_cast<std::int32_t>(std::round((s.radiusNm - size) / stepNm));
    if (steps > best || (busy[i] & inUse) != 0) continue;
    best = steps;
    out.push_back({i, steps, -1});
  }
}

template <typename Filter>
void lf_collectAnySize(std::vector<StandCandidate>& out, const BusyStands& busy, std::uint8_t inUse,
                       const AcData& ac, Filter filter) {
  std::int32_t best = 100;
  const double size = ac.halfWingspan;
  for (std::size_t i = 0; i < g_stands.size(); ++i) {
    const Stand& s = g_stands[i];
    if (!filter(s)) continue;
    // Both in nautical miles, so this is 0 for every real aircraft: all such stands count alike.
    const auto steps = static_cast<std::int32_t>(std::round(std::fabs(size - s.radiusNm)));
    if (steps > best || (busy[i] & inUse) != 0) continue;
    best = steps;
    out.push_back({i, steps, -1});
  }
}

bool lf_candidateFits(StandCandidate& c, const AcData& ac) {
  if (c.fit < 0) c.fit = lf_standFits(g_stands[c.stand], ac) ? 1 : 0;
  return c.fit != 0;
}

// The first of the candidates once ordered by insertion, a candidate moving ahead of an earlier one
// while its fit is not lower and its steps are not higher: the last candidate that fits at least as
// well as, and lies no more steps away than, every one before it. Its fit asks a stand's options, so
// the fits are asked from the back and only as far as needed: a fitting candidate with the fewest
// steps so far wins at once; one that does not fit wins only when no candidate before it fits.
std::size_t lf_firstCandidate(std::vector<StandCandidate>& list, const AcData& ac) {
  // fewest[j]: the candidate has no more steps than any before it.
  std::vector<std::uint8_t> fewest(list.size(), 0);
  std::int32_t least = list.front().steps;
  for (std::size_t j = 0; j < list.size(); ++j) {
    fewest[j] = list[j].steps <= least ? 1 : 0;
    least = std::min(least, list[j].steps);
  }
  // The first fitting candidate, searched from the front as far as asked.
  std::size_t searched = 0;
  std::size_t firstFit = list.size();
  const auto fitBefore = [&](std::size_t j) {
    while (firstFit == list.size() && searched < j) {
      if (lf_candidateFits(list[searched], ac)) firstFit = searched;
      ++searched;
    }
    return firstFit < j;
  };
  for (std::size_t j = list.size(); j-- > 0;) {
    if (fewest[j] == 0) continue;
    if (lf_candidateFits(list[j], ac) || !fitBefore(j)) return j;
  }
  return 0;
}

std::vector<SoftSeen>::iterator lf_softSeenOf(std::uint32_t hexid) {
  return std::find_if(g_softSeen.begin(), g_softSeen.end(), [&](const SoftSeen& s) { return s.hexid == hexid; });
}

void lf_rememberSoftTry(std::uint32_t hexid, std::uint32_t halfHour) {
  const auto seen = lf_softSeenOf(hexid);
  if (seen != g_softSeen.end())
    seen->halfHour = halfHour;
  else
    g_softSeen.push_back({hexid, halfHour});
}

// Fisher-Yates with uniform draws from the thread's engine.
void lf_shuffle(std::vector<StandCandidate>& items) {
  std::mt19937& engine = gf_randomEngine();
  for (std::size_t i = items.size(); i > 1; --i) {
    std::uniform_int_distribution<std::size_t> draw(0, i - 1);
    std::swap(items[i - 1], items[draw(engine)]);
  }
}

}  // namespace

void lf_countStandChange() {
  const std::int32_t n = ++g_standUpdates;
  const auto shown = static_cast<std::uint32_t>(std::max(0, n));
  if (g_mainWindow.parkingUpdates.exchange(shown) != shown) gf_repaintStatusArea();
}

Stand* lf_standWithId(std::uint32_t standId) {
  // The load numbers the stands 1, 2, 3 ... in their order.
  if (standId >= 1 && standId <= g_stands.size() && g_stands[standId - 1].id == standId) return &g_stands[standId - 1];
  for (Stand& s : g_stands)
    if (s.id == standId) return &s;
  return nullptr;
}

std::vector<Stand>::iterator gf_findStandByName(const std::string& name) {
  return std::find_if(g_stands.begin(), g_stands.end(), [&](const Stand& s) { return s.name == name; });
}

std::string gf_standNameAt(double latitude, double longitude) {
  if (g_stands.empty() || g_userOnGround.load() == 0) return {};
  StandNameCache& cache = g_standNameCache;
  if (cache.valid && cache.lat == latitude && cache.lon == longitude && cache.stands == g_stands.data() &&
      cache.count == g_stands.size())
    return cache.name;
  const LatLon at{latitude, longitude};
  const Stand* nearest = nullptr;
  double best = kStandNameNm;
  for (const Stand& s : g_stands) {
    if (lf_outOfReach(at, s, kStandNameNm)) continue;
    const double d = gf_distanceNm(at, {s.lat, s.lon});
    if (d < best || (nearest == nullptr && d == best)) {
      nearest = &s;
      best = d;
    }
  }
  cache = {latitude, longitude, g_stands.data(), g_stands.size(), true, nearest != nullptr ? nearest->name : ""};
  return cache.name;
}

void gf_forgetStandNameCache() { g_standNameCache = StandNameCache{}; }

std::vector<Stand>::iterator gf_findStandForAct(double latitude, double longitude, const AcData& aircraft,
                                                double maxNm, bool tryOptions) {
  const LatLon at{latitude, longitude};
  const double size = aircraft.halfWingspan;
  const double reach = std::max(maxNm, tryOptions ? kOptionStandNm : 0.0);
  double best = kNoDistance;
  double optionBest = kNoDistance;
  auto chosen = g_stands.end();
  auto optionStand = g_stands.end();
  auto chosenTooSmall = g_stands.end();
  bool trying = tryOptions;
  for (auto it = g_stands.begin(); it != g_stands.end(); ++it) {
    const Stand& s = *it;
    if (s.occupied != 0 || lf_outOfReach(at, s, reach)) continue;
    const double d = gf_distanceNm(at, {s.lat, s.lon});
    const bool small = lf_tooSmall(size, s);
    if (d <= maxNm && d < best) {
      // A too-small stand farther than 20 m is passed over: it neither counts as the nearest nor
      // stops the option search.
      if (small && d > kTooSmallNearNm) continue;
      chosen = it;
      if (small) chosenTooSmall = it;
      best = d;
      trying = false;
    } else if (trying && d <= kOptionStandNm && d < optionBest && !small && lf_standFits(s, aircraft)) {
      optionStand = it;
      optionBest = d;
    }
  }
  auto result = chosen != g_stands.end() ? chosen : optionStand;
  if (result == g_stands.end()) return result;
  const bool rotorcraft = aircraft.category == Rotorcraft;
  if ((result->heli != 0) != rotorcraft) return g_stands.end();
  if (result == chosenTooSmall) {
    result->radiusNm = size - kOneMetreNm;
    result->radiusChanged = 1;
    lf_countStandChange();
  }
  return result;
}

void lf_fillStandGap(StandVisit& visit, WeekSlot now, Stand& stand, std::uint32_t kind, const AcData& aircraft) {
  int gap = 0;
  bool nextDay = false;
  const int last = static_cast<int>(visit.halfHour);
  const int half = static_cast<int>(now.halfHour);
  for (int k = 1; k <= 5 && gap == 0; ++k) {
    if (visit.weekday == now.weekday && (last + k) % 48 == half) {
      gap = k;
    } else if (now.weekday == lf_nextWeekday(visit.weekday) && half - last + 48 == k) {
      gap = k;
      nextDay = true;
    }
  }
  if (gap != 0 && !nextDay) {
    gf_extendOption(stand.options, now, aircraft.callsign, gap, visit.optionId);
  } else if (gap != 0) {
    const std::uint32_t id = gf_addParkPosOption(stand.options, gf_airlineModelOf(aircraft), kind, now,
                                                 aircraft.callsign, aircraft.registration);
    if (id > 0) {
      gf_extendOptionOverMidnight(stand.options, now, aircraft.callsign, gap, visit.optionId, id);
      visit.optionId = id;
    }
  }
  visit.weekday = now.weekday;
  visit.halfHour = now.halfHour;
}

bool lf_addRealParkPosOption(std::uint32_t standId, const AcData& aircraft, bool useTracking, WeekSlot time,
                             bool stopTracking) {
  if (g_stands.empty() || aircraft.registration.empty() || aircraft.callsign.empty()) return false;
  Stand* stand = lf_standWithId(standId);
  if (stand == nullptr) return false;
  try {
    lf_checkHalfHour(time);
    ParkPosOption* option = lf_optionOf(*stand, time.weekday, aircraft.registration, 1);
    if (option == nullptr) {
      const std::uint32_t id = gf_addParkPosOption(stand->options, gf_airlineModelOf(aircraft), 1, time,
                                                   aircraft.callsign, aircraft.registration);
      stand->realByHexid.try_emplace(aircraft.hexid, StandVisit{time.weekday, time.halfHour, id});
      lf_countStandChange();
      return true;
    }
    auto& visits = stand->realByHexid;
    if (lf_bitSet(option->halfHours, time.halfHour)) {
      if (stopTracking) visits.erase(aircraft.hexid);
      return false;
    }
    if (option->readMark != 0) return false;
    option->halfHours |= std::uint64_t{1} << time.halfHour;
    const std::uint32_t optionId = option->id;
    if (useTracking) {
      const auto visit = visits.find(aircraft.hexid);
      if (visit != visits.end() && !lf_sameTime(visit->second, time))
        lf_fillStandGap(visit->second, time, *stand, 1, aircraft);
      if (stopTracking)
        visits.erase(aircraft.hexid);
      else if (visit == visits.end())
        visits.emplace(aircraft.hexid, StandVisit{time.weekday, time.halfHour, optionId});
    } else if (stopTracking) {
      visits.erase(aircraft.hexid);
    }
    lf_countStandChange();
    return true;
  } catch (const std::out_of_range& e) {
    gf_logMarked(fmt::format("{}: hh_now: {}, {}", "lf_addRealParkPosOption", time.halfHour, e.what()));
    return false;
  }
}

bool lf_addSoftParkPosOption(std::uint32_t standId, const AcData& aircraft, bool useTracking, WeekSlot time) {
  if (g_stands.empty()) return false;
  Stand* stand = lf_standWithId(standId);
  if (stand == nullptr) return false;
  try {
    lf_checkHalfHour(time);
    auto& visits = stand->softByHexid;
    ParkPosOption* option = lf_optionOf(*stand, time.weekday, aircraft.registration, 0);
    if (option == nullptr) {
      const std::uint32_t id = gf_addParkPosOption(stand->options, gf_airlineModelOf(aircraft), 0, time,
                                                   aircraft.callsign, aircraft.registration);
      if (id < 1) return false;
      visits.try_emplace(aircraft.hexid, StandVisit{time.weekday, time.halfHour, id});
      lf_countStandChange();
      return true;
    }
    if (lf_bitSet(option->halfHours, time.halfHour) || option->readMark != 0) return false;
    option->halfHours |= std::uint64_t{1} << time.halfHour;
    if (useTracking) {
      const auto visit = visits.find(aircraft.hexid);
      if (visit == visits.end())
        visits.emplace(aircraft.hexid, StandVisit{time.weekday, time.halfHour, option->id});
      else if (!lf_sameTime(visit->second, time))
        lf_fillStandGap(visit->second, time, *stand, 0, aircraft);
    }
    lf_countStandChange();
    return true;
  } catch (const std::out_of_range& e) {
    gf_logMarked(fmt::format("{}: hh_now: {}, {}", "lf_addSoftParkPosOption", time.halfHour, e.what()));
    return false;
  }
}

bool lf_softRepeatAllowed(std::uint32_t hexid, WeekSlot now, bool testOnly) {
  const auto seen = lf_softSeenOf(hexid);
  if (seen != g_softSeen.end() && (now.halfHour + 48 - seen->halfHour) % 48 < 3) return false;
  if (!testOnly) lf_rememberSoftTry(hexid, now.halfHour);
  return true;
}

namespace {

// The soft stand choice over the stands' use as busy tells it (inUse: the bit of the time searched).
std::vector<Stand>::iterator lf_chooseSoftStandIn(const BusyStands& busy, std::uint8_t inUse, WeekSlot time,
                                                  const AcData& aircraft, bool retry) {
  std::vector<StandCandidate> list;
  list.reserve(256);
  const double step = aircraft.halfWingspan <= kSmallSpanNm ? kSmallStepNm : kLargeStepNm;
  const auto fitting = [&](auto filter) {
    if (list.empty()) lf_collectFitting(list, busy, inUse, aircraft, step, filter);
  };
  const auto anySize = [&](auto filter) {
    if (list.empty()) lf_collectAnySize(list, busy, inUse, aircraft, filter);
  };
  if (aircraft.category == Rotorcraft) {
    const auto heli = [](const Stand& s) { return s.heli != 0; };
    const auto ramp = [](const Stand& s) { return s.ramp != 0; };
    fitting(heli);
    fitting(ramp);
    anySize(heli);
    anySize(ramp);
  } else if (aircraft.cargo != 0) {
    const auto cargo = [](const Stand& s) { return s.cargo != 0 && s.heli == 0; };
    const auto nonHeli = [](const Stand& s) { return s.heli == 0; };
    fitting(cargo);
    anySize(cargo);
    fitting(nonHeli);
    anySize(nonHeli);
  } else if (aircraft.category == Light || aircraft.category == Buzjets || aircraft.airline == "PVT") {
    const auto ramp = [](const Stand& s) { return s.cargo == 0 && s.heli == 0 && s.ramp != 0; };
    fitting(ramp);
    anySize(ramp);
  } else {
    const std::string code = gf_parkAirportSnapshot().code;
    // Gates first, except at one airport in ten outside the US, where the ramps are tried first.
    const bool gatesFirst = (!code.empty() && code.front() == 'K') || gf_randomEngine()() % 100 >= 10;
    for (const bool gates : {gatesFirst, !gatesFirst}) {
      const auto kind = [gates](const Stand& s) { return s.cargo == 0 && s.heli == 0 && (s.ramp == 0) == gates; };
      fitting(kind);
      anySize(kind);
    }
  }
  if (list.empty()) {
    if (retry && g_stands.size() <= kRetryStands)
      return lf_chooseSoftStandIn(busy, kBusyNext, lf_nextHalfHour(time), aircraft, false);
    return g_stands.end();
  }
  if (list.size() >= 2 && gf_randomOn()) lf_shuffle(list);
  // The stand is the first of the chosen candidate's name.
  const std::string& name = g_stands[list[lf_firstCandidate(list, aircraft)].stand].name;
  return std::find_if(g_stands.begin(), g_stands.end(), [&](const Stand& s) { return s.name == name; });
}

}  // namespace

std::vector<Stand>::iterator lf_chooseSoftStand(WeekSlot time, const AcData& aircraft, bool retry) {
  return lf_chooseSoftStandIn(lf_busyStands(time), kBusyNow, time, aircraft, retry);
}

void lf_learnSoftParkPos(const LiveAc& aircraft, bool notClimbOut) {
  if (LEARN_SOFT.value == 0 || g_softLearningAllowed == 0) return;
  const AirportData park = gf_parkAirportSnapshot();
  if (park.code.empty()) return;
  const LatLon at{aircraft.position.latitude, aircraft.position.longitude};
  if (gf_distanceNm(at, {park.lat, park.lon}) > kSoftAirportNm) return;
  if (!notClimbOut && aircraft.heightAboveGround >= kClimbOutBelowFeet) return;
  if (aircraft.standId != 0) return;
  const WeekSlot now = gf_weekSlotNow();

  // An aircraft already tracked at a stand extends its soft option there.
  for (const Stand& s : g_stands) {
    const auto visit = s.softByHexid.find(aircraft.hexid);
    if (visit == s.softByHexid.end()) continue;
    if (!lf_sameTime(visit->second, now) && lf_addSoftParkPosOption(s.id, aircraft, true, now)) {
      lf_rememberSoftTry(aircraft.hexid, now.halfHour);
      return;
    }
    break;
  }
  if (!lf_softRepeatAllowed(aircraft.hexid, now, false)) return;

  // Known at a real stand around this half hour: nothing soft to learn. The same walk over today's
  // options tells which stands are in use for the stand choice; a registration is compared only
  // where the digests agree.
  const std::uint64_t around = (std::uint64_t{1} << now.halfHour) |
                               (std::uint64_t{1} << (now.halfHour == 0 ? 47 : now.halfHour - 1)) |
                               (std::uint64_t{1} << (now.halfHour == 47 ? 0 : now.halfHour + 1));
  const std::uint32_t registration = lf_registrationDigest(aircraft.registration);
  const WeekSlot next = lf_nextHalfHour(now);
  BusyStands busy(g_stands.size(), 0);
  for (std::size_t i = 0; i < g_stands.size(); ++i) {
    Stand& s = g_stands[i];
    const auto [from, to] = lf_entriesOf(lf_optionsByDay(s), now.weekday);
    std::uint8_t b = 0;
    for (auto e = from; e != to; ++e) {
      const ParkPosOption& o = s.options[e->option];
      if (!lf_optionInSearch(o)) continue;
      if (e->kind == 1 && e->registration == registration && (o.halfHours & around) != 0 &&
          o.reg == aircraft.registration)
        return;
      if (lf_bitSet(o.halfHours, now.halfHour)) b |= kBusyNow;
      if (next.weekday == now.weekday && lf_bitSet(o.halfHours, next.halfHour)) b |= kBusyNext;
    }
    if (next.weekday != now.weekday && lf_inUse(s, next)) b |= kBusyNext;
    busy[i] = b;
  }

  const auto stand = lf_chooseSoftStandIn(busy, kBusyNow, now, aircraft, true);
  if (stand == g_stands.end()) return;
  if (!lf_addSoftParkPosOption(stand->id, aircraft, false, now)) {
    const auto seen = lf_softSeenOf(aircraft.hexid);
    if (seen != g_softSeen.end()) {
      *seen = g_softSeen.back();
      g_softSeen.pop_back();
    }
  }
}

void lf_searchForCoupledCsAroundThisTime(WeekSlot time, AcData& aircraft) {
  try {
    const int w = aircraft.category == Heavy ? 14 : 10;
    const int from = std::max(0, static_cast<int>(time.halfHour) - w);
    const int to = std::min(47, static_cast<int>(time.halfHour) + w);
    std::uint64_t mask = 0;
    for (int h = from; h <= to; ++h) mask |= std::uint64_t{1} << h;
    std::string callsign = aircraft.callsign;
    if (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
    for (const Stand& s : g_stands)
      for (const ParkPosOption& o : s.options)
        if (o.day == time.weekday && (o.halfHours & mask) != 0 && lf_optionInSearch(o) && !o.cs2.empty() &&
            o.airl == aircraft.airline && (o.cs1 == callsign || o.cs2 == callsign)) {
          aircraft.secondCallsign = o.cs1;
          aircraft.coupledCallsign = o.cs2;
          return;
        }
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("{}: {}", "lf_searchForCoupledCsAroundThisTime", e.what()));
  }
}

void gf_resetStandLearning() {
  g_softSeen.clear();
  g_softLearningAllowed = 0;
  gf_forgetStandNameCache();
}

}  // namespace amb
