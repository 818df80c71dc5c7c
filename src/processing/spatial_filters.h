// The neighbourhood filters of the 16-bit image: six convolution kernels, the unsharp mask,
// the thresholded median filter and the gradient filter. Each pass leaves a labelled frame's
// band alone and clips its results (above 65280 to 65535, below 0 to 0); the Filters menu's
// commands (commands/filter_commands) add the undo copy and the history label.
#pragma once

#include <array>

#include "state/image_store.h"

namespace corvex {

enum class Kernel {
  kWeightedMean,
  kGaussian,
  kHighPassLow,
  kHighPassHigh,
  kSmootherSharper,
  kBasRelief
};
using KernelTable = std::array<int, 25>;
const KernelTable& KernelEntries(Kernel kernel);

// ---- Passes (pure): read `in`, write `out` (which must start as a copy of `in`) ----
void ConvolvePass(const ImageBuffer& in, ImageBuffer& out, int radius, const KernelTable& kernel,
                  int divisor, int firstRow);
void UnsharpPass(const ImageBuffer& in, ImageBuffer& out, int radius, int power, int firstRow);
void MedianPass(const ImageBuffer& in, ImageBuffer& out, int radius, int powerTenths, int firstRow);
// In place: removes the sky plane estimated from the four corners' most common levels.
void GradientPass(ImageBuffer& image, int firstRow);

}  // namespace corvex
