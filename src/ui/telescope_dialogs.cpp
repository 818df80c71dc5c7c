#include "ui/telescope_dialogs.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "corvex.h"
#include "guiding/telescope_link.h"
#include "state/messages.h"
#include "guiding/telescope_panel.h"

namespace corvex::ui {

namespace {

constexpr const char* kPanelCaption = "Corvex - Control Telescope";
constexpr const char* kHelpText =
    "Enter a Messier or CNGC number and press the GoTo Object button.\n\nIf you enter both "
    "numbers the Messier will be favoured. To use CGNC numbers ensure the Messier number is 0";
constexpr const char* kRates[4][2] = {
    {"Slew", "#:RS#"}, {"Find", "#:RM#"}, {"Centre", "#:RC#"}, {"Guide", "#:RG#"}};
constexpr const char* kPlanets[] = {"Mercury", "Venus",  "Mars",    "Jupiter",
                                    "Saturn",  "Uranus", "Neptune", "Pluto"};

QPushButton* Button(QWidget* parent, const char* text) {
  auto* push = new QPushButton(text, parent);
  push->setObjectName(text);
  push->setAutoDefault(false);
  return push;
}

// A press-and-hold arrow: `press` when it goes down, `release` when it comes up.
QPushButton* Arrow(QWidget* parent, const char* text, const std::function<void()>& press,
                   const std::function<void()>& release) {
  QPushButton* push = Button(parent, text);
  QObject::connect(push, &QPushButton::pressed, parent, press);
  QObject::connect(push, &QPushButton::released, parent, release);
  return push;
}

}  // namespace

TMTDialog::TMTDialog(Corvex& corvex, QWidget* parent) : QDialog(parent), corvex_(corvex) {
  setObjectName("TMTDialog");
  setWindowTitle("CORVEX Move Telescope");
  auto* grid = new QGridLayout(this);
  const auto edit = [this](const char* name, int width) {
    auto* line = new QLineEdit("0", this);
    line->setObjectName(name);
    line->setMaximumWidth(width);
    return line;
  };

  auto* object = new QGroupBox("GoTo Object", this);
  auto* objectLayout = new QGridLayout(object);
  objectLayout->addWidget(new QLabel("Messier Object", object), 0, 0);
  objectLayout->addWidget(edit("Messier Object", 70), 0, 1);
  objectLayout->addWidget(new QLabel("CNGC Object", object), 1, 0);
  objectLayout->addWidget(edit("CNGC Object", 70), 1, 1);
  QPushButton* goToObject = Button(object, "GoTo Object");
  connect(goToObject, &QPushButton::clicked, this, [this] { GoToObject(); });
  objectLayout->addWidget(goToObject, 2, 0, 1, 2);
  grid->addWidget(object, 0, 0);

  auto* coordinates = new QGroupBox("Co-ordinates", this);
  auto* coordinatesLayout = new QGridLayout(coordinates);
  coordinatesLayout->addWidget(new QLabel("R.A.", coordinates), 0, 0);
  coordinatesLayout->addWidget(edit("hrs", 45), 0, 1);
  coordinatesLayout->addWidget(new QLabel("hrs", coordinates), 0, 2);
  coordinatesLayout->addWidget(edit("mins", 45), 0, 3);
  coordinatesLayout->addWidget(new QLabel("mins", coordinates), 0, 4);
  coordinatesLayout->addWidget(new QLabel("Dec.", coordinates), 1, 0);
  coordinatesLayout->addWidget(edit("Deg", 45), 1, 1);
  coordinatesLayout->addWidget(new QLabel("Deg", coordinates), 1, 2);
  coordinatesLayout->addWidget(edit("decMins", 45), 1, 3);
  coordinatesLayout->addWidget(new QLabel("mins", coordinates), 1, 4);
  QPushButton* goTo = Button(coordinates, "Go To ");
  connect(goTo, &QPushButton::clicked, this, [this] { GoToCoordinates(); });
  coordinatesLayout->addWidget(goTo, 2, 0, 1, 5);
  grid->addWidget(coordinates, 0, 1);

  auto* planets = new QGroupBox("Planets", this);
  auto* planetLayout = new QGridLayout(planets);
  for (int i = 0; i < 8; ++i) {
    QPushButton* planet = Button(planets, kPlanets[i]);
    const char* name = kPlanets[i];
    connect(planet, &QPushButton::clicked, this, [this, name] {
      GoToPlanet(corvex_, name);
      Refresh();
    });
    planetLayout->addWidget(planet, i / 4, i % 4);
  }
  grid->addWidget(planets, 1, 0, 1, 2);

  auto* slew = new QGroupBox("Slew", this);
  auto* slewLayout = new QGridLayout(slew);
  const auto slewArrow = [this, slew](const char* text, int slot) {
    return Arrow(
        slew, text, [this, slot] { PressSlewArrow(corvex_, slot); },
        [this] { ReleaseSlewArrow(corvex_); });
  };
  slewLayout->addWidget(slewArrow("North", kNorth), 0, 1);
  slewLayout->addWidget(slewArrow("West", kWest), 1, 0);
  slewLayout->addWidget(slewArrow("East", kEast), 1, 2);
  slewLayout->addWidget(slewArrow("South", kSouth), 2, 1);
  for (int i = 0; i < 4; ++i) {
    rates_[i] = new QRadioButton(kRates[i][0], slew);
    rates_[i]->setObjectName(kRates[i][0]);
    const char* command = kRates[i][1];
    connect(rates_[i], &QRadioButton::clicked, this, [this, command] {
      corvex_.telescope.rateCommand = command;
      Refresh();
    });
    slewLayout->addWidget(rates_[i], i, 3);
  }
  grid->addWidget(slew, 2, 0);

  auto* focus = new QGroupBox("focus", this);
  auto* focusLayout = new QGridLayout(focus);
  focusLayout->addWidget(
      Arrow(focus, "In", [this] { PressFocusArrow(corvex_, true); },
            [this] { ReleaseFocusArrow(corvex_); }),
      0, 0);
  focusLayout->addWidget(
      Arrow(focus, "Out", [this] { PressFocusArrow(corvex_, false); },
            [this] { ReleaseFocusArrow(corvex_); }),
      1, 0);
  focusFast_ = new QRadioButton("fast", focus);
  focusSlow_ = new QRadioButton("slow", focus);
  connect(focusFast_, &QRadioButton::clicked, this, [this] {
    corvex_.telescope.focusSpeedCommand = "#:FF#";
    Refresh();
  });
  connect(focusSlow_, &QRadioButton::clicked, this, [this] {
    corvex_.telescope.focusSpeedCommand = "#:FS#";
    Refresh();
  });
  focusLayout->addWidget(focusFast_, 0, 1);
  focusLayout->addWidget(focusSlow_, 1, 1);
  grid->addWidget(focus, 2, 1);

  grid->addWidget(new QLabel("Info from Scope", this), 3, 0);
  infoFromScope_ = new QLineEdit(this);
  infoFromScope_->setObjectName("Info from Scope");
  infoFromScope_->setReadOnly(true);
  grid->addWidget(infoFromScope_, 3, 1);
  auto* buttons = new QHBoxLayout;
  QPushButton* help = Button(this, "Help");
  connect(help, &QPushButton::clicked, this, [this] {
    corvex_.host.ShowMessageBox(kHelpText, kPanelCaption, MessageButtons::kOk,
                                MessageIcon::kNone);
  });
  QPushButton* finished = Button(this, "Finished");
  connect(finished, &QPushButton::clicked, this, &QDialog::accept);
  buttons->addWidget(help);
  // An INDI mount can be stopped whatever it is doing; the LX200 panel has no such command.
  if (MountMethod(corvex_)) {
    QPushButton* abort = Button(this, "Abort");
    connect(abort, &QPushButton::clicked, this, [this] {
      if (!AbortMount(corvex_)) {
        ShowMessage(corvex_.host, kFreeTextMessage, kStillMovingMessage);
      }
      Refresh();
    });
    buttons->addWidget(abort);
  }
  buttons->addWidget(finished);
  grid->addLayout(buttons, 4, 0, 1, 2);
  Refresh();
}

QLineEdit* TMTDialog::Field(const char* name) const { return findChild<QLineEdit*>(name); }

void TMTDialog::Refresh() {
  // An INDI mount says where it points whenever asked; a go-to's own text stays while it slews.
  if (MountMethod(corvex_) && corvex_.mount && corvex_.mount->Ready() &&
      !corvex_.mount->Slewing()) {
    ReadMountInfo(corvex_);
  }
  const TelescopeLink& link = corvex_.telescope;
  infoFromScope_->setText(QString::fromStdString(link.scopeInfoText));
  const char rate = link.rateCommand.size() > 3 ? link.rateCommand[3] : 'G';
  rates_[rate == 'S' ? 0 : rate == 'M' ? 1 : rate == 'C' ? 2 : 3]->setChecked(true);
  const bool fast = link.focusSpeedCommand.size() > 3 && link.focusSpeedCommand[3] == 'F';
  (fast ? focusFast_ : focusSlow_)->setChecked(true);
}

void TMTDialog::GoToObject() {
  corvex::GoToObject(corvex_, Field("Messier Object")->text().toInt(),
                     Field("CNGC Object")->text().toInt());
  Refresh();
}

void TMTDialog::GoToCoordinates() {
  const QString degrees = Field("Deg")->text().trimmed();
  GoToTarget(corvex_, Field("hrs")->text().toInt(), Field("mins")->text().toInt(),
             degrees.toInt(), Field("decMins")->text().toInt(), degrees.startsWith('-'));
  Refresh();
}

TCBDialog::TCBDialog(Corvex& corvex, QWidget* parent) : QDialog(parent) {
  setObjectName("TCBDialog");
  setWindowTitle("Move Telescope");
  auto* grid = new QGridLayout(this);
  const auto arrow = [this, &corvex](const char* text, int slot) {
    return Arrow(
        this, text, [&corvex, slot] { PressRelayArrow(corvex, slot); },
        [&corvex] { ReleaseRelayArrow(corvex); });
  };
  grid->addWidget(arrow("Up", kNorth), 0, 1);
  grid->addWidget(arrow("Left", kWest), 1, 0);
  grid->addWidget(arrow("Right", kEast), 1, 2);
  grid->addWidget(arrow("Down", kSouth), 2, 1);
  QPushButton* finished = Button(this, "Finished");
  connect(finished, &QPushButton::clicked, this, &QDialog::accept);
  grid->addWidget(finished, 3, 0, 1, 3);
}

void RunTelescopeControl(QWidget* parent, Corvex& corvex) {
  if (!corvex.telescope.linkOpen) OpenTelescopeLink(corvex);
  // An INDI mount takes the LX200 panel: go-to, info and the held arrows.
  if (!MountMethod(corvex) && corvex.state.settings.telescopeMethod == 'b') {
    TCBDialog(corvex, parent).exec();
  } else {
    TMTDialog(corvex, parent).exec();
  }
}

}  // namespace corvex::ui
