// Terminal implementation of the Host.
#include "platform/terminal_host.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
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

// The length of the well-formed UTF-8 sequence of a code point from U+00A0 on that starts
// at `at`, or 0. Overlong forms, surrogates and the C1 controls (which some terminals obey
// as escapes) do not count.
std::size_t PrintableUtf8Length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    if (lead == 0xC2) low = 0xA0;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
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

std::string TerminalText(std::string_view text, bool keepLineBreaks) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c >= 0x20 && c < 0x7F) || (c == '\n' && keepLineBreaks)) {
      shown += static_cast<char>(c);
      ++i;
    } else if (const std::size_t length = PrintableUtf8Length(text, i); length > 0) {
      shown.append(text.substr(i, length));
      i += length;
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
      ++i;
    }
  }
  return shown;
}

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
  const std::string label = caption.empty() ? std::string("Corvex") : TerminalText(caption);
  std::fprintf(out_, "%s: %s", label.c_str(), TerminalText(text, true).c_str());
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
  if (interactive_ && beeps_) {
    std::fputc('\a', out_);
    std::fflush(out_);
  }
}

bool TerminalHost::PumpEvents() {
  if (g_pendingInterrupts.load() == 0) return false;
  g_pendingInterrupts.store(0);
  cancelRequested_ = true;
  return true;
}

void TerminalHost::ShowNotice(std::string_view caption, std::string_view text) {
  noticeCaption_ = std::string(caption);
  if (verbosity_ == Verbosity::kQuiet) return;
  std::fprintf(out_, "%s: %s\n", TerminalText(caption).c_str(), TerminalText(text).c_str());
}

void TerminalHost::ShowRunNote(std::string_view text) {
  if (verbosity_ == Verbosity::kQuiet) return;
  std::fprintf(out_, "%s\n", TerminalText(text).c_str());
}

void TerminalHost::CloseNotice() {
  const std::string caption = std::move(noticeCaption_);
  noticeCaption_.clear();
  if (noticeClosed_) noticeClosed_(caption);
}

void TerminalHost::OpenProgress(std::string_view caption) {
  progressOpen_ = true;
  progressCaption_ = TerminalText(caption);
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
  if (interactive_ && verbosity_ != Verbosity::kQuiet) std::fputc('\n', out_);
  std::fflush(out_);
}

void TerminalHost::DrawProgress() {
  if (verbosity_ == Verbosity::kQuiet) return;
  const int cells = progressPosition_ * kProgressCells / kProgressMax;
  if (cells == drawnCells_) return;
  drawnCells_ = cells;
  if (!interactive_) {
    // Not a terminal: one line when the dialog opens, none per step, so logs stay readable;
    // verbose, a line at each eighth.
    if (cells == 0) {
      std::fprintf(out_, "%s...\n", progressCaption_.c_str());
    } else if (verbosity_ == Verbosity::kVerbose && cells % (kProgressCells / 8) == 0) {
      std::fprintf(out_, "%s %d%%\n", progressCaption_.c_str(),
                   progressPosition_ * 100 / kProgressMax);
    }
    return;
  }
  const std::string bar = std::string(cells, '#') + std::string(kProgressCells - cells, ' ');
  std::fprintf(out_, "\r%s [%s] %3d%%", progressCaption_.c_str(), bar.c_str(),
               progressPosition_ * 100 / kProgressMax);
  std::fflush(out_);
}

}  // namespace corvex
