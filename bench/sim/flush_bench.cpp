// One simulator frame of the "SimClient" thread with 500 live aircraft: the engine appends 500
// position blocks and hands them over, the flush sends them (500 SetDataOnSimObject packets of 100
// bytes). Timed until the last byte has reached the server, over TCP and over the pipe. Also
// reported: how long the flush itself holds the SimClient thread and the command lock.

#include "bench/support/frame_sink.hpp"
#include "sim/link.hpp"

#include <chrono>

namespace {

using namespace amb::bench;

void frameOf500Positions(benchmark::State& state, bool pipe) {
  amb::gf_resetSimLink(5);
  amb::gf_resetSimQueues(5);
  FrameRun run(state, pipe);
  if (!run.handle()) return;
  amb::g_hSimConnect = run.handle();
  amb::g_userObjectId = 1;
  amb::g_simFrameRate = 60.0f;

  amb::PosUpdate update;
  update.block = {40.6413, -73.7781, 0.01, 0.0, 1.2, 13, 0, 0};
  double flushSeconds = 0;
  for (auto _ : state) {
    // The engine's side of one cycle.
    for (int i = 0; i < kBlocksPerFrame; ++i) {
      update.block.latitude += 1e-7;
      update.objectId = static_cast<std::uint32_t>(3 + i);
      amb::gf_updateAircraft(update);
    }
    amb::gf_handOverPositions();
    // The SimClient thread's side of one frame.
    const auto start = std::chrono::steady_clock::now();
    amb::lf_flushSimCommands();
    flushSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.waitForFrame();
  }
  run.report("flush_us_per_frame", flushSeconds);
  amb::g_hSimConnect = nullptr;
  amb::gf_resetSimLink(5);
}

void BM_SimClientFlushOf500PositionsTcp(benchmark::State& state) { frameOf500Positions(state, false); }
void BM_SimClientFlushOf500PositionsPipe(benchmark::State& state) { frameOf500Positions(state, true); }

BENCHMARK(BM_SimClientFlushOf500PositionsTcp)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SimClientFlushOf500PositionsPipe)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
