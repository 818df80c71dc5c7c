// The contrast stretches: each table formula at chosen entries (worked out here from the
// formulas), the apply step with its progress, undo and label band, the history labels, the
// two background levels and undo.
#include "processing/contrast_stretch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "commands/contrast_commands.h"
#include "corvex.h"
#include "processing/processing_history.h"
#include "processing/sensor_geometry.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

int Trunc(double value) {
  return static_cast<int>(value);
}

TEST(StretchTables, NormalMapsBlackToWhiteOntoTheFullRange) {
  StretchTable table;
  FillNormalTable(table, 10, 200);  // B' = 1280, W' = 25600, f = 255 / 190
  const double f = 255.0 / 190;
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1279], 0);
  EXPECT_EQ(table[1280], 0);
  EXPECT_EQ(table[1281], Trunc(1 * f));
  EXPECT_EQ(table[10000], Trunc(8720 * f));
  EXPECT_EQ(table[25599], Trunc(24319 * f));  // 32638
  EXPECT_EQ(table[25600], 32767);
  EXPECT_EQ(table[32767], 32767);

  FillNormalTable(table, 0, 255);  // f = 1: identity below W' = 32640, clipped from there
  EXPECT_EQ(table[12345], 12345);
  EXPECT_EQ(table[32639], 32639);
  EXPECT_EQ(table[32640], 32767);

  FillNormalTable(table, 0, 300);  // W' lies past the table: the top is compressed, not clipped
  EXPECT_EQ(table[32767], Trunc(32767 * (255.0 / 300)));  // 27851
}

TEST(StretchTables, PowerSineAndRemoveBackground) {
  StretchTable table;
  FillPowerTable(table, 1.5);
  const double k15 = 1 / std::pow(32768.0, 0.5);
  // 1568^1.5 / 32768^0.5 is 343 exactly; multiplying by k as the formula says gives 342.
  for (int i : {0, 1, 100, 1568, 5000, 32767}) {
    EXPECT_EQ(table[i], Trunc(std::pow(i, 1.5) * k15)) << i;
  }
  FillPowerTable(table, 2.0);
  EXPECT_EQ(table[16384], 8192);
  FillPowerTable(table, 0.5);  // k = 181.02: the top entries pass 32767 and are held there
  EXPECT_EQ(table[1], Trunc(std::pow(32768.0, 0.5)));
  EXPECT_EQ(table[32767], 32767);
  EXPECT_EQ(table[30000], Trunc(std::pow(30000, 0.5) / std::pow(32768.0, -0.5)));

  FillSineTable(table);
  for (int i : {0, 1000, 16384, 20000, 32767}) {
    EXPECT_EQ(table[i], Trunc((std::sin((i - 16384) * 0.00009585889570552147) + 1) * 16383)) << i;
  }
  EXPECT_EQ(table[16384], 16383);

  FillRemoveBackgroundTable(table, 20);  // s = 2304, f = 255 / 237
  EXPECT_EQ(table[2303], 0);
  EXPECT_EQ(table[2304], 0);
  EXPECT_EQ(table[2305], Trunc(255.0 / 237));
  EXPECT_EQ(table[20000], Trunc((20000 - 2304) * (255.0 / 237)));
  EXPECT_EQ(table[32767], 32767);       // 32776 before the clip
  FillRemoveBackgroundTable(table, 3);  // s = 128, f = 255 / 254
  EXPECT_EQ(table[127], 0);
  EXPECT_EQ(table[1128], Trunc(1000 * (255.0 / 254)));
}

TEST(StretchTables, NonLinearLogAntiLogAndInvert) {
  StretchTable table;
  auto nonLinear = [](int i, double p, double scale) {
    const double x = i / scale;
    return Trunc(p * scale * x / ((p - 1) * x + 1));
  };
  FillNonLinearTable(table, 25);
  for (int i : {0, 1, 100, 4096, 16384, 32767}) EXPECT_EQ(table[i], nonLinear(i, 25, 32768)) << i;
  FillNonLinearTable(table, 1);
  EXPECT_EQ(table[31000], 31000);

  FillLogTable(table);
  for (int i : {0, 1, 99, 32767}) EXPECT_EQ(table[i], Trunc(std::log(i + 1.0) * 3151)) << i;
  EXPECT_EQ(table[32767], 32761);

  FillAntiLogTable(table);
  for (int i : {0, 3150, 3151, 20000, 32767}) {
    EXPECT_EQ(table[i], Trunc(std::pow(2.65724484375, i / 3151.0) - 1)) << i;
  }

  FillInvertTable(table);
  EXPECT_EQ(table[0], 32767);
  EXPECT_EQ(table[32767], 0);
  EXPECT_EQ(table[1000], 31767);
}

TEST(StretchTables, SynthesisNonLinearRunsTheHalfRangeCurveOverTheWholeTable) {
  StretchTable table;
  table.Fill(12345);  // nothing of the old contents may survive
  FillSynthesisNonLinearTable(table, 25);
  auto curve = [](int i) {
    const double x = i / 16384.0;
    return Trunc(25 * 16384 * x / (24 * x + 1));
  };
  for (int i : {0, 1, 8000, 16383, 16384, 20000, 32767}) EXPECT_EQ(table[i], curve(i)) << i;
  EXPECT_EQ(table[16384], 16384);
}

TEST(StretchTables, ApplyHalvesLooksUpAndDoublesWithinTheRange) {
  StretchTable table;
  FillInvertTable(table);
  ImageBuffer image;
  image[0] = 0;
  image[1] = 1;
  image[2] = 1001;
  image[3] = 65535;
  image[4] = 777;
  ApplyStretch(image, table, 0, 4);
  EXPECT_EQ(image[0], 65534);
  EXPECT_EQ(image[1], 65534);
  EXPECT_EQ(image[2], 2 * (32767 - 500));
  EXPECT_EQ(image[3], 0);
  EXPECT_EQ(image[4], 777);  // past `end`
}

class StretchCommandTest : public ::testing::Test {
 protected:
  StretchCommandTest() {
    corvex.displayRebuild = [this](Corvex&) { ++rebuilds; };
    FillImage();
  }
  // Odd values everywhere, so the lowest bit shows what the table touched.
  void FillImage() {
    for (int i = 0; i < kImageValues; ++i) image()[i] = static_cast<std::uint16_t>((i * 131) | 1);
    CopyImage(image(), before);
  }
  ImageBuffer& image() { return corvex.store.currentImage; }
  const std::string& entry(int i) { return corvex.history.entries[i]; }
  bool ImageUnchanged() {
    for (int i = 0; i < kImageValues; ++i) {
      if (image()[i] != before[i]) return false;
    }
    return true;
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  ImageBuffer before;
  int rebuilds = 0;
};

TEST_F(StretchCommandTest, ApplyKeepsUndoShowsSixteenStepsAndRebuildsOnRequest) {
  FillInvertTable(corvex.stretch);
  ApplyStretchTable(corvex, true);
  EXPECT_EQ(rig.host.progressCaptions, std::vector<std::string>{"CONTRAST STRETCH"});
  std::vector<int> steps;
  for (int p = 0; p <= 240; p += 16) steps.push_back(p);
  EXPECT_EQ(rig.host.progressPositions, steps);
  EXPECT_FALSE(rig.host.progressOpen);
  EXPECT_EQ(rebuilds, 1);
  for (int i = 0; i < kImageValues; ++i) {
    ASSERT_EQ(corvex.store.undoImage[i], before[i]) << i;
    ASSERT_EQ(image()[i], 65534 - 2 * (before[i] / 2)) << i;
  }
  ApplyStretchTable(corvex, false);
  EXPECT_EQ(rebuilds, 1);
}

TEST_F(StretchCommandTest, AMarkedFrameKeepsItsLabelBandBitForBit) {
  FillInvertTable(corvex.stretch);
  for (std::uint16_t col4 : {17, 16, 18}) {
    FillImage();
    image()[4] = col4;
    image()[5] = 17;
    CopyImage(image(), before);
    ApplyStretchTable(corvex, false);
    const bool marked = col4 == 17;
    for (int i = 0; i < kLabelBandValues; ++i) {
      const int expected = marked ? before[i] : 65534 - 2 * (before[i] / 2);
      ASSERT_EQ(image()[i], expected) << "col4 " << col4 << " index " << i;
    }
    ASSERT_EQ(image()[kLabelBandValues], 65534 - 2 * (before[kLabelBandValues] / 2));
  }
}

TEST_F(StretchCommandTest, EveryStretchRecordsItsLabel) {
  corvex.state.backgroundLevel = 3;
  EXPECT_TRUE(NormalStretch(corvex, 10, 200));
  EXPECT_TRUE(PowerStretch(corvex, 1.5));
  EXPECT_TRUE(SineStretch(corvex));
  EXPECT_TRUE(RemoveBackground(corvex));
  EXPECT_TRUE(NonLinearStretch(corvex, 25));
  EXPECT_TRUE(LogStretch(corvex));
  EXPECT_TRUE(AntiLogStretch(corvex));
  EXPECT_TRUE(InvertImage(corvex));
  const std::vector<std::string> expected = {"Normal Stretch : max 200 ,min 10",
                                             "Power Stretch : 1.5",
                                             "Sine Stretch",
                                             "Background Removed : min 1",
                                             "Non-Linear Stretch : power 25",
                                             "Log Stretch",
                                             "Anti-Log Stretch",
                                             "Invert Image to Negative"};
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(entry(i), expected[i]);
  EXPECT_EQ(entry(8), "");
  EXPECT_EQ(rebuilds, 8);

  corvex.state.backgroundLevel = 40;
  ClearHistory(corvex.history);
  EXPECT_TRUE(RemoveBackground(corvex, false));
  EXPECT_EQ(entry(0), "Background Removed : min 38");
  EXPECT_EQ(rebuilds, 8);
}

TEST_F(StretchCommandTest, StretchesThatWouldNotChangeAnythingDoNothing) {
  corvex.stretch.Fill(5);
  corvex.store.undoImage.Fill(9);
  EXPECT_FALSE(NormalStretch(corvex, 100, 100));
  EXPECT_FALSE(NormalStretch(corvex, 120, 100));
  EXPECT_FALSE(PowerStretch(corvex, 1.0));
  corvex.state.backgroundLevel = 2;
  EXPECT_FALSE(RemoveBackground(corvex));
  EXPECT_TRUE(ImageUnchanged());
  EXPECT_EQ(corvex.store.undoImage[100], 9);
  EXPECT_EQ(corvex.stretch[100], 5);
  EXPECT_EQ(entry(0), "");
  EXPECT_TRUE(rig.host.progressCaptions.empty());
  EXPECT_EQ(rebuilds, 0);
}

TEST_F(StretchCommandTest, IdentityStretchAndDoubleInversionOnlyClearTheLowestBit) {
  EXPECT_TRUE(NormalStretch(corvex, 0, 255));
  for (int i = 0; i < kImageValues; ++i) {
    const int expected = before[i] >= 65280 ? 65534 : (before[i] & ~1);
    ASSERT_EQ(image()[i], expected) << i;
  }
  FillImage();
  InvertImage(corvex);
  InvertImage(corvex);
  for (int i = 0; i < kImageValues; ++i) ASSERT_EQ(image()[i], before[i] & ~1) << i;
}

TEST_F(StretchCommandTest, ASixteenthLabelIsDroppedAndUndoThenRemovesTheFifteenth) {
  for (int n = 0; n < 15; ++n) ASSERT_TRUE(InvertImage(corvex));
  CopyImage(image(), before);
  LogStretch(corvex);
  EXPECT_EQ(entry(14), "Invert Image to Negative");
  const int rebuildsBefore = rebuilds;
  UndoLastFilter(corvex);
  EXPECT_TRUE(ImageUnchanged());
  EXPECT_EQ(entry(14), "");
  EXPECT_EQ(entry(13), "Invert Image to Negative");
  EXPECT_EQ(rebuilds, rebuildsBefore + 1);
}

TEST_F(StretchCommandTest, SynthesisStretchAppliesItsTableWithoutARebuild) {
  SynthesisNonLinearStretch(corvex, 4);
  for (int i : {0, 1000, 70000, kImageValues - 1}) {
    const double x = (before[i] / 2) / 16384.0;
    EXPECT_EQ(image()[i], 2 * Trunc(4 * 16384 * x / (3 * x + 1))) << i;
  }
  EXPECT_EQ(rebuilds, 0);
}

TEST(BackgroundLevels, RefreshLevelMeansTheThreeCommonestHighBytesLowestFirstOnTies) {
  ImageBuffer image;
  image.Fill(100 * 256);  // rows 0-9 are not counted: they would tip the second case
  // Rows 10-289: byte 90 x 60000, byte 8 x 23360, bytes 70, 30 and 60 x 20000 each. The tie
  // for third place goes to 30: (90 + 8 + 30) / 3 = 42.
  int i = kLabelBandValues;
  auto put = [&](int byte, int count) {
    for (int n = 0; n < count; ++n, ++i)
      image[i] = static_cast<std::uint16_t>(byte * 256 + n % 256);
  };
  put(70, 20000);
  put(90, 60000);
  put(30, 20000);
  put(8, 23360);
  put(60, 20000);
  ASSERT_EQ(i, kImageValues);
  EXPECT_EQ(RefreshBackgroundLevel(image), 42);

  // Four equal counts: 25, 50 and 75 are taken in turn, 100 is left out.
  i = kLabelBandValues;
  put(100, 35840);
  put(75, 35840);
  put(50, 35840);
  put(25, 35840);
  EXPECT_EQ(RefreshBackgroundLevel(image), 50);

  // Only bytes 0 and 89 in use: the third pick is byte 1, the lowest not yet taken.
  i = kLabelBandValues;
  put(0, 100000);
  put(89, 43360);
  EXPECT_EQ(RefreshBackgroundLevel(image), 30);
}

TEST(BackgroundLevels, SkyLevelIsTheLowestCommonestHighByteOfRows40To69) {
  ImageBuffer image;
  image.Fill(33 * 256);  // outside rows 40-69: one row more would break the tie below
  for (int i = 40 * kImageStride; i < 70 * kImageStride; ++i) {
    image[i] = static_cast<std::uint16_t>((i % 2 ? 33 : 31) * 256 + 255);
  }
  EXPECT_EQ(SkyBackgroundLevel(image), 31);
  image[40 * kImageStride] = 33 * 256;  // one more 33
  EXPECT_EQ(SkyBackgroundLevel(image), 33);
}

}  // namespace
}  // namespace corvex
