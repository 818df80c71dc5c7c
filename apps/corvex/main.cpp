// corvex: the desktop program. Parses its few options, starts the application object and
// runs the window; with --screenshot it runs the given commands offscreen, saves a picture of
// the window and ends.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ui/corvex_app.h"
#include "ui/corvex_frame.h"
#include "ui/corvex_window.h"

namespace {

// The options are read before the application object exists (the screenshot mode chooses
// the offscreen platform), so this is a plain scan of argv.
bool HasOption(int argc, char** argv, const char* name) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == name) return true;
  }
  return false;
}

// The value after `name`, or empty.
std::string OptionValue(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == name) return argv[i + 1];
  }
  return {};
}

void AddOptions(QCommandLineParser& parser) {
  parser.setApplicationDescription("Corvex: control a one-shot-colour CCD camera, process, guide.");
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({"simulate", "Use the built-in simulated camera, mount and filter wheel"});
  parser.addOption({"seed", "Simulator: seed of the star field and noise", "N"});
  parser.addOption({"virtual-clock", "Run on simulated time (exposures take no time)"});
  parser.addOption({"screenshot", "Run the commands offscreen, save the window as PNG, exit",
                    "FILE"});
  parser.addOption({"command", "A command number to run (repeatable)", "ID"});
  parser.addOption({"file", "The file a command's file dialog answers with", "PATH"});
}

}  // namespace

int main(int argc, char** argv) {
  // Help and the version need no display: answered before the windowing system is opened,
  // so that they work over ssh and in scripts.
  for (const char* asked : {"--help", "-h", "-?", "--help-all", "--version", "-v"}) {
    if (!HasOption(argc, argv, asked)) continue;
    QCoreApplication core(argc, argv);
    QCoreApplication::setApplicationVersion(CORVEX_VERSION);
    QCommandLineParser parser;
    AddOptions(parser);
    parser.process(core);  // prints and exits
    return 0;
  }
  const bool screenshot = HasOption(argc, argv, "--screenshot");
  if (screenshot) setenv("QT_QPA_PLATFORM", "offscreen", 1);

  corvex::ui::AppOptions options;
  options.simulate = HasOption(argc, argv, "--simulate");
  options.virtualClock = HasOption(argc, argv, "--virtual-clock") || screenshot;
  options.automatic = screenshot;
  const std::string seed = OptionValue(argc, argv, "--seed");
  if (!seed.empty()) options.simSettings = "seed=" + seed;
  corvex::ui::TCorvexApp app(argc, argv, options);
  QCoreApplication::setApplicationVersion(CORVEX_VERSION);

  QCommandLineParser parser;
  AddOptions(parser);
  parser.process(app);

  corvex::ui::TCorvexFrame& frame = app.frame();
  frame.window().automaticFilePath = parser.value("file");
  frame.show();
  if (!screenshot) return app.exec();

  for (const QString& text : parser.values("command")) {
    bool ok = false;
    const int id = text.toInt(&ok);
    if (!ok || !frame.window().Command(id)) {
      std::fprintf(stderr, "corvex: command %s cannot run now\n", text.toUtf8().constData());
    }
    QCoreApplication::processEvents();
  }
  QCoreApplication::processEvents();
  if (!frame.grab().save(parser.value("screenshot"), "PNG")) {
    std::fprintf(stderr, "corvex: cannot write %s\n", parser.value("screenshot").toUtf8().constData());
    return 1;
  }
  return 0;
}
