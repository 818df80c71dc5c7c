// Saving and opening a colour FITS file, the work behind every automatic save and every Open.
// A save or load blocks the window, so it should stay well under the time a user notices.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "files/fits_file.h"
#include "platform/paths.h"

namespace {

struct ColourImage {
  corvex::ImageStore store;
  corvex::FitsHeaderFields fields;
  corvex::ProcessingHistory history;
  ColourImage() { corvex::FillStartupRamps(store); }
};

void BM_EncodeColourFits(benchmark::State& state) {
  ColourImage image;
  const corvex::PlaneView planes = corvex::MainPlanes(image.store);
  for (auto _ : state) {
    auto bytes =
        corvex::EncodeFitsFile(image.store.currentImage, image.fields, image.history, &planes);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * corvex::kFitsColourLength);
}
BENCHMARK(BM_EncodeColourFits);

void BM_WriteAndReadColourFits(benchmark::State& state) {
  ColourImage image;
  const corvex::PlaneView planes = corvex::MainPlanes(image.store);
  const corvex::MutablePlaneView target = corvex::MainPlanes(image.store);
  corvex::Paths paths(std::filesystem::temp_directory_path());
  const auto dir = paths.TempDirectory();
  if (!dir) {
    state.SkipWithError("no temporary directory");
    return;
  }
  const std::filesystem::path path = *dir / "IMG1.FIT";
  for (auto _ : state) {
    corvex::WriteFitsFile(path, image.store.currentImage, image.fields, image.history, &planes);
    corvex::ReadFitsFile(path, image.store.currentImage, &target, corvex::FitsLayout::kCurrent,
                         image.fields, image.history);
  }
  state.SetBytesProcessed(state.iterations() * 2 * corvex::kFitsColourLength);
}
BENCHMARK(BM_WriteAndReadColourFits)->Unit(benchmark::kMillisecond);

}  // namespace
