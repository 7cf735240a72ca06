// The scenery reader on one large airport: 2,000 parking spots and 50 helipads (target: under 5 ms).

#include "bglgen/bglgen.hpp"
#include "scan/bgl.hpp"
#include "state/scan_log.hpp"

#include <benchmark/benchmark.h>

#include <cmath>

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

}  // namespace

BENCHMARK_MAIN();
