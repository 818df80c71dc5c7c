// The convolution and unsharp mask kernels against the plain window sums they replace, value
// for value on every instruction set: each filter's kernel and divisor (and divisors no
// filter uses), every unsharp radius and power the program offers and powers far outside,
// with and without a label band, on frames of the whole range, extremes and ties.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "processing/kernel_frames.h"
#include "processing/kernels/convolution.h"
#include "processing/reference_kernels.h"
#include "processing/spatial_filters.h"

namespace corvex {
namespace {

using testing::FillFrame;
using testing::ForEachInstructionSet;
using testing::KernelTestFrames;

int FirstDifference(const ImageBuffer& a, const ImageBuffer& b) {
  const auto at = std::mismatch(a.begin(), a.begin() + kImageValues, b.begin()).first;
  return at == a.begin() + kImageValues ? -1 : static_cast<int>(at - a.begin());
}

struct Filter {
  Kernel kernel;
  int radius;
  int divisor;
};

TEST(ConvolutionKernel, MatchesThePlainSumsForEveryFilter) {
  const Filter filters[] = {{Kernel::kWeightedMean, 1, 16},   {Kernel::kGaussian, 2, 80},
                            {Kernel::kHighPassLow, 1, 1},     {Kernel::kHighPassHigh, 2, 1},
                            {Kernel::kSmootherSharper, 2, 1}, {Kernel::kBasRelief, 2, 1},
                            {Kernel::kGaussian, 2, 7},        {Kernel::kHighPassLow, 1, -3}};
  ImageBuffer in, fast, plain;
  std::uint32_t seed = 500;
  for (const auto& frame : KernelTestFrames()) {
    FillFrame(in, frame, seed++);
    for (const Filter& filter : filters) {
      for (const int firstRow : {0, 10}) {
        CopyImage(in, plain);
        reference::ConvolvePass(in, plain, filter.radius, KernelEntries(filter.kernel),
                                filter.divisor, firstRow);
        ForEachInstructionSet([&](const char* instructions) {
          CopyImage(in, fast);
          kernels::Convolve(in.data(), fast.data(), kImageStride, kImageRows, filter.radius,
                            KernelEntries(filter.kernel).data(), filter.divisor, firstRow);
          const int at = FirstDifference(fast, plain);
          ASSERT_EQ(at, -1) << instructions << ", " << frame.name << ", kernel "
                            << static_cast<int>(filter.kernel) << " / " << filter.divisor
                            << ", first row " << firstRow << ", first difference at column "
                            << at % kImageStride << " row " << at / kImageStride;
        });
      }
    }
  }
}

TEST(ConvolutionKernel, UnsharpMatchesThePlainBoxMean) {
  ImageBuffer in, fast, plain;
  std::uint32_t seed = 600;
  for (const auto& frame : KernelTestFrames()) {
    FillFrame(in, frame, seed++);
    for (int radius = 1; radius <= 7; radius += testing::kSanitized ? 3 : 1) {
      for (const auto& setting :
           {std::pair{1, 0}, {3, 10}, {6, 0}, {0, 0}, {-2, 0}, {40000, 10}, {-70000, 0}}) {
        // Plain copies: clang 14's lambdas cannot capture structured bindings.
        const int power = setting.first;
        const int firstRow = setting.second;
        if (power > 6 || power < 1) {
          if (radius != 3) continue;
        }
        CopyImage(in, plain);
        reference::UnsharpPass(in, plain, radius, power, firstRow);
        ForEachInstructionSet([&](const char* instructions) {
          CopyImage(in, fast);
          kernels::Unsharp(in.data(), fast.data(), kImageStride, kImageRows, radius, power,
                           firstRow);
          const int at = FirstDifference(fast, plain);
          ASSERT_EQ(at, -1) << instructions << ", " << frame.name << ", radius " << radius
                            << ", power " << power << ", first row " << firstRow
                            << ", first difference at column " << at % kImageStride << " row "
                            << at / kImageStride;
        });
      }
    }
  }
}

// Radii far beyond the dialog's: the running sums over a whole row wrap round 32 bits from
// radius 64 on, and each box sum must still come out exact, up to the largest radius whose
// box sum fits in an int.
TEST(ConvolutionKernel, UnsharpStaysExactForWideBoxes) {
  ImageBuffer in, fast, plain;
  std::uint32_t seed = 650;
  const auto frames = KernelTestFrames();
  for (const auto& frame : {frames[0], frames[1]}) {
    FillFrame(in, frame, seed++);
    for (const int radius : {20, 64, 90}) {
      CopyImage(in, plain);
      reference::UnsharpPass(in, plain, radius, 3, 0);
      ForEachInstructionSet([&](const char* instructions) {
        CopyImage(in, fast);
        kernels::Unsharp(in.data(), fast.data(), kImageStride, kImageRows, radius, 3, 0);
        const int at = FirstDifference(fast, plain);
        ASSERT_EQ(at, -1) << instructions << ", " << frame.name << ", radius " << radius
                          << ", first difference at column " << at % kImageStride << " row "
                          << at / kImageStride;
      });
    }
  }
}

}  // namespace
}  // namespace corvex
