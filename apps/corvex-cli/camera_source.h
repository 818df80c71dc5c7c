// Where the CLI's camera comes from: the real one on USB, or the simulated observatory
// (--simulate or CORVEX_CAMERA=sim), configured by CORVEX_SIM and the --sim-* options.
#pragma once

#include <CLI/CLI.hpp>

#include <memory>
#include <optional>
#include <string>

#include "camera/usb_device.h"
#include "platform/clock.h"

namespace corvex::sim {
class SimulatedObservatory;
}

namespace corvex::cli {

struct CameraSourceOptions {
  bool simulate = false;
  std::optional<std::uint64_t> seed;
  std::string drift;     // "RA,DEC"
  std::string periodic;  // "PX,SECONDS"
  std::optional<double> backlash;
  std::optional<double> guideRate;
  std::optional<double> guiderRotation;
  std::optional<double> fwhm;
};

// Adds --simulate, --seed and the --sim-* options to a command that talks to a camera.
void AddCameraSourceOptions(CLI::App& command, CameraSourceOptions& options);

// The device list the options choose; nullptr after printing what was wrong with them. With
// the simulator, `observatory` (when given) receives it, for the jobs that report its truth.
std::unique_ptr<DeviceEnumerator> MakeCameraSource(
    const CameraSourceOptions& options, Clock& clock,
    std::shared_ptr<sim::SimulatedObservatory>* observatory = nullptr);

}  // namespace corvex::cli
