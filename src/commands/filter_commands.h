// The Filters menu's commands on the current image.
#pragma once

#include "processing/spatial_filters.h"

namespace corvex {

struct Corvex;

// Radius 1 or 2, with the kernel and divisor; `refresh` false is colour synthesis's entry.
void ConvolutionFilter(Corvex& corvex, int radius, Kernel kernel, int divisor, bool refresh);
void LowPassFilter(Corvex& corvex);
void GaussianFilter(Corvex& corvex);
void HighPassLowPowerFilter(Corvex& corvex, bool refresh = true);
void HighPassHighPowerFilter(Corvex& corvex);
void SmootherSharperFilter(Corvex& corvex);
void BasReliefFilter(Corvex& corvex);
// Radius 1-7, power 1-7. With `refresh` false (colour synthesis) the display is not rebuilt.
void UnsharpMask(Corvex& corvex, int radius, int power, bool refresh = true);
// Radius 1-3, power in tenths 1-10.
void MedianFilter(Corvex& corvex, int radius, int powerTenths);
void GradientFilter(Corvex& corvex);

// Reverses every row over its full 512 values (column k goes to 511 - k), the colour planes
// too when colour converted, leaving a labelled frame's rows 0-9 as they are. The mirrored
// copies are built in secondaryImage and the scratch planes. Rebuilds the display.
void MirrorImage(Corvex& corvex);

}  // namespace corvex
