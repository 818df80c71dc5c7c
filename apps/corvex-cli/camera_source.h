// Where the CLI's camera comes from: the real one on USB, or the simulated observatory
// (--simulate or CORVEX_CAMERA=sim), configured by CORVEX_SIM and the --sim-* options. Either
// way every transfer is watched, so that a job can tell whether the link failed under it.
#pragma once

#include <CLI/CLI.hpp>

#include <cstdint>
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
  // The simulator settings as given ("key=value" each), checked when the source is made.
  std::string simSettings;
};

// Adds --simulate, --seed and the --sim-* options to a command that talks to a camera.
void AddCameraSourceOptions(CLI::App& command, CameraSourceOptions& options);

// Transfers that failed or came back short on the opened camera, counted from the start.
struct TransferFaults {
  int count = 0;
};

struct CameraSource {
  std::unique_ptr<DeviceEnumerator> devices;
  std::shared_ptr<sim::SimulatedObservatory> observatory;  // with the simulator, else null
  std::shared_ptr<const TransferFaults> faults;
};

// The device list the options choose; nullopt with `error` saying which simulator setting
// (from the options or CORVEX_SIM) was wrong.
std::optional<CameraSource> MakeCameraSource(const CameraSourceOptions& options, Clock& clock,
                                             std::string& error);

}  // namespace corvex::cli
