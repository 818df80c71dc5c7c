#include "ui/processing_dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <cmath>

#include "commands/colour_commands.h"
#include "state/program_settings.h"

namespace corvex::ui {

namespace {

QDialogButtonBox* OkCancel(QDialog* dialog) {
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
  return buttons;
}

int Whole(double value) { return static_cast<int>(std::lround(value)); }

}  // namespace

TParameterDialog::TParameterDialog(const char* title, const std::vector<Field>& fields,
                                   QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(title);
  setObjectName(QString(title).remove(' '));
  auto* form = new QFormLayout(this);
  for (const Field& field : fields) {
    auto* spin = new QDoubleSpinBox(this);
    spin->setObjectName(field.label);
    spin->setDecimals(field.decimals);
    spin->setSingleStep(field.decimals > 0 ? 0.1 : 1.0);
    spin->setRange(field.minimum, field.maximum);
    spin->setValue(field.value);
    spin->setMinimumWidth(90);
    form->addRow(field.label, spin);
    fields_.push_back(spin);
  }
  form->addRow(OkCancel(this));
}

double TParameterDialog::value(int index) const { return field(index)->value(); }
void TParameterDialog::setValue(int index, double value) { field(index)->setValue(value); }

bool DialogRunner::Run(QDialog& dialog) const {
  if (edit) edit(dialog);
  if (automatic) return true;
  return dialog.exec() == QDialog::Accepted;
}

std::optional<NormalStretchValues> AskNormalStretch(QWidget* parent, const DialogRunner& run) {
  TParameterDialog dialog("Normal Stretch", {{"Black", 0, 254, 0}, {"White", 1, 300, 255}},
                          parent);
  // White is kept above Black.
  QObject::connect(dialog.field(0), &QDoubleSpinBox::valueChanged, &dialog, [&dialog](double b) {
    if (dialog.value(1) <= b) dialog.setValue(1, b + 1);
  });
  QObject::connect(dialog.field(1), &QDoubleSpinBox::valueChanged, &dialog, [&dialog](double w) {
    if (w <= dialog.value(0)) dialog.setValue(0, w - 1);
  });
  if (!run.Run(dialog)) return std::nullopt;
  return NormalStretchValues{Whole(dialog.value(0)), Whole(dialog.value(1))};
}

std::optional<double> AskPowerStretch(QWidget* parent, const DialogRunner& run) {
  TParameterDialog dialog("Power Law Stretch", {{"Power", 0.1, 3.0, 1.0, 1}}, parent);
  if (!run.Run(dialog)) return std::nullopt;
  return std::round(dialog.value(0) * 10) / 10;
}

std::optional<int> AskNonLinearStretch(QWidget* parent, const DialogRunner& run) {
  TParameterDialog dialog("Non-Linear Stretch", {{"Non-Linear Power", 1, 50, 25}}, parent);
  if (!run.Run(dialog)) return std::nullopt;
  return Whole(dialog.value(0));
}

std::optional<FilterValues> AskUnsharpMask(QWidget* parent, const DialogRunner& run) {
  TParameterDialog dialog("Unsharp Mask Filter", {{"Radius", 1, 7, 3}, {"Power", 1, 7, 1}},
                          parent);
  if (!run.Run(dialog)) return std::nullopt;
  return FilterValues{Whole(dialog.value(0)), Whole(dialog.value(1))};
}

std::optional<FilterValues> AskMedianFilter(QWidget* parent, const DialogRunner& run) {
  TParameterDialog dialog("Median Filter", {{"Radius", 1, 3, 1}, {"Power", 0.1, 1.0, 0.6, 1}},
                          parent);
  if (!run.Run(dialog)) return std::nullopt;
  return FilterValues{Whole(dialog.value(0)), Whole(dialog.value(1) * 10)};
}

std::optional<BalanceValues> AskColourBalance(QWidget* parent, int saturation,
                                              const DialogRunner& run) {
  TParameterDialog dialog("Colour Starting Balance",
                          {{"Red", -10, 127, 0},
                           {"Green", -10, 127, 0},
                           {"Blue", -10, 127, 0},
                           {"Saturation Factor", 1, 9, static_cast<double>(saturation)}},
                          parent);
  if (!run.Run(dialog)) return std::nullopt;
  return BalanceValues{Whole(dialog.value(0)), Whole(dialog.value(1)), Whole(dialog.value(2)),
                       Whole(dialog.value(3))};
}

std::optional<ChromaticValues> AskChromaticAdjustment(QWidget* parent, const DialogRunner& run) {
  TParameterDialog dialog("CHROMATIC ADJUSTMENT",
                          {{"Red Left / Right", -3, 3, 0},
                           {"Red Up / Down", -3, 3, 0},
                           {"Blue Left / Right", -3, 3, 0},
                           {"Blue Up / Down", -3, 3, 0}},
                          parent);
  if (!run.Run(dialog)) return std::nullopt;
  return ChromaticValues{Whole(dialog.value(0)), Whole(dialog.value(1)), Whole(dialog.value(2)),
                         Whole(dialog.value(3))};
}

std::optional<DisplayStretchValues> AskDisplayStretch(QWidget* parent,
                                                      const DisplayStretchValues& now,
                                                      const DialogRunner& run) {
  TParameterDialog dialog("Stretch Display", {{"Power", 1, 50, now.power}}, parent);
  auto* activate = new QCheckBox("Activate", &dialog);
  activate->setObjectName("Activate");
  activate->setChecked(now.active);
  auto* form = static_cast<QFormLayout*>(dialog.layout());
  form->insertRow(1, activate);
  form->insertRow(2, new QLabel("nb - only for mono images", &dialog));
  if (!run.Run(dialog)) return std::nullopt;
  return DisplayStretchValues{dialog.value(0), activate->isChecked()};
}

bool AskSynthesisOptions(QWidget* parent, ProgramSettings& settings, const DialogRunner& run) {
  QDialog dialog(parent);
  dialog.setWindowTitle("SYNTHESIZE COLOUR IMAGE");
  dialog.setObjectName("SynthesizeColourImage");
  auto* layout = new QGridLayout(&dialog);
  const auto check = [&dialog](const char* text, bool on) {
    auto* box = new QCheckBox(text, &dialog);
    box->setObjectName(text);
    box->setChecked(on);
    return box;
  };
  QCheckBox* lightPollution = check("Light Pollution Correction", settings.lightPollutionCorrection);
  QCheckBox* antiAlias = check("Apply Anti-Alias", settings.antiAlias);
  QCheckBox* irFilter = check("IR Filter Used?", settings.irFilterUsed);
  QCheckBox* background = check("Remove Background", settings.removeBackground);
  QCheckBox* highPass = check("High Pass Low Power", settings.highPassLowPower);
  QCheckBox* unsharp = check("Unsharp Mask", settings.unsharpMask);
  layout->addWidget(lightPollution, 0, 0);
  layout->addWidget(antiAlias, 1, 0);
  layout->addWidget(irFilter, 2, 0);

  auto* stretchBox = new QGroupBox("Auto Stretch", &dialog);
  auto* stretchLayout = new QGridLayout(stretchBox);
  const char* stretchTexts[] = {"No Auto Stretch", "Apply Weak Stretch", "Apply Strong Stretch",
                                "Auto Stretch - User"};
  QRadioButton* stretches[4];
  for (int i = 0; i < 4; ++i) {
    stretches[i] = new QRadioButton(stretchTexts[i], stretchBox);
    stretches[i]->setObjectName(stretchTexts[i]);
    stretchLayout->addWidget(stretches[i], i, 0);
  }
  const int chosen = settings.userStretch     ? 3
                     : settings.strongStretch ? 2
                     : settings.weakStretch   ? 1
                                              : 0;
  stretches[chosen]->setChecked(true);
  const auto number = [&dialog](const char* name, int value) {
    auto* edit = new QLineEdit(QString::number(value), &dialog);
    edit->setObjectName(name);
    edit->setMaximumWidth(50);
    return edit;
  };
  QLineEdit* userPower = number("userPower", settings.userStretchValue);
  stretchLayout->addWidget(userPower, 3, 1);
  layout->addWidget(stretchBox, 0, 1, 4, 2);

  layout->addWidget(background, 3, 0);
  layout->addWidget(highPass, 4, 0);
  layout->addWidget(unsharp, 5, 0);
  QLineEdit* diameter = number("dia.", settings.unsharpDiameter);
  QLineEdit* power = number("power", settings.unsharpPower);
  auto* unsharpRow = new QHBoxLayout;
  unsharpRow->addWidget(new QLabel("dia.", &dialog));
  unsharpRow->addWidget(diameter);
  unsharpRow->addWidget(new QLabel("power", &dialog));
  unsharpRow->addWidget(power);
  layout->addLayout(unsharpRow, 5, 1, 1, 2);
  auto* note = new QLabel(
      "Nb: You can only convert to colour if the values of all three selection boxes are valid",
      &dialog);
  note->setWordWrap(true);
  layout->addWidget(note, 6, 0, 1, 3);

  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* create = buttons->addButton("Create Image", QDialogButtonBox::AcceptRole);
  create->setObjectName("Create Image");
  buttons->addButton(QDialogButtonBox::Cancel);
  layout->addWidget(buttons, 7, 0, 1, 3);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  // The three numbers must be in their ranges; a wrong one beeps and the stored values
  // come back.
  const auto valid = [&] {
    bool a = false, b = false, c = false;
    const int user = userPower->text().toInt(&a);
    const int dia = diameter->text().toInt(&b);
    const int pow = power->text().toInt(&c);
    return a && b && c && user >= 2 && user <= 29 && dia >= 2 && dia <= 6 && pow >= 1 && pow <= 6;
  };
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    if (valid()) {
      dialog.accept();
      return;
    }
    QApplication::beep();
    userPower->setText(QString::number(settings.userStretchValue));
    diameter->setText(QString::number(settings.unsharpDiameter));
    power->setText(QString::number(settings.unsharpPower));
  });
  if (run.edit) run.edit(dialog);
  const bool accepted = run.automatic ? valid() : dialog.exec() == QDialog::Accepted;
  if (!accepted) return false;
  settings.lightPollutionCorrection = lightPollution->isChecked();
  settings.antiAlias = antiAlias->isChecked();
  settings.irFilterUsed = irFilter->isChecked();
  settings.weakStretch = stretches[1]->isChecked();
  settings.strongStretch = stretches[2]->isChecked();
  settings.userStretch = stretches[3]->isChecked();
  settings.userStretchValue = userPower->text().toInt();
  settings.removeBackground = background->isChecked();
  settings.highPassLowPower = highPass->isChecked();
  settings.unsharpMask = unsharp->isChecked();
  settings.unsharpDiameter = diameter->text().toInt();
  settings.unsharpPower = power->text().toInt();
  return true;
}

}  // namespace corvex::ui
