// The colour display image's pixels, a row at a time: brightness from the display byte
// through a 256-entry table, hue from the three colour planes.
#pragma once

#include <array>
#include <cstdint>

namespace corvex::kernels {

// What each display byte (0-255) brings to the channels: the byte itself, or its auto
// contrast value (not limited to 255; the channels saturate).
using BrightnessTable = std::array<double, 256>;

// `count` pixels as (blue, green, red) triples into `bgr`. A pixel's channel is
// ((ratio - 1) x (saturation + 1) / 2 + 1) x brightness, in single precision, cut to 0-255,
// where the ratios are the planes' (value + 30) over their mean, scaled so that the largest
// is 1; a display byte of 255 (white) has every ratio 1.
void ColourDisplayRow(const std::uint8_t* mono, const std::uint8_t* red, const std::uint8_t* green,
                      const std::uint8_t* blue, int count, const BrightnessTable& brightness,
                      int saturation, std::uint8_t* bgr);

}  // namespace corvex::kernels
