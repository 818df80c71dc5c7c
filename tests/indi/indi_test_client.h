// A client of the driver on libindi's BaseClient, as KStars or PHD2 would be one: it
// connects to a server, watches "Corvex CCD", sends property changes and keeps what comes
// back (property states, frames, log messages) for a test to wait on and check.
#pragma once

#include <libindi/baseclient.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace corvex::testing {

struct ReceivedBlob {
  std::string property;  // "CCD1" or "CCD2"
  std::string format;    // ".fits"
  std::vector<std::uint8_t> bytes;
};

class IndiTestClient final : public INDI::BaseClient {
 public:
  explicit IndiTestClient(std::string device = "Corvex CCD");
  ~IndiTestClient() override;

  // Connects to localhost:`port` and waits until the device has defined `property`.
  bool Open(int port, const std::string& property = "CONNECTION", int timeoutMs = 5000);
  // Connects the device to its camera; false when it did not reach Ok.
  bool ConnectDevice(int timeoutMs = 10000);
  bool DisconnectDevice(int timeoutMs = 5000);

  void SetSwitch(const std::string& property, const std::string& element);
  void SetNumber(const std::string& property, const std::string& element, double value);
  void SetText(const std::string& property, const std::string& element, const std::string& value);

  // The state of a property as last seen ("Idle", "Ok", "Busy", "Alert"), or "" when the
  // device has not defined it.
  std::string State(const std::string& property);
  double Number(const std::string& property, const std::string& element);
  bool SwitchOn(const std::string& property, const std::string& element);
  std::string Text(const std::string& property, const std::string& element);

  // Waits until `done` holds, rechecked on every message from the server; false on timeout.
  bool WaitFor(const std::function<bool()>& done, int timeoutMs);
  // Waits until `property` is in `state`.
  bool WaitForState(const std::string& property, const std::string& state, int timeoutMs);

  std::vector<ReceivedBlob> Blobs();
  std::vector<std::string> Messages();
  void ClearReceived();

 protected:
  void newDevice(INDI::BaseDevice device) override;
  void newProperty(INDI::Property property) override;
  void updateProperty(INDI::Property property) override;
  void newMessage(INDI::BaseDevice device, int messageId) override;

 private:
  void Changed();

  std::string device_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ReceivedBlob> blobs_;
  std::vector<std::string> messages_;
};

}  // namespace corvex::testing
