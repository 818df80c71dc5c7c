// Hosts for work without a window or a person to answer.
#pragma once

#include <string_view>

#include "platform/host.h"

namespace corvex {

// Nothing is shown and nothing cancels: beeps, the wait cursor and the progress dialog go
// nowhere. A message box is left to the host that knows where its text should go.
class UnattendedHost : public Host {
 public:
  void Beep(int) override {}
  bool PumpEvents() override { return false; }
  void SetWaitCursor(bool) override {}
  void OpenProgress(std::string_view) override {}
  void SetProgress(int) override {}
  void CloseProgress() override {}

 protected:
  // No one is there to answer: the first button, OK or Yes, as a script would take it.
  static MessageResult FirstButton(MessageButtons buttons) {
    return buttons == MessageButtons::kYesNo || buttons == MessageButtons::kYesNoCancel
               ? MessageResult::kYes
               : MessageResult::kOk;
  }
};

// Every question gets its first button and its text goes nowhere. It counts the message
// boxes it was asked to show, so a caller can check whether any came up.
class QuietHost final : public UnattendedHost {
 public:
  MessageResult ShowMessageBox(std::string_view, std::string_view, MessageButtons buttons,
                               MessageIcon) override {
    ++messages;
    return FirstButton(buttons);
  }

  int messages = 0;
};

}  // namespace corvex
