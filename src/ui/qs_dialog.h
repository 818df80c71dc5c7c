// TQSDialog, "Corvex - Camera Control Interface": the modal panel in which the user sets up
// an exposure and starts it. Every control shows or changes a field of ProgramState, and the
// whole panel is refreshed from those fields after every change.
#pragma once

#include <QDialog>
#include <map>
#include <optional>
#include <string>

#include "runs/capture_run.h"

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class QSpinBox;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

class TFocusGraph;

// The range of an exposure unit: the value a range button sets and the largest value.
struct ExposureRange {
  char unit;
  int initialValue;
  int maximum;
};
ExposureRange RangeOfUnit(char unit);
// Whether an exposure is short enough to be a guide exposure: 'q' below 12000, 'h' below
// 1200, 't' below 120, 's' below 12, never minutes.
bool ShortEnoughToGuide(char unit, int value);
// The "Camera Status" text.
const char* CameraStatusText(bool continuousMode, int exposureCount, bool selfGuideNext);
// The typed exposure value when it is a whole number from 1 to the unit's largest value.
std::optional<int> ParseExposureValue(const QString& text, char unit);
// What the panel says when a typed exposure value is refused.
std::string ExposureValueRangeText(char unit);

class TQSDialog : public QDialog {
  Q_OBJECT

 public:
  TQSDialog(Corvex& corvex, QWidget* parent = nullptr);

  PanelOutcome outcome() const { return outcome_; }
  // The panel again from the fields.
  void Refresh();
  QWidget* Control(int id) const;  // by its identifier (objectName "id<n>")
  // Focus mode's HFR and FWHM, frame by frame.
  TFocusGraph* focusGraph() const { return focusGraph_; }

  // The buttons, as the user presses them.
  void ChooseRange(char unit);
  void StepExposure(int delta);
  void StepCount(int delta);
  void StepPause(int delta);
  void ToggleSelfGuideNext();
  void ToggleMatchingDarkframe();
  void FilterFirst();
  void FilterNext();
  void FilterPrev();
  void TakePhoto(bool autoGuide);
  void GoToGuider();
  void StartFocus();
  void ShowHelp();

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Leaving the panel while focus mode runs in it ends focus mode after its frame.
  void done(int result) override;

 private:
  void Build();
  // The exposure value as typed: true when it is usable (and now in ProgramState); otherwise
  // the refusal is shown and the typed text stays for the user to correct.
  bool TakeTypedExposure();
  void PrepareLinkOnce();
  void MoveFilter(int position);

  Corvex& corvex_;
  PanelOutcome outcome_ = PanelOutcome::kCancel;
  bool linkPrepared_ = false;
  // The user has typed into "Exposure Value" and the text is not a usable value yet: the
  // refresh after another control must not overwrite it.
  bool exposureTyped_ = false;
  // The exposure value from before the user started typing, while the typing goes on.
  std::optional<int> valueBeforeTyping_;
  std::map<char, QRadioButton*> ranges_;
  std::map<int, QCheckBox*> checks_;
  QScrollBar* exposureBar_ = nullptr;
  QScrollBar* countBar_ = nullptr;
  QScrollBar* pauseBar_ = nullptr;
  QScrollBar* stretchBar_ = nullptr;
  QLabel* focusFrame_ = nullptr;
  TFocusGraph* focusGraph_ = nullptr;
  std::map<int, QLineEdit*> edits_;
  QSpinBox* ditherAmount_ = nullptr;  // "Dither" amount, pixels
};

// Opens the panel modally (with `automatic`, accepts "Take Photo" with the current settings
// at once) and says how it was left.
PanelOutcome RunCameraPanel(QWidget* parent, Corvex& corvex, bool automatic);

}  // namespace corvex::ui
