// A Host for work without a window or a person: every question gets its first button
// (OK or Yes), nothing is shown, nothing cancels. It counts the message boxes it was asked
// to show, so a caller can check whether any came up.
#pragma once

#include <string_view>

#include "platform/host.h"

namespace corvex {

class QuietHost final : public Host {
 public:
  MessageResult ShowMessageBox(std::string_view, std::string_view, MessageButtons buttons,
                               MessageIcon) override {
    ++messages;
    return buttons == MessageButtons::kYesNo || buttons == MessageButtons::kYesNoCancel
               ? MessageResult::kYes
               : MessageResult::kOk;
  }
  void Beep(int) override {}
  bool PumpEvents() override { return false; }
  void SetWaitCursor(bool) override {}
  void OpenProgress(std::string_view) override {}
  void SetProgress(int) override {}
  void CloseProgress() override {}

  int messages = 0;
};

}  // namespace corvex
