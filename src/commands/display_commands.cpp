// The display image: after every change the current image becomes the bitmap the window
// shows, kept in memory as the bytes of its BMP file; the display toggles that rebuild it;
// the raw readout preview.
#include "commands/display_commands.h"

#include <algorithm>
#include <vector>

#include "corvex.h"
#include "processing/contrast_stretch.h"
#include "processing/display_image.h"
#include "processing/kernels/colour_display.h"
#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr int kFocusSide = 128;
constexpr int kPreviewWidth = 500;

constexpr int kBmpInfoAndPaletteBytes = 54 + 1024;

// An 8-bit BMP with palette from display rows given top first (the file holds them bottom
// first), written straight into `out` without a copy of the pixels in between.
void EncodeMonoBmp(const std::uint8_t* rows, int width, int height, const Palette& palette,
                   std::vector<std::uint8_t>& out) {
  const std::vector<std::uint8_t> header = BmpHeader(width, height, 8);
  out.assign(header.begin(), header.end());  // keeps the buffer of the last rebuild
  out.insert(out.end(), palette.begin(), palette.end());
  out.resize(kBmpInfoAndPaletteBytes + static_cast<std::size_t>(width) * height);
  std::uint8_t* pixels = out.data() + kBmpInfoAndPaletteBytes;
  for (int row = 0; row < height; ++row) {
    std::copy_n(rows + row * width, width, pixels + (height - 1 - row) * width);
  }
}

// The 8-bit display image from the high bytes of the current image.
void BuildMonoBytes(Corvex& corvex) {
  const ImageBuffer& image = corvex.store.currentImage;
  DisplayBuffers& display = corvex.display;
  const ProgramState& state = corvex.state;
  if (state.focusFrameShown) {
    for (int i = 0; i < kFocusWindowValues; ++i) display.mono[i] = image[i] >> 8;
    display.monoRows = kFocusSide;
    return;
  }
  std::vector<std::uint8_t> high(kImageValues);
  for (int i = 0; i < kImageValues; ++i) high[i] = image[i] >> 8;
  if (state.qzGeometry && !state.colourConverted) {
    ResampleRows(high.data(), kImageRows, kDisplayWidth, display.mono.data(), kQzDisplayRows,
                 kQzDisplayFactor);
    display.monoRows = kQzDisplayRows;
  } else {
    std::copy(high.begin(), high.end(), display.mono.begin());
    display.monoRows = kImageRows;
  }
  for (int row = 0; row < display.monoRows; ++row) {
    display.mono[row * kDisplayWidth + 510] = display.mono[row * kDisplayWidth + 511] = 0;
  }
}

void BuildMono(Corvex& corvex) {
  DisplayBuffers& display = corvex.display;
  ProgramState& state = corvex.state;
  const bool focus = state.focusFrameShown;
  const int width = focus ? kFocusSide : kDisplayWidth;
  const int height = display.monoRows;
  const std::span<std::uint8_t> bytes(display.mono.data(),
                                      focus ? kFocusSide * kFocusSide : kDisplayWidth * height);
  if (state.displayStretchActive || focus) {
    ApplyDisplayStretch(bytes, focus ? state.guideWindowGain : state.displayStretchPower);
  }
  if (focus && state.autoExposureMode) AdjustFocusExposure(state);
  const Palette palette = GreyPalette(state.autoContrast, state.backgroundLevel);
  EncodeMonoBmp(bytes.data(), width, height, palette,
                focus ? display.focusBitmap : display.mainBitmap);
  display.shown = focus ? ShownBitmap::kFocusFrame : ShownBitmap::kMain;
}

void BuildColour(Corvex& corvex) {
  DisplayBuffers& display = corvex.display;
  const ProgramState& state = corvex.state;
  const ImageStore& store = corvex.store;
  corvex.host.OpenProgress("BUILDING IMAGE");
  const kernels::BrightnessTable brightness =
      ColourBrightness(state.autoContrast, state.backgroundLevel);
  for (int row = 0; row < kImageRows; ++row) {
    corvex.host.SetProgress(std::max(row - 35, 0));
    std::uint8_t* out = display.colour.data() + (kImageRows - 1 - row) * kColourRowBytes;
    const int i = row * kImageStride;
    kernels::ColourDisplayRow(display.mono.data() + i, store.redPlane.data() + i,
                              store.greenPlane.data() + i, store.bluePlane.data() + i,
                              kDisplayWidth, brightness, state.settings.saturationFactor, out);
  }
  corvex.host.CloseProgress();
  const std::uint8_t* pixels = display.colour.data();
  int height = kImageRows;
  if (state.qzGeometry) {
    ResampleRows(display.colour.data(), kImageRows, kColourRowBytes, display.resampled.data(),
                 kQzDisplayRows, kQzDisplayFactor);
    pixels = display.resampled.data();
    height = kQzDisplayRows;
  }
  display.colourRows = height;
  EncodeBmp(kDisplayWidth, height, 24, nullptr,
            std::span(pixels, static_cast<std::size_t>(kColourRowBytes) * height),
            display.mainBitmap);
  display.shown = ShownBitmap::kMain;
}

}  // namespace

void RebuildDisplayImage(Corvex& corvex) {
  ProgramState& state = corvex.state;
  BuildMonoBytes(corvex);
  if (state.autoContrast) state.backgroundLevel = SkyBackgroundLevel(corvex.store.currentImage);
  if (state.colourConverted && !state.focusFrameShown) {
    BuildColour(corvex);
  } else {
    BuildMono(corvex);
  }
}

void ToggleAutoContrast(Corvex& corvex) {
  corvex.state.autoContrast = !corvex.state.autoContrast;
  RebuildDisplay(corvex);
}

void InstallDisplayRebuild(Corvex& corvex) {
  corvex.displayRebuild = [](Corvex& c) { RebuildDisplayImage(c); };
}

void BuildRawPreview(Corvex& corvex, std::span<const std::uint16_t> readout) {
  const ProgramState& state = corvex.state;
  Palette palette{};
  const int multiplier = 16 >> std::clamp(state.guideWindowGain - 12, 0, 4);
  for (int i = 0; i < 256; ++i) {
    int value = i;
    if (state.displayStretchActive) {
      value = std::min(multiplier * i, 255);
    } else if (state.autoContrast) {
      value = AutoContrast(i, state.backgroundLevel);
    }
    int red = value, green = value, blue = value;
    if (state.falseColourPreview) {
      const int e = state.autoContrast ? AutoContrast(i, state.backgroundLevel) : i;
      red = green = blue = e;
      if (e <= 240) {
        red = e;
        green = e * e / 256;
        blue = (255 - e) - (255 - e) * (255 - e) / 256;
      }
    }
    palette[4 * i] = static_cast<std::uint8_t>(blue);
    palette[4 * i + 1] = static_cast<std::uint8_t>(green);
    palette[4 * i + 2] = static_cast<std::uint8_t>(red);
  }
  std::vector<std::uint8_t> high(static_cast<std::size_t>(kPreviewWidth) * kImageRows, 0);
  for (std::size_t i = 0; i < high.size() && i < readout.size(); ++i) high[i] = readout[i] >> 8;
  EncodeMonoBmp(high.data(), kPreviewWidth, kImageRows, palette, corvex.display.previewBitmap);
}

void ToggleQzGeometry(Corvex& corvex) {
  ProgramState& state = corvex.state;
  state.qzGeometry = !state.qzGeometry;
  if (state.qzGeometry) state.fitToWindow = false;
  RebuildDisplay(corvex);
}

void ToggleFitToWindow(Corvex& corvex) {
  ProgramState& state = corvex.state;
  state.fitToWindow = !state.fitToWindow;
  if (state.fitToWindow && state.qzGeometry) {
    state.qzGeometry = false;
    RebuildDisplay(corvex);
  }
}

}  // namespace corvex
