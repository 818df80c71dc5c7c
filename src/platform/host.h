// What long operations need from the window system they run under.
//
// The core never talks to a window system directly: message boxes, beeps, the wait cursor,
// the shared progress dialog and the cancel presses all go through a Host. The desktop app,
// the command-line tool and the tests each bring their own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvex {

enum class MessageIcon { kNone, kStop, kExclamation, kInformation, kQuestion };
enum class MessageButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };

// The answers a message box can give; the numbers are the Windows button ids, which the
// program's dialogs also use as their results (1 confirm, 2 cancel).
enum class MessageResult { kOk = 1, kCancel = 2, kYes = 6, kNo = 7 };

// Values passed to Beep: the platform's sound numbers as the program uses them.
inline constexpr int kBeepSimple = -1;
inline constexpr int kBeepOk = 0;

// What the guiding information window shows ("Guiding Info" for the main camera,
// "AutoGuider Camera Guiding" for the guider): the star's position, the last error in pixels
// and, for the guider, its last move times. The window draws the guide frame from the buffers.
struct GuidingInfo {
  bool guider = false;
  std::string caption;
  double x = 0;
  double y = 0;
  double dx = 0;
  double dy = 0;
  int slewTimeX = 0;
  int slewTimeY = 0;
  int referenceX = 0;  // where the window's cross goes
  int referenceY = 0;
  // Corrections measured since the program started (a new number: this update follows a
  // new one), and when, on the program's clock: the window's graph and log take each once.
  int measuredCorrections = 0;
  std::int64_t timeMs = 0;
};

class Host {
 public:
  virtual ~Host() = default;

  // A modal box with the given text and caption; blocks until answered.
  virtual MessageResult ShowMessageBox(std::string_view text, std::string_view caption,
                                       MessageButtons buttons = MessageButtons::kOk,
                                       MessageIcon icon = MessageIcon::kNone) = 0;
  virtual void Beep(int sound) = 0;
  // Handles pending input; true when an explicit cancel request (Esc, a Stop button, Ctrl-C)
  // arrived since the last call. Other key and mouse presses never cancel.
  virtual bool PumpEvents() = 0;
  // A cancel arrived while an exposure had been collecting light for `elapsedSeconds`: true
  // to throw the exposure away. Hosts whose cancel is deliberate on its own (Ctrl-C on a
  // terminal) keep the default; the desktop asks before a long exposure is lost.
  virtual bool ConfirmCancelExposure(int elapsedSeconds) {
    (void)elapsedSeconds;
    return true;
  }
  virtual void SetWaitCursor(bool busy) = 0;

  // The one shared progress dialog: a caption and a bar from 0 to 256.
  virtual void OpenProgress(std::string_view caption) = 0;
  virtual void SetProgress(int position) = 0;
  virtual void CloseProgress() = 0;
  // Where a capture run of several exposures is: exposure `frame` (from 1) of `frames` (0
  // for a continuous run without an end). It stays through the run's other progress captions
  // (readout, display, pause) until a `frame` of 0 ends the series.
  virtual void ShowSeriesCount(int frame, int frames) {
    (void)frame;
    (void)frames;
  }

  // A small modeless notice with one text field, such as "Saving Image" with the file name;
  // it stays until CloseNotice. Hosts without such a window may ignore it.
  virtual void ShowNotice(std::string_view caption, std::string_view text) {
    (void)caption;
    (void)text;
  }
  virtual void CloseNotice() {}

  // The guiding information window: opened or updated by every call, closed by the other.
  virtual void ShowGuidingInfo(const GuidingInfo& info) { (void)info; }
  virtual void CloseGuidingInfo() {}
  // The guider camera dialog's caption and a refresh (training draws its latest sample).
  virtual void ShowGuiderStatus(std::string_view caption) { (void)caption; }
  // A line the user should see without being stopped, during a run that goes on by itself
  // (a dither's result, a setting the run cannot follow): shown where the host shows such
  // lines, and written to the guide log while one is open.
  virtual void ShowRunNote(std::string_view text) { (void)text; }
};

}  // namespace corvex
