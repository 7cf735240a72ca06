// The scenery reader on one large airport: 2,000 parking spots and 50 helipads (target: under 5 ms);
// and the whole add-on airports scan of a generated scenery tree of 5,000 files, 250 of them with an
// airport, with 8 jobs on a warm cache (target: under 10 s), with the time spent holding the link
// step's lock.

#include "bglgen/bglgen.hpp"
#include "core/files.hpp"
#include "core/jobs.hpp"
#include "core/startup.hpp"
#include "refdata/database.hpp"
#include "refdata/queries.hpp"
#include "scan/airport_files.hpp"
#include "scan/bgl.hpp"
#include "scan/scan.hpp"
#include "state/scan_log.hpp"
#include "scan/services.hpp"

#include <benchmark/benchmark.h>

#include <fmt/format.h>

#include <cmath>
#include <unistd.h>
#include <filesystem>

namespace {

using namespace amb;

std::vector<std::uint8_t> largeAirport() {
  bglgen::Airport a;
  a.ident = "EGLL";
  a.names = {"London Heathrow"};
  for (int h = 0; h < 50; ++h) a.helipads.push_back({51.46 + h * 1e-4, -0.49, 20, static_cast<float>(h * 7)});
  for (int k = 0; k < 2000; ++k) {
    bglgen::Parking p;
    p.nameCode = static_cast<std::uint8_t>(12 + k % 26);  // gates A.. Z
    p.number = static_cast<std::uint16_t>(k / 26 + 1);
    p.type = static_cast<std::uint8_t>(1 + k % 10);
    p.radiusM = 10.0f + static_cast<float>(k % 40);
    p.headingDeg = static_cast<float>(k % 360);
    p.latitude = 51.47 + (k % 50) * 1e-4;
    p.longitude = -0.45 + (k / 50) * 1e-4;
    if (k % 3 == 0) p.airlines = {"BAW", "EZY"};
    a.parkings.push_back(p);
  }
  return bglgen::build(a);
}

struct Count : BglAirportHandler {
  std::size_t stands = 0;
  void airportFound(const std::string&) override {}
  void airportDecoded(BglAirport& airport) override { stands += airport.stands.size(); }
};

void BM_DecodeLargeAirport(benchmark::State& state) {
  const std::vector<std::uint8_t> bytes = largeAirport();
  std::size_t stands = 0;
  for (auto _ : state) {
    Count c;
    gf_decodeBgl(bytes, "EGLL.bgl", c);
    stands = c.stands;
    benchmark::DoNotOptimize(stands);
  }
  gf_takeScanLogLines();
  state.counters["stands"] = static_cast<double>(stands);
  state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_DecodeLargeAirport)->Unit(benchmark::kMillisecond);

namespace fs = std::filesystem;

std::string identOf(int n) {
  std::string s = "K000";
  for (int i = 3; i >= 1; --i, n /= 36) s[static_cast<std::size_t>(i)] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"[n % 36];
  return s;
}

// The tree: 50 folders of 100 files; every 20th file holds an airport of 200 stands, named after
// one of 300 publishers (a third of them with an archived entry); the others hold terrain only.
struct Tree {
  fs::path root = fs::temp_directory_path() / fmt::format("amb-scanbench-{}", ::getpid());
  Tree() {
    fs::remove_all(root);
    bglgen::File terrain;
    terrain.sections[0].type = 0x2B;
    const std::vector<std::uint8_t> terrainBytes = bglgen::build(terrain);
    int airports = 0;
    for (int f = 0; f < 5000; ++f) {
      const fs::path folder = root / "scenery" / fmt::format("pack{:02}", f / 100) / "scenery";
      if (f % 20 != 0) {
        bglgen::write(folder / fmt::format("terrain{:04}.bgl", f), terrainBytes);
        continue;
      }
      bglgen::Airport a;
      a.ident = identOf(airports);
      a.names = {"Bench field " + a.ident};
      for (int k = 0; k < 200; ++k) {
        bglgen::Parking p;
        p.nameCode = static_cast<std::uint8_t>(12 + k % 26);
        p.number = static_cast<std::uint16_t>(k / 26 + 1);
        p.latitude = 40 + (k % 20) * 1e-4;
        p.longitude = -3 + (k / 20) * 1e-4;
        a.parkings.push_back(p);
      }
      const int publisher = airports % 300;
      bglgen::write(folder / fmt::format("PUB{:03}_{}.bgl", publisher, a.ident), bglgen::build(a));
      ++airports;
    }
    g_publishers.clear();
    g_thirdParties.clear();
    for (int p = 0; p < 300; ++p) {
      const std::string name = fmt::format("Publisher {:03}", p);
      g_publishers.push_back({name, fmt::format("PUB{:03}_", p)});
      ThirdPartyData party{name, {}};
      for (int n = p; n < 250; n += 300)
        if (n % 3 == 0) party.airports.push_back(identOf(n) + "150");
      g_thirdParties.push_back(std::move(party));
    }
    gf_compilePublisherPatterns();
  }
  ~Tree() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

void BM_ScanTree(benchmark::State& state) {
  static Tree tree;
  const fs::path work = tree.root / "work";
  fs::create_directories(work);
  const fs::path old = fs::current_path();
  fs::current_path(work);
  gf_setScanHooks({[] { return std::string("5"); }, [] { return fs::path("/nonexistent/Scenery"); },
                   [](const std::string&) { return false; }, [] {}});
  gf_setJobLimit(8);
  const std::vector<std::string> folders{gf_pathText(tree.root / "scenery")};
  double lockMs = 0;
  std::size_t generated = 0;
  for (auto _ : state) {
    state.PauseTiming();
    fs::remove_all(work / "airports");
    fs::create_directories(g_myOrbxFolder);
    fs::create_directories(g_myThirdpartyFolder);
    gf_resetAirportFiles();
    state.ResumeTiming();
    lf_scanAirportFolders(folders);
    lockMs = std::chrono::duration<double, std::milli>(gf_linkLockTime()).count();
    generated = static_cast<std::size_t>(std::distance(fs::directory_iterator(g_myThirdpartyFolder), fs::directory_iterator{}));
  }
  fs::current_path(old);
  state.counters["link_lock_ms"] = lockMs;
  state.counters["files_in_my_thirdparty"] = static_cast<double>(generated);
}
BENCHMARK(BM_ScanTree)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
