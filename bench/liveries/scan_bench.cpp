// The livery scan over a generated tree of AI packages: 2,000 aircraft.cfg files of 25 liveries each
// (50,000 liveries) with the model and texture folders and flight-model files they name. Reports
// liveries per second for 1 and 4 jobs (warm file cache: the tree is walked once before timing).

#include "core/files.hpp"
#include "core/jobs.hpp"
#include "liveries/folder_search.hpp"
#include "liveries/scan_run.hpp"
#include "liveries/store.hpp"
#include "refdata/database.hpp"

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace amb;

namespace {

constexpr int kFiles = 2000;
constexpr int kSections = 25;

const fs::path& tree() {
  static const fs::path root = [] {
    const fs::path dir = fs::temp_directory_path() / "amb-livery-scan-bench";
    fs::remove_all(dir);
    for (int f = 0; f < kFiles; ++f) {
      const std::string type = fmt::format("T{:03}", f % 100);
      const fs::path folder = dir / fmt::format("pkg{:02}", f / 100) / fmt::format("aircraft{:04}", f);
      fs::create_directories(folder / "model");
      std::ofstream(folder / (type + ".air")) << "";
      std::string cfg;
      for (int s = 0; s < kSections; ++s) {
        const std::string airline = fmt::format("A{:02}", (f * kSections + s) % 300 % 100);
        fs::create_directories(folder / ("texture." + airline + std::to_string(s)));
        cfg += fmt::format(
            "[fltsim.{}]\ntitle=Bench {} {} {} {}\nsim={}\nmodel=\ntexture={}{}\natc_parking_codes={}\n"
            "atc_parking_types=GATE\natc_id=N{}B{}\nui_variation=Bench livery {}\ndescription=generated\n\n",
            s, type, airline, f, s, type, airline, s, airline, f, s, s);
      }
      cfg += "[General]\natc_type=BENCH\natc_model=" + type + "\n";
      std::ofstream(folder / "aircraft.cfg") << cfg;
    }
    for (int t = 0; t < 100; ++t) g_validModels.insert(fmt::format("T{:03}", t));
    for (int a = 0; a < 100; ++a) g_icaoAirlines.insert(fmt::format("A{:02}", a));
    return dir;
  }();
  return root;
}

void BM_ScanTree(benchmark::State& state) {
  const fs::path& root = tree();
  gf_setJobLimit(state.range(0));
  std::size_t liveries = 0;
  for (auto _ : state) {
    gf_resetLiveryScan();
    lf_searchLiveriesInFolder(1, root);
    liveries = g_liveryList.size();
  }
  state.counters["liveries"] = static_cast<double>(liveries);
  state.counters["liveries/s"] =
      benchmark::Counter(static_cast<double>(liveries) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ScanTree)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
