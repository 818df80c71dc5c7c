// The "Contrast" and "Filters" menu commands on a star field, as the user runs them: table
// fill, undo copy and the pass itself. Each should finish in under about 5 ms, so that trying
// one stretch after another feels immediate.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "bench_support.h"
#include "camera/camera_link.h"
#include "commands/contrast_commands.h"
#include "commands/filter_commands.h"
#include "corvex.h"
#include "processing/contrast_stretch.h"
#include "processing/processing_history.h"
#include "processing/sensor_geometry.h"
#include "processing/spatial_filters.h"

namespace {

using corvex::Corvex;

using corvex::bench::Context;

const corvex::ImageBuffer& Frame() {
  return corvex::bench::StarFrame();
}

// Times `command` on a fresh copy of the star field each time.
void RunCommand(benchmark::State& state, void (*command)(Corvex&)) {
  Context context;
  Corvex& corvex = context.corvex;
  corvex.state.backgroundLevel = corvex::RefreshBackgroundLevel(Frame()) + 3;
  for (auto _ : state) {
    state.PauseTiming();
    corvex::CopyImage(Frame(), corvex.store.currentImage);
    corvex::ClearHistory(corvex.history);
    state.ResumeTiming();
    command(corvex);
    benchmark::DoNotOptimize(corvex.store.currentImage.data());
  }
}

#define CORVEX_COMMAND(name, ...)                             \
  BENCHMARK_CAPTURE(                                          \
      RunCommand, name, +[](Corvex& corvex) { __VA_ARGS__; }) \
      ->Unit(benchmark::kMillisecond)

CORVEX_COMMAND(NormalStretch, corvex::NormalStretch(corvex, 10, 200));
CORVEX_COMMAND(PowerStretch, corvex::PowerStretch(corvex, 1.5));
CORVEX_COMMAND(SineStretch, corvex::SineStretch(corvex));
CORVEX_COMMAND(RemoveBackground, corvex::RemoveBackground(corvex));
CORVEX_COMMAND(NonLinearStretch, corvex::NonLinearStretch(corvex, 25));
CORVEX_COMMAND(LogStretch, corvex::LogStretch(corvex));
CORVEX_COMMAND(AntiLogStretch, corvex::AntiLogStretch(corvex));
CORVEX_COMMAND(InvertImage, corvex::InvertImage(corvex));
CORVEX_COMMAND(SynthesisNonLinearStretch, corvex::SynthesisNonLinearStretch(corvex, 25));

CORVEX_COMMAND(LowPassFilter, corvex::LowPassFilter(corvex));
CORVEX_COMMAND(GaussianFilter, corvex::GaussianFilter(corvex));
CORVEX_COMMAND(HighPassLowPower, corvex::HighPassLowPowerFilter(corvex));
CORVEX_COMMAND(HighPassHighPower, corvex::HighPassHighPowerFilter(corvex));
CORVEX_COMMAND(SmootherSharper, corvex::SmootherSharperFilter(corvex));
CORVEX_COMMAND(BasRelief, corvex::BasReliefFilter(corvex));
CORVEX_COMMAND(UnsharpMaskRadius3, corvex::UnsharpMask(corvex, 3, 1));
CORVEX_COMMAND(UnsharpMaskRadius7, corvex::UnsharpMask(corvex, 7, 1));
CORVEX_COMMAND(MedianRadius1, corvex::MedianFilter(corvex, 1, 6));
CORVEX_COMMAND(MedianRadius2, corvex::MedianFilter(corvex, 2, 6));
CORVEX_COMMAND(MedianRadius3, corvex::MedianFilter(corvex, 3, 6));
CORVEX_COMMAND(GradientFilter, corvex::GradientFilter(corvex));
CORVEX_COMMAND(MirrorImage, corvex::MirrorImage(corvex));

// Recomputed after every repaint of the main window.
void BM_RefreshBackgroundLevel(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(corvex::RefreshBackgroundLevel(Frame()));
}
BENCHMARK(BM_RefreshBackgroundLevel)->Unit(benchmark::kMicrosecond);

}  // namespace
