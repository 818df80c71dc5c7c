// The steps after each frame of a capture run: dark subtraction, colour synthesis with every
// option, the display rebuild and the quick save. Aim: under 25 ms together, 1 % of the
// camera's 2-3 second readout.
#include <benchmark/benchmark.h>

#include "bench_support.h"

namespace {

void BM_PostFrameSteps(benchmark::State& state) {
  corvex::bench::Context context;
  corvex::bench::TakeSimulatedFrame(context, 4000);
  corvex::ImageBuffer raw;
  corvex::CopyImage(context.corvex.store.currentImage, raw);
  corvex::bench::TimePostFrameSteps(state, context, raw);
}
BENCHMARK(BM_PostFrameSteps)->Unit(benchmark::kMillisecond);

}  // namespace
