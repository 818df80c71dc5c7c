#include "camera_source.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

#include "arguments.h"
#include "camera/usb_libusb.h"
#include "sim/observatory.h"

namespace corvex::cli {

namespace {

// An open camera whose failed and short transfers are counted.
class WatchedDevice final : public CameraDevice {
 public:
  WatchedDevice(std::unique_ptr<CameraDevice> device, std::shared_ptr<TransferFaults> faults)
      : device_(std::move(device)), faults_(std::move(faults)) {}

  TransferResult Write(std::span<const std::uint8_t> bytes) override {
    const TransferResult result = device_->Write(bytes);
    if (!result.ok || result.bytes != bytes.size()) ++faults_->count;
    return result;
  }
  TransferResult Read(std::span<std::uint8_t> into) override {
    const TransferResult result = device_->Read(into);
    if (!result.ok || result.bytes < into.size()) ++faults_->count;
    return result;
  }
  int HandleNumber() const override { return device_->HandleNumber(); }
  DeviceDescription Describe() override { return device_->Describe(); }

 private:
  std::unique_ptr<CameraDevice> device_;
  std::shared_ptr<TransferFaults> faults_;
};

class WatchedEnumerator final : public DeviceEnumerator {
 public:
  WatchedEnumerator(std::unique_ptr<DeviceEnumerator> devices,
                    std::shared_ptr<TransferFaults> faults)
      : devices_(std::move(devices)), faults_(std::move(faults)) {}

  bool Attach() override { return devices_->Attach(); }
  std::optional<InterfaceEntry> Interface(int memberIndex) override {
    return devices_->Interface(memberIndex);
  }
  std::unique_ptr<CameraDevice> Open(const std::string& path) override {
    std::unique_ptr<CameraDevice> device = devices_->Open(path);
    if (!device) return nullptr;
    return std::make_unique<WatchedDevice>(std::move(device), faults_);
  }
  void Release() override { devices_->Release(); }

 private:
  std::unique_ptr<DeviceEnumerator> devices_;
  std::shared_ptr<TransferFaults> faults_;
};

// A --sim-* option: checked as a number (or a pair of numbers) here, so that a message names
// the option; its range is the simulator's to check.
void AddSimOption(CLI::App& command, CameraSourceOptions& options, const std::string& name,
                  const std::string& key, bool pair, const std::string& description) {
  command
      .add_option_function<std::string>(
          name,
          [&options, name, key, pair](const std::string& text) {
            const double any = 1e300;
            if (pair ? !ParseRealPair(text, -any, any) : !ParseReal(text, -any, any)) {
              throw CLI::ValidationError(
                  name, "\"" + text + "\" is not " + (pair ? "two numbers A,B" : "a number"));
            }
            std::string value = text;
            for (char& c : value) {
              if (c == ',') c = ':';  // the simulator's pairs are "A:B"
            }
            options.simSettings += "," + key + "=" + value;
          },
          description)
      ->type_name(pair ? "A,B" : "NUMBER");
}

}  // namespace

void AddCameraSourceOptions(CLI::App& command, CameraSourceOptions& options) {
  command.add_flag("--simulate", options.simulate,
                   "Use the built-in simulated camera, mount and filter wheel");
  command
      .add_option_function<std::string>(
          "--seed",
          [&options](const std::string& text) {
            std::uint64_t seed = 0;
            const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seed);
            if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
              throw CLI::ValidationError("--seed", "\"" + text +
                                                       "\" is not a whole number from "
                                                       "0 to 18446744073709551615");
            }
            options.seed = seed;
          },
          "Simulator: seed of the star field and the noise (1, or CORVEX_SIM's seed=)")
      ->type_name("N");
  AddSimOption(command, options, "--sim-drift", "drift", true,
               "Simulator: mount drift RA,DEC in pixels per minute (0.5,0.2)");
  AddSimOption(command, options, "--sim-periodic", "periodic", true,
               "Simulator: periodic error PX,SECONDS, peak to peak in RA (8,480)");
  AddSimOption(command, options, "--sim-backlash", "backlash", false,
               "Simulator: Dec backlash in pixels (2)");
  AddSimOption(command, options, "--sim-guide-rate", "guide-rate", false,
               "Simulator: pixels per second at the guide rate (6)");
  AddSimOption(command, options, "--sim-guider-rotation", "guider-rotation", false,
               "Simulator: guider camera angle to RA in degrees (30)");
  AddSimOption(command, options, "--sim-fwhm", "fwhm", false,
               "Simulator: star image FWHM in pixels (2.5)");
}

std::optional<CameraSource> MakeCameraSource(const CameraSourceOptions& options, Clock& clock,
                                             std::string& error) {
  CameraSource source;
  auto faults = std::make_shared<TransferFaults>();
  source.faults = faults;
  const char* camera = std::getenv("CORVEX_CAMERA");
  const bool simulate = options.simulate || (camera != nullptr && std::strcmp(camera, "sim") == 0);
  if (!simulate) {
    source.devices = std::make_unique<WatchedEnumerator>(MakeLibusbEnumerator(), faults);
    return source;
  }

  sim::SimConfig config;
  std::string settings;
  if (const char* env = std::getenv("CORVEX_SIM")) settings = env;
  if (options.seed) settings += ",seed=" + std::to_string(*options.seed);
  settings += options.simSettings;
  if (const auto problem = sim::ApplySimSettings(settings, config)) {
    error = *problem;
    return std::nullopt;
  }
  source.observatory = std::make_shared<sim::SimulatedObservatory>(clock, config);
  source.devices =
      std::make_unique<WatchedEnumerator>(sim::MakeSimulatedEnumerator(source.observatory), faults);
  return source;
}

}  // namespace corvex::cli
