#include "runs/align_and_add.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "corvex.h"
#include "guiding/star_centroid.h"

namespace corvex {

namespace {

constexpr int kProfileLength = 100;
constexpr int kRegionColumn = 200;

constexpr int kSumColumns = 510;  // columns 510-511 are never a source of the sum

// The first frame of a sum.
void StartSeries(RunBuffers& run, const ImageBuffer& frame) {
  for (int i = 0; i < kImageValues; ++i) {
    run.seriesSum[i] = frame[i];
    run.seriesCount[i] = 1;
  }
}

std::uint16_t OneMore(std::uint16_t count) {
  return count == 65535 ? count : static_cast<std::uint16_t>(count + 1);
}

// Three passes of the star search, each from where the last ended. False when one fails.
bool SearchThreeTimes(Corvex& corvex, int& x, int& y) {
  for (int pass = 0; pass < 3; ++pass) {
    if (FindStarCentre(corvex, x, y, corvex.state.maskRadius) != kStarFound) return false;
    x = corvex.state.starX;
    y = corvex.state.starY;
  }
  return true;
}

struct Profiles {
  std::array<long, kProfileLength> rows{};
  std::array<long, kProfileLength> columns{};
};

// The background threshold: 256 x the most common high byte, plus 1024.
int Threshold(const ImageBuffer& image, int& mode) {
  std::array<int, 256> counts{};
  for (int i = 0; i < kImageValues; ++i) ++counts[image[i] >> 8];
  mode = static_cast<int>(std::max_element(counts.begin(), counts.end()) - counts.begin());
  return mode * 256 + 1024;
}

Profiles ProfilesOf(const ImageBuffer& image, int regionRow, int threshold) {
  Profiles p;
  const auto above = [threshold](int v) { return v > threshold ? (v - threshold) * 16L : 0L; };
  for (int k = 0; k < kProfileLength; ++k) {
    for (int c = kRegionColumn; c < kRegionColumn + kProfileLength; ++c) {
      p.rows[k] += above(image[(regionRow + 100 + k) * kImageStride + c]);
    }
    for (int r = regionRow + 100; r < regionRow + 200; ++r) {
      p.columns[k] += above(image[r * kImageStride + kRegionColumn + k]);
    }
  }
  return p;
}

// The best shift of a profile against its reference (entries 10-89 against s..s+79), and the
// sums of differences for every s.
int BestShift(const std::array<long, kProfileLength>& reference,
              const std::array<long, kProfileLength>& current, std::array<long, 21>& sums) {
  int best = 0;
  for (int s = 0; s <= 20; ++s) {
    long sum = 0;
    for (int k = 0; k < 80; ++k) sum += std::labs(reference[10 + k] - current[s + k]);
    sums[s] = sum;
    if (sum < sums[best]) best = s;
  }
  return best - 10;
}

int TowardsZero(int shift) {
  if (shift >= 1 && shift <= 9 && shift % 2 != 0) return shift - 1;
  if (shift <= -1 && shift >= -9 && shift % 2 != 0) return shift + 1;
  return shift;
}

}  // namespace

void RenderSeries(const RunBuffers& run, bool average, ImageBuffer& image) {
  for (int i = 0; i < kImageValues; ++i) {
    const std::uint32_t sum = run.seriesSum[i];
    const std::uint32_t value = average ? sum / std::max<std::uint32_t>(run.seriesCount[i], 1)
                                        : std::min<std::uint32_t>(sum, 65535);
    image[i] = static_cast<std::uint16_t>(value);
  }
}

void ClearAlignReference(AlignState& align) {
  align = AlignState{};
}

int EvenedShift(int shift) {
  if (shift >= -9 && shift <= 9 && shift % 2 != 0) return shift - 1;
  return shift;
}

int AlignAndAdd(Corvex& corvex, AlignState& align) {
  ProgramState& state = corvex.state;
  RunBuffers& run = corvex.store.run;
  ImageBuffer& frame = corvex.store.currentImage;

  if (align.referenceX == 0) {
    StartSeries(run, frame);
    align.frames = 1;
    int x = state.pickedStarX;
    int y = state.pickedStarY;
    if (!SearchThreeTimes(corvex, x, y)) return kAlignStarLost;
    align.referenceX = x;
    align.referenceY = y;
    align.referencePeak = frame[y * kImageStride + x];
    return kAlignOk;
  }

  int x = align.referenceX;
  int y = align.referenceY;
  const bool found = SearchThreeTimes(corvex, x, y);
  const double peak = found ? frame[y * kImageStride + x] : 0;
  const double reference = align.referencePeak;
  if (!found || peak > 3 * reference || peak < 0.3 * reference) {
    RenderSeries(run, state.averageExposures, frame);
    return kAlignStarLost;
  }
  const int dx = EvenedShift(x - align.referenceX);
  const int dy = EvenedShift(y - align.referenceY);
  // The reference is where the sum's star lands after this shift, not where the new frame's
  // star is: a pixel an even shift leaves out is then made up by the next frame's shift
  // instead of being lost for good. Otherwise frames moving by odd amounts (slow drift, or
  // a dithered series) would smear the sum a pixel further with every odd shift.
  align.referenceX += dx;
  align.referenceY += dy;

  // The sum moves onto the new frame. Pixels with no source in the sum (its row 0, column 0
  // and columns 510-511, or beyond its edges) start again from the new frame alone.
  std::vector<std::uint32_t> sum(kImageValues);
  std::vector<std::uint16_t> count(kImageValues);
  for (int i = 0; i < kImageRows; ++i) {
    const int si = i - dy;
    for (int j = 0; j < kImageStride; ++j) {
      const int sj = j - dx;
      const int at = i * kImageStride + j;
      if (si > 0 && si < kImageRows && sj > 0 && sj < kSumColumns) {
        const int from = si * kImageStride + sj;
        sum[at] = frame[at] + run.seriesSum[from];
        count[at] = OneMore(run.seriesCount[from]);
      } else {
        sum[at] = frame[at];
        count[at] = 1;
      }
    }
  }
  std::copy(sum.begin(), sum.end(), run.seriesSum.begin());
  std::copy(count.begin(), count.end(), run.seriesCount.begin());
  ++align.frames;
  RenderSeries(run, state.averageExposures, frame);
  return kAlignOk;
}

int AlignAndAddByProfiles(Corvex& corvex, AlignState& align) {
  RunBuffers& run = corvex.store.run;
  ImageBuffer& frame = corvex.store.currentImage;
  const bool average = corvex.state.averageExposures;
  int mode = 0;
  const int threshold = Threshold(frame, mode);

  if (align.referenceValue == 0) {
    StartSeries(run, frame);
    align.frames = 1;
    long first = 0;
    for (int i = 0; i < 10000; ++i) first += frame[i];
    align.referenceValue = static_cast<int>(first * 0.0001);
    for (int start : {0, 10, 20}) {
      int largest = 0;
      for (int r = start + 100; r < start + 200; ++r) {
        for (int c = kRegionColumn; c < kRegionColumn + kProfileLength; ++c) {
          largest = std::max<int>(largest, frame[r * kImageStride + c]);
        }
      }
      if (largest >= mode * 400) {
        align.regionRow = start;
        const Profiles p = ProfilesOf(frame, start, threshold);
        align.rowProfile = p.rows;
        align.columnProfile = p.columns;
        align.rowShift = align.columnShift = 0;
        return kAlignOk;
      }
    }
    return kAlignNoRegion;
  }

  const Profiles now = ProfilesOf(frame, align.regionRow, threshold);
  std::array<long, 21> rowSums{}, columnSums{};
  const int rowShift = TowardsZero(BestShift(align.rowProfile, now.rows, rowSums));
  const int columnShift = TowardsZero(BestShift(align.columnProfile, now.columns, columnSums));
  if (columnSums[9] + columnSums[10] + columnSums[11] < 5000) {
    RenderSeries(run, average, frame);
    return kAlignStarLost;
  }
  align.rowProfile = now.rows;
  align.columnProfile = now.columns;
  // Here the sum stays where the first frame put it and each new frame is moved onto it.
  for (int i = 0; i < kImageRows; ++i) {
    const int k = i + rowShift + align.rowShift;
    if (k <= 0 || k >= kImageRows) continue;
    for (int j = 0; j < kImageStride; ++j) {
      const int l = j + columnShift + align.columnShift;
      if (l <= 0 || l >= kSumColumns) continue;
      const int at = i * kImageStride + j;
      run.seriesSum[at] += frame[k * kImageStride + l];
      run.seriesCount[at] = OneMore(run.seriesCount[at]);
    }
  }
  align.rowShift += rowShift;
  align.columnShift += columnShift;
  ++align.frames;
  RenderSeries(run, average, frame);
  return kAlignOk;
}

}  // namespace corvex
