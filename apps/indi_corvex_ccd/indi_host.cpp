#include "indi_host.h"

namespace corvex::indi {

MessageResult IndiHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                       MessageButtons buttons, MessageIcon icon) {
  (void)caption;  // the program's name or a dialog title: the log names the device already
  HostMessage message;
  // What the device layer reports is nearly always a failure (a transfer, a camera not found,
  // a mount that may still be moving); only an explicit information is logged as such.
  message.error = icon != MessageIcon::kInformation;
  message.text = std::string(text);
  for (char& c : message.text) {
    if (c == '\n' || c == '\r') c = ' ';  // one log line per message
  }
  while (!message.text.empty() && message.text.back() == ' ') message.text.pop_back();
  {
    std::lock_guard lock(mutex_);
    queued_.push_back(std::move(message));
  }
  return FirstButton(buttons);
}

void IndiHost::Deliver(const std::function<void(const HostMessage&)>& deliver) {
  std::deque<HostMessage> messages;
  {
    std::lock_guard lock(mutex_);
    messages.swap(queued_);
  }
  for (const HostMessage& message : messages) deliver(message);
}

}  // namespace corvex::indi
