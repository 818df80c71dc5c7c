#include "mount/indi_mount.h"

#include <libindi/baseclient.h>
#include <libindi/basedevice.h>
#include <libindi/indiproperty.h>
#include <libindi/indipropertynumber.h>
#include <libindi/indipropertyswitch.h>

#include <chrono>
#include <csignal>
#include <condition_variable>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <utility>

namespace corvex {

namespace {

using namespace std::chrono_literals;

constexpr auto kDeviceWait = 5s;      // for the device's properties after the server answered
constexpr auto kConnectWait = 8s;     // for the mount to report itself connected
constexpr auto kSlewAnswerWait = 2s;  // for a go-to's Busy

const char* const kEquatorial = "EQUATORIAL_EOD_COORD";

// The client runs the library's reader thread; its callbacks only copy what they see into
// these fields, under the mutex, and wake whoever waits. Everything that is sent is built
// as a fresh property, so no property the reader thread updates is written here.
class IndiMount final : public Mount, public INDI::BaseClient {
 public:
  IndiMount(std::string host, int port, std::string device)
      : host_(std::move(host)), port_(port), device_(std::move(device)) {
    setServer(host_.c_str(), static_cast<unsigned>(port_));
  }

  ~IndiMount() override {
    if (isServerConnected()) disconnectServer();
  }

  bool Connect(std::string& error) override {
    if (Ready()) return true;
    if (isServerConnected()) disconnectServer();
    {
      std::lock_guard lock(mutex_);
      serverUp_ = deviceConnected_ = lost_ = haveEquatorial_ = false;
      connectionDefined_ = false;
    }
    if (!device_.empty()) watchDevice(device_.c_str());
    if (!connectServer()) {
      error = "Cannot reach the INDI server at " + Address() + ".";
      return false;
    }
    std::unique_lock lock(mutex_);
    serverUp_ = true;
    if (!changed_.wait_for(lock, kDeviceWait, [&] { return lost_ || Chosen(); })) {
      error = device_.empty()
                  ? "The INDI server at " + Address() + " offers no mount."
                  : "The INDI server at " + Address() + " has no device \"" + device_ + "\".";
      return false;
    }
    if (!deviceConnected_) {
      const std::string name = chosen_;
      lock.unlock();
      connectDevice(name.c_str());
      lock.lock();
    }
    if (!changed_.wait_for(lock, kConnectWait,
                           [&] { return lost_ || (deviceConnected_ && haveEquatorial_); }) ||
        lost_) {
      error =
          "The mount \"" + chosen_ + "\" on the INDI server at " + Address() + " did not connect.";
      return false;
    }
    return true;
  }

  bool Ready() const override {
    std::lock_guard lock(mutex_);
    return serverUp_ && deviceConnected_ && haveEquatorial_ && !lost_;
  }

  bool Lost() const override {
    std::lock_guard lock(mutex_);
    return lost_;
  }

  std::string Name() const override {
    std::lock_guard lock(mutex_);
    return "\"" + (chosen_.empty() ? device_ : chosen_) + "\" at " + Address();
  }

  bool StartPulse(char direction, int ms) override {
    const bool ns = direction == 'n' || direction == 's';
    const char* property = ns ? "TELESCOPE_TIMED_GUIDE_NS" : "TELESCOPE_TIMED_GUIDE_WE";
    const char* names[2] = {ns ? "TIMED_GUIDE_N" : "TIMED_GUIDE_W",
                            ns ? "TIMED_GUIDE_S" : "TIMED_GUIDE_E"};
    const bool first = direction == 'n' || direction == 'w';
    if (!ns && direction != 'e' && direction != 'w') return false;
    std::string device;
    {
      std::lock_guard lock(mutex_);
      if (lost_ || !deviceConnected_) return false;
      pulseProperty_ = property;
      pulseUpdates_ = updates_[property];
      device = chosen_;
    }
    SendNumbers(device, property, {{names[0], first ? ms : 0}, {names[1], first ? 0 : ms}});
    return true;
  }

  PulseEnd WaitPulse(int timeoutMs) override {
    std::unique_lock lock(mutex_);
    const bool ended = changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
      return lost_ ||
             (updates_[pulseProperty_] > pulseUpdates_ && states_[pulseProperty_] != IPS_BUSY);
    });
    if (lost_) return PulseEnd::kLost;
    return ended ? PulseEnd::kDone : PulseEnd::kTimedOut;
  }

  bool GoTo(const SkyPosition& ofDate) override {
    std::string device;
    {
      std::lock_guard lock(mutex_);
      if (lost_ || !deviceConnected_) return false;
      device = chosen_;
    }
    // Track on arrival, so the mount stays on the target.
    SendSwitches(device, "ON_COORD_SET", {{"TRACK", true}});
    {
      std::lock_guard lock(mutex_);
      // The mount answers a go-to with Busy; until then (or a short while, for a mount that
      // arrives at once) the go-to counts as under way.
      slewRequested_ = true;
      slewRequestedAt_ = std::chrono::steady_clock::now();
    }
    SendNumbers(device, kEquatorial, {{"RA", ofDate.raHours}, {"DEC", ofDate.decDegrees}});
    return true;
  }

  bool Slewing() const override {
    std::lock_guard lock(mutex_);
    const auto state = states_.find(kEquatorial);
    const bool busy = state != states_.end() && state->second == IPS_BUSY;
    const bool answering =
        slewRequested_ && std::chrono::steady_clock::now() - slewRequestedAt_ < kSlewAnswerWait;
    return !lost_ && (busy || answering);
  }

  std::optional<SkyPosition> Position() const override {
    std::lock_guard lock(mutex_);
    if (!haveEquatorial_) return std::nullopt;
    return position_;
  }

  bool StartMotion(char direction) override {
    const bool ns = direction == 'n' || direction == 's';
    if (!ns && direction != 'e' && direction != 'w') return false;
    return SendMotion(ns ? "TELESCOPE_MOTION_NS" : "TELESCOPE_MOTION_WE",
                      ns ? "MOTION_NORTH" : "MOTION_WEST", ns ? "MOTION_SOUTH" : "MOTION_EAST",
                      direction == 'n' || direction == 'w' ? 0 : 1);
  }

  bool StopMotion() override {
    const bool ns = SendMotion("TELESCOPE_MOTION_NS", "MOTION_NORTH", "MOTION_SOUTH", -1);
    const bool we = SendMotion("TELESCOPE_MOTION_WE", "MOTION_WEST", "MOTION_EAST", -1);
    return ns && we;
  }

  bool Abort() override {
    std::string device;
    {
      std::lock_guard lock(mutex_);
      // A mount that went away from a server still there is told all the same: the server
      // passes it on should the mount come back before its pulse or go-to ends.
      if (!serverUp_ || chosen_.empty()) return false;
      device = chosen_;
      slewRequested_ = false;
    }
    if (!isServerConnected()) return false;
    SendSwitches(device, "TELESCOPE_ABORT_MOTION", {{"ABORT", true}});
    return true;
  }

 protected:
  void newDevice(INDI::BaseDevice) override {}

  void removeDevice(INDI::BaseDevice device) override {
    std::lock_guard lock(mutex_);
    if (!chosen_.empty() && chosen_ == device.getDeviceName()) MarkLost();
  }

  void newProperty(INDI::Property property) override { Take(property); }
  void updateProperty(INDI::Property property) override { Take(property); }

  void serverDisconnected(int) override {
    std::lock_guard lock(mutex_);
    MarkLost();
  }

 private:
  std::string Address() const { return host_ + ":" + std::to_string(port_); }

  // Whether the device to drive is known: the named one, or the first with coordinates.
  bool Chosen() const { return !chosen_.empty() && connectionDefined_; }

  void MarkLost() {
    if (serverUp_) lost_ = true;
    changed_.notify_all();
  }

  void Take(INDI::Property property) {
    const char* deviceName = property.getDeviceName();
    const char* name = property.getName();
    if (deviceName == nullptr || name == nullptr) return;
    std::lock_guard lock(mutex_);
    if (chosen_.empty()) {
      if (!device_.empty()) {
        if (device_ != deviceName) return;
        chosen_ = device_;
      } else if (std::strcmp(name, kEquatorial) == 0) {
        // The first device with coordinates; its connection was seen before it was chosen.
        chosen_ = deviceName;
        const auto seen = connectionSeen_.find(chosen_);
        if (seen != connectionSeen_.end()) {
          connectionDefined_ = true;
          deviceConnected_ = seen->second;
        }
      } else {
        if (std::strcmp(name, "CONNECTION") == 0) {
          INDI::PropertySwitch connection(property);
          const auto* on = connection.findWidgetByName("CONNECT");
          connectionSeen_[deviceName] = on != nullptr && on->getState() == ISS_ON;
        }
        return;
      }
    }
    if (chosen_ != deviceName) return;
    ++updates_[name];
    states_[name] = property.getState();
    if (std::strcmp(name, "CONNECTION") == 0) {
      connectionDefined_ = true;
      INDI::PropertySwitch connection(property);
      const auto* on = connection.findWidgetByName("CONNECT");
      const bool connected = on != nullptr && on->getState() == ISS_ON;
      if (deviceConnected_ && !connected) MarkLost();
      deviceConnected_ = connected;
    } else if (std::strcmp(name, kEquatorial) == 0) {
      INDI::PropertyNumber coordinates(property);
      const auto* ra = coordinates.findWidgetByName("RA");
      const auto* dec = coordinates.findWidgetByName("DEC");
      if (ra != nullptr && dec != nullptr) {
        position_ = {ra->getValue(), dec->getValue()};
        haveEquatorial_ = true;
      }
      // A periodic report may come between the go-to and its answer: only Busy answers it.
      if (property.getState() == IPS_BUSY) slewRequested_ = false;
    }
    changed_.notify_all();
  }

  bool SendMotion(const char* property, const char* first, const char* second, int on) {
    std::string device;
    {
      std::lock_guard lock(mutex_);
      if (lost_ || !deviceConnected_) return false;
      device = chosen_;
    }
    SendSwitches(device, property, {{first, on == 0}, {second, on == 1}});
    return true;
  }

  // Sends `property` of `device` with its switches named and set as listed.
  void SendSwitches(const std::string& device, const char* property,
                    std::initializer_list<std::pair<const char*, bool>> switches) {
    INDI::PropertySwitch message(switches.size());
    message.setDeviceName(device.c_str());
    message.setName(property);
    int i = 0;
    for (const auto& [name, on] : switches) {
      message[i].setName(name);
      message[i].setState(on ? ISS_ON : ISS_OFF);
      ++i;
    }
    sendNewSwitch(message);
  }

  // Sends `property` of `device` with its numbers named and valued as listed.
  void SendNumbers(const std::string& device, const char* property,
                   std::initializer_list<std::pair<const char*, double>> numbers) {
    INDI::PropertyNumber message(numbers.size());
    message.setDeviceName(device.c_str());
    message.setName(property);
    int i = 0;
    for (const auto& [name, value] : numbers) {
      message[i].setName(name);
      message[i].setValue(value);
      ++i;
    }
    sendNewNumber(message);
  }

  const std::string host_;
  const int port_;
  const std::string device_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::string chosen_;
  bool serverUp_ = false;
  bool connectionDefined_ = false;
  bool deviceConnected_ = false;
  bool haveEquatorial_ = false;
  bool lost_ = false;
  bool slewRequested_ = false;
  std::chrono::steady_clock::time_point slewRequestedAt_;
  SkyPosition position_;
  std::map<std::string, long> updates_;
  std::map<std::string, IPState> states_;
  std::map<std::string, bool> connectionSeen_;  // CONNECTION of each device, until one is chosen
  std::string pulseProperty_;
  long pulseUpdates_ = 0;
};

}  // namespace

std::unique_ptr<Mount> MakeIndiMount(std::string host, int port, std::string device) {
  // A write to a server that has gone away must fail and be reported, not end the program.
  std::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<IndiMount>(std::move(host), port, std::move(device));
}

std::unique_ptr<Mount> MakeConfiguredIndiMount(const ProgramOptions& options) {
  std::string host;
  int port = 0;
  if (!ParseServerAddress(options.Text(kIndiServerKey), host, port)) return nullptr;
  return MakeIndiMount(host, port, options.Text(kIndiMountKey));
}

}  // namespace corvex
