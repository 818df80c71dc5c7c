// TCorvexWindow, the image window: it shows the display bitmap the core writes after every
// change (at its size with single-pixel scrolling, or fitted to the window, on the chosen
// background colour), handles the picking clicks, and runs every command of the menu, the
// tool bar and the accelerators by calling the core function that implements it.
#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <span>

#include <QPrinter>

#include "ui/merge_dialog.h"
#include "ui/processing_dialogs.h"
#include "ui/viewer_windows.h"

class QDialog;

namespace corvex {
struct Corvex;
}

namespace corvex::ui {

class QtHost;

class TCorvexWindow : public QAbstractScrollArea {
  Q_OBJECT

 public:
  TCorvexWindow(Corvex& corvex, QtHost& host, QWidget* parent = nullptr);

  // Runs one command number; true when the window knows it.
  bool Command(int id);
  // Whether a command can run now (the menu and tool bar grey the others).
  bool CommandEnabled(int id) const;
  bool CommandChecked(int id) const;

  // Shows the display bitmap (the bytes of a BMP file); when they cannot be read, message 32
  // and the old picture stays.
  bool ShowDisplayBitmap(std::span<const std::uint8_t> bmp);
  // Rebuilds the display image through the core, then loads it.
  void RefreshDisplay();
  void AdjustScroller();

  // The picking handler for a left-button release at image coordinates (x, y).
  void PickAt(int x, int y);

  QString fileTitle() const { return fileTitle_; }
  QColor backgroundColour() const;
  QSize displaySize() const { return displayPixmap_.size(); }
  bool hasDisplay() const { return !displayPixmap_.isNull(); }
  bool focusCentrePickMode() const { return focusCentrePickMode_; }
  bool pickGuideStarMode() const { return pickGuideStarMode_; }

  // Heard after every command: the frame updates its caption, tool bar and command states.
  std::function<void()> commandsChanged;
  // How the window answers the dialogs a command opens; the default shows them. The
  // screenshot mode and the tests accept every dialog with its defaults instead.
  bool acceptDialogsAutomatically = false;
  // The path a file dialog would return when dialogs are accepted automatically.
  QString automaticFilePath;
  // Changes a parameter dialog before it is accepted automatically (tests).
  std::function<void(QDialog&)> dialogEdit;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  QString OpenFileName(const char* caption, const char* filter);
  QString SaveFileName(const char* caption, const char* filter, const char* defaultExtension,
                       const char* initialName);
  void SetFileTitle(const QString& path);
  void Changed();
  void RunCameraInterface();
  void RunGuiderInterface();
  bool RunDialogCommand(int id);
  DialogRunner Runner() const;
  void PrintSetup();
  void Print();
  void CopyToClipboard();
  void ShowHelp();
  void OpenImage();
  void SaveRaw();
  void SaveFits();
  void SaveStandardFits();
  void SaveTiff();
  void SaveFlatfield();
  void DeleteFile();
  void SelectDarkFrame();
  void SubtractDark();
  void FlatField();
  void About();

  Corvex& corvex_;
  QtHost& host_;
  QPixmap displayPixmap_;
  QString fileTitle_ = "(Untitled)";
  int filterIndex_ = 1;  // the remembered filter of the file dialogs, 1-based
  bool focusCentrePickMode_ = false;
  bool pickGuideStarMode_ = false;
  bool starMarked_ = false;
  QPointer<TMergeDialog> mergeDialog_;
  QPointer<THistDialog> histogram_;
  QPointer<TValuesDialog> valuesDialog_;
  QPrinter printer_;

 public:
  TMergeDialog* mergeDialog() const { return mergeDialog_; }
  TValuesDialog* valuesDialog() const { return valuesDialog_; }
  THistDialog* histogram() const { return histogram_; }
  // Prints the display bitmap on `printer`, as large as the page allows.
  bool PrintDisplay(QPrinter& printer);
  // The user manual, or empty when it cannot be found.
  static QString ManualPath();
};

}  // namespace corvex::ui
