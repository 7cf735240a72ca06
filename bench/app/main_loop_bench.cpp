// The main loop's 10 ms grid with an idle engine: the simulation runs, a user-aircraft report
// arrives once a second (as the simulator's on-ground answers do), and the tick runs the report step
// and the periodic steps against an engine without aircraft. Prints the median, the 99th percentile
// and the longest of the periods between two ticks.
//
//   main_loop_bench [seconds]      (default 60)

#include "app/main_loop.hpp"
#include "sim/services.hpp"
#include "state/run_state.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  if (argc > 1) {
    char* end = nullptr;
    seconds = std::strtod(argv[1], &end);
    if (end == argv[1] || *end != '\0' || seconds <= 0) {
      fmt::print(stderr, "usage: {} [seconds]\n", argv[0]);
      return 2;
    }
  }

  amb::g_simRunning = 1;
  std::atomic<bool> done{false};
  // One report a second, as the simulator sends them.
  std::thread reports([&] {
    auto next = Clock::now();
    while (!done) {
      next += std::chrono::seconds(1);
      while (!done && Clock::now() < next) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      amb::g_newUserData = 1;
    }
  });

  std::vector<Clock::time_point> ticks;
  ticks.reserve(static_cast<std::size_t>(seconds * 100) + 1000);
  const auto stop = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  amb::lf_runTickGrid([&] {
    ticks.push_back(Clock::now());
    amb::lf_workAMBT();
    return ticks.back() < stop;
  });
  done = true;
  reports.join();

  std::vector<double> periods;
  for (std::size_t i = 1; i < ticks.size(); ++i) periods.push_back(millis(ticks[i] - ticks[i - 1]));
  if (periods.empty()) return 1;
  std::sort(periods.begin(), periods.end());
  auto at = [&](double q) { return periods[std::min(periods.size() - 1, static_cast<std::size_t>(q * periods.size()))]; };
  fmt::print("main loop over {:.0f} s: {} ticks, {} reports\n", seconds, ticks.size(),
             amb::g_reportCount.load());
  fmt::print("tick period: median {:.3f} ms, 99th percentile {:.3f} ms, longest {:.3f} ms\n", at(0.5), at(0.99),
             periods.back());
  return 0;
}
