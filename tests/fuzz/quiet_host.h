// A Host for the fuzz targets: answers every message box with its first button, shows
// nothing, never cancels, and counts the messages so a target can check for them.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "state/host.h"

namespace corvex::fuzz {

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

// Stops the run with a message when a promise of the code under test is broken; libFuzzer
// keeps the input that did it.
inline void Require(bool holds, const char* promise) {
  if (holds) return;
  std::fprintf(stderr, "broken promise: %s\n", promise);
  std::abort();
}

}  // namespace corvex::fuzz
