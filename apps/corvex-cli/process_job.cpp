#include "process_job.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "commands/calibration_commands.h"
#include "commands/colour_commands.h"
#include "commands/contrast_commands.h"
#include "commands/file_commands.h"
#include "commands/filter_commands.h"
#include "corvex.h"
#include "exit_codes.h"
#include "file_jobs.h"
#include "files/image_label.h"
#include "files/image_loader.h"
#include "platform/terminal_host.h"
#include "processing/calibration.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "processing/contrast_stretch.h"
#include "processing/sensor_geometry.h"
#include "processing/spatial_filters.h"

namespace corvex::cli {

namespace {

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

std::optional<int> Whole(const std::string& text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A power such as 1.5 as whole tenths, when it has at most one decimal.
std::optional<int> Tenths(const std::string& text) {
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  const double tenths = value * 10;
  if (std::abs(tenths - std::round(tenths)) > 1e-9) return std::nullopt;
  return static_cast<int>(std::round(tenths));
}

struct Operation {
  const char* name;
  const char* usage;
  int parameters;  // how many ':'-separated parameters it takes
  // Checks the parameters and returns the step; sets `error` when they are out of range.
  std::function<std::function<bool(Corvex&)>(const std::vector<std::string>&, std::string&)> make;
  int optional = 0;  // how many of the last parameters may be left out
};

using Step = std::function<bool(Corvex&)>;

// A command that cannot fail (filters, stretches: at worst they leave the image as it was).
template <typename Command>
Step Always(Command command) {
  return [command](Corvex& corvex) {
    command(corvex);
    return true;
  };
}

// A colour command: it needs a colour converted image (else its own message, and the step
// fails); what it returns only says whether it changed anything.
template <typename Command>
Step OnColour(Command command) {
  return [command](Corvex& corvex) {
    const bool colour = corvex.state.colourConverted;
    command(corvex);
    return colour;
  };
}

// A calibration or merge file, checked when the command line is read.
bool UsableFile(const std::string& file, CalibrationUse use, std::string& error) {
  if (const auto problem = CalibrationFileProblem(file, use)) {
    error = file + " " + *problem;
    return false;
  }
  return true;
}

bool InRange(const std::optional<int>& value, int low, int high) {
  return value && *value >= low && *value <= high;
}

// "synth", "synth:settings" or "synth:antialias,weak,unsharp=3/2,...".
Step MakeSynthesis(const std::vector<std::string>& p, std::string& error) {
  if (!p.empty() && p[0] == "settings") {
    return
        [](Corvex& c) { return SynthesizeColourImage(c, [](ProgramSettings&) { return true; }); };
  }
  ProgramSettings chosen;  // only the synthesis options are taken from it
  chosen.antiAlias = chosen.lightPollutionCorrection = chosen.weakStretch = false;
  chosen.strongStretch = chosen.userStretch = chosen.removeBackground = false;
  chosen.highPassLowPower = chosen.unsharpMask = false;
  std::string list = p.empty() ? "" : p[0];
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    const std::string option = list.substr(start, comma - start);
    start = comma + 1;
    if (option == "antialias") {
      chosen.antiAlias = true;
    } else if (option == "lightpollution") {
      chosen.lightPollutionCorrection = true;
    } else if (option == "weak") {
      chosen.weakStretch = true;
    } else if (option == "strong") {
      chosen.strongStretch = true;
    } else if (option.rfind("user=", 0) == 0) {
      const auto power = Whole(option.substr(5));
      if (!InRange(power, 2, 29)) {
        error = "user=P needs P from 2 to 29";
        return {};
      }
      chosen.userStretch = true;
      chosen.userStretchValue = *power;
    } else if (option == "background") {
      chosen.removeBackground = true;
    } else if (option == "highpass") {
      chosen.highPassLowPower = true;
    } else if (option.rfind("unsharp=", 0) == 0) {
      const std::size_t slash = option.find('/');
      const auto diameter = Whole(option.substr(8, slash == std::string::npos ? slash : slash - 8));
      std::optional<int> power;
      if (slash != std::string::npos) power = Whole(option.substr(slash + 1));
      if (!InRange(diameter, 2, 6) || !InRange(power, 1, 6)) {
        error = "unsharp=D/P needs D from 2 to 6 and P from 1 to 6";
        return {};
      }
      chosen.unsharpMask = true;
      chosen.unsharpDiameter = *diameter;
      chosen.unsharpPower = *power;
    } else if (!option.empty()) {
      error = "unknown synthesis option \"" + option + "\"";
      return {};
    }
  }
  if (chosen.weakStretch + chosen.strongStretch + chosen.userStretch > 1) {
    error = "choose one of weak, strong and user=P";
    return {};
  }
  // The options are set as the dialog would set them, after synthesis reads the settings.
  return [chosen](Corvex& c) {
    return SynthesizeColourImage(c, [chosen](ProgramSettings& s) {
      s.antiAlias = chosen.antiAlias;
      s.lightPollutionCorrection = chosen.lightPollutionCorrection;
      s.weakStretch = chosen.weakStretch;
      s.strongStretch = chosen.strongStretch;
      s.userStretch = chosen.userStretch;
      if (chosen.userStretch) s.userStretchValue = chosen.userStretchValue;
      s.removeBackground = chosen.removeBackground;
      s.highPassLowPower = chosen.highPassLowPower;
      s.unsharpMask = chosen.unsharpMask;
      if (chosen.unsharpMask) {
        s.unsharpDiameter = chosen.unsharpDiameter;
        s.unsharpPower = chosen.unsharpPower;
      }
      return true;
    });
  };
}

std::optional<std::pair<int, int>> Position(const std::string& text) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  const auto x = Whole(text.substr(0, comma));
  const auto y = Whole(text.substr(comma + 1));
  if (!InRange(x, 0, 511) || !InRange(y, 0, 289)) return std::nullopt;
  return std::make_pair(*x, *y);
}

// The merge image comes from a file: it is opened as the Open command opens it, into a
// context of its own, and merged into the current image there.
Step MakeMerge(const std::vector<std::string>& p, std::string& error) {
  const auto base = Position(p[1]);
  const auto other = Position(p[2]);
  if (!base || !other || (p.size() > 3 && p[3] != "average")) {
    error = "merge:FILE:XO,YO:XM,YM[:average] needs positions inside the 512 x 290 image";
    return {};
  }
  if (!UsableFile(p[0], CalibrationUse::kMergeImage, error)) return {};
  const MergePositions at{base->first, base->second, other->first, other->second};
  return [file = p[0], at, average = p.size() > 3](Corvex& c) {
    if (!StartMerging(c)) return false;
    Corvex second(c.host, c.clock, c.paths.Home());
    second.state.mergingMode = true;
    second.state.colourConverted = c.state.colourConverted;
    if (LoadImageFile(second, file) != 0) {
      c.state.mergingMode = false;
      return false;
    }
    // The current image is the base; the file's image is merged into it.
    const bool colour = c.state.colourConverted;
    const MutablePlaneView basePlanes = MainPlanes(c.store);
    const MutablePlaneView mergePlanes = MainPlanes(second.store);
    MergePass(c.store.currentImage, second.store.currentImage, colour ? &basePlanes : nullptr,
              colour ? &mergePlanes : nullptr, at, average);
    c.state.mergingMode = false;
    RebuildDisplay(c);
    return true;
  };
}

const std::vector<Operation>& Operations() {
  static const std::vector<Operation> operations = {
      {"normal", "normal:B:W  black 0-254, white B+1 to 300", 2,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         const auto black = Whole(p[0]);
         const auto white = Whole(p[1]);
         if (!black || !white || *black < 0 || *black > 254 || *white <= *black || *white > 300) {
           error = "normal:B:W needs 0 <= B <= 254 and B < W <= 300";
           return {};
         }
         return Always([b = *black, w = *white](Corvex& c) { NormalStretch(c, b, w); });
       }},
      {"power", "power:P  0.1 to 3.0 in steps of 0.1", 1,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         const auto tenths = Tenths(p[0]);
         if (!tenths || *tenths < 1 || *tenths > 30) {
           error = "power:P needs P from 0.1 to 3.0 in steps of 0.1";
           return {};
         }
         return Always([t = *tenths](Corvex& c) { PowerStretch(c, t / 10.0); });
       }},
      {"sine", "sine", 0, [](auto&, auto&) { return Always([](Corvex& c) { SineStretch(c); }); }},
      {"remove-background", "remove-background  (uses the sky level of the image shown)", 0,
       [](auto&, auto&) { return Always([](Corvex& c) { RemoveBackground(c); }); }},
      {"nonlinear", "nonlinear:P  1-50", 1,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         const auto power = Whole(p[0]);
         if (!power || *power < 1 || *power > 50) {
           error = "nonlinear:P needs P from 1 to 50";
           return {};
         }
         return Always([n = *power](Corvex& c) { NonLinearStretch(c, n); });
       }},
      {"log", "log", 0, [](auto&, auto&) { return Always([](Corvex& c) { LogStretch(c); }); }},
      {"antilog", "antilog", 0,
       [](auto&, auto&) { return Always([](Corvex& c) { AntiLogStretch(c); }); }},
      {"invert", "invert", 0,
       [](auto&, auto&) { return Always([](Corvex& c) { InvertImage(c); }); }},
      {"lowpass", "lowpass", 0, [](auto&, auto&) { return Always(LowPassFilter); }},
      {"gaussian", "gaussian", 0, [](auto&, auto&) { return Always(GaussianFilter); }},
      {"highpass-low", "highpass-low", 0,
       [](auto&, auto&) { return Always([](Corvex& c) { HighPassLowPowerFilter(c); }); }},
      {"highpass-high", "highpass-high", 0,
       [](auto&, auto&) { return Always(HighPassHighPowerFilter); }},
      {"smoother-sharper", "smoother-sharper", 0,
       [](auto&, auto&) { return Always(SmootherSharperFilter); }},
      {"bas-relief", "bas-relief", 0, [](auto&, auto&) { return Always(BasReliefFilter); }},
      {"unsharp", "unsharp:R:P  radius 1-7, power 1-7", 2,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         const auto radius = Whole(p[0]);
         const auto power = Whole(p[1]);
         if (!radius || !power || *radius < 1 || *radius > 7 || *power < 1 || *power > 7) {
           error = "unsharp:R:P needs R and P from 1 to 7";
           return {};
         }
         return Always([r = *radius, k = *power](Corvex& c) { UnsharpMask(c, r, k); });
       }},
      {"median", "median:R:P  radius 1-3, power in tenths 1-10", 2,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         const auto radius = Whole(p[0]);
         const auto power = Whole(p[1]);
         if (!radius || !power || *radius < 1 || *radius > 3 || *power < 1 || *power > 10) {
           error = "median:R:P needs R from 1 to 3 and P (tenths) from 1 to 10";
           return {};
         }
         return Always([r = *radius, t = *power](Corvex& c) { MedianFilter(c, r, t); });
       }},
      {"gradient", "gradient", 0, [](auto&, auto&) { return Always(GradientFilter); }},
      {"mirror", "mirror", 0, [](auto&, auto&) { return Always(MirrorImage); }},
      {"undo", "undo  (Undo Last Filter)", 0, [](auto&, auto&) { return Always(UndoLastFilter); }},
      {"synth",
       "synth[:OPTIONS]  colour synthesis; OPTIONS: settings, or any of antialias, lightpollution,"
       " weak, strong, user=P, background, highpass, unsharp=D/P",
       1, MakeSynthesis, 1},
      {"antialias", "antialias", 0,
       [](auto&, auto&) { return OnColour([](Corvex& c) { AntiAliasFilter(c); }); }},
      {"lowpass-colour", "lowpass-colour", 0,
       [](auto&, auto&) { return OnColour([](Corvex& c) { LowPassColourFilter(c); }); }},
      {"balance", "balance:R:G:B[:S]  balance -10 to 127 each, saturation 1-9", 4,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         const auto r = Whole(p[0]);
         const auto g = Whole(p[1]);
         const auto b = Whole(p[2]);
         const std::optional<int> saturation = p.size() > 3 ? Whole(p[3]) : std::optional<int>(0);
         if (!InRange(r, -10, 127) || !InRange(g, -10, 127) || !InRange(b, -10, 127) ||
             !saturation || (p.size() > 3 && !InRange(saturation, 1, 9))) {
           error = "balance:R:G:B[:S] needs R, G, B from -10 to 127 and S from 1 to 9";
           return {};
         }
         return OnColour([r = *r, g = *g, b = *b, s = *saturation](Corvex& c) {
           ColourBalance(c, r, g, b, s == 0 ? c.state.settings.saturationFactor : s);
         });
       },
       1},
      {"chromatic", "chromatic:RH:RV:BH:BV  shifts -3 to 3", 4,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         std::optional<int> v[4];
         for (int i = 0; i < 4; ++i) {
           v[i] = Whole(p[i]);
           if (!InRange(v[i], -3, 3)) {
             error = "chromatic:RH:RV:BH:BV needs shifts from -3 to 3";
             return {};
           }
         }
         return OnColour([a = *v[0], b = *v[1], c2 = *v[2], d = *v[3]](Corvex& c) {
           ChromaticAdjustment(c, a, b, c2, d);
         });
       }},
      {"balance-histogram", "balance-histogram", 0,
       [](auto&, auto&) { return OnColour([](Corvex& c) { BalanceColourHistogram(c); }); }},
      {"dark", "dark:FILE  subtract a dark frame", 1,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         if (!UsableFile(p[0], CalibrationUse::kSecondImage, error)) return {};
         return [file = p[0]](Corvex& c) { return SubtractDarkFrameFile(c, file); };
       }},
      {"flat", "flat:FILE  apply a flat field", 1,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         if (!UsableFile(p[0], CalibrationUse::kSecondImage, error)) return {};
         return [file = p[0]](Corvex& c) { return ApplyFlatFieldFile(c, file); };
       }},
      {"merge", "merge:FILE:XO,YO:XM,YM[:average]  FILE's star at XM,YM onto this one's at XO,YO",
       4, MakeMerge, 1},
      {"label", "label:TEXT[:date]  burn TEXT (and the UT date and time) into rows 0-9", 2,
       [](const std::vector<std::string>& p, std::string& error) -> Step {
         if (p.size() > 1 && p[1] != "date") {
           error = "label:TEXT[:date]";
           return {};
         }
         return Always([text = p[0], dated = p.size() > 1](Corvex& c) {
           const std::string date = LabelDateText(c.clock.CalendarSeconds());
           DrawImageLabel(c.store.currentImage, LabelLine(text, dated ? &date : nullptr));
           RebuildDisplay(c);
         });
       },
       1},
      {"undo-colour", "undo-colour  (Undo Last Colour Filter)", 0,
       [](auto&, auto&) { return OnColour([](Corvex& c) { UndoLastColourFilter(c); }); }},
  };
  return operations;
}

}  // namespace

std::optional<ProcessingStep> ParseProcessingStep(const std::string& text, std::string& error) {
  const std::vector<std::string> parts = Split(text);
  for (const Operation& operation : Operations()) {
    if (parts[0] != operation.name) continue;
    const int given = static_cast<int>(parts.size()) - 1;
    if (given > operation.parameters || given < operation.parameters - operation.optional) {
      error = "\"" + text + "\": use " + operation.usage;
      return std::nullopt;
    }
    const std::vector<std::string> parameters(parts.begin() + 1, parts.end());
    Step run = operation.make(parameters, error);
    if (!run) {
      error = "\"" + text + "\": " + error;
      return std::nullopt;
    }
    return ProcessingStep{text, std::move(run)};
  }
  error = "unknown operation \"" + parts[0] + "\"";
  return std::nullopt;
}

std::string ProcessingStepHelp() {
  std::string help = "Operations, applied in order:";
  for (const Operation& operation : Operations()) help += std::string("\n  ") + operation.usage;
  return help;
}

int RunProcess(Corvex& corvex, const std::string& in, const std::string& out, ImageFormat format,
               const std::vector<ProcessingStep>& steps) {
  // The main window measures the sky level at every repaint, and "Remove Background" uses
  // that level: here every rebuild of the display stands for a repaint.
  corvex.displayRebuild = [](Corvex& c) {
    c.state.backgroundLevel = RefreshBackgroundLevel(c.store.currentImage);
  };
  if (!LoadImage(corvex, in)) return kExitFailed;
  for (const ProcessingStep& step : steps) {
    if (!step.run(corvex)) {
      std::fprintf(stderr, "corvex-cli: \"%s\" failed; %s was not written\n",
                   TerminalText(step.text).c_str(), TerminalText(out).c_str());
      return kExitFailed;
    }
  }
  if (!SaveImage(corvex, out, format)) return kExitFailed;
  PrintHistory(corvex);
  return kExitOk;
}

}  // namespace corvex::cli
