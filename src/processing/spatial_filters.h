// The neighbourhood filters of the 16-bit image: six convolution kernels, the unsharp mask,
// the thresholded median filter and the gradient filter. Each keeps the image before it in
// undoImage, leaves a labelled frame's band alone, clips its results (above 65280 to 65535,
// below 0 to 0) and records its history label.
#pragma once

#include <array>

#include "state/image_store.h"

namespace corvex {

struct Corvex;

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

// ---- Commands ----
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

}  // namespace corvex
