// The display image: after every change the current image becomes the bitmap the window
// shows, written as a BMP file in the run's private directory; the display toggles that
// rebuild it; the raw readout preview.
#include "commands/display_commands.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "corvex.h"
#include "processing/contrast_stretch.h"
#include "processing/display_image.h"
#include "processing/sensor_geometry.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kFocusSide = 128;
constexpr int kPreviewWidth = 500;

// Copies display rows (top first) into BMP order (bottom first).
std::vector<std::uint8_t> BottomUp(const std::uint8_t* rows, int rowBytes, int height) {
  std::vector<std::uint8_t> out(static_cast<std::size_t>(rowBytes) * height);
  for (int row = 0; row < height; ++row) {
    std::copy_n(rows + row * rowBytes, rowBytes, out.data() + (height - 1 - row) * rowBytes);
  }
  return out;
}

int ShowBmpFailure(Corvex& corvex, int result) {
  if (result != 0) ShowMessage(corvex.host, 7 + result);  // 8, 9 or 10
  return result;
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

int WriteMono(Corvex& corvex, const std::filesystem::path& directory) {
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
  const std::vector<std::uint8_t> pixels = BottomUp(bytes.data(), width, height);
  const std::filesystem::path file = directory / (focus ? "corvexf.bmp" : "corvex.bmp");
  const int chunks = height == kImageRows || height == kQzDisplayRows ? 8 : 1;
  const int result = WriteBmpFile(file, width, height, 8, &palette, pixels, chunks);
  if (result == 0) display.shownFile = file;
  return result;
}

int WriteColour(Corvex& corvex, const std::filesystem::path& directory) {
  DisplayBuffers& display = corvex.display;
  const ProgramState& state = corvex.state;
  const ImageStore& store = corvex.store;
  corvex.host.OpenProgress("BUILDING IMAGE");
  for (int row = 0; row < kImageRows; ++row) {
    corvex.host.SetProgress(std::max(row - 35, 0));
    std::uint8_t* out = display.colour.data() + (kImageRows - 1 - row) * kColourRowBytes;
    for (int x = 0; x < kDisplayWidth; ++x) {
      const int i = row * kImageStride + x;
      const auto bgr =
          ColourPixel(display.mono[i], store.redPlane[i], store.greenPlane[i], store.bluePlane[i],
                      state.autoContrast, state.backgroundLevel, state.settings.saturationFactor);
      std::copy(bgr.begin(), bgr.end(), out + 3 * x);
    }
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
  const std::filesystem::path file = directory / "corvex.bmp";
  const int result =
      WriteBmpFile(file, kDisplayWidth, height, 24, nullptr,
                   std::span(pixels, static_cast<std::size_t>(kColourRowBytes) * height),
                   height == kImageRows ? 24 : 1);
  if (result == 0) display.shownFile = file;
  return result;
}

}  // namespace

int RebuildDisplayImage(Corvex& corvex) {
  ProgramState& state = corvex.state;
  BuildMonoBytes(corvex);
  if (state.autoContrast) state.backgroundLevel = SkyBackgroundLevel(corvex.store.currentImage);
  const std::optional<std::filesystem::path> directory = corvex.paths.TempDirectory();
  if (!directory) return ShowBmpFailure(corvex, kBmpCannotCreate);
  const bool colour = state.colourConverted && !state.focusFrameShown;
  return ShowBmpFailure(corvex,
                        colour ? WriteColour(corvex, *directory) : WriteMono(corvex, *directory));
}

void ToggleAutoContrast(Corvex& corvex) {
  corvex.state.autoContrast = !corvex.state.autoContrast;
  RebuildDisplay(corvex);
}

void InstallDisplayRebuild(Corvex& corvex) {
  corvex.displayRebuild = [](Corvex& c) { RebuildDisplayImage(c); };
}

int WriteRawPreview(Corvex& corvex, std::span<const std::uint16_t> readout) {
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
  const auto directory = corvex.paths.TempDirectory();
  if (!directory) return kBmpCannotCreate;
  return WriteBmpFile(*directory / "CORVEXG.bmp", kPreviewWidth, kImageRows, 8, &palette,
                      BottomUp(high.data(), kPreviewWidth, kImageRows), 1);
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
