// The driver's camera session: the real camera over libusb or the simulated observatory,
// opened on the real clock, with the session the device operations run on.
//
// The main camera, the guider camera, the guide relays and the filter wheel all travel over
// one camera link, and the driver runs them from several threads (a main exposure, a guide
// exposure, pulses and filter moves may overlap in time). Every group of requests that
// belongs together (a clear, a readout with its request, a pulse) takes the link to itself
// through a LinkGroup; nothing holds it across an exposure's wait.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "camera/camera_link.h"
#include "camera/usb_device.h"
#include "platform/clock.h"
#include "sim/observatory.h"
#include "state/program_settings.h"

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

// The program's settings as the driver uses them (direction table, filter names, colour
// synthesis options, the serial port the telescope takes), read from the program's settings
// file and never written back. A missing or damaged file leaves the program defaults in
// place of what could not be read; `note` then says so, for the log.
struct ProgramSettingsRead {
  ProgramSettings settings;
  std::optional<std::string> note;
};
ProgramSettingsRead ReadProgramSettings();

// The camera serial port the filter wheel is on: the one the telescope does not use.
int FilterWheelPortFor(char comPortChar);

class DriverCamera {
 public:
  explicit DriverCamera(Host& host) : host_(host) {}

  // Finds and opens the camera; nullopt on success, else what went wrong. The simulator
  // takes CORVEX_SIM's settings (faults, drift, readout time) with the chosen seed over them.
  // Call only when no thread is using the link.
  std::optional<std::string> Open(const CameraChoice& choice);
  void Close();
  bool IsOpen() const { return link_ && link_->device; }

  Clock& clock() { return clock_; }
  // The link without taking it: for an exposure's wait, which sleeps on its clock and sends
  // requests only inside the groups its turns take.
  CameraLink& linkForWaits() { return *link_; }
  // The simulated observatory, or null on the real camera. Its truth changes with the
  // requests, so read it inside a LinkGroup.
  sim::SimulatedObservatory* observatory() { return observatory_.get(); }

 private:
  friend class LinkGroup;
  Host& host_;
  SteadyClock clock_;
  std::mutex linkMutex_;
  std::unique_ptr<DeviceEnumerator> devices_;
  std::shared_ptr<sim::SimulatedObservatory> observatory_;
  std::unique_ptr<CameraLink> link_;
};

// The link to one thread for one group of requests, and whether any of them failed. With
// `tryOnly`, a link that is busy is not waited for (owns() then says false): the event loop
// uses that so that it never waits behind a readout.
class LinkGroup {
 public:
  explicit LinkGroup(DriverCamera& camera, bool tryOnly = false);
  LinkGroup(const LinkGroup&) = delete;
  LinkGroup& operator=(const LinkGroup&) = delete;

  bool owns() const { return lock_.owns_lock(); }
  CameraLink& link() { return *camera_.link_; }
  // A transfer of this group failed or came back short.
  bool Faulted() const { return camera_.link_->transferFaults != faultsBefore_; }

 private:
  DriverCamera& camera_;
  std::unique_lock<std::mutex> lock_;
  unsigned faultsBefore_ = 0;
};

}  // namespace corvex::indi
