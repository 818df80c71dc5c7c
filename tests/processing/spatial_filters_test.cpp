// The spatial filters: kernels on impulses worked out by hand, borders and the label band,
// clipping, the unsharp mask and median filter against direct per-pixel evaluation, the
// gradient plane, and the commands' undo, labels and display rebuilds.
#include "processing/spatial_filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "commands/filter_commands.h"
#include "corvex.h"
#include "processing/processing_history.h"
#include "processing/sensor_geometry.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

int At(int x, int y) {
  return y * kImageStride + x;
}

void FillRandom(ImageBuffer& image, int low, int high, std::uint32_t seed, int fromRow = 0,
                int toRow = kImageRows) {
  for (int i = fromRow * kImageStride; i < toRow * kImageStride; ++i) {
    seed = seed * 1664525u + 1013904223u;
    image[i] = static_cast<std::uint16_t>(low + (seed >> 8) % (high - low + 1));
  }
}

int Clip(long value) {
  return value > 65280 ? 65535 : value < 0 ? 0 : static_cast<int>(value);
}

// Runs a convolution pass over `in` and returns the result.
void Convolve(const ImageBuffer& in, ImageBuffer& out, Kernel kernel, int radius, int divisor,
              int firstRow = 0) {
  CopyImage(in, out);
  ConvolvePass(in, out, radius, KernelEntries(kernel), divisor, firstRow);
}

TEST(Kernels, TablesHoldTheSixKernelsRowByRow) {
  auto first = [](Kernel k, int n) {
    const KernelTable& t = KernelEntries(k);
    return std::vector<int>(t.begin(), t.begin() + n);
  };
  EXPECT_EQ(first(Kernel::kWeightedMean, 9), (std::vector<int>{1, 2, 1, 2, 4, 2, 1, 2, 1}));
  EXPECT_EQ(first(Kernel::kHighPassLow, 9), (std::vector<int>{0, -1, 0, -1, 5, -1, 0, -1, 0}));
  EXPECT_EQ(first(Kernel::kGaussian, 25), (std::vector<int>{0, 1, 2, 1, 0, 1, 4, 8, 4, 1, 2, 8, 16,
                                                            8, 2, 1, 4, 8, 4, 1, 0, 1, 2, 1, 0}));
  std::vector<int> highHigh(25, -1);
  highHigh[12] = 25;
  EXPECT_EQ(first(Kernel::kHighPassHigh, 25), highHigh);
  EXPECT_EQ(first(Kernel::kSmootherSharper, 25),
            (std::vector<int>{0, -1, -1, -1, 0, -1, 1,  1, 1,  -1, -1, 1, 5,
                              1, -1, -1, 1,  1, 1,  -1, 0, -1, -1, -1, 0}));
  EXPECT_EQ(first(Kernel::kBasRelief, 25),
            (std::vector<int>{0, 0, -1, 0, 0, 0, -1, -1, -1, 0, -1, -1, 1,
                              1, 1, 0,  1, 1, 1, 0,  0,  0,  1, 0,  0}));
}

TEST(Kernels, SmoothersSpreadAnImpulseByTheirWeights) {
  ImageBuffer in, out;
  in[At(100, 100)] = 1000;  // weighted mean: 4000/16, 2000/16, 1000/16 = 62.5 -> 62
  Convolve(in, out, Kernel::kWeightedMean, 1, 16);
  EXPECT_EQ(out[At(100, 100)], 250);
  EXPECT_EQ(out[At(101, 100)], 125);
  EXPECT_EQ(out[At(100, 99)], 125);
  EXPECT_EQ(out[At(99, 101)], 62);
  EXPECT_EQ(out[At(102, 100)], 0);

  in[At(100, 100)] = 8000;  // Gaussian: 16, 8, 4, 2, 1, 0 eightieths
  Convolve(in, out, Kernel::kGaussian, 2, 80);
  const int expected[5][5] = {{0, 100, 200, 100, 0},
                              {100, 400, 800, 400, 100},
                              {200, 800, 1600, 800, 200},
                              {100, 400, 800, 400, 100},
                              {0, 100, 200, 100, 0}};
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      EXPECT_EQ(out[At(100 + dx, 100 + dy)], expected[dy + 2][dx + 2]) << dx << "," << dy;
    }
  }
}

TEST(Kernels, SharpenersLiftAnImpulseAndClipTheNegativeNeighbours) {
  ImageBuffer in, out;
  in[At(200, 150)] = 1000;
  Convolve(in, out, Kernel::kHighPassLow, 1, 1);
  EXPECT_EQ(out[At(200, 150)], 5000);
  EXPECT_EQ(out[At(201, 150)], 0);
  EXPECT_EQ(out[At(200, 149)], 0);
  Convolve(in, out, Kernel::kHighPassHigh, 2, 1);
  EXPECT_EQ(out[At(200, 150)], 25000);
  EXPECT_EQ(out[At(198, 152)], 0);

  // Clipping: 65280 is kept, anything above it becomes 65535.
  in[At(200, 150)] = 13056;
  Convolve(in, out, Kernel::kHighPassLow, 1, 1);
  EXPECT_EQ(out[At(200, 150)], 65280);
  in[At(200, 150)] = 13057;
  Convolve(in, out, Kernel::kHighPassLow, 1, 1);
  EXPECT_EQ(out[At(200, 150)], 65535);
}

TEST(Kernels, AsymmetricKernelsReadTheNeighbourhoodInKernelOrder) {
  // Output (x, y) = sum of in(x + dx, y + dy) x K[dy][dx]: an impulse at P shows K[dy][dx]
  // at P - (dx, dy). On a flat 10000 with P 1000 brighter:
  ImageBuffer in, out;
  in.Fill(10000);
  in[At(300, 100)] = 11000;
  Convolve(in, out, Kernel::kBasRelief, 2, 1);
  EXPECT_EQ(out[At(300, 100)], 11000);  // centre +1
  EXPECT_EQ(out[At(300, 98)], 11000);   // K[4][2] = +1
  EXPECT_EQ(out[At(300, 102)], 9000);   // K[0][2] = -1
  EXPECT_EQ(out[At(299, 100)], 11000);  // K[2][3] = +1
  EXPECT_EQ(out[At(301, 100)], 9000);   // K[2][1] = -1
  EXPECT_EQ(out[At(302, 102)], 10000);  // K[0][0] = 0

  Convolve(in, out, Kernel::kSmootherSharper, 2, 1);
  EXPECT_EQ(out[At(300, 100)], 15000);
  EXPECT_EQ(out[At(301, 101)], 11000);
  EXPECT_EQ(out[At(302, 101)], 9000);
  EXPECT_EQ(out[At(302, 102)], 10000);
}

TEST(Kernels, FlatImagesStayFlatAndBordersAndTheLabelBandAreLeftAlone) {
  ImageBuffer in, out;
  in.Fill(23456);
  const struct {
    Kernel kernel;
    int radius, divisor;
  } kernels[] = {{Kernel::kWeightedMean, 1, 16},   {Kernel::kGaussian, 2, 80},
                 {Kernel::kHighPassLow, 1, 1},     {Kernel::kHighPassHigh, 2, 1},
                 {Kernel::kSmootherSharper, 2, 1}, {Kernel::kBasRelief, 2, 1}};
  for (auto [kernel, radius, divisor] : kernels) {
    Convolve(in, out, kernel, radius, divisor);
    for (int i = 0; i < kImageValues; ++i) ASSERT_EQ(out[i], 23456) << static_cast<int>(kernel);
  }

  FillRandom(in, 0, 20000, 7);
  Convolve(in, out, Kernel::kGaussian, 2, 80);
  for (int y = 0; y < kImageRows; ++y) {
    for (int x = 0; x < kImageStride; ++x) {
      if (y < 2 || y > 287 || x < 2 || x > 509) {
        ASSERT_EQ(out[At(x, y)], in[At(x, y)]);
      }
    }
  }
  EXPECT_NE(out[At(2, 2)], in[At(2, 2)]);
  EXPECT_NE(out[At(509, 287)], in[At(509, 287)]);

  // From a labelled frame's first free row r + 10 on, the window may read the band.
  Convolve(in, out, Kernel::kGaussian, 2, 80, 10);
  for (int i = 0; i < 12 * kImageStride; ++i) ASSERT_EQ(out[i], in[i]) << i;
  long sum = 0;
  const KernelTable& g = KernelEntries(Kernel::kGaussian);
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) sum += in[At(50 + dx, 12 + dy)] * g[(dy + 2) * 5 + dx + 2];
  }
  EXPECT_EQ(out[At(50, 12)], sum / 80);
}

// The unsharp mask pixel by pixel: box mean over the full window, no running sum.
int UnsharpAt(const ImageBuffer& in, int x, int y, int r, int k) {
  long sum = 0;
  for (int dy = -r; dy <= r; ++dy) {
    for (int dx = -r; dx <= r; ++dx) sum += in[At(x + dx, y + dy)];
  }
  const int side = 2 * r + 1;
  const long mean = static_cast<long>(static_cast<double>(sum) / (side * side));
  const long v = in[At(x, y)];
  return Clip(v + (v - mean) * k);
}

TEST(UnsharpMask, LiftsAPixelAboveItsBoxMean) {
  ImageBuffer in, out;
  in.Fill(1000);
  in[At(100, 100)] = 1904;  // box sum 9904, mean 1100.4 -> 1100
  CopyImage(in, out);
  UnsharpPass(in, out, 1, 1, 0);
  EXPECT_EQ(out[At(100, 100)], 2708);
  EXPECT_EQ(out[At(101, 100)], 900);
  EXPECT_EQ(out[At(102, 100)], 1000);
  CopyImage(in, out);
  UnsharpPass(in, out, 1, 2, 0);
  EXPECT_EQ(out[At(100, 100)], 3512);
  EXPECT_EQ(out[At(99, 99)], 800);
}

TEST(UnsharpMask, MatchesTheBoxMeanEverywhereAndStopsOneRowShort) {
  ImageBuffer in, out;
  FillRandom(in, 0, 65535, 11, 0, 145);
  FillRandom(in, 1000, 3000, 12, 145);
  for (int r : {1, 3, 7}) {
    CopyImage(in, out);
    UnsharpPass(in, out, r, 2, 0);
    for (int y = 0; y < kImageRows; ++y) {
      for (int x = 0; x < kImageStride; ++x) {
        const bool inside = y >= r && y <= 288 - r && x >= r && x <= 511 - r;
        const int expected = inside ? UnsharpAt(in, x, y, r, 2) : in[At(x, y)];
        ASSERT_EQ(out[At(x, y)], expected) << "r " << r << " at " << x << "," << y;
      }
    }
  }
}

// The median filter's statistics of one window, from sorting it.
struct WindowStats {
  int min, max, median;
};
WindowStats SortedWindow(const ImageBuffer& in, int x, int y, int r) {
  std::array<int, 49> window;
  int n = 0;
  for (int dy = -r; dy <= r; ++dy) {
    for (int dx = -r; dx <= r; ++dx) window[n++] = in[At(x + dx, y + dy)];
  }
  std::sort(window.begin(), window.begin() + n);
  // The minimum counts as at most 65000; the median is the (n/2 + 1)th largest.
  return {std::min(window[0], 65000), window[n - 1], window[n - 1 - n / 2]};
}

TEST(MedianFilter, ReplacesOnlyPixelsFurtherFromTheMedianThanTheScaledRange) {
  ImageBuffer in, out;
  in.Fill(50);
  const int ring[] = {10, 20, 30, 40, 60, 70, 80, 90};  // around a centre of 1000
  for (int n = 0, i = 0; n < 9; ++n) {
    if (n != 4) in[At(99 + n % 3, 99 + n / 3)] = static_cast<std::uint16_t>(ring[i++]);
  }
  in[At(100, 100)] = 1000;  // min 10, max 1000, median 60: |60 - 1000| = 940
  CopyImage(in, out);
  MedianPass(in, out, 1, 9, 0);  // trunc(990 x 0.9) = 891 < 940
  EXPECT_EQ(out[At(100, 100)], 60);
  CopyImage(in, out);
  MedianPass(in, out, 1, 10, 0);  // 990 is not below 940
  EXPECT_EQ(out[At(100, 100)], 1000);
}

TEST(MedianFilter, MatchesTheSortedWindowForEveryRadius) {
  ImageBuffer in;
  FillRandom(in, 0, 65535, 21, 0, 100);
  FillRandom(in, 64900, 65535, 22, 100, 200);  // many windows whose minimum is capped
  FillRandom(in, 900, 1100, 23, 200);
  for (int i = 200 * kImageStride; i < kImageValues; i += 37) in[i] = 30000;  // hot pixels
  const int powers[] = {0, 3, 6, 10};
  for (int r : {1, 2, 3}) {
    ImageBuffer out[4];
    for (int k = 0; k < 4; ++k) {
      CopyImage(in, out[k]);
      MedianPass(in, out[k], r, powers[k], 10);
    }
    int changed[4] = {};
    for (int y = 0; y < kImageRows; ++y) {
      for (int x = 0; x < kImageStride; ++x) {
        const int v = in[At(x, y)];
        const bool inside = y >= r + 10 && y <= 289 - r && x >= r && x <= 511 - r;
        const WindowStats w = inside ? SortedWindow(in, x, y, r) : WindowStats{};
        for (int k = 0; k < 4; ++k) {
          const bool replace = inside && static_cast<int>((w.max - w.min) * powers[k] * 0.1) <
                                             std::abs(w.median - v);
          ASSERT_EQ(out[k][At(x, y)], replace ? w.median : v)
              << "r " << r << " p " << powers[k] << " at " << x << "," << y;
          changed[k] += out[k][At(x, y)] != v;
        }
      }
    }
    EXPECT_GT(changed[0], 100000) << r;  // power 0: whatever differs from the median
    EXPECT_EQ(changed[3], 0) << r;       // power 10: nothing is further than the range
  }
}

// The gradient plane at (x, y) from the four corner levels.
int GradientAt(int value, int x, int y, double tl, double tr, double bl, double br) {
  const double g = ((290.0 - y) * (512 - x) * tl + (290.0 - y) * x * tr + y * (512.0 - x) * bl +
                    static_cast<double>(y) * x * br) /
                   148480;
  return value > g ? value - static_cast<int>(g) : 0;
}

TEST(GradientFilter, SubtractsThePlaneThroughTheCornerModes) {
  // Quadrants at bins 100, 150, 200 and 250: levels 0, 800, 1600 and 2400 above the lowest.
  ImageBuffer image, before;
  for (int y = 0; y < kImageRows; ++y) {
    for (int x = 0; x < kImageStride; ++x) {
      image[At(x, y)] =
          static_cast<std::uint16_t>(y < 145 ? (x < 256 ? 1600 : 2400) : (x < 256 ? 3200 : 4000));
    }
  }
  image[At(20, 20)] = 500;  // below the plane there: 0
  image[At(100, 100)] = 0;
  CopyImage(image, before);
  GradientPass(image, 0);
  for (int y = 0; y < kImageRows; ++y) {
    for (int x = 0; x < kImageStride; ++x) {
      ASSERT_EQ(image[At(x, y)], GradientAt(before[At(x, y)], x, y, 0, 800, 1600, 2400))
          << x << "," << y;
    }
  }
  EXPECT_EQ(image[At(100, 100)], 0);
}

TEST(GradientFilter, BottomCornersNeverChooseBinZero) {
  // Top corners at bin 10; bottom corners mostly 0 with bins 11 and 12 tied: the bottom mode
  // is 11, so the levels are 0 at the top and (11 - 10) x 16 at the bottom. With nothing
  // above bin 0 at the bottom the mode would be 1.
  ImageBuffer image, before;
  image.Fill(160);
  for (int i = 200 * kImageStride; i < kImageValues; ++i) image[i] = 0;
  for (int y = 230; y < 240; ++y) {
    for (int x : {20, 21, 450, 451}) image[At(x, y)] = 176 + 16 * (x % 2);
  }
  CopyImage(image, before);
  GradientPass(image, 10);
  for (int i = 0; i < kLabelBandValues; ++i) ASSERT_EQ(image[i], before[i]);
  for (int y = 10; y < kImageRows; ++y) {
    for (int x = 0; x < kImageStride; ++x) {
      ASSERT_EQ(image[At(x, y)], GradientAt(before[At(x, y)], x, y, 0, 0, 16, 16)) << x << "," << y;
    }
  }

  image.Fill(160);
  for (int i = 200 * kImageStride; i < kImageValues; ++i) image[i] = 0;
  GradientPass(image, 0);  // bottom modes 1, lowest 1: top levels (10 - 1) x 16
  EXPECT_EQ(image[At(300, 0)], GradientAt(160, 300, 0, 144, 144, 0, 0));
  EXPECT_EQ(image[At(300, 150)], GradientAt(160, 300, 150, 144, 144, 0, 0));
}

TEST(GradientFilter, EqualCornerModesLeaveTheImageAlone) {
  ImageBuffer image, before;
  FillRandom(image, 5000, 5007, 31);  // every value in bin 312
  for (int i = 0; i < kImageValues; i += 101) image[i] = 40000;
  CopyImage(image, before);
  GradientPass(image, 0);
  for (int i = 0; i < kImageValues; ++i) ASSERT_EQ(image[i], before[i]) << i;
}

class FilterCommandTest : public ::testing::Test {
 protected:
  FilterCommandTest() {
    corvex.displayRebuild = [this](Corvex&) { ++rebuilds; };
    FillRandom(corvex.store.currentImage, 1000, 5000, 41);
  }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  int rebuilds = 0;
};

TEST_F(FilterCommandTest, EachFilterKeepsUndoRecordsItsLabelAndRebuilds) {
  const std::pair<std::function<void()>, std::string> commands[] = {
      {[&] { LowPassFilter(corvex); }, "Lowpass Smoother Filter"},
      {[&] { GaussianFilter(corvex); }, "Gaussian Filter"},
      {[&] { HighPassLowPowerFilter(corvex); }, "High Pass Low Power Filter"},
      {[&] { HighPassHighPowerFilter(corvex); }, "High Pass High Power Filter"},
      {[&] { SmootherSharperFilter(corvex); }, "Smoother/Sharper Filter"},
      {[&] { BasReliefFilter(corvex); }, "Bas Relief Filter"},
      {[&] { UnsharpMask(corvex, 3, 1); }, "Unsharp Mask : rad 3 ,power 1"},
      {[&] { MedianFilter(corvex, 2, 6); }, "Median Filter : rad 2 ,power 0.6"},
      {[&] { MedianFilter(corvex, 3, 10); }, "Median Filter : rad 3 ,power 1.0"},
      {[&] { GradientFilter(corvex); }, "Gradient Filter"},
  };
  ImageBuffer before;
  int n = 0;
  for (const auto& [run, label] : commands) {
    CopyImage(corvex.store.currentImage, before);
    run();
    ++n;
    EXPECT_EQ(corvex.history.entries[n - 1], label);
    EXPECT_EQ(rebuilds, n) << label;
    for (int i = 0; i < kImageValues; ++i) ASSERT_EQ(corvex.store.undoImage[i], before[i]) << label;
  }
}

TEST_F(FilterCommandTest, SynthesisEntriesDoNotRebuildAndTheBandOfAMarkedFrameStays) {
  corvex.store.currentImage[4] = 17;
  corvex.store.currentImage[5] = 17;
  ImageBuffer before;
  CopyImage(corvex.store.currentImage, before);
  ConvolutionFilter(corvex, 2, Kernel::kHighPassHigh, 1, false);
  EXPECT_EQ(rebuilds, 0);
  EXPECT_EQ(corvex.history.entries[0], "");  // the caller labels it

  corvex.state.colourConverted = true;
  corvex.store.redPlane.Fill(7);
  corvex.store.bluePlane.Fill(9);
  UnsharpMask(corvex, 2, 3, false);
  EXPECT_EQ(rebuilds, 0);
  EXPECT_EQ(corvex.history.entries[0], "Unsharp Mask : rad 2 ,power 3");
  EXPECT_EQ(corvex.store.colourUndo.red[1234], 7);
  EXPECT_EQ(corvex.store.colourUndo.blue[99999], 9);

  MedianFilter(corvex, 1, 0);
  GradientFilter(corvex);
  for (int i = 0; i < kLabelBandValues; ++i)
    ASSERT_EQ(corvex.store.currentImage[i], before[i]) << i;
}

}  // namespace
}  // namespace corvex
