// Terminal implementation of the Host.
#include "platform/terminal_host.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <iostream>

#include "platform/paths.h"

namespace corvex {

namespace {

std::atomic<int> g_pendingInterrupts{0};

void OnInterrupt(int) {
  if (g_pendingInterrupts.fetch_add(1) >= 1) {
    // Asked twice: stop at once, without leaving the run's temporary files behind.
    RemoveRunTempDirectoriesNow();
    _exit(130);
  }
}

constexpr int kProgressCells = 32;
constexpr int kProgressMax = 256;

const char* ButtonPrompt(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOkCancel: return " [O]k / [C]ancel? ";
    case MessageButtons::kYesNo: return " [Y]es / [N]o? ";
    case MessageButtons::kYesNoCancel: return " [Y]es / [N]o / [C]ancel? ";
    case MessageButtons::kOk: break;
  }
  return "";
}

// The first button is the default, taken when nobody is at the terminal to answer.
MessageResult DefaultAnswer(MessageButtons buttons) {
  return buttons == MessageButtons::kOk || buttons == MessageButtons::kOkCancel
             ? MessageResult::kOk
             : MessageResult::kYes;
}

MessageResult ParseAnswer(MessageButtons buttons, char c) {
  switch (c) {
    case 'o': case 'O': return MessageResult::kOk;
    case 'c': case 'C': return MessageResult::kCancel;
    case 'y': case 'Y': return MessageResult::kYes;
    case 'n': case 'N': return MessageResult::kNo;
    default: return DefaultAnswer(buttons);
  }
}

}  // namespace

TerminalHost::TerminalHost(std::FILE* out)
    : out_(out), interactive_(isatty(fileno(out)) && isatty(STDIN_FILENO)) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousInterrupt_);
}

TerminalHost::~TerminalHost() {
  sigaction(SIGINT, &previousInterrupt_, nullptr);
}

MessageResult TerminalHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                           MessageButtons buttons, MessageIcon) {
  if (progressOpen_) std::fputc('\n', out_);
  drawnCells_ = -1;
  const std::string label = caption.empty() ? std::string("Corvex") : std::string(caption);
  std::fprintf(out_, "%s: %.*s", label.c_str(), static_cast<int>(text.size()), text.data());
  if (buttons == MessageButtons::kOk) {
    std::fputc('\n', out_);
    std::fflush(out_);
    return MessageResult::kOk;
  }
  std::fputs(ButtonPrompt(buttons), out_);
  std::fflush(out_);
  if (!interactive_) {
    std::fputc('\n', out_);
    return DefaultAnswer(buttons);
  }
  std::string line;
  if (!std::getline(std::cin, line) || line.empty()) return DefaultAnswer(buttons);
  return ParseAnswer(buttons, line[0]);
}

void TerminalHost::Beep(int) {
  if (interactive_) {
    std::fputc('\a', out_);
    std::fflush(out_);
  }
}

bool TerminalHost::PumpEvents() {
  if (g_pendingInterrupts.load() == 0) return false;
  g_pendingInterrupts.store(0);
  return true;
}

void TerminalHost::ShowNotice(std::string_view caption, std::string_view text) {
  std::fprintf(out_, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
               static_cast<int>(text.size()), text.data());
}

void TerminalHost::OpenProgress(std::string_view caption) {
  progressOpen_ = true;
  progressCaption_ = std::string(caption);
  progressPosition_ = 0;
  drawnCells_ = -1;
  DrawProgress();
}

void TerminalHost::SetProgress(int position) {
  progressPosition_ = std::clamp(position, 0, kProgressMax);
  if (progressOpen_) DrawProgress();
}

void TerminalHost::CloseProgress() {
  if (!progressOpen_) return;
  progressOpen_ = false;
  if (interactive_) std::fputc('\n', out_);
  std::fflush(out_);
}

void TerminalHost::DrawProgress() {
  const int cells = progressPosition_ * kProgressCells / kProgressMax;
  if (cells == drawnCells_) return;
  drawnCells_ = cells;
  if (!interactive_) {
    // Not a terminal: one line when the dialog opens, none per step, so logs stay readable.
    if (cells == 0) std::fprintf(out_, "%s...\n", progressCaption_.c_str());
    return;
  }
  const std::string bar = std::string(cells, '#') + std::string(kProgressCells - cells, ' ');
  std::fprintf(out_, "\r%s [%s] %3d%%", progressCaption_.c_str(), bar.c_str(),
               progressPosition_ * 100 / kProgressMax);
  std::fflush(out_);
}

}  // namespace corvex
