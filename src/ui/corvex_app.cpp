#include "ui/corvex_app.h"

#include <cstdlib>
#include <cstring>

#include "camera/usb_libusb.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "mount/indi_mount.h"
#include "files/settings_file.h"
#include "sim/observatory.h"
#include "ui/corvex_frame.h"
#include "ui/corvex_window.h"
#include "ui/qt_host.h"

namespace corvex::ui {

std::unique_ptr<DeviceEnumerator> MakeDeviceSource(bool simulate, const std::string& settings,
                                                   Clock& clock, std::string& error) {
  const char* camera = std::getenv("CORVEX_CAMERA");
  if (!simulate && !(camera != nullptr && std::strcmp(camera, "sim") == 0)) {
    return MakeLibusbEnumerator();
  }
  sim::SimConfig config;
  std::string all;
  if (const char* env = std::getenv("CORVEX_SIM")) all = env;
  if (!settings.empty()) all += "," + settings;
  if (const auto bad = sim::ApplySimSettings(all, config)) {
    error = *bad;
    return nullptr;
  }
  return sim::MakeSimulatedEnumerator(std::make_shared<sim::SimulatedObservatory>(clock, config));
}

TCorvexApp::TCorvexApp(int& argc, char** argv, const AppOptions& options)
    : QApplication(argc, argv) {
  setApplicationName("Corvex");
  Clock& clock = options.virtualClock ? static_cast<Clock&>(virtualClock_) : steadyClock_;
  virtualClock_.SetCalendarOrigin(steadyClock_.CalendarSeconds());
  host_ = std::make_unique<QtHost>();
  host_->answerAutomatically = options.automatic;
  corvex_ = std::make_unique<Corvex>(*host_, clock, Paths::HomeFromEnvironment());
  host_->SetCorvex(corvex_.get());
  corvex_->makeMount = MakeConfiguredIndiMount;
  std::string error;
  corvex_->devices = MakeDeviceSource(options.simulate, options.simSettings, clock, error);
  if (!corvex_->devices) {
    std::fprintf(stderr, "corvex: %s\n", error.c_str());
    corvex_->devices = MakeLibusbEnumerator();
  }
  // Start-up: the settings file, then the frame with the image window (its background from
  // the settings), then the start-up ramps in the image store.
  // Starting the program never rewrites the user's file, even when it holds a bad value.
  ReadSettingsFile(*corvex_, SettingsRepair::kLeaveFile);
  ReadProgramOptionsFile(*corvex_);
  frame_ = std::make_unique<TCorvexFrame>(*corvex_, *host_);
  host_->SetParentWindow(frame_.get());
  frame_->window().acceptDialogsAutomatically = options.automatic;
  FillStartupRamps(corvex_->store);
  // The ramps are on screen from the start, not only after the first command.
  frame_->window().RefreshDisplay();
}

TCorvexApp::~TCorvexApp() {
  frame_.reset();
  corvex_.reset();
  host_.reset();
}

}  // namespace corvex::ui
