// The steps after each frame of a capture run: dark subtraction, colour synthesis with every
// option, the display rebuild and the quick save. Aim: under 25 ms together, 1 % of the
// camera's 2-3 second readout.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "commands/colour_commands.h"
#include "commands/display_commands.h"
#include "commands/quick_save.h"
#include "processing/calibration.h"
#include "processing/colour_synthesis.h"
#include "processing/display_image.h"

namespace {

bool AllOptions(corvex::ProgramSettings& s) {
  s.antiAlias = s.lightPollutionCorrection = s.strongStretch = s.removeBackground = true;
  s.highPassLowPower = s.unsharpMask = true;
  s.weakStretch = s.userStretch = false;
  return true;
}

void BM_PostFrameSteps(benchmark::State& state) {
  corvex::bench::Context context;
  corvex::Corvex& corvex = context.corvex;
  corvex::bench::TakeSimulatedFrame(context, 4000);
  corvex::ImageBuffer raw;
  corvex::CopyImage(corvex.store.currentImage, raw);
  corvex::ImageBuffer dark;
  dark.Fill(100);
  for (auto _ : state) {
    state.PauseTiming();
    corvex::CopyImage(raw, corvex.store.currentImage);
    corvex::CopyImage(dark, corvex.store.run.dark);
    corvex.state.colourConverted = false;
    state.ResumeTiming();
    corvex::SubtractDark(corvex.store.currentImage, corvex.store.run.dark, false);
    corvex::SynthesizeColourImage(corvex, AllOptions);
    corvex::RebuildDisplayImage(corvex);
    corvex::QuickSaveFits(corvex);
  }
}
BENCHMARK(BM_PostFrameSteps)->Unit(benchmark::kMillisecond);

}  // namespace
