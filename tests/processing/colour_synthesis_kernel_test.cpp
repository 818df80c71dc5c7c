// The colour synthesis row kernel against SynthesizePixel, pixel by pixel on every
// instruction set and every phase, and colour synthesis as a whole against the pixel-by-pixel
// rows it replaces (borders, the label band, the last row). Frames cover the whole range,
// extremes, saturated luminance and flat areas.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "processing/colour_synthesis.h"
#include "processing/kernel_frames.h"
#include "processing/kernels/colour_synthesis_rows.h"
#include "processing/reference_kernels.h"

namespace corvex {
namespace {

using testing::FillFrame;
using testing::ForEachInstructionSet;
using testing::KernelTestFrames;

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
            kernels::SynthesizeRow(here - kImageStride, here, here + kImageStride, 1, 509,
                                   pixelOffset, rowPhase, luminance, red, green, blue);
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

}  // namespace
}  // namespace corvex
