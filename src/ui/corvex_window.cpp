#include "ui/corvex_window.h"

#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBrowser>
#include <QFileDialog>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "camera/camera_link.h"
#include "commands/calibration_commands.h"
#include "commands/colour_commands.h"
#include "commands/contrast_commands.h"
#include "commands/display_commands.h"
#include "commands/file_commands.h"
#include "commands/filter_commands.h"
#include "commands/settings_commands.h"
#include "guiding/telescope_link.h"
#include "runs/capture_run.h"
#include "corvex.h"
#include "files/fits_file.h"
#include "files/image_loader.h"
#include "commands/quick_save.h"
#include "files/raw_file.h"
#include "files/settings_file.h"
#include "files/tiff_file.h"
#include "runs/guide_training.h"
#include "guiding/guide_frames.h"
#include "runs/guiding_loops.h"
#include "guiding/star_pick.h"
#include "processing/calibration.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "processing/contrast_stretch.h"
#include "processing/display_image.h"
#include "processing/screen_stretch.h"
#include "processing/sensor_geometry.h"
#include "processing/spatial_filters.h"
#include "processing/star_measurement.h"
#include "state/messages.h"
#include "ui/command_map.h"
#include "ui/fits_dialog.h"
#include "ui/guider_dialog.h"
#include "ui/label_dialog.h"
#include "ui/merge_dialog.h"
#include "ui/processing_dialogs.h"
#include "ui/qs_dialog.h"
#include "ui/qt_host.h"
#include "ui/settings_dialog.h"
#include "ui/shown_path.h"
#include "ui/telescope_dialogs.h"
#include "ui/viewer_windows.h"

namespace corvex::ui {

namespace {

using namespace command;

constexpr const char* kOpenFilter = "Quellmark (~*.)|~*.*|FITS files|*.FIT|All Files|*.*|";
constexpr const char* kSaveFilter = "Quellmark (~*.)|~*.*|FITs files|*.FIT|All Files(*.*)|*.*|";
constexpr const char* kDeleteFilter =
    "Quellmark (~*.)|~*.*|FITS files|*.FIT|All Files(*.*)|*.*|";
constexpr const char* kFitsFilter = "FITS file (*.FIT)|*.FIT|All Files(*.*)|*.*|";
constexpr const char* kTiffFilter = "Tiff file (*.TIF)|*.TIF|All Files(*.*)|*.*|";
constexpr const char* kStandardFitsFilter =
    "Standard FITS file (*.fits)|*.fits|All Files(*.*)|*.*|";
constexpr int kCrossHalf = 20;
constexpr double kQzRowScale = 373.0 / 290.0;
constexpr double kZoomLadder[] = {0.25, 1.0 / 3, 0.5, 2.0 / 3, 1, 1.5, 2, 3, 4, 6, 8};
constexpr double kSmallestZoom = 0.25;
constexpr double kLargestZoom = 8;
constexpr int kDragThreshold = 4;  // pixels a press may move and still be a click
constexpr int kFocusSide = 128;
// The columns of a stored frame that hold the camera's pixels (the rest are its reference
// columns and padding): the screen stretch looks at these.
constexpr int kFirstFrameColumn = 6;
constexpr int kLastFrameColumn = 505;
constexpr int kStarRadius = 10;  // the aperture a picked star is measured with, at first

// A Windows filter list ("Name|patterns|Name|patterns|") in Qt's form, one "Name (patterns)"
// per entry. Upper-case patterns also match lower case, as they do on the original's disks.
QStringList QtFilters(const char* windowsFilter) {
  const QStringList parts = QString(windowsFilter).split('|', Qt::SkipEmptyParts);
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    if (patterns != patterns.toLower()) patterns += " " + patterns.toLower();
    filters << parts[i] + " (" + patterns + ")";
  }
  return filters;
}

std::filesystem::path Path(const QString& text) { return std::filesystem::path(text.toStdString()); }

// Commands that run a core operation with no question asked.
bool RunPlainCommand(Corvex& corvex, int id) {
  switch (id) {
    case kSineStretch: SineStretch(corvex); return true;
    case kLogStretch: LogStretch(corvex); return true;
    case kAntiLogStretch: AntiLogStretch(corvex); return true;
    case kInvert: InvertImage(corvex); return true;
    case kRemoveBackground: RemoveBackground(corvex); return true;
    case kHighPassLowPower: HighPassLowPowerFilter(corvex); return true;
    case kHighPassHighPower: HighPassHighPowerFilter(corvex); return true;
    case kSmootherSharper: SmootherSharperFilter(corvex); return true;
    case kGaussianFilter: GaussianFilter(corvex); return true;
    case kLowPassFilter: LowPassFilter(corvex); return true;
    case kBasRelief: BasReliefFilter(corvex); return true;
    case kGradientFilter: GradientFilter(corvex); return true;
    case kAntiAlias: AntiAliasFilter(corvex); return true;
    case kLowPassColour: LowPassColourFilter(corvex); return true;
    case kBalanceHistogram: BalanceColourHistogram(corvex); return true;
    case kUndoFilter: UndoLastFilter(corvex); return true;
    case kUndoColourFilter: UndoLastColourFilter(corvex); return true;
    case kMirror: MirrorImage(corvex); return true;
    case kQzGeometry: ToggleQzGeometry(corvex); return true;
    case kAutoContrast: ToggleAutoContrast(corvex); return true;
    case kApplyTable: ApplyStretchTable(corvex, false); return true;
    case kApplyTableAndRefresh: ApplyStretchTable(corvex, true); return true;
    case kTakeGuideExposure: TakeGuideExposure(corvex); return true;
    case kRebuildDisplay: RebuildDisplay(corvex); return true;
    case kDefaultFocusFrameCentre: ResetFocusFrameCentre(corvex.state); return true;
    default: return false;
  }
}

}  // namespace

TCorvexWindow::TCorvexWindow(Corvex& corvex, QtHost& host, QWidget* parent)
    : QAbstractScrollArea(parent), corvex_(corvex), host_(host) {
  setObjectName("TCorvexWindow");
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setSingleStep(1);
  // Every file a save writes, said in the status bar where it really is.
  corvex_.quickSaved = [this](const std::filesystem::path& file) {
    if (statusNote) statusNote("Saved " + ShownPath(file));
  };
  // The display is rebuilt by the core after every change; the window then shows it, straight
  // from memory.
  InstallDisplayRebuild(corvex_);
  auto rebuild = corvex_.displayRebuild;
  corvex_.displayRebuild = [this, rebuild](Corvex& c) {
    rebuild(c);
    ShowDisplayBitmap(c.display.ShownBytes());
  };
}

QColor TCorvexWindow::backgroundColour() const {
  const BackgroundRgb rgb = BackgroundColour(corvex_.state.settings.backgroundColour);
  return QColor(rgb.red, rgb.green, rgb.blue);
}

bool TCorvexWindow::ShowDisplayBitmap(std::span<const std::uint8_t> bmp) {
  QPixmap pixmap;
  if (bmp.empty() || !pixmap.loadFromData(bmp.data(), static_cast<uint>(bmp.size()), "BMP")) {
    ShowMessage(corvex_.host, 32);
    return false;
  }
  // A new picture of the same size keeps the zoom and the place the user was looking at.
  const bool sameSize = pixmap.size() == displayPixmap_.size();
  displayPixmap_ = pixmap;
  UpdateShownPicture();
  MeasurePickedStar();
  if (sameSize) {
    SetScrollRanges();
    viewport()->update();
  } else {
    AdjustScroller();
  }
  ViewChanged();
  return true;
}

void TCorvexWindow::RefreshDisplay() { RebuildDisplay(corvex_); }

double TCorvexWindow::Scale() const {
  if (!corvex_.state.fitToWindow || displayPixmap_.isNull()) return zoom_;
  const QSize client = viewport()->size();
  return std::max(std::min(static_cast<double>(client.width()) / displayPixmap_.width(),
                           static_cast<double>(client.height()) / displayPixmap_.height()),
                  0.01);
}

void TCorvexWindow::SetScrollRanges() {
  const QSize client = viewport()->size();
  const double scale = Scale();
  const int w = static_cast<int>(std::ceil(displayPixmap_.width() * scale));
  const int h = static_cast<int>(std::ceil(displayPixmap_.height() * scale));
  horizontalScrollBar()->setRange(0, std::max(w - client.width(), 0));
  verticalScrollBar()->setRange(0, std::max(h - client.height(), 0));
  horizontalScrollBar()->setPageStep(client.width());
  verticalScrollBar()->setPageStep(client.height());
}

void TCorvexWindow::AdjustScroller() {
  SetScrollRanges();
  horizontalScrollBar()->setValue(0);
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

QPointF TCorvexWindow::ViewportPointOf(QPointF displayPoint) const {
  return displayPoint * Scale() -
         QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QPointF TCorvexWindow::DisplayPointAt(QPointF viewportPoint) const {
  return (viewportPoint + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value())) /
         Scale();
}

std::optional<QPoint> TCorvexWindow::ImagePointAt(QPointF viewportPoint) const {
  if (displayPixmap_.isNull()) return std::nullopt;
  const QPointF at = DisplayPointAt(viewportPoint);
  const int x = static_cast<int>(std::floor(at.x()));
  int y = static_cast<int>(std::floor(at.y()));
  if (x < 0 || y < 0 || x >= displayPixmap_.width() || y >= displayPixmap_.height()) {
    return std::nullopt;
  }
  // The QZ picture stretches the 290 rows to 373; the picking handler's row rule.
  if (displayPixmap_.height() == kQzDisplayRows) y = y * kImageRows / kQzDisplayRows;
  return QPoint(x, y);
}

QString TCorvexWindow::ReadoutAt(QPoint p) const {
  const ImageStore& store = corvex_.store;
  const bool focus = displayPixmap_.size() == QSize(kFocusSide, kFocusSide);
  const int stride = focus ? kFocusSide : kImageStride;
  if (p.x() < 0 || p.y() < 0 || p.x() >= stride || p.y() >= (focus ? kFocusSide : kImageRows)) {
    return {};
  }
  const std::size_t i = static_cast<std::size_t>(p.y()) * stride + static_cast<std::size_t>(p.x());
  QString text = QString("x %1  y %2  value %3").arg(p.x()).arg(p.y()).arg(store.currentImage[i]);
  if (corvex_.state.colourConverted && !focus) {
    text += QString("  R %1  G %2  B %3")
                .arg(store.redPlane[i])
                .arg(store.greenPlane[i])
                .arg(store.bluePlane[i]);
  }
  return text;
}

void TCorvexWindow::ZoomTo(double scale, QPointF anchor) {
  if (displayPixmap_.isNull()) return;
  scale = std::clamp(scale, kSmallestZoom, kLargestZoom);
  const QPointF under = DisplayPointAt(anchor);
  corvex_.state.fitToWindow = false;
  zoom_ = scale;
  SetScrollRanges();
  const QPointF scroll = under * scale - anchor;
  horizontalScrollBar()->setValue(static_cast<int>(std::lround(scroll.x())));
  verticalScrollBar()->setValue(static_cast<int>(std::lround(scroll.y())));
  viewport()->update();
  ViewChanged();
  Changed();
}

void TCorvexWindow::ZoomBy(int steps, QPointF anchor) {
  const double now = Scale();
  double next = now;
  if (steps > 0) {
    for (const double z : kZoomLadder) {
      if (z > now * 1.001) {
        next = z;
        if (--steps == 0) break;
      }
    }
  } else if (steps < 0) {
    for (auto it = std::rbegin(kZoomLadder); it != std::rend(kZoomLadder); ++it) {
      if (*it < now / 1.001) {
        next = *it;
        if (++steps == 0) break;
      }
    }
  }
  ZoomTo(next, anchor);
}

void TCorvexWindow::ActualSize() {
  ZoomTo(1, viewport()->rect().center());
}

void TCorvexWindow::FitWindow() {
  if (!corvex_.state.fitToWindow) ToggleFitToWindow(corvex_);
  AdjustScroller();
  ViewChanged();
  Changed();
}

QString TCorvexWindow::ZoomText() const {
  const int percent = static_cast<int>(std::lround(Scale() * 100));
  return QString("%1 %2%").arg(corvex_.state.fitToWindow ? "Fit" : "Zoom").arg(percent);
}

void TCorvexWindow::SetScreenStretch(bool on) {
  screenStretch_ = on;
  ProgramState& state = corvex_.state;
  if (on && (state.autoContrast || state.displayStretchActive)) {
    // One display transform at a time: the screen stretch replaces the others.
    state.autoContrast = false;
    state.displayStretchActive = false;
    RebuildDisplay(corvex_);
  }
  UpdateShownPicture();
  viewport()->update();
  ViewChanged();
  Changed();
}

void TCorvexWindow::UpdateShownPicture() {
  ComposeShownPicture();
  if (histogram_) histogram_->Update(corvex_, shownStretch_);
}

void TCorvexWindow::ComposeShownPicture() {
  const ProgramState& state = corvex_.state;
  shownStretch_.reset();
  shownPixmap_ = displayPixmap_;
  // A focus or guide frame keeps the stretch of its own panel; auto contrast and the
  // display stretch, when chosen, are shown as they are.
  if (!screenStretch_ || displayPixmap_.isNull() || state.autoContrast ||
      state.displayStretchActive || displayPixmap_.width() != kDisplayWidth) {
    return;
  }
  ScreenStretch stretch;
  const QPixmap stretched =
      state.colourConverted ? StretchedColour(stretch) : StretchedMono(stretch);
  if (stretched.isNull()) return;
  shownPixmap_ = stretched;
  shownStretch_ = stretch;
}

QPixmap TCorvexWindow::StretchedMono(ScreenStretch& stretch) const {
  // From the 16-bit values themselves: a raw frame's sky and stars often share one or two
  // of the display's high bytes.
  const ImageBuffer& image = corvex_.store.currentImage;
  std::vector<std::uint32_t> counts(65536, 0);
  for (int row = 0; row < kImageRows; ++row) {
    for (int col = kFirstFrameColumn; col <= kLastFrameColumn; ++col) {
      ++counts[image[row * kImageStride + col]];
    }
  }
  stretch = AutoScreenStretch(counts);
  const std::vector<std::uint8_t> table = ScreenStretchTable(stretch, 65536);
  std::vector<std::uint8_t> rows(static_cast<std::size_t>(kImageStride) * kImageRows);
  for (int i = 0; i < kImageValues; ++i) rows[i] = table[image[i]];
  for (int row = 0; row < kImageRows; ++row) {
    rows[row * kImageStride + 510] = rows[row * kImageStride + 511] = 0;
  }
  const int height = displayPixmap_.height();
  std::vector<std::uint8_t> shown = rows;
  if (height == kQzDisplayRows) {
    shown.assign(static_cast<std::size_t>(kImageStride) * kQzDisplayRows, 0);
    ResampleRows(rows.data(), kImageRows, kImageStride, shown.data(), kQzDisplayRows,
                 kQzDisplayFactor);
  } else if (height != kImageRows) {
    return {};
  }
  QImage picture(shown.data(), kImageStride, height, kImageStride, QImage::Format_Grayscale8);
  return QPixmap::fromImage(picture.copy());
}

QPixmap TCorvexWindow::StretchedColour(ScreenStretch& stretch) const {
  // The colour display holds 8-bit channels: one stretch for all three, from their mean, so
  // that the colours keep their balance.
  QImage picture = displayPixmap_.toImage().convertToFormat(QImage::Format_RGB32);
  std::vector<std::uint32_t> counts(256, 0);
  for (int y = 0; y < picture.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(picture.constScanLine(y));
    for (int x = kFirstFrameColumn; x <= kLastFrameColumn; ++x) {
      ++counts[(qRed(line[x]) + qGreen(line[x]) + qBlue(line[x])) / 3];
    }
  }
  stretch = AutoScreenStretch(counts);
  const std::vector<std::uint8_t> table = ScreenStretchTable(stretch, 256);
  for (int y = 0; y < picture.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      const QRgb c = line[x];
      line[x] = qRgb(table[qRed(c)], table[qGreen(c)], table[qBlue(c)]);
    }
  }
  return QPixmap::fromImage(picture);
}

void TCorvexWindow::MeasurePickedStar() {
  const ProgramState& state = corvex_.state;
  pickedStar_.reset();
  if (!state.guideStarPicked || state.focusFrameShown) return;
  pickedStar_ = MeasureStar(corvex_.store.currentImage.data(), kImageStride, kImageRows,
                            kImageStride, state.pickedStarX, state.pickedStarY, kStarRadius);
}

QStringList TCorvexWindow::PickedStarLines() const {
  if (!pickedStar_) return {};
  const FitsHeaderFields& fits = corvex_.fits;
  const std::optional<double> scale =
      PixelScaleArcsec(fits.pixelWidth, fits.pixelHeight, fits.focalLength);
  const auto width = [&scale](double px) {
    QString text = QString::number(px, 'f', 2) + " px";
    if (scale) text += QString(" (%1\")").arg(px * *scale, 0, 'f', 1);
    return text;
  };
  return {"HFR " + width(pickedStar_->hfr), "FWHM " + width(pickedStar_->fwhm),
          QString("peak %1").arg(pickedStar_->peak),
          QString("flux %1").arg(pickedStar_->flux, 0, 'f', 0)};
}

void TCorvexWindow::PaintPickedStar(QPainter& painter) {
  const ProgramState& state = corvex_.state;
  const QPointF centre = ViewportPointOf(QPointF(
      state.pickedStarX + 0.5,
      (state.pickedStarY + 0.5) * (displayPixmap_.height() == kQzDisplayRows ? kQzRowScale : 1.0)));
  painter.setPen(QPen(QColor(255, 255, 0), 1));
  painter.drawLine(centre - QPointF(0, kCrossHalf), centre + QPointF(0, kCrossHalf));
  painter.drawLine(centre - QPointF(kCrossHalf, 0), centre + QPointF(kCrossHalf, 0));
  const QStringList lines = PickedStarLines();
  if (lines.isEmpty()) return;
  // Beside the star, on a dark ground so that it reads over any sky.
  const QFontMetrics metrics = painter.fontMetrics();
  int width = 0;
  for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
  const QRectF box(centre + QPointF(kCrossHalf + 4, -kCrossHalf),
                   QSizeF(width + 10, metrics.height() * lines.size() + 6));
  painter.fillRect(box, QColor(0, 0, 0, 170));
  painter.setPen(QColor(255, 255, 160));
  painter.drawText(box.adjusted(5, 3, -5, -3), Qt::AlignLeft | Qt::AlignTop, lines.join('\n'));
}

void TCorvexWindow::paintEvent(QPaintEvent*) {
  ProgramState& state = corvex_.state;
  QPainter painter(viewport());
  const QRect client = viewport()->rect();
  painter.fillRect(client, backgroundColour());
  if (!shownPixmap_.isNull()) {
    const double scale = Scale();
    const QRectF target(ViewportPointOf(QPointF(0, 0)),
                        QSizeF(shownPixmap_.width() * scale, shownPixmap_.height() * scale));
    // Enlarged, every pixel shows as a square; reduced, the picture is smoothed.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scale < 1);
    painter.drawPixmap(target, shownPixmap_, QRectF(shownPixmap_.rect()));
  }
  // The picked guide star's cross, and what it measures.
  if (state.guideStarPicked && !state.focusFrameShown && !displayPixmap_.isNull()) {
    PaintPickedStar(painter);
    starMarked_ = true;
    state.maskRadius = state.settings.starMaskRadius;
  }
  state.backgroundLevel = RefreshBackgroundLevel(corvex_.store.currentImage);
}

void TCorvexWindow::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  SetScrollRanges();
  viewport()->update();
  ViewChanged();
}

void TCorvexWindow::scrollContentsBy(int, int) { viewport()->update(); }

void TCorvexWindow::ViewChanged() {
  if (viewChanged) viewChanged();
}

void TCorvexWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  pressedAt_ = event->position().toPoint();
  pressedScroll_ = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
  dragging_ = false;
}

void TCorvexWindow::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (pressedAt_ && (event->buttons() & Qt::LeftButton)) {
    const QPoint moved = at - *pressedAt_;
    if (dragging_ || moved.manhattanLength() > kDragThreshold) {
      dragging_ = true;
      viewport()->setCursor(Qt::ClosedHandCursor);
      horizontalScrollBar()->setValue(pressedScroll_.x() - moved.x());
      verticalScrollBar()->setValue(pressedScroll_.y() - moved.y());
    }
  }
  const std::optional<QPoint> image = ImagePointAt(event->position());
  const QString text = image ? ReadoutAt(*image) : QString();
  if (text != hoverText_) {
    hoverText_ = text;
    ViewChanged();
  }
}

void TCorvexWindow::leaveEvent(QEvent* event) {
  QAbstractScrollArea::leaveEvent(event);
  if (!hoverText_.isEmpty()) {
    hoverText_.clear();
    ViewChanged();
  }
}

void TCorvexWindow::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) return;
  ZoomBy(delta > 0 ? 1 : -1, event->position());
  event->accept();
}

void TCorvexWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const bool dragged = dragging_;
  pressedAt_.reset();
  dragging_ = false;
  if (dragged) {
    viewport()->unsetCursor();
    return;  // a drag pans, it picks nothing
  }
  const QPointF at = DisplayPointAt(event->position());
  int y = static_cast<int>(std::floor(at.y()));
  if (corvex_.state.qzGeometry) y = y * 290 / 373;
  PickAt(static_cast<int>(std::floor(at.x())), y);
}

void TCorvexWindow::PickAt(int x, int y) {
  ProgramState& state = corvex_.state;
  if (focusCentrePickMode_) {
    state.focusLeft = static_cast<std::int16_t>(x <= 66 ? 3 : x < 432 ? x - 64 : 376);
    state.focusTop = static_cast<std::int16_t>(y <= 64 ? 1 : y < 226 ? y - 64 : 160);
    focusCentrePickMode_ = false;
    char text[64];
    std::snprintf(text, sizeof text, "x position = %5d\ny position = %5d", state.focusLeft + 64,
                  state.focusTop + 64);
    ShowMessage(corvex_.host, kFreeTextMessage, text);
  } else if (pickGuideStarMode_) {
    const bool picked = PickGuideStar(corvex_, x, y, [this, &state](int fx, int fy) {
      // The cursor follows each refined centre.
      const double row = state.qzGeometry ? fy * kQzRowScale : fy;
      const QPointF onScreen = ViewportPointOf(QPointF(fx + 0.5, row + 0.5));
      QCursor::setPos(viewport()->mapToGlobal(onScreen.toPoint()));
    });
    // One pick per command: a star found ends the mode (a click outside asks for another).
    if (picked) pickGuideStarMode_ = false;
    MeasurePickedStar();
    viewport()->update();
  } else if (corvex_.state.mergingMode && mergeDialog_) {
    mergeDialog_->Pick(x, y);
  } else if (valuesDialog_ && valuesDialog_->isVisible()) {
    valuesDialog_->ShowPixel(corvex_, x, y);
  }
  Changed();
}

QString TCorvexWindow::OpenFileName(const char* caption, const char* filter) {
  if (acceptDialogsAutomatically) return automaticFilePath;
  QFileDialog dialog(this, caption);
  dialog.setFileMode(QFileDialog::ExistingFile);
  const QStringList filters = QtFilters(filter);
  dialog.setNameFilters(filters);
  if (filterIndex_ >= 1 && filterIndex_ <= filters.size()) {
    dialog.selectNameFilter(filters[filterIndex_ - 1]);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QString TCorvexWindow::SaveFileName(const char* caption, const char* filter,
                                    const char* defaultExtension, const char* initialName) {
  QString path;
  if (acceptDialogsAutomatically) {
    path = automaticFilePath;
  } else {
    QFileDialog dialog(this, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = QtFilters(filter);
    dialog.setNameFilters(filters);
    if (defaultExtension != nullptr) dialog.setDefaultSuffix(defaultExtension);
    if (initialName != nullptr) dialog.selectFile(initialName);
    if (filterIndex_ >= 1 && filterIndex_ <= filters.size()) {
      dialog.selectNameFilter(filters[filterIndex_ - 1]);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    path = dialog.selectedFiles().first();
  }
  if (path.isEmpty()) return path;
  // The remembered filter: FITS dialogs 2, a "~" file 1, anything else 3.
  const QString title = QFileInfo(path).fileName();
  filterIndex_ = defaultExtension != nullptr && QString(defaultExtension) == "FIT" ? 2
                 : title.contains('~')                                             ? 1
                                                                                   : 3;
  return path;
}

void TCorvexWindow::SetFileTitle(const QString& path) {
  fileTitle_ = QFileInfo(path).fileName();
}

void TCorvexWindow::Changed() {
  if (commandsChanged) commandsChanged();
}

void TCorvexWindow::OpenImage() {
  const QString path = OpenFileName("Open", kOpenFilter);
  if (path.isEmpty()) return;
  if (corvex_.state.mergingMode && mergeDialog_) mergeDialog_->TakeBaseImage();
  if (LoadImageFile(corvex_, Path(path)) == 0) SetFileTitle(path);
}

void TCorvexWindow::SaveRaw() {
  const QString path = SaveFileName("Save", kSaveFilter, nullptr, nullptr);
  if (path.isEmpty()) return;
  SetFileTitle(path);
  WriteRawImage(corvex_, Path(path));
}

void TCorvexWindow::SaveFits() {
  FillObservationDate(corvex_.fits, corvex_.clock.CalendarSeconds());
  if (!EditFitsDetails(this, corvex_, Runner())) return;
  const QString path = SaveFileName("Save as FITS", kFitsFilter, "FIT", "*.FIT");
  if (path.isEmpty()) return;
  if (SaveFitsImage(corvex_, Path(path)) == 0) SetFileTitle(path);
}

// The FITS details first, as for "Save as FITS"; no date is made up for a frame without one,
// as other programs take DATE-OBS for the time of the exposure.
void TCorvexWindow::SaveStandardFits() {
  if (!EditFitsDetails(this, corvex_, Runner())) return;
  const QString path = SaveFileName("Save as standard FITS", kStandardFitsFilter, "fits", "*.fits");
  if (path.isEmpty()) return;
  if (SaveStandardFitsImage(corvex_, Path(path)) == 0) SetFileTitle(path);
}

void TCorvexWindow::SaveTiff() {
  const QString path = SaveFileName("Save as Tiff File", kTiffFilter, "TIF", "*.TIF");
  if (path.isEmpty()) return;
  SaveTiffImage(corvex_, Path(path));
}

void TCorvexWindow::SaveFlatfield() {
  const QString path = SaveFileName("Save as Flatfield", kSaveFilter, nullptr, nullptr);
  if (path.isEmpty()) return;
  SetFileTitle(path);
  SaveFlatField(corvex_, Path(path));
}

void TCorvexWindow::DeleteFile() {
  const QString path = OpenFileName("Delete", kDeleteFilter);
  if (path.isEmpty()) return;
  QMessageBox box(QMessageBox::NoIcon, "Delete Selected File",
                  "Delete the following File?\n\n" + QFileInfo(path).absoluteFilePath(),
                  QMessageBox::Ok | QMessageBox::Cancel, this);
  if (acceptDialogsAutomatically || box.exec() == QMessageBox::Ok) DeleteImageFile(Path(path));
}

void TCorvexWindow::SelectDarkFrame() {
  const QString path = OpenFileName("Select Dark Frame", kOpenFilter);
  if (!path.isEmpty()) corvex_.state.darkFrameFile = path.toStdString();
}

void TCorvexWindow::SubtractDark() {
  const QString path = OpenFileName("Subtract Images (Dark Frame)", kOpenFilter);
  if (!path.isEmpty()) SubtractDarkFrameFile(corvex_, Path(path));
}

void TCorvexWindow::FlatField() {
  const QString path = OpenFileName("Apply Flat Field", kOpenFilter);
  if (!path.isEmpty()) ApplyFlatFieldFile(corvex_, Path(path));
}

void TCorvexWindow::About() {
  if (acceptDialogsAutomatically) return;
  QMessageBox::about(this, "Help About Corvex",
                     QString("Corvex Image processing software for use with Quellmark Colour QZ "
                             "cameras\n\nVersion %1\n%2")
                         .arg(CORVEX_VERSION, __DATE__));
}

void TCorvexWindow::RunCameraInterface() {
  CaptureGuidingSteps guiding;
  bool goToGuider = false;
  const CaptureResult result = RunCapture(
      corvex_,
      [this, &goToGuider](Corvex& c) {
        const PanelOutcome outcome = RunCameraPanel(this, c, acceptDialogsAutomatically);
        goToGuider = outcome == PanelOutcome::kGoToGuider;
        return outcome;
      },
      guiding);
  (void)result;
  if (goToGuider) Command(kGuiderInterface);
  viewport()->update();
}

DialogRunner TCorvexWindow::Runner() const {
  DialogRunner run;
  run.automatic = acceptDialogsAutomatically;
  run.edit = dialogEdit;
  return run;
}

bool TCorvexWindow::RunDialogCommand(int id) {
  ProgramState& state = corvex_.state;
  const DialogRunner run = Runner();
  switch (id) {
    case kNormalStretch:
      if (const auto v = AskNormalStretch(this, run)) NormalStretch(corvex_, v->black, v->white);
      return true;
    case kPowerStretch:
      if (const auto p = AskPowerStretch(this, run)) PowerStretch(corvex_, *p);
      return true;
    case kNonLinearStretch:
      if (const auto p = AskNonLinearStretch(this, run)) NonLinearStretch(corvex_, *p);
      return true;
    case kUnsharpMask:
      if (const auto v = AskUnsharpMask(this, run)) UnsharpMask(corvex_, v->radius, v->power);
      return true;
    case kMedianFilter:
      if (const auto v = AskMedianFilter(this, run)) MedianFilter(corvex_, v->radius, v->power);
      return true;
    case kColourBalance:
      if (const auto v = AskColourBalance(this, state.settings.saturationFactor, run)) {
        ColourBalance(corvex_, v->red, v->green, v->blue, v->saturation);
      }
      return true;
    case kChromatism:
      if (const auto v = AskChromaticAdjustment(this, run)) {
        ChromaticAdjustment(corvex_, v->redH, v->redV, v->blueH, v->blueV);
      }
      return true;
    case kSynthesizeColour:
      SynthesizeColourImage(corvex_, [this, run](ProgramSettings& settings) {
        return AskSynthesisOptions(this, settings, run);
      });
      return true;
    case kMaxPaletteStretch:
      if (const auto v = AskDisplayStretch(
              this, {state.displayStretchPower, state.displayStretchActive}, run)) {
        state.displayStretchPower = v->power;
        state.displayStretchActive = v->active;
        RebuildDisplay(corvex_);
      }
      return true;
    case kLabelImage: RunLabelDialog(this, corvex_, run); return true;
    case kProgramDefaults:
      RunProgramDefaults(this, corvex_, run);
      viewport()->update();
      return true;
    case kFitsDetails: EditFitsDetails(this, corvex_, run); return true;
    case kAutoSaveText: LoadEditAutoSaveFitsText(this, corvex_, run); return true;
    case kProcessingHistory: ShowProcessingHistory(corvex_); return true;
    case kUseDisplayStretch:
    case kDontUseDisplayStretch:
    case kToggleDisplayStretch:
      state.displayStretchActive = !state.displayStretchActive;
      RebuildDisplay(corvex_);
      return true;
    default:
      return false;
  }
}

void TCorvexWindow::RunGuiderInterface() {
  ProgramState& state = corvex_.state;
  if (!TelescopeMethodChosen(corvex_)) {
    ShowMessage(corvex_.host, kFreeTextMessage,
                "Please select a telescope drive method before using autoguider");
    return;
  }
  if (!state.cameraFound) {
    if (ReadSettingsFile(corvex_) != kSettingsOk) ShowMessage(corvex_.host, 20);
    if (corvex_.devices) DiscoverCamera(corvex_.camera, *corvex_.devices, state);
    if (!state.cameraFound) {
      ShowMessage(corvex_.host, kFreeTextMessage, "Sorry, No camera found on USB");
      return;
    }
  }
  if (!corvex_.telescope.linkOpen) OpenTelescopeLink(corvex_);
  if (acceptDialogsAutomatically) return;
  const GuiderPanelOutcome outcome = RunGuiderPanel(this, corvex_);
  if (outcome == GuiderPanelOutcome::kGoToMainCamera) Command(kCameraInterface);
  if (outcome == GuiderPanelOutcome::kStartGuiding) Command(kStartGuiderGuiding);
}

bool TCorvexWindow::PrintDisplay(QPrinter& printer) {
  if (displayPixmap_.isNull()) return false;
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRect page = painter.viewport();
  const QSize size = displayPixmap_.size().scaled(page.size(), Qt::KeepAspectRatio);
  painter.setViewport(page.x(), page.y(), size.width(), size.height());
  painter.setWindow(displayPixmap_.rect());
  painter.drawPixmap(0, 0, displayPixmap_);
  return painter.end();
}

void TCorvexWindow::PrintSetup() {
  if (acceptDialogsAutomatically) return;
  QPageSetupDialog(&printer_, this).exec();
}

void TCorvexWindow::Print() {
  if (acceptDialogsAutomatically) return;
  QPrintDialog dialog(&printer_, this);
  if (dialog.exec() == QDialog::Accepted) PrintDisplay(printer_);
}

void TCorvexWindow::CopyToClipboard() {
  if (!displayPixmap_.isNull()) QGuiApplication::clipboard()->setPixmap(displayPixmap_);
}

QString TCorvexWindow::ManualPath() {
  const QStringList candidates = {
      QString(CORVEX_DOCS_DIR) + "/manual.md",
      QCoreApplication::applicationDirPath() + "/../share/doc/corvex/manual.md"};
  for (const QString& path : candidates) {
    if (QFileInfo::exists(path)) return path;
  }
  return {};
}

void TCorvexWindow::ShowHelp() {
  const QString path = ManualPath();
  QFile file(path);
  if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
    corvex_.host.ShowMessageBox("WinHelp failed!", "Corvex", MessageButtons::kOk,
                                MessageIcon::kStop);
    return;
  }
  if (acceptDialogsAutomatically) return;
  auto* help = new QTextBrowser;
  help->setAttribute(Qt::WA_DeleteOnClose);
  help->setObjectName("HelpWindow");
  help->setWindowTitle("Help in using Corvex");
  help->setMarkdown(QString::fromUtf8(file.readAll()));
  help->resize(760, 620);
  help->show();
}

bool TCorvexWindow::CommandEnabled(int id) const {
  if (id == kClipboard || id == kZoomIn || id == kZoomOut || id == kActualSize) {
    return hasDisplay();
  }
  if (id == kStartAutoGuiding || id == kTrainAutoGuiding || id == kTelescopeControl) {
    return TelescopeMethodChosen(corvex_);
  }
  return true;
}

bool TCorvexWindow::CommandChecked(int id) const {
  const ProgramState& state = corvex_.state;
  switch (id) {
    case kFitToWindow: return state.fitToWindow;
    case kPickGuideStar: return pickGuideStarMode_;
    case kQzGeometry: return state.qzGeometry;
    case kAutoContrast: return state.autoContrast;
    case kScreenStretch: return screenStretch_;
    default: return false;
  }
}

bool TCorvexWindow::Command(int id) {
  if (!CommandEnabled(id)) return false;
  if (RunPlainCommand(corvex_, id) || RunDialogCommand(id)) {
    // Auto contrast and the display stretch are display transforms of their own: choosing
    // one takes the screen stretch off.
    const ProgramState& state = corvex_.state;
    if (screenStretch_ && (state.autoContrast || state.displayStretchActive)) {
      screenStretch_ = false;
      UpdateShownPicture();
      ViewChanged();
    }
    viewport()->update();
    Changed();
    return true;
  }
  switch (id) {
    case kOpen: OpenImage(); break;
    case kSave: SaveRaw(); break;
    case kSaveFits: SaveFits(); break;
    case kSaveStandardFits:
      SaveStandardFits();
      break;
    case kSaveTiff: SaveTiff(); break;
    case kSaveFlatField: SaveFlatfield(); break;
    case kQuickSaveFits:
      ReportQuickSave(corvex_, QuickSaveImage(corvex_));
      break;
    case kDelete: DeleteFile(); break;
    case kSelectDarkFrame: SelectDarkFrame(); break;
    case kSubtract: SubtractDark(); break;
    case kFlatField: FlatField(); break;
    case kCameraInterface: RunCameraInterface(); break;
    case kPickGuideStar:
      pickGuideStarMode_ = !pickGuideStarMode_;
      focusCentrePickMode_ = false;
      break;
    case kFocusFrameCentre:
      focusCentrePickMode_ = true;
      pickGuideStarMode_ = false;
      viewport()->setCursor(Qt::ArrowCursor);
      break;
    case kStartAutoGuiding: RunContinuousSelfGuiding(corvex_); break;
    case kTrainAutoGuiding: TrainSelfGuiding(corvex_); break;
    case kStartGuiderGuiding: RunGuiderGuiding(corvex_); break;
    case kGuiderInterface: RunGuiderInterface(); break;
    case kTelescopeControl:
      if (!acceptDialogsAutomatically) RunTelescopeControl(this, corvex_);
      break;
    case kHistogram:
      if (!histogram_) {
        histogram_ = new THistDialog(corvex_.store.currentImage, this);
        histogram_->Update(corvex_, shownStretch_);
        histogram_->show();
      }
      break;
    case kShowValues:
      if (!valuesDialog_) valuesDialog_ = new TValuesDialog(this);
      valuesDialog_->show();
      break;
    case kPrintSetup: PrintSetup(); break;
    case kPrint: Print(); break;
    case kClipboard: CopyToClipboard(); break;
    case kFitToWindow:
      ToggleFitToWindow(corvex_);
      AdjustScroller();
      ViewChanged();
      break;
    case kScreenStretch: SetScreenStretch(!screenStretch_); break;
    case kZoomIn:
    case kZoomOut: {
      // About the pointer when it is over the picture, else about the middle.
      QPointF anchor = viewport()->mapFromGlobal(QCursor::pos());
      if (!viewport()->rect().contains(anchor.toPoint())) anchor = viewport()->rect().center();
      ZoomBy(id == kZoomIn ? 1 : -1, anchor);
      break;
    }
    case kActualSize: ActualSize(); break;
    case kMerge:
      if (StartMerging(corvex_)) {
        if (!mergeDialog_) mergeDialog_ = new TMergeDialog(corvex_, this);
        mergeDialog_->show();
      }
      break;
    case kRepaintAfterMerge: viewport()->update(); break;
    case kMoveProgress: break;
    case kHelp: ShowHelp(); break;
    case kAbout: About(); break;
    case kExit: window()->close(); break;
    default: return false;
  }
  viewport()->update();
  Changed();
  return true;
}

}  // namespace corvex::ui
