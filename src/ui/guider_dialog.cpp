#include "ui/guider_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCursor>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "camera/exposures.h"
#include "commands/camera_commands.h"
#include "commands/display_commands.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "runs/guide_training.h"
#include "guiding/star_pick.h"
#include "guiding/telescope_link.h"
#include "guiding/telescope_panel.h"
#include "processing/display_image.h"
#include "state/messages.h"
#include "ui/qt_host.h"

namespace corvex::ui {

namespace {

constexpr const char* kCaption = "Auto Guider Camera Control";
constexpr int kCrossHalf = 20;

const char* kHelpText =
    "Select exposure range using Radio buttons on right of dialog Window \nVary exposure time "
    "using scroll arrows,and take exposure by pressing the 'Start' button\n\nRepeated "
    "exposures of 0.01 to 10 seconds will be made, \n\nPress the 'Stop' button to cease taking "
    "exposures.\n\nSelect a star to guide on by first pressing the 'Select Guide Star' button "
    "and then choosing a star\n\nAfter picking a star you may select training which will "
    "correct for orientation.\nThe Default button will reset back to stored guide rates and "
    "standard orientation";

struct UnitRange {
  char unit;
  const char* text;
  int maximum;
  int value;
};
constexpr UnitRange kUnits[] = {
    {'h', "Hundredths", 500, 5}, {'t', "Tenths", 100, 5}, {'s', "Seconds", 10, 1}};

const char* UnitWord(char unit) {
  return unit == 'h' ? " hundredth " : unit == 't' ? " tenth " : " second ";
}

void Cross(QPainter& painter, QPointF at) {
  painter.drawLine(at - QPointF(0, kCrossHalf), at + QPointF(0, kCrossHalf));
  painter.drawLine(at - QPointF(kCrossHalf, 0), at + QPointF(kCrossHalf, 0));
}

}  // namespace

TGuiderView::TGuiderView(Corvex& corvex, TGQSDialog& dialog)
    : QWidget(&dialog), corvex_(corvex), dialog_(dialog) {
  setObjectName("guiderImage");
  setFixedSize(kReadoutWidth, kImageRows);
  setMouseTracking(true);
}

void TGuiderView::ShowBitmap(std::span<const std::uint8_t> bmp) {
  QPixmap pixmap;
  if (pixmap.loadFromData(bmp.data(), static_cast<uint>(bmp.size()), "BMP")) picture_ = pixmap;
  update();
}

void TGuiderView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!picture_.isNull()) painter.drawPixmap(0, 0, picture_);
  const GuidingState& guiding = corvex_.guiding;
  if (guiding.guiderStarSelected) {
    painter.setPen(QPen(QColor(255, 255, 0), 1));
    Cross(painter, QPointF(guiding.selectedGuiderStarX, guiding.selectedGuiderStarY));
  }
  const GuiderTraining& training = guiding.training;
  if (training.trainingRunning) {
    const SamplePoint latest =
        training.trainingSamples[static_cast<std::size_t>(training.trainingStep)];
    painter.setPen(QPen(QColor(0, 255, 255), 1));
    Cross(painter, QPointF(latest.x, latest.y));
  }
}

void TGuiderView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  dialog_.ShowValueAt(at.x(), at.y());
}

void TGuiderView::mouseReleaseEvent(QMouseEvent* event) {
  // A release first ends a hand move that is still running.
  if (corvex_.telescope.slewing) {
    StopRelayMove(corvex_);
    corvex_.telescope.slewing = false;
  }
  if (dialog_.selectMode()) {
    const QPoint at = event->position().toPoint();
    dialog_.SelectAt(at.x(), at.y());
  }
}

TGQSDialog::TGQSDialog(Corvex& corvex, QWidget* parent) : QDialog(parent), corvex_(corvex) {
  setObjectName("TGQSDialog");
  setWindowTitle(kCaption);
  view_ = new TGuiderView(corvex, *this);
  Build();
  if (auto* host = dynamic_cast<QtHost*>(&corvex.host)) {
    host->guiderStatus = [this](std::string_view caption) {
      setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
      Refresh();
      view_->repaint();
    };
  }
  Refresh();
}

TGQSDialog::~TGQSDialog() {
  if (auto* host = dynamic_cast<QtHost*>(&corvex_.host)) host->guiderStatus = {};
}

QWidget* TGQSDialog::Control(const char* name) const { return findChild<QWidget*>(name); }

void TGQSDialog::Build() {
  ProgramState& state = corvex_.state;
  auto* grid = new QGridLayout(this);
  grid->addWidget(view_, 0, 0, 6, 1, Qt::AlignTop | Qt::AlignLeft);

  const auto button = [this](const char* text, const std::function<void()>& pressed) {
    auto* push = new QPushButton(text, this);
    push->setObjectName(text);
    push->setAutoDefault(false);
    connect(push, &QPushButton::clicked, this, pressed);
    return push;
  };
  const auto field = [this](const char* name, bool readOnly = true) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(name);
    edit->setReadOnly(readOnly);
    edit->setMaximumWidth(70);
    fields_[name] = edit;
    return edit;
  };
  const auto check = [this](const char* text, const std::function<void(bool)>& toggled) {
    auto* box = new QCheckBox(text, this);
    box->setObjectName(text);
    connect(box, &QCheckBox::clicked, this, [this, toggled](bool on) {
      toggled(on);
      Refresh();
    });
    checks_[text] = box;
    return box;
  };

  // Exposure.
  auto* exposure = new QGroupBox("Exposure", this);
  auto* exposureLayout = new QGridLayout(exposure);
  int row = 0;
  for (const UnitRange& range : kUnits) {
    auto* radio = new QRadioButton(range.text, exposure);
    radio->setObjectName(range.text);
    const char unit = range.unit;
    connect(radio, &QRadioButton::clicked, this, [this, unit] { ChooseUnit(unit); });
    units_[range.unit] = radio;
    exposureLayout->addWidget(radio, row++, 0);
  }
  exposureBar_ = new QScrollBar(Qt::Horizontal, exposure);
  exposureBar_->setObjectName("Value");
  connect(exposureBar_, &QScrollBar::actionTriggered, this, [this](int action) {
    StepExposure(action == QAbstractSlider::SliderSingleStepAdd   ? 1
                 : action == QAbstractSlider::SliderSingleStepSub ? -1
                                                                  : 0);
  });
  exposureLayout->addWidget(new QLabel("Value", exposure), 0, 1);
  exposureLayout->addWidget(field("exposureValue"), 0, 2);
  exposureLayout->addWidget(exposureBar_, 1, 1, 1, 2);
  exposureLayout->addWidget(button("Start", [this] { StartExposures(); }), 2, 1);
  exposureLayout->addWidget(button("Stop", [this] { stopRequested_ = true; }), 2, 2);
  grid->addWidget(exposure, 0, 1);

  // Stretch and clean-up.
  auto* image = new QGroupBox("Stretch Image", this);
  auto* imageLayout = new QGridLayout(image);
  imageLayout->addWidget(new QLabel("5 bit", image), 0, 0);
  stretchBar_ = new QScrollBar(Qt::Horizontal, image);
  stretchBar_->setObjectName("stretchImage");
  stretchBar_->setRange(5, 8);
  connect(stretchBar_, &QScrollBar::actionTriggered, this, [this](int action) { StepStretch(action); });
  imageLayout->addWidget(stretchBar_, 0, 1);
  imageLayout->addWidget(new QLabel("8 bit", image), 0, 2);
  imageLayout->addWidget(check("Apply Median Filter to all Images",
                               [&state](bool on) { state.guiderHotPixelFilter = on; }),
                         1, 0, 1, 3);
  imageLayout->addWidget(check("1 Sec Pause", [&state](bool on) { state.guiderPauseOneSecond = on; }),
                         2, 0, 1, 3);
  grid->addWidget(image, 1, 1);

  // Dark frame.
  auto* dark = new QGroupBox("DarkFrame ", this);
  auto* darkLayout = new QGridLayout(dark);
  darkLayout->addWidget(button("Take Darkframe", [this] { TakeDarkFrame(); }), 0, 0);
  auto* applyDark = new QCheckBox("Apply Darkframe", dark);
  applyDark->setObjectName("Apply Darkframe");
  connect(applyDark, &QCheckBox::clicked, this, [this] { ToggleApplyDark(); });
  checks_["Apply Darkframe"] = applyDark;
  darkLayout->addWidget(applyDark, 0, 1);
  auto* darkStatus = new QLineEdit(dark);
  darkStatus->setObjectName("darkStatus");
  darkStatus->setReadOnly(true);
  fields_["darkStatus"] = darkStatus;
  darkLayout->addWidget(darkStatus, 1, 0, 1, 2);
  grid->addWidget(dark, 2, 1);

  // The guide star, training and the values.
  auto* star = new QGroupBox("Guide Star", this);
  auto* starLayout = new QGridLayout(star);
  starLayout->addWidget(button("Select Guide Star", [this] { EnterSelectMode(); }), 0, 0, 1, 2);
  starLayout->addWidget(new QLabel("Selected", star), 0, 2);
  starLayout->addWidget(field("selectedX"), 0, 3);
  starLayout->addWidget(field("selectedY"), 0, 4);
  starLayout->addWidget(button("Train", [this] { Train(); }), 1, 0);
  useDefault_ = button("Use Default", [this] { UseDefault(); });
  starLayout->addWidget(useDefault_, 1, 1);
  starLayout->addWidget(button("Change Defaults", [this] { ChangeDefaults(); }), 1, 2, 1, 2);
  starLayout->addWidget(button("Save Latest", [this] { SaveLatest(); }), 1, 4);
  const char* rows[] = {"RA rate", "Dec rate", "RA backlash", "Dec backlash", "RA angle"};
  starLayout->addWidget(new QLabel("Default", star), 2, 1);
  starLayout->addWidget(new QLabel("Latest", star), 2, 2);
  for (int i = 0; i < 5; ++i) {
    starLayout->addWidget(new QLabel(rows[i], star), 3 + i, 0);
    starLayout->addWidget(field((std::string("default") + std::to_string(i)).c_str(), false),
                          3 + i, 1);
    starLayout->addWidget(field((std::string("latest") + std::to_string(i)).c_str()), 3 + i, 2);
  }
  auto* status = new QLineEdit(star);
  status->setObjectName("valuesStatus");
  status->setReadOnly(true);
  fields_["valuesStatus"] = status;
  starLayout->addWidget(status, 3, 3, 1, 2);
  starLayout->addWidget(check("Ignore Backlash",
                              [&state](bool on) { state.settings.ignoreBacklash = on; }),
                        4, 3, 1, 2);
  starLayout->addWidget(check("Ignore RA Angle",
                              [&state](bool on) { state.settings.ignoreRaAngle = on; }),
                        5, 3, 1, 2);
  grid->addWidget(star, 0, 2, 3, 1);

  // The hand moves and the swaps.
  auto* move = new QGroupBox("Move Telescope", this);
  auto* moveLayout = new QGridLayout(move);
  const auto arrow = [this, move](const char* text, int slot) {
    auto* push = new QPushButton(text, move);
    push->setObjectName(text);
    push->setAutoDefault(false);
    connect(push, &QPushButton::pressed, this, [this, slot] {
      if (corvex_.state.settings.telescopeMethod == 'b') {
        PressRelayArrow(corvex_, slot);
      } else {
        PressSlewArrow(corvex_, slot);
      }
    });
    connect(push, &QPushButton::released, this, [this] {
      if (corvex_.state.settings.telescopeMethod == 'b') {
        ReleaseRelayArrow(corvex_);
      } else {
        ReleaseSlewArrow(corvex_);
      }
    });
    return push;
  };
  moveLayout->addWidget(arrow("North", kNorth), 0, 1);
  moveLayout->addWidget(arrow("West", kWest), 1, 0);
  moveLayout->addWidget(arrow("East", kEast), 1, 2);
  moveLayout->addWidget(arrow("South", kSouth), 2, 1);
  moveLayout->addWidget(check("Swap n/s direction",
                              [this](bool) {
                                SwapNorthSouth(corvex_);
                                WriteSettingsFile(corvex_);
                              }),
                        3, 0, 1, 3);
  moveLayout->addWidget(check("Swap e/w direction",
                              [this](bool) {
                                SwapEastWest(corvex_);
                                WriteSettingsFile(corvex_);
                              }),
                        4, 0, 1, 3);
  grid->addWidget(move, 3, 2, 3, 1);

  // Under the mouse.
  auto* under = new QGroupBox("Co-Ordinates", this);
  auto* underLayout = new QHBoxLayout(under);
  underLayout->addWidget(field("x"));
  underLayout->addWidget(field("y"));
  underLayout->addWidget(new QLabel("val", under));
  underLayout->addWidget(field("val"));
  grid->addWidget(under, 3, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(button("Go to Main Camera", [this] {
    outcome_ = GuiderPanelOutcome::kGoToMainCamera;
    accept();
  }));
  buttons->addWidget(button("Start Guiding", [this] {
    outcome_ = GuiderPanelOutcome::kStartGuiding;
    accept();
  }));
  buttons->addWidget(button("Help", [this] {
    corvex_.host.ShowMessageBox(kHelpText, "VIREO - Control VR Guider Camera",
                                MessageButtons::kOk, MessageIcon::kNone);
  }));
  buttons->addWidget(button("Close", [this] {
    outcome_ = GuiderPanelOutcome::kClosed;
    reject();
  }));
  grid->addLayout(buttons, 6, 0, 1, 3);
}

void TGQSDialog::Refresh() {
  const ProgramState& state = corvex_.state;
  const GuidingState& guiding = corvex_.guiding;
  const GuiderTraining& training = guiding.training;
  const ProgramSettings& settings = state.settings;
  const auto set = [this](const char* name, const QString& text) {
    QLineEdit* edit = fields_[name];
    if (!edit->hasFocus()) edit->setText(text);
  };
  const char unit = state.guiderExposureUnit == 'h' || state.guiderExposureUnit == 't'
                        ? state.guiderExposureUnit
                        : 's';
  units_[unit]->setChecked(true);
  {
    const QSignalBlocker block(exposureBar_);
    exposureBar_->setRange(1, state.guiderExposureMax);
    exposureBar_->setValue(state.guiderExposureValue);
  }
  {
    const QSignalBlocker block(stretchBar_);
    stretchBar_->setValue(state.guiderGain);
  }
  set("exposureValue", QString::number(state.guiderExposureValue));
  checks_["Apply Median Filter to all Images"]->setChecked(state.guiderHotPixelFilter);
  checks_["1 Sec Pause"]->setChecked(state.guiderPauseOneSecond);
  checks_["Apply Darkframe"]->setChecked(state.guiderDarkSubtract);
  checks_["Ignore Backlash"]->setChecked(settings.ignoreBacklash);
  checks_["Ignore RA Angle"]->setChecked(settings.ignoreRaAngle);
  checks_["Swap n/s direction"]->setChecked(settings.directionTable[kNorth] == 's');
  checks_["Swap e/w direction"]->setChecked(settings.directionTable[kEast] == 'w');
  const QString description = QString::fromStdString(state.guiderDarkDescription);
  set("darkStatus", !state.guiderDarkAvailable ? QString("No darkframe has been taken")
                    : state.guiderDarkSubtract ? description + "darkframe being used"
                                               : description + "darkframe available");
  set("selectedX", QString::number(guiding.guiderStarSelected ? guiding.selectedGuiderStarX : 0));
  set("selectedY", QString::number(guiding.guiderStarSelected ? guiding.selectedGuiderStarY : 0));
  // The RA angles in degrees: kept in radians, they would read 0 to 6.
  const int defaults[] = {settings.guiderRaRate, settings.guiderDecRate, settings.guiderRaBacklash,
                          settings.guiderDecBacklash, RaAngleDegrees(settings.defaultRaAngle)};
  const int latest[] = {training.trainedRaRate, training.trainedDecRate, training.trainedRaBacklash,
                        training.trainedDecBacklash, RaAngleDegrees(training.trainedRaAngle)};
  for (int i = 0; i < 5; ++i) {
    set((std::string("default") + std::to_string(i)).c_str(), QString::number(defaults[i]));
    set((std::string("latest") + std::to_string(i)).c_str(), QString::number(latest[i]));
  }
  set("valuesStatus", QString::fromStdString(GuiderValuesStatus(training)));
  view_->update();
}

void TGQSDialog::ChooseUnit(char unit) {
  ProgramState& state = corvex_.state;
  for (const UnitRange& range : kUnits) {
    if (range.unit != unit) continue;
    state.guiderExposureUnit = unit;
    state.guiderExposureMax = static_cast<std::int16_t>(range.maximum);
    state.guiderExposureValue = static_cast<std::int16_t>(range.value);
  }
  Refresh();
}

void TGQSDialog::StepExposure(int delta) {
  ProgramState& state = corvex_.state;
  if (delta > 0 && state.guiderExposureValue < state.guiderExposureMax) ++state.guiderExposureValue;
  if (delta < 0 && state.guiderExposureValue > 1) --state.guiderExposureValue;
  Refresh();
}

void TGQSDialog::StepStretch(int action) {
  int& gain = corvex_.state.guiderGain;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: gain = std::max(gain - 1, 5); break;
    case QAbstractSlider::SliderSingleStepAdd: gain = std::min(gain + 1, 8); break;
    case QAbstractSlider::SliderPageStepSub: gain = 5; break;
    case QAbstractSlider::SliderPageStepAdd: gain = 8; break;
    case QAbstractSlider::SliderMove: gain = std::clamp(stretchBar_->sliderPosition(), 5, 8); break;
    default: break;
  }
  Refresh();
}

bool TGQSDialog::TakeFrame() {
  corvex_.host.SetWaitCursor(true);
  GuiderExposure(corvex_);
  corvex_.host.SetWaitCursor(false);
  BuildRawPreview(corvex_, corvex_.store.guiderImage.span());
  view_->ShowBitmap(corvex_.display.previewBitmap);
  Refresh();
  view_->repaint();
  return true;
}

void TGQSDialog::StartExposures(int frames) {
  stopRequested_ = false;
  GuiderClear(corvex_.camera);
  for (int taken = 0;;) {
    if (corvex_.host.PumpEvents()) stopRequested_ = true;
    TakeFrame();
    ++taken;
    if (stopRequested_ || (frames > 0 && taken >= frames)) break;
    if (corvex_.host.PumpEvents()) break;
    corvex_.host.Beep(kBeepSimple);
    if (corvex_.state.guiderPauseOneSecond) corvex_.clock.SleepFor(1000);
  }
}

void TGQSDialog::done(int result) {
  stopRequested_ = true;
  QDialog::done(result);
}

void TGQSDialog::TakeDarkFrame() {
  ProgramState& state = corvex_.state;
  state.guiderDarkAvailable = false;
  state.guiderDarkInProgress = true;
  GuiderExposure(corvex_);
  state.guiderDarkInProgress = false;
  BuildRawPreview(corvex_, corvex_.store.guiderImage.span());
  CopyGuiderImage(corvex_.store.guiderImage, corvex_.store.guiderDark);
  char text[32];
  std::snprintf(text, sizeof text, "%2d%s", state.guiderExposureValue,
                UnitWord(state.guiderExposureUnit));
  state.guiderDarkDescription = text;
  state.guiderDarkAvailable = true;
  view_->ShowBitmap(corvex_.display.previewBitmap);
  Refresh();
}

void TGQSDialog::ToggleApplyDark() {
  ProgramState& state = corvex_.state;
  state.guiderDarkSubtract = !state.guiderDarkSubtract && state.guiderDarkAvailable;
  Refresh();
}

void TGQSDialog::EnterSelectMode() {
  selectMode_ = true;
  view_->setCursor(Qt::CrossCursor);
}

bool TGQSDialog::SelectAt(int x, int y) {
  const bool selected = SelectGuiderStar(corvex_, x, y, [this](int fx, int fy) {
    QCursor::setPos(view_->mapToGlobal(QPoint(fx, fy)));
  });
  if (selected) {
    selectMode_ = false;
    view_->setCursor(Qt::ArrowCursor);
  }
  Refresh();
  return selected;
}

void TGQSDialog::Train() {
  TrainGuider(corvex_);
  setWindowTitle(kCaption);
  Refresh();
}

void TGQSDialog::UseDefault() {
  useDefault_->setText(QString::fromStdString(ToggleUseTrainedValues(corvex_.guiding.training)));
  Refresh();
}

void TGQSDialog::ChangeDefaults() {
  const auto number = [this](int i) {
    return fields_[(std::string("default") + std::to_string(i)).c_str()]->text().toInt();
  };
  ChangeGuiderDefaults(corvex_, number(0), number(1), number(2), number(3),
                       RaAngleFromDegrees(number(4), corvex_.state.settings.defaultRaAngle));
  Refresh();
}

void TGQSDialog::SaveLatest() {
  SaveLatestTraining(corvex_);
  Refresh();
}

void TGQSDialog::ShowValueAt(int x, int y) {
  if (x <= 0 || x >= kReadoutWidth || y <= 0 || y >= kImageRows) return;
  fields_["x"]->setText(QString::number(x));
  fields_["y"]->setText(QString::number(y));
  fields_["val"]->setText(QString::number(corvex_.store.guiderImage[y * kReadoutWidth + x] / 256));
}

GuiderPanelOutcome RunGuiderPanel(QWidget* parent, Corvex& corvex) {
  TGQSDialog dialog(corvex, parent);
  dialog.exec();
  return dialog.outcome();
}

}  // namespace corvex::ui
