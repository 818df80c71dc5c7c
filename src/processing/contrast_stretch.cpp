#include "processing/contrast_stretch.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "processing/sensor_geometry.h"

namespace corvex {

namespace {

constexpr int kTop = kStretchEntries - 1;  // 32767
constexpr double kSineStep = 0.00009585889570552147;
constexpr double kLogScale = 3151;
constexpr double kAntiLogBase = 2.65724484375;

std::uint16_t Entry(double value) {
  return static_cast<std::uint16_t>(std::clamp(std::trunc(value), 0.0, static_cast<double>(kTop)));
}

std::array<int, 256> HighByteHistogram(const ImageBuffer& image, int firstRow, int lastRow) {
  std::array<int, 256> counts{};
  for (int i = firstRow * kImageStride; i < (lastRow + 1) * kImageStride; ++i) {
    ++counts[image[i] >> 8];
  }
  return counts;
}

// The lowest byte with the highest count.
int Mode(const std::array<int, 256>& counts) {
  return static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
}

}  // namespace

void FillNormalTable(StretchTable& table, int black, int white) {
  const double f = 255.0 / (white - black);
  const int low = 128 * black;
  const int high = 128 * white;
  for (int i = 0; i < kStretchEntries; ++i) {
    if (i < low) {
      table[i] = 0;
    } else if (i < high) {
      table[i] = Entry((i - low) * f);
    } else {
      table[i] = kTop;
    }
  }
}

void FillPowerTable(StretchTable& table, double power) {
  const double k = 1.0 / std::pow(32768.0, power - 1);
  for (int i = 0; i < kStretchEntries; ++i) table[i] = Entry(std::pow(i, power) * k);
}

void FillSineTable(StretchTable& table) {
  for (int i = 0; i < kStretchEntries; ++i) {
    table[i] = Entry((std::sin((i - 16384) * kSineStep) + 1) * 16383);
  }
}

void FillRemoveBackgroundTable(StretchTable& table, int level) {
  const double f = 255.0 / (257 - level);
  const int start = 128 * level - 256;
  for (int i = 0; i < kStretchEntries; ++i) table[i] = i < start ? 0 : Entry((i - start) * f);
}

void FillNonLinearTable(StretchTable& table, double power) {
  for (int i = 0; i < kStretchEntries; ++i) {
    const double x = i / 32768.0;
    table[i] = Entry(power * 32768 * x / ((power - 1) * x + 1));
  }
}

void FillLogTable(StretchTable& table) {
  for (int i = 0; i < kStretchEntries; ++i) table[i] = Entry(std::log(i + 1.0) * kLogScale);
}

void FillAntiLogTable(StretchTable& table) {
  for (int i = 0; i < kStretchEntries; ++i) {
    table[i] = Entry(std::pow(kAntiLogBase, i / kLogScale) - 1);
  }
}

void FillInvertTable(StretchTable& table) {
  for (int i = 0; i < kStretchEntries; ++i) table[i] = static_cast<std::uint16_t>(kTop - i);
}

// The curve is built over the lower half of the table (x = i / 16384 from 0 to 1). This
// program continues the same formula over the upper half (x from 1 to 2) so the curve stays
// monotonic: leaving those entries as the last stretch left them (all 0 after start-up) would
// turn the brightest stars of a synthesised image black.
void FillSynthesisNonLinearTable(StretchTable& table, double power) {
  for (int i = 0; i < kStretchEntries; ++i) {
    const double x = i / 16384.0;
    table[i] = Entry(power * 16384 * x / ((power - 1) * x + 1));
  }
}

void ApplyStretch(ImageBuffer& image, const StretchTable& table, int begin, int end) {
  for (int i = begin; i < end; ++i) image[i] = static_cast<std::uint16_t>(2 * table[image[i] / 2]);
}

int RefreshBackgroundLevel(const ImageBuffer& image) {
  std::array<int, 256> counts = HighByteHistogram(image, 10, kImageRows - 1);
  int sum = 0;
  for (int pick = 0; pick < 3; ++pick) {
    const int mode = Mode(counts);
    sum += mode;
    counts[mode] = -1;  // taken: the next search skips it
  }
  return sum / 3;
}

int SkyBackgroundLevel(const ImageBuffer& image) {
  return Mode(HighByteHistogram(image, 40, 69));
}

}  // namespace corvex
