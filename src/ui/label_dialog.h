// TLabelDialog, "Label Current Image": a line of text, optionally dated, burnt into the top
// ten rows of the current image. Also the processing history box of the View menu.
#pragma once

#include <QDialog>
#include <string>

#include "ui/processing_dialogs.h"

class QCheckBox;
class QLineEdit;

namespace corvex {
struct Corvex;
struct ProcessingHistory;
}  // namespace corvex

namespace corvex::ui {

inline constexpr int kLabelTextLimit = 30;

class TLabelDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens with the text and the "Auto Date" choice of the last label; "Use FITs Date" clear.
  TLabelDialog(Corvex& corvex, QWidget* parent = nullptr);

  QWidget* Control(int id) const;  // by its identifier (objectName "id<n>")

  // The two check boxes as the user clicks them.
  void SetAutoDate(bool on);
  void SetUseFitsDate(bool on);
  // "OK": draws the label into the current image and rebuilds the display.
  void DrawLabel();

 private:
  Corvex& corvex_;
  QLineEdit* text_ = nullptr;
  QCheckBox* autoDate_ = nullptr;
  QCheckBox* useFitsDate_ = nullptr;
};

void RunLabelDialog(QWidget* parent, Corvex& corvex, const DialogRunner& run);

// The processing history box: each entry followed by " \n", from the first one up to (not
// including) the first later entry shorter than two characters.
std::string ProcessingHistoryText(const ProcessingHistory& history);
// Shows it captioned "Corvex - PROCESSING HISTORY".
void ShowProcessingHistory(Corvex& corvex);

}  // namespace corvex::ui
