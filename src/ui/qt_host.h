// The desktop Host: message boxes captioned "Corvex", the platform beep, the wait cursor, the
// shared "Filter Progress" dialog and the modeless notices, and PumpEvents, which lets Qt
// dispatch everything pending and reports whether a key or mouse-button press came in.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <vector>

#include "state/host.h"
#include "ui/host_windows.h"

class QDialog;
class QLabel;
class QScrollBar;
class QWidget;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

class TGuidingInfoDialog;
class TFilterProgress;

class QtHost final : public QObject, public Host {
 public:
  explicit QtHost(QObject* parent = nullptr);
  ~QtHost() override;

  // The window dialogs and message boxes belong to.
  void SetParentWindow(QWidget* window) { parent_ = window; }
  // The context whose guide frames the guiding window shows.
  void SetCorvex(Corvex* corvex) { corvex_ = corvex; }
  TGuidingInfoDialog* guidingInfo() const { return guidingInfo_; }

  MessageResult ShowMessageBox(std::string_view text, std::string_view caption,
                               MessageButtons buttons, MessageIcon icon) override;
  void Beep(int sound) override;
  bool PumpEvents() override;
  void SetWaitCursor(bool busy) override;
  void OpenProgress(std::string_view caption) override;
  void SetProgress(int position) override;
  void CloseProgress() override;
  void ShowNotice(std::string_view caption, std::string_view text) override;
  void CloseNotice() override;
  void ShowGuidingInfo(const GuidingInfo& info) override;
  void CloseGuidingInfo() override;
  void ShowGuiderStatus(std::string_view caption) override;

  // Who hears the guider dialog's caption changes (the dialog while it is open).
  std::function<void(std::string_view)> guiderStatus;
  // Message boxes are answered with their first button instead of being shown (screenshots
  // and tests of whole command sequences); the texts are kept.
  bool answerAutomatically = false;
  std::vector<std::string> answeredTexts;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPointer<QWidget> parent_;
  Corvex* corvex_ = nullptr;
  QPointer<TFilterProgress> progress_;
  QPointer<QDialog> notice_;
  QPointer<QLabel> noticeText_;
  QPointer<TGuidingInfoDialog> guidingInfo_;
  bool pumping_ = false;
  bool pressed_ = false;
  bool busy_ = false;
};

}  // namespace corvex::ui
