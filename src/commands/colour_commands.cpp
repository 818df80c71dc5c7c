// The Colour menu: colour synthesis of a raw frame with its optional steps, and the colour
// filters and adjustments that work on the three colour planes of a synthesised image.
#include "commands/colour_commands.h"

#include <algorithm>

#include "commands/contrast_commands.h"
#include "commands/filter_commands.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/settings_file.h"
#include "processing/colour_adjustments.h"
#include "processing/colour_synthesis.h"
#include "processing/contrast_stretch.h"
#include "processing/sensor_geometry.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kNotColourFilter = 7;
constexpr int kNotColourBalance = 25;
constexpr int kNotColourAdjustment = 26;
constexpr int kSynthesisRows = kImageRows - 1;  // row 289 is not computed

int StretchPower(const ProgramSettings& settings) {
  if (settings.weakStretch) return 2;
  if (settings.strongStretch) return 18;
  if (settings.userStretch) return settings.userStretchValue;
  return 0;
}

bool Refuse(Corvex& corvex, int message) {
  if (corvex.state.colourConverted) return false;
  ShowMessage(corvex.host, message);
  return true;
}

}  // namespace

void SaveColourUndo(Corvex& corvex) {
  CopyPlanes(MainPlanes(corvex.store), ViewOf(corvex.store.colourUndo));
}

bool SynthesizeColourImage(Corvex& corvex, const SynthesisDialog& dialog) {
  ProgramState& state = corvex.state;
  ImageStore& store = corvex.store;
  if (state.colourConverted) {
    ShowMessage(corvex.host, 22);
    return false;
  }
  if (ReadSettingsFile(corvex) != kSettingsOk) ShowMessage(corvex.host, 23);
  if (!state.autoSynthesis && dialog && !dialog(state.settings)) return false;
  if (WriteSettingsFile(corvex) != kSettingsOk) ShowMessage(corvex.host, 24);
  const ProgramSettings& options = state.settings;

  corvex.host.SetWaitCursor(true);
  corvex.host.OpenProgress("COLOUR CALCULATION IN PROGRESS");
  SubtractBlackLevel(store.currentImage, BlackLevel(store.currentImage));
  const bool labelled = HasLabelBand(store.currentImage);
  SynthesizeRows(store.currentImage, store.secondaryImage, MainPlanes(store), options.pixelOffset,
                 options.lineOffset, labelled,
                 [&corvex](int row) { corvex.host.SetProgress(row * 256 / kSynthesisRows); });
  corvex.host.CloseProgress();
  state.colourConverted = true;
  state.balanceRed = state.balanceGreen = state.balanceBlue = 0;
  state.redShiftHorizontal = state.redShiftVertical = 0;
  state.blueShiftHorizontal = state.blueShiftVertical = 0;
  if (options.lightPollutionCorrection) CorrectLightPollution(MainPlanes(store));
  CopyImage(store.secondaryImage, store.currentImage);

  if (const int power = StretchPower(options); power > 0) {
    state.backgroundLevel = SkyBackgroundLevel(store.currentImage);
    // Remove Background works only from level 3 on, and then its table acts twice. Below
    // that the table holds nothing of this image (zeros, or an earlier stretch), so it is
    // not applied at all, as the menu command does.
    if (options.removeBackground && RemoveBackground(corvex, false)) {
      ApplyStretchTable(corvex, false);
    }
    SynthesisNonLinearStretch(corvex, power);
  }
  if (options.highPassLowPower) HighPassLowPowerFilter(corvex, false);
  if (options.unsharpMask) {
    UnsharpMask(corvex, options.unsharpDiameter, options.unsharpPower, false);
  }
  SaveColourUndo(corvex);
  if (options.antiAlias) AntiAliasFilter(corvex, false);
  RebuildDisplay(corvex);
  corvex.host.SetWaitCursor(false);
  return true;
}

bool AntiAliasFilter(Corvex& corvex, bool refresh) {
  if (Refuse(corvex, kNotColourFilter)) return false;
  ImageStore& store = corvex.store;
  corvex.host.OpenProgress("ANTI-ALIAS PROGRESS");
  AntiAliasPass(MainPlanes(store), ViewOf(store.colourDetail), ViewOf(store.colourScratch),
                [&corvex](int position) { corvex.host.SetProgress(position); });
  corvex.host.CloseProgress();
  if (refresh) RebuildDisplay(corvex);
  return true;
}

bool LowPassColourFilter(Corvex& corvex) {
  if (Refuse(corvex, kNotColourFilter)) return false;
  SaveColourUndo(corvex);
  LowPassColourPass(MainPlanes(corvex.store), ViewOf(corvex.store.colourScratch));
  RebuildDisplay(corvex);
  return true;
}

bool ColourBalance(Corvex& corvex, int red, int green, int blue, int saturation) {
  if (Refuse(corvex, kNotColourBalance)) return false;
  ProgramSettings& settings = corvex.state.settings;
  const bool saturationChanged = saturation != settings.saturationFactor;
  if (red == 0 && green == 0 && blue == 0 && !saturationChanged) return false;
  if (saturationChanged) {
    settings.saturationFactor = saturation;
    WriteSettingsFile(corvex);
  }
  corvex.state.balanceRed = red;
  corvex.state.balanceGreen = green;
  corvex.state.balanceBlue = blue;
  corvex.host.OpenProgress("COLOUR BALANCE IN PROGRESS");
  SaveColourUndo(corvex);
  BalancePass(MainPlanes(corvex.store), red, green, blue,
              [&corvex](int row) { corvex.host.SetProgress(row * 256 / kImageRows); });
  corvex.host.CloseProgress();
  RebuildDisplay(corvex);
  return true;
}

bool ChromaticAdjustment(Corvex& corvex, int redH, int redV, int blueH, int blueV) {
  if (Refuse(corvex, kNotColourAdjustment)) return false;
  ImageStore& store = corvex.store;
  ProgramState& state = corvex.state;
  state.redShiftHorizontal = redH;
  state.redShiftVertical = redV;
  state.blueShiftHorizontal = blueH;
  state.blueShiftVertical = blueV;
  CopyImage(store.currentImage, store.secondaryImage);
  SaveColourUndo(corvex);
  ChromaticPass(MainPlanes(store), ViewOf(store.colourScratch), redH, redV, blueH, blueV,
                FirstUnprotectedRow(store.currentImage));
  RebuildDisplay(corvex);
  return true;
}

bool BalanceColourHistogram(Corvex& corvex) {
  if (Refuse(corvex, kNotColourAdjustment)) return false;
  ImageStore& store = corvex.store;
  CopyImage(store.currentImage, store.secondaryImage);
  SaveColourUndo(corvex);
  const ColourStartBins starts = ColourHistogramStarts(MainPlanes(store));
  const int top = std::max({starts.red, starts.green, starts.blue});
  const auto deficit = [top](int start) { return static_cast<int>((top - start) * 1.2f); };
  const int dR = deficit(starts.red), dG = deficit(starts.green), dB = deficit(starts.blue);
  std::uint8_t* plane = store.bluePlane.data();
  int d = dB;
  if (dG < dR && dB < dR) {
    plane = store.redPlane.data();
    d = dR;
  } else if (dR < dG && dB < dG) {
    plane = store.greenPlane.data();
    d = dG;
  }
  for (int i = 0; i < kImageValues; ++i) {
    if (plane[i] < 255 - d) plane[i] = static_cast<std::uint8_t>(plane[i] + d);
  }
  RebuildDisplay(corvex);
  return true;
}

bool UndoLastColourFilter(Corvex& corvex) {
  if (Refuse(corvex, kNotColourFilter)) return false;
  CopyPlanes(ViewOf(corvex.store.colourUndo), MainPlanes(corvex.store));
  RebuildDisplay(corvex);
  return true;
}

}  // namespace corvex
