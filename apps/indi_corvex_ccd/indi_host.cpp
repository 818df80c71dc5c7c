#include "indi_host.h"

namespace corvex::indi {

MessageResult IndiHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                       MessageButtons buttons, MessageIcon icon) {
  HostMessage message;
  message.error = icon == MessageIcon::kStop || icon == MessageIcon::kExclamation;
  message.text =
      caption.empty() ? std::string(text) : std::string(caption) + ": " + std::string(text);
  for (char& c : message.text) {
    if (c == '\n' || c == '\r') c = ' ';  // one log line per message
  }
  {
    std::lock_guard lock(mutex_);
    queued_.push_back(std::move(message));
  }
  // No one is there to answer: take the first button, as a script would.
  return buttons == MessageButtons::kYesNo || buttons == MessageButtons::kYesNoCancel
             ? MessageResult::kYes
             : MessageResult::kOk;
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
