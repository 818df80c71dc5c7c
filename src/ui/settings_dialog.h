// TINIDialog, "Set Program Defaults": every option the settings file keeps that no other
// dialog edits, and the automatic save's format from corvex.conf. The controls change
// ProgramSettings (and the options) directly; "Save Changes" writes the settings file and the
// format's line of corvex.conf, "Cancel" leaves the changes in memory unwritten.
//
// Every click on one of its buttons (push buttons, radio buttons and check boxes alike) first
// takes the numbers typed into the twelve guiding-parameter fields, then applies the click,
// then redraws every control from the fields.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <string>

#include "ui/processing_dialogs.h"

class QAbstractButton;
class QLabel;
class QLineEdit;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

inline constexpr int kHysteresisLimit = 20;
inline constexpr int kFilterNameLimit = 8;     // characters of a filter name taken
inline constexpr int kAutosaveTextLimit = 79;  // characters of the directory text taken

// What "Set AutoSave Dir" makes of the typed text: the stored (Windows-form or POSIX) path,
// or an error text saying why it cannot be used. The directory is created when it is missing.
struct AutosaveChoice {
  std::string directory;  // empty on failure
  std::string error;
};
AutosaveChoice ChooseAutosaveDirectory(const Corvex& corvex, std::string typed);

// The "Status" text of the filter wheel: the serial port the telescope leaves free.
const char* FilterWheelStatus(bool available, char comPortChar);
// The camera serial port index of the filter wheel: the one the telescope does not use.
int FilterWheelPort(char comPortChar);

class TINIDialog : public QDialog {
  Q_OBJECT

 public:
  TINIDialog(Corvex& corvex, QWidget* parent = nullptr);

  QWidget* Control(int id) const;  // by its identifier (objectName "id<n>")

  // The controls again from the fields.
  void Refresh();
  // "Save Changes": writes the settings file (message 21 when that fails) and closes.
  void SaveChanges();

 private:
  void Build();
  // Connects a button's click to `action`, wrapped in the dialog's click rule.
  void OnClick(QAbstractButton* button, std::function<void()> action);
  void TakeGuidingNumbers();
  void SetAutosaveDirectory();
  void ShowAutosaveLocation();
  void SetFilters();

  Corvex& corvex_;
  QLabel* autosaveShown_ = nullptr;
  std::map<int, QLineEdit*> edits_;
  std::map<int, QAbstractButton*> buttons_;
  // The mount settings as the dialog found them: only changed ones are written.
  std::map<std::string, std::string> mountOptionsAtOpen_;
};

// Reads the settings file (message 20 when that fails) and runs the dialog.
void RunProgramDefaults(QWidget* parent, Corvex& corvex, const DialogRunner& run);

}  // namespace corvex::ui
