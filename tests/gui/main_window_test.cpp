// The desktop windows driven offscreen: the command table as the menus show it, the picking
// clicks, the camera panel's rules, the display rendering, and one capture from the panel to
// the screen and the autosave directory.
#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <filesystem>

#include "corvex.h"
#include "files/program_options_file.h"
#include "platform/clock.h"
#include "ui/command_map.h"
#include "ui/corvex_app.h"
#include "ui/corvex_frame.h"
#include "ui/corvex_window.h"
#include "ui/host_windows.h"
#include "ui/merge_dialog.h"
#include "ui/processing_dialogs.h"
#include "ui/qs_dialog.h"
#include "ui/qt_host.h"
#include "gui_support.h"

using corvex::Corvex;
using namespace corvex::ui;

namespace {

// One program's worth of windows on the simulated camera.
struct Program : testing::QtProgram {
  Program() {
    std::string error;
    corvex.devices = MakeDeviceSource(true, "", clock, error);
    frame = std::make_unique<TCorvexFrame>(corvex, host);
    host.SetParentWindow(frame.get());
    frame->window().acceptDialogsAutomatically = true;
    frame->show();
  }
  TCorvexWindow& window() { return frame->window(); }

  std::unique_ptr<TCorvexFrame> frame;
};

using testing::Screenshots;

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void MenusCarryTheTableTextsAndStates() {
    Program program;
    TCorvexFrame& frame = *program.frame;
    QCOMPARE(frame.windowTitle(), QString("Corvex USB Colour Camera Software"));
    QCOMPARE(frame.size(), QSize(876, 490));
    const QList<QAction*> menus = frame.menuBar()->actions();
    QCOMPARE(menus.size(), 9);
    QCOMPARE(menus[0]->text(), QString("&File"));
    QCOMPARE(menus[5]->text(), QString("Filter&s "));
    QCOMPARE(menus[7]->text(), QString("&Histogram"));
    QCOMPARE(frame.Action(24332)->text(), QString("&Open...\tCTL+O"));
    QCOMPARE(frame.Action(304)->text(), QString("Change to QZ &Geometry\tCTL+G"));
    QCOMPARE(frame.Action(1)->statusTip(),
             QString("Adjust the Contrast manually. setting max and min values"));
    // Separators after 128, 17, 20, 127 and 121 in the File menu.
    const QList<QAction*> file = menus[0]->menu()->actions();
    int separators = 0;
    for (QAction* item : file) separators += item->isSeparator() ? 1 : 0;
    QCOMPARE(separators, 5);

    // Ctrl+G opens the guider interface, never the geometry change; Ctrl+W the focus centre.
    QCOMPARE(CommandForKey("Ctrl+G"), 894);
    QCOMPARE(CommandForKey("Ctrl+W"), 19);
    QCOMPARE(CommandForKey("Ctrl+Z"), 12);
    QCOMPARE(CommandForKey("Ctrl+K"), 0);

    // With no telescope method the guiding and telescope commands are greyed and the
    // telescope button is absent; choosing a method brings them back.
    program.corvex.state.settings.telescopeMethod = 'n';
    frame.UpdateCommands();
    QVERIFY(!frame.Action(125)->isEnabled());
    QVERIFY(!frame.Action(126)->isEnabled());
    QVERIFY(!frame.Action(127)->isEnabled());
    QVERIFY(frame.toolBar()->findChild<QAction*>("tool127") == nullptr);
    program.corvex.state.settings.telescopeMethod = 'l';
    frame.UpdateCommands();
    QVERIFY(frame.Action(125)->isEnabled());
    QVERIFY(frame.toolBar()->findChild<QAction*>("tool127") != nullptr);

    // The display-stretch buttons share one place.
    QVERIFY(frame.toolBar()->findChild<QAction*>("tool1901") != nullptr);
    program.corvex.state.displayStretchActive = true;
    frame.UpdateCommands();
    QVERIFY(frame.toolBar()->findChild<QAction*>("tool1901") == nullptr);
    QVERIFY(frame.toolBar()->findChild<QAction*>("tool1902") != nullptr);
    frame.grab().save(Screenshots() + "/main_window.png");
  }

  void FocusCentreClicksPlaceTheWindow() {
    Program program;
    TCorvexWindow& window = program.window();
    auto& state = program.corvex.state;
    window.Command(19);
    QVERIFY(window.focusCentrePickMode());
    window.PickAt(40, 300);
    QCOMPARE(int(state.focusLeft), 3);
    QCOMPARE(int(state.focusTop), 160);
    QVERIFY(program.Said("x position =    67\ny position =   224"));
    QVERIFY(!window.focusCentrePickMode());
    window.Command(19);
    window.PickAt(200, 100);
    QCOMPARE(int(state.focusLeft), 136);
    QCOMPARE(int(state.focusTop), 36);
    QVERIFY(program.Said("x position =   200\ny position =   100"));
    // Without a picking mode a click does nothing.
    window.PickAt(10, 10);
    QCOMPARE(int(state.focusLeft), 136);
  }

  void CameraPanelRules() {
    Program program;
    auto& state = program.corvex.state;
    TQSDialog panel(program.corvex, program.frame.get());
    panel.show();
    panel.ChooseRange('m');
    QCOMPARE(state.exposureValue, 1);
    for (int i = 0; i < 100; ++i) panel.StepExposure(+1);
    QCOMPARE(state.exposureValue, 90);
    panel.StepExposure(-1);
    QCOMPARE(state.exposureValue, 89);

    // "Self-Guide Next Exposure": 12 s is too long, 11 s becomes the guide exposure.
    panel.ChooseRange('s');
    state.exposureValue = 12;
    panel.ToggleSelfGuideNext();
    QVERIFY(!state.selfGuideNext);
    state.exposureValue = 11;
    panel.ToggleSelfGuideNext();
    QVERIFY(state.selfGuideNext);
    QCOMPARE(state.guideExposureValue, 11);
    QCOMPARE(qobject_cast<QLineEdit*>(panel.Control(128))->text(), QString("seconds"));
    QCOMPARE(qobject_cast<QLineEdit*>(panel.Control(12))->text(),
             QString("Selfguide Next Image"));
    panel.ToggleSelfGuideNext();
    // With the 11 s remembered, a 12 s exposure may still be self-guided.
    state.exposureValue = 12;
    panel.ToggleSelfGuideNext();
    QVERIFY(state.selfGuideNext);
    QCOMPARE(state.guideExposureValue, 11);
    panel.ToggleSelfGuideNext();

    // "Dither" is corvex.conf's switch: a click turns it on and writes its line, and the
    // amount beside it shows the file's value.
    std::filesystem::create_directories(program.corvex.paths.SettingsFile().parent_path());
    auto* dither = qobject_cast<QCheckBox*>(panel.Control(132));
    QVERIFY(dither != nullptr && !dither->isChecked());
    QCOMPARE(qobject_cast<QSpinBox*>(panel.Control(133))->value(), 3);
    dither->click();
    QVERIFY(dither->isChecked());
    corvex::ProgramOptions written;
    QVERIFY(corvex::ReadProgramOptions(
                corvex::ProgramOptionsPath(program.corvex.paths.SettingsFile()), written)
                .Sound());
    QVERIFY(written.Flag(corvex::kDitherKey));

    // The filter wheel wraps both ways.
    state.settings.filterCount = 7;
    panel.FilterFirst();
    panel.FilterPrev();
    QCOMPARE(state.filterPosition, 7);
    panel.FilterNext();
    QCOMPARE(state.filterPosition, 1);
    QCOMPARE(qobject_cast<QLineEdit*>(panel.Control(18))->text(), QString("Blank"));

    // Camera status for a continuous series.
    state.continuousMode = true;
    state.exposureCount = 3;
    panel.Refresh();
    QCOMPARE(qobject_cast<QLineEdit*>(panel.Control(12))->text(), QString("Series Imaging"));
    panel.grab().save(Screenshots() + "/camera_panel.png");

    // An empty value does not close the panel.
    qobject_cast<QLineEdit*>(panel.Control(105))->clear();
    panel.TakePhoto(false);
    QVERIFY(panel.isVisible());
    QCOMPARE(panel.outcome(), corvex::PanelOutcome::kCancel);
    qobject_cast<QLineEdit*>(panel.Control(105))->setText("4");
    panel.TakePhoto(false);
    QCOMPARE(panel.outcome(), corvex::PanelOutcome::kTakePhoto);
    QCOMPARE(state.exposureValue, 4);
  }

  void DisplayRendering() {
    Program program;
    TCorvexWindow& window = program.window();
    auto& state = program.corvex.state;
    corvex::FillStartupRamps(program.corvex.store);
    window.RefreshDisplay();
    QVERIFY(window.hasDisplay());
    QCOMPARE(window.displaySize(), QSize(512, 290));
    // The image is narrower and lower than the window: no scrolling, background beside it.
    QCOMPARE(window.horizontalScrollBar()->maximum(), 0);
    QCOMPARE(window.verticalScrollBar()->maximum(), 0);
    state.settings.backgroundColour = 'r';
    QImage shown = window.viewport()->grab().toImage();
    QCOMPARE(QColor(shown.pixel(700, 100)), QColor(120, 40, 40));
    QCOMPARE(QColor(shown.pixel(100, 350)), QColor(120, 40, 40));
    // Fitted to the window the image covers all of it.
    window.Command(301);
    shown = window.viewport()->grab().toImage();
    QVERIFY(QColor(shown.pixel(700, 100)) != QColor(120, 40, 40));
    window.Command(301);

    // A display bitmap that cannot be read: message 32 and the old picture stays.
    const QImage before = window.viewport()->grab().toImage();
    const std::uint8_t damaged[] = {'B', 'M', 0, 0};
    QVERIFY(!window.ShowDisplayBitmap(damaged));
    QVERIFY(program.Said("Cannot open bitmap file"));
    QCOMPARE(window.viewport()->grab().toImage(), before);
  }

  void TakePhotoFromThePanelToTheScreenAndDisk() {
    Program program;
    auto& state = program.corvex.state;
    state.exposureValue = 2;
    state.exposureUnit = 's';
    state.autoColour = true;
    state.autoSave = true;
    QVERIFY(program.window().Command(12));
    QVERIFY(state.cameraFound);
    QVERIFY(program.window().hasDisplay());
    QVERIFY(state.colourConverted);
    const std::filesystem::path saved =
        std::filesystem::path(program.home.path().toStdString()) / "autosave" / "IMG1.FIT";
    QVERIFY2(std::filesystem::exists(saved), saved.c_str());
    QCOMPARE(std::filesystem::file_size(saved), std::uintmax_t{748160});
    program.frame->grab().save(Screenshots() + "/after_capture.png");
  }

  // Every dialog the processing commands open, as a user sees it, and what it hands back.
  void ProcessingDialogsOpenWithTheirStartingValues() {
    Program program;
    QWidget* parent = program.frame.get();
    const QString dir = Screenshots();
    const auto shoot = [&dir](const char* name) {
      DialogRunner run;
      run.automatic = true;
      run.edit = [&dir, name](QDialog& dialog) {
        dialog.adjustSize();
        dialog.grab().save(dir + "/" + name + ".png");
      };
      return run;
    };
    const auto normal = AskNormalStretch(parent, shoot("normal_stretch"));
    QVERIFY(normal && normal->black == 0 && normal->white == 255);
    QCOMPARE(AskPowerStretch(parent, shoot("power_stretch")).value(), 1.0);
    QCOMPARE(AskNonLinearStretch(parent, shoot("non_linear_stretch")).value(), 25);
    const auto unsharp = AskUnsharpMask(parent, shoot("unsharp_mask"));
    QVERIFY(unsharp && unsharp->radius == 3 && unsharp->power == 1);
    const auto median = AskMedianFilter(parent, shoot("median_filter"));
    QVERIFY(median && median->radius == 1 && median->power == 6);
    const auto balance = AskColourBalance(parent, 4, shoot("colour_balance"));
    QVERIFY(balance && balance->red == 0 && balance->saturation == 4);
    QVERIFY(AskChromaticAdjustment(parent, shoot("chromatic_adjustment")));
    const auto display = AskDisplayStretch(parent, {25, false}, shoot("stretch_display"));
    QVERIFY(display && display->power == 25 && !display->active);
    corvex::ProgramSettings settings;
    QVERIFY(AskSynthesisOptions(parent, settings, shoot("synthesize_colour")));

    // Normal Stretch keeps White above Black.
    DialogRunner raise;
    raise.automatic = true;
    raise.edit = [](QDialog& dialog) {
      static_cast<TParameterDialog&>(dialog).setValue(1, 100);
      static_cast<TParameterDialog&>(dialog).setValue(0, 200);
    };
    const auto kept = AskNormalStretch(parent, raise);
    QVERIFY(kept && kept->black == 200 && kept->white == 201);

    // An out-of-range synthesis number is refused and the stored values come back.
    DialogRunner wrong;
    wrong.automatic = true;
    wrong.edit = [](QDialog& dialog) {
      dialog.findChild<QLineEdit*>("dia.")->setText("9");
    };
    QVERIFY(!AskSynthesisOptions(parent, settings, wrong));

    TMergeDialog merge(program.corvex, parent);
    merge.adjustSize();
    merge.grab().save(dir + "/merge_images.png");
    TFilterProgress progress(parent);
    progress.SetCaption("CONTRAST STRETCH");
    progress.SetPosition(128);
    progress.adjustSize();
    progress.grab().save(dir + "/filter_progress.png");
    TGuidingInfoDialog info(parent);
    corvex::GuidingInfo shown;
    shown.caption = "Guiding Info - stabilising";
    shown.x = 64.3;
    info.Show(shown);
    info.adjustSize();
    info.grab().save(dir + "/guiding_info.png");
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
