#include "driver_camera.h"

#include <cstdlib>
#include <cstring>

#include "camera/usb_libusb.h"
#include "sim/sim_config.h"

namespace corvex::indi {

bool SimulatorRequestedByEnvironment() {
  const char* camera = std::getenv("CORVEX_CAMERA");
  return camera != nullptr && std::strcmp(camera, "sim") == 0;
}

std::optional<std::uint64_t> SeedFromEnvironment() {
  const char* settings = std::getenv("CORVEX_SIM");
  if (settings == nullptr) return std::nullopt;
  sim::SimConfig config;
  config.seed = 0;
  if (sim::ApplySimSettings(settings, config) || config.seed == 0) return std::nullopt;
  return config.seed;
}

std::optional<std::string> DriverCamera::Open(const CameraChoice& choice) {
  Close();
  if (choice.simulate) {
    sim::SimConfig config;
    if (const char* settings = std::getenv("CORVEX_SIM")) {
      if (const auto problem = sim::ApplySimSettings(settings, config)) {
        return "CORVEX_SIM: " + *problem;
      }
    }
    config.seed = choice.seed;
    observatory_ = std::make_shared<sim::SimulatedObservatory>(clock_, config);
    devices_ = sim::MakeSimulatedEnumerator(observatory_);
  } else {
    devices_ = MakeLibusbEnumerator();
  }
  link_ = std::make_unique<CameraLink>(host_, clock_);
  DiscoveryOptions options;
  options.acceptAnyProductId = choice.anyProductId;
  DiscoverCamera(*link_, *devices_, options);
  if (!link_->device) {
    Close();
    return choice.simulate ? std::string("The simulated camera could not be opened")
                           : std::string("No camera was found on USB");
  }
  return std::nullopt;
}

void DriverCamera::Close() {
  link_.reset();
  devices_.reset();
  observatory_.reset();
}

}  // namespace corvex::indi
