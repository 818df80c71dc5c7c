#include "indi_test_client.h"

#include <libindi/basedevice.h>

namespace corvex::testing {

IndiTestClient::IndiTestClient(std::string device) : device_(std::move(device)) {
  watchDevice(device_.c_str());
}

IndiTestClient::~IndiTestClient() {
  disconnectServer();
}

bool IndiTestClient::Open(int port, const std::string& property, int timeoutMs) {
  setServer("localhost", static_cast<unsigned>(port));
  if (!connectServer()) return false;
  return WaitFor([&] { return !State(property).empty(); }, timeoutMs);
}

bool IndiTestClient::ConnectDevice(int timeoutMs) {
  setBLOBMode(B_ALSO, device_.c_str(), nullptr);
  SetSwitch("CONNECTION", "CONNECT");
  return WaitFor(
      [&] {
        // The driver defines its own guider clean-ups last of the camera's properties.
        return SwitchOn("CONNECTION", "CONNECT") && State("CONNECTION") == "Ok" &&
               !State("CCD_EXPOSURE").empty() && !State("CORVEX_GUIDER_CLEANUP").empty();
      },
      timeoutMs);
}

void IndiTestClient::SetSwitch(const std::string& property, const std::string& element) {
  // As a client's button does: this switch on and, in a one-of-many vector, the others off.
  INDI::BaseDevice device = getDevice(device_.c_str());
  INDI::PropertyView<ISwitch>* switches =
      device.isValid() ? device.getProperty(property.c_str()).getSwitch() : nullptr;
  if (switches == nullptr) return;
  if (switches->getRule() == ISR_1OFMANY) switches->reset();
  INDI::WidgetView<ISwitch>* widget = switches->findWidgetByName(element.c_str());
  if (widget == nullptr) return;
  widget->setState(ISS_ON);
  sendNewSwitch(switches);
}

bool IndiTestClient::DisconnectDevice(int timeoutMs) {
  SetSwitch("CONNECTION", "DISCONNECT");
  // The camera's properties go when the device is disconnected.
  return WaitFor([&] { return State("CCD_EXPOSURE").empty(); }, timeoutMs);
}

void IndiTestClient::SetNumber(const std::string& property, const std::string& element,
                               double value) {
  sendNewNumber(device_.c_str(), property.c_str(), element.c_str(), value);
}

void IndiTestClient::SetText(const std::string& property, const std::string& element,
                             const std::string& value) {
  sendNewText(device_.c_str(), property.c_str(), element.c_str(), value.c_str());
}

std::string IndiTestClient::Text(const std::string& property, const std::string& element) {
  INDI::BaseDevice device = getDevice(device_.c_str());
  if (!device.isValid()) return "";
  INDI::PropertyView<IText>* texts = device.getProperty(property.c_str()).getText();
  if (texts == nullptr) return "";
  INDI::WidgetView<IText>* text = texts->findWidgetByName(element.c_str());
  return text != nullptr && text->getText() != nullptr ? text->getText() : "";
}

std::string IndiTestClient::State(const std::string& property) {
  INDI::BaseDevice device = getDevice(device_.c_str());
  if (!device.isValid()) return "";
  INDI::Property found = device.getProperty(property.c_str());
  if (!found.isValid()) return "";
  return found.getStateAsString();
}

double IndiTestClient::Number(const std::string& property, const std::string& element) {
  INDI::BaseDevice device = getDevice(device_.c_str());
  if (!device.isValid()) return 0;
  INDI::PropertyView<INumber>* numbers = device.getProperty(property.c_str()).getNumber();
  if (numbers == nullptr) return 0;
  INDI::WidgetView<INumber>* number = numbers->findWidgetByName(element.c_str());
  return number != nullptr ? number->getValue() : 0;
}

bool IndiTestClient::SwitchOn(const std::string& property, const std::string& element) {
  INDI::BaseDevice device = getDevice(device_.c_str());
  if (!device.isValid()) return false;
  INDI::PropertyView<ISwitch>* switches = device.getProperty(property.c_str()).getSwitch();
  if (switches == nullptr) return false;
  INDI::WidgetView<ISwitch>* widget = switches->findWidgetByName(element.c_str());
  return widget != nullptr && widget->getState() == ISS_ON;
}

bool IndiTestClient::WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  std::unique_lock lock(mutex_);
  while (true) {
    lock.unlock();
    const bool met = done();
    lock.lock();
    if (met) return true;
    // Also woken every 50 ms: the library changes a property before it tells us.
    if (changed_.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                         std::chrono::milliseconds(50))) ==
            std::cv_status::timeout &&
        std::chrono::steady_clock::now() >= deadline) {
      lock.unlock();
      return done();
    }
  }
}

bool IndiTestClient::WaitForState(const std::string& property, const std::string& state,
                                  int timeoutMs) {
  return WaitFor([&] { return State(property) == state; }, timeoutMs);
}

std::vector<ReceivedBlob> IndiTestClient::Blobs() {
  std::lock_guard lock(mutex_);
  return blobs_;
}

std::vector<std::string> IndiTestClient::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

void IndiTestClient::ClearReceived() {
  std::lock_guard lock(mutex_);
  blobs_.clear();
  messages_.clear();
}

void IndiTestClient::newDevice(INDI::BaseDevice) {
  Changed();
}
void IndiTestClient::newProperty(INDI::Property) {
  Changed();
}

void IndiTestClient::updateProperty(INDI::Property property) {
  if (property.getType() == INDI_BLOB) {
    INDI::PropertyView<IBLOB>* view = property.getBLOB();
    if (view != nullptr && view->count() > 0) {
      const INDI::WidgetView<IBLOB>& blob = *view->at(0);
      ReceivedBlob received;
      received.property = property.getName();
      received.format = blob.getFormat();
      const auto* bytes = static_cast<const std::uint8_t*>(blob.getBlob());
      if (bytes != nullptr && blob.getSize() > 0)
        received.bytes.assign(bytes, bytes + blob.getSize());
      std::lock_guard lock(mutex_);
      blobs_.push_back(std::move(received));
    }
  }
  Changed();
}

void IndiTestClient::newMessage(INDI::BaseDevice device, int messageId) {
  {
    std::lock_guard lock(mutex_);
    messages_.push_back(device.messageQueue(static_cast<std::size_t>(messageId)));
  }
  Changed();
}

void IndiTestClient::Changed() {
  std::lock_guard lock(mutex_);
  changed_.notify_all();
}

}  // namespace corvex::testing

// libindi's client library keeps each device's properties in shared pointers that point at
// one another, so they are never freed; under LeakSanitizer those are the library's leaks,
// not the tests'.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libindiclient.so\n";
}
