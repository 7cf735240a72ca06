// The demo's learned file of JFK: a week of made-up flights of the recording's airlines and types at
// JFK's stands, taught to the program's stand learning. None of them may fly in the recording, the
// stands must hold enough of them at every half hour of the week, and a visit at any hour, with the
// recording replaying, must park at least half of the wanted static aircraft in its first two minutes
// and never leave one on a stand where a live aircraft stands.

#include "learnedgen/learnedgen.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "enginesim/parking.hpp"
#include "enginesim/parking_days.hpp"
#include "refdata/download.hpp"
#include "refdata/queries.hpp"
#include "standpairs/standpairs.hpp"
#include "state/main_window.hpp"
#include "support/test_support.hpp"
#include "traffic/services.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <map>
#include <set>
#include <tuple>

namespace amb {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using learnedgen::kWeekHalfHours;
using learnedgen::Turn;

// Monday 4 March 2019, 00:00 UTC.
constexpr long long kMonday = 1551657600;
constexpr std::uint32_t kSeed = 20190305;

clock::SystemTime at(long long unixSeconds) { return clock::SystemTime(std::chrono::seconds(unixSeconds)); }

const std::vector<enginesim::RecordedLine>& recording() {
  static const std::vector<enginesim::RecordedLine> lines =
      enginesim::readRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
  return lines;
}

const ailibgen::Library& library() {
  static const ailibgen::Library lib =
      ailibgen::fromRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"), ailibgen::kCargoAirlines);
  return lib;
}

fs::path groundnet() { return test::testData("airports/KJFK.parking.xml"); }

void loadDataBase() {
  enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                          test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
}

bool covers(const Turn& t, int halfHour) {
  for (int k = t.first; k <= t.last; ++k)
    if (k % kWeekHalfHours == halfHour) return true;
  return false;
}

TEST(WeekOfTurns, OtherFlightsThanTheRecordingsFillMostStandsAtEveryHalfHourOfTheWeek) {
  loadDataBase();
  const std::vector<Stand> stands = enginesim::readParkingPositions(groundnet());
  ASSERT_EQ(stands.size(), 231u);
  const std::vector<learnedgen::StandUse> uses = learnedgen::standUses(stands, groundnet());
  const learnedgen::Recorded recorded = learnedgen::readRecorded(recording(), library(), "JFK");
  const std::vector<Turn> week = learnedgen::weekOfTurns(uses, recorded, kSeed);

  std::set<std::string> callsigns, registrations;
  std::set<std::uint32_t> hexids;
  for (const auto& line : recording()) {
    callsigns.insert(enginesim::lineField(line.text, 9));
    registrations.insert(enginesim::lineField(line.text, 11));
    hexids.insert(line.hexid);
  }
  std::map<std::uint32_t, const learnedgen::StandUse*> useOf;
  for (const auto& u : uses) useOf[u.id] = &u;
  std::map<std::uint32_t, std::vector<const Turn*>> byStand;
  for (const Turn& t : week) {
    ASSERT_TRUE(useOf.count(t.standId));
    const learnedgen::StandUse& stand = *useOf[t.standId];
    byStand[t.standId].push_back(&t);
    // None of them is in the air while the recording replays.
    EXPECT_EQ(callsigns.count(t.arrival), 0u) << t.arrival;
    EXPECT_EQ(callsigns.count(t.departure), 0u) << t.departure;
    EXPECT_EQ(registrations.count(t.registration), 0u) << t.registration;
    EXPECT_EQ(hexids.count(t.hexid), 0u) << t.hexid;
    EXPECT_EQ(t.arrival.substr(0, 3), t.airline);
    EXPECT_EQ(t.departure.substr(0, 3), t.airline);
    EXPECT_LE(t.first, t.last);
    // Its type fits the stand: at most 1.8 m more half span than the stand's radius.
    EXPECT_LE(gf_halfWingspan(t.type) * 1852.0, stand.radiusMetres + 1.8) << t.type << " at " << stand.name;
    // The stands JFK's ground network gives to JetBlue alone (terminal 5's, some of terminal 4's)
    // hold JetBlue's aircraft.
    if (stand.airlines == std::vector<std::string>{"JBU"}) {
      EXPECT_EQ(t.airline, "JBU") << stand.name;
    }
  }
  // Every stand is used; two aircraft never stand at one stand at once, nor one aircraft at two.
  EXPECT_EQ(byStand.size(), 231u);
  for (auto& [id, turns] : byStand) {
    std::vector<int> used(kWeekHalfHours, 0);
    for (const Turn* t : turns)
      for (int k = t->first; k <= t->last; ++k) EXPECT_EQ(used[k % kWeekHalfHours]++, 0) << useOf[id]->name << " " << k;
  }
  std::map<std::string, std::vector<int>> standingOf;
  for (const Turn& t : week) {
    auto& used = standingOf[t.registration];
    used.resize(kWeekHalfHours);
    for (int k = t.first; k <= t.last; ++k) EXPECT_EQ(used[k % kWeekHalfHours]++, 0) << t.registration << " " << k;
  }
  // At every half hour of the week the aircraft standing fill at least the 30 % of the stands that
  // static parking wants (69 of 231), so a plan at any hour finds them without looking back.
  for (int h = 0; h < kWeekHalfHours; ++h) {
    const auto standing = std::count_if(byStand.begin(), byStand.end(), [&](const auto& entry) {
      return std::any_of(entry.second.begin(), entry.second.end(), [&](const Turn* t) { return covers(*t, h); });
    });
    EXPECT_GE(standing, 69) << "day " << h / 48 + 1 << " half hour " << h % 48;
  }
  // The same seed gives the same week, another seed another.
  const std::vector<Turn> again = learnedgen::weekOfTurns(uses, recorded, kSeed);
  ASSERT_EQ(again.size(), week.size());
  for (std::size_t i = 0; i < week.size(); ++i)
    EXPECT_EQ(std::tie(again[i].standId, again[i].registration, again[i].arrival, again[i].first),
              std::tie(week[i].standId, week[i].registration, week[i].arrival, week[i].first));
  const std::vector<Turn> other = learnedgen::weekOfTurns(uses, recorded, kSeed + 1);
  EXPECT_FALSE(other.size() == week.size() &&
               std::equal(other.begin(), other.end(), week.begin(), [](const Turn& a, const Turn& b) {
                 return a.registration == b.registration && a.first == b.first;
               }));
}

class DemoLearnedFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    AMB_SKIP_ON_WINDOWS("the cross build lays out no airport data when it cannot run its generator");
    loadDataBase();
    m_cwd.emplace(m_dir.path());
    m_env.emplace("AMBT_SERVER_URL", gf_fileUrl(fs::path(AMB_BINARY_DIR) / "app" / "server", true));
    fs::create_directories(m_dir / "input");
    fs::copy_file(fs::path(AMB_BINARY_DIR) / "app" / "input" / "airports_p3d.xml", m_dir / "input/airports_p3d.xml");
    gf_startLog();
    gf_resetAirportList();
    m_days = std::make_unique<enginesim::ParkingDays>(at(kMonday));
  }
  void TearDown() override {
    m_days.reset();
    gf_resetAirportList();
    gf_resetDownloads();
    g_mainWindow.reset();
    gf_clearMessage();
    gf_closeLog("end");
    m_env.reset();
    m_cwd.reset();
  }
  fs::path learnedFile() const { return m_dir / "airports" / "learned" / "stock" / "KJFK.xml"; }
  std::size_t logCount(const std::string& text) const {
    const auto lines = test::readLines(m_dir / "Log.txt");
    return static_cast<std::size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; }));
  }

  test::TempDir m_dir{"amb-learnedgen"};
  std::optional<test::ScopedCwd> m_cwd;
  std::optional<test::ScopedEnv> m_env;
  std::unique_ptr<enginesim::ParkingDays> m_days;
};

TEST_F(DemoLearnedFileTest, AtAnyHourTheFirstTwoMinutesOfTheRecordingParkHalfTheWantedAircraft) {
  const std::vector<Turn> week = learnedgen::learnWeek(*m_days, at(kMonday), {40.6413, -73.7781}, "KJFK", groundnet(),
                                                       recording(), library(), kSeed);
  ASSERT_TRUE(fs::exists(learnedFile()));

  // The file holds every turn: its stand has an option of the aircraft on the weekday it began.
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(learnedFile().c_str()));
  std::set<std::tuple<std::string, std::string, std::uint32_t>> options;
  for (pugi::xml_node p : doc.child("parkpositions").children("parkpos"))
    for (pugi::xml_node o : p.children("opt"))
      options.insert({p.attribute("id").as_string(), o.attribute("reg").as_string(), o.attribute("day").as_uint()});
  // (The program numbers the stands of the airport file from 1 in its order.)
  pugi::xml_document archive;
  ASSERT_TRUE(archive.load_file((fs::path(AMB_BINARY_DIR) / "app/server/P3D/archive/stock/KJFK.xml").c_str()));
  std::vector<std::string> names;
  for (pugi::xml_node p : archive.child("parkpositions").children("parkpos"))
    names.push_back(p.attribute("id").as_string());
  std::size_t missing = 0;
  for (const Turn& t : week) {
    const auto day = static_cast<std::uint32_t>((t.first % kWeekHalfHours) / 48 + 1);
    if (options.count({names.at(t.standId - 1), t.registration, day}) == 0) ++missing;
  }
  EXPECT_EQ(missing, 0u);
  const std::string pristine = test::readFile(learnedFile());

  // Visits at three hours of the week, each with the recording replaying from the start: Sunday just
  // before midnight, Wednesday night and Friday afternoon (UTC).
  for (const long long start : {kMonday + 6 * 86400 + 23 * 3600 + 50 * 60, kMonday + 2 * 86400 + 4 * 3600 + 10 * 60,
                                kMonday + 4 * 86400 + 15 * 3600 + 20 * 60}) {
    test::writeFile(learnedFile(), pristine);
    const std::size_t before = logCount(" makes way for") + logCount("removed for collision avoidance with live");
    m_days->arrive(at(start));
    m_days->replay(recording());
    m_days->run(2min);
    EXPECT_EQ(g_maxParkCount, 69);
    const auto parked = std::count_if(g_parkedActs.begin(), g_parkedActs.end(),
                                      [](const Act& a) { return a.state == ActState::InSim; });
    EXPECT_GE(parked * 2, g_maxParkCount) << "from " << start;
    // In the next four minutes live aircraft come to stands where static ones stand, and those make
    // way.
    m_days->run(4min);
    EXPECT_GE(logCount(" makes way for") + logCount("removed for collision avoidance with live"), before + 1)
        << "from " << start;
    ASSERT_TRUE(m_days->leave());
  }
}

// The whole recording at four hours of the week, with the shell's renewal after 20 minutes and two
// more (a setting changed) while live aircraft stand at stands: no static aircraft stays on its stand
// longer than a make-way takes (5 s) while a live aircraft on the ground stands within its radius.
TEST_F(DemoLearnedFileTest, NoStaticAircraftStaysOnAStandWhereALiveOneStands) {
  learnedgen::learnWeek(*m_days, at(kMonday), {40.6413, -73.7781}, "KJFK", groundnet(), recording(), library(), kSeed);
  for (const long long start : {kMonday + 86400 + 21 * 3600 + 28 * 60, kMonday + 4 * 86400 + 15 * 3600 + 20 * 60,
                                kMonday + 6 * 86400 + 23 * 3600 + 50 * 60, kMonday + 2 * 86400 + 4 * 3600 + 10 * 60}) {
    m_days->arrive(at(start));
    ASSERT_TRUE(m_days->runUntil([] { return !g_stands.empty(); }, 30s));
    std::vector<standpairs::StandCircle> stands;
    for (const Stand& s : g_stands) stands.push_back({s.name, s.lat, s.lon, s.radiusNm * 1852.0});
    standpairs::Watch watch(stands, 5);
    m_days->replay(recording());
    for (int second = 0; !m_days->engine().allLinesSent() || second % 60 != 0; ++second) {
      m_days->run(1s);
      std::vector<standpairs::Seen> now;  // on the ground: within 0.5 ft of the fake field (13 ft) and CG (10 ft)
      for (const auto& [id, o] : m_days->sim().objects)
        if (o.removedCycle < 0)
          now.push_back({id, o.callsign, o.position.latitude, o.position.longitude, o.position.altitude <= 23.5});
      watch.observe(second, now);
      if (second == 180 || second == 420) m_days->requestRenewal();
    }
    for (const standpairs::Pair& p : watch.pairs())
      ADD_FAILURE() << "from " << start << ": " << p.stand << " " << p.staticCallsign << " with live " << p.liveCallsign
                    << " from " << p.from << " s to " << p.to << " s";
    ASSERT_TRUE(m_days->leave());
  }
}

}  // namespace
}  // namespace amb
