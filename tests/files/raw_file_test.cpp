// Native raw files: the row layout, the flat-field neighbour mean, the Save messages.
#include "files/raw_file.h"

#include <gtest/gtest.h>

#include "commands/file_commands.h"
#include "platform/atomic_file.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

void FillPattern(ImageBuffer& image) {
  for (int i = 0; i < kImageValues; ++i) image[i] = static_cast<std::uint16_t>(i * 131 + 5);
}

TEST(RawEncoding, RowsHold510LittleEndianSamples) {
  ImageBuffer image;
  FillPattern(image);
  const auto bytes = EncodeRawImage(image, nullptr);
  ASSERT_EQ(bytes.size(), kRawLength);
  EXPECT_EQ(bytes[0], image[0] & 0xFF);
  EXPECT_EQ(bytes[1], image[0] >> 8);
  // Row 1 starts at byte 1020 with column 0 of image row 1: columns 510 and 511 are skipped.
  EXPECT_EQ(bytes[1020], image[512] & 0xFF);
  EXPECT_EQ(bytes[1021], image[512] >> 8);
  EXPECT_EQ(bytes[1018], image[509] & 0xFF);

  PlaneBuffer red, green, blue;
  blue[kImageValues - 1] = 0xAB;
  green[0] = 0xCD;
  const PlaneView planes{red.data(), green.data(), blue.data()};
  const auto colour = EncodeRawImage(image, &planes);
  ASSERT_EQ(colour.size(), kRawColourLength);
  EXPECT_EQ(colour[295800 + 148480], 0xCD);
  EXPECT_EQ(colour.back(), 0xAB);
}

TEST(RawDecoding, ReadsEveryLayoutAndKeepsWhatTheFileDoesNotHold) {
  ImageBuffer image;
  FillPattern(image);
  const auto current = EncodeRawImage(image, nullptr);

  RawContents contents{std::vector<std::uint16_t>(kImageValues, 9), {}, {}, {}};
  ASSERT_TRUE(DecodeRawImage(current, true, contents));
  EXPECT_EQ(contents.image[1000 * 0 + 509], image[509]);
  EXPECT_EQ(contents.image[510], 9) << "column 510 is not in the file";
  EXPECT_EQ(contents.image[289 * 512 + 511], 9);
  EXPECT_EQ(contents.image[289 * 512 + 3], image[289 * 512 + 3]);
  EXPECT_TRUE(contents.red.empty()) << "a file without planes gives none";

  // The earliest files hold 256 rows; the rest of the image is cleared.
  for (std::uint64_t length : {kEarlierRawLength, kEarlierRawPaddedLength}) {
    std::vector<std::uint8_t> earlier(current.begin(), current.begin() + 256 * 1020);
    earlier.resize(length, 0xEE);
    RawContents old{std::vector<std::uint16_t>(kImageValues, 9), {}, {}, {}};
    ASSERT_TRUE(DecodeRawImage(earlier, true, old)) << length;
    EXPECT_EQ(old.image[255 * 512 + 100], image[255 * 512 + 100]);
    EXPECT_EQ(old.image[256 * 512 + 100], 0);
    EXPECT_EQ(old.image[289 * 512 + 511], 0);
  }

  std::vector<std::uint8_t> earlierColour(current.begin(), current.begin() + 256 * 1020);
  earlierColour.resize(kEarlierRawColourLength, 0x11);
  RawContents colour{std::vector<std::uint16_t>(kImageValues, 9), {}, {}, {}};
  ASSERT_TRUE(DecodeRawImage(earlierColour, true, colour));
  ASSERT_EQ(colour.blue.size(), static_cast<std::size_t>(kImageValues));
  EXPECT_EQ(colour.blue[255 * 512 + 511], 0x11);
  EXPECT_EQ(colour.blue[256 * 512], 0);

  EXPECT_FALSE(DecodeRawImage(std::span(current).first(295799), true, contents));
}

TEST(FlatField, AveragesNeighboursUnlessColourConverted) {
  ImageBuffer image;
  image[0] = 100;
  image[1] = 101;
  image[509] = 1000;
  image[510] = 3001;  // the neighbour of the last stored column
  image[512] = 65535;
  image[513] = 65535;
  const auto mono = EncodeFlatField(image, false);
  ASSERT_EQ(mono.size(), kRawLength);
  EXPECT_EQ(mono[0] | (mono[1] << 8), 100);
  EXPECT_EQ(mono[1018] | (mono[1019] << 8), 2000);
  EXPECT_EQ(mono[1020] | (mono[1021] << 8), 65535) << "no overflow in the mean";
  const auto colour = EncodeFlatField(image, true);
  EXPECT_EQ(colour[2] | (colour[3] << 8), 101);
}

class RawSaveTest : public ::testing::Test {
 protected:
  void TearDown() override { SetFileWriteFaultForTesting(std::nullopt); }
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  fs::path path = rig.home.path() / "~frame";
};

TEST_F(RawSaveTest, SavesTheRightLengthAndReportsEachFailure) {
  FillPattern(corvex.store.currentImage);
  ASSERT_EQ(WriteRawImage(corvex, path), 0);
  EXPECT_EQ(fs::file_size(path), kRawLength);
  corvex.state.colourConverted = true;
  ASSERT_EQ(WriteRawImage(corvex, path), 0);
  EXPECT_EQ(fs::file_size(path), kRawColourLength);
  EXPECT_TRUE(rig.host.messages.empty());
  const auto before = testing::FileBytes(path);

  SetFileWriteFaultForTesting(1000);  // fails inside the samples
  EXPECT_EQ(WriteRawImage(corvex, path), 18);
  SetFileWriteFaultForTesting(kRawLength + 10);  // fails inside the planes
  EXPECT_EQ(WriteRawImage(corvex, path), 19);
  SetFileWriteFaultForTesting(std::nullopt);
  EXPECT_EQ(WriteRawImage(corvex, rig.home.path() / "missing" / "~f"), 17);
  EXPECT_EQ(rig.host.MessageTexts(), (std::vector<std::string>{"Unable to create/overwrite QZ File",
                                                               "Unable to create/overwrite QZ File",
                                                               "Failed to Save QZ File"}));
  EXPECT_EQ(testing::FileBytes(path), before) << "a failed save keeps the earlier file";
}

TEST_F(RawSaveTest, FlatFieldAndDelete) {
  EXPECT_EQ(SaveFlatField(corvex, path), 0);
  EXPECT_EQ(fs::file_size(path), kRawLength);
  EXPECT_EQ(SaveFlatField(corvex, rig.home.path() / "missing" / "flat.def"), 1);
  EXPECT_EQ(rig.host.MessageTexts(), std::vector<std::string>{"Failed to Save QZ File"});
  EXPECT_TRUE(DeleteImageFile(path));
  EXPECT_FALSE(fs::exists(path));
  EXPECT_FALSE(DeleteImageFile(path));
}

}  // namespace
}  // namespace corvex
