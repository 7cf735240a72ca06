// Days at JFK in virtual time through the program's own tick: the recorded arrivals teach the stands
// by weekday and half hour, the learned file is written when the user flies away, and the next
// visit's static parking shows what was learned; renewals follow the live traffic.

#include "airports/park_airport.hpp"
#include "airports/services.hpp"
#include "airports/static_parking.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "enginesim/parking_days.hpp"
#include "feed/readers.hpp"
#include "refdata/download.hpp"
#include "settings/options.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"
#include "support/test_support.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <map>
#include <set>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

namespace amb {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using enginesim::ParkingDays;
using enginesim::RecordedLine;

// The recording starts on Tuesday 5 March 2019 at 21:28:52 UTC (half hour 42) and lasts 21 minutes.
constexpr long long kRecordingStart = 1551821332;
constexpr long long kDay = 86400;

clock::SystemTime at(long long unixSeconds) { return clock::SystemTime(std::chrono::seconds(unixSeconds)); }

const std::vector<RecordedLine>& recording() {
  static const std::vector<RecordedLine> lines =
      enginesim::readRecording(test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
  return lines;
}

// A learned option as the file holds it.
struct LearnedOption {
  std::string stand, reg, cs;
  std::uint32_t day = 0;
  std::uint64_t hh = 0;
  bool soft = false;
};

class ParkingDaysTest : public ::testing::Test {
protected:
  void SetUp() override {
    AMB_SKIP_ON_WINDOWS("the cross build lays out no airport data when it cannot run its generator");
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                            test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    m_cwd.emplace(m_dir.path());
    m_env.emplace("AMBT_SERVER_URL", gf_fileUrl(fs::path(AMB_BINARY_DIR) / "app" / "server", true));
    fs::create_directories(m_dir / "input");
    fs::create_directories(m_dir / "airports");
    fs::copy_file(fs::path(AMB_BINARY_DIR) / "app" / "input" / "airports_p3d.xml", m_dir / "input/airports_p3d.xml");
    gf_startLog();
    gf_resetAirportList();
    m_days = std::make_unique<ParkingDays>(at(kRecordingStart));
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

  // A visit from `start`: the recording replays from its first line and the program runs until a
  // minute after its last; the live aircraft standing at their stands meanwhile (sampled once a
  // second), as {stand, registration}.
  std::set<std::pair<std::string, std::string>> visitWithTraffic(long long start) {
    m_days->arrive(at(start));
    m_days->replay(recording());
    std::set<std::pair<std::string, std::string>> seen;
    const auto stop = m_days->engine().lastLineCycle() + 6000;
    while (m_days->engine().cycle() < stop) {
      m_days->run(1s);
      for (const LiveAc& ac : g_liveAcs) {
        // At its stand, or created there.
        const bool standing = ac.phase == GroundPhase::AtStand ||
                              ((ac.state == ActState::New || ac.state == ActState::Creating) && ac.phase != GroundPhase::ToStand);
        if (standing && ac.standId != 0 && !ac.registration.empty()) seen.insert({gf_standName(ac.standId), ac.registration});
      }
    }
    return seen;
  }
  fs::path learnedFile() const { return m_dir / "airports" / "learned" / "stock" / "KJFK.xml"; }
  std::vector<LearnedOption> learned() const {
    std::vector<LearnedOption> out;
    pugi::xml_document doc;
    if (!doc.load_file(learnedFile().c_str())) return out;
    for (pugi::xml_node p : doc.child("parkpositions").children("parkpos"))
      for (pugi::xml_node o : p.children("opt"))
        out.push_back({p.attribute("id").as_string(), o.attribute("reg").as_string(), o.attribute("cs").as_string(),
                       o.attribute("day").as_uint(), gf_hours2bitset(o.attribute("hh").as_string()),
                       o.attribute("soft").as_bool()});
    return out;
  }
  // The parked acts in the simulator or on their way there, as "stand:callsign".
  static std::set<std::string> parkedStatic() {
    std::set<std::string> out;
    for (const Act& a : g_parkedActs)
      if (a.state == ActState::InSim || a.state == ActState::Creating) out.insert(gf_standName(a.standId) + ":" + a.callsign);
    return out;
  }
  bool logHas(const std::string& text) const {
    const auto lines = test::readLines(m_dir / "Log.txt");
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(text) != std::string::npos; });
  }

  test::TempDir m_dir{"amb-parking-days"};
  std::optional<test::ScopedCwd> m_cwd;
  std::optional<test::ScopedEnv> m_env;
  std::unique_ptr<ParkingDays> m_days;
};


constexpr std::uint64_t kHalfHours42And43 = (std::uint64_t{1} << 42) | (std::uint64_t{1} << 43);

// Every learned option of the day lies in the half hours of the traffic, and every aircraft seen
// standing at its stand taught that stand (a soft option of the same aircraft and half hour learned
// there first stands for the real one).
void expectLearnedDay(const std::vector<LearnedOption>& options, std::uint32_t day,
                      const std::set<std::pair<std::string, std::string>>& seen) {
  std::set<std::pair<std::string, std::string>> taught;
  std::size_t ofDay = 0;
  for (const LearnedOption& o : options) {
    if (o.day != day) continue;
    ++ofDay;
    EXPECT_NE(o.hh, 0u) << o.stand;
    EXPECT_EQ(o.hh & ~kHalfHours42And43, 0u) << o.stand << " " << gf_bitset2hours(o.hh);
    taught.insert({o.stand, o.reg});
  }
  EXPECT_GE(ofDay, 20u);
  EXPECT_GE(seen.size(), 10u);
  for (const auto& s : seen) EXPECT_TRUE(taught.count(s)) << s.first << " " << s.second << " stood there, not learned";
}

std::set<std::string> callsignsOf(const std::vector<LearnedOption>& options, const std::string& stand, std::uint32_t day) {
  std::set<std::string> out;
  for (const LearnedOption& o : options)
    if (o.stand == stand && o.day == day) out.insert(o.cs.substr(0, o.cs.find(':')));
  return out;
}

TEST_F(ParkingDaysTest, TwoDaysAtJfkTeachItsStandsAndTheNextVisitParksThem) {
  // Tuesday: the program picks JFK (the user stands there), learns from the arrivals and saves
  // what it learned when the user flies away.
  const auto tuesday = visitWithTraffic(kRecordingStart - 20);
  EXPECT_EQ(gf_parkAirportSnapshot().code, "KJFK");
  EXPECT_EQ(g_parkAirportLoaded.load(), 1);
  EXPECT_FALSE(fs::exists(learnedFile()));
  ASSERT_TRUE(m_days->leave());
  EXPECT_TRUE(logHas("KJFK (JFK) is out of sight (60.1 nm), parked aircraft will be removed"));
  EXPECT_TRUE(logHas("\"airports/learned/stock/KJFK.xml\" saved with "));
  const std::vector<LearnedOption> afterTuesday = learned();
  expectLearnedDay(afterTuesday, 2, tuesday);
  const std::string tuesdayFile = test::readFile(learnedFile());

  // Wednesday: the same traffic a day later teaches day 3; Tuesday's options are kept.
  const auto wednesday = visitWithTraffic(kRecordingStart + kDay - 20);
  EXPECT_GE(std::count_if(g_stands.begin(), g_stands.end(), [](const Stand& s) {
              return std::any_of(s.options.begin(), s.options.end(), [](const ParkPosOption& o) { return o.day == 2; });
            }),
            15);
#ifndef _WIN32
  // A crash while the learned file is written (the file-size limit kills the program in the write)
  // leaves Tuesday's file whole.
  const auto leaveWithAFileSizeLimit = [&] {
    gf_closeLog("crash");
    rlimit size{2048, 2048};
    setrlimit(RLIMIT_FSIZE, &size);
    rlimit core{0, 0};
    setrlimit(RLIMIT_CORE, &core);
    m_days->leave();
    std::_Exit(0);
  };
  EXPECT_EXIT(leaveWithAFileSizeLimit(), ::testing::KilledBySignal(SIGXFSZ), "");
  EXPECT_EQ(test::readFile(learnedFile()), tuesdayFile);
  EXPECT_TRUE(fs::exists(gf_atomicTempPath(learnedFile())));  // what the crash left: the half-written copy
  fs::remove(gf_atomicTempPath(learnedFile()));
#endif
  ASSERT_TRUE(m_days->leave());
  const std::vector<LearnedOption> afterWednesday = learned();
  expectLearnedDay(afterWednesday, 2, tuesday);
  expectLearnedDay(afterWednesday, 3, wednesday);

  // The next Tuesday at 21:40 (half hour 43), before any traffic: static parking shows Tuesday's
  // aircraft at the stands they used, each once, under their callsigns, none on overlapping stands.
  m_days->arrive(at(kRecordingStart + 7 * kDay + 668));
  ASSERT_TRUE(m_days->runUntil([] { return g_parkAirportLoaded != 0 && g_parkingLock == 0 && g_staticPlan.empty(); },
                               5min));
  m_days->run(5s);
  EXPECT_TRUE(logHas("It is day 2 (Tue), 22 hours"));
  const std::set<std::string> parked = parkedStatic();
  EXPECT_GE(parked.size(), 15u);
  EXPECT_LE(static_cast<std::int32_t>(parked.size()), g_maxParkCount);
  std::set<std::string> registrations;
  for (const Act& a : g_parkedActs) {
    const std::string stand = gf_standName(a.standId);
    const std::set<std::string> learnedHere = callsignsOf(afterWednesday, stand, 2);
    EXPECT_TRUE(learnedHere.count(a.callsign.substr(0, a.callsign.size() - 1)) || learnedHere.count(a.secondCallsign))
        << stand << " " << a.callsign;
    EXPECT_EQ(a.callsign.back(), '*');
    EXPECT_TRUE(registrations.insert(a.registration).second) << a.registration << " parked twice";
    EXPECT_FALSE(a.liveryTitle.empty());
    const Stand* s = &*gf_findStandByName(stand);
    for (const Act& b : g_parkedActs)
      EXPECT_EQ(std::count(s->overlapIds.begin(), s->overlapIds.end(), b.standId), 0) << stand << " next to "
                                                                                        << gf_standName(b.standId);
  }
  EXPECT_EQ(g_mainWindow.parkedStaticCount.load(), parked.size());

  // The user lowers the maximum: the renewal it asks for removes the aircraft parked earliest.
  CUSTOM_MAX_PARK.value = 8;
  const auto renew = [&] {
    m_days->requestRenewal();
    ASSERT_TRUE(m_days->runUntil([] { return g_renewalUnderWay != 0; }, 20s));
    ASSERT_TRUE(m_days->runUntil([] { return g_renewalUnderWay == 0; }, 20s));
  };
  renew();
  EXPECT_TRUE(logHas(fmt::format("Parking adjustments: {} to be removed, 0 to be added", parked.size() - 8)));
  m_days->run(30s);
  EXPECT_EQ(gf_countParkedAc(false), 8);

  // The traffic comes: aircraft parked statically turn up live and give way, and the maximum holds
  // for static and live aircraft at stands together.
  m_days->replay(recording());
  std::int32_t most = 0;
  for (int second = 0; second < 360; ++second) {
    m_days->run(1s);
    most = std::max(most, gf_countParkedAc(false) + gf_countLiveAtStands(false));
  }
  EXPECT_LE(most, 8);
  renew();
  for (const Act& a : g_parkedActs) {
    if (a.state != ActState::InSim) continue;
    EXPECT_EQ(g_liveCallsigns.count(a.secondCallsign), 0u) << a.callsign << " is live";
    EXPECT_EQ(g_liveCallsigns.count(a.coupledCallsign), 0u) << a.callsign << " is live";
  }
}

TEST_F(ParkingDaysTest, AircraftStandingOverMidnightTeachBothDays) {
  // Tuesday 23:49: the aircraft standing at stands when the traffic starts leave after midnight.
  m_days->arrive(at(kRecordingStart + 8048));  // 23:43:00
  m_days->replay(recording());
  m_days->run(std::chrono::seconds(1320));
  ASSERT_TRUE(m_days->leave());
  const std::vector<LearnedOption> options = learned();
  std::map<std::string, std::set<std::uint32_t>> daysOfReg;
  for (const LearnedOption& o : options) {
    if (o.day == 2)
      EXPECT_EQ(o.hh, std::uint64_t{1} << 47) << o.stand;
    else if (o.day == 3)
      EXPECT_EQ(o.hh, 1u) << o.stand;
    else
      ADD_FAILURE() << "day " << o.day;
    if (!o.soft) daysOfReg[o.stand + " " + o.reg].insert(o.day);
  }
  EXPECT_TRUE(std::any_of(daysOfReg.begin(), daysOfReg.end(), [](const auto& e) { return e.second.size() == 2; }));
}

TEST_F(ParkingDaysTest, TheParkAirportFollowsTheUserAndItsFileKeepsTheOtherLines) {
  test::writeFile(m_dir / "airports" / "my_park_airports.txt", "EGLL\nEDDF,A12\n");
  // The user stands on JFK's stand T5-03.
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file((fs::path(AMB_BINARY_DIR) / "app/server/P3D/archive/stock/KJFK.xml").c_str()));
  const pugi::xml_node stand = doc.child("parkpositions").find_child_by_attribute("parkpos", "id", "T5-03");
  ASSERT_TRUE(stand);
  m_days->arrive(at(kRecordingStart), {stand.attribute("latitude").as_double(), stand.attribute("longitude").as_double()});
  ASSERT_TRUE(m_days->runUntil([] { return g_parkAirportLoaded != 0; }, 1min));
  EXPECT_EQ(test::readLines(m_dir / "airports" / "my_park_airports.txt"),
            (std::vector<std::string>{"EDDF,A12", "EGLL", "KJFK,T5-03"}));
  EXPECT_EQ(gf_reservedStandName(), "T5-03");
  EXPECT_EQ(gf_findStandByName("T5-03")->reserved, 1);
  ASSERT_TRUE(m_days->leave());
  EXPECT_TRUE(gf_parkAirportSnapshot().code.empty());
  EXPECT_TRUE(g_stands.empty());
  EXPECT_EQ(test::readLines(m_dir / "airports" / "my_park_airports.txt"),
            (std::vector<std::string>{"EDDF,A12", "EGLL", "KJFK,T5-03"}));
}
}  // namespace
}  // namespace amb
