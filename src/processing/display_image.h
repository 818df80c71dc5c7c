// The pieces of the display image: the buffers of the 8-bit (mono) or 24-bit (colour) bitmap
// the window shows, its palettes, curves and BMP layout (commands/display_commands rebuilds it).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "processing/kernels/colour_display.h"
#include "state/image_store.h"

namespace corvex {

struct ProgramState;

inline constexpr int kDisplayWidth = 512;
inline constexpr int kColourRowBytes = 1536;
inline constexpr int kDisplayMaxRows = 373;
inline constexpr int kFocusWindowValues = 25608;  // high bytes copied for a focus frame

// Which bitmap the main window shows.
enum class ShownBitmap { kNone, kMain, kFocusFrame };

struct DisplayBuffers {
  FixedBuffer<std::uint8_t, kDisplayWidth * kDisplayMaxRows> mono;      // top row first
  FixedBuffer<std::uint8_t, kColourRowBytes * kDisplayMaxRows> colour;  // bottom row first, BGR
  FixedBuffer<std::uint8_t, kColourRowBytes * kDisplayMaxRows> resampled;
  int monoRows = kImageRows;
  int colourRows = kImageRows;
  // The display bitmaps, each byte for byte the BMP file of its name: "corvex.bmp" (the main
  // display image), "corvexf.bmp" (the focus frame) and "CORVEXG.bmp" (the raw readout
  // preview). Only the program's own windows draw them, so they stay in memory: nothing is
  // written to disk and read back after every command.
  std::vector<std::uint8_t> mainBitmap;
  std::vector<std::uint8_t> focusBitmap;
  std::vector<std::uint8_t> previewBitmap;
  ShownBitmap shown = ShownBitmap::kNone;

  // The bitmap the main window should show; empty before the first rebuild.
  std::span<const std::uint8_t> ShownBytes() const {
    switch (shown) {
      case ShownBitmap::kMain: return mainBitmap;
      case ShownBitmap::kFocusFrame: return focusBitmap;
      case ShownBitmap::kNone: break;
    }
    return {};
  }
};

using Palette = std::array<std::uint8_t, 1024>;  // 256 x (blue, green, red, 0)

// ---- Pieces (pure) ----
// 0 up to the background level b, then (i - b)^0.3 x 255^0.7, at most 255.
int AutoContrast(int i, int background);
// The mono display stretch: T[k] = P x 255 x x / ((P - 1) x + 1), x = k / 255.
std::array<std::uint8_t, 255> DisplayStretchCurve(double power);
// Subtracts the smallest non-zero byte and maps every byte below 253 through the curve.
void ApplyDisplayStretch(std::span<std::uint8_t> bytes, double power);
// The focus frame's auto-exposure: the next exposure from the peak, as value and unit.
void AdjustFocusExposure(ProgramState& state);
// A grey palette: i, or the auto contrast curve at i.
Palette GreyPalette(bool autoContrast, int background);
// One colour pixel as (blue, green, red).
std::array<std::uint8_t, 3> ColourPixel(int lum, int red, int green, int blue, bool autoContrast,
                                        int background, int saturation);
// The brightness ColourPixel takes from each display byte, for the row kernel.
kernels::BrightnessTable ColourBrightness(bool autoContrast, int background);

// The header of an 8-bit BMP with palette or a 24-bit BMP of width x height.
std::vector<std::uint8_t> BmpHeader(int width, int height, int bitsPerPixel);
// A whole BMP file: header, palette (when given) and the pixel rows, already bottom-up.
void EncodeBmp(int width, int height, int bitsPerPixel, const Palette* palette,
               std::span<const std::uint8_t> pixels, std::vector<std::uint8_t>& out);

}  // namespace corvex
