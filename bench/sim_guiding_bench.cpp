// Thirty minutes of guiding on the simulated observatory and the virtual clock, with the
// guider camera and with the main camera's guide window, as `corvex-cli guide --simulate
// --virtual-clock --minutes 30` runs them. The time is almost all the simulator's rendering
// and the guide frames' processing, so this is what every guiding test and demo waits for.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "bench_support.h"
#include "camera/camera_link.h"
#include "commands/camera_commands.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "runs/guiding_loops.h"
#include "sim/observatory.h"
#include "state/exposure.h"

namespace corvex::bench {
namespace {

constexpr std::int64_t kRunMs = 30 * 60 * 1000;
constexpr int kEdgeMargin = 24;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "simulated guiding run: %s\n", what);
  std::abort();
}

// The camera, an LX200 link and one-second exposures, as the command-line tool sets them up.
void Prepare(Context& context) {
  Corvex& corvex = context.corvex;
  auto observatory = std::make_shared<sim::SimulatedObservatory>(context.clock, sim::SimConfig{});
  corvex.devices = sim::MakeSimulatedEnumerator(observatory);
  if (!DiscoverCamera(corvex.camera, *corvex.devices, corvex.state)) Fail("no camera");
  if (!PrepareTelescopeLink(corvex)) Fail("no telescope link");
  ProgramState& state = corvex.state;
  state.settings.telescopeMethod = 'l';
  state.exposureValue = 1;
  state.exposureUnit = 's';
  state.exposureMs = MainExposureMs(1, 's');
  state.guiderExposureValue = 1;
  state.guiderExposureUnit = 's';
  state.maskRadius = state.settings.starMaskRadius;
}

// Stops the loop once the run's time is up.
GuidingCycleObserver StopAfter(std::int64_t endMs) {
  return [endMs](Corvex& c, const GuideCorrection&) {
    if (c.clock.NowMs() < endMs) return;
    c.state.continuousMode = false;
    c.state.guiderGuidingRunning = false;
  };
}

void BM_GuiderCameraRun30Min(benchmark::State& state) {
  for (auto _ : state) {
    Context context;
    Corvex& corvex = context.corvex;
    Prepare(context);
    GuiderExposure(corvex);
    const auto star = BrightestStar(corvex.store.guiderImage.data(), kReadoutWidth, kImageRows,
                                    kReadoutWidth, kEdgeMargin);
    if (!star || !SelectGuiderStar(corvex, star->x, star->y)) Fail("no guider star");
    if (RunGuiderGuiding(corvex, StopAfter(context.clock.NowMs() + kRunMs)) !=
        GuidingEnd::kStopped) {
      Fail("guiding with the guider camera ended early");
    }
  }
}
BENCHMARK(BM_GuiderCameraRun30Min)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_SelfGuidingRun30Min(benchmark::State& state) {
  for (auto _ : state) {
    Context context;
    Corvex& corvex = context.corvex;
    Prepare(context);
    if (!ExposeFullFrame(corvex)) Fail("no frame");
    const auto star = BrightestStar(corvex.store.currentImage.data(), kImageStride, kImageRows,
                                    kImageStride, kEdgeMargin);
    if (!star || !PickGuideStar(corvex, star->x, star->y)) Fail("no guide star");
    if (RunContinuousSelfGuiding(corvex, StopAfter(context.clock.NowMs() + kRunMs)) !=
        GuidingEnd::kStopped) {
      Fail("self-guiding ended early");
    }
  }
}
BENCHMARK(BM_SelfGuidingRun30Min)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace corvex::bench
