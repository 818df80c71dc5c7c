// How a stored frame maps onto the sensor: the colour filter's phase, the black-level
// reference, the label band that processing leaves alone, QZ row resampling and the mirror
// of rows.
#pragma once

#include <algorithm>
#include <cstdint>

#include "state/image_store.h"

namespace corvex {

inline constexpr int kLabelBandRows = 10;
inline constexpr int kLabelBandValues = kLabelBandRows * kImageStride;  // 5120
inline constexpr std::uint16_t kLabelMarkerValue = 17;
inline constexpr int kQzDisplayRows = 373;
inline constexpr float kQzDisplayFactor = 1.2862068f;  // 373 / 290
inline constexpr int kTiffRows = 372;
inline constexpr float kTiffFactor = 1.2827586f;  // 372 / 290

// The colour filter repeats every two columns and rows. The column phase is "Pixel Offset" at
// column 0 and flips at every column; the row phase is "Line Offset" at row 0 and flips at
// every row.
inline bool ColumnPhase(int column, bool pixelOffset) {
  return pixelOffset != (column % 2 == 1);
}
inline bool RowPhase(int row, bool lineOffset) {
  return lineOffset != (row % 2 == 1);
}

// The integer mean of the 600 values in columns 3-5 of rows 20-219.
int BlackLevel(const ImageBuffer& image);

// A frame carries the label band when its row-0 values at columns 4 and 5 add up to 34.
bool HasLabelBand(const ImageBuffer& image);
// The first row processing may change: 10 for a labelled frame, else 0.
inline int FirstUnprotectedRow(const ImageBuffer& image) {
  return HasLabelBand(image) ? kLabelBandRows : 0;
}

// Stretches `sourceRows` rows of `rowBytes` 8-bit values to `targetRows` rows: output row n
// blends source rows floor(n / factor) and the one below by the fraction (single precision),
// truncated and capped at 255; the last output row takes its source row unblended.
void ResampleRows(const std::uint8_t* source, int sourceRows, int rowBytes, std::uint8_t* target,
                  int targetRows, float factor);

// Copies rows firstRow-289 of `from` into `to`, each reversed over its full 512 values
// (column k goes to 511 - k): the mirror of an image or of a colour plane.
template <typename Value>
void MirrorRows(const Value* from, Value* to, int firstRow) {
  for (int row = firstRow; row < kImageRows; ++row) {
    const Value* in = from + row * kImageStride;
    Value* out = to + row * kImageStride;
    std::reverse_copy(in, in + kImageStride, out);
  }
}

}  // namespace corvex
