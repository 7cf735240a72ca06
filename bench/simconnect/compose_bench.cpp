// Composing and flushing the position blocks of one simulator frame: 500 SetDataOnSimObject calls
// (100-byte packets), timed until the last byte has reached the server, over TCP and over the pipe.
// Also reported: how long the calls themselves hold the caller (the rest of a frame's time is the
// I/O thread's).

#include "bench/support/frame_sink.hpp"
#include "records/blocks.hpp"

#include <chrono>

namespace {

using namespace amb::bench;

void composeAndFlushFrame(benchmark::State& state, bool pipe) {
  FrameRun run(state, pipe);
  if (!run.handle()) return;
  amb::AiPosBlock block{47.45, 8.56, 0.01, 0.0, 1.2, 1416, 0, 0};
  double composeSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kBlocksPerFrame; ++i) {
      block.latitude += 1e-7;
      amb::SimConnect_SetDataOnSimObject(run.handle(), 402, static_cast<std::uint32_t>(3 + i), 0, 0, sizeof block,
                                         &block);
    }
    composeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.waitForFrame();
  }
  run.report("calls_us_per_frame", composeSeconds);
}

void BM_FrameOf500PositionsTcp(benchmark::State& state) { composeAndFlushFrame(state, false); }
void BM_FrameOf500PositionsPipe(benchmark::State& state) { composeAndFlushFrame(state, true); }

BENCHMARK(BM_FrameOf500PositionsTcp)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FrameOf500PositionsPipe)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
