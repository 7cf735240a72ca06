// The bounded traffic queue: up to three seconds of the engine's work (600 records at two per 10 ms
// cycle) every record is kept in arrival order; beyond that an aircraft's newer record takes the
// place of its queued ones; beyond 20,000 records the oldest go, with one log line a minute at most.
// And a feed far faster than the engine, through the reader's own checks, with the engine's take of
// two records per cycle.

#include "core/clock.hpp"
#include "feed_fixture.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <fmt/format.h>

#include <map>
#include <utility>

namespace amb {
namespace {

using test::FeedTest;
using Taken = std::vector<std::pair<std::uint32_t, double>>;  // hexid, timestamp

constexpr std::uint32_t kFirst = 20000;

TrafficRecord record(std::uint32_t hexid, double timestamp) {
  TrafficRecord r;
  r.hexid = hexid;
  r.timestamp = timestamp;
  r.identity.callsign = fmt::format("T{}", hexid);
  return r;
}

Taken drain(TrafficQueue& q) {
  Taken out;
  for (; !q.empty(); q.pop_front()) out.emplace_back(q.front().hexid, q.front().timestamp);
  return out;
}

// 300 aircraft with two records each, at 1 and 2 s: 600 records, three seconds of work.
void fillThreeSeconds(TrafficQueue& q, Taken& expected) {
  for (double t : {1.0, 2.0})
    for (std::uint32_t a = 0; a < 300; ++a) {
      q.push_back(record(kFirst + a, t));
      expected.emplace_back(kFirst + a, t);
    }
}

TEST(TrafficQueue, UpToThreeSecondsOfWorkEveryRecordIsKeptInArrivalOrder) {
  TrafficQueue q;
  Taken expected;
  fillThreeSeconds(q, expected);
  EXPECT_EQ(q.size(), 600u);
  EXPECT_EQ(q.back().hexid, kFirst + 299);
  EXPECT_EQ(drain(q), expected);
  EXPECT_EQ(q.superseded(), 0u);
  EXPECT_EQ(q.dropped(), 0u);
}

TEST(TrafficQueue, BeyondThreeSecondsAnAircraftsNewRecordTakesThePlaceOfItsQueuedOnes) {
  TrafficQueue q;
  Taken filled;
  fillThreeSeconds(q, filled);
  // The last aircraft's records stand at place 300 and at the back: the new one takes place 300,
  // and the back is the record before.
  q.push_back(record(kFirst + 299, 3));
  EXPECT_EQ(q.size(), 599u);
  EXPECT_EQ(q.back().hexid, kFirst + 298);
  // Below the bound again: a record of a queued aircraft is appended.
  q.push_back(record(kFirst + 7, 3));
  EXPECT_EQ(q.size(), 600u);
  // At the bound a new aircraft is appended, a queued one keeps one place, its first.
  q.push_back(record(90001, 3));
  q.push_back(record(kFirst + 5, 3));
  q.push_back(record(kFirst + 5, 4));
  q.push_back(record(kFirst + 7, 4));
  EXPECT_EQ(q.size(), 598u);

  Taken expected;
  for (std::uint32_t a = 0; a < 300; ++a) expected.emplace_back(kFirst + a, a == 5 || a == 7 ? 4 : a == 299 ? 3 : 1);
  for (std::uint32_t a = 0; a < 299; ++a)
    if (a != 5 && a != 7) expected.emplace_back(kFirst + a, 2);
  expected.emplace_back(90001, 3);
  EXPECT_EQ(drain(q), expected);
  // Aircraft 299: its two records; 5: two, then its record of 3 s; 7: three.
  EXPECT_EQ(q.superseded(), 2u + 2u + 1u + 3u);
  EXPECT_EQ(q.slots(), 0u);
  // Emptied, it starts again with every record kept.
  q.push_back(record(kFirst, 5));
  q.push_back(record(kFirst, 6));
  EXPECT_EQ(drain(q), (Taken{{kFirst, 5}, {kFirst, 6}}));
}

class FastFeed : public FeedTest {
protected:
  void SetUp() override {
    FeedTest::SetUp();
    g_trafficReader.setUserPosition(kCentreLat, kCentreLon);
    openQueue(true);
  }
  LineResult queue(std::uint32_t aircraft, double seconds) {
    m_line = tools::TrafficDouble::generatedLine(aircraft, seconds, kStart + seconds, kCentreLat, kCentreLon);
    gf_splitTrafficLine(g_trafficReader, m_line);
    return processLineFor(g_trafficReader);
  }
  // The engine's take of one cycle: two records from the front.
  void takeTwo(double now, std::map<std::uint32_t, double>& lastTaken, double& longestGap) {
    std::lock_guard lock(g_trafficQueueMutex);
    for (int n = 0; n < 2 && !g_trafficQueue.empty(); ++n, g_trafficQueue.pop_front()) {
      const TrafficRecord& r = g_trafficQueue.front();
      const auto [at, first] = lastTaken.try_emplace(r.hexid, now);
      if (!first) longestGap = std::max(longestGap, now - at->second);
      at->second = now;
      // Per aircraft the records come in the order they were sent.
      EXPECT_LT(m_lastStamp[r.hexid], r.timestamp);
      m_lastStamp[r.hexid] = r.timestamp;
    }
  }

  static constexpr double kCentreLat = 40.6413;
  static constexpr double kCentreLon = -73.7781;
  static constexpr double kStart = 1'700'000'000;
  std::string m_line;  // the field views point into it
  std::map<std::uint32_t, double> m_lastStamp;
};

// One record per aircraft per second, the lines of a second spread over it, 100 engine cycles a
// second. With n aircraft each holds at most one place in a line of n, which the engine works
// through at 200 records a second: every aircraft is taken every n/200 seconds.
TEST_F(FastFeed, AThousandAndThreeThousandRecordsASecondStayInBoundsAndEveryAircraftIsTakenInTurn) {
  for (const auto& [aircraft, seconds] : {std::pair{1000u, 60}, std::pair{3000u, 30}}) {
    SCOPED_TRACE(fmt::format("{} aircraft", aircraft));
    gf_resetTrafficQueue();
    g_trafficReader.feedClock.reset();
    m_lastStamp.clear();
    std::map<std::uint32_t, double> lastTaken;
    double longestGap = 0;
    std::size_t longest = 0, mostSlots = 0;
    std::uint64_t sent = 0;
    for (int cycle = 1; cycle <= seconds * 100; ++cycle) {
      const double now = cycle / 100.0;
      for (; static_cast<double>(sent) < now * aircraft; ++sent) {
        const auto a = static_cast<std::uint32_t>(sent % aircraft);
        ASSERT_EQ(queue(a, static_cast<double>(sent / aircraft) + static_cast<double>(a) / aircraft),
                  LineResult::Queued);
      }
      takeTwo(now, lastTaken, longestGap);
      std::lock_guard lock(g_trafficQueueMutex);
      longest = std::max(longest, g_trafficQueue.size());
      mostSlots = std::max(mostSlots, g_trafficQueue.slots());
    }
    EXPECT_EQ(lastTaken.size(), aircraft);
    EXPECT_LE(longest, aircraft);
    EXPECT_LE(mostSlots, aircraft);
    // Its place in the line, plus up to a second until its next record comes.
    EXPECT_LE(longestGap, aircraft / 200.0 + 1.0 + 0.05);
    std::lock_guard lock(g_trafficQueueMutex);
    EXPECT_EQ(g_trafficQueue.dropped(), 0u);
  }
  EXPECT_FALSE(logContains("Traffic queue full"));
}

// More aircraft than the cap: the oldest records go, and the log counts them at most once a minute.
TEST_F(FastFeed, BeyondTwentyThousandRecordsTheOldestGoWithOneLogLineAMinute) {
  clock::ManualClock clk(static_cast<long long>(kStart));
  const auto line = [](const char* count) {
    return fmt::format("===> Traffic queue full (20000 records): {} dropped", count);
  };
  for (std::uint32_t a = 0; a <= 20000; ++a) ASSERT_EQ(queue(a, 0), LineResult::Queued);
  EXPECT_EQ(queueSize(), 20000u);
  EXPECT_TRUE(logHas(line("1 oldest record")));
  for (std::uint32_t a = 20001; a < 20250; ++a) queue(a, 0);
  clk.advance(std::chrono::seconds(59));
  queue(20250, 0);
  EXPECT_EQ(queueSize(), 20000u);
  {
    std::lock_guard lock(g_trafficQueueMutex);
    EXPECT_EQ(g_trafficQueue.front().hexid, 10000000u + 251);
    EXPECT_EQ(g_trafficQueue.back().hexid, 10000000u + 20250);
  }
  clk.advance(std::chrono::seconds(1));
  queue(20251, 0);
  EXPECT_TRUE(logHas(line("251 oldest records")));
  // Drops not logged yet are logged when the queue is emptied at a restart.
  queue(20252, 0);
  gf_resetTrafficQueue();
  EXPECT_TRUE(logHas(line("1 oldest record")));
  EXPECT_EQ(std::ranges::count_if(logLines(), [](const std::string& l) { return l.starts_with("===> Traffic queue"); }),
            3);
}

}  // namespace
}  // namespace amb
