// TCorvexWindow, the image window: it shows the display bitmap the core writes after every
// change on the chosen background colour, zoomed from 1/4 to 8 times (about the mouse
// pointer, with the wheel or + and -), pixel for pixel, or fitted to the window at its own
// aspect ratio, and dragged to pan. A new frame is shown through the automatic screen
// stretch unless the user switches it off; the stretch changes only what is shown. It says
// what lies under the pointer, in image coordinates, marks the picked star with its
// HFR, FWHM, peak and flux, handles the picking clicks, and runs every command of the menu,
// the tool bar and the accelerators by calling the core function that implements it.
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
#include <optional>

#include "processing/screen_stretch.h"
#include "processing/star_measurement.h"
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

  // ---- The view ----
  // The scale the picture is shown at: the zoom, or the fit's when fitted to the window.
  double Scale() const;
  // Zooms by `steps` of the zoom ladder (1/4 ... 8), keeping the picture's point under the
  // viewport point `anchor` where it is.
  void ZoomBy(int steps, QPointF anchor);
  void ZoomTo(double scale, QPointF anchor);
  void ActualSize();  // "1:1"
  void FitWindow();   // "Fit", keeping the aspect ratio
  QString ZoomText() const;  // "Zoom 200%", "Fit 145%"
  // Where a point of the display picture is in the viewport, and back.
  QPointF ViewportPointOf(QPointF displayPoint) const;
  QPointF DisplayPointAt(QPointF viewportPoint) const;
  // The image coordinates (column, row of the image buffer; of the 128 x 128 window for a
  // focus frame) under a viewport point, or nothing outside the picture.
  std::optional<QPoint> ImagePointAt(QPointF viewportPoint) const;
  // "x 254  y 128  value 30211" and, for a colour image, "R 120  G 98  B 77".
  QString ReadoutAt(QPoint imagePoint) const;
  QString hoverText() const { return hoverText_; }
  // The screen stretch: on for new frames, off with one click. Choosing "Auto contrast" or
  // the display stretch switches it off, since they are display transforms of their own.
  bool screenStretch() const { return screenStretch_; }
  void SetScreenStretch(bool on);
  // The stretch the picture is shown with now, in the image's values; nothing when none is.
  const std::optional<ScreenStretch>& shownStretch() const { return shownStretch_; }
  const QPixmap& shownPicture() const { return shownPixmap_; }
  // The picked star's measurement on the current image.
  const std::optional<StarMeasurement>& pickedStar() const { return pickedStar_; }
  // "HFR 1.27 px (2.9")" ... for the picked star.
  QStringList PickedStarLines() const;

  // Heard when the zoom, the readout or the stretch changes (the frame's status bar).
  std::function<void()> viewChanged;
  // A note for the status bar (the file a quick save wrote).
  std::function<void(const QString&)> statusNote;
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
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
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
  // The picture to paint: the display bitmap, or it through the screen stretch.
  void UpdateShownPicture();
  void ComposeShownPicture();
  QPixmap StretchedMono(ScreenStretch& stretch) const;
  QPixmap StretchedColour(ScreenStretch& stretch) const;
  void MeasurePickedStar();
  void PaintPickedStar(QPainter& painter);
  void SetScrollRanges();
  void ViewChanged();

  Corvex& corvex_;
  QtHost& host_;
  QPixmap displayPixmap_;
  QPixmap shownPixmap_;
  double zoom_ = 1.0;
  bool screenStretch_ = true;
  std::optional<ScreenStretch> shownStretch_;
  std::optional<StarMeasurement> pickedStar_;
  QString hoverText_;
  // A press that moves further than a click becomes a drag that pans the picture.
  std::optional<QPoint> pressedAt_;
  QPoint pressedScroll_;
  bool dragging_ = false;
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
