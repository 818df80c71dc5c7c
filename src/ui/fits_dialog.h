// TFITSDialog, "FITS DETAILS": the header texts and numbers that the next FITS file carries.
// Every field is shown when the dialog opens and taken back only by "Continue"; the "Unsigned
// Integer Format" box is the exception and changes its field the moment it is clicked.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>

#include "ui/processing_dialogs.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QScrollBar;

namespace corvex {
struct Corvex;
struct FitsHeaderFields;
}  // namespace corvex

namespace corvex::ui {

inline constexpr int kUtOffsetLimit = 11;  // hours either side of UT

// The header text a typed text becomes: at most `limit` characters, line breaks and other
// control characters as spaces and anything outside ASCII as "?", since a header card holds
// printable ASCII only.
std::string HeaderText(const QString& typed, int limit);
// A typed number read as "%lf" reads it: leading blanks skipped, the longest number at the
// start taken, 0 when there is none. Infinities and NaN read as 0 as well; they have no
// place in a header card.
double HeaderNumber(const QString& typed);

class TFITSDialog : public QDialog {
  Q_OBJECT

 public:
  TFITSDialog(FitsHeaderFields& fields, QWidget* parent = nullptr);

  QWidget* Control(int id) const;  // by its identifier (objectName "id<n>")
  int utOffset() const { return utOffset_; }

  // The UT offset's arrows: the left one lowers the offset while it is -10 or more, the
  // right one raises it while it is 10 or less.
  void StepUtOffset(int delta);
  // Takes every field back and closes with Accepted.
  void Continue();
  // Closes with Rejected; only the unsigned-format box has changed anything.
  void Abort();

 private:
  void Build();
  void ShowUtOffset();

  FitsHeaderFields& fields_;
  int utOffset_ = 0;
  std::map<int, QLineEdit*> edits_;
  QPlainTextEdit* history_ = nullptr;
  QPlainTextEdit* comments_ = nullptr;
  QScrollBar* utBar_ = nullptr;
  QLineEdit* utEdit_ = nullptr;
  QCheckBox* unsigned_ = nullptr;
};

// Runs a dialog that confirms through its own button, as `run` says. A dialog that `edit`
// has already closed (by pressing one of its buttons) keeps that result; otherwise
// `automatic` presses the confirming button through `confirm`. True when it ended accepted.
// The defaults and label dialogs run the same way.
bool RunConfirmedDialog(QDialog& dialog, const DialogRunner& run,
                        const std::function<void()>& confirm);

// "Show/Edit Current Image FITS details" (and the details step of "Save as FITS"): edits
// corvex.fits. True when it was left with "Continue".
bool EditFitsDetails(QWidget* parent, Corvex& corvex, const DialogRunner& run);

// "Load/Edit AutoSave FITS text": the settings file is read (message 27 when that fails), the
// texts every quick save uses are edited, and "Continue" writes the file back (message 28
// when that fails).
void LoadEditAutoSaveFitsText(QWidget* parent, Corvex& corvex, const DialogRunner& run);

}  // namespace corvex::ui
