#include "ui/settings_dialog.h"

#include <unistd.h>

#include <vector>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <system_error>

#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/program_options_file.h"
#include "commands/quick_save.h"
#include "files/settings_file.h"
#include "guiding/telescope_link.h"
#include "state/messages.h"
#include "ui/fits_dialog.h"
#include "ui/shown_path.h"

namespace corvex::ui {

namespace {

QString Name(int id) {
  return QString("id%1").arg(id);
}

constexpr const char* kDefaultAutosaveDirectory = "c:\\AUTOSAVE";
constexpr std::size_t kAutosaveStoredLimit = 99;  // the settings file's 100 bytes, less the zero

// A typed whole number: leading blanks, an optional sign and the digits after it; 0 when
// there are none. Kept within the 16 bits the settings file stores.
int TypedNumber(const QString& typed) {
  const QByteArray bytes = typed.trimmed().toLatin1();
  const char* begin = bytes.constData();
  const char* end = begin + bytes.size();
  if (begin < end && *begin == '+') ++begin;
  long long value = 0;
  const auto [stop, error] = std::from_chars(begin, end, value);
  (void)stop;
  if (error == std::errc::result_out_of_range) {
    value = begin < end && *begin == '-' ? std::numeric_limits<long long>::min()
                                         : std::numeric_limits<long long>::max();
  } else if (error != std::errc()) {
    return 0;
  }
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<std::int16_t>::min(),
                                                std::numeric_limits<std::int16_t>::max()));
}

// The twelve guiding-parameter fields, main camera then guide camera, in row order.
struct GuidingField {
  int id;
  int ProgramSettings::*field;
};
constexpr const char* kGuidingRows[] = {
    "RA pixels per sec", "Dec pixels per sec",      "RA Backlash",
    "Dec Backlash",      "Hysteresis in RA (0-10)", "Hysteresis in Dec (0-20)"};
constexpr GuidingField kMainCameraFields[] = {
    {17135, &ProgramSettings::selfGuideRaRate},
    {17136, &ProgramSettings::selfGuideDecRate},
    {17137, &ProgramSettings::selfGuideRaBacklash},
    {17138, &ProgramSettings::selfGuideDecBacklash},
    {17139, &ProgramSettings::selfGuideRaHysteresis},
    {17140, &ProgramSettings::selfGuideDecHysteresis},
};
constexpr GuidingField kGuideCameraFields[] = {
    {17180, &ProgramSettings::guiderRaRate},       {17181, &ProgramSettings::guiderDecRate},
    {17182, &ProgramSettings::guiderRaBacklash},   {17183, &ProgramSettings::guiderDecBacklash},
    {17184, &ProgramSettings::guiderRaHysteresis}, {17185, &ProgramSettings::guiderDecHysteresis},
};

// The check boxes that simply show and set one flag.
struct FlagBox {
  int id;
  const char* text;
  bool ProgramSettings::*field;
};
constexpr FlagBox kMiscellaneous[] = {
    {17113, "1 sec delay when focussing", &ProgramSettings::focusOneSecondDelay},
    {17117, "Disable Interrupts during download",
     &ProgramSettings::disableInterruptsDuringDownload},
    {17108, "Beep after Exposure ends", &ProgramSettings::beepWhenDone},
    {17900, "Show USB Debug Info", &ProgramSettings::verboseCameraMessages},
};
constexpr FlagBox kCameraOffsets[] = {
    {17102, "Pixel Offset", &ProgramSettings::pixelOffset},
    {17103, "Line Offset", &ProgramSettings::lineOffset},
};
constexpr FlagBox kGuidingOptions[] = {
    {17142, "Ignore drift < 1 pixel", &ProgramSettings::ignoreSmallDrift},
    {17143, "direction changes", &ProgramSettings::directionChangeDelay},
};

struct Choice {
  int id;
  const char* text;
  int value;
};
constexpr Choice kStarMasks[] = {{17123, "7 Pixels", 7},   {17124, "8 Pixels", 8},
                                 {17125, "9 Pixels", 9},   {17126, "11 Pixels", 11},
                                 {17127, "13 Pixels", 13}, {17128, "15 Pixels", 15}};
constexpr Choice kBackgrounds[] = {
    {17114, "Red", 'r'}, {17115, "Lt Gray", 'l'}, {17116, "Gray", 'g'}};
constexpr Choice kMethods[] = {
    {17151, "None", 'n'}, {17152, "Meade LX200 (Tm)", 'l'}, {17153, "Via Control Box", 'b'}};
constexpr Choice kMainTraining[] = {
    {17186, "1 Sec", 1}, {17187, "2 Sec", 2}, {17188, "4 Sec", 4}, {17189, "8 Sec", 8}};
constexpr Choice kGuideTraining[] = {
    {17190, "1 Sec", 1}, {17191, "2 Sec", 2}, {17192, "4 Sec", 4}, {17193, "8 Sec", 8}};
constexpr Choice kComPorts[] = {{17129, "Com 1", '1'}, {17130, "Com 2", '2'}};
// What the automatic save writes, kept in corvex.conf.
struct FormatChoice {
  int id;
  const char* text;
  AutosaveFormat format;
};
constexpr FormatChoice kAutosaveFormats[] = {
    {17201, "Native FITS (IMG<n>.FIT)", AutosaveFormat::kNative},
    {17202, "Standard FITS (IMG<n>.fits)", AutosaveFormat::kStandard},
    {17203, "Both", AutosaveFormat::kBoth}};

constexpr int kFilterEdits = 17162;  // "Filter 1" .. "Filter 8": 17162-17169
constexpr int kFilterCountEdit = 17170;
constexpr int kAutosaveEdit = 17146;
constexpr int kLastNumberEdit = 17122;
constexpr int kStatusEdit = 17158;
// The INDI method: its radio button and the server and device edits.
constexpr int kIndiMethod = 17241;
constexpr int kIndiServerEdit = 17242;
constexpr int kIndiMountEdit = 17243;

// The telescope is on Com 1 only for "1"; every other letter puts it on Com 2, as the link
// does when it picks its port.
bool TelescopeOnCom1(char comPortChar) {
  return comPortChar == '1';
}

}  // namespace

const char* FilterWheelStatus(bool available, char comPortChar) {
  if (!available) return "";
  return TelescopeOnCom1(comPortChar) ? "on Com2" : "on Com1";
}

int FilterWheelPort(char comPortChar) {
  return TelescopeOnCom1(comPortChar) ? 1 : 0;
}

AutosaveChoice ChooseAutosaveDirectory(const Corvex& corvex, std::string typed) {
  namespace fs = std::filesystem;
  if (typed.size() > kAutosaveTextLimit) typed.resize(kAutosaveTextLimit);
  const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
  while (!typed.empty() && blank(static_cast<unsigned char>(typed.back()))) typed.pop_back();
  typed.erase(typed.begin(), std::find_if_not(typed.begin(), typed.end(), [&](char c) {
                return blank(static_cast<unsigned char>(c));
              }));
  const auto failure = [&typed](const std::string& why) {
    return AutosaveChoice{{}, "Unable to use \"" + typed + "\" as the AutoSave directory: " + why};
  };

  // The stored form: a path of this machine as it is, a path with a drive as it is, anything
  // else on drive c.
  std::string stored;
  if (typed.empty()) {
    stored = kDefaultAutosaveDirectory;
  } else if (typed.front() == '/') {
    stored = typed;
  } else if (typed.size() >= 2 && typed[1] == ':') {
    const char drive = static_cast<char>(std::tolower(static_cast<unsigned char>(typed[0])));
    if (drive < 'a' || drive > 'z') return failure("there is no such drive.");
    std::error_code ec;
    if (drive != 'c' && !fs::is_directory(corvex.paths.Map(std::string(1, drive) + ":\\"), ec)) {
      return failure(std::string("drive ") + drive + ": does not exist.");
    }
    stored = typed;
  } else {
    stored = std::string("c:") + (typed.front() == '\\' ? "" : "\\") + typed;
  }

  if (stored.size() > kAutosaveStoredLimit) return failure("the path is too long.");

  const fs::path directory = corvex.paths.Map(stored);
  std::error_code ec;
  fs::create_directories(directory, ec);
  if (!fs::is_directory(directory)) {
    return failure("the directory " + directory.string() + " cannot be created" +
                   (ec ? " (" + ec.message() + ")." : "."));
  }
  if (::access(directory.c_str(), W_OK | X_OK) != 0) {
    return failure("the directory " + directory.string() + " cannot be written to.");
  }
  return AutosaveChoice{stored, {}};
}

TINIDialog::TINIDialog(Corvex& corvex, QWidget* parent) : QDialog(parent), corvex_(corvex) {
  setObjectName("TINIDialog");
  setWindowTitle("Set Program Defaults");
  for (const std::string_view key : {kTelescopeMethodKey, kIndiServerKey, kIndiMountKey}) {
    mountOptionsAtOpen_[std::string(key)] = corvex_.options.Text(key);
  }
  Build();
  Refresh();
}

QWidget* TINIDialog::Control(int id) const {
  return findChild<QWidget*>(Name(id));
}

void TINIDialog::OnClick(QAbstractButton* button, std::function<void()> action) {
  connect(button, &QAbstractButton::clicked, this, [this, action = std::move(action)] {
    TakeGuidingNumbers();
    action();
    Refresh();
  });
}

void TINIDialog::Build() {
  ProgramSettings& settings = corvex_.state.settings;
  const auto group = [this](const char* title) {
    auto* box = new QGroupBox(title, this);
    return box;
  };
  const auto edit = [this](int id, QWidget* owner, int width, bool readOnly = false) {
    auto* line = new QLineEdit(owner);
    line->setObjectName(Name(id));
    line->setReadOnly(readOnly);
    line->setFixedWidth(width);
    edits_[id] = line;
    return line;
  };
  // Radio buttons are drawn from the fields, never by Qt's own exclusivity, so a group may
  // hold two independent choices and a value no button stands for shows none.
  const auto radio = [this](const Choice& choice, QWidget* owner, std::function<void()> action) {
    auto* button = new QRadioButton(choice.text, owner);
    button->setObjectName(Name(choice.id));
    button->setAutoExclusive(false);
    buttons_[choice.id] = button;
    OnClick(button, std::move(action));
    return button;
  };
  const auto check = [this](int id, const char* text, QWidget* owner,
                            std::function<void(bool)> action) {
    auto* box = new QCheckBox(text, owner);
    box->setObjectName(Name(id));
    buttons_[id] = box;
    OnClick(box, [box, action = std::move(action)] { action(box->isChecked()); });
    return box;
  };
  const auto flag = [&](const FlagBox& entry, QWidget* owner) {
    bool ProgramSettings::*field = entry.field;
    return check(entry.id, entry.text, owner,
                 [&settings, field](bool on) { settings.*field = on; });
  };
  const auto push = [this](int id, const char* text, QWidget* owner, std::function<void()> action) {
    auto* button = new QPushButton(text, owner);
    button->setObjectName(Name(id));
    button->setAutoDefault(false);
    buttons_[id] = button;
    OnClick(button, std::move(action));
    return button;
  };

  // ---- Left column: the camera, the display and the files it writes. ----
  auto* left = new QVBoxLayout;
  {
    QGroupBox* box = group("Star Mask Size");
    auto* grid = new QGridLayout(box);
    int i = 0;
    for (const Choice& choice : kStarMasks) {
      const int value = choice.value;
      grid->addWidget(radio(choice, box, [&settings, value] { settings.starMaskRadius = value; }),
                      i % 3, i / 3);
      ++i;
    }
    left->addWidget(box);
  }
  {
    QGroupBox* box = group("Background Image Area");
    auto* row = new QHBoxLayout(box);
    for (const Choice& choice : kBackgrounds) {
      const char letter = static_cast<char>(choice.value);
      row->addWidget(
          radio(choice, box, [&settings, letter] { settings.backgroundColour = letter; }));
    }
    left->addWidget(box);
  }
  {
    QGroupBox* box = group("Miscellaneous");
    auto* column = new QVBoxLayout(box);
    for (const FlagBox& entry : kMiscellaneous) column->addWidget(flag(entry, box));
    left->addWidget(box);
  }
  {
    QGroupBox* box = group("Camera Offsets");
    auto* row = new QHBoxLayout(box);
    for (const FlagBox& entry : kCameraOffsets) row->addWidget(flag(entry, box));
    left->addWidget(box);
  }
  {
    QGroupBox* box = group("Camera VID/PID Detection");
    auto* column = new QVBoxLayout(box);
    column->addWidget(check(17194, "Ignore Camera VID/PID", box,
                            [&settings](bool on) { settings.acceptAnyProductId = on; }));
    left->addWidget(box);
  }
  left->addStretch(1);

  // ---- Middle column: guiding. ----
  auto* middle = new QVBoxLayout;
  {
    QGroupBox* box = group("Telescope Guiding Parameters");
    auto* grid = new QGridLayout(box);
    auto* methods = new QHBoxLayout;
    for (const Choice& choice : kMethods) {
      const char letter = static_cast<char>(choice.value);
      methods->addWidget(radio(choice, box, [this, &settings, letter] {
        settings.telescopeMethod = letter;
        if (letter != 'l') settings.portChosen = true;
        corvex_.options.Set(kTelescopeMethodKey, "camera");
      }));
    }
    methods->addWidget(radio({kIndiMethod, "INDI mount", 0}, box,
                             [this] { corvex_.options.Set(kTelescopeMethodKey, "indi"); }));
    methods->addStretch(1);
    grid->addLayout(methods, 0, 0, 1, 3);
    auto* mainHeading = new QLabel("Main Camera", box);
    auto* guideHeading = new QLabel("Guide Camera", box);
    grid->addWidget(mainHeading, 1, 1, Qt::AlignHCenter);
    grid->addWidget(guideHeading, 1, 2, Qt::AlignHCenter);
    for (int row = 0; row < 6; ++row) {
      grid->addWidget(new QLabel(kGuidingRows[row], box), row + 2, 0);
      grid->addWidget(edit(kMainCameraFields[row].id, box, 60), row + 2, 1, Qt::AlignHCenter);
      grid->addWidget(edit(kGuideCameraFields[row].id, box, 60), row + 2, 2, Qt::AlignHCenter);
    }
    grid->addWidget(flag(kGuidingOptions[0], box), 8, 0, 1, 3);
    auto* delayRow = new QHBoxLayout;
    delayRow->addWidget(new QLabel("70ms delay between", box));
    delayRow->addWidget(flag(kGuidingOptions[1], box));
    delayRow->addStretch(1);
    grid->addLayout(delayRow, 9, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    middle->addWidget(box);
  }
  {
    QGroupBox* box = group("Default Guide Training Time");
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Main Camera", box), 0, 0);
    grid->addWidget(new QLabel("Guide Camera", box), 1, 0);
    for (int i = 0; i < 4; ++i) {
      const int seconds = kMainTraining[i].value;
      grid->addWidget(radio(kMainTraining[i], box,
                            [&settings, seconds] { settings.selfGuideTrainingSeconds = seconds; }),
                      0, i + 1);
      grid->addWidget(
          radio(kGuideTraining[i], box,
                [this, seconds] { corvex_.guiding.training.trainingSeconds = seconds; }),
          1, i + 1);
    }
    middle->addWidget(box);
  }
  {
    QGroupBox* box = group("Telescope Drive Direction");
    auto* row = new QHBoxLayout(box);
    row->addWidget(
        check(17144, "Swap n/s direction", box, [this](bool) { SwapNorthSouth(corvex_); }));
    row->addWidget(
        check(17145, "Swap e/w direction", box, [this](bool) { SwapEastWest(corvex_); }));
    middle->addWidget(box);
  }
  middle->addStretch(1);

  // ---- Right column: ports, the filter wheel and the autosave directory. ----
  auto* right = new QVBoxLayout;
  {
    QGroupBox* box = group("Com Port Usage");
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Com Port for Telescope Control", box), 0, 0, 1, 2);
    int column = 0;
    for (const Choice& choice : kComPorts) {
      const char letter = static_cast<char>(choice.value);
      grid->addWidget(radio(choice, box,
                            [&settings, letter] {
                              settings.comPortChar = letter;
                              settings.portChosen = true;
                            }),
                      1, column++);
    }
    grid->addWidget(check(17157, "Filter Wheel Available", box,
                          [&settings](bool on) { settings.filterWheelAvailable = on; }),
                    2, 0, 1, 2);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel("Status", box));
    statusRow->addWidget(edit(kStatusEdit, box, 80, true));
    statusRow->addStretch(1);
    grid->addLayout(statusRow, 3, 0, 1, 2);
    right->addWidget(box);
  }
  {
    QGroupBox* box = group("INDI Mount");
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel("Server (host:port)", box), 0, 0);
    grid->addWidget(edit(kIndiServerEdit, box, 160), 0, 1);
    grid->addWidget(new QLabel("Device name", box), 1, 0);
    grid->addWidget(edit(kIndiMountEdit, box, 160), 1, 1);
    right->addWidget(box);
  }
  {
    QGroupBox* box = group("Autosave Directory");
    auto* grid = new QGridLayout(box);
    QLineEdit* directory = edit(kAutosaveEdit, box, 240);
    directory->setMaxLength(kAutosaveTextLimit);
    grid->addWidget(directory, 0, 0, 1, 3);
    grid->addWidget(push(17147, "Set AutoSave Dir", box, [this] { SetAutosaveDirectory(); }), 1, 0);
    grid->addWidget(new QLabel("Last Num", box), 1, 1, Qt::AlignRight);
    grid->addWidget(edit(kLastNumberEdit, box, 60, true), 1, 2);
    // The directory is kept in the form typed (c:\ names too); this says where it is.
    autosaveShown_ = new QLabel(box);
    autosaveShown_->setObjectName("autosaveShown");
    autosaveShown_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(autosaveShown_, 2, 0, 1, 3);
    right->addWidget(box);
  }
  {
    QGroupBox* box = group("Auto Save Format");
    auto* column = new QVBoxLayout(box);
    for (const FormatChoice& entry : kAutosaveFormats) {
      const char* name = AutosaveFormatName(entry.format);
      column->addWidget(radio({entry.id, entry.text, 0}, box,
                              [this, name] { corvex_.options.Set(kAutosaveFormatKey, name); }));
    }
    right->addWidget(box);
  }
  {
    QGroupBox* box = group("Filter Wheel Filters");
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < 8; ++i) {
      grid->addWidget(new QLabel(QString("Filter %1").arg(i + 1), box), i % 4, (i / 4) * 2);
      QLineEdit* name = edit(kFilterEdits + i, box, 80);
      name->setMaxLength(kFilterNameLimit);
      grid->addWidget(name, i % 4, (i / 4) * 2 + 1);
    }
    grid->addWidget(new QLabel("No of Filters", box), 4, 0);
    grid->addWidget(edit(kFilterCountEdit, box, 80), 4, 1);
    grid->addWidget(push(17171, "Set Filters", box, [this] { SetFilters(); }), 4, 2, 1, 2);
    right->addWidget(box);
  }
  {
    QGroupBox* box = group("FITs Defaults");
    auto* column = new QVBoxLayout(box);
    column->addWidget(check(17109, "Unsigned Integer Format", box,
                            [this](bool on) { corvex_.fits.unsignedFormat = on; }));
    right->addWidget(box);
  }
  right->addStretch(1);

  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(middle);
  columns->addLayout(right);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  QPushButton* save = push(1, "Save Changes", this, [this] { SaveChanges(); });
  save->setDefault(true);
  buttons->addWidget(save);
  buttons->addWidget(push(2, "Cancel", this, [this] { reject(); }));
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(buttons);
}

void TINIDialog::TakeGuidingNumbers() {
  ProgramSettings& settings = corvex_.state.settings;
  for (const auto* fields : {&kMainCameraFields, &kGuideCameraFields}) {
    for (const GuidingField& entry : *fields) {
      settings.*entry.field = TypedNumber(edits_[entry.id]->text());
    }
  }
  for (int* hysteresis : {&settings.selfGuideRaHysteresis, &settings.selfGuideDecHysteresis,
                          &settings.guiderRaHysteresis, &settings.guiderDecHysteresis}) {
    *hysteresis = std::min(*hysteresis, kHysteresisLimit);
  }
}

void TINIDialog::SetAutosaveDirectory() {
  QLineEdit* typed = edits_[kAutosaveEdit];
  const AutosaveChoice choice = ChooseAutosaveDirectory(corvex_, typed->text().toStdString());
  if (choice.directory.empty()) {
    // The typed text stays for the user to correct.
    typed->setModified(true);
    ShowMessage(corvex_.host, kFreeTextMessage, choice.error);
    return;
  }
  corvex_.state.settings.autosaveDirectory = choice.directory;
  typed->setModified(false);
  ShowAutosaveLocation();
}

void TINIDialog::ShowAutosaveLocation() {
  autosaveShown_->setText(
      "Files go to " + ShownStoredPath(corvex_, corvex_.state.settings.autosaveDirectory));
}

void TINIDialog::SetFilters() {
  ProgramSettings& settings = corvex_.state.settings;
  const int count = TypedNumber(edits_[kFilterCountEdit]->text());
  settings.filterCount = count >= 1 && count <= 8 ? count : 7;
  edits_[kFilterCountEdit]->setModified(false);
  for (int i = 0; i < 8; ++i) {
    QLineEdit* name = edits_[kFilterEdits + i];
    settings.filterNames[static_cast<std::size_t>(i)] = HeaderText(name->text(), kFilterNameLimit);
    name->setModified(false);
  }
}

void TINIDialog::SaveChanges() {
  const std::string server = edits_[kIndiServerEdit]->text().trimmed().toStdString();
  const std::string mount = edits_[kIndiMountEdit]->text().trimmed().toStdString();
  std::string host;
  int port = 0;
  if (!ParseServerAddress(server, host, port) || !corvex_.options.Set(kIndiServerKey, server) ||
      !corvex_.options.Set(kIndiMountKey, mount)) {
    // Nothing is written; the typed text stays to be corrected.
    ShowMessage(corvex_.host, kFreeTextMessage,
                "The INDI server must be HOST:PORT (for example localhost:7624), and the device "
                "name plain text.");
    return;
  }
  // The next move connects again with these settings.
  corvex_.mount.reset();
  if (WriteSettingsFile(corvex_) != kSettingsOk) ShowMessage(corvex_.host, 21);
  std::vector<std::string_view> keys = {kAutosaveFormatKey};
  for (const std::string_view key : {kTelescopeMethodKey, kIndiServerKey, kIndiMountKey}) {
    if (corvex_.options.Text(key) != mountOptionsAtOpen_[std::string(key)]) keys.push_back(key);
  }
  WriteProgramOptionsFile(corvex_, keys);
  accept();
}

void TINIDialog::Refresh() {
  ProgramState& state = corvex_.state;
  ProgramSettings& settings = state.settings;
  // The wheel goes on whichever port the telescope leaves free.
  state.filterWheelPort = FilterWheelPort(settings.comPortChar);

  const auto set = [this](int id, const QString& text) { edits_[id]->setText(text); };
  // Texts still waiting for their own button keep what the user typed.
  const auto setPending = [this](int id, const QString& text) {
    if (!edits_[id]->isModified()) edits_[id]->setText(text);
  };
  const auto checked = [this](int id, bool on) { buttons_[id]->setChecked(on); };

  for (const Choice& choice : kStarMasks)
    checked(choice.id, settings.starMaskRadius == choice.value);
  for (const Choice& choice : kBackgrounds) {
    checked(choice.id, settings.backgroundColour == choice.value);
  }
  const bool indi = MountMethod(corvex_);
  for (const Choice& choice : kMethods)
    checked(choice.id, !indi && settings.telescopeMethod == choice.value);
  checked(kIndiMethod, indi);
  setPending(kIndiServerEdit, QString::fromStdString(corvex_.options.Text(kIndiServerKey)));
  setPending(kIndiMountEdit, QString::fromStdString(corvex_.options.Text(kIndiMountKey)));
  for (const Choice& choice : kMainTraining) {
    checked(choice.id, settings.selfGuideTrainingSeconds == choice.value);
  }
  for (const Choice& choice : kGuideTraining) {
    checked(choice.id, corvex_.guiding.training.trainingSeconds == choice.value);
  }
  checked(17129, TelescopeOnCom1(settings.comPortChar));
  checked(17130, !TelescopeOnCom1(settings.comPortChar));
  for (const FlagBox& entry : kGuidingOptions) checked(entry.id, settings.*entry.field);
  for (const FlagBox& entry : kMiscellaneous) checked(entry.id, settings.*entry.field);
  for (const FlagBox& entry : kCameraOffsets) checked(entry.id, settings.*entry.field);
  checked(17194, settings.acceptAnyProductId);
  checked(17109, corvex_.fits.unsignedFormat);
  checked(17157, settings.filterWheelAvailable);
  for (const FormatChoice& entry : kAutosaveFormats) {
    checked(entry.id, AutosaveFormatOf(corvex_.options) == entry.format);
  }
  // In memory the table runs east, west, north, south.
  checked(17144, settings.directionTable[2] == 's');
  checked(17145, settings.directionTable[0] == 'w');

  for (const GuidingField& entry : kMainCameraFields) {
    set(entry.id, QString::number(settings.*entry.field));
  }
  for (const GuidingField& entry : kGuideCameraFields) {
    set(entry.id, QString::number(settings.*entry.field));
  }
  setPending(kAutosaveEdit, QString::fromStdString(settings.autosaveDirectory));
  ShowAutosaveLocation();
  set(kLastNumberEdit, QString::number(settings.lastFileNumber));
  for (int i = 0; i < 8; ++i) {
    setPending(kFilterEdits + i,
               QString::fromStdString(settings.filterNames[static_cast<std::size_t>(i)]));
  }
  setPending(kFilterCountEdit, QString::number(settings.filterCount));
  set(kStatusEdit, FilterWheelStatus(settings.filterWheelAvailable, settings.comPortChar));
}

void RunProgramDefaults(QWidget* parent, Corvex& corvex, const DialogRunner& run) {
  if (ReadSettingsFile(corvex) != kSettingsOk) ShowMessage(corvex.host, 20);
  ReadProgramOptionsFile(corvex);
  TINIDialog dialog(corvex, parent);
  RunConfirmedDialog(dialog, run, [&dialog] {
    if (auto* save = qobject_cast<QAbstractButton*>(dialog.Control(1))) save->click();
  });
}

}  // namespace corvex::ui
