// The soft stand choice and soft learning at the end of a stream, against a plain model of the rules
// written here step by step (every collector walks every stand and asks every option, the list is
// sorted by a literal insertion sort): at a large airport of varied stands and learned options and
// at a small one, with aircraft of every class, at many half hours of the week, with and without
// random order. The product's choice, the options it learns and the soft tries it remembers must be
// the model's in every case.

#include "parking_fixture.hpp"

#include "traffic/live_ac.hpp"

#include <cmath>
#include <functional>
#include <random>
#include <tuple>

namespace amb {
namespace {

using test::north;

const LatLon kBase{40.6413, -73.7781};
constexpr double kMetre = 1.0 / 1852.0;

// ---- The model ----

struct Candidate {
  std::string name;
  std::int32_t steps = 0;
  std::uint32_t fit = 0;
};

bool modelInUse(const Stand& s, WeekSlot t) {
  for (const ParkPosOption& o : s.options)
    if (o.id != 0 && o.day == t.weekday && ((o.halfHours >> t.halfHour) & 1u) != 0) return true;
  return false;
}

bool modelFits(const Stand& s, const AcData& ac) {
  if (ac.callsign.empty()) return false;
  for (const ParkPosOption& o : s.options)
    if (o.id != 0 && o.kind == 1 &&
        (ac.callsign == o.cs1 || ac.callsign == o.cs2 || (o.airl == ac.airline && o.type == ac.model)))
      return true;
  return false;
}

std::vector<Stand>::iterator modelChoose(WeekSlot t, const AcData& ac, bool retry) {
  std::vector<Candidate> list;
  const double size = ac.halfWingspan;
  const double step = size <= 17.8 * kMetre ? 14 * kMetre : 21 * kMetre;
  const auto fitting = [&](const std::function<bool(const Stand&)>& filter) {
    if (!list.empty()) return;
    std::int32_t best = 100;
    for (const Stand& s : g_stands) {
      if (!filter(s) || size - s.radiusNm > 1.8 * kMetre) continue;
      const auto steps = static_cast<std::int32_t>(std::round((s.radiusNm - size) / step));
      if (steps > best || modelInUse(s, t)) continue;
      best = steps;
      list.push_back({s.name, steps, modelFits(s, ac) ? 1u : 0u});
    }
  };
  const auto anySize = [&](const std::function<bool(const Stand&)>& filter) {
    if (!list.empty()) return;
    std::int32_t best = 100;
    for (const Stand& s : g_stands) {
      if (!filter(s)) continue;
      const auto steps = static_cast<std::int32_t>(std::round(std::fabs(size - s.radiusNm)));
      if (steps > best || modelInUse(s, t)) continue;
      best = steps;
      list.push_back({s.name, steps, modelFits(s, ac) ? 1u : 0u});
    }
  };
  if (ac.category == Rotorcraft) {
    fitting([](const Stand& s) { return s.heli != 0; });
    fitting([](const Stand& s) { return s.ramp != 0; });
    anySize([](const Stand& s) { return s.heli != 0; });
    anySize([](const Stand& s) { return s.ramp != 0; });
  } else if (ac.cargo != 0) {
    fitting([](const Stand& s) { return s.cargo != 0 && s.heli == 0; });
    anySize([](const Stand& s) { return s.cargo != 0 && s.heli == 0; });
    fitting([](const Stand& s) { return s.heli == 0; });
    anySize([](const Stand& s) { return s.heli == 0; });
  } else if (ac.category == Light || ac.category == Buzjets || ac.airline == "PVT") {
    fitting([](const Stand& s) { return s.cargo == 0 && s.heli == 0 && s.ramp != 0; });
    anySize([](const Stand& s) { return s.cargo == 0 && s.heli == 0 && s.ramp != 0; });
  } else {
    const std::string code = gf_parkAirportSnapshot().code;
    bool gates = true;
    if (code.empty() || code.front() != 'K') gates = gf_randomEngine()() % 100 >= 10;
    for (int round = 0; round < 2; ++round, gates = !gates) {
      const auto kind = [gates](const Stand& s) { return s.cargo == 0 && s.heli == 0 && (s.ramp == 0) == gates; };
      fitting(kind);
      anySize(kind);
    }
  }
  if (list.empty()) {
    if (!retry || g_stands.size() > 10) return g_stands.end();
    const WeekSlot next = t.halfHour < 47 ? WeekSlot{t.weekday, t.halfHour + 1} : WeekSlot{t.weekday % 7 + 1, 0};
    return modelChoose(next, ac, false);
  }
  if (list.size() >= 2 && gf_randomOn()) {
    for (std::size_t i = list.size(); i > 1; --i) {
      std::uniform_int_distribution<std::size_t> draw(0, i - 1);
      std::swap(list[i - 1], list[draw(gf_randomEngine())]);
    }
  }
  for (std::size_t i = 1; i < list.size(); ++i)
    for (std::size_t j = i; j > 0 && list[j].fit >= list[j - 1].fit && list[j].steps <= list[j - 1].steps; --j)
      std::swap(list[j], list[j - 1]);
  return gf_findStandByName(list.front().name);
}

void modelLearn(const LiveAc& ac, bool notClimbOut) {
  if (LEARN_SOFT.value == 0 || g_softLearningAllowed == 0) return;
  const AirportData park = gf_parkAirportSnapshot();
  if (park.code.empty()) return;
  if (gf_distanceNm({ac.position.latitude, ac.position.longitude}, {park.lat, park.lon}) > 5.0) return;
  if (!notClimbOut && ac.heightAboveGround >= 2500) return;
  if (ac.standId != 0) return;
  const WeekSlot now = gf_weekSlotNow();
  const auto seen = [&] {
    return std::find_if(g_softSeen.begin(), g_softSeen.end(), [&](const SoftSeen& s) { return s.hexid == ac.hexid; });
  };
  const auto remember = [&] {
    if (seen() == g_softSeen.end()) g_softSeen.push_back({ac.hexid, now.halfHour});
    seen()->halfHour = now.halfHour;
  };
  for (const Stand& s : g_stands) {
    const auto visit = s.softByHexid.find(ac.hexid);
    if (visit == s.softByHexid.end()) continue;
    if ((visit->second.weekday != now.weekday || visit->second.halfHour != now.halfHour) &&
        lf_addSoftParkPosOption(s.id, ac, true, now)) {
      remember();
      return;
    }
    break;
  }
  if (seen() != g_softSeen.end() && (now.halfHour + 48 - seen()->halfHour) % 48 < 3) return;
  remember();
  const std::uint32_t before = (now.halfHour + 47) % 48, after = (now.halfHour + 1) % 48;
  for (const Stand& s : g_stands)
    for (const ParkPosOption& o : s.options)
      if (o.id != 0 && o.kind == 1 && o.day == now.weekday && o.reg == ac.registration &&
          (((o.halfHours >> before) | (o.halfHours >> now.halfHour) | (o.halfHours >> after)) & 1u) != 0)
        return;
  const auto stand = modelChoose(now, ac, true);
  if (stand == g_stands.end()) return;
  if (!lf_addSoftParkPosOption(stand->id, ac, false, now)) {
    *seen() = g_softSeen.back();
    g_softSeen.pop_back();
  }
}

// ---- The fixture ----

const char* const kAirlines[] = {"DAL", "AAL", "UAL", "JBU", "FDX", "PVT"};
const char* const kTypes[] = {"B738", "A320", "B77W", "E190"};

// Stands of every kind and size in rows north of the base, a few sharing a name; options of every
// weekday, kind and half hour, some set aside (id 0).
std::vector<Stand> variedStands(std::size_t n, std::mt19937& rng) {
  std::uniform_int_distribution<int> pct(0, 99), day(1, 7), half(0, 47), airline(0, 5), type(0, 3), reg(0, 39),
      options(0, 12);
  std::uniform_real_distribution<double> radius(6.0, 45.0);
  std::vector<Stand> out;
  for (std::size_t i = 0; i < n; ++i) {
    const int kind = pct(rng);
    const std::string name = pct(rng) < 3 && i > 0 ? out[i / 2].name : "S" + std::to_string(i + 1);
    Stand s = test::makeStand(name, north(kBase, 60.0 * static_cast<double>(i % 40)).lat,
                              kBase.lon + 0.001 * static_cast<double>(i / 40), 0, radius(rng), kind < 15,
                              kind >= 15 && kind < 55, kind >= 92);
    const int count = options(rng);
    for (int k = 0; k < count; ++k) {
      const int a = airline(rng);
      std::uint64_t bits = 0;
      for (int b = pct(rng) % 4; b >= 0; --b) bits |= std::uint64_t{1} << half(rng);
      s.options.push_back(test::makeOption(
          kAirlines[a], kTypes[type(rng)], pct(rng) < 20 ? "" : "N" + std::to_string(reg(rng)),
          static_cast<std::uint32_t>(day(rng)), bits, pct(rng) < 10 ? 0u : static_cast<std::uint32_t>(k + 1),
          pct(rng) < 70 ? 1u : 0u, std::string(kAirlines[a]) + std::to_string(pct(rng) % 8),
          pct(rng) < 30 ? "X" + std::to_string(pct(rng) % 8) : ""));
    }
    s.id = static_cast<std::uint32_t>(i + 1);
    out.push_back(std::move(s));
  }
  return out;
}

// An aircraft of any class: light, business jet, airliner, heavy, helicopter, freighter or private.
AcData variedAircraft(std::mt19937& rng) {
  std::uniform_int_distribution<int> pct(0, 99), airline(0, 5), type(0, 3), reg(0, 59);
  std::uniform_real_distribution<double> span(4.0, 34.0);
  static const std::int32_t kCategories[] = {Light, Buzjets, Large, Large, Large, Heavy, Rotorcraft};
  AcData ac;
  ac.airline = kAirlines[airline(rng)];
  ac.model = kTypes[type(rng)];
  const int c = pct(rng);
  ac.callsign = c < 8 ? "" : c < 20 ? "X" + std::to_string(c % 8) : ac.airline + std::to_string(c % 10);
  ac.registration = pct(rng) < 10 ? "" : "N" + std::to_string(reg(rng));
  ac.hexid = 0xC00000 + static_cast<std::uint32_t>(reg(rng));
  ac.category = kCategories[pct(rng) % 7];
  ac.cargo = pct(rng) < 12 ? 1 : 0;
  ac.halfWingspan = span(rng) * kMetre;
  return ac;
}

class SoftChoice : public test::ParkingTest {
protected:
  void SetUp() override {
    ParkingTest::SetUp();
    g_softLearningAllowed = 1;
    LEARN_SOFT.value = 1;
  }
  static std::string found(std::vector<Stand>::iterator it) {
    return it == g_stands.end() ? "(none)" : fmt::format("{} #{}", it->name, it->id);
  }
  // The product's and the model's choice for the same draws of the random engine.
  static void expectSameChoices(std::mt19937& rng, int cases) {
    std::uniform_int_distribution<int> day(1, 7), half(0, 47), pct(0, 99);
    for (int i = 0; i < cases; ++i) {
      const WeekSlot t{static_cast<std::uint32_t>(day(rng)), static_cast<std::uint32_t>(half(rng))};
      const AcData ac = variedAircraft(rng);
      const bool retry = pct(rng) < 50;
      gf_setRandomOn(pct(rng) < 50);
      const unsigned seed = static_cast<unsigned>(rng());
      gf_randomEngine().seed(seed);
      const std::string product = found(lf_chooseSoftStand(t, ac, retry));
      gf_randomEngine().seed(seed);
      const std::string model = found(modelChoose(t, ac, retry));
      ASSERT_EQ(product, model) << "case " << i << " day " << t.weekday << " half hour " << t.halfHour << " "
                                << ac.callsign << " " << ac.airline << " " << ac.model << " category " << ac.category;
    }
  }
};

TEST_F(SoftChoice, TheChoiceIsTheModelsAtALargeAndASmallAirport) {
  std::mt19937 rng(4711);
  for (const char* code : {"KJFK", "EGLL"}) {
    SCOPED_TRACE(code);
    setPark({code, "", kBase.lat, kBase.lon, 13});
    g_stands = variedStands(400, rng);
    expectSameChoices(rng, 1500);
    // Eight stands, most of them in use at most times: the retry for the next half hour counts.
    for (int airport = 0; airport < 40; ++airport) {
      g_stands = variedStands(8, rng);
      expectSameChoices(rng, 25);
    }
  }
}

// Streams of aircraft ending around the airport over a week of half hours, learned by the product on
// one copy of the stands and by the model on another from the same start: the same options, the same
// tracked visits, the same soft tries remembered.
TEST_F(SoftChoice, SoftLearningOverAWeekIsTheModels) {
  for (const bool random : {false, true}) {
    SCOPED_TRACE(random);
    std::mt19937 rng(random ? 99 : 98);
    setPark({random ? "LFPG" : "KJFK", "", kBase.lat, kBase.lon, 13});
    const std::vector<Stand> start = variedStands(300, rng);
    struct Ending {
      WeekSlot at;
      LiveAc ac;
      bool notClimbOut;
    };
    std::vector<Ending> endings;
    std::uniform_int_distribution<int> pct(0, 99), step(0, 3);
    std::uniform_real_distribution<double> metres(-12000.0, 12000.0);
    WeekSlot t{5, 40};
    for (int i = 0; i < 2500; ++i) {
      // Half hours pass, over midnight and from Sunday to Monday.
      for (int k = step(rng) == 0 ? 1 : 0; k > 0; --k)
        t = t.halfHour < 47 ? WeekSlot{t.weekday, t.halfHour + 1} : WeekSlot{t.weekday % 7 + 1, 0};
      const LatLon where = north({kBase.lat, kBase.lon + metres(rng) / 84000.0}, metres(rng));
      Situation s;
      s.latitude = where.lat;
      s.longitude = where.lon;
      LiveAc ac(s, variedAircraft(rng), 0);
      ac.position.latitude = where.lat;
      ac.position.longitude = where.lon;
      ac.heightAboveGround = pct(rng) < 20 ? 3000 : 100;
      ac.standId = pct(rng) < 5 ? 3 : 0;
      endings.push_back({t, std::move(ac), pct(rng) < 70});
    }
    const auto run = [&](const std::function<void(const LiveAc&, bool)>& learn) {
      g_stands = start;
      g_softSeen.clear();
      g_standUpdates = 0;
      gf_setRandomOn(random);
      gf_randomEngine().seed(12345);
      for (const Ending& e : endings) {
        at(e.at.weekday, e.at.halfHour);
        learn(e.ac, e.notClimbOut);
      }
    };
    run(lf_learnSoftParkPos);
    const std::vector<Stand> product = g_stands;
    const std::vector<SoftSeen> productSeen = g_softSeen;
    const std::int32_t productUpdates = g_standUpdates;
    run(modelLearn);
    // Enough happened to tell them apart.
    EXPECT_GT(productUpdates, 400);
    EXPECT_EQ(productUpdates, g_standUpdates);
    ASSERT_EQ(product.size(), g_stands.size());
    for (std::size_t i = 0; i < product.size(); ++i) {
      SCOPED_TRACE(product[i].name);
      EXPECT_EQ(product[i].options, g_stands[i].options);
      ASSERT_EQ(product[i].softByHexid.size(), g_stands[i].softByHexid.size());
      for (const auto& [hexid, v] : product[i].softByHexid) {
        const auto& m = g_stands[i].softByHexid.at(hexid);
        EXPECT_EQ(std::tuple(v.weekday, v.halfHour, v.optionId), std::tuple(m.weekday, m.halfHour, m.optionId));
      }
    }
    ASSERT_EQ(productSeen.size(), g_softSeen.size());
    for (std::size_t i = 0; i < productSeen.size(); ++i)
      EXPECT_EQ(std::pair(productSeen[i].hexid, productSeen[i].halfHour),
                std::pair(g_softSeen[i].hexid, g_softSeen[i].halfHour));
  }
}

}  // namespace
}  // namespace amb
