// The program's one context: every buffer and state record, and the services they run on.
//
// One Corvex is made per program run (one per test case) and passed by reference to the
// operations that need it. Its buffers are allocated once, here, and never resized.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

#include "camera/camera_link.h"
#include "files/fits_header_fields.h"
#include "files/program_options_file.h"
#include "mount/mount.h"
#include "platform/clock.h"
#include "platform/host.h"
#include "platform/paths.h"
#include "processing/contrast_stretch.h"
#include "processing/display_image.h"
#include "processing/processing_history.h"
#include "state/guiding_state.h"
#include "state/image_store.h"
#include "state/program_state.h"
#include "state/telescope_state.h"

namespace corvex {

struct Corvex {
  Corvex(Host& host, Clock& clock, std::filesystem::path home)
      : host(host), clock(clock), paths(std::move(home)), camera(host, clock) {}
  Corvex(const Corvex&) = delete;
  Corvex& operator=(const Corvex&) = delete;

  Host& host;
  Clock& clock;
  Paths paths;
  ImageStore store;
  ProgramState state;
  ProgramOptions options;  // the settings of corvex.conf, beside the settings file
  FitsHeaderFields fits;
  ProcessingHistory history;
  StretchTable stretch;  // the one table every contrast stretch fills; all 0 at start
  DisplayBuffers display;
  TelescopeLink telescope;
  GuidingState guiding;
  CameraLink camera;
  std::unique_ptr<DeviceEnumerator> devices;  // where discovery looks for the camera
  // The mount driven on its own (telescope.method = indi in corvex.conf), made on first use
  // by `makeMount` from the settings and dropped when they change.
  std::unique_ptr<Mount> mount;
  std::function<std::unique_ptr<Mount>(const ProgramOptions&)> makeMount;
  // Rebuilds the display image from the current image; every command that changes the image
  // ends by calling RebuildDisplay. Empty where nothing is displayed.
  std::function<void(Corvex&)> displayRebuild;
  // Told of every image file a quick save has written (the command-line tool lists them).
  // Empty where nobody listens.
  std::function<void(const std::filesystem::path&)> quickSaved;
};

inline void RebuildDisplay(Corvex& corvex) {
  if (corvex.displayRebuild) corvex.displayRebuild(corvex);
}

}  // namespace corvex
