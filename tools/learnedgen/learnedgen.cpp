#include "learnedgen/learnedgen.hpp"

#include "core/geometry.hpp"
#include "core/strings.hpp"
#include "enginesim/parking.hpp"
#include "records/aircraft.hpp"
#include "refdata/queries.hpp"

#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <random>
#include <stdexcept>
#include <utility>

namespace amb::learnedgen {

namespace fs = std::filesystem;

namespace {

constexpr double kMetresPerNm = 1852.0;

// Draws from the standard's Mersenne twister by plain arithmetic, so that the week is the same with
// every standard library.
class Random {
public:
  explicit Random(std::uint32_t seed) : m_engine(seed) {}
  int between(int lo, int hi) { return lo + static_cast<int>(m_engine() % static_cast<std::uint32_t>(hi - lo + 1)); }
  bool percent(int p) { return static_cast<int>(m_engine() % 100) < p; }
  std::uint32_t below(std::uint32_t n) { return m_engine() % n; }

private:
  std::mt19937 m_engine;
};

bool isAirlineCallsign(const std::string& cs) {
  return cs.size() >= 4 && std::isupper(static_cast<unsigned char>(cs[0])) &&
         std::isupper(static_cast<unsigned char>(cs[1])) && std::isupper(static_cast<unsigned char>(cs[2])) &&
         std::isdigit(static_cast<unsigned char>(cs[3])) && std::all_of(cs.begin() + 4, cs.end(), [](char c) {
           return std::isdigit(static_cast<unsigned char>(c)) || std::isupper(static_cast<unsigned char>(c));
         });
}

double halfSpanMetres(const std::string& type) { return gf_halfWingspan(type) * kMetresPerNm; }

// The made-up names: none is the recording's, none is given twice.
class Names {
public:
  Names(const Recorded& recorded, Random& random) : m_recorded(recorded), m_random(random) {}

  std::string callsign(const std::string& airline) {
    const auto known = m_recorded.flightDigits.find(airline);
    std::size_t digits = known == m_recorded.flightDigits.end() ? 3 : std::clamp<std::size_t>(known->second, 2, 4);
    for (int attempt = 0;; ++attempt) {
      if (attempt > 0 && attempt % 200 == 0 && digits < 4) ++digits;  // the short numbers are used up
      int lo = 1;
      for (std::size_t i = 1; i < digits; ++i) lo *= 10;
      const std::string cs = airline + std::to_string(m_random.between(lo, lo * 10 - 1));
      if (m_recorded.callsigns.count(cs) == 0 && m_callsigns.insert(cs).second) return cs;
      if (attempt > 10000) throw std::runtime_error("no free flight number of " + airline);
    }
  }

  // A registration after the pattern of the airline's own (its nationality mark kept, the digits or
  // the last two letters changed); US style for an airline without any.
  std::string registration(const std::string& airline) {
    const auto fleet = m_recorded.fleets.find(airline);
    for (int attempt = 0;; ++attempt) {
      std::string reg;
      if (fleet != m_recorded.fleets.end() && !fleet->second.empty() && attempt < 100)
        reg = changed(fleet->second[(m_count + static_cast<std::size_t>(attempt)) % fleet->second.size()]);
      else
        reg = "N" + std::to_string(m_random.between(100, 999)) + letter() + letter();
      if (m_recorded.registrations.count(reg) == 0 && m_registrations.insert(reg).second) {
        ++m_count;
        return reg;
      }
      if (attempt > 10000) throw std::runtime_error("no free registration for " + airline);
    }
  }

  std::uint32_t hexid() {
    while (m_recorded.hexids.count(m_nextHexid) != 0) ++m_nextHexid;
    return m_nextHexid++;
  }

private:
  char letter() { return static_cast<char>('A' + m_random.between(0, 25)); }

  std::string changed(const std::string& pattern) {
    std::string reg = pattern;
    const std::size_t dash = reg.find('-');
    const std::size_t from = dash == std::string::npos ? 1 : dash + 1;
    std::vector<std::size_t> digits, letters;
    for (std::size_t i = from; i < reg.size(); ++i) {
      if (std::isdigit(static_cast<unsigned char>(reg[i]))) digits.push_back(i);
      if (std::isupper(static_cast<unsigned char>(reg[i]))) letters.push_back(i);
    }
    if (digits.size() >= 2) {
      for (std::size_t i : digits) reg[i] = static_cast<char>('0' + m_random.between(i == digits.front() ? 1 : 0, 9));
    } else {
      for (std::size_t k = letters.size() >= 2 ? letters.size() - 2 : 0; k < letters.size(); ++k)
        reg[letters[k]] = letter();
    }
    return reg;
  }

  const Recorded& m_recorded;
  Random& m_random;
  std::set<std::string> m_callsigns, m_registrations;
  std::size_t m_count = 0;
  std::uint32_t m_nextHexid = 0xC00000;
};

// The operators that may stand at a stand: its airlines (any when it names none of the recording's),
// freighters at cargo stands and airliners at the others, of a size the stand takes and not much
// smaller.
std::vector<const Operator*> operatorsFor(const StandUse& stand, const Recorded& recorded) {
  const auto fits = [&](const Operator& o, bool tight) {
    const double half = halfSpanMetres(o.type);
    return half <= stand.radiusMetres + 1.8 && (!tight || half >= stand.radiusMetres - 16.0);
  };
  const auto named = [&](const Operator& o) {
    return std::find(stand.airlines.begin(), stand.airlines.end(), o.airline) != stand.airlines.end();
  };
  const auto collect = [&](auto&& keep) {
    std::vector<const Operator*> out;
    for (const Operator& o : recorded.operators)
      if (keep(o)) out.push_back(&o);
    return out;
  };
  for (bool tight : {true, false}) {
    auto out = collect([&](const Operator& o) { return named(o) && fits(o, tight); });
    if (out.empty()) out = collect([&](const Operator& o) { return o.cargo == stand.cargo && fits(o, tight); });
    if (!out.empty()) return out;
  }
  return collect([&](const Operator& o) { return fits(o, false); });
}

const Operator& pick(const std::vector<const Operator*>& operators, Random& random) {
  std::uint32_t total = 0;
  for (const Operator* o : operators) total += o->weight;
  std::uint32_t at = random.below(std::max<std::uint32_t>(total, 1));
  for (const Operator* o : operators) {
    if (at < o->weight) return *o;
    at -= o->weight;
  }
  return *operators.back();
}

// One turn of a stand's day, in half hours of the local day (the overnight one runs into the next).
struct DayTurn {
  const Operator* op = nullptr;
  int first = 0;
  int last = 0;
  std::string arrival, departure;
};

std::vector<DayTurn> dayOf(const StandUse& stand, const std::vector<const Operator*>& operators, Random& random,
                           Names& names) {
  const auto stay = [&](const Operator& o) {
    if (stand.cargo) return random.between(6, 12);
    const double half = halfSpanMetres(o.type);
    if (half < 15.0) return random.between(2, 3);
    if (half < 21.0) return random.between(2, 4);
    return random.between(4, 8);
  };
  const auto gap = [&] { return stand.cargo ? random.between(2, 8) : random.between(1, 4); };
  const auto named = [&](DayTurn turn) {
    turn.arrival = names.callsign(turn.op->airline);
    turn.departure = random.percent(70) ? names.callsign(turn.op->airline) : turn.arrival;
    return turn;
  };
  std::vector<DayTurn> day;
  // The aircraft that stood overnight leave between 06:00 and 08:00; the last turns of the day end
  // by 23:00.
  const int morning = random.between(12, 16);
  int t = morning + random.between(0, 2);
  for (;;) {
    const Operator& o = pick(operators, random);
    const int length = stay(o);
    if (t + length - 1 > 45) break;
    day.push_back(named({&o, t, t + length - 1, {}, {}}));
    t += length + gap();
  }
  if (random.percent(stand.cargo ? 40 : 70)) {
    const int start = std::max(t, random.between(42, 45));
    if (start <= 47) day.push_back(named({&pick(operators, random), start, 48 + morning - 1, {}, {}}));
  }
  return day;
}

}  // namespace

Recorded readRecorded(const std::vector<enginesim::RecordedLine>& lines, const ailibgen::Library& library,
                      const std::string& airport) {
  Recorded recorded;
  // airline, type -> hexid -> flies to or from the airport
  std::map<std::pair<std::string, std::string>, std::map<std::uint32_t, bool>> seen;
  for (const enginesim::RecordedLine& line : lines) {
    const std::string cs = enginesim::lineField(line.text, 9);
    const std::string type = enginesim::lineField(line.text, 10);
    const std::string reg = enginesim::lineField(line.text, 11);
    recorded.hexids.insert(line.hexid);
    if (!cs.empty()) recorded.callsigns.insert(cs);
    if (!reg.empty()) recorded.registrations.insert(reg);
    if (!isAirlineCallsign(cs)) continue;
    const std::string airline = cs.substr(0, 3);
    const std::string number = cs.substr(3);
    if (std::all_of(number.begin(), number.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      recorded.flightDigits[airline] = std::max(recorded.flightDigits[airline], number.size());
    bool& here = seen[{airline, type}][line.hexid];
    here = here || enginesim::lineField(line.text, 12) == airport || enginesim::lineField(line.text, 13) == airport;
  }
  for (const auto& [key, aircraft] : seen) {
    const auto& [airline, type] = key;
    const auto liveries = library.find(type);
    if (liveries == library.end()) continue;
    const auto livery = std::find_if(liveries->second.begin(), liveries->second.end(), [&](const ailibgen::Livery& l) {
      return l.airline == airline && !l.special && !l.retired && !l.cargo;
    });
    if (livery == liveries->second.end()) continue;
    Operator o{airline, type, 0, ailibgen::kCargoAirlines.count(airline) != 0};
    for (const auto& [hexid, here] : aircraft) o.weight += here ? 4 : 1;
    recorded.operators.push_back(o);
    auto& fleet = recorded.fleets[airline];
    fleet.insert(fleet.end(), livery->fleet.begin(), livery->fleet.end());
  }
  return recorded;
}

std::vector<StandUse> standUses(const std::vector<Stand>& stands, const fs::path& groundnet) {
  pugi::xml_document doc;
  if (!doc.load_file(groundnet.c_str())) throw std::runtime_error("cannot read " + groundnet.string());
  struct Parking {
    LatLon at;
    std::vector<std::string> airlines;
  };
  std::vector<Parking> parkings;
  for (pugi::xml_node p : doc.child("groundnet").child("parkingList").children("Parking")) {
    Parking parking;
    if (!enginesim::parseGroundnetAngle(p.attribute("lat").as_string(), parking.at.lat) ||
        !enginesim::parseGroundnetAngle(p.attribute("lon").as_string(), parking.at.lon))
      continue;
    parking.airlines = gf_splitComma(p.attribute("airlineCodes").as_string());
    parkings.push_back(std::move(parking));
  }
  std::vector<StandUse> out;
  for (const Stand& s : stands) {
    if (s.heli != 0) continue;
    StandUse use{s.id, s.name, s.radiusNm * kMetresPerNm, s.cargo != 0, {}};
    for (const Parking& p : parkings)
      if (gf_distanceNm({s.lat, s.lon}, p.at) * kMetresPerNm <= 5.0) {
        use.airlines = p.airlines;
        break;
      }
    out.push_back(std::move(use));
  }
  return out;
}

std::vector<Turn> weekOfTurns(const std::vector<StandUse>& stands, const Recorded& recorded, std::uint32_t seed,
                              int utcOffsetHours) {
  Random random(seed);
  Names names(recorded, random);
  std::vector<Turn> week;
  for (const StandUse& stand : stands) {
    const std::vector<const Operator*> operators = operatorsFor(stand, recorded);
    if (operators.empty()) continue;
    const std::vector<DayTurn> day = dayOf(stand, operators, random, names);
    for (int d = 0; d < 7; ++d)
      for (const DayTurn& t : day) {
        if (!random.percent(90)) continue;  // not flown every day
        Turn turn;
        turn.standId = stand.id;
        turn.airline = t.op->airline;
        turn.type = t.op->type;
        turn.arrival = t.arrival;
        turn.departure = t.departure;
        turn.first = d * 48 + t.first - 2 * utcOffsetHours;
        turn.last = d * 48 + t.last - 2 * utcOffsetHours;
        const int shift = turn.first < 0 ? kWeekHalfHours : turn.first >= kWeekHalfHours ? -kWeekHalfHours : 0;
        turn.first += shift;
        turn.last += shift;
        week.push_back(std::move(turn));
      }
  }
  // The aircraft: of each airline and type the one back longest from its last turn (4 to 8 hours after
  // it), a new one when none is. A turn over Sunday midnight also needs one that the week's first
  // hours do not use before it is back.
  std::stable_sort(week.begin(), week.end(), [](const Turn& a, const Turn& b) { return a.first < b.first; });
  struct Aircraft {
    std::string registration;
    std::uint32_t hexid = 0;
    int firstUse = 0;
    int back = 0;
  };
  std::map<std::pair<std::string, std::string>, std::vector<Aircraft>> fleets;
  for (Turn& turn : week) {
    auto& fleet = fleets[{turn.airline, turn.type}];
    const int wrapsTo = turn.last - kWeekHalfHours;  // the half hour of Monday it stands until, when it wraps
    const int away = random.between(8, 16);
    auto chosen = fleet.end();
    for (auto it = fleet.begin(); it != fleet.end(); ++it)
      if (it->back <= turn.first && (wrapsTo < 0 || it->firstUse > wrapsTo + away) &&
          (chosen == fleet.end() || it->back < chosen->back))
        chosen = it;
    if (chosen == fleet.end())
      chosen = fleet.insert(fleet.end(), {names.registration(turn.airline), names.hexid(), turn.first, 0});
    turn.registration = chosen->registration;
    turn.hexid = chosen->hexid;
    chosen->back = turn.last + away;
  }
  return week;
}

void teach(const std::vector<Turn>& turns) {
  for (const Turn& turn : turns) {
    AcData ac(turn.airline, turn.type, "", "", turn.arrival, turn.arrival, "", turn.registration, false);
    ac.hexid = turn.hexid;
    for (int k = turn.first; k <= turn.last; ++k) {
      const int slot = k % kWeekHalfHours;
      const WeekSlot time{static_cast<std::uint32_t>(slot / 48 + 1), static_cast<std::uint32_t>(slot % 48)};
      ac.callsign = k == turn.last && turn.last > turn.first ? turn.departure : turn.arrival;
      // Tracked within a day: a new day's option begins afresh.
      lf_addRealParkPosOption(turn.standId, ac, true, time, k == turn.last || time.halfHour == 47);
    }
  }
}

std::vector<Turn> learnWeek(enginesim::ParkingDays& days, clock::SystemTime start, const LatLon& user,
                            const std::string& code, const fs::path& groundnet,
                            const std::vector<enginesim::RecordedLine>& recording, const ailibgen::Library& library,
                            std::uint32_t seed, int utcOffsetHours) {
  days.arrive(start, user);
  if (!days.runUntil([] { return g_parkAirportLoaded != 0 && !g_stands.empty(); }, std::chrono::minutes(2)))
    throw std::runtime_error("the program did not load " + code);
  const AirportData airport = gf_parkAirportSnapshot();
  if (airport.code != code) throw std::runtime_error("the program picked " + airport.code + ", not " + code);
  const std::vector<Turn> week =
      weekOfTurns(standUses(g_stands, groundnet), readRecorded(recording, library, airport.iata), seed, utcOffsetHours);
  teach(week);
  if (!days.leave()) throw std::runtime_error("the program did not leave " + code);
  return week;
}

}  // namespace amb::learnedgen
