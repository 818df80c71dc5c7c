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
#include "processing/sensor_geometry.h"
#include "processing/spatial_filters.h"
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
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setSingleStep(1);
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
  displayPixmap_ = pixmap;
  AdjustScroller();
  return true;
}

void TCorvexWindow::RefreshDisplay() { RebuildDisplay(corvex_); }

void TCorvexWindow::AdjustScroller() {
  const QSize client = viewport()->size();
  const bool fit = corvex_.state.fitToWindow;
  const int w = fit ? 0 : std::max(displayPixmap_.width() - client.width(), 0);
  const int h = fit ? 0 : std::max(displayPixmap_.height() - client.height(), 0);
  horizontalScrollBar()->setRange(0, w);
  verticalScrollBar()->setRange(0, h);
  horizontalScrollBar()->setPageStep(client.width());
  verticalScrollBar()->setPageStep(client.height());
  horizontalScrollBar()->setValue(0);
  verticalScrollBar()->setValue(0);
  viewport()->update();
}

void TCorvexWindow::paintEvent(QPaintEvent*) {
  ProgramState& state = corvex_.state;
  QPainter painter(viewport());
  const QRect client = viewport()->rect();
  const QColor background = backgroundColour();
  if (displayPixmap_.isNull()) {
    painter.fillRect(client, background);
  } else if (state.fitToWindow) {
    painter.drawPixmap(client, displayPixmap_);
  } else {
    const int x0 = -horizontalScrollBar()->value();
    const int y0 = -verticalScrollBar()->value();
    painter.drawPixmap(x0, y0, displayPixmap_);
    const int right = x0 + displayPixmap_.width();
    const int bottom = y0 + displayPixmap_.height();
    painter.fillRect(QRect(QPoint(right, 0), client.bottomRight()), background);
    painter.fillRect(QRect(QPoint(0, bottom), QPoint(right - 1, client.bottom())), background);
  }
  // The picked guide star's cross.
  if (state.guideStarPicked && !state.focusFrameShown) {
    double x = state.pickedStarX;
    double y = state.pickedStarY * (state.qzGeometry ? kQzRowScale : 1.0);
    if (state.fitToWindow && !displayPixmap_.isNull()) {
      x = x * client.width() / displayPixmap_.width();
      y = y * client.height() / displayPixmap_.height();
    } else {
      x -= horizontalScrollBar()->value();
      y -= verticalScrollBar()->value();
    }
    painter.setPen(QPen(QColor(255, 255, 0), 1));
    const QPointF centre(x, y);
    painter.drawLine(centre - QPointF(0, kCrossHalf), centre + QPointF(0, kCrossHalf));
    painter.drawLine(centre - QPointF(kCrossHalf, 0), centre + QPointF(kCrossHalf, 0));
    starMarked_ = true;
    state.maskRadius = state.settings.starMaskRadius;
  }
  state.backgroundLevel = RefreshBackgroundLevel(corvex_.store.currentImage);
}

void TCorvexWindow::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  AdjustScroller();
}

void TCorvexWindow::scrollContentsBy(int, int) { viewport()->update(); }

void TCorvexWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  QPointF at = event->position();
  if (corvex_.state.fitToWindow && !displayPixmap_.isNull()) {
    at.setX(at.x() * displayPixmap_.width() / viewport()->width());
    at.setY(at.y() * displayPixmap_.height() / viewport()->height());
  } else {
    at += QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
  }
  int y = static_cast<int>(at.y());
  if (corvex_.state.qzGeometry) y = y * 290 / 373;
  PickAt(static_cast<int>(at.x()), y);
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
    PickGuideStar(corvex_, x, y, [this, &state](int fx, int fy) {
      // The cursor follows each refined centre.
      const double row = state.qzGeometry ? fy * kQzRowScale : fy;
      const QPoint onScreen(fx - horizontalScrollBar()->value(),
                            static_cast<int>(row) - verticalScrollBar()->value());
      QCursor::setPos(viewport()->mapToGlobal(onScreen));
    });
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
  if (state.settings.telescopeMethod == 'n') {
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
  if (id == kClipboard) return hasDisplay();
  if (id == kStartAutoGuiding || id == kTrainAutoGuiding || id == kTelescopeControl) {
    return corvex_.state.settings.telescopeMethod != 'n';
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
    default: return false;
  }
}

bool TCorvexWindow::Command(int id) {
  if (!CommandEnabled(id)) return false;
  if (RunPlainCommand(corvex_, id)) {
    viewport()->update();
    Changed();
    return true;
  }
  if (RunDialogCommand(id)) {
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
      break;
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
