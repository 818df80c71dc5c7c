// Calibrating and combining 16-bit frames as passes: dark frame subtraction (the menu's rule
// and the capture run's), flat fielding, and merging two images aligned on a star.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "state/image_store.h"

namespace corvex {

// ---- Passes (pure) ----
// v - d where d < v, else 0; with `keepBright`, values of 65500 and more stay (the menu's
// rule; the capture run subtracts from every value).
void SubtractDark(ImageBuffer& image, const ImageBuffer& dark, bool keepBright);
// The flat's level: 0.0002 x the sum of 11 runs of 491 values starting at 2619 + 290 k.
double FlatLevel(const ImageBuffer& flat);
// v / f x level over rows 1-289 (11-289 for a labelled frame) and columns 5-509; a flat
// value of 0 or an image value of 65534 and more leaves the pixel alone.
void ApplyFlat(ImageBuffer& image, const ImageBuffer& flat, double level, int firstRow,
               const std::function<void(int row)>& progress = {});

struct MergePositions {
  int baseX = 0, baseY = 0;    // the star in the base image
  int mergeX = 0, mergeY = 0;  // the same star in the image merged into it
};
// Adds (or averages) the merge image into the base image, shifted so the two stars meet.
// Colour planes, when given, are always averaged. The result ends up in both images.
void MergePass(ImageBuffer& base, ImageBuffer& merge, const MutablePlaneView* basePlanes,
               const MutablePlaneView* mergePlanes, const MergePositions& at, bool average);

}  // namespace corvex
