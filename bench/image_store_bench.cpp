// Speed of the whole-buffer work every command starts or ends with: the start-up ramps and
// the 148480-value copy behind every undo.
#include <benchmark/benchmark.h>

#include "state/image_store.h"

namespace {

void BM_FillStartupRamps(benchmark::State& state) {
  corvex::ImageStore store;
  for (auto _ : state) {
    corvex::FillStartupRamps(store);
    benchmark::DoNotOptimize(store.currentImage.data());
  }
}
BENCHMARK(BM_FillStartupRamps);

void BM_CopyImage(benchmark::State& state) {
  corvex::ImageStore store;
  corvex::FillStartupRamps(store);
  for (auto _ : state) {
    corvex::CopyImage(store.currentImage, store.undoImage);
    benchmark::DoNotOptimize(store.undoImage.data());
  }
  state.SetBytesProcessed(state.iterations() * corvex::kImageValues * 2);
}
BENCHMARK(BM_CopyImage);

}  // namespace
