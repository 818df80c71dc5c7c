#include "processing/colour_synthesis.h"

#include <algorithm>
#include <array>

#include "processing/kernels/colour_synthesis_rows.h"
#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr int kSaturatedLuminance = 60000;
constexpr std::uint16_t kBlackLevelKeep = 65500;
constexpr int kSynthesisRows = kImageRows - 1;  // row 289 is not computed
constexpr int kImageColumns = 510;

}  // namespace

SynthesisPixel SynthesizePixel(const ImageBuffer& image, int x, int y, bool columnPhase,
                               bool rowPhase) {
  const auto at = [&image](int col, int row) {
    return static_cast<int>(image[row * kImageStride + col]);
  };
  const int p = at(x, y);
  const int left = at(x - 1, y);
  const int o = left + at(x + 1, y) + at(x, y - 1) + at(x, y + 1);
  const int d = at(x - 1, y - 1) + at(x + 1, y - 1) + at(x - 1, y + 1) + at(x + 1, y + 1);
  const int s = p + o + d;

  SynthesisPixel pixel;
  const double luminance = (left + p) / 1.6;
  pixel.luminance = luminance > 65535 ? 65535 : static_cast<std::uint16_t>(luminance);

  int red = 0, green = 0, blue = 0;
  if (columnPhase && rowPhase) {
    red = (7 * d - 2 * o - 12 * p) / 40;
    green = (6 * o - d - 4 * p) / 40;
    blue = (s - 11 * red - 13 * green) / 8;
  } else if (columnPhase) {
    red = (2 * o + 2 * d - 12 * p) / 20;
    blue = (4 * o - 6 * d + 16 * p) / 40;
    green = (s - 10 * red - 7 * blue) / 14;
  } else if (rowPhase) {
    red = (4 * o - 6 * d + 16 * p) / 40;
    blue = (2 * o + 2 * d - 12 * p) / 20;
    green = (s - 10 * blue - 7 * red) / 14;
  } else {
    blue = (7 * d - 2 * o - 12 * p) / 40;
    green = (6 * o - d - 4 * p) / 40;
    red = (s - 11 * blue - 13 * green) / 8;
  }
  red = std::max(red, 0) * 300 / 70;
  green = std::max(green, 0) * 300 / 50;
  blue = std::max(blue, 0) * 10;
  const int divisor = std::max({red, green, blue}) > 65280 ? 2560 : 256;
  red /= divisor;
  green /= divisor;
  blue /= divisor;
  if (luminance > kSaturatedLuminance) red = green = blue = (red + green + blue) / 3;
  // A plane value is a byte: anything the formulas could give above 255 saturates rather
  // than wrapping round to a dark value.
  pixel.red = static_cast<std::uint8_t>(std::min(red, 255));
  pixel.green = static_cast<std::uint8_t>(std::min(green, 255));
  pixel.blue = static_cast<std::uint8_t>(std::min(blue, 255));
  return pixel;
}

void SynthesizeRows(const ImageBuffer& image, ImageBuffer& luminance,
                    const MutablePlaneView& planes, bool pixelOffset, bool lineOffset,
                    bool labelled, const std::function<void(int row)>& progress) {
  // The kernel takes a block of rows at a time, so that it splits each line once for the
  // three rows that read it; progress is still reported for every row, in order.
  constexpr int kBlockRows = 32;
  for (int start = 0; start < kSynthesisRows; start += kBlockRows) {
    const int end = std::min(kSynthesisRows, start + kBlockRows);
    for (int y = start; y < end; ++y) {
      if (progress) progress(y);
      const int base = y * kImageStride;
      // Column 0, row 0 and the label band keep their values and get no colour.
      const bool border = y == 0 || (labelled && y < kLabelBandRows);
      for (int x = 0; x < (border ? kImageColumns : 1); ++x) {
        luminance[base + x] = image[base + x];
        planes.red[base + x] = planes.green[base + x] = planes.blue[base + x] = 0;
      }
      for (int x = kImageColumns; x < kImageStride; ++x) {
        planes.red[base + x] = planes.green[base + x] = planes.blue[base + x] = 0;
        luminance[base + x] = image[base + x];
      }
    }
    // Row 0 and the label band come first, so the coloured rows of a block follow one another.
    const int firstColoured = std::max(start, labelled ? kLabelBandRows : 1);
    if (firstColoured < end) {
      const int base = firstColoured * kImageStride;
      const bool rowPhase = lineOffset != (firstColoured % 2 != 0);
      kernels::SynthesizeRows(image.data() + base - kImageStride, kImageStride,
                              end - firstColoured, 1, kImageColumns - 1, pixelOffset, rowPhase,
                              luminance.data() + base, planes.red + base, planes.green + base,
                              planes.blue + base);
    }
  }
  const int last = kSynthesisRows * kImageStride;
  std::fill(luminance.begin() + last, luminance.begin() + kImageValues, 0);
  for (std::uint8_t* plane : {planes.red, planes.green, planes.blue}) {
    std::fill(plane + last, plane + kImageValues, 0);
    if (labelled) {
      std::fill(plane, plane + kLabelBandValues, 255);
    } else {
      std::fill(plane, plane + kImageStride, 0);
    }
  }
}

void SubtractBlackLevel(ImageBuffer& image, int m) {
  // Without branches, so that the compiler does it a vector at a time.
  std::uint16_t* const values = image.data();
  for (int i = 0; i < kImageValues; ++i) {
    const int v = values[i];
    const int kept = v < kBlackLevelKeep ? v - m : v;
    values[i] = static_cast<std::uint16_t>(v < m ? 0 : kept);
  }
}

void CorrectLightPollution(const MutablePlaneView& planes) {
  std::uint8_t* const all[3] = {planes.red, planes.green, planes.blue};
  int modes[3];
  for (int p = 0; p < 3; ++p) {
    std::array<int, 256> counts{};
    for (int row = 10; row <= 39; ++row) {
      for (int col = 1; col <= 499; ++col) ++counts[all[p][row * kImageStride + col]];
    }
    modes[p] = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  }
  const int red = modes[0], green = modes[1], blue = modes[2];
  const int reference = (red >= green && blue >= green)  ? green
                        : (red >= blue && green >= blue) ? blue
                                                         : red;
  // The reference is the smallest mode, so every offset is 0-255. Each value is written
  // whether or not it changes: a loop without a branch runs on vectors, and the branch on
  // each pixel of a starry sky was the costliest step of the synthesis.
  for (int p = 0; p < 3; ++p) {
    const std::uint8_t offset = static_cast<std::uint8_t>(modes[p] - reference);
    if (offset == 0) continue;
    std::uint8_t* const plane = all[p];
    for (int i = 0; i < kImageValues; ++i) {
      const std::uint8_t value = plane[i];
      plane[i] = value >= offset ? static_cast<std::uint8_t>(value - offset) : value;
    }
  }
}

}  // namespace corvex
