// The contrast stretches: each fills a 32768-entry table by its own formula, then applied to
// an image (v becomes 2 x table[v / 2]); and the background levels. The Contrast menu's
// commands (commands/contrast_commands) apply them to the current image.
#pragma once

#include <cstdint>
#include <string>

#include "state/image_store.h"

namespace corvex {

inline constexpr int kStretchEntries = 32768;
using StretchTable = FixedBuffer<std::uint16_t, kStretchEntries>;

// ---- Table formulas (pure) ----
void FillNormalTable(StretchTable& table, int black, int white);
void FillPowerTable(StretchTable& table, double power);
void FillSineTable(StretchTable& table);
void FillRemoveBackgroundTable(StretchTable& table, int level);
void FillNonLinearTable(StretchTable& table, double power);
void FillLogTable(StretchTable& table);
void FillAntiLogTable(StretchTable& table);
void FillInvertTable(StretchTable& table);
// Colour synthesis's automatic stretch: the non-linear curve over half the range, continued
// past it (see the definition).
void FillSynthesisNonLinearTable(StretchTable& table, double power);

// v = 2 x table[v / 2] for the values at indices begin..end-1.
void ApplyStretch(ImageBuffer& image, const StretchTable& table, int begin = 0,
                  int end = kImageValues);

// ---- Background levels (high bytes of the values) ----
// The mean of the three most frequent high bytes of rows 10-289: what the main window keeps
// after every repaint.
int RefreshBackgroundLevel(const ImageBuffer& image);
// The most frequent high byte of rows 40-69.
int SkyBackgroundLevel(const ImageBuffer& image);

}  // namespace corvex
