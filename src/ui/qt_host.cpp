#include "ui/qt_host.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QThread>

#include "commands/display_commands.h"
#include "corvex.h"
#include "guiding/guide_stats.h"
#include "platform/calendar.h"
#include "processing/display_image.h"
#include "processing/star_measurement.h"
#include "ui/guide_graph.h"
#include "ui/host_windows.h"
#include "ui/shown_path.h"

namespace corvex::ui {

namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::StandardButtons Buttons(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::kYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::kOk:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon Icon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kStop:
      return QMessageBox::Critical;
    case MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kQuestion:
      return QMessageBox::Question;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

MessageResult FirstButton(MessageButtons buttons) {
  return buttons == MessageButtons::kOk || buttons == MessageButtons::kOkCancel
             ? MessageResult::kOk
             : MessageResult::kYes;
}

MessageResult Result(int button) {
  switch (button) {
    case QMessageBox::Cancel:
      return MessageResult::kCancel;
    case QMessageBox::Yes:
      return MessageResult::kYes;
    case QMessageBox::No:
      return MessageResult::kNo;
    default:
      return MessageResult::kOk;
  }
}

// While a question is open the pointer is an arrow, even in the middle of a run that shows
// the wait cursor.
class ArrowCursor {
 public:
  ArrowCursor() { QApplication::setOverrideCursor(Qt::ArrowCursor); }
  ~ArrowCursor() { QApplication::restoreOverrideCursor(); }
  ArrowCursor(const ArrowCursor&) = delete;
  ArrowCursor& operator=(const ArrowCursor&) = delete;
};

int LoopLevel() { return QThread::currentThread()->loopLevel(); }

}  // namespace

QtHost::QtHost(QObject* parent) : QObject(parent) { qApp->installEventFilter(this); }

QtHost::~QtHost() {
  if (qApp != nullptr) qApp->removeEventFilter(this);
  if (busy_) QApplication::restoreOverrideCursor();
  if (guiding_.log != nullptr) std::fclose(guiding_.log);
}

MessageResult QtHost::ShowMessageBox(std::string_view text, std::string_view caption,
                                     MessageButtons buttons, MessageIcon icon) {
  if (answerAutomatically) {
    answeredTexts.emplace_back(text);
    return FirstButton(buttons);
  }
  QMessageBox box(Icon(icon), caption.empty() ? QString("Corvex") : Text(caption), Text(text),
                  Buttons(buttons), parent_);
  // The focus mode's pause asks "OK" or "Stop".
  if (caption == "Focus Frame Pause" && buttons == MessageButtons::kOkCancel) {
    box.button(QMessageBox::Cancel)->setText("Stop");
  }
  const ArrowCursor arrow;
  return Result(box.exec());
}

bool QtHost::ConfirmCancelExposure(int elapsedSeconds) {
  const QString text = QString("The exposure has been running for %1 seconds.\n"
                               "Stop it now? The exposure will be lost.")
                           .arg(elapsedSeconds);
  if (answerAutomatically) {
    answeredTexts.push_back(text.toStdString());
    return true;
  }
  QMessageBox box(QMessageBox::Question, "Corvex", text, QMessageBox::Yes | QMessageBox::No,
                  parent_);
  box.setObjectName("ConfirmCancelExposure");
  // Enter or Esc keep the exposure; only a deliberate "Yes" ends it.
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  // The box is modal and Esc in it is its own "No", so answering it never reaches a pump as
  // a stop.
  const ArrowCursor arrow;
  return box.exec() == QMessageBox::Yes;
}

void QtHost::Beep(int) { QApplication::beep(); }

bool QtHost::PumpEvents() {
  // A command dispatched here may run a loop of its own that pumps too (guiding started from
  // the menu during an exposure): each pump reports the stops made during it, and the outer
  // one finds its own afterwards.
  const PumpContext outer = pump_;
  pump_ = PumpContext{true, LoopLevel(), QApplication::activeModalWidget(), false};
  // The run is waiting and can be stopped while it pumps.
  if (progress_ && progress_->isVisible()) progress_->SetStopEnabled(true);
  if (duringPump) duringPump();
  QApplication::processEvents(QEventLoop::AllEvents);
  const bool stop = pump_.stopRequested;
  pump_ = outer;
  return stop;
}

void QtHost::RequestCancel() {
  if (pump_.pumping) pump_.stopRequested = true;
}

bool QtHost::eventFilter(QObject* watched, QEvent* event) {
  // Esc is the stop key of a pumping run, unless it belongs to something opened over the run:
  // an open menu closes, a dialog a command opened is cancelled, as usual.
  if (pump_.pumping && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      QApplication::activePopupWidget() == nullptr && LoopLevel() == pump_.loopLevel &&
      QApplication::activeModalWidget() == pump_.modal.data()) {
    pump_.stopRequested = true;
    return true;  // the stop only: Esc does not also close the dialog the run started from
  }
  return QObject::eventFilter(watched, event);
}

void QtHost::SetWaitCursor(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

TFilterProgress& QtHost::Progress() {
  if (!progress_) {
    progress_ = new TFilterProgress(parent_);
    progress_->onStop = [this] {
      if (pump_.pumping) {
        RequestCancel();
      } else {
        progress_->hide();
      }
    };
    progress_->now = [this]() -> std::int64_t {
      return corvex_ != nullptr ? corvex_->clock.NowMs() : 0;
    };
  }
  return *progress_;
}

void QtHost::OpenProgress(std::string_view caption) {
  Progress().SetCaption(Text(caption));
  progress_->SetPosition(0);
  // Until the work behind it pumps, it cannot be stopped (a processing pass, a readout).
  progress_->SetStopEnabled(false);
  progress_->show();
}

void QtHost::SetProgress(int position) {
  if (progress_) progress_->SetPosition(position);
}

void QtHost::CloseProgress() {
  if (progress_) progress_->hide();
}

void QtHost::ShowSeriesCount(int frame, int frames) {
  if (frame <= 0 && !progress_) return;
  Progress().SetSeriesCount(frame, frames);
}

void QtHost::ShowNotice(std::string_view caption, std::string_view text) {
  if (!notice_) {
    notice_ = new QDialog(parent_);
    notice_->setObjectName("Notice");
    auto* form = new QFormLayout(notice_);
    noticeText_ = new QLabel(notice_);
    noticeText_->setObjectName("Filename");
    noticeText_->setMinimumWidth(220);
    form->addRow("Filename", noticeText_);
  }
  notice_->setWindowTitle(Text(caption));
  // The save names the folder the frame goes to; the window writes the home directory "~",
  // as the rest of the program's windows do.
  if (caption == "Saving Image" && corvex_ != nullptr) {
    noticeText_->setText("into " +
                         ShownStoredPath(*corvex_, corvex_->state.settings.autosaveDirectory));
  } else {
    noticeText_->setText(Text(text));
  }
  notice_->show();
}

void QtHost::CloseNotice() {
  if (notice_) notice_->hide();
}

void QtHost::ShowGuidingInfo(const GuidingInfo& info) {
  if (!guidingInfo_) {
    guidingInfo_ = new TGuidingInfoDialog(parent_);
    guidingInfo_->onStop = [this] {
      if (pump_.pumping) {
        RequestCancel();
      } else {
        guidingInfo_->hide();
      }
    };
  }
  guidingInfo_->setObjectName(info.guider ? "TGInfoDialog" : "TInfoDialog");
  if (!guiding_.active) BeginGuidingRun(info);
  // The guide frame: the guider's frame as its preview bitmap, or the main camera's guide
  // window as the focus-frame display bitmap.
  QPixmap frame;
  if (corvex_ != nullptr) {
    if (info.guider) BuildRawPreview(*corvex_, corvex_->store.guiderImage.span());
    const std::vector<std::uint8_t>& bmp =
        info.guider ? corvex_->display.previewBitmap : corvex_->display.focusBitmap;
    frame.loadFromData(bmp.data(), static_cast<uint>(bmp.size()), "BMP");
  }
  guidingInfo_->Show(info, frame);
  // Each correction once, and only those of guiding proper (not the settling ones).
  if (info.caption == "Guiding Info" && info.measuredCorrections != guiding_.measured) {
    guiding_.measured = info.measuredCorrections;
    const double seconds = static_cast<double>(info.timeMs - guiding_.startMs) / 1000;
    guidingInfo_->AddCorrection(seconds, info.dx, info.dy);
    if (corvex_ != nullptr) WriteGuideLog(GuideLogRow(seconds, corvex_->guiding.lastCorrection));
  }
}

void QtHost::BeginGuidingRun(const GuidingInfo& info) {
  guiding_.active = true;
  guiding_.startMs = info.timeMs;
  guiding_.measured = info.measuredCorrections;
  guiding_.logFailed = false;
  GuideAxes axes;
  std::optional<double> scale;
  if (corvex_ != nullptr) {
    const GuiderTraining& training = corvex_->guiding.training;
    // The guider steers along the trained axes when it uses them; the main camera, and a
    // guider on its defaults, along the frame's rows and columns.
    if (info.guider && training.guiderTrained && training.useTrainedValues &&
        !corvex_->state.settings.ignoreRaAngle) {
      axes = AxesFromTraining(training);
    }
    if (!info.guider) {
      const FitsHeaderFields& fits = corvex_->fits;
      scale = PixelScaleArcsec(fits.pixelWidth, fits.pixelHeight, fits.focalLength);
    }
    const UtcTime t = BreakDownUtc(corvex_->clock.CalendarSeconds());
    char name[64];
    std::snprintf(name, sizeof name, "guide-%04d%02d%02d-%02d%02d%02d.csv", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    const std::filesystem::path directory = corvex_->paths.Home() / "guiding";
    std::error_code ec;
    std::filesystem::create_directories(directory, ec);
    guiding_.logPath = directory / name;
    guiding_.log = std::fopen(guiding_.logPath.c_str(), "w");
    if (guiding_.log == nullptr) guiding_.logFailed = true;
    WriteGuideLog(kGuideLogHeader);
  }
  guidingInfo_->Begin(axes, scale);
}

void QtHost::ShowRunNote(std::string_view text) {
  // In the guide log as a comment line between the corrections, and in the status bar, where
  // it stays until the next message: a run that goes on by itself is not held up by a box.
  if (guiding_.active) WriteGuideLog("# " + std::string(text) + "\n");
  for (QWidget* window = parent_; window != nullptr; window = window->parentWidget()) {
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
      main->statusBar()->showMessage(Text(text));
      break;
    }
  }
}

void QtHost::WriteGuideLog(const std::string& text) {
  if (guiding_.log == nullptr) return;
  // Row by row, so that a guiding run that ends abruptly keeps what it logged.
  if (std::fputs(text.c_str(), guiding_.log) < 0 || std::fflush(guiding_.log) != 0) {
    std::fclose(guiding_.log);
    guiding_.log = nullptr;
    guiding_.logFailed = true;
  }
}

void QtHost::EndGuidingRun() {
  guiding_.active = false;
  const TGuideGraph& graph = guidingInfo_->graph();
  if (graph.stats().count() == 0) {
    // Guiding never got going: no summary, and no log of nothing.
    if (guiding_.log != nullptr) {
      std::fclose(guiding_.log);
      guiding_.log = nullptr;
      std::error_code ec;
      std::filesystem::remove(guiding_.logPath, ec);
    }
    guidingInfo_->hide();
    return;
  }
  WriteGuideLog(GuideLogSummary(graph.stats(), graph.axes(), graph.arcsecPerPixel()));
  if (guiding_.log != nullptr && std::fclose(guiding_.log) != 0) guiding_.logFailed = true;
  guiding_.log = nullptr;
  const QString shown = ShownPath(guiding_.logPath);
  guidingInfo_->Finish(guiding_.logFailed ? "The guide log " + shown + " could not be written."
                                          : "Guide log: " + shown);
}

void QtHost::CloseGuidingInfo() {
  if (!guidingInfo_) return;
  if (guiding_.active) {
    EndGuidingRun();
  } else {
    guidingInfo_->hide();
  }
}

void QtHost::ShowGuiderStatus(std::string_view caption) {
  if (guiderStatus) guiderStatus(caption);
}

}  // namespace corvex::ui
