// What the benchmark programs share: a context with a quiet host and a private
// CORVEX_HOME, a simulated star frame to work on, the colour synthesis dialog's answers and
// the steps a capture run takes after each frame.
#pragma once

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "camera/camera_requests.h"
#include "commands/camera_commands.h"
#include "camera/camera_link.h"
#include "commands/colour_commands.h"
#include "commands/display_commands.h"
#include "commands/quick_save.h"
#include "corvex.h"
#include "processing/calibration.h"
#include "platform/quiet_host.h"
#include "sim/observatory.h"

namespace corvex::bench {

// A fresh directory of its own, removed afterwards: commands that read or write the settings
// file never touch a shared place.
class PrivateHome {
 public:
  PrivateHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvex-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~PrivateHome() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct Context {
  PrivateHome home;
  QuietHost host;
  VirtualClock clock;
  Corvex corvex{host, clock, home.path()};
};

// An exposure of `ms` of the simulated sky: bias, sky background, noise and stars.
inline void TakeSimulatedFrame(Context& context, int ms) {
  Corvex& corvex = context.corvex;
  auto observatory = std::make_shared<sim::SimulatedObservatory>(context.clock, sim::SimConfig{});
  corvex.devices = sim::MakeSimulatedEnumerator(observatory);
  if (!DiscoverCamera(corvex.camera, *corvex.devices, corvex.state)) {
    std::fprintf(stderr, "the simulated camera was not found\n");
    std::abort();
  }
  corvex.state.exposureMs = ms;
  ClearSensor(corvex.camera);
  context.clock.Advance(ms);
  ReadFullFrame(corvex);
}

// One 5-second star frame for the whole program run.
inline const ImageBuffer& StarFrame() {
  static const std::unique_ptr<ImageBuffer> frame = [] {
    Context context;
    TakeSimulatedFrame(context, 5000);
    auto copy = std::make_unique<ImageBuffer>();
    CopyImage(context.corvex.store.currentImage, *copy);
    return copy;
  }();
  return *frame;
}

// The colour synthesis dialog answered with every option off.
inline bool NoColourOptions(ProgramSettings& s) {
  s.antiAlias = s.lightPollutionCorrection = s.weakStretch = s.strongStretch = false;
  s.userStretch = s.removeBackground = s.highPassLowPower = s.unsharpMask = false;
  return true;
}

// The colour synthesis dialog answered with every option that can go together: anti-alias,
// light pollution correction, the strong stretch, background removal, the low power high
// pass and the unsharp mask.
inline bool AllColourOptions(ProgramSettings& s) {
  s.antiAlias = s.lightPollutionCorrection = s.strongStretch = s.removeBackground = true;
  s.highPassLowPower = s.unsharpMask = true;
  s.weakStretch = s.userStretch = false;
  return true;
}

// Times what a capture run does after each frame: dark subtraction, colour synthesis with
// every option, the display rebuild and the quick save of the frame (its file fsynced). Each
// pass starts from `raw` and a flat dark of 100, copied in outside the timing.
inline void TimePostFrameSteps(benchmark::State& state, Context& context, const ImageBuffer& raw) {
  Corvex& corvex = context.corvex;
  ImageBuffer dark;
  dark.Fill(100);
  for (auto _ : state) {
    state.PauseTiming();
    CopyImage(raw, corvex.store.currentImage);
    CopyImage(dark, corvex.store.run.dark);
    corvex.state.colourConverted = false;
    state.ResumeTiming();
    SubtractDark(corvex.store.currentImage, corvex.store.run.dark, false);
    SynthesizeColourImage(corvex, AllColourOptions);
    RebuildDisplayImage(corvex);
    QuickSaveFits(corvex);
  }
}

}  // namespace corvex::bench
