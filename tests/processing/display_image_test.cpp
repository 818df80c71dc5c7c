// The display image: its curves, the colour combination, focus auto-exposure and every BMP
// the window draws, byte for byte where it matters.
#include "processing/display_image.h"

#include <gtest/gtest.h>

#include "commands/display_commands.h"
#include "corvex.h"
#include "platform/atomic_file.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

class DisplayImageTest : public ::testing::Test {
 protected:
  std::vector<std::uint8_t> Rebuild() {
    RebuildDisplayImage(corvex);
    const auto shown = corvex.display.ShownBytes();
    return {shown.begin(), shown.end()};
  }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
};

TEST_F(DisplayImageTest, CurvesAtTheirEdges) {
  EXPECT_EQ(AutoContrast(10, 10), 0);
  EXPECT_EQ(AutoContrast(11, 10), 48);  // 1^0.3 x 255^0.7 = 48.37
  EXPECT_EQ(AutoContrast(255, 0), 255);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(GreyPalette(true, 255)[4 * i], 0) << i;
  EXPECT_EQ(GreyPalette(false, 0)[4 * 200 + 2], 200);

  const auto identity = DisplayStretchCurve(1);
  EXPECT_EQ(identity[100], 100);
  std::vector<std::uint8_t> bytes(1000, 100);
  bytes[1] = 253;
  bytes[2] = 255;
  ApplyDisplayStretch(bytes, 1);
  EXPECT_EQ(bytes[0], 0) << "the smallest non-zero byte is taken off first";
  EXPECT_EQ(bytes[1], 253);
  EXPECT_EQ(bytes[2], 255);
}

TEST_F(DisplayImageTest, ColourPixelsKeepTheirHueAndGreysStayGrey) {
  for (int saturation : {1, 2, 9}) {
    const auto grey = ColourPixel(100, 40, 40, 40, false, 0, saturation);
    EXPECT_EQ(grey[0], grey[1]);
    EXPECT_EQ(grey[1], grey[2]);
  }
  // Saturation 1: the brightest channel is v, the others v x ratio.
  const auto red = ColourPixel(200, 120, 30, 30, false, 0, 1);
  EXPECT_EQ(red[2], 200);
  EXPECT_NEAR(red[1], 200 * 60 / 150, 1);  // ratio 60 / 150, in single precision
  EXPECT_EQ(red[0], red[1]);
  const auto white = ColourPixel(255, 120, 0, 0, false, 0, 5);
  EXPECT_EQ(white[0], 255) << "a saturated luminance shows white";
}

TEST_F(DisplayImageTest, FocusAutoExposureHalvesOrDoubles) {
  ProgramState& state = corvex.state;
  state.exposureMs = 800;
  state.focusPeak = 20000;
  AdjustFocusExposure(state);
  EXPECT_EQ(state.exposureMs, 1600);
  EXPECT_EQ(state.exposureUnit, 's');
  EXPECT_EQ(state.exposureValue, 1);
  state.exposureMs = 800;
  state.focusPeak = 65000;
  AdjustFocusExposure(state);
  EXPECT_EQ(state.exposureMs, 400);
  EXPECT_EQ(state.exposureUnit, 't');
  EXPECT_EQ(state.exposureValue, 4);
  state.exposureMs = 9;
  state.focusPeak = 50000;
  AdjustFocusExposure(state);
  EXPECT_EQ(state.exposureUnit, 'q');
}

TEST_F(DisplayImageTest, EveryBitmapHasItsSizeAndHeader) {
  ImageBuffer& image = corvex.store.currentImage;
  for (int i = 0; i < kImageValues; ++i) image[i] = static_cast<std::uint16_t>((i / 512) * 200);
  auto mono = Rebuild();
  ASSERT_EQ(mono.size(), 149558u);
  EXPECT_EQ(std::string(mono.begin(), mono.begin() + 2), "BM");
  EXPECT_EQ(Le32(mono, 2), 149558u);
  EXPECT_EQ(Le32(mono, 10), 1078u);
  EXPECT_EQ(Le32(mono, 18), 512u);
  EXPECT_EQ(Le32(mono, 22), 290u);
  EXPECT_EQ(mono[28], 8);
  EXPECT_EQ(mono[54 + 4 * 77 + 1], 77) << "grey palette";
  // Bottom-up: the file's first row is image row 289 (high byte 289 x 200 / 256 = 225).
  EXPECT_EQ(mono[1078 + 5], 225);
  EXPECT_EQ(mono[1078 + 510], 0) << "columns 510 and 511 are blank";
  EXPECT_EQ(mono[mono.size() - 512 + 5], 0);

  corvex.state.qzGeometry = true;
  EXPECT_EQ(Rebuild().size(), 192054u);

  corvex.state.qzGeometry = false;
  corvex.state.focusFrameShown = true;
  const auto focus = Rebuild();
  EXPECT_EQ(focus.size(), 17462u);
  EXPECT_EQ(corvex.display.shown, ShownBitmap::kFocusFrame);
  EXPECT_EQ(focus, corvex.display.focusBitmap);
  corvex.state.focusFrameShown = false;

  corvex.state.colourConverted = true;
  const auto colour = Rebuild();
  ASSERT_EQ(colour.size(), 445494u);
  EXPECT_EQ(Le32(colour, 10), 54u);
  EXPECT_EQ(colour[28], 24);
  EXPECT_EQ(rig.host.progressCaptions.back(), "BUILDING IMAGE");
  corvex.state.qzGeometry = true;
  EXPECT_EQ(Rebuild().size(), 572982u);

  std::vector<std::uint16_t> readout(500 * 290, 0x4000);
  BuildRawPreview(corvex, readout);
  const auto& preview = corvex.display.previewBitmap;
  EXPECT_EQ(preview.size(), 146078u);
  EXPECT_EQ(preview[1078], 0x40);
}

TEST_F(DisplayImageTest, CommandsRebuildThroughTheHookInMemory) {
  EXPECT_TRUE(corvex.display.ShownBytes().empty());
  InstallDisplayRebuild(corvex);
  ToggleAutoContrast(corvex);
  EXPECT_TRUE(corvex.state.autoContrast);
  EXPECT_EQ(corvex.display.shown, ShownBitmap::kMain);
  EXPECT_EQ(corvex.display.ShownBytes().size(), 149558u);
  // A disk that takes no file does not stop the display: nothing is written for it.
  SetFileCreateFaultForTesting(ENOSPC);
  corvex.state.colourConverted = true;
  RebuildDisplay(corvex);
  SetFileCreateFaultForTesting(0);
  EXPECT_EQ(corvex.display.ShownBytes().size(), 445494u);
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(DisplayImageTest, FalseColourPreviewPalette) {
  corvex.state.falseColourPreview = true;
  std::vector<std::uint16_t> readout(500 * 290, 0);
  BuildRawPreview(corvex, readout);
  const auto& preview = corvex.display.previewBitmap;
  const int e = 100;
  EXPECT_EQ(preview[54 + 4 * e + 2], e);                  // red
  EXPECT_EQ(preview[54 + 4 * e + 1], e * e / 256);        // green
  EXPECT_EQ(preview[54 + 4 * e], 155 - 155 * 155 / 256);  // blue
  EXPECT_EQ(preview[54 + 4 * 250], 250) << "above 240: grey";
}

}  // namespace
}  // namespace corvex
