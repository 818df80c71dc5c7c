// The image kernels as they were written before their SIMD versions: plain loops, one pixel
// at a time. The kernel tests hold the fast versions to these, value for value.
#pragma once

#include <cstdint>

#include "processing/spatial_filters.h"
#include "state/image_store.h"

namespace corvex::reference {

// The thresholded median filter (radius 1-3, power in tenths) by a sliding histogram.
void MedianPass(const ImageBuffer& in, ImageBuffer& out, int radius, int powerTenths,
                int firstRow);
// The guider's hot-pixel filter: the 3 x 3 median where the pixel is further from it than
// 0.6 x the window's range (single precision).
void FilterGuiderHotPixels(GuiderBuffer& image, GuiderBuffer& scratch);
// The anti-alias filter's median: rows 3-286, columns 3-508 of a plane take the 13th largest
// of their 5 x 5 window, by a sliding 256-bin histogram.
void MedianOf25(const std::uint8_t* in, std::uint8_t* out);
// The convolutions and the unsharp mask, a window sum per pixel.
void ConvolvePass(const ImageBuffer& in, ImageBuffer& out, int radius, const KernelTable& kernel,
                  int divisor, int firstRow);
void UnsharpPass(const ImageBuffer& in, ImageBuffer& out, int radius, int power, int firstRow);
// Colour synthesis, one SynthesizePixel call per pixel.
void SynthesizeRows(const ImageBuffer& image, ImageBuffer& luminance,
                    const MutablePlaneView& planes, bool pixelOffset, bool lineOffset,
                    bool labelled);

}  // namespace corvex::reference
