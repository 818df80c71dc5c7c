// corvex-cli: the headless tool. Parses the command line, wires the context, runs one job.
#include <CLI/CLI.hpp>

#include <cstdio>

#include "camera/camera_link.h"
#include "camera_source.h"
#include "capture_jobs.h"
#include "corvex.h"
#include "file_commands.h"
#include "guide_jobs.h"
#include "platform/clock.h"
#include "platform/terminal_host.h"
#include "process_job.h"
#include "state/image_store.h"

namespace {

using corvex::Corvex;

void PrintCamera(const Corvex& corvex) {
  const corvex::CameraLink& link = corvex.camera;
  std::printf("Camera found\n");
  std::printf("  path:         %s\n", link.devicePath.c_str());
  std::printf("  vendor id:    %s\n", link.vendorIdText.c_str());
  std::printf("  product id:   %s\n", link.productIdText.c_str());
  std::printf("  manufacturer: %s\n", link.description.manufacturer.c_str());
  std::printf("  product:      %s\n", link.description.product.c_str());
}

int RunDiscover(Corvex& corvex, bool anyProductId) {
  corvex.state.settings.acceptAnyProductId = anyProductId;
  corvex::DiscoverCamera(corvex.camera, *corvex.devices, corvex.state);
  if (!corvex.state.cameraFound) return 1;
  PrintCamera(corvex);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Corvex: control a one-shot-colour CCD camera, process and guide, headless."};
  app.set_version_flag("--version", std::string("corvex-cli ") + CORVEX_VERSION);
  app.require_subcommand(1);

  corvex::cli::CameraSourceOptions source;

  bool anyProductId = false;
  CLI::App* discover = app.add_subcommand("discover", "Find the camera on USB and show it");
  discover->add_flag("--any-pid", anyProductId, "Open a camera whatever its product id");
  corvex::cli::AddCameraSourceOptions(*discover, source);

  std::string snapExposure = "1s";
  std::string snapOut = "snap.fit";
  CLI::App* snap = app.add_subcommand("snap", "Take one frame and save it (FITS or native raw)");
  snap->add_option("--exposure", snapExposure,
                   "Length: a number and q (1/1000 s), h (1/100 s), t (1/10 s), s or m")
      ->capture_default_str();
  snap->add_option("-o,--output", snapOut, "File to write; .fit/.fits is FITS, else native raw")
      ->capture_default_str();
  corvex::cli::AddCameraSourceOptions(*snap, source);

  std::string guiderExposure = "1s";
  std::string guiderOut;
  corvex::cli::GuiderSnapOptions guider;
  bool noHotPixelFilter = false;
  CLI::App* guiderSnap =
      app.add_subcommand("guider-snap", "Take one guider camera frame, saved as a 16-bit PGM");
  guiderSnap
      ->add_option("--exposure", guiderExposure,
                   "Length: a number and h (1/100 s), t (1/10 s) or s")
      ->capture_default_str();
  guiderSnap->add_option("--dark", guider.dark, "A 500 x 290 PGM dark frame to subtract");
  guiderSnap->add_flag("--no-hot-pixel-filter", noHotPixelFilter,
                       "Keep hot pixels (no 3 x 3 median clean-up)");
  guiderSnap->add_option("--gain", guider.gain, "5 = x8, 6 = x4, 7 = x2, 8 = none")
      ->check(CLI::Range(5, 8))
      ->capture_default_str();
  guiderSnap->add_option("-o,--output", guiderOut, "PGM file to write")->required();
  corvex::cli::AddCameraSourceOptions(*guiderSnap, source);

  corvex::cli::CaptureOptions capture;
  std::string captureExposure = "1s";
  std::string captureGuideStar;
  bool virtualClock = false;
  CLI::App* captureCommand = app.add_subcommand(
      "capture", "A capture run, as the camera panel's \"Take Photo\" starts it");
  captureCommand->add_option("--exposure", captureExposure, "Length, as for snap")
      ->capture_default_str();
  captureCommand->add_option("--count", capture.count, "Exposures in the series")
      ->check(CLI::Range(1, 999));
  captureCommand->add_flag("--continuous", capture.continuous,
                           "Keep exposing (the count, if above 1, ends it) until Ctrl-C");
  captureCommand->add_flag("--average", capture.average, "Average the series instead of summing");
  captureCommand->add_flag("--alternative-align", capture.alternativeAlign,
                           "Align the series by region profiles, not by the guide star");
  captureCommand->add_option("--guide-star", captureGuideStar, "X,Y of the star to align on");
  captureCommand->add_flag("--start-delay", capture.startDelay, "Count down 10 seconds first");
  captureCommand->add_option("--pause", capture.pauseMinutes, "Minutes between exposures")
      ->check(CLI::Range(0, 999));
  captureCommand->add_flag("--dark-subtract", capture.darkSubtract, "Subtract the dark frame");
  captureCommand->add_option("--dark", capture.dark, "The dark frame file (295800-byte raw)");
  captureCommand->add_flag("--colour", capture.colour, "Synthesise colour after each frame");
  captureCommand->add_flag("--save", capture.save, "Quick-save each frame as IMG<n>.FIT");
  captureCommand->add_flag("--beep", capture.beep, "Beep when each exposure ends");
  captureCommand->add_flag("--virtual-clock", virtualClock,
                           "Run on simulated time (with --simulate: a long run takes no time)");
  corvex::cli::AddCameraSourceOptions(*captureCommand, source);

  corvex::cli::FocusOptions focus;
  std::string focusExposure = "5t";
  std::string focusWindow;
  CLI::App* focusCommand = app.add_subcommand("focus", "Focus mode: frames of the focus window");
  focusCommand->add_option("--exposure", focusExposure, "Length (q, h, t or s)")
      ->capture_default_str();
  focusCommand->add_option("--frames", focus.frames, "How many frames")
      ->check(CLI::Range(1, 100000))
      ->capture_default_str();
  focusCommand->add_flag("--auto-exposure", focus.autoExposure,
                         "Adjust the exposure from each frame's peak");
  focusCommand->add_option("--window", focusWindow, "X,Y of the 128 x 128 focus window");
  focusCommand->add_flag("--virtual-clock", virtualClock, "Run on simulated time");
  corvex::cli::AddCameraSourceOptions(*focusCommand, source);

  corvex::cli::GuideOptions guide;
  std::string guideCamera = "main";
  std::string guideExposure = "1s";
  std::string guideStar;
  CLI::App* train = app.add_subcommand(
      "train", "Calibrate guiding: move the telescope in a fixed pattern and follow the star");
  CLI::App* guideCommand = app.add_subcommand(
      "guide", "Guide the telescope on a star for a number of minutes");
  for (CLI::App* command : {train, guideCommand}) {
    command->add_option("--camera", guideCamera, "main (self-guiding) or guider")
        ->check(CLI::IsMember({"main", "guider"}))
        ->capture_default_str();
    command->add_option("--exposure", guideExposure,
                        "Guide frame length: a number and q, h, t or s")
        ->capture_default_str();
    command->add_option("--star", guideStar, "X,Y of the guide star (else the brightest)");
    command->add_option("--method", guide.method, "lx200 or relays (else the settings file's)")
        ->check(CLI::IsMember({"lx200", "relays"}));
    command->add_option("--training-seconds", guide.trainingSeconds,
                        "Training move time: 1, 2, 4 or 8 s")
        ->check(CLI::IsMember({1, 2, 4, 8}));
    command->add_flag("--virtual-clock", virtualClock, "Run on simulated time");
    corvex::cli::AddCameraSourceOptions(*command, source);
  }
  guideCommand->add_flag("--train", guide.train, "Calibrate first");
  guideCommand->add_option("--minutes", guide.minutes, "How long to guide")
      ->check(CLI::Range(0.1, 1440.0))
      ->capture_default_str();
  guideCommand->add_option("--log", guide.log, "CSV file with one row per correction");

  corvex::cli::GoToOptions gotoOptions;
  CLI::App* gotoCommand =
      app.add_subcommand("goto", "Point an LX200 telescope at an object or coordinates");
  auto* messier = gotoCommand->add_option("--messier", gotoOptions.messier, "Messier number");
  auto* cngc = gotoCommand->add_option("--cngc", gotoOptions.cngc, "CNGC number");
  auto* planet = gotoCommand->add_option("--planet", gotoOptions.planet, "Mercury ... Pluto");
  auto* ra = gotoCommand->add_option("--ra", gotoOptions.ra, "Right ascension H:M");
  auto* dec = gotoCommand->add_option("--dec", gotoOptions.dec, "Declination D:M (signed)");
  ra->needs(dec);
  dec->needs(ra);
  planet->excludes(messier)->excludes(cngc)->excludes(ra);
  ra->excludes(messier)->excludes(cngc);
  corvex::cli::AddCameraSourceOptions(*gotoCommand, source);

  std::string infoFile;
  CLI::App* info = app.add_subcommand("info", "Show what an image file holds");
  info->add_option("FILE", infoFile, "FITS or native raw image file")->required();

  std::string convertIn;
  std::string convertOut;
  bool toUnsigned = false;
  bool toSigned = false;
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert an image file; OUT ending in .fit or .fits is FITS, else native raw");
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
  process->add_option("-o,--output", processOut, "File to write; .fit/.fits is FITS, else raw")
      ->required();
  process->add_option("--op", processOps, "An operation; repeat for more")->required();
  process->footer(corvex::cli::ProcessingStepHelp());

  std::string exportIn;
  corvex::cli::ExportOptions exportOptions;
  CLI::App* exportCommand =
      app.add_subcommand("export", "Export an image as TIFF, or as the display bitmap");
  exportCommand->add_option("IN", exportIn, "Image file to read")->required();
  CLI::Option* tiffOption =
      exportCommand->add_option("--tiff", exportOptions.tiff, "TIFF file to write (510 x 372)");
  CLI::Option* bmpOption = exportCommand->add_option(
      "--bmp", exportOptions.bmp, "BMP file to write: the display image as the window shows it");
  tiffOption->excludes(bmpOption);
  exportCommand->add_flag("--qz", exportOptions.qz, "Aspect-corrected QZ geometry (373 rows)");
  exportCommand->add_flag("--auto-contrast", exportOptions.autoContrast,
                          "Auto contrast stretch from the sky level");
  exportCommand
      ->add_option("--display-stretch", exportOptions.displayStretch,
                   "Display stretch of a mono image with this power")
      ->check(CLI::Range(1.0, 50.0));
  exportCommand->add_option("--saturation", exportOptions.saturation, "Colour saturation 1-9")
      ->check(CLI::Range(1, 9));

  bool writeDefaults = false;
  CLI::App* settings = app.add_subcommand("settings", "Show every setting and its value");
  settings->add_flag("--write-defaults", writeDefaults,
                     "Write a settings file holding the defaults");

  CLI11_PARSE(app, argc, argv);

  corvex::TerminalHost host;
  corvex::SteadyClock steadyClock;
  corvex::VirtualClock simulatedClock;
  corvex::Clock& clock = virtualClock ? static_cast<corvex::Clock&>(simulatedClock) : steadyClock;
  simulatedClock.SetCalendarOrigin(steadyClock.CalendarSeconds());
  Corvex corvex(host, clock, corvex::Paths::HomeFromEnvironment());
  corvex::FillStartupRamps(corvex.store);

  std::shared_ptr<corvex::sim::SimulatedObservatory> observatory;
  if (*discover || *snap || *guiderSnap || *captureCommand || *focusCommand || *train ||
      *guideCommand || *gotoCommand) {
    corvex.devices = corvex::cli::MakeCameraSource(source, clock, &observatory);
    if (!corvex.devices) return 2;
  }
  if (*discover) return RunDiscover(corvex, anyProductId);
  if (*snap) {
    const auto exposure = corvex::cli::ParseExposure(snapExposure, "qhtsm");
    if (!exposure) {
      std::fprintf(stderr, "corvex-cli: bad exposure \"%s\" (for example 5s, 5t, 250q, 2m)\n",
                   snapExposure.c_str());
      return 2;
    }
    return corvex::cli::RunSnap(corvex, *exposure, snapOut);
  }
  if (*guiderSnap) {
    const auto exposure = corvex::cli::ParseExposure(guiderExposure, "hts");
    if (!exposure) {
      std::fprintf(stderr, "corvex-cli: bad guider exposure \"%s\" (for example 2s, 5t, 50h)\n",
                   guiderExposure.c_str());
      return 2;
    }
    guider.exposure = *exposure;
    guider.hotPixelFilter = !noHotPixelFilter;
    return corvex::cli::RunGuiderSnap(corvex, guider, guiderOut);
  }
  const auto position = [](const std::string& text) -> std::optional<std::pair<int, int>> {
    int x = 0, y = 0;
    char comma = 0;
    if (std::sscanf(text.c_str(), "%d%c%d", &x, &comma, &y) != 3 || comma != ',')
      return std::nullopt;
    return std::make_pair(x, y);
  };
  if (*captureCommand) {
    const auto exposure = corvex::cli::ParseExposure(captureExposure, "qhtsm");
    if (!exposure) {
      std::fprintf(stderr, "corvex-cli: bad exposure \"%s\"\n", captureExposure.c_str());
      return 2;
    }
    capture.exposure = *exposure;
    if (!captureGuideStar.empty()) {
      capture.guideStar = position(captureGuideStar);
      if (!capture.guideStar) {
        std::fprintf(stderr, "corvex-cli: --guide-star needs X,Y\n");
        return 2;
      }
    }
    return corvex::cli::RunCaptureJob(corvex, capture);
  }
  if (*focusCommand) {
    const auto exposure = corvex::cli::ParseExposure(focusExposure, "qhts");
    if (!exposure || exposure->value >= 100) {
      std::fprintf(stderr, "corvex-cli: bad focus exposure \"%s\" (below 100, q h t or s)\n",
                   focusExposure.c_str());
      return 2;
    }
    focus.exposure = *exposure;
    if (!focusWindow.empty()) {
      focus.window = position(focusWindow);
      if (!focus.window || focus.window->first < 0 || focus.window->first > 372 ||
          focus.window->second < 0 || focus.window->second > 162) {
        std::fprintf(stderr, "corvex-cli: --window needs X,Y with X 0-372 and Y 0-162\n");
        return 2;
      }
    }
    return corvex::cli::RunFocusJob(corvex, focus);
  }
  if (*train || *guideCommand) {
    guide.guider = guideCamera == "guider";
    const auto exposure =
        corvex::cli::ParseExposure(guideExposure, guide.guider ? "hts" : "qhts");
    if (!exposure) {
      std::fprintf(stderr, "corvex-cli: bad guide exposure \"%s\"\n", guideExposure.c_str());
      return 2;
    }
    guide.exposure = *exposure;
    if (!guideStar.empty()) {
      guide.star = position(guideStar);
      if (!guide.star) {
        std::fprintf(stderr, "corvex-cli: --star needs X,Y\n");
        return 2;
      }
    }
    return *train ? corvex::cli::RunTrainJob(corvex, guide)
                  : corvex::cli::RunGuideJob(corvex, guide, observatory);
  }
  if (*gotoCommand) {
    if (!gotoOptions.messier && !gotoOptions.cngc && gotoOptions.planet.empty() &&
        gotoOptions.ra.empty()) {
      std::fprintf(stderr, "corvex-cli: goto needs --messier, --cngc, --planet or --ra/--dec\n");
      return 2;
    }
    return corvex::cli::RunGoToJob(corvex, gotoOptions);
  }
  if (*info) return corvex::cli::RunInfo(corvex, infoFile);
  if (*process) {
    std::vector<corvex::cli::ProcessingStep> steps;
    for (const std::string& op : processOps) {
      std::string error;
      auto step = corvex::cli::ParseProcessingStep(op, error);
      if (!step) {
        std::fprintf(stderr, "corvex-cli: %s\n", error.c_str());
        return 2;
      }
      steps.push_back(std::move(*step));
    }
    return corvex::cli::RunProcess(corvex, processIn, processOut, steps);
  }
  if (*convert) {
    const auto encoding = toUnsigned ? corvex::cli::FitsEncoding::kUnsigned
                          : toSigned ? corvex::cli::FitsEncoding::kSigned
                                     : corvex::cli::FitsEncoding::kAsRead;
    return corvex::cli::RunConvert(corvex, convertIn, convertOut, encoding);
  }
  if (*exportCommand) {
    if (exportOptions.tiff.empty() && exportOptions.bmp.empty()) {
      std::fprintf(stderr, "corvex-cli: export needs --tiff OUT or --bmp OUT\n");
      return 2;
    }
    return corvex::cli::RunExport(corvex, exportIn, exportOptions);
  }
  if (*settings) return corvex::cli::RunSettings(corvex, writeDefaults);
  return 0;
}
