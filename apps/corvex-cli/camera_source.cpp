#include "camera_source.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "camera/usb_libusb.h"
#include "sim/observatory.h"

namespace corvex::cli {

namespace {

// "A,B" from a command-line option as the "A:B" the simulator settings use.
std::string Pair(const std::string& text) {
  std::string pair = text;
  for (char& c : pair) {
    if (c == ',') c = ':';
  }
  return pair;
}

}  // namespace

void AddCameraSourceOptions(CLI::App& command, CameraSourceOptions& options) {
  command.add_flag("--simulate", options.simulate,
                   "Use the built-in simulated camera, mount and filter wheel");
  command.add_option("--seed", options.seed, "Simulator: seed of the star field and the noise");
  command.add_option("--sim-drift", options.drift,
                     "Simulator: mount drift RA,DEC in pixels per minute (0.5,0.2)");
  command.add_option("--sim-periodic", options.periodic,
                     "Simulator: periodic error PX,SECONDS, peak to peak in RA (8,480)");
  command.add_option("--sim-backlash", options.backlash, "Simulator: Dec backlash in pixels (2)");
  command.add_option("--sim-guide-rate", options.guideRate,
                     "Simulator: pixels per second at the guide rate (6)");
  command.add_option("--sim-guider-rotation", options.guiderRotation,
                     "Simulator: guider camera angle to RA in degrees (30)");
  command.add_option("--sim-fwhm", options.fwhm, "Simulator: star image FWHM in pixels (2.5)");
}

std::unique_ptr<DeviceEnumerator> MakeCameraSource(
    const CameraSourceOptions& options, Clock& clock,
    std::shared_ptr<sim::SimulatedObservatory>* observatory) {
  const char* camera = std::getenv("CORVEX_CAMERA");
  const bool simulate = options.simulate || (camera != nullptr && std::strcmp(camera, "sim") == 0);
  if (!simulate) return MakeLibusbEnumerator();

  sim::SimConfig config;
  std::string settings;
  if (const char* env = std::getenv("CORVEX_SIM")) settings = env;
  const auto add = [&settings](const std::string& entry) { settings += "," + entry; };
  if (options.seed) add("seed=" + std::to_string(*options.seed));
  if (!options.drift.empty()) add("drift=" + Pair(options.drift));
  if (!options.periodic.empty()) add("periodic=" + Pair(options.periodic));
  if (options.backlash) add("backlash=" + std::to_string(*options.backlash));
  if (options.guideRate) add("guide-rate=" + std::to_string(*options.guideRate));
  if (options.guiderRotation) add("guider-rotation=" + std::to_string(*options.guiderRotation));
  if (options.fwhm) add("fwhm=" + std::to_string(*options.fwhm));
  if (const auto error = sim::ApplySimSettings(settings, config)) {
    std::fprintf(stderr, "corvex-cli: %s\n", error->c_str());
    return nullptr;
  }
  auto simulated = std::make_shared<sim::SimulatedObservatory>(clock, config);
  if (observatory != nullptr) *observatory = simulated;
  return sim::MakeSimulatedEnumerator(std::move(simulated));
}

}  // namespace corvex::cli
