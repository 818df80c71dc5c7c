// The parameter dialogs of the processing commands: "Normal Stretch", "Power Law Stretch",
// "Non-Linear Stretch", "Unsharp Mask Filter", "Median Filter", "Colour Starting Balance",
// "CHROMATIC ADJUSTMENT", "Stretch Display" and "SYNTHESIZE COLOUR IMAGE". Each opens with the
// values its command starts from; OK hands them back, Cancel nothing.
#pragma once

#include <QDialog>
#include <optional>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace corvex {
struct ProgramSettings;
}

namespace corvex::ui {

// A dialog of numeric fields, each a spin box with its label, range and starting value;
// fields with decimals step by one tenth.
class TParameterDialog : public QDialog {
  Q_OBJECT

 public:
  struct Field {
    const char* label;
    double minimum;
    double maximum;
    double value;
    int decimals = 0;
  };
  TParameterDialog(const char* title, const std::vector<Field>& fields, QWidget* parent);
  double value(int index) const;
  void setValue(int index, double value);
  QDoubleSpinBox* field(int index) const { return fields_[static_cast<std::size_t>(index)]; }

 private:
  std::vector<QDoubleSpinBox*> fields_;
};

// How the dialogs are run: shown modally, or (screenshots, tests) accepted at once with the
// values they open with, after `edit` (when given) has changed them as a user would.
struct DialogRunner {
  bool automatic = false;
  std::function<void(QDialog&)> edit;
  bool Run(QDialog& dialog) const;
};

struct NormalStretchValues {
  int black = 0;
  int white = 255;
};
std::optional<NormalStretchValues> AskNormalStretch(QWidget* parent, const DialogRunner& run);
std::optional<double> AskPowerStretch(QWidget* parent, const DialogRunner& run);
std::optional<int> AskNonLinearStretch(QWidget* parent, const DialogRunner& run);

struct FilterValues {
  int radius = 0;
  int power = 0;  // the median's in tenths
};
std::optional<FilterValues> AskUnsharpMask(QWidget* parent, const DialogRunner& run);
std::optional<FilterValues> AskMedianFilter(QWidget* parent, const DialogRunner& run);

struct BalanceValues {
  int red = 0, green = 0, blue = 0;
  int saturation = 2;
};
std::optional<BalanceValues> AskColourBalance(QWidget* parent, int saturation,
                                              const DialogRunner& run);

struct ChromaticValues {
  int redH = 0, redV = 0, blueH = 0, blueV = 0;
};
std::optional<ChromaticValues> AskChromaticAdjustment(QWidget* parent, const DialogRunner& run);

struct DisplayStretchValues {
  double power = 25;
  bool active = false;
};
std::optional<DisplayStretchValues> AskDisplayStretch(QWidget* parent,
                                                      const DisplayStretchValues& now,
                                                      const DialogRunner& run);

// "SYNTHESIZE COLOUR IMAGE": edits the synthesis options in `settings`; false for "Cancel".
bool AskSynthesisOptions(QWidget* parent, ProgramSettings& settings, const DialogRunner& run);

}  // namespace corvex::ui
