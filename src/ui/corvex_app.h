// TCorvexApp, the application object: the one Corvex context with its Host, clock and camera
// source, and the frame window, made in the program's start-up order.
#pragma once

#include <QApplication>
#include <memory>
#include <string>

#include "platform/clock.h"

namespace corvex {
struct Corvex;
class DeviceEnumerator;
}

namespace corvex::ui {

class QtHost;
class TCorvexFrame;

struct AppOptions {
  bool simulate = false;      // the built-in simulated observatory instead of USB
  bool virtualClock = false;  // simulated time: exposures take no time (tests, screenshots)
  std::string simSettings;    // "key=value,..." for the simulator
  bool automatic = false;     // message boxes and dialogs take their defaults (screenshots)
};

class TCorvexApp : public QApplication {
 public:
  TCorvexApp(int& argc, char** argv, const AppOptions& options);
  ~TCorvexApp() override;

  Corvex& corvex() { return *corvex_; }
  QtHost& host() { return *host_; }
  TCorvexFrame& frame() { return *frame_; }
  VirtualClock& virtualClock() { return virtualClock_; }

 private:
  SteadyClock steadyClock_;
  VirtualClock virtualClock_;
  std::unique_ptr<QtHost> host_;
  std::unique_ptr<Corvex> corvex_;
  std::unique_ptr<TCorvexFrame> frame_;
};

// The camera source: the simulator (with `settings` over its defaults) or libusb. Null after
// a bad simulator setting, which `error` then names.
std::unique_ptr<DeviceEnumerator> MakeDeviceSource(bool simulate, const std::string& settings,
                                                   Clock& clock, std::string& error);

}  // namespace corvex::ui
