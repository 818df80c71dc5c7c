// The colour synthesis row kernel against SynthesizePixel, pixel by pixel on every
// instruction set and every phase, and colour synthesis as a whole against the pixel-by-pixel
// rows it replaces (borders, the label band, the last row). Frames cover the whole range,
// extremes, saturated luminance and flat areas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "processing/colour_synthesis.h"
#include "processing/kernel_frames.h"
#include "processing/kernels/colour_synthesis_rows.h"
#include "processing/kernels/exact_division.h"
#include "processing/reference_kernels.h"

namespace corvex {
namespace {

using testing::FillFrame;
using testing::ForEachInstructionSet;
using testing::KernelTestFrames;

// The kernel's divisions by constants go through single precision; every ratio it uses must
// give the integer quotient for every numerator in the range it promises.
template <int N, int D>
void ExpectExactDivisions() {
  const int step = testing::kSanitized ? 97 : 1;
  const int limit = (kernels::kExactDivisionLimit - 1) / N;
  for (int n = -limit; n <= limit; n += step) {
    ASSERT_EQ((kernels::ScaleTowardsZero<N, D>(n)), N * n / D) << N << " x " << n << " / " << D;
  }
}

TEST(ColourSynthesisKernel, DivisionsThroughFloatAreExact) {
  ExpectExactDivisions<1, 3>();
  ExpectExactDivisions<1, 8>();
  ExpectExactDivisions<1, 10>();
  ExpectExactDivisions<1, 14>();
  ExpectExactDivisions<1, 20>();
  ExpectExactDivisions<1, 40>();
  ExpectExactDivisions<30, 7>();
  ExpectExactDivisions<1, 2560>();
}

TEST(ColourSynthesisKernel, RowsMatchThePixelFormulasInEveryPhase) {
  ImageBuffer image;
  std::uint16_t luminance[kImageStride];
  std::uint8_t red[kImageStride], green[kImageStride], blue[kImageStride];
  std::uint32_t seed = 700;
  for (const auto& frame : KernelTestFrames()) {
    FillFrame(image, frame, seed++);
    for (const bool pixelOffset : {false, true}) {
      for (const bool rowPhase : {false, true}) {
        ForEachInstructionSet([&](const char* instructions) {
          for (int y = 1; y < kImageRows - 1; y += 3) {
            const std::uint16_t* here = image.data() + y * kImageStride;
            kernels::SynthesizeRows(here - kImageStride, kImageStride, 1, 1, 509, pixelOffset,
                                    rowPhase, luminance, red, green, blue);
            for (int x = 1; x <= 509; ++x) {
              const bool columnPhase = pixelOffset != (x % 2 == 1);
              const SynthesisPixel want = SynthesizePixel(image, x, y, columnPhase, rowPhase);
              ASSERT_TRUE(luminance[x] == want.luminance && red[x] == want.red &&
                          green[x] == want.green && blue[x] == want.blue)
                  << instructions << ", " << frame.name << ", phases " << columnPhase << " "
                  << rowPhase << ", at column " << x << " row " << y;
            }
          }
        });
      }
    }
  }
  // The luminance in integers: (left + p) / 1.6 in double precision, rounded down, is
  // 5 x (left + p) / 8, and it exceeds 60000 exactly when left + p exceeds 96000.
  for (int sum = 0; sum <= 2 * 65535; ++sum) {
    const double luminance = sum / 1.6;
    ASSERT_EQ(static_cast<int>(luminance), sum * 5 / 8) << sum;
    ASSERT_EQ(luminance > 60000, sum > 96000) << sum;
  }
}

// The kernel splits lines into their even and odd columns, works on pieces of a row and keeps
// each line's split for the rows after it; rows much longer than the image's, several at once
// and started at even and odd columns, must give every pixel what it gives that pixel alone.
TEST(ColourSynthesisKernel, LongRowsMatchPixelsTakenOneAtATime) {
  constexpr int kLength = 1300;
  constexpr int kRows = 3;
  testing::Lcg random(900);
  std::uint16_t lines[kRows + 2][kLength];
  for (auto& line : lines) {
    for (std::uint16_t& v : line) {
      v = static_cast<std::uint16_t>(random.In(0, 3) == 0 ? 65535 - random.In(0, 9)
                                                          : random.In(0, 65535));
    }
  }
  std::uint16_t luminance[kRows][kLength], oneLuminance[kLength];
  std::uint8_t colours[3][kRows][kLength], one[3][kLength];
  for (const auto& range : {std::pair{1, kLength - 2}, {2, kLength - 2}, {2, 1100}}) {
    // Plain copies: clang 14's lambdas cannot capture structured bindings.
    const int first = range.first;
    const int last = range.second;
    for (const bool pixelOffset : {false, true}) {
      for (const bool rowPhase : {false, true}) {
        ForEachInstructionSet([&](const char* instructions) {
          kernels::SynthesizeRows(lines[0], kLength, kRows, first, last, pixelOffset, rowPhase,
                                  luminance[0], colours[0][0], colours[1][0], colours[2][0]);
          for (int row = 0; row < kRows; ++row) {
            const bool phase = rowPhase != (row % 2 != 0);
            for (int x = first; x <= last; ++x) {
              kernels::SynthesizeRows(lines[row], kLength, 1, x, x, pixelOffset, phase,
                                      oneLuminance, one[0], one[1], one[2]);
              ASSERT_TRUE(luminance[row][x] == oneLuminance[x] && colours[0][row][x] == one[0][x] &&
                          colours[1][row][x] == one[1][x] && colours[2][row][x] == one[2][x])
                  << instructions << ", columns " << first << " to " << last << ", phases "
                  << pixelOffset << " " << rowPhase << ", at column " << x << " row " << row;
            }
          }
        });
      }
    }
  }
}

TEST(ColourSynthesisKernel, WholeImageMatchesThePixelByPixelRows) {
  ImageBuffer image, fastLuminance, plainLuminance;
  ColourPlanes fast, plain;
  const MutablePlaneView fastView{fast.red.data(), fast.green.data(), fast.blue.data()};
  const MutablePlaneView plainView{plain.red.data(), plain.green.data(), plain.blue.data()};
  std::uint32_t seed = 800;
  for (const auto& frame : KernelTestFrames()) {
    FillFrame(image, frame, seed++);
    for (const bool labelled : {false, true}) {
      for (const auto& [pixelOffset, lineOffset] :
           {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
        reference::SynthesizeRows(image, plainLuminance, plainView, pixelOffset, lineOffset,
                                  labelled);
        SynthesizeRows(image, fastLuminance, fastView, pixelOffset, lineOffset, labelled);
        const auto same = [](const auto& a, const auto& b) {
          return std::equal(a.begin(), a.begin() + kImageValues, b.begin());
        };
        ASSERT_TRUE(same(fastLuminance, plainLuminance) && same(fast.red, plain.red) &&
                    same(fast.green, plain.green) && same(fast.blue, plain.blue))
            << frame.name << ", labelled " << labelled << ", offsets " << pixelOffset << " "
            << lineOffset;
      }
    }
  }
}

// The kernel leaves out the clamp of a colour to 255 and relies on how far the formulas can
// reach, which is furthest where the neighbours sit at the ends of the range. Every 3 x 3
// neighbourhood of the values below is laid out as a block of its own, and the frames are
// synthesised in every phase on every instruction set; the pixels between the blocks' centres
// see mixtures of them.
TEST(ColourSynthesisKernel, EveryNeighbourhoodOfExtremeValuesMatchesThePixelByPixelRows) {
  const std::vector<std::uint16_t> values = testing::kSanitized
                                                ? std::vector<std::uint16_t>{0, 65535}
                                                : std::vector<std::uint16_t>{0, 1, 65534, 65535};
  const int base = static_cast<int>(values.size());
  int combinations = 1;
  for (int i = 0; i < 9; ++i) combinations *= base;
  // Blocks of columns 3j .. 3j + 2 and rows 3i .. 3i + 2, their centres inside the coloured
  // area (columns 1 to 509, rows 1 to 288).
  constexpr int kBlocksAcross = 170;
  constexpr int kBlocksDown = 96;
  ImageBuffer image, fastLuminance, plainLuminance;
  ColourPlanes fast, plain;
  const MutablePlaneView fastView{fast.red.data(), fast.green.data(), fast.blue.data()};
  const MutablePlaneView plainView{plain.red.data(), plain.green.data(), plain.blue.data()};
  for (int start = 0; start < combinations; start += kBlocksAcross * kBlocksDown) {
    image.Fill(0);
    for (int block = 0; block < kBlocksAcross * kBlocksDown; ++block) {
      int digits = (start + block) % combinations;
      const int left = 3 * (block % kBlocksAcross);
      const int top = 3 * (block / kBlocksAcross);
      for (int i = 0; i < 9; ++i, digits /= base) {
        image[(top + i / 3) * kImageStride + left + i % 3] = values[digits % base];
      }
    }
    for (const auto& offsets :
         {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
      // Plain copies: clang 14's lambdas cannot capture structured bindings.
      const bool pixelOffset = offsets.first;
      const bool lineOffset = offsets.second;
      reference::SynthesizeRows(image, plainLuminance, plainView, pixelOffset, lineOffset, false);
      ForEachInstructionSet([&](const char* instructions) {
        SynthesizeRows(image, fastLuminance, fastView, pixelOffset, lineOffset, false);
        for (int i = 0; i < kImageValues; ++i) {
          ASSERT_TRUE(fastLuminance[i] == plainLuminance[i] && fast.red[i] == plain.red[i] &&
                      fast.green[i] == plain.green[i] && fast.blue[i] == plain.blue[i])
              << instructions << ", offsets " << pixelOffset << " " << lineOffset << ", at column "
              << i % kImageStride << " row " << i / kImageStride;
        }
      });
    }
  }
}

}  // namespace
}  // namespace corvex
