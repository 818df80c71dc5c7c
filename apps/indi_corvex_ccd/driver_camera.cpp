#include "driver_camera.h"

#include <cstdlib>
#include <cstring>

#include "camera/usb_libusb.h"
#include "files/settings_file.h"
#include "platform/paths.h"
#include "platform/read_file.h"
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

ProgramSettingsRead ReadProgramSettings() {
  // Only read: the program's own reader may write a first file or repair a damaged one, and
  // the file belongs to the program.
  ProgramSettingsRead read;
  const Paths paths(Paths::HomeFromEnvironment());
  const std::filesystem::path path = paths.SettingsFile();
  const auto bytes = ReadFileBytes(path, kSettingsFileBytes);
  if (!bytes) {
    read.note = "No Corvex settings file at " + path.string() +
                "; the program defaults are used for directions, filter names and colour.";
    return read;
  }
  FitsHeaderFields fields;
  const SettingsDecodeResult result = DecodeSettings(*bytes, read.settings, fields);
  if (!result.Sound()) {
    std::string names;
    for (const SettingsFieldProblem& problem : result.badFields) {
      names += (names.empty() ? "" : ", ") + problem.name;
    }
    if (!result.complete) names += names.empty() ? "the file ends early" : ", the file ends early";
    read.note = "The Corvex settings file " + path.string() + " could not be read whole (" +
                (names.empty() ? "a bad value" : names) +
                "); the program defaults are used for what could not be read.";
  }
  return read;
}

int FilterWheelPortFor(char comPortChar) {
  return comPortChar == '1' ? 1 : 0;
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

LinkGroup::LinkGroup(DriverCamera& camera, bool tryOnly)
    : camera_(camera),
      lock_(tryOnly ? std::unique_lock(camera.linkMutex_, std::try_to_lock)
                    : std::unique_lock(camera.linkMutex_)) {
  if (lock_.owns_lock()) faultsBefore_ = camera_.link_->transferFaults;
}

}  // namespace corvex::indi
