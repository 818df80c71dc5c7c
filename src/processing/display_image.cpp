#include "processing/display_image.h"

#include <algorithm>
#include <cmath>

#include "platform/byte_order.h"
#include "processing/kernels/colour_display.h"
#include "state/program_state.h"

namespace corvex {

namespace {

constexpr int kBmpInfoBytes = 54;
constexpr int kPaletteBytes = 1024;
const double kContrastGamma = static_cast<double>(0.3f);
const double kContrastScale = std::pow(255.0, static_cast<double>(0.7f));

std::uint8_t Channel(float value) {
  if (value > 254) return 255;
  if (value < 0) return 0;
  return static_cast<std::uint8_t>(value);
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

void EncodeBmp(int width, int height, int bitsPerPixel, const Palette* palette,
               std::span<const std::uint8_t> pixels, std::vector<std::uint8_t>& out) {
  const std::vector<std::uint8_t> header = BmpHeader(width, height, bitsPerPixel);
  out.assign(header.begin(), header.end());  // keeps the buffer of the last rebuild
  out.reserve(out.size() + (palette != nullptr ? palette->size() : 0) + pixels.size());
  if (palette != nullptr) out.insert(out.end(), palette->begin(), palette->end());
  out.insert(out.end(), pixels.begin(), pixels.end());
}

}  // namespace corvex
