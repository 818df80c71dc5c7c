// Guiding's costs: the star search (run once per correction, twice per calibration step) and
// one whole correction on a guide window, which must leave the guide frames plenty of time.
#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "guiding/guide_correction.h"
#include "guiding/star_centroid.h"
#include "guiding/star_pick.h"

namespace corvex::bench {
namespace {

// The search around the brightest star of the frame, radius 8 and 15 (the largest mask).
void BM_FindStarCentre(benchmark::State& state) {
  Context context;
  CopyImage(StarFrame(), context.corvex.store.currentImage);
  const auto star = BrightestStar(context.corvex.store.currentImage.data(), kImageStride,
                                  kImageRows, kImageStride, 24);
  const int radius = static_cast<int>(state.range(0));
  for (auto _ : state) {
    benchmark::DoNotOptimize(FindStarCentre(context.corvex, star->x, star->y, radius));
  }
}
BENCHMARK(BM_FindStarCentre)->Arg(8)->Arg(15);

// A self-guiding correction whose error is below the drift threshold: the search and the
// arithmetic, no telescope move.
void BM_SelfGuideCorrection(benchmark::State& state) {
  Context context;
  Corvex& corvex = context.corvex;
  CopyImage(StarFrame(), corvex.store.currentImage);
  const auto star =
      BrightestStar(corvex.store.currentImage.data(), kImageStride, kImageRows, kImageStride, 24);
  FindStarCentre(corvex, star->x, star->y, 8);
  corvex.guiding.referenceX = corvex.state.starX;
  corvex.guiding.referenceY = corvex.state.starY;
  corvex.guiding.referenceXTenths = corvex.state.starXTenths;
  corvex.guiding.referenceYTenths = corvex.state.starYTenths;
  corvex.state.settings.ignoreSmallDrift = true;
  for (auto _ : state) benchmark::DoNotOptimize(SelfGuideCorrection(corvex));
}
BENCHMARK(BM_SelfGuideCorrection);

// The brightest-star scan the command-line tool starts guiding with.
void BM_BrightestStar(benchmark::State& state) {
  const ImageBuffer& frame = StarFrame();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        BrightestStar(frame.data(), kImageStride, kImageRows, kImageStride, 24));
  }
}
BENCHMARK(BM_BrightestStar)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvex::bench
