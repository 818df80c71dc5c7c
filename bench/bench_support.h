// What the benchmark programs share: a context with a quiet host and a private
// CORVEX_HOME, and a simulated star frame to work on.
#pragma once

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
#include "corvex.h"
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

}  // namespace corvex::bench
