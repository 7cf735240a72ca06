// One aircraft.cfg whose sections all name texture folders that do not exist, in a package folder of
// many entries: each missing name is looked up without regard to case, which on Linux needs the
// folder's listing. Reports sections per second for 2,000 and 20,000 sections and entries.

#include "core/files.hpp"
#include "liveries/cfg_section.hpp"
#include "liveries/scan_run.hpp"
#include "refdata/database.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace amb;

namespace {

fs::path package(int n) {
  const fs::path dir = fs::temp_directory_path() / fmt::format("amb-missing-names-bench-{}", n);
  fs::remove_all(dir);
  fs::create_directories(dir / "model");
  std::ofstream(dir / "A320.air") << "";
  for (int i = 0; i < n; ++i) std::ofstream(dir / fmt::format("texture.Other{}", i)) << "";
  std::ofstream cfg(dir / "aircraft.cfg");
  cfg << "[General]\natc_model=A320\n";
  for (int i = 0; i < n; ++i)
    cfg << fmt::format("[fltsim.{}]\ntitle=Missing {}\natc_parking_codes=BAW\nsim=A320\nmodel=\ntexture=Gone{}\n", i, i, i);
  return dir / "aircraft.cfg";
}

void BM_MissingTextureFolders(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  const fs::path cfg = package(n);
  g_validModels = {"A320"};
  g_icaoAirlines = {"BAW"};
  for (auto _ : state) {
    gf_resetLiveryScan();
    benchmark::DoNotOptimize(lf_searchLiveriesinFile(1, cfg));
  }
  state.counters["sections/s"] = benchmark::Counter(static_cast<double>(n) * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
  fs::remove_all(cfg.parent_path());
}
BENCHMARK(BM_MissingTextureFolders)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
