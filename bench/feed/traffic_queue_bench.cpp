// The traffic queue under overload.
//
// The cost of one push on the reader's thread, with the queue below its supersede bound, with every
// aircraft superseding its queued record, and at the cap, where each push drops the oldest record.
// Target: every kind of push under 1 µs, whatever the queue's length.
//
// And a feed of one record per aircraft per second at 180, 300, 1,000 and 3,000 records a second,
// 200 seconds of it in virtual time through the reader's checks (processLine) and the engine's take of
// two records per 10 ms cycle. Reported: the longest queue (before the engine's take), its storage, the longest time
// between two records of one aircraft taken by the engine, and the growth of the process's resident memory from 60 s to
// 200 s. Targets: memory flat (growth under 1 MB), at 1,000 a second every aircraft taken at least every 10 s.

#include "feed/readers.hpp"
#include "feed/traffic_line.hpp"
#include "settings/settings.hpp"
#include "state/run_state.hpp"
#include "trafficdouble/traffic_double.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace amb;

constexpr double kCentreLat = 40.6413;
constexpr double kCentreLon = -73.7781;
constexpr double kStart = 1'700'000'000;

TrafficRecord record(std::uint32_t hexid) {
  TrafficRecord r;
  r.hexid = hexid;
  r.identity.callsign = "DAL1234";
  r.identity.model = "A321";
  r.identity.registration = "N355DN";
  return r;
}

// Below the bound: appended, and taken again by the engine.
void BM_PushBelowTheBound(benchmark::State& state) {
  TrafficQueue q;
  std::uint32_t hexid = 20000;
  for (auto _ : state) {
    q.push_back(record(hexid++));
    if (q.size() == 500) q.pop_front();
  }
  state.SetItemsProcessed(state.iterations());
}

// n aircraft queued, one record each, far beyond the bound: every push supersedes.
void BM_PushSuperseding(benchmark::State& state) {
  const auto n = static_cast<std::uint32_t>(state.range(0));
  TrafficQueue q;
  for (std::uint32_t a = 0; a < n; ++a) q.push_back(record(20000 + a));
  std::mt19937 random(7);
  for (auto _ : state) q.push_back(record(20000 + random() % n));
  state.SetItemsProcessed(state.iterations());
}

// At the cap: every push of a new aircraft drops the oldest record.
void BM_PushAtTheCap(benchmark::State& state) {
  TrafficQueue q;
  std::uint32_t hexid = 20000;
  for (; q.size() < TrafficQueue::kCap; ++hexid) q.push_back(record(hexid));
  for (auto _ : state) q.push_back(record(hexid++));
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_PushBelowTheBound);
BENCHMARK(BM_PushSuperseding)->Arg(1000)->Arg(3000)->Arg(19000);
BENCHMARK(BM_PushAtTheCap);

// The process's resident memory in bytes (Linux).
double residentBytes() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * 4096.0;
}

// 200 s of a feed of `aircraft` records a second, as the reader and the engine meet them.
void BM_FeedFor200Seconds(benchmark::State& state) {
  const auto aircraft = static_cast<std::uint32_t>(state.range(0));
  g_radiusNm = 40.0;
  g_trafficReader.setUserPosition(kCentreLat, kCentreLon);
  std::string line;
  for (auto _ : state) {
    {
      std::lock_guard lock(g_trafficQueueMutex);
      g_trafficQueue.clear();
      g_trafficQueueOpen = 1;
    }
    g_trafficReader.feedClock.reset();
    std::map<std::uint32_t, double> lastTaken;
    double longestGap = 0, at60 = 0;
    std::size_t longest = 0, slots = 0;
    std::uint64_t sent = 0;
    for (int cycle = 1; cycle <= 200 * 100; ++cycle) {
      const double now = cycle / 100.0;
      for (; static_cast<double>(sent) < now * aircraft; ++sent) {
        const auto a = static_cast<std::uint32_t>(sent % aircraft);
        const double at = static_cast<double>(sent / aircraft) + static_cast<double>(a) / aircraft;
        line = tools::TrafficDouble::generatedLine(a, at, kStart + at, kCentreLat, kCentreLon);
        gf_splitTrafficLine(g_trafficReader, line);
        processLine(g_trafficReader);
      }
      std::lock_guard lock(g_trafficQueueMutex);
      longest = std::max(longest, g_trafficQueue.size());
      slots = std::max(slots, g_trafficQueue.slots());
      for (int n = 0; n < 2 && !g_trafficQueue.empty(); ++n, g_trafficQueue.pop_front()) {
        const auto [it, first] = lastTaken.try_emplace(g_trafficQueue.front().hexid, now);
        if (!first) longestGap = std::max(longestGap, now - it->second);
        it->second = now;
      }
      g_engineCycle = cycle;
      if (cycle == 60 * 100) at60 = residentBytes();
    }
    state.counters["queue_max"] = static_cast<double>(longest);
    state.counters["slots_max"] = static_cast<double>(slots);
    state.counters["aircraft_taken"] = static_cast<double>(lastTaken.size());
    state.counters["gap_max_s"] = longestGap;
    state.counters["rss_growth_60_200_MB"] = (residentBytes() - at60) / 1e6;
  }
}

BENCHMARK(BM_FeedFor200Seconds)->Arg(180)->Arg(300)->Arg(1000)->Arg(3000)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
