// The driver's Host: what the device layer reports (failed transfers, a camera that was not
// found, a mount that may still be moving) becomes a message in the INDI clients' logs
// instead of a message box nobody could answer.
//
// The camera runs on the exposure thread while INDI's event loop owns the connection to the
// server, so messages are queued here and handed to the driver's logger from the event loop.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/quiet_host.h"

namespace corvex::indi {

struct HostMessage {
  bool error = false;  // anything but an information: the client shows it as an error
  std::string text;
};

// Nothing cancels through the host: the driver's abort reaches an exposure through its
// cancel hook.
class IndiHost final : public UnattendedHost {
 public:
  MessageResult ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, MessageIcon icon) override;

  // Hands every queued message, oldest first, to `deliver`. Called on the event loop.
  void Deliver(const std::function<void(const HostMessage&)>& deliver);

 private:
  std::mutex mutex_;
  std::deque<HostMessage> queued_;
};

}  // namespace corvex::indi
