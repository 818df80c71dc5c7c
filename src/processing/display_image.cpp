#include "processing/display_image.h"

#include <algorithm>
#include <cmath>

#include "corvex.h"
#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "processing/contrast_stretch.h"
#include "processing/kernels/colour_display.h"
#include "processing/sensor_geometry.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kFocusSide = 128;
constexpr int kPreviewWidth = 500;
constexpr int kBmpInfoBytes = 54;
constexpr int kPaletteBytes = 1024;
const double kContrastGamma = static_cast<double>(0.3f);
const double kContrastScale = std::pow(255.0, static_cast<double>(0.7f));

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

std::uint8_t Channel(float value) {
  if (value > 254) return 255;
  if (value < 0) return 0;
  return static_cast<std::uint8_t>(value);
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
  const std::filesystem::path file = directory / "corvex.bmp";
  const int result =
      WriteBmpFile(file, kDisplayWidth, height, 24, nullptr,
                   std::span(pixels, static_cast<std::size_t>(kColourRowBytes) * height),
                   height == kImageRows ? 24 : 1);
  if (result == 0) display.shownFile = file;
  return result;
}

}  // namespace

int AutoContrast(int i, int background) {
  if (i <= background) return 0;
  const double v = std::trunc(std::pow(i - background, kContrastGamma) * kContrastScale);
  return static_cast<int>(std::min(v, 255.0));
}

std::array<std::uint8_t, 255> DisplayStretchCurve(double power) {
  std::array<std::uint8_t, 255> curve{};
  for (int k = 0; k < 255; ++k) {
    const double x = k / 255.0;
    const double v = std::trunc(power * 255 * x / ((power - 1) * x + 1));
    curve[k] = static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
  }
  return curve;
}

void ApplyDisplayStretch(std::span<std::uint8_t> bytes, double power) {
  int smallest = 256;
  for (std::uint8_t v : bytes) {
    if (v != 0) smallest = std::min<int>(smallest, v);
  }
  if (smallest == 256) smallest = 0;
  const auto curve = DisplayStretchCurve(power);
  for (std::uint8_t& v : bytes) {
    if (v < 253) v = curve[std::max(v - smallest, 0)];
  }
}

void AdjustFocusExposure(ProgramState& state) {
  int ms = state.exposureMs;
  if (state.focusPeak < 32000) {
    ms *= 2;
  } else if (state.focusPeak > 64000) {
    ms /= 2;
  }
  state.exposureMs = ms;
  if (ms > 120000) {
    state.exposureUnit = 'm', state.exposureValue = ms / 60000;
  } else if (ms > 1000) {
    state.exposureUnit = 's', state.exposureValue = ms / 1000;
  } else if (ms > 100) {
    state.exposureUnit = 't', state.exposureValue = ms / 100;
  } else if (ms > 10) {
    state.exposureUnit = 'h', state.exposureValue = ms / 10;
  } else {
    state.exposureUnit = 'q', state.exposureValue = ms;
  }
}

Palette GreyPalette(bool autoContrast, int background) {
  Palette palette{};
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<std::uint8_t>(autoContrast ? AutoContrast(i, background) : i);
    palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = v;
  }
  return palette;
}

std::array<std::uint8_t, 3> ColourPixel(int lum, int red, int green, int blue, bool autoContrast,
                                        int background, int saturation) {
  double rR = 1, rG = 1, rB = 1;
  if (lum != 255) {
    const double average = (red + green + blue + 90) / 3.0;
    rR = (red + 30) / average;
    rG = (green + 30) / average;
    rB = (blue + 30) / average;
    const double largest = std::max({rR, rG, rB});
    rR /= largest, rG /= largest, rB /= largest;
  }
  const double v =
      autoContrast
          ? std::trunc(std::pow(std::max(lum - background, 0), kContrastGamma) * kContrastScale)
          : lum;
  const float s = static_cast<float>(saturation + 1) / 2;
  const auto channel = [&](double ratio) {
    return Channel((static_cast<float>(ratio - 1) * s + 1) * static_cast<float>(v));
  };
  return {channel(rB), channel(rG), channel(rR)};
}

kernels::BrightnessTable ColourBrightness(bool autoContrast, int background) {
  kernels::BrightnessTable table{};
  for (int lum = 0; lum < 256; ++lum) {
    table[lum] =
        autoContrast
            ? std::trunc(std::pow(std::max(lum - background, 0), kContrastGamma) * kContrastScale)
            : lum;
  }
  return table;
}

std::vector<std::uint8_t> BmpHeader(int width, int height, int bitsPerPixel) {
  const bool palette = bitsPerPixel == 8;
  const std::uint32_t offset = kBmpInfoBytes + (palette ? kPaletteBytes : 0);
  const std::uint32_t rowBytes = static_cast<std::uint32_t>(width) * (bitsPerPixel / 8);
  std::vector<std::uint8_t> header(kBmpInfoBytes, 0);
  header[0] = 'B';
  header[1] = 'M';
  StoreLe32(&header[2], offset + rowBytes * height);
  StoreLe32(&header[10], offset);
  StoreLe32(&header[14], 40);
  StoreLe32(&header[18], static_cast<std::uint32_t>(width));
  StoreLe32(&header[22], static_cast<std::uint32_t>(height));
  StoreLe16(&header[26], 1);
  StoreLe16(&header[28], static_cast<std::uint16_t>(bitsPerPixel));
  return header;
}

int WriteBmpFile(const std::filesystem::path& path, int width, int height, int bitsPerPixel,
                 const Palette* palette, std::span<const std::uint8_t> pixels, int chunks) {
  std::vector<std::uint8_t> header = BmpHeader(width, height, bitsPerPixel);
  if (palette != nullptr) header.insert(header.end(), palette->begin(), palette->end());
  AtomicFileWriter file(path);
  if (!file.Open()) return kBmpCannotCreate;
  if (!file.Write(header)) return kBmpHeaderShort;
  const std::size_t chunk = pixels.size() / chunks;
  for (int i = 0; i < chunks; ++i) {
    const std::size_t size = i + 1 == chunks ? pixels.size() - chunk * i : chunk;
    if (!file.Write(pixels.subspan(chunk * i, size))) return kBmpPixelsShort;
  }
  return file.Commit() ? 0 : kBmpPixelsShort;
}

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

}  // namespace corvex
