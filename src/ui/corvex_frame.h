// The program's frame: the menu "Corvex", the tool bar, the status bar with the command hints,
// the readout under the pointer, the zoom and its buttons, the screen-stretch switch and the
// keyboard indicators, the accelerators, and the image window as its client.
#pragma once

#include <QMainWindow>
#include <map>

class QAction;
class QLabel;
class QToolBar;
class QToolButton;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

class QtHost;
class TCorvexWindow;

inline constexpr const char* kFrameCaption = "Corvex USB Colour Camera Software";

class TCorvexFrame : public QMainWindow {
  Q_OBJECT

 public:
  TCorvexFrame(Corvex& corvex, QtHost& host);

  TCorvexWindow& window() { return *window_; }
  QAction* Action(int command) const;  // the menu item of a command, or null
  QToolBar* toolBar() const { return toolBar_; }
  // Enabled and checked states, the caption and the tool bar again from the program state.
  void UpdateCommands();
  // The status bar's readout, zoom and stretch switch from the image window.
  void UpdateView();
  QLabel* readout() const { return readout_; }
  QLabel* zoomLabel() const { return zoom_; }
  QToolButton* stretchButton() const { return stretch_; }

 private:
  void BuildMenus();
  void BuildToolBar();
  void BuildStatusBar();
  void BuildAccelerators();

  Corvex& corvex_;
  TCorvexWindow* window_;
  QToolBar* toolBar_ = nullptr;
  std::map<int, QAction*> actions_;
  QLabel* readout_ = nullptr;
  QLabel* zoom_ = nullptr;
  QToolButton* stretch_ = nullptr;
  char toolBarMethod_ = 0;       // the method and stretch the tool bar was built for
  bool toolBarStretch_ = false;
};

}  // namespace corvex::ui
