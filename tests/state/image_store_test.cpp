// Buffer shapes, start-up ramps and whole-buffer copies.
#include "state/image_store.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvex {
namespace {

TEST(ImageStore, BuffersHaveTheirFixedShapesAndStartEmpty) {
  ImageStore store;
  EXPECT_EQ(store.currentImage.size(), 148484u);
  EXPECT_EQ(store.redPlane.size(), 148481u);
  EXPECT_EQ(store.colourUndo.blue.size(), 148481u);
  EXPECT_EQ(store.guiderDark.size(), 145000u);
  EXPECT_TRUE(std::all_of(store.currentImage.begin(), store.currentImage.end(),
                          [](std::uint16_t v) { return v == 0; }));
  EXPECT_TRUE(std::all_of(store.colourScratch.green.begin(), store.colourScratch.green.end(),
                          [](std::uint8_t v) { return v == 0; }));
}

TEST(ImageStore, StartupRampsFillEveryColumnOfEachRow) {
  ImageStore store;
  store.guiderDark.Fill(77);
  store.redPlane.Fill(5);
  FillStartupRamps(store);
  for (const ImageBuffer* buffer : {&store.currentImage, &store.secondaryImage, &store.undoImage}) {
    EXPECT_EQ((*buffer)[0], 0);
    EXPECT_EQ((*buffer)[511], 0);
    EXPECT_EQ((*buffer)[1 * 512], 225);
    EXPECT_EQ((*buffer)[289 * 512], 65025);
    EXPECT_EQ((*buffer)[289 * 512 + 511], 65025);
  }
  EXPECT_EQ(store.guiderImage[0], 0);
  EXPECT_EQ(store.guiderImage[500], 200);
  EXPECT_EQ(store.guiderImage[289 * 500 + 499], 57800);
  EXPECT_TRUE(std::all_of(store.guiderDark.begin(), store.guiderDark.end(),
                          [](std::uint16_t v) { return v == 0; }));
  EXPECT_EQ(store.redPlane[0], 5);  // the planes are not the ramps' business
}

TEST(ImageStore, CopiesMoveExactlyTheUsedValues) {
  ImageStore store;
  store.currentImage.Fill(9);
  store.secondaryImage.Fill(1);
  CopyImage(store.currentImage, store.secondaryImage);
  EXPECT_EQ(store.secondaryImage[kImageValues - 1], 9);
  EXPECT_EQ(store.secondaryImage[kImageValues], 1);  // the spare values are left alone

  store.guiderImage.Fill(4);
  CopyGuiderImage(store.guiderImage, store.guiderScratch);
  EXPECT_EQ(store.guiderScratch[kGuiderValues - 1], 4);
}

}  // namespace
}  // namespace corvex
