// The telescope panels: "CORVEX Move Telescope" for an LX200 (go-to by catalogue number,
// planet or coordinates, slew and focus arrows with their speeds, "Info from Scope") and the
// control box's "Move Telescope" with four relay arrows.
#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

class TMTDialog : public QDialog {
  Q_OBJECT

 public:
  TMTDialog(Corvex& corvex, QWidget* parent = nullptr);
  void Refresh();
  // The buttons, as a user presses them.
  void GoToObject();
  void GoToCoordinates();
  QLineEdit* Field(const char* name) const;

 private:
  Corvex& corvex_;
  QLineEdit* infoFromScope_;
  QRadioButton* rates_[4];
  QRadioButton* focusFast_;
  QRadioButton* focusSlow_;
};

class TCBDialog : public QDialog {
  Q_OBJECT

 public:
  TCBDialog(Corvex& corvex, QWidget* parent = nullptr);
};

// "Telescope Control": prepares the link, then the panel for the method.
void RunTelescopeControl(QWidget* parent, Corvex& corvex);

}  // namespace corvex::ui
