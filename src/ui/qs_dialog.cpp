#include "ui/qs_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include "commands/camera_commands.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "guiding/telescope_link.h"
#include "processing/star_measurement.h"
#include "runs/focus_mode.h"
#include "state/messages.h"
#include "ui/focus_graph.h"
#include "ui/shown_path.h"

namespace corvex::ui {

namespace {

constexpr ExposureRange kRanges[] = {
    {'q', 5, 500}, {'h', 5, 500}, {'t', 1, 100}, {'s', 1, 300}, {'m', 1, 90}};
constexpr int kMaxCount = 20;
constexpr int kMaxPause = 20;
constexpr int kMaxFocusStretch = 50;

const char* kHelpText =
    "Select exposure range using Radio buttons on left of dialog Window \nSelect anti-smear "
    "status using checkbox\nVary exposure time using scroll arrows,and take exposure by "
    "pressing the 'Take Photo' button\n\nThe Focus mode allows repeated exposures of 0.01 to 10 "
    "seconds to be made, and displays the value of the most saturated pixel. In a starfield, "
    "altering the focus until the maximum value is returned will give a good indication of "
    "best focus.\n\nIt is posssible to use an 'slew and sum' mode, which will automatically "
    "sum images together, taking into account small amounts of drift in the telescope drive. "
    "To do this simply change the number of exposures from 1 to any value less than 20. This "
    "option will only work in a starfield\n\nPress Esc or the 'Stop' button of the progress "
    "window to prematurely terminate an exposure\n\nThe delay option gives an audible 10 "
    "second countdown to the exposure start";

const char* UnitWord(char unit) {
  switch (unit) {
    case 'h': return "hundredths";
    case 'q': return "thousandths";
    case 's': return "seconds";
    case 't': return "tenths";
    default: return "minutes";
  }
}

// The exposure unit in words, for the range message.
const char* RangeWords(char unit) {
  switch (unit) {
    case 'q': return "thousandths of a second";
    case 'h': return "hundredths of a second";
    case 't': return "tenths of a second";
    case 's': return "seconds";
    default: return "minutes";
  }
}

QString Name(int id) { return QString("id%1").arg(id); }

// The check boxes and the fields they show.
struct CheckBoxField {
  int id;
  const char* text;
  bool ProgramState::*field;
};
constexpr CheckBoxField kCheckBoxes[] = {
    {119, "Continuous Mode", &ProgramState::continuousMode},
    {117, "Delay before exposure", &ProgramState::startDelay},
    {114, "Average Multiple Exposures", &ProgramState::averageExposures},
    {113, "Alternative Slew Method", &ProgramState::alternativeSlewMethod},
    {115, "Auto Save Image", &ProgramState::autoSave},
    {106, "Auto-Remove Dark Frame", &ProgramState::autoDarkSubtract},
    {124, "Auto Colour Convert", &ProgramState::autoColour},
    {122, "Auto-exposure mode", &ProgramState::autoExposureMode},
    {710, "Pause between exposures", &ProgramState::pauseBetweenExposures},
};

}  // namespace

ExposureRange RangeOfUnit(char unit) {
  for (const ExposureRange& range : kRanges) {
    if (range.unit == unit) return range;
  }
  return kRanges[4];
}

bool ShortEnoughToGuide(char unit, int value) {
  switch (unit) {
    case 'q': return value < 12000;
    case 'h': return value < 1200;
    case 't': return value < 120;
    case 's': return value < 12;
    default: return false;
  }
}

const char* CameraStatusText(bool continuousMode, int exposureCount, bool selfGuideNext) {
  if (continuousMode) return exposureCount == 1 ? "Continuous Imaging" : "Series Imaging";
  if (selfGuideNext) return "Selfguide Next Image";
  return exposureCount == 1 ? "Single Image" : "Auto Merging";
}

std::optional<int> ParseExposureValue(const QString& text, char unit) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok || value < 1 || value > RangeOfUnit(unit).maximum) return std::nullopt;
  return value;
}

std::string ExposureValueRangeText(char unit) {
  return "The exposure value must be a whole number from 1 to " +
         std::to_string(RangeOfUnit(unit).maximum) + " " + RangeWords(unit) + ".";
}

TQSDialog::TQSDialog(Corvex& corvex, QWidget* parent) : QDialog(parent), corvex_(corvex) {
  setObjectName("TQSDialog");
  setWindowTitle("Corvex - Camera Control Interface");
  Build();
  Refresh();
}

QWidget* TQSDialog::Control(int id) const { return findChild<QWidget*>(Name(id)); }

void TQSDialog::Build() {
  auto* grid = new QGridLayout(this);
  const auto edit = [this](int id, bool readOnly) {
    auto* line = new QLineEdit(this);
    line->setObjectName(Name(id));
    line->setReadOnly(readOnly);
    // The status texts and the unit word need their room; numbers do not.
    const bool wide = id == 12 || id == 13 || id == 116 || id == 129;
    line->setMinimumWidth(wide ? 180 : id == 128 ? 90 : 50);
    line->setMaximumWidth(wide ? 260 : 110);
    edits_[id] = line;
    return line;
  };
  const auto bar = [this](int id, Qt::Orientation orientation,
                          const std::function<void(int action)>& onAction) {
    auto* scroll = new QScrollBar(orientation, this);
    scroll->setObjectName(Name(id));
    if (orientation == Qt::Horizontal) scroll->setMinimumWidth(90);
    connect(scroll, &QScrollBar::actionTriggered, this, [this, onAction](int action) {
      onAction(action);
      Refresh();
    });
    return scroll;
  };
  const auto button = [this](int id, const char* text, const std::function<void()>& pressed) {
    auto* push = new QPushButton(text, this);
    push->setObjectName(Name(id));
    push->setAutoDefault(false);
    connect(push, &QPushButton::clicked, this, pressed);
    return push;
  };

  // Exposure range and value.
  auto* rangeBox = new QGroupBox("Exposure Range", this);
  auto* rangeLayout = new QVBoxLayout(rangeBox);
  const char* rangeTexts[] = {"Thousandths", "Hundredth's", "Tenth's", "Seconds", "Minutes"};
  for (int i = 0; i < 5; ++i) {
    auto* radio = new QRadioButton(rangeTexts[i], rangeBox);
    radio->setObjectName(Name(701 + i));
    const char unit = kRanges[i].unit;
    connect(radio, &QRadioButton::clicked, this, [this, unit] { ChooseRange(unit); });
    ranges_[unit] = radio;
    rangeLayout->addWidget(radio);
  }
  grid->addWidget(rangeBox, 0, 0, 4, 1);

  const auto stepAction = [](int action) {
    return action == QAbstractSlider::SliderSingleStepAdd   ? 1
           : action == QAbstractSlider::SliderSingleStepSub ? -1
                                                            : 0;
  };
  grid->addWidget(new QLabel("Exposure Value", this), 0, 1);
  exposureBar_ = bar(104, Qt::Horizontal, [this, stepAction](int a) { StepExposure(stepAction(a)); });
  grid->addWidget(exposureBar_, 0, 2);
  grid->addWidget(edit(105, false), 0, 3);
  // A usable typed value takes effect at once, so that every later control and "Take Photo"
  // see the exposure shown. An unusable one stays as typed until it is corrected, and the
  // exposure meanwhile is what it was before the typing began (not a prefix such as the 99
  // of 9999).
  connect(edits_[105], &QLineEdit::textEdited, this, [this](const QString& text) {
    int& exposure = corvex_.state.exposureValue;
    if (!valueBeforeTyping_) valueBeforeTyping_ = exposure;
    const auto value = ParseExposureValue(text, corvex_.state.exposureUnit);
    exposure = value.value_or(*valueBeforeTyping_);
    exposureTyped_ = !value;
  });
  connect(edits_[105], &QLineEdit::editingFinished, this, [this] {
    if (!exposureTyped_) valueBeforeTyping_.reset();
  });
  grid->addWidget(new QLabel("No of Exposures", this), 1, 1);
  countBar_ = bar(111, Qt::Horizontal, [this, stepAction](int a) { StepCount(stepAction(a)); });
  grid->addWidget(countBar_, 1, 2);
  grid->addWidget(edit(112, true), 1, 3);
  grid->addWidget(new QLabel("Delay between Exposures (mins)", this), 2, 1);
  pauseBar_ = bar(120, Qt::Horizontal, [this, stepAction](int a) { StepPause(stepAction(a)); });
  grid->addWidget(pauseBar_, 2, 2);
  grid->addWidget(edit(121, true), 2, 3);

  // Check boxes.
  auto* options = new QGroupBox(this);
  auto* optionLayout = new QGridLayout(options);
  int row = 0;
  for (const CheckBoxField& entry : kCheckBoxes) {
    auto* check = new QCheckBox(entry.text, options);
    check->setObjectName(Name(entry.id));
    bool ProgramState::*field = entry.field;
    connect(check, &QCheckBox::clicked, this, [this, field](bool on) {
      corvex_.state.*field = on;
      Refresh();
    });
    checks_[entry.id] = check;
    optionLayout->addWidget(check, row / 2, row % 2);
    ++row;
  }
  grid->addWidget(options, 4, 0, 1, 4);

  auto* files = new QGridLayout;
  files->addWidget(new QLabel("Dark Frame", this), 0, 0);
  files->addWidget(edit(116, true), 0, 1);
  files->addWidget(new QLabel("Last File No.", this), 1, 0);
  files->addWidget(edit(118, true), 1, 1);
  files->addWidget(new QLabel("Directory", this), 2, 0);
  files->addWidget(edit(129, true), 2, 1);
  grid->addLayout(files, 5, 0, 1, 2);

  // Self-guiding.
  auto* guideBox = new QGroupBox("Self-Guiding", this);
  auto* guideLayout = new QGridLayout(guideBox);
  auto* selfGuide = new QCheckBox("Self-Guide Next Exposure", guideBox);
  selfGuide->setObjectName(Name(123));
  connect(selfGuide, &QCheckBox::clicked, this, [this] { ToggleSelfGuideNext(); });
  checks_[123] = selfGuide;
  auto* dark = new QCheckBox("Take matching Darkframe", guideBox);
  dark->setObjectName(Name(125));
  connect(dark, &QCheckBox::clicked, this, [this] { ToggleMatchingDarkframe(); });
  checks_[125] = dark;
  guideLayout->addWidget(selfGuide, 0, 0, 1, 2);
  guideLayout->addWidget(dark, 1, 0, 1, 2);
  guideLayout->addWidget(new QLabel("No of Guiding Frames", guideBox), 2, 0);
  guideLayout->addWidget(edit(126, true), 2, 1);
  guideLayout->addWidget(new QLabel("Value", guideBox), 3, 0);
  auto* valueRow = new QHBoxLayout;
  valueRow->addWidget(edit(127, true));
  valueRow->addWidget(edit(128, true));
  guideLayout->addLayout(valueRow, 3, 1);
  // Dithering between the exposures of a guided series (self-guided or from the guider
  // camera); a setting of corvex.conf, written when changed here.
  auto* dither = new QCheckBox("Dither", guideBox);
  dither->setObjectName(Name(132));
  dither->setToolTip("Between guided exposures, move the guide star up to this many pixels "
                     "from where guiding started and wait until guiding settles");
  connect(dither, &QCheckBox::clicked, this, [this](bool on) {
    corvex_.options.Set(kDitherKey, on ? "yes" : "no");
    const std::string_view keys[] = {kDitherKey};
    WriteProgramOptionsFile(corvex_, keys);
    Refresh();
  });
  checks_[132] = dither;
  ditherAmount_ = new QSpinBox(guideBox);
  ditherAmount_->setObjectName(Name(133));
  const OptionDefinition* amount = FindProgramOption(kDitherAmountKey);
  ditherAmount_->setRange(static_cast<int>(amount->low), static_cast<int>(amount->high));
  ditherAmount_->setSingleStep(2);
  ditherAmount_->setSuffix(" px");
  connect(ditherAmount_, &QSpinBox::editingFinished, this, [this] {
    corvex_.options.Set(kDitherAmountKey, std::to_string(ditherAmount_->value()));
    const std::string_view keys[] = {kDitherAmountKey};
    WriteProgramOptionsFile(corvex_, keys);
  });
  guideLayout->addWidget(dither, 4, 0);
  guideLayout->addWidget(ditherAmount_, 4, 1);
  grid->addWidget(guideBox, 5, 2, 2, 2);

  // Focus mode; its frame is drawn in the panel's free space.
  auto* focusBox = new QGroupBox("Focus Mode", this);
  auto* focusLayout = new QGridLayout(focusBox);
  focusLayout->addWidget(button(108, "Start", [this] { StartFocus(); }), 0, 0);
  focusLayout->addWidget(button(109, "Stop", [this] { corvex_.state.focusStop = true; }), 0, 1);
  focusLayout->addWidget(new QLabel("Max Value", focusBox), 1, 0);
  focusLayout->addWidget(edit(110, true), 1, 1);
  focusLayout->addWidget(new QLabel("Stretch", focusBox), 2, 0);
  stretchBar_ = bar(130, Qt::Vertical, [this](int action) {
    int& stretch = corvex_.state.guideWindowGain;
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub: stretch = std::max(stretch - 1, 1); break;
      case QAbstractSlider::SliderSingleStepAdd:
        stretch = std::min(stretch + 1, kMaxFocusStretch);
        break;
      case QAbstractSlider::SliderPageStepSub: stretch = 1; break;
      case QAbstractSlider::SliderPageStepAdd: stretch = kMaxFocusStretch; break;
      case QAbstractSlider::SliderMove:
        stretch = std::clamp(stretchBar_->sliderPosition(), 1, kMaxFocusStretch);
        break;
      default: break;
    }
  });
  stretchBar_->setRange(1, kMaxFocusStretch);
  focusLayout->addWidget(stretchBar_, 2, 2);
  focusLayout->addWidget(edit(131, true), 2, 1);
  // The focus frame, 128 x 128, beside the focus controls.
  focusFrame_ = new QLabel(focusBox);
  focusFrame_->setObjectName("focusFrame");
  focusFrame_->setFixedSize(128, 128);
  focusFrame_->setFrameShape(QFrame::Box);
  focusLayout->addWidget(focusFrame_, 0, 3, 3, 1);
  // The brightest star's widths frame by frame: focus is at the bottom of the curve.
  focusGraph_ = new TFocusGraph(focusBox);
  focusGraph_->setMinimumHeight(150);
  focusLayout->addWidget(focusGraph_, 3, 0, 1, 4);
  grid->addWidget(focusBox, 0, 4, 3, 3);

  // Status and filter wheel.
  auto* statusBox = new QGridLayout;
  statusBox->addWidget(new QLabel("Camera Status", this), 0, 0);
  statusBox->addWidget(edit(12, true), 0, 1);
  statusBox->addWidget(new QLabel("Guider Status", this), 1, 0);
  statusBox->addWidget(edit(13, true), 1, 1);
  grid->addLayout(statusBox, 3, 4, 1, 3);
  auto* wheelBox = new QGroupBox("Filter Wheel", this);
  auto* wheelLayout = new QGridLayout(wheelBox);
  wheelLayout->addWidget(button(14, "First", [this] { FilterFirst(); }), 0, 0);
  wheelLayout->addWidget(button(15, "Next", [this] { FilterNext(); }), 0, 1);
  wheelLayout->addWidget(button(16, "Prev", [this] { FilterPrev(); }), 0, 2);
  wheelLayout->addWidget(new QLabel("Filter", wheelBox), 1, 0);
  wheelLayout->addWidget(edit(17, true), 1, 1);
  wheelLayout->addWidget(edit(18, true), 1, 2);
  grid->addWidget(wheelBox, 4, 4, 1, 3);

  // The ways out.
  auto* buttons = new QHBoxLayout;
  QPushButton* take = button(1, "Take Photo", [this] { TakePhoto(false); });
  take->setDefault(true);
  buttons->addWidget(take);
  buttons->addWidget(button(10, "AutoGuide Image", [this] { TakePhoto(true); }));
  buttons->addWidget(button(11, "GoTo Guider ", [this] { GoToGuider(); }));
  buttons->addWidget(button(2, "Cancel", [this] {
    outcome_ = PanelOutcome::kCancel;
    reject();
  }));
  buttons->addWidget(button(9, "Help", [this] { ShowHelp(); }));
  grid->addLayout(buttons, 7, 0, 1, 7);
}

void TQSDialog::Refresh() {
  ProgramState& state = corvex_.state;
  const auto set = [this](int id, const QString& text) {
    if (edits_.count(id) && !edits_[id]->hasFocus()) edits_[id]->setText(text);
  };
  // 1. Exposure and the fields.
  {
    const QSignalBlocker block(exposureBar_);
    exposureBar_->setRange(0, RangeOfUnit(state.exposureUnit).maximum);
    exposureBar_->setValue(state.exposureValue);
  }
  {
    const QSignalBlocker block(countBar_);
    countBar_->setRange(1, kMaxCount);
    countBar_->setValue(state.exposureCount);
  }
  {
    const QSignalBlocker block(pauseBar_);
    pauseBar_->setRange(0, kMaxPause);
    pauseBar_->setValue(state.pauseMinutes);
  }
  {
    const QSignalBlocker block(stretchBar_);
    stretchBar_->setValue(state.guideWindowGain);
  }
  // The value shows what the state holds unless the user's unfinished typing is there. It is
  // rewritten even while the field has the focus, so the arrows show their step at once.
  QLineEdit* value = edits_[105];
  if (!exposureTyped_ &&
      ParseExposureValue(value->text(), state.exposureUnit) != state.exposureValue) {
    value->setText(QString::number(state.exposureValue));
  }
  set(112, QString::number(state.exposureCount));
  set(110, QString::number(state.focusPeak));
  set(121, QString::number(state.pauseMinutes));
  set(118, QString::number(state.settings.lastFileNumber));
  // Where the files really are on this machine, not the stored "c:\" form.
  set(129, ShownStoredPath(corvex_, state.settings.autosaveDirectory));
  set(116, ShownStoredPath(corvex_, state.darkFrameFile));
  set(131, QString::number(state.guideWindowGain));
  const char unit = std::string("qhts").find(state.exposureUnit) != std::string::npos
                        ? state.exposureUnit
                        : 'm';
  ranges_[unit]->setChecked(true);
  for (const CheckBoxField& entry : kCheckBoxes) checks_[entry.id]->setChecked(state.*entry.field);
  checks_[123]->setChecked(state.selfGuideNext);
  checks_[125]->setChecked(state.matchingDarkframe);
  checks_[132]->setChecked(corvex_.options.Flag(kDitherKey));
  if (!ditherAmount_->hasFocus()) {
    ditherAmount_->setValue(static_cast<int>(corvex_.options.Whole(kDitherAmountKey)));
  }
  // 2. and 3. The status texts.
  set(12, CameraStatusText(state.continuousMode, state.exposureCount, state.selfGuideNext));
  set(13, !state.cameraFound             ? "Guider Camera not detected"
          : state.guiderGuidingRunning   ? "Already Autoguiding"
                                         : "Guider Camera available");
  // 4. The guide exposure, once there is one.
  if (state.selfGuideNext || state.guideExposureValue > 0) {
    set(127, QString::number(state.guideExposureValue));
    set(126, QString::number(state.guidingFrames));
    set(128, UnitWord(state.guideExposureUnit));
  } else {
    set(127, {});
    set(128, {});
  }
  // 5. The filter wheel.
  const int position = std::clamp(state.filterPosition, 1, 8);
  set(17, QString::number(position));
  set(18, QString::fromStdString(state.settings.filterNames[position - 1]));
  update();
}

void TQSDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  if (!corvex_.state.focusFrameShown) return;
  const std::vector<std::uint8_t>& bmp = corvex_.display.focusBitmap;
  QPixmap frame;
  if (frame.loadFromData(bmp.data(), static_cast<uint>(bmp.size()), "BMP")) {
    focusFrame_->setPixmap(frame);
  }
}

void TQSDialog::done(int result) {
  if (corvex_.state.focusRunning) corvex_.state.focusStop = true;
  QDialog::done(result);
}

void TQSDialog::ChooseRange(char unit) {
  const ExposureRange range = RangeOfUnit(unit);
  exposureTyped_ = false;
  valueBeforeTyping_.reset();
  corvex_.state.exposureUnit = range.unit;
  corvex_.state.exposureValue = range.initialValue;
  Refresh();
}

void TQSDialog::StepExposure(int delta) {
  exposureTyped_ = false;
  valueBeforeTyping_.reset();
  int& value = corvex_.state.exposureValue;
  if (delta < 0 && value > 1) --value;
  if (delta > 0 && value < RangeOfUnit(corvex_.state.exposureUnit).maximum) ++value;
}

void TQSDialog::StepCount(int delta) {
  corvex_.state.exposureCount = std::clamp(corvex_.state.exposureCount + delta, 1, kMaxCount);
}

void TQSDialog::StepPause(int delta) {
  corvex_.state.pauseMinutes = std::clamp(corvex_.state.pauseMinutes + delta, 0, kMaxPause);
}

void TQSDialog::PrepareLinkOnce() {
  if (linkPrepared_) return;
  linkPrepared_ = true;
  if (!corvex_.telescope.linkOpen) SelectTelescopePort(corvex_);
}

void TQSDialog::ToggleSelfGuideNext() {
  ProgramState& state = corvex_.state;
  PrepareLinkOnce();
  if (state.selfGuideNext) {
    state.selfGuideNext = false;
  } else if (ShortEnoughToGuide(state.exposureUnit, state.exposureValue)) {
    state.selfGuideNext = true;
    state.guideExposureUnit = state.exposureUnit;
    state.guideExposureValue = state.exposureValue;
  } else if (state.guideExposureValue > 0 &&
             ShortEnoughToGuide(state.guideExposureUnit, state.guideExposureValue)) {
    state.selfGuideNext = true;
  } else {
    corvex_.host.Beep(kBeepSimple);
  }
  Refresh();
}

void TQSDialog::ToggleMatchingDarkframe() {
  ProgramState& state = corvex_.state;
  PrepareLinkOnce();
  state.matchingDarkframe = !state.matchingDarkframe;
  if (state.matchingDarkframe) {
    state.selfGuideNext = true;
    state.continuousMode = false;
  }
  Refresh();
}

void TQSDialog::MoveFilter(int position) {
  corvex_.state.filterPosition = position;
  SelectFilter(corvex_, position);
  Refresh();
}

void TQSDialog::FilterFirst() { MoveFilter(1); }

void TQSDialog::FilterNext() {
  const int count = std::max(corvex_.state.settings.filterCount, 1);
  const int position = corvex_.state.filterPosition;
  MoveFilter(position >= count ? 1 : position + 1);
}

void TQSDialog::FilterPrev() {
  const int count = std::max(corvex_.state.settings.filterCount, 1);
  const int position = corvex_.state.filterPosition;
  MoveFilter(position <= 1 ? count : position - 1);
}

bool TQSDialog::TakeTypedExposure() {
  QLineEdit* edit = edits_[105];
  const char unit = corvex_.state.exposureUnit;
  const auto value = ParseExposureValue(edit->text(), unit);
  if (!value) {
    exposureTyped_ = true;
    ShowMessage(corvex_.host, kFreeTextMessage, ExposureValueRangeText(unit));
    edit->setFocus();
    edit->selectAll();
    return false;
  }
  corvex_.state.exposureValue = *value;
  exposureTyped_ = false;
  valueBeforeTyping_.reset();
  return true;
}

void TQSDialog::TakePhoto(bool autoGuide) {
  ProgramState& state = corvex_.state;
  if (autoGuide && state.guiderGuidingRunning) {
    ShowMessage(corvex_.host, 59);
    return;
  }
  // The value first, so that a refused one leaves no guiding request behind.
  if (!TakeTypedExposure()) return;
  if (autoGuide && corvex_.guiding.guiderStarSelected && !state.selfGuideNext) {
    state.guideWithGuiderCamera = true;
  }
  outcome_ = PanelOutcome::kTakePhoto;
  accept();
}

void TQSDialog::GoToGuider() {
  ProgramState& state = corvex_.state;
  if (state.guiderGuidingRunning) {
    ShowMessage(corvex_.host, 59);
    return;
  }
  if (!TelescopeMethodChosen(corvex_)) {
    ShowMessage(corvex_.host, kFreeTextMessage,
                "Please select a telescope drive method before using autoguider");
    return;
  }
  outcome_ = PanelOutcome::kGoToGuider;
  reject();
}

void TQSDialog::StartFocus() {
  if (!TakeTypedExposure()) return;
  focusGraph_->Clear();
  const FitsHeaderFields& fits = corvex_.fits;
  focusGraph_->SetArcsecPerPixel(
      PixelScaleArcsec(fits.pixelWidth, fits.pixelHeight, fits.focalLength));
  RunFocusMode(corvex_, [this](int, int) {
    focusGraph_->Add(MeasureBrightestStar(corvex_.store.currentImage.data(), kFocusFrameSide,
                                          kFocusFrameSide, kFocusFrameSide, kFocusFrameMargin));
    Refresh();
    repaint();
    return true;
  });
  Refresh();
}

void TQSDialog::ShowHelp() {
  corvex_.host.ShowMessageBox(kHelpText, "Corvex - Control QZ Camera", MessageButtons::kOk,
                              MessageIcon::kNone);
}

PanelOutcome RunCameraPanel(QWidget* parent, Corvex& corvex, bool automatic) {
  TQSDialog dialog(corvex, parent);
  if (automatic) {
    dialog.TakePhoto(false);
    return dialog.outcome();
  }
  dialog.exec();
  return dialog.outcome();
}

}  // namespace corvex::ui
