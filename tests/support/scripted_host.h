// A Host for tests: records every message, beep, progress step and guiding window update,
// answers questions from a script (the confirmation of a cancel among them), and presses
// "cancel" when the virtual clock reaches a chosen time.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/host.h"

namespace corvex::testing {

struct RecordedMessage {
  std::string text;
  std::string caption;
  MessageButtons buttons = MessageButtons::kOk;
  MessageIcon icon = MessageIcon::kNone;
  std::int64_t atMs = 0;
};

class ScriptedHost final : public Host {
 public:
  // With a VirtualClock, every PumpEvents call moves it on by pumpStepMs so that a loop that
  // pumps while it waits always makes progress.
  explicit ScriptedHost(VirtualClock* clock = nullptr) : clock_(clock) {}

  MessageResult ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, MessageIcon icon) override;
  void Beep(int sound) override;
  bool PumpEvents() override;
  bool ConfirmCancelExposure(int elapsedSeconds) override;
  void SetWaitCursor(bool busy) override;
  void OpenProgress(std::string_view caption) override;
  void SetProgress(int position) override;
  void CloseProgress() override;
  void ShowNotice(std::string_view caption, std::string_view text) override {
    notices.push_back(std::string(caption) + ": " + std::string(text));
  }
  void ShowGuidingInfo(const GuidingInfo& info) override {
    guidingInfos.push_back(info);
    guidingInfoOpen = true;
  }
  void CloseGuidingInfo() override {
    guidingInfoOpen = false;
    ++guidingInfoCloses;
  }
  void ShowGuiderStatus(std::string_view caption) override { guiderStatuses.emplace_back(caption); }
  void ShowRunNote(std::string_view text) override {
    runNotes.push_back({std::string(text), {}, MessageButtons::kOk, MessageIcon::kNone, Now()});
  }

  // Answers for the next questions, in order; a question with no scripted answer gets its
  // first button (OK or Yes).
  void QueueAnswer(MessageResult answer) { answers_.push_back(answer); }
  // The first PumpEvents at or after this clock time reports a cancel press.
  void CancelAt(std::int64_t ms) { cancelAtMs_ = ms; }
  // Answers for the next "throw away this exposure?" questions, in order; unscripted ones
  // say yes, as a host without the question does.
  void QueueCancelConfirmation(bool discard) { cancelConfirmations_.push_back(discard); }

  std::vector<std::string> MessageTexts() const;
  // The captions of the guiding information window, in order, repeats folded into one.
  std::vector<std::string> GuidingInfoCaptions() const;

  std::vector<RecordedMessage> messages;
  std::vector<int> beeps;
  std::vector<std::string> progressCaptions;
  std::vector<std::string> notices;  // "caption: text" of every notice shown
  std::vector<int> progressPositions;
  std::vector<GuidingInfo> guidingInfos;  // every update of the guiding information window
  bool guidingInfoOpen = false;
  int guidingInfoCloses = 0;
  std::vector<std::string> guiderStatuses;    // every caption the guider dialog was given
  std::vector<RecordedMessage> runNotes;      // every run note, with its time
  std::vector<int> cancelConfirmationsAsked;  // the seconds each question was asked with
  bool progressOpen = false;
  bool waitCursor = false;
  int pumpCount = 0;
  std::int64_t pumpStepMs = 1;

 private:
  std::int64_t Now() const { return clock_ ? clock_->NowMs() : 0; }

  VirtualClock* clock_;
  std::deque<MessageResult> answers_;
  std::optional<std::int64_t> cancelAtMs_;
  std::deque<bool> cancelConfirmations_;
};

}  // namespace corvex::testing
