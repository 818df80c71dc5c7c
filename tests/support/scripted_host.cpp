// Recording test Host.
#include "support/scripted_host.h"

namespace corvex::testing {

MessageResult ScriptedHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                           MessageButtons buttons, MessageIcon icon) {
  messages.push_back(RecordedMessage{std::string(text), std::string(caption), buttons, icon,
                                     Now()});
  if (buttons == MessageButtons::kOk) return MessageResult::kOk;
  if (!answers_.empty()) {
    const MessageResult answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  return buttons == MessageButtons::kOkCancel ? MessageResult::kOk : MessageResult::kYes;
}

void ScriptedHost::Beep(int sound) { beeps.push_back(sound); }

bool ScriptedHost::PumpEvents() {
  ++pumpCount;
  if (clock_) clock_->Advance(pumpStepMs);
  if (cancelAtMs_ && Now() >= *cancelAtMs_) {
    cancelAtMs_.reset();
    return true;
  }
  return false;
}

bool ScriptedHost::ConfirmCancelExposure(int elapsedSeconds) {
  cancelConfirmationsAsked.push_back(elapsedSeconds);
  if (cancelConfirmations_.empty()) return true;
  const bool discard = cancelConfirmations_.front();
  cancelConfirmations_.pop_front();
  return discard;
}

void ScriptedHost::SetWaitCursor(bool busy) { waitCursor = busy; }

void ScriptedHost::OpenProgress(std::string_view caption) {
  progressOpen = true;
  progressCaptions.emplace_back(caption);
}

void ScriptedHost::SetProgress(int position) { progressPositions.push_back(position); }

void ScriptedHost::CloseProgress() { progressOpen = false; }

std::vector<std::string> ScriptedHost::MessageTexts() const {
  std::vector<std::string> texts;
  for (const RecordedMessage& message : messages) texts.push_back(message.text);
  return texts;
}

std::vector<std::string> ScriptedHost::GuidingInfoCaptions() const {
  std::vector<std::string> captions;
  for (const GuidingInfo& info : guidingInfos) {
    if (captions.empty() || captions.back() != info.caption) captions.push_back(info.caption);
  }
  return captions;
}

}  // namespace corvex::testing
