// Dark frames, flat fields and merging.
#include "processing/calibration.h"

#include <gtest/gtest.h>

#include "commands/calibration_commands.h"
#include "corvex.h"
#include "files/raw_file.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

class CalibrationTest : public ::testing::Test {
 protected:
  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ImageStore& store = corvex.store;
};

TEST_F(CalibrationTest, DarkSubtractionFromTheMenuKeepsBrightValues) {
  ImageBuffer dark;
  dark.Fill(500);
  store.currentImage.Fill(2000);
  store.currentImage[10] = 500;    // equal to the dark: 0
  store.currentImage[11] = 300;    // below it: 0
  store.currentImage[12] = 65500;  // kept by the menu, not by the capture run
  const std::filesystem::path file = rig.home.path() / "~dark";
  testing::WriteBytes(file, EncodeRawImage(dark, nullptr));
  ASSERT_TRUE(SubtractDarkFrameFile(corvex, file));
  EXPECT_EQ(store.currentImage[100], 1500);
  EXPECT_EQ(store.currentImage[10], 0);
  EXPECT_EQ(store.currentImage[11], 0);
  EXPECT_EQ(store.currentImage[12], 65500);
  EXPECT_EQ(store.undoImage[100], 2000);
  EXPECT_EQ(corvex.history.entries[0], "Dark Frame Subtracted");

  EXPECT_FALSE(SubtractDarkFrameFile(corvex, rig.home.path() / "missing"));
  EXPECT_EQ(store.currentImage[100], 1500) << "a refused file changes nothing";
}

TEST_F(CalibrationTest, TheRunsDarkFrameIsCheckedAndLoadedWithItsReason) {
  ImageBuffer dark;
  dark.Fill(100);
  const std::filesystem::path file = rig.home.path() / "~dark";
  testing::WriteBytes(file, EncodeRawImage(dark, nullptr));
  ImageBuffer loaded;
  loaded.Fill(7);
  EXPECT_FALSE(LoadDarkFrame(file, loaded));
  EXPECT_EQ(loaded[5 * 512 + 509], 100);
  EXPECT_EQ(loaded[5 * 512 + 510], 0) << "columns 510-511 are not in the file";
  EXPECT_EQ(loaded[5 * 512 + 511], 0);

  // The capture run subtracts from every value, bright ones too.
  store.currentImage.Fill(65500);
  store.currentImage[3] = 50;
  SubtractDark(store.currentImage, loaded, false);
  EXPECT_EQ(store.currentImage[1000], 65400);
  EXPECT_EQ(store.currentImage[3], 0);

  EXPECT_EQ(DarkFrameProblem(rig.home.path() / "none"), "not found");
  testing::WriteBytes(file, std::vector<std::uint8_t>(303040));  // a FITS file's length
  EXPECT_EQ(DarkFrameProblem(file)->rfind("not a native raw dark frame", 0), 0u);
  EXPECT_TRUE(LoadDarkFrame(file, loaded));
  EXPECT_EQ(loaded[1000], 100) << "a refused file changes nothing";
  EXPECT_TRUE(rig.host.messages.empty()) << "the caller reports";

  // What a run checks: the dark only when it subtracts one, named with the reason.
  corvex.state.darkFrameFile = (rig.home.path() / "none").string();
  EXPECT_FALSE(CheckRunCalibration(corvex));
  corvex.state.autoDarkSubtract = true;
  EXPECT_EQ(CheckRunCalibration(corvex),
            "Cannot use the dark frame " + (rig.home.path() / "none").string() + ": not found");
  corvex.state.darkFrameFile.clear();
  EXPECT_EQ(DarkFramePath(corvex), rig.home.path() / "dark.def");
}

TEST_F(CalibrationTest, FlatFieldDividesByTheFlatLevel) {
  ImageBuffer flat;
  flat.Fill(1000);
  EXPECT_NEAR(FlatLevel(flat), 0.0002 * 5401 * 1000, 1e-9);
  flat[2 * 512 + 100] = 500;  // half as sensitive: doubled
  flat[2 * 512 + 101] = 0;    // no information: unchanged
  ImageBuffer image;
  image.Fill(1000);
  image[2 * 512 + 102] = 65534;
  ApplyFlat(image, flat, FlatLevel(flat), 1);
  EXPECT_EQ(image[2 * 512 + 200], 1080);  // 1000 / 1000 x 1080.2
  EXPECT_EQ(image[2 * 512 + 100], 2160);
  EXPECT_EQ(image[2 * 512 + 101], 1000);
  EXPECT_EQ(image[2 * 512 + 102], 65534);
  EXPECT_EQ(image[2 * 512 + 4], 1000) << "columns 0-4 are never corrected";
  EXPECT_EQ(image[100], 1000) << "nor row 0";
  EXPECT_EQ(image[2 * 512 + 510], 1000);
}

TEST_F(CalibrationTest, ARawCalibrationFileLeavesNothingOfTheBufferBefore) {
  ImageBuffer flat;
  flat.Fill(1000);
  const std::filesystem::path file = rig.home.path() / "~flat";
  testing::WriteBytes(file, EncodeRawImage(flat, nullptr));
  store.secondaryImage.Fill(60000);  // what an earlier image left in columns 510-511
  store.currentImage.Fill(1000);
  ASSERT_TRUE(ApplyFlatFieldFile(corvex, file));
  EXPECT_EQ(store.secondaryImage[5 * 512 + 510], 0);
  EXPECT_EQ(store.secondaryImage[5 * 512 + 511], 0);
  // 22 of the level's 5401 values lie in columns 510-511, which the file does not hold: 0.
  EXPECT_EQ(store.currentImage[2 * 512 + 200], 1075) << "0.0002 x 5379 x 1000";
}

TEST_F(CalibrationTest, MergeAveragesOrSumsAlignedOnTheStar) {
  ImageBuffer base, merge;
  base.Fill(1000);
  merge.Fill(3000);
  base[5 * 512 + 7] = 65535;
  merge[5 * 512 + 7] = 65535;
  MergePass(base, merge, nullptr, nullptr, {50, 60, 50, 60}, true);
  EXPECT_EQ(base[100 * 512 + 100], 2000);
  EXPECT_EQ(base[100], 1000) << "row 0 of the merge image is not used";
  EXPECT_EQ(base[100 * 512], 1000) << "nor its column 0";
  EXPECT_EQ(base[100 * 512 + 510], 1000) << "nor columns 510-511";
  EXPECT_EQ(merge[100 * 512 + 100], 2000) << "the result is in both images";

  base.Fill(1000);
  merge.Fill(0);
  merge[60 * 512 + 52] = 65535;  // the star, 2 right and 10 down of the base's
  base[50 * 512 + 50] = 65535;
  MergePass(base, merge, nullptr, nullptr, {50, 50, 52, 60}, false);
  EXPECT_EQ(base[50 * 512 + 50], 65535) << "two saturated pixels sum to 65535";
  EXPECT_EQ(base[51 * 512 + 50], 1000);
}

TEST_F(CalibrationTest, MergingNeedsStandardGeometryAndOneAtATime) {
  corvex.state.qzGeometry = true;
  EXPECT_FALSE(StartMerging(corvex));
  corvex.state.qzGeometry = false;
  EXPECT_TRUE(StartMerging(corvex));
  EXPECT_FALSE(StartMerging(corvex));
  EXPECT_EQ(rig.host.MessageTexts().back(), "Sorry, you are already in Merging mode.");
  EXPECT_EQ(rig.host.MessageTexts().front().rfind("Sorry, Merging only available", 0), 0u);
  ImageBuffer base;
  base.Fill(10);
  store.currentImage.Fill(30);
  MergeImages(corvex, base, nullptr, {0, 0, 0, 0}, true);
  EXPECT_FALSE(corvex.state.mergingMode);
  EXPECT_EQ(store.currentImage[100 * 512 + 100], 20);
}

}  // namespace
}  // namespace corvex
