// The driver's camera session: the real camera over libusb or the simulated observatory,
// opened on the real clock, with the session the device operations run on.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "camera/camera_link.h"
#include "camera/usb_device.h"
#include "platform/clock.h"
#include "sim/observatory.h"

namespace corvex::indi {

struct CameraChoice {
  bool simulate = false;
  bool anyProductId = false;  // open a camera whatever its product id (real camera only)
  std::uint64_t seed = 1;     // the simulated sky and noise
};

// True when CORVEX_CAMERA=sim asks for the simulated observatory, as it does for every
// program of the suite.
bool SimulatorRequestedByEnvironment();
// The simulator's seed from CORVEX_SIM, or nullopt when it names none (or cannot be read).
std::optional<std::uint64_t> SeedFromEnvironment();

class DriverCamera {
 public:
  explicit DriverCamera(Host& host) : host_(host) {}

  // Finds and opens the camera; nullopt on success, else what went wrong. The simulator
  // takes CORVEX_SIM's settings (faults, drift, readout time) with the chosen seed over them.
  std::optional<std::string> Open(const CameraChoice& choice);
  void Close();
  bool IsOpen() const { return link_ && link_->device; }

  CameraLink& link() { return *link_; }
  Clock& clock() { return clock_; }
  // The simulated observatory, or null on the real camera.
  sim::SimulatedObservatory* observatory() { return observatory_.get(); }

 private:
  Host& host_;
  SteadyClock clock_;
  std::unique_ptr<DeviceEnumerator> devices_;
  std::shared_ptr<sim::SimulatedObservatory> observatory_;
  std::unique_ptr<CameraLink> link_;
};

}  // namespace corvex::indi
