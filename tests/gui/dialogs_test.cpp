// The FITS DETAILS, Set Program Defaults and Label Current Image dialogs driven offscreen, and
// the processing history box: what each hands back, what it refuses and what it writes.
#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <vector>

#include "corvex.h"
#include "files/image_label.h"
#include "files/settings_file.h"
#include "platform/clock.h"
#include "ui/fits_dialog.h"
#include "ui/label_dialog.h"
#include "ui/settings_dialog.h"
#include "ui/shown_path.h"
#include "gui_support.h"
#include "support/scripted_host.h"
#include "support/test_rig.h"

using corvex::Corvex;
using namespace corvex::ui;
namespace fs = std::filesystem;

namespace {

// A context whose host records every message box with its caption.
struct Program {
  Program() : corvex(host, clock, Home()) {}
  fs::path Home() const { return fs::path(home.path().toStdString()); }
  bool Said(const std::string& text) const {
    for (const auto& shown : host.messages) {
      if (shown.text == text) return true;
    }
    return false;
  }
  bool SaidStarting(const std::string& start) const {
    for (const auto& shown : host.messages) {
      if (shown.text.rfind(start, 0) == 0) return true;
    }
    return false;
  }

  QTemporaryDir home;
  corvex::VirtualClock clock;
  corvex::testing::ScriptedHost host{&clock};
  Corvex corvex;
};

// Accepts the dialog at once after `edit` has done what a user would.
DialogRunner Automatic(std::function<void(QDialog&)> edit = {}) {
  DialogRunner run;
  run.automatic = true;
  run.edit = std::move(edit);
  return run;
}

template <typename T = QWidget>
T* Find(QDialog& dialog, int id) {
  T* widget = dialog.findChild<T*>(QString("id%1").arg(id));
  if (widget == nullptr) qFatal("no control id%d", id);
  return widget;
}
void Click(QDialog& dialog, int id) {
  Find<QAbstractButton>(dialog, id)->click();
}
void Type(QDialog& dialog, int id, const QString& text) {
  Find<QLineEdit>(dialog, id)->setText(text);
}
QString Text(QDialog& dialog, int id) {
  return Find<QLineEdit>(dialog, id)->text();
}
bool Checked(QDialog& dialog, int id) {
  return Find<QAbstractButton>(dialog, id)->isChecked();
}

void Screenshot(QDialog& dialog, const char* name) {
  dialog.adjustSize();
  QVERIFY(dialog.grab().save(corvex::ui::testing::Screenshots() + "/" + name + ".png"));
}

using corvex::testing::FileBytes;

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void FitsUtOffsetArrowsStopAtEleven() {
    Program program;
    program.corvex.fits.utOffsetHours = -10;
    TFITSDialog dialog(program.corvex.fits);
    auto* bar = Find<QScrollBar>(dialog, 111);
    QCOMPARE(bar->minimum(), -11);
    QCOMPARE(bar->maximum(), 11);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(dialog.utOffset(), -11);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(dialog.utOffset(), -11);
    QCOMPARE(Text(dialog, 112), QString("-11"));
    QCOMPARE(bar->value(), -11);
    for (int i = 0; i < 21; ++i) bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(dialog.utOffset(), 10);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(dialog.utOffset(), 11);
    QCOMPARE(Text(dialog, 112), QString("11"));
    // Held by the dialog until Continue.
    QCOMPARE(program.corvex.fits.utOffsetHours, -10);
    dialog.Continue();
    QCOMPARE(program.corvex.fits.utOffsetHours, 11);
  }

  void FitsAbortKeepsAllButTheUnsignedBox() {
    Program program;
    corvex::FitsHeaderFields& fits = program.corvex.fits;
    fits.object = "M42";
    fits.focalLength = 80;
    const bool continued = EditFitsDetails(
        nullptr, program.corvex, Automatic([](QDialog& d) {
          Type(d, 101, "M31");
          Type(d, 113, "1200");
          Find<QScrollBar>(d, 111)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
          Click(d, 108);
          Click(d, 2);
        }));
    QVERIFY(!continued);
    QVERIFY(fits.unsignedFormat);
    QCOMPARE(fits.object, std::string("M42"));
    QCOMPARE(fits.focalLength, 80.0);
    QCOMPARE(fits.utOffsetHours, 0);
  }

  void FitsContinueTakesTheFieldsBackWithinTheirLimits() {
    Program program;
    corvex::FitsHeaderFields& fits = program.corvex.fits;
    fits.exposureSeconds = 2.5;
    fits.observationDate = "2006-12-07";
    fits.observationTime = "21:04:05";
    fits.object = "M42 Orion Nebula";
    fits.observer = "A. Observer";
    fits.telescope = "8 inch SCT";
    fits.historyNote = "Dark frame subtracted, 10 frames averaged";
    fits.utOffsetHours = -1;
    const bool continued = EditFitsDetails(
        nullptr, program.corvex, Automatic([](QDialog& d) {
          Screenshot(d, "fits_details");
          // Numbers open as "%f".
          QCOMPARE(Text(d, 116), QString("2.500000"));
          QCOMPARE(Text(d, 114), QString("0.000000"));
          QCOMPARE(Text(d, 105), QString("Quellmark CCD"));
          Type(d, 101, QString(80, 'x'));
          Type(d, 113, "  +1200.5mm");
          Type(d, 114, "wide");
          Type(d, 116, "nan");
          Type(d, 110, "21:04:05.25");
          Find<QPlainTextEdit>(d, 107)->setPlainText("Darks\nsubtracted " + QString(300, 'h'));
          Find<QPlainTextEdit>(d, 106)->setPlainText(
              QString::fromUtf8("Seeing \u00bd\"\ttransparent"));
        }));
    QVERIFY(continued);
    QCOMPARE(fits.object, std::string(67, 'x'));
    QCOMPARE(fits.focalLength, 1200.5);
    QCOMPARE(fits.aperture, 0.0);
    QCOMPARE(fits.exposureSeconds, 0.0);
    QCOMPARE(fits.observationTime, std::string("21:04:05.25"));
    QCOMPARE(fits.observationDate, std::string("2006-12-07"));
    QCOMPARE(fits.historyNote.size(), std::size_t{254});
    QCOMPARE(fits.historyNote.substr(0, 17), std::string("Darks subtracted "));
    QCOMPARE(fits.commentText, std::string("Seeing ?\" transparent"));
  }

  void AutoSaveFitsTextGoesToTheSettingsFile() {
    Program program;
    LoadEditAutoSaveFitsText(nullptr, program.corvex,
                             Automatic([](QDialog& d) { Type(d, 102, "A. Observer"); }));
    QVERIFY(program.host.messages.empty());
    const auto bytes = FileBytes(program.corvex.paths.SettingsFile());
    QCOMPARE(bytes.size(), corvex::kSettingsFileBytes);
    corvex::ProgramSettings settings;
    corvex::FitsHeaderFields fields;
    const std::vector<std::uint8_t> raw(bytes.begin(), bytes.end());
    QVERIFY(corvex::DecodeSettings(raw, settings, fields).Sound());
    QCOMPARE(fields.observer, std::string("A. Observer"));

    // A settings file that can be neither read nor replaced: messages 27 and 28.
    const fs::path file = program.corvex.paths.SettingsFile();
    fs::remove(file);
    fs::create_directories(file / "blocked");
    LoadEditAutoSaveFitsText(nullptr, program.corvex, Automatic());
    QVERIFY(program.Said("Unable to load INI file, please delete and try again"));
    QVERIFY(program.Said("Unable to save INI file, please check disk space"));
  }

  void DefaultsClickRuleFiltersAndSwaps() {
    Program program;
    corvex::ProgramSettings& settings = program.corvex.state.settings;
    TINIDialog dialog(program.corvex);
    QCOMPARE(program.corvex.state.filterWheelPort, 1);

    // Typed guiding numbers are taken at the next click, the hysteresis limited to 20.
    Type(dialog, 17139, "35");
    Type(dialog, 17185, "99");
    Type(dialog, 17180, "fast");
    Type(dialog, 17136, " 12");
    Click(dialog, 17126);
    QCOMPARE(settings.starMaskRadius, 11);
    QCOMPARE(settings.selfGuideRaHysteresis, 20);
    QCOMPARE(settings.guiderDecHysteresis, 20);
    QCOMPARE(settings.guiderRaRate, 0);
    QCOMPARE(settings.selfGuideDecRate, 12);
    QCOMPARE(Text(dialog, 17139), QString("20"));
    QVERIFY(Checked(dialog, 17126));
    QVERIFY(!Checked(dialog, 17124));

    // A filter count outside 1-8 becomes 7; names keep 8 characters.
    Type(dialog, 17170, "9");
    Type(dialog, 17162, "Hydrogen-alpha");
    Click(dialog, 17171);
    QCOMPARE(settings.filterCount, 7);
    QCOMPARE(Text(dialog, 17170), QString("7"));
    QCOMPARE(settings.filterNames[0], std::string("Hydrogen"));
    Type(dialog, 17170, "3");
    Click(dialog, 17171);
    QCOMPARE(settings.filterCount, 3);
    // A name typed but not yet set survives a click elsewhere.
    auto* second = Find<QLineEdit>(dialog, 17163);
    second->clear();
    QTest::keyClicks(second, "OIII");
    Click(dialog, 17115);
    QCOMPARE(Text(dialog, 17163), QString("OIII"));
    QCOMPARE(settings.filterNames[1], std::string("Filter 2"));
    Click(dialog, 17171);
    QCOMPARE(settings.filterNames[1], std::string("OIII"));

    // Each swap click exchanges its axis; the box shows the swapped state.
    Click(dialog, 17144);
    QVERIFY(settings.directionTable == (std::array<char, 4>{'e', 'w', 's', 'n'}));
    QVERIFY(Checked(dialog, 17144));
    Click(dialog, 17145);
    Click(dialog, 17144);
    QVERIFY(settings.directionTable == (std::array<char, 4>{'w', 'e', 'n', 's'}));
    QVERIFY(!Checked(dialog, 17144));
    QVERIFY(Checked(dialog, 17145));

    // The wheel takes the port the telescope leaves free.
    QCOMPARE(Text(dialog, 17158), QString());
    Click(dialog, 17157);
    QCOMPARE(Text(dialog, 17158), QString("on Com2"));
    settings.portChosen = false;
    Click(dialog, 17130);
    QCOMPARE(settings.comPortChar, '2');
    QVERIFY(settings.portChosen);
    QCOMPARE(Text(dialog, 17158), QString("on Com1"));
    QCOMPARE(program.corvex.state.filterWheelPort, 0);

    // The telescope method; LX200 alone leaves portChosen as it was.
    settings.portChosen = false;
    Click(dialog, 17152);
    QCOMPARE(settings.telescopeMethod, 'l');
    QVERIFY(!settings.portChosen);
    Click(dialog, 17153);
    QVERIFY(settings.portChosen);

    // The two training times are separate choices in one group.
    Click(dialog, 17188);
    Click(dialog, 17193);
    QCOMPARE(settings.selfGuideTrainingSeconds, 4);
    QCOMPARE(program.corvex.guiding.training.trainingSeconds, 8);
    QVERIFY(Checked(dialog, 17188) && Checked(dialog, 17193) && !Checked(dialog, 17192));
    Click(dialog, 17109);
    QVERIFY(program.corvex.fits.unsignedFormat);
    Screenshot(dialog, "program_defaults");
  }

  void DefaultsAutosaveDirectory() {
    Program program;
    std::string& directory = program.corvex.state.settings.autosaveDirectory;
    TINIDialog dialog(program.corvex);
    // The stored c:\ form is shown with the folder the files really go to.
    const auto shown = [&dialog] { return dialog.findChild<QLabel*>("autosaveShown")->text(); };
    QCOMPARE(shown(), "Files go to " + ShownPath(program.Home() / "autosave"));

    Type(dialog, 17146, "images\\M42");
    Click(dialog, 17147);
    QCOMPARE(directory, std::string("c:\\images\\M42"));
    QVERIFY(fs::is_directory(program.Home() / "images" / "m42"));
    QCOMPARE(shown(), "Files go to " + ShownPath(program.Home() / "images" / "m42"));

    Type(dialog, 17146, "");
    Click(dialog, 17147);
    QCOMPARE(directory, std::string("c:\\AUTOSAVE"));
    QCOMPARE(Text(dialog, 17146), QString("c:\\AUTOSAVE"));
    QVERIFY(fs::is_directory(program.corvex.paths.AutosaveDirectory()));

    const fs::path own = program.Home() / "elsewhere" / "frames";
    Type(dialog, 17146, QString::fromStdString(own.string()));
    Click(dialog, 17147);
    QCOMPARE(directory, own.string());
    QVERIFY(fs::is_directory(own));

    // A missing drive, and a directory under a plain file: an error, the directory kept, and
    // the typed text left for correcting.
    QVERIFY(program.host.messages.empty());
    Type(dialog, 17146, "q:\\frames");
    Click(dialog, 17147);
    QCOMPARE(directory, own.string());
    QVERIFY(program.SaidStarting("Unable to use \"q:\\frames\" as the AutoSave directory"));
    QCOMPARE(Text(dialog, 17146), QString("q:\\frames"));
    std::ofstream(program.Home() / "plain").put('x');
    Type(dialog, 17146, "c:\\plain\\frames");
    Click(dialog, 17147);
    QCOMPARE(directory, own.string());
    QCOMPARE(program.host.messages.size(), std::size_t{2});
    QCOMPARE(shown(), "Files go to " + ShownPath(own));
  }

  void DefaultsSaveWritesAndCancelDoesNot() {
    Program program;
    corvex::ProgramSettings& settings = program.corvex.state.settings;
    const fs::path file = program.corvex.paths.SettingsFile();
    RunProgramDefaults(nullptr, program.corvex, Automatic([](QDialog& d) {
                         Type(d, 17140, "35");
                         Click(d, 17114);
                       }));
    corvex::ProgramSettings saved;
    corvex::FitsHeaderFields fields;
    auto bytes = FileBytes(file);
    QVERIFY(
        corvex::DecodeSettings(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), saved, fields)
            .Sound());
    QCOMPARE(saved.backgroundColour, 'r');
    QCOMPARE(saved.selfGuideDecHysteresis, 20);

    // Cancel: in memory only. The dialog reads the file first, so the memory value it shows
    // is the file's.
    settings.backgroundColour = 'l';
    RunProgramDefaults(nullptr, program.corvex, Automatic([](QDialog& d) {
                         QVERIFY(Checked(d, 17114));
                         Click(d, 17116);
                         Click(d, 2);
                       }));
    QCOMPARE(settings.backgroundColour, 'g');
    QCOMPARE(FileBytes(file), bytes);
    QVERIFY(program.host.messages.empty());

    // A file that cannot be read or replaced: messages 20 and 21.
    fs::remove(file);
    fs::create_directories(file / "blocked");
    RunProgramDefaults(nullptr, program.corvex, Automatic());
    QVERIFY(program.Said("Unable to load INI file, please delete and try again"));
    QVERIFY(program.Said("Unable to save INI file, please check disk space"));
  }

  void DefaultsAutosaveFormatGoesToCorvexConfOnly() {
    Program program;
    const fs::path ini = program.corvex.paths.SettingsFile();
    const fs::path conf = ini.parent_path() / "corvex.conf";
    fs::create_directories(conf.parent_path());
    std::ofstream(conf) << "# my notes\nviewer.future = 7\nautosave.format = standard\n";
    RunProgramDefaults(nullptr, program.corvex, Automatic([](QDialog& d) {
                         QVERIFY(Checked(d, 17202));
                         Click(d, 17203);
                       }));
    const auto text = FileBytes(conf);
    QCOMPARE(std::string(text.begin(), text.end()),
             std::string("# my notes\nviewer.future = 7\nautosave.format = both\n"));
    QCOMPARE(fs::file_size(ini), std::uintmax_t{1302});

    // Cancel: the choice stays in memory, the file as it was.
    RunProgramDefaults(nullptr, program.corvex, Automatic([](QDialog& d) {
                         Click(d, 17201);
                         Click(d, 2);
                       }));
    QCOMPARE(FileBytes(conf), text);
  }

  void LabelDateRulesAndDrawing() {
    Program program;
    corvex::ImageBuffer& image = program.corvex.store.currentImage;
    image.Fill(1234);
    int rebuilds = 0;
    program.corvex.displayRebuild = [&rebuilds](Corvex&) { ++rebuilds; };

    // No FITS date: refused and left clear.
    RunLabelDialog(nullptr, program.corvex, Automatic([](QDialog& d) {
                     Click(d, 103);
                     QVERIFY(!Checked(d, 103));
                     QVERIFY(!Checked(d, 102));
                     Click(d, 2);
                   }));
    QVERIFY(program.Said("Sorry, FITs date not set"));
    QCOMPARE(rebuilds, 0);
    QCOMPARE(image[0], std::uint16_t{1234});

    // With one, it is taken and switches "Auto Date" on; "Auto Date" off takes it away again.
    corvex::FitsHeaderFields& fits = program.corvex.fits;
    fits.observationDate = "7/12/06";
    fits.observationTime = "21:04:05";
    RunLabelDialog(nullptr, program.corvex, Automatic([](QDialog& d) {
                     Type(d, 4090, "M42 Orion");
                     Click(d, 103);
                     QVERIFY(Checked(d, 103) && Checked(d, 102));
                     Click(d, 102);
                     QVERIFY(!Checked(d, 103) && !Checked(d, 102));
                     Click(d, 103);
                     Screenshot(d, "label_image");
                   }));
    QCOMPARE(rebuilds, 1);
    corvex::ImageBuffer expected;
    expected.Fill(1234);
    const std::string date = corvex::LabelFitsDateText("21:04:05", "7/12/06");
    corvex::DrawImageLabel(expected, corvex::LabelLine("M42 Orion", &date));
    QVERIFY(std::equal(image.begin(), image.end(), expected.begin()));
    QCOMPARE(image[4] + image[5], 34);
    // Rows 10 on are the picture's own.
    QCOMPARE(image[10 * corvex::kImageStride], std::uint16_t{1234});

    // Opened again: the text and "Auto Date" come back, "Use FITs Date" does not. Undated,
    // the label sits in the middle of the line.
    RunLabelDialog(nullptr, program.corvex, Automatic([](QDialog& d) {
                     QCOMPARE(Text(d, 4090), QString("M42 Orion"));
                     QVERIFY(Checked(d, 102));
                     QVERIFY(!Checked(d, 103));
                     Click(d, 102);
                     Type(d, 4090, "Vega");
                   }));
    expected.Fill(1234);
    corvex::DrawImageLabel(expected, corvex::LabelLine("Vega", nullptr));
    QVERIFY(std::equal(image.begin(), image.end(), expected.begin()));
  }

  void ProcessingHistoryStopsAtTheFirstShortEntry() {
    Program program;
    auto& entries = program.corvex.history.entries;
    entries[0] = "Normal Stretch";
    entries[1] = "Median Filter";
    entries[2] = "x";
    entries[3] = "Unsharp Mask";
    ShowProcessingHistory(program.corvex);
    QCOMPARE(program.host.messages.size(), std::size_t{1});
    QCOMPARE(program.host.messages[0].caption, std::string("Corvex - PROCESSING HISTORY"));
    QCOMPARE(program.host.messages[0].text, std::string("Normal Stretch \nMedian Filter \n"));
    // The first entry is listed whatever its length.
    entries[0].clear();
    QCOMPARE(ProcessingHistoryText(program.corvex.history), std::string(" \nMedian Filter \n"));
    for (auto& entry : entries) entry = "Power Law";
    QCOMPARE(ProcessingHistoryText(program.corvex.history).size(), std::size_t{15 * 11});
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
