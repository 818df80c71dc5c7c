// The simulated observatory behind the simulated camera: the camera answering every request
// block on the shared clock, the guider camera, the mount behind the guide relays and the
// LX200 port, and the filter wheel on the other serial port. Its truth (stars, mount offset,
// wheel position, what the telescope was told) is open to tests.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "camera/usb_device.h"
#include "platform/clock.h"
#include "sim/mount.h"
#include "sim/sensor_render.h"
#include "sim/sim_config.h"
#include "sim/sky.h"

namespace corvex::sim {

inline constexpr const char* kSimulatedDevicePath =
    "usb#vid_5a51&pid_7E21#sim-1#{5b1e0a47-3c92-4d6e-a1f3-6c2d8e904b17}";

struct SerialCommand {
  int port = 0;
  std::string text;
  std::int64_t atMs = 0;
};

class SimulatedObservatory {
 public:
  SimulatedObservatory(Clock& clock, const SimConfig& config);

  // The camera's side of the USB link.
  TransferResult Write(std::span<const std::uint8_t> bytes);
  TransferResult Read(std::span<std::uint8_t> into);
  // A read whose bytes nobody looks at: a frame is not rendered (its time still passes).
  TransferResult Discard(std::size_t bytes);

  // ---- Truth ----
  const SimConfig& config() const { return config_; }
  const SimSky& sky() const { return sky_; }
  const SimMount& mount() const { return mount_; }
  // The sky follows a mount outside the simulator (see SimMount::FollowPointing).
  void FollowPointing(PointingSource source, double arcsecPerPx) {
    mount_.FollowPointing(std::move(source), arcsecPerPx);
  }
  // Where star `index` of the main (or guider) field is on its sensor now.
  SensorPoint StarPosition(std::size_t index, bool guider = false) const;
  int filterPosition() const { return filterPosition_; }  // 0 until the wheel was moved
  int filterPort() const { return filterPort_; }
  const std::vector<SerialCommand>& telescopeCommands() const { return telescopeCommands_; }
  std::uint8_t relayMask() const { return relayMask_; }
  int requests() const { return requests_; }
  // The readout requests seen, as (request, field) pairs, oldest first.
  const std::vector<FrameRequest>& readouts() const { return readouts_; }
  // How many frames were rendered (readouts that were read rather than discarded).
  int renderedFrames() const { return renderedFrames_; }

 private:
  enum class Pending { kNone, kFrame, kSerial };
  void HandleRequest(std::span<const std::uint8_t> block);
  void HandleSerialWrite(int port, std::span<const std::uint8_t> data);
  void HandleTelescope(int port, const std::string& command);
  // `into` is null for a discarded reply, which has only its length.
  TransferResult Transfer(std::uint8_t* into, std::size_t length);
  TransferResult DeliverFrame(std::uint8_t* into, std::size_t length);
  TransferResult DeliverSerial(std::span<std::uint8_t> into);
  bool Disconnected() const;

  Clock& clock_;
  SimConfig config_;
  SimSky sky_;
  SimMount mount_;
  NoiseSource noise_;

  // Main camera exposure state: a sensor clear starts both the frame and the window exposure;
  // a register clear restarts only the window exposure, and only after a readout.
  std::int64_t sensorClearMs_ = 0;
  std::int64_t windowClearMs_ = 0;
  bool readSinceClear_ = false;
  std::int64_t guiderClearMs_ = 0;

  Pending pending_ = Pending::kNone;
  FrameRequest frame_;
  std::int64_t frameReadyMs_ = 0;
  int serialPort_ = 0;
  std::size_t serialCount_ = 0;
  std::deque<std::uint8_t> serialReplies_[2];

  double telescopeRatePxPerSec_;
  std::optional<std::string> target_;
  int filterPosition_ = 0;
  int filterPort_ = -1;
  std::uint8_t relayMask_ = 0;
  int requests_ = 0;
  int reads_ = 0;  // replies delivered
  int renderedFrames_ = 0;
  std::vector<std::uint16_t> frameValues_;  // kept from readout to readout, with the buffers
  RenderBuffers renderBuffers_;
  std::vector<SerialCommand> telescopeCommands_;
  std::vector<FrameRequest> readouts_;
};

// Lists the simulated camera as camera interface 0 (product id 7E21) and opens it.
std::unique_ptr<DeviceEnumerator> MakeSimulatedEnumerator(
    std::shared_ptr<SimulatedObservatory> observatory);

}  // namespace corvex::sim
