// Colour synthesis, the colour filters, the display rebuild with its BMP file and the TIFF
// export on a simulated star frame: the steps a user waits for after each exposure. Aims on
// this machine: synthesis under 3 ms without options and 15 ms with all of them, the colour
// display rebuild under 5 ms.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "camera/camera_link.h"
#include "commands/colour_commands.h"
#include "commands/display_commands.h"
#include "corvex.h"
#include "files/tiff_file.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "processing/display_image.h"

namespace {

// A context holding a 4-second simulated frame, and a copy to start each run from.
struct Frame {
  Frame() {
    corvex::bench::TakeSimulatedFrame(context, 4000);
    corvex::CopyImage(corvex.store.currentImage, raw);
  }
  void Reset() {
    corvex::CopyImage(raw, corvex.store.currentImage);
    corvex.state.colourConverted = false;
  }
  corvex::bench::Context context;
  corvex::Corvex& corvex = context.corvex;
  corvex::ImageBuffer raw;
};

void BM_SynthesisNoOptions(benchmark::State& state) {
  Frame frame;
  for (auto _ : state) {
    state.PauseTiming();
    frame.Reset();
    state.ResumeTiming();
    corvex::SynthesizeColourImage(frame.corvex, corvex::bench::NoColourOptions);
  }
}
BENCHMARK(BM_SynthesisNoOptions)->Unit(benchmark::kMillisecond);

void BM_SynthesisAllOptions(benchmark::State& state) {
  Frame frame;
  for (auto _ : state) {
    state.PauseTiming();
    frame.Reset();
    state.ResumeTiming();
    corvex::SynthesizeColourImage(frame.corvex, corvex::bench::AllColourOptions);
  }
}
BENCHMARK(BM_SynthesisAllOptions)->Unit(benchmark::kMillisecond);

void BM_AntiAlias(benchmark::State& state) {
  Frame frame;
  corvex::SynthesizeColourImage(frame.corvex, corvex::bench::NoColourOptions);
  for (auto _ : state) corvex::AntiAliasFilter(frame.corvex, false);
}
BENCHMARK(BM_AntiAlias)->Unit(benchmark::kMillisecond);

void BM_ColourBalance(benchmark::State& state) {
  Frame frame;
  corvex::SynthesizeColourImage(frame.corvex, corvex::bench::NoColourOptions);
  for (auto _ : state) corvex::BalancePass(corvex::MainPlanes(frame.corvex.store), 1, 0, 1);
}
BENCHMARK(BM_ColourBalance)->Unit(benchmark::kMillisecond);

void BM_DisplayRebuild(benchmark::State& state) {
  Frame frame;
  const bool colour = state.range(0) != 0;
  frame.corvex.state.qzGeometry = state.range(1) != 0;
  if (colour) corvex::SynthesizeColourImage(frame.corvex, corvex::bench::NoColourOptions);
  for (auto _ : state) corvex::RebuildDisplayImage(frame.corvex);
}
BENCHMARK(BM_DisplayRebuild)
    ->ArgNames({"colour", "qz"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

void BM_TiffExport(benchmark::State& state) {
  Frame frame;
  corvex::SynthesizeColourImage(frame.corvex, corvex::bench::NoColourOptions);
  corvex::RebuildDisplayImage(frame.corvex);
  for (auto _ : state) {
    auto bytes = corvex::EncodeTiff(true, frame.corvex.store.currentImage,
                                    frame.corvex.display.colour.data());
    benchmark::DoNotOptimize(bytes.data());
  }
}
BENCHMARK(BM_TiffExport)->Unit(benchmark::kMillisecond);

}  // namespace
