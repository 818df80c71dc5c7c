// TGQSDialog, "Auto Guider Camera Control": repeated guider exposures, the guide star's
// selection, the guider's dark frame, training and its values, the hand moves, and the two
// ways out (the main camera's panel, or guiding).
#pragma once

#include <QDialog>
#include <QPoint>
#include <cstdint>
#include <map>
#include <span>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

class TGQSDialog;

// The 500 x 290 guider picture with the selected star's cross and, while training runs, the
// latest training sample's cross in a pen of its own.
class TGuiderView : public QWidget {
 public:
  TGuiderView(Corvex& corvex, TGQSDialog& dialog);
  void ShowBitmap(std::span<const std::uint8_t> bmp);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  Corvex& corvex_;
  TGQSDialog& dialog_;
  QPixmap picture_;
};

enum class GuiderPanelOutcome { kClosed, kGoToMainCamera, kStartGuiding };

class TGQSDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TGQSDialog(Corvex& corvex, QWidget* parent = nullptr);
  ~TGQSDialog() override;

  GuiderPanelOutcome outcome() const { return outcome_; }
  void Refresh();
  QWidget* Control(const char* name) const;
  TGuiderView& view() { return *view_; }

  // The buttons, as a user presses them.
  void ChooseUnit(char unit);
  void StepExposure(int delta);
  void StepStretch(int action);
  void StartExposures(int frames = 0);  // 0: until "Stop" or Esc
  void TakeDarkFrame();
  void ToggleApplyDark();
  void EnterSelectMode();
  bool SelectAt(int x, int y);  // a click on the picture, in guider-frame coordinates
  void Train();
  void UseDefault();
  void ChangeDefaults();
  void SaveLatest();
  void ShowValueAt(int x, int y);  // "Co-Ordinates" and "val" under the mouse
  bool selectMode() const { return selectMode_; }

 protected:
  // Leaving the panel while it takes repeated exposures ends them after the current frame.
  void done(int result) override;

 private:
  void Build();
  bool TakeFrame();  // one frame and its picture; false after a bitmap message

  Corvex& corvex_;
  TGuiderView* view_;
  GuiderPanelOutcome outcome_ = GuiderPanelOutcome::kClosed;
  bool selectMode_ = false;
  bool stopRequested_ = false;
  std::map<char, QRadioButton*> units_;
  std::map<std::string, QCheckBox*> checks_;
  std::map<std::string, QLineEdit*> fields_;
  QScrollBar* exposureBar_ = nullptr;
  QScrollBar* stretchBar_ = nullptr;
  QPushButton* useDefault_ = nullptr;
};

// Opens the panel modally and says how it was left.
GuiderPanelOutcome RunGuiderPanel(QWidget* parent, Corvex& corvex);

}  // namespace corvex::ui
