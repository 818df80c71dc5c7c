// The colour filters and adjustments as passes over the three 8-bit colour planes of a colour
// converted image; the luminance is never changed. The Colour menu's commands
// (commands/colour_commands) run them on the current image.
#pragma once

#include <array>
#include <functional>

#include "state/image_store.h"

namespace corvex {

struct ColourStartBins {
  int red = 1, green = 1, blue = 1;
};

// A set of colour planes as a view.
MutablePlaneView ViewOf(ColourPlanes& planes);
// The used part of three planes copied into three others.
void CopyPlanes(const MutablePlaneView& from, const MutablePlaneView& to);

// ---- Passes (pure) ----
// Suppresses colour noise and keeps fine detail: each plane's 5 x 5 median plus the pixel's
// mean detail (value above its 7 x 7 low pass) over the three planes. Rows 3-286 and columns
// 3-508 are computed; the border keeps the planes' own values. `detail` and `scratch` are
// work space.
void AntiAliasPass(const MutablePlaneView& planes, const MutablePlaneView& detail,
                   const MutablePlaneView& scratch, const std::function<void(int)>& progress = {});
// The 3 x 3 weighted mean over rows 1-288 and columns 1-510; the border keeps its values.
void LowPassColourPass(const MutablePlaneView& planes, const MutablePlaneView& scratch);
// Subtracts 2 x the balance values (a negative value raises the plane) from every pixel that
// is not black in all three planes; values of 245 and above stay.
void BalancePass(const MutablePlaneView& planes, int red, int green, int blue,
                 const std::function<void(int row)>& progress = {});
// Shifts red and blue against green by whole pixels: horizontally, then vertically, from
// `firstRow` on. A value whose source falls outside the plane keeps its own.
void ChromaticPass(const MutablePlaneView& planes, const MutablePlaneView& scratch, int redH,
                   int redV, int blueH, int blueV, int firstRow);
// Each plane's start bin: the first bin of two values (from 2-3 on) with more than 5000 pixels
// in rows 10-289.
ColourStartBins ColourHistogramStarts(const PlaneView& planes);

}  // namespace corvex
