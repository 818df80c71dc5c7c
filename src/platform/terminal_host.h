// The Host of the command-line tool: messages on stderr, a progress bar on the terminal,
// Ctrl-C as the cancel press. Texts that come from files, devices or the telescope are shown
// with their control characters escaped, so that none of them can steer the terminal.
#pragma once

#include <signal.h>

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "platform/host.h"

namespace corvex {

// `text` safe to print on a terminal: printable ASCII and well-formed UTF-8 (other than the
// C1 control range) as they are, every other byte as \xNN. With `keepLineBreaks`, '\n'
// stays a line break (message texts use it); otherwise it is escaped too.
std::string TerminalText(std::string_view text, bool keepLineBreaks = false);

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
  void ShowRunNote(std::string_view text) override;
  void CloseNotice() override;

  // How much the tool says besides its results: kQuiet drops the progress bar and the notices
  // (messages still show), kVerbose draws the progress in steps even when not on a terminal.
  enum class Verbosity { kQuiet, kNormal, kVerbose };
  void SetVerbosity(Verbosity verbosity) { verbosity_ = verbosity; }
  Verbosity verbosity() const { return verbosity_; }
  // Whether Beep rings the terminal's bell (on a terminal only).
  void SetBeeps(bool on) { beeps_ = on; }

  // Whether a Ctrl-C was taken as a cancel since the program started.
  bool CancelRequested() const { return cancelRequested_; }
  // Called after each notice closes (the "Saving Image" box closes when its save returned).
  void SetNoticeClosedHandler(std::function<void(const std::string& caption)> handler) {
    noticeClosed_ = std::move(handler);
  }

 private:
  void DrawProgress();

  std::FILE* out_;
  bool interactive_;
  bool progressOpen_ = false;
  std::string progressCaption_;
  int progressPosition_ = 0;
  int drawnCells_ = -1;
  bool cancelRequested_ = false;
  Verbosity verbosity_ = Verbosity::kNormal;
  bool beeps_ = true;
  std::string noticeCaption_;
  std::function<void(const std::string&)> noticeClosed_;
  struct sigaction previousInterrupt_ {};
};

}  // namespace corvex
