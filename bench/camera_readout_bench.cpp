// The per-frame work of a readout: laying the camera's rows into the stored layout, and the
// guider frame's clean-up (dark, 3 x 3 hot-pixel median, gain), which runs on every guider
// frame while guiding and should stay under about 2 ms.
#include <benchmark/benchmark.h>

#include <vector>

#include "camera/camera_requests.h"
#include "camera/exposures.h"
#include "state/image_store.h"

namespace {

void FillNoise(corvex::GuiderBuffer& image) {
  std::uint32_t x = 12345;
  for (int i = 0; i < corvex::kGuiderValues; ++i) {
    x = x * 1664525u + 1013904223u;
    image[i] = static_cast<std::uint16_t>(2000 + (x >> 22));
  }
}

void BM_LayFullFrame(benchmark::State& state) {
  std::vector<std::uint8_t> received(corvex::kFullFrameBytes, 7);
  corvex::ImageBuffer image;
  for (auto _ : state) {
    corvex::LayFullFrame(received, image);
    benchmark::DoNotOptimize(image.data());
  }
  state.SetBytesProcessed(state.iterations() * corvex::kFullFrameBytes);
}
BENCHMARK(BM_LayFullFrame);

void BM_GuiderHotPixelFilter(benchmark::State& state) {
  corvex::GuiderBuffer image, scratch;
  for (auto _ : state) {
    state.PauseTiming();
    FillNoise(image);
    state.ResumeTiming();
    corvex::FilterGuiderHotPixels(image, scratch);
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_GuiderHotPixelFilter)->Unit(benchmark::kMillisecond);

void BM_GuiderCleanUp(benchmark::State& state) {
  corvex::GuiderBuffer image, scratch, dark;
  dark.Fill(1000);
  for (auto _ : state) {
    state.PauseTiming();
    FillNoise(image);
    state.ResumeTiming();
    corvex::SubtractGuiderDark(image, dark);
    corvex::FilterGuiderHotPixels(image, scratch);
    corvex::ApplyGain(image.span(), corvex::GuiderGainFactor(6));
    benchmark::DoNotOptimize(image.data());
  }
}
BENCHMARK(BM_GuiderCleanUp)->Unit(benchmark::kMillisecond);

}  // namespace
