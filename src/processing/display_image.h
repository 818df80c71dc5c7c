// The pieces of the display image: the buffers of the 8-bit (mono) or 24-bit (colour) bitmap
// the window shows, its palettes, curves and BMP writer (commands/display_commands rebuilds it).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "state/image_store.h"

namespace corvex {

struct ProgramState;

inline constexpr int kDisplayWidth = 512;
inline constexpr int kColourRowBytes = 1536;
inline constexpr int kDisplayMaxRows = 373;
inline constexpr int kFocusWindowValues = 25608;  // high bytes copied for a focus frame

struct DisplayBuffers {
  FixedBuffer<std::uint8_t, kDisplayWidth * kDisplayMaxRows> mono;      // top row first
  FixedBuffer<std::uint8_t, kColourRowBytes * kDisplayMaxRows> colour;  // bottom row first, BGR
  FixedBuffer<std::uint8_t, kColourRowBytes * kDisplayMaxRows> resampled;
  int monoRows = kImageRows;
  int colourRows = kImageRows;
  std::filesystem::path shownFile;  // the BMP the window should load
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

// 8-bit BMP with palette (rows given top first, written bottom-up) and 24-bit BMP (rows
// already bottom-up); header and pixels separately, as the writer sends them.
std::vector<std::uint8_t> BmpHeader(int width, int height, int bitsPerPixel);

inline constexpr int kBmpCannotCreate = 1;
inline constexpr int kBmpHeaderShort = 2;
inline constexpr int kBmpPixelsShort = 3;
// Writes header, palette (when given) and pixels in `chunks` equal pieces through an atomic
// replace. Returns 0, 1, 2 or 3.
int WriteBmpFile(const std::filesystem::path& path, int width, int height, int bitsPerPixel,
                 const Palette* palette, std::span<const std::uint8_t> pixels, int chunks);

}  // namespace corvex
