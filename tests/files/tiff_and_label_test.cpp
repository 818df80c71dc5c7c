// TIFF export byte for byte, and the image label's layout.
#include <gtest/gtest.h>

#include "files/image_label.h"
#include "files/tiff_file.h"
#include "processing/sensor_geometry.h"

namespace corvex {
namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
int Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8);
}

TEST(Tiff, GreyFileLayout) {
  ImageBuffer image;
  for (int i = 0; i < kImageValues; ++i)
    image[i] = static_cast<std::uint16_t>((i / 512) * 220 + i % 512);
  const auto tiff = EncodeTiff(false, image, nullptr);
  ASSERT_EQ(tiff.size(), kGreyTiffLength);
  EXPECT_EQ(std::vector<int>(tiff.begin(), tiff.begin() + 8),
            (std::vector<int>{'I', 'I', 42, 0, 8, 0, 0, 0}));
  EXPECT_EQ(Le16(tiff, 8), 13);
  const int expected[13][4] = {
      {254, 4, 1, 0},   {256, 3, 1, 510},  {257, 3, 1, 372}, {258, 3, 1, 8},  {259, 3, 1, 1},
      {262, 3, 1, 1},   {273, 4, 12, 186}, {277, 3, 1, 1},   {278, 4, 1, 31}, {279, 3, 12, 234},
      {282, 5, 1, 170}, {283, 5, 1, 178},  {296, 3, 1, 3}};
  for (int e = 0; e < 13; ++e) {
    const std::size_t at = 10 + 12 * e;
    EXPECT_EQ(Le16(tiff, at), expected[e][0]);
    EXPECT_EQ(Le16(tiff, at + 2), expected[e][1]) << expected[e][0];
    EXPECT_EQ(Le32(tiff, at + 4), static_cast<std::uint32_t>(expected[e][2])) << expected[e][0];
    EXPECT_EQ(Le32(tiff, at + 8), static_cast<std::uint32_t>(expected[e][3])) << expected[e][0];
  }
  EXPECT_EQ(Le32(tiff, 166), 0u);
  EXPECT_EQ(Le32(tiff, 170), 510u);
  EXPECT_EQ(Le32(tiff, 174), 4u);
  EXPECT_EQ(Le32(tiff, 178), 256u);
  EXPECT_EQ(Le32(tiff, 182), 3u);
  EXPECT_EQ(Le32(tiff, 186 + 4 * 11), 258u + 11 * 15810);
  EXPECT_EQ(Le16(tiff, 234 + 2 * 11), 15810);
  // Row 0 is the image's row 0 and row 371 its row 289, as high bytes.
  for (int x : {0, 100, 509}) {
    EXPECT_EQ(tiff[258 + x], image[x] >> 8);
    EXPECT_EQ(tiff[258 + 371 * 510 + x], image[289 * 512 + x] >> 8);
  }
}

TEST(Tiff, ColourFileTakesTheDisplayImageUpsideDown) {
  ImageBuffer image;
  std::vector<std::uint8_t> display(1536 * 373, 0);
  for (int row = 0; row < 290; ++row) {
    for (int x = 0; x < 512; ++x) {
      display[row * 1536 + 3 * x] = 10;                                        // blue
      display[row * 1536 + 3 * x + 1] = static_cast<std::uint8_t>(row % 200);  // green
      display[row * 1536 + 3 * x + 2] = 30;                                    // red
    }
  }
  const auto tiff = EncodeTiff(true, image, display.data());
  ASSERT_EQ(tiff.size(), kColourTiffLength);
  EXPECT_EQ(Le32(tiff, 10 + 12 * 3 + 8), 569418u);
  EXPECT_EQ(Le16(tiff, 569418), 8);
  EXPECT_EQ(Le16(tiff, 569422), 8);
  EXPECT_EQ(Le16(tiff, 234), 47430);
  // The file's first row is the display's last stored row (the image's top row).
  EXPECT_EQ(tiff[258], 30);
  EXPECT_EQ(tiff[258 + 1], 289 % 200);
  EXPECT_EQ(tiff[258 + 2], 10);
  EXPECT_EQ(tiff[258 + 371 * 1530 + 1], 0) << "the last row is stored row 0";
}

TEST(ImageLabel, CentresTheTextAndMarksTheBand) {
  EXPECT_EQ(LabelLine("ABCDEFGHIJ", nullptr).find('A'), 27u);
  const std::string date = LabelDateText(1165449600 + 3723);  // 2006-12-07 01:02:03
  EXPECT_EQ(date, "  01:02:03 UT 07-12-2006 ");
  EXPECT_EQ(LabelLine("ABCDEFGHIJ", &date).find('A'), 15u);
  EXPECT_EQ(LabelLine(std::string(70, 'x'), nullptr).find('x'), 0u);
  EXPECT_EQ(LabelFitsDateText("21:04:05", "7/12/06"), " 21:04:05 UT 7/12/06");

  ImageBuffer image;
  image.Fill(1234);
  DrawImageLabel(image, "%.A");
  EXPECT_TRUE(HasLabelBand(image));
  for (int col = 0; col < 6; ++col) EXPECT_EQ(image[col], 17);
  for (int row = 0; row < 10; ++row) {
    for (int col = 6; col < 16; ++col) EXPECT_EQ(image[row * 512 + col], 0) << "% and . are blank";
  }
  int lit = 0;
  for (int row = 0; row < 10; ++row) {
    for (int col = 16; col < 24; ++col) lit += image[row * 512 + col] == 65535;
    EXPECT_EQ(image[row * 512 + 16], 0) << "a blank column on the left";
  }
  EXPECT_GT(lit, 10);
  for (int col = 16; col < 24; ++col) {
    EXPECT_EQ(image[col], 0) << "empty top row";
    EXPECT_EQ(image[9 * 512 + col], 0) << "empty bottom row";
  }
  EXPECT_EQ(image[10 * 512], 1234) << "row 10 is not touched";
}

}  // namespace
}  // namespace corvex
