// corvex-cli: the headless tool. Parses the command line, wires the context, runs one job.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "arguments.h"
#include "camera/camera_link.h"
#include "camera_source.h"
#include "capture_jobs.h"
#include "corvex.h"
#include "mount/indi_mount.h"
#include "exit_codes.h"
#include "file_jobs.h"
#include "guide_jobs.h"
#include "json_output.h"
#include "json_reports.h"
#include "platform/clock.h"
#include "platform/terminal_host.h"
#include "process_job.h"
#include "settings_set.h"
#include "sim/observatory.h"
#include "state/image_store.h"

namespace {

using corvex::Corvex;
using corvex::TerminalText;
namespace cli = corvex::cli;

constexpr const char* kExitCodeHelp =
    "Exit status:\n"
    "  0    the command did what it said\n"
    "  1    it failed: a camera, telescope, file or disk fault (the message says which)\n"
    "  2    the command line was refused before any work: a bad option or value, or a file\n"
    "       named on it that cannot be read or written\n"
    "  130  cancelled by Ctrl-C";

// Image positions on the main camera's frame and on the guider's, and the focus window's
// top-left corner (the window stays on the sensor).
constexpr cli::WholeRange kMainColumns{0, corvex::kImageStride - 1};
constexpr cli::WholeRange kGuiderColumns{0, corvex::kReadoutWidth - 1};
constexpr cli::WholeRange kRows{0, corvex::kImageRows - 1};
constexpr cli::WholeRange kFocusColumns{0, 372};
constexpr cli::WholeRange kFocusRows{0, 162};

void PrintCamera(const Corvex& corvex) {
  const corvex::CameraLink& link = corvex.camera;
  std::printf("Camera found\n");
  std::printf("  path:         %s\n", TerminalText(link.devicePath).c_str());
  std::printf("  vendor id:    %s\n", TerminalText(link.vendorIdText).c_str());
  std::printf("  product id:   %s\n", TerminalText(link.productIdText).c_str());
  std::printf("  manufacturer: %s\n", TerminalText(link.description.manufacturer).c_str());
  std::printf("  product:      %s\n", TerminalText(link.description.product).c_str());
}

int RunDiscover(Corvex& corvex, bool anyProductId) {
  corvex.state.settings.acceptAnyProductId = anyProductId;
  corvex::DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
  if (!corvex.state.cameraFound) return cli::kExitFailed;
  PrintCamera(corvex);
  return cli::kExitOk;
}

// A value that can only be checked against another option: refused as CLI11 refuses its own.
[[noreturn]] void Refuse(const std::string& option, const std::string& problem) {
  throw CLI::ValidationError(option, problem);
}

// "H:M" or "D:M" of goto: two whole numbers; the telescope panel's ranges are goto's to apply.
void CheckAngle(const std::string& option, const std::string& text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || !cli::ParseWhole(text.substr(0, colon), -1000, 1000) ||
      !cli::ParseWhole(text.substr(colon + 1), 0, 1000)) {
    Refuse(option, "\"" + text + "\" is not two whole numbers A:B");
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Corvex: control a one-shot-colour CCD camera, process and guide, headless."};
  app.set_version_flag("--version", std::string("corvex-cli ") + CORVEX_VERSION);
  app.require_subcommand(1);
  app.footer(kExitCodeHelp);
  // CLI11's messages quote the values given, which may hold anything: shown escaped.
  app.failure_message([](const CLI::App*, const CLI::Error& e) {
    return TerminalText(e.what(), true) + "\nRun with --help for more information.\n";
  });

  cli::CameraSourceOptions source;
  bool virtualClock = false;
  bool json = false;
  constexpr const char* kJsonHelp =
      "Print one JSON object on stdout (files written, figures measured, exit_code); "
      "everything else goes to stderr";

  bool anyProductId = false;
  CLI::App* discover = app.add_subcommand("discover", "Find the camera on USB and show it");
  discover->add_flag("--any-pid", anyProductId, "Open a camera whatever its product id");
  cli::AddCameraSourceOptions(*discover, source);

  cli::ExposureSetting snapExposure;
  std::string snapOut = "snap.fit";
  CLI::App* snap = app.add_subcommand("snap", "Take one frame and save it");
  cli::AddExposureOption(*snap, "--exposure", snapExposure, cli::ExposureKind::kMain,
                         "Length: a number and a unit")
      ->default_str("1s");
  snap->add_option("-o,--output", snapOut,
                   "File to write: .fit/.fits/.fts FITS, .tif/.tiff TIFF, ~NAME native raw")
      ->capture_default_str();
  snap->add_flag("--virtual-clock", virtualClock, "Run on simulated time");
  cli::AddCameraSourceOptions(*snap, source);

  cli::GuiderSnapOptions guider;
  std::string guiderOut;
  bool noHotPixelFilter = false;
  CLI::App* guiderSnap =
      app.add_subcommand("guider-snap", "Take one guider camera frame, saved as a 16-bit PGM");
  cli::AddExposureOption(*guiderSnap, "--exposure", guider.exposure, cli::ExposureKind::kGuider,
                         "Length: a number and a unit")
      ->default_str("1s");
  guiderSnap->add_option("--dark", guider.dark, "A 500 x 290 PGM dark frame to subtract");
  guiderSnap->add_flag("--no-hot-pixel-filter", noHotPixelFilter,
                       "Keep hot pixels (no 3 x 3 median clean-up)");
  cli::AddWholeOption(*guiderSnap, "--gain", guider.gain, 5, 8, "5 = x8, 6 = x4, 7 = x2, 8 = none")
      ->default_str("8");
  guiderSnap->add_option("-o,--output", guiderOut, "PGM file to write (.pgm)")->required();
  guiderSnap->add_flag("--virtual-clock", virtualClock, "Run on simulated time");
  cli::AddCameraSourceOptions(*guiderSnap, source);

  cli::CaptureOptions capture;
  CLI::App* captureCommand = app.add_subcommand(
      "capture", "A capture run, as the camera panel's \"Take Photo\" starts it");
  cli::AddExposureOption(*captureCommand, "--exposure", capture.exposure, cli::ExposureKind::kMain,
                         "Length: a number and a unit")
      ->default_str("1s");
  cli::AddWholeOption(*captureCommand, "--count", capture.count, 1, 999,
                      "Exposures in the series (1-999)")
      ->default_str("1");
  CLI::Option* continuous =
      captureCommand->add_flag("--continuous", capture.continuous,
                               "Keep exposing (the count, if above 1, ends it) until Ctrl-C");
  captureCommand->add_flag("--average", capture.average, "Average the series instead of summing");
  captureCommand->add_flag("--alternative-align", capture.alternativeAlign,
                           "Align the series by region profiles, not by the guide star");
  CLI::Option* captureGuideStar = cli::AddPositionOption(
      *captureCommand, "--guide-star", capture.guideStar, kMainColumns, kRows,
                         "X,Y of the star to align on: column 0-511 and row 0-289 of the stored "
                         "frame, from its top-left corner (the image's own pixels, whatever "
                         "the display's zoom or QZ geometry)");
  captureCommand->add_flag("--self-guide", capture.selfGuide,
                           "Guide every exposure from the main camera on the --guide-star, with "
                           "one-second guide frames (the telescope method of the settings file, "
                           "else LX200)")
      ->needs(captureGuideStar);
  cli::AddWholeOption(*captureCommand, "--dither", capture.dither, 2, 20,
                      "Dither a --self-guide series: between exposures move the guide star to a "
                      "new place up to PX pixels from where guiding started (2-20, whole even "
                      "pixels; corvex.conf's dither.amount is 3) and wait until guiding settles");
  captureCommand->add_flag("--start-delay", capture.startDelay, "Count down 10 seconds first");
  cli::AddWholeOption(*captureCommand, "--pause", capture.pauseMinutes, 0, 999,
                      "Minutes between exposures (0-999)")
      ->default_str("0");
  CLI::Option* darkSubtract = captureCommand->add_flag("--dark-subtract", capture.darkSubtract,
                                                       "Subtract the dark frame from each frame");
  captureCommand
      ->add_option("--dark", capture.dark,
                   "The dark frame file (a 295800-byte native raw file; else dark.def)")
      ->needs(darkSubtract);
  captureCommand->add_flag("--colour", capture.colour, "Synthesise colour after each frame");
  CLI::Option* saveFlag =
      captureCommand->add_flag("--save", capture.save, "Quick-save each frame as IMG<n>.FIT");
  captureCommand
      ->add_option("--format", capture.format,
                   "What --save writes: native (IMG<n>.FIT), standard (IMG<n>.fits) or both; "
                   "else autosave.format of corvex.conf")
      ->check(CLI::IsMember({"native", "standard", "both"}))
      ->needs(saveFlag);
  captureCommand
      ->add_option("-o,--output", capture.output,
                   "Also write the run's final frame here (named as for snap)")
      ->excludes(continuous);
  captureCommand->add_flag("--beep", capture.beep, "Beep when each exposure ends");
  captureCommand->add_flag("--virtual-clock", virtualClock,
                           "Run on simulated time (with --simulate: a long run takes no time)");
  cli::AddCameraSourceOptions(*captureCommand, source);

  cli::FocusOptions focus;
  CLI::App* focusCommand = app.add_subcommand("focus", "Focus mode: frames of the focus window");
  cli::AddExposureOption(*focusCommand, "--exposure", focus.exposure, cli::ExposureKind::kFocus,
                         "Length: a number and a unit")
      ->default_str("5t");
  cli::AddWholeOption(*focusCommand, "--frames", focus.frames, 1, 100000,
                      "How many frames (1-100000)")
      ->default_str("5");
  focusCommand->add_flag("--auto-exposure", focus.autoExposure,
                         "Adjust the exposure from each frame's peak");
  cli::AddPositionOption(*focusCommand, "--window", focus.window, kFocusColumns, kFocusRows,
                         "X,Y of the 128 x 128 focus window's top-left corner on the sensor: "
                         "column 0-372, row 0-162")
      ->default_str("184,65");
  focusCommand->add_flag("--virtual-clock", virtualClock, "Run on simulated time");
  cli::AddCameraSourceOptions(*focusCommand, source);

  // The guiding commands' exposure and star depend on --camera: read as text, checked below.
  cli::GuideOptions guide;
  std::string guideCamera = "main";
  std::string guideExposure = "1s";
  std::string guideStar;
  std::string trainingSeconds;
  CLI::App* train = app.add_subcommand(
      "train", "Calibrate guiding: move the telescope in a fixed pattern and follow the star");
  CLI::App* guideCommand =
      app.add_subcommand("guide", "Guide the telescope on a star for a number of minutes");
  for (CLI::App* command : {train, guideCommand}) {
    command->add_option("--camera", guideCamera, "main (self-guiding) or guider")
        ->check(CLI::IsMember({"main", "guider"}))
        ->capture_default_str();
    command
        ->add_option("--exposure", guideExposure,
                     "Guide frame length: main " +
                         cli::ExposureRanges(cli::ExposureKind::kSelfGuide) + "; guider " +
                         cli::ExposureRanges(cli::ExposureKind::kGuider))
        ->capture_default_str();
    command->add_option("--star", guideStar,
                        "X,Y of the guide star, from the frame's top-left corner: column 0-511 "
                        "and row 0-289 of the main camera's stored frame, or column 0-499 and "
                        "row 0-289 of the guider's (else the brightest star)");
    command
        ->add_option("--method", guide.method,
                     "lx200, relays or indi (else Corvex.ini's, or corvex.conf's "
                     "telescope.method)")
        ->check(CLI::IsMember({"lx200", "relays", "indi"}));
    command->add_option("--indi", guide.indiServer,
                        "The INDI server as HOST:PORT (else corvex.conf's indi.server, "
                        "localhost:7624)");
    command->add_option("--mount", guide.indiMount,
                        "The mount's INDI device name (else corvex.conf's indi.mount, or the "
                        "first mount on the server)");
    command->add_option("--training-seconds", trainingSeconds, "Training move time: 1, 2, 4 or 8 s")
        ->check(CLI::IsMember({"1", "2", "4", "8"}));
    command->add_flag("--virtual-clock", virtualClock, "Run on simulated time");
    cli::AddCameraSourceOptions(*command, source);
  }
  guideCommand->add_flag("--train", guide.train, "Calibrate first");
  for (CLI::App* command : {train, guideCommand}) {
    command->add_flag("--beep", guide.beep, "Ring the terminal's bell at each telescope move");
  }
  cli::AddRealOption(*guideCommand, "--minutes", guide.minutes, 0.1, 1440.0,
                     "How long to guide (0.1-1440)")
      ->default_str("10");
  guideCommand->add_option("--log", guide.log, "CSV file with one row per correction");

  cli::GoToOptions gotoOptions;
  CLI::App* gotoCommand =
      app.add_subcommand("goto", "Point the telescope (LX200 or INDI) at an object or coordinates");
  constexpr int kAnyWhole = 1000000000;
  auto* messier = cli::AddWholeOption(*gotoCommand, "--messier", gotoOptions.messier, -kAnyWhole,
                                      kAnyWhole, "Messier number (1-110)");
  auto* cngc = cli::AddWholeOption(*gotoCommand, "--cngc", gotoOptions.cngc, -kAnyWhole, kAnyWhole,
                                   "CNGC number (1-7815)");
  auto* planet = gotoCommand->add_option("--planet", gotoOptions.planet, "Mercury ... Pluto");
  auto* ra = gotoCommand->add_option("--ra", gotoOptions.ra, "Right ascension H:M");
  auto* dec = gotoCommand->add_option("--dec", gotoOptions.dec, "Declination D:M (signed)");
  ra->needs(dec);
  dec->needs(ra);
  messier->excludes(cngc);
  planet->excludes(messier)->excludes(cngc)->excludes(ra);
  ra->excludes(messier)->excludes(cngc);
  gotoCommand
      ->add_option("--method", gotoOptions.method,
                   "lx200 or indi (else Corvex.ini's, or corvex.conf's telescope.method)")
      ->check(CLI::IsMember({"lx200", "indi"}));
  gotoCommand->add_option("--indi", gotoOptions.indiServer,
                          "The INDI server as HOST:PORT (else corvex.conf's indi.server)");
  gotoCommand->add_option("--mount", gotoOptions.indiMount,
                          "The mount's INDI device name (else corvex.conf's indi.mount)");
  gotoCommand->add_flag("!--no-wait", gotoOptions.wait,
                        "An INDI mount: return once the go-to is sent, without following it");
  cli::AddCameraSourceOptions(*gotoCommand, source);

  std::string infoFile;
  CLI::App* info = app.add_subcommand("info", "Show what an image file holds");
  info->add_option("FILE", infoFile, "FITS or native raw image file")->required();

  std::string convertIn;
  std::string convertOut;
  bool toUnsigned = false;
  bool toSigned = false;
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert an image file; OUT's name chooses the format, as for snap");
  convert->add_option("IN", convertIn, "Image file to read")->required();
  convert->add_option("OUT", convertOut, "File to write")->required();
  CLI::Option* unsignedFlag =
      convert->add_flag("--unsigned", toUnsigned, "Write FITS samples unsigned (BZERO 0)");
  convert->add_flag("--signed", toSigned, "Write FITS samples offset by 32768 (BZERO 32768)")
      ->excludes(unsignedFlag);

  std::string processIn;
  std::string processOut;
  std::vector<std::string> processOps;
  CLI::App* process = app.add_subcommand("process", "Process an image file and save the result");
  process->add_option("IN", processIn, "Image file to read")->required();
  process->add_option("-o,--output", processOut, "File to write, named as for snap")->required();
  process->add_option("--op", processOps, "An operation; repeat for more")->required();
  process->footer(cli::ProcessingStepHelp());

  std::string exportIn;
  cli::ExportOptions exportOptions;
  CLI::App* exportCommand = app.add_subcommand(
      "export", "Export an image as standard FITS, as TIFF, or as the display bitmap");
  exportCommand->add_option("IN", exportIn, "Image file to read")->required();
  CLI::Option* tiffOption = exportCommand->add_option("--tiff", exportOptions.tiff,
                                                      "TIFF file to write (510 x 372, .tif)");
  CLI::Option* bmpOption = exportCommand->add_option(
      "--bmp", exportOptions.bmp, "BMP file to write: the display image as the window shows it");
  tiffOption->excludes(bmpOption);
  CLI::Option* fitsOption = exportCommand->add_option(
      "--fits", exportOptions.fits,
      "Standard FITS file to write (.fits, .fit or .fts): 510 x 290, or an RGB cube");
  fitsOption->excludes(tiffOption)->excludes(bmpOption);
  exportCommand
      ->add_option("--image-type", exportOptions.imageType,
                   "IMAGETYP of the standard FITS file: light, dark or flat")
      ->check(CLI::IsMember({"light", "dark", "flat"}, CLI::ignore_case))
      ->needs(fitsOption)
      ->capture_default_str();
  exportCommand->add_flag("--qz", exportOptions.qz, "Aspect-corrected QZ geometry (373 rows)");
  exportCommand->add_flag("--auto-contrast", exportOptions.autoContrast,
                          "Auto contrast stretch from the sky level");
  cli::AddRealOption(*exportCommand, "--display-stretch", exportOptions.displayStretch, 1.0, 50.0,
                     "Display stretch of a mono image with this power");
  cli::AddWholeOption(*exportCommand, "--saturation", exportOptions.saturation, 1, 9,
                      "Colour saturation 1-9");

  bool writeDefaults = false;
  CLI::App* settings = app.add_subcommand("settings", "Show every setting and its value");
  CLI::Option* defaultsFlag = settings->add_flag("--write-defaults", writeDefaults,
                                                 "Write a settings file holding the defaults");
  std::vector<std::string> settingsToSet;
  settings
      ->add_option("--set", settingsToSet,
                   "NAME=VALUE: change a setting (as the listing names it), with the defaults "
                   "dialog's checks; repeat for more, all or none are written")
      ->excludes(defaultsFlag);

  for (CLI::App* command : {info, settings, captureCommand, focusCommand, train, guideCommand}) {
    command->add_flag("--json", json, kJsonHelp);
  }

  // Every command's help ends with the exit codes, as the tool's own help does; each
  // command can be quiet or verbose.
  bool quiet = false;
  bool verbose = false;
  for (CLI::App* command : app.get_subcommands({})) {
    CLI::Option* quietFlag = command->add_flag(
        "-q,--quiet", quiet, "No progress and no notices; results, warnings and errors only");
    command
        ->add_flag("--verbose", verbose,
                   "Progress in steps even when not on a terminal, "
                   "and each guiding error")
        ->excludes(quietFlag);
    const std::string footer = command->get_footer();
    command->footer(footer.empty() ? kExitCodeHelp : footer + "\n\n" + kExitCodeHelp);
  }

  // Everything the command line alone can tell is checked here, before any work: CLI11's own
  // errors and the checks that need two options exit with the usage code.
  std::vector<cli::ProcessingStep> steps;
  try {
    app.parse(argc, argv);
    if (*train || *guideCommand) {
      guide.guider = guideCamera == "guider";
      std::string error;
      const auto exposure = cli::ParseExposure(
          guideExposure, guide.guider ? cli::ExposureKind::kGuider : cli::ExposureKind::kSelfGuide,
          error);
      if (!exposure) Refuse("--exposure", error);
      guide.exposure = *exposure;
      if (!guideStar.empty()) {
        const cli::WholeRange columns = guide.guider ? kGuiderColumns : kMainColumns;
        guide.star = cli::ParsePosition(guideStar, columns, kRows);
        if (!guide.star) {
          Refuse("--star", "\"" + guideStar + "\" is not X,Y with X from 0 to " +
                               std::to_string(columns.high) + " and Y from 0 to " +
                               std::to_string(kRows.high));
        }
      }
      if (!trainingSeconds.empty()) guide.trainingSeconds = std::stoi(trainingSeconds);
    }
    if (*gotoCommand) {
      if (!gotoOptions.ra.empty()) CheckAngle("--ra", gotoOptions.ra);
      if (!gotoOptions.dec.empty()) CheckAngle("--dec", gotoOptions.dec);
      if (!gotoOptions.messier && !gotoOptions.cngc && gotoOptions.planet.empty() &&
          gotoOptions.ra.empty()) {
        throw CLI::ValidationError("goto needs --messier, --cngc, --planet or --ra with --dec");
      }
    }
    if (*exportCommand && exportOptions.tiff.empty() && exportOptions.bmp.empty() &&
        exportOptions.fits.empty()) {
      throw CLI::ValidationError("export needs --fits OUT, --tiff OUT or --bmp OUT");
    }
    if (*process) {
      for (const std::string& op : processOps) {
        std::string error;
        auto step = cli::ParseProcessingStep(op, error);
        if (!step) Refuse("--op", error);
        steps.push_back(std::move(*step));
      }
    }
  } catch (const CLI::ParseError& e) {
    // CLI11 has its own numbers for its errors; a script needs only "the command line".
    return app.exit(e) == 0 ? cli::kExitOk : cli::kExitUsage;
  }

  // Under --json stdout carries the command's report alone, written when the command ends.
  cli::JsonReport& report = cli::JsonReport::Get();
  if (json) {
    if (!report.Begin()) {
      std::fprintf(stderr, "corvex-cli: cannot keep stdout for the JSON report\n");
      return cli::kExitFailed;
    }
    report.fields().Text("command", app.get_subcommands().front()->get_name());
  }
  const auto run = [&]() -> int {
    // The files a command will write are checked before it starts, so that an exposure is never
    // taken for an output that cannot be kept.
    std::optional<cli::ImageFormat> outputFormat;
    if (*snap && !cli::CheckImageOutput(snapOut, outputFormat)) return cli::kExitUsage;
    if (*guiderSnap && !cli::CheckOutput(guiderOut, {".pgm"}, "PGM")) return cli::kExitUsage;
    if (*convert && !cli::CheckImageOutput(convertOut, outputFormat)) return cli::kExitUsage;
    if (*process && !cli::CheckImageOutput(processOut, outputFormat)) return cli::kExitUsage;
    if (*exportCommand && !exportOptions.tiff.empty() &&
        !cli::CheckOutput(exportOptions.tiff, {".tif", ".tiff"}, "TIFF")) {
      return cli::kExitUsage;
    }
    if (*exportCommand && !exportOptions.bmp.empty() &&
        !cli::CheckOutput(exportOptions.bmp, {".bmp"}, "BMP")) {
      return cli::kExitUsage;
    }
    if (*exportCommand && !exportOptions.fits.empty() &&
        !cli::CheckOutput(exportOptions.fits, {".fits", ".fit", ".fts"}, "standard FITS")) {
      return cli::kExitUsage;
    }

    corvex::TerminalHost host;
    host.SetVerbosity(quiet     ? corvex::TerminalHost::Verbosity::kQuiet
                      : verbose ? corvex::TerminalHost::Verbosity::kVerbose
                                : corvex::TerminalHost::Verbosity::kNormal);
    // Guiding moves the telescope every few seconds: no bell unless asked for.
    if (*train || *guideCommand) host.SetBeeps(guide.beep);
    guide.verbose = verbose;
    corvex::SteadyClock steadyClock;
    corvex::VirtualClock simulatedClock;
    corvex::Clock& clock = virtualClock ? static_cast<corvex::Clock&>(simulatedClock) : steadyClock;
    simulatedClock.SetCalendarOrigin(steadyClock.CalendarSeconds());
    Corvex corvex(host, clock, corvex::Paths::HomeFromEnvironment());
    corvex.makeMount = corvex::MakeConfiguredIndiMount;
    corvex::FillStartupRamps(corvex.store);

    std::optional<cli::CameraSource> camera;
    if (*discover || *snap || *guiderSnap || *captureCommand || *focusCommand || *train ||
        *guideCommand || *gotoCommand) {
      std::string error;
      camera = cli::MakeCameraSource(source, clock, error);
      if (!camera) {
        std::fprintf(stderr, "corvex-cli: %s\n", TerminalText(error).c_str());
        return cli::kExitUsage;
      }
      corvex.devices = std::move(camera->devices);
    }
    if (*discover) return RunDiscover(corvex, anyProductId);
    if (camera) {
      const cli::CameraJob job{corvex, host, *camera->faults};
      if (*snap) return cli::RunSnap(job, snapExposure, snapOut, *outputFormat);
      if (*guiderSnap) {
        guider.hotPixelFilter = !noHotPixelFilter;
        return cli::RunGuiderSnap(job, guider, guiderOut);
      }
      if (*captureCommand) {
        // On the simulator the dithers follow its seed, so that a run can be repeated.
        if (camera->observatory) capture.ditherSeed = camera->observatory->config().seed;
        return cli::RunCaptureJob(job, capture);
      }
      if (*focusCommand) return cli::RunFocusJob(job, focus);
    }
    if (*train) return cli::RunTrainJob(corvex, guide);
    if (*guideCommand) return cli::RunGuideJob(corvex, guide, camera->observatory);
    if (*gotoCommand) return cli::RunGoToJob(corvex, gotoOptions);
    if (*info) {
      const int code = cli::RunInfo(corvex, infoFile);
      if (code == cli::kExitOk) cli::ReportImageFile(corvex, infoFile);
      return code;
    }
    if (*process) return cli::RunProcess(corvex, processIn, processOut, *outputFormat, steps);
    if (*convert) {
      const auto encoding = toUnsigned ? cli::FitsEncoding::kUnsigned
                            : toSigned ? cli::FitsEncoding::kSigned
                                       : cli::FitsEncoding::kAsRead;
      return cli::RunConvert(corvex, convertIn, convertOut, *outputFormat, encoding);
    }
    if (*exportCommand) return cli::RunExport(corvex, exportIn, exportOptions);
    if (*settings) {
      const int code = settingsToSet.empty() ? cli::RunSettings(corvex, writeDefaults)
                                             : cli::RunSettingsSet(corvex, settingsToSet);
      cli::ReportSettings(corvex);
      return code;
    }
    return cli::kExitOk;
  };
  return report.Finish(run());
}
