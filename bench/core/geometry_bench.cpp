// The great-circle helpers run for every live aircraft on every engine cycle.

#include "core/geometry.hpp"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using amb::LatLon;

std::vector<LatLon> positions(std::size_t n) {
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> lat(-80, 80), lon(-180, 180);
  std::vector<LatLon> out(n);
  for (auto& p : out) p = {lat(rng), lon(rng)};
  return out;
}

void BM_distanceNm(benchmark::State& state) {
  const auto pts = positions(1024);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(amb::gf_distanceNm(pts[i & 1023], pts[(i + 1) & 1023]));
    ++i;
  }
}
BENCHMARK(BM_distanceNm);

void BM_bearingRad(benchmark::State& state) {
  const auto pts = positions(1024);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(amb::gf_bearingRad(pts[i & 1023], pts[(i + 1) & 1023]));
    ++i;
  }
}
BENCHMARK(BM_bearingRad);

void BM_destinationPoint(benchmark::State& state) {
  const auto pts = positions(1024);
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(amb::gf_destinationPoint(pts[i & 1023], 0.001 * static_cast<double>(i & 4095), 1500.0));
    ++i;
  }
}
BENCHMARK(BM_destinationPoint);

void BM_angleDiff(benchmark::State& state) {
  double a = 0.1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(amb::gf_angleDiff(a, 6.2));
    a = a < 6.0 ? a + 0.001 : 0.1;
  }
}
BENCHMARK(BM_angleDiff);

}  // namespace

BENCHMARK_MAIN();
