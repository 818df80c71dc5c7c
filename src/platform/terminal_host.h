// The Host of the command-line tool: messages on stderr, a progress bar on the terminal,
// Ctrl-C as the cancel press.
#pragma once

#include <signal.h>

#include <cstdio>
#include <string>

#include "state/host.h"

namespace corvex {

class TerminalHost final : public Host {
 public:
  // Installs the Ctrl-C handler; a second Ctrl-C before the first was taken ends the program.
  explicit TerminalHost(std::FILE* out = stderr);
  ~TerminalHost() override;

  MessageResult ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, MessageIcon icon) override;
  void Beep(int sound) override;
  bool PumpEvents() override;
  void SetWaitCursor(bool) override {}
  void OpenProgress(std::string_view caption) override;
  void SetProgress(int position) override;
  void CloseProgress() override;
  void ShowNotice(std::string_view caption, std::string_view text) override;

 private:
  void DrawProgress();

  std::FILE* out_;
  bool interactive_;
  bool progressOpen_ = false;
  std::string progressCaption_;
  int progressPosition_ = 0;
  int drawnCells_ = -1;
  struct sigaction previousInterrupt_ {};
};

}  // namespace corvex
