// The desktop Host: message boxes captioned "Corvex", the platform beep, the wait cursor, the
// shared "Filter Progress" dialog and the modeless notices, and PumpEvents, which lets Qt
// dispatch everything pending and reports whether the user asked to stop: Esc, or a "Stop"
// button. Other keys and clicks (a menu, raising the window) are handled as usual and never
// end a run, so a long exposure is not lost to a stray click.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/host.h"
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
  // "Stop it now?" with Yes and No, No the default; only an explicit Yes throws the exposure
  // away. Answering is not itself a stop for the next pump.
  bool ConfirmCancelExposure(int elapsedSeconds) override;
  void SetWaitCursor(bool busy) override;
  void OpenProgress(std::string_view caption) override;
  void SetProgress(int position) override;
  void CloseProgress() override;
  void ShowSeriesCount(int frame, int frames) override;
  void ShowNotice(std::string_view caption, std::string_view text) override;
  void CloseNotice() override;
  void ShowGuidingInfo(const GuidingInfo& info) override;
  void CloseGuidingInfo() override;
  void ShowGuiderStatus(std::string_view caption) override;
  void ShowRunNote(std::string_view text) override;

  // A "Stop" button was pressed: the pump under way reports a stop. A press while nothing
  // pumps is dropped, so that it cannot end the next run the moment it starts.
  void RequestCancel();
  TFilterProgress* progress() const { return progress_; }

  // Who hears the guider dialog's caption changes (the dialog while it is open).
  std::function<void(std::string_view)> guiderStatus;
  // Message boxes are answered with their first button instead of being shown (screenshots
  // and tests of whole command sequences); the texts are kept.
  bool answerAutomatically = false;
  std::vector<std::string> answeredTexts;
  // Called inside every pump, before Qt dispatches what is pending: tests act as the user
  // there, at a moment of the run they choose.
  std::function<void()> duringPump;
  // The guide log of the guiding run under way or last ended (empty before the first).
  const std::filesystem::path& guideLogPath() const { return guiding_.logPath; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TFilterProgress& Progress();  // made when first needed
  QPointer<QWidget> parent_;
  Corvex* corvex_ = nullptr;
  QPointer<TFilterProgress> progress_;
  QPointer<QDialog> notice_;
  QPointer<QLabel> noticeText_;
  QPointer<TGuidingInfoDialog> guidingInfo_;
  // The pump under way, and what it started from: Esc counts only there, not in a dialog or
  // menu that a command opened from inside the pump.
  struct PumpContext {
    bool pumping = false;
    int loopLevel = 0;
    QPointer<QWidget> modal;
    bool stopRequested = false;
  };
  PumpContext pump_;
  bool busy_ = false;

  // The guiding run the guiding window shows: from its first update to CloseGuidingInfo.
  // Each measured correction goes into the graph and, as a row, into the run's guide log.
  struct GuidingRun {
    bool active = false;
    std::int64_t startMs = 0;
    int measured = 0;  // the corrections counted when the run's last one was taken
    std::filesystem::path logPath;
    std::FILE* log = nullptr;
    bool logFailed = false;
  };
  void BeginGuidingRun(const GuidingInfo& info);
  void EndGuidingRun();
  void WriteGuideLog(const std::string& text);
  GuidingRun guiding_;
};

}  // namespace corvex::ui
