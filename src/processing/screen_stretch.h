// The screen stretch: an automatic transfer function for looking at a frame, as imaging
// programs apply one to every new frame. Raw frames hold their sky a few hundred counts above
// zero and their stars in a sliver of the range, so shown as they are they look black; the
// stretch clips the shadows just below the sky, lifts the sky to a dark grey and keeps the
// stars' brightest values white. It only changes what is shown, never the image.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace corvex {

struct ScreenStretch {
  double black = 0;      // values at or below show black, in the histogram's units
  double white = 1;      // values at or above show white
  double midtone = 0.5;  // the transfer function's balance: 0.5 is a straight line
};

// The midtones transfer function on 0..1: 0 stays 0, 1 stays 1, and `m` goes to one half.
double MidtonesTransfer(double m, double x);

// The stretch of the frame whose values have the histogram `counts` (bin i holds the number
// of values equal to i): black 2.8 standard deviations (from the median absolute deviation)
// below the median, white at the largest value, and the median shown at a quarter of the
// way to white. A frame without spread gets a straight line from its smallest to its largest
// value.
ScreenStretch AutoScreenStretch(std::span<const std::uint32_t> counts);

// The histogram of 16-bit values, 65536 bins.
std::vector<std::uint32_t> Histogram16(std::span<const std::uint16_t> values);

// The display byte for every input value 0..size-1.
std::vector<std::uint8_t> ScreenStretchTable(const ScreenStretch& stretch, int size);

}  // namespace corvex
